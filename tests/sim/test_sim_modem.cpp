// The simulator's modem in front of correctors: commands and result codes, dial outcomes, data mode, the
// escape with its guard time, hanging up from either end and the call log.
#include "ModemRole.h"
#include "SimLine.h"
#include "link/FakeSerialPort.h"
#include "link/FrameChecksum.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::sim;

namespace {

// Short guard and dial times, so that nothing waits for real seconds.
constexpr const char* kScenario = R"({"role": "modem", "info": "Sim modem", "guardMs": 50,
    "connectDelayMs": 20, "delayMs": 1, "callLog": "%1",
    "numbers": {"5551234": {"corrector": {"serial": 4000, "identification": "V Tarn-sim r44s"}},
                "555 0000": {"outcome": "BUSY"}, "5559999": {"outcome": "silence"},
                "5556666": {"outcome": "NO DIALTONE"},
                "5557777": {"outcome": "CONNECT", "remoteHangupAfterMs": 300,
                            "corrector": {"devices": [{"address": 2, "serial": 77, "identification": "far"}]}}}})";

// The identification request to the corrector at address 1, closed by the link's check byte.
const QByteArray kIdentify = link::withFrameChecksum(QByteArray::fromHex("020020"));

struct ModemBench {
    QTemporaryDir dir;
    link::FakeSerialPort port;
    InProcessLine line{port};
    ModemRole* modem = nullptr;
    QByteArray got;
    QStringList reports;

    ModemBench() {
        port.existing = {QStringLiteral("fake")};
        port.open(QStringLiteral("fake"));
        QObject::connect(&port, &link::SerialPort::received, [this](const QByteArray& b) { got += b; });
        line.onReport = [this](const QString& text) { reports.append(text); };
        std::vector<std::unique_ptr<Role>> roles;
        QString error;
        const QString json = QString::fromUtf8(kScenario).arg(callLogPath());
        if (!loadScenarioJson(json.toUtf8(), roles, error)) ADD_FAILURE() << error.toStdString();
        modem = dynamic_cast<ModemRole*>(roles.front().get());
        line.addRole(std::move(roles.front()));
    }
    QString callLogPath() const { return dir.filePath(QStringLiteral("calls.jsonl")); }
    // Writes the bytes and checks that exactly `expected` comes back (then nothing more for a moment).
    testing::AssertionResult answers(const QByteArray& bytes, const QByteArray& expected) {
        got.clear();
        port.write(bytes);
        test::waitUntil([&] { return got.size() >= expected.size(); }, 2000);
        test::waitUntil([] { return false; }, 15);
        if (got == expected) return testing::AssertionSuccess();
        return testing::AssertionFailure()
               << printable(bytes) << " got " << printable(got) << ", not " << printable(expected);
    }
    // Writes the bytes and collects what comes back, at least `size` bytes.
    QByteArray collect(const QByteArray& bytes, qsizetype size) {
        got.clear();
        port.write(bytes);
        test::waitUntil([&] { return got.size() >= size; }, 2000);
        return got;
    }
    static std::string printable(const QByteArray& bytes) {
        return QByteArray(bytes).replace('\r', "\\r").replace('\n', "\\n").toStdString();
    }
    // Lets the guard time pass with nothing on the line.
    void quiet() {
        test::waitUntil([] { return false; }, 70);
    }
    std::vector<QJsonObject> callLog() const {
        QFile f(callLogPath());
        std::vector<QJsonObject> events;
        if (!f.open(QIODevice::ReadOnly)) return events;
        for (const QByteArray& l : f.readAll().split('\n'))
            if (!l.isEmpty()) events.push_back(QJsonDocument::fromJson(l).object());
        return events;
    }
};

QString text(const QJsonObject& o, const char* key) {
    return o.value(QLatin1String(key)).toString();
}

} // namespace

TEST(SimModem, SeveralCommandsOnALineEchoAndBothKindsOfResults) {
    ModemBench b;
    EXPECT_TRUE(b.answers("AT&FE0S0=0\r", "AT&FE0S0=0\r\r\nOK\r\n")); // echoed before E0 took effect
    EXPECT_TRUE(b.answers("at\r", "\r\nOK\r\n"));
    EXPECT_TRUE(b.answers("ATV0\r", "0\r"));
    EXPECT_TRUE(b.answers("ATY\r", "4\r"));
    EXPECT_TRUE(b.answers("ATDT5556666\r\n", "6\r"));
    EXPECT_TRUE(b.answers("ATH0\r", "0\r"));                            // no call: just OK
    EXPECT_TRUE(b.answers("ATE1V1I\r", "\r\nSim modem\r\n\r\nOK\r\n")); // typed while echo was off
    EXPECT_TRUE(b.answers("ATQ1\r", "ATQ1\r"));
    EXPECT_TRUE(b.answers("ATZ\r", "ATZ\r\r\nOK\r\n"));
}

TEST(SimModem, DialOutcomesFromTheNumberTable) {
    ModemBench b;
    EXPECT_TRUE(b.answers("ATDP 555-0000\r", "ATDP 555-0000\r\r\nBUSY\r\n"));
    EXPECT_TRUE(b.answers("ATDP5559999\r", "ATDP5559999\r")); // silence
    EXPECT_EQ(b.modem->mode(), ModemRole::Mode::Command);
    EXPECT_TRUE(b.answers("ATD123\r", "ATD123\r\r\nNO CARRIER\r\n"));
    // A key pressed while the modem dials gives the attempt up.
    b.got.clear();
    b.port.write("ATDP5551234\r");
    b.port.write("x");
    EXPECT_TRUE(test::waitUntil([&] { return b.got.endsWith("\r\nNO CARRIER\r\n"); }));
    EXPECT_FALSE(b.modem->callUp());

    EXPECT_TRUE(b.answers("ATDP5551234\r\n", "ATDP5551234\r\r\nCONNECT 9600\r\n"));
    EXPECT_EQ(b.modem->mode(), ModemRole::Mode::Data);
    const auto log = b.callLog();
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(text(log[0], "outcome"), QStringLiteral("BUSY"));
    EXPECT_EQ(text(log[0], "number"), QStringLiteral("5550000"));
    EXPECT_EQ(text(log[2], "outcome"), QStringLiteral("NO CARRIER")); // a number nobody listed
    EXPECT_EQ(text(log[5], "event"), QStringLiteral("connected"));
    EXPECT_EQ(b.reports.size(), 6);
    EXPECT_TRUE(b.reports.last().startsWith(QStringLiteral("call {")));
}

TEST(SimModem, DataModeReachesTheCorrectorAndTheEscapeNeedsItsGuardTime) {
    ModemBench b;
    EXPECT_TRUE(b.answers("ATE0V0DP5551234\r", "ATE0V0DP5551234\r1\r"));
    // The corrector's identification comes back as it sent it, with no echo from the modem.
    const QByteArray reply = b.collect(kIdentify, 34);
    ASSERT_EQ(reply.size(), 34);
    EXPECT_EQ(reply.at(0), 0);
    EXPECT_TRUE(reply.mid(1).startsWith("V Tarn-sim r44s"));
    EXPECT_EQ(static_cast<quint8>(reply.at(33)), link::frameChecksum(reply.left(33)));

    // "+++" right behind data, or followed by data within the guard, is data.
    b.got.clear();
    b.port.write(kIdentify + "+++");
    b.quiet();
    EXPECT_EQ(b.modem->mode(), ModemRole::Mode::Data);
    b.port.write("+++");
    b.port.write("A");
    b.quiet();
    EXPECT_EQ(b.modem->mode(), ModemRole::Mode::Data);

    // With the guard before and after: command mode, the call still up.
    EXPECT_TRUE(b.answers("+++", "0\r"));
    EXPECT_EQ(b.modem->mode(), ModemRole::Mode::Command);
    EXPECT_TRUE(b.modem->callUp());
    EXPECT_TRUE(b.answers("ATO\r", "1\r"));
    EXPECT_EQ(b.collect(kIdentify, 34).size(), 34);
    EXPECT_EQ(b.modem->devicesBehind(QStringLiteral("5551234"))->front()->describe(),
              QStringLiteral("corrector at address 1, serial 4000"));
}

TEST(SimModem, HangingUpEndsTheCallAndTheLogHasItsSeconds) {
    ModemBench b;
    EXPECT_TRUE(b.answers("ATE0DP5551234\r", "ATE0DP5551234\r\r\nCONNECT 9600\r\n"));
    b.quiet();
    EXPECT_TRUE(b.answers("+++", "\r\nOK\r\n"));
    EXPECT_TRUE(b.answers("ATH0\r", "\r\nOK\r\n"));
    EXPECT_FALSE(b.modem->callUp());
    EXPECT_TRUE(b.answers(kIdentify, "")); // nobody behind the modem now
    EXPECT_TRUE(b.answers("ATO\r", "\r\nNO CARRIER\r\n"));

    const auto log = b.callLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(text(log[1], "event"), QStringLiteral("connected"));
    const QJsonObject& ended = log[2];
    EXPECT_EQ(text(ended, "event"), QStringLiteral("ended"));
    EXPECT_EQ(ended.value(QStringLiteral("call")).toInt(), log[1].value(QStringLiteral("call")).toInt());
    EXPECT_EQ(text(ended, "by"), QStringLiteral("ATH"));
    EXPECT_EQ(text(ended, "connectedAt"), text(log[1], "at"));
    // Connected for the guard before and after the escape at least, and well under a second here.
    const double seconds = ended.value(QStringLiteral("seconds")).toDouble();
    EXPECT_GE(seconds, 0.1);
    EXPECT_LT(seconds, 3.0);
}

TEST(SimModem, TheFarEndHangsUpWithNoCarrier) {
    ModemBench b;
    EXPECT_TRUE(b.answers("ATE0DP5557777\r", "ATE0DP5557777\r\r\nCONNECT 9600\r\n"));
    // The corrector behind this number has address 2: a request to address 1 gets silence.
    EXPECT_TRUE(b.answers(kIdentify, ""));
    b.got.clear();
    ASSERT_TRUE(test::waitUntil([&] { return b.got == "\r\nNO CARRIER\r\n"; }));
    EXPECT_EQ(b.modem->mode(), ModemRole::Mode::Command);
    EXPECT_FALSE(b.modem->callUp());
    const auto log = b.callLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(text(log[2], "by"), QStringLiteral("remote"));
    EXPECT_GE(log[2].value(QStringLiteral("seconds")).toDouble(), 0.29);
    EXPECT_TRUE(b.answers("AT\r", "\r\nOK\r\n"));
}

TEST(SimModem, ScenarioChecksAndTheShippedScenario) {
    std::vector<std::unique_ptr<Role>> roles;
    QString error;
    EXPECT_FALSE(
        loadScenarioJson(R"({"role": "modem", "numbers": {"1": {"outcome": "LATER"}}})", roles, error));
    EXPECT_TRUE(error.contains(QStringLiteral("outcome")));
    EXPECT_FALSE(loadScenarioJson(
        R"({"role": "modem", "numbers": {"1": {"corrector": {"role": "toaster"}}}})", roles, error));
    EXPECT_FALSE(loadScenarioJson(R"({"role": "modem", "numbers": {"1 2": {}, "12": {}}})", roles, error));
    EXPECT_FALSE(loadScenarioJson(R"({"role": "modem", "callLog": "/nonexistent/dir/calls"})", roles, error));

    const QString shipped = QStringLiteral(TARN_SOURCE_DIR "/tools/corrector-sim/scenarios/modem.json");
    ASSERT_TRUE(loadScenario(shipped, roles, error)) << error.toStdString();
    const auto* modem = dynamic_cast<const ModemRole*>(roles.back().get());
    ASSERT_NE(modem, nullptr);
    ASSERT_NE(modem->devicesBehind(QStringLiteral("5551234")), nullptr);
    EXPECT_EQ(modem->devicesBehind(QStringLiteral("5551234"))->size(), 1u);
    EXPECT_NE(modem->devicesBehind(QStringLiteral("5550000")), nullptr);
    EXPECT_NE(modem->devicesBehind(QStringLiteral("5559999")), nullptr);
}
