#pragma once
// Command line of Tarn_B: "$d" (any case) or --duty starts scheduled polling in duty mode, "$v" (any case)
// or --configurator starts hidden into the group configurator; --home DIR names the data root.
#include <QString>
#include <QStringList>

namespace tarn::shell {

struct CommandLine {
    bool dispatcherStart = false;  // "$d"
    bool startIntoPolling = false; // "$v"
    QString home;
};

// The first argument that is not --home decides the switch, as the program looks at its first argument.
CommandLine parseCommandLine(const QStringList& arguments);

} // namespace tarn::shell
