#include "transfer/LptBus.h"

#include <QThread>

namespace tarn::transfer {

namespace {
constexpr quint8 kClock = 0x01;
constexpr quint8 kData = 0x02;
constexpr quint8 kIdle = 0xF8;
constexpr int kAcknowledgePolls = 500;
constexpr int kPageRetries = 5;

quint8 deviceByte(int chip, bool read) {
    return static_cast<quint8>(0xA0 | (chip * 2) | (read ? 1 : 0));
}
} // namespace

void pauseOnBus(int ms) {
    QThread::msleep(static_cast<unsigned long>(qMax(0, ms)));
}

LptBus::LptBus(link::LptPort& port, int delay, std::function<void(int)> pause)
    : port_(port), delay_(qMax(0, delay)), pause_(std::move(pause)) {}

void LptBus::put(quint8 value) {
    out_ = value;
    port_.writeData(value);
}

void LptBus::setClock(bool high) {
    put(high ? (out_ | kClock) : (out_ & ~kClock));
}

void LptBus::setData(bool high) {
    put(high ? (out_ | kData) : (out_ & ~kData));
}

void LptBus::delay(int reads) {
    for (int i = 0; i < reads; ++i)
        port_.readStatus();
}

bool LptBus::lineLow() {
    return (port_.readStatus() & 0x80) != 0;
}

void LptBus::reset() {
    put(0);
    if (pause_) pause_(5);
    put(kIdle);
    if (pause_) pause_(50);
}

void LptBus::start() {
    setClock(true);
    setData(true);
    delay(delay_);
    setData(false);
    delay(delay_);
    setClock(false);
    delay(delay_);
}

void LptBus::stop() {
    setData(false);
    delay(delay_);
    setClock(true);
    delay(delay_);
    setData(true);
}

bool LptBus::send(quint8 byte) {
    for (int bit = 7; bit >= 0; --bit) {
        setData((byte >> bit) & 1);
        setClock(true);
        delay(delay_);
        setClock(false);
        delay(delay_);
    }
    // The chip holds the data line low through the ninth clock when it took the byte.
    delay(delay_);
    setData(true);
    delay(delay_);
    delay(delay_);
    setClock(true);
    bool acknowledged = false;
    for (int poll = 0; poll < kAcknowledgePolls && !acknowledged; ++poll)
        acknowledged = lineLow();
    delay(delay_);
    setClock(false);
    delay(delay_);
    return acknowledged;
}

quint8 LptBus::receive(bool last) {
    quint8 byte = 0;
    setData(true);
    delay(delay_);
    for (int bit = 0; bit < 8; ++bit) {
        setClock(false);
        delay(delay_);
        setClock(true);
        byte = static_cast<quint8>((byte << 1) | (lineLow() ? 0 : 1));
    }
    setClock(false);
    if (!last) {
        setData(false);
        setClock(true);
        setClock(false);
    } else {
        setData(true);
        setClock(true);
        delay(delay_);
        setClock(false);
    }
    return invert ? static_cast<quint8>(~byte) : byte;
}

bool LptBus::addressChip(int chip, int address) {
    const bool device = send(deviceByte(chip, false));
    const bool high = send(static_cast<quint8>((address >> 8) & 0xFF));
    const bool low = send(static_cast<quint8>(address & 0xFF));
    return device && high && low;
}

std::optional<QByteArray> LptBus::randomRead(int chip, int address, int count) {
    stop();
    start();
    addressChip(chip, address);
    start();
    // Only the read command's acknowledge tells that the chip is there and answering.
    if (!send(deviceByte(chip, true))) {
        stop();
        return std::nullopt;
    }
    QByteArray out(count, '\0');
    for (int i = 0; i < count; ++i)
        out[i] = static_cast<char>(receive(i == count - 1));
    stop();
    return out;
}

std::optional<QByteArray> LptBus::readPage(int chip, int address) {
    for (int attempt = 0; attempt <= kPageRetries; ++attempt) {
        if (auto page = randomRead(chip, address, 256)) return page;
        if (attempt > 0) reset();
    }
    return std::nullopt;
}

bool LptBus::writeLine(int chip, int address, const QByteArray& bytes) {
    stop();
    start();
    bool acknowledged = addressChip(chip, address);
    for (int i = 0; i < kLptLine; ++i) {
        const quint8 b = i < bytes.size() ? static_cast<quint8>(bytes.at(i)) : 0;
        acknowledged = send(invert ? static_cast<quint8>(~b) : b) && acknowledged;
    }
    stop();
    return acknowledged;
}

std::optional<QByteArray> LptBus::readLine(int chip, int address) {
    return randomRead(chip, address, kLptLine);
}

} // namespace tarn::transfer
