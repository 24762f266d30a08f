#include "common/Cp1251.h"

#include <gtest/gtest.h>

using namespace tarn;

TEST(Cp1251, RoundTripsEveryAssignedByte) {
    for (int b = 0; b < 256; ++b) {
        if (b == 0x98) continue; // unassigned in the code page
        const QByteArray one(1, static_cast<char>(b));
        EXPECT_EQ(toCp1251(fromCp1251(one)), one) << "byte " << b;
    }
}

TEST(Cp1251, KnowsTheLettersOfBothLanguages) {
    EXPECT_EQ(toCp1251(QStringLiteral("КОРРЕКТОР")), QByteArray("\xCA\xCE\xD0\xD0\xC5\xCA\xD2\xCE\xD0"));
    // Ukrainian letters and the typographic apostrophe of "комп’ютера".
    EXPECT_EQ(toCp1251(QStringLiteral("ІіЇїЄєҐґ’")), QByteArray("\xB2\xB3\xAF\xBF\xAA\xBA\xA5\xB4\x92"));
    EXPECT_EQ(fromCp1251(QByteArray("\xB9")), QStringLiteral("№"));
}

TEST(Cp1251, UnknownCharactersBecomeQuestionMarks) {
    EXPECT_EQ(toCp1251(QStringLiteral("a€b✓")), QByteArray("a\x88"
                                                           "b?"));
}
