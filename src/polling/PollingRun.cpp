#include "polling/PollingRun.h"
#include "polling/TextCells.h"

#include "common/Language.h"
#include "database/JoinTable.h"
#include "polling/DayBoard.h"
#include "polling/GroupStart.h"

#include <utility>

namespace tarn::polling {

namespace {

constexpr int kStepsWithoutWaiting = 64;

} // namespace

PollingRun::PollingRun(Parts parts, int languageIndex, QObject* parent)
    : QObject(parent), p_(std::move(parts)),
      folderGroups_(p_.groups ? nullptr : std::make_unique<database::FolderGroupFiles>(p_.root)),
      groupFiles_(p_.groups ? p_.groups : folderGroups_.get()), language_(languageIndex) {
    PointMachine::Hooks hooks;
    hooks.say = [this](const QString& text, LineColour colour) { say(text, colour); };
    hooks.result = [this](PointResult outcome) { return result(outcome); };
    hooks.stored = [this](const PointSummary& summary) {
        journal_.addSummary(summary);
        emit pointEnded();
    };
    hooks.ended = [this](bool ownModemLost) { pointEndedWith(ownModemLost); };
    hooks.changed = [this] { emit stateChanged(); };
    hooks.mayStore = [this] { return keepClaimForStore(); };
    machine_ = std::make_unique<PointMachine>(static_cast<const PointMachine::Parts&>(p_), std::move(hooks),
                                              languageIndex);
    connect(machine_.get(), &PointMachine::reported, this, &PollingRun::advanceSoon);
    connect(&stepTimer_, &ClockTimer::timeout, this, &PollingRun::tick);
    connect(&cycleTimer_, &ClockTimer::timeout, this, &PollingRun::cycle);
}

PollingRun::~PollingRun() {
    // Whatever happens to the console, the line is not left up.
    machine_.reset();
    endClaim(false);
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
    // Refused, the run's storage is no longer the program's: the list stays as it was last read.
    if (!startsRefused_.isEmpty()) return;
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
    if (!startsRefused_.isEmpty()) return;
    planner_.reloadGroups();
}

void PollingRun::selectGroup(int index) {
    planner_.selectGroup(index);
}

void PollingRun::buildSchedule(bool rebuild, const QString& changedGroup) {
    if (!startsRefused_.isEmpty()) return;
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

bool PollingRun::lineTaken() const {
    return p_.engine.busy() || (p_.lineHold && p_.lineHold->held());
}

void PollingRun::tellLineTaken() {
    p_.notifier.message(MessageKind::Warning, QStringLiteral("линия занята, повторите позже"));
}

bool PollingRun::refuseWithoutClaims() {
    const QString& why = startsRefused_.isEmpty() ? p_.claimsUnavailable : startsRefused_;
    if (why.isEmpty()) return false;
    p_.notifier.message(MessageKind::Error, why);
    return true;
}

void PollingRun::refuseStarts(const QString& why) {
    startsRefused_ = why;
    if (why.isEmpty()) return;
    if (running()) stop();
    if (!heldElsewhere_.isEmpty()) {
        heldElsewhere_.clear();
        ++heldElsewhereRevision_;
    }
}

bool PollingRun::startPoint(int index) {
    if (running()) return false;
    if (index < 0 || index >= planner_.pointLines().size()) {
        p_.notifier.message(MessageKind::Warning, QStringLiteral("Не выбран прибор!!!"));
        return false;
    }
    if (refuseWithoutClaims()) return false;
    // A user's read or programming run from the corrector window holds the line between its requests too;
    // a poll started now would put its requests between them.
    if (lineTaken()) {
        tellLineTaken();
        return false;
    }
    if (!claimPointByHand(index)) return false;
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
    if (refuseWithoutClaims()) {
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
    if (lineTaken()) {
        tellLineTaken();
        planner_.clearRetrySubset();
        return false;
    }
    journal_.clearResumeFile(planner_.groupFile());
    startMode(PollMode::Group);
    groupFailed_ = false;
    pointsOfGroup_ = 0;
    pointsLeftToOthers_ = 0;
    result(PointResult::GroupStarted);
    listIndex_ = qMax(0, fromPoint);
    step_ = Step::Start;
    return true;
}

bool PollingRun::startSchedule(bool untilStopped) {
    if (running()) return false;
    if (refuseWithoutClaims()) return false;
    groupsStamp_ = groupFilesStamp(*groupFiles_);
    buildSchedule(false);
    if (!planner_.schedulePending() && !untilStopped) {
        p_.notifier.message(MessageKind::Information, QStringLiteral("Нет заданий"));
        return false;
    }
    startMode(PollMode::Schedule);
    schedule_ = ScheduleState::Waiting;
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
    if (refuseWithoutClaims()) return false;
    const bool scheduleWaiting = mode_ == PollMode::Schedule && schedule_ == ScheduleState::Waiting &&
                                 step_ == Step::Idle && startDelayTicks_ < 0;
    if ((running() && !scheduleWaiting) || lineTaken()) {
        tellLineTaken();
        return false;
    }
    planner_.setRetrySubset(identifiers);
    if (!scheduleWaiting) {
        retrying_ = startGroup(groupIndex);
        return retrying_;
    }
    // The group starts as a due row does, on its open window's row, with its failed members alone.
    retrying_ = true;
    planner_.takeRow(row);
    schedule_ = ScheduleState::Polling;
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
    if (mode_ == PollMode::Group || mode_ == PollMode::Schedule) writeResumeFile();
    if (step_ == Step::Point)
        machine_->stop();
    else if (step_ != Step::NextPoint)
        step_ = Step::NextPoint;
}

void PollingRun::goIdle() {
    endClaim(false);
    retrying_ = false;
    planner_.releaseRow();
    schedule_ = ScheduleState::Waiting;
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
    if (step_ != Step::Idle || startDelayTicks_ >= 0 || schedule_ != ScheduleState::Waiting) {
        groupsStamp_.clear(); // the next check while waiting rebuilds the schedule
        return;
    }
    reloadPoints();
    reloadGroups();
    groupsStamp_ = groupFilesStamp(*groupFiles_);
    buildSchedule(false);
}

void PollingRun::cycle() {
    // Refused (the program's database changed under the run): once the point in hand has ended, nothing
    // here reads the old database again, not even the next day's schedule.
    if (!startsRefused_.isEmpty() && !running()) {
        emit stateChanged();
        return;
    }
    const QDateTime t = now();
    if (mode_ == PollMode::Schedule) {
        if (schedule_ == ScheduleState::Waiting && step_ == Step::Idle && startDelayTicks_ < 0) {
            if (QByteArray stamp = groupFilesStamp(*groupFiles_); stamp != groupsStamp_) {
                // Another program saved or deleted a group: its join rows were renumbered there, so the
                // schedule is built again as after a restart.
                groupsStamp_ = std::move(stamp);
                reloadPoints();
                reloadGroups();
                buildSchedule(false);
            }
            if (planner_.takeDueRow(t.time().hour() * 60 + t.time().minute())) {
                schedule_ = ScheduleState::Polling;
                startDelayTicks_ = 2;
            }
        }
    }
    if ((schedule_ == ScheduleState::Waiting || mode_ == PollMode::Idle) && step_ == Step::Idle &&
        planner_.schedule().date.isValid() && t.date() != planner_.schedule().date)
        buildSchedule(false);
    refreshHeldElsewhere();
    emit stateChanged();
}

void PollingRun::tick() {
    // What the user started from the corrector window is let finish before the group takes the line: the
    // whole operation (all requests of a read, a programming run, a call), not only the request in flight.
    if (startDelayTicks_ == 0 && lineTaken()) ++startDelayTicks_;
    if (startDelayTicks_ >= 0 && --startDelayTicks_ < 0 && mode_ == PollMode::Schedule &&
        planner_.rowInHand()) {
        const int index = planner_.findGroup(planner_.rowInHand()->group);
        if (index >= 0) planner_.selectGroup(index);
        planner_.applyRetrySubset();
        if (index >= 0 && planner_.groupHasItems()) {
            groupFailed_ = false;
            pointsOfGroup_ = 0;
            pointsLeftToOthers_ = 0;
            result(PointResult::GroupStarted);
            journal_.clearResumeFile(planner_.groupFile());
            listIndex_ = 0;
            step_ = Step::Start;
        } else {
            planner_.finishRow(QStringLiteral("ошибка"), now().time());
            schedule_ = ScheduleState::Waiting;
        }
    }
    if (!claimedPoint_.isEmpty() && now() >= renewClaimAt_) renewClaim();
    machine_->tick();
    advance();
}

void PollingRun::advance() {
    // Steps that need not wait follow each other at once: a night of hundreds of points must not spend
    // a tick between every two steps.
    for (int i = 0; i < kStepsWithoutWaiting; ++i) {
        if (!runStep()) return;
    }
}

void PollingRun::advanceSoon() {
    QTimer::singleShot(0, this, &PollingRun::advance);
}

// --- the points -------------------------------------------------------------------------------------

bool PollingRun::runStep() {
    const Step before = step_;
    switch (step_) {
    case Step::Idle:
        break;
    case Step::Start:
        stepStart();
        break;
    case Step::Point:
        if (machine_->turn()) return true;
        break;
    case Step::NextPoint:
        nextPointOrEnd();
        break;
    }
    return step_ != before;
}

void PollingRun::stepStart() {
    if (mode_ == PollMode::Point) {
        beginPoint();
        return;
    }
    for (;;) {
        pointIndex_ = planner_.nextChecked(listIndex_);
        if (pointIndex_ < 0) {
            endGroup();
            return;
        }
        if (takePoint()) {
            beginPoint();
            return;
        }
        listIndex_ = pointIndex_ + 1;
    }
}

void PollingRun::beginPoint() {
    ++pointsOfGroup_;
    step_ = Step::Point;
    machine_->begin(planner_.pointLines().value(pointIndex_), mode_, planner_.groupFlags(),
                    {stepIntervalMs, interruptedAfterTicks, afterWriteDelayMs, tuning.additionalRecordCheck});
}

bool PollingRun::takePoint() {
    const QString line = planner_.pointLines().value(pointIndex_);
    const QString identifier = line.right(10).trimmed();
    if (!onOurPort(identifier)) {
        ++pointsLeftToOthers_;
        return false;
    }
    const QString window = claimWindow();
    const database::ClaimAnswer answer = claims().claim(identifier, window);
    const QString name = quoted(line.left(20));
    // A point whose claim is being taken at this very moment has no holder to name yet.
    const QString holder =
        answer.holder.isEmpty() ? uaRu(language_, "інший опитувач", "другой опросчик") : answer.holder;
    switch (answer.outcome) {
    case database::ClaimAnswer::Outcome::Granted:
        claimedPoint_ = identifier;
        claimedWindow_ = window;
        renewClaimAt_ = now().addSecs(qMax(1, claims().leaseSeconds() / 3));
        return true;
    case database::ClaimAnswer::Outcome::Held:
        ++pointsLeftToOthers_;
        sequenceLine(uaRu(language_, "*ЗАЙНЯТО* прилад - ", "*ЗАНЯТО* прибор - ") + name +
                         uaRu(language_, " опитує ", " опрашивает ") + holder,
                     LineColour::Black);
        return false;
    case database::ClaimAnswer::Outcome::PolledInWindow:
        ++pointsLeftToOthers_;
        sequenceLine(uaRu(language_, "*ОПИТАНО* прилад - ", "*ОПРОШЕН* прибор - ") + name +
                         uaRu(language_, " у цьому вікні: ", " в этом окне: ") + holder,
                     LineColour::Black);
        return false;
    case database::ClaimAnswer::Outcome::Failed:
        // Without the claims nothing keeps two pollers off one corrector: the point is not dialled.
        groupFailed_ = true;
        sequenceLine(uaRu(language_, "*СТОП*  прилад - ", "*СТОП*  прибор - ") + name +
                         uaRu(language_, " не вдалося зайняти: ", " не удалось занять: ") + answer.error,
                     LineColour::Red);
        return false;
    }
    return false;
}

bool PollingRun::onOurPort(const QString& identifier) const {
    if (ports.isEmpty()) return true;
    database::Registry registry(p_.root, p_.storage);
    const database::PointLookup point =
        registry.ok() ? registry.find(identifier) : database::PointLookup::failed(registry.error());
    // A point the registry cannot give is the point machine's to report, on whichever poller meets it.
    if (!point) return true;
    const QString port = point->config[database::config::Port].trimmed();
    for (const QString& ours : ports)
        if (ours.trimmed().compare(port, Qt::CaseInsensitive) == 0) return true;
    return false;
}

QString PollingRun::claimWindow() const {
    const ScheduleRow* row = planner_.rowInHand();
    if (mode_ != PollMode::Schedule || retrying_ || !row) return {};
    return planner_.schedule().date.toString(Qt::ISODate) + QLatin1Char(' ') + row->group.trimmed() +
           QLatin1Char(' ') + row->begin + QLatin1Char('-') + row->end;
}

void PollingRun::renewClaim() {
    renewClaimAt_ = now().addSecs(qMax(1, claims().leaseSeconds() / 3));
    if (claims().renew(claimedPoint_)) return;
    // Another poller has the point now (our lease ran out) or we cannot tell: either way polling it on
    // would have two pollers store it. It ends in order, hung up, with nothing stored.
    tellClaimLost();
    claimedPoint_.clear();
    machine_->abandon();
}

bool PollingRun::keepClaimForStore() {
    if (claimedPoint_.isEmpty()) return false;
    if (claims().renew(claimedPoint_)) {
        renewClaimAt_ = now().addSecs(qMax(1, claims().leaseSeconds() / 3));
        return true;
    }
    tellClaimLost();
    claimedPoint_.clear();
    return false;
}

void PollingRun::tellClaimLost() {
    say(uaRu(language_, "прилад ", "прибор ") + quoted(machine_->pointName()) +
            uaRu(language_, ": зайняття не продовжено", ": занятие не продлено"),
        LineColour::Red);
}

bool PollingRun::claimPointByHand(int index) {
    const QString line = planner_.pointLines().value(index);
    const QString identifier = line.right(10).trimmed();
    // A point by itself belongs to no polling window: only another poller's live claim stands in the way.
    const database::ClaimAnswer answer = claims().claim(identifier, {});
    switch (answer.outcome) {
    case database::ClaimAnswer::Outcome::Granted:
        claimedPoint_ = identifier;
        claimedWindow_.clear();
        renewClaimAt_ = now().addSecs(qMax(1, claims().leaseSeconds() / 3));
        return true;
    case database::ClaimAnswer::Outcome::Held:
    case database::ClaimAnswer::Outcome::PolledInWindow:
        p_.notifier.message(MessageKind::Warning, pollingBusyText(language_));
        sequenceLine(uaRu(language_, "*ЗАЙНЯТО* прилад - ", "*ЗАНЯТО* прибор - ") + quoted(line.left(20)) +
                         uaRu(language_, " опитує ", " опрашивает ") +
                         (answer.holder.isEmpty() ? uaRu(language_, "інший опитувач", "другой опросчик")
                                                  : answer.holder),
                     LineColour::Black);
        return false;
    case database::ClaimAnswer::Outcome::Failed:
        p_.notifier.message(MessageKind::Error,
                            uaRu(language_, "прилад ", "прибор ") + quoted(line.left(20)) +
                                uaRu(language_, " не вдалося зайняти: ", " не удалось занять: ") +
                                answer.error);
        return false;
    }
    return false;
}

QString PollingRun::pointListText(int index) const {
    const QString line = planner_.pointLines().value(index);
    const QString holder = heldElsewhere_.value(line.right(10).trimmed());
    if (holder.isEmpty()) return line;
    return line + QStringLiteral("  ") + pollingBusyText(language_) + QStringLiteral("  ") + holder;
}

void PollingRun::refreshHeldElsewhere() {
    // Only a server's claims have other pollers to ask about, and only while they are the program's.
    if (!p_.claims || !startsRefused_.isEmpty()) return;
    QHash<QString, QString> held = p_.claims->heldByOthers();
    if (held == heldElsewhere_) return;
    heldElsewhere_ = std::move(held);
    ++heldElsewhereRevision_;
}

QString PollingRun::heldElsewhere(int index) const {
    if (index < 0 || index >= planner_.pointLines().size() || !startsRefused_.isEmpty()) return {};
    return claims().holder(planner_.pointLines().at(index).right(10).trimmed());
}

void PollingRun::endClaim(bool polled) {
    if (claimedPoint_.isEmpty()) return;
    const QString point = std::exchange(claimedPoint_, QString());
    if (polled)
        claims().finish(point, claimedWindow_);
    else
        claims().release(point);
}

void PollingRun::pointEndedWith(bool ownModemLost) {
    // What was read is stored by now: the point counts as polled only after its store has committed. A
    // stopped point or one whose call our own modem lost is given back for another poller to poll.
    endClaim(!ownModemLost && !stopRequested_);
    if (!ownModemLost) {
        step_ = Step::NextPoint;
        return;
    }
    groupFailed_ = true;
    goIdle(); // closes the port and gives a schedule row being polled back to "--"
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
    // Points left to other pollers are theirs to poll and to fail.
    if (pointsOfGroup_ == 0 && pointsLeftToOthers_ == 0) groupFailed_ = true;
    const QString verdict = groupFailed_ ? QStringLiteral("ошибка") : QStringLiteral("норма");
    const QDateTime t = now();
    if (const QString e = journal_.writeGroupRow(place(), t, planner_.groupName(), verdict); !e.isEmpty())
        say(e, LineColour::Red);
    if (mode_ == PollMode::Schedule)
        planner_.finishRow(verdict, t.time());
    else
        planner_.forgetRow();
    schedule_ = ScheduleState::Waiting;
    retrying_ = false;
    machine_->release();
    if (mode_ == PollMode::Group) {
        goIdle();
        return;
    }
    step_ = Step::Idle;
    p_.port.closePort();
    emit stateChanged();
}

PointResultInfo PollingRun::result(PointResult outcome) {
    const database::Point* point = machine_->point();
    const PointResultInfo r = pointResultInfo(outcome, planner_.groupName(), machine_->pointName(),
                                              point ? point->config[database::config::Phone] : QString());
    sequenceLine(r.line, r.colour);
    if (r.join.isEmpty()) return r;
    if (outcome != PointResult::Normal) groupFailed_ = true;
    writeJoin(r.join);
    return r;
}

void PollingRun::writeJoin(const QString& resultText) {
    const QString e = journal_.writePointRow(place(), now(), planner_.groupName(), machine_->identifier(),
                                             machine_->point(), resultText);
    if (!e.isEmpty()) say(e, LineColour::Red);
}

void PollingRun::writeResumeFile() {
    journal_.writeResumeFile(planner_.groupFile(), planner_.groupName(),
                             planner_.pointLines().value(pointIndex_), machine_->identifier());
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
