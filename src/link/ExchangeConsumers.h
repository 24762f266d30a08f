#pragma once
// Whom the exchange engine hands its replies to. Each part of the program that owns a kind of exchange
// implements its interface and registers it with the engine; every hook has a do-nothing default, so a
// part overrides only what it uses and the engine never needs to know a window.
#include <QByteArray>
#include <QString>
#include <optional>

namespace tarn::link {

// The corrector window's side of the link.
class CorrectorLinkView {
public:
    virtual ~CorrectorLinkView() = default;
    virtual void stepSentActivity() {}
    virtual void stepReplyActivity() {}
    // The no-link indicator ("НЕТ СВЯЗИ RS-232 ").
    virtual void setNoLinkShown(bool /*shown*/, const QString& /*text*/) {}
    virtual void showAlarmSignalFields() {}
    // An opRead reply outside the item and coefficient transfers (identification, clock, measurement,
    // status block), with the archive kind that asked for it.
    virtual void onBlockReply(int /*archiveKind*/, const QByteArray& /*payload*/) {}
    // The access level falls to none after a failed item transfer.
    virtual void dropAccessLevel() {}
};

// The item-by-item parameter transfer.
class ItemTransferConsumer {
public:
    virtual ~ItemTransferConsumer() = default;
    virtual void onItemReply(const QByteArray& /*payload*/) {}
    virtual void endItemTransfer() {}
    // After an accepted item write outside a polling run: its next-step timer (700 ms).
    virtual void startNextStep() {}
};

// The page-by-page parameter read. onPageAccepted may request the next page itself.
class PageReadConsumer {
public:
    virtual ~PageReadConsumer() = default;
    virtual void onPageAccepted(quint8 /*page*/, const QByteArray& /*payload*/) {}
    virtual void onFullReadComplete() {}
};

// Archive readers: the record check of a block; false makes the engine read the block again.
class ArchiveConsumer {
public:
    virtual ~ArchiveConsumer() = default;
    virtual bool acceptBlock(int /*archiveKind*/, quint8 /*block*/, const QByteArray& /*payload*/) {
        return true;
    }
    virtual bool selectiveReadOn() const { return false; }
    virtual void continueSelectiveRead() {}
};

// The read window and its queue of kinds.
class ReadQueueConsumer {
public:
    virtual ~ReadQueueConsumer() = default;
    virtual void setGaugeFull() {}
    virtual void stepGauge() {}
    virtual void markKindDone(int /*archiveKind*/) {}
    // Starts the next pending kind; false when none is left.
    virtual bool startNextPendingKind() { return false; }
    virtual void closeReadWindow() {}
    // followUp 5.
    virtual void startReadQueue() {}
};

// The calibration-coefficient and meter-coefficient windows.
class CoefficientConsumer {
public:
    virtual ~CoefficientConsumer() = default;
    virtual void onCalibrationItem(int /*index*/, const QByteArray& /*value*/) {}
    virtual void restartCalibrationRead() {}
    // All 185 items are in: "ЧТЕНИЕ НОРМА", wait panel hidden, table shown.
    virtual void calibrationReadDone(const QString& /*text*/) {}
    virtual void onMeterCoefItem(int /*index*/, const QByteArray& /*value*/) {}
    virtual void restartMeterCoefRead() {}
    virtual void calibrationWriteStep() {}
    virtual void meterCoefWriteStep() {}
    // "№ <index> - ОШИБКА!!!" in the window that asked, wait panel hidden.
    virtual void showItemError(bool /*meterCoef*/, const QString& /*text*/) {}
};

// The parameter program writer (parameter files).
class ProgramWriterConsumer {
public:
    virtual ~ProgramWriterConsumer() = default;
    virtual void writeStep() {}
};

// The modem layer and its windows.
class ModemConsumer {
public:
    virtual ~ModemConsumer() = default;
    virtual void onTerminalChunk(const QByteArray& /*chunk*/) {}
    // Modem command 1 again, after 0xFF noise while dialling.
    virtual void resendInit() {}
    virtual std::optional<int> findResultWord(const QByteArray& /*text*/) { return std::nullopt; }
    // "NO CARRIER" while connected.
    virtual void onNoCarrier() {}
    virtual void reloadHoldCountdown() {}
    virtual void onDialText(const QByteArray& /*text*/) {}
};

// The transfer-unit reader.
class TransferUnitConsumer {
public:
    virtual ~TransferUnitConsumer() = default;
    // The unit's own check of a complete answer.
    virtual bool acceptsReply(const QByteArray& /*buffer*/, int /*expectedLength*/) { return false; }
    // Stops the unit's timer and takes the answer.
    virtual void onReply(const QByteArray& /*buffer*/) {}
};

// The automatic polling engine.
class PollingConsumer {
public:
    virtual ~PollingConsumer() = default;
    virtual void onModemResult(int /*resultNumber*/) {}
    virtual void logLine(const QString& /*text*/) {}
    virtual QString complexName() const { return {}; }
    virtual bool correctorIdentified() const { return false; }
    virtual void forgetIdentification() {}
    // The run's step 70: the point has failed.
    virtual void failPoint() {}
    // The page transfer has ended (the step-done signal the run waits for).
    virtual void stepDone() {}
};

struct ExchangeConsumers {
    CorrectorLinkView* view = nullptr;
    ItemTransferConsumer* items = nullptr;
    PageReadConsumer* pages = nullptr;
    ArchiveConsumer* archives = nullptr;
    ReadQueueConsumer* readQueue = nullptr;
    CoefficientConsumer* coefficients = nullptr;
    ProgramWriterConsumer* programWriter = nullptr;
    ModemConsumer* modem = nullptr;
    TransferUnitConsumer* transferUnit = nullptr;
    PollingConsumer* polling = nullptr;
};

// Re-opens the port after a time-out (the port initialisation window in the program): closes it and
// opens it again before returning.
class PortReopener {
public:
    virtual ~PortReopener() = default;
    virtual void reopenPort() = 0;
};

} // namespace tarn::link
