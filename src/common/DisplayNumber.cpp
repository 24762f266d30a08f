#include "common/DisplayNumber.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace tarn {

namespace {

// Cuts the zeros after the point as formattedByQt does (only the last six decimals are looked at, a bare
// point goes, "-0" is "0"), on the characters in place; returns the new end.
char* cutZeros(char* begin, char* end) {
    char* point = begin;
    while (point != end && *point != '.')
        ++point;
    if (point != end) {
        char* const lookFrom = end - point > 7 ? end - 6 : point + 1;
        while (end > lookFrom && *(end - 1) == '0')
            --end;
        if (end == point + 1) end = point;
    }
    if (end - begin == 2 && begin[0] == '-' && begin[1] == '0') {
        begin[0] = '0';
        end = begin + 1;
    }
    return end;
}

// What QString::number makes of any value, cut the same way: the text for whatever the fast path below
// leaves alone.
QString formattedByQt(double value, int decimals) {
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

// The fast path takes the values a meter shows: with at most nine decimals and under 2^52 once scaled by
// them, so that the scaled value's whole part and the one step to the nearest are exact in a double.
constexpr int kFastDecimals = 9;
constexpr double kFastScaledLimit = 4503599627370496.0; // 2^52
constexpr double kPowersOfTen[kFastDecimals + 1] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
// Sign, sixteen digits, point: room to spare.
constexpr int kFastRoom = 32;

// |value| × 10^decimals rounded to a whole number as QString::number rounds its fixed digits: to the
// nearest, exactly (from the binary value, not from a rounded product), a tie away from zero.
std::uint64_t scaledMagnitude(double magnitude, double scale) {
    // The product is scaled + error exactly (fma rounds once); error is at most half a unit of scaled's
    // last place. Scaled is below 2^52, so its fraction is exact and a multiple of that unit: the
    // error can only tip the rounding when the fraction is exactly one half.
    const double scaled = magnitude * scale;
    const double error = std::fma(magnitude, scale, -scaled);
    const double whole = std::floor(scaled);
    const double fraction = scaled - whole;
    const bool up = fraction > 0.5 || (fraction == 0.5 && error >= 0.0);
    return static_cast<std::uint64_t>(whole) + (up ? 1 : 0);
}

// The text into buffer (kFastRoom characters); its length, or 0 when the value is left to Qt.
int fastDisplayNumber(double value, int decimals, char* buffer) {
    if (decimals > kFastDecimals) return 0;
    const double scale = kPowersOfTen[decimals];
    const double magnitude = std::fabs(value);
    if (!(magnitude * scale < kFastScaledLimit)) return 0;
    // Far below the last decimal shown: the product's error term could fall under the smallest double.
    const std::uint64_t scaled = magnitude < 1e-200 ? 0 : scaledMagnitude(magnitude, scale);
    // The digits backwards from the last decimal, then the sign. Qt writes a negative value too small to
    // show with its sign, a negative zero without.
    char digits[kFastRoom];
    char* at = digits + kFastRoom;
    std::uint64_t rest = scaled;
    for (int i = 0; i < decimals; ++i) {
        *--at = static_cast<char>('0' + rest % 10);
        rest /= 10;
    }
    if (decimals > 0) *--at = '.';
    do {
        *--at = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (value < 0.0) *--at = '-';
    const auto length = static_cast<int>(digits + kFastRoom - at);
    std::memcpy(buffer, at, static_cast<std::size_t>(length));
    return static_cast<int>(cutZeros(buffer, buffer + length) - buffer);
}

} // namespace

QString displayNumber(double value, int decimals) {
    if (!std::isfinite(value)) value = 0.0;
    if (decimals < 0) decimals = 0;
    char buffer[kFastRoom];
    if (const int length = fastDisplayNumber(value, decimals, buffer); length > 0)
        return QString::fromLatin1(buffer, length);
    return formattedByQt(value, decimals);
}

void appendDisplayNumber(QString& text, double value, int decimals) {
    if (!std::isfinite(value)) value = 0.0;
    if (decimals < 0) decimals = 0;
    char buffer[kFastRoom];
    if (const int length = fastDisplayNumber(value, decimals, buffer); length > 0)
        text.append(QLatin1String(buffer, length));
    else
        text.append(formattedByQt(value, decimals));
}

QString displayNumberPadded(double value, int width, int decimals) {
    return displayNumber(value, decimals).rightJustified(width, QLatin1Char(' '));
}

} // namespace tarn
