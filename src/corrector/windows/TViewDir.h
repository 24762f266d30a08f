#pragma once
// "Обзор папок протоколов": the saved "*.prt" files of Report\ as a plain list (taking one opens it in
// the corrector window), and the text exports and workbooks of Text\ and Excel\ as folder views.
#include <QDialog>

class QFileSystemModel;
class QListView;
class QListWidget;
class QStackedWidget;

namespace tarn::corrector {

class TViewDir final : public QDialog {
    Q_OBJECT
public:
    TViewDir(const QString& reportFolder, const QString& textFolder, const QString& excelFolder,
             int languageIndex, QWidget* parent = nullptr);

    void showReportFiles();
    void showFolder(const QString& folder);
    // The "*.prt" file taken from the list (the window then closes); empty when none was.
    QString chosenFile() const { return chosen_; }
    QListWidget* reportList() const { return reportList_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void takeSelected();

    QString reportFolder_;
    QStackedWidget* stack_;
    QListWidget* reportList_;
    QListView* folderView_;
    QFileSystemModel* folderModel_;
    QString chosen_;
};

} // namespace tarn::corrector
