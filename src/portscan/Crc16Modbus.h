#pragma once
// CRC-16/MODBUS (reflected polynomial 0xA001, initial value 0xFFFF, no final XOR), table-driven. The 2 MB
// transfer unit closes its frames with this CRC, low byte first, each byte inverted.
#include <QByteArray>
#include <QByteArrayView>

namespace tarn::portscan {

quint16 crc16Modbus(QByteArrayView bytes);

// The two bytes that close a frame of the unit: the CRC low byte first, each inverted.
QByteArray unitCrcBytes(QByteArrayView bytes);

// A request of the unit: the command word high byte first (top bit set for a command, the low 15 bits a
// page number), then its inverted CRC. Command 0x8000 gives 80 00 9F 8F.
QByteArray unitRequest(quint16 commandWord);

// True when the frame is its first (size − 2) bytes followed by their inverted CRC.
bool unitFrameValid(QByteArrayView frame);

} // namespace tarn::portscan
