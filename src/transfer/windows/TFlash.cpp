#include "transfer/windows/TFlash.h"

#include "common/Language.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTime>
#include <QTimer>

namespace tarn::transfer {

TFlash::TFlash(LptBus& bus, Notifier& notifier, int language, int pauseMs, QWidget* parent)
    : QDialog(parent), bus_(bus), notifier_(notifier), language_(language) {
    setWindowTitle(QStringLiteral("Тест ДТУ-1"));
    auto* grid = new QGridLayout(this);
    grid->addWidget(
        new QLabel(uaRu(language, "Увага !!! Після запуску тесту", "Внимание !!! После запуска теста"), this),
        0, 0, 1, 3);
    grid->addWidget(new QLabel(uaRu(language, "дані коректора на ДТУ-1 стираються",
                                    "данные корректора на ДТУ-1 стираются"),
                               this),
                    1, 0, 1, 3);
    grid->addWidget(new QLabel(uaRu(language, "Час перевірки", "Время проверки"), this), 2, 0);
    time_ = new QLabel(QStringLiteral("0:00:00"), this);
    grid->addWidget(time_, 2, 1);
    grid->addWidget(new QLabel(uaRu(language, "Тайм-аут із запису", "Тайм-аут по записи"), this), 3, 0);
    pause_ = new QSpinBox(this);
    pause_->setRange(1, kLptPauseMaxMs);
    pause_->setValue(pauseMs);
    grid->addWidget(pause_, 3, 1);
    address_ = new QRadioButton(QStringLiteral("Адресный"), this);
    zeros_ = new QRadioButton(QStringLiteral("0x00"), this);
    ones_ = new QRadioButton(QStringLiteral("0xFF"), this);
    address_->setChecked(true);
    grid->addWidget(address_, 4, 0);
    grid->addWidget(zeros_, 4, 1);
    grid->addWidget(ones_, 4, 2);
    channel_ = new QLabel(this);
    write_ = new QLabel(this);
    grid->addWidget(channel_, 5, 0);
    grid->addWidget(write_, 5, 1);
    gauge_ = new QProgressBar(this);
    gauge_->setRange(0, 2048);
    gauge_->setValue(0);
    grid->addWidget(gauge_, 6, 0, 1, 3);
    start_ = new QPushButton(QStringLiteral("ПУСК"), this);
    start_->setDefault(true);
    auto* cancel = new QPushButton(uaRu(language, "ВІДМОВА", "ОТМЕНА"), this);
    grid->addWidget(start_, 7, 0);
    grid->addWidget(cancel, 7, 2);
    connect(start_, &QPushButton::clicked, this, &TFlash::startOrStop);
    connect(cancel, &QPushButton::clicked, this, [this] {
        if (running_) finish();
        reject();
    });
    stepTimer_ = new QTimer(this);
    stepTimer_->setSingleShot(true);
    connect(stepTimer_, &QTimer::timeout, this, &TFlash::next);
    clockTimer_ = new QTimer(this);
    connect(clockTimer_, &QTimer::timeout, this, [this] {
        time_->setText(
            QTime(0, 0).addMSecs(static_cast<int>(elapsed_.elapsed())).toString(QStringLiteral("H:mm:ss")));
    });
    showCounters();
}

TFlash::~TFlash() = default;

QRadioButton* TFlash::patternChoice(LptPattern pattern) const {
    return pattern == LptPattern::Address ? address_ : pattern == LptPattern::Zeros ? zeros_ : ones_;
}

void TFlash::showCounters() {
    channel_->setText(uaRu(language_, "Збій каналу", "Сбой канала") + QLatin1Char(' ') +
                      QString::number(test_ ? test_->channelFailures() : 0));
    write_->setText(uaRu(language_, "Збій запису", "Сбой записи") + QLatin1Char(' ') +
                    QString::number(test_ ? test_->writeFailures() : 0));
    gauge_->setValue(test_ ? test_->linesDone() : 0);
}

void TFlash::startOrStop() {
    if (running_) {
        finish();
        return;
    }
    const LptPattern pattern = zeros_->isChecked()  ? LptPattern::Zeros
                               : ones_->isChecked() ? LptPattern::Ones
                                                    : LptPattern::Address;
    test_ = std::make_unique<LptUnitTest>(bus_, pattern, language_, pause_->value());
    running_ = true;
    start_->setStyleSheet(QStringLiteral("color: red"));
    elapsed_.start();
    clockTimer_->start(1000);
    showCounters();
    if (!test_->begin()) {
        notifier_.message(MessageKind::Error, test_->message());
        finish();
        return;
    }
    stepTimer_->start(test_->pauseBeforeNextStep());
}

void TFlash::next() {
    if (!running_ || !test_) return;
    const bool more = test_->step();
    showCounters();
    if (more) {
        stepTimer_->start(test_->pauseBeforeNextStep());
        return;
    }
    notifier_.message(test_->succeeded() ? MessageKind::Information : MessageKind::Error, test_->message());
    finish();
}

void TFlash::finish() {
    running_ = false;
    stepTimer_->stop();
    clockTimer_->stop();
    start_->setStyleSheet(QString());
}

void TFlash::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        if (running_) finish();
        reject();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (!running_) startOrStop();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace tarn::transfer
