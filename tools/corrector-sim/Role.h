#pragma once
// A device the simulator plays on the line: a corrector, a modem, a USB adapter, a transfer unit.
// Every role on a line sees every byte the program sends and answers only what is meant for it.
// The simulator encodes its answers from its own tables; it never uses the program's decoders.
#include "common/Clock.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <memory>

namespace tarn::sim {

// What a role may do on the line.
class Line {
public:
    virtual ~Line() = default;
    // Sends bytes to the program delayMs after the previous send has left (or after now, when the line
    // is idle). Sends keep their order.
    virtual void send(const QByteArray& bytes, int delayMs = 0) = 0;
    // The speed the program set on its side, bit/s (0 when unknown).
    virtual int programBaud() const { return 0; }
    // Milliseconds since the line started (for roles that time things themselves).
    virtual qint64 nowMs() const = 0;
    // The wall time on the line's clock: the corrector's clock and the call log follow it.
    virtual QDateTime now() const { return QDateTime::currentDateTime(); }
    // The clock the line runs on, for roles with timers of their own.
    virtual Clock& clock() = 0;
    // One line of news for whoever runs the simulator (a call made, a call ended); the program prints it
    // on stdout.
    virtual void report(const QString& /*text*/) {}
};

class Role {
public:
    virtual ~Role() = default;
    // Bytes the program wrote, in the chunks they arrived in.
    virtual void receive(const QByteArray& bytes, Line& line) = 0;
    // Called every 50 ms of line time, for roles that do something on their own (alarm notices).
    virtual void tick(Line& /*line*/) {}
    // One line for the log: what the role is.
    virtual QString describe() const = 0;
};

// Roles are made from the scenario's JSON objects: {"role": "corrector", ...}. makeRole (Roles.cpp)
// dispatches on "role"; each role kind adds its line there. Unknown kinds set error.
std::unique_ptr<Role> makeRole(const QJsonObject& config, QString& error);

} // namespace tarn::sim
