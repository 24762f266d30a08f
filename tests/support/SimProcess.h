#pragma once
// The corrector-sim program on a pseudo-terminal, for tests that run programs as processes: it plays a
// scenario and makes a link to its line; it is ended with the object.
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QString>

namespace tarn::test {

class SimProcess {
public:
    // Writes the scenario to scenarioPath and starts the program with its line linked at linkPath (and
    // the further arguments given). True once the program has reported its line.
    bool start(const QString& program, const QString& scenarioPath, const QByteArray& scenarioJson,
               const QString& linkPath, const QStringList& more = {}) {
        QFile f(scenarioPath);
        if (!f.open(QIODevice::WriteOnly)) return false;
        f.write(scenarioJson);
        f.close();
        process_.start(program, QStringList{QStringLiteral("--scenario"), scenarioPath,
                                            QStringLiteral("--link"), linkPath} +
                                    more);
        if (!process_.waitForStarted(5000)) return false;
        QElapsedTimer t;
        t.start();
        while (!process_.canReadLine() && t.elapsed() < 5000)
            process_.waitForReadyRead(50);
        return process_.readLine().startsWith("pty ");
    }
    ~SimProcess() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        process_.waitForFinished(3000);
    }
    QProcess& process() { return process_; }
    // Ends the program as SIGTERM does (it writes what it was asked to on the way out); true once ended.
    bool finish() {
        process_.terminate();
        return process_.waitForFinished(5000) && process_.exitStatus() == QProcess::NormalExit;
    }

private:
    QProcess process_;
};

} // namespace tarn::test
