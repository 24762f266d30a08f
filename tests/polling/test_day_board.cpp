// The dispatcher's board of the day and the poller's state file: rows from a join table made here, the lag
// against an injected now, and the state file read back line by line by the test's own reader.
#include "common/Language.h"
#include "database/JoinTable.h"
#include "database/Registry.h"
#include "database/postgres/DatabaseUrl.h"
#include "link/FakeSerialPort.h"
#include "polling/DayBoard.h"
#include "polling/DayBoardFeed.h"
#include "polling/PollState.h"
#include "shell/AppContext.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using namespace tarn;
using namespace tarn::polling;

namespace {

const QDate kDay(2024, 3, 7);

database::JoinRow joinOf(const QString& id, const QTime& at, const QString& result,
                         const QString& idJoin = QStringLiteral("1")) {
    database::JoinRow j;
    j.group = QStringLiteral("Котельні");
    j.identifier = id;
    j.when = QDateTime(kDay, at);
    j.modified = at;
    j.mode = 3;
    j.result = result;
    j.idJoin = idJoin;
    return j;
}

DaySchedule scheduleOf(const QString& window) {
    return buildDaySchedule({{QStringLiteral("Котельні"), QLatin1Char('/') + window + QLatin1Char('/')}},
                            kDay);
}

} // namespace

TEST(DayBoard, EachMemberShowsItsLastPollOfTodayTheNextWindowAndTheLag) {
    DaySchedule schedule = scheduleOf(QStringLiteral("08:00-12:00-01:00"));
    schedule.rows[0].status = QStringLiteral("ошибка"); // 08:00-09:00 done
    const QDateTime now(kDay, QTime(9, 30));
    const QList<BoardMember> members{
        {QStringLiteral("Котельні"), QStringLiteral("A1"), QStringLiteral("ТАРН A1")},
        {QStringLiteral("Котельні"), QStringLiteral("B2"), QStringLiteral("ТАРН B2")},
        {QStringLiteral("Котельні"), QStringLiteral("C3"), QStringLiteral("ТАРН C3")}};
    const QList<database::JoinRow> joins{
        joinOf(QStringLiteral("A1"), QTime(8, 5), QStringLiteral("ошибка обмена с прибором")),
        joinOf(QStringLiteral("B2"), QTime(8, 6), QStringLiteral("нет связи с модемом")),
        joinOf(QStringLiteral("--"), QTime(8, 7), QStringLiteral("ошибка"), QStringLiteral("2")),
        joinOf(QStringLiteral("A1"), QTime(9, 12), QStringLiteral("норма")), // the retry answered
    };
    const QHash<QString, QDateTime> newest{{QStringLiteral("A1"), QDateTime(kDay, QTime(7, 0))},
                                           {QStringLiteral("B2"), QDateTime(kDay.addDays(-2), QTime(9, 25))},
                                           {QStringLiteral("C3"), QDateTime(kDay, QTime(9, 45))}};
    const QList<BoardRow> rows = buildDayBoard(members, joins, schedule, newest, now);
    ASSERT_EQ(rows.size(), 3);
    struct Expect {
        const char* lastPoll;
        const char* result;
        bool failed;
        LineColour colour;
        const char* lag;
    };
    const Expect expect[] = {
        {"09:12:00", "норма", false, LineColour::Blue, "2:30"},
        {"08:06:00", "нет связи с модемом", true, LineColour::Red, "48:05"},
        {"--", "--", false, LineColour::Black, "0:00"}}; // a clock ahead: no negative lag
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[i].lastPoll, QString::fromUtf8(expect[i].lastPoll));
        EXPECT_EQ(rows[i].result, QString::fromUtf8(expect[i].result));
        EXPECT_EQ(rows[i].failed(), expect[i].failed);
        EXPECT_EQ(resultColour(rows[i]), expect[i].colour);
        EXPECT_EQ(lagText(rows[i].lagMinutes), QString::fromUtf8(expect[i].lag));
        EXPECT_EQ(rows[i].nextWindow, QStringLiteral("09:00-10:00"));
    }
    EXPECT_EQ(failedMembers(rows, QStringLiteral("Котельні")), QStringList{QStringLiteral("B2")});
    EXPECT_EQ(lagText(-1), QStringLiteral("--"));

    // After the last window there is no next one; a window being polled is the one in hand.
    EXPECT_EQ(buildDayBoard(members, {}, schedule, {}, QDateTime(kDay, QTime(12, 0))).at(0).nextWindow,
              QStringLiteral("--"));
    schedule.rows[1].status = QStringLiteral("опрос");
    EXPECT_EQ(buildDayBoard(members, {}, schedule, {}, now).at(0).nextWindow, QStringLiteral("09:00-10:00"));
}

TEST(DayBoard, TheFilterTheOpenWindowAndTheRowInHand) {
    BoardRow ok{QStringLiteral("Котельні"), QStringLiteral("A1"), QStringLiteral("ТАРН-2.01 №00011"),
                QStringLiteral("08:05:00"), QStringLiteral("норма")};
    BoardRow bad = ok;
    bad.identifier = QStringLiteral("B2");
    bad.result = QStringLiteral("ошибка обмена с прибором");
    struct Case {
        const BoardRow* row;
        const char* text;
        bool failedOnly;
        bool shown;
    };
    const Case cases[] = {{&ok, "", false, true},       {&ok, "", true, false},
                          {&bad, "", true, true},       {&bad, "ОШИБКА", false, true},
                          {&ok, "котли", false, false}, {&ok, "котельн", false, true},
                          {&ok, "00011", false, true},  {&bad, "a1", true, false}};
    for (const Case& c : cases)
        EXPECT_EQ(boardRowMatches(*c.row, QString::fromUtf8(c.text), c.failedOnly), c.shown)
            << c.row->identifier.toStdString() << " '" << c.text << "'";

    DaySchedule schedule = scheduleOf(QStringLiteral("08:00-10:00-01:00"));
    EXPECT_EQ(openWindowOfGroup(schedule, QStringLiteral("Котельні"), 7 * 60 + 59), -1);
    EXPECT_EQ(openWindowOfGroup(schedule, QStringLiteral("Котельні"), 9 * 60), 1);
    EXPECT_EQ(openWindowOfGroup(schedule, QStringLiteral("Котельні"), 10 * 60), -1);
    EXPECT_EQ(openWindowOfGroup(schedule, QStringLiteral("Інша"), 9 * 60), -1);
    EXPECT_EQ(nextScheduleRow(schedule, -1, 8 * 60 + 30), 0);
    EXPECT_EQ(nextScheduleRow(schedule, 1, 8 * 60 + 30), 1);
    schedule.rows[0].status = QStringLiteral("норма");
    EXPECT_EQ(nextScheduleRow(schedule, -1, 8 * 60 + 30), 1);
    EXPECT_EQ(nextScheduleRow(schedule, -1, 10 * 60), -1);
}

TEST(DayBoard, TheInstallationsRowsComeFromTheGroupFilesAndTodaysJoinTable) {
    test::TempHome home;
    database::writeMissingSchemaFiles(home.root());
    const database::Schemas schemas = database::loadSchemas(home.root());
    database::SqliteStorage storage(home.root(), schemas);
    database::Registry registry(home.root(), schemas);
    for (const char* serial : {"00011", "00022", "00033"}) {
        database::Point p;
        p.identifier = QStringLiteral("t") + QLatin1String(serial);
        p.serial = QLatin1String(serial);
        p.model = QStringLiteral("ТАРН-2.01");
        p.config[database::config::LinkKind] = QStringLiteral("прямое соединение");
        ASSERT_TRUE(registry.add(p));
    }
    Group g;
    g.name = QStringLiteral("Котельні");
    g.schedule = {QStringLiteral("08:00-12:00-01:00")};
    g.flags = QStringLiteral("0010000000");
    const QStringList lines = registry.pollingList();
    ASSERT_EQ(lines.size(), 3);
    for (int i = 0; i < 3; ++i)
        g.members.append({i != 2, lines.at(i)}); // the third point is not a member
    ASSERT_TRUE(
        saveGroup(home.root(), {{}, {}, g}, kRussian, QDateTime(kDay, QTime(7, 0)), {}).error.isEmpty());
    ASSERT_TRUE(database::appendJoinRow(
                    home.root(), schemas,
                    joinOf(QStringLiteral("t00022"), QTime(8, 4), QStringLiteral("нет связи с модемом")))
                    .isEmpty());
    const QDateTime now(kDay, QTime(8, 30));
    const QList<BoardRow> rows =
        dayBoardOf(home.root(), storage, scheduleOfToday(home.root(), storage, now), now);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].identifier, QStringLiteral("t00011"));
    EXPECT_EQ(rows[0].result, QStringLiteral("--"));
    EXPECT_EQ(rows[0].lagMinutes, -1); // nothing stored yet
    EXPECT_EQ(rows[1].identifier, QStringLiteral("t00022"));
    EXPECT_EQ(rows[1].name, lines.at(1).left(20));
    EXPECT_EQ(rows[1].result, QStringLiteral("нет связи с модемом"));
    EXPECT_EQ(rows[1].nextWindow, QStringLiteral("08:00-09:00"));
    // Another day's board starts empty: yesterday's failures are not today's.
    EXPECT_EQ(dayBoardOf(home.root(), storage, scheduleOfToday(home.root(), storage, now.addDays(1)),
                         now.addDays(1))
                  .at(1)
                  .result,
              QStringLiteral("--"));
}

// The board a window keeps is read from the installation again only when something it shows may have
// changed: a point's end, a finished run, a changed schedule row, a lag period gone by on the run's clock,
// or a window that says so. Asking in between reads nothing, so a join row written meanwhile shows late.
TEST(DayBoard, TheFeedReadsAgainOnlyWhenTheBoardMayHaveChanged) {
    test::TempHome home;
    test::RecordingNotifier notifier;
    ManualClock clock(QDateTime(kDay, QTime(8, 30)));
    shell::AppContext ctx{home.root(), notifier, std::make_unique<link::FakeSerialPort>(), clock};
    database::writeMissingSchemaFiles(home.root());
    ctx.schemas = database::loadSchemas(home.root());
    database::Registry registry(home.root(), ctx.schemas);
    for (const char* serial : {"00011", "00022"}) {
        database::Point p;
        p.identifier = QStringLiteral("t") + QLatin1String(serial);
        p.serial = QLatin1String(serial);
        p.model = QStringLiteral("ТАРН-2.01");
        p.config[database::config::LinkKind] = QStringLiteral("прямое соединение");
        ASSERT_TRUE(registry.add(p));
    }
    Group g;
    g.name = QStringLiteral("Котельні");
    g.schedule = {QStringLiteral("08:00-12:00-01:00")};
    g.flags = QStringLiteral("0010000000");
    for (const QString& line : registry.pollingList())
        g.members.append({true, line});
    ASSERT_TRUE(
        saveGroup(home.root(), {{}, {}, g}, kRussian, QDateTime(kDay, QTime(7, 0)), {}).error.isEmpty());
    const auto join = [&](const QTime& at, const QString& result) {
        ASSERT_TRUE(
            database::appendJoinRow(home.root(), ctx.schemas, joinOf(QStringLiteral("t00022"), at, result))
                .isEmpty());
    };
    join(QTime(8, 4), QStringLiteral("нет связи с модемом"));

    PollingRun run(ctx.pollingParts(), kRussian);
    run.reloadPoints();
    run.reloadGroups();
    run.buildSchedule(false);
    ASSERT_FALSE(run.schedule().rows.isEmpty());
    DayBoardFeed feed(run, home.root(), clock);
    int shown = 0;
    int lagPeriods = 0;
    QObject::connect(&feed, &DayBoardFeed::rowsRead, [&shown] { ++shown; });
    QObject::connect(&feed, &DayBoardFeed::lagPeriodPassed, [&lagPeriods] { ++lagPeriods; });
    const auto resultOf = [&feed] { return feed.rows().value(1).result; };

    EXPECT_TRUE(feed.refreshIfStale());
    ASSERT_EQ(feed.rows().size(), 2);
    EXPECT_EQ(resultOf(), QStringLiteral("нет связи с модемом"));
    EXPECT_FALSE(feed.refreshIfStale());
    join(QTime(8, 20), QStringLiteral("норма"));
    EXPECT_FALSE(feed.refreshIfStale());
    EXPECT_EQ(resultOf(), QStringLiteral("нет связи с модемом")) << "nothing said the board changed";

    emit run.pointEnded();
    EXPECT_TRUE(feed.refreshIfStale());
    EXPECT_EQ(resultOf(), QStringLiteral("норма"));
    EXPECT_FALSE(feed.refreshIfStale());

    emit run.finished();
    EXPECT_TRUE(feed.refreshIfStale());
    EXPECT_FALSE(feed.refreshIfStale());

    // A row of the schedule that changed status changes the board's next windows.
    const QString mark = boardScheduleMark(run.schedule());
    run.schedule().rows[0].status = QStringLiteral("ошибка");
    EXPECT_NE(boardScheduleMark(run.schedule()), mark);
    EXPECT_TRUE(feed.refreshIfStale());
    EXPECT_FALSE(feed.refreshIfStale());

    // The lag column grows with the time alone: once a period, on the run's clock.
    clock.advance(feed.lagPeriodMs - 1);
    EXPECT_EQ(lagPeriods, 0);
    EXPECT_FALSE(feed.refreshIfStale());
    clock.advance(1);
    EXPECT_EQ(lagPeriods, 1);
    EXPECT_TRUE(feed.refreshIfStale());

    feed.markStale();
    EXPECT_TRUE(feed.refreshIfStale());
    EXPECT_EQ(feed.reads(), 6);
    EXPECT_EQ(shown, feed.reads());
}

// An installation for the feed's worker: two groups polled today, one point a member of both, points with
// records in some of their tables, one whose hourly table is gone, one with nothing stored.
namespace {

using database::TableKind;

struct BoardHome {
    test::TempHome home;
    test::RecordingNotifier notifier;
    ManualClock clock{QDateTime(kDay, QTime(9, 30))};
    shell::AppContext ctx{home.root(), notifier, std::make_unique<link::FakeSerialPort>(), clock};
    std::unique_ptr<PollingRun> run;

    BoardHome() {
        database::writeMissingSchemaFiles(home.root());
        ctx.schemas = database::loadSchemas(home.root());
        database::Registry registry(home.root(), ctx.schemas);
        for (const char* serial : {"00011", "00022", "00033", "00044"}) {
            database::Point p;
            p.identifier = QStringLiteral("t") + QLatin1String(serial);
            p.serial = QLatin1String(serial);
            p.model = QStringLiteral("ТАРН-2.01");
            p.config[database::config::LinkKind] = QStringLiteral("прямое соединение");
            EXPECT_TRUE(registry.add(p));
        }
        const QStringList lines = registry.pollingList();
        EXPECT_EQ(lines.size(), 4);
        const auto groupOf = [&lines](const QString& name, const QList<int>& members) {
            Group g;
            g.name = name;
            g.schedule = {QStringLiteral("08:00-12:00-01:00")};
            g.flags = QStringLiteral("0010000000");
            for (int i : members)
                g.members.append({true, lines.value(i)});
            return g;
        };
        for (const Group& g :
             {groupOf(QStringLiteral("Котельні"), {0, 1, 2}), groupOf(QStringLiteral("Школи"), {3, 0})})
            EXPECT_TRUE(saveGroup(home.root(), {{}, {}, g}, kRussian, QDateTime(kDay, QTime(7, 0)), {})
                            .error.isEmpty());
        EXPECT_TRUE(database::appendJoinRow(
                        home.root(), ctx.schemas,
                        joinOf(QStringLiteral("t00022"), QTime(8, 4), QStringLiteral("нет связи с модемом")))
                        .isEmpty());
        // t00011: an hourly record newer than its daily one; t00022: an alarm, and no hourly table at all;
        // t00033: nothing stored; t00044: a measurement only.
        store(TableKind::Hourly, QStringLiteral("t00011"), QTime(9, 0));
        store(TableKind::Daily, QStringLiteral("t00011"), QTime(6, 0));
        store(TableKind::Alarm, QStringLiteral("t00022"), QTime(8, 10));
        EXPECT_TRUE(ctx.storage().erasePointTable(TableKind::Hourly, QStringLiteral("t00022")).ok());
        store(TableKind::Measurement, QStringLiteral("t00044"), QTime(7, 45));

        run = std::make_unique<PollingRun>(ctx.pollingParts(), kRussian);
        run->reloadPoints();
        run->reloadGroups();
        run->buildSchedule(false);
    }

    void store(TableKind kind, const QString& id, const QTime& at) {
        Error why;
        const auto table = ctx.storage().openPoint(kind, id, why);
        ASSERT_TRUE(table) << why.detail.toStdString();
        const QString prefix(database::tableInfo(kind).fieldPrefix);
        const QString stampField = prefix + (kind == TableKind::Measurement ? QStringLiteral("DateTime")
                                                                            : QStringLiteral("DT_Corr"));
        ASSERT_TRUE(table->append({{prefix + QStringLiteral("Identif"), id},
                                   {stampField, database::storedTimestamp(QDateTime(kDay, at))}}))
            << table->lastError().toStdString();
    }
};

// What a window shows of a row: everything the table's columns hold.
QStringList shownRows(const QList<BoardRow>& rows) {
    QStringList shown;
    for (const BoardRow& r : rows)
        shown.append(QStringList{r.group, r.identifier, r.name, r.lastPoll, r.result, r.nextWindow,
                                 QString::number(r.lagMinutes)}
                         .join(u'|'));
    return shown;
}

} // namespace

// The worker reads the newest records the calling thread would: the filled board is the board read the
// old way, row for row, and until it is filled the rows are there without their lag.
TEST(DayBoard, TheBoardFilledOnTheWorkerIsTheBoardReadOnTheCallingThread) {
    BoardHome b;
    ASSERT_FALSE(b.run->schedule().rows.isEmpty());
    const QList<BoardRow> here =
        dayBoardOf(b.run->groupFiles(), b.run->storage(), b.run->schedule(), b.run->now());
    ASSERT_EQ(here.size(), 5);
    QHash<QString, int> lag;
    for (const BoardRow& r : here)
        lag.insert(r.group + r.identifier, r.lagMinutes);
    EXPECT_EQ(lag.value(QStringLiteral("Котельніt00011")), 30);
    EXPECT_EQ(lag.value(QStringLiteral("Котельніt00022")), 80);
    EXPECT_EQ(lag.value(QStringLiteral("Котельніt00033")), -1);
    EXPECT_EQ(lag.value(QStringLiteral("Школиt00044")), 105);
    EXPECT_EQ(lag.value(QStringLiteral("Школиt00011")), 30);

    DayBoardFeed feed(*b.run, b.home.root(), b.clock);
    feed.newestOnWorker = true;
    QStringList readShown;
    QList<QStringList> filledShown;
    QObject::connect(&feed, &DayBoardFeed::rowsRead, [&] { readShown = shownRows(feed.rows()); });
    QObject::connect(&feed, &DayBoardFeed::rowsFilled, [&] { filledShown.append(shownRows(feed.rows())); });
    ASSERT_TRUE(feed.refreshIfStale());
    QList<BoardRow> withoutLag = here;
    for (BoardRow& r : withoutLag)
        r.lagMinutes = -1;
    EXPECT_EQ(readShown, shownRows(withoutLag));
    ASSERT_TRUE(test::waitUntil([&feed] { return !feed.filling(); }, 60000));
    ASSERT_EQ(filledShown.size(), 1);
    EXPECT_EQ(filledShown.first(), shownRows(here));
    EXPECT_EQ(shownRows(feed.rows()), shownRows(here));
}

// The worker's times belong to the read that started it: once the board has been read again, or the
// read dropped (the points, the groups or the database started again), they are never shown, and only the
// read in hand fills the board.
TEST(DayBoard, NewestTimesOfAReadOvertakenOrDroppedAreNeverShown) {
    BoardHome b;
    DayBoardFeed feed(*b.run, b.home.root(), b.clock);
    feed.newestOnWorker = true;
    // Each read's times tell which read it was: the n-th read stores t00011's record n hours before now.
    std::atomic<int> calls = 0;
    feed.setNewestReader([&calls](database::Storage&, const QStringList& ids, const std::function<bool()>&) {
        const int n = ++calls;
        QHash<QString, QDateTime> newest;
        if (ids.contains(QStringLiteral("t00011")))
            newest.insert(QStringLiteral("t00011"), QDateTime(kDay, QTime(9, 30)).addSecs(-3600 * n));
        return newest;
    });
    QList<int> filledLags;
    QObject::connect(&feed, &DayBoardFeed::rowsFilled,
                     [&] { filledLags.append(feed.rows().value(0).lagMinutes); });
    const auto settle = [&feed] {
        EXPECT_TRUE(test::waitUntil([&feed] { return !feed.filling(); }, 60000));
        test::runPending();
    };

    // The board read again, the first read's times in or not: only the second read's are shown.
    feed.refresh();
    feed.refresh();
    settle();
    EXPECT_EQ(calls.load(), 2);
    EXPECT_EQ(filledLags, QList<int>{120});
    EXPECT_EQ(feed.rows().value(0).identifier, QStringLiteral("t00011"));
    EXPECT_EQ(feed.rows().value(0).lagMinutes, 120);

    // Dropped while the worker reads: the rows stay without the lag and nothing is filled; the next tick
    // reads again.
    feed.refresh();
    feed.markStale();
    EXPECT_FALSE(feed.filling());
    settle();
    EXPECT_EQ(filledLags, QList<int>{120});
    EXPECT_EQ(feed.rows().value(0).lagMinutes, -1);
    EXPECT_TRUE(feed.refreshIfStale());
    settle();
    EXPECT_EQ(calls.load(), 4);
    EXPECT_EQ(filledLags, (QList<int>{120, 240}));
    EXPECT_EQ(feed.rows().value(0).lagMinutes, 240);
}

// The start reads the newest records ahead, before the console and its board exist. The board's first
// read takes them when they are of its own members on its own database, and reads afresh otherwise.
// Taken, they fill the board as its own read would.
TEST(DayBoard, AReadAheadFillsTheFirstBoardOnlyForItsMembersAndDatabase) {
    BoardHome b;
    const QList<BoardRow> here =
        dayBoardOf(b.run->groupFiles(), b.run->storage(), b.run->schedule(), b.run->now());
    const QStringList members =
        dayBoardBasisOf(b.run->groupFiles(), b.run->storage(), b.run->schedule(), kDay).identifiers;
    EXPECT_EQ(members, (QStringList{QStringLiteral("t00011"), QStringLiteral("t00022"),
                                    QStringLiteral("t00033"), QStringLiteral("t00044")}));
    EXPECT_EQ(scheduledMemberIdentifiers(b.run->groupFiles(), kDay), members);
    const auto readAhead = [&b] {
        auto read = readNewestAhead(b.run->groupFiles(), b.run->storage(), kDay);
        EXPECT_TRUE(read);
        if (read) {
            EXPECT_TRUE(test::waitUntil([&read] { return read->done(); }, 60000));
        }
        return read;
    };
    const auto newFeed = [&b] {
        auto feed = std::make_unique<DayBoardFeed>(*b.run, b.home.root(), b.clock);
        feed->newestOnWorker = true;
        return feed;
    };

    // Taken: the rows are whole at once, no worker of the board's own.
    auto feed = newFeed();
    feed->takeReadAhead(readAhead());
    feed->refresh();
    EXPECT_FALSE(feed->filling());
    EXPECT_EQ(shownRows(feed->rows()), shownRows(here));
    // Only the first read takes it: the next reads on its own worker.
    feed->refresh();
    EXPECT_TRUE(feed->filling());
    EXPECT_EQ(feed->rows().value(0).lagMinutes, -1);
    EXPECT_TRUE(test::waitUntil([&feed] { return !feed->filling(); }, 60000));
    EXPECT_EQ(shownRows(feed->rows()), shownRows(here));

    // Of other members: let go, and the board reads its own.
    const database::Schemas otherSchemas = b.ctx.schemas;
    auto other = std::make_unique<NewestRead>(
        b.run->storage(), QStringList{QStringLiteral("t00011")},
        [](database::Storage&, const QStringList&, const std::function<bool()>&) {
            return QHash<QString, QDateTime>{{QStringLiteral("t00011"), QDateTime(kDay, QTime(1, 0))}};
        });
    ASSERT_TRUE(test::waitUntil([&other] { return other->done(); }, 60000));
    feed = newFeed();
    feed->takeReadAhead(std::move(other));
    feed->refresh();
    EXPECT_TRUE(feed->filling());
    EXPECT_TRUE(test::waitUntil([&feed] { return !feed->filling(); }, 60000));
    EXPECT_EQ(shownRows(feed->rows()), shownRows(here));

    // Of another database (the same folder through another storage): let go too.
    database::SqliteStorage elsewhere(b.home.root(), otherSchemas);
    auto foreign = readNewestAhead(b.run->groupFiles(), elsewhere, kDay);
    ASSERT_TRUE(foreign);
    ASSERT_TRUE(test::waitUntil([&foreign] { return foreign->done(); }, 60000));
    feed = newFeed();
    feed->takeReadAhead(std::move(foreign));
    feed->refresh();
    EXPECT_TRUE(feed->filling());
    EXPECT_TRUE(test::waitUntil([&feed] { return !feed->filling(); }, 60000));
    EXPECT_EQ(shownRows(feed->rows()), shownRows(here));

    // The console marks its board stale before its first read: the read ahead is still taken.
    feed = newFeed();
    feed->takeReadAhead(readAhead());
    feed->markStale();
    EXPECT_TRUE(feed->refreshIfStale());
    EXPECT_FALSE(feed->filling());
    EXPECT_EQ(shownRows(feed->rows()), shownRows(here));
}

namespace {

// A storage that opens its tables dearly off its own thread, as a server's does: no table at all here,
// what counts is where the board asks for the newest records.
class DearOffItsThreadStorage final : public database::Storage {
public:
    explicit DearOffItsThreadStorage(const database::Schemas& schemas) : schemas_(schemas) {}
    const database::Schemas& schemas() const override { return schemas_; }
    std::unique_ptr<database::Table> openTable(const database::TableId& id, Error& error,
                                               const QDateTime&) override {
        return openExisting(id, error);
    }
    std::unique_ptr<database::Table> openExisting(const database::TableId&, Error& error) override {
        error = {ErrorKind::NotFound, QStringLiteral("no tables here")};
        return nullptr;
    }
    bool exists(const database::TableId&) const override { return false; }
    QString location(const database::TableId&) const override { return {}; }
    Error erasePointTable(TableKind, const QString&) override { return {}; }
    std::optional<QList<QDate>> joinDays(Error&) const override { return QList<QDate>{}; }
    bool opensTablesCheaplyOnAnyThread() const override { return false; }

private:
    const database::Schemas& schemas_;
};

} // namespace

// A server's tables each take a connection of their own off the storage's thread: its board is read on
// the window's thread as before, whole at once, and nothing is read ahead for it.
TEST(DayBoard, AStorageDearOffItsOwnThreadIsReadOnTheCallingThread) {
    BoardHome b;
    auto dear = std::make_unique<DearOffItsThreadStorage>(b.ctx.schemas);
    database::Storage& storage = *dear;
    QString refused;
    const auto url = database::postgres::parseDatabaseUrl(
        QStringLiteral("postgresql://meter@/gas?host=%1&schema=plant").arg(b.home.root().root()), &refused);
    ASSERT_TRUE(url) << refused.toStdString();
    b.ctx.useStorage(std::move(dear), std::make_unique<database::FolderGroupFiles>(b.home.root()), *url);
    PollingRun run(b.ctx.pollingParts(), kRussian);
    run.reloadPoints();
    run.reloadGroups();
    run.buildSchedule(false);
    ASSERT_EQ(&run.storage(), &storage);

    EXPECT_FALSE(readNewestAhead(run.groupFiles(), storage, kDay));
    DayBoardFeed feed(run, b.home.root(), b.clock);
    feed.newestOnWorker = true;
    std::thread::id readOn;
    feed.setNewestReader([&readOn](database::Storage&, const QStringList& ids, const std::function<bool()>&) {
        readOn = std::this_thread::get_id();
        QHash<QString, QDateTime> newest;
        for (const QString& id : ids)
            newest.insert(id, QDateTime(kDay, QTime(9, 0)));
        return newest;
    });
    int filled = 0;
    QObject::connect(&feed, &DayBoardFeed::rowsFilled, [&filled] { ++filled; });
    ASSERT_TRUE(feed.refreshIfStale());
    EXPECT_FALSE(feed.filling());
    EXPECT_EQ(readOn, std::this_thread::get_id());
    ASSERT_EQ(feed.rows().size(), 5);
    for (const BoardRow& r : feed.rows())
        EXPECT_EQ(r.lagMinutes, 30) << r.identifier.toStdString();
    test::runPending();
    EXPECT_EQ(filled, 0);
}

TEST(PollStateFile, IsWrittenAsKeyValueLinesInWindows1251AndReadBack) {
    test::TempHome home;
    PollState s;
    s.pid = 4321;
    s.written = QDateTime(kDay, QTime(9, 15, 2));
    s.mode = 3;
    s.modeText = QStringLiteral("опрос по времени");
    s.group = QStringLiteral("Котельні");
    s.point = QStringLiteral("ТАРН-2.01 №00011");
    s.identifier = QStringLiteral("t00011");
    s.nextRow = 2;
    s.nextGroup = QStringLiteral("Котельні");
    s.nextBegin = QStringLiteral("09:00");
    s.nextEnd = QStringLiteral("10:00");
    s.failures = {{QStringLiteral("08:04:00"), QStringLiteral("t00022"), QStringLiteral("ТАРН\t2"),
                   QStringLiteral("нет связи с модемом")}};
    ASSERT_TRUE(writePollState(home.root(), s));

    const QByteArray bytes = home.read(folder::Current, QStringLiteral("PollState.000"));
    ASSERT_TRUE(bytes.endsWith("\r\n"));
    EXPECT_FALSE(bytes.contains("\n\n"));
    QStringList lines = test::fromCp1251(bytes).split(QStringLiteral("\r\n"));
    lines.removeLast();
    QMap<QString, QStringList> values;
    for (const QString& l : lines) {
        const qsizetype eq = l.indexOf(QLatin1Char('='));
        ASSERT_GT(eq, 0) << l.toStdString();
        values[l.left(eq)].append(l.mid(eq + 1));
    }
    EXPECT_EQ(values.value(QStringLiteral("pid")), QStringList{QStringLiteral("4321")});
    EXPECT_EQ(values.value(QStringLiteral("written")), QStringList{QStringLiteral("07.03.2024 09:15:02")});
    EXPECT_EQ(values.value(QStringLiteral("state")), QStringList{QStringLiteral("опрос по времени")});
    EXPECT_EQ(values.value(QStringLiteral("group")), QStringList{QStringLiteral("Котельні")});
    EXPECT_EQ(values.value(QStringLiteral("next")), QStringList{QStringLiteral("2\tКотельні\t09:00\t10:00")});
    // A tab inside a name would break the fields: it is written as a blank.
    EXPECT_EQ(values.value(QStringLiteral("failure")),
              QStringList{QStringLiteral("08:04:00\tt00022\tТАРН 2\tнет связи с модемом")});

    const auto back = readPollState(home.root());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->pid, 4321);
    EXPECT_EQ(back->written, s.written);
    EXPECT_EQ(back->nextRow, 2);
    EXPECT_EQ(back->nextEnd, QStringLiteral("10:00"));
    ASSERT_EQ(back->failures.size(), 1);
    EXPECT_EQ(back->failures[0].result, QStringLiteral("нет связи с модемом"));

    // A poller is live only while its process exists and its file is fresh.
    const auto alive = [](qint64 pid) { return pid == 4321; };
    struct Case {
        qint64 pid;
        int secondsAfter;
        PollerLiveness verdict;
    };
    for (const Case c :
         {Case{4321, 30, PollerLiveness::Live}, Case{4321, kPollStateStaleSeconds, PollerLiveness::Live},
          Case{4321, kPollStateStaleSeconds + 1, PollerLiveness::TooOld},
          Case{4321, -kPollStateStaleSeconds - 60, PollerLiveness::TooOld},
          Case{999, 30, PollerLiveness::ProcessGone}}) {
        PollState t = *back;
        t.pid = c.pid;
        EXPECT_EQ(pollerLiveness(t, s.written.addSecs(c.secondsAfter), alive), c.verdict) << c.secondsAfter;
    }
    EXPECT_TRUE(processAlive(QCoreApplication::applicationPid()));

    home.write(folder::Current, QStringLiteral("PollState.000"), "mode=3\r\n");
    EXPECT_FALSE(readPollState(home.root())) << "no process id: no poller";
}

TEST(PollStateFile, TheKeeperWritesOnChangesAndOnceAMinuteBesides) {
    test::TempHome home;
    test::RecordingNotifier notifier;
    QDateTime now(kDay, QTime(9, 0));
    ManualClock clock(now);
    shell::AppContext ctx{home.root(), notifier, std::make_unique<link::FakeSerialPort>(), clock};
    database::writeMissingSchemaFiles(home.root());
    ctx.schemas = database::loadSchemas(home.root());
    PollingRun run(ctx.pollingParts(), kRussian);
    PollStateKeeper keeper(run, home.root());
    keeper.pid = 77;
    keeper.update();
    ASSERT_TRUE(readPollState(home.root()));
    EXPECT_EQ(readPollState(home.root())->written, now);
    EXPECT_EQ(readPollState(home.root())->mode, 0);

    now = now.addSecs(kPollStateHeartbeatSeconds - 1);
    clock.setNow(now);
    emit run.stateChanged(); // nothing changed: the file stays
    EXPECT_EQ(readPollState(home.root())->written, QDateTime(kDay, QTime(9, 0)));
    now = now.addSecs(1);
    clock.setNow(now);
    emit run.stateChanged();
    EXPECT_EQ(readPollState(home.root())->written, now) << "the heartbeat";
    EXPECT_EQ(readPollState(home.root())->pid, 77);
}
