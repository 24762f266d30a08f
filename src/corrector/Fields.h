#pragma once
// The fields of the corrector window: which item each shows, on which tab page, for which models, and
// the texts of a field with nothing read. The window model shows them; a reading keeps their texts.
#include "corrector/ModelProfile.h"

#include <array>
#include <optional>

namespace tarn::corrector {

inline constexpr const char* kNoDataText = "X";
// Blanks with the separators: the cleared date and time fields.
inline constexpr const char* kClearedDateText = "  .  .    ";
inline constexpr const char* kClearedTimeText = "  :  ";

inline constexpr int kTabPages = 9;

// The tab pages in their order.
enum class Page { Gas, Meter, Work, Work2, Abnormal, Installation, Volumes, Measurement, Version };

enum class Field {
    // "ГАЗ"
    Density,
    Co2,
    N2,
    Compressibility,
    Method,
    GaugePressure,
    GasName,
    Accounting,
    HeatOfCombustion,
    HeatUnit,
    // "СЧЕТЧИК"
    Qmin,
    Qmax,
    MeterCounter,
    Qtrn,
    Qtrs,
    MeterSerial,
    PulseWeight,
    TotalStandardVolume,
    Typesize,
    PulseCoefficient,
    TotalHeat,
    MeterOutput,
    // "УСТ. РАБ."
    Date,
    Time,
    TimeCorrection,
    DisplayTime,
    ContractHour,
    ContractDay,
    SummerTime,
    // second "УСТ. РАБ."
    OperArchive,
    PressureInterval,
    TemperatureInterval,
    Baud,
    Address,
    Terminator,
    Baud2,
    Terminator2,
    MessageLanguage,
    InterfaceType,
    // "УСТ. ВНЕШТ."
    SensorsOff,
    PressureMin,
    PressureMax,
    TemperatureMax,
    TemperatureMin,
    PressureSubstitute,
    TemperatureSubstitute,
    AverageDailyFlow,
    PressureConverter,
    // "ИНСТАЛЯЦИЯ"
    PressureUnit,
    StandardPressure,
    StandardTemperature,
    QminSubstitute,
    QminError,
    BaroPressure,
    Thermometer,
    // "ОБЪЕМ"
    WorkHour,
    StandardHour,
    AbnormalHour,
    AbnormalStandardHour,
    WorkDay,
    StandardDay,
    AbnormalDay,
    AbnormalStandardDay,
    WorkMonth,
    StandardMonth,
    AbnormalMonth,
    AbnormalStandardMonth,
    EnergyHour,
    EnergyDay,
    EnergyMonth,
    // "ИЗМЕРЕНИЕ"
    MeasPressure,
    MeasTemperature,
    MeasCompressibility,
    MeasCorrection,
    MeasFlow,
    MeasStandardFlow,
    MeasBatteryVoltage,
    MeasBatteryResource,
    MeasState,
    // "ВЕРС. ПО"
    Software,
    InitDate,
    Notes,
    AlarmMask,
    AlarmMask2,
    // header panel
    HeaderSerial,
    MeterName,
    Company,
    Branch,
    ModelName,
    Count
};
inline constexpr int kFieldCount = static_cast<int>(Field::Count);

// Which models have a field.
enum class Shown {
    Always,
    NoPressurePanels, // pressure thresholds and the pressure converter limit
    PressurePanels,   // gauge and barometric pressure (series 2 and calibration models)
    NotMeterCoef,     // pulse weight, Qtrn, the Qmin<Q<Qtrn error, the minimum-flow substitution
    TypesizeOrDn,     // typesize on calibration models, nominal diameter on the meter-coefficient model
    CalibTable,       // pulse coefficient
    SecondPort,
    LanguageSetting,
    HeatEnergy,
    GasSelection,
    StandardFlow, // meter-coefficient and calibration models
};

struct FieldSpec {
    Field field;
    int page; // Page index; -1 for the header panel
    int item; // 0: not an item
    Shown shown;
    const char* captionUa; // nullptr: the item's caption
    const char* captionRu;
};
const FieldSpec& fieldSpec(Field field);
bool isVisibleFor(Field field, const ModelProfile& profile);
// Field of an item (the date field for items 16 and 17); nothing for items without one.
std::optional<Field> fieldOfItem(int item);
// Every field in the order of Field.
const std::array<FieldSpec, kFieldCount>& allFieldSpecs();

} // namespace tarn::corrector
