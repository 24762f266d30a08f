// tarn-cli --database and db use without a server to talk to: a URL is checked like every global option
// and a password in it is never repeated; a server chosen but unreachable is an error of the run, never
// the files instead; what works on the table files refuses on a server before it connects; and the
// setting Work/Database.000 is written, shown and removed. The runs against a real server are in
// test_cli_postgres.cpp.
#include "support/CliRunner.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarn;

namespace {

using Result = tarn::test::CliResult;

Result cli(const QStringList& args) {
    return tarn::test::runCli(args);
}

} // namespace

TEST(CliDatabase, AUrlThatCannotBeUsedIsRefusedBeforeTheCommandAndKeepsItsPasswordOut) {
    QTemporaryDir dir;
    const QString home = dir.path() + QStringLiteral("/inst");
    struct Case {
        const char* value;
        const char* says;
    };
    const Case cases[] = {
        {"postgresql://meter:s3cret-word@db/gas?schema=plant", "~/.pgpass"},
        {"postgresql://db/gas?schema=plant&password=s3cret-word", "PGPASSWORD"},
        {"postgresql://db/gas?schema=x%22%3BDROP%20SCHEMA%20public%3B--", "only lower-case"},
        {"postgresql://db/gas", "no schema"},
        {"/var/lib/tarn", "takes a PostgreSQL URL"},
    };
    for (const Case& c : cases) {
        const Result r = cli({QStringLiteral("--home"), home, QStringLiteral("--database"),
                              QString::fromUtf8(c.value), QStringLiteral("points"), QStringLiteral("list")});
        EXPECT_EQ(r.code, 2) << c.value;
        EXPECT_TRUE(r.out.isEmpty()) << c.value << ": " << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(c.says)) << c.value << ": " << r.err.toStdString();
        EXPECT_FALSE(r.err.contains("s3cret")) << c.value << ": " << r.err.toStdString();
    }
    // Refused before the command ran: no installation was laid out.
    EXPECT_FALSE(QDir(home).exists());

    const Result missing = cli({QStringLiteral("--database")});
    EXPECT_EQ(missing.code, 2);
    EXPECT_TRUE(missing.err.contains("--database needs a value")) << missing.err.toStdString();
    const Result help = cli({QStringLiteral("--help")});
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(help.out.contains("--database URL")) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains("db use")) << help.out.toStdString();
}

// A socket folder with no server in it: the commands that go through the storage fail as a database that
// cannot be opened does (exit 1, nothing on stdout, the URL in the message) and write no table file; those
// that never touch the tables run as before.
TEST(CliDatabase, AnUnreachableServerIsReportedAndNeverReplacedByTheFiles) {
    test::TempHome home;
    QTemporaryDir noServer;
    const QString h = home.root().root();
    ASSERT_EQ(cli({QStringLiteral("--home"), h, QStringLiteral("init")}).code, 0);
    const QString url = QStringLiteral("postgresql://meter@/gas?host=%1&schema=plant").arg(noServer.path());
    const QString registry = home.path(folder::Data, QStringLiteral("Bd_Quon.DB"));
    const QByteArray registryBefore = [&] {
        QFile f(registry);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    const QList<QStringList> storageCommands = {{QStringLiteral("points"), QStringLiteral("list")},
                                                {QStringLiteral("gas"), QStringLiteral("list")},
                                                {QStringLiteral("group"), QStringLiteral("list")},
                                                {QStringLiteral("rows"), QStringLiteral("--point"),
                                                 QStringLiteral("t01234"), QStringLiteral("--archive"),
                                                 QStringLiteral("hourly")}};
    for (const QStringList& command : storageCommands) {
        const Result r = cli(QStringList{QStringLiteral("--home"), h, QStringLiteral("--json"),
                                         QStringLiteral("--database"), url} +
                             command);
        EXPECT_EQ(r.code, 1) << command.join(' ').toStdString() << ": " << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(url.toUtf8())) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("cannot be opened")) << r.err.toStdString();
    }
    // The same from the setting, with the command line's choice of the files nowhere: still no fallback.
    ASSERT_EQ(cli({QStringLiteral("--home"), h, QStringLiteral("db"), QStringLiteral("use"), url}).code, 0);
    Result r = cli({QStringLiteral("--home"), h, QStringLiteral("points"), QStringLiteral("list")});
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(url.toUtf8())) << r.err.toStdString();
    QFile after(registry);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), registryBefore);

    // Settings are no database work: they run whatever the database.
    r = cli({QStringLiteral("--home"), h, QStringLiteral("settings"), QStringLiteral("show")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
}

// The check, packages and folder synchronisation work on the table files: on a server they refuse at once,
// naming what they work on and how to get the files back, before any connection is tried.
TEST(CliDatabase, WhatWorksOnTheTableFilesRefusesOnAServer) {
    test::TempHome home;
    QTemporaryDir noServer;
    const QString h = home.root().root();
    const QString url = QStringLiteral("postgresql://meter@/gas?host=%1&schema=plant").arg(noServer.path());
    const QList<QStringList> fileCommands = {
        {QStringLiteral("db"), QStringLiteral("check")},
        {QStringLiteral("db"), QStringLiteral("check"), QStringLiteral("--repair")},
        {QStringLiteral("package"), QStringLiteral("write"), QStringLiteral("--point"),
         QStringLiteral("t01234")},
        {QStringLiteral("package"), QStringLiteral("read"), QStringLiteral("x.tbd")},
        {QStringLiteral("sync"), QStringLiteral("run"), QStringLiteral("--dry-run")},
        {QStringLiteral("sync"), QStringLiteral("viewer"), QStringLiteral("--once")}};
    for (const QStringList& command : fileCommands) {
        const Result r =
            cli(QStringList{QStringLiteral("--home"), h, QStringLiteral("--database"), url} + command);
        EXPECT_EQ(r.code, 3) << command.join(' ').toStdString() << ": " << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_TRUE(r.err.contains("works on the installation's database files")) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("db use --files")) << r.err.toStdString();
        // Refused, not tried: no connection message.
        EXPECT_FALSE(r.err.contains("cannot be opened")) << r.err.toStdString();
    }
}

TEST(CliDatabase, DbUseWritesShowsAndRemovesTheSetting) {
    test::TempHome home;
    const QString h = home.root().root();
    const QString url = QStringLiteral("postgresql://meter@db.example.org:5433/gas?schema=plant_2");
    const auto use = [&](const QStringList& more) {
        return cli(QStringList{QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("db"),
                               QStringLiteral("use")} +
                   more);
    };

    Result r = use({});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json(), (QJsonObject{{"kind", "files"}, {"source", "files"}}));

    r = use({url});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json(), (QJsonObject{{"kind", "server"}, {"source", "setting"}, {"url", url}}));
    // The setting's bytes: one Windows-1251 line, CR LF.
    EXPECT_EQ(home.read(folder::Work, QStringLiteral("Database.000")), url.toLatin1() + "\r\n");

    // The command line wins over the setting, and says so.
    const QString other = QStringLiteral("postgresql://meter@/gas?host=/run/postgresql&schema=office");
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--database"), other, QStringLiteral("--json"),
             QStringLiteral("db"), QStringLiteral("use")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json(), (QJsonObject{{"kind", "server"}, {"source", "command line"}, {"url", other}}));

    // A password is refused and never reaches the setting, which stays as it was.
    r = use({QStringLiteral("postgresql://meter:s3cret-word@db/gas?schema=plant")});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("~/.pgpass")) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains("s3cret"));
    EXPECT_EQ(home.read(folder::Work, QStringLiteral("Database.000")), url.toLatin1() + "\r\n");
    EXPECT_EQ(use({QStringLiteral("/var/lib/tarn")}).code, 2);
    EXPECT_EQ(use({url, QStringLiteral("--files")}).code, 2);
    EXPECT_EQ(use({url, url}).code, 2);

    r = use({QStringLiteral("--files")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json(), (QJsonObject{{"kind", "files"}, {"source", "files"}}));
    EXPECT_FALSE(home.exists(folder::Work, QStringLiteral("Database.000")));

    // Without --json: one line.
    r = cli({QStringLiteral("--home"), h, QStringLiteral("db"), QStringLiteral("use")});
    EXPECT_EQ(r.out, QByteArray("files (files)\n"));
}
