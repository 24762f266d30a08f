#pragma once
// Long work (storing a reading, writing a workbook or a package, building a report) run on a worker
// thread so that the window that shows it keeps its own event loop: no nested loop, no processEvents,
// nothing re-entered while the work is half done.
//
// The work reports progress through the callback it is given. Every so many calls the worker hands the
// progress to the owner's thread (signal `progressed`) and waits until that thread has taken it, so the
// window's gauge and its stop key are seen at the same points of the work as when it ran in the window,
// and a stop asked in a `progressed` slot is seen by the very next call. Whatever the work must ask the
// user (a dialog, a message box) goes through `onOwnerThread` or `ownerNotifier`.
#include "common/Notifier.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QThread;

namespace tarn {

class BackgroundRun final : public QObject {
    Q_OBJECT
public:
    // false once a stop has been asked: the work ends at its next point where stopping changes nothing.
    using Progress = std::function<bool(int done, int total)>;
    using Work = std::function<void(const Progress& progress)>;

    // callsBetweenReports: the progress calls between two hand-overs to the owner's thread (1: every one).
    explicit BackgroundRun(int callsBetweenReports = 1, QObject* parent = nullptr);
    // A run still going is asked to stop and waited for; its `finished` is not emitted.
    ~BackgroundRun() override;

    // Starts the work on a worker thread; refused (false) while a run is going.
    bool start(Work work);
    void requestStop();
    bool stopRequested() const { return stop_.load(); }
    bool running() const { return running_; }
    // What escaped the work as an exception (empty when it ended normally).
    QString failure() const { return failure_; }

    // From the work: runs `task` on the owner's thread and waits for it. false (task not run) once the run
    // is being abandoned by its owner. From the owner's thread it simply runs the task.
    bool onOwnerThread(const std::function<void()>& task);
    // A notifier for the work: messages and questions reach `target` on the owner's thread; a question
    // that cannot be asked any more is answered no. It lives as long as the run.
    Notifier& ownerNotifier(Notifier& target);

signals:
    void progressed(int done, int total);
    void finished();

private:
    bool report(int done, int total);

    class RelayNotifier;

    const int callsBetweenReports_;
    std::unique_ptr<QThread> worker_;
    std::vector<std::unique_ptr<RelayNotifier>> relays_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> abandoned_{false};
    bool running_ = false;
    int calls_ = 0; // the worker's alone
    QString failure_;

    std::mutex mutex_;
    std::condition_variable ownerDone_;
    std::uint64_t issued_ = 0;
    std::uint64_t served_ = 0;
};

} // namespace tarn
