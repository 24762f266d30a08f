#pragma once
// A number below 100 as the corrector's clock and the day's hours are written: two digits, a leading zero.
#include <QString>

namespace tarn::corrector {

inline QString twoDigits(int value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace tarn::corrector
