#pragma once
// Command line of Tarn_B: "$d" (any case) or --duty opens the polling console with the day's schedule
// running and goes into duty mode (the windows in the tray); "$v" (any case) or --configurator goes into
// duty mode only; --home DIR names the data root; --database URL names a database on a PostgreSQL server
// for this run, over the setting Work/Database.000.
#include <QString>
#include <QStringList>
#include <optional>

namespace tarn::shell {

struct CommandLine {
    bool dispatcherStart = false;  // "$d": the console, the schedule started, duty mode
    bool startIntoPolling = false; // "$v": duty mode only
    QString home;
    std::optional<QString> database; // --database URL, as given (checked when the database opens)
};

// The first argument that is not --home or --database decides the switch, as the program looks at its first
// argument.
CommandLine parseCommandLine(const QStringList& arguments);

} // namespace tarn::shell
