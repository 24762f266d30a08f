// Stored dates and times read back: the quick reading of the stored form must give what Qt's general
// parser gives for the same text, on every form, the good ones and the bad ones alike.
#include "database/GroupQueries.h"

#include <gtest/gtest.h>

using namespace tarn;
using database::storedDateValue;
using database::storedTimeValue;

namespace {

// What the stored values were always read with: Qt's parser on the stored formats.
QDate generalDate(const QVariant& value) {
    return QDate::fromString(value.toString().left(10), QStringLiteral("yyyy-MM-dd"));
}

QTime generalTime(const QVariant& value) {
    const QString text = value.toString();
    const QTime t = QTime::fromString(text, QStringLiteral("HH:mm:ss"));
    return t.isValid() ? t : QTime::fromString(text, QStringLiteral("HH:mm"));
}

QString twoDigits(int n) {
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

} // namespace

TEST(StoredValues, DatesReadAsTheStoredFormSays) {
    EXPECT_EQ(storedDateValue(QStringLiteral("2024-02-29")), QDate(2024, 2, 29));
    EXPECT_EQ(storedDateValue(QStringLiteral("2023-12-31T09:00:00")), QDate(2023, 12, 31));
    EXPECT_EQ(storedDateValue(QStringLiteral("0001-01-01")), QDate(1, 1, 1));
    EXPECT_FALSE(storedDateValue(QStringLiteral("2023-02-29")).isValid());
    EXPECT_FALSE(storedDateValue(QStringLiteral("2023-13-01")).isValid());
    EXPECT_FALSE(storedDateValue(QStringLiteral("31.12.2023")).isValid());
    EXPECT_FALSE(storedDateValue(QVariant()).isValid());
}

TEST(StoredValues, EveryDateFormAgreesWithTheGeneralParser) {
    QStringList texts;
    // Every day number 00..32 of every month number 00..13 of years around the leap rules.
    for (const int year : {1, 1900, 1999, 2000, 2023, 2024, 2100, 9999})
        for (int month = 0; month <= 13; ++month)
            for (int day = 0; day <= 32; ++day)
                texts << QStringLiteral("%1-%2-%3")
                             .arg(year, 4, 10, QLatin1Char('0'))
                             .arg(twoDigits(month), twoDigits(day));
    // Other forms, and damage of every kind a table could hold.
    texts << QStringLiteral("0000-01-01") << QStringLiteral("2023-1-05") << QStringLiteral("2023-01-5")
          << QStringLiteral("23-01-05") << QStringLiteral("2023/01/05") << QStringLiteral("2023.01.05")
          << QStringLiteral("2023-01-05 ") << QStringLiteral(" 2023-01-05")
          << QStringLiteral("2023-01-05T10:00:00") << QStringLiteral("2023-01-05x")
          << QStringLiteral("+023-01-05") << QStringLiteral("-023-01-05") << QStringLiteral("2023-0a-05")
          << QStringLiteral("2023--1-05") << QStringLiteral("2023-01--5") << QStringLiteral("２０２３-01-05")
          << QString::fromUtf8("2023-01-0\u0665") << QStringLiteral("20230105")
          << QStringLiteral("2023-01-05-") << QStringLiteral("-") << QString() << QStringLiteral("0")
          << QStringLiteral("--") << QStringLiteral("2023-01") << QStringLiteral("10000-01-01");
    for (const QString& text : texts)
        EXPECT_EQ(storedDateValue(text), generalDate(text)) << text.toStdString();
    for (const QVariant& value : {QVariant(), QVariant(QDate(2023, 3, 4)), QVariant(20230304), QVariant(1.5),
                                  QVariant(QDateTime(QDate(2023, 3, 4), QTime(5, 6)))})
        EXPECT_EQ(storedDateValue(value), generalDate(value)) << value.toString().toStdString();
}

TEST(StoredValues, EveryTimeFormAgreesWithTheGeneralParser) {
    EXPECT_EQ(storedTimeValue(QStringLiteral("09:05:07")), QTime(9, 5, 7));
    EXPECT_EQ(storedTimeValue(QStringLiteral("23:59")), QTime(23, 59));
    EXPECT_FALSE(storedTimeValue(QStringLiteral("24:00")).isValid());

    QStringList texts;
    for (int hour = 0; hour <= 25; ++hour)
        for (const int minute : {0, 1, 9, 10, 30, 59, 60, 99}) {
            texts << twoDigits(hour) + QLatin1Char(':') + twoDigits(minute);
            for (const int second : {0, 7, 59, 60, 61})
                texts << twoDigits(hour) + QLatin1Char(':') + twoDigits(minute) + QLatin1Char(':') +
                             twoDigits(second);
        }
    texts << QStringLiteral("9:05") << QStringLiteral("09:5") << QStringLiteral("09:05:7")
          << QStringLiteral("0905") << QStringLiteral("09.05") << QStringLiteral("09-05-00")
          << QStringLiteral("09:05 ") << QStringLiteral(" 09:05") << QStringLiteral("09:05:00.000")
          << QStringLiteral("09:05:0x") << QStringLiteral("09::5:00") << QStringLiteral("09:05:")
          << QStringLiteral("-9:05") << QStringLiteral("+9:05") << QStringLiteral("０９:05")
          << QString::fromUtf8("09:0\u0665") << QStringLiteral("09:05:00:00") << QStringLiteral("--")
          << QString() << QStringLiteral("0") << QStringLiteral("2023-01-05T09:05:00")
          << QStringLiteral("09:05:00Z");
    for (const QString& text : texts)
        EXPECT_EQ(storedTimeValue(text), generalTime(text)) << text.toStdString();
    for (const QVariant& value : {QVariant(), QVariant(QTime(5, 6, 7)), QVariant(905), QVariant(QTime(5, 6))})
        EXPECT_EQ(storedTimeValue(value), generalTime(value)) << value.toString().toStdString();
}
