// Which database a run works on: the command line over the setting file, the setting file's bytes, and
// every way a URL or the file can be wrong, which must stop the run rather than fall back to the files.
#include "common/Error.h"
#include "link/FakeSerialPort.h"
#include "shell/AppContext.h"
#include "shell/CommandLine.h"
#include "shell/DatabaseChoice.h"
#include "shell/Initialisation.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::shell;

namespace {

const QString kServer = QStringLiteral("postgresql://meter@db.example.org/gas?schema=plant");
const QString kOther = QStringLiteral("postgresql://meter@/gas?host=/run/postgresql&schema=office");

QString urlOf(const DatabaseChoice& choice) {
    return choice.server ? choice.server->toString() : QString();
}

} // namespace

TEST(DatabaseChoice, TheCommandLineBeatsTheSettingAndNeitherMeansTheFiles) {
    test::TempHome home;
    const DatabaseChoice none = chooseDatabase(home.root(), std::nullopt);
    EXPECT_EQ(none.source, DatabaseSource::Files);
    EXPECT_FALSE(none.onServer());
    EXPECT_TRUE(none.ok());

    // An empty setting, or one of blank lines, is no choice.
    for (const QByteArray& blank : {QByteArray(), QByteArray("\r\n"), QByteArray("  \r\n\r\n")}) {
        home.write(folder::Work, QStringLiteral("Database.000"), blank);
        const DatabaseChoice c = chooseDatabase(home.root(), std::nullopt);
        EXPECT_EQ(c.source, DatabaseSource::Files) << blank.toStdString();
        EXPECT_TRUE(c.ok()) << c.refused.toStdString();
    }

    home.write(folder::Work, QStringLiteral("Database.000"), kOther.toLatin1() + "\r\n");
    const DatabaseChoice setting = chooseDatabase(home.root(), std::nullopt);
    EXPECT_EQ(setting.source, DatabaseSource::Setting);
    EXPECT_EQ(urlOf(setting), kOther);

    const DatabaseChoice given = chooseDatabase(home.root(), kServer);
    EXPECT_EQ(given.source, DatabaseSource::CommandLine);
    EXPECT_EQ(urlOf(given), kServer);
}

TEST(DatabaseChoice, TheSettingFileIsOneWindows1251LineWrittenWholeAndRemovedAgain) {
    test::TempHome home;
    auto url = database::postgres::parseDatabaseUrl(kServer);
    ASSERT_TRUE(url);
    ASSERT_TRUE(writeDatabaseSetting(home.root(), *url));
    // Read back byte for byte: the URL, CR LF, nothing else (no password, no second line).
    EXPECT_EQ(home.read(folder::Work, QStringLiteral("Database.000")), kServer.toLatin1() + "\r\n");
    // Written beside and renamed: no temporary file stays in the folder.
    EXPECT_EQ(QDir(home.root().dir(folder::Work)).entryList({QStringLiteral("Database.000*")}, QDir::Files),
              QStringList{QStringLiteral("Database.000")});

    // A second choice replaces the first whole.
    url = database::postgres::parseDatabaseUrl(kOther);
    ASSERT_TRUE(url);
    ASSERT_TRUE(writeDatabaseSetting(home.root(), *url));
    EXPECT_EQ(home.read(folder::Work, QStringLiteral("Database.000")), kOther.toLatin1() + "\r\n");
    EXPECT_EQ(urlOf(chooseDatabase(home.root(), std::nullopt)), kOther);

    EXPECT_TRUE(removeDatabaseSetting(home.root()));
    EXPECT_FALSE(home.exists(folder::Work, QStringLiteral("Database.000")));
    EXPECT_EQ(chooseDatabase(home.root(), std::nullopt).source, DatabaseSource::Files);
    EXPECT_TRUE(removeDatabaseSetting(home.root())); // already the files
}

TEST(DatabaseChoice, ARefusedUrlStopsTheRunWhereverItWasWritten) {
    test::TempHome home;
    const QString withPassword = QStringLiteral("postgresql://meter:s3cret-word@db/gas?schema=plant");
    struct Case {
        QString text;
        const char* says;
    };
    const Case cases[] = {{withPassword, "~/.pgpass"},
                          {QStringLiteral("postgresql://db/gas"), "no schema"},
                          {QStringLiteral("/var/lib/tarn"), "not a PostgreSQL URL"}};
    for (const Case& c : cases) {
        const DatabaseChoice given = chooseDatabase(home.root(), c.text);
        EXPECT_FALSE(given.ok()) << c.text.toStdString();
        EXPECT_FALSE(given.onServer());
        EXPECT_TRUE(given.refused.startsWith(QStringLiteral("--database"))) << given.refused.toStdString();
        EXPECT_TRUE(given.refused.contains(QLatin1String(c.says))) << given.refused.toStdString();
        EXPECT_FALSE(given.refused.contains(QStringLiteral("s3cret")));

        home.write(folder::Work, QStringLiteral("Database.000"), c.text.toLatin1() + "\r\n");
        const DatabaseChoice setting = chooseDatabase(home.root(), std::nullopt);
        EXPECT_EQ(setting.source, DatabaseSource::Setting);
        EXPECT_FALSE(setting.ok()) << c.text.toStdString();
        EXPECT_TRUE(setting.refused.contains(QStringLiteral("Database.000")))
            << setting.refused.toStdString();
        EXPECT_FALSE(setting.refused.contains(QStringLiteral("s3cret")));
    }
    // A setting that is there and cannot be read is no choice of the files either.
    QFile::remove(home.path(folder::Work, QStringLiteral("Database.000")));
    ASSERT_TRUE(QDir().mkpath(home.path(folder::Work, QStringLiteral("Database.000"))));
    EXPECT_FALSE(chooseDatabase(home.root(), std::nullopt).ok());
}

TEST(DatabaseChoice, Tarn_BTakesTheUrlFromItsCommandLineBesideTheOtherSwitches) {
    const CommandLine cl = parseCommandLine({"Tarn_B", "--database", kServer, "--home", "/x", "$d"});
    EXPECT_EQ(cl.database, kServer);
    EXPECT_EQ(cl.home, QStringLiteral("/x"));
    EXPECT_TRUE(cl.dispatcherStart); // --database is not the first switch
    EXPECT_EQ(parseCommandLine({"Tarn_B", "--database=" + kOther}).database, kOther);
    EXPECT_FALSE(parseCommandLine({"Tarn_B", "$v"}).database.has_value());
}

// A server that cannot be reached keeps the database closed, with its message: the run never goes on
// with the files under another name. The socket folder holds no server.
TEST(DatabaseChoice, AnUnreachableServerKeepsTheDatabaseClosedInsteadOfTheFiles) {
    test::TempHome home;
    QTemporaryDir noServer;
    test::RecordingNotifier notifier;
    AppContext ctx(home.root(), notifier, std::make_unique<link::FakeSerialPort>());
    ctx.commandLine.database =
        QStringLiteral("postgresql://meter@/gas?host=%1&schema=plant").arg(noServer.path());
    EXPECT_FALSE(startDatabase(ctx));
    EXPECT_FALSE(ctx.databaseOpen);
    EXPECT_FALSE(ctx.serverDatabase().has_value());
    ASSERT_FALSE(notifier.messages.isEmpty());
    EXPECT_TRUE(notifier.messages.last().second.contains(noServer.path()))
        << notifier.messages.last().second.toStdString();
    // Nothing was laid out among the table files in the meantime.
    EXPECT_FALSE(home.exists(folder::Data, QStringLiteral("Bd_Quon.DB")));

    // With the files chosen, the same installation opens.
    ctx.commandLine.database.reset();
    EXPECT_TRUE(startDatabase(ctx));
    EXPECT_TRUE(home.exists(folder::Data, QStringLiteral("Bd_Quon.DB")));
}
