#include "portscan/Crc16Modbus.h"

#include <array>

namespace tarn::portscan {

namespace {

constexpr std::array<quint16, 256> makeTable() {
    std::array<quint16, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        quint16 crc = static_cast<quint16>(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001) : static_cast<quint16>(crc >> 1);
        table[i] = crc;
    }
    return table;
}

constexpr std::array<quint16, 256> kTable = makeTable();

} // namespace

quint16 crc16Modbus(QByteArrayView bytes) {
    quint16 crc = 0xFFFF;
    for (char c : bytes)
        crc = static_cast<quint16>((crc >> 8) ^ kTable[(crc ^ static_cast<quint8>(c)) & 0xFF]);
    return crc;
}

QByteArray unitCrcBytes(QByteArrayView bytes) {
    const quint16 crc = crc16Modbus(bytes);
    QByteArray out;
    out.append(static_cast<char>(~crc & 0xFF));
    out.append(static_cast<char>((~crc >> 8) & 0xFF));
    return out;
}

QByteArray unitRequest(quint16 commandWord) {
    QByteArray out;
    out.append(static_cast<char>(commandWord >> 8));
    out.append(static_cast<char>(commandWord & 0xFF));
    out.append(unitCrcBytes(out));
    return out;
}

bool unitFrameValid(QByteArrayView frame) {
    if (frame.size() < 3) return false;
    const QByteArrayView body = frame.first(frame.size() - 2);
    return frame.last(2) == QByteArrayView(unitCrcBytes(body));
}

} // namespace tarn::portscan
