#include "sync/windows/TfWR_fBD.h"

#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

namespace tarn::sync {

TfWR_fBD::TfWR_fBD(Mode mode, QWidget* parent) : QDialog(parent) {
    connect(&run_, &BackgroundRun::progressed, this, [this](int step, int steps) {
        gauge_->setMaximum(qMax(1, steps));
        gauge_->setValue(qMin(step, gauge_->maximum()));
    });
    connect(&run_, &BackgroundRun::finished, this, [this] {
        running_ = false;
        accept();
    });
    setObjectName(QStringLiteral("TfWR_fBD"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    caption_ = new QLabel(mode == Mode::Pack ? QStringLiteral("подготовка файлов базы данных \"упаковка\"")
                                             : QStringLiteral("подготовка файлов базы данных \"распаковка\""),
                          this);
    gauge_ = new QProgressBar(this);
    gauge_->setRange(0, kPackSteps);
    gauge_->setValue(0);
    layout->addWidget(caption_);
    layout->addWidget(gauge_);
    layout->addWidget(new QLabel(QStringLiteral("Останов  - клавиша   \"F10\""), this));
    resize(420, 110);
}

void TfWR_fBD::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F10) {
        stop_ = true;
        run_.requestStop();
        // The window goes once the run has seen the flag.
        if (!running_) QDialog::reject();
        return;
    }
    // Escape would leave the run without its window.
    if (event->key() == Qt::Key_Escape && running_) return;
    QDialog::keyPressEvent(event);
}

void TfWR_fBD::reject() {
    if (running_) {
        stop_ = true;
        run_.requestStop();
        return;
    }
    QDialog::reject();
}

void TfWR_fBD::runModal(const Work& work) {
    QTimer::singleShot(startDelayMs, this, [this, work] {
        // Stopped before it began: the work is not started at all.
        if (stop_) return;
        running_ = true;
        run_.start([work](const BackgroundRun::Progress& progress) { work(progress); });
    });
    exec();
}

} // namespace tarn::sync
