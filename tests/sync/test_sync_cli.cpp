// tarn-cli package and sync as processes, on two temporary installations.
#include "common/TextFile.h"
#include "database/Registry.h"
#include "link/LinkSettings.h"
#include "support/CliJson.h"
#include "support/CliRunner.h"
#include "support/ParameterFileSupport.h"
#include "support/TestSupport.h"
#include "sync/FolderSync.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::database;

namespace {

struct CliResult {
    int exitCode = -1;
    QJsonObject json;
    QString out;
};

CliResult cli(const QString& home, const QStringList& args) {
    const tarn::test::CliResult ran = tarn::test::runCliIn(home, args);
    return {ran.code, ran.json(), ran.outText()};
}

// Runs SQL on a table file as another program could, and returns what the file then holds ("type name").
QStringList tamperedObjects(const QString& path, const QStringList& statements) {
    QStringList objects;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("tamper"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            for (const QString& sql : statements)
                if (!q.exec(sql)) objects.append(QStringLiteral("failed: ") + sql);
            q.exec(QStringLiteral(
                "SELECT type, name FROM sqlite_master WHERE name NOT LIKE 'sqlite_%' ORDER BY name"));
            while (q.next())
                objects.append(q.value(0).toString() + QLatin1Char(' ') + q.value(1).toString());
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("tamper"));
    return objects;
}

const QString kPoint = QStringLiteral("12345");

// A registered point with its parameter file: what a sending installation packs.
bool registerPoint(const test::TempHome& home, const QString& identifier) {
    writeMissingSchemaFiles(home.root());
    Point p;
    p.identifier = identifier;
    p.serial = identifier;
    p.model = QStringLiteral("ТАРН-2.01");
    p.config[config::Flags] = QStringLiteral("00000000000");
    return Registry(home.root(), loadSchemas(home.root())).add(p) &&
           test::writeMemberParameterFile(home.root(), identifier, identifier.toInt());
}

} // namespace

TEST(SyncCli, AHostileSendersTableArrivesAsItsRowsOnly) {
    test::TempHome a;
    ASSERT_TRUE(registerPoint(a, kPoint));
    // The sender's hourly table carries a trigger that would empty it at the receiver's next store, a view
    // and an index of its own.
    const QString hourly = tablePath(a.root(), TableKind::Hourly, kPoint);
    const QStringList sent = tamperedObjects(
        hourly, {QStringLiteral("CREATE TRIGGER wipe AFTER INSERT ON h_12345 BEGIN DELETE FROM h_12345; END"),
                 QStringLiteral("CREATE VIEW hv AS SELECT * FROM h_12345"),
                 QStringLiteral("CREATE INDEX hx ON h_12345 (hDT_Corr)")});
    ASSERT_EQ(sent, (QStringList{"table h_12345", "view hv", "index hx", "trigger wipe"}));
    const CliResult written = cli(a.root().root(), {"--json", "package", "write", "--point", "12345"});
    ASSERT_EQ(written.exitCode, 0) << written.out.toStdString();

    test::TempHome b;
    const CliResult read = cli(b.root().root(), {"--json", "package", "read",
                                                 written.json.value(QStringLiteral("package")).toString()});
    ASSERT_EQ(read.exitCode, 0) << read.out.toStdString();
    EXPECT_EQ(tamperedObjects(tablePath(b.root(), TableKind::Hourly, kPoint), {}),
              QStringList{"table h_12345"});
}

TEST(SyncCli, PackageWriteShowReadAndSyncRun) {
    test::TempHome a;
    ASSERT_TRUE(registerPoint(a, kPoint));
    const QString homeA = a.root().root();

    const CliResult written = cli(homeA, {"--json", "package", "write", "--point", "12345"});
    ASSERT_EQ(written.exitCode, 0) << written.out.toStdString();
    const QString file = written.json.value(QStringLiteral("package")).toString();
    EXPECT_EQ(file, a.path(folder::MailBD, QStringLiteral("12345.tbd")));
    // There already: only with --overwrite.
    EXPECT_EQ(cli(homeA, {"package", "write", "--point", "12345"}).exitCode, 3);
    EXPECT_EQ(cli(homeA, {"package", "write", "--point", "12345", "--overwrite"}).exitCode, 0);
    EXPECT_EQ(cli(homeA, {"package", "write", "--point", "../x"}).exitCode, 2);

    const CliResult shown = cli(homeA, {"--json", "package", "show", file});
    ASSERT_EQ(shown.exitCode, 0);
    QStringList names;
    for (const QJsonValue& e : shown.json.value(QStringLiteral("entries")).toArray())
        names.append(e.toObject().value(QStringLiteral("name")).toString());
    EXPECT_TRUE(names.contains(QStringLiteral("id.000")));
    EXPECT_TRUE(names.contains(QStringLiteral("p_12345.000")));

    test::TempHome b;
    const QString homeB = b.root().root();
    const CliResult read = cli(homeB, {"--json", "package", "read", file});
    ASSERT_EQ(read.exitCode, 0) << read.out.toStdString();
    EXPECT_TRUE(read.json.value(QStringLiteral("added")).toBool());
    // A registered point's data are replaced only when asked to.
    EXPECT_EQ(cli(homeB, {"package", "read", file}).exitCode, 3);
    EXPECT_EQ(cli(homeB, {"package", "read", file, "--overwrite"}).exitCode, 0);
    b.write(folder::MailBD, QStringLiteral("bad.tbd"), "junk");
    EXPECT_EQ(cli(homeB, {"package", "read", b.path(folder::MailBD, QStringLiteral("bad.tbd"))}).exitCode, 3);
    EXPECT_EQ(cli(homeB, {"package", "show", b.path(folder::MailBD, QStringLiteral("bad.tbd"))}).exitCode, 3);
    // A package with a file that is none of a point's: refused, the installation as it was.
    QByteArray odd = QByteArray::fromHex("88190618") + QByteArray::fromHex("02000000");
    for (const auto& [name, content] :
         {std::pair<QByteArray, QByteArray>{"id.000", "12345\r\n"}, {"run.bat", "x"}}) {
        const QByteArray stream = qCompress(content, 9).mid(4);
        odd += char(name.size()) + QByteArray(1, '\0') + name;
        const quint32 n = static_cast<quint32>(stream.size());
        odd += QByteArray(1, char(n & 0xFF)) + char((n >> 8) & 0xFF) + char(0) + char(0) + stream;
    }
    b.write(folder::MailBD, QStringLiteral("odd.tbd"), odd);
    const QByteArray parameters = b.read(folder::Param, QStringLiteral("p_12345.000"));
    ASSERT_FALSE(parameters.isEmpty());
    const CliResult oddRead =
        cli(homeB, {"package", "read", b.path(folder::MailBD, QStringLiteral("odd.tbd")), "--overwrite"});
    EXPECT_EQ(oddRead.exitCode, 3);
    EXPECT_EQ(b.read(folder::Param, QStringLiteral("p_12345.000")), parameters);
    EXPECT_FALSE(QFileInfo::exists(QDir(homeB).filePath(QStringLiteral("pack"))));

    // The synchronisation from A: refused without the program there, then the chosen files.
    b.write(folder::Work, QStringLiteral("SynDir.000"), "1*Current\\SynCor.000\r\n2*Param\\*p_*.000\r\n");
    EXPECT_EQ(cli(homeB, {"sync", "run", "--from", homeA}).exitCode, 3);
    QFile program(QDir(homeA).filePath(QStringLiteral("Tarn_B.exe")));
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.close();
    const CliResult synced = cli(homeB, {"--json", "sync", "run", "--from", homeA});
    ASSERT_EQ(synced.exitCode, 0) << synced.out.toStdString();
    EXPECT_EQ(synced.json.value(QStringLiteral("copied")).toInt(), 2);
    EXPECT_EQ(synced.json.value(QStringLiteral("missing")).toInt(), 0);
}

TEST(SyncCli, DryRunListsAndAMassDeleteIsRefusedUnlessAllowed) {
    test::TempHome master;
    test::TempHome copy;
    writeMissingSchemaFiles(master.root());
    writeMissingSchemaFiles(copy.root());
    const Schemas schemas = loadSchemas(master.root());
    for (test::TempHome* home : {&master, &copy})
        for (const char* id : {"t00001", "t00002", "t00003"}) {
            auto t = TableFile::open(tablePath(home->root(), TableKind::Hourly, QString::fromLatin1(id)),
                                     TableKind::Hourly, schemas.of(TableKind::Hourly));
            ASSERT_TRUE(t);
        }
    ASSERT_TRUE(QFile::remove(tablePath(master.root(), TableKind::Hourly, QStringLiteral("t00002"))));
    ASSERT_TRUE(QFile::remove(tablePath(master.root(), TableKind::Hourly, QStringLiteral("t00003"))));
    QFile program(QDir(master.root().root()).filePath(QStringLiteral("Tarn_B.exe")));
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.close();
    copy.write(folder::Current, QStringLiteral("SynCor.000"), "t00001\r\nt00002\r\nt00003\r\n");
    copy.write(folder::Work, QStringLiteral("SynDir.000"), "4*Hour\\*h_\r\n");
    const QString home = copy.root().root();
    const QString from = master.root().root();

    const CliResult dry = cli(home, {"--json", "sync", "run", "--from", from, "--dry-run"});
    ASSERT_EQ(dry.exitCode, 0) << dry.out.toStdString();
    EXPECT_EQ(dry.json.value(QStringLiteral("copy")).toArray().toVariantList(),
              QVariantList{QStringLiteral("Hour/h_t00001.db")});
    EXPECT_EQ(dry.json.value(QStringLiteral("delete")).toArray().size(), 2);
    EXPECT_EQ(dry.json.value(QStringLiteral("massDeletes")).toArray().size(), 1);
    const CliResult listed = cli(home, {"sync", "run", "--from", from, "--dry-run"});
    EXPECT_TRUE(listed.out.contains(QStringLiteral("delete ") + QDir::toNativeSeparators("Hour/h_t00003.db")))
        << listed.out.toStdString();
    EXPECT_TRUE(copy.exists(folder::Hour, QStringLiteral("h_t00003.db")));

    const CliResult refused = cli(home, {"--json", "sync", "run", "--from", from});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_EQ(refused.json.value(QStringLiteral("copied")).toInt(), 0);
    EXPECT_TRUE(copy.exists(folder::Hour, QStringLiteral("h_t00002.db")));
    EXPECT_TRUE(copy.exists(folder::Hour, QStringLiteral("h_t00003.db")));

    const CliResult allowed = cli(home, {"--json", "sync", "run", "--from", from, "--allow-mass-delete"});
    EXPECT_EQ(allowed.exitCode, 0) << allowed.out.toStdString();
    // The two tables the master lacks; the ".val" companions it never had are not news.
    EXPECT_EQ(allowed.json.value(QStringLiteral("missing")).toInt(), 2);
    EXPECT_EQ(copy.read(folder::Current, QStringLiteral("ErrDS.000")).count('\n'), 2);
    EXPECT_FALSE(copy.exists(folder::Hour, QStringLiteral("h_t00003.db")));
    EXPECT_TRUE(copy.exists(folder::Hour, QStringLiteral("h_t00001.db")));
}

namespace {

// A viewer workstation: the box "Синхронизация" saved ticked, the master's folder as its path, one rule,
// and the cycle's settings; the master holds the program and the file the rule names.
struct ViewerPair {
    test::TempHome master;
    test::TempHome copy;

    explicit ViewerPair(bool syncTicked = true) {
        master.root().createFolders();
        copy.root().createFolders();
        QFile program(QDir(master.root().root()).filePath(QStringLiteral("Tarn_B.exe")));
        EXPECT_TRUE(program.open(QIODevice::WriteOnly));
        program.close();
        master.write(folder::Param, QStringLiteral("p_12345.000"), "master's parameters\r\n");
        link::LinkSettings s;
        s.syncOn = syncTicked;
        s.syncPath = master.root().root();
        EXPECT_TRUE(writeTextLines(copy.path(folder::Work, QStringLiteral("FileInRS.000")),
                                   link::settingsToLines(s)));
        copy.write(folder::Work, QStringLiteral("SynDir.000"), "1*Param\\*p_12345.000 / the parameters\r\n");
        copy.write(folder::Synchr, QStringLiteral("Inst.000"), "1\r\n2\r\n1\r\n");
    }
};

// tarn-cli sync viewer on a clock that starts at `clock` and moves a second per tick; its JSON lines.
struct ViewerRun {
    int exitCode = -1;
    QList<QJsonObject> events;
    QString out;
};
ViewerRun viewer(const QString& home, const QString& clock, const QStringList& extra = {"--once"}) {
    const tarn::test::CliResult ran = tarn::test::runCliIn(
        home, QStringList{QStringLiteral("--json"), QStringLiteral("sync"), QStringLiteral("viewer")} + extra,
        {{QStringLiteral("TARN_VIEWER_CLOCK"), clock}});
    ViewerRun r;
    r.exitCode = ran.code;
    r.out = ran.outText();
    for (const QString& line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        r.events.append(QJsonDocument::fromJson(line.toUtf8()).object());
    return r;
}

QStringList kinds(const ViewerRun& r) {
    QStringList l;
    for (const QJsonObject& e : r.events) {
        QString k = e.value(QStringLiteral("event")).toString();
        if (k == QLatin1String("marker")) k += QLatin1Char(' ') + e.value(QStringLiteral("file")).toString();
        l.append(k);
    }
    return l;
}

} // namespace

TEST(SyncCli, ViewerOnceCountsDownWritesTheMarkersSynchronisesAndStartsTheDatabase) {
    ViewerPair pair;
    const QString home = pair.copy.root().root();
    const ViewerRun first = viewer(home, QStringLiteral("2026-12-10T07:00:20"));
    ASSERT_EQ(first.exitCode, 0) << first.out.toStdString();
    EXPECT_EQ(kinds(first), (QStringList{"cycle", "marker Synchr/Wait.000", "marker Synchr/Start.000",
                                         "synchronised", "database"}));
    // No synchronisation before: the full countdowns.
    EXPECT_TRUE(first.events.at(0).value(QStringLiteral("elapsedSeconds")).isNull());
    EXPECT_EQ(first.events.at(0).value(QStringLiteral("waitSeconds")).toInt(), 60);
    EXPECT_EQ(first.events.at(0).value(QStringLiteral("startSeconds")).toInt(), 120);
    EXPECT_TRUE(first.events.at(1).value(QStringLiteral("written")).toBool());
    EXPECT_EQ(first.events.at(3).value(QStringLiteral("copied")).toInt(), 1);
    EXPECT_TRUE(first.events.at(3).value(QStringLiteral("completed")).toBool());
    EXPECT_TRUE(first.events.at(4).value(QStringLiteral("open")).toBool());
    EXPECT_EQ(pair.copy.read(folder::Param, QStringLiteral("p_12345.000")),
              QByteArray("master's parameters\r\n"));
    // The synchronisation began two minutes on; a later run counts from there.
    EXPECT_EQ(pair.copy.read(folder::Synchr, QStringLiteral("LastSync.000")),
              QByteArray("10.12.2026 07:02:20\r\n"));

    // A minute later: the Wait time is over, so no Wait marker, and Start comes after the rest.
    const ViewerRun second = viewer(home, QStringLiteral("2026-12-10T07:03:20"));
    ASSERT_EQ(second.exitCode, 0) << second.out.toStdString();
    EXPECT_EQ(kinds(second), (QStringList{"cycle", "marker Synchr/Start.000", "synchronised", "database"}));
    EXPECT_EQ(second.events.at(0).value(QStringLiteral("elapsedSeconds")).toInt(), 60);
    EXPECT_EQ(second.events.at(0).value(QStringLiteral("startSeconds")).toInt(), 60);
    EXPECT_EQ(pair.copy.read(folder::Synchr, QStringLiteral("LastSync.000")),
              QByteArray("10.12.2026 07:04:20\r\n"));

    // The master's folder without the program: the error, the exit status says so.
    QFile::remove(QDir(pair.master.root().root()).filePath(QStringLiteral("Tarn_B.exe")));
    const ViewerRun lost = viewer(home, QStringLiteral("2026-12-10T08:00:00"));
    EXPECT_EQ(lost.exitCode, 3);
    ASSERT_EQ(kinds(lost),
              (QStringList{"cycle", "marker Synchr/Start.000", "error", "synchronised", "database"}));
    EXPECT_EQ(lost.events.at(2).value(QStringLiteral("text")).toString(), sync::checkSyncPathQuestion());
    EXPECT_FALSE(lost.events.at(3).value(QStringLiteral("completed")).toBool());
}

TEST(SyncCli, ViewerIsRefusedOffACopyOrWithTheCycleOffAndEndsInOrderOnSigterm) {
    ViewerPair notCopy(false);
    EXPECT_EQ(viewer(notCopy.copy.root().root(), QStringLiteral("2026-12-10T07:00:00")).exitCode, 3);
    ViewerPair off;
    off.copy.write(folder::Synchr, QStringLiteral("Inst.000"), "0\r\n2\r\n1\r\n");
    EXPECT_EQ(viewer(off.copy.root().root(), QStringLiteral("2026-12-10T07:00:00")).exitCode, 3);

    // A long countdown on the fast clock: SIGTERM ends it between ticks, without a synchronisation.
    ViewerPair pair;
    pair.copy.write(folder::Synchr, QStringLiteral("Inst.000"), "1\r\n100000\r\n99999\r\n");
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TARN_VIEWER_CLOCK"), QStringLiteral("2026-12-10T07:00:00"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TARN_CLI_PROGRAM),
            {QStringLiteral("--home"), pair.copy.root().root(), QStringLiteral("--json"),
             QStringLiteral("sync"), QStringLiteral("viewer")});
    ASSERT_TRUE(p.waitForReadyRead(30000));
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 130);
    const QByteArray events = p.readAllStandardOutput();
    tarn::test::expectCliJsonFits(p.arguments(), events);
    const QStringList lines = QString::fromUtf8(events).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(
        QJsonDocument::fromJson(lines.last().toUtf8()).object().value(QStringLiteral("event")).toString(),
        QStringLiteral("interrupted"));
    EXPECT_FALSE(pair.copy.exists(folder::Synchr, QStringLiteral("Start.000")));
    EXPECT_FALSE(pair.copy.exists(folder::Param, QStringLiteral("p_12345.000")));

    // Without --once the cycles follow one another until the signal.
    ViewerPair cycling;
    cycling.copy.write(folder::Work, QStringLiteral("SynDir.000"),
                       "1*Param\\*p_12345.000\r\n1*Param\\*p_12346.000\r\n");
    QProcess c;
    c.setProcessEnvironment(env);
    c.start(QStringLiteral(TARN_CLI_PROGRAM),
            {QStringLiteral("--home"), cycling.copy.root().root(), QStringLiteral("--json"),
             QStringLiteral("sync"), QStringLiteral("viewer")});
    QByteArray out;
    while (out.count("\"synchronised\"") < 2 && c.waitForReadyRead(30000))
        out += c.readAllStandardOutput();
    EXPECT_EQ(c.state(), QProcess::Running) << out.constData();
    c.terminate();
    ASSERT_TRUE(c.waitForFinished(30000));
    EXPECT_EQ(c.exitCode(), 130);
    out += c.readAllStandardOutput();
    tarn::test::expectCliJsonFits(c.arguments(), out);
    EXPECT_GE(out.count("\"synchronised\""), 2);
}

TEST(SyncCli, ABusyFileIsReportedWithItsKind) {
    test::TempHome master;
    test::TempHome copy;
    writeMissingSchemaFiles(master.root());
    writeMissingSchemaFiles(copy.root());
    const Schemas schemas = loadSchemas(master.root());
    for (test::TempHome* home : {&master, &copy})
        for (const char* id : {"t00001", "t00002"}) {
            auto t = TableFile::open(tablePath(home->root(), TableKind::Hourly, QString::fromLatin1(id)),
                                     TableKind::Hourly, schemas.of(TableKind::Hourly));
            ASSERT_TRUE(t);
        }
    QFile program(QDir(master.root().root()).filePath(QStringLiteral("Tarn_B.exe")));
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.close();
    copy.write(folder::Current, QStringLiteral("SynCor.000"), "t00001\r\nt00002\r\n");
    copy.write(folder::Work, QStringLiteral("SynDir.000"), "4*Hour\\*h_\r\n");
    // The copy's first table open here, as a window of the running program would hold it.
    auto window = TableFile::open(tablePath(copy.root(), TableKind::Hourly, QStringLiteral("t00001")),
                                  TableKind::Hourly, schemas.of(TableKind::Hourly));
    ASSERT_TRUE(window);
    const CliResult synced =
        cli(copy.root().root(), {"--json", "sync", "run", "--from", master.root().root()});
    EXPECT_EQ(synced.exitCode, 3) << synced.out.toStdString();
    EXPECT_EQ(synced.json.value(QStringLiteral("copied")).toInt(), 1);
    EXPECT_EQ(synced.json.value(QStringLiteral("busy")).toArray().toVariantList(),
              QVariantList{QStringLiteral("Hour/h_t00001.db")});
    const QJsonArray failures = synced.json.value(QStringLiteral("failures")).toArray();
    ASSERT_EQ(failures.size(), 1);
    EXPECT_EQ(failures.at(0).toObject().value(QStringLiteral("kind")).toString(), QStringLiteral("locked"));
    EXPECT_EQ(failures.at(0).toObject().value(QStringLiteral("text")).toString(),
              synced.json.value(QStringLiteral("errors")).toArray().at(0).toString());
}
