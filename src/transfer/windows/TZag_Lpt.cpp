#include "transfer/windows/TZag_Lpt.h"

#include "common/Language.h"

#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

namespace tarn::transfer {

TZag_Lpt::TZag_Lpt(LptBus& bus, corrector::CorrectorWindowModel& model, Notifier& notifier, int language,
                   bool serviceLevel, QWidget* parent)
    : QDialog(parent), model_(model), notifier_(notifier), reading_(model.reading()),
      read_(bus, reading_, language), language_(language) {
    setWindowTitle(uaRu(language, "ЧИТАННЯ ЧЕРЕЗ LPT", "ЧТЕНИЕ ЧЕРЕЗ LPT"));
    auto* layout = new QVBoxLayout(this);
    gauge_ = new QProgressBar(this);
    gauge_->setRange(0, kLptImageBytes);
    gauge_->setValue(0);
    layout->addWidget(gauge_);
    layout->addWidget(new QLabel(
        uaRu(language, "Зупинка читання – клавіша \"F10\"", "Останов  чтения  - клавиша   \"F10\""), this));
    failures_ = new QLabel(this);
    failures_->setVisible(serviceLevel);
    layout->addWidget(failures_);
    stepTimer_ = new QTimer(this);
    stepTimer_->setSingleShot(true);
    connect(stepTimer_, &QTimer::timeout, this, &TZag_Lpt::next);
    failures_->setText(uaRu(language_, "Збій каналу", "Сбой канала") + QStringLiteral(" 0"));
}

TZag_Lpt::~TZag_Lpt() = default;

void TZag_Lpt::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    QTimer::singleShot(200, this, &TZag_Lpt::start);
}

void TZag_Lpt::start() {
    if (stopped_ || stepTimer_->isActive() || read_.bytesDone() > 0) return;
    if (const auto refused = read_.begin()) {
        notifier_.message(MessageKind::Error, *refused);
        reject();
        return;
    }
    stepTimer_->start(0);
}

void TZag_Lpt::next() {
    if (stopped_) return;
    const bool more = read_.step();
    // A page taken again after a bus reset counts as a failure of the channel.
    if (read_.bytesDone() / 256 == lastPage_) ++rereads_;
    lastPage_ = read_.bytesDone() / 256;
    failures_->setText(uaRu(language_, "Збій каналу", "Сбой канала") + QLatin1Char(' ') +
                       QString::number(rereads_));
    gauge_->setValue(read_.bytesDone());
    if (more) {
        stepTimer_->start(0);
        return;
    }
    if (read_.complete()) {
        accept();
        return;
    }
    notifier_.message(MessageKind::Error, read_.message());
    reject();
}

void TZag_Lpt::done(int result) {
    if (read_.readingTouched()) model_.showReading(reading_);
    QDialog::done(result);
}

void TZag_Lpt::stop() {
    stopped_ = true;
    stepTimer_->stop();
    reject();
}

void TZag_Lpt::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F10) {
        stop();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace tarn::transfer
