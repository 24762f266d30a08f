#include "common/Language.h"
#include "corrector/ReadQueue.h"

#include <gtest/gtest.h>
#include <vector>

using namespace tarn;
using namespace tarn::corrector;

namespace {

// Runs the queue to its end and lists the kinds in the order they were taken.
std::vector<int> drain(ReadQueue& q) {
    std::vector<int> kinds;
    while (!q.NextPendingKind()) {
        kinds.push_back(q.currentKind());
        EXPECT_TRUE(q.done(q.currentKind()));
        EXPECT_FALSE(q.pending(q.currentKind()));
        if (kinds.size() > kMaxReadKind) break;
    }
    EXPECT_EQ(q.currentKind(), 0);
    return kinds;
}

} // namespace

TEST(ReadQueue, ReadAllTakesTheTickedBoxes) {
    ReadQueue q;
    // Boxes in the window's order: the hourly archive and the software version are ticked.
    q.fill(read_kind::ReadAll, QStringLiteral("1000001000000"));
    EXPECT_EQ(q.requestedKind(), 24);
    EXPECT_EQ(q.pendingCount(), 3);
    ASSERT_FALSE(q.NextPendingKind());
    EXPECT_TRUE(q.isFirstKind());
    EXPECT_EQ(q.currentKind(), 1);
    ASSERT_FALSE(q.NextPendingKind());
    EXPECT_FALSE(q.isFirstKind());
    EXPECT_EQ(q.currentKind(), 3);
    ASSERT_FALSE(q.NextPendingKind());
    EXPECT_EQ(q.currentKind(), 12);
    EXPECT_TRUE(q.NextPendingKind());
}

TEST(ReadQueue, BoxOrderMapsToKinds) {
    ReadQueue q;
    q.fill(read_kind::ReadAll, QStringLiteral("0111110111100"));
    EXPECT_EQ(drain(q), (std::vector<int>{1, 4, 5, 6, 7, 9, 10, 14, 15, 16}));
    q.fill(read_kind::ReadAll, QStringLiteral("0000000000100"));
    EXPECT_EQ(drain(q), (std::vector<int>{1, 10}));
    // A short or empty line leaves the missing boxes unticked; only "1" ticks.
    q.fill(read_kind::ReadAll, QStringLiteral("01"));
    EXPECT_EQ(drain(q), (std::vector<int>{1, 4}));
    q.fill(read_kind::ReadAll, QStringLiteral("x0Y"));
    EXPECT_EQ(drain(q), (std::vector<int>{1}));
}

TEST(ReadQueue, KindsWithoutARequestAreNeverQueued) {
    ReadQueue q;
    // The hidden boxes of the alarm state (8) and the current hour (11) stored ticked.
    q.fill(read_kind::ReadAll, QStringLiteral("0000000000011"));
    EXPECT_EQ(drain(q), (std::vector<int>{1}));
    q.fill(read_kind::AlarmState, QString());
    EXPECT_EQ(drain(q), (std::vector<int>{1}));
    EXPECT_FALSE(isQueueableKind(8));
    EXPECT_FALSE(isQueueableKind(11));
    EXPECT_FALSE(isQueueableKind(24));
    EXPECT_TRUE(isQueueableKind(16));
}

TEST(ReadQueue, SingleKindsComeAfterTheParameters) {
    ReadQueue q;
    q.fill(read_kind::Hourly, QStringLiteral("1111111111111"));
    EXPECT_EQ(drain(q), (std::vector<int>{1, 3}));
    q.fill(read_kind::Parameters, QString());
    EXPECT_EQ(drain(q), (std::vector<int>{1}));
    q.fill(read_kind::Selective, QString());
    EXPECT_EQ(drain(q), (std::vector<int>{1, 3, 4, 5, 6, 7}));
}

TEST(ReadQueue, StopAndRefill) {
    ReadQueue q;
    q.fill(read_kind::ReadAll, QStringLiteral("1111111111111"));
    ASSERT_FALSE(q.NextPendingKind());
    ASSERT_FALSE(q.NextPendingKind());
    EXPECT_EQ(q.currentKind(), 3);
    q.stop();
    EXPECT_EQ(q.pendingCount(), 0);
    EXPECT_EQ(q.currentKind(), 3); // the kind in flight completes
    EXPECT_TRUE(q.NextPendingKind());
    // A new run forgets what the last one did.
    q.fill(read_kind::Clock, QString());
    EXPECT_FALSE(q.done(3));
    EXPECT_TRUE(q.pending(14));
    EXPECT_FALSE(q.pending(0));
    EXPECT_FALSE(q.pending(28));
}

TEST(ReadQueue, Labels) {
    EXPECT_EQ(ReadKindLabel(1, kRussian), QStringLiteral("ЧТЕНИЕ ПАРАМЕТРОВ"));
    EXPECT_EQ(ReadKindLabel(12, kUkrainian), QStringLiteral("ЧИТАННЯ ВЕРСІЇ ПЗ"));
    EXPECT_EQ(ReadKindLabel(24, kRussian), QStringLiteral("ЧИТАТЬ ВСЕ"));
    EXPECT_EQ(ReadKindLabel(2, kRussian), QString());
}
