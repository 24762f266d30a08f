#include "corrector/CalibPermission.h"

#include "common/Language.h"
#include "corrector/CorrectorWindowModel.h"
#include "corrector/DeviceValues.h"
#include "corrector/ItemTable.h"
#include "link/FrameChecksum.h"

namespace tarn::corrector {

quint16 calibUnlockValue(const ParameterImage& image) {
    const quint32 time = image.wordU32(70);
    return static_cast<quint16>((time & 0xFFFF) + (time >> 16));
}

QByteArray calibUnlockFrame(quint16 value) {
    return link::withFrameChecksum(QByteArray::fromHex("800302") + u16Bytes(value));
}

QByteArray calibCheckFrame() {
    return link::withFrameChecksum(QByteArray::fromHex("400404"));
}

int CalibPermissionCheck::language() const {
    return model_.languageIndex();
}

CalibPermissionCheck::CalibPermissionCheck(CorrectorWindowModel& model, link::ExchangeEngine& engine,
                                           link::LinkPort& port, Notifier& notifier, QObject* parent)
    : QObject(parent), model_(model), engine_(engine), port_(port), notifier_(notifier) {
    stepTimer_.setSingleShot(true);
    pollTimer_.setSingleShot(true);
    connect(&stepTimer_, &QTimer::timeout, this, &CalibPermissionCheck::step);
    connect(&secondTimer_, &QTimer::timeout, this, &CalibPermissionCheck::tick);
    connect(&pollTimer_, &QTimer::timeout, this, &CalibPermissionCheck::poll);
}

CalibPermissionCheck::~CalibPermissionCheck() {
    stop();
}

void CalibPermissionCheck::start() {
    received_.clear();
    waited_ = 0;
    seconds_ = 0;
    if (model_.reading().image.calibrationPermitted()) {
        // Open already: no password, no frames, no re-checks.
        state_ = State::Permitted;
        emit permittedNow();
        return;
    }
    state_ = State::AwaitingLevel;
    emit passwordWanted();
    stepTimer_.start(timings.stepMs);
}

void CalibPermissionCheck::step() {
    switch (state_) {
    case State::AwaitingLevel:
        if (model_.state().accessLevel == kAccessVerifier && !model_.itemTransferPending()) {
            if (!sendRaw(calibUnlockFrame(calibUnlockValue(model_.reading().image)))) {
                refuse(uaRu(language(), "Обмін збій!!!", "Обмен БРАК!!!"));
                return;
            }
            state_ = State::AwaitingUnlock;
            waited_ = 0;
        }
        stepTimer_.start(timings.stepMs);
        return;
    case State::AwaitingUnlock:
        if (received_.size() >= 2) {
            claim_.release();
            const bool agreed = received_.at(0) == 0;
            received_.clear();
            if (!agreed) {
                refuse(uaRu(language(), "Допуск збій!", "Допуск БРАК!!!"));
                return;
            }
            grant();
            return;
        }
        // A corrector that never answers must not hold the line for ever.
        if (++waited_ >= timings.polls) {
            refuse(uaRu(language(), "Обмін збій!!!", "Обмен БРАК!!!"));
            return;
        }
        stepTimer_.start(timings.stepMs);
        return;
    default:
        return;
    }
}

void CalibPermissionCheck::grant() {
    state_ = State::Permitted;
    seconds_ = 0;
    secondTimer_.start(timings.secondMs);
    emit permittedNow();
}

void CalibPermissionCheck::tick() {
    if (state_ != State::Permitted) return;
    // A table transfer holds the line; the re-check comes after it.
    if (transferRunning && transferRunning()) return;
    if (++seconds_ <= timings.recheckAfter) return;
    seconds_ = 0;
    if (!sendRaw(calibCheckFrame())) {
        refuse(uaRu(language(), "Обмін збій!!!", "Обмен БРАК!!!"));
        return;
    }
    state_ = State::Rechecking;
    waited_ = 0;
    pollTimer_.start(timings.pollMs);
}

void CalibPermissionCheck::poll() {
    if (state_ != State::Rechecking) return;
    // The flags are the third byte of the answer: wait for it rather than read past what has come.
    if (received_.size() >= 3) {
        claim_.release();
        const bool stands = static_cast<quint8>(received_.at(2)) & 0x01;
        received_.clear();
        if (!stands) {
            refuse(uaRu(language(), "Контроль прапора допуск збій!!!", "Контроль флага допуск БРАК!!!"));
            return;
        }
        state_ = State::Permitted;
        return;
    }
    if (++waited_ >= timings.polls) {
        refuse(uaRu(language(), "Обмін збій!!!", "Обмен БРАК!!!"));
        return;
    }
    pollTimer_.start(timings.pollMs);
}

bool CalibPermissionCheck::sendRaw(const QByteArray& frame) {
    received_.clear();
    claim_ = engine_.claimLine(*this);
    if (port_.write(frame)) return true;
    claim_.release();
    return false;
}

void CalibPermissionCheck::refuse(const QString& message) {
    stop();
    state_ = State::Refused;
    notifier_.message(MessageKind::Error, message);
    emit refused(message);
}

void CalibPermissionCheck::stop() {
    stepTimer_.stop();
    secondTimer_.stop();
    pollTimer_.stop();
    claim_.release();
    received_.clear();
    if (state_ != State::Refused) state_ = State::Idle;
}

} // namespace tarn::corrector
