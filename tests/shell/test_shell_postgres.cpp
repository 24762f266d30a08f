// Tarn_B's start-up on a server database: the command line's URL over the setting, the tables made on the
// server and none among the installation's files, and the same installation on the files once the setting
// is removed.
#include "database/PgTestSupport.h"
#include "database/Registry.h"
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
