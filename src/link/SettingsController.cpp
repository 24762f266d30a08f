#include "link/SettingsController.h"

#include "common/LanguageFile.h"

namespace tarn::link {

SettingsController::SettingsController(const DataRoot& root, LinkSettings& live, LinkPort& port)
    : root_(root), files_(root), live_(live), port_(port), edit_(live) {}

void SettingsController::open(int languageIndex) {
    edit_ = live_;
    edit_.language = languageText(languageIndex);
    openedLanguage_ = languageIndex;
    changePath_ = false;
}

void SettingsController::setRsOff(bool on) {
    edit_.rsOff = on;
    if (on) edit_.modemUsed = false;
}

SettingsVisibility SettingsController::visibility() const {
    SettingsVisibility v;
    v.rsPanel = !edit_.rsOff;
    v.modemBox = !edit_.rsOff;
    v.modemGroup = !edit_.rsOff && edit_.modemUsed;
    v.usbPanel = !edit_.usbOff;
    v.lptPanel = !edit_.lptOff;
    v.syncGroup = edit_.syncOn;
    v.syncTree = edit_.syncOn && changePath_;
    return v;
}

QStringList SettingsController::probePorts() {
    return port_.probePorts(readPortProbeCount(root_));
}

bool SettingsController::save() {
    if (!saveSettings(files_, edit_)) return false;
    live_ = edit_;
    return true;
}

int SettingsController::close(const QString& languageBoxText) {
    saveLanguage(root_, languageBoxText);
    const int now = loadLanguage(root_, openedLanguage_);
    // Unsaved edits are discarded: the live settings are what the file holds. Without a file the
    // window's controls keep what was typed, and the exit writes it. The service code is never stored:
    // the edit keeps its text.
    const QString code = edit_.serviceCode;
    LinkSettings reread = edit_;
    loadSettings(files_, reread);
    live_ = reread;
    live_.serviceCode = code;
    return now;
}

} // namespace tarn::link
