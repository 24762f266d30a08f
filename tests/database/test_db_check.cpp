// The check of an installation's tables, and its repair: each hostile file is made here, found, and
// rebuilt with its good rows while the original stays beside it.
#include "common/Language.h"
#include "database/DatabaseCheck.h"
#include "database/Registry.h"
#include "support/DatabaseFaults.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace tarn;
using namespace tarn::database;

namespace {

const QString kId = QStringLiteral("t12345");
const QDateTime kNow(QDate(2025, 3, 9), QTime(7, 15, 0));
constexpr int kGoodRows = 5;

struct Installation {
    test::TempHome home;
    Schemas schemas;
    Installation() {
        writeMissingSchemaFiles(home.root());
        schemas = loadSchemas(home.root());
        openDatabaseAtStart(home.root(), schemas, kNow.date());
        addPoint(kId);
        auto t = TableFile::open(hourly(), TableKind::Hourly, schemas.of(TableKind::Hourly));
        for (int i = 1; i <= kGoodRows; ++i)
            t->append({{QStringLiteral("hIdentif"), kId},
                       {QStringLiteral("hNumWrCor"), i},
                       {QStringLiteral("hDT_Corr"), storedTimestamp(QDateTime(QDate(2025, 3, 1), QTime(i, 0)))},
                       {QStringLiteral("hP"), 1.5 + i}});
    }
    void addPoint(const QString& id) {
        Point p;
        p.identifier = id;
        p.serial = id.mid(1);
        p.model = QStringLiteral("ТАРН-2.01  ");
        Registry(home.root(), schemas).add(p, kNow);
    }
    QString hourly(const QString& id = kId) const { return tablePath(home.root(), TableKind::Hourly, id); }
    CheckReport check(bool repair = false, const QString& point = {}) const {
        CheckOptions o;
        o.repair = repair;
        o.point = point;
        o.today = kNow.date();
        o.now = kNow;
        return checkDatabase(home.root(), schemas, o);
    }
    qlonglong goodRows(const QString& id = kId) const {
        return test::queryNumber(hourly(id), QStringLiteral("SELECT count(*) FROM h_%1 WHERE hIdentif <> '0'").arg(id));
    }
};

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool overwrite(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

bool truncateTo(const QString& path, qint64 size) {
    return QFile(path).resize(size);
}

QString describe(const CheckReport& r) {
    QStringList lines;
    for (const Finding& f : r.findings)
        lines.append(findingLine(f, kRussian));
    return lines.join(QLatin1Char('\n'));
}

} // namespace

TEST(DatabaseCheck, AFreshInstallationIsClean) {
    Installation inst;
    const CheckReport r = inst.check();
    EXPECT_TRUE(r.findings.isEmpty()) << describe(r).toStdString();
    // Registry, gas table, the point's eleven tables and the day's join table.
    EXPECT_EQ(r.tables, 14);
}

TEST(DatabaseCheck, EachHostileTableIsFoundAndRebuiltWithItsGoodRows) {
    struct Case {
        const char* what;
        std::function<bool(const QString&)> spoil;
        FindingKind kind;
        QString detail; // empty: not compared
        int kept;
        int leftOut;
        int repeats;
    };
    const auto sql = [](QStringList statements) {
        return [statements](const QString& path) { return test::alterTableFile(path, statements); };
    };
    const QList<Case> cases = {
        {"trigger", sql({"CREATE TRIGGER wipe AFTER INSERT ON h_t12345 BEGIN DELETE FROM h_t12345; END"}),
         FindingKind::ExtraObject, QStringLiteral("trigger wipe"), kGoodRows, 0, 0},
        {"view", sql({"CREATE VIEW hv AS SELECT * FROM h_t12345"}), FindingKind::ExtraObject,
         QStringLiteral("view hv"), kGoodRows, 0, 0},
        {"extra index", sql({"CREATE INDEX hx ON h_t12345 (hDT_Corr)"}), FindingKind::ExtraObject,
         QStringLiteral("index hx"), kGoodRows, 0, 0},
        {"extra table", sql({"CREATE TABLE other (x)"}), FindingKind::ExtraObject, QStringLiteral("table other"),
         kGoodRows, 0, 0},
        {"a field missing", sql({"ALTER TABLE h_t12345 DROP COLUMN hComment"}), FindingKind::MissingField,
         QStringLiteral("hComment"), kGoodRows, 0, 0},
        {"a field more", sql({"ALTER TABLE h_t12345 ADD COLUMN hExtra TEXT"}), FindingKind::ExtraField,
         QStringLiteral("hExtra"), kGoodRows, 0, 0},
        {"a field of another type, one value that does not fit",
         [](const QString& path) {
             return test::alterTableFile(path, {"PRAGMA writable_schema = ON",
                                                "UPDATE sqlite_master SET sql = replace(sql, '\"hP\" REAL', "
                                                "'\"hP\" TEXT') WHERE name = 'h_t12345'",
                                                "PRAGMA writable_schema = OFF"}) &&
                    test::alterTableFile(path, {"INSERT INTO h_t12345 (hIdentif, hNumWrCor, hDT_Corr, hP) "
                                                "VALUES ('t12345', 99, '2025-03-02T00:00:00', 'abc')"});
         },
         FindingKind::FieldType, QStringLiteral("hP: TEXT, not REAL"), kGoodRows, 1, 0},
        {"rows repeating a record number and time",
         sql({"INSERT INTO h_t12345 (hIdentif, hNumWrCor, hDT_Corr, hP) SELECT hIdentif, hNumWrCor, hDT_Corr, "
              "hP FROM h_t12345 WHERE hNumWrCor IN (1, 2)"}),
         FindingKind::DuplicateRows, QStringLiteral("2"), kGoodRows, 0, 2},
        {"pages overwritten", [](const QString& path) { return test::damageTableFile(path); },
         FindingKind::Damaged, {}, 0, 0, 0},
        {"cut in the middle", [](const QString& path) { return truncateTo(path, 5000); }, FindingKind::Damaged,
         {}, 0, 0, 0},
        {"cut inside its first page", [](const QString& path) { return truncateTo(path, 300); },
         FindingKind::NotATableFile, {}, 0, 0, 0},
        {"not a table file", [](const QString& path) { return overwrite(path, QByteArray(8192, 'x')); },
         FindingKind::NotATableFile, {}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Installation inst;
        ASSERT_TRUE(c.spoil(inst.hourly()));
        const CheckReport found = inst.check();
        // The kind looked for among what was found (a field of another type also fails the engine's own
        // check of its values).
        const auto hit = std::find_if(found.findings.begin(), found.findings.end(),
                                      [&](const Finding& x) { return x.kind == c.kind; });
        ASSERT_NE(hit, found.findings.end()) << describe(found).toStdString();
        const Finding& f = *hit;
        EXPECT_EQ(f.file, QStringLiteral("Hour/h_t12345.db"));
        EXPECT_EQ(f.table, QStringLiteral("h_t12345"));
        if (!c.detail.isEmpty()) {
            EXPECT_EQ(f.detail, c.detail);
        }
        for (const Finding& other : found.findings)
            EXPECT_EQ(other.file, f.file) << describe(found).toStdString();
        EXPECT_EQ(found.left(), found.findings.size());

        const QByteArray original = bytesOf(inst.hourly());
        const CheckReport repaired = inst.check(true);
        ASSERT_EQ(repaired.findings.size(), found.findings.size());
        EXPECT_EQ(repaired.left(), 0) << describe(repaired).toStdString();
        const Finding& r = repaired.findings.first();
        EXPECT_TRUE(r.repaired);
        EXPECT_EQ(r.keptAs, QStringLiteral("Hour/h_t12345.db.damaged-20250309-071500"));
        // The original is kept byte for byte.
        EXPECT_EQ(bytesOf(QDir(inst.home.root().root()).filePath(r.keptAs)), original);
        EXPECT_EQ(r.rows.kept, c.kept);
        EXPECT_EQ(r.rows.leftOut, c.leftOut);
        EXPECT_EQ(r.rows.repeats, c.repeats);
        EXPECT_EQ(inst.goodRows(), c.kept);
        EXPECT_EQ(test::queryNumber(inst.hourly(), QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name "
                                                                  "NOT LIKE 'sqlite_%'")),
                  1);
        EXPECT_TRUE(inst.check().findings.isEmpty()) << describe(inst.check()).toStdString();
        // The rebuilt table takes the next store, and nothing fires on it.
        {
            auto t = TableFile::open(inst.hourly(), TableKind::Hourly, inst.schemas.of(TableKind::Hourly));
            ASSERT_TRUE(t);
            ASSERT_TRUE(t->append({{QStringLiteral("hIdentif"), kId}, {QStringLiteral("hNumWrCor"), 500}}));
        }
        EXPECT_EQ(inst.goodRows(), c.kept + 1);
    }
}

TEST(DatabaseCheck, TheRegistryAgainstTheTablesInTheFolders) {
    Installation inst;
    inst.addPoint(QStringLiteral("t22222"));
    // A registered point without its daily table, and a table no registry row names.
    ASSERT_TRUE(QFile::remove(tablePath(inst.home.root(), TableKind::Daily, QStringLiteral("t22222"))));
    {
        auto orphan = TableFile::open(inst.hourly(QStringLiteral("x99999")), TableKind::Hourly,
                                      inst.schemas.of(TableKind::Hourly));
        ASSERT_TRUE(orphan);
    }
    CheckReport r = inst.check();
    ASSERT_EQ(r.findings.size(), 2) << describe(r).toStdString();
    EXPECT_EQ(r.findings.at(0).kind, FindingKind::MissingTable);
    EXPECT_EQ(r.findings.at(0).file, QStringLiteral("Day/d_t22222.db"));
    EXPECT_EQ(r.findings.at(0).detail, QStringLiteral("t22222"));
    EXPECT_EQ(r.findings.at(1).kind, FindingKind::OrphanTable);
    EXPECT_EQ(r.findings.at(1).file, QStringLiteral("Hour/h_x99999.db"));

    // One point: only its own tables.
    EXPECT_TRUE(inst.check(false, kId).findings.isEmpty()) << describe(inst.check(false, kId)).toStdString();
    EXPECT_EQ(inst.check(false, QStringLiteral("x99999")).findings.size(), 1);

    // The missing table is made; whose the orphan is stays the engineer's call, and it stays in place.
    r = inst.check(true);
    ASSERT_EQ(r.findings.size(), 2);
    EXPECT_TRUE(r.findings.at(0).repaired);
    EXPECT_FALSE(r.findings.at(1).repaired);
    EXPECT_EQ(r.left(), 1);
    EXPECT_TRUE(QFile::exists(tablePath(inst.home.root(), TableKind::Daily, QStringLiteral("t22222"))));
    EXPECT_TRUE(QFile::exists(inst.hourly(QStringLiteral("x99999"))));
    EXPECT_EQ(inst.check().findings.size(), 1);
}

TEST(DatabaseCheck, ThisMonthsJoinTablesAndTheRegistryItself) {
    Installation inst;
    const QString join = tablePath(inst.home.root(), TableKind::Join, {}, kNow.date());
    const QString name = QFileInfo(join).completeBaseName();
    ASSERT_TRUE(test::alterTableFile(
        join, {QStringLiteral("CREATE TRIGGER j AFTER INSERT ON %1 BEGIN SELECT 1; END").arg(name)}));
    const QString registry = tablePath(inst.home.root(), TableKind::Registry);
    ASSERT_TRUE(test::alterTableFile(registry, {"CREATE VIEW points AS SELECT kIdentif FROM Bd_Quon"}));
    CheckReport r = inst.check();
    ASSERT_EQ(r.findings.size(), 2) << describe(r).toStdString();
    EXPECT_EQ(r.findings.at(0).file, QStringLiteral("Data/Bd_Quon.DB"));
    EXPECT_EQ(r.findings.at(1).file, QStringLiteral("Join/j_2503/j_250309.db"));
    // Another month's join tables are not this check's business.
    EXPECT_EQ(checkDatabase(inst.home.root(), inst.schemas, {{}, false, QDate(2025, 4, 1), kNow, {}}).findings.size(), 1);

    r = inst.check(true);
    EXPECT_EQ(r.left(), 0) << describe(r).toStdString();
    // The registry kept its point.
    const PointLookup p = Registry(inst.home.root(), inst.schemas).find(kId);
    EXPECT_EQ(p.outcome(), PointLookup::Outcome::Found);
}

TEST(DatabaseCheck, TheCheckStopsWhenAskedAndTheLinesSayWhat) {
    Installation inst;
    int calls = 0;
    CheckOptions o;
    o.progress = [&](int done, int total) {
        ++calls;
        EXPECT_LE(done, total);
        return done < 2;
    };
    const CheckReport r = checkDatabase(inst.home.root(), inst.schemas, o);
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(calls, 2);

    Finding f;
    f.file = QStringLiteral("Hour/h_t12345.db");
    f.kind = FindingKind::ExtraObject;
    f.detail = QStringLiteral("trigger wipe");
    f.repaired = true;
    f.keptAs = QStringLiteral("Hour/h_t12345.db.damaged-20250309-071500");
    f.rows.kept = 5;
    f.rows.repeats = 2;
    EXPECT_EQ(findingLine(f, kRussian),
              QDir::toNativeSeparators(QStringLiteral("Hour/h_t12345.db")) +
                  QStringLiteral(": лишний объект в файле (trigger wipe) - исправлено, записей сохранено: 5, "
                                 "отброшено: 2, оригинал: ") +
                  QDir::toNativeSeparators(f.keptAs));
    EXPECT_TRUE(findingLine(f, kUkrainian).contains(QStringLiteral("зайвий об'єкт у файлі")));
    EXPECT_EQ(findingKindName(FindingKind::DuplicateRows), QStringLiteral("duplicate-rows"));
}

TEST(DatabaseCheck, ACopiedInTableMustPassTheCheckOrTheTargetStays) {
    Installation inst;
    const QString foreign = inst.home.root().root() + QStringLiteral("/foreign.db");
    ASSERT_TRUE(QFile::copy(inst.hourly(), foreign));
    ASSERT_TRUE(test::alterTableFile(foreign, {"INSERT INTO h_t12345 (hIdentif, hNumWrCor, hDT_Corr) SELECT "
                                               "hIdentif, hNumWrCor, hDT_Corr FROM h_t12345 WHERE hNumWrCor = 3"}));
    const QByteArray before = bytesOf(inst.hourly());
    QString why;
    EXPECT_FALSE(copyRowsInto(foreign, inst.schemas.of(TableKind::Hourly), inst.hourly(), &why));
    EXPECT_TRUE(why.contains(QStringLiteral("repeated rows 1"))) << why.toStdString();
    EXPECT_EQ(bytesOf(inst.hourly()), before);
    EXPECT_EQ(QDir(QFileInfo(inst.hourly()).absolutePath()).entryList(QDir::Files).size(), 1);
}
