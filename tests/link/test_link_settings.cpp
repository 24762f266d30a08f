#include "link/LinkSettings.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::link;

namespace {
const QString kFile = QStringLiteral("FileInRS.000");

QByteArray joinCrLf(std::initializer_list<const char*> lines) {
    QByteArray b;
    for (const char* l : lines)
        b += QByteArray(l) + "\r\n";
    return b;
}
} // namespace

TEST(LinkSettingsFile, DefaultsAreTheTwentyTwoLinesOfAFirstExit) {
    test::TempHome home;
    SettingsFiles files(home.root());
    ASSERT_TRUE(saveSettings(files, LinkSettings{}));
    EXPECT_EQ(home.read(folder::Work, kFile),
              joinCrLf({"Tarn-2.55", "COM1", "COM1", "LPT1",       "19200", "6000", "6", "0000000000000",
                        "0",         "0",    "30",   "AT&FE0S0=0", "0378",  "0",    "0", "0",
                        "0",         "0",    "",     "0",          "20",    "1"}));
}

TEST(LinkSettingsFile, RoundTripsEveryField) {
    test::TempHome home;
    SettingsFiles files(home.root());
    LinkSettings s;
    s.corrPort = QStringLiteral("COM7");
    s.transferUnitPort = QStringLiteral("/dev/ttyUSB0");
    s.lptChoice = LptChoice::Custom;
    s.lptAddress = QStringLiteral("03BC");
    s.lptDelay = 12;
    s.speed = QStringLiteral("921Кбод");
    s.replyTimeoutMs = 1500;
    s.retryCount = 3;
    s.readChoice = QStringLiteral("1000001000000");
    s.modemUsed = true;
    s.modemHoldSec = QStringLiteral("45");
    s.modemInit = QStringLiteral("ATZ");
    s.rsOff = true;
    s.usbOff = true;
    s.lptOff = true;
    s.syncPath = QStringLiteral("/srv/master");
    s.secondDriver = true;
    s.writeDelayMs = 0;
    s.resetOnFailure = false;
    ASSERT_TRUE(saveSettings(files, s));
    LinkSettings back;
    ASSERT_EQ(loadSettings(files, back), LoadResult::Loaded);
    EXPECT_EQ(back, s);
}

TEST(LinkSettingsFile, ReadingRules) {
    test::TempHome home;
    SettingsFiles files(home.root());
    // Runs of spaces collapse, flags need exactly "1" once spaces are gone, address loses its spaces,
    // out-of-range spins are held to their range, lines past 22 are ignored.
    home.write(folder::Work, kFile,
               joinCrLf({"Tarn-2.55", "COM3", "COM4",  "LPT?",      "19  200", "20000", "0",     "1 0 1",
                         "x",         " 1 ",  "30",    "AT&F   E0", "0 3 B C", "11",    "0",     "1",
                         "1",         "1",    "/a  b", "1",         "5000",    "0",     "extra", "more"}));
    LinkSettings s;
    ASSERT_EQ(loadSettings(files, s), LoadResult::Loaded);
    EXPECT_EQ(s.corrPort, QStringLiteral("COM3"));
    EXPECT_EQ(s.lptChoice, LptChoice::Custom);
    EXPECT_EQ(s.speed, QStringLiteral("19 200"));
    EXPECT_EQ(baudRateForSpeedText(s.speed), 19200);
    EXPECT_EQ(s.replyTimeoutMs, 10000);
    EXPECT_EQ(s.retryCount, 1);
    EXPECT_EQ(s.readChoice, QStringLiteral("1010000000000"));
    EXPECT_EQ(s.lptDelay, 0); // not a number: the spin keeps its value
    EXPECT_TRUE(s.modemUsed);
    EXPECT_EQ(s.modemInit, QStringLiteral("AT&F E0"));
    EXPECT_EQ(s.lptAddress, QStringLiteral("03BC"));
    EXPECT_FALSE(s.rsOff); // "11" is not "1"
    EXPECT_TRUE(s.lptOff);
    EXPECT_FALSE(s.syncOn); // never switched on by reading
    EXPECT_EQ(s.syncPath, QStringLiteral("/a b"));
    EXPECT_TRUE(s.secondDriver);
    EXPECT_EQ(s.writeDelayMs, 1000);
    EXPECT_FALSE(s.resetOnFailure);
}

TEST(LinkSettingsFile, SyncIsClearedByAnythingButOne) {
    LinkSettings s;
    s.syncOn = true;
    QStringList lines = settingsToLines(LinkSettings{});
    lines[17] = QStringLiteral("1");
    ASSERT_TRUE(applySettingsLines(lines, s));
    EXPECT_TRUE(s.syncOn); // "1" leaves the box as it was
    lines[17] = QStringLiteral("0");
    ASSERT_TRUE(applySettingsLines(lines, s));
    EXPECT_FALSE(s.syncOn);
}

TEST(LinkSettingsFile, AShortFileLeavesTheRestAsItIs) {
    test::TempHome home;
    SettingsFiles files(home.root());
    home.write(folder::Work, kFile, joinCrLf({"Tarn-2.55", "COM9", "COM2"}));
    LinkSettings s;
    s.speed = QStringLiteral("9600");
    s.retryCount = 9;
    ASSERT_EQ(loadSettings(files, s), LoadResult::Loaded);
    EXPECT_EQ(s.corrPort, QStringLiteral("COM9"));
    EXPECT_EQ(s.transferUnitPort, QStringLiteral("COM2"));
    EXPECT_EQ(s.speed, QStringLiteral("9600"));
    EXPECT_EQ(s.retryCount, 9);
}

TEST(LinkSettingsFile, MissingFileDeletesTuningAndKeepsDefaults) {
    test::TempHome home;
    SettingsFiles files(home.root());
    home.write(folder::Work, QStringLiteral("Tuning.000"), "x\r\n");
    LinkSettings s;
    EXPECT_EQ(loadSettings(files, s), LoadResult::Missing);
    EXPECT_EQ(s, LinkSettings{});
    EXPECT_FALSE(home.exists(folder::Work, QStringLiteral("Tuning.000")));
}

// A settings file that is there but cannot be read (a folder in its place, or one too large to be a
// settings file) is neither replaced nor taken as missing: no companion is deleted either.
TEST(LinkSettingsFile, AnUnreadableFileIsLeftAsItIsWithItsCompanions) {
    test::TempHome home;
    SettingsFiles files(home.root());
    home.write(folder::Work, QStringLiteral("Tuning.000"), "x\r\n");
    home.write(folder::Current, QStringLiteral("report.000"), "r\r\n");

    ASSERT_TRUE(QDir().mkpath(files.settingsPath()));
    LinkSettings s;
    s.replyTimeoutMs = 1234;
    EXPECT_EQ(loadSettings(files, s), LoadResult::Unreadable);
    EXPECT_EQ(s.replyTimeoutMs, 1234);
    EXPECT_TRUE(QFileInfo(files.settingsPath()).isDir());
    EXPECT_EQ(home.read(folder::Work, QStringLiteral("Tuning.000")), QByteArray("x\r\n"));
    ASSERT_TRUE(QDir(files.settingsPath()).removeRecursively());

    // An outdated marker at the head of a file over the size limit: were it read, it would be deleted.
    const QByteArray head("Tarn-1.00\r\n");
    home.write(folder::Work, QStringLiteral("FileInRS.000"), head);
    {
        QFile big(files.settingsPath());
        ASSERT_TRUE(big.resize(16 * 1024 * 1024 + 1));
    }
    EXPECT_EQ(loadSettings(files, s), LoadResult::Unreadable);
    QFile kept(files.settingsPath());
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.size(), 16 * 1024 * 1024 + 1);
    EXPECT_EQ(kept.read(head.size()), head);
    EXPECT_EQ(home.read(folder::Work, QStringLiteral("Tuning.000")), QByteArray("x\r\n"));
    EXPECT_EQ(home.read(folder::Current, QStringLiteral("report.000")), QByteArray("r\r\n"));
}

TEST(LinkSettingsFile, OldFormatIsDeletedWithTheQuestionBook) {
    test::TempHome home;
    SettingsFiles files(home.root());
    home.write(folder::Work, kFile, joinCrLf({"Tarn-1.00", "COM5"}));
    home.write(folder::Current, QStringLiteral("report.000"), "r\r\n");
    home.write(folder::Work, QStringLiteral("Tuning.000"), "t\r\n");
    home.write(folder::BookQ, QStringLiteral("q.db"), "d");
    home.write(folder::BookQ, QStringLiteral("q.val"), "v");
    home.write(folder::BookQ, QStringLiteral("keep.txt"), "k");
    LinkSettings s;
    EXPECT_EQ(loadSettings(files, s), LoadResult::Outdated);
    EXPECT_EQ(s.corrPort, QStringLiteral("COM1"));
    EXPECT_FALSE(home.exists(folder::Work, kFile));
    EXPECT_FALSE(home.exists(folder::Current, QStringLiteral("report.000")));
    EXPECT_FALSE(home.exists(folder::Work, QStringLiteral("Tuning.000")));
    EXPECT_FALSE(home.exists(folder::BookQ, QStringLiteral("q.db")));
    EXPECT_FALSE(home.exists(folder::BookQ, QStringLiteral("q.val")));
    EXPECT_TRUE(home.exists(folder::BookQ, QStringLiteral("keep.txt")));
    // The second call of the start-up then finds no file.
    EXPECT_EQ(loadSettings(files, s), LoadResult::Missing);
}

TEST(LinkSettingsFile, OtherOutdatedMarkersKeepTheQuestionBook) {
    test::TempHome home;
    SettingsFiles files(home.root());
    home.write(folder::Work, kFile, joinCrLf({"Tarn-2.00"}));
    home.write(folder::BookQ, QStringLiteral("q.db"), "d");
    LinkSettings s;
    EXPECT_EQ(loadSettings(files, s), LoadResult::Outdated);
    EXPECT_TRUE(home.exists(folder::BookQ, QStringLiteral("q.db")));
}

TEST(SpeedText, KnownUnknownAndNonStandard) {
    EXPECT_EQ(baudRateForSpeedText(QStringLiteral("1 9 2 0 0")), 19200);
    EXPECT_EQ(baudRateForSpeedText(QStringLiteral("115200")), 115200);
    EXPECT_EQ(baudRateForSpeedText(QStringLiteral("1200")), 1200);
    EXPECT_EQ(baudRateForSpeedText(QStringLiteral("14400")), 9600);
    EXPECT_EQ(baudRateForSpeedText(QStringLiteral("")), 9600);
    EXPECT_EQ(baudRateForSpeedText(QStringLiteral("230Kбод")), 230000); // Latin K
    EXPECT_EQ(baudRateForSpeedText(QStringLiteral("230Кбод")), 230000); // Cyrillic К
    EXPECT_EQ(baudRateForSpeedText(QStringLiteral("460Кбод")), 460000);
    EXPECT_EQ(baudRateForSpeedText(QStringLiteral("460Kбод")), 460000);
    EXPECT_EQ(baudRateForSpeedText(QStringLiteral("921 Кбод")), 921000);
    EXPECT_EQ(baudRateForSpeedText(QStringLiteral("921кбод")), 9600);
}

TEST(PortProbeCount, LastValidLineDecides) {
    test::TempHome home;
    const QString f = QStringLiteral("Q_RS.000");
    EXPECT_EQ(readPortProbeCount(home.root()), 50);
    home.write(folder::Work, f, "8\r\n");
    EXPECT_EQ(readPortProbeCount(home.root()), 8);
    for (const char* bad : {"0\r\n", "100\r\n", "abc\r\n", "\r\n"}) {
        home.write(folder::Work, f, bad);
        EXPECT_EQ(readPortProbeCount(home.root()), 50) << bad;
    }
    home.write(folder::Work, f, "12\r\n20\r\n");
    EXPECT_EQ(readPortProbeCount(home.root()), 20);
    home.write(folder::Work, f, "12\r\nxyz\r\n 3 5 \r\n");
    EXPECT_EQ(readPortProbeCount(home.root()), 35);
}

TEST(ServiceCode, OnlyTheTwoCodesOpenLevels) {
    EXPECT_EQ(serviceLevelForCode(QStringLiteral("517")), 1);
    EXPECT_EQ(serviceLevelForCode(QStringLiteral("942")), 5);
    EXPECT_EQ(serviceLevelForCode(QStringLiteral("")), 0);
    EXPECT_EQ(serviceLevelForCode(QStringLiteral("5170")), 0);
    EXPECT_EQ(serviceLevelForCode(QStringLiteral("0942")), 0);
}

TEST(LptAddress, ChoicesAndTypedAddress) {
    EXPECT_EQ(lptPortAddress(LptChoice::Lpt1, QString()), 0x378);
    EXPECT_EQ(lptPortAddress(LptChoice::Lpt2, QString()), 0x278);
    EXPECT_EQ(lptPortAddress(LptChoice::Lpt3, QString()), 0x3BC);
    EXPECT_EQ(lptPortAddress(LptChoice::Custom, QStringLiteral("03BC")), 0x3BC);
    EXPECT_EQ(lptPortAddress(LptChoice::Custom, QStringLiteral("XYZ")), 0x378);
    EXPECT_EQ(lptPortAddress(LptChoice::Custom, QStringLiteral("")), 0x378);
    EXPECT_EQ(lptPortAddress(LptChoice::Custom, QStringLiteral("12345")), 0x378);
}

TEST(ReplyTimeout, ZeroIsHeldToAMinimum) {
    EXPECT_EQ(effectiveReplyTimeoutMs(0), kMinReplyTimeoutMs);
    EXPECT_EQ(effectiveReplyTimeoutMs(6000), 6000);
}
