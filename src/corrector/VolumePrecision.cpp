#include "corrector/VolumePrecision.h"

#include "common/Language.h"
#include "common/TextFile.h"

namespace tarn::corrector {

namespace {
// The file holds one small number; anything longer is not ours.
constexpr qint64 kMaxFileBytes = 4096;
} // namespace

QString volumePrecisionPath(const DataRoot& root) {
    return root.file(folder::Work, QStringLiteral("Qdel.000"));
}

VolumePrecision loadVolumePrecision(const DataRoot& root) {
    VolumePrecision p;
    const std::optional<QStringList> lines = readTextLines(volumePrecisionPath(root), kMaxFileBytes);
    if (!lines) return p;
    for (const QString& line : *lines) {
        const QString text = line.trimmed();
        if (text.isEmpty()) continue;
        bool ok = false;
        const int decimals = text.toInt(&ok);
        if (ok && decimals >= 0 && decimals <= kMostVolumeDecimals)
            p.decimals = decimals;
        else
            p.rejectedLine = text;
        return p;
    }
    return p;
}

bool saveVolumePrecision(const DataRoot& root, int decimals) {
    if (decimals < 0 || decimals > kMostVolumeDecimals) return false;
    return writeTextLines(volumePrecisionPath(root), {QString::number(decimals)});
}

QString rejectedVolumePrecisionText(const VolumePrecision& precision, const QString& path,
                                    int languageIndex) {
    return uaRu(languageIndex, "У файлі ", "В файле ") + path + QStringLiteral(" \"") +
           precision.rejectedLine +
           uaRu(languageIndex, "\" не число 0..6: об'єми показуються з 2 знаками",
                "\" не число 0..6: объемы показываются с 2 знаками");
}

} // namespace tarn::corrector
