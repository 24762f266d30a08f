#pragma once
#include <QString>

namespace tarn {

// A value as the program shows it: fixed decimals, then trailing zeros after the point cut (at most six
// decimals are looked at), a bare point cut, blanks removed; the point is always ".". "-0" shows as "0".
QString displayNumber(double value, int decimals);

// The same, padded on the left with blanks to width (reports pad after formatting).
QString displayNumberPadded(double value, int width, int decimals);

} // namespace tarn
