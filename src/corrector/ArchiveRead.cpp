#include "corrector/ArchiveRead.h"

namespace tarn::corrector {

bool ArchiveReadTransfer::start(int kind, const ModelProfile& profile, ArchiveTables& tables,
                                bool untilEmpty) {
    geometry_ = archiveGeometry(kind, profile);
    if (!geometry_) return false;
    tables.clear(geometry_->archive);
    check_.emplace(*geometry_, tables, untilEmpty);
    selectivePagesLeft_ = 0;
    requestPage(geometry_->firstPage, static_cast<quint16>(geometry_->pages - 1));
    return true;
}

bool ArchiveReadTransfer::startSelective(int kind, const ModelProfile& profile, ArchiveTables& tables,
                                         SelectivePages pages, bool append) {
    geometry_ = archiveGeometry(kind, profile);
    if (!geometry_ || pages.count <= 0) return false;
    if (!append) tables.clear(geometry_->archive);
    check_.emplace(*geometry_, tables, false);
    if (append) check_->startAtRow(tables.rowCount(geometry_->archive));
    selectivePagesLeft_ = pages.count;
    requestPage(pages.first, 0);
    return true;
}

void ArchiveReadTransfer::requestPage(int page, quint16 blocksLeft) {
    engine_.start(link::Request::read(geometry_->op, static_cast<quint8>(page), 0, blocksLeft), *this);
}

link::BlockVerdict ArchiveReadTransfer::onBlock(const link::Reply& reply) {
    if (!check_ || !context) return link::BlockVerdict::Finish;
    if (selectivePagesLeft_ > 0)
        check_->numberFrom((reply.block - geometry_->firstPage) * (256 / geometry_->recordSize));
    switch (check_->check(reply.block, reply.payload, context())) {
    case ArchivePageCheck::Verdict::Reject:
        return link::BlockVerdict::Again;
    case ArchivePageCheck::Verdict::AcceptAndEnd:
        if (pageTaken) pageTaken();
        return link::BlockVerdict::Finish;
    case ArchivePageCheck::Verdict::Accept:
        break;
    }
    if (pageTaken) pageTaken();
    if (selectivePagesLeft_ > 0) {
        // Each planned page is a request of its own; the last one ends the read.
        if (--selectivePagesLeft_ == 0) return link::BlockVerdict::Finish;
        requestPage(nextPageInRing(*geometry_, reply.block), 0);
    }
    return link::BlockVerdict::Continue;
}

void ArchiveReadTransfer::onComplete() {
    if (ended) ended(true);
}

void ArchiveReadTransfer::onFailed(const link::Failure&) {
    if (ended) ended(false);
}

} // namespace tarn::corrector
