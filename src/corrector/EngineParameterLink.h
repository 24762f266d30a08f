#pragma once
// The corrector window's requests through the exchange engine, and the engine's replies back to the
// window's model: the one bridge between the two.
#include "corrector/CorrectorWindowModel.h"
#include "link/ExchangeConsumers.h"
#include "link/ExchangeEngine.h"

#include <QObject>

namespace tarn::corrector {

class EngineParameterLink final : public QObject,
                                  public ParameterLink,
                                  public link::ItemTransferConsumer,
                                  public link::PageReadConsumer,
                                  public link::CorrectorLinkView {
    Q_OBJECT
public:
    explicit EngineParameterLink(link::ExchangeEngine& engine, QObject* parent = nullptr);
    ~EngineParameterLink() override;

    // The model whose requests go out here; registers this bridge with the engine.
    void attach(CorrectorWindowModel& model);
    void detach();

    // ParameterLink
    void readItem(quint8 code, int count) override;
    void writeItem(quint8 code, const QByteArray& data, bool passwordOp) override;
    void readPage(quint16 word) override;
    void writeRestart() override;

    // The engine's consumers.
    void onItemReply(const QByteArray& payload) override;
    void endItemTransfer() override;
    void startNextStep() override;
    void onPageAccepted(quint8 page, const QByteArray& payload) override;
    void onFullReadComplete() override;
    void onBlockReply(int archiveKind, const QByteArray& payload) override;
    void dropAccessLevel() override;
    void setNoLinkShown(bool shown, const QString& text) override;

    bool noLinkShown() const { return noLinkShown_; }
    const QString& noLinkText() const { return noLinkText_; }

signals:
    void noLinkChanged(bool shown, const QString& text);
    void fullReadComplete();

private:
    link::ExchangeEngine& engine_;
    CorrectorWindowModel* model_ = nullptr;
    bool noLinkShown_ = false;
    QString noLinkText_;
};

} // namespace tarn::corrector
