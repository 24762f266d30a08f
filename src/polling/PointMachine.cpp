#include "polling/PointMachine.h"
#include "polling/TextCells.h"

#include "common/Language.h"
#include "common/PhoneNumber.h"
#include "polling/PointSteps.h"

namespace tarn::polling {

namespace {

constexpr int kGateStepMs = 5;

} // namespace

PointMachine::PointMachine(Parts parts, Hooks hooks, int languageIndex, QObject* parent)
    : QObject(parent), p_(std::move(parts)), hooks_(std::move(hooks)), language_(languageIndex),
      gate_(p_.engine, p_.port, p_.settings, p_.notifier), readRun_(p_.engine, p_.settings) {
    gate_.setLanguage(languageIndex);
    readRun_.setLanguage(languageIndex);
    // The identification only looks whether the reply is in: a short step wastes no line time.
    gate_.stepIntervalMs = kGateStepMs;
}

PointMachine::~PointMachine() {
    // Whatever happens to the console, the line is not left up.
    if (modem_ && (modem_->busy() || modem_->connected())) modem_->hangUp();
}

bool PointMachine::telephone() const {
    return point_ && point_->config[database::config::LinkKind] == QStringLiteral("телефон");
}

void PointMachine::release() {
    inHand_ = nullptr;
    current_.reset();
    context_.line = nullptr;
    context_.modem = nullptr;
    line_.reset();
    modem_.reset();
}

void PointMachine::begin(const QString& listLine, PollMode mode, const QString& groupFlags,
                         const Timings& timings) {
    using namespace database;
    release();
    status_ = StepStatus::Done;
    resultText_.clear();
    stopRequested_ = false;
    abandoned_ = false;
    mode_ = mode;
    timings_ = timings;
    identifier_ = listLine.right(10).trimmed();
    pointName_ = listLine.left(20);
    context_ = {};
    context_.clock = &p_.clock;
    context_.identifier = identifier_;
    context_.pointName = pointName_;
    context_.lastStored = &lastStored_;
    context_.additionalRecordCheck = timings.additionalRecordCheck;
    context_.say = hooks_.say;
    context_.changed = hooks_.changed;
    context_.gasNamed = [this](const QString& name) { return gasNamed(p_.storage, name); };
    hooks_.changed();
    Registry registry(p_.root, p_.storage);
    point_ = registry.ok() ? std::optional<Point>(registry.find(identifier_)) : std::nullopt;
    if (!point_) {
        fail();
        return;
    }
    context_.point = &*point_;
    lastStored_ = lastStoredSummary(p_.storage, identifier_);
    flags_ = mode == PollMode::Point ? point_->config[config::Flags] : groupFlags;
    item_ = PollItem::Hourly;
    result(PointResult::PointStarted);
    if (!checkBeforeLine() || !openLine()) return;
    if (!telephone()) {
        beginStep(Step::Version, std::make_unique<VersionStep>());
        return;
    }
    dial_ = std::make_unique<DialStep>(point_->config[config::ModemRepeats].toInt(), p_.settings.modemInit);
    hooks_.changed();
    beginStep(Step::Dial, *dial_);
}

bool PointMachine::checkBeforeLine() {
    using namespace database;
    const QString kind = point_->config[config::LinkKind];
    std::optional<PointResult> refusal;
    if (kind != QStringLiteral("прямое соединение") && kind != QStringLiteral("телефон"))
        refusal = PointResult::NoLinkKind;
    else if (!nextItemOfFlags(flags_, PollItem::Hourly))
        refusal = PointResult::NoItems;
    else if (telephone() && point_->config[config::Phone].trimmed().isEmpty())
        refusal = PointResult::NoPhoneNumber;
    else if (const QString refused =
                 phoneRefusalText(checkPhoneNumber(point_->config[config::Phone]), language_);
             telephone() && !refused.isEmpty()) {
        // A number that is not a dial string is no number to call: said why, then as without one.
        context_.tell(refused, LineColour::Red);
        context_.progress.error = refused;
        refusal = PointResult::NoPhoneNumber;
    }
    if (!refusal) return true;
    result(*refusal);
    step_ = Step::Store;
    return false;
}

bool PointMachine::turn() {
    const Step before = step_;
    const auto exchange = line_ ? line_->exchange() : SessionLine::Exchange::None;
    const PollItem item = item_;
    const StepStatus status = status_;
    const int begun = stepsBegun_;
    runStep();
    const auto exchangeNow = line_ ? line_->exchange() : SessionLine::Exchange::None;
    return step_ != before || exchangeNow != exchange || item_ != item || status_ != status ||
           stepsBegun_ != begun;
}

void PointMachine::tick() {
    if (step_ == Step::Dial && dial_) dial_->tick();
    if (modem_) modem_->tick();
}

void PointMachine::stop() {
    stopRequested_ = true;
    context_.stopRequested = true;
    switch (step_) {
    case Step::Idle:
    case Step::HangUp:
    case Step::HangingUp:
    case Step::Store:
    case Step::Ended:
        return; // ending already
    default:
        // The request in flight is dropped; the point ends in order from here.
        gate_.stopIdentification();
        p_.engine.abandonRequest();
        if (line_) line_->dropExchange();
        step_ = Step::HangUp;
        return;
    }
}

void PointMachine::abandon() {
    abandoned_ = true;
    stop();
}

void PointMachine::runStep() {
    switch (step_) {
    case Step::Idle:
        return;
    case Step::Dial:
    case Step::Version:
    case Step::Parameters:
    case Step::Item:
    case Step::HangingUp:
        driveStep();
        return;
    case Step::NextItem:
        if (stopRequested_) {
            step_ = Step::HangUp;
            return;
        }
        if (const std::optional<PollItem> after = itemAfter(item_))
            dispatchItem(*after);
        else
            step_ = Step::Done;
        return;
    case Step::Done:
        result(PointResult::Normal);
        context_.tell(QStringLiteral("прибор ") + quoted(pointName_) + QStringLiteral(" опрос завершен"));
        step_ = Step::HangUp;
        return;
    case Step::HangUp:
        beginStep(Step::HangingUp, std::make_unique<HangUpStep>());
        return;
    case Step::Store:
        store();
        step_ = Step::Ended;
        return;
    case Step::Ended:
        step_ = Step::Idle;
        hooks_.ended(false);
        return;
    }
}

void PointMachine::beginStep(Step phase, std::unique_ptr<PointStep> step) {
    current_ = std::move(step);
    beginStep(phase, *current_);
}

void PointMachine::beginStep(Step phase, PointStep& step) {
    step_ = phase;
    inHand_ = &step;
    ++stepsBegun_;
    settle(step.start(context_));
}

void PointMachine::driveStep() {
    if (status_ == StepStatus::Waiting) {
        settle(inHand_->poll(context_));
        return;
    }
    if (status_ != StepStatus::Exchange || !line_) return;
    switch (line_->takeExchange(timings_.interruptedAfterTicks)) {
    case SessionLine::Exchange::None:
    case SessionLine::Exchange::Pending:
        return;
    case SessionLine::Exchange::Interrupted:
        context_.tell(QStringLiteral("прерванный режим чтения"), LineColour::Red);
        fail(QStringLiteral("прерванный режим чтения"));
        return;
    case SessionLine::Exchange::Failed:
        fail();
        return;
    case SessionLine::Exchange::Done:
        settle(inHand_->exchangeDone(context_));
        return;
    }
}

void PointMachine::settle(StepStatus status) {
    status_ = status;
    if (status == StepStatus::Failed)
        fail();
    else if (status == StepStatus::Done)
        stepDone();
}

void PointMachine::stepDone() {
    switch (step_) {
    case Step::Dial:
        dialEnded();
        return;
    case Step::Version:
        beginStep(Step::Parameters, std::make_unique<ParametersStep>());
        return;
    case Step::Parameters:
        dispatchItem(item_);
        return;
    case Step::Item:
        step_ = Step::NextItem;
        return;
    case Step::HangingUp:
        step_ = Step::Store;
        return;
    default:
        return;
    }
}

void PointMachine::dialEnded() {
    switch (dial_->outcome()) {
    case DialStep::Outcome::Connected:
        beginStep(Step::Version, std::make_unique<VersionStep>());
        return;
    case DialStep::Outcome::DispatcherSilent:
        result(PointResult::DispatcherModemLost);
        // Our own modem is gone: nothing more can be polled. The point's outcome still says why.
        context_.progress.error = QStringLiteral("нет связи с модемом диспетчерской");
        store();
        step_ = Step::Idle;
        hooks_.ended(true);
        return;
    case DialStep::Outcome::NoAnswer:
    case DialStep::Outcome::Dialling:
        result(PointResult::NoModemAnswer);
        step_ = Step::Store;
        return;
    }
}

void PointMachine::dispatchItem(PollItem from) {
    const std::optional<PollItem> next = nextItemOfFlags(flags_, from);
    if (!next) {
        step_ = Step::Done;
        return;
    }
    context_.progress.identityConfirmed = true;
    item_ = *next;
    std::unique_ptr<PointStep> step;
    if (archiveKindOfItem(*next) != 0)
        step = std::make_unique<ArchiveStep>(*next);
    else if (*next == PollItem::Gas)
        step = std::make_unique<GasStep>();
    else if (*next == PollItem::Clock)
        step = std::make_unique<ClockStep>();
    else
        step = std::make_unique<MeasurementStep>();
    beginStep(Step::Item, std::move(step));
}

bool PointMachine::openLine() {
    using namespace database;
    // The line as the point's row says: its port, speed, reply time-out and repeats.
    link::LinkSettings& s = p_.settings;
    s.corrPort = point_->config[config::Port];
    if (!point_->config[config::Speed].isEmpty()) s.speed = point_->config[config::Speed];
    if (const int t = point_->config[config::TimeoutMs].toInt(); t > 0) s.replyTimeoutMs = t;
    if (const int r = point_->config[config::Repeats].toInt(); r > 0) s.retryCount = r;
    s.modemUsed = telephone();
    if (!point_->config[config::InitString].isEmpty()) s.modemInit = point_->config[config::InitString];
    if (p_.applyLinkSettings) p_.applyLinkSettings(point_->address);

    line_ = std::make_unique<SessionLine>(SessionLine::Parts{
        p_.engine, p_.port, p_.settings, p_.notifier, gate_, readRun_, p_.root, p_.storage, p_.clock,
        point_->address, language_, p_.volumeDecimals, timings_.afterWriteDelayMs});
    context_.line = line_.get();
    connect(line_.get(), &SessionLine::reported, this, &PointMachine::reported);
    connect(line_.get(), &SessionLine::pageAccepted, this, [this] {
        if (auto* archive = dynamic_cast<ArchiveStep*>(current_.get()); archive && step_ == Step::Item)
            archive->pageRead(context_);
    });

    p_.port.closePort();
    if (!p_.port.applyAndOpen(p_.settings)) {
        context_.tell(QStringLiteral("ошибка порта!!! ") + s.corrPort, LineColour::Red);
        fail(QStringLiteral("ошибка порта!!! ") + s.corrPort);
        return false;
    }
    if (!telephone()) return true;
    modem_ =
        std::make_unique<SessionModem>(p_.engine, p_.port, timings_.stepIntervalMs, p_.clock,
                                       context_.progress, [this](const QString& text, bool error) {
                                           context_.tell(text, error ? LineColour::Red : LineColour::Black);
                                       });
    context_.modem = modem_.get();
    connect(modem_.get(), &SessionModem::lineChanged, this, [this] { hooks_.changed(); });
    return true;
}

void PointMachine::fail(const QString& error) {
    PointProgress& progress = context_.progress;
    if (!error.isEmpty() && progress.error.isEmpty()) progress.error = error;
    if (progress.error.isEmpty()) {
        progress.error = QStringLiteral("нет связи с прибором");
        context_.tell(progress.error, LineColour::Red);
    }
    if (line_) line_->dropExchange();
    result(PointResult::ExchangeFailed);
    step_ = Step::HangUp;
}

void PointMachine::result(PointResult outcome) {
    const PointResultInfo r = hooks_.result(outcome);
    if (r.join.isEmpty()) return;
    resultText_ = r.join;
    // The point ends here without reaching the line: its summary says why.
    if (r.beforeLine) context_.progress.error = r.join;
}

void PointMachine::store() {
    if (!abandoned_ && hooks_.mayStore && !hooks_.mayStore()) abandoned_ = true;
    if (abandoned_) {
        // Measurement rows have no key that would keep a second copy out: the poller that took the point
        // over stores it, this one only says what became of it.
        const QString lost =
            uaRu(language_, "зайняття втрачено, не збережено", "занятие потеряно, не сохранено");
        if (context_.progress.error.isEmpty()) context_.progress.error = lost;
        StoreStep step(nullptr, telephone(), askedItemFlags(flags_, mode_), resultText_);
        step.start(context_);
        PointSummary summary = step.summary();
        summary.error = lost;
        hooks_.stored(summary);
        return;
    }
    StoreStep step(line_.get(), telephone(), askedItemFlags(flags_, mode_), resultText_);
    step.start(context_);
    hooks_.stored(step.summary());
}

} // namespace tarn::polling
