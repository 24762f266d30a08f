// Acceptance checks of the text reports, listings, CSV copies and workbook through the programs: records
// are built byte by byte here, played by corrector-sim, read and stored by tarn-cli, and every figure of
// the outputs is worked out here from those records and compared with the files as written.
#include "acceptance/AcceptanceReaders.h"
#include "acceptance/AcceptanceRecords.h"
#include "reports/XlsxRead.h"
#include "support/CliRunner.h"
#include "support/SimProcess.h"

#include <QDateTime>
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
#include <cstring>
#include <optional>
#include <ostream>

// Texts in failure messages as text.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

const QString kSim = QStringLiteral(TARN_SIM_PROGRAM);

// ---------------------------------------------------------------- independent readers

using acceptance::fromCp1251;
using acceptance::parseCsv;

// ---------------------------------------------------------------- records, byte by byte

using acceptance::deviceMinutes;
using acceptance::floatLe;
using acceptance::le;
using acceptance::sealed;

constexpr quint16 kIntervention = 0x2000; // status word 1, bit 13
constexpr quint16 kAbnormal = 0x1000;     // status word 1, bit 12
constexpr int kContractHour = 9;

// One hourly, daily or monthly record: the interval's end and what the corrector counted in it.
struct Rec {
    QDateTime end;
    double w, s, aw, as; // working, standard, alarm working, alarm standard volume
    int p1000;           // pressure, thousandths of kgf/cm²
    int t100;            // temperature, hundredths of °C
    int corr10000;       // correction factor, ten-thousandths
    quint16 status1 = 0;
    qint32 counter = 0; // daily and monthly: meter counter, pulses
};

QByteArray headBytes(const Rec& r) {
    QByteArray b = deviceMinutes(r.end);
    b += floatLe(r.w) + floatLe(r.s) + floatLe(r.aw) + floatLe(r.as);
    b += le(quint16(r.p1000), 2) + le(quint16(qint16(r.t100)), 2) + le(9990, 2) + le(quint16(r.corr10000), 2);
    b += le(r.status1, 2) + le(0, 2);
    return b;
}

QByteArray hourlyBytes(const Rec& r) {
    return sealed(headBytes(r) + '\0');
}

// The 16-byte block carries the contract hour in its 13th byte (hex digits 25-26 of its text).
QByteArray dailyBytes(const Rec& r) {
    QByteArray block(16, '\0');
    block[12] = char(kContractHour);
    QByteArray b = headBytes(r) + le(quint32(r.counter), 4) + block + le(quint32(r.counter * 2), 4);
    b += floatLe(0) + floatLe(0) + '\0';
    return sealed(b);
}

QJsonObject bytesAt(bool high, int page, const QByteArray& bytes) {
    return {{"bank", high ? "high" : "low"}, {"offset", page * 256}, {"hex", QString::fromLatin1(bytes.toHex())}};
}

constexpr int kHourlyPage = 52;   // low bank
constexpr int kDailyPage = 192;   // high bank
constexpr int kMonthlyPage = 224; // high bank

const QDateTime kFirstEnd(QDate(2024, 3, 1), QTime(10, 0)); // the first hour of gas day 01.03.2024

// Point A: 72 hours (gas days 01.03, 02.03 and 03.03), every volume a multiple of 0.5 so that sums are
// exact at any precision; an intervention in hour 4 and an abnormal situation in hour 30.
QList<Rec> hoursA() {
    QList<Rec> out;
    for (int i = 0; i < 72; ++i) {
        Rec r;
        r.end = kFirstEnd.addSecs(3600LL * i);
        r.w = 0.5 * (2 + i % 6);
        r.s = 2 * r.w + 0.5 * (i % 3);
        r.aw = i % 8 == 3 ? 0.5 : 0.0;
        r.as = 2 * r.aw;
        r.p1000 = 1100 + 13 * (i % 10);
        r.t100 = -125 + 50 * (i % 7);
        r.corr10000 = 20000 + 7 * (i % 5);
        r.status1 = i == 4 ? kIntervention : i == 30 ? kAbnormal : 0;
        out.append(r);
    }
    return out;
}

// Point B: a flat 1.5 m³ an hour up to 03.03.2024 02:00, an intervention in hour 35.
QList<Rec> hoursB() {
    QList<Rec> out;
    for (int i = 0; i <= 40; ++i)
        out.append(Rec{kFirstEnd.addSecs(3600LL * i), 1.5, 3.5, 0, 0, 1500, 200, 20000,
                       quint16(i == 35 ? kIntervention : 0), 0});
    return out;
}

// The daily records of A as a corrector keeps them: gas day 29.02 (closing at 01.03 09:00) and then one
// per gas day summing its hours, with pressure, temperature and factor of the corrector's own day mean
// (deliberately not the mean of the hours) and a meter counter.
QList<Rec> daysA() {
    QList<Rec> out{{kFirstEnd.addSecs(-3600), 40, 80, 1, 2, 1150, 300, 20010, 0, 5000}};
    const QList<Rec> hours = hoursA();
    for (int k = 1; k <= 3; ++k) {
        Rec d{kFirstEnd.addSecs(-3600 + 86400LL * k), 0, 0, 0, 0, 1150 + 10 * k, 300 + 25 * k, 20010 + k, 0,
              5000 + 100 * k};
        for (int i = 24 * (k - 1); i < 24 * k; ++i) {
            d.w += hours[i].w;
            d.s += hours[i].s;
            d.aw += hours[i].aw;
            d.as += hours[i].as;
            d.status1 |= hours[i].status1;
        }
        out.append(d);
    }
    return out;
}

// Monthly records of A: February (closing 01.03 09:00) and March (closing 01.04 09:00).
QList<Rec> monthsA() {
    return {{kFirstEnd.addSecs(-3600), 1000.5, 2001, 2.5, 4.5, 1200, 250, 20000, 0, 5000},
            {QDateTime(QDate(2024, 4, 1), QTime(9, 0)), 700.5, 1400.5, 3.5, 7, 1250, 150, 20000, kIntervention,
             7000}};
}

// Abnormal-situation records of A: two situations begin in one record, one ends, the gas day 02.03 closes
// (situation 15) with situation 1 still on, and the next day's first record ends it.
struct AlarmRec {
    QDateTime at;
    quint16 current, previous;
    double aw, as;
};

QList<AlarmRec> alarmsA() {
    return {{QDateTime(QDate(2024, 3, 2), QTime(12, 0)), 0x0003, 0x0000, 0, 0},
            {QDateTime(QDate(2024, 3, 2), QTime(15, 0)), 0x0001, 0x0003, 1.5, 3},
            {QDateTime(QDate(2024, 3, 3), QTime(9, 0)), 0x4001, 0x0001, 2.5, 5},
            {QDateTime(QDate(2024, 3, 3), QTime(11, 0)), 0x0000, 0x0001, 0.5, 1}};
}

QByteArray alarmBytes(const AlarmRec& a) {
    return sealed(deviceMinutes(a.at) + le(a.current, 2) + le(a.previous, 2) + floatLe(a.aw) + floatLe(a.as) + '\0');
}

QJsonObject correctorA() {
    QByteArray hourly, daily, monthly, alarms;
    for (const AlarmRec& a : alarmsA())
        alarms += alarmBytes(a);
    for (const Rec& r : hoursA())
        hourly += hourlyBytes(r);
    for (const Rec& r : daysA())
        daily += dailyBytes(r);
    for (const Rec& r : monthsA())
        monthly += dailyBytes(r);
    return {{"role", "corrector"},
            {"address", 1},
            {"serial", 41234},
            {"identification", "V Tarn-sim V47a 2.01"},
            {"passwords", QJsonArray{"1111", "2222", "3333", "4444", "5555", "6666", "7777"}},
            {"archiveBytes", QJsonArray{bytesAt(false, kHourlyPage, hourly), bytesAt(true, kDailyPage, daily),
                                        bytesAt(true, kMonthlyPage, monthly), bytesAt(false, 0, alarms)}}};
}

QJsonObject correctorB() {
    QByteArray hourly;
    for (const Rec& r : hoursB())
        hourly += hourlyBytes(r);
    return {{"role", "corrector"},
            {"address", 1},
            {"serial", 41235},
            {"identification", "V Tarn-sim V47a 2.01"},
            {"passwords", QJsonArray{"1111", "2222", "3333", "4444", "5555", "6666", "7777"}},
            {"archiveBytes", QJsonArray{bytesAt(false, kHourlyPage, hourly)}}};
}

QByteArray scenario(const QJsonObject& device) {
    return QJsonDocument(QJsonObject{{"devices", QJsonArray{device}}}).toJson();
}

// ---------------------------------------------------------------- expected texts

// The report number format: fixed decimals, trailing zeros and a bare point cut.
QString num(double v, int decimals) {
    QString t = QString::number(v, 'f', decimals);
    if (t.contains(QLatin1Char('.'))) {
        while (t.endsWith(QLatin1Char('0')))
            t.chop(1);
        if (t.endsWith(QLatin1Char('.'))) t.chop(1);
    }
    if (t == QStringLiteral("-0")) t = QStringLiteral("0");
    return t;
}

QString pad(const QString& s, int width) {
    return s.leftJustified(width, QLatin1Char(' '));
}

QString flags(quint16 status1) {
    return QStringLiteral("|%1|%2|")
        .arg(status1 & kIntervention ? QLatin1Char('*') : QLatin1Char('-'))
        .arg(status1 & kAbnormal ? QLatin1Char('*') : QLatin1Char('-'));
}

double mean(const QList<double>& v) {
    double s = 0;
    for (double x : v)
        s += x;
    return s / double(v.size());
}

// ---------------------------------------------------------------- installation and processes

using Result = tarn::test::CliText;

class Installation {
public:
    Installation() {
        home_ = dir_.path() + QStringLiteral("/home");
        QDir().mkpath(home_);
        initialised_ = cli({QStringLiteral("init")}).code == 0;
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
    bool remove(const QString& relative) const { return QFile::remove(home_ + QLatin1Char('/') + relative); }
    // Reads the corrector's archives from a simulated line and stores them (with the further arguments).
    Result store(const QJsonObject& device, const QStringList& more = {}) {
        const QString link = scratch(QStringLiteral("com1"));
        write(QStringLiteral("Work/PortMap.000"), "COM1 " + link.toLocal8Bit() + "\r\n");
        tarn::test::SimProcess sim;
        if (!sim.start(kSim, scratch(QStringLiteral("scenario.json")), scenario(device), link)) return {};
        return cli(QStringList{QStringLiteral("--port"), QStringLiteral("COM1"), QStringLiteral("store"),
                               QStringLiteral("--archives"), QStringLiteral("hourly,daily,monthly,abnormal"),
                               QStringLiteral("--until-empty")} +
                   more);
    }
    Result cli(const QStringList& args) const { return tarn::test::runCliIn(home_, args).text(); }

private:
    QTemporaryDir dir_;
    QString home_;
    bool initialised_ = false;
};

// A written text file: Windows-1251 with every line ended by CR LF; its lines.
std::optional<QStringList> readTextFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray bytes = f.readAll();
    QList<QByteArray> raw = bytes.split('\n');
    if (!raw.isEmpty() && raw.last().isEmpty()) raw.removeLast();
    QStringList lines;
    for (const QByteArray& l : raw) {
        if (!l.endsWith('\r')) return std::nullopt;
        lines.append(fromCp1251(l.chopped(1)));
    }
    return lines;
}

const QString kMade = QStringLiteral("05.03.2024 10:11:12");

class StoredReports : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        inst_ = new Installation;
        if (!inst_->initialised()) return;
        storedA_ = inst_->store(correctorA(), {QStringLiteral("--save-xls"), inst_->scratch(QStringLiteral("a")),
                                               QStringLiteral("--sheets"), QStringLiteral("hourly,daily")});
        storedB_ = inst_->store(correctorB());
    }
    static void TearDownTestSuite() {
        delete inst_;
        inst_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(inst_ && inst_->initialised());
        ASSERT_EQ(storedA_.code, 0) << storedA_.err.toStdString();
        ASSERT_EQ(storedB_.code, 0) << storedB_.err.toStdString();
    }
    // A command whose text goes to a file; the file's lines.
    static QStringList run(QStringList args, const QString& name) {
        const QString out = inst_->scratch(name);
        QFile::remove(out);
        args << QStringLiteral("--made") << kMade << QStringLiteral("--out") << out;
        const Result r = inst_->cli(args);
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        const std::optional<QStringList> lines = readTextFile(out);
        EXPECT_TRUE(lines.has_value()) << "not Windows-1251 lines with CR LF: " << name.toStdString();
        return lines.value_or(QStringList{});
    }
    static Installation* inst_;
    static Result storedA_, storedB_;
};
Installation* StoredReports::inst_ = nullptr;
Result StoredReports::storedA_;
Result StoredReports::storedB_;

const QString kA = QStringLiteral("41234");
const QString kB = QStringLiteral("41235");

// Lines in the order given, each found after the one before.
void expectInOrder(const QStringList& lines, const QStringList& expected) {
    qsizetype at = 0;
    for (const QString& e : expected) {
        const qsizetype found = lines.indexOf(e, at);
        EXPECT_GE(found, 0) << "missing or out of order: [" << e.toStdString() << "]\n"
                            << lines.join(QLatin1Char('\n')).toStdString();
        if (found < 0) return;
        at = found + 1;
    }
}

QString startsWith(const QStringList& lines, const QString& head) {
    for (const QString& l : lines)
        if (l.startsWith(head)) return l;
    return {};
}

// ---------------------------------------------------------------- the day report

QString hourRow(const Rec& h) {
    const QDateTime start = h.end.addSecs(-3600);
    return QLatin1Char('|') + pad(start.toString(QStringLiteral("dd.MM.yyyy")), 10) + QLatin1Char('|') +
           pad(start.toString(QStringLiteral("HH:mm")), 6) + QLatin1Char('|') + pad(num(h.w, 2), 10) +
           QLatin1Char('|') + pad(num(h.s, 2), 10) + QLatin1Char('|') + pad(num(h.aw, 2), 10) + QLatin1Char('|') +
           pad(num(h.as, 2), 10) + QLatin1Char('|') + pad(num(h.p1000 / 1000.0, 3), 10) + QLatin1Char('|') +
           pad(num(h.t100 / 100.0, 2), 10) + QLatin1Char('|') + pad(num(h.corr10000 / 10000.0, 4), 10) +
           flags(h.status1);
}

QString ruleOf(const QString& row) {
    return QLatin1Char('|') + QString(row.size() - 2, QLatin1Char('-')) + QLatin1Char('|');
}

TEST_F(StoredReports, DayReportListsTheGasDaysHoursAndTheCorrectorsDayTotals) {
    const QStringList lines = run({QStringLiteral("report"), QStringLiteral("--point"), kA, QStringLiteral("--period"),
                                   QStringLiteral("day"), QStringLiteral("--from"), QStringLiteral("02.03.2024")},
                                  QStringLiteral("day.txt"));
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first(), QStringLiteral("/суточный отчет *общий* за 02.03.2024 г. Составлен:05.03.2024 10:11:12/"));
    const QList<Rec> hours = hoursA();
    const Rec day = daysA()[2];
    QStringList expected = {QStringLiteral("                           СУТОЧНЫЙ ОТЧЕТ"),
                            QStringLiteral("         ЗА СУТКИ : 02.03.2024 г.    Составлен  05.03.2024   10:11:12"),
                            // the day before: gas day 01.03 as its daily record has it
                            QStringLiteral("Объем за прошлый день      | Vраб.+Vраб.авр. =%1+%2=%3")
                                .arg(num(daysA()[1].w, 2), num(daysA()[1].aw, 2), num(daysA()[1].w + daysA()[1].aw, 2)),
                            QStringLiteral("                             Почасовые данные"),
                            QString(100, QLatin1Char('-'))};
    // Gas day 02.03 runs from 09:00 to 09:00 of the next day: hours 24..47.
    for (int i = 24; i < 48; ++i) {
        expected << hourRow(hours[i]) << ruleOf(hourRow(hours[i]));
    }
    const QString totals = QStringLiteral("|Итого за сутки:  |") + pad(num(day.w, 2), 10) + QLatin1Char('|') +
                           pad(num(day.s, 2), 10) + QLatin1Char('|') + pad(num(day.aw, 2), 10) + QLatin1Char('|') +
                           pad(num(day.as, 2), 10) + QLatin1Char('|') + pad(num(day.p1000 / 1000.0, 3), 10) +
                           QLatin1Char('|') + pad(num(day.t100 / 100.0, 2), 10) + QLatin1Char('|') +
                           pad(num(day.corr10000 / 10000.0, 4), 10) + flags(kAbnormal);
    expected << totals;
    expectInOrder(lines, expected);
    // No hour outside the gas day.
    int rows = 0;
    for (const QString& l : lines)
        if (QRegularExpression(QStringLiteral("^\\|\\d\\d\\.\\d\\d\\.\\d{4}\\|\\d\\d:\\d\\d ")).match(l).hasMatch()) ++rows;
    EXPECT_EQ(rows, 24);
    // Summary: the day's volumes as "Vw+Vwa=sum".
    expectInOrder(lines, {QStringLiteral("Итого за день    - Vсум.раб. (м.куб.) = Vраб.+Vраб.авр.  =%1+%2=%3")
                              .arg(num(day.w, 2), num(day.aw, 2), num(day.w + day.aw, 2)),
                          QStringLiteral("Итого за день    - Vсум.ст.у.(м.куб ) = Vст.у+Vст.у.авр. =%1+%2=%3")
                              .arg(num(day.s, 2), num(day.as, 2), num(day.s + day.as, 2)),
                          QStringLiteral("           Конец суточного отчета за 02.03.2024г.")});
}

TEST_F(StoredReports, DayReportWithHourlyCalculationSumsAndAveragesTheHours) {
    const QStringList lines =
        run({QStringLiteral("report"), QStringLiteral("--point"), kA, QStringLiteral("--period"), QStringLiteral("day"),
             QStringLiteral("--from"), QStringLiteral("02.03.2024"), QStringLiteral("--hourly-calc")},
            QStringLiteral("dayh.txt"));
    const QList<Rec> hours = hoursA();
    double w = 0, s = 0, aw = 0, as = 0;
    QList<double> p, t, k;
    for (int i = 24; i < 48; ++i) {
        w += hours[i].w, s += hours[i].s, aw += hours[i].aw, as += hours[i].as;
        p << hours[i].p1000 / 1000.0;
        t << hours[i].t100 / 100.0;
        k << hours[i].corr10000 / 10000.0;
    }
    const QString totals = QStringLiteral("|Итого за сутки:  |") + pad(num(w, 2), 10) + QLatin1Char('|') +
                           pad(num(s, 2), 10) + QLatin1Char('|') + pad(num(aw, 2), 10) + QLatin1Char('|') +
                           pad(num(as, 2), 10) + QLatin1Char('|') + pad(num(mean(p), 3), 10) + QLatin1Char('|') +
                           pad(num(mean(t), 2), 10) + QLatin1Char('|') + pad(num(mean(k), 4), 10) + flags(kAbnormal);
    EXPECT_EQ(startsWith(lines, QStringLiteral("|Итого за сутки:")), totals);
}

TEST_F(StoredReports, DayWithoutHoursSaysSoAndAveragesNothing) {
    const QStringList lines =
        run({QStringLiteral("report"), QStringLiteral("--point"), kA, QStringLiteral("--period"), QStringLiteral("day"),
             QStringLiteral("--from"), QStringLiteral("20.02.2024"), QStringLiteral("--hourly-calc")},
            QStringLiteral("empty.txt"));
    expectInOrder(lines, {QStringLiteral("                             Почасовые данные"),
                          QStringLiteral("|                                          Записей не было                                             |"),
                          QString(104, QLatin1Char('-'))});
    const QString totals = startsWith(lines, QStringLiteral("|Итого за сутки:"));
    EXPECT_EQ(totals.count(QStringLiteral("*****")), 3) << totals.toStdString();
}

// ---------------------------------------------------------------- month and period reports

QString dayRow(const Rec& d, const QString& date, double running) {
    return QLatin1Char('|') + pad(date, 8) + QLatin1Char('|') + pad(num(d.w, 2), 10) + QLatin1Char('|') +
           pad(num(d.s, 2), 10) + QLatin1Char('|') + pad(num(d.aw, 2), 10) + QLatin1Char('|') + pad(num(d.as, 2), 10) +
           QLatin1Char('|') + pad(num(d.s + d.as, 2), 11) + QLatin1Char('|') + pad(num(running, 2), 11) +
           QLatin1Char('|') + pad(num(d.p1000 / 1000.0, 3), 9) + QLatin1Char('|') + pad(num(d.t100 / 100.0, 2), 7) +
           flags(d.status1);
}

TEST_F(StoredReports, PeriodReportRowsPerGasDayWithRunningTotalAndAverages) {
    const QStringList lines =
        run({QStringLiteral("report"), QStringLiteral("--point"), kA, QStringLiteral("--period"), QStringLiteral("period"),
             QStringLiteral("--from"), QStringLiteral("01.03.2024"), QStringLiteral("--to"), QStringLiteral("03.03.2024")},
            QStringLiteral("period.txt"));
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first(),
              QStringLiteral("/отчет за период *общий* с 01.03.2024 по 03.03.2024 Составлен:05.03.2024 10:11:12/"));
    const QList<Rec> days = daysA();
    const Rec& before = days[0];
    QStringList expected = {
        QStringLiteral("                           ОТЧЕТ ЗА ПЕРИОД"),
        QStringLiteral("         ЗА ПЕРИОД : с 01.03.2024 по 03.03.2024     Составлен 05.03.2024   10:11:12"),
        QStringLiteral("Объем за прошлый день      | Vраб.+Vраб.авр. =%1+%2=%3")
            .arg(num(before.w, 2), num(before.aw, 2), num(before.w + before.aw, 2)),
        QStringLiteral("(м.куб.)                   | Vст.у+Vст.у.авр.=%1+%2=%3")
            .arg(num(before.s, 2), num(before.as, 2), num(before.s + before.as, 2)),
        QStringLiteral("                        Суточные данные"),
        QString(102, QLatin1Char('-')),
        QStringLiteral("|") + QString(100, QLatin1Char('-')) + QStringLiteral("|")};
    double running = 0, w = 0, s = 0, aw = 0, as = 0;
    QList<double> p, t;
    quint16 union1 = 0;
    for (int k = 1; k <= 3; ++k) {
        const Rec& d = days[k];
        running += d.s + d.as;
        w += d.w, s += d.s, aw += d.aw, as += d.as;
        p << d.p1000 / 1000.0;
        t << d.t100 / 100.0;
        union1 |= d.status1;
        const QString row = dayRow(d, QDate(2024, 3, k).toString(QStringLiteral("dd.MM.yyyy")), running);
        expected << row << ruleOf(row);
    }
    expectInOrder(lines, expected);
    // The totals: the period's sums and the day averages; the dash cell of a period carries its own bar,
    // so this line is one character wider than the rows above it.
    const QString totals = pad(QStringLiteral("| Итого :"), 11) + QLatin1Char('|') + pad(num(w, 2), 10) +
                           QLatin1Char('|') + pad(num(s, 2), 10) + QLatin1Char('|') + pad(num(aw, 2), 10) +
                           QLatin1Char('|') + pad(num(as, 2), 10) + QLatin1Char('|') + pad(num(running, 2), 11) +
                           QLatin1Char('|') + pad(QStringLiteral("|    ---  "), 12) + QLatin1Char('|') +
                           pad(num(mean(p), 3), 9) + QLatin1Char('|') + pad(num(mean(t), 2), 7) + flags(union1);
    expectInOrder(lines, {totals, ruleOf(totals)});
    // The end reading is the last day's stored counter; the summary repeats the sums.
    expectInOrder(lines, {QStringLiteral("Показания счетчика на конец - %1(м.куб.)").arg(days[3].counter),
                          QStringLiteral("Итого за период  - Vсум.раб. (м.куб.) = Vраб.+Vраб.авр.  =%1+%2=%3")
                              .arg(num(w, 2), num(aw, 2), num(w + aw, 2)),
                          QStringLiteral("Итого за период  - Vсум.ст.у.(м.куб ) = Vст.у+Vст.у.авр. =%1+%2=%3")
                              .arg(num(s, 2), num(as, 2), num(s + as, 2)),
                          QStringLiteral("     Конец отчета за период c 01.03.2024г. по 03.03.2024г.")});
}

TEST_F(StoredReports, ComputedEndReadingIsTheStartReadingPlusThePeriodsVolumes) {
    const QStringList lines =
        run({QStringLiteral("report"), QStringLiteral("--point"), kA, QStringLiteral("--period"), QStringLiteral("period"),
             QStringLiteral("--from"), QStringLiteral("01.03.2024"), QStringLiteral("--to"), QStringLiteral("03.03.2024"),
             QStringLiteral("--compute-totals")},
            QStringLiteral("computed.txt"));
    const QList<Rec> days = daysA();
    double v = days[0].counter;
    for (int k = 1; k <= 3; ++k)
        v += days[k].w + days[k].aw;
    expectInOrder(lines, {QStringLiteral("Показания счетчика на конец - %1(м.куб.)").arg(num(v, 2))});
}

TEST_F(StoredReports, MonthReportTakesLastMonthAndTheTotalsFromMonthlyRecords) {
    const QStringList lines = run({QStringLiteral("report"), QStringLiteral("--point"), kA, QStringLiteral("--period"),
                                   QStringLiteral("month"), QStringLiteral("--from"), QStringLiteral("15.03.2024")},
                                  QStringLiteral("month.txt"));
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first(), QStringLiteral("/месячный отчет *общий* за 03.2024 Составлен:05.03.2024 10:11:12/"));
    const Rec feb = monthsA()[0];
    const Rec mar = monthsA()[1];
    const QList<Rec> days = daysA();
    QStringList expected = {
        QStringLiteral("         ЗА МЕСЯЦ  : 03.2024    Составлен  05.03.2024   10:11:12"),
        QStringLiteral("Объем за прошлый месяц     | Vраб.+Vраб.авр. =%1+%2=%3")
            .arg(num(feb.w, 2), num(feb.aw, 2), num(feb.w + feb.aw, 2)),
        QStringLiteral("Показания счетчика на начало месяца  - %1(м.куб)").arg(feb.counter)};
    double running = 0;
    for (int k = 1; k <= 3; ++k) {
        running += days[k].s + days[k].as;
        expected << dayRow(days[k], QDate(2024, 3, k).toString(QStringLiteral("dd.MM.yyyy")), running);
    }
    const QString totals = pad(QStringLiteral("| Итого :"), 11) + QLatin1Char('|') + pad(num(mar.w, 2), 10) +
                           QLatin1Char('|') + pad(num(mar.s, 2), 10) + QLatin1Char('|') + pad(num(mar.aw, 2), 10) +
                           QLatin1Char('|') + pad(num(mar.as, 2), 10) + QLatin1Char('|') + pad(num(running, 2), 11) +
                           QLatin1Char('|') + pad(QStringLiteral("   ---"), 11) + QLatin1Char('|') +
                           pad(num(mar.p1000 / 1000.0, 3), 9) + QLatin1Char('|') + pad(num(mar.t100 / 100.0, 2), 7);
    const QString found = startsWith(lines, QStringLiteral("| Итого :"));
    EXPECT_TRUE(found.startsWith(totals)) << "expected " << totals.toStdString() << "\n   found " << found.toStdString();
    expectInOrder(lines, expected);
}

// ---------------------------------------------------------------- abnormal situations, content and language

TEST_F(StoredReports, AbnormalSituationsBeginEndCarryOverAndCloseTheGasDay) {
    const QStringList lines =
        run({QStringLiteral("report"), QStringLiteral("--point"), kA, QStringLiteral("--period"), QStringLiteral("period"),
             QStringLiteral("--from"), QStringLiteral("02.03.2024"), QStringLiteral("--to"), QStringLiteral("03.03.2024"),
             QStringLiteral("--content"), QStringLiteral("alarms")},
            QStringLiteral("alarms.txt"));
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.first().startsWith(QStringLiteral("/отчет за период *нешт. ситуац.* с 02.03.2024 по 03.03.2024")))
        << lines.first().toStdString();
    const QString p1 = QStringLiteral("Откл.датчика давления(работа по Pconst)");
    const QString p2 = QStringLiteral("Давл. газа меньше нижн. порог. знач.");
    auto situation = [](const QString& date, const QString& time, const QString& text) {
        return QLatin1Char('|') + pad(date, 10) + QLatin1Char('|') + pad(time, 5) + QStringLiteral("| ") + pad(text, 48) +
               QLatin1Char('|');
    };
    const QString rule = QLatin1Char('|') + QString(102, QLatin1Char('-')) + QLatin1Char('|');
    const QStringList heads = {
        situation(QStringLiteral("02.03.2024"), QStringLiteral("12:00"), QStringLiteral("НАЧАЛО : ") + p1),
        situation(QStringLiteral("   ---"), QStringLiteral(" --"), QStringLiteral("НАЧАЛО : ") + p2),
        situation(QStringLiteral("02.03.2024"), QStringLiteral("15:00"), QStringLiteral("КОНЕЦ  : ") + p2),
        QStringLiteral("| ПРОДОЛЖ: ").append(p1).leftJustified(50, QLatin1Char(' ')) +
            QStringLiteral("|0          |0          |0          |"),
        situation(QStringLiteral("03.03.2024"), QStringLiteral("11:00"), QStringLiteral("КОНЕЦ  : ") + p1)};
    // Each line once, in this order, each followed by its rule.
    qsizetype at = 0;
    for (const QString& head : heads) {
        qsizetype found = -1;
        for (qsizetype i = at; i < lines.size() && found < 0; ++i)
            if (lines[i].startsWith(head)) found = i;
        ASSERT_GE(found, 0) << "missing: [" << head.toStdString() << "]\n" << lines.join(QLatin1Char('\n')).toStdString();
        ASSERT_LT(found + 1, lines.size());
        EXPECT_EQ(lines[found + 1], rule) << head.toStdString();
        at = found + 1;
    }
    // The record that closes gas day 02.03 gives that day's line, with the alarm volumes of its daily
    // record, and never a line of situation 15.
    const QString dayLine = startsWith(lines, QStringLiteral("|02.03.2024|") + pad(QStringLiteral(" --"), 5) +
                                                  QStringLiteral("| Итого за сутки :"));
    const QStringList dayCells = dayLine.split(QLatin1Char('|'));
    ASSERT_GE(dayCells.size(), 7) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(dayCells[4], pad(num(daysA()[2].aw, 2), 11));
    EXPECT_EQ(dayCells[5], pad(num(daysA()[2].as, 2), 11));
    for (const QString& l : lines)
        EXPECT_FALSE(l.contains(QStringLiteral(": Итого за сутки"))) << l.toStdString();
    // The period's line and one total-time line per situation that occurred.
    EXPECT_FALSE(startsWith(lines, pad(QStringLiteral("|    -- "), 11) + QLatin1Char('|') + pad(QStringLiteral(" --"), 5) +
                                       QStringLiteral("| Итого за период :"))
                     .isEmpty());
    for (const QString& name : {p1, p2})
        EXPECT_FALSE(startsWith(lines, QStringLiteral("|Сум. время      |") + pad(name, 49) + QLatin1Char('|')).isEmpty())
            << name.toStdString();
    // Content "alarms" only: no data table, no interventions, no summary.
    EXPECT_FALSE(lines.contains(QStringLiteral("                        Суточные данные")));
    EXPECT_FALSE(lines.contains(QStringLiteral("                          Сообщения о вмешательстве операторов")));
    EXPECT_TRUE(startsWith(lines, QStringLiteral("Итого за период  - ")).isEmpty());
}

struct ContentCase {
    const char* name;
    const char* content;
    const char* word;
    bool data, interventions, alarms;
};

class ReportContent : public StoredReports, public ::testing::WithParamInterface<ContentCase> {};

TEST_P(ReportContent, TitleWordAndSectionsFollowTheContent) {
    const ContentCase& c = GetParam();
    const QStringList lines =
        run({QStringLiteral("report"), QStringLiteral("--point"), kA, QStringLiteral("--period"), QStringLiteral("day"),
             QStringLiteral("--from"), QStringLiteral("02.03.2024"), QStringLiteral("--content"), QString::fromLatin1(c.content)},
            QStringLiteral("content_%1.txt").arg(QString::fromLatin1(c.name)));
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first(), QStringLiteral("/суточный отчет *%1* за 02.03.2024 г. Составлен:05.03.2024 10:11:12/")
                                 .arg(QString::fromUtf8(c.word)));
    EXPECT_EQ(lines.contains(QStringLiteral("                             Почасовые данные")), c.data);
    EXPECT_EQ(!startsWith(lines, QStringLiteral("Итого за день    - ")).isEmpty(), c.data);
    EXPECT_EQ(lines.contains(QStringLiteral("                          Сообщения о вмешательстве операторов")), c.interventions);
    EXPECT_EQ(lines.contains(QStringLiteral("                          Диагностические сообщения о аварийных ситуациях")),
              c.alarms);
}

INSTANTIATE_TEST_SUITE_P(Contents, ReportContent,
                         ::testing::Values(ContentCase{"All", "all", "общий", true, true, true},
                                           ContentCase{"Data", "data", "данные", true, false, false},
                                           ContentCase{"Interventions", "interventions", "вмешат. опер.", false, true, false},
                                           ContentCase{"Alarms", "alarms", "нешт. ситуац.", false, false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StoredReports, UkrainianDayReportUsesTheUkrainianTexts) {
    const QStringList lines = run({QStringLiteral("--lang"), QStringLiteral("ua"), QStringLiteral("report"),
                                   QStringLiteral("--point"), kA, QStringLiteral("--period"), QStringLiteral("day"),
                                   QStringLiteral("--from"), QStringLiteral("02.03.2024")},
                                  QStringLiteral("day_ua.txt"));
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first(), QStringLiteral("/добовий звіт *загальний* за 02.03.2024 р. Складений:05.03.2024 10:11:12/"));
    const Rec day = daysA()[2];
    expectInOrder(lines, {QStringLiteral("                           ДОБОВИЙ  ЗВІТ"),
                          QStringLiteral("         ЗА ДОБУ : 02.03.2024 р.    Складений  05.03.2024   10:11:12"),
                          QStringLiteral("                             Погодинні  дані"),
                          QStringLiteral("| Того за добу :  |") + pad(num(day.w, 2), 10) + QLatin1Char('|') +
                              pad(num(day.s, 2), 10) + QLatin1Char('|') + pad(num(day.aw, 2), 10) + QLatin1Char('|') +
                              pad(num(day.as, 2), 10) + QLatin1Char('|') + pad(num(day.p1000 / 1000.0, 3), 10) +
                              QLatin1Char('|') + pad(num(day.t100 / 100.0, 2), 10) + QLatin1Char('|') +
                              pad(num(day.corr10000 / 10000.0, 4), 10) + flags(kAbnormal),
                          QStringLiteral("Того за добу    - Vсум.роб. (м.куб.) = Vроб.+Vроб.авр.  =%1+%2=%3")
                              .arg(num(day.w, 2), num(day.aw, 2), num(day.w + day.aw, 2))});
}

// ---------------------------------------------------------------- printed pages

// Page objects of a PDF file, counted from its object dictionaries ("/Type /Page", not "/Pages").
int pdfPages(const QByteArray& pdf) {
    if (!pdf.startsWith("%PDF-") || !pdf.trimmed().endsWith("%%EOF")) return -1;
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![a-zA-Z])"));
    return int(QString::fromLatin1(pdf).count(page));
}

struct PageCase {
    const char* name;
    int linesPerPage, top, bottom;
    int widthSlack; // characters per line beyond the longest line + indent + 3
};

class Pages : public StoredReports, public ::testing::WithParamInterface<PageCase> {};

TEST_P(Pages, EveryPageHoldsItsHeadAndTheLinesThatFitAndAWideLineStopsPrinting) {
    const PageCase& c = GetParam();
    const auto settings = [&](int chars) {
        inst_->write(QStringLiteral("Work/FilePrn.000"),
                     QStringLiteral("8\r\nCourier New\r\n5\r\n%1\r\n%2\r\n2\r\n%3\r\n%4\r\n--\r\n")
                         .arg(c.top).arg(c.bottom).arg(c.linesPerPage).arg(chars).toLatin1());
    };
    settings(300);
    const QStringList args = {QStringLiteral("report"), QStringLiteral("--point"), kA, QStringLiteral("--period"),
                              QStringLiteral("day"), QStringLiteral("--from"), QStringLiteral("02.03.2024"),
                              QStringLiteral("--made"), kMade};
    const QString text = inst_->scratch(QStringLiteral("pages_%1.txt").arg(QString::fromLatin1(c.name)));
    const QString pdf = inst_->scratch(QStringLiteral("pages_%1.pdf").arg(QString::fromLatin1(c.name)));
    const Result wide = inst_->cli(args + QStringList{QStringLiteral("--out"), text, QStringLiteral("--pdf"), pdf});
    ASSERT_EQ(wide.code, 0) << wide.err.toStdString();
    const std::optional<QStringList> lines = readTextFile(text);
    ASSERT_TRUE(lines.has_value());
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    // The title line heads every page, under the top margin and the page's own first line; the rest of
    // the report fills what is left above the bottom margin and its two spare lines.
    const int perPage = c.linesPerPage - c.bottom - 2 - c.top - 2;
    const int body = int(lines->size()) - 1;
    EXPECT_EQ(pdfPages(f.readAll()), (body + perPage - 1) / perPage);

    // A line that with the indent of 5 and 3 more reaches the line's limit stops the pages.
    qsizetype longest = 0;
    for (const QString& l : *lines)
        longest = std::max(longest, l.size());
    const QString narrowPdf = inst_->scratch(QStringLiteral("narrow_%1.pdf").arg(QString::fromLatin1(c.name)));
    settings(int(longest) + 5 + 3 + c.widthSlack);
    const Result narrow = inst_->cli(args + QStringList{QStringLiteral("--pdf"), narrowPdf});
    inst_->remove(QStringLiteral("Work/FilePrn.000"));
    if (c.widthSlack <= 0) {
        EXPECT_NE(narrow.code, 0);
        EXPECT_TRUE((narrow.out + narrow.err).contains(QStringLiteral("ДЛИНА СТРОКИ БОЛЬШЕ - УМЕНЬШИТЕ РАЗМЕР ШРИФТА")))
            << narrow.err.toStdString();
        EXPECT_FALSE(QFile::exists(narrowPdf));
    } else {
        EXPECT_EQ(narrow.code, 0) << narrow.err.toStdString();
        EXPECT_TRUE(QFile::exists(narrowPdf));
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, Pages,
                         ::testing::Values(PageCase{"Short", 26, 3, 3, 0}, PageCase{"Thirty", 30, 3, 3, 1},
                                           PageCase{"OneLineOver", 47, 3, 3, 0}, PageCase{"Exact", 48, 3, 3, 1},
                                           PageCase{"NoMargins", 40, 0, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- the daily listing and its CSV copy

const QString kAllColumns = QStringLiteral(
    "ном.,дата,время,Vраб,Vстд,Vавр,Vстд.авр,P,T,Kсжим,Kкорр,Vсчетч.,Vраб+авр,Vстд.+ст.авр,Vраб.н.итог,Vстд.н.итог,И/В,"
    "Справка");
const QList<std::pair<QString, int>> kColumnWidths = {
    {QStringLiteral("ном."), 5},      {QStringLiteral("дата"), 10},        {QStringLiteral("время"), 5},
    {QStringLiteral("Vраб"), 12},     {QStringLiteral("Vстд"), 12},        {QStringLiteral("Vавр"), 12},
    {QStringLiteral("Vстд.авр"), 12}, {QStringLiteral("P"), 8},            {QStringLiteral("T"), 8},
    {QStringLiteral("Kсжим"), 8},     {QStringLiteral("Kкорр"), 8},        {QStringLiteral("Vсчетч."), 12},
    {QStringLiteral("Vраб+авр"), 12}, {QStringLiteral("Vстд.+ст.авр"), 12}, {QStringLiteral("Vраб.н.итог"), 12},
    {QStringLiteral("Vстд.н.итог"), 12}, {QStringLiteral("И/В"), 3},       {QStringLiteral("Справка"), 12}};

struct DelimiterCase {
    const char* name;
    QByteArray file; // Current/Delim.000
    QChar delimiter;
    bool totals;
    const char* skip = nullptr;
};

class DailyListing : public StoredReports, public ::testing::WithParamInterface<DelimiterCase> {};

TEST_P(DailyListing, RowsCarryTheCounterAndRunningSumsAndTheCsvHasTheSameColumns) {
    const DelimiterCase& c = GetParam();
    if (c.skip) GTEST_SKIP() << c.skip;
    inst_->write(QStringLiteral("Current/Delim.000"), c.file);
    const QString csv = inst_->scratch(QStringLiteral("daily_%1.csv").arg(QString::fromLatin1(c.name)));
    QStringList args = {QStringLiteral("listing"), QStringLiteral("--point"), kA, QStringLiteral("--archive"),
                        QStringLiteral("daily"), QStringLiteral("--period"), QStringLiteral("period"),
                        QStringLiteral("--from"), QStringLiteral("01.03.2024"), QStringLiteral("--to"),
                        QStringLiteral("03.03.2024"), QStringLiteral("--columns"), kAllColumns, QStringLiteral("--csv"),
                        csv};
    if (c.totals) args << QStringLiteral("--totals");
    const QStringList lines = run(args, QStringLiteral("daily_%1.txt").arg(QString::fromLatin1(c.name)));
    inst_->write(QStringLiteral("Current/Delim.000"), ";\r\n");
    ASSERT_GE(lines.size(), 6);
    const QString title =
        QStringLiteral("/кор.* ТАРН-1.01 N 41234/период/суточ.архив** с 01.03.2024 по 03.03.2024 Составлен:05.03.2024 10:11:12/");
    EXPECT_EQ(lines[0], title);

    // The header: every title padded to its width between bars, between two rules of its length.
    QString header = QStringLiteral("|");
    for (const auto& [t, w] : kColumnWidths)
        header += pad(t, w) + QLatin1Char('|');
    const qsizetype h = lines.indexOf(header);
    ASSERT_GT(h, 0) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(lines[h - 1], QString(header.size(), QLatin1Char('-')));
    EXPECT_EQ(lines[h + 1], QString(header.size(), QLatin1Char('-')));

    // One row per gas day: the counter carried on from the day before the period by working and alarm
    // volume; the running sums add up the day's totals (working + alarm, standard + alarm standard), as
    // the group table's running columns do.
    const QList<Rec> days = daysA();
    double counter = days[0].counter, runW = 0, runS = 0;
    QList<QStringList> expectedRows;
    for (int k = 1; k <= 3; ++k) {
        const Rec& d = days[k];
        counter += d.w + d.aw;
        runW += d.w + d.aw;
        runS += d.s + d.as;
        expectedRows.append({num(d.w, 2), num(d.s, 2), num(d.aw, 2), num(d.as, 2), num(d.p1000 / 1000.0, 3),
                             num(d.t100 / 100.0, 2), num(0.999, 4), num(d.corr10000 / 10000.0, 4), num(counter, 2),
                             num(d.w + d.aw, 2), num(d.s + d.as, 2), num(runW, 2), num(runS, 2),
                             QStringLiteral("%1|%2").arg(d.status1 & kIntervention ? '*' : '-').arg(d.status1 & kAbnormal ? '*' : '-')});
    }
    QList<QStringList> rows;
    for (const QString& l : lines)
        if (QRegularExpression(QStringLiteral("^\\|\\d+ *\\|\\d\\d\\.")).match(l).hasMatch()) {
            QStringList cells = l.split(QLatin1Char('|'));
            // "И/В" holds a bar of its own: join it back.
            if (cells.size() > 18) cells[17] = cells[17] + QLatin1Char('|') + cells.takeAt(18);
            rows.append(cells);
        }
    ASSERT_EQ(rows.size(), 3) << lines.join(QLatin1Char('\n')).toStdString();
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        ASSERT_GE(rows[k].size(), 19);
        EXPECT_EQ(rows[k][2].trimmed(), QDate(2024, 3, k + 1).toString(QStringLiteral("dd.MM.yyyy")));
        QStringList values;
        for (int col = 4; col <= 17; ++col)
            values << rows[k][col].trimmed();
        EXPECT_EQ(values, expectedRows[k]);
    }

    // The CSV copy: the same lines with the bars turned into the delimiter, no rules; totals on request.
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    const std::optional<QList<QStringList>> records = parseCsv(fromCp1251(bytes), c.delimiter);
    ASSERT_TRUE(records.has_value()) << bytes.toStdString();
    ASSERT_GE(records->size(), 5);
    EXPECT_EQ(records->at(0), QStringList{title});
    QStringList headerFields;
    for (const auto& [t, w] : kColumnWidths)
        headerFields << pad(t, w);
    headerFields << QString();
    EXPECT_EQ(records->at(1), headerFields);
    for (int k = 0; k < 3; ++k) {
        const QStringList& rec = records->at(2 + k);
        ASSERT_EQ(rec.size(), headerFields.size()) << rec.join(QLatin1Char('#')).toStdString();
        QStringList values;
        for (int col = 3; col <= 16; ++col)
            values << rec[col].trimmed();
        EXPECT_EQ(values, expectedRows[k]);
    }
    for (const QStringList& rec : *records)
        for (const QString& field : rec)
            EXPECT_FALSE(field.startsWith(QStringLiteral("-----")));
    const qsizetype totalsLines = std::count_if(records->begin(), records->end(), [](const QStringList& r) {
        return !r.isEmpty() && r[0].trimmed().startsWith(QStringLiteral("Итог"));
    });
    EXPECT_EQ(totalsLines, c.totals ? 1 : 0);
    EXPECT_EQ(records->size(), 5 + (c.totals ? 1 : 0));
}

INSTANTIATE_TEST_SUITE_P(Delimiters, DailyListing,
                         ::testing::Values(DelimiterCase{"Semicolon", ";\r\n", QLatin1Char(';'), true},
                                           DelimiterCase{"CommaNoTotals", ",\r\n", QLatin1Char(','), false},
                                           DelimiterCase{"Tab", "\t\r\n", QLatin1Char('\t'), true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StoredReports, HourlyListingRowsAreTheGasDaysRecordsWithStatusAndFlags) {
    const QStringList lines = run({QStringLiteral("listing"), QStringLiteral("--point"), kA, QStringLiteral("--archive"),
                                   QStringLiteral("hourly"), QStringLiteral("--period"), QStringLiteral("day"),
                                   QStringLiteral("--from"), QStringLiteral("02.03.2024"), QStringLiteral("--columns"),
                                   kAllColumns},
                                  QStringLiteral("hourly.txt"));
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.first().startsWith(
        QStringLiteral("/кор.* ТАРН-1.01 N 41234/сутки/часов.архив** за 02.03.2024 г. Составлен:05.03.2024 10:11:12/")))
        << lines.first().toStdString();
    QList<QStringList> rows;
    for (const QString& l : lines)
        if (QRegularExpression(QStringLiteral("^\\|\\d+ *\\|\\d\\d\\.")).match(l).hasMatch()) rows.append(l.split(QLatin1Char('|')));
    ASSERT_EQ(rows.size(), 24) << lines.join(QLatin1Char('\n')).toStdString();
    const QList<Rec> hours = hoursA();
    double runW = 0, runS = 0;
    for (int k = 0; k < 24; ++k) {
        SCOPED_TRACE(k);
        const Rec& h = hours[24 + k];
        runW += h.w + h.aw;
        runS += h.s + h.as;
        const QStringList& r = rows[k];
        ASSERT_GE(r.size(), 20);
        // The hour closing at the row's time; "И/В" takes two cells of the split.
        const QStringList expected = {h.end.toString(QStringLiteral("dd.MM.yyyy")), h.end.toString(QStringLiteral("HH:mm")),
                                      num(h.w, 2), num(h.s, 2), num(h.aw, 2), num(h.as, 2), num(h.p1000 / 1000.0, 3),
                                      num(h.t100 / 100.0, 2), num(0.999, 4), num(h.corr10000 / 10000.0, 4)};
        QStringList got;
        for (int col = 2; col <= 11; ++col)
            got << r[col].trimmed();
        EXPECT_EQ(got, expected);
        EXPECT_EQ(r[13].trimmed(), num(h.w + h.aw, 2));
        EXPECT_EQ(r[14].trimmed(), num(h.s + h.as, 2));
        EXPECT_EQ(r[15].trimmed(), num(runW, 2));
        EXPECT_EQ(r[16].trimmed(), num(runS, 2));
        EXPECT_EQ(r[17] + QLatin1Char('|') + r[18],
                  QStringLiteral("-|%1").arg(h.status1 & kAbnormal ? QLatin1Char('*') : QLatin1Char('-')));
        // "Справка": characters 5..16 of the status text, every bit clear.
        EXPECT_EQ(r[19].trimmed(), QStringLiteral("xxxxxxxxxxxx"));
    }
}

// ---------------------------------------------------------------- the workbook

TEST_F(StoredReports, WorkbookHoldsTheParametersAndTheChosenArchivesCellByCell) {
    const std::optional<tarn::test::WorkbookContents> book = tarn::test::readWorkbook(inst_->scratch(QStringLiteral("a.xlsx")));
    ASSERT_TRUE(book.has_value());
    EXPECT_EQ(book->sheetNames,
              (QStringList{QStringLiteral("Параметры"), QStringLiteral("Часовой"), QStringLiteral("Суточный")}));
    ASSERT_EQ(book->sheets.size(), 3);
    EXPECT_GT(book->sheets[0].rowCount(), 5);
    EXPECT_EQ(book->sheets[0].columnCount(), 2);

    const tarn::test::SheetCells& hourly = book->sheets[1];
    const QList<Rec> hours = hoursA();
    // The heading row and one row per record; the table's spare last row stays out.
    // The heading row and one row per record; the empty records of the last page read keep only their
    // number, as the corrector window shows them.
    ASSERT_GE(hourly.rowCount(), hours.size() + 1);
    for (int row = int(hours.size()) + 1; row < hourly.rowCount(); ++row)
        EXPECT_TRUE(hourly.cell(row, 1).isEmpty() && hourly.cell(row, 3).isEmpty()) << row;
    EXPECT_EQ(hourly.cell(0, 0), QStringLiteral("N зап."));
    EXPECT_EQ(hourly.cell(0, 3), QStringLiteral("Vраб(м.куб)"));
    EXPECT_EQ(hourly.cell(0, 11), QStringLiteral("Справка"));
    for (int i = 0; i < hours.size(); ++i) {
        SCOPED_TRACE(i);
        const Rec& h = hours[i];
        const QStringList expected = {QStringLiteral("%1").arg(i, 5, 10, QLatin1Char('0')),
                                      h.end.toString(QStringLiteral("dd.MM.yyyy")),
                                      h.end.toString(QStringLiteral("HH:mm")),
                                      QString::number(h.w, 'f', 2),
                                      QString::number(h.s, 'f', 2),
                                      QString::number(h.aw, 'f', 2),
                                      QString::number(h.as, 'f', 2),
                                      QString::number(h.p1000 / 1000.0, 'f', 3),
                                      QString::number(h.t100 / 100.0, 'f', 2),
                                      QStringLiteral("0.9990"),
                                      QString::number(h.corr10000 / 10000.0, 'f', 4)};
        QStringList cells;
        for (int col = 0; col < expected.size(); ++col)
            cells << hourly.cell(i + 1, col);
        EXPECT_EQ(cells, expected);
    }
    const tarn::test::SheetCells& daily = book->sheets[2];
    const QList<Rec> days = daysA();
    ASSERT_GE(daily.rowCount(), days.size() + 1);
    for (int k = 0; k < days.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(daily.cell(k + 1, 1), days[k].end.toString(QStringLiteral("dd.MM.yyyy")));
        EXPECT_EQ(daily.cell(k + 1, 3), QString::number(days[k].w, 'f', 2));
        EXPECT_EQ(daily.cell(k + 1, 4), QString::number(days[k].s, 'f', 2));
    }
}

// ---------------------------------------------------------------- the group summary over two points

// Group hours are keyed by the hour's end, as the summary lists them.
struct GroupHour {
    double w = 0, s = 0, aw = 0, as = 0;
    bool intervention = false, abnormal = false;
    std::optional<double> memberA, memberB; // each member's standard total
};

QMap<QDateTime, GroupHour> groupHours() {
    QMap<QDateTime, GroupHour> out;
    auto add = [&](const QList<Rec>& hours, bool a) {
        for (const Rec& h : hours) {
            GroupHour& g = out[h.end];
            g.w += h.w, g.s += h.s, g.aw += h.aw, g.as += h.as;
            g.intervention = g.intervention || (h.status1 & kIntervention);
            g.abnormal = g.abnormal || (h.status1 & kAbnormal);
            (a ? g.memberA : g.memberB) = h.s + h.as;
        }
    };
    add(hoursA(), true);
    add(hoursB(), false);
    return out;
}

QString groupFlags(bool i, bool v) {
    return QStringLiteral("%1/%2").arg(i ? QStringLiteral("И") : QStringLiteral("-"), v ? QStringLiteral("В") : QStringLiteral("-"));
}

const QString kGroupColumns =
    QStringLiteral("дата,время,Vраб,Vстд,Vавр,Vстд.авр,Vраб+авр,Vстд.+ст.авр,Vраб.н.итог,Vстд.н.итог,И/В");

class GroupSummary : public StoredReports {
protected:
    void SetUp() override {
        StoredReports::SetUp();
        const Result saved = inst_->cli({QStringLiteral("group"), QStringLiteral("save"), QStringLiteral("ГР"),
                                         QStringLiteral("--points"), kA + QLatin1Char(',') + kB});
        ASSERT_EQ(saved.code, 0) << saved.err.toStdString();
    }
    // 30 hours: 02.03.2024 10:00 .. 03.03.2024 15:00 by their ends; B ends at 03.03 02:00.
    static QList<QDateTime> window() {
        QList<QDateTime> out;
        for (int i = 0; i < 30; ++i)
            out << QDateTime(QDate(2024, 3, 2), QTime(10, 0)).addSecs(3600LL * i);
        return out;
    }
};

TEST_F(GroupSummary, WholeTableSumsBothPointsPerHourWithDayLinesEvery24Rows) {
    const QString csv = inst_->scratch(QStringLiteral("group.csv"));
    const QStringList lines =
        run({QStringLiteral("listing"), QStringLiteral("--group"), QStringLiteral("ГР"), QStringLiteral("--archive"),
             QStringLiteral("hourly"), QStringLiteral("--from"), QStringLiteral("02.03.2024 10:00"), QStringLiteral("--to"),
             QStringLiteral("03.03.2024 15:00"), QStringLiteral("--day-totals"), QStringLiteral("--columns"), kGroupColumns,
             QStringLiteral("--csv"), csv},
            QStringLiteral("group.txt"));
    const QMap<QDateTime, GroupHour> hours = groupHours();
    const QList<int> widths = {10, 5, 12, 12, 12, 12, 12, 12, 12, 12, 3};
    auto line = [&](const QStringList& cells) {
        QString l = QStringLiteral("|");
        for (int i = 0; i < cells.size(); ++i)
            l += pad(cells[i], widths[i]) + QLatin1Char('|');
        return l;
    };
    const QString rule(1 + 10 + 1 + 5 + 1 + 8 * 13 + 4, QLatin1Char('-'));
    QStringList expected = {rule,
                            line({QStringLiteral("дата"), QStringLiteral("время"), QStringLiteral("Vраб"),
                                  QStringLiteral("Vстд"), QStringLiteral("Vавр"), QStringLiteral("Vстд.авр"),
                                  QStringLiteral("Vраб+авр"), QStringLiteral("Vстд.+ст.авр"), QStringLiteral("Vраб.н.итог"),
                                  QStringLiteral("Vстд.н.итог"), QStringLiteral("И/В")}),
                            rule};
    double runW = 0, runS = 0;
    GroupHour day, period;
    QDate dayDate;
    int inDay = 0;
    auto sums = [](const GroupHour& g) {
        return QStringList{num(g.w, 1), num(g.s, 1), num(g.aw, 1), num(g.as, 1), num(g.w + g.aw, 1), num(g.s + g.as, 1)};
    };
    auto accumulate = [](GroupHour& into, const GroupHour& g) {
        into.w += g.w, into.s += g.s, into.aw += g.aw, into.as += g.as;
        into.intervention = into.intervention || g.intervention;
        into.abnormal = into.abnormal || g.abnormal;
    };
    auto dayLine = [&] {
        expected << line(QStringList{dayDate.toString(QStringLiteral("dd.MM.yyyy")), QStringLiteral("--")} + sums(day) +
                         QStringList{QStringLiteral("--"), QStringLiteral("--"), groupFlags(day.intervention, day.abnormal)})
                 << rule;
        day = GroupHour{};
        inDay = 0;
    };
    for (const QDateTime& at : window()) {
        const GroupHour g = hours.value(at);
        if (inDay == 0) dayDate = at.date();
        accumulate(day, g);
        accumulate(period, g);
        runW += g.w + g.aw;
        runS += g.s + g.as;
        expected << line(QStringList{at.toString(QStringLiteral("dd.MM.yyyy")), at.toString(QStringLiteral("HH:mm"))} +
                         sums(g) + QStringList{num(runW, 1), num(runS, 1), groupFlags(g.intervention, g.abnormal)})
                 << rule;
        if (++inDay == 24) dayLine();
    }
    dayLine();
    const QString periodLine = line(QStringList{QStringLiteral("итог"), QStringLiteral("--")} + sums(period) +
                                    QStringList{QStringLiteral("--"), QStringLiteral("--"),
                                                groupFlags(period.intervention, period.abnormal)});
    expected << periodLine << rule;
    const qsizetype first = lines.indexOf(expected[1]);
    ASSERT_GT(first, 0) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(lines.mid(first - 1, expected.size()), expected);

    // The CSV copy: every line but the rules, the period line whatever the totals switch says.
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const std::optional<QList<QStringList>> records = parseCsv(fromCp1251(f.readAll()), QLatin1Char(';'));
    ASSERT_TRUE(records.has_value());
    const qsizetype tableLines = 1 + 30 + 2 + 1;
    ASSERT_EQ(records->size(), 1 + tableLines);
    QStringList periodFields = periodLine.mid(1).split(QLatin1Char('|'));
    EXPECT_EQ(records->last(), periodFields);
}

TEST_F(GroupSummary, MemberMatrixHasOneColumnPerMemberAndDashesWhereAMemberHasNoHour) {
    const QString matrix = inst_->scratch(QStringLiteral("matrix.csv"));
    run({QStringLiteral("listing"), QStringLiteral("--group"), QStringLiteral("ГР"), QStringLiteral("--archive"),
         QStringLiteral("hourly"), QStringLiteral("--from"), QStringLiteral("02.03.2024 10:00"), QStringLiteral("--to"),
         QStringLiteral("03.03.2024 15:00"), QStringLiteral("--day-totals"), QStringLiteral("--matrix-csv"), matrix},
        QStringLiteral("matrix.txt"));
    QFile f(matrix);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = fromCp1251(f.readAll());
    const std::optional<QList<QStringList>> records = parseCsv(text, QLatin1Char(';'));
    ASSERT_TRUE(records.has_value()) << text.toStdString();
    // After the title: header, 30 rows, two day lines, the period line; each with a delimiter at the end.
    ASSERT_EQ(records->size(), 1 + 1 + 30 + 2 + 1) << text.toStdString();
    EXPECT_EQ(records->at(1), (QStringList{QStringLiteral("дата"), QStringLiteral("время"), QString(), QString(),
                                           QStringLiteral("итого по группе"), QString()}));
    const QMap<QDateTime, GroupHour> hours = groupHours();
    auto cell = [](const std::optional<double>& v) { return v ? num(*v, 1) : QStringLiteral("--"); };
    double dayA = 0, dayB = 0, dayG = 0, perA = 0, perB = 0, perG = 0;
    QList<QStringList> expected;
    int inDay = 0;
    QDate dayDate;
    auto dayLine = [&] {
        expected.append({dayDate.toString(QStringLiteral("dd.MM.yyyy")), QStringLiteral("--"), num(dayA, 1), num(dayB, 1),
                         num(dayG, 1), QString()});
        dayA = dayB = dayG = 0;
        inDay = 0;
    };
    for (const QDateTime& at : window()) {
        const GroupHour g = hours.value(at);
        if (inDay == 0) dayDate = at.date();
        const double total = g.s + g.as;
        expected.append({at.toString(QStringLiteral("dd.MM.yyyy")), at.toString(QStringLiteral("HH:mm")), cell(g.memberA),
                         cell(g.memberB), num(total, 1), QString()});
        dayA += g.memberA.value_or(0), dayB += g.memberB.value_or(0), dayG += total;
        perA += g.memberA.value_or(0), perB += g.memberB.value_or(0), perG += total;
        if (++inDay == 24) dayLine();
    }
    dayLine();
    expected.append({QStringLiteral("итого за период"), QStringLiteral("--"), num(perA, 1), num(perB, 1), num(perG, 1),
                     QString()});
    EXPECT_EQ(records->mid(2), expected);
}

TEST_F(GroupSummary, DailyTableHasNoTimeColumnAndNoDayLines) {
    const QStringList lines =
        run({QStringLiteral("listing"), QStringLiteral("--group"), QStringLiteral("ГР"), QStringLiteral("--archive"),
             QStringLiteral("daily"), QStringLiteral("--from"), QStringLiteral("01.03.2024"), QStringLiteral("--to"),
             QStringLiteral("04.03.2024"), QStringLiteral("--day-totals"), QStringLiteral("--columns"), kGroupColumns},
            QStringLiteral("group_daily.txt"));
    const QString header = QStringLiteral("|") + pad(QStringLiteral("дата"), 10) + QLatin1Char('|') +
                           pad(QStringLiteral("Vраб"), 12) + QLatin1Char('|');
    EXPECT_FALSE(startsWith(lines, header).isEmpty()) << lines.join(QLatin1Char('\n')).toStdString();
    // Every row is one of A's daily records (B keeps none); the period line sums the rows.
    double w = 0, s = 0, rows = 0;
    QString period;
    for (const QString& l : lines) {
        const QStringList cells = l.split(QLatin1Char('|'));
        if (cells.size() < 12) continue;
        if (cells[1].trimmed() == QStringLiteral("итог")) {
            period = l;
            continue;
        }
        if (!QRegularExpression(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4} *$")).match(cells[1]).hasMatch()) continue;
        EXPECT_NE(cells[2].trimmed(), QStringLiteral("--")) << "a day line: " << l.toStdString();
        bool known = false;
        for (const Rec& d : daysA())
            known = known || (cells[2].trimmed() == num(d.w, 1) && cells[3].trimmed() == num(d.s, 1));
        EXPECT_TRUE(known) << l.toStdString();
        w += cells[2].trimmed().toDouble();
        s += cells[3].trimmed().toDouble();
        ++rows;
    }
    EXPECT_GE(rows, 3);
    const QStringList p = period.split(QLatin1Char('|'));
    ASSERT_GE(p.size(), 5) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(p[2].trimmed(), num(w, 1));
    EXPECT_EQ(p[3].trimmed(), num(s, 1));
}

TEST_F(GroupSummary, BreakdownGivesEachMembersTotalsAndTheGroupsSum) {
    const QStringList lines =
        run({QStringLiteral("listing"), QStringLiteral("--group"), QStringLiteral("ГР"), QStringLiteral("--archive"),
             QStringLiteral("hourly"), QStringLiteral("--from"), QStringLiteral("02.03.2024 10:00"), QStringLiteral("--to"),
             QStringLiteral("03.03.2024 15:00"), QStringLiteral("--breakdown"), QStringLiteral("--columns"), kGroupColumns},
            QStringLiteral("breakdown.txt"));
    auto totalsOf = [](const QList<Rec>& hours) {
        GroupHour t;
        for (const Rec& h : hours)
            if (h.end >= QDateTime(QDate(2024, 3, 2), QTime(10, 0)) && h.end <= QDateTime(QDate(2024, 3, 3), QTime(15, 0))) {
                t.w += h.w, t.s += h.s, t.aw += h.aw, t.as += h.as;
                t.intervention = t.intervention || (h.status1 & kIntervention);
                t.abnormal = t.abnormal || (h.status1 & kAbnormal);
            }
        return t;
    };
    const QList<int> widths = {12, 12, 12, 12, 12, 12, 3};
    auto line = [&](const GroupHour& g) {
        const QStringList cells = {num(g.w, 1),        num(g.s, 1),        num(g.aw, 1), num(g.as, 1),
                                   num(g.w + g.aw, 1), num(g.s + g.as, 1), groupFlags(g.intervention, g.abnormal)};
        QString l = QStringLiteral("|");
        for (int i = 0; i < cells.size(); ++i)
            l += pad(cells[i], widths[i]) + QLatin1Char('|');
        return l;
    };
    const GroupHour a = totalsOf(hoursA()), b = totalsOf(hoursB());
    GroupHour sum = a;
    sum.w += b.w, sum.s += b.s, sum.aw += b.aw, sum.as += b.as;
    sum.intervention = a.intervention || b.intervention;
    sum.abnormal = a.abnormal || b.abnormal;
    expectInOrder(lines, {QStringLiteral("орг.-\"\" ветка-\"\""),
                          pad(QStringLiteral("ТАРН-1.01"), 12) + QStringLiteral(" N41234 от 02.03.2024 10:00 до 03.03.2024 15:00"),
                          line(a), QStringLiteral("орг.-\"\" ветка-\"\""), line(b),
                          QStringLiteral("итог группа \"ГР\" :"), line(sum)});
    const QString memberB = startsWith(lines, pad(QStringLiteral("ТАРН-1.01"), 12) + QStringLiteral(" N41235"));
    EXPECT_TRUE(memberB.contains(QStringLiteral(" от "))) << memberB.toStdString();
}

} // namespace
