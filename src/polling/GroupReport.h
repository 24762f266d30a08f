#pragma once
// The statistical listing of a group's hourly or daily archive, made from the group summary tables: the
// whole-group table (with the day lines "итоги за сутки" when asked), the breakdown by member, and the
// member matrix that only the CSV file receives. The columns are the listing's own, as chosen in
// Current\PutSet.000; the lines carry their kinds so that the CSV copy leaves out rules and empty lines.
#include "database/GroupFiles.h"
#include "polling/GroupSummary.h"
#include "reports/StatListing.h"

namespace tarn::polling {

// The summary tables a listing is made from (a copy, so a window may close behind it).
struct GroupReportTables {
    QString groupName;
    bool hourly = false;
    QList<IntervalRow> intervals;
    QList<MemberStatus> statuses;
    QList<MemberTotal> totals;
    QList<QList<QStringList>> memberTables; // the first ten members', 9 cells a row
    static GroupReportTables of(const GroupSummary& summary);
};

enum class GroupReportForm {
    WholeGroup, // "общая таблица"
    Breakdown,  // "разбивка по корректорам"
    Matrix,     // "сводная таблица группы": the CSV file only
};

struct GroupReportOptions {
    GroupReportForm form = GroupReportForm::WholeGroup;
    bool dayTotals = false; // "итоги за сутки": hourly whole-group table and matrix
    reports::StatColumns columns;
    bool ukrainian = false;
};

// Rows counted into one day line, from the first row of the period (not from midnight).
inline constexpr int kRowsPerDayLine = 24;

// The lines of the whole-group table or of the breakdown (none for the matrix); the caller puts the
// title line in front.
QList<reports::ListingLine> groupReportLines(const GroupReportTables& tables,
                                             const GroupReportOptions& options);

// The member matrix as CSV lines: a header, a line per interval (and a day line every 24 rows when
// asked), and the period line. Every line has the same number of fields, each ended by the delimiter.
QStringList groupMatrixCsv(const GroupReportTables& tables, bool dayTotals, QChar delimiter);

// The period of a group listing as the report window gives it: the days of the period kind; hourly,
// a month or a day runs from 00:00 of its first day to 23:00 of its last, a period from the begin's
// date and time to the end's. The error is the report's ("ОШИБКА!!! НАЧАЛО > КОНЦА", the date format).
struct GroupListingPeriod {
    QDate first;
    QDate last;
    QDateTime from;
    QDateTime to;
    QString error;
};
GroupListingPeriod groupListingPeriod(reports::ReportPeriod period, bool hourly, const QDateTime& begin,
                                      const QDateTime& end, bool ukrainian);

// A begin or end of a group listing as typed: "dd.MM.yyyy HH:mm", or a date alone. A bare begin date is
// its 00:00; a bare end date is its last hour, 23:00, so that the period takes that whole day in as a
// day's or a month's listing does. Invalid when the text is neither.
QDateTime groupListingTime(const QString& text, bool end);

// "/груп.*" + name + … : the listing's title line for a group.
QString groupListingTitle(const QString& groupName, bool hourly, reports::ReportPeriod period,
                          const GroupListingPeriod& days, const QDateTime& now, bool ukrainian);

// A whole group listing: the title, then the form's lines; the CSV lines beside it when a delimiter is
// given (the matrix for the matrix form, else every line but rules and empty ones, totals included).
struct GroupListing {
    reports::Listing listing;
    QStringList csv;
};
GroupListing buildGroupListing(const GroupReportTables& tables, const GroupReportOptions& options,
                               const QString& title, std::optional<QChar> csvDelimiter);

// A group's listing record by record (operative, service, instantaneous, and the alarm archive in its
// "Отдельн. запись" form) from the stored records of its registered members. Refused without a group,
// with a group that does not exist or with dates that make no period (the message in error); a member
// without its parameter file stops it with "Внимание!!! Нет файла параметров для корректора - …",
// which the notifier has shown (stopped is set then).
struct GroupMembersListing {
    reports::Listing listing;
    bool stopped = false;
};
// The group is looked for in groups; the overload without them looks in root's Group folder.
GroupMembersListing groupMembersListing(const DataRoot& root, const database::GroupFiles& groups,
                                        database::Storage& storage, Notifier& notifier, int languageIndex,
                                        const QString& groupName, const reports::ListingOptions& options,
                                        const QDateTime& now, const std::function<bool()>& stop = {});
GroupMembersListing groupMembersListing(const DataRoot& root, database::Storage& storage, Notifier& notifier,
                                        int languageIndex, const QString& groupName,
                                        const reports::ListingOptions& options, const QDateTime& now,
                                        const std::function<bool()>& stop = {});

} // namespace tarn::polling
