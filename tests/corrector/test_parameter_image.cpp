#include "CorrectorTestSupport.h"
#include "common/Language.h"
#include "corrector/Blocks.h"
#include "corrector/DeviceValues.h"
#include "corrector/ParameterImage.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::corrector;
using test::hex;
using test::identification;

namespace {

// A 256-byte page with the given words (relative to the page start) set.
QByteArray page(std::initializer_list<std::pair<int, const char*>> words) {
    QByteArray p(256, '\0');
    for (const auto& [w, bytes] : words)
        p.replace(4 * w, 4, hex(bytes));
    return p;
}

const ModelProfile kPlain = DeriveModelProfile(identification('K', "V47c"), 5000);

} // namespace

TEST(DeviceMinutes, DecodeTheLowThreeBytes) {
    EXPECT_EQ(minutesText(readMinutes(hex("00 00 00"), 0)), QString());
    EXPECT_EQ(minutesText(1440), QStringLiteral("02.01.2000 00:00"));
    EXPECT_EQ(minutesText(readMinutes(hex("48 40 C2"), 0)), QStringLiteral("15.03.2024 14:00"));
    // The fourth byte of a stored word is not part of the value.
    EXPECT_EQ(minutesText(readMinutes(hex("48 40 C2 7F"), 0)), QStringLiteral("15.03.2024 14:00"));
    EXPECT_EQ(minutesDateText(readMinutes(hex("48 40 C2"), 0)), QStringLiteral("15.03.2024"));
    EXPECT_EQ(minutesTimeText(readMinutes(hex("48 40 C2"), 0)), QStringLiteral("14:00"));
}

TEST(DeviceValues, NonFiniteFloatsReadAsZero) {
    EXPECT_EQ(readFloat(hex("FF FF FF FF"), 0), 0.0f);
    EXPECT_EQ(readFloat(hex("00 00 80 7F"), 0), 0.0f); // +infinity
    EXPECT_EQ(readFloat(hex("00 00 48 C1"), 0), -12.5f);
    EXPECT_EQ(readFloat(hex("00 00"), 0), 0.0f); // short block
}

TEST(DeviceValues, BoundTexts) {
    EXPECT_EQ(floatBoundText(0.54f), QStringLiteral("0.54"));
    EXPECT_EQ(floatBoundText(1.051f), QStringLiteral("1.051"));
    EXPECT_EQ(floatBoundText(72000.01f), QStringLiteral("72000.01"));
    EXPECT_EQ(floatBoundText(1000000000.0f), QStringLiteral("1000000000"));
    EXPECT_EQ(floatBoundText(-60.0f), QStringLiteral("-60"));
    EXPECT_EQ(floatBoundText(0.0f), QStringLiteral("0"));
}

TEST(ParameterImage, NumberWordsFollowTheirClassRules) {
    ParameterImage image;
    image.DecodePage(0,
                     page({{32, "2B 52 9A 44"},   // 1234.5678, exponent notation
                           {45, "91 27 23 41"},   // 10.19716 kgf/cm²
                           {51, "7B 14 2E 3F"},   // 0.68
                           {55, "E6 3F 84 3F"},   // 1.0332
                           {58, "00 00 C8 42"},   // 100
                           {60, "FF FF FF FF"},   // NaN
                           {66, "00 00 20 40"}}), // 2.5 (page 0 ends at word 63)
                     kPlain);
    EXPECT_EQ(image.WordText(32), QStringLiteral("1.234568E+03"));
    EXPECT_EQ(image.WordText(45), QStringLiteral("10.197"));
    EXPECT_EQ(image.WordText(51), QStringLiteral("0.68"));
    EXPECT_EQ(image.WordText(55), QStringLiteral("1.0332"));
    EXPECT_EQ(image.WordText(58), QStringLiteral("100"));
    EXPECT_EQ(image.WordText(60), QStringLiteral("0"));
    EXPECT_EQ(image.WordText(66), QString()); // word 66 lies in the next page
    EXPECT_EQ(image.WordText(40), QStringLiteral("0.000000E+00"));
    EXPECT_NEAR(image.WordValue(51), 0.68, 1e-7);
    EXPECT_EQ(image.WordValue(60), 0.0);

    image.DecodePage(
        64, page({{2, "00 00 20 40"}, {6, "48 40 C2 00"}, {33, "FB FF FF FF"}, {35, "D2 04 00 00"}}), kPlain);
    EXPECT_EQ(image.WordText(66), QStringLiteral("2.5"));
    EXPECT_EQ(image.WordText(70), QStringLiteral("15.03.2024 14:00"));
    EXPECT_EQ(image.WordValue(70), double(0xC24048));
    EXPECT_EQ(image.WordText(97), QStringLiteral("-5"));
    EXPECT_EQ(image.WordText(99), QStringLiteral("1234"));
    EXPECT_EQ(image.serialNumber(), 1234);
}

TEST(ParameterImage, MpaUnitConvertsPressureWords) {
    ParameterImage image;
    // Word 2 byte 0 bit 0x02: pressures shown in MPa.
    image.DecodePage(0, page({{2, "02 00 00 00"}, {45, "91 27 23 41"}, {55, "E6 3F 84 3F"}}), kPlain);
    EXPECT_EQ(image.WordText(45), QStringLiteral("1"));
    EXPECT_EQ(image.WordText(55), QStringLiteral("0.101322"));
    EXPECT_TRUE(image.pressureInMpa());
    // Clearing the unit bit shows the stored kgf/cm² again.
    image.setBit(2, 0, config_bit::PressureMpa, false);
    EXPECT_EQ(image.WordText(45), QStringLiteral("10.197"));
    EXPECT_EQ(image.WordText(55), QStringLiteral("1.0332"));
}

TEST(ParameterImage, RawAndTextWords) {
    ParameterImage image;
    QByteArray p = page({{2, "01 03 02 04"}, {5, "07 FD 00 00"}, {7, "00 00 01 02"}});
    image.DecodePage(0, p, kPlain);
    EXPECT_EQ(image.WordText(2), QStringLiteral("01030204"));
    EXPECT_EQ(image.pulseWeightIndex(), 3);
    EXPECT_DOUBLE_EQ(image.pulseWeight(), 0.1);
    EXPECT_EQ(image.methodIndex(), 2);
    EXPECT_EQ(image.operArchiveIndex(), 4);
    EXPECT_EQ(image.timeCorrection(), -3);
    EXPECT_EQ(image.typesizeIndex(), 7);
    EXPECT_EQ(image.meterOutputIndex(), 1);
    EXPECT_EQ(image.gasIndex(), 2);

    QByteArray texts(256, '\0');
    // Words 105..112 (meter name) start at byte 4 × (105 − 64) of the second page.
    texts.replace(4 * 41, 32, QByteArray("  G16\x01 \xD1\xF7\xE5\xF2\xF7\xE8\xEA") + QByteArray(18, ' '));
    image.DecodePage(64, texts, kPlain);
    EXPECT_EQ(image.WordText(105), QStringLiteral("  G1"));
    EXPECT_EQ(image.WordText(106), QStringLiteral("6 С")); // the control character is dropped
    EXPECT_EQ(image.textItem(105), QStringLiteral("G16 Счетчик"));
}

TEST(ParameterImage, ArchivePointersAndBattery) {
    ParameterImage image;
    image.DecodePage(0,
                     page({{6, "00 00 00 00"},
                           {16, "01 00 02 00"},
                           {17, "03 00 FF FF"},
                           {18, "FF FF 04 00"},
                           {19, "05 00 06 00"},
                           {20, "07 01 00 00"}}),
                     kPlain);
    const ArchivePointers a = image.archivePointers();
    EXPECT_EQ(a.alarm, 1);
    EXPECT_EQ(a.hourly, 2);
    EXPECT_EQ(a.operative, 3);
    EXPECT_EQ(a.interference, 4);
    EXPECT_EQ(a.daily, 5);
    EXPECT_EQ(a.monthly, 6);
    EXPECT_EQ(a.service, 0x107);

    // Battery: counter ÷ (capacity × 1 800 000), capacity 0 meaning 16 A·h.
    image.setWordBytes(101, hex("00 BA DB 00")); // 14 400 000
    EXPECT_EQ(image.batteryText(), QStringLiteral("0.5"));
    image.setByte(6, 2, 4);
    EXPECT_EQ(image.batteryText(), QStringLiteral("2"));
    image.setByte(6, 2, 3); // 14 400 000 ÷ 5 400 000 = 2.67
    EXPECT_EQ(image.batteryText(), QStringLiteral("2.7"));
}

TEST(ParameterImage, CoefficientWordsOnlyWithATable) {
    QByteArray p(256, '\x11');
    ParameterImage plain;
    plain.DecodePage(128, p, kPlain);
    EXPECT_TRUE(plain.isRead(144));
    EXPECT_FALSE(plain.isRead(145));
    EXPECT_EQ(plain.WordText(145), QString());

    ParameterImage calib;
    calib.DecodePage(128, p, DeriveModelProfile(identification('K', "F47c"), 1));
    EXPECT_TRUE(calib.isRead(184));
    EXPECT_EQ(calib.WordText(184), QStringLiteral("11111111"));
    EXPECT_FALSE(calib.isRead(185));

    calib.clear();
    EXPECT_FALSE(calib.isRead(184));
    EXPECT_EQ(calib.WordText(130), QString());
}

TEST(ParameterImage, WordNamesInBothLanguages) {
    EXPECT_EQ(WordName(51, kUkrainian), QStringLiteral("густина_газу(кг./м.куб.)"));
    EXPECT_EQ(WordName(51, kRussian), QStringLiteral("плотность_газа(кг./м.куб.)"));
    EXPECT_EQ(WordName(53, kRussian), QStringLiteral("концентрация _N2(%)"));
    EXPECT_EQ(WordName(96, kUkrainian), QStringLiteral("поточ.сум.міс.знач.Кстис"));
    EXPECT_EQ(WordName(96, kRussian), QStringLiteral("тек.сум.мес.знач. Ксжим"));
    EXPECT_EQ(WordName(16, kRussian), QStringLiteral("ew2V0"));
    EXPECT_EQ(WordName(136, kRussian), QStringLiteral("eInfo7"));
    EXPECT_EQ(WordName(137, kRussian), QString());
    EXPECT_EQ(WordName(-1, kRussian), QString());
}

TEST(Blocks, ClockMeasurementAndStatus) {
    const ClockBlock c = DecodeClockBlock(hex("00 05 09 0F 03 18") + QByteArray(26, '\0'));
    EXPECT_EQ(c.dateText, QStringLiteral("15.03.2024"));
    EXPECT_EQ(c.timeText, QStringLiteral("09:05"));

    QByteArray m(46, '\0');
    m.replace(0, 4, hex("91 27 23 41"));  // 10.19716 kgf/cm²
    m.replace(4, 4, hex("00 00 48 C1"));  // −12.5 °C
    m.replace(16, 4, hex("2B 52 9A 44")); // 1234.5678 m³/h
    m.replace(20, 4, hex("00 00 C8 42")); // 100
    m.replace(24, 4, hex("FF FF FF FF"));
    m.replace(44, 2, hex("0A B0"));
    const MeasurementBlock plain = DecodeMeasurementBlock(m, kPlain, false);
    EXPECT_EQ(plain.pressureText, QStringLiteral("10.197"));
    EXPECT_EQ(plain.temperatureText, QStringLiteral("-12.5"));
    EXPECT_EQ(plain.flowText, QStringLiteral("1234.57"));
    EXPECT_EQ(plain.standardFlowText, QString()); // not reported by this model
    EXPECT_EQ(plain.batteryVoltageText, QStringLiteral("0"));
    EXPECT_EQ(plain.stateText, QStringLiteral("B00A"));
    const MeasurementBlock calib =
        DecodeMeasurementBlock(m, DeriveModelProfile(identification('K', "F47c"), 1), true);
    EXPECT_EQ(calib.pressureText, QStringLiteral("1"));
    EXPECT_EQ(calib.flowText, QStringLiteral("1234.568"));
    EXPECT_EQ(calib.standardFlowText, QStringLiteral("100"));

    EXPECT_EQ(DecodeStatusBlockVoltage(hex("00 00 60 40") + QByteArray(28, '\0')), QStringLiteral("3.5"));
}
