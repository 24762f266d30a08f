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
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(kDriver, connection->name_);
        db.setHostName(url.connectHost());
        if (url.port != 0) db.setPort(url.port);
        db.setUserName(url.user);
        db.setDatabaseName(url.database);
        db.setConnectOptions(url.connectOptions());
        if (!db.open())
            return refuse(
                Error(ErrorKind::NoLink, QStringLiteral("cannot connect to %1: %2")
                                             .arg(url.toString(), db.lastError().text().trimmed())));
        // The records' times are the corrector's wall time. The driver sends a QDateTime with this
        // computer's offset, and the server turns it into a wall time of the session's zone: the two must be
        // one zone, or every stored time shifts by the difference.
        const QString zone = QString::fromUtf8(QTimeZone::systemTimeZoneId());
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT set_config('TimeZone', ?, false)"));
        q.addBindValue(zone);
        if (zone.isEmpty() || !q.exec())
            return refuse(Error(ErrorKind::Invalid,
                                QStringLiteral("the server does not know this computer's time zone \"%1\", "
                                               "so the records' times would shift: %2")
                                    .arg(zone, q.lastError().text().trimmed())));
        q.finish();
        connection->migration_ = migrate(db, url.schema, migrations);
    }
    if (connection->migration_.error.failed()) return refuse(connection->migration_.error);
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
