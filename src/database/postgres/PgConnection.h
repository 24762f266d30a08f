#pragma once
// One connection to an installation's schema on a PostgreSQL server, through Qt's QPSQL driver, under a
// connection name of its own (so several live side by side, as the SQLite tables' connections do).
// Opening it makes the schema when it is missing, points the search path at it and brings it to the
// program's version; a connection that opened is ready for unqualified SQL on the installation's tables.
// libpq reads the password itself (~/.pgpass, PGPASSWORD): the program never holds one.
#include "common/Error.h"
#include "database/postgres/DatabaseUrl.h"
#include "database/postgres/Migrations.h"

#include <QSqlDatabase>
#include <memory>

namespace tarn::database::postgres {

class PgConnection {
public:
    // Nothing when the driver is missing, the server refuses or cannot be reached, or the schema cannot
    // be brought to the program's version (or is newer); error says which and why.
    static std::unique_ptr<PgConnection> open(const DatabaseUrl& url, Error* error = nullptr,
                                              const QList<Migration>& migrations = bundledMigrations());
    // A further connection to the same schema, already at the program's version (nothing migrates): for
    // work that needs a transaction of its own beside this connection's. Nothing when the server refuses.
    std::unique_ptr<PgConnection> another(Error* error = nullptr) const;
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    QSqlDatabase database() const { return QSqlDatabase::database(name_, false); }
    const QString& connectionName() const { return name_; }
    const DatabaseUrl& url() const { return url_; }
    // The schema's version once opened, and what it was before this connection migrated it.
    int schemaVersion() const { return migration_.versionAfter; }
    int versionFound() const { return migration_.versionBefore; }

private:
    PgConnection(QString name, DatabaseUrl url) : name_(std::move(name)), url_(std::move(url)) {}

    QString name_;
    DatabaseUrl url_;
    MigrationResult migration_;
};

// Whether Qt's PostgreSQL driver is there (Debian package libqt6sql6-psql).
bool postgresDriverAvailable();

} // namespace tarn::database::postgres
