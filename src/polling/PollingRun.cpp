#include "polling/PollingRun.h"

#include "link/PhoneNumber.h"

#include "common/TuningFiles.h"
#include "corrector/Blocks.h"
#include "corrector/CorrectorWindowModel.h"
#include "corrector/ItemTable.h"
#include "corrector/StoreReading.h"
#include "database/JoinTable.h"
#include "polling/DayBoard.h"
#include "polling/GroupStart.h"

namespace tarn::polling {

namespace {

constexpr int kTicksPerSecond = link::ModemMachine::kTicksPerSecond;
constexpr int kStepsWithoutWaiting = 64;
constexpr int kGateStepMs = 5;

QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

PollingTuning readPollingTuning(const DataRoot& root) {
    const Tuning t = loadTuning(root);
    PollingTuning tuning;
    tuning.alarmSignalling = t.alarm;
    tuning.sound = t.sound;
    tuning.checkTablesAtStart = t.rebuildAtStart;
    tuning.additionalRecordCheck = t.extraRecordCheck;
    return tuning;
}

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
    if (mode_ == PollMode::Group || mode_ == PollMode::Schedule) writeResumeFile();
    switch (step_) {
    case Step::HangUp:
    case Step::HangUpWait:
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
        exchange_ = Exchange::None;
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
    if (step_ == Step::DialWait) ++dialTicks_;
    if (modem_ && modem_->lineUp() && log_.connectionBegin.isValid())
        connectionSeconds_ = static_cast<int>(log_.connectionBegin.msecsTo(now()) / 1000);
    advance();
}

void PollingRun::advance() {
    // Steps that need not wait follow each other at once: a night of hundreds of points must not spend
    // a tick between every two steps.
    for (int i = 0; i < kStepsWithoutWaiting; ++i) {
        const Step before = step_;
        const Exchange exchange = exchange_;
        const int item = item_;
        runStep();
        if (step_ == before && exchange_ == exchange && item_ == item) return;
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

bool PollingRun::exchangeDone() {
    if (exchange_ == Exchange::Pending && itemExchange_ && session_ &&
        !session_->model().itemTransferPending()) {
        exchange_ = session_->model().lastItem().result == corrector::ItemOutcome::Result::Done
                        ? Exchange::Done
                        : Exchange::Failed;
    }
    if (exchange_ == Exchange::Pending) {
        // A request the engine no longer holds (it was dropped under us) would keep the point for good.
        const bool engineIdle = !p_.engine.busy() && !gate_.identifying();
        idleTicks_ = engineIdle ? idleTicks_ + 1 : 0;
        if (idleTicks_ > interruptedAfterTicks) {
            say(QStringLiteral("прерванный режим чтения"), LineColour::Red);
            exchange_ = Exchange::None;
            fail(QStringLiteral("прерванный режим чтения"));
        }
        return false;
    }
    if (exchange_ == Exchange::Failed) {
        exchange_ = Exchange::None;
        fail();
        return false;
    }
    if (exchange_ == Exchange::Done) {
        exchange_ = Exchange::None;
        return true;
    }
    return false;
}

void PollingRun::startItemExchange(const std::function<bool()>& start) {
    itemExchange_ = true;
    startExchange();
    if (!start()) exchange_ = Exchange::Failed;
}

void PollingRun::runStep() {
    using corrector::read_kind::Clock;
    using corrector::read_kind::Measurement;
    switch (step_) {
    case Step::Idle:
        return;
    case Step::Start:
        stepStart();
        return;
    case Step::Dial: {
        if (p_.port.linkBroken()) {
            fail(QStringLiteral("ошибка порта!!! ") + point_->config[database::config::Port]);
            return;
        }
        const QString phone = point_->config[database::config::Phone];
        say(QStringLiteral("запрос телефона - ") + quoted(phone) + QStringLiteral(" -> ") + pointName_);
        link::ModemJob job;
        job.phone = phone;
        job.init = point_->config[database::config::InitString].isEmpty()
                       ? p_.settings.modemInit
                       : point_->config[database::config::InitString];
        job.dialTimeoutSec = qMax(1, point_->config[database::config::WaitS].toInt());
        job.name = pointName_.trimmed();
        modem_->call(job);
        dialTicks_ = 0;
        step_ = Step::DialWait;
        return;
    }
    case Step::DialWait:
        if (modem_->busy()) return;
        if (modem_->connected()) {
            step_ = Step::Version;
            return;
        }
        if (modem_->machine().dispatcherSilent()) {
            result(PointResult::DispatcherModemLost);
            // Our own modem is gone: nothing more can be polled. The point's outcome still says why.
            error_ = QStringLiteral("нет связи с модемом диспетчерской");
            groupFailed_ = true;
            storeWhatWasRead();
            goIdle(); // closes the port and gives a schedule row being polled back to "--"
            return;
        }
        if (--redialsLeft_ > 0 && !stopRequested_) {
            pauseTicks_ = 0;
            say(QStringLiteral("ожидаем ") + point_->config[database::config::PauseS].trimmed() +
                QStringLiteral("сек. следующий набор номера"));
            step_ = Step::RedialPause;
        } else {
            result(PointResult::NoModemAnswer);
            step_ = Step::Store;
        }
        emit stateChanged();
        return;
    case Step::RedialPause:
        if (++pauseTicks_ > point_->config[database::config::PauseS].toInt() * kTicksPerSecond) {
            pauseTicks_ = 0;
            step_ = Step::Dial;
        }
        return;
    case Step::Version:
        if (p_.port.linkBroken()) {
            fail(QStringLiteral("ошибка порта!!! ") + point_->config[database::config::Port]);
            return;
        }
        // The corrector's items go over the call now up (the model refuses them on a modem line without one).
        session_->model().setModemConnected(p_.engine.lineUse().modemConnected);
        say(QStringLiteral("начало опроса  - > ") + quoted(pointName_));
        say(QStringLiteral("контроль версии"));
        itemExchange_ = false;
        startExchange();
        gate_.startIdentification(corrector::IdentificationMode::Polling);
        step_ = Step::VersionBlock;
        return;
    case Step::VersionBlock:
        // The corrector proved itself by its identification; its version block names its family.
        if (!exchangeDone()) return;
        dataRead_ = true;
        session_->model().ClearWindow();
        session_->model().setIdentification(gate_.identification());
        session_->model().setProfile(gate_.profile());
        itemExchange_ = false;
        startExchange();
        session_->link().readBlock(corrector::read_kind::Version, corrector::kVersionBlock);
        step_ = Step::Parameters;
        return;
    case Step::Parameters:
        if (!exchangeDone()) return;
        say(QStringLiteral("параметры прибора"));
        itemExchange_ = false;
        startExchange();
        session_->model().StartFullRead();
        step_ = Step::Identity;
        return;
    case Step::Identity: {
        if (!exchangeDone()) return;
        const auto& model = session_->model();
        const database::StoreContext c =
            corrector::storeContextFor(model.reading(), language_, database::SourceKind::PolledByCable, {});
        if (c.identifier != identifier_) {
            say(QStringLiteral("Err: номер корр. в БД ") + quoted(pointName_) + QStringLiteral(" чт. ") +
                    quoted(c.model + QStringLiteral(" №") + c.serial),
                LineColour::Red);
            fail(QStringLiteral("ном.выз.прибора не равен ном.в БД"));
            return;
        }
        dispatchItem(item_);
        return;
    }
    case Step::ArchiveCheck:
        if (!exchangeDone()) return;
        archiveCheckDone();
        return;
    case Step::ArchiveRead:
        if (!exchangeDone()) return;
        kindsRead_.append(archiveKindOfItem(item_));
        step_ = Step::NextItem;
        return;
    case Step::ClockRead:
        say(QStringLiteral("коррекция текущего времени"));
        if (point_->config[database::config::Password].trimmed().isEmpty()) {
            say(QStringLiteral("нет пароля для коррекции параметров!!! "), LineColour::Red);
            fail(QStringLiteral("нет пароля для коррекц. парам."));
            return;
        }
        say(QStringLiteral("коррекция времени - чт.текущ.время корректора"));
        itemExchange_ = false;
        startExchange();
        session_->link().readBlock(Clock, corrector::kClockBlock);
        step_ = Step::ClockCompared;
        return;
    case Step::ClockCompared:
        if (!exchangeDone()) return;
        clockCompared();
        return;
    case Step::ClockWrite:
        if (!exchangeDone()) return;
        if (!passwordSent_) {
            passwordSent_ = true;
            say(QStringLiteral("коррекция времени - зап. коррекции времени"));
            startItemExchange([this] {
                auto& model = session_->model();
                return model.WriteItem(18, QString::number(clockCorrection_),
                                       corrector::ItemCaption(18, model.reading().profile, language_), false);
            });
            return;
        }
        clockCorrected_ = true;
        log_.clockChecked = now();
        say(QStringLiteral("параметры прибора"));
        itemExchange_ = false;
        startExchange();
        session_->model().StartFullRead();
        step_ = Step::ClockReread;
        return;
    case Step::ClockReread:
    case Step::GasReread:
        if (!exchangeDone()) return;
        if (step_ == Step::GasReread) {
            log_.gasChecked = now();
            gasWritten_ = true;
        }
        step_ = Step::NextItem;
        return;
    case Step::GasStart:
        gasStart();
        return;
    case Step::GasWrite:
        if (!exchangeDone()) return;
        gasNextWrite();
        return;
    case Step::MeasurementRead:
        if (exchange_ == Exchange::None) {
            say(QStringLiteral("мгновенные"));
            itemExchange_ = false;
            startExchange();
            session_->link().readBlock(Measurement, corrector::kMeasurementBlock);
            return;
        }
        if (!exchangeDone()) return;
        measured_ = true;
        kindsRead_.append(Measurement);
        step_ = Step::NextItem;
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
        if (modem_ && (modem_->busy() || modem_->connected())) {
            modem_->hangUp();
            step_ = Step::HangUpWait;
            return;
        }
        step_ = Step::Store;
        return;
    case Step::HangUpWait:
        if (modem_->busy()) return;
        // A call that came up was timed when its line went down; one that never did ends now.
        if (!log_.connectionEnd.isValid()) log_.connectionEnd = now();
        log_.connectionSeconds = connectionSeconds_;
        step_ = Step::Store;
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

void PollingRun::stepStart() {
    using namespace database;
    session_.reset();
    modem_.reset();
    dataRead_ = identityConfirmed_ = gasWritten_ = clockCorrected_ = measured_ = false;
    error_.clear();
    log_ = {};
    kindsRead_.clear();
    exchange_ = Exchange::None;
    connectionSeconds_ = 0;
    clockCorrection_ = 0;
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
    emit stateChanged();
    Registry registry(p_.root, p_.schemas);
    point_ = registry.ok() ? std::optional<Point>(registry.find(identifier_)) : std::nullopt;
    if (!point_) {
        fail();
        return;
    }
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
        error_ = refused;
        result(PointResult::NoPhoneNumber);
        step_ = Step::Store;
        return;
    }

    // The line as the point's row says: its port, speed, reply time-out and repeats.
    link::LinkSettings& s = p_.settings;
    s.corrPort = point_->config[config::Port];
    if (!point_->config[config::Speed].isEmpty()) s.speed = point_->config[config::Speed];
    if (const int t = point_->config[config::TimeoutMs].toInt(); t > 0) s.replyTimeoutMs = t;
    if (const int r = point_->config[config::Repeats].toInt(); r > 0) s.retryCount = r;
    s.modemUsed = phone;
    if (!point_->config[config::InitString].isEmpty()) s.modemInit = point_->config[config::InitString];
    if (p_.applyLinkSettings) p_.applyLinkSettings(point_->address);

    session_ = std::make_unique<corrector::CorrectorSession>(p_.engine, p_.port, p_.settings, p_.notifier,
                                                             gate_, readRun_, language_);
    session_->model().setPollingRun(false);
    session_->model().setVolumeDecimals(p_.volumeDecimals);
    session_->model().afterWriteDelayMs = afterWriteDelayMs;
    connect(&session_->link(), &corrector::EngineParameterLink::kindEnded, this, [this](int, bool completed) {
        if (exchange_ == Exchange::Pending && !itemExchange_)
            exchange_ = completed ? Exchange::Done : Exchange::Failed;
        advanceSoon();
    });
    connect(&gate_, &corrector::OperationStart::identificationFinished, session_.get(), [this](bool ok) {
        if (exchange_ == Exchange::Pending && !itemExchange_)
            exchange_ = ok ? Exchange::Done : Exchange::Failed;
        advanceSoon();
    });
    connect(&session_->model(), &corrector::CorrectorWindowModel::itemTransferEnded, this,
            &PollingRun::advanceSoon);
    connect(&session_->link(), &corrector::EngineParameterLink::pageAccepted, session_.get(), [this] {
        if (archiveKindOfItem(item_) == 0 || (step_ != Step::ArchiveCheck && step_ != Step::ArchiveRead))
            return;
        say(QStringLiteral("чт. ") + itemFixedName(item_) + QStringLiteral(" бл. №") +
            QString::number(++blocksRead_));
    });

    p_.port.closePort();
    if (!p_.port.applyAndOpen(p_.settings)) {
        say(QStringLiteral("ошибка порта!!! ") + s.corrPort, LineColour::Red);
        fail(QStringLiteral("ошибка порта!!! ") + s.corrPort);
        return;
    }
    if (!phone) {
        step_ = Step::Version;
        return;
    }
    modem_ = std::make_unique<link::ModemLink>(p_.engine, p_.port, [this](const QString& text, bool error) {
        say(text, error ? LineColour::Red : LineColour::Black);
    });
    modem_->tickIntervalMs = stepIntervalMs;
    // The connection time runs from CONNECT until the line is down (the hang-up answered or given up, or
    // the carrier lost), not until "+++" goes out.
    connect(modem_.get(), &link::ModemLink::lineUpChanged, this, [this](bool up) {
        if (up) {
            log_.connectionBegin = now();
            log_.connectionEnd = {};
            connectionSeconds_ = 0;
        } else if (log_.connectionBegin.isValid()) {
            log_.connectionEnd = now();
            connectionSeconds_ =
                static_cast<int>((log_.connectionBegin.msecsTo(log_.connectionEnd) + 500) / 1000);
        }
        emit stateChanged();
    });
    modemRepeats_ = redialsLeft_ = qMax(1, point_->config[config::ModemRepeats].toInt());
    step_ = Step::Dial;
    emit stateChanged();
}

void PollingRun::fail(const QString& error) {
    if (!error.isEmpty() && error_.isEmpty()) error_ = error;
    if (error_.isEmpty()) {
        error_ = QStringLiteral("нет связи с прибором");
        say(error_, LineColour::Red);
    }
    exchange_ = Exchange::None;
    result(PointResult::ExchangeFailed);
    step_ = Step::HangUp;
}

void PollingRun::storeWhatWasRead() {
    PointSummary summary;
    summary.identifier = identifier_;
    summary.name = pointName_.trimmed();
    summary.result = pointResult_;
    summary.error = error_;
    summary.itemsRead = kindsRead_;
    summary.clockCorrected = clockCorrected_;
    summary.clockCorrection = clockCorrected_ ? clockCorrection_ : 0;
    summary.gasWritten = gasWritten_;
    summary.measured = measured_;
    const database::SourceKind source =
        telephone() ? database::SourceKind::PolledByModem : database::SourceKind::PolledByCable;
    log_.error = error_;
    log_.gasWritten = gasWritten_;
    log_.clockCorrected = clockCorrected_;
    if (session_ && dataRead_ && identityConfirmed_) {
        corrector::StoreRequestHooks hooks;
        hooks.adjustContext = [this](database::StoreContext& c) {
            c.poll = log_;
            c.itemsToRead = askedItemFlags(flags_, mode_);
        };
        session_->model().setSource(source);
        const auto r =
            corrector::storeAfterReading(p_.root, p_.schemas, session_->model().reading(), p_.settings,
                                         point_->address, language_, kindsRead_, source, hooks);
        if (!r.stored && !r.error.isEmpty()) say(r.error, LineColour::Red);
        addStoredCounts(summary, r.result);
    } else if (!dataRead_ && !error_.isEmpty() && telephone() && modem_ && log_.connectionBegin.isValid()) {
        // A call that came up but read nothing still leaves its row: when and why. A number that never
        // answered (busy, no carrier, our own modem silent) leaves none: its result line says so, and
        // the connections protocol counts calls that were made.
        database::StoreContext c;
        c.identifier = identifier_;
        c.serial = point_->serial;
        c.model = point_->model;
        c.sourceKind = database::sourceKindNumber(source);
        c.itemsToRead = askedItemFlags(flags_, mode_);
        c.poll = log_;
        database::writeRequestLogOnly(p_.root, p_.schemas, c, now());
    }
    journal_.addSummary(std::move(summary));
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
    session_.reset();
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
    if (r.beforeLine) error_ = r.join;
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
