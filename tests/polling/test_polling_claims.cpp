// The polling engine among several pollers: what it does with the claims it is given (a recording fake
// here; the server's own claims have their tests against the server) and with the ports it has.
#include "CorrectorRole.h"
#include "SimLine.h"
#include "common/Language.h"
#include "database/GroupFiles.h"
#include "database/JoinTable.h"
#include "database/PointClaims.h"
#include "database/Registry.h"
#include "database/Storing.h"
#include "link/FakeSerialPort.h"
#include "polling/PollingRun.h"
#include "shell/AppContext.h"
#include "support/TestSupport.h"

#include <QJsonDocument>
#include <QMap>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::polling;

namespace {

constexpr const char* kCorrector = R"({"role": "corrector", "address": %1, "serial": %2,
    "identification": "V Tarn-sim V47a", "passwords": ["1234", "2", "3", "4", "5", "6", "7"],
    "archive": {"start": "01.03.2024 00:00", "hours": %3, "flow": 10}})";

constexpr qint64 kNight = 6 * 3'600'000;

// Claims as another poller would answer them, with what the engine asked of them in order.
class RecordingClaims final : public database::PointClaims {
public:
    QString claimer() const override { return QStringLiteral("here:1"); }
    int leaseSeconds() const override { return lease; }
    database::ClaimAnswer claim(const QString& point, const QString& window) override {
        calls.append(QStringLiteral("claim ") + point + QStringLiteral(" [") + window + QLatin1Char(']'));
        return answers.value(point);
    }
    bool renew(const QString& point) override {
        calls.append(QStringLiteral("renew ") + point);
        if (renewalsGranted > 0) {
            --renewalsGranted;
            return true;
        }
        return renewable && renewalsGranted != 0;
    }
    bool finish(const QString& point, const QString& window) override {
        calls.append(QStringLiteral("finish ") + point + QStringLiteral(" [") + window + QLatin1Char(']'));
        if (onFinish) onFinish(point);
        return true;
    }
    void release(const QString& point) override { calls.append(QStringLiteral("release ") + point); }
    QString holder(const QString& point) override {
        const database::ClaimAnswer a = answers.value(point);
        return a.outcome == database::ClaimAnswer::Outcome::Held ? a.holder : QString();
    }

    // The calls without the renewals, which come as often as the poll's length makes them.
    QStringList callsBut(const QString& kind) const {
        QStringList kept;
        for (const QString& c : calls)
            if (!c.startsWith(kind)) kept.append(c);
        return kept;
    }

    int lease = 300;
    bool renewable = true;
    // Renewals granted before the refusals begin (another poller takes the point after them).
    int renewalsGranted = -1;
    QMap<QString, database::ClaimAnswer> answers; // a point not here is granted
    std::function<void(const QString& point)> onFinish;
    QStringList calls;
};

struct Rig {
    test::TempHome home;
    test::RecordingNotifier notifier;
    ManualClock clock;
    link::FakeSerialPort* port = nullptr;
    std::unique_ptr<shell::AppContext> ctx;
    std::unique_ptr<sim::InProcessLine> line;
    RecordingClaims claims;
    std::unique_ptr<PollingRun> run;
    QStringList sequence;
    QStringList messages;

    explicit Rig(int language = kRussian) {
        auto p = std::make_unique<link::FakeSerialPort>();
        port = p.get();
        port->existing = {QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyS2")};
        ctx = std::make_unique<shell::AppContext>(home.root(), notifier, std::move(p), clock);
        database::writeMissingSchemaFiles(home.root());
        ctx->schemas = database::loadSchemas(home.root());
        ctx->setLanguageIndex(language);
        ctx->operationStart().stepIntervalMs = 1;
        line = std::make_unique<sim::InProcessLine>(*port);
        line->setClock(clock);
        PollingRun::Parts parts = ctx->pollingParts();
        parts.claims = &claims;
        run = std::make_unique<PollingRun>(parts, language);
        run->afterWriteDelayMs = 1;
        QObject::connect(run.get(), &PollingRun::sequence,
                         [this](const QString& l, LineColour) { sequence.append(l.mid(9)); });
        QObject::connect(run.get(), &PollingRun::message,
                         [this](const QString& l, LineColour) { messages.append(l.mid(11)); });
    }
    void addCorrector(int address, int serial, int hours = 96) {
        QString error;
        const QString json = QString::fromUtf8(kCorrector).arg(address).arg(serial).arg(hours);
        auto role = sim::CorrectorRole::fromJson(QJsonDocument::fromJson(json.toUtf8()).object(), error);
        ASSERT_TRUE(role) << error.toStdString();
        line->addRole(std::move(role));
    }
    // A cable point at the address on the port (COM1 is the simulator's line).
    void addPoint(const QString& id, int address, const QString& portName = QStringLiteral("COM1")) {
        database::Registry registry(home.root(), ctx->schemas);
        database::Point p;
        p.identifier = id;
        p.serial = id;
        p.model = QStringLiteral("ТАРН-2.01");
        p.address = address;
        p.config = {QStringLiteral("Облгаз"),
                    {},
                    QStringLiteral("прямое соединение"),
                    portName,
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
                    QStringLiteral("01100000000")};
        ASSERT_TRUE(registry.add(p));
        run->reloadPoints();
    }
    void saveGroupOfAllPoints(const QStringList& schedule = {}) {
        Group g;
        g.name = QStringLiteral("Ніч");
        g.schedule = schedule;
        g.flags = QStringLiteral("0110000000");
        for (const QString& l : run->pointLines())
            g.members.append({true, l});
        ASSERT_TRUE(
            saveGroup(home.root(), {{}, {}, g}, kRussian, QDateTime::currentDateTime(), {}).error.isEmpty());
        run->reloadGroups();
    }
    bool pollGroup() {
        run->setTimersRunning(true);
        return run->startGroup(0) && clock.runUntil([&] { return !run->running(); }, kNight);
    }
    QStringList polled() const {
        QStringList ids;
        for (const PointSummary& s : run->summaries())
            ids.append(s.identifier + QLatin1Char(' ') + s.result);
        return ids;
    }
    QStringList joinedPoints() const {
        QStringList ids;
        for (const database::JoinRow& j :
             database::joinRowsOfDay(home.root(), ctx->schemas, QDate::currentDate()))
            if (!j.identifier.isEmpty()) ids.append(j.identifier);
        return ids;
    }
    int storedRows(const QString& id) const {
        return static_cast<int>(
            database::storedRows(home.root(), ctx->schemas, database::TableKind::Daily, id).size());
    }
};

database::ClaimAnswer answer(database::ClaimAnswer::Outcome outcome, const QString& holder,
                             const QString& error = {}) {
    return {outcome, holder, error};
}

} // namespace

TEST(PollingClaims, PointsAnotherPollerHoldsOrPolledAreSkippedSaidAndNoFailure) {
    Rig r;
    for (int a = 1; a <= 3; ++a)
        r.addCorrector(a, 1000 + a);
    r.addPoint(QStringLiteral("01001"), 1);
    r.addPoint(QStringLiteral("01002"), 2);
    r.addPoint(QStringLiteral("01003"), 3);
    r.saveGroupOfAllPoints();
    using Outcome = database::ClaimAnswer::Outcome;
    r.claims.answers.insert(QStringLiteral("01001"), answer(Outcome::Held, QStringLiteral("host-b:77")));
    r.claims.answers.insert(QStringLiteral("01003"),
                            answer(Outcome::PolledInWindow, QStringLiteral("host-c:5")));
    ASSERT_TRUE(r.pollGroup());

    EXPECT_EQ(r.polled(), QStringList{QStringLiteral("01002 норма")});
    EXPECT_FALSE(r.run->groupFailed());
    EXPECT_EQ(r.storedRows(QStringLiteral("01001")), 0) << "a point held elsewhere is not dialled";
    EXPECT_EQ(r.storedRows(QStringLiteral("01003")), 0);
    EXPECT_GT(r.storedRows(QStringLiteral("01002")), 0);
    // The skipped points write no row of their own: their outcome is the other poller's to write.
    EXPECT_FALSE(r.joinedPoints().contains(QStringLiteral("01001")));
    EXPECT_FALSE(r.joinedPoints().contains(QStringLiteral("01003")));
    EXPECT_TRUE(r.sequence.contains(QStringLiteral("*ЗАНЯТО* прибор - \"ТАРН-2.01   №01001  \" опрашивает "
                                                   "host-b:77")))
        << r.sequence.join('\n').toStdString();
    EXPECT_TRUE(r.sequence.contains(QStringLiteral("*ОПРОШЕН* прибор - \"ТАРН-2.01   №01003  \" в этом окне: "
                                                   "host-c:5")))
        << r.sequence.join('\n').toStdString();
    // A group by hand belongs to no window; each point claimed once, the polled one finished.
    EXPECT_EQ(r.claims.callsBut(QStringLiteral("renew")),
              (QStringList{QStringLiteral("claim 01001 []"), QStringLiteral("claim 01002 []"),
                           QStringLiteral("finish 01002 []"), QStringLiteral("claim 01003 []")}));
}

TEST(PollingClaims, TheSkippedLinesSpeakUkrainianAndAClaimThatFailsIsAFailureWithoutADial) {
    Rig r(kUkrainian);
    for (int a = 1; a <= 3; ++a)
        r.addCorrector(a, 1000 + a);
    r.addPoint(QStringLiteral("01001"), 1);
    r.addPoint(QStringLiteral("01002"), 2);
    r.addPoint(QStringLiteral("01003"), 3);
    r.saveGroupOfAllPoints();
    using Outcome = database::ClaimAnswer::Outcome;
    r.claims.answers.insert(QStringLiteral("01001"), answer(Outcome::Held, QStringLiteral("host-b:77")));
    // Held by a claim still being taken: no name yet.
    r.claims.answers.insert(QStringLiteral("01003"), answer(Outcome::Held, {}));
    r.claims.answers.insert(QStringLiteral("01002"),
                            answer(Outcome::Failed, {}, QStringLiteral("server closed the connection")));
    ASSERT_TRUE(r.pollGroup());
    EXPECT_TRUE(r.polled().isEmpty());
    EXPECT_EQ(r.storedRows(QStringLiteral("01002")), 0);
    EXPECT_TRUE(r.run->groupFailed()) << "a point nobody could claim was polled by nobody";
    EXPECT_TRUE(
        r.sequence.contains(QStringLiteral("*ЗАЙНЯТО* прилад - \"ТАРН-2.01   №01001  \" опитує host-b:77")))
        << r.sequence.join('\n').toStdString();
    EXPECT_TRUE(r.sequence.contains(
        QStringLiteral("*ЗАЙНЯТО* прилад - \"ТАРН-2.01   №01003  \" опитує інший опитувач")))
        << r.sequence.join('\n').toStdString();
    EXPECT_TRUE(r.sequence.contains(QStringLiteral("*СТОП*  прилад - \"ТАРН-2.01   №01002  \" не вдалося "
                                                   "зайняти: server closed the connection")))
        << r.sequence.join('\n').toStdString();
}

TEST(PollingClaims, APolledPointIsRenewedWhileInHandAndFinishedOnlyAfterItsStore) {
    Rig r;
    // Long archives, so a point is in hand for some seconds of the run's clock.
    r.addCorrector(1, 1001, 2000);
    r.addCorrector(2, 1002, 2000);
    r.addPoint(QStringLiteral("01001"), 1);
    r.addPoint(QStringLiteral("01002"), 2);
    r.saveGroupOfAllPoints();
    r.claims.lease = 3; // renewed every second
    QStringList storedAtFinish;
    r.claims.onFinish = [&](const QString& point) {
        storedAtFinish.append(point + QLatin1Char(' ') + QString::number(r.storedRows(point)));
    };
    const QDateTime started = r.clock.now();
    ASSERT_TRUE(r.pollGroup());
    ASSERT_GT(started.msecsTo(r.clock.now()), 4000) << "the poll was too short to need a renewal";
    EXPECT_EQ(r.polled(), (QStringList{QStringLiteral("01001 норма"), QStringLiteral("01002 норма")}));
    // Each finish saw its point's rows in the database already.
    ASSERT_EQ(storedAtFinish.size(), 2);
    for (const QString& s : storedAtFinish) {
        const QString point = s.section(QLatin1Char(' '), 0, 0);
        EXPECT_EQ(s, point + QLatin1Char(' ') + QString::number(r.storedRows(point)));
        EXPECT_GT(r.storedRows(point), 0);
    }
    // Renewals only between a point's claim and its finish, of the point in hand.
    QString inHand;
    int renewals = 0;
    for (const QString& c : r.claims.calls) {
        if (c.startsWith(QStringLiteral("claim "))) inHand = c.section(QLatin1Char(' '), 1, 1);
        if (c.startsWith(QStringLiteral("finish "))) inHand.clear();
        if (c.startsWith(QStringLiteral("renew "))) {
            ++renewals;
            EXPECT_EQ(c, QStringLiteral("renew ") + inHand) << r.claims.calls.join('\n').toStdString();
        }
    }
    EXPECT_GE(renewals, 2);
    EXPECT_EQ(r.claims.callsBut(QStringLiteral("renew")),
              (QStringList{QStringLiteral("claim 01001 []"), QStringLiteral("finish 01001 []"),
                           QStringLiteral("claim 01002 []"), QStringLiteral("finish 01002 []")}));

    // A renewal refused (the lease ran out and another poller took the point) is said in red.
    Rig refused;
    refused.addCorrector(1, 1001, 2000);
    refused.addPoint(QStringLiteral("01001"), 1);
    refused.saveGroupOfAllPoints();
    refused.claims.lease = 3;
    refused.claims.renewable = false;
    ASSERT_TRUE(refused.pollGroup());
    EXPECT_TRUE(
        refused.messages.contains(QStringLiteral("прибор \"ТАРН-2.01   №01001  \": занятие не продлено")))
        << refused.messages.join('\n').toStdString();
}

TEST(PollingClaims, AScheduledWindowNamesItsClaimsAndAStoppedPointIsGivenBack) {
    Rig r;
    r.addCorrector(1, 1001, 2000);
    r.addPoint(QStringLiteral("01001"), 1);
    const QDate today = QDate::currentDate();
    r.clock.setNow(QDateTime(today, QTime(8, 5)));
    r.saveGroupOfAllPoints({QStringLiteral("08:00-10:00-01:00")});
    r.run->cycleIntervalMs = 10;
    ASSERT_TRUE(r.run->startSchedule());
    r.run->setTimersRunning(true);
    ASSERT_TRUE(
        r.clock.runUntil([&] { return r.run->schedule().rows.at(0).status == QStringLiteral("норма"); }));
    const QString window = today.toString(Qt::ISODate) + QStringLiteral(" Ніч 08:00-09:00");
    EXPECT_EQ(r.claims.callsBut(QStringLiteral("renew")),
              (QStringList{QStringLiteral("claim 01001 [") + window + QLatin1Char(']'),
                           QStringLiteral("finish 01001 [") + window + QLatin1Char(']')}));

    // The next window; stopped while the point is in hand: it is given back, not counted as polled.
    r.claims.calls.clear();
    r.clock.setNow(QDateTime(today, QTime(9, 0, 1)));
    ASSERT_TRUE(r.clock.runUntil([&] { return r.run->pointInHand(); }));
    r.run->stop();
    ASSERT_TRUE(r.clock.runUntil([&] { return !r.run->running(); }));
    EXPECT_EQ(r.claims.callsBut(QStringLiteral("renew")),
              (QStringList{QStringLiteral("claim 01001 [") + today.toString(Qt::ISODate) +
                               QStringLiteral(" Ніч 09:00-10:00]"),
                           QStringLiteral("release 01001")}));
}

TEST(PollingClaims, APollerWithSomePortsPollsOnlyThePointsOnThem) {
    Rig r;
    r.addCorrector(1, 1001);
    r.addCorrector(2, 1002);
    r.addPoint(QStringLiteral("01001"), 1);
    // On a port of another poller's machine: /dev/ttyS2 exists here too, so polling it would be a dial.
    r.addPoint(QStringLiteral("01002"), 2, QStringLiteral("COM3"));
    r.saveGroupOfAllPoints();
    r.run->ports = {QStringLiteral("com1"), QStringLiteral(" COM2 ")};
    ASSERT_TRUE(r.pollGroup());
    EXPECT_EQ(r.polled(), QStringList{QStringLiteral("01001 норма")});
    EXPECT_FALSE(r.run->groupFailed());
    // Not ours: not even claimed, so the poller that has the port claims it.
    EXPECT_EQ(r.claims.callsBut(QStringLiteral("renew")),
              (QStringList{QStringLiteral("claim 01001 []"), QStringLiteral("finish 01001 []")}));

    // Every member on another's ports: nothing polled, and still no failure of this poller.
    r.claims.calls.clear();
    r.run->ports = {QStringLiteral("COM7")};
    ASSERT_TRUE(r.pollGroup());
    EXPECT_TRUE(r.polled().isEmpty());
    EXPECT_FALSE(r.run->groupFailed());
    EXPECT_TRUE(r.claims.calls.isEmpty());

    // Without a list every port is ours.
    r.run->ports.clear();
    ASSERT_TRUE(r.pollGroup());
    EXPECT_EQ(r.polled().size(), 2);
}

TEST(PollingClaims, ARenewalRefusedEndsThePointInOrderWithNothingStoredAndTheGroupGoesOn) {
    // Taken over mid-poll: the lease ran out and another poller has the point now.
    Rig r;
    r.addCorrector(1, 1001, 2000);
    r.addCorrector(2, 1002, 96);
    r.addPoint(QStringLiteral("01001"), 1);
    r.addPoint(QStringLiteral("01002"), 2);
    r.saveGroupOfAllPoints();
    r.claims.lease = 3;
    r.claims.renewalsGranted = 1;
    ASSERT_TRUE(r.pollGroup());
    EXPECT_TRUE(r.messages.contains(QStringLiteral("прибор \"ТАРН-2.01   №01001  \": занятие не продлено")))
        << r.messages.join('\n').toStdString();
    // Nothing of the lost point stored (its rows are the other poller's), and it is neither finished nor
    // released: the claim is not ours to end.
    EXPECT_EQ(r.storedRows(QStringLiteral("01001")), 0);
    ASSERT_EQ(r.run->summaries().size(), 2);
    EXPECT_EQ(r.run->summaries().at(0).identifier, QStringLiteral("01001"));
    EXPECT_EQ(r.run->summaries().at(0).error, QStringLiteral("занятие потеряно, не сохранено"));
    EXPECT_TRUE(r.run->summaries().at(0).stored.isEmpty());
    const QStringList ends = r.claims.callsBut(QStringLiteral("renew"));
    EXPECT_FALSE(ends.contains(QStringLiteral("finish 01001 []"))) << ends.join('\n').toStdString();
    EXPECT_FALSE(ends.contains(QStringLiteral("release 01001"))) << ends.join('\n').toStdString();
    // The line was hung up in order: the next point of the group polled as usual, on a refused renewal
    // of its own no more (the fake now refuses every renewal, so it too is lost before its store).
    EXPECT_EQ(r.run->summaries().at(1).identifier, QStringLiteral("01002"));
    EXPECT_EQ(r.storedRows(QStringLiteral("01002")), 0);
    EXPECT_FALSE(r.run->running());

    // Lost just before the store (the last renewal, taken right before storing, is refused): the point
    // read to its end is still not stored; a renewal granted there stores it.
    Rig late;
    late.addCorrector(1, 1001, 96);
    late.addCorrector(2, 1002, 96);
    late.addPoint(QStringLiteral("01001"), 1);
    late.addPoint(QStringLiteral("01002"), 2);
    late.saveGroupOfAllPoints();
    late.claims.renewalsGranted = 1; // the long lease: the only renewals are the ones before the stores
    ASSERT_TRUE(late.pollGroup());
    EXPECT_GT(late.storedRows(QStringLiteral("01001")), 0);
    EXPECT_EQ(late.storedRows(QStringLiteral("01002")), 0);
    EXPECT_EQ(late.claims.callsBut(QStringLiteral("renew")),
              (QStringList{QStringLiteral("claim 01001 []"), QStringLiteral("finish 01001 []"),
                           QStringLiteral("claim 01002 []")}));
    EXPECT_EQ(late.run->summaries().at(1).error, QStringLiteral("занятие потеряно, не сохранено"));
}

TEST(PollingClaims, APointByItselfIsClaimedAndRefusedAsBusyWhenAnotherPollerHoldsIt) {
    for (const int language : {kRussian, kUkrainian}) {
        Rig r(language);
        r.addCorrector(1, 1001);
        r.addCorrector(2, 1002);
        r.addPoint(QStringLiteral("01001"), 1);
        r.addPoint(QStringLiteral("01002"), 2);
        r.claims.answers.insert(QStringLiteral("01002"),
                                answer(database::ClaimAnswer::Outcome::Held, QStringLiteral("host-b:77")));
        EXPECT_TRUE(r.run->heldElsewhere(0).isEmpty());
        EXPECT_EQ(r.run->heldElsewhere(1), QStringLiteral("host-b:77"));
        EXPECT_TRUE(r.run->heldElsewhere(7).isEmpty());

        EXPECT_FALSE(r.run->startPoint(1));
        EXPECT_FALSE(r.run->running());
        EXPECT_EQ(r.notifier.texts().last(),
                  language == kRussian ? QStringLiteral("Занято !!!") : QStringLiteral("Зайнято !!!"));
        EXPECT_EQ(r.storedRows(QStringLiteral("01002")), 0);

        r.run->setTimersRunning(true);
        ASSERT_TRUE(r.run->startPoint(0));
        ASSERT_TRUE(r.clock.runUntil([&] { return !r.run->running(); }, kNight));
        EXPECT_GT(r.storedRows(QStringLiteral("01001")), 0);
        EXPECT_EQ(r.claims.callsBut(QStringLiteral("renew")),
                  (QStringList{QStringLiteral("claim 01002 []"), QStringLiteral("claim 01001 []"),
                               QStringLiteral("finish 01001 []")}));
    }
}

TEST(PollingClaims, WithoutItsServerClaimsAPollerStartsNothing) {
    // A server nobody listens on: the context's claims cannot be opened, and every way of starting a
    // poll says so and dials nothing.
    Rig r;
    r.addCorrector(1, 1001);
    r.addPoint(QStringLiteral("01001"), 1);
    r.clock.setNow(QDateTime(QDate::currentDate(), QTime(8, 5)));
    r.saveGroupOfAllPoints({QStringLiteral("08:00-10:00-01:00")});
    r.run.reset(); // it works on the storage the context is about to replace
    database::postgres::DatabaseUrl nowhere;
    nowhere.host = QStringLiteral("127.0.0.1");
    nowhere.port = 1;
    nowhere.database = QStringLiteral("tarn");
    nowhere.schema = QStringLiteral("tarn");
    r.ctx->useStorage(std::make_unique<database::SqliteStorage>(r.home.root(), r.ctx->schemas),
                      std::make_unique<database::FolderGroupFiles>(r.home.root()), nowhere);
    const PollingRun::Parts parts = r.ctx->pollingParts();
    EXPECT_EQ(parts.claims, nullptr);
    ASSERT_FALSE(parts.claimsUnavailable.isEmpty());
    EXPECT_TRUE(parts.claimsUnavailable.startsWith(
        QStringLiteral("опрос невозможен: не удалось открыть занятия приборов на сервере: ")))
        << parts.claimsUnavailable.toStdString();

    PollingRun run(parts, kRussian);
    run.reloadPoints();
    run.reloadGroups();
    run.buildSchedule(false); // the group's window is open: only the claims stand in the way of a retry
    const int before = static_cast<int>(r.notifier.texts().size());
    EXPECT_FALSE(run.startPoint(0));
    EXPECT_FALSE(run.startGroup(0));
    EXPECT_FALSE(run.startSchedule(true));
    EXPECT_FALSE(run.retryFailed(0, {QStringLiteral("01001")}));
    EXPECT_FALSE(run.running());
    const QStringList said = r.notifier.texts().mid(before);
    EXPECT_EQ(said, QStringList(4, parts.claimsUnavailable));
    EXPECT_EQ(r.storedRows(QStringLiteral("01001")), 0);

    // Back on the installation's files: the only poller, nothing to open.
    r.ctx->useFiles();
    EXPECT_TRUE(r.ctx->pollingParts().claimsUnavailable.isEmpty());
}
