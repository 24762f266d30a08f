// corrector-sim: plays correctors (and modems, adapters, transfer units) on a pseudo-terminal.
//   corrector-sim --scenario FILE [--link PATH] [--log FILE] [--pace]
//   corrector-sim --list-presets
// Prints "pty <slave path>" once the line is up, then one line for each thing a device reports (a modem's
// "call {…}" lines); ends on SIGTERM or SIGINT (removing the link). --pace (or "pace": true in the
// scenario) sends every reply at the speed the program set on its port, 10 bits a byte.
#include "Presets.h"
#include "SimLine.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int signalPipe[2] = {-1, -1};
void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] auto n = ::write(signalPipe[1], &c, 1);
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QString scenario, linkPath, logPath;
    bool pace = false;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args.at(i);
        auto next = [&]() { return i + 1 < args.size() ? args.at(++i) : QString(); };
        if (a == QLatin1String("--scenario"))
            scenario = next();
        else if (a == QLatin1String("--link"))
            linkPath = next();
        else if (a == QLatin1String("--log"))
            logPath = next();
        else if (a == QLatin1String("--pace"))
            pace = true;
        else if (a == QLatin1String("--list-presets")) {
            for (const auto& p : tarn::sim::presets())
                out << QString::fromUtf8(p.name).leftJustified(16) << QString::fromUtf8(p.description)
                    << "\n";
            return 0;
        } else {
            err << "usage: corrector-sim --scenario FILE [--link PATH] [--log FILE] [--pace]\n"
                   "       corrector-sim --list-presets\n";
            return 2;
        }
    }
    if (scenario.isEmpty()) {
        err << "corrector-sim: --scenario FILE is required\n";
        return 2;
    }
    std::vector<std::unique_ptr<tarn::sim::Role>> roles;
    tarn::sim::ScenarioOptions options;
    QString error;
    if (!tarn::sim::loadScenario(scenario, roles, error, &options)) {
        err << "corrector-sim: " << error << "\n";
        return 2;
    }
    tarn::sim::PtyLine line;
    if (!line.open(error) || (!linkPath.isEmpty() && !line.makeLink(linkPath, error))) {
        err << "corrector-sim: " << error << "\n";
        return 1;
    }
    line.setPaced(pace || options.pace);
    if (!logPath.isEmpty() && !line.openLog(logPath)) {
        err << "corrector-sim: cannot write " << logPath << "\n";
        return 1;
    }
    line.onReport = [&out](const QString& text) {
        out << text << "\n";
        out.flush();
    };
    for (auto& r : roles) {
        err << "corrector-sim: " << r->describe() << "\n";
        line.addRole(std::move(r));
    }
    err.flush();

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
        std::signal(SIGTERM, onSignal);
        std::signal(SIGINT, onSignal);
        auto* sn = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(sn, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    }
    out << "pty " << line.slavePath() << "\n";
    out.flush();
    return app.exec();
}
