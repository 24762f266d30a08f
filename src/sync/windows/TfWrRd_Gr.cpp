#include "sync/windows/TfWrRd_Gr.h"

#include "common/LineColourInk.h"

#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QStandardPaths>
#include <QTextEdit>
#include <QTreeView>
#include <QVBoxLayout>

namespace tarn::sync {

TfWrRd_Gr::TfWrRd_Gr(Mode mode, Input input, Notifier& notifier, QWidget* parent)
    : QDialog(parent), mode_(mode), input_(std::move(input)), notifier_(notifier) {
    setObjectName(QStringLiteral("TfWrRd_Gr"));
    // The "c" of "cохранить" is the Latin letter, as the window has always shown it.
    setWindowTitle(mode == Mode::Save ? QStringLiteral("Группа - cохранить *.tbd")
                                      : QStringLiteral("Группа - открыть *.tbd"));
    auto* layout = new QVBoxLayout(this);
    if (mode == Mode::Open) {
        auto* row = new QHBoxLayout;
        files_ = new QFileSystemModel(this);
        files_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
        const QString start = input_.startFolder.isEmpty()
                                  ? QStandardPaths::writableLocation(QStandardPaths::DesktopLocation)
                                  : input_.startFolder;
        files_->setRootPath(QDir::rootPath());
        tree_ = new QTreeView(this);
        tree_->setModel(files_);
        for (int c = 1; c < files_->columnCount(); ++c)
            tree_->hideColumn(c);
        packages_ = new QListWidget(this);
        row->addWidget(tree_, 1);
        row->addWidget(packages_, 1);
        layout->addLayout(row, 1);
        open_ = new QPushButton(QStringLiteral("Открыть файлы  *.tbd"), this);
        layout->addWidget(open_);
        connect(tree_, &QTreeView::clicked, this,
                [this](const QModelIndex& index) { chooseFolder(files_->filePath(index)); });
        connect(open_, &QPushButton::clicked, this, &TfWrRd_Gr::startOpen);
        if (!start.isEmpty()) {
            tree_->setCurrentIndex(files_->index(start));
            chooseFolder(start);
        }
    }
    winStep_ = new QTextEdit(this);
    winStep_->setObjectName(QStringLiteral("winStep"));
    winStep_->setReadOnly(true);
    layout->addWidget(winStep_, 2);
    connect(&timer_, &QTimer::timeout, this, &TfWrRd_Gr::tick);
    resize(750, 480);
    move(0, 0);
}

void TfWrRd_Gr::chooseFolder(const QString& folder) {
    if (!packages_) return;
    folder_ = folder;
    packages_->clear();
    for (const QString& name : packagesInFolder(folder)) {
        auto* item = new QListWidgetItem(name, packages_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
}

void TfWrRd_Gr::log(const QString& line, LogColour colour) {
    winStep_->setTextColor(colourOf(colour));
    winStep_->append(line);
}

void TfWrRd_Gr::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (mode_ == Mode::Save && !started_) QTimer::singleShot(0, this, &TfWrRd_Gr::startSave);
}

bool TfWrRd_Gr::startSave() {
    if (started_ || !input_.storage) return false;
    started_ = true;
    save_ = std::make_unique<GroupSaveRun>(input_.root, *input_.storage, input_.groupName, input_.language,
                                           [this](const QString& l, LogColour c) { log(l, c); });
    if (!save_->start()) return false;
    timer_.start(stepIntervalMs);
    return true;
}

bool TfWrRd_Gr::startOpen() {
    if (running() || !input_.storage || !packages_) return false;
    QStringList ticked;
    for (int i = 0; i < packages_->count(); ++i)
        if (packages_->item(i)->checkState() == Qt::Checked) ticked.append(packages_->item(i)->text());
    openRun_ = std::make_unique<GroupOpenRun>(input_.root, input_.storage->schemas(), notifier_,
                                              input_.settings, folder_, ticked, input_.language,
                                              [this](const QString& l, LogColour c) { log(l, c); });
    if (!openRun_->start()) return false;
    stopFlag_ = false;
    open_->setEnabled(false);
    timer_.start(stepIntervalMs);
    return true;
}

QStringList TfWrRd_Gr::openedPoints() const {
    return openRun_ ? openRun_->identifiers() : QStringList();
}

void TfWrRd_Gr::tick() {
    if (stopFlag_) {
        if (save_) save_->stop();
        if (openRun_) openRun_->stop();
    }
    const bool more = save_ ? save_->step() : openRun_ && openRun_->step();
    if (!more) {
        timer_.stop();
        if (open_) open_->setEnabled(true);
    }
}

void TfWrRd_Gr::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F10) {
        stopFlag_ = true;
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        stopFlag_ = true;
        // The run ends with its stop line before the window goes.
        if (running()) tick();
        reject();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace tarn::sync
