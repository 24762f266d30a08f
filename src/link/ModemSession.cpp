#include "link/ModemSession.h"
#include "common/PhoneNumber.h"

#include "link/LinkPort.h"
#include "link/LinkSettings.h"
#include "link/ModemMachine.h"
#include "link/ModemReplies.h"

namespace tarn::link {

ModemSession::ModemSession(ExchangeEngine& engine, LinkPort& port, const LinkSettings& settings,
                           int languageIndex)
    : engine_(engine), port_(port), settings_(settings), language_(languageIndex) {
    connect(&counter_, &ClockTimer::timeout, this, &ModemSession::onSecond);
    connect(&hold_, &ClockTimer::timeout, this, &ModemSession::onHoldSecond);
    // Every frame sent keeps the call: the countdown starts again.
    connect(&engine_, &ExchangeEngine::frameSent, this, [this] {
        if (connected_) holdLeft_ = std::max(1, settings_.modemHoldSec.toInt());
    });
    connect(&port_, &LinkPort::received, this, &ModemSession::watchLine);
    guard_.setSingleShot(true);
    guard_.setPrecise(true);
    connect(&guard_, &ClockTimer::timeout, this, &ModemSession::sendEscape);
}

int ModemSession::guardMs() const {
    if (escapeGuardMs >= 0) return escapeGuardMs;
    return escapeGuardTicks(settings_.modemInit) * (1000 / ModemMachine::kTicksPerSecond);
}

ModemSession::~ModemSession() {
    if (connected_) engine_.lineUse().modemConnected = false;
}

QString ModemSession::noticeText(ModemNotice notice) const {
    const LinkWording* wording = engine_.wording();
    return wording ? wording->modemNotice(notice, language_) : QString();
}

QString ModemSession::portFailedText() const {
    const LinkWording* wording = engine_.wording();
    return wording ? wording->notice(LinkNotice::PortWriteFailed, language_) : QString();
}

QString ModemSession::connectionLabel() const {
    return noticeText(ModemNotice::ConnectedWith) + QLatin1Char('"') + phoneEntry_ + QLatin1Char('"');
}

void ModemSession::sendText(const QByteArray& text) {
    buffer_.clear();
    if (!port_.write(text)) reply_ = portFailedText();
}

QString ModemSession::dial(const QString& phoneEntry) {
    reply_.clear();
    if (engine_.lineUse().pollingRun) return noticeText(ModemNotice::PortBusy);
    if (!port_.portExists(settings_.corrPort))
        return noticeText(ModemNotice::PortMissing) + settings_.corrPort;
    if (phoneNumberOf(phoneEntry).isEmpty()) return noticeText(ModemNotice::NoPhoneNumber);
    if (const PhoneRefusal refused = checkPhoneNumber(phoneNumberOf(phoneEntry)); refused.refused()) {
        const LinkWording* wording = engine_.wording();
        // Never empty: an empty answer means the dial has started.
        return wording ? wording->phoneRefusal(refused, language_) : refused.number;
    }
    if (settings_.modemInit.trimmed().isEmpty()) return {};
    port_.closePort();
    if (!port_.applyAndOpen(settings_)) return noticeText(ModemNotice::PortReopenFailed);
    // The modem's text is ours until the call is up.
    claim_ = engine_.claimLine(*this);
    if (lineHold_) lineToken_ = lineHold_->take(QStringLiteral("modem call"));
    elapsed_ = 0;
    counter_.start(secondMs);
    phoneEntry_ = phoneEntry;
    lastDial_ = manualDialCommand(phoneEntry);
    sendText(manualInitCommand(settings_.modemInit));
    engine_.clock().singleShot(initToDialMs, this, [this] {
        if (claim_.held() && !connected_) sendText(lastDial_);
    });
    emit changed();
    return {};
}

void ModemSession::stop() {
    reply_.clear();
    counter_.stop();
    sendText(kManualHangUp);
    if (!connected_ && !dropping_) lineToken_.release();
    emit changed();
}

void ModemSession::onSecond() {
    ++elapsed_;
    if (port_.linkBroken()) {
        counter_.stop();
        reply_ = portFailedText();
    }
    emit changed();
}

void ModemSession::onRawBytes(const QByteArray& chunk) {
    buffer_ += chunk;
    const ManualReply result = manualModemReply(buffer_, lastDial_);
    if (result == ManualReply::Nothing) return;
    buffer_.clear();
    if (result != ManualReply::Connected) {
        reply_ = manualReplyWord(result);
        if (endsTheDial(result)) {
            // No connection came of the dial.
            counter_.stop();
            lineToken_.release();
        }
        emit changed();
        return;
    }
    // Connected: the line carries frames now, and the call is held while frames go out.
    counter_.stop();
    connected_ = true;
    engine_.lineUse().modemConnected = true;
    claim_.release();
    holdLeft_ = std::max(1, settings_.modemHoldSec.toInt());
    hold_.start(secondMs);
    emit connectedChanged(true);
    emit changed();
}

void ModemSession::onHoldSecond() {
    if (!connected_) return;
    if (holdLeft_ > 0 && --holdLeft_ == 0) drop();
    emit changed();
}

void ModemSession::endConnection() {
    connected_ = false;
    engine_.lineUse().modemConnected = false;
    hold_.stop();
    emit connectedChanged(false);
}

void ModemSession::watchLine(const QByteArray& chunk) {
    // A late reply on the line starts the quiet time before "+++" again.
    if (escapePending_) guard_.start(guardMs());
    if (!connected_) return;
    // The far end hung up: nothing to send, the call is over.
    if (carrierLost(tail_, chunk)) {
        endConnection();
        if (!dropping_) lineToken_.release();
        emit changed();
    }
}

void ModemSession::drop() {
    if (dropping_) return;
    dropping_ = true;
    if (connected_) endConnection();
    claim_ = engine_.claimLine(*this);
    // The line is ours now, so nothing more goes out; "+++" waits until it has been quiet long enough.
    escapePending_ = true;
    guard_.start(guardMs());
    emit changed();
}

void ModemSession::sendEscape() {
    escapePending_ = false;
    sendText(kEscape);
    engine_.clock().singleShot(escapeToHangUpMs, this, [this] {
        sendText(kManualHangUp);
        engine_.clock().singleShot(hangUpToReopenMs, this, [this] {
            dropping_ = false;
            claim_.release();
            lineToken_.release();
            engine_.abandonRequest();
            if (!closing_) {
                port_.closePort();
                port_.applyAndOpen(settings_);
            }
            emit changed();
        });
    });
    emit changed();
}

} // namespace tarn::link
