#pragma once
// An exchange engine on a fake port, with recording consumers. Time is driven by the test: the reply
// timer's handler is called directly, so no test waits for a real time-out.
#include "common/Language.h"
#include "link/ExchangeEngine.h"
#include "link/FakeSerialPort.h"
#include "link/FrameChecksum.h"
#include "link/LinkLog.h"
#include "link/LinkPort.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace tarn::test {

struct RecordingView final : link::CorrectorLinkView {
    void setNoLinkShown(bool shown, const QString& text) override {
        noLinkShown = shown;
        if (shown) noLinkTexts.append(text);
    }
    void showAlarmSignalFields() override { ++alarmFields; }
    void onBlockReply(int kind, const QByteArray& payload) override { blocks.append({kind, payload}); }
    void dropAccessLevel() override { ++accessDrops; }
    bool noLinkShown = false;
    QStringList noLinkTexts;
    int alarmFields = 0;
    int accessDrops = 0;
    QList<std::pair<int, QByteArray>> blocks;
};

struct RecordingItems final : link::ItemTransferConsumer {
    void onItemReply(const QByteArray& payload) override { replies.append(payload); }
    void endItemTransfer() override { ++ended; }
    void startNextStep() override { ++nextSteps; }
    QList<QByteArray> replies;
    int ended = 0;
    int nextSteps = 0;
};

struct EngineRig {
    link::FakeSerialPort port;
    RecordingNotifier notifier;
    link::LinkPort link{port, notifier};
    link::LinkLog log;
    link::ExchangeEngine engine{link, notifier};
    RecordingView view;
    RecordingItems items;
    int completed = 0;
    int lost = 0;

    explicit EngineRig(int retries = 6, int address = 1) {
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
        log.setLanguage(kRussian);
        log.enabled = true;
        engine.setLinkLog(&log);
        engine.consumers().view = &view;
        engine.consumers().items = &items;
        QObject::connect(&engine, &link::ExchangeEngine::transferComplete, [this] { ++completed; });
        QObject::connect(&engine, &link::ExchangeEngine::linkLost, [this] { ++lost; });
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
    // Lets queued timers run.
    void settle(int ms = 0) {
        QElapsedTimer t;
        t.start();
        do
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        while (t.elapsed() < ms);
    }
    QStringList failureHeads() const {
        QStringList heads;
        for (const QString& l : log.receivePane())
            if (l.startsWith(QStringLiteral("*НАЧАЛО* "))) heads.append(l.mid(22));
        return heads;
    }
};

} // namespace tarn::test
