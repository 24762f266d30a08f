#pragma once
// "ОЖИДАЙТЕ" while a report is built; F10 stops a statistical listing before its next record. The build
// runs on a worker while the window serves its own events, and the window closes when it has ended.
#include "common/BackgroundRun.h"

#include <QDialog>
#include <functional>

namespace tarn::reports {

class TWaitPr final : public QDialog {
    Q_OBJECT
public:
    // The build, given the question it asks before each record: true once it is to stop.
    using Work = std::function<void(const std::function<bool()>& stopRequested)>;

    explicit TWaitPr(int language, QWidget* parent = nullptr);
    // Shows the window, runs the build on the worker and closes when it has ended. The build reaches the
    // user only through run().ownerNotifier.
    void runModal(const Work& work);
    bool stopRequested() const { return stop_; }
    bool stopped() const { return stop_; }
    BackgroundRun& run() { return run_; }
    void reject() override; // while the build runs, a close stops it as F10 does

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void stop();

    BackgroundRun run_;
    bool stop_ = false;
};

} // namespace tarn::reports
