#include "CorrectorTestSupport.h"
#include "corrector/Identification.h"
#include "corrector/ModelProfile.h"

#include "common/Language.h"

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::corrector;
using test::identification;

TEST(Identification, PositionsCountFromOne) {
    const IdentificationString id = identification('R', "V47c");
    EXPECT_EQ(id.character(1), QLatin1Char('R'));
    EXPECT_EQ(id.modelLetter(), QLatin1Char('V'));
    EXPECT_EQ(id.versionCode(), QStringLiteral("47c"));
    EXPECT_EQ(id.versionNumber(), 0x343763u);
    EXPECT_EQ(id.typesizeList(), TypesizeListKind::B);
    EXPECT_EQ(identification('r', "V47c").typesizeList(), TypesizeListKind::B);
    EXPECT_EQ(identification('T', "T47c").typesizeList(), TypesizeListKind::C);
    EXPECT_EQ(identification('K', "V47c").typesizeList(), TypesizeListKind::A);
    EXPECT_GT(versionNumber("47b"), versionNumber("47a"));
    EXPECT_GT(versionNumber("46a"), versionNumber("44s"));
}

TEST(Identification, TextDropsControlCharacters) {
    QByteArray raw("\x01KV\x1F 44s\r\n", 10);
    raw.append("\xCA\xC2", 2); // "КВ" in Windows-1251
    EXPECT_EQ(IdentificationString(raw).text(), QStringLiteral("KV 44sКВ"));
}

TEST(VersionCheck, KnownLettersAreAccepted) {
    for (char letter : {'V', 'F', 'f', 'r', 'T', 'W', 'R'}) {
        const char tag[5] = {letter, '4', '7', 'c', 0};
        const VersionCheck c = CheckVersion(identification('K', tag), kRussian);
        EXPECT_TRUE(c.accepted()) << letter;
        EXPECT_TRUE(c.message.isEmpty());
    }
}

TEST(VersionCheck, UnknownLettersAreRefusedByVersion) {
    // Below "41A": the older program; "41A" up to below "41y": its R variant; from "41y" on: unknown.
    EXPECT_EQ(CheckVersion(identification('K', "X40z"), kRussian).message,
              QStringLiteral("Данная версия ПО корректора работает с программой \"Quon\" !!!"));
    EXPECT_EQ(CheckVersion(identification('K', "X41@"), kUkrainian).message,
              QStringLiteral("Дана версія ПЗ коректора працює з програмою \"Quon\" !!!"));
    EXPECT_EQ(CheckVersion(identification('K', "X41A"), kRussian).message,
              QStringLiteral("Данная версия ПО корректора работает с программой \"QuonR\""));
    EXPECT_EQ(CheckVersion(identification('K', "v41x"), kUkrainian).message,
              QStringLiteral("Дана версія ПЗ коректора працює з програмою \"QuonR\""));
    EXPECT_EQ(CheckVersion(identification('K', "X41y"), kRussian).verdict, VersionVerdict::UnknownVersion);
    EXPECT_EQ(CheckVersion(identification('K', "X41y"), kRussian).message,
              QStringLiteral("Ошибка! Версия не определена!!!"));
    EXPECT_EQ(CheckVersion(identification('K', "X47c"), kUkrainian).message,
              QStringLiteral("Помилка! Версія не визначена!"));
}

TEST(VersionCheck, MissingTagIsNotDetermined) {
    const QString message = QStringLiteral("Ошибка версия не определена!!!");
    EXPECT_EQ(CheckVersion(identification('K', "    "), kUkrainian).message, message);
    EXPECT_EQ(CheckVersion(IdentificationString(QByteArray("short")), kRussian).message, message);
    EXPECT_EQ(CheckVersion(IdentificationString(QByteArray(32, '\0')), kRussian).verdict,
              VersionVerdict::NotDetermined);
}

TEST(ModelProfile, FirstVersionsHaveNoSecondPort) {
    const ModelProfile p = DeriveModelProfile(identification('K', "V44r"), 5000);
    EXPECT_TRUE(p.letterKnown);
    EXPECT_EQ(p.modelName, QStringLiteral("КВОН-1.01 "));
    EXPECT_FALSE(p.secondPort);
    EXPECT_EQ(p.archiveDepth, 759);
    EXPECT_EQ(p.archivePages, 23);
    EXPECT_FALSE(p.languageSetting);
    EXPECT_FALSE(p.heatEnergy);
}

TEST(ModelProfile, SeriesOneNameFollowsSerialNumber) {
    const ModelProfile at4000 = DeriveModelProfile(identification('K', "V44s"), 4000);
    EXPECT_EQ(at4000.modelName, QStringLiteral("КВОН-1.02Р "));
    EXPECT_TRUE(at4000.secondPort);
    EXPECT_EQ(at4000.archiveDepth, 751);
    EXPECT_EQ(at4000.archivePages, 23);
    EXPECT_EQ(DeriveModelProfile(identification('K', "V44s"), 4001).modelName, QStringLiteral("ТАРН-1.01  "));
    const ModelProfile v46 = DeriveModelProfile(identification('K', "V46a"), 4001);
    EXPECT_TRUE(v46.languageSetting);
    EXPECT_FALSE(v46.secondPort); // unchanged from the cleared flags
    EXPECT_EQ(v46.archiveDepth, 495);
}

TEST(ModelProfile, HeatAndGasSelectionByVersion) {
    const ModelProfile a = DeriveModelProfile(identification('K', "V47a"), 1);
    EXPECT_TRUE(a.gasSelection);
    EXPECT_FALSE(a.heatEnergy);
    const ModelProfile b = DeriveModelProfile(identification('K', "V47b"), 1);
    EXPECT_TRUE(b.heatEnergy);
    EXPECT_FALSE(b.gasSelection);
    const ModelProfile c = DeriveModelProfile(identification('K', "V47c"), 1);
    EXPECT_TRUE(c.heatEnergy);
    EXPECT_TRUE(c.gasSelection);
    EXPECT_EQ(c.archiveDepth, 495);
    EXPECT_EQ(c.archivePages, 15);
}

TEST(ModelProfile, CalibrationAndSeriesTwoLetters) {
    const ModelProfile F = DeriveModelProfile(identification('K', "F47b"), 5000);
    EXPECT_TRUE(F.hfModel && F.calibModel && !F.calibModel2);
    EXPECT_EQ(F.modelName, QStringLiteral("ЗИБ-1.01  "));
    EXPECT_EQ(F.secondaryName, QStringLiteral("ТАРН-1.01ВЧ"));
    EXPECT_FALSE(F.secondPort);
    EXPECT_EQ(F.methodList, MethodListKind::Four);

    const ModelProfile f = DeriveModelProfile(identification('K', "f47b"), 5000);
    EXPECT_TRUE(f.hfModel && f.calibModel2);
    EXPECT_EQ(f.modelName, QStringLiteral("ТАРН-2.01  "));
    EXPECT_EQ(f.secondaryName, QStringLiteral("ТАРН-2.01ВЧ"));
    EXPECT_EQ(f.methodList, MethodListKind::Two);
    EXPECT_EQ(f.sensorOffList, SensorOffListKind::Four);

    const ModelProfile r = DeriveModelProfile(identification('r', "r44s"), 3000);
    EXPECT_TRUE(r.calibModel2 && !r.hfModel);
    EXPECT_FALSE(r.secondPort);
    EXPECT_EQ(r.modelName, QStringLiteral("КВОН-2.01Р "));
    EXPECT_TRUE(r.hasCoefficientTable());

    const ModelProfile T = DeriveModelProfile(identification('T', "T44s"), 4001);
    EXPECT_TRUE(T.series2Model);
    EXPECT_EQ(T.modelName, QStringLiteral("ТАРН-2.01  "));
    EXPECT_EQ(T.archiveDepth, 495);
    EXPECT_EQ(T.archivePages, 15);
    EXPECT_EQ(T.pulseWeightList, PulseWeightListKind::Three);
    EXPECT_TRUE(T.hasPressurePanels());
    EXPECT_FALSE(T.hasCoefficientTable());

    const ModelProfile R = DeriveModelProfile(identification('R', "R46a"), 4001);
    EXPECT_TRUE(R.calibModel && !R.hfModel);
    EXPECT_EQ(R.modelName, QStringLiteral("ЗИБ-1.01  "));
    EXPECT_TRUE(R.secondaryName.isEmpty());
}

TEST(ModelProfile, MeterCoefficientModel) {
    const ModelProfile old = DeriveModelProfile(identification('K', "W43a"), 4000);
    EXPECT_TRUE(old.meterCoefModel);
    EXPECT_TRUE(old.secondPort);
    EXPECT_EQ(old.modelName, QStringLiteral("КВОН-1.02РВ"));
    EXPECT_EQ(DeriveModelProfile(identification('K', "W47a"), 4001).modelName, QStringLiteral("ТАРН-1.02  "));
}

TEST(ModelProfile, UnknownLetterIsMarked) {
    EXPECT_FALSE(DeriveModelProfile(identification('K', "X47c"), 1).letterKnown);
}

TEST(ModelProfile, RenameAfterFullRead) {
    // Identified before the serial number was known, named again once word 99 has been read.
    ModelProfile v = DeriveModelProfile(identification('K', "V46a"), 0);
    EXPECT_EQ(v.modelName, QStringLiteral("КВОН-1.02Р "));
    RenameAfterFullRead(v, 5000);
    EXPECT_EQ(v.modelName, QStringLiteral("ТАРН-1.01  "));

    ModelProfile w = DeriveModelProfile(identification('K', "W46a"), 0);
    w.secondPort = false;
    RenameAfterFullRead(w, 5000);
    EXPECT_EQ(w.modelName, QStringLiteral("ТАРН-1.02  "));
    EXPECT_TRUE(w.secondPort);

    // A series-2 corrector stays series 2 on versions that would name a series-1 one.
    ModelProfile t = DeriveModelProfile(identification('T', "T47c"), 0);
    RenameAfterFullRead(t, 5000);
    EXPECT_EQ(t.modelName, QStringLiteral("ТАРН-2.01  "));

    ModelProfile F = DeriveModelProfile(identification('K', "F47c"), 0);
    RenameAfterFullRead(F, 5000);
    EXPECT_EQ(F.modelName, QStringLiteral("ЗИБ-1.01  "));

    ModelProfile first = DeriveModelProfile(identification('K', "V44r"), 0);
    RenameAfterFullRead(first, 5000);
    EXPECT_EQ(first.modelName, QStringLiteral("КВОН-1.01 "));
}
