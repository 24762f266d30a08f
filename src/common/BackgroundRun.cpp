#include "common/BackgroundRun.h"

#include <QThread>
#include <exception>

namespace tarn {

class BackgroundRun::RelayNotifier final : public Notifier {
public:
    RelayNotifier(BackgroundRun& run, Notifier& target) : run_(run), target_(target) {}
    void message(MessageKind kind, const QString& text) override {
        run_.onOwnerThread([this, kind, text] { target_.message(kind, text); });
    }
    bool confirm(const QString& text) override {
        bool answer = false;
        run_.onOwnerThread([this, text, &answer] { answer = target_.confirm(text); });
        return answer;
    }

private:
    BackgroundRun& run_;
    Notifier& target_;
};

BackgroundRun::BackgroundRun(int callsBetweenReports, QObject* parent)
    : QObject(parent), callsBetweenReports_(qMax(1, callsBetweenReports)) {}

BackgroundRun::~BackgroundRun() {
    stop_ = true;
    {
        const std::lock_guard lock(mutex_);
        abandoned_ = true;
    }
    ownerDone_.notify_all();
    if (worker_) worker_->wait();
}

bool BackgroundRun::start(Work work) {
    if (running_) return false;
    if (worker_) worker_->wait();
    stop_ = false;
    calls_ = 0;
    failure_.clear();
    running_ = true;
    worker_.reset(QThread::create([this, work = std::move(work)] {
        try {
            work([this](int done, int total) { return report(done, total); });
        } catch (const std::exception& e) {
            failure_ = QString::fromUtf8(e.what());
        } catch (...) {
            failure_ = QStringLiteral("unknown exception");
        }
    }));
    // Queued: the thread says it has ended from its own side; the owner hears it from its event loop.
    connect(worker_.get(), &QThread::finished, this, [this] {
        worker_->wait();
        running_ = false;
        emit finished();
    });
    worker_->start();
    return true;
}

void BackgroundRun::requestStop() {
    stop_ = true;
}

bool BackgroundRun::report(int done, int total) {
    if (++calls_ % callsBetweenReports_ != 0) return !stop_;
    onOwnerThread([this, done, total] { emit progressed(done, total); });
    return !stop_;
}

bool BackgroundRun::onOwnerThread(const std::function<void()>& task) {
    if (QThread::currentThread() == thread()) {
        task();
        return true;
    }
    std::uint64_t ticket = 0;
    {
        const std::lock_guard lock(mutex_);
        if (abandoned_) return false;
        ticket = ++issued_;
    }
    // The task runs from the owner's event loop. Should the owner go first, the posted call goes with it
    // (its context is this object) and the wait below ends on `abandoned_`.
    QMetaObject::invokeMethod(
        this,
        [this, task, ticket] {
            task();
            {
                const std::lock_guard lock(mutex_);
                served_ = qMax(served_, ticket);
            }
            ownerDone_.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(mutex_);
    ownerDone_.wait(lock, [this, ticket] { return served_ >= ticket || abandoned_; });
    return served_ >= ticket;
}

Notifier& BackgroundRun::ownerNotifier(Notifier& target) {
    relays_.push_back(std::make_unique<RelayNotifier>(*this, target));
    return *relays_.back();
}

} // namespace tarn
