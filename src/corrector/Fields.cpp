#include "corrector/Fields.h"

namespace tarn::corrector {

namespace {

using F = Field;
using S = Shown;

constexpr int kGas = static_cast<int>(Page::Gas);
constexpr int kMeter = static_cast<int>(Page::Meter);
constexpr int kWork = static_cast<int>(Page::Work);
constexpr int kWork2 = static_cast<int>(Page::Work2);
constexpr int kAbnormal = static_cast<int>(Page::Abnormal);
constexpr int kInstall = static_cast<int>(Page::Installation);
constexpr int kVolumes = static_cast<int>(Page::Volumes);
constexpr int kMeasure = static_cast<int>(Page::Measurement);
constexpr int kVersion = static_cast<int>(Page::Version);

// In the order of Field.
const std::array<FieldSpec, kFieldCount> kFields = {{
    {F::Density, kGas, 1, S::Always, nullptr, nullptr},
    {F::Co2, kGas, 2, S::Always, nullptr, nullptr},
    {F::N2, kGas, 3, S::Always, nullptr, nullptr},
    {F::Compressibility, kGas, 4, S::Always, nullptr, nullptr},
    {F::Method, kGas, 5, S::Always, nullptr, nullptr},
    {F::GaugePressure, kGas, 6, S::PressurePanels, nullptr, nullptr},
    {F::GasName, kGas, 7, S::GasSelection, nullptr, nullptr},
    {F::Accounting, kGas, 8, S::GasSelection, nullptr, nullptr},
    {F::HeatOfCombustion, kGas, 68, S::HeatEnergy, nullptr, nullptr},
    {F::HeatUnit, kGas, 70, S::HeatEnergy, nullptr, nullptr},

    {F::Qmin, kMeter, 9, S::Always, nullptr, nullptr},
    {F::Qmax, kMeter, 10, S::Always, nullptr, nullptr},
    {F::MeterCounter, kMeter, 11, S::Always, nullptr, nullptr},
    {F::Qtrn, kMeter, 12, S::NotMeterCoef, nullptr, nullptr},
    {F::Qtrs, kMeter, 13, S::Always, nullptr, nullptr},
    {F::MeterSerial, kMeter, 14, S::Always, nullptr, nullptr},
    {F::PulseWeight, kMeter, 15, S::NotMeterCoef, nullptr, nullptr},
    {F::TotalStandardVolume, kMeter, 62, S::SecondPort, nullptr, nullptr},
    {F::Typesize, kMeter, 65, S::TypesizeOrDn, nullptr, nullptr},
    {F::PulseCoefficient, kMeter, 67, S::CalibTable, nullptr, nullptr},
    {F::TotalHeat, kMeter, 69, S::HeatEnergy, nullptr, nullptr},
    {F::MeterOutput, kMeter, 0, S::Always, "Вихід лічильника", "Выход счетчика"},

    {F::Date, kWork, 16, S::Always, nullptr, nullptr},
    {F::Time, kWork, 17, S::Always, nullptr, nullptr},
    {F::TimeCorrection, kWork, 18, S::Always, nullptr, nullptr},
    {F::DisplayTime, kWork, 19, S::Always, nullptr, nullptr},
    {F::ContractHour, kWork, 20, S::Always, nullptr, nullptr},
    {F::ContractDay, kWork, 21, S::Always, nullptr, nullptr},
    {F::SummerTime, kWork, 22, S::Always, nullptr, nullptr},

    {F::OperArchive, kWork2, 23, S::Always, nullptr, nullptr},
    {F::PressureInterval, kWork2, 24, S::Always, nullptr, nullptr},
    {F::TemperatureInterval, kWork2, 25, S::Always, nullptr, nullptr},
    {F::Baud, kWork2, 26, S::Always, nullptr, nullptr},
    {F::Address, kWork2, 27, S::Always, nullptr, nullptr},
    {F::Terminator, kWork2, 28, S::Always, nullptr, nullptr},
    {F::Baud2, kWork2, 63, S::SecondPort, nullptr, nullptr},
    {F::Terminator2, kWork2, 64, S::SecondPort, nullptr, nullptr},
    {F::MessageLanguage, kWork2, 66, S::LanguageSetting, nullptr, nullptr},
    {F::InterfaceType, kWork2, 0, S::Always, "Тип інтерфейсу", "Тип интерфейса"},

    {F::SensorsOff, kAbnormal, 29, S::Always, nullptr, nullptr},
    {F::PressureMin, kAbnormal, 30, S::NoPressurePanels, nullptr, nullptr},
    {F::PressureMax, kAbnormal, 31, S::NoPressurePanels, nullptr, nullptr},
    {F::TemperatureMax, kAbnormal, 32, S::Always, nullptr, nullptr},
    {F::TemperatureMin, kAbnormal, 33, S::Always, nullptr, nullptr},
    {F::PressureSubstitute, kAbnormal, 34, S::NoPressurePanels, nullptr, nullptr},
    {F::TemperatureSubstitute, kAbnormal, 35, S::Always, nullptr, nullptr},
    {F::AverageDailyFlow, kAbnormal, 36, S::Always, nullptr, nullptr},
    {F::PressureConverter, kAbnormal, 0, S::NoPressurePanels, "Тип перетвор. тиску (МПа)",
     "Тип преобр. давл. (МПа)"},

    {F::PressureUnit, kInstall, 38, S::Always, nullptr, nullptr},
    {F::StandardPressure, kInstall, 39, S::Always, nullptr, nullptr},
    {F::StandardTemperature, kInstall, 40, S::Always, nullptr, nullptr},
    {F::QminSubstitute, kInstall, 41, S::NotMeterCoef, nullptr, nullptr},
    {F::QminError, kInstall, 42, S::NotMeterCoef, nullptr, nullptr},
    {F::BaroPressure, kInstall, 43, S::PressurePanels, nullptr, nullptr},
    {F::Thermometer, kInstall, 0, S::Always, "Тип термоперетворювача", "Тип термопреобразователя"},

    {F::WorkHour, kVolumes, 0, S::Always, "Vроб. за годину", "Vраб. за час"},
    {F::StandardHour, kVolumes, 0, S::Always, "Vстд. за годину", "Vстд. за час"},
    {F::AbnormalHour, kVolumes, 0, S::Always, "Vавр. за годину", "Vавр. за час"},
    {F::AbnormalStandardHour, kVolumes, 0, S::Always, "Vавр.ст. за годину", "Vавр.ст. за час"},
    {F::WorkDay, kVolumes, 0, S::Always, "Vроб. за добу", "Vраб. за сутки"},
    {F::StandardDay, kVolumes, 0, S::Always, "Vстд. за добу", "Vстд. за сутки"},
    {F::AbnormalDay, kVolumes, 0, S::Always, "Vавр. за добу", "Vавр. за сутки"},
    {F::AbnormalStandardDay, kVolumes, 0, S::Always, "Vавр.ст. за добу", "Vавр.ст. за сутки"},
    {F::WorkMonth, kVolumes, 0, S::Always, "Vроб. за місяць", "Vраб. за месяц"},
    {F::StandardMonth, kVolumes, 0, S::Always, "Vстд. за місяць", "Vстд. за месяц"},
    {F::AbnormalMonth, kVolumes, 0, S::Always, "Vавр. за місяць", "Vавр. за месяц"},
    {F::AbnormalStandardMonth, kVolumes, 0, S::Always, "Vавр.ст. за місяць", "Vавр.ст. за месяц"},
    {F::EnergyHour, kVolumes, 0, S::HeatEnergy, "E за годину ", "E за час "},
    {F::EnergyDay, kVolumes, 0, S::HeatEnergy, "E за добу", "E за день"},
    {F::EnergyMonth, kVolumes, 0, S::HeatEnergy, "E за місяць ", "E за месяц "},

    {F::MeasPressure, kMeasure, 0, S::Always, "Тиск", "Давление"},
    {F::MeasTemperature, kMeasure, 0, S::Always, "Температура (град.С)", "Температура (град.С)"},
    {F::MeasCompressibility, kMeasure, 0, S::Always, "Кстис", "Ксжим"},
    {F::MeasCorrection, kMeasure, 0, S::Always, "Ккор", "Ккорр"},
    {F::MeasFlow, kMeasure, 0, S::Always, "Витрата (м.куб./год)", "Расход (м.куб./час)"},
    {F::MeasStandardFlow, kMeasure, 0, S::StandardFlow, "Витрата ст.у. (м.куб./год)",
     "Расход ст.у. (м.куб./час)"},
    {F::MeasBatteryVoltage, kMeasure, 0, S::Always, "Напруга батареї (В)", "Напряжение батареи (В)"},
    {F::MeasBatteryResource, kMeasure, 0, S::Always, "Ресурс батареї", "Ресурс батареи"},
    {F::MeasState, kMeasure, 0, S::Always, "Стан", "Состояние"},

    {F::Software, kVersion, 0, S::Always, "Версія ПЗ", "Версия ПО"},
    {F::InitDate, kVersion, 0, S::Always, "Дата ініціалізації", "Дата инициализации"},
    {F::Notes, kVersion, 47, S::Always, nullptr, nullptr},
    {F::AlarmMask, kVersion, 37, S::Always, nullptr, nullptr},
    {F::AlarmMask2, kVersion, 0, S::Always, "Сигнал зміни аварії 2", "Сигнал изменения аварии 2"},

    {F::HeaderSerial, -1, 0, S::Always, "Номер коректора", "Номер корректора"},
    {F::MeterName, -1, 46, S::Always, nullptr, nullptr},
    {F::Company, -1, 45, S::Always, nullptr, nullptr},
    {F::Branch, -1, 44, S::Always, nullptr, nullptr},
    {F::ModelName, -1, 0, S::Always, "Модель", "Модель"},
}};

} // namespace

const FieldSpec& fieldSpec(Field field) {
    return kFields[static_cast<int>(field)];
}

bool isVisibleFor(Field field, const ModelProfile& p) {
    switch (fieldSpec(field).shown) {
    case S::Always:
        return true;
    case S::NoPressurePanels:
        return !p.hasPressurePanels();
    case S::PressurePanels:
        return p.hasPressurePanels();
    case S::NotMeterCoef:
        return !p.meterCoefModel;
    case S::TypesizeOrDn:
        return p.meterCoefModel || p.hasCalibrationTable();
    case S::CalibTable:
        return p.hasCalibrationTable();
    case S::SecondPort:
        return p.secondPort;
    case S::LanguageSetting:
        return p.languageSetting;
    case S::HeatEnergy:
        return p.heatEnergy;
    case S::GasSelection:
        return p.gasSelection;
    case S::StandardFlow:
        return p.meterCoefModel || p.hasCalibrationTable();
    }
    return true;
}

std::optional<Field> fieldOfItem(int item) {
    for (const FieldSpec& f : kFields)
        if (f.item == item && item != 0) return f.field;
    return std::nullopt;
}

const std::array<FieldSpec, kFieldCount>& allFieldSpecs() {
    return kFields;
}

} // namespace tarn::corrector
