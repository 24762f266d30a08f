// The main window, the settings window and the port window, offscreen.
#include "common/LanguageFile.h"
#include "corrector/LinkTexts.h"
#include "corrector/windows/TCorrect.h"
#include "link/FakeSerialPort.h"
#include "link/LinkLog.h"
#include "link/windows/TInRS232.h"
#include "link/windows/TfInitPort.h"
#include "polling/Groups.h"
#include "polling/PollingRun.h"
#include "polling/windows/TfChargBD.h"
#include "shell/AppContext.h"
#include "shell/windows/TMenuCorr.h"
#include "shell/windows/WaitWindow.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::shell;

namespace {

struct App {
    test::TempHome home;
    test::RecordingNotifier notifier;
    link::FakeSerialPort* port = new link::FakeSerialPort;
    test::WallClockAt clock;
    AppContext ctx{home.root(), notifier, std::unique_ptr<link::SerialPort>(port), clock};
    std::unique_ptr<TMenuCorr> menu;
    bool ended = false;

    void start(bool consoleAhead = false) {
        menu = std::make_unique<TMenuCorr>(ctx);
        menu->waitDelayMs = 1;
        menu->readBoardAhead = consoleAhead;
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
    // Even a start that would open the console makes none for a program that ends.
    a.start(true);
    EXPECT_TRUE(a.ended);
    EXPECT_EQ(a.menu->findChild<polling::TfChargBD*>(), nullptr);
    ASSERT_EQ(a.notifier.messages.size(), 1);
    EXPECT_TRUE(a.notifier.messages[0].second.contains(QStringLiteral("застарілої")));
    EXPECT_FALSE(a.home.exists(folder::Work, QStringLiteral("FileInRS.000")));
}

// What the start does in the wait window's closing pause comes after the work, with the window still up,
// and the window is gone when run() returns.
TEST(WaitWindow, TheClosingPauseWorkFollowsTheWorkWithTheWindowUp) {
    TWr_BD wait(kUkrainian);
    wait.startDelayMs = 1;
    wait.closeDelayMs = 1;
    QStringList order;
    bool upInPause = false;
    wait.run([&] { order << QStringLiteral("work"); },
             [&] {
                 order << QStringLiteral("pause");
                 upInPause = wait.isVisible();
             });
    EXPECT_EQ(order, QStringList({QStringLiteral("work"), QStringLiteral("pause")}));
    EXPECT_TRUE(upInPause);
    EXPECT_FALSE(wait.isVisible());
}

// The manual: missing, there but with nothing to show it, and shown.
TEST(MainWindow, TheManualThatCannotBeOpenedIsReportedByName) {
    struct Case {
        bool present;
        bool viewer;
        const char* language;
        QString expected; // the message after the path; empty: none
    };
    const Case cases[] = {
        {false, true, "UA", QStringLiteral(" не знайдений!!!")},
        {true, false, "UA", QStringLiteral(" - немає програми для перегляду PDF")},
        {true, false, "RU", QStringLiteral(" - нет программы для просмотра PDF")},
        {true, true, "RU", QString()},
    };
    for (const Case& c : cases) {
        App a;
        a.home.write(folder::Work, QStringLiteral("Type_Leng.000"), QByteArray(c.language) + "\r\n");
        a.start();
        const QString path = a.home.path(folder::Doc, QStringLiteral("Tarn.pdf"));
        if (c.present)
            a.home.write(folder::Doc, QStringLiteral("Tarn.pdf"), "%PDF-1.4\n");
        else
            QFile::remove(path);
        QList<QUrl> handed;
        a.menu->openDocument = [&handed, &c](const QUrl& url) {
            handed.append(url);
            return c.viewer;
        };
        a.menu->openManual();
        EXPECT_EQ(handed, c.present ? QList<QUrl>{QUrl::fromLocalFile(path)} : QList<QUrl>{});
        if (c.expected.isEmpty()) {
            EXPECT_TRUE(a.notifier.messages.isEmpty());
            continue;
        }
        ASSERT_EQ(a.notifier.messages.size(), 1);
        EXPECT_EQ(a.notifier.messages[0].first, MessageKind::Error);
        const QString head = !c.present ? QStringLiteral("Файл - ")
                             : QLatin1String(c.language) == QLatin1String("RU")
                                 ? QStringLiteral("Не удалось открыть файл ")
                                 : QStringLiteral("Не вдалося відкрити файл ");
        EXPECT_EQ(a.notifier.messages[0].second, head + path + c.expected);
    }
}

// Qt's own buttons speak the chosen language once Qt's translations are installed on the computer.
TEST(MainWindow, QtsOwnButtonsSpeakTheChosenLanguage) {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const struct {
        const char* language;
        const char* file;
        QString yes;
        QString no;
    } cases[] = {
        {"UA", "qtbase_uk.qm", QStringLiteral("Так"), QStringLiteral("Ні")},
        {"RU", "qtbase_ru.qm", QStringLiteral("Да"), QStringLiteral("Нет")},
    };
    for (const auto& c : cases) {
        if (!QFile::exists(folder + QLatin1Char('/') + QLatin1String(c.file)))
            GTEST_SKIP() << c.file << " is not installed (Debian: qt6-translations-l10n)";
        App a;
        a.home.write(folder::Work, QStringLiteral("Type_Leng.000"), QByteArray(c.language) + "\r\n");
        a.start();
        QMessageBox box(QMessageBox::Question, QString(), QStringLiteral("?"),
                        QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove(QLatin1Char('&')), c.yes);
        EXPECT_EQ(box.button(QMessageBox::No)->text().remove(QLatin1Char('&')), c.no);
    }
    // The translation goes with the window: nothing is left installed behind it.
    QMessageBox box(QMessageBox::Question, QString(), QStringLiteral("?"), QMessageBox::Yes);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove(QLatin1Char('&')), QStringLiteral("Yes"));
}

// A window's title is its caption and nothing more, in both languages.
TEST(MainWindow, WindowTitlesAreTheCaptionsExactly) {
    // A display name set on the application is appended by the platforms to every title.
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
    for (const char* language : {"UA", "RU"}) {
        App a;
        a.home.write(folder::Work, QStringLiteral("Type_Leng.000"), QByteArray(language) + "\r\n");
        a.start();
        EXPECT_EQ(a.menu->windowTitle(), QStringLiteral("Tarn (d)"));
        ASSERT_NE(a.menu->openPollingConsole(), nullptr);
        EXPECT_EQ(a.menu->pollingConsole()->windowTitle(), QStringLiteral("БД"));
        a.menu->pollingConsole()->close();
        QString corrector;
        whenModal([&corrector] {
            QWidget* w = QApplication::activeModalWidget();
            corrector = w->windowTitle();
            w->close();
        });
        a.menu->openCorrectorWindow();
        EXPECT_EQ(corrector, QLatin1String(language) == QLatin1String("RU") ? QStringLiteral("КОРРЕКТОР")
                                                                            : QStringLiteral("КОРЕКТОР"));
    }
}

// The corrector window is the working window: closing it ends the program. Esc never does; its close
// button asks first while polling runs or the day's schedule waits, and ends the run only on yes.
TEST(MainWindow, TheCorrectorWindowIgnoresEscapeAndAsksBeforeEndingPolling) {
    const auto escapeThenClose = [](App& a, const std::function<void(corrector::TCorrect&)>& onClose) {
        whenModal([&a, onClose] {
            auto* w = qobject_cast<corrector::TCorrect*>(QApplication::activeModalWidget());
            ASSERT_NE(w, nullptr);
            QTest::keyClick(w, Qt::Key_Escape);
            QTest::keyClick(w->tabs(), Qt::Key_Escape);
            EXPECT_TRUE(w->isVisible());
            EXPECT_FALSE(a.ended);
            onClose(*w);
        });
        a.menu->openCorrectorWindow();
    };

    App idle;
    idle.start();
    escapeThenClose(idle, [](corrector::TCorrect& w) { w.close(); });
    EXPECT_TRUE(idle.ended);
    EXPECT_TRUE(idle.notifier.questions.isEmpty());

    App polling;
    polling.start();
    ASSERT_TRUE(polling.ctx.databaseOpen);
    polling::Group g;
    g.name = QStringLiteral("Котельні");
    g.schedule = {QStringLiteral("12:00-14:00-01:00")};
    ASSERT_TRUE(
        polling::saveGroup(polling.home.root(), {{}, {}, g}, kUkrainian, QDateTime::currentDateTime(), {})
            .error.isEmpty());
    ASSERT_NE(polling.menu->openPollingConsole(), nullptr);
    polling::PollingRun* run = polling.menu->pollingRun();
    run->setTimersRunning(false);
    polling.clock.setNow(QDateTime(QDate::currentDate(), QTime(12, 5)));
    run->reloadGroups();
    ASSERT_TRUE(run->startSchedule());
    escapeThenClose(polling, [&polling, run](corrector::TCorrect& w) {
        polling.notifier.answer = false;
        w.close();
        EXPECT_TRUE(w.isVisible());
        EXPECT_TRUE(run->running());
        ASSERT_EQ(polling.notifier.questions.size(), 1);
        EXPECT_TRUE(polling.notifier.questions[0].contains(QStringLiteral("зупинити опитування")));
        polling.notifier.answer = true;
        w.close();
    });
    EXPECT_TRUE(polling.ended);
    EXPECT_EQ(polling.notifier.questions.size(), 2);
    EXPECT_FALSE(run->running());
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
    lp.setWording(&corrector::correctorLinkWording());
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
