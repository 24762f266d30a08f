#include "database/StoredRecords.h"

#include "database/Registry.h"
#include "database/TableFile.h"

#include <algorithm>

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

namespace {
// The fields among names (without the prefix) that the kind has, with the prefix, in the order asked.
QStringList presentFields(const Schemas& schemas, TableKind kind, const QStringList& names) {
    const QString prefix(tableInfo(kind).fieldPrefix);
    const QList<FieldSpec>& fields = schemas.of(kind);
    QStringList present;
    for (const QString& name : names) {
        const QString full = prefix + name;
        if (std::any_of(fields.begin(), fields.end(),
                        [&](const FieldSpec& f) { return f.name.compare(full, Qt::CaseInsensitive) == 0; }))
            present.append(full);
    }
    return present;
}
} // namespace

QList<int> recordColumns(const Schemas& schemas, TableKind kind, const QStringList& fields) {
    const QString prefix(tableInfo(kind).fieldPrefix);
    const QStringList present = presentFields(schemas, kind, fields);
    QList<int> out;
    out.reserve(fields.size());
    for (const QString& name : fields) {
        const QString full = prefix + name;
        const auto found = std::find_if(present.begin(), present.end(), [&](const QString& p) {
            return p.compare(full, Qt::CaseInsensitive) == 0;
        });
        out.append(found == present.end() ? -1 : static_cast<int>(found - present.begin()));
    }
    return out;
}

bool forEachRecordBetween(Storage& storage, TableKind kind, const QString& identifier, const QDateTime& from,
                          const QDateTime& to, const QStringList& fields, const RowVisitor& visit,
                          const char* timeField) {
    if (!isPointIdentifier(identifier)) return true;
    const QList<FieldSpec>& all = storage.schemas().of(kind);
    const QString prefix(tableInfo(kind).fieldPrefix);
    const QString timeName = prefix + QLatin1String(timeField);
    if (all.isEmpty() || std::none_of(all.begin(), all.end(), [&](const FieldSpec& f) {
            return f.name.compare(timeName, Qt::CaseInsensitive) == 0;
        }))
        return true;
    const QStringList present = presentFields(storage.schemas(), kind, fields);
    // Nothing to read: no walk (an empty list would read every field).
    if (present.isEmpty()) return true;
    const auto table = storage.openExistingPoint(kind, identifier);
    if (!table) return true;
    const QString stamp = QLatin1Char('"') + timeName + QLatin1Char('"');
    return table->forEachRow(present, stamp + QStringLiteral(" >= ? AND ") + stamp + QStringLiteral(" <= ?"),
                             {storedTimestamp(from), storedTimestamp(to)},
                             stamp + QStringLiteral(", \"") + all.first().name + QLatin1Char('"'), visit);
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
