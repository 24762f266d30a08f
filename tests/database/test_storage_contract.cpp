// The storage contract over the table files of a temporary installation.
#include "database/Gases.h"
#include "database/GraphQueries.h"
#include "database/GroupQueries.h"
#include "database/JoinTable.h"
#include "database/ProtocolQueries.h"
#include "database/StorageContract.h"
#include "database/StoredRecords.h"
#include "database/TableFile.h"
#include "support/DatabaseFaults.h"

#include <QDirIterator>

using namespace tarn;
using namespace tarn::database;
using namespace tarn::test::contract;

namespace {

// The table files under a temporary installation.
class SqliteBackend {
public:
    SqliteBackend() : storage_(home_.root(), schemas_) {}
    QString start() { return {}; }
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
    Schemas schemas_ = test::contract::shippedSchemas();
    SqliteStorage storage_;
};

} // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(Sqlite, StorageContract, SqliteBackend);

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
