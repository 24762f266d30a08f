#include "database/windows/TStoreWait.h"

#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace tarn::database {

namespace {
// The store hands its progress to the window every so many rows: often enough for the gauge and F10,
// rarely enough that a large reading is not slowed by the hand-overs.
constexpr int kRowsBetweenReports = 200;
} // namespace

TStoreWait::TStoreWait(Notifier& notifier, QWidget* parent)
    : QDialog(parent), notifier_(notifier), run_(kRowsBetweenReports) {
    setObjectName(QStringLiteral("TStoreWait"));
    setWindowTitle(QStringLiteral("Контроль и запись базы данных"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Контроль и запись базы данных"), this));
    bar_ = new QProgressBar(this);
    layout->addWidget(bar_);
    layout->addWidget(new QLabel(QStringLiteral("Останов контроля и записи БД - клавиша   \"F10\""), this));
    connect(&run_, &BackgroundRun::progressed, this, [this](int done, int total) { progress(done, total); });
    connect(&run_, &BackgroundRun::finished, this, &QDialog::accept);
}

void TStoreWait::runModal(const BackgroundRun::Work& store) {
    stop_ = false;
    if (!run_.start(store)) return;
    exec();
}

bool TStoreWait::progress(int done, int total) {
    bar_->setMaximum(qMax(1, total));
    bar_->setValue(qMin(done, total));
    return !stop_;
}

void TStoreWait::askToStop() {
    if (!notifier_.confirm(QStringLiteral("Запись БД остановить?"))) return;
    stop_ = true;
    run_.requestStop();
}

void TStoreWait::reject() {
    // The window goes when the store has ended, never before it.
    if (run_.running())
        askToStop();
    else
        QDialog::reject();
}

void TStoreWait::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F10) {
        askToStop();
        return;
    }
    if (event->key() == Qt::Key_Escape) return; // the run closes the window itself
    QDialog::keyPressEvent(event);
}

} // namespace tarn::database
