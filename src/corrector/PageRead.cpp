#include "corrector/PageRead.h"

#include "link/ExchangeState.h"

namespace tarn::corrector {

namespace {
constexpr int kPageWords = 64;
// After this many reads that disagree the last one is taken as it is.
constexpr int kAttemptsBeforeAccepting = 5;
} // namespace

bool pageWordIgnored(quint8 page, int word) {
    if (page == 0) return (word >= 17 && word <= 32) || word == 38;
    if (page == 64) return (word >= 9 && word <= 16) || word == 33 || word == 34 || word == 38 || word == 39;
    return false;
}

bool pagesAgree(quint8 page, const QByteArray& previous, const QByteArray& current) {
    if (page == 128) return true;
    if (previous.size() < kPageWords * 4 || current.size() < kPageWords * 4) return false;
    for (int word = 1; word <= kPageWords; ++word) {
        if (pageWordIgnored(page, word)) continue;
        const qsizetype at = (word - 1) * 4;
        if (previous.mid(at, 4) != current.mid(at, 4)) return false;
    }
    return true;
}

void PageReadTransfer::readPage(quint8 page) {
    attempts_ = 0;
    previous_.clear();
    engine_.start(link::Request::read(link::opPageRead, page, 0), *this);
}

link::BlockVerdict PageReadTransfer::onBlock(const link::Reply& reply) {
    if (++attempts_ > kAttemptsBeforeAccepting) previous_ = reply.payload;
    if (!pagesAgree(reply.block, previous_, reply.payload)) {
        previous_ = reply.payload;
        return link::BlockVerdict::Again;
    }
    // The next page starts with no copy of its own: its first read is always checked by a second one.
    previous_.clear();
    attempts_ = 0;
    if (accepted) accepted(reply.block, reply.payload);
    // A next page asked for from accepted() has already replaced this request.
    return link::BlockVerdict::Finish;
}

void PageReadTransfer::onComplete() {
    if (complete) complete();
}

void PageReadTransfer::onFailed(const link::Failure& failure) {
    if (failed) failed(failure);
}

} // namespace tarn::corrector
