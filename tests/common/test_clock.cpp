// The manual clock the tests run the link and the polling engine on: timers fire at their deadlines, in
// order, and only when time is moved; the event loop helper jumps over idle time.
#include "common/Clock.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTimer>
#include <gtest/gtest.h>

using namespace tarn;

namespace {

const QDateTime kStart(QDate(2024, 3, 5), QTime(10, 0));

} // namespace

TEST(ManualClock, TimersFireAtTheirDeadlinesInOrderOnlyWhenTimeMoves) {
    ManualClock clock(kStart);
    QStringList fired;
    ClockTimer late(clock), early(clock), tie(clock), repeating(clock);
    const std::initializer_list<std::pair<ClockTimer*, const char*>> timers = {
        {&late, "late"}, {&early, "early"}, {&tie, "tie"}, {&repeating, "rep"}};
    for (auto [timer, name] : timers) {
        timer->setSingleShot(timer != &repeating);
        QObject::connect(timer, &ClockTimer::timeout, [&fired, &clock, name = QString::fromLatin1(name)] {
            fired.append(name + QLatin1Char('@') + QString::number(clock.monotonicMs()));
        });
    }
    late.start(300);
    early.start(100);
    tie.start(100); // started after early: fires after it
    repeating.start(120);
    EXPECT_TRUE(fired.isEmpty());
    EXPECT_EQ(clock.nextDeadline(), 100);

    clock.advance(250);
    EXPECT_EQ(fired, (QStringList{"early@100", "tie@100", "rep@120", "rep@240"}));
    EXPECT_EQ(clock.monotonicMs(), 250);
    EXPECT_EQ(clock.now(), kStart.addMSecs(250));
    EXPECT_FALSE(early.isActive());
    EXPECT_TRUE(repeating.isActive());

    repeating.stop();
    clock.advance(1000);
    EXPECT_EQ(fired.last(), QStringLiteral("late@300"));
    EXPECT_EQ(clock.activeTimers(), 0);
    EXPECT_FALSE(clock.nextDeadline());
}

TEST(ManualClock, AHandlerMayRestartStopOrDeleteTimers) {
    ManualClock clock(kStart);
    ClockTimer a(clock);
    a.setSingleShot(true);
    auto* b = new ClockTimer(clock);
    b->setSingleShot(true);
    int aFired = 0, bFired = 0;
    QObject::connect(&a, &ClockTimer::timeout, [&] {
        if (++aFired < 3) a.start(10); // restarted from its own handler
        delete b;                      // a timer due at the same moment goes with its owner
        b = nullptr;
    });
    QObject::connect(b, &ClockTimer::timeout, [&] { ++bFired; });
    a.start(10);
    b->start(10);
    clock.advance(100);
    EXPECT_EQ(aFired, 3);
    EXPECT_EQ(bFired, 0);
}

TEST(ManualClock, ASingleShotCallsOnceAndNotAfterItsContextIsGone) {
    ManualClock clock(kStart);
    int calls = 0;
    QObject owner;
    clock.singleShot(50, &owner, [&] { ++calls; });
    auto context = std::make_unique<QObject>();
    clock.singleShot(50, context.get(), [&] { calls += 100; });
    context.reset();
    clock.advance(49);
    EXPECT_EQ(calls, 0);
    clock.advance(1);
    EXPECT_EQ(calls, 1);
    clock.advance(1000);
    EXPECT_EQ(calls, 1);
}

TEST(ManualClock, SettingTheWallTimeMovesNoTimer) {
    ManualClock clock(kStart);
    ClockTimer t(clock);
    t.setSingleShot(true);
    int fired = 0;
    QObject::connect(&t, &ClockTimer::timeout, [&] { ++fired; });
    t.start(1000);
    clock.setNow(kStart.addDays(1));
    EXPECT_EQ(clock.now(), kStart.addDays(1));
    EXPECT_EQ(clock.monotonicMs(), 0);
    EXPECT_EQ(fired, 0);
    clock.advance(1000);
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(clock.now(), kStart.addDays(1).addMSecs(1000));
}

TEST(ManualClock, RunUntilTakesPostedEventsFirstAndJumpsOverIdleTime) {
    ManualClock clock(kStart);
    QStringList order;
    ClockTimer reply(clock);
    reply.setSingleShot(true);
    QObject::connect(&reply, &ClockTimer::timeout, [&] { order.append(QStringLiteral("time-out")); });
    reply.start(8000);
    // A zero-delay post is an event: it comes before any jump in time.
    QTimer::singleShot(
        0, [&] { order.append(QStringLiteral("posted@") + QString::number(clock.monotonicMs())); });
    EXPECT_TRUE(clock.runUntil([&] { return order.size() == 2; }));
    EXPECT_EQ(order, (QStringList{"posted@0", "time-out"}));
    EXPECT_EQ(clock.monotonicMs(), 8000);

    // A condition that never holds ends at the limit, with the time moved to it.
    ClockTimer tick(clock);
    tick.start(50);
    EXPECT_FALSE(clock.runUntil([] { return false; }, 1000));
    EXPECT_EQ(clock.monotonicMs(), 9000);
}

TEST(ClockTimer, MovedToAnotherClockItIsStoppedAndWaitsOnTheNewOne) {
    ManualClock first(kStart), second(kStart);
    ClockTimer t(first);
    int fired = 0;
    QObject::connect(&t, &ClockTimer::timeout, [&] { ++fired; });
    t.setSingleShot(true);
    t.start(10);
    t.setClock(second);
    EXPECT_FALSE(t.isActive());
    first.advance(100);
    EXPECT_EQ(fired, 0);
    t.start(10);
    second.advance(10);
    EXPECT_EQ(fired, 1);
}
