#pragma once
// The steps around a point's items: dialling a telephone point (and redialling as its row says), hanging
// up, and storing what was read with the point's request-log row.
#include "corrector/StoreReading.h"
#include "polling/PointStep.h"
#include "polling/PollJournal.h"

namespace tarn::polling {

// Dials the point's number until it answers, its repeats are spent, or our own modem is found silent;
// between two calls it waits the row's pause. Done in every case; outcome() says how it ended.
class DialStep final : public PointStep {
public:
    enum class Outcome { Dialling, Connected, NoAnswer, DispatcherSilent };
    // repeats: the calls the row allows (at least one is made); defaultInit: the modem's initialisation
    // when the row names none.
    DialStep(int repeats, QString defaultInit);
    StepStatus start(StepContext& context) override;
    StepStatus poll(StepContext& context) override;
    // Once per step tick: how long the number in hand has been ringing.
    void tick();

    Outcome outcome() const { return outcome_; }
    int repeats() const { return repeats_; }
    int repeatsLeft() const { return repeatsLeft_; }
    bool waitingForConnection() const { return phase_ == Phase::Connecting; }
    int dialTicks() const { return dialTicks_; }
    int pauseTicks() const { return pauseTicks_; }

private:
    enum class Phase { Connecting, Pause };
    StepStatus dial(StepContext& context);
    int repeats_;
    int repeatsLeft_;
    QString defaultInit_;
    Phase phase_ = Phase::Connecting;
    Outcome outcome_ = Outcome::Dialling;
    int dialTicks_ = 0;
    int pauseTicks_ = 0;
};

// The call goes down (cable points have nothing to hang up); the connection's end and length are logged.
class HangUpStep final : public PointStep {
public:
    StepStatus start(StepContext& context) override;
    StepStatus poll(StepContext& context) override;
};

// Where what was read goes.
class PointStore {
public:
    virtual ~PointStore() = default;
    // The reading of the point in hand stored, the log's fields adjusted as given.
    virtual corrector::StoreRequestResult storeReading(const QList<int>& kindsRead,
                                                       database::SourceKind source,
                                                       const database::StoreContext::PollLog& log,
                                                       const QString& itemsToRead) = 0;
    // A request-log row alone: nothing was read.
    virtual void writeRequestLogOnly(const database::StoreContext& context) = 0;
};

// What was read is stored when the corrector proved to be the point; a call that came up but read nothing
// leaves its request-log row; the point's summary is made in every case.
class StoreStep final : public PointStep {
public:
    // telephone: the point is called (its rows are the modem's source kind); itemsToRead: what the run
    // asked of it; resultText: its join-table result.
    StoreStep(PointStore* store, bool telephone, QString itemsToRead, QString resultText)
        : store_(store), telephone_(telephone), itemsToRead_(std::move(itemsToRead)),
          resultText_(std::move(resultText)) {}
    StepStatus start(StepContext& context) override;
    const PointSummary& summary() const { return summary_; }

private:
    PointStore* store_;
    bool telephone_;
    QString itemsToRead_;
    QString resultText_;
    PointSummary summary_;
};

} // namespace tarn::polling
