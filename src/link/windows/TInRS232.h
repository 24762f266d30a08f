#pragma once
// The link settings window "УСТАНОВКИ". It shows SettingsController's copy of the settings and forwards
// every change to it; the controller decides what shows and what is stored.
#include "link/SettingsController.h"

#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;
class QTreeView;
class QFileSystemModel;
class QMenuBar;
class QAction;
class QLabel;
class QPushButton;

namespace tarn::link {

class TInRS232 final : public QDialog {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void()> afterSave;     // closes the tables and runs the initialisation again
        std::function<void()> startPortScan; // "КОНТРОЛЬ RS"
        std::function<void(const LinkSettings&)> reinitPort; // Enter or Esc in the retries field
        std::function<void()> languageChanged;               // ends the program
        // The link debugger box "отладчик": shown at service level 5 only.
        std::function<int()> serviceLevel;
        std::function<bool()> debuggerOn;
        std::function<void(bool)> setDebuggerOn;
    };

    TInRS232(SettingsController& controller, Hooks hooks, QWidget* parent = nullptr);

    // Sets every caption in the language and shows the settings; called before each opening.
    void setCaptions(int languageIndex);
    void loadFromController();

    // Reachable for tests.
    QAction* saveAction() const { return saveAction_; }
    QAction* portScanAction() const { return portScanAction_; }
    QAction* exitAction() const { return exitAction_; }
    QComboBox* languageBox() const { return language_; }
    QCheckBox* rsOffBox() const { return rsOff_; }
    QCheckBox* modemBox() const { return modem_; }
    QCheckBox* syncBox() const { return sync_; }
    QGroupBox* modemGroup() const { return modemGroup_; }
    QGroupBox* rsPanel() const { return rsPanel_; }
    QGroupBox* syncGroup() const { return syncGroup_; }
    QComboBox* corrPortBox() const { return corrPort_; }
    QSpinBox* retriesBox() const { return retries_; }
    QLineEdit* serviceCodeEdit() const { return serviceCode_; }
    QCheckBox* debuggerBox() const { return debugger_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override;

private:
    void BitBtn_SaveClick();
    void storeToController();
    void applyVisibility();
    void fillPorts(QComboBox* box);

    SettingsController& controller_;
    Hooks hooks_;
    int languageIndex_ = 1;
    bool closing_ = false;

    QMenuBar* menu_;
    QAction* saveAction_;
    QAction* portScanAction_;
    QAction* exitAction_;
    QGroupBox* rsPanel_;
    QLabel* corrPortLabel_;
    QComboBox* corrPort_;
    QLabel* speedLabel_;
    QComboBox* speed_;
    QLabel* readTimeoutLabel_;
    QSpinBox* readTimeout_;
    QLabel* writeTimeoutLabel_;
    QSpinBox* writeTimeout_;
    QLabel* retriesLabel_;
    QSpinBox* retries_;
    QCheckBox* secondDriver_;
    QCheckBox* resetOnFailure_;
    QCheckBox* modem_;
    QGroupBox* modemGroup_;
    QLabel* modemInitLabel_;
    QLineEdit* modemInit_;
    QLabel* modemHoldLabel_;
    QLineEdit* modemHold_;
    QGroupBox* usbPanel_;
    QLabel* transferPortLabel_;
    QComboBox* transferPort_;
    QGroupBox* lptPanel_;
    QRadioButton* lpt1_;
    QRadioButton* lpt2_;
    QRadioButton* lpt3_;
    QRadioButton* lptCustom_;
    QLabel* lptAddressLabel_;
    QLineEdit* lptAddress_;
    QLabel* lptDelayLabel_;
    QSpinBox* lptDelay_;
    QGroupBox* channelsOff_;
    QCheckBox* rsOff_;
    QCheckBox* usbOff_;
    QCheckBox* lptOff_;
    QGroupBox* syncGroup_;
    QCheckBox* sync_;
    QCheckBox* changePath_;
    QLineEdit* syncPath_;
    QTreeView* syncTree_;
    QFileSystemModel* dirs_;
    QLabel* languageLabel_;
    QComboBox* language_;
    QLabel* serviceCodeLabel_;
    QLineEdit* serviceCode_;
    QCheckBox* debugger_;
    QPushButton* corrListButton_;
    QPushButton* transferListButton_;
};

} // namespace tarn::link
