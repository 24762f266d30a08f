#pragma once
// The console's settings window ("Настройка..."): alarm and sound, tool tips, autostart, the clock, the
// start-up rebuild, the CSV copies of storing with their delimiter, the extra last-record check, the panel
// sizes, and for a synchronised copy the refresh cycle. It edits a ConsoleSettings and saves it through
// saveConsoleSettings, as tarn-cli console settings does.
#include "common/DataRoot.h"
#include "common/Notifier.h"
#include "polling/ConsoleSettings.h"
#include "polling/windows/AlarmSound.h"

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace tarn::polling {

class TfTuning final : public QDialog {
    Q_OBJECT
public:
    TfTuning(const DataRoot& root, Notifier& notifier, AlarmSound& sound, bool synchronisedCopy,
             AutostartEntry autostart, QWidget* parent = nullptr);

    enum class Box {
        ToolTips,
        Alarm,
        Sound,
        Autorun,
        AnalogClock,
        Rebuild,
        Csv,
        CsvHourly,
        CsvDaily,
        CsvMonthly,
        CsvOperative,
        CsvMeasurement,
        ExtraRecordCheck,
        ViewerCycle,
    };
    QCheckBox* box(Box b) const;
    QListWidget* soundList() const { return soundList_; }
    QGroupBox* soundPanel() const { return soundPanel_; }
    QGroupBox* csvPanel() const { return csvPanel_; }
    QLineEdit* delimiterEdit() const { return delimiter_; }
    QWidget* cyclePanel() const { return cyclePanel_; }
    QWidget* cycleFields() const { return cycleFields_; }
    QSpinBox* startMinutesEdit() const { return startMinutes_; }
    QSpinBox* waitMinutesEdit() const { return waitMinutes_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* exitButton() const { return exit_; }
    QPushButton* playButton() const { return play_; }
    QPushButton* stopButton() const { return stop_; }
    QPushButton* defaultSizesButton() const { return defaultSizes_; }

    // What the controls say now.
    ConsoleSettings wanted() const;
    // "Сохранить": false, with the window left open, when the values are refused or cannot be written.
    bool save();
    // Esc in a check box: the general settings only, then the window closes.
    bool saveGeneral();
    // "Установка размера полей по умолчанию", after the question.
    bool defaultPanelSizes();

signals:
    void settingsSaved(const tarn::polling::ConsoleSettings& settings, bool cycleSaved);
    void panelSizesReset();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool store(SaveScope scope);
    void showEnabling();

    DataRoot root_;
    Notifier& notifier_;
    AlarmSound& sound_;
    bool synchronisedCopy_;
    AutostartEntry autostart_;
    ConsoleSettings loaded_;

    QCheckBox* boxes_[14]{};
    QListWidget* soundList_;
    QGroupBox* soundPanel_;
    QGroupBox* csvPanel_;
    QLineEdit* delimiter_;
    QWidget* cyclePanel_;
    QWidget* cycleFields_;
    QSpinBox* startMinutes_;
    QSpinBox* waitMinutes_;
    QPushButton* play_;
    QPushButton* stop_;
    QPushButton* defaultSizes_;
    QPushButton* save_;
    QPushButton* exit_;
};

} // namespace tarn::polling
