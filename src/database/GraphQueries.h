#pragma once
// What the graphs read from a point's tables: the records of one archive over a period, in the order of
// their time stamps. The hourly and operative records go by their record time, the daily and monthly
// ones by their record date, the measurements by the time they were taken. Every value is bound; a
// missing table has no rows (and is not created).
#include "database/StoredRecords.h"

namespace tarn::database {

// Hourly, Daily, Monthly, Operative or Measurement; any other kind has no rows. For the daily and
// monthly tables only the dates of from and to count.
StoredRecords graphRecords(Storage& storage, TableKind kind, const QString& identifier, const QDateTime& from,
                           const QDateTime& to);

// The same records with only the named fields (names without the table's prefix) besides the time and
// the number, read row by row from the query: a graph of a year of hours needs four of the hourly
// table's 22 fields. The fields and positions of the result are those of the fields read.
StoredRecords graphRecords(Storage& storage, TableKind kind, const QString& identifier, const QDateTime& from,
                           const QDateTime& to, const QStringList& fields);

// The field that gives a graph's X value: "DT_Corr", or "DateTime" for the measurements.
const char* graphTimeField(TableKind kind);

} // namespace tarn::database
