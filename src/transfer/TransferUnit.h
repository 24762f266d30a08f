#pragma once
// The portable data-transfer unit's side of the line: the requests it understands, how its replies are
// accepted, the check of a memory block, what its status bytes say about the unit and its zones, and the
// texts of its failures. Pure: bytes in, verdicts and texts out.
#include <QByteArray>
#include <QString>
#include <optional>

namespace tarn::transfer {

inline constexpr int kZoneBlocks = 512; // 256-byte blocks of one zone
inline constexpr int kBlockBytes = 256; // memory bytes of a block
inline constexpr int kRegions = 4;      // the zone image as four 32 KB regions
inline constexpr int kRegionBytes = 32768;
inline constexpr int kRowBytes = 64; // a block carries one row of each region
inline constexpr int kMaxZones = 16;
inline constexpr int kUnitBaud = 115200;

// The requests, without their check byte (the frame's check byte closes each one on the wire).
QByteArray versionRequest();
QByteArray stateRequest(int zones); // 8 or 16 zones
QByteArray progressRequest();
QByteArray testStartRequest();
QByteArray eraseStartRequest();
// The block of a zone (both counted from 0): page = zone × 512 + block.
QByteArray blockRequest(int zone, int block);

// A write request (top bit of its first byte) is answered with 3 bytes; a read with its count + 2, a
// count of 0 meaning a block (266 bytes).
int expectedReplyLength(const QByteArray& request);

// Why a request found no reply it could use; the error group of the window names it.
enum class ReplyFault { None, NoReply, WrongLength, UnitError, Checksum, Unidentified };

struct ReplyCheck {
    bool accepted = false;
    QByteArray payload; // between the first byte and the check byte
    ReplyFault fault = ReplyFault::None;
    quint8 unitFlags = 0; // a unit error's flags (its second byte)
};
// The reply is exactly as long as expected, does not start with the unit's error byte 0xEE, and ends with
// the check byte of everything before it.
ReplyCheck checkReply(const QByteArray& received, int expectedLength);

// A block's payload: 256 memory bytes, 4 bytes of the unit's own, 4 check bytes. The 32-bit sum of the
// complements of the 130 little-endian words of the first 260 bytes is the complement of the check bytes
// read as a little-endian number.
bool blockCheckOk(const QByteArray& payload);
// The check bytes that make a payload's first 260 bytes pass (the simulator's and the tests' side).
QByteArray blockCheckBytes(const QByteArray& first260);

// The error group's lines for a fault: "Нет ответа от ДТУ", "Ошибочное число данных", the unit's own
// flags ("Ошибка контрольной суммы", …), "Информация не идентифицирована".
QStringList faultTexts(ReplyFault fault, quint8 unitFlags);

// The unit's state from the first status byte; nothing when it is ready. The message stops the operation.
// justErased: right after an erase in the window the erased state is good news.
struct UnitStateMessage {
    QString text;
    bool warning = false; // "Стирание ДТУ - НОРМА" comes as a warning, the others as errors
};
std::optional<UnitStateMessage> unitStateMessage(quint8 firstStatus, bool justErased, int languageIndex);

// The zone's content from its status byte.
enum ZoneStatus : quint8 {
    ZoneEmpty = 0,
    ZoneIncomplete = 1,
    ZoneComplete = 3,
    ZoneBlockChecksum = 5,
    ZoneDataChecksum = 6,
    ZoneOldVersion = 7
};
// The zone's text: a checked complete copy shows "N " + serial (5 digits) + name; after a test of the
// unit every zone says so.
QString zoneText(quint8 status, bool afterTest, const QString& serial, const QString& name,
                 int languageIndex);
// The first status byte says the unit has been tested (every zone then shows "После теста").
bool unitAfterTest(quint8 firstStatus);

// The version reply as the user reads it: the unit pads its 32 bytes with NULs and blanks, which are
// no part of the text.
QString unitVersionText(const QByteArray& reply);

// A unit whose version text holds "u208" has 8 zones.
int zoneCountOf(const QByteArray& versionText);

} // namespace tarn::transfer
