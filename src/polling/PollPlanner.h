#pragma once
// What a polling run takes up next: the point list with its check marks, the groups and the group in
// hand, the day's schedule with its row in hand, and which item of a point comes next. It decides; the
// point machine (PollingRun) does the line work and asks it at every turn.
#include "common/DataRoot.h"
#include "database/Storage.h"
#include "polling/ConsolePointList.h"
#include "polling/Groups.h"
#include "polling/PollItem.h"
#include "polling/Schedule.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

namespace tarn::polling {

enum class PollMode { Idle = 0, Point = 1, Group = 2, Schedule = 3 };
QString pollModeText(PollMode mode);
// The console's answer to a point or group menu while a run polls: "Занято !!!" / "Зайнято !!!".
QString pollingBusyText(int languageIndex);
// Scheduled polling: waiting for a due row, or polling the row in hand.
enum class ScheduleState { Waiting = 0, Polling = 1 };

// The request log's items to read: the run's flags as they were, every item asked whether it brought
// anything or not, so that the protocol accounts for each. Eleven characters; a group's flags have ten,
// as the service archive is never read in group polling. Empty when no item was asked (the log then
// copies what was stored).
QString askedItemFlags(const QString& flags, PollMode mode);

// Today's schedule from the groups of the installation, with what the day's join table says was done
// already. rebuild: a group has just been saved or deleted (changedGroup), so its rows of today are
// marked replaced and every other current row of scheduled polling takes its new row number.
DaySchedule scheduleOfToday(const database::GroupFiles& groups, database::Storage& storage,
                            const QDateTime& now, bool rebuild = false, const QString& changedGroup = {});
// The groups of root's Group folder.
DaySchedule scheduleOfToday(const DataRoot& root, database::Storage& storage, const QDateTime& now,
                            bool rebuild = false, const QString& changedGroup = {});

class PollPlanner {
public:
    // groups and storage must outlive the planner.
    PollPlanner(const DataRoot& root, database::GroupFiles& groups, database::Storage& storage)
        : root_(root), groups_(groups), storage_(storage) {}
    // The groups of root's Group folder.
    PollPlanner(const DataRoot& root, database::Storage& storage)
        : root_(root), ownGroups_(std::make_unique<database::FolderGroupFiles>(root)), groups_(*ownGroups_),
          storage_(storage) {}

    // The registry's polling list, none checked.
    void reloadPoints();
    const QStringList& pointLines() const { return points_.lines(); }
    const QList<bool>& checks() const { return points_.checks(); }
    bool setChecked(int index, bool on) { return points_.setChecked(index, on); }
    // The first checked point at or after from; -1 when none is left.
    int nextChecked(int from) const { return points_.nextChecked(from); }

    void reloadGroups();
    const QList<GroupEntry>& groups() const { return entries_; }
    // Its members become the checked points, its flags the run's.
    void selectGroup(int index);
    int selectedGroup() const { return groupIndex_; }
    // The group of that name, the group list read again when it is not known; -1 when there is none.
    int findGroup(const QString& name);
    const QString& groupName() const { return groupName_; }
    // A point polled by itself belongs to no group.
    void forgetGroupName() { groupName_.clear(); }
    const QString& groupFile() const { return groupFile_; }
    const QString& groupFlags() const { return groupFlags_; }
    // Whether the selected group's file asks for anything.
    bool groupHasItems() const;

    // A retry's members (identifiers): the next group start unticks the others.
    void setRetrySubset(const QStringList& identifiers) { retrySubset_ = identifiers; }
    void clearRetrySubset() { retrySubset_.clear(); }
    void applyRetrySubset();

    void buildSchedule(const QDateTime& now, bool rebuild, const QString& changedGroup = {});
    DaySchedule& schedule() { return schedule_; }
    const DaySchedule& schedule() const { return schedule_; }
    // Whether a row is still to be polled today.
    bool schedulePending() const;
    int currentRow() const { return currentRow_; }
    const ScheduleRow* rowInHand() const;
    // The row due at that minute becomes the row in hand, marked "опрос"; false when none is due.
    bool takeDueRow(int minuteOfDay);
    // A given row (a retry in its open window) becomes the row in hand, marked "опрос".
    void takeRow(int row);
    // The row in hand ends with that status at that time ("норма", "ошибка"); none is in hand after.
    void finishRow(const QString& status, const QTime& at);
    // A row that was being polled goes back to "--" (a stop); none is in hand after.
    void releaseRow();
    // None is in hand, the row left as it is.
    void forgetRow() { currentRow_ = -1; }

private:
    const DataRoot& root_;
    std::unique_ptr<database::FolderGroupFiles> ownGroups_; // when made without group files
    database::GroupFiles& groups_;
    database::Storage& storage_;
    ConsolePointList points_;
    QList<GroupEntry> entries_;
    int groupIndex_ = -1;
    QString groupName_;
    QString groupFile_;
    QString groupFlags_;
    QStringList retrySubset_; // empty: the whole group
    DaySchedule schedule_;
    int currentRow_ = -1;
};

} // namespace tarn::polling
