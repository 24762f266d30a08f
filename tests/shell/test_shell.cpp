#include "common/Cp1251.h"
#include "common/LanguageFile.h"
#include "corrector/VolumePrecision.h"
#include "database/Registry.h"
#include "link/FakeSerialPort.h"
#include "shell/AppContext.h"
#include "shell/CommandLine.h"
#include "shell/Initialisation.h"
#include "shell/Installation.h"
#include "shell/ShellTexts.h"
#include "shell/SingleInstance.h"
#include "support/DatabaseFaults.h"

#include "support/TestSupport.h"
#include <QFile>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::shell;

TEST(CommandLine, DollarSwitchesInAnyCaseAndAliases) {
    EXPECT_TRUE(parseCommandLine({"Tarn_B", "$d"}).dispatcherStart);
    EXPECT_TRUE(parseCommandLine({"Tarn_B", "$D"}).dispatcherStart);
    EXPECT_TRUE(parseCommandLine({"Tarn_B", "$V"}).startIntoPolling);
    EXPECT_TRUE(parseCommandLine({"Tarn_B", "--duty"}).dispatcherStart);
    EXPECT_TRUE(parseCommandLine({"Tarn_B", "--configurator"}).startIntoPolling);
    const auto cl = parseCommandLine({"Tarn_B", "--home", "/x", "$v", "$d"});
    EXPECT_EQ(cl.home, QStringLiteral("/x"));
    EXPECT_TRUE(cl.startIntoPolling);
    EXPECT_FALSE(cl.dispatcherStart); // only the first argument counts
    EXPECT_FALSE(parseCommandLine({"Tarn_B", "$x"}).dispatcherStart);
}

TEST(ShellTexts, TableKeepsItsPairOrder) {
    EXPECT_EQ(kShellTexts.pairs(), 17);
    EXPECT_EQ(Text(kShellTexts, kMenuCorrector, kUkrainian), QStringLiteral("КОРЕКТОР"));
    EXPECT_EQ(Text(kShellTexts, kMenuSettings, kRussian), QStringLiteral("УСТАНОВКИ"));
    EXPECT_EQ(Text(kShellTexts, kMenuManual, kUkrainian), QStringLiteral("ІНСТРУКЦІЯ ПЗ"));
    EXPECT_EQ(Text(kShellTexts, kDeleteFailed, kRussian), QStringLiteral("Ошибка! при удалении файла"));
    EXPECT_TRUE(Text(kShellTexts, kDecimalSeparator, kRussian)
                    .startsWith(QStringLiteral("Необходимо в \"Панели управления\"  компьютера")));
    EXPECT_EQ(applicationTitle(), QStringLiteral("Диспетчер ПО \"Tarn (d)\""));
}

TEST(Installation, InitLaysOutTheTreeAndKeepsExistingFiles) {
    QTemporaryDir dir;
    DataRoot root(dir.path() + QStringLiteral("/inst"));
    auto r = initInstallation(root);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_TRUE(QFile::exists(root.file(folder::Doc, QStringLiteral("Tarn.pdf"))));
    EXPECT_EQ(loadLanguage(root, kRussian), kUkrainian);
    saveLanguage(root, QStringLiteral("RU"));
    r = initInstallation(root);
    EXPECT_TRUE(r.created.isEmpty());
    EXPECT_EQ(loadLanguage(root, kUkrainian), kRussian);
}

TEST(Installation, CsvDelimiter) {
    test::TempHome home;
    EXPECT_EQ(readCsvDelimiter(home.root()), QLatin1Char(','));
    home.write(folder::Current, QStringLiteral("Delim.000"), "  ;  \r\n");
    EXPECT_EQ(readCsvDelimiter(home.root()), QLatin1Char(';'));
    home.write(folder::Current, QStringLiteral("Delim.000"), "\r\n|\r\n");
    EXPECT_EQ(readCsvDelimiter(home.root()), QLatin1Char(','));
}

// The lock belongs to the installation: a second holder on the same data root is refused (and told why in
// the installation's language) until the first ends; another installation is not held up.
TEST(SingleInstance, OneHolderPerInstallation) {
    test::TempHome home;
    test::TempHome other;
    auto first = std::make_unique<SingleInstance>(home.root());
    ASSERT_TRUE(first->acquire());
    EXPECT_TRUE(first->lockPath().startsWith(home.root().dir(folder::Current)));
    SingleInstance second(home.root());
    EXPECT_FALSE(second.acquire());
    const QString why = second.refusal(kRussian);
    EXPECT_TRUE(why.startsWith(QStringLiteral("Tarn_B уже работает с установкой ")));
    EXPECT_TRUE(why.contains(QDir::toNativeSeparators(home.root().root())));
    EXPECT_TRUE(
        why.contains(QStringLiteral("процесс ") + QString::number(QCoreApplication::applicationPid())));
    EXPECT_FALSE(why.contains(QLatin1Char('\n')));
    EXPECT_TRUE(second.refusal(kUkrainian).startsWith(QStringLiteral("Tarn_B вже працює з установкою ")));
    SingleInstance elsewhere(other.root());
    EXPECT_TRUE(elsewhere.acquire());
    first.reset();
    EXPECT_TRUE(second.acquire());
}

namespace {
struct Context {
    test::TempHome home;
    test::RecordingNotifier notifier;
    link::FakeSerialPort* port = new link::FakeSerialPort;
    AppContext ctx{home.root(), notifier, std::unique_ptr<link::SerialPort>(port)};
};
} // namespace

TEST(Initialisation, ServiceLevelAndPortComeFromTheSettings) {
    Context c;
    c.home.write(folder::Work, QStringLiteral("FileInRS.000"),
                 "Tarn-2.55\r\nCOM4\r\nCOM1\r\nLPT1\r\n9600\r\n");
    c.ctx.settings().serviceCode = QStringLiteral("942");
    const auto r = runInitialisation(c.ctx);
    EXPECT_FALSE(r.outdatedSettings);
    EXPECT_EQ(c.ctx.serviceLevel, 5);
    EXPECT_EQ(c.ctx.linkPort().portName(), QStringLiteral("COM4"));
    EXPECT_EQ(c.ctx.linkPort().baudRate(), 9600);
    EXPECT_TRUE(c.ctx.databaseOpen);
    c.ctx.settings().serviceCode = QStringLiteral("1");
    runInitialisation(c.ctx);
    EXPECT_EQ(c.ctx.serviceLevel, 0);
}

TEST(Initialisation, OutdatedSettingsAreReportedAndDefaultsApply) {
    Context c;
    c.home.write(folder::Work, QStringLiteral("FileInRS.000"), "Tarn-1.01\r\nCOM4\r\n");
    const auto r = runInitialisation(c.ctx);
    EXPECT_TRUE(r.outdatedSettings);
    EXPECT_EQ(c.ctx.settings().corrPort, QStringLiteral("COM1"));
    EXPECT_FALSE(c.home.exists(folder::Work, QStringLiteral("FileInRS.000")));
}

TEST(Initialisation, TheDatabaseRunsOnlyWithSchemaFilesThatFit) {
    Context c;
    runInitialisation(c.ctx);
    EXPECT_TRUE(c.ctx.databaseOpen);
    // Missing schema files are restored as the installation ships them.
    EXPECT_TRUE(c.home.exists(folder::Work, QStringLiteral("Bd_Hour.txt")));
    EXPECT_EQ(c.ctx.schemas.of(database::TableKind::Hourly).size(), 25);
    EXPECT_TRUE(c.notifier.messages.isEmpty());

    // A file whose fields would land in the wrong columns: the database is off, and the user is told.
    c.home.write(folder::Work, QStringLiteral("Bd_Hour.txt"),
                 "  1 hNum                +   \r\n  2 hDate               D   \r\n");
    runInitialisation(c.ctx);
    EXPECT_FALSE(c.ctx.databaseOpen);
    EXPECT_EQ(c.notifier.texts().value(0), QStringLiteral("ОШИБКА !!! ФОРМАТА ФАЙЛА : Bd_Hour.txt"));
}

TEST(Initialisation, TheDatabaseStartOpensTheRegistryGasAndTodaysJoinTableAndWritesThePointList) {
    Context c;
    const QDate today = QDate::currentDate();
    runInitialisation(c.ctx);
    ASSERT_TRUE(c.ctx.databaseOpen) << c.notifier.texts().join('|').toStdString();
    const QDate after = QDate::currentDate(); // a start across midnight creates the later day's table
    EXPECT_TRUE(c.home.exists(folder::Data, QStringLiteral("Bd_Quon.DB")));
    EXPECT_TRUE(c.home.exists(folder::Data, QStringLiteral("Bd_Gas.DB")));
    const QString join = QStringLiteral("Join/j_%1/j_%2.db");
    EXPECT_TRUE(QFile::exists(c.home.root().root() + QLatin1Char('/') +
                              join.arg(today.toString(QStringLiteral("yyMM")),
                                       today.toString(QStringLiteral("yyMMdd")))) ||
                QFile::exists(c.home.root().root() + QLatin1Char('/') +
                              join.arg(after.toString(QStringLiteral("yyMM")),
                                       after.toString(QStringLiteral("yyMMdd")))));
    // An empty registry: the point list is there, empty; one that exists is left as it is.
    ASSERT_TRUE(c.home.exists(folder::Current, QStringLiteral("SynCor.000")));
    EXPECT_TRUE(c.home.read(folder::Current, QStringLiteral("SynCor.000")).isEmpty());
    c.home.write(folder::Current, QStringLiteral("SynCor.000"), "t12345\r\n");
    runInitialisation(c.ctx);
    EXPECT_EQ(c.home.read(folder::Current, QStringLiteral("SynCor.000")), QByteArray("t12345\r\n"));

    // A registry that cannot be opened switches the database off and says why.
    c.home.write(folder::Data, QStringLiteral("Bd_Quon.DB"), QByteArray(8192, '\xA5'));
    c.notifier.messages.clear();
    runInitialisation(c.ctx);
    EXPECT_FALSE(c.ctx.databaseOpen);
    EXPECT_TRUE(c.notifier.texts().join('|').contains(QStringLiteral("Bd_Quon.DB")));
}

TEST(Initialisation, TheVolumePrecisionIsReadAtEveryInitialisationAndABadFileToldOnce) {
    Context c;
    runInitialisation(c.ctx);
    EXPECT_EQ(c.ctx.volumeDecimals, 2); // no Work\Qdel.000
    // The first line that is not empty counts; a later save takes effect at the next initialisation.
    c.home.write(folder::Work, QStringLiteral("Qdel.000"), " \r\n 4 \r\n1\r\n");
    runInitialisation(c.ctx);
    EXPECT_EQ(c.ctx.volumeDecimals, 4);
    ASSERT_TRUE(corrector::saveVolumePrecision(c.home.root(), 0));
    EXPECT_EQ(c.home.read(folder::Work, QStringLiteral("Qdel.000")), QByteArray("0\r\n"));
    runInitialisation(c.ctx);
    EXPECT_EQ(c.ctx.volumeDecimals, 0);
    EXPECT_FALSE(corrector::saveVolumePrecision(c.home.root(), 7));
    EXPECT_TRUE(c.notifier.messages.isEmpty());
    // Out of range or no number: two decimals, and the user hears of it once in the run.
    for (const char* bad : {"7\r\n", "-1\r\n", "два\r\n", "2.5\r\n"}) {
        c.home.write(folder::Work, QStringLiteral("Qdel.000"), toCp1251(QString::fromUtf8(bad)));
        runInitialisation(c.ctx);
        EXPECT_EQ(c.ctx.volumeDecimals, 2) << bad;
    }
    ASSERT_EQ(c.notifier.messages.size(), 1);
    EXPECT_EQ(c.notifier.messages.first().first, MessageKind::Warning);
    EXPECT_TRUE(c.notifier.texts().first().contains(QStringLiteral("Qdel.000")))
        << c.notifier.texts().first().toStdString();
}

// Without a rebuild tool of the installation's own, "контроль и восстановление таблиц БД" has our check
// repair the tables before they open: a trigger slipped into a point's table is gone, the original kept.
TEST(Initialisation, TheTableCheckRepairsBeforeTheDatabaseStartsWhenAsked) {
    Context c;
    // Without link settings the console settings are thrown away at start, so the installation has them.
    c.home.write(folder::Work, QStringLiteral("FileInRS.000"), "Tarn-2.55\r\nCOM1\r\n");
    runInitialisation(c.ctx);
    ASSERT_TRUE(c.ctx.databaseOpen);
    database::Point p;
    p.identifier = QStringLiteral("t77777");
    p.serial = QStringLiteral("77777");
    p.model = QStringLiteral("ТАРН-2.01");
    ASSERT_TRUE(database::Registry(c.home.root(), c.ctx.schemas).add(p, QDateTime::currentDateTime()));
    const QString hourly = database::tablePath(c.home.root(), database::TableKind::Hourly, p.identifier);
    const QString triggers = QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'trigger'");
    ASSERT_TRUE(test::alterTableFile(
        hourly,
        {QStringLiteral("CREATE TRIGGER wipe AFTER INSERT ON h_t77777 BEGIN DELETE FROM h_t77777; END")}));

    // Line 7 off: the tables open as they are.
    runInitialisation(c.ctx);
    EXPECT_EQ(test::queryNumber(hourly, triggers), 1);

    QByteArray tuning;
    for (int line = 1; line <= 14; ++line)
        tuning += line == 1 ? "Alarm1.wav\r\n" : line == 7 ? "1\r\n" : "0\r\n";
    c.home.write(folder::Work, QStringLiteral("Tuning.000"), tuning);
    c.notifier.messages.clear();
    runInitialisation(c.ctx);
    EXPECT_TRUE(c.ctx.databaseOpen);
    EXPECT_EQ(test::queryNumber(hourly, triggers), 0)
        << c.notifier.texts().join(QLatin1Char('\n')).toStdString();
    const QStringList kept =
        QFileInfo(hourly).dir().entryList({QFileInfo(hourly).fileName() + QStringLiteral(".damaged-*")});
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(test::queryNumber(QFileInfo(hourly).dir().filePath(kept.first()), triggers), 1);
    ASSERT_EQ(c.notifier.messages.size(), 1);
    EXPECT_EQ(c.notifier.messages.first().first, MessageKind::Warning);
    EXPECT_TRUE(c.notifier.texts().first().contains(QStringLiteral("wipe")))
        << c.notifier.texts().first().toStdString();

    // A clean installation says nothing.
    c.notifier.messages.clear();
    runInitialisation(c.ctx);
    EXPECT_TRUE(c.notifier.messages.isEmpty());
}

// "контроль и восстановление таблиц БД": the tool is handed the table folders and has ended before the
// sequence goes on; without the tool the start-up goes on with a warning.
TEST(Initialisation, TheRebuildToolGetsTheTableFoldersAndIsWaitedFor) {
    test::TempHome home;
    home.root().createFolders();
    test::RecordingNotifier notifier;
    const QDate today(2026, 3, 9);
    EXPECT_FALSE(runRebuildTool(home.root(), notifier, today));
    ASSERT_EQ(notifier.messages.size(), 1);
    EXPECT_EQ(notifier.messages.first().first, MessageKind::Warning);

    // The tool copies the folder list it was given; the copy exists only once it has run to its end.
    const QString tool = home.path(folder::Rebuild, QStringLiteral("Orvek"));
    home.write(folder::Rebuild, QStringLiteral("Orvek"), "#!/bin/sh\ncp dir.000 seen.000\n");
    QFile::setPermissions(tool, QFile::permissions(tool) | QFileDevice::ExeOwner);
    notifier.messages.clear();
    // Nothing queued meanwhile is served: the wait is no event loop.
    bool served = false;
    QTimer::singleShot(0, [&served] { served = true; });
    ASSERT_TRUE(runRebuildTool(home.root(), notifier, today));
    EXPECT_FALSE(served);
    QCoreApplication::processEvents();
    EXPECT_TRUE(served);
    EXPECT_TRUE(notifier.messages.isEmpty());
    const QByteArray seen = home.read(folder::Rebuild, QStringLiteral("seen.000"));
    ASSERT_TRUE(seen.endsWith("\r\n"));
    QList<QByteArray> lines = seen.split('\n');
    lines.removeLast();
    ASSERT_EQ(lines.size(), 13);
    for (QByteArray& l : lines) {
        ASSERT_TRUE(l.endsWith('\r'));
        l.chop(1);
    }
    const QByteArray root = QDir(home.root().root()).absolutePath().toUtf8();
    EXPECT_EQ(lines.at(0), root + "/Data");
    EXPECT_EQ(lines.at(3), root + "/Mon");
    EXPECT_EQ(lines.at(9), root + "/BookQ");
    EXPECT_EQ(lines.at(10), root + "/Join/j_2603/");
    EXPECT_EQ(lines.at(12), root + "/Em");

    home.write(folder::Rebuild, QStringLiteral("Orvek"), "#!/bin/sh\nkill -9 $$\n");
    EXPECT_FALSE(runRebuildTool(home.root(), notifier, today));
    EXPECT_EQ(notifier.messages.size(), 1);
}

TEST(Initialisation, AnUnreadableSettingsFileIsSaidAndLeftAlone) {
    Context c;
    // A folder where the file should be: there, but not readable as a file.
    ASSERT_TRUE(QDir().mkpath(c.ctx.settingsFiles().settingsPath()));
    c.home.write(folder::Work, QStringLiteral("Tuning.000"), "1\r\n");
    const auto r = runInitialisation(c.ctx);
    EXPECT_FALSE(r.outdatedSettings);
    EXPECT_EQ(c.ctx.settings().corrPort, QStringLiteral("COM1"));
    // Nothing was written over it or deleted beside it.
    EXPECT_TRUE(QFileInfo(c.ctx.settingsFiles().settingsPath()).isDir());
    EXPECT_TRUE(c.home.exists(folder::Work, QStringLiteral("Tuning.000")));
    ASSERT_EQ(c.notifier.messages.size(), 1);
    EXPECT_EQ(c.notifier.messages.front().first, MessageKind::Warning);
    EXPECT_TRUE(c.notifier.messages.front().second.contains(QStringLiteral("FileInRS.000")));
    EXPECT_TRUE(c.notifier.messages.front().second.startsWith(QStringLiteral("Файл налаштувань")));
}
