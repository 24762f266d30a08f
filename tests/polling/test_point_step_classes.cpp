// Each step of the point machine on its own, against a fake line, modem and store: what it asks of the
// corrector, in which order, and what it reports and leaves in the point's progress.
#include "corrector/ModelProfile.h"
#include "corrector/ReadQueue.h"
#include "polling/ItemSteps.h"
#include "polling/LineSteps.h"
#include "polling/PointSteps.h"
#include "polling/PollPlanner.h"

#include <QMap>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::polling;

namespace {

// Records every request as a line of text; answers as the test sets it.
class FakeLine final : public PointLine {
public:
    QStringList requests;
    bool broken = false;
    bool refuse = false;
    Identity identity;
    int newest = 0;
    QMap<int, QDateTime> stampsRead; // record number → its time as the pages read hold it
    std::optional<corrector::ClockBlock> correctorClock;
    QMap<int, QString> items;

    bool portBroken() const override { return broken; }
    bool identify() override { return ask(QStringLiteral("identify")); }
    bool readVersionBlock() override { return ask(QStringLiteral("version")); }
    bool readParameters() override { return ask(QStringLiteral("parameters")); }
    bool readClock() override { return ask(QStringLiteral("clock")); }
    bool readMeasurement() override { return ask(QStringLiteral("measurement")); }
    bool readWholeArchive(int kind) override { return ask(QStringLiteral("whole %1").arg(kind)); }
    bool readArchivePages(int kind, int firstPage, int pageCount, bool append) override {
        return ask(QStringLiteral("pages %1 from %2 x%3%4")
                       .arg(kind)
                       .arg(firstPage)
                       .arg(pageCount)
                       .arg(append ? QStringLiteral(" appended") : QString()));
    }
    bool enterPassword(const QString& password) override {
        return ask(QStringLiteral("password ") + password);
    }
    bool writeItem(int item, const QString& value) override {
        return ask(QStringLiteral("write %1 = %2").arg(item).arg(value));
    }
    Identity answeredIdentity() const override { return identity; }
    std::optional<corrector::ArchiveGeometry> archiveGeometry(int kind) const override {
        return corrector::archiveGeometry(kind, corrector::ModelProfile{});
    }
    int newestRecord(int) const override { return newest; }
    std::optional<QDateTime> recordStamp(int, int number) const override {
        if (!stampsRead.contains(number)) return std::nullopt;
        return stampsRead.value(number);
    }
    std::optional<corrector::ClockBlock> clock() const override { return correctorClock; }
    QString itemText(int item) const override { return items.value(item); }

private:
    bool ask(const QString& request) {
        requests.append(request);
        return !refuse;
    }
};

class FakeModem final : public PointModem {
public:
    QList<ModemCall> calls;
    int hangUps = 0;
    bool busyNow = false;
    bool connectedNow = false;
    bool silent = false;
    void call(const ModemCall& c) override { calls.append(c); }
    void hangUp() override { ++hangUps; }
    bool busy() const override { return busyNow; }
    bool connected() const override { return connectedNow; }
    bool dispatcherSilent() const override { return silent; }
};

class FakeStore final : public PointStore {
public:
    struct Stored {
        QList<int> kinds;
        database::SourceKind source;
        database::StoreContext::PollLog log;
        QString itemsToRead;
    };
    QList<Stored> stored;
    QList<database::StoreContext> logsOnly;
    corrector::StoreRequestResult answer;
    corrector::StoreRequestResult storeReading(const QList<int>& kinds, database::SourceKind source,
                                               const database::StoreContext::PollLog& log,
                                               const QString& itemsToRead) override {
        stored.append({kinds, source, log, itemsToRead});
        return answer;
    }
    void writeRequestLogOnly(const database::StoreContext& context) override { logsOnly.append(context); }
};

const QString kName = QStringLiteral("ТАРН-2.01   №01234  ");

// One point on a fake line at noon; the steps' messages collected, red ones marked.
struct Bench {
    FakeLine line;
    FakeModem modem;
    ManualClock clock{QDateTime(QDate(2024, 3, 5), QTime(12, 0))};
    database::Point point;
    database::LastStoredSummary stored{};
    QStringList said;
    StepContext context;

    Bench() {
        point.identifier = QStringLiteral("01234");
        point.serial = QStringLiteral("01234");
        point.model = QStringLiteral("ТАРН-2.01");
        point.config[database::config::Port] = QStringLiteral("COM1");
        point.config[database::config::Password] = QStringLiteral("1111");
        point.config[database::config::Phone] = QStringLiteral("5551234");
        point.config[database::config::PauseS] = QStringLiteral("2");
        point.config[database::config::WaitS] = QStringLiteral("40");
        context.line = &line;
        context.point = &point;
        context.identifier = point.identifier;
        context.pointName = kName;
        context.lastStored = &stored;
        context.clock = &clock;
        context.say = [this](const QString& text, LineColour colour) {
            said.append(colour == LineColour::Red ? QStringLiteral("RED ") + text : text);
        };
    }
    PointProgress& progress() { return context.progress; }
    // The corrector's clock that many minutes behind the computer's.
    void correctorBehind(int minutes) {
        const QDateTime t = clock.now().addSecs(-60LL * minutes);
        corrector::ClockBlock c;
        c.year = t.date().year();
        c.month = t.date().month();
        c.day = t.date().day();
        c.hour = t.time().hour();
        c.minute = t.time().minute();
        c.dateText = t.toString(QStringLiteral("dd.MM.yyyy"));
        c.timeText = t.toString(QStringLiteral("HH:mm"));
        line.correctorClock = c;
    }
    // The daily archive's last record as the database keeps it.
    void storeDaily(int number, const QDateTime& stamp) {
        database::LastStored& s = stored[lastStoredIndexOfItem(PollItem::Daily)];
        s.identifier = point.identifier;
        s.number = QString::number(number);
        s.stamp = stamp;
    }
};

int firstRecordOfPage(const corrector::ArchiveGeometry& g, int page) {
    for (int r = 0;; ++r)
        if (corrector::pageOfRecord(g, r) == page) return r;
}

} // namespace

TEST(PointStepClasses, TheVersionControlProvesTheCorrectorThenReadsItsVersionBlock) {
    Bench b;
    VersionStep step;
    ASSERT_EQ(step.start(b.context), StepStatus::Exchange);
    EXPECT_EQ(b.said, (QStringList{QStringLiteral("начало опроса  - > \"") + kName + QLatin1Char('"'),
                                   QStringLiteral("контроль версии")}));
    EXPECT_FALSE(b.progress().dataRead);
    ASSERT_EQ(step.exchangeDone(b.context), StepStatus::Exchange);
    EXPECT_TRUE(b.progress().dataRead);
    EXPECT_EQ(step.exchangeDone(b.context), StepStatus::Done);
    EXPECT_EQ(b.line.requests, (QStringList{QStringLiteral("identify"), QStringLiteral("version")}));

    // A port gone under the run: nothing is asked.
    Bench broken;
    broken.line.broken = true;
    EXPECT_EQ(VersionStep().start(broken.context), StepStatus::Failed);
    EXPECT_EQ(broken.progress().error, QStringLiteral("ошибка порта!!! COM1"));
    EXPECT_TRUE(broken.line.requests.isEmpty());

    // A request that cannot start fails the point with no text of its own (the run says "no link").
    Bench refused;
    refused.line.refuse = true;
    EXPECT_EQ(VersionStep().start(refused.context), StepStatus::Failed);
    EXPECT_TRUE(refused.progress().error.isEmpty());
}

TEST(PointStepClasses, TheParametersEndThePointWhenAnotherCorrectorAnswered) {
    Bench b;
    ParametersStep step;
    ASSERT_EQ(step.start(b.context), StepStatus::Exchange);
    EXPECT_EQ(b.line.requests, QStringList{QStringLiteral("parameters")});
    b.line.identity = {QStringLiteral("01234"), QStringLiteral("ТАРН-2.01"), QStringLiteral("01234")};
    EXPECT_EQ(step.exchangeDone(b.context), StepStatus::Done);
    EXPECT_TRUE(b.progress().error.isEmpty());

    Bench other;
    ParametersStep wrong;
    wrong.start(other.context);
    other.line.identity = {QStringLiteral("05678"), QStringLiteral("ТАРН-2.01"), QStringLiteral("05678")};
    EXPECT_EQ(wrong.exchangeDone(other.context), StepStatus::Failed);
    EXPECT_EQ(other.progress().error, QStringLiteral("ном.выз.прибора не равен ном.в БД"));
    EXPECT_EQ(other.said.last(), QStringLiteral("RED Err: номер корр. в БД \"") + kName +
                                     QStringLiteral("\" чт. \"ТАРН-2.01 №05678\""));
}

TEST(PointStepClasses, AnArchiveIsReadOnFromTheStoredRecordsPageOrWholeWhenThatRecordIsGone) {
    using corrector::read_kind::Daily;
    const auto g = corrector::archiveGeometry(Daily, corrector::ModelProfile{});
    ASSERT_TRUE(g);
    const int page = g->firstPage + 2;
    const int storedNumber = firstRecordOfPage(*g, page);
    const QDateTime storedAt(QDate(2024, 3, 1), QTime(10, 0));

    // Nothing stored yet: the whole archive.
    {
        Bench b;
        ArchiveStep step(PollItem::Daily);
        ASSERT_EQ(step.start(b.context), StepStatus::Exchange);
        EXPECT_EQ(b.line.requests, QStringList{QStringLiteral("whole %1").arg(Daily)});
        EXPECT_TRUE(b.said.contains(QStringLiteral("читать весь архив")));
        EXPECT_EQ(step.exchangeDone(b.context), StepStatus::Done);
        EXPECT_EQ(b.progress().kindsRead, QList<int>{Daily});
    }
    // The stored record is the corrector's newest: nothing is read and nothing counts as read.
    {
        Bench b;
        b.storeDaily(storedNumber, storedAt);
        b.line.newest = storedNumber;
        EXPECT_EQ(ArchiveStep(PollItem::Daily).start(b.context), StepStatus::Done);
        EXPECT_TRUE(b.line.requests.isEmpty());
        EXPECT_EQ(b.said.last(), QStringLiteral("номера записей в БД и приборе равны"));
        EXPECT_TRUE(b.progress().kindsRead.isEmpty());
    }
    // Newer records three pages on, the stored record unchanged on its page: that page, then the three
    // after it added to what was read; every page counted in the message window.
    {
        Bench b;
        b.storeDaily(storedNumber, storedAt);
        b.line.newest = firstRecordOfPage(*g, page + 3);
        ArchiveStep step(PollItem::Daily);
        ASSERT_EQ(step.start(b.context), StepStatus::Exchange);
        EXPECT_EQ(b.said.last(), QStringLiteral("контроль последней записи БД"));
        step.pageRead(b.context);
        EXPECT_EQ(b.said.last(),
                  QStringLiteral("чт. ") + itemFixedName(PollItem::Daily) + QStringLiteral(" бл. №1"));
        b.line.stampsRead.insert(storedNumber, storedAt);
        ASSERT_EQ(step.exchangeDone(b.context), StepStatus::Exchange);
        EXPECT_EQ(b.said.at(b.said.size() - 1), QStringLiteral("выборочное чтение архива"));
        step.pageRead(b.context);
        EXPECT_EQ(b.said.last(),
                  QStringLiteral("чт. ") + itemFixedName(PollItem::Daily) + QStringLiteral(" бл. №2"));
        EXPECT_EQ(step.exchangeDone(b.context), StepStatus::Done);
        EXPECT_EQ(b.line.requests,
                  (QStringList{QStringLiteral("pages %1 from %2 x1").arg(Daily).arg(page),
                               QStringLiteral("pages %1 from %2 x3 appended").arg(Daily).arg(page + 1)}));
        EXPECT_EQ(b.progress().kindsRead, QList<int>{Daily});
    }
    // The page holds another record where the stored one was: the archive was cleared or went round.
    {
        Bench b;
        b.storeDaily(storedNumber, storedAt);
        b.line.newest = storedNumber + 1;
        ArchiveStep step(PollItem::Daily);
        step.start(b.context);
        b.line.stampsRead.insert(storedNumber, storedAt.addDays(30));
        ASSERT_EQ(step.exchangeDone(b.context), StepStatus::Exchange);
        EXPECT_EQ(b.line.requests.last(), QStringLiteral("whole %1").arg(Daily));
        EXPECT_EQ(b.said.last(), QStringLiteral("читать весь архив"));
    }
    // With the additional check the equal numbers still have their record looked at, and nothing more.
    {
        Bench b;
        b.context.additionalRecordCheck = true;
        b.storeDaily(storedNumber, storedAt);
        b.line.newest = storedNumber;
        ArchiveStep step(PollItem::Daily);
        ASSERT_EQ(step.start(b.context), StepStatus::Exchange);
        b.line.stampsRead.insert(storedNumber, storedAt);
        EXPECT_EQ(step.exchangeDone(b.context), StepStatus::Done);
        EXPECT_EQ(b.said.last(), QStringLiteral("доп. контр. записей БД"));
        EXPECT_EQ(b.line.requests.size(), 1);
        EXPECT_EQ(b.progress().kindsRead, QList<int>{Daily});
    }
}

TEST(PointStepClasses, TheClockIsCorrectedByTheDifferenceBeyondTwoMinutesUnderThePassword) {
    // Two minutes behind: read and compared, nothing written.
    {
        Bench b;
        b.correctorBehind(2);
        ClockStep step;
        ASSERT_EQ(step.start(b.context), StepStatus::Exchange);
        EXPECT_EQ(step.exchangeDone(b.context), StepStatus::Done);
        EXPECT_EQ(b.line.requests, QStringList{QStringLiteral("clock")});
        EXPECT_FALSE(b.progress().clockCorrected);
        EXPECT_EQ(b.progress().log.clockChecked, b.clock.now());
        EXPECT_EQ(b.said.last(),
                  QStringLiteral("даты - в комп. :05.03.2024 12:00/ в коррект. 05.03.2024 11:58"));
    }
    // Five behind: the password, a correction of five minutes, the parameters again.
    {
        Bench b;
        b.correctorBehind(5);
        ClockStep step;
        step.start(b.context);
        ASSERT_EQ(step.exchangeDone(b.context), StepStatus::Exchange);
        ASSERT_EQ(step.exchangeDone(b.context), StepStatus::Exchange);
        EXPECT_FALSE(b.progress().clockCorrected);
        ASSERT_EQ(step.exchangeDone(b.context), StepStatus::Exchange);
        EXPECT_TRUE(b.progress().clockCorrected);
        EXPECT_EQ(step.exchangeDone(b.context), StepStatus::Done);
        EXPECT_EQ(b.line.requests,
                  (QStringList{QStringLiteral("clock"), QStringLiteral("password 1111"),
                               QStringLiteral("write 18 = 5"), QStringLiteral("parameters")}));
        EXPECT_EQ(b.progress().clockCorrection, 5);
    }
    // A quarter of an hour ahead: no more than nine minutes back at once.
    {
        Bench b;
        b.correctorBehind(-15);
        ClockStep step;
        step.start(b.context);
        step.exchangeDone(b.context);
        step.exchangeDone(b.context);
        EXPECT_EQ(b.line.requests.last(), QStringLiteral("write 18 = -9"));
    }
    // Another date: the point fails, nothing written.
    {
        Bench b;
        b.correctorBehind(2 * 24 * 60);
        ClockStep step;
        step.start(b.context);
        EXPECT_EQ(step.exchangeDone(b.context), StepStatus::Failed);
        EXPECT_EQ(b.progress().error, QStringLiteral("даты в комп.и приборе не равны"));
        EXPECT_EQ(b.line.requests, QStringList{QStringLiteral("clock")});
    }
    // No password: the clock is not even read.
    {
        Bench b;
        b.point.config[database::config::Password] = QStringLiteral("  ");
        EXPECT_EQ(ClockStep().start(b.context), StepStatus::Failed);
        EXPECT_EQ(b.progress().error, QStringLiteral("нет пароля для коррекц. парам."));
        EXPECT_TRUE(b.line.requests.isEmpty());
    }
}

TEST(PointStepClasses, TheGasIsWrittenValueByValueOnlyWhereTheCorrectorDiffers) {
    const database::GasComposition gas{QStringLiteral("Уренгой"), QStringLiteral("0.68"),
                                       QStringLiteral("0.1"), QStringLiteral("0.9")};
    const auto gasTable = [gas](const QString& name) {
        return name == gas.name ? std::optional<database::GasComposition>(gas) : std::nullopt;
    };
    // Density and N2 differ, CO2 is already the point's.
    {
        Bench b;
        b.point.config[database::config::Gas] = gas.name;
        b.context.gasNamed = gasTable;
        b.line.items = {
            {1, QStringLiteral("0.700")}, {2, QStringLiteral("0.10")}, {3, QStringLiteral("1.2")}};
        GasStep step;
        ASSERT_EQ(step.start(b.context), StepStatus::Exchange);
        ASSERT_EQ(step.exchangeDone(b.context), StepStatus::Exchange);
        ASSERT_EQ(step.exchangeDone(b.context), StepStatus::Exchange);
        ASSERT_EQ(step.exchangeDone(b.context), StepStatus::Exchange);
        EXPECT_FALSE(b.progress().gasWritten);
        EXPECT_EQ(step.exchangeDone(b.context), StepStatus::Done);
        EXPECT_TRUE(b.progress().gasWritten);
        EXPECT_EQ(b.progress().log.gasChecked, b.clock.now());
        EXPECT_EQ(b.line.requests,
                  (QStringList{QStringLiteral("password 1111"), QStringLiteral("write 1 = 0.68"),
                               QStringLiteral("write 3 = 0.9"), QStringLiteral("parameters")}));
        EXPECT_TRUE(b.said.contains(QStringLiteral("параметры газа - зап. концентрация N2")));
        EXPECT_FALSE(b.said.contains(QStringLiteral("параметры газа - зап. концентрация CO2")));
    }
    // All three equal: nothing written, and that counts as the gas checked.
    {
        Bench b;
        b.point.config[database::config::Gas] = gas.name;
        b.context.gasNamed = gasTable;
        b.line.items = {
            {1, QStringLiteral("0.680")}, {2, QStringLiteral("0.1")}, {3, QStringLiteral("0.90")}};
        EXPECT_EQ(GasStep().start(b.context), StepStatus::Done);
        EXPECT_TRUE(b.line.requests.isEmpty());
        EXPECT_TRUE(b.progress().gasWritten);
        EXPECT_EQ(b.said.last(), QStringLiteral("параметры газа равны!!! "));
    }
    // No gas named, or one the gas table does not have: the point fails before the line.
    {
        Bench b;
        b.context.gasNamed = gasTable;
        EXPECT_EQ(GasStep().start(b.context), StepStatus::Failed);
        EXPECT_EQ(b.progress().error, QStringLiteral("нет параметров газа"));
        Bench unknown;
        unknown.point.config[database::config::Gas] = QStringLiteral("Нет такого");
        unknown.context.gasNamed = gasTable;
        EXPECT_EQ(GasStep().start(unknown.context), StepStatus::Failed);
        EXPECT_EQ(unknown.progress().error, QStringLiteral("в БД нет данных для записи парам. газа"));
        EXPECT_TRUE(b.line.requests.isEmpty() && unknown.line.requests.isEmpty());
    }
}

TEST(PointStepClasses, TheMeasurementIsReadAndCountsAsRead) {
    Bench b;
    MeasurementStep step;
    ASSERT_EQ(step.start(b.context), StepStatus::Exchange);
    EXPECT_EQ(b.said, QStringList{QStringLiteral("мгновенные")});
    EXPECT_FALSE(b.progress().measured);
    EXPECT_EQ(step.exchangeDone(b.context), StepStatus::Done);
    EXPECT_TRUE(b.progress().measured);
    EXPECT_EQ(b.progress().kindsRead, QList<int>{corrector::read_kind::Measurement});
    EXPECT_EQ(b.line.requests, QStringList{QStringLiteral("measurement")});
}

TEST(PointStepClasses, ANumberIsDialledAsOftenAsTheRowSaysWithItsPauseBetween) {
    constexpr int kTicksPerSecond = 20;
    // Three calls unanswered, two seconds' pause after each but the last.
    {
        Bench b;
        b.context.modem = &b.modem;
        DialStep step(3, QStringLiteral("ATZ"));
        ASSERT_EQ(step.start(b.context), StepStatus::Waiting);
        ASSERT_EQ(b.modem.calls.size(), 1);
        EXPECT_EQ(b.modem.calls.first().phone, QStringLiteral("5551234"));
        EXPECT_EQ(b.modem.calls.first().init, QStringLiteral("ATZ"));
        EXPECT_EQ(b.modem.calls.first().dialTimeoutSec, 40);
        b.modem.busyNow = true;
        EXPECT_EQ(step.poll(b.context), StepStatus::Waiting);
        EXPECT_TRUE(step.waitingForConnection());
        b.modem.busyNow = false;
        for (int call = 1; call <= 2; ++call) {
            EXPECT_EQ(step.poll(b.context), StepStatus::Waiting);
            EXPECT_EQ(b.said.last(), QStringLiteral("ожидаем 2сек. следующий набор номера"));
            for (int t = 0; t < 2 * kTicksPerSecond; ++t)
                EXPECT_EQ(step.poll(b.context), StepStatus::Waiting);
            EXPECT_EQ(b.modem.calls.size(), call);
            EXPECT_EQ(step.poll(b.context), StepStatus::Waiting);
            EXPECT_EQ(b.modem.calls.size(), call + 1);
        }
        EXPECT_EQ(step.poll(b.context), StepStatus::Done);
        EXPECT_EQ(step.outcome(), DialStep::Outcome::NoAnswer);
        EXPECT_EQ(step.repeatsLeft(), 0);
        EXPECT_EQ(b.modem.calls.size(), 3);
    }
    // Answered: connected at once; our own modem silent: nothing more is dialled.
    {
        Bench b;
        b.context.modem = &b.modem;
        DialStep step(3, {});
        step.start(b.context);
        b.modem.connectedNow = true;
        EXPECT_EQ(step.poll(b.context), StepStatus::Done);
        EXPECT_EQ(step.outcome(), DialStep::Outcome::Connected);
        Bench silent;
        silent.context.modem = &silent.modem;
        DialStep lost(3, {});
        lost.start(silent.context);
        silent.modem.silent = true;
        EXPECT_EQ(lost.poll(silent.context), StepStatus::Done);
        EXPECT_EQ(lost.outcome(), DialStep::Outcome::DispatcherSilent);
        EXPECT_EQ(silent.modem.calls.size(), 1);
    }
    // A stop asked for while ringing: no second call.
    {
        Bench b;
        b.context.modem = &b.modem;
        DialStep step(3, {});
        step.start(b.context);
        b.context.stopRequested = true;
        EXPECT_EQ(step.poll(b.context), StepStatus::Done);
        EXPECT_EQ(step.outcome(), DialStep::Outcome::NoAnswer);
        EXPECT_EQ(b.modem.calls.size(), 1);
    }
}

TEST(PointStepClasses, HangingUpWaitsForTheModemAndLogsTheConnectionsEnd) {
    // A cable point has nothing to hang up.
    {
        Bench b;
        EXPECT_EQ(HangUpStep().start(b.context), StepStatus::Done);
        EXPECT_FALSE(b.progress().log.connectionEnd.isValid());
    }
    Bench b;
    b.context.modem = &b.modem;
    b.modem.connectedNow = true;
    b.progress().connectionSeconds = 42;
    HangUpStep step;
    ASSERT_EQ(step.start(b.context), StepStatus::Waiting);
    EXPECT_EQ(b.modem.hangUps, 1);
    b.modem.busyNow = true;
    EXPECT_EQ(step.poll(b.context), StepStatus::Waiting);
    b.clock.advance(3000);
    b.modem.busyNow = false;
    EXPECT_EQ(step.poll(b.context), StepStatus::Done);
    EXPECT_EQ(b.progress().log.connectionEnd, b.clock.now());
    EXPECT_EQ(b.progress().log.connectionSeconds, 42);
    EXPECT_EQ(b.modem.hangUps, 1);

    // The end already logged when the line went down stays.
    Bench down;
    down.context.modem = &down.modem;
    down.modem.busyNow = true;
    const QDateTime lineDown = down.clock.now().addSecs(-5);
    down.progress().log.connectionEnd = lineDown;
    HangUpStep again;
    again.start(down.context);
    down.modem.busyNow = false;
    EXPECT_EQ(again.poll(down.context), StepStatus::Done);
    EXPECT_EQ(down.progress().log.connectionEnd, lineDown);
}

TEST(PointStepClasses, WhatWasReadIsStoredOnlyFromTheProvenPointAndACallThatCameUpLeavesItsLog) {
    using database::SourceKind;
    // Read and proved: stored as polled by cable, with the log's marks and what was asked.
    {
        Bench b;
        FakeStore store;
        store.answer.stored = true;
        b.progress().dataRead = b.progress().identityConfirmed = true;
        b.progress().kindsRead = {corrector::read_kind::Daily};
        b.progress().clockCorrected = true;
        b.progress().clockCorrection = -4;
        b.progress().gasWritten = true;
        StoreStep step(&store, false, QStringLiteral("00100001000"), QStringLiteral("норма"));
        EXPECT_EQ(step.start(b.context), StepStatus::Done);
        ASSERT_EQ(store.stored.size(), 1);
        EXPECT_EQ(store.stored.first().source, SourceKind::PolledByCable);
        EXPECT_EQ(store.stored.first().kinds, QList<int>{corrector::read_kind::Daily});
        EXPECT_EQ(store.stored.first().itemsToRead, QStringLiteral("00100001000"));
        EXPECT_TRUE(store.stored.first().log.clockCorrected);
        EXPECT_TRUE(store.stored.first().log.gasWritten);
        EXPECT_TRUE(store.logsOnly.isEmpty());
        const PointSummary& s = step.summary();
        EXPECT_EQ(s.identifier, QStringLiteral("01234"));
        EXPECT_EQ(s.name, kName.trimmed());
        EXPECT_EQ(s.result, QStringLiteral("норма"));
        EXPECT_EQ(s.clockCorrection, -4);
        EXPECT_TRUE(s.gasWritten);
    }
    // Read but never proved to be the point: nothing is stored.
    {
        Bench b;
        FakeStore store;
        b.progress().dataRead = true;
        b.progress().error = QStringLiteral("ном.выз.прибора не равен ном.в БД");
        StoreStep step(&store, false, {}, QStringLiteral("ошибка обмена с прибором"));
        step.start(b.context);
        EXPECT_TRUE(store.stored.isEmpty());
        EXPECT_TRUE(store.logsOnly.isEmpty());
        EXPECT_EQ(step.summary().error, QStringLiteral("ном.выз.прибора не равен ном.в БД"));
    }
    // A call that came up and read nothing: its request-log row alone, as the modem's source kind.
    {
        Bench b;
        FakeStore store;
        b.progress().error = QStringLiteral("нет связи с прибором");
        b.progress().log.connectionBegin = b.clock.now().addSecs(-30);
        StoreStep step(&store, true, QStringLiteral("00100000000"),
                       QStringLiteral("ошибка обмена с прибором"));
        step.start(b.context);
        EXPECT_TRUE(store.stored.isEmpty());
        ASSERT_EQ(store.logsOnly.size(), 1);
        const database::StoreContext& c = store.logsOnly.first();
        EXPECT_EQ(c.identifier, QStringLiteral("01234"));
        EXPECT_EQ(c.serial, QStringLiteral("01234"));
        EXPECT_EQ(c.model, QStringLiteral("ТАРН-2.01"));
        EXPECT_EQ(c.sourceKind, database::sourceKindNumber(SourceKind::PolledByModem));
        EXPECT_EQ(c.itemsToRead, QStringLiteral("00100000000"));
        EXPECT_EQ(c.poll.error, QStringLiteral("нет связи с прибором"));
    }
    // A number that never answered leaves no row at all.
    {
        Bench b;
        FakeStore store;
        b.progress().error = QStringLiteral("нет связи с модемом");
        StoreStep(&store, true, {}, QStringLiteral("нет связи с модемом")).start(b.context);
        EXPECT_TRUE(store.stored.isEmpty() && store.logsOnly.isEmpty());
    }
}
