#include "common/Language.h"
#include "link/windows/TDebug_RS.h"
#include "support/TestSupport.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::link;

namespace {
QCheckBox* box(QWidget& w, const QString& text, int nth = 0) {
    int i = 0;
    for (auto* b : w.findChildren<QCheckBox*>())
        if (b->text() == text && i++ == nth) return b;
    return nullptr;
}
} // namespace

TEST(DebugWindow, ShowsTheLogAndEditsItsOptions) {
    LinkLog log;
    TDebug_RS window(log);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("ОТЛАДЧИК RS-232"));
    EXPECT_TRUE(window.sendPane()->toPlainText().isEmpty());
    // Nothing is logged while the debugger box is off: the panes stay empty.
    log.logSent(test::hex("02 00 20 DD"));
    EXPECT_TRUE(window.sendPane()->toPlainText().isEmpty());

    log.enabled = true;
    log.setLanguage(kRussian);
    log.logSent(test::hex("02 00 20 DD"));
    EXPECT_EQ(window.sendPane()->toPlainText(), QStringLiteral("кол.б-т=4 :: \n02 00 20 DD "));

    // The send row's "СИМ" (second box of that caption) and the shared "Ф".
    QCheckBox* sendChars = box(window, QStringLiteral("СИМ"), 0);
    ASSERT_TRUE(sendChars);
    EXPECT_FALSE(sendChars->isChecked());
    EXPECT_TRUE(box(window, QStringLiteral("СИМ"), 1)->isChecked());
    box(window, QStringLiteral("Ф"))->setChecked(false);
    EXPECT_FALSE(log.options.formatted);
    sendChars->setChecked(true);
    EXPECT_TRUE(log.options.send.chars);
    log.logSent(QByteArray("AT\r"));
    EXPECT_TRUE(window.sendPane()->toPlainText().endsWith(QStringLiteral("41 54 0D \nAT")));

    // A bytes-per-line text that is no number does not stop the logging.
    auto* field = window.findChild<QLineEdit*>();
    ASSERT_TRUE(field);
    field->setText(QStringLiteral("x"));
    EXPECT_EQ(log.options.bytesPerLine, QStringLiteral("x"));
    box(window, QStringLiteral("Ф"))->setChecked(true);
    log.logReceived(QByteArray(40, 'a'));
    EXPECT_EQ(log.receivePane().size(), 3); // header and two lines of 32 and 8

    window.ClearScreensClick();
    EXPECT_TRUE(window.sendPane()->toPlainText().isEmpty());
    EXPECT_TRUE(window.receivePane()->toPlainText().isEmpty());
    EXPECT_TRUE(log.sendPane().isEmpty());
}
