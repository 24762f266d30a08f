#include "link/ExchangeEngine.h"

#include "link/FrameChecksum.h"

#include <algorithm>
#include <utility>

namespace tarn::link {

namespace {

// What a corrector sends on its own when an abnormal situation begins.
constexpr quint8 kAlarmNotice[kAlarmNoticeSize] = {0x9E, 0x06, 0x01, 0x31, 0x0F, 0x89};
// A buffer that starts with this many bytes of the notice may still become the notice.
constexpr int kAlarmNoticeHold = 3;
// The alarm warning waits this long, so the receive handler has finished first.
constexpr int kAlarmWarningDelayMs = 50;
// Noise on an idle line is not kept without end.
constexpr qsizetype kMaxReceiveBuffer = 64 * 1024;

} // namespace

QByteArray buildReadFrame(int deviceAddress, quint8 op, quint8 address, quint8 count) {
    QByteArray f;
    f.append(static_cast<char>(frameHead(deviceAddress, op)));
    f.append(static_cast<char>(address));
    f.append(static_cast<char>(count));
    return withFrameChecksum(f);
}

std::optional<QByteArray> buildWriteFrame(int deviceAddress, quint8 op, quint8 address,
                                          const QByteArray& data) {
    if (data.isEmpty() || data.size() > kMaxWriteData) return std::nullopt;
    QByteArray f;
    f.append(static_cast<char>(frameHead(deviceAddress, op)));
    f.append(static_cast<char>(address));
    f.append(static_cast<char>(data.size() & 0xFF));
    f.append(data);
    return withFrameChecksum(f);
}

bool isRefusal(quint8 status) {
    return status & (0x40 | 0x20 | 0x08);
}

int alarmNoticeMatch(const QByteArray& buffer) {
    int matching = 0;
    while (matching < kAlarmNoticeSize && matching < buffer.size() &&
           static_cast<quint8>(buffer.at(matching)) == kAlarmNotice[matching])
        ++matching;
    return matching;
}

// ---- transfers and raw receivers -------------------------------------------------------------------

Transfer::~Transfer() {
    if (engine_) engine_->forgetTransfer(this);
}

RawReceiver::~RawReceiver() {
    if (engine_) engine_->releaseLine(this);
}

LineClaim::LineClaim(LineClaim&& other) noexcept
    : engine_(std::exchange(other.engine_, nullptr)), receiver_(std::exchange(other.receiver_, nullptr)),
      generation_(std::exchange(other.generation_, 0)) {}

LineClaim& LineClaim::operator=(LineClaim&& other) noexcept {
    if (this != &other) {
        release();
        engine_ = std::exchange(other.engine_, nullptr);
        receiver_ = std::exchange(other.receiver_, nullptr);
        generation_ = std::exchange(other.generation_, 0);
    }
    return *this;
}

void LineClaim::release() {
    if (auto* engine = std::exchange(engine_, nullptr)) engine->releaseLine(receiver_, generation_);
    receiver_ = nullptr;
}

// ---- the engine ------------------------------------------------------------------------------------

ExchangeEngine::ExchangeEngine(LinkPort& port, Notifier& notifier, Clock& clock, QObject* parent)
    : QObject(parent), port_(port), notifier_(notifier), clock_(clock) {
    replyTimer_.setSingleShot(true);
    writeTimer_.setSingleShot(true);
    // The write pause is paid before every request of a read: a timer the system may let run up to 5%
    // long (a whole pause of 20 ms is not yet counted short) would add that to every one of them.
    writeTimer_.setPrecise(true);
    noLinkTimer_.setSingleShot(true);
    noLinkTimer_.setInterval(0);
    connect(&replyTimer_, &ClockTimer::timeout, this, &ExchangeEngine::onReplyTimeout);
    connect(&writeTimer_, &ClockTimer::timeout, this, &ExchangeEngine::writePendingFrame);
    connect(&noLinkTimer_, &QTimer::timeout, this, &ExchangeEngine::giveUpWithoutLink);
    connect(&port_, &LinkPort::received, this, &ExchangeEngine::onReceived);
}

ExchangeEngine::~ExchangeEngine() {
    if (transfer_) transfer_->engine_ = nullptr;
    if (rawReceiver_) rawReceiver_->engine_ = nullptr;
}

void ExchangeEngine::configure(const LinkSettings& s, int deviceAddress) {
    settings_.deviceAddress = std::clamp(deviceAddress, kMinDeviceAddress, kMaxDeviceAddress);
    settings_.retryCount = std::clamp(s.retryCount, kRetryMin, kRetryMax);
    settings_.replyTimeoutMs = std::clamp(s.replyTimeoutMs, 0, kReplyTimeoutMax);
    settings_.writeDelayMs = std::clamp(s.writeDelayMs, 0, kWriteDelayMax);
    settings_.resetOnFailure = s.resetOnFailure;
    settings_.modemUsed = s.modemUsed;
}

void ExchangeEngine::forgetTransfer(Transfer* transfer) {
    if (transfer_ == transfer) abandonRequest();
}

LineClaim ExchangeEngine::claimLine(RawReceiver& receiver) {
    if (rawReceiver_ && rawReceiver_ != &receiver) rawReceiver_->engine_ = nullptr;
    rawReceiver_ = &receiver;
    receiver.engine_ = this;
    receiveBuffer_.clear();
    replyEndMs_.reset();
    return LineClaim(*this, receiver, ++claimGeneration_);
}

void ExchangeEngine::releaseLine(RawReceiver* receiver, std::optional<quint64> generation) {
    if (!receiver || rawReceiver_ != receiver || (generation && *generation != claimGeneration_)) return;
    rawReceiver_->engine_ = nullptr;
    rawReceiver_ = nullptr;
    receiveBuffer_.clear();
}

// ---- requests --------------------------------------------------------------------------------------

bool ExchangeEngine::start(const Request& request, Transfer& transfer) {
    if (request.isWrite &&
        !buildWriteFrame(settings_.deviceAddress, request.op, request.address, request.writeData))
        return false;
    if (transfer_ && transfer_ != &transfer) transfer_->engine_ = nullptr;
    transfer_ = &transfer;
    transfer.engine_ = this;
    state_ = ExchangeState{};
    state_.op = request.op;
    state_.block = request.address;
    state_.count = request.count;
    state_.isWrite = request.isWrite;
    state_.writeData = request.writeData;
    state_.blocksLeft = request.blocksLeft;
    state_.retriesLeft = request.retries > 0 ? request.retries : settings_.retryCount;
    state_.expectedLength = expectedReplyLength(request.isWrite, request.count);
    sendCurrent();
    return true;
}

// The request in state_ goes on the wire (again, or for its next block).
void ExchangeEngine::sendCurrent() {
    ++requestSerial_;
    receiveBuffer_.clear();
    if (state_.isWrite)
        sendFrame(*buildWriteFrame(settings_.deviceAddress, state_.op, state_.block, state_.writeData));
    else
        sendFrame(buildReadFrame(settings_.deviceAddress, state_.op, state_.block, state_.count));
}

void ExchangeEngine::resend(int sends) {
    state_.retriesLeft = sends;
    sendCurrent();
}

void ExchangeEngine::nextBlock() {
    --state_.blocksLeft;
    state_.block = static_cast<quint8>(state_.block + 1);
    resend(settings_.retryCount);
}

void ExchangeEngine::sendFrame(const QByteArray& frame) {
    lastRequest_ = frame;
    // The new request replaces whatever was outstanding.
    replyTimer_.stop();
    writeTimer_.stop();
    noLinkTimer_.stop();
    awaitingReply_ = false;
    pendingFrame_.clear();
    // Nothing can be sent: the transfer learns it at once instead of waiting for a reply that cannot come.
    if (port_.linkBroken()) {
        noLinkTimer_.start();
        return;
    }
    if (!port_.isOpen() && !port_.portExists(port_.portName())) {
        port_.markBroken();
        noLinkTimer_.start();
        return;
    }
    pendingFrame_ = frame;
    // The pause before the write is a timer: nothing re-enters the engine while it runs.
    const int pause = remainingWritePauseMs();
    if (pause > 0) {
        writeTimer_.start(pause);
        return;
    }
    writePendingFrame();
}

// The corrector needs the line quiet for the write pause between the end of its reply and our next
// request. Timed from the reply's last byte, the pause already contains whatever the transfer did with
// the reply before asking for more (checking a page, a step timer between archives); timed from the
// request, that work came on top of it at every request. A request that does not follow a reply (the
// first one, or a repeat after silence) waits the whole pause.
int ExchangeEngine::remainingWritePauseMs() {
    const int pause = settings_.writeDelayMs;
    const std::optional<qint64> replyEnd = std::exchange(replyEndMs_, std::nullopt);
    if (pause <= 0 || !replyEnd) return pause;
    // The clock counts whole milliseconds, so a difference of n may be as little as n - 1.
    const qint64 quiet = clock_.monotonicMs() - *replyEnd - 1;
    return static_cast<int>(std::clamp<qint64>(pause - quiet, 0, pause));
}

void ExchangeEngine::writePendingFrame() {
    const QByteArray frame = std::exchange(pendingFrame_, QByteArray());
    if (frame.isEmpty()) return;
    // Bytes that came before the request was on the wire cannot be its reply.
    receiveBuffer_.clear();
    replyEndMs_.reset();
    if (!port_.write(frame)) {
        port_.markBroken();
        notifier_.message(MessageKind::Error, noticeText(LinkNotice::PortWriteFailed));
        noLinkTimer_.start();
        return;
    }
    if (log_) log_->logSent(frame);
    replyTimer_.start(effectiveReplyTimeoutMs(settings_.replyTimeoutMs));
    awaitingReply_ = true;
    emit frameSent(frame);
}

// ---- receiving -------------------------------------------------------------------------------------

void ExchangeEngine::onReceived(const QByteArray& chunk) {
    // Anything heard after a reply ends the quiet time the next request's pause may count on.
    replyEndMs_.reset();
    if (rawReceiver_) {
        rawReceiver_->onRawBytes(chunk);
        return;
    }
    receiveBuffer_ += chunk;
    if (receiveBuffer_.size() > kMaxReceiveBuffer) receiveBuffer_ = receiveBuffer_.right(kMaxReceiveBuffer);
    if (takeAlarmNotice()) return;
    // Only a request on the wire can be answered: late or doubled replies are not taken again.
    if (!awaitingReply_ || !transfer_) return;
    if (refusalComplete()) {
        const auto status = static_cast<quint8>(receiveBuffer_.at(0));
        logFailure(LinkLogCode::StatusNotZero, receiveBuffer_);
        if (transfer_->onRefused(status) == RefusalVerdict::End) {
            emit replyActivity();
            stopWaiting();
            const QByteArray received = std::exchange(receiveBuffer_, QByteArray());
            fail({FailureKind::Refused, status, received, {}});
        }
        // Otherwise the refusal is a bad reply: the reply timer runs out and the request is repeated.
        return;
    }
    if (receiveBuffer_.size() < state_.expectedLength) return;
    if (!validateReply()) return; // the reply timer runs out and the request is repeated
    acceptReply();
}

// The notice, and a buffer that may still become it, never reach the reply validation.
bool ExchangeEngine::takeAlarmNotice() {
    const int matching = alarmNoticeMatch(receiveBuffer_);
    if (matching < kAlarmNoticeSize) return matching >= kAlarmNoticeHold;
    receiveBuffer_.clear();
    hideNoLink();
    const bool answered = awaitingReply_ && transfer_ && transfer_->answeredByAlarmNotice();
    emit alarmNotice();
    if (answered) {
        stopWaiting();
        complete();
        return true;
    }
    clock_.singleShot(kAlarmWarningDelayMs, this, [this] {
        notifier_.message(MessageKind::Warning, noticeText(LinkNotice::AlarmNotice));
    });
    // The notice stops the reply timer. A request still out waits afresh for its own reply, which may
    // follow the notice; without a timer it would wait for ever.
    replyTimer_.stop();
    if (awaitingReply_) replyTimer_.start(effectiveReplyTimeoutMs(settings_.replyTimeoutMs));
    return true;
}

// A whole refusal is in: the status byte and its check byte alone, or a reply of the full length, with a
// good check byte and a refusing status.
bool ExchangeEngine::refusalComplete() const {
    const qsizetype n = receiveBuffer_.size();
    if (n < 2 || (n != 2 && n != state_.expectedLength)) return false;
    const auto status = static_cast<quint8>(receiveBuffer_.at(0));
    if (!isRefusal(status)) return false;
    return frameChecksum(receiveBuffer_.constData(), n - 1) == static_cast<quint8>(receiveBuffer_.at(n - 1));
}

bool ExchangeEngine::validateReply() {
    const qsizetype n = receiveBuffer_.size();
    if (n > state_.expectedLength) {
        logFailure(LinkLogCode::MoreThanExpected, receiveBuffer_);
        return false;
    }
    if (receiveBuffer_.at(0) != 0) {
        logFailure(LinkLogCode::StatusNotZero, receiveBuffer_);
        return false;
    }
    if (frameChecksum(receiveBuffer_.constData(), n - 1) != static_cast<quint8>(receiveBuffer_.at(n - 1))) {
        logFailure(LinkLogCode::ChecksumMismatch, receiveBuffer_);
        return false;
    }
    return true;
}

void ExchangeEngine::acceptReply() {
    const QByteArray reply = std::exchange(receiveBuffer_, QByteArray());
    replyEndMs_ = clock_.monotonicMs();
    emit replyActivity();
    if (log_) log_->logReceived(reply);
    stopWaiting();
    hideNoLink();
    const Reply r{state_.op, state_.block, state_.blocksLeft, reply.mid(1, reply.size() - 2)};
    emit replyAccepted(r.op, r.block, r.payload);
    if (!transfer_) return;
    const quint64 serial = requestSerial_;
    const BlockVerdict verdict = transfer_->onBlock(r);
    // A transfer that has started its next request itself owns the line now.
    if (requestSerial_ != serial || !transfer_) return;
    switch (verdict) {
    case BlockVerdict::Again:
        resend(settings_.retryCount);
        return;
    case BlockVerdict::Finish:
        complete();
        return;
    case BlockVerdict::Continue:
        if (state_.blocksLeft > 0)
            nextBlock();
        else
            complete();
        return;
    }
}

void ExchangeEngine::complete() {
    Transfer* t = std::exchange(transfer_, nullptr);
    if (t) t->engine_ = nullptr;
    emit transferComplete();
    if (t) t->onComplete();
}

void ExchangeEngine::fail(const Failure& failure) {
    Transfer* t = std::exchange(transfer_, nullptr);
    if (!t) return;
    t->engine_ = nullptr;
    t->onFailed(failure);
}

void ExchangeEngine::stopWaiting() {
    replyTimer_.stop();
    awaitingReply_ = false;
}

// ---- failures --------------------------------------------------------------------------------------

void ExchangeEngine::onReplyTimeout() {
    stopWaiting();
    if (!transfer_) return;
    // The link went away while the request was out: nothing can be resent.
    if (port_.linkBroken()) {
        giveUpWithoutLink();
        return;
    }
    if (settings_.resetOnFailure) reopenPortAfterFailure();
    const QByteArray received = receiveBuffer_;
    // Only a whole refusal frame (its status and its check byte) is the corrector saying no; garbage
    // whose first byte happens to carry a refusal bit is a reply that never came right.
    const bool refusalFrame = refusalComplete();
    if (!received.isEmpty()) emit replyActivity();
    const auto status = received.isEmpty() ? quint8{0} : static_cast<quint8>(received.at(0));
    if (received.isEmpty())
        logFailure(LinkLogCode::NothingReceived, received);
    else if (status != 0)
        logFailure(LinkLogCode::StatusNotZero, received);
    else if (received.size() != state_.expectedLength)
        logFailure(LinkLogCode::CountDiffers, received);
    --state_.retriesLeft;
    const quint64 serial = requestSerial_;
    const SilenceVerdict verdict = transfer_->onSilence(received, state_.retriesLeft);
    if (requestSerial_ != serial || !transfer_) return;
    const Failure failure{refusalFrame ? FailureKind::Refused : FailureKind::NoReply, status, received, {}};
    switch (verdict) {
    case SilenceVerdict::Resend:
        resend(state_.retriesLeft);
        return;
    case SilenceVerdict::GiveUp:
        if (settings_.resetOnFailure) reopenPortAfterFailure();
        showNoLink();
        fail(failure);
        return;
    case SilenceVerdict::End:
        fail(failure);
        return;
    }
}

void ExchangeEngine::abandonRequest() {
    stopWaiting();
    writeTimer_.stop();
    noLinkTimer_.stop();
    pendingFrame_.clear();
    state_.retriesLeft = 0;
    if (auto* t = std::exchange(transfer_, nullptr)) t->engine_ = nullptr;
}

quint16 ExchangeEngine::endAfterCurrentBlock() {
    return std::exchange(state_.blocksLeft, quint16(0));
}

void ExchangeEngine::giveUpWithoutLink() {
    stopWaiting();
    writeTimer_.stop();
    pendingFrame_.clear();
    showNoLink();
    fail({FailureKind::LinkBroken, 0, {}, {}});
}

void ExchangeEngine::reopenPortAfterFailure() {
    // Re-opening would drop a modem call.
    if (settings_.modemUsed) return;
    port_.closePort();
    port_.openPort(true);
}

void ExchangeEngine::showNoLink() {
    noLinkShown_ = true;
    emit noLinkChanged(true, noticeText(LinkNotice::NoLink));
    emit linkLost();
}

void ExchangeEngine::hideNoLink() {
    if (!noLinkShown_) return;
    noLinkShown_ = false;
    emit noLinkChanged(false, QString());
}

QString ExchangeEngine::reportRefusal(quint8 status, bool passwordOperation) {
    const auto text =
        wording_ ? wording_->refusal(status, passwordOperation, language_) : std::optional<QString>();
    if (!text) return {};
    notifier_.message(MessageKind::Error, *text);
    emit statusReported(status, *text);
    return *text;
}

QString ExchangeEngine::noticeText(LinkNotice notice) const {
    return wording_ ? wording_->notice(notice, language_) : QString();
}

void ExchangeEngine::logFailure(LinkLogCode code, const QByteArray& received) {
    if (log_) log_->logFailure(code, received, lastRequest_);
}

} // namespace tarn::link
