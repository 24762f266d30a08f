#include "common/Cp1251.h"
#include "common/TextFile.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarn;

TEST(TextFile, WritesWindows1251WithCrLf) {
    test::TempHome home;
    const QString p = home.path(folder::Work, QStringLiteral("x.000"));
    ASSERT_TRUE(writeTextLines(p, {QStringLiteral("UA"), QString(), QStringLiteral("Швидкість")}));
    EXPECT_EQ(home.read(folder::Work, QStringLiteral("x.000")),
              QByteArray("UA\r\n\r\n") + toCp1251(QStringLiteral("Швидкість")) + "\r\n");
}

TEST(TextFile, ReadsAnyLineEndingAndNoPhantomLastLine) {
    test::TempHome home;
    home.write(folder::Work, QStringLiteral("a.000"), "one\r\ntwo\nthree\rfour");
    auto lines = readTextLines(home.path(folder::Work, QStringLiteral("a.000")));
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, (QStringList{"one", "two", "three", "four"}));

    home.write(folder::Work, QStringLiteral("b.000"), "one\r\n\r\n");
    lines = readTextLines(home.path(folder::Work, QStringLiteral("b.000")));
    EXPECT_EQ(*lines, (QStringList{"one", ""}));

    EXPECT_FALSE(readTextLines(home.path(folder::Work, QStringLiteral("missing.000"))));
}

TEST(TextFile, RefusesFilesBeyondTheSizeLimit) {
    test::TempHome home;
    home.write(folder::Work, QStringLiteral("big.000"), QByteArray(2000, 'x'));
    EXPECT_FALSE(readTextLines(home.path(folder::Work, QStringLiteral("big.000")), 1000));
}

TEST(TextFile, RewriteWithBackupLeavesNoCopyBehind) {
    test::TempHome home;
    home.write(folder::Work, QStringLiteral("c.000"), "old\r\n");
    ASSERT_TRUE(rewriteTextLinesWithBackup(home.path(folder::Work, QStringLiteral("c.000")),
                                           {QStringLiteral("new")}));
    EXPECT_EQ(home.read(folder::Work, QStringLiteral("c.000")), QByteArray("new\r\n"));
    EXPECT_FALSE(home.exists(folder::Work, QStringLiteral("c.000.bak")));
}

TEST(TextFile, AFailedWriteKeepsTheOldFile) {
    test::TempHome home;
    // A folder where the file should be: nothing can be written, nothing is half-written.
    QDir().mkpath(home.path(folder::Work, QStringLiteral("d.000")));
    EXPECT_FALSE(writeTextLines(home.path(folder::Work, QStringLiteral("d.000")), {QStringLiteral("x")}));
    EXPECT_FALSE(writeTextLines(home.root().dir(folder::Work) + QStringLiteral("/nofolder/e.000"),
                                {QStringLiteral("x")}));
}

TEST(TextFile, SpaceRules) {
    EXPECT_EQ(collapseSpaces(QStringLiteral("  a   b c  ")), QStringLiteral(" a b c "));
    EXPECT_EQ(removeSpaces(QStringLiteral(" 1 9 2 00 ")), QStringLiteral("19200"));
}

TEST(DataRoot, FileNamesNeverLeaveTheInstallation) {
    DataRoot root(QStringLiteral("/inst"));
    EXPECT_EQ(root.file(folder::Work, QStringLiteral("FileInRS.000")),
              QStringLiteral("/inst/Work/FileInRS.000"));
    EXPECT_TRUE(root.file(folder::Work, QStringLiteral("../etc/passwd")).isEmpty());
    EXPECT_TRUE(root.file(folder::Group, QStringLiteral("a\\b_G.000")).isEmpty());
    EXPECT_TRUE(root.file(folder::Group, QStringLiteral("..")).isEmpty());
    EXPECT_TRUE(root.file(folder::Group, QString()).isEmpty());
}

TEST(DataRoot, HomeOptionThenEnvironmentThenProgramFolder) {
    qputenv("TARN_HOME", "/from/env");
    EXPECT_EQ(DataRoot::resolve(QStringLiteral("/from/option"), QStringLiteral("/exe")).root(),
              QStringLiteral("/from/option"));
    EXPECT_EQ(DataRoot::resolve(QString(), QStringLiteral("/exe")).root(), QStringLiteral("/from/env"));
    qunsetenv("TARN_HOME");
    EXPECT_EQ(DataRoot::resolve(QString(), QStringLiteral("/exe")).root(), QStringLiteral("/exe"));
}

// A packaged program lives in PREFIX/bin among other programs: without --home or TARN_HOME its user's data
// go to the user's data folder; a folder named bin that is not such a prefix is still an installation.
TEST(DataRoot, SystemWideProgramsUseTheUsersDataFolder) {
    QTemporaryDir dir;
    const QByteArray oldXdg = qgetenv("XDG_DATA_HOME");
    qunsetenv("TARN_HOME");
    qputenv("XDG_DATA_HOME", (dir.path() + QStringLiteral("/userdata")).toLocal8Bit());
    const QString bin = dir.path() + QStringLiteral("/usr/bin");
    ASSERT_TRUE(QDir().mkpath(bin));
    EXPECT_FALSE(isSystemProgramFolder(bin));
    EXPECT_EQ(DataRoot::resolve(QString(), bin).root(), bin);

    ASSERT_TRUE(QDir().mkpath(dir.path() + QStringLiteral("/usr/share/tarn")));
    EXPECT_TRUE(isSystemProgramFolder(bin));
    EXPECT_EQ(DataRoot::resolve(QString(), bin).root(), dir.path() + QStringLiteral("/userdata/tarn"));
    EXPECT_EQ(DataRoot::resolve(QStringLiteral("/from/option"), bin).root(), QStringLiteral("/from/option"));
    qputenv("TARN_HOME", "/from/env");
    EXPECT_EQ(DataRoot::resolve(QString(), bin).root(), QStringLiteral("/from/env"));
    qunsetenv("TARN_HOME");

    // The share folder must be the bin folder's sibling, and the program folder must be called bin.
    const QString other = dir.path() + QStringLiteral("/usr/share/tarn/bin");
    ASSERT_TRUE(QDir().mkpath(other));
    EXPECT_FALSE(isSystemProgramFolder(other));
    EXPECT_FALSE(isSystemProgramFolder(dir.path() + QStringLiteral("/usr/share")));
    if (oldXdg.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", oldXdg);
}

TEST(DataRoot, CreatesTheWholeTreeInItsCase) {
    QTemporaryDir dir;
    DataRoot root(dir.path() + QStringLiteral("/inst"));
    ASSERT_TRUE(root.createFolders());
    for (const char* f :
         {"Work", "Current", "Data", "Doc", "Group", "BookQ", "Mail_BD", "pack", "Hour", "Meas"})
        EXPECT_TRUE(QDir(root.dir(f)).exists()) << f;
}

TEST(TextFile, AnAppendingFileShowsEachLineAsSoonAsItIsAppended) {
    test::TempHome home;
    const QString p = home.path(folder::Work, QStringLiteral("trace.txt"));
    ASSERT_TRUE(writeTextLines(p, {QStringLiteral("last night")}));
    AppendingTextFile log;
    ASSERT_TRUE(log.open(p));
    // Opening starts the file afresh.
    EXPECT_EQ(readTextLines(p), QStringList{});
    ASSERT_TRUE(log.append(QStringLiteral("-> 06 00 20 D9")));
    // Read while the writer is still open, by a separate handle.
    QFile reader(p);
    ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
    EXPECT_EQ(reader.readAll(), QByteArray("-> 06 00 20 D9\r\n"));
    ASSERT_TRUE(log.append(QStringLiteral("<- Швидкість")));
    EXPECT_EQ(reader.readAll(), toCp1251(QStringLiteral("<- Швидкість")) + "\r\n");
    EXPECT_FALSE(log.failed());

    AppendingTextFile nowhere;
    EXPECT_FALSE(nowhere.open(home.path(folder::Work, QStringLiteral("no/such/folder/trace.txt"))));
    EXPECT_FALSE(nowhere.isOpen());
    EXPECT_FALSE(nowhere.append(QStringLiteral("lost")));
}
