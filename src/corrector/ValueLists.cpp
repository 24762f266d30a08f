#include "corrector/ValueLists.h"

#include "common/Language.h"
#include "corrector/DeviceValues.h"

#include <iterator>

namespace tarn::corrector {

namespace {

struct ChoiceEntry {
    const char* ua;
    const char* ru;
};

const ChoiceEntry kMethodList4[] = {
    {"РД50-213", "РД50-213"},
    {"NX-19мод.", "NX-19мод."},
    {"GERG-91мод.", "GERG-91мод."},
    {"Фiксов.Kстис", "Фиксир. Kсжим"},
};
const ChoiceEntry kMethodList2[] = {
    {"NX-19мод.", "NX-19мод."},
    {"Фiксов.Kстис", "Фиксир. Kсжим"},
};
const ChoiceEntry kGasNames[] = {
    {"природний", "природный"}, {"аргон", "аргон"}, {"вуглекислий", "углекислый"},
    {"кисень", "кислород"},     {"азот", "азот"},   {"повiтря сухе", "воздух сухой"},
};
const ChoiceEntry kAccountingList[] = {
    {"по_об’єму(м.куб)", "по_объему(м.куб)"},
    {"по_масі(кг)", "по_массе(кг)"},
};
const ChoiceEntry kPulseWeights5[] = {
    {"1", "1"}, {"10", "10"}, {"100", "100"}, {"0.1", "0.1"}, {"0.01", "0.01"},
};
const ChoiceEntry kPulseWeightsCalib[] = {
    {"1", "1"}, {"10", "10"}, {"100", "100"}, {"1000", "1000"}, {"10000", "10000"},
};
const ChoiceEntry kPulseWeights3[] = {
    {"1", "1"},
    {"10", "10"},
    {"100", "100"},
};
const ChoiceEntry kOperArchiveModes[] = {
    {"зап.змiн.парам.", "зап._по_измен."},     {"iнтерв.зап._1хв.", "интерв.зап.1мин."},
    {"iнтерв.зап._2хв.", "интерв.зап.2мин."},  {"iнтерв.зап._5хв.", "интерв.зап.5мин."},
    {"iнтерв.зап._10хв.", "интер.зап.10мин."},
};
const ChoiceEntry kBaudList[] = {
    {"1200(біт/c.)", "1200(бит/c.)"},   {"2400(біт/c.)", "2400(бит/c.)"},
    {"4800(біт/c.)", "4800(бит/c.)"},   {"9600(біт/c.)", "9600(бит/c.)"},
    {"19200(біт/c.)", "19200(бит/c.)"}, {"38400(біт/c.)", "38400(бит/c.)"},
    {"57600(біт/c.)", "57600(бит/c.)"}, {"115200(біт/c.)", "115200(бит/c.)"},
};
const ChoiceEntry kSensorOffList8[] = {
    {"Всi_Вкл.", "Все_Вкл."},   {"Вимк. P", "Выкл. P"},         {"Вимк. T", "Выкл. T"},
    {"Вимк. T+P", "Выкл. T+P"}, {"Вимк. Q", "Выкл. Q"},         {"Вимк. Q+P", "Выкл. Q+P"},
    {"Вимк. Q+T", "Выкл. Q+T"}, {"Вимк. Q+T+P", "Выкл. Q+T+P"},
};
const ChoiceEntry kSensorOffList4[] = {
    {"Все_Увімк.", "Все_Вкл."},
    {"Вимк. T", "Выкл. T"},
    {"Вимк. Q", "Выкл. Q"},
    {"Вимк. Q+T", "Выкл. Q+T"},
};
const ChoiceEntry kOnOffList[] = {
    {"ВКЛ.", "ВКЛ."},
    {"ВИМК.", "ВЫКЛ."},
};
const ChoiceEntry kPressureUnits[] = {
    {"кгс/см2", "кгс/см2"},
    {"МПа", "МПа"},
};
const ChoiceEntry kHeatUnits[] = {
    {"Гкал", "Гкал"},
    {"ГДж", "ГДж"},
};
const ChoiceEntry kLanguageList[] = {
    {"росiйська", "русский"},
    {"українська", "украинский"},
};
const ChoiceEntry kInterfaceTypes[] = {
    {"НЕ_ВИЗНАЧЕНИЙ", "НЕ_ОПРЕДЕЛЕН"},
    {"КОМП’ЮТЕР", "КОМПЬЮТЕР"},
    {"ІНФРАЧИСНИЙ", "ИНФРАКРАСНЫЙ"},
    {"ТЕРМІНАЛ-GSM", "ТЕРМИНАЛ-GSM"},
};
const ChoiceEntry kDnList[] = {
    {"50", "50"},   {"80", "80"},   {"100", "100"}, {"120", "120"},
    {"150", "150"}, {"200", "200"}, {"300", "300"},
};
const ChoiceEntry kTypesizeListA[] = {
    {"G16-40", "G16-40"},     {"G25-40", "G25-40"},     {"G40-40", "G40-40"},     {"G65-80", "G65-80"},
    {"G100-80", "G100-80"},   {"G160-80", "G160-80"},   {"G250-80", "G250-80"},   {"G100-100", "G100-100"},
    {"G160-100", "G160-100"}, {"G250-100", "G250-100"}, {"G400-150", "G400-150"}, {"G650-150", "G650-150"},
};
const ChoiceEntry kTypesizeListB[] = {
    {"G16-40-А", "G16-40-А"},     {"G25-40-А", "G25-40-А"},     {"G25-50-Б", "G25-50-Б"},
    {"G40-40-А", "G40-40-А"},     {"G40-50-Б", "G40-50-Б"},     {"G65-80-А", "G65-80-А"},
    {"G65-80-Б", "G65-80-Б"},     {"G100-80-А", "G100-80-А"},   {"G100-80-Б", "G100-80-Б"},
    {"G100-100-А", "G100-100-А"}, {"G100-100-Б", "G100-100-Б"}, {"G160-80-А", "G160-80-А"},
    {"G160-100-А", "G160-100-А"}, {"G160-100-Б", "G160-100-Б"}, {"G250-80-А", "G250-80-А"},
    {"G250-100-А", "G250-100-А"}, {"G250-100-Б", "G250-100-Б"}, {"G400-150-А", "G400-150-А"},
    {"G650-150-А", "G650-150-А"},
};
const ChoiceEntry kTypesizeListC[] = {
    {"G160-80", "G160-80"},     {"G250-80", "G250-80"},     {"G250-100", "G250-100"},
    {"G400-100", "G400-100"},   {"G400-150", "G400-150"},   {"G650-150", "G650-150"},
    {"G1000-150", "G1000-150"}, {"G650-200", "G650-200"},   {"G1000-200", "G1000-200"},
    {"G1600-200", "G1600-200"}, {"G1000-250", "G1000-250"}, {"G1600-250", "G1600-250"},
    {"G2500-250", "G2500-250"}, {"G1600-300", "G1600-300"}, {"G2500-300", "G2500-300"},
    {"G4000-300", "G4000-300"},
};
const ChoiceEntry kMeterOutputs[] = {
    {"ВІДКЛ", "ОТКЛ"},
    {"ДАТЧИК", "ДАТЧИК"},
    {"10імп/м.куб.роб", "10имп/м.куб.раб"},
    {"1імп/м.куб.роб", "1имп/м.куб.раб"},
    {"10імп/м.куб.стд", "10имп/м.куб.стд"},
    {"1імп/м.куб.стд", "1имп/м.куб.стд"},
};

struct ListView {
    const ChoiceEntry* entries;
    int size;
};

ListView view(ValueList list) {
    switch (list) {
    case ValueList::MethodList4:
        return {kMethodList4, int(std::size(kMethodList4))};
    case ValueList::MethodList2:
        return {kMethodList2, int(std::size(kMethodList2))};
    case ValueList::GasNames:
        return {kGasNames, int(std::size(kGasNames))};
    case ValueList::AccountingList:
        return {kAccountingList, int(std::size(kAccountingList))};
    case ValueList::PulseWeights5:
        return {kPulseWeights5, int(std::size(kPulseWeights5))};
    case ValueList::PulseWeightsCalib:
        return {kPulseWeightsCalib, int(std::size(kPulseWeightsCalib))};
    case ValueList::PulseWeights3:
        return {kPulseWeights3, int(std::size(kPulseWeights3))};
    case ValueList::OperArchiveModes:
        return {kOperArchiveModes, int(std::size(kOperArchiveModes))};
    case ValueList::BaudList:
        return {kBaudList, int(std::size(kBaudList))};
    case ValueList::SensorOffList8:
        return {kSensorOffList8, int(std::size(kSensorOffList8))};
    case ValueList::SensorOffList4:
        return {kSensorOffList4, int(std::size(kSensorOffList4))};
    case ValueList::OnOffList:
        return {kOnOffList, int(std::size(kOnOffList))};
    case ValueList::PressureUnits:
        return {kPressureUnits, int(std::size(kPressureUnits))};
    case ValueList::HeatUnits:
        return {kHeatUnits, int(std::size(kHeatUnits))};
    case ValueList::LanguageList:
        return {kLanguageList, int(std::size(kLanguageList))};
    case ValueList::InterfaceTypes:
        return {kInterfaceTypes, int(std::size(kInterfaceTypes))};
    case ValueList::DnList:
        return {kDnList, int(std::size(kDnList))};
    case ValueList::TypesizeListA:
        return {kTypesizeListA, int(std::size(kTypesizeListA))};
    case ValueList::TypesizeListB:
        return {kTypesizeListB, int(std::size(kTypesizeListB))};
    case ValueList::TypesizeListC:
        return {kTypesizeListC, int(std::size(kTypesizeListC))};
    case ValueList::MeterOutputs:
        return {kMeterOutputs, int(std::size(kMeterOutputs))};
    }
    return {nullptr, 0};
}

} // namespace

int ChoiceCount(ValueList list) {
    return view(list).size;
}

QString ChoiceText(ValueList list, int index, int languageIndex) {
    const ListView v = view(list);
    if (index < 0 || index >= v.size) return {};
    return uaRu(languageIndex, v.entries[index].ua, v.entries[index].ru);
}

int ChoiceIndex(ValueList list, const QString& text, int languageIndex) {
    const QString wanted = trimBlanks(text);
    const ListView v = view(list);
    for (int i = 0; i < v.size; ++i)
        if (uaRu(languageIndex, v.entries[i].ua, v.entries[i].ru) == wanted) return i;
    return -1;
}

QString MeterOutputText(quint8 value, bool calibrationModel, int languageIndex) {
    if (calibrationModel) return ChoiceText(ValueList::MeterOutputs, value, languageIndex);
    return QString::fromUtf8(value & 1u ? "ОПТРОН" : "ГЕРКОН");
}

} // namespace tarn::corrector
