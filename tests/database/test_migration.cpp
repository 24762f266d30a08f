// An installation's database copied between two table-file storages: every kind, every row, the check
// after, and the refusals.
#include "database/Migration.h"
#include "database/MigrationFixture.h"
#include "database/TableFile.h"

using namespace tarn;
using namespace tarn::database;
using namespace tarn::test::migration;

namespace {

class Migration : public ::testing::Test {
protected:
    Schemas schemas_ = shippedSchemas();
    test::TempHome sourceHome_;
    test::TempHome targetHome_;
    SqliteStorage source_{sourceHome_.root(), schemas_};
    SqliteStorage target_{targetHome_.root(), schemas_};
};

// A target whose tables lose what a careless copy loses: the last bits of every double it is given.
class LossyTable final : public Table {
public:
    explicit LossyTable(std::unique_ptr<Table> inner) : inner_(std::move(inner)) {}
    const QList<FieldSpec>& fields() const override { return inner_->fields(); }
    int position(const QString& field) const override { return inner_->position(field); }
    std::optional<QList<QVariantList>> trySelect(const QString& c, const QVariantList& v,
                                                 const QString& o) const override {
        return inner_->trySelect(c, v, o);
    }
    std::optional<QSqlQuery> listing() const override { return inner_->listing(); }
    bool forEachRow(const QStringList& f, const QString& c, const QVariantList& v, const QString& o,
                    const RowVisitor& visit) const override {
        return inner_->forEachRow(f, c, v, o, visit);
    }
    QList<QVariantList> selectGreatest(const QString& field) const override {
        return inner_->selectGreatest(field);
    }
    bool append(const QVariantMap& values) override {
        QVariantMap rounded = values;
        for (auto it = rounded.begin(); it != rounded.end(); ++it)
            if (it.value().typeId() == QMetaType::Double) it.value() = double(float(it.value().toDouble()));
        return inner_->append(rounded);
    }
    bool update(const QString& k, const QVariant& key, const QString& f, const QVariant& v) override {
        return inner_->update(k, key, f, v);
    }
    bool remove(const QString& k, const QVariant& key) override { return inner_->remove(k, key); }
    bool transaction() override { return inner_->transaction(); }
    bool commit() override { return inner_->commit(); }
    void rollback() override { inner_->rollback(); }
    const Error& lastFailure() const override { return inner_->lastFailure(); }

private:
    std::unique_ptr<Table> inner_;
};

class LossyStorage final : public Storage {
public:
    explicit LossyStorage(SqliteStorage& inner) : inner_(inner) {}
    const Schemas& schemas() const override { return inner_.schemas(); }
    std::unique_ptr<Table> openTable(const TableId& id, Error& error, const QDateTime& now) override {
        auto table = inner_.openTable(id, error, now);
        return table ? std::make_unique<LossyTable>(std::move(table)) : nullptr;
    }
    std::unique_ptr<Table> openExisting(const TableId& id, Error& error) override {
        return inner_.openExisting(id, error);
    }
    bool exists(const TableId& id) const override { return inner_.exists(id); }
    QString location(const TableId& id) const override { return inner_.location(id); }
    Error erasePointTable(TableKind kind, const QString& id) override {
        return inner_.erasePointTable(kind, id);
    }
    std::optional<QList<QDate>> joinDays(Error& error) const override { return inner_.joinDays(error); }

private:
    SqliteStorage& inner_;
};

// The copy's two sides watched, to tell a copy that streams from one that reads whole tables: the
// source's tables count the rows their walks have handed out and report a read of a whole point's
// table; the target's hourly tables count their commits.
struct StreamWatch {
    qint64 walked = 0;
    qint64 mostHeld = 0;
    int commits = 0;
    QStringList wholeReads;
};

class WatchedTable final : public Table {
public:
    WatchedTable(std::unique_ptr<Table> inner, TableKind kind, StreamWatch& watch, bool source)
        : inner_(std::move(inner)), kind_(kind), watch_(watch), source_(source) {}
    const QList<FieldSpec>& fields() const override { return inner_->fields(); }
    int position(const QString& field) const override { return inner_->position(field); }
    std::optional<QList<QVariantList>> trySelect(const QString& c, const QVariantList& v,
                                                 const QString& o) const override {
        // The registry and the gases are read whole to learn the points: a few rows each.
        if (source_ && kind_ != TableKind::Registry && kind_ != TableKind::Gas)
            watch_.wholeReads.append(migrationKindName(kind_));
        return inner_->trySelect(c, v, o);
    }
    std::optional<QSqlQuery> listing() const override { return inner_->listing(); }
    bool forEachRow(const QStringList& f, const QString& c, const QVariantList& v, const QString& o,
                    const RowVisitor& visit) const override {
        return inner_->forEachRow(f, c, v, o, [&](const RowValues& row) {
            if (source_) ++watch_.walked;
            return visit(row);
        });
    }
    QList<QVariantList> selectGreatest(const QString& field) const override {
        return inner_->selectGreatest(field);
    }
    bool append(const QVariantMap& values) override { return inner_->append(values); }
    bool update(const QString& k, const QVariant& key, const QString& f, const QVariant& v) override {
        return inner_->update(k, key, f, v);
    }
    bool remove(const QString& k, const QVariant& key) override { return inner_->remove(k, key); }
    bool transaction() override { return inner_->transaction(); }
    bool commit() override {
        if (!inner_->commit()) return false;
        if (!source_ && kind_ == TableKind::Hourly) ++watch_.commits;
        return true;
    }
    void rollback() override { inner_->rollback(); }
    const Error& lastFailure() const override { return inner_->lastFailure(); }

private:
    std::unique_ptr<Table> inner_;
    TableKind kind_;
    StreamWatch& watch_;
    bool source_;
};

class WatchedStorage final : public Storage {
public:
    WatchedStorage(SqliteStorage& inner, StreamWatch& watch, bool source)
        : inner_(inner), watch_(watch), source_(source) {}
    const Schemas& schemas() const override { return inner_.schemas(); }
    std::unique_ptr<Table> openTable(const TableId& id, Error& error, const QDateTime& now) override {
        return watched(inner_.openTable(id, error, now), id);
    }
    std::unique_ptr<Table> openExisting(const TableId& id, Error& error) override {
        return watched(inner_.openExisting(id, error), id);
    }
    bool exists(const TableId& id) const override { return inner_.exists(id); }
    QString location(const TableId& id) const override { return inner_.location(id); }
    Error erasePointTable(TableKind kind, const QString& id) override {
        return inner_.erasePointTable(kind, id);
    }
    std::optional<QList<QDate>> joinDays(Error& error) const override { return inner_.joinDays(error); }

private:
    std::unique_ptr<Table> watched(std::unique_ptr<Table> table, const TableId& id) {
        if (!table) return nullptr;
        return std::make_unique<WatchedTable>(std::move(table), id.kind, watch_, source_);
    }
    SqliteStorage& inner_;
    StreamWatch& watch_;
    bool source_;
};

} // namespace

// A table many batches long (a long run of one point's hours) goes over as the source's query gives it:
// at no commit are more rows in hand than one batch, no point's table is read whole, and every row
// arrives as it was, counted and checked.
TEST_F(Migration, ATableLongerThanABatchIsStreamedBatchByBatch) {
    constexpr int kHours = 2503;
    constexpr int kBatch = 100;
    fillInstallation(source_);
    appendRows(source_, {TableKind::Hourly, kPoints.at(2), {}}, kHours, kPoints.at(2), true);
    const auto original = readTableFiles(sourceHome_.root().root());

    StreamWatch watch;
    WatchedStorage from(source_, watch, true);
    WatchedStorage to(target_, watch, false);
    MigrationOptions options;
    options.batchRows = kBatch;
    qint64 walkedAtLastCommit = 0;
    options.progress = [&](const MigrationProgress& p) {
        if (p.phase != MigrationProgress::Phase::Copy || p.id.kind != TableKind::Hourly ||
            p.id.identifier != kPoints.at(2))
            return;
        EXPECT_EQ(p.rowsTotal, kHours);
        if (p.rowsDone == 0) {
            walkedAtLastCommit = watch.walked;
            return;
        }
        // What the source has handed out and the target has not yet committed: never more than a batch.
        watch.mostHeld = std::max(watch.mostHeld, watch.walked - walkedAtLastCommit);
        walkedAtLastCommit = watch.walked;
    };
    const MigrationReport report = migrateStorage(from, to, options);
    ASSERT_TRUE(report.ok()) << report.error.detail.toStdString();

    EXPECT_TRUE(watch.wholeReads.isEmpty()) << watch.wholeReads.join(u' ').toStdString();
    EXPECT_EQ(watch.mostHeld, kBatch);
    // 30 + 5 rows of the other points' hours in a batch each, the long one in 26.
    EXPECT_EQ(watch.commits, 1 + 1 + (kHours + kBatch - 1) / kBatch);
    EXPECT_EQ(report.pointRows.value(kPoints.at(2)), kHours + 3);
    EXPECT_EQ(report.of(TableKind::Hourly).rows, 30 + 5 + kHours);
    EXPECT_EQ(report.of(TableKind::Hourly).checked, 3);
    EXPECT_EQ(report.of(TableKind::Hourly).mismatched, 0);
    expectSameFiles(readTableFiles(targetHome_.root().root()), withTextNullsEmpty(original, schemas_));
}

// Every file the source has arrives in the target under the same name, holding the same rows value for
// value, each with the engine's same type: Cyrillic texts, fields never written (a text as "", the rest
// as NULL), doubles to the last bit, the hour summer time skips; the tables that hold no row are there
// too.
TEST_F(Migration, CopiesEveryTableOfEveryKindRowForRow) {
    fillInstallation(source_);
    const auto original = readTableFiles(sourceHome_.root().root());
    ASSERT_EQ(original.size(), 1 + 1 + 2 * 11 + 2 + 3); // registry, gases, two full points, t00003, days

    // Every table's copy reported batch by batch up to its last row, then its check.
    QStringList copiedBatches;
    int checks = 0;
    MigrationOptions options;
    options.batchRows = 7; // the hourly table's 30 rows in five transactions
    options.progress = [&](const MigrationProgress& p) {
        EXPECT_LE(p.rowsDone, p.rowsTotal);
        EXPECT_LT(p.tablesDone, p.tablesTotal);
        if (p.phase == MigrationProgress::Phase::Check) {
            EXPECT_EQ(p.tablesDone, checks);
            ++checks;
        } else if (p.id.kind == TableKind::Hourly && p.id.identifier == kPoints.at(0)) {
            copiedBatches.append(QStringLiteral("%1/%2").arg(p.rowsDone).arg(p.rowsTotal));
        }
    };
    const MigrationReport report = migrateStorage(source_, target_, options);
    ASSERT_TRUE(report.ok()) << report.error.detail.toStdString();
    EXPECT_EQ(checks, original.size());
    EXPECT_EQ(copiedBatches,
              (QStringList{QStringLiteral("0/30"), QStringLiteral("7/30"), QStringLiteral("14/30"),
                           QStringLiteral("21/30"), QStringLiteral("28/30"), QStringLiteral("30/30")}));

    expectSameFiles(readTableFiles(targetHome_.root().root()), withTextNullsEmpty(original, schemas_));
    EXPECT_EQ(report.points, kPoints);
    EXPECT_EQ(report.joinDays, kJoinDays);
    // t00001: 30 hourly and 4 rows of each of its ten other kinds; t00002: 5 of each of eleven.
    EXPECT_EQ(report.pointRows,
              (QMap<QString, qint64>{
                  {kPoints.at(0), 30 + 10 * 4}, {kPoints.at(1), 11 * 5}, {kPoints.at(2), 0 + 3}}));

    EXPECT_EQ(report.of(TableKind::Registry).tables, 1);
    EXPECT_EQ(report.of(TableKind::Registry).rows, 3);
    EXPECT_EQ(report.of(TableKind::Gas).rows, 2);
    EXPECT_EQ(report.of(TableKind::Hourly).tables, 3);
    EXPECT_EQ(report.of(TableKind::Hourly).rows, 30 + 5 + 0);
    EXPECT_EQ(report.of(TableKind::Daily).tables, 3);
    EXPECT_EQ(report.of(TableKind::Daily).rows, 4 + 5 + 3);
    EXPECT_EQ(report.of(TableKind::Measurement).tables, 2);
    EXPECT_EQ(report.of(TableKind::Measurement).rows, 4 + 5);
    EXPECT_EQ(report.of(TableKind::Join).tables, 3);
    EXPECT_EQ(report.of(TableKind::Join).rows, 3 + 0 + 2);
    for (TableKind kind : kSchemaLoadOrder) {
        EXPECT_EQ(report.of(kind).checked, report.of(kind).tables) << migrationKindName(kind).toStdString();
        EXPECT_EQ(report.of(kind).mismatched, 0);
    }

    // The empty tables were made, and the tables a point never had were not.
    EXPECT_TRUE(target_.exists({TableKind::Hourly, kPoints.at(2), {}}));
    EXPECT_TRUE(target_.exists({TableKind::Join, {}, kJoinDays.at(1)}));
    EXPECT_FALSE(target_.exists({TableKind::Monthly, kPoints.at(2), {}}));
    Error why;
    auto hourly = target_.openExisting({TableKind::Hourly, kPoints.at(2), {}}, why);
    ASSERT_TRUE(hourly);
    EXPECT_EQ(hourly->trySelect().value_or(QList<QVariantList>{{1}}).size(), 0);
    EXPECT_TRUE(checkTableFile(target_.location({TableKind::Hourly, kPoints.at(0), {}}),
                               schemas_.of(TableKind::Hourly))
                    .isEmpty());
}

// The running numbers are the target's own: in the same order as the source's, even where the source
// has gaps left by deleted rows.
TEST_F(Migration, NumbersRowsInTheSourcesOrderWithoutItsGaps) {
    fillInstallation(source_);
    Error why;
    auto daily = source_.openExisting({TableKind::Daily, kPoints.at(0), {}}, why);
    ASSERT_TRUE(daily);
    const auto before = daily->trySelect();
    ASSERT_TRUE(before && before->size() == 4);
    ASSERT_TRUE(daily->remove(QStringLiteral("dNum"), before->at(1).at(0)));

    ASSERT_TRUE(migrateStorage(source_, target_).ok());
    auto copied = target_.openExisting({TableKind::Daily, kPoints.at(0), {}}, why);
    ASSERT_TRUE(copied);
    const auto after = copied->trySelect();
    ASSERT_TRUE(after && after->size() == 3);
    const int wr = copied->position(QStringLiteral("dNumWrCor"));
    QList<qlonglong> numbers;
    QList<qlonglong> records;
    for (const QVariantList& row : *after) {
        numbers.append(row.at(0).toLongLong());
        records.append(row.at(wr).toLongLong());
    }
    EXPECT_EQ(records, (QList<qlonglong>{1, 3, 4}));
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
    EXPECT_EQ(numbers.at(1) - numbers.at(0), 1); // the gap is not carried over
}

// A target that already holds points, gases or any table the copy would make is refused before
// anything is written, naming what is there; an empty registry or gas table is no obstacle.
TEST_F(Migration, RefusesATargetThatAlreadyHoldsWhatItWouldCopy) {
    fillInstallation(source_);
    {
        Error why;
        ASSERT_TRUE(target_.openTable({TableKind::Registry, {}, {}}, why, kMadeAt));
        ASSERT_TRUE(target_.openTable({TableKind::Gas, {}, {}}, why, kMadeAt));
    }
    appendRows(target_, {TableKind::Registry, {}, {}}, 1, QStringLiteral("t77777"), false);
    appendRows(target_, {TableKind::Gas, {}, {}}, 1, QStringLiteral("mine"), false);
    appendRows(target_, {TableKind::Hourly, kPoints.at(1), {}}, 1, kPoints.at(1), false);
    appendRows(target_, {TableKind::Join, {}, kJoinDays.at(2)}, 1, kPoints.at(0), false);
    const auto before = readTableFiles(targetHome_.root().root());

    const MigrationReport report = migrateStorage(source_, target_);
    EXPECT_FALSE(report.ok());
    EXPECT_EQ(report.occupied, (QStringList{QStringLiteral("point t77777"), QStringLiteral("gas mine"),
                                            target_.location({TableKind::Hourly, kPoints.at(1), {}}),
                                            target_.location({TableKind::Join, {}, kJoinDays.at(2)})}));
    EXPECT_EQ(readTableFiles(targetHome_.root().root()), before);
    for (TableKind kind : kSchemaLoadOrder)
        EXPECT_EQ(report.of(kind).tables, 0);
}

// A new installation made to take a copy already holds an empty join table of the day it was made: a day
// the source has too. Empty, it takes the source's rows as a missing table would; only rows refuse.
TEST_F(Migration, AnEmptyJoinTableOfTheTargetTakesTheDaysRows) {
    fillInstallation(source_);
    appendRows(target_, {TableKind::Join, {}, kJoinDays.at(0)}, 0, kPoints.at(0), false);
    appendRows(target_, {TableKind::Join, {}, kJoinDays.at(1)}, 0, kPoints.at(0), false);

    const MigrationReport report = migrateStorage(source_, target_);
    EXPECT_TRUE(report.ok()) << report.error.detail.toStdString();
    EXPECT_TRUE(report.occupied.isEmpty()) << report.occupied.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(report.mismatches.isEmpty());
    Error why;
    const auto copied = target_.openExisting({TableKind::Join, {}, kJoinDays.at(0)}, why);
    ASSERT_TRUE(copied) << why.detail.toStdString();
    const auto original = source_.openExisting({TableKind::Join, {}, kJoinDays.at(0)}, why);
    ASSERT_TRUE(original);
    EXPECT_EQ(copied->select().size(), 3);
    EXPECT_EQ(copied->select().size(), original->select().size());
}

// A copy that does not read back as its original is a failure named table by table, never "done".
TEST_F(Migration, TheCheckAfterFindsACopyThatLostDigits) {
    fillInstallation(source_);
    LossyStorage lossy(target_);
    const MigrationReport report = migrateStorage(source_, lossy);
    EXPECT_FALSE(report.ok());
    EXPECT_TRUE(report.error.ok());
    ASSERT_FALSE(report.mismatches.isEmpty());
    // Every table with a double in a row differs; the registry and the join tables hold none.
    EXPECT_EQ(report.of(TableKind::Registry).mismatched, 0);
    EXPECT_EQ(report.of(TableKind::Join).mismatched, 0);
    EXPECT_EQ(report.of(TableKind::Hourly).mismatched, 2); // t00003's empty one reads the same
    EXPECT_EQ(report.of(TableKind::Gas).mismatched, 1);
    for (const Mismatch& m : report.mismatches) {
        EXPECT_EQ(m.source.rows, m.target.rows);
        EXPECT_NE(m.source.digest, m.target.digest);
    }
}

// A stop asked for between batches ends the copy there, as a failure.
TEST_F(Migration, StopsBetweenBatchesWhenAsked) {
    fillInstallation(source_);
    int batches = 0;
    MigrationOptions options;
    options.batchRows = 10;
    options.progress = [&](const MigrationProgress& p) {
        if (p.rowsDone > 0) ++batches;
    };
    options.stopRequested = [&] { return batches >= 3; };
    const MigrationReport report = migrateStorage(source_, target_, options);
    EXPECT_TRUE(report.stopped);
    EXPECT_FALSE(report.ok());
    qlonglong copied = 0;
    for (TableKind kind : kSchemaLoadOrder)
        copied += report.of(kind).rows;
    EXPECT_LT(copied, 60);
}

// What the digest takes as the same and what as different.
TEST(MigrationDigest, KeepsApartWhatDiffersAndTakesTheNeverWrittenAsEmpty) {
    test::TempHome home;
    const Schemas schemas = shippedSchemas();
    SqliteStorage storage(home.root(), schemas);
    auto digestOf = [&](const QString& point, const QVariantMap& values) {
        Error why;
        auto table = storage.openTable({TableKind::Measurement, point, {}}, why, kMadeAt);
        EXPECT_TRUE(table && table->append(values));
        return digestTable(*table, why).value_or(TableDigest{});
    };
    const QVariantMap plain{{QStringLiteral("iIdentif"), QStringLiteral("a")}, {QStringLiteral("iP"), 0.1}};
    QVariantMap emptyText = plain;
    emptyText.insert(QStringLiteral("iComment"), QStringLiteral(""));
    QVariantMap emptyNumber = plain;
    emptyNumber.insert(QStringLiteral("iT"), QStringLiteral(""));
    QVariantMap nextDouble = plain;
    nextDouble.insert(QStringLiteral("iP"), std::nextafter(0.1, 1.0));
    QVariantMap zero = plain;
    zero.insert(QStringLiteral("iT"), 0.0);

    const TableDigest reference = digestOf(QStringLiteral("p1"), plain);
    EXPECT_EQ(reference.rows, 1);
    EXPECT_EQ(digestOf(QStringLiteral("p2"), emptyText), reference);
    EXPECT_EQ(digestOf(QStringLiteral("p3"), emptyNumber), reference);
    EXPECT_NE(digestOf(QStringLiteral("p4"), nextDouble), reference);
    EXPECT_NE(digestOf(QStringLiteral("p5"), zero), reference); // a zero is not a value never written
}
