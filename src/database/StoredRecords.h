#pragma once
// The stored records of a point that the reports read: one kind's rows whose record time lies in a
// span, in time order (record number second), with the table's field list to find values by name.
#include "database/Storage.h"

#include <QDateTime>
#include <QHash>
#include <QVariant>
#include <optional>

namespace tarn::database {

struct StoredRecords {
    QList<FieldSpec> fields;
    QList<QVariantList> rows;
    QHash<QString, int> positions; // by the name without the table's prefix
    // The position of a field by its name without the table's prefix ("Vwrk", "DT_Corr"); -1 when none.
    int column(const char* base) const;
    QVariant value(int row, const char* base) const;
};

// The rows of the point's table of that kind (a table with record times: hourly, daily, monthly,
// alarm, interference, operative, service, heat energy) whose record time lies in [from, to]. A missing
// table has no rows (and is not created).
// The measurement table has no record time: its rows go by the time they were taken ("DateTime").
StoredRecords recordsBetween(Storage& storage, TableKind kind, const QString& identifier,
                             const QDateTime& from, const QDateTime& to, const char* timeField = "DT_Corr");

// Where each of fields (names without the table's prefix: "Vwrk", "DT_Corr") stands in the rows that
// forEachRecordBetween hands over for the same fields: its place among those the kind has, -1 for one it
// has not (which then reads as no value).
QList<int> recordColumns(const Schemas& schemas, TableKind kind, const QStringList& fields);

// The same rows as recordsBetween, in the same order, but only the fields named (those the kind has),
// handed to visit one at a time straight from the query: a report over ten years reduces its hours
// without holding them. False when the selection failed; a missing table has no rows and is no failure.
bool forEachRecordBetween(Storage& storage, TableKind kind, const QString& identifier, const QDateTime& from,
                          const QDateTime& to, const QStringList& fields, const RowVisitor& visit,
                          const char* timeField = "DT_Corr");

// The record time of the newest record in the point's table of that kind (the latest time, which after
// the corrector's ring has run round is not the highest number); nothing when the table holds none.
std::optional<QDateTime> newestRecordTime(Storage& storage, TableKind kind, const QString& identifier);

// Deletes the stored record with that running number ("…Num") from the point's table of that kind; false
// when the table or the record is not there (nothing is deleted then) or the deletion failed.
bool deleteStoredRecord(Storage& storage, TableKind kind, const QString& identifier, qint64 number);

} // namespace tarn::database
