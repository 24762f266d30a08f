#include "link/ReadRun.h"

#include "common/Language.h"

namespace tarn::link {

namespace {
// First request of the block kinds: address byte and byte count.
struct BlockRead {
    int kind;
    quint8 address;
    quint8 count;
};
constexpr BlockRead kBlockReads[] = {
    {read_kind::Version, 0, 48},
    {read_kind::Clock, 1, 32},
    {read_kind::Measurement, 3, 46},
    {read_kind::Voltage, 4, 32},
};
} // namespace

ReadRun::ReadRun(ExchangeEngine& engine, const LinkSettings& settings, QObject* parent)
    : QObject(parent), engine_(engine), settings_(settings) {
    startTimer_.setSingleShot(true);
    connect(&startTimer_, &QTimer::timeout, this, [this] { startKind(nextKind_); });
    closeTimer_.setSingleShot(true);
    connect(&closeTimer_, &QTimer::timeout, this, [this] {
        const bool completed = state_ == State::Finished;
        state_ = State::Closed;
        emit changed();
        emit closeRequested();
        if (hooks_.closed) hooks_.closed(completed);
    });
}

QString ReadRun::questionText() const {
    return uaRu(language_, "ЧИТАТИ?", "ЧИТАТЬ ?");
}
QString ReadRun::emptyLineText() const {
    return uaRu(language_, "ЧИТАТИ ДО ПОРОЖНЬОГО РЯДКУ", "ЧИТАТЬ ДО ПУСТОЙ СТРОКИ");
}
QString ReadRun::yesText() const {
    return uaRu(language_, "ТАК", "ДА");
}
QString ReadRun::noText() const {
    return uaRu(language_, "НІ", "НЕТ");
}
QString ReadRun::stopText() const {
    return QStringLiteral("СТОП");
}

void ReadRun::open(int kind) {
    startTimer_.stop();
    closeTimer_.stop();
    engine_.modes().readQueue = false;
    queue_ = ReadQueue();
    completed_.clear();
    stopped_ = false;
    state_ = State::Asking;
    gauge_ = 0;
    gaugeMax_ = 1;
    requestedKind_ = kind;
    label_ = ReadKindLabel(kind, language_);
    emit changed();
}

void ReadRun::yes() {
    if (state_ != State::Asking) return;
    if (hooks_.stopItemTransfer) hooks_.stopItemTransfer();
    engine_.consumers().readQueue = this;
    engine_.modes().followUp = followUpNone;
    startReadQueue();
}

void ReadRun::startReadQueue() {
    queue_.fill(requestedKind_, settings_.readChoice);
    completed_.clear();
    stopped_ = false;
    engine_.modes().readQueue = true;
    state_ = State::Running;
    gauge_ = 0;
    emit changed();
    if (!startNextPendingKind()) {
        // Nothing to read at all.
        engine_.modes().readQueue = false;
        finishRun();
    }
}

bool ReadRun::startNextPendingKind() {
    if (stopped_ || queue_.NextPendingKind()) return false;
    nextKind_ = queue_.currentKind();
    engine_.modes().archiveKind = nextKind_;
    label_ = ReadKindLabel(nextKind_, language_);
    if (queue_.isFirstKind()) gauge_ = 0;
    emit changed();
    startTimer_.start(startDelayMs);
    return true;
}

void ReadRun::startKind(int kind) {
    if (state_ != State::Running) return;
    engine_.modes().archiveKind = kind;
    engine_.modes().parameterTransfer = false;
    gauge_ = 0;
    if (kind == read_kind::Parameters) {
        gaugeMax_ = 3;
        emit changed();
        if (hooks_.startFullRead)
            hooks_.startFullRead();
        else
            skipKind(kind);
        return;
    }
    for (const auto& b : kBlockReads) {
        if (b.kind != kind) continue;
        gaugeMax_ = 1;
        emit changed();
        engine_.startRead(opRead, b.address, b.count, engine_.settings().retryCount, 0);
        return;
    }
    if (!hooks_.startArchive || !hooks_.startArchive(kind)) skipKind(kind);
}

// A kind that has no reader yet counts as done, so the queue goes on.
void ReadRun::skipKind(int kind) {
    QTimer::singleShot(0, this, [this, kind] {
        markKindDone(kind);
        if (!startNextPendingKind()) {
            engine_.modes().readQueue = false;
            setGaugeFull();
            closeReadWindow();
        }
    });
}

void ReadRun::setGaugeFull() {
    gauge_ = gaugeMax_;
    emit changed();
}

void ReadRun::stepGauge() {
    if (gauge_ < gaugeMax_) ++gauge_;
    emit changed();
}

void ReadRun::markKindDone(int archiveKind) {
    if (state_ == State::Running && archiveKind > 0 && !completed_.contains(archiveKind))
        completed_.append(archiveKind);
}

void ReadRun::closeReadWindow() {
    if (state_ == State::Closed) return;
    if (state_ == State::Running) finishRun();
}

void ReadRun::finishRun() {
    state_ = stopped_ ? State::Asking : State::Finished;
    if (stopped_) {
        // After "СТОП" the window stays with its buttons in the start state.
        emit changed();
        return;
    }
    gauge_ = gaugeMax_;
    emit changed();
    closeLater(closeDelayMs);
}

void ReadRun::stop() {
    if (state_ != State::Running) return;
    stopped_ = true;
    queue_.stop();
    engine_.endAfterCurrentBlock();
    state_ = State::Asking;
    emit changed();
}

void ReadRun::escape() {
    queue_.stop();
    stopped_ = true;
    engine_.endAfterCurrentBlock();
    startTimer_.stop();
    closeLater(escapeCloseDelayMs);
}

void ReadRun::no() {
    if (state_ != State::Asking) return;
    queue_.stop();
    stopped_ = true;
    engine_.modes().readQueue = false;
    closeLater(0);
}

void ReadRun::closeLater(int ms) {
    closeTimer_.start(ms);
}

} // namespace tarn::link
