#pragma once
// What every Storage must do the same way, whatever keeps its tables: each implementation's test program
// instantiates these cases with its backend. A backend is a type that makes a fresh, empty storage
// (start() says why it cannot, for a case to skip) and can make one of its tables fail as it fails in
// the field (held by another connection, damaged).
#include "database/Storage.h"
#include "database/Storing.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace tarn::test::contract {

using namespace tarn::database;

inline const QDateTime kNow(QDate(2025, 3, 9), QTime(7, 15, 0));

inline Schemas shippedSchemas() {
    Schemas schemas;
    schemas.ok = true;
    for (TableKind kind : kSchemaLoadOrder)
        schemas.fields[static_cast<int>(kind)] = defaultFields(kind);
    return schemas;
}

template <typename Backend> class StorageContract : public ::testing::Test {
protected:
    void SetUp() override {
        // A backend that needs what this machine lacks (a server) says so and the case skips.
        const QString unavailable = backend_.start();
        if (!unavailable.isEmpty()) GTEST_SKIP() << unavailable.toStdString();
    }
    Storage& storage() { return backend_.storage(); }
    Backend backend_;
};

TYPED_TEST_SUITE_P(StorageContract);

inline const QString kPoint = QStringLiteral("t12345");
inline const TableId kHourly{TableKind::Hourly, kPoint, {}};

inline QVariantMap hourlyRow(int number, const QDateTime& when, double volume) {
    return {{QStringLiteral("hIdentif"), kPoint},
            {QStringLiteral("hNumWrCor"), number},
            {QStringLiteral("hDate"), storedDate(when.date())},
            {QStringLiteral("hTime"), storedTime(when.time())},
            {QStringLiteral("hDT_Corr"), storedTimestamp(when)},
            {QStringLiteral("hVwrk"), volume}};
}

inline QStringList column(const Table& table, const QList<QVariantList>& rows, const QString& field) {
    const int p = table.position(field);
    QStringList out;
    for (const QVariantList& row : rows)
        out.append(row.value(p).toString());
    return out;
}

inline QList<int> positionsOf(const Table& table, std::initializer_list<const char*> names) {
    QList<int> out;
    for (const char* name : names)
        out.append(table.position(QLatin1String(name)));
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

TYPED_TEST_P(StorageContract, ATableIsOpenedOnlyWhereAskedAndCreatedWithItsSchema) {
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

TYPED_TEST_P(StorageContract, RowsComeBackByConditionAndOrder) {
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
TYPED_TEST_P(StorageContract, RowsByPositionAndChosenFieldsAreTheSameRows) {
    Storage& s = this->storage();
    Error why;
    auto table = s.openTable(kHourly, why, kNow);
    ASSERT_TRUE(table);
    const QList<int> positions = positionsOf(*table, {"hNumWrCor", "hIdentif", "hHelp", "hDT_Corr"});
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

// Appends by position one after another, as a store makes them: a text the same as the row before's,
// then changed, emptied and brought back, a number repeated, and a row of fewer fields with the same
// texts between two alike; every row keeps its own values.
TYPED_TEST_P(StorageContract, AppendsInTurnKeepEachRowsOwnValues) {
    Storage& s = this->storage();
    Error why;
    auto table = s.openTable(kHourly, why, kNow);
    ASSERT_TRUE(table);
    const QList<int> positions = positionsOf(*table, {"hNumWrCor", "hIdentif", "hHelp", "hVwrk"});
    const QString other = QStringLiteral("t54321");
    const QList<QVariantList> rows{{1, kPoint, QStringLiteral("x"), 1.5},
                                   {2, kPoint, QStringLiteral("x"), 1.5},
                                   {3, other, QStringLiteral("y"), 1.5},
                                   {4, other, QString(), 2.0},
                                   {5, other, QString(), 2.0},
                                   {6, kPoint, QStringLiteral(""), 2.0},
                                   {7, kPoint, QStringLiteral("x"), 1.5}};
    ASSERT_TRUE(table->transaction());
    for (const QVariantList& row : rows) {
        // Rows 4 and 5 are alike, with a row of other fields between them.
        if (row.at(0).toInt() == 5) {
            ASSERT_TRUE(table->appendAt(positions.first(3), {40, other, QString()}));
        }
        ASSERT_TRUE(table->appendAt(positions, row)) << row.at(0).toInt();
    }
    ASSERT_TRUE(table->commit());
    const auto whole =
        table->trySelect(QStringLiteral("\"hNumWrCor\" < ?"), {40}, QStringLiteral("\"hNumWrCor\""));
    ASSERT_TRUE(whole);
    ASSERT_EQ(whole->size(), rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(whole->at(i).at(positions.at(1)).toString(), rows.at(i).at(1).toString()) << i;
        EXPECT_EQ(whole->at(i).at(positions.at(2)).toString(), rows.at(i).at(2).toString()) << i;
        EXPECT_FALSE(whole->at(i).at(positions.at(2)).isNull()) << i; // an empty text, not NULL
        EXPECT_EQ(whole->at(i).at(positions.at(3)).toDouble(), rows.at(i).at(3).toDouble()) << i;
    }
}

// A walk row by row gives the same rows as a selection, only the fields it names, in the order asked,
// without the seed record; a NULL is no value; the visitor can stop it; an unknown field is refused.
TYPED_TEST_P(StorageContract, AWalkGivesTheSelectedRowsFieldByField) {
    Storage& s = this->storage();
    Error why;
    auto table = s.openTable(kHourly, why, kNow);
    ASSERT_TRUE(table);
    const QDateTime t0(QDate(2025, 3, 1), QTime(10, 0));
    ASSERT_TRUE(table->transaction());
    EXPECT_TRUE(table->append(hourlyRow(7, t0.addSecs(2 * 3600), 3.5)));
    EXPECT_TRUE(table->append(hourlyRow(5, t0, 1.25)));
    // No volume written: the walk reads no value there, not a zero.
    QVariantMap noVolume = hourlyRow(6, t0.addSecs(3600), 0);
    noVolume.remove(QStringLiteral("hVwrk"));
    EXPECT_TRUE(table->append(noVolume));
    EXPECT_TRUE(table->append(hourlyRow(8, t0.addDays(1), 4.0)));
    ASSERT_TRUE(table->commit());

    const QString dt = QStringLiteral("\"hDT_Corr\"");
    const QString span = dt + QStringLiteral(" >= ? AND ") + dt + QStringLiteral(" <= ?");
    const QVariantList bounds{storedTimestamp(t0), storedTimestamp(t0.addSecs(2 * 3600))};
    QStringList walked;
    bool volumeMissing = false;
    EXPECT_TRUE(table->forEachRow(
        {QStringLiteral("HVWRK"), QStringLiteral("hNumWrCor"), QStringLiteral("hDT_Corr")}, span, bounds, dt,
        [&](const RowValues& row) {
            if (row.value(1).toInt() == 6) volumeMissing = row.value(0).isNull();
            walked.append(row.value(1).toString() + QLatin1Char(' ') + row.value(2).toString() +
                          QLatin1Char(' ') + row.value(0).toString());
            // A place that names no field is no value.
            EXPECT_TRUE(row.value(-1).isNull());
            return true;
        }));
    EXPECT_EQ(
        walked,
        (QStringList{QStringLiteral("5 ") + storedTimestamp(t0) + QStringLiteral(" 1.25"),
                     QStringLiteral("6 ") + storedTimestamp(t0.addSecs(3600)) + QLatin1Char(' '),
                     QStringLiteral("7 ") + storedTimestamp(t0.addSecs(2 * 3600)) + QStringLiteral(" 3.5")}));
    EXPECT_TRUE(volumeMissing);

    // No fields named: every field in field order, the same values as the selection's rows.
    const auto selected = table->trySelect({}, {}, QStringLiteral("\"hNumWrCor\" DESC"));
    ASSERT_TRUE(selected);
    QList<QStringList> whole;
    EXPECT_TRUE(
        table->forEachRow({}, {}, {}, QStringLiteral("\"hNumWrCor\" DESC"), [&](const RowValues& row) {
            QStringList values;
            for (qsizetype i = 0; i < table->fields().size(); ++i)
                values.append(row.value(static_cast<int>(i)).toString());
            whole.append(values);
            return true;
        }));
    ASSERT_EQ(whole.size(), selected->size());
    EXPECT_EQ(whole.size(), 4); // the seed record is no row here either
    for (qsizetype r = 0; r < whole.size(); ++r)
        for (qsizetype c = 0; c < table->fields().size(); ++c)
            EXPECT_EQ(whole.at(r).at(c), selected->at(r).at(c).toString())
                << "row " << r << ", " << table->fields().at(c).name.toStdString();

    // The visitor stops the walk where it says so, and that is no failure.
    int visited = 0;
    EXPECT_TRUE(table->forEachRow({QStringLiteral("hNumWrCor")}, {}, {}, dt, [&](const RowValues&) {
        ++visited;
        return false;
    }));
    EXPECT_EQ(visited, 1);

    EXPECT_FALSE(table->forEachRow({QStringLiteral("hNoSuchField")}, {}, {}, {}, [&](const RowValues&) {
        ADD_FAILURE() << "a refused walk visits nothing";
        return true;
    }));
    EXPECT_EQ(table->lastFailure().kind, ErrorKind::Invalid);
}

TYPED_TEST_P(StorageContract, UpdateAndRemoveTouchOnlyTheKeyedRows) {
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

TYPED_TEST_P(StorageContract, ARolledBackTransactionLeavesNothing) {
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

TYPED_TEST_P(StorageContract, StoringTheSameRecordsTwiceWritesThemOnce) {
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

TYPED_TEST_P(StorageContract, ErasingAPointTakesItsTablesAndNothingElse) {
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

TYPED_TEST_P(StorageContract, ATableHeldElsewhereIsLockedAndADamagedOneDamaged) {
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

// The value of the last row by number, read alone: the same row selectGreatest finds, whatever gaps,
// repeated times and out-of-order times the table holds; nothing from a missing or seed-only table, and
// asking makes no table.
TYPED_TEST_P(StorageContract, TheLastRowsValueIsTheRowSelectGreatestFinds) {
    Storage& s = this->storage();
    const QString num = QStringLiteral("hNum");
    const QString stamp = QStringLiteral("hDT_Corr");
    EXPECT_FALSE(s.greatestRowValue(TableKind::Hourly, kPoint, num, stamp).isValid());
    EXPECT_FALSE(s.exists(kHourly));

    Error why;
    auto table = s.openTable(kHourly, why, kNow);
    ASSERT_TRUE(table) << why.detail.toStdString();
    // The seed record's stamp is the table's making, never a stored record.
    EXPECT_FALSE(s.greatestRowValue(TableKind::Hourly, kPoint, num, stamp).isValid());

    const QDateTime t0(QDate(2025, 3, 1), QTime(10, 0));
    auto lastByGreatest = [&] {
        const QList<QVariantList> rows = table->selectGreatest(num);
        return rows.isEmpty() ? QVariant() : rows.first().value(table->position(stamp));
    };
    auto expectSameAsGreatest = [&](const QString& expected) {
        const QVariant value = s.greatestRowValue(TableKind::Hourly, kPoint, num, stamp);
        EXPECT_EQ(value.toString(), expected);
        EXPECT_EQ(value.toString(), lastByGreatest().toString());
    };
    // The last row written holds an older time than the one before it: the number decides.
    ASSERT_TRUE(table->append(hourlyRow(1, t0, 1.0)));
    ASSERT_TRUE(table->append(hourlyRow(3, t0.addDays(2), 3.0)));
    ASSERT_TRUE(table->append(hourlyRow(2, t0.addDays(1), 2.0)));
    expectSameAsGreatest(storedTimestamp(t0.addDays(1)));
    // The same record time twice, and a gap in the numbers where the last row was taken away.
    ASSERT_TRUE(table->append(hourlyRow(4, t0.addDays(3), 4.0)));
    ASSERT_TRUE(table->append(hourlyRow(5, t0.addDays(3), 5.0)));
    ASSERT_TRUE(table->append(hourlyRow(6, t0.addDays(5), 6.0)));
    ASSERT_TRUE(table->remove(QStringLiteral("hNumWrCor"), 6));
    expectSameAsGreatest(storedTimestamp(t0.addDays(3)));
    EXPECT_EQ(s.greatestRowValue(TableKind::Hourly, kPoint, num, QStringLiteral("HVWRK")).toDouble(), 5.0);

    // A field the table does not have gives nothing, as does another point's missing table.
    EXPECT_FALSE(
        s.greatestRowValue(TableKind::Hourly, kPoint, num, QStringLiteral("hNoSuchField")).isValid());
    EXPECT_FALSE(
        s.greatestRowValue(TableKind::Hourly, kPoint, QStringLiteral("hNoSuchKey"), stamp).isValid());
    EXPECT_FALSE(s.greatestRowValue(TableKind::Hourly, QStringLiteral("t54321"), num, stamp).isValid());
    EXPECT_FALSE(s.exists({TableKind::Hourly, QStringLiteral("t54321"), {}}));

    // Every row taken away: empty again.
    for (int n = 1; n <= 5; ++n)
        ASSERT_TRUE(table->remove(QStringLiteral("hNumWrCor"), n));
    EXPECT_FALSE(s.greatestRowValue(TableKind::Hourly, kPoint, num, stamp).isValid());
    EXPECT_FALSE(lastByGreatest().isValid());
}

// The last rows' values of many points asked at once are what each point's table gives alone: a clock
// gone back, a last row taken away, a table with nothing but its seed record, a missing table, a stamp
// that is no time; an unknown field or key gives nothing; a reading stopped before it begins reads
// nothing.
TYPED_TEST_P(StorageContract, ManyPointsLastRowsValuesAreEachPointsOwn) {
    Storage& s = this->storage();
    const QString num = QStringLiteral("hNum");
    const QString stamp = QStringLiteral("hDT_Corr");
    const QDateTime t0(QDate(2025, 3, 1), QTime(10, 0));
    const QStringList points{QStringLiteral("t10001"), QStringLiteral("t10002"), QStringLiteral("t10003"),
                             QStringLiteral("t10004"), QStringLiteral("t10005")};
    Error why;
    {
        auto backInTime = s.openTable({TableKind::Hourly, points[0], {}}, why, kNow);
        ASSERT_TRUE(backInTime) << why.detail.toStdString();
        ASSERT_TRUE(backInTime->append(hourlyRow(1, t0.addDays(2), 1.0)));
        ASSERT_TRUE(backInTime->append(hourlyRow(2, t0, 2.0)));
        auto lastTaken = s.openTable({TableKind::Hourly, points[1], {}}, why, kNow);
        ASSERT_TRUE(lastTaken);
        ASSERT_TRUE(lastTaken->append(hourlyRow(1, t0, 1.0)));
        ASSERT_TRUE(lastTaken->append(hourlyRow(2, t0.addDays(1), 2.0)));
        ASSERT_TRUE(lastTaken->remove(QStringLiteral("hNumWrCor"), 2));
        ASSERT_TRUE(s.openTable({TableKind::Hourly, points[2], {}}, why, kNow)); // the seed record alone
        auto noTime = s.openTable({TableKind::Hourly, points[4], {}}, why, kNow);
        ASSERT_TRUE(noTime);
        QVariantMap row = hourlyRow(1, t0, 1.0);
        row.remove(stamp);
        ASSERT_TRUE(noTime->append(row));
    }
    // points[3] has no table at all.
    const QHash<QString, QVariant> many = s.greatestRowValues(TableKind::Hourly, points, num, stamp);
    for (const QString& point : points) {
        const QVariant one = s.greatestRowValue(TableKind::Hourly, point, num, stamp);
        EXPECT_EQ(many.contains(point), one.isValid()) << point.toStdString();
        EXPECT_EQ(many.value(point).toString(), one.toString()) << point.toStdString();
    }
    EXPECT_EQ(many.value(points[0]).toString(), storedTimestamp(t0));
    EXPECT_EQ(many.value(points[1]).toString(), storedTimestamp(t0));
    EXPECT_FALSE(many.contains(points[2]));
    EXPECT_FALSE(many.contains(points[3]));
    EXPECT_FALSE(s.exists({TableKind::Hourly, points[3], {}})) << "a read makes no table";
    EXPECT_EQ(s.greatestRowValues(TableKind::Hourly, points, num, QStringLiteral("HVWRK"))
                  .value(points[0])
                  .toDouble(),
              2.0);
    EXPECT_TRUE(
        s.greatestRowValues(TableKind::Hourly, points, num, QStringLiteral("hNoSuchField")).isEmpty());
    EXPECT_TRUE(
        s.greatestRowValues(TableKind::Hourly, points, QStringLiteral("hNoSuchKey"), stamp).isEmpty());
    EXPECT_TRUE(s.greatestRowValues(TableKind::Hourly, points, num, stamp, [] { return true; }).isEmpty());

    // The newest stored time of each point, from its tables of every kind, is the latest of them.
    auto daily = s.openTable({TableKind::Daily, points[1], {}}, why, kNow);
    ASSERT_TRUE(daily) << why.detail.toStdString();
    ASSERT_TRUE(daily->append({{QStringLiteral("dIdentif"), points[1]},
                               {QStringLiteral("dNumWrCor"), 1},
                               {QStringLiteral("dDT_Corr"), storedTimestamp(t0.addDays(3))}}));
    const QHash<QString, QDateTime> newest = newestStoredStamps(s, points);
    EXPECT_EQ(newest.value(points[0]), t0);
    EXPECT_EQ(newest.value(points[1]), t0.addDays(3));
    EXPECT_EQ(newest.size(), 2);
    for (const QString& point : points)
        EXPECT_EQ(newest.value(point), newestStoredStamp(s, point)) << point.toStdString();
}

REGISTER_TYPED_TEST_SUITE_P(StorageContract, ATableIsOpenedOnlyWhereAskedAndCreatedWithItsSchema,
                            RowsComeBackByConditionAndOrder, RowsByPositionAndChosenFieldsAreTheSameRows,
                            AppendsInTurnKeepEachRowsOwnValues, AWalkGivesTheSelectedRowsFieldByField,
                            UpdateAndRemoveTouchOnlyTheKeyedRows, ARolledBackTransactionLeavesNothing,
                            StoringTheSameRecordsTwiceWritesThemOnce,
                            ErasingAPointTakesItsTablesAndNothingElse,
                            ATableHeldElsewhereIsLockedAndADamagedOneDamaged,
                            TheLastRowsValueIsTheRowSelectGreatestFinds,
                            ManyPointsLastRowsValuesAreEachPointsOwn);

} // namespace tarn::test::contract
