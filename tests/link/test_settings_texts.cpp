// The settings windows' captions: every pair in both languages, the captions the users know unchanged.
#include "link/windows/SettingsTexts.h"

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::link;

TEST(SettingsTexts, EveryPairHasBothLanguages) {
    for (int p = 0; p < kSettingsTexts.pairs(); ++p) {
        EXPECT_FALSE(Text(kSettingsTexts, p, kUkrainian).isEmpty()) << p;
        EXPECT_FALSE(Text(kSettingsTexts, p, kRussian).isEmpty()) << p;
    }
    EXPECT_EQ(Text(kSettingsTexts, kSetCaption, kRussian), QStringLiteral("УСТАНОВКИ"));
    EXPECT_EQ(Text(kInitPortTexts, kInitAddress, kRussian), QStringLiteral("Адрес корректрора : "));
    EXPECT_EQ(Text(kInitPortTexts, kInitPort, kUkrainian), QStringLiteral("Номер COM - порту:"));
}
