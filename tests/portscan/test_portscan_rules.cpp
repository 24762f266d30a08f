// The scanner's rules that need no port: settings files, checksums, the receive tests, the modem result
// recogniser and the texts.
#include "ScanTestSupport.h"
#include "common/Cp1251.h"
#include "common/Language.h"
#include "link/FrameChecksum.h"
#include "portscan/Crc16Modbus.h"
#include "portscan/ModemResult.h"
#include "portscan/Probes.h"
#include "portscan/ScanSettings.h"
#include "portscan/ScanTexts.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::portscan;
using tarn::test::hex;

TEST(PortScanSettings, PortLimitTakesTheLastLineOfDigitsInRange) {
    tarn::test::TempHome home;
    EXPECT_EQ(readPortLimit(home.root()), 50); // missing file
    const std::pair<const char*, int> cases[] = {
        {"8", 8},
        {"0", 50},
        {"100", 50},
        {"abc", 50},
        {"12\r\n20\r\n", 20},
        {" 1 2 \r\n", 12},
        {"\t7\t", 7},
        {"+8", 50},
        {"-5", 50},
        {"7\r\n\r\nxx\r\n", 7},
        {"99", 99},
        {"1", 1},
        {"8\r\n0", 8},
        {"99999999999999", 50},
        {"", 50},
    };
    for (const auto& [text, limit] : cases) {
        home.write(folder::Work, QStringLiteral("Q_RS.000"), text);
        EXPECT_EQ(readPortLimit(home.root()), limit) << text;
    }
}

TEST(PortScanSettings, TheLastLanguageLineDecides) {
    tarn::test::TempHome home;
    EXPECT_EQ(readScanLanguage(home.root()), kUkrainian); // missing file
    const std::pair<const char*, int> cases[] = {
        {"EN", kEnglish},    {"EN  \r\n", kEnglish}, {"RU", kRussian},           {"RU\t", kRussian},
        {"UA", kUkrainian},  {"en", kUkrainian},     {"RU\r\n\r\n", kUkrainian}, {"RU\r\nEN\r\n", kEnglish},
        {" EN", kUkrainian}, {"", kUkrainian},
    };
    for (const auto& [text, language] : cases) {
        home.write(folder::Work, QStringLiteral("Type_Leng.000"), text);
        EXPECT_EQ(readScanLanguage(home.root()), language) << text;
    }
}

TEST(PortScanFrames, ChecksumsAndTheProbeRequests) {
    EXPECT_EQ(link::frameChecksum(hex("02 00 20")), 0xDD);
    EXPECT_EQ(link::frameChecksum(hex("00 00 20")), 0xDF);
    EXPECT_EQ(link::frameChecksum(hex("FF 01")), 0xFF); // the sum wraps at 8 bits
    EXPECT_EQ(correctorRequest(), hex("02 00 20 DD"));
    EXPECT_EQ(adapterRequest(), hex("00 00 20 DF"));

    // The standard check value of CRC-16/MODBUS.
    EXPECT_EQ(crc16Modbus("123456789"), 0x4B37);
    EXPECT_EQ(unitRequest(kUnitProbeCommand), hex("80 00 9F 8F"));
    EXPECT_EQ(unitRequest(0x8001).left(2), hex("80 01"));
    EXPECT_TRUE(unitFrameValid(hex("80 00 9F 8F")));
    EXPECT_FALSE(unitFrameValid(hex("80 00 8F 9F"))); // the CRC goes low byte first
    EXPECT_FALSE(unitFrameValid(hex("80 00 60 70"))); // and inverted
}

TEST(PortScanReplies, TheCorrectorsIdentificationReply) {
    using portscan::test::identificationReply;
    EXPECT_EQ(correctorReplyKind(identificationReply("Tarn-NM 4.12 s/n 01234")), CorrectorKind::TarnNm);
    EXPECT_EQ(correctorReplyKind(identificationReply("QUON-2 3.05")), CorrectorKind::TarnQuon);
    EXPECT_EQ(correctorReplyKind(identificationReply("QUON Tarn")), CorrectorKind::TarnNm); // "Tarn" first
    EXPECT_EQ(correctorReplyKind(identificationReply("some other device")), CorrectorKind::None);
    // 35 bytes, a status bit, a wrong check byte: no reply.
    EXPECT_EQ(correctorReplyKind(identificationReply("Tarn", '\x00', 33)), CorrectorKind::None);
    EXPECT_EQ(correctorReplyKind(identificationReply("Tarn").append('\x00')), CorrectorKind::None);
    EXPECT_EQ(correctorReplyKind(identificationReply("Tarn", '\x40')), CorrectorKind::None);
    QByteArray bad = identificationReply("Tarn");
    bad[33] = static_cast<char>(bad.at(33) ^ 1);
    EXPECT_EQ(correctorReplyKind(bad), CorrectorKind::None);
}

TEST(PortScanReplies, TheAdaptersReplyIsNotACorrectors) {
    using portscan::test::identificationReply;
    EXPECT_TRUE(adapterReplyAccepted(identificationReply("USB-DTU 2.1")));
    // Payload characters 2 … 5 and 2 … 7, counted from 1.
    EXPECT_FALSE(adapterReplyAccepted(identificationReply("1QUON-2")));
    EXPECT_TRUE(adapterReplyAccepted(identificationReply("QUON-2")));
    EXPECT_TRUE(adapterReplyAccepted(identificationReply("12QUON")));
    EXPECT_FALSE(adapterReplyAccepted(identificationReply("1Wexlor")));
    EXPECT_TRUE(adapterReplyAccepted(identificationReply("1Wexlo")));
    EXPECT_FALSE(adapterReplyAccepted(identificationReply("USB-DTU", '\xEE')));
    QByteArray bad = identificationReply("USB-DTU 2.1");
    bad[33] = static_cast<char>(bad.at(33) + 1);
    EXPECT_FALSE(adapterReplyAccepted(bad));
    QByteArray four = hex("00 41 42");
    four.append(static_cast<char>(link::frameChecksum(four)));
    EXPECT_FALSE(adapterReplyAccepted(four)); // fewer than 5 bytes
}

TEST(PortScanReplies, TheUnitsShortAndDataReplies) {
    EXPECT_EQ(unitReplyKind(hex("80 00 9F 8F")), UnitReply::Short);
    QByteArray data(kUnitDataLength, '\x5A');
    data += unitCrcBytes(data);
    EXPECT_EQ(unitReplyKind(data), UnitReply::Data);
    EXPECT_EQ(unitReplyKind(data.left(527)), UnitReply::None);
    EXPECT_EQ(unitReplyKind(data + '\x00'), UnitReply::None); // more than 528 bytes
    data[10] = '\x00';
    EXPECT_EQ(unitReplyKind(data), UnitReply::None);
    EXPECT_EQ(unitReplyKind(hex("80 00 9F")), UnitReply::None);
}

TEST(PortScanModem, ResultWords) {
    const std::pair<const char*, int> cases[] = {
        {"AT&F\r\r\nOK\r\n", 0},
        {"NO CARRIER", 4},
        {"+++", 9},
        {"\r\nOK\r\n+++", 9},
        {"\r\nCONNECT 9600\r\n", 2},
        {"\r\nRING\r\n", 3},
        {"\r\nERROR\r\n", 5},
        {"\r\nNO DIALTONE\r\n", 6},
        {"\r\nBUSY\r\n", 7},
        {"\r\nNO ANSWER\r\n", 8},
        {"\r\nOK\r\n\r\nERROR\r\n\r\n", 5}, // the last non-empty line decides
        {"\r\nO K\r\n", 0},                 // blanks removed
        {"xxOK", 0},                        // from the first letter that can begin a word
        {"ATI0\r", -1},
        {"0\r", 0}, // a modem set to numeric results (V0) answers a digit and a CR
        {"1\r", 2},
        {"0", -1}, // the code is whole only with its CR
        {"", -1},
    };
    for (const auto& [text, result] : cases)
        EXPECT_EQ(ModemResult(QByteArray(text)), result) << QByteArray(text).toHex(' ').constData();
}

TEST(PortScanTexts, ThreeLanguagesByteForByte) {
    const TextPairs table = scanTexts();
    ASSERT_EQ(table.size, kScanTextCount * 3);
    for (int m = 1; m <= kScanTextCount; ++m)
        for (int l = 1; l <= 3; ++l)
            EXPECT_FALSE(scanText(static_cast<ScanText>(m), l).isEmpty()) << m << " " << l;
    EXPECT_EQ(scanText(ScanText::Clear, kRussian), QStringLiteral("ОЧИСТКА"));
    EXPECT_EQ(scanText(ScanText::NoCorrector, kRussian), QStringLiteral("корректора нет - COM"));
    EXPECT_EQ(scanText(ScanText::NoAdapter, kEnglish), QStringLiteral("USB to DTU adapter no - COM"));
    // The Latin letters and the typographic apostrophe.
    EXPECT_EQ(scanText(ScanText::CorrectorTarn, kUkrainian),
              QStringLiteral("коректор \"ТАРН-Н") + QLatin1Char('M') + QStringLiteral("\" ->"));
    EXPECT_EQ(scanText(ScanText::CorrectorFound, kUkrainian).mid(0, 4),
              QStringLiteral("ко") + QLatin1Char('p') + QStringLiteral("е"));
    EXPECT_EQ(scanText(ScanText::CorrectorFound, kRussian).mid(2, 2), QStringLiteral("pp"));
    EXPECT_TRUE(toCp1251(scanText(ScanText::StartModem, kUkrainian)).contains('\x92'));
    EXPECT_EQ(aboutText(AboutText::Caption, kRussian), QStringLiteral("О программе "));
    EXPECT_EQ(aboutText(AboutText::Button, kEnglish), QStringLiteral("YES"));

    EXPECT_EQ(logColourValue(LogColour::Blue), 0x00FF0000u);
    EXPECT_EQ(logColourValue(LogColour::Red), 0x000000FFu);
}
