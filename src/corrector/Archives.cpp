#include "corrector/Archives.h"

#include "common/Language.h"
#include "corrector/DeviceValues.h"
#include "corrector/ItemTable.h"
#include "corrector/Units.h"
#include "corrector/ValueLists.h"

namespace tarn::corrector {

namespace {

constexpr quint8 kOpArchiveLow = 0x20;
constexpr quint8 kOpArchiveHigh = 0x21;
constexpr int kPageSize = 256;
// The operative archive's last page holds only half its records.
constexpr int kLastOperativePage = 127;
// A page is read this many times at most before its bad records are taken as empty.
constexpr int kPageRejections = 3;
// The third empty record of a page is the archive's empty end.
constexpr int kEmptyRecordsAtTheEnd = 3;
// The service area of the later models, taken when the model gave none.
constexpr int kShortServiceLastPage = 15;
constexpr int kShortServiceDepth = 495;
// A correction factor is stored in thousandths instead of ten-thousandths from this pressure on.
constexpr double kCoarseCorrectionFromKgfCm2 = 6.0;

QString fixed(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

QString numberCell(int number) {
    return QStringLiteral("%1").arg(number, 5, 10, QLatin1Char('0'));
}

QString pressureCell(quint16 raw, const ArchiveContext& c) {
    return fixed(ToDisplayPressure(raw / 1000.0, c.image.pressureInMpa()), 3);
}

QString correctionCell(quint16 raw, quint16 pressureRaw) {
    // Every factor column has four decimals, whichever unit the corrector stored it in: a column whose
    // numbers change their decimals from row to row is misread.
    const double divisor = pressureRaw / 1000.0 >= kCoarseCorrectionFromKgfCm2 ? 1000.0 : 10000.0;
    return fixed(raw / divisor, 4);
}

double standardVolume(double m3, const ArchiveContext& c) {
    return ToDisplayVolume(m3, c.image.showsMass(c.profile), c.image.gasIndex());
}

double pulses(qint32 counter, const ArchiveContext& c) {
    const double weight = c.image.pulseWeight();
    return weight != 0.0 ? counter / weight : 0.0;
}

// The first 31 bytes shared by hourly, daily and monthly records: the number, date and time, four
// volumes, P, T and the two factors (the status words come last, their place differs).
QStringList periodCells(const QByteArray& r, int number, const ArchiveContext& c) {
    const quint32 minutes = readMinutes(r, 0);
    const int d = c.volumeDecimals;
    const quint16 p = readU16(r, 19);
    return {numberCell(number),
            minutesDateText(minutes),
            minutesTimeText(minutes),
            fixed(readFloat(r, 3), d),
            fixed(standardVolume(readFloat(r, 7), c), d),
            fixed(readFloat(r, 11), d),
            fixed(standardVolume(readFloat(r, 15), c), d),
            pressureCell(p, c),
            fixed(static_cast<qint16>(readU16(r, 21)) / 100.0, 2),
            fixed(readU16(r, 23) / 10000.0, 4),
            correctionCell(readU16(r, 25), p)};
}

QString heatUnitText(const ArchiveContext& c) {
    return ChoiceText(ValueList::HeatUnits, c.image.heatInGj() ? 1 : 0, c.languageIndex);
}

QString pressureUnitText(const ArchiveContext& c) {
    return ChoiceText(ValueList::PressureUnits, c.image.pressureInMpa() ? 1 : 0, c.languageIndex);
}

QString listText(std::optional<ValueList> list, int index, int lang) {
    if (!list) return QString::number(index);
    return ChoiceText(*list, index, lang);
}

QString onOff(bool on, int lang) {
    return on ? QStringLiteral("ВКЛ.") : uaRu(lang, "ВИМК.", "ВЫКЛ.");
}

// The name of a changed bit: the bits are tested one after the other and the last that matches wins.
// A changed bit: its name and how its state reads (on/off unless the bit has texts of its own).
struct BitName {
    quint8 bit;
    const char* name;
    QString (*state)(bool on, int lang) = onOff;
};
constexpr BitName kConfigBits[] = {
    {0x01, "автоперевод_З/Л"},
    {0x02, "единица_давления",
     [](bool on, int) { return on ? QStringLiteral("МПа") : QStringLiteral("кгс/см2"); }},
    {0x04, "терминатор_RS232"},
    {0x08, "Qmin_при_Q<Qmin"},
    {0x10, "терминат_RS232-2"},
    {0x80, "Тип_термопреобр.",
     [](bool on, int) { return on ? QStringLiteral("W100=1.385") : QStringLiteral("W100=1.391"); }}};
constexpr BitName kUnitBits[] = {
    {0x01, "запрет_с_кнопок"},
    {0x02, "учет_газа",
     [](bool on, int lang) { return ChoiceText(ValueList::AccountingList, on ? 1 : 0, lang); }},
    {0x10, "един.теплоты_сгорания",
     [](bool on, int lang) { return ChoiceText(ValueList::HeatUnits, on ? 1 : 0, lang); }}};

template <std::size_t N> std::optional<BitName> changedBit(const BitName (&names)[N], quint8 mask) {
    std::optional<BitName> found;
    for (const BitName& b : names)
        if (mask & b.bit) found = b;
    return found;
}

// What the name of a float word gains in a row: the heat unit of word 42.
QString floatNameSuffix(int word, const ArchiveContext& c) {
    if (word != 42 || !c.profile.heatEnergy) return {};
    return c.image.heatInGj() ? QStringLiteral("(ГДж/м.куб)") : QStringLiteral("(Гкал/м.куб)");
}

QString floatCell(int word, float value, const ArchiveContext& c) {
    const ModelProfile& p = c.profile;
    const bool mpa = c.image.pressureInMpa();
    const bool calib = p.hasCalibrationTable();
    if (word == 101) return fixed(value, 1) + QLatin1Char('%');
    if (word == 71) return fixed(value, 1);
    if (word == 42 && p.heatEnergy) return fixed(ToDisplayHeat(value, c.image.heatInGj()), 6);
    if (word == 45 || word == 46 || word == 47 || word == 64 || word == 66 || word == 67)
        return fixed(ToDisplayPressure(value, mpa), mpa ? 4 : 3) + QStringLiteral(" (") +
               pressureUnitText(c) + QLatin1Char(')');
    if (word == 55)
        return fixed(ToDisplayPressure(value, mpa), mpa ? 6 : 5) + QStringLiteral(" (") +
               pressureUnitText(c) + QLatin1Char(')');
    if (word == 57 && calib) return fixed(value, 2);
    if (word >= 145 && word <= 184 && p.meterCoefModel) return fixed(value, 6);
    if (word >= 157 && word <= 184 && calib) return fixed(value, 5);
    if (word >= 32 && word <= 41) return exponentText(value);
    return fixed(value, 5);
}

} // namespace

int ArchiveGeometry::recordsOnPage(int page) const {
    const int records = kPageSize / recordSize;
    return archive == Archive::Operative && page == kLastOperativePage ? records / 2 : records;
}

std::optional<ArchiveGeometry> archiveGeometry(int kind, const ModelProfile& profile) {
    switch (kind) {
    case 3:
        return ArchiveGeometry{Archive::Hourly, 3, kOpArchiveLow, 52, 204, 32};
    case 6:
        return ArchiveGeometry{Archive::Abnormal, 6, kOpArchiveLow, 0, 52, 16};
    case 4:
        return ArchiveGeometry{Archive::Daily, 4, kOpArchiveHigh, 192, 32, 64};
    case 5:
        return ArchiveGeometry{Archive::Monthly, 5, kOpArchiveHigh, 224, 8, 64};
    case 7:
        return ArchiveGeometry{Archive::Interference, 7, kOpArchiveHigh, 128, 64, 16};
    case 9:
        return ArchiveGeometry{Archive::Operative, 9, kOpArchiveHigh, 0, 128, 16};
    case 10: {
        // archivePages is the last page counted from the first (15 or 23: 16 or 24 pages). An identification
        // that gave no geometry reads the shorter service area.
        const bool known = profile.archivePages > 0 && profile.archiveDepth > 0;
        return ArchiveGeometry{Archive::Service,
                               10,
                               kOpArchiveHigh,
                               232,
                               (known ? profile.archivePages : kShortServiceLastPage) + 1,
                               8,
                               known ? profile.archiveDepth : kShortServiceDepth};
    }
    default:
        return std::nullopt;
    }
}

std::optional<ArchiveGeometry> archiveGeometry(Archive archive, const ModelProfile& profile) {
    static constexpr int kKinds[kArchiveCount] = {3, 4, 5, 6, 7, 9, 10};
    return archiveGeometry(kKinds[static_cast<int>(archive) - 1], profile);
}

bool isArchiveKind(int kind) {
    return archiveGeometry(kind, ModelProfile{}).has_value();
}

bool recordCheckOk(const QByteArray& record) {
    quint8 sum = 0;
    for (char c : record)
        sum = static_cast<quint8>(sum + static_cast<quint8>(c));
    return sum == 0;
}

bool isEmptyRecord(const QByteArray& record) {
    return readMinutes(record, 0) == 0;
}

QString statusText(quint16 word1, quint16 word2) {
    static constexpr char kLetters[] = {'x', '.', 'o', 'O'};
    QString text = QStringLiteral("xxx/");
    for (int bit = 11; bit >= 0; --bit) {
        const int pair = (((word2 >> bit) & 1) << 1) | ((word1 >> bit) & 1);
        text += QLatin1Char(kLetters[pair]);
    }
    if (word1 & 0x4000) text[0] = QChar(0x0417); // З
    if (word1 & 0x2000) text[1] = QChar(0x0418); // И
    if (word1 & 0x1000) text[2] = QChar(0x0412); // В
    return text;
}

QStringList archiveColumns(Archive archive, const ArchiveContext& c) {
    const int l = c.languageIndex;
    const QStringList head{QStringLiteral("N зап."), uaRu(l, "ДАТА", "ДАТА"), uaRu(l, "ЧАС", "ВРЕМЯ")};
    const QStringList period{uaRu(l, "Vроб(м.куб)", "Vраб(м.куб)"),
                             QStringLiteral("Vстд(м.куб)"),
                             QStringLiteral("Vавр(м.куб)"),
                             QStringLiteral("Vстд.авр.(м.куб)"),
                             QStringLiteral("P"),
                             QStringLiteral("T(гр.С)"),
                             uaRu(l, "Кстис", "Ксжим"),
                             uaRu(l, "Ккор", "Ккорр")};
    const QString help = uaRu(l, "Довідка", "Справка");
    switch (archive) {
    case Archive::Hourly:
        return head + period + QStringList{help};
    case Archive::Daily:
    case Archive::Monthly:
        return head + period +
               QStringList{uaRu(l, "Vліч.", "Vсчетч."), help, QStringLiteral("HEX"),
                           QStringLiteral("E (") + heatUnitText(c) + QLatin1Char(')'),
                           uaRu(l, "Vстд.заг(м.куб)", "Vстд.общ(м.куб)")};
    case Archive::Abnormal:
        return head + QStringList{uaRu(l, "Пот.код", "Тек.код"), uaRu(l, "Попер.код", "Пред.код"),
                                  QStringLiteral("Vавр.(м.куб)"), QStringLiteral("Vавр.ст.(м.куб)")};
    case Archive::Interference:
        return head + QStringList{uaRu(l, "ХТО", "КТО"),
                                  uaRu(l, "ЗМІНЮВАНИЙ ПАРАМЕТР", "ИЗМЕНЯЕМЫЙ ПАРАМЕТР"),
                                  uaRu(l, "БУЛО", "БЫЛО"), uaRu(l, "СТАЛО", "СТАЛО"), QStringLiteral("HEX")};
    case Archive::Operative:
        return head + QStringList{QStringLiteral("P"), QStringLiteral("T(гр.С)"), uaRu(l, "Ккор", "Ккорр"),
                                  uaRu(l, "Витрата", "Расход"), uaRu(l, "Vліч.", "Vсчетч.")};
    case Archive::Service:
        return head + QStringList{uaRu(l, "Пот.код", "Тек.код"), uaRu(l, "Попер.код", "Пред.код")};
    }
    return head;
}

namespace {
// The changes whose values are entries of a value list: the kind, the code, the parameter's name, and the
// list for the corrector's model.
struct ListChange {
    int kind;
    int code;
    const char* name;
    std::optional<ValueList> (*list)(const ModelProfile&);
};
constexpr ListChange kListChanges[] = {
    {5, 10, "метод_расч.Kсжим", [](const ModelProfile& p) { return ItemDisplayList(5, p); }},
    {5, 14, "тип_интерфейса",
     [](const ModelProfile&) -> std::optional<ValueList> { return ValueList::InterfaceTypes; }},
    {5, 27, "язык_сообщений",
     [](const ModelProfile&) -> std::optional<ValueList> { return ValueList::LanguageList; }},
    {6, 9, "коэф._преобраз.(имп./м.куб.)", [](const ModelProfile& p) { return ItemDisplayList(15, p); }},
    {6, 11, "запись_операт.архива",
     [](const ModelProfile&) -> std::optional<ValueList> { return ValueList::OperArchiveModes; }},
    {6, 13, "скор.обмена_по_RS232",
     [](const ModelProfile&) -> std::optional<ValueList> { return ValueList::BaudList; }},
    {6, 15, "скор.обм_по_RS232-2",
     [](const ModelProfile&) -> std::optional<ValueList> { return ValueList::BaudList; }},
    {6, 19, "Выключение_датчиков", [](const ModelProfile& p) { return ItemDisplayList(29, p); }},
    {6, 31, "название_газа",
     [](const ModelProfile&) -> std::optional<ValueList> { return ValueList::GasNames; }},
};
} // namespace

InterferenceCells decodeInterference(const QByteArray& b, const ArchiveContext& c) {
    // b[0] is record byte 5.
    auto byte = [&b](int recordOffset) { return readU8(b, recordOffset - 5); };
    const int lang = c.languageIndex;
    const ModelProfile& p = c.profile;
    InterferenceCells cells;
    const quint8 code = byte(5);
    const int kind = byte(6) >> 4;
    const int by = byte(6) & 0x0F;
    static constexpr const char* kWhoRu[] = {"НЕИЗ-ЫЙ", "ОПЕР._A", "ОПЕР._B",   "ОПЕР._C",
                                             "МАСТ._E", "МАСТ._F", "Конфигур.", "ПОВ-ЛЬ"};
    static constexpr const char* kWhoUa[] = {"НЕВІД-ИЙ", "ОПЕР._A",  "ОПЕР._B",   "ОПЕР._C",
                                             "МАЙСТ._E", "МАЙСТ._F", "Конфігур.", "ПОВ-НИК"};
    cells.who = (by & 0x08) ? uaRu(lang, kWhoUa[0], kWhoRu[0]) : uaRu(lang, kWhoUa[by], kWhoRu[by]);

    const quint8 before = byte(7);
    const quint8 after = byte(11);
    auto decimalPair = [&](QString suffix = {}) {
        cells.before = QString::number(before) + suffix;
        cells.after = QString::number(after) + suffix;
    };
    auto listPair = [&](std::optional<ValueList> list) {
        cells.before = listText(list, before, lang);
        cells.after = listText(list, after, lang);
    };
    for (const ListChange& change : kListChanges)
        if (change.kind == kind && change.code == code) {
            cells.parameter = QString::fromUtf8(change.name);
            listPair(change.list(p));
            return cells;
        }
    switch (kind) {
    case 0: // a byte
        switch (code) {
        case 4:
            cells.parameter = uaRu(lang, "час_індикації", "время_индикации");
            decimalPair();
            break;
        case 6:
            cells.parameter = uaRu(lang, "контрактний_час", "контрактн.время");
            decimalPair();
            break;
        case 7:
            cells.parameter = uaRu(lang, "контрактна_доба", "контрактн.сутки");
            decimalPair();
            break;
        case 16:
            cells.parameter = uaRu(lang, "час_усереднення", "время_усреднения");
            cells.before = QString::number(before * 2 + 2) + QStringLiteral("(сек)");
            cells.after = QString::number(after * 2 + 2) + QStringLiteral("(сек)");
            break;
        case 21:
            // The time correction is signed.
            cells.parameter = uaRu(lang, "корекція_часу", "коррекция_времени");
            cells.before = QString::number(static_cast<qint8>(before));
            cells.after = QString::number(static_cast<qint8>(after));
            break;
        case 26:
            cells.parameter = uaRu(lang, "нова_батарея", "новая_батарея");
            decimalPair(uaRu(lang, "A*год", "A*час"));
            break;
        default:
            cells.parameter = QString::number(code);
            decimalPair();
            break;
        }
        break;
    case 1: // 16 bits
        cells.parameter =
            code == 52 ? uaRu(lang, "Сигнал_зміни.аварії", "Сигнал_изм.аварии") : QString::number(code);
        cells.before = hex4(readU16(b, 7 - 5));
        cells.after = hex4(readU16(b, 11 - 5));
        break;
    case 2: { // int32 at a word index
        const int word = code;
        cells.parameter = WordName(word > 183 ? 0 : word, lang);
        const qint32 was = readI32(b, 7 - 5);
        const qint32 is = readI32(b, 11 - 5);
        if (word >= 137 && word <= 144) {
            cells.parameter = uaRu(lang, "Зміна_паролю", "Смена_пароля");
            cells.before = cells.after = QStringLiteral("XXXX");
        } else if (word == 97) {
            cells.before = fixed(pulses(was, c), c.volumeDecimals);
            cells.after = fixed(pulses(is, c), c.volumeDecimals);
        } else if (word == 102) {
            cells.before = fixed(standardVolume(pulses(was, c), c), c.volumeDecimals);
            cells.after = fixed(standardVolume(pulses(is, c), c), c.volumeDecimals);
        } else if (word == 104) {
            const bool gj = c.image.heatInGj();
            cells.parameter += gj ? QStringLiteral("(ГДж.)") : QStringLiteral("(Гкал.)");
            cells.before = fixed(ToDisplayHeat(was / 1000.0, gj), 3);
            cells.after = fixed(ToDisplayHeat(is / 1000.0, gj), 3);
        } else {
            cells.before = QString::number(was);
            cells.after = QString::number(is);
        }
        break;
    }
    case 3: { // float at a word index
        const int word = code;
        cells.parameter = WordName(word > 184 ? 0 : word, lang);
        if ((p.series2Model || p.calibModel2) && word == 66)
            cells.parameter = uaRu(lang, "Тиск_надлишковий", "Давл. избыточное");
        if ((p.series2Model || p.calibModel2) && word == 67)
            cells.parameter = uaRu(lang, "Тиск_барометрич.", "Давл. барометрич.");
        cells.parameter += floatNameSuffix(word, c);
        cells.before = floatCell(word, readFloat(b, 7 - 5), c);
        cells.after = floatCell(word, readFloat(b, 11 - 5), c);
        break;
    }
    case 4: // the clock
        cells.parameter = uaRu(lang, "Дата/Час", "Дата/Время");
        cells.before = minutesDateText(readMinutes(b, 7 - 5)) + QLatin1Char('/') +
                       minutesTimeText(readMinutes(b, 7 - 5));
        cells.after = minutesDateText(readMinutes(b, 11 - 5)) + QLatin1Char('/') +
                      minutesTimeText(readMinutes(b, 11 - 5));
        break;
    case 5: // bits
        switch (code) {
        case 8:
        case 25: {
            // The changed bit is the one set in byte 12; the values are bytes 7 and 11 under their masks.
            const auto bit = code == 8 ? changedBit(kConfigBits, byte(12)) : changedBit(kUnitBits, byte(12));
            cells.parameter = bit ? QString::fromUtf8(bit->name) : QString::number(code);
            const auto state = bit ? bit->state : onOff;
            cells.before = state(byte(7) & byte(8), lang);
            cells.after = state(byte(11) & byte(12), lang);
            break;
        }
        default:
            cells.parameter = QString::number(code);
            decimalPair();
            break;
        }
        break;
    case 6: // a choice
        switch (code) {
        case 12:
            cells.parameter = QStringLiteral("адрес_в_системе");
            cells.before = QString::number(before + 1);
            cells.after = QString::number(after + 1);
            break;
        case 20:
            cells.parameter =
                p.meterCoefModel ? QStringLiteral("Диам.условн.прохода") : QStringLiteral("Типоразмер");
            listPair(ItemDisplayList(65, p));
            break;
        case 30:
            cells.parameter = QStringLiteral("Выход_счетчика");
            cells.before = MeterOutputText(before, p.hasCalibrationTable(), lang);
            cells.after = MeterOutputText(after, p.hasCalibrationTable(), lang);
            break;
        default:
            cells.parameter = QString::number(code);
            decimalPair();
            break;
        }
        break;
    case 7: { // text, four characters of it
        switch (code) {
        case 105:
            cells.parameter = uaRu(lang, "Назва_лічильника", "Наименование_счетч.");
            break;
        case 113:
            cells.parameter = uaRu(lang, "Організація", "Организация");
            break;
        case 121:
            cells.parameter = uaRu(lang, "Ім’я_гілки", "Имя_ветки");
            break;
        case 129:
            cells.parameter = uaRu(lang, "Для_нотаток", "Для_заметок");
            break;
        default:
            cells.parameter = QString::number(code);
            break;
        }
        cells.before = deviceText(b.mid(7 - 5, 4)) + QStringLiteral("...");
        cells.after = deviceText(b.mid(11 - 5, 4)) + QStringLiteral("...");
        break;
    }
    default:
        break;
    }
    return cells;
}

QStringList decodeRecord(Archive archive, const QByteArray& r, int number, const ArchiveContext& c) {
    const quint32 minutes = readMinutes(r, 0);
    if (minutes == 0) return {numberCell(number)};
    const int d = c.volumeDecimals;
    switch (archive) {
    case Archive::Hourly:
        return periodCells(r, number, c) << statusText(readU16(r, 27), readU16(r, 29));
    case Archive::Daily:
    case Archive::Monthly: {
        const QString heat =
            c.profile.heatEnergy ? fixed(ToDisplayHeat(readFloat(r, 55), c.image.heatInGj()), 3) : QString();
        return periodCells(r, number, c)
               << fixed(pulses(readI32(r, 31), c), d) << statusText(readU16(r, 27), readU16(r, 29)).left(3)
               << hexBytes(r.mid(35, 16)) << heat << fixed(standardVolume(pulses(readI32(r, 51), c), c), d);
    }
    case Archive::Abnormal: {
        // Calibration models keep their abnormal-situation volumes to the litre.
        const int vd = c.profile.hasCalibrationTable() ? 3 : d;
        return {numberCell(number),
                minutesDateText(minutes),
                minutesTimeText(minutes),
                hex4(readU16(r, 3)),
                hex4(readU16(r, 5)),
                fixed(readFloat(r, 7), vd),
                fixed(standardVolume(readFloat(r, 11), c), vd)};
    }
    case Archive::Interference: {
        const InterferenceCells cells = decodeInterference(r.mid(5, 10), c);
        return {numberCell(number), minutesDateText(minutes), minutesTimeText(minutes),
                cells.who,          cells.parameter,          cells.before,
                cells.after,        hexBytes(r.mid(5, 10))};
    }
    case Archive::Operative: {
        const quint16 p = readU16(r, 3);
        const quint16 flow = readU16(r, 9);
        QString flowCell;
        if (c.profile.hasCalibrationTable()) {
            const double qmax = c.image.wordFloat(58);
            if (qmax != 0.0) flowCell = fixed(flow * qmax / 32768.0, d);
        } else if (c.image.pulseWeight() != 0.0) {
            flowCell = fixed(flow / 10.0 / c.image.pulseWeight(), d);
        }
        return {numberCell(number),
                minutesDateText(minutes),
                minutesTimeText(minutes),
                pressureCell(p, c),
                fixed(static_cast<qint16>(readU16(r, 5)) / 100.0, 2),
                correctionCell(readU16(r, 7), p),
                flowCell,
                fixed(pulses(readI32(r, 11), c), d)};
    }
    case Archive::Service:
        return {numberCell(number), minutesDateText(minutes), minutesTimeText(minutes), hex4(readU16(r, 3)),
                hex4(readU16(r, 5))};
    }
    return {numberCell(number)};
}

// ---- tables ----------------------------------------------------------------------------------------

void ArchiveTables::clear() {
    for (auto& t : rows_)
        t.clear();
    blanked_.fill(0);
}

void ArchiveTables::clear(Archive archive) {
    rows_[index(archive)].clear();
    blanked_[index(archive)] = 0;
}

int ArchiveTables::blankedTotal() const {
    int total = 0;
    for (int n : blanked_)
        total += n;
    return total;
}

QString archiveTableCaption(Archive archive, int languageIndex) {
    switch (archive) {
    case Archive::Hourly:
        return uaRu(languageIndex, "ГОДИННИЙ", "ЧАСОВОЙ");
    case Archive::Daily:
        return uaRu(languageIndex, "ДОБОВИЙ", "СУТОЧНЫЙ");
    case Archive::Monthly:
        return uaRu(languageIndex, "МІСЯЧНИЙ", "МЕСЯЧНЫЙ");
    case Archive::Abnormal:
        return uaRu(languageIndex, "ПОЗАШТАТНИЙ", "ВНЕШТАТНЫЙ");
    case Archive::Interference:
        return uaRu(languageIndex, "ВТРУЧАНЬ", "ВМЕШАТЕЛЬСТВ");
    case Archive::Operative:
        return uaRu(languageIndex, "ОПЕРАТИВНИЙ", "ОПЕРАТИВНЫЙ");
    case Archive::Service:
        return uaRu(languageIndex, "СЛУЖБОВИЙ", "СЛУЖЕБНЫЙ");
    }
    return {};
}

QStringList blankedRecordsLines(const ArchiveTables& tables, int languageIndex) {
    QStringList lines;
    for (Archive a : kArchives)
        if (const int n = tables.blanked(a); n > 0)
            lines.append(
                archiveTableCaption(a, languageIndex) +
                uaRu(languageIndex, ": записів замінено порожніми: ", ": записей заменено пустыми: ") +
                QString::number(n));
    return lines;
}

QString blankedRecordsComment(const ArchiveTables& tables) {
    static constexpr const char* kShort[kArchiveCount] = {"час", "сут", "мес", "авр", "вмш", "опер", "служ"};
    QStringList parts;
    for (Archive a : kArchives)
        if (const int n = tables.blanked(a); n > 0)
            parts.append(QString::fromUtf8(kShort[static_cast<int>(a) - 1]) + QLatin1Char(' ') +
                         QString::number(n));
    // The request log's comment holds 40 characters.
    return parts.isEmpty() ? QStringLiteral("0")
                           : (QStringLiteral("пустые: ") + parts.join(QLatin1Char(','))).left(40);
}

QString ArchiveTables::cell(int archive, int column, int row) const {
    if (archive < 1 || archive > kArchiveCount) return {};
    const auto& table = rows_[archive - 1];
    if (row < 0 || row >= table.size()) return {};
    return table.at(row).value(column);
}

void ArchiveTables::setRow(Archive archive, int row, const QStringList& cells) {
    auto& table = rows_[index(archive)];
    if (row < 0) return;
    while (table.size() <= row)
        table.append(QStringList());
    table[row] = cells;
}

void ArchiveTables::truncate(Archive archive, int rows) {
    auto& table = rows_[index(archive)];
    if (rows >= 0 && rows < table.size()) table.resize(rows);
}

int selectiveHours(const QDate& startDate, int contractHour, const QDateTime& end) {
    const QDateTime start(startDate, QTime(qBound(0, contractHour, 23), 0));
    if (end < start) return 1;
    return static_cast<int>(start.secsTo(end) / 3600) + 1;
}

namespace {
// c, the page of the newest record counted from the archive's start; n, the pages back that hold the
// wanted records (one more when they reach into the page before); the first page wraps into the ring.
SelectivePages planPages(quint16 pointer, int wanted, int perPage, int firstPage, int ringEnd) {
    const int c = pointer / perPage;
    int n = wanted / perPage;
    if (pointer - perPage * c < wanted - perPage * n) ++n;
    const int first = c >= n ? c - n + firstPage : c - n + ringEnd;
    return {first, n + 1};
}
} // namespace

SelectivePages planHourlyPages(quint16 pointer, int hours) {
    return planPages(pointer, qMax(1, hours), 8, 52, 256);
}

SelectivePages planDailyPages(quint16 pointer, int days) {
    return planPages(pointer, qMax(1, days), 4, 192, 224);
}

int nextSelectivePage(Archive archive, int page) {
    const int next = page + 1;
    if (archive == Archive::Hourly && next == 256) return 52;
    if (archive == Archive::Daily && next == 224) return 192;
    return next;
}

int nextPageInRing(const ArchiveGeometry& geometry, int page) {
    const int next = page + 1;
    return next >= geometry.firstPage + geometry.pages ? geometry.firstPage : next;
}

int pagesAfterInRing(const ArchiveGeometry& geometry, int from, int to) {
    return ((to - from) % geometry.pages + geometry.pages) % geometry.pages;
}

int pageOfRecord(const ArchiveGeometry& geometry, int record) {
    const int perPage = kPageSize / geometry.recordSize;
    return geometry.firstPage + qBound(0, record / perPage, geometry.pages - 1);
}

QStringList findGaps(const ArchiveTables& tables) {
    static constexpr const char* kNames[kArchiveCount] = {
        "Часовой", "Суточный", "Месячный", "Аварийный", "Вмешательств", "Оперативный", "Резервный"};
    QStringList lines;
    for (Archive a : kArchives) {
        const auto& rows = tables.rows(a);
        auto filled = [&rows](qsizetype i) { return rows.at(i).size() > 1; };
        qsizetype first = 0;
        while (first < rows.size() && !filled(first))
            ++first;
        qsizetype last = rows.size() - 1;
        while (last >= 0 && !filled(last))
            --last;
        for (qsizetype i = first + 1; i < last; ++i)
            if (!filled(i))
                lines.append(QString::fromUtf8(kNames[static_cast<int>(a) - 1]) +
                             QStringLiteral(" ном.зап.") + QString::number(i));
    }
    return lines;
}

// ---- the page check --------------------------------------------------------------------------------

ArchivePageCheck::ArchivePageCheck(const ArchiveGeometry& geometry, ArchiveTables& tables, bool untilEmpty)
    : geometry_(geometry), tables_(tables), untilEmpty_(untilEmpty) {}

ArchivePageCheck::Verdict ArchivePageCheck::check(int page, const QByteArray& payload,
                                                  const ArchiveContext& context) {
    const int size = geometry_.recordSize;
    const int records = geometry_.recordsOnPage(page);
    const int firstRow = rows_;
    int empty = 0;
    bool end = false;
    for (int i = 0; i < records; ++i) {
        const int number = numberBase_ ? *numberBase_ + i : rows_;
        // Past the depth the page holds no record of the archive: nothing to check, nothing to show.
        if (geometry_.beyondDepth(number)) continue;
        QByteArray record = payload.mid(i * size, size).leftJustified(size, '\0', true);
        if (untilEmpty_ && isEmptyRecord(record) && ++empty >= kEmptyRecordsAtTheEnd) end = true;
        if (!recordCheckOk(record)) {
            if (blankMode_) {
                // A record of its own size: zeros and a check byte that keeps the sum at zero. A fixed
                // 33-byte blank would run into the next record of a 16- or 8-byte archive.
                record = QByteArray(size, '\0');
                tables_.addBlanked(geometry_.archive, 1);
            } else {
                if (--retriesLeft_ <= 0) blankMode_ = true;
                rows_ = firstRow;
                tables_.truncate(geometry_.archive, firstRow);
                return Verdict::Reject;
            }
        }
        tables_.setRow(geometry_.archive, rows_, decodeRecord(geometry_.archive, record, number, context));
        ++rows_;
    }
    blankMode_ = false;
    retriesLeft_ = kPageRejections;
    return end ? Verdict::AcceptAndEnd : Verdict::Accept;
}

} // namespace tarn::corrector
