#include "database/GroupQueries.h"

#include "database/Registry.h"
#include "database/TableFile.h"

#include <QFile>
#include <QFileInfo>

namespace tarn::database {

namespace {

// The point's table when its file exists, with the positions of its fields by their names without the
// table's prefix.
std::unique_ptr<TableFile> openExisting(const DataRoot& root, const Schemas& schemas, TableKind kind,
                                        const QString& identifier, StoredRecords& out) {
    out.fields = schemas.of(kind);
    for (qsizetype i = 0; i < out.fields.size(); ++i)
        out.positions.insert(out.fields.at(i).name.mid(1), static_cast<int>(i));
    if (!isPointIdentifier(identifier)) return nullptr;
    const QString path = tablePath(root, kind, identifier);
    if (!QFile::exists(path)) return nullptr;
    return TableFile::open(path, kind, out.fields);
}

QString quotedField(TableKind kind, const char* base) {
    return QLatin1Char('"') + QString(tableInfo(kind).fieldPrefix) + QLatin1String(base) + QLatin1Char('"');
}

} // namespace

StoredRecords recordsOfDays(const DataRoot& root, const Schemas& schemas, TableKind kind,
                            const QString& identifier, const QDate& from, const QDate& to) {
    StoredRecords out;
    const auto table = openExisting(root, schemas, kind, identifier, out);
    if (!table || out.column("Date") < 0 || out.column("DT_Corr") < 0) return out;
    const QString date = quotedField(kind, "Date");
    out.rows = table->select(date + QStringLiteral(" >= ? AND ") + date + QStringLiteral(" <= ?"),
                             {storedDate(from), storedDate(to)},
                             quotedField(kind, "DT_Corr") + QStringLiteral(", ") + quotedField(kind, "Num"));
    return out;
}

StoredRecords lastRecord(const DataRoot& root, const Schemas& schemas, TableKind kind,
                         const QString& identifier) {
    StoredRecords out;
    const auto table = openExisting(root, schemas, kind, identifier, out);
    if (!table || out.column("Num") < 0) return out;
    // The names come from the table's own layout, never from the user; the seed record stays out.
    const QString number = quotedField(kind, "Num");
    out.rows =
        table->select(number + QStringLiteral(" = (SELECT MAX(") + number + QStringLiteral(") FROM \"") +
                      QFileInfo(table->path()).completeBaseName() + QStringLiteral("\" WHERE ") +
                      quotedField(kind, "Identif") + QStringLiteral(" <> '0')"));
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
