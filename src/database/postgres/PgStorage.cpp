#include "database/postgres/PgStorage.h"

#include "database/postgres/PgLayout.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace tarn::database::postgres {

// The connections of tables let go on the thread that opened the storage: a connection belongs to the
// thread that made it, so only that thread's are kept, and only that thread takes them again.
class ConnectionPool {
public:
    static constexpr std::size_t kKept = 8;

    bool onOwnThread() const { return QThread::currentThread() == owner_; }

    void giveBack(std::unique_ptr<PgConnection> connection) {
        if (!onOwnThread() || !connection->database().isOpen()) return;
        std::lock_guard lock(mutex_);
        if (idle_.size() < kKept) idle_.push_back(std::move(connection));
    }

    // A kept connection that still answers; nothing when none is kept or none answers (the server
    // ended them: a restart, a dropped line).
    std::unique_ptr<PgConnection> take() {
        if (!onOwnThread()) return nullptr;
        for (;;) {
            std::unique_ptr<PgConnection> connection;
            {
                std::lock_guard lock(mutex_);
                if (idle_.empty()) return nullptr;
                connection = std::move(idle_.back());
                idle_.pop_back();
            }
            QSqlQuery ping(connection->database());
            if (ping.exec(QStringLiteral("SELECT 1"))) return connection;
        }
    }

    void clear() {
        std::lock_guard lock(mutex_);
        idle_.clear();
    }

private:
    QThread* owner_ = QThread::currentThread();
    std::mutex mutex_;
    std::vector<std::unique_ptr<PgConnection>> idle_;
};

// The server's type of each column of the tables ("double precision", "date", …), asked once a table for
// the storage: every table opened appends through arrays of its columns' types, and a round trip more
// for each would cost a point's registration (eleven tables) eleven. The schema's layout does not
// change under an open storage: a connection migrates it before the storage opens.
class ColumnTypes {
public:
    using Types = QHash<QString, QString>;

    // The types of table's columns by column name, asked on db the first time; nothing when the
    // question failed (error says why) or the schema has no such table.
    std::optional<Types> of(const QString& table, const QSqlDatabase& db, Error& error) {
        {
            std::lock_guard lock(mutex_);
            const auto known = known_.constFind(table);
            if (known != known_.constEnd()) return *known;
        }
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.prepare(
                QStringLiteral("SELECT attname, format_type(atttypid, atttypmod) FROM pg_attribute "
                               "WHERE attrelid = to_regclass(?) AND attnum > 0 AND NOT attisdropped")) ||
            (q.addBindValue(table), !q.exec())) {
            error = db.isOpen()
                        ? pgError(q.lastError())
                        : Error(ErrorKind::NoLink, QStringLiteral("the connection to the server was lost"));
            return std::nullopt;
        }
        Types types;
        while (q.next())
            types.insert(q.value(0).toString(), q.value(1).toString());
        if (types.isEmpty()) {
            error = {ErrorKind::Damaged,
                     QStringLiteral("no table ") + table + QStringLiteral(" in the schema")};
            return std::nullopt;
        }
        std::lock_guard lock(mutex_);
        known_.insert(table, types);
        return types;
    }

private:
    std::mutex mutex_;
    QHash<QString, Types> known_;
};

namespace {

// How long a statement waits for a lock another connection holds before it fails: the same wait, and
// the same variable, as the table files' busy wait (a test of a held table wants none).
int busyWaitMs() {
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("TARN_DB_BUSY_WAIT_MS", &ok);
    return ok && ms >= 0 ? ms : 5000;
}

// Which rows of a kind's table make the logical table: a point's, a day's, or all of them.
struct Scope {
    QString column; // empty: the whole table
    QVariant value;

    // The condition (with its "?") that keeps to the scope, joined before more with AND.
    QString where() const { return column.isEmpty() ? QString() : column + QStringLiteral(" = ?"); }
    QVariantList values() const { return column.isEmpty() ? QVariantList() : QVariantList{value}; }
};

Scope scopeOf(const TableId& id) {
    if (hasPointColumn(id.kind)) return {QString(kPointColumn), id.identifier};
    // The join table of a day not given is today's, as the table files take it.
    if (id.kind == TableKind::Join)
        return {QStringLiteral("day"), storedDate(id.day.isValid() ? id.day : QDate::currentDate())};
    return {};
}

QString joinedWhere(const QStringList& parts) {
    QStringList present;
    for (const QString& p : parts)
        if (!p.isEmpty()) present.append(p);
    return present.isEmpty() ? QString() : QStringLiteral(" WHERE ") + present.join(QStringLiteral(" AND "));
}

// A value as the table files keep it: dates and times as their text, so that a QDate and its text
// compare and store alike.
QVariant storedValue(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::QDate:
        return storedDate(value.toDate());
    case QMetaType::QTime:
        return storedTime(value.toTime());
    case QMetaType::QDateTime:
        return storedTimestamp(value.toDateTime());
    default:
        return value;
    }
}

// Why a statement on db failed. The driver fails a statement on a connection it found lost without any
// error of the server's: that is the lost connection.
Error statementError(const QSqlQuery& q, const QSqlDatabase& db) {
    if (!db.isOpen()) return {ErrorKind::NoLink, QStringLiteral("the connection to the server was lost")};
    Error why = pgError(q.lastError());
    if (why.ok()) why = {ErrorKind::Io, QStringLiteral("the server refused the statement without a reason")};
    return why;
}

// A statement on connection that needs a lock another connection holds fails after the busy wait
// instead of waiting without end, the server's default.
Error limitLockWait(const PgConnection& connection) {
    const QSqlDatabase db = connection.database();
    QSqlQuery wait(db);
    wait.prepare(QStringLiteral("SELECT set_config('lock_timeout', ?, false)"));
    // 0 would mean no limit to the server: the shortest wait it knows is the nearest to none.
    wait.addBindValue(QStringLiteral("%1ms").arg(std::max(1, busyWaitMs())));
    return wait.exec() ? Error() : statementError(wait, db);
}

bool isRecordKind(const QList<FieldSpec>& fields) {
    for (const FieldSpec& f : fields)
        if (f.name.mid(1) == QLatin1String("NumWrCor")) return true;
    return false;
}

// How many rows one INSERT carries. Each statement is a round trip to the server, so a transaction's
// rows go in a few statements of many rows rather than one each; the rows of one statement, as text,
// stay a few hundred kilobytes.
constexpr int kRowsPerInsert = 1000;

// text as an element of an array literal: quoted, with the quote and the backslash escaped (inside
// quotes every other character, a comma or a brace among them, is the element's own).
void appendArrayElement(QString& out, const QString& text) {
    out += QLatin1Char('"');
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\')) out += QLatin1Char('\\');
        out += c;
    }
    out += QLatin1Char('"');
}

// Rows as one array literal a column ("{"12.5","13",NULL}"), every value as its text, which the
// column's type reads on the server as it reads a bound value, and a value never given as NULL.
QStringList columnArrays(qsizetype columnCount, const QList<QVariantList>& rows) {
    QStringList arrays;
    arrays.reserve(columnCount);
    for (qsizetype c = 0; c < columnCount; ++c) {
        QString out;
        out.reserve(rows.size() * 12);
        out += QLatin1Char('{');
        for (qsizetype r = 0; r < rows.size(); ++r) {
            if (r > 0) out += QLatin1Char(',');
            const QVariant v = rows.at(r).value(c);
            if (v.isNull())
                out += QLatin1String("NULL");
            else
                appendArrayElement(out, v.toString());
        }
        out += QLatin1Char('}');
        arrays.append(out);
    }
    return arrays;
}

bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// A condition or an order as the callers write them for the table files, made to mean the same here:
// a field in double quotes is matched in any letter case, so it becomes its (lower-case) column; LIKE
// ignores the letter case there, so it becomes ILIKE. Quoted texts pass unchanged.
QString portableFragment(const QString& fragment, const QList<FieldSpec>& fields) {
    QString out;
    out.reserve(fragment.size() + 8);
    for (qsizetype i = 0; i < fragment.size();) {
        const QChar c = fragment.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            qsizetype end = i + 1;
            // A quote doubled inside stays inside.
            while (end < fragment.size()) {
                if (fragment.at(end) == c) {
                    if (end + 1 < fragment.size() && fragment.at(end + 1) == c) {
                        end += 2;
                        continue;
                    }
                    break;
                }
                ++end;
            }
            const QString quoted = fragment.mid(i, end + 1 - i);
            i = end + 1;
            if (c == QLatin1Char('"')) {
                const QString name = quoted.mid(1, quoted.size() - 2);
                const auto field = std::find_if(fields.begin(), fields.end(), [&](const FieldSpec& f) {
                    return f.name.compare(name, Qt::CaseInsensitive) == 0;
                });
                if (field != fields.end()) {
                    out += columnName(field->name);
                    continue;
                }
            }
            out += quoted;
            continue;
        }
        if (isWordChar(c)) {
            qsizetype end = i;
            while (end < fragment.size() && isWordChar(fragment.at(end)))
                ++end;
            const QString word = fragment.mid(i, end - i);
            out += word.compare(QLatin1String("LIKE"), Qt::CaseInsensitive) == 0 ? QStringLiteral("ILIKE")
                                                                                 : word;
            i = end;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

// The expression that reads a field back as the table files hold it, named as the field.
QString selectedField(const FieldSpec& f) {
    const QString column = columnName(f.name);
    QString expression;
    switch (f.type) {
    case FieldType::Date:
        expression = QStringLiteral("to_char(%1, 'YYYY-MM-DD')").arg(column);
        break;
    case FieldType::Time:
        expression = QStringLiteral("to_char(DATE '2000-01-01' + %1, 'HH24:MI:SS')").arg(column);
        break;
    case FieldType::Timestamp:
        expression = QStringLiteral("to_char(%1, 'YYYY-MM-DD\"T\"HH24:MI:SS')").arg(column);
        break;
    default:
        expression = column;
        break;
    }
    return expression + QStringLiteral(" AS ") + quotedIdentifier(f.name);
}

} // namespace

class PgTable final : public Table {
public:
    PgTable(std::unique_ptr<PgConnection> connection, std::shared_ptr<ConnectionPool> pool,
            std::shared_ptr<ColumnTypes> columnTypes, TableKind kind, Scope scope, QList<FieldSpec> fields)
        : connection_(std::move(connection)), pool_(std::move(pool)), columnTypes_(std::move(columnTypes)),
          table_(tableName(kind)), scope_(std::move(scope)), fields_(std::move(fields)),
          recordKind_(isRecordKind(fields_)) {
        QStringList selected;
        for (const FieldSpec& f : fields_) {
            selected.append(selectedField(f));
            if (marksSeedRecord(f)) seedFilter_ = columnName(f.name) + QStringLiteral(" <> '0'");
        }
        selectList_ = selected.join(QStringLiteral(", "));
    }

    // The connection goes back to the pool as a new one would come: no transaction open, no statement
    // kept; one that lost the server or failed without a reason is not kept.
    ~PgTable() override {
        inserts_.clear();
        if (inTransaction_) database().rollback();
        if (failure_.kind != ErrorKind::NoLink) pool_->giveBack(std::move(connection_));
    }

    const QList<FieldSpec>& fields() const override { return fields_; }

    int position(const QString& field) const override {
        for (qsizetype i = 0; i < fields_.size(); ++i)
            if (fields_.at(i).name.compare(field, Qt::CaseInsensitive) == 0) return static_cast<int>(i);
        return -1;
    }

    std::optional<QList<QVariantList>> trySelect(const QString& condition, const QVariantList& values,
                                                 const QString& orderBy) const override {
        QVariantList bound;
        for (const QVariant& v : values)
            bound.append(storedValue(v));
        return run(condition.isEmpty() ? QString() : portableFragment(condition, fields_), bound,
                   orderBy.isEmpty() ? QString() : portableFragment(orderBy, fields_));
    }

    std::optional<QSqlQuery> listing() const override {
        if (!flushPending()) return std::nullopt;
        // Scrollable: a grid's model takes no forward-only query (it would show no row at all). The
        // driver holds the result on the client, which for a point's table is a few megabytes a year.
        QSqlQuery query(database());
        query.setForwardOnly(false);
        if (!prepared(query, selection({}, {}))) return std::nullopt;
        for (const QVariant& v : scope_.values())
            query.addBindValue(v);
        if (!query.exec()) {
            failure_ = statementError(query, database());
            return std::nullopt;
        }
        return query;
    }

    std::optional<qint64> rowCount() const override {
        if (!flushPending()) return std::nullopt;
        QSqlQuery q(database());
        q.setForwardOnly(true);
        if (!prepared(q, QStringLiteral("SELECT count(*) FROM ") + table_ +
                             joinedWhere({scope_.where(), seedFilter_})))
            return std::nullopt;
        for (const QVariant& v : scope_.values())
            q.addBindValue(v);
        if (!q.exec() || !q.next()) {
            failure_ = statementError(q, database());
            return std::nullopt;
        }
        return q.value(0).toLongLong();
    }

    bool forEachRow(const QStringList& fields, const QString& condition, const QVariantList& values,
                    const QString& orderBy, const RowVisitor& visit) const override {
        QStringList selected;
        for (const QString& field : fields) {
            const int p = position(field);
            if (p < 0) {
                failure_ = {ErrorKind::Invalid,
                            QStringLiteral("no such field in ") + table_ + QStringLiteral(": ") + field};
                return false;
            }
            selected.append(selectedField(fields_.at(p)));
        }
        QSqlQuery q(database());
        q.setForwardOnly(true);
        if (!prepared(q, selection(condition.isEmpty() ? QString() : portableFragment(condition, fields_),
                                   orderBy.isEmpty() ? QString() : portableFragment(orderBy, fields_),
                                   selected.isEmpty() ? selectList_ : selected.join(QStringLiteral(", ")))))
            return false;
        for (const QVariant& v : scope_.values())
            q.addBindValue(v);
        for (const QVariant& v : values)
            q.addBindValue(storedValue(v));
        if (!q.exec()) {
            failure_ = statementError(q, database());
            return false;
        }
        const RowValues row(q);
        while (q.next())
            if (!visit(row)) return true;
        if (q.lastError().isValid()) {
            failure_ = statementError(q, database());
            return false;
        }
        return true;
    }

    QList<QVariantList> selectGreatest(const QString& field) const override {
        const int p = position(field);
        if (p < 0) {
            failure_ = {ErrorKind::Invalid,
                        QStringLiteral("no field ") + field + QStringLiteral(" in ") + table_};
            return {};
        }
        const QString column = columnName(fields_.at(p).name);
        // The seed record stays out of the greatest value as it stays out of every selection.
        const QString greatest = QStringLiteral("SELECT MAX(") + column + QStringLiteral(") FROM ") + table_ +
                                 joinedWhere({scope_.where(), seedFilter_});
        return run(column + QStringLiteral(" = (") + greatest + QLatin1Char(')'), scope_.values(), {})
            .value_or(QList<QVariantList>());
    }

    bool append(const QVariantMap& values) override { return appendByName(values, table_, failure_); }

    // Outside a transaction the row is written at once. Inside one, the rows wait and go to the server
    // many in one statement when the transaction commits, when rows naming other fields come, when
    // enough have gathered, or before anything reads or changes the table: the transaction writes all
    // of them or none either way, and what the table gives back inside it includes them. A row the
    // server refuses then fails the statement that carries it, and with it the commit.
    bool appendAt(const QList<int>& positions, const QVariantList& values) override {
        for (int p : positions)
            if (p < 0 || p >= fields_.size()) {
                failure_ = {ErrorKind::Invalid, QStringLiteral("no such field in ") + table_};
                return false;
            }
        QVariantList row;
        row.reserve(positions.size() + 1);
        if (!scope_.column.isEmpty()) row.append(scope_.value);
        for (qsizetype i = 0; i < positions.size(); ++i)
            row.append(fitted(positions.at(i), values.value(i)));
        if (!inTransaction_) return insertRows(positions, {row});
        if (!pending_.isEmpty() && positions != pendingPositions_ && !flushPending()) return false;
        pendingPositions_ = positions;
        pending_.append(std::move(row));
        return pending_.size() < kRowsPerInsert || flushPending();
    }

    // The seed record, once: a second program making the same table at the same moment adds none.
    bool appendSeed(const QVariantMap& seed) {
        QList<int> positions;
        QVariantList values;
        for (auto it = seed.constBegin(); it != seed.constEnd(); ++it) {
            positions.append(position(it.key()));
            values.append(it.value());
        }
        if (positions.contains(-1)) {
            failure_ = {ErrorKind::Invalid, QStringLiteral("a seed field is missing in ") + table_};
            return false;
        }
        QVariantList row;
        if (!scope_.column.isEmpty()) row.append(scope_.value);
        for (qsizetype i = 0; i < positions.size(); ++i)
            row.append(fitted(positions.at(i), values.at(i)));
        return insertRows(positions, {row}, true);
    }

    bool update(const QString& keyField, const QVariant& key, const QString& field,
                const QVariant& value) override {
        const int k = position(keyField);
        const int p = position(field);
        if (k < 0 || p < 0) {
            failure_ = {ErrorKind::Invalid, QStringLiteral("no such field in ") + table_};
            return false;
        }
        if (!flushPending()) return false;
        QSqlQuery q(database());
        if (!prepared(q, QStringLiteral("UPDATE ") + table_ + QStringLiteral(" SET ") +
                             columnName(fields_.at(p).name) + QStringLiteral(" = ?") +
                             joinedWhere(
                                 {scope_.where(), columnName(fields_.at(k).name) + QStringLiteral(" = ?")})))
            return false;
        q.addBindValue(fitted(p, value));
        for (const QVariant& v : scope_.values())
            q.addBindValue(v);
        q.addBindValue(storedValue(key));
        return executed(q);
    }

    bool remove(const QString& keyField, const QVariant& key) override {
        const int k = position(keyField);
        if (k < 0) {
            failure_ = {ErrorKind::Invalid,
                        QStringLiteral("no field ") + keyField + QStringLiteral(" in ") + table_};
            return false;
        }
        if (!flushPending()) return false;
        QSqlQuery q(database());
        if (!prepared(q, QStringLiteral("DELETE FROM ") + table_ +
                             joinedWhere(
                                 {scope_.where(), columnName(fields_.at(k).name) + QStringLiteral(" = ?")})))
            return false;
        for (const QVariant& v : scope_.values())
            q.addBindValue(v);
        q.addBindValue(storedValue(key));
        return executed(q);
    }

    bool transaction() override {
        QSqlDatabase db = database();
        if (db.transaction()) {
            inTransaction_ = true;
            pending_.clear();
            return true;
        }
        failure_ = db.isOpen()
                       ? pgError(db.lastError())
                       : Error(ErrorKind::NoLink, QStringLiteral("the connection to the server was lost"));
        return false;
    }
    bool commit() override {
        QSqlDatabase db = database();
        if (!flushPending()) {
            // A refused row leaves the server's transaction failed: nothing of it is kept.
            const Error why = failure_;
            rollback();
            failure_ = why;
            return false;
        }
        inTransaction_ = false;
        if (db.commit()) return true;
        failure_ = db.isOpen()
                       ? pgError(db.lastError())
                       : Error(ErrorKind::NoLink, QStringLiteral("the connection to the server was lost"));
        return false;
    }
    void rollback() override {
        pending_.clear();
        inTransaction_ = false;
        database().rollback();
    }

    const Error& lastFailure() const override { return failure_; }
    std::optional<QList<QVariantList>> trySelectFields(const QStringList& fields, const QString& condition,
                                                       const QVariantList& values) const override {
        for (const QString& field : fields) {
            if (position(field) < 0) {
                failure_ = {ErrorKind::Invalid,
                            QStringLiteral("no such field in ") + table_ + QStringLiteral(": ") + field};
                return std::nullopt;
            }
        }
        return Table::trySelectFields(fields, condition, values);
    }

private:
    QSqlDatabase database() const { return connection_->database(); }

    // The table's rows in scope without the seed record, meeting condition (already in this server's
    // terms), in order (the first field's when empty); every field unless a list of selected fields is
    // given.
    QString selection(const QString& condition, const QString& order, const QString& selectList = {}) const {
        return QStringLiteral("SELECT ") + (selectList.isEmpty() ? selectList_ : selectList) +
               QStringLiteral(" FROM ") + table_ +
               joinedWhere(
                   {scope_.where(), seedFilter_,
                    condition.isEmpty() ? QString() : QLatin1Char('(') + condition + QLatin1Char(')')}) +
               QStringLiteral(" ORDER BY ") + (order.isEmpty() ? columnName(fields_.first().name) : order);
    }

    std::optional<QList<QVariantList>> run(const QString& condition, const QVariantList& values,
                                           const QString& order) const {
        if (!flushPending()) return std::nullopt;
        QSqlQuery q(database());
        q.setForwardOnly(true);
        if (!prepared(q, selection(condition, order))) return std::nullopt;
        for (const QVariant& v : scope_.values())
            q.addBindValue(v);
        for (const QVariant& v : values)
            q.addBindValue(v);
        if (!q.exec()) {
            failure_ = statementError(q, database());
            return std::nullopt;
        }
        QList<QVariantList> rows;
        const int columns = static_cast<int>(fields_.size());
        while (q.next()) {
            QVariantList row;
            row.reserve(columns);
            // A field never written is NULL: empty, as the table files give it, not the type's zero.
            for (int i = 0; i < columns; ++i)
                row.append(q.isNull(i) ? QVariant() : q.value(i));
            rows.append(row);
        }
        if (q.lastError().isValid()) {
            failure_ = statementError(q, database());
            return std::nullopt;
        }
        return rows;
    }

    bool prepared(QSqlQuery& q, const QString& sql) const {
        if (q.prepare(sql)) return true;
        failure_ = statementError(q, database());
        return false;
    }

    bool executed(QSqlQuery& q) const {
        if (q.exec()) return true;
        failure_ = statementError(q, database());
        return false;
    }

    QVariant fitted(int position, const QVariant& value) const {
        const FieldSpec& f = fields_.at(position);
        const QVariant stored = storedValue(value);
        const bool empty =
            stored.isNull() || (stored.typeId() == QMetaType::QString && stored.toString().isEmpty());
        if (f.type == FieldType::Text) {
            // A text never given is stored as empty text, as the table files store it.
            if (empty) return QVariant(QStringLiteral(""));
            return f.width > 0 ? QVariant(stored.toString().left(f.width)) : stored;
        }
        // An empty text where a number or a time goes is no value: the server takes no "" for either.
        return empty ? QVariant() : stored;
    }

    // The rows waiting in the transaction, written now.
    bool flushPending() const {
        if (pending_.isEmpty()) return true;
        const QList<QVariantList> rows = std::exchange(pending_, {});
        return insertRows(pendingPositions_, rows);
    }

    struct KeptInsert {
        QList<int> positions;
        QStringList columns;
        bool onceOnly = false;
        std::unique_ptr<QSqlQuery> query;
    };
    static constexpr std::size_t kKeptInserts = 4;

    // rows (each the scope's value, when the table has a scope, then the values of the fields at
    // positions, fitted) in one statement, bound as one value a column: an array of the column's own
    // type, which the server reads element by element with the type's input as it reads a bound
    // value, and unnests into rows. (The rows as one JSON value, read into rows of the table's type,
    // cost the server more a row: each row an object whose keys are looked up by name.) A record
    // already stored (the same point, record number and time) is stored once: a second store of the
    // same reading, by this program or another, adds nothing.
    bool insertRows(const QList<int>& positions, const QList<QVariantList>& rows,
                    bool onceOnly = false) const {
        onceOnly = onceOnly || recordKind_;
        const KeptInsert* kept = insertStatement(positions, onceOnly);
        if (!kept) return false;
        const QStringList arrays = columnArrays(kept->columns.size(), rows);
        for (qsizetype c = 0; c < arrays.size(); ++c)
            kept->query->bindValue(static_cast<int>(c), arrays.at(c));
        const bool done = executed(*kept->query);
        kept->query->finish();
        return done;
    }

    // The INSERT of the fields at positions, prepared once and kept: preparing is a round trip of its
    // own. A statement that could not be prepared is not kept.
    const KeptInsert* insertStatement(const QList<int>& positions, bool onceOnly) const {
        for (const KeptInsert& kept : inserts_)
            if (kept.onceOnly == onceOnly && kept.positions == positions) return &kept;
        const std::optional<ColumnTypes::Types> types = columnTypes_->of(table_, database(), failure_);
        if (!types) return nullptr;
        QStringList columns;
        if (!scope_.column.isEmpty()) columns.append(scope_.column);
        for (int p : positions)
            columns.append(columnName(fields_.at(p).name));
        QStringList arrays;
        for (const QString& column : columns) {
            const QString type = types->value(column);
            if (type.isEmpty()) {
                failure_ = {ErrorKind::Damaged,
                            QStringLiteral("no column ") + column + QStringLiteral(" in ") + table_};
                return nullptr;
            }
            arrays.append(QStringLiteral("?::") + type + QStringLiteral("[]"));
        }
        auto query = std::make_unique<QSqlQuery>(database());
        if (!prepared(*query, QStringLiteral("INSERT INTO ") + table_ + QStringLiteral(" (") +
                                  columns.join(QStringLiteral(", ")) +
                                  QStringLiteral(") SELECT * FROM unnest(") +
                                  arrays.join(QStringLiteral(", ")) + QLatin1Char(')') +
                                  (onceOnly ? QStringLiteral(" ON CONFLICT DO NOTHING") : QString())))
            return nullptr;
        // A table is written with one or two sets of fields (its rows, its seed record): a few are kept
        // and the oldest goes.
        if (inserts_.size() >= kKeptInserts) inserts_.erase(inserts_.begin());
        inserts_.push_back({positions, columns, onceOnly, std::move(query)});
        return &inserts_.back();
    }

    std::unique_ptr<PgConnection> connection_;
    std::shared_ptr<ConnectionPool> pool_;
    std::shared_ptr<ColumnTypes> columnTypes_;
    QString table_;
    Scope scope_;
    QList<FieldSpec> fields_;
    bool recordKind_ = false;
    QString selectList_;
    QString seedFilter_;
    mutable Error failure_;
    bool inTransaction_ = false;
    // Rows appended in the transaction that the server has not yet had, all naming the same fields.
    mutable QList<QVariantList> pending_;
    mutable QList<int> pendingPositions_;
    // Kept prepared INSERTs; declared after the connection, so they go before it does. Writing the
    // waiting rows is part of any read of the table, so they are the table's workings, not its state.
    mutable std::vector<KeptInsert> inserts_;
};

Error pgError(const QSqlError& error) {
    if (!error.isValid()) return {};
    const QString state = error.nativeErrorCode();
    const QString text = error.text().trimmed();
    static const QStringList kLocked = {QStringLiteral("55P03"), QStringLiteral("40001"),
                                        QStringLiteral("40P01"), QStringLiteral("55006")};
    static const QStringList kDamaged = {QStringLiteral("XX001"), QStringLiteral("XX002"),
                                         QStringLiteral("42P01")};
    if (state.isEmpty() || state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P")))
        return {ErrorKind::NoLink, text};
    if (kLocked.contains(state)) return {ErrorKind::Locked, text};
    if (kDamaged.contains(state)) return {ErrorKind::Damaged, text};
    if (state == QLatin1String("42703") || state == QLatin1String("23505")) return {ErrorKind::Invalid, text};
    return {ErrorKind::Io, text};
}

std::unique_ptr<PgStorage> PgStorage::open(const DatabaseUrl& url, const Schemas& schemas, Error& error) {
    error = {};
    auto connection = PgConnection::open(url, &error);
    if (!connection) return nullptr;
    if (error = limitLockWait(*connection); error.failed()) return nullptr;
    return std::unique_ptr<PgStorage>(new PgStorage(std::move(connection), schemas));
}

PgStorage::PgStorage(std::unique_ptr<PgConnection> connection, const Schemas& schemas)
    : connection_(std::move(connection)), url_(connection_->url()), owner_(QThread::currentThread()),
      schemas_(schemas), pool_(std::make_shared<ConnectionPool>()),
      columnTypes_(std::make_shared<ColumnTypes>()) {}

PgStorage::~PgStorage() {
    pool_->clear();
}

std::unique_ptr<PgConnection> PgStorage::newConnection(Error& error) const {
    // Only the storage's own thread replaces its connection; the lock keeps a worker from copying the
    // URL and the schema's version out of one that is being replaced.
    const std::lock_guard<std::mutex> lock(connectionMutex_);
    auto connection = connection_->another(&error);
    if (!connection) return nullptr;
    if (error = limitLockWait(*connection); error.failed()) return nullptr;
    return connection;
}

QSqlDatabase PgStorage::database() const {
    // A connection the server ended (a restart, a dropped line) is made again for the next question, so
    // a long run goes on once the server is back; the tables open connections of their own each time.
    if (!connection_->database().isOpen()) {
        Error ignored;
        if (auto again = newConnection(ignored)) {
            const std::lock_guard<std::mutex> lock(connectionMutex_);
            connection_ = std::move(again);
        }
    }
    return connection_->database();
}

std::optional<bool> PgStorage::made(const TableId& id, const QSqlDatabase& db, Error& error) {
    const Scope scope = scopeOf(id);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    bool done = q.prepare(QStringLiteral("SELECT 1 FROM ") + tableName(id.kind) +
                          joinedWhere({scope.where()}) + QStringLiteral(" LIMIT 1"));
    if (done) {
        for (const QVariant& v : scope.values())
            q.addBindValue(v);
        done = q.exec();
    }
    if (done) return q.next();
    error = statementError(q, db);
    return std::nullopt;
}

template <typename Question>
auto PgStorage::ask(Error& error, Question question) const -> decltype(question(QSqlDatabase())) {
    if (QThread::currentThread() != owner_) {
        // A connection belongs to the thread that made it (the driver's rule): a question from a worker
        // gets one of its own, made for it and closed with it.
        auto connection = newConnection(error);
        if (!connection) return {};
        return question(connection->database());
    }
    auto answer = question(database());
    if (answer || error.kind != ErrorKind::NoLink) return answer;
    // The driver learns that the server ended the connection only from the next statement: that one
    // is asked again once on a new connection.
    Error ignored;
    auto again = newConnection(ignored);
    if (!again) return answer;
    {
        const std::lock_guard<std::mutex> lock(connectionMutex_);
        connection_ = std::move(again);
    }
    error = {};
    return question(connection_->database());
}

std::unique_ptr<PgTable> PgStorage::openOn(const TableId& id, Error& error, bool create,
                                           const QDateTime& now) {
    const QList<FieldSpec>& fields = schemas_.of(id.kind);
    if (fields.isEmpty()) {
        error = {ErrorKind::Invalid, QStringLiteral("no fields for ") + location(id)};
        return nullptr;
    }
    // The table's own connection, of the calling thread, asks whether the table was made: a table opened
    // by a worker never touches a connection of another thread. On the storage's own thread a connection
    // a table let go serves again (the pool keeps none for other threads).
    auto connection = pool_->take();
    if (!connection) connection = newConnection(error);
    if (!connection) return nullptr;
    const std::optional<bool> there = made(id, connection->database(), error);
    if (!there) return nullptr;
    if (!*there && !create) {
        error = {ErrorKind::NotFound, location(id)};
        return nullptr;
    }
    auto table =
        std::make_unique<PgTable>(std::move(connection), pool_, columnTypes_, id.kind, scopeOf(id), fields);
    if (!*there && !table->appendSeed(seedRecord(id.kind, fields, now))) {
        error = table->lastFailure();
        return nullptr;
    }
    return table;
}

std::unique_ptr<Table> PgStorage::openTable(const TableId& id, Error& error, const QDateTime& now) {
    error = {};
    return openOn(id, error, true, now);
}

std::unique_ptr<Table> PgStorage::openExisting(const TableId& id, Error& error) {
    error = {};
    return openOn(id, error, false, {});
}

bool PgStorage::exists(const TableId& id) const {
    Error ignored;
    return ask(ignored, [&](const QSqlDatabase& db) { return made(id, db, ignored); }).value_or(false);
}

QString PgStorage::location(const TableId& id) const {
    QString where = url_.toString() + QStringLiteral(": ") + tableName(id.kind);
    const Scope scope = scopeOf(id);
    if (!scope.column.isEmpty())
        where += QLatin1Char(' ') + scope.column + QLatin1Char(' ') + scope.value.toString();
    return where;
}

Error PgStorage::erasePointTable(TableKind kind, const QString& identifier) {
    const TableId id{kind, identifier, {}};
    const Scope scope = scopeOf(id);
    if (scope.column != kPointColumn)
        return {ErrorKind::Invalid, QStringLiteral("no point's table: ") + location(id)};
    Error why;
    const std::optional<bool> erased = ask(why, [&](const QSqlDatabase& db) -> std::optional<bool> {
        QSqlQuery q(db);
        if (q.prepare(QStringLiteral("DELETE FROM ") + tableName(kind) + joinedWhere({scope.where()})) &&
            (q.addBindValue(scope.value), q.exec()))
            return true;
        why = statementError(q, db);
        return std::nullopt;
    });
    if (!erased) {
        why.detail = location(id) + QStringLiteral(": ") + why.detail;
        return why;
    }
    return {};
}

QHash<QString, QVariant> PgStorage::greatestRowValues(TableKind kind, const QStringList& identifiers,
                                                      const QString& keyField, const QString& field,
                                                      const std::function<bool()>& stopped) {
    if (identifiers.isEmpty() || !hasPointColumn(kind) || (stopped && stopped())) return {};
    const QList<FieldSpec>& fields = schemas_.of(kind);
    const FieldSpec* key = fieldNamed(fields, keyField);
    const FieldSpec* value = fieldNamed(fields, field);
    if (!key || !value) return {};
    const QString keyColumn = columnName(key->name);
    QStringList conditions{QString(kPointColumn) + QStringLiteral(" = ANY(?::text[])"),
                           keyColumn + QStringLiteral(" IS NOT NULL")};
    for (const FieldSpec& f : fields)
        if (marksSeedRecord(f)) conditions.append(columnName(f.name) + QStringLiteral(" <> '0'"));
    // Of each point's rows the one with the greatest key: MAX() of the key, as selectGreatest takes it,
    // never counts a row without one.
    const QString sql = QStringLiteral("SELECT DISTINCT ON (") + kPointColumn + QStringLiteral(") ") +
                        kPointColumn + QStringLiteral(", ") + selectedField(*value) +
                        QStringLiteral(" FROM ") + tableName(kind) + joinedWhere(conditions) +
                        QStringLiteral(" ORDER BY ") + kPointColumn + QStringLiteral(", ") + keyColumn +
                        QStringLiteral(" DESC");
    QList<QVariantList> points;
    points.reserve(identifiers.size());
    for (const QString& identifier : identifiers)
        points.append({identifier});
    const QString pointArray = columnArrays(1, points).constFirst();
    Error why;
    return ask(why,
               [&](const QSqlDatabase& db) -> std::optional<QHash<QString, QVariant>> {
                   QSqlQuery q(db);
                   q.setForwardOnly(true);
                   if (!q.prepare(sql)) {
                       why = statementError(q, db);
                       return std::nullopt;
                   }
                   q.addBindValue(pointArray);
                   if (!q.exec()) {
                       why = statementError(q, db);
                       return std::nullopt;
                   }
                   QHash<QString, QVariant> values;
                   values.reserve(identifiers.size());
                   // A row without the value gives none, as a point's own table answers.
                   while (q.next())
                       if (const QVariant v = q.value(1); !v.isNull())
                           values.insert(q.value(0).toString(), v);
                   return values;
               })
        .value_or(QHash<QString, QVariant>());
}

std::optional<QList<QDate>> PgStorage::joinDays(Error& error) const {
    error = {};
    const QSqlDatabase db = database();
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT DISTINCT to_char(day, 'YYYY-MM-DD') FROM ") +
                tableName(TableKind::Join) + QStringLiteral(" ORDER BY 1"))) {
        error = statementError(q, db);
        return std::nullopt;
    }
    QList<QDate> days;
    while (q.next())
        days.append(QDate::fromString(q.value(0).toString(), Qt::ISODate));
    return days;
}

} // namespace tarn::database::postgres
