// Folder synchronisation: the rule file, the files it chooses copied from a master installation, a
// missing source noted and mirrored, and rules that would reach outside the installations refused.
#include "common/Language.h"
#include "common/TextFile.h"
#include "database/Registry.h"
#include "support/DatabaseFaults.h"
#include "support/TestSupport.h"
#include "sync/FolderSync.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <gtest/gtest.h>

#include <cerrno>

using namespace tarn;
using namespace tarn::database;

namespace {

struct Pair {
    test::TempHome master;
    test::TempHome copy;
    Schemas schemas;
    Pair() {
        writeMissingSchemaFiles(master.root());
        writeMissingSchemaFiles(copy.root());
        schemas = loadSchemas(master.root());
        QFile program(QDir(master.root().root()).filePath(QStringLiteral("Tarn_B.exe")));
        program.open(QIODevice::WriteOnly);
    }
    void rules(const QByteArray& text) { copy.write(folder::Work, QStringLiteral("SynDir.000"), text); }
};

int hourlyRows(const DataRoot& root, const Schemas& schemas, const QString& id) {
    auto t = TableFile::open(tablePath(root, TableKind::Hourly, id), TableKind::Hourly,
                             schemas.of(TableKind::Hourly));
    return t ? static_cast<int>(t->select().size()) : -1;
}

// Statements run on a table file, as another program might.
bool alter(const QString& path, const QStringList& statements) {
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("alter"));
        db.setDatabaseName(path);
        ok = db.open();
        for (const QString& sql : statements)
            ok = ok && QSqlQuery(db).exec(sql);
        QSqlQuery(db).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("alter"));
    return ok;
}

int objectCount(const QString& path) {
    int n = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("count"));
        db.setDatabaseName(path);
        db.open();
        QSqlQuery q(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name NOT LIKE 'sqlite_%'"), db);
        if (q.next()) n = q.value(0).toInt();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("count"));
    return n;
}

} // namespace

TEST(FolderSync, RuleLines) {
    const auto rule = sync::parseSyncRule(QStringLiteral("4 * Hour\\ * h_ / the hourly tables"));
    ASSERT_TRUE(rule);
    EXPECT_EQ(rule->command, 4);
    EXPECT_EQ(rule->folder, QStringLiteral("Hour\\"));
    EXPECT_EQ(rule->name, QStringLiteral("h_"));
    EXPECT_TRUE(rule->suffix.isEmpty());
    EXPECT_EQ(sync::parseSyncRule(QStringLiteral("2*Param\\*p_*.000"))->suffix, QStringLiteral(".000"));
    EXPECT_FALSE(sync::parseSyncRule(QStringLiteral("   ")));
    EXPECT_FALSE(sync::parseSyncRule(QStringLiteral("// only a comment")));
    EXPECT_FALSE(sync::parseSyncRule(QStringLiteral("7*Hour\\*h_")));
    EXPECT_EQ(sync::relativeSyncPath(QStringLiteral("Current\\SynCor.000")),
              QStringLiteral("Current/SynCor.000"));
    for (const char* refused :
         {"..\\Work\\x", "Hour\\..\\..\\x", "\\etc\\passwd", "/etc/passwd", "C:\\x", "Hour\\\\x", ""})
        EXPECT_FALSE(sync::relativeSyncPath(QString::fromLatin1(refused))) << refused;
}

TEST(FolderSync, CopiesWhatTheRulesChooseAndMirrorsWhatIsMissing) {
    Pair p;
    Registry master(p.master.root(), p.schemas);
    Point a;
    a.identifier = QStringLiteral("t12345");
    a.serial = QStringLiteral("12345");
    a.model = QStringLiteral("ТАРН-2.01");
    a.config[config::Flags] = QStringLiteral("00000000000");
    Point b = a;
    b.identifier = QStringLiteral("t54321");
    b.serial = QStringLiteral("54321");
    ASSERT_TRUE(master.add(a));
    ASSERT_TRUE(master.add(b));
    {
        auto t = TableFile::open(tablePath(p.master.root(), TableKind::Hourly, a.identifier),
                                 TableKind::Hourly, p.schemas.of(TableKind::Hourly));
        ASSERT_TRUE(t);
        for (int i = 0; i < 5; ++i)
            ASSERT_TRUE(
                t->append({{QStringLiteral("hIdentif"), a.identifier}, {QStringLiteral("hNumWrCor"), i}}));
        // Still open, as on a master that is polling: the copy is read through the engine.
        // The registry's file is Bd_Quon.DB: the rules name files as a system that ignores case does.
        p.rules("1*Current\\SynCor.000 / the point list first\r\n"
                "\r\n"
                "4*Hour\\*h_ / hourly tables of every point\r\n"
                "2*Param\\*p_*.000\r\n"
                "1*..\\..\\*secret\r\n"
                "3*Data\\*Bd_Quon\r\n");
        // The second point's hourly table is gone on the master, but the copy still has one.
        ASSERT_TRUE(QFile::remove(tablePath(p.master.root(), TableKind::Hourly, b.identifier)));
        ASSERT_TRUE(QDir().mkpath(p.copy.root().dir(folder::Hour)));
        p.copy.write(folder::Hour, QStringLiteral("h_t54321.db"), "old");
        p.master.write(folder::Param, QStringLiteral("p_t12345.000"), "params\r\n");
        p.master.write(folder::Hour, QStringLiteral("h_t99999.db"), "not chosen");
        p.copy.write(folder::Current, QStringLiteral("ErrDS.000"), "from the last run\r\n");

        sync::FolderSync s(p.copy.root(), p.master.root().root(), kRussian);
        ASSERT_TRUE(s.start());
        EXPECT_EQ(p.copy.read(folder::Current, QStringLiteral("ErrDS.000")), QByteArray());
        int steps = 0;
        while (s.step())
            ++steps;
        EXPECT_TRUE(s.finished());
        EXPECT_FALSE(s.stopped());
        EXPECT_EQ(s.gaugeMaximum(), 20);
        // The point list, two hourly tables (".val" and ".db" each), two parameter files, the registry.
        EXPECT_EQ(steps, 1 + 4 + 2 + 2);
        ASSERT_EQ(s.errors().size(), 1);
        EXPECT_TRUE(s.errors().first().startsWith(QStringLiteral("rule refused: ")));
        EXPECT_EQ(s.missing(), 2); // the second point's table and parameter file, no ".val"
    }
    EXPECT_EQ(hourlyRows(p.copy.root(), p.schemas, QStringLiteral("t12345")), 5);
    EXPECT_FALSE(p.copy.exists(folder::Hour, QStringLiteral("h_t54321.db")));
    EXPECT_FALSE(p.copy.exists(folder::Hour, QStringLiteral("h_t99999.db")));
    EXPECT_EQ(p.copy.read(folder::Param, QStringLiteral("p_t12345.000")), QByteArray("params\r\n"));
    EXPECT_TRUE(Registry(p.copy.root(), p.schemas).find(QStringLiteral("t54321")));
    EXPECT_FALSE(QFile::exists(QDir(p.copy.root().root()).filePath(QStringLiteral("../../secret"))));
    const auto missing = readTextLines(p.copy.path(folder::Current, QStringLiteral("ErrDS.000")));
    ASSERT_TRUE(missing);
    const QString hour = QDir::toNativeSeparators(p.master.root().dir(folder::Hour));
    EXPECT_TRUE(missing->contains(hour + QDir::separator() + QStringLiteral("h_t54321.db")));
    // Companions our engine never makes are no news: only the real gaps are listed.
    EXPECT_EQ(missing->size(), 2) << missing->join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(missing->contains(QDir::toNativeSeparators(p.master.root().dir(folder::Param)) +
                                  QDir::separator() + QStringLiteral("p_t54321.000")));
    EXPECT_FALSE(missing->contains(QStringLiteral("from the last run")));
}

TEST(FolderSync, NoProgramAtThePathMeansNoCopyingAndStopEndsTheRun) {
    Pair p;
    p.rules("3*Data\\*Bd_Quon\r\n");
    sync::FolderSync nowhere(p.copy.root(), p.copy.root().root() + QStringLiteral("/none"), kRussian);
    EXPECT_FALSE(nowhere.start());
    EXPECT_FALSE(nowhere.step());
    QFile::remove(QDir(p.master.root().root()).filePath(QStringLiteral("Tarn_B.exe")));
    sync::FolderSync noProgram(p.copy.root(), p.master.root().root(), kRussian);
    EXPECT_FALSE(noProgram.start());
    EXPECT_EQ(sync::checkSyncPathQuestion(),
              QStringLiteral("Проверьте \"путь синхронизации\"!!! Загрузку без синхронизации продолжить?"));

    QFile program(QDir(p.master.root().root()).filePath(QStringLiteral("Tarn_B.exe")));
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.close();
    sync::FolderSync stopped(p.copy.root(), p.master.root().root(), kRussian);
    ASSERT_TRUE(stopped.start());
    stopped.stop();
    EXPECT_FALSE(stopped.step());
    EXPECT_TRUE(stopped.stopped());
    EXPECT_EQ(stopped.done(), 0);

    link::LinkSettings settings;
    settings.syncOn = true;
    settings.syncPath = QStringLiteral(" /srv/master ");
    EXPECT_TRUE(sync::isSynchronisedCopy(settings));
    EXPECT_EQ(sync::synchronisationFolder(settings), QStringLiteral("/srv/master"));
}

TEST(FolderSync, ATableComesInAsItsRowsOnlyAndAStrangeOneIsRefused) {
    Pair p;
    const QString id = QStringLiteral("t12345");
    Registry master(p.master.root(), p.schemas);
    Point a;
    a.identifier = id;
    a.serial = QStringLiteral("12345");
    a.model = QStringLiteral("ТАРН-2.01");
    a.config[config::Flags] = QStringLiteral("00000000000");
    ASSERT_TRUE(master.add(a));
    const QString hourly = tablePath(p.master.root(), TableKind::Hourly, id);
    {
        auto t = TableFile::open(hourly, TableKind::Hourly, p.schemas.of(TableKind::Hourly));
        ASSERT_TRUE(t);
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(t->append({{QStringLiteral("hIdentif"), id}, {QStringLiteral("hNumWrCor"), i}}));
    }
    ASSERT_TRUE(alter(hourly, {"CREATE TRIGGER wipe AFTER INSERT ON h_t12345 BEGIN DELETE FROM h_t12345; END",
                               "CREATE VIEW hv AS SELECT * FROM h_t12345",
                               "CREATE INDEX hx ON h_t12345 (hDT_Corr)"}));
    // The master's registry with a field of another type: the copy keeps its own.
    const QString registryFile = tablePath(p.master.root(), TableKind::Registry);
    ASSERT_TRUE(alter(registryFile, {"ALTER TABLE Bd_Quon DROP COLUMN kAddrOrg",
                                     "ALTER TABLE Bd_Quon ADD COLUMN kAddrOrg BLOB"}));
    Registry(p.copy.root(), p.schemas);
    const QByteArray localRegistry = p.copy.read(folder::Data, QStringLiteral("Bd_Quon.DB"));
    p.copy.write(folder::Current, QStringLiteral("SynCor.000"), "t12345\r\n");
    p.rules("4*Hour\\*h_\r\n3*Data\\*Bd_Quon\r\n");
    sync::FolderSync s(p.copy.root(), p.master.root().root(), kRussian);
    ASSERT_TRUE(s.start());
    while (s.step()) {
    }
    ASSERT_EQ(s.errors().size(), 1) << s.errors().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(s.errors().first().contains(QStringLiteral("Bd_Quon"))) << s.errors().first().toStdString();
    EXPECT_EQ(p.copy.read(folder::Data, QStringLiteral("Bd_Quon.DB")), localRegistry);
    const QString copied = tablePath(p.copy.root(), TableKind::Hourly, id);
    EXPECT_EQ(objectCount(copied), 1);
    EXPECT_EQ(hourlyRows(p.copy.root(), p.schemas, id), 3);
    {
        auto t = TableFile::open(copied, TableKind::Hourly, p.schemas.of(TableKind::Hourly));
        ASSERT_TRUE(t);
        ASSERT_TRUE(t->append({{QStringLiteral("hIdentif"), id}, {QStringLiteral("hNumWrCor"), 9}}));
    }
    EXPECT_EQ(hourlyRows(p.copy.root(), p.schemas, id), 4);
}

TEST(FolderSync, ATableWhoseRowsRepeatARecordIsRefusedAndTheCopyKeepsItsOwn) {
    Pair p;
    const QString id = QStringLiteral("t12345");
    for (test::TempHome* home : {&p.master, &p.copy}) {
        auto t = TableFile::open(tablePath(home->root(), TableKind::Hourly, id), TableKind::Hourly,
                                 p.schemas.of(TableKind::Hourly));
        ASSERT_TRUE(t);
        for (int i = 1; i <= 2; ++i)
            ASSERT_TRUE(
                t->append({{QStringLiteral("hIdentif"), id},
                           {QStringLiteral("hNumWrCor"), i},
                           {QStringLiteral("hDT_Corr"), QStringLiteral("2025-03-01T0%1:00:00").arg(i)}}));
    }
    // The master's table holds record 1 of that hour twice.
    ASSERT_TRUE(alter(tablePath(p.master.root(), TableKind::Hourly, id),
                      {"INSERT INTO h_t12345 (hIdentif, hNumWrCor, hDT_Corr) VALUES ('t12345', 1, "
                       "'2025-03-01T01:00:00')"}));
    const QByteArray local = p.copy.read(folder::Hour, QStringLiteral("h_t12345.db"));
    p.copy.write(folder::Current, QStringLiteral("SynCor.000"), "t12345\r\n");
    p.rules("4*Hour\\*h_\r\n");
    sync::FolderSync s(p.copy.root(), p.master.root().root(), kRussian);
    ASSERT_TRUE(s.start());
    while (s.step()) {
    }
    ASSERT_EQ(s.errors().size(), 1) << s.errors().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(s.errors().first().contains(QStringLiteral("h_t12345"))) << s.errors().first().toStdString();
    EXPECT_TRUE(s.errors().first().contains(QStringLiteral("repeated rows 1")))
        << s.errors().first().toStdString();
    EXPECT_EQ(p.copy.read(folder::Hour, QStringLiteral("h_t12345.db")), local);
    EXPECT_EQ(hourlyRows(p.copy.root(), p.schemas, id), 2);
}

namespace {

// Three points whose hourly tables both installations hold, as after an earlier run.
void threePoints(Pair& p, const QStringList& ids) {
    for (const QString& id : ids) {
        for (test::TempHome* home : {&p.master, &p.copy}) {
            auto t = TableFile::open(tablePath(home->root(), TableKind::Hourly, id), TableKind::Hourly,
                                     p.schemas.of(TableKind::Hourly));
            ASSERT_TRUE(t);
            ASSERT_TRUE(t->append({{QStringLiteral("hIdentif"), id}, {QStringLiteral("hNumWrCor"), 1}}));
        }
    }
    p.copy.write(folder::Current, QStringLiteral("SynCor.000"), ids.join(QStringLiteral("\r\n")).toLatin1());
    p.rules("4*Hour\\*h_\r\n");
}

} // namespace

TEST(FolderSync, AMasterThatGoesMidRunStopsItAndTheCopyKeepsEverything) {
    Pair p;
    const QStringList ids{QStringLiteral("t00001"), QStringLiteral("t00002"), QStringLiteral("t00003")};
    threePoints(p, ids);
    sync::FolderSync s(p.copy.root(), p.master.root().root(), kUkrainian);
    ASSERT_TRUE(s.start());
    ASSERT_TRUE(s.step()); // the first point's .val
    ASSERT_TRUE(s.step()); // its table
    EXPECT_EQ(s.copied(), 1);
    // The share drops.
    const QString master = p.master.root().root();
    ASSERT_TRUE(QDir().rename(master, master + QStringLiteral("-gone")));
    while (s.step()) {
    }
    EXPECT_TRUE(s.sourceLost());
    ASSERT_FALSE(s.errors().isEmpty());
    EXPECT_EQ(s.errors().last(), sync::sourceLostText(kUkrainian, master));
    EXPECT_TRUE(s.errors().last().startsWith(QStringLiteral("Шлях синхронізації недоступний: ")));
    for (const QString& id : ids)
        EXPECT_EQ(hourlyRows(p.copy.root(), p.schemas, id), 1) << id.toStdString();
    ASSERT_TRUE(QDir().rename(master + QStringLiteral("-gone"), master));
}

TEST(FolderSync, ARunThatWouldEmptyAFolderIsRefusedUnlessAllowed) {
    Pair p;
    const QStringList ids{QStringLiteral("t00001"), QStringLiteral("t00002"), QStringLiteral("t00003")};
    threePoints(p, ids);
    // The master lost two of the three tables: two of three files of the copy's Hour would go.
    ASSERT_TRUE(QFile::remove(tablePath(p.master.root(), TableKind::Hourly, ids.at(1))));
    ASSERT_TRUE(QFile::remove(tablePath(p.master.root(), TableKind::Hourly, ids.at(2))));
    sync::FolderSync dry(p.copy.root(), p.master.root().root(), kRussian);
    ASSERT_TRUE(dry.prepare());
    EXPECT_EQ(dry.plan().copy, QStringList{QStringLiteral("Hour/h_t00001.db")});
    EXPECT_EQ(dry.plan().remove, (QStringList{"Hour/h_t00002.db", "Hour/h_t00003.db"}));
    EXPECT_EQ(dry.plan().massDeletes, QStringList{QStringLiteral("Hour") + QStringLiteral(" 2/3")});

    sync::FolderSync refused(p.copy.root(), p.master.root().root(), kRussian);
    ASSERT_TRUE(refused.start());
    EXPECT_FALSE(refused.step());
    EXPECT_EQ(refused.copied(), 0);
    ASSERT_EQ(refused.errors().size(), 1);
    EXPECT_TRUE(refused.errors().first().startsWith(
        QStringLiteral("Синхронизация удалила бы больше половины файлов: ")));
    for (const QString& id : ids)
        EXPECT_EQ(hourlyRows(p.copy.root(), p.schemas, id), 1) << id.toStdString();

    sync::FolderSync allowed(p.copy.root(), p.master.root().root(), kRussian);
    allowed.allowMassDelete(true);
    ASSERT_TRUE(allowed.start());
    while (allowed.step()) {
    }
    EXPECT_TRUE(allowed.errors().isEmpty()) << allowed.errors().join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(allowed.sourceLost());
    EXPECT_EQ(hourlyRows(p.copy.root(), p.schemas, ids.at(0)), 1);
    EXPECT_FALSE(QFile::exists(tablePath(p.copy.root(), TableKind::Hourly, ids.at(1))));
    EXPECT_FALSE(QFile::exists(tablePath(p.copy.root(), TableKind::Hourly, ids.at(2))));
}

namespace {

// The engine's busy wait, for the tests of a held file: none at all, so nothing waits.
struct NoBusyWait {
    NoBusyWait() { qputenv("TARN_DB_BUSY_WAIT_MS", "0"); }
    ~NoBusyWait() { qunsetenv("TARN_DB_BUSY_WAIT_MS"); }
};

// The master's tables one record ahead of the copy's, so a table that came in shows it.
void masterAhead(Pair& p, const QStringList& ids) {
    for (const QString& id : ids)
        ASSERT_TRUE(
            alter(tablePath(p.master.root(), TableKind::Hourly, id),
                  {QStringLiteral("INSERT INTO h_%1 (hIdentif, hNumWrCor) VALUES ('%1', 2)").arg(id)}));
}

} // namespace

TEST(FolderSync, AFileAnotherProgramHoldsIsTriedAgainAndThenReportedBusyNotBroken) {
    Pair p;
    const QStringList ids{QStringLiteral("t00001"), QStringLiteral("t00002"), QStringLiteral("t00003")};
    threePoints(p, ids);
    masterAhead(p, ids);
    NoBusyWait noWait;
    // The copy's first table is open in a window here (its journal stays beside it); the master's
    // second, kept with the older journal, is held in another program's write transaction. Both stay
    // so through the run and its second try.
    const QString master2 = tablePath(p.master.root(), TableKind::Hourly, ids.at(1));
    ASSERT_TRUE(test::useRollbackJournal(master2));
    auto window = TableFile::open(tablePath(p.copy.root(), TableKind::Hourly, ids.at(0)), TableKind::Hourly,
                                  p.schemas.of(TableKind::Hourly));
    ASSERT_TRUE(window);
    test::SqliteHolder holder(master2);
    ASSERT_TRUE(holder.lockForWriting());

    sync::FolderSync s(p.copy.root(), p.master.root().root(), kRussian);
    ASSERT_TRUE(s.start());
    while (s.step()) {
    }
    EXPECT_EQ(s.busy(), (QStringList{"Hour/h_t00001.db", "Hour/h_t00002.db"}));
    // The texts are the ones the copy always gave; the kind says they are busy, not broken.
    ASSERT_EQ(s.errors().size(), 2) << s.errors().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(s.errors().at(0).contains(QStringLiteral("h_t00001.db"))) << s.errors().at(0).toStdString();
    EXPECT_TRUE(s.errors().at(0).endsWith(QStringLiteral("- код ошибки:") + QString::number(EBUSY)));
    EXPECT_TRUE(s.errors().at(1).contains(QStringLiteral("h_t00002.db"))) << s.errors().at(1).toStdString();
    ASSERT_EQ(s.failures().size(), 2);
    for (qsizetype i = 0; i < 2; ++i) {
        EXPECT_EQ(s.failures().at(i).kind, ErrorKind::Locked) << i;
        EXPECT_EQ(s.failures().at(i).detail, s.errors().at(i));
    }
    // Nothing was wrong with the rest of the rule: the third table came in, and the gauge counted each
    // file once.
    EXPECT_EQ(s.copied(), 1);
    EXPECT_EQ(s.done(), 6);
    EXPECT_EQ(hourlyRows(p.copy.root(), p.schemas, ids.at(2)), 2);
    EXPECT_EQ(hourlyRows(p.copy.root(), p.schemas, ids.at(0)), 1);
    EXPECT_EQ(hourlyRows(p.copy.root(), p.schemas, ids.at(1)), 1);
}

TEST(FolderSync, AFileLetGoBeforeTheEndOfTheRunComesInOnItsSecondTry) {
    Pair p;
    const QStringList ids{QStringLiteral("t00001"), QStringLiteral("t00002")};
    threePoints(p, ids);
    masterAhead(p, ids);
    auto window = TableFile::open(tablePath(p.copy.root(), TableKind::Hourly, ids.at(0)), TableKind::Hourly,
                                  p.schemas.of(TableKind::Hourly));
    ASSERT_TRUE(window);
    sync::FolderSync s(p.copy.root(), p.master.root().root(), kRussian);
    ASSERT_TRUE(s.start());
    ASSERT_TRUE(s.step()); // the first point's .val
    ASSERT_TRUE(s.step()); // its table, held
    EXPECT_EQ(s.copied(), 0);
    EXPECT_TRUE(s.errors().isEmpty());
    window.reset(); // the window closes while the run goes on
    while (s.step()) {
    }
    EXPECT_TRUE(s.errors().isEmpty()) << s.errors().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(s.failures().isEmpty());
    EXPECT_TRUE(s.busy().isEmpty());
    EXPECT_EQ(s.copied(), 2);
    EXPECT_EQ(hourlyRows(p.copy.root(), p.schemas, ids.at(0)), 2);
    EXPECT_EQ(hourlyRows(p.copy.root(), p.schemas, ids.at(1)), 2);
}

TEST(FolderSync, EachFailureCarriesItsKind) {
    Pair p;
    const QStringList ids{QStringLiteral("t00001")};
    threePoints(p, ids);
    // A master's table cut short, a rule that would reach outside, and (further below) a master that went.
    const QString master1 = tablePath(p.master.root(), TableKind::Hourly, ids.at(0));
    {
        QFile cut(master1);
        ASSERT_TRUE(cut.resize(300));
    }
    p.rules("4*Hour\\*h_\r\n1*..\\*outside.000\r\n");
    sync::FolderSync s(p.copy.root(), p.master.root().root(), kRussian);
    ASSERT_TRUE(s.start());
    while (s.step()) {
    }
    ASSERT_EQ(s.failures().size(), 2) << s.errors().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(s.failures().at(0).kind, ErrorKind::Damaged) << s.errors().at(0).toStdString();
    EXPECT_EQ(s.failures().at(1).kind, ErrorKind::Invalid) << s.errors().at(1).toStdString();
    EXPECT_TRUE(s.errors().at(1).startsWith(QStringLiteral("rule refused: ")));
    EXPECT_TRUE(s.busy().isEmpty());
    EXPECT_EQ(hourlyRows(p.copy.root(), p.schemas, ids.at(0)), 1);
}
