#pragma once
// The corrector window's requests through the exchange engine, and the replies back to the window's
// model: the one bridge between the two. Each kind of request has its transfer: items, the parameter
// pages with their double read, the blocks read whole, the alarm check and the restart.
#include "corrector/ArchiveRead.h"
#include "corrector/Blocks.h"
#include "corrector/ItemTransfer.h"
#include "corrector/PageRead.h"
#include "corrector/ParameterLink.h"
#include "link/ExchangeEngine.h"

#include <QObject>

namespace tarn::corrector {

class CorrectorWindowModel;

class EngineParameterLink final : public QObject, public ParameterLink {
    Q_OBJECT
public:
    EngineParameterLink(link::ExchangeEngine& engine, Notifier& notifier, QObject* parent = nullptr);
    ~EngineParameterLink() override;

    // The model whose requests go out here and which hears of the replies.
    void attach(CorrectorWindowModel& model) { model_ = &model; }
    void detach() { model_ = nullptr; }

    // ParameterLink
    void readItem(quint8 code, int count) override;
    void writeItem(quint8 code, const QByteArray& data, bool passwordOp) override;
    void readPage(quint16 word) override;
    void writeRestart() override;

    // A block read whole for a read kind (version, clock, measurement, status block 4); the model
    // decodes it, and kindEnded tells the read run.
    void readBlock(int kind, BlockAddress block);
    // The alarm check: the corrector's alarm notice, or its ordinary answer, completes it.
    void checkAlarm();
    // An archive read whole into the model's tables; kindEnded tells the read run. False when the kind
    // is no archive.
    bool readArchive(int kind, bool untilEmpty);
    bool readArchiveSelective(int kind, SelectivePages pages, bool append = false);
    // Pages of the archive of a kind (the read window's gauge).
    int archivePages(int kind) const;

    bool noLinkShown() const { return noLinkShown_; }
    const QString& noLinkText() const { return noLinkText_; }

signals:
    void noLinkChanged(bool shown, const QString& text);
    // A parameter page has been taken (the read window's gauge).
    void pageAccepted();
    void fullReadComplete();
    // The transfer of a read kind has ended, with all of it or without.
    void kindEnded(int kind, bool completed);

private:
    link::ExchangeEngine& engine_;
    CorrectorWindowModel* model_ = nullptr;
    ItemTransfer items_;
    PageReadTransfer pages_;
    link::CallbackTransfer block_;
    link::CallbackTransfer alarmCheck_;
    link::CallbackTransfer restart_;
    ArchiveReadTransfer archive_;
    int blockKind_ = 0;
    bool noLinkShown_ = false;
    QString noLinkText_;
};

} // namespace tarn::corrector
