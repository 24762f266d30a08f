#include "link/LinkPort.h"

namespace tarn::link {

LinkPort::LinkPort(SerialPort& port, Notifier& notifier, QObject* parent)
    : QObject(parent), port_(port), notifier_(&notifier) {
    connect(&port_, &SerialPort::received, this, &LinkPort::received);
}

void LinkPort::configure(const QString& portName, const QString& speedText, bool modemUsed) {
    const QString name = portName.trimmed();
    if (name != portName_ && port_.isOpen()) closePort();
    portName_ = name;
    baud_ = baudRateForSpeedText(speedText);
    modemUsed_ = modemUsed;
    port_.setBaudRate(baud_);
}

bool LinkPort::portExists(const QString& portName) {
    return port_.deviceExists(map_.device(portName));
}

QStringList LinkPort::probePorts(int count) {
    QStringList found;
    for (int i = 1; i <= count; ++i) {
        const QString name = QStringLiteral("COM%1").arg(i);
        if (portExists(name)) found.append(name);
    }
    return found;
}

QString LinkPort::initErrorText() const {
    return (wording_ ? wording_->notice(LinkNotice::PortOpenFailed, language_) : QString()) + portName_;
}

bool LinkPort::openPort(bool showErrors) {
    broken_ = false;
    if (!portExists(portName_)) {
        broken_ = true;
        return false;
    }
    if (port_.isOpen()) {
        emit portLabelChanged(portName_);
        return true;
    }
    port_.setBaudRate(baud_);
    if (!port_.open(map_.device(portName_))) {
        broken_ = true;
        if (showErrors) notifier_->message(MessageKind::Error, initErrorText());
        return false;
    }
    port_.setBaudRate(baud_);
    emit portLabelChanged(portName_);
    if (!modemUsed_) {
        port_.setDtr(false);
        port_.setRts(true);
    }
    return true;
}

void LinkPort::closePort() {
    if (!portExists(portName_)) broken_ = true;
    if (port_.isOpen()) {
        port_.setDtr(false);
        port_.setRts(false);
        port_.close();
        emit portLabelChanged(QStringLiteral("--"));
    }
}

bool LinkPort::applyAndOpen(const LinkSettings& s) {
    configure(s.corrPort, s.speed, s.modemUsed);
    return openPort(true);
}

bool LinkPort::write(const QByteArray& bytes) {
    if (!port_.isOpen() || !port_.write(bytes)) {
        broken_ = true;
        return false;
    }
    return true;
}

} // namespace tarn::link
