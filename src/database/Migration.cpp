#include "database/Migration.h"

#include <QCryptographicHash>
#include <QSet>
#include <QtEndian>
#include <cstring>

namespace tarn::database {

namespace {

bool isEmptyValue(const QVariant& value) {
    return value.isNull() || !value.isValid() ||
           (value.typeId() == QMetaType::QString && value.toString().isEmpty());
}

// One field of a row as the digest takes it: a tag for what kind of value it is, then the value's own
// bytes. A value that does not read as its field's type goes in as its text under a tag of its own, so
// that it can only ever equal the same text on the other side, never a number it happens to parse to.
void addField(QCryptographicHash& hash, const FieldSpec& field, const QVariant& value) {
    char tag = 'N';
    QByteArray bytes;
    bool ok = false;
    switch (field.type) {
    case FieldType::AutoIncrement:
        return;
    case FieldType::Text:
        tag = 'T';
        bytes = value.toString().toUtf8();
        break;
    case FieldType::Integer:
        if (isEmptyValue(value)) break;
        if (const qlonglong n = value.toLongLong(&ok); ok) {
            tag = 'I';
            bytes = QByteArray::number(n);
        } else {
            tag = 'S';
            bytes = value.toString().toUtf8();
        }
        break;
    case FieldType::Float:
    case FieldType::Currency:
        if (isEmptyValue(value)) break;
        if (const double d = value.toDouble(&ok); ok) {
            // The bits, not a printed form: a copy that lost the last digit must not pass.
            tag = 'F';
            quint64 bits = 0;
            std::memcpy(&bits, &d, sizeof bits);
            bytes = QByteArray::number(bits, 16);
        } else {
            tag = 'S';
            bytes = value.toString().toUtf8();
        }
        break;
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::Timestamp:
        if (isEmptyValue(value)) break;
        tag = 'D';
        bytes = value.toString().toUtf8();
        break;
    }
    const quint32 size = qToBigEndian(static_cast<quint32>(bytes.size()));
    hash.addData(QByteArrayView(&tag, 1));
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(&size), sizeof size));
    hash.addData(bytes);
}

QString withLocation(const Storage& storage, const TableId& id, const QString& detail) {
    return storage.location(id) + QStringLiteral(": ") + detail;
}

// The identifiers of the registered points (or the names of the gases) a storage holds, in the order of
// the table's number; none when the table was never made.
std::optional<QStringList> namesIn(Storage& storage, TableKind kind, const QString& field, Error& error) {
    const TableId id{kind, {}, {}};
    if (!storage.exists(id)) return QStringList();
    auto table = storage.openExisting(id, error);
    if (!table) return std::nullopt;
    const int p = table->position(field);
    const auto rows = table->trySelect();
    if (!rows || p < 0) {
        error =
            rows ? Error(ErrorKind::Damaged, withLocation(storage, id, QStringLiteral("no field ") + field))
                 : Error(table->lastFailure().kind, withLocation(storage, id, table->lastError()));
        return std::nullopt;
    }
    QStringList names;
    for (const QVariantList& row : *rows)
        names.append(row.value(p).toString().trimmed());
    return names;
}

bool isShared(TableKind kind) {
    return kind == TableKind::Registry || kind == TableKind::Gas;
}

} // namespace

std::optional<TableDigest> digestTable(const Table& table, Error& error) {
    // Row by row as the query gives them: a table of ten years of hours is never held whole.
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const QList<FieldSpec>& fields = table.fields();
    qint64 rows = 0;
    const bool walked = table.forEachRow({}, {}, {}, {}, [&](const RowValues& row) {
        for (qsizetype i = 0; i < fields.size(); ++i)
            addField(hash, fields.at(i), row.value(static_cast<int>(i)));
        hash.addData(QByteArrayView("\n", 1));
        ++rows;
        return true;
    });
    if (!walked) {
        error = table.lastFailure();
        return std::nullopt;
    }
    return TableDigest{rows, hash.result()};
}

QString migrationKindName(TableKind kind) {
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
        return QStringLiteral("abnormal");
    case TableKind::Operative:
        return QStringLiteral("operative");
    case TableKind::Service:
        return QStringLiteral("service");
    case TableKind::Measurement:
        return QStringLiteral("measurement");
    case TableKind::Gas:
        return QStringLiteral("gas");
    case TableKind::RequestLog:
        return QStringLiteral("log");
    case TableKind::Join:
        return QStringLiteral("join");
    case TableKind::HeatDay:
        return QStringLiteral("heat-day");
    case TableKind::HeatMonth:
        return QStringLiteral("heat-month");
    }
    return {};
}

std::optional<MigrationPlan> planMigration(Storage& source, Error& error) {
    error = {};
    MigrationPlan plan;
    for (TableKind kind : {TableKind::Registry, TableKind::Gas})
        if (source.exists({kind, {}, {}})) plan.tables.append({kind, {}, {}});
    const auto points = namesIn(source, TableKind::Registry, QStringLiteral("kIdentif"), error);
    if (!points) return std::nullopt;
    QSet<QString> seen;
    for (const QString& point : *points) {
        // A point registered twice has one set of tables, copied once; its registry rows go as they are
        // (a server, which registers a point once, refuses the second, and the copy stops there).
        if (point.isEmpty() || seen.contains(point)) continue;
        seen.insert(point);
        plan.points.append(point);
        for (TableKind kind : kPointTables)
            if (source.exists({kind, point, {}})) plan.tables.append({kind, point, {}});
    }
    const auto days = source.joinDays(error);
    if (!days) return std::nullopt;
    plan.joinDays = *days;
    for (const QDate& day : *days)
        plan.tables.append({TableKind::Join, {}, day});
    return plan;
}

namespace {

class Migrator {
public:
    Migrator(Storage& source, Storage& target, const MigrationOptions& options)
        : source_(source), target_(target), options_(options) {}

    MigrationReport run() {
        const auto plan = planMigration(source_, report_.error);
        if (!plan) return report_;
        report_.points = plan->points;
        for (const QString& point : plan->points)
            report_.pointRows.insert(point, 0);
        report_.joinDays = plan->joinDays;
        if (!checkTargetEmpty(*plan) || !report_.occupied.isEmpty()) return report_;
        const int total = static_cast<int>(plan->tables.size());
        for (int i = 0; i < total; ++i) {
            if (!copy(plan->tables.at(i), i, total)) return report_;
        }
        for (int i = 0; i < total; ++i) {
            if (!check(plan->tables.at(i))) return report_;
            if (options_.progress)
                options_.progress({MigrationProgress::Phase::Check, plan->tables.at(i), 0, 0, i, total});
        }
        return report_;
    }

private:
    // Whatever the target already holds that the copy would add to: its points, its gases, and any
    // table the copy would make (a point's tables left without its registry row, a day's join table).
    bool checkTargetEmpty(const MigrationPlan& plan) {
        const auto points = namesIn(target_, TableKind::Registry, QStringLiteral("kIdentif"), report_.error);
        if (!points) return false;
        for (const QString& p : *points)
            report_.occupied.append(QStringLiteral("point ") + p);
        const auto gases = namesIn(target_, TableKind::Gas, QStringLiteral("gNameGas"), report_.error);
        if (!gases) return false;
        for (const QString& g : *gases)
            report_.occupied.append(QStringLiteral("gas ") + g);
        const QSet<QString> named(points->begin(), points->end());
        for (const TableId& id : plan.tables) {
            if (isShared(id.kind) || named.contains(id.identifier)) continue;
            if (!target_.exists(id)) continue;
            // Every installation makes today's join table when it starts, so a new installation made to
            // take a copy holds one already; empty, it takes the day's rows as a missing one would.
            if (id.kind == TableKind::Join && holdsNoRows(id)) continue;
            report_.occupied.append(target_.location(id));
        }
        return true;
    }

    bool holdsNoRows(const TableId& id) {
        Error why;
        const auto table = target_.openExisting(id, why);
        if (!table) return false;
        const std::optional<qint64> rows = table->rowCount();
        return rows && *rows == 0;
    }

    // The rows go as the source's query gives them, a batch of them in each of the target's
    // transactions: only one batch is ever held, however long the table.
    bool copy(const TableId& id, int done, int total) {
        Error why;
        auto from = source_.openExisting(id, why);
        if (!from) return fail(why, source_, id);
        const std::optional<qint64> count = from->rowCount();
        if (!count) return fail(from->lastFailure(), source_, id);
        auto to = target_.openTable(id, why, options_.now);
        if (!to) return fail(why, target_, id);
        if (to->fields() != from->fields())
            return fail({ErrorKind::Invalid, QStringLiteral("the two schemas differ")}, target_, id);

        // Every field but the table's own number, which the target gives.
        QList<int> positions;
        const QList<FieldSpec>& fields = from->fields();
        for (qsizetype i = 0; i < fields.size(); ++i)
            if (fields.at(i).type != FieldType::AutoIncrement) positions.append(static_cast<int>(i));

        KindTally& tally = report_.kinds[static_cast<int>(id.kind)];
        const bool ofPoint = !id.identifier.isEmpty() && !isShared(id.kind) && id.kind != TableKind::Join;
        const int batch = std::max(1, options_.batchRows);
        if (options_.progress)
            options_.progress({MigrationProgress::Phase::Copy, id, 0, *count, done, total});

        qint64 written = 0;
        int inBatch = 0;
        bool inTransaction = false;
        std::optional<Error> targetFailure;
        const auto endBatch = [&] {
            inTransaction = false;
            if (!to->commit()) {
                targetFailure = to->lastFailure();
                return false;
            }
            written += inBatch;
            tally.rows += inBatch;
            if (ofPoint) report_.pointRows[id.identifier] += inBatch;
            inBatch = 0;
            if (options_.progress)
                options_.progress({MigrationProgress::Phase::Copy, id, written, *count, done, total});
            return true;
        };
        QVariantList values;
        values.reserve(positions.size());
        const bool walked = from->forEachRow({}, {}, {}, {}, [&](const RowValues& row) {
            if (!inTransaction) {
                if (options_.stopRequested && options_.stopRequested()) {
                    report_.stopped = true;
                    return false;
                }
                if (!to->transaction()) {
                    targetFailure = to->lastFailure();
                    return false;
                }
                inTransaction = true;
            }
            values.clear();
            for (int p : positions)
                values.append(row.value(p));
            if (!to->appendAt(positions, values)) {
                targetFailure = to->lastFailure();
                to->rollback();
                inTransaction = false;
                return false;
            }
            return ++inBatch < batch || endBatch();
        });
        if (targetFailure) return fail(*targetFailure, target_, id);
        if (!walked) {
            if (inTransaction) to->rollback();
            return fail(from->lastFailure(), source_, id);
        }
        if (report_.stopped) {
            if (inTransaction) to->rollback();
            return false;
        }
        if (inTransaction && !endBatch()) return fail(*targetFailure, target_, id);
        ++tally.tables;
        return true;
    }

    bool check(const TableId& id) {
        Error why;
        auto from = source_.openExisting(id, why);
        if (!from) return fail(why, source_, id);
        auto to = target_.openExisting(id, why);
        if (!to) return fail(why, target_, id);
        const auto original = digestTable(*from, why);
        if (!original) return fail(why, source_, id);
        const auto copied = digestTable(*to, why);
        if (!copied) return fail(why, target_, id);
        KindTally& tally = report_.kinds[static_cast<int>(id.kind)];
        ++tally.checked;
        if (*original != *copied) {
            ++tally.mismatched;
            report_.mismatches.append({id, target_.location(id), *original, *copied});
        }
        return true;
    }

    bool fail(const Error& why, const Storage& where, const TableId& id) {
        report_.error = {why.kind == ErrorKind::None ? ErrorKind::Io : why.kind,
                         withLocation(where, id, why.detail)};
        return false;
    }

    Storage& source_;
    Storage& target_;
    const MigrationOptions& options_;
    MigrationReport report_;
};

} // namespace

MigrationReport migrateStorage(Storage& source, Storage& target, const MigrationOptions& options) {
    return Migrator(source, target, options).run();
}

} // namespace tarn::database
