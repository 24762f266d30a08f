#include "common/LanguageFile.h"
#include "link/FakeSerialPort.h"
#include "link/SettingsController.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::link;

namespace {
struct Fixture {
    test::TempHome home;
    test::RecordingNotifier notifier;
    FakeSerialPort port;
    LinkPort link{port, notifier};
    LinkSettings live;
    SettingsController controller{home.root(), live, link};
};
} // namespace

TEST(SettingsController, ChannelsOffAndTheGroupsThatShow) {
    Fixture f;
    f.controller.open(kUkrainian);
    EXPECT_EQ(f.controller.edit().language, QStringLiteral("UA"));
    auto v = f.controller.visibility();
    EXPECT_TRUE(v.rsPanel);
    EXPECT_FALSE(v.modemGroup);
    EXPECT_FALSE(v.syncGroup);
    f.controller.setModemUsed(true);
    EXPECT_TRUE(f.controller.visibility().modemGroup);
    // RS-232 off unticks and hides the modem box with its group.
    f.controller.setRsOff(true);
    v = f.controller.visibility();
    EXPECT_FALSE(v.rsPanel);
    EXPECT_FALSE(v.modemBox);
    EXPECT_FALSE(v.modemGroup);
    EXPECT_FALSE(f.controller.edit().modemUsed);
    f.controller.setModemUsed(true);
    EXPECT_FALSE(f.controller.edit().modemUsed);
    f.controller.setUsbOff(true);
    f.controller.setLptOff(true);
    v = f.controller.visibility();
    EXPECT_FALSE(v.usbPanel);
    EXPECT_FALSE(v.lptPanel);
    // The folder tree shows only inside a shown synchronisation group.
    f.controller.setChangePath(true);
    EXPECT_FALSE(f.controller.visibility().syncTree);
    f.controller.setSyncOn(true);
    EXPECT_TRUE(f.controller.visibility().syncGroup);
    EXPECT_TRUE(f.controller.visibility().syncTree);
}

TEST(SettingsController, SaveMakesTheEditLiveAndCloseDiscardsUnsavedEdits) {
    Fixture f;
    f.controller.open(kUkrainian);
    f.controller.edit().corrPort = QStringLiteral("COM5");
    ASSERT_TRUE(f.controller.save());
    EXPECT_EQ(f.live.corrPort, QStringLiteral("COM5"));
    EXPECT_TRUE(f.home.exists(folder::Work, QStringLiteral("FileInRS.000")));

    f.controller.open(kUkrainian);
    f.controller.edit().corrPort = QStringLiteral("COM9");
    f.controller.edit().serviceCode = QStringLiteral("942");
    EXPECT_EQ(f.controller.close(QStringLiteral("UA")), kUkrainian);
    EXPECT_EQ(f.live.corrPort, QStringLiteral("COM5"));   // the file's value
    EXPECT_EQ(f.live.serviceCode, QStringLiteral("942")); // the edit keeps its text
}

TEST(SettingsController, WithoutAFileTheTypedValuesStay) {
    Fixture f;
    f.controller.open(kUkrainian);
    f.controller.edit().speed = QStringLiteral("9600");
    f.controller.close(QStringLiteral("UA"));
    EXPECT_EQ(f.live.speed, QStringLiteral("9600"));
    EXPECT_FALSE(f.home.exists(folder::Work, QStringLiteral("FileInRS.000")));
}

TEST(SettingsController, LanguageBoxIsWrittenAndReadBack) {
    Fixture f;
    f.controller.open(kUkrainian);
    EXPECT_EQ(f.controller.close(QStringLiteral("RU")), kRussian);
    EXPECT_EQ(f.home.read(folder::Work, QStringLiteral("Type_Leng.000")), QByteArray("RU\r\n"));
    // Typed text other than "RU" selects Ukrainian.
    f.controller.open(kRussian);
    EXPECT_EQ(f.controller.close(QStringLiteral("ru")), kUkrainian);
    EXPECT_EQ(f.controller.languageAtOpening(), kRussian);
}

TEST(SettingsController, ListButtonsProbeTheCountedPorts) {
    Fixture f;
    f.home.write(folder::Work, QStringLiteral("Q_RS.000"), "4\r\n");
    f.port.existing = {QStringLiteral("/dev/ttyS1"), QStringLiteral("/dev/ttyS5")};
    EXPECT_EQ(f.controller.probePorts(), QStringList{QStringLiteral("COM2")});
}
