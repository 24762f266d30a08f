// The server URL as settings and the command line give it: the forms libpq reads that an installation
// uses, the one written form, and hostile text, which must be refused before any of it reaches a
// connection string or SQL.
#include "database/postgres/DatabaseUrl.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace tarn::database::postgres;

namespace {

DatabaseUrl parsed(const char* text) {
    QString error;
    const auto url = parseDatabaseUrl(QString::fromUtf8(text), &error);
    EXPECT_TRUE(url.has_value()) << text << ": " << error.toStdString();
    return url.value_or(DatabaseUrl());
}

} // namespace

TEST(DatabaseUrl, ReadsTheFormsAnInstallationNames) {
    DatabaseUrl tcp = parsed("postgresql://meter@db.example.org:5433/gas?schema=plant_2");
    EXPECT_EQ(tcp.user, "meter");
    EXPECT_EQ(tcp.host, "db.example.org");
    EXPECT_EQ(tcp.port, 5433);
    EXPECT_EQ(tcp.database, "gas");
    EXPECT_EQ(tcp.schema, "plant_2");
    EXPECT_TRUE(tcp.socketFolder.isEmpty());
    EXPECT_EQ(tcp.connectHost(), "db.example.org");

    // The socket folder as libpq takes it: a parameter, or a %-encoded path in the host's place.
    const DatabaseUrl socket = parsed("postgresql://meter@/gas?host=/run/postgresql&schema=s");
    EXPECT_TRUE(socket.host.isEmpty());
    EXPECT_EQ(socket.socketFolder, "/run/postgresql");
    EXPECT_EQ(socket.connectHost(), "/run/postgresql");
    EXPECT_EQ(parsed("postgresql://meter@%2Frun%2Fpostgresql/gas?schema=s"), socket);

    // The short scheme, no user (the system's), the default port, an IPv6 address, TLS asked for.
    const DatabaseUrl bare = parsed("POSTGRES://localhost/gas?schema=s");
    EXPECT_TRUE(bare.user.isEmpty());
    EXPECT_EQ(bare.port, 0);
    const DatabaseUrl v6 = parsed("postgresql://u@[fe80::1]:6000/gas?schema=s&sslmode=verify-full");
    EXPECT_EQ(v6.host, "fe80::1");
    EXPECT_EQ(v6.port, 6000);
    EXPECT_EQ(v6.sslMode, "verify-full");
    EXPECT_TRUE(v6.connectOptions().contains("sslmode=verify-full"));
    EXPECT_FALSE(bare.connectOptions().contains("sslmode"));

    // Names as sites write them: Cyrillic letters, dots and dashes, %-encoded or not.
    const DatabaseUrl cyrillic =
        parsed("postgresql://%D0%B3%D0%B0%D0%B7@h/%D0%B1%D0%B0%D0%B7%D0%B0.1-a?schema=s");
    EXPECT_EQ(cyrillic.user, QString::fromUtf8("газ"));
    EXPECT_EQ(cyrillic.database, QString::fromUtf8("база.1-a"));
}

TEST(DatabaseUrl, WritesOneFormThatReadsBackTheSame) {
    EXPECT_EQ(parsed("postgres://meter@db:5433/gas?sslmode=require&schema=plant").toString(),
              "postgresql://meter@db:5433/gas?schema=plant&sslmode=require");
    // With a socket folder the port names the socket's file and goes beside the folder.
    EXPECT_EQ(parsed("postgresql://meter@%2Ftmp%2Fpg:5444/gas?schema=s").toString(),
              "postgresql://meter@/gas?host=/tmp/pg&port=5444&schema=s");
    EXPECT_EQ(parsed("postgresql://[::1]/gas?schema=s").toString(), "postgresql://[::1]/gas?schema=s");

    DatabaseUrl odd;
    odd.user = QString::fromUtf8("газ");
    odd.socketFolder = QString::fromUtf8("/tmp/a b/є&x=1");
    odd.database = "db";
    odd.schema = "s";
    odd.port = 7;
    const QString written = odd.toString();
    EXPECT_FALSE(written.contains(' ')) << written.toStdString();
    EXPECT_FALSE(written.contains("&x=")) << written.toStdString();
    QString error;
    const auto back = parseDatabaseUrl(written, &error);
    ASSERT_TRUE(back) << error.toStdString();
    EXPECT_EQ(*back, odd);
}

TEST(DatabaseUrl, RefusesHostileAndMistakenTextSayingWhy) {
    struct Case {
        const char* text;
        const char* because; // a part of the message
    };
    const Case cases[] = {
        // Passwords, however they are spelled, never go into a URL.
        {"postgresql://meter:secret@db/gas?schema=s", "~/.pgpass"},
        {"postgresql://meter:@db/gas?schema=s", "PGPASSWORD"},
        {"postgresql://db/gas?schema=s&password=secret", "~/.pgpass"},
        {"postgresql://db/gas?schema=s&%70assword=secret", "~/.pgpass"},
        // The schema reaches SQL as text: only a plain lower-case identifier.
        {"postgresql://db/gas?schema=a\";drop", "only lower-case"},
        {"postgresql://db/gas?schema=x%22%3B%20DROP%20SCHEMA%20public%20CASCADE%3B--", "only lower-case"},
        {"postgresql://db/gas?schema=a%27b", "only lower-case"},
        {"postgresql://db/gas?schema=Plant", "only lower-case"},
        {"postgresql://db/gas?schema=pl%C3%A4nt", "only lower-case"},
        {"postgresql://db/gas?schema=1plant", "starts with a digit"},
        {"postgresql://db/gas?schema=pg_catalog", "server's own"},
        {"postgresql://db/gas?schema=information_schema", "server's own"},
        {"postgresql://db/gas?schema=", "empty"},
        {"postgresql://db/gas?schema=a%00b", "control character"},
        {"postgresql://db/gas?schema=aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
         "longer than 63"},
        {"postgresql://db/gas?schema=s&schema=t", "twice"},
        {"postgresql://db/gas", "no schema"},
        {"postgresql://db/gas?schema", "no value"},
        // libpq's other parameters could reach the server's settings (options=-c …): none is taken.
        {"postgresql://db/gas?schema=s&options=-csearch_path%3Dpublic", "not known"},
        {"postgresql://db/gas?schema=s&sslmode=whatever", "sslmode"},
        // Names that would need quoting in a connection string.
        {"postgresql://o'brien@db/gas?schema=s", "only letters"},
        {"postgresql://o%27brien@db/gas?schema=s", "only letters"},
        {"postgresql://a@b@db/gas?schema=s", "two \"@\""},
        {"postgresql://@db/gas?schema=s", "user name is empty"},
        {"postgresql://db/ga%27s?schema=s", "only letters"},
        {"postgresql://db/gas%20x?schema=s", "only letters"},
        {"postgresql://db/gas/x?schema=s", "\"/\""},
        {"postgresql://db/?schema=s", "no database"},
        {"postgresql://db?schema=s", "no database"},
        // Hosts, ports and sockets.
        {"postgresql://db host/gas?schema=s", "blank"},
        {"postgresql://db;rm/gas?schema=s", "not a host name"},
        {"postgresql://a..b/gas?schema=s", "not a host name"},
        {"postgresql://-db/gas?schema=s", "not a host name"},
        {"postgresql://h1,h2/gas?schema=s", "several hosts"},
        {"postgresql://[::1/gas?schema=s", "closing"},
        {"postgresql://[::1]x/gas?schema=s", "after the IPv6"},
        {"postgresql://[zz]/gas?schema=s", "IPv6"},
        {"postgresql://db:0/gas?schema=s", "1 to 65535"},
        {"postgresql://db:65536/gas?schema=s", "1 to 65535"},
        {"postgresql://db:+1/gas?schema=s", "1 to 65535"},
        {"postgresql://db:/gas?schema=s", "port is empty"},
        {"postgresql://db:5432/gas?schema=s&port=5433", "port twice"},
        {"postgresql://db/gas?schema=s&host=/tmp", "host twice"},
        {"postgresql:///gas?schema=s&host=tmp/pg", "not an absolute path"},
        // Malformed text.
        {"postgresql://db/gas?schema=s%4", "malformed"},
        {"postgresql://db/gas?schema=s%zz", "malformed"},
        {"postgresql://db/g%C3%28?schema=s", "not UTF-8"},
        {"postgresql://db/gas?schema=s#frag", "\"#\""},
        {"postgresql://db/gas?schema=s\n", "control character"},
        {"mysql://db/gas?schema=s", "not a PostgreSQL URL"},
        {"/home/meter/tarn", "not a PostgreSQL URL"},
        {"", "not a PostgreSQL URL"},
    };
    for (const Case& c : cases) {
        QString error;
        const auto url = parseDatabaseUrl(QString::fromUtf8(c.text), &error);
        EXPECT_FALSE(url.has_value()) << c.text << " was taken as " << url->toString().toStdString();
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.because)))
            << c.text << ": \"" << error.toStdString() << "\" does not say " << c.because;
    }
}

TEST(DatabaseUrl, TellsAUrlFromAFolder) {
    EXPECT_TRUE(looksLikeDatabaseUrl("postgresql://x"));
    EXPECT_TRUE(looksLikeDatabaseUrl("Postgres://x"));
    EXPECT_FALSE(looksLikeDatabaseUrl("/var/lib/tarn"));
    EXPECT_FALSE(looksLikeDatabaseUrl("postgresql:/x"));
}

TEST(SchemaName, OnlyPlainLowerCaseIdentifiersAndQuotedAllTheSame) {
    for (const char* good : {"s", "_", "plant_2", "order", "select",
                             "a234567890123456789012345678901234567890123456789012345678901"})
        EXPECT_TRUE(isValidSchemaName(QString::fromLatin1(good))) << good;
    for (const char* bad : {"", "9a", "A", "a-b", "a b", "a\"b", "a;b", "pg_temp", "information_schema"})
        EXPECT_FALSE(isValidSchemaName(QString::fromLatin1(bad))) << bad;
    // A name quoted for SQL stays one name even if a check were ever bypassed.
    EXPECT_EQ(quotedIdentifier("order"), "\"order\"");
    EXPECT_EQ(quotedIdentifier("a\"; DROP SCHEMA x; --"), "\"a\"\"; DROP SCHEMA x; --\"");
}
