// tarn-cli as a process against a real server (--database, and the setting another workstation keeps):
// a reading stored there lists, shows and reports exactly as the same reading stored in the table files,
// and a second installation pointed at the same schema sees the same registry and rows.
#include "database/PgTestSupport.h"
#include "support/CliJson.h"
#include "support/SimProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

using namespace tarn;

namespace {

struct Result {
    int code = -1;
    QByteArray out;
    QByteArray err;
    QJsonObject json() const { return QJsonDocument::fromJson(out).object(); }
};

Result cli(const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("TARN_HOME"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TARN_CLI_PROGRAM), args);
    test::waitUntil([&] { return p.state() == QProcess::NotRunning; }, 60000);
    Result r{p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
    test::expectCliJsonFits(args, r.out);
    return r;
}

// The simulator program on a pseudo-terminal, mapped as COM1 of the installation.
bool startSim(test::SimProcess& sim, const test::TempHome& home, const QByteArray& scenarioJson) {
    const QString linkPath = home.root().root() + QStringLiteral("/COM1");
    home.write(folder::Work, QStringLiteral("PortMap.000"), QByteArray("COM1 ") + linkPath.toUtf8() + "\r\n");
    return sim.start(QStringLiteral(TARN_SIM_PROGRAM), home.root().root() + QStringLiteral("/scenario.json"),
                     scenarioJson, linkPath);
}

// A report says when it was made ("Составлен: 10.12.2026 17:54:28"), which differs between two runs; the
// rest must be the same byte for byte.
std::string withoutMakingTime(const QByteArray& out) {
    static const QRegularExpression made(QStringLiteral("\\d\\d\\.\\d\\d\\.\\d{4}\\s+\\d\\d:\\d\\d:\\d\\d"));
    return QString::fromUtf8(out).replace(made, QStringLiteral("<made>")).toStdString();
}

class CliPostgres : public test::PgTest {};

} // namespace

TEST_F(CliPostgres, AReadingStoredOnTheServerReadsBackAsOnTheFilesAndOnAnotherWorkstation) {
    test::TempHome home;
    test::SimProcess sim;
    ASSERT_TRUE(
        startSim(sim, home, R"({"role": "corrector", "serial": 1234, "identification": "T Tarn-sim T47a",
        "archive": {"start": "01.03.2024 00:00", "hours": 30, "flow": 10}})"));
    const QString h = home.root().root();
    // The reading once, into a saved file, so that both databases store the very same records.
    const QString prt = home.path(folder::Report, QStringLiteral("reading.old.prt"));
    Result r = cli({QStringLiteral("--home"), h, QStringLiteral("read"), QStringLiteral("--archives"),
                    QStringLiteral("hourly,daily"), QStringLiteral("--until-empty"),
                    QStringLiteral("--save-prt"), prt});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QString saved = home.path(folder::Report, QStringLiteral("reading.prt"));
    ASSERT_TRUE(QFile::exists(saved));

    const database::postgres::DatabaseUrl schema = freshSchema();
    const QString url = schema.toString();
    const QStringList onFiles{QStringLiteral("--home"), h};
    const QStringList onServer{QStringLiteral("--home"), h, QStringLiteral("--database"), url};
    for (const QStringList& where : {onFiles, onServer}) {
        r = cli(where + QStringList{QStringLiteral("--json"), QStringLiteral("file"), QStringLiteral("store"),
                                    saved});
        ASSERT_EQ(r.code, 0) << where.join(' ').toStdString() << ": " << r.err.toStdString();
        EXPECT_EQ(r.json()[QStringLiteral("stored")][QStringLiteral("hourly")].toInt(), 30);
    }
    // The server holds them: its own tables, not the files under another name.
    // The server holds them in its own tables (the 30 records and the seed record), not in files under
    // another name.
    EXPECT_EQ(rows(QStringLiteral("SELECT count(*) FROM ") +
                       database::postgres::quotedIdentifier(schema.schema) +
                       QStringLiteral(".hourly WHERE point = ?"),
                   {QStringLiteral("t01234")}),
              QStringList{QStringLiteral("31")});

    const QList<QStringList> readBacks = {
        {QStringLiteral("--json"), QStringLiteral("points"), QStringLiteral("list")},
        {QStringLiteral("--json"), QStringLiteral("points"), QStringLiteral("show"),
         QStringLiteral("t01234")},
        {QStringLiteral("--json"), QStringLiteral("rows"), QStringLiteral("--point"),
         QStringLiteral("t01234"), QStringLiteral("--archive"), QStringLiteral("hourly")},
        {QStringLiteral("--json"), QStringLiteral("rows"), QStringLiteral("--point"),
         QStringLiteral("t01234"), QStringLiteral("--archive"), QStringLiteral("daily")},
        {QStringLiteral("--lang"), QStringLiteral("ru"), QStringLiteral("report"), QStringLiteral("--point"),
         QStringLiteral("t01234"), QStringLiteral("--period"), QStringLiteral("day"),
         QStringLiteral("--from"), QStringLiteral("01.03.2024")}};
    for (const QStringList& command : readBacks) {
        const Result files = cli(onFiles + command);
        const Result server = cli(onServer + command);
        ASSERT_EQ(files.code, 0) << command.join(' ').toStdString() << ": " << files.err.toStdString();
        ASSERT_EQ(server.code, 0) << command.join(' ').toStdString() << ": " << server.err.toStdString();
        EXPECT_FALSE(server.out.isEmpty());
        EXPECT_EQ(withoutMakingTime(server.out), withoutMakingTime(files.out))
            << command.join(' ').toStdString();
    }

    // Another workstation: its own installation folder, the server in its setting; no --database.
    test::TempHome other;
    const QStringList there{QStringLiteral("--home"), other.root().root()};
    ASSERT_EQ(cli(there + QStringList{QStringLiteral("init")}).code, 0);
    ASSERT_EQ(cli(there + QStringList{QStringLiteral("db"), QStringLiteral("use"), url}).code, 0);
    for (const QStringList& command : readBacks.mid(0, 3)) {
        const Result files = cli(onFiles + command);
        const Result server = cli(there + command);
        ASSERT_EQ(server.code, 0) << command.join(' ').toStdString() << ": " << server.err.toStdString();
        EXPECT_EQ(server.out.toStdString(), files.out.toStdString()) << command.join(' ').toStdString();
    }
    // The files' own tools refuse on the server the setting names, before any connection.
    r = cli(there + QStringList{QStringLiteral("db"), QStringLiteral("check")});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.err.contains("works on the installation's database files")) << r.err.toStdString();
}

namespace {

QJsonArray groupsIn(const Result& r) {
    return r.json()[QStringLiteral("groups")].toArray();
}

// The bytes of a group file kept in the schema, read on the test's own connection.
QByteArray serverGroupFile(const QSqlDatabase& admin, const QString& schema, const QString& name) {
    QSqlQuery q(admin);
    q.prepare(QStringLiteral("SELECT bytes FROM ") + database::postgres::quotedIdentifier(schema) +
              QStringLiteral(".group_files WHERE name = ?"));
    q.addBindValue(name);
    EXPECT_TRUE(q.exec()) << q.lastError().text().toStdString();
    return q.next() ? q.value(0).toByteArray() : QByteArray();
}

} // namespace

// Two workstations on one server: a group saved with tarn-cli at one is listed, scheduled and shown at
// the other, and deleted at the other it is gone at the first. An installation on its files keeps its
// group files in its Group folder as it always has, and the server keeps the same bytes.
TEST_F(CliPostgres, GroupsAreSharedByTheWorkstationsOnOneServer) {
    test::TempHome home;
    test::SimProcess sim;
    ASSERT_TRUE(
        startSim(sim, home, R"({"role": "corrector", "serial": 1234, "identification": "T Tarn-sim T47a",
        "archive": {"start": "01.03.2024 00:00", "hours": 2, "flow": 10}})"));
    const QString h = home.root().root();
    const QString prt = home.path(folder::Report, QStringLiteral("reading.old.prt"));
    Result r =
        cli({QStringLiteral("--home"), h, QStringLiteral("read"), QStringLiteral("--archives"),
             QStringLiteral("hourly"), QStringLiteral("--until-empty"), QStringLiteral("--save-prt"), prt});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QString saved = home.path(folder::Report, QStringLiteral("reading.prt"));

    const database::postgres::DatabaseUrl schema = freshSchema();
    const QString url = schema.toString();
    const QStringList onFiles{QStringLiteral("--home"), h};
    const QStringList onServer{QStringLiteral("--home"), h, QStringLiteral("--database"), url};
    test::TempHome other;
    const QStringList there{QStringLiteral("--home"), other.root().root()};
    ASSERT_EQ(cli(there + QStringList{QStringLiteral("init")}).code, 0);
    ASSERT_EQ(cli(there + QStringList{QStringLiteral("db"), QStringLiteral("use"), url}).code, 0);

    const QStringList save{QStringLiteral("--json"),     QStringLiteral("group"),
                           QStringLiteral("save"),       QStringLiteral("Котельні"),
                           QStringLiteral("--points"),   QStringLiteral("t01234"),
                           QStringLiteral("--schedule"), QStringLiteral("06:00-18:00-06:00")};
    for (const QStringList& where : {onFiles, onServer}) {
        r = cli(where + QStringList{QStringLiteral("file"), QStringLiteral("store"), saved});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        r = cli(where + save);
        ASSERT_EQ(r.code, 0) << where.join(' ').toStdString() << ": " << r.err.toStdString();
    }
    const QString fileOnFiles =
        groupsIn(cli(onFiles +
                     QStringList{QStringLiteral("--json"), QStringLiteral("group"), QStringLiteral("list")}))
            .at(0)[QStringLiteral("file")]
            .toString();
    const QString fileOnServer = r.json()[QStringLiteral("file")].toString();
    ASSERT_FALSE(fileOnFiles.isEmpty());
    ASSERT_FALSE(fileOnServer.isEmpty());

    // The files installation's list, read with the test's own Windows-1251 reader: mark, file, the name
    // padded to 20, CR LF.
    const QByteArray listFile = home.read(folder::Group, QStringLiteral("name_G.000"));
    EXPECT_EQ(test::fromCp1251(listFile),
              QStringLiteral("0/") + fileOnFiles + QStringLiteral("/Котельні            \r\n"));
    // The server keeps the same bytes under its own file name, and the group's file byte for byte.
    const QByteArray listOnServer = serverGroupFile(admin(), schema.schema, QStringLiteral("name_G.000"));
    EXPECT_EQ(QString::fromLatin1(listOnServer).replace(fileOnServer, fileOnFiles).toLatin1(), listFile);
    const QByteArray groupFile = home.read(folder::Group, fileOnFiles);
    EXPECT_TRUE(test::fromCp1251(groupFile).startsWith(
        QStringLiteral("0*Котельні            \r\n1*06:00-18:00-06:00\r\n2*0110000000\r\n3*1")))
        << test::fromCp1251(groupFile).toStdString();
    EXPECT_EQ(serverGroupFile(admin(), schema.schema, fileOnServer), groupFile);

    // The other workstation lists it, shows it, and polls it by the day's schedule: 06:00, 12:00.
    r = cli(there + QStringList{QStringLiteral("--json"), QStringLiteral("group"), QStringLiteral("list")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    ASSERT_EQ(groupsIn(r).size(), 1);
    EXPECT_EQ(groupsIn(r).at(0)[QStringLiteral("name")].toString(), QStringLiteral("Котельні"));
    EXPECT_EQ(groupsIn(r).at(0)[QStringLiteral("points")].toArray().at(0).toString(),
              QStringLiteral("t01234"));
    r = cli(there + QStringList{QStringLiteral("--json"), QStringLiteral("schedule"), QStringLiteral("--at"),
                                QStringLiteral("11:00")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QStringList rows;
    for (const QJsonValue& row : r.json()[QStringLiteral("rows")].toArray())
        rows.append(row[QStringLiteral("group")].toString() + QLatin1Char(' ') +
                    row[QStringLiteral("begin")].toString());
    EXPECT_EQ(rows, (QStringList{QStringLiteral("Котельні 06:00"), QStringLiteral("Котельні 12:00")}));
    EXPECT_EQ(r.json()[QStringLiteral("due")].toInt(), 1);
    r = cli(there + QStringList{QStringLiteral("--json"), QStringLiteral("group"), QStringLiteral("members"),
                                QStringLiteral("Котельні")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json()[QStringLiteral("members")].toArray().at(0)[QStringLiteral("identifier")].toString(),
              QStringLiteral("t01234"));
    // Nothing of it went into either workstation's folder.
    EXPECT_FALSE(other.exists(folder::Group, QStringLiteral("name_G.000")));
    EXPECT_FALSE(other.exists(folder::Group, fileOnServer));
    // (The files installation's own group may share the server's file name: both saved in one second.)
    if (fileOnServer != fileOnFiles) {
        EXPECT_FALSE(home.exists(folder::Group, fileOnServer));
    }

    // Deleted at the other workstation, gone at the first; the files installation keeps its own.
    ASSERT_EQ(cli(there +
                  QStringList{QStringLiteral("group"), QStringLiteral("delete"), QStringLiteral("Котельні")})
                  .code,
              0);
    r = cli(onServer +
            QStringList{QStringLiteral("--json"), QStringLiteral("group"), QStringLiteral("list")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(groupsIn(r).isEmpty());
    EXPECT_TRUE(serverGroupFile(admin(), schema.schema, fileOnServer).isEmpty());
    EXPECT_EQ(home.read(folder::Group, QStringLiteral("name_G.000")), listFile);
    EXPECT_EQ(home.read(folder::Group, fileOnFiles), groupFile);
}
