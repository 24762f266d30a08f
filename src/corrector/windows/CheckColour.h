#pragma once
// The font colour of a typed value after a key release: window text for a good value, red for a
// syntax error, blue below the range, lime above it.
#include "corrector/ItemTable.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>

namespace tarn::corrector {

inline QColor checkColour(CheckResult check) {
    switch (check) {
    case CheckResult::valueSyntax:
        return QColor(Qt::red);
    case CheckResult::valueBelow:
        return QColor(Qt::blue);
    case CheckResult::valueAbove:
        return QColor(0, 255, 0);
    case CheckResult::valueOk:
        break;
    }
    return QGuiApplication::palette().color(QPalette::WindowText);
}

} // namespace tarn::corrector
