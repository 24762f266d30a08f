// Archive pages as a full read walks them: one archive's pages, one after another, through the page
// check (record check bytes, rejections, blanked records, the empty end) and every archive's decoder,
// with units and model taken from parameter pages and an identification that are part of the input.
//   input: [archive kind selector][first page selector][flags][identification, 32 bytes]
//          [parameter pages 0, 64, 128][archive pages…], 256 bytes a page
//   flags: bit 0 stop at the empty end, bit 1 Ukrainian texts
#include "FuzzDriver.h"

#include "common/Language.h"
#include "corrector/Archives.h"
#include "corrector/Identification.h"
#include "corrector/ModelProfile.h"
#include "corrector/ParameterImage.h"

using namespace tarn;
using namespace tarn::corrector;

namespace {
constexpr int kKinds[] = {3, 4, 5, 6, 7, 9, 10};
constexpr qsizetype kHeader = 3 + IdentificationString::kSize;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input = fuzz::bytesOf(data, size);
    if (input.size() < kHeader) return 0;
    const int kind = kKinds[static_cast<quint8>(input[0]) % std::size(kKinds)];
    const quint8 flags = static_cast<quint8>(input[2]);
    const IdentificationString id(input.mid(3, IdentificationString::kSize));
    const ModelProfile profile = DeriveModelProfile(id, 0);
    const std::optional<ArchiveGeometry> geometry = archiveGeometry(kind, profile);
    if (!geometry) return 0;

    ParameterImage image;
    qsizetype at = kHeader;
    for (int start : {0, 64, 128}) {
        image.DecodePage(start, fuzz::exactly(input.mid(at), ParameterImage::kPageBytes), profile);
        at += ParameterImage::kPageBytes;
    }
    const ArchiveContext context{profile, image, flags & 2 ? kUkrainian : kRussian, static_cast<quint8>(input[1]) % 5};
    ArchiveTables tables;
    ArchivePageCheck check(*geometry, tables, flags & 1);
    (void)archiveColumns(geometry->archive, context);
    int page = geometry->firstPage + static_cast<quint8>(input[1]) % geometry->pages;
    for (; at < input.size(); at += ParameterImage::kPageBytes) {
        const QByteArray payload = fuzz::exactly(input.mid(at), ParameterImage::kPageBytes);
        // A rejected page is read again: the same bytes come back, as from a line that spoils them alike.
        ArchivePageCheck::Verdict verdict = ArchivePageCheck::Verdict::Reject;
        for (int tries = 0; tries < 5 && verdict == ArchivePageCheck::Verdict::Reject; ++tries)
            verdict = check.check(page, payload, context);
        if (verdict == ArchivePageCheck::Verdict::AcceptAndEnd) break;
        page = nextPageInRing(*geometry, page);
    }
    (void)findGaps(tables);
    (void)blankedRecordsLines(tables, context.languageIndex);
    (void)blankedRecordsComment(tables);
    return 0;
}
