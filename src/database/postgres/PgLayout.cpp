#include "database/postgres/PgLayout.h"

namespace tarn::database::postgres {

QString tableName(TableKind kind) {
    switch (kind) {
    case TableKind::Registry:
        return QStringLiteral("registry");
    case TableKind::Hourly:
        return QStringLiteral("hourly");
    case TableKind::Daily:
        return QStringLiteral("daily");
    case TableKind::Monthly:
        return QStringLiteral("monthly");
    case TableKind::Interference:
        return QStringLiteral("interference");
    case TableKind::Alarm:
        return QStringLiteral("alarm");
    case TableKind::Operative:
        return QStringLiteral("operative");
    case TableKind::Service:
        return QStringLiteral("service");
    case TableKind::Measurement:
        return QStringLiteral("measurement");
    case TableKind::Gas:
        return QStringLiteral("gas");
    case TableKind::RequestLog:
        return QStringLiteral("request_log");
    case TableKind::Join:
        return QStringLiteral("join_table");
    case TableKind::HeatDay:
        return QStringLiteral("heat_day");
    case TableKind::HeatMonth:
        return QStringLiteral("heat_month");
    }
    return {};
}

QString columnName(const QString& fieldName) {
    return fieldName.toLower();
}

bool hasPointColumn(TableKind kind) {
    return kind != TableKind::Registry && kind != TableKind::Gas && kind != TableKind::Join;
}

} // namespace tarn::database::postgres
