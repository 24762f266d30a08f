#pragma once
// One point from its console line to its stored reading: the registry's row, the checks before the line,
// the line opened (and the number dialled), then the steps in order (version, parameters, the items the
// flags ask for), then hang-up and store. Each step is a class of its own (ItemSteps, LineSteps); this
// keeps their order, waits for their exchanges and fails the point when one does not come back. The run
// chooses the points and says what their outcomes mean for the group.
#include "common/Clock.h"
#include "common/DataRoot.h"
#include "common/Notifier.h"
#include "corrector/OperationStart.h"
#include "corrector/ReadRun.h"
#include "database/Registry.h"
#include "database/Schema.h"
#include "link/ExchangeEngine.h"
#include "link/LinkPort.h"
#include "link/LinkSettings.h"
#include "polling/ItemSteps.h"
#include "polling/LineSteps.h"
#include "polling/PollPlanner.h"
#include "polling/SessionLine.h"

#include <QObject>
#include <functional>
#include <memory>
#include <optional>

namespace tarn::polling {

class PointMachine final : public QObject {
    Q_OBJECT
public:
    struct Parts {
        DataRoot root;
        database::Storage& storage;
        link::ExchangeEngine& engine;
        link::LinkPort& port;
        link::LinkSettings& settings;
        Notifier& notifier;
        // The one path by which link settings reach the port and the engine (the application's), with
        // the address of the point in hand.
        std::function<void(int address)> applyLinkSettings;
        // The installation's volume decimals as the last initialisation read them.
        const int& volumeDecimals;
        // The run's time: its step and cycle, the schedule's windows, the times it logs.
        Clock& clock;
    };
    // The run's side of a point.
    struct Hooks {
        std::function<void(const QString& text, LineColour colour)> say;
        // An outcome's sequence line and join row, written by the run; what they were.
        std::function<PointResultInfo(PointResult outcome)> result;
        // What was read is stored and the point's summary made.
        std::function<void(const PointSummary& summary)> stored;
        // The point is over; ownModemLost: our own modem is silent, nothing more can be dialled.
        std::function<void(bool ownModemLost)> ended;
        std::function<void()> changed;
        // Asked just before what was read is stored: false when the point is no longer ours to store (its
        // claim went to another poller), and nothing is stored. None: always ours.
        std::function<bool()> mayStore;
    };
    // The run's periods, as its tests shorten them.
    struct Timings {
        int stepIntervalMs = 50;
        int interruptedAfterTicks = 100;
        int afterWriteDelayMs = 700;
        bool additionalRecordCheck = false;
    };
    PointMachine(Parts parts, Hooks hooks, int languageIndex, QObject* parent = nullptr);
    ~PointMachine() override;

    // The point of that console line; groupFlags are the run's items unless it polls the point by itself
    // (its own flags then).
    void begin(const QString& listLine, PollMode mode, const QString& groupFlags, const Timings& timings);
    // Whatever can be done now; false when nothing moved (the run waits for the next tick or report).
    bool turn();
    // Once per step tick: the dialling's and the connection's seconds.
    void tick();
    // The point ends in order from here: the request in flight dropped, hang-up, what was read stored.
    void stop();
    // The point is no longer ours (another poller took over its claim): it ends as after stop(), but
    // nothing of it is stored, as the other poller stores it.
    void abandon();
    // The session and the modem let go (the group has ended).
    void release();

    bool inHand() const { return step_ != Step::Idle; }
    QString pointName() const { return pointName_; }
    QString identifier() const { return identifier_; }
    const database::Point* point() const { return point_ ? &*point_ : nullptr; }
    bool telephone() const;
    int modemRepeats() const { return dial_ ? dial_->repeats() : 0; }
    int modemRepeatsLeft() const { return dial_ ? dial_->repeatsLeft() : 0; }
    int pauseTicks() const { return dial_ ? dial_->pauseTicks() : 0; }
    int dialTicks() const { return dial_ ? dial_->dialTicks() : 0; }
    bool waitingForConnection() const {
        return step_ == Step::Dial && dial_ && dial_->waitingForConnection();
    }
    int connectionSeconds() const { return context_.progress.connectionSeconds; }

signals:
    // An exchange reported: the run turns at once rather than at its next tick.
    void reported();

private:
    enum class Step {
        Idle,
        Dial,
        Version,
        Parameters,
        Item,
        NextItem,
        Done,
        HangUp,
        HangingUp,
        Store,
        Ended,
    };

    void runStep();
    // Before the line: false when the point ends there (its outcome said).
    bool checkBeforeLine();
    // The line as the point's row says, the session on it and, for a telephone point, the modem; false
    // when the port did not open (the point has failed).
    bool openLine();
    // The step in hand: started at once, then driven by its exchange's end or by each turn.
    void beginStep(Step phase, std::unique_ptr<PointStep> step);
    void beginStep(Step phase, PointStep& step);
    void driveStep();
    void settle(StepStatus status);
    void stepDone();
    void dialEnded();
    void dispatchItem(PollItem from);
    void fail(const QString& error = {});
    void result(PointResult outcome);
    void store();

    Parts p_;
    Hooks hooks_;
    int language_;
    Timings timings_;
    // The run's own identification gate and read run: the corrector window keeps its own, so a point
    // polled while that window is open does not take or clear the window's hooks.
    corrector::OperationStart gate_;
    corrector::ReadRun readRun_;

    Step step_ = Step::Idle;
    PollMode mode_ = PollMode::Point;
    QString identifier_;
    QString pointName_;
    std::optional<database::Point> point_;
    database::LastStoredSummary lastStored_{};
    QString flags_;
    PollItem item_ = PollItem::Hourly;
    QString resultText_; // the join table's, for the summary
    bool stopRequested_ = false;
    bool abandoned_ = false;

    std::unique_ptr<SessionLine> line_;
    std::unique_ptr<SessionModem> modem_;
    StepContext context_;                // the point in hand's, its progress with it
    std::unique_ptr<PointStep> current_; // an item's step, or hanging up
    PointStep* inHand_ = nullptr;        // that or the dialling
    StepStatus status_ = StepStatus::Done;
    int stepsBegun_ = 0;
    // The last call's dialling, kept for the console's counters until another point is dialled.
    std::unique_ptr<DialStep> dial_;
};

} // namespace tarn::polling
