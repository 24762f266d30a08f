#pragma once
// The layout of an installation's schema, versioned: numbered SQL files kept in the repository under
// migrations/ (NNNN_what.sql) and built into the program. A schema records the migrations it has had in
// its table schema_version; opening it applies the ones it lacks, each in a transaction of its own, so
// a failure leaves the schema at the last version that applied whole. A schema of a newer version than
// the program's is refused: its tables may hold what this program would misread or destroy.
#include "common/Error.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <optional>

namespace tarn::database::postgres {

struct Migration {
    int version = 0;
    QString name; // the file's name, recorded beside the version
    QString sql;
};

// The migrations built into the program, by version.
QList<Migration> bundledMigrations();

// The statements of an SQL script, each without its ";". Quoted texts and names and comments are read
// as such, so a ";" inside them ends nothing; dollar quoting is refused, as the scripts never need it.
// Nothing when the script is malformed (an unclosed quote or comment), with error saying where.
std::optional<QStringList> splitSqlStatements(const QString& script, QString* error = nullptr);

struct MigrationResult {
    Error error;
    int versionBefore = 0; // the schema's version as found (0: a new schema)
    int versionAfter = 0;
};

// Makes schema if it is missing, points db's search path at it (for this connection, until it closes)
// and applies the migrations the schema lacks. migrations must be numbered 1, 2, … without gaps. Several
// programs may open one schema at once: the server's advisory lock lets one of them migrate at a time.
MigrationResult migrate(QSqlDatabase& db, const QString& schema, const QList<Migration>& migrations);

} // namespace tarn::database::postgres
