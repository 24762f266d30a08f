#pragma once
// The dispatcher's board of the day: one row per member of every group the day's schedule polls, with
// the point's last poll today and its result, the group's next window and how far the point's newest
// stored record lags behind now. The console's table and tarn-cli poll --status show the same rows.
#include "common/DataRoot.h"
#include "database/GroupFiles.h"
#include "database/JoinTable.h"
#include "database/Schema.h"
#include "polling/PollingRun.h"
#include "polling/Schedule.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace tarn::polling {

struct BoardRow {
    QString group;
    QString identifier;
    QString name;                              // the first 20 characters of the polling-list line
    QString lastPoll = QStringLiteral("--");   // "HH:mm:ss" of the point's last join row today
    QString result = QStringLiteral("--");     // that row's result; "--" when not polled today
    QString nextWindow = QStringLiteral("--"); // "HH:MM-HH:MM" of the group's window in hand or next
    int lagMinutes = -1;                       // now minus the newest stored record; -1 when none is stored

    bool polled() const { return result != QLatin1String("--"); }
    bool failed() const { return polled() && result != QStringLiteral("норма"); }
};

// A member of a scheduled group as the group file names it.
struct BoardMember {
    QString group;
    QString identifier;
    QString name;
};

// The rows from the members (in group-list order), today's join rows, the day's schedule and each
// point's newest stored record time (by identifier; missing: nothing stored).
QList<BoardRow> buildDayBoard(const QList<BoardMember>& members, const QList<database::JoinRow>& joins,
                              const DaySchedule& schedule, const QHash<QString, QDateTime>& newest,
                              const QDateTime& now);

// What the board is read from besides the points' newest stored records: the members of the scheduled
// groups and the day's join rows. Cheap beside the newest records (a group file and one table against
// eight tables a member), so a window reads it at once and the newest records on a worker.
struct DayBoardBasis {
    QList<BoardMember> members;
    QList<database::JoinRow> joins;
    QStringList identifiers; // the members' identifiers, each once, in board order
};
DayBoardBasis dayBoardBasisOf(const database::GroupFiles& groups, database::Storage& storage,
                              const DaySchedule& schedule, const QDate& day);
// The identifiers a board of day reads the newest records of (its basis's), from the group files alone:
// the groups polled that day as their schedules say, before any join row of the day is read.
QStringList scheduledMemberIdentifiers(const database::GroupFiles& groups, const QDate& day);

// The same from the installation: the group files, today's join table and the points' tables.
QList<BoardRow> dayBoardOf(const database::GroupFiles& groups, database::Storage& storage,
                           const DaySchedule& schedule, const QDateTime& now);
// The groups of root's Group folder.
QList<BoardRow> dayBoardOf(const DataRoot& root, database::Storage& storage, const DaySchedule& schedule,
                           const QDateTime& now);

// The lag as the table shows it: "--", or hours and minutes "H:MM".
QString lagText(int minutes);
// The colour of a row's result: blue for "норма", red for a failure, black when not polled yet.
LineColour resultColour(const BoardRow& row);
// The filter of the table: the text anywhere in the group, name, identifier or result (case ignored),
// and, when failedOnly, failed rows alone.
bool boardRowMatches(const BoardRow& row, const QString& text, bool failedOnly);

// The group's window that holds the minute (any status), or -1: a failed member may be polled again only
// while its group's window is still open.
int openWindowOfGroup(const DaySchedule& schedule, const QString& group, int minuteOfDay);
// The identifiers of the group's failed members, in board order.
QStringList failedMembers(const QList<BoardRow>& rows, const QString& group);
// The schedule row in hand (the run's current one) or else the first pending one not yet over; -1: none.
int nextScheduleRow(const DaySchedule& schedule, int currentRow, int minuteOfDay);

} // namespace tarn::polling
