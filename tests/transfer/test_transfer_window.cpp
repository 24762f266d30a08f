// The transfer unit's window: the zones of the last read on opening, a read from the menu, a zone button
// that loads its copy into the corrector window and has it stored, and the test with its question; the
// LPT unit's read and test windows.
#include "Dtu16Role.h"
#include "LptUnit.h"
#include "SimLine.h"
#include "common/Language.h"
#include "corrector/CorrectorFiles.h"
#include "corrector/CorrectorWindowModel.h"
#include "support/DetachedCorrector.h"
#include "link/FakeSerialPort.h"
#include "support/TestSupport.h"
#include "transfer/windows/TDtu_8_16.h"
#include "transfer/windows/TFlash.h"
#include "transfer/windows/TZag_Lpt.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::transfer;

namespace {

const char* kUnit = R"({"role": "dtu16", "zones": [{"status": 0}, {"status": 3, "corrector": {"serial": 77,
    "identification": "T Tarn-sim T47a", "archive": {"start": "01.03.2024 00:00", "hours": 5, "flow": 2}}},
    {"status": 0}], "faults": {"silence": 0}})";

} // namespace

TEST(TransferUnitWindow, ReadsFromTheMenuLoadsAZoneAndStoresIt) {
    test::TempHome home;
    home.root().createFolders();
    link::FakeSerialPort port;
    port.existing = {QStringLiteral("/dev/ttyS0")};
    test::RecordingNotifier notifier;
    link::LinkPort linkPort{port, notifier};
    SystemClock clock;
    link::ExchangeEngine engine{linkPort, notifier, clock};
    sim::InProcessLine line{port};
    QString error;
    line.addRole(sim::Dtu16Role::fromJson(QJsonDocument::fromJson(kUnit).object(), error));
    UnitTimings timings;
    timings.replyTimeoutMs = 30;
    timings.dtrPauseMs = 0;
    TransferUnitSession session(engine, linkPort, home.root(), notifier, kRussian, timings);
    corrector::DetachedCorrector detached(notifier, kRussian);
    QList<int> stored;
    TDtu_8_16::Options options;
    options.root = home.root();
    options.language = kRussian;
    TDtu_8_16 window(session, detached.model(), notifier, options,
                     [&](const QList<int>& kinds) { stored = kinds; });
    EXPECT_FALSE(window.zoneButton(2)->isEnabled());

    // Zone 1 is empty: the read starting there finds no data.
    window.readAction()->trigger();
    ASSERT_TRUE(test::waitUntil([&] { return !session.busy(); }));
    EXPECT_EQ(notifier.texts().last(), QStringLiteral("Нет данных"));
    EXPECT_EQ(window.zoneText(2)->text(), QStringLiteral("Нормальная запись"));

    window.firstZoneBox()->setValue(2);
    window.readAction()->trigger();
    ASSERT_TRUE(test::waitUntil([&] { return !session.busy(); }, 20000));
    EXPECT_EQ(window.zoneText(2)->text().left(7), QStringLiteral("N 00077"));
    ASSERT_TRUE(window.zoneButton(2)->isEnabled());
    EXPECT_FALSE(window.errorGroup()->isVisibleTo(&window));

    window.zoneButton(2)->click();
    EXPECT_EQ(stored.size(), 7);
    EXPECT_TRUE(detached.model().hasSerial());
    ASSERT_TRUE(test::waitUntil([&] { return window.result() == QDialog::Accepted; }));

    // The test is asked about first; "no" sends nothing.
    const qsizetype sent = port.writes.size();
    notifier.answer = false;
    window.testAction()->trigger();
    EXPECT_EQ(notifier.questions.last(), QStringLiteral("Тест ДТУ запустить?"));
    test::runPending();
    EXPECT_EQ(port.writes.size(), sent);
}

TEST(TransferUnitWindow, TheLptReadRunsByItselfAndF10StopsIt) {
    test::RecordingNotifier notifier;
    sim::CorrectorMemory memory;
    QString error;
    ASSERT_TRUE(memory.load(
        QJsonDocument::fromJson(R"({"serial": 12, "identification": "T Tarn-sim T47a"})").object(), error));
    sim::LptUnit unit(memory);
    LptBus bus(unit, 0, {});
    corrector::DetachedCorrector detached(notifier, kRussian);
    TZag_Lpt read(bus, detached.model(), notifier, kRussian, true);
    read.start();
    ASSERT_TRUE(test::waitUntil([&] { return read.result() == QDialog::Accepted; }, 20000));
    EXPECT_TRUE(read.complete());
    EXPECT_EQ(read.gauge()->value(), kLptImageBytes);

    TZag_Lpt stopped(bus, detached.model(), notifier, kRussian, false);
    stopped.start();
    QKeyEvent f10(QEvent::KeyPress, Qt::Key_F10, Qt::NoModifier);
    QApplication::sendEvent(&stopped, &f10);
    test::runPending();
    EXPECT_EQ(stopped.result(), QDialog::Rejected);
    EXPECT_FALSE(stopped.complete());
}

TEST(TransferUnitWindow, TheLptTestTellsWhyItEndedAndStopsOnASecondPress) {
    test::RecordingNotifier notifier;
    sim::LptUnit unit;
    unit.writeCycleMs = 0; // the pause itself is the logic's, tested with the unit's own clock
    LptBus bus(unit, 0, {});
    TFlash window(bus, notifier, kRussian);
    unit.deadChip = 3;
    window.startOrStop();
    EXPECT_FALSE(window.running());
    EXPECT_EQ(notifier.texts().last(), QStringLiteral("\"ДТУ-1 ошибка записи!!!\" строка: 2044"));

    unit.deadChip = -1;
    window.pauseBox()->setValue(1);
    window.patternChoice(LptPattern::Ones)->setChecked(true);
    window.startOrStop();
    ASSERT_TRUE(test::waitUntil([&] { return window.gauge()->value() >= 3; }));
    window.startOrStop();
    const int lines = window.gauge()->value();
    test::runPending();
    EXPECT_FALSE(window.running());
    EXPECT_EQ(window.gauge()->value(), lines);
    EXPECT_EQ(unit.imageByte(0), 0xFF);
}
