#include "EngineRig.h"
#include "common/Language.h"
#include "link/FrameChecksum.h"

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::link;
using test::EngineRig;
using test::hex;

TEST(ExchangeWire, RequestFramesByteForByte) {
    EXPECT_EQ(frameChecksum(hex("02 00 20")), 0xDD);
    EngineRig r1(6, 1);
    r1.read(opRead, 0, 32);
    EngineRig r3(6, 3);
    r3.read(opArchiveHigh, 0x10, 0);
    EngineRig r14(6, 14);
    r14.read(opPageRead, 64, 0);
    ASSERT_EQ(r1.port.writes.size(), 1);
    EXPECT_EQ(r1.port.writes[0], hex("02 00 20 DD"));
    EXPECT_EQ(r3.port.writes.value(0), hex("27 10 00 C8"));
    EXPECT_EQ(r14.port.writes.value(0), hex("5C 40 00 63"));
    EXPECT_EQ(r1.engine.state().expectedLength, 34);
}

TEST(ExchangeWire, WritesCarryOneTo256DataBytes) {
    EngineRig r;
    const QByteArray data(256, '\x5A');
    ASSERT_TRUE(r.write(0x82, data));
    ASSERT_EQ(r.port.writes.size(), 1);
    const QByteArray f = r.port.writes[0];
    EXPECT_EQ(f.size(), 260);
    EXPECT_EQ(f.left(3), hex("82 82 00"));
    EXPECT_EQ(static_cast<quint8>(f.back()), frameChecksum(f.left(259)));
    EXPECT_EQ(r.engine.state().expectedLength, 2);
    r.answer(hex("00 FF"));
    EXPECT_FALSE(r.engine.busy());
    EXPECT_EQ(r.completed, 1);

    // 257 bytes would put 1 in byte 2; an empty write would claim 256. Neither is sent.
    EXPECT_FALSE(r.write(0x82, QByteArray(257, '\0')));
    EXPECT_FALSE(r.write(0x82, QByteArray()));
    EXPECT_EQ(r.port.writes.size(), 1);
    EXPECT_FALSE(r.engine.busy());
}

TEST(ExchangeReplies, CountsChunksAndPayload) {
    EngineRig r;
    QList<QByteArray> payloads;
    QObject::connect(&r.engine, &ExchangeEngine::replyAccepted,
                     [&](quint8, quint8, const QByteArray& p) { payloads.append(p); });
    r.read(opRead, 0x82, 1);
    EXPECT_EQ(r.engine.state().expectedLength, 3);
    r.answer(EngineRig::frame(0, hex("7F")));
    ASSERT_EQ(payloads.size(), 1);
    EXPECT_EQ(payloads[0], hex("7F"));

    QByteArray page(256, '\0');
    for (int i = 0; i < 256; ++i)
        page[i] = static_cast<char>(i);
    const QByteArray reply = EngineRig::frame(0, page);
    r.read(opArchiveLow, 0x34, 0);
    EXPECT_EQ(r.engine.state().expectedLength, 258);
    r.answer(reply.left(1));
    r.answer(reply.mid(1, 200));
    EXPECT_EQ(payloads.size(), 1); // not yet complete, and nothing failed
    EXPECT_TRUE(r.failureHeads().isEmpty());
    r.answer(reply.mid(201));
    ASSERT_EQ(payloads.size(), 2);
    EXPECT_EQ(payloads[1], page);
    EXPECT_FALSE(r.engine.replyTimerActive());
    EXPECT_EQ(r.completed, 2);
}

TEST(ExchangeReplies, OneByteTooManyIsCodeThreeAndRetriedAfterTheTimeOut) {
    EngineRig r;
    r.read(opRead, 0, 32);
    r.answer(EngineRig::frame(0, QByteArray(32, 'A')) + hex("00"));
    EXPECT_EQ(r.failureHeads(), QStringList{QStringLiteral("информации больше расчета")});
    EXPECT_EQ(r.completed, 0);
    EXPECT_TRUE(r.engine.replyTimerActive());
    EXPECT_EQ(r.port.writes.size(), 1);
    r.timeOut();
    ASSERT_EQ(r.port.writes.size(), 2);
    EXPECT_EQ(r.port.writes[1], r.port.writes[0]);
    // The time-out also classes the bytes it found: a count that is not the expected one.
    EXPECT_EQ(r.failureHeads().last(), QStringLiteral("кол-во принятых не равно"));
    r.answer(EngineRig::frame(0, QByteArray(32, 'A')));
    EXPECT_EQ(r.completed, 1);
}

TEST(ExchangeReplies, BadChecksumIsCodeSixAndTextsAreCutAt25) {
    EngineRig r;
    r.read(opRead, 1, 32);
    QByteArray bad = EngineRig::frame(0, QByteArray(32, '\x01'));
    bad.back() = static_cast<char>(bad.back() ^ 0x01);
    r.answer(bad);
    EXPECT_EQ(r.failureHeads(), QStringList{QStringLiteral("ошибка контрольной суммы!")});
    EXPECT_EQ(r.completed, 0);
    EXPECT_EQ(linkLogCodeText(LinkLogCode::ChecksumMismatch, kRussian),
              QStringLiteral("ошибка контрольной суммы!"));
    EXPECT_EQ(linkLogCodeText(LinkLogCode::CountDiffers, kUkrainian),
              QStringLiteral("кількість прийнятих не до"));
    EXPECT_EQ(linkLogCodeText(LinkLogCode::MoreThanExpected, kUkrainian),
              QStringLiteral("інформації більше розраху"));
    EXPECT_EQ(linkLogCodeText(LinkLogCode::NothingReceived, kUkrainian),
              QStringLiteral("помилка - немає прийому"));
    EXPECT_EQ(linkLogCodeText(LinkLogCode::TransmissionError, kRussian),
              QStringLiteral("ошибка при передаче"));
}

TEST(ExchangeStatus, ARefusalIsTheTransfersToJudgeAsSoonAsItIsIn) {
    // The status byte with its check byte alone is a whole refusal: the transfer hears of it at once.
    EngineRig r;
    r.transfer.refusalVerdict = RefusalVerdict::End;
    ASSERT_TRUE(r.write(0x82, hex("39 30 00 00 0A D7")));
    r.answer(EngineRig::frame(0x48, {}));
    EXPECT_EQ(r.transfer.refusals, QList<quint8>{0x48});
    ASSERT_EQ(r.transfer.failures.size(), 1);
    EXPECT_EQ(r.transfer.failures[0].kind, FailureKind::Refused);
    EXPECT_EQ(r.transfer.failures[0].status, 0x48);
    EXPECT_FALSE(r.engine.busy());
    EXPECT_EQ(r.failureHeads(), QStringList{QStringLiteral("ответное слово брак")});
    r.timeOut(); // a late timer has nothing left to do
    EXPECT_EQ(r.port.writes.size(), 1);
    EXPECT_TRUE(r.noLinkTexts.isEmpty());

    // A transfer that leaves it to the timer gets its resends, and on the last one no link.
    EngineRig t(2);
    t.read(opRead, 0, 32);
    t.answer(EngineRig::frame(0x20, {}));
    EXPECT_EQ(t.transfer.refusals.size(), 1);
    EXPECT_TRUE(t.engine.replyTimerActive());
    t.timeOut();
    t.answer(EngineRig::frame(0x20, {}));
    t.timeOut();
    EXPECT_EQ(t.port.writes.size(), 2);
    ASSERT_EQ(t.transfer.failures.size(), 1);
    EXPECT_EQ(t.transfer.failures[0].kind, FailureKind::Refused);
    EXPECT_EQ(t.noLinkTexts.size(), 1);

    // The first bytes of a good reply are no refusal, nor is a status frame with a bad check byte.
    EngineRig g;
    g.transfer.refusalVerdict = RefusalVerdict::End;
    g.read(opRead, 0, 4);
    g.answer(hex("00 11"));
    g.answer(hex("08 00"));
    EXPECT_TRUE(g.transfer.refusals.isEmpty());
    EXPECT_TRUE(g.engine.busy());
}

TEST(ExchangeRetries, ASilentCorrectorGetsExactlyRetryCountFrames) {
    for (int retries : {6, 1}) {
        EngineRig r(retries);
        r.read(opRead, 0, 32);
        for (int i = 0; i < 10 && r.engine.busy(); ++i)
            r.timeOut();
        EXPECT_EQ(r.port.writes.size(), retries);
        for (const QByteArray& w : r.port.writes)
            EXPECT_EQ(w, hex("02 00 20 DD"));
        EXPECT_EQ(r.noLinkTexts, QStringList{QStringLiteral("НЕТ СВЯЗИ RS-232 ")});
        EXPECT_TRUE(r.engine.noLinkShown());
        ASSERT_EQ(r.transfer.failures.size(), 1);
        EXPECT_EQ(r.transfer.failures[0].kind, FailureKind::NoReply);
        EXPECT_EQ(r.lost, 1);
        EXPECT_EQ(r.failureHeads().size(), retries);
        EXPECT_EQ(r.failureHeads().last(), QStringLiteral("ошибка - нет приема"));
        EXPECT_FALSE(r.engine.busy());
    }
    EngineRig ua;
    ua.engine.setLanguage(kUkrainian);
    ua.read(opRead, 0, 32, 1);
    ua.timeOut();
    EXPECT_EQ(ua.noLinkTexts, QStringList{QStringLiteral("НЕМАЄ ЗВ’ЯЗКУ RS-232")});
    // The next good reply hides it.
    ua.read(opRead, 0, 1);
    ua.answer(EngineRig::frame(0, hex("01")));
    EXPECT_FALSE(ua.engine.noLinkShown());
}

TEST(ExchangeRetries, ResetOnFailureReopensThePortExceptOnAModemLink) {
    EngineRig r(3);
    r.engine.settings().resetOnFailure = true;
    QList<int> opensAtWrite;
    r.port.onWrite = [&](const QByteArray&) { opensAtWrite.append(r.port.openCount); };
    r.read(opRead, 0, 32);
    r.timeOut();
    r.timeOut();
    EXPECT_EQ(opensAtWrite, (QList<int>{1, 2, 3})); // re-opened before each resend
    r.timeOut();
    EXPECT_EQ(r.port.openCount, 5); // and twice more on giving up
    EXPECT_TRUE(r.port.isOpen());

    EngineRig m(3);
    m.engine.settings().resetOnFailure = true;
    m.engine.settings().modemUsed = true;
    m.read(opRead, 0, 32);
    m.timeOut();
    m.timeOut();
    m.timeOut();
    EXPECT_EQ(m.port.openCount, 1);
    EXPECT_EQ(m.port.writes.size(), 3);
}

TEST(ExchangeRetries, ABrokenLinkIsReportedAtOnce) {
    EngineRig r;
    r.link.markBroken();
    r.read(opRead, 0x82, 6);
    EXPECT_TRUE(r.port.writes.isEmpty());
    EXPECT_FALSE(r.engine.replyTimerActive());
    r.settle();
    EXPECT_EQ(r.lost, 1);
    EXPECT_EQ(r.noLinkTexts.size(), 1);
    ASSERT_EQ(r.transfer.failures.size(), 1);
    EXPECT_EQ(r.transfer.failures[0].kind, FailureKind::LinkBroken);
    EXPECT_FALSE(r.engine.busy());

    // A port that has gone from the system, and a write that fails, end the same way.
    EngineRig gone;
    gone.link.closePort();
    gone.port.existing.clear();
    gone.read(opRead, 0, 32);
    gone.settle();
    EXPECT_TRUE(gone.link.linkBroken());
    EXPECT_EQ(gone.lost, 1);
    EngineRig failing;
    failing.port.failWrites = true;
    failing.read(opRead, 0, 32);
    failing.settle();
    EXPECT_EQ(failing.notifier.texts(), QStringList{QStringLiteral("ОШИБКА COM порта")});
    EXPECT_EQ(failing.lost, 1);
    EXPECT_EQ(failing.transfer.failures.size(), 1);
}

TEST(ExchangeTiming, WritePauseIsATimerAndTheReplyTimerIsClamped) {
    EngineRig r;
    r.engine.settings().writeDelayMs = 5;
    r.engine.settings().replyTimeoutMs = 0;
    r.read(opRead, 0, 32);
    EXPECT_TRUE(r.port.writes.isEmpty()); // returned without waiting
    EXPECT_TRUE(r.engine.busy());
    // Bytes arriving in the pause are no reply to a frame not yet sent.
    r.answer(EngineRig::frame(0, QByteArray(32, 'x')));
    EXPECT_EQ(r.completed, 0);
    ASSERT_TRUE(test::waitUntil([&] { return r.port.writes.size() == 1; }));
    EXPECT_TRUE(r.engine.replyTimerActive());
    EXPECT_EQ(r.engine.replyTimerInterval(), kMinReplyTimeoutMs);
    // The real timer runs out by itself and the request goes out again.
    EXPECT_TRUE(test::waitUntil([&] { return r.port.writes.size() >= 2; }));
}

// The write pause is the quiet time the corrector needs after its reply before the next request: what the
// program spent between the two counts towards it, and only time in which the line was quiet does.
TEST(ExchangeTiming, TheWritePauseRunsFromTheEndOfTheReply) {
    FakeSerialPort port;
    test::RecordingNotifier notifier;
    LinkPort link{port, notifier};
    ManualClock clock;
    ExchangeEngine engine{link, notifier, clock};
    port.existing = {QStringLiteral("/dev/ttyS0")};
    link.configure(QStringLiteral("COM1"), QStringLiteral("19200"), false);
    ASSERT_TRUE(link.openPort(true));
    LinkSettings s;
    s.writeDelayMs = 20;
    s.replyTimeoutMs = 10000;
    s.resetOnFailure = false;
    engine.configure(s, 1);
    test::RecordingTransfer transfer;
    const QByteArray reply = EngineRig::frame(0, QByteArray(32, 'x'));
    // How long after its start a request went on the wire.
    auto writtenAfter = [&] {
        const qint64 started = clock.monotonicMs();
        const qsizetype before = port.writes.size();
        engine.start(Request::read(opRead, 0, 32), transfer);
        EXPECT_TRUE(clock.runUntil([&] { return port.writes.size() > before; }, 1000));
        return clock.monotonicMs() - started;
    };

    EXPECT_EQ(writtenAfter(), 20); // nothing before it
    port.inject(reply);
    EXPECT_EQ(transfer.completed, 1);
    EXPECT_EQ(writtenAfter(), 20); // asked for at once

    // 15 ms spent on the reply: the clock's whole milliseconds may hide most of one, so 14 of them count.
    port.inject(reply);
    clock.advance(15);
    EXPECT_EQ(writtenAfter(), 6);
    port.inject(reply);
    clock.advance(50);
    EXPECT_EQ(writtenAfter(), 0);

    // Bytes heard after the reply: the line was not quiet, so the whole pause again.
    port.inject(reply);
    port.inject(hex("FF"));
    clock.advance(50);
    EXPECT_EQ(writtenAfter(), 20);

    // A repeat after silence waits the whole pause, however long ago the last reply was.
    port.inject(reply);
    clock.advance(50);
    EXPECT_EQ(writtenAfter(), 0);
    const qsizetype sent = port.writes.size();
    clock.advance(10000); // the reply timer runs out and the request is repeated after its pause
    EXPECT_EQ(port.writes.size(), sent);
    clock.advance(19);
    EXPECT_EQ(port.writes.size(), sent);
    clock.advance(1);
    EXPECT_EQ(port.writes.size(), sent + 1);
    EXPECT_EQ(port.writes.back(), port.writes.at(sent - 1));
}

TEST(ExchangeTransfers, ArchiveBlocksWrapAndEachStartsWithFullRetries) {
    EngineRig r(2);
    r.read(opArchiveLow, 0xFE, 0, 0, 3);
    for (int i = 0; i < 4; ++i) {
        if (i == 1) r.timeOut(); // one silence in the second block
        r.answer(EngineRig::frame(0, QByteArray(256, static_cast<char>(i))));
    }
    QList<int> blocks;
    for (const QByteArray& w : r.port.writes)
        blocks.append(static_cast<quint8>(w.at(1)));
    EXPECT_EQ(blocks, (QList<int>{0xFE, 0xFF, 0xFF, 0x00, 0x01}));
    EXPECT_EQ(r.completed, 1);
    EXPECT_EQ(r.transfer.completed, 1);
    EXPECT_EQ(r.transfer.blocks.size(), 4);
    EXPECT_EQ(r.lost, 0);
}

TEST(ExchangeTransfers, TheTransferDecidesAgainFinishOrATakeOver) {
    // Again: the same block once more (a record check that failed).
    EngineRig r;
    r.transfer.blockVerdict = [&](const Reply&) {
        return r.transfer.blocks.size() == 1 ? BlockVerdict::Again : BlockVerdict::Continue;
    };
    r.read(opArchiveLow, 52, 0, 0, 1);
    r.answer(EngineRig::frame(0, QByteArray(256, 'a')));
    r.answer(EngineRig::frame(0, QByteArray(256, 'a')));
    r.answer(EngineRig::frame(0, QByteArray(256, 'b')));
    QList<int> blocks;
    for (const QByteArray& w : r.port.writes)
        blocks.append(static_cast<quint8>(w.at(1)));
    EXPECT_EQ(blocks, (QList<int>{52, 52, 53}));
    EXPECT_EQ(r.transfer.completed, 1);

    // Finish: the blocks still left are not read (the empty end of an archive).
    EngineRig f;
    f.transfer.blockVerdict = [](const Reply&) { return BlockVerdict::Finish; };
    f.read(opArchiveHigh, 10, 0, 0, 5);
    f.answer(EngineRig::frame(0, QByteArray(256, '\0')));
    EXPECT_EQ(f.port.writes.size(), 1);
    EXPECT_EQ(f.transfer.completed, 1);
    EXPECT_FALSE(f.engine.busy());

    // A transfer may start its next request from its block or its completion; the engine lets the old
    // one go.
    EngineRig c;
    CallbackTransfer status;
    status.complete = [&] { ++c.completed; };
    c.transfer.blockVerdict = [&](const Reply&) {
        c.engine.start(Request::read(opRead, 4, 32), status);
        return BlockVerdict::Continue;
    };
    c.read(opRead, 1, 32, 0, 3);
    c.answer(EngineRig::frame(0, QByteArray(32, '\0')));
    ASSERT_EQ(c.port.writes.size(), 2);
    EXPECT_EQ(c.port.writes[1], hex("02 04 20 D9"));
    EXPECT_EQ(c.transfer.completed, 0); // taken over, not completed
    c.answer(EngineRig::frame(0, QByteArray(32, '\0')));
    EXPECT_EQ(c.port.writes.size(), 2);
    EXPECT_FALSE(c.engine.busy());
}

TEST(ExchangeTransfers, MultiBlockWritesRepeatTheData) {
    EngineRig r;
    ASSERT_TRUE(r.write(0x10, hex("01 02"), 0, 1));
    r.answer(hex("00 FF"));
    r.answer(hex("00 FF"));
    ASSERT_EQ(r.port.writes.size(), 2);
    EXPECT_EQ(r.port.writes[0], withFrameChecksum(hex("82 10 02 01 02")));
    EXPECT_EQ(r.port.writes[1], withFrameChecksum(hex("82 11 02 01 02")));
    EXPECT_EQ(r.completed, 1);
}

TEST(ExchangeTransfers, ATransferThatGoesAwayTakesItsRequestWithIt) {
    EngineRig r;
    {
        CallbackTransfer shortLived;
        r.engine.start(Request::read(opRead, 0, 32), shortLived);
        EXPECT_TRUE(r.engine.busy());
    }
    EXPECT_FALSE(r.engine.busy());
    r.answer(EngineRig::frame(0, QByteArray(32, 'V')));
    r.timeOut();
    EXPECT_EQ(r.completed, 0);
    EXPECT_EQ(r.port.writes.size(), 1);
    // F10: the request is dropped without a word to its transfer.
    r.read(opRead, 0, 32);
    r.engine.abandonRequest();
    r.timeOut();
    EXPECT_TRUE(r.transfer.failures.isEmpty());
    EXPECT_EQ(r.port.writes.size(), 2);
}

TEST(ExchangeReplies, ALateSecondCopyOfAReplyIsNotTakenAgain) {
    EngineRig r;
    r.read(opRead, 0, 32);
    const QByteArray reply = EngineRig::frame(0, QByteArray(32, 'V'));
    r.answer(reply);
    r.answer(reply);
    EXPECT_EQ(r.completed, 1);
    EXPECT_EQ(r.transfer.blocks.size(), 1);
}

TEST(ExchangeAlarm, TheNoticeIsRecognisedEvenWhenSplit) {
    EngineRig r;
    int notices = 0;
    QObject::connect(&r.engine, &ExchangeEngine::alarmNotice, [&] { ++notices; });
    r.answer(hex("9E 06 01"));
    EXPECT_EQ(r.engine.receiveBuffer(), hex("9E 06 01")); // held back
    r.answer(hex("31 0F 89"));
    EXPECT_EQ(notices, 1);
    EXPECT_TRUE(r.engine.receiveBuffer().isEmpty());
    EXPECT_FALSE(r.engine.replyTimerActive());  // nothing was out: no timer runs
    EXPECT_TRUE(r.notifier.messages.isEmpty()); // the warning follows 50 ms later
    ASSERT_TRUE(test::waitUntil([&] { return !r.notifier.messages.isEmpty(); }));
    EXPECT_EQ(r.notifier.messages[0].first, MessageKind::Warning);
    EXPECT_EQ(r.notifier.messages[0].second,
              QStringLiteral("Внимание!!! Пришло сообщение о аварии корректора"));

    // Asked for by the alarm check: the notice is its answer, shown without the warning box.
    EngineRig asked;
    asked.transfer.alarmNoticeAnswers = true;
    asked.read(opRead, 19, 6);
    asked.answer(hex("9E 06 01 31 0F 89"));
    EXPECT_FALSE(asked.engine.busy());
    EXPECT_EQ(asked.transfer.completed, 1);
    asked.timeOut();
    EXPECT_EQ(asked.port.writes.size(), 1);
    EXPECT_TRUE(asked.notifier.messages.isEmpty());
}

TEST(ExchangeAlarm, ANoticeDuringAReadRestartsItsWait) {
    EngineRig during;
    during.read(opRead, 0, 32);
    during.answer(hex("9E 06 01 31 0F 89"));
    // The read's own reply may still follow the notice.
    EXPECT_TRUE(during.engine.replyTimerActive());
    EXPECT_TRUE(during.engine.busy());
    during.answer(EngineRig::frame(0, QByteArray(32, 'V')));
    EXPECT_EQ(during.transfer.completed, 1);
}

TEST(ExchangeAlarm, ThreeToFiveBytesOfTheNoticeAreHeldOtherRepliesGoTheNormalPath) {
    EngineRig r;
    r.read(opRead, 0x82, 1);
    r.answer(hex("9E 06 02"));
    EXPECT_EQ(r.failureHeads(), QStringList{QStringLiteral("ответное слово брак")});
    // Three bytes of the notice followed by others: held until the reply timer settles it.
    EngineRig d;
    d.read(opRead, 0x82, 3);
    d.answer(hex("9E 06 01 00 00"));
    EXPECT_TRUE(d.failureHeads().isEmpty());
    EXPECT_EQ(d.engine.receiveBuffer(), hex("9E 06 01 00 00"));
    d.timeOut();
    EXPECT_EQ(d.port.writes.size(), 2);
    EXPECT_EQ(d.failureHeads(), QStringList{QStringLiteral("ответное слово брак")});
    d.answer(EngineRig::frame(0, hex("01 02 03")));
    EXPECT_EQ(d.transfer.completed, 1);
}

TEST(ExchangeRawLine, AClaimedLineGivesEveryChunkToItsReceiverUntilReleased) {
    struct Terminal final : RawReceiver {
        void onRawBytes(const QByteArray& chunk) override { text += chunk; }
        QByteArray text;
    } terminal;
    EngineRig r;
    {
        LineClaim claim = r.engine.claimLine(terminal);
        EXPECT_TRUE(r.engine.lineClaimed());
        r.answer("OK\r\n");
        r.answer(hex("9E 06 01 31 0F 89")); // no notice, no frame: the receiver's bytes
        EXPECT_EQ(terminal.text, QByteArray("OK\r\n") + hex("9E 06 01 31 0F 89"));
        EXPECT_TRUE(r.engine.receiveBuffer().isEmpty());
    }
    EXPECT_FALSE(r.engine.lineClaimed());
    r.read(opRead, 0, 1);
    r.answer(EngineRig::frame(0, hex("07")));
    EXPECT_EQ(r.transfer.completed, 1);
    EXPECT_EQ(terminal.text.size(), 10);
    // A receiver that goes first leaves no claim behind.
    auto gone = std::make_unique<Terminal>();
    LineClaim claim = r.engine.claimLine(*gone);
    gone.reset();
    EXPECT_FALSE(r.engine.lineClaimed());
}

TEST(ExchangeFailures, EachEndingIsTheSharedErrorKindWithItsMessage) {
    // A corrector that said no, one that said nothing, and a link on which nothing could be sent: the
    // same three endings as the engine gives them, each the error the files and the database also use.
    EngineRig refused;
    refused.transfer.refusalVerdict = RefusalVerdict::End;
    ASSERT_TRUE(refused.write(0x82, hex("39 30 00 00 0A D7")));
    refused.answer(EngineRig::frame(0x48, {}));
    ASSERT_EQ(refused.transfer.failures.size(), 1);
    Failure told = refused.transfer.failures[0];
    told.message = QStringLiteral("пароль не верный");
    EXPECT_EQ(told.error().kind, ErrorKind::Refused);
    EXPECT_EQ(told.error().detail, told.message);

    EngineRig silent(1);
    silent.read(opRead, 0, 32);
    silent.timeOut();
    ASSERT_EQ(silent.transfer.failures.size(), 1);
    EXPECT_EQ(silent.transfer.failures[0].error().kind, ErrorKind::NoReply);

    EngineRig broken;
    broken.link.markBroken();
    broken.read(opRead, 0x82, 6);
    broken.settle();
    ASSERT_EQ(broken.transfer.failures.size(), 1);
    EXPECT_EQ(broken.transfer.failures[0].error().kind, ErrorKind::NoLink);
    EXPECT_TRUE(broken.transfer.failures[0].error().failed());
}
