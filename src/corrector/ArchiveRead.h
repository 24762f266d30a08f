#pragma once
// One archive read whole: its first page with the others following as further blocks, every page checked
// record by record before the next is asked for, a rejected page read again, the walk ended early at the
// archive's empty end when the read window asks for that.
#include "corrector/Archives.h"
#include "link/ExchangeEngine.h"
#include "link/Transfer.h"

#include <functional>
#include <optional>

namespace tarn::corrector {

class ArchiveReadTransfer final : public link::Transfer {
public:
    explicit ArchiveReadTransfer(link::ExchangeEngine& engine) : engine_(engine) {}

    // The units, the model and the language the records are decoded with.
    std::function<ArchiveContext()> context;
    // A page has been taken (the read window's gauge).
    std::function<void()> pageTaken;
    std::function<void(bool completed)> ended;

    // Empties the archive's table and requests its first page; false for a kind that is no archive.
    bool start(int kind, const ModelProfile& profile, ArchiveTables& tables, bool untilEmpty);
    // A selective read: the planned pages, each its own request, records numbered by their place. With
    // append the rows already in the table stay and the new ones follow them.
    bool startSelective(int kind, const ModelProfile& profile, ArchiveTables& tables, SelectivePages pages,
                        bool append = false);
    const std::optional<ArchiveGeometry>& geometry() const { return geometry_; }

    link::BlockVerdict onBlock(const link::Reply& reply) override;
    void onComplete() override;
    void onFailed(const link::Failure& failure) override;

private:
    link::ExchangeEngine& engine_;
    std::optional<ArchiveGeometry> geometry_;
    std::optional<ArchivePageCheck> check_;
    int selectivePagesLeft_ = 0; // 0: the whole archive as further blocks
    void requestPage(int page, quint16 blocksLeft);
};

} // namespace tarn::corrector
