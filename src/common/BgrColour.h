#pragma once
// Colours are kept as the settings files store them, 0x00BBGGRR. Header only: it needs QtGui, which
// the parts that draw (graphs, windows) link and the rest of common does not.
#include <QColor>

namespace tarn {

inline QColor colourOfBgr(quint32 bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

} // namespace tarn
