#include "Presets.h"

#include "CorrectorMemory.h"

#include <cmath>

namespace tarn::sim {

namespace {

// Word 2 byte 0.
constexpr quint8 kSummerTime = 0x01, kPressureMpa = 0x02, kTerminator1 = 0x04, kQminSubstitute = 0x08,
                 kTerminator2 = 0x10;
// Word 6 byte 1.
constexpr quint8 kMassAccounting = 0x02, kHeatGj = 0x10;

enum class Series { One, Two };

struct Preset {
    PresetInfo info;
    // As a real corrector names itself (the port scanner knows it by "Tarn", an older one by "QUON"):
    // character 12 the model letter, 13..15 the version.
    const char* identification;
    Series series;
    bool secondPort;
    bool language;     // the message-language byte is kept
    bool heat;         // heat energy accumulated
    quint8 configBits; // word 2 byte 0
    quint8 unitBits;   // word 6 byte 1
    quint8 gas;        // word 7 byte 3
    quint8 pulseWeight;
    quint8 typesize; // word 5 byte 0: typesize or nominal-diameter index
    quint8 calibrationFlags;
    qint8 timeCorrection;
    quint8 batteryCapacity; // A·h, 0 = 16
    quint8 contractHour;
    qint32 serial;
    qint32 meterSerial;
    float density, co2, n2;
    float qmax; // m³/h; Qmin, Qtrn and Qtrs follow
    float pressure, temperature, flow;
    const char* meter;
    const char* company;
    const char* branch;
    const char* notes;
};

constexpr quint8 kPlain = kSummerTime | kTerminator1 | kQminSubstitute;

// clang-format off
const Preset kPresets[] = {
    {{"series1", "series-1 corrector, version 46a: language setting, no second port"},
     "V Tarn-NM  V46a series-1", Series::One, false, true, false, kPlain, 0, 0, 0, 4, 0, 0, 0, 9,
     4512, 2301457, 0.6865f, 0.12f, 0.95f, 160, 4.2f, 6.5f, 12.5f,
     "G100 №2301457", "ТОВ \"Тарн-Газ\"", "ГРП-1, нитка 1", "серія 1, версія 46a"},
    {{"series1-early", "first-generation corrector, version 43k: no second port, deep archive"},
     "V Tarn-NM  V43k first", Series::One, false, false, false, kPlain, 0, 0, 0, 3, 0, 0, 16, 10,
     2817, 1108822, 0.7003f, 0.35f, 1.42f, 100, 3.1f, 4.0f, 8.0f,
     "G65 №1108822", "Tarn demo gas", "boiler house", "early version 43k"},
    {{"second-port", "series-1 corrector, version 45d: second serial port, pulse weight 10"},
     "V Tarn-NM  V45d two ports", Series::One, true, false, false, kPlain | kTerminator2, 0, 0, 1, 5, 0,
     -2, 0, 7,
     3560, 3307781, 0.6912f, 0.20f, 1.10f, 250, 5.6f, 8.25f, 20.0f,
     "G160 №3307781", "ТОВ \"Тарн-Газ\"", "ГРП-2, нитка 2", "два порти RS-232"},
    {{"gas-selection", "series-1 corrector, version 47a: gas name and mass accounting (argon, kg)"},
     "V Tarn-NM  V47a gas choice", Series::One, false, true, false, kPlain, kMassAccounting, 1, 0, 4, 0,
     0, 0, 9,
     4123, 1234567, 0.6865f, 0.0f, 0.0f, 160, 4.2f, 6.5f, 12.5f,
     "G100 №1234567", "Tarn demo gas company", "argon line", "gas selection, version 47a"},
    {{"heat-energy", "series-1 corrector, version 47b: heat energy accumulated, heat in GJ"},
     "V Tarn-NM  V47b heat", Series::One, false, true, true, kPlain, kHeatGj, 0, 0, 4, 0, 0, 0, 9,
     5230, 4405120, 0.6801f, 0.08f, 0.87f, 160, 4.4f, 7.0f, 14.0f,
     "G100 №4405120", "ТОВ \"Тарн-Газ\"", "котельня", "теплова енергія, ГДж"},
    {{"heat-gas", "series-1 corrector, version 47c: heat energy (Gcal) and gas selection (natural gas)"},
     "V Tarn-NM  V47c heat+gas", Series::One, false, true, true, kPlain, 0, 0, 0, 4, 0, 0, 0, 8,
     5791, 4405577, 0.7120f, 0.40f, 1.60f, 160, 4.0f, 5.5f, 11.0f,
     "G100 №4405577", "Tarn demo gas", "boiler house 2", "heat and gas, version 47c"},
    {{"series2", "series-2 corrector, version 46a: pressure panels, pressure in MPa"},
     "T Tarn-NM  T46a series-2", Series::Two, false, true, false, kPlain | kPressureMpa, 0, 0, 0, 2, 0, 1,
     19, 6,
     6104, 5512006, 0.6950f, 0.15f, 0.90f, 400, 6.8f, 9.5f, 60.0f,
     "G250 №5512006", "ТОВ \"Тарн-Газ\"", "ГРС-3", "серія 2, МПа"},
    {{"meter-coef", "meter-coefficient corrector, version 46b: nominal diameter and meter table"},
     "W Tarn-NM  W46b meter coef", Series::One, true, true, false, kPlain | kPressureMpa | kTerminator2, 0,
     0, 0, 2, 0, 0, 0, 9,
     4870, 6600123, 0.6878f, 0.10f, 1.00f, 1000, 9.5f, 10.0f, 300.0f,
     "DN100 №6600123", "Tarn demo gas", "trunk line", "meter coefficients, DN100"},
    {{"calib", "calibration corrector (series 1), version 46a: calibration table"},
     "R Tarn-NM  R46a calibration", Series::One, false, true, false, kPlain, 0, 0, 0, 7, 0, 0, 0, 9,
     7021, 7700456, 0.7045f, 0.25f, 1.30f, 160, 3.8f, 6.0f, 16.0f,
     "G100-80-А №7700456", "ТОВ \"Тарн-Газ\"", "ГРП-4", "калібрувальна таблиця"},
    {{"calib2", "calibration corrector (series 2), version 46a: calibration table, already permitted"},
     "r Tarn-NM  r46a calibration-2", Series::Two, false, true, false, kPlain | kPressureMpa, 0, 0, 0, 9,
     0x02, 0, 0, 9,
     7388, 7700789, 0.6830f, 0.30f, 1.20f, 160, 4.6f, 6.0f, 18.0f,
     "G100-100-А №7700789", "Tarn demo gas", "metering unit 5", "calibration 2, permitted"},
    {{"hf", "high-frequency calibration corrector (series 1), version 46a"},
     "F Tarn-NM  F46a high freq", Series::One, false, true, false, kPlain, 0, 0, 0, 4, 0, 0, 0, 9,
     8015, 8800015, 0.6990f, 0.22f, 1.05f, 160, 5.0f, 7.5f, 22.0f,
     "G100 №8800015", "ТОВ \"Тарн-Газ\"", "ГРП-6", "високочастотний вхід"},
    {{"hf2", "high-frequency calibration corrector (series 2), version 46a, pressure in MPa"},
     "f Tarn-NM  f46a high freq-2", Series::Two, false, true, false, kPlain | kPressureMpa, 0, 0, 0, 4, 0,
     0, 0, 9,
     8102, 8800102, 0.7201f, 0.18f, 0.80f, 160, 5.2f, 7.5f, 24.0f,
     "G100 №8800102", "Tarn demo gas", "metering unit 7", "high frequency, series 2"},
    {{"old", "corrector of an older generation, version 40c: refused, served by another program"},
     "M QUON-2   M40c old", Series::One, false, false, false, kPlain, 0, 0, 0, 4, 0, 0, 0, 9,
     1520, 900152, 0.6789f, 0.10f, 1.00f, 160, 3.5f, 5.0f, 10.0f,
     "G100 №900152", "Tarn demo gas", "old station", "older generation"},
    {{"old-r", "corrector of an older generation, version 41k: refused, served by another program"},
     "M QUON-2   M41k old-R", Series::One, false, false, false, kPlain, 0, 0, 0, 4, 0, 0, 0, 9,
     1630, 900163, 0.6920f, 0.10f, 1.00f, 160, 3.5f, 5.0f, 10.0f,
     "G100 №900163", "Tarn demo gas", "old station 2", "older generation R"},
};
// clang-format on

QByteArray paddedId(const char* text) {
    QByteArray id = encode1251(QString::fromUtf8(text)).left(32);
    while (id.size() < 32)
        id.append(' ');
    return id;
}

// Thermometer (A, B, C) and pressure transducer coefficients of a calibrated sensor pair.
void fillSensorCoefficients(CorrectorMemory& m, bool heat) {
    m.setFloat(32, -4.183e-12f);
    m.setFloat(33, -5.775e-7f);
    m.setFloat(34, 3.9083e-3f);
    m.setFloat(35, 1.0012f);
    m.setFloat(36, -2.41e-3f);
    if (!heat) {
        m.setFloat(37, 6.5e-6f);
        m.setFloat(38, 0.99874f);
        m.setFloat(39, 1.87e-3f);
    }
    m.setFloat(40, 4.2e-6f);
    m.setFloat(41, 1.0f);
}

void fillMeterTable(CorrectorMemory& m) {
    // Bluff-body size, bore, flow area, contraction, expansion, viscosity factor, pressure factor, prescaler.
    const float constants[] = {0.0452f, 0.1f, 0.006246f, 0.62f, 1.16e-5f, 1.0f, 0.9975f, 16.0f};
    for (int i = 0; i < 8; ++i)
        m.setFloat(145 + i, constants[i]);
    for (int w = 153; w <= 156; ++w)
        m.setFloat(w, 0.0f);
    const float ref[] = {2e4f, 4e4f, 6e4f, 8e4f, 1e5f, 1.5e5f, 2e5f,
                         3e5f, 4e5f, 5e5f, 6e5f, 8e5f, 1e6f,   1.5e6f};
    const float kq[] = {1.018f, 1.012f,  1.008f, 1.005f, 1.003f,  1.002f, 1.001f,
                        1.0f,   0.9995f, 0.999f, 0.999f, 0.9985f, 0.998f, 0.998f};
    for (int p = 0; p < 14; ++p) {
        m.setFloat(157 + 2 * p, ref[p]);
        m.setFloat(158 + 2 * p, kq[p]);
    }
}

void fillCalibrationTable(CorrectorMemory& m, float qmax) {
    const float share[] = {0.05f, 0.1f, 0.15f, 0.2f, 0.25f, 0.3f,  0.4f,
                           0.5f,  0.6f, 0.7f,  0.8f, 0.9f,  0.95f, 1.0f};
    const float error[] = {0.012f,  0.008f,   0.005f,  0.003f,  0.002f,   0.001f,  0.0f,
                           -0.001f, -0.0015f, -0.002f, -0.002f, -0.0025f, -0.003f, -0.003f};
    for (int p = 0; p < 14; ++p) {
        m.setFloat(157 + 2 * p, qmax * share[p]);
        m.setFloat(158 + 2 * p, 1.0f + error[p]);
    }
}

void fill(CorrectorMemory& m, const Preset& p) {
    m.identification = paddedId(p.identification);
    m.preset = QString::fromUtf8(p.info.name);
    const CoefficientTable table = m.coefficientTable();
    const bool panels = p.series == Series::Two || table == CoefficientTable::Calibration;
    for (int w = 0; w < kParameterWords; ++w)
        m.setWord(w, QByteArray(4, '\0'));
    m.serial = static_cast<quint32>(p.serial);

    // Measurements, the correction factor from the gas state.
    m.pressure = p.pressure;
    m.temperature = p.temperature;
    m.compressibility = 0.9975f;
    m.correction = static_cast<float>(p.pressure / 1.0332 * 293.15 / (273.15 + p.temperature) / 0.9975);
    m.flow = p.flow;
    m.standardFlow = p.flow * m.correction;
    m.batteryVoltage = 3.58f;
    m.batteryResource = 87.5f;
    m.state = 0;

    // Packed words.
    m.setByteAt(1, 0, 10);
    m.setByteAt(1, 2, p.contractHour);
    m.setByteAt(1, 3, 1);
    m.setByteAt(2, 0, p.configBits);
    m.setByteAt(2, 1, p.pulseWeight);
    m.setByteAt(2, 2, p.series == Series::Two ? 0 : (table == CoefficientTable::Meter ? 2 : 1));
    m.setByteAt(2, 3, 3);
    m.setByteAt(3, 0, static_cast<quint8>(m.address - 1));
    m.setByteAt(3, 1, 3);
    m.setByteAt(3, 2, 1);
    m.setByteAt(3, 3, p.secondPort ? 5 : 0);
    m.setByteAt(4, 0, 4);
    m.setByteAt(4, 1, p.calibrationFlags);
    m.setByteAt(4, 3, 0);
    m.setByteAt(5, 0, p.typesize);
    m.setByteAt(5, 1, static_cast<quint8>(p.timeCorrection));
    m.setByteAt(6, 1, p.unitBits);
    m.setByteAt(6, 2, p.batteryCapacity);
    m.setByteAt(6, 3, p.language ? 1 : 0);
    m.setByteAt(7, 2, 1);
    m.setByteAt(7, 3, p.gas);
    m.setByteAt(26, 0, 0xFF);
    m.setByteAt(26, 1, 0x00);

    fillSensorCoefficients(m, p.heat);
    if (p.heat) m.setFloat(42, 0.00815f); // Gcal per m³
    m.setFloat(45, p.pressure * 0.4f);
    m.setFloat(46, p.pressure * 2.5f);
    m.setFloat(47, p.pressure);
    m.setFloat(48, -20.0f);
    m.setFloat(49, 50.0f);
    m.setFloat(50, 10.0f);
    m.setFloat(51, p.density);
    m.setFloat(52, p.co2);
    m.setFloat(53, p.n2);
    m.setFloat(54, 20.0f);
    m.setFloat(55, 1.0332f);
    m.setFloat(56, 0.9975f);
    if (table == CoefficientTable::Calibration) m.setFloat(57, 1000.0f);
    m.setFloat(58, p.qmax);
    m.setFloat(59, p.qmax / 10.0f);
    m.setFloat(60, p.qmax / 20.0f);
    m.setFloat(61, p.qmax / 200.0f);
    m.setFloat(62, 1.0f);
    m.setFloat(63, 1.6f);
    m.setFloat(64, 0.1f);
    m.setFloat(65, 1.0f);
    if (panels) {
        m.setFloat(66, p.pressure - 1.0197f);
        m.setFloat(67, 1.0197f);
    }
    m.setWord(70,
              int32Bytes(static_cast<qint32>(deviceMinutes(QDateTime(QDate(2023, 1, 15), QTime(10, 30))))));
    m.setFloat(71, p.flow * 24.0f * 0.8f);

    // Half an hour into the hour, 14 hours after the contract hour, 11 days into the month.
    const double hour = p.flow / 2.0;
    const double day = hour + p.flow * 14.0 * 0.8;
    const double month = day + p.flow * 24.0 * 0.8 * 11.0;
    m.setCurrentVolumes(hour, day, month, 125000.0 + month);
    const float samples = 1800.0f / 10.0f; // averaging every 10 s
    m.setFloat(77, p.pressure * samples);
    m.setFloat(78, p.temperature * samples);
    m.setFloat(79, m.correction * samples);
    m.setFloat(80, m.compressibility * samples);

    m.setInt(99, p.serial);
    m.setInt(100, p.meterSerial);
    m.setInt(101, 360000000); // battery consumption counter: 12.5 on a 16 A·h battery
    m.setText(105, encode1251(QString::fromUtf8(p.meter)));
    m.setText(113, encode1251(QString::fromUtf8(p.company)));
    m.setText(121, encode1251(QString::fromUtf8(p.branch)));
    m.setText(129, encode1251(QString::fromUtf8(p.notes)));

    if (table == CoefficientTable::Meter) fillMeterTable(m);
    if (table == CoefficientTable::Calibration) fillCalibrationTable(m, p.qmax);
}

} // namespace

const std::vector<PresetInfo>& presets() {
    static const std::vector<PresetInfo> list = [] {
        std::vector<PresetInfo> l;
        for (const Preset& p : kPresets)
            l.push_back(p.info);
        return l;
    }();
    return list;
}

bool applyPreset(CorrectorMemory& memory, const QString& name, QString& error) {
    for (const Preset& p : kPresets)
        if (name == QLatin1String(p.info.name)) {
            fill(memory, p);
            return true;
        }
    error = QStringLiteral("corrector: unknown preset \"%1\" (corrector-sim --list-presets)").arg(name);
    return false;
}

} // namespace tarn::sim
