#pragma once
// The serial port as the link sees it. The real one runs on QSerialPort; tests use FakeSerialPort.
// Received bytes are delivered on the thread that owns the object (the main thread).
#include <QByteArray>
#include <QObject>
#include <QString>

namespace tarn::link {

class SerialPort : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialPort() override = default;

    // Whether the device exists: it opens, or fails only because it is busy or not permitted.
    virtual bool deviceExists(const QString& device) = 0;
    // Opens 8 data bits, no parity, 1 stop bit, no flow control.
    virtual bool open(const QString& device) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual bool setBaudRate(qint32 baud) = 0;
    // DTR and RTS: a failure (pseudo-terminals have neither) is not an error for the link.
    virtual void setDtr(bool on) = 0;
    virtual void setRts(bool on) = 0;
    // Writes every byte; false when the driver reports a failure.
    virtual bool write(const QByteArray& bytes) = 0;
    virtual QString errorString() const = 0;

signals:
    void received(const QByteArray& bytes);
};

} // namespace tarn::link
