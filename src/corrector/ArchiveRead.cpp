#include "corrector/ArchiveRead.h"

namespace tarn::corrector {

bool ArchiveReadTransfer::start(int kind, const ModelProfile& profile, ArchiveTables& tables,
                                bool untilEmpty) {
    geometry_ = archiveGeometry(kind, profile);
    if (!geometry_) return false;
    tables.clear(geometry_->archive);
    check_.emplace(*geometry_, tables, untilEmpty);
    return engine_.start(link::Request::read(geometry_->op, static_cast<quint8>(geometry_->firstPage), 0,
                                             static_cast<quint16>(geometry_->pages - 1)),
                         *this);
}

link::BlockVerdict ArchiveReadTransfer::onBlock(const link::Reply& reply) {
    if (!check_ || !context) return link::BlockVerdict::Finish;
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
    return link::BlockVerdict::Continue;
}

void ArchiveReadTransfer::onComplete() {
    if (ended) ended(true);
}

void ArchiveReadTransfer::onFailed(const link::Failure&) {
    if (ended) ended(false);
}

} // namespace tarn::corrector
