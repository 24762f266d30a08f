#pragma once
// The scan: a presence pass over COM1 … COM(portLimit − 1), then a short exchange with every present
// port that only the wanted kind of device answers. Everything runs in timer-driven steps on the
// thread that owns the scanner; received bytes arrive through the ports' signals.
#include "link/PortMap.h"
#include "link/SerialPort.h"
#include "portscan/ScanLog.h"
#include "portscan/ScanSettings.h"

#include <QObject>
#include <QTimer>
#include <array>

namespace tarn::portscan {

enum class ScanMode { Modem, Corrector, UsbAdapter, Unit2mb };

// Intervals in milliseconds; the program runs with these, tests with short ones.
struct ScanTimings {
    int barMs = 500;              // the progress bar advances
    int startMs = 50;             // from "СТАРТ" to the presence pass
    int presenceMs = 50;          // one port of the presence pass
    int nextPortMs = 50;          // to the next present port
    int stepMs = 50;              // one step of the exchange with a port
    int openPauseMs = 50;         // before a port is opened
    int dtrPulseMs = 5;           // the adapter's DTR pulse
    int unitReplyTimeoutMs = 250; // the 2 MB unit's reply time-out
    int unitReopenPauseMs = 500;  // the 2 MB unit's port is closed this long before it is opened again
};

// The 2 MB unit's line speed, and the nearest standard one for a driver that refuses it.
inline constexpr qint32 kUnitBaud = 921000;
inline constexpr qint32 kUnitFallbackBaud = 921600;
inline constexpr qint32 kAdapterBaud = 115200;
// The speeds offered for the modem and corrector modes.
QStringList fixedSpeedTexts();
inline constexpr const char* kDefaultSpeedText = "9600";
inline constexpr int kProgressMax = 100;
// The 2 MB unit gets one request and this many repeats.
inline constexpr int kUnitRepeats = 3;

// The scan state, all of it reset by the steps that begin a pass, a port or a request.
struct ScanState {
    int portLimit = kDefaultPortLimit;
    std::array<bool, 101> portPresent{}; // index 1..100
    int currentPort = 0;
    int ScanStep = 0;
    int requestStage = 0; // 0 "AT&F", 1 "ATI0", 2 the identification frame
    bool probeAnswered = false;
    bool linkBroken = false;
    QByteArray received;
    QByteArray request;
    int expectedLength = 0;
    // The 2 MB unit.
    int unitRetryCount = 0;
    bool unitOpenFailed = false;
    bool unitPortVanished = false;
    bool unitReplySeen = false;
    bool unitShortReplySeen = false;
    QByteArray unitReceived;
    QByteArray unitData;
};

class PortScanner : public QObject {
    Q_OBJECT
public:
    // comPort carries the modem, corrector and adapter probes; unitPort (the second driver, which
    // reaches 921000 bit/s) the 2 MB unit's probe.
    PortScanner(link::SerialPort& comPort, link::SerialPort& unitPort, ScanLog& log,
                QObject* parent = nullptr);

    void setPortMap(link::PortMap map) { map_ = std::move(map); }
    void setTimings(const ScanTimings& timings);
    void setLanguage(int languageIndex) { language_ = languageIndex; }
    int language() const { return language_; }
    void setPortLimit(int limit) { state_.portLimit = limit; }
    int portLimit() const { return state_.portLimit; }
    // The mode and the speed text as the window shows them; a scan takes them at the end of its
    // presence pass and keeps them to its end.
    void setMode(ScanMode mode) { selectedMode_ = mode; }
    ScanMode selectedMode() const { return selectedMode_; }
    void setSpeedText(const QString& text) { speedText_ = text; }

    // "СТАРТ": a new scan from the presence pass (a running one is abandoned).
    void start();
    // "СТОП": logged in red; every timer stops. The open port stays open.
    void stop();
    // The window closes: every timer stops, nothing is logged.
    void halt();

    bool isRunning() const { return running_; }
    // Some step of the scan is still due: a timer of the scan runs.
    bool stepPending() const;
    ScanMode activeMode() const { return mode_; }
    const ScanState& state() const { return state_; }
    int progress() const { return progress_; }
    // Ports with a found verdict in this scan, in order.
    const QList<int>& foundPorts() const { return found_; }

signals:
    void progressChanged(int value);
    void progressShown(bool visible);
    // The scan is over: no further present port, or the wanted device was found.
    void finished();

private:
    void onStartTimer();
    void onPresenceTick();
    void onNextPort();
    void onOpenPause();
    void onStepTick();
    void onComReceived(const QByteArray& bytes);
    void onUnitReceived(const QByteArray& bytes);
    void onUnitTimeout();
    void onUnitReopened();

    void finishPresencePass();
    void beginSteps();
    void modemStep();
    void identificationStep();
    void unitStep();
    void sendRequest(const QByteArray& bytes);
    void closeComPort();
    void portDone(ScanText verdict);
    void endScan();
    void foundEnd(ScanText message);
    void stopAllTimers();

    void OpenUnitPort();
    void SendUnitRequest();
    bool unitFailed() const;

    bool portExists(link::SerialPort& port, int n) const;
    QString device(int n) const;
    QString text(ScanText t) const { return scanText(t, language_); }
    void LogLine(const QString& line, LogColour colour) { log_.LogLine(line, colour); }

    link::SerialPort& BComPort_Cont;
    link::SerialPort& XComm_DTU_2MB;
    ScanLog& log_;
    link::PortMap map_;
    ScanTimings timings_;
    int language_ = 1;
    ScanMode selectedMode_ = ScanMode::Modem;
    ScanMode mode_ = ScanMode::Modem;
    QString speedText_ = QString::fromLatin1(kDefaultSpeedText);
    ScanState state_;
    bool running_ = false;
    bool unitOpening_ = false;
    bool resendAfterReopen_ = false;
    int progress_ = 0;
    QList<int> found_;

    QTimer tBar_COM;
    QTimer tStart;
    QTimer tStep_kRS;
    QTimer tK_PortScan;
    QTimer TkWrRd_PortScan;
    QTimer tRSV_ToutDTU;
    // The waits between the steps: before an open, the DTR pulse, the unit's reopen pause.
    QTimer tOpenPause;
    QTimer tDtrPulse;
    QTimer tUnitReopen;
};

} // namespace tarn::portscan
