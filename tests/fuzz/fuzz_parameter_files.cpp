// The corrector's files brought back without a corrector: the same bytes as a "*.prt" snapshot and as a
// point's parameter file, loaded into a fresh window model, and as raw 200-byte line records.
//   input: the file's bytes
#include "FuzzDriver.h"

#include "common/Cp1251.h"
#include "common/Language.h"
#include "common/Notifier.h"
#include "corrector/CorrectorFiles.h"
#include "corrector/CorrectorWindowModel.h"
#include "support/DetachedCorrector.h"
#include "corrector/ParameterFile.h"

using namespace tarn;
using namespace tarn::corrector;

namespace {
struct QuietNotifier final : Notifier {
    void message(MessageKind, const QString&) override {}
    bool confirm(const QString&) override { return true; }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input = fuzz::bytesOf(data, size);
    const QString path = fuzz::scratch().filePath(QStringLiteral("in.prt"));
    fuzz::putFile(path, input);
    QuietNotifier notifier;
    {
        DetachedCorrector corrector(notifier, kRussian);
        (void)loadParameterFile(corrector.model(), path, notifier);
    }
    {
        DetachedCorrector corrector(notifier, kUkrainian);
        (void)loadPointParameterFile(corrector.model(), path, notifier);
    }
    const DecodedRecords records = decodeLineRecords(input);
    for (const QByteArray& line : records.lines) {
        const QStringList cells = splitCells(fromCp1251(line));
        (void)rowLineText(cells);
        for (const QString& cell : cells) {
            (void)NormaliseDateCell(cell);
            (void)NormaliseTimeCell(cell);
        }
    }
    return 0;
}
