#pragma once
// Helpers of the corrector tests: identification blocks and whole request frames around item payloads.
#include "corrector/Identification.h"

#include <QByteArray>
#include <QString>
#include <ostream>

namespace tarn::test {

// A 32-byte identification: character 1 and the version tag at characters 12..15, blanks elsewhere.
inline corrector::IdentificationString identification(char first, const char* tag) {
    QByteArray raw(32, ' ');
    raw[0] = first;
    for (int i = 0; i < 4 && tag[i]; ++i)
        raw[11 + i] = tag[i];
    return corrector::IdentificationString(raw);
}

// A write request as the engine sends it: address × 2 | op, the item code, the data length, the data
// and the bitwise NOT of the 8-bit sum of all bytes before it.
inline QByteArray writeFrame(int deviceAddress, quint8 itemCode, const QByteArray& data) {
    QByteArray frame;
    frame.append(static_cast<char>(deviceAddress * 2 | 0x80));
    frame.append(static_cast<char>(itemCode));
    frame.append(static_cast<char>(data.size() & 0xFF));
    frame += data;
    quint8 sum = 0;
    for (char c : frame)
        sum = static_cast<quint8>(sum + static_cast<quint8>(c));
    frame.append(static_cast<char>(~sum));
    return frame;
}

} // namespace tarn::test
