#pragma once
// The corrector window's "ФАЙЛ" menu: open a saved "*.prt" file, save the window as one, export it as
// text, and the folder browser. The files themselves are CorrectorFiles' business; this asks the user
// for names and shows the progress window.
#include "common/Notifier.h"
#include "corrector/CorrectorWindowModel.h"

#include <QObject>
#include <functional>

class QAction;
class QMenuBar;
class QWidget;

namespace tarn::corrector {

class CorrectorFileMenu final : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString reportFolder; // "*.prt" files
        QString textFolder;   // "*.txt" exports
        QString excelFolder;  // workbooks, shown by the folder browser
        // A file name from the user (the system's file dialog when empty); an empty answer cancels.
        std::function<QString(bool save, const QString& folder, const QString& filter,
                              const QString& proposed)>
            chooseFile;
        // A file was opened into the window (the program stores it as a reading from a file).
        std::function<void(const QString& path)> loaded; // the file just loaded
        // "СОХРАНИТЬ КАК *.xls" once the window holds a corrector's data: the workbook dialog, which the
        // program puts in (it lives with the reports). The entry says nothing more without it.
        std::function<void()> saveWorkbook;
        // The progress window's pauses (tests set them to 0).
        int progressDelayMs = 50;
        QDate today;
    };

    CorrectorFileMenu(QMenuBar* bar, CorrectorWindowModel& model, Notifier& notifier, QWidget* window);
    void setOptions(Options options) { options_ = std::move(options); }

    QAction* openAction() const { return open_; }
    QAction* savePrtAction() const { return savePrt_; }
    QAction* saveTxtAction() const { return saveTxt_; }
    QAction* saveXlsAction() const { return saveXls_; }
    QAction* browseAction() const { return browse_; }

    void openSnapshot();
    void saveSnapshotAs();
    void exportTextAs();
    void saveWorkbookAs();
    void openBrowser();
    // Clears the window and loads the file under the progress window; true when it loaded.
    bool loadFile(const QString& path);

private:
    // The final name after the dialog and the overwrite question; empty when the user stops.
    QString chooseTarget(const QString& folder, const QString& filter, const QString& extension);
    bool runProgress(const QString& path, const std::function<bool(const FileProgress&)>& work);

    CorrectorWindowModel& model_;
    Notifier& notifier_;
    QWidget* window_;
    Options options_;
    QAction* open_;
    QAction* savePrt_;
    QAction* saveTxt_;
    QAction* saveXls_;
    QAction* browse_;
};

} // namespace tarn::corrector
