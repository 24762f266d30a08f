// The migrations built into the program and the reader that cuts them into statements, without a
// server: a gap in the numbering or a script the reader would cut wrongly is a fault of the build.
#include "database/Schema.h"
#include "database/postgres/Migrations.h"
#include "database/postgres/PgLayout.h"
#include "support/TestSupport.h"

#include <QSet>
#include <gtest/gtest.h>

using namespace tarn::database;
using namespace tarn::database::postgres;

TEST(SqlStatements, SemicolonsInsideQuotesAndCommentsEndNothing) {
    const QString script = QStringLiteral("-- a comment; with a semicolon\n"
                                          "CREATE TABLE \"a;b\" (x text DEFAULT 'it''s; here');\n"
                                          "/* block; /* nested; */ still comment; */ SELECT 1;\n"
                                          ";;\n"
                                          "SELECT 'last' -- no semicolon at the end");
    QString error;
    const auto statements = splitSqlStatements(script, &error);
    ASSERT_TRUE(statements) << error.toStdString();
    ASSERT_EQ(statements->size(), 3);
    EXPECT_EQ(statements->at(0), "CREATE TABLE \"a;b\" (x text DEFAULT 'it''s; here')");
    EXPECT_EQ(statements->at(1), "SELECT 1");
    EXPECT_EQ(statements->at(2), "SELECT 'last'");
    const auto empty = splitSqlStatements(QStringLiteral("  -- nothing\n/* at all */\n"));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->isEmpty());
}

TEST(SqlStatements, RefusesWhatItCannotCutSafely) {
    struct Case {
        const char* script;
        const char* because;
    };
    const Case cases[] = {
        {"SELECT 1;\nSELECT 'open;\nSELECT 2;", "quoted text opened on line 2"},
        {"SELECT \"open", "quoted name opened on line 1"},
        {"SELECT 1;\n/* /* nested */ only one closed", "comment opened on line 2"},
        {"CREATE FUNCTION f() RETURNS int AS $$ SELECT 1; $$ LANGUAGE sql;", "dollar quoting"},
        {"SELECT E'a\\';b';", "E'"},
    };
    for (const Case& c : cases) {
        QString error;
        EXPECT_FALSE(splitSqlStatements(QString::fromLatin1(c.script), &error)) << c.script;
        EXPECT_TRUE(error.contains(QString::fromLatin1(c.because)))
            << c.script << ": " << error.toStdString();
    }
    // A "$" inside a name and a text starting with e are no such thing.
    const auto fine = splitSqlStatements(QStringLiteral("SELECT a$b, name'x' FROM t;"));
    ASSERT_TRUE(fine);
    EXPECT_EQ(fine->size(), 1);
}

TEST(BundledMigrations, NumberedFromOneWithoutGapsAndEachReadable) {
    const QList<Migration> migrations = bundledMigrations();
    ASSERT_FALSE(migrations.isEmpty()) << "no migration is built into the program";
    EXPECT_EQ(migrations.first().name, "0001_initial.sql");
    for (qsizetype i = 0; i < migrations.size(); ++i) {
        const Migration& m = migrations.at(i);
        EXPECT_EQ(m.version, i + 1) << m.name.toStdString();
        QString error;
        const auto statements = splitSqlStatements(m.sql, &error);
        ASSERT_TRUE(statements) << m.name.toStdString() << ": " << error.toStdString();
        EXPECT_FALSE(statements->isEmpty()) << m.name.toStdString();
        // The search path names the installation's schema; a qualified name would write elsewhere.
        for (const QString& statement : *statements)
            EXPECT_FALSE(statement.contains(QStringLiteral("public."))) << statement.toStdString();
    }
}

TEST(ServerLayout, EveryKindHasATableOfItsOwnAndColumnsNeedNoQuotes) {
    QSet<QString> names;
    for (int k = 0; k < kTableKinds; ++k) {
        const auto kind = static_cast<TableKind>(k);
        const QString name = tableName(kind);
        EXPECT_FALSE(name.isEmpty()) << k;
        names.insert(name);
        QSet<QString> columns;
        for (const FieldSpec& field : defaultFields(kind)) {
            const QString column = columnName(field.name);
            // Lower-case letters, digits and "_" read the same quoted or not.
            for (const QChar c : column)
                EXPECT_TRUE((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')
                    << column.toStdString();
            columns.insert(column);
        }
        EXPECT_EQ(columns.size(), defaultFields(kind).size())
            << "two fields share a column in " << name.toStdString();
        EXPECT_FALSE(columns.contains(QString(kPointColumn))) << name.toStdString();
    }
    EXPECT_EQ(names.size(), kTableKinds);
    EXPECT_TRUE(hasPointColumn(TableKind::Hourly));
    EXPECT_TRUE(hasPointColumn(TableKind::RequestLog));
    EXPECT_FALSE(hasPointColumn(TableKind::Registry));
}
