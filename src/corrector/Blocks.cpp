#include "corrector/Blocks.h"

#include "common/DisplayNumber.h"
#include "corrector/DeviceValues.h"
#include "corrector/TwoDigits.h"
#include "corrector/Units.h"

namespace tarn::corrector {

ClockBlock DecodeClockBlock(const QByteArray& payload) {
    ClockBlock c;
    if (payload.size() < 6) return c;
    c.minute = readU8(payload, 1);
    c.hour = readU8(payload, 2);
    c.day = readU8(payload, 3);
    c.month = readU8(payload, 4);
    c.year = 2000 + readU8(payload, 5);
    c.dateText = twoDigits(c.day) + QLatin1Char('.') + twoDigits(c.month) + QStringLiteral(".20") +
                 twoDigits(c.year - 2000);
    c.timeText = twoDigits(c.hour) + QLatin1Char(':') + twoDigits(c.minute);
    return c;
}

MeasurementBlock DecodeMeasurementBlock(const QByteArray& payload, const ModelProfile& profile,
                                        bool pressureMpa, int volumeDecimals) {
    MeasurementBlock m;
    m.pressure = readFloat(payload, 0);
    m.temperature = readFloat(payload, 4);
    m.compressibility = readFloat(payload, 8);
    m.correctionFactor = readFloat(payload, 12);
    m.flow = readFloat(payload, 16);
    m.standardFlow = readFloat(payload, 20);
    m.batteryVoltage = readFloat(payload, 24);
    m.batteryResource = readFloat(payload, 40);
    m.state = readU16(payload, 44);

    m.pressureText = displayNumber(ToDisplayPressure(m.pressure, pressureMpa), pressureMpa ? 4 : 3);
    m.temperatureText = displayNumber(m.temperature, 2);
    m.compressibilityText = displayNumber(m.compressibility, 4);
    m.correctionFactorText = displayNumber(m.correctionFactor, 4);
    m.flowText = displayNumber(m.flow, profile.hasCalibrationTable() ? 3 : volumeDecimals);
    if (profile.meterCoefModel || profile.calibModel || profile.calibModel2)
        m.standardFlowText =
            displayNumber(m.standardFlow, profile.hasCalibrationTable() ? 3 : volumeDecimals);
    m.batteryVoltageText = displayNumber(m.batteryVoltage, 3);
    m.batteryResourceText = displayNumber(m.batteryResource, 1);
    m.stateText = hex4(m.state);
    return m;
}

QString DecodeStatusBlockVoltage(const QByteArray& payload) {
    return displayNumber(readFloat(payload, 0), 3);
}

} // namespace tarn::corrector
