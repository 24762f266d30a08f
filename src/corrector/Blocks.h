#pragma once
// The clock block (block 1), the measurement block (block 3) and status block 4, decoded for display.
#include "corrector/ModelProfile.h"
#include "corrector/VolumePrecision.h"

#include <QByteArray>
#include <QString>

namespace tarn::corrector {

inline constexpr int kClockBlockSize = 32;
inline constexpr int kMeasurementBlockSize = 46;
inline constexpr int kStatusBlockSize = 32;

// The blocks read whole with opRead: the address byte and the byte count of the request.
struct BlockAddress {
    quint8 address;
    quint8 count;
};
// The operation start reads the identification twice; the version read of the read window takes more.
inline constexpr BlockAddress kIdentificationBlock{0, 32};
inline constexpr BlockAddress kVersionBlock{0, 48};
inline constexpr BlockAddress kClockBlock{1, kClockBlockSize};
inline constexpr BlockAddress kMeasurementBlock{3, kMeasurementBlockSize};
inline constexpr BlockAddress kStatusBlock{4, kStatusBlockSize};
// The alarm check: the corrector answers with its alarm notice when an abnormal situation is pending.
inline constexpr BlockAddress kAlarmCheck{19, 6};

struct ClockBlock {
    int minute = 0;
    int hour = 0;
    int day = 0;
    int month = 0;
    int year = 0;     // full year
    QString dateText; // "dd.MM.20yy"
    QString timeText; // "hh:mm"
};
ClockBlock DecodeClockBlock(const QByteArray& payload);

struct MeasurementBlock {
    double pressure = 0;    // kgf/cm²
    double temperature = 0; // °C
    double compressibility = 0;
    double correctionFactor = 0;
    double flow = 0;         // m³/h
    double standardFlow = 0; // m³/h
    double batteryVoltage = 0;
    double batteryResource = 0;
    quint16 state = 0;

    QString pressureText; // in the display pressure unit
    QString temperatureText;
    QString compressibilityText;
    QString correctionFactorText;
    QString flowText;
    QString standardFlowText; // empty on models that do not report it
    QString batteryVoltageText;
    QString batteryResourceText;
    QString stateText; // 4 hexadecimal digits
};
MeasurementBlock DecodeMeasurementBlock(const QByteArray& payload, const ModelProfile& profile,
                                        bool pressureMpa, int volumeDecimals = kDefaultVolumeDecimals);

// Status block 4: only its first float is used, the battery voltage (3 decimals).
QString DecodeStatusBlockVoltage(const QByteArray& payload);

} // namespace tarn::corrector
