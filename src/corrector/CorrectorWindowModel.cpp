#include "corrector/CorrectorWindowModel.h"

#include "common/DateTimeText.h"
#include "common/DisplayNumber.h"
#include "common/Language.h"
#include "corrector/Blocks.h"
#include "corrector/DeviceValues.h"
#include "corrector/OperationStart.h"
#include "corrector/ReadQueue.h"
#include "corrector/ValueLists.h"

#include <QTimer>

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
const FieldSpec kFields[kFieldCount] = {
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
};

constexpr const char* kPagesUa[kTabPages] = {"ГАЗ",       "ЛІЧИЛЬНИК",    "УСТ. РОБ.",
                                             "УСТ. РОБ.", "УСТ. ПОЗАШТ.", "ІНСТАЛЯЦІЯ",
                                             "ОБ’ЄМ",     "ВИМІРЮВАННЯ",  "ВЕРС. ПЗ"};
constexpr const char* kPagesRu[kTabPages] = {"ГАЗ",        "СЧЕТЧИК", "УСТ. РАБ.", "УСТ. РАБ.", "УСТ. ВНЕШТ.",
                                             "ИНСТАЛЯЦИЯ", "ОБЪЕМ",   "ИЗМЕРЕНИЕ", "ВЕРС. ПО"};

bool isEnergyField(Field f) {
    return f == F::EnergyHour || f == F::EnergyDay || f == F::EnergyMonth || f == F::TotalHeat;
}

bool blankOrSeparators(const QString& text, QChar separator) {
    for (QChar c : text)
        if (c != QLatin1Char(' ') && c != separator) return false;
    return true;
}

// A header serial of "X" or nothing is no data.
bool isNoData(const QString& text) {
    const QString t = text.trimmed();
    return t.isEmpty() || t == QLatin1String(kNoDataText);
}

constexpr int kSpinFieldsCleared[] = {static_cast<int>(F::TimeCorrection), static_cast<int>(F::ContractDay)};

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

QString PageCaption(int page, int languageIndex) {
    if (page < 0 || page >= kTabPages) return {};
    return uaRu(languageIndex, kPagesUa[page], kPagesRu[page]);
}

int NextPage(int page) {
    return (page + 1) % kTabPages;
}

bool isItemEditable(int item, int level, const ModelProfile& p) {
    if (!IsWritableAt(item, level)) return false;
    const bool calib = p.calibModel || p.calibModel2;
    switch (item) {
    case 9:
        return !p.meterCoefModel && !(calib && level < kAccessVerifier);
    case 10:
    case 12:
    case 13:
        return !p.meterCoefModel && !p.calibModel;
    case 11:
        return !p.calibModel;
    case 14:
    case 65:
        return !(calib && level < kAccessVerifier);
    case 15:
        // On calibration models the code of the pulse weight carries the pulse coefficient (item 67).
        return !calib;
    default:
        return true;
    }
}

CorrectorWindowModel::CorrectorWindowModel(ParameterLink& link, Notifier& notifier,
                                           const link::LinkSettings& settings, int languageIndex,
                                           QObject* parent)
    : QObject(parent), link_(link), notifier_(notifier), settings_(settings), languageIndex_(languageIndex) {
    ClearWindow();
}

void CorrectorWindowModel::setLanguageIndex(int languageIndex) {
    languageIndex_ = languageIndex;
    if (hasSerial()) refillFromImage();
    emit changed();
}

ItemContext CorrectorWindowModel::context() const {
    return ItemContext{state_.profile, languageIndex_, gaugeUnit_, baroUnit_};
}

QString CorrectorWindowModel::itemCaption(int item) const {
    return ItemCaption(item, state_.profile, languageIndex_);
}

QString CorrectorWindowModel::noDataMessage() const {
    return uaRu(languageIndex_, "Прочитайте \"ПАРАМЕТРИ КОРЕКТОРА\" !!!",
                "Прочитайте \"ПАРАМЕТРЫ КОРРЕКТОРА\" !!!");
}

QString CorrectorWindowModel::caption(Field field) const {
    const FieldSpec& f = fieldSpec(field);
    if (field == F::HeaderSerial) return headerCaption();
    QString c = f.captionUa ? uaRu(languageIndex_, f.captionUa, f.captionRu) : itemCaption(f.item);
    if (isPressureItem(f.item) || field == F::MeasPressure) {
        const QString unit = state_.pressureUnitText.isEmpty()
                                 ? ChoiceText(ValueList::PressureUnits, 0, languageIndex_)
                                 : state_.pressureUnitText;
        c += QLatin1Char('(') + unit + QLatin1Char(')');
    }
    if (isEnergyField(field))
        c += QLatin1Char('(') +
             ChoiceText(ValueList::HeatUnits, state_.image.heatInGj() ? 1 : 0, languageIndex_) +
             QLatin1Char(')');
    return c;
}

QString CorrectorWindowModel::headerCaption() const {
    return header_.caption(languageIndex_);
}

bool CorrectorWindowModel::dataShown() const {
    return header_.serial() && !isNoData(text(F::HeaderSerial));
}

void CorrectorWindowModel::setText(Field field, const QString& text) {
    views_[static_cast<int>(field)].text = text;
}

void CorrectorWindowModel::setProfile(const ModelProfile& profile) {
    state_.profile = profile;
    applyVisibility();
    applyEditability();
    emit changed();
}

void CorrectorWindowModel::setGaugeUnit(GaugeUnit unit) {
    gaugeUnit_ = unit;
    if (state_.image.isRead(66)) setText(F::GaugePressure, itemTextFromImage(6));
    emit changed();
}

void CorrectorWindowModel::setBaroUnit(BaroUnit unit) {
    baroUnit_ = unit;
    if (state_.image.isRead(67)) setText(F::BaroPressure, itemTextFromImage(43));
    emit changed();
}

void CorrectorWindowModel::applyVisibility() {
    for (const FieldSpec& f : kFields)
        views_[static_cast<int>(f.field)].visible = isVisibleFor(f.field, state_.profile);
}

void CorrectorWindowModel::applyEditability() {
    for (const FieldSpec& f : kFields)
        views_[static_cast<int>(f.field)].editable =
            f.item != 0 && isItemEditable(f.item, state_.accessLevel, state_.profile);
}

void CorrectorWindowModel::ClearWindow() {
    state_.image.clear();
    state_.accessLevel = kAccessNone;
    state_.passwordMarks = {};
    state_.nextWord = 0;
    for (auto& v : views_)
        v.text = QString::fromLatin1(kNoDataText);
    setText(F::Date, QString::fromLatin1(kClearedDateText));
    setText(F::Time, QString::fromLatin1(kClearedTimeText));
    for (int spin : kSpinFieldsCleared)
        views_[spin].text = QStringLiteral("0");
    header_.clear();
    archives_.clear();
    kindsRead_ = {};
    for (Archive a : kArchives)
        emit archiveChanged(a);
    thermometer1385_ = false;
    applyVisibility();
    applyEditability();
    emit changed();
}

void CorrectorWindowModel::SetAccessLevel(int level) {
    state_.accessLevel = qBound(0, level, 4);
    if (state_.accessLevel == kAccessNone) state_.passwordMarks = {};
    applyEditability();
    emit changed();
}

void CorrectorWindowModel::StartFullRead() {
    state_.nextWord = 0;
    link_.readPage(0);
}

void CorrectorWindowModel::onPageAccepted(quint16 /*word*/, const QByteArray& payload) {
    state_.image.DecodePage(state_.nextWord, payload, state_.profile);
    const bool table = state_.profile.hasCoefficientTable();
    const int stop = table ? ParameterImage::kWords : ParameterImage::kCommonWords - 1;
    const int more = table ? 178 : 130;
    state_.nextWord = static_cast<quint16>(qMin(state_.nextWord + ParameterImage::kPageBytes / 4, stop));
    if (state_.nextWord < more) link_.readPage(state_.nextWord);
}

QString CorrectorWindowModel::itemTextFromImage(int item) const {
    const ItemEntry* e = FindItem(item);
    if (!e) return {};
    const ParameterImage& img = state_.image;
    QByteArray value(4, '\0');
    QByteArray payload;
    switch (e->place) {
    case PlaceKind::Word:
        if (!img.isRead(e->word)) return QString::fromLatin1(kNoDataText);
        value = img.wordBytes(e->word);
        break;
    case PlaceKind::Byte:
        if (!img.isRead(e->word)) return QString::fromLatin1(kNoDataText);
        value[0] = static_cast<char>(img.byteAt(e->word, e->byte));
        break;
    case PlaceKind::Bit:
        if (!img.isRead(e->word)) return QString::fromLatin1(kNoDataText);
        value[0] = (img.byteAt(e->word, e->byte) & e->bit) ? 1 : 0;
        break;
    case PlaceKind::Low16:
        if (!img.isRead(e->word)) return QString::fromLatin1(kNoDataText);
        value[0] = static_cast<char>(img.byteAt(e->word, 0));
        value[1] = static_cast<char>(img.byteAt(e->word, 1));
        break;
    case PlaceKind::Text:
        if (!img.isRead(e->word)) return QString::fromLatin1(kNoDataText);
        return img.textItem(e->word);
    case PlaceKind::None:
    case PlaceKind::Clock:
        return {};
    }
    payload = QByteArray(2, '\0') + value;
    ParameterImage scratch = img;
    return DecodeItem(item, payload, scratch, context()).text;
}

void CorrectorWindowModel::updateHeader() {
    setText(F::HeaderSerial, header_.refresh(state_.profile, state_.image));
}

void CorrectorWindowModel::refillFromImage() {
    const ParameterImage& img = state_.image;
    const ModelProfile& p = state_.profile;
    const int lang = languageIndex_;
    for (const FieldSpec& f : kFields) {
        if (f.item == 0 || f.item == 16 || f.item == 17) continue;
        const QString t = itemTextFromImage(f.item);
        if (!t.isNull()) setText(f.field, t);
    }
    if (img.isRead(7))
        setText(F::MeterOutput, MeterOutputText(img.meterOutputIndex(), p.hasCalibrationTable(), lang));
    if (img.isRead(3))
        setText(F::InterfaceType, ChoiceText(ValueList::InterfaceTypes, img.interfaceTypeIndex(), lang));
    if (img.isRead(63)) setText(F::PressureConverter, img.WordText(63));
    if (img.isRead(26)) setText(F::AlarmMask2, hex4(img.secondAlarmMask()));
    if (img.isRead(70)) setText(F::InitDate, img.WordText(70));
    if (img.isRead(2)) {
        thermometer1385_ = img.configBits() & config_bit::ThermometerW1385;
        state_.pressureUnitText = ChoiceText(ValueList::PressureUnits, img.pressureInMpa() ? 1 : 0, lang);
    }

    // Volumes: the hour as stored, the day and the month with the hour of the same kind added; the
    // standard ones shown as mass where the corrector accounts by mass.
    const bool mass = img.showsMass(p);
    const int gas = img.gasIndex();
    auto volume = [&](Field field, double m3, bool standard) {
        setText(field, displayNumber(standard ? ToDisplayVolume(m3, mass, gas) : m3, 5));
    };
    const Field hour[4] = {F::WorkHour, F::StandardHour, F::AbnormalHour, F::AbnormalStandardHour};
    const Field day[4] = {F::WorkDay, F::StandardDay, F::AbnormalDay, F::AbnormalStandardDay};
    const Field month[4] = {F::WorkMonth, F::StandardMonth, F::AbnormalMonth, F::AbnormalStandardMonth};
    for (int k = 0; k < 4; ++k) {
        const bool standard = k == 1 || k == 3;
        const double h = img.WordValue(73 + k);
        if (img.isRead(73 + k)) volume(hour[k], h, standard);
        if (img.isRead(81 + k) && img.isRead(73 + k)) volume(day[k], img.WordValue(81 + k) + h, standard);
        if (img.isRead(89 + k) && img.isRead(73 + k)) volume(month[k], img.WordValue(89 + k) + h, standard);
    }
    const Field energy[3] = {F::EnergyHour, F::EnergyDay, F::EnergyMonth};
    for (int k = 0; k < 3; ++k)
        if (img.isRead(37 + k))
            setText(energy[k], displayNumber(ToDisplayHeat(img.WordValue(37 + k), img.heatInGj()), 5));
    updateHeader();
}

void CorrectorWindowModel::onFullReadComplete() {
    if (!state_.image.isRead(99)) return;
    header_.setSerial(static_cast<quint32>(state_.image.wordInt32(99)));
    RenameAfterFullRead(state_.profile, *header_.serial());
    setText(F::ModelName, state_.profile.modelName);
    refillFromImage();
    applyVisibility();
    applyEditability();
    emit changed();
}

void CorrectorWindowModel::finishLoading() {
    clock_.reset();
    measurement_.reset();
    onFullReadComplete();
    for (Archive a : kArchives)
        emit archiveChanged(a);
    emit changed();
}

EnterAction CorrectorWindowModel::enterActionFor(Field field) const {
    const FieldSpec& f = fieldSpec(field);
    if (f.item == 0) return EnterAction::Nothing;
    return view(field).editable ? EnterAction::Write : EnterAction::Read;
}

void CorrectorWindowModel::onEnter(Field field, const QString& text) {
    const FieldSpec& f = fieldSpec(field);
    if (field == F::Date || field == F::Time) {
        if (enterActionFor(field) == EnterAction::Write)
            onDateTimeEnter(field == F::Date ? text : this->text(F::Date),
                            field == F::Time ? text : this->text(F::Time));
        else
            ReadItem(16, itemCaption(16));
        return;
    }
    switch (enterActionFor(field)) {
    case EnterAction::Nothing:
        return;
    case EnterAction::Read:
        ReadItem(f.item, itemCaption(f.item));
        return;
    case EnterAction::Write:
        WriteItem(f.item, text, itemCaption(f.item));
        return;
    }
}

void CorrectorWindowModel::onDateTimeEnter(const QString& dateText, const QString& timeText) {
    setText(F::Date, dateText);
    setText(F::Time, timeText);
    WriteItem(16, dateText + QLatin1Char(' ') + timeText, itemCaption(16));
}

std::pair<QString, QString> CorrectorWindowModel::onDateTimeKeyRelease(const QString& dateText,
                                                                       const QString& timeText,
                                                                       const QDateTime& now) {
    QString d = dateText;
    QString t = timeText;
    if (blankOrSeparators(d, QLatin1Char('.'))) d = formatDate(now.date());
    if (blankOrSeparators(t, QLatin1Char(':'))) t = formatShortTime(now.time());
    setText(F::Date, d);
    setText(F::Time, t);
    return {d, t};
}

std::optional<int> CorrectorWindowModel::newestRecordRow(Archive archive) const {
    const ArchivePointers p = state_.image.archivePointers();
    int pointer = 0;
    switch (archive) {
    case Archive::Hourly:
        pointer = p.hourly;
        break;
    case Archive::Daily:
        pointer = p.daily;
        break;
    case Archive::Monthly:
        pointer = p.monthly;
        break;
    case Archive::Abnormal:
        pointer = p.alarm;
        break;
    case Archive::Interference:
        pointer = p.interference;
        break;
    case Archive::Operative:
        pointer = p.operative;
        break;
    case Archive::Service:
        pointer = p.service;
        break;
    }
    const int rows = archives_.rowCount(archive);
    bool ok = false;
    const int first = archives_.cell(static_cast<int>(archive), 0, 0).toInt(&ok);
    if (!ok || rows < 4 || first > pointer) return std::nullopt;
    const int row = pointer - first;
    if (row >= rows) return std::nullopt;
    return row;
}

ArchiveContext CorrectorWindowModel::archiveContext() const {
    return ArchiveContext{state_.profile, state_.image, languageIndex_, volumeDecimals};
}

CheckResult CorrectorWindowModel::fieldCheck(Field field, const QString& text) const {
    const FieldSpec& f = fieldSpec(field);
    if (f.item == 0 || !view(field).editable) return CheckResult::valueOk;
    return CheckItemValue(f.item, text, state_.image, context()).result;
}

QString CorrectorWindowModel::onContractHourKeyRelease(const QString& text) const {
    if (blankOrSeparators(text, QLatin1Char(':'))) return QStringLiteral("09:00");
    return text;
}

void CorrectorWindowModel::openWait(bool write, const QString& caption) {
    const QString head =
        write ? uaRu(languageIndex_, "Запис -", "Запись - ") : uaRu(languageIndex_, "Читання -", "Чтение - ");
    emit waitOpened(head + caption);
}

void CorrectorWindowModel::ReadItem(int item, const QString& caption) {
    const int effective = EffectiveItem(item, state_.profile);
    const ItemEntry* e = FindItem(effective);
    if (!e) return;
    if (state_.image.pressureInMpa() && isPressureItem(item)) return;
    state_.pendingItem = effective;
    state_.pendingIsWrite = false;
    state_.pendingCaption = caption;
    lastItem_ = {ItemOutcome::Result::Running, effective, {}, {}};
    // The wait window is up before the request leaves, so a reply can always close it.
    if (!readBack_) openWait(false, caption);
    link_.readItem(e->code, ItemReadCount(effective));
}

bool CorrectorWindowModel::WriteItem(int item, const QString& text, const QString& caption, bool confirm) {
    if (settings_.rsOff) return false;
    if (!dataShown()) {
        notifier_.message(MessageKind::Error, noDataMessage());
        return false;
    }
    const ItemCheck check = CheckItemValue(item, text, state_.image, context());
    if (check.result != CheckResult::valueOk) {
        notifier_.message(MessageKind::Error, uaRu(languageIndex_, "Помилка набору", "Ошибка набора - ") +
                                                  caption + QStringLiteral(" \"") + text + QLatin1Char('"'));
        return false;
    }
    if (!isItemEditable(item, state_.accessLevel, state_.profile)) {
        ReadItem(item, caption);
        return false;
    }
    if (confirm && !notifier_.confirm(caption + QStringLiteral(" \"") + text +
                                      uaRu(languageIndex_, "\"Записати?", "\" Записать?")))
        return false;
    return sendItemWrite(item, text, caption);
}

bool CorrectorWindowModel::sendItemWrite(int item, const QString& text, const QString& caption) {
    // The serial number sent is the corrector's own (word 99), also where the header shows the complex
    // number of a calibration model.
    const auto& serial = header_.serial();
    if (!serial || serialText(*serial).size() > 5) {
        notifier_.message(MessageKind::Error,
                          uaRu(languageIndex_, "Помилка номера коректора!", "Ошибка номера корректра !"));
        return false;
    }
    const int effective = EffectiveItem(item, state_.profile);
    const EncodedItem encoded = EncodeItem(effective, text, state_.image, context());
    if (!encoded.ok) {
        notifier_.message(MessageKind::Error, encoded.message);
        return false;
    }
    const ItemEntry* e = FindItem(effective);
    state_.pendingItem = effective;
    state_.pendingIsWrite = true;
    state_.pendingCaption = caption;
    const bool password = e->kind == ItemKind::Password;
    lastItem_ = {ItemOutcome::Result::Running, effective, {}, {}};
    openWait(true, caption);
    link_.writeItem(e->code, ItemWriteData(effective, *serial, encoded.value), password);
    return true;
}

void CorrectorWindowModel::onItemReply(const QByteArray& payload) {
    emit waitReplied();
    const int item = state_.pendingItem;
    if (!FindItem(item) || (state_.image.pressureInMpa() && isPressureItem(item))) {
        endItem(ItemOutcome::Result::Done);
        return;
    }
    const quint16 serial = readU16(payload, 0);
    if (!header_.matches(serial)) {
        const QString message =
            uaRu(languageIndex_, "Не співпав номер коректора!", "Не совпал номер корректора!");
        notifier_.message(MessageKind::Error, message);
        ClearWindow();
        endItem(ItemOutcome::Result::WrongCorrector, {}, message);
        return;
    }
    if (!header_.serial()) header_.setSerial(serial);
    const DecodedItem decoded = DecodeItem(item, payload, state_.image, context());
    refillFromImage();
    if (item == 16 || item == 17) {
        setText(F::Date, decoded.dateText);
        setText(F::Time, decoded.timeText);
    } else if (const auto field = fieldOfItem(item)) {
        setText(*field, decoded.text);
    }
    emit changed();
    endItem(ItemOutcome::Result::Done,
            item == 16 || item == 17 ? decoded.dateText + QLatin1Char(' ') + decoded.timeText : decoded.text);
}

void CorrectorWindowModel::endItem(ItemOutcome::Result result, const QString& text, const QString& message) {
    lastItem_.result = result;
    lastItem_.text = text;
    lastItem_.message = message;
    emit itemTransferEnded();
}

void CorrectorWindowModel::onItemWriteReply() {
    emit waitReplied();
    // A polling run takes the write as it is and goes on by itself.
    if (pollingRun_) {
        endItem(ItemOutcome::Result::Done);
        return;
    }
    if (afterWriteDelayMs <= 0)
        OnItemWriteAccepted();
    else if (timerClock_)
        timerClock_->singleShot(afterWriteDelayMs, this, [this] { OnItemWriteAccepted(); });
    else
        QTimer::singleShot(afterWriteDelayMs, this, &CorrectorWindowModel::OnItemWriteAccepted);
}

void CorrectorWindowModel::OnItemWriteAccepted() {
    const int item = state_.pendingItem;
    if (item >= 48 && item <= 54) {
        const int level = item <= 50   ? kAccessOperator
                          : item <= 52 ? kAccessMaster
                          : item == 53 ? kAccessConfigurator
                                       : kAccessVerifier;
        SetAccessLevel(level);
        refillFromImage();
        emit changed();
        endItem(ItemOutcome::Result::Done);
    } else if (item >= 1 && item <= 47) {
        // The read-back runs without a wait window; its reply ends the item.
        readBack_ = true;
        ReadItem(item, state_.pendingCaption);
        readBack_ = false;
    } else {
        endItem(ItemOutcome::Result::Done);
    }
}

void CorrectorWindowModel::onTransferFailed(const link::Failure& failure) {
    emit waitReplied();
    SetAccessLevel(kAccessNone);
    switch (failure.kind) {
    case link::FailureKind::Refused:
        endItem(ItemOutcome::Result::Refused, {}, failure.message);
        return;
    case link::FailureKind::LinkBroken:
        endItem(ItemOutcome::Result::NoLink);
        return;
    case link::FailureKind::NoReply:
        endItem(ItemOutcome::Result::NoReply);
        return;
    }
}

void CorrectorWindowModel::onBlockReply(int kind, const QByteArray& payload) {
    switch (kind) {
    case corrector::read_kind::Version: {
        setText(F::Software, deviceText(payload.left(29)));
        const IdentificationString identification(payload.left(IdentificationString::kSize));
        if (isKnownModelLetter(identification.modelLetter())) {
            identification_ = identification;
            state_.profile = DeriveModelProfile(identification, header_.serial().value_or(0));
            applyVisibility();
            applyEditability();
        }
        break;
    }
    case corrector::read_kind::Clock: {
        const ClockBlock clock = DecodeClockBlock(payload);
        clock_ = clock;
        setText(F::Date, clock.dateText);
        setText(F::Time, clock.timeText);
        break;
    }
    case corrector::read_kind::Measurement: {
        const MeasurementBlock m =
            DecodeMeasurementBlock(payload, state_.profile, state_.image.pressureInMpa());
        measurement_ = m;
        setText(F::MeasPressure, m.pressureText);
        setText(F::MeasTemperature, m.temperatureText);
        setText(F::MeasCompressibility, m.compressibilityText);
        setText(F::MeasCorrection, m.correctionFactorText);
        setText(F::MeasFlow, m.flowText);
        setText(F::MeasStandardFlow, m.standardFlowText);
        setText(F::MeasBatteryVoltage, m.batteryVoltageText);
        setText(F::MeasBatteryResource, m.batteryResourceText);
        setText(F::MeasState, m.stateText);
        break;
    }
    case corrector::read_kind::Voltage:
        setText(F::MeasBatteryVoltage, DecodeStatusBlockVoltage(payload));
        break;
    default:
        return;
    }
    emit changed();
}

PasswordWindowView CorrectorWindowModel::passwordWindowView() const {
    PasswordWindowView v;
    v.changeEnabled = state_.passwordMarks;
    for (bool m : state_.passwordMarks)
        v.confirmationEnabled = v.confirmationEnabled || m;
    v.restartEnabled = state_.passwordMarks[kPasswordSlots - 1];
    return v;
}

bool CorrectorWindowModel::EnterPassword(int slot, const QString& text) {
    if (slot < 0 || slot >= kPasswordSlots) return false;
    if (pollingRun_) {
        notifier_.message(MessageKind::Error, corrector::portBusyText(languageIndex_));
        return false;
    }
    if (settings_.modemUsed && !modemConnected_) {
        notifier_.message(MessageKind::Error, corrector::noModemConnectionText(languageIndex_));
        return false;
    }
    if (!dataShown()) {
        notifier_.message(MessageKind::Error, noDataMessage());
        return false;
    }
    const int item = kFirstPasswordItem + slot;
    // The mark names the password last sent; a password refused before sending leaves the marks.
    const auto marks = state_.passwordMarks;
    state_.passwordMarks = {};
    state_.passwordMarks[slot] = true;
    if (!sendItemWrite(item, text, itemCaption(item))) {
        state_.passwordMarks = marks;
        return false;
    }
    return true;
}

bool CorrectorWindowModel::ChangePassword(int slot, const QString& text, const QString& confirmation) {
    if (slot < 0 || slot >= kPasswordSlots || !state_.passwordMarks[slot]) return false;
    if (text != confirmation) {
        notifier_.message(MessageKind::Error, QStringLiteral("Ошибка ввода  !!!"));
        return false;
    }
    if (!dataShown()) {
        notifier_.message(MessageKind::Error, noDataMessage());
        return false;
    }
    // An opened level may change its own password: the item's writable levels do not apply here.
    const int item = kFirstPasswordChangeItem + slot;
    return sendItemWrite(item, text, itemCaption(item));
}

void CorrectorWindowModel::CloseAccess() {
    SetAccessLevel(kAccessNone);
}

bool CorrectorWindowModel::RestartCorrector() {
    if (!state_.passwordMarks[kPasswordSlots - 1]) return false;
    link_.writeRestart();
    return true;
}

} // namespace tarn::corrector
