#pragma once
// The polling console's settings files, read and written in one place: Work\Tuning.000 (fourteen lines),
// Current\Delim.000 (the CSV delimiter of every CSV output) and Current\track.000 (panel heights).
// Storing, polling, the reports and the console all read them through here.
#include "common/DataRoot.h"

#include <QChar>
#include <array>
#include <optional>

namespace tarn {

// Work\Tuning.000, in its line order. The defaults are what a missing file means.
struct Tuning {
    QString soundFile = QStringLiteral("Alarm1.wav"); // line 1: the alarm's file in Sound\ .
    bool toolTips = true;                              // 2
    bool alarm = true;                                 // 3: red lines raise the alarm
    bool sound = true;                                 // 4: the alarm is heard
    bool autorun = false;                              // 5: the program starts with the session
    bool analogClock = false;                          // 6
    bool rebuildAtStart = false;                       // 7: the rebuild tool runs at the database start-up
    bool csv = false;                                  // 8: storing writes CSV copies
    // 9..13: hourly, daily, monthly, operative, instantaneous measurement.
    std::array<bool, 5> csvKinds{};
    bool extraRecordCheck = false; // 14: the last record is checked even when the numbers agree

    bool operator==(const Tuning&) const = default;
};
inline constexpr int kTuningLines = 14;

QString tuningPath(const DataRoot& root);
// The file as it stands (defaults when it is missing or unreadable). Each line has its double spaces
// collapsed and then every space removed; a switch is on only for "1".
Tuning loadTuning(const DataRoot& root);
// Nothing when the file is missing: the autostart entry is then left as the user made it.
std::optional<Tuning> readTuningFile(const DataRoot& root);
QStringList tuningLines(const Tuning& tuning);
bool saveTuning(const DataRoot& root, const Tuning& tuning);

// Current\Delim.000: the first character of the first line once its spaces are gone; "," when the file
// is missing or that line is empty, and "," too for a character no CSV file can use.
QString delimiterPath(const DataRoot& root);
QChar loadDelimiter(const DataRoot& root);
// The delimiter an edit field gives: its first non-blank character, or nothing for a blank field.
std::optional<QChar> delimiterOfText(const QString& text);
bool saveDelimiter(const DataRoot& root, QChar delimiter);

// Current\track.000: the heights of the console's point-list panel, of its message panel and of the
// database window's upper panel.
struct PanelSizes {
    int pointList = 220;
    int messages = 250;
    int databaseUpper = 250;

    bool operator==(const PanelSizes&) const = default;
};
QString panelSizesPath(const DataRoot& root);
// The defaults where the file is missing or a line is no positive number.
PanelSizes loadPanelSizes(const DataRoot& root);
bool savePanelSizes(const DataRoot& root, const PanelSizes& sizes);
// "Установка размера полей по умолчанию": the file goes, the defaults apply. False when it would not go.
bool resetPanelSizes(const DataRoot& root);

} // namespace tarn
