#pragma once
// What the commands that talk to a corrector share: the --trace file, and waiting in the event loop until
// the work is done. (The engine has its settings from the context, as in the program.)
#include "Cli.h"
#include "common/TextFile.h"

#include <QObject>
#include <functional>

namespace tarn::cli {

// Runs the event loop until done() holds or limitMs have passed (no limit when negative). The loop sleeps
// until the next event: every change done() looks at arrives as one, and a timer wakes it at the limit.
bool runEventsUntil(const std::function<bool()>& done, int limitMs);

class CliLink {
public:
    explicit CliLink(CliRun& run);
    ~CliLink();
    CliLink(const CliLink&) = delete;
    CliLink& operator=(const CliLink&) = delete;

    // Runs the event loop until done() holds. Every wait ends: the engine's own time-outs and retries
    // bound it; limitMs is only a last guard.
    bool waitUntil(const std::function<bool()>& done, int limitMs = 600000);
    // The trace file is written as the link log shows each line, so a night's trace is never held in
    // memory. False when --trace names a file that cannot be written (the caller refuses before any call).
    bool traceReady() const;
    // Reports a trace file that could not be opened or written.
    void writeTrace();
    QObject& scope() { return scope_; }

private:
    CliRun& run_;
    QObject scope_;
    AppendingTextFile trace_;
};

} // namespace tarn::cli
