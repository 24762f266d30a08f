// The engine against the simulated corrector, in process: what the program sends is answered from the
// simulator's own memory, through the event loop, with the simulator's faults.
#include "CorrectorRole.h"
#include "EngineRig.h"
#include "SimLine.h"
#include "corrector/ItemTransfer.h"
#include "corrector/PageRead.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::link;
using namespace tarn::sim;
using test::EngineRig;
using test::hex;

namespace {

struct SimRig : EngineRig {
    InProcessLine line{port};
    CorrectorRole* corrector = nullptr;
    QList<QByteArray> payloads;
    QStringList statuses;

    explicit SimRig(const char* json = R"({"role": "corrector", "address": 3, "serial": 4123})",
                    int retries = 3)
        : EngineRig(retries, 3) {
        QString error;
        auto role = CorrectorRole::fromJson(QJsonDocument::fromJson(json).object(), error);
        EXPECT_TRUE(role) << error.toStdString();
        corrector = static_cast<CorrectorRole*>(role.get());
        line.addRole(std::move(role));
        engine.settings().replyTimeoutMs = 150;
        QObject::connect(&engine, &ExchangeEngine::replyAccepted,
                         [this](quint8, quint8, const QByteArray& p) { payloads.append(p); });
        QObject::connect(&engine, &ExchangeEngine::statusReported,
                         [this](quint8, const QString& t) { statuses.append(t); });
    }
    // Runs the event loop until the engine is idle (bounded).
    void run() {
        test::waitUntil([this] { return !engine.busy(); }, 3000);
        settle();
    }
    static quint8 sum(const QByteArray& b) {
        quint8 s = 0;
        for (char c : b)
            s = static_cast<quint8>(s + static_cast<quint8>(c));
        return s;
    }
};

QByteArray le32(qint32 v) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<char>((static_cast<quint32>(v) >> (8 * i)) & 0xFF);
    return b;
}

} // namespace

TEST(EngineWithSim, IdentificationAnswersOnlyItsOwnAddress) {
    SimRig r(R"({"role": "corrector", "address": 3, "identification": "V Tarn-sim V47b"})");
    r.read(opRead, 0, 32, 3, 0);
    r.run();
    ASSERT_EQ(r.payloads.size(), 1);
    EXPECT_EQ(r.payloads[0].left(15), QByteArray("V Tarn-sim V47b"));
    EXPECT_EQ(r.payloads[0].size(), 32);
    // Any count.
    r.read(opRead, 0, 5, 3, 0);
    r.run();
    EXPECT_EQ(r.payloads.value(1), QByteArray("V Tar"));

    SimRig other;
    other.engine.settings().deviceAddress = 4;
    other.engine.settings().retryCount = 1;
    other.read(opRead, 0, 32, 1, 0);
    other.run();
    EXPECT_TRUE(other.payloads.isEmpty());
    EXPECT_EQ(other.lost, 1);
    EXPECT_EQ(other.corrector->requests(), 0);
}

TEST(EngineWithSim, BlocksOfClockMeasurementsAndStatus) {
    SimRig r(R"({"role": "corrector", "address": 3, "measurements": {"pressure": 2.5, "state": 4660}})");
    r.read(opRead, 1, 32, 3, 0);
    r.run();
    r.read(opRead, 3, 46, 3, 0);
    r.run();
    r.read(opRead, 4, 32, 3, 0);
    r.run();
    ASSERT_EQ(r.payloads.size(), 3);
    const QDate today = QDate::currentDate();
    EXPECT_EQ(static_cast<quint8>(r.payloads[0].at(5)), today.year() - 2000);
    EXPECT_EQ(static_cast<quint8>(r.payloads[0].at(4)), today.month());
    EXPECT_EQ(r.payloads[1].size(), 46);
    float p = 0;
    std::memcpy(&p, r.payloads[1].constData(), 4);
    EXPECT_FLOAT_EQ(p, 2.5f);
    EXPECT_EQ(r.payloads[1].mid(44, 2), hex("34 12"));
    EXPECT_EQ(r.payloads[2].size(), 32);
}

TEST(EngineWithSim, ParameterPagesWithTheDoubleReadAndChangingWords) {
    SimRig r(R"({"role": "corrector", "address": 3, "serial": 4123,
                 "words": [{"index": 51, "float": 0.7}, {"index": 113, "text": "Tarn gas"}],
                 "faults": {"changingWords": [70]}})");
    corrector::PageReadTransfer reader(r.engine);
    QList<QByteArray> pages;
    reader.accepted = [&](quint8 page, const QByteArray& payload) {
        pages.append(payload);
        if (page < 128) reader.readPage(static_cast<quint8>(page + 64));
    };
    reader.readPage(0);
    r.run();
    QList<int> wire;
    for (const QByteArray& w : r.port.writes)
        wire.append(static_cast<quint8>(w.at(1)));
    // Word 70 is word 7 of page 64, a compared word: that page is read six times.
    EXPECT_EQ(wire, (QList<int>{0, 0, 64, 64, 64, 64, 64, 64, 128}));
    ASSERT_EQ(pages.size(), 3);
    EXPECT_EQ(pages[1].mid((99 - 64) * 4, 4), le32(4123));
    EXPECT_EQ(pages[0].mid(51 * 4, 4), hex("33 33 33 3F")); // 0.7f
    EXPECT_EQ(pages[1].mid((113 - 64) * 4, 8), QByteArray("Tarn gas"));
    EXPECT_EQ(pages[2].mid((185 - 128) * 4), QByteArray(7 * 4, '\0')); // past the memory
}

TEST(EngineWithSim, ItemWritesFollowSerialAccessLevelAndRange) {
    SimRig r;
    r.engine.setLanguage(kRussian);
    corrector::ItemTransfer items(r.engine, r.notifier);
    QList<QByteArray> replies;
    items.readReply = [&](const QByteArray& p) { replies.append(p); };
    auto write = [&](quint8 code, const QByteArray& value, int item, quint16 serial = 4123) {
        QByteArray data;
        data.append(static_cast<char>(serial & 0xFF));
        data.append(static_cast<char>(serial >> 8));
        items.write(code, data + value, item >= 48);
        r.run();
    };
    const QByteArray density = hex("33 33 33 3F"); // 0.7
    write(0x82, density, 1);
    EXPECT_EQ(r.statuses, QStringList{QStringLiteral("ЗАПИСЬ НЕВОЗМОЖНА, НЕТ ДОПУСКА")});
    write(0xB0, le32(1234), 48);
    EXPECT_EQ(r.statuses.last(), QStringLiteral("Ошибочное значение пароля!!!"));
    write(0xB0, le32(1111), 48);
    EXPECT_EQ(r.corrector->memory().accessLevel, 1);
    write(0x82, density, 1);
    EXPECT_EQ(r.corrector->memory().word(51), density);
    write(0x82, hex("00 00 80 3F"), 1); // 1.0 is inside 0.54..1.051
    write(0x82, hex("00 00 00 40"), 1); // 2.0 is not
    EXPECT_EQ(r.statuses.last(), QStringLiteral("Ошибочное значение!!!"));
    EXPECT_EQ(r.corrector->memory().word(51), hex("00 00 80 3F"));
    write(0x82, density, 1, 4124);
    EXPECT_EQ(r.statuses.last(), QStringLiteral("Номер корректора не совпал!!!"));
    // The operator may change the operator passwords; the new one opens the level from then on.
    write(0xB8, le32(4321), 55);
    EXPECT_EQ(r.corrector->memory().passwords[0], QStringLiteral("4321"));
    // Restart closes access.
    r.write(0, hex("1E E1"), 1);
    r.run();
    EXPECT_EQ(r.corrector->memory().accessLevel, 0);
    EXPECT_EQ(r.corrector->memory().restarts, 1);
    EXPECT_EQ(r.statuses.size(), 4);

    // An item read: serial number and value.
    items.read(0x82, 6);
    r.run();
    EXPECT_EQ(replies.last(), hex("1B 10 00 00 80 3F"));
}

TEST(EngineWithSim, ArchiveBanksWithCheckBytesAndPointers) {
    SimRig r(R"({"role": "corrector", "address": 3,
                 "archive": {"start": "01.03.2024 00:00", "hours": 30, "flow": 10.0}})");
    // The hourly archive starts at page 52 of the lower bank; 8 records of 32 bytes a page.
    r.read(opArchiveLow, 52, 0, 3, 3);
    r.run();
    ASSERT_EQ(r.payloads.size(), 4);
    EXPECT_EQ(r.completed, 1);
    int records = 0;
    for (const QByteArray& page : r.payloads)
        for (int i = 0; i < 8; ++i) {
            const QByteArray rec = page.mid(i * 32, 32);
            if (rec.left(3) == QByteArray(3, '\0')) continue;
            ++records;
            EXPECT_EQ(SimRig::sum(rec), 0) << "record check byte";
        }
    EXPECT_EQ(records, 30);
    // The first record ends 01.03.2024 01:00.
    const quint32 minutes = static_cast<quint8>(r.payloads[0].at(0)) |
                            (static_cast<quint8>(r.payloads[0].at(1)) << 8) |
                            (static_cast<quint8>(r.payloads[0].at(2)) << 16);
    EXPECT_EQ(minutes, static_cast<quint32>(QDate(2000, 1, 1).daysTo(QDate(2024, 3, 1)) * 1440 + 60));
    // The daily archive in the upper bank: the day closes at contract hour 9.
    r.payloads.clear();
    r.read(opArchiveHigh, 192, 0, 3, 0);
    r.run();
    ASSERT_EQ(r.payloads.size(), 1);
    EXPECT_EQ(SimRig::sum(r.payloads[0].left(64)), 0);
    float day = 0;
    std::memcpy(&day, r.payloads[0].constData() + 3, 4);
    EXPECT_FLOAT_EQ(day, 90.0f); // 9 hours of 10 m³
    // Pointers: word 16 bytes 2..3 hourly, word 19 bytes 0..1 daily.
    EXPECT_EQ(r.corrector->memory().pointer(kHourlyPointer), 29);
    EXPECT_EQ(r.corrector->memory().pointer(kDailyPointer), 0); // one day closed so far
}

TEST(EngineWithSim, LineFaultsAreSurvived) {
    SimRig chunked(
        R"({"role": "corrector", "address": 3, "faults": {"chunks": [1, 100, 50], "chunkMs": 5}})");
    chunked.read(opArchiveLow, 0, 0, 3, 0);
    chunked.run();
    EXPECT_EQ(chunked.payloads.size(), 1);
    EXPECT_EQ(chunked.port.writes.size(), 1);

    for (const char* json :
         {R"({"role": "corrector", "address": 3, "faults": {"extraByte": 1}})",
          R"({"role": "corrector", "address": 3, "faults": {"badChecksum": 1}})",
          R"({"role": "corrector", "address": 3, "faults": {"silence": 1}})",
          R"({"role": "corrector", "address": 3, "faults": {"noise": 1, "noiseBytes": 2}})"}) {
        SimRig r(json);
        r.read(opRead, 0, 32, 3, 0);
        r.run();
        EXPECT_EQ(r.port.writes.size(), 2) << json;
        EXPECT_EQ(r.payloads.size(), 1) << json;
        EXPECT_EQ(r.lost, 0) << json;
    }
    SimRig refused(R"({"role": "corrector", "address": 3, "faults": {"status": 32, "statusCount": 5}})", 2);
    refused.read(opRead, 0, 32, 2, 0);
    refused.run();
    EXPECT_EQ(refused.port.writes.size(), 2);
    EXPECT_EQ(refused.lost, 1);
    EXPECT_EQ(refused.failureHeads().last(), QStringLiteral("ответное слово брак"));
}

TEST(EngineWithSim, AlarmNoticesAreRecognised) {
    SimRig pending(R"({"role": "corrector", "address": 3, "alarmPending": true})");
    pending.transfer.alarmNoticeAnswers = true;
    int notices = 0;
    QObject::connect(&pending.engine, &ExchangeEngine::alarmNotice, [&] { ++notices; });
    pending.read(opRead, 19, 6, 3, 0);
    pending.run();
    EXPECT_EQ(notices, 1);
    EXPECT_TRUE(pending.notifier.messages.isEmpty());

    SimRig split(
        R"({"role": "corrector", "address": 3, "faults": {"alarmAtMs": 0, "alarmSplit": true, "alarmSplitMs": 20}})");
    int heard = 0;
    QObject::connect(&split.engine, &ExchangeEngine::alarmNotice, [&] { ++heard; });
    EXPECT_TRUE(test::waitUntil([&] { return heard == 1 && split.notifier.messages.size() == 1; }));
    EXPECT_EQ(split.notifier.texts().value(0),
              QStringLiteral("Внимание!!! Пришло сообщение о аварии корректора"));
}

TEST(EngineWithSim, AnIdentificationThatChangesDiffersBetweenReads) {
    SimRig r(R"({"role": "corrector", "address": 3, "faults": {"identificationChanges": 1}})");
    for (int i = 0; i < 3; ++i) {
        r.read(opRead, 0, 32, 3, 0);
        r.run();
    }
    ASSERT_EQ(r.payloads.size(), 3);
    EXPECT_NE(r.payloads[0], r.payloads[1]);
    EXPECT_EQ(r.payloads[1], r.payloads[2]);
}
