#pragma once
// 'Запись файла в формате "Excel"': which archives go into the workbook, "Запись" to choose the file and
// write it, "Стоп" while writing, "Выход", and the gauge. The workbook itself is WorkbookExport's, written
// on a worker while the window serves its own events; this window asks for the name, shows the progress
// and passes "Стоп" on between rows.
#include "common/BackgroundRun.h"
#include "common/Notifier.h"
#include "reports/WorkbookExport.h"

#include <QDate>
#include <QDialog>
#include <array>
#include <functional>

class QCheckBox;
class QProgressBar;
class QPushButton;

namespace tarn::reports {

class TPrXls final : public QDialog {
    Q_OBJECT
public:
    struct Input {
        int language = 1;
        QString excelFolder; // where the save dialog starts
        QDate today;         // the proposed name's date (today when not valid)
        // A file name from the user (the system's save dialog when empty); an empty answer cancels.
        std::function<QString(const QString& folder, const QString& filter, const QString& proposed)>
            chooseFile;
        // The workbook written (whole or stopped): opened for the user in the system's spreadsheet program.
        std::function<void(const QString& path)> showWorkbook;
    };

    TPrXls(const corrector::Reading& reading, Input input, Notifier& notifier, QWidget* parent = nullptr);

    QCheckBox* archiveBox(int index) const { return boxes_.at(static_cast<std::size_t>(index)); }
    QPushButton* writeButton() const { return write_; }
    QPushButton* stopButton() const { return stop_; }
    QPushButton* exitButton() const { return exit_; }
    QProgressBar* gauge() const { return gauge_; }
    QList<corrector::Archive> checkedArchives() const;
    // The outcome of the last "Запись" once it has ended (Failed before the first).
    const WorkbookOutcome& outcome() const { return outcome_; }
    bool writing() const { return writing_; }
    BackgroundRun& run() { return run_; }

    // Asks for the name and starts the writing; the window closes itself when the workbook is written.
    void write();
    void reject() override; // while writing, closing the window stops the writing instead

private:
    void setWriting(bool writing);
    void writingEnded();

    const corrector::Reading& reading_;
    Input input_;
    Notifier& notifier_;
    std::array<QCheckBox*, kWorkbookArchives.size()> boxes_{};
    QPushButton* write_;
    QPushButton* stop_;
    QPushButton* exit_;
    QProgressBar* gauge_;
    bool writing_ = false;
    bool stopRequested_ = false;
    WorkbookOutcome outcome_;
    WorkbookOutcome written_; // the worker's, taken into outcome_ when it has ended
    // Last: it goes first, so a writing still going ends before the members it writes to.
    BackgroundRun run_;
};

} // namespace tarn::reports
