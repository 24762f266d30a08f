#include "common/Clock.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>

namespace tarn {

void Clock::singleShot(int ms, QObject* context, std::function<void()> f) {
    // The timer lives under the context, so it dies with it and never calls into a destroyed object.
    auto* timer = new ClockTimer(*this, context);
    timer->setSingleShot(true);
    QObject::connect(timer, &ClockTimer::timeout, timer, [timer, f = std::move(f)] {
        timer->deleteLater();
        f();
    });
    timer->start(ms);
}

// --- ClockTimer ------------------------------------------------------------------------------------

ClockTimer::ClockTimer(Clock& clock, QObject* parent) : QObject(parent), clock_(&clock) {
    backend_ = clock_->makeBackend(*this);
}

ClockTimer::~ClockTimer() = default;

void ClockTimer::setClock(Clock& clock) {
    if (&clock == clock_) return;
    backend_.reset();
    clock_ = &clock;
    backend_ = clock_->makeBackend(*this);
    backend_->setPrecise(precise_);
}

void ClockTimer::setPrecise(bool on) {
    precise_ = on;
    backend_->setPrecise(on);
}

void ClockTimer::start() {
    backend_->start(interval_, singleShot_);
}

void ClockTimer::start(int ms) {
    interval_ = ms;
    start();
}

void ClockTimer::stop() {
    backend_->stop();
}

bool ClockTimer::isActive() const {
    return backend_->isActive();
}

// --- SystemClock -----------------------------------------------------------------------------------

namespace {

qint64 steadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class QtTimerBackend final : public Clock::TimerBackend {
public:
    explicit QtTimerBackend(ClockTimer& owner) {
        QObject::connect(&timer_, &QTimer::timeout, &owner, &ClockTimer::timeout);
    }
    void start(int ms, bool singleShot) override {
        timer_.setSingleShot(singleShot);
        timer_.start(ms);
    }
    void stop() override { timer_.stop(); }
    bool isActive() const override { return timer_.isActive(); }
    void setPrecise(bool on) override { timer_.setTimerType(on ? Qt::PreciseTimer : Qt::CoarseTimer); }

private:
    QTimer timer_;
};

} // namespace

SystemClock::SystemClock() : startNs_(steadyNs()) {}

qint64 SystemClock::monotonicMs() const {
    return (steadyNs() - startNs_) / 1'000'000;
}

std::unique_ptr<Clock::TimerBackend> SystemClock::makeBackend(ClockTimer& owner) {
    return std::make_unique<QtTimerBackend>(owner);
}

// --- ManualClock -----------------------------------------------------------------------------------

class ManualClock::Backend final : public Clock::TimerBackend {
public:
    Backend(ManualClock& clock, ClockTimer& owner) : clock_(&clock), owner_(owner) {
        clock_->timers_.push_back(this);
    }
    ~Backend() override {
        if (clock_) std::erase(clock_->timers_, this);
    }
    void start(int ms, bool singleShot) override {
        active_ = true;
        singleShot_ = singleShot;
        interval_ = std::max(ms, 0);
        deadline_ = clock_->elapsed_ + interval_;
        order_ = ++clock_->order_;
    }
    void stop() override { active_ = false; }
    bool isActive() const override { return active_; }

    ManualClock* clock_;
    ClockTimer& owner_;
    bool active_ = false;
    bool singleShot_ = false;
    int interval_ = 0;
    qint64 deadline_ = 0;
    quint64 order_ = 0;
};

ManualClock::ManualClock(QDateTime start) : start_(std::move(start)) {}

ManualClock::~ManualClock() {
    // Timers that outlive the clock must not reach back into it.
    for (Backend* b : timers_) {
        b->clock_ = nullptr;
        b->active_ = false;
    }
}

std::unique_ptr<Clock::TimerBackend> ManualClock::makeBackend(ClockTimer& owner) {
    return std::make_unique<Backend>(*this, owner);
}

std::optional<qint64> ManualClock::nextDeadline() const {
    std::optional<qint64> next;
    for (const Backend* b : timers_)
        if (b->active_ && (!next || b->deadline_ < *next)) next = b->deadline_;
    return next;
}

int ManualClock::activeTimers() const {
    return static_cast<int>(
        std::count_if(timers_.begin(), timers_.end(), [](const Backend* b) { return b->active_; }));
}

bool ManualClock::fireNext(qint64 limit) {
    Backend* due = nullptr;
    for (Backend* b : timers_)
        if (b->active_ && b->deadline_ <= limit &&
            (!due || b->deadline_ < due->deadline_ ||
             (b->deadline_ == due->deadline_ && b->order_ < due->order_)))
            due = b;
    if (!due) return false;
    elapsed_ = std::max(elapsed_, due->deadline_);
    if (due->singleShot_) {
        due->active_ = false;
    } else {
        // A repeating timer of no interval still waits a millisecond, or time could never move on.
        due->deadline_ = elapsed_ + std::max(due->interval_, 1);
        due->order_ = ++order_;
    }
    // The handler may stop, restart or delete this timer, or make others: nothing is held across it.
    QPointer<ClockTimer> owner(&due->owner_);
    emit owner->timeout();
    return true;
}

void ManualClock::advance(qint64 ms) {
    const qint64 target = elapsed_ + std::max<qint64>(ms, 0);
    while (fireNext(target)) {
    }
    elapsed_ = target;
}

bool ManualClock::runUntil(const std::function<bool()>& done, qint64 limitMs) {
    const qint64 limit = elapsed_ + limitMs;
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    int idleRounds = 0;
    for (;;) {
        if (done()) return true;
        // Whatever is posted or ready goes first: replies, zero-delay posts, sockets.
        if (dispatcher && dispatcher->processEvents(QEventLoop::AllEvents)) {
            idleRounds = 0;
            continue;
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (done()) return true;
        if (fireNext(elapsed_)) continue;
        const std::optional<qint64> next = nextDeadline();
        if (next && *next <= limit) {
            fireNext(*next);
            idleRounds = 0;
            continue;
        }
        if (next) {
            elapsed_ = limit;
            return done();
        }
        // Nothing on this clock: only something outside it (a process, a system timer) can move on.
        if (++idleRounds > 2000) return done();
        QThread::msleep(1);
    }
}

} // namespace tarn
