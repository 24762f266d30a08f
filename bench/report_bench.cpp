// Benchmark, not a test: a period report over a year, then over ten years, of one point's stored hourly
// records with the hourly calculation (every gas day summed and averaged from its hours), against the
// plain SELECT of the same rows with every value read, timed in the same run on the same files. The ratio
// says what building the report adds to reading its rows. Each is the best of several runs, the two
// taken in turns.
//
// Usage: report-bench [repeats]. The files go under the temporary folder (TMPDIR).
#include "database/Registry.h"
#include "database/Storing.h"
#include "database/TableFile.h"
#include "reports/CommercialReport.h"

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
    return result;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int repeats = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 5;
    qputenv("TZ", "UTC"); // no hour of the year falls into a summer-time gap
    struct Goal {
        int years;
        double seconds;
        double ratio;
    };
    const Goal goals[] = {{1, 0.3, 3.0}, {10, 0.5, 1.5}};
    std::printf("%-6s %-8s %10s %10s %8s %7s  %s\n", "years", "rows", "select_s", "report_s", "lines",
                "ratio", "goal");
    for (const Goal& g : goals) {
        const auto r = runCase(g.years, repeats);
        if (!r) return 1;
        const bool met = r->report < g.seconds && r->report / r->select < g.ratio;
        std::printf("%-6d %-8d %10.3f %10.3f %8d %7.2f  < %.1f s, < %.1fx: %s\n", g.years, r->selected,
                    r->select, r->report, r->lines, r->report / r->select, g.seconds, g.ratio,
                    met ? "met" : "NOT met");
    }
    return 0;
}
