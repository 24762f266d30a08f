#include "common/Csv.h"

namespace tarn {

// One pass: a listing's CSV copy asks it of every line of a year of hours.
bool csvFieldNeedsQuotes(QStringView text, QChar delimiter) {
    for (QChar c : text)
        if (c == delimiter || c == QLatin1Char('"') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            return true;
    return false;
}

QString csvField(const QString& text, QChar delimiter) {
    if (!csvFieldNeedsQuotes(text, delimiter)) return text;
    QString inner = text;
    inner.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

void appendCsvField(QString& line, QStringView text, QChar delimiter) {
    if (!csvFieldNeedsQuotes(text, delimiter)) {
        line += text;
        return;
    }
    line += QLatin1Char('"');
    for (QChar c : text) {
        if (c == QLatin1Char('"')) line += QLatin1Char('"');
        line += c;
    }
    line += QLatin1Char('"');
}

QString csvLine(const QStringList& fields, QChar delimiter) {
    qsizetype size = 0;
    for (const QString& field : fields)
        size += field.size() + 1;
    QString line;
    line.reserve(size);
    for (const QString& field : fields) {
        if (csvFieldNeedsQuotes(field, delimiter))
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
