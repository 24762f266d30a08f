#include "database/postgres/Migrations.h"

#include "database/postgres/DatabaseUrl.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace tarn::database::postgres {

namespace {

// The migration text cannot be split into statements: why, for the caller.
bool refuseStatements(QString* error, const QString& why) {
    if (error) *error = why;
    return false;
}

bool identifierChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$');
}

// The statement in a message: its first line is enough to find it in the file.
QString firstLine(const QString& statement) {
    const QString line = statement.section(QLatin1Char('\n'), 0, 0).trimmed();
    return line.size() > 80 ? line.left(80) + QStringLiteral("…") : line;
}

// Takes the lock every program migrating this schema takes, held until the transaction ends.
bool lockMigrations(QSqlQuery& q, const QString& schema) {
    q.prepare(QStringLiteral("SELECT pg_advisory_xact_lock(hashtext(?))"));
    q.addBindValue(QStringLiteral("tarn-migrations:") + schema);
    return q.exec();
}

std::optional<int> currentVersion(QSqlQuery& q, const QString& quotedSchema) {
    if (!q.exec(QStringLiteral("SELECT coalesce(max(version), 0) FROM ") + quotedSchema +
                QStringLiteral(".schema_version")) ||
        !q.next())
        return std::nullopt;
    return q.value(0).toInt();
}

Error serverError(const QString& what, const QSqlError& error) {
    const ErrorKind kind = error.type() == QSqlError::ConnectionError ? ErrorKind::NoLink : ErrorKind::Io;
    return Error(kind, what + QStringLiteral(": ") + error.text());
}

} // namespace

QList<Migration> bundledMigrations() {
    static const QRegularExpression fileName(QStringLiteral("^(\\d{4})_[a-z0-9_]+\\.sql$"));
    const QDir folder(QStringLiteral(":/tarn/postgres/migrations"));
    QList<Migration> migrations;
    for (const QString& name : folder.entryList({QStringLiteral("*.sql")}, QDir::Files, QDir::Name)) {
        const QRegularExpressionMatch match = fileName.match(name);
        if (!match.hasMatch()) continue;
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) continue;
        migrations.append({match.captured(1).toInt(), name, QString::fromUtf8(file.readAll())});
    }
    return migrations;
}

std::optional<QStringList> splitSqlStatements(const QString& script, QString* error) {
    enum class In { Code, Text, Name, LineComment, BlockComment };
    In in = In::Code;
    int line = 1;
    int openedOn = 0;
    int commentDepth = 0;
    QStringList statements;
    QString current;
    auto endStatement = [&] {
        const QString statement = current.trimmed();
        if (!statement.isEmpty()) statements.append(statement);
        current.clear();
    };
    for (qsizetype i = 0; i < script.size(); ++i) {
        const QChar c = script.at(i);
        const QChar next = i + 1 < script.size() ? script.at(i + 1) : QChar();
        const QChar previous = i > 0 ? script.at(i - 1) : QChar();
        if (c == QLatin1Char('\n')) ++line;
        switch (in) {
        case In::Code:
            if (c == QLatin1Char('-') && next == QLatin1Char('-')) {
                in = In::LineComment;
                ++i;
            } else if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
                in = In::BlockComment;
                openedOn = line;
                commentDepth = 1;
                ++i;
            } else if (c == QLatin1Char(';')) {
                endStatement();
            } else {
                if (c == QLatin1Char('$') && !identifierChar(previous)) {
                    refuseStatements(error, QStringLiteral("line %1: dollar quoting is not supported here").arg(line));
                    return std::nullopt;
                }
                // An E'…' text takes backslash escapes, which would hide its closing quote from this reader.
                if ((c == QLatin1Char('E') || c == QLatin1Char('e')) && next == QLatin1Char('\'') &&
                    !identifierChar(previous)) {
                    refuseStatements(error, QStringLiteral("line %1: E'…' texts are not supported here").arg(line));
                    return std::nullopt;
                }
                if (c == QLatin1Char('\'')) in = In::Text;
                if (c == QLatin1Char('"')) in = In::Name;
                if (in != In::Code) openedOn = line;
                current += c;
            }
            break;
        case In::Text:
        case In::Name: {
            const QChar quote = in == In::Text ? QLatin1Char('\'') : QLatin1Char('"');
            current += c;
            if (c == quote && next == quote) {
                current += next;
                ++i;
            } else if (c == quote) {
                in = In::Code;
            }
            break;
        }
        case In::LineComment:
            if (c == QLatin1Char('\n')) {
                in = In::Code;
                current += c;
            }
            break;
        case In::BlockComment:
            // The server's block comments nest.
            if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
                ++commentDepth;
                ++i;
            } else if (c == QLatin1Char('*') && next == QLatin1Char('/')) {
                ++i;
                if (--commentDepth == 0) {
                    in = In::Code;
                    current += QLatin1Char(' ');
                }
            }
            break;
        }
    }
    if (in == In::Text || in == In::Name || in == In::BlockComment) {
        const char* what = in == In::Text ? "quoted text" : in == In::Name ? "quoted name" : "comment";
        refuseStatements(error, QStringLiteral("the %1 opened on line %2 is never closed")
                        .arg(QLatin1String(what))
                        .arg(openedOn));
        return std::nullopt;
    }
    endStatement();
    return statements;
}

MigrationResult migrate(QSqlDatabase& db, const QString& schema, const QList<Migration>& migrations) {
    MigrationResult result;
    auto failWith = [&result, &db](Error error) {
        if (db.isOpen()) db.rollback();
        result.error = std::move(error);
        return result;
    };
    QString why;
    if (!isValidSchemaName(schema, &why)) return failWith(Error(ErrorKind::Invalid, why));
    for (qsizetype i = 0; i < migrations.size(); ++i)
        if (migrations.at(i).version != i + 1)
            return failWith(
                Error(ErrorKind::Invalid, QStringLiteral("the migrations are not numbered 1, 2, …: "
                                                         "%1 stands at place %2")
                                              .arg(migrations.at(i).name)
                                              .arg(i + 1)));
    const int latest = static_cast<int>(migrations.size());
    const QString quotedSchema = quotedIdentifier(schema);
    QSqlQuery q(db);

    // The path outside a transaction, so that it stays for the connection's life: every statement of the
    // program names its tables unqualified.
    if (!q.exec(QStringLiteral("SET search_path TO ") + quotedSchema))
        return failWith(serverError(QStringLiteral("cannot set the search path"), q.lastError()));
    if (!db.transaction()) return failWith(serverError(QStringLiteral("cannot begin"), db.lastError()));
    if (!lockMigrations(q, schema))
        return failWith(serverError(QStringLiteral("cannot lock the schema"), q.lastError()));
    // Under the lock: two programs creating one new schema at once would otherwise collide.
    if (!q.exec(QStringLiteral("CREATE SCHEMA IF NOT EXISTS ") + quotedSchema) ||
        !q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS ") + quotedSchema +
                QStringLiteral(".schema_version (version integer PRIMARY KEY, name text NOT NULL, "
                               "applied_at timestamptz NOT NULL DEFAULT now())")))
        return failWith(serverError(QStringLiteral("cannot make the schema ") + schema, q.lastError()));
    const auto found = currentVersion(q, quotedSchema);
    if (!found)
        return failWith(serverError(QStringLiteral("cannot read the schema's version"), q.lastError()));
    q.finish();
    if (!db.commit()) return failWith(serverError(QStringLiteral("cannot commit"), db.lastError()));
    result.versionBefore = *found;
    result.versionAfter = *found;

    auto refuseNewer = [&](int version) {
        return failWith(Error(ErrorKind::Invalid,
                              QStringLiteral("the schema %1 is of version %2, newer than this program's %3: "
                                             "open it with a newer program")
                                  .arg(schema)
                                  .arg(version)
                                  .arg(latest)));
    };
    if (*found > latest) return refuseNewer(*found);

    for (qsizetype i = *found; i < migrations.size(); ++i) {
        const Migration& m = migrations.at(i);
        const auto statements = splitSqlStatements(m.sql, &why);
        if (!statements) return failWith(Error(ErrorKind::Invalid, m.name + QStringLiteral(": ") + why));
        if (!db.transaction()) return failWith(serverError(QStringLiteral("cannot begin"), db.lastError()));
        if (!lockMigrations(q, schema))
            return failWith(serverError(QStringLiteral("cannot lock the schema"), q.lastError()));
        // Another program may have applied it while this one waited for the lock.
        const auto current = currentVersion(q, quotedSchema);
        if (!current)
            return failWith(serverError(QStringLiteral("cannot read the schema's version"), q.lastError()));
        if (*current > latest) return refuseNewer(*current);
        if (*current < m.version) {
            for (const QString& statement : *statements)
                if (!q.exec(statement))
                    return failWith(Error(ErrorKind::Damaged,
                                          QStringLiteral("%1 failed at \"%2\": %3")
                                              .arg(m.name, firstLine(statement), q.lastError().text())));
            q.prepare(QStringLiteral("INSERT INTO ") + quotedSchema +
                      QStringLiteral(".schema_version (version, name) VALUES (?, ?)"));
            q.addBindValue(m.version);
            q.addBindValue(m.name);
            if (!q.exec())
                return failWith(serverError(QStringLiteral("cannot record ") + m.name, q.lastError()));
        }
        q.finish();
        if (!db.commit())
            return failWith(serverError(QStringLiteral("cannot commit ") + m.name, db.lastError()));
        result.versionAfter = std::max(*current, m.version);
    }
    return result;
}

} // namespace tarn::database::postgres
