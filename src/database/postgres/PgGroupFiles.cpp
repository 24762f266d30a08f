#include "database/postgres/PgGroupFiles.h"

#include "database/postgres/PgStorage.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>

namespace tarn::database::postgres {

namespace {

Error failedQuery(const QSqlQuery& q) {
    return pgError(q.lastError());
}

// The same names as the folder takes: a list line naming "../x" or "a/b" names no group file there, and
// must name none here either.
Error checkedName(const QString& name) {
    if (isPlainFileName(name)) return {};
    return {ErrorKind::Invalid, QStringLiteral("no group file name: ") + name};
}

} // namespace

PgGroupFiles::PgGroupFiles(std::unique_ptr<PgConnection> connection)
    : connection_(std::move(connection)), url_(connection_->url()), owner_(QThread::currentThread()) {}

PgGroupFiles::~PgGroupFiles() = default;

std::unique_ptr<PgGroupFiles> PgGroupFiles::open(const DatabaseUrl& url, Error* error) {
    auto connection = PgConnection::open(url, error);
    if (!connection) return nullptr;
    return std::make_unique<PgGroupFiles>(std::move(connection));
}

Error PgGroupFiles::onConnection(const std::function<Error(QSqlDatabase& db)>& work) const {
    const auto newConnection = [this](Error& why) {
        const std::lock_guard<std::mutex> lock(connectionMutex_);
        return connection_->another(&why);
    };
    if (QThread::currentThread() != owner_) {
        Error why;
        auto connection = newConnection(why);
        if (!connection)
            return why.failed() ? why : Error(ErrorKind::NoLink, QStringLiteral("cannot connect"));
        QSqlDatabase db = connection->database();
        return work(db);
    }
    QSqlDatabase db = connection_->database();
    Error answer = db.isOpen() ? work(db) : Error(ErrorKind::NoLink);
    if (!answer.is(ErrorKind::NoLink)) return answer;
    // The driver learns that the server ended the connection only from the next statement: that one is
    // asked again once on a new connection.
    Error why;
    auto again = newConnection(why);
    if (!again) return answer.detail.isEmpty() ? why : answer;
    {
        const std::lock_guard<std::mutex> lock(connectionMutex_);
        connection_ = std::move(again);
    }
    db = connection_->database();
    return work(db);
}

std::optional<QByteArray> PgGroupFiles::read(const QString& name, Error& error) const {
    if (error = checkedName(name); error.failed()) return std::nullopt;
    std::optional<QByteArray> bytes;
    error = onConnection([&](QSqlDatabase& db) {
        bytes.reset();
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT bytes FROM group_files WHERE name = ?"));
        q.addBindValue(name);
        if (!q.exec()) return failedQuery(q);
        if (!q.next()) return Error(ErrorKind::NotFound, location(name) + QStringLiteral(": not there"));
        bytes = q.value(0).toByteArray();
        return Error();
    });
    if (error.failed()) return std::nullopt;
    return bytes;
}

bool PgGroupFiles::exists(const QString& name) const {
    Error ignored;
    return read(name, ignored).has_value();
}

Error PgGroupFiles::change(const QList<GroupFileChange>& changes, QString* failedName) {
    if (changes.isEmpty()) return {};
    QString failing;
    const Error result = changeFromCurrent(
        [&changes](const GroupFilesReader&, QList<GroupFileChange>& made) {
            made = changes;
            return Error();
        },
        &failing);
    // A transaction that failed as a whole (the commit, the link) is laid to its first file.
    if (result.failed() && failedName) *failedName = failing.isEmpty() ? changes.first().name : failing;
    return result;
}

Error PgGroupFiles::changeFromCurrent(const GroupChangeMaker& make, QString* failedName) {
    QString failing;
    const Error result = onConnection([&](QSqlDatabase& db) {
        failing.clear();
        if (!db.transaction()) return pgError(db.lastError());
        const auto rollback = [&db](Error why) {
            db.rollback();
            return why;
        };
        // First, so that two changes at once take their turns on this row: the second waits here until
        // the first has committed, and what it reads below is then what the first left.
        QSqlQuery count(db);
        if (!count.exec(QStringLiteral("UPDATE group_files_revision SET revision = revision + 1")))
            return rollback(failedQuery(count));
        Error unread;
        const GroupFilesReader current = [&](const QString& name, Error& error) -> std::optional<QByteArray> {
            if (error = checkedName(name); error.failed()) return std::nullopt;
            QSqlQuery q(db);
            q.prepare(QStringLiteral("SELECT bytes FROM group_files WHERE name = ?"));
            q.addBindValue(name);
            if (!q.exec()) {
                error = failedQuery(q);
                // A lost link is the whole change's answer, so that it is tried again on a new one.
                if (error.is(ErrorKind::NoLink)) unread = error;
                return std::nullopt;
            }
            if (!q.next()) {
                error = {ErrorKind::NotFound, location(name) + QStringLiteral(": not there")};
                return std::nullopt;
            }
            error = {};
            return q.value(0).toByteArray();
        };
        QList<GroupFileChange> changes;
        const Error refused = make(current, changes);
        if (unread.failed()) return rollback(unread);
        if (refused.failed()) return rollback(refused);
        // Nothing to change leaves the count where it was: no console rebuilds its day for it.
        if (changes.isEmpty()) return rollback(Error());
        for (const GroupFileChange& c : changes)
            if (Error why = checkedName(c.name); why.failed()) {
                failing = c.name;
                return rollback(why);
            }
        for (const GroupFileChange& c : changes) {
            QSqlQuery q(db);
            if (c.bytes) {
                q.prepare(
                    QStringLiteral("INSERT INTO group_files (name, bytes) VALUES (?, coalesce(?, ''::bytea)) "
                                   "ON CONFLICT (name) DO UPDATE SET bytes = EXCLUDED.bytes"));
                q.addBindValue(c.name);
                // An empty file is bound as NULL by the driver; the coalesce keeps it an empty one.
                q.addBindValue(*c.bytes);
            } else {
                q.prepare(QStringLiteral("DELETE FROM group_files WHERE name = ?"));
                q.addBindValue(c.name);
            }
            if (!q.exec()) {
                failing = c.name;
                return rollback(failedQuery(q));
            }
        }
        if (!db.commit()) return rollback(pgError(db.lastError()));
        return Error();
    });
    if (result.failed() && failedName) *failedName = failing;
    return result;
}

std::optional<QByteArray> PgGroupFiles::changeMark() const {
    QByteArray mark;
    const Error why = onConnection([&mark](QSqlDatabase& db) {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SELECT revision FROM group_files_revision"))) return failedQuery(q);
        if (!q.next()) return Error(ErrorKind::Damaged, QStringLiteral("group_files_revision has no row"));
        mark = "revision " + q.value(0).toByteArray();
        return Error();
    });
    if (why.ok()) lastMark_ = mark;
    return lastMark_;
}

QString PgGroupFiles::location(const QString& name) const {
    return url_.toString() + QStringLiteral(": group file ") + name;
}

QList<QString> PgGroupFiles::names(Error& error) const {
    QList<QString> out;
    error = onConnection([&out](QSqlDatabase& db) {
        out.clear();
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SELECT name FROM group_files ORDER BY name"))) return failedQuery(q);
        while (q.next())
            out.append(q.value(0).toString());
        return Error();
    });
    return out;
}

} // namespace tarn::database::postgres
