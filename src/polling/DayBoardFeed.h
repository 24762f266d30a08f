#pragma once
// Keeps the day's board in hand for a window that shows it: the board is read from the installation
// again only when something it shows may have changed — a point's end, a finished run, a changed
// schedule row — and once a lag period has passed (the lag column grows with the time alone). A window
// asks refreshIfStale() as often as it likes (the console does on its one-second tick): the database is
// read only when the board is stale.
#include "common/Clock.h"
#include "common/DataRoot.h"
#include "polling/DayBoard.h"
#include "polling/PollingRun.h"

#include <QList>
#include <QObject>
#include <QString>

namespace tarn::polling {

// What of the day's schedule the board depends on: its date and, per row, the group, the window's
// start and the row's status. Two schedules with the same mark give the same board.
QString boardScheduleMark(const DaySchedule& schedule);

class DayBoardFeed final : public QObject {
    Q_OBJECT
public:
    DayBoardFeed(PollingRun& run, DataRoot root, Clock& clock, QObject* parent = nullptr);

    // The lag period's timer moves to another clock (the application's); it starts again at the next
    // refreshIfStale().
    void setClock(Clock& clock) { lagTimer_.setClock(clock); }
    // Reads the board when it is stale or the schedule's mark changed, and keeps the lag timer running;
    // true when it read.
    bool refreshIfStale();
    // Reads the board now.
    void refresh();
    // The next refreshIfStale() reads (the points or the groups were read again).
    void markStale() { stale_ = true; }

    const QList<BoardRow>& rows() const { return rows_; }
    // How many times the board was read (tests count the database reads).
    int reads() const { return reads_; }
    int lagPeriodMs = 60000;

signals:
    // The lag period has passed: the board is stale, the window shows it again.
    void lagPeriodPassed();
    // The board was read: its rows changed or may have.
    void rowsRead();

private:
    PollingRun& run_;
    DataRoot root_;
    ClockTimer lagTimer_;
    QList<BoardRow> rows_;
    QString scheduleMark_; // what the schedule showed when the board was last read
    bool stale_ = true;
    int reads_ = 0;
};

} // namespace tarn::polling
