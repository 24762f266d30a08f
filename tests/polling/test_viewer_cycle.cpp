// The refresh cycle of a synchronised copy: its settings file and their checks, the two countdowns from
// the time since the last synchronisation, and the marker files written on the way.
#include "common/TextFile.h"
#include "polling/ViewerCycle.h"
#include "polling/ViewerRefresh.h"
#include "support/TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>
#include <memory>

using namespace tarn;
using namespace tarn::polling;

namespace {

// Ticks until something other than counting happens; the ticks taken and what happened.
std::pair<int, ViewerCycle::Tick> runUntilNews(ViewerCycle& cycle, int limit) {
    for (int n = 1; n <= limit; ++n)
        if (const ViewerCycle::Tick t = cycle.tick(); t != ViewerCycle::Tick::Counting) return {n, t};
    return {limit, ViewerCycle::Tick::Counting};
}

} // namespace

TEST(ViewerCycle, TheMarkersComeWhenTheTimeSinceTheLastSynchronisationSays) {
    test::TempHome home;
    home.root().createFolders();
    test::RecordingNotifier notifier;
    home.write(folder::Synchr, QStringLiteral("Start.000"), "old");
    ViewerCycle cycle(home.root(), notifier);
    // Start 30, Wait 25, the last synchronisation began 10 minutes ago: Wait after 15 minutes, Start 20.
    cycle.start({true, 30, 25}, 600);
    EXPECT_FALSE(home.exists(folder::Synchr, QStringLiteral("Start.000")));
    EXPECT_EQ(cycle.startLeft(), 1200);
    auto [ticks, news] = runUntilNews(cycle, 5000);
    EXPECT_EQ(news, ViewerCycle::Tick::WaitWritten);
    EXPECT_EQ(ticks, 899);
    EXPECT_EQ(readTextLines(home.path(folder::Synchr, QStringLiteral("Wait.000"))), QStringList{"ОЖИДАЙТЕ"});
    std::tie(ticks, news) = runUntilNews(cycle, 5000);
    EXPECT_EQ(news, ViewerCycle::Tick::StartReached);
    EXPECT_EQ(ticks, 301);
    EXPECT_EQ(readTextLines(home.path(folder::Synchr, QStringLiteral("Start.000"))), QStringList{"СТАРТ"});
    EXPECT_EQ(cycle.tick(), ViewerCycle::Tick::Off);

    // 35 minutes since the last one: no Wait marker this cycle, Start after the full 30 minutes.
    cycle.start({true, 30, 25}, 35 * 60);
    EXPECT_FALSE(home.exists(folder::Synchr, QStringLiteral("Wait.000")));
    std::tie(ticks, news) = runUntilNews(cycle, 5000);
    EXPECT_EQ(news, ViewerCycle::Tick::StartReached);
    EXPECT_EQ(ticks, 1800);
    EXPECT_FALSE(home.exists(folder::Synchr, QStringLiteral("Wait.000")));

    // Turned off: the next tick stops the timer.
    cycle.start({true, 30, 25}, std::nullopt);
    cycle.setOn(false);
    EXPECT_EQ(cycle.tick(), ViewerCycle::Tick::Off);
    EXPECT_TRUE(notifier.messages.isEmpty());
}

TEST(ViewerCycle, SettingsAreReadLooselyAndRefusedWhenTheyCannotWork) {
    test::TempHome home;
    home.root().createFolders();
    ViewerCycleSettings s = loadViewerCycleSettings(home.root());
    EXPECT_FALSE(s.on);
    EXPECT_EQ(s.startMinutes, 30);
    EXPECT_EQ(s.waitMinutes, 25);
    home.write(folder::Synchr, QStringLiteral("Inst.000"), "\r\n 1 \r\n\r\n4 5\r\n12\r\n");
    s = loadViewerCycleSettings(home.root());
    EXPECT_TRUE(s.on);
    EXPECT_EQ(s.startMinutes, 45);
    EXPECT_EQ(s.waitMinutes, 12);

    EXPECT_EQ(
        viewerCycleSettingsError({true, 30, 30}),
        QStringLiteral("Внимание!!! время до-\"Wait.000\" должно быть меньше времени до-\"Start.000\""));
    EXPECT_EQ(viewerCycleSettingsError({true, 30, 0}),
              QStringLiteral("Внимание!!! время до-\"Wait.000\" и время до-\"Start.000\" не должны быть =0"));
    EXPECT_FALSE(viewerCycleSettingsError({false, 30, 25}));
    ASSERT_TRUE(saveViewerCycleSettings(home.root(), {true, 40, 20}));
    s = loadViewerCycleSettings(home.root());
    EXPECT_EQ(std::tie(s.on, s.startMinutes, s.waitMinutes), std::make_tuple(true, 40, 20));
}

// The refresh around the countdown, with the clock a test variable.
namespace {

struct RefreshRig {
    test::TempHome home;
    test::RecordingNotifier notifier;
    QDateTime now = QDateTime(QDate(2026, 12, 10), QTime(7, 5, 0));
    QStringList steps;
    int syncSeconds = 0; // how long the synchronisation takes on the clock
    ViewerSyncOutcome outcome;
    bool databaseOk = true;
    std::function<void()> duringSync; // what the timers do while the synchronisation window is up
    std::unique_ptr<ViewerRefresh> refresh;

    RefreshRig() {
        home.root().createFolders();
        ViewerRefresh::Steps s;
        s.now = [this] { return now; };
        s.closeTables = [this] { steps.append(QStringLiteral("close")); };
        s.synchronise = [this] {
            steps.append(QStringLiteral("sync"));
            now = now.addSecs(syncSeconds);
            if (duringSync) duringSync();
            return outcome;
        };
        s.checkTables = [this] {
            steps.append(QStringLiteral("check"));
            return true;
        };
        s.startDatabase = [this] {
            steps.append(QStringLiteral("database"));
            return databaseOk;
        };
        s.markerWritten = [this](const QString& name, bool written) {
            steps.append(name + (written ? QString() : QStringLiteral(" failed")));
        };
        refresh = std::make_unique<ViewerRefresh>(home.root(), notifier, s);
    }
    // Ticks (each a second on the clock) until something other than counting; the ticks taken.
    std::pair<int, ViewerRefresh::Event> runUntilNews(int limit) {
        for (int n = 1; n <= limit; ++n) {
            now = now.addSecs(1);
            if (const ViewerRefresh::Event e = refresh->tick(); e != ViewerRefresh::Event::Counting)
                return {n, e};
        }
        return {limit, ViewerRefresh::Event::Counting};
    }
};

} // namespace

TEST(ViewerRefresh, TheTimeSinceTheLastSynchronisationIsMeasuredOverTheWholeDate) {
    struct Case {
        const char* name;
        QDateTime reference; // nothing kept when invalid
        int waitTicks;       // 0: no Wait marker this cycle
        int startTicks;
    };
    const QDateTime now(QDate(2026, 12, 10), QTime(7, 5, 0));
    const QList<Case> cases{
        {"ten minutes ago, earlier in its hour", now.addSecs(-600), 899, 1200},
        {"ten minutes ago, later in its hour (06:55 at 07:05)", QDateTime(QDate(2026, 12, 10), QTime(6, 55)),
         899, 1200},
        {"yesterday at a later minute", now.addDays(-1).addSecs(600), 0, 1800},
        {"35 minutes ago", now.addSecs(-35 * 60), 0, 1800},
        {"ahead of the clock (set back)", now.addSecs(3600), 1499, 1800},
        {"none kept", QDateTime(), 1499, 1800},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RefreshRig rig;
        rig.now = now;
        ASSERT_TRUE(saveViewerCycleSettings(rig.home.root(), {true, 30, 25}));
        if (c.reference.isValid()) {
            ASSERT_TRUE(saveLastSynchronisation(rig.home.root(), c.reference));
        }
        ASSERT_TRUE(rig.refresh->begin());
        int ticks = 0;
        int waitAt = 0;
        ViewerRefresh::Event e = ViewerRefresh::Event::Counting;
        while (e != ViewerRefresh::Event::Synchronised && ticks < 4000) {
            std::tie(std::ignore, e) = rig.runUntilNews(1);
            ++ticks;
            if (e == ViewerRefresh::Event::WaitWritten) waitAt = ticks;
        }
        EXPECT_EQ(waitAt, c.waitTicks);
        EXPECT_EQ(ticks, c.startTicks);
    }
}

TEST(ViewerRefresh, TheEndOfTheCountdownSynchronisesChecksStartsTheDatabaseAndCountsAgain) {
    RefreshRig rig;
    ASSERT_TRUE(saveViewerCycleSettings(rig.home.root(), {true, 2, 1}));
    rig.home.write(folder::Work, QStringLiteral("Tuning.000"),
                   "Alarm1.wav\r\n1\r\n1\r\n1\r\n0\r\n0\r\n1\r\n");
    rig.syncSeconds = 50;
    rig.outcome.copied = 4;
    ASSERT_TRUE(rig.refresh->begin());
    const QDateTime begun = rig.now;
    auto [ticks, e] = rig.runUntilNews(1000);
    EXPECT_EQ(e, ViewerRefresh::Event::WaitWritten);
    EXPECT_EQ(ticks, 59);
    // Read as the master's program would: the bytes themselves, Windows-1251 and CR LF.
    QFile wait(rig.home.path(folder::Synchr, QStringLiteral("Wait.000")));
    ASSERT_TRUE(wait.open(QIODevice::ReadOnly));
    EXPECT_EQ(wait.readAll(), QByteArray("\xCE\xC6\xC8\xC4\xC0\xC9\xD2\xC5\r\n"));
    std::tie(ticks, e) = rig.runUntilNews(1000);
    EXPECT_EQ(e, ViewerRefresh::Event::Synchronised);
    EXPECT_EQ(ticks, 61);
    EXPECT_EQ(rig.steps, (QStringList{"Wait.000", "Start.000", "close", "sync", "check", "database"}));
    // The reference is when the synchronisation began, not when it ended; a new program finds it.
    EXPECT_EQ(loadLastSynchronisation(rig.home.root()), begun.addSecs(120));
    EXPECT_TRUE(rig.refresh->databaseStarted());
    EXPECT_TRUE(rig.refresh->tablesChecked());
    // The next cycle counts from that start: 50 s of it went on copying; the markers are gone.
    EXPECT_TRUE(rig.refresh->counting());
    EXPECT_EQ(rig.refresh->startLeft(), 120 - 50);
    EXPECT_EQ(rig.refresh->waitLeft(), 60 - 50);
    EXPECT_FALSE(rig.home.exists(folder::Synchr, QStringLiteral("Start.000")));
    EXPECT_FALSE(rig.home.exists(folder::Synchr, QStringLiteral("Wait.000")));
    EXPECT_EQ(elapsedText(*rig.refresh->elapsed()), QStringLiteral("0:00:50"));
    EXPECT_EQ(elapsedText(3 * 3600 + 62), QStringLiteral("3:01:02"));
}

TEST(ViewerRefresh, ADeclinedLoadOrAFailedStartUpEndsTheCycleAndTheCheckRunsOnlyWhenAskedFor) {
    {
        RefreshRig rig; // no Tuning.000: no table check
        ASSERT_TRUE(saveViewerCycleSettings(rig.home.root(), {true, 2, 1}));
        rig.outcome.goOn = false;
        ASSERT_TRUE(rig.refresh->begin());
        EXPECT_EQ(rig.runUntilNews(1000).second, ViewerRefresh::Event::WaitWritten);
        EXPECT_EQ(rig.runUntilNews(1000).second, ViewerRefresh::Event::Synchronised);
        EXPECT_EQ(rig.steps, (QStringList{"Wait.000", "Start.000", "close", "sync"}));
        EXPECT_FALSE(rig.refresh->databaseStarted());
        EXPECT_FALSE(rig.refresh->counting());
        EXPECT_EQ(rig.refresh->tick(), ViewerRefresh::Event::Off);
        // No next cycle: the Start marker stays for the master as it was written.
        QFile start(rig.home.path(folder::Synchr, QStringLiteral("Start.000")));
        ASSERT_TRUE(start.open(QIODevice::ReadOnly));
        EXPECT_EQ(start.readAll(), QByteArray("\xD1\xD2\xC0\xD0\xD2\r\n"));
    }
    {
        RefreshRig rig;
        rig.databaseOk = false;
        // Ticks and a second request while it synchronises change nothing.
        rig.duringSync = [&rig] {
            EXPECT_EQ(rig.refresh->tick(), ViewerRefresh::Event::Off);
            rig.refresh->synchroniseNow();
        };
        // By hand, with the cycle off: the same sequence, and no countdown after it.
        EXPECT_FALSE(rig.refresh->begin());
        rig.refresh->synchroniseNow();
        EXPECT_EQ(rig.steps, (QStringList{"close", "sync", "database"}));
        EXPECT_FALSE(rig.refresh->counting());
        EXPECT_EQ(loadLastSynchronisation(rig.home.root()), rig.now);
    }
}
