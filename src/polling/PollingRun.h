#pragma once
// The automatic polling engine behind the polling console: one point, one group, or every group as the
// day's schedule says. The run chooses the points (the planner), hands each to the point machine (open
// the line or dial, identify, the items the point or group asks for, hang up, store), writes what each
// outcome means for the group (the journal) and goes on with the next point. Nothing here waits:
// exchanges and the modem report through marks the next tick reads, and time is counted in ticks
// (20 a second) on the application's clock, so tests drive it on a manual clock or tick by tick.
#include "common/DataRoot.h"
#include "common/Notifier.h"
#include "corrector/CorrectorSession.h"
#include "database/JoinTable.h"
#include "database/PointClaims.h"
#include "database/Registry.h"
#include "database/Schema.h"
#include "database/Storing.h"
#include "link/ExchangeEngine.h"
#include "link/LineHold.h"
#include "link/LinkPort.h"
#include "link/LinkSettings.h"
#include "link/ModemLink.h"
#include "polling/ConsoleSettings.h"
#include "polling/Groups.h"
#include "polling/PointMachine.h"
#include "polling/PointResult.h"
#include "polling/PointSteps.h"
#include "polling/PollJournal.h"
#include "polling/PollPlanner.h"
#include "polling/Schedule.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>

namespace tarn::polling {

class PollingRun : public QObject {
    Q_OBJECT
public:
    // What a point's machine needs, and the line's hold that the run alone minds.
    struct Parts : PointMachine::Parts {
        // A user's operation holding the line: a due group waits until it has ended (none: no waiting).
        const link::LineHold* lineHold = nullptr;
        // The pollers sharing the database: a group or schedule run claims each point before it dials it
        // (none: the only poller, every claim granted). Must outlive the run.
        database::PointClaims* claims = nullptr;
        // The polling groups (the context's, chosen with the database); none: the Group folder of root.
        // Must outlive the run.
        database::GroupFiles* groups = nullptr;
        // Why the claims a server's poller must have could not be opened: every start is refused with it,
        // as a poll without its claims could dial a corrector another poller has on the line.
        QString claimsUnavailable{};
    };
    PollingRun(Parts parts, int languageIndex, QObject* parent = nullptr);
    ~PollingRun() override;

    // The console's point list (the registry's polling list) and its check marks.
    void reloadPoints();
    const QStringList& pointLines() const { return planner_.pointLines(); }
    const QList<bool>& checks() const { return planner_.checks(); }
    // Checking a point by hand; refused (false, with the message) while a group is polled.
    bool setChecked(int index, bool on);
    void setAllChecked(bool on);
    int selected = -1;

    // The groups of Group\name_G.000 and the group in hand.
    void reloadGroups();
    const QList<GroupEntry>& groups() const { return planner_.groups(); }
    // Selects a group: its members become the checked points, its flags the run's.
    void selectGroup(int index);
    int selectedGroup() const { return planner_.selectedGroup(); }

    // The day's schedule, rebuilt from the groups (rebuild: after a group changed, so that today's join
    // rows follow the new rows).
    void buildSchedule(bool rebuild, const QString& changedGroup = {});
    DaySchedule& schedule() { return planner_.schedule(); }

    // Starting and stopping. Each start answers false (with the message) when it cannot start.
    // A point by itself claims it as a group's point is claimed: held by another poller, it is refused
    // with the console's busy answer.
    bool startPoint(int index);
    // Another poller's name when it holds the point at index now (a workstation's menu says it is busy);
    // empty when nobody else does.
    QString heldElsewhere(int index) const;
    // The point list's line at index as the console shows it: a point another poller holds carries the
    // busy text and the holder after the line's last column, as last asked on the 1-s cycle.
    QString pointListText(int index) const;
    // Which points other pollers hold, asked of the claims in one question (the 1-s cycle does, on a
    // server's claims; the single poller of table files holds everything itself). Moves
    // heldElsewhereRevision when the answer changed, so the console rewrites its list only then.
    void refreshHeldElsewhere();
    int heldElsewhereRevision() const { return heldElsewhereRevision_; }
    // A group by hand from a member (its place in the point list; -1: the first member).
    bool startGroup(int groupIndex, int fromPoint = -1);
    // The day's schedule. Refused with "Нет заданий" when nothing is left today, unless untilStopped:
    // duty polling then waits for the next window, tomorrow's included, until it is stopped.
    bool startSchedule(bool untilStopped = false);
    // Groups, points and the console's settings read again (the link settings as given); while waiting for
    // a window the day's schedule is rebuilt from them at once.
    void reload(const link::LinkSettings& linkSettings);
    // "опросить неуспешные": the group's failed members (identifiers) polled again as the group would poll
    // them, while one of the group's windows today is open. Waiting in scheduled polling, the open window's
    // row takes the new outcome; idle, it runs as a group started by hand. Refused (false, with the message)
    // when the window is closed, nothing failed, or the line is in use.
    bool retryFailed(int groupIndex, const QStringList& identifiers);
    // "Останов опроса": the point in hand ends in order (hang-up, what was read stored), then idle.
    void stop();
    // The database this run was given is no longer the program's (its choice changed while it ran): the
    // run in hand stops in order, every start from now on is refused with why, and the claims are no
    // longer asked, and the points, groups and schedule are not read again. An empty why lets the run
    // start again (the choice went back to this database).
    void refuseStarts(const QString& why);

    // The 50-ms step and the 1-s cycle; their timers call them on the run's clock, tests may call them
    // directly.
    void tick();
    void cycle();
    // Timers off: tests drive tick() and cycle() themselves.
    void setTimersRunning(bool on);
    int stepIntervalMs = 50;
    int cycleIntervalMs = 1000;
    QDateTime now() const { return p_.clock.now(); }
    // How long an exchange may stand with the engine idle before the read counts as interrupted.
    int interruptedAfterTicks = 100;
    // The pause before a written value is read back (the corrector's own).
    int afterWriteDelayMs = 700;
    // The console's settings, read again at every start.
    PollingTuning tuning;
    // The ports this poller has (their names as the registry's points name them, "COM3"): a group or
    // schedule run polls only the points on them and leaves the others to the pollers that have their
    // ports, without counting them as failed. Empty: every port.
    QStringList ports;

    PollMode mode() const { return mode_; }
    // The schedule's sub-state by its number, as the console shows it and the state file keeps it.
    int scheduleState() const { return static_cast<int>(schedule_); }
    int currentRow() const { return planner_.currentRow(); }
    bool running() const { return mode_ != PollMode::Idle; }
    QString groupName() const { return planner_.groupName(); }
    QString pointName() const { return machine_->pointName(); }
    QString pointIdentifier() const { return machine_->identifier(); }
    // Whether a point is in hand (not waiting for a window nor idle).
    bool pointInHand() const { return step_ != Step::Idle; }
    int modemRepeats() const { return machine_->modemRepeats(); }
    int modemRepeatsLeft() const { return machine_->modemRepeatsLeft(); }
    int pauseSeconds() const { return machine_->pauseTicks() / link::ModemMachine::kTicksPerSecond; }
    int connectionSeconds() const { return machine_->connectionSeconds(); }
    bool waitingForConnection() const { return step_ == Step::Point && machine_->waitingForConnection(); }
    // Seconds since the number in hand was dialled.
    int dialSeconds() const { return machine_->dialTicks() / link::ModemMachine::kTicksPerSecond; }
    const DataRoot& root() const { return p_.root; }
    const database::Schemas& schemas() const { return p_.storage.schemas(); }
    database::Storage& storage() const { return p_.storage; }
    // Where the groups are kept: the console's configurator and views read and change them there.
    database::GroupFiles& groupFiles() const { return *groupFiles_; }
    const QList<PointSummary>& summaries() const { return journal_.summaries(); }
    // Whether the last group run had a failed point.
    bool groupFailed() const { return groupFailed_; }

signals:
    // "Текущие сообщения": the time, " * " and the text.
    void message(const QString& line, LineColour colour);
    // "Последовательность опроса": the time, a blank and the text.
    void sequence(const QString& line, LineColour colour);
    // A red line or a port error: the alarm starts (and a hidden window comes back).
    void alarm();
    void stateChanged();
    // A point has ended (its summary is the last of summaries()).
    void pointEnded();
    // The run went idle.
    void finished();

private:
    // The line is in use by someone else: an exchange under way, or a user's operation between requests.
    bool lineTaken() const;
    void tellLineTaken();
    // Where the run stands between points; the point in hand is the machine's.
    enum class Step { Idle, Start, Point, NextPoint };

    void startMode(PollMode mode);
    void goIdle();
    // One turn; false when nothing moved.
    bool runStep();
    void advance();
    void advanceSoon();
    void stepStart();
    void beginPoint();
    // The point at pointIndex_ taken for this run: on one of our ports and claimed; a point left to
    // another poller says so on the console.
    bool takePoint();
    bool onOurPort(const QString& identifier) const;
    // The polling window the run's points count for: the schedule's row in hand (not for a retry, which
    // polls again what the window already polled); empty for a run started by hand.
    QString claimWindow() const;
    void renewClaim();
    // Just before the point in hand stores: the claim renewed once more, so that a point another poller
    // took over meanwhile is never stored twice; false (said in red, the claim forgotten) when it was.
    bool keepClaimForStore();
    void tellClaimLost();
    // A start refused because the server's claims could not be opened (the message said).
    bool refuseWithoutClaims();
    bool claimPointByHand(int index);
    // The claim of the point in hand ends: polled (counted for its window) or given back.
    void endClaim(bool polled);
    database::PointClaims& claims() const { return p_.claims ? *p_.claims : localClaims_; }
    void pointEndedWith(bool ownModemLost);
    void nextPointOrEnd();
    void endGroup();
    PointResultInfo result(PointResult outcome);
    // Where the run's join rows come from: its mode and the schedule row in hand.
    PollJournal::Place place() const { return {mode_, planner_.rowInHand()}; }
    void writeJoin(const QString& resultText);
    void writeResumeFile();
    void say(const QString& text, LineColour colour = LineColour::Black);
    void sequenceLine(const QString& text, LineColour colour);
    void restoreLinkSettings();

    Parts p_;
    std::unique_ptr<database::FolderGroupFiles> folderGroups_; // when the parts name no group files
    database::GroupFiles* groupFiles_;
    PollPlanner planner_{p_.root, *groupFiles_, p_.storage};
    PollJournal journal_{p_.root, p_.storage};
    ScheduleState schedule_ = ScheduleState::Waiting;
    bool groupFailed_ = false;
    int pointsOfGroup_ = 0;      // points taken up by the group run in hand
    int pointsLeftToOthers_ = 0; // points of the group run in hand another poller polls (or polled)
    bool retrying_ = false;      // the run polls a group's failed points again
    int language_;
    mutable database::LocalPointClaims localClaims_;
    QHash<QString, QString> heldElsewhere_; // point → the poller holding it, as last asked
    QString startsRefused_;
    int heldElsewhereRevision_ = 0;
    QString claimedPoint_; // the identifier of the point in hand while we hold its claim
    QString claimedWindow_;
    QDateTime renewClaimAt_;
    bool stopRequested_ = false;

    PollMode mode_ = PollMode::Idle;
    Step step_ = Step::Idle;
    int listIndex_ = 0;
    int pointIndex_ = -1;
    std::unique_ptr<PointMachine> machine_;
    link::LinkSettings savedSettings_;
    bool settingsSaved_ = false;
    int savedAddress_ = 1;

    ClockTimer stepTimer_{p_.clock};
    ClockTimer cycleTimer_{p_.clock};
    int startDelayTicks_ = -1; // a due row's group starts on the next tick
    // What the group files held when the schedule was last built: a group saved or changed by another
    // program while the schedule waits is seen at the next one-second check.
    QByteArray groupsStamp_;
};

} // namespace tarn::polling
