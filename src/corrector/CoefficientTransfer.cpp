#include "corrector/CoefficientTransfer.h"

#include "corrector/CoefficientTables.h"
#include "corrector/DeviceValues.h"
#include "corrector/ItemTable.h"

namespace tarn::corrector {

CoefficientTransfer::CoefficientTransfer(link::ExchangeEngine& engine, Notifier& notifier, QObject* parent)
    : QObject(parent), engine_(engine), item_(engine, notifier) {
    pause_.setSingleShot(true);
    connect(&pause_, &QTimer::timeout, this, &CoefficientTransfer::sendCurrent);
    // The payload is the corrector's serial number (2 bytes), then the entry's 4 bytes.
    item_.readReply = [this](const QByteArray& payload) {
        if (!running_ || write_) return;
        emit wordRead(currentWord(), payload.mid(2, 4).leftJustified(4, '\0'));
        next();
    };
    item_.writeAccepted = [this] {
        if (!running_ || !write_) return;
        emit wordWritten(currentWord(), values_.at(position_));
        next();
    };
    // The engine has said why: the refusal, or the no-link indication.
    item_.failed = [this](const link::Failure&) {
        if (running_) fail();
    };
}

CoefficientTransfer::~CoefficientTransfer() {
    pause_.stop();
}

bool CoefficientTransfer::read(const QList<int>& words) {
    if (running_ || words.isEmpty()) return false;
    words_ = words;
    values_.clear();
    write_ = false;
    position_ = 0;
    running_ = true;
    sendCurrent();
    return true;
}

bool CoefficientTransfer::write(const QList<int>& words, const QList<QByteArray>& values,
                                quint32 serialNumber) {
    if (running_ || words.isEmpty() || words.size() != values.size()) return false;
    words_ = words;
    values_ = values;
    serial_ = serialNumber;
    write_ = true;
    position_ = 0;
    running_ = true;
    sendCurrent();
    return true;
}

void CoefficientTransfer::sendCurrent() {
    if (!running_) return;
    const int word = currentWord();
    const auto code = coefficientItemCode(word);
    if (!code) {
        fail();
        return;
    }
    if (!write_) {
        item_.read(*code, kItemReplySize);
        return;
    }
    emit writingWord(word, *code);
    // The data of a numeric item write: the serial number's low 16 bits and the 4 value bytes.
    const QByteArray data = u16Bytes(static_cast<quint16>(serial_ & 0xFFFF)) + values_.at(position_);
    if (!item_.write(*code, data, false)) fail();
}

void CoefficientTransfer::next() {
    if (position_ + 1 >= words_.size()) {
        running_ = false;
        emit finished(true);
        return;
    }
    ++position_;
    pause_.start(write_ ? writePauseMs : readPauseMs);
}

void CoefficientTransfer::fail() {
    pause_.stop();
    running_ = false;
    emit finished(false);
}

void CoefficientTransfer::stop() {
    if (!running_) return;
    pause_.stop();
    running_ = false;
    engine_.abandonRequest();
}

} // namespace tarn::corrector
