#include "common/DisplayNumber.h"

#include <cmath>

namespace tarn {

QString displayNumber(double value, int decimals) {
    if (!std::isfinite(value)) value = 0.0;
    if (decimals < 0) decimals = 0;
    QString text = QString::number(value, 'f', decimals);
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    if (point >= 0) {
        // Only the first six decimals are looked at when cutting zeros.
        qsizetype end = text.size();
        const qsizetype lookFrom = std::max<qsizetype>(point + 1, end - 6);
        while (end > lookFrom && text.at(end - 1) == QLatin1Char('0'))
            --end;
        if (end == point + 1) end = point;
        text.truncate(end);
    }
    text.remove(QLatin1Char(' '));
    if (text == QLatin1String("-0")) text = QStringLiteral("0");
    return text;
}

QString displayNumberPadded(double value, int width, int decimals) {
    return displayNumber(value, decimals).rightJustified(width, QLatin1Char(' '));
}

} // namespace tarn
