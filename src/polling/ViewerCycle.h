#pragma once
// The refresh of a synchronised copy: a countdown that writes the marker files Synchr\Wait.000 and
// Synchr\Start.000 for the master installation, then hands over to the folder synchronisation, after
// which the database start-up begins the next cycle. Driven one second at a time by tick(), so the
// console's timer and the tests share it.
#include "common/DataRoot.h"
#include "common/Notifier.h"

#include <functional>
#include <optional>

namespace tarn::polling {

// Synchr\Inst.000: on or off, minutes until the Start marker, minutes until the Wait marker.
struct ViewerCycleSettings {
    bool on = false;
    int startMinutes = 30;
    int waitMinutes = 25;
};
ViewerCycleSettings loadViewerCycleSettings(const DataRoot& root);
// The refusal of the settings window, or nothing when the minutes will do.
std::optional<QString> viewerCycleSettingsError(const ViewerCycleSettings& settings);
bool saveViewerCycleSettings(const DataRoot& root, const ViewerCycleSettings& settings);

class ViewerCycle {
public:
    ViewerCycle(DataRoot root, Notifier& notifier);

    // A cycle begins (after the database start-up, the synchronisation window, or saved settings):
    // elapsedSeconds since the last synchronisation began, nothing when there was none. Both markers go.
    void start(const ViewerCycleSettings& settings, std::optional<qint64> elapsedSeconds);
    void setOn(bool on) { settings_.on = on; }
    // Nothing counts any more (a cycle begun while it is off).
    void stop() { running_ = false; }

    enum class Tick {
        Off,          // the cycle is off: the timer stops
        Counting,     // nothing to do this second
        WaitWritten,  // the Wait marker has just been written
        StartReached, // the Start marker is written: the synchronisation runs now
    };
    Tick tick();
    int waitLeft() const { return wait_; }
    int startLeft() const { return start_; }
    bool running() const { return running_; }
    // Whether the marker of the last WaitWritten or StartReached is on disk.
    bool lastMarkerWritten() const { return lastMarkerWritten_; }
    // A marker that could not be written, as a red line of the console's current messages.
    std::function<void(const QString& line)> consoleError;

private:
    bool writeMarker(const char* name, const char* text);

    DataRoot root_;
    Notifier& notifier_;
    ViewerCycleSettings settings_;
    int wait_ = 0;
    int start_ = 0;
    bool running_ = false;
    bool lastMarkerWritten_ = false;
};

} // namespace tarn::polling
