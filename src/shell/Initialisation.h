#pragma once
// The initialisation sequence that runs at start and after every save of the link settings.
#include "shell/AppContext.h"
#include "shell/DatabaseChoice.h"

namespace tarn::shell {

struct InitialisationResult {
    // An outdated settings file was deleted: the program ends once the sequence has run.
    bool outdatedSettings = false;
};

// Runs the steps in order: database flag cleared, the program's own formats, LoadSettings (twice when the
// first call deleted an outdated file), the link reset (address 1, service level from the access code,
// port and exchange engine configured from the settings), then the database start-up (the schemas, the
// registry, gas and day's join tables, the point list).
InitialisationResult runInitialisation(AppContext& ctx);

// LoadSettings as every program of the installation runs it: a settings file that is there but cannot
// be read leaves the defaults in force for this run and is said so (the file itself is never touched,
// so the user's settings are not lost to a passing fault).
link::LoadResult loadLinkSettings(AppContext& ctx);
// What the user is told then.
QString unreadableSettingsText(int languageIndex, const QString& path);

// The database start-up alone: the schema files (missing ones restored), the registry, gas and day's join
// tables and the point list; sets and returns databaseOpen. A synchronised copy runs it again after every
// synchronisation, since the files under the tables have been replaced. A database choice changed while
// Tarn_B runs (ctx.restartToSwitchDatabase) closes the database until the next start, with
// databaseSwitchText said once.
bool startDatabase(AppContext& ctx);
// "The database choice changed while the program ran (now: …); the database is off until a restart".
QString databaseSwitchText(int language, const DatabaseChoice& choice);
// The message of a chosen server database that cannot be opened (why.detail names the URL, never a
// password).
QString databaseUnavailableText(int language, const Error& why);

// "контроль и восстановление таблиц БД": the rebuild tool Rebuild/Orvek is given the table folders in
// Rebuild\dir.000 (thirteen full paths, today's join folder among them) and is waited for, before any
// table is opened. False, with a message, when the tool is missing or did not end normally.
bool runRebuildTool(const DataRoot& root, Notifier& notifier, const QDate& today);

// "контроль и восстановление таблиц БД" before the tables open (at start-up and before a synchronised
// copy's database starts again): an installation that brings its own rebuild tool has it run; otherwise
// the database check repairs what it can, each original kept beside its rebuilt table, and says what it
// found in one message. False when something was left unrepaired or the check could not run.
bool checkTablesBeforeStart(AppContext& ctx);

// The program's formats are always "." and "dd.MM.yyyy" / "HH:mm:ss", whatever the user's locale; the
// user's own settings are never touched.
void applyProgramFormats();

} // namespace tarn::shell
