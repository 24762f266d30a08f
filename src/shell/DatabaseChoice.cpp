#include "shell/DatabaseChoice.h"

#include "common/TextFile.h"
#include "database/postgres/PgGroupFiles.h"
#include "database/postgres/PgStorage.h"
#include "shell/AppContext.h"

#include <QFile>
#include <QFileInfo>

namespace tarn::shell {

namespace {

using database::postgres::DatabaseUrl;

std::optional<DatabaseUrl> parsed(const QString& text, const QString& where, QString& refused) {
    QString why;
    if (!database::postgres::looksLikeDatabaseUrl(text)) {
        refused = where + QStringLiteral(": not a PostgreSQL URL (postgresql://USER@HOST/DB?schema=NAME)");
        return std::nullopt;
    }
    auto url = database::postgres::parseDatabaseUrl(text, &why);
    if (!url) refused = where + QStringLiteral(": ") + why;
    return url;
}

} // namespace

QString databaseSettingPath(const DataRoot& root) {
    return root.file(folder::Work, QStringLiteral("Database.000"));
}

DatabaseChoice chooseDatabase(const DataRoot& root, const std::optional<QString>& commandLineUrl) {
    DatabaseChoice choice;
    if (commandLineUrl) {
        choice.source = DatabaseSource::CommandLine;
        choice.server = parsed(commandLineUrl->trimmed(), QStringLiteral("--database"), choice.refused);
        return choice;
    }
    const QString path = databaseSettingPath(root);
    Error why;
    const std::optional<QStringList> lines = readTextLines(path, why, 64 * 1024);
    if (!lines) {
        // A setting that is there and cannot be read would silently mean the files: refused instead.
        if (why.kind != ErrorKind::NotFound) {
            choice.source = DatabaseSource::Setting;
            choice.refused = path + QStringLiteral(": cannot be read");
        }
        return choice;
    }
    QString text;
    for (const QString& line : *lines) {
        if (!line.trimmed().isEmpty()) {
            text = line.trimmed();
            break;
        }
    }
    if (text.isEmpty()) return choice;
    choice.source = DatabaseSource::Setting;
    choice.server = parsed(text, path, choice.refused);
    return choice;
}

bool writeDatabaseSetting(const DataRoot& root, const DatabaseUrl& url) {
    return writeTextLines(databaseSettingPath(root), {url.toString()});
}

bool removeDatabaseSetting(const DataRoot& root) {
    const QString path = databaseSettingPath(root);
    return !QFileInfo::exists(path) || QFile::remove(path);
}

QString describeDatabaseSource(DatabaseSource source) {
    switch (source) {
    case DatabaseSource::CommandLine:
        return QStringLiteral("command line");
    case DatabaseSource::Setting:
        return QStringLiteral("setting");
    case DatabaseSource::Files:
        break;
    }
    return QStringLiteral("files");
}

Error openChosenDatabase(AppContext& ctx, const DatabaseChoice& choice) {
    if (!choice.ok()) return {ErrorKind::Invalid, choice.refused};
    if (!choice.onServer()) return {};
    Error why;
    auto storage = database::postgres::PgStorage::open(*choice.server, ctx.schemas, why);
    if (!storage) {
        if (why.ok()) why = {ErrorKind::NoLink, QStringLiteral("cannot connect")};
        why.detail = QStringLiteral("the database on the server %1 cannot be opened: %2")
                         .arg(choice.server->toString(), why.detail);
        return why;
    }
    // The groups on a connection of their own, so that a group's change never waits on a table's
    // transaction.
    auto groups = database::postgres::PgGroupFiles::open(*choice.server, &why);
    if (!groups) {
        if (why.ok()) why = {ErrorKind::NoLink, QStringLiteral("cannot connect")};
        why.detail = QStringLiteral("the polling groups on the server %1 cannot be opened: %2")
                         .arg(choice.server->toString(), why.detail);
        return why;
    }
    ctx.useStorage(std::move(storage), std::move(groups), *choice.server);
    return {};
}

} // namespace tarn::shell
