#pragma once
// The parameter memory is read in 256-byte pages (opPageRead), and a page counts only when two reads
// of it agree: the corrector changes some words while it runs, and a page caught in the middle of an
// update would be stored half old, half new. Words that change by themselves are left out of the
// comparison; a page that keeps changing is taken as it is after six reads.
#include "link/ExchangeEngine.h"
#include "link/Transfer.h"

#include <QByteArray>
#include <functional>

namespace tarn::corrector {

// Word w (1..64) of a page is bytes 4(w-1)..4(w-1)+3. Page 0 ignores words 17..32 and 38, page 64 words
// 9..16, 33, 34, 38 and 39; page 128 always agrees.
bool pageWordIgnored(quint8 page, int word);
bool pagesAgree(quint8 page, const QByteArray& previous, const QByteArray& current);

class PageReadTransfer final : public link::Transfer {
public:
    explicit PageReadTransfer(link::ExchangeEngine& engine) : engine_(engine) {}

    // Two agreeing reads of the page are taken; accepted() may ask for the next page from its call. When
    // it does not, the read is complete.
    std::function<void(quint8 page, const QByteArray& payload)> accepted;
    std::function<void()> complete;
    std::function<void(const link::Failure&)> failed;

    // The first read of a page: its attempt counter and previous copy start afresh.
    void readPage(quint8 page);

    link::BlockVerdict onBlock(const link::Reply& reply) override;
    void onComplete() override;
    void onFailed(const link::Failure& failure) override;

private:
    link::ExchangeEngine& engine_;
    QByteArray previous_;
    int attempts_ = 0;
};

} // namespace tarn::corrector
