#pragma once
// The check of an installation's tables (tarn-cli db check, the database window's "check" entry): every
// table file against our schema (TableFile's checkTableFile), the registry against the point tables that
// lie in the folders, and on request the repair: each faulty file rebuilt by the same typed, bound
// copy-in that packages and synchronisation use, its original kept beside it, never deleted.
#include "database/TableFile.h"

#include <QDate>
#include <QDateTime>
#include <functional>

namespace tarn::database {

enum class FindingKind {
    // A table file's own faults, in TableFault's order.
    NotATableFile,
    Damaged,
    NoTable,
    ExtraObject,
    MissingField,
    ExtraField,
    FieldType,
    FieldOrder,
    DuplicateRows,
    // The registry against the folders.
    MissingTable, // a registered point (or the registry, the gas table) without its table file
    OrphanTable,  // a point's table file that no registry row names
};
// The stable names of the JSON answer ("extra-object", "duplicate-rows", …).
QString findingKindName(FindingKind kind);
// What the engineer reads, in the program's language.
QString findingKindText(FindingKind kind, int languageIndex);

struct Finding {
    QString file;  // relative to the data root, "/" separated
    QString table; // the table's name (h_t12345, Bd_Quon, j_240309)
    FindingKind kind = FindingKind::Damaged;
    QString detail; // the object, the field, the number of rows or the point concerned
    bool repaired = false;
    // The repair's account: where the original was kept, what the rebuilt table kept, or why the file
    // could not be rebuilt.
    QString keptAs; // relative to the data root
    SalvageCount rows;
    QString repairError;
};

struct CheckOptions {
    QString point;    // empty: the whole installation
    bool repair = false;
    QDate today;      // the join tables of this month
    QDateTime now;    // names the originals kept aside
    // After each table: how many are done of how many; false stops the check there.
    std::function<bool(int done, int total)> progress;
};

struct CheckReport {
    QList<Finding> findings;
    int tables = 0;      // table files looked at
    bool stopped = false;
    QString error;       // the check could not run (the schema files)
    int left() const;    // findings not repaired
};

// The registry, the gas table, every registered point's tables, the tables no registry row names and
// this month's join tables; with a point, the registry and that point's tables only.
CheckReport checkDatabase(const DataRoot& root, const Schemas& schemas, const CheckOptions& options);

// One short line per finding, and the closing line with the counts, in the program's language.
QString findingLine(const Finding& finding, int languageIndex);
QString checkSummaryText(const CheckReport& report, int languageIndex);

} // namespace tarn::database
