#include "corrector/ProgramFromFile.h"

#include "common/Language.h"
#include "corrector/CorrectorFiles.h"
#include "corrector/CorrectorWindowModel.h"
#include "corrector/DeviceValues.h"
#include "corrector/ItemTable.h"

#include <limits>

namespace tarn::corrector {

namespace {

// Where a step's value comes from.
enum class Source {
    Field,        // the corrector window's field of the item, encoded as the item is
    ContractHour, // byte 0: the number in the first two characters of the contract-time field
    MeterReading, // trunc(the programming window's meter reading × the pulse-weight field)
    TotalVolume,  // trunc(the programming window's total volume × the pulse-weight field)
    DateTime,     // minutes of the programming window's date and time
};

// When a step is left out, by the model of the loaded data.
enum class Skip {
    Never,
    Series2OrCalib2,
    AnyCalib,
    MeterCoef,
    MeterCoefOrAnyCalib,
    NotMeterCoef,
    NeitherSeries2NorCalib2,
    NoTotalVolume, // none of secondPort, series2Model, languageSetting, calibModel, calibModel2
};

struct StepEntry {
    int item;
    Source source;
    Skip skip;
};

constexpr StepEntry kSteps[kProgramSteps] = {
    {1, Source::Field, Skip::Never},                    // 0 density
    {3, Source::Field, Skip::Never},                    // 1 N2
    {2, Source::Field, Skip::Never},                    // 2 CO2
    {5, Source::Field, Skip::Never},                    // 3 calculation method
    {4, Source::Field, Skip::Never},                    // 4 compressibility
    {19, Source::Field, Skip::Never},                   // 5 indication time
    {20, Source::ContractHour, Skip::Never},            // 6 contract hour
    {21, Source::Field, Skip::Never},                   // 7 contract day
    {22, Source::Field, Skip::Never},                   // 8 summer/winter switching
    {23, Source::Field, Skip::Never},                   // 9 operative archive
    {25, Source::Field, Skip::Never},                   // 10 temperature interval
    {24, Source::Field, Skip::Series2OrCalib2},         // 11 pressure interval
    {14, Source::Field, Skip::AnyCalib},                // 12 meter serial number
    {38, Source::Field, Skip::Never},                   // 13 pressure unit
    {35, Source::Field, Skip::Never},                   // 14 substitute temperature
    {32, Source::Field, Skip::Never},                   // 15 maximum temperature
    {33, Source::Field, Skip::Never},                   // 16 minimum temperature
    {29, Source::Field, Skip::Never},                   // 17 sensors
    {36, Source::Field, Skip::Never},                   // 18 daily mean flow
    {45, Source::Field, Skip::Never},                   // 19 enterprise
    {44, Source::Field, Skip::Never},                   // 20 pipeline branch
    {41, Source::Field, Skip::MeterCoef},               // 21 Qmin at Q<Qmin
    {42, Source::Field, Skip::MeterCoef},               // 22 error Qmin<Q<Qtrn
    {15, Source::Field, Skip::MeterCoefOrAnyCalib},     // 23 pulse weight
    {10, Source::Field, Skip::MeterCoefOrAnyCalib},     // 24 Qmax
    {9, Source::Field, Skip::MeterCoefOrAnyCalib},      // 25 Qmin
    {13, Source::Field, Skip::MeterCoefOrAnyCalib},     // 26 Qtrs
    {46, Source::Field, Skip::MeterCoefOrAnyCalib},     // 27 meter type
    {12, Source::Field, Skip::MeterCoefOrAnyCalib},     // 28 Qtrn
    {65, Source::Field, Skip::NotMeterCoef},            // 29 nominal diameter
    {6, Source::Field, Skip::NeitherSeries2NorCalib2},  // 30 gauge pressure
    {43, Source::Field, Skip::NeitherSeries2NorCalib2}, // 31 barometric pressure
    {30, Source::Field, Skip::Series2OrCalib2},         // 32 minimum pressure
    {31, Source::Field, Skip::Series2OrCalib2},         // 33 maximum pressure
    {34, Source::Field, Skip::Series2OrCalib2},         // 34 substitute pressure
    {11, Source::MeterReading, Skip::AnyCalib},         // 35 meter counter
    {62, Source::TotalVolume, Skip::NoTotalVolume},     // 36 total standard volume
    {16, Source::DateTime, Skip::Never},                // 37 date and time
};

bool skipped(Skip skip, const ModelProfile& p) {
    const bool anyCalib = p.calibModel || p.calibModel2;
    switch (skip) {
    case Skip::Never:
        return false;
    case Skip::Series2OrCalib2:
        return p.series2Model || p.calibModel2;
    case Skip::AnyCalib:
        return anyCalib;
    case Skip::MeterCoef:
        return p.meterCoefModel;
    case Skip::MeterCoefOrAnyCalib:
        return p.meterCoefModel || anyCalib;
    case Skip::NotMeterCoef:
        return !p.meterCoefModel;
    case Skip::NeitherSeries2NorCalib2:
        return !p.series2Model && !p.calibModel2;
    case Skip::NoTotalVolume:
        return !(p.secondPort || p.series2Model || p.languageSetting || anyCalib);
    }
    return false;
}

QString stepCaption(const CorrectorWindowModel& data, int item) {
    if (const auto field = fieldOfItem(item)) return data.caption(*field);
    return ItemCaption(item, data.reading().profile, data.languageIndex());
}

} // namespace

int programStepItem(int step) {
    return step >= 0 && step < kProgramSteps ? kSteps[step].item : 0;
}

bool programStepSkipped(int step, const ModelProfile& profile) {
    return step < 0 || step >= kProgramSteps || skipped(kSteps[step].skip, profile);
}

QString programSkipLabel(int step) {
    return QStringLiteral("==ПРОПУСК ПАР.== №") + QString::number(step);
}

std::optional<qint64> truncatedProduct(const QString& value, const QString& factor) {
    // The programming window also takes a decimal comma.
    auto pointed = [](QString t) { return t.replace(QLatin1Char(','), QLatin1Char('.')); };
    return truncatedDecimalProduct(pointed(value), pointed(factor));
}

bool sameCorrectorKind(const ModelProfile& a, const ModelProfile& b) {
    return a.series2Model == b.series2Model && a.meterCoefModel == b.meterCoefModel &&
           a.calibModel == b.calibModel && a.calibModel2 == b.calibModel2;
}

int ProgramFromFile::language() const {
    return data_.languageIndex();
}

ProgramFromFile::ProgramFromFile(CorrectorWindowModel& data, link::ExchangeEngine& engine,
                                 OperationStart& gate, Notifier& notifier, QObject* parent)
    : QObject(parent), data_(data), engine_(engine), gate_(gate), notifier_(notifier),
      writes_(engine, notifier) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &ProgramFromFile::tick);
    // Each write the corrector accepts is the sequence's next step.
    writes_.writeAccepted = [this] {
        writing_ = false;
        if (phase_ == Phase::Writing) restartTimer();
    };
    // The engine has already said why (a refusal) or shown the no-link indication.
    writes_.failed = [this](const link::Failure&) {
        writing_ = false;
        if (phase_ == Phase::Writing) stall();
    };
    connect(&gate_, &OperationStart::identificationFinished, this,
            &ProgramFromFile::onIdentificationFinished);
    connect(&data_, &CorrectorWindowModel::itemTransferEnded, this, &ProgramFromFile::onModelChanged);
    connect(&data_, &CorrectorWindowModel::changed, this, &ProgramFromFile::onModelChanged);
}

ProgramFromFile::~ProgramFromFile() {
    timer_.stop();
    if (phase_ == Phase::Identifying) gate_.stopIdentification();
}

ProgramFields ProgramFromFile::currentFields() const {
    return fields ? fields() : ProgramFields{};
}

bool ProgramFromFile::writeEnabled() const {
    return phase_ == Phase::Ready && data_.state().accessLevel == kAccessConfigurator;
}

bool ProgramFromFile::sendPassword(const QString& password) {
    if (phase_ != Phase::Idle) return false;
    if (!hasDataToSave(data_.reading())) {
        notifier_.message(MessageKind::Error, noDataText(language()));
        return false;
    }
    // The window's password entry: the marks cleared, the configurator's set, item 53 written; the
    // access level rises once the corrector has accepted it.
    data_.setPollingRun(engine_.lineUse().pollingRun);
    data_.setModemConnected(engine_.lineUse().modemConnected);
    setPhase(Phase::Password);
    if (!data_.EnterPassword(kConfiguratorSlot, password)) {
        setPhase(Phase::Idle);
        return false;
    }
    return true;
}

void ProgramFromFile::onModelChanged() {
    const bool configurator = data_.state().accessLevel == kAccessConfigurator;
    switch (phase_) {
    case Phase::Password:
        if (data_.itemTransferPending()) return;
        // A refused or unanswered password: "Пароль" may be pressed again.
        setPhase(configurator ? Phase::Ready : Phase::Idle);
        return;
    case Phase::Ready:
        if (!configurator) setPhase(Phase::Idle);
        return;
    case Phase::Cancelled:
        // A password still on its way when the window closed must not leave the level open.
        if (closeLevelPending_ && !data_.itemTransferPending()) {
            closeLevelPending_ = false;
            data_.SetAccessLevel(kAccessNone);
        }
        return;
    default:
        return;
    }
}

bool ProgramFromFile::startWriting() {
    if (!writeEnabled()) return false;
    if (!hasDataToSave(data_.reading())) {
        notifier_.message(MessageKind::Error, noDataText(language()));
        return false;
    }
    if (engine_.lineUse().pollingRun) {
        notifier_.message(MessageKind::Warning, portBusyText(language()));
        return false;
    }
    if (gate_.identifying()) return false;
    // What the file holds is remembered before the identification puts the corrector's own model into
    // the window: the steps are chosen by the file's model, the writes carry the file's serial number.
    loaded_ = data_.reading().profile;
    serial_ = static_cast<quint32>(data_.reading().image.serialNumber());
    setPhase(Phase::Identifying);
    gate_.startIdentification(IdentificationMode::ProgramCheck);
    return true;
}

void ProgramFromFile::onIdentificationFinished(bool accepted) {
    if (phase_ != Phase::Identifying) return;
    if (!accepted) {
        // The identification window has said why; "Запись" may be pressed again.
        setPhase(data_.state().accessLevel == kAccessConfigurator ? Phase::Ready : Phase::Idle);
        return;
    }
    if (!sameCorrectorKind(gate_.profile(), loaded_)) {
        setPhase(Phase::Mismatch);
        notifier_.message(MessageKind::Error,
                          uaRu(language(), "Незбіглися типи коректорів!!", "Несовпали типы корректоров!!!!"));
        emit finished(false);
        return;
    }
    step_ = 0;
    setPhase(Phase::Writing);
    runStep();
}

void ProgramFromFile::tick() {
    if (phase_ != Phase::Writing || writing_) return;
    if (step_ >= kLastProgramStep) {
        setLabel({});
        setPhase(Phase::Done);
        data_.SetAccessLevel(kAccessNone);
        notifier_.message(MessageKind::Information, QStringLiteral("ПАРАМЕТРЫ ЗАПИСАНЫ!!!"));
        emit finished(true);
        return;
    }
    ++step_;
    runStep();
}

void ProgramFromFile::runStep() {
    const StepEntry& s = kSteps[step_];
    if (skipped(s.skip, loaded_)) {
        setLabel(programSkipLabel(step_));
        restartTimer();
        return;
    }
    const int lang = language();
    const ParameterImage& image = data_.reading().image;
    const ItemContext context{loaded_, lang, data_.gaugeUnit(), data_.baroUnit()};
    const int item = EffectiveItem(s.item, loaded_);
    switch (s.source) {
    case Source::Field: {
        const auto field = fieldOfItem(s.item);
        const QString text = field ? data_.text(*field) : QString();
        const EncodedItem encoded = EncodeItem(item, text, image, context);
        if (!encoded.ok) {
            stall(stepCaption(data_, s.item) + QStringLiteral(" = ") + text + QStringLiteral(": ") +
                  encoded.message);
            return;
        }
        sendStep(item, encoded.value, stepCaption(data_, s.item) + QStringLiteral(" = ") + text);
        return;
    }
    case Source::ContractHour: {
        const QString text = data_.text(Field::ContractHour);
        bool ok = false;
        const int hour = trimBlanks(text.left(2)).toInt(&ok);
        if (!ok || hour < 0) {
            stall(stepCaption(data_, s.item) + QStringLiteral(" = ") + text + QStringLiteral(": ") +
                  EncodeItem(item, text, image, context).message);
            return;
        }
        sendStep(item, u32Bytes(quint32(hour & 0xFF)),
                 stepCaption(data_, s.item) + QStringLiteral(" = ") + text);
        return;
    }
    case Source::MeterReading:
    case Source::TotalVolume: {
        const ProgramFields f = currentFields();
        const QString text = s.source == Source::MeterReading ? f.meterReading : f.totalVolume;
        const QString label = stepCaption(data_, s.item) + QStringLiteral(" = ") + text;
        const auto pulses = truncatedProduct(text, data_.text(Field::PulseWeight));
        const ItemEntry* entry = FindItem(item);
        CheckResult check = CheckResult::valueOk;
        if (!pulses)
            check = CheckResult::valueSyntax;
        else if (*pulses < entry->minValue)
            check = CheckResult::valueBelow;
        else if (*pulses > entry->maxValue)
            check = CheckResult::valueAbove;
        if (check != CheckResult::valueOk) {
            stall(label + QStringLiteral(": ") + CheckMessage(check, lang));
            return;
        }
        sendStep(item, i32Bytes(static_cast<qint32>(*pulses)), label);
        return;
    }
    case Source::DateTime: {
        const ProgramFields f = currentFields();
        const QString time = f.time.left(5);
        const QString label = QStringLiteral("Дата время = ") + f.date + QLatin1Char(' ') + time;
        const EncodedItem encoded = EncodeDateTime(f.date, time, lang);
        if (!encoded.ok) {
            stall(label + QStringLiteral(": ") + encoded.message);
            return;
        }
        sendStep(item, encoded.value, label);
        return;
    }
    }
}

bool ProgramFromFile::sendStep(int item, const QByteArray& value, const QString& label) {
    setLabel(label);
    const ItemEntry* entry = FindItem(item);
    writing_ = true;
    if (!writes_.write(entry->code, ItemWriteData(item, serial_, value), false)) {
        writing_ = false;
        stall();
        return false;
    }
    return true;
}

void ProgramFromFile::stall(const QString& message) {
    timer_.stop();
    setPhase(Phase::Stalled);
    if (!message.isEmpty()) notifier_.message(MessageKind::Error, message);
}

void ProgramFromFile::cancel() {
    timer_.stop();
    if (phase_ == Phase::Identifying) gate_.stopIdentification();
    if (writing_) {
        // The write in flight is let go: its answer no longer steps anything.
        engine_.abandonRequest();
        writing_ = false;
    }
    setLabel({});
    setPhase(Phase::Cancelled);
    closeLevelPending_ = data_.itemTransferPending();
    if (!closeLevelPending_) data_.SetAccessLevel(kAccessNone);
}

void ProgramFromFile::restartTimer() {
    if (stepDelayMs >= 0) timer_.start(stepDelayMs);
}

void ProgramFromFile::setLabel(const QString& label) {
    if (label == label_) return;
    label_ = label;
    emit stepLabelChanged(label_);
}

void ProgramFromFile::setPhase(Phase phase) {
    phase_ = phase;
    const bool usesLine = phase == Phase::Identifying || phase == Phase::Writing;
    if (!usesLine)
        hold_.release();
    else if (!hold_.held() && lineHold_)
        hold_ = lineHold_->take(QStringLiteral("programming"));
    emit changed();
}

} // namespace tarn::corrector
