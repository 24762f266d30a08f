#include "shell/Initialisation.h"

#include "database/Registry.h"

#include <QLocale>

namespace tarn::shell {

void applyProgramFormats() {
    QLocale::setDefault(QLocale::c());
}

bool startDatabase(AppContext& ctx, InitialisationHooks* hooks) {
    ctx.databaseOpen = false;
    // The database runs only with schema files that declare the fields the program writes. Missing ones
    // are restored as the installation ships them; a file that does not fit switches the database off
    // for this run, with its message.
    database::writeMissingSchemaFiles(ctx.root());
    ctx.schemas = database::loadSchemas(ctx.root());
    ctx.databaseOpen = ctx.schemas.ok;
    if (!ctx.schemas.ok) ctx.notifier().message(MessageKind::Error, ctx.schemas.error);
    // The tables every run needs, and the point list the folder synchronisation reads. A table that
    // cannot be opened switches the database off as a schema file does: storing would fail on it.
    if (ctx.databaseOpen) {
        if (const QString failed =
                database::openDatabaseAtStart(ctx.root(), ctx.schemas, QDate::currentDate());
            !failed.isEmpty()) {
            ctx.databaseOpen = false;
            ctx.notifier().message(MessageKind::Error, failed);
        }
    }
    if (ctx.databaseOpen && hooks) hooks->databaseStartup();
    return ctx.databaseOpen;
}

InitialisationResult runInitialisation(AppContext& ctx, InitialisationHooks* hooks) {
    InitialisationResult result;
    ctx.databaseOpen = false;
    applyProgramFormats();
    if (hooks) hooks->hideDebugMenu();

    if (link::loadSettings(ctx.settingsFiles(), ctx.settings()) == link::LoadResult::Outdated) {
        result.outdatedSettings = true;
        link::loadSettings(ctx.settingsFiles(), ctx.settings());
    }

    ctx.serviceLevel = link::serviceLevelForCode(ctx.settings().serviceCode);
    // The link debugger logs at service level 5 only.
    ctx.linkLog().enabled = ctx.serviceLevel == 5;
    ctx.configuredAddress = 1;
    ctx.applyLinkSettings();
    if (hooks) hooks->linkStateReset();
    ctx.loadVolumePrecision();

    startDatabase(ctx, hooks);
    return result;
}

} // namespace tarn::shell
