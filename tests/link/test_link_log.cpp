#include "common/Language.h"
#include "link/LinkLog.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::link;
using test::hex;

namespace {
QByteArray counting(int n) {
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<char>(0x30 + i % 64);
    return b;
}
struct Log {
    LinkLog log;
    explicit Log(int language = kRussian) {
        log.enabled = true;
        log.setLanguage(language);
        log.clock = [] { return QTime(12, 34, 56, 789); };
    }
};
} // namespace

TEST(LinkLogFormat, SentFrameWithTheDefaultOptions) {
    Log ru;
    ru.log.logSent(hex("02 00 20 DD"));
    EXPECT_EQ(ru.log.sendPane(),
              (QStringList{QStringLiteral("кол.б-т=4 :: "), QStringLiteral("02 00 20 DD ")}));
    Log ua(kUkrainian);
    ua.log.options.formatted = false;
    ua.log.options.send.time = true;
    ua.log.logSent(hex("02 00 20 DD"));
    EXPECT_EQ(ua.log.sendPane(),
              (QStringList{QStringLiteral("12:34:56.789"), QStringLiteral("кіл.б-т =4 :: 02 00 20 DD ")}));
    EXPECT_TRUE(ua.log.receivePane().isEmpty());
}

TEST(LinkLogFormat, A258ByteReplyGivesAHeaderAndNineDumpLines) {
    Log l;
    const QByteArray reply = counting(258);
    l.log.logReceived(reply);
    const QStringList& pane = l.log.receivePane();
    ASSERT_EQ(pane.size(), 10);
    EXPECT_EQ(pane[0], QStringLiteral("кол.б-т=258 :: "));
    const QString first = QString::fromLatin1(reply.left(32).toHex(' ').toUpper()) + QLatin1Char(' ');
    EXPECT_EQ(pane[1], first + QStringLiteral("||") + QString::fromLatin1(reply.left(32)));
    // The ninth line holds bytes 256 and 257, padded to 96 characters before "||".
    EXPECT_EQ(pane[9], QStringLiteral("30 31 ").leftJustified(96, QLatin1Char(' ')) + QStringLiteral("||01"));
    EXPECT_EQ(pane[9].indexOf(QStringLiteral("||")), 96);
    // No character line follows a formatted dump; codes below 32 stay out of the character run.
    Log c;
    c.log.logReceived(hex("00 41 0D 42"));
    EXPECT_EQ(c.log.receivePane(),
              (QStringList{QStringLiteral("кол.б-т=4 :: "),
                           QStringLiteral("00 41 0D 42 ").leftJustified(96, QLatin1Char(' ')) +
                               QStringLiteral("||AB")}));
}

TEST(LinkLogFormat, CharacterLinesSplitAt150AndDropControlCodes) {
    Log l;
    l.log.options.receive = {false, true, false};
    QByteArray text(200, 'a');
    text[160] = '\r';
    text[161] = '\n';
    text[10] = '\x01';
    text[20] = '\x05'; // other control codes stay
    l.log.logReceived(text);
    ASSERT_EQ(l.log.receivePane().size(), 2);
    EXPECT_EQ(l.log.receivePane()[0].size(), 149);
    EXPECT_EQ(l.log.receivePane()[1], QString(48, QLatin1Char('a')));
    // Windows-1251 letters come out as letters.
    Log k;
    k.log.options.receive = {false, true, false};
    k.log.logReceived(hex("CA CE C4"));
    EXPECT_EQ(k.log.receivePane(), QStringList{QStringLiteral("КОД")});
}

TEST(LinkLogFormat, FailureBlockAlwaysCarriesTheTime) {
    for (int lang : {kRussian, kUkrainian}) {
        Log l(lang);
        l.log.options.receive = {false, false, false};
        l.log.logFailure(LinkLogCode::NothingReceived, QByteArray(), hex("02 00 20 DD"));
        const QString head = lang == kRussian ? QStringLiteral("ошибка - нет приема")
                                              : QStringLiteral("помилка - немає прийому");
        EXPECT_EQ(l.log.receivePane(),
                  (QStringList{QStringLiteral("*НАЧАЛО* 12:34:56.789 ") + head,
                               QStringLiteral("\"ЗП\" кол.б-т = 4 :: 02 00 20 DD "),
                               QStringLiteral("\"ЧТ\" кол.б-т = 0 :: "), QStringLiteral("*КОНЕЦ*")}));
    }
}

TEST(LinkLogFormat, PanesAreClearedOnlyAfterPassing300Lines) {
    Log l;
    l.log.options.formatted = false; // one line per entry
    for (int i = 0; i < 300; ++i)
        l.log.logSent(hex("01"));
    EXPECT_EQ(l.log.sendPane().size(), 300);
    l.log.logSent(hex("02"));
    EXPECT_EQ(l.log.sendPane().size(), 301);
    l.log.logSent(hex("03"));
    EXPECT_EQ(l.log.sendPane(), QStringList{QStringLiteral("кол.б-т=1 :: 03 ")});
    l.log.clearPanes();
    EXPECT_TRUE(l.log.sendPane().isEmpty());
}

TEST(LinkLogFormat, NothingIsLoggedWhenTheDebuggerIsOff) {
    Log l;
    l.log.enabled = false;
    int entries = 0;
    QObject::connect(&l.log, &LinkLog::entryAdded, [&] { ++entries; });
    l.log.logSent(hex("01"));
    l.log.logReceived(hex("01"));
    l.log.logFailure(LinkLogCode::ChecksumMismatch, hex("01"), hex("02"));
    l.log.logZone(1, hex("01"));
    EXPECT_TRUE(l.log.sendPane().isEmpty());
    EXPECT_TRUE(l.log.receivePane().isEmpty());
    EXPECT_EQ(entries, 0);
}

TEST(LinkLogFormat, BytesPerLineIsAlwaysAUsableNumber) {
    EXPECT_EQ(bytesPerLineValue(QStringLiteral("32")), 32);
    EXPECT_EQ(bytesPerLineValue(QStringLiteral(" 8 ")), 8);
    EXPECT_EQ(bytesPerLineValue(QStringLiteral("0")), 1);
    EXPECT_EQ(bytesPerLineValue(QStringLiteral("-5")), 1);
    EXPECT_EQ(bytesPerLineValue(QStringLiteral("abc")), 32);
    EXPECT_EQ(bytesPerLineValue(QString()), 32);
    EXPECT_EQ(bytesPerLineValue(QStringLiteral("99999999")), 256);
    Log l;
    l.log.options.bytesPerLine = QStringLiteral("0");
    l.log.logReceived(hex("41 42 43"));
    EXPECT_EQ(l.log.receivePane(), (QStringList{QStringLiteral("кол.б-т=3 :: "), QStringLiteral("41 ||A"),
                                                QStringLiteral("42 ||B"), QStringLiteral("43 ||C")}));
}

TEST(LinkLogFormat, LptZones) {
    Log l;
    l.log.options.bytesPerLine = QStringLiteral("2");
    l.log.logZone(130, hex("41 42 43"));
    EXPECT_EQ(l.log.receivePane(), (QStringList{QStringLiteral("с/б-130/3 :: "), QStringLiteral("41 42 ||AB"),
                                                QStringLiteral("43    ||C")}));
    Log f;
    f.log.options.formatted = false;
    f.log.options.receive.chars = false;
    f.log.logZone(7, hex("FF"));
    EXPECT_EQ(f.log.receivePane(), QStringList{QStringLiteral("c/б-7/1::FF ")});
}
