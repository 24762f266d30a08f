// The main window, the settings window and the port window, offscreen.
#include "common/LanguageFile.h"
#include "link/FakeSerialPort.h"
#include "link/LinkLog.h"
#include "link/windows/TInRS232.h"
#include "link/windows/TfInitPort.h"
#include "shell/AppContext.h"
#include "shell/windows/TMenuCorr.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::shell;

namespace {

struct App {
    test::TempHome home;
    test::RecordingNotifier notifier;
    link::FakeSerialPort* port = new link::FakeSerialPort;
    AppContext ctx{home.root(), notifier, std::unique_ptr<link::SerialPort>(port)};
    std::unique_ptr<TMenuCorr> menu;
    bool ended = false;

    void start() {
        menu = std::make_unique<TMenuCorr>(ctx);
        menu->waitDelayMs = 1;
        QObject::connect(menu.get(), &TMenuCorr::ended, [this] { ended = true; });
        menu->show();
        menu->Timer_InitProgTimer();
    }
};

// Runs fn once the next modal window is up.
void whenModal(std::function<void()> fn) {
    QTimer::singleShot(20, [fn] {
        if (QApplication::activeModalWidget())
            fn();
        else
            whenModal(fn);
    });
}

} // namespace

TEST(MainWindow, CaptionsInBothLanguages) {
    App ua;
    ua.start();
    EXPECT_EQ(ua.menu->correctorAction()->text(), QStringLiteral("КОРЕКТОР"));
    EXPECT_EQ(ua.menu->settingsAction()->text(), QStringLiteral("НАЛАШТУВАННЯ"));
    EXPECT_EQ(ua.menu->helpMenu()->title(), QStringLiteral("ДОВІДКА"));
    EXPECT_EQ(ua.menu->exitAction()->text(), QStringLiteral("ВИХІД"));
    EXPECT_EQ(ua.menu->windowTitle(), QStringLiteral("Tarn (d)"));
    EXPECT_EQ(ua.menu->size(), QSize(730, 210));

    App ru;
    ru.home.write(folder::Work, QStringLiteral("Type_Leng.000"), "UA\r\nRU\r\n");
    ru.start();
    EXPECT_EQ(ru.menu->correctorAction()->text(), QStringLiteral("КОРРЕКТОР"));
    EXPECT_EQ(ru.menu->settingsAction()->text(), QStringLiteral("УСТАНОВКИ"));
    const auto help = ru.menu->helpMenu()->actions();
    ASSERT_GE(help.size(), 3);
    EXPECT_EQ(help[0]->text(), QStringLiteral("О ПРОГРАММЕ ..."));
    EXPECT_EQ(help[1]->text(), QStringLiteral("ИНСТРУКЦИЯ ПО"));
    EXPECT_FALSE(help[2]->isVisible()); // "СПРАВКА БД" stays hidden
}

TEST(MainWindow, ExitWritesAMissingSettingsFileOnly) {
    App a;
    a.start();
    a.ctx.settings().corrPort = QStringLiteral("COM4");
    a.menu->exitProgram();
    EXPECT_TRUE(a.ended);
    const QByteArray file = a.home.read(folder::Work, QStringLiteral("FileInRS.000"));
    EXPECT_TRUE(file.startsWith("Tarn-2.55\r\nCOM4\r\n"));

    App b;
    b.home.write(folder::Work, QStringLiteral("FileInRS.000"), "Tarn-2.55\r\nCOM2\r\n");
    b.start();
    b.ctx.settings().corrPort = QStringLiteral("COM7");
    b.menu->exitProgram();
    EXPECT_EQ(b.home.read(folder::Work, QStringLiteral("FileInRS.000")), QByteArray("Tarn-2.55\r\nCOM2\r\n"));
}

TEST(MainWindow, OutdatedSettingsAreToldThenTheProgramEndsWithoutWritingOne) {
    App a;
    a.home.write(folder::Work, QStringLiteral("FileInRS.000"), "Tarn-1.00\r\nCOM2\r\n");
    a.start();
    EXPECT_TRUE(a.ended);
    ASSERT_EQ(a.notifier.messages.size(), 1);
    EXPECT_TRUE(a.notifier.messages[0].second.contains(QStringLiteral("застарілої")));
    EXPECT_FALSE(a.home.exists(folder::Work, QStringLiteral("FileInRS.000")));
}

TEST(MainWindow, MissingManualIsReported) {
    App a;
    a.start();
    QFile::remove(a.home.path(folder::Doc, QStringLiteral("Tarn.pdf")));
    a.menu->openManual();
    ASSERT_EQ(a.notifier.messages.size(), 1);
    EXPECT_EQ(a.notifier.messages[0].second, QStringLiteral("Файл - ") +
                                                 a.home.path(folder::Doc, QStringLiteral("Tarn.pdf")) +
                                                 QStringLiteral(" не знайдений!!!"));
}

TEST(SettingsWindow, CaptionsRulesAndSave) {
    App a;
    a.home.write(folder::Work, QStringLiteral("Type_Leng.000"), "RU\r\n");
    a.start();
    auto* w = a.menu->settingsWindow();
    whenModal([&] {
        EXPECT_EQ(w->windowTitle(), QStringLiteral("УСТАНОВКИ"));
        EXPECT_EQ(w->saveAction()->text(), QStringLiteral("СОХРАНИТЬ"));
        EXPECT_EQ(w->portScanAction()->text(), QStringLiteral("КОНТРОЛЬ RS"));
        EXPECT_EQ(w->languageBox()->currentText(), QStringLiteral("RU"));
        EXPECT_FALSE(w->modemGroup()->isVisibleTo(w));
        w->modemBox()->setChecked(true);
        EXPECT_TRUE(w->modemGroup()->isVisibleTo(w));
        w->rsOffBox()->setChecked(true);
        EXPECT_FALSE(w->rsPanel()->isVisibleTo(w));
        EXPECT_FALSE(w->modemBox()->isChecked());
        w->rsOffBox()->setChecked(false);
        w->corrPortBox()->setCurrentText(QStringLiteral("COM3"));
        w->serviceCodeEdit()->setText(QStringLiteral("942"));
        w->saveAction()->trigger();
    });
    a.menu->openSettingsWindow();
    const QByteArray file = a.home.read(folder::Work, QStringLiteral("FileInRS.000"));
    EXPECT_TRUE(file.startsWith("Tarn-2.55\r\nCOM3\r\n"));
    EXPECT_EQ(file.count("\r\n"), 22);
    // The sequence ran again after the save: the access code opened service level 5.
    EXPECT_EQ(a.ctx.serviceLevel, 5);
    EXPECT_EQ(a.ctx.linkPort().portName(), QStringLiteral("COM3"));
    EXPECT_FALSE(a.ended);
}

TEST(SettingsWindow, ChangingTheLanguageEndsTheProgram) {
    App a;
    a.start();
    auto* w = a.menu->settingsWindow();
    whenModal([&] {
        EXPECT_EQ(w->windowTitle(), QStringLiteral("НАЛАШТУВАННЯ"));
        w->languageBox()->setCurrentText(QStringLiteral("RU"));
        w->exitAction()->trigger();
    });
    a.menu->openSettingsWindow();
    test::waitUntil([&] { return a.ended; });
    EXPECT_TRUE(a.ended);
    EXPECT_EQ(loadLanguage(a.home.root(), kUkrainian), kRussian);
}

TEST(SettingsWindow, ClosingInTheSameLanguageKeepsTheProgram) {
    App a;
    a.start();
    auto* w = a.menu->settingsWindow();
    whenModal([&] { w->exitAction()->trigger(); });
    a.menu->openSettingsWindow();
    // A change of language closes the window from a zero-delay timer: once that has had its turn, the
    // program is still there.
    test::runPending();
    EXPECT_FALSE(a.ended);
    EXPECT_TRUE(a.menu->isVisible());
}

TEST(PortWindow, ReopensThePortWithTheLinesSet) {
    test::RecordingNotifier notifier;
    link::FakeSerialPort port;
    port.existing = {QStringLiteral("/dev/ttyS0")};
    link::LinkPort lp(port, notifier);
    lp.setLanguage(kRussian);
    link::LinkSettings s;
    link::TfInitPort w(lp, s, kRussian, 1);
    w.openDelayMs = 1;
    w.closeDelayMs = 1;
    EXPECT_TRUE(w.reinit());
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.baud, 19200);
    EXPECT_FALSE(port.dtr);
    EXPECT_TRUE(port.rts);
    // A second reinit closes first, then opens again.
    EXPECT_TRUE(w.reinit());
    EXPECT_EQ(port.closeCount, 1);
    EXPECT_EQ(port.openCount, 2);
    // A port that fails to open shows the error in the language.
    port.failingOpen = {QStringLiteral("/dev/ttyS0")};
    EXPECT_FALSE(w.reinit());
    ASSERT_EQ(notifier.messages.size(), 1);
    EXPECT_EQ(notifier.messages[0].second, QStringLiteral("Ошибка инициализации порта COM1"));
}

TEST(SettingsWindow, DebuggerBoxBelongsToServiceLevelFive) {
    App a;
    a.home.write(folder::Work, QStringLiteral("FileInRS.000"), "Tarn-2.55\r\nCOM1\r\n");
    a.start();
    auto* w = a.menu->settingsWindow();
    whenModal([&] {
        EXPECT_FALSE(w->debuggerBox()->isVisibleTo(w));
        w->serviceCodeEdit()->setText(QStringLiteral("942"));
        w->saveAction()->trigger();
    });
    a.menu->openSettingsWindow();
    EXPECT_TRUE(a.ctx.linkLog().enabled);
    whenModal([&] {
        EXPECT_TRUE(w->debuggerBox()->isVisibleTo(w));
        EXPECT_TRUE(w->debuggerBox()->isChecked());
        w->debuggerBox()->setChecked(false);
        w->exitAction()->trigger();
    });
    a.menu->openSettingsWindow();
    EXPECT_FALSE(a.ctx.linkLog().enabled);
    // Level 1 unticks it again at the next initialisation.
    a.ctx.linkLog().enabled = true;
    whenModal([&] {
        w->serviceCodeEdit()->setText(QStringLiteral("517"));
        w->saveAction()->trigger();
    });
    a.menu->openSettingsWindow();
    EXPECT_EQ(a.ctx.serviceLevel, 1);
    EXPECT_FALSE(a.ctx.linkLog().enabled);
}
