#pragma once
// What the table files' own sources share of the engine: its type names, its quoting, its wait for a
// file another program holds and the names of its connections. Nothing outside TableFile*.cpp includes it.
#include "database/Schema.h"

#include <QString>

namespace tarn::database::engine {

// How long a statement waits for another program holding the file before it fails: five seconds, or
// TARN_DB_BUSY_WAIT_MS (a slow network share wants longer, a test of a locked file much shorter).
int busyWaitMs();
// The one place that knows the engine's own type names: the rest of the SQL is plain.
QString columnType(FieldType type);
QString quoted(const QString& identifier);
// A number for a connection's name, unique in the run across every thread.
int nextConnectionNumber();

} // namespace tarn::database::engine
