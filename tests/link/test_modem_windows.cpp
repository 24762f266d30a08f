// The manual dial window and the modem terminal window, offscreen on a fake line.
#include "common/TextFile.h"
#include "link/EngineRig.h"
#include "link/windows/TModC.h"
#include "link/windows/TfTesMod.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::link;

TEST(ModemWindows, TheDialWindowOffersTheBooksNumbersAndClosesOnceTheCallIsUp) {
    test::TempHome home;
    ASSERT_TRUE(writeTextLines(home.path(folder::Work, QStringLiteral("FlInPh.000")),
                               {QStringLiteral("//справочник телефонов"),
                                QStringLiteral("555 12 34 // котельня"), QStringLiteral("  // ")}));
    test::EngineRig rig;
    LinkSettings settings;
    ModemSession modem(rig.engine, rig.link, settings, kRussian);
    modem.initToDialMs = 5;
    TModC window(modem, home.root(), kRussian, rig.notifier);
    window.show();
    ASSERT_EQ(window.phones()->count(), 1);
    EXPECT_EQ(window.phones()->itemText(0), QStringLiteral("555 12 34 // котельня"));
    window.connectCall();
    ASSERT_TRUE(test::waitUntil([&] { return rig.port.writes.size() >= 2; }));
    rig.port.inject("\r\nBUSY\r\n");
    EXPECT_EQ(window.replyField()->text(), QStringLiteral("BUSY"));
    window.connectCall();
    ASSERT_TRUE(test::waitUntil([&] { return rig.port.writes.size() >= 4; }));
    rig.port.inject("\r\nCONNECT 9600\r\n");
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(modem.connected());
}

TEST(ModemWindows, TheTerminalSendsABookRowAndSavesTheBook) {
    test::TempHome home;
    test::EngineRig rig;
    ModemTerminal terminal(rig.engine, rig.link, kUkrainian);
    ASSERT_TRUE(terminal.open());
    ASSERT_TRUE(
        saveAtBook(home.root(), kUkrainian, {{QStringLiteral("AT &F"), QStringLiteral(" заводські")}}));
    TfTesMod window(terminal, home.root(), kUkrainian, rig.notifier);
    ASSERT_EQ(window.book()->rowCount(), 1);
    window.runRow(0);
    EXPECT_EQ(rig.port.writes.last(), QByteArray("AT&F\r"));
    EXPECT_FALSE(window.book()->isEnabled()); // one click, one command
    EXPECT_TRUE(window.sentPane()->toPlainText().contains(QStringLiteral("кіл.б-т =5 :: 41 54 26 46 0D")));
    EXPECT_TRUE(window.saveBook());
    EXPECT_EQ(rig.notifier.texts().last(), QStringLiteral("\"AT\" команди збережені"));
    EXPECT_EQ(readTextLines(atBookPath(home.root(), kUkrainian))->first(),
              QStringLiteral("//файл \"AT\" команд модему"));
}

// A command book that is there and cannot be read must not pass for an empty one: the window says so on
// opening and in its status line, in its language, and leaves the file as it is.
TEST(ModemWindows, TheTerminalTellsOfACommandBookItCannotRead) {
    test::TempHome home;
    test::EngineRig rig;
    ModemTerminal terminal(rig.engine, rig.link, kRussian);
    const QString path = atBookPath(home.root(), kRussian);
    ASSERT_TRUE(QDir().mkpath(path)); // something that is no readable book stands where the book should be
    {
        TfTesMod window(terminal, home.root(), kRussian, rig.notifier);
        EXPECT_EQ(window.book()->rowCount(), 0);
        ASSERT_EQ(rig.notifier.messages.size(), 1);
        EXPECT_EQ(rig.notifier.messages.first().first, MessageKind::Warning);
        const QString told = rig.notifier.messages.first().second;
        EXPECT_TRUE(told.startsWith(QStringLiteral("Файл \"AT\" команд ")));
        EXPECT_TRUE(told.contains(QDir::toNativeSeparators(path)));
        EXPECT_TRUE(told.endsWith(
            QStringLiteral("не удаётся прочитать: команды не показаны, файл оставлен как есть.")));
        EXPECT_FALSE(window.statusLine()->isHidden());
        EXPECT_EQ(window.statusLine()->text(), told);
    }
    EXPECT_TRUE(QFileInfo(path).isDir());
    EXPECT_EQ(
        unreadableAtBookText(kUkrainian, QStringLiteral("/w/uaFlATcom.000")),
        QStringLiteral("Файл \"AT\" команд /w/uaFlATcom.000 не вдається прочитати: команди не показано, файл "
                       "залишено як є."));

    // A missing book is no fault: it is made with its header, and the window has nothing to tell.
    rig.notifier.messages.clear();
    test::TempHome fresh;
    TfTesMod window(terminal, fresh.root(), kRussian, rig.notifier);
    EXPECT_TRUE(rig.notifier.messages.isEmpty());
    EXPECT_TRUE(window.statusLine()->isHidden());
    EXPECT_TRUE(QFileInfo(atBookPath(fresh.root(), kRussian)).isFile());
}
