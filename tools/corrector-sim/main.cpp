// corrector-sim: plays correctors (and modems, adapters, transfer units) on a pseudo-terminal.
//   corrector-sim --scenario FILE [--link PATH] [--log FILE] [--pace] [--dump FILE]
//   corrector-sim --list-presets
// Prints "pty <slave path>" once the line is up, then one line for each thing a device reports (a modem's
// "call {…}" lines); ends on SIGTERM or SIGINT (removing the link). --pace (or "pace": true in the
// scenario) sends every reply at the speed the program set on its port, 10 bits a byte. --dump writes,
// when the program ends, what each corrector of the line holds then (for tests: what was written to it).
#include "CorrectorRole.h"
#include "Presets.h"
#include "SimLine.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

// The state of the line's correctors as JSON: address, serial, clock offset, access level, the
// measurements and the parameter memory word by word in hexadecimal (the corrector's own byte order).
static bool writeDump(const QString& path, const std::vector<tarn::sim::CorrectorRole*>& correctors) {
    QJsonArray list;
    for (auto* c : correctors) {
        const tarn::sim::CorrectorMemory& m = c->memory();
        QJsonArray words;
        for (int w = 0; w < tarn::sim::kParameterWords; ++w)
            words.append(QString::fromLatin1(m.word(w).toHex()));
        list.append(QJsonObject{{QStringLiteral("address"), m.address},
                                {QStringLiteral("serial"), static_cast<qint64>(m.serial)},
                                {QStringLiteral("clockOffsetSec"), static_cast<qint64>(m.clockOffsetSec)},
                                {QStringLiteral("accessLevel"), m.accessLevel},
                                {QStringLiteral("pressure"), m.pressure},
                                {QStringLiteral("temperature"), m.temperature},
                                {QStringLiteral("correction"), m.correction},
                                {QStringLiteral("compressibility"), m.compressibility},
                                {QStringLiteral("flow"), m.flow},
                                {QStringLiteral("batteryVoltage"), m.batteryVoltage},
                                {QStringLiteral("words"), words}});
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return f.write(QJsonDocument(QJsonObject{{QStringLiteral("correctors"), list}}).toJson()) > 0;
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QString scenario, linkPath, logPath, dumpPath;
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
        else if (a == QLatin1String("--dump"))
            dumpPath = next();
        else if (a == QLatin1String("--list-presets")) {
            for (const auto& p : tarn::sim::presets())
                out << QString::fromUtf8(p.name).leftJustified(16) << QString::fromUtf8(p.description)
                    << "\n";
            return 0;
        } else {
            err << "usage: corrector-sim --scenario FILE [--link PATH] [--log FILE] [--pace] [--dump FILE]\n"
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
    std::vector<tarn::sim::CorrectorRole*> correctors;
    for (auto& r : roles) {
        if (auto* c = dynamic_cast<tarn::sim::CorrectorRole*>(r.get())) correctors.push_back(c);
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
    const int code = app.exec();
    if (!dumpPath.isEmpty() && !writeDump(dumpPath, correctors)) {
        err << "corrector-sim: cannot write " << dumpPath << "\n";
        return 1;
    }
    return code;
}
