#include "reports/ReportService.h"

#include "database/CsvSideOutput.h"

namespace tarn::reports {

ReportService::ReportService(DataRoot root, const database::Schemas* schemas) : root_(std::move(root)) {
    // Borrowed layouts: a pointer that shares nothing, so the caller's object is never freed here.
    if (schemas) schemas_ = std::shared_ptr<const database::Schemas>(std::shared_ptr<void>(), schemas);
}

ReportService::ReportService(DataRoot root, database::Schemas schemas)
    : root_(std::move(root)), schemas_(std::make_shared<const database::Schemas>(std::move(schemas))) {}

std::shared_ptr<const database::Schemas> ReportService::schemas() const {
    if (schemas_) return schemas_;
    return std::make_shared<const database::Schemas>(database::loadSchemas(root_));
}

QList<database::Point> ReportService::points(const database::RegistrySearch& search) const {
    const auto layouts = schemas();
    if (!layouts->ok) return {};
    return database::Registry(root_, *layouts).search(search);
}

database::PointLookup ReportService::point(const QString& identifier) const {
    const auto layouts = schemas();
    // Layouts that do not load would open the registry with no fields at all.
    if (!layouts->ok) return database::PointLookup::failed(layouts->error);
    return database::Registry(root_, *layouts).find(identifier);
}

std::unique_ptr<ReportSource> ReportService::storedSource(const QString& identifier) const {
    return std::make_unique<DatabaseSource>(root_, schemas(), identifier);
}

QChar ReportService::csvDelimiter() const {
    return database::readCsvDelimiter(root_);
}

} // namespace tarn::reports
