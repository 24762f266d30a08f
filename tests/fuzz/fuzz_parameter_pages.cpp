// Parameter pages as a full read delivers them: the identification, then the pages at words 0, 64, 128
// and 178, decoded into the parameter image and into a window model that renders every text, then each
// word's stored text taken back as the data files do.
//   input: [identification, 32 bytes][page 0][page 64][page 128][page 178], 256 bytes a page
#include "FuzzDriver.h"

#include "common/Language.h"
#include "common/Notifier.h"
#include "corrector/CorrectorFiles.h"
#include "corrector/CorrectorWindowModel.h"
#include "support/DetachedCorrector.h"
#include "corrector/Identification.h"
#include "corrector/ModelProfile.h"
#include "corrector/ParameterImage.h"

using namespace tarn;
using namespace tarn::corrector;

namespace {
struct QuietNotifier final : Notifier {
    void message(MessageKind, const QString&) override {}
    bool confirm(const QString&) override { return false; }
};
constexpr int kPageStarts[] = {0, 64, 128, 178};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input = fuzz::bytesOf(data, size);
    const IdentificationString id(fuzz::exactly(input, IdentificationString::kSize));
    const ModelProfile profile = DeriveModelProfile(id, 0);
    ParameterImage image;
    QuietNotifier notifier;
    DetachedCorrector corrector(notifier, input.size() % 2 == 0 ? kRussian : kUkrainian);
    CorrectorWindowModel& model = corrector.model();
    model.setIdentification(id);
    model.setProfile(profile);
    model.StartFullRead();
    qsizetype at = IdentificationString::kSize;
    for (int start : kPageStarts) {
        if (at >= input.size()) break;
        const QByteArray page = fuzz::exactly(input.mid(at), ParameterImage::kPageBytes);
        at += ParameterImage::kPageBytes;
        image.DecodePage(start, page, profile);
        model.onPageAccepted(static_cast<quint16>(start), page);
    }
    model.onFullReadComplete();
    ParameterImage back;
    for (int w = 0; w < ParameterImage::kWords; ++w) {
        (void)image.WordText(w);
        (void)image.WordValue(w);
        back.setStoredText(w, image.storedText(w));
    }
    return 0;
}
