#include "corrector/ReadRun.h"

#include "common/Language.h"

namespace tarn::corrector {

namespace {
// The parameter memory is read in three pages.
constexpr int kParameterPages = 3;
} // namespace

ReadRun::ReadRun(link::ExchangeEngine& engine, const link::LinkSettings& settings, QObject* parent)
    : QObject(parent), engine_(engine), settings_(settings) {
    startTimer_.setSingleShot(true);
    connect(&startTimer_, &ClockTimer::timeout, this, [this] { startKind(nextKind_); });
    closeTimer_.setSingleShot(true);
    connect(&closeTimer_, &ClockTimer::timeout, this, [this] {
        const bool completed = state_ == State::Finished && !failed_;
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
    queue_ = ReadQueue();
    completed_.clear();
    stopped_ = false;
    failed_ = false;
    state_ = State::Asking;
    gauge_ = 0;
    gaugeMax_ = 1;
    requestedKind_ = kind;
    label_ = ReadKindLabel(kind, language_);
    emit changed();
}

void ReadRun::yes() {
    if (state_ != State::Asking) return;
    // An item transfer still out is dropped: the queue owns the line now.
    engine_.abandonRequest();
    startQueue();
}

void ReadRun::startQueue() {
    queue_.fill(requestedKind_, settings_.readChoice);
    completed_.clear();
    stopped_ = false;
    failed_ = false;
    state_ = State::Running;
    gauge_ = 0;
    emit changed();
    // Nothing to read at all.
    if (!startNextPendingKind()) finishRun(true);
}

bool ReadRun::startNextPendingKind() {
    if (stopped_ || queue_.NextPendingKind()) return false;
    nextKind_ = queue_.currentKind();
    label_ = ReadKindLabel(nextKind_, language_);
    if (queue_.isFirstKind()) gauge_ = 0;
    emit changed();
    startTimer_.start(startDelayMs);
    return true;
}

void ReadRun::startKind(int kind) {
    if (state_ != State::Running) return;
    gauge_ = 0;
    gaugeMax_ = kind == read_kind::Parameters ? kParameterPages : 1;
    emit changed();
    if (!hooks_.startKind || !hooks_.startKind(kind)) skipKind(kind);
}

// A kind that has no reader yet counts as done, so the queue goes on.
void ReadRun::skipKind(int kind) {
    QTimer::singleShot(0, this, [this, kind] { kindEnded(kind, true); });
}

void ReadRun::kindEnded(int kind, bool completed) {
    // After "СТОП" or Esc the kind in flight ends with the window already in its start state.
    if (state_ != State::Running) return;
    if (!completed) {
        // No link: nothing more can be read in this run.
        failed_ = true;
        queue_.stop();
        finishRun(false);
        return;
    }
    markKindDone(kind);
    if (!startNextPendingKind()) finishRun(true);
}

void ReadRun::setGaugeFull() {
    gauge_ = gaugeMax_;
    emit changed();
}

void ReadRun::stepGauge() {
    if (gauge_ < gaugeMax_) ++gauge_;
    emit changed();
}

void ReadRun::setGaugeMax(int blocks) {
    gaugeMax_ = qMax(1, blocks);
    emit changed();
}

void ReadRun::markKindDone(int kind) {
    if (kind > 0 && !completed_.contains(kind)) completed_.append(kind);
}

void ReadRun::finishRun(bool completed) {
    state_ = State::Finished;
    if (completed) setGaugeFull();
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
    closeLater(0);
}

void ReadRun::closeLater(int ms) {
    closeTimer_.start(ms);
}

} // namespace tarn::corrector
