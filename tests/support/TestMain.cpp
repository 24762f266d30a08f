// Test programs run with an application object, so timers, signals and (offscreen) windows work.
#include <QtGlobal>
#if defined(TARN_TEST_TARN_APPLICATION)
#include "shell/windows/TarnApplication.h"
using TestApp = tarn::shell::TarnApplication;
#elif defined(TARN_TEST_WIDGETS)
#include <QApplication>
using TestApp = QApplication;
#else
#include <QCoreApplication>
using TestApp = QCoreApplication;
#endif
#include <QLocale>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // A developer's own installation (TARN_HOME in the shell) must never be what a test reads or writes;
    // a test that wants an installation makes one and names it to the processes it starts.
    qunsetenv("TARN_HOME");
    ::testing::InitGoogleTest(&argc, argv);
    TestApp app(argc, argv);
    QLocale::setDefault(QLocale::c());
    return RUN_ALL_TESTS();
}
