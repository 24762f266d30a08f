#pragma once
// Unit conversions between what the corrector stores and what the program shows. The corrector stores
// pressures in kgf/cm², heat in Gcal, volumes in m³ and counters in pulses.
#include <QtGlobal>

namespace tarn::corrector {

inline constexpr double kKgfCm2PerMpa = 10.19716;
inline constexpr double kGjPerGcal = 4.1868;
inline constexpr double kCmWaterPerKgfCm2 = 1000.0;
inline constexpr double kKgfCm2PerMmHg = 0.0013595;
inline constexpr double kBatteryCountsPerAh = 1800000.0;
inline constexpr int kDefaultBatteryCapacityAh = 16;

// Pressures: kgf/cm², or MPa when the corrector's pressure unit is MPa.
double ToDisplayPressure(double kgfcm2, bool mpa);
double FromDisplayPressure(double shown, bool mpa);

// Heat: Gcal, or GJ when the heat unit is GJ.
double ToDisplayHeat(double gcal, bool gj);
double FromDisplayHeat(double shown, bool gj);

// Gas density (kg/m³) used to show volumes as mass, by gas-name index (item 7); 0 for natural gas and
// indexes beyond the list.
double massDensity(int gasIndex);
// Volumes and flows: m³, or kg when the corrector accounts a gas other than natural gas by mass.
double ToDisplayVolume(double m3, bool massAccounting, int gasIndex);

// The unit buttons of the gauge-pressure panel (item 6) and the barometric-pressure panel (item 43).
enum class GaugeUnit { KgfCm2, CmWater, Mpa };
enum class BaroUnit { KgfCm2, MmHg, Mpa };

double gaugeToDisplay(double kgfcm2, GaugeUnit unit);
double gaugeFromDisplay(double shown, GaugeUnit unit);
int gaugeDecimals(GaugeUnit unit);
double baroToDisplay(double kgfcm2, BaroUnit unit);
double baroFromDisplay(double shown, BaroUnit unit);
int baroDecimals(BaroUnit unit);

// Battery consumption (word 101): counter ÷ (capacity × 1 800 000); a capacity byte of 0 means 16 A·h.
double batteryResource(qint32 counter, quint8 capacityAh);

} // namespace tarn::corrector
