#pragma once
#include <QString>

namespace tarn {

// A value as the program shows it: fixed decimals, then trailing zeros after the point cut (at most six
// decimals are looked at), a bare point cut, blanks removed; the point is always ".". "-0" shows as "0".
// Not finite shows as 0; fewer than no decimals as none.
QString displayNumber(double value, int decimals);

// The same, padded on the left with blanks to width (reports pad after formatting).
QString displayNumberPadded(double value, int width, int decimals);

// The same text as displayNumber, added to the end of text without a string of its own: a listing
// formats several numbers for each of a year's hours.
void appendDisplayNumber(QString& text, double value, int decimals);

} // namespace tarn
