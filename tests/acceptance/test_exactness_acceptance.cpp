// Acceptance checks of what the programs put in front of a metering engineer: the archive tables of a
// read, a stored point's day report, the CSV copy of a listing and a graph picture. tarn-cli and
// corrector-sim run as processes only; every record is built byte by byte here and every expected value
// is worked out here from those bytes.
#include "acceptance/AcceptanceReaders.h"
#include "acceptance/AcceptanceRecords.h"
#include "support/CliRunner.h"
#include "support/SimProcess.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSize>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <optional>

namespace {

const QString kSim = QStringLiteral(TARN_SIM_PROGRAM);

// ---------------------------------------------------------------- independent readers

using acceptance::fromCp1251;
using acceptance::parseCsv;

// The JPEG marker chain from SOI to the first frame header: the picture's size, or nothing when the
// bytes are no JPEG.
std::optional<QSize> jpegSize(const QByteArray& b) {
    if (b.size() < 4 || quint8(b[0]) != 0xFF || quint8(b[1]) != 0xD8) return std::nullopt;
    qsizetype i = 2;
    while (i + 4 <= b.size()) {
        if (quint8(b[i]) != 0xFF) return std::nullopt;
        const quint8 marker = quint8(b[i + 1]);
        const int length = (quint8(b[i + 2]) << 8) | quint8(b[i + 3]);
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                           marker != 0xCC;
        if (frame && i + 9 <= b.size()) {
            const int h = (quint8(b[i + 5]) << 8) | quint8(b[i + 6]);
            const int w = (quint8(b[i + 7]) << 8) | quint8(b[i + 8]);
            return QSize(w, h);
        }
        i += 2 + length;
    }
    return std::nullopt;
}

// ---------------------------------------------------------------- corrector records, byte by byte

using acceptance::deviceMinutes;
using acceptance::floatLe;
using acceptance::le;
using acceptance::sealed;

struct HourRecord {
    QDateTime end;
    float working, standard, alarmWorking, alarmStandard;
    quint16 pressure1000;
    qint16 temperature100;
    quint16 compress10000, correctionRaw, status1, status2;
};

QByteArray hourlyBytes(const HourRecord& h) {
    QByteArray r = deviceMinutes(h.end);
    r += floatLe(h.working) + floatLe(h.standard) + floatLe(h.alarmWorking) + floatLe(h.alarmStandard);
    r += le(h.pressure1000, 2) + le(quint16(h.temperature100), 2) + le(h.compress10000, 2);
    r += le(h.correctionRaw, 2) + le(h.status1, 2) + le(h.status2, 2);
    r += '\0';
    return sealed(r);
}

QByteArray serviceBytes(const QDateTime& at, quint16 current, quint16 previous) {
    return sealed(deviceMinutes(at) + le(current, 2) + le(previous, 2) + '\0');
}

constexpr int kHourlyFirstPage = 52;   // low bank
constexpr int kServiceFirstPage = 232; // high bank

QJsonObject bytesAt(bool high, int offset, const QByteArray& bytes) {
    return {{"bank", high ? "high" : "low"}, {"offset", offset}, {"hex", QString::fromLatin1(bytes.toHex())}};
}

QJsonObject corrector(const QString& identification, int serial) {
    return {{"role", "corrector"},
            {"address", 1},
            {"serial", serial},
            {"identification", identification},
            {"passwords", QJsonArray{"1111", "2222", "3333", "4444", "5555", "6666", "7777"}}};
}

QByteArray scenario(const QJsonObject& device) {
    return QJsonDocument(QJsonObject{{"devices", QJsonArray{device}}}).toJson();
}

// ---------------------------------------------------------------- installations and processes

using Result = tarn::test::CliText;

class Installation {
public:
    Installation() {
        home_ = dir_.path() + QStringLiteral("/home");
        QDir().mkpath(home_);
        const Result r = cli({QStringLiteral("init")});
        initialised_ = r.code == 0;
        // Russian texts, and the semicolon as the list delimiter.
        write(QStringLiteral("Work/Type_Leng.000"), "RU\r\n");
        write(QStringLiteral("Current/Delim.000"), ";\r\n");
    }
    bool initialised() const { return initialised_; }
    QString home() const { return home_; }
    QString scratch(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }

    void write(const QString& relative, const QByteArray& bytes) const {
        QDir().mkpath(QFileInfo(home_ + QLatin1Char('/') + relative).path());
        QFile f(home_ + QLatin1Char('/') + relative);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    bool remove(const QString& relative) const { return QFile::remove(home_ + QLatin1Char('/') + relative); }
    bool exists(const QString& relative) const { return QFile::exists(home_ + QLatin1Char('/') + relative); }

    // A simulated corrector on COM1.
    bool startCorrector(const QByteArray& json) {
        const QString link = scratch(QStringLiteral("com1"));
        write(QStringLiteral("Work/PortMap.000"), "COM1 " + link.toLocal8Bit() + "\r\n");
        sim_ = std::make_unique<tarn::test::SimProcess>();
        return sim_->start(kSim, scratch(QStringLiteral("scenario.json")), json, link);
    }
    void stopCorrector() { sim_.reset(); }

    Result cli(const QStringList& args) const { return tarn::test::runCliIn(home_, args).text(); }
    // A line command to the corrector on COM1.
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

// One archive of a read --json answer: its columns and rows of cells.
QJsonObject archiveOf(const QJsonObject& answer, const QString& key) {
    return answer.value(QStringLiteral("archives")).toObject().value(key).toObject();
}

QList<QStringList> rowsOf(const QJsonObject& archive) {
    QList<QStringList> rows;
    for (const QJsonValue& row : archive.value(QStringLiteral("rows")).toArray()) {
        QStringList cells;
        for (const QJsonValue& c : row.toArray())
            cells.append(c.toString());
        rows.append(cells);
    }
    return rows;
}

QString fixed(double v, int decimals) {
    return QString::number(v, 'f', decimals);
}

// ---------------------------------------------------------------- hourly rows and their precision

struct PrecisionCase {
    const char* name;
    std::optional<QByteArray> qdel; // Work/Qdel.000, or no file
    int volumeDecimals;
};

class HourlyPrecision : public ::testing::TestWithParam<PrecisionCase> {};

TEST_P(HourlyPrecision, RowsShowEachValueWithItsDecimals) {
    const PrecisionCase& c = GetParam();
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    if (c.qdel)
        inst.write(QStringLiteral("Work/Qdel.000"), *c.qdel);
    else
        inst.remove(QStringLiteral("Work/Qdel.000"));

    const QDateTime t0(QDate(2024, 3, 1), QTime(10, 0));
    // Pressures below 6, at 6 and above (the factor then kept in thousandths), negative temperatures,
    // and values that round away from any half at 2 and at 3 decimals.
    const QList<HourRecord> hours = {
        {t0, 7.6543f, 24.3211f, 1.0416f, 3.1872f, 1234, -512, 9987, 12345, 0, 0},
        {t0.addSecs(3600), 12.3456f, 40.0071f, 0.2468f, 0.8642f, 1000, 1875, 10012, 30021, 0x3001, 0x0001},
        {t0.addSecs(7200), 5.5572f, 9.9876f, 2.7182f, 4.4444f, 6000, 0, 9876, 7654, 0, 0},
        {t0.addSecs(10800), 100.1234f, 650.6789f, 0.0111f, 0.0789f, 6543, -1234, 9001, 61237, 0, 0},
        {t0.addSecs(14400), 0.9876f, 3.0123f, 0.5432f, 1.6789f, 5999, 2001, 9999, 29999, 0, 0},
    };
    QByteArray page;
    for (const HourRecord& h : hours)
        page += hourlyBytes(h);
    QJsonObject device = corrector(QStringLiteral("V Tarn-sim V47a 2.01"), 41234);
    device.insert(QStringLiteral("archiveBytes"),
                  QJsonArray{bytesAt(false, kHourlyFirstPage * 256, page)});
    ASSERT_TRUE(inst.startCorrector(scenario(device)));

    const Result r = inst.onLine({QStringLiteral("read"), QStringLiteral("--archives"), QStringLiteral("hourly"),
                                  QStringLiteral("--until-empty"), QStringLiteral("--json")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject answer = QJsonDocument::fromJson(r.out.toUtf8()).object();
    const QList<QStringList> rows = rowsOf(archiveOf(answer, QStringLiteral("hourly")));
    ASSERT_GE(rows.size(), hours.size()) << r.out.toStdString();

    const int d = c.volumeDecimals;
    for (int i = 0; i < hours.size(); ++i) {
        const HourRecord& h = hours[i];
        SCOPED_TRACE(i);
        const QStringList& row = rows[i];
        ASSERT_GE(row.size(), 12);
        const bool thousandths = h.pressure1000 >= 6000;
        const QStringList expected = {
            QStringLiteral("%1").arg(i, 5, 10, QLatin1Char('0')),
            h.end.toString(QStringLiteral("dd.MM.yyyy")),
            h.end.toString(QStringLiteral("HH:mm")),
            fixed(h.working, d),
            fixed(h.standard, d),
            fixed(h.alarmWorking, d),
            fixed(h.alarmStandard, d),
            fixed(h.pressure1000 / 1000.0, 3),
            fixed(h.temperature100 / 100.0, 2),
            fixed(h.compress10000 / 10000.0, 4),
            fixed(h.correctionRaw / (thousandths ? 1000.0 : 10000.0), 4),
        };
        EXPECT_EQ(row.mid(0, 11), expected);
    }
    // Status words 1 = 0x3001, 2 = 0x0001: intervention and abnormal marks, bit 0 set in both words.
    EXPECT_EQ(rows[1][11], QStringLiteral("xИВ/xxxxxxxxxxxO"));
    EXPECT_EQ(rows[0][11], QStringLiteral("xxx/xxxxxxxxxxxx"));
}

INSTANTIATE_TEST_SUITE_P(VolumePrecision, HourlyPrecision,
                         ::testing::Values(PrecisionCase{"NoFile", std::nullopt, 2},
                                           PrecisionCase{"Three", QByteArray("3\r\n"), 3}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- the service archive's depth

struct DepthCase {
    const char* name;
    const char* identification;
    int records;   // written into the corrector's service pages
    int lastRow;   // the highest record number the read gives
    int spoilt;    // a record whose check byte is wrong on every read
};

class ServiceDepth : public ::testing::TestWithParam<DepthCase> {};

TEST_P(ServiceDepth, RowsEndAtTheModelsDepthAndASpoiltRecordIsBlanked) {
    const DepthCase& c = GetParam();
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    const QDateTime t0(QDate(2024, 1, 1), QTime(0, 0));
    QByteArray pages;
    for (int i = 0; i < c.records; ++i) {
        QByteArray rec = serviceBytes(t0.addSecs(600LL * i), quint16(i + 1), quint16(i));
        if (i == c.spoilt) rec[7] = char(quint8(rec[7]) + 1);
        pages += rec;
    }
    QJsonObject device = corrector(QString::fromLatin1(c.identification), 41234);
    device.insert(QStringLiteral("archiveBytes"), QJsonArray{bytesAt(true, kServiceFirstPage * 256, pages)});
    ASSERT_TRUE(inst.startCorrector(scenario(device)));

    const Result r = inst.onLine(
        {QStringLiteral("read"), QStringLiteral("--archives"), QStringLiteral("service"), QStringLiteral("--json")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject answer = QJsonDocument::fromJson(r.out.toUtf8()).object();
    const QJsonObject service = archiveOf(answer, QStringLiteral("service"));
    const QList<QStringList> rows = rowsOf(service);
    ASSERT_EQ(rows.size(), c.lastRow + 1);
    for (int i = 0; i <= c.lastRow; ++i) {
        SCOPED_TRACE(i);
        ASSERT_FALSE(rows[i].isEmpty());
        EXPECT_EQ(rows[i][0], QStringLiteral("%1").arg(i, 5, 10, QLatin1Char('0')));
        if (i == c.spoilt) {
            for (int k = 1; k < rows[i].size(); ++k)
                EXPECT_TRUE(rows[i][k].isEmpty()) << k;
            continue;
        }
        ASSERT_GE(rows[i].size(), 5);
        const QDateTime at = t0.addSecs(600LL * i);
        EXPECT_EQ(rows[i][1], at.toString(QStringLiteral("dd.MM.yyyy")));
        EXPECT_EQ(rows[i][2], at.toString(QStringLiteral("HH:mm")));
        // The codes' notation is not fixed: four hexadecimal digits or a decimal number.
        auto code = [](int v) {
            return QStringList{QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0')).toUpper(), QString::number(v)};
        };
        EXPECT_TRUE(code(i + 1).contains(rows[i][3])) << rows[i][3].toStdString();
        EXPECT_TRUE(code(i).contains(rows[i][4])) << rows[i][4].toStdString();
    }
    EXPECT_EQ(answer.value(QStringLiteral("blanked")).toObject().value(QStringLiteral("service")).toInt(-1), 1) << r.out.left(400).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Models, ServiceDepth,
    ::testing::Values(DepthCase{"Version46aOrLater", "V Tarn-sim V47a 2.01", 500, 495, 7},
                      DepthCase{"EarlyVersion", "V Tarn-sim V43z 2.01", 765, 759, 600}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- a stored point: report, CSV, graph

// Hour factors that keep every volume exact at two decimals, so sums can be compared to the cent.
const QList<double> kProfile = {0.25, 0.5, 0.25, 0.5, 0.75, 1.0, 1.25, 1.5, 1.75, 2.0, 1.5, 1.25,
                                1.0,  1.0, 1.25, 1.5, 1.75, 2.0, 1.5, 1.0, 0.75, 0.5, 0.25, 0.25};
constexpr double kFlow = 10.0;
constexpr double kCorrection = 2.0;
const QString kOrganisation = QStringLiteral("ТОВ \"Газ;Збут\"");
const QString kPipeline = QStringLiteral("нитка;\"А\"");

class StoredPoint : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        inst_ = new Installation;
        if (!inst_->initialised()) return;
        QJsonObject device = corrector(QStringLiteral("V Tarn-sim V47a 2.01"), 41234);
        device.insert(QStringLiteral("measurements"),
                      QJsonObject{{"pressure", 1.5}, {"temperature", 5.0}, {"compressibility", 1.0},
                                  {"correction", kCorrection}});
        QJsonArray profile;
        for (double f : kProfile)
            profile.append(f);
        device.insert(QStringLiteral("archive"),
                      QJsonObject{{"start", "01.03.2024 00:00"}, {"hours", 72}, {"flow", kFlow}, {"profile", profile}});
        device.insert(QStringLiteral("words"), QJsonArray{QJsonObject{{"index", 113}, {"text", kOrganisation}},
                                                           QJsonObject{{"index", 121}, {"text", kPipeline}}});
        if (!inst_->startCorrector(scenario(device))) return;
        stored_ = inst_->onLine({QStringLiteral("store"), QStringLiteral("--archives"),
                                 QStringLiteral("hourly,daily"), QStringLiteral("--until-empty")});
        inst_->stopCorrector();
        const Result list = inst_->cli({QStringLiteral("points"), QStringLiteral("list"), QStringLiteral("--json")});
        const QJsonDocument doc = QJsonDocument::fromJson(list.out.toUtf8());
        QJsonArray points = doc.isArray() ? doc.array() : doc.object().value(QStringLiteral("points")).toArray();
        for (const QJsonValue& p : points) {
            const QJsonObject o = p.toObject();
            // A family "V" corrector has no model letter: its identifier is the serial's five characters.
            if (o.value(QStringLiteral("serial")).toString() == QStringLiteral("41234"))
                pointId_ = o.value(QStringLiteral("point")).toString();
        }
    }
    static void TearDownTestSuite() {
        delete inst_;
        inst_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(inst_ && inst_->initialised());
        ASSERT_EQ(stored_.code, 0) << stored_.err.toStdString();
        ASSERT_FALSE(pointId_.isEmpty());
    }
    static Installation* inst_;
    static Result stored_;
    static QString pointId_;
};
Installation* StoredPoint::inst_ = nullptr;
Result StoredPoint::stored_;
QString StoredPoint::pointId_;

double cellNumber(const QString& cell, bool* ok) {
    return cell.trimmed().toDouble(ok);
}

TEST_F(StoredPoint, DayReportShowsParametersAndHourlyRowsAddUpToTheDay) {
    const Result r = inst_->cli({QStringLiteral("report"), QStringLiteral("--point"), pointId_, QStringLiteral("--period"),
                                 QStringLiteral("day"), QStringLiteral("--from"), QStringLiteral("02.03.2024"),
                                 QStringLiteral("--params")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QStringList lines = r.out.split(QRegularExpression(QStringLiteral("\r?\n")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Параметры корректора на начало отчета:"))) << r.out.toStdString();

    // Hourly rows: "|date|HH:MM |working|standard|alarm|alarm standard|…"; the gas day of 02.03 runs
    // 09:00 to 09:00 (contract hour 9).
    double sums[4] = {0, 0, 0, 0};
    int rowCount = 0;
    QStringList totals;
    const QRegularExpression hourCell(QStringLiteral("^\\d\\d:\\d\\d\\s*$"));
    for (const QString& line : lines) {
        const QStringList cells = line.split(QLatin1Char('|'));
        if (cells.size() > 7 && hourCell.match(cells[2]).hasMatch()) {
            const int hour = cells[2].left(2).toInt();
            ++rowCount;
            bool ok = false;
            const double working = cellNumber(cells[3], &ok);
            ASSERT_TRUE(ok) << line.toStdString();
            EXPECT_DOUBLE_EQ(working, kFlow * kProfile[hour]) << line.toStdString();
            EXPECT_DOUBLE_EQ(cellNumber(cells[4], &ok), kFlow * kProfile[hour] * kCorrection) << line.toStdString();
            for (int k = 0; k < 4; ++k)
                sums[k] += cellNumber(cells[3 + k], &ok);
        }
        if (line.startsWith(QStringLiteral("|Итого за сутки:"))) totals = cells;
    }
    EXPECT_EQ(rowCount, 24);
    ASSERT_GE(totals.size(), 6) << r.out.toStdString();
    double day = 0;
    for (double f : kProfile)
        day += kFlow * f;
    bool ok = false;
    EXPECT_DOUBLE_EQ(cellNumber(totals[2], &ok), day);
    EXPECT_DOUBLE_EQ(cellNumber(totals[3], &ok), day * kCorrection);
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(cellNumber(totals[2 + k], &ok), sums[k], 0.005) << k;
}

TEST_F(StoredPoint, PointListingCsvHasOneFieldPerColumn) {
    const QString csv = inst_->scratch(QStringLiteral("hours.csv"));
    const Result r = inst_->cli({QStringLiteral("listing"), QStringLiteral("--point"), pointId_, QStringLiteral("--archive"),
                                 QStringLiteral("hourly"), QStringLiteral("--period"), QStringLiteral("day"),
                                 QStringLiteral("--from"), QStringLiteral("02.03.2024"), QStringLiteral("--csv"), csv,
                                 QStringLiteral("--totals")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = fromCp1251(f.readAll());
    const std::optional<QList<QStringList>> records = parseCsv(text, QLatin1Char(';'));
    ASSERT_TRUE(records.has_value()) << text.toStdString();
    ASSERT_GE(records->size(), 2);
    // The title line as it is: one field, no bars in it.
    EXPECT_EQ(records->at(0).size(), 1);
    EXPECT_TRUE(records->at(0).at(0).startsWith(QStringLiteral("/кор.* "))) << records->at(0).at(0).toStdString();
    qsizetype header = -1;
    int dataRows = 0;
    for (const QStringList& rec : *records) {
        if (rec.isEmpty()) continue;
        if (rec[0].trimmed() == QStringLiteral("ном.")) {
            header = rec.size();
            // The header's bar after the last title leaves one empty field at the end.
            EXPECT_TRUE(rec.last().isEmpty()) << rec.join(QLatin1Char('|')).toStdString();
            continue;
        }
        bool number = false;
        rec[0].trimmed().toInt(&number);
        if (!number) continue;
        ++dataRows;
        EXPECT_EQ(rec.size(), header) << rec.join(QLatin1Char('|')).toStdString();
        // Every data row's hour lies in the gas day 02.03 09:00 .. 03.03 09:00.
        ASSERT_GE(rec.size(), 3);
        const QDateTime at = QDateTime::fromString(rec[1].trimmed() + QLatin1Char(' ') + rec[2].trimmed(),
                                                   QStringLiteral("dd.MM.yyyy HH:mm"));
        EXPECT_GT(at, QDateTime(QDate(2024, 3, 2), QTime(9, 0))) << rec.join(QLatin1Char('|')).toStdString();
        EXPECT_LE(at, QDateTime(QDate(2024, 3, 3), QTime(9, 0))) << rec.join(QLatin1Char('|')).toStdString();
    }
    EXPECT_GT(header, 1);
    EXPECT_EQ(dataRows, 24);
}

// Each header line of a CSV file followed by its rows: every row has as many fields as its header.
void expectRowsMatchHeaders(const QList<QStringList>& records, const QStringList& headerStarts) {
    qsizetype header = -1;
    int rows = 0;
    for (const QStringList& rec : records) {
        if (rec.size() < 2) {
            header = -1; // a one-field line (title, member line) ends the table above it
            continue;
        }
        if (headerStarts.contains(rec[0].trimmed())) {
            header = rec.size();
            continue;
        }
        if (header < 0) continue;
        ++rows;
        EXPECT_EQ(rec.size(), header) << rec.join(QLatin1Char('|')).toStdString();
    }
    EXPECT_GT(rows, 0);
}

TEST_F(StoredPoint, GroupListingCsvQuotesTheOrganisationAndPipeline) {
    const Result saved = inst_->cli({QStringLiteral("group"), QStringLiteral("save"), QStringLiteral("Г1"),
                                     QStringLiteral("--points"), pointId_});
    ASSERT_EQ(saved.code, 0) << saved.err.toStdString();
    const QString csv = inst_->scratch(QStringLiteral("group.csv"));
    const QString matrix = inst_->scratch(QStringLiteral("matrix.csv"));
    const Result r = inst_->cli({QStringLiteral("listing"), QStringLiteral("--group"), QStringLiteral("Г1"),
                                 QStringLiteral("--archive"), QStringLiteral("daily"), QStringLiteral("--from"),
                                 QStringLiteral("02.03.2024"), QStringLiteral("--to"), QStringLiteral("03.03.2024"),
                                 QStringLiteral("--breakdown"), QStringLiteral("--csv"), csv,
                                 QStringLiteral("--matrix-csv"), matrix});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();

    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = fromCp1251(f.readAll());
    const std::optional<QList<QStringList>> records = parseCsv(text, QLatin1Char(';'));
    ASSERT_TRUE(records.has_value()) << text.toStdString();
    // The member's line names organisation and pipeline, each whole, in one field.
    bool named = false;
    for (const QStringList& rec : *records)
        for (const QString& field : rec)
            named = named || (field.contains(kOrganisation) && field.contains(kPipeline));
    EXPECT_TRUE(named) << text.toStdString();
    expectRowsMatchHeaders(*records, {QStringLiteral("Vраб"), QStringLiteral("ном.")});

    QFile m(matrix);
    ASSERT_TRUE(m.open(QIODevice::ReadOnly));
    const QString matrixText = fromCp1251(m.readAll());
    const std::optional<QList<QStringList>> cells = parseCsv(matrixText, QLatin1Char(';'));
    ASSERT_TRUE(cells.has_value()) << matrixText.toStdString();
    // The member's column is titled by its pipeline.
    bool titled = false;
    for (const QStringList& rec : *cells)
        titled = titled || rec.contains(kPipeline);
    EXPECT_TRUE(titled) << matrixText.toStdString();
    expectRowsMatchHeaders(*cells, {QStringLiteral("дата")});
}

TEST_F(StoredPoint, GraphSavedUnderAnotherExtensionIsAJpegPicture) {
    const QString asked = inst_->scratch(QStringLiteral("day.png"));
    const QString written = inst_->scratch(QStringLiteral("day.jpg"));
    const Result r = inst_->cli({QStringLiteral("graph"), QStringLiteral("--point"), pointId_, QStringLiteral("--archive"),
                                 QStringLiteral("hourly"), QStringLiteral("--from"), QStringLiteral("02.03.2024"),
                                 QStringLiteral("--to"), QStringLiteral("03.03.2024"), QStringLiteral("--out"), asked,
                                 QStringLiteral("--width"), QStringLiteral("640"), QStringLiteral("--height"),
                                 QStringLiteral("480")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(asked));
    QFile f(written);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    ASSERT_GE(bytes.size(), 4);
    EXPECT_EQ(quint8(bytes[0]), 0xFF);
    EXPECT_EQ(quint8(bytes[1]), 0xD8);
    EXPECT_EQ(quint8(bytes[bytes.size() - 2]), 0xFF);
    EXPECT_EQ(quint8(bytes[bytes.size() - 1]), 0xD9);
    const std::optional<QSize> size = jpegSize(bytes);
    ASSERT_TRUE(size.has_value());
    EXPECT_EQ(*size, QSize(640, 480));
}

// Runs last in the suite: it takes the point's parameter file away.
TEST_F(StoredPoint, ZDayReportRefusesWithoutTheParameterFile) {
    const QString file = QStringLiteral("Param/p_%1.000").arg(pointId_);
    ASSERT_TRUE(inst_->exists(file));
    ASSERT_TRUE(inst_->remove(file));
    const Result r = inst_->cli({QStringLiteral("report"), QStringLiteral("--point"), pointId_, QStringLiteral("--period"),
                                 QStringLiteral("day"), QStringLiteral("--from"), QStringLiteral("02.03.2024"),
                                 QStringLiteral("--params")});
    const QString all = r.out + r.err;
    EXPECT_NE(r.code, 0);
    // Model and serial as the identification gives them: family "V", version 47a, serial above 4000.
    const QString message = QStringLiteral("Внимание!!! Нет файла параметров для корректора - ТАРН-1.01 N41234");
    bool found = false;
    for (const QString& line : all.split(QLatin1Char('\n'))) {
        const qsizetype at = line.indexOf(QStringLiteral("Внимание!!!"));
        if (at >= 0) found = found || line.mid(at).simplified() == message;
    }
    EXPECT_TRUE(found) << all.toStdString();
    EXPECT_FALSE(all.contains(QStringLiteral("Почасовые данные")));
}

} // namespace
