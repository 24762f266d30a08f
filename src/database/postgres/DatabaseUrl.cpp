#include "database/postgres/DatabaseUrl.h"

#include <QByteArray>
#include <QStringList>
#include <QUrl>

namespace tarn::database::postgres {

namespace {

// The server keeps names of up to 63 bytes and silently cuts longer ones: two long names would then
// meet in one.
constexpr int kMaxNameBytes = 63;

const QLatin1String kPasswordAdvice(
    "a password does not belong in the URL: put it in ~/.pgpass or the PGPASSWORD environment variable");

bool fail(QString* error, const QString& why) {
    if (error) *error = why;
    return false;
}

int hexValue(QChar c) {
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) return c.unicode() - '0';
    if (c >= QLatin1Char('a') && c <= QLatin1Char('f')) return c.unicode() - 'a' + 10;
    if (c >= QLatin1Char('A') && c <= QLatin1Char('F')) return c.unicode() - 'A' + 10;
    return -1;
}

// %XX sequences decoded as UTF-8 bytes. A malformed sequence, bytes that are not UTF-8 and control
// characters (a NUL would cut the name short inside libpq) are refused.
std::optional<QString> percentDecoded(const QString& text, const QString& what, QString* error) {
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('%')) {
            bytes += QString(c).toUtf8();
            continue;
        }
        const int high = i + 2 < text.size() ? hexValue(text.at(i + 1)) : -1;
        const int low = i + 2 < text.size() ? hexValue(text.at(i + 2)) : -1;
        if (high < 0 || low < 0) {
            fail(error, QStringLiteral("the %1 has a malformed %-sequence").arg(what));
            return std::nullopt;
        }
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
    }
    const QString decoded = QString::fromUtf8(bytes);
    if (decoded.toUtf8() != bytes) {
        fail(error, QStringLiteral("the %1 is not UTF-8 text").arg(what));
        return std::nullopt;
    }
    for (const QChar c : decoded)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format) {
            fail(error, QStringLiteral("the %1 holds a control character").arg(what));
            return std::nullopt;
        }
    return decoded;
}

// User and database names: letters, digits, "_", "-" and "."; what a site names them, and nothing that
// would need quoting in a connection string or a shell.
bool validName(const QString& name, const QString& what, QString* error) {
    if (name.isEmpty()) return fail(error, QStringLiteral("the %1 is empty").arg(what));
    if (name.toUtf8().size() > kMaxNameBytes)
        return fail(error, QStringLiteral("the %1 is longer than %2 bytes").arg(what).arg(kMaxNameBytes));
    for (const QChar c : name)
        if (!c.isLetterOrNumber() && c != QLatin1Char('_') && c != QLatin1Char('-') && c != QLatin1Char('.'))
            return fail(error, QStringLiteral("the %1 \"%2\" holds \"%3\": only letters, digits, \"_\", "
                                              "\"-\" and \".\" are allowed")
                                   .arg(what, name, QString(c)));
    return true;
}

bool validHostName(const QString& host, QString* error) {
    if (host.size() > 253) return fail(error, QStringLiteral("the host name is too long"));
    for (const QString& label : host.split(QLatin1Char('.'))) {
        if (label.isEmpty() || label.size() > 63 || label.startsWith(QLatin1Char('-')) ||
            label.endsWith(QLatin1Char('-')))
            return fail(error, QStringLiteral("\"%1\" is not a host name").arg(host));
        for (const QChar c : label)
            if (c.unicode() > 127 || (!c.isLetterOrNumber() && c != QLatin1Char('-')))
                return fail(error, QStringLiteral("\"%1\" is not a host name").arg(host));
    }
    return true;
}

bool validIpv6(const QString& address, QString* error) {
    bool colon = false;
    for (const QChar c : address) {
        colon = colon || c == QLatin1Char(':');
        if (hexValue(c) < 0 && c != QLatin1Char(':') && c != QLatin1Char('.'))
            return fail(error, QStringLiteral("\"[%1]\" is not an IPv6 address").arg(address));
    }
    if (!colon || address.size() > 45)
        return fail(error, QStringLiteral("\"[%1]\" is not an IPv6 address").arg(address));
    return true;
}

bool validSocketFolder(const QString& folder, QString* error) {
    if (!folder.startsWith(QLatin1Char('/')))
        return fail(error, QStringLiteral("the socket folder \"%1\" is not an absolute path").arg(folder));
    // The socket's own name (".s.PGSQL.5432") must fit the system's 108 bytes of a socket address.
    if (folder.toUtf8().size() > 90)
        return fail(error, QStringLiteral("the socket folder \"%1\" is too long for a socket").arg(folder));
    return true;
}

std::optional<int> parsedPort(const QString& text, QString* error) {
    bool digits = !text.isEmpty() && text.size() <= 5;
    for (const QChar c : text)
        digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const int port = digits ? text.toInt() : 0;
    if (port < 1 || port > 65535) {
        fail(error, QStringLiteral("the port \"%1\" is not a number from 1 to 65535").arg(text));
        return std::nullopt;
    }
    return port;
}

const QStringList& sslModes() {
    static const QStringList modes = {QStringLiteral("disable"),   QStringLiteral("allow"),
                                      QStringLiteral("prefer"),    QStringLiteral("require"),
                                      QStringLiteral("verify-ca"), QStringLiteral("verify-full")};
    return modes;
}

QString encoded(const QString& text, const QByteArray& keep = {}) {
    return QString::fromLatin1(QUrl::toPercentEncoding(text, keep));
}

// The authority part: [user@]host[:port], every part checked. Returns false with error set.
bool parseAuthority(const QString& authority, DatabaseUrl& url, QString* error) {
    QString hostPort = authority;
    const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        const QString userInfo = authority.left(at);
        hostPort = authority.mid(at + 1);
        if (userInfo.contains(QLatin1Char(':'))) return fail(error, kPasswordAdvice);
        if (userInfo.contains(QLatin1Char('@'))) return fail(error, QStringLiteral("the URL has two \"@\""));
        const auto user = percentDecoded(userInfo, QStringLiteral("user name"), error);
        if (!user || !validName(*user, QStringLiteral("user name"), error)) return false;
        url.user = *user;
    }
    // libpq would try several hosts in turn; an installation names one.
    if (hostPort.contains(QLatin1Char(',')))
        return fail(error, QStringLiteral("the URL names several hosts: name one"));
    QString portText;
    if (hostPort.startsWith(QLatin1Char('['))) {
        const qsizetype close = hostPort.indexOf(QLatin1Char(']'));
        if (close < 0) return fail(error, QStringLiteral("the IPv6 address has no closing \"]\""));
        const QString rest = hostPort.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(QLatin1Char(':')))
            return fail(error, QStringLiteral("text after the IPv6 address: \"%1\"").arg(rest));
        if (!rest.isEmpty()) portText = rest.mid(1);
        url.host = hostPort.mid(1, close - 1);
        if (!validIpv6(url.host, error)) return false;
        if (!rest.isEmpty() && portText.isEmpty()) return fail(error, QStringLiteral("the port is empty"));
    } else {
        const qsizetype colon = hostPort.indexOf(QLatin1Char(':'));
        const QString hostText = colon < 0 ? hostPort : hostPort.left(colon);
        if (colon >= 0) {
            portText = hostPort.mid(colon + 1);
            if (portText.isEmpty()) return fail(error, QStringLiteral("the port is empty"));
        }
        const auto host = percentDecoded(hostText, QStringLiteral("host"), error);
        if (!host) return false;
        // libpq reads a host that is a path as the folder of a Unix socket, written %2F-encoded here.
        if (host->startsWith(QLatin1Char('/'))) {
            if (!validSocketFolder(*host, error)) return false;
            url.socketFolder = *host;
        } else if (!host->isEmpty()) {
            if (!validHostName(*host, error)) return false;
            url.host = *host;
        }
    }
    if (!portText.isEmpty()) {
        const auto port = parsedPort(portText, error);
        if (!port) return false;
        url.port = *port;
    }
    return true;
}

bool parseQuery(const QString& query, DatabaseUrl& url, QString* error) {
    QStringList seen;
    for (const QString& pair : query.split(QLatin1Char('&'))) {
        if (pair.isEmpty()) continue;
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        const auto key =
            percentDecoded(equals < 0 ? pair : pair.left(equals), QStringLiteral("parameter"), error);
        if (!key) return false;
        if (*key == QLatin1String("password")) return fail(error, kPasswordAdvice);
        if (equals < 0) return fail(error, QStringLiteral("the parameter \"%1\" has no value").arg(*key));
        if (seen.contains(*key))
            return fail(error, QStringLiteral("the parameter \"%1\" is given twice").arg(*key));
        seen.append(*key);
        const auto value =
            percentDecoded(pair.mid(equals + 1), QStringLiteral("value of \"%1\"").arg(*key), error);
        if (!value) return false;
        if (*key == QLatin1String("schema")) {
            url.schema = *value;
        } else if (*key == QLatin1String("host")) {
            if (!url.host.isEmpty() || !url.socketFolder.isEmpty())
                return fail(error, QStringLiteral("the URL names the host twice"));
            if (!validSocketFolder(*value, error)) return false;
            url.socketFolder = *value;
        } else if (*key == QLatin1String("port")) {
            if (url.port != 0) return fail(error, QStringLiteral("the URL names the port twice"));
            const auto port = parsedPort(*value, error);
            if (!port) return false;
            url.port = *port;
        } else if (*key == QLatin1String("sslmode")) {
            if (!sslModes().contains(*value))
                return fail(error, QStringLiteral("sslmode \"%1\" is not one of %2")
                                       .arg(*value, sslModes().join(QStringLiteral(", "))));
            url.sslMode = *value;
        } else {
            return fail(error,
                        QStringLiteral("the parameter \"%1\" is not known here (schema, host, port and "
                                       "sslmode are)")
                            .arg(*key));
        }
    }
    // A schema of its own per installation: a default would let two installations write into one.
    if (!seen.contains(QStringLiteral("schema")))
        return fail(error,
                    QStringLiteral("the URL names no schema: add ?schema=NAME, the installation's schema"));
    return true;
}

} // namespace

bool looksLikeDatabaseUrl(const QString& text) {
    return text.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           text.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

bool isValidSchemaName(const QString& name, QString* why) {
    if (name.isEmpty()) return fail(why, QStringLiteral("the schema name is empty"));
    if (name.size() > kMaxNameBytes)
        return fail(why, QStringLiteral("the schema name is longer than %1 characters").arg(kMaxNameBytes));
    for (const QChar c : name) {
        const bool lower = c >= QLatin1Char('a') && c <= QLatin1Char('z');
        const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (!lower && !digit && c != QLatin1Char('_'))
            return fail(why,
                        QStringLiteral("the schema name \"%1\" holds \"%2\": only lower-case Latin letters, "
                                       "digits and \"_\" are allowed")
                            .arg(name, QString(c)));
    }
    if (name.at(0).isDigit())
        return fail(why, QStringLiteral("the schema name \"%1\" starts with a digit").arg(name));
    if (name.startsWith(QLatin1String("pg_")) || name == QLatin1String("information_schema"))
        return fail(why, QStringLiteral("\"%1\" is one of the server's own schemas").arg(name));
    return true;
}

QString quotedIdentifier(const QString& name) {
    QString inner = name;
    inner.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

std::optional<DatabaseUrl> parseDatabaseUrl(const QString& text, QString* error) {
    auto refuse = [error](const QString& why) {
        fail(error, why);
        return std::optional<DatabaseUrl>();
    };
    if (!looksLikeDatabaseUrl(text))
        return refuse(QStringLiteral("not a PostgreSQL URL: it starts with postgresql://"));
    const QString rest = text.mid(text.indexOf(QLatin1String("://")) + 3);
    for (const QChar c : rest)
        if (c.unicode() < 0x21 || c.unicode() == 0x7F)
            return refuse(
                QStringLiteral("the URL holds a blank or a control character (write it %-encoded)"));
    if (rest.contains(QLatin1Char('#'))) return refuse(QStringLiteral("the URL has a \"#\" part"));

    const qsizetype queryAt = rest.indexOf(QLatin1Char('?'));
    const QString query = queryAt < 0 ? QString() : rest.mid(queryAt + 1);
    const QString beforeQuery = queryAt < 0 ? rest : rest.left(queryAt);
    const qsizetype slash = beforeQuery.indexOf(QLatin1Char('/'));
    if (slash < 0) return refuse(QStringLiteral("the URL names no database (…/DATABASE?schema=NAME)"));
    const QString authority = beforeQuery.left(slash);
    const QString path = beforeQuery.mid(slash + 1);

    DatabaseUrl url;
    QString why;
    if (!parseAuthority(authority, url, &why)) return refuse(why);
    if (path.isEmpty()) return refuse(QStringLiteral("the URL names no database (…/DATABASE?schema=NAME)"));
    if (path.contains(QLatin1Char('/')))
        return refuse(QStringLiteral("the database \"%1\" holds \"/\"").arg(path));
    const auto database = percentDecoded(path, QStringLiteral("database name"), &why);
    if (!database || !validName(*database, QStringLiteral("database name"), &why)) return refuse(why);
    url.database = *database;
    if (!parseQuery(query, url, &why)) return refuse(why);
    if (!isValidSchemaName(url.schema, &why)) return refuse(why);
    return url;
}

QString DatabaseUrl::toString() const {
    QString text = QStringLiteral("postgresql://");
    if (!user.isEmpty()) text += encoded(user) + QLatin1Char('@');
    if (!host.isEmpty())
        text += host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    // The port goes beside a host name; with a socket folder it names the socket's file, as a parameter.
    if (port != 0 && socketFolder.isEmpty()) text += QLatin1Char(':') + QString::number(port);
    text += QLatin1Char('/') + encoded(database);
    QStringList parameters;
    if (!socketFolder.isEmpty()) parameters.append(QStringLiteral("host=") + encoded(socketFolder, "/"));
    if (port != 0 && !socketFolder.isEmpty())
        parameters.append(QStringLiteral("port=") + QString::number(port));
    parameters.append(QStringLiteral("schema=") + schema);
    if (!sslMode.isEmpty()) parameters.append(QStringLiteral("sslmode=") + sslMode);
    return text + QLatin1Char('?') + parameters.join(QLatin1Char('&'));
}

QString DatabaseUrl::connectOptions() const {
    // A server that does not answer would otherwise hold the program without end.
    QStringList options = {QStringLiteral("connect_timeout=10"), QStringLiteral("application_name=tarn")};
    if (!sslMode.isEmpty()) options.append(QStringLiteral("sslmode=") + sslMode);
    return options.join(QLatin1Char(';'));
}

} // namespace tarn::database::postgres
