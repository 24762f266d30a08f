#include "sync/windows/TfDirSynch.h"

#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarn::sync {

TfDirSynch::TfDirSynch(const DataRoot& root, const QString& sourceFolder, int language, Notifier& notifier,
                       QWidget* parent)
    : QDialog(parent), sync_(root, sourceFolder, language), notifier_(notifier) {
    setObjectName(QStringLiteral("TfDirSynch"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    source_ = new QLabel(
        QStringLiteral("д.син.- ") + QDir::toNativeSeparators(sourceFolder) + QDir::separator(), this);
    target_ = new QLabel(
        QStringLiteral("д.раб.- ") + QDir::toNativeSeparators(root.root()) + QDir::separator(), this);
    gauge_ = new QProgressBar(this);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 20);
    bar_->setTextVisible(false);
    stopButton_ = new QPushButton(QStringLiteral("Стоп"), this);
    layout->addWidget(source_);
    layout->addWidget(target_);
    layout->addWidget(gauge_);
    layout->addWidget(bar_);
    layout->addWidget(stopButton_);
    connect(stopButton_, &QPushButton::clicked, this, &TfDirSynch::stop);
    connect(&steps_, &QTimer::timeout, this, &TfDirSynch::tick);
    connect(&barTimer_, &QTimer::timeout, this,
            [this] { bar_->setValue((bar_->value() + 1) % (bar_->maximum() + 1)); });
    resize(520, 160);
}

bool TfDirSynch::runModal() {
    QTimer::singleShot(0, this, [this] {
        if (!sync_.start()) {
            goOn_ = notifier_.confirm(checkSyncPathQuestion());
            accept();
            return;
        }
        gauge_->setRange(0, sync_.gaugeMaximum());
        steps_.start(stepIntervalMs);
        barTimer_.start(barIntervalMs);
    });
    exec();
    return goOn_;
}

void TfDirSynch::tick() {
    // One file a turn: the window stays painted and "Стоп" is read between files.
    const bool more = sync_.step();
    gauge_->setMaximum(qMax(sync_.gaugeMaximum(), sync_.done()));
    gauge_->setValue(sync_.done());
    if (!more) finish();
}

void TfDirSynch::finish() {
    steps_.stop();
    barTimer_.stop();
    for (const QString& error : sync_.errors())
        notifier_.message(MessageKind::Error, error);
    goOn_ = sync_.stopped() ? notifier_.confirm(syncStoppedQuestion()) : true;
    accept();
}

} // namespace tarn::sync
