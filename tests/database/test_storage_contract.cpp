// What every Storage must do the same way, whatever keeps its tables: the cases run once for each
// implementation in StorageBackends. A backend is a fixture type that makes a fresh, empty storage and
// can make one of its tables fail as it fails in the field (held by another connection, damaged).
#include "database/Gases.h"
#include "database/GraphQueries.h"
#include "database/GroupQueries.h"
#include "database/JoinTable.h"
#include "database/ProtocolQueries.h"
#include "database/Storage.h"
#include "database/StoredRecords.h"
#include "database/Storing.h"
#include "database/TableFile.h"
#include "support/DatabaseFaults.h"
#include "support/TestSupport.h"

#include <QDirIterator>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::database;

namespace {

const QDateTime kNow(QDate(2025, 3, 9), QTime(7, 15, 0));

Schemas shippedSchemas() {
    Schemas schemas;
    schemas.ok = true;
    for (TableKind kind : kSchemaLoadOrder)
        schemas.fields[static_cast<int>(kind)] = defaultFields(kind);
    return schemas;
}

// The table files under a temporary installation.
class SqliteBackend {
public:
    SqliteBackend() : storage_(home_.root(), schemas_) {}
    Storage& storage() { return storage_; }
    // Where the files beside the tables go (parameter files, side CSV files).
    const DataRoot& files() const { return home_.root(); }
    // Another program's write transaction on the table, held while the returned object lives.
    std::shared_ptr<void> holdForWriting(const TableId& id) {
        auto holder = std::make_shared<test::SqliteHolder>(storage_.location(id));
        if (!holder->lockForWriting()) return nullptr;
        return holder;
    }
    // The table's rows made unreadable, its name still there.
    bool damage(const TableId& id) {
        const QString path = storage_.location(id);
        return settleTableFile(path) && test::damageTableFile(path);
    }

private:
    test::TempHome home_;
    Schemas schemas_ = shippedSchemas();
    SqliteStorage storage_;
};

template <typename Backend> class StorageContract : public ::testing::Test {
protected:
    Storage& storage() { return backend_.storage(); }
    Backend backend_;
};

// Every implementation runs the same cases: a new one adds its backend here.
using StorageBackends = ::testing::Types<SqliteBackend>;
TYPED_TEST_SUITE(StorageContract, StorageBackends);

const QString kPoint = QStringLiteral("t12345");
const TableId kHourly{TableKind::Hourly, kPoint, {}};

QVariantMap hourlyRow(int number, const QDateTime& when, double volume) {
    return {{QStringLiteral("hIdentif"), kPoint},
            {QStringLiteral("hNumWrCor"), number},
            {QStringLiteral("hDate"), storedDate(when.date())},
            {QStringLiteral("hTime"), storedTime(when.time())},
            {QStringLiteral("hDT_Corr"), storedTimestamp(when)},
            {QStringLiteral("hVwrk"), volume}};
}

QStringList column(const Table& table, const QList<QVariantList>& rows, const QString& field) {
    const int p = table.position(field);
    QStringList out;
    for (const QVariantList& row : rows)
        out.append(row.value(p).toString());
    return out;
}

// Archive rows as a reading leaves them: number, date, time, then the values.
class FakeArchive final : public ArchiveRows {
public:
    QList<QStringList> hourly;
    int rowCount(int archive) const override { return archive == 1 ? static_cast<int>(hourly.size()) : 0; }
    QString cell(int archive, int col, int row) const override {
        return archive == 1 ? hourly.at(row).value(col) : QString();
    }
};

// The engine's busy wait, for the cases of a held table: none, so nothing waits for the holder.
struct NoBusyWait {
    NoBusyWait() { qputenv("TARN_DB_BUSY_WAIT_MS", "0"); }
    ~NoBusyWait() { qunsetenv("TARN_DB_BUSY_WAIT_MS"); }
};

} // namespace

TYPED_TEST(StorageContract, ATableIsOpenedOnlyWhereAskedAndCreatedWithItsSchema) {
    Storage& s = this->storage();
    EXPECT_FALSE(s.exists(kHourly));
    Error why;
    EXPECT_FALSE(s.openExisting(kHourly, why));
    EXPECT_EQ(why.kind, ErrorKind::NotFound);
    EXPECT_FALSE(s.exists(kHourly)); // looking made nothing

    auto table = s.openTable(kHourly, why, kNow);
    ASSERT_TRUE(table) << why.detail.toStdString();
    EXPECT_TRUE(why.ok());
    EXPECT_TRUE(s.exists(kHourly));
    EXPECT_EQ(table->fields(), s.schemas().of(TableKind::Hourly));
    EXPECT_EQ(table->position(QStringLiteral("HDT_CORR")), table->position(QStringLiteral("hDT_Corr")));
    EXPECT_GE(table->position(QStringLiteral("hDT_Corr")), 0);
    EXPECT_EQ(table->position(QStringLiteral("nothing")), -1);
    // The seed record is there but is never a row.
    const auto rows = table->trySelect();
    ASSERT_TRUE(rows);
    EXPECT_TRUE(rows->isEmpty());
    EXPECT_TRUE(table->selectGreatest(QStringLiteral("hNum")).isEmpty());

    // Another point's table and the shared ones are tables of their own.
    EXPECT_FALSE(s.exists({TableKind::Hourly, QStringLiteral("t54321"), {}}));
    EXPECT_TRUE(s.openExisting(kHourly, why));
    EXPECT_TRUE(s.openShared(TableKind::Registry, why)) << why.detail.toStdString();
    EXPECT_TRUE(s.exists({TableKind::Registry, {}, {}}));

    // One join table a day.
    const TableId monday{TableKind::Join, {}, QDate(2025, 3, 10)};
    const TableId tuesday{TableKind::Join, {}, QDate(2025, 3, 11)};
    auto join = s.openTable(monday, why, kNow);
    ASSERT_TRUE(join) << why.detail.toStdString();
    EXPECT_TRUE(join->append(
        {{QStringLiteral("jIdentif"), kPoint}, {QStringLiteral("jGroup"), QStringLiteral("A")}}));
    EXPECT_FALSE(s.exists(tuesday));
    auto other = s.openTable(tuesday, why, kNow);
    ASSERT_TRUE(other);
    EXPECT_TRUE(other->select().isEmpty());
    EXPECT_EQ(join->select().size(), 1);
    EXPECT_NE(s.location(monday), s.location(tuesday));
}

TYPED_TEST(StorageContract, RowsComeBackByConditionAndOrder) {
    Storage& s = this->storage();
    Error why;
    auto table = s.openTable(kHourly, why, kNow);
    ASSERT_TRUE(table);
    const QDateTime t0(QDate(2025, 3, 1), QTime(10, 0));
    ASSERT_TRUE(table->transaction());
    // Written out of time order: the order asked for is the one that comes back.
    EXPECT_TRUE(table->append(hourlyRow(7, t0.addSecs(2 * 3600), 3.5)));
    EXPECT_TRUE(table->append(hourlyRow(5, t0, 1.25)));
    EXPECT_TRUE(table->append(hourlyRow(6, t0.addSecs(3600), 2.0)));
    EXPECT_TRUE(table->append(hourlyRow(8, t0.addDays(1), 4.0)));
    ASSERT_TRUE(table->commit());

    const QString dt = QStringLiteral("\"hDT_Corr\"");
    const auto span = table->trySelect(dt + QStringLiteral(" >= ? AND ") + dt + QStringLiteral(" <= ?"),
                                       {storedTimestamp(t0), storedTimestamp(t0.addSecs(2 * 3600))}, dt);
    ASSERT_TRUE(span);
    EXPECT_EQ(column(*table, *span, QStringLiteral("hNumWrCor")),
              (QStringList{QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7")}));
    EXPECT_EQ(column(*table, *span, QStringLiteral("hVwrk")).first().toDouble(), 1.25);

    // Without an order: the order written.
    EXPECT_EQ(
        column(*table, table->select(), QStringLiteral("hNumWrCor")),
        (QStringList{QStringLiteral("7"), QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("8")}));
    EXPECT_EQ(column(*table,
                     table->select(QStringLiteral("\"hNumWrCor\" IN (?, ?)"), {8, 5},
                                   QStringLiteral("\"hNumWrCor\" DESC")),
                     QStringLiteral("hNumWrCor")),
              (QStringList{QStringLiteral("8"), QStringLiteral("5")}));
    EXPECT_TRUE(table->select(dt + QStringLiteral(" > ?"), {storedTimestamp(t0.addDays(2))}).isEmpty());

    // The greatest: by number, the last written; by time, the latest.
    EXPECT_EQ(column(*table, table->selectGreatest(QStringLiteral("hNum")), QStringLiteral("hNumWrCor")),
              QStringList{QStringLiteral("8")});
    EXPECT_EQ(column(*table, table->selectGreatest(QStringLiteral("hNumWrCor")), QStringLiteral("hDT_Corr")),
              QStringList{storedTimestamp(t0.addDays(1))});

    // A text is cut to its field's width; a field the table does not have is refused and said so.
    const int width = s.schemas().of(TableKind::Hourly).at(table->position(QStringLiteral("hIdentif"))).width;
    EXPECT_TRUE(table->append({{QStringLiteral("hIdentif"), QString(width + 5, QLatin1Char('x'))},
                               {QStringLiteral("hNumWrCor"), 9}}));
    EXPECT_EQ(
        column(*table, table->select(QStringLiteral("\"hNumWrCor\" = ?"), {9}), QStringLiteral("hIdentif")),
        QStringList{QString(width, QLatin1Char('x'))});
    EXPECT_FALSE(table->append({{QStringLiteral("hNoSuchField"), 1}}));
    EXPECT_EQ(table->lastFailure().kind, ErrorKind::Invalid);
    EXPECT_EQ(table->lastError(), table->lastFailure().detail);

    // What one table wrote, another opening of it reads.
    auto again = s.openExisting(kHourly, why);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->select().size(), 5);
}

// Many rows by position and a few fields of many rows: the same rows as append and trySelect give,
// the seed record left out, texts cut to their width, empty texts not NULL.
TYPED_TEST(StorageContract, RowsByPositionAndChosenFieldsAreTheSameRows) {
    Storage& s = this->storage();
    Error why;
    auto table = s.openTable(kHourly, why, kNow);
    ASSERT_TRUE(table);
    const QList<int> positions{
        table->position(QStringLiteral("hNumWrCor")), table->position(QStringLiteral("hIdentif")),
        table->position(QStringLiteral("hHelp")), table->position(QStringLiteral("hDT_Corr"))};
    const int helpWidth = table->fields().at(positions.at(2)).width;
    const QDateTime t0(QDate(2025, 3, 1), QTime(10, 0));
    ASSERT_TRUE(table->transaction());
    EXPECT_TRUE(table->appendAt(positions,
                                {5, kPoint, QString(helpWidth + 3, QLatin1Char('h')), storedTimestamp(t0)}));
    EXPECT_TRUE(table->appendAt(positions, {6, kPoint, QString(), storedTimestamp(t0.addSecs(3600))}));
    // Other fields between two rows by position: each row has exactly the fields it names.
    EXPECT_TRUE(table->append(hourlyRow(7, t0.addSecs(7200), 2.5)));
    EXPECT_TRUE(table->appendAt(positions, {8, kPoint, QStringLiteral("x"), storedTimestamp(t0.addDays(1))}));
    ASSERT_TRUE(table->commit());
    EXPECT_FALSE(table->appendAt({-1}, {1}));
    EXPECT_EQ(table->lastFailure().kind, ErrorKind::Invalid);

    const auto whole = table->trySelect();
    ASSERT_TRUE(whole);
    EXPECT_EQ(
        column(*table, *whole, QStringLiteral("hNumWrCor")),
        (QStringList{QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")}));
    EXPECT_EQ(column(*table, *whole, QStringLiteral("hHelp")),
              (QStringList{QString(helpWidth, QLatin1Char('h')), QString(), QString(), QStringLiteral("x")}));
    EXPECT_FALSE(whole->at(1).at(positions.at(2)).isNull()); // an empty text, not NULL
    EXPECT_EQ(whole->at(3).at(table->position(QStringLiteral("hVwrk"))).toString(), QString());

    const QString dt = QStringLiteral("\"hDT_Corr\"");
    const auto keys =
        table->trySelectFields({QStringLiteral("HNUMWRCOR"), QStringLiteral("hDT_Corr")},
                               dt + QStringLiteral(" <= ?"), {storedTimestamp(t0.addSecs(7200))});
    ASSERT_TRUE(keys);
    QStringList found;
    for (const QVariantList& row : *keys) {
        ASSERT_EQ(row.size(), 2);
        found.append(row.at(0).toString() + QLatin1Char(' ') + row.at(1).toString());
    }
    found.sort();
    EXPECT_EQ(found, (QStringList{QStringLiteral("5 ") + storedTimestamp(t0),
                                  QStringLiteral("6 ") + storedTimestamp(t0.addSecs(3600)),
                                  QStringLiteral("7 ") + storedTimestamp(t0.addSecs(7200))}));
    // The seed record is no row here either.
    EXPECT_EQ(table->trySelectFields({QStringLiteral("hIdentif")})->size(), 4);
    EXPECT_FALSE(table->trySelectFields({QStringLiteral("hNoSuchField")}));
    EXPECT_EQ(table->lastFailure().kind, ErrorKind::Invalid);
}

TYPED_TEST(StorageContract, UpdateAndRemoveTouchOnlyTheKeyedRows) {
    Storage& s = this->storage();
    Error why;
    auto gases = s.openShared(TableKind::Gas, why);
    ASSERT_TRUE(gases) << why.detail.toStdString();
    for (const char* name : {"alpha", "beta", "gamma"})
        ASSERT_TRUE(gases->append(
            {{QStringLiteral("gNameGas"), QString::fromLatin1(name)}, {QStringLiteral("gDen"), 0.68}}));
    EXPECT_TRUE(
        gases->update(QStringLiteral("gNameGas"), QStringLiteral("beta"), QStringLiteral("gDen"), 0.72));
    EXPECT_TRUE(gases->remove(QStringLiteral("gNameGas"), QStringLiteral("alpha")));
    const auto rows = gases->trySelect({}, {}, QStringLiteral("\"gNameGas\""));
    ASSERT_TRUE(rows);
    EXPECT_EQ(column(*gases, *rows, QStringLiteral("gNameGas")),
              (QStringList{QStringLiteral("beta"), QStringLiteral("gamma")}));
    EXPECT_EQ(column(*gases, *rows, QStringLiteral("gDen")).first().toDouble(), 0.72);
    EXPECT_EQ(column(*gases, *rows, QStringLiteral("gDen")).last().toDouble(), 0.68);
    // A key no row has changes nothing and is no failure.
    EXPECT_TRUE(gases->remove(QStringLiteral("gNameGas"), QStringLiteral("delta")));
    EXPECT_EQ(gases->select().size(), 2);
    EXPECT_FALSE(gases->update(QStringLiteral("gNoSuchField"), 1, QStringLiteral("gDen"), 1));
    EXPECT_EQ(gases->lastFailure().kind, ErrorKind::Invalid);
}

TYPED_TEST(StorageContract, ARolledBackTransactionLeavesNothing) {
    Storage& s = this->storage();
    Error why;
    auto table = s.openTable(kHourly, why, kNow);
    ASSERT_TRUE(table);
    const QDateTime t0(QDate(2025, 3, 1), QTime(10, 0));
    ASSERT_TRUE(table->transaction());
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(table->append(hourlyRow(i + 1, t0.addSecs(3600 * i), i)));
    table->rollback();
    EXPECT_TRUE(table->select().isEmpty());

    ASSERT_TRUE(table->transaction());
    EXPECT_TRUE(table->append(hourlyRow(10, t0, 1)));
    ASSERT_TRUE(table->commit());
    auto again = s.openExisting(kHourly, why);
    ASSERT_TRUE(again);
    EXPECT_EQ(column(*again, again->select(), QStringLiteral("hNumWrCor")),
              QStringList{QStringLiteral("10")});
}

TYPED_TEST(StorageContract, StoringTheSameRecordsTwiceWritesThemOnce) {
    Storage& s = this->storage();
    FakeArchive archive;
    // Number, date, time; the third record is the first one returned again by the corrector.
    archive.hourly = {{QStringLiteral("11"), QStringLiteral("01.03.2025"), QStringLiteral("10:00")},
                      {QStringLiteral("12"), QStringLiteral("01.03.2025"), QStringLiteral("11:00")},
                      {QStringLiteral("11"), QStringLiteral("01.03.2025"), QStringLiteral("10:00")}};
    StoreContext context;
    context.identifier = kPoint;
    context.serial = QStringLiteral("12345");
    context.model = QStringLiteral("T");
    context.itemsToRead = QStringLiteral("10000000000");
    const StoreResult first = storeReading(this->backend_.files(), s, archive, context, {}, kNow);
    ASSERT_TRUE(first.ok) << first.error.toStdString();
    EXPECT_EQ(first.kinds[0].stored, 2);
    EXPECT_EQ(first.kinds[0].dropped, 1);
    const StoreResult second =
        storeReading(this->backend_.files(), s, archive, context, {}, kNow.addSecs(60));
    ASSERT_TRUE(second.ok) << second.error.toStdString();
    EXPECT_EQ(second.kinds[0].stored, 0);
    EXPECT_EQ(second.kinds[0].dropped, 3);

    Error why;
    auto table = s.openExisting(kHourly, why);
    ASSERT_TRUE(table);
    EXPECT_EQ(
        column(*table, table->select({}, {}, QStringLiteral("\"hDT_Corr\"")), QStringLiteral("hNumWrCor")),
        (QStringList{QStringLiteral("11"), QStringLiteral("12")}));
    // One request-log row a run.
    auto log = s.openExisting({TableKind::RequestLog, kPoint, {}}, why);
    ASSERT_TRUE(log);
    EXPECT_EQ(log->select().size(), 2);
}

TYPED_TEST(StorageContract, ErasingAPointTakesItsTablesAndNothingElse) {
    Storage& s = this->storage();
    const QString other = QStringLiteral("t54321");
    ASSERT_TRUE(s.createPointTables(kPoint, kNow).ok());
    ASSERT_TRUE(s.createPointTables(other, kNow).ok());
    Error why;
    ASSERT_TRUE(s.openShared(TableKind::Registry, why));
    for (TableKind kind : kPointTables) {
        EXPECT_TRUE(s.exists({kind, kPoint, {}}));
        EXPECT_TRUE(s.exists({kind, other, {}}));
    }
    {
        auto table = s.openExisting(kHourly, why);
        ASSERT_TRUE(table);
        EXPECT_TRUE(table->append(hourlyRow(1, kNow, 1)));
    }
    for (TableKind kind : kPointTables)
        EXPECT_TRUE(s.erasePointTable(kind, kPoint).ok());
    for (TableKind kind : kPointTables) {
        EXPECT_FALSE(s.exists({kind, kPoint, {}}));
        EXPECT_TRUE(s.exists({kind, other, {}}));
    }
    EXPECT_TRUE(s.exists({TableKind::Registry, {}, {}}));
    // Erased again: already gone counts as erased.
    EXPECT_TRUE(s.erasePointTable(TableKind::Hourly, kPoint).ok());
    // Made again, the point starts empty.
    auto fresh = s.openTable(kHourly, why, kNow);
    ASSERT_TRUE(fresh);
    EXPECT_TRUE(fresh->select().isEmpty());
}

TYPED_TEST(StorageContract, ATableHeldElsewhereIsLockedAndADamagedOneDamaged) {
    NoBusyWait noWait;
    Storage& s = this->storage();
    Error why;
    auto table = s.openTable(kHourly, why, kNow);
    ASSERT_TRUE(table);
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(table->append(hourlyRow(i + 1, kNow.addSecs(3600 * i), i)));
    {
        const auto holder = this->backend_.holdForWriting(kHourly);
        ASSERT_TRUE(holder);
        EXPECT_FALSE(table->append(hourlyRow(500, kNow, 1)));
        EXPECT_EQ(table->lastFailure().kind, ErrorKind::Locked) << table->lastError().toStdString();
    }
    EXPECT_TRUE(table->append(hourlyRow(500, kNow, 1)));
    table.reset();

    ASSERT_TRUE(this->backend_.damage(kHourly));
    auto damaged = s.openExisting(kHourly, why);
    if (damaged) {
        // Opened by its name, the rows still cannot be read: a failure, never "no rows".
        EXPECT_FALSE(damaged->trySelect());
        EXPECT_EQ(damaged->lastFailure().kind, ErrorKind::Damaged) << damaged->lastError().toStdString();
        EXPECT_TRUE(damaged->select().isEmpty());
    } else {
        EXPECT_EQ(why.kind, ErrorKind::Damaged) << why.detail.toStdString();
    }
}

// Everything that reads or writes tables asks the storage it is given and never builds a table's place
// from the installation's folder: with the tables kept under one folder and the installation's files
// under another, no table appears beside the files, and every reader finds what the writers stored.
TEST(StorageSeam, EveryReaderAndWriterGoesThroughTheStorageGiven) {
    test::TempHome tables;
    test::TempHome files;
    const Schemas schemas = shippedSchemas();
    SqliteStorage storage(tables.root(), schemas);
    const DataRoot& root = files.root();

    ASSERT_EQ(openDatabaseAtStart(root, storage, kNow.date()), QString());
    Registry registry(root, storage);
    ASSERT_TRUE(registry.ok()) << registry.error().toStdString();
    Point point;
    point.identifier = kPoint;
    point.serial = QStringLiteral("12345");
    point.model = QStringLiteral("T");
    ASSERT_TRUE(registry.add(point, kNow)) << registry.error().toStdString();
    for (TableKind kind : kPointTables)
        EXPECT_TRUE(storage.exists({kind, kPoint, {}}));
    EXPECT_TRUE(registry.find(kPoint));

    FakeArchive archive;
    archive.hourly = {{QStringLiteral("11"), QStringLiteral("01.03.2025"), QStringLiteral("10:00")},
                      {QStringLiteral("12"), QStringLiteral("01.03.2025"), QStringLiteral("11:00")}};
    StoreContext context;
    context.identifier = kPoint;
    context.serial = point.serial;
    context.model = point.model;
    context.itemsToRead = QStringLiteral("10000000000");
    const StoreResult stored = storeReading(root, storage, archive, context, {}, kNow);
    ASSERT_TRUE(stored.ok) << stored.error.toStdString();
    EXPECT_EQ(stored.kinds[0].stored, 2);

    const QDateTime from(QDate(2025, 3, 1), QTime(0, 0));
    const QDateTime to(QDate(2025, 3, 2), QTime(0, 0));
    const QDateTime newest(QDate(2025, 3, 1), QTime(11, 0));
    EXPECT_EQ(lastStoredSummary(storage, kPoint)[0].number, QStringLiteral("00012"));
    EXPECT_EQ(recordsBetween(storage, TableKind::Hourly, kPoint, from, to).rows.size(), 2);
    EXPECT_EQ(newestRecordTime(storage, TableKind::Hourly, kPoint), std::optional<QDateTime>(newest));
    EXPECT_EQ(graphRecords(storage, TableKind::Hourly, kPoint, from, to).rows.size(), 2);
    const StoredRecords last = lastRecord(storage, TableKind::Hourly, kPoint);
    ASSERT_EQ(last.rows.size(), 1);
    EXPECT_EQ(last.value(0, "NumWrCor").toInt(), 12);
    EXPECT_EQ(storedRows(storage, TableKind::Hourly, kPoint).size(), 2);
    EXPECT_EQ(requestLogEntries(storage, kPoint, {}).size(), 1);

    Gases gases(storage);
    ASSERT_TRUE(gases.ok());
    EXPECT_EQ(gases.add({QStringLiteral("природный"), QStringLiteral("0.68"), QStringLiteral("0.5"),
                         QStringLiteral("1.2")},
                        kNow),
              QString());
    EXPECT_EQ(gasRecords(storage).size(), 1);

    JoinRow join;
    join.identifier = kPoint;
    join.when = kNow;
    EXPECT_EQ(appendJoinRow(storage, join), QString());
    EXPECT_EQ(joinRowsOfDay(storage, kNow.date()).size(), 1);
    EXPECT_EQ(dayExchanges(storage, kNow.date()).size(), 0); // mode 0: no polling mode

    // Beside the installation's files: the point list and nothing of the database.
    EXPECT_TRUE(files.exists(folder::Current, QStringLiteral("SynCor.000")));
    QStringList tablesBesideFiles;
    QDirIterator it(root.root(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(QStringLiteral(".db"), Qt::CaseInsensitive)) tablesBesideFiles.append(path);
    }
    EXPECT_TRUE(tablesBesideFiles.isEmpty()) << tablesBesideFiles.join(QLatin1Char(' ')).toStdString();

    EXPECT_EQ(registry.erase(kPoint), QString());
    for (TableKind kind : kPointTables)
        EXPECT_FALSE(storage.exists({kind, kPoint, {}}));
    EXPECT_FALSE(registry.find(kPoint));
}
