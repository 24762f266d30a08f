#include "common/Csv.h"

namespace tarn {

QString csvField(const QString& text, QChar delimiter) {
    const bool quoted = text.contains(delimiter) || text.contains(QLatin1Char('"')) ||
                        text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
    if (!quoted) return text;
    QString inner = text;
    inner.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

QString csvLine(const QStringList& fields, QChar delimiter) {
    QString line;
    for (const QString& field : fields)
        line += csvField(field, delimiter) + delimiter;
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
