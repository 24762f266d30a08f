#include "database/postgres/PgConnection.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>
#include <atomic>

namespace tarn::database::postgres {

namespace {

const QLatin1String kDriver("QPSQL");

std::atomic<int> connectionCounter{0};

} // namespace

bool postgresDriverAvailable() {
    return QSqlDatabase::isDriverAvailable(kDriver);
}

namespace {

// The driver's connection under name, open, with the session set up as every connection to an
// installation needs it; NoLink when the server cannot be reached.
Error connectSession(const QString& name, const DatabaseUrl& url) {
    QSqlDatabase db = QSqlDatabase::addDatabase(kDriver, name);
    db.setHostName(url.connectHost());
    if (url.port != 0) db.setPort(url.port);
    db.setUserName(url.user);
    db.setDatabaseName(url.database);
    // The server lists each connection under the installation's schema, so its own views (and whoever
    // must end a stuck connection) tell the installations' connections apart.
    QStringList options = url.connectOptions().split(QLatin1Char(';'), Qt::SkipEmptyParts);
    options.removeIf([](const QString& o) { return o.startsWith(QLatin1String("application_name=")); });
    options.append(QStringLiteral("application_name=tarn/") + url.schema);
    db.setConnectOptions(options.join(QLatin1Char(';')));
    if (!db.open())
        return Error(
            ErrorKind::NoLink,
            QStringLiteral("cannot connect to %1: %2").arg(url.toString(), db.lastError().text().trimmed()));
    // The server's notices (a schema or a table "already exists, skipping" at every start) would reach
    // the user's terminal through libpq: only warnings and errors are worth a line there.
    QSqlQuery quiet(db);
    if (!quiet.exec(QStringLiteral("SELECT set_config('client_min_messages', 'warning', false)")))
        return Error(ErrorKind::NoLink, QStringLiteral("cannot set up the session on %1: %2")
                                            .arg(url.toString(), quiet.lastError().text().trimmed()));
    // The records' times are the corrector's wall time. The driver sends a QDateTime with this
    // computer's offset, and the server turns it into a wall time of the session's zone: the two must be
    // one zone, or every stored time shifts by the difference.
    const QString zone = QString::fromUtf8(QTimeZone::systemTimeZoneId());
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT set_config('TimeZone', ?, false)"));
    q.addBindValue(zone);
    if (zone.isEmpty() || !q.exec())
        return Error(ErrorKind::Invalid, QStringLiteral("the server does not know this computer's time zone "
                                                        "\"%1\", so the records' times would shift: %2")
                                             .arg(zone, q.lastError().text().trimmed()));
    return {};
}

} // namespace

std::unique_ptr<PgConnection> PgConnection::open(const DatabaseUrl& url, Error* error,
                                                 const QList<Migration>& migrations) {
    auto refuse = [error](Error why) {
        if (error) *error = std::move(why);
        return std::unique_ptr<PgConnection>();
    };
    if (!postgresDriverAvailable())
        return refuse(
            Error(ErrorKind::NotFound, QStringLiteral("Qt's PostgreSQL driver (QPSQL, Debian package "
                                                      "libqt6sql6-psql) is not installed")));
    QString why;
    if (!isValidSchemaName(url.schema, &why)) return refuse(Error(ErrorKind::Invalid, why));

    std::unique_ptr<PgConnection> connection(
        new PgConnection(QStringLiteral("tarn-pg-%1").arg(++connectionCounter), url));
    if (Error session = connectSession(connection->name_, url); session.failed()) return refuse(session);
    {
        QSqlDatabase db = connection->database();
        connection->migration_ = migrate(db, url.schema, migrations);
    }
    if (connection->migration_.error.failed()) return refuse(connection->migration_.error);
    return connection;
}

std::unique_ptr<PgConnection> PgConnection::another(Error* error) const {
    std::unique_ptr<PgConnection> connection(
        new PgConnection(QStringLiteral("tarn-pg-%1").arg(++connectionCounter), url_));
    connection->migration_ = {{}, migration_.versionAfter, migration_.versionAfter};
    Error why = connectSession(connection->name_, url_);
    if (why.ok()) {
        // This connection's schema was brought to the program's version when it opened: the new one only
        // needs to look there.
        QSqlQuery q(connection->database());
        q.prepare(QStringLiteral("SELECT set_config('search_path', ?, false)"));
        q.addBindValue(quotedIdentifier(url_.schema));
        if (!q.exec())
            why = Error(
                ErrorKind::NoLink,
                QStringLiteral("cannot use schema %1: %2").arg(url_.schema, q.lastError().text().trimmed()));
    }
    if (why.failed()) {
        if (error) *error = why;
        return nullptr;
    }
    return connection;
}

PgConnection::~PgConnection() {
    {
        QSqlDatabase db = QSqlDatabase::database(name_, false);
        if (db.isOpen()) db.close();
    }
    QSqlDatabase::removeDatabase(name_);
}

} // namespace tarn::database::postgres
