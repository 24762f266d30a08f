#include "database/StoredRecords.h"

#include "database/Registry.h"
#include "database/TableFile.h"

namespace tarn::database {

int StoredRecords::column(const char* base) const {
    return positions.value(QLatin1String(base), -1);
}

QVariant StoredRecords::value(int row, const char* base) const {
    const int c = column(base);
    return c < 0 ? QVariant() : rows.value(row).value(c);
}

StoredRecords recordsBetween(Storage& storage, TableKind kind, const QString& identifier,
                             const QDateTime& from, const QDateTime& to, const char* timeField) {
    StoredRecords out;
    out.fields = storage.schemas().of(kind);
    for (qsizetype i = 0; i < out.fields.size(); ++i)
        out.positions.insert(out.fields.at(i).name.mid(1), static_cast<int>(i));
    if (!isPointIdentifier(identifier)) return out;
    const auto table = storage.openExistingPoint(kind, identifier);
    if (!table) return out;
    const QString prefix(tableInfo(kind).fieldPrefix);
    if (out.column(timeField) < 0) return out;
    const QString stamp = QLatin1Char('"') + prefix + QLatin1String(timeField) + QLatin1Char('"');
    out.rows = table->select(stamp + QStringLiteral(" >= ? AND ") + stamp + QStringLiteral(" <= ?"),
                             {storedTimestamp(from), storedTimestamp(to)},
                             stamp + QStringLiteral(", \"") + out.fields.first().name + QLatin1Char('"'));
    return out;
}

std::optional<QDateTime> newestRecordTime(Storage& storage, TableKind kind, const QString& identifier) {
    if (!isPointIdentifier(identifier)) return std::nullopt;
    const auto table = storage.openExistingPoint(kind, identifier);
    if (!table) return std::nullopt;
    const QString prefix(tableInfo(kind).fieldPrefix);
    const int stampPosition = table->position(prefix + QStringLiteral("DT_Corr"));
    if (stampPosition < 0) return std::nullopt;
    // The seed record (its stamp the time the table was made) is never the latest.
    const auto rows = table->selectGreatest(prefix + QStringLiteral("DT_Corr"));
    if (rows.isEmpty()) return std::nullopt;
    const QDateTime stamp = QDateTime::fromString(rows.first().value(stampPosition).toString(), Qt::ISODate);
    if (!stamp.isValid()) return std::nullopt;
    return stamp;
}

bool deleteStoredRecord(Storage& storage, TableKind kind, const QString& identifier, qint64 number) {
    if (!isPointIdentifier(identifier)) return false;
    const auto table = storage.openExistingPoint(kind, identifier);
    if (!table) return false;
    const QString numberField = QString(tableInfo(kind).fieldPrefix) + QStringLiteral("Num");
    // The seed record is never one of the rows a user sees, so it is never deleted either.
    if (table->select(QLatin1Char('"') + numberField + QStringLiteral("\" = ?"), {number}).isEmpty())
        return false;
    return table->remove(numberField, number);
}

} // namespace tarn::database
