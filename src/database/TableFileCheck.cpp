// A table file looked at or copied whole, outside the connection a Table keeps: the consistent copy, the
// rows of a foreign or damaged file taken into a fresh one of our schema, the check, the settling of its
// journal and the probe of a file in use.
#include "database/TableFile.h"
#include "database/TableFileEngine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>
#include <QUuid>

#include <atomic>
#include <filesystem>

namespace tarn::database {

using engine::busyWaitMs;
using engine::columnType;
using engine::quoted;

namespace {

// A connection of its own for one look at a file; closed and removed when it goes.
class OneShotConnection {
public:
    // readOnly: a file nobody else writes, looked at without a lock, a journal or a write of any kind.
    explicit OneShotConnection(const QString& path, bool readOnly = false)
        : name_(QStringLiteral("tarn-file-%1").arg(engine::nextConnectionNumber())) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        if (readOnly) {
            QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
            url.setQuery(QStringLiteral("mode=ro&immutable=1"));
            db.setDatabaseName(url.toString(QUrl::FullyEncoded));
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
        } else {
            db.setDatabaseName(path);
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyWaitMs()));
        }
        open_ = db.open();
        if (!open_) failure_ = tableError(db.lastError());
    }
    ~OneShotConnection() {
        {
            QSqlDatabase db = QSqlDatabase::database(name_, false);
            if (db.isOpen()) db.close();
        }
        QSqlDatabase::removeDatabase(name_);
    }
    OneShotConnection(const OneShotConnection&) = delete;
    OneShotConnection& operator=(const OneShotConnection&) = delete;
    bool isOpen() const { return open_; }
    const QString& error() const { return failure_.detail; }
    const Error& failure() const { return failure_; }
    QSqlDatabase database() const { return QSqlDatabase::database(name_, false); }

private:
    QString name_;
    bool open_ = false;
    Error failure_;
};

} // namespace

Error snapshotTableFile(const QString& source, const QString& target) {
    if (!QFileInfo(source).isFile()) return {ErrorKind::NotFound, QStringLiteral("no file ") + source};
    if (QFileInfo::exists(target)) return {ErrorKind::Invalid, QStringLiteral("already there: ") + target};
    OneShotConnection c(source);
    if (!c.isOpen()) return c.failure();
    QSqlQuery q(c.database());
    q.setForwardOnly(true);
    // The copy reads whatever pages there are: a file cut short would come out as a smaller table that
    // passes every check, its lost rows lost for good. The engine's quick check looks first.
    if (!q.exec(QStringLiteral("PRAGMA quick_check(1)"))) return tableError(q.lastError());
    if (q.next() && q.value(0).toString() != QLatin1String("ok"))
        return {ErrorKind::Damaged, QStringLiteral("damaged table file: ") + source};
    if (q.lastError().isValid()) return tableError(q.lastError());
    q.finish();
    // The file name is a value like any other: bound, never pasted into the statement. The engine's own
    // code tells a source held by another writer (busy) or one that is no database (not a database) from
    // a target it cannot create (cannot open).
    if (!q.prepare(QStringLiteral("VACUUM INTO ?"))) return tableError(q.lastError());
    q.addBindValue(target);
    if (!q.exec()) return tableError(q.lastError());
    q.finish();
    return {};
}

namespace {

// The engine's header and at least one whole page (512 bytes is the smallest): a file cut shorter is
// no table file whatever its first bytes say.
bool isEngineFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 512) return false;
    static const QByteArray kHeader("SQLite format 3\0", 16);
    return file.read(16) == kHeader;
}

// A value read from a foreign table that fits the field: the engine's own storage class, never a
// conversion that could turn text into a number or a blob into anything.
bool fitsField(const FieldSpec& f, const QString& storage) {
    if (storage == QLatin1String("blob")) return false;
    if (storage == QLatin1String("null")) return f.type != FieldType::AutoIncrement;
    switch (f.type) {
    case FieldType::AutoIncrement:
    case FieldType::Integer:
        return storage == QLatin1String("integer");
    case FieldType::Float:
    case FieldType::Currency:
        return storage == QLatin1String("integer") || storage == QLatin1String("real");
    case FieldType::Text:
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::Timestamp:
        return storage == QLatin1String("text");
    }
    return false;
}

bool plainTableName(const QString& table) {
    if (table.isEmpty()) return false;
    for (const QChar c : table)
        if (!(c.isLetterOrNumber() || c == QLatin1Char('_'))) return false;
    return true;
}

} // namespace

namespace {

// The fields that make a stored record one record: the point, the corrector's record number and the
// record's time. Tables without a record number (registry, gas, log, measurement, join) have none.
struct RecordKey {
    int identifier = -1;
    int number = -1;
    int stamp = -1;
    bool valid() const { return identifier >= 0 && number >= 0 && stamp >= 0; }
};
RecordKey recordKeyOf(const QList<FieldSpec>& fields) {
    RecordKey key;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const QString base = fields.at(i).name.mid(1);
        if (base == QLatin1String("Identif")) key.identifier = static_cast<int>(i);
        if (base == QLatin1String("NumWrCor")) key.number = static_cast<int>(i);
        if (base == QLatin1String("DT_Corr")) key.stamp = static_cast<int>(i);
    }
    return key;
}

QString faultLine(const QString& file, const TableFinding& f) {
    static const char* const kNames[] = {"not a table file", "damaged",       "no table",
                                         "extra object",     "missing field", "extra field",
                                         "field type",       "field order",   "repeated rows"};
    return file + QStringLiteral(": ") + QLatin1String(kNames[static_cast<int>(f.fault)]) +
           (f.detail.isEmpty() ? QString() : QStringLiteral(" ") + f.detail);
}

struct ForeignRows {
    QList<QVariantList> rows;
    SalvageCount count;
};

// The rows of table in file, each of our fields by name. Strict: any fault refuses the file. Salvage:
// what can be read and fits is kept, the rest counted.
// Why is told as a kind: a file that is not there, one that is no file of the engine or cannot be read
// (Damaged), and one that is read well but is not ours to take (Invalid).
std::optional<ForeignRows> readForeignRows(const QString& file, const QList<FieldSpec>& fields,
                                           const QString& table, bool salvage, Error& error) {
    auto refuse = [&error](ErrorKind kind, const QString& why) {
        error = {kind, why};
        return std::optional<ForeignRows>();
    };
    auto failed = [&error](const QSqlError& why) {
        error = tableError(why);
        return std::optional<ForeignRows>();
    };
    if (!isEngineFile(file))
        return refuse(QFileInfo::exists(file) ? ErrorKind::Damaged : ErrorKind::NotFound,
                      QStringLiteral("not a table file: ") + file);
    ForeignRows out;
    OneShotConnection c(file, true);
    if (!c.isOpen()) {
        error = c.failure();
        return std::nullopt;
    }
    QSqlQuery q(c.database());
    q.setForwardOnly(true);
    if (!salvage) {
        if (!q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next() ||
            q.value(0).toString() != QLatin1String("ok"))
            return refuse(ErrorKind::Damaged, QStringLiteral("damaged table file: ") + file);
        q.finish();
    }
    // Only a real table of that name: a view of that name would run its own query.
    q.prepare(QStringLiteral("SELECT type FROM sqlite_master WHERE name = ? COLLATE NOCASE"));
    q.addBindValue(table);
    if (!q.exec() || !q.next() || q.value(0).toString() != QLatin1String("table")) {
        // A schema page that cannot be read, or a file of our own that lost its table, is damaged; a
        // foreign file read well that has no such table is refused.
        const bool unread = q.lastError().isValid();
        return refuse(unread || salvage ? ErrorKind::Damaged : ErrorKind::Invalid,
                      QStringLiteral("no table ") + table + QStringLiteral(" in ") + file);
    }
    q.finish();
    QHash<QString, std::pair<QString, bool>> declared; // lower-case name: type, primary key
    q.prepare(QStringLiteral("SELECT name, type, pk FROM pragma_table_info(?)"));
    q.addBindValue(table);
    if (!q.exec()) return failed(q.lastError());
    while (q.next())
        declared.insert(q.value(0).toString().toLower(),
                        {q.value(1).toString().toUpper(), q.value(2).toInt() > 0});
    q.finish();
    QStringList columns;
    QList<bool> present;
    for (const FieldSpec& f : fields) {
        const auto d = declared.constFind(f.name.toLower());
        present.append(d != declared.constEnd());
        if (d == declared.constEnd()) {
            if (!salvage)
                return refuse(ErrorKind::Invalid,
                              QStringLiteral("no field ") + f.name + QStringLiteral(" in ") + file);
            columns.append(QStringLiteral("'null', NULL"));
            continue;
        }
        const QString ours =
            f.type == FieldType::AutoIncrement ? QStringLiteral("INTEGER") : columnType(f.type);
        if (!salvage && (d->first != ours || d->second != (f.type == FieldType::AutoIncrement)))
            return refuse(ErrorKind::Invalid,
                          QStringLiteral("field %1 is %2, not %3 in %4").arg(f.name, d->first, ours, file));
        columns.append(QStringLiteral("typeof(") + quoted(f.name) + QStringLiteral("), ") + quoted(f.name));
    }
    if (!salvage && declared.size() != fields.size())
        return refuse(ErrorKind::Invalid, QStringLiteral("%1 fields instead of %2 in %3")
                                              .arg(declared.size())
                                              .arg(fields.size())
                                              .arg(file));
    // A damaged file is read in the order its rows lie: a sort would need every page before the first row.
    // Salvage reads each row's rowid too (the first column), to look for the rows past a page it cannot
    // read.
    const QString selected =
        (salvage ? QStringLiteral("_rowid_, ") : QString()) + columns.join(QStringLiteral(", "));
    const int first = salvage ? 1 : 0;
    const QString order = salvage ? QString() : QStringLiteral(" ORDER BY ") + quoted(fields.first().name);
    if (!q.exec(QStringLiteral("SELECT ") + selected + QStringLiteral(" FROM ") + quoted(table) + order))
        return failed(q.lastError());
    const RecordKey key = recordKeyOf(fields);
    QSet<QString> seen;
    // One row as the query holds it; false for a strict read that must refuse the file.
    std::optional<ForeignRows> refusal;
    auto take = [&](const QSqlQuery& row) {
        QVariantList values;
        values.reserve(fields.size());
        bool fits = true;
        for (qsizetype i = 0; i < fields.size(); ++i) {
            const QString storage = row.value(static_cast<int>(first + 2 * i)).toString();
            if (present.at(i) && !fitsField(fields.at(i), storage)) {
                if (!salvage) {
                    refusal = refuse(
                        ErrorKind::Invalid,
                        QStringLiteral("a %1 value in field %2 of %3").arg(storage, fields.at(i).name, file));
                    return false;
                }
                fits = false;
            }
            values.append(present.at(i) ? row.value(static_cast<int>(first + 2 * i + 1)) : QVariant());
        }
        if (!fits) {
            ++out.count.leftOut;
            return true;
        }
        const bool seed = key.identifier >= 0 && values.at(key.identifier).toString() == QLatin1String("0");
        if (salvage && key.valid() && !seed) {
            const QString k = values.at(key.identifier).toString() + QChar(0x1F) +
                              values.at(key.number).toString() + QChar(0x1F) +
                              values.at(key.stamp).toString();
            if (seen.contains(k)) {
                ++out.count.repeats;
                return true;
            }
            seen.insert(k);
        }
        if (!seed) ++out.count.kept;
        out.rows.append(values);
        return true;
    };
    QSet<qint64> rowids;
    while (q.next()) {
        if (salvage) rowids.insert(q.value(0).toLongLong());
        if (!take(q)) return refusal;
    }
    if (!q.lastError().isValid()) return out;
    if (!salvage) return failed(q.lastError());
    // The scan ended at a page it could not read. The rows past it may still be found one by one by their
    // rowid, up to the greatest the table ever handed out (its counter, kept on a page of its own).
    q.finish();
    qint64 greatest = 0;
    q.prepare(QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = ? COLLATE NOCASE"));
    q.addBindValue(table);
    if (q.exec() && q.next()) greatest = q.value(0).toLongLong();
    q.finish();
    // A counter spoilt beyond any table this program writes is not followed.
    constexpr qint64 kMostRowids = 20'000'000;
    greatest = std::min(greatest, kMostRowids);
    if (!q.prepare(QStringLiteral("SELECT ") + selected + QStringLiteral(" FROM ") + quoted(table) +
                   QStringLiteral(" WHERE _rowid_ = ?")))
        return out;
    for (qint64 rowid = 1; rowid <= greatest; ++rowid) {
        if (rowids.contains(rowid)) continue;
        q.bindValue(0, rowid);
        if (q.exec() && q.next()) take(q);
        q.finish();
    }
    return out;
}

// The rows written with bound values into a fresh file made from our schema beside target, the fresh
// file checked, then renamed over target; nothing of it stays on a failure.
// A fresh file that cannot be made or written is the system's failure (Io), or the engine's by its code;
// rows that fail the check are refused (Invalid).
Error writeFreshTable(const QList<QVariantList>& rows, const QList<FieldSpec>& fields, const QString& table,
                      const QString& target) {
    if (!QDir().mkpath(QFileInfo(target).absolutePath()))
        return {ErrorKind::Io, QStringLiteral("cannot create ") + QFileInfo(target).absolutePath()};
    const QString fresh =
        target + QLatin1Char('.') + QUuid::createUuid().toString(QUuid::Id128) + QStringLiteral(".tmp");
    auto discard = [&](const Error& why) {
        QFile::remove(fresh);
        for (const QString& companion : tableCompanionFiles(fresh))
            QFile::remove(companion);
        return why;
    };
    {
        OneShotConnection c(fresh);
        if (!c.isOpen()) return discard(c.failure());
        QSqlDatabase db = c.database();
        QStringList declarations;
        QStringList names;
        for (const FieldSpec& f : fields) {
            declarations.append(quoted(f.name) + QLatin1Char(' ') + columnType(f.type));
            names.append(quoted(f.name));
        }
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("CREATE TABLE ") + quoted(table) + QStringLiteral(" (") +
                    declarations.join(QStringLiteral(", ")) + QLatin1Char(')')))
            return discard(tableError(q.lastError()));
        if (!db.transaction()) return discard(tableError(db.lastError()));
        Error why;
        {
            QSqlQuery insert(db);
            if (!insert.prepare(QStringLiteral("INSERT INTO ") + quoted(table) + QStringLiteral(" (") +
                                names.join(QStringLiteral(", ")) + QStringLiteral(") VALUES (") +
                                QStringList(names.size(), QStringLiteral("?")).join(QStringLiteral(", ")) +
                                QLatin1Char(')')))
                why = tableError(insert.lastError());
            for (qsizetype r = 0; why.ok() && r < rows.size(); ++r) {
                const QVariantList& row = rows.at(r);
                for (qsizetype i = 0; i < row.size(); ++i) {
                    // A field the old file lacked: empty text, as a text never given is stored.
                    const bool emptyText = fields.at(i).type == FieldType::Text && row.at(i).isNull();
                    insert.bindValue(static_cast<int>(i),
                                     emptyText ? QVariant(QStringLiteral("")) : row.at(i));
                }
                if (!insert.exec()) why = tableError(insert.lastError());
            }
        }
        if (why.failed()) {
            db.rollback();
            return discard(why);
        }
        if (!db.commit()) return discard(tableError(db.lastError()));
    }
    // What takes a table's place passes the same check the installation's tables are held to.
    const QList<TableFinding> findings = checkTableFile(fresh, fields, table);
    if (!findings.isEmpty()) {
        QStringList lines;
        for (const TableFinding& f : findings)
            lines.append(faultLine(target, f));
        return discard({ErrorKind::Invalid, lines.join(QStringLiteral("; "))});
    }
    std::error_code ec;
    std::filesystem::rename(std::filesystem::path(fresh.toStdU16String()),
                            std::filesystem::path(target.toStdU16String()), ec);
    if (ec) return discard({ErrorKind::Io, QStringLiteral("cannot replace ") + target});
    return {};
}

} // namespace

namespace {

// The rows of file for the table the target names (its file name), strict or salvaged, written into a
// fresh target; counted when count is given.
Error rowsIntoFreshTable(const QString& file, const QList<FieldSpec>& fields, const QString& target,
                         bool salvage, SalvageCount* count) {
    const QString table = QFileInfo(target).completeBaseName();
    if (fields.isEmpty() || !plainTableName(table))
        return {ErrorKind::Invalid, QStringLiteral("no table for ") + target};
    Error error;
    const auto read = readForeignRows(file, fields, table, salvage, error);
    if (!read) return error;
    if (count) *count = read->count;
    return writeFreshTable(read->rows, fields, table, target);
}

} // namespace

Error copyRowsInto(const QString& foreignFile, const QList<FieldSpec>& fields, const QString& target) {
    return rowsIntoFreshTable(foreignFile, fields, target, false, nullptr);
}

bool copyRowsInto(const QString& foreignFile, const QList<FieldSpec>& fields, const QString& target,
                  QString* error) {
    const Error why = copyRowsInto(foreignFile, fields, target);
    if (why.failed() && error) *error = why.detail;
    return why.ok();
}

Error salvageRowsInto(const QString& damagedFile, const QList<FieldSpec>& fields, const QString& target,
                      SalvageCount* count) {
    return rowsIntoFreshTable(damagedFile, fields, target, true, count);
}

QList<TableFinding> checkTableFile(const QString& path, const QList<FieldSpec>& fields,
                                   const QString& table) {
    const QString name = table.isEmpty() ? QFileInfo(path).completeBaseName() : table;
    QList<TableFinding> found;
    if (!isEngineFile(path)) return {{TableFault::NotATableFile, {}}};
    OneShotConnection c(path);
    if (!c.isOpen()) return {{TableFault::NotATableFile, c.error()}};
    QSqlQuery q(c.database());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("PRAGMA integrity_check(10)"))) {
        found.append({TableFault::Damaged, q.lastError().databaseText()});
    } else {
        QStringList problems;
        while (q.next())
            if (q.value(0).toString() != QLatin1String("ok")) problems.append(q.value(0).toString());
        if (q.lastError().isValid()) problems.append(q.lastError().databaseText());
        if (!problems.isEmpty()) found.append({TableFault::Damaged, problems.first()});
    }
    q.finish();

    bool ours = false;
    if (q.exec(QStringLiteral("SELECT type, name FROM sqlite_master"))) {
        while (q.next()) {
            const QString type = q.value(0).toString();
            const QString object = q.value(1).toString();
            if (type == QLatin1String("table") && object.compare(name, Qt::CaseInsensitive) == 0) {
                ours = true;
                continue;
            }
            // The engine's own bookkeeping: the auto-increment counters and statistics.
            if (object == QLatin1String("sqlite_sequence") ||
                object.startsWith(QLatin1String("sqlite_stat")) ||
                object.startsWith(QLatin1String("sqlite_autoindex_")))
                continue;
            found.append({TableFault::ExtraObject, type + QLatin1Char(' ') + object});
        }
    }
    q.finish();
    if (!ours) {
        // Garbage inside a file that still has the engine's header reads as no table at all.
        if (found.isEmpty() || found.first().fault != TableFault::Damaged)
            found.append({TableFault::NoTable, name});
        return found;
    }

    QStringList declaredNames; // lower case, in the file's order
    QStringList declaredAsWritten;
    QHash<QString, std::pair<QString, bool>> declared;
    q.prepare(QStringLiteral("SELECT name, type, pk FROM pragma_table_info(?) ORDER BY cid"));
    q.addBindValue(name);
    if (q.exec())
        while (q.next()) {
            declaredAsWritten.append(q.value(0).toString());
            declaredNames.append(q.value(0).toString().toLower());
            declared.insert(declaredNames.last(), {q.value(1).toString().toUpper(), q.value(2).toInt() > 0});
        }
    q.finish();
    bool sameNames = declaredNames.size() == fields.size();
    QStringList ourNames;
    for (const FieldSpec& f : fields) {
        ourNames.append(f.name.toLower());
        const auto d = declared.constFind(f.name.toLower());
        if (d == declared.constEnd()) {
            found.append({TableFault::MissingField, f.name});
            sameNames = false;
            continue;
        }
        const QString type =
            f.type == FieldType::AutoIncrement ? QStringLiteral("INTEGER") : columnType(f.type);
        if (d->first != type || d->second != (f.type == FieldType::AutoIncrement))
            found.append({TableFault::FieldType,
                          QStringLiteral("%1: %2, not %3")
                              .arg(f.name, d->first.isEmpty() ? QStringLiteral("-") : d->first, type)});
    }
    for (qsizetype i = 0; i < declaredNames.size(); ++i)
        if (!ourNames.contains(declaredNames.at(i))) {
            found.append({TableFault::ExtraField, declaredAsWritten.at(i)});
            sameNames = false;
        }
    if (sameNames && declaredNames != ourNames) found.append({TableFault::FieldOrder, {}});

    const RecordKey key = recordKeyOf(fields);
    if (key.valid() && declared.contains(fields.at(key.identifier).name.toLower()) &&
        declared.contains(fields.at(key.number).name.toLower()) &&
        declared.contains(fields.at(key.stamp).name.toLower())) {
        const QString id = quoted(fields.at(key.identifier).name);
        const QString number = quoted(fields.at(key.number).name);
        const QString stamp = quoted(fields.at(key.stamp).name);
        if (q.exec(QStringLiteral("SELECT COALESCE(SUM(n - 1), 0) FROM (SELECT COUNT(*) AS n FROM ") +
                   quoted(name) + QStringLiteral(" WHERE ") + id + QStringLiteral(" <> '0' GROUP BY ") + id +
                   QStringLiteral(", ") + number + QStringLiteral(", ") + stamp +
                   QStringLiteral(" HAVING COUNT(*) > 1)")) &&
            q.next() && q.value(0).toLongLong() > 0)
            found.append({TableFault::DuplicateRows, QString::number(q.value(0).toLongLong())});
    }
    return found;
}

std::optional<TableKind> tableKindOfFile(const QString& relative) {
    const QStringList parts =
        QString(relative).replace(QLatin1Char('\\'), QLatin1Char('/')).split(QLatin1Char('/'));
    const QString name = parts.last();
    if (!name.endsWith(QLatin1String(".db"), Qt::CaseInsensitive)) return std::nullopt;
    for (int k = 0; k < kTableKinds; ++k) {
        const TableInfo& t = tableInfo(static_cast<TableKind>(k));
        if (parts.first().compare(QLatin1String(t.folder), Qt::CaseInsensitive) != 0) continue;
        const QString base = QString::fromLatin1(t.name);
        if (t.kind == TableKind::Join) {
            if (parts.size() == 3 && name.startsWith(base, Qt::CaseInsensitive)) return t.kind;
        } else if (parts.size() == 2) {
            if (!t.perPoint && name.compare(base, Qt::CaseInsensitive) == 0) return t.kind;
            if (t.perPoint && name.startsWith(base, Qt::CaseInsensitive) && name.size() > base.size() + 3)
                return t.kind;
        }
    }
    return std::nullopt;
}

QStringList tableCompanionFiles(const QString& path) {
    return {path + QStringLiteral("-wal"), path + QStringLiteral("-shm"), path + QStringLiteral("-journal")};
}

bool settleTableFile(const QString& path) {
    return trySettleTableFile(path).ok();
}

Error trySettleTableFile(const QString& path) {
    if (QFileInfo(path).isFile()) {
        OneShotConnection c(path);
        if (c.isOpen()) {
            QSqlQuery q(c.database());
            q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
            q.finish();
        }
    }
    // The last connection to close folds the journal in and removes the companions; one that stays
    // belongs to a connection elsewhere and must not be pulled from under it. Beside a file that is gone
    // they belong to nothing.
    const bool tableThere = QFileInfo(path).isFile();
    for (const QString& companion : tableCompanionFiles(path)) {
        if (!QFileInfo::exists(companion)) continue;
        if (tableThere) return {ErrorKind::Locked, QStringLiteral("in use: ") + companion};
        if (!QFile::remove(companion)) return {ErrorKind::Io, QStringLiteral("cannot remove ") + companion};
    }
    return {};
}

Error probeTableFile(const QString& path) {
    if (!QFileInfo::exists(path)) return {ErrorKind::NotFound, QStringLiteral("no file ") + path};
    if (!isEngineFile(path)) return {ErrorKind::Damaged, QStringLiteral("no table file: ") + path};
    OneShotConnection c(path);
    if (!c.isOpen()) return {ErrorKind::Io, c.error()};
    QSqlQuery q(c.database());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("PRAGMA quick_check(1)"))) return tableError(q.lastError());
    if (q.next() && q.value(0).toString() != QLatin1String("ok"))
        return {ErrorKind::Damaged, q.value(0).toString()};
    if (q.lastError().isValid()) return tableError(q.lastError());
    q.finish();
    // A write transaction of our own is refused while another connection holds one.
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE"))) return tableError(q.lastError());
    q.exec(QStringLiteral("ROLLBACK"));
    return {};
}

} // namespace tarn::database
