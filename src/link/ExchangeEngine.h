#pragma once
// The exchange engine: the one conversation with the correctors on the line. It builds request frames,
// writes them through the link port after the write pause, gathers what comes back, decides when a reply
// is complete and valid, repeats requests on silence and walks multi-block transfers. What a reply means
// is the business of the transfer that started the request (Transfer.h): the engine hands it every valid
// block, every refusal and every silence, and does what the transfer decides. Its receive handler is also
// where the corrector's alarm notice is recognised, and where a raw receiver that has claimed the line
// (modem text, the transfer unit) gets its bytes. At most one request is outstanding; everything runs on
// the main thread. What it tells the user it reports by kind and status byte; the words come from the
// LinkWording it is given.
#include "common/Clock.h"
#include "common/Notifier.h"
#include "link/ExchangeState.h"
#include "link/LinkLog.h"
#include "link/LinkPort.h"
#include "link/LinkSettings.h"
#include "link/LinkWording.h"
#include "link/Transfer.h"

#include <QObject>
#include <QTimer>
#include <optional>

namespace tarn::link {

// A status byte with a bit by which the corrector refuses a request (0x40, 0x20, 0x08).
bool isRefusal(quint8 status);

// How many leading bytes of the buffer are the corrector's alarm notice (0..6).
int alarmNoticeMatch(const QByteArray& buffer);
inline constexpr int kAlarmNoticeSize = 6;

// What else uses the line: a polling run owns the port, a modem connection carries the frames. The
// polling engine and the modem layer keep these; the operations read them before they start.
struct LineUse {
    bool pollingRun = false;
    bool modemConnected = false;
};

class ExchangeEngine : public QObject {
    Q_OBJECT
public:
    struct Settings {
        int deviceAddress = 1;
        int retryCount = 6;        // sends per request, 1..250
        int replyTimeoutMs = 6000; // the reply timer (never below kMinReplyTimeoutMs)
        int writeDelayMs = 20;     // pause before every write
        bool resetOnFailure = true;
        // The line is a modem call (the link settings' modem box, or a polling run by telephone):
        // re-opening the port would drop it.
        bool modemUsed = false;
    };

    // The clock times the write pause and the reply; the modem parts on this line take it from here.
    ExchangeEngine(LinkPort& port, Notifier& notifier, Clock& clock, QObject* parent = nullptr);
    ~ExchangeEngine() override;

    // The link settings' exchange values (a polling run sets its own through settings()).
    void configure(const LinkSettings& s, int deviceAddress);
    Settings& settings() { return settings_; }
    const Settings& settings() const { return settings_; }
    Clock& clock() const { return clock_; }
    void setLanguage(int languageIndex) { language_ = languageIndex; }
    int language() const { return language_; }
    // The words of the engine's notices and refusals; without them the notices go out empty.
    void setWording(const LinkWording* wording) { wording_ = wording; }
    // The modem parts sharing the line word their notices with it too; null when none was given.
    const LinkWording* wording() const { return wording_; }
    void setLinkLog(LinkLog* log) { log_ = log; }
    LineUse& lineUse() { return lineUse_; }
    const LineUse& lineUse() const { return lineUse_; }

    // Sends the request for the transfer; whatever was outstanding is dropped without a word to its
    // transfer. False, with nothing sent and the transfer not told, for a write of no data or of more
    // than 256 bytes.
    bool start(const Request& request, Transfer& transfer);
    // Every chunk goes to the receiver until the claim is released.
    [[nodiscard]] LineClaim claimLine(RawReceiver& receiver);

    void onReceived(const QByteArray& chunk);
    void onReplyTimeout();
    // F10 in a waiting window: the reply timer stops, nothing is resent, a frame still in its write
    // pause is dropped, and the transfer is let go without a word.
    void abandonRequest();
    // "СТОП" in the read window: the block in flight is the last one. Returns the blocks that were left.
    quint16 endAfterCurrentBlock();
    // The no-link indication, for a part that gives up on its own.
    void showNoLinkIndication() { showNoLink(); }
    // The corrector's refusal as a message (error box, or the polling console); the text told.
    QString reportRefusal(quint8 status, bool passwordOperation);

    // A frame is waiting for its write pause, or a reply for its timer.
    bool busy() const { return writeTimer_.isActive() || awaitingReply_; }
    bool replyTimerActive() const { return replyTimer_.isActive(); }
    int replyTimerInterval() const { return replyTimer_.interval(); }
    const ExchangeState& state() const { return state_; }
    const QByteArray& receiveBuffer() const { return receiveBuffer_; }
    const QByteArray& lastRequest() const { return lastRequest_; }
    bool noLinkShown() const { return noLinkShown_; }
    bool lineClaimed() const { return rawReceiver_ != nullptr; }

signals:
    // Every frame written to the port (the activity bar, the modem hold countdown).
    void frameSent(const QByteArray& frame);
    // Something came back for a request: a valid reply, or bytes found at its time-out.
    void replyActivity();
    // Every valid reply, before its transfer has it.
    void replyAccepted(quint8 op, quint8 block, const QByteArray& payload);
    // A transfer has ended with all its blocks.
    void transferComplete();
    // The corrector refused a request and the text has gone to the notifier.
    void statusReported(quint8 status, const QString& text);
    // The no-link indication is shown, with its text in the engine's language, or hidden.
    void noLinkChanged(bool shown, const QString& text);
    // The no-link indication is shown: sends exhausted, or nothing can be sent.
    void linkLost();
    // The corrector's alarm notice has arrived.
    void alarmNotice();

private:
    friend class Transfer;
    friend class RawReceiver;
    friend class LineClaim;
    void forgetTransfer(Transfer* transfer);
    // A receiver going away lets go whatever claim it holds (no generation).
    void releaseLine(RawReceiver* receiver, std::optional<quint64> generation = std::nullopt);

    void sendCurrent();
    void sendFrame(const QByteArray& frame);
    void writePendingFrame();
    int remainingWritePauseMs();
    void resend(int sends);
    bool takeAlarmNotice();
    bool refusalComplete() const;
    bool validateReply();
    void acceptReply();
    void nextBlock();
    void complete();
    void fail(const Failure& failure);
    void giveUpWithoutLink();
    void reopenPortAfterFailure();
    void showNoLink();
    void hideNoLink();
    void stopWaiting();
    void logFailure(LinkLogCode code, const QByteArray& received);
    QString noticeText(LinkNotice notice) const;

    LinkPort& port_;
    Notifier& notifier_;
    Clock& clock_;
    LinkLog* log_ = nullptr;
    Settings settings_;
    LineUse lineUse_;
    quint64 claimGeneration_ = 0;
    ExchangeState state_;
    int language_ = 1;
    const LinkWording* wording_ = nullptr;

    Transfer* transfer_ = nullptr;
    RawReceiver* rawReceiver_ = nullptr;
    QByteArray receiveBuffer_;
    QByteArray lastRequest_;
    QByteArray pendingFrame_;
    bool awaitingReply_ = false;
    bool noLinkShown_ = false;
    quint64 requestSerial_ = 0; // counts requests, so a transfer that starts the next one is noticed
    // When the last reply was taken, while nothing has been heard or written since.
    std::optional<qint64> replyEndMs_;

    ClockTimer replyTimer_{clock_};
    ClockTimer writeTimer_{clock_};
    // Zero delay only: the no-link indication after the current handler.
    QTimer noLinkTimer_;
};

} // namespace tarn::link
