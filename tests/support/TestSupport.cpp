#include "support/TestSupport.h"

#include <QFile>

namespace tarn::test {

TempHome::TempHome() : root_(dir_.path()) {
    root_.createFolders();
}

void TempHome::write(const char* folderName, const QString& file, const QByteArray& bytes) const {
    QFile f(path(folderName, file));
    if (f.open(QIODevice::WriteOnly)) f.write(bytes);
}

QByteArray TempHome::read(const char* folderName, const QString& file) const {
    QFile f(path(folderName, file));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool TempHome::exists(const char* folderName, const QString& file) const {
    return QFile::exists(path(folderName, file));
}

QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

} // namespace tarn::test
