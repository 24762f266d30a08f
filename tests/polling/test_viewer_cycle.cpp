// The refresh cycle of a synchronised copy: its settings file and their checks, the two countdowns from
// the time since the last synchronisation, and the marker files written on the way.
#include "common/TextFile.h"
#include "polling/ViewerCycle.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

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
