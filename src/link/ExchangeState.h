#pragma once
// The request outstanding on the corrector line, and the frames that carry it.
#include <QByteArray>
#include <QtGlobal>
#include <optional>

namespace tarn::link {

// Op codes, OR-ed into byte 0 of a request beside the corrector's link address (bits 1..4).
enum Op : quint8 {
    opRead = 0x00,        // count bytes selected by the address byte
    opArchiveLow = 0x20,  // one 256-byte block of the lower 64 KB archive bank
    opArchiveHigh = 0x21, // the same in the upper bank (bit 0 is the 17th address bit)
    opPageRead = 0x40,    // one 256-byte page of the parameter memory
    opWrite = 0x80,       // the data bytes at the address byte
};

inline constexpr int kMinDeviceAddress = 1;
inline constexpr int kMaxDeviceAddress = 14;
// A write carries 1..256 data bytes; byte 2 holds the low 8 bits of the count (0 for 256).
inline constexpr int kMaxWriteData = 256;

struct ExchangeState {
    quint8 op = opRead;
    quint8 block = 0;       // address byte; +1 (mod 256) for each further block
    quint8 count = 0;       // byte count of a read, 0 = 256
    int retriesLeft = 0;    // sends still allowed, the one in flight included
    quint16 blocksLeft = 0; // further blocks after this one
    bool isWrite = false;
    QByteArray writeData; // the same data go to every block of a multi-block write
    quint16 expectedLength = 0;
};

// Length of a complete reply: status, payload and check byte; a write is answered by status and check.
inline quint16 expectedReplyLength(bool isWrite, quint8 count) {
    if (isWrite) return 2;
    return static_cast<quint16>((count == 0 ? 256 : count) + 2);
}

// Byte 0 of a request.
inline quint8 frameHead(int deviceAddress, quint8 op) {
    return static_cast<quint8>(((deviceAddress & 0x0F) << 1) | op);
}

// The 4-byte read request.
QByteArray buildReadFrame(int deviceAddress, quint8 op, quint8 address, quint8 count);
// The write request; nothing for an empty write or one of more than 256 data bytes (byte 2 could not
// say how many follow).
std::optional<QByteArray> buildWriteFrame(int deviceAddress, quint8 op, quint8 address,
                                          const QByteArray& data);

} // namespace tarn::link
