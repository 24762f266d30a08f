#include "common/Language.h"
#include "corrector/LinkTexts.h"
#include "link/FakeSerialPort.h"
#include "link/LinkPort.h"
#include "link/PortMap.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::link;

namespace {
struct Fixture {
    FakeSerialPort port;
    test::RecordingNotifier notifier;
    LinkPort link{port, notifier};
    QStringList labels;
    Fixture() {
        link.setWording(&corrector::correctorLinkWording());
        QObject::connect(&link, &LinkPort::portLabelChanged, [this](const QString& t) { labels.append(t); });
        port.existing = {QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyS2"),
                         QStringLiteral("/dev/ttyUSB0")};
    }
};
} // namespace

TEST(PortMap, ComNamesDevicePathsAndTheMapFile) {
    test::TempHome home;
    home.write(folder::Work, PortMap::fileName(), "COM3 /dev/ttyUSB0\r\ncom12   /tmp/sim-a\r\nbroken\r\n");
    const PortMap map = PortMap::load(home.root());
    EXPECT_EQ(map.device(QStringLiteral("COM1")), QStringLiteral("/dev/ttyS0"));
    EXPECT_EQ(map.device(QStringLiteral("COM3")), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(map.device(QStringLiteral("COM12")), QStringLiteral("/tmp/sim-a"));
    EXPECT_EQ(map.device(QStringLiteral("/dev/pts/4")), QStringLiteral("/dev/pts/4"));
    EXPECT_FALSE(PortMap::comNumber(QStringLiteral("COM")));
    EXPECT_FALSE(PortMap::comNumber(QStringLiteral("COM0")));
    EXPECT_EQ(PortMap::comNumber(QStringLiteral(" com 7")), 7);
}

TEST(LinkPort, OpenWithoutModemLowersDtrRaisesRts) {
    Fixture f;
    f.link.configure(QStringLiteral("COM1"), QStringLiteral("19200"), false);
    ASSERT_TRUE(f.link.openPort(true));
    EXPECT_EQ(f.port.openedDevice, QStringLiteral("/dev/ttyS0"));
    EXPECT_EQ(f.port.baud, 19200);
    EXPECT_FALSE(f.port.dtr);
    EXPECT_TRUE(f.port.rts);
    EXPECT_EQ(f.labels, QStringList{QStringLiteral("COM1")});
    f.link.closePort();
    EXPECT_FALSE(f.port.isOpen());
    EXPECT_FALSE(f.port.dtr);
    EXPECT_FALSE(f.port.rts);
    EXPECT_EQ(f.labels.last(), QStringLiteral("--"));
}

TEST(LinkPort, ModemLinkLeavesTheLinesAlone) {
    Fixture f;
    f.port.dtr = true;
    f.port.rts = false;
    f.link.configure(QStringLiteral("COM1"), QStringLiteral("9600"), true);
    ASSERT_TRUE(f.link.openPort(true));
    EXPECT_TRUE(f.port.dtr);
    EXPECT_FALSE(f.port.rts);
}

TEST(LinkPort, AMissingPortIsAFailureWithoutAMessage) {
    Fixture f;
    f.link.configure(QStringLiteral("COM2"), QStringLiteral("19200"), false);
    EXPECT_FALSE(f.link.openPort(true));
    EXPECT_TRUE(f.link.linkBroken());
    EXPECT_TRUE(f.notifier.messages.isEmpty());
    EXPECT_EQ(f.port.openCount, 0);
}

TEST(LinkPort, AFailedOpenShowsTheMessageInTheLanguage) {
    Fixture f;
    f.port.failingOpen = {QStringLiteral("/dev/ttyS2")};
    f.link.configure(QStringLiteral("COM3"), QStringLiteral("19200"), false);
    f.link.setLanguage(kRussian);
    EXPECT_FALSE(f.link.openPort(true));
    ASSERT_EQ(f.notifier.messages.size(), 1);
    EXPECT_EQ(f.notifier.messages[0].first, MessageKind::Error);
    EXPECT_EQ(f.notifier.messages[0].second, QStringLiteral("Ошибка инициализации порта COM3"));
    f.link.setLanguage(kUkrainian);
    EXPECT_FALSE(f.link.openPort(false));
    EXPECT_EQ(f.notifier.messages.size(), 1);
    EXPECT_EQ(f.link.initErrorText(), QStringLiteral("Помилка ініціалізації портуCOM3"));
}

TEST(LinkPort, UnpluggedAdapterRecoversAfterReplug) {
    Fixture f;
    f.link.configure(QStringLiteral("/dev/ttyUSB0"), QStringLiteral("115200"), false);
    ASSERT_TRUE(f.link.openPort(true));
    // The adapter goes away: the write fails, the link is broken, closing releases the handle.
    f.port.failWrites = true;
    f.port.existing.remove(QStringLiteral("/dev/ttyUSB0"));
    EXPECT_FALSE(f.link.write(test::hex("02 00 20 DD")));
    EXPECT_TRUE(f.link.linkBroken());
    f.link.closePort();
    EXPECT_FALSE(f.port.isOpen());
    EXPECT_FALSE(f.link.openPort(true));
    // Plugged in again: the next open works and clears the mark.
    f.port.failWrites = false;
    f.port.existing.insert(QStringLiteral("/dev/ttyUSB0"));
    ASSERT_TRUE(f.link.openPort(true));
    EXPECT_FALSE(f.link.linkBroken());
    EXPECT_TRUE(f.link.write(test::hex("02 00 20 DD")));
    EXPECT_EQ(f.port.openCount, 2);
}

TEST(LinkPort, ReopeningAnOpenPortKeepsIt) {
    Fixture f;
    f.link.configure(QStringLiteral("COM1"), QStringLiteral("19200"), false);
    ASSERT_TRUE(f.link.openPort(true));
    ASSERT_TRUE(f.link.openPort(true));
    EXPECT_EQ(f.port.openCount, 1);
}

TEST(LinkPort, ProbesOnlyTheCountedPorts) {
    Fixture f;
    EXPECT_EQ(f.link.probePorts(2), QStringList{QStringLiteral("COM1")});
    EXPECT_EQ(f.link.probePorts(8), (QStringList{QStringLiteral("COM1"), QStringLiteral("COM3")}));
}

TEST(LinkPort, ReceivedBytesArePassedOn) {
    Fixture f;
    QByteArray got;
    QObject::connect(&f.link, &LinkPort::received, [&](const QByteArray& b) { got += b; });
    f.port.inject(test::hex("00 01"));
    f.port.inject(test::hex("FE"));
    EXPECT_EQ(got, test::hex("00 01 FE"));
}
