// The polling console, the group configurator and the group start window, offscreen, over a run on a fake
// port; and the main window's way into the console and duty mode.
#include "database/JoinTable.h"
#include "database/PointClaims.h"
#include "database/Registry.h"
#include "link/FakeSerialPort.h"
#include "polling/ViewerRefresh.h"
#include "polling/windows/TfChargBD.h"
#include "polling/windows/TfGroupStart.h"
#include "polling/windows/TfSet_Gr.h"
#include "shell/AppContext.h"
#include "shell/DatabaseChoice.h"
#include "shell/windows/TMenuCorr.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QBrush>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimeEdit>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::polling;

namespace {

const QString kBoilers = QStringLiteral("Котельні");

// An installation with its database, the program's context on a fake port (no device exists, so every
// port fails to open) and the polling run the console shows, on the clock given (the system's timers
// under a chosen wall time, or a manual clock).
template <class TestClock> struct RigOn {
    test::TempHome home;
    test::RecordingNotifier notifier;
    TestClock clock;
    shell::AppContext ctx{home.root(), notifier, std::make_unique<link::FakeSerialPort>(), clock};
    std::unique_ptr<PollingRun> run;

    RigOn() {
        database::writeMissingSchemaFiles(home.root());
        ctx.schemas = database::loadSchemas(home.root());
        run = std::make_unique<PollingRun>(ctx.pollingParts(), kRussian);
    }
    void addPoint(const QString& serial) {
        database::Point p;
        p.identifier = QStringLiteral("t") + serial;
        p.serial = serial;
        p.model = QStringLiteral("ТАРН-2.01");
        p.config[database::config::Owner] = QStringLiteral("Облгаз");
        p.config[database::config::LinkKind] = QStringLiteral("прямое соединение");
        p.config[database::config::Port] = QStringLiteral("COM9");
        p.config[database::config::Flags] = QStringLiteral("11100001000");
        ASSERT_TRUE(database::Registry(home.root(), ctx.schemas).add(p));
    }
    // A group of the second point, saved as the configurator saves it.
    QString addGroup(const QStringList& lines) {
        Group g;
        g.name = kBoilers;
        g.schedule = {QStringLiteral("08:00-12:00-01:00")};
        g.flags = QStringLiteral("0110000000");
        for (int i = 0; i < lines.size(); ++i)
            g.members.append({i == 1, lines.at(i)});
        const GroupSaveResult r = saveGroup(home.root(), {QString(), QString(), g}, kRussian,
                                            QDateTime(QDate(2024, 3, 7), QTime(9, 0)), {});
        EXPECT_TRUE(r.error.isEmpty()) << r.error.toStdString();
        return r.file;
    }
    std::unique_ptr<TfChargBD> console(int language = kRussian) {
        return std::make_unique<TfChargBD>(*run, home.root(), notifier, language);
    }
};
using Rig = RigOn<test::WallClockAt>;

QString lastLine(const QPlainTextEdit* view) {
    return view->document()->lastBlock().text();
}
QColor lastColour(const QPlainTextEdit* view) {
    return view->document()->lastBlock().begin().fragment().charFormat().foreground().color();
}
int lines(const QPlainTextEdit* view) {
    return view->document()->isEmpty() ? 0 : view->document()->blockCount();
}

// Another workstation's poller holding some points on the shared server database.
class PointsHeldElsewhere final : public database::PointClaims {
public:
    QString claimer() const override { return QStringLiteral("desk:1"); }
    int leaseSeconds() const override { return 300; }
    database::ClaimAnswer claim(const QString& point, const QString&) override {
        ++claims;
        if (held.contains(point)) return {database::ClaimAnswer::Outcome::Held, held.value(point), {}};
        return {};
    }
    bool renew(const QString&) override { return true; }
    bool finish(const QString&, const QString&) override { return true; }
    void release(const QString&) override {}
    QString holder(const QString& point) override { return held.value(point); }
    QHash<QString, QString> heldByOthers() override {
        ++listQuestions;
        QHash<QString, QString> all;
        for (auto it = held.cbegin(); it != held.cend(); ++it)
            all.insert(it.key(), it.value());
        return all;
    }

    QMap<QString, QString> held; // point: its holder
    int claims = 0;
    int listQuestions = 0;
};

} // namespace

TEST(PollingConsole, APointAnotherPollerHoldsIsBusyInItsMenuAndItsPoll) {
    Rig rig;
    rig.addPoint(QStringLiteral("12345"));
    rig.addPoint(QStringLiteral("54321"));
    PointsHeldElsewhere elsewhere;
    elsewhere.held.insert(QStringLiteral("t12345"), QStringLiteral("poller-2:88"));
    PollingRun::Parts parts = rig.ctx.pollingParts();
    parts.claims = &elsewhere;
    rig.run = std::make_unique<PollingRun>(parts, kRussian);
    for (const int language : {kRussian, kUkrainian}) {
        auto console = rig.console(language);
        const QString busy =
            language == kRussian ? QStringLiteral("Занято !!!") : QStringLiteral("Зайнято !!!");
        // The menu opens on the point under the mouse: the first row, at the list's corner.
        console->pointList()->setCurrentRow(0);
        ASSERT_EQ(rig.run->selected, 0);
        emit console->pointList()->customContextMenuRequested(QPoint());
        EXPECT_EQ(rig.notifier.texts().last(), busy);
        // Refused before the question: the user is not asked to start what cannot start.
        const auto questions = rig.notifier.questions.size();
        EXPECT_FALSE(console->pollSelectedPoint());
        EXPECT_EQ(rig.notifier.texts().last(), busy);
        EXPECT_EQ(rig.notifier.questions.size(), questions);
        EXPECT_FALSE(rig.run->running());
    }
    // A free point is asked about as ever; the menu's check only asked, it claimed nothing.
    EXPECT_EQ(elsewhere.claims, 0);
    auto console = rig.console();
    console->pointList()->setCurrentRow(1);
    EXPECT_FALSE(console->pollSelectedPoint()); // the user says no
    ASSERT_FALSE(rig.notifier.questions.isEmpty());
    EXPECT_EQ(rig.notifier.questions.last(),
              QStringLiteral("запустить опрос корректора - ТАРН-2.01   №54321"));
}

// The point list marks what another poller holds, in both languages, as the 1-s cycle learns it: one
// question of the claims per cycle however long the list, the list's lines rewritten only when the
// answer changed, and a point given back unmarked on the next cycle.
TEST(PollingConsole, ThePointListMarksPointsAnotherPollerHoldsOnTheCycle) {
    Rig rig;
    rig.addPoint(QStringLiteral("12345"));
    rig.addPoint(QStringLiteral("54321"));
    rig.addPoint(QStringLiteral("77777"));
    PointsHeldElsewhere elsewhere;
    PollingRun::Parts parts = rig.ctx.pollingParts();
    parts.claims = &elsewhere;
    for (const int language : {kRussian, kUkrainian}) {
        elsewhere.held.clear();
        rig.run = std::make_unique<PollingRun>(parts, language);
        rig.run->setTimersRunning(false);
        auto console = rig.console(language);
        const QString busy =
            language == kRussian ? QStringLiteral("Занято !!!") : QStringLiteral("Зайнято !!!");
        QListWidget* list = console->pointList();
        ASSERT_EQ(list->count(), 3);
        const QStringList lines = rig.run->pointLines();
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(list->item(i)->text(), lines.at(i));

        // Taken by a poller on another workstation: marked after the line's last column, with its name.
        elsewhere.held.insert(QStringLiteral("t54321"), QStringLiteral("poller-2:88"));
        const int asked = elsewhere.listQuestions;
        rig.run->cycle();
        EXPECT_EQ(elsewhere.listQuestions, asked + 1);
        EXPECT_EQ(list->item(1)->text(),
                  lines.at(1) + QStringLiteral("  ") + busy + QStringLiteral("  poller-2:88"));
        EXPECT_EQ(rig.run->pointListText(1), list->item(1)->text());
        EXPECT_TRUE(list->item(1)->text().startsWith(lines.at(1)));
        EXPECT_EQ(list->item(0)->text(), lines.at(0));
        EXPECT_EQ(list->item(2)->text(), lines.at(2));

        // The same answer again changes nothing in the list: a check mark set meanwhile stays.
        const int revision = rig.run->heldElsewhereRevision();
        list->item(2)->setCheckState(Qt::Checked);
        rig.run->cycle();
        EXPECT_EQ(rig.run->heldElsewhereRevision(), revision);
        EXPECT_EQ(list->item(2)->checkState(), Qt::Checked);

        // Given back, taken by another: the marks follow on the next cycle.
        elsewhere.held.clear();
        elsewhere.held.insert(QStringLiteral("t12345"), QStringLiteral("poller-3:7"));
        rig.run->cycle();
        EXPECT_EQ(list->item(1)->text(), lines.at(1));
        EXPECT_TRUE(list->item(0)->text().endsWith(busy + QStringLiteral("  poller-3:7")));
        // A reloaded list keeps the marks it knows.
        console->reload();
        EXPECT_TRUE(list->item(0)->text().endsWith(busy + QStringLiteral("  poller-3:7")));
        EXPECT_EQ(list->item(1)->text(), lines.at(1));
    }
}

// The single poller of table files has nobody else to ask about: its list is never marked, and no
// question goes anywhere.
TEST(PollingConsole, OnTableFilesThePointListIsNeverMarked) {
    Rig rig;
    rig.addPoint(QStringLiteral("12345"));
    rig.run->setTimersRunning(false);
    auto console = rig.console();
    rig.run->cycle();
    EXPECT_EQ(rig.run->heldElsewhereRevision(), 0);
    EXPECT_EQ(console->pointList()->item(0)->text(), rig.run->pointLines().at(0));
}

TEST(PollingConsole, ListsPointsAndGroupsAndStartsAGroupFromTheChosenMember) {
    Rig rig;
    rig.addPoint(QStringLiteral("12345"));
    rig.addPoint(QStringLiteral("54321"));
    const QString file = rig.addGroup(database::Registry(rig.home.root(), rig.ctx.schemas).pollingList());
    auto console = rig.console();
    EXPECT_EQ(console->windowTitle(), QStringLiteral("БД"));
    ASSERT_EQ(console->pointList()->count(), 2);
    EXPECT_EQ(console->pointList()->item(1)->text(), rig.run->pointLines().at(1));
    ASSERT_EQ(console->groupList()->count(), 1);
    EXPECT_EQ(console->groupList()->item(0)->text(),
              QStringLiteral("Котельні            /08:00-12:00-01:00/"));
    EXPECT_EQ(console->field(TfChargBD::Field::State)->text(), QStringLiteral("опросы выключены"));

    // No point selected: the run refuses.
    console->pointPollAction()->trigger();
    EXPECT_EQ(rig.notifier.texts().last(), QStringLiteral("Не выбран прибор!!!"));
    console->pointList()->setCurrentRow(0);
    EXPECT_EQ(rig.run->selected, 0);
    EXPECT_FALSE(console->pollSelectedPoint()); // the user says no
    EXPECT_EQ(rig.notifier.questions.last(),
              QStringLiteral("запустить опрос корректора - ТАРН-2.01   №12345"));

    // Choosing the group checks its member; a check by hand reaches the run.
    console->groupList()->setCurrentRow(0);
    EXPECT_EQ(rig.run->checks(), (QList<bool>{false, true}));
    EXPECT_EQ(console->pointList()->item(1)->checkState(), Qt::Checked);
    console->pointList()->item(0)->setCheckState(Qt::Checked);
    EXPECT_EQ(rig.run->checks(), (QList<bool>{true, true}));

    TfGroupStart* start = console->openGroupStart();
    ASSERT_TRUE(start);
    ASSERT_EQ(start->memberList()->count(), 1);
    EXPECT_EQ(start->memberList()->item(0)->text(), QStringLiteral("  1  ") + rig.run->pointLines().at(1));
    EXPECT_FALSE(start->resumeButton()->isEnabled());
    EXPECT_TRUE(start->firstButton()->isChecked());
    start->close();

    // A run stopped in an emergency goes on from the member its stop file names.
    rig.home.write(folder::Group, file + QStringLiteral(".err"),
                   file.toLatin1() + "\r\nboilers\r\nline\r\nt54321\r\n");
    start = console->openGroupStart();
    ASSERT_TRUE(start);
    EXPECT_TRUE(start->resumeButton()->isEnabled());
    EXPECT_TRUE(start->resumeButton()->isChecked());
    EXPECT_EQ(start->choice().resumePoint, 1);
    EXPECT_FALSE(start->startRun());
    EXPECT_EQ(
        rig.notifier.questions.last(),
        QStringLiteral("запустить опрос группы \"Котельні\" начать с корректора: \"ТАРН-2.01   №54321\""));
    rig.notifier.answer = true;
    ASSERT_TRUE(start->startRun());
    EXPECT_EQ(rig.run->mode(), PollMode::Group);
    EXPECT_EQ(console->field(TfChargBD::Field::State)->text(), QStringLiteral("выборочный опрос - группа"));
    EXPECT_TRUE(console->field(TfChargBD::Field::State)->styleSheet().contains(QStringLiteral("blue")));
    EXPECT_FALSE(console->schedulePollAction()->isEnabled());
    EXPECT_FALSE(console->newGroupButton()->isEnabled());
    emit console->groupList()->customContextMenuRequested(QPoint());
    EXPECT_EQ(rig.notifier.texts().last(), QStringLiteral("Занято !!!"));
    {
        // The same answer in the other language, from the point list this time.
        const std::unique_ptr<TfChargBD> ukrainian = rig.console(kUkrainian);
        emit ukrainian->pointList()->customContextMenuRequested(QPoint());
        EXPECT_EQ(rig.notifier.texts().last(), QStringLiteral("Зайнято !!!"));
    }
    EXPECT_TRUE(rig.run->running());

    // Closing the console stops the run in order first; the run's own short timers take it there.
    rig.run->stepIntervalMs = 1;
    rig.run->cycleIntervalMs = 5;
    console->show();
    console->close();
    ASSERT_TRUE(test::waitUntil([&console] { return !console->isVisible(); }));
    EXPECT_FALSE(rig.run->running());
    EXPECT_TRUE(lastLine(console->sequenceView()).endsWith(QStringLiteral("*СТОП ОПРОС*")));
}

// Closing the console during a run asks the run to stop and does not block: the console stays while the
// point in hand ends in order and goes when the run reports finished; a run that never reports it is
// left running once the wait has run out. The time is the manual clock's.
TEST(PollingConsole, ClosingDuringARunGoesWhenTheRunHasFinishedOrWhenTheWaitRunsOut) {
    for (const bool runEnds : {true, false}) {
        SCOPED_TRACE(runEnds ? "the run ends" : "the run never ends");
        RigOn<ManualClock> rig;
        rig.addPoint(QStringLiteral("12345"));
        rig.addPoint(QStringLiteral("54321"));
        rig.addGroup(database::Registry(rig.home.root(), rig.ctx.schemas).pollingList());
        auto console = rig.console();
        console->setClock(rig.clock);
        int closedSignals = 0;
        QObject::connect(console.get(), &TfChargBD::closed, [&closedSignals] { ++closedSignals; });
        ASSERT_TRUE(rig.run->startGroup(0));
        console->show();
        if (!runEnds) rig.run->setTimersRunning(false);

        EXPECT_FALSE(console->close());
        EXPECT_TRUE(console->isVisible());
        EXPECT_TRUE(console->closeWaiting());
        EXPECT_TRUE(rig.run->running());
        EXPECT_FALSE(console->close()) << "a second close while waiting changes nothing";
        EXPECT_EQ(closedSignals, 0);

        if (runEnds) {
            ASSERT_TRUE(rig.clock.runUntil([&console] { return !console->isVisible(); }));
            EXPECT_LT(rig.clock.monotonicMs(), console->closeWaitMs)
                << "closed by the run's end, not the wait";
            EXPECT_FALSE(rig.run->running());
            EXPECT_TRUE(lastLine(console->sequenceView()).endsWith(QStringLiteral("*СТОП ОПРОС*")));
        } else {
            rig.clock.advance(console->closeWaitMs - 1);
            EXPECT_TRUE(console->isVisible());
            rig.clock.advance(1);
            EXPECT_FALSE(console->isVisible());
            EXPECT_TRUE(rig.run->running()) << "the run is left to end by itself";
        }
        EXPECT_FALSE(console->closeWaiting());
        EXPECT_EQ(closedSignals, 1);
    }
}

TEST(PollingConsole, OnASynchronisedCopyShowsTheRefreshCountdownInsteadOfGroupPolling) {
    Rig rig;
    QDateTime now(QDate(2026, 12, 10), QTime(7, 0, 20));
    int synchronised = 0;
    ViewerRefresh::Steps steps;
    steps.now = [&now] { return now; };
    steps.synchronise = [&synchronised] {
        ++synchronised;
        return ViewerSyncOutcome{};
    };
    ViewerRefresh refresh(rig.home.root(), rig.notifier, steps);
    ASSERT_TRUE(saveViewerCycleSettings(rig.home.root(), {true, 2, 1}));
    // 06:59:50 at 07:00:20: later in its hour than now, and 30 s ago.
    ASSERT_TRUE(saveLastSynchronisation(rig.home.root(), QDateTime(QDate(2026, 12, 10), QTime(6, 59, 50))));
    // A Wait marker that cannot be deleted nor written: a folder in its place.
    ASSERT_TRUE(QDir().mkpath(rig.home.path(folder::Synchr, QStringLiteral("Wait.000"))));
    auto console = rig.console();
    console->setViewerRefresh(&refresh);

    using C = TfChargBD::Countdown;
    for (QAction* a : {console->groupPollAction(), console->pointPollAction(), console->stopAction()})
        EXPECT_FALSE(a->isVisible()) << a->text().toStdString();
    EXPECT_TRUE(console->configureButton()->isHidden());
    EXPECT_TRUE(console->scheduleBox()->isHidden());
    EXPECT_FALSE(console->viewerPanel()->isHidden());
    EXPECT_EQ(console->countdownLabel(C::Wait)->text(), QStringLiteral("время (мин.) до-\"Wait.000\""));
    EXPECT_EQ(console->countdownLabel(C::Start)->text(), QStringLiteral("время (мин.) до-\"Start.000\""));
    EXPECT_EQ(console->sinceLastSynchronisation()->text(), QStringLiteral("0:00:30"));
    EXPECT_EQ(std::make_pair(console->countdownMinutes(C::Wait)->text(),
                             console->countdownSeconds(C::Wait)->text()),
              std::make_pair(QStringLiteral("0"), QStringLiteral("30")));
    EXPECT_EQ(std::make_pair(console->countdownMinutes(C::Start)->text(),
                             console->countdownSeconds(C::Start)->text()),
              std::make_pair(QStringLiteral("1"), QStringLiteral("30")));
    EXPECT_FALSE(console->schedulePollAction()->isEnabled());
    EXPECT_TRUE(console->viewerTimerActive());
    ASSERT_EQ(rig.notifier.texts().size(), 1);
    EXPECT_TRUE(rig.notifier.texts().first().startsWith(QStringLiteral("ошибка удаления файла ")));

    const auto tick = [&](int seconds) {
        for (int i = 0; i < seconds; ++i) {
            now = now.addSecs(1);
            console->viewerTick();
        }
    };
    tick(29);
    EXPECT_TRUE(
        lastLine(console->messageView()).endsWith(QStringLiteral("Ошибка создания файла \"Wait.000\"")));
    EXPECT_EQ(lastColour(console->messageView()), QColor(Qt::red));
    EXPECT_EQ(console->countdownSeconds(C::Wait)->text(), QStringLiteral("1"));
    EXPECT_EQ(console->countdownMinutes(C::Start)->text(), QStringLiteral("1"));
    EXPECT_EQ(console->countdownSeconds(C::Start)->text(), QStringLiteral("1"));
    tick(60);
    EXPECT_EQ(synchronised, 0);
    tick(1);
    EXPECT_EQ(synchronised, 1);
    // The next cycle counts from the synchronisation that has just begun.
    EXPECT_EQ(console->sinceLastSynchronisation()->text(), QStringLiteral("0:00:00"));
    EXPECT_EQ(console->countdownMinutes(C::Start)->text(), QStringLiteral("2"));
    EXPECT_TRUE(console->viewerTimerActive());

    // Switched off: the timer stops at its next tick; saved, the countdowns go and the button synchronises.
    ASSERT_TRUE(saveViewerCycleSettings(rig.home.root(), {false, 2, 1}));
    tick(1);
    EXPECT_FALSE(console->viewerTimerActive());
    EXPECT_EQ(synchronised, 1);
    console->restartViewerCycle();
    EXPECT_TRUE(console->countdownLabel(C::Start)->isHidden());
    EXPECT_TRUE(console->countdownMinutes(C::Wait)->parentWidget()->isHidden());
    EXPECT_FALSE(console->sinceLastSynchronisation()->isHidden());
    ASSERT_TRUE(console->schedulePollAction()->isEnabled());
    console->schedulePollAction()->trigger();
    EXPECT_EQ(synchronised, 2);
    EXPECT_FALSE(console->viewerTimerActive());
    // Switched on again and saved: the cycle runs.
    ASSERT_TRUE(saveViewerCycleSettings(rig.home.root(), {true, 2, 1}));
    console->restartViewerCycle();
    EXPECT_TRUE(console->viewerTimerActive());
    EXPECT_FALSE(console->schedulePollAction()->isEnabled());
    EXPECT_FALSE(console->countdownLabel(C::Start)->isHidden());
}

TEST(GroupConfigurator, RefusesAnOverlappingWindowSavesAndDeletesTheGroup) {
    Rig empty;
    auto none = empty.console();
    EXPECT_EQ(none->openConfigurator(true), nullptr);
    EXPECT_EQ(empty.notifier.texts().last(), QStringLiteral("Нет зарегистрированных приборов!!!"));

    Rig rig;
    rig.addPoint(QStringLiteral("12345"));
    rig.addPoint(QStringLiteral("54321"));
    auto console = rig.console();
    EXPECT_EQ(console->openConfigurator(true), nullptr);
    EXPECT_EQ(rig.notifier.texts().last(), QStringLiteral("Нет отмеченных приборов!!!"));
    console->pointList()->item(0)->setCheckState(Qt::Checked);

    TfSet_Gr* set = console->openConfigurator(true);
    ASSERT_TRUE(set);
    EXPECT_EQ(set->windowTitle(), QStringLiteral("Конфигуратор параметров группового опроса"));
    EXPECT_TRUE(set->nameEdit()->text().isEmpty());
    EXPECT_EQ(set->windowGrid()->rowCount(), 0);
    EXPECT_EQ(set->beginEdit()->text(), QStringLiteral("00:00"));
    set->beginEdit()->setTime(QTime(8, 0));
    set->endEdit()->setTime(QTime(12, 0));
    set->periodEdit()->setTime(QTime(1, 0));
    ASSERT_TRUE(set->addWindow());
    set->beginEdit()->setTime(QTime(10, 0));
    set->endEdit()->setTime(QTime(11, 0));
    EXPECT_FALSE(set->addWindow());
    EXPECT_EQ(rig.notifier.texts().last(), QStringLiteral("Ошибка набора времени ! 11:00"));
    EXPECT_EQ(set->windows(), QStringList{QStringLiteral("08:00-12:00-01:00")});
    set->itemBox(0)->setChecked(true);
    set->itemBox(8)->setChecked(true);
    EXPECT_EQ(set->flags(), QStringLiteral("0100000001"));
    set->nameEdit()->setText(kBoilers);
    ASSERT_TRUE(set->save());

    ASSERT_EQ(console->groupList()->count(), 1);
    EXPECT_EQ(console->groupList()->item(0)->text(),
              QStringLiteral("Котельні            /08:00-12:00-01:00/"));
    const Group saved = loadGroup(rig.home.root(), rig.run->groups().at(0).file);
    EXPECT_EQ(saved.memberIdentifiers(), QStringList{QStringLiteral("t12345")});
    EXPECT_EQ(saved.flags, QStringLiteral("0100000001"));
    console->scheduleBox()->setChecked(true);
    EXPECT_EQ(console->scheduleTable()->rowCount(), 4); // one row per hour of the window
    EXPECT_EQ(console->scheduleTable()->item(0, 2)->text(), QStringLiteral("08:00"));
    EXPECT_EQ(console->scheduleTitle()->text(), rig.run->schedule().title());

    // The group opened again shows what was saved; deleting it asks, then empties the list.
    console->groupList()->setCurrentRow(0);
    set = console->openConfigurator(false);
    ASSERT_TRUE(set);
    EXPECT_EQ(set->nameEdit()->text(), kBoilers);
    EXPECT_EQ(set->windowGrid()->rowCount(), 1);
    EXPECT_TRUE(set->itemBox(8)->isChecked());
    rig.notifier.answer = true;
    ASSERT_TRUE(set->removeGroup());
    EXPECT_EQ(rig.notifier.questions.last(), QStringLiteral("Удалить?"));
    EXPECT_EQ(console->groupList()->count(), 0);
    EXPECT_TRUE(loadGroupList(rig.home.root()).isEmpty());
}

TEST(PollingConsole, RedLinesRaiseTheAlarmAndTheViewsAreKeptShort) {
    Rig rig;
    rig.addPoint(QStringLiteral("12345"));
    auto console = rig.console();
    int raised = 0;
    QObject::connect(console.get(), &TfChargBD::alarmRaised, [&raised] { ++raised; });
    console->pointList()->setCurrentRow(0);
    rig.notifier.answer = true;
    ASSERT_TRUE(console->pollSelectedPoint());
    EXPECT_FALSE(console->pointPollAction()->isEnabled());
    // The point's port does not open: the point fails, told in red in both views.
    for (int i = 0; i < 20 && rig.run->running(); ++i)
        rig.run->tick();
    EXPECT_FALSE(rig.run->running());
    EXPECT_EQ(lastColour(console->messageView()), QColor(Qt::red));
    EXPECT_TRUE(lastLine(console->messageView()).contains(QStringLiteral("ошибка порта!!! COM9")));
    const QTextDocument* sequence = console->sequenceView()->document();
    bool redFailure = false;
    for (QTextBlock b = sequence->begin(); b.isValid(); b = b.next())
        if (b.text().contains(QStringLiteral("*БРАК*  прибора")))
            redFailure = b.begin().fragment().charFormat().foreground().color() == QColor(Qt::red);
    EXPECT_TRUE(redFailure);
    EXPECT_TRUE(console->alarmOn());
    EXPECT_GE(raised, 1);
    EXPECT_TRUE(console->alarmIndicator()->styleSheet().contains(QStringLiteral("red")));
    EXPECT_TRUE(console->pointPollAction()->isEnabled());
    console->soundOffAction()->trigger();
    EXPECT_FALSE(console->alarmOn());
    EXPECT_TRUE(console->alarmIndicator()->styleSheet().isEmpty());

    // A view holds at most 1000 lines: the next one finds it cleared.
    console->clearAction()->trigger();
    EXPECT_EQ(rig.notifier.questions.last(), QStringLiteral("Окна просмотра очистить?"));
    EXPECT_EQ(lines(console->messageView()), 0);
    for (int i = 1; i <= TfChargBD::kMaxViewLines; ++i)
        emit rig.run->message(QString::number(i), LineColour::Blue);
    EXPECT_EQ(lines(console->messageView()), 1000);
    EXPECT_EQ(lastColour(console->messageView()), QColor(Qt::blue));
    emit rig.run->message(QStringLiteral("1001"), LineColour::Black);
    EXPECT_EQ(lines(console->messageView()), 1);
    EXPECT_EQ(lastLine(console->messageView()), QStringLiteral("1001"));
    EXPECT_EQ(console->messageView()->font().family(), QStringLiteral("Courier New"));
}

TEST(MainWindow, ASynchronisedCopySynchronisesStartsTheDatabaseAndCountsDownInTheConsole) {
    test::TempHome home;
    test::TempHome master;
    master.root().createFolders();
    QFile program(QDir(master.root().root()).filePath(QStringLiteral("Tarn_B.exe")));
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.close();
    master.write(folder::Param, QStringLiteral("p_12345.000"), "master\r\n");
    home.root().createFolders();
    home.write(folder::Work, QStringLiteral("SynDir.000"), "1*Param\\*p_12345.000\r\n");
    ASSERT_TRUE(saveViewerCycleSettings(home.root(), {true, 30, 25}));
    test::RecordingNotifier notifier;
    shell::AppContext ctx{home.root(), notifier, std::make_unique<link::FakeSerialPort>()};
    shell::TMenuCorr menu(ctx);
    menu.waitDelayMs = 1;
    menu.show();
    menu.Timer_InitProgTimer();
    EXPECT_FALSE(menu.viewerRefresh());
    EXPECT_FALSE(menu.pollingConsole());

    // "Синхронизация" ticked and saved: the synchronisation, the database again, the console counting.
    ctx.settings().syncOn = true;
    ctx.settings().syncPath = master.root().root();
    menu.startViewer();
    EXPECT_EQ(home.read(folder::Param, QStringLiteral("p_12345.000")), QByteArray("master\r\n"));
    EXPECT_TRUE(ctx.databaseOpen);
    EXPECT_TRUE(loadLastSynchronisation(home.root()));
    TfChargBD* console = menu.pollingConsole();
    ASSERT_TRUE(console);
    ASSERT_TRUE(menu.viewerRefresh());
    EXPECT_EQ(console->viewerRefresh(), menu.viewerRefresh());
    EXPECT_TRUE(console->viewerTimerActive());
    EXPECT_FALSE(console->groupPollAction()->isVisible());
    // The countdown starts at the cycle's 30 minutes and shows what the refresh counts (a second's tick
    // may already have gone by on a busy machine).
    const int shownLeft = console->countdownMinutes(TfChargBD::Countdown::Start)->text().toInt() * 60 +
                          console->countdownSeconds(TfChargBD::Countdown::Start)->text().toInt();
    EXPECT_EQ(shownLeft, menu.viewerRefresh()->startLeft());
    EXPECT_GT(shownLeft, 29 * 60);
    EXPECT_LE(shownLeft, 30 * 60);

    // Cleared again: a polling console once more.
    ctx.settings().syncOn = false;
    menu.startViewer();
    EXPECT_FALSE(console->viewerRefresh());
    EXPECT_FALSE(console->viewerTimerActive());
    EXPECT_TRUE(console->groupPollAction()->isVisible());
    EXPECT_TRUE(notifier.messages.isEmpty()) << notifier.texts().join(QLatin1Char('|')).toStdString();
}

TEST(MainWindow, OpensThePollingConsoleAndGoesIntoDutyModeAndBackOnAnAlarm) {
    test::TempHome home;
    test::RecordingNotifier notifier;
    shell::AppContext ctx{home.root(), notifier, std::make_unique<link::FakeSerialPort>()};
    shell::TMenuCorr menu(ctx);
    menu.waitDelayMs = 1;
    menu.show();
    menu.Timer_InitProgTimer();
    ASSERT_TRUE(menu.pollingAction()->isVisible());
    EXPECT_EQ(menu.pollingAction()->text(), QStringLiteral("Опитування"));
    menu.pollingAction()->trigger();
    ASSERT_TRUE(menu.pollingConsole());
    EXPECT_TRUE(menu.pollingConsole()->isVisible());
    EXPECT_EQ(menu.pollingConsole()->windowTitle(), QStringLiteral("БД"));

    menu.pollingConsole()->dutyAction()->trigger();
    EXPECT_TRUE(menu.dutyMode());
    // Unattended, a message is a line of the console, not a box no one would close.
    const qsizetype boxes = notifier.messages.size();
    ctx.notifier().message(MessageKind::Warning, QStringLiteral("Нет заданий"));
    EXPECT_EQ(notifier.messages.size(), boxes);
    EXPECT_TRUE(
        menu.pollingConsole()->messageView()->toPlainText().endsWith(QStringLiteral(" * Нет заданий")));
    emit menu.pollingRun()->alarm();
    EXPECT_FALSE(menu.dutyMode());
    ctx.notifier().message(MessageKind::Warning, QStringLiteral("Нет заданий"));
    EXPECT_EQ(notifier.messages.size(), boxes + 1);
    EXPECT_TRUE(menu.pollingConsole()->isVisible());
    menu.pollingConsole()->silenceAlarm();

    // "$d": the day's schedule runs at once (a group polled all day long) and the windows go away.
    Group allDay;
    allDay.name = kBoilers;
    allDay.schedule = {QStringLiteral("00:00-00:00-00:00")};
    ASSERT_TRUE(
        saveGroup(home.root(), {QString(), QString(), allDay}, kRussian, QDateTime::currentDateTime(), {})
            .error.isEmpty());
    menu.applyStartSwitches(shell::parseCommandLine({QStringLiteral("Tarn_B"), QStringLiteral("$d")}));
    EXPECT_EQ(menu.pollingRun()->mode(), PollMode::Schedule);
    EXPECT_TRUE(menu.dutyMode());
    // Ending the program ends the run first.
    menu.exitProgram();
    EXPECT_FALSE(menu.pollingRun()->running());
}

// The program ends after the console: closing the main window while a point is polled waits for the
// run's orderly end, then the console goes and the program ends.
TEST(MainWindow, EndsOnceTheConsoleHasGoneAfterItsRun) {
    test::TempHome home;
    test::RecordingNotifier notifier;
    ManualClock clock;
    shell::AppContext ctx{home.root(), notifier, std::make_unique<link::FakeSerialPort>(), clock};
    shell::TMenuCorr menu(ctx);
    bool ended = false;
    QObject::connect(&menu, &shell::TMenuCorr::ended, [&ended] { ended = true; });
    menu.waitDelayMs = 1;
    menu.show();
    menu.Timer_InitProgTimer();
    ASSERT_TRUE(ctx.databaseOpen);
    database::Point p;
    p.identifier = QStringLiteral("t12345");
    p.serial = QStringLiteral("12345");
    p.model = QStringLiteral("ТАРН-2.01");
    p.config[database::config::LinkKind] = QStringLiteral("прямое соединение");
    p.config[database::config::Port] = QStringLiteral("COM9");
    p.config[database::config::Flags] = QStringLiteral("11100001000");
    ASSERT_TRUE(database::Registry(home.root(), ctx.schemas).add(p));
    TfChargBD* console = menu.openPollingConsole();
    ASSERT_TRUE(console);
    ASSERT_TRUE(menu.pollingRun()->startPoint(0));

    EXPECT_FALSE(menu.close());
    EXPECT_FALSE(ended);
    EXPECT_TRUE(console->closeWaiting());
    EXPECT_TRUE(menu.pollingRun()->running());
    ASSERT_TRUE(clock.runUntil([&ended] { return ended; }));
    EXPECT_LT(clock.monotonicMs(), console->closeWaitMs);
    EXPECT_FALSE(menu.pollingRun()->running());
    EXPECT_FALSE(console->isVisible());
    EXPECT_FALSE(menu.isVisible());
}

// The database chosen again while Tarn_B runs (tarn-cli db use on this installation, then "СОХРАНИТЬ"
// in the settings window starts the database again): nothing goes on with the old storage. The run in
// hand ends in order and starts nothing more, the database is off with one message saying to restart,
// and the storage the windows were given is still the one object they hold. The choice undone, all is
// as before.
TEST(MainWindow, ADatabaseChosenAgainWhileRunningWaitsForARestart) {
    test::TempHome home;
    test::RecordingNotifier notifier;
    ManualClock clock;
    shell::AppContext ctx{home.root(), notifier, std::make_unique<link::FakeSerialPort>(), clock};
    shell::TMenuCorr menu(ctx);
    menu.waitDelayMs = 1;
    menu.show();
    menu.Timer_InitProgTimer();
    ASSERT_TRUE(ctx.databaseOpen);
    EXPECT_TRUE(ctx.restartToSwitchDatabase);
    database::Point p;
    p.identifier = QStringLiteral("t12345");
    p.serial = QStringLiteral("12345");
    p.model = QStringLiteral("ТАРН-2.01");
    p.config[database::config::LinkKind] = QStringLiteral("прямое соединение");
    p.config[database::config::Port] = QStringLiteral("COM9");
    p.config[database::config::Flags] = QStringLiteral("11100001000");
    ASSERT_TRUE(database::Registry(home.root(), ctx.schemas).add(p));
    TfChargBD* console = menu.openPollingConsole();
    ASSERT_TRUE(console);
    database::Storage* given = &ctx.storage();
    ASSERT_TRUE(menu.pollingRun()->startPoint(0));

    // No server answers in this folder: the new choice is not even tried before a restart.
    QTemporaryDir noServer;
    QString refused;
    const auto url = database::postgres::parseDatabaseUrl(
        QStringLiteral("postgresql://meter@/gas?host=%1&schema=plant").arg(noServer.path()), &refused);
    ASSERT_TRUE(url) << refused.toStdString();
    ASSERT_TRUE(shell::writeDatabaseSetting(home.root(), *url));
    const auto told = notifier.texts().size();
    ASSERT_TRUE(menu.RunInitialisation());
    EXPECT_FALSE(ctx.databaseOpen);
    EXPECT_FALSE(menu.pollingAction()->isVisible());
    EXPECT_FALSE(ctx.serverDatabase());
    EXPECT_EQ(&ctx.storage(), given);
    const QStringList said = notifier.texts().mid(told);
    ASSERT_EQ(said.size(), 1) << said.join(u'\n').toStdString();
    EXPECT_EQ(said.first(), ctx.databaseSwitchRefused());
    EXPECT_TRUE(said.first().contains(url->toString())) << said.first().toStdString();
    EXPECT_TRUE(said.first().contains(QStringLiteral("перезапуст"))) << said.first().toStdString();
    // The run ends in order, then the console goes: its configurator and views worked on the old groups.
    ASSERT_TRUE(clock.runUntil([&] { return !menu.pollingRun()->running() && !console->isVisible(); }));
    EXPECT_FALSE(menu.pollingRun()->startPoint(0));
    EXPECT_EQ(notifier.texts().last(), ctx.databaseSwitchRefused());
    EXPECT_FALSE(menu.pollingRun()->startSchedule(true));
    EXPECT_FALSE(menu.pollingRun()->running());
    // Started again on the same choice: still off, and not said again.
    const auto before = notifier.texts().size();
    ASSERT_TRUE(menu.RunInitialisation());
    EXPECT_FALSE(ctx.databaseOpen);
    EXPECT_EQ(notifier.texts().size(), before);

    // The setting removed again: the database the windows hold is the program's again.
    ASSERT_TRUE(shell::removeDatabaseSetting(home.root()));
    ASSERT_TRUE(menu.RunInitialisation());
    EXPECT_TRUE(ctx.databaseOpen);
    EXPECT_TRUE(ctx.databaseSwitchRefused().isEmpty());
    EXPECT_EQ(&ctx.storage(), given);
    EXPECT_TRUE(menu.pollingAction()->isVisible());
    EXPECT_EQ(menu.openPollingConsole(), console);
    ASSERT_TRUE(menu.pollingRun()->startPoint(0));
    menu.pollingRun()->stop();
    ASSERT_TRUE(clock.runUntil([&menu] { return !menu.pollingRun()->running(); }));
}

TEST(PollingConsole, TheDaysPointsShowTheirResultsInColourFilterAndAreReadAgainOnlyWhenSomethingChanged) {
    Rig rig;
    rig.addPoint(QStringLiteral("12345"));
    rig.addPoint(QStringLiteral("54321"));
    Group g;
    g.name = kBoilers;
    g.schedule = {QStringLiteral("08:00-12:00-01:00")};
    g.flags = QStringLiteral("0110000000");
    for (const QString& l : database::Registry(rig.home.root(), rig.ctx.schemas).pollingList())
        g.members.append({true, l});
    ASSERT_TRUE(
        saveGroup(rig.home.root(), {{}, {}, g}, kRussian, QDateTime(QDate(2024, 3, 7), QTime(9, 0)), {})
            .error.isEmpty());
    const QDateTime now(QDate::currentDate(), QTime(9, 30));
    rig.clock.setNow(now);
    const auto join = [&](const QString& id, const QTime& at, const QString& result) {
        database::JoinRow j;
        j.group = kBoilers;
        j.identifier = id;
        j.when = QDateTime(now.date(), at);
        j.mode = 3;
        j.result = result;
        ASSERT_TRUE(database::appendJoinRow(rig.home.root(), rig.ctx.schemas, j).isEmpty());
    };
    join(QStringLiteral("t12345"), QTime(9, 5), QStringLiteral("норма"));
    join(QStringLiteral("t54321"), QTime(9, 6), QStringLiteral("нет связи с модемом"));

    auto console = rig.console();
    const QAbstractItemModel* m = console->boardView()->model();
    ASSERT_EQ(m->rowCount(), 2);
    const auto cell = [m](int row, int column) { return m->index(row, column).data().toString(); };
    const auto ink = [m](int row) {
        return m->index(row, 4).data(Qt::ForegroundRole).value<QBrush>().color();
    };
    EXPECT_EQ(cell(0, 2), QStringLiteral("t12345"));
    EXPECT_EQ(cell(0, 3), QStringLiteral("09:05:00"));
    EXPECT_EQ(cell(0, 4), QStringLiteral("норма"));
    EXPECT_EQ(ink(0), QColor(Qt::blue));
    EXPECT_EQ(cell(1, 4), QStringLiteral("нет связи с модемом"));
    EXPECT_EQ(ink(1), QColor(Qt::red));
    EXPECT_EQ(cell(1, 5), QStringLiteral("09:00-10:00"));
    EXPECT_EQ(cell(1, 6), QStringLiteral("--"));

    // The one-second tick alone does not read the database again.
    const int reads = console->boardReads();
    console->showState();
    console->showState();
    EXPECT_EQ(console->boardReads(), reads);

    console->boardFilter()->setText(QStringLiteral("НЕТ СВЯЗИ"));
    ASSERT_EQ(m->rowCount(), 1);
    EXPECT_EQ(cell(0, 2), QStringLiteral("t54321"));
    console->boardFilter()->clear();
    console->failedOnlyBox()->setChecked(true);
    ASSERT_EQ(m->rowCount(), 1);
    EXPECT_EQ(cell(0, 2), QStringLiteral("t54321"));
    EXPECT_EQ(console->boardReads(), reads) << "filtering works on the rows in hand";

    // A point's end brings the board up to date at the next tick.
    join(QStringLiteral("t54321"), QTime(9, 29), QStringLiteral("норма"));
    emit rig.run->pointEnded();
    console->showState();
    EXPECT_EQ(console->boardReads(), reads + 1);
    EXPECT_EQ(m->rowCount(), 0);

    EXPECT_FALSE(console->retryFailedMembers(0));
    EXPECT_EQ(rig.notifier.texts().last(), QStringLiteral("в группе \"Котельні\" нет неуспешных приборов"));
    EXPECT_FALSE(rig.run->running());
}

// A start that opens the console (the dispatcher's, the start report) has the board's newest records
// read while the initialisation's wait window closes; the console's board, filled, is the board read on
// the spot. What the start did not take is let go: a console opened later reads afresh.
TEST(MainWindow, AStartThatOpensTheConsoleReadsItsBoardAheadAndFillsItAsReadOnTheSpot) {
    test::TempHome home;
    test::RecordingNotifier notifier;
    const QDateTime now(QDate::currentDate(), QTime(9, 30));
    ManualClock clock(now);
    shell::AppContext ctx{home.root(), notifier, std::make_unique<link::FakeSerialPort>(), clock};
    database::writeMissingSchemaFiles(home.root());
    const database::Schemas schemas = database::loadSchemas(home.root());
    database::Registry registry(home.root(), schemas);
    for (const char* serial : {"12345", "54321"}) {
        database::Point p;
        p.identifier = QStringLiteral("t") + QLatin1String(serial);
        p.serial = QLatin1String(serial);
        p.model = QStringLiteral("ТАРН-2.01");
        p.config[database::config::LinkKind] = QStringLiteral("прямое соединение");
        ASSERT_TRUE(registry.add(p));
    }
    Group g;
    g.name = kBoilers;
    g.schedule = {QStringLiteral("08:00-12:00-01:00")};
    g.flags = QStringLiteral("0110000000");
    for (const QString& l : registry.pollingList())
        g.members.append({true, l});
    ASSERT_TRUE(saveGroup(home.root(), {{}, {}, g}, kRussian, now.addDays(-1), {}).error.isEmpty());
    {
        database::SqliteStorage storage(home.root(), schemas);
        Error why;
        const auto hourly = storage.openPoint(database::TableKind::Hourly, QStringLiteral("t54321"), why);
        ASSERT_TRUE(hourly) << why.detail.toStdString();
        ASSERT_TRUE(hourly->append(
            {{QStringLiteral("hIdentif"), QStringLiteral("t54321")},
             {QStringLiteral("hDT_Corr"), database::storedTimestamp(QDateTime(now.date(), QTime(9, 0)))}}));
    }
    const auto shown = [](const QList<BoardRow>& rows) {
        QStringList lines;
        for (const BoardRow& r : rows)
            lines.append(QStringList{r.group, r.identifier, r.name, r.result, r.nextWindow,
                                     QString::number(r.lagMinutes)}
                             .join(u'|'));
        return lines;
    };

    for (const bool ahead : {true, false}) {
        shell::TMenuCorr menu(ctx);
        menu.waitDelayMs = 1;
        menu.show();
        menu.readBoardAhead = ahead;
        menu.Timer_InitProgTimer();
        ASSERT_TRUE(ctx.databaseOpen);
        EXPECT_FALSE(menu.readBoardAhead) << "read ahead for the first initialisation only";
        // Ahead, the console is made while the wait window closes, and not shown before the start opens it.
        TfChargBD* const madeAhead = menu.findChild<TfChargBD*>();
        EXPECT_EQ(madeAhead != nullptr, ahead);
        EXPECT_FALSE(madeAhead && madeAhead->isVisible());
        TfChargBD* console = menu.openPollingConsole();
        ASSERT_TRUE(console);
        EXPECT_TRUE(!madeAhead || console == madeAhead);
        EXPECT_EQ(console->boardReads(), 1) << ahead << ": the start's opening reads nothing again";
        menu.dropBoardReadAhead();
        ASSERT_TRUE(test::waitUntil([console] { return !console->dayBoard().filling(); }, 60000));
        const QList<BoardRow> onTheSpot = dayBoardOf(ctx.groupFiles(), ctx.storage(),
                                                     menu.pollingRun()->schedule(), menu.pollingRun()->now());
        ASSERT_EQ(onTheSpot.size(), 2) << ahead;
        EXPECT_EQ(onTheSpot.at(1).lagMinutes, 30) << ahead;
        EXPECT_EQ(shown(console->boardRows()), shown(onTheSpot)) << ahead;
        const QAbstractItemModel* m = console->boardView()->model();
        ASSERT_EQ(m->rowCount(), 2);
        EXPECT_EQ(m->index(1, 6).data().toString(), QStringLiteral("0:30")) << ahead;
        // Opened again once the start is over, it shows what is stored now.
        ASSERT_EQ(menu.openPollingConsole(), console);
        EXPECT_EQ(console->boardReads(), 2) << ahead;
        console->close();
    }
}
