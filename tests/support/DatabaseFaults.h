#pragma once
// Table files that fail as they fail in the field: held by another program, or damaged.
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

namespace tarn::test {

// Another program's connection to a table file; its transaction ends when it goes.
class SqliteHolder {
public:
    explicit SqliteHolder(const QString& path) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        db.setDatabaseName(path);
        db.open();
    }
    ~SqliteHolder() {
        {
            QSqlDatabase db = QSqlDatabase::database(name_, false);
            db.rollback();
            db.close();
        }
        QSqlDatabase::removeDatabase(name_);
    }
    SqliteHolder(const SqliteHolder&) = delete;
    SqliteHolder& operator=(const SqliteHolder&) = delete;
    // Holds the write lock: readers still read, every writer waits and then fails.
    bool lockForWriting() {
        QSqlQuery q(QSqlDatabase::database(name_, false));
        return q.exec(QStringLiteral("BEGIN EXCLUSIVE"));
    }

private:
    QString name_ = QStringLiteral("test-holder-%1").arg(reinterpret_cast<quintptr>(this));
};

// Garbage over every page after the first: the file still opens and names its table, but its rows
// cannot be read.
inline bool damageTableFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite) || f.size() <= 4096) return false;
    const qint64 size = f.size();
    f.seek(4096);
    return f.write(QByteArray(size - 4096, '\xA5')) == size - 4096;
}

// Statements run on a table file as another program might run them; the journal folded in after.
inline bool alterTableFile(const QString& path, const QStringList& statements) {
    const QString name = QStringLiteral("test-alter");
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        ok = db.open();
        for (const QString& sql : statements)
            ok = ok && QSqlQuery(db).exec(sql);
        QSqlQuery(db).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

// A table file another program made with the engine's older journal (rather than the write-ahead log
// our own files keep): there a writer holding the file keeps readers out too.
inline bool useRollbackJournal(const QString& path) {
    return alterTableFile(path, {QStringLiteral("PRAGMA journal_mode=DELETE")});
}

// A folder nothing can be written into: made read-only, or, where the permissions do not stop this
// process (run as the superuser), a folder that cannot be made at all because a plain file has its name.
inline QString unwritableFolder(const QString& parent) {
    const QString folder = parent + QStringLiteral("/read-only");
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                      QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther);
    QFile probe(folder + QStringLiteral("/probe"));
    if (!probe.open(QIODevice::WriteOnly)) return folder;
    probe.close();
    probe.remove();
    QFile blocker(parent + QStringLiteral("/plain-file"));
    blocker.open(QIODevice::WriteOnly);
    blocker.write("x");
    return blocker.fileName() + QStringLiteral("/folder");
}

// The first value of a query on a table file, read by the engine directly; -1 when it cannot be read.
inline qlonglong queryNumber(const QString& path, const QString& sql) {
    const QString name = QStringLiteral("test-count");
    qlonglong n = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(sql) && q.next()) n = q.value(0).toLongLong();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return n;
}

} // namespace tarn::test
