#include "link/QtSerialPort.h"

namespace tarn::link {

QtSerialPort::QtSerialPort(QObject* parent) : SerialPort(parent) {
    connect(&port_, &QSerialPort::readyRead, this, [this] {
        const QByteArray bytes = port_.readAll();
        if (!bytes.isEmpty()) emit received(bytes);
    });
}

QtSerialPort::~QtSerialPort() {
    port_.close();
}

bool QtSerialPort::deviceExists(const QString& device) {
    // The port we hold exists; probing it again would disturb its line settings.
    if (port_.isOpen() && device == device_) return true;
    QSerialPort probe;
    probe.setPortName(device);
    if (probe.open(QIODevice::ReadWrite)) {
        probe.close();
        return true;
    }
    // Busy or not permitted: the device is there, somebody else has it.
    return probe.error() == QSerialPort::PermissionError;
}

bool QtSerialPort::open(const QString& device) {
    if (port_.isOpen()) port_.close();
    device_ = device;
    port_.setPortName(device);
    port_.setBaudRate(baud_);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    port_.setReadBufferSize(0);
    if (!port_.open(QIODevice::ReadWrite)) return false;
    port_.clear();
    return true;
}

void QtSerialPort::close() {
    if (port_.isOpen()) port_.close();
}

bool QtSerialPort::isOpen() const {
    return port_.isOpen();
}

bool QtSerialPort::setBaudRate(qint32 baud) {
    baud_ = baud;
    if (!port_.isOpen()) return true;
    return port_.setBaudRate(baud);
}

void QtSerialPort::setDtr(bool on) {
    if (port_.isOpen()) port_.setDataTerminalReady(on);
    port_.clearError();
}

void QtSerialPort::setRts(bool on) {
    if (port_.isOpen()) port_.setRequestToSend(on);
    port_.clearError();
}

bool QtSerialPort::write(const QByteArray& bytes) {
    if (!port_.isOpen()) return false;
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = port_.write(bytes.constData() + done, bytes.size() - done);
        if (n < 0) return false;
        done += n;
    }
    // Hand the bytes to the driver now; the reply timer measures from here.
    port_.flush();
    return port_.error() == QSerialPort::NoError;
}

QString QtSerialPort::errorString() const {
    return port_.errorString();
}

} // namespace tarn::link
