#pragma once
// "ЧТЕНИЕ ЧЕРЕЗ LPT": the LPT transfer unit's copy read into the corrector window a page at a time, the
// gauge over the whole copy, F10 to stop; at the service level the count of pages read again.
#include "common/Notifier.h"
#include "corrector/CorrectorWindowModel.h"
#include "transfer/LptUnit.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QTimer;

namespace tarn::transfer {

class TZag_Lpt final : public QDialog {
    Q_OBJECT
public:
    TZag_Lpt(LptBus& bus, corrector::CorrectorWindowModel& model, Notifier& notifier, int language,
             bool serviceLevel, QWidget* parent = nullptr);
    ~TZag_Lpt() override;

    // Starts the read (the window does it itself 200 ms after it opens).
    void start();
    // F10: the read ends where it is; nothing is stored.
    void stop();
    // The read finished whole: the caller stores it.
    bool complete() const { return read_.complete(); }
    const QList<int>& kindsRead() const { return read_.kindsRead(); }
    QProgressBar* gauge() const { return gauge_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

    // However the window closes, the corrector window shows what the read left.
    void done(int result) override;

private:
    void next();

    corrector::CorrectorWindowModel& model_;
    Notifier& notifier_;
    // What the read fills: the corrector window's own until the read takes the copy's parameters.
    corrector::Reading reading_;
    LptImageRead read_;
    int language_;
    QProgressBar* gauge_;
    QLabel* failures_;
    QTimer* stepTimer_;
    int lastPage_ = -1;
    int rereads_ = 0;
    bool stopped_ = false;
};

} // namespace tarn::transfer
