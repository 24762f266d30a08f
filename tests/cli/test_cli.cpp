// tarn-cli as a process: laying out an installation, the settings file, opening the port.
#include "SimLine.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

using namespace tarn;

namespace {
struct Result {
    int code = -1;
    QByteArray out;
    QByteArray err;
    QJsonObject json() const { return QJsonDocument::fromJson(out).object(); }
};

// Runs tarn-cli while the event loop keeps serving an in-process simulator line.
Result cli(const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("TARN_HOME"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TARN_CLI_PROGRAM), args);
    QElapsedTimer t;
    t.start();
    while (p.state() != QProcess::NotRunning && t.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        p.waitForFinished(10);
    }
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}
} // namespace

TEST(Cli, InitThenSettingsDefaultsShowAndSet) {
    QTemporaryDir dir;
    const QString home = dir.path() + QStringLiteral("/inst");
    Result r = cli({QStringLiteral("--home"), home, QStringLiteral("--json"), QStringLiteral("init")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.json().value(QStringLiteral("ok")).toBool());
    DataRoot root(home);
    EXPECT_TRUE(QFile::exists(root.file(folder::Doc, QStringLiteral("Tarn.pdf"))));

    r = cli({QStringLiteral("--home"), home, QStringLiteral("settings"), QStringLiteral("defaults")});
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.out.count('\n'), 22);
    EXPECT_TRUE(r.out.startsWith("Tarn-2.55\nCOM1\nCOM1\nLPT1\n19200\n6000\n6\n0000000000000\n"));

    r = cli({QStringLiteral("--home"), home, QStringLiteral("--json"), QStringLiteral("settings"),
             QStringLiteral("set"), QStringLiteral("corrPort=COM4"), QStringLiteral("retryCount=999"),
             QStringLiteral("speed=921Кбод")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json().value(QStringLiteral("retryCount")).toString(), QStringLiteral("250"));
    EXPECT_EQ(r.json().value(QStringLiteral("baudRate")).toInt(), 921000);
    QFile f(root.file(folder::Work, QStringLiteral("FileInRS.000")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray file = f.readAll();
    EXPECT_TRUE(file.startsWith("Tarn-2.55\r\nCOM4\r\n"));
    EXPECT_EQ(file.count("\r\n"), 22);

    r = cli({QStringLiteral("--home"), home, QStringLiteral("settings"), QStringLiteral("set"),
             QStringLiteral("colour=red")});
    EXPECT_EQ(r.code, 2);

    r = cli({QStringLiteral("--home"), home, QStringLiteral("settings"), QStringLiteral("service-level"),
             QStringLiteral("942")});
    EXPECT_EQ(r.out.trimmed(), QByteArray("5"));
}

TEST(Cli, PortOpenReachesTheSimulatorAndReportsAMissingPort) {
    test::TempHome home;
    sim::PtyLine line;
    QString error;
    ASSERT_TRUE(line.open(error));
    home.write(folder::Work, QStringLiteral("PortMap.000"),
               QByteArray("COM1 ") + line.slavePath().toUtf8() + "\r\nCOM2 /nonexistent/tty\r\n");
    Result r = cli({QStringLiteral("--home"), home.root().root(), QStringLiteral("--json"),
                    QStringLiteral("port"), QStringLiteral("open")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.json().value(QStringLiteral("open")).toBool());
    EXPECT_EQ(r.json().value(QStringLiteral("device")).toString(), line.slavePath());

    r = cli({QStringLiteral("--home"), home.root().root(), QStringLiteral("--port"), QStringLiteral("COM2"),
             QStringLiteral("--lang"), QStringLiteral("ru"), QStringLiteral("port"), QStringLiteral("open")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.contains("Номер  COM - порта: COM2"));
    EXPECT_TRUE(r.err.contains("COM2"));
}

TEST(Cli, UnknownCommandsAndBadOptionsAreUsageErrors) {
    EXPECT_EQ(cli({QStringLiteral("frobnicate")}).code, 2);
    EXPECT_EQ(cli({QStringLiteral("--address"), QStringLiteral("15"), QStringLiteral("settings")}).code, 2);
    EXPECT_EQ(cli({QStringLiteral("--lang"), QStringLiteral("de"), QStringLiteral("settings")}).code, 2);
}
