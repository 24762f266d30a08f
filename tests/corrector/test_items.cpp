#include "CorrectorTestSupport.h"
#include "common/Language.h"
#include "corrector/DeviceValues.h"
#include "corrector/ItemTable.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::corrector;
using test::hex;
using test::identification;

namespace {

const ModelProfile kPlain = DeriveModelProfile(identification('K', "V47c"), 5000);

// Encodes with an empty image (kgf/cm², Gcal, pulse weight "1") unless one is given.
EncodedItem encode(int item, const QString& text, int lang = kRussian, const ParameterImage& image = {},
                   const ModelProfile& profile = kPlain) {
    return EncodeItem(item, text, image, ItemContext{profile, lang});
}

QByteArray bytes(int item, const QString& text, const ParameterImage& image = {},
                 const ModelProfile& profile = kPlain) {
    const EncodedItem e = encode(item, text, kRussian, image, profile);
    EXPECT_TRUE(e.ok) << item << " " << text.toStdString() << " " << e.message.toStdString();
    return e.value;
}

QString refusal(int item, const QString& text, int lang = kRussian, const ParameterImage& image = {},
                const ModelProfile& profile = kPlain) {
    const EncodedItem e = encode(item, text, lang, image, profile);
    EXPECT_FALSE(e.ok) << item << " " << text.toStdString();
    return e.message;
}

ParameterImage imageWith(int word, const char* wordBytes) {
    ParameterImage image;
    image.setWordBytes(word, hex(wordBytes));
    return image;
}

const QString kSyntax = QStringLiteral("Ошибка набора переменной !");

} // namespace

TEST(ItemTable, SeventyItemsWithCodesAndLevels) {
    for (int item = 1; item <= kItemCount; ++item) {
        ASSERT_NE(FindItem(item), nullptr);
        EXPECT_EQ(FindItem(item)->item, item);
    }
    EXPECT_EQ(FindItem(0), nullptr);
    EXPECT_EQ(FindItem(71), nullptr);
    EXPECT_EQ(FindItem(1)->code, 0x82);
    EXPECT_EQ(FindItem(16)->code, FindItem(17)->code);
    EXPECT_EQ(FindItem(15)->code, FindItem(67)->code);
    EXPECT_EQ(FindItem(70)->code, 0xF3);
    EXPECT_TRUE(IsWritableAt(1, kAccessOperator));
    EXPECT_FALSE(IsWritableAt(1, kAccessNone));
    EXPECT_FALSE(IsWritableAt(39, kAccessConfigurator));
    EXPECT_TRUE(IsWritableAt(39, kAccessVerifier));
    EXPECT_TRUE(IsWritableAt(55, kAccessOperator));
    EXPECT_FALSE(IsWritableAt(55, kAccessMaster));
    for (int level = 0; level <= 4; ++level)
        EXPECT_FALSE(IsWritableAt(66, level));
    EXPECT_EQ(ItemReadCount(46), 64);
    EXPECT_EQ(ItemReadCount(1), 6);
    EXPECT_EQ(EffectiveItem(15, kPlain), 15);
    EXPECT_EQ(EffectiveItem(15, DeriveModelProfile(identification('K', "F47c"), 1)), 67);
}

TEST(ItemTable, Captions) {
    EXPECT_EQ(ItemCaption(1, kPlain, kRussian), QStringLiteral("Плотность газа (кг./м.куб.)"));
    EXPECT_EQ(ItemCaption(14, kPlain, kRussian), QStringLiteral("Заводской номер счетчика          "));
    EXPECT_EQ(ItemCaption(65, kPlain, kRussian), QStringLiteral("Типоразмер"));
    const ModelProfile w = DeriveModelProfile(identification('K', "W47c"), 1);
    EXPECT_EQ(ItemCaption(65, w, kRussian), QStringLiteral("Диаметр условного прохода"));
    EXPECT_FALSE(ItemCaption(1, kPlain, kUkrainian).isEmpty());
    EXPECT_NE(ItemCaption(1, kPlain, kUkrainian), ItemCaption(1, kPlain, kRussian));
}

TEST(ItemCheck, DensityBoundsAreInclusive) {
    const ParameterImage image;
    const ItemContext ru{kPlain, kRussian};
    EXPECT_EQ(CheckItemValue(1, QStringLiteral("0.54"), image, ru).result, CheckResult::valueOk);
    EXPECT_EQ(CheckItemValue(1, QStringLiteral("1.051"), image, ru).result, CheckResult::valueOk);
    EXPECT_EQ(CheckItemValue(1, QStringLiteral(" 0.6 "), image, ru).result, CheckResult::valueOk);
    const ItemCheck below = CheckItemValue(1, QStringLiteral("0.539"), image, ru);
    EXPECT_EQ(below.result, CheckResult::valueBelow);
    EXPECT_EQ(below.message, QStringLiteral("Переменная  меньше допуска!0.54..1.051"));
    const ItemCheck above = CheckItemValue(1, QStringLiteral("1.0511"), image, ru);
    EXPECT_EQ(above.result, CheckResult::valueAbove);
    EXPECT_EQ(above.message, QStringLiteral("Переменная  больше допуска!0.54..1.051"));
    EXPECT_EQ(refusal(1, QStringLiteral("1.0511")), QStringLiteral("Переменная  больше допуска!0.54..1.051"));
    EXPECT_EQ(refusal(1, QStringLiteral("1.0511"), kUkrainian),
              QStringLiteral("Змінна більше допуску!0.54..1.051"));
    EXPECT_EQ(refusal(1, QStringLiteral("0.1"), kUkrainian),
              QStringLiteral("Змінна менше допуску!0.54..1.051"));
    EXPECT_EQ(refusal(9, QStringLiteral("72000.02")),
              QStringLiteral("Переменная  больше допуска!0..72000.01"));
}

TEST(ItemCheck, OnlyPlainDecimalNumbers) {
    const ParameterImage image;
    const ItemContext ru{kPlain, kRussian};
    for (const char* text :
         {"", " ", "-", "1,5", "nan", "NaN", "inf", "-inf", "1e999", "0x1", "1.2.3", "+", "."}) {
        const ItemCheck c = CheckItemValue(1, QString::fromLatin1(text), image, ru);
        EXPECT_EQ(c.result, CheckResult::valueSyntax) << text;
        EXPECT_EQ(c.message, kSyntax) << text;
    }
    EXPECT_EQ(CheckItemValue(1, QStringLiteral("1,5"), image, ItemContext{kPlain, kUkrainian}).message,
              QStringLiteral("Помилка набору змінної !"));
    EXPECT_EQ(CheckItemValue(1, QStringLiteral("6e-1"), image, ru).result, CheckResult::valueOk);
    EXPECT_EQ(CheckItemValue(1, QStringLiteral(".6"), image, ru).result, CheckResult::valueOk);
    // Kinds other than float pass the value check; their encoders check.
    EXPECT_EQ(CheckItemValue(18, QStringLiteral("x"), image, ru).result, CheckResult::valueOk);
}

TEST(ItemEncode, FloatsAndTheWriteFrame) {
    EXPECT_EQ(bytes(1, QStringLiteral("0.68")), hex("7B 14 2E 3F"));
    const QByteArray data = ItemWriteData(1, 1234, bytes(1, QStringLiteral("0.68")));
    EXPECT_EQ(test::writeFrame(1, FindItem(1)->code, data), hex("82 82 06 D2 04 7B 14 2E 3F 23"));
    // Only the low 16 bits of the serial number travel.
    EXPECT_EQ(ItemWriteData(1, 70000, hex("00 00 80 3F")), hex("70 11 00 00 80 3F"));
}

TEST(ItemEncode, PressuresInMpaAreCheckedInMpaAndSentInKgf) {
    const ParameterImage mpa = imageWith(2, "02 00 00 00");
    EXPECT_EQ(refusal(30, QStringLiteral("0.0049"), kRussian, mpa),
              QStringLiteral("Переменная  меньше допуска!0.004903326..6.374324"));
    EXPECT_TRUE(encode(30, QStringLiteral("0.005"), kRussian, mpa).ok);
    // 0.5 MPa is stored as 5.09858 kgf/cm².
    EXPECT_EQ(bytes(30, QStringLiteral("0.5"), mpa), hex("91 27 A3 40"));
    EXPECT_EQ(bytes(31, QStringLiteral("0.5"), mpa), hex("91 27 A3 40"));
    EXPECT_EQ(bytes(34, QStringLiteral("0.5"), mpa), hex("91 27 A3 40"));
    // Without MPa the same text is kgf/cm² as it stands.
    EXPECT_EQ(bytes(30, QStringLiteral("0.5")), hex("00 00 00 3F"));
    EXPECT_EQ(refusal(30, QStringLiteral("0.0049")), QStringLiteral("Переменная  меньше допуска!0.05..65"));
    // Standard pressure 1..2 kgf/cm²: 0.1 MPa lies inside, 0.2 MPa does not.
    EXPECT_TRUE(encode(39, QStringLiteral("0.1"), kRussian, mpa).ok);
    EXPECT_FALSE(encode(39, QStringLiteral("0.2"), kRussian, mpa).ok);
}

TEST(ItemEncode, GaugeAndBarometricValuesAreCheckedAfterConversion) {
    const ParameterImage image;
    ItemContext context{kPlain, kRussian};
    context.gaugeUnit = GaugeUnit::CmWater;
    // 5000 cm of water = 5 kgf/cm², inside 0..10.1 once converted.
    const EncodedItem gauge = EncodeItem(6, QStringLiteral("5000"), image, context);
    ASSERT_TRUE(gauge.ok);
    EXPECT_EQ(gauge.value, hex("00 00 A0 40"));
    EXPECT_EQ(CheckItemValue(6, QStringLiteral("5000"), image, context).result, CheckResult::valueOk);
    EXPECT_EQ(CheckItemValue(6, QStringLiteral("11000"), image, context).message,
              QStringLiteral("Переменная  больше допуска!0..10.1"));
    context.baroUnit = BaroUnit::MmHg;
    const EncodedItem baro = EncodeItem(43, QStringLiteral("760"), image, context);
    ASSERT_TRUE(baro.ok);
    EXPECT_EQ(baro.value, hex("8E 40 84 3F")); // 1.03322 kgf/cm²
    context.baroUnit = BaroUnit::Mpa;
    EXPECT_EQ(EncodeItem(43, QStringLiteral("0.1"), image, context).value, floatBytes(1.019716f));
}

TEST(ItemEncode, SignedBytesAndLinkAddress) {
    EXPECT_EQ(bytes(18, QStringLiteral("-3")), hex("FD 00 00 00"));
    EXPECT_EQ(bytes(18, QString::fromUtf8("\u22123")), hex("FD 00 00 00")); // typed minus sign
    EXPECT_EQ(bytes(18, QStringLiteral("9")), hex("09 00 00 00"));
    EXPECT_EQ(refusal(18, QStringLiteral("-10")), QStringLiteral("Переменная  меньше допуска!-9..9"));
    EXPECT_EQ(refusal(18, QStringLiteral("1.5")), kSyntax);
    EXPECT_EQ(refusal(18, QStringLiteral("")), kSyntax);
    EXPECT_EQ(refusal(18, QStringLiteral("-")), kSyntax);
    EXPECT_EQ(refusal(18, QStringLiteral("1-2")), kSyntax);
    EXPECT_EQ(bytes(21, QStringLiteral("-11")), hex("F5 00 00 00"));
    EXPECT_EQ(refusal(21, QStringLiteral("29")), QStringLiteral("Переменная  больше допуска!-11..28"));
    EXPECT_EQ(refusal(19, QStringLiteral("4")), QStringLiteral("Переменная  меньше допуска!5..99"));
    // The address shown 1..14 goes to the corrector as 0..13.
    EXPECT_EQ(bytes(27, QStringLiteral("1")), hex("00 00 00 00"));
    EXPECT_EQ(bytes(27, QStringLiteral("14")), hex("0D 00 00 00"));
    EXPECT_EQ(refusal(27, QStringLiteral("0")), QStringLiteral("Переменная  меньше допуска!1..14"));
    EXPECT_EQ(refusal(27, QStringLiteral("15")), QStringLiteral("Переменная  больше допуска!1..14"));
    const QByteArray frame =
        test::writeFrame(1, FindItem(18)->code, ItemWriteData(18, 1234, bytes(18, "-3")));
    EXPECT_EQ(frame, hex("82 93 06 D2 04 FD 00 00 00 11"));
}

TEST(ItemDecode, SignedBytesAndAddress) {
    ParameterImage image;
    const ItemContext ru{kPlain, kRussian};
    EXPECT_EQ(DecodeItem(18, hex("D2 04 FD 00 00 00"), image, ru).text, QStringLiteral("-3"));
    EXPECT_EQ(image.timeCorrection(), -3);
    // The contract day is signed like its range: −1 reads back as −1.
    EXPECT_EQ(DecodeItem(21, hex("D2 04 FF 00 00 00"), image, ru).text, QStringLiteral("-1"));
    EXPECT_EQ(image.contractDay(), -1);
    EXPECT_EQ(DecodeItem(19, hex("D2 04 FF 00 00 00"), image, ru).text, QStringLiteral("255"));
    EXPECT_EQ(DecodeItem(27, hex("D2 04 0D 00 00 00"), image, ru).text, QStringLiteral("14"));
    EXPECT_EQ(image.linkAddress(), 14);
    const DecodedItem d = DecodeItem(1, hex("D2 04 FF FF FF FF"), image, ru);
    EXPECT_EQ(d.serial, 1234);
    EXPECT_EQ(d.text, QStringLiteral("0"));
    EXPECT_EQ(image.WordText(51), QStringLiteral("0"));
}

TEST(ItemEncode, GasNameAndLists) {
    EXPECT_EQ(bytes(7, QStringLiteral("аргон")), hex("01 00 00 00"));
    EXPECT_EQ(bytes(7, QStringLiteral("воздух сухой")), hex("05 00 00 00"));
    EXPECT_EQ(refusal(7, QStringLiteral("аргонн")),
              QStringLiteral("Ошибка значения переменной : Название газа"));
    EXPECT_EQ(refusal(7, QStringLiteral("3")), QStringLiteral("Ошибка значения переменной : Название газа"));
    EXPECT_TRUE(refusal(7, QStringLiteral("аргонн"), kUkrainian)
                    .startsWith(QStringLiteral("Помилка значення змінної:")));
    // Method: four entries on series 1, two on series 2.
    EXPECT_EQ(bytes(5, QStringLiteral("Фиксир. Kсжим")), hex("03 00 00 00"));
    const ModelProfile t = DeriveModelProfile(identification('T', "T47c"), 1);
    EXPECT_EQ(bytes(5, QStringLiteral("Фиксир. Kсжим"), {}, t), hex("01 00 00 00"));
    EXPECT_FALSE(encode(5, QStringLiteral("РД50-213"), kRussian, {}, t).ok);
    // Pulse weight always encodes with the five-entry list.
    EXPECT_EQ(bytes(15, QStringLiteral("0.1")), hex("03 00 00 00"));
    EXPECT_EQ(bytes(26, QStringLiteral("19200(бит/c.)")), hex("04 00 00 00"));
    EXPECT_EQ(bytes(29, QStringLiteral("Выкл. Q+T+P")), hex("07 00 00 00"));
    const ModelProfile w = DeriveModelProfile(identification('K', "W47c"), 1);
    EXPECT_EQ(bytes(65, QStringLiteral("100"), {}, w), hex("02 00 00 00"));
    const ModelProfile r = DeriveModelProfile(identification('r', "r47c"), 1);
    EXPECT_EQ(bytes(65, QStringLiteral("G25-50-Б"), {}, r), hex("02 00 00 00"));
}

TEST(ItemDecode, ListsAndFlags) {
    ParameterImage image;
    const ItemContext ru{kPlain, kRussian};
    EXPECT_EQ(DecodeItem(7, hex("00 00 02 00 00 00"), image, ru).text, QStringLiteral("углекислый"));
    EXPECT_EQ(image.gasIndex(), 2);
    EXPECT_EQ(DecodeItem(66, hex("00 00 01 00 00 00"), image, ru).text, QStringLiteral("украинский"));
    EXPECT_EQ(DecodeItem(66, hex("00 00 02 00 00 00"), image, ru).text, QString()); // beyond the list
    EXPECT_EQ(DecodeItem(23, hex("00 00 04 00 00 00"), image, ItemContext{kPlain, kUkrainian}).text,
              QStringLiteral("iнтерв.зап._10хв."));
    const ModelProfile f = DeriveModelProfile(identification('K', "F47c"), 1);
    EXPECT_EQ(DecodeItem(15, hex("00 00 03 00 00 00"), image, ItemContext{f, kRussian}).text,
              QStringLiteral("1000"));
    EXPECT_EQ(DecodeItem(15, hex("00 00 03 00 00 00"), image, ru).text, QStringLiteral("0.1"));

    EXPECT_EQ(DecodeItem(22, hex("00 00 01 00 00 00"), image, ru).text, QStringLiteral("ВКЛ."));
    EXPECT_EQ(DecodeItem(22, hex("00 00 00 00 00 00"), image, ru).text, QStringLiteral("ВЫКЛ."));
    EXPECT_EQ(DecodeItem(64, hex("00 00 01 00 00 00"), image, ru).text, QStringLiteral("ВКЛ."));
    EXPECT_EQ(image.configBits(), config_bit::Terminator2);
    EXPECT_EQ(DecodeItem(8, hex("00 00 01 00 00 00"), image, ru).text, QStringLiteral("по_массе(кг)"));
    EXPECT_TRUE(image.massAccounting());
    EXPECT_EQ(DecodeItem(70, hex("00 00 01 00 00 00"), image, ru).text, QStringLiteral("ГДж"));
    EXPECT_TRUE(image.heatInGj());

    // The pressure unit changes the pressure words at once.
    image.setWordBytes(45, hex("91 27 23 41"));
    EXPECT_EQ(image.WordText(45), QStringLiteral("10.197"));
    EXPECT_EQ(DecodeItem(38, hex("00 00 01 00 00 00"), image, ru).text, QStringLiteral("МПа"));
    EXPECT_EQ(image.WordText(45), QStringLiteral("1"));
    EXPECT_EQ(DecodeItem(30, hex("00 00 91 27 23 41"), image, ru).text, QStringLiteral("1"));
    EXPECT_EQ(DecodeItem(38, hex("00 00 00 00 00 00"), image, ru).text, QStringLiteral("кгс/см2"));
    EXPECT_EQ(image.WordText(45), QStringLiteral("10.197"));
}

TEST(ItemEncode, Flags) {
    EXPECT_EQ(bytes(22, QStringLiteral("ВКЛ.")), hex("01 00 00 00"));
    EXPECT_EQ(bytes(22, QStringLiteral("ВЫКЛ.")), hex("00 00 00 00"));
    EXPECT_EQ(bytes(38, QStringLiteral("МПа")), hex("01 00 00 00"));
    EXPECT_EQ(bytes(38, QStringLiteral("кгс/см2")), hex("00 00 00 00"));
    EXPECT_EQ(bytes(8, QStringLiteral("по_массе(кг)")), hex("01 00 00 00"));
    EXPECT_EQ(bytes(70, QStringLiteral("Гкал")), hex("00 00 00 00"));
    EXPECT_EQ(refusal(38, QStringLiteral("Мпа")),
              QStringLiteral("Ошибка значения переменной : Единица давления"));
    EXPECT_EQ(encode(22, QStringLiteral("ВИМК."), kUkrainian).value, hex("00 00 00 00"));
}

TEST(ItemEncode, DateAndTime) {
    EXPECT_EQ(bytes(16, QStringLiteral("15.03.2024 10:30")), hex("76 3F C2 00"));
    const EncodedItem e = EncodeDateTime(QStringLiteral("15.03.2024"), QStringLiteral("10:30"), kRussian);
    EXPECT_EQ(e.value, hex("76 3F C2 00"));
    EXPECT_EQ(bytes(17, QStringLiteral("02.01.2000 00:00")), hex("A0 05 00 00"));
    EXPECT_EQ(bytes(16, QStringLiteral("24.11.2031 20:15")), hex("FF FF FF 00"));
    const QString time = QStringLiteral("Ошибка набора времени !");
    const QString date = QStringLiteral("Ошибка набора даты !");
    const QString format = QStringLiteral("Ошибка формата даты !");
    EXPECT_EQ(refusal(16, QStringLiteral("15.03.2024 25:00")), time);
    EXPECT_EQ(refusal(16, QStringLiteral("15.03.2024 10:60")), time);
    EXPECT_EQ(refusal(16, QStringLiteral("15.03.2024 1030")), time);
    EXPECT_EQ(refusal(16, QStringLiteral("15.03.2024")), time);
    EXPECT_EQ(refusal(16, QStringLiteral("1.3.2024 10:30")), date);
    EXPECT_EQ(refusal(16, QStringLiteral("15/03/2024 10:30")), date);
    EXPECT_EQ(refusal(16, QStringLiteral("31.02.2024 10:30")), format);
    // Outside what 24-bit minutes from 01.01.2000 can hold.
    EXPECT_EQ(refusal(16, QStringLiteral("31.12.1999 23:59")), format);
    EXPECT_EQ(refusal(16, QStringLiteral("24.11.2031 20:16")), format);
    EXPECT_EQ(refusal(16, QStringLiteral("15.03.2024 25:00"), kUkrainian),
              QStringLiteral("Помилка набору часу!"));
    EXPECT_EQ(refusal(16, QStringLiteral("1.3.2024 10:30"), kUkrainian),
              QStringLiteral("Помилка набору дати!"));
    EXPECT_EQ(refusal(16, QStringLiteral("31.02.2024 10:30"), kUkrainian),
              QStringLiteral("Помилка формату дати!"));

    ParameterImage image;
    const DecodedItem d = DecodeItem(16, hex("D2 04 76 3F C2 00"), image, ItemContext{kPlain, kRussian});
    EXPECT_EQ(d.dateText, QStringLiteral("15.03.2024"));
    EXPECT_EQ(d.timeText, QStringLiteral("10:30"));
    EXPECT_EQ(DecodeItem(16, hex("D2 04 00 00 00 FF"), image, ItemContext{kPlain, kRussian}).dateText,
              QString());
}

TEST(ItemEncode, ContractHour) {
    EXPECT_EQ(bytes(20, QStringLiteral("09:00")), hex("09 00 00 00"));
    EXPECT_EQ(bytes(20, QStringLiteral("23:00")), hex("17 00 00 00"));
    EXPECT_EQ(refusal(20, QStringLiteral("25:00")), QStringLiteral("Ошибка набора времени !"));
    EXPECT_EQ(refusal(20, QStringLiteral("9:00")), QStringLiteral("Ошибка набора времени !"));
    EXPECT_EQ(refusal(20, QStringLiteral("09:99")), QStringLiteral("Ошибка набора времени !"));
    ParameterImage image;
    EXPECT_EQ(DecodeItem(20, hex("00 00 09 00 00 00"), image, ItemContext{kPlain, kRussian}).text,
              QStringLiteral("09:00"));
    EXPECT_EQ(image.contractHour(), 9);
}

TEST(ItemEncode, TextItems) {
    const QByteArray value = bytes(46, QStringLiteral("ABCDE"));
    EXPECT_EQ(value, QByteArray("ABCDE") + QByteArray(27, ' '));
    const QByteArray frame = test::writeFrame(1, FindItem(46)->code, ItemWriteData(46, 1234, value));
    EXPECT_EQ(frame.size(), 42);
    EXPECT_EQ(frame,
              hex("82 FA 26 D2 04 00 00 00 80 41 42 43 44 45 20 20 20 20 20 20 20 20 20 20 20 20 20 20 "
                  "20 20 20 20 20 20 20 20 20 20 20 20 20 58"));
    EXPECT_EQ(bytes(45, QStringLiteral("Газ")), QByteArray("\xC3\xE0\xE7") + QByteArray(29, ' '));
    EXPECT_TRUE(encode(44, QString(32, QLatin1Char('x'))).ok);
    EXPECT_EQ(refusal(46, QString(33, QLatin1Char('x'))),
              QStringLiteral("Ошибка значения переменной : Счетчик"));
    EXPECT_FALSE(encode(47, QStringLiteral("€ ok ✓")).ok); // ✓ has no Windows-1251 code

    ParameterImage image;
    QByteArray reply = hex("D2 04 00 00 00 80") + QByteArray(24, '\0');
    reply += QByteArray(" Meter\x01 7 ") + QByteArray(22, ' ') + QByteArray(2, '\0');
    ASSERT_EQ(reply.size(), 64);
    EXPECT_EQ(DecodeItem(46, reply, image, ItemContext{kPlain, kRussian}).text, QStringLiteral("Meter 7"));
    EXPECT_EQ(image.textItem(105), QStringLiteral("Meter 7"));
    EXPECT_EQ(image.WordText(105), QStringLiteral(" Met"));
}

TEST(ItemEncode, AlarmMask) {
    EXPECT_EQ(bytes(37, QStringLiteral("FFFF")), hex("FF FF 00 00"));
    EXPECT_EQ(bytes(37, QStringLiteral("a5")), hex("A5 00 00 00"));
    EXPECT_EQ(refusal(37, QStringLiteral("1FFFF")),
              QStringLiteral("Ошибка значения переменной : Сигнал изменения аварии"));
    EXPECT_EQ(refusal(37, QStringLiteral("XYZ")), kSyntax);
    EXPECT_EQ(refusal(37, QStringLiteral("")), kSyntax);
    ParameterImage image;
    EXPECT_EQ(DecodeItem(37, hex("00 00 FF 00 00 00"), image, ItemContext{kPlain, kRussian}).text,
              QStringLiteral("00FF"));
    EXPECT_EQ(image.alarmChangeMask(), 0x00FF);
}

TEST(ItemEncode, Passwords) {
    const QString wrong = QStringLiteral("Пароль неверен !");
    EXPECT_EQ(refusal(48, QStringLiteral("123")), wrong);
    EXPECT_EQ(refusal(48, QStringLiteral("12a4")), wrong);
    EXPECT_EQ(refusal(54, QStringLiteral("12345")), wrong);
    EXPECT_EQ(refusal(54, QStringLiteral("123"), kUkrainian), QStringLiteral("Пароль невірний!"));
    EXPECT_EQ(bytes(48, QStringLiteral("5831")), hex("C7 16 00 00"));
    EXPECT_EQ(bytes(53, QStringLiteral("0007")), hex("07 00 00 00"));
    const QByteArray frame =
        test::writeFrame(1, FindItem(48)->code, ItemWriteData(48, 1234, bytes(48, "1234")));
    EXPECT_EQ(frame, hex("82 B0 06 D2 04 D2 04 00 00 1B"));
    // New passwords: a whole number 0..9999.
    EXPECT_EQ(bytes(55, QStringLiteral("123")), hex("7B 00 00 00"));
    EXPECT_EQ(refusal(61, QStringLiteral("10000")), QStringLiteral("Переменная  больше допуска!0..9999"));
}

TEST(ItemEncode, CountersScaleTheTypedDecimalExactly) {
    // 0.29 × 100 is 28.999999999999996 in binary floating point; the typed value scales to 29 pulses.
    const ParameterImage weight100 = imageWith(2, "00 02 00 00");
    EXPECT_EQ(bytes(11, QStringLiteral("0.29"), weight100), hex("1D 00 00 00"));
    EXPECT_EQ(bytes(62, QStringLiteral("0.29"), weight100), hex("1D 00 00 00"));
    EXPECT_EQ(bytes(11, QStringLiteral("0.57"), weight100), hex("39 00 00 00"));  // 57, not 56.99999999999999
    EXPECT_EQ(bytes(11, QStringLiteral("0.299"), weight100), hex("1D 00 00 00")); // still truncated
    EXPECT_EQ(bytes(11, QStringLiteral("2.9e-1"), weight100), hex("1D 00 00 00"));
    // Weight "0.01": 4.56 × 0.01 = 0.0456 pulses, truncated to 0; 1234 × 0.01 = 12.
    const ParameterImage weight001 = imageWith(2, "00 04 00 00");
    EXPECT_EQ(bytes(11, QStringLiteral("1234"), weight001), hex("0C 00 00 00"));
    // Heat energy in thousandths of Gcal goes the same way.
    EXPECT_EQ(bytes(69, QStringLiteral("0.29")), hex("22 01 00 00"));
}

TEST(ItemEncode, CountersStayWithinTheirRange) {
    // Meter counter: pulses = m³ × pulse weight, at most 1 000 000 000 pulses.
    EXPECT_EQ(bytes(11, QStringLiteral("1000")), hex("E8 03 00 00"));
    EXPECT_EQ(bytes(11, QStringLiteral("1000000000")), hex("00 CA 9A 3B"));
    EXPECT_EQ(refusal(11, QStringLiteral("1000000001")),
              QStringLiteral("Переменная  больше допуска!0..1000000000"));
    EXPECT_EQ(refusal(11, QStringLiteral("5000000000")),
              QStringLiteral("Переменная  больше допуска!0..1000000000"));
    EXPECT_EQ(refusal(11, QStringLiteral("-1")), QStringLiteral("Переменная  меньше допуска!0..1000000000"));
    EXPECT_EQ(refusal(11, QStringLiteral("12,5")), kSyntax);
    const ParameterImage weight01 = imageWith(2, "00 03 00 00");  // pulse weight "0.1"
    const ParameterImage weight100 = imageWith(2, "00 02 00 00"); // pulse weight "100"
    EXPECT_EQ(bytes(11, QStringLiteral("1000"), weight01), hex("64 00 00 00"));
    EXPECT_EQ(bytes(11, QStringLiteral("12.345"), weight100), hex("D2 04 00 00"));
    EXPECT_EQ(refusal(11, QStringLiteral("10000001"), kRussian, weight100),
              QStringLiteral("Переменная  больше допуска!0..10000000"));
    EXPECT_EQ(refusal(62, QStringLiteral("10000001"), kRussian, weight100),
              QStringLiteral("Переменная  больше допуска!0..10000000"));
    // Heat energy in thousandths of Gcal.
    EXPECT_EQ(bytes(69, QStringLiteral("1.5")), hex("DC 05 00 00"));
    EXPECT_EQ(refusal(69, QStringLiteral("1000001")),
              QStringLiteral("Переменная  больше допуска!0..1000000"));
    const ParameterImage gj = imageWith(6, "00 10 00 00");
    EXPECT_EQ(bytes(69, QStringLiteral("4.1868"), gj), hex("E8 03 00 00"));
    // The meter serial number is a plain whole number.
    EXPECT_EQ(bytes(14, QStringLiteral("1234567")), hex("87 D6 12 00"));
    EXPECT_EQ(refusal(14, QStringLiteral("0")), QStringLiteral("Переменная  меньше допуска!1..100000000"));
    EXPECT_EQ(refusal(14, QStringLiteral("99999999999999999999")), kSyntax);

    ParameterImage image = weight100;
    const ItemContext ru{kPlain, kRussian};
    EXPECT_EQ(DecodeItem(11, hex("D2 04 D2 04 00 00"), image, ru).text, QStringLiteral("12.34"));
    EXPECT_EQ(image.wordInt32(97), 1234);
    EXPECT_EQ(DecodeItem(69, hex("D2 04 DC 05 00 00"), image, ru).text, QStringLiteral("1.5"));
}

TEST(ItemEncode, HeatOfCombustionInGj) {
    const ParameterImage gj = imageWith(6, "00 10 00 00");
    EXPECT_EQ(bytes(68, QStringLiteral("4.1868"), gj), hex("00 00 80 3F"));
    EXPECT_EQ(refusal(68, QStringLiteral("4.19"), kRussian, gj),
              QStringLiteral("Переменная  больше допуска!0..4.1868"));
    EXPECT_EQ(refusal(68, QStringLiteral("1.1")), QStringLiteral("Переменная  больше допуска!0..1"));
    ParameterImage image = gj;
    EXPECT_EQ(DecodeItem(68, hex("00 00 00 00 80 3F"), image, ItemContext{kPlain, kRussian}).text,
              QStringLiteral("4.1868"));
}
