// What a polling run takes up next: the members of a group in list order, the due row of the day's
// schedule, the items a point's flags ask for.
#include "common/Language.h"
#include "database/Registry.h"
#include "polling/PollPlanner.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::polling;

namespace {

struct PlannerRig {
    test::TempHome home;
    database::Schemas schemas;
    database::SqliteStorage storage{home.root(), schemas};
    PollPlanner planner{home.root(), storage};

    PlannerRig() {
        database::writeMissingSchemaFiles(home.root());
        schemas = database::loadSchemas(home.root());
    }
    void addPoint(const QString& id) {
        database::Registry registry(home.root(), schemas);
        database::Point p;
        p.identifier = id;
        p.serial = id.mid(1);
        p.model = QStringLiteral("ТАРН-2.01");
        p.address = 1;
        p.config = database::PointConfig{};
        p.config[database::config::LinkKind] = QStringLiteral("прямое соединение");
        p.config[database::config::Flags] = QStringLiteral("00100000000");
        ASSERT_TRUE(registry.add(p));
    }
    int indexOf(const QString& id) const {
        for (int i = 0; i < planner.pointLines().size(); ++i)
            if (planner.pointLines().at(i).right(10).trimmed() == id) return i;
        return -1;
    }
    void saveGroup(const QString& name, const QStringList& schedule, const QStringList& members,
                   const QStringList& unticked = {}) {
        Group g;
        g.name = name;
        g.schedule = schedule;
        g.flags = QStringLiteral("0010000000");
        for (const QString& id : members)
            g.members.append({!unticked.contains(id), planner.pointLines().at(indexOf(id))});
        ASSERT_TRUE(polling::saveGroup(home.root(), {{}, {}, g}, kRussian, QDateTime::currentDateTime(), {})
                        .error.isEmpty());
        planner.reloadGroups();
    }
    // The identifiers in the order the run takes them up.
    QStringList order() const {
        QStringList ids;
        for (int i = planner.nextChecked(0); i >= 0; i = planner.nextChecked(i + 1))
            ids.append(planner.pointLines().at(i).right(10).trimmed());
        return ids;
    }
};

} // namespace

TEST(PollPlanner, AGroupTakesUpItsTickedMembersInListOrderAndARetryOnlyTheFailed) {
    PlannerRig r;
    for (const char* id : {"T00001", "T00002", "T00003", "T00004"})
        r.addPoint(QString::fromLatin1(id));
    r.planner.reloadPoints();
    ASSERT_EQ(r.planner.pointLines().size(), 4);
    // Saved in another order, one member unticked, one point no member at all.
    r.saveGroup(QStringLiteral("Ніч"), {QStringLiteral("00:00-24:00-00:00")},
                {QStringLiteral("T00004"), QStringLiteral("T00002"), QStringLiteral("T00001")},
                {QStringLiteral("T00002")});
    ASSERT_EQ(r.planner.findGroup(QStringLiteral("Ніч")), 0);
    r.planner.selectGroup(0);
    EXPECT_EQ(r.planner.groupName(), QStringLiteral("Ніч"));
    EXPECT_TRUE(r.planner.groupHasItems());
    QStringList expected = {QStringLiteral("T00001"), QStringLiteral("T00004")};
    QStringList listed;
    for (const QString& l : r.planner.pointLines())
        if (expected.contains(l.right(10).trimmed())) listed.append(l.right(10).trimmed());
    EXPECT_EQ(r.order(), listed);

    r.planner.setRetrySubset({QStringLiteral("T00004"), QStringLiteral("T00003")});
    r.planner.applyRetrySubset();
    // The retry keeps a failed member, never adds a point the group does not poll.
    EXPECT_EQ(r.order(), QStringList{QStringLiteral("T00004")});
    // The subset is spent: the next start polls the whole group.
    r.planner.selectGroup(0);
    r.planner.applyRetrySubset();
    EXPECT_EQ(r.order(), listed);
}

TEST(PollPlanner, AGroupSavedAfterTheListWasReadIsFoundByName) {
    PlannerRig r;
    r.addPoint(QStringLiteral("T00001"));
    r.planner.reloadPoints();
    r.saveGroup(QStringLiteral("Ранок"), {QStringLiteral("06:00-08:00-00:00")}, {QStringLiteral("T00001")});
    Group later;
    later.name = QStringLiteral("Вечір");
    later.flags = QStringLiteral("0010000000");
    later.schedule = {QStringLiteral("18:00-20:00-00:00")};
    ASSERT_TRUE(saveGroup(r.home.root(), {{}, {}, later}, kRussian, QDateTime::currentDateTime(), {})
                    .error.isEmpty());
    EXPECT_EQ(r.planner.groups().size(), 1);
    EXPECT_GE(r.planner.findGroup(QStringLiteral("Вечір")), 0);
    EXPECT_EQ(r.planner.groups().size(), 2);
    EXPECT_EQ(r.planner.findGroup(QStringLiteral("Нема")), -1);
}

TEST(PollPlanner, TheDueRowIsTheOpenWindowAndPassedWindowsAreSkipped) {
    PlannerRig r;
    r.addPoint(QStringLiteral("T00001"));
    r.planner.reloadPoints();
    r.saveGroup(QStringLiteral("Котельні"),
                {QStringLiteral("07:00-08:00-00:00"), QStringLiteral("09:00-11:00-01:00")},
                {QStringLiteral("T00001")});
    const QDate today = QDate::currentDate();
    r.planner.buildSchedule(QDateTime(today, QTime(9, 30)), false);
    const auto statuses = [&r] {
        QStringList s;
        for (const ScheduleRow& row : r.planner.schedule().rows)
            s.append(row.begin + QLatin1Char(' ') + row.status);
        return s;
    };
    EXPECT_EQ(statuses(), (QStringList{QStringLiteral("07:00 пропущ."), QStringLiteral("09:00 --"),
                                       QStringLiteral("10:00 --")}));
    EXPECT_TRUE(r.planner.schedulePending());
    EXPECT_EQ(r.planner.rowInHand(), nullptr);

    ASSERT_TRUE(r.planner.takeDueRow(9 * 60 + 30));
    ASSERT_NE(r.planner.rowInHand(), nullptr);
    EXPECT_EQ(r.planner.rowInHand()->begin, QStringLiteral("09:00"));
    EXPECT_EQ(r.planner.rowInHand()->status, QStringLiteral("опрос"));
    // A stop gives the row back to be polled.
    r.planner.releaseRow();
    EXPECT_EQ(r.planner.currentRow(), -1);
    EXPECT_EQ(statuses().at(1), QStringLiteral("09:00 --"));

    ASSERT_TRUE(r.planner.takeDueRow(9 * 60 + 31));
    r.planner.finishRow(QStringLiteral("норма"), QTime(9, 42));
    EXPECT_EQ(r.planner.schedule().rows.at(1).polled, QStringLiteral("09:42"));
    EXPECT_EQ(statuses().at(1), QStringLiteral("09:00 норма"));
    // The next window is not open yet: nothing is due.
    EXPECT_FALSE(r.planner.takeDueRow(9 * 60 + 45));
    EXPECT_TRUE(r.planner.takeDueRow(10 * 60));
    r.planner.finishRow(QStringLiteral("ошибка"), QTime(10, 1));
    EXPECT_FALSE(r.planner.schedulePending());
}

TEST(PollPlanner, ItemsComeInFlagOrderAndAGroupNeverAsksForTheServiceArchive) {
    struct Case {
        const char* flags;
        PollMode mode;
        QList<PollItem> items; // nextItemOfFlags from each item on
        const char* asked;
    };
    const Case cases[] = {
        {"00100000000", PollMode::Point, {PollItem::Daily}, "00100000000"},
        {"01000010101",
         PollMode::Point,
         {PollItem::Hourly, PollItem::Gas, PollItem::Interference, PollItem::Service},
         "01000010101"},
        {"01000010101",
         PollMode::Group,
         {PollItem::Hourly, PollItem::Gas, PollItem::Interference, PollItem::Service},
         "01000010100"},
        {"1000000000", PollMode::Group, {}, ""},
        {"00000000001", PollMode::Schedule, {PollItem::Service}, ""},
        {"0001", PollMode::Point, {PollItem::Monthly}, "00010000000"},
    };
    for (const Case& c : cases) {
        const QString flags = QString::fromLatin1(c.flags);
        QList<PollItem> items;
        for (auto item = nextItemOfFlags(flags, PollItem::Hourly); item;) {
            items.append(*item);
            const auto after = itemAfter(*item);
            item = after ? nextItemOfFlags(flags, *after) : std::nullopt;
        }
        EXPECT_EQ(items, c.items) << c.flags;
        EXPECT_EQ(askedItemFlags(flags, c.mode), QString::fromLatin1(c.asked)) << c.flags;
    }
}
