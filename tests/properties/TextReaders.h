#pragma once
// Readers of what the programs write, kept apart from the program's own writers: Windows-1251 text and
// RFC 4180 CSV.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarn::test::property {

// Windows-1251 to text: ASCII, the Cyrillic block and the few letters outside it that we write.
inline QString fromCp1251(const QByteArray& bytes) {
    QString out;
    for (char ch : bytes) {
        const auto b = static_cast<quint8>(ch);
        if (b < 0x80)
            out.append(QChar(b));
        else if (b >= 0xC0)
            out.append(QChar(char16_t(0x0410 + (b - 0xC0))));
        else if (b == 0xA8)
            out.append(QChar(char16_t(0x0401)));
        else if (b == 0xB8)
            out.append(QChar(char16_t(0x0451)));
        else if (b == 0xB9)
            out.append(QChar(char16_t(0x2116)));
        else
            out.append(QChar(char16_t(0xFFFD)));
    }
    return out;
}

// RFC 4180 with a chosen delimiter: a quoted field may hold the delimiter, line ends and doubled quotes;
// records end in CR LF; a stray quote, a bare CR or an unclosed quote is malformed.
inline std::optional<QList<QStringList>> parseCsv(const QString& text, QChar delimiter) {
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false, afterQuote = false, started = false;
    auto endField = [&] {
        record.append(field);
        field.clear();
        afterQuote = started = false;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c != QLatin1Char('"')) {
                field.append(c);
            } else if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                field.append(c);
                ++i;
            } else {
                quoted = false;
                afterQuote = true;
            }
        } else if (c == delimiter) {
            endField();
        } else if (c == QLatin1Char('\r')) {
            if (i + 1 >= text.size() || text.at(i + 1) != QLatin1Char('\n')) return std::nullopt;
            ++i;
            endField();
            records.append(record);
            record.clear();
        } else if (c == QLatin1Char('\n')) {
            return std::nullopt;
        } else if (c == QLatin1Char('"')) {
            if (started || afterQuote) return std::nullopt;
            quoted = started = true;
        } else {
            if (afterQuote) return std::nullopt;
            field.append(c);
            started = true;
        }
    }
    if (quoted) return std::nullopt;
    if (started || afterQuote || !record.isEmpty()) {
        endField();
        records.append(record);
    }
    return records;
}

} // namespace tarn::test::property
