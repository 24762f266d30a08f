#pragma once
// "Тест ДТУ-1": every line of the LPT transfer unit written with a pattern and read back, the pause
// between steps chosen by the user; the unit's data are lost by it, as the window warns.
#include "common/Notifier.h"
#include "transfer/LptUnit.h"

#include <QDialog>
#include <QElapsedTimer>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimer;

namespace tarn::transfer {

class TFlash final : public QDialog {
    Q_OBJECT
public:
    // pauseMs: the first value of "Тайм-аут по записи" (the link settings' write time-out).
    TFlash(LptBus& bus, Notifier& notifier, int language, int pauseMs = kLptDefaultPauseMs,
           QWidget* parent = nullptr);
    ~TFlash() override;

    // "ПУСК": starts the test, or stops the one that runs.
    void startOrStop();
    bool running() const { return running_; }
    QPushButton* startButton() const { return start_; }
    QSpinBox* pauseBox() const { return pause_; }
    QRadioButton* patternChoice(LptPattern pattern) const;
    QLabel* channelFailures() const { return channel_; }
    QLabel* writeFailures() const { return write_; }
    QProgressBar* gauge() const { return gauge_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void next();
    void finish();
    void showCounters();

    LptBus& bus_;
    Notifier& notifier_;
    int language_;
    std::unique_ptr<LptUnitTest> test_;
    QElapsedTimer elapsed_;
    bool running_ = false;
    QPushButton* start_;
    QSpinBox* pause_;
    QRadioButton* address_;
    QRadioButton* zeros_;
    QRadioButton* ones_;
    QLabel* time_;
    QLabel* channel_;
    QLabel* write_;
    QProgressBar* gauge_;
    QTimer* stepTimer_;
    QTimer* clockTimer_;
};

} // namespace tarn::transfer
