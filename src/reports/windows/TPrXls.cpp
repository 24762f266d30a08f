#include "reports/windows/TPrXls.h"

#include "common/Language.h"
#include "corrector/CorrectorFiles.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarn::reports {

namespace {
// The writing hands its progress to the window every third row: the gauge moves and "Стоп" is heard.
constexpr int kRowsBetweenReports = 3;
} // namespace

TPrXls::TPrXls(const corrector::Reading& reading, Input input, Notifier& notifier, QWidget* parent)
    : QDialog(parent), reading_(reading), input_(std::move(input)), notifier_(notifier),
      run_(kRowsBetweenReports) {
    const int lang = input_.language;
    setObjectName(QStringLiteral("TPrXls"));
    setWindowTitle(uaRu(lang, "Запис файлу у форматі \"Excel\"", "Запись файла в формате \"Excel\""));
    auto* layout = new QVBoxLayout(this);
    for (std::size_t i = 0; i < kWorkbookArchives.size(); ++i) {
        boxes_[i] = new QCheckBox(workbookArchiveBox(kWorkbookArchives[i], lang), this);
        boxes_[i]->setChecked(true);
        layout->addWidget(boxes_[i]);
    }
    gauge_ = new QProgressBar(this);
    gauge_->setValue(0);
    layout->addWidget(gauge_);
    auto* buttons = new QHBoxLayout;
    write_ = new QPushButton(uaRu(lang, "Запис", "Запись"), this);
    stop_ = new QPushButton(QStringLiteral("Стоп"), this);
    exit_ = new QPushButton(uaRu(lang, "Вихід", "Выход"), this);
    write_->setDefault(true);
    stop_->setEnabled(false);
    buttons->addWidget(write_);
    buttons->addWidget(stop_);
    buttons->addWidget(exit_);
    layout->addLayout(buttons);
    connect(write_, &QPushButton::clicked, this, &TPrXls::write);
    connect(stop_, &QPushButton::clicked, this, [this] {
        stopRequested_ = true;
        run_.requestStop();
    });
    connect(&run_, &BackgroundRun::progressed, this, [this](int done, int total) {
        gauge_->setMaximum(total);
        gauge_->setValue(done);
    });
    connect(&run_, &BackgroundRun::finished, this, &TPrXls::writingEnded);
    connect(exit_, &QPushButton::clicked, this, &TPrXls::reject);
}

QList<corrector::Archive> TPrXls::checkedArchives() const {
    QList<corrector::Archive> out;
    for (std::size_t i = 0; i < kWorkbookArchives.size(); ++i)
        if (boxes_[i]->isChecked()) out.append(kWorkbookArchives[i]);
    return out;
}

void TPrXls::setWriting(bool writing) {
    writing_ = writing;
    write_->setEnabled(!writing);
    exit_->setEnabled(!writing);
    stop_->setEnabled(writing);
}

void TPrXls::reject() {
    if (writing_) {
        stopRequested_ = true;
        run_.requestStop();
        return;
    }
    QDialog::reject();
}

void TPrXls::write() {
    if (writing_) return;
    const int lang = input_.language;
    const QString proposed =
        corrector::proposedFileName(reading_, input_.today.isValid() ? input_.today : QDate::currentDate());
    const QString chosen =
        input_.chooseFile
            ? input_.chooseFile(input_.excelFolder, workbookFilter(), proposed)
            : QFileDialog::getSaveFileName(
                  this, {}, input_.excelFolder + QLatin1Char('/') + proposed, workbookFilter(), nullptr,
                  QFileDialog::DontConfirmOverwrite | QFileDialog::HideNameFilterDetails);
    if (chosen.isEmpty()) {
        QDialog::reject();
        return;
    }
    // Refused before anything is written; the window stays for another name.
    if (const auto existing = existingWorkbook(chosen)) {
        notifier_.message(MessageKind::Error, workbookExistsText(*existing, lang));
        return;
    }
    stopRequested_ = false;
    setWriting(true);
    gauge_->setValue(0);
    const QList<WorkbookSheet> sheets = planWorkbook(reading_, checkedArchives(), lang);
    run_.start([this, sheets, chosen, lang](const BackgroundRun::Progress& progress) {
        written_ = writeWorkbook(sheets, chosen, lang, progress);
    });
}

void TPrXls::writingEnded() {
    outcome_ = written_;
    setWriting(false);
    using Result = WorkbookOutcome::Result;
    switch (outcome_.result) {
    case Result::Written:
        gauge_->setValue(gauge_->maximum());
        break;
    case Result::Stopped:
        notifier_.message(MessageKind::Information, outcome_.message);
        gauge_->setValue(0);
        break;
    case Result::Refused:
    case Result::Failed:
        notifier_.message(MessageKind::Error, outcome_.message);
        gauge_->setValue(0);
        return;
    }
    if (input_.showWorkbook) input_.showWorkbook(outcome_.path);
    accept();
}

} // namespace tarn::reports
