#pragma once
// Everything the console's settings window edits, loaded, checked, saved and applied in one place: the
// general settings (Work\Tuning.000), the CSV delimiter (Current\Delim.000), and for a synchronised copy
// the refresh cycle (Synchr\Inst.000). The window and tarn-cli console settings both go through here, so
// they refuse the same values with the same words.
#include "common/DataRoot.h"
#include "common/TuningFiles.h"
#include "polling/ViewerCycle.h"

#include <QProcessEnvironment>
#include <optional>

namespace tarn::polling {

// The session's autostart folder: $XDG_CONFIG_HOME/autostart, else ~/.config/autostart.
QString autostartFolder(const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());

// "автозапуск программы" on Linux: the XDG autostart entry Tarn_B.desktop, whose command starts the
// program with "$d" (straight into scheduled polling, on duty) or, for a synchronised copy, "$v", on the
// same installation (--home).
class AutostartEntry {
public:
    AutostartEntry(QString folder, QString programPath, QString dataRoot);
    QString path() const;
    bool present() const;
    // The command line the entry carries, quoted as desktop entries quote it.
    QString execLine(bool synchronisedCopy) const;
    // On: the entry is written unless it is there with this very command; off: an entry there is removed.
    // False when the folder or the file could not be written or removed.
    bool apply(bool on, bool synchronisedCopy) const;

private:
    QString folder_;
    QString program_;
    QString root_;
};

// What the console's settings (Work\Tuning.000) say about polling; the defaults when the file is missing.
struct PollingTuning {
    bool alarmSignalling = true;        // line 3: red lines start the alarm
    bool sound = true;                  // line 4: the alarm is heard
    bool checkTablesAtStart = false;    // line 7: check and repair the tables before the database starts
    bool additionalRecordCheck = false; // line 14: check the last record even when the numbers agree
};
PollingTuning readPollingTuning(const DataRoot& root);

struct ConsoleSettings {
    Tuning tuning;
    QChar delimiter = QLatin1Char(',');
    ViewerCycleSettings cycle;
};
ConsoleSettings loadConsoleSettings(const DataRoot& root);

// The "Сохранить" of the window (All) or Esc in its check boxes (General: the general settings only).
enum class SaveScope { General, All };

struct SaveOutcome {
    // Set when nothing could be saved or applied; the window stays open and shows it.
    std::optional<QString> error;
    bool delimiterWritten = false;
    // The refresh cycle was written: the console starts its countdown again.
    bool cycleSaved = false;
};

// Checks first (a synchronised copy's minutes; nothing is written when they will not do), then writes
// Current\Delim.000 when the delimiter changed, Work\Tuning.000 with all its lines, applies the autostart
// rule, and writes Synchr\Inst.000 for a synchronised copy.
SaveOutcome saveConsoleSettings(const DataRoot& root, const ConsoleSettings& before,
                                const ConsoleSettings& wanted, SaveScope scope, bool synchronisedCopy,
                                const AutostartEntry& autostart);

// The settings by name, as tarn-cli shows and sets them: soundFile, tooltips, alarm, sound, autorun,
// analogClock, rebuildAtStart, csv, csvHourly, csvDaily, csvMonthly, csvOperative, csvMeasurement,
// extraRecordCheck, delimiter, and for a synchronised copy viewerCycle, startMinutes, waitMinutes.
QStringList consoleSettingKeys(bool synchronisedCopy);
QString consoleSettingValue(const ConsoleSettings& settings, const QString& key);
// Sets one value (switches "1" or "0"); the refusal when the key or the value will not do. The sound file
// must be one of Sound\ .
std::optional<QString> setConsoleSetting(const DataRoot& root, ConsoleSettings& settings, const QString& key,
                                         const QString& value, bool synchronisedCopy);

// The alarm sounds an installation offers: the ".wav" files of Sound\, "Alarm1.wav" … "Alarm10.wav" in
// their numeric order first.
QStringList soundFiles(const DataRoot& root);

} // namespace tarn::polling
