#include "link/ModemLink.h"

#include "link/LinkPort.h"
#include "link/ModemReplies.h"

namespace tarn::link {

ModemLink::ModemLink(ExchangeEngine& engine, LinkPort& port, LogLine log)
    : engine_(engine), port_(port), log_(std::move(log)), machine_(*this) {
    connect(&tick_, &ClockTimer::timeout, this, &ModemLink::onTick);
    connect(&port_, &LinkPort::received, this, &ModemLink::watchFrames);
    // Frames count as line traffic for the escape's guard time, both ways.
    connect(&engine_, &ExchangeEngine::frameSent, this, [this] { machine_.noteLineActivity(); });
}

ModemLink::~ModemLink() {
    engine_.lineUse().modemConnected = false;
}

void ModemLink::call(const ModemJob& job) {
    job_ = job;
    dialled_ = true;
    machine_.startProcedure(ModemMachine::Call, job);
    // A coarse timer may fire a little early; the guard time is counted in these ticks.
    tick_.setPrecise(true);
    tick_.start(tickIntervalMs);
}

void ModemLink::hangUp() {
    // After a dial the modem may be connecting as we speak: the escape (which also cancels a dial still
    // going) comes before "ATH0", or the call could come up after the hang-up and stay up.
    machine_.startProcedure(machine_.connected() || dialled_ ? ModemMachine::BreakCall : ModemMachine::HangUp,
                            job_);
    tick_.start(tickIntervalMs);
}

void ModemLink::send(const QByteArray& text) {
    port_.write(text);
}

void ModemLink::setFrameMode(bool on) {
    frameMode_ = on;
    tail_.clear();
    engine_.lineUse().modemConnected = on;
    // Command mode: the modem's text is ours; frame mode: the line is the engine's.
    if (on)
        claim_.release();
    else if (!claim_.held())
        claim_ = engine_.claimLine(*this);
    emit stateChanged();
}

void ModemLink::log(const QString& line, bool error) {
    if (log_) log_(line, error);
}

void ModemLink::onTick() {
    machine_.tick();
    if (!busy()) {
        tick_.stop();
        // Off the call and done: the line is the engine's again (a cable corrector, the next dial).
        if (!frameMode_) claim_.release();
    }
    emit stateChanged();
}

void ModemLink::watchFrames(const QByteArray& chunk) {
    machine_.noteLineActivity();
    if (!frameMode_) return;
    if (carrierLost(tail_, chunk)) {
        log(QStringLiteral("NO CARRIER"), true);
        machine_.onLineDropped();
        emit stateChanged();
    }
}

} // namespace tarn::link
