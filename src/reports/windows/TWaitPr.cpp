#include "reports/windows/TWaitPr.h"

#include "common/Language.h"

#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace tarn::reports {

namespace {
// The build hands over to the window every so many records: the window stays drawn and F10 is heard
// without a hand-over on every record of a long listing.
constexpr int kRecordsBetweenReports = 100;
} // namespace

TWaitPr::TWaitPr(int language, QWidget* parent) : QDialog(parent), run_(kRecordsBetweenReports) {
    setObjectName(QStringLiteral("TWaitPr"));
    setWindowTitle(uaRu(language, "ЧЕКАЙТЕ", "ОЖИДАЙТЕ"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(uaRu(language, "ЧЕКАЙТЕ", "ОЖИДАЙТЕ"), this));
    layout->addWidget(new QLabel(QStringLiteral("Останов  - клавиша   \"F10\""), this));
    connect(&run_, &BackgroundRun::finished, this, &QDialog::accept);
}

void TWaitPr::runModal(const Work& work) {
    const bool started = run_.start([work](const BackgroundRun::Progress& progress) {
        int asked = 0;
        // The builders ask before each record; the count is the only progress they have.
        work([&progress, &asked] { return !progress(++asked, 0); });
    });
    if (started) exec();
}

void TWaitPr::stop() {
    stop_ = true;
    run_.requestStop();
}

void TWaitPr::reject() {
    if (run_.running())
        stop();
    else
        QDialog::reject();
}

void TWaitPr::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F10) {
        stop();
        return;
    }
    if (event->key() == Qt::Key_Escape) return; // the build closes the window itself
    QDialog::keyPressEvent(event);
}

} // namespace tarn::reports
