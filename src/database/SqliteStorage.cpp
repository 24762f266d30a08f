#include "database/Storage.h"
#include "database/TableFile.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>

namespace tarn::database {

std::optional<QList<QVariantList>> Table::trySelectFields(const QStringList& fields, const QString& condition,
                                                          const QVariantList& values) const {
    QList<int> positions;
    for (const QString& field : fields)
        positions.append(position(field));
    auto rows = trySelect(condition, values);
    if (!rows) return rows;
    QList<QVariantList> out;
    out.reserve(rows->size());
    for (const QVariantList& row : *rows) {
        QVariantList picked;
        for (int p : positions)
            picked.append(row.value(p));
        out.append(picked);
    }
    return out;
}

std::optional<qint64> Table::rowCount() const {
    qint64 rows = 0;
    const bool walked = forEachRow({fields().value(0).name}, {}, {}, {}, [&rows](const RowValues&) {
        ++rows;
        return true;
    });
    if (!walked) return std::nullopt;
    return rows;
}

bool Table::appendAt(const QList<int>& positions, const QVariantList& values) {
    QVariantMap byName;
    for (qsizetype i = 0; i < positions.size(); ++i)
        byName.insert(fields().value(positions.at(i)).name, values.value(i));
    return append(byName);
}

bool Table::appendByName(const QVariantMap& values, const QString& table, Error& failure) {
    QList<int> positions;
    QVariantList ordered;
    positions.reserve(values.size());
    ordered.reserve(values.size());
    for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
        const int p = position(it.key());
        if (p < 0) {
            failure = {ErrorKind::Invalid,
                       QStringLiteral("no field ") + it.key() + QStringLiteral(" in ") + table};
            return false;
        }
        positions.append(p);
        ordered.append(it.value());
    }
    return appendAt(positions, ordered);
}

Error Storage::createPointTables(const QString& identifier, const QDateTime& now) {
    for (TableKind kind : kPointTables) {
        Error why;
        if (!openTable({kind, identifier, {}}, why, now)) return why;
    }
    return {};
}

std::unique_ptr<Table> Storage::openShared(TableKind kind, Error& error) {
    return openTable({kind, {}, {}}, error);
}

std::unique_ptr<Table> Storage::openPoint(TableKind kind, const QString& identifier, Error& error,
                                          const QDateTime& now) {
    return openTable({kind, identifier, {}}, error, now);
}

std::unique_ptr<Table> Storage::openExistingPoint(TableKind kind, const QString& identifier) {
    Error ignored;
    return openExisting({kind, identifier, {}}, ignored);
}

QVariant Storage::greatestRowValue(TableKind kind, const QString& identifier, const QString& keyField,
                                   const QString& field) {
    const auto table = openExistingPoint(kind, identifier);
    if (!table) return {};
    const QList<QVariantList> rows = table->selectGreatest(keyField);
    const int p = table->position(field);
    if (rows.isEmpty() || p < 0) return {};
    return rows.first().value(p);
}

QHash<QString, QVariant> Storage::greatestRowValues(TableKind kind, const QStringList& identifiers,
                                                    const QString& keyField, const QString& field,
                                                    const std::function<bool()>& stopped) {
    QHash<QString, QVariant> values;
    for (const QString& identifier : identifiers) {
        if (stopped && stopped()) break;
        if (const QVariant v = greatestRowValue(kind, identifier, keyField, field); v.isValid())
            values.insert(identifier, v);
    }
    return values;
}

SqliteStorage::SqliteStorage(DataRoot root, const Schemas& schemas)
    : root_(std::move(root)), schemas_(schemas) {}

QString SqliteStorage::path(const TableId& id) const {
    // The join table of a day not given is today's, as it is for the one who asks without a day.
    return tablePath(root_, id.kind, id.identifier, id.day.isValid() ? id.day : QDate::currentDate());
}

std::unique_ptr<Table> SqliteStorage::openTable(const TableId& id, Error& error, const QDateTime& now) {
    return TableFile::open(path(id), id.kind, schemas_.of(id.kind), error, now);
}

std::unique_ptr<Table> SqliteStorage::openExisting(const TableId& id, Error& error) {
    const QString file = path(id);
    if (!QFile::exists(file)) {
        error = {ErrorKind::NotFound, file};
        return nullptr;
    }
    return TableFile::open(file, id.kind, schemas_.of(id.kind), error);
}

bool SqliteStorage::exists(const TableId& id) const {
    return QFile::exists(path(id));
}

QString SqliteStorage::location(const TableId& id) const {
    return path(id);
}

Error SqliteStorage::erasePointTable(TableKind kind, const QString& identifier) {
    const QString file = path({kind, identifier, {}});
    // The engine's companion files go first: left behind, the engine would apply them to a new file of
    // the same name.
    for (const QString& f : {file + QStringLiteral("-wal"), file + QStringLiteral("-shm"), file})
        if (QFile::exists(f) && !QFile::remove(f)) return {ErrorKind::Io, f};
    return {};
}

QVariant SqliteStorage::greatestRowValue(TableKind kind, const QString& identifier, const QString& keyField,
                                         const QString& field) {
    const QString file = path({kind, identifier, {}});
    if (!QFile::exists(file)) return {};
    return TableFile::greatestRowValue(file, schemas_.of(kind), keyField, field);
}

std::optional<QList<QDate>> SqliteStorage::joinDays(Error& error) const {
    error = {};
    QList<QDate> days;
    const QDir join(root_.dir(tableInfo(TableKind::Join).folder));
    if (!join.exists()) return days; // no polling yet: no day has a table
    // The folder and the file must agree on the month: a file copied into another month's folder would
    // be looked for under its own month and never found there.
    static const QRegularExpression kMonth(QStringLiteral("^j_(\\d{2})(\\d{2})$"));
    static const QRegularExpression kDay(QStringLiteral("^j_(\\d{2})(\\d{2})(\\d{2})\\.db$"));
    for (const QString& month : join.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const auto m = kMonth.match(month);
        if (!m.hasMatch()) continue;
        const QDir folder(join.filePath(month));
        if (!folder.isReadable()) {
            error = {ErrorKind::Io, folder.path()};
            return std::nullopt;
        }
        for (const QString& file : folder.entryList(QDir::Files, QDir::Name)) {
            const auto d = kDay.match(file);
            if (!d.hasMatch() || d.captured(1) != m.captured(1) || d.captured(2) != m.captured(2)) continue;
            const QDate day(2000 + d.captured(1).toInt(), d.captured(2).toInt(), d.captured(3).toInt());
            if (day.isValid()) days.append(day);
        }
    }
    std::sort(days.begin(), days.end());
    return days;
}

} // namespace tarn::database
