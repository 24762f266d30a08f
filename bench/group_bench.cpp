// Benchmark, not a test: the group views over a group of 50 points with a year of records each, against
// the plain SELECT of the same rows from the same files, timed in the same run: the group summary of the
// year by day and of a month by hour (with the first ten members' own tables, as "сводная таблица
// группы" asks), and the group alarm table of the year. The ratio says what the view adds to reading its
// rows. Each is the best of several runs, the two taken in turns.
//
// The installation is made once per run through the program's own storing (storeReading, as a poll
// leaves it: 8760 hours, 365 days and 120 abnormal-situation records per point), the points registered
// and their parameter files written as storing writes them, the group saved as the configurator does.
//
// Usage: group-bench [repeats [folder]]. The files go under the temporary folder (TMPDIR), or into the
// folder named, where a second run finds them made (for profiling the views alone).
#include "common/Language.h"
#include "corrector/CorrectorFiles.h"
#include "corrector/CorrectorWindowModel.h"
#include "corrector/DeviceValues.h"
#include "corrector/Identification.h"
#include "database/Registry.h"
#include "database/Storing.h"
#include "database/TableFile.h"
#include "polling/GroupAlarms.h"
#include "polling/GroupSummary.h"
#include "polling/Groups.h"
#include "support/DetachedCorrector.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <utility>

using namespace tarn;

namespace {

constexpr int kMembers = 50;
constexpr int kHoursInYear = 8760;
constexpr int kAlarmsPerPoint = 120;
const QString kModel = QStringLiteral("ТАРН-2.01");
const QString kGroupName = QStringLiteral("Юг");

class QuietNotifier final : public Notifier {
public:
    void message(MessageKind, const QString& text) override {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }
    bool confirm(const QString&) override { return true; }
};

struct Reading final : database::ArchiveRows {
    std::array<QList<QStringList>, 7> tables;
    int rowCount(int archive) const override { return static_cast<int>(tables[archive - 1].size()); }
    QString cell(int archive, int column, int row) const override {
        return tables[archive - 1].value(row).value(column);
    }
};

// A year of hours and their gas days (contract hour 9) from the first of January 2023 on, and abnormal
// situations every few days, as a corrector gives them; the point's own phase makes the members differ.
Reading yearOfRecords(int phase) {
    Reading r;
    const QDateTime start(QDate(2023, 1, 1), QTime(10, 0), Qt::UTC);
    double dayWork = 0;
    int days = 0;
    for (int h = 0; h < kHoursInYear; ++h) {
        const QDateTime end = start.addSecs(3600LL * h);
        const double work = 12.0 + 3.0 * std::sin((h + phase) * 0.26);
        dayWork += work;
        const QString date = end.toString(QStringLiteral("dd.MM.yyyy"));
        // An intervention now and then, so that the flags are not all "-/-".
        const QString status = h % 97 == phase % 97 ? QStringLiteral("-И-") : QStringLiteral("---");
        r.tables[0].append({QString::number(h), date, end.toString(QStringLiteral("HH:mm")),
                            QString::number(work, 'f', 2), QString::number(work * 1.04, 'f', 2),
                            QStringLiteral("0.00"), QStringLiteral("0.00"),
                            QString::number(1.033 + 0.004 * std::sin(h * 0.37), 'f', 3),
                            QString::number(5.0 + 4.0 * std::sin(h * 0.26), 'f', 2), QStringLiteral("0.9980"),
                            QStringLiteral("1.0400"), status});
        if (end.time().hour() == 9) {
            r.tables[1].append({QString::number(days++), date, QStringLiteral("09:00"),
                                QString::number(dayWork, 'f', 2), QString::number(dayWork * 1.04, 'f', 2),
                                QStringLiteral("0.00"), QStringLiteral("0.00"), QStringLiteral("1.033"),
                                QStringLiteral("5.00"), QStringLiteral("0.9980"), QStringLiteral("1.0400"),
                                QStringLiteral("120000.00"), status,
                                QStringLiteral("000000000000000000000000090000000"), QString(),
                                QStringLiteral("150000.00")});
            dayWork = 0;
        }
    }
    for (int a = 0; a < kAlarmsPerPoint; ++a) {
        const QDateTime when = start.addSecs(3600LL * (a * 73 + phase % 50));
        const int situation = (a + phase) % 14; // bits 0..13
        r.tables[3].append({QString::number(a), when.toString(QStringLiteral("dd.MM.yyyy")),
                            when.toString(QStringLiteral("HH:mm")),
                            QStringLiteral("%1").arg(1u << situation, 4, 16, QLatin1Char('0')),
                            QStringLiteral("0000"), QStringLiteral("0.00"), QStringLiteral("0.00")});
    }
    return r;
}

// The member's parameter file as storing writes it: a series-1 corrector with its serial number,
// organisation and pipeline.
bool writeParameterFile(const DataRoot& root, const QString& identifier, int serial) {
    QuietNotifier notifier;
    corrector::DetachedCorrector c(notifier, kRussian);
    corrector::CorrectorWindowModel& model = c.model();
    QByteArray raw(32, ' ');
    raw[0] = 'A';
    raw.replace(11, 4, "V46a");
    const corrector::IdentificationString id(raw);
    model.setIdentification(id);
    model.setProfile(corrector::DeriveModelProfile(id, 0));
    QByteArray memory(192 * 4, '\0');
    auto text = [&memory](int word, const QByteArray& t) {
        memory.replace(word * 4, 32, t.leftJustified(32, ' '));
    };
    memory.replace(99 * 4, 4, corrector::i32Bytes(serial));
    text(113, "Gorgas " + QByteArray::number(serial));
    text(121, "line 1");
    model.StartFullRead();
    for (int page = 0; page < 3; ++page)
        model.onPageAccepted(quint16(64 * page), memory.mid(64 * page * 4, 256));
    model.onFullReadComplete();
    return corrector::writePointParameterFile(model.reading(),
                                              corrector::pointParameterFilePath(root, identifier));
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

struct Installation {
    explicit Installation(const QString& kept) : root(kept.isEmpty() ? dir.path() : kept) {}
    QTemporaryDir dir;
    DataRoot root;
    database::Schemas schemas;
    std::optional<database::SqliteStorage> storage;
    QStringList identifiers;
};

bool makeInstallation(Installation& in) {
    const bool made = QFileInfo::exists(database::tablePath(in.root, database::TableKind::Registry));
    in.root.createFolders();
    database::writeMissingSchemaFiles(in.root);
    in.schemas = database::loadSchemas(in.root);
    in.storage.emplace(in.root, in.schemas);
    if (made) {
        for (int i = 0; i < kMembers; ++i)
            in.identifiers.append(QStringLiteral("t%1").arg(10001 + i));
        return true;
    }
    const QDateTime registered(QDate(2022, 12, 1), QTime(12, 0));
    for (int i = 0; i < kMembers; ++i) {
        const int serial = 10001 + i;
        database::Point point;
        point.serial = QString::number(serial);
        point.identifier = QLatin1Char('t') + point.serial;
        point.model = kModel;
        point.config[database::config::Owner] = QStringLiteral("Облгаз");
        point.config[database::config::Flags] = QStringLiteral("01100000000");
        if (!database::Registry(in.root, *in.storage).add(point, registered)) return false;
        if (!writeParameterFile(in.root, point.identifier, serial)) return false;
        database::StoreContext context;
        context.identifier = point.identifier;
        context.serial = point.serial;
        context.model = point.model;
        const database::StoreResult stored =
            database::storeReading(in.root, in.schemas, yearOfRecords(i), context);
        if (!stored.ok || stored.kinds[0].stored != kHoursInYear) {
            std::fprintf(stderr, "storing failed: %s\n", qPrintable(stored.error));
            return false;
        }
        in.identifiers.append(point.identifier);
    }
    polling::Group group;
    group.name = kGroupName;
    group.flags = QStringLiteral("0110000000");
    for (const QString& line : database::Registry(in.root, *in.storage).pollingList())
        group.members.append({true, line});
    const polling::GroupSaveResult saved = polling::saveGroup(in.root, {{}, {}, group}, kRussian, registered,
                                                              [](const QString&) { return true; });
    if (!saved.error.isEmpty()) {
        std::fprintf(stderr, "group not saved: %s\n", qPrintable(saved.error));
        return false;
    }
    return true;
}

// The baseline: every member's table of that kind opened as a file, the rows of the span selected in
// record-time order with every value read.
int selectEveryMember(const Installation& in, database::TableKind kind, const QString& condition,
                      const QVariantList& values) {
    const QChar prefix = database::tableInfo(kind).fieldPrefix;
    int rows = 0;
    for (const QString& id : in.identifiers) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench"));
            db.setDatabaseName(database::tablePath(in.root, kind, id));
            db.open();
            QSqlQuery q(db);
            q.setForwardOnly(true);
            q.prepare(QStringLiteral("SELECT * FROM \"%1\" WHERE \"%2Identif\" <> '0' AND %3 ORDER BY "
                                     "\"%2DT_Corr\", \"%2Num\"")
                          .arg(QLatin1String(database::tableInfo(kind).name) + id, prefix, condition));
            for (const QVariant& v : values)
                q.addBindValue(v);
            q.exec();
            const int columns = q.record().count();
            while (q.next()) {
                for (int c = 0; c < columns; ++c)
                    q.value(c);
                ++rows;
            }
            q.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("bench"));
    }
    return rows;
}

struct CaseResult {
    const char* name;
    int rows = 0;
    int lines = 0;
    double select = 0;
    double view = 0;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int repeats = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 5;
    qputenv("TZ", "UTC"); // no hour of the year falls into a summer-time gap

    Installation in(argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString());
    QElapsedTimer made;
    made.start();
    if (!makeInstallation(in)) return 1;
    std::printf("installation: %d points, a year each, stored in %.1f s\n", kMembers,
                static_cast<double>(made.elapsed()) / 1000);

    QuietNotifier notifier;
    auto summaryCase = [&](const char* name, polling::SummaryArchive archive, const QDateTime& from,
                           const QDateTime& to, database::TableKind kind, const QString& condition,
                           const QVariantList& values) {
        CaseResult r{name};
        polling::SummaryRequest request;
        request.groupName = kGroupName;
        request.archive = archive;
        request.from = from;
        request.to = to;
        request.memberTables = true;
        auto view = [&] {
            polling::GroupSummary summary(in.root, *in.storage, notifier, kRussian);
            const QString failure = polling::runGroupSummary(summary, request);
            if (!failure.isEmpty()) std::fprintf(stderr, "%s\n", qPrintable(failure));
            r.lines = static_cast<int>(summary.intervals().size());
        };
        auto select = [&] { r.rows = selectEveryMember(in, kind, condition, values); };
        std::tie(r.select, r.view) = bestInTurns(repeats, select, view);
        return r;
    };

    const QDate first(2023, 1, 1), last(2023, 12, 31);
    QList<CaseResult> results;
    results.append(summaryCase("summary, days of a year", polling::SummaryArchive::Daily,
                               QDateTime(first, QTime(0, 0)), QDateTime(last, QTime(0, 0)),
                               database::TableKind::Daily,
                               QStringLiteral("\"dDate\" >= ? AND \"dDate\" <= ?"),
                               {database::storedDate(first), database::storedDate(last)}));
    const QDateTime monthFrom(QDate(2023, 6, 1), QTime(0, 0)), monthTo(QDate(2023, 6, 30), QTime(23, 0));
    results.append(summaryCase("summary, hours of a month", polling::SummaryArchive::Hourly, monthFrom,
                               monthTo, database::TableKind::Hourly,
                               QStringLiteral("\"hDT_Corr\" >= ? AND \"hDT_Corr\" <= ?"),
                               {database::storedTimestamp(monthFrom), database::storedTimestamp(monthTo)}));

    {
        CaseResult r{"alarm table, a year"};
        const QDateTime from(first, QTime(0, 0)), to(last, QTime(23, 59));
        auto view = [&] {
            const polling::GroupAlarmTable table = polling::groupAlarmTable(
                in.root, *in.storage, notifier, kRussian, kGroupName, from, to, polling::defaultAlarmMask());
            r.lines = static_cast<int>(table.lines.size());
        };
        auto select = [&] {
            r.rows = selectEveryMember(in, database::TableKind::Alarm,
                                       QStringLiteral("\"aDT_Corr\" >= ? AND \"aDT_Corr\" <= ?"),
                                       {database::storedTimestamp(from), database::storedTimestamp(to)});
        };
        std::tie(r.select, r.view) = bestInTurns(repeats, select, view);
        results.append(r);
    }

    constexpr double kGoalSeconds = 1.0;
    std::printf("%-28s %8s %8s %10s %10s %7s  %s\n", "case", "rows", "lines", "select_s", "view_s", "ratio",
                "goal");
    bool allMet = true;
    for (const CaseResult& r : results) {
        const bool met = r.view < kGoalSeconds;
        allMet = allMet && met;
        std::printf("%-28s %8d %8d %10.3f %10.3f %7.2f  < %.1f s: %s\n", r.name, r.rows, r.lines, r.select,
                    r.view, r.view / r.select, kGoalSeconds, met ? "met" : "NOT met");
    }
    return allMet ? 0 : 2;
}
