#pragma once
// The value lists of the choice items: the item's byte is the 0-based index into its list. Every entry
// has its Ukrainian and Russian text.
#include <QString>

namespace tarn::corrector {

enum class ValueList {
    MethodList4,
    MethodList2,
    GasNames,
    AccountingList,
    PulseWeights5,
    PulseWeightsCalib,
    PulseWeights3,
    OperArchiveModes,
    BaudList,
    SensorOffList8,
    SensorOffList4,
    OnOffList,
    PressureUnits,
    HeatUnits,
    LanguageList,
    InterfaceTypes,
    DnList,
    TypesizeListA,
    TypesizeListB,
    TypesizeListC,
    MeterOutputs,
};

int ChoiceCount(ValueList list);
// The entry in the language; an index beyond the list gives an empty text.
QString ChoiceText(ValueList list, int index, int languageIndex);
// The index of the text (blanks at both ends ignored) in the language; -1 when it is not in the list.
int ChoiceIndex(ValueList list, const QString& text, int languageIndex);

// Meter output (word 7 byte 2): MeterOutputs on calibration models, otherwise "ОПТРОН" for an odd and
// "ГЕРКОН" for an even value.
QString MeterOutputText(quint8 value, bool calibrationModel, int languageIndex);

} // namespace tarn::corrector
