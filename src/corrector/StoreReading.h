#pragma once
// After a reading: the corrector's metering point is found (or added, once the configurator has its
// settings) and the archives read go into the database.
#include "corrector/Reading.h"
#include "database/Storing.h"
#include "link/LinkSettings.h"

#include <functional>

namespace tarn::corrector {

// The decoded tables as storing reads them.
class ArchiveTableRows final : public database::ArchiveRows {
public:
    explicit ArchiveTableRows(const ArchiveTables& tables) : tables_(tables) {}
    int rowCount(int archive) const override { return tables_.rowCount(static_cast<Archive>(archive)); }
    QString cell(int archive, int column, int row) const override {
        return tables_.cell(archive, column, row);
    }

private:
    const ArchiveTables& tables_;
};

// The stored-items positions of the read kinds: "0", then a "1" for each archive read.
QString itemsToRead(const QList<int>& kindsRead);

// Who the corrector in hand is and its units; the request log's source is the reading's own.
database::StoreContext storeContextFor(const Reading& reading, int languageIndex,
                                       const QList<int>& kindsRead);
// A new point with the configurator's defaults: owner the company, the link as this reading used it.
database::Point newPointFor(const Reading& reading, const link::LinkSettings& settings, int address,
                            const database::StoreContext& context);

// The archives' store itself, the long part of a store request: rows selected and written, with the
// progress callback it reports to (false from it stops the store).
using StoreProgress = std::function<bool(int done, int total)>;
using ArchiveStore = std::function<database::StoreResult(const StoreProgress& progress)>;

struct StoreRequestHooks {
    // An unknown corrector: the configurator in new-point mode; false when the user leaves it.
    std::function<bool(database::Point& point)> configureNewPoint;
    StoreProgress progress;
    // Runs the archives' store and gives back its result (the windows: on a worker under the wait
    // window, once the point is known); without it the store runs here with `progress`.
    std::function<database::StoreResult(const ArchiveStore& store)> runStore;
    // What the caller adds to the store's context (the polling engine: the times of its poll).
    std::function<void(database::StoreContext& context)> adjustContext;
};

struct StoreRequestResult {
    bool stored = false;
    bool added = false;
    QString identifier;
    database::StoreResult result;
    QString error; // empty when nothing went wrong (a point the user did not add is no error)
};

// The gas compositions the configurator offers: the gas table's, or the first of the built-in list when
// the table is empty.
QStringList configuratorGasNames(database::Storage& storage, int languageIndex);

// Why a store request was refused on an installation with synchronisation on.
QString synchronisedCopyText();

// The point's registry row and tables are storage's; root holds the files beside them. Where the reading
// came from (the request log's source) is the reading's own: whoever made it said so.
StoreRequestResult storeAfterReading(const DataRoot& root, database::Storage& storage, const Reading& reading,
                                     const link::LinkSettings& settings, int address, int languageIndex,
                                     const QList<int>& kindsRead, const StoreRequestHooks& hooks);

} // namespace tarn::corrector
