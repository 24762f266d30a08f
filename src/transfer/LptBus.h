#pragma once
// The two-wire bus of the LPT transfer unit's four memory chips, driven bit by bit from the parallel
// port: bit 0 of the data register is the clock line, bit 1 the data line; bit 7 of the status register
// set means the data line is held low (an acknowledge, or a 0 bit). Each chip holds 32 KB; chip c,
// address a is byte c × 32768 + a of the corrector's memory copy.
#include "link/LptPort.h"

#include <QByteArray>
#include <functional>
#include <optional>

namespace tarn::transfer {

inline constexpr int kLptChips = 4;
inline constexpr int kChipBytes = 32768;
inline constexpr int kLptLine = 64; // the write unit of the chips

// The bus reset's pause: the chips need these few milliseconds, waited through without serving events,
// so that nothing (a window closed, another read started) re-enters a transfer half done.
void pauseOnBus(int ms);

class LptBus {
public:
    // delay: reads of the status register after every clock edge (the "Задержка Si" setting); pause:
    // the bus reset's waits in milliseconds (pauseOnBus, or a program's own).
    LptBus(link::LptPort& port, int delay, std::function<void(int ms)> pause);

    bool invert = true; // the unit keeps its bytes inverted ("ИНВ")

    // Clock and data low, then the idle value: the chips forget any transfer they were in.
    void reset();
    // 256 bytes from a chip; a read not acknowledged is tried five more times, the bus reset between.
    std::optional<QByteArray> readPage(int chip, int address);
    // One 64-byte line written, and read back; false / nothing when a chip did not acknowledge.
    bool writeLine(int chip, int address, const QByteArray& bytes);
    std::optional<QByteArray> readLine(int chip, int address);

private:
    void put(quint8 value);
    void setClock(bool high);
    void setData(bool high);
    void delay(int reads);
    bool lineLow();
    void start();
    void stop();
    bool send(quint8 byte);
    quint8 receive(bool last);
    bool addressChip(int chip, int address);
    std::optional<QByteArray> randomRead(int chip, int address, int count);

    link::LptPort& port_;
    int delay_;
    std::function<void(int)> pause_;
    quint8 out_ = 0xF8;
};

} // namespace tarn::transfer
