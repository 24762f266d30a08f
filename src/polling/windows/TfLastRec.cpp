#include "polling/windows/TfLastRec.h"

#include "common/TextFile.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QToolBar>
#include <QVBoxLayout>

namespace tarn::polling {

namespace {

// The member passes hand the gauge over every five members; "Выход" is heard at each.
constexpr int kMembersBetweenReports = 5;

QFont fixedFont() {
    return QFont(QStringLiteral("Courier New"), 8);
}

QString askPath(const AskSavePath& ask, QWidget* parent, const QString& folder, const QString& proposed) {
    if (ask) return ask(folder, proposed);
    return QFileDialog::getSaveFileName(parent, QString(), QDir(folder).filePath(proposed),
                                        QStringLiteral("Файл в формате (*.txt)"));
}

} // namespace

bool saveTextFile(const QString& chosen, const QStringList& lines, Notifier& notifier) {
    const QFileInfo info(chosen);
    const QString name = info.fileName().section(QLatin1Char('.'), 0, 0) + QStringLiteral(".txt");
    const QString path = info.dir().filePath(name);
    if (QFileInfo::exists(path) && !notifier.confirm(QStringLiteral("Файл \"") + name +
                                                     QStringLiteral("\"уже существует, перезаписать?")))
        return false;
    if (!writeTextLines(path, lines)) {
        notifier.message(MessageKind::Error, QStringLiteral("Ошибка записи файла ") + path);
        return false;
    }
    notifier.message(MessageKind::Information,
                     QStringLiteral("ФАЙЛ \"") + path + QStringLiteral("\" ЗАПИСАН"));
    return true;
}

TfLastRec::TfLastRec(const DataRoot& root, Notifier& notifier, QWidget* parent)
    : QDialog(parent), root_(root), notifier_(notifier) {
    setObjectName(QStringLiteral("TfLastRec"));
    auto* layout = new QVBoxLayout(this);
    auto* tools = new QToolBar(this);
    connect(tools->addAction(QStringLiteral("Сохранить во внешнем файле *.txt")), &QAction::triggered, this,
            &TfLastRec::save);
    layout->addWidget(tools);
    grid_ = new QTableWidget(0, 3, this);
    grid_->horizontalHeader()->setVisible(false);
    grid_->verticalHeader()->setVisible(false);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(grid_, 1);
    resize(620, 380);
}

bool TfLastRec::showPoint(database::Storage& storage, const QString& identifier) {
    const database::Registry registry(root_, storage);
    const auto view = lastRecordsOf(storage, registry, identifier);
    if (!view) {
        notifier_.message(MessageKind::Warning, noDataText());
        return false;
    }
    identifier_ = identifier;
    view_ = *view;
    setWindowTitle(view_.title);
    grid_->setRowCount(static_cast<int>(view_.rows.size()));
    for (int r = 0; r < view_.rows.size(); ++r)
        for (int c = 0; c < 3; ++c)
            grid_->setItem(r, c, new QTableWidgetItem(view_.rows.at(r).at(static_cast<std::size_t>(c))));
    return true;
}

bool TfLastRec::save() {
    if (identifier_.isEmpty()) return false;
    const QString chosen = askPath(askSavePath, this, root_.dir(folder::Text),
                                   lastRecordsFileName(identifier_, QDate::currentDate()));
    if (chosen.isEmpty()) return false;
    return saveTextFile(chosen, lastRecordsFileLines(view_), notifier_);
}

TfGroupList::TfGroupList(const DataRoot& root, Notifier& notifier, QWidget* parent)
    : QDialog(parent), root_(root), notifier_(notifier), run_(kMembersBetweenReports) {
    setObjectName(QStringLiteral("TfGroupList"));
    auto* layout = new QVBoxLayout(this);
    auto* tools = new QToolBar(this);
    connect(tools->addAction(QStringLiteral("Сохранить во внешнем файле *.txt")), &QAction::triggered, this,
            &TfGroupList::save);
    poll_ = tools->addAction(QStringLiteral("Выборочный опрос корректор"));
    lastRecords_ = tools->addAction(QStringLiteral("Последняя запись в архивах..."));
    QAction* exit = tools->addAction(QStringLiteral("Выход"));
    layout->addWidget(tools);
    banner_ = new QLabel(this);
    banner_->setFont(fixedFont());
    layout->addWidget(banner_);
    lines_ = new QListWidget(this);
    lines_->setFont(fixedFont());
    // One line each: a group of a thousand members is laid out by the size of one.
    lines_->setUniformItemSizes(true);
    layout->addWidget(lines_, 1);
    gauge_ = new QProgressBar(this);
    layout->addWidget(gauge_);

    connect(lines_, &QListWidget::currentRowChanged, this, &TfGroupList::chooseLine);
    // A right click on a member: its point chosen, then the console's point menu.
    lines_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lines_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const int row = lines_->indexAt(at).row();
        if (row < 0 || !chooseLine(row)) return;
        if (showPointMenu) showPointMenu(lines_->viewport()->mapToGlobal(at));
    });
    connect(poll_, &QAction::triggered, this, [this] {
        if (chosen_.isEmpty()) {
            notifier_.message(MessageKind::Warning, QStringLiteral("Не выбран прибор!!!"));
            return;
        }
        if (pollSelected) pollSelected();
        close();
    });
    connect(lastRecords_, &QAction::triggered, this, [this] {
        if (chosen_.isEmpty()) {
            notifier_.message(MessageKind::Warning, QStringLiteral("Не выбран прибор!!!"));
            return;
        }
        if (showLastRecords) showLastRecords(chosen_);
    });
    connect(exit, &QAction::triggered, this, [this] {
        stopped_ = true;
        run_.requestStop();
        close();
    });
    // The gauge moves every five members.
    connect(&run_, &BackgroundRun::progressed, this, [this](int done, int total) {
        gauge_->setRange(0, std::max(1, total));
        gauge_->setValue(done);
    });
    connect(&run_, &BackgroundRun::finished, this, &TfGroupList::showBuiltList);
    resize(760, 480);
}

void TfGroupList::showGroup(database::Storage& storage, const Group& group) {
    groupName_ = group.name.trimmed();
    stopped_ = false;
    run_.start([this, root = root_, &storage, group](const BackgroundRun::Progress& progress) {
        const database::Registry registry(root, storage);
        built_ = groupMemberList(storage, registry, group, progress);
    });
}

void TfGroupList::showBuiltList() {
    list_ = built_;
    gauge_->setValue(gauge_->maximum());
    setWindowTitle(list_.title);
    banner_->setText(list_.banner.join(QLatin1Char('\n')));
    lines_->clear();
    for (const MemberListLine& l : list_.lines) {
        auto* item = new QListWidgetItem(l.text, lines_);
        item->setForeground(l.late ? Qt::red : Qt::black);
    }
    emit groupShown();
}

bool TfGroupList::chooseLine(int row) {
    const auto point = row >= 0 ? pointOfMemberLine(lines_->item(row)->text()) : std::nullopt;
    if (!point) {
        notifier_.message(MessageKind::Warning, QStringLiteral("Не выбран прибор!!!"));
        return false;
    }
    chosen_ = list_.lines.value(row).identifier;
    if (selectPoint) selectPoint(point->first, point->second);
    setWindowTitle(QStringLiteral("Группа - \"") + groupName_ + QStringLiteral("\" ***выбран прибор:\"") +
                   point->first + QStringLiteral(" N") + point->second + QLatin1Char('"'));
    return true;
}

bool TfGroupList::save() {
    const QStringList lines = memberListFileLines(list_);
    if (lines.isEmpty()) {
        notifier_.message(MessageKind::Warning, QStringLiteral("Нет данных !!!"));
        return false;
    }
    const QString chosen = askPath(askSavePath, this, root_.dir(folder::Text), groupName_);
    if (chosen.isEmpty()) return false;
    return saveTextFile(chosen, lines, notifier_);
}

} // namespace tarn::polling
