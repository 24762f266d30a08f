#include "corrector/CorrectorSession.h"

#include "corrector/CorrectorWindowModel.h"

namespace tarn::corrector {

std::optional<BlockAddress> blockOfKind(int kind) {
    switch (kind) {
    case read_kind::Version:
        return kVersionBlock;
    case read_kind::Clock:
        return kClockBlock;
    case read_kind::Measurement:
        return kMeasurementBlock;
    case read_kind::Voltage:
        return kStatusBlock;
    default:
        return std::nullopt;
    }
}

CorrectorSession::CorrectorSession(link::ExchangeEngine& engine, link::LinkPort& port,
                                   link::LinkSettings& settings, Notifier& notifier, OperationStart& gate,
                                   ReadRun& readRun, int languageIndex, QObject* parent)
    : QObject(parent), engine_(engine), port_(port), settings_(settings), gate_(gate), readRun_(readRun),
      notifier_(notifier), link_(engine, notifier),
      model_(std::make_unique<CorrectorWindowModel>(link_, notifier, settings, languageIndex)) {
    link_.attach(*model_);
    model_->setTimerClock(engine.clock());

    OperationStart::Hooks g;
    g.reinitPort = [this] {
        if (ui_.reinitPort) return ui_.reinitPort();
        port_.closePort();
        return port_.applyAndOpen(settings_);
    };
    g.resetCorrectorWindow = [this] { model_->ClearWindow(); };
    g.identificationRead = [this](const QByteArray& payload) {
        model_->onBlockReply(read_kind::Version, payload);
    };
    g.runOperation = [this](int code) { runOperation(code); };
    g.runDirect = [this](int code) { runDirect(code); };
    g.identificationShown = [this] {
        if (ui_.identificationShown) ui_.identificationShown();
    };
    g.identificationClosed = [this] {
        if (ui_.identificationClosed) ui_.identificationClosed();
    };
    gate_.setHooks(g);

    ReadRun::Hooks r;
    r.startKind = [this](int kind) { return startKind(kind); };
    r.closed = [this](bool completed) {
        hold_.release();
        if (selectiveMode()) endSelectiveMode();
        // Records that stayed bad through every re-read are empty rows now: whoever reads the tables next
        // (the user, storing, the polling console) is told what this reading lost.
        const QStringList blanked = blankedRecordsLines(model_->archives(), model_->languageIndex());
        if (!blanked.isEmpty()) notifier_.message(MessageKind::Warning, blanked.join(QLatin1Char('\n')));
        emit readRunClosed(completed);
    };
    readRun_.setHooks(r);
    connect(&link_, &EngineParameterLink::kindEnded, this, [this](int kind, bool completed) {
        // The daily part ends the selective mode; the rest of the run reads whole archives again.
        if (kind == read_kind::Daily && selectiveMode()) endSelectiveMode();
        if (completed) model_->markKindRead(kind);
        readRun_.kindEnded(kind, completed);
    });
    connect(&link_, &EngineParameterLink::pageAccepted, &readRun_, &ReadRun::stepGauge);
    // Refused or stopped: the operation never ran. Accepted: it runs now and lets go when it ends.
    connect(&gate_, &OperationStart::identificationFinished, this, [this](bool accepted) {
        if (!accepted) hold_.release();
    });
}

const Reading& CorrectorSession::reading() const {
    return model_->reading();
}

CorrectorSession::~CorrectorSession() {
    gate_.setHooks({});
    readRun_.setHooks({});
}

OperationStart::StartResult CorrectorSession::startOperation(int code) {
    model_->setPollingRun(engine_.lineUse().pollingRun);
    model_->setModemConnected(engine_.lineUse().modemConnected);
    const auto started = gate_.startOperation(code);
    if (started != OperationStart::StartResult::Refused && lineHold_)
        hold_ = lineHold_->take(QStringLiteral("corrector operation %1").arg(code));
    return started;
}

OperationStart::StartResult CorrectorSession::startSelectiveRead(int days) {
    model_->ClearWindow();
    readRun_.readToEmptyLine = false;
    selectiveDays_ = qBound(1, days, 40);
    const auto started = startOperation(operation::Selective);
    if (started == OperationStart::StartResult::Refused) endSelectiveMode();
    return started;
}

void CorrectorSession::endSelectiveMode() {
    selectiveDays_ = 0;
    readRun_.readToEmptyLine = true;
}

void CorrectorSession::runOperation(int code) {
    // Every operation but the operative archive, the clock and the measurement starts from a clean window.
    const bool keepsWindow =
        code == operation::Operative || code == operation::Clock || code == operation::Measurement;
    if (!keepsWindow) model_->ClearWindow();
    model_->setIdentification(gate_.identification());
    model_->setProfile(gate_.profile());
    // What the session reads comes from the corrector on the line (a polling run says how it dialled).
    model_->setSource(SourceKind::Cable);
    if (keepsWindow) model_->SetAccessLevel(0);
    int kind = readKindForOperation(code);
    // The selective reading window is not there yet: its kinds are read as one run.
    if (code == operation::Selective) kind = read_kind::Selective;
    if (kind == 0) {
        hold_.release();
        return;
    }
    if (ui_.openReadWindow) ui_.openReadWindow(kind);
}

bool CorrectorSession::startKind(int kind) {
    if (kind == read_kind::Parameters) {
        model_->StartFullRead();
        return true;
    }
    if (const auto block = blockOfKind(kind)) {
        link_.readBlock(kind, *block);
        return true;
    }
    if (selectiveMode() && (kind == read_kind::Hourly || kind == read_kind::Daily)) {
        // The plan comes from the parameters just read: the pointers and the contract hour.
        const ParameterImage& image = model_->reading().image;
        const ArchivePointers pointers = image.archivePointers();
        const QDateTime end = now();
        const SelectivePages pages =
            kind == read_kind::Hourly
                ? planHourlyPages(pointers.hourly, selectiveHours(end.date().addDays(-selectiveDays_),
                                                                  image.contractHour(), end))
                : planDailyPages(pointers.daily, selectiveDays_);
        readRun_.setGaugeMax(pages.count);
        return link_.readArchiveSelective(kind, pages);
    }
    if (isArchiveKind(kind)) {
        readRun_.setGaugeMax(link_.archivePages(kind));
        return link_.readArchive(kind, readRun_.readToEmptyLine);
    }
    return false;
}

void CorrectorSession::runDirect(int code) {
    switch (code) {
    case operation::AlarmCheck:
        // One request: the engine's own busy state covers it.
        hold_.release();
        // The user asked: the answer is shown, no warning box.
        link_.checkAlarm();
        return;
    case operation::Poll:
        hold_.release();
        link_.readBlock(read_kind::Measurement, kMeasurementBlock);
        return;
    default:
        // The coefficient windows start their own transfers and say when they end (operationEnded).
        if (coefficientRunner_) {
            coefficientRunner_(code);
        } else {
            hold_.release();
            if (ui_.runDirect) ui_.runDirect(code);
        }
        return;
    }
}

} // namespace tarn::corrector
