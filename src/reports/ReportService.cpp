#include "reports/ReportService.h"

#include "database/CsvSideOutput.h"

namespace tarn::reports {

ReportService::ReportService(DataRoot root, database::Storage& storage)
    : root_(std::move(root)), storage_(&storage) {}

QList<database::Point> ReportService::points(const database::RegistrySearch& search) const {
    // Layouts that did not load would open the registry with no fields at all.
    if (!schemas().ok) return {};
    return database::Registry(root_, *storage_).search(search);
}

database::PointLookup ReportService::point(const QString& identifier) const {
    if (!schemas().ok) return database::PointLookup::failed(schemas().error);
    return database::Registry(root_, *storage_).find(identifier);
}

std::unique_ptr<ReportSource> ReportService::storedSource(const QString& identifier) const {
    return std::make_unique<DatabaseSource>(*storage_, identifier);
}

QChar ReportService::csvDelimiter() const {
    return database::readCsvDelimiter(root_);
}

} // namespace tarn::reports
