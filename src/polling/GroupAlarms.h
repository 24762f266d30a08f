#pragma once
// The group alarm table: which abnormal situations occurred at each member of a group over a period,
// one column per situation chosen in the mask (Current\mask_nhs.000), as lines the report window
// appends to its work file.
#include "common/DataRoot.h"
#include "common/Notifier.h"
#include "database/GroupFiles.h"
#include "database/Storage.h"

#include <QDateTime>
#include <QStringList>
#include <array>
#include <functional>

namespace tarn::polling {

// Situations 1..16; 15 (the record that closes a gas day) is never chosen.
struct AlarmMask {
    bool fullList = true; // "печатать полный список корректоров"
    bool legend = true; // "печатать номера внештатных ситуаций в таблице"
    std::array<bool, 16> situations{};
    bool chosen(int situation) const;
    QList<int> chosenSituations() const;
};
// Both options on, every situation but 15.
AlarmMask defaultAlarmMask();
QString alarmMaskPath(const DataRoot& root);
// A missing file gives the defaults; a situation line of any length but 16 chooses none.
AlarmMask loadAlarmMask(const DataRoot& root);
bool saveAlarmMask(const DataRoot& root, const AlarmMask& mask);
// The mask window's lines: the two-digit number, a blank and the name, for situations 1..16 but 15.
QStringList alarmMaskChoices(int languageIndex);

// The legend of the table's numbers: the heading, then name + dots to 53 + " - " + number for each
// situation chosen.
QStringList alarmNumberLegend(const AlarmMask& mask, int languageIndex);

struct GroupAlarmTable {
    QString refused; // the listing was not started (no group, the begin after the end)
    QString failure; // a member without its parameter file stopped the listing
    bool stopped = false;
    QStringList lines; // what was written before any stop
};

// done: members taken so far; returning false stops the listing before the next member.
using AlarmProgress = std::function<bool(int done, int total)>;

// The group is looked for in groups; the overload without them looks in root's Group folder.
GroupAlarmTable groupAlarmTable(const DataRoot& root, const database::GroupFiles& groups,
                                database::Storage& storage, Notifier& notifier, int languageIndex,
                                const QString& groupName, const QDateTime& from, const QDateTime& to,
                                const AlarmMask& mask, const AlarmProgress& progress = {});
GroupAlarmTable groupAlarmTable(const DataRoot& root, database::Storage& storage, Notifier& notifier,
                                int languageIndex, const QString& groupName, const QDateTime& from,
                                const QDateTime& to, const AlarmMask& mask,
                                const AlarmProgress& progress = {});

} // namespace tarn::polling
