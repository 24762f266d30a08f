#pragma once
// The point steps' line, modem and store over the program's own parts: a corrector session on the
// exchange engine (with the run's identification gate and read run), the modem link, and the storing of a
// reading. It also keeps the mark of the exchange in flight, which the engine's and the gate's reports set
// and the run reads at each turn.
#include "common/DataRoot.h"
#include "corrector/CorrectorSession.h"
#include "database/Storage.h"
#include "link/ModemLink.h"
#include "polling/LineSteps.h"
#include "polling/PointStep.h"

#include <QObject>
#include <memory>

namespace tarn::polling {

class SessionLine final : public QObject, public PointLine, public PointStore {
    Q_OBJECT
public:
    struct Parts {
        link::ExchangeEngine& engine;
        link::LinkPort& port;
        link::LinkSettings& settings;
        Notifier& notifier;
        corrector::OperationStart& gate;
        corrector::ReadRun& readRun;
        DataRoot root;
        database::Storage& storage;
        Clock& clock;
        int address = 1; // the point's
        int languageIndex = 0;
        int volumeDecimals = 0;
        int afterWriteDelayMs = 700;
    };
    explicit SessionLine(Parts parts, QObject* parent = nullptr);
    ~SessionLine() override;

    // Where the exchange in flight stands.
    enum class Exchange { None, Pending, Done, Failed, Interrupted };
    // Done, Failed and Interrupted are taken (the mark goes back to None); an exchange the engine no
    // longer holds for more than interruptedAfterTicks turns is Interrupted.
    Exchange takeExchange(int interruptedAfterTicks);
    Exchange exchange() const { return exchange_; }
    // The request in flight is given up (a stop, a failed point).
    void dropExchange() { exchange_ = Exchange::None; }

    bool portBroken() const override;
    bool identify() override;
    bool readVersionBlock() override;
    bool readParameters() override;
    bool readClock() override;
    bool readMeasurement() override;
    bool readWholeArchive(int kind) override;
    bool readArchivePages(int kind, int firstPage, int pageCount, bool append) override;
    bool enterPassword(const QString& password) override;
    bool writeItem(int item, const QString& value) override;
    Identity answeredIdentity() const override;
    std::optional<corrector::ArchiveGeometry> archiveGeometry(int kind) const override;
    int newestRecord(int kind) const override;
    std::optional<QDateTime> recordStamp(int kind, int number) const override;
    std::optional<corrector::ClockBlock> clock() const override;
    QString itemText(int item) const override;

    corrector::StoreRequestResult storeReading(const QList<int>& kindsRead, database::SourceKind source,
                                               const database::StoreContext::PollLog& log,
                                               const QString& itemsToRead) override;
    void writeRequestLogOnly(const database::StoreContext& context) override;

signals:
    // An exchange or a transfer reported: the run looks at once rather than at its next tick.
    void reported();
    // A page of an archive came in.
    void pageAccepted();

private:
    // Set before the request goes out: a report that comes back at once is not lost.
    bool startExchange(bool itemTransfer, const std::function<bool()>& request);

    Parts p_;
    std::unique_ptr<corrector::CorrectorSession> session_;
    Exchange exchange_ = Exchange::None;
    bool itemTransfer_ = false; // the exchange is a parameter item's transfer, ended when the model says
    int idleTicks_ = 0;
};

// The point's modem: the modem link on the run's line, the connection's begin, end and length logged into
// the point's progress as the line goes up and down. The connection time runs from CONNECT until the line
// is down (the hang-up answered or given up, or the carrier lost), not until "+++" goes out.
class SessionModem final : public QObject, public PointModem {
    Q_OBJECT
public:
    SessionModem(link::ExchangeEngine& engine, link::LinkPort& port, int tickIntervalMs, Clock& clock,
                 PointProgress& progress, link::ModemLink::LogLine log);
    void call(const ModemCall& call) override;
    void hangUp() override { modem_.hangUp(); }
    bool busy() const override { return modem_.busy(); }
    bool connected() const override { return modem_.connected(); }
    bool dispatcherSilent() const override { return modem_.machine().dispatcherSilent(); }
    // At each step tick: the seconds connected so far.
    void tick();

signals:
    void lineChanged();

private:
    link::ModemLink modem_;
    Clock& clock_;
    PointProgress& progress_;
};

} // namespace tarn::polling
