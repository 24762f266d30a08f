#include "Cli.h"

#include "link/LinkSettings.h"

#include <QJsonArray>

namespace tarn::cli {

// settings [show]   the 22 lines as the program holds them (file, then the options given)
// settings defaults the lines a first exit writes
// settings ports    the COM ports that exist (COM1 … COMn, n from Work/Q_RS.000)
int cmdSettings(CliRun& run) {
    const QString what = run.args.value(0, QStringLiteral("show"));
    QStringList lines;
    if (what == QLatin1String("show")) {
        lines = link::settingsToLines(run.context->settings());
    } else if (what == QLatin1String("defaults")) {
        lines = link::settingsToLines(link::LinkSettings{});
    } else if (what == QLatin1String("ports")) {
        const int n = link::readPortProbeCount(run.context->root());
        const QStringList found = run.context->linkPort().probePorts(n);
        if (run.options.json)
            run.printJson({{QStringLiteral("probed"), n},
                           {QStringLiteral("ports"), QJsonArray::fromStringList(found)}});
        else
            for (const QString& p : found)
                *run.out << p << "\n";
        return found.isEmpty() ? kExitNoLink : kExitOk;
    } else {
        run.notifier->message(MessageKind::Error, QStringLiteral("settings: show, defaults or ports"));
        return kExitUsage;
    }
    if (run.options.json)
        run.printJson({{QStringLiteral("lines"), QJsonArray::fromStringList(lines)}});
    else
        for (const QString& l : lines)
            *run.out << l << "\n";
    return kExitOk;
}

} // namespace tarn::cli
