#include "reports/windows/TWaitPr.h"

#include "common/Language.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace tarn::reports {

namespace {
// The window repaints and F10 is seen every so many records.
constexpr int kRecordsBetweenEvents = 100;
} // namespace

TWaitPr::TWaitPr(int language, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TWaitPr"));
    setWindowTitle(uaRu(language, "ЧЕКАЙТЕ", "ОЖИДАЙТЕ"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(uaRu(language, "ЧЕКАЙТЕ", "ОЖИДАЙТЕ"), this));
    layout->addWidget(new QLabel(QStringLiteral("Останов  - клавиша   \"F10\""), this));
}

bool TWaitPr::stopRequested() {
    if (++asked_ % kRecordsBetweenEvents == 0) QCoreApplication::processEvents();
    return stop_;
}

void TWaitPr::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F10) {
        stop_ = true;
        return;
    }
    if (event->key() == Qt::Key_Escape) return; // the build closes the window itself
    QDialog::keyPressEvent(event);
}

} // namespace tarn::reports
