#include "portscan/Probes.h"

#include "common/Cp1251.h"
#include "link/FrameChecksum.h"
#include "portscan/Crc16Modbus.h"

namespace tarn::portscan {

namespace {

QByteArray readRequest(quint8 firstByte) {
    QByteArray r;
    r.append(static_cast<char>(firstByte));
    r.append('\x00'); // address byte: the identification block
    r.append('\x20'); // 32 bytes
    return link::withFrameChecksum(r);
}

bool checkByteRight(const QByteArray& frame) {
    return static_cast<quint8>(frame.back()) == link::frameChecksum(frame.constData(), frame.size() - 1);
}

} // namespace

QByteArray correctorRequest() {
    return readRequest(0x02);
}

QByteArray adapterRequest() {
    return readRequest(0x00);
}

QString printableText(const QByteArray& bytes) {
    QByteArray kept;
    for (char c : bytes)
        if (static_cast<quint8>(c) >= 0x20) kept.append(c);
    return fromCp1251(kept);
}

CorrectorKind correctorReplyKind(const QByteArray& buffer) {
    if (buffer.size() != kIdentificationReplyLength || buffer.at(0) != '\x00' || !checkByteRight(buffer))
        return CorrectorKind::None;
    const QByteArray payload = buffer.mid(1, buffer.size() - 2);
    if (payload.contains("Tarn")) return CorrectorKind::TarnNm;
    if (payload.contains("QUON")) return CorrectorKind::TarnQuon;
    return CorrectorKind::None;
}

bool adapterReplyAccepted(const QByteArray& buffer) {
    if (buffer.size() < 5 || static_cast<quint8>(buffer.at(0)) == 0xEE || !checkByteRight(buffer))
        return false;
    const QByteArray payload = buffer.mid(1, buffer.size() - 2);
    return payload.mid(1, 4) != "QUON" && payload.mid(1, 6) != "Wexlor";
}

UnitReply unitReplyKind(const QByteArray& buffer) {
    if (buffer.size() == kUnitShortLength && unitFrameValid(buffer)) return UnitReply::Short;
    if (buffer.size() == kUnitDataLength + 2 && unitFrameValid(buffer)) return UnitReply::Data;
    return UnitReply::None;
}

} // namespace tarn::portscan
