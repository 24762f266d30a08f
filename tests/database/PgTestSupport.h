#pragma once
// The PostgreSQL server the tests run against: ctest's fixture starts a throwaway cluster
// (tests/support/pg-cluster.sh) and names it in TARN_TEST_PG_URL; a developer may name a server of
// their own there instead. Each test works in schemas of its own with fresh random names, dropped when it
// ends, so tests running side by side on one server never see each other's tables. Without a server
// (the variable unset, or the cluster's programs not installed) a test skips and says why.
#include "database/postgres/DatabaseUrl.h"
#include "database/postgres/PgConnection.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>
#include <QVariant>
#include <gtest/gtest.h>
#include <ostream>

// Readable lists of rows in test failures.
inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << "\n  " << list.join(QStringLiteral("\n  ")).toStdString() << "\n";
}

namespace tarn::test {

// The test server and the schemas a test made on it, dropped when it goes.
class PgServer {
public:
    PgServer() = default;
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    // Connects the test's own connection to the server; what keeps the test from running (no server
    // named, no test cluster) comes back as a reason to skip. A server named but unreachable fails the
    // test.
    QString connect() {
        using namespace database::postgres;
        const QString text = qEnvironmentVariable("TARN_TEST_PG_URL");
        if (text.isEmpty())
            return QStringLiteral("TARN_TEST_PG_URL is not set: ctest starts a test cluster and sets it "
                                  "(tests/support/pg-cluster.sh), or name a server of your own");
        QString error;
        const auto url = parseDatabaseUrl(text, &error);
        if (!url) return failed(QStringLiteral("TARN_TEST_PG_URL: ") + error);
        QFile unavailable(url->socketFolder + QStringLiteral("/unavailable"));
        if (!url->socketFolder.isEmpty() && unavailable.open(QIODevice::ReadOnly))
            return QStringLiteral("no test cluster: ") + QString::fromUtf8(unavailable.readAll().trimmed());
        if (!postgresDriverAvailable())
            return failed(QStringLiteral("Qt's QPSQL driver is missing (libqt6sql6-psql)"));
        server_ = *url;
        adminName_ = QStringLiteral("pg-test-admin-") + QUuid::createUuid().toString(QUuid::Id128);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), adminName_);
        db.setHostName(server_.connectHost());
        if (server_.port != 0) db.setPort(server_.port);
        db.setUserName(server_.user);
        db.setDatabaseName(server_.database);
        if (!db.open())
            return failed(
                QStringLiteral("cannot reach the test server %1: %2").arg(text, db.lastError().text()));
        return {};
    }

    ~PgServer() {
        if (adminName_.isEmpty()) return;
        {
            QSqlDatabase db = admin();
            QSqlQuery q(db);
            for (const QString& schema : schemas_)
                EXPECT_TRUE(q.exec(QStringLiteral("DROP SCHEMA IF EXISTS ") +
                                   database::postgres::quotedIdentifier(schema) + QStringLiteral(" CASCADE")))
                    << q.lastError().text().toStdString();
            db.close();
        }
        QSqlDatabase::removeDatabase(adminName_);
    }

    // The server's URL with a schema name no one has used; the schema is dropped when the test ends.
    database::postgres::DatabaseUrl freshSchema() {
        return withSchema(QStringLiteral("t_") + QUuid::createUuid().toString(QUuid::Id128));
    }
    // The server's URL with the given schema, dropped (if it exists) before and after the test.
    database::postgres::DatabaseUrl withSchema(const QString& schema) {
        database::postgres::DatabaseUrl url = server_;
        url.schema = schema;
        schemas_.append(schema);
        QSqlQuery q(admin());
        q.exec(QStringLiteral("DROP SCHEMA IF EXISTS ") + database::postgres::quotedIdentifier(schema) +
               QStringLiteral(" CASCADE"));
        return url;
    }

    QSqlDatabase admin() const { return QSqlDatabase::database(adminName_, false); }
    const database::postgres::DatabaseUrl& server() const { return server_; }

private:
    static QString failed(const QString& why) {
        ADD_FAILURE() << why.toStdString();
        return why;
    }

    database::postgres::DatabaseUrl server_;
    QString adminName_;
    QStringList schemas_;
};

class PgTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QString unavailable = server_.connect();
        if (!unavailable.isEmpty()) GTEST_SKIP() << unavailable.toStdString();
    }

    database::postgres::DatabaseUrl freshSchema() { return server_.freshSchema(); }
    database::postgres::DatabaseUrl withSchema(const QString& schema) { return server_.withSchema(schema); }

    // A connection of the test's own, not the program's, for looking at what the program made.
    QSqlDatabase admin() const { return server_.admin(); }

    // The rows of a query on the test's connection, each row's values joined by "|"; a failing query
    // fails the test.
    QStringList rows(const QString& sql, const QVariantList& values = {}) const {
        QSqlQuery q(admin());
        q.prepare(sql);
        for (const QVariant& v : values)
            q.addBindValue(v);
        EXPECT_TRUE(q.exec()) << sql.toStdString() << ": " << q.lastError().text().toStdString();
        QStringList out;
        while (q.next()) {
            QStringList row;
            for (int i = 0; i < q.record().count(); ++i)
                row.append(q.value(i).isNull() ? QStringLiteral("NULL") : q.value(i).toString());
            out.append(row.join(QLatin1Char('|')));
        }
        return out;
    }

    // What a schema holds, as text that compares: tables with their columns and types, indexes,
    // constraints and the recorded versions.
    QStringList describe(const QString& schema) const {
        QStringList all;
        all += rows(QStringLiteral("SELECT table_name, column_name, data_type, is_nullable, column_default "
                                   "FROM information_schema.columns WHERE table_schema = ? "
                                   "ORDER BY table_name, ordinal_position"),
                    {schema});
        all += rows(QStringLiteral("SELECT indexname, indexdef FROM pg_indexes WHERE schemaname = ? "
                                   "ORDER BY indexname"),
                    {schema});
        all += rows(QStringLiteral("SELECT c.conname, pg_get_constraintdef(c.oid) FROM pg_constraint c "
                                   "JOIN pg_namespace n ON n.oid = c.connamespace WHERE n.nspname = ? "
                                   "ORDER BY c.conname"),
                    {schema});
        if (!rows(QStringLiteral("SELECT 1 FROM information_schema.tables WHERE table_schema = ? AND "
                                 "table_name = 'schema_version'"),
                  {schema})
                 .isEmpty())
            all += rows(QStringLiteral("SELECT version, name, applied_at FROM ") +
                        database::postgres::quotedIdentifier(schema) +
                        QStringLiteral(".schema_version ORDER BY version"));
        return all;
    }

    QStringList schemaNames() const {
        return rows(QStringLiteral("SELECT nspname FROM pg_namespace ORDER BY nspname"));
    }

    const database::postgres::DatabaseUrl& server() const { return server_.server(); }

private:
    PgServer server_;
};

} // namespace tarn::test
