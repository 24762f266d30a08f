// The gate of every corrector operation and the read run, against the simulated corrector in process.
#include "CorrectorRole.h"
#include "SimLine.h"
#include "corrector/Blocks.h"
#include "corrector/OperationStart.h"
#include "corrector/PageRead.h"
#include "corrector/ReadRun.h"
#include "link/EngineRig.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::corrector;
using link::LinkSettings;
using test::hex;

namespace {

struct Rig : test::EngineRig {
    sim::InProcessLine line{port};
    sim::CorrectorRole* corrector = nullptr;
    LinkSettings settings;
    OperationStart gate{engine, link, settings, notifier};
    QList<int> ran;
    QList<int> direct;
    QList<QByteArray> identificationReads;
    int resets = 0;
    int reinits = 0;
    std::optional<bool> finished;

    explicit Rig(const char* json = R"({"role": "corrector", "address": 1, "serial": 1234,
                                        "identification": "V Tarn-sim V47b"})")
        : EngineRig(3, 1) {
        QString error;
        auto role = sim::CorrectorRole::fromJson(QJsonDocument::fromJson(json).object(), error);
        EXPECT_TRUE(role) << error.toStdString();
        corrector = static_cast<sim::CorrectorRole*>(role.get());
        line.addRole(std::move(role));
        engine.settings().replyTimeoutMs = 60;
        settings.readChoice = QStringLiteral("1000001000000");
        gate.setLanguage(kRussian);
        gate.stepIntervalMs = 1;
        gate.directDelayMs = 1;
        OperationStart::Hooks h;
        h.reinitPort = [this] {
            ++reinits;
            link.closePort();
            return link.openPort(true);
        };
        h.resetCorrectorWindow = [this] { ++resets; };
        h.runOperation = [this](int code) { ran.append(code); };
        h.runDirect = [this](int code) { direct.append(code); };
        h.identificationRead = [this](const QByteArray& p) { identificationReads.append(p); };
        gate.setHooks(h);
        QObject::connect(&gate, &OperationStart::identificationFinished, [this](bool ok) { finished = ok; });
    }
    bool until(const std::function<bool()>& pred) { return test::waitUntil(pred); }
    int framesLike(const char* h) const { return static_cast<int>(port.writes.count(hex(h))); }
};

} // namespace

TEST(OperationStart, TwoAgreeingReadsThenTheOperationRuns) {
    Rig r;
    EXPECT_EQ(r.gate.startOperation(operation::Parameters), OperationStart::StartResult::Identifying);
    ASSERT_TRUE(r.until([&] { return r.finished.has_value(); }));
    EXPECT_TRUE(*r.finished);
    EXPECT_EQ(r.ran, QList<int>{operation::Parameters});
    EXPECT_EQ(r.reinits, 1);
    EXPECT_EQ(r.framesLike("02 00 20 DD"), 2);
    EXPECT_EQ(r.port.writes.size(), 2);
    EXPECT_EQ(r.gate.identification().versionTag(), QStringLiteral("V47b"));
    EXPECT_TRUE(r.gate.identified());
    // The corrector window sees both reads (its software version field).
    ASSERT_EQ(r.identificationReads.size(), 2);
    EXPECT_TRUE(r.identificationReads[0].startsWith("V Tarn-sim V47b"));
}

TEST(OperationStart, DifferingReadsAreReadAgainUpToTheBoundWithTheirOwnMessage) {
    Rig once(
        R"({"role": "corrector", "identification": "V Tarn-sim V47b", "faults": {"identificationChanges": 1}})");
    once.gate.startOperation(operation::Hourly);
    ASSERT_TRUE(once.until([&] { return once.finished.has_value(); }));
    EXPECT_TRUE(*once.finished);
    EXPECT_EQ(once.framesLike("02 00 20 DD"), 4);

    Rig always(
        R"({"role": "corrector", "identification": "V Tarn-sim V47b", "faults": {"identificationChanges": 1000}})");
    always.gate.maxDisagreements = 3;
    always.gate.startOperation(operation::Hourly);
    ASSERT_TRUE(always.until([&] { return always.finished.has_value(); }));
    EXPECT_FALSE(*always.finished);
    EXPECT_TRUE(always.ran.isEmpty());
    EXPECT_EQ(always.framesLike("02 00 20 DD"), 6);
    // Every read was answered: the link is not what failed.
    EXPECT_FALSE(always.engine.noLinkShown());
    ASSERT_FALSE(always.notifier.texts().isEmpty());
    EXPECT_EQ(always.notifier.texts().last(), identificationDisagreesText(kRussian));

    // Without a bound (the window, which F10 stops) the reads go on until two agree.
    Rig many(
        R"({"role": "corrector", "identification": "V Tarn-sim V47b", "faults": {"identificationChanges": 30}})");
    many.gate.maxDisagreements = 0;
    many.gate.startOperation(operation::Hourly);
    ASSERT_TRUE(many.until([&] { return many.finished.has_value(); }));
    EXPECT_TRUE(*many.finished);
    EXPECT_GT(many.framesLike("02 00 20 DD"), 30);
}

TEST(OperationStart, RefusedVersionsShowTheirMessageAndResetTheWindow) {
    Rig r(R"({"role": "corrector", "identification": "X Tarn-sim X41C"})");
    r.gate.startOperation(operation::ReadAll);
    ASSERT_TRUE(r.until([&] { return r.finished.has_value(); }));
    EXPECT_FALSE(*r.finished);
    EXPECT_TRUE(r.ran.isEmpty());
    EXPECT_EQ(r.resets, 1);
    ASSERT_FALSE(r.notifier.messages.isEmpty());
    EXPECT_EQ(r.notifier.messages.last().second,
              QStringLiteral("Данная версия ПО корректора работает с программой \"QuonR\""));
}

TEST(OperationStart, SilenceEndsTheIdentificationWithoutTheOperation) {
    Rig r(R"({"role": "corrector", "address": 2})");
    r.gate.startOperation(operation::Parameters);
    ASSERT_TRUE(r.until([&] { return r.finished.has_value(); }));
    EXPECT_FALSE(*r.finished);
    EXPECT_TRUE(r.ran.isEmpty());
    EXPECT_EQ(r.framesLike("02 00 20 DD"), 3); // the retries, then nothing
    EXPECT_TRUE(r.engine.noLinkShown());
}

TEST(OperationStart, GateRefusals) {
    Rig busy;
    busy.engine.lineUse().pollingRun = true;
    EXPECT_EQ(busy.gate.startOperation(operation::Parameters), OperationStart::StartResult::Refused);
    EXPECT_EQ(busy.notifier.messages.value(0).second, QStringLiteral("Внимание!!!  Порт занят"));
    EXPECT_TRUE(busy.port.writes.isEmpty());

    Rig modem;
    modem.settings.modemUsed = true;
    EXPECT_EQ(modem.gate.startOperation(operation::Parameters), OperationStart::StartResult::Refused);
    EXPECT_EQ(modem.notifier.messages.value(0).second, QStringLiteral("Нет соединения с модемом!!!"));

    Rig missing;
    missing.settings.corrPort = QStringLiteral("COM5");
    EXPECT_EQ(missing.gate.startOperation(operation::Parameters), OperationStart::StartResult::Refused);
    EXPECT_EQ(missing.notifier.messages.value(0).second, QStringLiteral("Ошибка открытия портаCOM5"));
    EXPECT_EQ(missing.reinits, 0);
}

TEST(OperationStart, DirectOperationsSkipTheIdentification) {
    Rig r;
    EXPECT_EQ(r.gate.startOperation(operation::AlarmCheck), OperationStart::StartResult::Direct);
    ASSERT_TRUE(r.until([&] { return !r.direct.isEmpty(); }));
    EXPECT_EQ(r.direct, QList<int>{operation::AlarmCheck});
    EXPECT_TRUE(r.port.writes.isEmpty());
    EXPECT_TRUE(r.ran.isEmpty());
}

TEST(OperationStart, F10StopsTheIdentification) {
    Rig r(R"({"role": "corrector", "faults": {"replyDelayMs": 40}})");
    r.engine.settings().replyTimeoutMs = 1000;
    r.gate.startOperation(operation::Parameters);
    ASSERT_TRUE(r.until([&] { return !r.port.writes.isEmpty(); }));
    r.gate.stopIdentification();
    ASSERT_TRUE(r.finished.has_value());
    EXPECT_FALSE(*r.finished);
    // Nothing more is sent: no request is out, and the late reply finds nobody.
    EXPECT_FALSE(r.engine.busy());
    r.timeOut();
    EXPECT_EQ(r.port.writes.size(), 1);
    EXPECT_TRUE(r.ran.isEmpty());
}

// ---------------------------------------------------------------------------------------------------

namespace {

// The session's side of the read run, as far as the run needs it: pages 0, 64 and 128, the blocks, and an
// archive reader of four blocks when the test wants one.
struct RunRig : Rig {
    ReadRun run{engine, settings};
    PageReadTransfer pages{engine};
    link::CallbackTransfer block;
    link::CallbackTransfer archive;
    QList<int> accepted;
    int blockKind = 0;
    bool closed = false;
    std::optional<bool> closedCompleted;
    QList<int> archivesAsked;
    bool archiveReader = false;
    bool stopAtArchive = false;

    explicit RunRig(const char* json = R"({"role": "corrector", "address": 1, "serial": 1234,
                                         "identification": "V Tarn-sim V47b"})")
        : Rig(json) {
        run.setLanguage(kRussian);
        run.startDelayMs = 1;
        run.closeDelayMs = 1;
        run.escapeCloseDelayMs = 1;
        pages.accepted = [this](quint8 page, const QByteArray&) {
            accepted.append(page);
            run.stepGauge();
            if (page < 128) pages.readPage(static_cast<quint8>(page + 64));
        };
        pages.complete = [this] { run.kindEnded(read_kind::Parameters, true); };
        pages.failed = [this](const link::Failure&) { run.kindEnded(read_kind::Parameters, false); };
        block.complete = [this] { run.kindEnded(blockKind, true); };
        block.failed = [this](const link::Failure&) { run.kindEnded(blockKind, false); };
        archive.complete = [this] { run.kindEnded(read_kind::Hourly, true); };
        ReadRun::Hooks h;
        h.startKind = [this](int kind) {
            if (kind == read_kind::Parameters) {
                pages.readPage(0);
                return true;
            }
            const BlockAddress b = kind == read_kind::Version ? kVersionBlock : kClockBlock;
            if (kind == read_kind::Version || kind == read_kind::Clock) {
                blockKind = kind;
                engine.start(link::Request::read(link::opRead, b.address, b.count), block);
                return true;
            }
            archivesAsked.append(kind);
            if (!archiveReader) return false;
            engine.start(link::Request::read(link::opArchiveHigh, 0xFE, 0, 3), archive);
            // The user presses "СТОП" while the first block is on its way.
            if (stopAtArchive) run.stop();
            return true;
        };
        h.closed = [this](bool completed) {
            closed = true;
            closedCompleted = completed;
        };
        run.setHooks(h);
    }
};

} // namespace

TEST(ReadRun, ReadAllReadsTheParametersThenTheTickedKindsInOrder) {
    RunRig r;
    r.run.open(read_kind::ReadAll);
    EXPECT_EQ(r.run.state(), ReadRun::State::Asking);
    EXPECT_EQ(r.run.label(), QStringLiteral("ЧИТАТЬ ВСЕ"));
    EXPECT_TRUE(r.run.yesEnabled());
    EXPECT_FALSE(r.run.stopEnabled());
    r.run.yes();
    EXPECT_TRUE(r.run.stopEnabled());
    ASSERT_TRUE(r.until([&] { return r.closed; }));
    EXPECT_EQ(r.run.completedKinds(), (QList<int>{1, 3, 12}));
    EXPECT_EQ(r.accepted, (QList<int>{0, 64, 128}));
    EXPECT_EQ(r.closedCompleted, std::optional<bool>(true));
    EXPECT_EQ(r.archivesAsked, QList<int>{3}); // no reader yet: the queue goes on
    EXPECT_EQ(r.port.writes.last(), hex("02 00 30 CD"));
    EXPECT_EQ(r.run.gauge(), r.run.gaugeMax());
}

TEST(ReadRun, AnArchiveOperationReadsTheParametersFirst) {
    RunRig r;
    r.run.open(readKindForOperation(operation::Hourly));
    r.run.yes();
    ASSERT_TRUE(r.until([&] { return r.closed; }));
    EXPECT_EQ(r.run.completedKinds(), (QList<int>{1, 3}));
}

TEST(ReadRun, StopLetsTheBlockInFlightEndTheQueue) {
    RunRig r;
    r.archiveReader = true;
    r.stopAtArchive = true;
    r.settings.readChoice = QStringLiteral("1000000100000"); // hourly archive and the clock
    r.run.open(read_kind::ReadAll);
    r.run.yes();
    ASSERT_TRUE(r.until([&] { return !r.archivesAsked.isEmpty(); }));
    EXPECT_EQ(r.run.state(), ReadRun::State::Asking);
    ASSERT_TRUE(r.until([&] { return !r.engine.busy(); }));
    r.settle();
    // The block in flight was the last one; the clock was never asked for; the window stays open.
    EXPECT_EQ(r.framesLike("23 FE 00 DE"), 1);
    EXPECT_EQ(r.framesLike("23 FF 00 DD"), 0);
    EXPECT_EQ(r.framesLike("02 01 20 DC"), 0);
    EXPECT_FALSE(r.closed);
    EXPECT_TRUE(r.run.yesEnabled());
}

TEST(ReadRun, NoAndEscapeClose) {
    RunRig no;
    no.run.open(read_kind::Parameters);
    no.run.no();
    ASSERT_TRUE(no.until([&] { return no.closed; }));
    EXPECT_TRUE(no.port.writes.isEmpty());

    RunRig esc;
    esc.run.open(read_kind::Parameters);
    esc.run.yes();
    esc.run.escape();
    ASSERT_TRUE(esc.until([&] { return esc.closed; }));
}

TEST(ReadRun, NoLinkEndsTheRunAndClosesTheWindow) {
    RunRig r(R"({"role": "corrector", "address": 2})"); // nobody answers address 1
    r.run.open(read_kind::ReadAll);
    r.run.yes();
    ASSERT_TRUE(r.until([&] { return r.closed; }));
    EXPECT_EQ(r.closedCompleted, std::optional<bool>(false));
    EXPECT_TRUE(r.run.completedKinds().isEmpty());
    EXPECT_EQ(r.port.writes.size(), 3); // the first page's sends, then nothing more
    EXPECT_TRUE(r.engine.noLinkShown());
}

TEST(ReadRun, WindowTextsInBothLanguages) {
    RunRig r;
    EXPECT_EQ(r.run.questionText(), QStringLiteral("ЧИТАТЬ ?"));
    EXPECT_EQ(r.run.emptyLineText(), QStringLiteral("ЧИТАТЬ ДО ПУСТОЙ СТРОКИ"));
    r.run.setLanguage(kUkrainian);
    EXPECT_EQ(r.run.questionText(), QStringLiteral("ЧИТАТИ?"));
    EXPECT_EQ(r.run.noText(), QStringLiteral("НІ"));
}
