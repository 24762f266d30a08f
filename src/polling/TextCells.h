#pragma once
// Small text helpers the polling messages and the group views share.
#include <QString>

namespace tarn::polling {

// A name or number in a message, in double quotes.
inline QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// A fixed-width cell of a text table: cut to the width and padded with blanks.
inline QString cut(const QString& text, int width) {
    return text.left(width).leftJustified(width, QLatin1Char(' '));
}

// What a cell shows when there is no value.
inline const QString kNone = QStringLiteral("--");

} // namespace tarn::polling
