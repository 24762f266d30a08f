#include "common/Csv.h"

namespace tarn {

namespace {
// Whether the field must be quoted: it holds the delimiter, a quote or a line end (one pass: a listing's
// CSV copy asks it of every cell of a year of hours).
bool needsQuotes(const QString& text, QChar delimiter) {
    for (QChar c : text)
        if (c == delimiter || c == QLatin1Char('"') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            return true;
    return false;
}
} // namespace

QString csvField(const QString& text, QChar delimiter) {
    if (!needsQuotes(text, delimiter)) return text;
    QString inner = text;
    inner.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

QString csvLine(const QStringList& fields, QChar delimiter) {
    qsizetype size = 0;
    for (const QString& field : fields)
        size += field.size() + 1;
    QString line;
    line.reserve(size);
    for (const QString& field : fields) {
        if (needsQuotes(field, delimiter))
            line += csvField(field, delimiter);
        else
            line += field;
        line += delimiter;
    }
    return line;
}

QChar usableCsvDelimiter(QChar wanted) {
    // A quote as the delimiter would make every quoted field unreadable, and a line end would split the
    // rows; a tab is a delimiter spreadsheets read as they read a comma.
    if (wanted == QLatin1Char('"') || (wanted.unicode() < 0x20 && wanted != QLatin1Char('\t')))
        return QLatin1Char(',');
    return wanted;
}

} // namespace tarn
