#pragma once
// One table of the database in its own file (so erasing a point, packages and folder synchronisation
// stay file operations). A file is created with its fields and its seed record the first time it is
// needed; the seed record (identifier "0") never appears in what select() returns. Every value is bound,
// never pasted into the SQL text.
#include "common/Error.h"
#include "database/Schema.h"
#include "database/Storage.h"

#include <QDateTime>
#include <QHash>
#include <QSqlDatabase>
#include <QVariant>
#include <memory>
#include <optional>

class QSqlError;
class QSqlQuery;

namespace tarn::database {

// Whole table files as packages and folder synchronisation move them. Each call opens the file on a
// connection of its own and closes it again.
//
// A consistent copy of the table file at source, written to target (which must not exist yet), with
// whatever the engine still holds in its journal folded in: a plain file copy of a table in use can
// miss the last rows or catch a page half written. NotFound when there is no source, Invalid when target
// is already there, Locked when another connection keeps the source from being read past the wait,
// Damaged when the source is no file of the engine or fails its quick check (a file cut short would
// otherwise come out as a smaller table that passes every check), Io when target cannot be written.
Error snapshotTableFile(const QString& source, const QString& target);
// A table file made elsewhere (a package, another installation's folder) never becomes ours as it is:
// it may carry triggers, views, indexes or other objects that would run against our data. The rows of
// its table (named as target's base name) are read from it opened read-only, each field of our schema
// by name and checked against the field's type, and written with bound values into a fresh file made
// from our schema beside target, which then replaces target. A missing field, a declared type other
// than ours, a value that is not of its field's type, a row that cannot be written or a fresh file that
// fails checkTableFile (rows of one point repeating a record number and time) refuses the whole file,
// and target stays as it was. Why, as a kind: NotFound when there is no foreign file, Damaged when it is
// no file of the engine or fails the engine's check, Invalid when our schema refuses it (or no table can
// be named after target), Io when the fresh file cannot be written or put in target's place.
Error copyRowsInto(const QString& foreignFile, const QList<FieldSpec>& fields, const QString& target);
// The same, with only the text of why.
bool copyRowsInto(const QString& foreignFile, const QList<FieldSpec>& fields, const QString& target,
                  QString* error);
// What can be wrong with a table file.
enum class TableFault {
    NotATableFile, // no file of the engine at all, or cut short before its first page ends
    Damaged,       // the engine's own integrity check fails
    NoTable,       // the file holds no table of its name
    ExtraObject,   // a trigger, view, index or another table beside the table
    MissingField,
    ExtraField,
    FieldType,     // a field declared with another type than ours
    FieldOrder,    // our fields, in another order: rows are read by position
    DuplicateRows, // rows of one point with the same record number and record time
};
struct TableFinding {
    TableFault fault;
    QString detail; // the object, the field or the number of rows concerned
};
// A table file against our schema: the engine's integrity check, nothing in the file but the table named
// as the file (table, or the file's base name), its fields ours in our order and with our types, and no
// two rows of one point with the same record number and time. Looks only; nothing is written.
QList<TableFinding> checkTableFile(const QString& path, const QList<FieldSpec>& fields,
                                   const QString& table = {});

// What a rebuild of a damaged file of our own kept: rows copied (the seed record not counted), rows left
// out because a value did not fit its field, and rows left out as repeats of an earlier row.
struct SalvageCount {
    int kept = 0;
    int leftOut = 0;
    int repeats = 0;
};
// copyRowsInto for a file of our own that the check found wrong: the same fresh file from our schema,
// the same typed and bound copy, but every row that can be read and fits is kept rather than the file
// refused: a field it lacks is left empty, a row with a value that does not fit its field and a repeat
// of an earlier row's (point, record number, record time) stay out, reading ends at the first page that
// cannot be read. A failure (target unchanged) when no rows could be read at all: NotFound, Damaged for
// a file that is no file of the engine or whose table cannot be read, Io when the fresh file cannot be
// written, Invalid when the rows kept still fail the check.
Error salvageRowsInto(const QString& damagedFile, const QList<FieldSpec>& fields, const QString& target,
                      SalvageCount* count = nullptr);
// The table a file relative to the data root holds ("Hour/h_t12345.db", "Data/Bd_Quon.DB",
// "Join/j_2403/j_240309.db"), by its folder and name in any case; nothing for another file.
std::optional<TableKind> tableKindOfFile(const QString& relative);
// The files the engine keeps beside a table file while it is in use. They belong to the file they sit
// beside: when the table file is replaced they must go first, or the engine would apply them to the new
// file.
QStringList tableCompanionFiles(const QString& path);
// Folds the journal of an existing table file into the file itself and removes the companion files;
// false when a companion file stays (the table is in use elsewhere).
bool settleTableFile(const QString& path);
// The same, saying why: Locked when a companion stays beside the file (another connection has it open),
// Io when one beside a file that is gone cannot be removed.
Error trySettleTableFile(const QString& path);
// Whether an existing table file can be used as it stands, looked at without creating or changing
// anything: NotFound when there is no file, Damaged when it is no file of the engine or fails the
// engine's quick check, Locked when another connection holds it in a write transaction past the wait.
Error probeTableFile(const QString& path);
// The kind of a failed statement by the engine's own result code: busy and locked are Locked, a
// corrupt file or no database at all Damaged, anything else Io; the text is the detail.
Error tableError(const QSqlError& error);

// The table file as the SQLite implementation of a Table.
class TableFile final : public Table {
public:
    // Opens the table's file, creating it (folders, fields, seed record) when it is missing. Nothing when
    // it cannot be opened or created; error says why.
    static std::unique_ptr<TableFile> open(const QString& path, TableKind kind,
                                           const QList<FieldSpec>& fields, QString* error = nullptr,
                                           const QDateTime& now = QDateTime::currentDateTime());
    // The same, with why as a kind: Damaged for a file that is no database of the engine, Locked for one
    // another connection holds past the wait, Io when its folder or file cannot be made.
    static std::unique_ptr<TableFile> open(const QString& path, TableKind kind,
                                           const QList<FieldSpec>& fields, Error& error,
                                           const QDateTime& now = QDateTime::currentDateTime());
    // Storage::greatestRowValue of an existing file, on a connection of its own that runs that one
    // query: nothing is created or set up, and only the one value is read. The key is the table's row
    // number (unique), so the row is the last one by it that is not the seed record.
    static QVariant greatestRowValue(const QString& path, const QList<FieldSpec>& fields,
                                     const QString& keyField, const QString& field);
    ~TableFile() override;
    TableFile(const TableFile&) = delete;
    TableFile& operator=(const TableFile&) = delete;

    const QString& path() const { return path_; }
    const QList<FieldSpec>& fields() const override { return fields_; }
    int position(const QString& field) const override;

    // Selections leave out the seed record; a selection that fails (the file locked past the wait, a
    // damaged file) says so in lastFailure.
    std::optional<QList<QVariantList>> trySelect(const QString& condition = {},
                                                 const QVariantList& values = {},
                                                 const QString& orderBy = {}) const override;
    std::optional<QList<QVariantList>> trySelectFields(const QStringList& fields,
                                                       const QString& condition = {},
                                                       const QVariantList& values = {}) const override;
    std::optional<QSqlQuery> listing() const override;
    std::optional<qint64> rowCount() const override;
    bool forEachRow(const QStringList& fields, const QString& condition, const QVariantList& values,
                    const QString& orderBy, const RowVisitor& visit) const override;
    QList<QVariantList> selectGreatest(const QString& field) const override;
    bool append(const QVariantMap& values) override;
    bool appendAt(const QList<int>& positions, const QVariantList& values) override;
    bool update(const QString& keyField, const QVariant& key, const QString& field,
                const QVariant& value) override;
    bool remove(const QString& keyField, const QVariant& key) override;
    // A write refused because another connection holds the file is Locked, a page that cannot be read
    // Damaged.
    const Error& lastFailure() const override { return failure_; }
    bool transaction() override;
    bool commit() override;
    void rollback() override;

private:
    TableFile(QString path, QString connection, QString table, QList<FieldSpec> fields);
    QSqlDatabase database() const;
    // The rows a prepared selection of columns fields gives, its values bound in order; nothing when it
    // failed (failure_ says why).
    std::optional<QList<QVariantList>> selectRows(const QString& sql, const QVariantList& values,
                                                  int columns) const;
    // The quoted names of fields (every field when none); nothing, with failure_ Invalid, for a field the
    // table does not have.
    std::optional<QStringList> quotedFields(const QStringList& fields) const;
    // " WHERE …": the seed record left out, and condition when there is one.
    QString whereClause(const QString& condition) const;
    QVariant fitted(int position, const QVariant& value) const;
    bool createWithSeed(TableKind kind, const QDateTime& now);

    QString path_;
    QString connection_;
    QString table_;
    QList<FieldSpec> fields_;
    mutable Error failure_;
    // A reading appends thousands of rows naming the same fields: their positions are looked up once,
    // and the INSERT is prepared once for that set of fields and used again while it stays the same.
    mutable QHash<QString, int> positions_;
    std::unique_ptr<QSqlQuery> insert_;
    QList<int> insertPositions_;
    // What the kept statement holds bound: a text the same as the last append's (the point's identifier,
    // the reading's time, the units) is not bound again, as binding through the driver costs more than
    // the comparison.
    QVariantList insertBound_;
};

} // namespace tarn::database
