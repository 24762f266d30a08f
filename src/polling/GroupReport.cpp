#include "polling/GroupReport.h"
#include "polling/TextCells.h"

#include "common/Csv.h"
#include "common/Language.h"
#include "corrector/VolumePrecision.h"
#include "reports/ParameterPrintout.h"
#include "reports/ReportData.h"
#include "reports/ReportHeaders.h"
#include "reports/ReportText.h"

#include <memory>

namespace tarn::polling {

namespace {

using reports::ListingLine;
using reports::StatColumns;

// The listing's columns the group forms fill.
enum Column {
    Date = 1,
    Time = 2,
    Work = 3,
    Standard = 4,
    Alarm = 5,
    AlarmStandard = 6,
    WorkTotal = 12,
    StandardTotal = 13,
    WorkRunning = 14,
    StandardRunning = 15,
    Flags = 16,
};
// The six sums of the summary, in its order, and the columns that show them.
constexpr int kSumColumns[kSummarySums] = {Work, Standard, Alarm, AlarmStandard, WorkTotal, StandardTotal};
// The columns of a member's line and of the group's line in the breakdown.
const QList<int> kBreakdownColumns{Work, Standard, Alarm, AlarmStandard, WorkTotal, StandardTotal, Flags};

using Values = std::array<double, kSummarySums>;

struct Accumulator {
    Values values{};
    RecordFlags flags;
    void add(const Values& v, const RecordFlags& f) {
        for (int i = 0; i < kSummarySums; ++i)
            values[i] += v[i];
        flags |= f;
    }
};

class Table {
public:
    Table(const StatColumns& chosen, bool hourly, const QList<int>& among) {
        for (int c : among)
            if (chosen.on[static_cast<std::size_t>(c)] && (hourly || c != Time)) columns_.append(c);
    }
    QString rule() const {
        int length = 1;
        for (int c : columns_)
            length += StatColumns::width(c) + 1;
        return reports::dashes(length);
    }
    ListingLine header(bool ukrainian) const {
        QHash<int, QString> titles;
        for (int c : columns_)
            titles.insert(c, StatColumns::title(c, ukrainian));
        return line(ListingLine::Header, titles);
    }
    // A column without a text is left blank.
    ListingLine line(ListingLine::Kind kind, const QHash<int, QString>& cells) const {
        QStringList shown;
        QList<int> widths;
        for (int c : columns_) {
            shown.append(cells.value(c));
            widths.append(StatColumns::width(c));
        }
        return reports::tableLine(kind, shown, widths);
    }

private:
    QList<int> columns_;
};

QList<int> allColumns() {
    QList<int> all;
    for (int c = 0; c < reports::kStatColumns; ++c)
        all.append(c);
    return all;
}

// Sums in their columns with the flags; the running columns as given.
QHash<int, QString> sumCells(const Values& values, const RecordFlags& flags) {
    QHash<int, QString> cells;
    for (int i = 0; i < kSummarySums; ++i)
        cells.insert(kSumColumns[i], sumText(values[i]));
    cells.insert(Flags, flags.text());
    return cells;
}

class Builder {
public:
    Builder(const GroupReportTables& t, const GroupReportOptions& o) : t_(t), o_(o) {}

    QList<ListingLine> wholeGroup();
    QList<ListingLine> breakdown();

private:
    void add(ListingLine::Kind kind, const QString& text) { out_.append({kind, text, {}}); }
    int language() const { return languageOf(o_.ukrainian); }
    void tableBlock(const Table& table, ListingLine::Kind kind, const QHash<int, QString>& cells) {
        add(ListingLine::Rule, table.rule());
        out_.append(table.header(o_.ukrainian));
        add(ListingLine::Rule, table.rule());
        out_.append(table.line(kind, cells));
        add(ListingLine::Rule, table.rule());
    }

    const GroupReportTables& t_;
    const GroupReportOptions& o_;
    QList<ListingLine> out_;
};

QList<ListingLine> Builder::wholeGroup() {
    const Table table(o_.columns, t_.hourly, allColumns());
    add(ListingLine::Rule, table.rule());
    out_.append(table.header(o_.ukrainian));
    add(ListingLine::Rule, table.rule());
    const bool dayLines = t_.hourly && o_.dayTotals;
    Accumulator period, day;
    QDate dayFirst;
    for (qsizetype r = 0; r < t_.intervals.size(); ++r) {
        const IntervalRow& row = t_.intervals.at(r);
        // A row without records adds nothing: its values are still 0.
        period.add(row.sums.values, row.sums.flags);
        if (t_.hourly) {
            if (r % kRowsPerDayLine == 0) dayFirst = row.date;
            day.add(row.sums.values, row.sums.flags);
        }
        const QStringList rowCells = row.cells(t_.hourly); // дата, время, the six sums, флаги
        QHash<int, QString> cells{{Date, rowCells.at(0)}, {Time, rowCells.at(1)}, {Flags, rowCells.at(8)}};
        for (int i = 0; i < kSummarySums; ++i)
            cells.insert(kSumColumns[i], rowCells.at(2 + i));
        cells.insert(WorkRunning, sumText(period.values[4]));
        cells.insert(StandardRunning, sumText(period.values[5]));
        out_.append(table.line(ListingLine::Row, cells));
        add(ListingLine::Rule, table.rule());
        const bool blockEnds = (r + 1) % kRowsPerDayLine == 0 || r + 1 == t_.intervals.size();
        if (dayLines && blockEnds) {
            QHash<int, QString> dayCells = sumCells(day.values, day.flags);
            dayCells.insert(Date, dayFirst.toString(QStringLiteral("dd.MM.yyyy")));
            dayCells.insert(Time, kNone);
            dayCells.insert(WorkRunning, kNone);
            dayCells.insert(StandardRunning, kNone);
            out_.append(table.line(ListingLine::Totals, dayCells));
            add(ListingLine::Rule, table.rule());
            day = {};
        }
    }
    QHash<int, QString> cells = sumCells(period.values, period.flags);
    cells.insert(Date, uaRu(language(), "підсумок", "итог"));
    cells.insert(Time, kNone);
    cells.insert(WorkRunning, kNone);
    cells.insert(StandardRunning, kNone);
    out_.append(table.line(ListingLine::Totals, cells));
    add(ListingLine::Rule, table.rule());
    return out_;
}

QList<ListingLine> Builder::breakdown() {
    const Table table(o_.columns, t_.hourly, kBreakdownColumns);
    const QString noData = QStringLiteral("нет данных");
    Accumulator group;
    add(ListingLine::Note, QString());
    for (qsizetype m = 0; m < t_.statuses.size(); ++m) {
        const MemberStatus& s = t_.statuses.at(m);
        add(ListingLine::Row, QStringLiteral("орг.-\"") + s.organisation + QStringLiteral("\" ветка-\"") +
                                  s.pipeline + QLatin1Char('"'));
        const bool withData = s.comment != noData;
        add(ListingLine::Row,
            reports::pad(s.model, 12) + QStringLiteral(" N") + s.serial +
                (withData ? QStringLiteral(" от ") + s.begin + QStringLiteral(" до ") + s.end
                          : QStringLiteral(" ** ") + s.comment + QStringLiteral("!!!")));
        const MemberTotal* total = m < t_.totals.size() ? &t_.totals.at(m) : nullptr;
        if (withData && total && total->sums.filled) {
            group.add(total->sums.values, total->sums.flags);
            tableBlock(table, ListingLine::Row, sumCells(total->sums.values, total->sums.flags));
        }
        add(ListingLine::Note, QString());
    }
    add(ListingLine::Note, QString());
    add(ListingLine::Totals, uaRu(language(), "підсумок група \"", "итог группа \"") +
                                 t_.groupName.trimmed() + QStringLiteral("\" :"));
    tableBlock(table, ListingLine::Totals, sumCells(group.values, group.flags));
    add(ListingLine::Note, QString());
    return out_;
}

// A member's standard total in an interval, when its own table has one.
std::optional<double> memberValue(const GroupReportTables& t, qsizetype member, qsizetype row) {
    constexpr int kStandardTotalCell = 7;
    if (member >= t.memberTables.size()) return std::nullopt;
    const QString cell = t.memberTables.at(member).value(row).value(kStandardTotalCell);
    bool ok = false;
    const double v = cell.toDouble(&ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

} // namespace

GroupReportTables GroupReportTables::of(const GroupSummary& summary) {
    GroupReportTables t;
    t.groupName = summary.groupName();
    t.hourly = summary.hourly();
    t.intervals = summary.intervals();
    t.statuses = summary.statuses();
    t.totals = summary.totals();
    t.memberTables = summary.memberTables();
    return t;
}

QList<ListingLine> groupReportLines(const GroupReportTables& tables, const GroupReportOptions& options) {
    Builder b(tables, options);
    switch (options.form) {
    case GroupReportForm::WholeGroup:
        return b.wholeGroup();
    case GroupReportForm::Breakdown:
        return b.breakdown();
    case GroupReportForm::Matrix:
        break;
    }
    return {};
}

QStringList groupMatrixCsv(const GroupReportTables& t, bool dayTotals, QChar d) {
    const qsizetype members = t.statuses.size();
    // A member beyond the tenth has no table of its own: "--" in its column throughout.
    auto hasTable = [&t](qsizetype m) { return m < t.memberTables.size(); };
    QStringList out;
    QStringList header{QStringLiteral("дата"), QStringLiteral("время")};
    for (const MemberStatus& s : t.statuses)
        header.append(s.pipeline);
    header.append(QStringLiteral("итого по группе"));
    out.append(csvLine(header, d));

    QList<double> memberPeriod(members, 0.0), memberDay(members, 0.0);
    double groupPeriod = 0.0, groupDay = 0.0;
    auto sumsLine = [&](const QString& first, const QList<double>& memberSums, double groupSum) {
        QStringList fields{first, kNone};
        for (qsizetype m = 0; m < members; ++m)
            fields.append(hasTable(m) ? sumText(memberSums.at(m)) : kNone);
        fields.append(sumText(groupSum));
        return csvLine(fields, d);
    };
    QDate dayFirst;
    for (qsizetype r = 0; r < t.intervals.size(); ++r) {
        const IntervalRow& row = t.intervals.at(r);
        if (r % kRowsPerDayLine == 0) dayFirst = row.date;
        const QStringList cells = row.cells(t.hourly);
        QStringList fields{cells.at(0), cells.at(1)};
        for (qsizetype m = 0; m < members; ++m) {
            const std::optional<double> v = memberValue(t, m, r);
            fields.append(v ? t.memberTables.at(m).at(r).at(7) : kNone);
            memberPeriod[m] += v.value_or(0.0);
            memberDay[m] += v.value_or(0.0);
        }
        fields.append(cells.at(7));
        out.append(csvLine(fields, d));
        groupPeriod += row.sums.values[5];
        groupDay += row.sums.values[5];
        const bool blockEnds = (r + 1) % kRowsPerDayLine == 0 || r + 1 == t.intervals.size();
        if (t.hourly && dayTotals && blockEnds) {
            out.append(sumsLine(dayFirst.toString(QStringLiteral("dd.MM.yyyy")), memberDay, groupDay));
            memberDay.fill(0.0);
            groupDay = 0.0;
        }
    }
    out.append(sumsLine(QStringLiteral("итого за период"), memberPeriod, groupPeriod));
    return out;
}

GroupListingPeriod groupListingPeriod(reports::ReportPeriod period, bool hourly, const QDateTime& begin,
                                      const QDateTime& end, bool ukrainian) {
    GroupListingPeriod p;
    const reports::ReportDays days = reports::reportDays(period, begin.date(), end.date(), ukrainian);
    p.error = days.error;
    if (!p.error.isEmpty()) return p;
    p.first = days.first;
    p.last = days.last;
    if (hourly && period == reports::ReportPeriod::Range) {
        p.from = QDateTime(begin.date(), QTime(begin.time().hour(), begin.time().minute()));
        p.to = QDateTime(end.date(), QTime(end.time().hour(), end.time().minute()));
        if (p.from > p.to)
            p.error = uaRu(languageOf(ukrainian), "ПОМИЛКА! ПОЧАТОК > КІНЦЯ", "ОШИБКА!!! НАЧАЛО > КОНЦА");
    } else {
        p.from = QDateTime(p.first, QTime(0, 0));
        p.to = QDateTime(p.last, hourly ? QTime(23, 0) : QTime(0, 0));
    }
    return p;
}

QDateTime groupListingTime(const QString& text, bool end) {
    const QDateTime full = QDateTime::fromString(text.trimmed(), QStringLiteral("dd.MM.yyyy HH:mm"));
    if (full.isValid()) return full;
    const QDate date = QDate::fromString(text.trimmed(), QStringLiteral("dd.MM.yyyy"));
    if (!date.isValid()) return {};
    return QDateTime(date, end ? QTime(23, 0) : QTime(0, 0));
}

QString groupListingTitle(const QString& groupName, bool hourly, reports::ReportPeriod period,
                          const GroupListingPeriod& days, const QDateTime& now, bool ukrainian) {
    return reports::listingTitle(QStringLiteral("груп.*") + groupName.trimmed(),
                                 hourly ? reports::ListingArchive::Hourly : reports::ListingArchive::Daily,
                                 period, days.first, days.last, now, ukrainian);
}

GroupListing buildGroupListing(const GroupReportTables& tables, const GroupReportOptions& options,
                               const QString& title, std::optional<QChar> csvDelimiter) {
    GroupListing out;
    out.listing.lines.append({ListingLine::Title, title, {}});
    out.listing.lines.append(groupReportLines(tables, options));
    if (!csvDelimiter) return out;
    if (options.form == GroupReportForm::Matrix)
        out.csv = QStringList{csvField(title, *csvDelimiter)} +
                  groupMatrixCsv(tables, options.dayTotals, *csvDelimiter);
    else
        // The group forms' totals go into the file whatever "Строка итогов" says.
        out.csv = reports::listingCsv(out.listing, *csvDelimiter, true);
    return out;
}

GroupMembersListing groupMembersListing(const DataRoot& root, database::Storage& storage, Notifier& notifier,
                                        int languageIndex, const QString& groupName,
                                        const reports::ListingOptions& options, const QDateTime& now,
                                        const std::function<bool()>& stop) {
    return groupMembersListing(root, database::FolderGroupFiles(root), storage, notifier, languageIndex,
                               groupName, options, now, stop);
}

GroupMembersListing groupMembersListing(const DataRoot& root, const database::GroupFiles& groups,
                                        database::Storage& storage, Notifier& notifier, int languageIndex,
                                        const QString& groupName, const reports::ListingOptions& options,
                                        const QDateTime& now, const std::function<bool()>& stop) {
    GroupMembersListing out;
    if (groupName.trimmed().isEmpty()) {
        out.listing.error = uaRu(languageIndex, "Не вибрано групу!!!", "Не выбрана группа!!!");
        return out;
    }
    const auto entry = findGroupByName(groups, groupName);
    if (!entry) {
        out.listing.error = uaRu(languageIndex, "НЕ ВИЗНАЧЕНА ГРУПА", "НЕ ОПРЕДЕЛЕНА ГРУППА");
        return out;
    }
    const database::Registry registry(root, storage);
    const QList<NumberedMember> members = registeredMembers(loadGroup(groups, entry->file), registry);
    // Every member's parameter file is looked for before a line is made.
    for (const NumberedMember& m : members) {
        if (const auto missing = reports::missingParameterFile(
                root, m.point.identifier, m.point.model.trimmed(), m.point.serial.trimmed())) {
            notifier.message(MessageKind::Warning, *missing);
            out.stopped = true;
            return out;
        }
    }
    std::vector<std::unique_ptr<reports::DatabaseSource>> sources;
    QList<reports::ListingMember> listed;
    const int volumeDecimals = corrector::loadVolumePrecision(root).decimals;
    for (const NumberedMember& m : members) {
        sources.push_back(std::make_unique<reports::DatabaseSource>(storage, m.point.identifier));
        listed.append({sources.back().get(), reports::headerFromPoint(m.point, volumeDecimals)});
    }
    out.listing = reports::buildMembersListing(groupName, listed, options, now, stop);
    return out;
}

} // namespace tarn::polling
