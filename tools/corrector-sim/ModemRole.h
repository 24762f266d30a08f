#pragma once
// A telephone or GSM modem, on its own or in front of the devices it reaches by telephone.
//
//   {"role": "modem", "info": "V.92 modem 56000", "echo": true, "verbose": true, "silent": ["ATI0"],
//    "dial": "NO CARRIER", "delayMs": 5, "guardMs": 1000, "connectDelayMs": 1000, "connectSpeed": 9600,
//    "callLog": "/tmp/calls.jsonl",
//    "numbers": {"5551234": {"outcome": "CONNECT", "corrector": {…a corrector scenario…},
//                            "remoteHangupAfterMs": 0, "connectDelayMs": 20},
//                "5550000": {"outcome": "BUSY"}}}
//
// Command mode: it echoes what it receives while echo is on, takes command lines ended by a carriage
// return (a line feed is ignored) and answers with verbose ("\r\nOK\r\n") or numeric ("0\r") result codes:
// OK 0, CONNECT 1, RING 2, NO CARRIER 3, ERROR 4, NO DIALTONE 6, BUSY 7, NO ANSWER 8. Commands are read
// case-insensitively, several on one line ("AT&FE0S0=0"): E0/E1 echo, V0/V1 words or numbers, Q0/Q1 quiet,
// I0 the "info" text, &F the factory profile, Z the factory profile and the call hung up, Sn=v and Sn?
// accepted and not kept, H/H0 hang up (OK with or without a call), O back to data mode (CONNECT again;
// NO CARRIER without a call), D (DP, DT) dial (ERROR while a call is up), A answered with the "dial" word.
// Anything before "AT" on a line is noise and dropped. "echo" and "verbose" are the factory profile.
// Command lines listed in "silent" get their echo but no answer; "delayMs" (5) is how long a result takes.
//
// Dialling: the dial string takes the rest of the command line; spaces, '-', '(', ')' and the dial
// modifiers P, T, W, ',', '!', '@', ';' are not part of the number (the keys of "numbers" lose their
// spaces, '-', '(' and ')' too). A number in "numbers" gives its "outcome" after "connectDelayMs" (the
// number's own, else the modem's, 1000 ms; ERROR comes at once): "CONNECT" (the default), "BUSY", "NO
// DIALTONE", "NO ANSWER", "NO CARRIER", "ERROR", or "silence" (no answer at all; the modem stays in command
// mode). A number not listed gets the "dial" word at once, as a modem without a table always did ("dial":
// "CONNECT" connects to nobody). A character other than CR or LF while the modem dials ends the attempt
// with NO CARRIER.
//
// Data mode: CONNECT says "CONNECT <connectSpeed>" ("connectSpeed" 9600; numeric "1\r"); then every byte from
// the program goes to the number's devices, and what they send comes back (nothing reaches the line outside
// data mode). "corrector" is a device object as a scenario of its own takes it ("role" defaults to
// "corrector") or
// {"devices": […]}, several devices on the line behind the modem. The devices keep their state from call
// to call, as the real ones behind a telephone line do. The escape: "+++" with at least "guardMs" (1000)
// of silence before and after, the '+' less than "guardMs" apart, puts the modem into command mode with OK
// while the call stays up (the '+' reach the devices too); ATO goes back, ATH0 hangs up with OK. With
// "remoteHangupAfterMs" above 0 the far end hangs up that long after the connection: NO CARRIER, and
// the modem is back in command mode.
//
// Each number is a metering point of its own, so a group's troubles are set number by number: a busy
// number is "outcome": "BUSY"; a corrector that never answers while the call is up is "corrector":
// {…, "faults": {"silence": 1000000}}; a corrector that is not the one the database expects has another
// "serial"; a clock that has wandered off is "clockOffsetSec" (-900: 15 minutes behind); spoilt archive
// pages are "faults": {"badRecordPages": […]} (CorrectorRole.h). scenarios/group.json has one of each.
//
// Call log: every dial and every call's start and end is one JSON line appended to the "callLog" file
// (optional; checked for writing when the scenario loads; written line by line, so a simulator
// that is killed leaves a "connected" line without its "ended" line for a call it never saw end) and
// reported on the line ("call " + the same JSON; the program prints it on stdout):
//   {"event": "dialled", "number": "5550000", "outcome": "BUSY", "at": "2024-03-01T10:00:00.000"}
//   {"event": "connected", "call": 1, "number": "5551234", "at": "…"}
//   {"event": "ended", "call": 1, "number": "5551234", "connectedAt": "…", "at": "…", "by": "ATH" | "ATZ" |
//    "remote", "seconds": 12.345}
// Times are local, ISO 8601 with milliseconds; "seconds" is how long the call was connected.
#include "Role.h"

#include <QDateTime>
#include <QStringList>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace tarn::sim {

class ModemRole final : public Role {
public:
    struct Profile {
        bool echo = true;
        bool verbose = true;
        bool quiet = false;
    };
    // What a call to one number meets.
    struct Number {
        QString outcome = QStringLiteral("CONNECT"); // a result word or "SILENCE"
        int connectDelayMs = -1;                     // -1: the modem's
        int remoteHangupAfterMs = 0;                 // 0: the far end never hangs up
        std::vector<std::unique_ptr<Role>> devices;  // behind the far modem
    };
    struct CallSettings {
        int guardMs = 1000;
        int connectDelayMs = 1000;
        int connectSpeed = 9600;
        QString callLogPath;
    };
    enum class Mode { Command, Dialling, Data };

    ModemRole(QString info, Profile factory, QStringList silent, QString dialResult, int delayMs);
    static std::unique_ptr<Role> fromJson(const QJsonObject& config, QString& error);

    void setCallSettings(CallSettings settings) { settings_ = std::move(settings); }
    // The number as the modem compares it (spaces and punctuation removed).
    static QString normalizedNumber(const QString& number);
    void addNumber(const QString& number, Number entry);

    void receive(const QByteArray& bytes, Line& line) override;
    void tick(Line& line) override;
    QString describe() const override;

    const Profile& profile() const { return current_; }
    Mode mode() const { return mode_; }
    bool callUp() const { return call_.has_value(); }
    // The devices behind a listed number (nullptr when it is not listed).
    const std::vector<std::unique_ptr<Role>>* devicesBehind(const QString& number) const;

private:
    // What the devices behind the modem talk to: the modem's line, open only in data mode.
    class FarEndLine final : public Line {
    public:
        explicit FarEndLine(ModemRole& modem) : modem_(modem) {}
        void send(const QByteArray& bytes, int delayMs) override;
        int programBaud() const override;
        qint64 nowMs() const override;
        QDateTime now() const override;
        Clock& clock() override;

    private:
        ModemRole& modem_;
    };
    struct Call {
        int id;
        QString number;
        Number* entry;
        qint64 connectedMs;
        QDateTime connectedAt;
    };

    void commandByte(char c, Line& line);
    void command(const QByteArray& commandLine, Line& line);
    void result(const char* word, Line& line, const QByteArray& verboseSuffix = {});
    void dial(const QByteArray& dialString, Line& line);
    void finishDial();
    void abortDial(Line& line);
    void openCall(const QString& number, Number* entry, Line& line);
    void returnToData(Line& line);
    void dataBytes(const QByteArray& bytes, Line& line);
    void escapeGuardEnded();
    void remoteHangup();
    void endCall(const char* by);
    void logEvent(const QJsonObject& event);
    void attach(Line& line);

    QString info_;
    Profile factory_;
    Profile current_;
    QStringList silent_;
    QString dialResult_;
    int delayMs_;
    QByteArray pending_;

    CallSettings settings_;
    std::map<QString, Number> numbers_;
    Number unlisted_; // what a number not in the table meets
    Mode mode_ = Mode::Command;
    Line* line_ = nullptr; // the line the modem sits on, known from the first bytes
    FarEndLine farEnd_{*this};
    QString diallingNumber_;
    Number* diallingEntry_ = nullptr;
    std::optional<Call> call_;
    int callsMade_ = 0;
    // The escape: '+' seen with the guard before them, and when the program last sent a byte.
    int escapePluses_ = 0;
    qint64 lastDataByteMs_ = 0;
    // Made on the line's clock once the modem knows its line.
    std::unique_ptr<ClockTimer> dialTimer_;
    std::unique_ptr<ClockTimer> escapeTimer_;
    std::unique_ptr<ClockTimer> remoteHangupTimer_;
};

} // namespace tarn::sim
