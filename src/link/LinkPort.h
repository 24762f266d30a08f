#pragma once
// The link's hold on the serial port: opening and closing by the settings' port name, the link-broken
// mark, and the hand-over of received bytes.
#include "common/Notifier.h"
#include "link/LinkSettings.h"
#include "link/LinkWording.h"
#include "link/PortMap.h"
#include "link/SerialPort.h"

#include <QObject>

namespace tarn::link {

class LinkPort : public QObject {
    Q_OBJECT
public:
    LinkPort(SerialPort& port, Notifier& notifier, QObject* parent = nullptr);

    void setPortMap(PortMap map) { map_ = std::move(map); }
    void setLanguage(int languageIndex) { language_ = languageIndex; }
    // The words of the failed-open message; without them it names the port alone.
    void setWording(const LinkWording* wording) { wording_ = wording; }
    void setNotifier(Notifier& n) { notifier_ = &n; }

    // Port name ("COMn" or a device path), speed text and the modem box.
    void configure(const QString& portName, const QString& speedText, bool modemUsed);
    const QString& portName() const { return portName_; }
    // The device the port name stands for (through Work\\PortMap.000).
    QString deviceName() const { return map_.device(portName_); }
    qint32 baudRate() const { return baud_; }
    bool modemUsed() const { return modemUsed_; }

    bool portExists(const QString& portName);
    // COM1 … COMn that exist.
    QStringList probePorts(int count);

    // Opens the configured port. A missing port marks the link broken and answers false without a
    // message (the operation start reports it); a failed open shows "port initialisation error" when
    // showErrors. After an open without the modem box: DTR off, RTS on.
    bool openPort(bool showErrors);
    // Always releases the port (DTR and RTS off first); a missing port marks the link broken.
    void closePort();
    // Applies the settings' port and speed, then opens with error display.
    bool applyAndOpen(const LinkSettings& s);

    // Writes; a failure marks the link broken.
    bool write(const QByteArray& bytes);
    bool isOpen() const { return port_.isOpen(); }
    // A device that talks at its own speed (the transfer unit) sets it for its exchange and gives the
    // configured one back afterwards; it also works the DTR and RTS lines itself.
    bool setLineSpeed(qint32 baud) { return port_.setBaudRate(baud); }
    void restoreLineSpeed() { port_.setBaudRate(baud_); }
    void setDtr(bool on) { port_.setDtr(on); }
    void setRts(bool on) { port_.setRts(on); }
    bool linkBroken() const { return broken_; }
    void markBroken() { broken_ = true; }

    // The failed-open message in the current language, the port's name after the words.
    QString initErrorText() const;

signals:
    void received(const QByteArray& bytes);
    // The port label of the polling window: the port name when open, "--" when closed.
    void portLabelChanged(const QString& text);

private:
    SerialPort& port_;
    Notifier* notifier_;
    PortMap map_;
    int language_ = 1;
    const LinkWording* wording_ = nullptr;
    QString portName_ = QStringLiteral("COM1");
    qint32 baud_ = 19200;
    bool modemUsed_ = false;
    bool broken_ = false;
};

} // namespace tarn::link
