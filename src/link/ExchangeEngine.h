#pragma once
// The exchange engine: the one conversation with the correctors on the line. It builds request frames,
// writes them through the link port after the write pause, gathers what comes back, decides when a reply
// is complete and valid, repeats requests on silence, walks multi-block transfers and hands every valid
// reply to the part of the program that asked (ExchangeConsumers). Its receive handler is also the router
// of everything else that arrives on the port: modem text, the transfer unit's stream, the alarm notice.
// At most one request is outstanding; everything runs on the main thread.
#include "common/Notifier.h"
#include "link/ExchangeConsumers.h"
#include "link/ExchangeState.h"
#include "link/LinkLog.h"
#include "link/LinkModes.h"
#include "link/LinkPort.h"
#include "link/LinkSettings.h"

#include <QObject>
#include <QTimer>
#include <optional>
#include <utility>

namespace tarn::link {

// The status byte of a refused request as the user reads it; nothing when no known bit is set. The rows
// are tested in this order: 0x40, 0x08 with 0x20, 0x20, 0x08 (" пароля" for a password operation).
std::optional<QString> statusMessage(quint8 status, bool passwordOperation, int languageIndex);
// "НЕМАЄ ЗВ’ЯЗКУ RS-232" / "НЕТ СВЯЗИ RS-232 ".
QString noLinkText(int languageIndex);

// Parameter pages are compared word by word between two reads; these words may differ.
bool pageWordIgnored(quint8 page, int word);
bool pagesAgree(quint8 page, const QByteArray& previous, const QByteArray& current);

class ExchangeEngine : public QObject {
    Q_OBJECT
public:
    struct Settings {
        int deviceAddress = 1;
        int retryCount = 6;        // sends per request, 1..250
        int replyTimeoutMs = 6000; // the reply timer (never below kMinReplyTimeoutMs)
        int writeDelayMs = 20;     // pause before every write
        bool resetOnFailure = true;
        bool modemUsed = false;
    };

    ExchangeEngine(LinkPort& port, Notifier& notifier, QObject* parent = nullptr);

    // The link settings' exchange values (a polling run sets its own through settings()).
    void configure(const LinkSettings& s, int deviceAddress);
    Settings& settings() { return settings_; }
    void setLanguage(int languageIndex) { language_ = languageIndex; }
    void setLinkLog(LinkLog* log) { log_ = log; }
    void setPortReopener(PortReopener* reopener) { reopener_ = reopener; }
    ExchangeConsumers& consumers() { return consumers_; }
    LinkModes& modes() { return modes_; }
    const ExchangeState& state() const { return state_; }

    void startRead(quint8 op, quint8 address, quint8 count, int retries, quint16 blocksLeft);
    // False (and nothing sent) for an empty write or more than 256 data bytes.
    bool startWrite(quint8 op, quint8 address, const QByteArray& data, int retries, quint16 blocksLeft);
    void resend(int retries);
    // The first read of a parameter page: its attempt counter and previous copy start afresh.
    void startPageRead(quint8 page);

    void onReceived(const QByteArray& chunk);
    // F10 in a waiting window: the reply timer stops, nothing is resent, a frame still in its write
    // pause is dropped.
    void abandonRequest();
    // "СТОП" in the read window: the block in flight is the last one. Returns the blocks that were left.
    quint16 endAfterCurrentBlock() { return std::exchange(state_.blocksLeft, quint16(0)); }
    // The no-link indicator, for a part that gives up on its own.
    void showNoLinkIndication() { showNoLink(); }
    void onReplyTimeout();

    // A frame is waiting for its write pause, or a reply for its timer.
    bool busy() const { return writeTimer_.isActive() || awaitingReply_; }
    bool replyTimerActive() const { return replyTimer_.isActive(); }
    int replyTimerInterval() const { return replyTimer_.interval(); }
    const QByteArray& receiveBuffer() const { return receiveBuffer_; }
    void clearReceiveBuffer() { receiveBuffer_.clear(); }
    const QByteArray& replyPayload() const { return replyPayload_; }
    const QByteArray& lastRequest() const { return lastRequest_; }
    // The transfer stopped early at the end of the archive's data.
    bool endedEarly() const { return endedEarly_; }

signals:
    // Every frame written to the port.
    void frameSent(const QByteArray& frame);
    // Every valid reply, before it is handed on.
    void replyAccepted(quint8 op, quint8 block, const QByteArray& payload);
    // The transfer has ended with all its blocks.
    void transferComplete();
    // The corrector refused a request; the text has gone to the notifier.
    void statusReported(quint8 status, const QString& text);
    // The no-link indicator is shown: retries exhausted, or nothing can be sent.
    void linkLost();
    // The corrector's alarm notice has arrived.
    void alarmNotice();

private:
    void beginRequest(quint8 op, quint8 address, int retries, quint16 blocksLeft, bool isWrite);
    void sendFrame(const QByteArray& frame);
    void writePendingFrame();
    bool validateReply();
    void completeReply();
    void completeByOp();
    void pageCheck();
    void endOfTransfer();
    void runFollowUp();
    void reopenPortAfterFailure();
    void showNoLink();
    void hideNoLink();
    void reportStatus(quint8 status);
    void logFailure(LinkLogCode code, const QByteArray& received);
    void giveUpWithoutLink();
    bool handleAlarmNotice();

    LinkPort& port_;
    Notifier& notifier_;
    LinkLog* log_ = nullptr;
    PortReopener* reopener_ = nullptr;
    ExchangeConsumers consumers_;
    Settings settings_;
    LinkModes modes_;
    ExchangeState state_;
    int language_ = 1;

    QByteArray receiveBuffer_;
    QByteArray replyPayload_;
    QByteArray lastRequest_;
    QByteArray pendingFrame_;
    bool awaitingReply_ = false;
    bool endedEarly_ = false;
    quint64 requestSerial_ = 0; // counts requests, so a hook that starts the next one is noticed

    // The double-read check of parameter pages.
    QByteArray previousPage_;
    int pageAttempts_ = 0;

    QTimer replyTimer_;
    QTimer writeTimer_;
    QTimer noLinkTimer_;
};

} // namespace tarn::link
