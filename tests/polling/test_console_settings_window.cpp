// The console's settings window on the real widgets, offscreen: which panels the switches open, the keys
// of its check boxes, saving, the refused refresh minutes; and the console obeying what was saved (the
// alarm sound in a loop until "Отключение звука", the clock, the countdown's restart, the panel heights).
#include "polling/windows/TfChargBD.h"
#include "polling/windows/TfTuning.h"
#include "link/FakeSerialPort.h"
#include "shell/AppContext.h"
#include "shell/Installation.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLCDNumber>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::polling;

namespace {

class FakeSound final : public SoundOutput {
public:
    bool device = true;
    QStringList played;
    bool on = false;
    bool deviceAvailable() const override { return device; }
    void playLoop(const QString& path) override {
        played.append(path);
        on = true;
    }
    void stop() override { on = false; }
    bool playing() const override { return on; }
};

struct Rig {
    test::TempHome home;
    QTemporaryDir config;
    test::RecordingNotifier notifier;
    FakeSound* sound = new FakeSound;
    AlarmSound alarm{std::unique_ptr<SoundOutput>(sound), notifier};
    AutostartEntry autostart{config.path() + QStringLiteral("/autostart"), QStringLiteral("/opt/tarn/Tarn_B"),
                             home.root().root()};
    Rig() { shell::initInstallation(home.root()); }
    std::unique_ptr<TfTuning> window(bool synchronisedCopy = false) {
        auto w = std::make_unique<TfTuning>(home.root(), notifier, alarm, synchronisedCopy, autostart);
        w->show();
        return w;
    }
    QStringList tuningLines() const {
        QStringList lines = QString::fromLatin1(home.read(folder::Work, QStringLiteral("Tuning.000")))
                                .split(QStringLiteral("\r\n"));
        if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
        return lines;
    }
};

void press(QWidget* target, int key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

} // namespace

TEST(ConsoleSettingsWindow, TheSwitchesOpenTheirPanels) {
    Rig rig;
    auto w = rig.window();
    using B = TfTuning::Box;
    EXPECT_EQ(w->soundList()->count(), 10);
    EXPECT_EQ(w->soundList()->currentItem()->text(), QStringLiteral("Alarm1.wav"));
    EXPECT_TRUE(w->soundPanel()->isEnabled());
    w->box(B::Alarm)->setChecked(false);
    EXPECT_FALSE(w->soundPanel()->isEnabled());
    EXPECT_FALSE(w->box(B::Sound)->isEnabled());
    EXPECT_FALSE(w->playButton()->isEnabled());
    EXPECT_FALSE(w->csvPanel()->isEnabled());
    w->box(B::Csv)->setChecked(true);
    EXPECT_TRUE(w->csvPanel()->isEnabled());
    EXPECT_TRUE(w->delimiterEdit()->isEnabled());
    EXPECT_FALSE(w->cyclePanel()->isVisible()); // not a synchronised copy

    auto copy = rig.window(true);
    EXPECT_TRUE(copy->cyclePanel()->isVisible());
    EXPECT_FALSE(copy->cycleFields()->isVisible());
    copy->box(B::ViewerCycle)->setChecked(true);
    EXPECT_TRUE(copy->cycleFields()->isVisible());
    EXPECT_EQ(copy->startMinutesEdit()->value(), 30);
    EXPECT_EQ(copy->waitMinutesEdit()->value(), 25);
}

TEST(ConsoleSettingsWindow, EnterInABoxClosesUnsavedEscSavesTheGeneralSettingsOnly) {
    Rig rig;
    using B = TfTuning::Box;
    auto w = rig.window(true);
    w->box(B::AnalogClock)->setChecked(true);
    press(w->box(B::AnalogClock), Qt::Key_Return);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->result(), QDialog::Rejected);
    EXPECT_FALSE(rig.home.exists(folder::Work, QStringLiteral("Tuning.000")));

    w = rig.window(true);
    w->box(B::AnalogClock)->setChecked(true);
    w->box(B::Csv)->setChecked(true);
    w->delimiterEdit()->setText(QStringLiteral(";"));
    w->box(B::ViewerCycle)->setChecked(true);
    press(w->box(B::Csv), Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(rig.tuningLines(), (QStringList{"Alarm1.wav", "1", "1", "1", "0", "1", "0", "1", "0", "0", "0", "0",
                                              "0", "0"}));
    EXPECT_FALSE(rig.home.exists(folder::Current, QStringLiteral("Delim.000")));
    EXPECT_FALSE(rig.home.exists(folder::Synchr, QStringLiteral("Inst.000")));
}

TEST(ConsoleSettingsWindow, SaveWritesEveryLineAndTheWindowShowsThemAgain) {
    Rig rig;
    using B = TfTuning::Box;
    auto w = rig.window();
    w->soundList()->setCurrentRow(9);
    for (B b : {B::ToolTips, B::Alarm, B::Sound})
        w->box(b)->setChecked(false);
    for (B b : {B::Autorun, B::AnalogClock, B::Rebuild, B::Csv, B::CsvHourly, B::CsvDaily, B::CsvMonthly,
                B::CsvOperative, B::CsvMeasurement, B::ExtraRecordCheck})
        w->box(b)->setChecked(true);
    w->delimiterEdit()->setText(QStringLiteral(" ; "));
    w->saveButton()->click();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(rig.tuningLines(), (QStringList{"Alarm10.wav", "0", "0", "0", "1", "1", "1", "1", "1", "1", "1", "1",
                                              "1", "1"}));
    EXPECT_EQ(rig.home.read(folder::Current, QStringLiteral("Delim.000")), QByteArray(";\r\n"));
    EXPECT_TRUE(rig.autostart.present());

    auto again = rig.window();
    EXPECT_EQ(again->soundList()->currentItem()->text(), QStringLiteral("Alarm10.wav"));
    EXPECT_FALSE(again->box(B::Alarm)->isChecked());
    EXPECT_TRUE(again->box(B::CsvMeasurement)->isChecked());
    EXPECT_EQ(again->delimiterEdit()->text(), QStringLiteral(";"));
    // A quote cannot separate CSV fields: refused, the window stays.
    again->delimiterEdit()->setText(QStringLiteral("\""));
    again->saveButton()->click();
    EXPECT_TRUE(again->isVisible());
    EXPECT_EQ(rig.notifier.messages.size(), 1);
}

TEST(ConsoleSettingsWindow, EqualRefreshMinutesAreRefusedAndNothingIsWritten) {
    Rig rig;
    rig.home.write(folder::Synchr, QStringLiteral("Inst.000"), "1\r\n40\r\n20\r\n");
    auto w = rig.window(true);
    w->startMinutesEdit()->setValue(30);
    w->waitMinutesEdit()->setValue(30);
    w->box(TfTuning::Box::AnalogClock)->setChecked(true);
    w->saveButton()->click();
    EXPECT_TRUE(w->isVisible());
    ASSERT_EQ(rig.notifier.messages.size(), 1);
    EXPECT_EQ(rig.notifier.messages.first().first, MessageKind::Error);
    EXPECT_EQ(rig.notifier.messages.first().second,
              QStringLiteral("Внимание!!! время до-\"Wait.000\" должно быть меньше времени до-\"Start.000\""));
    EXPECT_EQ(rig.home.read(folder::Synchr, QStringLiteral("Inst.000")), QByteArray("1\r\n40\r\n20\r\n"));
    EXPECT_FALSE(rig.home.exists(folder::Work, QStringLiteral("Tuning.000")));
}

TEST(ConsoleSettingsWindow, TheSoundTestPlaysTheChosenFileInALoopOnlyWithSoundTicked) {
    Rig rig;
    auto w = rig.window();
    w->soundList()->setCurrentRow(2);
    w->playButton()->click();
    EXPECT_EQ(rig.sound->played, QStringList{rig.home.path(folder::Sound, QStringLiteral("Alarm3.wav"))});
    EXPECT_TRUE(rig.sound->playing());
    w->stopButton()->click();
    EXPECT_FALSE(rig.sound->playing());
    w->box(TfTuning::Box::Sound)->setChecked(false);
    w->playButton()->click();
    EXPECT_EQ(rig.sound->played.size(), 1);
}

namespace {

// The console over a run on a fake port, hearing its alarm through a FakeSound.
struct ConsoleRig {
    test::TempHome home;
    QTemporaryDir config;
    test::RecordingNotifier notifier;
    shell::AppContext ctx{home.root(), notifier, std::make_unique<link::FakeSerialPort>()};
    std::unique_ptr<PollingRun> run;
    std::unique_ptr<TfChargBD> console;
    FakeSound* sound = new FakeSound;

    ConsoleRig() {
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        shell::initInstallation(home.root());
        ctx.schemas = database::loadSchemas(home.root());
        run = std::make_unique<PollingRun>(ctx.pollingParts(), kRussian);
    }
    ~ConsoleRig() { qunsetenv("XDG_CONFIG_HOME"); }
    void open() {
        console = std::make_unique<TfChargBD>(*run, home.root(), notifier, kRussian);
        console->setSoundOutput(std::unique_ptr<SoundOutput>(sound));
    }
};

} // namespace

TEST(ConsoleSettingsWindow, TheConsoleLoopsTheChosenSoundUntilSilencedAndSaysOnceWhenItCannot) {
    ConsoleRig rig;
    rig.home.write(folder::Work, QStringLiteral("Tuning.000"),
                   "Alarm4.wav\r\n1\r\n1\r\n1\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n");
    rig.open();
    emit rig.run->alarm();
    emit rig.run->alarm();
    const QString alarm4 = rig.home.path(folder::Sound, QStringLiteral("Alarm4.wav"));
    EXPECT_EQ(rig.sound->played, QStringList{alarm4}); // one loop, not restarted by the second red line
    EXPECT_TRUE(rig.sound->playing());
    rig.console->soundOffAction()->trigger();
    EXPECT_FALSE(rig.sound->playing());
    EXPECT_FALSE(rig.console->alarmOn());

    // No audio output: silent, and said once in the whole run.
    rig.sound->device = false;
    emit rig.run->alarm();
    rig.console->silenceAlarm();
    emit rig.run->alarm();
    EXPECT_EQ(rig.sound->played.size(), 1);
    EXPECT_EQ(rig.notifier.texts().filter(QStringLiteral("Нет устройства вывода звука")).size(), 1);
}

TEST(ConsoleSettingsWindow, WhatTheWindowSavesTheConsoleObeysAtOnce) {
    ConsoleRig rig;
    rig.open();
    int cycleRestarts = 0;
    int panelResets = 0;
    QObject::connect(rig.console.get(), &TfChargBD::cycleSettingsSaved, [&] { ++cycleRestarts; });
    QObject::connect(rig.console.get(), &TfChargBD::panelSizesReset, [&] { ++panelResets; });
    rig.console->show();
    EXPECT_TRUE(rig.console->clock()->isVisible());
    EXPECT_FALSE(rig.console->analogClock()->isVisible());
    EXPECT_TRUE(rig.console->toolTipGate().enabled());

    TfTuning* w = rig.console->openSettings();
    ASSERT_NE(w, nullptr);
    using B = TfTuning::Box;
    w->box(B::AnalogClock)->setChecked(true);
    w->box(B::ToolTips)->setChecked(false);
    w->box(B::Sound)->setChecked(false);
    w->box(B::ExtraRecordCheck)->setChecked(true);
    w->saveButton()->click();
    EXPECT_TRUE(rig.console->analogClock()->isVisible());
    EXPECT_FALSE(rig.console->clock()->isVisible());
    EXPECT_FALSE(rig.console->toolTipGate().enabled());
    EXPECT_TRUE(rig.run->tuning.additionalRecordCheck);
    EXPECT_FALSE(rig.run->tuning.sound);
    emit rig.run->alarm();
    EXPECT_TRUE(rig.sound->played.isEmpty()); // "звук" off: the indicator blinks, nothing is heard
    EXPECT_TRUE(rig.console->alarmOn());
    EXPECT_EQ(cycleRestarts, 0); // not a synchronised copy

    // A synchronised copy: saving valid minutes starts the countdown again.
    TfChargBD::PackageHooks hooks;
    hooks.synchronise = [] {};
    rig.console->setPackageHooks(hooks);
    rig.console->silenceAlarm();
    w = rig.console->openSettings();
    ASSERT_NE(w, nullptr);
    w->startMinutesEdit()->setValue(20);
    w->waitMinutesEdit()->setValue(10);
    w->saveButton()->click();
    EXPECT_EQ(cycleRestarts, 1);
    EXPECT_EQ(loadViewerCycleSettings(rig.home.root()).waitMinutes, 10);

    // "Установка размера полей по умолчанию": asked, then the file goes.
    rig.home.write(folder::Current, QStringLiteral("track.000"), "300\r\n100\r\n100\r\n");
    w = rig.console->openSettings();
    rig.notifier.answer = true;
    w->defaultSizesButton()->click();
    EXPECT_TRUE(rig.notifier.questions.contains(QStringLiteral("Установить размеры полей по умолчанию?")));
    EXPECT_FALSE(rig.home.exists(folder::Current, QStringLiteral("track.000")));
    EXPECT_EQ(panelResets, 1);
    w->close();
}
