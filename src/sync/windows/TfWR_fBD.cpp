#include "sync/windows/TfWR_fBD.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

namespace tarn::sync {

TfWR_fBD::TfWR_fBD(Mode mode, QWidget* parent) : QDialog(parent) {
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
        // The window goes once the run has seen the flag.
        if (!running_) reject();
        return;
    }
    // Escape would leave the run without its window.
    if (event->key() == Qt::Key_Escape && running_) return;
    QDialog::keyPressEvent(event);
}

void TfWR_fBD::runModal(const Work& work) {
    QTimer::singleShot(startDelayMs, this, [this, work] {
        running_ = true;
        work([this](int step, int steps) {
            gauge_->setMaximum(qMax(1, steps));
            gauge_->setValue(qMin(step, gauge_->maximum()));
            gauge_->repaint();
            // The stop key is read between steps.
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            return !stop_;
        });
        running_ = false;
        accept();
    });
    exec();
}

} // namespace tarn::sync
