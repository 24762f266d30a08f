#pragma once
// The corrector window: the header panel, the nine parameter pages and the menus. What it shows and
// what a key does come from the window model; the "RS-232" menu hands its operation codes to the
// operation start.
#include "common/Notifier.h"
#include "corrector/CorrectorWindowModel.h"
#include "link/LinkSettings.h"

#include <QDialog>
#include <array>
#include <functional>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QRadioButton;
class QTabWidget;
class QTableView;

namespace tarn::corrector {

class CorrectorFileMenu;
class TItemWait;

class TCorrect final : public QDialog {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void(int operationCode)> startOperation;
        // "ДА" of the selective reading window, with its number of days.
        std::function<void(int days)> startSelectiveRead;
        // Leaving the window: false keeps it open (a modem still on the line is being dropped).
        std::function<bool()> mayLeave;
    };

    TCorrect(CorrectorWindowModel& model, link::LinkSettings& settings, const link::SettingsFiles& files,
             Notifier& notifier, Hooks hooks, QWidget* parent = nullptr);

    // The channel settings: the RS-232 read items without rsOff, the modem items with modemUsed, the
    // LPT item without lptOff.
    void applyChannelSettings(const link::LinkSettings& settings);
    // "ВЫХОД" and the window's close button ask the program first; Esc does not close this window (closing
    // it ends the program, and a stray Esc after dismissing a menu must not).
    void accept() override;
    void reject() override;
    // Everything from the model: texts, captions, visibility, editability.
    void refresh();

    // "ФАЙЛ": saved "*.prt" files, the text export and the folder browser.
    CorrectorFileMenu& fileMenu() const { return *fileMenu_; }
    QTabWidget* tabs() const { return tabs_; }
    // The menu's two rows.
    const QList<QMenuBar*>& menuRows() const { return menuRows_; }
    // The archive tables, one tab each.
    QTabWidget* archiveTabs() const { return archiveTabs_; }
    QTableView* archiveView(Archive archive) const { return archiveViews_[static_cast<int>(archive) - 1]; }
    // "КОНТРОЛЬ ДЫРОК": the missing records into Current\ErrGr.000.
    QAction* gapsAction() const { return gaps_; }
    // "БД": the database window (the program shows it while the database is in use).
    QAction* databaseAction() const { return database_; }
    // "ОТКРЫТЬ ФАЙЛ *.tbd": hidden until the program shows it (with the database).
    QAction* openPackageAction() const { return openPackage_; }
    // "ОТЧЕТ": the report window over the archives just read.
    QAction* reportAction() const { return report_; }
    void writeGaps();
    // F3 / its tool button: the open table's newest record becomes the current row.
    void showNewestRecord();
    // F4 / its tool button: the tables take the whole window, or give the parameters their place back.
    void toggleTablesEnlarged();
    bool tablesEnlarged() const { return enlarged_; }
    QLineEdit* edit(Field field) const { return edits_[static_cast<int>(field)]; }
    QLabel* label(Field field) const { return labels_[static_cast<int>(field)]; }
    QRadioButton* thermometer1385() const { return thermo1385_; }
    // The unit buttons of the gauge-pressure and barometric-pressure panels.
    QRadioButton* gaugeUnitButton(GaugeUnit unit) const { return gaugeUnits_[static_cast<int>(unit)]; }
    QRadioButton* baroUnitButton(BaroUnit unit) const { return baroUnits_[static_cast<int>(unit)]; }
    QMenu* rsMenu() const { return rsMenu_; }
    QMenu* modemMenu() const { return modemMenu_; }
    // "АДРЕС" → "ВЫБОР" and "РЕДАКТОР АДРЕСОВ"; "МОДЕМ" → "РЕДАКТОР ТЕЛЕФОНОВ".
    QAction* addressChoiceAction() const { return addressChoice_; }
    QAction* addressEditorAction() const { return addressEditor_; }
    QAction* phoneEditorAction() const { return phoneEditor_; }
    // The modem menu: the manual dial window, and "СБРОС МОД" (shown while a call is up).
    QAction* modemDialAction() const { return modemDial_; }
    QAction* modemDropAction() const { return modemDrop_; }
    QAction* modemTerminalAction() const { return modemTerminal_; }
    // The connection label ("Установлено соединение с  -  …"), blinking while the call is up.
    void showModemConnection(const QString& label);
    QLabel* modemLabel() const { return modemLabel_; }
    QAction* lptAction() const { return lpt_; }
    QAction* transferUnitAction() const { return transferUnit_; }
    QAction* lptTestAction() const { return lptTest_; }
    QAction* passwordAction() const { return password_; }
    QAction* readChoiceAction() const { return readChoice_; }
    // "ЗАПИСЬ ПРОГРАММИРУЕМЫХ ПАРАМЕТРОВ": hidden until the program shows it (service level 5).
    QAction* programFromFileAction() const { return programFromFile_; }
    // "Z-900" (meter-coefficient models) and "ЗИБ" (calibration models, and before the model is known):
    // the coefficient windows, which the program opens.
    QAction* meterCoefAction() const { return meterCoef_; }
    QAction* calibAction() const { return calib_; }
    TItemWait* waitWindow() const { return wait_; }
    void openPasswordWindow();
    // "НЕТ СВЯЗИ RS-232 " while a corrector stays silent.
    void setNoLinkShown(bool shown, const QString& text);
    QLabel* noLinkLabel() const { return noLink_; }
    // "ОТЛАДКА": shown at service level 5.
    QAction* debugAction() const;
    // "ОТЛАДКА" → "RS-232".
    QAction* debugRsAction() const { return debugRs_; }
    void openReadChoice();
    // "ВЫБОРОЧНОЕ ЧТЕНИЕ": its window first.
    void openSelectiveRead();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLineEdit* addField(QWidget* page, Field field);
    QWidget* addPressurePanel(QWidget* page, Field field);
    void showCheck(QLineEdit* edit, CheckResult check);
    void startOperation(int code);
    void setFirstSize();

    CorrectorWindowModel& model_;
    link::LinkSettings& settings_;
    const link::SettingsFiles& files_;
    Notifier& notifier_;
    Hooks hooks_;
    std::array<QLineEdit*, kFieldCount> edits_{};
    std::array<QLabel*, kFieldCount> labels_{};
    QLabel* headerCaption_ = nullptr;
    QTabWidget* tabs_;
    QTabWidget* archiveTabs_ = nullptr;
    std::array<QTableView*, kArchiveCount> archiveViews_{};
    QAction* gaps_ = nullptr;
    QAction* database_ = nullptr;
    QAction* openPackage_ = nullptr;
    QAction* report_ = nullptr;
    bool enlarged_ = false;
    QRadioButton* thermo1391_ = nullptr;
    QRadioButton* thermo1385_ = nullptr;
    std::array<QRadioButton*, 3> gaugeUnits_{};
    std::array<QRadioButton*, 3> baroUnits_{};
    QWidget* gaugePanel_ = nullptr;
    QWidget* baroPanel_ = nullptr;
    QMenu* rsMenu_;
    QMenu* modemMenu_;
    QAction* addressChoice_ = nullptr;
    QAction* addressEditor_ = nullptr;
    QAction* phoneEditor_ = nullptr;
    QAction* modemDial_ = nullptr;
    QAction* modemDrop_ = nullptr;
    QAction* modemTerminal_ = nullptr;
    QLabel* modemLabel_ = nullptr;
    QTimer* blink_ = nullptr;
    QAction* lpt_;
    QAction* transferUnit_ = nullptr;
    QAction* lptTest_ = nullptr;
    QAction* password_;
    QAction* readChoice_;
    QAction* programFromFile_ = nullptr;
    QAction* meterCoef_ = nullptr;
    QAction* calib_ = nullptr;
    QAction* debug_;
    QAction* debugRs_ = nullptr;
    TItemWait* wait_;
    QLabel* noLink_ = nullptr;
    CorrectorFileMenu* fileMenu_ = nullptr;
    QList<QMenuBar*> menuRows_;
};

} // namespace tarn::corrector
