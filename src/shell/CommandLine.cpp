#include "shell/CommandLine.h"

namespace tarn::shell {

CommandLine parseCommandLine(const QStringList& arguments) {
    CommandLine cl;
    bool switchSeen = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (a == QLatin1String("--home") && i + 1 < arguments.size()) {
            cl.home = arguments.at(++i);
            continue;
        }
        if (a.startsWith(QLatin1String("--home="))) {
            cl.home = a.mid(7);
            continue;
        }
        if (a == QLatin1String("--database") && i + 1 < arguments.size()) {
            cl.database = arguments.at(++i);
            continue;
        }
        if (a.startsWith(QLatin1String("--database="))) {
            cl.database = a.mid(11);
            continue;
        }
        if (switchSeen) continue;
        switchSeen = true;
        if (a.compare(QLatin1String("$d"), Qt::CaseInsensitive) == 0 || a == QLatin1String("--duty"))
            cl.dispatcherStart = true;
        else if (a.compare(QLatin1String("$v"), Qt::CaseInsensitive) == 0 ||
                 a == QLatin1String("--configurator"))
            cl.startIntoPolling = true;
    }
    return cl;
}

} // namespace tarn::shell
