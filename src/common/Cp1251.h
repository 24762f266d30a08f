#pragma once
// Windows-1251, the code page of every text file, corrector text and report of an installation.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace tarn {

// Characters outside the code page become '?'.
QByteArray toCp1251(const QString& text);
// The same, appended to out: a file of many lines is encoded into one buffer.
void appendCp1251(QByteArray& out, QStringView text);
QString fromCp1251(const QByteArray& bytes);
QString fromCp1251(QByteArrayView bytes);
// One byte to its character (0x00..0xFF).
QChar cp1251Char(unsigned char byte);

} // namespace tarn
