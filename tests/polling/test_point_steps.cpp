// The decisions of an archive item: what is read after the stored last record.
#include "corrector/ModelProfile.h"
#include "corrector/ReadQueue.h"
#include "polling/PointSteps.h"

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::polling;

namespace {

// The first record on a page of the archive, and a record further on the same page.
int firstRecordOfPage(const corrector::ArchiveGeometry& g, int page) {
    for (int r = 0;; ++r)
        if (corrector::pageOfRecord(g, r) == page) return r;
}

} // namespace

TEST(PointSteps, AnArchiveIsReadWholeOnlyWhenNothingIsStoredOrTheStoredRecordIsGone) {
    const auto g = corrector::archiveGeometry(corrector::read_kind::Daily, corrector::ModelProfile{});
    ASSERT_TRUE(g);
    using Start = ArchiveStart::Read;
    EXPECT_EQ(planArchiveStart(std::nullopt, 5, 9, false).read, Start::Whole);
    EXPECT_EQ(planArchiveStart(g, -1, 9, false).read, Start::Whole);
    EXPECT_EQ(planArchiveStart(g, 9, 9, false).read, Start::Nothing);
    const int stored = firstRecordOfPage(*g, g->firstPage + 2);
    for (const bool additional : {false, true}) {
        const ArchiveStart s = planArchiveStart(g, stored, additional ? stored : stored + 40, additional);
        EXPECT_EQ(s.read, Start::StoredRecordPage) << additional;
        EXPECT_EQ(s.storedPage, g->firstPage + 2) << additional;
    }

    using Follow = ArchiveFollowUp::Read;
    const int page = g->firstPage + 2;
    // The stored record's page no longer holds it: cleared or overwritten.
    EXPECT_EQ(planArchiveFollowUp(*g, false, stored, stored + 1, page).read, Follow::Whole);
    const ArchiveFollowUp equal = planArchiveFollowUp(*g, true, stored, stored, page);
    EXPECT_EQ(equal.read, Follow::Nothing);
    EXPECT_TRUE(equal.recordsEqual);
    // The newest record on the stored one's page: that page was just read, nothing more.
    const ArchiveFollowUp samePage = planArchiveFollowUp(*g, true, stored, stored + 1, page);
    EXPECT_EQ(samePage.read, Follow::Nothing);
    EXPECT_FALSE(samePage.recordsEqual);
    // Newer records three pages on: the three pages after the stored one.
    const int newest = firstRecordOfPage(*g, page + 3);
    const ArchiveFollowUp later = planArchiveFollowUp(*g, true, stored, newest, page);
    EXPECT_EQ(later.read, Follow::Pages);
    EXPECT_EQ(later.firstPage, page + 1);
    EXPECT_EQ(later.pageCount, 3);
    // Stored on the last page, the newest on the first: round the ring.
    const int lastPage = g->firstPage + g->pages - 1;
    const ArchiveFollowUp round = planArchiveFollowUp(*g, true, firstRecordOfPage(*g, lastPage),
                                                      firstRecordOfPage(*g, g->firstPage), lastPage);
    EXPECT_EQ(round.read, Follow::Pages);
    EXPECT_EQ(round.firstPage, g->firstPage);
    EXPECT_EQ(round.pageCount, 1);
}
