#pragma once
// Where each of the fourteen tables lies in an installation's schema on the server (migrations/ lays
// them out): one table per kind for every point, the point in a column of its own.
#include "database/Schema.h"

namespace tarn::database::postgres {

// The table of a kind: "hourly", "daily", …, "join_table" ("join" is a keyword).
QString tableName(TableKind kind);
// A field's column: its name in lower case, which SQL reads the same with or without quotes.
QString columnName(const QString& fieldName);
// The column naming the metering point of a row; the registry, the gas table and the join table name
// points in fields of their own, or none.
inline const QLatin1String kPointColumn("point");
bool hasPointColumn(TableKind kind);

} // namespace tarn::database::postgres
