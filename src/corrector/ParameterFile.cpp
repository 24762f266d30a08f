#include "corrector/ParameterFile.h"

#include <QDate>
#include <QTime>

namespace tarn::corrector {

QByteArray encodeLineRecord(const QByteArray& text) {
    QByteArray record(kLineRecordSize, ' ');
    record[0] = static_cast<char>(qMin<qsizetype>(text.size(), 255));
    const int n = static_cast<int>(qMin<qsizetype>(text.size(), kLineTextSize));
    for (int i = 0; i < n; ++i)
        record[1 + i] = text[i];
    return record;
}

DecodedRecords decodeLineRecords(const QByteArray& file) {
    DecodedRecords out;
    qsizetype at = 0;
    for (; at + kLineRecordSize <= file.size(); at += kLineRecordSize) {
        const int length = qMin(static_cast<int>(static_cast<quint8>(file[at])), kLineTextSize);
        out.lines.append(file.mid(at + 1, length));
    }
    out.complete = at == file.size();
    return out;
}

QString rowLineText(const QStringList& cells) {
    QString line;
    for (const QString& cell : cells)
        line += cell.leftJustified(kCellWidth, QLatin1Char(' ')) + QLatin1Char('|');
    return line;
}

QStringList splitCells(const QString& content) {
    QStringList cells = content.split(QLatin1Char('|'));
    if (!cells.isEmpty() && cells.last().trimmed().isEmpty()) cells.removeLast();
    for (QString& cell : cells)
        cell.remove(QLatin1Char(' '));
    return cells;
}

NormalisedDate NormaliseDateCell(const QString& text) {
    if (text.isEmpty()) return {};
    static constexpr int kKept[3] = {2, 2, 4};
    QString parts[3];
    int part = 0;
    for (const QChar c : text) {
        if (part > 2) break;
        if (c.isDigit()) {
            if (parts[part].size() < kKept[part]) parts[part] += c;
        } else {
            ++part;
        }
    }
    if (parts[0].isEmpty() || parts[1].isEmpty() || parts[2].isEmpty()) return {};
    const int day = parts[0].toInt();
    const int month = parts[1].toInt();
    if (day < 1 || day > 31 || month < 1 || month > 12) return {};
    QString year = parts[2];
    if (year.toInt() <= 100) year = (QStringLiteral("20") + year).left(4);
    const QDate date(year.toInt(), month, day);
    if (!date.isValid() || date < QDate(2000, 1, 1) || date > QDate(2031, 11, 24)) return {};
    return {true, date.toString(QStringLiteral("dd.MM.yyyy"))};
}

QString NormaliseTimeCell(const QString& text) {
    QString t;
    for (const QChar c : text)
        t += c.isDigit() ? c : QLatin1Char(':');
    const QStringList parts = t.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (parts.isEmpty() || parts.size() > 3) return {};
    const QTime time(parts[0].toInt(), parts.size() > 1 ? parts[1].toInt() : 0,
                     parts.size() > 2 ? parts[2].toInt() : 0);
    if (!time.isValid()) return {};
    return time.toString(QStringLiteral("HH:mm"));
}

} // namespace tarn::corrector
