#pragma once
// Command line of Tarn_B: "$d" (any case) or --duty opens the polling console with the day's schedule
// running and goes into duty mode (the windows in the tray); "$v" (any case) or --configurator goes into
// duty mode only; --home DIR names the data root.
#include <QString>
#include <QStringList>

namespace tarn::shell {

struct CommandLine {
    bool dispatcherStart = false;  // "$d": the console, the schedule started, duty mode
    bool startIntoPolling = false; // "$v": duty mode only
    QString home;
};

// The first argument that is not --home decides the switch, as the program looks at its first argument.
CommandLine parseCommandLine(const QStringList& arguments);

} // namespace tarn::shell
