#pragma once
// What the group views read from a point's tables: the daily records of a span of days, and the last row
// a table received. Every value is bound; a missing table has no rows (and is not created).
#include "database/StoredRecords.h"

#include <QDate>

namespace tarn::database {

// The rows of the point's daily (or monthly) table whose record date lies in [from, to], in record-time
// order. Dates are kept "yyyy-MM-dd", so the text comparison is the date comparison.
StoredRecords recordsOfDays(Storage& storage, TableKind kind, const QString& identifier, const QDate& from,
                            const QDate& to);

// The row the point's table of that kind received last (the highest number); no row when the table
// holds none.
StoredRecords lastRecord(Storage& storage, TableKind kind, const QString& identifier);

// A stored date ("yyyy-MM-dd"), time ("HH:mm:ss") or time stamp ("yyyy-MM-ddTHH:mm:ss") read back;
// invalid for anything else.
QDate storedDateValue(const QVariant& value);
QTime storedTimeValue(const QVariant& value);
QDateTime storedTimestampValue(const QVariant& value);

} // namespace tarn::database
