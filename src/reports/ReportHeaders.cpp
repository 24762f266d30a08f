#include "reports/ReportHeaders.h"

#include "corrector/ValueLists.h"

namespace tarn::reports {

using corrector::Field;

ReportHeader headerFromCorrector(const corrector::CorrectorWindowModel& model, int languageIndex) {
    const auto& state = model.state();
    const corrector::ModelProfile& profile = state.profile;
    auto text = [&model](Field f) { return model.text(f).trimmed(); };
    ReportHeader h;
    h.organisation = text(Field::Company);
    h.pipeline = text(Field::Branch);
    h.model = profile.modelName.trimmed();
    h.serial = text(Field::HeaderSerial);
    // The corrector that carries its meter's coefficients is built together with its flow sensor.
    h.complex = profile.meterCoefModel;
    h.meterType = text(Field::MeterName);
    h.meterSerial = text(Field::MeterSerial);
    h.contractTime = text(Field::ContractHour);
    h.contractDay = text(Field::ContractDay);
    bool ok = false;
    const int hour = h.contractTime.left(2).toInt(&ok);
    h.contractHour = ok && hour >= 0 && hour < 24 ? hour : 9;
    h.pressureUnit = state.image.pressureInMpa() ? QStringLiteral("МПа") : QStringLiteral("кгс/см2");
    h.massMode = state.image.showsMass(profile);
    h.heatSupported = profile.heatEnergy;
    h.heatUnit =
        corrector::ChoiceText(corrector::ValueList::HeatUnits, state.image.heatInGj() ? 1 : 0, languageIndex);
    h.volumeDecimals = model.volumeDecimals;

    h.hasParameters = model.hasSerial();
    h.standardTemperature = text(Field::StandardTemperature);
    h.standardPressure = text(Field::StandardPressure);
    h.method = text(Field::Method);
    h.fixedFactor = h.method.contains(QStringLiteral("const"), Qt::CaseInsensitive);
    h.compressibility = text(Field::Compressibility);
    h.density = text(Field::Density);
    h.qmin = text(Field::Qmin);
    h.qmax = text(Field::Qmax);
    h.barometric = profile.hasPressurePanels();
    h.pmin = h.barometric ? text(Field::BaroPressure) : text(Field::PressureMin);
    h.pmax = h.barometric ? text(Field::GaugePressure) : text(Field::PressureMax);
    h.n2 = text(Field::N2);
    h.co2 = text(Field::Co2);
    h.tmin = text(Field::TemperatureMin);
    h.tmax = text(Field::TemperatureMax);
    h.pulsesPerCubicMetre = text(Field::PulseWeight);
    h.nominalDiameter = text(Field::Typesize);
    h.qtrs = text(Field::Qtrs);
    h.qtrn = text(Field::Qtrn);
    h.sensorState = text(Field::SensorsOff);
    h.temperatureSubstitute = text(Field::TemperatureSubstitute);
    h.flowSubstitute = text(Field::AverageDailyFlow);
    // The flag shows "ВКЛ." when set (the same in both languages).
    h.qminSubstitution = text(Field::QminSubstitute).startsWith(QStringLiteral("ВКЛ"));
    return h;
}

ReportHeader headerFromPoint(const database::Point& point) {
    ReportHeader h;
    h.organisation = point.organisation;
    h.pipeline = point.pipeline;
    h.model = point.model.trimmed();
    h.serial = point.serial;
    return h;
}

} // namespace tarn::reports
