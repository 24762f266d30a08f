#pragma once
// The storing run's wait window: "Контроль и запись базы данных" with its progress; F10 (or closing the
// window) asks whether to stop ("Запись БД остановить?"). The store runs on a worker while the window
// serves its own events, and the window closes when the store has ended.
#include "common/BackgroundRun.h"
#include "common/Notifier.h"

#include <QDialog>

class QProgressBar;

namespace tarn::database {

class TStoreWait final : public QDialog {
    Q_OBJECT
public:
    TStoreWait(Notifier& notifier, QWidget* parent = nullptr);
    // Shows the window, runs the store on the worker and closes when it has ended. The store's progress
    // reaches the window every few hundred rows; a confirmed stop is seen at the next one.
    void runModal(const BackgroundRun::Work& store);
    // Moves the gauge: false once the user has confirmed the stop.
    bool progress(int done, int total);
    bool stopRequested() const { return stop_; }
    QProgressBar* bar() const { return bar_; }
    BackgroundRun& run() { return run_; }
    void reject() override; // while the store runs, a close asks as F10 does

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void askToStop();

    Notifier& notifier_;
    QProgressBar* bar_;
    BackgroundRun run_;
    bool stop_ = false;
};

} // namespace tarn::database
