// tarn-cli as a process against a real server (--database, and the setting another workstation keeps):
// a reading stored there lists, shows and reports exactly as the same reading stored in the table files,
// and a second installation pointed at the same schema sees the same registry and rows.
#include "database/PgTestSupport.h"
#include "support/CliJson.h"
#include "support/SimProcess.h"

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
