#include "database/GraphQueries.h"

#include "database/Registry.h"
#include "database/Storage.h"

namespace tarn::database {

namespace {

QString quoted(TableKind kind, const char* base) {
    return QLatin1Char('"') + QString(tableInfo(kind).fieldPrefix) + QLatin1String(base) + QLatin1Char('"');
}

} // namespace

const char* graphTimeField(TableKind kind) {
    return kind == TableKind::Measurement ? "DateTime" : "DT_Corr";
}

StoredRecords graphRecords(Storage& storage, TableKind kind, const QString& identifier, const QDateTime& from,
                           const QDateTime& to) {
    StoredRecords out;
    out.fields = storage.schemas().of(kind);
    for (qsizetype i = 0; i < out.fields.size(); ++i)
        out.positions.insert(out.fields.at(i).name.mid(1), static_cast<int>(i));
    const bool byDate = kind == TableKind::Daily || kind == TableKind::Monthly;
    if (!byDate && kind != TableKind::Hourly && kind != TableKind::Operative &&
        kind != TableKind::Measurement)
        return out;
    if (!isPointIdentifier(identifier)) return out;
    const auto table = storage.openExistingPoint(kind, identifier);
    if (!table) return out;
    const char* stamp = graphTimeField(kind);
    const char* selector = byDate ? "Date" : stamp;
    if (out.column(selector) < 0 || out.column(stamp) < 0 || out.column("Num") < 0) return out;
    const QString field = quoted(kind, selector);
    const QVariantList bounds = byDate ? QVariantList{storedDate(from.date()), storedDate(to.date())}
                                       : QVariantList{storedTimestamp(from), storedTimestamp(to)};
    out.rows = table->select(field + QStringLiteral(" >= ? AND ") + field + QStringLiteral(" <= ?"), bounds,
                             quoted(kind, stamp) + QStringLiteral(", ") + quoted(kind, "Num"));
    return out;
}

} // namespace tarn::database
