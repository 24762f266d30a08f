#pragma once
// The day's polling schedule: one row per polling window of every group, in time order, and the row
// that is due now. Rows whose window passed unpolled become "пропущ.".
#include <QDate>
#include <QList>
#include <QString>
#include <optional>

namespace tarn::polling {

struct ScheduleRow {
    int number = 0;
    QString group;
    QString begin; // "HH:MM"
    QString end;   // "HH:MM", 24:00 written "00:00"
    QString polled = QStringLiteral("--");
    QString status = QStringLiteral("--"); // "--", "опрос", "норма", "ошибка", "пропущ."
    int beginMinute = 0;
    int endMinute = 0; // 1440 for the end of the day
};

struct ScheduledGroup {
    QString name;
    QString schedule; // the group-list entry's part after the name, blanks removed
};

struct DaySchedule {
    QDate date;
    QList<ScheduleRow> rows;
    // "Расписание опроса" and the date.
    QString title() const;
};

DaySchedule buildDaySchedule(const QList<ScheduledGroup>& groups, const QDate& today);
// The first pending row whose window holds the minute; pending rows whose window has ended are marked
// "пропущ." on the way. -1 when none is due.
int findDueRow(DaySchedule& schedule, int minuteOfDay);

} // namespace tarn::polling
