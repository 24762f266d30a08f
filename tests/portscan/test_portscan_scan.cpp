// The scan's step machines on fake ports: which ports are examined, what is sent, which verdicts are
// logged, and that every port ends with a verdict.
#include "ScanTestSupport.h"
#include "common/Language.h"
#include "link/FakeSerialPort.h"
#include "portscan/Crc16Modbus.h"
#include "portscan/Probes.h"
#include "portscan/ScanSettings.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QHash>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::portscan;
using portscan::test::fastTimings;
using portscan::test::identificationReply;
using portscan::test::spin;
using portscan::test::waitFor;
using tarn::test::hex;

namespace {

using Device = std::function<QByteArray(const QByteArray& written)>;

// Two fake drivers, COMn mapped to "devn", and devices that answer what is written to them.
struct Bench {
    link::FakeSerialPort com;
    link::FakeSerialPort unit;
    ScanLog log;
    PortScanner scanner{com, unit, log};
    QHash<QString, Device> devices;
    struct Write {
        QString device;
        QByteArray bytes;
        qint64 atMs;
    };
    QList<Write> comWrites;
    QList<Write> unitWrites;
    QElapsedTimer clock;

    explicit Bench(int limit = 8) {
        link::PortMap map;
        for (int n = 1; n <= 99; ++n)
            map.set(n, dev(n));
        scanner.setPortMap(map);
        scanner.setTimings(fastTimings());
        scanner.setPortLimit(limit);
        scanner.setLanguage(kRussian);
        com.onWrite = [this](const QByteArray& b) { route(com, comWrites, b); };
        unit.onWrite = [this](const QByteArray& b) { route(unit, unitWrites, b); };
        clock.start();
    }
    static QString dev(int n) { return QStringLiteral("dev%1").arg(n); }
    void present(std::initializer_list<int> ports) {
        for (int n : ports) {
            com.existing.insert(dev(n));
            unit.existing.insert(dev(n));
        }
    }
    void answer(int n, Device d) { devices.insert(dev(n), std::move(d)); }
    void route(link::FakeSerialPort& port, QList<Write>& writes, const QByteArray& bytes) {
        writes.append({port.openedDevice, bytes, clock.elapsed()});
        const Device d = devices.value(port.openedDevice);
        const QByteArray reply = d ? d(bytes) : QByteArray();
        if (!reply.isEmpty()) QTimer::singleShot(0, &port, [&port, reply] { port.inject(reply); });
    }
    bool run(ScanMode mode) {
        scanner.setMode(mode);
        scanner.start();
        return waitFor([this] { return !scanner.isRunning(); });
    }
    QStringList lines() const { return log.texts(); }
    QList<Write> writesTo(const QList<Write>& writes, int n) const {
        QList<Write> out;
        for (const Write& w : writes)
            if (w.device == dev(n)) out.append(w);
        return out;
    }
};

Device replyTo(const QByteArray& request, const QByteArray& reply) {
    return [request, reply](const QByteArray& w) { return w == request ? reply : QByteArray(); };
}

QStringList comNames(int from, int to) {
    QStringList l;
    for (int n = from; n <= to; ++n)
        l.append(QStringLiteral("COM%1").arg(n));
    return l;
}

} // namespace

TEST(PortScanPresence, TheLimitFileDecidesWhichPortsAreExamined) {
    const std::pair<const char*, int> cases[] = {
        {"8", 7}, {"0", 49}, {"100", 49}, {"abc", 49}, {"12\r\n20\r\n", 19}};
    for (const auto& [file, last] : cases) {
        tarn::test::TempHome home;
        home.write(folder::Work, QStringLiteral("Q_RS.000"), file);
        Bench b(readPortLimit(home.root()));
        // Every port exists and is busy: the presence pass lists them, each probe ends at once.
        for (int n = 1; n <= 99; ++n) {
            b.com.existing.insert(Bench::dev(n));
            b.com.failingOpen.insert(Bench::dev(n));
        }
        ASSERT_TRUE(b.run(ScanMode::Modem)) << file;
        const QStringList l = b.lines();
        ASSERT_GE(l.size(), last + 2);
        EXPECT_EQ(l.mid(1, last), comNames(1, last)) << file;
        EXPECT_EQ(l.at(last + 1), scanText(ScanText::StartModem, kRussian)) << file;
        EXPECT_EQ(l.count(QStringLiteral("порт занят - COM%1").arg(last)), 1) << file;
        EXPECT_FALSE(l.contains(QStringLiteral("порт занят - COM%1").arg(last + 1))) << file;
        EXPECT_EQ(l.last(), QStringLiteral("стоп!!!"));
    }
}

TEST(PortScanPresence, NoPresentPortEndsRightAfterTheStartLine) {
    for (int limit : {1, 8}) {
        Bench b(limit);
        ASSERT_TRUE(b.run(ScanMode::Corrector));
        EXPECT_EQ(b.lines(), (QStringList{QStringLiteral("контроль рабочих портов RS-232"),
                                          QStringLiteral("*Старт контроль соединения - \"корректор\""),
                                          QStringLiteral("стоп!!!")}));
        EXPECT_EQ(b.log.entries().at(1).colour, LogColour::Green);
        EXPECT_TRUE(b.comWrites.isEmpty());
    }
}

TEST(PortScanCorrector, OnlyTheFirstCorrectorIsReportedAndCom5IsNeverProbed) {
    Bench b;
    b.present({2, 3, 5});
    const QByteArray reply = identificationReply("Tarn-NM 4.12 N01234");
    b.answer(3, replyTo(hex("02 00 20 DD"), reply));
    b.answer(5, replyTo(hex("02 00 20 DD"), reply));
    b.scanner.setSpeedText(QStringLiteral("19200"));
    ASSERT_TRUE(b.run(ScanMode::Corrector));

    const QStringList l = b.lines();
    ASSERT_EQ(l.size(), 11) << l.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(l.mid(1, 3), comNames(2, 3) << QStringLiteral("COM5"));
    EXPECT_EQ(l.at(5), QStringLiteral("контроль-COM2"));
    EXPECT_EQ(l.at(6), QStringLiteral("корректора нет - COM2"));
    EXPECT_EQ(l.at(7), QStringLiteral("контроль-COM3"));
    EXPECT_EQ(l.at(8), QStringLiteral("корректор \"ТАРН-НM\" ->") + printableText(reply));
    EXPECT_TRUE(l.at(8).contains(QStringLiteral("->Tarn-NM 4.12 N01234 ")));
    EXPECT_EQ(l.at(9), QStringLiteral("коppектор подключен к порту -COM3"));
    EXPECT_EQ(l.at(10), QStringLiteral("стоп!!!"));
    EXPECT_EQ(b.log.entries().at(8).colour, LogColour::Blue);
    EXPECT_EQ(b.log.entries().at(9).colour, LogColour::Blue);
    EXPECT_EQ(b.log.entries().at(10).colour, LogColour::Black);
    EXPECT_EQ(b.scanner.foundPorts(), QList<int>{3});

    // A silent corrector port gets the request and its two repeats; COM5 nothing.
    const auto com2 = b.writesTo(b.comWrites, 2);
    ASSERT_EQ(com2.size(), 3);
    for (const auto& w : com2)
        EXPECT_EQ(w.bytes, hex("02 00 20 DD"));
    EXPECT_TRUE(b.writesTo(b.comWrites, 5).isEmpty());
    EXPECT_EQ(b.com.baud, 19200);
    EXPECT_FALSE(b.com.dtr);
    EXPECT_TRUE(b.com.rts);
}

TEST(PortScanCorrector, RepliesThatAreRefusedAndABusyPort) {
    Bench b;
    b.present({2, 3, 4, 5, 6});
    b.answer(2, replyTo(hex("02 00 20 DD"), identificationReply("Tarn-NM 4.12", '\x00', 33))); // 35 bytes
    b.answer(3, replyTo(hex("02 00 20 DD"), identificationReply("another device 1.0")));
    b.answer(4, replyTo(hex("02 00 20 DD"), hex("FF") + identificationReply("Tarn-NM 4.12")));
    b.com.failingOpen.insert(Bench::dev(5));
    b.answer(6, replyTo(hex("02 00 20 DD"), identificationReply("QUON-2 3.05")));
    ASSERT_TRUE(b.run(ScanMode::Corrector));
    const QStringList l = b.lines();
    for (int n : {2, 3, 4})
        EXPECT_TRUE(l.contains(QStringLiteral("корректора нет - COM%1").arg(n))) << n;
    const qsizetype busy = l.indexOf(QStringLiteral("порт занят - COM5"));
    ASSERT_GE(busy, 0);
    EXPECT_EQ(b.log.entries().at(busy).colour, LogColour::Red);
    EXPECT_TRUE(l.at(l.size() - 3).startsWith(QStringLiteral("корректор \"ТАРН/КВОН\" ->QUON-2 3.05")));
    EXPECT_EQ(l.at(l.size() - 2), QStringLiteral("коppектор подключен к порту -COM6"));
}

TEST(PortScanModem, EveryModemIsListedAndOneWithoutIdentificationAlsoEndsAsNoModem) {
    Bench b;
    b.present({2, 3, 4});
    b.answer(2, [](const QByteArray& w) -> QByteArray {
        if (w == "AT&F\r") return "AT&F\r\r\nOK\r\n";
        if (w == "ATI0\r\r") return "ATI0\r\r\nFake modem 33600\r\n\r\nOK\r\n\r";
        return {};
    });
    b.answer(3, replyTo("AT&F\r", "AT&F\r\r\nOK\r\n"));
    b.scanner.setLanguage(kEnglish);
    ASSERT_TRUE(b.run(ScanMode::Modem));
    const QStringList l = b.lines();
    const QStringList probes = l.mid(l.indexOf(QStringLiteral("*Start connection control - \"modem\"")) + 1);
    EXPECT_EQ(probes, (QStringList{QStringLiteral("control-COM2"), QStringLiteral("modem port - COM2"),
                                   QStringLiteral("ATI0Fake modem 33600OK"), QStringLiteral("control-COM3"),
                                   QStringLiteral("modem port - COM3"), QStringLiteral("no modem - COM3"),
                                   QStringLiteral("control-COM4"), QStringLiteral("no modem - COM4"),
                                   QStringLiteral("stop!!!")}));
    EXPECT_EQ(b.scanner.foundPorts(), (QList<int>{2, 3}));
    const auto com2 = b.writesTo(b.comWrites, 2);
    ASSERT_EQ(com2.size(), 2);
    EXPECT_EQ(com2.at(0).bytes, QByteArray("AT&F\r"));
    EXPECT_EQ(com2.at(1).bytes, QByteArray("ATI0\r\r"));
    EXPECT_EQ(b.writesTo(b.comWrites, 4).size(), 1);
}

TEST(PortScanUnit, ASilentPortGetsFourRequestsThenItsVerdict) {
    Bench b;
    b.present({2, 3});
    QByteArray data(kUnitDataLength, '\x33');
    data += unitCrcBytes(data);
    b.answer(3, replyTo(hex("80 00 9F 8F"), data));
    ASSERT_TRUE(b.run(ScanMode::Unit2mb));
    const auto com2 = b.writesTo(b.unitWrites, 2);
    ASSERT_EQ(com2.size(), 4);
    const ScanTimings t = fastTimings();
    for (qsizetype i = 0; i < com2.size(); ++i) {
        EXPECT_EQ(com2.at(i).bytes, hex("80 00 9F 8F"));
        // Each request waits its reply time-out, then the port is reopened after its pause.
        if (i > 0) {
            EXPECT_GE(com2.at(i).atMs - com2.at(i - 1).atMs, t.unitReplyTimeoutMs + t.unitReopenPauseMs - 2);
        }
    }
    const QStringList l = b.lines();
    const QStringList probes =
        l.mid(l.indexOf(QStringLiteral("*Старт контроль соединения - \"USB-DTU-2MB\"")) + 1);
    EXPECT_EQ(probes,
              (QStringList{QStringLiteral("контроль-COM2"), QStringLiteral("DTU-2MB нет - COM2"),
                           QStringLiteral("контроль-COM3"),
                           QStringLiteral("DTU-2MB подключена к порту -COM3"), QStringLiteral("стоп!!!")}));
    EXPECT_EQ(b.unit.baud, kUnitBaud);
    EXPECT_EQ(b.scanner.state().unitData, data);
    EXPECT_TRUE(b.com.writes.isEmpty()); // the unit has its own driver
}

TEST(PortScanUnit, AShortReplyOrAPortThatFailsEndsWithItsVerdict) {
    Bench b;
    b.present({2, 3, 4, 5});
    b.answer(2, replyTo(hex("80 00 9F 8F"), hex("80 00 9F 8F"))); // the short reply
    b.unit.failingOpen.insert(Bench::dev(3));
    b.unit.existing.remove(Bench::dev(4)); // gone after the presence pass
    QByteArray data(kUnitDataLength, '\x44');
    data += unitCrcBytes(data);
    b.answer(5, replyTo(hex("80 00 9F 8F"), data));
    ASSERT_TRUE(b.run(ScanMode::Unit2mb));
    const QStringList l = b.lines();
    for (int n : {2, 3, 4})
        EXPECT_TRUE(l.contains(QStringLiteral("DTU-2MB нет - COM%1").arg(n))) << n;
    EXPECT_EQ(l.at(l.size() - 2), QStringLiteral("DTU-2MB подключена к порту -COM5"));
    EXPECT_EQ(b.writesTo(b.unitWrites, 2).size(), 1); // no repeats after the short reply
    EXPECT_TRUE(b.writesTo(b.unitWrites, 3).isEmpty());
    EXPECT_TRUE(b.writesTo(b.unitWrites, 4).isEmpty());
}

TEST(PortScanUnit, AFailedWriteEndsThePort) {
    Bench b;
    b.present({2});
    b.unit.failWrites = true;
    ASSERT_TRUE(b.run(ScanMode::Unit2mb));
    const QStringList l = b.lines();
    EXPECT_EQ(l.mid(l.size() - 2),
              (QStringList{QStringLiteral("DTU-2MB нет - COM2"), QStringLiteral("стоп!!!")}));
}

TEST(PortScanStop, StopIsLoggedInRedAndNothingIsSentAfterIt) {
    Bench b;
    b.present({2, 3});
    ScanTimings t = fastTimings();
    t.unitReplyTimeoutMs = 60;
    b.scanner.setTimings(t);
    b.scanner.setMode(ScanMode::Unit2mb);
    QList<bool> shown;
    QObject::connect(&b.scanner, &PortScanner::progressShown, [&](bool v) { shown.append(v); });
    b.scanner.start();
    ASSERT_TRUE(waitFor([&] { return !b.unitWrites.isEmpty(); }));
    b.scanner.stop();
    const qsizetype sent = b.unitWrites.size();
    // Nothing is left to send anything later: no step of the scan is due.
    EXPECT_FALSE(b.scanner.stepPending());
    ::tarn::test::runPending();
    EXPECT_EQ(b.unitWrites.size(), sent);
    EXPECT_FALSE(b.scanner.isRunning());
    EXPECT_EQ(b.lines().last(), QStringLiteral("стоп!!!"));
    EXPECT_EQ(b.log.entries().last().colour, LogColour::Red);
    EXPECT_TRUE(b.unit.isOpen()); // the open port stays open
    EXPECT_EQ(shown, QList<bool>{true});

    // A new start begins again from the presence pass.
    b.log.clear();
    b.scanner.start();
    ASSERT_TRUE(waitFor([&] { return b.lines().size() >= 3; }));
    EXPECT_EQ(b.lines().mid(0, 3), (QStringList{QStringLiteral("контроль рабочих портов RS-232"),
                                                QStringLiteral("COM2"), QStringLiteral("COM3")}));
    b.scanner.halt();
}
