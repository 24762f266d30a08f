#include "corrector/EngineParameterLink.h"

#include "link/ReadQueue.h"

namespace tarn::corrector {

EngineParameterLink::EngineParameterLink(link::ExchangeEngine& engine, QObject* parent)
    : QObject(parent), engine_(engine) {}

EngineParameterLink::~EngineParameterLink() {
    detach();
}

void EngineParameterLink::attach(CorrectorWindowModel& model) {
    model_ = &model;
    auto& c = engine_.consumers();
    c.items = this;
    c.pages = this;
    c.view = this;
}

void EngineParameterLink::detach() {
    auto& c = engine_.consumers();
    if (c.items == this) c.items = nullptr;
    if (c.pages == this) c.pages = nullptr;
    if (c.view == this) c.view = nullptr;
    model_ = nullptr;
}

void EngineParameterLink::readItem(quint8 code, int count) {
    auto& m = engine_.modes();
    m.parameterTransfer = true;
    m.lastItem = true;
    m.itemNumber = model_ ? model_->state().pendingItem : 0;
    engine_.startRead(link::opRead, code, static_cast<quint8>(count), engine_.settings().retryCount, 0);
}

void EngineParameterLink::writeItem(quint8 code, const QByteArray& data, bool passwordOp) {
    auto& m = engine_.modes();
    m.parameterTransfer = true;
    m.lastItem = true;
    m.itemNumber = model_ ? model_->state().pendingItem : 0;
    // The engine adds " пароля" to a refusal of a password item.
    if (passwordOp && (m.itemNumber < 48 || m.itemNumber > 54)) m.itemNumber = 48;
    if (!engine_.startWrite(link::opWrite, code, data, engine_.settings().retryCount, 0)) {
        m.parameterTransfer = false;
        if (model_) model_->onTransferFailed();
    }
}

void EngineParameterLink::readPage(quint16 word) {
    auto& m = engine_.modes();
    m.parameterTransfer = false;
    m.archiveKind = link::read_kind::Parameters;
    engine_.startPageRead(static_cast<quint8>(word));
}

void EngineParameterLink::writeRestart() {
    engine_.modes().parameterTransfer = false;
    engine_.startWrite(link::opWrite, 0, QByteArray::fromHex("1EE1"), 1, 0);
}

void EngineParameterLink::onItemReply(const QByteArray& payload) {
    if (model_) model_->onItemReply(payload);
}

void EngineParameterLink::endItemTransfer() {
    engine_.modes().parameterTransfer = false;
}

void EngineParameterLink::startNextStep() {
    if (model_) model_->onItemWriteAccepted();
}

void EngineParameterLink::onPageAccepted(quint8 page, const QByteArray& payload) {
    if (model_) model_->onPageAccepted(page, payload);
}

void EngineParameterLink::onFullReadComplete() {
    if (model_) model_->onFullReadComplete();
    emit fullReadComplete();
}

void EngineParameterLink::onBlockReply(int archiveKind, const QByteArray& payload) {
    if (model_) model_->onBlockReply(archiveKind, payload);
}

void EngineParameterLink::dropAccessLevel() {
    if (model_) model_->onTransferFailed();
}

void EngineParameterLink::setNoLinkShown(bool shown, const QString& text) {
    noLinkShown_ = shown;
    noLinkText_ = shown ? text : QString();
    emit noLinkChanged(shown, noLinkText_);
}

} // namespace tarn::corrector
