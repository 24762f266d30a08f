#include "common/DateTimeText.h"
#include "common/DisplayNumber.h"
#include "common/Language.h"
#include "common/LanguageFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace tarn;

TEST(DisplayNumber, CutsZerosAndBarePoint) {
    EXPECT_EQ(displayNumber(12.5, 3), QStringLiteral("12.5"));
    EXPECT_EQ(displayNumber(12.0, 3), QStringLiteral("12"));
    EXPECT_EQ(displayNumber(0.0, 5), QStringLiteral("0"));
    EXPECT_EQ(displayNumber(-0.0001, 2), QStringLiteral("0"));
    EXPECT_EQ(displayNumber(1234567.125, 2), QStringLiteral("1234567.13"));
    EXPECT_EQ(displayNumber(100.0, 0), QStringLiteral("100"));
    EXPECT_EQ(displayNumberPadded(1.5, 6, 2), QStringLiteral("   1.5"));
}

TEST(DisplayNumber, OnlySixDecimalsAreLookedAt) {
    // Eight decimals asked: the last six are examined for zeros, the first two stay.
    EXPECT_EQ(displayNumber(1.0, 8), QStringLiteral("1.00"));
}

TEST(DisplayNumber, NonFiniteShowsZero) {
    EXPECT_EQ(displayNumber(std::numeric_limits<double>::quiet_NaN(), 2), QStringLiteral("0"));
    EXPECT_EQ(displayNumber(std::numeric_limits<double>::infinity(), 2), QStringLiteral("0"));
}

TEST(DateTimeText, DeviceMinutes) {
    EXPECT_EQ(formatTimestamp(minutesToDateTime(0)), QString::fromLatin1(kNoTimestampText));
    EXPECT_EQ(formatTimestamp(minutesToDateTime(1440)), QStringLiteral("02.01.2000 00:00"));
    EXPECT_EQ(formatTimestamp(minutesToDateTime(0xC24048)), QStringLiteral("15.03.2024 14:00"));
    EXPECT_EQ(dateTimeToMinutes(QDateTime(QDate(2024, 3, 15), QTime(14, 0))), 0xC24048u);
    EXPECT_FALSE(dateTimeToMinutes(QDateTime(QDate(1999, 12, 31), QTime(23, 59))));
    // 24-bit minutes end at 24.11.2031 20:15.
    EXPECT_EQ(dateTimeToMinutes(QDateTime(QDate(2031, 11, 24), QTime(20, 15)), true), 0xFFFFFFu);
    EXPECT_FALSE(dateTimeToMinutes(QDateTime(QDate(2031, 11, 24), QTime(20, 16)), true));
}

TEST(DateTimeText, StrictParsing) {
    EXPECT_EQ(parseDate(QStringLiteral("29.02.2024")), QDate(2024, 2, 29));
    EXPECT_FALSE(parseDate(QStringLiteral("29.02.2023")));
    EXPECT_FALSE(parseDate(QStringLiteral("1.2.2024")));
    EXPECT_FALSE(parseShortTime(QStringLiteral("25:00")));
    EXPECT_EQ(parseTimestamp(QStringLiteral("15.03.2024 10:30")),
              QDateTime(QDate(2024, 3, 15), QTime(10, 30)));
    EXPECT_EQ(formatLogTime(QTime(9, 5, 7, 42)), QStringLiteral("09:05:07.042"));
}

TEST(Language, PairLookupAndBounds) {
    static const char* const table[] = {"ТАК", "ДА", "", "", "Два\rрядки", "Две\rстроки"};
    const TextPairs t = makeTextPairs(table);
    EXPECT_EQ(Text(t, 0, kUkrainian), QStringLiteral("ТАК"));
    EXPECT_EQ(Text(t, 0, kRussian), QStringLiteral("ДА"));
    EXPECT_EQ(Text(t, 1, kRussian), QString());
    EXPECT_EQ(Text(t, 2, kRussian), QStringLiteral("Две\rстроки"));
    EXPECT_EQ(Text(t, 3, kRussian), QString());
    EXPECT_EQ(Text(t, 0, 3), QString());
}

TEST(LanguageFile, LastLineDecidesAndOnlyExactRu) {
    test::TempHome home;
    EXPECT_EQ(loadLanguage(home.root(), kRussian), kRussian); // missing: unchanged
    home.write(folder::Work, QStringLiteral("Type_Leng.000"), "RU\r\n");
    EXPECT_EQ(loadLanguage(home.root(), kUkrainian), kRussian);
    home.write(folder::Work, QStringLiteral("Type_Leng.000"), "UA\r\nRU\r\n");
    EXPECT_EQ(loadLanguage(home.root(), kUkrainian), kRussian);
    home.write(folder::Work, QStringLiteral("Type_Leng.000"), "RU\r\nUA\r\n");
    EXPECT_EQ(loadLanguage(home.root(), kRussian), kUkrainian);
    home.write(folder::Work, QStringLiteral("Type_Leng.000"), "ru\r\n");
    EXPECT_EQ(loadLanguage(home.root(), kRussian), kUkrainian);
    home.write(folder::Work, QStringLiteral("Type_Leng.000"), "\r\n");
    EXPECT_EQ(loadLanguage(home.root(), kRussian), kUkrainian);
    ASSERT_TRUE(saveLanguage(home.root(), QStringLiteral("RU")));
    EXPECT_EQ(home.read(folder::Work, QStringLiteral("Type_Leng.000")), QByteArray("RU\r\n"));
}

// The digit-by-digit dates and times against Qt's own formatter: every day of two years around a leap day
// and every minute of a day, then what the plain digits cannot say.
TEST(DateTimeText, DatesAndShortTimesAsTheFormatterWritesThem) {
    for (QDate d(2023, 6, 1); d <= QDate(2025, 6, 1); d = d.addDays(1))
        ASSERT_EQ(formatDate(d), d.toString(QStringLiteral("dd.MM.yyyy"))) << d.toString().toStdString();
    for (int m = 0; m < 24 * 60; ++m) {
        const QTime t = QTime(0, 0).addSecs(m * 60 + 59); // the seconds are not shown
        ASSERT_EQ(formatShortTime(t), t.toString(QStringLiteral("HH:mm"))) << m;
    }
    EXPECT_EQ(formatDate(QDate(9999, 12, 31)), QStringLiteral("31.12.9999"));
    EXPECT_EQ(formatDate(QDate(1000, 1, 1)), QStringLiteral("01.01.1000"));
    EXPECT_EQ(formatDate(QDate(999, 3, 4)), QDate(999, 3, 4).toString(QStringLiteral("dd.MM.yyyy")));
    EXPECT_EQ(formatDate(QDate()), QString());
    EXPECT_EQ(formatShortTime(QTime()), QString());
}
