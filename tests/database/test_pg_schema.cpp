// An installation's schema on a real server: made and brought to the program's version on first open,
// left alone on the next, refused when newer than the program, never half-migrated, never reached by a
// hostile schema name, and with a column of a fitting type for every field the program knows.
#include "PgTestSupport.h"
#include "database/Schema.h"
#include "database/postgres/PgLayout.h"

#include <QSet>
#include <gtest/gtest.h>
#include <thread>

using namespace tarn;
using namespace tarn::database;
using namespace tarn::database::postgres;

namespace {

class PgSchema : public test::PgTest {};

QList<Migration> bundledPlus(int version, const QString& name, const QString& sql) {
    QList<Migration> list = bundledMigrations();
    list.append({version, name, sql});
    return list;
}

int latestVersion() {
    return static_cast<int>(bundledMigrations().size());
}

} // namespace

TEST_F(PgSchema, AnEmptyDatabaseGetsEveryTableAndTheProgramsVersion) {
    const DatabaseUrl url = freshSchema();
    Error error;
    auto connection = PgConnection::open(url, &error);
    ASSERT_TRUE(connection) << error.detail.toStdString();
    EXPECT_EQ(connection->versionFound(), 0);
    EXPECT_EQ(connection->schemaVersion(), latestVersion());

    QSet<QString> expected = {QStringLiteral("claims"), QStringLiteral("schema_version"),
                              QStringLiteral("group_files"), QStringLiteral("group_files_revision")};
    for (int k = 0; k < kTableKinds; ++k)
        expected.insert(tableName(static_cast<TableKind>(k)));
    const QStringList tables =
        rows(QStringLiteral("SELECT table_name FROM information_schema.tables WHERE table_schema = ?"),
             {url.schema});
    EXPECT_EQ(QSet<QString>(tables.begin(), tables.end()), expected);

    QStringList versions;
    for (const Migration& m : bundledMigrations())
        versions.append(QString::number(m.version) + QLatin1Char('|') + m.name);
    EXPECT_EQ(rows(QStringLiteral("SELECT version, name FROM ") + quotedIdentifier(url.schema) +
                   QStringLiteral(".schema_version ORDER BY version")),
              versions);

    // The program's unqualified SQL lands in the installation's schema, not in public.
    QSqlQuery q(connection->database());
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT current_schema()")) && q.next());
    EXPECT_EQ(q.value(0).toString(), url.schema);
    q.prepare(QStringLiteral("INSERT INTO gas (gnamegas, gden) VALUES (?, ?)"));
    q.addBindValue(QStringLiteral("Метан"));
    q.addBindValue(0.68);
    ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
    EXPECT_EQ(rows(QStringLiteral("SELECT gnamegas, gden, gcomment FROM ") + quotedIdentifier(url.schema) +
                   QStringLiteral(".gas")),
              QStringList{QStringLiteral("Метан|0.68|")});
    EXPECT_TRUE(rows(QStringLiteral("SELECT 1 FROM information_schema.tables WHERE table_schema = 'public'"
                                    " AND table_name = 'gas'"))
                    .isEmpty());
}

TEST_F(PgSchema, OpeningAMigratedSchemaAgainChangesNothing) {
    const DatabaseUrl url = freshSchema();
    Error error;
    ASSERT_TRUE(PgConnection::open(url, &error)) << error.detail.toStdString();
    const QStringList before = describe(url.schema);
    ASSERT_FALSE(before.isEmpty());

    auto again = PgConnection::open(url, &error);
    ASSERT_TRUE(again) << error.detail.toStdString();
    EXPECT_EQ(again->versionFound(), latestVersion());
    EXPECT_EQ(again->schemaVersion(), latestVersion());
    // The versions keep the times they were applied at: nothing ran a second time.
    EXPECT_EQ(describe(url.schema), before);
}

TEST_F(PgSchema, ASchemaNewerThanTheProgramIsRefusedAndLeftAsItIs) {
    const DatabaseUrl url = freshSchema();
    const int next = latestVersion() + 1;
    Error error;
    auto newer = PgConnection::open(
        url, &error,
        bundledPlus(next, QStringLiteral("%1_future.sql").arg(next, 4, 10, QLatin1Char('0')),
                    QStringLiteral("CREATE TABLE future_rows (x integer);")));
    ASSERT_TRUE(newer) << error.detail.toStdString();
    EXPECT_EQ(newer->schemaVersion(), next);
    newer.reset();
    const QStringList before = describe(url.schema);

    EXPECT_FALSE(PgConnection::open(url, &error));
    EXPECT_TRUE(error.is(ErrorKind::Invalid)) << errorKindName(error.kind).toStdString();
    EXPECT_TRUE(error.detail.contains(QStringLiteral("newer"))) << error.detail.toStdString();
    EXPECT_TRUE(error.detail.contains(QStringLiteral("version %1").arg(next))) << error.detail.toStdString();
    EXPECT_EQ(describe(url.schema), before);
}

TEST_F(PgSchema, AMigrationThatFailsLeavesTheLastWholeVersion) {
    const DatabaseUrl url = freshSchema();
    const int next = latestVersion() + 1;
    const QString name = QStringLiteral("%1_broken.sql").arg(next, 4, 10, QLatin1Char('0'));
    Error error;
    EXPECT_FALSE(PgConnection::open(url, &error,
                                    bundledPlus(next, name,
                                                QStringLiteral("CREATE TABLE half_done (x integer);\n"
                                                               "INSERT INTO no_such_table VALUES (1);"))));
    EXPECT_TRUE(error.is(ErrorKind::Damaged)) << errorKindName(error.kind).toStdString();
    EXPECT_TRUE(error.detail.contains(name) && error.detail.contains(QStringLiteral("no_such_table")))
        << error.detail.toStdString();
    // The migrations before it stay applied; nothing of the failed one does.
    EXPECT_EQ(rows(QStringLiteral("SELECT max(version) FROM ") + quotedIdentifier(url.schema) +
                   QStringLiteral(".schema_version")),
              QStringList{QString::number(latestVersion())});
    EXPECT_TRUE(rows(QStringLiteral("SELECT 1 FROM information_schema.tables WHERE table_schema = ? AND "
                                    "table_name = 'half_done'"),
                     {url.schema})
                    .isEmpty());
    auto fine = PgConnection::open(url, &error);
    ASSERT_TRUE(fine) << error.detail.toStdString();
    EXPECT_EQ(fine->versionFound(), latestVersion());

    // Migrations numbered wrongly are refused before the server is touched.
    const DatabaseUrl untouched = freshSchema();
    EXPECT_FALSE(PgConnection::open(untouched, &error,
                                    {{2, QStringLiteral("0002_x.sql"), QStringLiteral("SELECT 1")}}));
    EXPECT_TRUE(error.is(ErrorKind::Invalid));
    EXPECT_FALSE(schemaNames().contains(untouched.schema));
}

TEST_F(PgSchema, TheSchemaNameCannotInjectSql) {
    const QStringList namesBefore = schemaNames();
    const QString hostile[] = {
        QStringLiteral("x\"; CREATE TABLE public.pwned (x integer); --"),
        QStringLiteral("public; CREATE TABLE public.pwned (x integer)"),
        QStringLiteral("a\", \"public"),
        QStringLiteral("pg_catalog"),
        QStringLiteral("Mixed"),
        QString(),
    };
    for (const QString& name : hostile) {
        DatabaseUrl url = server();
        url.schema = name; // past the URL's own check, as a caller building one by hand could
        Error error;
        EXPECT_FALSE(PgConnection::open(url, &error)) << name.toStdString();
        EXPECT_TRUE(error.is(ErrorKind::Invalid)) << name.toStdString() << ": " << error.detail.toStdString();
    }
    EXPECT_EQ(schemaNames(), namesBefore);
    EXPECT_TRUE(
        rows(QStringLiteral("SELECT 1 FROM information_schema.tables WHERE table_name = 'pwned'")).isEmpty());

    // A keyword is a name like any other: every statement quotes the schema.
    const DatabaseUrl keyword = withSchema(QStringLiteral("order"));
    Error error;
    auto connection = PgConnection::open(keyword, &error);
    ASSERT_TRUE(connection) << error.detail.toStdString();
    QSqlQuery q(connection->database());
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT current_schema()")) && q.next());
    EXPECT_EQ(q.value(0).toString(), "order");
    EXPECT_FALSE(
        rows(QStringLiteral("SELECT 1 FROM information_schema.tables WHERE table_schema = 'order' AND "
                            "table_name = 'hourly'"))
            .isEmpty());
}

TEST_F(PgSchema, ProgramsOpeningOneNewSchemaAtOnceMigrateItOnce) {
    const DatabaseUrl url = freshSchema();
    constexpr int kPrograms = 4;
    QString errors[kPrograms];
    int versions[kPrograms] = {};
    std::vector<std::thread> programs;
    for (int i = 0; i < kPrograms; ++i)
        programs.emplace_back([&, i] {
            Error error;
            auto connection = PgConnection::open(url, &error);
            errors[i] = error.detail;
            versions[i] = connection ? connection->schemaVersion() : -1;
        });
    for (std::thread& t : programs)
        t.join();
    for (int i = 0; i < kPrograms; ++i) {
        EXPECT_TRUE(errors[i].isEmpty()) << errors[i].toStdString();
        EXPECT_EQ(versions[i], latestVersion());
    }
    EXPECT_EQ(rows(QStringLiteral("SELECT count(*) FROM ") + quotedIdentifier(url.schema) +
                   QStringLiteral(".schema_version")),
              QStringList{QString::number(latestVersion())});
}

TEST_F(PgSchema, EveryFieldHasAColumnOfAFittingType) {
    const DatabaseUrl url = freshSchema();
    Error error;
    ASSERT_TRUE(PgConnection::open(url, &error)) << error.detail.toStdString();

    // What a value the table files keep reads back as unchanged from, by field type.
    auto fits = [](const FieldSpec& field, const QString& type, const QString& length,
                   const QString& nullable, const QString& identity) -> bool {
        switch (field.type) {
        case FieldType::AutoIncrement:
            return (type == "bigint" || type == "integer") && identity == "YES";
        case FieldType::Integer:
            return type == "bigint" || type == "integer";
        case FieldType::Float:
            return type == "double precision";
        case FieldType::Currency:
            return type == "numeric";
        case FieldType::Text:
            // Never NULL: a text never given reads back as "", as from the table files.
            return nullable == "NO" &&
                   (type == "text" || (type == "character varying" && length.toInt() >= field.width));
        case FieldType::Date:
            return type == "date";
        case FieldType::Time:
            return type == "time without time zone";
        case FieldType::Timestamp:
            return type == "timestamp without time zone";
        }
        return false;
    };
    for (int k = 0; k < kTableKinds; ++k) {
        const auto kind = static_cast<TableKind>(k);
        const QString table = tableName(kind);
        QHash<QString, QStringList> columns; // name: type, length, nullable, identity
        for (const QString& row :
             rows(QStringLiteral(
                      "SELECT column_name, data_type, character_maximum_length, is_nullable, is_identity "
                      "FROM information_schema.columns WHERE table_schema = ? AND table_name = ?"),
                  {url.schema, table})) {
            const QStringList parts = row.split(QLatin1Char('|'));
            columns.insert(parts.at(0), parts.mid(1));
        }
        ASSERT_FALSE(columns.isEmpty()) << "no table " << table.toStdString();
        for (const FieldSpec& field : defaultFields(kind)) {
            const QString column = field.name.toLower();
            ASSERT_TRUE(columns.contains(column)) << table.toStdString() << " lacks " << column.toStdString();
            const QStringList c = columns.take(column);
            EXPECT_TRUE(fits(field, c.at(0), c.at(1), c.at(2), c.at(3)))
                << table.toStdString() << "." << column.toStdString() << " is " << c.join(' ').toStdString()
                << " for a field of type " << codeOfFieldType(field.type).toStdString();
        }
        if (hasPointColumn(kind)) {
            EXPECT_EQ(columns.take(QStringLiteral("point")), (QStringList{"text", "NULL", "NO", "NO"}))
                << table.toStdString();
        }
        if (kind == TableKind::Join) {
            EXPECT_EQ(columns.take(QStringLiteral("day")), (QStringList{"date", "NULL", "NO", "NO"}));
        }
        EXPECT_TRUE(columns.isEmpty())
            << table.toStdString()
            << " has columns no field names: " << QStringList(columns.keys()).join(' ').toStdString();
    }
}
