#pragma once
// The statistical listings of a stored metering point ("Стат.дан."): its hourly or daily records with
// the columns the user chose, its operative and service records and its instantaneous measurements,
// one line a record. A listing can also go into a CSV file: the same lines, the bars turned into the
// list delimiter.
#include "common/DataRoot.h"
#include "reports/CommercialReport.h"

#include <array>

namespace tarn::reports {

enum class ListingArchive { Daily = 1, Hourly = 2, Alarm = 3, Operative = 4, Service = 5, Measurement = 6 };

// The columns of the hourly and daily listings, in their fixed order.
inline constexpr int kStatColumns = 18;
struct StatColumns {
    std::array<bool, kStatColumns> on{};
    bool any() const;
    static QString title(int column, bool ukrainian);
    static int width(int column);
};
// Current\PutSet.000: one line of eighteen "1"/"0". A missing file chooses number, date, time, the
// volumes at working and standard conditions, pressure, temperature and the flags.
StatColumns loadStatColumns(const DataRoot& root);
bool saveStatColumns(const DataRoot& root, const StatColumns& columns);

struct ListingOptions {
    ListingArchive archive = ListingArchive::Daily;
    ReportPeriod period = ReportPeriod::Month;
    QDate begin;
    QDate end;
    StatColumns columns;
    bool ukrainian = false;
    bool unclosedDays = true; // the abnormal situations of a gas day not closed yet are listed too
};

struct ListingLine {
    enum Kind { Title, Point, Header, Rule, Row, Totals, Note };
    Kind kind = Row;
    QString text;
    // A table line's padded cells, the CSV file's fields, as the places in text of the bar that closes
    // each (the first cell begins after the line's opening bar): a cell may hold a bar of its own (the
    // "И/В" pair "*|-"), so the text alone does not say where the columns are. Empty for the other lines.
    QList<int> cellEnds;
    // The padded cells, read from text.
    QList<QStringView> cells() const;
};

// A table line: "|" + each cell padded to its width + "|", where the padded cells end kept as its fields.
ListingLine tableLine(ListingLine::Kind kind, const QStringList& cells, const QList<int>& widths);

struct Listing {
    QList<ListingLine> lines;
    QString error;
    QStringList text() const;
};

// stop() is asked before each record; true ends the listing there (F10).
Listing buildPointListing(const ReportSource& source, const ReportHeader& header,
                          const ListingOptions& options, const QDateTime& now,
                          const std::function<bool()>& stop = {});

// What a member's part of a group listing adds to the group's "Итог:" line.
struct MemberListingTotals {
    int records = 0;
    double alarmWorking = 0;
    double alarmStandard = 0;
    qint64 alarmMinutes = 0;
};

struct ListingMember {
    const ReportSource* source = nullptr;
    ReportHeader header;
};

// A group's listing record by record (the operative, service and instantaneous archives and the alarm
// archive in its "Отдельн. запись" form): the group's title, then each member's two lines and records as
// the point's listing prints them, closed by "Итог:" with the number of points and records (and, for
// the alarm archive, the abnormal-situation volumes and duration).
Listing buildMembersListing(const QString& groupName, const QList<ListingMember>& members,
                            const ListingOptions& options, const QDateTime& now,
                            const std::function<bool()>& stop = {});

// The title line: "/" + object (with "/месяц", "/сутки" or "/период") + the archive's word + the period
// + " Составлен:" + now + "/". The object is "кор.* " + model + " N " + serial, or "груп.*" + group name.
QString listingTitle(const QString& object, ListingArchive archive, ReportPeriod period, const QDate& first,
                     const QDate& last, const QDateTime& now, bool ukrainian);

// The CSV lines of a listing: the title as one field; headers, rows (and totals when wanted) with their
// cells as fields, each followed by the delimiter (a line without cells: its text split at the bars, a
// bar in the first position dropped); no rules. Fields are quoted as csvField does.
QStringList listingCsv(const Listing& listing, QChar delimiter, bool totals);
// Stat_CSV\<id>_<letter><YYMMDD>.csv: the letter is "d", "h", "o" or "i"; a group's file is "g_…".
QString defaultListingCsvName(const QString& identifier, ListingArchive archive, const QDate& today);

} // namespace tarn::reports
