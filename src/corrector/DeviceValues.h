#pragma once
// How the corrector encodes its values: little-endian integers, single-precision floats, minutes since
// 01.01.2000 00:00 and Windows-1251 texts. Bytes missing from a short block read as 0.
#include <QByteArray>
#include <QString>

namespace tarn::corrector {

quint8 readU8(const QByteArray& bytes, int offset);
quint16 readU16(const QByteArray& bytes, int offset);
quint32 readU32(const QByteArray& bytes, int offset);
qint32 readI32(const QByteArray& bytes, int offset);
// A value that decodes as infinite or NaN is taken as 0.
float readFloat(const QByteArray& bytes, int offset);
// The low 3 bytes: the corrector sends 24-bit minutes on read.
quint32 readMinutes(const QByteArray& bytes, int offset);

QByteArray u16Bytes(quint16 value);
QByteArray u32Bytes(quint32 value);
QByteArray i32Bytes(qint32 value);
QByteArray floatBytes(float value);

// Minutes since the device epoch as "dd.MM.yyyy HH:mm", and its two halves; 0 (no date set) gives
// empty texts.
QString minutesText(quint32 minutes);
QString minutesDateText(quint32 minutes);
QString minutesTimeText(quint32 minutes);

// Windows-1251 text with every character code below 0x20 dropped.
QString deviceText(const QByteArray& bytes);
// Blanks (only ' ') removed at both ends.
QString trimBlanks(const QString& text);

// Exponent notation with 7 significant digits ("1.234568E+02").
QString exponentText(double value);
// 4 hexadecimal digits, upper case.
QString hex4(quint16 value);
// The bytes as hexadecimal digits, upper case, no separators.
QString hexBytes(const QByteArray& bytes);

// The shortest plain decimal text that reads back as the same single-precision value ("0.54", "72000.01",
// "1000000000"); used for the bounds of range messages.
QString floatBoundText(float value);

} // namespace tarn::corrector
