#include "database/GroupQueries.h"

#include "database/Registry.h"
#include "database/TableFile.h"

#include <initializer_list>

namespace tarn::database {

namespace {

// The point's table when its file exists, with the positions of its fields by their names without the
// table's prefix.
std::unique_ptr<Table> openExisting(Storage& storage, TableKind kind, const QString& identifier,
                                    StoredRecords& out) {
    out.fields = storage.schemas().of(kind);
    for (qsizetype i = 0; i < out.fields.size(); ++i)
        out.positions.insert(out.fields.at(i).name.mid(1), static_cast<int>(i));
    if (!isPointIdentifier(identifier)) return nullptr;
    return storage.openExistingPoint(kind, identifier);
}

QString quotedField(TableKind kind, const char* base) {
    return QLatin1Char('"') + QString(tableInfo(kind).fieldPrefix) + QLatin1String(base) + QLatin1Char('"');
}

} // namespace

StoredRecords recordsOfDays(Storage& storage, TableKind kind, const QString& identifier, const QDate& from,
                            const QDate& to) {
    StoredRecords out;
    const auto table = openExisting(storage, kind, identifier, out);
    if (!table || out.column("Date") < 0 || out.column("DT_Corr") < 0) return out;
    const QString date = quotedField(kind, "Date");
    out.rows = table->select(date + QStringLiteral(" >= ? AND ") + date + QStringLiteral(" <= ?"),
                             {storedDate(from), storedDate(to)},
                             quotedField(kind, "DT_Corr") + QStringLiteral(", ") + quotedField(kind, "Num"));
    return out;
}

StoredRecords lastRecord(Storage& storage, TableKind kind, const QString& identifier) {
    StoredRecords out;
    const auto table = openExisting(storage, kind, identifier, out);
    if (!table || out.column("Num") < 0) return out;
    out.rows = table->selectGreatest(QString(tableInfo(kind).fieldPrefix) + QStringLiteral("Num"));
    return out;
}

namespace {

// The digits at the positions of text, as one number; -1 when one of them is not an ASCII digit.
int digitsAt(QStringView text, std::initializer_list<int> positions) {
    int value = 0;
    for (const int at : positions) {
        const char16_t c = text.at(at).unicode();
        if (c < u'0' || c > u'9') return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// The stored form itself, "yyyy-MM-dd", read digit by digit: the general parser costs some twenty times
// more, and the group views read a date from every row of a year. Invalid when the text is in another
// form or names no date; the general parser then decides, so what either accepts is the same.
QDate plainStoredDate(QStringView text) {
    if (text.size() != 10 || text.at(4) != u'-' || text.at(7) != u'-') return {};
    const int year = digitsAt(text, {0, 1, 2, 3}), month = digitsAt(text, {5, 6}),
              day = digitsAt(text, {8, 9});
    if (year < 1 || month < 0 || day < 0) return {};
    return QDate(year, month, day);
}

// "HH:mm:ss" or "HH:mm" the same way.
QTime plainStoredTime(QStringView text) {
    if ((text.size() != 8 && text.size() != 5) || text.at(2) != u':') return {};
    const int hour = digitsAt(text, {0, 1}), minute = digitsAt(text, {3, 4});
    int second = 0;
    if (text.size() == 8 && (text.at(5) != u':' || (second = digitsAt(text, {6, 7})) < 0)) return {};
    if (hour < 0 || minute < 0) return {};
    return QTime(hour, minute, second);
}

} // namespace

QDate storedDateValue(const QVariant& value) {
    const QString text = value.toString();
    const QStringView date = QStringView(text).left(10);
    if (const QDate plain = plainStoredDate(date); plain.isValid()) return plain;
    return QDate::fromString(date, QStringLiteral("yyyy-MM-dd"));
}

QTime storedTimeValue(const QVariant& value) {
    const QString text = value.toString();
    if (const QTime plain = plainStoredTime(text); plain.isValid()) return plain;
    const QTime t = QTime::fromString(text, QStringLiteral("HH:mm:ss"));
    return t.isValid() ? t : QTime::fromString(text, QStringLiteral("HH:mm"));
}

QDateTime storedTimestampValue(const QVariant& value) {
    return QDateTime::fromString(value.toString(), QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

} // namespace tarn::database
