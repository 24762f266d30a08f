#include "polling/PollingRun.h"

#include "link/PhoneNumber.h"

#include "database/JoinTable.h"
#include "polling/DayBoard.h"
#include "polling/GroupStart.h"

namespace tarn::polling {

namespace {

constexpr int kStepsWithoutWaiting = 64;
constexpr int kGateStepMs = 5;

QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

PollingRun::PollingRun(Parts parts, int languageIndex, QObject* parent)
    : QObject(parent), p_(std::move(parts)), language_(languageIndex),
      gate_(p_.engine, p_.port, p_.settings, p_.notifier), readRun_(p_.engine, p_.settings) {
    gate_.setLanguage(languageIndex);
    readRun_.setLanguage(languageIndex);
    // The identification only looks whether the reply is in: a short step wastes no line time.
    gate_.stepIntervalMs = kGateStepMs;
    connect(&stepTimer_, &ClockTimer::timeout, this, &PollingRun::tick);
    connect(&cycleTimer_, &ClockTimer::timeout, this, &PollingRun::cycle);
}

PollingRun::~PollingRun() {
    // Whatever happens to the console, the line is not left up.
    if (modem_ && (modem_->busy() || modem_->connected())) modem_->hangUp();
    if (running()) restoreLinkSettings();
    p_.engine.lineUse().pollingRun = false;
}

void PollingRun::setTimersRunning(bool on) {
    if (on) {
        stepTimer_.start(stepIntervalMs);
        cycleTimer_.start(cycleIntervalMs);
    } else {
        stepTimer_.stop();
        cycleTimer_.stop();
    }
}

// --- the point list and the groups ------------------------------------------------------------------

void PollingRun::reloadPoints() {
    planner_.reloadPoints();
    if (selected >= planner_.pointLines().size()) selected = -1;
}

bool PollingRun::setChecked(int index, bool on) {
    if (index < 0 || index >= planner_.checks().size()) return false;
    if (mode_ == PollMode::Group || mode_ == PollMode::Schedule) {
        p_.notifier.message(MessageKind::Warning,
                            QStringLiteral("режим выборочного опроса - группа!!! Коррекция запрещена"));
        return false;
    }
    return planner_.setChecked(index, on);
}

void PollingRun::setAllChecked(bool on) {
    for (int i = 0; i < planner_.checks().size(); ++i)
        setChecked(i, on);
}

void PollingRun::reloadGroups() {
    planner_.reloadGroups();
}

void PollingRun::selectGroup(int index) {
    planner_.selectGroup(index);
}

void PollingRun::buildSchedule(bool rebuild, const QString& changedGroup) {
    planner_.buildSchedule(now(), rebuild, changedGroup);
}

// --- starting and stopping ---------------------------------------------------------------------------

void PollingRun::startMode(PollMode mode) {
    tuning = readPollingTuning(p_.root);
    mode_ = mode;
    stopRequested_ = false;
    if (!settingsSaved_) {
        savedSettings_ = p_.settings;
        savedAddress_ = p_.engine.settings().deviceAddress;
        settingsSaved_ = true;
    }
    p_.engine.lineUse().pollingRun = true;
    step_ = Step::Idle;
    journal_.clearSummaries();
    emit stateChanged();
}

bool PollingRun::startPoint(int index) {
    if (running()) return false;
    if (index < 0 || index >= planner_.pointLines().size()) {
        p_.notifier.message(MessageKind::Warning, QStringLiteral("Не выбран прибор!!!"));
        return false;
    }
    startMode(PollMode::Point);
    planner_.forgetGroupName();
    pointIndex_ = index;
    step_ = Step::Start;
    return true;
}

bool PollingRun::startGroup(int groupIndex, int fromPoint) {
    if (running() || groupIndex < 0 || groupIndex >= planner_.groups().size()) {
        planner_.clearRetrySubset();
        return false;
    }
    planner_.selectGroup(groupIndex);
    planner_.applyRetrySubset();
    if (!planner_.groupHasItems()) {
        p_.notifier.message(MessageKind::Warning, QStringLiteral("группа ") + quoted(planner_.groupName()) +
                                                      QStringLiteral(" нет заданий!!!"));
        return false;
    }
    if (!planner_.checks().contains(true)) {
        p_.notifier.message(MessageKind::Warning, QStringLiteral("группе ") + quoted(planner_.groupName()) +
                                                      QStringLiteral(" нет корректоров!!!"));
        return false;
    }
    journal_.clearResumeFile(planner_.groupFile());
    startMode(PollMode::Group);
    groupFailed_ = false;
    pointsOfGroup_ = 0;
    result(PointResult::GroupStarted);
    listIndex_ = qMax(0, fromPoint);
    step_ = Step::Start;
    return true;
}

bool PollingRun::startSchedule(bool untilStopped) {
    if (running()) return false;
    groupsStamp_ = groupFilesStamp(p_.root);
    buildSchedule(false);
    if (!planner_.schedulePending() && !untilStopped) {
        p_.notifier.message(MessageKind::Information, QStringLiteral("Нет заданий"));
        return false;
    }
    startMode(PollMode::Schedule);
    subState_ = 0;
    return true;
}

bool PollingRun::retryFailed(int groupIndex, const QStringList& identifiers) {
    if (groupIndex < 0 || groupIndex >= planner_.groups().size()) return false;
    const QString name = planner_.groups().at(groupIndex).name.trimmed();
    const QTime t = now().time();
    const int row = openWindowOfGroup(planner_.schedule(), name, t.hour() * 60 + t.minute());
    if (row < 0) {
        p_.notifier.message(MessageKind::Warning, QStringLiteral("окно опроса группы ") + quoted(name) +
                                                      QStringLiteral(" закрыто, повторный опрос невозможен"));
        return false;
    }
    if (identifiers.isEmpty()) {
        p_.notifier.message(MessageKind::Information, QStringLiteral("в группе ") + quoted(name) +
                                                          QStringLiteral(" нет неуспешных приборов"));
        return false;
    }
    const bool scheduleWaiting =
        mode_ == PollMode::Schedule && subState_ == 0 && step_ == Step::Idle && startDelayTicks_ < 0;
    if ((running() && !scheduleWaiting) || p_.engine.busy() || (p_.lineHold && p_.lineHold->held())) {
        p_.notifier.message(MessageKind::Warning, QStringLiteral("линия занята, повторите позже"));
        return false;
    }
    planner_.setRetrySubset(identifiers);
    if (!scheduleWaiting) return startGroup(groupIndex);
    // The group starts as a due row does, on its open window's row, with its failed members alone.
    planner_.takeRow(row);
    subState_ = 1;
    startDelayTicks_ = 2;
    emit stateChanged();
    return true;
}

void PollingRun::stop() {
    if (!running()) {
        p_.notifier.message(MessageKind::Information, QStringLiteral("нет запущенных процессов"));
        return;
    }
    if (mode_ == PollMode::Schedule && step_ == Step::Idle) {
        // Waiting for the next window: nothing is on the line.
        sequenceLine(QStringLiteral("*СТОП ОПРОС*"), LineColour::Black);
        goIdle();
        return;
    }
    if (stopRequested_) return;
    stopRequested_ = true;
    context_.stopRequested = true;
    if (mode_ == PollMode::Group || mode_ == PollMode::Schedule) writeResumeFile();
    switch (step_) {
    case Step::HangUp:
    case Step::HangingUp:
    case Step::Store:
    case Step::NextPoint:
        return; // ending already
    case Step::Idle:
    case Step::Start:
        step_ = Step::NextPoint;
        return;
    default:
        // The request in flight is dropped; the point ends in order from here.
        gate_.stopIdentification();
        p_.engine.abandonRequest();
        if (line_) line_->dropExchange();
        step_ = Step::HangUp;
        return;
    }
}

void PollingRun::goIdle() {
    planner_.releaseRow();
    subState_ = 0;
    startDelayTicks_ = -1; // a due row not yet started is not started after a stop
    mode_ = PollMode::Idle;
    step_ = Step::Idle;
    stopRequested_ = false;
    p_.port.closePort();
    restoreLinkSettings();
    p_.engine.lineUse().pollingRun = false;
    emit stateChanged();
    emit finished();
}

void PollingRun::restoreLinkSettings() {
    if (!settingsSaved_) return;
    p_.settings = savedSettings_;
    settingsSaved_ = false;
    if (p_.applyLinkSettings) p_.applyLinkSettings(savedAddress_);
}

// --- timers ------------------------------------------------------------------------------------------

void PollingRun::reload(const link::LinkSettings& linkSettings) {
    // During a point the line keeps what the point's row set; the new settings come in after the run.
    if (settingsSaved_) savedSettings_ = linkSettings;
    if (!settingsSaved_ || step_ == Step::Idle) p_.settings = linkSettings;
    tuning = readPollingTuning(p_.root);
    if (step_ != Step::Idle || startDelayTicks_ >= 0 || subState_ != 0) {
        groupsStamp_.clear(); // the next check while waiting rebuilds the schedule
        return;
    }
    reloadPoints();
    reloadGroups();
    groupsStamp_ = groupFilesStamp(p_.root);
    buildSchedule(false);
}

void PollingRun::cycle() {
    const QDateTime t = now();
    if (mode_ == PollMode::Schedule) {
        if (subState_ == 0 && step_ == Step::Idle && startDelayTicks_ < 0) {
            if (QByteArray stamp = groupFilesStamp(p_.root); stamp != groupsStamp_) {
                // Another program saved or deleted a group: its join rows were renumbered there, so the
                // schedule is built again as after a restart.
                groupsStamp_ = std::move(stamp);
                reloadPoints();
                reloadGroups();
                buildSchedule(false);
            }
            if (planner_.takeDueRow(t.time().hour() * 60 + t.time().minute())) {
                subState_ = 1;
                startDelayTicks_ = 2;
            }
        }
    }
    if ((subState_ == 0 || mode_ == PollMode::Idle) && step_ == Step::Idle &&
        planner_.schedule().date.isValid() && t.date() != planner_.schedule().date)
        buildSchedule(false);
    emit stateChanged();
}

void PollingRun::tick() {
    // What the user started from the corrector window is let finish before the group takes the line: the
    // whole operation (all requests of a read, a programming run, a call), not only the request in flight.
    if (startDelayTicks_ == 0 && (p_.engine.busy() || (p_.lineHold && p_.lineHold->held())))
        ++startDelayTicks_;
    if (startDelayTicks_ >= 0 && --startDelayTicks_ < 0 && mode_ == PollMode::Schedule &&
        planner_.rowInHand()) {
        const int index = planner_.findGroup(planner_.rowInHand()->group);
        if (index >= 0) planner_.selectGroup(index);
        planner_.applyRetrySubset();
        if (index >= 0 && planner_.groupHasItems()) {
            groupFailed_ = false;
            pointsOfGroup_ = 0;
            result(PointResult::GroupStarted);
            journal_.clearResumeFile(planner_.groupFile());
            listIndex_ = 0;
            step_ = Step::Start;
        } else {
            planner_.finishRow(QStringLiteral("ошибка"), now().time());
            subState_ = 0;
        }
    }
    if (step_ == Step::Dial && dial_) dial_->tick();
    if (modem_) modem_->tick();
    advance();
}

void PollingRun::advance() {
    // Steps that need not wait follow each other at once: a night of hundreds of points must not spend
    // a tick between every two steps.
    for (int i = 0; i < kStepsWithoutWaiting; ++i) {
        const Step before = step_;
        const auto exchange = line_ ? line_->exchange() : SessionLine::Exchange::None;
        const int item = item_;
        const StepStatus status = status_;
        const int begun = stepsBegun_;
        runStep();
        const auto exchangeNow = line_ ? line_->exchange() : SessionLine::Exchange::None;
        if (step_ == before && exchangeNow == exchange && item_ == item && status_ == status &&
            stepsBegun_ == begun)
            return;
    }
}

void PollingRun::advanceSoon() {
    QTimer::singleShot(0, this, &PollingRun::advance);
}

// --- the point machine -------------------------------------------------------------------------------

bool PollingRun::telephone() const {
    return point_ && point_->config[database::config::LinkKind] == QStringLiteral("телефон");
}

QString PollingRun::flagsOfRun() const {
    if (mode_ == PollMode::Point) return point_ ? point_->config[database::config::Flags] : QString();
    return planner_.groupFlags();
}

void PollingRun::runStep() {
    switch (step_) {
    case Step::Idle:
        return;
    case Step::Start:
        stepStart();
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
        if (item_ < item::Service)
            dispatchItem(item_ + 1);
        else
            step_ = Step::Done;
        return;
    case Step::Done:
        result(PointResult::Normal);
        say(QStringLiteral("прибор ") + quoted(pointName_) + QStringLiteral(" опрос завершен"));
        step_ = Step::HangUp;
        return;
    case Step::HangUp:
        beginStep(Step::HangingUp, std::make_unique<HangUpStep>());
        return;
    case Step::Store:
        storeWhatWasRead();
        step_ = Step::NextPoint;
        return;
    case Step::NextPoint:
        nextPointOrEnd();
        return;
    }
}

void PollingRun::beginStep(Step phase, std::unique_ptr<PointStep> step) {
    current_ = std::move(step);
    beginStep(phase, *current_);
}

void PollingRun::beginStep(Step phase, PointStep& step) {
    step_ = phase;
    inHand_ = &step;
    ++stepsBegun_;
    settle(step.start(context_));
}

void PollingRun::driveStep() {
    if (status_ == StepStatus::Waiting) {
        settle(inHand_->poll(context_));
        return;
    }
    if (status_ != StepStatus::Exchange || !line_) return;
    switch (line_->takeExchange(interruptedAfterTicks)) {
    case SessionLine::Exchange::None:
    case SessionLine::Exchange::Pending:
        return;
    case SessionLine::Exchange::Interrupted:
        say(QStringLiteral("прерванный режим чтения"), LineColour::Red);
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

void PollingRun::settle(StepStatus status) {
    status_ = status;
    if (status == StepStatus::Failed)
        fail();
    else if (status == StepStatus::Done)
        stepDone();
}

void PollingRun::stepDone() {
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

void PollingRun::dialEnded() {
    switch (dial_->outcome()) {
    case DialStep::Outcome::Connected:
        beginStep(Step::Version, std::make_unique<VersionStep>());
        return;
    case DialStep::Outcome::DispatcherSilent:
        result(PointResult::DispatcherModemLost);
        // Our own modem is gone: nothing more can be polled. The point's outcome still says why.
        context_.progress.error = QStringLiteral("нет связи с модемом диспетчерской");
        groupFailed_ = true;
        storeWhatWasRead();
        goIdle(); // closes the port and gives a schedule row being polled back to "--"
        return;
    case DialStep::Outcome::NoAnswer:
    case DialStep::Outcome::Dialling:
        result(PointResult::NoModemAnswer);
        step_ = Step::Store;
        return;
    }
}

void PollingRun::dispatchItem(int from) {
    const int next = nextItemOfFlags(flags_, from);
    if (next < 0) {
        step_ = Step::Done;
        return;
    }
    context_.progress.identityConfirmed = true;
    item_ = next;
    std::unique_ptr<PointStep> step;
    if (archiveKindOfItem(next) != 0)
        step = std::make_unique<ArchiveStep>(next);
    else if (next == item::Gas)
        step = std::make_unique<GasStep>();
    else if (next == item::Clock)
        step = std::make_unique<ClockStep>();
    else
        step = std::make_unique<MeasurementStep>();
    beginStep(Step::Item, std::move(step));
}

void PollingRun::stepStart() {
    using namespace database;
    inHand_ = nullptr;
    current_.reset();
    line_.reset();
    modem_.reset();
    status_ = StepStatus::Done;
    pointResult_.clear();
    if (mode_ != PollMode::Point) {
        pointIndex_ = planner_.nextChecked(listIndex_);
        if (pointIndex_ < 0) {
            endGroup();
            return;
        }
    }
    const QString line = planner_.pointLines().value(pointIndex_);
    ++pointsOfGroup_;
    identifier_ = line.right(10).trimmed();
    pointName_ = line.left(20);
    context_ = {};
    context_.clock = &p_.clock;
    context_.identifier = identifier_;
    context_.pointName = pointName_;
    context_.lastStored = &lastStored_;
    context_.say = [this](const QString& text, LineColour colour) { say(text, colour); };
    context_.changed = [this] { emit stateChanged(); };
    context_.gasNamed = [this](const QString& name) { return gasNamed(p_.root, p_.schemas, name); };
    emit stateChanged();
    Registry registry(p_.root, p_.schemas);
    point_ = registry.ok() ? std::optional<Point>(registry.find(identifier_)) : std::nullopt;
    if (!point_) {
        fail();
        return;
    }
    context_.point = &*point_;
    context_.additionalRecordCheck = tuning.additionalRecordCheck;
    lastStored_ = lastStoredSummary(p_.root, p_.schemas, identifier_);
    flags_ = flagsOfRun();
    item_ = item::Hourly;
    result(PointResult::PointStarted);
    const QString kind = point_->config[config::LinkKind];
    if (kind != QStringLiteral("прямое соединение") && kind != QStringLiteral("телефон")) {
        result(PointResult::NoLinkKind);
        step_ = Step::Store;
        return;
    }
    if (nextItemOfFlags(flags_, item::Hourly) < 0) {
        result(PointResult::NoItems);
        step_ = Step::Store;
        return;
    }
    const bool phone = telephone();
    if (phone && point_->config[config::Phone].trimmed().isEmpty()) {
        result(PointResult::NoPhoneNumber);
        step_ = Step::Store;
        return;
    }
    if (const QString refused = link::phoneNumberRefusal(point_->config[config::Phone], language_);
        phone && !refused.isEmpty()) {
        // A number that is not a dial string is no number to call: said why, then as without one.
        say(refused, LineColour::Red);
        context_.progress.error = refused;
        result(PointResult::NoPhoneNumber);
        step_ = Step::Store;
        return;
    }
    if (!openLine()) return;
    if (!phone) {
        beginStep(Step::Version, std::make_unique<VersionStep>());
        return;
    }
    dial_ = std::make_unique<DialStep>(point_->config[config::ModemRepeats].toInt(), p_.settings.modemInit);
    emit stateChanged();
    beginStep(Step::Dial, *dial_);
}

bool PollingRun::openLine() {
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

    line_ = std::make_unique<SessionLine>(
        SessionLine::Parts{p_.engine, p_.port, p_.settings, p_.notifier, gate_, readRun_, p_.root, p_.schemas,
                           p_.clock, point_->address, language_, p_.volumeDecimals, afterWriteDelayMs});
    context_.line = line_.get();
    connect(line_.get(), &SessionLine::reported, this, &PollingRun::advanceSoon);
    connect(line_.get(), &SessionLine::pageAccepted, this, [this] {
        if (auto* archive = dynamic_cast<ArchiveStep*>(current_.get()); archive && step_ == Step::Item)
            archive->pageRead(context_);
    });

    p_.port.closePort();
    if (!p_.port.applyAndOpen(p_.settings)) {
        say(QStringLiteral("ошибка порта!!! ") + s.corrPort, LineColour::Red);
        fail(QStringLiteral("ошибка порта!!! ") + s.corrPort);
        return false;
    }
    if (!telephone()) return true;
    modem_ = std::make_unique<SessionModem>(
        p_.engine, p_.port, stepIntervalMs, p_.clock, context_.progress,
        [this](const QString& text, bool error) { say(text, error ? LineColour::Red : LineColour::Black); });
    context_.modem = modem_.get();
    connect(modem_.get(), &SessionModem::lineChanged, this, &PollingRun::stateChanged);
    return true;
}

void PollingRun::fail(const QString& error) {
    PointProgress& progress = context_.progress;
    if (!error.isEmpty() && progress.error.isEmpty()) progress.error = error;
    if (progress.error.isEmpty()) {
        progress.error = QStringLiteral("нет связи с прибором");
        say(progress.error, LineColour::Red);
    }
    if (line_) line_->dropExchange();
    result(PointResult::ExchangeFailed);
    step_ = Step::HangUp;
}

void PollingRun::storeWhatWasRead() {
    StoreStep store(line_.get(), telephone(), askedItemFlags(flags_, mode_), pointResult_);
    store.start(context_);
    journal_.addSummary(store.summary());
    emit pointEnded();
}

void PollingRun::nextPointOrEnd() {
    p_.port.closePort();
    if (stopRequested_) {
        sequenceLine(QStringLiteral("*СТОП ОПРОС*"), LineColour::Black);
        goIdle();
        return;
    }
    if (mode_ == PollMode::Point) {
        goIdle();
        return;
    }
    listIndex_ = pointIndex_ + 1;
    step_ = Step::Start;
}

void PollingRun::endGroup() {
    sequenceLine(QStringLiteral("*СТОП*  группы   - ") + quoted(planner_.groupName()), LineColour::Black);
    // A group that had no point to poll did nothing: that is no success.
    if (pointsOfGroup_ == 0) groupFailed_ = true;
    const QString verdict = groupFailed_ ? QStringLiteral("ошибка") : QStringLiteral("норма");
    const QDateTime t = now();
    if (const QString e = journal_.writeGroupRow(place(), t, planner_.groupName(), verdict); !e.isEmpty())
        say(e, LineColour::Red);
    if (mode_ == PollMode::Schedule)
        planner_.finishRow(verdict, t.time());
    else
        planner_.forgetRow();
    subState_ = 0;
    line_.reset();
    context_.line = nullptr;
    context_.modem = nullptr;
    modem_.reset();
    if (mode_ == PollMode::Group) {
        goIdle();
        return;
    }
    step_ = Step::Idle;
    p_.port.closePort();
    emit stateChanged();
}

void PollingRun::result(PointResult outcome) {
    const PointResultInfo r = pointResultInfo(outcome, planner_.groupName(), pointName_,
                                              point_ ? point_->config[database::config::Phone] : QString());
    sequenceLine(r.line, r.colour);
    if (r.join.isEmpty()) return;
    pointResult_ = r.join;
    if (outcome != PointResult::Normal) groupFailed_ = true;
    writeJoin(r.join);
    // The point ends here without reaching the line: its summary says why.
    if (r.beforeLine) context_.progress.error = r.join;
}

void PollingRun::writeJoin(const QString& resultText) {
    const QString e = journal_.writePointRow(place(), now(), planner_.groupName(), identifier_,
                                             point_ ? &*point_ : nullptr, resultText);
    if (!e.isEmpty()) say(e, LineColour::Red);
}

void PollingRun::writeResumeFile() {
    journal_.writeResumeFile(planner_.groupFile(), planner_.groupName(),
                             planner_.pointLines().value(pointIndex_), identifier_);
}

void PollingRun::say(const QString& text, LineColour colour) {
    emit message(now().toString(QStringLiteral("HH:mm:ss")) + QStringLiteral(" * ") + text, colour);
    if (colour == LineColour::Red && tuning.alarmSignalling) emit alarm();
}

void PollingRun::sequenceLine(const QString& text, LineColour colour) {
    emit sequence(now().toString(QStringLiteral("HH:mm:ss")) + QLatin1Char(' ') + text, colour);
    if (colour == LineColour::Red && tuning.alarmSignalling) emit alarm();
}

} // namespace tarn::polling
