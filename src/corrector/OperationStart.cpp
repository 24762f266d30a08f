#include "corrector/OperationStart.h"

#include "common/Language.h"
#include "corrector/Blocks.h"
#include "corrector/ReadQueue.h"

namespace tarn::corrector {

int readKindForOperation(int code) {
    switch (code) {
    case operation::ReadAll:
        return read_kind::ReadAll;
    case operation::Parameters:
        return read_kind::Parameters;
    case operation::Hourly:
    case operation::Daily:
    case operation::Monthly:
    case operation::Alarm:
    case operation::Interference:
        return code;
    case operation::Operative:
        return read_kind::Operative;
    case operation::Clock:
        return read_kind::Clock;
    case operation::Measurement:
        return read_kind::Measurement;
    default:
        return 0;
    }
}

OperationStart::OperationStart(link::ExchangeEngine& engine, link::LinkPort& port,
                               const link::LinkSettings& settings, Notifier& notifier, QObject* parent)
    : QObject(parent), engine_(engine), port_(port), settings_(settings), notifier_(notifier) {
    stepTimer_.setSingleShot(true);
    connect(&stepTimer_, &ClockTimer::timeout, this, &OperationStart::step);
    identificationRead_.block = [this](const link::Reply& reply) {
        if (running_) {
            latest_ = reply.payload;
            replyArrived_ = true;
        }
        if (hooks_.identificationRead) hooks_.identificationRead(reply.payload);
        return link::BlockVerdict::Continue;
    };
    identificationRead_.failed = [this](const link::Failure&) {
        if (running_) linkFailed_ = true;
    };
}

QString portBusyText(int languageIndex) {
    return uaRu(languageIndex, "Увага!!! Порт зайнятий", "Внимание!!!  Порт занят");
}
QString noModemConnectionText(int languageIndex) {
    return uaRu(languageIndex, "Немає з’єднання з модемом!", "Нет соединения с модемом!!!");
}
QString portOpenErrorText(int languageIndex, const QString& port) {
    return uaRu(languageIndex, "Помилка відкриття порту", "Ошибка открытия порта") + port;
}
QString identificationDisagreesText(int languageIndex) {
    return uaRu(languageIndex, "Ідентифікація коректора не збігається при повторних читаннях",
                "Идентификация корректора не совпадает при повторных чтениях");
}
QString OperationStart::portOpenErrorText(const QString& port) const {
    return corrector::portOpenErrorText(language_, port);
}
QString OperationStart::windowCaption() const {
    return uaRu(language_, "Контроль версії коректора", "Контроль версии корректора");
}
QString OperationStart::windowStopLine() const {
    return uaRu(language_, "Зупинка контролю – клавіша \"F10\"", "Останов контроля  - клавиша   \"F10\"");
}

OperationStart::StartResult OperationStart::startOperation(int code) {
    const bool modem = settings_.modemUsed;
    const link::LineUse& line = engine_.lineUse();
    if (line.pollingRun) {
        notifier_.message(MessageKind::Warning, portBusyText(language_));
        return StartResult::Refused;
    }
    if (modem && !line.modemConnected) {
        notifier_.message(MessageKind::Warning, noModemConnectionText(language_));
        return StartResult::Refused;
    }
    if (identifying()) return StartResult::Refused; // one operation at a time
    code_ = code;
    if (!port_.portExists(settings_.corrPort)) {
        notifier_.message(MessageKind::Error, portOpenErrorText(settings_.corrPort));
        return StartResult::Refused;
    }
    if (!modem) {
        const bool open =
            hooks_.reinitPort ? hooks_.reinitPort() : (port_.closePort(), port_.applyAndOpen(settings_));
        if (!open) return StartResult::Refused;
    }
    if (port_.linkBroken()) return StartResult::Refused;
    if (code >= operation::AlarmCheck && code <= operation::CalibrationWrite) {
        engine_.clock().singleShot(directDelayMs, this, [this, code] {
            if (hooks_.runDirect) hooks_.runDirect(code);
        });
        return StartResult::Direct;
    }
    startIdentification(IdentificationMode::RunOperation);
    return StartResult::Identifying;
}

void OperationStart::startIdentification(IdentificationMode mode) {
    mode_ = mode;
    running_ = true;
    stopped_ = false;
    linkFailed_ = false;
    disagreements_ = 0;
    gaveUpOnDisagreement_ = false;
    step_ = Step::FirstRead;
    identified_ = false;
    if (hooks_.identificationShown) hooks_.identificationShown();
    stepTimer_.start(stepIntervalMs);
}

void OperationStart::readIdentification() {
    replyArrived_ = false;
    engine_.start(link::Request::read(link::opRead, kIdentificationBlock.address, kIdentificationBlock.count),
                  identificationRead_);
}

void OperationStart::step() {
    if (!running_) return;
    const bool usable = !port_.linkBroken() && !stopped_ && !linkFailed_;
    switch (step_) {
    case Step::FirstRead:
        if (hooks_.identificationStarting) hooks_.identificationStarting();
        previous_.clear();
        readIdentification();
        step_ = Step::AwaitingFirst;
        break;
    case Step::AwaitingFirst:
        if (!usable) {
            fail();
            return;
        }
        if (replyArrived_) {
            previous_ = latest_;
            readIdentification();
            step_ = Step::AwaitingSecond;
        }
        break;
    case Step::AwaitingSecond:
        if (!usable) {
            fail();
            return;
        }
        if (replyArrived_) {
            if (latest_ != previous_) {
                // The two reads differ: read again, up to the bound when there is one. The corrector
                // answered every read: no link is not what went wrong.
                if (maxDisagreements > 0 && ++disagreements_ >= maxDisagreements) {
                    gaveUpOnDisagreement_ = true;
                    notifier_.message(MessageKind::Error, identificationDisagreesText(language_));
                    fail();
                    return;
                }
                step_ = Step::FirstRead;
                break;
            }
            identification_ = IdentificationString(latest_);
            identified_ = true;
            const auto check = CheckVersion(identification_, language_);
            if (!check.accepted()) {
                if (mode_ != IdentificationMode::Polling)
                    notifier_.message(MessageKind::Error, check.message);
                if (hooks_.resetCorrectorWindow) hooks_.resetCorrectorWindow();
                fail();
                return;
            }
            profile_ = DeriveModelProfile(identification_, 0);
            finish(true);
            return;
        }
        break;
    }
    stepTimer_.start(stepIntervalMs);
}

void OperationStart::finish(bool accepted) {
    running_ = false;
    stepTimer_.stop();
    if (hooks_.identificationClosed) hooks_.identificationClosed();
    if (accepted) {
        switch (mode_) {
        case IdentificationMode::RunOperation:
            if (hooks_.runOperation) hooks_.runOperation(code_);
            break;
        case IdentificationMode::ProgramCheck:
            if (hooks_.programCheck) hooks_.programCheck(identification_);
            break;
        case IdentificationMode::Polling:
            if (hooks_.pollingStepDone) hooks_.pollingStepDone(true);
            break;
        }
    } else if (mode_ == IdentificationMode::Polling && hooks_.pollingStepDone) {
        hooks_.pollingStepDone(false);
    }
    emit identificationFinished(accepted);
}

void OperationStart::fail() {
    finish(false);
}

void OperationStart::stopIdentification() {
    if (!running_) return;
    stopped_ = true;
    engine_.abandonRequest();
    fail();
}

} // namespace tarn::corrector
