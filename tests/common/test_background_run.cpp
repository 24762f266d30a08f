// The worker a window runs long work on: progress reaches the owner's thread at the work's own points,
// a stop asked there is seen by the work's very next question, questions to the user are asked on the
// owner's thread, and an owner that goes mid-work neither hangs nor hears a late `finished`.
#include "common/BackgroundRun.h"
#include "common/Clock.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>

using namespace tarn;

namespace {

// Counts up to `steps`, asking whether to go on after each; returns how far it got.
BackgroundRun::Work countTo(int steps, std::atomic<int>& reached) {
    return [steps, &reached](const BackgroundRun::Progress& progress) {
        for (int i = 1; i <= steps; ++i) {
            reached = i;
            if (!progress(i, steps)) return;
        }
    };
}

} // namespace

TEST(BackgroundRun, ReportsProgressAtItsCadenceOnTheOwnerThreadAndFinishes) {
    ManualClock clock;
    BackgroundRun run(10);
    std::atomic<int> reached{0};
    QList<int> reported;
    QList<int> totals;
    QList<bool> onOwnerThread;
    int finished = 0;
    QObject::connect(&run, &BackgroundRun::progressed, [&](int done, int total) {
        totals.append(total);
        reported.append(done);
        onOwnerThread.append(QThread::currentThread() == run.thread());
    });
    QObject::connect(&run, &BackgroundRun::finished, [&] { ++finished; });

    std::atomic<bool> workerThread{false};
    ASSERT_TRUE(run.start([&](const BackgroundRun::Progress& progress) {
        workerThread = QThread::currentThread() != run.thread();
        countTo(35, reached)(progress);
    }));
    EXPECT_TRUE(run.running());
    EXPECT_FALSE(run.start(countTo(1, reached))) << "a second start while the first runs";
    ASSERT_TRUE(clock.runUntil([&] { return finished > 0; }));

    EXPECT_TRUE(workerThread);
    EXPECT_EQ(reached, 35);
    EXPECT_EQ(reported, (QList<int>{10, 20, 30}));
    EXPECT_EQ(totals, (QList<int>{35, 35, 35}));
    EXPECT_EQ(onOwnerThread, (QList<bool>{true, true, true}));
    EXPECT_EQ(finished, 1);
    EXPECT_FALSE(run.running());
    EXPECT_TRUE(run.failure().isEmpty());

    // The same object runs again, from a fresh count and without the old stop.
    reported.clear();
    ASSERT_TRUE(run.start(countTo(20, reached)));
    ASSERT_TRUE(clock.runUntil([&] { return finished == 2; }));
    EXPECT_EQ(reported, (QList<int>{10, 20}));
}

TEST(BackgroundRun, AStopAskedWhereProgressIsShownIsSeenByTheNextQuestion) {
    ManualClock clock;
    for (int cadence : {1, 4}) {
        BackgroundRun run(cadence);
        std::atomic<int> reached{0};
        bool finished = false;
        QObject::connect(&run, &BackgroundRun::progressed, [&](int done, int) {
            if (done >= 8) run.requestStop();
        });
        QObject::connect(&run, &BackgroundRun::finished, [&] { finished = true; });
        run.start(countTo(1000, reached));
        ASSERT_TRUE(clock.runUntil([&] { return finished; }));
        // The worker waited for each report to be taken, so it did not run on past the stop.
        EXPECT_EQ(reached, 8) << "cadence " << cadence;
        EXPECT_TRUE(run.stopRequested());
    }
}

TEST(BackgroundRun, QuestionsAndMessagesOfTheWorkReachTheUserOnTheOwnerThread) {
    ManualClock clock;
    BackgroundRun run;
    test::RecordingNotifier user;
    user.answer = true;
    Notifier& relay = run.ownerNotifier(user);
    // A second relay, to another notifier, leaves the first as it was.
    test::RecordingNotifier other;
    Notifier& toOther = run.ownerNotifier(other);
    bool answered = false;
    bool ranOnOwner = false;
    bool finished = false;
    QObject::connect(&run, &BackgroundRun::finished, [&] { finished = true; });
    run.start([&](const BackgroundRun::Progress&) {
        answered = relay.confirm(QStringLiteral("Заменить?"));
        relay.message(MessageKind::Warning, QStringLiteral("Файл пуст"));
        toOther.message(MessageKind::Information, QStringLiteral("норма"));
        run.onOwnerThread([&] { ranOnOwner = QThread::currentThread() == run.thread(); });
    });
    ASSERT_TRUE(clock.runUntil([&] { return finished; }));
    EXPECT_TRUE(answered);
    EXPECT_TRUE(ranOnOwner);
    EXPECT_EQ(user.questions, QStringList{QStringLiteral("Заменить?")});
    EXPECT_EQ(user.texts(), QStringList{QStringLiteral("Файл пуст")});
    EXPECT_EQ(other.texts(), QStringList{QStringLiteral("норма")});
}

TEST(BackgroundRun, AnOwnerThatGoesMidWorkStopsItWithoutHangingOrHearingTheEnd) {
    std::atomic<int> reached{0};
    std::atomic<bool> askedAnswer{true};
    int finished = 0;
    test::RecordingNotifier user;
    user.answer = true;
    {
        BackgroundRun run;
        QObject::connect(&run, &BackgroundRun::finished, [&] { ++finished; });
        Notifier& relay = run.ownerNotifier(user);
        run.start([&](const BackgroundRun::Progress& progress) {
            countTo(1000, reached)(progress);
            // Asked after the owner has gone: nobody is there to say yes.
            askedAnswer = relay.confirm(QStringLiteral("Продолжить?"));
        });
        // No event is served: the worker waits at its first report until the run goes.
        while (reached == 0)
            QThread::yieldCurrentThread();
    }
    EXPECT_EQ(reached, 1);
    EXPECT_FALSE(askedAnswer);
    EXPECT_TRUE(user.questions.isEmpty());
    QCoreApplication::processEvents();
    EXPECT_EQ(finished, 0);
}

TEST(BackgroundRun, AnExceptionOutOfTheWorkIsKeptAndTheRunStillFinishes) {
    ManualClock clock;
    BackgroundRun run;
    bool finished = false;
    QObject::connect(&run, &BackgroundRun::finished, [&] { finished = true; });
    run.start([](const BackgroundRun::Progress&) { throw std::runtime_error("disk full"); });
    ASSERT_TRUE(clock.runUntil([&] { return finished; }));
    EXPECT_EQ(run.failure(), QStringLiteral("disk full"));
}
