#pragma once
// Builders of corrector records byte by byte, for the acceptance checks that hand the simulator records
// of their own: the corrector's little-endian integers and floats, its minute count and the check byte
// that closes a record. They share nothing with the program's decoders.
#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QTime>

#include <cstring>

namespace acceptance {

// The n low bytes of v, least significant first.
inline QByteArray le(quint32 v, int n) {
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
    return b;
}

// A value as the corrector's 4-byte float.
inline QByteArray floatLe(double value) {
    const float f = float(value);
    quint32 bits = 0;
    std::memcpy(&bits, &f, 4);
    return le(bits, 4);
}

// Minutes since 01.01.2000 00:00 in three bytes.
inline QByteArray deviceMinutes(const QDateTime& t) {
    const qint64 m = QDate(2000, 1, 1).daysTo(t.date()) * 1440 + t.time().hour() * 60 + t.time().minute();
    return le(quint32(m), 3);
}

// The record with its last byte set so that the 8-bit sum of all its bytes is zero.
inline QByteArray sealed(QByteArray r) {
    quint8 sum = 0;
    for (qsizetype i = 0; i + 1 < r.size(); ++i)
        sum = quint8(sum + quint8(r[i]));
    r[r.size() - 1] = char(quint8(0x100 - sum));
    return r;
}

} // namespace acceptance
