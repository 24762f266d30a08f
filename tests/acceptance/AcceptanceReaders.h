#pragma once
// Readers of what the programs write, made for the acceptance checks and sharing nothing with the
// program's own code: Windows-1251 bytes as text, and CSV as RFC 4180 reads it.
#include <QByteArray>
#include <QChar>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace acceptance {

// Windows-1251 to text: ASCII, the Cyrillic block and the few letters outside it that we write.
inline QString fromCp1251(const QByteArray& bytes) {
    QString out;
    for (char ch : bytes) {
        const auto b = static_cast<quint8>(ch);
        if (b < 0x80)
            out.append(QChar(b));
        else if (b >= 0xC0)
            out.append(QChar(char16_t(0x0410 + (b - 0xC0))));
        else {
            switch (b) {
            case 0xA8:
                out.append(QChar(char16_t(0x0401)));
                break;
            case 0xB8:
                out.append(QChar(char16_t(0x0451)));
                break;
            case 0xAA:
                out.append(QChar(char16_t(0x0404)));
                break;
            case 0xBA:
                out.append(QChar(char16_t(0x0454)));
                break;
            case 0xB2:
                out.append(QChar(char16_t(0x0406)));
                break;
            case 0xB3:
                out.append(QChar(char16_t(0x0456)));
                break;
            case 0xAF:
                out.append(QChar(char16_t(0x0407)));
                break;
            case 0xBF:
                out.append(QChar(char16_t(0x0457)));
                break;
            case 0xB9:
                out.append(QChar(char16_t(0x2116)));
                break;
            case 0x92:
                out.append(QChar(char16_t(0x2019)));
                break;
            default:
                out.append(QChar(char16_t(0xFFFD)));
            }
        }
    }
    return out;
}

// RFC 4180: fields split by the delimiter, a quoted field may hold the delimiter, line ends and doubled
// quotes; a quote inside an unquoted field, an unclosed quote or text after a closing quote is malformed.
inline std::optional<QList<QStringList>> parseCsv(const QString& text, QChar delimiter) {
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false, afterQuote = false, fieldStarted = false;
    auto finishField = [&] {
        record.append(field);
        field.clear();
        afterQuote = fieldStarted = false;
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
            continue;
        }
        if (c == delimiter) {
            finishField();
        } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r')) {
                if (i + 1 >= text.size() || text.at(i + 1) != QLatin1Char('\n')) return std::nullopt;
                ++i;
            }
            finishField();
            records.append(record);
            record.clear();
        } else if (c == QLatin1Char('"')) {
            if (fieldStarted || afterQuote) return std::nullopt;
            quoted = true;
            fieldStarted = true;
        } else {
            if (afterQuote) return std::nullopt;
            field.append(c);
            fieldStarted = true;
        }
    }
    if (quoted) return std::nullopt;
    if (fieldStarted || afterQuote || !record.isEmpty()) {
        finishField();
        records.append(record);
    }
    return records;
}

// The first corrector's state in the simulator's --dump file, as it held it when it ended.
inline std::optional<QJsonObject> firstCorrectorOfDump(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    const QJsonArray all =
        QJsonDocument::fromJson(f.readAll()).object().value(QStringLiteral("correctors")).toArray();
    if (all.isEmpty()) return std::nullopt;
    return all.first().toObject();
}

} // namespace acceptance
