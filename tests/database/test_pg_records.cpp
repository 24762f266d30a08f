// A corrector record is one row however often it is stored: the unique key of (point, record number,
// record time) makes a second store of the same reading a no-op under ON CONFLICT DO NOTHING, while
// another point's record, or the same number at another time (the corrector's numbers wrap around),
// is a record of its own. The selections by a point's time span have their indexes.
#include "PgTestSupport.h"
#include "database/Schema.h"
#include "database/postgres/PgLayout.h"

#include <QDateTime>
#include <algorithm>
#include <gtest/gtest.h>
#include <time.h>

using namespace tarn;
using namespace tarn::database;
using namespace tarn::database::postgres;

namespace {

class PgRecords : public test::PgTest {};

// The kinds whose rows are corrector records: those with a record number.
QList<TableKind> recordKinds() {
    QList<TableKind> kinds;
    for (int k = 0; k < kTableKinds; ++k) {
        const auto kind = static_cast<TableKind>(k);
        for (const FieldSpec& f : defaultFields(kind))
            if (f.name.mid(1) == QLatin1String("NumWrCor")) kinds.append(kind);
    }
    return kinds;
}

} // namespace

TEST_F(PgRecords, AReadingStoredTwiceKeepsEachRecordOnce) {
    const DatabaseUrl url = freshSchema();
    Error error;
    auto connection = PgConnection::open(url, &error);
    ASSERT_TRUE(connection) << error.detail.toStdString();
    const QList<TableKind> kinds = recordKinds();
    // Hourly, daily, monthly, interventions, alarms, operative, service and both heat tables.
    ASSERT_EQ(kinds.size(), 9);

    const QDateTime recordTime(QDate(2024, 3, 1), QTime(10, 0));
    for (const TableKind kind : kinds) {
        const QString table = tableName(kind);
        const QString p(tableInfo(kind).fieldPrefix);
        SCOPED_TRACE(table.toStdString());
        QSqlQuery q(connection->database());
        auto store = [&](const QString& point, int number, const QVariant& time, bool ignoreRepeats) {
            q.prepare(
                QStringLiteral("INSERT INTO %1 (point, %2identif, %2numwrcor, %2date, %2time, %2dt_corr) "
                               "VALUES (?, ?, ?, ?, ?, ?)%3")
                    .arg(table, p, ignoreRepeats ? QStringLiteral(" ON CONFLICT DO NOTHING") : QString()));
            q.addBindValue(point);
            q.addBindValue(point);
            q.addBindValue(number);
            q.addBindValue(recordTime.date());
            q.addBindValue(recordTime.time());
            q.addBindValue(time);
            return q.exec() ? q.numRowsAffected() : -1;
        };
        EXPECT_EQ(store(QStringLiteral("A12345"), 17, recordTime, true), 1);
        EXPECT_EQ(store(QStringLiteral("A12345"), 17, recordTime, true), 0);
        // The key, not the clause, keeps it out: without the clause the repeat is an error.
        EXPECT_EQ(store(QStringLiteral("A12345"), 17, recordTime, false), -1);
        EXPECT_EQ(q.lastError().nativeErrorCode(), "23505") << q.lastError().text().toStdString();
        // Records of their own.
        EXPECT_EQ(store(QStringLiteral("B54321"), 17, recordTime, true), 1);
        EXPECT_EQ(store(QStringLiteral("A12345"), 17, recordTime.addYears(1), true), 1);
        // A record whose time did not decode still meets its repeat.
        const QVariant noTime(QMetaType::fromType<QDateTime>());
        EXPECT_EQ(store(QStringLiteral("A12345"), 18, noTime, true), 1);
        EXPECT_EQ(store(QStringLiteral("A12345"), 18, noTime, true), 0);

        EXPECT_EQ(
            rows(QStringLiteral("SELECT point, %1numwrcor, %1dt_corr FROM %2.%3 ORDER BY point, %1numwrcor, "
                                "%1dt_corr")
                     .arg(p, quotedIdentifier(url.schema), table)),
            (QStringList{QStringLiteral("A12345|17|2024-03-01T10:00:00.000"),
                         QStringLiteral("A12345|17|2025-03-01T10:00:00.000"),
                         QStringLiteral("A12345|18|NULL"),
                         QStringLiteral("B54321|17|2024-03-01T10:00:00.000")}));
    }
}

TEST_F(PgRecords, APointsTimeSpanSelectionsHaveTheirIndexes) {
    const DatabaseUrl url = freshSchema();
    Error error;
    ASSERT_TRUE(PgConnection::open(url, &error)) << error.detail.toStdString();
    // The columns of every index, as "table(col, col)"; a selection by the leading ones is served by it.
    QStringList indexes;
    for (const QString& row :
         rows(QStringLiteral(
                  "SELECT t.relname, (SELECT string_agg(a.attname, ', ' ORDER BY k.n) FROM "
                  "unnest(i.indkey) WITH ORDINALITY AS k(attnum, n) JOIN pg_attribute a ON "
                  "a.attrelid = t.oid AND a.attnum = k.attnum) FROM pg_index i "
                  "JOIN pg_class t ON t.oid = i.indrelid JOIN pg_namespace n ON n.oid = t.relnamespace "
                  "WHERE n.nspname = ?"),
              {url.schema})) {
        const QStringList parts = row.split(QLatin1Char('|'));
        indexes.append(parts.at(0) + QLatin1Char('(') + parts.at(1) + QLatin1Char(')'));
    }
    auto led = [&indexes](const QString& tableAndColumns) {
        const QString open = tableAndColumns.chopped(1);
        return std::any_of(indexes.begin(), indexes.end(), [&](const QString& index) {
            return index == tableAndColumns || index.startsWith(open + QStringLiteral(", "));
        });
    };
    for (const TableKind kind : recordKinds()) {
        const QString table = tableName(kind);
        const QString p(tableInfo(kind).fieldPrefix);
        EXPECT_TRUE(led(QStringLiteral("%1(point, %2dt_corr)").arg(table, p))) << table.toStdString();
        EXPECT_TRUE(led(QStringLiteral("%1(point, %2date)").arg(table, p))) << table.toStdString();
    }
    EXPECT_TRUE(led(QStringLiteral("measurement(point, idatetime)")));
    EXPECT_TRUE(led(QStringLiteral("request_log(point, bdatetime)")));
    EXPECT_TRUE(led(QStringLiteral("join_table(day, jidentif)")));
    EXPECT_TRUE(led(QStringLiteral("registry(kidentif)")));
}

TEST_F(PgRecords, WallTimesComeBackAsStoredWhateverTheComputersZone) {
    // The test server's zone is UTC; this computer's is set two and three hours east of it (winter and
    // summer), where a stored time that followed either zone's offset would come back shifted.
    const QByteArray zoneBefore = qgetenv("TZ");
    qputenv("TZ", "Europe/Kyiv");
    tzset();
    const DatabaseUrl url = freshSchema();
    Error error;
    auto connection = PgConnection::open(url, &error);
    const QDateTime winter(QDate(2024, 1, 15), QTime(10, 0));
    const QDateTime summer(QDate(2024, 7, 1), QTime(10, 0));
    QList<QDateTime> back;
    if (connection) {
        QSqlQuery q(connection->database());
        int number = 0;
        for (const QDateTime& t : {winter, summer}) {
            q.prepare(QStringLiteral(
                "INSERT INTO hourly (point, hnumwrcor, hdt_corr, hdate, htime) VALUES (?, ?, ?, ?, ?)"));
            q.addBindValue(QStringLiteral("A12345"));
            q.addBindValue(++number);
            q.addBindValue(t);
            q.addBindValue(t.date());
            q.addBindValue(t.time());
            EXPECT_TRUE(q.exec()) << q.lastError().text().toStdString();
        }
        EXPECT_TRUE(q.exec(QStringLiteral("SELECT hdt_corr FROM hourly ORDER BY hnumwrcor")));
        while (q.next())
            back.append(q.value(0).toDateTime());
    }
    connection.reset();
    if (zoneBefore.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", zoneBefore);
    tzset();

    ASSERT_TRUE(error.ok()) << error.detail.toStdString();
    // As the server holds them, read in its own zone, and as the program reads them back.
    EXPECT_EQ(rows(QStringLiteral(
                       "SELECT hdt_corr::text, hdate::text, htime::text FROM %1.hourly ORDER BY hnumwrcor")
                       .arg(quotedIdentifier(url.schema))),
              (QStringList{QStringLiteral("2024-01-15 10:00:00|2024-01-15|10:00:00"),
                           QStringLiteral("2024-07-01 10:00:00|2024-07-01|10:00:00")}));
    ASSERT_EQ(back.size(), 2);
    EXPECT_EQ(back.at(0).date(), winter.date());
    EXPECT_EQ(back.at(0).time(), winter.time());
    EXPECT_EQ(back.at(1).time(), summer.time());
}
