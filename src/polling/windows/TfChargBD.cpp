#include "polling/windows/TfChargBD.h"

#include "polling/GroupStart.h"
#include "polling/windows/AnalogClock.h"
#include "polling/windows/ConsoleLog.h"
#include "polling/windows/TfGroupStart.h"
#include "polling/windows/TfSet_Gr.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QToolBar>
#include <QVBoxLayout>

namespace tarn::polling {

namespace {

QWidget* titled(const QString& title, QWidget* content, QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(title, box));
    layout->addWidget(content, 1);
    return box;
}

} // namespace

TfChargBD::TfChargBD(PollingRun& run, const DataRoot& root, Notifier& notifier, int languageIndex,
                     QWidget* parent, std::unique_ptr<NewestRead> boardReadAhead)
    : QMainWindow(parent), run_(run), root_(root), notifier_(notifier), language_(languageIndex),
      autostart_(autostartFolder(), QCoreApplication::applicationFilePath(), root.root()),
      sound_(std::make_unique<AlarmSound>(std::make_unique<QtSoundOutput>(), notifier)) {
    setObjectName(QStringLiteral("TfChargBD"));
    setWindowTitle(QStringLiteral("БД"));

    auto* tools = addToolBar(QString());
    tools->setMovable(false);
    pointPoll_ = tools->addAction(QStringLiteral("Выборочный опрос"));
    groupPoll_ = tools->addAction(QStringLiteral("Опрос группы корректоров"));
    schedulePoll_ = tools->addAction(QStringLiteral("Запуск циклического опроса"));
    stop_ = tools->addAction(QStringLiteral("Останов опроса"));
    tools->addSeparator();
    duty_ = tools->addAction(QStringLiteral("Дежурный режим"));
    soundOff_ = tools->addAction(QStringLiteral("Отключение звука"));
    clear_ = tools->addAction(QStringLiteral("Очистить окна просмотра"));
    settingsAction_ = tools->addAction(QStringLiteral("Настройка..."));
    connect(settingsAction_, &QAction::triggered, this, &TfChargBD::openSettings);
    connect(pointPoll_, &QAction::triggered, this, &TfChargBD::pollSelectedPoint);
    connect(groupPoll_, &QAction::triggered, this, [this] { openGroupStart(); });
    connect(schedulePoll_, &QAction::triggered, this, [this] {
        if (viewer_)
            synchroniseByHand();
        else if (packageHooks_.synchronise)
            packageHooks_.synchronise();
        else
            run_.startSchedule();
    });
    // The run writes its own lines about stopping; the console has nothing to add.
    connect(stop_, &QAction::triggered, this, [this] { run_.stop(); });
    connect(duty_, &QAction::triggered, this, &TfChargBD::dutyModeRequested);
    connect(soundOff_, &QAction::triggered, this, &TfChargBD::silenceAlarm);
    connect(clear_, &QAction::triggered, this, &TfChargBD::clearViews);
    tools->addSeparator();
    rowExchanges_ = tools->addAction(QStringLiteral("Обмены текущей строки таблицы"));
    dayExchanges_ = tools->addAction(QStringLiteral("Все обмены за текущие сутки"));
    pendingRow_ = tools->addAction(QStringLiteral("Строка текущего опроса"));
    connect(rowExchanges_, &QAction::triggered, this, [this] { showRowExchanges(); });
    connect(dayExchanges_, &QAction::triggered, this, &TfChargBD::showDayExchanges);
    connect(pendingRow_, &QAction::triggered, this, &TfChargBD::selectPendingRow);

    auto* split = new QSplitter(Qt::Horizontal, this);
    auto* left = new QSplitter(Qt::Vertical, split);
    leftPanels_ = left;

    auto* pointBox = new QWidget(left);
    auto* pointLayout = new QVBoxLayout(pointBox);
    pointLayout->setContentsMargins(0, 0, 0, 0);
    allPoints_ = new QCheckBox(QStringLiteral("все"), pointBox);
    points_ = new QListWidget(pointBox);
    points_->setFont(consoleFont());
    // One line of text and a check box each: the view sizes one item, not a thousand, when it is laid out.
    points_->setUniformItemSizes(true);
    points_->setContextMenuPolicy(Qt::CustomContextMenu);
    pointLayout->addWidget(allPoints_);
    pointLayout->addWidget(points_, 1);

    auto* groupBox = new QWidget(left);
    auto* groupLayout = new QVBoxLayout(groupBox);
    groupLayout->setContentsMargins(0, 0, 0, 0);
    groups_ = new QListWidget(groupBox);
    groups_->setFont(consoleFont());
    groups_->setContextMenuPolicy(Qt::CustomContextMenu);
    groupLayout->addWidget(groups_, 1);
    auto* groupButtons = new QHBoxLayout;
    configure_ = new QPushButton(QStringLiteral("Конфигуратор группы..."), groupBox);
    newGroup_ = new QPushButton(QStringLiteral("Новая группа..."), groupBox);
    groupButtons->addWidget(configure_);
    groupButtons->addWidget(newGroup_);
    groupButtons->addStretch(1);
    groupLayout->addLayout(groupButtons);
    groupRunAction_ = new QAction(QStringLiteral("Опросить группу..."), this);
    configureAction_ = new QAction(QStringLiteral("Конфигуратор группы..."), this);
    newGroupAction_ = new QAction(QStringLiteral("Новая группа..."), this);
    connect(groupRunAction_, &QAction::triggered, this, [this] { openGroupStart(); });
    memberListAction_ = new QAction(QStringLiteral("Перечень группы..."), this);
    lastRecordsAction_ = new QAction(QStringLiteral("Последняя запись в архивах..."), this);
    openPointPackage_ = new QAction(QStringLiteral("Открыть файл  *.tbd"), this);
    savePointPackage_ = new QAction(QStringLiteral("Сохранить файл  *.tbd"), this);
    openGroupPackage_ = new QAction(QStringLiteral("Открыть *.tbd"), this);
    saveGroupPackage_ = new QAction(QStringLiteral("Сохранить *.tbd"), this);
    for (QAction* a : {openPointPackage_, savePointPackage_, openGroupPackage_, saveGroupPackage_})
        a->setVisible(false);
    connect(openPointPackage_, &QAction::triggered, this, [this] {
        if (packageHooks_.openPoint && !refuseWhileRunning()) packageHooks_.openPoint();
    });
    connect(savePointPackage_, &QAction::triggered, this, [this] {
        if (!packageHooks_.savePoint || refuseWhileRunning()) return;
        if (run_.selected < 0 || run_.selected >= run_.pointLines().size()) {
            notifier_.message(MessageKind::Warning, QStringLiteral("Не выбран корректор!!!"));
            return;
        }
        packageHooks_.savePoint(run_.pointLines().at(run_.selected).right(10).trimmed());
    });
    connect(openGroupPackage_, &QAction::triggered, this, [this] {
        if (packageHooks_.openGroup && !refuseWhileRunning()) packageHooks_.openGroup();
    });
    connect(saveGroupPackage_, &QAction::triggered, this, [this] {
        const int row = groups_->currentRow();
        if (!packageHooks_.saveGroup || refuseWhileRunning() || row < 0 || row >= run_.groups().size())
            return;
        packageHooks_.saveGroup(run_.groups().at(row).name.trimmed());
    });
    connect(memberListAction_, &QAction::triggered, this, [this] { openMemberList(); });
    connect(lastRecordsAction_, &QAction::triggered, this, [this] { openLastRecords(); });
    connect(configureAction_, &QAction::triggered, this, [this] { openConfigurator(false); });
    connect(newGroupAction_, &QAction::triggered, this, [this] { openConfigurator(true); });
    connect(configure_, &QPushButton::clicked, this, [this] { openConfigurator(false); });
    connect(newGroup_, &QPushButton::clicked, this, [this] { openConfigurator(true); });

    messages_ = makeLogView(left);
    sequence_ = makeLogView(left);
    left->addWidget(pointBox);
    left->addWidget(groupBox);
    left->addWidget(titled(QStringLiteral("Текущие сообщения"), messages_, left));
    left->addWidget(titled(QStringLiteral("Последовательность опроса"), sequence_, left));

    auto* right = new QWidget(split);
    auto* rightLayout = new QVBoxLayout(right);
    fieldsPanel_ = new QWidget(right);
    auto* form = new QFormLayout(fieldsPanel_);
    for (QLineEdit*& f : fields_) {
        f = new QLineEdit(fieldsPanel_);
        f->setReadOnly(true);
    }
    auto* stateRow = new QHBoxLayout;
    stateRow->addWidget(field(Field::State), 3);
    stateRow->addWidget(field(Field::ScheduleState), 1);
    form->addRow(QStringLiteral("корректор"), field(Field::Corrector));
    form->addRow(QStringLiteral("группа опроса"), field(Field::Group));
    form->addRow(QStringLiteral("состояние опроса"), stateRow);
    form->addRow(QStringLiteral("кол-во повторов"), field(Field::Repeats));
    form->addRow(QStringLiteral("осталось повторов"), field(Field::RepeatsLeft));
    form->addRow(QStringLiteral("след. попытка"), field(Field::NextAttempt));
    form->addRow(QStringLiteral("ожид. соединения"), field(Field::WaitingForConnection));
    form->addRow(QStringLiteral("время соединения"), field(Field::ConnectionTime));
    rightLayout->addWidget(fieldsPanel_);

    // A synchronised copy's refresh: the time since the last synchronisation and the two countdowns.
    viewerPanel_ = new ViewerPanel(right);
    viewerPanel_->setVisible(false);
    rightLayout->addWidget(viewerPanel_);
    connect(&refreshCountdownTimer_, &QTimer::timeout, this, &TfChargBD::viewerTick);

    auto* clockRow = new QHBoxLayout;
    clock_ = new QLCDNumber(8, right);
    clock_->setSegmentStyle(QLCDNumber::Flat);
    clock_->setMinimumHeight(36);
    alarmIndicator_ = new QLabel(right);
    alarmIndicator_->setFixedSize(36, 36);
    alarmIndicator_->setFrameShape(QFrame::Box);
    analogClock_ = new AnalogClock(right);
    analogClock_->setVisible(false);
    clockRow->addWidget(clock_, 1);
    clockRow->addWidget(analogClock_, 1);
    clockRow->addWidget(alarmIndicator_);
    rightLayout->addLayout(clockRow);

    scheduleBox_ = new QCheckBox(QStringLiteral("расписание опроса"), right);
    rightLayout->addWidget(scheduleBox_);
    schedulePanel_ = new QWidget(right);
    auto* scheduleLayout = new QVBoxLayout(schedulePanel_);
    scheduleLayout->setContentsMargins(0, 0, 0, 0);
    scheduleTitle_ = new QLabel(schedulePanel_);
    scheduleTable_ = new QTableWidget(0, 6, schedulePanel_);
    scheduleTable_->setHorizontalHeaderLabels({QStringLiteral("№"), QStringLiteral("Группа"),
                                               QStringLiteral("Начало"), QStringLiteral("Конец"),
                                               QStringLiteral("Опрос"), QStringLiteral("Итог")});
    scheduleTable_->verticalHeader()->setVisible(false);
    scheduleTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A row is chosen to see its exchanges (right button, or the tool button on the current row).
    scheduleTable_->setSelectionMode(QAbstractItemView::SingleSelection);
    scheduleTable_->setSelectionBehavior(QAbstractItemView::SelectRows);
    scheduleTable_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(scheduleTable_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const int row = scheduleTable_->rowAt(at.y());
        if (row >= 0) showRowExchanges(row);
    });
    scheduleLayout->addWidget(scheduleTitle_);
    scheduleLayout->addWidget(scheduleTable_, 1);
    schedulePanel_->setVisible(false);
    rightLayout->addWidget(schedulePanel_, 1);

    // The day's points at a glance: who answered, who failed, how old the newest record is.
    boardPanel_ = new DayBoardPanel(right);
    rightLayout->addWidget(boardPanel_, 1);
    board_ = new DayBoardFeed(run_, root_, *computerClock_, this);
    // The points' newest records (eight tables a member) are read off the window's thread: the rows show
    // at once, their lag when it has been read.
    board_->newestOnWorker = true;
    board_->takeReadAhead(std::move(boardReadAhead));
    connect(board_, &DayBoardFeed::rowsRead, this, [this] { boardPanel_->showRows(board_->rows()); });
    connect(board_, &DayBoardFeed::rowsFilled, this, [this] { boardPanel_->showRows(board_->rows()); });
    connect(board_, &DayBoardFeed::lagPeriodPassed, this, &TfChargBD::showState);
    connect(boardPanel_, &DayBoardPanel::retryRequested, this, [this] { retryFailedMembers(); });
    stateFile_ = std::make_unique<PollStateKeeper>(run_, root_);
    rightLayout->addStretch(0);
    connect(scheduleBox_, &QCheckBox::toggled, this, [this](bool on) {
        schedulePanel_->setVisible(on);
        if (on) showSchedule();
    });
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    setCentralWidget(split);

    // The point list: the check marks are the run's, the selection is the point a single poll takes.
    connect(points_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (fillingLists_) return;
        const int row = points_->row(item);
        if (!run_.setChecked(row, item->checkState() == Qt::Checked)) showPointChecks();
    });
    connect(points_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!fillingLists_) run_.selected = row;
    });
    connect(allPoints_, &QCheckBox::toggled, this, [this](bool on) {
        if (fillingLists_) return;
        run_.setAllChecked(on);
        showPointChecks();
    });
    connect(points_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (QListWidgetItem* item = points_->itemAt(at); item && !run_.running())
            points_->setCurrentItem(item);
        showPointMenu(points_->viewport()->mapToGlobal(at));
    });

    // The group list: choosing a group checks its members; the marks are kept in the list file.
    connect(groups_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (fillingLists_ || run_.running() || row < 0) return;
        run_.selectGroup(row);
        showPointChecks();
    });
    connect(groups_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (fillingLists_) return;
        const int row = groups_->row(item);
        if (run_.running()) {
            notifier_.message(MessageKind::Warning, pollingBusyText(language_));
            showGroups();
            return;
        }
        QList<GroupEntry> entries = run_.groups();
        if (row < 0 || row >= entries.size()) return;
        entries[row].mark = item->checkState() == Qt::Checked;
        if (!saveGroupMarks(run_.groupFiles(), entries))
            notifier_.message(MessageKind::Error, QStringLiteral("Ошибка записи файла ") +
                                                      run_.groupFiles().location(database::kGroupListName));
        run_.reloadGroups();
        showGroups();
    });
    connect(groups_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (refuseWhileRunning()) return;
        if (QListWidgetItem* item = groups_->itemAt(at)) groups_->setCurrentItem(item);
        const bool onGroup = groups_->currentRow() >= 0;
        groupRunAction_->setEnabled(onGroup);
        configureAction_->setEnabled(onGroup);
        QMenu menu(this);
        menu.addAction(groupRunAction_);
        menu.addAction(configureAction_);
        menu.addAction(newGroupAction_);
        memberListAction_->setEnabled(onGroup);
        menu.addAction(memberListAction_);
        saveGroupPackage_->setEnabled(onGroup);
        menu.addAction(openGroupPackage_);
        menu.addAction(saveGroupPackage_);
        menu.exec(groups_->viewport()->mapToGlobal(at));
    });

    connect(&run_, &PollingRun::message, this, [this](const QString& line, LineColour colour) {
        appendLogLine(messages_, line, colour, kMaxViewLines);
    });
    connect(&run_, &PollingRun::sequence, this, [this](const QString& line, LineColour colour) {
        appendLogLine(sequence_, line, colour, kMaxViewLines);
    });
    connect(&run_, &PollingRun::alarm, this, &TfChargBD::onAlarm);
    connect(&run_, &PollingRun::stateChanged, this, &TfChargBD::showState);
    connect(&run_, &PollingRun::finished, this, &TfChargBD::showPointChecks);
    connect(&alarmBlinkTimer_, &QTimer::timeout, this, &TfChargBD::toggleAlarmLight);
    // A close that stopped the run is taken up again when the run has ended, or when the wait runs out.
    closeWaitTimer_.setSingleShot(true);
    connect(&run_, &PollingRun::finished, this, [this] {
        if (closeWaitTimer_.isActive()) closeAfterRun();
    });
    connect(&closeWaitTimer_, &ClockTimer::timeout, this, &TfChargBD::closeAfterRun);

    toolTips_.watch(this);
    reload();
    resize(1100, 720);
    applyPanelSizes(loadPanelSizes(root_));
    // Every move of a splitter is kept, so the next start shows the panels as they were left.
    connect(leftPanels_, &QSplitter::splitterMoved, this, [this] {
        PanelSizes sizes = loadPanelSizes(root_);
        const PanelSizes mine = panelSizes();
        sizes.pointList = mine.pointList;
        sizes.messages = mine.messages;
        if (!savePanelSizes(root_, sizes))
            notifier_.message(MessageKind::Error,
                              QStringLiteral("Ошибка записи файла ") + panelSizesPath(root_));
    });
    loadSettings();
}

QWidget* TfChargBD::analogClock() const {
    return analogClock_;
}

bool TfChargBD::retryFailedMembers(int groupIndex) {
    if (groupIndex < 0) groupIndex = groups_->currentRow();
    if (groupIndex < 0 || groupIndex >= run_.groups().size()) {
        notifier_.message(MessageKind::Warning, QStringLiteral("Не выбрана группа!!!"));
        return false;
    }
    // What failed is read afresh: a point may have been polled since the board was last read.
    refreshBoard();
    const bool started =
        run_.retryFailed(groupIndex, failedMembers(board_->rows(), run_.groups().at(groupIndex).name));
    showState();
    return started;
}

QLineEdit* TfChargBD::field(Field f) const {
    return fields_[static_cast<int>(f)];
}

void TfChargBD::reload() {
    if (!run_.running()) {
        run_.reloadPoints();
        run_.reloadGroups();
        run_.buildSchedule(false);
    }
    board_->markStale();
    showPoints();
    showGroups();
    showState();
}

void TfChargBD::showPoints() {
    fillingLists_ = true;
    const int selected = run_.selected;
    points_->clear();
    for (int i = 0; i < run_.pointLines().size(); ++i) {
        auto* item = new QListWidgetItem(run_.pointListText(i), points_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    run_.selected = selected < points_->count() ? selected : -1;
    if (run_.selected >= 0) points_->setCurrentRow(run_.selected);
    shownHeldRevision_ = run_.heldElsewhereRevision();
    fillingLists_ = false;
    showPointChecks();
}

void TfChargBD::showPointsHeldElsewhere() {
    if (shownHeldRevision_ == run_.heldElsewhereRevision()) return;
    shownHeldRevision_ = run_.heldElsewhereRevision();
    fillingLists_ = true;
    for (int i = 0; i < points_->count(); ++i)
        if (const QString text = run_.pointListText(i); points_->item(i)->text() != text)
            points_->item(i)->setText(text);
    fillingLists_ = false;
}

void TfChargBD::showPointChecks() {
    fillingLists_ = true;
    const QList<bool>& checks = run_.checks();
    bool all = !checks.isEmpty();
    for (int i = 0; i < points_->count(); ++i) {
        const Qt::CheckState state = checks.value(i) ? Qt::Checked : Qt::Unchecked;
        if (points_->item(i)->checkState() != state) points_->item(i)->setCheckState(state);
        all = all && checks.value(i);
    }
    allPoints_->setChecked(all);
    fillingLists_ = false;
}

void TfChargBD::showGroups() {
    fillingLists_ = true;
    const int current = groups_->currentRow();
    groups_->clear();
    for (const GroupEntry& entry : run_.groups()) {
        auto* item =
            new QListWidgetItem(groupListEntry(entry, loadGroup(run_.groupFiles(), entry.file)), groups_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(entry.mark ? Qt::Checked : Qt::Unchecked);
    }
    if (current < groups_->count()) groups_->setCurrentRow(current);
    fillingLists_ = false;
}

void TfChargBD::showSchedule() {
    DaySchedule& schedule = run_.schedule();
    scheduleTitle_->setText(schedule.title());
    scheduleTable_->setRowCount(static_cast<int>(schedule.rows.size()));
    for (int r = 0; r < schedule.rows.size(); ++r) {
        const ScheduleRow& row = schedule.rows.at(r);
        const QStringList cells{
            QString::number(row.number), row.group.trimmed(), row.begin, row.end, row.polled, row.status};
        for (int c = 0; c < cells.size(); ++c) {
            QTableWidgetItem* item = scheduleTable_->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                scheduleTable_->setItem(r, c, item);
            }
            item->setText(cells.at(c));
            item->setForeground(r == run_.currentRow() ? Qt::blue : Qt::black);
        }
    }
}

void TfChargBD::showState() {
    const bool running = run_.running();
    const PollMode mode = run_.mode();
    field(Field::Corrector)->setText(run_.pointName());
    field(Field::Group)->setText(run_.groupName());
    field(Field::State)->setText(pollModeText(mode));
    field(Field::State)
        ->setStyleSheet(running ? QStringLiteral("color: blue;") : QStringLiteral("color: black;"));
    field(Field::ScheduleState)->setVisible(mode == PollMode::Schedule);
    field(Field::ScheduleState)
        ->setText(mode != PollMode::Schedule  ? QString()
                  : run_.scheduleState() == 0 ? QStringLiteral("ожидание")
                                              : QStringLiteral("опрос"));
    field(Field::Repeats)->setText(QString::number(run_.modemRepeats()));
    field(Field::RepeatsLeft)->setText(QString::number(run_.modemRepeatsLeft()));
    field(Field::NextAttempt)->setText(QString::number(run_.pauseSeconds()));
    field(Field::WaitingForConnection)
        ->setText(run_.waitingForConnection() ? QString::number(run_.dialSeconds()) : QString());
    field(Field::ConnectionTime)->setText(QString::number(run_.connectionSeconds()));
    clock_->display(run_.now().toString(QStringLiteral("HH:mm:ss")));
    // The board is read again only when something it shows may have changed.
    board_->refreshIfStale();
    static_cast<AnalogClock*>(analogClock_)->setTime(run_.now().time());

    for (QAction* a : {pointPoll_, groupPoll_, schedulePoll_, groupRunAction_, configureAction_,
                       newGroupAction_, settingsAction_})
        a->setEnabled(!running);
    configure_->setEnabled(!running);
    newGroup_->setEnabled(!running);
    // A group in hand owns the check marks.
    allPoints_->setEnabled(mode != PollMode::Group && mode != PollMode::Schedule);
    if (mode == PollMode::Group || mode == PollMode::Schedule) showPointChecks();
    showPointsHeldElsewhere();
    if (scheduleBox_->isChecked()) showSchedule();
    // On a synchronised copy the button synchronises by hand, and only while the cycle is off.
    if (viewer_) schedulePoll_->setEnabled(!viewer_->settings().on);
}

void TfChargBD::setViewerRefresh(ViewerRefresh* refresh) {
    if (viewer_) viewer_->setConsoleError({});
    viewer_ = refresh;
    const bool copy = viewer_ != nullptr;
    // A synchronised copy takes its data from the master; it polls nothing itself.
    for (QAction* a : {pointPoll_, groupPoll_, stop_, duty_})
        a->setVisible(!copy);
    configure_->setVisible(!copy);
    newGroup_->setVisible(!copy);
    retryButton()->setVisible(!copy);
    fieldsPanel_->setVisible(!copy);
    scheduleBox_->setVisible(!copy);
    if (copy) scheduleBox_->setChecked(false);
    viewerPanel_->setVisible(copy);
    if (!copy) {
        refreshCountdownTimer_.stop();
        showState();
        return;
    }
    viewer_->setConsoleError([this](const QString& line) { showNotice(MessageKind::Error, line); });
    restartViewerCycle();
}

void TfChargBD::restartViewerCycle() {
    if (!viewer_) return;
    viewer_->begin();
    if (viewer_->counting())
        refreshCountdownTimer_.start(viewerTickMs);
    else
        refreshCountdownTimer_.stop();
    showViewer();
    showState();
}

void TfChargBD::viewerTick() {
    if (!viewer_) return;
    // The synchronisation at the cycle's end runs its own window: no tick may come in meanwhile.
    refreshCountdownTimer_.stop();
    const ViewerRefresh::Event e = viewer_->tick();
    if (e == ViewerRefresh::Event::Synchronised) reload();
    if (viewer_->counting()) refreshCountdownTimer_.start(viewerTickMs);
    showViewer();
    if (e == ViewerRefresh::Event::Synchronised || e == ViewerRefresh::Event::Off) showState();
}

void TfChargBD::synchroniseByHand() {
    if (!viewer_ || viewer_->settings().on) return;
    viewer_->synchroniseNow();
    reload();
    restartViewerCycle();
}

void TfChargBD::showViewer() {
    if (viewer_) viewerPanel_->showRefresh(*viewer_);
}

bool TfChargBD::refuseWhileRunning() {
    if (!run_.running()) return false;
    notifier_.message(MessageKind::Warning, pollingBusyText(language_));
    return true;
}

bool TfChargBD::refuseHeldElsewhere() {
    // Another poller on the same server database polls the point now.
    if (run_.heldElsewhere(run_.selected).isEmpty()) return false;
    notifier_.message(MessageKind::Warning, pollingBusyText(language_));
    return true;
}

bool TfChargBD::pollSelectedPoint() {
    if (refuseWhileRunning()) return false;
    const int index = run_.selected;
    // Without a selection the run refuses with its own message.
    if (index < 0 || index >= run_.pointLines().size()) return run_.startPoint(-1);
    if (refuseHeldElsewhere()) return false;
    if (!notifier_.confirm(pointStartQuestion(run_.pointLines().at(index)))) return false;
    return run_.startPoint(index);
}

void TfChargBD::showPointMenu(const QPoint& at) {
    if (refuseWhileRunning() || refuseHeldElsewhere()) return;
    QMenu menu(this);
    menu.addAction(pointPoll_);
    menu.addAction(lastRecordsAction_);
    // Only a package can be opened with no point selected.
    savePointPackage_->setEnabled(run_.selected >= 0 && run_.selected < run_.pointLines().size());
    menu.addAction(openPointPackage_);
    menu.addAction(savePointPackage_);
    menu.exec(at);
}

void TfChargBD::setPackageHooks(PackageHooks hooks) {
    packageHooks_ = std::move(hooks);
    openPointPackage_->setVisible(static_cast<bool>(packageHooks_.openPoint));
    savePointPackage_->setVisible(static_cast<bool>(packageHooks_.savePoint));
    openGroupPackage_->setVisible(static_cast<bool>(packageHooks_.openGroup));
    saveGroupPackage_->setVisible(static_cast<bool>(packageHooks_.saveGroup));
    schedulePoll_->setToolTip(packageHooks_.synchronise ? QStringLiteral("Синхронизация") : QString());
    // A synchronised copy starts with "$v", a polling installation with "$d".
    applyAutostart();
}

bool TfChargBD::selectPoint(const QString& model, const QString& serial) {
    // A point's line begins with its model, " №" and its serial number.
    const QString key = model + QStringLiteral("№") + serial;
    for (int i = 0; i < run_.pointLines().size(); ++i) {
        QString head = run_.pointLines().at(i).left(18);
        head.remove(QLatin1Char(' '));
        if (head != key) continue;
        points_->setCurrentRow(i);
        run_.selected = i;
        return true;
    }
    return false;
}

bool TfChargBD::clearViews() {
    if (!notifier_.confirm(QStringLiteral("Окна просмотра очистить?"))) return false;
    messages_->clear();
    sequence_->clear();
    return true;
}

int TfChargBD::selectPendingRow() {
    // The row is chosen in the schedule, which shows for it.
    if (!scheduleBox_->isChecked()) scheduleBox_->setChecked(true);
    showSchedule();
    const int row = nextPendingRow(run_.schedule());
    if (row >= 0) scheduleTable_->selectRow(row);
    return row;
}

void TfChargBD::showNotice(MessageKind kind, const QString& text) {
    appendLogLine(messages_,
                  QTime::currentTime().toString(QStringLiteral("HH:mm:ss")) + QStringLiteral(" * ") + text,
                  kind == MessageKind::Information ? LineColour::Black : LineColour::Red, kMaxViewLines);
}

void TfChargBD::onAlarm() {
    if (!alarmOn_) {
        alarmOn_ = true;
        alarmLit_ = false;
        toggleAlarmLight();
        alarmBlinkTimer_.start(blinkIntervalMs);
    }
    if (run_.tuning.sound) sound_->play(root_.file(folder::Sound, settings_.tuning.soundFile));
    emit alarmRaised();
}

void TfChargBD::toggleAlarmLight() {
    alarmLit_ = !alarmLit_;
    alarmIndicator_->setStyleSheet(alarmLit_ ? QStringLiteral("background-color: red;") : QString());
}

void TfChargBD::silenceAlarm() {
    alarmBlinkTimer_.stop();
    sound_->stop();
    alarmOn_ = false;
    alarmLit_ = false;
    alarmIndicator_->setStyleSheet(QString());
}

void TfChargBD::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    run_.setTimersRunning(true);
    showState();
}

void TfChargBD::setClock(Clock& clock) {
    closeWaitTimer_.setClock(clock);
    closeWaitTimer_.setSingleShot(true);
    board_->setClock(clock);
}

void TfChargBD::closeEvent(QCloseEvent* event) {
    if (closeWaitTimer_.isActive()) {
        // Already waiting for the run: a second close changes nothing.
        event->ignore();
        return;
    }
    if (run_.running() && !closeWaitRanOut_) {
        // The point in hand ends in order (hang-up, what was read stored) before the console goes: the
        // run is asked to stop, and the console goes when it reports finished.
        run_.stop();
        if (run_.running()) {
            closeWaitTimer_.start(closeWaitMs);
            event->ignore();
            return;
        }
    }
    // A run that never ended is left to its timers: the console goes, the run is not cut short.
    if (!run_.running()) run_.setTimersRunning(false);
    closeWaitRanOut_ = false;
    silenceAlarm();
    closeWindowsOpenedHere();
    event->accept();
    emit closed();
}

void TfChargBD::closeAfterRun() {
    // The wait is over either way: the run has ended, or it has had its time.
    closeWaitRanOut_ = run_.running();
    closeWaitTimer_.stop();
    close();
}

} // namespace tarn::polling
