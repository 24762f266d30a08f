#pragma once
// When a point's tables last received a row (the last-records window of the polling console), and the
// group member list ("Перечень группы..."): each member with the time it was last stored, a member
// lagging behind the group shown in red.
#include "common/DataRoot.h"
#include "database/Registry.h"
#include "polling/Groups.h"

#include <QDateTime>
#include <QStringList>
#include <array>
#include <functional>

namespace tarn::polling {

// The grid: a heading row, then hourly, daily, monthly, interference, alarm, operative, service,
// measurement and the request log; column 1 the time the row was stored, column 2 the record's own
// date and time ("--" for the measurement and the request log, and wherever a table holds nothing).
using LastRecordsRow = std::array<QString, 3>;
struct LastRecordsView {
    QString title; // model + " №" + serial + " владелец:" + owner
    QList<LastRecordsRow> rows;
};
inline constexpr int kLastRecordsRows = 10;

// Nothing when the point is not registered ("В БД нет данных!!!" is then the window's text).
std::optional<LastRecordsView> lastRecordsOf(database::Storage& storage, const database::Registry& registry,
                                             const QString& identifier);
QString noDataText(); // "В БД нет данных!!!"
// The text file: its heading, the title, a rule, then each grid row followed by the rule.
QStringList lastRecordsFileLines(const LastRecordsView& view);
// The file name proposed in Text\: the identifier, "_" and today as yyMMdd.
QString lastRecordsFileName(const QString& identifier, const QDate& today);

struct MemberListLine {
    QString text;
    bool late = false; // shown in red
    QString identifier;
};
struct GroupMemberList {
    QString title;      // "Группа - "<name>""
    QStringList banner; // the column heading between two rules
    QList<MemberListLine> lines;
};

// How far behind the group's latest storing a member may be: 10 minutes a member, as hours and minutes
// with the hours limited to 23.
int lateToleranceMinutes(int members);

// done: members taken so far in both passes; returning false stops.
using MemberListProgress = std::function<bool(int done, int total)>;
GroupMemberList groupMemberList(database::Storage& storage, const database::Registry& registry,
                                const Group& group, const MemberListProgress& progress = {});
// The text file: the lines without the banner.
QStringList memberListFileLines(const GroupMemberList& list);
// A line clicked: its model (characters 6..17) and serial number (19..27), blanks removed; nothing for
// a line without a model ("Не выбран прибор!!!" is then the window's text).
std::optional<std::pair<QString, QString>> pointOfMemberLine(const QString& line);

} // namespace tarn::polling
