#pragma once
// Keeps the day's board in hand for a window that shows it: the board is read from the installation
// again only when something it shows may have changed — a point's end, a finished run, a changed
// schedule row — and once a lag period has passed (the lag column grows with the time alone). A window
// asks refreshIfStale() as often as it likes (the console does on its one-second tick): the database is
// read only when the board is stale.
//
// The points' newest stored records are most of a read (eight tables a member: four hundred files for a
// group of fifty). With newestOnWorker set (the console) they are read on a worker thread: a read shows
// its rows at once without the lag (rowsRead), and the lag when the worker's times arrive (rowsFilled),
// built from the same members, join rows, schedule and now, so the filled rows are those the read on
// the calling thread gives. One read is in flight at a time: a new read, markStale() and stopReading()
// stop the one in flight, and its times, should they arrive later, are dropped, never shown. The worker
// shares the run's storage (one Storage serves every thread; each table is opened and let go on the
// worker's own connection).
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

class DayBoardFeed final : public QObject {
    Q_OBJECT
public:
    DayBoardFeed(PollingRun& run, DataRoot root, Clock& clock, QObject* parent = nullptr);
    // A read in flight is stopped and waited for: the worker uses the run's storage.
    ~DayBoardFeed() override;

    // How the newest stored times are read: newestStoredStamps unless a test puts its own (on the
    // worker, it runs there).
    using NewestReader = std::function<QHash<QString, QDateTime>(
        database::Storage& storage, const QStringList& identifiers, const std::function<bool()>& stopped)>;
    void setNewestReader(NewestReader reader) { newestReader_ = std::move(reader); }
    // Whether the newest stored times are read on a worker (see above); from the next read on.
    bool newestOnWorker = false;

    // The lag period's timer moves to another clock (the application's); it starts again at the next
    // refreshIfStale().
    void setClock(Clock& clock) { lagTimer_.setClock(clock); }
    // Reads the board when it is stale or the schedule's mark changed, and keeps the lag timer running;
    // true when it read.
    bool refreshIfStale();
    // Reads the board now.
    void refresh();
    // The next refreshIfStale() reads (the points or the groups were read again); the newest times in
    // flight are dropped.
    void markStale();
    // The same, and a read in flight is waited for: before the database is started again (its schemas
    // loaded anew under the storage, or its files replaced), nothing may be reading it.
    void stopReading();
    // The rows in hand wait for their newest stored times from the worker.
    bool filling() const { return filling_; }

    const QList<BoardRow>& rows() const { return rows_; }
    // How many times the board was read (tests count the database reads).
    int reads() const { return reads_; }
    // How many workers' times have reached the feed, shown or dropped (tests wait for them).
    int arrivals() const { return arrivals_; }
    int lagPeriodMs = 60000;

signals:
    // The lag period has passed: the board is stale, the window shows it again.
    void lagPeriodPassed();
    // The board was read: its rows changed or may have (on a worker's read, still without the lag).
    void rowsRead();
    // The worker's newest stored times are in the rows in hand: the board is whole.
    void rowsFilled();

private:
    // What a worker's times are merged with: the read that started it.
    struct Pending {
        DayBoardBasis basis;
        DaySchedule schedule;
        QDateTime now;
    };
    void startWorker(const QStringList& identifiers);
    // The worker's times, on the feed's thread: shown when they belong to the read in hand.
    void takeNewest(int generation, const QHash<QString, QDateTime>& newest);
    // The read in flight asked to stop, its times to be dropped; with wait, joined as well.
    void dropReading(bool wait);

    PollingRun& run_;
    DataRoot root_;
    ClockTimer lagTimer_;
    QList<BoardRow> rows_;
    QString scheduleMark_; // what the schedule showed when the board was last read
    bool stale_ = true;
    int reads_ = 0;
    int arrivals_ = 0;
    NewestReader newestReader_;
    Pending pending_;
    bool filling_ = false;
    // Counts the reads and the drops: the times of a worker started under another are not shown.
    int generation_ = 0;
    std::shared_ptr<std::atomic<bool>> stopWorker_;
    std::thread worker_;
};

} // namespace tarn::polling
