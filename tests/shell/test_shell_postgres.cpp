// Tarn_B's start-up on a server database: the command line's URL over the setting, the tables made on the
// server and none among the installation's files, and the same installation on the files once the setting
// is removed.
#include "database/PgTestSupport.h"
#include "database/Registry.h"
#include "database/postgres/PgGroupFiles.h"
#include "link/FakeSerialPort.h"
#include "shell/AppContext.h"
#include "shell/DatabaseChoice.h"
#include "shell/Initialisation.h"

using namespace tarn;
using namespace tarn::shell;

namespace {

class ShellPostgres : public test::PgTest {};

} // namespace

TEST_F(ShellPostgres, TheStartUpOpensTheChosenServerAndTheCommandLineBeatsTheSetting) {
    test::TempHome home;
    test::RecordingNotifier notifier;
    AppContext ctx(home.root(), notifier, std::make_unique<link::FakeSerialPort>());
    const database::postgres::DatabaseUrl inSetting = freshSchema();
    const database::postgres::DatabaseUrl onCommandLine = freshSchema();
    ASSERT_TRUE(writeDatabaseSetting(home.root(), inSetting));

    ASSERT_TRUE(startDatabase(ctx)) << notifier.texts().join('\n').toStdString();
    ASSERT_TRUE(ctx.serverDatabase());
    EXPECT_EQ(ctx.serverDatabase()->toString(), inSetting.toString());
    // The registry, gases and the day's join table were made on the server, not among the files.
    EXPECT_FALSE(home.exists(folder::Data, QStringLiteral("Bd_Quon.DB")));
    const QString registryRows = QStringLiteral("SELECT count(*) FROM ") +
                                 database::postgres::quotedIdentifier(inSetting.schema) +
                                 QStringLiteral(".registry");
    EXPECT_EQ(rows(registryRows), QStringList{QStringLiteral("1")}); // the seed record
    // The table files' check has nothing to check on a server, and touches no file.
    EXPECT_TRUE(checkTablesBeforeStart(ctx));
    EXPECT_FALSE(home.exists(folder::Data, QStringLiteral("Bd_Quon.DB")));

    // What the window stores goes to the server.
    database::Registry registry(home.root(), ctx.storage());
    ASSERT_TRUE(registry.ok()) << registry.error().toStdString();

    // Started again with --database: that server, though the setting names another.
    ctx.commandLine.database = onCommandLine.toString();
    ASSERT_TRUE(startDatabase(ctx)) << notifier.texts().join('\n').toStdString();
    EXPECT_EQ(ctx.serverDatabase()->toString(), onCommandLine.toString());
    EXPECT_EQ(rows(QStringLiteral("SELECT count(*) FROM ") +
                   database::postgres::quotedIdentifier(onCommandLine.schema) + QStringLiteral(".registry")),
              QStringList{QStringLiteral("1")});

    // Neither: the installation's files again.
    ctx.commandLine.database.reset();
    ASSERT_TRUE(removeDatabaseSetting(home.root()));
    ASSERT_TRUE(startDatabase(ctx)) << notifier.texts().join('\n').toStdString();
    EXPECT_FALSE(ctx.serverDatabase());
    EXPECT_TRUE(home.exists(folder::Data, QStringLiteral("Bd_Quon.DB")));
}

// On a server the polling groups are the schema's: the console's run reads them there, and while it waits
// for the next window it notices a group another workstation saved, as it notices one saved beside it in
// the Group folder. Back on the files, the groups are the folder's again.
TEST_F(ShellPostgres, TheConsoleOnAServerPollsTheGroupsAnotherWorkstationSaves) {
    test::TempHome home;
    test::RecordingNotifier notifier;
    AppContext ctx(home.root(), notifier, std::make_unique<link::FakeSerialPort>());
    const database::postgres::DatabaseUrl url = freshSchema();
    ctx.commandLine.database = url.toString();
    ASSERT_TRUE(startDatabase(ctx)) << notifier.texts().join('\n').toStdString();
    EXPECT_TRUE(ctx.groupFiles().location(QStringLiteral("name_G.000")).startsWith(url.toString()));

    polling::PollingRun run(ctx.pollingParts(), kRussian);
    run.setTimersRunning(false);
    ASSERT_TRUE(run.startSchedule(true));
    EXPECT_TRUE(run.schedule().rows.isEmpty());

    // A window later today (or one already past, which the day's schedule still shows as skipped).
    const int hour = QTime::currentTime().hour();
    const int begin = hour <= 21 ? hour + 2 : 1;
    const QString window = QStringLiteral("%1:00-%2:00-00:00")
                               .arg(begin, 2, 10, QLatin1Char('0'))
                               .arg(begin + 1, 2, 10, QLatin1Char('0'));
    Error why;
    auto elsewhere = database::postgres::PgGroupFiles::open(url, &why);
    ASSERT_TRUE(elsewhere) << why.detail.toStdString();
    polling::Group g;
    g.name = QStringLiteral("Південь");
    g.schedule = {window};
    const polling::GroupSaveResult saved =
        polling::saveGroup(*elsewhere, {{}, {}, g}, kRussian, QDateTime::currentDateTime(), {});
    ASSERT_TRUE(saved.error.isEmpty()) << saved.error.toStdString();

    run.cycle();
    ASSERT_EQ(run.groups().size(), 1);
    EXPECT_EQ(run.groups().first().name.trimmed(), QStringLiteral("Південь"));
    ASSERT_EQ(run.schedule().rows.size(), 1);
    EXPECT_EQ(run.schedule().rows.first().group.trimmed(), QStringLiteral("Південь"));
    EXPECT_FALSE(home.exists(folder::Group, QStringLiteral("name_G.000")));
    run.stop();

    // The files again: the folder's groups, none.
    ctx.commandLine.database.reset();
    ASSERT_TRUE(startDatabase(ctx)) << notifier.texts().join('\n').toStdString();
    EXPECT_EQ(ctx.groupFiles().location(QStringLiteral("name_G.000")),
              home.path(folder::Group, QStringLiteral("name_G.000")));
    EXPECT_TRUE(polling::loadGroupList(ctx.groupFiles()).isEmpty());
}
