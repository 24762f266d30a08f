#pragma once
// The permission that guards the calibration table of a metering complex. A corrector whose calibration
// flags (word 4 byte 1) carry 0x02 is open already. Otherwise the verifier's password opens the access
// level, then the unlock frame 80 03 02 <value> goes straight onto the line: the value is the low plus
// the high 16 bits of the initialisation time (word 70), and the corrector answers 0 first when it
// agrees. While the calibration window stays open, the permission is checked again every 30 seconds with
// the frame 40 04 04: bit 0 of the third byte of the answer (the flags byte) says it still stands.
// Both frames are raw: the line is held as a raw receiver until the answer is in.
#include "common/Notifier.h"
#include "corrector/ParameterImage.h"
#include "link/ExchangeEngine.h"
#include "link/LinkPort.h"
#include "link/Transfer.h"

#include <QObject>
#include <QTimer>
#include <functional>

namespace tarn::corrector {

class CorrectorWindowModel;

// The periods of the check; tests shorten them.
struct CalibPermissionTimings {
    int stepMs = 250;      // the steps before the permission (level watch, unlock answer)
    int secondMs = 1000;   // the re-check counter's tick
    int recheckAfter = 30; // ticks between two re-checks
    int pollMs = 50;       // the re-check answer's poll
    int polls = 50;        // polls (and unlock steps) before the corrector counts as silent
};

// Low 16 bits + high 16 bits of word 70, modulo 65536.
quint16 calibUnlockValue(const ParameterImage& image);
QByteArray calibUnlockFrame(quint16 value);
QByteArray calibCheckFrame();

class CalibPermissionCheck final : public QObject, public link::RawReceiver {
    Q_OBJECT
public:
    enum class State {
        Idle,
        AwaitingLevel,  // the password window is open; waiting for the verifier's level
        AwaitingUnlock, // the unlock frame is out
        Permitted,      // counting towards the next re-check
        Rechecking,     // the re-check frame is out
        Refused,        // the window is to close (the message has been told)
    };

    CalibPermissionCheck(CorrectorWindowModel& model, link::ExchangeEngine& engine, link::LinkPort& port,
                         Notifier& notifier, QObject* parent = nullptr);
    ~CalibPermissionCheck() override;

    CalibPermissionTimings timings;
    // A table transfer under way: the re-check waits until it has ended.
    std::function<bool()> transferRunning;

    // The window has opened.
    void start();
    // A read or write of the table starts: the re-check counter begins again.
    void transferStarted() { seconds_ = 0; }
    // The window closes: the line is given back, nothing more is sent.
    void stop();

    State state() const { return state_; }
    bool permitted() const { return state_ == State::Permitted || state_ == State::Rechecking; }
    // Re-checks are made only when the permission had to be asked for.
    bool rechecking() const { return secondTimer_.isActive(); }

    void onRawBytes(const QByteArray& chunk) override { received_ += chunk; }

signals:
    // The password window is to open.
    void passwordWanted();
    // Calibration is permitted: the menu and the tables appear.
    void permittedNow();
    // The permission was refused or lost: the window closes.
    void refused(const QString& message);

private:
    void step();
    void tick();
    void poll();
    bool sendRaw(const QByteArray& frame);
    void refuse(const QString& message);
    void grant();
    int language() const;

    CorrectorWindowModel& model_;
    link::ExchangeEngine& engine_;
    link::LinkPort& port_;
    Notifier& notifier_;
    link::LineClaim claim_;
    QTimer stepTimer_;
    QTimer secondTimer_;
    QTimer pollTimer_;
    QByteArray received_;
    State state_ = State::Idle;
    int waited_ = 0;
    int seconds_ = 0;
};

} // namespace tarn::corrector
