#include "polling/windows/TfSet_Gr.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace tarn::polling {

namespace {

const QString kTimeFormat = QStringLiteral("HH:mm");

QTimeEdit* timeEdit(QWidget* parent) {
    auto* edit = new QTimeEdit(QTime(0, 0), parent);
    edit->setDisplayFormat(kTimeFormat);
    return edit;
}

QPushButton* button(const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    // Enter in the name or a time must not add, save or delete anything.
    b->setAutoDefault(false);
    return b;
}

} // namespace

TfSet_Gr::TfSet_Gr(PollingRun& run, const DataRoot& root, Notifier& notifier, int languageIndex,
                   const QString& file, QWidget* parent)
    : QDialog(parent), run_(run), root_(root), notifier_(notifier), language_(languageIndex), file_(file) {
    setObjectName(QStringLiteral("TfSet_Gr"));
    setWindowTitle(QStringLiteral("Конфигуратор параметров группового опроса"));
    const Group group = file_.isEmpty() ? Group{} : loadGroup(run_.groupFiles(), file_);
    originalName_ = group.name;
    if (!file_.isEmpty()) {
        Error unread;
        opened_ = run_.groupFiles().read(file_, unread);
    }

    auto* layout = new QVBoxLayout(this);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(new QLabel(QStringLiteral("Группа"), this));
    name_ = new QLineEdit(group.name.trimmed(), this);
    name_->setMaxLength(kGroupNameWidth);
    nameRow->addWidget(name_, 1);
    layout->addLayout(nameRow);

    auto* body = new QHBoxLayout;
    layout->addLayout(body, 1);
    auto* schedule = new QVBoxLayout;
    body->addLayout(schedule, 1);
    grid_ = new QTableWidget(0, 4, this);
    grid_->setHorizontalHeaderLabels(
        {QStringLiteral("№"), QStringLiteral("Начало"), QStringLiteral("Конец"), QStringLiteral("Период")});
    grid_->verticalHeader()->setVisible(false);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    schedule->addWidget(grid_, 1);
    auto* times = new QGridLayout;
    begin_ = timeEdit(this);
    end_ = timeEdit(this);
    period_ = timeEdit(this);
    times->addWidget(new QLabel(QStringLiteral("Начало"), this), 0, 0);
    times->addWidget(new QLabel(QStringLiteral("Конец"), this), 0, 1);
    times->addWidget(new QLabel(QStringLiteral("Период"), this), 0, 2);
    times->addWidget(begin_, 1, 0);
    times->addWidget(end_, 1, 1);
    times->addWidget(period_, 1, 2);
    schedule->addLayout(times);
    auto* windowButtons = new QHBoxLayout;
    QPushButton* add = button(QStringLiteral("Добавить"), this);
    QPushButton* remove = button(QStringLiteral("Удалить"), this);
    windowButtons->addWidget(add);
    windowButtons->addWidget(remove);
    schedule->addLayout(windowButtons);
    connect(add, &QPushButton::clicked, this, &TfSet_Gr::addWindow);
    connect(remove, &QPushButton::clicked, this, &TfSet_Gr::removeWindow);

    static const char* const kItemNames[kPollingItems] = {"Часовой архив",
                                                          "Суточный архив",
                                                          "Месячный архив",
                                                          "Аварийный архив",
                                                          "Оперативный архив",
                                                          "Контроль запись параметров газа",
                                                          "Контроль, коррекция текущего времени",
                                                          "Архив вмешательств",
                                                          "Замер"};
    auto* itemBoxes = new QVBoxLayout;
    body->addLayout(itemBoxes);
    for (int i = 0; i < kPollingItems; ++i) {
        auto* box = new QCheckBox(QString::fromUtf8(kItemNames[i]), this);
        // The flags begin with an unused "0"; mark i is character i + 1.
        box->setChecked(group.flags.mid(i + 1, 1) == QLatin1String("1"));
        items_[static_cast<std::size_t>(i)] = box;
        itemBoxes->addWidget(box);
    }
    itemBoxes->addStretch(1);

    auto* actions = new QHBoxLayout;
    QPushButton* saveButton = button(QStringLiteral("Сохранить"), this);
    deleteGroup_ = button(QStringLiteral("Удалить группу"), this);
    deleteGroup_->setEnabled(!file_.isEmpty());
    actions->addWidget(saveButton);
    actions->addWidget(deleteGroup_);
    actions->addStretch(1);
    layout->addLayout(actions);
    connect(saveButton, &QPushButton::clicked, this, &TfSet_Gr::save);
    connect(deleteGroup_, &QPushButton::clicked, this, &TfSet_Gr::removeGroup);

    showWindows(group.schedule);
    resize(720, 420);
}

void TfSet_Gr::showWindows(const QStringList& windows) {
    grid_->setRowCount(0);
    for (const QString& w : windows) {
        const QStringList parts = w.split(QLatin1Char('-'));
        const int row = grid_->rowCount();
        grid_->insertRow(row);
        grid_->setItem(row, 0, new QTableWidgetItem(QString::number(row + 1)));
        for (int c = 0; c < 3; ++c)
            grid_->setItem(row, c + 1, new QTableWidgetItem(parts.value(c).trimmed()));
    }
}

QStringList TfSet_Gr::windows() const {
    QStringList out;
    for (int r = 0; r < grid_->rowCount(); ++r) {
        QStringList parts;
        for (int c = 1; c <= 3; ++c)
            parts.append(grid_->item(r, c) ? grid_->item(r, c)->text() : QString());
        out.append(parts.join(QLatin1Char('-')));
    }
    return out;
}

QString TfSet_Gr::flags() const {
    QString f(QLatin1Char('0'));
    for (const QCheckBox* box : items_)
        f += box->isChecked() ? QLatin1Char('1') : QLatin1Char('0');
    return f;
}

bool TfSet_Gr::addWindow() {
    QStringList list = windows();
    const QString refusal = checkNewWindow(list, begin_->time(), end_->time(), language_);
    if (!refusal.isEmpty()) {
        notifier_.message(MessageKind::Warning, refusal);
        return false;
    }
    list.append(windowText(begin_->time(), end_->time(), period_->time()));
    showWindows(list);
    grid_->selectRow(grid_->rowCount() - 1);
    return true;
}

bool TfSet_Gr::removeWindow() {
    const int row = grid_->currentRow();
    if (row < 0 || row >= grid_->rowCount()) return false;
    if (!notifier_.confirm(QStringLiteral("Удалить?"))) return false;
    QStringList list = windows();
    list.removeAt(row);
    showWindows(list);
    return true;
}

bool TfSet_Gr::save() {
    GroupSave request;
    request.file = file_;
    request.originalName = originalName_;
    request.group.name = name_->text();
    request.group.schedule = windows();
    request.group.flags = flags();
    // The members are the console's points as they are checked now.
    const QStringList& lines = run_.pointLines();
    const QList<bool>& checks = run_.checks();
    for (int i = 0; i < lines.size(); ++i)
        request.group.members.append({checks.value(i), lines.at(i)});
    const GroupSaveResult r = saveGroup(
        run_.groupFiles(), request, language_, run_.now(),
        [this](const QString& question) { return notifier_.confirm(question); }, opened_);
    if (!r.error.isEmpty()) {
        notifier_.message(MessageKind::Error, r.error);
        // Another workstation changed this group meanwhile: the console reloads the groups, and the group
        // is opened again from what is there now rather than saved over it.
        if (r.changedElsewhere) {
            emit groupsChanged(originalName_.trimmed());
            reject();
        }
        return false;
    }
    if (r.file.isEmpty()) return false; // the user kept the old name
    // Today's rows of the group as it was named are the ones that change.
    const QString changed = originalName_.trimmed().isEmpty() ? request.group.name : originalName_;
    file_ = r.file;
    originalName_ = request.group.name;
    deleteGroup_->setEnabled(true);
    emit groupsChanged(changed.trimmed());
    accept();
    return true;
}

bool TfSet_Gr::removeGroup() {
    if (file_.isEmpty()) return false;
    if (!notifier_.confirm(QStringLiteral("Удалить?"))) return false;
    if (const QString error = deleteGroup(run_.groupFiles(), file_, language_); !error.isEmpty()) {
        notifier_.message(MessageKind::Error, error);
        return false;
    }
    file_.clear();
    emit groupsChanged(originalName_.trimmed());
    accept();
    return true;
}

} // namespace tarn::polling
