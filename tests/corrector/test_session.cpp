// The corrector window's model through the real exchange engine and the operation start, against the
// simulated corrector in process: what the user gets from "ЧИТАТЬ ВСЕ" and from writing one item.
#include "common/Language.h"
#include "corrector/CorrectorSession.h"
#include "corrector/CorrectorWindowModel.h"
#include "corrector/StoreReading.h"
#include "link/FakeSerialPort.h"
#include "support/DatabaseFaults.h"
#include "support/SessionRig.h"
#include "support/TestSupport.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::corrector;
using test::hex;

namespace {

// The rig of tests/support/SessionRig.h, on a corrector of its own and reading the version and the clock
// after the parameters.
struct Rig : test::SessionRig {
    bool& closed = readClosed;

    explicit Rig(const char* json = R"({"role": "corrector", "address": 1, "serial": 1234,
        "identification": "V Tarn-sim V47a", "passwords": ["1234", "2", "3", "4", "5", "6", "7"],
        "words": [{"index": 51, "float": 0.6865}]})")
        : SessionRig(json) {
        settings.readChoice = QStringLiteral("0000001100000"); // version and clock
        gate.directDelayMs = 50;
        session->model().afterWriteDelayMs = 5;
    }
    // What is already queued runs; then nothing may be left on the wire (no request out, no resend due).
    void settle() {
        test::runPending();
        EXPECT_FALSE(engine.busy());
    }
    int count(const char* frame) const { return static_cast<int>(port.writes.count(hex(frame))); }
};

} // namespace

TEST(CorrectorSession, ReadAllFillsTheWindowFromTheCorrector) {
    Rig r;
    r.session->startOperation(corrector::operation::ReadAll);
    ASSERT_TRUE(test::waitUntil([&] { return r.closed; }));
    EXPECT_EQ(r.model().text(Field::HeaderSerial), QStringLiteral("01234"));
    EXPECT_EQ(r.model().text(Field::Density), QStringLiteral("0.6865"));
    // Identification twice, pages 0 and 64 twice, 128 once, then the ticked kinds.
    EXPECT_EQ(r.count("02 00 20 DD"), 2);
    EXPECT_EQ(r.count("42 00 00 BD"), 2);
    EXPECT_EQ(r.count("42 40 00 7D"), 2);
    EXPECT_EQ(r.count("42 80 00 3D"), 1);
    EXPECT_EQ(r.count("02 00 30 CD"), 1);
    EXPECT_EQ(r.count("02 01 20 DC"), 1);
    EXPECT_EQ(r.readRun.completedKinds(), (QList<int>{1, 12, 14}));
    EXPECT_EQ(r.model().state().accessLevel, 0);
}

TEST(CorrectorSession, PasswordThenDensityWriteAndReadBack) {
    Rig r;
    r.session->startOperation(corrector::operation::Parameters);
    ASSERT_TRUE(test::waitUntil([&] { return r.closed; }));
    ASSERT_TRUE(r.model().EnterPassword(0, QStringLiteral("1234")));
    ASSERT_TRUE(test::waitUntil([&] { return r.model().state().accessLevel == 1; }));
    EXPECT_EQ(r.port.writes.last(), hex("82 B0 06 D2 04 D2 04 00 00 1B"));
    ASSERT_TRUE(r.model().WriteItem(1, QStringLiteral("0.68"), QStringLiteral("Плотность газа"), false));
    ASSERT_TRUE(test::waitUntil([&] { return r.count("02 82 06 75") == 1 && !r.engine.busy(); }));
    r.settle();
    EXPECT_EQ(r.count("82 82 06 D2 04 7B 14 2E 3F 23"), 1);
    EXPECT_EQ(r.model().text(Field::Density), QStringLiteral("0.68"));
    EXPECT_TRUE(r.notifier.messages.isEmpty());
}

TEST(CorrectorSession, AWrongPasswordLeavesLevelNone) {
    Rig r;
    r.session->startOperation(corrector::operation::Parameters);
    ASSERT_TRUE(test::waitUntil([&] { return r.closed; }));
    ASSERT_TRUE(r.model().EnterPassword(0, QStringLiteral("9999")));
    ASSERT_TRUE(test::waitUntil([&] { return !r.notifier.messages.isEmpty(); }));
    r.settle();
    EXPECT_EQ(r.notifier.messages.last().second, QStringLiteral("Ошибочное значение пароля!!!"));
    EXPECT_EQ(r.model().state().accessLevel, 0);
    // No resend of a refused password.
    EXPECT_EQ(r.count("82 B0 06 D2 04 0F 27 00 00 BB"), 1);
}

TEST(CorrectorSession, ASilentCorrectorShowsTheNoLinkText) {
    Rig r(R"({"role": "corrector", "address": 2})");
    r.session->startOperation(corrector::operation::Parameters);
    ASSERT_TRUE(test::waitUntil([&] { return r.session->link().noLinkShown(); }));
    EXPECT_EQ(r.session->link().noLinkText(), QStringLiteral("НЕТ СВЯЗИ RS-232 "));
    EXPECT_EQ(r.count("02 00 20 DD"), 2);
}

TEST(CorrectorSession, RefusedWritesShowTheCorrectorsAnswer) {
    struct Case {
        quint8 status;
        const char* message;
    };
    for (const Case c :
         {Case{0x40, "ЗАПИСЬ НЕВОЗМОЖНА, НЕТ ДОПУСКА"}, Case{0x28, "Номер корректора не совпал!!!"}}) {
        Rig r;
        r.session->startOperation(corrector::operation::Parameters);
        ASSERT_TRUE(test::waitUntil([&] { return r.closed; }));
        ASSERT_TRUE(r.model().EnterPassword(0, QStringLiteral("1234")));
        ASSERT_TRUE(test::waitUntil([&] { return r.model().state().accessLevel == 1 && !r.engine.busy(); }));
        r.corrector->faults().status = c.status;
        r.corrector->faults().statusCount = 1;
        ASSERT_TRUE(r.model().WriteItem(1, QStringLiteral("0.68"), QStringLiteral("Плотность газа"), false));
        ASSERT_TRUE(test::waitUntil([&] { return !r.notifier.messages.isEmpty(); }));
        r.settle();
        EXPECT_EQ(r.notifier.messages.last().second, QString::fromUtf8(c.message));
        EXPECT_EQ(r.model().state().accessLevel, 0) << int(c.status);
        EXPECT_EQ(r.count("82 82 06 D2 04 7B 14 2E 3F 23"), 1); // refused once, not resent
    }
}

TEST(CorrectorSession, ArchivesAreReadPageByPageIntoTheTables) {
    // 30 hours of 10 m³ from 01.03.2024 00:00, and one record of page 53 spoilt in the bank: its page is
    // asked for four times, then the walk goes on with that record blank.
    Rig r(R"({"role": "corrector", "address": 1, "serial": 1234, "identification": "V Tarn-sim V47a",
        "archive": {"start": "01.03.2024 00:00", "hours": 30, "flow": 10},
        "archiveBytes": [{"bank": "low", "offset": 13795, "hex": "01"}]})");
    r.readRun.readToEmptyLine = true;
    int gaugeSteps = 0;
    QObject::connect(&r.session->link(), &EngineParameterLink::pageAccepted, [&] { ++gaugeSteps; });
    r.session->startOperation(corrector::operation::Hourly);
    ASSERT_TRUE(test::waitUntil([&] { return r.closed; }));
    EXPECT_EQ(r.readRun.completedKinds(), (QList<int>{1, 3}));
    const ArchiveTables& t = r.model().archives();
    // Pages 52..55 hold the 30 records; page 56 is the empty end (more than two empty records).
    EXPECT_EQ(r.count("22 34 00 A9"), 1); // page 52
    EXPECT_EQ(r.count("22 35 00 A8"), 4); // page 53, read until its bad record is blanked
    EXPECT_EQ(r.count("22 38 00 A5"), 1); // page 56
    EXPECT_EQ(r.count("22 39 00 A4"), 0); // page 57 is never asked for
    ASSERT_EQ(t.rowCount(Archive::Hourly), 40);
    EXPECT_EQ(t.rows(Archive::Hourly).at(0),
              (QStringList{"00000", "01.03.2024", "01:00", "10.00", "10.20", "0.00", "0.00", "1.033", "5.00",
                           "0.9980", "1.0200", "xxx/xxxxxxxxxxxx"}));
    EXPECT_EQ(t.cell(1, 2, 29), QStringLiteral("06:00"));
    EXPECT_EQ(t.rows(Archive::Hourly).at(15), QStringList{"00015"}); // the blanked record
    EXPECT_EQ(t.cell(1, 3, 14), QStringLiteral("10.00"));
    EXPECT_EQ(findGaps(t), QStringList{QStringLiteral("Часовой ном.зап.15")});
    EXPECT_EQ(gaugeSteps, 3 + 5); // the parameter pages and the archive pages taken
}

TEST(CorrectorSession, ASelectiveReadTakesOnlyThePlannedPages) {
    Rig r(R"({"role": "corrector", "address": 1, "serial": 1234, "identification": "V Tarn-sim V47a",
        "archive": {"start": "01.03.2024 00:00", "hours": 30, "flow": 10}})");
    r.session->now = [] { return QDateTime(QDate(2024, 3, 2), QTime(6, 30)); };
    r.session->startSelectiveRead(1);
    EXPECT_TRUE(r.session->selectiveMode());
    EXPECT_FALSE(r.readRun.readToEmptyLine);
    ASSERT_TRUE(test::waitUntil([&] { return r.closed; }));
    EXPECT_EQ(r.readRun.completedKinds(), (QList<int>{1, 3, 4, 5, 6, 7}));
    // 22 hours back from the newest record 29: pages 52..55, one request each; the daily pointer 0 and
    // one day: pages 223 and 192.
    QList<int> archivePages;
    for (const QByteArray& w : r.port.writes)
        if ((static_cast<quint8>(w.at(0)) & 0xFE) == 0x22) archivePages.append(static_cast<quint8>(w.at(1)));
    EXPECT_EQ(archivePages.mid(0, 6), (QList<int>{52, 53, 54, 55, 223, 192}));
    const ArchiveTables& t = r.model().archives();
    ASSERT_EQ(t.rowCount(Archive::Hourly), 32);
    EXPECT_EQ(t.cell(1, 0, 0), QStringLiteral("00000"));
    EXPECT_EQ(t.cell(1, 0, 31), QStringLiteral("00031"));
    ASSERT_EQ(t.rowCount(Archive::Daily), 8);
    EXPECT_EQ(t.cell(2, 0, 0), QStringLiteral("00124")); // page 223 holds records 124..127
    EXPECT_EQ(t.cell(2, 0, 4), QStringLiteral("00000"));
    EXPECT_EQ(t.cell(2, 2, 4), QStringLiteral("09:00"));
    // The rest read whole until their empty end; the mode is over.
    EXPECT_FALSE(r.session->selectiveMode());
    EXPECT_TRUE(r.readRun.readToEmptyLine);
    EXPECT_EQ(t.rowCount(Archive::Monthly), 4);
}

namespace {
// Every archive of the simulated corrector filled; faults added by the caller.
QByteArray allArchivesScenario(const char* faults) {
    return QByteArray(
               R"({"role": "corrector", "address": 1, "serial": 1234, "identification": "V Tarn-sim V47a",
        "archive": {"start": "01.03.2024 00:00", "hours": 30, "flow": 10},
        "abnormal": [{"at": "01.03.2024 05:10", "current": 1, "previous": 0, "volume": 2.5, "standardVolume": 2.75},
                     {"at": "01.03.2024 06:20", "current": 0, "previous": 1, "volume": 0.5, "standardVolume": 0.25}],
        "interference": [{"at": "01.03.2024 07:00", "code": 8, "kind": 5, "by": 1, "before": "00020000",
                          "after": "02020000"},
                         {"at": "01.03.2024 07:05", "code": 6, "kind": 0, "by": 4, "before": "07000000",
                          "after": "09000000"}],
        "service": [{"at": "01.03.2024 08:00", "current": 4660, "previous": 0}],
        "operative": {"start": "01.03.2024 09:00", "count": 20, "stepMinutes": 3, "flow": 100, "counterStep": 10},
        "faults": )") +
           faults + "}";
}

QList<QList<QStringList>> allTables(const ArchiveTables& t) {
    QList<QList<QStringList>> tables;
    for (Archive a : kArchives)
        tables.append(t.rows(a));
    return tables;
}
} // namespace

TEST(CorrectorSession, EveryArchiveReadWholeAndTheSameThroughAFaultyLine) {
    Rig clean(allArchivesScenario("{}").constData());
    clean.settings.readChoice = QStringLiteral("1111110000100"); // the seven archives
    clean.readRun.readToEmptyLine = false;                       // every page of each
    clean.session->startOperation(corrector::operation::ReadAll);
    ASSERT_TRUE(test::waitUntil([&] { return clean.closed; }, 30000));
    EXPECT_EQ(clean.readRun.completedKinds(), (QList<int>{1, 3, 4, 5, 6, 7, 9, 10}));
    const ArchiveTables& t = clean.model().archives();
    EXPECT_EQ(t.rowCount(Archive::Hourly), 204 * 8);
    EXPECT_EQ(t.rowCount(Archive::Operative), 127 * 16 + 8);
    // What the scenario put in, cell for cell.
    EXPECT_EQ(t.rows(Archive::Abnormal).at(0),
              (QStringList{"00000", "01.03.2024", "05:10", "0001", "0000", "2.50", "2.75"}));
    EXPECT_EQ(t.rows(Archive::Abnormal).at(1).mid(3), (QStringList{"0000", "0001", "0.50", "0.25"}));
    EXPECT_EQ(
        t.rows(Archive::Interference).at(0).mid(2),
        (QStringList{"07:00", "ОПЕР._A", "единица_давления", "кгс/см2", "МПа", "08510002000002020000"}));
    EXPECT_EQ(t.rows(Archive::Interference).at(1).mid(3, 4),
              (QStringList{"МАСТ._E", "контрактн.время", "7", "9"}));
    EXPECT_EQ(t.rows(Archive::Service).at(0), (QStringList{"00000", "01.03.2024", "08:00", "1234", "0000"}));
    EXPECT_EQ(t.cell(6, 2, 19), QStringLiteral("09:57"));
    EXPECT_EQ(t.rows(Archive::Operative).at(20), QStringList{"00020"});
    EXPECT_EQ(t.cell(1, 3, 29), QStringLiteral("10.00"));
    EXPECT_TRUE(findGaps(t).isEmpty());

    // Bad records on some pages (fewer than three times), a silence, split replies: the same tables.
    Rig faulty(allArchivesScenario(R"({"silence": 1, "chunks": [1, 100, 50], "chunkMs": 0,
        "badRecordPages": [{"bank": "low", "page": 53, "record": 2, "times": 2},
                           {"bank": "low", "page": 0, "record": 1, "times": 1},
                           {"bank": "high", "page": 129, "record": 0, "times": 2},
                           {"bank": "high", "page": 127, "record": 7, "times": 1},
                           {"bank": "high", "page": 233, "record": 5, "times": 2}]})")
                   .constData());
    faulty.settings.readChoice = clean.settings.readChoice;
    faulty.readRun.readToEmptyLine = false;
    faulty.session->startOperation(corrector::operation::ReadAll);
    ASSERT_TRUE(test::waitUntil([&] { return faulty.closed; }, 30000));
    EXPECT_EQ(faulty.readRun.completedKinds(), clean.readRun.completedKinds());
    EXPECT_EQ(allTables(faulty.model().archives()), allTables(t));
    EXPECT_EQ(faulty.count("22 35 00 A8"), 3); // page 53 of the hourly archive: twice spoilt, then clean
}

TEST(CorrectorSession, TheServiceArchiveIsReadToItsDepthAndABlankedRecordIsTold) {
    // 500 service records in a corrector whose archive holds 496 (records 0..495 on pages 232..247); one
    // record stays bad on every read of its page, one past the depth is broken too.
    QByteArray service = "[";
    for (int i = 0; i < 500; ++i)
        service +=
            QStringLiteral(R"(%1{"at": "%2", "current": %3, "previous": 0})")
                .arg(i ? "," : "")
                .arg(QDateTime(QDate(2024, 3, 1), QTime(0, 0)).addSecs(60 * i).toString("dd.MM.yyyy HH:mm"))
                .arg(i + 1)
                .toUtf8();
    service += "]";
    Rig r(
        QByteArray(R"({"role": "corrector", "address": 1, "serial": 1234, "identification": "V Tarn-sim V47a",
        "service": )" +
                   service + R"(, "faults": {"badRecordPages": [
            {"bank": "high", "page": 240, "record": 3, "times": 9},
            {"bank": "high", "page": 247, "record": 20, "times": 9}]}})")
            .constData());
    r.settings.readChoice = QStringLiteral("0000000000100"); // the service archive
    r.readRun.readToEmptyLine = false;
    int pages = 0;
    QObject::connect(&r.session->link(), &EngineParameterLink::pageAccepted, [&pages] { ++pages; });
    r.session->startOperation(corrector::operation::ReadAll);
    ASSERT_TRUE(test::waitUntil([&] { return r.closed; }, 30000));
    EXPECT_EQ(pages, 3 + 16); // the parameter pages, then the service archive's pages 232..247
    const ArchiveTables& t = r.model().archives();
    ASSERT_EQ(t.rowCount(Archive::Service), 496);
    EXPECT_EQ(t.rows(Archive::Service).last(), (QStringList{"00495", "01.03.2024", "08:15", "01F0", "0000"}));
    EXPECT_EQ(t.rows(Archive::Service).at(8 * 32 + 3), QStringList{"00259"}); // blanked: its number only
    EXPECT_EQ(t.blanked(Archive::Service), 1);
    EXPECT_TRUE(r.notifier.texts().contains(blankedRecordsLines(t, r.model().languageIndex()).join('\n')));
}

TEST(CorrectorSession, AReadingIsStoredUnderItsPointAddedThroughTheConfigurator) {
    Rig r(R"({"role": "corrector", "address": 1, "serial": 1234, "identification": "T Tarn-sim T47a",
        "archive": {"start": "01.03.2024 00:00", "hours": 30, "flow": 10}})");
    r.settings.readChoice = QStringLiteral("1000000000000"); // the hourly archive
    r.session->startOperation(corrector::operation::ReadAll);
    ASSERT_TRUE(test::waitUntil([&] { return r.closed; }));
    test::TempHome home;
    database::writeMissingSchemaFiles(home.root());
    const database::Schemas schemas = database::loadSchemas(home.root());
    database::SqliteStorage storage(home.root(), schemas);

    // A synchronised copy takes its database from the master: nothing is asked, added or stored.
    StoreRequestHooks leave;
    bool asked = false;
    leave.configureNewPoint = [&asked](database::Point&) { return asked = true, false; };
    r.settings.syncOn = true;
    auto result =
        storeAfterReading(home.root(), storage, r.model().reading(), r.settings, 1, kRussian, {3}, leave);
    r.settings.syncOn = false;
    EXPECT_FALSE(result.stored);
    EXPECT_EQ(result.error, synchronisedCopyText());
    EXPECT_FALSE(asked);
    database::Registry registry(home.root(), schemas);
    EXPECT_TRUE(registry.all().isEmpty());

    // The user leaves the configurator: nothing is added, nothing stored.
    result =
        storeAfterReading(home.root(), storage, r.model().reading(), r.settings, 1, kRussian, {3}, leave);
    EXPECT_TRUE(asked);
    EXPECT_FALSE(result.stored);
    EXPECT_TRUE(result.error.isEmpty());
    EXPECT_TRUE(registry.all().isEmpty());

    // Saved: the point with the user's settings, then its hours.
    StoreRequestHooks save;
    save.configureNewPoint = [](database::Point& p) {
        p.config[database::config::Owner] = QStringLiteral("Облгаз");
        return true;
    };
    result = storeAfterReading(home.root(), storage, r.model().reading(), r.settings, 1, kRussian, {3}, save);
    ASSERT_TRUE(result.stored) << result.error.toStdString();
    EXPECT_TRUE(result.added);
    EXPECT_EQ(result.identifier, QStringLiteral("t01234"));
    EXPECT_EQ(result.result.kinds[0].stored, 30);
    const auto point = registry.find(QStringLiteral("t01234"));
    ASSERT_TRUE(point);
    EXPECT_EQ(point->config[database::config::Owner], QStringLiteral("Облгаз"));
    EXPECT_EQ(point->config[database::config::Flags], QStringLiteral("01000000000"));
    // A known point is stored at once, without the configurator.
    result =
        storeAfterReading(home.root(), storage, r.model().reading(), r.settings, 1, kRussian, {3}, leave);
    EXPECT_TRUE(result.stored);
    EXPECT_FALSE(result.added);
    EXPECT_EQ(result.result.kinds[0].dropped, 30);
}

// A registry that cannot be read or written is an error, never an unknown corrector: the store stops,
// says why and changes nothing.
TEST(CorrectorSession, ARegistryThatFailsStopsTheStoreAndAddsNothing) {
    Rig r(R"({"role": "corrector", "address": 1, "serial": 1234, "identification": "T Tarn-sim T47a",
        "archive": {"start": "01.03.2024 00:00", "hours": 30, "flow": 10}})");
    r.settings.readChoice = QStringLiteral("1000000000000");
    r.session->startOperation(corrector::operation::ReadAll);
    ASSERT_TRUE(test::waitUntil([&] { return r.closed; }));
    test::TempHome home;
    database::writeMissingSchemaFiles(home.root());
    const database::Schemas schemas = database::loadSchemas(home.root());
    database::SqliteStorage storage(home.root(), schemas);
    qputenv("TARN_DB_BUSY_WAIT_MS", "20");
    bool configuratorOpened = false;
    StoreRequestHooks hooks;
    hooks.configureNewPoint = [&](database::Point&) { return configuratorOpened = true; };
    auto storedHours = [&] {
        return database::storedRows(home.root(), schemas, database::TableKind::Hourly,
                                    QStringLiteral("t01234"))
            .size();
    };
    auto requests = [&] {
        return database::storedRows(home.root(), schemas, database::TableKind::RequestLog,
                                    QStringLiteral("t01234"))
            .size();
    };
    // Known point; another program holds the registry in a write transaction: the header (a new link
    // address) cannot be written.
    ASSERT_TRUE(
        storeAfterReading(home.root(), storage, r.model().reading(), r.settings, 1, kRussian, {3}, hooks)
            .stored);
    const QString registryPath = database::tablePath(home.root(), database::TableKind::Registry);
    {
        test::SqliteHolder holder(registryPath);
        ASSERT_TRUE(holder.lockForWriting());
        configuratorOpened = false;
        const auto result =
            storeAfterReading(home.root(), storage, r.model().reading(), r.settings, 7, kRussian, {3}, hooks);
        EXPECT_FALSE(result.stored);
        EXPECT_FALSE(result.error.isEmpty());
        EXPECT_FALSE(configuratorOpened);
    }
    EXPECT_EQ(requests(), 1); // only the first store's request
    EXPECT_EQ(database::Registry(home.root(), schemas).find(QStringLiteral("t01234"))->address, 1);

    // A damaged registry: the point cannot be looked up, so it is neither added again nor stored.
    const qsizetype hoursBefore = storedHours();
    ASSERT_TRUE(test::damageTableFile(registryPath));
    const auto result =
        storeAfterReading(home.root(), storage, r.model().reading(), r.settings, 1, kRussian, {3}, hooks);
    EXPECT_FALSE(result.stored);
    EXPECT_FALSE(result.added);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_FALSE(configuratorOpened);
    EXPECT_EQ(storedHours(), hoursBefore);
    EXPECT_EQ(requests(), 1);
    qunsetenv("TARN_DB_BUSY_WAIT_MS");
}
