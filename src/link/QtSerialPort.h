#pragma once
#include "link/SerialPort.h"

#include <QSerialPort>

namespace tarn::link {

class QtSerialPort final : public SerialPort {
    Q_OBJECT
public:
    explicit QtSerialPort(QObject* parent = nullptr);
    ~QtSerialPort() override;

    bool deviceExists(const QString& device) override;
    bool open(const QString& device) override;
    void close() override;
    bool isOpen() const override;
    bool setBaudRate(qint32 baud) override;
    void setDtr(bool on) override;
    void setRts(bool on) override;
    bool write(const QByteArray& bytes) override;
    QString errorString() const override;

private:
    QSerialPort port_;
    qint32 baud_ = 9600;
    QString device_;
};

} // namespace tarn::link
