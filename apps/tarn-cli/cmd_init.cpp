#include "Cli.h"

#include "database/Registry.h"
#include "shell/Installation.h"

#include <QJsonArray>

namespace tarn::cli {

int cmdInit(CliRun& run) {
    auto report = shell::initInstallation(run.context->root());
    // The tables every run of the program opens, as the program's start opens them.
    if (report.ok) {
        const DataRoot& root = run.context->root();
        database::writeMissingSchemaFiles(root);
        run.context->schemas = database::loadSchemas(root);
        const database::Schemas& schemas = run.context->schemas;
        const QString failed =
            schemas.ok ? database::openDatabaseAtStart(root, run.context->storage(), QDate::currentDate())
                       : schemas.error;
        if (!failed.isEmpty()) {
            report.ok = false;
            report.error = failed;
        }
    }
    if (run.options.json) {
        QJsonObject o{{QStringLiteral("ok"), report.ok},
                      {QStringLiteral("root"), run.context->root().root()},
                      {QStringLiteral("created"), QJsonArray::fromStringList(report.created)}};
        if (!report.ok) o.insert(QStringLiteral("error"), report.error);
        run.printJson(o);
    } else if (report.ok) {
        *run.out << "installation ready: " << run.context->root().root() << "\n";
    }
    if (!report.ok) {
        run.notifier->message(MessageKind::Error, report.error);
        return kExitUsage;
    }
    return kExitOk;
}

} // namespace tarn::cli
