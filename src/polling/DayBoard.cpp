#include "polling/DayBoard.h"

#include "database/Registry.h"
#include "polling/Groups.h"

#include <QSet>

namespace tarn::polling {

namespace {

QString windowOf(const ScheduleRow& r) {
    return r.begin + QLatin1Char('-') + r.end;
}

} // namespace

int openWindowOfGroup(const DaySchedule& schedule, const QString& group, int minuteOfDay) {
    for (int i = 0; i < schedule.rows.size(); ++i) {
        const ScheduleRow& r = schedule.rows.at(i);
        if (r.group.trimmed() == group.trimmed() && r.beginMinute <= minuteOfDay && minuteOfDay < r.endMinute)
            return i;
    }
    return -1;
}

int nextScheduleRow(const DaySchedule& schedule, int currentRow, int minuteOfDay) {
    if (currentRow >= 0 && currentRow < schedule.rows.size()) return currentRow;
    for (int i = 0; i < schedule.rows.size(); ++i) {
        const ScheduleRow& r = schedule.rows.at(i);
        if (r.status == QLatin1String("--") && minuteOfDay < r.endMinute) return i;
    }
    return -1;
}

QList<BoardRow> buildDayBoard(const QList<BoardMember>& members, const QList<database::JoinRow>& joins,
                              const DaySchedule& schedule, const QHash<QString, QDateTime>& newest,
                              const QDateTime& now) {
    const int minute = now.time().hour() * 60 + now.time().minute();
    QList<BoardRow> rows;
    for (const BoardMember& m : members) {
        BoardRow row;
        row.group = m.group.trimmed();
        row.identifier = m.identifier.trimmed();
        row.name = m.name;
        // The point's last poll today, however it was started (its group's, another group's, by hand):
        // what the dispatcher needs is whether the point answered last time.
        for (const database::JoinRow& j : joins) {
            if (j.idJoin != QLatin1String("1") || j.identifier.trimmed() != row.identifier) continue;
            row.lastPoll = j.modified.toString(QStringLiteral("HH:mm:ss"));
            row.result = j.result;
        }
        // The window being polled, else the first one of the group still to come.
        for (const ScheduleRow& r : schedule.rows) {
            if (r.group.trimmed() != row.group || minute >= r.endMinute) continue;
            if (r.status == QStringLiteral("опрос") || r.status == QLatin1String("--")) {
                row.nextWindow = windowOf(r);
                break;
            }
        }
        if (const QDateTime stamp = newest.value(row.identifier); stamp.isValid())
            row.lagMinutes = static_cast<int>(qMax<qint64>(0, stamp.secsTo(now) / 60));
        rows.append(row);
    }
    return rows;
}

QList<BoardRow> dayBoardOf(const DataRoot& root, database::Storage& storage, const DaySchedule& schedule,
                           const QDateTime& now) {
    return dayBoardOf(database::FolderGroupFiles(root), storage, schedule, now);
}

namespace {

// The members of the groups the schedule polls, in group-list order, with their identifiers each once.
void addScheduledMembers(const database::GroupFiles& groups, const DaySchedule& schedule,
                         DayBoardBasis& basis) {
    QSet<QString> scheduled;
    for (const ScheduleRow& r : schedule.rows)
        scheduled.insert(r.group.trimmed());
    QSet<QString> listed;
    for (const GroupEntry& e : loadGroupList(groups)) {
        if (!scheduled.contains(e.name.trimmed())) continue;
        for (const GroupMember& m : loadGroup(groups, e.file).members) {
            if (!m.member) continue;
            const QString id = m.identifier();
            basis.members.append({e.name.trimmed(), id, m.line.left(20)});
            if (!listed.contains(id)) {
                listed.insert(id);
                basis.identifiers.append(id);
            }
        }
    }
}

} // namespace

DayBoardBasis dayBoardBasisOf(const database::GroupFiles& groups, database::Storage& storage,
                              const DaySchedule& schedule, const QDate& day) {
    DayBoardBasis basis;
    addScheduledMembers(groups, schedule, basis);
    basis.joins = database::joinRowsOfDay(storage, day);
    return basis;
}

QStringList scheduledMemberIdentifiers(const database::GroupFiles& groups, const QDate& day) {
    QList<ScheduledGroup> list;
    for (const GroupEntry& e : loadGroupList(groups))
        list.append({e.name.trimmed(), scheduleString(groupListEntry(e, loadGroup(groups, e.file)))});
    DayBoardBasis basis;
    addScheduledMembers(groups, buildDaySchedule(list, day), basis);
    return basis.identifiers;
}

QList<BoardRow> dayBoardOf(const database::GroupFiles& groups, database::Storage& storage,
                           const DaySchedule& schedule, const QDateTime& now) {
    const DayBoardBasis basis = dayBoardBasisOf(groups, storage, schedule, now.date());
    return buildDayBoard(basis.members, basis.joins, schedule,
                         database::newestStoredStamps(storage, basis.identifiers), now);
}

QString lagText(int minutes) {
    if (minutes < 0) return QStringLiteral("--");
    return QString::number(minutes / 60) + QLatin1Char(':') +
           QStringLiteral("%1").arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

LineColour resultColour(const BoardRow& row) {
    if (!row.polled()) return LineColour::Black;
    return row.failed() ? LineColour::Red : LineColour::Blue;
}

bool boardRowMatches(const BoardRow& row, const QString& text, bool failedOnly) {
    if (failedOnly && !row.failed()) return false;
    const QString t = text.trimmed();
    if (t.isEmpty()) return true;
    for (const QString& cell : {row.group, row.name, row.identifier, row.result})
        if (cell.contains(t, Qt::CaseInsensitive)) return true;
    return false;
}

QStringList failedMembers(const QList<BoardRow>& rows, const QString& group) {
    QStringList ids;
    for (const BoardRow& r : rows)
        if (r.group == group.trimmed() && r.failed() && !ids.contains(r.identifier)) ids.append(r.identifier);
    return ids;
}

} // namespace tarn::polling
