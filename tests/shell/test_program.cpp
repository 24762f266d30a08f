// Tarn_B as a process: one instance at a time, and the orderly end on SIGTERM.
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

using namespace tarn;

namespace {
QProcessEnvironment programEnvironment(const QString& runtimeDir) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    env.remove(QStringLiteral("TARN_HOME"));
    return env;
}

bool waitForFile(const QString& path, int limitMs) {
    QElapsedTimer t;
    t.start();
    while (!QFile::exists(path) && t.elapsed() < limitMs)
        QThread::msleep(20);
    return QFile::exists(path);
}
} // namespace

TEST(Program, SecondInstanceEndsSilentlyAndSigtermEndsTheFirstInOrder) {
    test::TempHome home;
    QTemporaryDir runtime;
    QProcess first;
    first.setProcessEnvironment(programEnvironment(runtime.path()));
    first.start(QStringLiteral(TARN_B_PROGRAM), {QStringLiteral("--home"), home.root().root()});
    ASSERT_TRUE(first.waitForStarted(5000));
    ASSERT_TRUE(waitForFile(runtime.path() + QStringLiteral("/Tarn_B.lock"), 10000));

    QProcess second;
    second.setProcessEnvironment(programEnvironment(runtime.path()));
    second.start(QStringLiteral(TARN_B_PROGRAM), {QStringLiteral("--home"), home.root().root()});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    EXPECT_FALSE(home.exists(folder::Work, QStringLiteral("FileInRS.000")));
    first.terminate(); // SIGTERM
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    const QByteArray file = home.read(folder::Work, QStringLiteral("FileInRS.000"));
    EXPECT_TRUE(file.startsWith("Tarn-2.55\r\nCOM1\r\nCOM1\r\nLPT1\r\n19200\r\n"));
    EXPECT_EQ(file.count("\r\n"), 22);
}
