#include "SimLine.h"

#include "link/FakeSerialPort.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace tarn::sim {

LineBase::LineBase(QObject* parent) : QObject(parent) {
    startMs_ = clock_->monotonicMs();
    sendTimer_.setSingleShot(true);
    connect(&sendTimer_, &ClockTimer::timeout, this, &LineBase::pump);
    tickTimer_.setInterval(50);
    connect(&tickTimer_, &ClockTimer::timeout, this, [this] {
        for (auto& r : roles_)
            r->tick(*this);
    });
    tickTimer_.start();
}

LineBase::~LineBase() = default;

void LineBase::setClock(Clock& clock) {
    clock_ = &clock;
    startMs_ = clock_->monotonicMs();
    lastDueUs_ = 0;
    queue_.clear();
    sendTimer_.setClock(clock);
    tickTimer_.setClock(clock);
    tickTimer_.start();
}

void LineBase::addRole(std::unique_ptr<Role> role) {
    roles_.push_back(std::move(role));
}

bool LineBase::openLog(const QString& path) {
    log_ = std::make_unique<QFile>(path);
    if (!log_->open(QIODevice::WriteOnly | QIODevice::Append)) {
        log_.reset();
        return false;
    }
    return true;
}

void LineBase::log(const char* direction, const QByteArray& bytes) {
    if (!log_) return;
    const QByteArray line = now().toString(QStringLiteral("HH:mm:ss.zzz")).toLatin1() + ' ' + direction +
                            ' ' + bytes.toHex(' ').toUpper() + '\n';
    log_->write(line);
    log_->flush();
}

void LineBase::report(const QString& text) {
    if (log_) {
        log_->write(now().toString(QStringLiteral("HH:mm:ss.zzz")).toLatin1() + " -- " + text.toUtf8() +
                    '\n');
        log_->flush();
    }
    if (onReport) onReport(text);
}

void LineBase::deliver(const QByteArray& bytes) {
    log("<-", bytes);
    for (auto& r : roles_)
        r->receive(bytes, *this);
}

void LineBase::send(const QByteArray& bytes, int delayMs) {
    if (bytes.isEmpty()) return;
    const qint64 now = nowUs();
    const qint64 start = std::max(now, lastDueUs_) + qint64(std::max(delayMs, 0)) * 1000;
    const qint64 wire = wireTimeUs(bytes.size());
    if (wire <= 0) {
        queue_.push_back({start, bytes});
        lastDueUs_ = start;
    } else {
        // Paced: each byte leaves when the wire has carried the ones before it.
        for (qsizetype i = 0; i < bytes.size(); ++i)
            queue_.push_back({start + (i + 1) * wire / bytes.size(), bytes.mid(i, 1)});
        lastDueUs_ = start + wire;
    }
    if (!sendTimer_.isActive()) sendTimer_.start(0);
}

int LineBase::wireTimeMs(qsizetype n) const {
    return static_cast<int>((wireTimeUs(n) + 999) / 1000);
}

qint64 LineBase::wireTimeUs(qsizetype n) const {
    if (!paced_) return 0;
    const int baud = programBaud();
    if (baud <= 0) return 0;
    return (qint64(n) * 10 * 1'000'000 + baud - 1) / baud;
}

qint64 LineBase::nowUs() const {
    if (clock_ != &systemClock_) return (clock_->monotonicMs() - startMs_) * 1000;
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 preciseStart_)
        .count();
}

void LineBase::pump() {
    for (;;) {
        const qint64 now = nowUs();
        QByteArray out;
        std::size_t i = 0;
        while (i < queue_.size() && queue_[i].dueUs <= now)
            out += queue_[i++].bytes;
        queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(i));
        if (!out.isEmpty()) {
            log("->", out);
            bytesSent_ += out.size();
            transmit(out);
        }
        if (queue_.empty()) return;
        qint64 waitUs = queue_.front().dueUs - now;
        if (clock_ == &systemClock_) {
            // Timers count whole milliseconds, so a reply's last byte would leave up to one late and
            // every reply would take longer than its wire time. On the computer's clock the timer
            // wakes the line within a millisecond of the last byte, and the rest is slept out.
            const qint64 untilLastUs = queue_.back().dueUs - now;
            if (untilLastUs < 1000) {
                std::this_thread::sleep_for(std::chrono::microseconds(untilLastUs));
                continue;
            }
            waitUs = std::min(waitUs, untilLastUs - 1000);
        }
        // Never before the next byte is due (a manual clock's test sees the whole wire time).
        sendTimer_.start(static_cast<int>(std::max<qint64>((waitUs + 999) / 1000, 1)));
        return;
    }
}

// ---------------------------------------------------------------------------------------------------

PtyLine::PtyLine(QObject* parent) : LineBase(parent) {}

PtyLine::~PtyLine() {
    if (!linkPath_.isEmpty()) QFile::remove(linkPath_);
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
}

bool PtyLine::open(QString& error) {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        error = QStringLiteral("openpty: ") + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    termios tio{};
    ::tcgetattr(slave_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave_, TCSANOW, &tio);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    slavePath_ = QString::fromLocal8Bit(name);
    // The slave stays open here too, so the line survives the program closing and reopening its port.
    notifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &PtyLine::readMaster);
    return true;
}

bool PtyLine::makeLink(const QString& linkPath, QString& error) {
    QFile::remove(linkPath);
    if (!QFile::link(slavePath_, linkPath)) {
        error = QStringLiteral("cannot make the link ") + linkPath;
        return false;
    }
    linkPath_ = linkPath;
    return true;
}

int PtyLine::programBaud() const {
    if (slave_ < 0) return 0;
    termios tio{};
    if (::tcgetattr(slave_, &tio) != 0) return 0;
    switch (::cfgetospeed(&tio)) {
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    case B230400:
        return 230400;
    case B460800:
        return 460800;
    case B921600:
        return 921600;
    default:
        return 0;
    }
}

void PtyLine::transmit(const QByteArray& bytes) {
    qsizetype done = 0;
    int waits = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(master_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return; // nobody listens: the bytes are lost, as on a wire
        } else if (++waits > 200) {
            return; // the program does not read: drop the rest rather than hang the simulator
        } else {
            ::usleep(1000);
        }
    }
}

void PtyLine::readMaster() {
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0) {
            deliver(QByteArray(buf, static_cast<qsizetype>(n)));
            continue;
        }
        break; // EAGAIN, or EIO while the program has the port closed
    }
}

// ---------------------------------------------------------------------------------------------------

InProcessLine::InProcessLine(link::FakeSerialPort& port, QObject* parent) : LineBase(parent), port_(port) {
    port_.onWrite = [this](const QByteArray& bytes) { deliver(bytes); };
}

int InProcessLine::programBaud() const {
    return port_.baud;
}

void InProcessLine::transmit(const QByteArray& bytes) {
    if (port_.isOpen()) port_.inject(bytes);
}

// ---------------------------------------------------------------------------------------------------

bool loadScenarioJson(const QByteArray& json, std::vector<std::unique_ptr<Role>>& roles, QString& error,
                      ScenarioOptions* options) {
    QJsonParseError pe{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &pe);
    if (pe.error != QJsonParseError::NoError || !doc.isObject()) {
        error = QStringLiteral("scenario: ") +
                (pe.error != QJsonParseError::NoError ? pe.errorString() : QStringLiteral("not an object"));
        return false;
    }
    const QJsonObject top = doc.object();
    if (options) options->pace = top.value(QStringLiteral("pace")).toBool(false);
    QJsonArray devices;
    if (top.contains(QStringLiteral("devices")))
        devices = top.value(QStringLiteral("devices")).toArray();
    else
        devices.append(top);
    if (devices.isEmpty()) {
        error = QStringLiteral("scenario: no devices");
        return false;
    }
    for (const auto& d : devices) {
        if (!d.isObject()) {
            error = QStringLiteral("scenario: a device is not an object");
            return false;
        }
        auto role = makeRole(d.toObject(), error);
        if (!role) return false;
        roles.push_back(std::move(role));
    }
    return true;
}

bool loadScenario(const QString& path, std::vector<std::unique_ptr<Role>>& roles, QString& error,
                  ScenarioOptions* options) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read ") + path;
        return false;
    }
    if (f.size() > 64 * 1024 * 1024) {
        error = QStringLiteral("scenario too large: ") + path;
        return false;
    }
    return loadScenarioJson(f.readAll(), roles, error, options);
}

} // namespace tarn::sim
