#pragma once
// What the report window and tarn-cli's report commands ask of an installation's database: the layouts
// to read it with, the registered points a search finds, one point by its identifier, a stored point's
// records and the delimiter of the CSV copies. One place answers them, so both reach the same points the
// same way.
#include "common/DataRoot.h"
#include "database/Registry.h"
#include "database/Schema.h"
#include "reports/ReportData.h"

#include <QList>
#include <memory>

namespace tarn::reports {

class ReportService {
public:
    // With the installation's layouts (kept alive by the caller), or without them: then the schema files
    // in Work\ are read at each question, so a file mended while a window is open counts at once.
    explicit ReportService(DataRoot root, const database::Schemas* schemas = nullptr);
    // Layouts the service keeps itself (read once for a command).
    ReportService(DataRoot root, database::Schemas schemas);

    const DataRoot& root() const { return root_; }
    // The layouts to use; ok false (and error) when the schema files do not load.
    std::shared_ptr<const database::Schemas> schemas() const;
    // The registered points the search finds, in registry order; none when the layouts or the registry
    // cannot be read.
    QList<database::Point> points(const database::RegistrySearch& search) const;
    // One registered point; "failed" when the layouts or the registry cannot be read, so a caller never
    // takes a broken database for a point not registered.
    database::PointLookup point(const QString& identifier) const;
    // The point's stored tables as a report reads them. The source keeps the layouts it was made with.
    std::unique_ptr<ReportSource> storedSource(const QString& identifier) const;
    // The delimiter of every CSV copy (Current\Delim.000).
    QChar csvDelimiter() const;

private:
    DataRoot root_;
    std::shared_ptr<const database::Schemas> schemas_; // empty: read from Work\ when asked
};

} // namespace tarn::reports
