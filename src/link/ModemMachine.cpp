#include "link/ModemMachine.h"
#include "common/Language.h"
#include "common/PhoneNumber.h"

#include "link/ModemReplies.h"

#include <QRegularExpression>

namespace tarn::link {

namespace {
// How long a command waits for "OK".
constexpr int kInitialiseLimitTicks = 50;
constexpr int kHangUpLimitTicks = 30;
// After "+++" the modem keeps its guard time again before it answers OK; this long more for the answer.
constexpr int kEscapeWaitTicks = 20;
constexpr int kDefaultS12 = 50;
constexpr int kMsPerTick = 1000 / ModemMachine::kTicksPerSecond;
} // namespace

int escapeGuardTicks(const QString& init) {
    int s12 = kDefaultS12;
    // The last setting on the line wins, as the modem reads its commands left to right.
    static const QRegularExpression setting(QStringLiteral("S12\\s*=\\s*(\\d{1,3})"),
                                            QRegularExpression::CaseInsensitiveOption);
    for (auto it = setting.globalMatch(init); it.hasNext();)
        s12 = qMin(255, it.next().captured(1).toInt());
    const int guardMs = s12 * 20;
    const int withMargin = (guardMs * 11 + 9) / 10;
    return qMax(1, (withMargin + kMsPerTick - 1) / kMsPerTick);
}

void ModemMachine::logEvent(ModemEvent event, bool error) {
    const LinkWording* wording = io_.wording();
    io_.log(wording ? wording->modemEvent(event, job_.name, job_.phone) : QString(), error);
}

void ModemMachine::sendText(const QByteArray& text) {
    quietTicks_ = 0;
    io_.send(text);
}

void ModemMachine::setLineUp(bool up) {
    if (lineUp_ == up) return;
    lineUp_ = up;
    io_.lineChanged(up);
}

void ModemMachine::startProcedure(Procedure procedure, const ModemJob& job) {
    job_ = job;
    procedure_ = procedure;
    procStep_ = 0;
    ticks_ = 0;
    breakRetries_ = 3;
    guardTicks_ = escapeGuardTicks(job.init);
    callState_ = Calling;
    if (procedure == Call) dispatcherSilent_ = false;
    io_.setFrameMode(false);
}

void ModemMachine::startCommand(Command command) {
    command_ = command;
    cmdStep_ = 0;
    cmdResult_ = Pending;
    lastWord_ = ModemWord::None;
    cmdTicks_ = 0;
}

void ModemMachine::onModemText(const QByteArray& chunk) {
    buffer_ += chunk;
    quietTicks_ = 0;
    // A word is taken only when it is still there a tick later: a reply may come in pieces.
    if (const ModemWord word = pollingModemWord(buffer_); word != ModemWord::None) pendingWord_ = word;
}

void ModemMachine::acceptWord() {
    if (pendingWord_ == ModemWord::None) return;
    const ModemWord word = pollingModemWord(buffer_);
    lastWord_ = word;
    if (word == pendingWord_) {
        switch (word) {
        case ModemWord::Connect:
            connected_ = true;
            connectedAt_ = io_.now();
            setLineUp(true);
            break;
        case ModemWord::NoCarrier:
            callEnded();
            setLineUp(false);
            break;
        case ModemWord::Error:
        case ModemWord::NoDialtone:
        case ModemWord::Busy:
        case ModemWord::NoAnswer:
        case ModemWord::Escape:
            callEnded();
            break;
        default:
            break;
        }
    }
    QByteArray printable;
    for (char c : buffer_)
        if (static_cast<unsigned char>(c) >= 32) printable.append(c);
    if (!printable.isEmpty()) io_.log(QString::fromLatin1(printable), false);
    buffer_.clear();
    pendingWord_ = ModemWord::None;
}

void ModemMachine::onLineDropped() {
    callEnded();
    setLineUp(false);
}

void ModemMachine::callEnded() {
    callState_ = NoCall;
    connected_ = false;
    io_.setFrameMode(false);
}

void ModemMachine::tick() {
    ++ticks_;
    ++cmdTicks_;
    ++quietTicks_;
    acceptWord();
    runCommand();
    runProcedure();
}

void ModemMachine::runCommand() {
    switch (command_) {
    case NoCommand:
        return;
    case Initialise:
    case HangUpCommand: {
        const int limit = command_ == Initialise ? kInitialiseLimitTicks : kHangUpLimitTicks;
        if (cmdStep_ == 0) {
            if (command_ == Initialise) {
                sendText(pollingInitCommand(job_.init));
                logEvent(ModemEvent::InitialisationSent, false);
            } else {
                sendText(kPollingHangUp);
                logEvent(ModemEvent::HangUpSent, false);
            }
            cmdTicks_ = 0;
            cmdStep_ = 1;
        } else if (cmdStep_ == 1) {
            if (lastWord_ == ModemWord::Ok) {
                cmdStep_ = 2;
            } else if (cmdTicks_ > limit) {
                cmdResult_ = Failed;
                cmdStep_ = 2;
            }
        } else {
            if (cmdResult_ != Failed) cmdResult_ = Succeeded;
            command_ = NoCommand;
        }
        return;
    }
    case Dial:
        if (cmdStep_ == 0) {
            // The last guard: a number that is not a dial string never reaches the modem.
            if (const PhoneRefusal refused = checkPhoneNumber(job_.phone); refused.refused()) {
                // In Russian, like the rest of the polling log.
                const LinkWording* wording = io_.wording();
                io_.log(wording ? wording->phoneRefusal(refused, kRussian) : QString(), true);
                cmdResult_ = Failed;
                cmdStep_ = 2;
                return;
            }
            sendText(pollingDialCommand(job_.phone));
            logEvent(ModemEvent::Dialling, false);
            io_.showCallSeconds(0);
            cmdTicks_ = 0;
            cmdStep_ = 1;
        } else if (cmdStep_ == 1) {
            if (lastWord_ == ModemWord::Connect) {
                // The call is up: the line carries frames from now on.
                io_.setFrameMode(true);
                cmdStep_ = 2;
            } else {
                io_.showCallSeconds((cmdTicks_ + kTicksPerSecond / 2) / kTicksPerSecond);
                if (cmdTicks_ > job_.dialTimeoutSec * kTicksPerSecond || callState_ == CallFailed ||
                    callState_ == NoCall) {
                    cmdResult_ = Failed;
                    cmdStep_ = 2;
                }
            }
        } else {
            if (cmdResult_ != Failed) cmdResult_ = Succeeded;
            command_ = NoCommand;
        }
        return;
    }
}

void ModemMachine::toIdle() {
    procedure_ = Idle;
    command_ = NoCommand;
    cmdStep_ = 0;
    cmdResult_ = Pending;
    callState_ = NoCall;
    ticks_ = 0;
}

void ModemMachine::runProcedure() {
    const bool commandDone = command_ == NoCommand && cmdResult_ != Pending;
    switch (procedure_) {
    case Idle:
        return;
    case Call:
        switch (procStep_) {
        case 0:
            logEvent(ModemEvent::Request, false);
            startCommand(Initialise);
            procStep_ = 1;
            return;
        case 1:
            if (callState_ == CallFailed) {
                procStep_ = 4;
                ticks_ = 0;
                return;
            }
            if (!commandDone) return;
            if (cmdResult_ == Succeeded) {
                startCommand(Dial);
                procStep_ = 2;
            } else {
                logEvent(ModemEvent::DispatcherModemSilent, true);
                dispatcherSilent_ = true;
                io_.setFrameMode(false);
                toIdle();
            }
            return;
        case 2:
            if (callState_ != NoCall && callState_ != CallFailed) {
                if (!commandDone) return;
                if (cmdResult_ == Succeeded) {
                    logEvent(ModemEvent::ConnectedWith, false);
                    ticks_ = 0;
                    procStep_ = 3;
                    return;
                }
            }
            // No connection: wait for the dial command to finish before the hang-up.
            if (command_ != NoCommand) return;
            procStep_ = 4;
            ticks_ = 0;
            return;
        case 3:
            // The call is up; the machine rests until it is told to hang up.
            if (ticks_ > 2) toIdle();
            return;
        case 4:
            if (ticks_ > 3) {
                logEvent(ModemEvent::NoConnection, true);
                startProcedure(HangUp, job_);
            }
            return;
        }
        return;
    case BreakCall:
        switch (procStep_) {
        case 0:
            ticks_ = 0;
            // The machine does not tick between procedures: the quiet time is counted from now at the
            // earliest, and from the last byte on the line after that.
            quietTicks_ = 0;
            procStep_ = 1;
            return;
        case 1:
            // "+++" needs the modem's guard time of silence before it, or the modem takes it for data
            // and "ATH0" after it reaches the corrector.
            if (quietTicks_ > guardTicks_) {
                logEvent(ModemEvent::EscapeSent, false);
                io_.setFrameMode(false);
                connected_ = false;
                buffer_.clear();
                pendingWord_ = ModemWord::None;
                lastWord_ = ModemWord::None;
                sendText(kEscape);
                ticks_ = 0;
                procStep_ = 2;
            }
            return;
        case 2:
            // The modem answers the escape only after its guard time; "ATH0" sooner would cancel it.
            if (callState_ == CallFailed || lastWord_ == ModemWord::Ok ||
                ticks_ > guardTicks_ + kEscapeWaitTicks) {
                startCommand(HangUpCommand);
                procStep_ = 3;
            }
            return;
        case 3:
            if (!commandDone) return;
            if (cmdResult_ == Succeeded) {
                procStep_ = 5;
                return;
            }
            if (breakRetries_-- == 1) {
                logEvent(ModemEvent::ModemSilent, true);
                procStep_ = 5;
            } else {
                procStep_ = 0;
            }
            return;
        case 5:
            logEvent(ModemEvent::CallFinished, false);
            callEnded();
            setLineUp(false);
            toIdle();
            return;
        }
        return;
    case HangUp:
        if (procStep_ == 0) {
            startCommand(HangUpCommand);
            procStep_ = 1;
            return;
        }
        if (!commandDone) return;
        io_.setFrameMode(false);
        callEnded();
        setLineUp(false);
        toIdle();
        logEvent(ModemEvent::CallFinished, false);
        return;
    }
}

} // namespace tarn::link
