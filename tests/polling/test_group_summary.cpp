// The group views over the stored tables: the summary selection (intervals, sums, flags, member status,
// repeats, the first ten members' tables, the stop on a missing parameter file), the alarm table with
// its mask file, the member list's late members and a point's last records.
#include "common/Cp1251.h"
#include "common/Language.h"
#include "common/TextFile.h"
#include "corrector/CorrectorFiles.h"
#include "corrector/CorrectorTestSupport.h"
#include "corrector/DeviceValues.h"
#include "database/Registry.h"
#include "database/TableFile.h"
#include "polling/GroupAlarms.h"
#include "polling/GroupSummary.h"
#include "polling/LastRecords.h"
#include "support/ParameterFileSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::polling;
using database::TableKind;

namespace {

const QString kModel = QStringLiteral("ТАРН-2.01");

struct Db {
    test::TempHome home;
    test::RecordingNotifier notifier;
    database::Schemas schemas;
    database::SqliteStorage storage{home.root(), schemas};
    QDateTime now{QDate(2024, 3, 10), QTime(12, 0)};

    Db() {
        database::writeMissingSchemaFiles(home.root());
        schemas = database::loadSchemas(home.root());
    }
    const DataRoot& root() const { return home.root(); }

    // A registered point "t<serial>" and, unless told otherwise, its parameter file.
    QString addPoint(int serial, bool parameterFile = true, const QString& owner = QStringLiteral("Облгаз")) {
        const QString number = QStringLiteral("%1").arg(serial, 5, 10, QLatin1Char('0'));
        database::Point p;
        p.identifier = QLatin1Char('t') + number;
        p.serial = number;
        p.model = kModel;
        p.config[database::config::Owner] = owner;
        p.config[database::config::Flags] = QStringLiteral("01100000000");
        database::Registry registry(root(), schemas);
        EXPECT_TRUE(registry.add(p, now));
        if (parameterFile) writeParameterFile(p.identifier, serial);
        return p.identifier;
    }

    // The parameter file storing leaves: a corrector with that serial number, organisation and pipeline.
    void writeParameterFile(const QString& identifier, int serial) {
        ASSERT_TRUE(test::writeMemberParameterFile(root(), identifier, serial,
                                                   QStringLiteral("Облгаз ") + QString::number(serial),
                                                   QStringLiteral("нитка 1")));
    }

    // A stored hourly or daily record, as storing leaves it; its record time (which orders the rows) is
    // when unless stamp says otherwise.
    void addRecord(TableKind kind, const QString& id, const QDateTime& when, double working,
                   const QString& status = QStringLiteral("---"), double alarmWorking = 0.0,
                   const QDateTime& stamp = {}) {
        const QChar p = database::tableInfo(kind).fieldPrefix;
        auto name = [p](const char* f) { return QString(p) + QLatin1String(f); };
        auto table = database::TableFile::open(database::tablePath(root(), kind, id), kind, schemas.of(kind));
        ASSERT_TRUE(table);
        ASSERT_TRUE(
            table->append({{name("Identif"), id},
                           {name("SerialNum"), id.mid(1)},
                           {name("TypeQuon"), kModel},
                           {name("DateTime"), database::storedTimestamp(now)},
                           {name("NumWrCor"), 1},
                           {name("Date"), database::storedDate(when.date())},
                           {name("Time"), database::storedTime(when.time())},
                           {name("Vwrk"), working},
                           {name("Vst"), working * 2},
                           {name("Valwrk"), alarmWorking},
                           {name("Valst"), 0.0},
                           {name("Help"), status},
                           {name("DT_Corr"), database::storedTimestamp(stamp.isValid() ? stamp : when)},
                           {name("Vwrk_alwrk"), working + alarmWorking},
                           {name("Vst_alwrk"), working * 2}}))
            << table->lastError().toStdString();
    }

    void addAlarm(const QString& id, const QDateTime& when, const char* current, const char* previous) {
        auto table = database::TableFile::open(database::tablePath(root(), TableKind::Alarm, id),
                                               TableKind::Alarm, schemas.of(TableKind::Alarm));
        ASSERT_TRUE(table);
        ASSERT_TRUE(table->append({{QStringLiteral("aIdentif"), id},
                                   {QStringLiteral("aDate"), database::storedDate(when.date())},
                                   {QStringLiteral("aTime"), database::storedTime(when.time())},
                                   {QStringLiteral("aCodeCur"), QString::fromLatin1(current)},
                                   {QStringLiteral("aCodePrec"), QString::fromLatin1(previous)},
                                   {QStringLiteral("aDT_Corr"), database::storedTimestamp(when)}}));
    }

    void addStoring(const QString& id, const QDateTime& when) {
        auto table = database::TableFile::open(database::tablePath(root(), TableKind::RequestLog, id),
                                               TableKind::RequestLog, schemas.of(TableKind::RequestLog));
        ASSERT_TRUE(table);
        ASSERT_TRUE(table->append({{QStringLiteral("bIdentif"), id},
                                   {QStringLiteral("bDateTime"), database::storedTimestamp(when)}}));
    }

    // A group "Юг" of these points, in this order.
    Group saveGroupOf(const QStringList& ids, const QString& name = QStringLiteral("Юг")) {
        database::Registry registry(root(), schemas);
        Group g;
        g.name = name;
        g.flags = QStringLiteral("0110000000");
        for (const QString& line : registry.pollingList())
            g.members.append({ids.contains(line.right(10).trimmed()), line});
        const GroupSaveResult r =
            saveGroup(root(), {{}, {}, g}, kRussian, now, [](const QString&) { return true; });
        EXPECT_TRUE(r.error.isEmpty()) << r.error.toStdString();
        return loadGroup(root(), r.file);
    }

    SummaryRequest daily(const QDate& from, const QDate& to) const {
        SummaryRequest r;
        r.groupName = QStringLiteral("Юг");
        r.archive = SummaryArchive::Daily;
        r.from = QDateTime(from, QTime(0, 0));
        r.to = QDateTime(to, QTime(0, 0));
        return r;
    }
};

QDateTime at(int day, int hour, int minute = 0) {
    return QDateTime(QDate(2024, 3, day), QTime(hour, minute));
}

} // namespace

TEST(GroupSummary, DailyRowsSumMembersOnceWithFlagsAndTellWhichMembersLackData) {
    Db db;
    const QString a = db.addPoint(11111), b = db.addPoint(22222), c = db.addPoint(33333);
    db.saveGroupOf({a, b, c});
    for (int day = 1; day <= 3; ++day)
        db.addRecord(TableKind::Daily, a, at(day, 9), 10.0,
                     day == 2 ? QStringLiteral("--В") : QStringLiteral("---"));
    db.addRecord(TableKind::Daily, b, at(2, 9), 2.5, QStringLiteral("-И-"));
    db.addRecord(TableKind::Daily, b, at(3, 9), 2.5, QStringLiteral("---"), 0.3);
    db.addRecord(TableKind::Daily, b, at(3, 9), 2.5, QStringLiteral("---"), 0.3); // the same record again
    db.addRecord(TableKind::Daily, a, at(4, 9), 100.0);                           // after the period

    GroupSummary s(db.root(), db.storage, db.notifier, kRussian);
    ASSERT_EQ(runGroupSummary(s, db.daily(QDate(2024, 3, 1), QDate(2024, 3, 3))), QString());
    EXPECT_TRUE(s.finished());
    EXPECT_EQ(s.title(), QStringLiteral("\"отчет\" - подготовка данных группы  : \"Юг\""));

    ASSERT_EQ(s.intervals().size(), 3);
    EXPECT_EQ(s.intervals().at(0).cells(false),
              (QStringList{"01.03.2024", "--", "10", "20", "0", "0", "10", "20", "-/-"}));
    EXPECT_EQ(s.intervals().at(1).cells(false),
              (QStringList{"02.03.2024", "--", "12.5", "25", "0", "0", "12.5", "25", "И/В"}));
    EXPECT_EQ(s.intervals().at(2).cells(false),
              (QStringList{"03.03.2024", "--", "12.5", "25", "0.3", "0", "12.8", "25", "-/-"}));

    ASSERT_EQ(s.statuses().size(), 3);
    EXPECT_EQ(s.statuses().at(0).cells(),
              (QStringList{"1", a, "11111", s.statuses().at(0).model, "Облгаз 11111", "нитка 1", "01.03.2024",
                           "03.03.2024", "норма"}));
    EXPECT_FALSE(s.statuses().at(0).model.isEmpty());
    EXPECT_NE(s.statuses().at(0).model, QStringLiteral("--"));
    EXPECT_EQ(s.statuses().at(1).begin, QStringLiteral("02.03.2024"));
    EXPECT_EQ(s.statuses().at(1).end, QStringLiteral("03.03.2024"));
    EXPECT_EQ(s.statuses().at(1).comment, QStringLiteral("мало данных"));
    EXPECT_EQ(s.statuses().at(2).comment, QStringLiteral("нет данных"));
    EXPECT_EQ(s.statuses().at(2).begin, QStringLiteral("--"));

    EXPECT_EQ(s.totals().at(1).cells(), (QStringList{"2", b, "22222", s.statuses().at(1).model, "5", "10",
                                                     "0.3", "0", "5.3", "10", "И/-"}));
    EXPECT_EQ(s.totals().at(2).cells().mid(4), QStringList(7, QStringLiteral("--")));
    EXPECT_TRUE(s.memberTables().isEmpty()); // not asked for by the report
    EXPECT_TRUE(db.notifier.messages.isEmpty());
}

// A record the corrector gave again is known among the last 50 taken, and only there: one that comes back
// after 50 others counts again.
TEST(GroupSummary, ARepeatCountsOnceAmongTheLastFiftyRecordsAndAgainAfterThem) {
    Db db;
    const QString a = db.addPoint(11111);
    db.saveGroupOf({a});
    const QDateTime day(QDate(2024, 3, 2), QTime(10, 0));
    int order = 0;
    auto next = [&] { return day.addSecs(60LL * order++); };
    auto repeated = [&] {
        db.addRecord(TableKind::Daily, a, at(2, 9), 1.0, QStringLiteral("---"), 0.0, next());
    };
    auto other = [&](int k) {
        db.addRecord(TableKind::Daily, a, at(2, 9).addSecs(60LL * k), 0.5, QStringLiteral("---"), 0.0,
                     next());
    };
    repeated();
    repeated(); // at once: a repeat
    for (int k = 1; k <= 48; ++k)
        other(k);
    repeated(); // 48 others later: still a repeat
    other(49);
    repeated(); // 49 others later, the first still the oldest of the 50 kept: a repeat
    other(50);
    repeated(); // the first has now been pushed out by 50 others: counted again
    repeated(); // and is known again at once

    GroupSummary s(db.root(), db.storage, db.notifier, kRussian);
    ASSERT_EQ(runGroupSummary(s, db.daily(QDate(2024, 3, 2), QDate(2024, 3, 2))), QString());
    ASSERT_EQ(s.intervals().size(), 1);
    // Twice 1.0 and fifty times 0.5.
    EXPECT_EQ(s.intervals().at(0).sums.values[0], 27.0);
    EXPECT_EQ(s.totals().at(0).sums.values[0], 27.0);
}

TEST(GroupSummary, HourlyRowsFollowTheHourAndRoundVolumesButNotTheirTotals) {
    Db db;
    const QString a = db.addPoint(11111);
    db.saveGroupOf({a});
    db.addRecord(TableKind::Hourly, a, at(1, 10), 1.0);
    db.addRecord(TableKind::Hourly, a, at(1, 11, 30), 0.046); // to two decimals 0.05
    db.addRecord(TableKind::Hourly, a, at(1, 12), 1.0);
    SummaryRequest r = db.daily(QDate(2024, 3, 1), QDate(2024, 3, 1));
    r.archive = SummaryArchive::Hourly;
    r.caller = SummaryCaller::Graph;
    r.from = at(1, 10);
    r.to = at(1, 12);

    GroupSummary s(db.root(), db.storage, db.notifier, kUkrainian);
    ASSERT_EQ(s.open(r), QString());
    EXPECT_EQ(s.periodBegin(), QStringLiteral("01.03.2024 10:00"));
    EXPECT_EQ(s.memberCount(), 1);
    EXPECT_FALSE(s.step()); // one member: done in one step
    EXPECT_TRUE(s.finished());
    ASSERT_EQ(s.intervals().size(), 3);
    const QStringList half = s.intervals().at(1).cells(true);
    EXPECT_EQ(half.mid(0, 3), (QStringList{"01.03.2024", "11:00", "0.1"}));
    EXPECT_EQ(half.at(6), QStringLiteral("0")); // 0.046 + 0, not rounded first
    EXPECT_EQ(s.statuses().at(0).begin, QStringLiteral("01.03.2024 10:00"));
    EXPECT_EQ(s.statuses().at(0).comment, QStringLiteral("норма"));
    // The graph always has the members' own tables: the record's own time and its rounded volumes.
    ASSERT_EQ(s.memberTables().size(), 1);
    EXPECT_EQ(s.memberTables().at(0).at(1).mid(0, 3), (QStringList{"01.03.2024", "11:30", "0.05"}));
}

TEST(GroupSummary, TheEleventhMemberSumsButHasNoTableOfItsOwn) {
    Db db;
    QStringList ids;
    for (int i = 1; i <= 11; ++i) {
        ids.append(db.addPoint(10000 + i));
        db.addRecord(TableKind::Daily, ids.last(), at(1, 9), 1.0,
                     i == 11 ? QStringLiteral("-ИВ") : QStringLiteral("---"));
    }
    db.saveGroupOf(ids);
    SummaryRequest r = db.daily(QDate(2024, 3, 1), QDate(2024, 3, 1));
    r.memberTables = true;
    GroupSummary s(db.root(), db.storage, db.notifier, kRussian);
    ASSERT_EQ(runGroupSummary(s, r), QString());
    EXPECT_EQ(s.intervals().at(0).cells(false).mid(2),
              (QStringList{"11", "22", "0", "0", "11", "22", "И/В"}));
    ASSERT_EQ(s.memberTables().size(), kMemberTables);
    EXPECT_EQ(s.memberTables().at(9).at(0),
              (QStringList{"01.03.2024", "09:00", "1", "2", "0", "0", "1", "2", "-/-"}));
    EXPECT_EQ(s.totals().at(10).cells().mid(4), (QStringList{"1", "2", "0", "0", "1", "2", "И/В"}));
}

TEST(GroupSummary, RefusesABackwardPeriodOrNoGroupAndStopsAtAMissingParameterFile) {
    Db db;
    const QString a = db.addPoint(11111), b = db.addPoint(12346, false);
    db.saveGroupOf({a, b});
    db.addRecord(TableKind::Daily, a, at(1, 9), 4.0);
    GroupSummary s(db.root(), db.storage, db.notifier, kRussian);
    EXPECT_EQ(s.open(db.daily(QDate(2024, 3, 2), QDate(2024, 3, 1))),
              QStringLiteral("Ошибка выбранного периода"));
    GroupSummary ua(db.root(), db.storage, db.notifier, kUkrainian);
    EXPECT_EQ(ua.open(db.daily(QDate(2024, 3, 2), QDate(2024, 3, 1))),
              QStringLiteral("Помилка вибраного періоду"));
    SummaryRequest unnamed = db.daily(QDate(2024, 3, 1), QDate(2024, 3, 1));
    unnamed.groupName = QStringLiteral("   ");
    EXPECT_EQ(s.open(unnamed), QStringLiteral("Не выбрана группа!!!"));
    EXPECT_EQ(ua.open(unnamed), QStringLiteral("Не вибрано групу!!!"));

    const QString stop = QStringLiteral("Внимание!!! Нет файла параметров для корректора - ТАРН-2.01 N12346");
    EXPECT_EQ(runGroupSummary(s, db.daily(QDate(2024, 3, 1), QDate(2024, 3, 1))), stop);
    EXPECT_FALSE(s.finished());
    EXPECT_FALSE(s.step());
    EXPECT_EQ(s.membersDone(), 1);
    EXPECT_EQ(s.intervals().at(0).cells(false).at(2), QStringLiteral("4")); // what was taken stays
    EXPECT_EQ(db.notifier.texts(), QStringList{stop});

    // A cancel between steps: nothing more is taken.
    GroupSummary c(db.root(), db.storage, db.notifier, kRussian);
    ASSERT_EQ(c.open(db.daily(QDate(2024, 3, 1), QDate(2024, 3, 1))), QString());
    c.cancel();
    EXPECT_FALSE(c.step());
    EXPECT_EQ(c.membersDone(), 0);
}

TEST(GroupAlarms, TheMaskFileDefaultsAndAWrongLengthChoosesNothing) {
    Db db;
    AlarmMask m = loadAlarmMask(db.root());
    EXPECT_TRUE(m.fullList);
    EXPECT_TRUE(m.legend);
    EXPECT_EQ(m.chosenSituations().size(), 15);
    EXPECT_FALSE(m.chosen(15));
    m.fullList = false;
    m.situations.fill(false);
    m.situations[3] = m.situations[14] = m.situations[15] = true;
    ASSERT_TRUE(saveAlarmMask(db.root(), m));
    EXPECT_EQ(db.home.read(folder::Current, QStringLiteral("mask_nhs.000")),
              QByteArray("0\r\n1\r\n0001000000000001\r\n"));
    EXPECT_EQ(loadAlarmMask(db.root()).chosenSituations(), (QList<int>{4, 16}));
    db.home.write(folder::Current, QStringLiteral("mask_nhs.000"), "1\r\n0\r\n111\r\n");
    const AlarmMask shortLine = loadAlarmMask(db.root());
    EXPECT_TRUE(shortLine.chosenSituations().isEmpty());
    EXPECT_FALSE(shortLine.legend);
}

TEST(GroupAlarms, TheTableMarksWhatOccurredAtEachMember) {
    Db db;
    const QString a = db.addPoint(11111), b = db.addPoint(22222);
    db.saveGroupOf({a, b});
    db.addAlarm(a, at(1, 10), "0010", "0000"); // situation 4 begins
    db.addAlarm(a, at(1, 11), "0000", "8000"); // situation 16 had been on
    db.addAlarm(b, at(5, 10), "0001", "0000"); // after the period
    AlarmMask m = defaultAlarmMask();
    m.situations.fill(false);
    m.situations[0] = m.situations[3] = m.situations[15] = true;

    GroupAlarmTable t = groupAlarmTable(db.root(), db.storage, db.notifier, kRussian, QStringLiteral("Юг"),
                                        at(1, 0), at(2, 0), m);
    ASSERT_TRUE(t.failure.isEmpty());
    ASSERT_EQ(t.lines.size(), 4 + 3 + 4);
    EXPECT_EQ(t.lines.at(0), QStringLiteral("           Номера аварийной ситуации в таблице:"));
    EXPECT_EQ(t.lines.at(2),
              QStringLiteral("Откл.преобраз.темпер.(работа по Tconst)..............") + " - 04");
    const QString header =
        QStringLiteral("корректор    N    организация              ветка          010416|");
    EXPECT_EQ(t.lines.at(5), header);
    EXPECT_EQ(t.lines.at(4),
              QLatin1Char('|') + QString(header.size() - 2, QLatin1Char('-')) + QLatin1Char('|'));
    EXPECT_TRUE(t.lines.at(7).endsWith(QStringLiteral("Облгаз 11111             нитка 1        - * * |")));
    EXPECT_TRUE(t.lines.at(9).endsWith(QStringLiteral("- - - |")));

    // Only the members with a chosen situation, and none had one.
    m.fullList = false;
    m.legend = false;
    m.situations.fill(false);
    m.situations[1] = true;
    t = groupAlarmTable(db.root(), db.storage, db.notifier, kUkrainian, QStringLiteral("Юг"), at(1, 0),
                        at(2, 0), m);
    EXPECT_EQ(t.lines.size(), 4);
    EXPECT_EQ(t.lines.last(), QStringLiteral(" **записів не було**"));

    const QString c = db.addPoint(33333, false);
    db.saveGroupOf({a, c}, QStringLiteral("Север"));
    t = groupAlarmTable(db.root(), db.storage, db.notifier, kRussian, QStringLiteral("Север"), at(1, 0),
                        at(2, 0), m);
    EXPECT_TRUE(t.stopped);
    EXPECT_EQ(t.failure,
              QStringLiteral("Внимание!!! Нет файла параметров для корректора - ТАРН-2.01 N33333"));
}

TEST(MemberList, AMemberLaggingMoreThanTenMinutesAMemberIsRed) {
    Db db;
    QStringList ids;
    for (int i = 1; i <= 6; ++i)
        ids.append(db.addPoint(20000 + i, false,
                               i == 1 ? QStringLiteral("Очень длинное имя владельца точки учета")
                                      : QStringLiteral("Облгаз")));
    db.addStoring(ids[0], at(1, 12));
    db.addStoring(ids[1], at(1, 11, 5));
    db.addStoring(ids[2], at(1, 10, 59));
    db.addStoring(ids[3], at(1, 9));
    db.addStoring(ids[3], at(1, 11, 30)); // the last row counts
    db.addStoring(ids[4], at(1, 11));     // exactly the tolerance behind
    const Group g = db.saveGroupOf(ids);
    const database::Registry registry(db.root(), db.schemas);
    const GroupMemberList list = groupMemberList(db.storage, registry, g);
    EXPECT_EQ(list.title, QStringLiteral("Группа - \"Юг\""));
    ASSERT_EQ(list.lines.size(), 6);
    QList<bool> late;
    for (const MemberListLine& l : list.lines)
        late.append(l.late);
    EXPECT_EQ(late, (QList<bool>{false, false, true, false, false, true}));
    EXPECT_EQ(list.lines.at(0).text,
              QStringLiteral("|1  |ТАРН-2.01   |20001    |Очень длинное имя владельца точк|"
                             "01.03.2024 12:00:00|"));
    EXPECT_EQ(list.lines.at(5).text.right(21), QStringLiteral("|--                 |"));
    EXPECT_EQ(list.lines.at(0).text.size(), list.banner.at(1).size());
    EXPECT_EQ(pointOfMemberLine(list.lines.at(1).text),
              std::make_pair(QStringLiteral("ТАРН-2.01"), QStringLiteral("20002")));
    EXPECT_FALSE(pointOfMemberLine(QStringLiteral("|   |            |")).has_value());
    EXPECT_EQ(lateToleranceMinutes(6), 60);
    EXPECT_EQ(lateToleranceMinutes(150), 23 * 60); // 25 hours: the hours stop at 23
}

TEST(LastRecords, EachTableGivesWhenItWasStoredAndItsOwnRecordTime) {
    Db db;
    const QString a = db.addPoint(11111, false, QStringLiteral("Облгаз"));
    db.addRecord(TableKind::Hourly, a, at(1, 10), 1.0);
    db.addRecord(TableKind::Hourly, a, at(1, 11), 1.0);
    db.addStoring(a, at(1, 12));
    const database::Registry registry(db.root(), db.schemas);
    EXPECT_FALSE(lastRecordsOf(db.storage, registry, QStringLiteral("t99999")).has_value());
    const auto view = lastRecordsOf(db.storage, registry, a);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->title, QStringLiteral("ТАРН-2.01 №11111 владелец:Облгаз"));
    ASSERT_EQ(view->rows.size(), kLastRecordsRows);
    EXPECT_EQ(view->rows.at(1), (LastRecordsRow{"часовой архив", "10.03.2024 12:00:00", "01.03.2024 11:00"}));
    EXPECT_EQ(view->rows.at(2), (LastRecordsRow{"суточный архив", "--", "--"}));
    EXPECT_EQ(view->rows.at(9), (LastRecordsRow{"последний опрос", "01.03.2024 12:00:00", "--"}));
    const QStringList file = lastRecordsFileLines(*view);
    ASSERT_EQ(file.size(), 3 + 2 * kLastRecordsRows);
    EXPECT_EQ(file.at(0), QStringLiteral("Время последних записей в архивах прибора:"));
    EXPECT_EQ(file.at(2), QString(70, QLatin1Char('-')));
    EXPECT_EQ(file.at(5),
              QStringLiteral("|часовой архив       |10.03.2024 12:00:00    |01.03.2024 11:00       |"));
    EXPECT_EQ(lastRecordsFileName(a, QDate(2024, 3, 9)), QStringLiteral("t11111_240309"));
}
