#pragma once
// An in-memory serial port for tests: a table of existing devices, open and write failures, the speed,
// DTR and RTS it was given, every frame written, and received chunks injected by the test (or by an
// in-process simulator through the write hook).
#include "link/SerialPort.h"

#include <QList>
#include <QSet>
#include <functional>

namespace tarn::link {

class FakeSerialPort final : public SerialPort {
    Q_OBJECT
public:
    explicit FakeSerialPort(QObject* parent = nullptr) : SerialPort(parent) {}

    // Test controls.
    QSet<QString> existing;    // devices that exist
    QSet<QString> failingOpen; // exist, but open fails
    bool failWrites = false;
    // Called with every written frame; a simulator answers through inject().
    std::function<void(const QByteArray&)> onWrite;

    // Records.
    QList<QByteArray> writes;
    QString openedDevice;
    qint32 baud = 9600;
    bool dtr = false;
    bool rts = false;
    int openCount = 0;
    int closeCount = 0;

    // Delivers bytes as the driver would (synchronously; tests may queue it themselves).
    void inject(const QByteArray& bytes) { emit received(bytes); }

    bool deviceExists(const QString& device) override { return existing.contains(device); }
    bool open(const QString& device) override {
        if (!existing.contains(device) || failingOpen.contains(device)) return false;
        open_ = true;
        openedDevice = device;
        ++openCount;
        return true;
    }
    void close() override {
        if (open_) ++closeCount;
        open_ = false;
    }
    bool isOpen() const override { return open_; }
    bool setBaudRate(qint32 b) override {
        baud = b;
        return true;
    }
    void setDtr(bool on) override { dtr = on; }
    void setRts(bool on) override { rts = on; }
    bool write(const QByteArray& bytes) override {
        if (!open_ || failWrites) return false;
        writes.append(bytes);
        if (onWrite) onWrite(bytes);
        return true;
    }
    QString errorString() const override { return QStringLiteral("fake port error"); }

private:
    bool open_ = false;
};

} // namespace tarn::link
