#pragma once
// A line's colour as a window paints it. Header only: it needs QtGui, which the parts that draw link and
// the rest of common does not.
#include "common/LineColour.h"

#include <QColor>

namespace tarn {

inline QColor colourOf(LineColour colour) {
    switch (colour) {
    case LineColour::Maroon:
        return QColor(0x80, 0x00, 0x00);
    case LineColour::Blue:
        return QColor(0x00, 0x00, 0xff);
    case LineColour::Green:
        return QColor(0x00, 0x80, 0x00);
    case LineColour::Red:
        return QColor(0xff, 0x00, 0x00);
    case LineColour::Black:
        break;
    }
    return QColor(0x00, 0x00, 0x00);
}

} // namespace tarn
