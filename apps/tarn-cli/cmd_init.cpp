#include "Cli.h"

#include "shell/Installation.h"

#include <QJsonArray>

namespace tarn::cli {

int cmdInit(CliRun& run) {
    const auto report = shell::initInstallation(run.context->root());
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
