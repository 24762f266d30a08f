// The group listing made from the summary tables: the whole-group table with its day lines, the daily
// form, the breakdown by member, the member matrix of the CSV file and the CSV copy of the other forms;
// the summary window running the selection over stored records for the report window.
#include "common/Clock.h"
#include "common/Cp1251.h"
#include "common/Language.h"
#include "common/TextFile.h"
#include "corrector/CorrectorFiles.h"
#include "corrector/CorrectorTestSupport.h"
#include "corrector/DeviceValues.h"
#include "database/Registry.h"
#include "database/TableFile.h"
#include "polling/GroupReport.h"
#include "polling/windows/GroupListingRun.h"
#include "polling/windows/TfGroupSummary.h"
#include "polling/windows/TfLastRec.h"
#include "reports/windows/TPrint_ku.h"
#include "support/ParameterFileSupport.h"
#include "support/TestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::polling;
using reports::ListingLine;

namespace {

// Summary tables as the selection leaves them: members numbered from 1, each with a working volume per
// interval (none where the value is negative); the standard volume is twice the working one.
struct Tables {
    GroupReportTables t;

    Tables(bool hourly, const QDateTime& from, int rows, const QList<QList<double>>& memberVolumes) {
        t.groupName = QStringLiteral("Юг                  ");
        t.hourly = hourly;
        for (int r = 0; r < rows; ++r) {
            const QDateTime at = hourly ? from.addSecs(3600LL * r) : from.addDays(r);
            t.intervals.append({at.date(), hourly ? at.time() : QTime(), {}});
        }
        for (int m = 0; m < memberVolumes.size(); ++m) {
            MemberStatus s;
            s.number = m + 1;
            s.identifier = QStringLiteral("t0000%1").arg(m + 1);
            s.serial = QStringLiteral("0000%1").arg(m + 1);
            s.model = QStringLiteral("ТАРН-2.01");
            s.organisation = QStringLiteral("Облгаз");
            s.pipeline = QStringLiteral("нитка %1").arg(m + 1);
            MemberTotal total;
            total.number = s.number;
            total.identifier = s.identifier;
            QList<QStringList> own(rows, QStringList(9, QStringLiteral("--")));
            for (int r = 0; r < rows; ++r) {
                const double v = memberVolumes.at(m).value(r, -1.0);
                if (v < 0) continue;
                const std::array<double, kSummarySums> values{v, 2 * v, 0, 0, v, 2 * v};
                const RecordFlags flags =
                    RecordFlags::ofStatus(r == 1 && m == 0 ? QStringLiteral("-И-") : QStringLiteral("---"));
                t.intervals[r].sums.add(values, flags);
                total.sums.add(values, flags);
                own[r] = t.intervals.at(r).cells(hourly);
                own[r][7] = sumText(2 * v);
            }
            if (s.number == 1 || total.sums.filled) {
                s.begin = t.intervals.first().cells(hourly).at(0);
                s.end = t.intervals.last().cells(hourly).at(0);
                s.comment = QStringLiteral("мало данных");
            }
            if (!total.sums.filled) s.comment = QStringLiteral("нет данных");
            t.statuses.append(s);
            t.totals.append(total);
            if (m < kMemberTables) t.memberTables.append(own);
        }
    }
};

reports::StatColumns columns(std::initializer_list<int> on) {
    reports::StatColumns c;
    for (int i : on)
        c.on[static_cast<std::size_t>(i)] = true;
    return c;
}
// Every column the group forms fill.
const reports::StatColumns kAll = columns({0, 1, 2, 3, 4, 5, 6, 12, 13, 14, 15, 16});

QStringList linesOf(const QList<ListingLine>& lines, ListingLine::Kind kind) {
    QStringList out;
    for (const ListingLine& l : lines)
        if (l.kind == kind) out.append(l.text);
    return out;
}

// A table line's cells, blanks around them removed.
QStringList cellsOf(const QString& line) {
    QStringList cells = line.split(QLatin1Char('|'));
    cells = cells.mid(1, cells.size() - 2);
    for (QString& c : cells)
        c = c.trimmed();
    return cells;
}

TEST(GroupReport, HourlyTableWithDayLinesCountsBlocksFromTheFirstRow) {
    // Three members over 30 hours from 10:00: the first block of 24 rows ends at 09:00 the next day.
    const QList<double> each(30, 1.0);
    Tables tables(true, QDateTime(QDate(2024, 3, 1), QTime(10, 0)), 30, {each, each, each});
    GroupReportOptions o;
    o.columns = kAll;
    o.dayTotals = true;
    const QList<ListingLine> lines = groupReportLines(tables.t, o);

    const QStringList rows = linesOf(lines, ListingLine::Row);
    const QStringList totals = linesOf(lines, ListingLine::Totals);
    ASSERT_EQ(rows.size(), 30);
    ASSERT_EQ(totals.size(), 3);
    // ном., дата, время, Vраб, Vстд, Vавр, Vстд.авр, Vраб+авр, Vстд.+ст.авр, two running, И/В
    EXPECT_EQ(cellsOf(rows.at(0)),
              (QStringList{"", "01.03.2024", "10:00", "3", "6", "0", "0", "3", "6", "3", "6", "-/-"}));
    EXPECT_EQ(cellsOf(rows.at(1)).at(11), QStringLiteral("И/-"));
    EXPECT_EQ(cellsOf(rows.at(29)).mid(1, 2), (QStringList{"02.03.2024", "15:00"}));
    EXPECT_EQ(cellsOf(rows.at(29)).mid(9, 2), (QStringList{"90", "180"}));
    EXPECT_EQ(cellsOf(totals.at(0)),
              (QStringList{"", "01.03.2024", "--", "72", "144", "0", "0", "72", "144", "--", "--", "И/-"}));
    // The short last block: its first row's date, its sums, and the flags start again.
    EXPECT_EQ(cellsOf(totals.at(1)),
              (QStringList{"", "02.03.2024", "--", "18", "36", "0", "0", "18", "36", "--", "--", "-/-"}));
    EXPECT_EQ(cellsOf(totals.at(2)),
              (QStringList{"", "итог", "--", "90", "180", "0", "0", "90", "180", "--", "--", "И/-"}));

    // The day line follows the 24th row's rule; every rule is as long as the header.
    int rowCount = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines.at(i).kind == ListingLine::Row && ++rowCount == 24) {
            EXPECT_EQ(lines.at(i + 1).kind, ListingLine::Rule);
            EXPECT_EQ(lines.at(i + 2).text, totals.at(0));
        }
        if (lines.at(i).kind == ListingLine::Rule) {
            EXPECT_EQ(lines.at(i).text.size(), lines.at(1).text.size());
        }
    }
    EXPECT_EQ(lines.at(1).kind, ListingLine::Header);
    EXPECT_EQ(lines.last().kind, ListingLine::Rule);

    // Without "итоги за сутки" the period line alone closes the table.
    o.dayTotals = false;
    EXPECT_EQ(linesOf(groupReportLines(tables.t, o), ListingLine::Totals).size(), 1);
}

TEST(GroupReport, DailyTableHasNoTimeColumnNorDayLinesAndKeepsTheChosenColumns) {
    Tables tables(false, QDateTime(QDate(2024, 3, 1), QTime(0, 0)), 30, {QList<double>(30, 2.5)});
    GroupReportOptions o;
    o.columns = columns({1, 2, 4, 16}); // дата, время, Vстд, И/В
    o.dayTotals = true;
    o.ukrainian = true;
    const QList<ListingLine> lines = groupReportLines(tables.t, o);
    EXPECT_EQ(lines.at(1).text, QStringLiteral("|дата      |Vстд        |И/В|"));
    EXPECT_EQ(lines.at(0).text, QString(1 + 11 + 13 + 4, QLatin1Char('-')));
    EXPECT_EQ(linesOf(lines, ListingLine::Row).size(), 30);
    const QStringList totals = linesOf(lines, ListingLine::Totals);
    ASSERT_EQ(totals.size(), 1);
    EXPECT_EQ(totals.first(), QStringLiteral("|підсумок  |150         |И/-|"));
}

TEST(GroupReport, BreakdownListsMembersAndSumsOnlyThoseWithData) {
    // Member 2 has no record in the period.
    Tables tables(false, QDateTime(QDate(2024, 3, 1), QTime(0, 0)), 3,
                  {{10.0, 2.5, -1}, {-1, -1, -1}, {1.5, -1, -1}});
    GroupReportOptions o;
    o.form = GroupReportForm::Breakdown;
    o.columns = kAll;
    const QList<ListingLine> lines = groupReportLines(tables.t, o);
    QStringList text;
    for (const ListingLine& l : lines)
        text.append(l.text);

    const QString rule = QString(1 + 6 * 13 + 4, QLatin1Char('-'));
    const QString header = QStringLiteral("|Vраб        |Vстд        |Vавр        |Vстд.авр    |Vраб+авр    "
                                          "|Vстд.+ст.авр|И/В|");
    const QStringList expected{
        QString(),
        QStringLiteral("орг.-\"Облгаз\" ветка-\"нитка 1\""),
        QStringLiteral("ТАРН-2.01    N00001 от 01.03.2024 до 03.03.2024"),
        rule,
        header,
        rule,
        QStringLiteral("|12.5        |25          |0           |0           |12.5        |25          |И/-|"),
        rule,
        QString(),
        QStringLiteral("орг.-\"Облгаз\" ветка-\"нитка 2\""),
        QStringLiteral("ТАРН-2.01    N00002 ** нет данных!!!"),
        QString(),
        QStringLiteral("орг.-\"Облгаз\" ветка-\"нитка 3\""),
        QStringLiteral("ТАРН-2.01    N00003 от 01.03.2024 до 03.03.2024"),
        rule,
        header,
        rule,
        QStringLiteral("|1.5         |3           |0           |0           |1.5         |3           |-/-|"),
        rule,
        QString(),
        QString(),
        QStringLiteral("итог группа \"Юг\" :"),
        rule,
        header,
        rule,
        QStringLiteral("|14          |28          |0           |0           |14          |28          |И/-|"),
        rule,
        QString(),
    };
    EXPECT_EQ(text, expected);
}

TEST(GroupReport, MatrixShowsMissingValuesAsDashesWithTheSameFieldCount) {
    // Eleven members over 26 hours: member 2 has nothing in the second hour, the eleventh no table.
    QList<QList<double>> volumes(11, QList<double>(26, 1.0));
    volumes[1][1] = -1;
    Tables tables(true, QDateTime(QDate(2024, 3, 1), QTime(0, 0)), 26, volumes);
    const QStringList csv = groupMatrixCsv(tables.t, true, QLatin1Char(';'));
    ASSERT_EQ(csv.size(), 1 + 26 + 2 + 1);
    for (const QString& line : csv) {
        EXPECT_EQ(line.count(QLatin1Char(';')), 2 + 11 + 1) << line.toStdString();
        EXPECT_TRUE(line.endsWith(QLatin1Char(';')));
    }
    EXPECT_TRUE(csv.at(0).startsWith(QStringLiteral("дата;время;нитка 1;нитка 2;")));
    EXPECT_TRUE(csv.at(0).endsWith(QStringLiteral(";нитка 11;итого по группе;")));
    EXPECT_EQ(csv.at(1), QStringLiteral("01.03.2024;00:00;2;2;2;2;2;2;2;2;2;2;--;22;"));
    EXPECT_EQ(csv.at(2), QStringLiteral("01.03.2024;01:00;2;--;2;2;2;2;2;2;2;2;--;20;"));
    // The day line after 24 rows and the short last block's; then the period.
    EXPECT_EQ(csv.at(25), QStringLiteral("01.03.2024;--;48;46;48;48;48;48;48;48;48;48;--;526;"));
    EXPECT_EQ(csv.at(28), QStringLiteral("02.03.2024;--;4;4;4;4;4;4;4;4;4;4;--;44;"));
    EXPECT_EQ(csv.at(29), QStringLiteral("итого за период;--;52;50;52;52;52;52;52;52;52;52;--;570;"));
}

TEST(GroupReport, CsvCopyLeavesOutRulesAndEmptyLinesButKeepsTotals) {
    Tables tables(false, QDateTime(QDate(2024, 3, 1), QTime(0, 0)), 2, {{1.0, 2.0}, {-1, -1}});
    GroupReportOptions o;
    o.form = GroupReportForm::Breakdown;
    o.columns = columns({3, 16});
    const GroupListing whole =
        buildGroupListing(tables.t, o, QStringLiteral("/груп.*Юг/…/"), QLatin1Char(';'));
    // A line with double quotes in it is one quoted field, its quotes doubled.
    EXPECT_EQ(whole.csv, (QStringList{"/груп.*Юг/…/", "\"орг.-\"\"Облгаз\"\" ветка-\"\"нитка 1\"\"\"",
                                      "ТАРН-2.01    N00001 от 01.03.2024 до 02.03.2024", "Vраб        ;И/В;",
                                      "3           ;И/-;", "\"орг.-\"\"Облгаз\"\" ветка-\"\"нитка 2\"\"\"",
                                      "ТАРН-2.01    N00002 ** нет данных!!!", "\"итог группа \"\"Юг\"\" :\"",
                                      "Vраб        ;И/В;", "3           ;И/-;"}));
    EXPECT_EQ(whole.listing.lines.first().kind, ListingLine::Title);

    // The matrix goes to the file alone, after the title; the report keeps the title only.
    o.form = GroupReportForm::Matrix;
    const GroupListing matrix = buildGroupListing(tables.t, o, QStringLiteral("/t/"), QLatin1Char(','));
    EXPECT_EQ(matrix.listing.text(), QStringList{"/t/"});
    EXPECT_EQ(matrix.csv.first(), QStringLiteral("/t/"));
    EXPECT_EQ(matrix.csv.at(1), QStringLiteral("дата,время,нитка 1,нитка 2,итого по группе,"));
    EXPECT_EQ(matrix.csv.last(), QStringLiteral("итого за период,--,6,0,6,"));
    // Without a CSV file nothing but the listing.
    EXPECT_TRUE(buildGroupListing(tables.t, o, QStringLiteral("/t/"), std::nullopt).csv.isEmpty());
}

TEST(GroupReport, CsvFieldsKeepTheirColumnsWhenNamesHoldTheDelimiterOrQuotes) {
    Tables tables(true, QDateTime(QDate(2024, 3, 1), QTime(0, 0)), 26, {QList<double>(26, 1.0), {2.0}});
    tables.t.statuses[0].pipeline = QStringLiteral("ГРП-1, нитка 1");
    tables.t.statuses[0].organisation = QStringLiteral("ТОВ \"Газ\"");
    tables.t.groupName = QStringLiteral("Південь, \"А\"");
    const QString title = QStringLiteral("/груп.*Південь, \"А\"/…/");
    auto read = [](const QStringList& csv) {
        return test::readCsv(csv.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"), QLatin1Char(','));
    };
    GroupReportOptions o;
    o.columns = kAll;
    o.dayTotals = true;
    for (const GroupReportForm form : {GroupReportForm::WholeGroup, GroupReportForm::Breakdown}) {
        o.form = form;
        const GroupListing listing = buildGroupListing(tables.t, o, title, QLatin1Char(','));
        const auto records = read(listing.csv);
        ASSERT_TRUE(records);
        ASSERT_EQ(records->size(), listing.csv.size());
        EXPECT_EQ(records->first(), QStringList{title});
        // Every table line has the header's fields; a line that is no table line is one field, its text.
        const qsizetype fields = 12 + 1; // the shown columns and the empty field after the last delimiter
        int tableLines = 0;
        for (qsizetype i = 1; i < records->size(); ++i) {
            if (records->at(i).size() == 1) {
                EXPECT_FALSE(listing.csv.at(i).endsWith(QLatin1Char(','))) << listing.csv.at(i).toStdString();
                continue;
            }
            ++tableLines;
            const qsizetype expected = form == GroupReportForm::WholeGroup ? fields : 7 + 1;
            EXPECT_EQ(records->at(i).size(), expected) << listing.csv.at(i).toStdString();
        }
        EXPECT_GT(tableLines, 3);
        if (form == GroupReportForm::Breakdown) {
            EXPECT_EQ(records->at(1), QStringList{"орг.-\"ТОВ \"Газ\"\" ветка-\"ГРП-1, нитка 1\""});
            EXPECT_EQ(records->at(records->size() - 3), QStringList{"итог группа \"Південь, \"А\"\" :"});
        }
    }
    o.form = GroupReportForm::Matrix;
    const auto matrix = read(buildGroupListing(tables.t, o, title, QLatin1Char(',')).csv);
    ASSERT_TRUE(matrix);
    ASSERT_EQ(matrix->size(), 1 + 1 + 26 + 2 + 1);
    EXPECT_EQ(matrix->at(1),
              (QStringList{"дата", "время", "ГРП-1, нитка 1", "нитка 2", "итого по группе", ""}));
    for (qsizetype i = 1; i < matrix->size(); ++i)
        EXPECT_EQ(matrix->at(i).size(), 6) << i;
}

TEST(GroupReport, ABareEndDateTakesItsWholeDayIn) {
    struct Case {
        const char* text;
        bool end;
        QDateTime expected;
    };
    const QList<Case> cases{
        {"05.03.2024", false, QDateTime(QDate(2024, 3, 5), QTime(0, 0))},
        {"05.03.2024", true, QDateTime(QDate(2024, 3, 5), QTime(23, 0))},
        {"05.03.2024 07:00", true, QDateTime(QDate(2024, 3, 5), QTime(7, 0))},
        {" 05.03.2024 07:30 ", false, QDateTime(QDate(2024, 3, 5), QTime(7, 30))},
        {"5.3.24", true, QDateTime()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(groupListingTime(QString::fromUtf8(c.text), c.end), c.expected) << c.text;
    // Hourly over one bare date: the 24 hours of that day, as a day's listing of the group has them.
    const GroupListingPeriod day = groupListingPeriod(
        reports::ReportPeriod::Range, true, groupListingTime(QStringLiteral("05.03.2024"), false),
        groupListingTime(QStringLiteral("05.03.2024"), true), false);
    const GroupListingPeriod asDay =
        groupListingPeriod(reports::ReportPeriod::Day, true, QDateTime(QDate(2024, 3, 5), QTime(0, 0)),
                           QDateTime(QDate(2024, 3, 5), QTime(0, 0)), false);
    EXPECT_EQ(day.from, asDay.from);
    EXPECT_EQ(day.to, asDay.to);
}

TEST(GroupReport, PeriodOfTheReportWindow) {
    using reports::ReportPeriod;
    const QDateTime begin(QDate(2024, 2, 10), QTime(7, 30)), end(QDate(2024, 2, 12), QTime(5, 0));
    const GroupListingPeriod month = groupListingPeriod(ReportPeriod::Month, true, begin, end, false);
    EXPECT_EQ(month.from, QDateTime(QDate(2024, 2, 1), QTime(0, 0)));
    EXPECT_EQ(month.to, QDateTime(QDate(2024, 2, 29), QTime(23, 0)));
    const GroupListingPeriod range = groupListingPeriod(ReportPeriod::Range, true, begin, end, false);
    EXPECT_EQ(range.from, begin);
    EXPECT_EQ(range.to, end);
    EXPECT_EQ(groupListingTitle(QStringLiteral("Юг   "), true, ReportPeriod::Range, range,
                                QDateTime(QDate(2024, 3, 1), QTime(8, 0, 5)), false),
              QStringLiteral("/груп.*Юг/период/часов.архив** с 10.02.2024 по 12.02.2024 Составлен:01.03.2024 "
                             "08:00:05/"));
    // The same day with the begin after the end.
    EXPECT_EQ(groupListingPeriod(ReportPeriod::Range, true, end.addSecs(3600), end, false).error,
              QStringLiteral("ОШИБКА!!! НАЧАЛО > КОНЦА"));
    EXPECT_TRUE(
        groupListingPeriod(ReportPeriod::Range, false, end.addSecs(3600), end, false).error.isEmpty());
}

// Two stored points of a group "Юг", each with its parameter file, and their daily records.
struct StoredGroup {
    test::TempHome home;
    test::RecordingNotifier notifier;
    database::Schemas schemas;
    database::SqliteStorage storage{home.root(), schemas};

    StoredGroup() {
        database::writeMissingSchemaFiles(home.root());
        schemas = database::loadSchemas(home.root());
        database::Registry registry(home.root(), schemas);
        QStringList ids;
        for (int serial : {11111, 22222}) {
            database::Point p;
            p.identifier = QStringLiteral("t%1").arg(serial);
            p.serial = QString::number(serial);
            p.model = QStringLiteral("ТАРН-2.01");
            p.config[database::config::Flags] = QStringLiteral("01100000000");
            EXPECT_TRUE(registry.add(p, QDateTime(QDate(2024, 3, 10), QTime(12, 0))));
            writeParameterFile(p.identifier, serial);
            ids.append(p.identifier);
            for (int day = 1; day <= 2; ++day)
                addDaily(p.identifier, QDate(2024, 3, day), serial == 11111 ? 10.0 : 2.5);
        }
        Group g;
        g.name = QStringLiteral("Юг");
        for (const QString& line : registry.pollingList())
            g.members.append({ids.contains(line.right(10).trimmed()), line});
        const GroupSaveResult r = saveGroup(home.root(), {{}, {}, g}, kRussian, QDateTime::currentDateTime(),
                                            [](const QString&) { return true; });
        EXPECT_TRUE(r.error.isEmpty());
    }

    void writeParameterFile(const QString& identifier, int serial) {
        ASSERT_TRUE(test::writeMemberParameterFile(home.root(), identifier, serial, {},
                                                   QStringLiteral("нитка %1").arg(serial)));
    }

    void addAlarm(const QString& id, const QDateTime& when, const char* current, const char* previous) {
        auto table =
            database::TableFile::open(database::tablePath(home.root(), database::TableKind::Alarm, id),
                                      database::TableKind::Alarm, schemas.of(database::TableKind::Alarm));
        ASSERT_TRUE(table);
        ASSERT_TRUE(table->append({{QStringLiteral("aIdentif"), id},
                                   {QStringLiteral("aDate"), database::storedDate(when.date())},
                                   {QStringLiteral("aTime"), database::storedTime(when.time())},
                                   {QStringLiteral("aCodeCur"), QString::fromLatin1(current)},
                                   {QStringLiteral("aCodePrec"), QString::fromLatin1(previous)},
                                   {QStringLiteral("aDT_Corr"), database::storedTimestamp(when)}}));
    }

    void addDaily(const QString& id, const QDate& day, double working) {
        auto table =
            database::TableFile::open(database::tablePath(home.root(), database::TableKind::Daily, id),
                                      database::TableKind::Daily, schemas.of(database::TableKind::Daily));
        ASSERT_TRUE(table);
        ASSERT_TRUE(table->append(
            {{QStringLiteral("dIdentif"), id},
             {QStringLiteral("dSerialNum"), id.mid(1)},
             {QStringLiteral("dTypeQuon"), QStringLiteral("ТАРН-2.01")},
             {QStringLiteral("dDate"), database::storedDate(day)},
             {QStringLiteral("dTime"), database::storedTime(QTime(9, 0))},
             {QStringLiteral("dVwrk"), working},
             {QStringLiteral("dVst"), working * 2},
             {QStringLiteral("dValwrk"), 0.0},
             {QStringLiteral("dValst"), 0.0},
             {QStringLiteral("dHelp"), QStringLiteral("---")},
             {QStringLiteral("dDT_Corr"), database::storedTimestamp(QDateTime(day, QTime(9, 0)))},
             {QStringLiteral("dVwrk_alwrk"), working},
             {QStringLiteral("dVst_alwrk"), working * 2}}));
    }
};

TEST(GroupSummaryWindow, RunsMemberByMemberThenOffersTheFormsAndKeepsThePanelSizes) {
    StoredGroup db;
    TfGroupSummary window(db.home.root(), db.storage, db.notifier, kRussian);
    window.stepIntervalMs = 1;
    SummaryRequest request;
    request.groupName = QStringLiteral("Юг");
    request.from = QDateTime(QDate(2024, 3, 1), QTime(0, 0));
    request.to = QDateTime(QDate(2024, 3, 3), QTime(0, 0));
    SummaryRequest unnamed = request;
    unnamed.groupName = QStringLiteral("   ");
    EXPECT_EQ(window.open(unnamed), QStringLiteral("Не выбрана группа!!!"));
    ASSERT_EQ(window.open(request), QString());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("\"отчет\" - подготовка данных группы  : \"Юг\""));
    EXPECT_EQ(window.periodEndField()->text(), QStringLiteral("03.03.2024"));
    EXPECT_FALSE(window.continueButton()->isVisibleTo(&window));
    EXPECT_EQ(window.tabs()->count(), 1);

    window.start();
    ASSERT_TRUE(test::waitUntil([&] { return window.continueButton()->isVisibleTo(&window); }));
    EXPECT_EQ(window.gauge()->value(), 2);
    EXPECT_EQ(window.statusTable()->item(1, 8)->text(), QStringLiteral("мало данных"));
    window.breakdownChoice()->setChecked(true);
    EXPECT_FALSE(window.dayTotalsBox()->isEnabled());
    EXPECT_EQ(window.form(), GroupReportForm::Breakdown);
    window.continueButton()->click();
    EXPECT_EQ(window.result(), QDialog::Accepted);
    const auto sizes = readTextLines(db.home.root().file(folder::Current, QStringLiteral("tr_gr.000")));
    ASSERT_TRUE(sizes);
    EXPECT_EQ(sizes->size(), 2);
}

TEST(GroupSummaryWindow, ReportListingThroughTheWindowWithTheMatrixForTheCsvFile) {
    StoredGroup db;
    GroupListingRequest r;
    r.root = db.home.root();
    r.storage = &db.storage;
    r.languageIndex = kRussian;
    r.archive = reports::ListingArchive::Daily;
    r.period = reports::ReportPeriod::Range;
    r.begin = QDateTime(QDate(2024, 3, 1), QTime(0, 0));
    r.end = QDateTime(QDate(2024, 3, 2), QTime(0, 0));
    r.columns = columns({1, 3, 13, 16});
    r.now = QDateTime(QDate(2024, 3, 10), QTime(12, 0));
    r.summaryShown = [](TfGroupSummary& w) {
        w.stepIntervalMs = 1;
        ASSERT_TRUE(test::waitUntil([&] { return w.continueButton()->isVisibleTo(&w); }));
        w.continueButton()->click();
    };
    // No group: refused before any window.
    EXPECT_FALSE(runGroupStatListing(r, db.notifier, nullptr).ok);
    EXPECT_EQ(db.notifier.messages.last().second, QStringLiteral("Не выбрана группа!!!"));

    r.groupName = QStringLiteral("Юг");
    const GroupListingResult whole = runGroupStatListing(r, db.notifier, nullptr);
    ASSERT_TRUE(whole.ok);
    EXPECT_EQ(
        whole.lines.first(),
        QStringLiteral(
            "/груп.*Юг/период/суточ.архив** с 01.03.2024 по 02.03.2024 Составлен:10.03.2024 12:00:00/"));
    EXPECT_TRUE(whole.lines.contains(QStringLiteral("|итог      |25          |50          |-/-|")));

    r.matrix = true;
    const GroupListingResult matrix = runGroupStatListing(r, db.notifier, nullptr);
    ASSERT_TRUE(matrix.ok);
    EXPECT_EQ(matrix.lines.size(), 1);
    EXPECT_EQ(matrix.csv.mid(1),
              (QStringList{"дата;время;нитка 11111;нитка 22222;итого по группе;", "01.03.2024;--;20;5;25;",
                           "02.03.2024;--;20;5;25;", "итого за период;--;40;10;50;"}));

    // Hours over a period are asked about first; "no" stops.
    r.archive = reports::ListingArchive::Hourly;
    EXPECT_FALSE(runGroupStatListing(r, db.notifier, nullptr).ok);
    EXPECT_EQ(db.notifier.questions.last(), QStringLiteral("Часовые данные печатать?"));
}

TEST(GroupReportWindow, AGroupsAlarmArchiveRecordByRecordListsEveryMemberAndClosesWithTheTotals) {
    StoredGroup db;
    db.addAlarm(QStringLiteral("t11111"), QDateTime(QDate(2024, 3, 1), QTime(14, 0)), "0008", "0000");
    db.addAlarm(QStringLiteral("t11111"), QDateTime(QDate(2024, 3, 1), QTime(15, 30)), "0000", "0008");
    reports::TPrint_ku::Input input;
    input.root = db.home.root();
    input.language = kRussian;
    input.databaseOnly = true;
    input.storage = &db.storage;
    input.askSavePath = [](const QString&, const QString&) { return QString(); };
    reports::TPrint_ku window(std::move(input), db.notifier);
    reports::ReportOptions o;
    o.period = reports::ReportPeriod::Range;
    o.begin = QDate(2024, 3, 1);
    o.end = QDate(2024, 3, 2);
    window.setOptions(o);
    window.setStatistical(true, reports::ListingArchive::Alarm);
    window.setGroupObject(true);
    window.groupChoice()->setCurrentText(QStringLiteral("Юг"));
    window.alarmRecordsChoice()->setChecked(true);

    ASSERT_TRUE(window.buildAndShow()) << db.notifier.texts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(db.notifier.questions.last(), QStringLiteral("Аварии по не закрытым суткам печатать?"));
    const QStringList work = window.workLines();
    EXPECT_TRUE(work.first().startsWith(QStringLiteral("/груп.*Юг/период/авар.архив *")));
    EXPECT_TRUE(work.contains(QStringLiteral("корректор..... ТАРН-2.01 N11111")));
    EXPECT_TRUE(work.contains(QStringLiteral("корректор..... ТАРН-2.01 N22222")));
    // The unclosed day's records were not wanted: nothing of the group is listed, and the totals say so.
    EXPECT_EQ(work.last(), QStringLiteral("Итог: корректоров - 2, записей - 0, Vраб.авр. - 0, "
                                          "Vст.у.авр. - 0, продолж. - 0:00"));
    db.notifier.answer = true;
    ASSERT_TRUE(window.buildAndShow());
    EXPECT_TRUE(window.viewer()->toPlainText().contains(QStringLiteral("записей - 2,")));

    // The CSV copy carries "Итог:" only with the totals line asked for.
    const QString csvPath = db.home.path(folder::StatCsv, QStringLiteral("south.csv"));
    ASSERT_TRUE(window.exportCsvTo(csvPath, true));
    // With the comma as the delimiter the line is one quoted field.
    const auto csv = test::readCsvFile(csvPath, QLatin1Char(','));
    ASSERT_TRUE(csv);
    ASSERT_EQ(csv->last().size(), 1);
    EXPECT_TRUE(csv->last().first().startsWith(QStringLiteral("Итог: корректоров - 2, записей - 2,")));

    // A member without its parameter file stops the listing with its name.
    QFile::remove(db.home.path(folder::Param, QStringLiteral("p_t22222.000")));
    EXPECT_FALSE(window.buildAndShow());
    EXPECT_EQ(db.notifier.texts().last(),
              QStringLiteral("Внимание!!! Нет файла параметров для корректора - ТАРН-2.01 N22222"));
}

} // namespace

TEST(GroupMemberListWindow, ARightClickChoosesTheMemberAndOpensTheConsolesPointMenu) {
    StoredGroup g;
    TfGroupList window(g.home.root(), g.notifier);
    QStringList chosen;
    int menus = 0;
    window.selectPoint = [&](const QString& model, const QString& serial) {
        chosen.append(model + QLatin1Char(' ') + serial);
        return true;
    };
    window.showPointMenu = [&](const QPoint&) { ++menus; };
    window.show();
    window.showGroup(g.storage, loadGroup(g.home.root(), loadGroupList(g.home.root()).first().file));
    // The passes run beside the window's event loop; the list is there once they have ended.
    EXPECT_TRUE(window.building());
    ManualClock clock;
    ASSERT_TRUE(clock.runUntil([&] { return !window.building(); }));
    ASSERT_EQ(window.lines()->count(), 2);
    const QRect second = window.lines()->visualItemRect(window.lines()->item(1));
    emit window.lines()->customContextMenuRequested(second.center());
    EXPECT_EQ(menus, 1);
    EXPECT_EQ(chosen.value(0), QStringLiteral("ТАРН-2.01 22222"));
    EXPECT_EQ(window.chosenIdentifier(), QStringLiteral("t22222"));
    // Below the last member there is no point: no menu.
    emit window.lines()->customContextMenuRequested(QPoint(second.center().x(), second.bottom() + 200));
    EXPECT_EQ(menus, 1);
}
