#include "database/GroupQueries.h"

#include "database/Registry.h"
#include "database/TableFile.h"

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

QDate storedDateValue(const QVariant& value) {
    return QDate::fromString(value.toString().left(10), QStringLiteral("yyyy-MM-dd"));
}

QTime storedTimeValue(const QVariant& value) {
    const QString text = value.toString();
    const QTime t = QTime::fromString(text, QStringLiteral("HH:mm:ss"));
    return t.isValid() ? t : QTime::fromString(text, QStringLiteral("HH:mm"));
}

QDateTime storedTimestampValue(const QVariant& value) {
    return QDateTime::fromString(value.toString(), QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

} // namespace tarn::database
