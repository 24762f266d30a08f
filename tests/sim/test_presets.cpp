// The simulator's presets against hand-computed bytes and against the program's own decoders: the two
// are written independently, so a disagreement points at a fault in one of them.
#include "CorrectorRole.h"
#include "Presets.h"
#include "common/Language.h"
#include "corrector/Identification.h"
#include "corrector/ModelProfile.h"
#include "corrector/ParameterImage.h"
#include "link/FrameChecksum.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <cstring>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::sim;

namespace {

struct Expected {
    const char* preset;
    char first;            // identification character 1
    const char* tag;       // characters 12..15
    const char* serialLe;  // word 99 as it lies in memory
    const char* densityLe; // word 51
    const char* densityText;
    const char* serialText;
    const char* refusal; // Russian refusal text, nullptr when accepted
    // The profile the program derives.
    bool meterCoef, calib, calib2, series2, hf, secondPort, language, heat, gas;
    const char* modelName;
    int archiveDepth;
    // Configuration the preset stands for.
    bool mpa, gj, mass;
    const char* minPressureText; // word 45 as the page shows it
    const char* batteryText;
};

// clang-format off
const Expected kExpected[] = {
    {"series1", 'V', "V46a", "a0 11 00 00", "77 be 2f 3f", "0.6865", "4512", nullptr,
     false, false, false, false, false, false, true, false, false, "ТАРН-1.01  ", 495,
     false, false, false, "1.68", "12.5"},
    {"series1-early", 'V', "V43k", "01 0b 00 00", "dc 46 33 3f", "0.7003", "2817", nullptr,
     false, false, false, false, false, false, false, false, false, "КВОН-1.01 ", 759,
     false, false, false, "1.24", "12.5"},
    {"second-port", 'V', "V45d", "e8 0d 00 00", "7c f2 30 3f", "0.6912", "3560", nullptr,
     false, false, false, false, false, true, false, false, false, "КВОН-1.02Р ", 751,
     false, false, false, "2.24", "12.5"},
    {"gas-selection", 'V', "V47a", "1b 10 00 00", "77 be 2f 3f", "0.6865", "4123", nullptr,
     false, false, false, false, false, false, true, false, true, "ТАРН-1.01  ", 495,
     false, false, true, "1.68", "12.5"},
    {"heat-energy", 'V', "V47b", "6e 14 00 00", "09 1b 2e 3f", "0.6801", "5230", nullptr,
     false, false, false, false, false, false, true, true, false, "ТАРН-1.01  ", 495,
     false, true, false, "1.76", "12.5"},
    {"heat-gas", 'V', "V47c", "9f 16 00 00", "a2 45 36 3f", "0.712", "5791", nullptr,
     false, false, false, false, false, false, true, true, true, "ТАРН-1.01  ", 495,
     false, false, false, "1.6", "12.5"},
    {"series2", 'T', "T46a", "d8 17 00 00", "85 eb 31 3f", "0.695", "6104", nullptr,
     false, false, false, true, false, false, true, false, false, "ТАРН-2.01  ", 495,
     true, false, false, "0.2667", "10.5"},
    {"meter-coef", 'W', "W46b", "06 13 00 00", "a9 13 30 3f", "0.6878", "4870", nullptr,
     true, false, false, false, false, true, true, false, false, "ТАРН-1.02  ", 495,
     true, false, false, "0.3727", "12.5"},
    {"calib", 'R', "R46a", "6d 1b 00 00", "1d 5a 34 3f", "0.7045", "7021", nullptr,
     false, true, false, false, false, false, true, false, false, "ЗИБ-1.01  ", 495,
     false, false, false, "1.52", "12.5"},
    {"calib2", 'r', "r46a", "dc 1c 00 00", "17 d9 2e 3f", "0.683", "7388", nullptr,
     false, false, true, false, false, false, true, false, false, "ТАРН-2.01  ", 495,
     true, false, false, "0.1804", "12.5"},
    {"hf", 'F', "F46a", "4f 1f 00 00", "aa f1 32 3f", "0.699", "8015", nullptr,
     false, true, false, false, true, false, true, false, false, "ЗИБ-1.01  ", 495,
     false, false, false, "2", "12.5"},
    {"hf2", 'f', "f46a", "a6 1f 00 00", "79 58 38 3f", "0.7201", "8102", nullptr,
     false, false, true, false, true, false, true, false, false, "ТАРН-2.01  ", 495,
     true, false, false, "0.204", "12.5"},
    {"old", 'M', "M40c", "f0 05 00 00", "64 cc 2d 3f", "0.6789", "1520",
     "Данная версия ПО корректора работает с программой \"Quon\" !!!",
     false, false, false, false, false, false, false, false, false, nullptr, 0,
     false, false, false, "1.4", "12.5"},
    {"old-r", 'M', "M41k", "5e 06 00 00", "e9 26 31 3f", "0.692", "1630",
     "Данная версия ПО корректора работает с программой \"QuonR\"",
     false, false, false, false, false, false, false, false, false, nullptr, 0,
     false, false, false, "1.4", "12.5"},
};
// clang-format on

std::unique_ptr<CorrectorRole> simulated(const QJsonObject& config) {
    QString error;
    auto role = CorrectorRole::fromJson(config, error);
    EXPECT_TRUE(role) << error.toStdString();
    return std::unique_ptr<CorrectorRole>(static_cast<CorrectorRole*>(role.release()));
}

std::unique_ptr<CorrectorRole> preset(const char* name) {
    return simulated(QJsonObject{{QStringLiteral("preset"), QString::fromLatin1(name)}});
}

// Payload of a reply frame (status byte and checksum stripped); empty when refused.
QByteArray ask(CorrectorRole& role, quint8 op, quint8 address, quint8 count, const QByteArray& data = {}) {
    QByteArray request;
    request.append(static_cast<char>(op | (role.memory().address << 1)));
    request.append(static_cast<char>(address));
    request.append(static_cast<char>(data.isEmpty() ? count : data.size()));
    request.append(data);
    const QByteArray reply = role.replyTo(link::withFrameChecksum(request));
    if (reply.size() < 2 || reply.at(0) != 0) return {};
    return reply.mid(1, reply.size() - 2);
}

constexpr quint8 kOpRead = 0x00, kOpPageRead = 0x40, kOpWrite = 0x80;

corrector::IdentificationString identify(CorrectorRole& role) {
    return corrector::IdentificationString(ask(role, kOpRead, 0, 32));
}

// A full parameter read as the program does it: pages 0, 64 and 128.
corrector::ParameterImage readParameters(CorrectorRole& role, const corrector::ModelProfile& profile) {
    corrector::ParameterImage image;
    for (int page : {0, 64, 128})
        image.DecodePage(page, ask(role, kOpPageRead, static_cast<quint8>(page), 0), profile);
    return image;
}

QByteArray itemValue(CorrectorRole& role, quint8 code) {
    return ask(role, kOpRead, code, 6).mid(2, 4);
}

quint8 writeItem(CorrectorRole& role, quint8 code, const QByteArray& value) {
    QByteArray data = uint16Bytes(static_cast<quint16>(role.memory().serial & 0xFFFF)) + value;
    QByteArray request;
    request.append(static_cast<char>(kOpWrite | (role.memory().address << 1)));
    request.append(static_cast<char>(code));
    request.append(static_cast<char>(data.size()));
    request.append(data);
    return static_cast<quint8>(role.replyTo(link::withFrameChecksum(request)).at(0));
}

double value(const corrector::ParameterImage& image, int word) {
    return image.WordValue(word);
}

} // namespace

TEST(SimPresets, EveryPresetIsListedAndExpected) {
    ASSERT_EQ(presets().size(), std::size(kExpected));
    for (std::size_t i = 0; i < presets().size(); ++i) {
        EXPECT_STREQ(presets()[i].name, kExpected[i].preset);
        EXPECT_GT(std::strlen(presets()[i].description), 10u);
    }
    QProcess sim;
    sim.start(QStringLiteral(TARN_SIM_PROGRAM), {QStringLiteral("--list-presets")});
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(sim.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), static_cast<qsizetype>(presets().size()));
    for (std::size_t i = 0; i < presets().size(); ++i) {
        EXPECT_TRUE(
            lines[static_cast<qsizetype>(i)].startsWith(QString::fromLatin1(kExpected[i].preset) + u' '));
        EXPECT_TRUE(lines[static_cast<qsizetype>(i)].endsWith(QString::fromUtf8(presets()[i].description)));
    }
}

TEST(SimPresets, RawBytesMatchTheHandComputedEncoding) {
    for (const Expected& e : kExpected) {
        SCOPED_TRACE(e.preset);
        auto role = preset(e.preset);
        ASSERT_TRUE(role);
        const QByteArray id = ask(*role, kOpRead, 0, 32);
        ASSERT_EQ(id.size(), 32);
        EXPECT_EQ(id.at(0), e.first);                // position 1
        EXPECT_EQ(id.mid(11, 4), QByteArray(e.tag)); // positions 12..15
        const QByteArray page64 = ask(*role, kOpPageRead, 64, 0);
        ASSERT_EQ(page64.size(), 256);
        EXPECT_EQ(page64.mid((99 - 64) * 4, 4), test::hex(e.serialLe));
        const QByteArray page0 = ask(*role, kOpPageRead, 0, 0);
        EXPECT_EQ(page0.mid(51 * 4, 4), test::hex(e.densityLe));
        EXPECT_EQ(static_cast<quint8>(page0.at(3 * 4)), 0); // link address 1
        // Every item answers with the corrector number first.
        EXPECT_EQ(ask(*role, kOpRead, 0x82, 6), test::hex(e.serialLe).left(2) + test::hex(e.densityLe));
    }
}

TEST(SimPresets, TheProgramDerivesTheIntendedFamily) {
    for (const Expected& e : kExpected) {
        SCOPED_TRACE(e.preset);
        auto role = preset(e.preset);
        ASSERT_TRUE(role);
        const corrector::IdentificationString id = identify(*role);
        const corrector::VersionCheck check = corrector::CheckVersion(id, kRussian);
        if (e.refusal) {
            EXPECT_FALSE(check.accepted());
            EXPECT_EQ(check.message, QString::fromUtf8(e.refusal));
            continue;
        }
        EXPECT_TRUE(check.accepted()) << check.message.toStdString();
        const corrector::ModelProfile p = corrector::DeriveModelProfile(id, role->memory().serial);
        EXPECT_EQ(p.meterCoefModel, e.meterCoef);
        EXPECT_EQ(p.calibModel, e.calib);
        EXPECT_EQ(p.calibModel2, e.calib2);
        EXPECT_EQ(p.series2Model, e.series2);
        EXPECT_EQ(p.hfModel, e.hf);
        EXPECT_EQ(p.secondPort, e.secondPort);
        EXPECT_EQ(p.languageSetting, e.language);
        EXPECT_EQ(p.heatEnergy, e.heat);
        EXPECT_EQ(p.gasSelection, e.gas);
        EXPECT_EQ(p.modelName, QString::fromUtf8(e.modelName));
        EXPECT_EQ(p.archiveDepth, e.archiveDepth);
        // After the full read the serial number from word 99 names the model the same way.
        corrector::ModelProfile renamed = p;
        const corrector::ParameterImage image = readParameters(*role, p);
        corrector::RenameAfterFullRead(renamed, static_cast<quint32>(image.serialNumber()));
        EXPECT_EQ(renamed.modelName, p.modelName);
    }
}

TEST(SimPresets, TheProgramReadsTheIntendedParameters) {
    for (const Expected& e : kExpected) {
        SCOPED_TRACE(e.preset);
        auto role = preset(e.preset);
        ASSERT_TRUE(role);
        const corrector::IdentificationString id = identify(*role);
        const corrector::ModelProfile p = corrector::DeriveModelProfile(id, role->memory().serial);
        const corrector::ParameterImage image = readParameters(*role, p);
        EXPECT_EQ(image.WordText(51), QString::fromLatin1(e.densityText));
        EXPECT_EQ(image.WordText(99), QString::fromLatin1(e.serialText));
        EXPECT_EQ(image.pressureInMpa(), e.mpa);
        EXPECT_EQ(image.heatInGj(), e.gj);
        EXPECT_EQ(image.massAccounting(), e.mass);
        EXPECT_EQ(image.WordText(45), QString::fromLatin1(e.minPressureText));
        EXPECT_EQ(image.batteryText(), QString::fromLatin1(e.batteryText));
        EXPECT_EQ(image.linkAddress(), 1);
        EXPECT_LT(image.contractHour(), 24);
        EXPECT_EQ(image.contractDay(), 1);
        // Standard conditions and working ranges.
        EXPECT_EQ(image.WordText(54), QStringLiteral("20"));
        EXPECT_NEAR(value(image, 55), 1.0332, 1e-6);
        EXPECT_LT(value(image, 45), value(image, 47));
        EXPECT_LT(value(image, 47), value(image, 46));
        EXPECT_LT(value(image, 60), value(image, 59));
        EXPECT_LT(value(image, 59), value(image, 58));
        EXPECT_FALSE(image.WordText(70).isEmpty()); // initialisation date set
        // Current volumes: day holds the hour, month the day; standard = working × correction.
        for (int first : {73, 81, 89})
            EXPECT_NEAR(value(image, first + 1), value(image, first) * role->memory().correction,
                        1e-6 * value(image, first) + 1e-4);
        EXPECT_GT(value(image, 73), 0.0);
        EXPECT_GE(value(image, 81), value(image, 73));
        EXPECT_GE(value(image, 89), value(image, 81));
        EXPECT_GE(value(image, 97) / image.pulseWeight(), value(image, 89));
        // Text items in Windows-1251 come back as written.
        EXPECT_FALSE(image.textItem(105).isEmpty());
        EXPECT_FALSE(image.textItem(113).isEmpty());
        EXPECT_FALSE(image.textItem(121).isEmpty());
        EXPECT_FALSE(image.textItem(129).isEmpty());
        // Words of the coefficient table arrive only on the models that have one.
        EXPECT_EQ(image.isRead(157), p.hasCoefficientTable());
        if (p.heatEnergy) {
            EXPECT_NEAR(value(image, 42), 0.00815, 1e-7);
            EXPECT_NEAR(value(image, 37), value(image, 74) * 0.00815, 1e-5);
            EXPECT_GE(value(image, 39), value(image, 38));
            EXPECT_GT(value(image, 104), 0.0);
        }
    }
}

TEST(SimPresets, FamilyDetailsReachTheProgram) {
    {
        auto role = preset("series1");
        const auto p = corrector::DeriveModelProfile(identify(*role), role->memory().serial);
        const auto image = readParameters(*role, p);
        EXPECT_EQ(image.textItem(113), QStringLiteral("ТОВ \"Тарн-Газ\""));
        EXPECT_EQ(image.textItem(105), QStringLiteral("G100 №2301457"));
        EXPECT_EQ(image.WordText(100), QStringLiteral("2301457"));
        EXPECT_EQ(image.typesizeIndex(), 4);
        EXPECT_EQ(image.messageLanguageIndex(), 1);
    }
    {
        auto role = preset("second-port");
        const auto p = corrector::DeriveModelProfile(identify(*role), role->memory().serial);
        const auto image = readParameters(*role, p);
        EXPECT_EQ(image.pulseWeight(), 10.0);
        EXPECT_EQ(image.configBits() & corrector::config_bit::Terminator2,
                  corrector::config_bit::Terminator2);
        EXPECT_EQ(image.baudIndex2(), 5);
        EXPECT_EQ(image.timeCorrection(), -2);
    }
    {
        auto role = preset("gas-selection");
        const auto p = corrector::DeriveModelProfile(identify(*role), role->memory().serial);
        const auto image = readParameters(*role, p);
        EXPECT_EQ(image.gasIndex(), 1); // argon
        EXPECT_TRUE(image.showsMass(p));
    }
    {
        auto role = preset("heat-gas");
        const auto p = corrector::DeriveModelProfile(identify(*role), role->memory().serial);
        const auto image = readParameters(*role, p);
        EXPECT_FALSE(image.showsMass(p)); // natural gas stays in m³
    }
    {
        auto role = preset("meter-coef");
        const auto p = corrector::DeriveModelProfile(identify(*role), role->memory().serial);
        const auto image = readParameters(*role, p);
        EXPECT_EQ(image.wordBytes(145), test::hex("a3 23 39 3d")); // bluff-body size 0.0452 m
        EXPECT_EQ(image.wordBytes(157), test::hex("00 40 9c 46")); // first curve point 20000
        EXPECT_EQ(image.typesizeIndex(), 2);                       // DN 100
        EXPECT_EQ(image.methodIndex(), 2);
    }
    {
        auto role = preset("calib");
        const auto p = corrector::DeriveModelProfile(identify(*role), role->memory().serial);
        const auto image = readParameters(*role, p);
        EXPECT_EQ(image.wordBytes(57), test::hex("00 00 7a 44"));  // 1000 pulses per m³
        EXPECT_NEAR(image.wordFloat(157), 8.0, 1e-6);              // 5 % of Qmax 160
        EXPECT_EQ(image.wordBytes(158), test::hex("37 89 81 3f")); // Kq 1.012
        for (int w = 159; w <= 183; w += 2)
            EXPECT_GT(image.wordFloat(w), image.wordFloat(w - 2)); // flows rise
        EXPECT_FALSE(image.calibrationPermitted());
        EXPECT_GT(value(image, 66), 0.0); // gauge pressure panel
    }
    {
        auto role = preset("calib2");
        const auto p = corrector::DeriveModelProfile(identify(*role), role->memory().serial);
        const auto image = readParameters(*role, p);
        EXPECT_TRUE(image.calibrationPermitted());
        EXPECT_EQ(image.methodIndex(), 0); // NX-19 in the two-entry list
    }
    {
        auto role = preset("hf2");
        const auto p = corrector::DeriveModelProfile(identify(*role), role->memory().serial);
        EXPECT_EQ(p.secondaryName, QStringLiteral("ТАРН-2.01ВЧ"));
        EXPECT_EQ(p.typesizeList, corrector::TypesizeListKind::A);
    }
    {
        auto role = preset("series2");
        const auto p = corrector::DeriveModelProfile(identify(*role), role->memory().serial);
        EXPECT_EQ(p.typesizeList, corrector::TypesizeListKind::C);
        EXPECT_EQ(p.methodList, corrector::MethodListKind::Two);
    }
}

TEST(SimPresets, ScenarioEntriesApplyOnTopOfThePreset) {
    const QJsonObject config{
        {QStringLiteral("preset"), QStringLiteral("calib")},
        {QStringLiteral("address"), 3},
        {QStringLiteral("serial"), 4001},
        {QStringLiteral("words"),
         QJsonArray{QJsonObject{{QStringLiteral("index"), 51}, {QStringLiteral("float"), 0.7}}}},
    };
    auto role = simulated(config);
    ASSERT_TRUE(role);
    CorrectorMemory& m = role->memory();
    EXPECT_EQ(m.address, 3);
    EXPECT_EQ(m.byteAt(3, 0), 2);
    EXPECT_EQ(m.word(99), test::hex("a1 0f 00 00"));
    EXPECT_EQ(m.word(51), floatBytes(0.7f));
    EXPECT_EQ(m.word(57), test::hex("00 00 7a 44")); // the rest stays the preset's
    EXPECT_EQ(m.identification.mid(11, 4), QByteArray("R46a"));
    EXPECT_TRUE(role->describe().contains(QStringLiteral("preset calib")));

    QString error;
    EXPECT_FALSE(
        CorrectorRole::fromJson(QJsonObject{{QStringLiteral("preset"), QStringLiteral("nope")}}, error));
    EXPECT_TRUE(error.contains(QStringLiteral("nope")));
}

TEST(SimPresets, AGeneratedArchiveKeepsPointersCountersAndVolumesTogether) {
    const QJsonObject config{
        {QStringLiteral("preset"), QStringLiteral("second-port")}, // pulse weight 10, contract hour 7
        {QStringLiteral("archive"), QJsonObject{{QStringLiteral("start"), QStringLiteral("01.03.2024 00:00")},
                                                {QStringLiteral("hours"), 24 * 40 + 5},
                                                {QStringLiteral("flow"), 10.0}}},
    };
    auto role = simulated(config);
    ASSERT_TRUE(role);
    const auto p = corrector::DeriveModelProfile(identify(*role), role->memory().serial);
    const auto image = readParameters(*role, p);
    const corrector::ArchivePointers ptr = image.archivePointers();
    EXPECT_EQ(ptr.hourly, 24 * 40 + 4);
    EXPECT_EQ(ptr.daily, 40 - 1); // days closed at 07:00 from 01.03 to 09.04
    EXPECT_EQ(ptr.monthly, 1);    // months closed on 01.03 and 01.04 at 07:00
    // 965 hours of 10 m³ and half an hour more; the counter in pulses of weight 10.
    EXPECT_EQ(image.wordInt32(97), 96550);
    EXPECT_NEAR(value(image, 73), 5.0, 1e-6);
    // The day since 09.04 07:00 (22 hours) and the month since 01.04 07:00 (8 days and 22 hours).
    EXPECT_NEAR(value(image, 81), 225.0, 1e-3);
    EXPECT_NEAR(value(image, 89), 8 * 240 + 225.0, 1e-2);
}

TEST(SimPresets, ItemsReadAndWriteTheSameMemoryAsThePages) {
    {
        auto role = preset("calib");
        role->memory().accessLevel = 4;
        // On a calibration model the pulse code carries the meter pulse coefficient of word 57.
        EXPECT_EQ(itemValue(*role, 0x88), test::hex("00 00 7a 44"));
        EXPECT_EQ(writeItem(*role, 0x88, test::hex("00 00 96 44")), 0); // 1200
        EXPECT_EQ(writeItem(*role, 0x88, floatBytes(100.0f)), 0x08);    // below 499.9
        EXPECT_EQ(itemValue(*role, 0xD1), test::hex("37 89 81 3f"));    // word 158
        EXPECT_EQ(writeItem(*role, 0xD1, floatBytes(1.004f)), 0);
        const auto p = corrector::DeriveModelProfile(identify(*role), role->memory().serial);
        const auto image = readParameters(*role, p);
        EXPECT_EQ(image.WordText(57), QStringLiteral("1200"));
        EXPECT_EQ(image.wordBytes(158), floatBytes(1.004f));
        EXPECT_EQ(image.pulseWeightIndex(), 0); // untouched
    }
    {
        auto role = preset("meter-coef");
        EXPECT_EQ(itemValue(*role, 0xC1), test::hex("a3 23 39 3d")); // word 145, not the language
        EXPECT_EQ(itemValue(*role, 0xCE), QByteArray(4, '\0'));      // word 156
        EXPECT_EQ(itemValue(*role, 0xD0), test::hex("00 40 9c 46")); // word 157
    }
    {
        auto role = preset("series1");
        EXPECT_EQ(itemValue(*role, 0xC1), test::hex("01 00 00 00")); // the language byte
        EXPECT_TRUE(ask(*role, kOpRead, 0xD0, 6).isEmpty());         // no table here
        role->memory().accessLevel = 3;
        QByteArray text = encode1251(QStringLiteral("Нова назва підприємства"));
        text.append(QByteArray(32 - text.size(), ' '));
        EXPECT_EQ(writeItem(*role, 0xFB, QByteArray(4, '\0') + text), 0);
        EXPECT_EQ(writeItem(*role, 0x82, floatBytes(0.75f)), 0);
        const auto p = corrector::DeriveModelProfile(identify(*role), role->memory().serial);
        const auto image = readParameters(*role, p);
        EXPECT_EQ(image.textItem(113), QStringLiteral("Нова назва підприємства"));
        EXPECT_EQ(image.WordText(51), QStringLiteral("0.75"));
        EXPECT_EQ(ask(*role, kOpRead, 0xFB, 64).mid(30, 32), text);
    }
}

TEST(SimPresets, TheDemoScenarioUsesAPresetWithItsArchive) {
    QFile file(QStringLiteral(TARN_SOURCE_DIR "/tools/corrector-sim/scenarios/corrector.json"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject device = QJsonDocument::fromJson(file.readAll())
                                   .object()
                                   .value(QStringLiteral("devices"))
                                   .toArray()
                                   .at(0)
                                   .toObject();
    EXPECT_FALSE(device.value(QStringLiteral("preset")).toString().isEmpty());
    auto role = simulated(device);
    ASSERT_TRUE(role);
    EXPECT_EQ(role->memory().address, 1);
    const corrector::IdentificationString id = identify(*role);
    ASSERT_TRUE(corrector::CheckVersion(id, kRussian).accepted());
    const auto image = readParameters(*role, corrector::DeriveModelProfile(id, role->memory().serial));
    EXPECT_EQ(image.archivePointers().hourly, 719);
    EXPECT_GE(value(image, 89), value(image, 81));
    EXPECT_GE(value(image, 81), value(image, 73));
}
