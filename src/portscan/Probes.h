#pragma once
// What the scanner sends to each kind of device and how it recognises the answers.
#include <QByteArray>
#include <QString>

namespace tarn::portscan {

// The identification request of a corrector (device address 1, read 32 bytes at address 0):
// 02 00 20 DD. The USB adapter answers the same request at device address 0: 00 00 20 DF.
QByteArray correctorRequest();
QByteArray adapterRequest();
inline constexpr int kIdentificationReplyLength = 34;

// The modem commands: a reset to the factory profile, then the identification.
inline constexpr const char* kModemReset = "AT&F\r";
inline constexpr const char* kModemInfo = "ATI0\r\r";

// The command word of the 2 MB unit's probe and the size of its data reply (without the CRC).
inline constexpr quint16 kUnitProbeCommand = 0x8000;
inline constexpr int kUnitDataLength = 526;
inline constexpr int kUnitShortLength = 4;

// Received bytes as the log shows them: every byte below 0x20 removed, the rest in Windows-1251.
QString printableText(const QByteArray& bytes);

// A corrector's identification reply: exactly 34 bytes, status 0x00, the check byte right; the payload
// names the kind ("Tarn" first, then "QUON"). Anything else is no reply.
enum class CorrectorKind { None, TarnNm, TarnQuon };
CorrectorKind correctorReplyKind(const QByteArray& buffer);

// The adapter's reply: at least 5 bytes, the first not 0xEE, the last the check byte of the others, and
// not a corrector's identification: the payload (between the first and the last byte) must not hold
// "QUON" at its characters 2 … 5 nor "Wexlor" at its characters 2 … 7 (counted from 1).
bool adapterReplyAccepted(const QByteArray& buffer);

// The 2 MB unit's reply: the 4-byte short reply (two bytes and their inverted CRC) or the data reply
// (526 bytes and their inverted CRC, exactly 528 bytes).
enum class UnitReply { None, Short, Data };
UnitReply unitReplyKind(const QByteArray& buffer);

} // namespace tarn::portscan
