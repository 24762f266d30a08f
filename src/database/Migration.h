#pragma once
// A whole installation's database copied from one Storage into another (the table files to a server's
// schema, or back), then checked table by table.
//
// What is copied: the registry, the gases, every registered point's table of each kind it has, and the
// join table of every day. A table that holds only its seed record is made on the other side all the
// same, so a point's empty archive stays "made". Rows go in the order of the table's own number, in
// batches of one transaction each, streamed from the source's query: a copy holds one batch at a time,
// never a whole table, so ten years of a point's hours take no more memory than a day's.
//
// The table's own running number (the AutoIncrement field) is not copied: on a server every point's
// rows of a kind share one sequence, so one point's numbers would collide with another's. The target
// numbers the rows itself, in the order they come, so that a point's rows keep their order, which is all
// the numbers are used for (the newest row, a key for one row inside its own table: nothing outside a
// table refers to them; groups name points by identifier, the join table's schedule row is a line of
// the schedule). Everything else is kept: every field of every row, in the same order.
//
// The check after the copy reads both sides again and compares, per table, the number of rows and a
// digest of their fields in order (the running number left out). The copy never merges: a target that
// already holds a point, a gas composition, or any table the copy would make is refused before anything
// is written, naming what is there.
#include "common/Error.h"
#include "database/Storage.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>

namespace tarn::database {

// One table's rows read as a comparison sees them: how many, and a digest of every field but the
// running number, row after row in the table's order (walked, never held whole). A text never written and an
// empty one are the same (both storages keep ""), as are a number, date or time never written and an empty
// one (a server column of those types holds no ""); a double is compared by its bits.
struct TableDigest {
    qint64 rows = 0;
    QByteArray digest;

    bool operator==(const TableDigest&) const = default;
};
std::optional<TableDigest> digestTable(const Table& table, Error& error);

// What was done with one kind of table.
struct KindTally {
    int tables = 0;     // logical tables copied (each point's, each day's, or the one shared)
    qint64 rows = 0;    // rows copied
    int checked = 0;    // tables whose count and digest were compared
    int mismatched = 0; // of them, those that differ
};

// A table whose copy does not read back as its original.
struct Mismatch {
    TableId id;
    QString location; // the target's, for messages
    TableDigest source;
    TableDigest target;
};

struct MigrationProgress {
    enum class Phase { Copy, Check };
    Phase phase = Phase::Copy;
    TableId id;
    qint64 rowsDone = 0;  // of this table
    qint64 rowsTotal = 0; // of this table
    int tablesDone = 0;   // tables of the phase finished before this one
    int tablesTotal = 0;
};

struct MigrationOptions {
    // Called after every batch written and every table checked.
    std::function<void(const MigrationProgress&)> progress;
    // Asked between batches: true ends the copy there, as a failure (what was written stays).
    std::function<bool()> stopRequested;
    int batchRows = 500;
    // The seed records the target's new tables are made with are stamped now.
    QDateTime now = QDateTime::currentDateTime();
};

struct MigrationReport {
    Error error;           // what stopped the copy or the check; none when both ran to the end
    QStringList occupied;  // the target already held these (points, gases, tables): nothing written
    QStringList points;    // the registered points copied, in the registry's order
    QList<QDate> joinDays; // the days whose join table was copied
    std::array<KindTally, kTableKinds> kinds{};
    QMap<QString, qint64> pointRows; // rows copied of each point's tables, by its identifier
    QList<Mismatch> mismatches;
    bool stopped = false;

    const KindTally& of(TableKind kind) const { return kinds[static_cast<int>(kind)]; }
    // The copy ran to its end and every table read back as its original.
    bool ok() const { return error.ok() && occupied.isEmpty() && mismatches.isEmpty() && !stopped; }
};

// Copies everything source holds into target and checks it. Both must have the same schemas.
MigrationReport migrateStorage(Storage& source, Storage& target, const MigrationOptions& options = {});

// The tables a copy of source walks: the registry, the gases, each registered point's tables of every
// kind it has (registry order, then kPointTables order), each day's join table (oldest first).
struct MigrationPlan {
    QStringList points;
    QList<QDate> joinDays;
    QList<TableId> tables;
};
std::optional<MigrationPlan> planMigration(Storage& source, Error& error);

// The name a kind goes by in messages and in tarn-cli's answer: "registry", "hourly", "join", …
QString migrationKindName(TableKind kind);

} // namespace tarn::database
