#include "support/CliRunner.h"

#include "support/CliJson.h"
#include "support/TestSupport.h"

#include <QJsonDocument>
#include <QProcess>
#include <QProcessEnvironment>

namespace tarn::test {

QJsonObject CliText::json() const {
    return QJsonDocument::fromJson(out.toUtf8()).object();
}

QJsonObject CliResult::json() const {
    return QJsonDocument::fromJson(out).object();
}

QString cliProgram() {
    return QStringLiteral(TARN_CLI_PROGRAM);
}

CliResult runCli(const QStringList& args, const CliEnvironment& environment) {
    QProcess p;
    // The installation comes from the arguments, never from whoever runs the tests.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("TARN_HOME"));
    for (auto it = environment.begin(); it != environment.end(); ++it)
        env.insert(it.key(), it.value());
    p.setProcessEnvironment(env);
    p.start(cliProgram(), args);
    CliResult r;
    if (!p.waitForStarted(10000)) return r;
    if (!waitUntil([&] { return p.state() == QProcess::NotRunning; }, kCliGuardMs)) {
        p.kill();
        p.waitForFinished(1000);
        return r;
    }
    if (p.exitStatus() == QProcess::NormalExit) r.code = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    expectCliJsonFits(args, r.out);
    return r;
}

CliResult runCliIn(const QString& home, const QStringList& args, const CliEnvironment& environment) {
    return runCli(QStringList{QStringLiteral("--home"), home} + args, environment);
}

} // namespace tarn::test
