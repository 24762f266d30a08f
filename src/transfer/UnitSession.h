#pragma once
// The conversation with the transfer unit: its state, the read of chosen zones into the image files,
// the self-test and the erase. One operation at a time, each a step machine driven by the unit's replies
// and by timers whose periods come from UnitTimings (tests shorten them). The unit has the line to itself
// while an operation runs: the session claims it from the exchange engine and talks at the unit's speed.
#include "common/DataRoot.h"
#include "common/Notifier.h"
#include "link/ExchangeEngine.h"
#include "link/LinkPort.h"
#include "transfer/TransferUnit.h"
#include "transfer/ZoneImage.h"

#include <QObject>
#include <QTimer>

namespace tarn::transfer {

struct UnitTimings {
    int replyTimeoutMs = 600; // a request goes out again after this long without its reply
    int sends = 5;            // sends of a request, the first included
    int testPollMs = 1000;    // progress requests while the unit tests itself
    int erasePollMs = 500;    // … and while it erases
    int dtrPauseMs = 5;       // DTR is cleared this long before a command sequence
};

enum class UnitOperation { Idle = 0, Read = 1, Erase = 2, Test = 3, State = 4 };

struct ReadRange {
    int firstZone = 1; // 1-based, inclusive
    int lastZone = kMaxZones;
    int firstBlock = 0;           // the debugger's "с.н."
    int blockCount = kZoneBlocks; // the debugger's "с.к."
};

class TransferUnitSession : public QObject, private link::RawReceiver {
    Q_OBJECT
public:
    TransferUnitSession(link::ExchangeEngine& engine, link::LinkPort& port, DataRoot root, Notifier& notifier,
                        int languageIndex, UnitTimings timings = {});
    ~TransferUnitSession() override;

    // Each returns false, having told the user why, when the operation cannot start.
    bool startState();
    bool startRead(const ReadRange& range);
    bool startTest();  // the caller has asked "Тест ДТУ запустить?"
    bool startErase(); // … and "Информацию на ДТУ стереть?"
    // The last start failed because the port is not there or does not open (not because of the request).
    bool portFailed() const { return portFailed_; }
    // "Стоп": nothing more is sent, DTR and RTS are cleared, the operation ends as interrupted.
    void stop();

    UnitOperation operation() const { return operation_; }
    bool busy() const { return operation_ != UnitOperation::Idle; }
    // What the unit said of itself last.
    const QByteArray& version() const { return version_; }
    QString versionText() const { return unitVersionText(version_); }
    int zoneCount() const { return zoneCount_; }
    // The zone rows to show: the unit's answer after a state request, the zones read after a read (or
    // the state file's when the window opens).
    struct ZoneRow {
        int zone = 0; // 1-based
        quint8 status = 0;
        QString text;
        bool loadable = false;
    };
    QList<ZoneRow> zoneRows() const;
    // The zones recorded by the last read (Current\StatDtu.000).
    void showStateFile();
    int gaugeValue() const { return gauge_; }
    int gaugeMaximum() const { return gaugeMax_; }
    // The error group's lines after a failed exchange.
    const QStringList& errorLines() const { return errorLines_; }
    // The status bytes of the last state reply (the debugger's dump).
    const QByteArray& statusBytes() const { return statuses_; }
    // How the last operation ended.
    bool lastSucceeded() const { return succeeded_; }

signals:
    void zonesChanged();
    void progressChanged(int value, int maximum);
    // The operation has ended (ok: it did what it was asked).
    void finished(bool ok);

private:
    enum class Step { Version, State, StartCommand, Progress, Block };
    void onRawBytes(const QByteArray& chunk) override;
    bool begin(UnitOperation op);
    void sendAfterDtrPulse(const QByteArray& request);
    void send(const QByteArray& request, int sends);
    void onReplyTimeout();
    void onReply(const QByteArray& payload);
    void onVersion(const QByteArray& payload);
    void onState(const QByteArray& payload);
    void onBlock(const QByteArray& payload, bool lastSend);
    void onProgress(const QByteArray& payload);
    void requestBlock();
    void nextZone();
    void finishRead();
    void end(bool ok, const QString& message = {}, MessageKind kind = MessageKind::Error);
    QString failureText() const;
    void setGauge(int value, int maximum);

    link::ExchangeEngine& engine_;
    link::LinkPort& port_;
    DataRoot root_;
    Notifier& notifier_;
    int lang_;
    UnitTimings timings_;
    link::LineClaim claim_;
    QTimer replyTimer_;
    QTimer pollTimer_;
    QTimer dtrTimer_;

    UnitOperation operation_ = UnitOperation::Idle;
    Step step_ = Step::Version;
    QByteArray request_;
    QByteArray received_;
    int sendsLeft_ = 0;
    ReplyFault fault_ = ReplyFault::None;
    quint8 unitFlags_ = 0;
    QStringList errorLines_;
    bool stopRequested_ = false;
    bool portFailed_ = false;
    bool justErased_ = false;
    bool succeeded_ = false;

    QByteArray version_;
    int zoneCount_ = kMaxZones;
    QByteArray statuses_;
    // The read.
    ReadRange range_;
    int zone_ = 0; // 1-based, the zone being read
    int block_ = 0;
    ZoneImages images_;
    QList<quint8> readStatuses_;             // the zones read so far, from the first
    std::optional<UnitStateFile> fileState_; // the zones of the last read, as its state file says
    bool showingFile_ = false;
    int gauge_ = 0;
    int gaugeMax_ = 0;
};

} // namespace tarn::transfer
