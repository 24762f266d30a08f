#pragma once
// The group summary selection: the hourly or daily records of every member of a group over a period,
// gathered into one interval table with the group's sums, the members' totals, the member status list
// and, for the first ten members, tables of their own. The report and the group graph are built from
// it. It runs one member per step(), so a window can show its progress and stop between members.
#include "common/DataRoot.h"
#include "common/Notifier.h"
#include "database/GroupFiles.h"
#include "database/Storage.h"
#include "polling/GroupMembers.h"

#include <QDateTime>
#include <QStringList>
#include <array>

namespace tarn::polling {

enum class SummaryArchive { Hourly, Daily };
enum class SummaryCaller { Report, Graph };

struct SummaryRequest {
    QString groupName;
    SummaryArchive archive = SummaryArchive::Daily;
    QDateTime from; // daily: only the dates count
    QDateTime to;
    SummaryCaller caller = SummaryCaller::Report;
    // The report's "сводная таблица группы": the first ten members get tables of their own (the graph
    // always has them).
    bool memberTables = false;
};

inline constexpr int kSummarySums = 6; // Vраб, Vстд, Vвнш, Vстд.внш, Vраб+внш, Vстд.+ст.внш
inline constexpr int kMemberTables = 10; // members with tables of their own
inline constexpr int kRepeatMemory = 50; // records a member's repeats are looked for among

// I: an operator intervention fell into the interval (2nd character of the status text "И");
// V: an abnormal situation did (3rd character "В").
struct RecordFlags {
    bool intervention = false;
    bool alarm = false;
    static RecordFlags ofStatus(const QString& status);
    RecordFlags& operator|=(const RecordFlags& o) {
        intervention = intervention || o.intervention;
        alarm = alarm || o.alarm;
        return *this;
    }
    QString text() const; // "И/В", "И/-", "-/В", "-/-"
};

// A sum as the tables show it: width 9, one decimal, trailing zeros, a bare point and blanks removed.
QString sumText(double value);

struct Sums {
    std::array<double, kSummarySums> values{};
    RecordFlags flags;
    bool filled = false; // no record added yet: every cell "--"
    void add(const std::array<double, kSummarySums>& v, const RecordFlags& f);
    QStringList cells() const; // the six sums and the flags
};

struct IntervalRow {
    QDate date;
    QTime time; // hourly rows only
    Sums sums;
    QStringList cells(bool hourly) const; // дата, время, the six sums, флаги
};

struct MemberStatus {
    int number = 0;
    QString identifier;
    QString serial = QStringLiteral("--");
    QString model = QStringLiteral("--");
    QString organisation = QStringLiteral("--");
    QString pipeline = QStringLiteral("--");
    QString begin = QStringLiteral("--");
    QString end = QStringLiteral("--");
    QString comment = QStringLiteral("--"); // "норма", "мало данных" or "нет данных"
    QStringList cells() const;
};

struct MemberTotal {
    int number = 0;
    QString identifier;
    QString serial = QStringLiteral("--");
    QString model = QStringLiteral("--");
    Sums sums;
    QStringList cells() const;
};

// The headings of the tables.
QStringList intervalHeadings();
QStringList memberStatusHeadings();
QStringList memberTotalHeadings();

class GroupSummary {
public:
    // root holds the groups and the members' parameter files; the records come through storage, which
    // must outlive the summary. Each step opens the tables it reads, so steps may run on a worker.
    GroupSummary(const DataRoot& root, database::Storage& storage, Notifier& notifier, int languageIndex);
    // The same with the group looked for in groups (the run's), which must outlive the summary, instead
    // of root's Group folder.
    GroupSummary(const DataRoot& root, const database::GroupFiles& groups, database::Storage& storage,
                 Notifier& notifier, int languageIndex);

    // Checks the request, reads the group's members and lays out the tables. Empty when the selection
    // may start, else the refusal (the begin after the end, no group named, no such group).
    QString open(const SummaryRequest& request);
    // "\"отчет\" - подготовка данных группы  : \"<name>\"" (or "график").
    QString title() const;
    // The period as the two fields show it: hourly "dd.MM.yyyy HH:mm", daily "dd.MM.yyyy".
    QString periodBegin() const { return periodBegin_; }
    QString periodEnd() const { return periodEnd_; }

    // One member: its parameter file, then its records. Returns true while members are left. A missing
    // parameter file stops the selection (failure() says so, and the notifier is told).
    bool step();
    // Stops after the step in hand; nothing more is selected.
    void cancel() { cancelled_ = true; }

    int memberCount() const { return static_cast<int>(members_.size()); }
    int membersDone() const { return next_; }
    bool finished() const { return finished_; } // every member taken: the tables may be handed on
    bool cancelled() const { return cancelled_; }
    const QString& failure() const { return failure_; }

    bool hourly() const { return request_.archive == SummaryArchive::Hourly; }
    const QString& groupName() const { return request_.groupName; }
    const QList<IntervalRow>& intervals() const { return intervals_; }
    const QList<MemberStatus>& statuses() const { return statuses_; }
    const QList<MemberTotal>& totals() const { return totals_; }
    // The first ten members' own tables (when asked for), each with a row per interval of 9 cells.
    const QList<QList<QStringList>>& memberTables() const { return memberTables_; }
    const QList<NumberedMember>& members() const { return members_; }

private:
    void takeRecords(int index, int volumeDecimals);

    DataRoot root_;
    std::shared_ptr<const database::GroupFiles> ownGroups_; // root's Group folder, when none was given
    const database::GroupFiles* groups_;
    database::Storage& storage_;
    Notifier& notifier_;
    int languageIndex_;
    SummaryRequest request_;
    QString periodBegin_;
    QString periodEnd_;
    QList<NumberedMember> members_;
    QList<IntervalRow> intervals_;
    QList<MemberStatus> statuses_;
    QList<MemberTotal> totals_;
    QList<QList<QStringList>> memberTables_;
    int next_ = 0;
    bool opened_ = false;
    bool finished_ = false;
    bool cancelled_ = false;
    QString failure_;
};

// Current\tr_gr.000: the heights of the summary window's member status and member totals panels (150
// each when the file is missing or a line does not read).
struct SummaryPanelSizes {
    int statusHeight = 150;
    int totalsHeight = 150;
};
SummaryPanelSizes loadSummaryPanelSizes(const DataRoot& root);
bool saveSummaryPanelSizes(const DataRoot& root, const SummaryPanelSizes& sizes);

// Runs a selection through: open, then every step. Empty when every member was taken, else the refusal
// or the failure.
QString runGroupSummary(GroupSummary& summary, const SummaryRequest& request);

} // namespace tarn::polling
