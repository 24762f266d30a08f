#pragma once
// Helpers of the port scanner's tests: short intervals, waiting on the event loop, corrector replies.
#include "link/FrameChecksum.h"
#include "portscan/PortScanner.h"
#include "support/TestSupport.h"

namespace tarn::portscan::test {

// Every interval short, so a scan takes milliseconds; stepMs leaves a device a few ticks to answer.
inline ScanTimings fastTimings(int stepMs = 5) {
    ScanTimings t;
    t.barMs = 20;
    t.startMs = 1;
    t.presenceMs = 1;
    t.nextPortMs = 1;
    t.stepMs = stepMs;
    t.openPauseMs = 1;
    t.dtrPulseMs = 1;
    t.unitReplyTimeoutMs = 20;
    t.unitReopenPauseMs = 5;
    return t;
}

// Runs the event loop until pred holds or limitMs passes (the shared helper under the scanner tests' name).
template <class Pred> bool waitFor(Pred pred, int limitMs = 5000) {
    return ::tarn::test::waitUntil(pred, limitMs);
}

// Runs the event loop for ms milliseconds: for a scanner timer that has to run out before the check.
inline void spin(int ms) {
    ::tarn::test::waitUntil([] { return false; }, ms);
}

// A corrector's identification reply: status, the 32-byte payload (text padded with blanks), check byte.
inline QByteArray identificationReply(const QByteArray& text, char status = '\x00', int payloadSize = 32) {
    QByteArray r(1, status);
    r += text.leftJustified(payloadSize, ' ', true);
    r.append(static_cast<char>(link::frameChecksum(r)));
    return r;
}

} // namespace tarn::portscan::test
