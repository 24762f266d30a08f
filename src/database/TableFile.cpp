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

#include <atomic>

namespace tarn::database {

namespace {
std::atomic<int> connectionCounter{0};
} // namespace

namespace engine {

int nextConnectionNumber() {
    return ++connectionCounter;
}

int busyWaitMs() {
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("TARN_DB_BUSY_WAIT_MS", &ok);
    return ok && ms >= 0 ? ms : 5000;
}

QString columnType(FieldType type) {
    switch (type) {
    case FieldType::AutoIncrement:
        return QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT"); // numbers are never reused
    case FieldType::Integer:
        return QStringLiteral("INTEGER");
    case FieldType::Float:
        return QStringLiteral("REAL");
    case FieldType::Currency:
        return QStringLiteral("NUMERIC");
    case FieldType::Text:
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::Timestamp:
        return QStringLiteral("TEXT");
    }
    return QStringLiteral("TEXT");
}

QString quoted(const QString& identifier) {
    return QLatin1Char('"') + identifier + QLatin1Char('"');
}

} // namespace engine

using engine::busyWaitMs;
using engine::columnType;
using engine::quoted;

namespace {

bool isIdentifierField(const FieldSpec& f) {
    return f.name.mid(1) == QLatin1String("Identif") || f.name == QLatin1String("gNameGas");
}

} // namespace

Error tableError(const QSqlError& error) {
    if (!error.isValid()) return {};
    // The engine's primary result codes; an extended code carries the primary one in its low byte. Every
    // other code (a file that cannot be opened, a full disk, an I/O error) is the system's: Io.
    constexpr int kBusy = 5, kLocked = 6, kCorrupt = 11, kNotADatabase = 26;
    bool numeric = false;
    const int code = error.nativeErrorCode().toInt(&numeric) & 0xFF;
    ErrorKind kind = ErrorKind::Io;
    if (numeric) {
        if (code == kBusy || code == kLocked)
            kind = ErrorKind::Locked;
        else if (code == kCorrupt || code == kNotADatabase)
            kind = ErrorKind::Damaged;
    }
    return {kind, error.text()};
}

TableFile::TableFile(QString path, QString connection, QString table, QList<FieldSpec> fields)
    : path_(std::move(path)), connection_(std::move(connection)), table_(std::move(table)),
      fields_(std::move(fields)) {}

TableFile::~TableFile() {
    insert_.reset(); // a statement must not outlive its connection
    {
        QSqlDatabase db = QSqlDatabase::database(connection_, false);
        if (db.isOpen()) db.close();
    }
    QSqlDatabase::removeDatabase(connection_);
}

QSqlDatabase TableFile::database() const {
    return QSqlDatabase::database(connection_, false);
}

QVariant TableFile::greatestRowValue(const QString& path, const QList<FieldSpec>& fields,
                                     const QString& keyField, const QString& field) {
    const FieldSpec* key = fieldNamed(fields, keyField);
    const FieldSpec* value = fieldNamed(fields, field);
    if (!key || !value) return {};
    QString sql = QStringLiteral("SELECT ") + quoted(value->name) + QStringLiteral(" FROM ") +
                  quoted(QFileInfo(path).completeBaseName()) + QStringLiteral(" WHERE ") + quoted(key->name) +
                  QStringLiteral(" IS NOT NULL");
    for (const FieldSpec& f : fields)
        if (isIdentifierField(f)) sql += QStringLiteral(" AND ") + quoted(f.name) + QStringLiteral(" <> '0'");
    // Walked backwards by the row number, the engine stops at the first row that is not the seed record
    // instead of reading the whole table for its greatest number.
    sql += QStringLiteral(" ORDER BY ") + quoted(key->name) + QStringLiteral(" DESC LIMIT 1");

    const QString connection = QStringLiteral("tarn-table-%1").arg(engine::nextConnectionNumber());
    QVariant found;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyWaitMs()));
        if (db.open()) {
            QSqlQuery q(db);
            q.setForwardOnly(true);
            // A file without the table (or locked past the wait, or damaged) holds no row to give.
            if (q.exec(sql) && q.next()) found = q.value(0);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return found;
}

std::unique_ptr<TableFile> TableFile::open(const QString& path, TableKind kind,
                                           const QList<FieldSpec>& fields, QString* error,
                                           const QDateTime& now) {
    Error why;
    auto t = open(path, kind, fields, why, now);
    if (!t && error) *error = why.detail;
    return t;
}

std::unique_ptr<TableFile> TableFile::open(const QString& path, TableKind kind,
                                           const QList<FieldSpec>& fields, Error& error,
                                           const QDateTime& now) {
    error = {};
    auto fail = [&error](const Error& why) {
        error = why;
        return std::unique_ptr<TableFile>();
    };
    if (fields.isEmpty()) return fail({ErrorKind::Invalid, QStringLiteral("no fields for ") + path});
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return fail({ErrorKind::Io, QStringLiteral("cannot create ") + info.absolutePath()});
    const bool existed = info.exists();
    const QString connection = QStringLiteral("tarn-table-%1").arg(engine::nextConnectionNumber());
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        // Another program on the same installation may hold the file for a moment.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyWaitMs()));
        if (!db.open()) {
            const Error why = tableError(db.lastError());
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(connection);
            return fail(why);
        }
    }
    // The table inside the file has the file's base name: h_t12345, Bd_Quon, j_240309.
    std::unique_ptr<TableFile> t(new TableFile(path, connection, info.completeBaseName(), fields));
    {
        QSqlQuery wal(t->database());
        wal.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        wal.finish(); // a statement still open would keep the seed's transaction from committing
    }
    if (!existed || !t->database().tables().contains(t->table_)) {
        if (!t->createWithSeed(kind, now)) return fail(t->failure_);
    }
    return t;
}

bool TableFile::createWithSeed(TableKind kind, const QDateTime& now) {
    QStringList columns;
    for (const FieldSpec& f : fields_)
        columns.append(quoted(f.name) + QLatin1Char(' ') + columnType(f.type));
    QSqlDatabase db = database();
    db.transaction();
    QSqlQuery create(db);
    if (!create.exec(QStringLiteral("CREATE TABLE ") + quoted(table_) + QStringLiteral(" (") +
                     columns.join(QStringLiteral(", ")) + QLatin1Char(')'))) {
        failure_ = tableError(create.lastError());
        db.rollback();
        return false;
    }
    const QVariantMap seed = seedRecord(kind, fields_, now);
    if (!append(seed)) {
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        failure_ = tableError(db.lastError());
        return false;
    }
    return true;
}

QVariantMap seedRecord(TableKind kind, const QList<FieldSpec>& fields, const QDateTime& now) {
    // The identifier and every text "0" (the join table's "--"), clock fields now.
    QVariantMap seed;
    const bool join = kind == TableKind::Join;
    for (const FieldSpec& f : fields) {
        switch (f.type) {
        case FieldType::AutoIncrement:
            break;
        case FieldType::Text:
            seed.insert(f.name, join && !isIdentifierField(f) ? QStringLiteral("--") : QStringLiteral("0"));
            break;
        case FieldType::Date:
            seed.insert(f.name, storedDate(now.date()));
            break;
        case FieldType::Time:
            seed.insert(f.name, join ? QStringLiteral("00:00:00")
                                     : storedTime(QTime(now.time().hour(), now.time().minute())));
            break;
        case FieldType::Timestamp:
            seed.insert(f.name, f.name == QLatin1String("kDateTimeRS") ? storedTimestamp(noTimestamp())
                                                                       : storedTimestamp(now));
            break;
        case FieldType::Integer:
        case FieldType::Float:
        case FieldType::Currency:
            seed.insert(f.name, 0);
            break;
        }
    }
    if (join) seed.insert(QStringLiteral("jIdentif"), QStringLiteral("0"));
    return seed;
}

bool marksSeedRecord(const FieldSpec& field) {
    return isIdentifierField(field);
}

bool TableFile::transaction() {
    return database().transaction();
}

bool TableFile::commit() {
    QSqlDatabase db = database();
    if (db.commit()) return true;
    failure_ = tableError(db.lastError());
    return false;
}

void TableFile::rollback() {
    database().rollback();
}

int TableFile::position(const QString& field) const {
    const auto known = positions_.constFind(field);
    if (known != positions_.constEnd()) return known.value();
    int found = -1;
    for (qsizetype i = 0; i < fields_.size() && found < 0; ++i)
        if (fields_.at(i).name.compare(field, Qt::CaseInsensitive) == 0) found = static_cast<int>(i);
    positions_.insert(field, found);
    return found;
}

QVariant TableFile::fitted(int position, const QVariant& value) const {
    const FieldSpec& f = fields_.at(position);
    if (f.type != FieldType::Text) return value;
    // A text never given (an empty line of a form) is stored as empty text: NULL would read back as
    // "no value" and fail every comparison with "".
    if (value.typeId() == QMetaType::QString) {
        // The common case, a text that fits, goes on as it is: no copy for each value of each row.
        const QString& text = *static_cast<const QString*>(value.constData());
        if (text.isNull()) return QVariant(QStringLiteral(""));
        if (f.width <= 0 || text.size() <= f.width) return value;
        return QVariant(text.left(f.width));
    }
    if (value.isNull()) return QVariant(QStringLiteral(""));
    return f.width > 0 ? QVariant(value.toString().left(f.width)) : value;
}

std::optional<QSqlQuery> TableFile::listing() const {
    QString sql = QStringLiteral("SELECT * FROM ") + quoted(table_);
    for (const FieldSpec& f : fields_)
        if (isIdentifierField(f))
            sql += QStringLiteral(" WHERE ") + quoted(f.name) + QStringLiteral(" <> '0'");
    sql += QStringLiteral(" ORDER BY ") + quoted(fields_.first().name);
    QSqlQuery query(database());
    if (!query.exec(sql)) {
        failure_ = tableError(query.lastError());
        return std::nullopt;
    }
    return query;
}

QList<QVariantList> TableFile::selectGreatest(const QString& field) const {
    const int p = position(field);
    if (p < 0) {
        failure_ = {ErrorKind::Invalid,
                    QStringLiteral("no field ") + field + QStringLiteral(" in ") + table_};
        return {};
    }
    const QString name = quoted(fields_.at(p).name);
    // The seed record stays out of the greatest value as it stays out of every selection: its stamp is
    // the time the table was made.
    QString greatest = QStringLiteral("SELECT MAX(") + name + QStringLiteral(") FROM ") + quoted(table_);
    for (const FieldSpec& f : fields_)
        if (isIdentifierField(f))
            greatest += QStringLiteral(" WHERE ") + quoted(f.name) + QStringLiteral(" <> '0'");
    return select(name + QStringLiteral(" = (") + greatest + QLatin1Char(')'));
}

std::optional<QList<QVariantList>> TableFile::trySelect(const QString& condition, const QVariantList& values,
                                                        const QString& orderBy) const {
    const FieldSpec* key = nullptr;
    for (const FieldSpec& f : fields_)
        if (isIdentifierField(f)) key = &f;
    QString sql = QStringLiteral("SELECT * FROM ") + quoted(table_);
    QStringList where;
    if (key) where.append(quoted(key->name) + QStringLiteral(" <> '0'"));
    if (!condition.isEmpty()) where.append(QLatin1Char('(') + condition + QLatin1Char(')'));
    if (!where.isEmpty()) sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    sql += QStringLiteral(" ORDER BY ") + (orderBy.isEmpty() ? quoted(fields_.first().name) : orderBy);
    return selectRows(sql, values, static_cast<int>(fields_.size()));
}

std::optional<QList<QVariantList>> TableFile::selectRows(const QString& sql, const QVariantList& values,
                                                         int columns) const {
    QSqlQuery q(database());
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec()) {
        failure_ = tableError(q.lastError());
        return std::nullopt;
    }
    QList<QVariantList> rows;
    while (q.next()) {
        QVariantList row;
        row.reserve(columns);
        for (int i = 0; i < columns; ++i)
            row.append(q.value(i));
        rows.append(row);
    }
    // A page that cannot be read ends the walk the same way as the last row does.
    if (q.lastError().isValid()) {
        failure_ = tableError(q.lastError());
        return std::nullopt;
    }
    return rows;
}

std::optional<QStringList> TableFile::quotedFields(const QStringList& fields) const {
    QStringList names;
    if (fields.isEmpty()) {
        for (const FieldSpec& f : fields_)
            names.append(quoted(f.name));
        return names;
    }
    for (const QString& field : fields) {
        const int p = position(field);
        if (p < 0) {
            failure_ = {ErrorKind::Invalid,
                        QStringLiteral("no field ") + field + QStringLiteral(" in ") + table_};
            return std::nullopt;
        }
        names.append(quoted(fields_.at(p).name));
    }
    return names;
}

QString TableFile::whereClause(const QString& condition) const {
    QStringList where;
    for (const FieldSpec& f : fields_)
        if (isIdentifierField(f)) where.append(quoted(f.name) + QStringLiteral(" <> '0'"));
    if (!condition.isEmpty()) where.append(QLatin1Char('(') + condition + QLatin1Char(')'));
    return where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
}

std::optional<QList<QVariantList>> TableFile::trySelectFields(const QStringList& fields,
                                                              const QString& condition,
                                                              const QVariantList& values) const {
    const auto names = quotedFields(fields);
    if (!names) return std::nullopt;
    const QString sql = QStringLiteral("SELECT ") + names->join(QStringLiteral(", ")) +
                        QStringLiteral(" FROM ") + quoted(table_) + whereClause(condition);
    return selectRows(sql, values, static_cast<int>(names->size()));
}

std::optional<qint64> TableFile::rowCount() const {
    const auto rows =
        selectRows(QStringLiteral("SELECT count(*) FROM ") + quoted(table_) + whereClause({}), {}, 1);
    if (!rows) return std::nullopt;
    return rows->value(0).value(0).toLongLong();
}

bool TableFile::forEachRow(const QStringList& fields, const QString& condition, const QVariantList& values,
                           const QString& orderBy, const RowVisitor& visit) const {
    const auto names = quotedFields(fields);
    if (!names) return false;
    QSqlQuery q(database());
    // Forward only: the driver keeps no row behind the one in hand.
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT ") + names->join(QStringLiteral(", ")) + QStringLiteral(" FROM ") +
              quoted(table_) + whereClause(condition) + QStringLiteral(" ORDER BY ") +
              (orderBy.isEmpty() ? quoted(fields_.first().name) : orderBy));
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec()) {
        failure_ = tableError(q.lastError());
        return false;
    }
    const RowValues row(q);
    while (q.next())
        if (!visit(row)) return true;
    // A page that cannot be read ends the walk the same way as the last row does.
    if (q.lastError().isValid()) {
        failure_ = tableError(q.lastError());
        return false;
    }
    return true;
}

bool TableFile::append(const QVariantMap& values) {
    return appendByName(values, table_, failure_);
}

bool TableFile::appendAt(const QList<int>& positions, const QVariantList& values) {
    for (int p : positions)
        if (p < 0 || p >= fields_.size()) {
            failure_ = {ErrorKind::Invalid, QStringLiteral("no such field in ") + table_};
            return false;
        }
    // Preparing costs more than the insert itself: the statement of the last append is used again when
    // this one names the same fields.
    std::unique_ptr<QSqlQuery> fresh;
    QSqlQuery* q = insert_ && positions == insertPositions_ ? insert_.get() : nullptr;
    if (!q) {
        QStringList names;
        for (int p : positions)
            names.append(quoted(fields_.at(p).name));
        fresh = std::make_unique<QSqlQuery>(database());
        const bool prepared = fresh->prepare(
            QStringLiteral("INSERT INTO ") + quoted(table_) + QStringLiteral(" (") +
            names.join(QStringLiteral(", ")) + QStringLiteral(") VALUES (") +
            QStringList(names.size(), QStringLiteral("?")).join(QStringLiteral(", ")) + QLatin1Char(')'));
        q = fresh.get();
        insertBound_.clear();
        if (prepared) {
            // Kept for the next append; one that could not be prepared is not kept, so that the next
            // append tries again and a failure reads as it always did, from the exec below.
            insert_ = std::move(fresh);
            insertPositions_ = positions;
        }
    }
    // A statement keeps its bound values from one execution to the next.
    const bool kept = q == insert_.get();
    if (kept) insertBound_.resize(positions.size());
    for (qsizetype i = 0; i < positions.size(); ++i) {
        QVariant value = fitted(positions.at(i), values.value(i));
        if (kept) {
            QVariant& bound = insertBound_[i];
            // Texts only, compared character for character (a number's equality is looser than its
            // stored form: 0.0 and -0.0), and a null text is not an empty one.
            if (value.typeId() == QMetaType::QString && bound.typeId() == QMetaType::QString) {
                const auto& was = *static_cast<const QString*>(bound.constData());
                const auto& text = *static_cast<const QString*>(value.constData());
                if (was.isNull() == text.isNull() && was == text) continue;
            }
            bound = value;
        }
        q->bindValue(static_cast<int>(i), value);
    }
    if (!q->exec()) {
        failure_ = tableError(q->lastError());
        return false;
    }
    q->finish(); // the kept statement must not count as one in progress when the transaction ends
    return true;
}

bool TableFile::update(const QString& keyField, const QVariant& key, const QString& field,
                       const QVariant& value) {
    const int k = position(keyField);
    const int p = position(field);
    if (k < 0 || p < 0) {
        failure_ = {ErrorKind::Invalid, QStringLiteral("no such field in ") + table_};
        return false;
    }
    QSqlQuery q(database());
    q.prepare(QStringLiteral("UPDATE ") + quoted(table_) + QStringLiteral(" SET ") +
              quoted(fields_.at(p).name) + QStringLiteral(" = ? WHERE ") + quoted(fields_.at(k).name) +
              QStringLiteral(" = ?"));
    q.addBindValue(fitted(p, value));
    q.addBindValue(key);
    if (!q.exec()) {
        failure_ = tableError(q.lastError());
        return false;
    }
    return true;
}

bool TableFile::remove(const QString& keyField, const QVariant& key) {
    const int k = position(keyField);
    if (k < 0) return false;
    QSqlQuery q(database());
    q.prepare(QStringLiteral("DELETE FROM ") + quoted(table_) + QStringLiteral(" WHERE ") +
              quoted(fields_.at(k).name) + QStringLiteral(" = ?"));
    q.addBindValue(key);
    if (!q.exec()) {
        failure_ = tableError(q.lastError());
        return false;
    }
    return true;
}

} // namespace tarn::database
