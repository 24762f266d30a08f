#pragma once
// The whole refresh of a synchronised copy around the countdown: the cycle begins from the time since the
// last synchronisation started, counts down a second per tick(), and at its end synchronises with the
// master, checks the tables when the settings ask for it, starts the database again and begins the next
// cycle. The steps that need windows or the application (the synchronisation, the table check, the
// database start-up) are hooks, so the console and tarn-cli run the same sequence.
#include "common/DataRoot.h"
#include "common/Error.h"
#include "common/Notifier.h"
#include "polling/ViewerCycle.h"

#include <QDateTime>
#include <QStringList>
#include <functional>
#include <optional>

namespace tarn::polling {

// Synchr\LastSync.000: when the last synchronisation started, "dd.MM.yyyy HH:mm:ss". Kept beside the
// markers so that a restarted program counts on from it.
std::optional<QDateTime> loadLastSynchronisation(const DataRoot& root);
bool saveLastSynchronisation(const DataRoot& root, const QDateTime& started);
// Seconds from the reference to now over the full date and time: a reference later in its hour than now
// is still in the past. Nothing without a reference; 0 for one ahead of now (the clock was set back).
std::optional<qint64> secondsSince(const std::optional<QDateTime>& reference, const QDateTime& now);
// "1:05:09": hours (any number), minutes and seconds.
QString elapsedText(qint64 seconds);

// What one synchronisation did.
struct ViewerSyncOutcome {
    bool goOn = true;      // the database is to be loaded again (the user's answer after a stop)
    bool completed = true; // every rule ran to its end
    int copied = 0;
    int missing = 0;
    QStringList errors;
    // The same errors with their kinds (a file another program held is Locked: busy, not broken).
    QList<Error> failures;
};

class ViewerRefresh {
public:
    struct Steps {
        std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
        // The folder synchronisation (its window in Tarn_B, the same run headless in tarn-cli).
        std::function<ViewerSyncOutcome()> synchronise;
        // Closes what holds the tables before the files under them are replaced.
        std::function<void()> closeTables;
        // "контроль и восстановление таблиц БД": the table check with repair. Without a hook nothing runs.
        std::function<bool()> checkTables;
        // The database start-up; false when the database could not be opened.
        std::function<bool()> startDatabase;
        // A marker file ("Wait.000", "Start.000") was written, or failed to be.
        std::function<void(const QString& name, bool written)> markerWritten;
    };

    ViewerRefresh(DataRoot root, Notifier& notifier, Steps steps);

    // A cycle begins: the settings read from Synchr\Inst.000, the countdowns from the time since the last
    // synchronisation, both markers deleted. False, with nothing counting, when the cycle is off.
    bool begin();
    enum class Event {
        Off,          // the cycle is off (or not begun): the timer stops
        Counting,     // a second went by
        WaitWritten,  // Synchr\Wait.000 has just been written
        Synchronised, // Start.000 written, the synchronisation and the database start-up done
    };
    // One second of the countdown; at its end the whole synchronisation runs before it returns.
    Event tick();
    // The synchronisation as the cycle's end runs it (also by hand while the cycle is off): the tables
    // closed, the start time kept as the new reference, the synchronisation, the table check when it is
    // on, the database start-up, then the next cycle when the cycle is on.
    ViewerSyncOutcome synchroniseNow();

    const ViewerCycleSettings& settings() const { return settings_; }
    bool counting() const { return cycle_.running(); }
    int waitLeft() const { return cycle_.waitLeft(); }
    int startLeft() const { return cycle_.startLeft(); }
    std::optional<qint64> elapsed() const {
        return secondsSince(loadLastSynchronisation(root_), steps_.now());
    }
    const ViewerSyncOutcome& lastOutcome() const { return outcome_; }
    bool databaseStarted() const { return databaseStarted_; }
    bool tablesChecked() const { return tablesChecked_; }
    // The marker that could not be written, as a red line of the console's messages.
    void setConsoleError(std::function<void(const QString&)> f) { cycle_.consoleError = std::move(f); }

private:
    DataRoot root_;
    Steps steps_;
    ViewerCycle cycle_;
    ViewerCycleSettings settings_;
    ViewerSyncOutcome outcome_;
    bool databaseStarted_ = false;
    bool tablesChecked_ = false;
    bool synchronising_ = false;
};

} // namespace tarn::polling
