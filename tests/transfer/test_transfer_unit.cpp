// The transfer unit: its replies and block checks, the state file, the read of zones against the
// simulated unit in process (what lands in the image files and what the zones then say), the test and
// the erase, and a zone loaded into the corrector window as a direct read would fill it.
#include "Dtu16Role.h"
#include "SimLine.h"
#include "common/Language.h"
#include "corrector/CorrectorFiles.h"
#include "corrector/CorrectorWindowModel.h"
#include "link/FakeSerialPort.h"
#include "link/FrameChecksum.h"
#include "support/TestSupport.h"
#include "transfer/UnitSession.h"

#include <QFile>
#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::transfer;

namespace {

QByteArray reply(QByteArray bytes) {
    return link::withFrameChecksum(std::move(bytes));
}

const char* kCorrector = R"({"serial": 1234, "identification": "T Tarn-sim T47a",
    "archive": {"start": "01.03.2024 00:00", "hours": 30, "flow": 10}})";

QString unitScenario(const QString& zones, const QString& extra = {}) {
    return QStringLiteral(R"({"role": "dtu16", "zones": [%1]%2})").arg(zones, extra);
}

QString completeZone() {
    return QStringLiteral(R"({"status": 3, "corrector": %1})").arg(QString::fromUtf8(kCorrector));
}

struct Rig {
    test::TempHome home;
    link::FakeSerialPort port;
    test::RecordingNotifier notifier;
    link::LinkPort linkPort{port, notifier};
    SystemClock clock;
    link::ExchangeEngine engine{linkPort, notifier, clock};
    sim::InProcessLine line{port};
    sim::Dtu16Role* unit = nullptr;
    std::unique_ptr<TransferUnitSession> session;

    explicit Rig(const QString& scenario) {
        home.root().createFolders();
        port.existing = {QStringLiteral("/dev/ttyS0")};
        QString error;
        auto role = sim::Dtu16Role::fromJson(QJsonDocument::fromJson(scenario.toUtf8()).object(), error);
        EXPECT_TRUE(role) << error.toStdString();
        unit = static_cast<sim::Dtu16Role*>(role.get());
        line.addRole(std::move(role));
        UnitTimings timings;
        timings.replyTimeoutMs = 30;
        timings.testPollMs = 1;
        timings.erasePollMs = 1;
        timings.dtrPauseMs = 0;
        session =
            std::make_unique<TransferUnitSession>(engine, linkPort, home.root(), notifier, kRussian, timings);
    }
    bool run() {
        EXPECT_TRUE(test::waitUntil([this] { return !session->busy(); }, 20000));
        return session->lastSucceeded();
    }
    QByteArray file(int region) const {
        QFile f(imageFilePath(home.root(), region));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

} // namespace

TEST(TransferUnit, RepliesAreTakenOnlyWhenWholeRightAndNotARefusal) {
    EXPECT_EQ(expectedReplyLength(versionRequest()), 34);
    EXPECT_EQ(expectedReplyLength(stateRequest(16)), 18);
    EXPECT_EQ(expectedReplyLength(stateRequest(8)), 10);
    EXPECT_EQ(expectedReplyLength(blockRequest(15, 511)), 266);
    EXPECT_EQ(expectedReplyLength(testStartRequest()), 3);
    EXPECT_EQ(blockRequest(15, 511), QByteArray::fromHex("3fff00"));

    const QByteArray good = reply(QByteArray::fromHex("cc0102030405"));
    ASSERT_TRUE(checkReply(good, 7).accepted);
    EXPECT_EQ(checkReply(good, 7).payload, QByteArray::fromHex("0102030405"));
    EXPECT_EQ(checkReply(good, 8).fault, ReplyFault::WrongLength);
    EXPECT_EQ(checkReply({}, 7).fault, ReplyFault::NoReply);
    // The unit's refusal is never data, even at the length of a reply and with its check byte right.
    const ReplyCheck refusal = checkReply(reply(QByteArray::fromHex("ee0500000000")), 7);
    EXPECT_FALSE(refusal.accepted);
    EXPECT_EQ(faultTexts(refusal.fault, refusal.unitFlags),
              (QStringList{"Ошибка контрольной суммы", "Неверный параметр"}));
    QByteArray spoilt = good;
    spoilt[6] = static_cast<char>(spoilt.at(6) ^ 1);
    EXPECT_EQ(checkReply(spoilt, 7).fault, ReplyFault::Checksum);
    spoilt[0] = 0x41;
    EXPECT_EQ(checkReply(spoilt, 7).fault, ReplyFault::Unidentified);

    // A block's check bytes, and one bit changed anywhere in the first 260 bytes is seen.
    QByteArray block(260, '\0');
    for (int i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i * 7);
    QByteArray payload = block + blockCheckBytes(block);
    EXPECT_TRUE(blockCheckOk(payload));
    EXPECT_EQ(blockCheckBytes(block), sim::Dtu16Role::blockCheck(block));
    payload[259] = static_cast<char>(payload.at(259) ^ 0x10);
    EXPECT_FALSE(blockCheckOk(payload));
}

TEST(TransferUnit, TheUnitsStateAndTheZoneTexts) {
    EXPECT_EQ(unitStateMessage(0x00, false, kRussian)->text,
              QStringLiteral("Неопределенное состояние ДТУ !!!"));
    EXPECT_EQ(unitStateMessage(0x12, false, kRussian)->text, QStringLiteral("Состяние ДТУ не определено!!!"));
    EXPECT_EQ(unitStateMessage(0x0B, false, kUkrainian)->text, QStringLiteral("ДТУ після тесту"));
    EXPECT_EQ(unitStateMessage(0xA0, false, kRussian)->text, QStringLiteral("ДТУ после стирания"));
    const auto erased = unitStateMessage(0xA0, true, kRussian);
    EXPECT_TRUE(erased->warning);
    EXPECT_EQ(erased->text, QStringLiteral("Стирание ДТУ - НОРМА"));
    EXPECT_EQ(unitStateMessage(0x07, false, kRussian)->text, QStringLiteral("Тест ДТУ незавершен!!!"));
    EXPECT_FALSE(unitStateMessage(0x03, false, kRussian));

    EXPECT_EQ(zoneText(3, false, QStringLiteral("77"), QStringLiteral(" ГРС-1"), kRussian),
              QStringLiteral("N 00077 ГРС-1"));
    EXPECT_EQ(zoneText(3, false, {}, {}, kUkrainian), QStringLiteral("Запис норма"));
    EXPECT_EQ(zoneText(0x0B, false, {}, {}, kRussian), QStringLiteral("Нормальная запись"));
    EXPECT_EQ(zoneText(6, false, {}, {}, kRussian), QStringLiteral("Ошибка конт.сум.Д"));
    EXPECT_EQ(zoneText(1, true, {}, {}, kRussian), QStringLiteral("После теста"));
    EXPECT_EQ(zoneCountOf("DTU-1 u208 v1.2"), 8);
}

TEST(TransferUnit, TheStateFileKeepsTheZonesOfTheLastReadAndRefusesWhatItCannotBe) {
    UnitStateFile s;
    s.sixteenZones = false;
    s.firstZone = 3;
    s.zones = {{3, QStringLiteral("1234"), QStringLiteral("ГРС Юг")}, {5, {}, {}}};
    const QByteArray bytes = stateFileBytes(s);
    ASSERT_EQ(bytes.size(), 64 * 8);
    EXPECT_EQ(bytes.mid(0, 2), QByteArray("0\0", 2));
    const auto back = parseStateFile(bytes);
    ASSERT_TRUE(back);
    EXPECT_FALSE(back->sixteenZones);
    EXPECT_EQ(back->firstZone, 3);
    ASSERT_EQ(back->zones.size(), 2);
    EXPECT_EQ(back->zones.at(0).name, QStringLiteral("ГРС Юг"));
    EXPECT_TRUE(back->zones.at(1).serial.isEmpty());
    // Too short to hold a zone, or a first zone the unit cannot have.
    EXPECT_FALSE(parseStateFile(bytes.left(255)));
    QByteArray wrong = bytes;
    wrong.replace(64, 2, QByteArray("99"));
    EXPECT_FALSE(parseStateFile(wrong));
}

TEST(TransferUnit, AReadStopsAtTheFirstEmptyZoneAndLaysTheZonesOutInTheImageFiles) {
    Rig rig(unitScenario(completeZone() + QStringLiteral(",") + completeZone() +
                         QStringLiteral(R"(, {"status": 0}, )") + completeZone()));
    ASSERT_TRUE(rig.session->startRead({1, 16}));
    ASSERT_TRUE(rig.run()) << rig.notifier.texts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(rig.session->gaugeMaximum(), 3 * 512); // zones 1, 2 and 4 hold copies
    // Zones 1 and 2 only: the empty third ends the read.
    for (int r = 0; r < 4; ++r)
        EXPECT_EQ(rig.file(r).size(), 2 * 32768) << r;
    sim::CorrectorMemory memory;
    QString error;
    ASSERT_TRUE(memory.load(QJsonDocument::fromJson(kCorrector).object(), error));
    const auto image = sim::Dtu16Role::zoneImage(memory);
    for (int r = 0; r < 4; ++r)
        EXPECT_EQ(rig.file(r).mid(32768), image[r]) << r;
    const QList<TransferUnitSession::ZoneRow> rows = rig.session->zoneRows();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows.at(1).text.left(7), QStringLiteral("N 01234"));
    EXPECT_TRUE(rows.at(1).loadable);
    const auto state = loadStateFile(rig.home.root());
    ASSERT_TRUE(state);
    EXPECT_EQ(state->zones.at(0).serial, QStringLiteral("1234"));
}

TEST(TransferUnit, BadBlocksSilenceAndAnEightZoneUnit) {
    // A block that never checks marks its zone and the read goes on.
    Rig bad(unitScenario(completeZone() + QStringLiteral(R"(, {"status": 0})"),
                         QStringLiteral(R"(, "faults": {"badBlock": [1, 7, 5]})")));
    ASSERT_TRUE(bad.session->startRead({1, 2}));
    ASSERT_TRUE(bad.run());
    EXPECT_EQ(bad.unit->requests().count(blockRequest(0, 7)), 5);
    EXPECT_EQ(bad.session->zoneRows().at(0).text, QStringLiteral("Ошибка конт.сум.O"));
    EXPECT_FALSE(bad.session->zoneRows().at(0).loadable);

    // Silence: five sends, then the read fails and the error group says why; the old files stay.
    Rig quiet(unitScenario(completeZone(), QStringLiteral(R"(, "faults": {"silence": 99})")));
    ASSERT_TRUE(quiet.session->startRead({1, 16}));
    EXPECT_FALSE(quiet.run());
    EXPECT_EQ(quiet.unit->requests().size(), 5);
    EXPECT_EQ(quiet.notifier.texts().last(), QStringLiteral("Чтение ДТУ - БРАК"));
    EXPECT_EQ(quiet.session->errorLines(), QStringList{"Нет ответа от ДТУ"});
    EXPECT_TRUE(quiet.file(0).isEmpty());

    // An 8-zone unit reads at most 8 zones, whatever was asked.
    QStringList nine(9, completeZone());
    Rig small(unitScenario(nine.join(QLatin1Char(',')), QStringLiteral(R"(, "version": "DTU-1 u208 v1.0")")));
    ASSERT_TRUE(small.session->startRead({7, 16}));
    ASSERT_TRUE(small.run());
    EXPECT_EQ(small.file(3).size(), 2 * 32768);
    EXPECT_EQ(small.session->zoneCount(), 8);
    EXPECT_TRUE(small.unit->requests().contains(stateRequest(8)));

    // A reversed range is refused before anything is sent.
    EXPECT_FALSE(small.session->startRead({5, 4}));
    EXPECT_EQ(small.notifier.texts().last(), QStringLiteral("ОШИБКА!!! Зона начала чтения > Последней зоны"));
}

TEST(TransferUnit, TestAndEraseReportHowTheyEndedAndStopSendsNothingMore) {
    Rig ok(unitScenario(completeZone()));
    ASSERT_TRUE(ok.session->startTest());
    EXPECT_TRUE(ok.run());
    EXPECT_EQ(ok.notifier.texts().last(), QStringLiteral("Тест ДТУ - НОРМА"));
    // After the test the unit says so in its state.
    ASSERT_TRUE(ok.session->startState());
    EXPECT_FALSE(ok.run());
    EXPECT_EQ(ok.notifier.texts().last(), QStringLiteral("ДТУ после теста"));

    Rig low(unitScenario(completeZone(), QStringLiteral(R"(, "erase": "lowSupply")")));
    ASSERT_TRUE(low.session->startErase());
    EXPECT_FALSE(low.run());
    EXPECT_EQ(low.notifier.texts().last(), QStringLiteral("Стирание ДТУ - мало питания"));

    Rig erase(unitScenario(completeZone()));
    ASSERT_TRUE(erase.session->startErase());
    EXPECT_TRUE(erase.run());
    EXPECT_EQ(erase.notifier.messages.last(),
              std::make_pair(MessageKind::Warning, QStringLiteral("Стирание ДТУ - НОРМА")));
    EXPECT_EQ(erase.session->zoneRows().at(0).text, QStringLiteral("Нет данных"));

    Rig stopped(unitScenario(completeZone()));
    UnitTimings slow;
    slow.testPollMs = 60000;
    slow.dtrPauseMs = 0;
    stopped.session = std::make_unique<TransferUnitSession>(
        stopped.engine, stopped.linkPort, stopped.home.root(), stopped.notifier, kRussian, slow);
    ASSERT_TRUE(stopped.session->startTest());
    ASSERT_TRUE(test::waitUntil([&] { return stopped.unit->requests().size() == 2; }));
    test::runPending();
    stopped.session->stop();
    const qsizetype sent = stopped.port.writes.size();
    test::runPending();
    EXPECT_EQ(stopped.port.writes.size(), sent);
    EXPECT_FALSE(stopped.port.dtr);
    EXPECT_EQ(stopped.notifier.texts().last(), QStringLiteral("Тест ДТУ прерван"));
}

TEST(TransferUnit, AZoneLoadsIntoTheCorrectorWindowAndItsChecksAreMeant) {
    Rig rig(unitScenario(completeZone() + QStringLiteral(",") + completeZone()));
    ASSERT_TRUE(rig.session->startRead({1, 2}));
    ASSERT_TRUE(rig.run());
    corrector::Reading reading;
    reading.languageIndex = kRussian;
    QStringList questions;
    const ZoneLoad load = loadZone(rig.home.root(), 2, reading, kRussian, [&](const QString& q) {
        questions.append(q);
        return true;
    });
    ASSERT_TRUE(load.complete) << load.message.toStdString();
    EXPECT_TRUE(questions.isEmpty());
    EXPECT_TRUE(reading.hasSerial());
    EXPECT_EQ(load.kindsRead.size(), 7);
    // The thirty generated hours are in the hourly table, as a direct read would decode them.
    int dated = 0;
    for (const QStringList& row : reading.archives.rows(corrector::Archive::Hourly))
        if (row.size() > 1) ++dated;
    EXPECT_EQ(dated, 30);
    EXPECT_TRUE(reading.kindRead(3));

    // Spoilt archive pages are offered to the user once each; a copy without one of its image files is
    // refused before any page is offered.
    {
        QFile first(imageFilePath(rig.home.root(), 0));
        ASSERT_TRUE(first.open(QIODevice::ReadWrite));
        ASSERT_TRUE(first.seek(32768));
        first.write(QByteArray(32768, '\x55'));
    }
    questions.clear();
    EXPECT_FALSE(loadZone(rig.home.root(), 2, reading, kRussian, [&](const QString& q) {
                     questions.append(q);
                     return true;
                 }).complete);
    EXPECT_EQ(questions.size(), 1); // the user stopped at the first
    ASSERT_TRUE(QFile::remove(imageFilePath(rig.home.root(), 1)));
    questions.clear();
    const ZoneLoad lacking = loadZone(rig.home.root(), 2, reading, kRussian, [&](const QString& q) {
        questions.append(q);
        return false;
    });
    EXPECT_FALSE(lacking.complete);
    EXPECT_EQ(lacking.message, QStringLiteral("Чтение данных корректора прервано!!!"));
    EXPECT_TRUE(questions.isEmpty());

    // A zone the last read did not hold, and a parameter area whose sum does not match.
    EXPECT_EQ(loadZone(rig.home.root(), 5, reading, kRussian, {}).message,
              QStringLiteral("Ошибка открытия файла!!!"));
    // A zone that never opened leaves the reading the last copy made; one that opened took it.
    EXPECT_TRUE(lacking.readingTaken);
    EXPECT_FALSE(loadZone(rig.home.root(), 5, reading, kRussian, {}).readingTaken);
    EXPECT_TRUE(reading.hasSerial());
    EXPECT_EQ(reading.source, corrector::SourceKind::TransferUnit);
    QByteArray region3 = rig.file(3).mid(32768);
    EXPECT_EQ(checkZone(region3, kRussian).status, ZoneComplete);
    region3[32100] = static_cast<char>(region3.at(32100) ^ 0x01);
    EXPECT_EQ(checkZone(region3, kRussian).status, ZoneDataChecksum);
    region3.replace(0x7D00, 15, QByteArray(15, ' '));
    EXPECT_EQ(checkZone(region3, kRussian).status, ZoneOldVersion);
}

// Only a zone whose copy is complete and checked may be loaded; every other zone is refused with the text
// its row shows, a zone the last read did not reach as empty.
TEST(TransferUnit, OnlyAZoneWithACompleteCopyIsOfferedForLoading) {
    test::TempHome home;
    home.root().createFolders();
    UnitStateFile s;
    s.firstZone = 2;
    s.zones = {{ZoneComplete, QStringLiteral("1234"), QStringLiteral("ГРС")},
               {ZoneIncomplete, {}, {}},
               {ZoneDataChecksum, {}, {}},
               {ZoneOldVersion, {}, {}}};
    QFile f(stateFilePath(home.root()));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(stateFileBytes(s));
    f.close();
    struct Case {
        int zone;
        int lang;
        std::optional<QString> refusal;
    };
    const Case cases[] = {
        {2, kRussian, std::nullopt},
        {3, kRussian, QStringLiteral("Запись неполная")},
        {4, kUkrainian, QStringLiteral("Помилка конт.сум.Д")},
        {5, kRussian, QStringLiteral("Старая версия прогр.")},
        {1, kRussian, QStringLiteral("Нет данных")}, // before the first zone read
        {6, kUkrainian, QStringLiteral("Немає даних")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(zoneNotLoadable(home.root(), c.zone, c.lang), c.refusal) << c.zone;
}

// The version as the user reads it: the unit's padding (NULs and blanks) is no part of it; a missing port
// is told apart from a refused request.
TEST(TransferUnit, TheVersionWithoutPaddingAndAMissingPortIsALinkFailure) {
    EXPECT_EQ(unitVersionText(QByteArray("DTU-1-16 v2.05\0\0\0  ", 19)), QStringLiteral("DTU-1-16 v2.05"));
    EXPECT_EQ(unitVersionText(QByteArray("\0u208\0v1", 8)), QStringLiteral("u208v1"));

    Rig rig(unitScenario(completeZone()));
    ASSERT_TRUE(rig.session->startState());
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(rig.session->versionText(), QStringLiteral("DTU-1-16 v2.05"));
    EXPECT_FALSE(rig.session->versionText().contains(QChar(0)));

    EXPECT_FALSE(rig.session->startRead({3, 2}));
    EXPECT_FALSE(rig.session->portFailed());
    rig.linkPort.closePort();
    rig.port.existing.clear();
    EXPECT_FALSE(rig.session->startState());
    EXPECT_TRUE(rig.session->portFailed());
    EXPECT_EQ(rig.notifier.texts().last(), QStringLiteral("ОШИБКА!!! инициализации порта"));
}
