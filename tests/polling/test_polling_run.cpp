// The polling engine against simulated correctors and a simulated modem in process: what a night's poll
// leaves in the database, the join table and the message windows.
#include "CorrectorRole.h"
#include "ModemRole.h"
#include "SimLine.h"
#include "common/Language.h"
#include "corrector/CorrectorWindowModel.h"
#include "database/JoinTable.h"
#include "database/ProtocolQueries.h"
#include "database/Registry.h"
#include "database/Storing.h"
#include "link/FakeSerialPort.h"
#include "polling/DayBoard.h"
#include "polling/PollingRun.h"
#include "shell/AppContext.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::polling;

namespace {

constexpr const char* kCorrector = R"({"role": "corrector", "address": %1, "serial": %2,
    "identification": "V Tarn-sim V47a", "passwords": ["1234", "2", "3", "4", "5", "6", "7"],
    "clockOffsetSec": %3, "archive": {"start": "01.03.2024 00:00", "hours": 96, "flow": 10}})";

// Long enough for a group of twenty telephone points, in simulated time.
constexpr qint64 kNight = 6 * 3'600'000;

// Everything in process runs on one manual clock, the simulator's line and modem included: a night of
// calls passes in simulated time.
struct Rig {
    test::TempHome home;
    test::RecordingNotifier notifier;
    ManualClock clock;
    link::FakeSerialPort* port = nullptr;
    std::unique_ptr<shell::AppContext> ctx;
    std::unique_ptr<sim::InProcessLine> line;
    std::unique_ptr<PollingRun> run;
    QStringList messages;
    QStringList sequence;
    int alarms = 0;

    Rig() {
        auto p = std::make_unique<link::FakeSerialPort>();
        port = p.get();
        port->existing = {QStringLiteral("/dev/ttyS0")};
        ctx = std::make_unique<shell::AppContext>(home.root(), notifier, std::move(p), clock);
        database::writeMissingSchemaFiles(home.root());
        ctx->schemas = database::loadSchemas(home.root());
        ctx->setLanguageIndex(kRussian);
        ctx->operationStart().stepIntervalMs = 1;
        line = std::make_unique<sim::InProcessLine>(*port);
        line->setClock(clock);
        run = std::make_unique<PollingRun>(ctx->pollingParts(), kRussian);
        run->afterWriteDelayMs = 1;
        QObject::connect(run.get(), &PollingRun::message,
                         [this](const QString& l, LineColour) { messages.append(l.mid(11)); });
        QObject::connect(run.get(), &PollingRun::sequence,
                         [this](const QString& l, LineColour) { sequence.append(l.mid(9)); });
        QObject::connect(run.get(), &PollingRun::alarm, [this] { ++alarms; });
    }
    sim::CorrectorRole* addCorrector(int address, int serial, int clockOffsetSec = 0) {
        QString error;
        const QString json = QString::fromUtf8(kCorrector).arg(address).arg(serial).arg(clockOffsetSec);
        auto role = sim::CorrectorRole::fromJson(QJsonDocument::fromJson(json.toUtf8()).object(), error);
        EXPECT_TRUE(role) << error.toStdString();
        auto* c = static_cast<sim::CorrectorRole*>(role.get());
        line->addRole(std::move(role));
        return c;
    }
    // The roles of a scenario file of the simulator, the modem's calls logged to calls.jsonl.
    sim::ModemRole* loadScenario(const char* name) {
        QFile f(QStringLiteral(TARN_SOURCE_DIR "/tools/corrector-sim/scenarios/") + QLatin1String(name));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        QJsonObject scenario = QJsonDocument::fromJson(f.readAll()).object();
        QJsonArray devices = scenario.value(QStringLiteral("devices")).toArray();
        QJsonObject modem = devices.at(0).toObject();
        modem.insert(QStringLiteral("callLog"), callLogPath());
        devices[0] = modem;
        scenario.insert(QStringLiteral("devices"), devices);
        std::vector<std::unique_ptr<sim::Role>> roles;
        QString error;
        EXPECT_TRUE(sim::loadScenarioJson(QJsonDocument(scenario).toJson(), roles, error))
            << error.toStdString();
        auto* m = dynamic_cast<sim::ModemRole*>(roles.front().get());
        for (auto& role : roles)
            line->addRole(std::move(role));
        return m;
    }
    QString callLogPath() const { return home.path("Work", QStringLiteral("calls.jsonl")); }
    // The modem's call log: the events in order ("dialled", "connected", "ended").
    QStringList callEvents() const {
        QFile f(callLogPath());
        QStringList events;
        if (!f.open(QIODevice::ReadOnly)) return events;
        for (const QByteArray& l : f.readAll().split('\n'))
            if (!l.trimmed().isEmpty())
                events.append(QJsonDocument::fromJson(l).object().value(QStringLiteral("event")).toString());
        return events;
    }
    void addPhonePoint(const QString& id, const QString& phone, const QString& modemRepeats) {
        addPoint(id, id, 1, QStringLiteral("01100001000"), QStringLiteral("телефон"));
        database::Registry registry(home.root(), ctx->schemas);
        database::PointConfig c = registry.find(id)->config;
        c[database::config::Phone] = phone;
        c[database::config::Password] = QStringLiteral("1111");
        c[database::config::ModemRepeats] = modemRepeats;
        registry.updateConfig(id, c);
    }
    // A cable point at the address, reading what the flags say (positions 1..11).
    void addPoint(const QString& id, const QString& serial, int address, const QString& flags,
                  const QString& link = QStringLiteral("прямое соединение")) {
        database::Registry registry(home.root(), ctx->schemas);
        database::Point p;
        p.identifier = id;
        p.serial = serial;
        p.model = QStringLiteral("ТАРН-2.01");
        p.address = address;
        p.config = {QStringLiteral("Облгаз"),
                    {},
                    link,
                    QStringLiteral("COM1"),
                    QStringLiteral("1234"),
                    {},
                    QStringLiteral("19200"),
                    QStringLiteral("200"),
                    QStringLiteral("30"),
                    QStringLiteral("2"),
                    QStringLiteral("1"),
                    QStringLiteral("1"),
                    QStringLiteral("3"),
                    {},
                    {},
                    flags};
        ASSERT_TRUE(registry.add(p));
        run->reloadPoints();
    }
    int pointIndex(const QString& id) const {
        for (int i = 0; i < run->pointLines().size(); ++i)
            if (run->pointLines().at(i).endsWith(id)) return i;
        return -1;
    }
    bool pollPoint(const QString& id) {
        messages.clear();
        sequence.clear();
        run->setTimersRunning(true);
        if (!run->startPoint(pointIndex(id))) return false;
        return clock.runUntil([&] { return !run->running(); });
    }
    QList<database::JoinRow> joins() const {
        return database::joinRowsOfDay(home.root(), ctx->schemas, QDate::currentDate());
    }
    QList<QStringList> stored(database::TableKind kind, const QString& id) const {
        return database::storedRows(home.root(), ctx->schemas, kind, id);
    }
    // A group of every registered point, saved as the configurator saves it; the console lists it.
    void saveGroupOfAllPoints(const QString& name, const QString& flags) {
        Group g;
        g.name = name;
        g.flags = flags;
        for (const QString& l : run->pointLines())
            g.members.append({true, l});
        ASSERT_TRUE(
            saveGroup(home.root(), {{}, {}, g}, kRussian, QDateTime::currentDateTime(), {}).error.isEmpty());
        run->reloadGroups();
    }
    // The first group of the list, polled to its end.
    bool pollFirstGroup() {
        sequence.clear();
        run->setTimersRunning(true);
        return run->startGroup(0) && clock.runUntil([&] { return !run->running(); }, kNight);
    }
    // Requests for archive pages (either bank) since the writes were last cleared.
    int archivePageRequests() const {
        int n = 0;
        for (const QByteArray& w : port->writes)
            n += !w.isEmpty() && (static_cast<quint8>(w.at(0)) & 0xE0) == 0x20 ? 1 : 0;
        return n;
    }
};

// "0" then hourly, daily, monthly, abnormal, operative, gas, clock, interference, measurement, service.
const QString kDailyOnly = QStringLiteral("00100000000");

} // namespace

TEST(PollingRun, ADailyOnlyCablePointIsReadStoredAndReadOnlyForNewRecordsNextTime) {
    Rig r;
    r.addCorrector(1, 1234);
    r.addPoint(QStringLiteral("01234"), QStringLiteral("01234"), 1, kDailyOnly);
    ASSERT_TRUE(r.pollPoint(QStringLiteral("01234")));
    EXPECT_EQ(r.sequence.first(), QStringLiteral("*СТАРТ* прибора - \"ТАРН-2.01   №01234  \""));
    EXPECT_EQ(r.sequence.last(), QStringLiteral("*НОРМА* прибора - \"ТАРН-2.01   №01234  \""));
    EXPECT_TRUE(r.messages.contains(QStringLiteral("читать весь архив")));
    EXPECT_GT(r.archivePageRequests(), 0);
    EXPECT_FALSE(r.messages.contains(QStringLiteral("старт - \"часовой архив\"")));
    const int days = static_cast<int>(r.stored(database::TableKind::Daily, QStringLiteral("01234")).size());
    EXPECT_GE(days, 3);
    EXPECT_TRUE(r.stored(database::TableKind::Hourly, QStringLiteral("01234")).isEmpty());
    ASSERT_EQ(r.joins().size(), 1);
    const database::JoinRow j = r.joins().first();
    EXPECT_EQ(j.group, QStringLiteral("--"));
    EXPECT_EQ(j.identifier, QStringLiteral("01234"));
    EXPECT_EQ(j.mode, 1);
    EXPECT_EQ(j.modeText, QStringLiteral("выборочный опрос - корректор"));
    EXPECT_EQ(j.flagModif, QStringLiteral("2"));
    EXPECT_EQ(j.result, QStringLiteral("норма"));
    EXPECT_EQ(j.idJoin, QStringLiteral("1"));
    EXPECT_EQ(r.alarms, 0);
    // The parameters of the poll are the point's parameter file from now on.
    EXPECT_TRUE(r.home.exists(folder::Param, QStringLiteral("p_01234.000")));

    // The next night: nothing new in the corrector, so no archive page is asked for.
    r.port->writes.clear();
    ASSERT_TRUE(r.pollPoint(QStringLiteral("01234")));
    EXPECT_TRUE(r.messages.contains(QStringLiteral("номера записей в БД и приборе равны")));
    EXPECT_EQ(r.sequence.last(), QStringLiteral("*НОРМА* прибора - \"ТАРН-2.01   №01234  \""));
    EXPECT_EQ(r.archivePageRequests(), 0) << "an archive page was read";
    EXPECT_EQ(r.stored(database::TableKind::Daily, QStringLiteral("01234")).size(), days);
    EXPECT_EQ(r.stored(database::TableKind::RequestLog, QStringLiteral("01234")).size(), 2);
}

TEST(PollingRun, TheClockIsCorrectedOnlyBeyondTwoMinutesAndByNineAtMost) {
    struct Case {
        int minutesBehind;
        int correction;
    };
    for (const Case c : {Case{2, 0}, Case{3, 3}, Case{15, 9}, Case{-4, -4}}) {
        Rig r;
        r.addCorrector(1, 1234, -c.minutesBehind * 60);
        r.addPoint(QStringLiteral("01234"), QStringLiteral("01234"), 1, QStringLiteral("00000001000"));
        ASSERT_TRUE(r.pollPoint(QStringLiteral("01234")));
        ASSERT_EQ(r.run->summaries().size(), 1);
        const PointSummary& s = r.run->summaries().first();
        EXPECT_EQ(s.result, QStringLiteral("норма")) << c.minutesBehind;
        EXPECT_EQ(s.clockCorrection, c.correction) << c.minutesBehind;
        EXPECT_EQ(s.clockCorrected, c.correction != 0) << c.minutesBehind;
        EXPECT_EQ(r.messages.contains(QStringLiteral("коррекция времени - зап. коррекции времени")),
                  c.correction != 0);
    }
}

TEST(PollingRun, TheClockComparesDateAndTimeAsOneTimestamp) {
    const QDateTime computer(QDate(2026, 12, 10), QTime(0, 1));
    EXPECT_EQ(checkClock(computer, computer.addSecs(-3 * 60)).correction, 3);
    EXPECT_FALSE(checkClock(computer, computer.addSecs(-3 * 60)).wrongDate);
    EXPECT_EQ(checkClock(computer, computer.addSecs(60)).correction, 0);
    EXPECT_EQ(checkClock(computer, computer.addSecs(40 * 60)).correction, -9);
    EXPECT_TRUE(checkClock(computer, computer.addDays(-1)).wrongDate);
    EXPECT_TRUE(checkClock(computer, QDateTime()).wrongDate);
}

TEST(PollingRun, AGroupGoesOnPastFailedPointsAndSummarisesAsError) {
    Rig r;
    r.addCorrector(1, 1234);
    r.addCorrector(2, 2222); // answers at the address of a point registered with another serial
    r.addPoint(QStringLiteral("01234"), QStringLiteral("01234"), 1, kDailyOnly);
    r.addPoint(QStringLiteral("05555"), QStringLiteral("05555"), 2, kDailyOnly);
    r.addPoint(QStringLiteral("06666"), QStringLiteral("06666"), 3, kDailyOnly, QStringLiteral("нет связи"));
    r.addPoint(QStringLiteral("07777"), QStringLiteral("07777"), 4, kDailyOnly, QStringLiteral("телефон"));
    r.saveGroupOfAllPoints(QStringLiteral("Котельні"), QStringLiteral("0010000000"));
    ASSERT_TRUE(r.pollFirstGroup());

    EXPECT_EQ(r.sequence.first(), QStringLiteral("*СТАРТ* группы   - \"Котельні\""));
    EXPECT_EQ(r.sequence.last(), QStringLiteral("*СТОП*  группы   - \"Котельні\""));
    QStringList results;
    for (const database::JoinRow& j : r.joins())
        results.append(j.identifier + QLatin1Char(' ') + j.result);
    EXPECT_EQ(results,
              (QStringList{QStringLiteral("01234 норма"), QStringLiteral("05555 ошибка обмена с прибором"),
                           QStringLiteral("06666 не определен вид связи"),
                           QStringLiteral("07777 нет номера телефона"), QStringLiteral("-- ошибка")}));
    EXPECT_EQ(r.joins().last().idJoin, QStringLiteral("2"));
    EXPECT_EQ(r.joins().last().group.trimmed(), QStringLiteral("Котельні"));
    EXPECT_EQ(
        r.messages.filter(QStringLiteral("Err: номер корр. в БД \"ТАРН-2.01   №05555  \" чт. \"")).size(), 1);
    EXPECT_EQ(r.run->summaries().at(1).error, QStringLiteral("ном.выз.прибора не равен ном.в БД"));
    EXPECT_TRUE(r.stored(database::TableKind::Daily, QStringLiteral("05555")).isEmpty());
    EXPECT_GT(r.alarms, 0);
}

TEST(PollingRun, AStopOnACablePointStoresWhatWasReadAndEndsInOrder) {
    Rig r;
    r.addCorrector(1, 1234);
    r.addPoint(QStringLiteral("01234"), QStringLiteral("01234"), 1, QStringLiteral("01100000000"));
    r.run->setTimersRunning(true);
    ASSERT_TRUE(r.run->startPoint(0));
    // The daily archive is done and the hourly one under way.
    ASSERT_TRUE(r.clock.runUntil([&] {
        return r.messages.contains(QStringLiteral("старт - \"суточный архив\"")) ||
               r.messages.filter(QStringLiteral("чт. часовой")).size() > 2;
    }));
    ASSERT_TRUE(r.clock.runUntil([&] {
        return r.messages.filter(QStringLiteral("чт. суточный")).size() > 0 ||
               r.messages.filter(QStringLiteral("чт. часовой")).size() > 2;
    }));
    r.run->stop();
    ASSERT_TRUE(r.clock.runUntil([&] { return !r.run->running(); }));
    EXPECT_EQ(r.sequence.last(), QStringLiteral("*СТОП ОПРОС*"));
    EXPECT_FALSE(r.stored(database::TableKind::Hourly, QStringLiteral("01234")).isEmpty());
    EXPECT_FALSE(r.ctx->engine().lineUse().pollingRun);
}

TEST(PollingRun, AnInterruptedReadFailsThePointInsteadOfHangingTheRun) {
    Rig r;
    r.addCorrector(1, 1234);
    r.addPoint(QStringLiteral("01234"), QStringLiteral("01234"), 1, QStringLiteral("01000000000"));
    r.run->interruptedAfterTicks = 20;
    r.run->setTimersRunning(true);
    ASSERT_TRUE(r.run->startPoint(0));
    ASSERT_TRUE(
        r.clock.runUntil([&] { return !r.messages.filter(QStringLiteral("чт. часовой")).isEmpty(); }));
    r.ctx->engine().abandonRequest();
    ASSERT_TRUE(r.clock.runUntil([&] { return !r.run->running(); }));
    EXPECT_TRUE(r.messages.contains(QStringLiteral("прерванный режим чтения")));
    EXPECT_EQ(r.run->summaries().first().result, QStringLiteral("ошибка обмена с прибором"));
    EXPECT_EQ(r.sequence.last(), QStringLiteral("*БРАК*  прибора - \"ТАРН-2.01   №01234  \""));
}

TEST(PollingRun, ABusyNumberIsDialledAsOftenAsTheRowSaysThenSkipped) {
    Rig r;
    r.loadScenario("group.json");
    r.addPhonePoint(QStringLiteral("10105"), QStringLiteral("5550105"), QStringLiteral("3"));
    ASSERT_TRUE(r.pollPoint(QStringLiteral("10105")));
    int dials = 0;
    for (const QByteArray& w : r.port->writes)
        dials += w.contains("ATDP") ? 1 : 0;
    EXPECT_EQ(dials, 3);
    EXPECT_EQ(r.messages.filter(QStringLiteral("ожидаем 1сек. следующий набор номера")).size(), 2);
    EXPECT_EQ(r.sequence.last(),
              QStringLiteral("*НЕТ СВЯЗИ С МОДЕМОМ - \"5550105\" * коррект. - \"ТАРН-2.01   №10105  \""));
    EXPECT_EQ(r.joins().last().result, QStringLiteral("нет связи с модемом"));
    // No call was made: the result line and the join row say why; the request log, which keeps the
    // calls and readings, has nothing for it.
    EXPECT_TRUE(r.stored(database::TableKind::RequestLog, QStringLiteral("10105")).isEmpty());
}

TEST(PollingRun, AGroupOfTwentyTelephonePointsRunsUnattendedAndTheSecondNightStoresNothingTwice) {
    Rig r;
    sim::ModemRole* modem = r.loadScenario("group.json");
    QStringList ids;
    for (int n = 1; n <= 20; ++n) {
        const QString id = QStringLiteral("101%1").arg(n, 2, 10, QLatin1Char('0'));
        r.addPhonePoint(id, QStringLiteral("55501%1").arg(n, 2, 10, QLatin1Char('0')), QStringLiteral("1"));
        ids.append(id);
    }
    r.saveGroupOfAllPoints(QStringLiteral("Ніч"), QStringLiteral("0110000100")); // hourly, daily, clock

    const auto night = [&r] {
        EXPECT_TRUE(r.pollFirstGroup());
        QMap<QString, QString> results;
        for (const PointSummary& s : r.run->summaries())
            results.insert(s.identifier, s.error.isEmpty() ? s.result : s.error);
        return results;
    };
    const QMap<QString, QString> first = night();
    ASSERT_EQ(first.size(), 20);
    EXPECT_EQ(first.value(QStringLiteral("10103")), QStringLiteral("нет связи с прибором"));
    EXPECT_EQ(first.value(QStringLiteral("10111")), QStringLiteral("нет связи с прибором"));
    EXPECT_EQ(first.value(QStringLiteral("10105")), QStringLiteral("нет связи с модемом"));
    EXPECT_EQ(first.value(QStringLiteral("10107")), QStringLiteral("ном.выз.прибора не равен ном.в БД"));
    EXPECT_EQ(first.value(QStringLiteral("10109")), QStringLiteral("норма"));
    EXPECT_EQ(first.value(QStringLiteral("10113")), QStringLiteral("норма"));
    EXPECT_EQ(first.values().count(QStringLiteral("норма")), 16);
    const PointSummary clockOff = r.run->summaries().at(8);
    EXPECT_EQ(clockOff.clockCorrection, 9);
    EXPECT_EQ(r.sequence.last(), QStringLiteral("*СТОП*  группы   - \"Ніч\""));
    EXPECT_EQ(r.joins().last().result, QStringLiteral("ошибка"));
    // Every call that came up was ended.
    const QStringList events = r.callEvents();
    EXPECT_EQ(events.count(QStringLiteral("connected")), events.count(QStringLiteral("ended")));
    EXPECT_FALSE(modem->callUp());
    const qsizetype hours = r.stored(database::TableKind::Hourly, QStringLiteral("10101")).size();
    EXPECT_EQ(hours, 72);

    // The second night finds nothing new and stores nothing twice.
    const QMap<QString, QString> second = night();
    EXPECT_EQ(second.values().count(QStringLiteral("норма")), 16);
    EXPECT_EQ(r.stored(database::TableKind::Hourly, QStringLiteral("10101")).size(), hours);
    for (const PointSummary& s : r.run->summaries())
        EXPECT_TRUE(s.stored.isEmpty()) << s.identifier.toStdString();
}

TEST(PollingRun, TheScheduleStartsTheDueGroupRecordsItsRowAndShowsItAgainAfterARestart) {
    Rig r;
    r.addCorrector(1, 1234);
    r.addPoint(QStringLiteral("01234"), QStringLiteral("01234"), 1, kDailyOnly);
    const QDate today = QDate::currentDate();
    r.clock.setNow(QDateTime(today, QTime(8, 5)));
    Group g;
    g.name = QStringLiteral("Котельні");
    g.schedule = {QStringLiteral("07:00-08:00-00:00"), QStringLiteral("08:00-10:00-01:00")};
    g.flags = QStringLiteral("0010000000");
    g.members = {{true, r.run->pointLines().first()}};
    ASSERT_TRUE(
        saveGroup(r.home.root(), {{}, {}, g}, kRussian, QDateTime::currentDateTime(), {}).error.isEmpty());
    r.run->reloadGroups();
    r.run->cycleIntervalMs = 10;
    ASSERT_TRUE(r.run->startSchedule());
    QStringList statuses;
    for (const ScheduleRow& row : r.run->schedule().rows)
        statuses.append(row.begin + QLatin1Char(' ') + row.status);
    EXPECT_EQ(statuses, (QStringList{QStringLiteral("07:00 пропущ."), QStringLiteral("08:00 --"),
                                     QStringLiteral("09:00 --")}));
    r.run->setTimersRunning(true);
    ASSERT_TRUE(
        r.clock.runUntil([&] { return r.run->schedule().rows.at(1).status == QStringLiteral("норма"); }));
    EXPECT_EQ(r.run->schedule().rows.at(1).polled, QStringLiteral("08:05"));
    EXPECT_EQ(r.run->mode(), PollMode::Schedule); // waits for the next window
    EXPECT_EQ(r.run->schedule().rows.at(2).status, QStringLiteral("--"));
    const database::JoinRow summary = r.joins().last();
    EXPECT_EQ(summary.idJoin, QStringLiteral("2"));
    EXPECT_EQ(summary.mode, 3);
    EXPECT_EQ(summary.scheduleRow, 2);
    EXPECT_EQ(summary.flagModif, QStringLiteral("0"));
    EXPECT_EQ(r.joins().first().scheduleRow, 2); // the point's row names the same schedule row
    r.run->stop();
    EXPECT_FALSE(r.run->running());

    // A restarted console shows what was done; a group saved again renumbers today's rows with it.
    r.run->buildSchedule(false);
    EXPECT_EQ(r.run->schedule().rows.at(1).status, QStringLiteral("норма"));
    const GroupEntry entry = loadGroupList(r.home.root()).first();
    Group earlier = loadGroup(r.home.root(), entry.file);
    Group other;
    other.name = QStringLiteral("Школи");
    other.schedule = {QStringLiteral("06:00-06:30-00:00")};
    other.members = earlier.members;
    ASSERT_TRUE(saveGroup(r.home.root(), {{}, {}, other}, kRussian, QDateTime::currentDateTime(), {})
                    .error.isEmpty());
    r.run->buildSchedule(true, QStringLiteral("Школи"));
    EXPECT_EQ(r.run->schedule().rows.at(0).group.trimmed(), QStringLiteral("Школи"));
    EXPECT_EQ(r.run->schedule().rows.at(2).status, QStringLiteral("норма"));
    for (const database::JoinRow& j : r.joins())
        EXPECT_EQ(j.scheduleRow, 3) << j.identifier.toStdString();
}

TEST(PollingRun, AStopDuringACallHangsUpAndStoresWhatWasRead) {
    Rig r;
    r.loadScenario("group.json");
    r.addPhonePoint(QStringLiteral("10101"), QStringLiteral("5550101"), QStringLiteral("1"));
    r.run->setTimersRunning(true);
    ASSERT_TRUE(r.run->startPoint(0));
    ASSERT_TRUE(
        r.clock.runUntil([&] { return r.messages.filter(QStringLiteral("чт. часовой")).size() >= 3; }));
    r.run->stop();
    ASSERT_TRUE(r.clock.runUntil([&] { return !r.run->running(); }));
    EXPECT_EQ(r.sequence.last(), QStringLiteral("*СТОП ОПРОС*"));
    EXPECT_GE(r.stored(database::TableKind::Hourly, QStringLiteral("10101")).size(), 16);
    const QStringList events = r.callEvents();
    EXPECT_EQ(events.count(QStringLiteral("connected")), 1);
    EXPECT_EQ(events.count(QStringLiteral("ended")), 1);
}

TEST(PollingRun, TheConnectionTimeRunsUntilTheModemHasHungUpAsItsCallLogShows) {
    Rig r;
    r.loadScenario("group.json");
    r.addPoint(QStringLiteral("10101"), QStringLiteral("10101"), 1, kDailyOnly, QStringLiteral("телефон"));
    {
        database::Registry registry(r.home.root(), r.ctx->schemas);
        database::PointConfig c = registry.find(QStringLiteral("10101"))->config;
        c[database::config::Phone] = QStringLiteral("5550101");
        c[database::config::Password] = QStringLiteral("1111");
        registry.updateConfig(QStringLiteral("10101"), c);
    }
    // The modem's call log and the run share the clock: their times compare as they are.
    const auto at = [](const QString& text) { return QDateTime::fromString(text, Qt::ISODateWithMs); };
    ASSERT_TRUE(r.pollPoint(QStringLiteral("10101")));

    QFile f(r.callLogPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QJsonObject connected, ended;
    for (const QByteArray& l : f.readAll().split('\n')) {
        const QJsonObject e = QJsonDocument::fromJson(l).object();
        if (e.value(QStringLiteral("event")) == QStringLiteral("connected")) connected = e;
        if (e.value(QStringLiteral("event")) == QStringLiteral("ended")) ended = e;
    }
    // The escape reached the modem as an escape: "ATH0" hung the call up, it was not data to the corrector.
    ASSERT_EQ(ended.value(QStringLiteral("by")).toString(), QStringLiteral("ATH"));
    const QList<database::RequestLogEntry> log =
        database::requestLogEntries(r.ctx->storage(), QStringLiteral("10101"), {});
    ASSERT_EQ(log.size(), 1);
    const database::RequestLogEntry& e = log.first();
    // The stored times are whole seconds: each is at or after the modem's own event, so the connection
    // time covers the hang-up exchange up to the modem's answer, not only until "+++" went out.
    const auto secondOf = [](const QDateTime& t) { return t.addMSecs(-t.time().msec()); };
    EXPECT_GE(e.connectionBegin, secondOf(at(connected.value(QStringLiteral("at")).toString())));
    EXPECT_GE(e.connectionEnd, secondOf(at(ended.value(QStringLiteral("at")).toString())));
    EXPECT_NEAR(e.connectionSeconds, e.connectionBegin.secsTo(e.connectionEnd), 1);
    const double modemSeconds = ended.value(QStringLiteral("seconds")).toDouble();
    EXPECT_GE(e.connectionSeconds, static_cast<int>(modemSeconds) - 1);
}

TEST(PollingRun, OurOwnModemSilentStopsTheWholeRun) {
    Rig r;
    std::vector<std::unique_ptr<sim::Role>> roles;
    QString error;
    ASSERT_TRUE(sim::loadScenarioJson(R"({"role": "modem", "silent": ["AT&FE0S0=0"], "guardMs": 50,
        "numbers": {"5550101": {"outcome": "CONNECT"}}})",
                                      roles, error))
        << error.toStdString();
    r.line->addRole(std::move(roles.front()));
    r.addPhonePoint(QStringLiteral("10101"), QStringLiteral("5550101"), QStringLiteral("3"));
    r.addPhonePoint(QStringLiteral("10102"), QStringLiteral("5550101"), QStringLiteral("3"));
    r.saveGroupOfAllPoints(QStringLiteral("Ніч"), QStringLiteral("0010000000"));
    ASSERT_TRUE(r.pollFirstGroup());
    // No redial and no second point: without our modem nothing can be polled.
    EXPECT_EQ(r.sequence.filter(QStringLiteral("*СТАРТ* прибора")).size(), 1);
    EXPECT_EQ(r.sequence.last(), QStringLiteral("*НЕТ СВЯЗИ С МОДЕМОМ ДИСПЕТЧ.*"));
    int dials = 0;
    for (const QByteArray& w : r.port->writes)
        dials += w.contains("ATDP") ? 1 : 0;
    EXPECT_EQ(dials, 0);
    ASSERT_EQ(r.run->summaries().size(), 1);
    EXPECT_EQ(r.run->summaries().first().error, QStringLiteral("нет связи с модемом диспетчерской"));
}

TEST(PollingRun, AnOpenCorrectorWindowStillWorksAfterAPoll) {
    Rig r;
    r.addCorrector(1, 1234);
    r.addPoint(QStringLiteral("01234"), QStringLiteral("01234"), 1, kDailyOnly);
    // The corrector window's session, on the application's gate and read run.
    corrector::CorrectorSession window(r.ctx->engine(), r.ctx->linkPort(), r.ctx->settings(), r.notifier,
                                       r.ctx->operationStart(), r.ctx->readRun(), kRussian);
    r.ctx->readRun().startDelayMs = 1;
    r.ctx->readRun().closeDelayMs = 1;
    corrector::CorrectorSession::Ui ui;
    ui.openReadWindow = [&r](int kind) {
        r.ctx->readRun().open(kind);
        r.ctx->readRun().yes();
    };
    window.setUi(ui);
    bool closed = false;
    QObject::connect(&window, &corrector::CorrectorSession::readRunClosed,
                     [&closed](bool) { closed = true; });

    ASSERT_TRUE(r.pollPoint(QStringLiteral("01234")));
    ASSERT_NE(window.startOperation(corrector::operation::Parameters),
              corrector::OperationStart::StartResult::Refused);
    ASSERT_TRUE(r.clock.runUntil([&] { return closed; }));
    EXPECT_EQ(window.model().text(corrector::Field::HeaderSerial), QStringLiteral("01234"));
}

TEST(PollingRun, ADueGroupWaitsForTheWholeOfAUsersReadNotOnlyTheRequestInFlight) {
    Rig r;
    r.addCorrector(1, 1234);
    r.addPoint(QStringLiteral("01234"), QStringLiteral("01234"), 1, kDailyOnly);
    r.clock.setNow(QDateTime(QDate::currentDate(), QTime(8, 5)));
    Group g;
    g.name = QStringLiteral("Котельні");
    g.schedule = {QStringLiteral("08:00-10:00-00:00")};
    g.flags = QStringLiteral("0010000000");
    g.members = {{true, r.run->pointLines().first()}};
    ASSERT_TRUE(
        saveGroup(r.home.root(), {{}, {}, g}, kRussian, QDateTime::currentDateTime(), {}).error.isEmpty());
    r.run->reloadGroups();
    r.run->cycleIntervalMs = 10;

    // The corrector window's read: the parameters, then the daily archive, with a pause between the two
    // kinds in which the engine has nothing outstanding.
    corrector::CorrectorSession window(r.ctx->engine(), r.ctx->linkPort(), r.ctx->settings(), r.notifier,
                                       r.ctx->operationStart(), r.ctx->readRun(), kRussian);
    window.setLineHold(&r.ctx->lineHold());
    r.ctx->readRun().startDelayMs = 40;
    r.ctx->readRun().closeDelayMs = 1;
    corrector::CorrectorSession::Ui ui;
    ui.openReadWindow = [&r](int kind) {
        r.ctx->readRun().open(kind);
        r.ctx->readRun().yes();
    };
    window.setUi(ui);
    bool readClosed = false;
    bool startedDuringRead = false;
    bool groupStarted = false;
    QObject::connect(&window, &corrector::CorrectorSession::readRunClosed, [&](bool) { readClosed = true; });
    QObject::connect(r.run.get(), &PollingRun::sequence, [&](const QString& line, LineColour) {
        if (!line.contains(QStringLiteral("*СТАРТ* группы"))) return;
        groupStarted = true;
        startedDuringRead = !readClosed;
    });

    ASSERT_NE(window.startOperation(corrector::operation::Daily),
              corrector::OperationStart::StartResult::Refused);
    ASSERT_TRUE(r.ctx->lineHold().held());
    // The group falls due while the read is under way, between its requests.
    ASSERT_TRUE(r.clock.runUntil([&] { return r.port->writes.size() >= 3 && !r.ctx->engine().busy(); }));
    ASSERT_FALSE(readClosed);
    ASSERT_TRUE(r.run->startSchedule());
    r.run->setTimersRunning(true);
    ASSERT_TRUE(
        r.clock.runUntil([&] { return r.run->schedule().rows.at(0).status == QStringLiteral("норма"); }));
    EXPECT_TRUE(readClosed);
    EXPECT_TRUE(groupStarted);
    EXPECT_FALSE(startedDuringRead) << "the group took the line between two requests of the user's read";
    EXPECT_FALSE(r.ctx->lineHold().held());
    EXPECT_EQ(window.model().text(corrector::Field::HeaderSerial), QStringLiteral("01234"));
}

// A point or a group started by hand while the user's own read holds the line would put its requests
// between the read's: it is refused as the retry of the failed is, and starts once the line is let go.
TEST(PollingRun, AStartByHandWaitsForTheLineTheUsersOperationHolds) {
    Rig r;
    r.addCorrector(1, 1234);
    r.addPoint(QStringLiteral("01234"), QStringLiteral("01234"), 1, kDailyOnly);
    r.saveGroupOfAllPoints(QStringLiteral("Котельні"), QStringLiteral("0010000000"));
    r.run->reloadGroups();
    const qsizetype writes = r.port->writes.size();
    {
        const link::LineHold::Token read = r.ctx->lineHold().take(QStringLiteral("read"));
        EXPECT_FALSE(r.pollPoint(QStringLiteral("01234")));
        ASSERT_FALSE(r.notifier.texts().isEmpty());
        EXPECT_EQ(r.notifier.texts().last(), QStringLiteral("линия занята, повторите позже"));
        r.notifier.messages.clear();
        EXPECT_FALSE(r.run->startGroup(0));
        ASSERT_FALSE(r.notifier.texts().isEmpty());
        EXPECT_EQ(r.notifier.texts().last(), QStringLiteral("линия занята, повторите позже"));
        EXPECT_FALSE(r.run->running());
        EXPECT_EQ(r.port->writes.size(), writes) << "nothing was sent while the line was held";
    }
    EXPECT_TRUE(r.pollPoint(QStringLiteral("01234")));
    EXPECT_TRUE(r.pollFirstGroup());
    EXPECT_GT(r.port->writes.size(), writes);
}

TEST(PollingRun, TheConsoleSettingsAskForTheAdditionalRecordCheckAndSilenceTheAlarm) {
    Rig r;
    r.addCorrector(1, 1234);
    r.addPoint(QStringLiteral("01234"), QStringLiteral("01234"), 1, kDailyOnly);
    ASSERT_TRUE(r.pollPoint(QStringLiteral("01234")));
    // Line 3 off (no alarm), line 14 on (the last record checked even when the numbers agree).
    QByteArray tuning;
    for (int line = 1; line <= 14; ++line)
        tuning +=
            (line == 1 ? QByteArray("Alarm1.wav") : QByteArray(line == 14 || line == 4 ? "1" : "0")) + "\r\n";
    r.home.write(folder::Work, QStringLiteral("Tuning.000"), tuning);
    r.port->writes.clear();
    ASSERT_TRUE(r.pollPoint(QStringLiteral("01234")));
    EXPECT_TRUE(r.messages.contains(QStringLiteral("контроль последней записи БД")));
    EXPECT_TRUE(r.messages.contains(QStringLiteral("доп. контр. записей БД")));
    EXPECT_EQ(r.archivePageRequests(), 1) << "one page of the daily archive";
    EXPECT_EQ(r.sequence.last(), QStringLiteral("*НОРМА* прибора - \"ТАРН-2.01   №01234  \""));

    r.addPoint(QStringLiteral("05555"), QStringLiteral("05555"), 5, kDailyOnly); // nobody at address 5
    ASSERT_TRUE(r.pollPoint(QStringLiteral("05555")));
    EXPECT_EQ(r.sequence.last(), QStringLiteral("*БРАК*  прибора - \"ТАРН-2.01   №05555  \""));
    EXPECT_EQ(r.alarms, 0);
}

namespace {
Group groupOf(const Rig& r, const QString& name, const QString& window) {
    Group g;
    g.name = name;
    g.schedule = {window};
    g.flags = QStringLiteral("0010000000");
    g.members = {{true, r.run->pointLines().first()}};
    return g;
}
} // namespace

TEST(PollingRun, DutyPollingStartedAfterTheLastWindowWaitsForTomorrows) {
    Rig r;
    r.addPoint(QStringLiteral("01234"), QStringLiteral("01234"), 1, kDailyOnly);
    const QDate today = QDate::currentDate();
    r.clock.setNow(QDateTime(today, QTime(23, 30)));
    ASSERT_TRUE(saveGroup(r.home.root(),
                          {{}, {}, groupOf(r, QStringLiteral("Ранок"), QStringLiteral("07:00-08:00-00:00"))},
                          kRussian, QDateTime::currentDateTime(), {})
                    .error.isEmpty());
    r.run->reloadGroups();

    // By hand there is nothing to do today; duty polling starts and waits.
    EXPECT_FALSE(r.run->startSchedule());
    EXPECT_TRUE(r.notifier.texts().contains(QStringLiteral("Нет заданий")));
    ASSERT_TRUE(r.run->startSchedule(true));
    r.run->cycle();
    EXPECT_EQ(r.run->mode(), PollMode::Schedule);
    EXPECT_EQ(r.run->scheduleState(), 0);

    r.clock.setNow(QDateTime(today.addDays(1), QTime(0, 0, 5)));
    r.run->cycle();
    EXPECT_EQ(r.run->schedule().date, today.addDays(1));
    EXPECT_EQ(r.run->scheduleState(), 0);
    r.clock.setNow(QDateTime(today.addDays(1), QTime(7, 0, 1)));
    r.run->cycle();
    EXPECT_EQ(r.run->scheduleState(), 1);
    EXPECT_EQ(r.run->currentRow(), 0);
    EXPECT_EQ(r.run->schedule().rows.at(0).status, QStringLiteral("опрос"));
    r.run->stop();
    EXPECT_FALSE(r.run->running());
}

TEST(PollingRun, AWaitingScheduleSeesGroupsSavedElsewhereAndReloadsOnRequest) {
    Rig r;
    r.addPoint(QStringLiteral("01234"), QStringLiteral("01234"), 1, kDailyOnly);
    r.clock.setNow(QDateTime(QDate::currentDate(), QTime(10, 0, 30)));
    ASSERT_TRUE(saveGroup(r.home.root(),
                          {{}, {}, groupOf(r, QStringLiteral("Ранок"), QStringLiteral("07:00-08:00-00:00"))},
                          kRussian, QDateTime::currentDateTime(), {})
                    .error.isEmpty());
    r.run->reloadGroups();
    ASSERT_TRUE(r.run->startSchedule(true));
    r.run->cycle();
    EXPECT_EQ(r.run->scheduleState(), 0);

    // Another program saves a group due now: the next check finds it and starts it.
    ASSERT_TRUE(saveGroup(r.home.root(),
                          {{}, {}, groupOf(r, QStringLiteral("День"), QStringLiteral("10:00-11:00-00:00"))},
                          kRussian, QDateTime::currentDateTime().addSecs(1), {})
                    .error.isEmpty());
    r.run->cycle();
    ASSERT_EQ(r.run->schedule().rows.size(), 2);
    EXPECT_EQ(r.run->scheduleState(), 1);
    EXPECT_EQ(r.run->schedule().rows.at(r.run->currentRow()).group.trimmed(), QStringLiteral("День"));
    r.run->stop();

    // A reload rebuilds the waiting schedule at once and takes the settings given.
    ASSERT_TRUE(r.run->startSchedule(true));
    r.clock.setNow(QDateTime(QDate::currentDate(), QTime(12, 0)));
    r.run->cycle();
    ASSERT_TRUE(saveGroup(r.home.root(),
                          {{}, {}, groupOf(r, QStringLiteral("Вечір"), QStringLiteral("18:00-19:00-00:00"))},
                          kRussian, QDateTime::currentDateTime().addSecs(2), {})
                    .error.isEmpty());
    link::LinkSettings fresh = r.ctx->settings();
    fresh.modemInit = QStringLiteral("ATZ&F");
    r.run->reload(fresh);
    EXPECT_EQ(r.run->schedule().rows.size(), 3);
    EXPECT_EQ(r.run->groups().size(), 3);
    EXPECT_EQ(r.ctx->settings().modemInit, QStringLiteral("ATZ&F"));
    r.run->stop();
}

TEST(PollingRun, APointWhoseNumberIsNoDialStringIsNotDialled) {
    Rig r;
    r.loadScenario("group.json");
    r.addPhonePoint(QStringLiteral("05555"), QStringLiteral("5550101;ATZ"), QStringLiteral("1"));
    ASSERT_TRUE(r.pollPoint(QStringLiteral("05555")));
    for (const QByteArray& w : r.port->writes)
        EXPECT_FALSE(w.startsWith("ATD")) << w.toStdString();
    EXPECT_TRUE(
        r.messages.contains(QStringLiteral("Недопустимый номер телефона \"5550101;ATZ\": символ \";\"")))
        << r.messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(r.sequence.last().contains(QStringLiteral("нет номера телефона!!!")))
        << r.sequence.join(QLatin1Char('\n')).toStdString();
}

TEST(PollingRun, PollingTheFailedAgainTakesOnlyTheFailedMembersWhileTheWindowIsOpen) {
    Rig r;
    r.addCorrector(1, 1234);
    r.addCorrector(2, 2222); // answers at the address of a point registered with another serial
    r.addPoint(QStringLiteral("01234"), QStringLiteral("01234"), 1, kDailyOnly);
    r.addPoint(QStringLiteral("05555"), QStringLiteral("05555"), 2, kDailyOnly);
    Group g;
    g.name = QStringLiteral("Котельні");
    g.flags = QStringLiteral("0010000000");
    g.schedule = {QStringLiteral("00:00-00:00-00:00")}; // open all day
    for (const QString& l : r.run->pointLines())
        g.members.append({true, l});
    ASSERT_TRUE(
        saveGroup(r.home.root(), {{}, {}, g}, kRussian, QDateTime::currentDateTime(), {}).error.isEmpty());
    r.run->reloadGroups();
    r.run->buildSchedule(false);
    ASSERT_TRUE(r.pollFirstGroup());

    const auto board = [&r] {
        return dayBoardOf(r.home.root(), r.ctx->storage(), r.run->schedule(), r.run->now());
    };
    const QStringList failed = failedMembers(board(), QStringLiteral("Котельні"));
    ASSERT_EQ(failed, QStringList{QStringLiteral("05555")});
    const qsizetype before = r.joins().size();
    ASSERT_TRUE(r.run->retryFailed(0, failed));
    EXPECT_FALSE(r.run->retryFailed(0, failed)) << "the line is in use";
    EXPECT_TRUE(r.notifier.texts().last().contains(QStringLiteral("линия занята")));
    ASSERT_TRUE(r.clock.runUntil([&] { return !r.run->running(); }));
    QStringList again;
    for (const database::JoinRow& j : r.joins().mid(before))
        again.append(j.identifier + QLatin1Char(' ') + j.result);
    EXPECT_EQ(again,
              (QStringList{QStringLiteral("05555 ошибка обмена с прибором"), QStringLiteral("-- ошибка")}));
    // The member that answered keeps its outcome; the group's window row is not re-polled for it.
    EXPECT_EQ(board().at(0).result, QStringLiteral("норма"));

    // Waiting in scheduled polling, the retry takes the open window's row, which shows its new outcome.
    ASSERT_TRUE(r.run->startSchedule(true));
    ASSERT_EQ(r.run->schedule().rows.size(), 1);
    ASSERT_TRUE(r.run->retryFailed(0, failed));
    EXPECT_EQ(r.run->schedule().rows.at(0).status, QStringLiteral("опрос"));
    const qsizetype beforeScheduled = r.joins().size();
    ASSERT_TRUE(r.clock.runUntil([&] { return r.run->scheduleState() == 0; }));
    EXPECT_EQ(r.run->mode(), PollMode::Schedule) << "the schedule goes on waiting";
    EXPECT_EQ(r.run->schedule().rows.at(0).status, QStringLiteral("ошибка"));
    const QList<database::JoinRow> scheduled = r.joins().mid(beforeScheduled);
    ASSERT_EQ(scheduled.size(), 2);
    EXPECT_EQ(scheduled.at(0).identifier, QStringLiteral("05555"));
    EXPECT_EQ(scheduled.at(0).mode, 3);
    EXPECT_EQ(scheduled.at(1).scheduleRow, 1);
    r.run->stop();
    ASSERT_FALSE(r.run->running());

    // After the window the failed stay failed until the next one.
    r.clock.setNow(QDateTime(QDate::currentDate(), QTime(23, 59)));
    Group early = g;
    early.name = QStringLiteral("Рання");
    early.schedule = {QStringLiteral("00:00-00:01-00:00")};
    ASSERT_TRUE(
        saveGroup(r.home.root(), {{}, {}, early}, kRussian, QDateTime::currentDateTime().addSecs(1), {})
            .error.isEmpty());
    r.run->reloadGroups();
    r.run->buildSchedule(false);
    ASSERT_EQ(r.run->groups().size(), 2);
    EXPECT_FALSE(r.run->retryFailed(1, failed));
    EXPECT_TRUE(r.notifier.texts().last().contains(QStringLiteral("закрыто")))
        << r.notifier.texts().last().toStdString();
    EXPECT_FALSE(r.run->running());
}
