#pragma once
// Where the link, the modem and the polling engine take their time from: the wall time, a monotonic count
// of milliseconds and the timers that wait on them. The programs run on the SystemClock (QDateTime and
// QTimer); tests give the application a ManualClock, whose time moves only when the test says so, so that
// time-outs of seconds, a modem's delays and a night's polling pass without waiting for them.
#include <QDateTime>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTimer;

namespace tarn {

class ClockTimer;

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // Milliseconds from an arbitrary start; never goes back.
    virtual qint64 monotonicMs() const = 0;
    // Calls f once, ms from now, unless context is gone by then.
    void singleShot(int ms, QObject* context, std::function<void()> f);

    // What keeps one timer's deadline: a QTimer, or the manual clock's list. Public so that a clock may
    // lend another's timers.
    class TimerBackend {
    public:
        virtual ~TimerBackend() = default;
        virtual void start(int ms, bool singleShot) = 0;
        virtual void stop() = 0;
        virtual bool isActive() const = 0;
        virtual void setPrecise(bool) {}
    };
    virtual std::unique_ptr<TimerBackend> makeBackend(ClockTimer& owner) = 0;
};

// QTimer's shape on a Clock: single-shot or repeating, timeout() at every expiry.
class ClockTimer final : public QObject {
    Q_OBJECT
public:
    explicit ClockTimer(Clock& clock, QObject* parent = nullptr);
    ~ClockTimer() override;

    // Moves the timer to another clock; it is stopped.
    void setClock(Clock& clock);
    Clock& clock() const { return *clock_; }
    void setSingleShot(bool on) { singleShot_ = on; }
    bool isSingleShot() const { return singleShot_; }
    void setInterval(int ms) { interval_ = ms; }
    int interval() const { return interval_; }
    // A coarse system timer may fire a few percent early; guard times are lower bounds.
    void setPrecise(bool on);
    void start();
    void start(int ms);
    void stop();
    bool isActive() const;

signals:
    void timeout();

private:
    friend class ManualClock;
    friend class SystemClock;
    Clock* clock_;
    std::unique_ptr<Clock::TimerBackend> backend_;
    int interval_ = 0;
    bool singleShot_ = false;
    bool precise_ = false;
};

// The computer's clock and Qt's timers.
class SystemClock final : public Clock {
public:
    SystemClock();
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 monotonicMs() const override;
    std::unique_ptr<TimerBackend> makeBackend(ClockTimer& owner) override;

private:
    qint64 startNs_;
};

// Time that moves only when told. advance() fires every timer that falls due on the way, each at its own
// deadline and in deadline order (ties in the order they were started); runUntil() runs the event loop
// and, whenever nothing is pending, jumps to the next deadline.
class ManualClock final : public Clock {
public:
    explicit ManualClock(QDateTime start = QDateTime::currentDateTime());
    ~ManualClock() override;

    QDateTime now() const override { return start_.addMSecs(elapsed_); }
    qint64 monotonicMs() const override { return elapsed_; }
    // The wall time from here on is t (monotonic time does not move and no timer fires).
    void setNow(const QDateTime& t) { start_ = t.addMSecs(-elapsed_); }
    void advance(qint64 ms);
    // The event loop until done() holds or limitMs of this clock's time have passed: false on the limit.
    bool runUntil(const std::function<bool()>& done, qint64 limitMs = 3'600'000);
    // The earliest deadline of an active timer.
    std::optional<qint64> nextDeadline() const;
    int activeTimers() const;
    std::unique_ptr<TimerBackend> makeBackend(ClockTimer& owner) override;

private:
    class Backend;
    friend class Backend;
    // Fires the earliest timer due at or before limit, its deadline becoming the time; false if none.
    bool fireNext(qint64 limit);

    QDateTime start_;
    qint64 elapsed_ = 0;
    quint64 order_ = 0;
    std::vector<Backend*> timers_;
};

} // namespace tarn
