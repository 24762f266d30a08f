#include "corrector/DeviceValues.h"

#include "common/Cp1251.h"
#include "common/DateTimeText.h"
#include "common/DisplayNumber.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace tarn::corrector {

quint8 readU8(const QByteArray& bytes, int offset) {
    if (offset < 0 || offset >= bytes.size()) return 0;
    return static_cast<quint8>(bytes.at(offset));
}

quint16 readU16(const QByteArray& bytes, int offset) {
    return static_cast<quint16>(readU8(bytes, offset) | (readU8(bytes, offset + 1) << 8));
}

quint32 readU32(const QByteArray& bytes, int offset) {
    return quint32(readU8(bytes, offset)) | (quint32(readU8(bytes, offset + 1)) << 8) |
           (quint32(readU8(bytes, offset + 2)) << 16) | (quint32(readU8(bytes, offset + 3)) << 24);
}

qint32 readI32(const QByteArray& bytes, int offset) {
    return static_cast<qint32>(readU32(bytes, offset));
}

float readFloat(const QByteArray& bytes, int offset) {
    const float value = std::bit_cast<float>(readU32(bytes, offset));
    return std::isfinite(value) ? value : 0.0f;
}

quint32 readMinutes(const QByteArray& bytes, int offset) {
    return readU32(bytes, offset) & 0xFFFFFFu;
}

QByteArray u16Bytes(quint16 value) {
    QByteArray b(2, '\0');
    b[0] = static_cast<char>(value & 0xFF);
    b[1] = static_cast<char>(value >> 8);
    return b;
}

QByteArray u32Bytes(quint32 value) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return b;
}

QByteArray i32Bytes(qint32 value) {
    return u32Bytes(static_cast<quint32>(value));
}

QByteArray floatBytes(float value) {
    return u32Bytes(std::bit_cast<quint32>(value));
}

QString minutesText(quint32 minutes) {
    if (minutes == 0) return {};
    return formatTimestamp(minutesToDateTime(minutes));
}

QString minutesDateText(quint32 minutes) {
    if (minutes == 0) return {};
    return formatDate(minutesToDateTime(minutes).date());
}

QString minutesTimeText(quint32 minutes) {
    if (minutes == 0) return {};
    return formatShortTime(minutesToDateTime(minutes).time());
}

QString deviceText(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x20) continue;
        out.append(cp1251Char(code));
    }
    return out;
}

QString trimBlanks(const QString& text) {
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text.at(from) == QLatin1Char(' '))
        ++from;
    while (to > from && text.at(to - 1) == QLatin1Char(' '))
        --to;
    return text.mid(from, to - from);
}

QString exponentText(double value) {
    if (!std::isfinite(value)) value = 0.0;
    return QString::number(value, 'E', 6);
}

QString hex4(quint16 value) {
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

QString hexBytes(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex()).toUpper();
}

QString floatBoundText(float value) {
    if (!std::isfinite(value)) return QStringLiteral("0");
    if (value == 0.0f) return QStringLiteral("0");
    for (int digits = 1; digits <= 9; ++digits) {
        const QString g = QString::number(double(value), 'g', digits);
        const double shortest = g.toDouble();
        if (static_cast<float>(shortest) != value) continue;
        const int magnitude = static_cast<int>(std::floor(std::log10(std::fabs(shortest))));
        const int decimals = std::max(0, digits - 1 - magnitude);
        return displayNumber(shortest, decimals);
    }
    return displayNumber(double(value), 6);
}

} // namespace tarn::corrector
