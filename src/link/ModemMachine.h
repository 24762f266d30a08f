#pragma once
// The modem procedures the automatic polling runs step by step on its 50-ms tick: 1 call (initialise,
// dial, wait for the connection), 2 break the call (escape to command mode, hang up, three tries) and 3
// hang up. A command machine under them sends one command and waits for its answer. Everything moves
// on tick(): nothing here waits for real time, so a test drives it tick by tick.
#include "link/LinkWording.h"
#include "link/ModemReplies.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace tarn::link {

// What the machine needs from the line and the polling console.
class ModemIo {
public:
    virtual ~ModemIo() = default;
    virtual void send(const QByteArray& text) = 0;
    // Frame mode: the line carries corrector frames (the call is up) rather than modem text.
    virtual void setFrameMode(bool on) = 0;
    virtual void log(const QString& line, bool error) = 0;
    // The words of the log lines; null leaves the machine's own lines empty.
    virtual const LinkWording* wording() const = 0;
    // The polling console's call-time field, in seconds.
    virtual void showCallSeconds(int seconds) = 0;
    // The line came up (CONNECT) or went down (the hang-up answered or given up, NO CARRIER): what a
    // call's connection time is measured between.
    virtual void lineChanged(bool /*up*/) {}
    // The wall time a call is stamped with.
    virtual QDateTime now() const { return QDateTime::currentDateTime(); }
};

// The modem's escape guard time (register S12, fiftieths of a second, 1 s unless the initialisation
// string sets it, e.g. "ATS12=40" or "AT&FE0S0=0S12=25") in machine ticks, with a tenth more for a timer
// that fires a little early. At least one tick.
int escapeGuardTicks(const QString& init);

struct ModemJob {
    QString phone;
    QString init = QStringLiteral("AT&FE0S0=0");
    int dialTimeoutSec = 60;
    QString name; // the metering point, for the log
};

class ModemMachine {
public:
    static constexpr int kTicksPerSecond = 20; // the polling step timer's 50 ms
    enum Procedure { Idle = 0, Call = 1, BreakCall = 2, HangUp = 3 };
    enum Command { NoCommand = 0, Initialise = 1, Dial = 3, HangUpCommand = 4 };
    enum CommandResult { Pending = 0, Succeeded = 1, Failed = 2 };
    enum CallState { NoCall = 0, Calling = 1, CallFailed = 2 };

    explicit ModemMachine(ModemIo& io) : io_(io) {}

    void startProcedure(Procedure procedure, const ModemJob& job);
    // One 50-ms step: the command machine first, then the procedure.
    void tick();
    // What the modem sent while the line is not in frame mode.
    void onModemText(const QByteArray& chunk);
    // The far end dropped the call ("NO CARRIER" on a connected line).
    void onLineDropped();

    Procedure procedure() const { return procedure_; }
    CommandResult commandResult() const { return cmdResult_; }
    CallState callState() const { return callState_; }
    bool connected() const { return connected_; }
    // From CONNECT until the line is down: the hang-up answered (or timed out on its last try), or the
    // carrier lost. Unlike connected(), it stays true while "+++" and "ATH0" are on their way.
    bool lineUp() const { return lineUp_; }
    // A byte went out or came in on the line (frames included): the escape's quiet time starts again.
    void noteLineActivity() { quietTicks_ = 0; }
    int guardTicks() const { return guardTicks_; }
    // The last call ended before dialling: our own modem did not take the initialisation.
    bool dispatcherSilent() const { return dispatcherSilent_; }
    const QDateTime& connectedAt() const { return connectedAt_; }
    ModemWord lastWord() const { return lastWord_; }
    const QByteArray& buffer() const { return buffer_; }

private:
    void startCommand(Command command);
    void runCommand();
    void runProcedure();
    void acceptWord();
    void toIdle();
    void callEnded();
    void setLineUp(bool up);
    void sendText(const QByteArray& text);
    void logEvent(ModemEvent event, bool error);

    ModemIo& io_;
    ModemJob job_;
    Procedure procedure_ = Idle;
    int procStep_ = 0;
    Command command_ = NoCommand;
    int cmdStep_ = 0;
    CommandResult cmdResult_ = Pending;
    ModemWord lastWord_ = ModemWord::None;
    int ticks_ = 0;      // the procedure's
    int cmdTicks_ = 0;   // the command's
    int quietTicks_ = 0; // since the modem last sent anything
    CallState callState_ = NoCall;
    int breakRetries_ = 3;
    bool connected_ = false;
    bool lineUp_ = false;
    int guardTicks_ = 22;
    bool dispatcherSilent_ = false;
    QDateTime connectedAt_;
    QByteArray buffer_;
    ModemWord pendingWord_ = ModemWord::None; // a word seen, taken once it is still there on the next tick
};

} // namespace tarn::link
