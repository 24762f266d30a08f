#include "link/ExchangeEngine.h"

#include "common/Language.h"
#include "link/FrameChecksum.h"

#include <algorithm>
#include <utility>

namespace tarn::link {

namespace {

// What a corrector sends on its own when an abnormal situation begins.
constexpr quint8 kAlarmNotice[] = {0x9E, 0x06, 0x01, 0x31, 0x0F, 0x89};
constexpr int kAlarmNoticeSize = 6;
// The alarm warning waits this long, so the receive handler has finished first.
constexpr int kAlarmWarningDelayMs = 50;
// Noise on an idle line is not kept without end.
constexpr qsizetype kMaxReceiveBuffer = 64 * 1024;
// Parameter page reads: after this many attempts the last read is taken as it is.
constexpr int kPageAttemptsBeforeAccepting = 5;
// Coefficient tables: the last calibration item, and the gap in the meter-coefficient items.
constexpr int kLastCalibrationItem = 184;
constexpr int kMeterCoefGapStart = 153;
constexpr int kMeterCoefGapEnd = 157;

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

std::optional<QString> statusMessage(quint8 status, bool passwordOperation, int languageIndex) {
    if (status & 0x40)
        return uaRu(languageIndex, "ЗАПИС НЕМОЖЛИВИЙ, НЕМАЄ ДОПУСК", "ЗАПИСЬ НЕВОЗМОЖНА, НЕТ ДОПУСКА");
    if ((status & 0x28) == 0x28)
        return uaRu(languageIndex, "Номер коректора не збігся!", "Номер корректора не совпал!!!");
    if (status & 0x20) return uaRu(languageIndex, "Помилкова команда!", "Ошибочная команда!!!");
    if (status & 0x08)
        return uaRu(languageIndex, "Помилкове значення", "Ошибочное значение") +
               (passwordOperation ? QStringLiteral(" пароля") : QString()) + QStringLiteral("!!!");
    return std::nullopt;
}

QString noLinkText(int languageIndex) {
    return uaRu(languageIndex, "НЕМАЄ ЗВ’ЯЗКУ RS-232", "НЕТ СВЯЗИ RS-232 ");
}

bool pageWordIgnored(quint8 page, int word) {
    if (page == 0) return (word >= 17 && word <= 32) || word == 38;
    if (page == 64) return (word >= 9 && word <= 16) || word == 33 || word == 34 || word == 38 || word == 39;
    return false;
}

bool pagesAgree(quint8 page, const QByteArray& previous, const QByteArray& current) {
    if (page == 128) return true;
    constexpr int kWords = 64;
    if (previous.size() < kWords * 4 || current.size() < kWords * 4) return false;
    for (int word = 1; word <= kWords; ++word) {
        if (pageWordIgnored(page, word)) continue;
        const qsizetype at = (word - 1) * 4;
        if (previous.mid(at, 4) != current.mid(at, 4)) return false;
    }
    return true;
}

ExchangeEngine::ExchangeEngine(LinkPort& port, Notifier& notifier, QObject* parent)
    : QObject(parent), port_(port), notifier_(notifier) {
    replyTimer_.setSingleShot(true);
    writeTimer_.setSingleShot(true);
    noLinkTimer_.setSingleShot(true);
    noLinkTimer_.setInterval(0);
    connect(&replyTimer_, &QTimer::timeout, this, &ExchangeEngine::onReplyTimeout);
    connect(&writeTimer_, &QTimer::timeout, this, &ExchangeEngine::writePendingFrame);
    connect(&noLinkTimer_, &QTimer::timeout, this, &ExchangeEngine::giveUpWithoutLink);
    connect(&port_, &LinkPort::received, this, &ExchangeEngine::onReceived);
}

void ExchangeEngine::configure(const LinkSettings& s, int deviceAddress) {
    settings_.deviceAddress = std::clamp(deviceAddress, kMinDeviceAddress, kMaxDeviceAddress);
    settings_.retryCount = std::clamp(s.retryCount, kRetryMin, kRetryMax);
    settings_.replyTimeoutMs = std::clamp(s.replyTimeoutMs, 0, kReplyTimeoutMax);
    settings_.writeDelayMs = std::clamp(s.writeDelayMs, 0, kWriteDelayMax);
    settings_.resetOnFailure = s.resetOnFailure;
    settings_.modemUsed = s.modemUsed;
}

// ---- requests --------------------------------------------------------------------------------------

// The state of a new request; every earlier one is forgotten.
void ExchangeEngine::beginRequest(quint8 op, quint8 address, int retries, quint16 blocksLeft, bool isWrite) {
    state_ = ExchangeState{};
    state_.op = op;
    state_.block = address;
    state_.retriesLeft = retries;
    state_.blocksLeft = blocksLeft;
    state_.isWrite = isWrite;
    ++requestSerial_;
    receiveBuffer_.clear();
}

void ExchangeEngine::startRead(quint8 op, quint8 address, quint8 count, int retries, quint16 blocksLeft) {
    beginRequest(op, address, retries, blocksLeft, false);
    state_.count = count;
    state_.expectedLength = expectedReplyLength(false, count);
    sendFrame(buildReadFrame(settings_.deviceAddress, op, address, count));
}

bool ExchangeEngine::startWrite(quint8 op, quint8 address, const QByteArray& data, int retries,
                                quint16 blocksLeft) {
    const auto frame = buildWriteFrame(settings_.deviceAddress, op, address, data);
    if (!frame) return false;
    beginRequest(op, address, retries, blocksLeft, true);
    state_.writeData = data;
    state_.expectedLength = expectedReplyLength(true, 0);
    sendFrame(*frame);
    return true;
}

void ExchangeEngine::resend(int retries) {
    const ExchangeState s = state_;
    if (s.isWrite)
        startWrite(s.op, s.block, s.writeData, retries, s.blocksLeft);
    else
        startRead(s.op, s.block, s.count, retries, s.blocksLeft);
}

void ExchangeEngine::startPageRead(quint8 page) {
    pageAttempts_ = 0;
    previousPage_.clear();
    startRead(opPageRead, page, 0, settings_.retryCount, 1);
}

void ExchangeEngine::sendFrame(const QByteArray& frame) {
    if (consumers_.view) consumers_.view->stepSentActivity();
    lastRequest_ = frame;
    // The new request replaces whatever was outstanding.
    replyTimer_.stop();
    writeTimer_.stop();
    noLinkTimer_.stop();
    awaitingReply_ = false;
    pendingFrame_.clear();
    // Nothing can be sent: the caller learns it at once instead of waiting for a reply that cannot come.
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
    if (settings_.writeDelayMs > 0) {
        writeTimer_.start(settings_.writeDelayMs);
        return;
    }
    writePendingFrame();
}

void ExchangeEngine::writePendingFrame() {
    const QByteArray frame = std::exchange(pendingFrame_, QByteArray());
    if (frame.isEmpty()) return;
    // Bytes that came before the request was on the wire cannot be its reply.
    receiveBuffer_.clear();
    if (!port_.write(frame)) {
        port_.markBroken();
        notifier_.message(MessageKind::Error, uaRu(language_, "ПОМИЛКА COM порту", "ОШИБКА COM порта"));
        noLinkTimer_.start();
        return;
    }
    if (log_) log_->logSent(frame);
    emit frameSent(frame);
    replyTimer_.start(effectiveReplyTimeoutMs(settings_.replyTimeoutMs));
    awaitingReply_ = true;
    if (modes_.modemConnected && consumers_.modem) consumers_.modem->reloadHoldCountdown();
}

// ---- receiving -------------------------------------------------------------------------------------

void ExchangeEngine::onReceived(const QByteArray& chunk) {
    if (modes_.modemTerminalActive) {
        if (consumers_.modem) consumers_.modem->onTerminalChunk(chunk);
        return;
    }
    receiveBuffer_ += chunk;
    if (receiveBuffer_.size() > kMaxReceiveBuffer) receiveBuffer_ = receiveBuffer_.right(kMaxReceiveBuffer);
    if (modes_.rawCapture) {
        if (log_) log_->logReceived(receiveBuffer_);
        return;
    }
    if (!modes_.frameMode && receiveBuffer_.size() >= 2) {
        if (static_cast<quint8>(receiveBuffer_.at(0)) == 0xFF ||
            static_cast<quint8>(receiveBuffer_.at(1)) == 0xFF) {
            if (consumers_.modem) consumers_.modem->resendInit();
            receiveBuffer_.clear();
            return;
        }
        if (consumers_.modem) {
            if (const auto word = consumers_.modem->findResultWord(receiveBuffer_);
                word && consumers_.polling)
                consumers_.polling->onModemResult(*word);
        }
    }
    if (modes_.modemConnected && receiveBuffer_.contains("NO CARRIER") && consumers_.modem)
        consumers_.modem->onNoCarrier();
    if (receiveBuffer_.isEmpty()) return;
    if (handleAlarmNotice()) return;
    if (modes_.transferUnitActive) {
        if (receiveBuffer_.size() >= state_.expectedLength && consumers_.transferUnit &&
            consumers_.transferUnit->acceptsReply(receiveBuffer_, state_.expectedLength)) {
            if (log_) log_->logReceived(receiveBuffer_);
            const QByteArray reply = std::exchange(receiveBuffer_, QByteArray());
            consumers_.transferUnit->onReply(reply);
        }
        return;
    }
    if (modes_.dialWindowActive) {
        if (consumers_.modem) consumers_.modem->onDialText(receiveBuffer_);
        return;
    }
    if (modes_.pollingActive && modes_.pollingByPhone && !modes_.frameMode) return;
    // Only a request on the wire can be answered: late or doubled replies are not taken again.
    if (!awaitingReply_) return;
    if (receiveBuffer_.size() < state_.expectedLength) return;
    if (!validateReply()) return; // the reply timer runs out and the request is repeated
    completeReply();
}

bool ExchangeEngine::handleAlarmNotice() {
    int matching = 0;
    while (matching < kAlarmNoticeSize && matching < receiveBuffer_.size() &&
           static_cast<quint8>(receiveBuffer_.at(matching)) == kAlarmNotice[matching])
        ++matching;
    if (matching == kAlarmNoticeSize) {
        if (consumers_.view) consumers_.view->showAlarmSignalFields();
        const bool asked = modes_.alarmCheckRequested;
        if (!asked)
            QTimer::singleShot(kAlarmWarningDelayMs, this, [this] {
                notifier_.message(MessageKind::Warning,
                                  uaRu(language_, "Увага!!! Надійшло повідомлення про аварію коректора",
                                       "Внимание!!! Пришло сообщение о аварии корректора"));
            });
        modes_.alarmCheckRequested = false;
        // The notice answers the alarm check; one that comes on its own leaves a request outstanding
        // in the hands of its reply timer.
        if (asked || !awaitingReply_) {
            replyTimer_.stop();
            awaitingReply_ = false;
        }
        hideNoLink();
        receiveBuffer_.clear();
        emit alarmNotice();
        return true;
    }
    // The first bytes of the notice, and nothing else yet: wait for the rest.
    return matching >= 3 && matching == receiveBuffer_.size();
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
    replyPayload_ = receiveBuffer_.mid(1, n - 2);
    return true;
}

void ExchangeEngine::completeReply() {
    if (consumers_.view) consumers_.view->stepReplyActivity();
    if (log_) log_->logReceived(receiveBuffer_);
    replyTimer_.stop();
    awaitingReply_ = false;
    hideNoLink();
    emit replyAccepted(state_.op, state_.block, replyPayload_);
    completeByOp();
}

void ExchangeEngine::completeByOp() {
    const quint64 serial = requestSerial_;
    auto tookOver = [&] { return requestSerial_ != serial; };
    const int kind = modes_.archiveKind;
    switch (state_.op) {
    case opRead:
        if (modes_.calibrationRead) {
            if (auto* c = consumers_.coefficients)
                c->onCalibrationItem(modes_.tableIndex, replyPayload_.mid(2, 4));
            ++modes_.tableIndex;
            if (modes_.tableIndex <= kLastCalibrationItem) {
                if (auto* c = consumers_.coefficients) c->restartCalibrationRead();
            } else {
                modes_.calibrationRead = false;
                if (auto* c = consumers_.coefficients)
                    c->calibrationReadDone(uaRu(language_, "ЧИТАННЯ  НОРМА", "ЧТЕНИЕ НОРМА"));
            }
            receiveBuffer_.clear();
            return;
        }
        if (modes_.meterCoefRead) {
            if (auto* c = consumers_.coefficients)
                c->onMeterCoefItem(modes_.tableIndex, replyPayload_.mid(2, 4));
            ++modes_.tableIndex;
            if (modes_.tableIndex == kMeterCoefGapStart) modes_.tableIndex = kMeterCoefGapEnd;
            receiveBuffer_.clear();
            if (auto* c = consumers_.coefficients) c->restartMeterCoefRead();
            return;
        }
        if (modes_.parameterTransfer) {
            if (auto* i = consumers_.items) {
                i->onItemReply(replyPayload_);
                if (modes_.lastItem) i->endItemTransfer();
            }
        } else if (auto* v = consumers_.view) {
            v->onBlockReply(kind, replyPayload_);
        }
        break;
    case opArchiveLow:
    case opArchiveHigh: {
        const bool checked = state_.op == opArchiveLow
                                 ? (kind == 3 || kind == 6)
                                 : (kind == 4 || kind == 5 || kind == 7 || kind == 9 || kind == 10);
        if (checked && consumers_.archives &&
            !consumers_.archives->acceptBlock(kind, state_.block, replyPayload_)) {
            if (!tookOver()) resend(settings_.retryCount);
            return;
        }
        break;
    }
    case opPageRead:
        pageCheck();
        return;
    case opWrite:
        modes_.followUp = followUpNone;
        if (modes_.meterCoefRead || modes_.calibrationRead || modes_.programWrite ||
            modes_.parameterTransfer) {
            if (modes_.meterCoefRead) {
                if (auto* c = consumers_.coefficients) c->meterCoefWriteStep();
            } else if (modes_.calibrationRead) {
                if (auto* c = consumers_.coefficients) c->calibrationWriteStep();
            } else if (modes_.programWrite) {
                if (auto* p = consumers_.programWriter) p->writeStep();
            } else if (auto* i = consumers_.items) {
                i->endItemTransfer();
                if (!modes_.pollingActive) i->startNextStep();
            }
            if (!tookOver()) receiveBuffer_.clear();
            return;
        }
        break;
    default:
        break;
    }
    // A consumer that has started the next request itself owns the line now.
    if (tookOver()) return;
    endOfTransfer();
}

void ExchangeEngine::pageCheck() {
    const quint8 page = state_.block;
    if (++pageAttempts_ > kPageAttemptsBeforeAccepting) previousPage_ = replyPayload_;
    if (!pagesAgree(page, previousPage_, replyPayload_)) {
        previousPage_ = replyPayload_;
        startRead(opPageRead, page, 0, settings_.retryCount, 1);
        return;
    }
    if (page < 130) state_.blocksLeft = 0;
    if (modes_.coefficientTableModel && page < 178) state_.blocksLeft = 0;
    // The next page starts with no copy of its own: its first read is always checked by a second one.
    previousPage_.clear();
    pageAttempts_ = 0;
    const quint64 serial = requestSerial_;
    if (auto* p = consumers_.pages) p->onPageAccepted(page, replyPayload_);
    if (requestSerial_ != serial) return;
    endOfTransfer();
}

void ExchangeEngine::endOfTransfer() {
    receiveBuffer_.clear();
    auto* queue = consumers_.readQueue;
    if (modes_.endOfData) {
        if (queue) queue->setGaugeFull();
        state_.blocksLeft = 0;
        modes_.endOfData = false;
    }
    if (state_.blocksLeft > 0) {
        const quint16 left = static_cast<quint16>(state_.blocksLeft - 1);
        const auto next = static_cast<quint8>(state_.block + 1);
        state_.blocksLeft = left;
        state_.block = next;
        if (!modes_.pollingActive && queue) queue->stepGauge();
        if (state_.isWrite)
            startWrite(state_.op, next, state_.writeData, settings_.retryCount, left);
        else if (state_.op != opPageRead)
            startRead(state_.op, next, state_.count, settings_.retryCount, left);
        return;
    }
    if (queue) queue->markKindDone(modes_.archiveKind);
    if (state_.op == opPageRead) {
        if (auto* p = consumers_.pages) p->onFullReadComplete();
        if (auto* p = consumers_.polling) p->stepDone();
        if (auto* a = consumers_.archives; a && a->selectiveReadOn()) a->continueSelectiveRead();
    }
    emit transferComplete();
    if (modes_.readQueue) {
        if (!queue || !queue->startNextPendingKind()) {
            if (queue) queue->setGaugeFull();
            modes_.readQueue = false;
            runFollowUp();
            if (queue) queue->closeReadWindow();
        }
        return;
    }
    runFollowUp();
}

void ExchangeEngine::runFollowUp() {
    const int followUp = std::exchange(modes_.followUp, followUpNone);
    switch (followUp) {
    case followUpReadQueue:
        if (auto* q = consumers_.readQueue) q->startReadQueue();
        break;
    case followUpStatusBlock:
        modes_.archiveKind = 16;
        startRead(opRead, 4, 32, settings_.retryCount, 0);
        break;
    case followUpMeasurement:
        modes_.archiveKind = 15;
        startRead(opRead, 3, 46, settings_.retryCount, 0);
        break;
    default:
        break;
    }
}

// ---- failures --------------------------------------------------------------------------------------

void ExchangeEngine::onReplyTimeout() {
    modes_.alarmCheckRequested = false;
    replyTimer_.stop();
    awaitingReply_ = false;
    if (modes_.stopRequested) return;
    // The link went away while the request was out: nothing can be resent.
    if (port_.linkBroken()) {
        giveUpWithoutLink();
        return;
    }
    if (settings_.resetOnFailure) reopenPortAfterFailure();
    const QByteArray copy = receiveBuffer_;
    if (!copy.isEmpty() && consumers_.view) consumers_.view->stepReplyActivity();
    if (modes_.pollingActive && state_.retriesLeft > 0 && state_.retriesLeft != settings_.retryCount &&
        consumers_.polling) {
        const QString name = consumers_.polling->complexName();
        consumers_.polling->logLine(language_ == kRussian ? QStringLiteral("ошибка обмена корректор -> \"") +
                                                                name + QStringLiteral("\" повтор обмена!!!")
                                                          : QStringLiteral("помилка обміну коректор -> \"") +
                                                                name + QStringLiteral("\"повтор обміну!"));
    }
    --state_.retriesLeft;
    const auto status = copy.isEmpty() ? quint8{0} : static_cast<quint8>(copy.at(0));

    if (modes_.parameterTransfer) {
        auto endTransfer = [this] {
            if (auto* i = consumers_.items) i->endItemTransfer();
            if (auto* v = consumers_.view) v->dropAccessLevel();
        };
        if (!copy.isEmpty() && (status & (0x40 | 0x08 | 0x20))) {
            reportStatus(status);
            endTransfer();
            return;
        }
        if (modes_.passwordOperation()) {
            if (!copy.isEmpty()) reportStatus(status);
            endTransfer();
            notifier_.message(MessageKind::Warning, uaRu(language_, "немає відповіді від коректора!",
                                                         "нет ответа от корректора!!!"));
            if (modes_.pollingActive && consumers_.polling) consumers_.polling->failPoint();
            return;
        }
        if (state_.retriesLeft > 0) {
            resend(state_.retriesLeft);
            return;
        }
        endTransfer();
        showNoLink();
        return;
    }

    if (state_.retriesLeft > 0) {
        resend(state_.retriesLeft);
    } else {
        if (settings_.resetOnFailure) reopenPortAfterFailure();
        if (modes_.pollingActive && consumers_.polling && consumers_.polling->correctorIdentified()) {
            consumers_.polling->failPoint();
            consumers_.polling->forgetIdentification();
            return;
        }
        showNoLink();
        runFollowUp();
        if (modes_.meterCoefRead || modes_.calibrationRead) {
            const bool meter = modes_.meterCoefRead;
            const QString text = QStringLiteral("№ ") + QString::number(modes_.tableIndex) +
                                 uaRu(language_, "- ПОМИЛКА!", " - ОШИБКА!!!");
            if (auto* c = consumers_.coefficients) c->showItemError(meter, text);
            modes_.meterCoefRead = false;
            modes_.calibrationRead = false;
            if (copy.isEmpty()) {
                logFailure(LinkLogCode::NothingReceived, copy);
                return;
            }
            reportStatus(status);
        }
    }
    if (copy.isEmpty())
        logFailure(LinkLogCode::NothingReceived, copy);
    else if (status != 0)
        logFailure(LinkLogCode::StatusNotZero, copy);
    else if (copy.size() != state_.expectedLength)
        logFailure(LinkLogCode::CountDiffers, copy);
}

void ExchangeEngine::abandonRequest() {
    replyTimer_.stop();
    writeTimer_.stop();
    pendingFrame_.clear();
    awaitingReply_ = false;
    state_.retriesLeft = 0;
}

void ExchangeEngine::giveUpWithoutLink() {
    replyTimer_.stop();
    writeTimer_.stop();
    pendingFrame_.clear();
    awaitingReply_ = false;
    if (modes_.parameterTransfer) {
        if (auto* i = consumers_.items) i->endItemTransfer();
        if (auto* v = consumers_.view) v->dropAccessLevel();
    }
    if (modes_.meterCoefRead || modes_.calibrationRead) {
        const QString text = QStringLiteral("№ ") + QString::number(modes_.tableIndex) +
                             uaRu(language_, "- ПОМИЛКА!", " - ОШИБКА!!!");
        if (auto* c = consumers_.coefficients) c->showItemError(modes_.meterCoefRead, text);
        modes_.meterCoefRead = false;
        modes_.calibrationRead = false;
    }
    // Nothing deferred can run either.
    modes_.followUp = followUpNone;
    if (modes_.readQueue) {
        modes_.readQueue = false;
        if (auto* q = consumers_.readQueue) q->closeReadWindow();
    }
    if (modes_.pollingActive && consumers_.polling) consumers_.polling->failPoint();
    showNoLink();
}

void ExchangeEngine::reopenPortAfterFailure() {
    // Re-opening would drop a modem call.
    if (settings_.modemUsed || (modes_.pollingActive && modes_.pollingByPhone)) return;
    if (reopener_) {
        reopener_->reopenPort();
        return;
    }
    port_.closePort();
    port_.openPort(true);
}

void ExchangeEngine::showNoLink() {
    if (auto* v = consumers_.view) v->setNoLinkShown(true, noLinkText(language_));
    emit linkLost();
}

void ExchangeEngine::hideNoLink() {
    if (auto* v = consumers_.view) v->setNoLinkShown(false, QString());
}

void ExchangeEngine::reportStatus(quint8 status) {
    const auto text = statusMessage(status, modes_.passwordOperation(), language_);
    if (!text) return;
    notifier_.message(MessageKind::Error, *text);
    emit statusReported(status, *text);
    if (modes_.pollingActive && consumers_.polling) consumers_.polling->failPoint();
}

void ExchangeEngine::logFailure(LinkLogCode code, const QByteArray& received) {
    if (log_) log_->logFailure(code, received, lastRequest_);
}

} // namespace tarn::link
