#include "portscan/PortScanner.h"

#include "portscan/Crc16Modbus.h"
#include "portscan/ModemResult.h"
#include "portscan/Probes.h"

namespace tarn::portscan {

namespace {

QString comText(int n) {
    return QStringLiteral("COM%1").arg(n);
}

} // namespace

QStringList fixedSpeedTexts() {
    return {QStringLiteral("2400"),  QStringLiteral("4800"),  QStringLiteral("9600"),
            QStringLiteral("19200"), QStringLiteral("38400"), QStringLiteral("57600"),
            QStringLiteral("115200")};
}

PortScanner::PortScanner(link::SerialPort& comPort, link::SerialPort& unitPort, ScanLog& log, QObject* parent)
    : QObject(parent), BComPort_Cont(comPort), XComm_DTU_2MB(unitPort), log_(log) {
    for (QTimer* t : {&tBar_COM, &tStart, &tStep_kRS, &tK_PortScan, &TkWrRd_PortScan, &tRSV_ToutDTU,
                      &tOpenPause, &tDtrPulse, &tUnitReopen})
        t->setTimerType(Qt::PreciseTimer);
    for (QTimer* t : {&tStart, &tK_PortScan, &tOpenPause, &tDtrPulse, &tUnitReopen})
        t->setSingleShot(true);
    setTimings(timings_);

    connect(&tBar_COM, &QTimer::timeout, this, [this] {
        progress_ = progress_ >= kProgressMax ? 0 : progress_ + 1;
        emit progressChanged(progress_);
    });
    connect(&tStart, &QTimer::timeout, this, &PortScanner::onStartTimer);
    connect(&tStep_kRS, &QTimer::timeout, this, &PortScanner::onPresenceTick);
    connect(&tK_PortScan, &QTimer::timeout, this, &PortScanner::onNextPort);
    connect(&tOpenPause, &QTimer::timeout, this, &PortScanner::onOpenPause);
    connect(&tDtrPulse, &QTimer::timeout, this, [this] {
        BComPort_Cont.setDtr(false);
        beginSteps();
    });
    connect(&TkWrRd_PortScan, &QTimer::timeout, this, &PortScanner::onStepTick);
    connect(&tRSV_ToutDTU, &QTimer::timeout, this, &PortScanner::onUnitTimeout);
    connect(&tUnitReopen, &QTimer::timeout, this, &PortScanner::onUnitReopened);
    connect(&BComPort_Cont, &link::SerialPort::received, this, &PortScanner::onComReceived);
    connect(&XComm_DTU_2MB, &link::SerialPort::received, this, &PortScanner::onUnitReceived);
}

void PortScanner::setTimings(const ScanTimings& timings) {
    timings_ = timings;
    tBar_COM.setInterval(timings.barMs);
    tStart.setInterval(timings.startMs);
    tStep_kRS.setInterval(timings.presenceMs);
    tK_PortScan.setInterval(timings.nextPortMs);
    TkWrRd_PortScan.setInterval(timings.stepMs);
    tRSV_ToutDTU.setInterval(timings.unitReplyTimeoutMs);
    tOpenPause.setInterval(timings.openPauseMs);
    tDtrPulse.setInterval(timings.dtrPulseMs);
    tUnitReopen.setInterval(timings.unitReopenPauseMs);
}

QString PortScanner::device(int n) const {
    return map_.device(comText(n));
}

bool PortScanner::portExists(link::SerialPort& port, int n) const {
    return port.deviceExists(device(n));
}

void PortScanner::stopAllTimers() {
    for (QTimer* t : {&tBar_COM, &tStart, &tStep_kRS, &tK_PortScan, &TkWrRd_PortScan, &tRSV_ToutDTU,
                      &tOpenPause, &tDtrPulse, &tUnitReopen})
        t->stop();
    unitOpening_ = false;
    resendAfterReopen_ = false;
}

bool PortScanner::stepPending() const {
    for (const QTimer* t : {&tBar_COM, &tStart, &tStep_kRS, &tK_PortScan, &TkWrRd_PortScan, &tRSV_ToutDTU,
                            &tOpenPause, &tDtrPulse, &tUnitReopen})
        if (t->isActive()) return true;
    return false;
}

// ---- start, stop, presence pass ---------------------------------------------------------------------

void PortScanner::start() {
    stopAllTimers();
    running_ = true;
    found_.clear();
    progress_ = 0;
    emit progressChanged(progress_);
    tBar_COM.start();
    LogLine(text(ScanText::ControlPorts), LogColour::Black);
    tStart.start();
}

void PortScanner::stop() {
    LogLine(text(ScanText::Stopped), LogColour::Red);
    stopAllTimers();
    running_ = false;
}

void PortScanner::halt() {
    stopAllTimers();
    running_ = false;
}

void PortScanner::onStartTimer() {
    tBar_COM.start();
    emit progressShown(true);
    state_.currentPort = 1;
    state_.portPresent.fill(false);
    tStep_kRS.start();
}

void PortScanner::onPresenceTick() {
    if (state_.currentPort < state_.portLimit) {
        const int n = state_.currentPort;
        if (portExists(BComPort_Cont, n)) {
            state_.portPresent[static_cast<std::size_t>(n)] = true;
            LogLine(comText(n), LogColour::Black);
        }
        ++state_.currentPort;
    }
    if (state_.currentPort >= state_.portLimit) {
        tStep_kRS.stop();
        finishPresencePass();
    }
}

void PortScanner::finishPresencePass() {
    state_.currentPort = 0;
    mode_ = selectedMode_;
    ScanText startLine = ScanText::StartModem;
    switch (mode_) {
    case ScanMode::Unit2mb:
        state_.ScanStep = 1;
        startLine = ScanText::StartUnit2mb;
        break;
    case ScanMode::UsbAdapter:
        BComPort_Cont.setBaudRate(kAdapterBaud);
        startLine = ScanText::StartAdapter;
        break;
    case ScanMode::Modem:
    case ScanMode::Corrector:
        // A text that is not one of the offered speeds leaves the speed as it is.
        if (fixedSpeedTexts().contains(speedText_)) BComPort_Cont.setBaudRate(speedText_.toInt());
        startLine = mode_ == ScanMode::Modem ? ScanText::StartModem : ScanText::StartCorrector;
        break;
    }
    LogLine(text(startLine), LogColour::Green);
    tK_PortScan.start();
}

// ---- from port to port ------------------------------------------------------------------------------

void PortScanner::onNextPort() {
    int next = 0;
    for (int n = state_.currentPort + 1; n < state_.portLimit && n <= 100; ++n) {
        if (state_.portPresent[static_cast<std::size_t>(n)]) {
            next = n;
            break;
        }
    }
    if (next == 0) {
        endScan();
        return;
    }
    state_.currentPort = next;
    if (mode_ == ScanMode::Unit2mb) {
        // The unit's probe opens its port itself.
        state_.ScanStep = 1;
        TkWrRd_PortScan.start();
        return;
    }
    TkWrRd_PortScan.stop();
    state_.ScanStep = 0;
    tOpenPause.start();
}

void PortScanner::onOpenPause() {
    const int n = state_.currentPort;
    if (BComPort_Cont.isOpen()) BComPort_Cont.close();
    state_.linkBroken = false;
    if (!BComPort_Cont.open(device(n))) {
        state_.linkBroken = true;
        LogLine(text(ScanText::PortBusy) + QString::number(n), LogColour::Red);
        tK_PortScan.start();
        return;
    }
    switch (mode_) {
    case ScanMode::UsbAdapter:
        // A short DTR pulse wakes the adapter.
        BComPort_Cont.setDtr(true);
        tDtrPulse.start();
        return;
    case ScanMode::Corrector:
        BComPort_Cont.setDtr(false);
        BComPort_Cont.setRts(true);
        break;
    case ScanMode::Modem:
    case ScanMode::Unit2mb:
        break;
    }
    beginSteps();
}

void PortScanner::beginSteps() {
    state_.ScanStep = 1;
    TkWrRd_PortScan.start();
}

void PortScanner::closeComPort() {
    if (!state_.linkBroken) BComPort_Cont.close();
}

void PortScanner::portDone(ScanText verdict) {
    TkWrRd_PortScan.stop();
    closeComPort();
    LogLine(text(verdict) + QString::number(state_.currentPort), LogColour::Black);
    tK_PortScan.start();
}

void PortScanner::endScan() {
    tBar_COM.stop();
    emit progressShown(false);
    LogLine(text(ScanText::Stopped), LogColour::Black);
    running_ = false;
    emit finished();
}

void PortScanner::foundEnd(ScanText message) {
    TkWrRd_PortScan.stop();
    found_.append(state_.currentPort);
    LogLine(text(message) + comText(state_.currentPort), LogColour::Blue);
    endScan();
}

// ---- the exchange with one port ---------------------------------------------------------------------

void PortScanner::sendRequest(const QByteArray& bytes) {
    state_.received.clear();
    state_.probeAnswered = false;
    state_.request = bytes;
    if (state_.linkBroken) return;
    if (!portExists(BComPort_Cont, state_.currentPort) || !BComPort_Cont.write(bytes))
        state_.linkBroken = true;
}

void PortScanner::onStepTick() {
    switch (mode_) {
    case ScanMode::Modem:
        modemStep();
        break;
    case ScanMode::Corrector:
    case ScanMode::UsbAdapter:
        identificationStep();
        break;
    case ScanMode::Unit2mb:
        unitStep();
        break;
    }
}

void PortScanner::modemStep() {
    int& step = state_.ScanStep;
    const int n = state_.currentPort;
    if (step == 1) {
        step = 2;
    } else if (step == 2) {
        LogLine(text(ScanText::Control) + comText(n), LogColour::Black);
        state_.requestStage = 0;
        sendRequest(QByteArray(kModemReset));
        step = 3;
    } else if (step >= 3 && step <= 11) {
        if (state_.probeAnswered) {
            state_.requestStage = 1;
            sendRequest(QByteArray(kModemInfo));
            step = 13;
        } else {
            step = step == 11 ? 23 : step + 1;
        }
    } else if (step >= 13 && step <= 22) {
        if (state_.probeAnswered) {
            TkWrRd_PortScan.stop();
            closeComPort();
            tK_PortScan.start();
            return;
        }
        ++step;
    } else if (step == 23) {
        // Silent to the reset, or found by its answer to "AT&F" but silent to "ATI0": either way the
        // log ends the port with "no modem", after the found line in the second case, so a modem that
        // will not identify itself stands out in the list.
        portDone(ScanText::NoModem);
    } else {
        ++step;
    }
}

void PortScanner::identificationStep() {
    int& step = state_.ScanStep;
    const bool corrector = mode_ == ScanMode::Corrector;
    if (step == 1) {
        step = 2;
    } else if (step == 2) {
        LogLine(text(ScanText::Control) + comText(state_.currentPort), LogColour::Black);
        state_.requestStage = 2;
        state_.expectedLength = kIdentificationReplyLength;
        sendRequest(corrector ? correctorRequest() : adapterRequest());
        step = 3;
    } else if (step >= 3 && step <= 17) {
        if (step == 7 || step == 12) sendRequest(state_.request);
        step = state_.probeAnswered ? 18 : step + 1;
    } else if (step >= 18 && step <= 32) {
        if (state_.probeAnswered) {
            closeComPort();
            foundEnd(corrector ? ScanText::CorrectorFound : ScanText::AdapterFound);
            return;
        }
        ++step;
    } else {
        portDone(corrector ? ScanText::NoCorrector : ScanText::NoAdapter);
    }
}

void PortScanner::onComReceived(const QByteArray& bytes) {
    if (mode_ == ScanMode::Unit2mb || !TkWrRd_PortScan.isActive()) return;
    QByteArray& rx = state_.received;
    rx += bytes;
    if (rx.size() >= 2 && (static_cast<quint8>(rx.at(0)) == 0xFF || static_cast<quint8>(rx.at(1)) == 0xFF)) {
        rx.clear();
        return;
    }
    switch (mode_) {
    case ScanMode::Modem:
        if (ModemResult(rx) != kModemOk) return;
        if (state_.requestStage == 0) {
            found_.append(state_.currentPort);
            LogLine(text(ScanText::ModemPort) + QString::number(state_.currentPort), LogColour::Blue);
        } else {
            LogLine(printableText(rx), LogColour::Blue);
        }
        break;
    case ScanMode::Corrector: {
        if (rx.size() < kIdentificationReplyLength) return;
        const CorrectorKind kind = correctorReplyKind(rx);
        if (kind == CorrectorKind::None) return;
        const ScanText t = kind == CorrectorKind::TarnNm ? ScanText::CorrectorTarn : ScanText::CorrectorQuon;
        LogLine(text(t) + printableText(rx), LogColour::Blue);
        break;
    }
    case ScanMode::UsbAdapter:
        if (state_.ScanStep < 5 || !adapterReplyAccepted(rx)) return;
        LogLine(printableText(rx), LogColour::Blue);
        break;
    case ScanMode::Unit2mb:
        return;
    }
    rx.clear();
    state_.probeAnswered = true;
}

// ---- the 2 MB unit -----------------------------------------------------------------------------------

bool PortScanner::unitFailed() const {
    return state_.unitOpenFailed || state_.unitPortVanished;
}

void PortScanner::unitStep() {
    int& step = state_.ScanStep;
    const int n = state_.currentPort;
    if (step == 1) {
        OpenUnitPort();
        step = 2;
    } else if (step == 2) {
        if (unitOpening_) return;
        LogLine(text(ScanText::Control) + comText(n), LogColour::Black);
        state_.request = unitRequest(kUnitProbeCommand);
        state_.unitRetryCount = 0;
        state_.unitReplySeen = false;
        state_.unitShortReplySeen = false;
        state_.unitReceived.clear();
        SendUnitRequest();
        step = 3;
    } else if (state_.unitReplySeen && !state_.unitShortReplySeen) {
        TkWrRd_PortScan.stop();
        foundEnd(ScanText::UnitFound);
    } else if (state_.unitRetryCount > kUnitRepeats || state_.unitShortReplySeen || unitFailed()) {
        // No answer after the repeats, only the short reply, or a port that could not be opened or
        // written: this port has no unit; on to the next.
        TkWrRd_PortScan.stop();
        tRSV_ToutDTU.stop();
        tUnitReopen.stop();
        unitOpening_ = false;
        resendAfterReopen_ = false;
        step = 1;
        XComm_DTU_2MB.close();
        LogLine(text(ScanText::UnitNone) + QString::number(n), LogColour::Black);
        tK_PortScan.start();
    }
}

void PortScanner::OpenUnitPort() {
    state_.unitOpenFailed = false;
    state_.unitPortVanished = false;
    if (!portExists(XComm_DTU_2MB, state_.currentPort)) {
        state_.unitOpenFailed = true;
        return;
    }
    if (XComm_DTU_2MB.isOpen()) XComm_DTU_2MB.close();
    // The port stays closed a while before it is opened again; the window keeps working meanwhile.
    unitOpening_ = true;
    tUnitReopen.start();
}

void PortScanner::onUnitReopened() {
    unitOpening_ = false;
    if (!unitFailed()) {
        tRSV_ToutDTU.setInterval(timings_.unitReplyTimeoutMs);
        if (!XComm_DTU_2MB.isOpen()) {
            // Opened at a standard speed, then taken to the unit's own where the driver allows it.
            XComm_DTU_2MB.setBaudRate(kAdapterBaud);
            if (XComm_DTU_2MB.open(device(state_.currentPort))) {
                if (!XComm_DTU_2MB.setBaudRate(kUnitBaud)) XComm_DTU_2MB.setBaudRate(kUnitFallbackBaud);
            } else {
                state_.unitOpenFailed = true;
            }
        }
    }
    if (resendAfterReopen_) {
        resendAfterReopen_ = false;
        if (!unitFailed()) SendUnitRequest();
    }
}

void PortScanner::SendUnitRequest() {
    // Every request starts with an empty reply buffer, so bytes left from a bad reply cannot spoil it.
    state_.unitReceived.clear();
    if (!portExists(XComm_DTU_2MB, state_.currentPort)) {
        XComm_DTU_2MB.close();
        state_.unitPortVanished = true;
        return;
    }
    if (!XComm_DTU_2MB.write(state_.request)) {
        state_.unitOpenFailed = true;
        return;
    }
    tRSV_ToutDTU.start();
}

void PortScanner::onUnitTimeout() {
    tRSV_ToutDTU.stop();
    ++state_.unitRetryCount;
    if (state_.unitRetryCount > kUnitRepeats) return; // the step machine gives the verdict
    resendAfterReopen_ = true;
    OpenUnitPort();
    if (!unitOpening_) resendAfterReopen_ = false; // the port is gone: the step machine reports it
}

void PortScanner::onUnitReceived(const QByteArray& bytes) {
    if (mode_ != ScanMode::Unit2mb || !TkWrRd_PortScan.isActive()) return;
    state_.unitReceived += bytes;
    const UnitReply kind = unitReplyKind(state_.unitReceived);
    if (kind == UnitReply::None) return;
    if (kind == UnitReply::Short)
        state_.unitShortReplySeen = true;
    else
        state_.unitData = state_.unitReceived;
    state_.unitReplySeen = true;
    tRSV_ToutDTU.stop();
    state_.unitReceived.clear();
}

} // namespace tarn::portscan
