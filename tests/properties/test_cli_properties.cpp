// The same seeded archives through the programs as a user runs them: corrector-sim on a pseudo-terminal,
// tarn-cli storing twice, then the statistical listings as CSV and the commercial day report as text,
// each file read back here by readers of our own. Process round trips cost far more than the in-process
// seeds, so one seed in forty goes this way (5 of the default 200).
#include "SeededArchive.h"
#include "Seeds.h"
#include "TextReaders.h"
#include "support/CliRunner.h"
#include "support/SimProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>

using namespace tarn::test::property;

namespace {

const QString kSim = QStringLiteral(TARN_SIM_PROGRAM);

// Half a unit of the second decimal, and a little for the float the record carries.
constexpr double kShown = 0.005 + 1e-3;

using Result = tarn::test::CliText;

class Installation {
public:
    Installation() {
        home_ = dir_.path() + QStringLiteral("/home");
        QDir().mkpath(home_);
        // No pause before each request: the simulated corrector is ready at once, and the pause is not
        // what these properties are about.
        initialised_ =
            cli({QStringLiteral("init")}).code == 0 &&
            cli({QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("writeDelayMs=0")}).code ==
                0;
        write(QStringLiteral("Work/Type_Leng.000"), "RU\r\n");
        write(QStringLiteral("Current/Delim.000"), ";\r\n");
    }
    bool initialised() const { return initialised_; }
    QString scratch(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }
    void write(const QString& relative, const QByteArray& bytes) const {
        QDir().mkpath(QFileInfo(home_ + QLatin1Char('/') + relative).path());
        QFile f(home_ + QLatin1Char('/') + relative);
        if (f.open(QIODevice::WriteOnly)) f.write(bytes);
    }
    bool startCorrector(const QByteArray& correctorJson) {
        const QString link = scratch(QStringLiteral("com1"));
        write(QStringLiteral("Work/PortMap.000"), "COM1 " + link.toLocal8Bit() + "\r\n");
        sim_ = std::make_unique<tarn::test::SimProcess>();
        return sim_->start(kSim, scratch(QStringLiteral("scenario.json")),
                           "{\"devices\": [" + correctorJson + "]}", link);
    }
    void stopCorrector() { sim_.reset(); }
    Result cli(const QStringList& args) const { return tarn::test::runCliIn(home_, args).text(); }
    Result onLine(const QStringList& args) const {
        return cli(QStringList{QStringLiteral("--port"), QStringLiteral("COM1"), QStringLiteral("--address"),
                               QStringLiteral("1")} +
                   args);
    }

private:
    QTemporaryDir dir_;
    QString home_;
    bool initialised_ = false;
    std::unique_ptr<tarn::test::SimProcess> sim_;
};

QString date(const QDateTime& t) {
    return t.toString(QStringLiteral("dd.MM.yyyy"));
}

// A listing's CSV file as records, read back as Windows-1251 CSV with the installation's delimiter.
std::optional<QList<QStringList>> readCsvFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    return parseCsv(fromCp1251(f.readAll()), QLatin1Char(';'));
}

// The data rows of a listing (first field a record number) keyed by their header titles.
QList<QMap<QString, QString>> dataRows(const QList<QStringList>& records) {
    QList<QMap<QString, QString>> rows;
    QStringList header;
    for (const QStringList& rec : records) {
        if (rec.isEmpty()) continue;
        if (rec[0].trimmed() == QStringLiteral("ном.")) {
            header.clear();
            for (const QString& title : rec)
                header.append(title.trimmed());
            continue;
        }
        bool number = false;
        rec[0].trimmed().toInt(&number);
        if (!number || header.isEmpty()) continue;
        EXPECT_EQ(rec.size(), header.size()) << rec.join(QLatin1Char('|')).toStdString();
        QMap<QString, QString> row;
        for (qsizetype i = 0; i < std::min(rec.size(), header.size()); ++i)
            row.insert(header[i], rec[i].trimmed());
        rows.append(row);
    }
    return rows;
}

double value(const QMap<QString, QString>& row, const char* title) {
    return row.value(QString::fromUtf8(title)).toDouble();
}

// Whether the listings and the report can find the seed's gas days: they take the contract hour from the
// daily record that closes the day before the period.
bool dayBeforeHeld(const Scenario& s) {
    return !s.lost(kDaily, 0);
}

void checkSeed(const Scenario& s, bool leaveOutWithoutDayBefore = true) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_TRUE(inst.startCorrector(s.json()));
    // At the line's top speed: what is stored is the same at any speed, and the reads take a fraction
    // of the time.
    const QStringList store{QStringLiteral("--speed"),
                            QStringLiteral("115200"),
                            QStringLiteral("store"),
                            QStringLiteral("--archives"),
                            QStringLiteral("hourly,daily,monthly,abnormal,interference,service"),
                            QStringLiteral("--until-empty"),
                            QStringLiteral("--json")};
    const Result first = inst.onLine(store);
    ASSERT_EQ(first.code, 0) << first.err.toStdString();
    const Result second = inst.onLine(store);
    ASSERT_EQ(second.code, 0) << second.err.toStdString();
    inst.stopCorrector();
    const QJsonObject firstAnswer = QJsonDocument::fromJson(first.out.toUtf8()).object();
    const QString point = firstAnswer.value(QStringLiteral("point")).toString();
    ASSERT_FALSE(point.isEmpty()) << first.out.toStdString();

    const int hoursKept = int(s.hours.size()) - s.lostCount(kHourly, int(s.hours.size()));
    {
        SCOPED_TRACE("property: every record not blanked is stored, a second store writes 0 rows");
        const QJsonObject stored = firstAnswer.value(QStringLiteral("stored")).toObject();
        EXPECT_EQ(stored.value(QStringLiteral("hourly")).toInt(-1), hoursKept);
        EXPECT_EQ(stored.value(QStringLiteral("daily")).toInt(-1),
                  int(s.days.size()) - s.lostCount(kDaily, int(s.days.size())));
        EXPECT_EQ(stored.value(QStringLiteral("monthly")).toInt(-1),
                  int(s.months.size()) - s.lostCount(kMonthly, int(s.months.size())));
        const QJsonObject again =
            QJsonDocument::fromJson(second.out.toUtf8()).object().value(QStringLiteral("stored")).toObject();
        EXPECT_FALSE(again.isEmpty()) << second.out.toStdString();
        for (auto it = again.begin(); it != again.end(); ++it)
            EXPECT_EQ(it.value().toInt(-1), 0) << it.key().toStdString();
    }

    if (leaveOutWithoutDayBefore && !dayBeforeHeld(s)) {
        std::cout << "seed=" << s.seed
                  << ": the daily record before the period was blanked; its listings are "
                  << "left to GasDaysWithoutTheDailyRecordBeforeThePeriod\n";
        return;
    }
    const int days = int(s.days.size()) - 1;
    const QDateTime start = s.days[0].end; // where the first gas day begins
    const QString from = date(start), to = date(start.addDays(days - 1));

    // The hourly listing of the stored gas days: each row is the corrector's hour, the running total
    // adds up the rows' working and alarm volumes.
    {
        SCOPED_TRACE("property: the hourly listing holds the stored hours and adds them up");
        const QString csv = inst.scratch(QStringLiteral("hours.csv"));
        const Result r =
            inst.cli({QStringLiteral("listing"), QStringLiteral("--point"), point,
                      QStringLiteral("--archive"), QStringLiteral("hourly"), QStringLiteral("--period"),
                      QStringLiteral("period"), QStringLiteral("--from"), from, QStringLiteral("--to"), to,
                      QStringLiteral("--columns"), QStringLiteral("ном.,дата,время,Vраб,Vавр,Vраб.н.итог"),
                      QStringLiteral("--csv"), csv, QStringLiteral("--totals")});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        const auto records = readCsvFile(csv);
        ASSERT_TRUE(records.has_value()) << "the CSV file reads as RFC 4180";
        const auto rows = dataRows(*records);
        auto shown = [&] {
            QFile f(csv);
            return f.open(QIODevice::ReadOnly) ? fromCp1251(f.readAll()).toStdString() : std::string();
        };
        int expected = 0;
        for (int index = 0; index < days * 24; ++index) {
            const int slot = s.hourSlot(index);
            expected += slot >= 0 && !s.lost(kHourly, slot) ? 1 : 0;
        }
        EXPECT_EQ(rows.size(), expected) << shown();
        double running = 0;
        for (const auto& row : rows) {
            const int slot = row.value(QStringLiteral("ном.")).toInt();
            const PeriodRecord* held = s.hourInSlot(slot);
            ASSERT_TRUE(held && held->index < days * 24 && !s.lost(kHourly, slot)) << "row " << slot;
            const PeriodRecord& h = *held;
            EXPECT_EQ(row.value(QStringLiteral("дата")), date(h.end)) << slot;
            EXPECT_EQ(row.value(QStringLiteral("время")), h.end.toString(QStringLiteral("HH:mm"))) << slot;
            EXPECT_NEAR(value(row, "Vраб"), h.working, kShown) << slot;
            EXPECT_NEAR(value(row, "Vавр"), h.alarmWorking, kShown) << slot;
            running += value(row, "Vраб") + value(row, "Vавр"); // the total through the meter
            EXPECT_NEAR(value(row, "Vраб.н.итог"), running, kShown * 2) << slot;
        }
    }

    // The daily listing: each day is the corrector's daily record; the meter reading carried forward
    // from the day before the period is the corrector's own counter at each day's end.
    {
        SCOPED_TRACE("property: the daily listing carries the counter forward by the day's volumes");
        const QString csv = inst.scratch(QStringLiteral("days.csv"));
        const Result r = inst.cli(
            {QStringLiteral("listing"), QStringLiteral("--point"), point, QStringLiteral("--archive"),
             QStringLiteral("daily"), QStringLiteral("--period"), QStringLiteral("period"),
             QStringLiteral("--from"), from, QStringLiteral("--to"), to, QStringLiteral("--columns"),
             QStringLiteral("ном.,дата,время,Vраб,Vавр,Vсчетч."), QStringLiteral("--csv"), csv});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        const auto records = readCsvFile(csv);
        ASSERT_TRUE(records.has_value()) << "the CSV file reads as RFC 4180";
        const auto rows = dataRows(*records);
        int expected = 0;
        for (int d = 1; d <= days; ++d)
            expected += s.lost(kDaily, d) ? 0 : 1;
        EXPECT_EQ(rows.size(), expected);
        // The reading at the start is the daily record before the period; each listed day adds its
        // working and alarm volumes. While no day is missing that is the corrector's own counter.
        double carried = s.days[0].meterPulses / kPulsesPerM3;
        bool complete = !s.lost(kDaily, 0);
        int previous = 0;
        for (const auto& row : rows) {
            const int slot = row.value(QStringLiteral("ном.")).toInt();
            ASSERT_TRUE(slot >= 1 && slot <= days && !s.lost(kDaily, slot)) << "row " << slot;
            complete = complete && slot == previous + 1;
            previous = slot;
            const PeriodRecord& d = s.days[slot];
            // A daily row names its gas day, the day before the record's end at the contract hour.
            EXPECT_EQ(row.value(QStringLiteral("дата")), date(d.end.addDays(-1))) << slot;
            EXPECT_NEAR(value(row, "Vраб"), d.working, kShown) << slot;
            EXPECT_NEAR(value(row, "Vавр"), d.alarmWorking, kShown) << slot;
            if (s.lost(kDaily, 0)) continue; // no reading at the start
            carried += value(row, "Vраб") + value(row, "Vавр");
            EXPECT_NEAR(value(row, "Vсчетч."), carried, kShown) << "day " << slot;
            if (complete) {
                EXPECT_NEAR(value(row, "Vсчетч."), d.meterPulses / kPulsesPerM3, kShown) << "day " << slot;
            }
        }
    }

    // The commercial report of the first gas day, as saved: its hours add up to the day's totals, which
    // are the corrector's daily record.
    if (!s.lost(kDaily, 1) && s.hourSlot(0) == 0 && s.lostCount(kHourly, 24) == 0) {
        SCOPED_TRACE("property: the day report's hours add up to the daily record");
        const QString out = inst.scratch(QStringLiteral("day.txt"));
        const Result r =
            inst.cli({QStringLiteral("report"), QStringLiteral("--point"), point, QStringLiteral("--period"),
                      QStringLiteral("day"), QStringLiteral("--from"), from, QStringLiteral("--out"), out});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        QFile f(out);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        EXPECT_FALSE(bytes.contains("\n") && bytes.count("\n") != bytes.count("\r\n")) << "CR LF lines";
        const QStringList lines = fromCp1251(bytes).split(QStringLiteral("\r\n"));
        const QRegularExpression hourCell(QStringLiteral("^\\d\\d:\\d\\d\\s*$"));
        double sums[4] = {0, 0, 0, 0};
        int hours = 0;
        QStringList totals;
        bool hourTable = false; // from the title of the hourly table to its day totals
        for (const QString& line : lines) {
            if (line.trimmed() == QStringLiteral("Почасовые данные")) hourTable = true;
            const QStringList cells = line.split(QLatin1Char('|'));
            if (hourTable && cells.size() > 7 && hourCell.match(cells[2]).hasMatch()) {
                ++hours;
                for (int k = 0; k < 4; ++k)
                    sums[k] += cells[3 + k].trimmed().toDouble();
            }
            if (hourTable && line.startsWith(QStringLiteral("|Итого за сутки:"))) {
                totals = cells;
                hourTable = false;
            }
        }
        EXPECT_EQ(hours, 24) << fromCp1251(bytes).toStdString();
        ASSERT_GE(totals.size(), 6) << fromCp1251(bytes).toStdString();
        const PeriodRecord& day = s.days[1];
        const double record[4] = {day.working, day.standard, day.alarmWorking, day.alarmStandard};
        for (int k = 0; k < 4; ++k) {
            const double total = totals[2 + k].trimmed().toDouble();
            EXPECT_NEAR(total, record[k], kShown) << "volume column " << k;
            EXPECT_NEAR(sums[k], total, 25 * kShown) << "volume column " << k;
        }
    }
}

} // namespace

TEST(CliProperties, SeededArchivesThroughTheProgramsListingsAndReport) {
    const SeedRange seeds = seedRange();
    const quint64 count = std::max<quint64>(1, seeds.count / 40);
    auto failures = [] {
        return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
    };
    int failedSeeds = 0;
    for (quint64 seed = seeds.first; seed < seeds.first + count; ++seed) {
        SCOPED_TRACE("seed=" + std::to_string(seed));
        const int before = failures();
        checkSeed(drawScenario(seed));
        if (failures() == before) continue;
        std::cout << "seed=" << seed << " failed; replay with: property_tests --seed " << seed << "\n";
        if (++failedSeeds >= 3) break;
    }
}

// A reading that lost the daily record closing the day before the period (a spoilt check byte that
// outlasted the re-reads): the listings and the day report still cut the gas days at the corrector's
// contract hour, which every other daily record of the reading carries, not at a default hour.
TEST(CliProperties, GasDaysWithoutTheDailyRecordBeforeThePeriod) {
    const SeedRange seeds = seedRange();
    for (quint64 seed = seeds.first; seed < seeds.first + seeds.count; ++seed) {
        Scenario s = drawScenario(seed);
        if (dayBeforeHeld(s) || s.contractHour == 9) continue;
        SCOPED_TRACE("seed=" + std::to_string(seed));
        s.spoilt.erase(
            std::remove_if(s.spoilt.begin(), s.spoilt.end(),
                           [](const SpoiltRecord& r) { return r.high && r.page == kDaily.firstPage; }),
            s.spoilt.end());
        s.spoilt.push_back({true, kDaily.firstPage, 0, 9}); // only the record before the period lost
        checkSeed(s, false);
        return;
    }
}
