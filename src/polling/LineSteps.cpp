#include "polling/LineSteps.h"
#include "polling/TextCells.h"

#include "link/ModemMachine.h"

namespace tarn::polling {

// --- dialling ------------------------------------------------------------------------------------------

DialStep::DialStep(int repeats, QString defaultInit)
    : repeats_(qMax(1, repeats)), repeatsLeft_(repeats_), defaultInit_(std::move(defaultInit)) {}

StepStatus DialStep::start(StepContext& context) {
    return dial(context);
}

StepStatus DialStep::dial(StepContext& context) {
    using namespace database;
    if (context.line->portBroken())
        return failed(context, QStringLiteral("ошибка порта!!! ") + context.config(config::Port));
    const QString phone = context.config(config::Phone);
    context.tell(QStringLiteral("запрос телефона - ") + quoted(phone) + QStringLiteral(" -> ") +
                 context.pointName);
    ModemCall call;
    call.phone = phone;
    call.init =
        context.config(config::InitString).isEmpty() ? defaultInit_ : context.config(config::InitString);
    call.dialTimeoutSec = qMax(1, context.config(config::WaitS).toInt());
    call.name = context.pointName.trimmed();
    context.modem->call(call);
    dialTicks_ = 0;
    phase_ = Phase::Connecting;
    return StepStatus::Waiting;
}

void DialStep::tick() {
    if (phase_ == Phase::Connecting) ++dialTicks_;
}

StepStatus DialStep::poll(StepContext& context) {
    const QString pause = context.config(database::config::PauseS);
    if (phase_ == Phase::Pause) {
        if (++pauseTicks_ <= pause.toInt() * link::ModemMachine::kTicksPerSecond) return StepStatus::Waiting;
        pauseTicks_ = 0;
        return dial(context);
    }
    if (context.modem->busy()) return StepStatus::Waiting;
    if (context.modem->connected()) {
        outcome_ = Outcome::Connected;
        return StepStatus::Done;
    }
    if (context.modem->dispatcherSilent()) {
        outcome_ = Outcome::DispatcherSilent;
        return StepStatus::Done;
    }
    const bool again = --repeatsLeft_ > 0 && !context.stopRequested;
    if (context.changed) context.changed();
    if (!again) {
        outcome_ = Outcome::NoAnswer;
        return StepStatus::Done;
    }
    pauseTicks_ = 0;
    context.tell(QStringLiteral("ожидаем ") + pause.trimmed() +
                 QStringLiteral("сек. следующий набор номера"));
    phase_ = Phase::Pause;
    return StepStatus::Waiting;
}

// --- hanging up ----------------------------------------------------------------------------------------

StepStatus HangUpStep::start(StepContext& context) {
    if (!context.modem || !(context.modem->busy() || context.modem->connected())) return StepStatus::Done;
    context.modem->hangUp();
    return StepStatus::Waiting;
}

StepStatus HangUpStep::poll(StepContext& context) {
    if (context.modem->busy()) return StepStatus::Waiting;
    // A call that came up was timed when its line went down; one that never did ends now.
    database::StoreContext::PollLog& log = context.progress.log;
    if (!log.connectionEnd.isValid()) log.connectionEnd = context.now();
    log.connectionSeconds = context.progress.connectionSeconds;
    return StepStatus::Done;
}

// --- storing -------------------------------------------------------------------------------------------

StepStatus StoreStep::start(StepContext& context) {
    PointProgress& progress = context.progress;
    summary_.identifier = context.identifier;
    summary_.name = context.pointName.trimmed();
    summary_.result = resultText_;
    summary_.error = progress.error;
    summary_.itemsRead = progress.kindsRead;
    summary_.clockCorrected = progress.clockCorrected;
    summary_.clockCorrection = progress.clockCorrected ? progress.clockCorrection : 0;
    summary_.gasWritten = progress.gasWritten;
    summary_.measured = progress.measured;
    const database::SourceKind source =
        telephone_ ? database::SourceKind::PolledByModem : database::SourceKind::PolledByCable;
    progress.log.error = progress.error;
    progress.log.gasWritten = progress.gasWritten;
    progress.log.clockCorrected = progress.clockCorrected;
    if (store_ && progress.dataRead && progress.identityConfirmed) {
        const corrector::StoreRequestResult r =
            store_->storeReading(progress.kindsRead, source, progress.log, itemsToRead_);
        if (!r.stored && !r.error.isEmpty()) context.tell(r.error, LineColour::Red);
        addStoredCounts(summary_, r.result);
    } else if (store_ && !progress.dataRead && !progress.error.isEmpty() && telephone_ &&
               progress.log.connectionBegin.isValid()) {
        // A call that came up but read nothing still leaves its row: when and why. A number that never
        // answered (busy, no carrier, our own modem silent) leaves none: its result line says so, and
        // the connections protocol counts calls that were made.
        database::StoreContext c;
        c.identifier = context.identifier;
        c.serial = context.point->serial;
        c.model = context.point->model;
        c.sourceKind = database::sourceKindNumber(source);
        c.itemsToRead = itemsToRead_;
        c.poll = progress.log;
        store_->writeRequestLogOnly(c);
    }
    return StepStatus::Done;
}

} // namespace tarn::polling
