// The database from the command line: the registered points and the rows a point's tables hold.
#include "Cli.h"
#include "database/postgres/DatabaseUrl.h"
#include "shell/DatabaseChoice.h"

#include "common/TextFile.h"
#include "corrector/StoreReading.h"
#include "database/DatabaseCheck.h"
#include "database/Gases.h"
#include "database/Migration.h"
#include "database/StoredRecords.h"
#include "database/Storing.h"
#include "database/postgres/DatabaseUrl.h"
#include "database/postgres/PgGroupFiles.h"
#include "database/postgres/PgStorage.h"
#include "polling/LastRecords.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>

namespace tarn::cli {

namespace {

struct TableName {
    const char* name;
    database::TableKind kind;
};
constexpr TableName kTableNames[] = {{"hourly", database::TableKind::Hourly},
                                     {"daily", database::TableKind::Daily},
                                     {"monthly", database::TableKind::Monthly},
                                     {"abnormal", database::TableKind::Alarm},
                                     {"interference", database::TableKind::Interference},
                                     {"operative", database::TableKind::Operative},
                                     {"service", database::TableKind::Service},
                                     {"measurement", database::TableKind::Measurement},
                                     {"log", database::TableKind::RequestLog}};

} // namespace

namespace {

// The configurator's sixteen values by their options, in the configurator's order.
constexpr const char* kConfigOptions[database::kConfigValues] = {
    "--owner", "--org-phone", "--link", "--port",  "--password",      "--phone", "--speed", "--timeout",
    "--break", "--repeats",   "--wait", "--pause", "--modem-repeats", "--init",  "--gas",   "--flags"};

QJsonObject pointJson(const database::Point& p) {
    QJsonObject config;
    for (int i = 0; i < database::kConfigValues; ++i)
        config.insert(QString::fromLatin1(kConfigOptions[i]).mid(2), p.config[i]);
    return {{QStringLiteral("point"), p.identifier},  {QStringLiteral("serial"), p.serial},
            {QStringLiteral("model"), p.model},       {QStringLiteral("organisation"), p.organisation},
            {QStringLiteral("pipeline"), p.pipeline}, {QStringLiteral("address"), p.address},
            {QStringLiteral("config"), config}};
}

} // namespace

// points list | show ID | erase ID | search [--model M] [--serial S] [--org TEXT] [--owner TEXT] |
// config ID [--owner …]: the registered metering points.
int cmdPoints(CliRun& run) {
    const QString what = run.args.value(0, QStringLiteral("list"));
    static const QStringList kVerbs{QStringLiteral("list"),   QStringLiteral("show"),
                                    QStringLiteral("erase"),  QStringLiteral("search"),
                                    QStringLiteral("config"), QStringLiteral("last")};
    if (!kVerbs.contains(what)) {
        run.notifier->message(MessageKind::Error,
                              QStringLiteral("points list|show ID|erase ID|search|config ID|last ID"));
        return kExitUsage;
    }
    const auto schemas = installationSchemas(run);
    if (!schemas) return kExitNoLink;
    database::Registry registry(run.context->root(), run.context->storage());
    if (!registry.ok()) {
        run.notifier->message(MessageKind::Error, registry.error());
        return kExitNoLink;
    }
    if (what == QLatin1String("last")) {
        // When each table of the point last received a row, as the last-records window shows it.
        const QString id = run.args.value(1);
        const auto view = database::isPointIdentifier(id)
                              ? polling::lastRecordsOf(run.context->storage(), registry, id)
                              : std::nullopt;
        if (!view) {
            run.notifier->message(MessageKind::Error, polling::noDataText());
            return database::isPointIdentifier(id) ? kExitRefused : kExitUsage;
        }
        const QStringList file = polling::lastRecordsFileLines(*view);
        if (const auto out = run.value(QStringLiteral("--out")); out && !writeTextLines(*out, file)) {
            run.notifier->message(MessageKind::Error, QStringLiteral("cannot write ") + *out);
            return kExitNoLink;
        }
        if (run.options.json) {
            QJsonArray rows;
            for (const polling::LastRecordsRow& r : view->rows.mid(1))
                rows.append(QJsonObject{{QStringLiteral("table"), r[0]},
                                        {QStringLiteral("stored"), r[1]},
                                        {QStringLiteral("recorded"), r[2]}});
            run.printJson({{QStringLiteral("title"), view->title}, {QStringLiteral("rows"), rows}});
        } else {
            for (const QString& l : file)
                *run.out << l << "\n";
            run.out->flush();
        }
        return kExitOk;
    }
    if (what == QLatin1String("erase")) {
        const QString id = run.args.value(1);
        const QString failure = registry.erase(id, run.context->groupFiles());
        if (!failure.isEmpty()) {
            run.notifier->message(MessageKind::Error, failure);
            return database::isPointIdentifier(id) ? kExitNoLink : kExitUsage;
        }
        if (run.options.json) run.printJson({{QStringLiteral("erased"), id}});
        return kExitOk;
    }
    if (what == QLatin1String("show") || what == QLatin1String("config")) {
        const QString id = run.args.value(1);
        if (!database::isPointIdentifier(id)) {
            run.notifier->message(MessageKind::Error, QStringLiteral("Нет данных"));
            return kExitUsage;
        }
        const database::PointLookup point = registry.find(id);
        if (point.failed()) {
            run.notifier->message(MessageKind::Error, point.error());
            return kExitNoLink;
        }
        if (!point) {
            run.notifier->message(MessageKind::Error, QStringLiteral("Нет данных"));
            return database::isPointIdentifier(id) ? kExitRefused : kExitUsage;
        }
        if (what == QLatin1String("config")) {
            database::PointConfig changed = point->config;
            for (int i = 0; i < database::kConfigValues; ++i)
                if (const auto v = run.value(QString::fromLatin1(kConfigOptions[i]))) changed[i] = *v;
            if (const auto link = run.value(QStringLiteral("--link"))) {
                const std::optional<QString> kind = linkKindFromText(*link);
                if (!kind) {
                    run.notifier->message(MessageKind::Error,
                                          QStringLiteral("points config: --link is none, cable or phone "
                                                         "(нет связи, прямое соединение, телефон)"));
                    return kExitUsage;
                }
                changed[database::config::LinkKind] = *kind;
            }
            if (const auto gas = run.value(QStringLiteral("--gas"))) {
                // The configurator offers the gas table's compositions only.
                const QStringList names =
                    corrector::configuratorGasNames(run.context->storage(), run.context->languageIndex());
                if (!names.contains(*gas)) {
                    run.notifier->message(MessageKind::Error,
                                          QStringLiteral("points config: --gas is one of: ") +
                                              names.join(QStringLiteral(", ")));
                    return kExitUsage;
                }
            }
            changed[database::config::Owner] = changed[database::config::Owner].left(database::kOwnerWidth);
            if (!database::acceptPhoneField(changed[database::config::Phone], *run.notifier))
                return kExitUsage;
            if (const QString failure = database::checkConfig(changed); !failure.isEmpty()) {
                run.notifier->message(MessageKind::Error, failure);
                return kExitUsage;
            }
            if (registry.updateConfig(id, changed) < 0) {
                run.notifier->message(MessageKind::Error, registry.error());
                return kExitNoLink;
            }
        }
        const database::PointLookup now = registry.find(id);
        if (!now) {
            run.notifier->message(MessageKind::Error,
                                  now.failed() ? now.error() : QStringLiteral("Нет данных"));
            return kExitNoLink;
        }
        // show: what each kind's table last received.
        QJsonObject last;
        if (what == QLatin1String("show")) {
            const database::LastStoredSummary summary =
                database::lastStoredSummary(run.context->storage(), id);
            for (std::size_t k = 0; k < summary.size(); ++k) {
                if (summary[k].identifier.isEmpty()) continue;
                for (const TableName& t : kTableNames)
                    if (t.kind == database::kLastStoredKinds[k])
                        last.insert(QLatin1String(t.name),
                                    QJsonObject{{QStringLiteral("number"), summary[k].number},
                                                {QStringLiteral("date"), summary[k].date},
                                                {QStringLiteral("time"), summary[k].time}});
            }
        }
        if (run.options.json) {
            QJsonObject o = pointJson(*now);
            if (what == QLatin1String("show")) o.insert(QStringLiteral("lastStored"), last);
            run.printJson(o);
        } else {
            for (int i = 0; i < database::kConfigValues; ++i)
                *run.out << QString::fromLatin1(kConfigOptions[i]).mid(2) << ": " << now->config[i] << "\n";
            for (auto it = last.constBegin(); it != last.constEnd(); ++it) {
                const QJsonObject o = it.value().toObject();
                *run.out << "last " << it.key() << ": №" << o.value(QStringLiteral("number")).toString()
                         << " " << o.value(QStringLiteral("date")).toString() << " "
                         << o.value(QStringLiteral("time")).toString() << "\n";
            }
        }
        run.out->flush();
        return kExitOk;
    }
    database::RegistrySearch criteria;
    criteria.model = run.value(QStringLiteral("--model")).value_or(QString());
    criteria.serial = run.value(QStringLiteral("--serial")).value_or(QString());
    criteria.organisation = run.value(QStringLiteral("--org")).value_or(QString());
    criteria.owner = run.value(QStringLiteral("--owner")).value_or(QString());
    criteria.orgPhone = run.value(QStringLiteral("--org-phone")).value_or(QString());
    criteria.phone = run.value(QStringLiteral("--phone")).value_or(QString());
    const QList<database::Point> points =
        what == QLatin1String("search") ? registry.search(criteria) : registry.all();
    if (run.options.json) {
        QJsonArray list;
        for (const database::Point& p : points)
            list.append(pointJson(p));
        run.printJson({{QStringLiteral("points"), list}});
    } else {
        for (const database::Point& p : points)
            *run.out << p.identifier << "\t" << p.model << "\t" << p.serial << "\t"
                     << p.config[database::config::Owner] << "\n";
        run.out->flush();
    }
    return kExitOk;
}

// rows --point ID --archive KIND [--from dd.MM.yyyy] [--to dd.MM.yyyy]: what a point's table holds,
// oldest first, as the database window shows it.
int cmdRows(CliRun& run) {
    const QString point = run.value(QStringLiteral("--point")).value_or(QString());
    const QString archive = run.value(QStringLiteral("--archive")).value_or(QString()).toLower();
    const TableName* table = nullptr;
    for (const TableName& t : kTableNames)
        if (archive == QLatin1String(t.name)) table = &t;
    const auto from = run.value(QStringLiteral("--from"));
    const auto to = run.value(QStringLiteral("--to"));
    const QDate fromDate = from ? QDate::fromString(*from, QStringLiteral("dd.MM.yyyy")) : QDate();
    const QDate toDate = to ? QDate::fromString(*to, QStringLiteral("dd.MM.yyyy")) : QDate();
    // The identifier names a file: a letter and digits, nothing that could lead out of its folder.
    if (!database::isPointIdentifier(point) || !table || (from && !fromDate.isValid()) ||
        (to && !toDate.isValid())) {
        run.notifier->message(
            MessageKind::Error,
            QStringLiteral("rows --point ID --archive hourly|daily|monthly|abnormal|interference|"
                           "operative|service|measurement|log [--from dd.MM.yyyy] [--to dd.MM.yyyy]"));
        return kExitUsage;
    }
    const auto schemas = installationSchemas(run);
    if (!schemas) return kExitNoLink;
    // --delete N: the database window's "Удалить запись" for the stored record numbered N.
    if (const auto del = run.value(QStringLiteral("--delete"))) {
        bool ok = false;
        const qint64 number = del->toLongLong(&ok);
        if (!ok) {
            run.notifier->message(MessageKind::Error,
                                  QStringLiteral("rows: --delete takes the record's number"));
            return kExitUsage;
        }
        if (!database::deleteStoredRecord(run.context->storage(), table->kind, point, number)) {
            run.notifier->message(MessageKind::Error, QStringLiteral("rows: no record ") + *del);
            return kExitRefused;
        }
        if (run.options.json)
            run.printJson({{QStringLiteral("point"), point},
                           {QStringLiteral("archive"), QLatin1String(table->name)},
                           {QStringLiteral("deleted"), number}});
        return kExitOk;
    }
    QList<QStringList> rows = database::storedRows(run.context->storage(), table->kind, point);
    // The record's date (field 7 of the archive tables) limits the rows.
    const int dateField = 6;
    if (fromDate.isValid() || toDate.isValid()) {
        QList<QStringList> kept;
        for (const QStringList& r : rows) {
            const QDate d = QDate::fromString(r.value(dateField), QStringLiteral("dd.MM.yyyy"));
            if ((fromDate.isValid() && (!d.isValid() || d < fromDate)) ||
                (toDate.isValid() && (!d.isValid() || d > toDate)))
                continue;
            kept.append(r);
        }
        rows = kept;
    }
    QStringList fields;
    for (const database::FieldSpec& f : schemas->of(table->kind))
        fields.append(f.name);
    if (run.options.json) {
        QJsonArray list;
        for (const QStringList& r : rows)
            list.append(QJsonArray::fromStringList(r));
        run.printJson({{QStringLiteral("point"), point},
                       {QStringLiteral("archive"), archive},
                       {QStringLiteral("fields"), QJsonArray::fromStringList(fields)},
                       {QStringLiteral("rows"), list}});
    } else {
        *run.out << fields.join(QLatin1Char('\t')) << "\n";
        for (const QStringList& r : rows)
            *run.out << r.join(QLatin1Char('\t')) << "\n";
        run.out->flush();
    }
    return kExitOk;
}

// gas list | gas add|change --name N --density D --co2 C --n2 N | gas delete --name N
int cmdGas(CliRun& run) {
    const QString what = run.args.value(0, QStringLiteral("list"));
    const auto schemas = installationSchemas(run);
    if (!schemas) return kExitNoLink;
    database::Gases gases(run.context->storage());
    if (!gases.ok()) return kExitNoLink;
    const auto gasJson = [](const database::GasComposition& g) {
        return QJsonObject{{QStringLiteral("name"), g.name},
                           {QStringLiteral("density"), g.density},
                           {QStringLiteral("co2"), g.co2},
                           {QStringLiteral("n2"), g.n2}};
    };
    if (what == QLatin1String("list")) {
        const QList<database::GasComposition> all = gases.all();
        if (run.options.json) {
            QJsonArray list;
            for (const auto& g : all)
                list.append(gasJson(g));
            run.printJson({{QStringLiteral("gases"), list}});
        } else {
            for (const auto& g : all)
                *run.out << g.name << "\t" << g.density << "\t" << g.co2 << "\t" << g.n2 << "\n";
            run.out->flush();
        }
        return kExitOk;
    }
    const QString name = run.value(QStringLiteral("--name")).value_or(QString());
    if (name.isEmpty() || (what != QLatin1String("add") && what != QLatin1String("change") &&
                           what != QLatin1String("delete"))) {
        run.notifier->message(
            MessageKind::Error,
            QStringLiteral("gas list | gas add|change --name N --density D --co2 C --n2 N | "
                           "gas delete --name N"));
        return kExitUsage;
    }
    if (what == QLatin1String("delete")) {
        if (!gases.remove(name)) {
            run.notifier->message(MessageKind::Error, QStringLiteral("Нет данных"));
            return kExitRefused;
        }
        if (run.options.json) run.printJson({{QStringLiteral("deleted"), name}});
        return kExitOk;
    }
    const database::GasComposition gas{name, run.value(QStringLiteral("--density")).value_or(QString()),
                                       run.value(QStringLiteral("--co2")).value_or(QString()),
                                       run.value(QStringLiteral("--n2")).value_or(QString())};
    const QString failure = what == QLatin1String("add") ? gases.add(gas) : gases.change(name, gas);
    if (!failure.isEmpty()) {
        run.notifier->message(MessageKind::Error, failure);
        return kExitRefused;
    }
    if (run.options.json) {
        // The composition as the table keeps it, read back rather than echoed from the arguments.
        for (const auto& g : gases.all())
            if (g.name == name.trimmed()) {
                run.printJson({{QStringLiteral("gas"), gasJson(g)}});
                return kExitOk;
            }
        run.notifier->message(MessageKind::Error, QStringLiteral("gas: not in the table after saving"));
        return kExitNoLink;
    }
    return kExitOk;
}

} // namespace tarn::cli

namespace tarn::cli {

namespace {

QJsonObject findingJson(const database::Finding& f) {
    return {{QStringLiteral("file"), f.file},
            {QStringLiteral("table"), f.table},
            {QStringLiteral("kind"), database::findingKindName(f.kind)},
            {QStringLiteral("detail"), f.detail},
            {QStringLiteral("repaired"), f.repaired},
            {QStringLiteral("keptAs"), f.keptAs},
            {QStringLiteral("rowsKept"), f.rows.kept},
            {QStringLiteral("rowsLeftOut"), f.rows.leftOut + f.rows.repeats},
            {QStringLiteral("repairError"), f.repairError}};
}

} // namespace

namespace {

QJsonObject databaseJson(const shell::DatabaseChoice& choice) {
    QJsonObject o{
        {QStringLiteral("kind"), choice.onServer() ? QStringLiteral("server") : QStringLiteral("files")},
        {QStringLiteral("source"), shell::describeDatabaseSource(choice.source)}};
    if (choice.onServer()) o.insert(QStringLiteral("url"), choice.server->toString());
    return o;
}

// db use [URL|--files]: the setting written or removed, or (without either) the database this
// installation uses and where that choice comes from.
int cmdDbUse(CliRun& run) {
    const QStringList words = run.args.mid(1);
    const bool files = run.has(QStringLiteral("--files"));
    if (words.size() > 1 || (files && !words.isEmpty()) || run.has(QStringLiteral("--point")) ||
        run.has(QStringLiteral("--repair"))) {
        run.notifier->message(MessageKind::Error, QStringLiteral("db use [URL|--files]"));
        return kExitUsage;
    }
    const DataRoot& root = run.context->root();
    shell::DatabaseChoice choice = run.database;
    if (!words.isEmpty()) {
        QString why;
        const auto url = database::postgres::parseDatabaseUrl(words.first(), &why);
        if (!url) {
            run.notifier->message(MessageKind::Error,
                                  database::postgres::looksLikeDatabaseUrl(words.first())
                                      ? why
                                      : QStringLiteral("db use takes a PostgreSQL URL "
                                                       "(postgresql://USER@HOST/DB?schema=NAME) or --files"));
            return kExitUsage;
        }
        if (!QDir().mkpath(root.dir(folder::Work)) || !shell::writeDatabaseSetting(root, *url)) {
            run.notifier->message(MessageKind::Error,
                                  QStringLiteral("cannot write ") + shell::databaseSettingPath(root));
            return kExitNoLink;
        }
        choice = shell::chooseDatabase(root, run.options.database);
    } else if (files) {
        if (!shell::removeDatabaseSetting(root)) {
            run.notifier->message(MessageKind::Error,
                                  QStringLiteral("cannot remove ") + shell::databaseSettingPath(root));
            return kExitNoLink;
        }
        choice = shell::chooseDatabase(root, run.options.database);
    }
    if (!choice.ok()) {
        run.notifier->message(MessageKind::Error, choice.refused);
        return kExitNoLink;
    }
    if (run.options.json) {
        run.printJson(databaseJson(choice));
    } else {
        *run.out << (choice.onServer() ? choice.server->toString() : QStringLiteral("files")) << " ("
                 << shell::describeDatabaseSource(choice.source) << ")\n";
        run.out->flush();
    }
    return kExitOk;
}

} // namespace

namespace {

QJsonObject tallyJson(const database::KindTally& t) {
    return {{QStringLiteral("tables"), t.tables},
            {QStringLiteral("rows"), t.rows},
            {QStringLiteral("checked"), t.checked},
            {QStringLiteral("mismatched"), t.mismatched}};
}

// db migrate --to URL | --from URL: the installation's tables copied to a schema on a server, or a
// server's schema copied into the installation's table files, then both read again and compared.
int migrateDatabase(CliRun& run) {
    const std::optional<QString> to = run.value(QStringLiteral("--to"));
    const std::optional<QString> from = run.value(QStringLiteral("--from"));
    if (to.has_value() == from.has_value() || run.has(QStringLiteral("--point")) ||
        run.has(QStringLiteral("--repair"))) {
        run.notifier->message(MessageKind::Error, QStringLiteral("db migrate --to URL | --from URL"));
        return kExitUsage;
    }
    QString why;
    const auto url = database::postgres::parseDatabaseUrl(to.value_or(from.value_or(QString())), &why);
    if (!url) {
        run.notifier->message(MessageKind::Error, QStringLiteral("db migrate: ") + why);
        return kExitUsage;
    }
    const auto schemas = installationSchemas(run);
    if (!schemas) return kExitNoLink;
    // The installation's own files, whatever storage the run would otherwise use: they are one side.
    database::SqliteStorage files(run.context->root(), *schemas);
    Error failure;
    auto server = database::postgres::PgStorage::open(*url, *schemas, failure);
    if (!server) {
        run.notifier->message(MessageKind::Error, url->toString() + QStringLiteral(": ") + failure.detail);
        return kExitNoLink;
    }
    database::Storage& source = to ? static_cast<database::Storage&>(files) : *server;
    database::Storage& target = to ? static_cast<database::Storage&>(*server) : files;
    // The polling groups go with the tables: the Group folder on one side, the schema's on the other.
    database::FolderGroupFiles folderGroups(run.context->root());
    auto serverGroups = database::postgres::PgGroupFiles::open(*url, &failure);
    if (!serverGroups) {
        run.notifier->message(MessageKind::Error, url->toString() + QStringLiteral(": ") + failure.detail);
        return kExitNoLink;
    }
    database::GroupFiles& sourceGroups =
        to ? static_cast<database::GroupFiles&>(folderGroups) : *serverGroups;
    database::GroupFiles& targetGroups =
        to ? static_cast<database::GroupFiles&>(*serverGroups) : folderGroups;
    // Refused before the tables are copied, as a target holding tables is: a copy never merges.
    const QStringList groupsThere = database::occupiedGroupFiles(targetGroups, failure);
    if (failure.failed()) {
        run.notifier->message(MessageKind::Error,
                              errorKindName(failure.kind) + QStringLiteral(": ") + failure.detail);
        return kExitNoLink;
    }
    if (!groupsThere.isEmpty()) {
        run.notifier->message(
            MessageKind::Error,
            QStringLiteral(
                "the target already holds what the copy would make; nothing was "
                "written (copy into an empty schema, or --home a new installation): group files ") +
                groupsThere.join(QStringLiteral(", ")));
        return kExitRefused;
    }

    // A line on stderr for every table as it is done, so a long copy shows that it moves.
    QTextStream progressOut(stderr);
    database::MigrationOptions options;
    options.progress = [&](const database::MigrationProgress& p) {
        if (p.rowsTotal > 0 && p.rowsDone < p.rowsTotal) return;
        const bool copied = p.phase == database::MigrationProgress::Phase::Copy;
        progressOut << QStringLiteral("%1/%2 %3 %4\n")
                           .arg(p.tablesDone + 1)
                           .arg(p.tablesTotal)
                           .arg(copied ? QStringLiteral("copied") : QStringLiteral("checked"),
                                source.location(p.id));
        progressOut.flush();
    };
    // SIGINT or SIGTERM ends the copy between two batches: each batch is one transaction, so what was
    // written is whole rows, and the target is left for the administrator to empty before a new attempt.
    bool interrupted = false;
    const SignalsToEvents signalsToEvents([&] { interrupted = true; });
    options.stopRequested = [&] {
        QCoreApplication::processEvents();
        return interrupted;
    };
    const database::MigrationReport report = database::migrateStorage(source, target, options);
    if (report.stopped) {
        run.notifier->message(
            MessageKind::Error,
            QStringLiteral("interrupted: the copy is not whole; empty the target before copying again"));
        return kExitInterrupted;
    }
    if (!report.occupied.isEmpty()) {
        run.notifier->message(
            MessageKind::Error,
            QStringLiteral("the target already holds what the copy would make; nothing was "
                           "written (copy into an empty schema, or --home a new installation): ") +
                report.occupied.join(QStringLiteral(", ")));
        return kExitRefused;
    }
    if (report.error.failed()) {
        run.notifier->message(MessageKind::Error,
                              errorKindName(report.error.kind) + QStringLiteral(": ") + report.error.detail);
        return kExitNoLink;
    }
    // The groups once the tables are whole (the groups name the points the tables register), in one
    // change on the server.
    const database::GroupFilesCopy groups = database::copyGroupFiles(sourceGroups, targetGroups);
    if (groups.error.failed() || !groups.occupied.isEmpty()) {
        run.notifier->message(MessageKind::Error,
                              QStringLiteral("the tables were copied, the polling groups not: ") +
                                  (groups.error.failed() ? errorKindName(groups.error.kind) +
                                                               QStringLiteral(": ") + groups.error.detail
                                                         : QStringLiteral("the target holds group files ") +
                                                               groups.occupied.join(QStringLiteral(", "))));
        return kExitNoLink;
    }
    for (const QString& name : groups.differing)
        run.notifier->message(MessageKind::Error, targetGroups.location(name) +
                                                      QStringLiteral(": the group file does not read back as "
                                                                     "it was written"));
    const bool passed = report.ok() && groups.ok();
    for (const database::Mismatch& m : report.mismatches)
        run.notifier->message(MessageKind::Error,
                              QStringLiteral("%1: %2 rows copied, %3 read back, not the same rows")
                                  .arg(m.location)
                                  .arg(m.source.rows)
                                  .arg(m.target.rows));
    if (run.options.json) {
        QJsonObject kinds;
        for (database::TableKind kind : database::kSchemaLoadOrder)
            kinds.insert(database::migrationKindName(kind), tallyJson(report.of(kind)));
        QJsonObject pointRows;
        for (auto it = report.pointRows.constBegin(); it != report.pointRows.constEnd(); ++it)
            pointRows.insert(it.key(), it.value());
        QJsonArray mismatches;
        for (const database::Mismatch& m : report.mismatches)
            mismatches.append(QJsonObject{{QStringLiteral("kind"), database::migrationKindName(m.id.kind)},
                                          {QStringLiteral("table"), m.location},
                                          {QStringLiteral("sourceRows"), m.source.rows},
                                          {QStringLiteral("targetRows"), m.target.rows}});
        run.printJson(
            {{QStringLiteral("direction"), to ? QStringLiteral("to-server") : QStringLiteral("from-server")},
             {QStringLiteral("server"), url->toString()},
             {QStringLiteral("points"), static_cast<int>(report.points.size())},
             {QStringLiteral("joinDays"), static_cast<int>(report.joinDays.size())},
             {QStringLiteral("pointRows"), pointRows},
             {QStringLiteral("kinds"), kinds},
             {QStringLiteral("mismatches"), mismatches},
             {QStringLiteral("groupFiles"), groups.files},
             {QStringLiteral("check"), passed ? QStringLiteral("passed") : QStringLiteral("failed")}});
    } else {
        for (database::TableKind kind : database::kSchemaLoadOrder) {
            const database::KindTally& t = report.of(kind);
            *run.out << QStringLiteral("%1 %2 tables, %3 rows, %4 checked, %5 differ\n")
                            .arg(database::migrationKindName(kind), -12)
                            .arg(t.tables)
                            .arg(t.rows)
                            .arg(t.checked)
                            .arg(t.mismatched);
        }
        *run.out << QStringLiteral("%1 points, %2 days of polling results, %3 group files; check %4\n")
                        .arg(report.points.size())
                        .arg(report.joinDays.size())
                        .arg(groups.files)
                        .arg(passed ? QStringLiteral("passed") : QStringLiteral("FAILED"));
        run.out->flush();
    }
    return passed ? kExitOk : kExitNoLink;
}

} // namespace

// db check [--point ID] [--repair]: the installation's tables against their schema files and the
// registry; exit 0 clean (or everything repaired), 1 findings left, 2 usage. db use: the database
// choice. db migrate: the tables copied to or from a server.
int cmdDb(CliRun& run) {
    if (run.args.value(0) == QLatin1String("use")) return cmdDbUse(run);
    if (run.args.value(0) == QLatin1String("migrate")) return migrateDatabase(run);
    if (run.args.value(0) != QLatin1String("check") || run.has(QStringLiteral("--files")) ||
        run.has(QStringLiteral("--to")) || run.has(QStringLiteral("--from"))) {
        run.notifier->message(MessageKind::Error,
                              QStringLiteral("db check [--point ID] [--repair] | db use [URL|--files] | "
                                             "db migrate --to URL | --from URL"));
        return kExitUsage;
    }
    database::CheckOptions options;
    options.repair = run.has(QStringLiteral("--repair"));
    options.point = run.value(QStringLiteral("--point")).value_or(QString());
    options.today = QDate::currentDate();
    options.now = QDateTime::currentDateTime();
    const int lang = run.context->languageIndex();
    if (run.has(QStringLiteral("--point")) && !database::isPointIdentifier(options.point)) {
        run.notifier->message(MessageKind::Error, polling::noDataText());
        return kExitUsage;
    }
    const auto schemas = installationSchemas(run);
    if (!schemas) return kExitNoLink;
    const database::CheckReport report = database::checkDatabase(run.context->root(), *schemas, options);
    if (!report.error.isEmpty()) {
        run.notifier->message(MessageKind::Error, report.error);
        return kExitNoLink;
    }
    if (!options.point.isEmpty()) {
        // A point neither registered nor with a table anywhere is a mistyped identifier.
        const bool named =
            std::any_of(report.findings.begin(), report.findings.end(), [&](const database::Finding& f) {
                return f.detail == options.point || f.table.endsWith(QLatin1Char('_') + options.point);
            });
        database::Registry registry(run.context->root(), run.context->storage());
        if (registry.ok() &&
            registry.find(options.point).outcome() == database::PointLookup::Outcome::NotFound && !named) {
            run.notifier->message(MessageKind::Error, polling::noDataText());
            return kExitUsage;
        }
    }
    if (run.options.json) {
        QJsonArray findings;
        for (const database::Finding& f : report.findings)
            findings.append(findingJson(f));
        run.printJson({{QStringLiteral("tables"), report.tables},
                       {QStringLiteral("repair"), options.repair},
                       {QStringLiteral("findings"), findings},
                       {QStringLiteral("left"), report.left()}});
    } else {
        for (const database::Finding& f : report.findings)
            *run.out << database::findingLine(f, lang) << "\n";
        *run.out << database::checkSummaryText(report, lang) << "\n";
        run.out->flush();
    }
    return report.left() == 0 ? kExitOk : kExitNoLink;
}

} // namespace tarn::cli
