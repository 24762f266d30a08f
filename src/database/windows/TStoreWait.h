#pragma once
// The storing run's wait window: "Контроль и запись базы данных" with its progress; F10 asks whether to
// stop ("Запись БД остановить?").
#include "common/Notifier.h"

#include <QDialog>

class QProgressBar;

namespace tarn::database {

class TStoreWait final : public QDialog {
    Q_OBJECT
public:
    TStoreWait(Notifier& notifier, QWidget* parent = nullptr);
    // The storing run's progress callback: false once the user has confirmed the stop.
    bool progress(int done, int total);
    bool stopRequested() const { return stop_; }
    QProgressBar* bar() const { return bar_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    Notifier& notifier_;
    QProgressBar* bar_;
    bool stop_ = false;
};

} // namespace tarn::database
