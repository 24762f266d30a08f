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

} // namespace

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
    : QObject(parent), link_(link), notifier_(notifier), settings_(settings) {
    reading_.languageIndex = languageIndex;
    ClearWindow();
}

void CorrectorWindowModel::setLanguageIndex(int languageIndex) {
    reading_.languageIndex = languageIndex;
    if (hasSerial()) refillFromImage();
    emit changed();
}

ItemContext CorrectorWindowModel::context() const {
    return ItemContext{reading_.profile, reading_.languageIndex, gaugeUnit_, baroUnit_};
}

QString CorrectorWindowModel::itemCaption(int item) const {
    return ItemCaption(item, reading_.profile, reading_.languageIndex);
}

QString CorrectorWindowModel::noDataMessage() const {
    return uaRu(reading_.languageIndex, "Прочитайте \"ПАРАМЕТРИ КОРЕКТОРА\" !!!",
                "Прочитайте \"ПАРАМЕТРЫ КОРРЕКТОРА\" !!!");
}

QString CorrectorWindowModel::caption(Field field) const {
    const FieldSpec& f = fieldSpec(field);
    if (field == F::HeaderSerial) return headerCaption();
    QString c = f.captionUa ? uaRu(reading_.languageIndex, f.captionUa, f.captionRu) : itemCaption(f.item);
    if (isPressureItem(f.item) || field == F::MeasPressure) {
        const QString unit = state_.pressureUnitText.isEmpty()
                                 ? ChoiceText(ValueList::PressureUnits, 0, reading_.languageIndex)
                                 : state_.pressureUnitText;
        c += QLatin1Char('(') + unit + QLatin1Char(')');
    }
    if (isEnergyField(field))
        c += QLatin1Char('(') +
             ChoiceText(ValueList::HeatUnits, reading_.image.heatInGj() ? 1 : 0, reading_.languageIndex) +
             QLatin1Char(')');
    return c;
}

QString CorrectorWindowModel::headerCaption() const {
    return reading_.header.caption(reading_.languageIndex);
}

bool CorrectorWindowModel::dataShown() const {
    return reading_.header.serial() && !isNoData(text(F::HeaderSerial));
}

void CorrectorWindowModel::setText(Field field, const QString& text) {
    reading_.setText(field, text);
}

void CorrectorWindowModel::setProfile(const ModelProfile& profile) {
    reading_.profile = profile;
    applyVisibility();
    applyEditability();
    emit changed();
}

void CorrectorWindowModel::setGaugeUnit(GaugeUnit unit) {
    gaugeUnit_ = unit;
    if (reading_.image.isRead(66)) setText(F::GaugePressure, itemTextFromImage(6));
    emit changed();
}

void CorrectorWindowModel::setBaroUnit(BaroUnit unit) {
    baroUnit_ = unit;
    if (reading_.image.isRead(67)) setText(F::BaroPressure, itemTextFromImage(43));
    emit changed();
}

void CorrectorWindowModel::applyVisibility() {
    for (const FieldSpec& f : allFieldSpecs())
        shown_[static_cast<int>(f.field)].visible = isVisibleFor(f.field, reading_.profile);
}

void CorrectorWindowModel::applyEditability() {
    for (const FieldSpec& f : allFieldSpecs())
        shown_[static_cast<int>(f.field)].editable =
            f.item != 0 && isItemEditable(f.item, state_.accessLevel, reading_.profile);
}

void CorrectorWindowModel::ClearWindow() {
    reading_.clear();
    state_.accessLevel = kAccessNone;
    state_.passwordMarks = {};
    state_.nextWord = 0;
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
    reading_.image.DecodePage(state_.nextWord, payload, reading_.profile);
    const bool table = reading_.profile.hasCoefficientTable();
    const int stop = table ? ParameterImage::kWords : ParameterImage::kCommonWords - 1;
    const int more = table ? 178 : 130;
    state_.nextWord = static_cast<quint16>(qMin(state_.nextWord + ParameterImage::kPageBytes / 4, stop));
    if (state_.nextWord < more) link_.readPage(state_.nextWord);
}

QString CorrectorWindowModel::itemTextFromImage(int item) const {
    return corrector::itemTextFromImage(reading_.image, item, context());
}

void CorrectorWindowModel::refillFromImage() {
    fillTextsFromImage(reading_, gaugeUnit_, baroUnit_);
    takeImageMarks();
}

void CorrectorWindowModel::takeImageMarks() {
    const ParameterImage& img = reading_.image;
    if (img.isRead(2)) {
        thermometer1385_ = img.configBits() & config_bit::ThermometerW1385;
        state_.pressureUnitText =
            ChoiceText(ValueList::PressureUnits, img.pressureInMpa() ? 1 : 0, reading_.languageIndex);
    }
}

void CorrectorWindowModel::onFullReadComplete() {
    if (!completeFullRead(reading_, gaugeUnit_, baroUnit_)) return;
    takeImageMarks();
    applyVisibility();
    applyEditability();
    emit changed();
}

void CorrectorWindowModel::finishLoading() {
    reading_.clock.reset();
    reading_.measurement.reset();
    onFullReadComplete();
    announceAll();
}

void CorrectorWindowModel::showReading(const Reading& reading) {
    // The window keeps its language and the installation's decimals; the reading brings the rest.
    const int languageIndex = reading_.languageIndex;
    const int volumeDecimals = reading_.volumeDecimals;
    reading_ = reading;
    reading_.languageIndex = languageIndex;
    reading_.volumeDecimals = volumeDecimals;
    // The password marks named passwords sent to the corrector shown before.
    state_.passwordMarks = {};
    state_.nextWord = 0;
    thermometer1385_ = false;
    if (reading_.hasSerial()) refillFromImage();
    applyVisibility();
    applyEditability();
    announceAll();
}

void CorrectorWindowModel::announceAll() {
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
    return reading_.newestRecordRow(archive);
}

ArchiveContext CorrectorWindowModel::archiveContext() const {
    return reading_.archiveContext();
}

CheckResult CorrectorWindowModel::fieldCheck(Field field, const QString& text) const {
    const FieldSpec& f = fieldSpec(field);
    if (f.item == 0 || !view(field).editable) return CheckResult::valueOk;
    return CheckItemValue(f.item, text, reading_.image, context()).result;
}

QString CorrectorWindowModel::onContractHourKeyRelease(const QString& text) const {
    if (blankOrSeparators(text, QLatin1Char(':'))) return QStringLiteral("09:00");
    return text;
}

void CorrectorWindowModel::openWait(bool write, const QString& caption) {
    const QString head = write ? uaRu(reading_.languageIndex, "Запис -", "Запись - ")
                               : uaRu(reading_.languageIndex, "Читання -", "Чтение - ");
    emit waitOpened(head + caption);
}

void CorrectorWindowModel::ReadItem(int item, const QString& caption) {
    const int effective = EffectiveItem(item, reading_.profile);
    const ItemEntry* e = FindItem(effective);
    if (!e) return;
    if (reading_.image.pressureInMpa() && isPressureItem(item)) return;
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
    const ItemCheck check = CheckItemValue(item, text, reading_.image, context());
    if (check.result != CheckResult::valueOk) {
        notifier_.message(MessageKind::Error,
                          uaRu(reading_.languageIndex, "Помилка набору", "Ошибка набора - ") + caption +
                              QStringLiteral(" \"") + text + QLatin1Char('"'));
        return false;
    }
    if (!isItemEditable(item, state_.accessLevel, reading_.profile)) {
        ReadItem(item, caption);
        return false;
    }
    if (confirm && !notifier_.confirm(caption + QStringLiteral(" \"") + text +
                                      uaRu(reading_.languageIndex, "\"Записати?", "\" Записать?")))
        return false;
    return sendItemWrite(item, text, caption);
}

EncodedItem CorrectorWindowModel::encodeItemWrite(int item, const QString& text) const {
    return EncodeItem(EffectiveItem(item, reading_.profile), text, reading_.image, context());
}

bool CorrectorWindowModel::sendItemWrite(int item, const QString& text, const QString& caption) {
    // The serial number sent is the corrector's own (word 99), also where the header shows the complex
    // number of a calibration model.
    const auto& serial = reading_.header.serial();
    if (!serial || serialText(*serial).size() > 5) {
        notifier_.message(MessageKind::Error, uaRu(reading_.languageIndex, "Помилка номера коректора!",
                                                   "Ошибка номера корректра !"));
        return false;
    }
    const int effective = EffectiveItem(item, reading_.profile);
    const EncodedItem encoded = encodeItemWrite(item, text);
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
    if (!FindItem(item) || (reading_.image.pressureInMpa() && isPressureItem(item))) {
        endItem(ItemOutcome::Result::Done);
        return;
    }
    const quint16 serial = readU16(payload, 0);
    if (!reading_.header.matches(serial)) {
        const QString message =
            uaRu(reading_.languageIndex, "Не співпав номер коректора!", "Не совпал номер корректора!");
        notifier_.message(MessageKind::Error, message);
        ClearWindow();
        endItem(ItemOutcome::Result::WrongCorrector, {}, message);
        return;
    }
    if (!reading_.header.serial()) reading_.header.setSerial(serial);
    const DecodedItem decoded = DecodeItem(item, payload, reading_.image, context());
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
            reading_.identification = identification;
            reading_.profile = DeriveModelProfile(identification, reading_.header.serial().value_or(0));
            applyVisibility();
            applyEditability();
        }
        break;
    }
    case corrector::read_kind::Clock: {
        const ClockBlock clock = DecodeClockBlock(payload);
        reading_.clock = clock;
        setText(F::Date, clock.dateText);
        setText(F::Time, clock.timeText);
        break;
    }
    case corrector::read_kind::Measurement: {
        const MeasurementBlock m =
            DecodeMeasurementBlock(payload, reading_.profile, reading_.image.pressureInMpa());
        reading_.measurement = m;
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
        notifier_.message(MessageKind::Error, corrector::portBusyText(reading_.languageIndex));
        return false;
    }
    if (settings_.modemUsed && !modemConnected_) {
        notifier_.message(MessageKind::Error, corrector::noModemConnectionText(reading_.languageIndex));
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
