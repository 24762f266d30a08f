#include "shell/Initialisation.h"

#include <QLocale>

namespace tarn::shell {

void applyProgramFormats() {
    QLocale::setDefault(QLocale::c());
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

    ctx.databaseOpen = true;
    if (hooks) hooks->databaseStartup();
    return result;
}

} // namespace tarn::shell
