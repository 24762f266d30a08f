#include "ScriptedRole.h"
#include "SimLine.h"
#include "common/Clock.h"
#include "link/FakeSerialPort.h"
#include "link/QtSerialPort.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::sim;

namespace {

std::unique_ptr<Role> scripted(const char* request, const char* reply, std::vector<int> chunks = {},
                               int chunkMs = 0) {
    ScriptedRole::Entry e;
    e.request = test::hex(request);
    e.reply = test::hex(reply);
    e.chunks = std::move(chunks);
    e.chunkMs = chunkMs;
    return std::make_unique<ScriptedRole>(std::vector<ScriptedRole::Entry>{e});
}

} // namespace

TEST(SimInProcess, RepliesArriveAfterTheWriteReturnsAndInChunks) {
    link::FakeSerialPort port;
    port.existing = {QStringLiteral("fake")};
    ASSERT_TRUE(port.open(QStringLiteral("fake")));
    InProcessLine line(port);
    // The chunks' pacing on a simulated clock: on a loaded machine real timers would run late and the
    // chunks could arrive together.
    ManualClock clock;
    line.setClock(clock);
    line.addRole(scripted("02 00 20 DD", "00 11 22 33 44", {2, 1}, 20));
    QList<QByteArray> chunks;
    QObject::connect(&port, &link::SerialPort::received, [&](const QByteArray& b) { chunks.append(b); });
    port.write(test::hex("02 00 20 DD"));
    EXPECT_TRUE(chunks.isEmpty()); // never inside the write call
    ASSERT_TRUE(clock.runUntil([&] { return chunks.size() >= 3; }, 10'000));
    ASSERT_EQ(chunks.size(), 3);
    EXPECT_EQ(chunks[0], test::hex("00 11"));
    EXPECT_EQ(chunks[1], test::hex("22"));
    EXPECT_EQ(chunks[2], test::hex("33 44"));
}

TEST(SimInProcess, UnknownRequestsGetSilence) {
    link::FakeSerialPort port;
    port.existing = {QStringLiteral("fake")};
    ASSERT_TRUE(port.open(QStringLiteral("fake")));
    InProcessLine line(port);
    line.addRole(scripted("02 00 20 DD", "00"));
    int got = 0;
    QObject::connect(&port, &link::SerialPort::received, [&](const QByteArray&) { ++got; });
    port.write(test::hex("04 00 20 DB"));
    test::runPending();
    EXPECT_EQ(got, 0);
    // Nothing was answered, so no reply is queued to come later either.
    EXPECT_EQ(static_cast<const ScriptedRole&>(*line.roles().front()).answered(), 0);
}

TEST(SimInProcess, APacedLineTakesTheWireTimeAtTheProgramsSpeed) {
    link::FakeSerialPort port;
    port.existing = {QStringLiteral("fake")};
    ASSERT_TRUE(port.open(QStringLiteral("fake")));
    InProcessLine line(port);
    EXPECT_EQ(line.wireTimeMs(96), 0);
    line.setPaced(true);
    EXPECT_EQ(line.wireTimeMs(96), 100); // 10 bits a byte at 9600 bit/s
    port.setBaudRate(19200);
    EXPECT_EQ(line.wireTimeMs(96), 50);
    line.addRole(scripted("01", QByteArray(48, '\x55').toHex().constData()));
    QByteArray got;
    QObject::connect(&port, &link::SerialPort::received, [&](const QByteArray& b) { got += b; });
    QElapsedTimer t;
    t.start();
    port.write(test::hex("01"));
    ASSERT_TRUE(test::waitUntil([&] { return got.size() >= 48; }));
    EXPECT_GE(t.elapsed(), 24);
}

// Pacing keeps microseconds, so a reply takes its wire time and not a rounding more, yet no byte ever
// leaves before the wire has carried the ones before it.
TEST(SimInProcess, PacingIsExactToTheMicrosecondAndNeverEarly) {
    link::FakeSerialPort port;
    port.existing = {QStringLiteral("fake")};
    ASSERT_TRUE(port.open(QStringLiteral("fake")));
    InProcessLine line(port);
    ManualClock clock;
    line.setClock(clock);
    line.setPaced(true);
    port.setBaudRate(115200);
    // A page reply (status, 256 bytes, check byte): 2580 bits at 115200 bit/s are 22395.8 µs.
    EXPECT_EQ(line.wireTimeUs(258), 22396);
    EXPECT_EQ(line.wireTimeMs(258), 23);
    EXPECT_EQ(line.wireTimeUs(4), 348);
    port.setBaudRate(19200);
    EXPECT_EQ(line.wireTimeUs(48), 25000);

    line.addRole(scripted("01", QByteArray(48, '\x55').toHex().constData()));
    QByteArray got;
    QObject::connect(&port, &link::SerialPort::received, [&](const QByteArray& b) { got += b; });
    port.write(test::hex("01"));
    // 48 bytes at 19200 bit/s: one every 520.8 µs, the last at 25 ms.
    clock.advance(1);
    EXPECT_EQ(got.size(), 1);
    clock.advance(11); // 12 ms: 23 bytes have had their time (23 × 520.8 µs = 11.98 ms)
    EXPECT_EQ(got.size(), 23);
    clock.advance(12);
    EXPECT_EQ(got.size(), 46);
    clock.advance(1);
    EXPECT_EQ(got.size(), 48);
}

TEST(SimScenario, RejectsBadScenarios) {
    std::vector<std::unique_ptr<Role>> roles;
    QString error;
    EXPECT_FALSE(loadScenarioJson("{", roles, error));
    EXPECT_FALSE(loadScenarioJson(R"({"role": "toaster"})", roles, error));
    EXPECT_TRUE(error.contains(QStringLiteral("toaster")));
    EXPECT_FALSE(loadScenarioJson(R"({"role": "scripted", "replies": [{"request": "zz", "reply": "00"}]})",
                                  roles, error));
    EXPECT_TRUE(loadScenarioJson(
        R"({"devices": [{"role": "scripted", "replies": [{"request": "01", "reply": "02"}]}]})", roles,
        error));
    EXPECT_EQ(roles.size(), 1u);
}

TEST(SimPty, AProgramTalksToTheLineThroughARealSerialPort) {
    PtyLine line;
    QString error;
    ASSERT_TRUE(line.open(error)) << error.toStdString();
    line.addRole(scripted("02 00 20 DD", "00 41 42 43"));
    link::QtSerialPort port;
    EXPECT_TRUE(port.deviceExists(line.slavePath()));
    ASSERT_TRUE(port.open(line.slavePath()));
    QByteArray got;
    QObject::connect(&port, &link::SerialPort::received, [&](const QByteArray& b) { got += b; });
    ASSERT_TRUE(port.write(test::hex("02 00 20 DD")));
    ASSERT_TRUE(test::waitUntil([&] { return got.size() >= 4; }));
    EXPECT_EQ(got, test::hex("00 41 42 43"));
    // Closing and opening again keeps the line usable.
    port.close();
    ASSERT_TRUE(port.open(line.slavePath()));
    got.clear();
    ASSERT_TRUE(port.write(test::hex("02 00 20 DD")));
    ASSERT_TRUE(test::waitUntil([&] { return got.size() >= 4; }));
}

TEST(SimPty, PacedRepliesTakeTheirWireTime) {
    PtyLine line;
    QString error;
    ASSERT_TRUE(line.open(error));
    line.setPaced(true);
    // 96 bytes at 9600 bit/s (10 bits a byte) take 100 ms on the wire.
    line.addRole(scripted("01", QByteArray(96, '\x55').toHex().constData()));
    link::QtSerialPort port;
    port.setBaudRate(9600);
    ASSERT_TRUE(port.open(line.slavePath()));
    EXPECT_EQ(line.programBaud(), 9600);
    QByteArray got;
    QObject::connect(&port, &link::SerialPort::received, [&](const QByteArray& b) { got += b; });
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(port.write(test::hex("01")));
    ASSERT_TRUE(test::waitUntil([&] { return got.size() >= 96; }));
    EXPECT_GE(t.elapsed(), 90);
}

TEST(SimProgram, APacedScenarioPacesTheProgramsLine) {
    std::vector<std::unique_ptr<Role>> roles;
    ScenarioOptions options;
    QString error;
    ASSERT_TRUE(loadScenarioJson(R"({"role": "scripted", "replies": []})", roles, error, &options));
    EXPECT_FALSE(options.pace);
    test::TempHome home;
    const QString scenario = home.root().root() + QStringLiteral("/paced.json");
    QFile f(scenario);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(
        QByteArray(
            R"({"pace": true, "devices": [{"role": "scripted", "replies": [{"request": "01", "reply": ")") +
        QByteArray(96, '\x55').toHex() + R"("}]}]})");
    f.close();
    ASSERT_TRUE(loadScenario(scenario, roles, error, &options)) << error.toStdString();
    EXPECT_TRUE(options.pace);

    QProcess sim;
    sim.start(QStringLiteral(TARN_SIM_PROGRAM), {QStringLiteral("--scenario"), scenario});
    ASSERT_TRUE(sim.waitForStarted(3000));
    ASSERT_TRUE(test::waitUntil([&] { return sim.canReadLine(); }));
    const QString pty = QString::fromLatin1(sim.readLine().mid(4).trimmed());
    link::QtSerialPort port;
    port.setBaudRate(9600);
    ASSERT_TRUE(port.open(pty));
    QByteArray got;
    QObject::connect(&port, &link::SerialPort::received, [&](const QByteArray& b) { got += b; });
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(port.write(test::hex("01")));
    ASSERT_TRUE(test::waitUntil([&] { return got.size() >= 96; }));
    EXPECT_GE(t.elapsed(), 90); // 96 bytes at 9600 bit/s
    port.close();
    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(3000));
}

TEST(SimProgram, StartsOnAPtyWithALinkAndLogsTheTraffic) {
    test::TempHome home;
    const QString scenario = home.root().root() + QStringLiteral("/scenario.json");
    const QString linkPath = home.root().root() + QStringLiteral("/COM1");
    const QString logPath = home.root().root() + QStringLiteral("/sim.log");
    QFile f(scenario);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(
        R"({"devices": [{"role": "scripted", "replies": [{"request": "02 00 20 DD", "reply": "00 10 EF"}]}]})");
    f.close();
    QProcess sim;
    sim.start(QStringLiteral(TARN_SIM_PROGRAM),
              {QStringLiteral("--scenario"), scenario, QStringLiteral("--link"), linkPath,
               QStringLiteral("--log"), logPath});
    ASSERT_TRUE(sim.waitForStarted(3000));
    ASSERT_TRUE(test::waitUntil([&] { return sim.canReadLine(); }));
    EXPECT_TRUE(sim.readLine().startsWith("pty /dev/"));
    link::QtSerialPort port;
    ASSERT_TRUE(port.open(linkPath));
    QByteArray got;
    QObject::connect(&port, &link::SerialPort::received, [&](const QByteArray& b) { got += b; });
    ASSERT_TRUE(port.write(test::hex("02 00 20 DD")));
    ASSERT_TRUE(test::waitUntil([&] { return got.size() >= 3; }));
    EXPECT_EQ(got, test::hex("00 10 EF"));
    port.close();
    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(3000));
    EXPECT_FALSE(QFile::exists(linkPath)); // the link goes with the simulator
    QFile log(logPath);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    EXPECT_TRUE(text.contains("<- 02 00 20 DD"));
    EXPECT_TRUE(text.contains("-> 00 10 EF"));
}
