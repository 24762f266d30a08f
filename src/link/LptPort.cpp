#include "link/LptPort.h"

// ppdev is Linux's own; elsewhere the port cannot be opened and says so, and the rest builds as it is.
#ifdef Q_OS_LINUX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace tarn::link {

PpdevPort::~PpdevPort() {
    close();
}

#ifdef Q_OS_LINUX
bool PpdevPort::open(const QString& device) {
    close();
    fd_ = ::open(device.toLocal8Bit().constData(), O_RDWR);
    if (fd_ < 0) {
        error_ = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (::ioctl(fd_, PPCLAIM) != 0) {
        error_ = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    return true;
}

void PpdevPort::close() {
    if (fd_ < 0) return;
    ::ioctl(fd_, PPRELEASE);
    ::close(fd_);
    fd_ = -1;
}

void PpdevPort::writeData(quint8 value) {
    if (fd_ >= 0) ::ioctl(fd_, PPWDATA, &value);
}

quint8 PpdevPort::readStatus() {
    unsigned char status = 0;
    if (fd_ >= 0) ::ioctl(fd_, PPRSTATUS, &status);
    return status;
}
#else
bool PpdevPort::open(const QString& device) {
    error_ = QStringLiteral("%1: no parallel port device on this system").arg(device);
    return false;
}

void PpdevPort::close() {}

void PpdevPort::writeData(quint8) {}

quint8 PpdevPort::readStatus() {
    return 0;
}
#endif

QString lptDevice(quint16 baseAddress) {
    switch (baseAddress) {
    case 0x278:
        return QStringLiteral("/dev/parport1");
    case 0x3BC:
        return QStringLiteral("/dev/parport2");
    default:
        return QStringLiteral("/dev/parport0");
    }
}

} // namespace tarn::link
