// Windows serve events only from the application's own loop: long work runs on a timer or a worker and
// reports by signals. A window that spins a loop of its own (processEvents, a local QEventLoop) lets a
// close or a second start re-enter work that is half done, so any one fails here. There is no allow-list:
// modal dialogs (QDialog::exec) stay Qt's way of asking, and command-line programs have no windows.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <gtest/gtest.h>

namespace {

// Every source file under a windows/ folder of src/, relative to the source tree.
QStringList windowSources(const QDir& source) {
    QStringList files;
    QDirIterator it(source.filePath(QStringLiteral("src")), {QStringLiteral("*.cpp"), QStringLiteral("*.h")},
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = source.relativeFilePath(it.next());
        if (path.split(QLatin1Char('/')).contains(QStringLiteral("windows"))) files.append(path);
    }
    files.sort();
    return files;
}

int loopsIn(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return -1;
    static const QRegularExpression loop(QStringLiteral("\\bprocessEvents\\b|\\bQEventLoop\\b"));
    const QString text = QString::fromUtf8(file.readAll());
    int count = 0;
    for (auto it = loop.globalMatch(text); it.hasNext(); it.next())
        ++count;
    return count;
}

} // namespace

TEST(NoNestedLoops, NoWindowServesEventsFromInsideItsWork) {
    const QDir source(QStringLiteral(TARN_SOURCE_DIR));
    const QStringList files = windowSources(source);
    // The scan sees the windows at all (a wrong root would pass vacuously).
    ASSERT_GT(files.size(), 50);
    ASSERT_TRUE(files.contains(QStringLiteral("src/database/windows/TStoreWait.cpp")));
    QStringList offenders;
    for (const QString& file : files) {
        const int found = loopsIn(source.filePath(file));
        ASSERT_GE(found, 0) << file.toStdString();
        if (found > 0) offenders.append(file + QStringLiteral(": ") + QString::number(found));
    }
    EXPECT_TRUE(offenders.isEmpty()) << "processEvents or QEventLoop in a window: "
                                     << offenders.join(QStringLiteral(", ")).toStdString();
}

TEST(NoNestedLoops, TheScanFindsBothForms) {
    // A file of its own with both forms, so that the pattern is known to catch them.
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    file.write(
        "QCoreApplication::processEvents();\nQEventLoop wait;\nqApp->processEvents(QEventLoop::AllEvents);\n"
        "processEventsLater(); // not a call of it\n");
    file.close();
    EXPECT_EQ(loopsIn(file.fileName()), 4);
}
