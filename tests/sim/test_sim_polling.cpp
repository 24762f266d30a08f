// What an automatic polling run meets in the simulator: the clock correction and the gas values written
// under the operator's password, the group behind one modem with its troublesome points, and the cable
// lines of fourteen correctors each.
#include "CorrectorRole.h"
#include "ModemRole.h"
#include "SimLine.h"
#include "link/FakeSerialPort.h"
#include "link/FrameChecksum.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <cstring>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::sim;

namespace {

QString scenarioPath(const char* name) {
    return QStringLiteral(TARN_SOURCE_DIR "/tools/corrector-sim/scenarios/") + QLatin1String(name);
}

QByteArray frame(quint8 head, quint8 address, const QByteArray& data, quint8 count = 0) {
    QByteArray r;
    r.append(static_cast<char>(head));
    r.append(static_cast<char>(address));
    r.append(static_cast<char>(data.isEmpty() ? count : data.size()));
    r.append(data);
    return link::withFrameChecksum(r);
}
QByteArray readBlock(int device, quint8 address, quint8 count) {
    return frame(static_cast<quint8>(device << 1), address, {}, count);
}
QByteArray pageRead(int device, int startWord) {
    return frame(static_cast<quint8>(0x40 | device << 1), static_cast<quint8>(startWord), {});
}
QByteArray hourlyPage(int device, int page) {
    return frame(static_cast<quint8>(0x20 | device << 1), static_cast<quint8>(page), {});
}

// The corrector's clock as its clock block gives it (seconds first, the year less 2000 last).
QDateTime clockOf(const QByteArray& block) {
    auto b = [&](int i) { return static_cast<int>(static_cast<quint8>(block.at(i))); };
    return QDateTime(QDate(2000 + b(5), b(4), b(3)), QTime(b(2), b(1), b(0)));
}

qint32 int32At(const QByteArray& b, qsizetype at) {
    qint32 v = 0;
    std::memcpy(&v, b.constData() + at, 4);
    return v;
}

quint8 sum(const QByteArray& b) {
    quint8 s = 0;
    for (char c : b)
        s = static_cast<quint8>(s + static_cast<quint8>(c));
    return s;
}

// One corrector answering item writes directly: the status byte of each reply.
struct Items {
    std::unique_ptr<CorrectorRole> role;
    explicit Items(const char* json) {
        QString error;
        role.reset(static_cast<CorrectorRole*>(
            CorrectorRole::fromJson(QJsonDocument::fromJson(json).object(), error).release()));
        EXPECT_TRUE(role) << error.toStdString();
    }
    int write(quint8 code, const QByteArray& value, quint16 serial) {
        return static_cast<quint8>(role->replyTo(frame(0x82, code, uint16Bytes(serial) + value)).at(0));
    }
};

QByteArray signedByte(qint8 v) {
    return QByteArray(1, static_cast<char>(v)) + QByteArray(3, '\0');
}

} // namespace

TEST(SimPolling, TheClockCorrectionMovesTheClockByItsMinutes) {
    Items c(R"({"serial": 10109, "clockOffsetSec": -900})");
    CorrectorMemory& m = c.role->memory();
    EXPECT_EQ(c.write(0x93, signedByte(9), 10109), 0x40); // no password yet
    EXPECT_EQ(c.write(0xB0, int32Bytes(1112), 10109), 0x08);
    EXPECT_EQ(c.write(0xB0, int32Bytes(1111), 10109), 0); // operator A
    EXPECT_EQ(c.write(0x93, signedByte(10), 10109), 0x08);
    EXPECT_EQ(m.clockOffsetSec, -900);
    EXPECT_EQ(c.write(0x93, signedByte(9), 10109), 0);
    EXPECT_EQ(m.clockOffsetSec, -360);
    EXPECT_EQ(m.byteAt(5, 1), 9); // kept where the parameter page shows it
    const QByteArray reply = c.role->replyTo(readBlock(1, 1, 32));
    ASSERT_EQ(reply.size(), 34);
    EXPECT_NEAR(clockOf(reply.mid(1)).secsTo(QDateTime::currentDateTime()), 360, 3);
    EXPECT_EQ(c.write(0x93, signedByte(-9), 10109), 0);
    EXPECT_EQ(m.clockOffsetSec, -900);
}

TEST(SimPolling, GasValuesAreWrittenUnderTheOperatorPassword) {
    Items c(R"({"serial": 10101})");
    CorrectorMemory& m = c.role->memory();
    EXPECT_EQ(c.write(0x82, floatBytes(0.7f), 10101), 0x40);
    EXPECT_EQ(c.write(0xB0, int32Bytes(1111), 10101), 0);
    EXPECT_EQ(c.write(0x82, floatBytes(0.7f), 10102), 0x28); // another corrector's serial
    EXPECT_EQ(c.write(0x83, floatBytes(16.0f), 10101), 0x08);
    EXPECT_EQ(c.write(0x82, floatBytes(0.7f), 10101), 0);
    EXPECT_EQ(c.write(0x83, floatBytes(1.5f), 10101), 0);
    EXPECT_EQ(c.write(0x84, floatBytes(2.25f), 10101), 0);
    EXPECT_EQ(m.floatAt(51), 0.7f);
    EXPECT_EQ(m.floatAt(52), 1.5f);
    EXPECT_EQ(m.floatAt(53), 2.25f);
    EXPECT_EQ(c.role->replyTo(readBlock(1, 0x84, 6)).mid(3, 4), floatBytes(2.25f));
}

namespace {

// The group's modem on a line of its own: a fresh scenario for every call, so no call waits for an escape.
struct GroupCall {
    link::FakeSerialPort port;
    InProcessLine line{port};
    QByteArray got;

    explicit GroupCall(const char* number) {
        port.existing = {QStringLiteral("fake")};
        port.open(QStringLiteral("fake"));
        QObject::connect(&port, &link::SerialPort::received, [this](const QByteArray& b) { got += b; });
        std::vector<std::unique_ptr<Role>> roles;
        QString error;
        if (!loadScenario(scenarioPath("group.json"), roles, error)) ADD_FAILURE() << error.toStdString();
        for (auto& r : roles)
            line.addRole(std::move(r));
        port.write(QByteArray("ATE0\r"));
        test::waitUntil([&] { return got.endsWith("OK\r\n"); });
        got.clear();
        port.write(QByteArray("ATDP") + number + '\r');
        test::waitUntil([&] { return got.endsWith("\r\n") && got.size() > 2; });
    }
    // What comes back to a request: `size` bytes, or what arrived within a short while.
    QByteArray ask(const QByteArray& request, qsizetype size) {
        got.clear();
        port.write(request);
        test::waitUntil([&] { return got.size() >= size; }, size > 0 ? 2000 : 100);
        return got;
    }
};

} // namespace

TEST(SimPolling, EachTroublesomeNumberOfTheGroupGivesItsOutcome) {
    {
        GroupCall call("5550105");
        EXPECT_EQ(call.got, "\r\nBUSY\r\n");
    }
    for (const char* silent : {"5550103", "5550111"}) {
        GroupCall call(silent);
        EXPECT_EQ(call.got, "\r\nCONNECT 9600\r\n") << silent;
        EXPECT_TRUE(call.ask(readBlock(1, 0, 32), 0).isEmpty()) << silent;
    }
    for (const auto& [number, serial] : {std::pair{"5550101", 10101}, std::pair{"5550107", 99999}}) {
        GroupCall call(number);
        EXPECT_EQ(call.got, "\r\nCONNECT 9600\r\n") << number;
        EXPECT_EQ(call.ask(readBlock(1, 0, 32), 34).mid(1, 10), "V Tarn-NM ") << number;
        const QByteArray words = call.ask(pageRead(1, 64), 258);
        ASSERT_EQ(words.size(), 258) << number;
        EXPECT_EQ(int32At(words, 1 + (99 - 64) * 4), serial) << number;
        // The hourly pointer (word 16, upper half) on the newest of 72 hours.
        EXPECT_EQ(call.ask(pageRead(1, 0), 258).mid(1 + 16 * 4 + 2, 2), QByteArray::fromHex("4700"));
    }
    {
        GroupCall call("5550109");
        const QByteArray reply = call.ask(readBlock(1, 1, 32), 34);
        ASSERT_EQ(reply.size(), 34);
        EXPECT_NEAR(clockOf(reply.mid(1)).secsTo(QDateTime::currentDateTime()), 900, 3);
    }
    {
        // Page 56 record 3 is spoilt every time; page 60 record 2 only the first two times.
        GroupCall call("5550113");
        for (int i = 0; i < 3; ++i) {
            const QByteArray page = call.ask(hourlyPage(1, 56), 258).mid(1, 256);
            EXPECT_EQ(sum(page.mid(2 * 32, 32)), 0) << i;
            EXPECT_NE(sum(page.mid(3 * 32, 32)), 0) << i;
        }
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(sum(call.ask(hourlyPage(1, 60), 258).mid(1 + 2 * 32, 32)) != 0, i < 2) << i;
    }
}

TEST(SimPolling, TheGroupLoadsTheSameArchivesEveryRun) {
    std::vector<std::unique_ptr<Role>> first, second;
    QString error;
    ASSERT_TRUE(loadScenario(scenarioPath("group.json"), first, error)) << error.toStdString();
    ASSERT_TRUE(loadScenario(scenarioPath("group.json"), second, error)) << error.toStdString();
    const auto& a = dynamic_cast<const ModemRole&>(*first.front());
    const auto& b = dynamic_cast<const ModemRole&>(*second.front());
    QList<quint32> serials;
    for (int i = 1; i <= 20; ++i) {
        const QString number = QStringLiteral("55501%1").arg(i, 2, 10, QLatin1Char('0'));
        ASSERT_TRUE(a.devicesBehind(number)) << i;
        ASSERT_EQ(a.devicesBehind(number)->size(), 1u) << i;
        auto& x = dynamic_cast<CorrectorRole&>(*a.devicesBehind(number)->front());
        auto& y = dynamic_cast<CorrectorRole&>(*b.devicesBehind(number)->front());
        EXPECT_EQ(x.memory().address, 1) << i;
        EXPECT_EQ(x.memory().serial, i == 7 ? 99999u : 10100u + i) << i;
        serials.append(x.memory().serial);
        EXPECT_EQ(x.memory().pointer(kHourlyPointer), 71) << i;
        EXPECT_EQ(y.memory().pointer(kHourlyPointer), 71) << i;
        for (int page = 52; page <= 60; ++page)
            EXPECT_EQ(x.memory().archivePage(false, page), y.memory().archivePage(false, page)) << i;
        EXPECT_EQ(x.memory().clockOffsetSec, i == 9 ? -900 : 0) << i;
    }
    EXPECT_EQ(QSet<quint32>(serials.begin(), serials.end()).size(), 20);
}

TEST(SimPolling, FiftyCablePointsLieOnFourLinesOfFourteen) {
    QList<quint32> serials;
    for (const char* file : {"cable-50-1.json", "cable-50-2.json", "cable-50-3.json", "cable-50-4.json"}) {
        std::vector<std::unique_ptr<Role>> roles;
        QString error;
        ASSERT_TRUE(loadScenario(scenarioPath(file), roles, error)) << error.toStdString();
        for (std::size_t i = 0; i < roles.size(); ++i) {
            auto& c = dynamic_cast<CorrectorRole&>(*roles[i]);
            EXPECT_EQ(c.memory().address, static_cast<int>(i) + 1) << file;
            EXPECT_EQ(c.memory().pointer(kHourlyPointer), 71) << file;
            serials.append(c.memory().serial);
        }
    }
    ASSERT_EQ(serials.size(), 50);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(serials[i], 20001u + i);

    // On one line only the corrector at the address asked answers.
    link::FakeSerialPort port;
    port.existing = {QStringLiteral("fake")};
    port.open(QStringLiteral("fake"));
    InProcessLine line(port);
    std::vector<std::unique_ptr<Role>> roles;
    QString error;
    ASSERT_TRUE(loadScenario(scenarioPath("cable-50-1.json"), roles, error));
    for (auto& r : roles)
        line.addRole(std::move(r));
    QByteArray got;
    QObject::connect(&port, &link::SerialPort::received, [&](const QByteArray& b) { got += b; });
    port.write(pageRead(14, 64));
    ASSERT_TRUE(test::waitUntil([&] { return got.size() >= 258; }));
    test::waitUntil([] { return false; }, 20);
    ASSERT_EQ(got.size(), 258);
    EXPECT_EQ(int32At(got, 1 + (99 - 64) * 4), 20014);
}
