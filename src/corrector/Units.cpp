#include "corrector/Units.h"

namespace tarn::corrector {

double ToDisplayPressure(double kgfcm2, bool mpa) {
    return mpa ? kgfcm2 / kKgfCm2PerMpa : kgfcm2;
}
double FromDisplayPressure(double shown, bool mpa) {
    return mpa ? shown * kKgfCm2PerMpa : shown;
}

double ToDisplayHeat(double gcal, bool gj) {
    return gj ? gcal * kGjPerGcal : gcal;
}
double FromDisplayHeat(double shown, bool gj) {
    return gj ? shown / kGjPerGcal : shown;
}

double massDensity(int gasIndex) {
    switch (gasIndex) {
    case 1:
        return 1.6618; // argon
    case 2:
        return 1.8393; // carbon dioxide
    case 3:
        return 1.33116; // oxygen
    case 4:
        return 1.1649; // nitrogen
    case 5:
        return 1.20445; // dry air
    default:
        return 0.0;
    }
}

double ToDisplayVolume(double m3, bool massAccounting, int gasIndex) {
    const double density = massDensity(gasIndex);
    return massAccounting && density > 0.0 ? m3 * density : m3;
}

double gaugeToDisplay(double kgfcm2, GaugeUnit unit) {
    switch (unit) {
    case GaugeUnit::CmWater:
        return kgfcm2 * kCmWaterPerKgfCm2;
    case GaugeUnit::Mpa:
        return kgfcm2 / kKgfCm2PerMpa;
    case GaugeUnit::KgfCm2:
        break;
    }
    return kgfcm2;
}

double gaugeFromDisplay(double shown, GaugeUnit unit) {
    switch (unit) {
    case GaugeUnit::CmWater:
        return shown / kCmWaterPerKgfCm2;
    case GaugeUnit::Mpa:
        return shown * kKgfCm2PerMpa;
    case GaugeUnit::KgfCm2:
        break;
    }
    return shown;
}

int gaugeDecimals(GaugeUnit unit) {
    switch (unit) {
    case GaugeUnit::CmWater:
        return 1;
    case GaugeUnit::Mpa:
        return 5;
    case GaugeUnit::KgfCm2:
        break;
    }
    return 4;
}

double baroToDisplay(double kgfcm2, BaroUnit unit) {
    switch (unit) {
    case BaroUnit::MmHg:
        return kgfcm2 / kKgfCm2PerMmHg;
    case BaroUnit::Mpa:
        return kgfcm2 / kKgfCm2PerMpa;
    case BaroUnit::KgfCm2:
        break;
    }
    return kgfcm2;
}

double baroFromDisplay(double shown, BaroUnit unit) {
    switch (unit) {
    case BaroUnit::MmHg:
        return shown * kKgfCm2PerMmHg;
    case BaroUnit::Mpa:
        return shown * kKgfCm2PerMpa;
    case BaroUnit::KgfCm2:
        break;
    }
    return shown;
}

int baroDecimals(BaroUnit unit) {
    switch (unit) {
    case BaroUnit::MmHg:
        return 1;
    case BaroUnit::Mpa:
        return 5;
    case BaroUnit::KgfCm2:
        break;
    }
    return 4;
}

double batteryResource(qint32 counter, quint8 capacityAh) {
    const int capacity = capacityAh == 0 ? kDefaultBatteryCapacityAh : capacityAh;
    return double(counter) / (double(capacity) * kBatteryCountsPerAh);
}

} // namespace tarn::corrector
