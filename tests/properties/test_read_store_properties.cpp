// Properties of read → store over seeded random archives, in process: the program's exchange engine,
// archive reader and storing against the simulated corrector on a fake port. For every seed: each
// stored row is the record the corrector holds; a second store of the same reading writes nothing; a
// gas day's hours add up to its daily record; the meter counter moves by the day's volume; no row is
// lost or invented under spoilt check bytes, and the records the re-reads could not cure are counted.
// A failure names its seed; `property_tests --seed N` replays it, `--seeds N` runs more.
#include "SeededArchive.h"
#include "Seeds.h"

#include "corrector/StoreReading.h"
#include "database/Schema.h"
#include "database/Storing.h"
#include "support/SessionRig.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QMap>
#include <algorithm>
#include <cmath>
#include <functional>
#include <iostream>
#include <map>
#include <numeric>

using namespace tarn;
using namespace tarn::test::property;
using database::TableKind;

namespace {

// Half a unit of the last decimal shown, and a little for the float the record carries.
constexpr double kVolumeTolerance = 0.005 + 1e-3;

QString dateText(const QDateTime& t) {
    return t.toString(QStringLiteral("dd.MM.yyyy"));
}
QString timeText(const QDateTime& t) {
    return t.toString(QStringLiteral("HH:mm"));
}
QString stampText(const QDateTime& t) {
    return t.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
}
QString hex4(quint16 v) {
    return QString::asprintf("%04X", v);
}

double number(const QStringList& row, int field) {
    return row.value(field).toDouble();
}

// Stored rows by their corrector record number (field 5); a number seen twice is a fault of its own.
QMap<int, QStringList> byRecordNumber(const QList<QStringList>& rows, const char* table) {
    QMap<int, QStringList> map;
    for (const auto& row : rows) {
        const int n = row.value(5).toInt();
        EXPECT_FALSE(map.contains(n)) << table << ": record " << n << " stored twice";
        map.insert(n, row);
    }
    return map;
}

// Rows are written oldest first: in the order they were appended (field 0) their times never go back.
void expectWrittenOldestFirst(QList<QStringList> rows, int stampField, const char* table) {
    std::sort(rows.begin(), rows.end(), [](const QStringList& a, const QStringList& b) {
        return a.value(0).toInt() < b.value(0).toInt();
    });
    const QString format = QStringLiteral("dd.MM.yyyy HH:mm");
    for (qsizetype i = 1; i < rows.size(); ++i)
        EXPECT_LE(QDateTime::fromString(rows[i - 1].value(stampField), format),
                  QDateTime::fromString(rows[i].value(stampField), format))
            << "written oldest first: " << table << " rows " << rows[i - 1].value(0).toStdString() << ", "
            << rows[i].value(0).toStdString();
}

// The fields every hourly, daily and monthly row shares: number, date, time, volumes and measurements.
void expectPeriodFields(const QStringList& row, const PeriodRecord& r, const char* table) {
    SCOPED_TRACE(std::string(table) + " record " + std::to_string(r.slot));
    EXPECT_EQ(row.value(6), dateText(r.end));
    EXPECT_EQ(row.value(7), timeText(r.end));
    EXPECT_NEAR(number(row, 8), r.working, kVolumeTolerance);
    EXPECT_NEAR(number(row, 9), r.standard, kVolumeTolerance);
    EXPECT_NEAR(number(row, 10), r.alarmWorking, kVolumeTolerance);
    EXPECT_NEAR(number(row, 11), r.alarmStandard, kVolumeTolerance);
    EXPECT_NEAR(number(row, 12), r.pressure1000 / 1000.0, 1e-6);
    EXPECT_NEAR(number(row, 13), r.temperature100 / 100.0, 1e-6);
    EXPECT_NEAR(number(row, 14), r.compress10000 / 10000.0, 1e-6);
    EXPECT_NEAR(number(row, 15), r.correctionRaw / (r.pressure1000 >= 6000 ? 1000.0 : 10000.0), 1e-6);
}

struct Outcome {
    corrector::StoreRequestResult first, second;
    std::map<TableKind, QList<QStringList>> rows, rowsAfterSecond;
    std::array<int, corrector::kArchiveCount> blanked{};
    bool readDone = false;
};

// Reads every archive of the scenario through the session, stores it twice into a fresh installation.
Outcome readAndStore(const Scenario& s) {
    Outcome out;
    test::SessionRig rig(s.json());
    rig.settings.readChoice = QStringLiteral("1111100000100"); // hourly, daily, monthly, abnormal,
                                                               // interference, service
    rig.session->startOperation(corrector::operation::ReadAll);
    out.readDone = test::waitUntil([&] { return rig.readClosed; }, 60000);
    if (!out.readDone) return out;
    for (auto a : corrector::kArchives)
        out.blanked[static_cast<std::size_t>(a) - 1] = rig.model().archives().blanked(a);

    test::TempHome home; // on a memory file system where there is one (see the test below)
    database::writeMissingSchemaFiles(home.root());
    const database::Schemas schemas = database::loadSchemas(home.root());
    database::SqliteStorage storage(home.root(), schemas);
    corrector::StoreRequestHooks hooks;
    hooks.configureNewPoint = [](database::Point&) { return true; };
    const QList<int> kinds{3, 4, 5, 6, 7, 10};
    const TableKind tables[] = {TableKind::Hourly,    TableKind::Daily,        TableKind::Monthly,
                                TableKind::Alarm,     TableKind::Interference, TableKind::Service,
                                TableKind::RequestLog};
    out.first = storeAfterReading(home.root(), storage, rig.model().reading(), rig.settings, 1, kRussian,
                                  kinds, hooks);
    for (TableKind t : tables)
        out.rows[t] = database::storedRows(home.root(), schemas, t, out.first.identifier);
    out.second = storeAfterReading(home.root(), storage, rig.model().reading(), rig.settings, 1, kRussian,
                                   kinds, hooks);
    for (TableKind t : tables)
        out.rowsAfterSecond[t] = database::storedRows(home.root(), schemas, t, out.first.identifier);
    return out;
}

void checkSeed(const Scenario& s) {
    const Outcome out = readAndStore(s);
    ASSERT_TRUE(out.readDone) << "the read ends";
    ASSERT_TRUE(out.first.stored) << out.first.error.toStdString();

    // No row lost or invented under faults: the records cured by re-reads are all there, the others
    // are counted as blanked.
    {
        SCOPED_TRACE("property: blanked records are counted");
        EXPECT_EQ(out.blanked[0], s.lostCount(kHourly, int(s.hours.size())));
        EXPECT_EQ(out.blanked[1], s.lostCount(kDaily, int(s.days.size())));
        EXPECT_EQ(out.blanked[2], s.lostCount(kMonthly, int(s.months.size())));
        EXPECT_EQ(out.blanked[3], s.lostCount(kAbnormal, int(s.abnormal.size())));
        EXPECT_EQ(out.blanked[4], s.lostCount(kInterference, int(s.interference.size())));
        EXPECT_EQ(out.blanked[6], s.lostCount(kService, int(s.service.size())));
    }

    // Every stored row equals the corrector's record, and every record not blanked is stored.
    const auto hours = byRecordNumber(out.rows.at(TableKind::Hourly), "hourly");
    const auto days = byRecordNumber(out.rows.at(TableKind::Daily), "daily");
    const auto months = byRecordNumber(out.rows.at(TableKind::Monthly), "monthly");
    {
        SCOPED_TRACE("property: every stored row equals the corrector's record");
        auto expectPeriods = [&](const QList<PeriodRecord>& records, const Area& area,
                                 const QMap<int, QStringList>& stored, const char* table, bool daily) {
            int expected = 0;
            for (const auto& r : records) {
                if (s.lost(area, r.slot)) {
                    EXPECT_FALSE(stored.contains(r.slot))
                        << table << ": blanked record " << r.slot << " stored";
                    continue;
                }
                ++expected;
                ASSERT_TRUE(stored.contains(r.slot)) << table << ": record " << r.slot << " not stored";
                const QStringList& row = stored[r.slot];
                expectPeriodFields(row, r, table);
                const QString status = statusText(r.status1, r.status2);
                if (daily) {
                    EXPECT_NEAR(number(row, 16), r.meterPulses / kPulsesPerM3, kVolumeTolerance) << table;
                    EXPECT_EQ(row.value(17), status.left(3)) << table << " record " << r.slot;
                    // The 16-byte block as its 32 hexadecimal digits (the contract hour in byte 12).
                    EXPECT_EQ(row.value(18).toUpper(), QString(24, QLatin1Char('0')) +
                                                           QString::asprintf("%02X", r.contractHour) +
                                                           QString(6, QLatin1Char('0')))
                        << table << " record " << r.slot;
                    EXPECT_EQ(row.value(19), stampText(r.end));
                } else {
                    EXPECT_EQ(row.value(16), status) << table << " record " << r.slot;
                    EXPECT_EQ(row.value(17), stampText(r.end));
                }
            }
            EXPECT_EQ(stored.size(), expected) << table << ": rows stored";
        };
        expectPeriods(s.hours, kHourly, hours, "hourly", false);
        expectPeriods(s.days, kDaily, days, "daily", true);
        expectPeriods(s.months, kMonthly, months, "monthly", true);

        auto expectEvents = [&](const QList<EventRecord>& records, const Area& area, TableKind kind,
                                const char* table,
                                const std::function<void(const QStringList&, const EventRecord&)>& fields) {
            const auto stored = byRecordNumber(out.rows.at(kind), table);
            int expected = 0;
            for (const auto& e : records) {
                if (s.lost(area, e.slot)) {
                    EXPECT_FALSE(stored.contains(e.slot))
                        << table << ": blanked record " << e.slot << " stored";
                    continue;
                }
                ++expected;
                ASSERT_TRUE(stored.contains(e.slot)) << table << ": record " << e.slot << " not stored";
                const QStringList& row = stored[e.slot];
                SCOPED_TRACE(std::string(table) + " record " + std::to_string(e.slot));
                EXPECT_EQ(row.value(6), dateText(e.at));
                EXPECT_EQ(row.value(7), timeText(e.at));
                fields(row, e);
            }
            EXPECT_EQ(stored.size(), expected) << table << ": rows stored";
        };
        expectEvents(s.abnormal, kAbnormal, TableKind::Alarm, "abnormal",
                     [](const QStringList& row, const EventRecord& e) {
                         EXPECT_EQ(row.value(8).toUpper(), hex4(e.current));
                         EXPECT_EQ(row.value(9).toUpper(), hex4(e.previous));
                         EXPECT_NEAR(number(row, 10), e.volume, kVolumeTolerance);
                         EXPECT_NEAR(number(row, 11), e.standardVolume, kVolumeTolerance);
                         EXPECT_EQ(row.value(12), stampText(e.at));
                     });
        expectEvents(s.interference, kInterference, TableKind::Interference, "interference",
                     [](const QStringList& row, const EventRecord& e) {
                         EXPECT_EQ(row.value(8), whoText(e.by));
                         EXPECT_EQ(row.value(9), QStringLiteral("время_индикации"));
                         EXPECT_EQ(row.value(10), QString::number(e.before));
                         EXPECT_EQ(row.value(11), QString::number(e.after));
                         EXPECT_EQ(row.value(12).toUpper(),
                                   QString::asprintf("04%02X%02X000000%02X000000", e.by, e.before, e.after));
                         EXPECT_EQ(row.value(13), stampText(e.at));
                     });
        expectEvents(s.service, kService, TableKind::Service, "service",
                     [](const QStringList& row, const EventRecord& e) {
                         EXPECT_EQ(row.value(8).toUpper(), hex4(e.current));
                         EXPECT_EQ(row.value(9).toUpper(), hex4(e.previous));
                         EXPECT_EQ(row.value(10), stampText(e.at));
                     });
        expectWrittenOldestFirst(out.rows.at(TableKind::Hourly), 17, "hourly");
        expectWrittenOldestFirst(out.rows.at(TableKind::Daily), 19, "daily");
        expectWrittenOldestFirst(out.rows.at(TableKind::Monthly), 19, "monthly");
        expectWrittenOldestFirst(out.rows.at(TableKind::Alarm), 12, "abnormal");
        expectWrittenOldestFirst(out.rows.at(TableKind::Service), 10, "service");
    }

    {
        SCOPED_TRACE("property: a second store writes 0 rows");
        EXPECT_TRUE(out.second.stored) << out.second.error.toStdString();
        for (std::size_t k = 0; k < out.second.result.kinds.size(); ++k)
            EXPECT_EQ(out.second.result.kinds[k].stored, 0) << "archive " << k + 1;
        for (const auto& [kind, rows] : out.rows) {
            if (kind == TableKind::RequestLog) continue;
            EXPECT_EQ(out.rowsAfterSecond.at(kind).size(), rows.size()) << "table " << static_cast<int>(kind);
        }
        EXPECT_EQ(out.rowsAfterSecond.at(TableKind::RequestLog).size(), 2) << "one request-log row a store";
    }

    // The request log says when a reading lost records to spoilt check bytes.
    {
        SCOPED_TRACE("property: the request log counts the blanked records");
        const auto& log = out.rows.at(TableKind::RequestLog);
        ASSERT_EQ(log.size(), 1);
        const int lost = std::accumulate(out.blanked.begin(), out.blanked.end(), 0);
        const QString comment = log[0].last();
        if (lost == 0)
            EXPECT_EQ(comment, QStringLiteral("0"));
        else
            EXPECT_TRUE(comment.startsWith(QStringLiteral("пустые: "))) << comment.toStdString();
    }

    // A gas day's stored hours add up to its stored daily volume: each shown value is off by at most
    // half a unit of its last decimal.
    {
        SCOPED_TRACE("property: the day's hours add up to the daily record");
        for (int day = 1; day < s.days.size(); ++day) {
            if (!days.contains(day)) continue;
            double working = 0, alarm = 0;
            int counted = 0;
            for (int index = (day - 1) * 24; index < day * 24; ++index) {
                const int slot = s.hourSlot(index);
                if (slot < 0 || !hours.contains(slot)) continue;
                working += number(hours[slot], 8);
                alarm += number(hours[slot], 10);
                ++counted;
            }
            if (counted != 24) continue; // a blanked or overwritten hour leaves the day incomplete
            const double bound = 25 * kVolumeTolerance;
            EXPECT_NEAR(working, number(days[day], 8), bound) << "day " << day;
            EXPECT_NEAR(alarm, number(days[day], 10), bound) << "day " << day;
        }
    }

    // The meter counter at the end of a day is the one at its start plus the day's working and alarm
    // volumes (the counter counts whole pulses of 0.1 m³).
    {
        SCOPED_TRACE("property: counter at start + volume = counter at end");
        for (int day = 1; day < s.days.size(); ++day) {
            if (!days.contains(day) || !days.contains(day - 1)) continue;
            const double moved = number(days[day], 16) - number(days[day - 1], 16);
            EXPECT_NEAR(moved, number(days[day], 8) + number(days[day], 10),
                        0.5 / kPulsesPerM3 + 2 * kVolumeTolerance)
                << "day " << day;
        }
        // Months in the order they were written (round the ring from the oldest left).
        const int ring = kMonthly.ring();
        const int oldest = s.monthsWritten > ring ? s.monthsWritten % ring : 0;
        for (int i = 1; i < s.months.size(); ++i) {
            const int slot = (oldest + i) % ring, before = (oldest + i - 1) % ring;
            if (!months.contains(slot) || !months.contains(before)) continue;
            const double moved = number(months[slot], 16) - number(months[before], 16);
            EXPECT_NEAR(moved, number(months[slot], 8) + number(months[slot], 10),
                        0.5 / kPulsesPerM3 + 2 * kVolumeTolerance)
                << "month slot " << slot;
        }
    }
}

} // namespace

TEST(ReadStoreProperties, SeededArchivesSurviveReadAndStore) {
    const SeedRange seeds = seedRange();
    // Each seed makes a fresh installation and stores into it twice: on a memory file system the run
    // costs the program's work, not the disk's syncs.
    const QByteArray tmpdir = qgetenv("TMPDIR");
    if (QFileInfo(QStringLiteral("/dev/shm")).isWritable()) qputenv("TMPDIR", "/dev/shm");
    int failedSeeds = 0;
    auto failures = [] {
        return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
    };
    for (quint64 seed = seeds.first; seed < seeds.first + seeds.count; ++seed) {
        SCOPED_TRACE("seed=" + std::to_string(seed));
        const int before = failures();
        checkSeed(drawScenario(seed));
        if (failures() == before) continue;
        std::cout << "seed=" << seed << " failed; replay with: property_tests --seed " << seed << "\n";
        if (++failedSeeds >= 3) break; // enough to go on; further seeds would mostly repeat the story
    }
    if (tmpdir.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", tmpdir);
}
