#include "transfer/UnitSession.h"

#include "common/Language.h"
#include "link/FrameChecksum.h"

#include <QDir>
#include <QFileInfo>

namespace tarn::transfer {

TransferUnitSession::TransferUnitSession(link::ExchangeEngine& engine, link::LinkPort& port, DataRoot root,
                                         Notifier& notifier, int languageIndex, UnitTimings timings)
    : engine_(engine), port_(port), root_(std::move(root)), notifier_(notifier), lang_(languageIndex),
      timings_(timings) {
    replyTimer_.setSingleShot(true);
    pollTimer_.setSingleShot(true);
    dtrTimer_.setSingleShot(true);
    connect(&replyTimer_, &QTimer::timeout, this, &TransferUnitSession::onReplyTimeout);
    connect(&pollTimer_, &QTimer::timeout, this, [this] { send(progressRequest(), timings_.sends); });
}

TransferUnitSession::~TransferUnitSession() {
    if (busy()) port_.restoreLineSpeed();
}

bool TransferUnitSession::begin(UnitOperation op) {
    if (busy()) return false;
    portFailed_ = true;
    if (!port_.portExists(port_.portName())) {
        notifier_.message(MessageKind::Error,
                          uaRu(lang_, "ПОМИЛКА! ініціалізації порту", "ОШИБКА!!! инициализации порта"));
        return false;
    }
    if (!port_.isOpen() && !port_.openPort(false)) {
        notifier_.message(MessageKind::Error,
                          uaRu(lang_, "Помилка відкриття порту", "Ошибка открытия порта") + port_.portName());
        return false;
    }
    portFailed_ = false;
    operation_ = op;
    stopRequested_ = false;
    succeeded_ = false;
    errorLines_.clear();
    claim_ = engine_.claimLine(*this);
    port_.setLineSpeed(kUnitBaud);
    return true;
}

bool TransferUnitSession::startState() {
    if (!begin(UnitOperation::State)) return false;
    justErased_ = false;
    step_ = Step::Version;
    sendAfterDtrPulse(versionRequest());
    return true;
}

bool TransferUnitSession::startRead(const ReadRange& range) {
    if (busy()) return false;
    portFailed_ = false;
    if (range.firstZone > range.lastZone) {
        notifier_.message(MessageKind::Error, uaRu(lang_, "ПОМИЛКА! Зона початку читання > Останній зони",
                                                   "ОШИБКА!!! Зона начала чтения > Последней зоны"));
        return false;
    }
    // The files are written when the read ends; a folder they cannot go into stops it now.
    const QString folder = root_.dir(folder::Current);
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isWritable()) {
        notifier_.message(MessageKind::Error,
                          uaRu(lang_, "ПОМИЛКА! під час створення файлів", "ОШИБКА!!! при создании файлов"));
        return false;
    }
    if (!begin(UnitOperation::Read)) return false;
    range_ = range;
    range_.firstBlock = qBound(0, range.firstBlock, kZoneBlocks - 1);
    range_.blockCount = qBound(1, range.blockCount, kZoneBlocks - range_.firstBlock);
    justErased_ = false;
    step_ = Step::Version;
    sendAfterDtrPulse(versionRequest());
    return true;
}

bool TransferUnitSession::startTest() {
    if (!begin(UnitOperation::Test)) return false;
    justErased_ = false;
    step_ = Step::Version;
    setGauge(0, 100);
    sendAfterDtrPulse(versionRequest());
    return true;
}

bool TransferUnitSession::startErase() {
    if (!begin(UnitOperation::Erase)) return false;
    justErased_ = false;
    step_ = Step::Version;
    setGauge(0, 100);
    sendAfterDtrPulse(versionRequest());
    return true;
}

void TransferUnitSession::stop() {
    if (!busy()) return;
    stopRequested_ = true;
    port_.setDtr(false);
    port_.setRts(false);
    switch (operation_) {
    case UnitOperation::Read:
        end(false, uaRu(lang_, "Читання перервано", "Чтение прервано"), MessageKind::Information);
        break;
    case UnitOperation::Test:
        end(false, uaRu(lang_, "Тест ДТУ перервано", "Тест ДТУ прерван"), MessageKind::Information);
        break;
    case UnitOperation::Erase:
        end(false, uaRu(lang_, "Стирання ДТУ перервано", "Стирание ДТУ прервано"), MessageKind::Information);
        break;
    default:
        end(false);
        break;
    }
}

void TransferUnitSession::sendAfterDtrPulse(const QByteArray& request) {
    // The unit takes a DTR pulse as the start of a command sequence.
    port_.setDtr(false);
    dtrTimer_.disconnect();
    connect(&dtrTimer_, &QTimer::timeout, this, [this, request] {
        port_.setDtr(true);
        send(request, timings_.sends);
    });
    dtrTimer_.start(timings_.dtrPauseMs);
}

void TransferUnitSession::send(const QByteArray& request, int sends) {
    if (!busy() || stopRequested_) return;
    request_ = request;
    received_.clear();
    fault_ = ReplyFault::None;
    unitFlags_ = 0;
    sendsLeft_ = qMax(0, sends - 1);
    if (!port_.write(link::withFrameChecksum(request))) {
        end(false, uaRu(lang_, "ПОМИЛКА COM порту", "ОШИБКА COM порта"));
        return;
    }
    replyTimer_.start(timings_.replyTimeoutMs);
}

void TransferUnitSession::onRawBytes(const QByteArray& chunk) {
    if (!busy() || !replyTimer_.isActive()) return;
    received_ += chunk;
    const int expected = expectedReplyLength(request_);
    if (received_.size() < expected && static_cast<quint8>(received_.at(0)) != 0xEE) return;
    const ReplyCheck check = checkReply(received_, expected);
    if (!check.accepted) {
        // A reply it cannot use is as good as none: the request goes out again when its time is up.
        fault_ = check.fault;
        unitFlags_ = check.unitFlags;
        return;
    }
    replyTimer_.stop();
    onReply(check.payload);
}

void TransferUnitSession::onReplyTimeout() {
    if (!busy()) return;
    if (fault_ == ReplyFault::None)
        fault_ = received_.isEmpty() ? ReplyFault::NoReply : ReplyFault::WrongLength;
    if (sendsLeft_ > 0) {
        const int left = sendsLeft_;
        send(request_, left);
        return;
    }
    errorLines_ = faultTexts(fault_, unitFlags_);
    end(false, failureText());
}

QString TransferUnitSession::failureText() const {
    if (justErased_ || operation_ == UnitOperation::State)
        return uaRu(lang_, "Читання стану ДТУ - ПОМИЛКА", "Чтение состояния ДТУ - БРАК");
    switch (operation_) {
    case UnitOperation::Read:
        return uaRu(lang_, "Читання ДТУ - ПОМИЛКА", "Чтение ДТУ - БРАК");
    case UnitOperation::Erase:
        return uaRu(lang_, "Стирання ДТУ - ПОМИЛКА", "Стирание ДТУ - БРАК");
    case UnitOperation::Test:
        return uaRu(lang_, "Тест ДТУ - ПОМИЛКА", "Тест ДТУ - БРАК");
    default:
        return uaRu(lang_, "Читання стану ДТУ - ПОМИЛКА", "Чтение состояния ДТУ - БРАК");
    }
}

void TransferUnitSession::onReply(const QByteArray& payload) {
    switch (step_) {
    case Step::Version:
        onVersion(payload);
        break;
    case Step::State:
        onState(payload);
        break;
    case Step::StartCommand:
        step_ = Step::Progress;
        pollTimer_.start(operation_ == UnitOperation::Test ? timings_.testPollMs : timings_.erasePollMs);
        break;
    case Step::Progress:
        onProgress(payload);
        break;
    case Step::Block:
        onBlock(payload, sendsLeft_ == 0);
        break;
    }
}

void TransferUnitSession::onVersion(const QByteArray& payload) {
    version_ = payload;
    zoneCount_ = zoneCountOf(payload);
    emit zonesChanged();
    if (operation_ == UnitOperation::Test || (operation_ == UnitOperation::Erase && !justErased_)) {
        step_ = Step::StartCommand;
        send(operation_ == UnitOperation::Test ? testStartRequest() : eraseStartRequest(), timings_.sends);
        return;
    }
    step_ = Step::State;
    send(stateRequest(zoneCount_), timings_.sends);
}

void TransferUnitSession::onState(const QByteArray& payload) {
    statuses_ = payload.left(zoneCount_);
    emit zonesChanged();
    const quint8 first = statuses_.isEmpty() ? 0 : static_cast<quint8>(statuses_.at(0));
    if (const auto message = unitStateMessage(first, justErased_, lang_)) {
        end(message->warning, message->text, message->warning ? MessageKind::Warning : MessageKind::Error);
        return;
    }
    if (operation_ != UnitOperation::Read) {
        end(true);
        return;
    }
    const int last = qMin(range_.lastZone, zoneCount_);
    auto statusOf = [this](int zone) {
        return zone >= 1 && zone <= statuses_.size() ? static_cast<quint8>(statuses_.at(zone - 1) & 0x07) : 0;
    };
    const quint8 firstStatus = statusOf(range_.firstZone);
    if (range_.firstZone > last || firstStatus == ZoneEmpty || firstStatus == ZoneIncomplete) {
        end(false, uaRu(lang_, "Немає даних", "Нет данных"));
        return;
    }
    int zones = 0;
    for (int z = range_.firstZone; z <= last; ++z)
        if (statusOf(z) == ZoneIncomplete || statusOf(z) == ZoneComplete) ++zones;
    setGauge(0, zones * range_.blockCount);
    images_ = ZoneImages();
    readStatuses_.clear();
    zone_ = range_.firstZone - 1;
    nextZone();
}

void TransferUnitSession::nextZone() {
    ++zone_;
    const int last = qMin(range_.lastZone, zoneCount_);
    // Reading ends at the last zone asked for, or at the first empty one.
    if (zone_ > last || zone_ > statuses_.size() || (statuses_.at(zone_ - 1) & 0x07) == ZoneEmpty) {
        finishRead();
        return;
    }
    images_.resize(images_.zoneCount() + 1);
    readStatuses_.append(static_cast<quint8>(statuses_.at(zone_ - 1)));
    block_ = range_.firstBlock;
    step_ = Step::Block;
    requestBlock();
}

void TransferUnitSession::requestBlock() {
    send(blockRequest(zone_ - 1, block_), timings_.sends);
}

void TransferUnitSession::onBlock(const QByteArray& payload, bool lastSend) {
    const int index = static_cast<int>(readStatuses_.size()) - 1;
    // An incomplete copy is taken as it is; a block of a complete one must check.
    const bool checked = (readStatuses_.at(index) & 0x07) != ZoneIncomplete;
    if (checked && !blockCheckOk(payload)) {
        if (!lastSend) {
            const int left = sendsLeft_;
            send(request_, left);
            return;
        }
        readStatuses_[index] = ZoneBlockChecksum;
    }
    images_.putBlock(index, block_, payload.left(kBlockBytes));
    setGauge(gauge_ + 1, gaugeMax_);
    ++block_;
    if (block_ >= range_.firstBlock + range_.blockCount)
        nextZone();
    else
        requestBlock();
}

void TransferUnitSession::finishRead() {
    // Only a read of whole zones says what the zones hold.
    QByteArray stateBytes;
    const bool whole = range_.firstBlock == 0 && range_.blockCount == kZoneBlocks;
    UnitStateFile state;
    state.sixteenZones = zoneCount_ == kMaxZones;
    state.firstZone = range_.firstZone;
    if (whole) {
        for (int i = 0; i < readStatuses_.size(); ++i) {
            ZoneRecord z;
            z.status = readStatuses_.at(i);
            const ZoneCheck check = checkZone(images_.region(i, 3), lang_);
            if (check.status != ZoneComplete) {
                z.status = check.status;
            } else if ((z.status & 0x07) == ZoneComplete) {
                z.serial = check.serial;
                z.name = check.name;
            }
            state.zones.append(z);
        }
        stateBytes = stateFileBytes(state);
    }
    if (!saveImageFiles(root_, images_, stateBytes)) {
        end(false, uaRu(lang_, "ПОМИЛКА! під час створення файлів", "ОШИБКА!!! при создании файлов"));
        return;
    }
    fileState_ = whole ? std::optional<UnitStateFile>(state) : std::nullopt;
    showingFile_ = whole;
    emit zonesChanged();
    end(true);
}

void TransferUnitSession::onProgress(const QByteArray& payload) {
    const quint8 busyFlags = payload.size() > 0 ? static_cast<quint8>(payload.at(0)) : 0;
    const quint8 faults = payload.size() > 1 ? static_cast<quint8>(payload.at(1)) : 0;
    const int percent = payload.size() > 2 ? static_cast<quint8>(payload.at(2)) : 0;
    setGauge(qMin(percent, 100), 100);
    if (operation_ == UnitOperation::Test) {
        if (faults & 0x40) return end(false, QStringLiteral("Тест ДТУ - мало питания!!!"));
        if (faults & 0x08) return end(false, failureText());
        if (!(busyFlags & 0x08))
            return end(true, QStringLiteral("Тест ДТУ - НОРМА"), MessageKind::Information);
        pollTimer_.start(timings_.testPollMs);
        return;
    }
    if (faults & 0x40)
        return end(false, uaRu(lang_, "Стирання ДТУ - мало напруги", "Стирание ДТУ - мало питания"));
    if (faults & 0x08) return end(false, failureText());
    if (!(busyFlags & 0x10)) {
        // Erased: the unit's state says how it ended.
        justErased_ = true;
        step_ = Step::Version;
        send(versionRequest(), timings_.sends);
        return;
    }
    pollTimer_.start(timings_.erasePollMs);
}

void TransferUnitSession::end(bool ok, const QString& message, MessageKind kind) {
    replyTimer_.stop();
    pollTimer_.stop();
    dtrTimer_.stop();
    if (busy()) port_.restoreLineSpeed();
    claim_.release();
    operation_ = UnitOperation::Idle;
    justErased_ = false;
    succeeded_ = ok;
    if (!message.isEmpty()) notifier_.message(kind, message);
    emit finished(ok);
}

void TransferUnitSession::setGauge(int value, int maximum) {
    gauge_ = value;
    gaugeMax_ = maximum;
    emit progressChanged(value, maximum);
}

void TransferUnitSession::showStateFile() {
    fileState_ = loadStateFile(root_);
    showingFile_ = fileState_.has_value();
    if (fileState_) zoneCount_ = fileState_->sixteenZones ? kMaxZones : 8;
    emit zonesChanged();
}

QList<TransferUnitSession::ZoneRow> TransferUnitSession::zoneRows() const {
    QList<ZoneRow> rows;
    auto loadable = [this](int zone) {
        if (!fileState_) return false;
        const int i = zone - fileState_->firstZone;
        return i >= 0 && i < fileState_->zones.size() &&
               (fileState_->zones.at(i).status & 0x07) == ZoneComplete;
    };
    if (showingFile_ && fileState_) {
        for (int i = 0; i < fileState_->zones.size(); ++i) {
            const ZoneRecord& z = fileState_->zones.at(i);
            const int zone = fileState_->firstZone + i;
            rows.append({zone, z.status, zoneText(z.status, false, z.serial, z.name, lang_), loadable(zone)});
        }
        return rows;
    }
    const bool afterTest = !statuses_.isEmpty() && unitAfterTest(static_cast<quint8>(statuses_.at(0)));
    for (int i = 0; i < statuses_.size(); ++i) {
        const quint8 status = static_cast<quint8>(statuses_.at(i));
        rows.append({i + 1, status, zoneText(status, afterTest, {}, {}, lang_), loadable(i + 1)});
    }
    return rows;
}

} // namespace tarn::transfer
