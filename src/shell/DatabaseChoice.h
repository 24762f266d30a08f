#pragma once
// Which database a run works on: the installation's own table files, or a schema on a PostgreSQL server.
// The command line's --database URL wins; else the setting Work/Database.000 (one line, the URL; a missing
// or empty file means the files). Tarn_B, tarn-cli and the tests all choose through here, so the three
// never disagree on where the data are.
//
// A server that was chosen and cannot be used is an error of the run, never a reason to fall back to the
// files: what the user stores there would be missing where the user looks for it.
#include "common/DataRoot.h"
#include "common/Error.h"
#include "database/postgres/DatabaseUrl.h"

#include <optional>

namespace tarn::shell {

class AppContext;

enum class DatabaseSource { Files, Setting, CommandLine };

struct DatabaseChoice {
    DatabaseSource source = DatabaseSource::Files;
    // The server's URL; none for the files.
    std::optional<database::postgres::DatabaseUrl> server;
    // A URL that was refused (a password in it, no schema, not a URL): what is wrong, naming where it was
    // written. The run does not open any database then.
    QString refused;

    bool onServer() const { return server.has_value(); }
    bool ok() const { return refused.isEmpty(); }
};

// Work/Database.000 under root.
QString databaseSettingPath(const DataRoot& root);

// The choice for a run given commandLineUrl (--database, as the user wrote it), else the setting file.
DatabaseChoice chooseDatabase(const DataRoot& root, const std::optional<QString>& commandLineUrl);

// The setting file written whole (beside, then renamed over the old one): the URL in its written form,
// never with a password (parseDatabaseUrl refuses one). False when it cannot be written.
bool writeDatabaseSetting(const DataRoot& root, const database::postgres::DatabaseUrl& url);
// The setting removed: the installation's files again. False when the file stays.
bool removeDatabaseSetting(const DataRoot& root);

// "postgresql://…?schema=s (the command line)" or "the installation's files": for messages and --json.
QString describeDatabaseSource(DatabaseSource source);

// The context's storage for choice: the files as they are, or the server's schema connected (made and
// brought to the program's version when needed). A refused URL is Invalid, an unreachable server NoLink
// (or what the connection said); the context keeps its files storage then, and the caller must not go on
// with the database.
Error openChosenDatabase(AppContext& ctx, const DatabaseChoice& choice);

} // namespace tarn::shell
