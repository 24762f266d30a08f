#include "corrector/windows/TItemWait.h"

#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

namespace tarn::corrector {

TItemWait::TItemWait(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TItemWait"));
    setModal(true);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    auto* layout = new QVBoxLayout(this);
    caption_ = new QLabel(this);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 20);
    bar_->setTextVisible(false);
    layout->addWidget(caption_);
    layout->addWidget(bar_);
    step_ = new QTimer(this);
    connect(step_, &QTimer::timeout, this,
            [this] { bar_->setValue((bar_->value() + 1) % (bar_->maximum() + 1)); });
}

void TItemWait::start(const QString& caption) {
    caption_->setText(caption);
    bar_->setValue(0);
    step_->start(stepMs);
    show();
}

void TItemWait::replied() {
    step_->stop();
    QTimer::singleShot(closeDelayMs, this, &QDialog::accept);
}

QString TItemWait::caption() const {
    return caption_->text();
}

int TItemWait::progress() const {
    return bar_->value();
}

} // namespace tarn::corrector
