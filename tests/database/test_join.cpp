// The day's join table (rows of polled points and group runs, renumbered when the schedule changes) and
// the request-log row of a poll.
#include "database/JoinTable.h"
#include "database/Storing.h"
#include "support/TestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::database;

namespace {

struct JoinDb {
    test::TempHome home;
    Schemas schemas;
    const QDate today{2024, 3, 10};
    JoinDb() {
        writeMissingSchemaFiles(home.root());
        schemas = loadSchemas(home.root());
    }
    // A current row of scheduled polling, the group padded as the engine writes it; no identifier: the
    // group's summary row.
    void add(const QString& group, int row, QTime begin, const QString& identifier = {}, int mode = 3,
             const char* flag = "0") {
        JoinRow r;
        r.group = group.leftJustified(20);
        r.when = QDateTime(today, begin.addSecs(60));
        r.mode = mode;
        r.begin = begin;
        r.end = begin.addSecs(3600);
        r.scheduleRow = row;
        r.flagModif = QString::fromLatin1(flag);
        r.identifier = identifier.isEmpty() ? r.identifier : identifier;
        r.idJoin = identifier.isEmpty() ? QStringLiteral("2") : r.idJoin;
        ASSERT_EQ(appendJoinRow(home.root(), schemas, r), QString());
    }
    // Number, schedule row and flag of each of the day's rows.
    QStringList state() const {
        QStringList out;
        for (const JoinRow& r : joinRowsOfDay(home.root(), schemas, today))
            out.append(QStringLiteral("%1:%2/%3").arg(r.number).arg(r.scheduleRow).arg(r.flagModif));
        return out;
    }
};

} // namespace

TEST(JoinTable, ARowReadsBackWholeAndEachDayHasItsOwnFile) {
    JoinDb db;
    EXPECT_TRUE(db.state().isEmpty());
    EXPECT_FALSE(QFile::exists(tablePath(db.home.root(), TableKind::Join, {}, db.today))); // not created
    JoinRow r;
    r.group = QStringLiteral("Север").leftJustified(20);
    r.identifier = QStringLiteral("t12345");
    r.model = QStringLiteral("ТАРН-2.01");
    r.serial = QStringLiteral("12345");
    r.when = QDateTime(db.today, QTime(8, 5, 30));
    r.mode = 2;
    r.modeText = QStringLiteral("группа вручную");
    r.scheduleRow = 4;
    r.modified = QTime(8, 6, 1);
    r.result = QStringLiteral("норма");
    r.comment = QStringLiteral("--");
    ASSERT_EQ(appendJoinRow(db.home.root(), db.schemas, r), QString());
    db.add(QStringLiteral("Юг"), 7, QTime(9, 0));
    JoinRow tomorrow = r;
    tomorrow.when = QDateTime(db.today.addDays(1), QTime(0, 10));
    ASSERT_EQ(appendJoinRow(db.home.root(), db.schemas, tomorrow), QString());
    EXPECT_FALSE(appendJoinRow(db.home.root(), db.schemas, JoinRow{}).isEmpty()); // no time, no day

    const QList<JoinRow> rows = joinRowsOfDay(db.home.root(), db.schemas, db.today);
    ASSERT_EQ(rows.size(), 2);
    const JoinRow& a = rows[0];
    EXPECT_EQ(QStringList({a.group, a.identifier, a.model, a.serial, a.modeText, a.flagModif, a.result,
                           a.idJoin, a.comment}),
              QStringList({r.group, r.identifier, r.model, r.serial, r.modeText, "2", r.result, "1", "--"}));
    EXPECT_EQ(QVariantList({a.number, a.when, a.mode, a.scheduleRow, a.modified, a.begin, a.end}),
              QVariantList({2, r.when, 2, 4, QTime(8, 6, 1), QTime(0, 0), QTime(0, 0)})); // no window by hand
    const JoinRow& b = rows[1];
    EXPECT_EQ(QStringList({b.identifier, b.idJoin, b.flagModif}), QStringList({"--", "2", "0"}));
    EXPECT_EQ(QList<QTime>({b.begin, b.end, b.modified}), QList<QTime>({{9, 0}, {10, 0}, {9, 1}}));
    const QList<JoinRow> next = joinRowsOfDay(db.home.root(), db.schemas, db.today.addDays(1));
    ASSERT_EQ(next.size(), 1);
    EXPECT_EQ(next[0].when, tomorrow.when);
}

TEST(JoinTable, ASavedGroupReplacesOnlyItsCurrentRowsAndARebuiltScheduleRenumbers) {
    JoinDb db;
    EXPECT_EQ(markGroupRowsReplaced(db.home.root(), db.schemas, db.today, QStringLiteral("Север")), 0);
    db.add(QStringLiteral("Север"), 1, QTime(8, 0), QStringLiteral("t12345"));
    db.add(QStringLiteral("Север"), 1, QTime(8, 0));
    db.add(QStringLiteral("Юг"), 2, QTime(9, 0), QStringLiteral("t54321"));
    db.add(QStringLiteral("Юг"), 2, QTime(9, 0));
    db.add(QStringLiteral("Запад"), 3, QTime(12, 0));
    db.add(QStringLiteral("Север"), 0, QTime(10, 0), QStringLiteral("t12345"), 2); // by hand
    db.add(QStringLiteral("Север"), 4, QTime(13, 0), {}, 3, "1");                  // replaced already

    // A new group's window now comes first; the western group's window is gone.
    QStringList asked;
    auto renumber = [&](const QString& group, const QTime& begin, const QTime& end) {
        asked.append(group + begin.toString(QStringLiteral(" HH:mm-")) +
                     end.toString(QStringLiteral("HH:mm")));
        if (group == QStringLiteral("Север") && begin == QTime(8, 0)) return 2;
        return group == QStringLiteral("Юг") && begin == QTime(9, 0) ? 2 : 0;
    };
    EXPECT_EQ(renumberScheduledRows(db.home.root(), db.schemas, db.today, renumber), 3);
    EXPECT_EQ(asked.size(), 5);
    EXPECT_EQ(asked.first(), QStringLiteral("Север 08:00-09:00"));
    EXPECT_EQ(db.state(), QStringList({"2:2/0", "3:2/0", "4:2/0", "5:2/0", "6:3/1", "7:0/0", "8:4/1"}));

    EXPECT_EQ(markGroupRowsReplaced(db.home.root(), db.schemas, db.today, QStringLiteral("Север ")), 2);
    EXPECT_EQ(db.state(), QStringList({"2:2/1", "3:2/1", "4:2/0", "5:2/0", "6:3/1", "7:0/0", "8:4/1"}));
}

TEST(RequestLog, APollsTimesAndErrorWithAndWithoutArchives) {
    JoinDb db;
    StoreContext c;
    c.identifier = QStringLiteral("t12345");
    c.sourceKind = 1;
    const QDateTime now(db.today, QTime(12, 0));
    c.poll.connectionBegin = now.addSecs(-95);
    c.poll.connectionEnd = now.addSecs(-5);
    c.poll.clockChecked = now.addSecs(-30);
    c.poll.connectionSeconds = 90;
    c.poll.error = QStringLiteral("нет ответа корректора");
    int parameterFiles = 0;
    c.writeParameterFile = [&parameterFiles](const QString&) { return ++parameterFiles > 0; };
    const StoreResult only = writeRequestLogOnly(db.home.root(), db.schemas, c, now);
    ASSERT_TRUE(only.ok) << only.error.toStdString();
    EXPECT_FALSE(QFile::exists(tablePath(db.home.root(), TableKind::Hourly, c.identifier)));
    EXPECT_EQ(parameterFiles, 0);
    EXPECT_FALSE(writeRequestLogOnly(db.home.root(), db.schemas, StoreContext{}, now).ok);

    struct NoArchives final : ArchiveRows {
        int rowCount(int) const override { return 0; }
        QString cell(int, int, int) const override { return {}; }
    };
    c.poll = {};
    c.poll.gasChecked = now.addSecs(-60);
    ASSERT_TRUE(storeReading(db.home.root(), db.schemas, NoArchives{}, c, {}, now).ok);
    EXPECT_EQ(parameterFiles, 1);

    const QList<FieldSpec>& fields = db.schemas.of(TableKind::RequestLog);
    auto poll = [&fields](const QStringList& row) {
        QStringList cells;
        for (const char* name : {"bQuest", "bDT_Param", "bContrWrGas", "bContrWrTime", "bTmBebConnM",
                                 "bTmEndConnM", "bTmConnect", "bErrConnect", "bDbegHour"})
            for (qsizetype i = 0; i < fields.size(); ++i)
                if (fields[i].name == QLatin1String(name)) cells.append(row.value(i));
        return cells;
    };
    const auto log = storedRows(db.home.root(), db.schemas, TableKind::RequestLog, c.identifier);
    ASSERT_EQ(log.size(), 2);
    const QString none = QStringLiteral("01.01.2000 00:00");
    EXPECT_EQ(poll(log[0]), QStringList({"1", none, none, "10.03.2024 11:59", "10.03.2024 11:58",
                                         "10.03.2024 11:59", "90", "нет ответа корректора", none}));
    EXPECT_EQ(poll(log[1]),
              QStringList({"1", "10.03.2024 12:00", "10.03.2024 11:59", none, none, none, "0", "--", none}));
}
