#pragma once
// The modem machine on the real line: its 50-ms tick, the modem's text while the line is in command
// mode (the machine holds the line then, so nothing is read as a frame), frame mode once the call is up
// (the line goes back to the engine, which sends frames without re-opening the port), and a call the far
// end drops ("NO CARRIER" among the frames) ending the connection at once.
#include "link/ExchangeEngine.h"
#include "link/ModemMachine.h"

#include <QObject>
#include <functional>

namespace tarn::link {

class LinkPort;

class ModemLink final : public QObject, public ModemIo, public RawReceiver {
    Q_OBJECT
public:
    using LogLine = std::function<void(const QString& line, bool error)>;
    ModemLink(ExchangeEngine& engine, LinkPort& port, LogLine log);
    ~ModemLink() override;

    // Procedure 1: initialise, dial, wait for the connection.
    void call(const ModemJob& job);
    // Procedure 2 after a dial (escape, hang up, three tries), else procedure 3 (hang up).
    void hangUp();
    bool busy() const { return machine_.procedure() != ModemMachine::Idle; }
    bool connected() const { return machine_.connected(); }
    // The call's line is up: from CONNECT until the hang-up is answered (or given up) or the carrier lost.
    bool lineUp() const { return machine_.lineUp(); }
    ModemMachine& machine() { return machine_; }
    const ModemMachine& machine() const { return machine_; }
    int tickIntervalMs = 50;

    // ModemIo
    void send(const QByteArray& text) override;
    void setFrameMode(bool on) override;
    void log(const QString& line, bool error) override;
    const LinkWording* wording() const override { return engine_.wording(); }
    void showCallSeconds(int seconds) override { callSeconds_ = seconds; }
    void lineChanged(bool up) override { emit lineUpChanged(up); }
    QDateTime now() const override { return engine_.clock().now(); }
    // RawReceiver
    void onRawBytes(const QByteArray& chunk) override { machine_.onModemText(chunk); }

signals:
    void stateChanged();
    void lineUpChanged(bool up);

private:
    void onTick();
    void watchFrames(const QByteArray& chunk);

    ExchangeEngine& engine_;
    LinkPort& port_;
    LogLine log_;
    ModemMachine machine_;
    ClockTimer tick_{engine_.clock()};
    LineClaim claim_;
    bool frameMode_ = false;
    QByteArray tail_; // the last bytes seen in frame mode: "NO CARRIER" may come in pieces
    int callSeconds_ = 0;
    bool dialled_ = false;
    ModemJob job_;
};

} // namespace tarn::link
