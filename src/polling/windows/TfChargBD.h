#pragma once
// The polling console: the registered points and the groups on the left with the run's two logs, the run's
// state, the clock and the day's schedule on the right. It shows what the PollingRun does and forwards the
// user's actions to it; the groups are made and changed in the configurator, a group run is started from
// the group start window. The run's timers tick while the console is shown.
#include "common/Clock.h"
#include "common/DataRoot.h"
#include "common/Notifier.h"
#include "polling/ConsoleSettings.h"
#include "polling/DayBoard.h"
#include "polling/DayBoardFeed.h"
#include "polling/PollState.h"
#include "polling/PollingRun.h"
#include "polling/ViewerRefresh.h"
#include "polling/windows/AlarmSound.h"
#include "polling/windows/DayBoardPanel.h"
#include "polling/windows/TfExchanges.h"
#include "polling/windows/TfGroupStart.h"
#include "polling/windows/TfLastRec.h"
#include "polling/windows/TfSet_Gr.h"
#include "polling/windows/TfTuning.h"
#include "polling/windows/ToolTipGate.h"
#include "polling/windows/ViewerPanel.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QLCDNumber;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QTableView;
class QTableWidget;
class QWidget;

namespace tarn::polling {

class TfChargBD final : public QMainWindow {
    Q_OBJECT
public:
    enum class Field {
        Corrector,
        Group,
        State,
        ScheduleState,
        Repeats,
        RepeatsLeft,
        NextAttempt,
        WaitingForConnection,
        ConnectionTime,
    };
    // Either log view is cleared before it would hold more lines than this.
    static constexpr int kMaxViewLines = 1000;

    // boardReadAhead: the board's newest records, read ahead for the board's first read (the start's).
    TfChargBD(PollingRun& run, const DataRoot& root, Notifier& notifier, int languageIndex,
              QWidget* parent = nullptr, std::unique_ptr<NewestRead> boardReadAhead = nullptr);

    // The clock the console waits on (the close's wait, the board's lag period): the application's, the
    // one its run ticks on. Until it is given, the computer's.
    void setClock(Clock& clock);

    // The points, the groups and the day's schedule read again (not while a run is on).
    void reload();
    // The fields, the buttons and the schedule as the run stands now.
    void showState();

    // "Выборочный опрос": the selected point, after the question.
    bool pollSelectedPoint();
    // The group start window for the group (the list's current one when -1).
    TfGroupStart* openGroupStart(int groupIndex = -1);
    // The configurator for the list's current group, or for a new group.
    TfSet_Gr* openConfigurator(bool newGroup);
    // "Очистить окна просмотра", after the question.
    bool clearViews();
    // "Отключение звука".
    void silenceAlarm();
    // "Настройка...": the settings window (not while a run is on).
    TfTuning* openSettings();
    // The console's settings as they were last loaded or saved, and applying them: the polling switches,
    // the clock, tool tips, the alarm sound.
    const ConsoleSettings& settings() const { return settings_; }
    void applySettings(const ConsoleSettings& settings);
    // The heights of the point-list and message panels (Current\track.000).
    void applyPanelSizes(const PanelSizes& sizes);
    PanelSizes panelSizes() const;
    QSplitter* panelSplitter() const { return leftPanels_; }
    QWidget* analogClock() const;
    TfTuning* settingsWindow() const { return tuning_; }
    QAction* settingsAction() const { return settingsAction_; }
    AlarmSound& alarmSound() { return *sound_; }
    // Tests and the shell hear the sound through their own output.
    void setSoundOutput(std::unique_ptr<SoundOutput> output);
    // Tool tips of the console and of the windows the shell adds (the database window) follow the setting.
    ToolTipGate& toolTipGate() { return toolTips_; }
    // "Обмены текущей строки таблицы" (also the right button on the schedule): the join table's exchanges
    // of the schedule row (the table's current one when -1); nothing when it has none (the error box
    // says so).
    TfExchanges* showRowExchanges(int row = -1);
    // "Все обмены за текущие сутки".
    TfExchanges* showDayExchanges();
    // "Строка текущего опроса": selects the first row not polled yet, or row 1; -1 without rows.
    int selectPendingRow();
    // "Перечень группы...": the group's members with their last storing (the list's current group when -1).
    TfGroupList* openMemberList(int groupIndex = -1);
    // "Последняя запись в архивах...": the point's last records (the selected point when empty).
    TfLastRec* openLastRecords(const QString& identifier = {});
    // Selects the point of that model and serial number in the point list; false when it is not there.
    bool selectPoint(const QString& model, const QString& serial);
    QAction* memberListAction() const { return memberListAction_; }
    QAction* lastRecordsAction() const { return lastRecordsAction_; }
    TfGroupList* memberList() const { return memberList_; }
    TfLastRec* lastRecords() const { return lastRecords_; }
    // A message of the program shown as a line of "Текущие сообщения" (red unless it is information).
    void showNotice(MessageKind kind, const QString& text);

    // The package entries of the point and group menus, and the synchronisation of a synchronised copy:
    // the program fills them (the package windows sit above the console). No entry without its hook.
    struct PackageHooks {
        std::function<void(const QString& identifier)> savePoint; // "Сохранить файл  *.tbd"
        std::function<void()> openPoint;                          // "Открыть файл  *.tbd"
        std::function<void(const QString& groupName)> saveGroup;  // "Сохранить *.tbd"
        std::function<void()> openGroup;                          // "Открыть *.tbd"
        // Set on a synchronised copy: "Запуск циклического опроса" synchronises instead of polling.
        std::function<void()> synchronise;
    };
    void setPackageHooks(PackageHooks hooks);
    QAction* savePointPackageAction() const { return savePointPackage_; }
    QAction* openPointPackageAction() const { return openPointPackage_; }
    QAction* saveGroupPackageAction() const { return saveGroupPackage_; }
    QAction* openGroupPackageAction() const { return openGroupPackage_; }

    // A synchronised copy: the console shows the refresh cycle instead of group polling (its controls
    // hidden). The cycle begins at once; nothing changes for a null refresh.
    void setViewerRefresh(ViewerRefresh* refresh);
    ViewerRefresh* viewerRefresh() const { return viewer_; }
    // One second of the cycle: the 1 s timer calls it (tests call it directly).
    void viewerTick();
    bool viewerTimerActive() const { return refreshCountdownTimer_.isActive(); }
    using Countdown = ViewerPanel::Countdown;
    QWidget* viewerPanel() const { return viewerPanel_; }
    QLineEdit* sinceLastSynchronisation() const { return viewerPanel_->sinceLastSynchronisation(); }
    QLineEdit* countdownMinutes(Countdown c) const { return viewerPanel_->minutes(c); }
    QLineEdit* countdownSeconds(Countdown c) const { return viewerPanel_->seconds(c); }
    QLabel* countdownLabel(Countdown c) const { return viewerPanel_->label(c); }
    int viewerTickMs = 1000;

    QListWidget* pointList() const { return points_; }
    QCheckBox* allPointsBox() const { return allPoints_; }
    QListWidget* groupList() const { return groups_; }
    QPlainTextEdit* messageView() const { return messages_; }
    QPlainTextEdit* sequenceView() const { return sequence_; }
    QLineEdit* field(Field f) const;
    QLCDNumber* clock() const { return clock_; }
    QCheckBox* scheduleBox() const { return scheduleBox_; }
    QLabel* scheduleTitle() const { return scheduleTitle_; }
    QTableWidget* scheduleTable() const { return scheduleTable_; }
    QLabel* alarmIndicator() const { return alarmIndicator_; }
    bool alarmOn() const { return alarmOn_; }
    QAction* pointPollAction() const { return pointPoll_; }
    QAction* groupPollAction() const { return groupPoll_; }
    QAction* schedulePollAction() const { return schedulePoll_; }
    QAction* stopAction() const { return stop_; }
    QAction* dutyAction() const { return duty_; }
    QAction* soundOffAction() const { return soundOff_; }
    QAction* clearAction() const { return clear_; }
    QAction* rowExchangesAction() const { return rowExchanges_; }
    QAction* dayExchangesAction() const { return dayExchanges_; }
    QAction* pendingRowAction() const { return pendingRow_; }

    // The day's points: a table built from the join table and the schedule, read again when the run
    // reports a point's end, a finished run or a changed schedule, and every lag period of the feed
    // (never on the one-second tick alone).
    QTableView* boardView() const { return boardPanel_->view(); }
    QLineEdit* boardFilter() const { return boardPanel_->filter(); }
    QCheckBox* failedOnlyBox() const { return boardPanel_->failedOnlyBox(); }
    QPushButton* retryButton() const { return boardPanel_->retryButton(); }
    const QList<BoardRow>& boardRows() const { return board_->rows(); }
    DayBoardFeed& dayBoard() { return *board_; }
    // The board read again now (the timer and the run's events call it through showState).
    void refreshBoard() { board_->refresh(); }
    int boardReads() const { return board_->reads(); }
    // "опросить неуспешные": the failed members of the group (the list's current one when -1) polled
    // again while its window is open.
    bool retryFailedMembers(int groupIndex = -1);
    PollStateKeeper& stateFile() { return *stateFile_; }
    TfExchanges* exchanges() const { return exchanges_; }
    QPushButton* configureButton() const { return configure_; }
    QPushButton* newGroupButton() const { return newGroup_; }
    TfSet_Gr* configurator() const { return configurator_; }
    TfGroupStart* groupStart() const { return groupStart_; }

    // The alarm indicator's blink; how long closing waits for a run to end in order.
    int blinkIntervalMs = 500;
    int closeWaitMs = 30000;
    // A close that waits for the run it stopped: the console goes when the run reports finished, or when
    // closeWaitMs have passed on the console's clock.
    bool closeWaiting() const { return closeWaitTimer_.isActive(); }

public slots:
    // The cycle settings were saved: the cycle begins again from them (or stops when switched off).
    void restartViewerCycle();

signals:
    // "Дежурный режим": the shell hides its windows to the tray.
    void dutyModeRequested();
    // The run raised the alarm: a hidden main window comes back.
    void alarmRaised();
    // A synchronised copy's refresh cycle was saved: its countdown starts again.
    void cycleSettingsSaved();
    // "Установка размера полей по умолчанию": the database window takes its default height too.
    void panelSizesReset();
    // The console has closed: at once, or once the run it stopped has ended (or the wait ran out).
    void closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The point menu: the single-point poll and the last records ("Занято !!!" while polling runs, or
    // while another poller on the server database holds the point).
    void showPointMenu(const QPoint& at);
    TfExchanges* openExchanges(const ExchangesView& view, const QString& caption, int width);
    void showPoints();
    // The busy marks of the point list rewritten when the points other pollers hold have changed.
    void showPointsHeldElsewhere();
    void showPointChecks();
    void showGroups();
    void showSchedule();
    void onAlarm();
    void toggleAlarmLight();
    void showViewer();
    // The close taken up again once the run has ended, or the wait has run out.
    void closeAfterRun();
    void closeWindowsOpenedHere();
    // The user's "Запуск циклического опроса" on a synchronised copy with the cycle off.
    void synchroniseByHand();
    // The right-click menus answer this while a run is on.
    bool refuseWhileRunning();
    // The selected point held by another poller: "Занято !!!" said, true.
    bool refuseHeldElsewhere();

    void loadSettings();
    void applyAutostart();

    PollingRun& run_;
    DataRoot root_;
    Notifier& notifier_;
    int language_;
    std::unique_ptr<Clock> computerClock_ = std::make_unique<SystemClock>();
    // The lists are being filled from the run: their change signals are not the user's.
    bool fillingLists_ = false;
    int shownHeldRevision_ = -1; // the run's heldElsewhereRevision the point list shows

    QListWidget* points_;
    QCheckBox* allPoints_;
    QListWidget* groups_;
    QPushButton* configure_;
    QPushButton* newGroup_;
    QPlainTextEdit* messages_;
    QPlainTextEdit* sequence_;
    QWidget* fieldsPanel_;
    QLineEdit* fields_[9]{};
    QLCDNumber* clock_;
    QWidget* analogClock_;
    QSplitter* leftPanels_;
    QLabel* alarmIndicator_;
    QCheckBox* scheduleBox_;
    QWidget* schedulePanel_;
    QLabel* scheduleTitle_;
    QTableWidget* scheduleTable_;
    QAction* pointPoll_;
    QAction* groupPoll_;
    QAction* schedulePoll_;
    QAction* stop_;
    QAction* duty_;
    QAction* soundOff_;
    QAction* clear_;
    QAction* rowExchanges_;
    QAction* dayExchanges_;
    QAction* pendingRow_;
    QAction* configureAction_;
    QAction* newGroupAction_;
    QAction* groupRunAction_;
    QAction* memberListAction_;
    QAction* lastRecordsAction_;
    QAction* savePointPackage_;
    QAction* openPointPackage_;
    QAction* saveGroupPackage_;
    QAction* openGroupPackage_;
    PackageHooks packageHooks_;
    QAction* settingsAction_;
    ConsoleSettings settings_;
    AutostartEntry autostart_;
    std::unique_ptr<AlarmSound> sound_;
    ToolTipGate toolTips_;
    QPointer<TfTuning> tuning_;

    ViewerRefresh* viewer_ = nullptr;
    QTimer refreshCountdownTimer_;
    ViewerPanel* viewerPanel_;

    DayBoardPanel* boardPanel_;
    DayBoardFeed* board_;
    std::unique_ptr<PollStateKeeper> stateFile_;

    QTimer alarmBlinkTimer_;
    bool alarmOn_ = false;
    bool alarmLit_ = false;
    ClockTimer closeWaitTimer_{*computerClock_};
    // The wait for the run ran out: the close goes through with the run still on.
    bool closeWaitRanOut_ = false;
    QPointer<TfSet_Gr> configurator_;
    QPointer<TfGroupStart> groupStart_;
    QPointer<TfGroupList> memberList_;
    QPointer<TfLastRec> lastRecords_;
    QPointer<TfExchanges> exchanges_;
};

// While the console polls unattended, messages go into its "Текущие сообщения" rather than into boxes no
// one is there to close, and a question is answered "no".
class ConsoleNotices final : public Notifier {
public:
    explicit ConsoleNotices(TfChargBD& console) : console_(console) {}
    void message(MessageKind kind, const QString& text) override { console_.showNotice(kind, text); }
    bool confirm(const QString&) override { return false; }

private:
    TfChargBD& console_;
};

} // namespace tarn::polling
