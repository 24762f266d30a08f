#include "corrector/CorrectorSession.h"

namespace tarn::corrector {

CorrectorSession::CorrectorSession(link::ExchangeEngine& engine, link::LinkPort& port,
                                   link::LinkSettings& settings, Notifier& notifier,
                                   link::OperationStart& gate, link::ReadRun& readRun, int languageIndex,
                                   QObject* parent)
    : QObject(parent), engine_(engine), port_(port), settings_(settings), gate_(gate), readRun_(readRun),
      link_(engine), model_(link_, notifier, settings, languageIndex) {
    link_.attach(model_);

    link::OperationStart::Hooks g;
    g.reinitPort = [this] {
        if (ui_.reinitPort) return ui_.reinitPort();
        port_.closePort();
        return port_.applyAndOpen(settings_);
    };
    g.resetCorrectorWindow = [this] { model_.ClearWindow(); };
    g.identificationStarting = [this] { engine_.modes().parameterTransfer = false; };
    g.runOperation = [this](int code) { runOperation(code); };
    g.runDirect = [this](int code) {
        if (ui_.runDirect) ui_.runDirect(code);
    };
    g.identificationShown = [this] {
        if (ui_.identificationShown) ui_.identificationShown();
    };
    g.identificationClosed = [this] {
        if (ui_.identificationClosed) ui_.identificationClosed();
    };
    gate_.setHooks(g);

    link::ReadRun::Hooks r;
    r.startFullRead = [this] { model_.StartFullRead(); };
    r.startArchive = [](int) { return false; }; // the archive readers plug in here
    r.stopItemTransfer = [this] { engine_.modes().parameterTransfer = false; };
    r.closed = [this](bool completed) { emit readRunClosed(completed); };
    readRun_.setHooks(r);
}

CorrectorSession::~CorrectorSession() {
    gate_.setHooks({});
    readRun_.setHooks({});
    if (engine_.consumers().readQueue == &readRun_) engine_.consumers().readQueue = nullptr;
}

link::OperationStart::StartResult CorrectorSession::startOperation(int code) {
    model_.setPollingRun(engine_.modes().pollingActive);
    model_.setModemConnected(engine_.modes().modemConnected);
    return gate_.startOperation(code);
}

void CorrectorSession::runOperation(int code) {
    using namespace link;
    // Every operation but the operative archive, the clock and the measurement starts from a clean window.
    const bool keepsWindow =
        code == operation::Operative || code == operation::Clock || code == operation::Measurement;
    if (!keepsWindow) model_.ClearWindow();
    model_.setProfile(gate_.profile());
    if (keepsWindow) {
        model_.SetAccessLevel(0);
        engine_.modes().parameterTransfer = false;
    }
    int kind = readKindForOperation(code);
    // The selective reading window is not there yet: its kinds are read as one run.
    if (code == operation::Selective) kind = read_kind::Selective;
    if (kind == 0) return;
    if (ui_.openReadWindow) ui_.openReadWindow(kind);
}

} // namespace tarn::corrector
