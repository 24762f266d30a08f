#pragma once
// What the program knows about the connected corrector's model: derived from the identification each
// time it is read, and the model name again when a full parameter read ends (the serial number is known
// then).
#include "corrector/Identification.h"

#include <QString>

namespace tarn::corrector {

enum class MethodListKind { Four, Two };        // MethodList4 / MethodList2
enum class SensorOffListKind { Eight, Four };   // SensorOffList8 / SensorOffList4
enum class PulseWeightListKind { Five, Three }; // PulseWeights5 / PulseWeights3 (entries offered)

struct ModelProfile {
    QChar modelLetter;
    QString versionCode;
    quint32 versionNumber = 0;
    bool letterKnown = false; // false: the identification is to be refused

    bool meterCoefModel = false;
    bool calibModel = false;
    bool calibModel2 = false;
    bool series2Model = false;
    bool hfModel = false;
    bool secondPort = false;
    bool languageSetting = false;
    bool heatEnergy = false;
    bool gasSelection = false;

    QString modelName;
    QString secondaryName; // high-frequency models only
    int archiveDepth = 0;
    int archivePages = 0;

    MethodListKind methodList = MethodListKind::Four;
    SensorOffListKind sensorOffList = SensorOffListKind::Eight;
    PulseWeightListKind pulseWeightList = PulseWeightListKind::Five;
    TypesizeListKind typesizeList = TypesizeListKind::A;

    // Words 145..184 hold a coefficient table.
    bool hasCoefficientTable() const { return meterCoefModel || calibModel || calibModel2; }
    bool hasCalibrationTable() const { return calibModel || calibModel2; }
    // Gauge and barometric pressure panels (items 6 and 43) instead of the pressure thresholds.
    bool hasPressurePanels() const { return series2Model || calibModel || calibModel2; }
};

// Names by corrector serial number: above 4000 the newer form.
QString seriesOneName(quint32 serialNumber);
QString seriesTwoName(quint32 serialNumber);
QString meterCoefModelName(quint32 serialNumber);
inline constexpr const char* kCalibModelName = "ЗИБ-1.01  ";
inline constexpr const char* kFirstModelName = "КВОН-1.01 ";

ModelProfile DeriveModelProfile(const IdentificationString& identification, quint32 serialNumber);

// The model name once a full parameter read has brought the serial number (word 99).
void RenameAfterFullRead(ModelProfile& profile, quint32 serialNumber);

} // namespace tarn::corrector
