#pragma once
// The pack/unpack window: "подготовка файлов базы данных "упаковка"" (or "распаковка"), a gauge of 25
// steps and "Останов  - клавиша   "F10"". The packing runs on a worker while the window serves its own
// events; F10 (or closing the window) asks it to stop, and it stops at its next step where stopping still
// changes nothing. The window closes when the work has ended.
#include "common/BackgroundRun.h"
#include "sync/PointPackage.h"

#include <QDialog>
#include <functional>

class QLabel;
class QProgressBar;

namespace tarn::sync {

class TfWR_fBD final : public QDialog {
    Q_OBJECT
public:
    enum class Mode { Pack, Unpack };
    using Work = std::function<void(const StepProgress& progress)>;
    TfWR_fBD(Mode mode, QWidget* parent = nullptr);

    // Shows the window, runs the work on the worker a moment later and closes when it ends. The work must
    // reach the user only through run().ownerNotifier or run().onOwnerThread.
    void runModal(const Work& work);
    bool stopRequested() const { return stop_; }
    BackgroundRun& run() { return run_; }
    void reject() override; // while the work runs, a close asks it to stop instead
    // The pause before the work starts (the window is painted first).
    int startDelayMs = 50;

    QLabel* caption() const { return caption_; }
    QProgressBar* gauge() const { return gauge_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* caption_;
    QProgressBar* gauge_;
    BackgroundRun run_;
    bool stop_ = false;
    bool running_ = false;
};

} // namespace tarn::sync
