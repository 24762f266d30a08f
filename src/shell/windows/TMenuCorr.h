#pragma once
// The main window: a small launcher with the main menu and the tray icon. It runs the start-up timer,
// the initialisation sequence under the wait window, and the orderly end of the program.
#include "database/Storing.h"
#include "link/SettingsController.h"
#include "polling/windows/ToolTipGate.h"
#include "shell/AppContext.h"
#include "shell/Initialisation.h"
#include "shell/QtTranslations.h"

#include <QMainWindow>
#include <QUrl>
#include <functional>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace tarn::link {
class TInRS232;
}

namespace tarn::corrector {
class CorrectorSession;
}

namespace tarn::polling {
class NewestRead;
class PollingRun;
class TfChargBD;
class ConsoleNotices;
class ViewerRefresh;
} // namespace tarn::polling

namespace tarn::shell {

class TMenuCorr final : public QMainWindow {
    Q_OBJECT
public:
    explicit TMenuCorr(AppContext& ctx, QWidget* parent = nullptr);
    ~TMenuCorr() override;

    // 50 ms after start: language, captions, window placement, the initialisation sequence.
    // Called by the start timer 50 ms after the loop starts.
    void Timer_InitProgTimer();
    // RunInitialisation under the wait window; false when the program is to end (outdated settings).
    bool RunInitialisation();
    // Set when the start goes on to open the polling console (a dispatcher's start, the start's own
    // report): the first initialisation that opens the database begins reading the board's newest
    // records and makes the console, unshown, in the wait window's closing pause, when the start waits
    // anyway. The start's opening then shows that console as it was read, not reading it all again. What
    // the start does not take is let go by dropBoardReadAhead(): a console opened after reads afresh.
    bool readBoardAhead = false;
    void dropBoardReadAhead();

    // The menu items, for the launcher and for tests.
    void openCorrectorWindow();
    void openSettingsWindow();
    void openAbout();
    void openManual();
    // "Опрос": the polling console, made the first time it is asked for (with the run it shows).
    polling::TfChargBD* openPollingConsole();
    // The folder synchronisation window of a synchronised copy; true when loading is to go on.
    bool runSynchronisation();
    // True, with a message, when the database is on a server, where what works on the table files
    // (folder synchronisation, packages) has nothing to work on.
    bool refusedOnServer();
    // A synchronised copy's start: the synchronisation window, the database start-up again, then the
    // console with the refresh cycle counting. Nothing on an installation that is no copy.
    void startViewer();
    polling::ViewerRefresh* viewerRefresh() const { return viewer_.get(); }
    // Duty mode: the main window and the console go to the tray (minimised where there is none) while
    // the run goes on; the tray's "Восстановить" or an alarm brings them back.
    void enterDutyMode();
    void leaveDutyMode();
    bool dutyMode() const { return dutyMode_; }
    // The start-up switches: "$d" the console with the day's schedule running, then duty mode; "$v" duty
    // mode only.
    void applyStartSwitches(const CommandLine& commandLine);
    // "ВЫХОД": closes the tables and the main window.
    void exitProgram();

    void setCaptions();
    QAction* correctorAction() const { return corrector_; }
    QAction* settingsAction() const { return settings_; }
    QAction* pollingAction() const { return polling_; }
    polling::PollingRun* pollingRun() const { return pollingRun_.get(); }
    polling::TfChargBD* pollingConsole() const { return console_.get(); }
    QAction* exitAction() const { return exit_; }
    QMenu* helpMenu() const { return help_; }
    link::TInRS232* settingsWindow() const { return settingsWindow_; }
    link::SettingsController& settingsController() { return controller_; }
    // Start-up and wait windows' delays, shortened by tests.
    int waitDelayMs = 50;
    // Where PortScan is started from (the program folder).
    QString programFolder;
    // Hands a document to the desktop's viewer; false when none took it.
    std::function<bool(const QUrl&)> openDocument;

signals:
    void ended();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // After a start of the database that refused a changed choice: the polling run lets go of the old one.
    void stopUsingOldDatabase();
    bool reinitPort(const link::LinkSettings& s);
    // The request to store after a reading that brought archives.
    // The request to store what the corrector window holds: read from the corrector by cable, opened
    // from a file, or loaded from the transfer unit (the reading says which).
    void storeReading(const corrector::Reading& reading, const QList<int>& kindsRead, QWidget* parent,
                      const QString& fileName = {});
    void startPortScan();

    AppContext& ctx_;
    link::SettingsController controller_;
    link::TInRS232* settingsWindow_ = nullptr;
    QAction* corrector_;
    QAction* settings_;
    QAction* polling_;
    QMenu* help_;
    QAction* about_;
    QAction* manual_;
    QAction* helpDb_;
    QAction* exit_;
    QSystemTrayIcon* tray_ = nullptr;
    QMenu* trayMenu_ = nullptr;
    QAction* trayRestore_ = nullptr;
    QAction* trayHide_ = nullptr;
    polling::ViewerRefresh& viewer();
    // Makes the console and its run when there is none; true when it was made now, or made ahead for the
    // start and not yet shown, so that what it shows was read a moment ago.
    bool makeConsole();
    // The run and the refresh first: the console that shows them goes before them.
    std::unique_ptr<polling::ViewerRefresh> viewer_;
    std::unique_ptr<polling::PollingRun> pollingRun_;
    std::unique_ptr<polling::TfChargBD> console_;
    // The board's newest records read ahead, for the console the start opens.
    std::unique_ptr<polling::NewestRead> boardReadAhead_;
    // The console was made in the initialisation's closing pause and the start has not shown it yet.
    bool consoleMadeAhead_ = false;
    bool dutyMode_ = false;
    // Messages while in duty mode (the console's lines), and where they went before.
    std::unique_ptr<polling::ConsoleNotices> dutyNotices_;
    Notifier* notifierBeforeDuty_ = nullptr;
    bool consoleBeforeDuty_ = false;
    // The database window's tool tips follow "всплывающие подсказки" as the console's do.
    polling::ToolTipGate databaseToolTips_;
    QtTranslations qtTexts_;
    bool skipSettingsWriteOnExit_ = false;
    bool ending_ = false;
    // The program ends once the console, closing after its run, has gone.
    bool waitingForConsole_ = false;
};

} // namespace tarn::shell
