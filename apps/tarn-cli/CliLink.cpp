#include "CliLink.h"

#include "common/TextFile.h"
#include "link/ExchangeEngine.h"
#include "link/LinkLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

namespace tarn::cli {

CliLink::CliLink(CliRun& run) : run_(run) {
    link::LinkLog& log = run.context->linkLog();
    if (!run.options.traceFile.isEmpty() && trace_.open(run.options.traceFile)) {
        log.enabled = true;
        log.options.send.time = true;
        log.options.receive.time = true;
        QObject::connect(&log, &link::LinkLog::entryAdded, &scope_,
                         [this](link::LinkLog::Pane pane, const QStringList& lines) {
                             const QString mark = pane == link::LinkLog::Pane::Send ? QStringLiteral("-> ")
                                                                                    : QStringLiteral("<- ");
                             for (const QString& l : lines)
                                 trace_.append(mark + l);
                         });
    }
}

CliLink::~CliLink() {
    writeTrace();
}

bool runEventsUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer t;
    t.start();
    // A coarse timer may fire a little before the limit; the loop would then sleep again with nothing
    // left to wake it. So the wake-up is precise and set again, for what is left, before every sleep.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    while (!done()) {
        if (limitMs >= 0) {
            const qint64 left = limitMs - t.elapsed();
            if (left <= 0) break;
            wake.start(static_cast<int>(left));
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return done();
}

bool CliLink::waitUntil(const std::function<bool()>& done, int limitMs) {
    runEventsUntil([&] { return done() || run_.interrupted; }, limitMs);
    return done();
}

bool CliLink::traceReady() const {
    return run_.options.traceFile.isEmpty() || trace_.isOpen();
}

void CliLink::writeTrace() {
    if (run_.options.traceFile.isEmpty()) return;
    if (!trace_.isOpen() || trace_.failed())
        run_.notifier->message(MessageKind::Error, QStringLiteral("cannot write ") + run_.options.traceFile);
}

} // namespace tarn::cli
