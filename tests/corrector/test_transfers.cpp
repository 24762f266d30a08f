// The corrector's own transfers on an engine with a fake port: items (refusals at once, passwords never
// resent) and the parameter pages with their double read.
#include "corrector/ItemTransfer.h"
#include "corrector/LinkTexts.h"
#include "corrector/ModemTexts.h"
#include "corrector/PageRead.h"
#include "link/EngineRig.h"
#include "link/LinkSettings.h"
#include "link/ModemMachine.h"
#include "link/ModemSession.h"
#include "link/ModemTerminal.h"
#include "link/PortMap.h"

#include <QMap>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::link;
using tarn::corrector::ItemTransfer;
using tarn::corrector::PageReadTransfer;
using tarn::corrector::refusalText;
using test::EngineRig;
using test::hex;

namespace {

struct ItemRig : EngineRig {
    ItemTransfer item{engine, notifier};
    QList<QByteArray> replies;
    int accepted = 0;
    QList<Failure> failures;
    QStringList reported;

    explicit ItemRig(int retries = 6) : EngineRig(retries) {
        item.readReply = [this](const QByteArray& p) { replies.append(p); };
        item.writeAccepted = [this] { ++accepted; };
        item.failed = [this](const Failure& f) { failures.append(f); };
        QObject::connect(&engine, &ExchangeEngine::statusReported,
                         [this](quint8, const QString& t) { reported.append(t); });
    }
};

} // namespace

TEST(LinkTexts, RefusalsInTheirOrderAndLanguages) {
    EXPECT_EQ(refusalText(0x28, false, kRussian), QStringLiteral("Номер корректора не совпал!!!"));
    EXPECT_EQ(refusalText(0x48, false, kRussian), QStringLiteral("ЗАПИСЬ НЕВОЗМОЖНА, НЕТ ДОПУСКА"));
    EXPECT_EQ(refusalText(0x40, false, kUkrainian), QStringLiteral("ЗАПИС НЕМОЖЛИВИЙ, НЕМАЄ ДОПУСК"));
    EXPECT_EQ(refusalText(0x20, false, kRussian), QStringLiteral("Ошибочная команда!!!"));
    EXPECT_EQ(refusalText(0x28, false, kUkrainian), QStringLiteral("Номер коректора не збігся!"));
    EXPECT_EQ(refusalText(0x08, false, kRussian), QStringLiteral("Ошибочное значение!!!"));
    EXPECT_EQ(refusalText(0x08, true, kUkrainian), QStringLiteral("Помилкове значення пароля!!!"));
    EXPECT_FALSE(refusalText(0x01, false, kRussian));
}

TEST(LinkTexts, AnUnmappedPortSaysWhichLineToAddAndWhere) {
    const QString text = tarn::corrector::unmappedPortText(QStringLiteral("/dev/ttyUSB3"));
    EXPECT_TRUE(text.contains(QStringLiteral("\"COMn /dev/ttyUSB3\"")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("Work/") + tarn::link::PortMap::fileName()));
}

namespace {

// Words each notice by its kind and code, so a test sees what the engine asked for.
class KindWording final : public LinkWording {
public:
    QString notice(LinkNotice notice, int languageIndex) const override {
        return QStringLiteral("notice %1/%2").arg(static_cast<int>(notice)).arg(languageIndex);
    }
    std::optional<QString> refusal(quint8 status, bool passwordOperation, int languageIndex) const override {
        return QStringLiteral("refusal %1 %2/%3")
            .arg(static_cast<int>(status), 2, 16)
            .arg(passwordOperation ? 1 : 0)
            .arg(languageIndex);
    }
    QString modemNotice(ModemNotice notice, int languageIndex) const override {
        return QStringLiteral("modem %1/%2").arg(static_cast<int>(notice)).arg(languageIndex);
    }
    QString modemEvent(ModemEvent event, const QString& point, const QString& phone) const override {
        return QStringLiteral("event %1 %2 %3").arg(static_cast<int>(event)).arg(point, phone);
    }
    QString hexRefusal(const BadHexPair& bad, int languageIndex) const override {
        return QStringLiteral("hex %1 %2/%3").arg(bad.pair).arg(bad.pairNumber).arg(languageIndex);
    }
    QString phoneRefusal(const PhoneRefusal& refusal, int languageIndex) const override {
        return QStringLiteral("phone %1 %2/%3")
            .arg(static_cast<int>(refusal.kind))
            .arg(refusal.number)
            .arg(languageIndex);
    }
};

// The polling modem on no line at all: what it sends and logs is kept.
struct LoggingModem final : ModemIo {
    explicit LoggingModem(const LinkWording* words) : words(words) {}
    const LinkWording* words;
    QStringList lines;
    void send(const QByteArray&) override {}
    void setFrameMode(bool) override {}
    void log(const QString& line, bool) override { lines.append(line); }
    const LinkWording* wording() const override { return words; }
    void showCallSeconds(int) override {}
};

} // namespace

TEST(LinkTexts, TheEngineNamesKindsAndTheCorrectorWordsThem) {
    EXPECT_EQ(corrector::linkNoticeText(LinkNotice::NoLink, kUkrainian),
              QStringLiteral("НЕМАЄ ЗВ’ЯЗКУ RS-232"));
    EXPECT_EQ(corrector::linkNoticeText(LinkNotice::NoLink, kRussian), QStringLiteral("НЕТ СВЯЗИ RS-232 "));
    EXPECT_EQ(corrector::linkNoticeText(LinkNotice::PortWriteFailed, kUkrainian),
              QStringLiteral("ПОМИЛКА COM порту"));
    EXPECT_EQ(corrector::linkNoticeText(LinkNotice::AlarmNotice, kUkrainian),
              QStringLiteral("Увага!!! Надійшло повідомлення про аварію коректора"));
    EXPECT_EQ(corrector::correctorLinkWording().refusal(0x08, true, kRussian),
              std::optional<QString>(QStringLiteral("Ошибочное значение пароля!!!")));

    // Whatever wording the engine is given speaks for it, in the engine's language, with the kind and
    // the status byte the engine saw.
    const KindWording kinds;
    EngineRig failing;
    failing.engine.setWording(&kinds);
    failing.engine.setLanguage(kUkrainian);
    failing.port.failWrites = true;
    failing.read(opRead, 0, 32);
    failing.settle();
    EXPECT_EQ(failing.notifier.texts(), QStringList{QStringLiteral("notice 1/1")});
    EXPECT_EQ(failing.noLinkTexts, QStringList{QStringLiteral("notice 0/1")});

    ItemRig refused;
    refused.engine.setWording(&kinds);
    refused.item.write(0xB2, hex("39 30 D2 04 00 00"), true);
    refused.answer(EngineRig::frame(0x28, {}));
    EXPECT_EQ(refused.reported, QStringList{QStringLiteral("refusal 28 1/2")});

    // Without a wording the engine still shows the indication and ends the transfer, only wordless.
    EngineRig bare(1);
    bare.engine.setWording(nullptr);
    bare.read(opRead, 0, 32);
    bare.timeOut();
    EXPECT_TRUE(bare.engine.noLinkShown());
    EXPECT_EQ(bare.noLinkTexts, QStringList{QString()});
    EXPECT_EQ(bare.transfer.failures.size(), 1);
}

TEST(ModemTexts, TheModemPartsNameWhatHappenedAndTheCorrectorWordsIt) {
    using corrector::modemNoticeText;
    EXPECT_EQ(modemNoticeText(ModemNotice::PortBusy, kUkrainian), QStringLiteral("Увага!!! Порт зайнятий"));
    EXPECT_EQ(modemNoticeText(ModemNotice::PortBusy, kRussian), QStringLiteral("Внимание!!!  Порт занят"));
    EXPECT_EQ(modemNoticeText(ModemNotice::PortMissing, kUkrainian),
              QStringLiteral("Помилка відкриття порту"));
    EXPECT_EQ(modemNoticeText(ModemNotice::NoPhoneNumber, kUkrainian),
              QStringLiteral("Немає інформації \"Телефон:\""));
    // Russian words in the Ukrainian program too.
    EXPECT_EQ(modemNoticeText(ModemNotice::PortReopenFailed, kUkrainian), QStringLiteral("ОШИБКА COM порта"));
    EXPECT_EQ(modemNoticeText(ModemNotice::ConnectedWith, kUkrainian),
              QStringLiteral("Встановлено з’єднання з - "));
    EXPECT_EQ(corrector::hexRefusalText({QStringLiteral("4G"), 2}, kUkrainian),
              QStringLiteral("Не шістнадцятковий байт: \"4G\" (пара 2), нічого не надіслано"));
    EXPECT_EQ(corrector::modemEventText(ModemEvent::Dialling, QStringLiteral("ГРС"), QStringLiteral("0 44")),
              QStringLiteral("Набор номера \"0 44\" -> \"ГРС\""));

    // Whatever wording the engine is given speaks for the modem parts on its line, in their language.
    const KindWording kinds;
    EngineRig rig;
    rig.engine.setWording(&kinds);
    LinkSettings settings;
    settings.corrPort = QStringLiteral("COM1");
    ModemSession session(rig.engine, rig.link, settings, kUkrainian);
    EXPECT_EQ(session.dial(QStringLiteral(" // office")), QStringLiteral("modem 2/1"));
    rig.engine.lineUse().pollingRun = true;
    EXPECT_EQ(session.dial(QStringLiteral("555")), QStringLiteral("modem 0/1"));
    rig.engine.lineUse().pollingRun = false;
    ModemTerminal terminal(rig.engine, rig.link, kUkrainian);
    ASSERT_TRUE(terminal.open());
    QString refused;
    EXPECT_FALSE(terminal.sendHex(QStringLiteral("41 4G"), &refused));
    EXPECT_EQ(refused, QStringLiteral("hex 4G 2/1"));

    LoggingModem io(&kinds);
    ModemMachine machine(io);
    machine.startProcedure(ModemMachine::HangUp,
                           {QStringLiteral("555"), QStringLiteral("ATZ"), 1, QStringLiteral("ГРС")});
    // The procedure starts the hang-up command on its first tick, which sends it on the next.
    machine.tick();
    machine.tick();
    EXPECT_EQ(io.lines,
              QStringList{QStringLiteral("event %1 ГРС 555").arg(static_cast<int>(ModemEvent::HangUpSent))});
    // Without a wording the machine still runs, its own lines wordless.
    LoggingModem bare(nullptr);
    ModemMachine silent(bare);
    silent.startProcedure(ModemMachine::HangUp, {});
    silent.tick();
    silent.tick();
    EXPECT_EQ(bare.lines, QStringList{QString()});
}

TEST(ItemTransfers, ARefusalIsReportedAsSoonAsTheReplyIsIn) {
    for (const auto& [status, text] : {std::pair<int, const char*>{0x28, "Номер корректора не совпал!!!"},
                                       {0x48, "ЗАПИСЬ НЕВОЗМОЖНА, НЕТ ДОПУСКА"}}) {
        ItemRig r;
        ASSERT_TRUE(r.item.write(0x82, hex("39 30 00 00 0A D7"), false));
        r.answer(EngineRig::frame(static_cast<quint8>(status), {}));
        // No time-out needed: the message is there with the reply.
        EXPECT_EQ(r.reported, QStringList{QString::fromUtf8(text)});
        ASSERT_EQ(r.notifier.messages.size(), 1);
        EXPECT_EQ(r.notifier.messages[0].first, MessageKind::Error);
        ASSERT_EQ(r.failures.size(), 1);
        EXPECT_EQ(r.failures[0].kind, FailureKind::Refused);
        EXPECT_FALSE(r.engine.busy());
        EXPECT_EQ(r.port.writes.size(), 1); // no retry
        EXPECT_EQ(r.failureHeads(), QStringList{QStringLiteral("ответное слово брак")});
    }
    // A wrong password comes back as 0x08: the message names the password.
    ItemRig w;
    w.item.write(0xB2, hex("39 30 D2 04 00 00"), true);
    w.answer(EngineRig::frame(0x08, {}));
    EXPECT_EQ(w.notifier.texts(), QStringList{QStringLiteral("Ошибочное значение пароля!!!")});
}

TEST(ItemTransfers, ASilentPasswordIsNotSentTwiceOtherItemsGiveUpWithNoLink) {
    ItemRig r;
    r.engine.setLanguage(kUkrainian);
    ASSERT_TRUE(r.item.write(0xB0, hex("39 30 D2 04 00 00"), true));
    r.timeOut();
    EXPECT_EQ(r.port.writes.size(), 1);
    EXPECT_EQ(r.notifier.texts(), QStringList{QStringLiteral("немає відповіді від коректора!")});
    EXPECT_EQ(r.failures.size(), 1);
    EXPECT_TRUE(r.noLinkTexts.isEmpty());

    ItemRig g(3);
    g.item.read(0x82, 6);
    g.timeOut();
    g.timeOut();
    EXPECT_TRUE(g.noLinkTexts.isEmpty());
    g.timeOut();
    EXPECT_EQ(g.port.writes.size(), 3);
    EXPECT_EQ(g.noLinkTexts.size(), 1);
    ASSERT_EQ(g.failures.size(), 1);
    EXPECT_EQ(g.failures[0].kind, FailureKind::NoReply);

    // A refusal that came with a bad check byte still says why at the time-out.
    ItemRig b;
    b.item.write(0x82, hex("39 30 00 00 0A D7"), false);
    b.answer(hex("40 00"));
    EXPECT_TRUE(b.reported.isEmpty());
    b.timeOut();
    EXPECT_EQ(b.reported, QStringList{QStringLiteral("ЗАПИСЬ НЕВОЗМОЖНА, НЕТ ДОПУСКА")});
    EXPECT_EQ(b.port.writes.size(), 1);
}

TEST(ItemTransfers, ReadsAndWritesReachTheirHooks) {
    ItemRig r;
    r.item.read(0x82, 6);
    EXPECT_EQ(r.port.writes.value(0), hex("02 82 06 75"));
    r.answer(EngineRig::frame(0, hex("1B 10 00 00 80 3F")));
    EXPECT_EQ(r.replies, QList<QByteArray>{hex("1B 10 00 00 80 3F")});
    ASSERT_TRUE(r.item.write(0x82, hex("1B 10 00 00 80 3F"), false));
    r.answer(hex("00 FF"));
    EXPECT_EQ(r.accepted, 1);
    EXPECT_TRUE(r.failures.isEmpty());
    // Too much data for one frame: nothing is sent.
    EXPECT_FALSE(r.item.write(0x82, QByteArray(257, 'x'), false));
    EXPECT_EQ(r.port.writes.size(), 2);
}

namespace {
// Reads the parameter pages as the corrector window does: 0, 64, 128.
struct PageRig : EngineRig {
    PageReadTransfer pages{engine};
    QList<int> accepted;
    int complete = 0;
    PageRig() {
        pages.accepted = [this](quint8 page, const QByteArray&) {
            accepted.append(page);
            if (page < 128) pages.readPage(static_cast<quint8>(page + 64));
        };
        pages.complete = [this] { ++complete; };
    }
    QList<int> pagesOnTheWire() const {
        QList<int> list;
        for (const QByteArray& w : port.writes)
            list.append(static_cast<quint8>(w.at(1)));
        return list;
    }
    // Answers every page request; vary(page, n, payload) may change the n-th answer for a page.
    template <class Vary> void answerPages(Vary vary, int limit = 30) {
        QMap<int, int> reads;
        for (int i = 0; i < limit && engine.busy(); ++i) {
            const int page = static_cast<quint8>(port.writes.last().at(1));
            QByteArray payload(256, static_cast<char>(page));
            vary(page, reads[page]++, payload);
            answer(EngineRig::frame(0, payload));
        }
    }
};
} // namespace

TEST(PageReads, StablePagesAreReadTwiceAndPage128Once) {
    PageRig r;
    r.pages.readPage(0);
    r.answerPages([](int, int, QByteArray&) {});
    EXPECT_EQ(r.pagesOnTheWire(), (QList<int>{0, 0, 64, 64, 128}));
    EXPECT_EQ(r.accepted, (QList<int>{0, 64, 128}));
    EXPECT_EQ(r.complete, 1);
    EXPECT_EQ(r.completed, 1);
    EXPECT_EQ(r.port.writes.value(0), hex("42 00 00 BD"));
    // Even a memory of zeros, where page 64 equals page 0, reads every page twice.
    PageRig z;
    z.pages.readPage(0);
    z.answerPages([](int, int, QByteArray& p) { p.fill('\0'); });
    EXPECT_EQ(z.pagesOnTheWire(), (QList<int>{0, 0, 64, 64, 128}));
}

TEST(PageReads, IgnoredWordsMayChangeComparedWordsMayNot) {
    // Word w of a page is bytes 4(w-1)..4(w-1)+3. Page 0 ignores 17..32 and 38, page 64 ignores 9..16,
    // 33, 34, 38 and 39.
    PageRig r;
    r.pages.readPage(0);
    r.answerPages([](int page, int n, QByteArray& p) {
        const QList<int> words = page == 0 ? QList<int>{17, 32, 38} : QList<int>{9, 16, 33, 34, 38, 39};
        for (int w : words)
            p[(w - 1) * 4 + 1] = static_cast<char>(n);
    });
    EXPECT_EQ(r.pagesOnTheWire(), (QList<int>{0, 0, 64, 64, 128}));

    // A compared word that keeps changing: six reads, then the page is taken as it is.
    PageRig v;
    v.pages.readPage(0);
    v.answerPages([](int page, int n, QByteArray& p) {
        if (page == 0) p[(16 - 1) * 4] = static_cast<char>(n); // word 16 is compared
    });
    EXPECT_EQ(v.pagesOnTheWire(), (QList<int>{0, 0, 0, 0, 0, 0, 64, 64, 128}));
    EXPECT_EQ(v.accepted, (QList<int>{0, 64, 128}));
    EXPECT_TRUE(corrector::pagesAgree(128, QByteArray(), QByteArray(256, '\1')));
}

TEST(PageReads, ASilentPageEndsTheReadWithoutCompleting) {
    PageRig r;
    QList<Failure> failures;
    r.pages.failed = [&](const Failure& f) { failures.append(f); };
    r.pages.readPage(0);
    for (int i = 0; i < 6; ++i)
        r.timeOut();
    EXPECT_EQ(failures.size(), 1);
    EXPECT_EQ(r.complete, 0);
    EXPECT_EQ(r.noLinkTexts.size(), 1);
}
