// The storage contract on a real server, and what only the server's storage has to get right: many
// points in one table, the values read back as the table files hold them, the conditions written for the
// files, and a lost connection.
#include "database/PgTestSupport.h"
#include "database/StorageContract.h"
#include "database/postgres/PgLayout.h"
#include "database/postgres/PgStorage.h"

#include <QSqlRecord>
#include <QThread>
#include <atomic>
#include <mutex>

using namespace tarn;
using namespace tarn::database;
using namespace tarn::database::postgres;
using namespace tarn::test::contract;

namespace {

// A fresh schema on the test server.
class PgBackend {
public:
    QString start() {
        const QString unavailable = server_.connect();
        if (!unavailable.isEmpty()) return unavailable;
        url_ = server_.freshSchema();
        Error why;
        storage_ = PgStorage::open(url_, schemas_, why);
        if (!storage_) {
            ADD_FAILURE() << "cannot open the storage: " << why.detail.toStdString();
            return why.detail;
        }
        return {};
    }
    Storage& storage() { return *storage_; }
    const DataRoot& files() const { return home_.root(); }
    const DatabaseUrl& url() const { return url_; }
    test::PgServer& server() { return server_; }

    // Another program's transaction holding the kind's table against every change until it ends, as
    // a maintenance job on the server would.
    std::shared_ptr<void> holdForWriting(const TableId& id) {
        struct Holder {
            std::unique_ptr<PgConnection> connection;
            ~Holder() { connection->database().rollback(); }
        };
        Error why;
        auto connection = PgConnection::open(url_, &why);
        if (!connection || !connection->database().transaction()) return nullptr;
        QSqlQuery q(connection->database());
        if (!q.exec(QStringLiteral("LOCK TABLE ") + tableName(id.kind) +
                    QStringLiteral(" IN EXCLUSIVE MODE")))
            return nullptr;
        auto holder = std::make_shared<Holder>();
        holder->connection = std::move(connection);
        return holder;
    }
    // The kind's table gone from where the program laid it out, as a schema someone altered by hand.
    bool damage(const TableId& id) {
        QSqlQuery q(server_.admin());
        return q.exec(QStringLiteral("ALTER TABLE ") + quotedIdentifier(url_.schema) + QLatin1Char('.') +
                      tableName(id.kind) + QStringLiteral(" RENAME TO unreadable"));
    }

private:
    test::PgServer server_;
    test::TempHome home_;
    Schemas schemas_ = shippedSchemas();
    DatabaseUrl url_;
    std::unique_ptr<PgStorage> storage_;
};

class PgStorageTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QString unavailable = backend_.start();
        if (!unavailable.isEmpty()) GTEST_SKIP() << unavailable.toStdString();
    }
    Storage& storage() { return backend_.storage(); }

    // The rows of a query on the test's own connection, in the schema, each row's values joined by "|".
    QStringList serverRows(const QString& sql, const QVariantList& values = {}) {
        QSqlQuery q(backend_.server().admin());
        EXPECT_TRUE(q.exec(QStringLiteral("SET search_path TO ") + quotedIdentifier(backend_.url().schema)));
        q.prepare(sql);
        for (const QVariant& v : values)
            q.addBindValue(v);
        EXPECT_TRUE(q.exec()) << sql.toStdString() << ": " << q.lastError().text().toStdString();
        QStringList out;
        while (q.next()) {
            QStringList row;
            for (int i = 0; i < q.record().count(); ++i)
                row.append(q.value(i).isNull() ? QStringLiteral("NULL") : q.value(i).toString());
            out.append(row.join(QLatin1Char('|')));
        }
        return out;
    }

    PgBackend backend_;
};

const QString kOther = QStringLiteral("t54321");

QVariantMap hourlyOf(const QString& point, int number, const QDateTime& when, double volume) {
    QVariantMap row = hourlyRow(number, when, volume);
    row.insert(QStringLiteral("hIdentif"), point);
    return row;
}

} // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(Postgres, StorageContract, PgBackend);

TEST_F(PgStorageTest, PointsShareATableButNeverTheirRows) {
    Error why;
    auto mine = storage().openPoint(TableKind::Hourly, kPoint, why, kNow);
    ASSERT_TRUE(mine) << why.detail.toStdString();
    auto theirs = storage().openPoint(TableKind::Hourly, kOther, why, kNow);
    ASSERT_TRUE(theirs) << why.detail.toStdString();
    const QDateTime t0(QDate(2025, 3, 1), QTime(10, 0));
    // The same record number and time at two points are two records.
    ASSERT_TRUE(mine->append(hourlyOf(kPoint, 1, t0, 1.0)));
    ASSERT_TRUE(theirs->append(hourlyOf(kOther, 1, t0, 9.0)));
    ASSERT_TRUE(mine->append(hourlyOf(kPoint, 2, t0.addSecs(3600), 2.0)));
    // A second store of one record at one point writes nothing and is no failure.
    EXPECT_TRUE(mine->append(hourlyOf(kPoint, 2, t0.addSecs(3600), 2.5)));

    EXPECT_EQ(column(*mine, mine->select(), QStringLiteral("hVwrk")),
              (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
    EXPECT_EQ(column(*theirs, theirs->select(), QStringLiteral("hVwrk")), QStringList{QStringLiteral("9")});
    // A point's newest row is its own, though the other point wrote after it.
    ASSERT_TRUE(theirs->append(hourlyOf(kOther, 5, t0.addDays(3), 5.0)));
    EXPECT_EQ(column(*mine, mine->selectGreatest(QStringLiteral("hNum")), QStringLiteral("hNumWrCor")),
              QStringList{QStringLiteral("2")});
    // Numbers grow in the order each point's rows were written.
    const QStringList numbers = column(*mine, mine->select(), QStringLiteral("hNum"));
    ASSERT_EQ(numbers.size(), 2);
    EXPECT_LT(numbers.first().toLongLong(), numbers.last().toLongLong());

    // Changes by key keep to the point.
    EXPECT_TRUE(
        mine->update(QStringLiteral("hNumWrCor"), 1, QStringLiteral("hComment"), QStringLiteral("seen")));
    EXPECT_TRUE(mine->remove(QStringLiteral("hNumWrCor"), 2));
    EXPECT_EQ(serverRows(QStringLiteral("SELECT point, hnumwrcor, hcomment FROM hourly WHERE hidentif <> '0' "
                                        "ORDER BY point, hnumwrcor")),
              (QStringList{QStringLiteral("t12345|1|seen"), QStringLiteral("t54321|1|"),
                           QStringLiteral("t54321|5|")}));

    // Each point's table was made with its seed record; erasing one point takes its rows and its seed.
    EXPECT_EQ(serverRows(QStringLiteral("SELECT point FROM hourly WHERE hidentif = '0' ORDER BY point")),
              (QStringList{kPoint, kOther}));
    mine.reset();
    EXPECT_TRUE(storage().erasePointTable(TableKind::Hourly, kPoint).ok());
    EXPECT_EQ(serverRows(QStringLiteral("SELECT DISTINCT point FROM hourly")), QStringList{kOther});
}

TEST_F(PgStorageTest, ValuesComeBackAsTheTableFilesHoldThem) {
    Error why;
    auto table = storage().openPoint(TableKind::Hourly, kPoint, why, kNow);
    ASSERT_TRUE(table) << why.detail.toStdString();
    const QDateTime t0(QDate(2025, 3, 1), QTime(10, 5, 7));
    ASSERT_TRUE(table->append(hourlyRow(1, t0, 1.5)));
    // Dates and times given as values rather than text are kept the same way.
    ASSERT_TRUE(table->append({{QStringLiteral("hIdentif"), kPoint},
                               {QStringLiteral("hNumWrCor"), 2},
                               {QStringLiteral("hDate"), t0.date().addDays(1)},
                               {QStringLiteral("hTime"), t0.time()},
                               {QStringLiteral("hDT_Corr"), t0.addDays(1)},
                               {QStringLiteral("hVwrk"), QString()}}));

    const auto rows = table->trySelect({}, {}, QStringLiteral("\"hNumWrCor\""));
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 2);
    const QVariantList& first = rows->first();
    EXPECT_EQ(first.at(table->position(QStringLiteral("hDate"))), QVariant(QStringLiteral("2025-03-01")));
    EXPECT_EQ(first.at(table->position(QStringLiteral("hTime"))), QVariant(QStringLiteral("10:05:07")));
    EXPECT_EQ(first.at(table->position(QStringLiteral("hDT_Corr"))),
              QVariant(QStringLiteral("2025-03-01T10:05:07")));
    EXPECT_EQ(first.at(table->position(QStringLiteral("hVwrk"))).toDouble(), 1.5);
    // A text never given is empty text, a number never given no value.
    EXPECT_EQ(first.at(table->position(QStringLiteral("hComment"))), QVariant(QStringLiteral("")));
    EXPECT_TRUE(rows->last().at(table->position(QStringLiteral("hVwrk"))).isNull());
    EXPECT_EQ(rows->last().at(table->position(QStringLiteral("hDT_Corr"))),
              QVariant(QStringLiteral("2025-03-02T10:05:07")));

    // The server holds them as its own dates and times, read here by its own types.
    EXPECT_EQ(serverRows(QStringLiteral("SELECT hdate = DATE '2025-03-01', htime = TIME '10:05:07', "
                                        "hdt_corr = TIMESTAMP '2025-03-01 10:05:07' FROM hourly "
                                        "WHERE point = ? AND hnumwrcor = 1"),
                         {kPoint}),
              QStringList{QStringLiteral("true|true|true")});

    // A listing names its columns as the fields and carries the same values.
    auto listing = table->listing();
    ASSERT_TRUE(listing);
    const QSqlRecord record = listing->record();
    ASSERT_EQ(record.count(), table->fields().size());
    for (int i = 0; i < record.count(); ++i)
        EXPECT_EQ(record.fieldName(i), table->fields().at(i).name);
    ASSERT_TRUE(listing->next());
    // A field never written is NULL in both (the driver's typed null in the listing, an empty value in a
    // selection, as the table files give it).
    for (int i = 0; i < record.count(); ++i) {
        EXPECT_EQ(listing->isNull(i), first.at(i).isNull()) << record.fieldName(i).toStdString();
        if (!listing->isNull(i)) {
            EXPECT_EQ(listing->value(i), first.at(i)) << record.fieldName(i).toStdString();
        }
    }
    ASSERT_TRUE(listing->next());
    EXPECT_FALSE(listing->next()); // the seed record is no row of the listing
}

TEST_F(PgStorageTest, ConditionsWrittenForTheTableFilesMeanTheSame) {
    Error why;
    auto registry = storage().openShared(TableKind::Registry, why);
    ASSERT_TRUE(registry) << why.detail.toStdString();
    for (const char* serial : {"AB-100", "ab-200", "CD-300", "it's?"})
        ASSERT_TRUE(
            registry->append({{QStringLiteral("kIdentif"), QStringLiteral("t") + QLatin1String(serial)},
                              {QStringLiteral("kSerialNum"), QString::fromLatin1(serial)}}));
    auto serials = [&](const QString& condition, const QVariantList& values) {
        const auto rows = registry->trySelect(condition, values, QStringLiteral("\"KSERIALNUM\" DESC"));
        EXPECT_TRUE(rows) << registry->lastError().toStdString();
        return column(*registry, rows.value_or(QList<QVariantList>()), QStringLiteral("kSerialNum"));
    };
    // A quoted field in another letter case, and LIKE regardless of letter case, as the files take them.
    EXPECT_EQ(serials(QStringLiteral("\"kSerialNum\" LIKE ?"), {QStringLiteral("ab%")}),
              (QStringList{QStringLiteral("ab-200"), QStringLiteral("AB-100")}));
    EXPECT_EQ(serials(QStringLiteral("\"kserialnum\" NOT LIKE ? AND \"kSerialNum\" <> 'it''s?'"),
                      {QStringLiteral("AB%")}),
              QStringList{QStringLiteral("CD-300")});
    // A quoted text keeps its "?" and its letter case: it is no placeholder and no field.
    EXPECT_EQ(serials(QStringLiteral("\"kSerialNum\" = 'it''s?' OR \"kSerialNum\" = ?"),
                      {QStringLiteral("CD-300")}),
              (QStringList{QStringLiteral("it's?"), QStringLiteral("CD-300")}));
    // A field the table lacks fails, and says so, rather than reading as no rows.
    EXPECT_FALSE(registry->trySelect(QStringLiteral("\"kNoSuchField\" = ?"), {1}));
    EXPECT_EQ(registry->lastFailure().kind, ErrorKind::Invalid) << registry->lastError().toStdString();
}

TEST_F(PgStorageTest, ALostConnectionIsNoLink) {
    Error why;
    auto table = storage().openPoint(TableKind::Hourly, kPoint, why, kNow);
    ASSERT_TRUE(table) << why.detail.toStdString();
    ASSERT_TRUE(table->append(hourlyRow(1, kNow, 1)));
    // The server ends every connection of this installation, as a restart or a dropped line would.
    EXPECT_FALSE(serverRows(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                           "WHERE application_name = ?"),
                            {QStringLiteral("tarn/") + backend_.url().schema})
                     .isEmpty());
    EXPECT_FALSE(table->trySelect());
    EXPECT_EQ(table->lastFailure().kind, ErrorKind::NoLink) << table->lastError().toStdString();
    EXPECT_FALSE(table->append(hourlyRow(2, kNow, 2)));
    EXPECT_EQ(table->lastFailure().kind, ErrorKind::NoLink) << table->lastError().toStdString();
    // The server is still there: the next table opened connects again and finds what was stored.
    table.reset();
    auto again = storage().openExisting(kHourly, why);
    ASSERT_TRUE(again) << why.detail.toStdString();
    EXPECT_EQ(column(*again, again->select(), QStringLiteral("hNumWrCor")), QStringList{QStringLiteral("1")});
}

// Window work opens tables on background workers while the window's thread keeps using the storage. Each
// worker's tables, and its questions to the storage, must run on connections of its own thread: a
// connection used from two threads at once fails or mixes their statements and transactions.
TEST_F(PgStorageTest, TablesOpenedAndUsedFromTwoThreadsAtOnce) {
    constexpr int kRows = 40;
    struct Outcome {
        QString failure;
        int rowsSeen = 0;
        bool existedAfter = false;
    };
    const QString points[2] = {QStringLiteral("t00001"), QStringLiteral("t00002")};
    Outcome outcomes[2];
    // Both start at once and meet half way, so their statements overlap.
    std::atomic<int> halfWay{0};
    auto work = [&](int k) {
        Outcome& out = outcomes[k];
        Error why;
        auto table = storage().openPoint(TableKind::Hourly, points[k], why, kNow);
        if (!table) {
            out.failure = QStringLiteral("open: ") + why.detail;
            return;
        }
        const QDateTime t0(QDate(2025, 3, 1), QTime(0, 0));
        // Half in one transaction of this thread's own, half one by one.
        if (!table->transaction()) out.failure = QStringLiteral("transaction: ") + table->lastError();
        for (int i = 1; i <= kRows && out.failure.isEmpty(); ++i) {
            if (!table->append(hourlyOf(points[k], i, t0.addSecs(3600 * i), k * 100.0 + i)))
                out.failure = QStringLiteral("append: ") + table->lastError();
            if (i == kRows / 2) {
                if (!table->commit()) out.failure = QStringLiteral("commit: ") + table->lastError();
                ++halfWay;
                while (halfWay.load() < 2)
                    QThread::yieldCurrentThread();
            }
        }
        const auto rows = table->trySelect();
        if (!rows && out.failure.isEmpty()) out.failure = QStringLiteral("select: ") + table->lastError();
        out.rowsSeen = rows ? static_cast<int>(rows->size()) : -1;
        out.existedAfter = storage().exists({TableKind::Hourly, points[k], {}});
    };
    // The driver says when a connection is asked for on a thread that did not make it (and hands back
    // none, which the storage would paper over by connecting again, racing the other thread for its one
    // connection): not one such word may come.
    static QStringList foreignUse;
    static std::mutex foreignUseMutex;
    foreignUse.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
            if (text.contains(QLatin1String("does not belong to the calling thread"))) {
                const std::lock_guard<std::mutex> lock(foreignUseMutex);
                foreignUse.append(text);
            }
        });
    std::unique_ptr<QThread> threads[2] = {std::unique_ptr<QThread>(QThread::create(work, 0)),
                                           std::unique_ptr<QThread>(QThread::create(work, 1))};
    for (auto& t : threads)
        t->start();
    // The storage's own thread goes on asking meanwhile.
    bool ownThreadSawTheRegistry = true;
    while (threads[0]->isRunning() || threads[1]->isRunning()) {
        Error why;
        ownThreadSawTheRegistry = ownThreadSawTheRegistry && storage().openShared(TableKind::Registry, why);
        QThread::yieldCurrentThread();
    }
    for (auto& t : threads)
        t->wait();
    EXPECT_TRUE(ownThreadSawTheRegistry);
    EXPECT_TRUE(foreignUse.isEmpty()) << foreignUse.join('\n').toStdString();
    for (int k = 0; k < 2; ++k) {
        EXPECT_TRUE(outcomes[k].failure.isEmpty()) << outcomes[k].failure.toStdString();
        EXPECT_EQ(outcomes[k].rowsSeen, kRows) << k;
        EXPECT_TRUE(outcomes[k].existedAfter) << k;
    }
    // Each point's rows arrived whole and its own: the volumes tell them apart.
    EXPECT_EQ(serverRows(QStringLiteral("SELECT point, count(*), min(hvwrk), max(hvwrk) FROM hourly WHERE "
                                        "hidentif <> '0' GROUP BY point ORDER BY point")),
              (QStringList{QStringLiteral("t00001|40|1|40"), QStringLiteral("t00002|40|101|140")}));
    // A worker's question of the storage, on its own thread, and the storage's thread still answers.
    Error why;
    std::unique_ptr<QThread> eraser(
        QThread::create([&] { why = storage().erasePointTable(TableKind::Hourly, points[0]); }));
    eraser->start();
    eraser->wait();
    qInstallMessageHandler(previous);
    EXPECT_TRUE(foreignUse.isEmpty()) << foreignUse.join('\n').toStdString();
    EXPECT_TRUE(why.ok()) << why.detail.toStdString();
    EXPECT_FALSE(storage().exists({TableKind::Hourly, points[0], {}}));
    EXPECT_TRUE(storage().exists({TableKind::Hourly, points[1], {}}));
}

TEST_F(PgStorageTest, ATransactionsRowsReachTheServerTogetherAndAllOrNone) {
    Error why;
    auto table = storage().openPoint(TableKind::Hourly, kPoint, why, kNow);
    ASSERT_TRUE(table) << why.detail.toStdString();
    const QList<int> positions{
        table->position(QStringLiteral("hIdentif")), table->position(QStringLiteral("hNumWrCor")),
        table->position(QStringLiteral("hDT_Corr")), table->position(QStringLiteral("hVwrk"))};
    const QDateTime t0(QDate(2025, 1, 1), QTime(1, 0));
    auto hour = [&](int n, const QVariant& volume = {}) -> QVariantList {
        return {kPoint, n, storedTimestamp(t0.addSecs(3600LL * n)), volume.isValid() ? volume : QVariant(n)};
    };
    // More rows than one statement carries, a record repeated within them, and rows naming other fields
    // between them.
    constexpr int kRows = 1234;
    ASSERT_TRUE(table->transaction());
    for (int n = 0; n < kRows; ++n) {
        ASSERT_TRUE(table->appendAt(positions, hour(n))) << table->lastError().toStdString();
        if (n == 700) {
            ASSERT_TRUE(table->appendAt(positions, hour(699, 99999)));
        }
        if (n == 900) {
            ASSERT_TRUE(table->append(hourlyRow(5000, t0.addYears(1), 0.5)));
        }
    }
    // What the transaction wrote is there for whoever reads inside it, and for nobody else before the
    // commit.
    EXPECT_EQ(table->select().size(), kRows + 1);
    EXPECT_EQ(serverRows(QStringLiteral("SELECT count(*) FROM hourly WHERE hidentif <> '0'")),
              QStringList{QStringLiteral("0")});
    ASSERT_TRUE(table->appendAt(positions, hour(kRows)));
    ASSERT_TRUE(table->commit()) << table->lastError().toStdString();

    // Every record once, the first of a repeated one kept, numbers in the order of appending.
    const auto rows = table->trySelect();
    ASSERT_TRUE(rows);
    const QStringList numbers = column(*table, *rows, QStringLiteral("hNumWrCor"));
    QStringList expected;
    for (int n = 0; n <= 900; ++n)
        expected.append(QString::number(n));
    expected.append(QStringLiteral("5000"));
    for (int n = 901; n <= kRows; ++n)
        expected.append(QString::number(n));
    EXPECT_EQ(numbers, expected);
    EXPECT_EQ(
        serverRows(QStringLiteral("SELECT hvwrk FROM hourly WHERE point = ? AND hnumwrcor = 699"), {kPoint}),
        QStringList{QStringLiteral("699")});

    // A row the server refuses, after a statement's worth of good ones has gone: the commit fails, says
    // why, and nothing of the transaction stays.
    ASSERT_TRUE(table->transaction());
    for (int n = 0; n < 1100; ++n)
        ASSERT_TRUE(table->appendAt(positions, hour(10000 + n)));
    // Refused at once or at the commit: either way the transaction keeps nothing and says why.
    const bool appended = table->appendAt(positions, hour(20000, QStringLiteral("not a number")));
    EXPECT_FALSE(appended && table->commit());
    if (!appended) table->rollback();
    EXPECT_EQ(table->lastFailure().kind, ErrorKind::Io) << table->lastError().toStdString();
    EXPECT_EQ(serverRows(QStringLiteral("SELECT count(*) FROM hourly WHERE hidentif <> '0'")),
              QStringList{QString::number(kRows + 2)});

    // Any text arrives as it was given, rows of one statement side by side: quotes, backslashes,
    // control characters, Cyrillic, braces and commas, spaces around, and a text that reads as the
    // word for no value.
    const QStringList awkward = {QStringLiteral("a\"b\\c'd\te\u0001 ТАРН {x}"), QStringLiteral("NULL"),
                                 QStringLiteral(" a, b "), QStringLiteral("\\\""), QStringLiteral("{}")};
    ASSERT_TRUE(table->transaction());
    for (qsizetype i = 0; i < awkward.size(); ++i) {
        QVariantMap row = hourlyRow(40000 + static_cast<int>(i), t0, 1);
        row.insert(QStringLiteral("hHelp"), awkward.at(i));
        ASSERT_TRUE(table->append(row));
    }
    ASSERT_TRUE(table->commit()) << table->lastError().toStdString();
    for (qsizetype i = 0; i < awkward.size(); ++i) {
        const auto stored =
            table->trySelect(QStringLiteral("\"hNumWrCor\" = ?"), {40000 + static_cast<int>(i)});
        ASSERT_TRUE(stored && stored->size() == 1);
        EXPECT_EQ(stored->first().at(table->position(QStringLiteral("hHelp"))).toString(), awkward.at(i));
        ASSERT_TRUE(table->remove(QStringLiteral("hNumWrCor"), 40000 + static_cast<int>(i)));
    }

    // Rolled back, the waiting rows are gone too; the table takes the next transaction as before.
    ASSERT_TRUE(table->transaction());
    ASSERT_TRUE(table->appendAt(positions, hour(30000)));
    table->rollback();
    ASSERT_TRUE(table->transaction());
    ASSERT_TRUE(table->appendAt(positions, hour(30001)));
    ASSERT_TRUE(table->commit()) << table->lastError().toStdString();
    EXPECT_EQ(serverRows(QStringLiteral("SELECT hnumwrcor FROM hourly WHERE hnumwrcor >= 10000 ORDER BY 1")),
              QStringList{QStringLiteral("30001")});
}

TEST_F(PgStorageTest, TablesOpenedOneAfterAnotherShareConnectionsThatStillAnswer) {
    // The server's processes serving this installation.
    auto backends = [&] {
        return serverRows(
            QStringLiteral("SELECT pid FROM pg_stat_activity WHERE application_name = ? ORDER BY pid"),
            {QStringLiteral("tarn/") + backend_.url().schema});
    };
    auto connections = [&] { return static_cast<int>(backends().size()); };
    Error why;
    {
        auto table = storage().openPoint(TableKind::Hourly, kPoint, why, kNow);
        ASSERT_TRUE(table) << why.detail.toStdString();
        ASSERT_TRUE(table->append(hourlyRow(1, kNow, 1)));
    }
    const int settled = connections();
    // A report or a group summary opens a table per kind and member, one after another.
    QSet<QString> seen;
    for (int i = 0; i < 20; ++i) {
        auto table = storage().openExisting(kHourly, why);
        ASSERT_TRUE(table) << why.detail.toStdString();
        EXPECT_EQ(table->select().size(), 1);
        seen.insert(backends().join(QLatin1Char(',')));
    }
    EXPECT_EQ(seen.size(), 1); // the same processes every time: no table connected anew
    EXPECT_EQ(connections(), settled);
    // Two open at once each have their own, so each transaction stays its own.
    {
        auto one = storage().openExisting(kHourly, why);
        auto two = storage().openExisting(kHourly, why);
        ASSERT_TRUE(one && two);
        ASSERT_TRUE(one->transaction());
        ASSERT_TRUE(one->append(hourlyRow(2, kNow.addSecs(3600), 2)));
        EXPECT_EQ(two->select().size(), 1);
        one->rollback();
        EXPECT_EQ(connections(), settled + 1);
    }
    // A kept transaction that was never ended leaves nothing behind for the next table.
    {
        auto table = storage().openExisting(kHourly, why);
        ASSERT_TRUE(table);
        ASSERT_TRUE(table->transaction());
        ASSERT_TRUE(table->append(hourlyRow(3, kNow.addSecs(7200), 3)));
    }
    {
        auto table = storage().openExisting(kHourly, why);
        ASSERT_TRUE(table);
        EXPECT_EQ(table->select().size(), 1);
    }
    // The server ends every connection, kept ones too: the next table connects again.
    serverRows(
        QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = ?"),
        {QStringLiteral("tarn/") + backend_.url().schema});
    auto again = storage().openExisting(kHourly, why);
    ASSERT_TRUE(again) << why.detail.toStdString();
    EXPECT_EQ(column(*again, again->select(), QStringLiteral("hNumWrCor")), QStringList{QStringLiteral("1")});
}
