#pragma once
// The Storage of an installation whose tables lie in a schema on a PostgreSQL server: one table per
// kind for every point (PgLayout), a point's logical table being its rows there (the column "point"),
// a day's join table the rows of that day (the column "day"), the registry and the gases whole.
//
// What stays as the table files have it, so that every caller reads the same values from either:
// - every logical table has the seed record the files are made with (identifier "0", never selected):
//   it is the mark that a point's table of a kind, or a day's join table, was made, so exists() and
//   openExisting() answer as they do for a file that holds no rows yet, and erasing takes it with the
//   rows;
// - dates, times and timestamps come back as the text the files hold ("yyyy-MM-dd", "HH:mm:ss",
//   "yyyy-MM-ddTHH:mm:ss"), and the columns of a listing carry the field names;
// - conditions and orders are taken as the callers write them for the files: a field name in double
//   quotes in any letter case is the field's column, and LIKE ignores the letter case as the files'
//   LIKE does.
//
// Numbers (the AutoIncrement field) come from one sequence per kind, shared by every point: a point's
// numbers still grow in the order its rows were written, which is all the callers ask of them (the
// newest row, a key for one row), but they are not consecutive within a point.
//
// Rows appended inside a transaction reach the server together, many in one statement, when the
// transaction commits or before anything reads or changes the table (a round trip per row would make a
// year of hourly records several times slower to store than into the table files), each column's values
// bound as one array of the column's type; a row the server refuses then fails the commit, and the
// transaction keeps nothing.
//
// Each Table works on a connection of its own, so that its transaction is its own as a table file's
// is. Connecting costs the server a process and a dozen round trips, so the connection of a table let go
// on the thread that opened the storage waits for the next table opened there (a report or a group
// summary opens a table per kind and member); it is tried with one statement before it is used again.
// A change another connection holds past the wait (TARN_DB_BUSY_WAIT_MS, five seconds) is Locked,
// a lost connection NoLink, a schema without the table's layout Damaged. A table whose connection was
// lost stays failed; the storage connects again for the next table it opens.
//
// Threads: the driver's connection belongs to the thread that made it, and window work opens tables on
// background workers. So a table's connection is made by the thread that opens the table (and asks there
// whether the table was made), and the storage's own connection answers only on the thread that opened
// the storage; exists() or erasePointTable() on another thread gets a short connection for that call.
// A table is used and let go on the thread that opened it, as a table file's connection is.
#include "database/Storage.h"
#include "database/postgres/PgConnection.h"

#include <memory>
#include <mutex>

class QSqlError;
class QThread;

namespace tarn::database::postgres {

// Connections of tables let go, for the next tables opened on the same thread.
class ConnectionPool;
// The server's types of the tables' columns, for the arrays rows are appended through.
class ColumnTypes;

// The kind of a failed statement by the server's SQLSTATE: another transaction's lock past the wait, a
// serialization failure or a deadlock are Locked; a connection that failed or was ended NoLink (as is
// a failure without any SQLSTATE, which only the client reports); a table or a page the server cannot
// read Damaged; a column the table does not have Invalid; anything else Io.
Error pgError(const QSqlError& error);

class PgTable;

class PgStorage final : public Storage {
public:
    // The installation's schema at url, made and brought to the program's version when needed. Nothing
    // when it cannot be reached or migrated; error says why. schemas must outlive the storage.
    static std::unique_ptr<PgStorage> open(const DatabaseUrl& url, const Schemas& schemas, Error& error);
    ~PgStorage() override;

    // Where the tables lie (no password: a URL never holds one).
    const DatabaseUrl& url() const { return url_; }

    const Schemas& schemas() const override { return schemas_; }
    std::unique_ptr<Table> openTable(const TableId& id, Error& error,
                                     const QDateTime& now = QDateTime::currentDateTime()) override;
    std::unique_ptr<Table> openExisting(const TableId& id, Error& error) override;
    // Whether the logical table was made: its seed record (or any row of it) is there.
    bool exists(const TableId& id) const override;
    // For messages: "postgresql://…?schema=name: hourly point t12345", "…: join_table day 2025-03-10".
    QString location(const TableId& id) const override;
    // The point's rows of the kind, its seed record with them, in one statement.
    Error erasePointTable(TableKind kind, const QString& identifier) override;
    // The days of the join table's rows, each day's seed record among them.
    std::optional<QList<QDate>> joinDays(Error& error) const override;
    // One statement for all the points: the row of each with the greatest keyField, the seed record
    // left out, as selectGreatest finds it point by point.
    QHash<QString, QVariant> greatestRowValues(TableKind kind, const QStringList& identifiers,
                                               const QString& keyField, const QString& field,
                                               const std::function<bool()>& stopped = {}) override;
    // Kept connections serve the storage's own thread only: on any other, every table opened connects
    // anew (a server process and a dozen round trips).
    bool opensTablesCheaplyOnAnyThread() const override { return false; }

private:
    PgStorage(std::unique_ptr<PgConnection> connection, const Schemas& schemas);
    // The storage's own connection, made again when the server ended it; for its own thread only.
    QSqlDatabase database() const;
    // A new connection to the schema for the calling thread, its lock wait limited.
    std::unique_ptr<PgConnection> newConnection(Error& error) const;
    // question on a connection of the calling thread: the storage's own on its thread (asked again once
    // on a new one when the server had ended it), a short one on any other.
    template <typename Question>
    auto ask(Error& error, Question question) const -> decltype(question(QSqlDatabase()));
    static std::optional<bool> made(const TableId& id, const QSqlDatabase& db, Error& error);
    std::unique_ptr<PgTable> openOn(const TableId& id, Error& error, bool create, const QDateTime& now);

    mutable std::mutex connectionMutex_;
    mutable std::unique_ptr<PgConnection> connection_;
    const DatabaseUrl url_;
    QThread* const owner_;
    const Schemas& schemas_;
    std::shared_ptr<ConnectionPool> pool_;
    std::shared_ptr<ColumnTypes> columnTypes_;
};

} // namespace tarn::database::postgres
