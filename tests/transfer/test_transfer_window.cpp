// The transfer unit's window: the zones of the last read on opening, a read from the menu, a zone button
// that loads its copy into the corrector window and has it stored, and the test with its question.
#include "Dtu16Role.h"
#include "SimLine.h"
#include "common/Language.h"
#include "corrector/CorrectorFiles.h"
#include "link/FakeSerialPort.h"
#include "support/TestSupport.h"
#include "transfer/windows/TDtu_8_16.h"

#include <QAction>
#include <QGroupBox>
#include <QJsonDocument>
#include <QLineEdit>
#include <QPushButton>
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
    link::ExchangeEngine engine{linkPort, notifier};
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
