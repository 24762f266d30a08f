#include "polling/PollPlanner.h"

#include "common/Language.h"
#include "database/JoinTable.h"
#include "database/Registry.h"

namespace tarn::polling {

namespace {
constexpr const char* kModeTexts[] = {"опросы выключены", "выборочный опрос - корректор",
                                      "выборочный опрос - группа", "опрос по времени"};
const QString kPolling = QStringLiteral("опрос");
const QString kPending = QStringLiteral("--");
} // namespace

QString pollModeText(PollMode mode) {
    return QString::fromUtf8(kModeTexts[static_cast<int>(mode)]);
}

QString pollingBusyText(int languageIndex) {
    return uaRu(languageIndex, "Зайнято !!!", "Занято !!!");
}

QString askedItemFlags(const QString& flags, PollMode mode) {
    QString asked(11, QLatin1Char('0'));
    if (flags.startsWith(QLatin1Char('1'))) asked[0] = QLatin1Char('1');
    bool any = false;
    for (std::optional<PollItem> item = PollItem::Hourly; item; item = itemAfter(*item)) {
        if (*item == PollItem::Service && mode != PollMode::Point) continue;
        if (itemFlagged(flags, *item)) {
            asked[static_cast<int>(*item) - 1] = QLatin1Char('1');
            any = true;
        }
    }
    return any ? asked : QString();
}

DaySchedule scheduleOfToday(const DataRoot& root, database::Storage& storage, const QDateTime& now,
                            bool rebuild, const QString& changedGroup) {
    return scheduleOfToday(database::FolderGroupFiles(root), storage, now, rebuild, changedGroup);
}

DaySchedule scheduleOfToday(const database::GroupFiles& groups, database::Storage& storage,
                            const QDateTime& now, bool rebuild, const QString& changedGroup) {
    QList<ScheduledGroup> list;
    for (const GroupEntry& e : loadGroupList(groups))
        list.append({e.name.trimmed(), scheduleString(groupListEntry(e, loadGroup(groups, e.file)))});
    DaySchedule schedule = buildDaySchedule(list, now.date());
    if (schedule.rows.isEmpty()) return schedule;
    if (rebuild) {
        if (!changedGroup.trimmed().isEmpty())
            database::markGroupRowsReplaced(storage, now.date(), changedGroup.trimmed());
        database::renumberScheduledRows(
            storage, now.date(), [&schedule](const QString& group, const QTime& begin, const QTime& end) {
                const QString b = begin.toString(QStringLiteral("HH:mm"));
                const QString e = end.toString(QStringLiteral("HH:mm"));
                for (const ScheduleRow& r : schedule.rows)
                    if (r.group.trimmed() == group.trimmed() && r.begin == b && r.end == e) return r.number;
                return 0;
            });
    }
    // What was already done today shows again after a restart.
    for (const database::JoinRow& j : database::joinRowsOfDay(storage, now.date())) {
        if (j.idJoin != QLatin1String("2") || j.mode != static_cast<int>(PollMode::Schedule) ||
            j.flagModif != QLatin1String("0"))
            continue;
        for (ScheduleRow& r : schedule.rows)
            if (r.number == j.scheduleRow) {
                r.polled = j.modified.toString(QStringLiteral("HH:mm"));
                r.status = j.result;
            }
    }
    return schedule;
}

// --- the points --------------------------------------------------------------------------------------

void PollPlanner::reloadPoints() {
    points_.reload(root_, storage_);
}

// --- the groups --------------------------------------------------------------------------------------

void PollPlanner::reloadGroups() {
    entries_ = loadGroupList(groups_);
    if (groupIndex_ >= entries_.size()) groupIndex_ = -1;
}

void PollPlanner::selectGroup(int index) {
    if (index < 0 || index >= entries_.size()) return;
    groupIndex_ = index;
    const GroupEntry& entry = entries_.at(index);
    const Group group = loadGroup(groups_, entry.file);
    groupName_ = entry.name.trimmed();
    groupFile_ = entry.file;
    groupFlags_ = group.flags;
    QStringList keys;
    for (const GroupMember& m : group.members)
        if (m.member) keys.append(m.key());
    points_.checkExactly(keys);
}

int PollPlanner::findGroup(const QString& name) {
    const auto find = [this, &name] {
        int index = -1;
        for (int i = 0; i < entries_.size(); ++i)
            if (entries_.at(i).name.trimmed() == name.trimmed()) index = i;
        return index;
    };
    if (const int index = find(); index >= 0) return index;
    // A group saved since the list was read.
    reloadGroups();
    return find();
}

bool PollPlanner::groupHasItems() const {
    return loadGroup(groups_, groupFile_).hasItems();
}

void PollPlanner::applyRetrySubset() {
    if (retrySubset_.isEmpty()) return;
    points_.keepCheckedAmong(retrySubset_);
    retrySubset_.clear();
}

// --- the day's schedule ------------------------------------------------------------------------------

void PollPlanner::buildSchedule(const QDateTime& now, bool rebuild, const QString& changedGroup) {
    schedule_ = scheduleOfToday(groups_, storage_, now, rebuild, changedGroup);
    currentRow_ = -1;
    // Windows already past are marked skipped at once, not at the next due check.
    findDueRow(schedule_, now.time().hour() * 60 + now.time().minute());
}

bool PollPlanner::schedulePending() const {
    for (const ScheduleRow& r : schedule_.rows)
        if (r.status == kPending || r.status == kPolling) return true;
    return false;
}

const ScheduleRow* PollPlanner::rowInHand() const {
    return currentRow_ >= 0 && currentRow_ < schedule_.rows.size() ? &schedule_.rows.at(currentRow_)
                                                                   : nullptr;
}

bool PollPlanner::takeDueRow(int minuteOfDay) {
    const int row = findDueRow(schedule_, minuteOfDay);
    if (row < 0) return false;
    takeRow(row);
    return true;
}

void PollPlanner::takeRow(int row) {
    currentRow_ = row;
    schedule_.rows[row].status = kPolling;
}

void PollPlanner::finishRow(const QString& status, const QTime& at) {
    if (currentRow_ >= 0 && currentRow_ < schedule_.rows.size()) {
        schedule_.rows[currentRow_].polled = at.toString(QStringLiteral("HH:mm"));
        schedule_.rows[currentRow_].status = status;
    }
    currentRow_ = -1;
}

void PollPlanner::releaseRow() {
    if (currentRow_ >= 0 && currentRow_ < schedule_.rows.size() &&
        schedule_.rows[currentRow_].status == kPolling)
        schedule_.rows[currentRow_].status = kPending;
    currentRow_ = -1;
}

} // namespace tarn::polling
