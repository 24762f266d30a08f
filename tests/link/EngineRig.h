#pragma once
// An exchange engine on a fake port, with a recording transfer. Time is driven by the test: the reply
// timer's handler is called directly, so no test waits for a real time-out.
#include "common/Language.h"
#include "corrector/LinkTexts.h"
#include "link/ExchangeEngine.h"
#include "link/FakeSerialPort.h"
#include "link/FrameChecksum.h"
#include "link/LinkLog.h"
#include "link/LinkPort.h"
#include "link/Transfer.h"
#include "support/TestSupport.h"

namespace tarn::test {

// Keeps what the engine tells it; the verdicts are the test's to choose.
struct RecordingTransfer final : link::Transfer {
    link::BlockVerdict onBlock(const link::Reply& r) override {
        blocks.append({r.block, r.payload});
        return blockVerdict ? blockVerdict(r) : link::BlockVerdict::Continue;
    }
    link::RefusalVerdict onRefused(quint8 status) override {
        refusals.append(status);
        return refusalVerdict;
    }
    bool answeredByAlarmNotice() const override { return alarmNoticeAnswers; }
    void onComplete() override { ++completed; }
    void onFailed(const link::Failure& f) override { failures.append(f); }

    std::function<link::BlockVerdict(const link::Reply&)> blockVerdict;
    link::RefusalVerdict refusalVerdict = link::RefusalVerdict::RetryAfterTimeOut;
    bool alarmNoticeAnswers = false;
    QList<std::pair<int, QByteArray>> blocks;
    QList<quint8> refusals;
    QList<link::Failure> failures;
    int completed = 0;
};

struct EngineRig {
    link::FakeSerialPort port;
    RecordingNotifier notifier;
    link::LinkPort link{port, notifier};
    link::LinkLog log;
    SystemClock systemClock;
    ManualClock manualClock{QDateTime(QDate(2025, 3, 9), QTime(10, 0))};
    // The computer's timers, or time the test moves (for waits whose length is what is tested).
    Clock& clock;
    link::ExchangeEngine engine{link, notifier, clock};
    RecordingTransfer transfer;
    int completed = 0;
    int lost = 0;
    QStringList noLinkTexts;

    enum class Time { System, Manual };
    explicit EngineRig(int retries = 6, int address = 1, Time time = Time::System)
        : clock(time == Time::Manual ? static_cast<Clock&>(manualClock) : systemClock) {
        port.existing = {QStringLiteral("/dev/ttyS0")};
        link.configure(QStringLiteral("COM1"), QStringLiteral("19200"), false);
        link.openPort(true);
        link::LinkSettings s;
        s.writeDelayMs = 0;
        s.replyTimeoutMs = 10000; // never runs out by itself: the tests call the handler
        s.retryCount = retries;
        s.resetOnFailure = false;
        engine.configure(s, address);
        engine.setLanguage(kRussian);
        engine.setWording(&corrector::correctorLinkWording());
        log.setLanguage(kRussian);
        log.enabled = true;
        engine.setLinkLog(&log);
        QObject::connect(&engine, &link::ExchangeEngine::transferComplete, [this] { ++completed; });
        QObject::connect(&engine, &link::ExchangeEngine::linkLost, [this] { ++lost; });
        QObject::connect(&engine, &link::ExchangeEngine::noLinkChanged, [this](bool shown, const QString& t) {
            if (shown) noLinkTexts.append(t);
        });
    }

    // A read or a write for the rig's own transfer; sends 0 means the engine's retry count.
    void read(quint8 op, quint8 address, quint8 count, int sends = 0, quint16 blocksLeft = 0) {
        engine.start(link::Request::read(op, address, count, blocksLeft).withRetries(sends), transfer);
    }
    bool write(quint8 address, const QByteArray& data, int sends = 0, quint16 blocksLeft = 0) {
        return engine.start(link::Request::write(link::opWrite, address, data, blocksLeft).withRetries(sends),
                            transfer);
    }

    // A reply frame: status, payload, check byte.
    static QByteArray frame(quint8 status, const QByteArray& payload) {
        QByteArray f;
        f.append(static_cast<char>(status));
        f.append(payload);
        return link::withFrameChecksum(f);
    }
    void answer(const QByteArray& bytes) { port.inject(bytes); }
    void timeOut() { engine.onReplyTimeout(); }
    // Lets queued zero-delay timers run.
    void settle() { test::runPending(); }
    QStringList failureHeads() const {
        QStringList heads;
        for (const QString& l : log.receivePane())
            if (l.startsWith(QStringLiteral("*НАЧАЛО* "))) heads.append(l.mid(22));
        return heads;
    }
};

} // namespace tarn::test
