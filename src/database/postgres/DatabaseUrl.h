#pragma once
// Where a server database lies, as the settings and the command line name it:
//
//   postgresql://[user@][host][:port]/database?schema=NAME[&host=/socket/folder][&port=N][&sslmode=MODE]
//
// the URL form libpq reads (postgres:// too), narrowed to what an installation needs. The schema holds
// one installation's tables; it is the one name that reaches SQL as text rather than as a bound value,
// so it is held to a plain lower-case identifier. A password never goes into the URL: a URL is written
// into settings files, scripts and process lists, so libpq takes it from ~/.pgpass or PGPASSWORD.
#include <QString>
#include <optional>

namespace tarn::database::postgres {

struct DatabaseUrl {
    QString user;         // empty: libpq takes the system user's name
    QString host;         // a host name or an address (IPv6 without its brackets)
    QString socketFolder; // instead of host: the folder of the server's Unix socket
    int port = 0;         // 0: libpq's default
    QString database;
    QString schema;
    QString sslMode; // empty: libpq's default

    // The URL in its one written form; parsing it gives this value back.
    QString toString() const;
    // What QPSQL's open takes as host: the socket folder when there is one.
    QString connectHost() const { return socketFolder.isEmpty() ? host : socketFolder; }
    // The driver's connect options beyond host, port, user and database.
    QString connectOptions() const;

    bool operator==(const DatabaseUrl&) const = default;
};

// Whether text is meant as a server URL (its scheme), whatever else it holds: the caller then reports
// what parseDatabaseUrl finds wrong instead of taking the text as a folder.
bool looksLikeDatabaseUrl(const QString& text);

// The URL's parts, checked; nothing when text is not a URL this program connects with, and error says why.
std::optional<DatabaseUrl> parseDatabaseUrl(const QString& text, QString* error = nullptr);

// Whether name may be an installation's schema: ASCII lower-case letters, digits and "_", not starting
// with a digit, at most 63 characters (the server cuts longer names), and not one of the server's own
// schemas (pg_*, information_schema). why says what is wrong.
bool isValidSchemaName(const QString& name, QString* why = nullptr);

// name as an SQL identifier in double quotes, for the schema name checked above (quoted all the same, so
// a name that happens to be a keyword stays a name).
QString quotedIdentifier(const QString& name);

} // namespace tarn::database::postgres
