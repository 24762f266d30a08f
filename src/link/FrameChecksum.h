#pragma once
// The check byte that closes every request and reply frame: the bitwise NOT of the 8-bit sum of all
// bytes before it (0x02 0x00 0x20 sum to 0x22, check byte 0xDD). The transfer unit and the port scanner
// use the same routine.
#include <QByteArray>
#include <QtGlobal>

namespace tarn::link {

inline quint8 frameChecksum(const char* data, qsizetype size) {
    quint8 sum = 0;
    for (qsizetype i = 0; i < size; ++i)
        sum = static_cast<quint8>(sum + static_cast<quint8>(data[i]));
    return static_cast<quint8>(~sum);
}

inline quint8 frameChecksum(const QByteArray& bytes) {
    return frameChecksum(bytes.constData(), bytes.size());
}

// The bytes followed by their check byte.
inline QByteArray withFrameChecksum(QByteArray bytes) {
    bytes.append(static_cast<char>(frameChecksum(bytes)));
    return bytes;
}

} // namespace tarn::link
