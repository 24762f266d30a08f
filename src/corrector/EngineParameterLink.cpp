#include "corrector/EngineParameterLink.h"

#include "corrector/CorrectorWindowModel.h"
#include "corrector/ReadQueue.h"

namespace tarn::corrector {

namespace {
// The restart command: written once at address 0; the corrector restarts instead of answering twice.
const QByteArray kRestartCommand = QByteArray::fromHex("1EE1");
} // namespace

EngineParameterLink::EngineParameterLink(link::ExchangeEngine& engine, Notifier& notifier, QObject* parent)
    : QObject(parent), engine_(engine), items_(engine, notifier), pages_(engine), archive_(engine) {
    items_.readReply = [this](const QByteArray& payload) {
        if (model_) model_->onItemReply(payload);
    };
    items_.writeAccepted = [this] {
        if (model_) model_->onItemWriteReply();
    };
    items_.failed = [this](const link::Failure& failure) {
        if (model_) model_->onTransferFailed(failure);
    };

    pages_.accepted = [this](quint8 page, const QByteArray& payload) {
        emit pageAccepted();
        if (model_) model_->onPageAccepted(page, payload);
    };
    pages_.complete = [this] {
        if (model_) model_->onFullReadComplete();
        emit fullReadComplete();
        emit kindEnded(read_kind::Parameters, true);
    };
    pages_.failed = [this](const link::Failure&) { emit kindEnded(read_kind::Parameters, false); };

    block_.block = [this](const link::Reply& reply) {
        if (model_) model_->onBlockReply(blockKind_, reply.payload);
        return link::BlockVerdict::Continue;
    };
    block_.complete = [this] { emit kindEnded(blockKind_, true); };
    block_.failed = [this](const link::Failure&) { emit kindEnded(blockKind_, false); };

    alarmCheck_.alarmNoticeAnswers = true;

    archive_.context = [this] { return model_->archiveContext(); };
    archive_.pageTaken = [this] {
        emit pageAccepted();
        if (model_ && archive_.geometry()) model_->archivePageTaken(archive_.geometry()->archive);
    };
    archive_.ended = [this](bool completed) {
        if (archive_.geometry()) emit kindEnded(archive_.geometry()->kind, completed);
    };

    connect(&engine_, &link::ExchangeEngine::noLinkChanged, this, [this](bool shown, const QString& text) {
        noLinkShown_ = shown;
        noLinkText_ = shown ? text : QString();
        emit noLinkChanged(shown, noLinkText_);
    });
}

EngineParameterLink::~EngineParameterLink() = default;

void EngineParameterLink::readItem(quint8 code, int count) {
    items_.read(code, count);
}

void EngineParameterLink::writeItem(quint8 code, const QByteArray& data, bool passwordOp) {
    if (!items_.write(code, data, passwordOp) && model_) model_->onTransferFailed({});
}

void EngineParameterLink::readPage(quint16 word) {
    pages_.readPage(static_cast<quint8>(word));
}

void EngineParameterLink::writeRestart() {
    engine_.start(link::Request::write(link::opWrite, 0, kRestartCommand).withRetries(1), restart_);
}

void EngineParameterLink::readBlock(int kind, BlockAddress block) {
    blockKind_ = kind;
    engine_.start(link::Request::read(link::opRead, block.address, block.count), block_);
}

bool EngineParameterLink::readArchive(int kind, bool untilEmpty) {
    if (!model_) return false;
    return archive_.start(kind, model_->reading().profile, model_->archives(), untilEmpty);
}

bool EngineParameterLink::readArchiveSelective(int kind, SelectivePages pages, bool append) {
    if (!model_) return false;
    return archive_.startSelective(kind, model_->reading().profile, model_->archives(), pages, append);
}

int EngineParameterLink::archivePages(int kind) const {
    const auto g = archiveGeometry(kind, model_ ? model_->reading().profile : ModelProfile{});
    return g ? g->pages : 0;
}

void EngineParameterLink::checkAlarm() {
    engine_.start(link::Request::read(link::opRead, kAlarmCheck.address, kAlarmCheck.count), alarmCheck_);
}

} // namespace tarn::corrector
