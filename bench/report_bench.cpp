// Benchmark, not a test: a period report over a year, then over ten years, of one point's stored hourly
// records with the hourly calculation (every gas day summed and averaged from its hours), against the
// plain SELECT of the same rows with every value read, timed in the same run on the same files. The ratio
// says what building the report adds to reading its rows. Each is the best of several runs, the two
// taken in turns. Over the year, two more a user waits for, against the same SELECT: the hourly listing
// with its CSV copy (the listing's lines, the CSV lines and the CSV file's bytes in Windows-1251, as the
// database window and tarn-cli's listing --csv make them), and the archive graph's data (the records
// selected and four curves built from them, as the graph window and tarn-cli graph do before drawing).
//
// Usage: report-bench [repeats [years]]: years 1 runs the year's cases alone (for a profiler). The files go
// under the temporary folder (TMPDIR).
#include "common/TextFile.h"
#include "database/Registry.h"
#include "database/Storing.h"
#include "database/TableFile.h"
#include "graphs/GraphSources.h"
#include "reports/CommercialReport.h"
#include "reports/StatListing.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <tuple>
#include <utility>

using namespace tarn;

namespace {

constexpr int kHoursInYear = 8760;

struct Reading final : database::ArchiveRows {
    std::array<QList<QStringList>, 7> tables;
    int rowCount(int archive) const override { return static_cast<int>(tables[archive - 1].size()); }
    QString cell(int archive, int column, int row) const override {
        return tables[archive - 1].value(row).value(column);
    }
};

// Hours and their gas days (contract hour 9) from the first of January 2023 on, as a corrector gives them.
Reading recordsOfHours(int hours) {
    Reading r;
    const QDateTime start(QDate(2023, 1, 1), QTime(10, 0), Qt::UTC);
    double dayWork = 0;
    int days = 0;
    for (int h = 0; h < hours; ++h) {
        const QDateTime end = start.addSecs(3600LL * h);
        const double work = 12.0 + 3.0 * std::sin(h * 0.26);
        dayWork += work;
        r.tables[0].append({QString::number(h), end.toString(QStringLiteral("dd.MM.yyyy")),
                            end.toString(QStringLiteral("HH:mm")), QString::number(work, 'f', 2),
                            QString::number(work * 1.04, 'f', 2), QStringLiteral("0.00"),
                            QStringLiteral("0.00"),
                            QString::number(1.033 + 0.004 * std::sin(h * 0.37), 'f', 3),
                            QString::number(5.0 + 4.0 * std::sin(h * 0.26), 'f', 2), QStringLiteral("0.9980"),
                            QStringLiteral("1.0400"), QStringLiteral("xxx/xxxxxxxxxxxx")});
        if (end.time().hour() == 9) {
            r.tables[1].append({QString::number(days++), end.toString(QStringLiteral("dd.MM.yyyy")),
                                QStringLiteral("09:00"), QString::number(dayWork, 'f', 2),
                                QString::number(dayWork * 1.04, 'f', 2), QStringLiteral("0.00"),
                                QStringLiteral("0.00"), QStringLiteral("1.033"), QStringLiteral("5.00"),
                                QStringLiteral("0.9980"), QStringLiteral("1.0400"),
                                QStringLiteral("120000.00"), QStringLiteral("xxx"),
                                QStringLiteral("000000000000000000000000090000000"), QString(),
                                QStringLiteral("150000.00")});
            dayWork = 0;
        }
    }
    return r;
}

// The fastest of repeats runs of each, taken in turns (a, b, a, b, ...): on a machine shared with other
// work, a burst of load then falls on both sides of the ratio alike instead of on one block of runs.
template <typename A, typename B> std::pair<double, double> bestInTurns(int repeats, A&& a, B&& b) {
    double fastestA = std::numeric_limits<double>::max(), fastestB = fastestA;
    auto timed = [](auto& run) {
        QElapsedTimer timer;
        timer.start();
        run();
        return static_cast<double>(timer.nsecsElapsed()) / 1e9;
    };
    for (int i = 0; i < repeats; ++i) {
        fastestA = std::min(fastestA, timed(a));
        fastestB = std::min(fastestB, timed(b));
    }
    return {fastestA, fastestB};
}

struct CaseResult {
    int selected = 0;
    double select = 0;
    double report = 0;
    int lines = 0;
    // Over the year only: the hourly listing with its CSV copy, and the graph's data.
    double listing = 0;
    int listingLines = 0;
    int csvBytes = 0;
    double graph = 0;
    int graphPoints = 0;
};

// Stores the hours of the years in a fresh installation and times the SELECT and the report over them.
std::optional<CaseResult> runCase(int years, int repeats) {
    const int hours = years * kHoursInYear;
    QTemporaryDir dir;
    const DataRoot root(dir.path());
    root.createFolders();
    database::writeMissingSchemaFiles(root);
    const database::Schemas schemas = database::loadSchemas(root);
    database::SqliteStorage storage(root, schemas);
    database::Point point;
    point.identifier = QStringLiteral("t12345");
    point.serial = QStringLiteral("12345");
    point.model = QStringLiteral("ТАРН-2.01");
    database::Registry(root, schemas).add(point);
    database::StoreContext context;
    context.identifier = point.identifier;
    context.serial = point.serial;
    context.model = point.model;
    const database::StoreResult stored =
        database::storeReading(root, schemas, recordsOfHours(hours), context);
    if (!stored.ok || stored.kinds[0].stored != hours) {
        std::fprintf(stderr, "storing failed: %s\n", qPrintable(stored.error));
        return std::nullopt;
    }

    // The gas day of the last stored hour (which ends at 09:00: the hours are whole days); the first
    // begins on the first of January 2023 at 09:01.
    const QDate lastDay =
        QDateTime(QDate(2023, 1, 1), QTime(10, 0)).addSecs(3600LL * (hours - 1) - 3600LL * 9 - 60).date();
    const QDateTime from(QDate(2023, 1, 1), QTime(9, 1)), to(lastDay.addDays(1), QTime(9, 0));
    CaseResult result;
    auto select = [&] {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench"));
        db.setDatabaseName(database::tablePath(root, database::TableKind::Hourly, point.identifier));
        db.open();
        {
            QSqlQuery q(db);
            q.setForwardOnly(true);
            q.prepare(QStringLiteral(
                "SELECT * FROM \"h_t12345\" WHERE \"hIdentif\" <> '0' AND \"hDT_Corr\" >= ? AND "
                "\"hDT_Corr\" <= ? ORDER BY \"hDT_Corr\", \"hNum\""));
            q.addBindValue(database::storedTimestamp(from));
            q.addBindValue(database::storedTimestamp(to));
            q.exec();
            result.selected = 0;
            const int columns = q.record().count();
            while (q.next()) {
                for (int c = 0; c < columns; ++c)
                    q.value(c);
                ++result.selected;
            }
        }
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("bench"));
    };

    reports::ReportOptions options;
    options.period = reports::ReportPeriod::Range;
    options.begin = QDate(2023, 1, 1);
    options.end = lastDay;
    options.hourlyCalculation = true;
    reports::ReportHeader header;
    header.model = point.model;
    header.serial = point.serial;
    const reports::DatabaseSource source(storage, point.identifier);
    auto report = [&] {
        const reports::ReportLines built = reports::buildCommercialReport(
            source, header, options, QDateTime(lastDay.addDays(40), QTime(12, 0)));
        result.lines = static_cast<int>(built.lines.size());
    };
    std::tie(result.select, result.report) = bestInTurns(repeats, select, report);
    if (years != 1) return result;

    // The year's hours listed with the columns a new installation shows, and the CSV copy as it is
    // written (the file's bytes; where it goes is the disk's business, not the program's).
    reports::ListingOptions listingOptions;
    listingOptions.archive = reports::ListingArchive::Hourly;
    listingOptions.period = reports::ReportPeriod::Range;
    listingOptions.begin = options.begin;
    listingOptions.end = options.end;
    listingOptions.columns = reports::loadStatColumns(root);
    auto listing = [&] {
        const reports::Listing built = reports::buildPointListing(
            source, header, listingOptions, QDateTime(lastDay.addDays(40), QTime(12, 0)));
        // The lines a window shows: taken as it takes them.
        const QStringList shown = built.text();
        result.listingLines = static_cast<int>(shown.size());
        const QByteArray csv = textFileBytes(reports::listingCsv(built, QLatin1Char(';'), true));
        result.csvBytes = static_cast<int>(csv.size());
    };
    double selectAgain = 0;
    std::tie(selectAgain, result.listing) = bestInTurns(repeats, select, listing);
    result.select = std::min(result.select, selectAgain);

    // The graph of the same hours: the working and standard volumes, pressure and temperature.
    graphs::PointGraphRequest request;
    request.archive = graphs::GraphArchive::Hourly;
    request.ticked = {0, 1, 4, 5};
    request.begin = from;
    request.end = to;
    auto graph = [&] {
        const graphs::PointSelection selection = graphs::selectPointRecords(storage, point, request);
        const graphs::GraphPicture picture = graphs::buildPointGraph(
            selection.records, request, graphs::GraphStyle{}, graphs::GraphColours::defaults());
        result.graphPoints = 0;
        for (const graphs::GraphCurve& c : picture.curves)
            result.graphPoints += static_cast<int>(c.points.size());
    };
    std::tie(selectAgain, result.graph) = bestInTurns(repeats, select, graph);
    result.select = std::min(result.select, selectAgain);
    return result;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int repeats = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 5;
    const int onlyYears = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 0;
    qputenv("TZ", "UTC"); // no hour of the year falls into a summer-time gap
    struct Goal {
        int years;
        double seconds;
        double ratio;
    };
    const Goal goals[] = {{1, 0.3, 3.0}, {10, 0.5, 1.5}};
    std::printf("%-6s %-8s %10s %10s %8s %7s  %s\n", "years", "rows", "select_s", "report_s", "lines",
                "ratio", "goal");
    std::optional<CaseResult> year;
    for (const Goal& g : goals) {
        if (onlyYears != 0 && g.years != onlyYears) continue;
        const auto r = runCase(g.years, repeats);
        if (!r) return 1;
        if (g.years == 1) year = r;
        const bool met = r->report < g.seconds && r->report / r->select < g.ratio;
        std::printf("%-6d %-8d %10.3f %10.3f %8d %7.2f  < %.1f s, < %.1fx: %s\n", g.years, r->selected,
                    r->select, r->report, r->lines, r->report / r->select, g.seconds, g.ratio,
                    met ? "met" : "NOT met");
    }
    if (!year) return 0;
    // The year's listing and graph against the fastest SELECT of the same rows in the same run.
    constexpr double kWaitGoalRatio = 1.5;
    std::printf("\n%-22s %-8s %10s %10s %10s %7s  %s\n", "over a year", "rows", "select_s", "work_s",
                "output", "ratio", "goal");
    auto print = [&](const char* name, double seconds, int output) {
        std::printf("%-22s %-8d %10.3f %10.3f %10d %7.2f  < %.1fx: %s\n", name, year->selected, year->select,
                    seconds, output, seconds / year->select, kWaitGoalRatio,
                    seconds / year->select < kWaitGoalRatio ? "met" : "NOT met");
    };
    print("hourly listing + CSV", year->listing, year->csvBytes);
    print("graph data, 4 curves", year->graph, year->graphPoints);
    return 0;
}
