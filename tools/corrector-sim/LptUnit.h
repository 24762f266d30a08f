#pragma once
// The single-zone transfer unit on the parallel port: four memory chips on a two-wire bus, seen through
// the port's data register (bit 0 clock, bit 1 data) and status register (bit 7 set: the data line is
// held low). It follows the bus edge by edge as the chips do: a start, the device byte with its chip
// number, two address bytes, then data written (taken at the stop) or, after a repeated start and the
// read command, data shifted out on each falling clock until the master leaves the acknowledge out.
// The chips keep their bytes inverted, as the unit does. A chip that has taken a write is busy for its
// write cycle and acknowledges nothing meanwhile, as the memory chips are. Faults: a chip that never
// answers, and a number of device bytes left unacknowledged.
#include "CorrectorMemory.h"
#include "link/LptPort.h"

#include <array>
#include <functional>

namespace tarn::sim {

class LptUnit final : public link::LptPort {
public:
    LptUnit();
    // The unit holding a corrector's memory copy (as the 16-zone unit lays out a zone).
    explicit LptUnit(const CorrectorMemory& memory);

    void writeData(quint8 value) override;
    quint8 readStatus() override;

    int deadChip = -1;    // this chip never acknowledges
    int missedAcks = 0;   // device bytes not acknowledged before the chips answer again
    int writeCycleMs = 5; // a chip is busy this long after it took a write
    // Milliseconds on the unit's clock (a steady clock unless a test sets its own).
    std::function<qint64()> now;
    bool busy(int chip) const;
    // The bytes as the chips hold them (inverted) and as the memory copy reads (not inverted).
    quint8 stored(int chip, int address) const { return chips_[chip].at(address); }
    quint8 imageByte(int offset) const {
        return static_cast<quint8>(~stored(offset / 32768, offset % 32768));
    }
    int writesTaken() const { return writes_; }

private:
    enum class Phase { Idle, Device, AddressHigh, AddressLow, WriteData, ReadData };
    void onRisingClock();
    void onFallingClock();
    void byteReceived(quint8 byte);

    std::array<QByteArray, 4> chips_;
    bool clock_ = false;
    bool masterData_ = true;
    bool slaveData_ = true; // released
    Phase phase_ = Phase::Idle;
    int bits_ = 0;
    quint8 shift_ = 0;
    bool acknowledging_ = false; // holding the line low through the ninth clock
    bool masterAcked_ = false;
    bool reading_ = false;
    int chip_ = 0;
    int address_ = 0;
    QByteArray pending_; // a write's bytes, taken at the stop
    int pendingAt_ = 0;
    int writes_ = 0;
    std::array<qint64, 4> busyUntil_{};
};

} // namespace tarn::sim
