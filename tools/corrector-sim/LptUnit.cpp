#include "LptUnit.h"

#include "Dtu16Role.h"

#include <chrono>

namespace tarn::sim {

namespace {
qint64 steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

bool LptUnit::busy(int chip) const {
    return (now ? now() : steadyMs()) < busyUntil_.at(chip);
}

LptUnit::LptUnit() {
    for (QByteArray& c : chips_)
        c = QByteArray(32768, static_cast<char>(0xFF));
}

LptUnit::LptUnit(const CorrectorMemory& memory) {
    const std::array<QByteArray, 4> image = Dtu16Role::zoneImage(memory);
    for (int c = 0; c < 4; ++c) {
        chips_[c] = image[c];
        for (char& b : chips_[c])
            b = static_cast<char>(~static_cast<quint8>(b));
    }
}

quint8 LptUnit::readStatus() {
    const bool line = masterData_ && slaveData_;
    return line ? 0x00 : 0x80;
}

void LptUnit::writeData(quint8 value) {
    const bool clock = value & 0x01;
    const bool data = value & 0x02;
    const bool lineBefore = masterData_ && slaveData_;
    masterData_ = data;
    const bool lineAfter = masterData_ && slaveData_;
    if (clock_ && clock && lineBefore != lineAfter) {
        if (!lineAfter) {
            // Start (or a repeated start): a device byte follows.
            phase_ = Phase::Device;
            bits_ = 0;
            shift_ = 0;
            slaveData_ = true;
            acknowledging_ = false;
        } else {
            // Stop: a write is taken now, within the 64-byte line it began in.
            if (phase_ == Phase::WriteData && !pending_.isEmpty()) {
                const int lineStart = pendingAt_ & ~63;
                for (int i = 0; i < pending_.size(); ++i)
                    chips_[chip_][lineStart + ((pendingAt_ - lineStart + i) & 63)] = pending_.at(i);
                ++writes_;
                busyUntil_[chip_] = (now ? now() : steadyMs()) + writeCycleMs;
            }
            pending_.clear();
            phase_ = Phase::Idle;
            slaveData_ = true;
        }
        clock_ = clock;
        return;
    }
    if (!clock_ && clock) onRisingClock();
    if (clock_ && !clock) {
        clock_ = clock;
        onFallingClock();
        return;
    }
    clock_ = clock;
}

void LptUnit::onRisingClock() {
    clock_ = true;
    if (phase_ == Phase::Idle) return;
    if (phase_ == Phase::ReadData) {
        if (bits_ == 9) masterAcked_ = !(masterData_ && slaveData_); // the ninth clock: the master's answer
        return;
    }
    if (acknowledging_) return; // the ninth clock carries the chip's acknowledge, not a bit
    if (bits_ < 8) {
        shift_ = static_cast<quint8>((shift_ << 1) | ((masterData_ && slaveData_) ? 1 : 0));
        ++bits_;
    }
}

void LptUnit::onFallingClock() {
    if (phase_ == Phase::Idle) return;
    if (phase_ == Phase::ReadData) {
        acknowledging_ = false;
        if (bits_ < 8) {
            // The next bit goes out while the clock is low.
            slaveData_ = (static_cast<quint8>(chips_[chip_].at(address_)) >> (7 - bits_)) & 1;
            ++bits_;
            return;
        }
        if (bits_ == 8) {
            slaveData_ = true; // the line is the master's for its acknowledge
            bits_ = 9;
            return;
        }
        // After the ninth clock: on with the next byte, or done when the master left the line high.
        address_ = (address_ + 1) % 32768;
        if (!masterAcked_) {
            phase_ = Phase::Idle;
            slaveData_ = true;
            return;
        }
        bits_ = 1;
        slaveData_ = (static_cast<quint8>(chips_[chip_].at(address_)) >> 7) & 1;
        return;
    }
    if (acknowledging_) {
        // The ninth clock is over.
        acknowledging_ = false;
        slaveData_ = true;
        bits_ = 0;
        shift_ = 0;
        return;
    }
    if (bits_ == 8) byteReceived(shift_);
}

void LptUnit::byteReceived(quint8 byte) {
    bool take = true;
    switch (phase_) {
    case Phase::Device: {
        const int chip = (byte >> 1) & 0x03;
        if ((byte & 0xF0) != 0xA0 || chip == deadChip || busy(chip)) {
            take = false;
        } else if (missedAcks > 0) {
            --missedAcks;
            take = false;
        }
        if (!take) {
            phase_ = Phase::Idle;
            return;
        }
        chip_ = chip;
        reading_ = byte & 1;
        phase_ = reading_ ? Phase::ReadData : Phase::AddressHigh;
        break;
    }
    case Phase::AddressHigh:
        address_ = (byte & 0x7F) << 8;
        phase_ = Phase::AddressLow;
        break;
    case Phase::AddressLow:
        address_ |= byte;
        pendingAt_ = address_;
        phase_ = Phase::WriteData;
        break;
    case Phase::WriteData:
        pending_.append(static_cast<char>(byte));
        break;
    default:
        break;
    }
    // Hold the line low through the ninth clock.
    acknowledging_ = true;
    slaveData_ = false;
    bits_ = 0;
}

} // namespace tarn::sim
