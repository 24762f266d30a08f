#pragma once
// The line the simulated devices sit on. Two kinds: a pseudo-terminal that a real program opens as its
// serial port, and an in-process line on a FakeSerialPort for tests.
#include "Role.h"

#include <QFile>
#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace tarn::link {
class FakeSerialPort;
}

namespace tarn::sim {

// Shared by both lines: the roles, the order of sends, the pacing, the 50-ms tick and the log.
class LineBase : public QObject, public Line {
    Q_OBJECT
public:
    explicit LineBase(QObject* parent = nullptr);
    ~LineBase() override;

    void addRole(std::unique_ptr<Role> role);
    const std::vector<std::unique_ptr<Role>>& roles() const { return roles_; }

    // Records every request and reply with a timestamp in hexadecimal.
    bool openLog(const QString& path);

    // The line runs on the computer's clock unless given another before it is used (a test's manual clock,
    // shared with the program under test, so that the replies' pacing and the modem's delays are simulated
    // too).
    void setClock(Clock& clock);
    Clock& clock() override { return *clock_; }

    void send(const QByteArray& bytes, int delayMs = 0) override;
    qint64 nowMs() const override { return clock_->monotonicMs() - startMs_; }
    QDateTime now() const override { return clock_->now(); }
    // Goes to onReport and into the log.
    void report(const QString& text) override;
    std::function<void(const QString&)> onReport;

    // Bytes sent to the program so far (for tests and the log).
    qint64 bytesSent() const { return bytesSent_; }

    // Sends at the speed the program set on its side, 10 bits a byte, as a real line would.
    void setPaced(bool on) { paced_ = on; }
    bool paced() const { return paced_; }
    // Milliseconds the wire needs for n bytes, rounded up (0 unless paced and the speed is known).
    int wireTimeMs(qsizetype n) const;
    // The same in microseconds: what pacing uses, so that a reply is not a rounding longer than its wire.
    qint64 wireTimeUs(qsizetype n) const;

protected:
    // Hands program bytes to every role.
    void deliver(const QByteArray& bytes);
    // Puts bytes on the wire now.
    virtual void transmit(const QByteArray& bytes) = 0;
    void log(const char* direction, const QByteArray& bytes);

private:
    void pump();
    // Pacing time: microseconds on the computer's clock, whole milliseconds on any other.
    qint64 nowUs() const;

    std::vector<std::unique_ptr<Role>> roles_;
    struct Pending {
        qint64 dueUs;
        QByteArray bytes;
    };
    std::vector<Pending> queue_;
    qint64 lastDueUs_ = 0;
    std::chrono::steady_clock::time_point preciseStart_ = std::chrono::steady_clock::now();
    SystemClock systemClock_;
    Clock* clock_ = &systemClock_;
    qint64 startMs_ = 0;
    ClockTimer sendTimer_{*clock_};
    ClockTimer tickTimer_{*clock_};
    std::unique_ptr<QFile> log_;
    qint64 bytesSent_ = 0;
    bool paced_ = false;
};

// A pseudo-terminal in raw mode. The program opens slavePath() (or the symlink) as its port.
class PtyLine final : public LineBase {
    Q_OBJECT
public:
    explicit PtyLine(QObject* parent = nullptr);
    ~PtyLine() override;

    bool open(QString& error);
    QString slavePath() const { return slavePath_; }
    // Makes linkPath point at the slave; removed again when the line closes.
    bool makeLink(const QString& linkPath, QString& error);
    int programBaud() const override;

protected:
    void transmit(const QByteArray& bytes) override;

private:
    void readMaster();

    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
    QString linkPath_;
    QSocketNotifier* notifier_ = nullptr;
};

// In-process: whatever the program writes to the fake port reaches the roles; replies arrive through
// the port's receive signal from the event loop, never inside the write call.
class InProcessLine final : public LineBase {
    Q_OBJECT
public:
    explicit InProcessLine(link::FakeSerialPort& port, QObject* parent = nullptr);
    int programBaud() const override;

protected:
    void transmit(const QByteArray& bytes) override;

private:
    link::FakeSerialPort& port_;
};

// What a scenario asks of the line itself: {"pace": true, "devices": […]} paces the line (setPaced), for
// benches that must see replies take their wire time.
struct ScenarioOptions {
    bool pace = false;
};

// Loads a scenario: a JSON object {"devices": [ {role...}, ... ]} or a single role object.
bool loadScenario(const QString& path, std::vector<std::unique_ptr<Role>>& roles, QString& error,
                  ScenarioOptions* options = nullptr);
bool loadScenarioJson(const QByteArray& json, std::vector<std::unique_ptr<Role>>& roles, QString& error,
                      ScenarioOptions* options = nullptr);

} // namespace tarn::sim
