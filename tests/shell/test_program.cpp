// Tarn_B as a process: one instance per installation, and the orderly end on SIGTERM.
#include "support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

using namespace tarn;

namespace {
// A runtime folder of its own, so that Qt has nothing to say on stderr about a missing one.
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

namespace {
struct Program {
    QTemporaryDir runtime;
    QProcess process;
    explicit Program(const test::TempHome& home) {
        process.setProcessEnvironment(programEnvironment(runtime.path()));
        process.start(QStringLiteral(TARN_B_PROGRAM), {QStringLiteral("--home"), home.root().root()});
        process.waitForStarted(5000);
    }
    ~Program() {
        if (process.state() == QProcess::NotRunning) return;
        process.terminate();
        process.waitForFinished(10000);
    }
};

QString lockOf(const test::TempHome& home) {
    return home.path(folder::Current, QStringLiteral("Tarn_B.lock"));
}
} // namespace

// One Tarn_B per installation: a second one on the same data root ends at once, without a window, with
// one line on stderr that says why; SIGTERM ends the first in order.
TEST(Program, SecondInstanceOnAnInstallationEndsAndSigtermEndsTheFirstInOrder) {
    test::TempHome home;
    home.write(folder::Work, QStringLiteral("Type_Leng.000"), "RU\r\n");
    Program first(home);
    ASSERT_EQ(first.process.state(), QProcess::Running);
    ASSERT_TRUE(waitForFile(lockOf(home), 10000));

    Program second(home);
    ASSERT_TRUE(second.process.waitForFinished(10000));
    EXPECT_EQ(second.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.process.exitCode(), 0);
    const QString why = QString::fromUtf8(second.process.readAllStandardError());
    EXPECT_EQ(why.count(QLatin1Char('\n')), 1) << why.toStdString();
    EXPECT_TRUE(why.startsWith(QStringLiteral("Tarn_B уже работает с установкой "))) << why.toStdString();
    EXPECT_TRUE(why.contains(QDir::toNativeSeparators(home.root().root())));
    EXPECT_EQ(first.process.state(), QProcess::Running);

    EXPECT_FALSE(home.exists(folder::Work, QStringLiteral("FileInRS.000")));
    first.process.terminate(); // SIGTERM
    ASSERT_TRUE(first.process.waitForFinished(10000));
    EXPECT_EQ(first.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.process.exitCode(), 0);
    const QByteArray file = home.read(folder::Work, QStringLiteral("FileInRS.000"));
    EXPECT_TRUE(file.startsWith("Tarn-2.55\r\nCOM1\r\nCOM1\r\nLPT1\r\n19200\r\n"));
    EXPECT_EQ(file.count("\r\n"), 22);
    EXPECT_FALSE(QFile::exists(lockOf(home)));
}

// Two installations are two lock files: both programs run side by side.
TEST(Program, TwoInstallationsRunSideBySide) {
    test::TempHome a;
    test::TempHome b;
    Program first(a);
    ASSERT_TRUE(waitForFile(lockOf(a), 10000));
    Program second(b);
    ASSERT_TRUE(waitForFile(lockOf(b), 10000));
    EXPECT_EQ(first.process.state(), QProcess::Running);
    EXPECT_EQ(second.process.state(), QProcess::Running);
    EXPECT_TRUE(second.process.readAllStandardError().isEmpty());
}
