// The commercial report of one metering point: the day, month and period reports line by line, the
// abnormal situations, the code list, the Ukrainian texts, the errors and the contract hour.
#include "common/DisplayNumber.h"
#include "reports/CommercialReport.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <ctime>
#include <gtest/gtest.h>
#include <tuple>

using namespace tarn;
using namespace tarn::reports;
using corrector::Archive;

namespace {

// Hand-made records of one metering point, each list in time order.
class FakeSource final : public ReportSource {
public:
    explicit FakeSource(bool database = false) : database_(database) {}
    bool fromDatabase() const override { return database_; }
    bool wasRead(Archive) const override { return true; }
    QList<PeriodRecord> periodRecords(Archive archive, const QDateTime& from,
                                      const QDateTime& to) const override {
        const QList<PeriodRecord>& all = archive == Archive::Hourly  ? hourly
                                         : archive == Archive::Daily ? daily
                                                                     : monthly;
        return within(all, from, to, &PeriodRecord::end);
    }
    QList<AlarmRecord> alarms(const QDateTime& from, const QDateTime& to) const override {
        return within(alarmList, from, to, &AlarmRecord::when);
    }
    QList<InterventionRecord> interventions(const QDateTime& from, const QDateTime& to) const override {
        return within(interventionList, from, to, &InterventionRecord::when);
    }

    QList<PeriodRecord> hourly, daily, monthly;
    QList<AlarmRecord> alarmList;
    QList<InterventionRecord> interventionList;

private:
    template <typename T>
    static QList<T> within(const QList<T>& all, const QDateTime& from, const QDateTime& to,
                           QDateTime T::*when) {
        QList<T> out;
        for (const T& r : all)
            if (r.*when >= from && r.*when <= to) out.append(r);
        return out;
    }
    bool database_;
};

const QString kNone = QStringLiteral("---");
const QString kIntervention = QStringLiteral("-И-");
const QString kAbnormal = QStringLiteral("--В");
const QString kKgf = QStringLiteral("кгс/см2");

QDateTime at(int day, int month, int hour, int minute = 0) {
    return QDateTime(QDate(2024, month, day), QTime(hour, minute));
}

PeriodRecord rec(const QDateTime& end, double working, double standard, double alarmWorking,
                 double alarmStandard, const QString& status = kNone) {
    PeriodRecord r;
    std::tie(r.end, r.working, r.standard, r.alarmWorking, r.alarmStandard, r.status) =
        std::tie(end, working, standard, alarmWorking, alarmStandard, status);
    return r;
}

PeriodRecord measured(PeriodRecord r, double pressure, const QString& unit, double temperature,
                      double correction = 1) {
    std::tie(r.pressure, r.pressureUnit, r.temperature, r.correction) =
        std::tie(pressure, unit, temperature, correction);
    return r;
}

PeriodRecord withCounter(PeriodRecord r, double counter, const QString& parameters = {}) {
    r.counter = counter;
    r.parameterText = parameters;
    return r;
}

// 32 hexadecimal digits with the contract hour in characters 25 and 26.
QString parameterText(const QString& hour) {
    return QString(24, QLatin1Char('0')) + hour + QString(6, QLatin1Char('0'));
}

AlarmRecord alarm(const QDateTime& when, quint16 previous, quint16 current, double working = 0,
                  double standard = 0) {
    AlarmRecord a;
    std::tie(a.when, a.previous, a.current, a.alarmWorking, a.alarmStandard) =
        std::tie(when, previous, current, working, standard);
    return a;
}

ReportHeader pointHeader(bool complex = false) {
    ReportHeader h;
    h.organisation = QStringLiteral("ГорГаз");
    h.pipeline = QStringLiteral("Нитка 1");
    h.model = QStringLiteral("КГ-01");
    h.serial = QStringLiteral("123");
    h.complex = complex;
    h.meterType = QStringLiteral("G100");
    h.meterSerial = QStringLiteral("7777");
    h.contractLoad = QStringLiteral("150");
    h.volumeDecimals = 3;
    return h;
}

ReportOptions options(ReportPeriod period, QDate begin, QDate end = {}) {
    ReportOptions o;
    o.period = period;
    o.begin = begin;
    o.end = end.isValid() ? end : begin;
    o.parameters = false;
    return o;
}

// Lines written as the report shows them.
QStringList text(const QString& raw) {
    return raw.split(QLatin1Char('\n'));
}
QString pad(const QString& text, int width) {
    return text.leftJustified(width, QLatin1Char(' '), false);
}
QString dashes(int n) {
    return QString(n, QLatin1Char('-'));
}
QString ruleUnder(const QString& row) {
    return QLatin1Char('|') + dashes(static_cast<int>(row.size()) - 2) + QLatin1Char('|');
}
QString cells(const QStringList& values, int width) {
    QString s;
    for (const QString& v : values)
        s += QLatin1Char('|') + pad(v, width);
    return s;
}
// Every line of the abnormal situations is followed by its rule.
QStringList withRules(const QStringList& rows) {
    QStringList out;
    for (const QString& r : rows)
        out << r << QLatin1Char('|') + dashes(102) + QLatin1Char('|');
    return out;
}

// The duration of an abnormal situation has no fixed form: an expected line ending in this cell accepts
// any 11 characters and the closing bar there.
const QString kAnyDuration = QStringLiteral("~~~~~~~~~~~|");

bool matches(const QString& actual, const QString& expected) {
    if (!expected.endsWith(kAnyDuration)) return actual == expected;
    return actual.size() == expected.size() && actual.startsWith(expected.chopped(kAnyDuration.size())) &&
           actual.endsWith(QLatin1Char('|'));
}

// The block appears in the lines, line after line; a failure shows where the longest partial match ends.
::testing::AssertionResult hasBlock(const QStringList& lines, const QStringList& block) {
    qsizetype bestStart = 0, bestLength = -1;
    for (qsizetype start = 0; start < lines.size(); ++start) {
        qsizetype n = 0;
        while (n < block.size() && start + n < lines.size() && matches(lines.at(start + n), block.at(n)))
            ++n;
        if (n == block.size()) return ::testing::AssertionSuccess();
        if (n > bestLength) bestStart = start, bestLength = n;
    }
    if (bestLength <= 0)
        return ::testing::AssertionFailure() << "no line \"" << block.value(0).toStdString() << "\" in:\n"
                                             << lines.join(QLatin1Char('\n')).toStdString();
    return ::testing::AssertionFailure()
           << "line " << bestStart + bestLength << ":\n  expected \"" << block.at(bestLength).toStdString()
           << "\"\n  actual   \"" << lines.value(bestStart + bestLength).toStdString() << '"';
}

const QStringList kAlarmsHead =
    text(QStringLiteral(R"(                          Диагностические сообщения о аварийных ситуациях

--------------------------------------------------------------------------------------------------------
| Дата     |Время|                     Аварийные ситуации          |Объем газа |Объем газа |Продолжит. |
|          |     |                                                 |при авр.   |ст.у.      |           |
--------------------------------------------------------------------------------------------------------)"));
const QString kSupplier = QStringLiteral("Представитель поставщика  ______________________________");

// Gas day 04.03.2024 with contract hour 9: the hours stamped 04.03 10:00 … 05.03 09:00, and one hour on
// either side that belongs to the neighbouring gas days.
FakeSource dayData(bool database = false) {
    FakeSource s(database);
    s.hourly = {rec(at(4, 3, 9), 99, 99, 0, 0),
                measured(rec(at(4, 3, 10), 12.3, 5, 0, 0.25, kIntervention), 0.5, QStringLiteral("МПа"), 5.25,
                         1.0523),
                measured(rec(at(5, 3, 0), 8, 4.125, 1, 0.5, kAbnormal), 5.25, kKgf, -2.5, 1.1),
                measured(rec(at(5, 3, 9), 0, 0, 0, 0), 5, kKgf, 0), rec(at(5, 3, 10), 77, 77, 0, 0)};
    s.daily = {withCounter(rec(at(4, 3, 9), 90, 45, 2, 1), 1000, parameterText(QStringLiteral("09"))),
               withCounter(measured(rec(at(5, 3, 9), 100.5, 50.25, 1, 0.5, QStringLiteral("-ИВ")), 5.1, kKgf,
                                    4.5, 1.05),
                           1234.5)};
    return s;
}

const QDateTime kDayNow = at(5, 3, 12, 34).addSecs(56);

} // namespace

TEST(CommercialReportNumbers, TrailingZerosAndThePointAreCut) {
    EXPECT_EQ(displayNumber(12.300, 3), QStringLiteral("12.3"));
    EXPECT_EQ(displayNumber(5.000, 3), QStringLiteral("5"));
    EXPECT_EQ(displayNumber(-2.5, 2), QStringLiteral("-2.5"));
    EXPECT_EQ(displayNumber(1234567.125, 3), QStringLiteral("1234567.125"));
}

// A record's time stamp is the end of its hour: the row shows the hour's start.
TEST(CommercialDayReport, WholeReportLineByLine) {
    const FakeSource source = dayData();
    const ReportLines r =
        buildCommercialReport(source, pointHeader(), options(ReportPeriod::Day, QDate(2024, 3, 4)), kDayNow);
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    const QStringList expected =
        text(QStringLiteral(R"(/суточный отчет *общий* за 04.03.2024 г. Составлен:05.03.2024 12:34:56/
                                ГорГаз
           (название предприятия, на котором расположен корректор)

Договорные обязательства Qст.у (м.куб/час) 150


                           СУТОЧНЫЙ ОТЧЕТ

         ЗА СУТКИ : 04.03.2024 г.    Составлен  05.03.2024   12:34:56

Корректор КГ-01 00123         Трубопровод Нитка 1
                   (зав.ном.)                    (имя  нитки)

Счетчик  газа    G100  7777
                      (зав.ном.)

Объем за прошлый день      | Vраб.+Vраб.авр. =90+2=92
(м.куб.)                   | Vст.у+Vст.у.авр.=45+1=46

Показания счетчика на начало 04.03.2024 - 1000(м.куб)

                             Почасовые данные

----------------------------------------------------------------------------------------------------
| Дата     |Нача- |Объем газа раб.      |Объем газа авр.      |     Среднее значение           | | |
|          |      |---------------------|---------------------|--------------------------------| | |
|          |ло    |при       |при       |при       |при       |давления  |тем-ри    |к-та      |И|В|
|          |      |р.у.      |ст.у.     |р.у.      |ст.у.     |(абс)     |град.С    |привед.   | | |
|          |      |м.куб     |м.куб     |м.куб     |м.куб     |кгс/см2   |          |          | | |
---------------------------------------------------------------------------------------------------
|04.03.2024|09:00 |12.3      |5         |0         |0.25      |5.099     |5.25      |1.0523    |*|-|
|--------------------------------------------------------------------------------------------------|
|04.03.2024|23:00 |8         |4.125     |1         |0.5       |5.25      |-2.5      |1.1       |-|*|
|--------------------------------------------------------------------------------------------------|
|05.03.2024|08:00 |0         |0         |0         |0         |5         |0         |1         |-|-|
|--------------------------------------------------------------------------------------------------|
|Итого за сутки:  |100.5     |50.25     |1         |0.5       |5.1       |4.5       |1.05      |*|*|
|--------------------------------------------------------------------------------------------------|

                          Сообщения о вмешательстве операторов

----------------------------------------------------------------------------------------------
| Дата     |Время|   Кто    |     Название измененного      |            Значение             |
|          |     |          |                               |---------------------------------|
|          |     |          |     параметра                 |  предыдущее    |      новое     |
|                                      Записей не было                                        |
|---------------------------------------------------------------------------------------------|

                          Диагностические сообщения о аварийных ситуациях

--------------------------------------------------------------------------------------------------------
| Дата     |Время|                     Аварийные ситуации          |Объем газа |Объем газа |Продолжит. |
|          |     |                                                 |при авр.   |ст.у.      |           |
--------------------------------------------------------------------------------------------------------
|                                          Записей не было                                             |
--------------------------------------------------------------------------------------------------------

Показания счетчика на конец - 1234.5(м.куб.)
Итого за день    - Vсум.раб. (м.куб.) = Vраб.+Vраб.авр.  =100.5+1=101.5
Итого за день    - Vсум.ст.у.(м.куб ) = Vст.у+Vст.у.авр. =50.25+0.5=50.75

Представитель поставщика  ______________________________

Представитель потребителя ______________________________

           Конец суточного отчета за 04.03.2024г.

    ______________________________________________________________________
      Примечание - В отчете: р.у.- рабочие условия,ст.у.-стандартные условия
                             В - авар. ситуац. , И - вмешат. опер.)"));
    EXPECT_TRUE(hasBlock(r.lines, expected));
    EXPECT_EQ(r.lines.size(), expected.size());
}

TEST(CommercialDayReport, TotalsWithHourlyCalculation) {
    ReportOptions o = options(ReportPeriod::Day, QDate(2024, 3, 4));
    o.hourlyCalculation = true;
    const FakeSource source = dayData();
    const ReportLines r = buildCommercialReport(source, pointHeader(), o, kDayNow);
    ASSERT_TRUE(r.error.isEmpty());
    EXPECT_EQ(r.lines.value(1), QStringLiteral("Внимание!!! Расчет по часовому архиву"));
    // Pressure (5.09858 + 5.25 + 5) / 3, temperature (5.25 - 2.5 + 0) / 3, factor (1.0523 + 1.1 + 1) / 3.
    const QString totals = QStringLiteral("|Итого за сутки:  ") +
                           cells({"20.3", "9.125", "1", "0.75", "5.116", "0.92", "1.0508"}, 10) +
                           QStringLiteral("|*|*|");
    EXPECT_TRUE(hasBlock(r.lines, {totals, ruleUnder(totals)}));
    // The end reading is the start reading plus the day's working and alarm volumes.
    EXPECT_TRUE(hasBlock(
        r.lines, {QStringLiteral("Показания счетчика на конец - 1021.3(м.куб.)"),
                  QStringLiteral("Итого за день    - Vсум.раб. (м.куб.) = Vраб.+Vраб.авр.  =20.3+1=21.3")}));

    // A gas day without hours: the no-records line, and "*****" in the three averages.
    FakeSource empty;
    empty.daily = source.daily;
    InterventionRecord i;
    i.when = at(4, 3, 15);
    empty.interventionList = {i};
    const ReportLines e = buildCommercialReport(empty, pointHeader(), o, kDayNow);
    ASSERT_TRUE(e.error.isEmpty()) << e.error.toStdString();
    const QString none = QStringLiteral("|Итого за сутки:  ") +
                         cells({"0", "0", "0", "0", "*****", "*****", "*****"}, 10) + QStringLiteral("|-|-|");
    EXPECT_TRUE(hasBlock(
        e.lines, {dashes(99),
                  QStringLiteral("|                                          Записей не было           "
                                 "                                  |"),
                  dashes(104), none, ruleUnder(none)}));
}

namespace {

// March 2024 (contract hour 9): gas days 01.03 and 02.03 after the day before, and the months around.
FakeSource monthData() {
    FakeSource s;
    s.daily = {withCounter(rec(at(1, 3, 9), 40, 35, 1, 0.5), 1000),
               withCounter(measured(rec(at(2, 3, 9), 10, 8, 0.5, 0.25, kIntervention), 5.2, kKgf, 3.5), 1100),
               withCounter(measured(rec(at(3, 3, 9), 20, 16, 0, 0, kAbnormal), 5.4, kKgf, -1), 1120)};
    s.monthly = {withCounter(rec(at(1, 3, 9), 300, 250, 3, 2), 5000),
                 withCounter(measured(rec(at(1, 4, 9), 30.5, 24.125, 0.5, 0.25), 5.3, kKgf, 1.25), 1120)};
    InterventionRecord i;
    i.when = at(5, 3, 14, 20);
    i.who = QStringLiteral("Оператор");
    i.parameter = QStringLiteral("Контрактный час");
    i.before = QStringLiteral("9");
    i.after = QStringLiteral("10");
    s.interventionList = {i};
    return s;
}

const QDateTime kMonthNow = at(10, 4, 12);

} // namespace

// The totals row of a month comes from the monthly record; the running total from the rows.
TEST(CommercialMonthReport, TableRunningTotalAndMonthlyTotals) {
    const FakeSource source = monthData();
    const ReportLines r = buildCommercialReport(source, pointHeader(),
                                                options(ReportPeriod::Month, QDate(2024, 3, 15)), kMonthNow);
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_EQ(r.lines.value(0),
              QStringLiteral("/месячный отчет *общий* за 03.2024 Составлен:10.04.2024 12:00:00/"));
    EXPECT_TRUE(hasBlock(r.lines, text(QStringLiteral(R"(                           МЕСЯЧНЫЙ ОТЧЕТ

         ЗА МЕСЯЦ  : 03.2024    Составлен  10.04.2024   12:00:00)"))));
    EXPECT_TRUE(
        hasBlock(r.lines, text(QStringLiteral(R"(Объем за прошлый месяц     | Vраб.+Vраб.авр. =300+3=303
(м.куб.)                   | Vст.у+Vст.у.авр.=250+2=252

Показания счетчика на начало месяца  - 5000(м.куб))"))));
    EXPECT_TRUE(hasBlock(r.lines, text(QStringLiteral(R"(                        Суточные данные

------------------------------------------------------------------------------------------------------
| Дата     |Объем газа раб.      |Объем газа авр.      |Vст.у+     |Vст.у+     |Среднее значение |И|В|
|          |-------------------------------------------|Vст.у.авр. |Vст.у.авр. |-----------------| | |
|          |при р.у.  |при ст.у. |при р.у.  |при ст.у. |за день    |нарастающим|давл. абс|тем-ри | | |
|          |м.куб     |м.куб     | м.куб    |м.куб     |           |итогом     |кгс/см2  |град.С | | |
|----------------------------------------------------------------------------------------------------|
|01.03.2024|10        |8         |0.5       |0.25      |8.25       |8.25       |5.2      |3.5    |*|-|
|----------------------------------------------------------------------------------------------------|
|02.03.2024|20        |16        |0         |0         |16         |24.25      |5.4      |-1     |-|*|
|----------------------------------------------------------------------------------------------------|
| Итого :  |30.5      |24.125    |0.5       |0.25      |24.25      |   ---     |5.3      |1.25   |*|*|
|----------------------------------------------------------------------------------------------------|)"))));
    const QString intervention = QStringLiteral("|05.03.2024|14:20|Оператор  |") +
                                 pad(QStringLiteral("Контрактный час"), 31) + QLatin1Char('|') +
                                 pad(QStringLiteral("9"), 16) + QLatin1Char('|') +
                                 pad(QStringLiteral("10"), 16) + QLatin1Char('|');
    EXPECT_TRUE(hasBlock(r.lines, {intervention, ruleUnder(intervention)}));
    EXPECT_TRUE(r.lines.contains(QStringLiteral("Показания счетчика на конец - 1120(м.куб.)")));
    EXPECT_TRUE(r.lines.contains(QStringLiteral("           Конец месячного отчета за  03.2024г.")));
}

TEST(CommercialPeriodReport, AveragesDashCellAndComputedReading) {
    ReportOptions o = options(ReportPeriod::Range, QDate(2024, 3, 1), QDate(2024, 3, 2));
    o.content = ReportContent::Data;
    o.computeTotals = true;
    const FakeSource source = monthData();
    const ReportLines r = buildCommercialReport(source, pointHeader(), o, kMonthNow);
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_EQ(r.lines.value(0),
              QStringLiteral(
                  "/отчет за период *данные* с 01.03.2024 по 02.03.2024 Составлен:10.04.2024 12:00:00/"));
    EXPECT_TRUE(r.lines.contains(QStringLiteral(
        "         ЗА ПЕРИОД : с 01.03.2024 по 02.03.2024     Составлен 10.04.2024   12:00:00")));
    const QString totals = pad(QStringLiteral("| Итого :"), 11) + cells({"30", "24", "0.5", "0.25"}, 10) +
                           cells({"24.25"}, 11) + QLatin1Char('|') + pad(QStringLiteral("|    ---  "), 12) +
                           QStringLiteral("|5.3      |1.25   |*|*|");
    EXPECT_TRUE(hasBlock(r.lines, {totals, ruleUnder(totals)}));
    // Start reading 1000 (the day before the period) plus 30 + 0.5.
    EXPECT_TRUE(hasBlock(r.lines, text(QStringLiteral(R"(
Показания счетчика на конец - 1030.5(м.куб.)
Итого за период  - Vсум.раб. (м.куб.) = Vраб.+Vраб.авр.  =30+0.5=30.5
Итого за период  - Vсум.ст.у.(м.куб ) = Vст.у+Vст.у.авр. =24+0.25=24.25)"))));
    EXPECT_FALSE(
        r.lines.contains(QStringLiteral("                          Сообщения о вмешательстве операторов")));
    EXPECT_FALSE(r.lines.contains(kAlarmsHead.first()));
    EXPECT_TRUE(
        r.lines.contains(QStringLiteral("     Конец отчета за период \x63 01.03.2024г. по 02.03.2024г.")));

    o.content = ReportContent::Interventions;
    EXPECT_EQ(
        buildCommercialReport(source, pointHeader(), o, kMonthNow).lines.value(0),
        QStringLiteral(
            "/отчет за период *вмешат. опер.* с 01.03.2024 по 02.03.2024 Составлен:10.04.2024 12:00:00/"));
}

TEST(CommercialPeriodReport, HeatEnergyInTheReportUnitAndTheEndReadingWhenNoneIsStored) {
    ReportOptions o = options(ReportPeriod::Range, QDate(2024, 3, 1), QDate(2024, 3, 2));
    o.heat = true;
    ReportHeader h = pointHeader();
    h.heatSupported = true;
    FakeSource source = monthData();
    source.daily[1].heat = 41.868; // 10 Гкал
    source.daily[1].heatUnit = QStringLiteral("ГДж");
    source.daily[2].heat = 2.5;
    source.daily[2].heatUnit = QStringLiteral("Гкал");
    source.daily[2].counter.reset();
    const ReportLines r = buildCommercialReport(source, h, o, kMonthNow);
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    const QString row = QStringLiteral("|01.03.2024") + cells({"10", "8", "0.5", "0.25"}, 10) +
                        cells({"8.25"}, 11) + cells({"10"}, 10) + QStringLiteral("|5.2      |3.5    |*|-|");
    const QString totals = pad(QStringLiteral("| Итого :"), 11) +
                           cells({"30", "24", "0.5", "0.25", "12.5"}, 10) + QLatin1Char('|') +
                           pad(QStringLiteral("|    ---  "), 12) + QStringLiteral("|5.3      |1.25   |*|*|");
    EXPECT_TRUE(r.lines.contains(QStringLiteral("| Дата     |Объем газа раб.      |Объем газа авр.      "
                                                "|Vст.у+     |Тепловая    |Среднее значение |И|В|")));
    EXPECT_TRUE(hasBlock(r.lines, {row, ruleUnder(row)}));
    EXPECT_TRUE(hasBlock(r.lines, {totals, ruleUnder(totals)}));
    EXPECT_TRUE(r.lines.contains(QStringLiteral("Итого эквивалент тепловой энергии (Гкал) E=12.5")));
    // The last day stores no counter reading: start reading 1000 plus 30 + 0.5.
    EXPECT_TRUE(r.lines.contains(QStringLiteral("Показания счетчика на конец - 1030.5(м.куб.)")));
}

namespace {

// March 2024 from the database. 01.03: situation 2 starts; one record ends 2 and starts 1 and 4; 12
// starts; the day closes with 1, 4 and 12 set. 02.03: 4 ends; the closing record ends 1 and 12, and the
// day has no daily record.
FakeSource alarmData() {
    FakeSource s(true);
    s.daily = {withCounter(rec(at(1, 3, 9), 0, 0, 0, 0), 0, parameterText(QStringLiteral("09"))),
               rec(at(2, 3, 9), 10, 8, 2.5, 1.25)};
    s.alarmList = {alarm(at(1, 3, 10, 30), 0x0000, 0x0002, 0.5, 0.25),
                   alarm(at(1, 3, 12), 0x0002, 0x0011, 1, 0.5),
                   alarm(at(1, 3, 15), 0x0011, 0x0811),
                   alarm(at(2, 3, 9), 0x0811, 0x4811),
                   alarm(at(2, 3, 10, 15), 0x0811, 0x0801),
                   alarm(at(3, 3, 9), 0x0801, 0x4000)};
    return s;
}

// Each followed by its rule.
const QStringList kMonthAlarms = text(QStringLiteral(
    R"(|01.03.2024|10:30| НАЧАЛО : Давл. газа меньше нижн. порог. знач.   |0.5        |0.25       |~~~~~~~~~~~|
|01.03.2024|12:00| НАЧАЛО : Откл.датчика давления(работа по Pconst)|1          |0.5        |~~~~~~~~~~~|
|   ---    | --  | КОНЕЦ  : Давл. газа меньше нижн. порог. знач.   |1          |0.5        |~~~~~~~~~~~|
|   ---    | --  | НАЧАЛО : Откл.преобраз.темпер.(работа по Tconst)|1          |0.5        |~~~~~~~~~~~|
|01.03.2024|15:00| НАЧАЛО : Имитация расхода при отсут.счетчика    |0          |0          |~~~~~~~~~~~|
|01.03.2024| --  | Итого за сутки :                                |2.5        |1.25       |~~~~~~~~~~~|
| ПРОДОЛЖ: Откл.датчика давления(работа по Pconst)|0          |0          |0          |
| ПРОДОЛЖ: Откл.преобраз.темпер.(работа по Tconst)|0          |0          |0          |
| ПРОДОЛЖ: Имитация расхода при отсут.счетчика    |0          |0          |0          |
|02.03.2024|10:15| КОНЕЦ  : Откл.преобраз.темпер.(работа по Tconst)|0          |0          |~~~~~~~~~~~|
|03.03.2024|09:00| КОНЕЦ  : Откл.датчика давления(работа по Pconst)|0          |0          |~~~~~~~~~~~|
|   ---    | --  | КОНЕЦ  : Имитация расхода при отсут.счетчика    |0          |0          |~~~~~~~~~~~|
|02.03.2024| --  | Итого за сутки :                                | НЕТ ДАННЫХ
|    --    | --  | Итого за месяц :                                |2.5        |1.25       |~~~~~~~~~~~|
|Сум. время      |Откл.датчика давления(работа по Pconst)          |    --     | --        |~~~~~~~~~~~|
|Сум. время      |Давл. газа меньше нижн. порог. знач.             |    --     | --        |~~~~~~~~~~~|
|Сум. время      |Откл.преобраз.темпер.(работа по Tconst)          |    --     | --        |~~~~~~~~~~~|
|Сум. время      |Имитация расхода при отсут.счетчика              |    --     | --        |~~~~~~~~~~~|)"));

} // namespace

// A metering complex names situation 12 after its flow sensor wherever a corrector names it after the
// flow simulation.
TEST(CommercialAlarmListing, StartsEndsContinuationsAndTotals) {
    ReportOptions o = options(ReportPeriod::Month, QDate(2024, 3, 1));
    o.content = ReportContent::Alarms;
    const FakeSource source = alarmData();
    for (const bool complex : {false, true}) {
        SCOPED_TRACE(complex ? "complex" : "corrector");
        const ReportLines r = buildCommercialReport(source, pointHeader(complex), o, kMonthNow);
        ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
        EXPECT_EQ(
            r.lines.value(0),
            QStringLiteral("/месячный отчет *нешт. ситуац.* за 03.2024 Составлен:10.04.2024 12:00:00/"));
        EXPECT_FALSE(r.lines.contains(QStringLiteral("                        Суточные данные")));
        QStringList rows = kMonthAlarms;
        if (complex)
            rows.replaceInStrings(QStringLiteral("Имитация расхода при отсут.счетчика"),
                                  pad(QStringLiteral("Отказ датчика расхода"), 35));
        EXPECT_TRUE(hasBlock(r.lines, kAlarmsHead + withRules(rows) + QStringList{QString(), kSupplier}));
        // Situation 15 marks the closing records only: never a situation line nor a summed time.
        for (const QString& line : r.lines) {
            EXPECT_FALSE(line.contains(QStringLiteral(": Итого за сутки"))) << line.toStdString();
            EXPECT_FALSE(line.startsWith(QStringLiteral("|Сум. время      |Итого"))) << line.toStdString();
        }
    }
}

TEST(CommercialAlarmListing, DayReportListsTheSituationsContinuingFromTheDayBefore) {
    ReportOptions o = options(ReportPeriod::Day, QDate(2024, 3, 2));
    o.content = ReportContent::Alarms;
    const FakeSource source = alarmData();
    const ReportLines r = buildCommercialReport(source, pointHeader(), o, kMonthNow);
    EXPECT_TRUE(hasBlock(r.lines, kAlarmsHead + withRules(kMonthAlarms.mid(6, 7)) +
                                      QStringList{QString(), kSupplier}));
}

TEST(CommercialAlarmListing, ShortListingKeepsOnlyTheDailyLines) {
    ReportOptions o = options(ReportPeriod::Day, QDate(2024, 3, 1));
    o.content = ReportContent::Alarms;
    o.shortAlarms = true;
    const FakeSource source = alarmData();
    const ReportLines day = buildCommercialReport(source, pointHeader(), o, kMonthNow);
    ASSERT_TRUE(day.error.isEmpty());
    // A day report keeps the daily line's rule.
    EXPECT_TRUE(hasBlock(day.lines,
                         kAlarmsHead + withRules({kMonthAlarms.at(5)}) + QStringList{QString(), kSupplier}));

    // A month: the daily lines only, without rules and without the month's lines.
    o.period = ReportPeriod::Month;
    const ReportLines month = buildCommercialReport(source, pointHeader(), o, kMonthNow);
    ASSERT_TRUE(month.error.isEmpty());
    EXPECT_TRUE(hasBlock(month.lines, kAlarmsHead + QStringList{kMonthAlarms.at(5), kMonthAlarms.at(12),
                                                                QString(), kSupplier}));
}

// Two-digit numbers, the name filled with dots to 53 characters, two blanks, the mask.
TEST(CommercialCodeList, SixteenSituationsWithTheirMasks) {
    const QString list = QStringLiteral(R"(
////
                 Коды  аварийных ситуаций:
01 Откл.датчика давления(работа по Pconst)..............  0001
02 Давл. газа меньше нижн. порог. знач..................  0002
03 Давл. газа больше верх. порог. знач..................  0004
04 Откл.преобраз.темпер.(работа по Tconst)..............  0010
05 Темп. газа меньше нижн. порог. знач..................  0020
06 Темп. газа больше вер. порог. знач...................  0040
07 Расх. газа меньше Qmin...............................  0008
08 Расх. газа больше Qmax...............................  0080
09 Расчет Ксжим невозможен..............................  0100
10 Напряж. питан. корректора  меньше 2,7В...............  0200
11 Ёмкость батареи < 10% ...............................  0400
12 Имитация расхода при отсут.счетчика..................  0800
13 Выход из строя корректора............................  1000
14 Проверка без демонтажа...............................  2000
15 Итого за сутки :.....................................  4000
16 Пропало питание счетчика.............................  8000
/////
)");
    ReportOptions o = options(ReportPeriod::Month, QDate(2024, 3, 1));
    o.content = ReportContent::Alarms;
    o.codes = true;
    const FakeSource source = alarmData();
    const ReportLines r = buildCommercialReport(source, pointHeader(), o, kMonthNow);
    EXPECT_TRUE(hasBlock(r.lines, text(list) + QStringList{QString(), kSupplier}));
    // A metering complex: situation 12 is the flow sensor's failure, 21 characters and 32 dots.
    const ReportLines c = buildCommercialReport(source, pointHeader(true), o, kMonthNow);
    const QString complexList =
        QString(list).replace(QStringLiteral("12 Имитация расхода при отсут.счетчика.................."),
                              QStringLiteral("12 Отказ датчика расхода") + QString(32, QLatin1Char('.')));
    EXPECT_TRUE(hasBlock(c.lines, text(complexList) + QStringList{QString(), kSupplier}));
}

TEST(CommercialReportUkrainian, TitleTableSignaturesAndEnding) {
    FakeSource source = dayData(true);
    source.hourly.clear();
    ReportOptions o = options(ReportPeriod::Day, QDate(2024, 3, 4));
    o.ukrainian = true;
    o.codes = true;
    const ReportLines r = buildCommercialReport(source, pointHeader(true), o, kDayNow);
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_EQ(r.lines.value(0),
              QStringLiteral("/добовий звіт *загальний* за 04.03.2024 р. Складений:05.03.2024 12:34:56/"));
    EXPECT_TRUE(hasBlock(r.lines, text(QStringLiteral(R"(                             Погодинні  дані

----------------------------------------------------------------------------------------------------
| Дата     |Поча- |Об’єм газу раб.      |Об’єм газу авр.      |    Середнє значення            | | |
|          |      |---------------------|---------------------|--------------------------------| | |
|          |ток   |при       |при       |при       |при       |тиску     |тем-ри    |к-та      |И|В|
|          |      |р.у.      |ст.у.     |р.у.      |ст.у.     |(абс)     |град.С    |привед.   | | |
|          |      |м.куб     |м.куб     |м.куб     |м.куб     |кгс/см2   |          |          | | |
---------------------------------------------------------------------------------------------------
|                                            Записів не було                                           |
--------------------------------------------------------------------------------------------------------
| Того за добу :  |100.5     |50.25     |1         |0.5       |5.1       |4.5       |1.05      |*|*|
|--------------------------------------------------------------------------------------------------|)"))));
    EXPECT_TRUE(r.lines.contains(QStringLiteral("| Дата     |Час  |                     Аварійні ситуаціі    "
                                                "       |Об’єм газу |Об’єм газу |Тривалість |")));
    EXPECT_TRUE(hasBlock(r.lines, {QStringLiteral("                Коди  аварійних ситуацій:"),
                                   QStringLiteral("01 Відкл.перетв.тиску(робота по Pconst)") +
                                       QString(17, QLatin1Char('.')) + QStringLiteral("  0001")}));
    EXPECT_TRUE(r.lines.contains(QStringLiteral("12 Відмова перетворювача витрати") +
                                 QString(24, QLatin1Char('.')) + QStringLiteral("  0800")));
    const QStringList ending = text(QStringLiteral(R"(
Представник постачальника ______________________________

Представник споживача __________________________________

           Кінець добового звіту за  04.03.2024р.

    ______________________________________________________________________
      Прімитки - У звіти: р.у.-робочі умови,ст.у.-стандартні умови.
                          В - авар. ситуац., И - втруч. опер.)"));
    EXPECT_TRUE(hasBlock(r.lines, ending));
    EXPECT_EQ(r.lines.mid(r.lines.size() - ending.size()), ending);

    // A month, and a period with heat energy: the short labels of the summary.
    o.period = ReportPeriod::Month;
    const FakeSource month = monthData();
    const ReportLines m = buildCommercialReport(month, pointHeader(), o, kMonthNow);
    ASSERT_TRUE(m.error.isEmpty());
    EXPECT_EQ(m.lines.value(0),
              QStringLiteral("/місячній звіт *загальний* за 03.2024 Складений:10.04.2024 12:00:00/"));
    EXPECT_TRUE(m.lines.contains(QStringLiteral("Показники лічильника на початок місяца  - 5000(м.куб)")));
    EXPECT_TRUE(m.lines.contains(QStringLiteral("           Кінець місячного звіту за  03.2024р.")));
    o.period = ReportPeriod::Range;
    o.begin = QDate(2024, 3, 1);
    o.end = QDate(2024, 3, 2);
    o.heat = true;
    ReportHeader h = pointHeader();
    h.heatSupported = true;
    const ReportLines p = buildCommercialReport(month, h, o, kMonthNow);
    EXPECT_TRUE(hasBlock(p.lines, {QStringLiteral("Того за період  - Vсум.роб. (м.куб.) = 30+0.5=30.5"),
                                   QStringLiteral("Того за період  - Vсум.ст.у.(м.куб) = 24+0.25=24.25")}));
}

TEST(CommercialReportErrors, NoLinesWhenTheReportCannotBeBuilt) {
    const FakeSource month = monthData();
    ReportOptions o = options(ReportPeriod::Range, QDate(2024, 3, 2), QDate(2024, 3, 1));
    ReportLines r = buildCommercialReport(month, pointHeader(), o, kMonthNow);
    EXPECT_EQ(r.error, QStringLiteral("ОШИБКА!!! НАЧАЛО > КОНЦА"));
    EXPECT_TRUE(r.lines.isEmpty());
    o.ukrainian = true;
    EXPECT_EQ(buildCommercialReport(month, pointHeader(), o, kMonthNow).error,
              QStringLiteral("ПОМИЛКА! ПОЧАТОК > КІНЦЯ"));

    // Just-read data with nothing in the gas day (only the neighbouring days' records).
    FakeSource outside;
    outside.hourly = {rec(at(4, 3, 9), 1, 1, 0, 0), rec(at(5, 3, 10), 1, 1, 0, 0)};
    outside.alarmList = {alarm(at(4, 3, 9), 0, 1)};
    o = options(ReportPeriod::Day, QDate(2024, 3, 4));
    r = buildCommercialReport(outside, pointHeader(), o, kDayNow);
    EXPECT_EQ(r.error, QStringLiteral("В АРХИВЕ НЕТ ИНФОРМАЦИИ"));
    EXPECT_TRUE(r.lines.isEmpty());
    o.ukrainian = true;
    EXPECT_EQ(buildCommercialReport(outside, pointHeader(), o, kDayNow).error,
              QStringLiteral("В АРХІВІ НЕМАЄ ІНФОРМАЦІЇ"));

    // 25 hours (the night the clocks go back) fit in a gas day; 26 do not.
    FakeSource hours;
    for (int i = 1; i <= 24; ++i)
        hours.hourly.append(rec(at(4, 3, 9).addSecs(3600LL * i), 1, 1, 0, 0));
    hours.hourly.insert(1, rec(at(4, 3, 10, 30), 1, 1, 0, 0));
    o.ukrainian = false;
    r = buildCommercialReport(hours, pointHeader(), o, kDayNow);
    EXPECT_TRUE(r.error.isEmpty());
    EXPECT_EQ(r.lines.filter(QStringLiteral("|04.03.2024|09:30 |1 ")).size(), 1);
    EXPECT_EQ(r.lines.filter(QStringLiteral("|05.03.2024|08:00 |1 ")).size(), 1);
    hours.hourly.insert(2, rec(at(4, 3, 11, 30), 1, 1, 0, 0));
    r = buildCommercialReport(hours, pointHeader(), o, kDayNow);
    EXPECT_EQ(r.error, QStringLiteral("Превышено кол-во строк за сутки в часовом архиве !!!!"));
    EXPECT_TRUE(r.lines.isEmpty());
}

TEST(CommercialReportContractHour, FromTheDailyRecordClosingTheDayBefore) {
    const QDate day(2024, 3, 4);
    auto hourFrom = [&](const QString& text) {
        FakeSource s(true);
        s.daily = {withCounter(rec(at(4, 3, 9), 0, 0, 0, 0), 0, text)};
        return contractHourFor(s, day, 7);
    };
    EXPECT_EQ(hourFrom(parameterText(QStringLiteral("0B"))), 11);
    EXPECT_EQ(hourFrom(parameterText(QStringLiteral("0a"))), 10);
    EXPECT_EQ(hourFrom(parameterText(QStringLiteral("00"))), 0);
    // Not a valid hour: the record's own hour.
    for (const char* bad : {"ZZ", "18", "-1", "0x"})
        EXPECT_EQ(hourFrom(parameterText(QString::fromLatin1(bad))), 9) << bad;
    EXPECT_EQ(hourFrom(QStringLiteral("0B")), 9);
    EXPECT_EQ(hourFrom(QString()), 9);
    // No record: the corrector's.
    EXPECT_EQ(contractHourFor(FakeSource(true), day, 7), 7);

    // A database day report with contract hour 11: the hours stamped 04.03 12:00 … 05.03 11:00.
    FakeSource s(true);
    s.daily = {withCounter(rec(at(4, 3, 11), 0, 0, 0, 0), 0, parameterText(QStringLiteral("0B")))};
    s.hourly = {rec(at(4, 3, 11), 5, 5, 0, 0), rec(at(4, 3, 12), 1, 1, 0, 0), rec(at(5, 3, 11), 2, 2, 0, 0),
                rec(at(5, 3, 12), 6, 6, 0, 0)};
    const ReportLines r = buildCommercialReport(s, pointHeader(), options(ReportPeriod::Day, day), kDayNow);
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_EQ(r.lines.filter(QStringLiteral("|04.03.2024|11:00 |1 ")).size(), 1);
    EXPECT_EQ(r.lines.filter(QStringLiteral("|05.03.2024|10:00 |2 ")).size(), 1);
    EXPECT_TRUE(r.lines.filter(QStringLiteral("|5 ")).isEmpty());
    EXPECT_TRUE(r.lines.filter(QStringLiteral("|6 ")).isEmpty());
}

TEST(CommercialReportGasDays, SpanCalendarAgreesWithTheClockAcrossSummerTime) {
    // The calendar skips the zone for days the clock's offset keeps; in a zone with summer time the days
    // around each change must still come out as the zone itself says. Every half hour of a year (both
    // changes inside), a few contract hours, in Kyiv's zone and in UTC.
    const QByteArray zoneBefore = qgetenv("TZ");
    for (const char* zone : {"Europe/Kiev", "UTC"}) {
        qputenv("TZ", zone);
        tzset();
        const QDate first(2023, 1, 1), last(2023, 12, 31);
        for (int contractHour : {0, 2, 3, 9, 23}) {
            const GasDays calendar(contractHour, first, last);
            int checked = 0, mismatched = 0;
            for (QDateTime t(first, QTime(0, 30)); t.date() <= last.addDays(1); t = t.addSecs(1800)) {
                ++checked;
                if (calendar.of(t) != gasDayOf(t, contractHour)) {
                    ++mismatched;
                    ADD_FAILURE() << zone << " hour " << contractHour << ": "
                                  << t.toString(Qt::ISODate).toStdString();
                }
                if (mismatched > 5) break;
            }
            EXPECT_GT(checked, 17000);
            // By hand: an hour closing at 09:00 belongs to the day before, one at 09:01 to its own.
            if (contractHour == 9) {
                EXPECT_EQ(calendar.of(QDateTime(QDate(2023, 3, 26), QTime(9, 0))), QDate(2023, 3, 25));
                EXPECT_EQ(calendar.of(QDateTime(QDate(2023, 7, 1), QTime(9, 0))), QDate(2023, 6, 30));
                EXPECT_EQ(calendar.of(QDateTime(QDate(2023, 7, 1), QTime(10, 0))), QDate(2023, 7, 1));
            }
        }
        // Outside the span it still answers, through the zone.
        const GasDays narrow(9, QDate(2023, 6, 1), QDate(2023, 6, 2));
        EXPECT_EQ(narrow.of(QDateTime(QDate(2023, 11, 15), QTime(9, 0))), QDate(2023, 11, 14));
        EXPECT_EQ(narrow.of(QDateTime(QDate(2023, 6, 2), QTime(0, 0))), QDate(2023, 6, 1));
    }
    if (zoneBefore.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", zoneBefore);
    tzset();
}

TEST(CommercialReportUnits, TheNewestDailyRecordOfTheSpanTellsThePressureUnit) {
    // A quarter's period report of a stored point: the unit comes from the newest daily record of the
    // span, whether it lies in the span's last month or long before it.
    const QString mpa = QStringLiteral("МПа");
    auto reportWith = [&](const QList<PeriodRecord>& daily) {
        FakeSource s(true);
        s.daily = daily;
        const ReportLines r = buildCommercialReport(
            s, pointHeader(), options(ReportPeriod::Range, QDate(2024, 1, 1), QDate(2024, 3, 31)),
            at(10, 4, 12));
        EXPECT_TRUE(r.error.isEmpty()) << r.error.toStdString();
        return r.lines.join(QLatin1Char('\n'));
    };
    const PeriodRecord early = measured(rec(at(3, 1, 10), 1, 1, 0, 0), 0.5, mpa, 5);
    const PeriodRecord lateKgf = measured(rec(at(25, 3, 10), 1, 1, 0, 0), 5.1, kKgf, 5);
    const PeriodRecord lateMpa = measured(rec(at(25, 3, 10), 1, 1, 0, 0), 0.5, mpa, 5);
    EXPECT_TRUE(reportWith({early}).contains(mpa));
    EXPECT_TRUE(reportWith({lateMpa}).contains(mpa));
    EXPECT_FALSE(reportWith({early, lateKgf}).contains(mpa));
    EXPECT_TRUE(reportWith({measured(early, 5.1, kKgf, 5), lateMpa}).contains(mpa));
    EXPECT_FALSE(reportWith({}).contains(mpa));
}

// The hourly calculation of a period sums each gas day's hours however the source hands them over, and
// still refuses a gas day with more hours than the night the clocks go back can give.
TEST(CommercialPeriodReport, HourlyCalculationSumsEachGasDayWhateverTheOrderOfItsHours) {
    ReportOptions o = options(ReportPeriod::Range, QDate(2024, 3, 1), QDate(2024, 3, 3));
    o.hourlyCalculation = true;
    const QDateTime now(QDate(2024, 4, 10), QTime(12, 0));
    FakeSource inOrder;
    for (int day = 0; day < 3; ++day)
        for (int h = 1; h <= 24; ++h) // gas day 1 + day: its hours end 10:00 .. 09:00 the next morning
            inOrder.hourly.append(rec(at(1 + day, 3, 9).addSecs(3600LL * h), day + 1, 0.5, 0, 0));
    FakeSource shuffled;
    shuffled.hourly = inOrder.hourly;
    std::reverse(shuffled.hourly.begin(), shuffled.hourly.end());
    std::swap(shuffled.hourly[3], shuffled.hourly[40]);

    const ReportLines ordered = buildCommercialReport(inOrder, pointHeader(), o, now);
    ASSERT_TRUE(ordered.error.isEmpty()) << ordered.error.toStdString();
    EXPECT_EQ(buildCommercialReport(shuffled, pointHeader(), o, now).lines, ordered.lines);
    for (const char* row : {"|01.03.2024|24        |12        |", "|02.03.2024|48        |12        |",
                            "|03.03.2024|72        |12        |"})
        EXPECT_EQ(ordered.lines.filter(QString::fromUtf8(row)).size(), 1) << row;

    // Two more hours in the second gas day: 26 are more than any gas day holds.
    FakeSource tooMany = shuffled;
    tooMany.hourly.append(rec(at(2, 3, 10, 30), 1, 1, 0, 0));
    tooMany.hourly.append(rec(at(2, 3, 11, 30), 1, 1, 0, 0));
    const ReportLines refused = buildCommercialReport(tooMany, pointHeader(), o, now);
    EXPECT_EQ(refused.error, QStringLiteral("Превышено кол-во строк за сутки в часовом архиве !!!!"));
    EXPECT_TRUE(refused.lines.isEmpty());
}
