#include "corrector/ItemTable.h"

#include "common/Cp1251.h"
#include "common/DateTimeText.h"
#include "common/DisplayNumber.h"
#include "common/Language.h"
#include "corrector/DeviceValues.h"
#include "corrector/TwoDigits.h"

#include <QRegularExpression>
#include <cmath>
#include <iterator>
#include <limits>

namespace tarn::corrector {

namespace {

// Item 27 is shown and checked as the link address 1..14; the corrector keeps the address - 1.
const ItemEntry kItems[kItemCount] = {
    {1, 0x82, ItemKind::Float, true, 0.54, 1.051, 0x1E, PlaceKind::Word, 51, -1, 0x00,
     "Густина газу (кг./м.куб.)", "Плотность газа (кг./м.куб.)"},
    {2, 0x83, ItemKind::Float, true, 0.0, 15.01, 0x1E, PlaceKind::Word, 52, -1, 0x00, "Концентрація СО2 (%)",
     "Концентрация СО2 (%)"},
    {3, 0x84, ItemKind::Float, true, 0.0, 15.01, 0x1E, PlaceKind::Word, 53, -1, 0x00, "Концентрація N2 (%)",
     "Концентрация N2 (%)"},
    {4, 0x81, ItemKind::Float, true, 0.7, 1.3, 0x18, PlaceKind::Word, 56, -1, 0x00, "Кстис", "Ксжим"},
    {5, 0x80, ItemKind::Choice, false, 0.0, 0.0, 0x18, PlaceKind::Byte, 2, 2, 0x00, "Метод розрахунку",
     "Метод расчета"},
    {6, 0x85, ItemKind::Float, true, 0.0, 10.1, 0x1C, PlaceKind::Word, 66, -1, 0x00, "Тиск надлишк.",
     "Давл. избыточ"},
    {7, 0x86, ItemKind::Byte, true, 0.0, 5.0, 0x1C, PlaceKind::Byte, 7, 3, 0x00, "Назва газу",
     "Название газа"},
    {8, 0x87, ItemKind::Flag, false, 0.0, 0.0, 0x1C, PlaceKind::Bit, 6, 1, 0x02, "Облік газу", "Учет газа"},
    {9, 0x8B, ItemKind::Float, true, 0.0, 72000.01, 0x18, PlaceKind::Word, 60, -1, 0x00,
     "Мін. витрата газу:Qmin(м.куб./год) ", "Мин. расход газа:Qmin(м.куб./час) "},
    {10, 0x89, ItemKind::Float, true, 0.0, 720000.0, 0x18, PlaceKind::Word, 58, -1, 0x00,
     "Макс. витрата газу:Qmax(м.куб./год) ", "Макс. расход газа:Qmax(м.куб./час) "},
    {11, 0x8D, ItemKind::Int32, true, 0.0, 1000000000.0, 0x18, PlaceKind::Word, 97, -1, 0x00,
     "Показники лічильника(м.куб) ", "Показания счетчика(м.куб) "},
    {12, 0x8A, ItemKind::Float, true, 0.0, 80000.01, 0x18, PlaceKind::Word, 59, -1, 0x00,
     "Перех. витрата газу:Qtrn(м.куб./год)", "Перех. расход газа:Qtrn(м.куб./час)"},
    {13, 0x8C, ItemKind::Float, true, 0.0, 8000.01, 0x18, PlaceKind::Word, 61, -1, 0x00,
     "Поріг чутлив.:Qtrs(м.куб./год)", "Порог чувствит.:Qtrs(м.куб./час)"},
    {14, 0x8E, ItemKind::Int32, true, 1.0, 100000000.0, 0x18, PlaceKind::Word, 100, -1, 0x00,
     "Заводський номер лічильника          ", "Заводской номер счетчика          "},
    {15, 0x88, ItemKind::Choice, false, 0.0, 0.0, 0x18, PlaceKind::Byte, 2, 1, 0x00,
     "Коеф.перетвор.(імп./м.куб)", "Коэфф.преобраз.(имп./м.куб)"},
    {16, 0x94, ItemKind::DateTime, false, 0.0, 0.0, 0x18, PlaceKind::Clock, -1, -1, 0x00, "Дата", "Дата"},
    {17, 0x94, ItemKind::DateTime, false, 0.0, 0.0, 0x18, PlaceKind::Clock, -1, -1, 0x00, "Час", "Время"},
    {18, 0x93, ItemKind::Byte, true, -9.0, 9.0, 0x1E, PlaceKind::Byte, 5, 1, 0x00, "Корекція  часу    ",
     "Коррекция  времени    "},
    {19, 0x92, ItemKind::Byte, true, 5.0, 99.0, 0x1E, PlaceKind::Byte, 1, 0, 0x00, "Час індикації",
     "Время индикации"},
    {20, 0x90, ItemKind::Hour, false, 0.0, 0.0, 0x1C, PlaceKind::Byte, 1, 2, 0x00, "Контрактн. година(год) ",
     "Контрактн. время(час) "},
    {21, 0x91, ItemKind::Byte, true, -11.0, 28.0, 0x1C, PlaceKind::Byte, 1, 3, 0x00, "Контрактн. доба ",
     "Контрактн. день "},
    {22, 0x95, ItemKind::Flag, false, 0.0, 0.0, 0x18, PlaceKind::Bit, 2, 0, 0x01, "Автоперехід З/Л",
     "Автоперевод З/Л"},
    {23, 0x98, ItemKind::Choice, false, 0.0, 0.0, 0x1C, PlaceKind::Byte, 2, 3, 0x00, "Оперативний архів",
     "Оперативный архив"},
    {24, 0x96, ItemKind::Float, true, 0.01, 25.0, 0x1C, PlaceKind::Word, 64, -1, 0x00, "Інтерв.запису Р",
     "Интерв.записи Р"},
    {25, 0x97, ItemKind::Float, true, 0.99, 50.0, 0x1C, PlaceKind::Word, 65, -1, 0x00,
     "Інтерв.зап. Т (град.С)", "Интерв.зап. Т (град.С)"},
    {26, 0x9A, ItemKind::Choice, false, 0.0, 0.0, 0x1C, PlaceKind::Byte, 3, 1, 0x00, "Швидкість обміну",
     "Скорость обмена"},
    {27, 0x9B, ItemKind::Byte, true, 1.0, 14.0, 0x1C, PlaceKind::Byte, 3, 0, 0x00, "Адреса в системі",
     "Адрес в системе"},
    {28, 0x9C, ItemKind::Flag, false, 0.0, 0.0, 0x1C, PlaceKind::Bit, 2, 0, 0x04, "Термінатор", "Терминатор"},
    {29, 0xAF, ItemKind::Choice, false, 0.0, 0.0, 0x1C, PlaceKind::Byte, 4, 3, 0x00, "Датчики", "Датчики"},
    {30, 0xA8, ItemKind::Float, true, 0.05, 65.0, 0x18, PlaceKind::Word, 45, -1, 0x00, "Тиск мін. роб.",
     "Давление мин. раб."},
    {31, 0xA9, ItemKind::Float, true, 0.05, 65.0, 0x18, PlaceKind::Word, 46, -1, 0x00, "Тиск макс. роб.",
     "Давление макс. раб."},
    {32, 0xAC, ItemKind::Float, true, -60.0, 70.0, 0x18, PlaceKind::Word, 49, -1, 0x00,
     "Темп.макс.роб.(град.С)", "Темп.макс.раб.(град.С)"},
    {33, 0xAB, ItemKind::Float, true, -60.0, 70.0, 0x18, PlaceKind::Word, 48, -1, 0x00,
     "Темп.мін.роб.(град.С)", "Темп.мин.раб.(град.С)"},
    {34, 0xAA, ItemKind::Float, true, 0.05, 65.0, 0x1C, PlaceKind::Word, 47, -1, 0x00, "Тиск при позашт. ",
     "Давл.при внешт. "},
    {35, 0xAD, ItemKind::Float, true, -60.0, 70.0, 0x1C, PlaceKind::Word, 50, -1, 0x00,
     "Темп. при позашт. (град.С)", "Темп. при внешт. (град.С)"},
    {36, 0xAE, ItemKind::Float, true, 0.0, 100000.0, 0x1C, PlaceKind::Word, 71, -1, 0x00,
     "Середньодобова витрата(м.куб/доб.)", "Среднесуточный расход(м.куб/сут.)"},
    {37, 0xF0, ItemKind::Mask16, true, 0.0, 65535.0, 0x1C, PlaceKind::Low16, 26, 0, 0x00,
     "Сигнал зміни аварії", "Сигнал изменения аварии"},
    {38, 0xA2, ItemKind::Flag, false, 0.0, 0.0, 0x18, PlaceKind::Bit, 2, 0, 0x02, "Одиниця тиску",
     "Единица давления"},
    {39, 0xA1, ItemKind::Float, true, 1.0, 2.0, 0x10, PlaceKind::Word, 55, -1, 0x00, "Тиск ст.у.     ",
     "Давление ст.у.     "},
    {40, 0xA0, ItemKind::Float, true, 15.0, 25.0, 0x10, PlaceKind::Word, 54, -1, 0x00,
     "Температура ст.у.(град.С)", "Температура ст.у.(град.С)"},
    {41, 0xA3, ItemKind::Flag, false, 0.0, 0.0, 0x1C, PlaceKind::Bit, 2, 0, 0x08, "Qmin, при Q<Qmin ?",
     "Qmin, при Q<Qmin ?"},
    {42, 0xA4, ItemKind::Float, true, 0.0, 5.0, 0x1C, PlaceKind::Word, 62, -1, 0x00, "Qmin<Q<Qtrn (%похибки)",
     "Qmin<Q<Qtrn (%погрешн)"},
    {43, 0xA5, ItemKind::Float, true, 0.0, 5.0, 0x1C, PlaceKind::Word, 67, -1, 0x00, "Тиск баром.",
     "Давл. баром."},
    {44, 0xFC, ItemKind::Text32, false, 0.0, 0.0, 0x18, PlaceKind::Text, 121, -1, 0x00, "Гілка трубопроводу",
     "Нитка трубопровода"},
    {45, 0xFB, ItemKind::Text32, false, 0.0, 0.0, 0x18, PlaceKind::Text, 113, -1, 0x00, "Підприємство",
     "Предприятие"},
    {46, 0xFA, ItemKind::Text32, false, 0.0, 0.0, 0x18, PlaceKind::Text, 105, -1, 0x00, "Лічильник",
     "Счетчик"},
    {47, 0xFD, ItemKind::Text32, false, 0.0, 0.0, 0x18, PlaceKind::Text, 129, -1, 0x00,
     "Інф. для нотаток       ", "Инф. для заметок       "},
    {48, 0xB0, ItemKind::Password, false, 0.0, 0.0, 0x10, PlaceKind::None, -1, -1, 0x00, "ОПЕРАТОР А ",
     "ОПЕРАТОР А "},
    {49, 0xB1, ItemKind::Password, false, 0.0, 0.0, 0x10, PlaceKind::None, -1, -1, 0x00, "ОПЕРАТОР B ",
     "ОПЕРАТОР B "},
    {50, 0xB2, ItemKind::Password, false, 0.0, 0.0, 0x10, PlaceKind::None, -1, -1, 0x00, "ОПЕРАТОР C ",
     "ОПЕРАТОР C "},
    {51, 0xB3, ItemKind::Password, false, 0.0, 0.0, 0x10, PlaceKind::None, -1, -1, 0x00, "МАЙСТЕР E ",
     "МАСТЕР E "},
    {52, 0xB4, ItemKind::Password, false, 0.0, 0.0, 0x10, PlaceKind::None, -1, -1, 0x00, "МАЙСТЕР F ",
     "МАСТЕР F "},
    {53, 0xB5, ItemKind::Password, false, 0.0, 0.0, 0x10, PlaceKind::None, -1, -1, 0x00, "КОНФІГУРАТОР ",
     "КОНФИГУРАТОР "},
    {54, 0xB6, ItemKind::Password, false, 0.0, 0.0, 0x10, PlaceKind::None, -1, -1, 0x00, "ПОВІРНИК ",
     "ПОВЕРИТЕЛЬ "},
    {55, 0xB8, ItemKind::Int32, true, 0.0, 9999.0, 0x12, PlaceKind::None, -1, -1, 0x00, "ОПЕРАТОР А ",
     "ОПЕРАТОР А "},
    {56, 0xB9, ItemKind::Int32, true, 0.0, 9999.0, 0x12, PlaceKind::None, -1, -1, 0x00, "ОПЕРАТОР B ",
     "ОПЕРАТОР B "},
    {57, 0xBA, ItemKind::Int32, true, 0.0, 9999.0, 0x12, PlaceKind::None, -1, -1, 0x00, "ОПЕРАТОР C ",
     "ОПЕРАТОР C "},
    {58, 0xBB, ItemKind::Int32, true, 0.0, 9999.0, 0x12, PlaceKind::None, -1, -1, 0x00, "МАЙСТЕР E ",
     "МАСТЕР E "},
    {59, 0xBC, ItemKind::Int32, true, 0.0, 9999.0, 0x14, PlaceKind::None, -1, -1, 0x00, "МАЙСТЕР F ",
     "МАСТЕР F "},
    {60, 0xBD, ItemKind::Int32, true, 0.0, 9999.0, 0x14, PlaceKind::None, -1, -1, 0x00, "КОНФІГУРАТОР ",
     "КОНФИГУРАТОР "},
    {61, 0xBE, ItemKind::Int32, true, 0.0, 9999.0, 0x18, PlaceKind::None, -1, -1, 0x00, "ПОВІРНИК ",
     "ПОВЕРИТЕЛЬ "},
    {62, 0x8F, ItemKind::Int32, true, 0.0, 1000000000.0, 0x18, PlaceKind::Word, 102, -1, 0x00,
     "Vстд. ЗАГАЛЬНИЙ (м.куб)                  ", "Vстд. ОБЩИЙ (м.куб)                  "},
    {63, 0x9D, ItemKind::Choice, false, 0.0, 0.0, 0x1C, PlaceKind::Byte, 3, 3, 0x00, "Швидк. обміну RS2",
     "Скор. обмена RS2"},
    {64, 0x9E, ItemKind::Flag, false, 0.0, 0.0, 0x1C, PlaceKind::Bit, 2, 0, 0x10, "Термінатор 2",
     "Терминатор 2"},
    {65, 0xC0, ItemKind::Choice, false, 0.0, 0.0, 0x1C, PlaceKind::Byte, 5, 0, 0x00, "Типорозмір",
     "Типоразмер"},
    {66, 0xC1, ItemKind::Choice, false, 0.0, 0.0, 0x00, PlaceKind::Byte, 6, 3, 0x00, "Мова повідомлень",
     "Язык сообщений"},
    {67, 0x88, ItemKind::Float, true, 499.9, 30000.1, 0x10, PlaceKind::Word, 57, -1, 0x00,
     "Коеф.перетвор.(імп./м.куб)", "Коэфф.преобраз.(имп./м.куб)"},
    {68, 0xF1, ItemKind::Float, true, 0.0, 1.0, 0x1E, PlaceKind::Word, 42, -1, 0x00, "Теплота згоряння",
     "Теплота сгорания"},
    {69, 0xF2, ItemKind::Int32, true, 0.0, 1000000000.0, 0x1C, PlaceKind::Word, 104, -1, 0x00,
     "Загальна тепл. енергія", "Общая тепл. энергия"},
    {70, 0xF3, ItemKind::Flag, false, 0.0, 0.0, 0x1C, PlaceKind::Bit, 6, 1, 0x10, "Одиниця теплоти згоряння",
     "Единица теплоты сгорания"},
};

constexpr int kLinkAddressItem = 27;

QString listMessage(int item, const ItemContext& context) {
    return uaRu(context.languageIndex, "Помилка значення змінної:", "Ошибка значения переменной : ") +
           ItemCaption(item, context.profile, context.languageIndex);
}

QString timeMessage(int languageIndex) {
    return uaRu(languageIndex, "Помилка набору часу!", "Ошибка набора времени !");
}
QString dateMessage(int languageIndex) {
    return uaRu(languageIndex, "Помилка набору дати!", "Ошибка набора даты !");
}
QString dateFormatMessage(int languageIndex) {
    return uaRu(languageIndex, "Помилка формату дати!", "Ошибка формата даты !");
}

EncodedItem refuse(CheckResult check, QString message) {
    EncodedItem e;
    e.check = check;
    e.message = std::move(message);
    return e;
}

EncodedItem refuse(const ItemCheck& check) {
    return refuse(check.result, check.message);
}

EncodedItem accept(QByteArray value) {
    EncodedItem e;
    e.ok = true;
    e.value = std::move(value);
    return e;
}

ItemCheck checkFailure(CheckResult result, int languageIndex, const QString& lower = {},
                       const QString& upper = {}) {
    ItemCheck c;
    c.result = result;
    c.message = CheckMessage(result, languageIndex);
    if (result == CheckResult::valueBelow || result == CheckResult::valueAbove)
        c.message += lower + QStringLiteral("..") + upper;
    return c;
}

// A typed minus sign counts as "-".
QString normalisedNumber(const QString& text) {
    QString t = trimBlanks(text);
    t.replace(QChar(0x2212), QLatin1Char('-'));
    return t;
}

// Decimal numbers with "." as the point, an optional sign and exponent; nothing else (no "nan", "inf",
// "," or hexadecimal).
std::optional<double> parseDecimal(const QString& text) {
    static const QRegularExpression pattern(
        QStringLiteral("^[+-]?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)([eE][+-]?[0-9]+)?$"));
    const QString t = normalisedNumber(text);
    if (!pattern.match(t).hasMatch()) return std::nullopt;
    bool ok = false;
    const double value = t.toDouble(&ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
    return value;
}

// Digits and "-" only, then a whole number.
std::optional<qint64> parseInteger(const QString& text) {
    const QString t = normalisedNumber(text);
    if (t.isEmpty()) return std::nullopt;
    for (QChar c : t)
        if (!(c >= QLatin1Char('0') && c <= QLatin1Char('9')) && c != QLatin1Char('-')) return std::nullopt;
    bool ok = false;
    const qint64 value = t.toLongLong(&ok);
    if (!ok) return std::nullopt;
    return value;
}

struct IntegerChecked {
    ItemCheck check;
    qint64 value = 0;
};

IntegerChecked integerCheck(const ItemEntry& entry, const QString& text, int languageIndex) {
    IntegerChecked r;
    const auto value = parseInteger(text);
    if (!value) {
        r.check = checkFailure(CheckResult::valueSyntax, languageIndex);
        return r;
    }
    const auto lower = static_cast<qint64>(std::trunc(entry.minValue));
    const auto upper = static_cast<qint64>(std::trunc(entry.maxValue));
    const QString lo = QString::number(lower);
    const QString hi = QString::number(upper);
    if (*value < lower)
        r.check = checkFailure(CheckResult::valueBelow, languageIndex, lo, hi);
    else if (*value > upper)
        r.check = checkFailure(CheckResult::valueAbove, languageIndex, lo, hi);
    r.value = *value;
    return r;
}

// A float item's entered value, the value the check compares and the bounds it compares with.
struct FloatChecked {
    ItemCheck check;
    double stored = 0; // in the corrector's unit
};

FloatChecked floatCheck(const ItemEntry& entry, const QString& text, const ParameterImage& image,
                        const ItemContext& context) {
    FloatChecked r;
    const int lang = context.languageIndex;
    const auto entered = parseDecimal(text);
    if (!entered) {
        r.check = checkFailure(CheckResult::valueSyntax, lang);
        return r;
    }
    double compared = *entered;
    double stored = *entered;
    auto lower = static_cast<float>(entry.minValue);
    auto upper = static_cast<float>(entry.maxValue);
    if (entry.item == 6) {
        stored = gaugeFromDisplay(*entered, context.gaugeUnit);
        compared = stored;
    } else if (entry.item == 43) {
        stored = baroFromDisplay(*entered, context.baroUnit);
        compared = stored;
    } else if (isPressureItem(entry.item) && image.pressureInMpa()) {
        lower = static_cast<float>(entry.minValue / kKgfCm2PerMpa);
        upper = static_cast<float>(entry.maxValue / kKgfCm2PerMpa);
        stored = FromDisplayPressure(*entered, true);
    } else if (entry.item == 68 && image.heatInGj()) {
        lower = static_cast<float>(ToDisplayHeat(entry.minValue, true));
        upper = static_cast<float>(ToDisplayHeat(entry.maxValue, true));
        stored = FromDisplayHeat(*entered, true);
    }
    const float value = static_cast<float>(compared);
    if (value < lower)
        r.check = checkFailure(CheckResult::valueBelow, lang, floatBoundText(lower), floatBoundText(upper));
    else if (value > upper)
        r.check = checkFailure(CheckResult::valueAbove, lang, floatBoundText(lower), floatBoundText(upper));
    r.stored = stored;
    return r;
}

// Counters kept as whole units of something smaller than what is shown: items 11 and 62 in pulses
// (shown in m³ = pulses ÷ pulse weight), item 69 in thousandths of Gcal (shown in Gcal or GJ).
double counterFactor(int item, const ParameterImage& image) {
    if (item == 69) return 1000.0 / (image.heatInGj() ? kGjPerGcal : 1.0);
    return image.pulseWeight();
}

bool isScaledCounter(int item) {
    return item == 11 || item == 62 || item == 69;
}

// A decimal number as digits × 10^-scale, kept exactly. Fraction digits past 18 cannot change a whole
// count of pulses or thousandths, so they are dropped.
__extension__ typedef __int128 Wide;

struct DecimalNumber {
    bool negative = false;
    Wide digits = 0;
    int scale = 0;
};

std::optional<DecimalNumber> exactDecimal(const QString& text) {
    QString t = normalisedNumber(text);
    DecimalNumber d;
    int exponent = 0;
    const qsizetype e = t.indexOf(QLatin1Char('e'), 0, Qt::CaseInsensitive);
    if (e >= 0) {
        bool ok = false;
        exponent = t.mid(e + 1).toInt(&ok);
        if (!ok || exponent > 18 || exponent < -18) return std::nullopt;
        t.truncate(e);
    }
    if (t.startsWith(QLatin1Char('-')) || t.startsWith(QLatin1Char('+'))) {
        d.negative = t.startsWith(QLatin1Char('-'));
        t.remove(0, 1);
    }
    bool fraction = false;
    int significant = 0;
    for (QChar c : t) {
        if (c == QLatin1Char('.')) {
            fraction = true;
            continue;
        }
        if (fraction && d.scale >= 18) continue;
        if (d.digits != 0 && ++significant > 30) return std::nullopt;
        d.digits = d.digits * 10 + (c.unicode() - '0');
        if (fraction) ++d.scale;
    }
    d.scale -= exponent;
    for (; d.scale < 0; ++d.scale)
        d.digits *= 10;
    return d;
}

// The pulse weights and the thousandths of Gcal as exact decimal factors; nothing for the GJ factor.
std::optional<DecimalNumber> decimalFactor(int item, const ParameterImage& image) {
    if (item == 69) {
        if (image.heatInGj()) return std::nullopt;
        return DecimalNumber{false, 1000, 0};
    }
    const QString entry = ChoiceText(ValueList::PulseWeights5, image.pulseWeightIndex(), kRussian);
    return exactDecimal(entry.isEmpty() ? QStringLiteral("1") : entry);
}

// trunc(value × factor) of two exact decimals; nothing when a product could not be held exactly.
std::optional<qint64> truncatedProductOf(const DecimalNumber& value, const DecimalNumber& factor) {
    constexpr Wide kEighteenDigits = 1'000'000'000'000'000'000;
    if (value.digits >= kEighteenDigits || factor.digits >= kEighteenDigits) return std::nullopt;
    Wide product = value.digits * factor.digits;
    for (int s = value.scale + factor.scale; s > 0; --s)
        product /= 10;
    if (product > Wide(std::numeric_limits<qint64>::max())) return std::nullopt;
    const auto whole = static_cast<qint64>(product);
    return value.negative != factor.negative ? -whole : whole;
}

// trunc(value × factor) computed in decimal, so that 0.29 × 100 gives 29 pulses.
std::optional<double> scaledExactly(const QString& text, int item, const ParameterImage& image) {
    const auto value = exactDecimal(text);
    const auto factor = decimalFactor(item, image);
    if (!value || !factor) return std::nullopt;
    const auto whole = truncatedProductOf(*value, *factor);
    if (!whole) return std::nullopt;
    return static_cast<double>(*whole);
}

EncodedItem encodeScaledCounter(const ItemEntry& entry, const QString& text, const ParameterImage& image,
                                const ItemContext& context) {
    const int lang = context.languageIndex;
    const auto entered = parseDecimal(text);
    if (!entered) return refuse(checkFailure(CheckResult::valueSyntax, lang));
    const double factor = counterFactor(entry.item, image);
    const double stored = scaledExactly(text, entry.item, image).value_or(std::trunc(*entered * factor));
    // The stored counter must stay within the item's range; the message gives the bounds as shown.
    const QString lo = floatBoundText(static_cast<float>(entry.minValue / factor));
    const QString hi = floatBoundText(static_cast<float>(entry.maxValue / factor));
    if (*entered < 0 || stored < entry.minValue)
        return refuse(checkFailure(CheckResult::valueBelow, lang, lo, hi));
    if (stored > entry.maxValue) return refuse(checkFailure(CheckResult::valueAbove, lang, lo, hi));
    return accept(i32Bytes(static_cast<qint32>(stored)));
}

struct FlagEntries {
    ValueList list;
    int onIndex;
};

FlagEntries flagEntries(int item) {
    switch (item) {
    case 8:
        return {ValueList::AccountingList, 1};
    case 38:
        return {ValueList::PressureUnits, 1};
    case 70:
        return {ValueList::HeatUnits, 1};
    default:
        return {ValueList::OnOffList, 0};
    }
}

// The list an entered choice is looked up in.
std::optional<ValueList> encodeList(int item, const ModelProfile& profile) {
    if (item == 15) return ValueList::PulseWeights5;
    return ItemDisplayList(item, profile);
}

ValueList typesizeList(const ModelProfile& profile) {
    switch (profile.typesizeList) {
    case TypesizeListKind::B:
        return ValueList::TypesizeListB;
    case TypesizeListKind::C:
        return ValueList::TypesizeListC;
    case TypesizeListKind::A:
        break;
    }
    return ValueList::TypesizeListA;
}

bool allDigits(const QString& text) {
    for (QChar c : text)
        if (!(c >= QLatin1Char('0') && c <= QLatin1Char('9'))) return false;
    return true;
}

bool onlyCharacters(const QString& text, int size, QChar separator) {
    if (text.size() != size) return false;
    for (QChar c : text)
        if (!(c >= QLatin1Char('0') && c <= QLatin1Char('9')) && c != separator) return false;
    return true;
}

// The 5-character time field as hour and minute; nothing when malformed or out of range.
std::optional<QTime> timeField(const QString& text) {
    if (!onlyCharacters(text, 5, QLatin1Char(':'))) return std::nullopt;
    return parseShortTime(text);
}

QString floatItemText(const ItemEntry& entry, float value, const ParameterImage& image,
                      const ItemContext& context) {
    switch (entry.item) {
    case 6:
        return displayNumber(gaugeToDisplay(value, context.gaugeUnit), gaugeDecimals(context.gaugeUnit));
    case 43:
        return displayNumber(baroToDisplay(value, context.baroUnit), baroDecimals(context.baroUnit));
    case 68:
        return displayNumber(ToDisplayHeat(value, image.heatInGj()), 5);
    default:
        return image.WordText(entry.word);
    }
}

} // namespace

bool isPressureItem(int item) {
    return item == 24 || item == 30 || item == 31 || item == 34 || item == 39;
}

const ItemEntry* FindItem(int item) {
    if (item < 1 || item > kItemCount) return nullptr;
    return &kItems[item - 1];
}

bool IsWritableAt(int item, int accessLevel) {
    const ItemEntry* entry = FindItem(item);
    if (!entry || accessLevel < 0 || accessLevel > 7) return false;
    return entry->writableMask & (1u << accessLevel);
}

int ItemReadCount(int item) {
    const ItemEntry* entry = FindItem(item);
    return entry && entry->kind == ItemKind::Text32 ? kTextItemReplySize : kItemReplySize;
}

int EffectiveItem(int item, const ModelProfile& profile) {
    if (item == 15 && profile.hasCalibrationTable()) return 67;
    return item;
}

QString ItemCaption(int item, const ModelProfile& profile, int languageIndex) {
    const ItemEntry* entry = FindItem(item);
    if (!entry) return {};
    if (item == 65 && profile.meterCoefModel)
        return uaRu(languageIndex, "Діаметр умовного проходу", "Диаметр условного прохода");
    return uaRu(languageIndex, entry->captionUa, entry->captionRu);
}

std::optional<ValueList> ItemDisplayList(int item, const ModelProfile& profile) {
    const ItemEntry* entry = FindItem(item);
    if (!entry) return std::nullopt;
    if (entry->kind == ItemKind::Flag) return flagEntries(item).list;
    if (item == 7) return ValueList::GasNames;
    if (entry->kind != ItemKind::Choice) return std::nullopt;
    switch (item) {
    case 5:
        return profile.methodList == MethodListKind::Two ? ValueList::MethodList2 : ValueList::MethodList4;
    case 15:
        return profile.hasCalibrationTable() ? ValueList::PulseWeightsCalib : ValueList::PulseWeights5;
    case 23:
        return ValueList::OperArchiveModes;
    case 26:
    case 63:
        return ValueList::BaudList;
    case 29:
        return profile.sensorOffList == SensorOffListKind::Four ? ValueList::SensorOffList4
                                                                : ValueList::SensorOffList8;
    case 65:
        return profile.meterCoefModel ? ValueList::DnList : typesizeList(profile);
    case 66:
        return ValueList::LanguageList;
    default:
        return std::nullopt;
    }
}

QString CheckMessage(CheckResult result, int languageIndex) {
    switch (result) {
    case CheckResult::valueSyntax:
        return uaRu(languageIndex, "Помилка набору змінної !", "Ошибка набора переменной !");
    case CheckResult::valueBelow:
        return uaRu(languageIndex, "Змінна менше допуску!", "Переменная  меньше допуска!");
    case CheckResult::valueAbove:
        return uaRu(languageIndex, "Змінна більше допуску!", "Переменная  больше допуска!");
    case CheckResult::valueOk:
        break;
    }
    return {};
}

DecodedItem DecodeItem(int item, const QByteArray& payload, ParameterImage& image,
                       const ItemContext& context) {
    DecodedItem d;
    const ItemEntry* entry = FindItem(item);
    if (!entry) return d;
    const int lang = context.languageIndex;
    d.serial = readU16(payload, 0);
    const QByteArray value = payload.mid(2, 4).leftJustified(4, '\0', true);
    const quint8 b0 = readU8(value, 0);
    switch (entry->kind) {
    case ItemKind::Float:
        image.setWordBytes(entry->word, value);
        d.text = floatItemText(*entry, readFloat(value, 0), image, context);
        break;
    case ItemKind::Int32: {
        const qint32 v = readI32(value, 0);
        if (entry->place == PlaceKind::Word) image.setWordBytes(entry->word, value);
        if (item == 11 || item == 62)
            d.text = displayNumber(v / image.pulseWeight(), 2);
        else if (item == 69)
            d.text = displayNumber(ToDisplayHeat(v / 1000.0, image.heatInGj()), 3);
        else
            d.text = QString::number(v);
        break;
    }
    case ItemKind::Byte:
        image.setByte(entry->word, entry->byte, b0);
        if (item == 18 || item == 21)
            d.text = QString::number(static_cast<qint8>(b0));
        else if (item == kLinkAddressItem)
            d.text = QString::number(b0 + 1);
        else if (item == 7)
            d.text = ChoiceText(ValueList::GasNames, b0, lang);
        else
            d.text = QString::number(b0);
        break;
    case ItemKind::Choice:
        image.setByte(entry->word, entry->byte, b0);
        if (const auto list = ItemDisplayList(item, context.profile)) d.text = ChoiceText(*list, b0, lang);
        break;
    case ItemKind::Flag: {
        const bool on = b0 == 1;
        image.setBit(entry->word, entry->byte, entry->bit, on);
        const FlagEntries f = flagEntries(item);
        d.text = ChoiceText(f.list, on ? f.onIndex : 1 - f.onIndex, lang);
        break;
    }
    case ItemKind::Mask16:
        image.setByte(entry->word, 0, readU8(value, 0));
        image.setByte(entry->word, 1, readU8(value, 1));
        d.text = hex4(readU16(value, 0));
        break;
    case ItemKind::Hour:
        image.setByte(entry->word, entry->byte, b0);
        d.text = twoDigits(b0) + QStringLiteral(":00");
        break;
    case ItemKind::DateTime: {
        const quint32 minutes = readMinutes(value, 0);
        d.dateText = minutesDateText(minutes);
        d.timeText = minutesTimeText(minutes);
        d.text = minutesText(minutes);
        break;
    }
    case ItemKind::Text32: {
        const QByteArray chars =
            payload.mid(kTextItemOffset, kTextItemLength).leftJustified(kTextItemLength, ' ');
        for (int i = 0; i < 8; ++i)
            image.setWordBytes(entry->word + i, chars.mid(4 * i, 4));
        d.text = image.textItem(entry->word);
        break;
    }
    case ItemKind::Password:
        d.text = QString::number(readI32(value, 0));
        break;
    }
    return d;
}

ItemCheck CheckItemValue(int item, const QString& text, const ParameterImage& image,
                         const ItemContext& context) {
    const ItemEntry* entry = FindItem(item);
    if (!entry || entry->kind != ItemKind::Float) return {};
    return floatCheck(*entry, text, image, context).check;
}

EncodedItem EncodeItem(int item, const QString& text, const ParameterImage& image,
                       const ItemContext& context) {
    const ItemEntry* entry = FindItem(item);
    const int lang = context.languageIndex;
    if (!entry) return refuse(CheckResult::valueSyntax, CheckMessage(CheckResult::valueSyntax, lang));
    switch (entry->kind) {
    case ItemKind::Text32: {
        if (text.size() > kTextItemLength) return refuse(CheckResult::valueOk, listMessage(item, context));
        const QByteArray bytes = toCp1251(text);
        if (fromCp1251(bytes) != text) return refuse(CheckResult::valueOk, listMessage(item, context));
        return accept(bytes.leftJustified(kTextItemLength, ' '));
    }
    case ItemKind::Choice: {
        const auto list = encodeList(item, context.profile);
        const int index = list ? ChoiceIndex(*list, text, lang) : -1;
        if (index < 0) return refuse(CheckResult::valueOk, listMessage(item, context));
        return accept(u32Bytes(quint32(index)));
    }
    case ItemKind::Hour: {
        const auto time = timeField(text);
        if (!time) return refuse(CheckResult::valueOk, timeMessage(lang));
        return accept(u32Bytes(quint32(time->hour())));
    }
    case ItemKind::DateTime: {
        const QString t = trimBlanks(text);
        const qsizetype blank = t.indexOf(QLatin1Char(' '));
        if (blank < 0) return EncodeDateTime(t, QString(), lang);
        return EncodeDateTime(t.left(blank), trimBlanks(t.mid(blank + 1)), lang);
    }
    case ItemKind::Flag: {
        const FlagEntries f = flagEntries(item);
        const int index = ChoiceIndex(f.list, text, lang);
        if (index < 0) return refuse(CheckResult::valueOk, listMessage(item, context));
        return accept(u32Bytes(index == f.onIndex ? 1u : 0u));
    }
    case ItemKind::Byte: {
        QString number = text;
        if (item == 7) {
            const int gas = ChoiceIndex(ValueList::GasNames, text, lang);
            if (gas < 0) return refuse(CheckResult::valueOk, listMessage(item, context));
            number = QString::number(gas);
        }
        const IntegerChecked r = integerCheck(*entry, number, lang);
        if (r.check.result != CheckResult::valueOk) return refuse(r.check);
        const qint64 sent = item == kLinkAddressItem ? r.value - 1 : r.value;
        return accept(u32Bytes(quint32(quint8(sent & 0xFF))));
    }
    case ItemKind::Mask16: {
        const QString t = trimBlanks(text);
        static const QRegularExpression hexDigits(QStringLiteral("^[0-9A-Fa-f]+$"));
        if (!hexDigits.match(t).hasMatch())
            return refuse(CheckResult::valueSyntax, CheckMessage(CheckResult::valueSyntax, lang));
        bool ok = false;
        const qulonglong value = t.toULongLong(&ok, 16);
        if (!ok || value > 0xFFFF) return refuse(CheckResult::valueOk, listMessage(item, context));
        return accept(u32Bytes(quint32(value)));
    }
    case ItemKind::Int32: {
        if (isScaledCounter(item)) return encodeScaledCounter(*entry, text, image, context);
        const IntegerChecked r = integerCheck(*entry, text, lang);
        if (r.check.result != CheckResult::valueOk) return refuse(r.check);
        return accept(i32Bytes(static_cast<qint32>(r.value)));
    }
    case ItemKind::Password: {
        if (text.size() != 4 || !allDigits(text))
            return refuse(CheckResult::valueOk, uaRu(lang, "Пароль невірний!", "Пароль неверен !"));
        return accept(i32Bytes(text.toInt()));
    }
    case ItemKind::Float: {
        const FloatChecked r = floatCheck(*entry, text, image, context);
        if (r.check.result != CheckResult::valueOk) return refuse(r.check);
        return accept(floatBytes(static_cast<float>(r.stored)));
    }
    }
    return refuse(CheckResult::valueSyntax, CheckMessage(CheckResult::valueSyntax, lang));
}

EncodedItem EncodeDateTime(const QString& dateText, const QString& timeText, int languageIndex) {
    const auto time = timeField(timeText);
    if (!time) return refuse(CheckResult::valueOk, timeMessage(languageIndex));
    if (!onlyCharacters(dateText, 10, QLatin1Char('.')))
        return refuse(CheckResult::valueOk, dateMessage(languageIndex));
    const auto date = parseDate(dateText);
    if (!date) return refuse(CheckResult::valueOk, dateFormatMessage(languageIndex));
    // The corrector counts 24-bit minutes from 01.01.2000 00:00: up to 24.11.2031 20:15.
    const auto minutes = dateTimeToMinutes(QDateTime(*date, *time), true);
    if (!minutes) return refuse(CheckResult::valueOk, dateFormatMessage(languageIndex));
    return accept(u32Bytes(*minutes));
}

QByteArray ItemWriteData(int item, quint32 serialNumber, const QByteArray& value) {
    QByteArray data = u16Bytes(static_cast<quint16>(serialNumber & 0xFFFF));
    const ItemEntry* entry = FindItem(item);
    if (entry && entry->kind == ItemKind::Text32) {
        data += QByteArray::fromHex("00000080");
        data += value.left(kTextItemLength).leftJustified(kTextItemLength, ' ');
    } else {
        data += value.left(4).leftJustified(4, '\0');
    }
    return data;
}

std::optional<qint64> truncatedDecimalProduct(const QString& value, const QString& factor) {
    if (!parseDecimal(value) || !parseDecimal(factor)) return std::nullopt;
    const auto a = exactDecimal(value);
    const auto b = exactDecimal(factor);
    if (!a || !b) return std::nullopt;
    return truncatedProductOf(*a, *b);
}

} // namespace tarn::corrector
