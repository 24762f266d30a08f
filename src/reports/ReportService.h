#pragma once
// What the report window and tarn-cli's report commands ask of an installation's database: the layouts
// to read it with, the registered points a search finds, one point by its identifier, a stored point's
// records and the delimiter of the CSV copies. One place answers them, so both reach the same points the
// same way.
#include "common/DataRoot.h"
#include "database/Registry.h"
#include "database/Schema.h"
#include "database/Storage.h"
#include "reports/ReportData.h"

#include <QList>
#include <memory>

namespace tarn::reports {

class ReportService {
public:
    // The installation under root (its settings beside the tables) and its database through the run's
    // storage, which must outlive the service and every source it makes: a server database is read
    // the same as the table files.
    ReportService(DataRoot root, database::Storage& storage);

    const DataRoot& root() const { return root_; }
    database::Storage& storage() const { return *storage_; }
    // The layouts to use; ok false (and error) when the schema files did not load.
    const database::Schemas& schemas() const { return storage_->schemas(); }
    // The registered points the search finds, in registry order; none when the layouts or the registry
    // cannot be read.
    QList<database::Point> points(const database::RegistrySearch& search) const;
    // One registered point; "failed" when the layouts or the registry cannot be read, so a caller never
    // takes a broken database for a point not registered.
    database::PointLookup point(const QString& identifier) const;
    // The point's stored tables as a report reads them.
    std::unique_ptr<ReportSource> storedSource(const QString& identifier) const;
    // The delimiter of every CSV copy (Current\Delim.000).
    QChar csvDelimiter() const;

private:
    DataRoot root_;
    database::Storage* storage_;
};

} // namespace tarn::reports
