#pragma once
// The seam every reader and writer of the archive database goes through: storing a reading, the registry,
// the gases, the join tables, the group selections, the reports, the listings, the graphs, the protocols
// and the request log ask a Storage for the logical table of a kind (a point's, a day's or a shared one)
// and work on that Table. How tables are kept stays behind it: SqliteStorage keeps one file per table (per
// point for the per-point kinds); a server database keeps one table per kind with a point column.
//
// What stays on the table files themselves, outside this seam, is what only makes sense for files: the
// database check and its repairs (DatabaseCheck), a point's package (sync/PointPackage) and folder
// synchronisation, and the snapshot, copy and salvage of whole files (TableFile.h).
//
// Conditions and orders are SQL fragments on the table's own field names, with "?" for every value and
// nothing an engine of its own would not understand: comparisons, AND/OR/NOT, IN, LIKE, UPPER, and field
// lists in ORDER BY. Never a table name: a table's name is the implementation's business.
#include "common/Error.h"
#include "database/Schema.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QSqlQuery>
#include <QVariant>
#include <array>
#include <functional>
#include <memory>
#include <optional>

namespace tarn::database {

// How values are kept: dates "yyyy-MM-dd", times "HH:mm:ss", timestamps "yyyy-MM-ddTHH:mm:ss", so that
// text order is time order.
QString storedDate(const QDate& date);
QString storedTime(const QTime& time);
QString storedTimestamp(const QDateTime& stamp);
// A stored timestamp read back, as QDateTime::fromString(text, Qt::ISODate) reads it, but digit by digit
// for the kept form: a graph of a year reads 8760 of them.
QDateTime timestampFromStored(const QString& text);
// 01.01.2000 00:00: the timestamp that stands for "none".
QDateTime noTimestamp();

// The seed record of a new table of kind: its identifier (and every text) "0", the join table's texts
// "--", its clock fields now. Whatever keeps tables makes one with each table, and it marks the table as
// made even while it holds no rows.
QVariantMap seedRecord(TableKind kind, const QList<FieldSpec>& fields, const QDateTime& now);
// Whether field is the one whose "0" tells the seed record from the rows (the point's identifier, the
// gas's name).
bool marksSeedRecord(const FieldSpec& field);

// One row of a forEachRow walk, read where it stands in the query: the values of the fields the walk
// named, by their place in that list. A NULL, and a place below zero (a field the caller knows the table
// may lack), read as no value, whatever the engine types its NULLs as. Valid only inside the visit it is
// handed to.
class RowValues {
public:
    explicit RowValues(const QSqlQuery& query) : query_(query) {}
    QVariant value(int place) const {
        if (place < 0) return {};
        // One call into the driver, not two: a value the engine holds as NULL comes as a null variant
        // (of whatever type), the same test isNull(place) makes.
        QVariant v = query_.value(place);
        if (v.isNull()) return {};
        return v;
    }

private:
    const QSqlQuery& query_;
};
using RowVisitor = std::function<bool(const RowValues&)>;

// What a caller does with one logical table. The seed record a table is created with (identifier "0")
// never appears in a selection, is never counted and is never the greatest of anything.
class Table {
public:
    virtual ~Table() = default;

    virtual const QList<FieldSpec>& fields() const = 0;
    // The field's position (0-based) by its name in any letter case; -1 when the table has none.
    virtual int position(const QString& field) const = 0;

    // The rows, each as its values in field order, that meet condition (on field names, "?" for each of
    // values), in orderBy's order (the first field's when empty). Nothing when the selection failed:
    // lastFailure says why.
    virtual std::optional<QList<QVariantList>> trySelect(const QString& condition = {},
                                                         const QVariantList& values = {},
                                                         const QString& orderBy = {}) const = 0;
    // The same rows, or none when the selection failed, as an empty table would give: for callers that
    // only show rows. Whoever decides anything on "no rows" uses trySelect.
    QList<QVariantList> select(const QString& condition = {}, const QVariantList& values = {},
                               const QString& orderBy = {}) const {
        return trySelect(condition, values, orderBy).value_or(QList<QVariantList>());
    }
    // Every row in the order of the first field, as a query a view fetches from as it scrolls (a year of
    // hourly rows is never copied whole). The query runs on the table's own connection and must be let
    // go before the table is. Nothing when it failed: lastFailure says why.
    virtual std::optional<QSqlQuery> listing() const = 0;
    // Only the named fields of the rows that meet condition, in no particular order: for a caller that
    // needs a few fields of many rows (the record keys already stored) and not whole rows in order.
    // Nothing when the selection failed: lastFailure says why.
    virtual std::optional<QList<QVariantList>> trySelectFields(const QStringList& fields,
                                                               const QString& condition = {},
                                                               const QVariantList& values = {}) const;
    // The named fields (every field, in field order, when none is named) of the rows that meet condition,
    // in orderBy's order (the first field's when empty), handed to visit one at a time as the query
    // gives them: for a caller that reduces many rows (ten years of hours into gas days) and need never
    // hold them all, nor the fields it does not read. visit returns false to stop there. False when the
    // selection failed, before or during the walk: lastFailure says why (the rows visited until then
    // were real rows).
    virtual bool forEachRow(const QStringList& fields, const QString& condition, const QVariantList& values,
                            const QString& orderBy, const RowVisitor& visit) const = 0;
    // How many rows the table holds (the seed record not counted), without reading them into memory;
    // nothing when the count failed: lastFailure says why. By default a walk over the first field; the
    // engines ask their own count.
    virtual std::optional<qint64> rowCount() const;
    // The rows holding the greatest value of field (the newest number, the latest time); none when the
    // table holds no rows or the selection failed.
    virtual QList<QVariantList> selectGreatest(const QString& field) const = 0;

    // A new row from values by field name; fields not named stay empty; the number is the table's own.
    // Text values are cut to their field's width.
    virtual bool append(const QVariantMap& values) = 0;
    // The same as append for many rows naming the same fields: their positions (from position()) once,
    // each row's values in that order.
    virtual bool appendAt(const QList<int>& positions, const QVariantList& values);
    // The field of the rows whose key field has the key.
    virtual bool update(const QString& keyField, const QVariant& key, const QString& field,
                        const QVariant& value) = 0;
    virtual bool remove(const QString& keyField, const QVariant& key) = 0;

    // One transaction around many changes: all of them, or none.
    virtual bool transaction() = 0;
    virtual bool commit() = 0;
    virtual void rollback() = 0;

    // The last failure with its kind: Locked when another connection holds the table past the wait,
    // Damaged when what it is kept in cannot be read, Invalid for a field the table does not have.
    virtual const Error& lastFailure() const = 0;
    QString lastError() const { return lastFailure().detail; }

protected:
    // append for an implementation whose appendAt does the work: the named fields' positions, or, for a
    // field the table does not have, failure set (naming it and the table) and nothing appended.
    bool appendByName(const QVariantMap& values, const QString& table, Error& failure);
};

// The per-point tables a new point gets: the request log, the seven archives, the measurement and
// the heat energy of days and months.
inline constexpr std::array<TableKind, 11> kPointTables = {
    TableKind::RequestLog,  TableKind::Hourly,       TableKind::Daily,     TableKind::Monthly,
    TableKind::Alarm,       TableKind::Interference, TableKind::Operative, TableKind::Service,
    TableKind::Measurement, TableKind::HeatDay,      TableKind::HeatMonth};

// Which table: the kind, the point's identifier for the per-point kinds, the day for the join table.
// Whatever does not count for the kind is ignored.
struct TableId {
    TableKind kind = TableKind::Registry;
    QString identifier;
    QDate day;
};

class Storage {
public:
    virtual ~Storage() = default;

    // The fields of each kind, as the schema files declared them.
    virtual const Schemas& schemas() const = 0;

    // The table, created with its seed record when it is missing. Nothing when it can neither be opened
    // nor created; error says why (Locked, Damaged, Io). now stamps a new table's seed record.
    virtual std::unique_ptr<Table> openTable(const TableId& id, Error& error,
                                             const QDateTime& now = QDateTime::currentDateTime()) = 0;
    // The table only when it is there: NotFound, and nothing created, when it is not.
    virtual std::unique_ptr<Table> openExisting(const TableId& id, Error& error) = 0;
    virtual bool exists(const TableId& id) const = 0;
    // Where the table is kept, for messages ("…/Hour/h_t12345.db").
    virtual QString location(const TableId& id) const = 0;

    // A point's tables of every kind of kPointTables, each made with its seed record when missing; the first
    // that cannot be made stops and says why.
    Error createPointTables(const QString& identifier, const QDateTime& now = QDateTime::currentDateTime());
    // A point's table of one kind and everything the implementation keeps beside it, gone; a table
    // already missing counts as erased. The failure's detail names what stayed.
    virtual Error erasePointTable(TableKind kind, const QString& identifier) = 0;
    // The days whose join table was made, oldest first: what a copy of the whole database walks, as
    // the points are walked through the registry. Nothing when they cannot be listed; error says why.
    virtual std::optional<QList<QDate>> joinDays(Error& error) const = 0;

    // Of the point's table of kind, the value of field in the row with the greatest keyField, as
    // selectGreatest finds that row (the seed record left out): invalid when the table is missing, holds
    // no rows, cannot be read or has no such field. A read only: a missing table is not made. Here
    // through openExisting and selectGreatest; the table files answer it on a connection that does
    // nothing else, for a caller that asks it of many tables in a row (the console's day board).
    virtual QVariant greatestRowValue(TableKind kind, const QString& identifier, const QString& keyField,
                                      const QString& field);
    // greatestRowValue of many points' tables of one kind: for each identifier the value, a point that
    // would get an invalid one left out. Here one point after another, asking stopped (when given)
    // before each and ending there with what was read so far; a server answers it in one statement.
    virtual QHash<QString, QVariant> greatestRowValues(TableKind kind, const QStringList& identifiers,
                                                       const QString& keyField, const QString& field,
                                                       const std::function<bool()>& stopped = {});
    // Whether a table is opened as cheaply on any thread as on the one that made the storage. True for
    // the table files (a file is opened whoever asks); a caller that opens many small tables in a row
    // off that thread (the day board's worker) stays on it where it is not.
    virtual bool opensTablesCheaplyOnAnyThread() const { return true; }

    // The same calls for the common shapes of a table id.
    std::unique_ptr<Table> openShared(TableKind kind, Error& error);
    std::unique_ptr<Table> openPoint(TableKind kind, const QString& identifier, Error& error,
                                     const QDateTime& now = QDateTime::currentDateTime());
    std::unique_ptr<Table> openExistingPoint(TableKind kind, const QString& identifier);
};

class SqliteStorage final : public Storage {
public:
    // Tables under root as TableFile keeps them: Data/Bd_Quon.DB, Hour/h_<id>.db, Join/j_YYMM/j_YYMMDD.db.
    // schemas must outlive the storage.
    SqliteStorage(DataRoot root, const Schemas& schemas);

    const DataRoot& root() const { return root_; }
    const Schemas& schemas() const override { return schemas_; }
    std::unique_ptr<Table> openTable(const TableId& id, Error& error,
                                     const QDateTime& now = QDateTime::currentDateTime()) override;
    std::unique_ptr<Table> openExisting(const TableId& id, Error& error) override;
    bool exists(const TableId& id) const override;
    QString location(const TableId& id) const override;
    Error erasePointTable(TableKind kind, const QString& identifier) override;
    QVariant greatestRowValue(TableKind kind, const QString& identifier, const QString& keyField,
                              const QString& field) override;
    // Join/j_YYMM/j_YYMMDD.db by its name; a file named otherwise is not a day's table.
    std::optional<QList<QDate>> joinDays(Error& error) const override;

private:
    QString path(const TableId& id) const;

    DataRoot root_;
    const Schemas& schemas_;
};

} // namespace tarn::database
