// The modem's commands and result words, and the polling modem machine driven tick by tick.
#include "common/PhoneNumber.h"
#include "common/TextFile.h"
#include "corrector/ModemTexts.h"
#include "database/Registry.h"
#include "link/EngineRig.h"
#include "link/LineHold.h"
#include "link/ModemMachine.h"
#include "link/ModemReplies.h"
#include "link/ModemSession.h"
#include "link/ModemTerminal.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::link;

TEST(ModemReplies, ThePollingRecogniserReadsWordsAndNumericCodes) {
    EXPECT_EQ(pollingModemWord("ATDP123\r\r\nCONNECT 9600\r\n"), ModemWord::Connect);
    EXPECT_EQ(pollingModemWord("\r\nNO CARRIER\r\n"), ModemWord::NoCarrier);
    EXPECT_EQ(pollingModemWord("\r\nOK\r\n"), ModemWord::Ok);
    EXPECT_EQ(pollingModemWord("x+++y"), ModemWord::Escape);
    EXPECT_EQ(pollingModemWord("\r\nNO ANSWER\r\n"), ModemWord::NoAnswer);
    // A modem set to numeric results (V0): the digit and its carriage return.
    EXPECT_EQ(pollingModemWord("1\r"), ModemWord::Connect);
    EXPECT_EQ(pollingModemWord("ATDP5551234\r7\r"), ModemWord::Busy);
    EXPECT_EQ(pollingModemWord("0\r"), ModemWord::Ok);
    // Not yet a result: the code's carriage return still to come, or only the echo of the command.
    EXPECT_EQ(pollingModemWord("1"), ModemWord::None);
    EXPECT_EQ(pollingModemWord("ATDP5551234\r"), ModemWord::None);
    EXPECT_EQ(pollingModemWord("\r\nCONNEC"), ModemWord::None);
}

TEST(ModemReplies, TheManualRecogniserDropsTheEchoAndKnowsNumericCodes) {
    const QByteArray dial = manualDialCommand(QStringLiteral("555 12 34 // office"));
    EXPECT_EQ(dial, QByteArray("ATDP5551234\r"));
    EXPECT_EQ(manualInitCommand(QStringLiteral("AT&F E0 S0=0")), QByteArray("AT&FE0S0=0\r"));
    EXPECT_EQ(pollingDialCommand(QStringLiteral("555 12 34")), QByteArray("ATDP5551234\r\n"));
    EXPECT_EQ(manualModemReply("ATDP5551234\r\r\nCONNECT 9600\r\n", dial), ManualReply::Connected);
    EXPECT_EQ(manualModemReply("ATDP5551234\r\r\nBUSY\r\n", dial), ManualReply::Busy);
    EXPECT_EQ(manualModemReply("1\r", dial), ManualReply::Connected);
    EXPECT_EQ(manualModemReply("3\r", dial), ManualReply::NoCarrier);
    EXPECT_EQ(manualReplyWord(ManualReply::NoCarrier), QStringLiteral("NO CARRIER"));
    // The echo alone: the number's digits are no result code.
    EXPECT_EQ(manualModemReply("ATDP5551234\r", dial), ManualReply::Nothing);
    EXPECT_EQ(manualModemReply("ATDP13\r", manualDialCommand(QStringLiteral("13"))), ManualReply::Nothing);
}

namespace {

struct FakeModem final : ModemIo {
    QList<QByteArray> sent;
    QStringList logLines;
    QStringList errors;
    bool frameMode = false;
    int seconds = -1;
    void send(const QByteArray& text) override { sent.append(text); }
    void setFrameMode(bool on) override { frameMode = on; }
    void log(const QString& line, bool error) override { (error ? errors : logLines).append(line); }
    const LinkWording* wording() const override { return &corrector::correctorLinkWording(); }
    void showCallSeconds(int s) override { seconds = s; }
    void lineChanged(bool up) override { lineEvents.append(up); }
    QList<bool> lineEvents;
    int count(const QByteArray& prefix) const {
        return static_cast<int>(std::count_if(sent.begin(), sent.end(),
                                              [&](const QByteArray& b) { return b.startsWith(prefix); }));
    }
};

struct Rig {
    FakeModem io;
    ModemMachine machine{io};
    ModemJob job{QStringLiteral("555 12 34"), QStringLiteral("AT&FE0S0=0"), 2, QStringLiteral("котельня")};
    void ticks(int n) {
        for (int i = 0; i < n; ++i)
            machine.tick();
    }
    // Ticks until the machine has sent something new (at most limit ticks).
    void tickUntilSent(int count, int limit = 200) {
        for (int i = 0; i < limit && io.sent.size() < count; ++i)
            machine.tick();
    }
    void connect() {
        machine.startProcedure(ModemMachine::Call, job);
        tickUntilSent(1);
        machine.onModemText("\r\nOK\r\n");
        tickUntilSent(2);
        machine.onModemText("\r\nCONNECT 9600\r\n");
        ticks(10);
    }
};

} // namespace

TEST(ModemMachine, ACallInitialisesDialsAndGoesToFrameModeOnConnect) {
    Rig r;
    r.connect();
    ASSERT_EQ(r.io.sent.size(), 2);
    EXPECT_EQ(r.io.sent.at(0), QByteArray("AT&FE0S0=0\r\n"));
    EXPECT_EQ(r.io.sent.at(1), QByteArray("ATDP5551234\r\n"));
    EXPECT_TRUE(r.io.frameMode);
    EXPECT_TRUE(r.machine.connected());
    EXPECT_EQ(r.machine.procedure(), ModemMachine::Idle);
    EXPECT_TRUE(r.io.logLines.contains(QStringLiteral("Запрос -> \"котельня\"")));
    EXPECT_TRUE(r.io.logLines.contains(QStringLiteral("Набор номера \"555 12 34\" -> \"котельня\"")));
    EXPECT_TRUE(r.io.logLines.contains(QStringLiteral("есть соединение с - \"555 12 34\"")));

    // Hanging up a call that is up: a quiet line, "+++", then "ATH0", until the modem says OK.
    r.machine.startProcedure(ModemMachine::BreakCall, r.job);
    r.ticks(r.machine.guardTicks());
    EXPECT_EQ(r.io.count("+++"), 0); // the guard time first
    r.tickUntilSent(3);
    EXPECT_EQ(r.io.sent.last(), QByteArray("+++"));
    EXPECT_FALSE(r.io.frameMode);
    r.tickUntilSent(4);
    EXPECT_EQ(r.io.sent.last(), QByteArray("ATH0\r\n"));
    r.machine.onModemText("\r\nOK\r\n");
    r.ticks(5);
    EXPECT_EQ(r.machine.procedure(), ModemMachine::Idle);
    EXPECT_FALSE(r.machine.connected());
    EXPECT_EQ(r.io.logLines.last(), QStringLiteral("Вызов -> \"котельня\" - завершен"));
}

TEST(ModemMachine, EscapeWaitsForTheModemsGuardTimeFromTheLastByteOnTheLine) {
    // S12 is in fiftieths of a second; the last setting on the line is the one the modem keeps.
    const struct {
        const char* init;
        int guardMs;
    } cases[] = {{"AT&FE0S0=0", 1000},      {"AT&FE0S0=0S12=25", 500}, {"ATS12=100", 2000},
                 {"ATE0 S12 = 40 V1", 800}, {"ats12=30s12=60", 1200},  {"ATS112=3", 1000},
                 {"AT&FS0=0S120=9", 1000}};
    constexpr int msPerTick = 1000 / ModemMachine::kTicksPerSecond;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.init);
        Rig r;
        r.job.init = QString::fromLatin1(c.init);
        r.connect();
        r.machine.startProcedure(ModemMachine::BreakCall, r.job);
        // A frame late in the wait restarts the quiet time.
        r.ticks(10);
        r.machine.noteLineActivity();
        int quiet = 0;
        while (r.io.count("+++") == 0 && quiet < 400) {
            r.machine.tick();
            ++quiet;
        }
        ASSERT_EQ(r.io.count("+++"), 1);
        // "+++" went out on the tick number `quiet` after the last byte: the ticks wholly behind it
        // are the silence the modem saw.
        const int silentMs = (quiet - 1) * msPerTick;
        EXPECT_GE(silentMs, c.guardMs + c.guardMs / 10);
        EXPECT_LE(silentMs, c.guardMs + c.guardMs / 10 + 2 * msPerTick); // and not much later

        // The modem answers the escape after its guard time; "ATH0" waits for that answer.
        const int sentBefore = static_cast<int>(r.io.sent.size());
        r.ticks(c.guardMs / msPerTick);
        EXPECT_EQ(r.io.sent.size(), sentBefore) << "ATH0 inside the guard after the escape";
        r.machine.onModemText("\r\nOK\r\n");
        r.ticks(3);
        EXPECT_EQ(r.io.sent.last(), QByteArray("ATH0\r\n"));
    }
}

TEST(ModemMachine, TheLineStaysUpUntilTheHangUpIsAnsweredLostOrGivenUp) {
    // Hang-up answered: up at CONNECT, still up through "+++" and "ATH0", down at the OK.
    Rig answered;
    answered.connect();
    EXPECT_EQ(answered.io.lineEvents, QList<bool>{true});
    answered.machine.startProcedure(ModemMachine::BreakCall, answered.job);
    answered.tickUntilSent(3, 100);
    ASSERT_EQ(answered.io.sent.last(), QByteArray("+++"));
    EXPECT_TRUE(answered.machine.lineUp());
    EXPECT_FALSE(answered.machine.connected());
    answered.machine.onModemText("\r\nOK\r\n");
    answered.tickUntilSent(4, 100);
    ASSERT_EQ(answered.io.sent.last(), QByteArray("ATH0\r\n"));
    answered.ticks(5);
    EXPECT_TRUE(answered.machine.lineUp());
    answered.machine.onModemText("\r\nOK\r\n");
    answered.ticks(3);
    EXPECT_FALSE(answered.machine.lineUp());
    EXPECT_EQ(answered.io.lineEvents, (QList<bool>{true, false}));

    // The far end hangs up: down at once.
    Rig lost;
    lost.connect();
    lost.machine.onLineDropped();
    EXPECT_FALSE(lost.machine.lineUp());
    EXPECT_EQ(lost.io.lineEvents, (QList<bool>{true, false}));

    // A modem that never answers the hang-up: down when the last try has timed out, not before.
    Rig silent;
    silent.connect();
    silent.machine.startProcedure(ModemMachine::BreakCall, silent.job);
    while (silent.io.count("ATH0") < 3)
        silent.machine.tick();
    EXPECT_TRUE(silent.machine.lineUp());
    silent.ticks(100);
    EXPECT_FALSE(silent.machine.lineUp());
    EXPECT_EQ(silent.io.lineEvents, (QList<bool>{true, false}));
}

TEST(ModemMachine, BusyAndSilenceEndInAHangUpAndSecondsAreSeconds) {
    Rig busy;
    busy.machine.startProcedure(ModemMachine::Call, busy.job);
    busy.tickUntilSent(1);
    busy.machine.onModemText("OK\r\n");
    busy.tickUntilSent(2);
    busy.machine.onModemText("\r\nBUSY\r\n");
    busy.tickUntilSent(3);
    EXPECT_EQ(busy.io.sent.last(), QByteArray("ATH0\r\n"));
    EXPECT_EQ(busy.io.errors, QStringList{QStringLiteral("нет соединения между модемами")});
    busy.machine.onModemText("OK\r\n");
    busy.ticks(5);
    EXPECT_EQ(busy.machine.procedure(), ModemMachine::Idle);
    EXPECT_FALSE(busy.io.frameMode);

    // Nothing after the dial: the dial time-out is counted in real seconds, 20 ticks each.
    Rig silent;
    silent.machine.startProcedure(ModemMachine::Call, silent.job);
    silent.tickUntilSent(1);
    silent.machine.onModemText("OK\r\n");
    silent.tickUntilSent(2);
    silent.ticks(ModemMachine::kTicksPerSecond);
    EXPECT_EQ(silent.io.seconds, 1);
    EXPECT_EQ(silent.io.count("ATH0"), 0);
    silent.tickUntilSent(3, 3 * ModemMachine::kTicksPerSecond);
    EXPECT_EQ(silent.io.sent.last(), QByteArray("ATH0\r\n"));
    EXPECT_EQ(silent.io.seconds, 2);
}

TEST(ModemMachine, AReplyInPiecesIsTakenWhenItIsStillThereATickLater) {
    Rig r;
    r.machine.startProcedure(ModemMachine::Call, r.job);
    r.tickUntilSent(1);
    r.machine.onModemText("\r\nO");
    r.ticks(3);
    EXPECT_EQ(r.io.sent.size(), 1); // no dial on half a word
    r.machine.onModemText("K\r\n");
    EXPECT_EQ(r.machine.lastWord(), ModemWord::None);
    r.tickUntilSent(2);
    EXPECT_EQ(r.io.sent.last(), QByteArray("ATDP5551234\r\n"));
}

TEST(ModemMachine, AModemThatNeverConfirmsTheHangUpIsTriedThreeTimes) {
    Rig r;
    r.connect();
    r.machine.startProcedure(ModemMachine::BreakCall, r.job);
    r.ticks(600);
    EXPECT_EQ(r.io.count("ATH0"), 3);
    EXPECT_EQ(r.io.count("+++"), 3);
    EXPECT_EQ(r.io.errors.last(), QStringLiteral("Нет связи с модемом!!!"));
    EXPECT_EQ(r.machine.procedure(), ModemMachine::Idle);
    // A call the far end drops ends the connection at once.
    Rig dropped;
    dropped.connect();
    dropped.machine.onLineDropped();
    EXPECT_FALSE(dropped.machine.connected());
    EXPECT_FALSE(dropped.io.frameMode);
}

namespace {

// The interactive modem on a fake line, its waits a few milliseconds.
struct SessionRig {
    test::EngineRig rig;
    explicit SessionRig(test::EngineRig::Time time) : rig(6, 1, time) { setUp(); }
    link::LinkSettings settings;
    LineHold hold;
    std::unique_ptr<ModemSession> modem;
    SessionRig() { setUp(); }
    void setUp() {
        settings.corrPort = QStringLiteral("COM1");
        settings.modemHoldSec = QStringLiteral("3");
        modem = std::make_unique<ModemSession>(rig.engine, rig.link, settings, kRussian);
        modem->initToDialMs = 5;
        modem->secondMs = 10;
        modem->escapeGuardMs = 5;
        modem->escapeToHangUpMs = 5;
        modem->hangUpToReopenMs = 5;
        modem->setLineHold(&hold);
    }
    QList<QByteArray> written() const { return rig.port.writes; }
};

} // namespace

TEST(ModemSession, ManualDialConnectsAndTheHoldCountdownDropsAnIdleCall) {
    SessionRig s;
    EXPECT_EQ(s.modem->dial(QStringLiteral("   // office")), QStringLiteral("Нет информации \"Телефон:\""));
    EXPECT_FALSE(s.hold.held()); // a refused dial holds nothing
    ASSERT_TRUE(s.modem->dial(QStringLiteral("555 12 34 // office")).isEmpty());
    // The call holds the line from the dial to the end of the drop.
    EXPECT_TRUE(s.hold.held());
    ASSERT_TRUE(test::waitUntil([&] { return s.written().size() >= 2; }));
    EXPECT_EQ(s.written().at(0), QByteArray("AT&FE0S0=0\r"));
    EXPECT_EQ(s.written().at(1), QByteArray("ATDP5551234\r"));
    s.rig.port.inject("ATDP5551234\r\r\nCONNECT 9600\r\n");
    ASSERT_TRUE(s.modem->connected());
    EXPECT_TRUE(s.rig.engine.lineUse().modemConnected);
    EXPECT_EQ(s.modem->connectionLabel(),
              QStringLiteral("Установлено соединение с  -  \"555 12 34 // office\""));
    // Three seconds without a frame: "+++", then "ATH0", then the port opened again.
    ASSERT_TRUE(test::waitUntil([&] { return s.written().size() >= 4; }));
    EXPECT_EQ(s.written().at(2), QByteArray("+++"));
    EXPECT_EQ(s.written().at(3), QByteArray("ATH0\r"));
    EXPECT_FALSE(s.modem->connected());
    EXPECT_FALSE(s.rig.engine.lineUse().modemConnected);
    EXPECT_TRUE(s.hold.held()); // "ATH0" is still on its way
    ASSERT_TRUE(test::waitUntil([&] { return !s.modem->droppingCall(); }));
    EXPECT_FALSE(s.hold.held());
}

// "СБРОС МОД" keeps the line quiet for the guard time before "+++", and a late reply starts that time
// again: "+++" inside it would be data to the modem and "ATH0" would reach the corrector.
TEST(ModemSession, TheDropWaitsForAQuietLineBeforeTheEscape) {
    SessionRig s(test::EngineRig::Time::Manual);
    ManualClock& clock = s.rig.manualClock;
    s.modem->escapeGuardMs = 80;
    ASSERT_TRUE(s.modem->dial(QStringLiteral("5551234")).isEmpty());
    ASSERT_TRUE(clock.runUntil([&] { return s.written().size() >= 2; }, 10'000));
    s.rig.port.inject("CONNECT 9600\r\n");
    ASSERT_TRUE(s.modem->connected());
    s.modem->drop();
    EXPECT_EQ(s.written().size(), 2); // nothing at once
    // Part of the guard time passes; then a byte arrives, and the quiet time counts from it.
    clock.advance(50);
    EXPECT_EQ(s.written().size(), 2);
    s.rig.port.inject("\x01\x02"); // a late frame from the corrector
    const qint64 lastByteAt = clock.monotonicMs();
    clock.advance(79);
    EXPECT_EQ(s.written().size(), 2); // still within the guard time after the last byte
    ASSERT_TRUE(clock.runUntil([&] { return s.written().size() >= 3; }, 10'000));
    EXPECT_GE(clock.monotonicMs() - lastByteAt, 80); // never earlier than the guard time after the last byte
    EXPECT_EQ(s.written().at(2), QByteArray("+++"));
    ASSERT_TRUE(clock.runUntil([&] { return s.written().size() >= 4; }, 10'000));
    EXPECT_EQ(s.written().at(3), QByteArray("ATH0\r"));
}

TEST(ModemSession, NumericRepliesAndTheFarEndHangingUp) {
    SessionRig s;
    ASSERT_TRUE(s.modem->dial(QStringLiteral("5550000")).isEmpty());
    ASSERT_TRUE(test::waitUntil([&] { return s.written().size() >= 2; }));
    EXPECT_TRUE(s.hold.held());
    s.rig.port.inject("3\r");
    EXPECT_EQ(s.modem->reply(), QStringLiteral("NO CARRIER"));
    EXPECT_FALSE(s.modem->counting());
    EXPECT_FALSE(s.hold.held()); // no call came of it
    ASSERT_TRUE(s.modem->dial(QStringLiteral("5551234")).isEmpty());
    ASSERT_TRUE(test::waitUntil([&] { return s.written().size() >= 4; }));
    s.rig.port.inject("1\r");
    ASSERT_TRUE(s.modem->connected());
    // "NO CARRIER" among the frames: the connection ends, nothing is sent.
    const auto sent = s.written().size();
    s.rig.port.inject("\r\nNO CAR");
    s.rig.port.inject("RIER\r\n");
    EXPECT_FALSE(s.modem->connected());
    EXPECT_EQ(s.written().size(), sent);
    EXPECT_FALSE(s.hold.held());
}

TEST(LineHold, EachOperationLetsGoOnItsOwnAndAMovedTokenHoldsOnce) {
    LineHold hold;
    LineHold::Token read = hold.take(QStringLiteral("read"));
    {
        LineHold::Token call = hold.take(QStringLiteral("call"));
        EXPECT_EQ(hold.holders(), (QStringList{QStringLiteral("read"), QStringLiteral("call")}));
    }
    EXPECT_TRUE(hold.held()); // the read still runs
    LineHold::Token moved = std::move(read);
    EXPECT_FALSE(read.held());
    read.release(); // a moved-from token lets go of nothing
    EXPECT_TRUE(hold.held());
    moved = hold.take(QStringLiteral("again")); // the old hold goes as the new one comes
    EXPECT_EQ(hold.holders(), QStringList{QStringLiteral("again")});
    moved.release();
    EXPECT_FALSE(hold.held());
}

// Only a missing command book is started afresh; one that cannot be read keeps its bytes and says why.
TEST(ModemTerminal, AnUnreadableCommandBookIsNeverReplaced) {
    test::TempHome home;
    const QString path = atBookPath(home.root(), kUkrainian);
    const QByteArray head("ATZ                 // mine\r\n");
    home.write(folder::Work, QStringLiteral("uaFlATcom.000"), head);
    {
        QFile big(path);
        ASSERT_TRUE(big.resize(16 * 1024 * 1024 + 1));
    }
    Error error;
    EXPECT_TRUE(loadAtBook(home.root(), kUkrainian, &error).isEmpty());
    EXPECT_EQ(error.kind, ErrorKind::Invalid);
    QFile kept(path);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.size(), 16 * 1024 * 1024 + 1);
    EXPECT_EQ(kept.read(head.size()), head);
    kept.close();

    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir().mkpath(path));
    error = {};
    EXPECT_TRUE(loadAtBook(home.root(), kUkrainian, &error).isEmpty());
    EXPECT_EQ(error.kind, ErrorKind::Io);
    EXPECT_TRUE(QFileInfo(path).isDir());

    // A missing book reports nothing and is written with its header.
    error = {};
    EXPECT_TRUE(loadAtBook(home.root(), kRussian, &error).isEmpty());
    EXPECT_TRUE(error.ok());
    EXPECT_TRUE(readTextLines(atBookPath(home.root(), kRussian)).has_value());
}

TEST(ModemTerminal, TheCommandBookAndThePanesAsTheTerminalShowsThem) {
    const auto line = parseAtLine(QStringLiteral("AT&F E0         // factory, no echo"));
    ASSERT_TRUE(line);
    EXPECT_EQ(line->command, QStringLiteral("AT&F E0"));
    EXPECT_EQ(line->note, QStringLiteral(" factory, no echo"));
    EXPECT_FALSE(parseAtLine(QStringLiteral("   // only a note")));
    EXPECT_EQ(hexBytes(QStringLiteral("41 54 0d 5")), QByteArray("AT\r\x05"));

    test::TempHome home;
    EXPECT_TRUE(loadAtBook(home.root(), kRussian).isEmpty());
    EXPECT_EQ(readTextLines(atBookPath(home.root(), kRussian)),
              std::optional<QStringList>(QStringList{QStringLiteral("//файл \"AT\" команд модема")}));
    ASSERT_TRUE(saveAtBook(home.root(), kRussian, {{QStringLiteral("ATI"), QStringLiteral(" info")}}));
    EXPECT_EQ(readTextLines(atBookPath(home.root(), kRussian))->last(),
              QStringLiteral("ATI                 // info"));
    EXPECT_EQ(loadAtBook(home.root(), kRussian).first().note, QStringLiteral(" info"));

    const QStringList lines =
        paneLines("\r\nOK\r\nAT\x01\n", false, kRussian, QDateTime(QDate(2024, 3, 1), QTime(10, 0)));
    EXPECT_EQ(lines.at(0), QStringLiteral("10:00:00.000"));
    EXPECT_EQ(lines.at(1), QStringLiteral("кол.б-т=10 :: 0D 0A 4F 4B 0D 0A 41 54 01 0A"));
    EXPECT_EQ(lines.mid(2), (QStringList{QString(), QStringLiteral("OK"), QStringLiteral("AT")}));

    // The terminal holds the line: what the modem answers is shown, and no frame is read from it.
    test::EngineRig rig;
    ModemTerminal terminal(rig.engine, rig.link, kRussian);
    ASSERT_TRUE(terminal.open());
    ASSERT_TRUE(terminal.sendCommand(QStringLiteral("AT I")));
    EXPECT_EQ(rig.port.writes.last(), QByteArray("ATI\r"));
    rig.port.inject("\r\nOK\r\n");
    EXPECT_TRUE(terminal.receivedPane().contains(QStringLiteral("OK")));
    EXPECT_TRUE(terminal.sendLineTest());
    EXPECT_EQ(rig.port.writes.last(), QByteArray(550, 'S') + '\r');
}

TEST(LineClaims, ClaimingAgainWithTheSameReceiverKeepsTheLine) {
    struct Collect final : RawReceiver {
        QByteArray received;
        void onRawBytes(const QByteArray& chunk) override { received += chunk; }
    } collect;
    test::EngineRig rig;
    LineClaim claim = rig.engine.claimLine(collect);
    // The new claim is taken before the old one is let go: the line must stay the receiver's.
    claim = rig.engine.claimLine(collect);
    rig.port.inject("OK");
    EXPECT_EQ(collect.received, QByteArray("OK"));
    claim.release();
    rig.port.inject("more");
    EXPECT_EQ(collect.received, QByteArray("OK"));
}

TEST(PhoneNumbers, OnlyWhatADialStringHoldsIsDialled) {
    const struct {
        const char16_t* number;
        const char16_t* refused; // empty: dialled
    } cases[] = {
        {u"555 12 34", u""},
        {u"+380 44 555-01-01", u""},
        {u"8W044,,5550101", u""},
        {u"P5550101#*", u""},
        {u"5550101 // котельня", u""},
        {u"5550101;ATZ", u"Недопустимый номер телефона \"5550101;ATZ\": символ \";\""},
        {u"555O101", u"Недопустимый номер телефона \"555O101\": символ \"O\""},
        {u"5550101\rATH", u"Недопустимый номер телефона \"5550101\rATH\": символ U+000D"},
        {u"", u"Недопустимый номер телефона \"\": нет цифр номера"},
        {u" - ", u"Недопустимый номер телефона \" - \": нет цифр номера"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(database::phoneRefusalText(checkPhoneNumber(QString::fromUtf16(c.number)), kRussian),
                  QString::fromUtf16(c.refused))
            << QString::fromUtf16(c.number).toStdString();
    // A field may stay empty (a point on a cable has no number); typed, it is checked.
    EXPECT_FALSE(checkPhoneField(QString()).refused());
    EXPECT_TRUE(checkPhoneField(QStringLiteral("12;ATH")).refused());
    test::RecordingNotifier notifier;
    EXPECT_FALSE(database::acceptPhoneField(QStringLiteral("12;ATH"), notifier, kRussian));
    EXPECT_EQ(notifier.messages.size(), 1);

    // The dial itself never sends such a number: the call fails before anything reaches the modem.
    Rig r;
    r.job.phone = QStringLiteral("5550101;ATZ");
    r.machine.startProcedure(ModemMachine::Call, r.job);
    r.tickUntilSent(1);
    r.machine.onModemText("\r\nOK\r\n");
    r.ticks(40);
    EXPECT_EQ(r.io.count("ATDP"), 0);
    EXPECT_TRUE(
        r.io.errors.contains(QStringLiteral("Недопустимый номер телефона \"5550101;ATZ\": символ \";\"")));
}

TEST(ModemTerminal, AHexLineWithAPairThatIsNotAByteSendsNothingAndSaysWhich) {
    const struct {
        const char* text;
        QByteArray bytes;
        const char16_t* refused;
    } cases[] = {
        {"41 54 0d 5", QByteArray("AT\r\x05"), u""},
        {"ff00", QByteArray("\xff\x00", 2), u""},
        {"ZZ 4G 0", {}, u"Не шестнадцатеричный байт: \"ZZ\" (пара 1), ничего не отправлено"},
        {"41 4G", {}, u"Не шестнадцатеричный байт: \"4G\" (пара 2), ничего не отправлено"},
        {"41 5", QByteArray("A\x05"), u""},
        {"41 x", {}, u"Не шестнадцатеричный байт: \"x\" (пара 2), ничего не отправлено"},
        {"4-1", {}, u"Не шестнадцатеричный байт: \"4-\" (пара 1), ничего не отправлено"},
    };
    for (const auto& c : cases) {
        const HexBytes hex = parseHexBytes(QString::fromLatin1(c.text));
        EXPECT_EQ(hex.bytes, c.bytes) << c.text;
        EXPECT_EQ(hex.bad ? corrector::hexRefusalText(*hex.bad, kRussian) : QString(),
                  QString::fromUtf16(c.refused))
            << c.text;
    }

    test::EngineRig rig;
    ModemTerminal terminal(rig.engine, rig.link, kRussian);
    ASSERT_TRUE(terminal.open());
    const auto before = rig.port.writes.size();
    QString refused;
    EXPECT_FALSE(terminal.sendHex(QStringLiteral("ZZ 4G 0"), &refused));
    EXPECT_EQ(rig.port.writes.size(), before);
    EXPECT_TRUE(refused.contains(QStringLiteral("\"ZZ\"")));
    EXPECT_TRUE(terminal.sendHex(QStringLiteral("41 54 0D"), &refused));
    EXPECT_EQ(rig.port.writes.last(), QByteArray("AT\r"));
    EXPECT_TRUE(refused.isEmpty());
}
