#include "database/windows/TStoreWait.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace tarn::database {

namespace {
// The window is repainted and F10 seen every so many steps.
constexpr int kStepsBetweenEvents = 200;
} // namespace

TStoreWait::TStoreWait(Notifier& notifier, QWidget* parent) : QDialog(parent), notifier_(notifier) {
    setObjectName(QStringLiteral("TStoreWait"));
    setWindowTitle(QStringLiteral("Контроль и запись базы данных"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Контроль и запись базы данных"), this));
    bar_ = new QProgressBar(this);
    layout->addWidget(bar_);
    layout->addWidget(new QLabel(QStringLiteral("Останов контроля и записи БД - клавиша   \"F10\""), this));
}

bool TStoreWait::progress(int done, int total) {
    bar_->setMaximum(qMax(1, total));
    bar_->setValue(qMin(done, total));
    if (done % kStepsBetweenEvents == 0) QCoreApplication::processEvents();
    return !stop_;
}

void TStoreWait::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F10) {
        if (notifier_.confirm(QStringLiteral("Запись БД остановить?"))) stop_ = true;
        return;
    }
    if (event->key() == Qt::Key_Escape) return; // the run closes the window itself
    QDialog::keyPressEvent(event);
}

} // namespace tarn::database
