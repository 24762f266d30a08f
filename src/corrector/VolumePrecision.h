#pragma once
// The volume precision of an installation: how many decimals volumes are shown, stored and reported with
// (Work\Qdel.000, the number in its first non-empty line; 2 when the file is missing). Read here and
// nowhere else.
#include "common/DataRoot.h"

#include <QString>

namespace tarn::corrector {

inline constexpr int kDefaultVolumeDecimals = 2;
inline constexpr int kMostVolumeDecimals = 6;

struct VolumePrecision {
    int decimals = kDefaultVolumeDecimals;
    // The line that was no number 0..6 (and so counted as missing); empty when the file was fine or absent.
    QString rejectedLine;
    bool rejected() const { return !rejectedLine.isNull(); }
};

QString volumePrecisionPath(const DataRoot& root);
VolumePrecision loadVolumePrecision(const DataRoot& root);
// Writes the file whole (one line, CR LF); false for a number outside 0..6 or a file that cannot be written.
bool saveVolumePrecision(const DataRoot& root, int decimals);
// What the user is told once about a file that gave no precision.
QString rejectedVolumePrecisionText(const VolumePrecision& precision, const QString& path, int languageIndex);

} // namespace tarn::corrector
