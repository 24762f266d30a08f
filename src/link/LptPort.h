#pragma once
// The parallel port as the LPT transfer unit's bus sees it: the data register written, the status
// register read. The real one is the kernel's parallel-port device (ppdev); tests put a simulated unit
// in its place.
#include <QString>
#include <QtGlobal>

namespace tarn::link {

class LptPort {
public:
    virtual ~LptPort() = default;
    virtual void writeData(quint8 value) = 0;
    virtual quint8 readStatus() = 0;
};

// /dev/parportN through ppdev: claimed while open.
class PpdevPort final : public LptPort {
public:
    PpdevPort() = default;
    ~PpdevPort() override;
    PpdevPort(const PpdevPort&) = delete;
    PpdevPort& operator=(const PpdevPort&) = delete;

    bool open(const QString& device);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    QString errorString() const { return error_; }
    void writeData(quint8 value) override;
    quint8 readStatus() override;

private:
    int fd_ = -1;
    QString error_;
};

// The device of the settings' base address: 0x378, 0x278 and 0x3BC are /dev/parport0, 1 and 2; another
// address (a card of its own) is the first port's.
QString lptDevice(quint16 baseAddress);

} // namespace tarn::link
