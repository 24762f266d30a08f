#include "corrector/ModelProfile.h"

namespace tarn::corrector {

namespace {

constexpr quint32 kNewNamesAbove = 4000;

QString pick(quint32 serial, const char* newer, const char* older) {
    return QString::fromUtf8(serial > kNewNamesAbove ? newer : older);
}

void applySeriesOne(ModelProfile& p, quint32 serial) {
    p.modelName = seriesOneName(serial);
    p.methodList = MethodListKind::Four;
    p.sensorOffList = SensorOffListKind::Eight;
    p.pulseWeightList = PulseWeightListKind::Five;
}

void applySeriesTwo(ModelProfile& p, quint32 serial) {
    p.modelName = seriesTwoName(serial);
    p.methodList = MethodListKind::Two;
    p.sensorOffList = SensorOffListKind::Four;
    p.pulseWeightList = PulseWeightListKind::Three;
}

void applyCalibration(ModelProfile& p) {
    p.modelName = QString::fromUtf8(kCalibModelName);
    p.secondPort = false;
}

} // namespace

QString seriesOneName(quint32 serialNumber) {
    return pick(serialNumber, "ТАРН-1.01  ", "КВОН-1.02Р ");
}
QString seriesTwoName(quint32 serialNumber) {
    return pick(serialNumber, "ТАРН-2.01  ", "КВОН-2.01Р ");
}
QString meterCoefModelName(quint32 serialNumber) {
    return pick(serialNumber, "ТАРН-1.02  ", "КВОН-1.02РВ");
}

ModelProfile DeriveModelProfile(const IdentificationString& identification, quint32 serialNumber) {
    ModelProfile p;
    p.modelLetter = identification.modelLetter();
    p.versionCode = identification.versionCode();
    p.versionNumber = identification.versionNumber();
    p.typesizeList = identification.typesizeList();
    const QChar letter = p.modelLetter;
    const quint32 v = p.versionNumber;

    if (letter == QLatin1Char('T')) p.series2Model = true;
    if (letter == QLatin1Char('W')) {
        p.meterCoefModel = true;
        applySeriesOne(p, serialNumber);
        p.secondPort = true;
    }

    if (v < versionNumber("44s")) {
        p.modelName = QString::fromUtf8(kFirstModelName);
        p.secondPort = false;
        p.archiveDepth = 759;
        p.archivePages = 23;
    } else if (v < versionNumber("46a")) {
        applySeriesOne(p, serialNumber);
        p.secondPort = true;
        p.archiveDepth = 751;
        p.archivePages = 23;
    } else {
        applySeriesOne(p, serialNumber);
        p.languageSetting = true;
        p.archiveDepth = 495;
        p.archivePages = 15;
    }
    if (p.series2Model) {
        p.archiveDepth = 495;
        p.archivePages = 15;
    }
    if (v >= versionNumber("47a") && v < versionNumber("47b")) p.gasSelection = true;
    if (v >= versionNumber("47b")) {
        p.heatEnergy = true;
        if (v & 1u) p.gasSelection = true;
    }

    p.letterKnown = isKnownModelLetter(letter);
    switch (letter.unicode()) {
    case u'F':
        p.hfModel = true;
        p.calibModel = true;
        applyCalibration(p);
        break;
    case u'f':
        p.hfModel = true;
        p.calibModel2 = true;
        applyCalibration(p);
        applySeriesTwo(p, serialNumber);
        break;
    case u'r':
        p.calibModel2 = true;
        applyCalibration(p);
        applySeriesTwo(p, serialNumber);
        break;
    case u'T':
        applySeriesTwo(p, serialNumber);
        break;
    case u'W':
        p.secondPort = true;
        p.modelName = meterCoefModelName(serialNumber);
        break;
    case u'R':
        p.calibModel = true;
        applyCalibration(p);
        break;
    default:
        break;
    }
    if (p.hfModel)
        p.secondaryName = QString::fromUtf8(letter == QLatin1Char('f') ? "ТАРН-2.01ВЧ" : "ТАРН-1.01ВЧ");
    return p;
}

void RenameAfterFullRead(ModelProfile& profile, quint32 serialNumber) {
    if (profile.meterCoefModel) {
        profile.modelName = meterCoefModelName(serialNumber);
        profile.secondPort = true;
        return;
    }
    const bool calibOrHf = profile.calibModel || profile.calibModel2 || profile.hfModel;
    // A series-2 corrector keeps its series-2 name even on versions that name series-1 correctors.
    if (profile.series2Model && !profile.calibModel2 && !profile.hfModel) {
        profile.modelName = seriesTwoName(serialNumber);
        return;
    }
    if (profile.versionNumber >= versionNumber("46a") && !calibOrHf)
        profile.modelName = seriesOneName(serialNumber);
}

} // namespace tarn::corrector
