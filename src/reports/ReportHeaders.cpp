#include "reports/ReportHeaders.h"

#include "corrector/CorrectorFiles.h"
#include "corrector/ValueLists.h"
#include "reports/ParameterPrintout.h"

namespace tarn::reports {

using corrector::Field;

ReportHeader headerFromCorrector(const corrector::Reading& reading, int languageIndex) {
    ReportHeader h;
    h.organisation = reading.text(Field::Company).trimmed();
    h.pipeline = reading.text(Field::Branch).trimmed();
    h.model = reading.profile.modelName.trimmed();
    h.serial = reading.text(Field::HeaderSerial).trimmed();
    h.volumeDecimals = reading.volumeDecimals;
    takeParameters(h, reading, languageIndex);
    return h;
}

void takeParameters(ReportHeader& h, const corrector::Reading& reading, int languageIndex) {
    const corrector::ModelProfile& profile = reading.profile;
    auto text = [&reading](Field f) { return reading.text(f).trimmed(); };
    // The corrector that carries its meter's coefficients is built together with its flow sensor.
    h.complex = profile.meterCoefModel;
    h.meterType = text(Field::MeterName);
    h.meterSerial = text(Field::MeterSerial);
    // The contract load is kept in the corrector's notes text (item 47).
    h.contractLoad = text(Field::Notes);
    h.contractTime = text(Field::ContractHour);
    h.contractDay = text(Field::ContractDay);
    bool ok = false;
    const int hour = h.contractTime.left(2).toInt(&ok);
    h.contractHour = ok && hour >= 0 && hour < 24 ? hour : 9;
    h.pressureUnit = reading.image.pressureInMpa() ? QStringLiteral("МПа") : QStringLiteral("кгс/см2");
    h.massMode = reading.image.showsMass(profile);
    h.heatSupported = profile.heatEnergy;
    h.heatUnit = corrector::ChoiceText(corrector::ValueList::HeatUnits, reading.image.heatInGj() ? 1 : 0,
                                       languageIndex);

    h.hasParameters = reading.hasSerial();
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
}

StoredPointHeader storedPointHeader(const DataRoot& root, const QString& identifier,
                                    const ReportHeader& point, int languageIndex, Notifier& notifier) {
    if (const auto missing =
            missingParameterFile(root, identifier, point.model.trimmed(), point.serial.trimmed()))
        return {std::nullopt, *missing};
    const corrector::LoadedReading loaded = corrector::loadPointParameterFile(
        corrector::pointParameterFilePath(root, identifier), notifier, languageIndex, point.volumeDecimals);
    if (!loaded.outcome.ok) return {};
    ReportHeader h = point;
    takeParameters(h, loaded.reading, languageIndex);
    return {h, {}};
}

ReportHeader headerFromPoint(const database::Point& point, int volumeDecimals) {
    ReportHeader h;
    h.volumeDecimals = volumeDecimals;
    h.organisation = point.organisation;
    h.pipeline = point.pipeline;
    h.model = point.model.trimmed();
    h.serial = point.serial;
    return h;
}

} // namespace tarn::reports
