#include "database/GraphQueries.h"

#include "database/Registry.h"
#include "database/Storage.h"

#include <algorithm>

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
    return graphRecords(storage, kind, identifier, from, to, {});
}

StoredRecords graphRecords(Storage& storage, TableKind kind, const QString& identifier, const QDateTime& from,
                           const QDateTime& to, const QStringList& fields) {
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
    const QString condition = field + QStringLiteral(" >= ? AND ") + field + QStringLiteral(" <= ?");
    const QString order = quoted(kind, stamp) + QStringLiteral(", ") + quoted(kind, "Num");
    if (fields.isEmpty()) {
        out.rows = table->select(condition, bounds, order);
        return out;
    }
    // Only the fields asked for that the table has, the time and the number first.
    QList<FieldSpec> chosen;
    auto choose = [&](const QString& base) {
        const int at = out.column(base.toLatin1().constData());
        if (at < 0) return;
        const FieldSpec& f = out.fields.at(at);
        if (std::none_of(chosen.begin(), chosen.end(), [&](const FieldSpec& c) { return c.name == f.name; }))
            chosen.append(f);
    };
    choose(QLatin1String(stamp));
    choose(QStringLiteral("Num"));
    for (const QString& base : fields)
        choose(base);
    QStringList names;
    out.positions.clear();
    for (qsizetype i = 0; i < chosen.size(); ++i) {
        names.append(chosen.at(i).name);
        out.positions.insert(chosen.at(i).name.mid(1), static_cast<int>(i));
    }
    out.fields = chosen;
    const int columns = static_cast<int>(chosen.size());
    if (!table->forEachRow(names, condition, bounds, order, [&](const RowValues& row) {
            QVariantList values;
            values.reserve(columns);
            for (int c = 0; c < columns; ++c)
                values.append(row.value(c));
            out.rows.append(std::move(values));
            return true;
        }))
        out.rows.clear(); // a selection that failed shows as none, as select() gives it
    return out;
}

} // namespace tarn::database
