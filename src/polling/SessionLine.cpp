#include "polling/SessionLine.h"

#include "corrector/Blocks.h"
#include "corrector/CorrectorWindowModel.h"
#include "corrector/ItemTable.h"
#include "corrector/ReadQueue.h"
#include "corrector/StoreReading.h"
#include "polling/PointSteps.h"

namespace tarn::polling {

namespace {
constexpr int kPasswordSlot = 0; // the point's password is operator A's
} // namespace

SessionLine::SessionLine(Parts parts, QObject* parent) : QObject(parent), p_(std::move(parts)) {
    session_ = std::make_unique<corrector::CorrectorSession>(p_.engine, p_.port, p_.settings, p_.notifier,
                                                             p_.gate, p_.readRun, p_.languageIndex);
    auto& model = session_->model();
    model.setPollingRun(false);
    model.setVolumeDecimals(p_.volumeDecimals);
    model.afterWriteDelayMs = p_.afterWriteDelayMs;
    connect(&session_->link(), &corrector::EngineParameterLink::kindEnded, this, [this](int, bool completed) {
        if (exchange_ == Exchange::Pending && !itemTransfer_)
            exchange_ = completed ? Exchange::Done : Exchange::Failed;
        emit reported();
    });
    connect(&p_.gate, &corrector::OperationStart::identificationFinished, this, [this](bool ok) {
        if (exchange_ == Exchange::Pending && !itemTransfer_)
            exchange_ = ok ? Exchange::Done : Exchange::Failed;
        emit reported();
    });
    connect(&model, &corrector::CorrectorWindowModel::itemTransferEnded, this, &SessionLine::reported);
    connect(&session_->link(), &corrector::EngineParameterLink::pageAccepted, this,
            &SessionLine::pageAccepted);
}

SessionLine::~SessionLine() = default;

SessionLine::Exchange SessionLine::takeExchange(int interruptedAfterTicks) {
    if (exchange_ == Exchange::Pending && itemTransfer_ && !session_->model().itemTransferPending()) {
        exchange_ = session_->model().lastItem().result == corrector::ItemOutcome::Result::Done
                        ? Exchange::Done
                        : Exchange::Failed;
    }
    if (exchange_ == Exchange::Pending) {
        // A request the engine no longer holds (it was dropped under us) would keep the point for good.
        const bool engineIdle = !p_.engine.busy() && !p_.gate.identifying();
        idleTicks_ = engineIdle ? idleTicks_ + 1 : 0;
        if (idleTicks_ <= interruptedAfterTicks) return Exchange::Pending;
        exchange_ = Exchange::Interrupted;
    }
    const Exchange taken = exchange_;
    exchange_ = Exchange::None;
    return taken;
}

bool SessionLine::startExchange(bool itemTransfer, const std::function<bool()>& request) {
    itemTransfer_ = itemTransfer;
    exchange_ = Exchange::Pending;
    idleTicks_ = 0;
    if (request()) return true;
    exchange_ = Exchange::None;
    return false;
}

bool SessionLine::portBroken() const {
    return p_.port.linkBroken();
}

bool SessionLine::identify() {
    // The corrector's items go over the call now up (the model refuses them on a modem line without one).
    session_->model().setModemConnected(p_.engine.lineUse().modemConnected);
    return startExchange(false, [this] {
        p_.gate.startIdentification(corrector::IdentificationMode::Polling);
        return true;
    });
}

bool SessionLine::readVersionBlock() {
    auto& model = session_->model();
    model.ClearWindow();
    model.setIdentification(p_.gate.identification());
    model.setProfile(p_.gate.profile());
    return startExchange(false, [this] {
        session_->link().readBlock(corrector::read_kind::Version, corrector::kVersionBlock);
        return true;
    });
}

bool SessionLine::readParameters() {
    return startExchange(false, [this] {
        session_->model().StartFullRead();
        return true;
    });
}

bool SessionLine::readClock() {
    return startExchange(false, [this] {
        session_->link().readBlock(corrector::read_kind::Clock, corrector::kClockBlock);
        return true;
    });
}

bool SessionLine::readMeasurement() {
    return startExchange(false, [this] {
        session_->link().readBlock(corrector::read_kind::Measurement, corrector::kMeasurementBlock);
        return true;
    });
}

bool SessionLine::readWholeArchive(int kind) {
    return startExchange(false, [this, kind] { return session_->link().readArchive(kind, true); });
}

bool SessionLine::readArchivePages(int kind, int firstPage, int pageCount, bool append) {
    return startExchange(false, [&] {
        return session_->link().readArchiveSelective(kind, {firstPage, pageCount}, append);
    });
}

bool SessionLine::enterPassword(const QString& password) {
    return startExchange(true, [&] {
        session_->model().EnterPassword(kPasswordSlot, password);
        return true;
    });
}

bool SessionLine::writeItem(int item, const QString& value) {
    return startExchange(true, [&] {
        auto& model = session_->model();
        return model.WriteItem(
            item, value, corrector::ItemCaption(item, model.reading().profile, p_.languageIndex), false);
    });
}

PointLine::Identity SessionLine::answeredIdentity() const {
    const database::StoreContext c =
        corrector::storeContextFor(session_->model().reading(), p_.languageIndex, {});
    return {c.identifier, c.model, c.serial};
}

std::optional<corrector::ArchiveGeometry> SessionLine::archiveGeometry(int kind) const {
    return corrector::archiveGeometry(kind, session_->model().reading().profile);
}

int SessionLine::newestRecord(int kind) const {
    return newestRecordOfKind(session_->model().reading().image.archivePointers(), kind);
}

std::optional<QDateTime> SessionLine::recordStamp(int kind, int number) const {
    const auto geometry = archiveGeometry(kind);
    if (!geometry) return std::nullopt;
    const int archive = static_cast<int>(geometry->archive);
    const corrector::ArchiveTableRows rows(session_->model().archives());
    std::optional<QDateTime> stamp;
    // The last of that number counts: a page read twice leaves its newer copy last.
    for (int r = 0; r < rows.rowCount(archive); ++r)
        if (rows.cell(archive, 0, r).toInt() == number) stamp = database::recordTimestamp(rows, archive, r);
    return stamp;
}

std::optional<corrector::ClockBlock> SessionLine::clock() const {
    return session_->model().clock();
}

QString SessionLine::itemText(int item) const {
    return session_->model().itemText(item);
}

corrector::StoreRequestResult SessionLine::storeReading(const QList<int>& kindsRead,
                                                        database::SourceKind source,
                                                        const database::StoreContext::PollLog& log,
                                                        const QString& itemsToRead) {
    corrector::StoreRequestHooks hooks;
    hooks.adjustContext = [&](database::StoreContext& c) {
        c.poll = log;
        c.itemsToRead = itemsToRead;
    };
    // The session read it from the corrector on the line; the poll says how the line was made.
    session_->model().setSource(source);
    return corrector::storeAfterReading(p_.root, p_.storage, session_->model().reading(), p_.settings,
                                        p_.address, p_.languageIndex, kindsRead, hooks);
}

void SessionLine::writeRequestLogOnly(const database::StoreContext& context) {
    database::writeRequestLogOnly(p_.storage, context, p_.clock.now());
}

SessionModem::SessionModem(link::ExchangeEngine& engine, link::LinkPort& port, int tickIntervalMs,
                           Clock& clock, PointProgress& progress, link::ModemLink::LogLine log)
    : modem_(engine, port, std::move(log)), clock_(clock), progress_(progress) {
    modem_.tickIntervalMs = tickIntervalMs;
    connect(&modem_, &link::ModemLink::lineUpChanged, this, [this](bool up) {
        database::StoreContext::PollLog& log = progress_.log;
        if (up) {
            log.connectionBegin = clock_.now();
            log.connectionEnd = {};
            progress_.connectionSeconds = 0;
        } else if (log.connectionBegin.isValid()) {
            log.connectionEnd = clock_.now();
            progress_.connectionSeconds =
                static_cast<int>((log.connectionBegin.msecsTo(log.connectionEnd) + 500) / 1000);
        }
        emit lineChanged();
    });
}

void SessionModem::tick() {
    if (modem_.lineUp() && progress_.log.connectionBegin.isValid())
        progress_.connectionSeconds =
            static_cast<int>(progress_.log.connectionBegin.msecsTo(clock_.now()) / 1000);
}

void SessionModem::call(const ModemCall& call) {
    link::ModemJob job;
    job.phone = call.phone;
    job.init = call.init;
    job.dialTimeoutSec = call.dialTimeoutSec;
    job.name = call.name;
    modem_.call(job);
}

} // namespace tarn::polling
