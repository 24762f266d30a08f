#include "corrector/windows/TViewDir.h"

#include "common/Language.h"

#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFileSystemModel>
#include <QListView>
#include <QListWidget>
#include <QMenuBar>
#include <QStackedWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace tarn::corrector {

TViewDir::TViewDir(const QString& reportFolder, const QString& textFolder, const QString& excelFolder,
                   int languageIndex, QWidget* parent)
    : QDialog(parent), reportFolder_(reportFolder) {
    setObjectName(QStringLiteral("TViewDir"));
    const int lang = languageIndex;
    setWindowTitle(uaRu(lang, "Огляд папок протоколів", "Обзор папок протоколов"));
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QMenuBar(this);
    layout->setMenuBar(bar);
    const QString word = uaRu(lang, "Файли", "ФАЙЛЫ");
    QAction* prt = bar->addAction(word + QStringLiteral(" \"*.prt\""));
    QAction* txt = bar->addAction(word + QStringLiteral(" \"*.txt\""));
    QAction* xls = bar->addAction(word + uaRu(lang, " \"*.xls\"", "\"*.xls\""));
    QAction* exit = bar->addAction(uaRu(lang, "ВИХІД", "ВЫХОД"));
    connect(prt, &QAction::triggered, this, &TViewDir::showReportFiles);
    connect(txt, &QAction::triggered, this, [this, textFolder] { showFolder(textFolder); });
    connect(xls, &QAction::triggered, this, [this, excelFolder] { showFolder(excelFolder); });
    connect(exit, &QAction::triggered, this, &QDialog::reject);

    stack_ = new QStackedWidget(this);
    stack_->addWidget(new QWidget(stack_)); // empty until a menu item is chosen
    reportList_ = new QListWidget(stack_);
    reportList_->viewport()->installEventFilter(this);
    reportList_->installEventFilter(this);
    stack_->addWidget(reportList_);
    folderModel_ = new QFileSystemModel(this);
    folderView_ = new QListView(stack_);
    folderView_->setModel(folderModel_);
    folderView_->setViewMode(QListView::ListMode);
    // The folder views work as the system's own file windows: folders open, files open in their program.
    connect(folderView_, &QListView::activated, this, [this](const QModelIndex& index) {
        if (folderModel_->isDir(index))
            folderView_->setRootIndex(index);
        else
            QDesktopServices::openUrl(QUrl::fromLocalFile(folderModel_->filePath(index)));
    });
    stack_->addWidget(folderView_);
    layout->addWidget(stack_);
    setWindowState(windowState() | Qt::WindowMaximized);
}

void TViewDir::showReportFiles() {
    reportList_->clear();
    const QStringList files =
        QDir(reportFolder_).entryList({QStringLiteral("*.prt")}, QDir::Files | QDir::Readable, QDir::Name);
    reportList_->addItems(files);
    stack_->setCurrentWidget(reportList_);
}

void TViewDir::showFolder(const QString& folder) {
    folderModel_->setRootPath(folder);
    folderView_->setRootIndex(folderModel_->index(folder));
    folderModel_->sort(0);
    stack_->setCurrentWidget(folderView_);
}

bool TViewDir::eventFilter(QObject* watched, QEvent* event) {
    const bool take = (watched == reportList_->viewport() && event->type() == QEvent::MouseButtonRelease) ||
                      (watched == reportList_ && event->type() == QEvent::KeyRelease);
    if (take) takeSelected();
    return QDialog::eventFilter(watched, event);
}

void TViewDir::takeSelected() {
    const QListWidgetItem* item = reportList_->currentItem();
    if (!item) return;
    chosen_ = QDir(reportFolder_).filePath(item->text());
    accept();
}

} // namespace tarn::corrector
