#pragma once
// What the link settings window does, without the window: the copy being edited, which groups show,
// the port lists, saving, and closing (language file, discarding unsaved edits, the language check).
#include "common/DataRoot.h"
#include "common/Language.h"
#include "link/LinkPort.h"
#include "link/LinkSettings.h"

namespace tarn::link {

struct SettingsVisibility {
    bool rsPanel = true;
    bool modemBox = true;
    bool modemGroup = false;
    bool usbPanel = true;
    bool lptPanel = true;
    bool syncGroup = false;
    bool syncTree = false;
};

class SettingsController {
public:
    SettingsController(const DataRoot& root, LinkSettings& live, LinkPort& port);

    // Opening: the window shows a copy of the live settings and the current language.
    void open(int languageIndex);
    LinkSettings& edit() { return edit_; }
    const LinkSettings& edit() const { return edit_; }

    // Ticking a channel off; "RS-232" off also unticks the modem box.
    void setRsOff(bool on);
    void setUsbOff(bool on) { edit_.usbOff = on; }
    void setLptOff(bool on) { edit_.lptOff = on; }
    void setModemUsed(bool on) { edit_.modemUsed = on && !edit_.rsOff; }
    void setSyncOn(bool on) { edit_.syncOn = on; }
    void setChangePath(bool on) { changePath_ = on; }
    SettingsVisibility visibility() const;

    // The list buttons: COM1 … COMn that exist, n from Work\Q_RS.000.
    QStringList probePorts();

    // "СОХРАНИТЬ": writes the 22 lines; the edited settings become the live ones. False when the file
    // could not be written.
    bool save();

    // Every close: the language box text goes to Work\Type_Leng.000 and is read back, the settings file is
    // read again (unsaved edits are discarded). Returns the language index now in force; the caller ends
    // the program when it differs from the one at opening.
    int close(const QString& languageText);
    int languageAtOpening() const { return openedLanguage_; }

private:
    DataRoot root_;
    SettingsFiles files_;
    LinkSettings& live_;
    LinkPort& port_;
    LinkSettings edit_;
    int openedLanguage_ = kUkrainian;
    bool changePath_ = false;
};

} // namespace tarn::link
