// The console's settings: loaded at the start and applied (the polling switches, the clock, tool tips, the
// alarm sound, the autostart entry), the settings window, and the heights of the left-hand panels.
#include "polling/windows/TfChargBD.h"

#include "polling/windows/AnalogClock.h"

#include <QAction>
#include <QCoreApplication>
#include <QLCDNumber>
#include <QSplitter>

namespace tarn::polling {

void TfChargBD::loadSettings() {
    settings_ = loadConsoleSettings(root_);
    applySettings(settings_);
    applyAutostart();
}

void TfChargBD::applyAutostart() {
    // The autostart entry follows a settings file that exists; without one the user's own entry stays.
    if (readTuningFile(root_) && !autostart_.apply(settings_.tuning.autorun, bool(packageHooks_.synchronise)))
        notifier_.message(MessageKind::Error, QStringLiteral("Ошибка записи файла ") + autostart_.path());
}

void TfChargBD::applySettings(const ConsoleSettings& settings) {
    const QString soundBefore = settings_.tuning.soundFile;
    settings_ = settings;
    const Tuning& t = settings.tuning;
    run_.tuning.alarmSignalling = t.alarm;
    run_.tuning.sound = t.sound;
    run_.tuning.additionalRecordCheck = t.extraRecordCheck;
    clock_->setVisible(!t.analogClock);
    analogClock_->setVisible(t.analogClock);
    toolTips_.setEnabled(t.toolTips);
    // A standing alarm follows the new choice: silenced, or heard with the file now chosen.
    if (alarmOn_ && (!t.alarm || !t.sound))
        sound_->stop();
    else if (alarmOn_ && soundBefore != t.soundFile)
        sound_->play(root_.file(folder::Sound, t.soundFile));
}

TfTuning* TfChargBD::openSettings() {
    if (refuseWhileRunning()) return nullptr;
    if (tuning_ && tuning_->isVisible()) {
        tuning_->raise();
        return tuning_;
    }
    tuning_ = new TfTuning(root_, notifier_, *sound_, bool(packageHooks_.synchronise), autostart_, this);
    tuning_->setAttribute(Qt::WA_DeleteOnClose);
    connect(tuning_, &TfTuning::settingsSaved, this, [this](const ConsoleSettings& s, bool cycleSaved) {
        applySettings(s);
        if (cycleSaved) emit cycleSettingsSaved();
    });
    connect(tuning_, &TfTuning::panelSizesReset, this, [this] {
        applyPanelSizes(PanelSizes{});
        emit panelSizesReset();
    });
    tuning_->open();
    return tuning_;
}

void TfChargBD::applyPanelSizes(const PanelSizes& sizes) {
    QList<int> heights = leftPanels_->sizes();
    if (heights.size() < 3) return;
    heights[0] = sizes.pointList;
    heights[2] = sizes.messages;
    leftPanels_->setSizes(heights);
}

PanelSizes TfChargBD::panelSizes() const {
    PanelSizes sizes;
    const QList<int> heights = leftPanels_->sizes();
    if (heights.size() < 3) return sizes;
    sizes.pointList = heights.at(0);
    sizes.messages = heights.at(2);
    return sizes;
}

void TfChargBD::setSoundOutput(std::unique_ptr<SoundOutput> output) {
    sound_->stop();
    sound_ = std::make_unique<AlarmSound>(std::move(output), notifier_);
}

} // namespace tarn::polling
