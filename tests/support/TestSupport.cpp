#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
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

bool waitUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

void runPending() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace tarn::test
