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
    r1.engine.startRead(opRead, 0, 32, 6, 0);
    EngineRig r3(6, 3);
    r3.engine.startRead(opArchiveHigh, 0x10, 0, 6, 0);
    EngineRig r14(6, 14);
    r14.engine.startRead(opPageRead, 64, 0, 6, 0);
    ASSERT_EQ(r1.port.writes.size(), 1);
    EXPECT_EQ(r1.port.writes[0], hex("02 00 20 DD"));
    EXPECT_EQ(r3.port.writes.value(0), hex("27 10 00 C8"));
    EXPECT_EQ(r14.port.writes.value(0), hex("5C 40 00 63"));
    EXPECT_EQ(r1.engine.state().expectedLength, 34);
}

TEST(ExchangeWire, WritesCarryOneTo256DataBytes) {
    EngineRig r;
    const QByteArray data(256, '\x5A');
    ASSERT_TRUE(r.engine.startWrite(opWrite, 0x82, data, 6, 0));
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
    EXPECT_FALSE(r.engine.startWrite(opWrite, 0x82, QByteArray(257, '\0'), 6, 0));
    EXPECT_FALSE(r.engine.startWrite(opWrite, 0x82, QByteArray(), 6, 0));
    EXPECT_EQ(r.port.writes.size(), 1);
    EXPECT_FALSE(r.engine.busy());
}

TEST(ExchangeReplies, CountsChunksAndPayload) {
    EngineRig r;
    QList<QByteArray> payloads;
    QObject::connect(&r.engine, &ExchangeEngine::replyAccepted,
                     [&](quint8, quint8, const QByteArray& p) { payloads.append(p); });
    r.engine.startRead(opRead, 0x82, 1, 6, 0);
    EXPECT_EQ(r.engine.state().expectedLength, 3);
    r.answer(EngineRig::frame(0, hex("7F")));
    ASSERT_EQ(payloads.size(), 1);
    EXPECT_EQ(payloads[0], hex("7F"));

    QByteArray page(256, '\0');
    for (int i = 0; i < 256; ++i)
        page[i] = static_cast<char>(i);
    const QByteArray reply = EngineRig::frame(0, page);
    r.engine.startRead(opArchiveLow, 0x34, 0, 6, 0);
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
    r.engine.startRead(opRead, 0, 32, 6, 0);
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
    r.engine.startRead(opRead, 1, 32, 6, 0);
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

TEST(ExchangeStatus, MessagesInTheirOrderAndLanguages) {
    EXPECT_EQ(statusMessage(0x28, false, kRussian), QStringLiteral("Номер корректора не совпал!!!"));
    EXPECT_EQ(statusMessage(0x48, false, kRussian), QStringLiteral("ЗАПИСЬ НЕВОЗМОЖНА, НЕТ ДОПУСКА"));
    EXPECT_EQ(statusMessage(0x40, false, kUkrainian), QStringLiteral("ЗАПИС НЕМОЖЛИВИЙ, НЕМАЄ ДОПУСК"));
    EXPECT_EQ(statusMessage(0x20, false, kRussian), QStringLiteral("Ошибочная команда!!!"));
    EXPECT_EQ(statusMessage(0x28, false, kUkrainian), QStringLiteral("Номер коректора не збігся!"));
    EXPECT_EQ(statusMessage(0x08, false, kRussian), QStringLiteral("Ошибочное значение!!!"));
    EXPECT_EQ(statusMessage(0x08, true, kUkrainian), QStringLiteral("Помилкове значення пароля!!!"));
    EXPECT_FALSE(statusMessage(0x01, false, kRussian));
}

TEST(ExchangeStatus, AnItemTransferReportsTheRefusalAtTheFirstTimeOut) {
    for (const auto& [status, text] : {std::pair<int, const char*>{0x28, "Номер корректора не совпал!!!"},
                                       {0x48, "ЗАПИСЬ НЕВОЗМОЖНА, НЕТ ДОПУСКА"}}) {
        EngineRig r;
        QStringList reported;
        QObject::connect(&r.engine, &ExchangeEngine::statusReported,
                         [&](quint8, const QString& t) { reported.append(t); });
        r.engine.modes().parameterTransfer = true;
        r.engine.modes().itemNumber = 1;
        ASSERT_TRUE(r.engine.startWrite(opWrite, 0x82, hex("39 30 00 00 0A D7"), 6, 0));
        r.answer(EngineRig::frame(static_cast<quint8>(status), {}));
        EXPECT_EQ(r.failureHeads(), QStringList{QStringLiteral("ответное слово брак")});
        r.timeOut();
        EXPECT_EQ(r.port.writes.size(), 1); // no retry
        EXPECT_EQ(reported, QStringList{QString::fromUtf8(text)});
        ASSERT_EQ(r.notifier.messages.size(), 1);
        EXPECT_EQ(r.notifier.messages[0].first, MessageKind::Error);
        EXPECT_EQ(r.items.ended, 1);
        EXPECT_EQ(r.view.accessDrops, 1);
    }
}

TEST(ExchangeStatus, ASilentPasswordWriteIsNotRepeated) {
    EngineRig r;
    r.engine.setLanguage(kUkrainian);
    r.engine.modes().parameterTransfer = true;
    r.engine.modes().itemNumber = 48;
    ASSERT_TRUE(r.engine.startWrite(opWrite, 0xB0, hex("39 30 D2 04 00 00"), 6, 0));
    r.timeOut();
    EXPECT_EQ(r.port.writes.size(), 1);
    EXPECT_EQ(r.notifier.texts(), QStringList{QStringLiteral("немає відповіді від коректора!")});
    EXPECT_EQ(r.items.ended, 1);
    // A wrong password comes back as 0x08: the message names the password.
    EngineRig w;
    w.engine.modes().parameterTransfer = true;
    w.engine.modes().itemNumber = 50;
    w.engine.startWrite(opWrite, 0xB2, hex("39 30 D2 04 00 00"), 6, 0);
    w.answer(EngineRig::frame(0x08, {}));
    w.timeOut();
    EXPECT_EQ(w.notifier.texts().value(0), QStringLiteral("Ошибочное значение пароля!!!"));
}

TEST(ExchangeRetries, ASilentCorrectorGetsExactlyRetryCountFrames) {
    for (int retries : {6, 1}) {
        EngineRig r(retries);
        r.engine.startRead(opRead, 0, 32, retries, 0);
        for (int i = 0; i < 10 && r.engine.busy(); ++i)
            r.timeOut();
        EXPECT_EQ(r.port.writes.size(), retries);
        for (const QByteArray& w : r.port.writes)
            EXPECT_EQ(w, hex("02 00 20 DD"));
        EXPECT_EQ(r.view.noLinkTexts, QStringList{QStringLiteral("НЕТ СВЯЗИ RS-232 ")});
        EXPECT_EQ(r.lost, 1);
        EXPECT_EQ(r.failureHeads().size(), retries);
        EXPECT_EQ(r.failureHeads().last(), QStringLiteral("ошибка - нет приема"));
        EXPECT_FALSE(r.engine.busy());
    }
    EngineRig ua;
    ua.engine.setLanguage(kUkrainian);
    ua.engine.startRead(opRead, 0, 32, 1, 0);
    ua.timeOut();
    EXPECT_EQ(ua.view.noLinkTexts, QStringList{QStringLiteral("НЕМАЄ ЗВ’ЯЗКУ RS-232")});
}

TEST(ExchangeRetries, AnItemTransferGivesUpWithTheNoLinkIndicator) {
    EngineRig r(3);
    r.engine.modes().parameterTransfer = true;
    r.engine.modes().itemNumber = 1;
    r.engine.startRead(opRead, 0x82, 6, 3, 0);
    r.timeOut();
    r.timeOut();
    EXPECT_EQ(r.view.noLinkTexts.size(), 0);
    r.timeOut();
    EXPECT_EQ(r.port.writes.size(), 3);
    EXPECT_EQ(r.view.noLinkTexts.size(), 1);
    EXPECT_EQ(r.items.ended, 1);
    EXPECT_EQ(r.view.accessDrops, 1);
}

TEST(ExchangeRetries, ResetOnFailureReopensThePortExceptOnAModemLink) {
    EngineRig r(3);
    r.engine.settings().resetOnFailure = true;
    QList<int> opensAtWrite;
    r.port.onWrite = [&](const QByteArray&) { opensAtWrite.append(r.port.openCount); };
    r.engine.startRead(opRead, 0, 32, 3, 0);
    r.timeOut();
    r.timeOut();
    EXPECT_EQ(opensAtWrite, (QList<int>{1, 2, 3})); // re-opened before each resend
    r.timeOut();
    EXPECT_EQ(r.port.openCount, 5); // and twice more on giving up
    EXPECT_TRUE(r.port.isOpen());

    EngineRig m(3);
    m.engine.settings().resetOnFailure = true;
    m.engine.settings().modemUsed = true;
    m.engine.startRead(opRead, 0, 32, 3, 0);
    m.timeOut();
    m.timeOut();
    m.timeOut();
    EXPECT_EQ(m.port.openCount, 1);
    EXPECT_EQ(m.port.writes.size(), 3);

    EngineRig p(3);
    p.engine.settings().resetOnFailure = true;
    p.engine.modes().pollingActive = true;
    p.engine.modes().pollingByPhone = true;
    p.engine.startRead(opRead, 0, 32, 3, 0);
    p.timeOut();
    EXPECT_EQ(p.port.openCount, 1);
}

TEST(ExchangeRetries, ABrokenLinkIsReportedAtOnce) {
    EngineRig r;
    r.engine.modes().parameterTransfer = true;
    r.engine.modes().itemNumber = 1;
    r.link.markBroken();
    r.engine.startRead(opRead, 0x82, 6, 6, 0);
    EXPECT_TRUE(r.port.writes.isEmpty());
    EXPECT_FALSE(r.engine.replyTimerActive());
    r.settle();
    EXPECT_EQ(r.lost, 1);
    EXPECT_EQ(r.view.noLinkTexts.size(), 1);
    EXPECT_EQ(r.items.ended, 1);
    EXPECT_FALSE(r.engine.busy());

    // A port that has gone from the system, and a write that fails, end the same way.
    EngineRig gone;
    gone.link.closePort();
    gone.port.existing.clear();
    gone.engine.startRead(opRead, 0, 32, 6, 0);
    gone.settle();
    EXPECT_TRUE(gone.link.linkBroken());
    EXPECT_EQ(gone.lost, 1);
    EngineRig failing;
    failing.port.failWrites = true;
    failing.engine.startRead(opRead, 0, 32, 6, 0);
    failing.settle();
    EXPECT_EQ(failing.notifier.texts(), QStringList{QStringLiteral("ОШИБКА COM порта")});
    EXPECT_EQ(failing.lost, 1);
}

TEST(ExchangeTiming, WritePauseIsATimerAndTheReplyTimerIsClamped) {
    EngineRig r;
    r.engine.settings().writeDelayMs = 5;
    r.engine.settings().replyTimeoutMs = 0;
    r.engine.startRead(opRead, 0, 32, 6, 0);
    EXPECT_TRUE(r.port.writes.isEmpty()); // returned without waiting
    EXPECT_TRUE(r.engine.busy());
    // Bytes arriving in the pause are no reply to a frame not yet sent.
    r.answer(EngineRig::frame(0, QByteArray(32, 'x')));
    EXPECT_EQ(r.completed, 0);
    r.settle(20);
    ASSERT_EQ(r.port.writes.size(), 1);
    EXPECT_TRUE(r.engine.replyTimerActive());
    EXPECT_EQ(r.engine.replyTimerInterval(), kMinReplyTimeoutMs);
    // The real timer runs out by itself (50 ms) and the request goes out again.
    r.settle(120);
    EXPECT_GE(r.port.writes.size(), 2);
}

TEST(ExchangeTransfers, ArchiveBlocksWrapAndEachStartsWithFullRetries) {
    EngineRig r(2);
    r.engine.startRead(opArchiveLow, 0xFE, 0, 2, 3);
    for (int i = 0; i < 4; ++i) {
        if (i == 1) r.timeOut(); // one silence in the second block
        r.answer(EngineRig::frame(0, QByteArray(256, static_cast<char>(i))));
    }
    QList<int> blocks;
    for (const QByteArray& w : r.port.writes)
        blocks.append(static_cast<quint8>(w.at(1)));
    EXPECT_EQ(blocks, (QList<int>{0xFE, 0xFF, 0xFF, 0x00, 0x01}));
    EXPECT_EQ(r.completed, 1);
    EXPECT_EQ(r.lost, 0);
}

TEST(ExchangeTransfers, ARejectedArchiveBlockIsReadAgain) {
    struct Check final : ArchiveConsumer {
        bool acceptBlock(int kind, quint8 block, const QByteArray&) override {
            seen.append({kind, block});
            return seen.size() > 1;
        }
        QList<std::pair<int, int>> seen;
    } check;
    EngineRig r;
    r.engine.consumers().archives = &check;
    r.engine.modes().archiveKind = 3;
    r.engine.startRead(opArchiveLow, 52, 0, 6, 1);
    r.answer(EngineRig::frame(0, QByteArray(256, 'a')));
    r.answer(EngineRig::frame(0, QByteArray(256, 'a')));
    r.answer(EngineRig::frame(0, QByteArray(256, 'b')));
    QList<int> blocks;
    for (const QByteArray& w : r.port.writes)
        blocks.append(static_cast<quint8>(w.at(1)));
    EXPECT_EQ(blocks, (QList<int>{52, 52, 53}));
    EXPECT_EQ(check.seen.size(), 3);
    EXPECT_EQ(r.completed, 1);
}

TEST(ExchangeTransfers, MultiBlockWritesRepeatTheDataAndFollowUpRunsAtTheEnd) {
    EngineRig r;
    r.engine.modes().followUp = followUpStatusBlock;
    ASSERT_TRUE(r.engine.startWrite(opWrite, 0x10, hex("01 02"), 6, 1));
    r.answer(hex("00 FF"));
    r.answer(hex("00 FF"));
    ASSERT_EQ(r.port.writes.size(), 2); // a write clears followUp: nothing follows
    EXPECT_EQ(r.port.writes[0], withFrameChecksum(hex("82 10 02 01 02")));
    EXPECT_EQ(r.port.writes[1], withFrameChecksum(hex("82 11 02 01 02")));
    EXPECT_EQ(r.completed, 1);
}

TEST(ExchangeTransfers, FollowUpReadsTheStatusBlockAfterARead) {
    EngineRig r;
    r.engine.modes().followUp = followUpStatusBlock;
    r.engine.startRead(opRead, 1, 32, 6, 0);
    r.answer(EngineRig::frame(0, QByteArray(32, '\0')));
    ASSERT_EQ(r.port.writes.size(), 2);
    EXPECT_EQ(r.port.writes[1], hex("02 04 20 D9"));
    EXPECT_EQ(r.engine.modes().archiveKind, 16);
    EXPECT_EQ(r.engine.modes().followUp, followUpNone);
    ASSERT_EQ(r.view.blocks.size(), 1);
}

TEST(ExchangeReplies, ALateSecondCopyOfAReplyIsNotTakenAgain) {
    EngineRig r;
    r.engine.startRead(opRead, 0, 32, 6, 0);
    const QByteArray reply = EngineRig::frame(0, QByteArray(32, 'V'));
    r.answer(reply);
    r.answer(reply);
    EXPECT_EQ(r.completed, 1);
    EXPECT_EQ(r.view.blocks.size(), 1);
}

TEST(ExchangeAlarm, TheNoticeIsRecognisedEvenWhenSplit) {
    EngineRig r;
    int notices = 0;
    QObject::connect(&r.engine, &ExchangeEngine::alarmNotice, [&] { ++notices; });
    r.answer(hex("9E 06 01"));
    EXPECT_EQ(r.engine.receiveBuffer(), hex("9E 06 01")); // held back
    r.answer(hex("31 0F 89"));
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(r.view.alarmFields, 1);
    EXPECT_TRUE(r.engine.receiveBuffer().isEmpty());
    EXPECT_TRUE(r.notifier.messages.isEmpty()); // the warning follows 50 ms later
    r.settle(80);
    ASSERT_EQ(r.notifier.messages.size(), 1);
    EXPECT_EQ(r.notifier.messages[0].first, MessageKind::Warning);
    EXPECT_EQ(r.notifier.messages[0].second,
              QStringLiteral("Внимание!!! Пришло сообщение о аварии корректора"));

    // Asked for by the alarm check: the notice is its answer, shown without the warning box.
    EngineRig asked;
    asked.engine.modes().alarmCheckRequested = true;
    asked.engine.startRead(opRead, 19, 6, 6, 0);
    asked.answer(hex("9E 06 01 31 0F 89"));
    asked.settle(80);
    EXPECT_TRUE(asked.notifier.messages.isEmpty());
    EXPECT_FALSE(asked.engine.busy());
    EXPECT_FALSE(asked.engine.modes().alarmCheckRequested);

    // One that comes on its own during a read leaves the read to its timer.
    EngineRig during;
    during.engine.startRead(opRead, 0, 32, 6, 0);
    during.answer(hex("9E 06 01 31 0F 89"));
    EXPECT_TRUE(during.engine.replyTimerActive());
}

TEST(ExchangeAlarm, OtherRepliesGoTheNormalPath) {
    EngineRig r;
    r.engine.startRead(opRead, 0x82, 1, 6, 0);
    r.answer(hex("9E 06 02"));
    EXPECT_EQ(r.failureHeads(), QStringList{QStringLiteral("ответное слово брак")});
    EXPECT_EQ(r.view.alarmFields, 0);
    // A start of the notice that then differs is not held either.
    EngineRig d;
    d.engine.startRead(opRead, 0x82, 3, 6, 0);
    d.answer(hex("9E 06 01 00 00"));
    EXPECT_EQ(d.failureHeads(), QStringList{QStringLiteral("ответное слово брак")});
}

namespace {
// Reads the parameter pages as the corrector window does: 0, 64, 128.
struct PageReader final : PageReadConsumer {
    explicit PageReader(ExchangeEngine& e) : engine(e) {}
    void onPageAccepted(quint8 page, const QByteArray&) override {
        accepted.append(page);
        if (page < 128) engine.startPageRead(static_cast<quint8>(page + 64));
    }
    void onFullReadComplete() override { ++complete; }
    ExchangeEngine& engine;
    QList<int> accepted;
    int complete = 0;
};

QList<int> pagesOnTheWire(const QList<QByteArray>& writes) {
    QList<int> pages;
    for (const QByteArray& w : writes)
        pages.append(static_cast<quint8>(w.at(1)));
    return pages;
}

// Answers every page request; vary(page, n) may change the n-th answer for a page.
template <class Vary> void answerPages(EngineRig& r, Vary vary, int limit = 30) {
    QMap<int, int> reads;
    for (int i = 0; i < limit && r.engine.busy(); ++i) {
        const int page = static_cast<quint8>(r.port.writes.last().at(1));
        QByteArray payload(256, static_cast<char>(page));
        vary(page, reads[page]++, payload);
        r.answer(EngineRig::frame(0, payload));
    }
}
} // namespace

TEST(ExchangePages, StablePagesAreReadTwiceAndPage128Once) {
    EngineRig r;
    PageReader reader(r.engine);
    r.engine.consumers().pages = &reader;
    r.engine.startPageRead(0);
    answerPages(r, [](int, int, QByteArray&) {});
    EXPECT_EQ(pagesOnTheWire(r.port.writes), (QList<int>{0, 0, 64, 64, 128}));
    EXPECT_EQ(reader.accepted, (QList<int>{0, 64, 128}));
    EXPECT_EQ(reader.complete, 1);
    EXPECT_EQ(r.completed, 1);
    // Even a memory of zeros, where page 64 equals page 0, reads every page twice.
    EngineRig z;
    PageReader zr(z.engine);
    z.engine.consumers().pages = &zr;
    z.engine.startPageRead(0);
    answerPages(z, [](int, int, QByteArray& p) { p.fill('\0'); });
    EXPECT_EQ(pagesOnTheWire(z.port.writes), (QList<int>{0, 0, 64, 64, 128}));
}

TEST(ExchangePages, IgnoredWordsMayChangeComparedWordsMayNot) {
    // Word w of a page is bytes 4(w-1)..4(w-1)+3. Page 0 ignores 17..32 and 38, page 64 ignores 9..16,
    // 33, 34, 38 and 39.
    EngineRig r;
    PageReader reader(r.engine);
    r.engine.consumers().pages = &reader;
    r.engine.startPageRead(0);
    answerPages(r, [](int page, int n, QByteArray& p) {
        const QList<int> words = page == 0 ? QList<int>{17, 32, 38} : QList<int>{9, 16, 33, 34, 38, 39};
        for (int w : words)
            p[(w - 1) * 4 + 1] = static_cast<char>(n);
    });
    EXPECT_EQ(pagesOnTheWire(r.port.writes), (QList<int>{0, 0, 64, 64, 128}));

    EngineRig v;
    PageReader vr(v.engine);
    v.engine.consumers().pages = &vr;
    v.engine.startPageRead(0);
    answerPages(v, [](int page, int n, QByteArray& p) {
        if (page == 0) p[(16 - 1) * 4] = static_cast<char>(n); // word 16 is compared
    });
    EXPECT_EQ(pagesOnTheWire(v.port.writes), (QList<int>{0, 0, 0, 0, 0, 0, 64, 64, 128}));
    EXPECT_EQ(vr.accepted, (QList<int>{0, 64, 128}));
    EXPECT_TRUE(pagesAgree(128, QByteArray(), QByteArray(256, '\1')));
}
