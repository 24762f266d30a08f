#include "reports/AlarmCodes.h"

#include "common/Language.h"

namespace tarn::reports {

namespace {

struct AlarmCode {
    quint16 mask;
    const char* russian;
    const char* ukrainian;
};

constexpr AlarmCode kCodes[kAlarmSituations] = {
    {0x0001, "Откл.датчика давления(работа по Pconst)", "Відкл.перетв.тиску(робота по Pconst)"},
    {0x0002, "Давл. газа меньше нижн. порог. знач.", "Тиск газу менше нижн. порог. знач."},
    {0x0004, "Давл. газа больше верх. порог. знач.", "Тиск газу більше верхн. порог. знач."},
    {0x0010, "Откл.преобраз.темпер.(работа по Tconst)", "Відкл.перетв.темпер.(робота по Tconst)"},
    {0x0020, "Темп. газа меньше нижн. порог. знач.", "Темп. газу менше нижн. порог. знач."},
    {0x0040, "Темп. газа больше вер. порог. знач.", "Темп. газу більше верхн. порог. знач."},
    {0x0008, "Расх. газа меньше Qmin", "Витрата газу менше Qmin"},
    {0x0080, "Расх. газа больше Qmax", "Витрата газу більше Qmax"},
    {0x0100, "Расчет Ксжим невозможен", "Розрахунок Кстис. неможливий"},
    {0x0200, "Напряж. питан. корректора  меньше 2,7В", "Напр. живлення коректора  менше 2,7В"},
    {0x0400, "Ёмкость батареи < 10% ", "Ємкість батареї < 10%"},
    {0x0800, "Имитация расхода при отсут.счетчика", "Витрата при відсутності лічильника"},
    {0x1000, "Выход из строя корректора", "Вихід з ладу коректора"},
    {0x2000, "Проверка без демонтажа", "Зупинка в роботі коректора"},
    {0x4000, "Итого за сутки :", "Того за добу:"},
    {0x8000, "Пропало питание счетчика", "Вимкнення живлення лічильника"},
};

} // namespace

quint16 alarmMask(int situation) {
    return situation >= 1 && situation <= kAlarmSituations ? kCodes[situation - 1].mask : 0;
}

QString alarmName(int situation, bool ukrainian, bool complex) {
    if (situation < 1 || situation > kAlarmSituations) return {};
    if (complex && situation == kFlowSimulationSituation)
        return uaRu(languageOf(ukrainian), "Відмова перетворювача витрати", "Отказ датчика расхода");
    const AlarmCode& c = kCodes[situation - 1];
    return uaRu(languageOf(ukrainian), c.ukrainian, c.russian);
}

} // namespace tarn::reports
