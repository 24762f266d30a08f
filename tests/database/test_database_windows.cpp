// The configurator and the storing wait window, offscreen.
#include "database/windows/TConfigCor.h"
#include "database/windows/TStoreWait.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::database;

TEST(Configurator, NeedsALinkKindAndShowsThePhonePanelForThePhoneOnly) {
    test::RecordingNotifier notifier;
    Point p;
    p.serial = QStringLiteral("12345");
    p.model = QStringLiteral("ТАРН-2.01  ");
    p.config[config::Owner] = QStringLiteral("Облгаз");
    p.config[config::Gas] = QStringLiteral("природный");
    TConfigCor c(p, {QStringLiteral("природный"), QStringLiteral("азот")}, notifier);
    EXPECT_EQ(c.linkKind()->currentIndex(), -1);
    EXPECT_FALSE(c.save());
    EXPECT_EQ(notifier.texts(), QStringList{QStringLiteral("Не выбран \"Вид связи\"!!!")});
    EXPECT_NE(c.result(), QDialog::Accepted);

    c.linkKind()->setCurrentText(QStringLiteral("прямое соединение"));
    EXPECT_FALSE(c.phonePanel()->isVisibleTo(&c));
    c.linkKind()->setCurrentText(QStringLiteral("телефон"));
    EXPECT_EQ(c.linkKind()->currentText(), QStringLiteral("телефон"));
    EXPECT_TRUE(c.phonePanel()->isVisibleTo(&c));
    c.field(config::Owner)->setText(QString(40, QLatin1Char('W')));
    c.field(config::Phone)->setText(QStringLiteral("0441234567"));
    EXPECT_TRUE(c.save());
    const PointConfig saved = c.config();
    EXPECT_EQ(saved[config::Owner], QString(32, QLatin1Char('W')));
    EXPECT_EQ(saved[config::LinkKind], QStringLiteral("телефон"));
    EXPECT_EQ(saved[config::Phone], QStringLiteral("0441234567"));
    EXPECT_EQ(saved[config::Gas], QStringLiteral("природный"));
}

TEST(StoreWait, F10AsksAndStopsTheRun) {
    test::RecordingNotifier notifier;
    TStoreWait w(notifier);
    EXPECT_TRUE(w.progress(1, 10));
    QKeyEvent f10(QEvent::KeyPress, Qt::Key_F10, Qt::NoModifier);
    notifier.answer = false;
    QApplication::sendEvent(&w, &f10);
    EXPECT_TRUE(w.progress(2, 10));
    notifier.answer = true;
    QApplication::sendEvent(&w, &f10);
    EXPECT_EQ(notifier.questions, (QStringList{QStringLiteral("Запись БД остановить?"),
                                               QStringLiteral("Запись БД остановить?")}));
    EXPECT_FALSE(w.progress(3, 10));
    EXPECT_EQ(w.bar()->value(), 3);
}
