#pragma once
// The one gate every corrector operation passes: the link is checked and (re)opened, the corrector is
// identified by two agreeing reads of its identification block, its version is accepted or refused, and
// only then does the operation run.
#include "common/Notifier.h"
#include "corrector/Identification.h"
#include "corrector/ModelProfile.h"
#include "link/ExchangeEngine.h"
#include "link/LinkPort.h"
#include "link/LinkSettings.h"
#include "link/Transfer.h"

#include <QObject>
#include <QTimer>
#include <functional>

namespace tarn::corrector {

// Operation codes of the corrector window's "RS-232" menu and the coefficient windows.
namespace operation {
inline constexpr int ReadAll = 0;
inline constexpr int Selective = 1;
inline constexpr int Parameters = 2;
inline constexpr int Hourly = 3;
inline constexpr int Daily = 4;
inline constexpr int Monthly = 5;
inline constexpr int Alarm = 6;
inline constexpr int Interference = 7;
inline constexpr int Operative = 8;
inline constexpr int Clock = 9;
inline constexpr int Measurement = 10;
inline constexpr int AlarmCheck = 11;
inline constexpr int Poll = 12;
inline constexpr int MeterCoefRead = 13;
inline constexpr int MeterCoefWrite = 14;
inline constexpr int CalibrationRead = 15;
inline constexpr int CalibrationWrite = 16;
} // namespace operation

// The refusals of every corrector operation (and of the password entry): the port is used by a polling
// run; a modem link without a connection.
QString portBusyText(int languageIndex);
QString noModemConnectionText(int languageIndex);
// The operation start's words for a port that is missing or would not open, the port's name after them.
QString portOpenErrorText(int languageIndex, const QString& port);
// The identification read again and again without two reads agreeing, until the bound on such reads.
QString identificationDisagreesText(int languageIndex);

// The read kind an operation opens the read window with (0: the operation opens no read window).
int readKindForOperation(int code);

// Identification modes: run the operation, check before writing a parameter program, inside a polling run.
enum class IdentificationMode { RunOperation = 1, ProgramCheck = 2, Polling = 3 };

class OperationStart : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        // ReinitPort: close the port, show the port window, open it again. Returns whether it is open.
        std::function<bool()> reinitPort;
        // The corrector window is reset: access level none, "X" everywhere, queue flags cleared.
        std::function<void()> resetCorrectorWindow;
        // The identification begins: model flags and access details reset.
        std::function<void()> identificationStarting;
        // Every identification block read (the corrector window shows its software version).
        std::function<void(const QByteArray& payload)> identificationRead;
        // The corrector is identified and accepted: run the operation (the read window for its kind, …).
        std::function<void(int code)> runOperation;
        // Codes 11..16 skip the identification and start their own action (the alarm check, the poll of
        // the measurement block, the coefficient windows' transfers).
        std::function<void(int code)> runDirect;
        // The identification window opens and closes.
        std::function<void()> identificationShown;
        std::function<void()> identificationClosed;
        // Mode 2 and 3 endings.
        std::function<void(const corrector::IdentificationString&)> programCheck;
        std::function<void(bool ok)> pollingStepDone;
    };

    enum class StartResult { Refused, Identifying, Direct };

    OperationStart(link::ExchangeEngine& engine, link::LinkPort& port, const link::LinkSettings& settings,
                   Notifier& notifier, QObject* parent = nullptr);
    void setHooks(Hooks hooks) { hooks_ = std::move(hooks); }
    void setLanguage(int languageIndex) { language_ = languageIndex; }

    // StartOperation: the gate. Refusals show their message and change nothing.
    StartResult startOperation(int code);

    // The identification window's step machine.
    void startIdentification(IdentificationMode mode);
    // F10: the reply timer stops, no retries remain, the window closes.
    void stopIdentification();
    bool identifying() const { return stepTimer_.isActive() || running_; }

    // What the last identification found.
    bool identified() const { return identified_; }
    const corrector::IdentificationString& identification() const { return identification_; }
    const corrector::ModelProfile& profile() const { return profile_; }
    int currentCode() const { return code_; }

    // Step timing (100 ms between steps, 50 ms before a direct action) and the bound on reads that do not
    // agree; shortened by tests.
    int stepIntervalMs = 100;
    int directDelayMs = 50;
    // The pairs of reads that may disagree before the operation is given up with its own message; 0: no
    // bound (the identification window, which F10 stops). A command line has no F10.
    int maxDisagreements = 10;
    // The last identification ended at that bound (and said so): the line answered, garbled.
    bool gaveUpOnDisagreement() const { return gaveUpOnDisagreement_; }

    // The texts of the gate and of the identification window.
    QString portOpenErrorText(const QString& port) const;
    QString windowCaption() const;
    QString windowStopLine() const;

signals:
    // The identification ended: accepted (the operation has been started) or not.
    void identificationFinished(bool accepted);

private:
    void step();
    void readIdentification();
    void finish(bool accepted);
    void fail();

    link::ExchangeEngine& engine_;
    link::LinkPort& port_;
    const link::LinkSettings& settings_;
    link::CallbackTransfer identificationRead_;
    Notifier& notifier_;
    Hooks hooks_;
    int language_ = 1;
    int code_ = -1;
    IdentificationMode mode_ = IdentificationMode::RunOperation;

    ClockTimer stepTimer_{engine_.clock()};
    bool running_ = false;
    // Where the identification stands: the first read goes out, then each read is awaited in turn.
    enum class Step { FirstRead, AwaitingFirst, AwaitingSecond };
    Step step_ = Step::FirstRead;
    bool replyArrived_ = false;
    bool linkFailed_ = false;
    bool stopped_ = false;
    int disagreements_ = 0;
    bool gaveUpOnDisagreement_ = false;
    QByteArray previous_;
    QByteArray latest_;
    bool identified_ = false;
    corrector::IdentificationString identification_;
    corrector::ModelProfile profile_;
};

} // namespace tarn::corrector
