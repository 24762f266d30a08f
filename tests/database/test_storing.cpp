// Storing a reading: no record twice, oldest first, a stop that keeps what earlier kinds stored, and the
// request log's row.
#include "common/TextFile.h"
#include "database/Storing.h"
#include "support/DatabaseFaults.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <csignal>

#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::database;

namespace {

struct Reading final : ArchiveRows {
    std::array<QList<QStringList>, 7> tables;
    int rowCount(int archive) const override { return static_cast<int>(tables[archive - 1].size()); }
    QString cell(int archive, int column, int row) const override {
        return tables[archive - 1].value(row).value(column);
    }
    QList<QStringList>& hourly() { return tables[0]; }
    QList<QStringList>& daily() { return tables[1]; }
};

QStringList hour(int number, const char* time, const char* volume = "10.00", const char* pressure = "1.033") {
    return {QStringLiteral("%1").arg(number, 5, 10, QLatin1Char('0')),
            "01.03.2024",
            time,
            volume,
            "10.20",
            "0.00",
            "0.00",
            pressure,
            "5.00",
            "0.9980",
            "1.0200",
            "xxx/xxxxxxxxxxxx"};
}

QStringList day(int number, const char* date, const char* heat = "") {
    return {QStringLiteral("%1").arg(number, 5, 10, QLatin1Char('0')),
            date,
            "09:00",
            "240.00",
            "244.80",
            "0.00",
            "0.00",
            "1.033",
            "5.00",
            "0.9980",
            "1.0200",
            "1234.00",
            "xxx",
            QString(32, QLatin1Char('0')),
            heat,
            "5000.00"};
}

struct Db {
    test::TempHome home;
    Schemas schemas;
    StoreContext context;
    const QDateTime now{QDate(2024, 3, 10), QTime(12, 0)};
    Db() {
        writeMissingSchemaFiles(home.root());
        schemas = loadSchemas(home.root());
        context.identifier = QStringLiteral("t12345");
        context.serial = QStringLiteral("12345");
        context.model = QStringLiteral("ТАРН-2.01  ");
        context.gasName = QStringLiteral("природный");
    }
    StoreResult store(const Reading& r, const std::function<bool(int, int)>& progress = {}) {
        return storeReading(home.root(), schemas, r, context, progress, now);
    }
    QList<QStringList> rows(TableKind kind) {
        return storedRows(home.root(), schemas, kind, context.identifier);
    }
};

} // namespace

TEST(Storing, TwiceTheSameReadingAddsNothingTheSecondTime) {
    Db db;
    Reading r;
    // Newest first, as a corrector may give them: stored oldest first.
    r.hourly() = {hour(2, "03:00"), hour(1, "02:00"), hour(0, "01:00")};
    r.daily() = {day(0, "01.03.2024"), day(0, "01.03.2024"), day(1, "02.03.2024")}; // one returned twice
    const StoreResult first = db.store(r);
    ASSERT_TRUE(first.ok) << first.error.toStdString();
    EXPECT_EQ(first.kinds[0].stored, 3);
    EXPECT_EQ(first.kinds[1].stored, 2);
    EXPECT_EQ(first.kinds[1].dropped, 1);
    EXPECT_EQ(first.storedItems, QStringLiteral("01100000000"));
    const auto hours = db.rows(TableKind::Hourly);
    ASSERT_EQ(hours.size(), 3);
    EXPECT_EQ(hours[0].mid(1, 8), (QStringList{"t12345", "12345", "ТАРН-2.01  ", "10.03.2024 12:00", "0",
                                               "01.03.2024", "01:00", "10"}));
    EXPECT_EQ(hours[2].value(7), QStringLiteral("03:00"));
    EXPECT_EQ(hours[0].value(16), QStringLiteral("xxx/xxxxxxxxxxxx"));
    EXPECT_EQ(hours[0].value(17), QStringLiteral("01.03.2024 01:00"));
    EXPECT_EQ(hours[0].value(18), QStringLiteral("10")); // Vwrk + Valwrk
    EXPECT_EQ(hours[0].value(19), QStringLiteral("10.2"));
    EXPECT_EQ(hours[0].value(23), QStringLiteral("природный"));
    EXPECT_EQ(db.rows(TableKind::Daily)[0].value(26), QStringLiteral("v5000.00"));

    const StoreResult second = db.store(r);
    ASSERT_TRUE(second.ok);
    EXPECT_EQ(second.kinds[0].stored, 0);
    EXPECT_EQ(second.kinds[0].dropped, 3);
    EXPECT_EQ(db.rows(TableKind::Hourly).size(), 3);
    EXPECT_EQ(db.rows(TableKind::Daily).size(), 2);
    // One request-log row a run.
    const auto log = db.rows(TableKind::RequestLog);
    ASSERT_EQ(log.size(), 2);
    EXPECT_EQ(log[0].value(5), QStringLiteral("5"));
    EXPECT_EQ(log[0].value(6), QStringLiteral("кабель"));
    EXPECT_EQ(log[0].value(8), QStringLiteral("01100000000"));
    EXPECT_EQ(log[0].value(10), QStringLiteral("01.03.2024 01:00")); // first hourly record
    EXPECT_EQ(log[0].value(13), QStringLiteral("2"));                // last hourly record's number
    EXPECT_EQ(log[1].value(8), QStringLiteral("00000000000"));
    EXPECT_EQ(log[1].value(10), QStringLiteral("01.01.2000 00:00"));
}

// The request log names the file a reading came from, and only for a reading from a file.
TEST(Storing, TheRequestLogNamesTheFileReadForSourceKindFourOnly) {
    const struct {
        int sourceKind;
        QString fileName;
        QString logged;
    } cases[] = {{4, QStringLiteral("/data/Report/reading.prt"), QStringLiteral("/data/Report/reading.prt")},
                 {4, QString(), QStringLiteral("--")},
                 {5, QStringLiteral("/data/Report/reading.prt"), QStringLiteral("--")},
                 {3, QStringLiteral("/data/Report/reading.prt"), QStringLiteral("--")}};
    for (const auto& c : cases) {
        Db db;
        db.context.sourceKind = c.sourceKind;
        db.context.fileName = c.fileName;
        Reading r;
        r.hourly() = {hour(0, "01:00")};
        ASSERT_TRUE(db.store(r).ok);
        const auto log = db.rows(TableKind::RequestLog);
        ASSERT_EQ(log.size(), 1);
        const int nameFile = static_cast<int>(
            std::find_if(db.schemas.of(TableKind::RequestLog).begin(),
                         db.schemas.of(TableKind::RequestLog).end(),
                         [](const FieldSpec& f) { return f.name == QLatin1String("bNameFile"); }) -
            db.schemas.of(TableKind::RequestLog).begin());
        EXPECT_EQ(log[0].value(nameFile), c.logged) << c.sourceKind;
    }
}

// Stored rows that cannot be read are not "nothing stored yet": the run fails and writes nothing.
TEST(Storing, ATableThatCannotBeReadFailsTheRunInsteadOfStoringTwice) {
    Db db;
    Reading r; // enough hours to fill pages beyond the file's first
    for (int h = 0; h < 200; ++h) {
        const QDateTime t = QDateTime(QDate(2024, 3, 1), QTime(0, 0)).addSecs(3600 * h);
        auto row = hour(h, qPrintable(t.toString(QStringLiteral("HH:mm"))));
        row[1] = t.toString(QStringLiteral("dd.MM.yyyy"));
        r.hourly().append(row);
    }
    ASSERT_TRUE(db.store(r).ok);
    const QString path = tablePath(db.home.root(), TableKind::Hourly, db.context.identifier);
    ASSERT_TRUE(test::damageTableFile(path));
    const StoreResult again = db.store(r);
    EXPECT_FALSE(again.ok);
    EXPECT_FALSE(again.error.isEmpty());
    EXPECT_EQ(again.kinds[0].stored, 0);
    EXPECT_EQ(db.rows(TableKind::RequestLog).size(), 1);
}

TEST(Storing, ARecordIsDroppedOnlyWhenNumberAndTimeBothMatch) {
    Db db;
    Reading r;
    r.hourly() = {hour(5, "01:00")};
    ASSERT_TRUE(db.store(r).ok);
    // The corrector's archive was cleared: the same time under another number is another record; a
    // number that went round 16 bits is the same one.
    Reading again;
    again.hourly() = {hour(7, "01:00"), hour(5 + 65536, "01:00"), hour(5, "02:00")};
    const StoreResult s = db.store(again);
    EXPECT_EQ(s.kinds[0].stored, 2);
    EXPECT_EQ(s.kinds[0].dropped, 1);
    EXPECT_EQ(db.rows(TableKind::Hourly).size(), 3);
}

// A reading that overlaps what is stored, on both sides of it: only the records not stored yet are
// written, oldest first, and the table ends as one store of the whole reading would leave it.
TEST(Storing, AnOverlappingReadingStoresOnlyTheNewRecords) {
    Db db;
    Reading middle;
    middle.hourly() = {hour(3, "04:00"), hour(2, "03:00")};
    ASSERT_TRUE(db.store(middle).ok);
    Reading whole;
    whole.hourly() = {hour(5, "06:00"), hour(4, "05:00"), hour(3, "04:00"), hour(2, "03:00"),
                      hour(1, "02:00")};
    const StoreResult s = db.store(whole);
    ASSERT_TRUE(s.ok) << s.error.toStdString();
    EXPECT_EQ(s.kinds[0].stored, 3);
    EXPECT_EQ(s.kinds[0].dropped, 2);
    EXPECT_EQ(s.kinds[0].first, QDateTime(QDate(2024, 3, 1), QTime(2, 0)));
    EXPECT_EQ(s.kinds[0].lastNumber, 5);
    QStringList times;
    for (const QStringList& row : db.rows(TableKind::Hourly))
        times.append(row.value(0) + QLatin1Char(' ') + row.value(5) + QLatin1Char(' ') + row.value(7));
    // Ordered by record time; the row numbers (the seed record is the first) say the order of writing:
    // the two stored first, then the new ones oldest first.
    EXPECT_EQ(times, (QStringList{"4 1 02:00", "2 2 03:00", "3 3 04:00", "5 4 05:00", "6 5 06:00"}));
    // Once more: nothing new, every record found already there.
    const StoreResult again = db.store(whole);
    EXPECT_EQ(again.kinds[0].stored, 0);
    EXPECT_EQ(again.kinds[0].dropped, 5);
    EXPECT_EQ(db.rows(TableKind::Hourly).size(), 5);
}

TEST(Storing, EmptyValuesAreZeroAndUndatedRowsAreSkipped) {
    Db db;
    Reading r;
    r.hourly() = {hour(0, "01:00", "10.00", ""), hour(1, "02:00", "-.", "1.000"), QStringList{"00002"}};
    const StoreResult s = db.store(r);
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(s.kinds[0].stored, 2);
    EXPECT_EQ(s.emptyCells, 1); // the empty pressure; "-." is no value but not empty
    const auto hours = db.rows(TableKind::Hourly);
    EXPECT_EQ(hours[0].value(12), QStringLiteral("0"));
    EXPECT_EQ(hours[1].value(8), QStringLiteral("0"));
}

TEST(Storing, AStopKeepsTheKindsAlreadyStoredAndWritesNoLog) {
    Db db;
    Reading r;
    r.hourly() = {hour(0, "01:00"), hour(1, "02:00")};
    r.daily() = {day(0, "01.03.2024"), day(1, "02.03.2024")};
    // Two steps a row (selection and writing): the hourly kind takes four, the daily selection stops.
    const StoreResult s = db.store(r, [](int done, int) { return done <= 5; });
    EXPECT_TRUE(s.stopped);
    EXPECT_FALSE(s.ok);
    EXPECT_EQ(db.rows(TableKind::Hourly).size(), 2);
    EXPECT_TRUE(db.rows(TableKind::Daily).isEmpty());
    EXPECT_TRUE(db.rows(TableKind::RequestLog).isEmpty());
}

TEST(Storing, HeatEnergyOfTheDaysWhenTheCorrectorReportsIt) {
    Db db;
    db.context.heatUnit = QStringLiteral("Гкал");
    Reading r;
    r.daily() = {day(0, "01.03.2024", "1.500"), day(1, "02.03.2024")};
    ASSERT_TRUE(db.store(r).ok);
    const auto heat = db.rows(TableKind::HeatDay);
    ASSERT_EQ(heat.size(), 1);
    EXPECT_EQ(heat[0].mid(5),
              (QStringList{"0", "01.03.2024", "09:00", "Гкал", "1.5", "01.03.2024 09:00", "0"}));
}

TEST(Storing, CsvCopiesOfTheKindsSwitchedOnAndTheMeasurementRow) {
    Db db;
    // All CSV output on, then hourly and the measurement only; ";" as the delimiter.
    db.home.write(folder::Work, QStringLiteral("Tuning.000"),
                  "Alarm1.wav\r\n1\r\n1\r\n1\r\n0\r\n0\r\n0\r\n 1 \r\n1\r\n0\r\n0\r\n0\r\n1\r\n0\r\n");
    db.home.write(folder::Current, QStringLiteral("Delim.000"), " ; \r\n");
    db.context.csv = readCsvSideOutput(db.home.root());
    EXPECT_TRUE(db.context.csv.wanted(CsvKind::Hourly));
    EXPECT_FALSE(db.context.csv.wanted(CsvKind::Daily));
    EXPECT_EQ(db.context.csv.delimiter, QLatin1Char(';'));
    db.context.measurement =
        MeasurementValues{"1.033", "5.20", "1.0200", "0.9980", "12.50", "0", "3.55", "0000"};
    Reading r;
    r.hourly() = {hour(2, "02:00"), hour(1, "01:00")};
    r.daily() = {day(1, "01.03.2024")};
    const StoreResult first = db.store(r);
    ASSERT_TRUE(first.ok) << first.error.toStdString();
    ASSERT_EQ(first.csvFiles.size(), 2);
    EXPECT_TRUE(first.csvFailed.isEmpty());
    // Oldest first, every cell followed by the delimiter.
    EXPECT_EQ(first.csvFiles[0], db.home.path(folder::QuesCsv, QStringLiteral("h2403101200_t12345.csv")));
    const auto hours = readTextLines(first.csvFiles[0]);
    ASSERT_TRUE(hours);
    ASSERT_EQ(hours->size(), 2);
    EXPECT_EQ(hours->first(), hour(1, "01:00").join(QLatin1Char(';')) + QLatin1Char(';'));
    const auto measured = readTextLines(first.csvFiles[1]);
    ASSERT_TRUE(measured);
    EXPECT_EQ(*measured, QStringList{"t12345;12345;ТАРН-2.01  ;10.03.2024 12:00;1.033;5.20;1.0200;0.9980;"
                                     "12.50;0;3.55;0000;кгс/см2;"});
    // The measurement row, and its time in the request log.
    EXPECT_TRUE(first.measurementStored);
    EXPECT_EQ(first.storedItems, QStringLiteral("01100000010"));
    const auto meas = db.rows(TableKind::Measurement);
    ASSERT_EQ(meas.size(), 1);
    EXPECT_EQ(meas[0].mid(4, 9), (QStringList{"10.03.2024 12:00", "1.033", "5.2", "1.02", "0.998", "12.5",
                                              "0", "3.55", "0000"}));
    const QList<FieldSpec>& logFields = db.schemas.of(TableKind::RequestLog);
    const auto bMeas = std::find_if(logFields.begin(), logFields.end(),
                                    [](const FieldSpec& f) { return f.name == QLatin1String("bMeas"); });
    ASSERT_NE(bMeas, logFields.end());
    EXPECT_EQ(db.rows(TableKind::RequestLog)[0].value(static_cast<int>(bMeas - logFields.begin())),
              QStringLiteral("10.03.2024 12:00"));

    // A CSV file that cannot be written is told, and the rows are stored all the same.
    ASSERT_TRUE(QDir().mkpath(db.home.path(folder::QuesCsv, QStringLiteral("h2403101300_t12345.csv"))));
    db.context.measurement.reset();
    Reading later;
    later.hourly() = {hour(3, "03:00")};
    const StoreResult second =
        storeReading(db.home.root(), db.schemas, later, db.context, {}, db.now.addSecs(3600));
    ASSERT_TRUE(second.ok);
    EXPECT_EQ(second.kinds[0].stored, 1);
    EXPECT_EQ(second.csvFailed,
              QStringList{db.home.path(folder::QuesCsv, QStringLiteral("h2403101300_t12345.csv"))});
    EXPECT_FALSE(second.measurementStored);
}

TEST(Storing, CsvCopiesQuoteACellThatHoldsTheDelimiterOrAQuote) {
    Db db;
    db.home.write(folder::Work, QStringLiteral("Tuning.000"),
                  "Alarm1.wav\r\n1\r\n1\r\n1\r\n0\r\n0\r\n0\r\n1\r\n1\r\n0\r\n0\r\n0\r\n1\r\n0\r\n");
    db.home.write(folder::Current, QStringLiteral("Delim.000"), ",\r\n");
    db.context.csv = readCsvSideOutput(db.home.root());
    db.context.model = QStringLiteral("ТАРН \"2\", нитка 1");
    db.context.measurement =
        MeasurementValues{"1.033", "5.20", "1.0200", "0.9980", "12.50", "0", "3.55", "0,1"};
    Reading r;
    QStringList odd = hour(1, "01:00");
    odd[11] = QStringLiteral("x\"И\",xxxxxxxxxxx");
    r.hourly() = {odd, hour(2, "02:00")};
    const StoreResult stored = db.store(r);
    ASSERT_TRUE(stored.ok) << stored.error.toStdString();
    ASSERT_EQ(stored.csvFiles.size(), 2);
    const auto hours = test::readCsvFile(stored.csvFiles[0], QLatin1Char(','));
    ASSERT_TRUE(hours);
    ASSERT_EQ(hours->size(), 2);
    EXPECT_EQ(hours->at(0), odd + QStringList{QString()});
    EXPECT_EQ(hours->at(1).size(), hours->at(0).size());
    const auto measured = test::readCsvFile(stored.csvFiles[1], QLatin1Char(','));
    ASSERT_TRUE(measured);
    ASSERT_EQ(measured->size(), 1);
    EXPECT_EQ(measured->first(),
              (QStringList{"t12345", "12345", "ТАРН \"2\", нитка 1", "10.03.2024 12:00", "1.033", "5.20",
                           "1.0200", "0.9980", "12.50", "0", "3.55", "0,1", "кгс/см2", ""}));
    // A double quote cannot be the delimiter: the file falls back to the comma.
    db.home.write(folder::Current, QStringLiteral("Delim.000"), "\"\r\n");
    EXPECT_EQ(readCsvDelimiter(db.home.root()), QLatin1Char(','));
}

// A process killed in the middle of storing: what was committed stays, the kind in hand is not half
// there, and the same reading stored again completes it without a duplicate.
TEST(StoringDeathTest, AKilledRunLosesNothingCommittedAndTheSameStoreCompletesIt) {
    // The child is a fork: it stores into this test's installation.
    GTEST_FLAG_SET(death_test_style, "fast");
    Db db;
    Reading r;
    for (int h = 0; h < 48; ++h)
        r.hourly().append(hour(h, "00:00"));
    for (int h = 0; h < 48; ++h) {
        r.hourly()[h][1] = QDate(2024, 3, 1 + h / 24).toString(QStringLiteral("dd.MM.yyyy"));
        r.hourly()[h][2] = QTime(h % 24, 0).toString(QStringLiteral("HH:mm"));
    }
    r.daily() = {day(0, "01.03.2024"), day(1, "02.03.2024"), day(2, "03.03.2024")};
    // Selection and writing of the hours, selection of the days, then two days into the writing.
    const int killAt = 48 + 48 + 3 + 2;
    EXPECT_EXIT(db.store(r,
                         [killAt](int done, int) {
                             if (done == killAt) std::raise(SIGKILL);
                             return true;
                         }),
                testing::KilledBySignal(SIGKILL), "");
    EXPECT_EQ(db.rows(TableKind::Hourly).size(), 48);
    EXPECT_EQ(db.rows(TableKind::Daily).size(), 0);
    EXPECT_EQ(db.rows(TableKind::RequestLog).size(), 0);

    const StoreResult again = db.store(r);
    ASSERT_TRUE(again.ok) << again.error.toStdString();
    EXPECT_EQ(again.kinds[0].dropped, 48);
    EXPECT_EQ(again.kinds[1].stored, 3);
    EXPECT_EQ(db.rows(TableKind::Hourly).size(), 48);
    for (TableKind kind : {TableKind::Hourly, TableKind::Daily}) {
        QSqlDatabase check = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        check.setDatabaseName(tablePath(db.home.root(), kind, QStringLiteral("t12345")));
        ASSERT_TRUE(check.open());
        {
            QSqlQuery q(check);
            ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA integrity_check")));
            ASSERT_TRUE(q.next());
            EXPECT_EQ(q.value(0).toString(), QStringLiteral("ok"));
        }
        check.close();
        check = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("check"));
    }
}

TEST(Storing, TheParameterFileBeforeTheArchivesOrAfterThemForOlderSources) {
    Db db;
    QStringList calls;
    db.context.writeParameterFile = [&](const QString& path) {
        // What the hourly table holds when the file is written tells before from after.
        calls.append(QFileInfo(path).fileName() + QLatin1Char(' ') +
                     QString::number(db.rows(TableKind::Hourly).size()));
        return true;
    };
    Reading r;
    r.hourly() = {hour(1, "01:00")};
    ASSERT_TRUE(db.store(r).ok);
    EXPECT_EQ(calls, QStringList{QStringLiteral("p_t12345.000 0")});

    // From a transfer unit: a file that is there already is rewritten after the archives.
    db.home.write(folder::Param, QStringLiteral("p_t12345.000"), "old\r\n");
    db.context.sourceKind = 3;
    r.hourly() = {hour(2, "02:00")};
    const StoreResult later = db.store(r);
    ASSERT_TRUE(later.ok);
    EXPECT_EQ(calls.last(), QStringLiteral("p_t12345.000 2"));
    EXPECT_EQ(later.parameterFileWritten, db.now);
    // Older records than the stored ones: the newer file is kept.
    r.hourly() = {hour(0, "00:00")};
    const int before = static_cast<int>(calls.size());
    const StoreResult older = db.store(r);
    ASSERT_TRUE(older.ok);
    EXPECT_EQ(older.kinds[0].stored, 1);
    EXPECT_EQ(calls.size(), before);
    EXPECT_FALSE(older.parameterFileWritten.isValid());
}

// A stored timestamp read back digit by digit is what the ISO parser reads, for the kept form and for
// everything that only looks like it.
TEST(StoredTime, TimestampsReadBackAsTheIsoParserReadsThem) {
    using tarn::database::storedTimestamp;
    using tarn::database::timestampFromStored;
    const QDateTime start(QDate(2024, 2, 27), QTime(23, 0, 0));
    for (int h = 0; h < 24 * 4; ++h) {
        const QString kept = storedTimestamp(start.addSecs(h * 3600LL + 17));
        ASSERT_EQ(timestampFromStored(kept), QDateTime::fromString(kept, Qt::ISODate)) << kept.toStdString();
        ASSERT_EQ(timestampFromStored(kept), start.addSecs(h * 3600LL + 17));
    }
    for (const char* odd : {"2024-02-30T10:00:00", "2024-02-28T24:00:00", "2024-02-28 10:00:00",
                            "2024-02-28T10:00", "2024-02-28T10:00:00Z", "2024-0a-28T10:00:00", "", "0"}) {
        const QString text = QString::fromLatin1(odd);
        EXPECT_EQ(timestampFromStored(text), QDateTime::fromString(text, Qt::ISODate)) << odd;
    }
}
