#pragma once
// The day's join table (Join\j_YYMM\j_YYMMDD.db): the polling engine writes one row for every point it
// polled and one summary row for every group run, so that the console and the reports can tell which
// schedule row a poll belonged to. When the schedule changes during the day, the rows that stood for its
// old rows are renumbered or marked replaced, never removed.
#include "database/Storage.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QTime>
#include <functional>

namespace tarn::database {

// jnRegWrkCh of a row written by scheduled polling.
inline constexpr int kScheduledJoinMode = 3;

// jFlagModif: "0" the current schedule row, "1" a row since replaced, "2" not scheduled.
struct JoinRow {
    QString group = QStringLiteral("--");      // jGroup, "--" for a single-point poll
    QString identifier = QStringLiteral("--"); // jIdentif ("--" on a group summary row)
    QString model = QStringLiteral("--");      // jTypeQuon
    QString serial = QStringLiteral("--");     // jSerialNum
    QDateTime when;                            // jDateTime (also chooses the day's file)
    int mode = 0;                              // jnRegWrkCh: 1 one point, 2 a group by hand, 3 scheduled
    QString modeText;                          // jsRegWrkCh
    QTime begin;                               // jBegCh: the schedule row's window (00:00:00 outside mode 3)
    QTime end;                                 // jEndCh
    int scheduleRow = 0;                       // jNumStrT
    QString flagModif = QStringLiteral("2");   // jFlagModif
    QTime modified;                            // jDateModif: the time the row was written
    QString result;                            // jResult
    QString idJoin = QStringLiteral("1");      // jIdJoin: "1" a point, "2" a group summary
    QString comment = QStringLiteral("0");     // jComment
    int number = 0;                            // jNum as read back (0 when not read)
};

// Appends the row to the file of row.when's day (file and folder created with their seed record when
// missing). A window left invalid is written 00:00:00; a modification time left invalid is when's.
// Empty on success, else the message.
QString appendJoinRow(Storage& storage, const JoinRow& row);
// The day's rows in the order written, seed record left out; a missing file gives none (and is not
// created).
QList<JoinRow> joinRowsOfDay(Storage& storage, const QDate& day);
// After a group was saved or deleted: its rows of scheduled polling that day (mode 3, flag "0") become
// "1". Group names are compared without their padding. Returns the rows changed, -1 when the file could
// not be changed (then none is).
int markGroupRowsReplaced(Storage& storage, const QDate& day, const QString& group);
// After the day's schedule was rebuilt: every current row of scheduled polling (mode 3, flag "0"), point
// rows and summary rows alike, takes the number newNumber gives for its group (without padding) and
// window (begin, end); a row whose window is no longer in the schedule (newNumber returns 0) becomes "1".
// Returns the rows changed, -1 when the file could not be changed (then none is).
int renumberScheduledRows(
    Storage& storage, const QDate& day,
    const std::function<int(const QString& group, const QTime& begin, const QTime& end)>& newNumber);

// The same over the table files under root.
QString appendJoinRow(const DataRoot& root, const Schemas& schemas, const JoinRow& row);
QList<JoinRow> joinRowsOfDay(const DataRoot& root, const Schemas& schemas, const QDate& day);
int markGroupRowsReplaced(const DataRoot& root, const Schemas& schemas, const QDate& day,
                          const QString& group);
int renumberScheduledRows(
    const DataRoot& root, const Schemas& schemas, const QDate& day,
    const std::function<int(const QString& group, const QTime& begin, const QTime& end)>& newNumber);

} // namespace tarn::database
