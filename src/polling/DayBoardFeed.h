#pragma once
// Keeps the day's board in hand for a window that shows it: the board is read from the installation
// again only when something it shows may have changed — a point's end, a finished run, a changed
// schedule row — and once a lag period has passed (the lag column grows with the time alone). A window
// asks refreshIfStale() as often as it likes (the console does on its one-second tick): the database is
// read only when the board is stale.
//
// The points' newest stored records are most of a read (eight tables a member: four hundred files for a
// group of fifty). With newestOnWorker set (the console) they are read on a worker thread (NewestRead): a
// read shows its rows at once without the lag (rowsRead), and the lag when the worker's times arrive
// (rowsFilled), built from the same members, join rows, schedule and now, so the filled rows are those
// the read on the calling thread gives. One read is in flight at a time: a new read and markStale() stop
// the one in flight and wait for it, and what it read is never shown. A storage that opens tables dearly
// off its own thread (a server's: a connection a table) is read on the calling thread still.
#include "common/Clock.h"
#include "common/DataRoot.h"
#include "polling/DayBoard.h"
#include "polling/PollingRun.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace tarn::polling {

// What of the day's schedule the board depends on: its date and, per row, the group, the window's
// start and the row's status. Two schedules with the same mark give the same board.
QString boardScheduleMark(const DaySchedule& schedule);

// How the newest stored times are read: database::newestStoredStamps, unless a test puts its own (it runs on
// the worker).
using NewestReader = std::function<QHash<QString, QDateTime>(
    database::Storage& storage, const QStringList& identifiers, const std::function<bool()>& stopped)>;

// The newest stored times of a board's members, read on a worker thread from the moment it is made. It is
// made and let go on one thread (the window's), which hears `arrived` when the times are in. The worker
// shares the storage: one Storage serves every thread, and each table is opened and let go on the
// worker's own connection.
class NewestRead final : public QObject {
    Q_OBJECT
public:
    NewestRead(database::Storage& storage, QStringList identifiers, const NewestReader& reader);
    // The worker is asked to stop after the point in hand and waited for: whatever it read is never
    // heard of, and nothing reads the storage any more.
    ~NewestRead() override;

    const database::Storage& storage() const { return storage_; }
    const QStringList& identifiers() const { return identifiers_; }
    // The times are in (`arrived` was emitted).
    bool done() const { return done_; }
    const QHash<QString, QDateTime>& newest() const { return newest_; }

signals:
    void arrived();

private:
    database::Storage& storage_;
    const QStringList identifiers_;
    QHash<QString, QDateTime> newest_;
    bool done_ = false;
    std::atomic<bool> stop_ = false;
    std::thread worker_;
};

// The newest times of the members of the groups polled on day, read ahead of the board that will show
// them (Tarn_B's start, while it waits for the wait window to close, when the start opens the console);
// nothing when no member is polled that day or when the storage opens tables dearly off its own thread.
// The board takes it for its first read when it reads the same members of the same storage.
std::unique_ptr<NewestRead> readNewestAhead(const database::GroupFiles& groups, database::Storage& storage,
                                            const QDate& day);

class DayBoardFeed final : public QObject {
    Q_OBJECT
public:
    DayBoardFeed(PollingRun& run, DataRoot root, Clock& clock, QObject* parent = nullptr);
    ~DayBoardFeed() override;

    void setNewestReader(NewestReader reader) { newestReader_ = std::move(reader); }
    // Whether the newest stored times are read on a worker (see above); from the next read on.
    bool newestOnWorker = false;
    // A read begun before the feed was made, for its first read (see readNewestAhead), however that read
    // comes: the console's first one follows a markStale(). Whoever hands it over lets go of it when the
    // database is started again before.
    void takeReadAhead(std::unique_ptr<NewestRead> read) { readAhead_ = std::move(read); }

    // The lag period's timer moves to another clock (the application's); it starts again at the next
    // refreshIfStale().
    void setClock(Clock& clock) { lagTimer_.setClock(clock); }
    // Reads the board when it is stale or the schedule's mark changed, and keeps the lag timer running;
    // true when it read.
    bool refreshIfStale();
    // Reads the board now.
    void refresh();
    // The next refreshIfStale() reads (the points or the groups were read again, the database is about
    // to be started again): the read in flight is stopped and waited for, and never shown.
    void markStale();

    const QList<BoardRow>& rows() const { return rows_; }
    // The rows in hand wait for their newest stored times from the worker.
    bool filling() const { return read_ && !read_->done(); }
    // How many times the board was read (tests count the database reads).
    int reads() const { return reads_; }
    int lagPeriodMs = 60000;

signals:
    // The lag period has passed: the board is stale, the window shows it again.
    void lagPeriodPassed();
    // The board was read: its rows changed or may have (on a worker's read, still without the lag unless
    // the times were in already).
    void rowsRead();
    // The worker's newest stored times are in the rows in hand: the board is whole.
    void rowsFilled();

private:
    // The worker's times merged into the rows of the read that started it.
    void fill();

    PollingRun& run_;
    DataRoot root_;
    ClockTimer lagTimer_;
    QList<BoardRow> rows_;
    QString scheduleMark_; // what the schedule showed when the board was last read
    bool stale_ = true;
    int reads_ = 0;
    NewestReader newestReader_;
    // What the read in flight is merged with.
    DayBoardBasis basis_;
    DaySchedule schedule_;
    QDateTime now_;
    std::unique_ptr<NewestRead> readAhead_;
    std::unique_ptr<NewestRead> read_;
};

} // namespace tarn::polling
