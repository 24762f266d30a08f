// Benchmark, not a test: the same installation kept in table files and in a schema on a PostgreSQL server,
// each through the program's own code, in the same run on the same machine:
//   - storing: every point's hourly records and days go through storeReading() into both storages,
//     point by point in turns, which goes first alternating (the registration of each point timed
//     apart), with the ratio of each hundred points besides the whole run's;
//   - a period report of one point over the stored span with the hourly calculation (the report
//     service's source and the commercial report builder), the best of several runs in turns;
//   - the group summary of 50 points over the span's last month (hourly and daily), as the group
//     windows select it, the best of several runs in turns.
// Each prints both storages' figures and the server's against the files'.
//
// Usage: postgres-bench --url URL [--points N] [--days D] [--repeats R]. URL names the server's database
// and a schema for the run (postgresql://USER@/DB?host=/socket/folder&schema=NAME); the schema is made
// fresh. The table files go under the temporary folder (TMPDIR).
#include "common/Notifier.h"
#include "corrector/CorrectorFiles.h"
#include "corrector/DeviceValues.h"
#include "corrector/ModelProfile.h"
#include "corrector/Reading.h"
#include "database/Registry.h"
#include "database/Storing.h"
#include "database/postgres/PgStorage.h"
#include "polling/GroupSummary.h"
#include "polling/Groups.h"
#include "reports/CommercialReport.h"
#include "reports/ReportService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

using namespace tarn;
using namespace tarn::database;

namespace {

constexpr int kGroupMembers = 50;
// The points of one line of the storing's trend.
constexpr int kPointsPerBlock = 100;
const QString kGroupName = QStringLiteral("Bench");

struct Options {
    QString url;
    int points = 1000;
    int days = 365;
    int repeats = 5;
};

struct Reading final : ArchiveRows {
    std::array<QList<QStringList>, 7> tables;
    int rowCount(int archive) const override { return static_cast<int>(tables[archive - 1].size()); }
    QString cell(int archive, int column, int row) const override {
        return tables[archive - 1].value(row).value(column);
    }
};

QString fixed(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

// The records of days of a small boiler house from the first of January 2023, newest first as the
// corrector gives them: hours ending at 10:00 onwards, and each gas day closing at 09:00.
Reading recordsOfDays(int dayCount) {
    Reading r;
    const int hours = dayCount * 24;
    const QDateTime start(QDate(2023, 1, 1), QTime(10, 0), Qt::UTC);
    double dayWork = 0;
    double meter = 120000.0;
    int days = 0;
    for (int h = 0; h < hours; ++h) {
        const QDateTime end = start.addSecs(3600LL * h);
        const double season = std::cos(2 * std::numbers::pi * h / 8760.0);
        const double work = 12.0 + 6.0 * season + 3.0 * std::sin(2 * std::numbers::pi * (h % 24) / 24.0);
        const double pressure = 1.033 + 0.004 * std::sin(h * 0.37);
        const double temperature = 5.0 - 12.0 * season;
        const double factor = pressure / 1.033 * 293.15 / (273.15 + temperature) / 0.998;
        dayWork += work;
        r.tables[0].prepend({QString::number(h % 65536), end.toString(QStringLiteral("dd.MM.yyyy")),
                             end.toString(QStringLiteral("HH:mm")), fixed(work, 2), fixed(work * factor, 2),
                             QStringLiteral("0.00"), QStringLiteral("0.00"), fixed(pressure, 3),
                             fixed(temperature, 2), QStringLiteral("0.9980"), fixed(factor, 4),
                             QStringLiteral("xxx/xxxxxxxxxxxx")});
        if (end.time().hour() == 9) {
            meter += dayWork;
            r.tables[1].prepend({QString::number(days++), end.toString(QStringLiteral("dd.MM.yyyy")),
                                 QStringLiteral("09:00"), fixed(dayWork, 2), fixed(dayWork * 1.04, 2),
                                 QStringLiteral("0.00"), QStringLiteral("0.00"), QStringLiteral("1.033"),
                                 fixed(temperature, 2), QStringLiteral("0.9980"), QStringLiteral("1.0400"),
                                 fixed(meter, 2), QStringLiteral("xxx"), QString(32, QLatin1Char('0')),
                                 QString(), fixed(meter * 1.04, 2)});
            dayWork = 0;
        }
    }
    return r;
}

QString identifierOf(int point) {
    return QStringLiteral("t%1").arg(10000 + point);
}

Point pointOf(int index) {
    Point p;
    p.identifier = identifierOf(index);
    p.serial = QString::number(10000 + index);
    p.model = QStringLiteral("ТАРН-2.01");
    return p;
}

StoreContext contextOf(const Point& p) {
    StoreContext c;
    c.identifier = p.identifier;
    c.serial = p.serial;
    c.model = p.model;
    c.gasName = QStringLiteral("природный");
    return c;
}

// A member's parameter file, as storing after a full read leaves it: the group summary reads each
// member's from the installation's files, whichever storage keeps the tables.
bool writeParameterFile(const DataRoot& root, const Point& p) {
    corrector::Reading r;
    QByteArray raw(32, ' ');
    raw[0] = 'A';
    raw.replace(11, 4, "V46a");
    r.identification = corrector::IdentificationString(raw);
    r.profile = corrector::DeriveModelProfile(r.identification, 0);
    QByteArray memory(192 * 4, '\0');
    memory.replace(99 * 4, 4, corrector::i32Bytes(p.serial.toInt()));
    for (int page = 0; page < 3; ++page)
        r.image.DecodePage(64 * page, memory.mid(64 * page * 4, 256), r.profile);
    return corrector::completeFullRead(r) &&
           corrector::writePointParameterFile(r, corrector::pointParameterFilePath(root, p.identifier));
}

class QuietNotifier final : public Notifier {
public:
    void message(MessageKind, const QString& text) override {
        std::fprintf(stderr, "postgres-bench: %s\n", qPrintable(text));
    }
    bool confirm(const QString&) override { return true; }
};

double seconds(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

// The fastest of repeats runs of each, taken in turns, so that load from other work falls on both.
template <typename A, typename B> std::pair<double, double> bestInTurns(int repeats, A&& a, B&& b) {
    double fastestA = std::numeric_limits<double>::max(), fastestB = fastestA;
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!a()) return {-1, -1};
        fastestA = std::min(fastestA, seconds(timer));
        timer.start();
        if (!b()) return {-1, -1};
        fastestB = std::min(fastestB, seconds(timer));
    }
    return {fastestA, fastestB};
}

int fail(const QString& why) {
    std::fprintf(stderr, "postgres-bench: %s\n", qPrintable(why));
    return 1;
}

std::optional<Options> parseOptions(const QStringList& args) {
    Options o;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args.at(i);
        const QString value = args.value(i + 1);
        bool ok = true;
        if (a == QLatin1String("--url")) {
            o.url = value;
        } else if (a == QLatin1String("--points")) {
            o.points = value.toInt(&ok);
        } else if (a == QLatin1String("--days")) {
            o.days = value.toInt(&ok);
        } else if (a == QLatin1String("--repeats")) {
            o.repeats = value.toInt(&ok);
        } else {
            return std::nullopt;
        }
        ++i;
        // A whole calendar month stored, for the group summary.
        if (!ok || o.points < 1 || o.days < 62 || o.repeats < 1) return std::nullopt;
    }
    if (o.url.isEmpty() || o.points < kGroupMembers) return std::nullopt;
    return o;
}

void printPair(const char* what, double files, double server, const QString& goal) {
    std::printf("%-34s %12.3f %12.3f %7.2f  %s\n", what, files, server, server / files, qPrintable(goal));
}

} // namespace

int main(int argc, char** argv) {
    // The records are consecutive hours, as a corrector that knows no summer time keeps them: read in a
    // zone with a clock change, one of them would fall into the missing hour.
    qputenv("TZ", "UTC");
    tzset();
    QCoreApplication app(argc, argv);
    const auto options = parseOptions(app.arguments());
    if (!options) {
        std::fprintf(stderr,
                     "usage: postgres-bench --url URL [--points N (50 or more)] [--days D (62 or more)] "
                     "[--repeats R]\n");
        return 2;
    }
    QString why;
    const auto url = postgres::parseDatabaseUrl(options->url, &why);
    if (!url) return fail(why);

    QTemporaryDir dir;
    const DataRoot root(dir.path());
    if (!dir.isValid() || !root.createFolders() || !writeMissingSchemaFiles(root))
        return fail(QStringLiteral("cannot lay out an installation under ") + dir.path());
    const Schemas schemas = loadSchemas(root);
    if (!schemas.ok) return fail(schemas.error);
    SqliteStorage files(root, schemas);
    Error error;
    std::unique_ptr<postgres::PgStorage> server = postgres::PgStorage::open(*url, schemas, error);
    if (!server) return fail(error.detail);

    const QDateTime now(QDate(2023, 1, 1).addDays(options->days + 2), QTime(12, 0));
    const Reading reading = recordsOfDays(options->days);
    const int rowsPerPoint = reading.rowCount(1) + reading.rowCount(2);
    const qint64 rows = static_cast<qint64>(rowsPerPoint) * options->points;
    std::printf("%d points x %d days: %d hourly and %d daily records a point, %lld rows into each storage\n",
                options->points, options->days, reading.rowCount(1), reading.rowCount(2),
                static_cast<long long>(rows));
    std::fflush(stdout);

    // Storing, point by point, into both storages in turns, the one that goes first changing with each
    // point: a burst of load from other work, or a checkpoint of the server's, falls on both alike, and
    // neither always meets the other's dirty pages in the disk's cache. The ratio of each block of
    // points shows how it moves as the tables grow.
    double registerFiles = 0, registerServer = 0, storeFiles = 0, storeServer = 0;
    double blockFiles = 0, blockServer = 0;
    int blockStart = 0;
    std::vector<std::string> blocks;
    QElapsedTimer progress;
    progress.start();
    for (int i = 0; i < options->points; ++i) {
        const Point p = pointOf(i);
        if (!writeParameterFile(root, p)) return fail(QStringLiteral("cannot write a parameter file"));
        Storage* const filesFirst[] = {&files, server.get()};
        Storage* const serverFirst[] = {server.get(), &files};
        for (Storage* storage : i % 2 == 0 ? filesFirst : serverFirst) {
            const bool onServer = storage != &files;
            QElapsedTimer timer;
            timer.start();
            Registry registry(root, *storage);
            if (!registry.add(p, now)) return fail(registry.error());
            (onServer ? registerServer : registerFiles) += seconds(timer);
            timer.start();
            const StoreResult stored = storeReading(root, *storage, reading, contextOf(p), {}, now);
            const double took = seconds(timer);
            (onServer ? storeServer : storeFiles) += took;
            (onServer ? blockServer : blockFiles) += took;
            if (!stored.ok) return fail(stored.error);
            if (stored.kinds[0].stored + stored.kinds[1].stored != rowsPerPoint)
                return fail(QStringLiteral("%1 stored %2 of %3 records")
                                .arg(p.identifier)
                                .arg(stored.kinds[0].stored + stored.kinds[1].stored)
                                .arg(rowsPerPoint));
        }
        if ((i + 1) % kPointsPerBlock == 0 || i + 1 == options->points) {
            const double blockRows = static_cast<double>(rowsPerPoint) * (i + 1 - blockStart);
            char line[160];
            std::snprintf(line, sizeof line, "  points %4d-%-4d %12.0f %12.0f %7.2f", blockStart + 1, i + 1,
                          blockRows / blockFiles, blockRows / blockServer, blockServer / blockFiles);
            blocks.emplace_back(line);
            blockStart = i + 1;
            blockFiles = blockServer = 0;
        }
        if (progress.elapsed() > 30000 || i + 1 == options->points) {
            std::fprintf(stderr, "  %d of %d points stored (files %.0f s, server %.0f s)\n", i + 1,
                         options->points, storeFiles, storeServer);
            progress.restart();
        }
    }

    std::printf("\n%-34s %12s %12s %7s  %s\n", "", "files", "server", "ratio", "goal");
    std::printf("%-34s %12.0f %12.0f %7.2f  %s\n", "store, rows/s", rows / storeFiles, rows / storeServer,
                storeServer / storeFiles, storeServer <= 2 * storeFiles ? "<= 2x: met" : "<= 2x: NOT met");
    std::printf("%-34s %12.1f %12.1f %7.2f\n", "store, seconds", storeFiles, storeServer,
                storeServer / storeFiles);
    std::printf("%-34s %12.2f %12.2f %7.2f\n", "registering a point, ms",
                1000 * registerFiles / options->points, 1000 * registerServer / options->points,
                registerServer / registerFiles);
    std::printf("store by blocks of points, rows/s\n");
    for (const std::string& line : blocks)
        std::printf("%s\n", line.c_str());
    std::fflush(stdout);

    // A period report of the first point over every whole gas day stored.
    const QDate firstDay(2023, 1, 1);
    const QDate lastDay = firstDay.addDays(options->days - 2);
    reports::ReportOptions reportOptions;
    reportOptions.period = reports::ReportPeriod::Range;
    reportOptions.begin = firstDay;
    reportOptions.end = lastDay;
    reportOptions.hourlyCalculation = true;
    const Point first = pointOf(0);
    reports::ReportHeader header;
    header.model = first.model;
    header.serial = first.serial;
    int lines[2] = {0, 0};
    auto reportOn = [&](Storage& storage, int& lineCount) {
        return [&storage, &lineCount, &root, &first, &header, &reportOptions, &now] {
            const reports::ReportService service(root, storage);
            const auto source = service.storedSource(first.identifier);
            if (!source) return false;
            lineCount = static_cast<int>(
                reports::buildCommercialReport(*source, header, reportOptions, now).lines.size());
            return lineCount > 0;
        };
    };
    const auto [reportFiles, reportServer] =
        bestInTurns(options->repeats, reportOn(files, lines[0]), reportOn(*server, lines[1]));
    if (reportFiles < 0) return fail(QStringLiteral("the report failed"));
    if (lines[0] != lines[1])
        return fail(QStringLiteral("the reports differ: %1 and %2 lines").arg(lines[0]).arg(lines[1]));
    printPair("period report of one point, s", reportFiles, reportServer,
              QStringLiteral("< 0.3 s: ") + (reportServer < 0.3 ? "met" : "NOT met"));
    std::fflush(stdout);

    // The group summary of the first 50 points over the last whole month stored.
    polling::Group group;
    group.name = kGroupName;
    group.flags = QStringLiteral("0110000000");
    const QStringList polled = Registry(root, files).pollingList();
    for (qsizetype i = 0; i < std::min<qsizetype>(kGroupMembers, polled.size()); ++i)
        group.members.append({true, polled.at(i)});
    const polling::GroupSaveResult saved =
        polling::saveGroup(root, {{}, {}, group}, 1, now, [](const QString&) { return true; });
    if (!saved.error.isEmpty()) return fail(saved.error);
    const QDate monthEnd = QDate(lastDay.year(), lastDay.month(), 1).addDays(-1);
    const QDate monthBegin(monthEnd.year(), monthEnd.month(), 1);
    QuietNotifier notifier;
    for (const polling::SummaryArchive archive :
         {polling::SummaryArchive::Hourly, polling::SummaryArchive::Daily}) {
        polling::SummaryRequest request;
        request.groupName = kGroupName;
        request.archive = archive;
        request.from = QDateTime(monthBegin, QTime(0, 0));
        request.to = QDateTime(monthEnd, QTime(23, 59));
        qsizetype intervals[2] = {0, 0};
        auto summaryOn = [&](Storage& storage, qsizetype& count) {
            return [&storage, &count, &root, &notifier, &request] {
                polling::GroupSummary summary(root, storage, notifier, 1);
                const QString refused = polling::runGroupSummary(summary, request);
                if (!refused.isEmpty()) {
                    std::fprintf(stderr, "postgres-bench: %s\n", qPrintable(refused));
                    return false;
                }
                count = summary.intervals().size();
                return summary.finished();
            };
        };
        const auto [summaryFiles, summaryServer] =
            bestInTurns(options->repeats, summaryOn(files, intervals[0]), summaryOn(*server, intervals[1]));
        if (summaryFiles < 0) return fail(QStringLiteral("the group summary failed"));
        if (intervals[0] != intervals[1])
            return fail(QStringLiteral("the group summaries differ: %1 and %2 intervals")
                            .arg(intervals[0])
                            .arg(intervals[1]));
        const bool hourly = archive == polling::SummaryArchive::Hourly;
        printPair(hourly ? "group summary, hours of a month, s" : "group summary, days of a month, s",
                  summaryFiles, summaryServer,
                  QStringLiteral("< 1 s: ") + (summaryServer < 1.0 ? "met" : "NOT met"));
    }
    std::printf("(%d members, %s to %s; report %d lines, %s to %s)\n", static_cast<int>(group.members.size()),
                qPrintable(monthBegin.toString(Qt::ISODate)), qPrintable(monthEnd.toString(Qt::ISODate)),
                lines[0], qPrintable(firstDay.toString(Qt::ISODate)),
                qPrintable(lastDay.toString(Qt::ISODate)));
    return 0;
}
