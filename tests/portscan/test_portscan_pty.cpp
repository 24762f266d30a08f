// The scan against simulated devices on pseudo-terminals, mapped as COM ports through Work/PortMap.000,
// with the real serial driver; and the simulator's modem, adapter and 2 MB unit roles themselves.
#include "AdapterRole.h"
#include "CorrectorRole.h"
#include "Dtu2mbRole.h"
#include "ModemRole.h"
#include "Presets.h"
#include "ScanTestSupport.h"
#include "ScriptedRole.h"
#include "SimLine.h"
#include "common/Language.h"
#include "common/TextFile.h"
#include "link/FakeSerialPort.h"
#include "link/QtSerialPort.h"
#include "portscan/Crc16Modbus.h"
#include "portscan/ModemResult.h"
#include "portscan/Probes.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <map>

using namespace tarn;
using namespace tarn::portscan;
using portscan::test::fastTimings;
using portscan::test::identificationReply;
using portscan::test::waitFor;
using tarn::test::hex;

namespace {

// Simulated devices on pseudo-terminals, each linked as <home>/COMn; the other ports map to paths that
// do not exist, so no real serial port of the machine is touched.
struct PtyBench {
    tarn::test::TempHome home;
    std::map<int, std::unique_ptr<sim::PtyLine>> lines;
    link::QtSerialPort com;
    link::QtSerialPort unit;
    ScanLog log;
    PortScanner scanner{com, unit, log};
    int limit;

    explicit PtyBench(int portLimit) : limit(portLimit) {
        home.write(folder::Work, QStringLiteral("Q_RS.000"), QByteArray::number(portLimit) + "\r\n");
        scanner.setTimings(fastTimings(10));
        scanner.setLanguage(kRussian);
    }
    QString linkPath(int n) const { return home.root().root() + QStringLiteral("/COM%1").arg(n); }
    template <class R> R& add(int n, std::unique_ptr<R> role) {
        auto& line = lines[n];
        if (!line) {
            line = std::make_unique<sim::PtyLine>();
            QString error;
            EXPECT_TRUE(line->open(error) && line->makeLink(linkPath(n), error)) << error.toStdString();
        }
        R& r = *role;
        line->addRole(std::move(role));
        return r;
    }
    sim::ScriptedRole& scripted(int n, const QByteArray& request, const QByteArray& reply) {
        sim::ScriptedRole::Entry e;
        e.request = request;
        e.reply = reply;
        return add(n, std::make_unique<sim::ScriptedRole>(std::vector<sim::ScriptedRole::Entry>{e}));
    }
    // The speed of the device's line when the scan logs the given line (its port is open then).
    void watchBaud(int n, const QString& line, int& baud) {
        QObject::connect(&log, &ScanLog::lineAdded, [this, n, line, &baud](const LogEntry& e) {
            if (e.text == line) baud = lines[n]->programBaud();
        });
    }
    bool run(ScanMode mode) {
        QStringList map;
        for (int n = 1; n < limit; ++n)
            map.append(
                QStringLiteral("COM%1 ").arg(n) +
                (lines.count(n) ? linkPath(n) : home.root().root() + QStringLiteral("/absent%1").arg(n)));
        writeTextLines(home.path(folder::Work, link::PortMap::fileName()), map);
        scanner.setPortMap(link::PortMap::load(home.root()));
        scanner.setPortLimit(readPortLimit(home.root()));
        scanner.setMode(mode);
        scanner.start();
        return waitFor([this] { return !scanner.isRunning(); }, 10000);
    }
};

} // namespace

TEST(PortScanPty, CorrectorsOnCom3AndCom5OnlyCom3IsReported) {
    PtyBench b(6);
    const QByteArray reply = identificationReply("Tarn-NM 4.12 N01234");
    auto& com3 = b.scripted(3, hex("02 00 20 DD"), reply);
    auto& com5 = b.scripted(5, hex("02 00 20 DD"), reply);
    b.scanner.setSpeedText(QStringLiteral("19200"));
    int baud = 0;
    b.watchBaud(3, QStringLiteral("контроль-COM3"), baud);
    ASSERT_TRUE(b.run(ScanMode::Corrector));
    EXPECT_EQ(baud, 19200);
    const QStringList l = b.log.texts();
    EXPECT_EQ(l.mid(1, 2), (QStringList{QStringLiteral("COM3"), QStringLiteral("COM5")}));
    EXPECT_EQ(l.mid(l.size() - 4),
              (QStringList{QStringLiteral("контроль-COM3"),
                           QStringLiteral("корректор \"ТАРН-НM\" ->") + printableText(reply),
                           QStringLiteral("коppектор подключен к порту -COM3"), QStringLiteral("стоп!!!")}));
    EXPECT_GE(com3.answered(), 1);
    EXPECT_EQ(com5.answered(), 0);
    EXPECT_FALSE(l.contains(QStringLiteral("контроль-COM5")));
}

TEST(PortScanPty, RepliesOfTheWrongLengthOrWithoutTheNamesAreRefused) {
    PtyBench b(4);
    b.scripted(2, hex("02 00 20 DD"), identificationReply("Tarn-NM 4.12", '\x00', 33)); // 35 bytes
    b.scripted(3, hex("02 00 20 DD"), identificationReply("another device 1.0"));       // 34 bytes
    ASSERT_TRUE(b.run(ScanMode::Corrector));
    const QStringList l = b.log.texts();
    EXPECT_EQ(l.mid(l.size() - 5),
              (QStringList{QStringLiteral("контроль-COM2"), QStringLiteral("корректора нет - COM2"),
                           QStringLiteral("контроль-COM3"), QStringLiteral("корректора нет - COM3"),
                           QStringLiteral("стоп!!!")}));
}

TEST(PortScanPty, TheAdapterIsFoundAndACorrectorsReplyRefused) {
    PtyBench b(4);
    b.scripted(2, hex("00 00 20 DF"), identificationReply("1QUON-2 3.05"));
    auto& adapter = b.add(3, std::make_unique<sim::AdapterRole>("USB-DTU adapter 2.1", 0, 5));
    b.scanner.setSpeedText(QStringLiteral("19200")); // not for the adapter
    int baud = 0;
    b.watchBaud(3, QStringLiteral("контроль-COM3"), baud);
    ASSERT_TRUE(b.run(ScanMode::UsbAdapter));
    EXPECT_EQ(baud, 115200);
    const QStringList l = b.log.texts();
    EXPECT_TRUE(l.contains(QStringLiteral("адаптер USB-DTU нет - COM2")));
    EXPECT_EQ(l.mid(l.size() - 3), (QStringList{printableText(adapter.reply()),
                                                QStringLiteral("адаптер USB-DTU подключен к порту -COM3"),
                                                QStringLiteral("стоп!!!")}));
}

TEST(PortScanPty, EveryModemIsReportedWithItsIdentification) {
    PtyBench b(6);
    b.add(2, std::make_unique<sim::ModemRole>("V.92 modem A", sim::ModemRole::Profile{}, QStringList{},
                                              QStringLiteral("NO CARRIER"), 5));
    b.add(3, std::make_unique<sim::ModemRole>("modem C", sim::ModemRole::Profile{}, QStringList{"ATI0"},
                                              QStringLiteral("NO CARRIER"), 5));
    b.add(4, std::make_unique<sim::ModemRole>("GSM modem B", sim::ModemRole::Profile{}, QStringList{},
                                              QStringLiteral("NO CARRIER"), 5));
    ASSERT_TRUE(b.run(ScanMode::Modem));
    const QStringList l = b.log.texts();
    const QStringList probes = l.mid(l.indexOf(QStringLiteral("*Старт контроль соединения - \"модем\"")) + 1);
    EXPECT_EQ(probes, (QStringList{QStringLiteral("контроль-COM2"), QStringLiteral("модем порт - COM2"),
                                   QStringLiteral("ATI0V.92 modem AOK"), QStringLiteral("контроль-COM3"),
                                   QStringLiteral("модем порт - COM3"), QStringLiteral("модема нет - COM3"),
                                   QStringLiteral("контроль-COM4"), QStringLiteral("модем порт - COM4"),
                                   QStringLiteral("ATI0GSM modem BOK"), QStringLiteral("стоп!!!")}));
    EXPECT_EQ(b.scanner.foundPorts(), (QList<int>{2, 3, 4}));
}

TEST(PortScanPty, TheUnitAt921000AfterASilentAndAShortPort) {
    PtyBench b(5);
    auto& silent = b.add(2, std::make_unique<sim::Dtu2mbRole>(sim::Dtu2mbRole::Reply::Silent, "", 5));
    auto& shortOnly = b.add(3, std::make_unique<sim::Dtu2mbRole>(sim::Dtu2mbRole::Reply::Short, "", 5));
    auto& unit = b.add(4, std::make_unique<sim::Dtu2mbRole>(sim::Dtu2mbRole::Reply::Data, "DTU-2MB 1.0", 5));
    ASSERT_TRUE(b.run(ScanMode::Unit2mb));
    const QStringList l = b.log.texts();
    const QStringList probes =
        l.mid(l.indexOf(QStringLiteral("*Старт контроль соединения - \"USB-DTU-2MB\"")) + 1);
    EXPECT_EQ(probes,
              (QStringList{QStringLiteral("контроль-COM2"), QStringLiteral("DTU-2MB нет - COM2"),
                           QStringLiteral("контроль-COM3"), QStringLiteral("DTU-2MB нет - COM3"),
                           QStringLiteral("контроль-COM4"),
                           QStringLiteral("DTU-2MB подключена к порту -COM4"), QStringLiteral("стоп!!!")}));
    EXPECT_EQ(silent.requests(), 4);
    // A port that answers is asked again only when its answer comes after the scanner's reply time (a
    // simulator slowed down by the sanitizers): never more often than the silent one.
    EXPECT_GE(shortOnly.requests(), 1);
    EXPECT_LE(shortOnly.requests(), silent.requests());
    EXPECT_GE(unit.requests(), 1);
    EXPECT_LE(unit.requests(), silent.requests());
    EXPECT_EQ(b.scanner.state().unitData, sim::Dtu2mbRole::closeFrame(unit.page(0)));
}

// ---- the roles ----------------------------------------------------------------------------------------

namespace {

// A role on an in-process line; answer() writes and collects what comes back.
struct RoleBench {
    link::FakeSerialPort port;
    sim::InProcessLine line{port};
    QByteArray got;
    RoleBench() {
        port.existing = {QStringLiteral("fake")};
        port.open(QStringLiteral("fake"));
        QObject::connect(&port, &link::SerialPort::received, [this](const QByteArray& b) { got += b; });
    }
    QByteArray answer(const QByteArray& request, qsizetype atLeast) {
        got.clear();
        port.write(request);
        // Then a little longer: nothing more is to come.
        if (atLeast > 0) waitFor([&] { return got.size() >= atLeast; }, 2000);
        portscan::test::spin(atLeast > 0 ? 15 : 40);
        return got;
    }
};

} // namespace

TEST(SimModemRole, EchoVerboseAndNumericResultCodes) {
    RoleBench b;
    b.line.addRole(std::make_unique<sim::ModemRole>("Sim modem 1", sim::ModemRole::Profile{}, QStringList{},
                                                    QStringLiteral("NO CARRIER"), 1));
    EXPECT_EQ(b.answer("AT&F\r", 11), QByteArray("AT&F\r\r\nOK\r\n"));
    EXPECT_EQ(ModemResult(b.got), kModemOk);
    EXPECT_EQ(b.answer("ATI0\r", 23), QByteArray("ATI0\r\r\nSim modem 1\r\n\r\nOK\r\n"));
    EXPECT_EQ(b.answer("ATD1234\r", 22), QByteArray("ATD1234\r\r\nNO CARRIER\r\n"));
    EXPECT_EQ(ModemResult(b.got), 4);
    EXPECT_EQ(b.answer("ATV0\r", 7), QByteArray("ATV0\r0\r"));
    EXPECT_EQ(b.answer("ATD1234\r", 10), QByteArray("ATD1234\r3\r"));
    EXPECT_EQ(b.answer("ATY\r", 6), QByteArray("ATY\r4\r"));
    EXPECT_EQ(b.answer("ATE0 V1\r", 14), QByteArray("ATE0 V1\r\r\nOK\r\n"));
    EXPECT_EQ(b.answer("AT\r", 6), QByteArray("\r\nOK\r\n")); // no echo now
    EXPECT_EQ(b.answer("hello\r", 0), QByteArray());          // not a command
    EXPECT_EQ(b.answer("ATZ\r", 6), QByteArray("\r\nOK\r\n"));
    EXPECT_EQ(b.answer("AT\r", 9), QByteArray("AT\r\r\nOK\r\n")); // the factory profile again
}

TEST(SimModemRole, ANumericFactoryProfileAndSilentCommands) {
    RoleBench b;
    sim::ModemRole::Profile numeric;
    numeric.verbose = false;
    numeric.echo = false;
    b.line.addRole(
        std::make_unique<sim::ModemRole>("N", numeric, QStringList{"ATI0"}, QStringLiteral("BUSY"), 1));
    EXPECT_EQ(b.answer("AT&F\r", 2), QByteArray("0\r"));
    EXPECT_EQ(b.answer("ATI0\r\r", 0), QByteArray());
    EXPECT_EQ(b.answer("ATDT5\r", 2), QByteArray("7\r"));

    std::vector<std::unique_ptr<sim::Role>> roles;
    QString error;
    EXPECT_FALSE(loadScenarioJson(R"({"role": "modem", "dial": "HELLO"})", roles, error));
    EXPECT_TRUE(loadScenarioJson(R"({"devices": [{"role": "modem", "info": "x"}, {"role": "adapter"},
                                 {"role": "dtu2mb", "reply": "short"}]})",
                                 roles, error))
        << error.toStdString();
    EXPECT_EQ(roles.size(), 3u);
    EXPECT_FALSE(loadScenarioJson(R"({"role": "dtu2mb", "reply": "maybe"})", roles, error));
}

TEST(SimAdapterAndUnitRoles, TheirRepliesPassTheScannersTests) {
    RoleBench adapter;
    adapter.line.addRole(std::make_unique<sim::AdapterRole>("USB-DTU 2.1", 0, 1));
    const QByteArray reply = adapter.answer(hex("00 00 20 DF"), 34);
    EXPECT_EQ(reply.size(), 34);
    EXPECT_TRUE(adapterReplyAccepted(reply));
    EXPECT_TRUE(adapter.answer(hex("02 00 20 DD"), 0).isEmpty()); // a corrector's request is not for it

    // The unit's own CRC against the scanner's table-driven one.
    EXPECT_EQ(sim::Dtu2mbRole::crc("123456789"), crc16Modbus("123456789"));
    RoleBench unit;
    auto role = std::make_unique<sim::Dtu2mbRole>(sim::Dtu2mbRole::Reply::Data, "DTU-2MB 1.0", 1);
    sim::Dtu2mbRole& dtu = *role;
    unit.line.addRole(std::move(role));
    const QByteArray data = unit.answer(hex("80 00 9F 8F"), 528);
    EXPECT_EQ(unitReplyKind(data), UnitReply::Data);
    EXPECT_EQ(unitReplyKind(data.left(4)), UnitReply::None); // its start is not the short reply
    EXPECT_TRUE(data.startsWith("DTU-2MB 1.0"));
    EXPECT_EQ(unit.answer(hex("80 01") + unitCrcBytes(hex("80 01")), 528).left(526), dtu.page(1));
    EXPECT_TRUE(unit.answer(hex("80 00 8F 9F"), 0).isEmpty()); // a wrong CRC
    EXPECT_EQ(dtu.requests(), 2);

    RoleBench shortUnit;
    shortUnit.line.addRole(std::make_unique<sim::Dtu2mbRole>(sim::Dtu2mbRole::Reply::Short, "", 1));
    EXPECT_EQ(unitReplyKind(shortUnit.answer(hex("80 00 9F 8F"), 4)), UnitReply::Short);
}

// Every corrector the simulator plays answers the scanner's identification request with a text the
// scanner's rule accepts, as a real corrector does: the newer ones by "Tarn", the older by "QUON".
TEST(PortScanPty, EveryPresetCorrectorIsKnownByTheScannersRule) {
    for (const sim::PresetInfo& p : sim::presets()) {
        RoleBench b;
        QString error;
        auto role = sim::CorrectorRole::fromJson(
            QJsonObject{{QStringLiteral("preset"), QString::fromLatin1(p.name)}}, error);
        ASSERT_TRUE(role) << p.name << error.toStdString();
        b.line.addRole(std::move(role));
        const QByteArray reply = b.answer(correctorRequest(), kIdentificationReplyLength);
        ASSERT_EQ(reply.size(), kIdentificationReplyLength) << p.name;
        const CorrectorKind expected =
            QByteArray(p.name).startsWith("old") ? CorrectorKind::TarnQuon : CorrectorKind::TarnNm;
        EXPECT_EQ(correctorReplyKind(reply), expected) << p.name << " " << reply.toStdString();
    }
}

// The scan finds a simulated corrector on its pseudo-terminal, the one it would find on a real port.
TEST(PortScanPty, TheScanFindsTheSimulatedCorrector) {
    PtyBench b(4);
    QString error;
    b.add(3, sim::CorrectorRole::fromJson(QJsonObject{{QStringLiteral("preset"), QStringLiteral("series2")}},
                                          error));
    ASSERT_TRUE(b.run(ScanMode::Corrector));
    EXPECT_EQ(b.scanner.foundPorts(), QList<int>{3});
    const QStringList l = b.log.texts();
    ASSERT_GE(l.size(), 3);
    EXPECT_TRUE(l.at(l.size() - 3).startsWith(QStringLiteral("корректор \"ТАРН-НM\" ->T Tarn-NM  T46a")))
        << l.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(l.mid(l.size() - 2),
              (QStringList{QStringLiteral("коppектор подключен к порту -COM3"), QStringLiteral("стоп!!!")}));
}
