#include "reports/CommercialReport.h"

#include "common/DisplayNumber.h"
#include "reports/AlarmCodes.h"
#include "reports/ReportText.h"

#include <QRegularExpression>
#include <cmath>
#include <optional>

namespace tarn::reports {

using corrector::Archive;

namespace {

// A gas day holds 24 hours, 25 on the night the clocks go back.
constexpr int kMaxHoursInGasDay = 25;

// The rule under a row: as long as the row, with its bars at both ends.
QString ruleUnder(const QString& row) {
    return QLatin1Char('|') + dashes(static_cast<int>(row.size()) - 2) + QLatin1Char('|');
}

QString flags(bool intervention, bool abnormal) {
    return QLatin1Char('|') + QString(intervention ? QStringLiteral("*") : QStringLiteral("-")) +
           QLatin1Char('|') + QString(abnormal ? QStringLiteral("*") : QStringLiteral("-")) +
           QLatin1Char('|');
}

QString minutesText(qint64 minutes) {
    return QStringLiteral("%1:%2").arg(minutes / 60).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

using Sums = RecordSums;

class Builder {
public:
    Builder(const ReportSource& source, const ReportHeader& header, const ReportOptions& options,
            const QDateTime& now)
        : s_(source), h_(header), o_(options), now_(now), ua_(options.ukrainian) {}
    // A stored point's units are those its records were stored with.
    void takeStoredUnits();
    bool setUpPeriod();

    ReportLines build();
    QStringList alarmsOnly();
    const AlarmSectionTotals& alarmTotals() const { return alarmTotals_; }

private:
    QString t(const char* ru, const char* ua) const { return QString::fromUtf8(ua_ ? ua : ru); }
    void line(const QString& text = {}) { lines_.append(text); }
    QString vol(double v) const { return displayNumber(v, h_.volumeDecimals); }
    QString averagePressure(double sum, int count) const {
        if (count == 0) return QStringLiteral("*****");
        return displayNumber(sum / count, isMpa(h_.pressureUnit) ? 4 : 3);
    }
    static QString average(double sum, int count, int decimals) {
        return count == 0 ? QStringLiteral("*****") : displayNumber(sum / count, decimals);
    }
    QString pressureCell(const PeriodRecord& r) const {
        return r.pressure ? displayNumber(shownPressure(*r.pressure, r.pressureUnit, h_.pressureUnit), 3)
                          : QStringLiteral("--");
    }
    static QString optionalCell(const std::optional<double>& v, int decimals) {
        return v ? displayNumber(*v, decimals) : QStringLiteral("--");
    }
    QDateTime dayStart(const QDate& day) const { return QDateTime(day, QTime(ch_, 0)); }
    // Records whose stamp closes a gas day in [first, last].
    QList<PeriodRecord> records(Archive archive, const QDate& first, const QDate& last) const {
        return s_.periodRecords(archive, dayStart(first).addSecs(60), dayStart(last.addDays(1)));
    }
    std::optional<PeriodRecord> recordClosing(Archive archive, const QDate& day) const {
        const QList<PeriodRecord> list = records(archive, day, day);
        if (list.isEmpty()) return std::nullopt;
        return list.last();
    }
    std::optional<PeriodRecord> monthRecord(const QDate& monthStart) const {
        const QList<PeriodRecord> list = s_.periodRecords(Archive::Monthly, dayStart(monthStart).addSecs(60),
                                                          dayStart(monthStart.addMonths(1)));
        if (list.isEmpty()) return std::nullopt;
        return list.last();
    }

    void titleLine();
    void warnings();
    void head();
    void parameterBlock();
    void previousPeriod();
    bool dataTable();
    bool dayTable();
    bool daysTable();
    void interventions();
    void alarms();
    void summary();
    void ending();
    void codeList();
    void noRecords();

    const ReportSource& s_;
    ReportHeader h_;
    const ReportOptions& o_;
    QDateTime now_;
    bool ua_;
    QStringList lines_;
    QString error_;
    AlarmSectionTotals alarmTotals_;
    int ch_ = 9;
    QDate first_, last_; // the gas days of the report
    Sums totals_;        // what the summary prints
    std::optional<double> startCounter_, endCounter_;
    std::optional<double> periodHeat_;
};

void Builder::titleLine() {
    static constexpr const char* kWordsRu[] = {"общий", "данные", "вмешат. опер.", "нешт. ситуац."};
    static constexpr const char* kWordsUa[] = {"загальний", "дані", "втруч. опер.", "нешт. ситуац."};
    const int c = static_cast<int>(o_.content);
    const QString word = QString::fromUtf8(ua_ ? kWordsUa[c] : kWordsRu[c]);
    const QString made = t(" Составлен:", " Складений:") +
                         now_.date().toString(QStringLiteral("dd.MM.yyyy")) + QLatin1Char(' ') +
                         now_.time().toString(QStringLiteral("HH:mm:ss")) + QLatin1Char('/');
    switch (o_.period) {
    case ReportPeriod::Month:
        line(t("/месячный отчет *", "/місячній звіт *") + word + QStringLiteral("* за ") +
             first_.toString(QStringLiteral("MM.yyyy")) + made);
        break;
    case ReportPeriod::Day:
        line(t("/суточный отчет *", "/добовий звіт *") + word + QStringLiteral("* за ") +
             first_.toString(QStringLiteral("dd.MM.yyyy")) + t(" г.", " р.") + made);
        break;
    case ReportPeriod::Range:
        line(t("/отчет за период *", "/звіт за період *") + word + t("* с ", "* з ") +
             first_.toString(QStringLiteral("dd.MM.yyyy")) + QStringLiteral(" по ") +
             last_.toString(QStringLiteral("dd.MM.yyyy")) + made);
        break;
    }
}

void Builder::warnings() {
    if (s_.fromDatabase()) return;
    if (!s_.wasRead(Archive::Abnormal)) line(QStringLiteral("Внимание!!! Не было чтения архива аварий"));
    if (!s_.wasRead(Archive::Interference))
        line(QStringLiteral("Внимание!!! Не было чтения архива вмешательств"));
    if (o_.period == ReportPeriod::Day && !s_.wasRead(Archive::Hourly))
        line(QStringLiteral("Внимание!!! Не было чтения часового архива"));
    if (o_.period != ReportPeriod::Day && !s_.wasRead(Archive::Daily))
        line(QStringLiteral("Внимание!!! Не было чтения суточного архива"));
    if (o_.hourlyCalculation) line(QStringLiteral("Внимание!!! Расчет по часовому архиву"));
}

void Builder::head() {
    const QString name = h_.organisation.simplified();
    if (name.isEmpty()) {
        line(QStringLiteral("           ________________________________________________________"));
    } else {
        const int blanks = static_cast<int>(std::lround((70.0 - static_cast<double>(name.size())) / 2.0));
        line(QString(std::max(0, blanks), QLatin1Char(' ')) + name);
    }
    if (h_.complex)
        line(t("           (название предприятия, на котором расположен комплекс)",
               "             (назва підприємства, на якому розташован комплекс)"));
    else
        line(t("           (название предприятия, на котором расположен корректор)",
               "             (назва підприємства, на якому розташован коректор)"));
    line();
    line(t("Договорные обязательства Qст.у (", "Договорне навантаження Qст.у (") + h_.standardVolumeUnit() +
         t("/час) ", "/год) ") + h_.contractLoad);
    line();
    line();
    const QString today = now_.date().toString(QStringLiteral("dd.MM.yyyy"));
    const QString time = now_.time().toString(QStringLiteral("HH:mm:ss"));
    switch (o_.period) {
    case ReportPeriod::Day:
        line(t("                           СУТОЧНЫЙ ОТЧЕТ", "                           ДОБОВИЙ  ЗВІТ"));
        line();
        line(t("         ЗА СУТКИ : ", "         ЗА ДОБУ : ") +
             first_.toString(QStringLiteral("dd.MM.yyyy")) + t(" г.", " р.") +
             t("    Составлен  ", "    Складений  ") + today + QStringLiteral("   ") + time);
        break;
    case ReportPeriod::Month:
        line(t("                           МЕСЯЧНЫЙ ОТЧЕТ", "                           МІСЯЧНИЙ  ЗВІТ"));
        line();
        line(t("         ЗА МЕСЯЦ  : ", "         ЗА МІСЯЦЬ : ") +
             first_.toString(QStringLiteral("MM.yyyy")) + t("    Составлен  ", "    Складений  ") + today +
             QStringLiteral("   ") + time);
        break;
    case ReportPeriod::Range:
        line(t("                           ОТЧЕТ ЗА ПЕРИОД", "                           ЗВІТ ЗА ПЕРІОД"));
        line();
        line(t("         ЗА ПЕРИОД : с ", "         ЗА ПЕРІОД : з ") +
             first_.toString(QStringLiteral("dd.MM.yyyy")) + QStringLiteral(" по ") +
             last_.toString(QStringLiteral("dd.MM.yyyy")) + t("     Составлен ", "     Складений ") + today +
             QStringLiteral("   ") + time);
        break;
    }
    line();
    lines_ += deviceBlock(h_, ua_);
}

void Builder::previousPeriod() {
    std::optional<PeriodRecord> before;
    if (o_.period == ReportPeriod::Month)
        before = monthRecord(first_.addMonths(-1));
    else
        before = recordClosing(Archive::Daily, first_.addDays(-1));
    const PeriodRecord r = before.value_or(PeriodRecord{});
    startCounter_ = before ? before->counter : std::nullopt;
    const bool month = o_.period == ReportPeriod::Month;
    line((month ? t("Объем за прошлый месяц     | Vраб.+Vраб.авр. =",
                    "Об’єм за минулий місяць    | Vраб.+Vраб.авр. =")
                : t("Объем за прошлый день      | Vраб.+Vраб.авр. =",
                    "Об’єм за минулу добу       | Vраб.+Vраб.авр. =")) +
         vol(r.working) + QLatin1Char('+') + vol(r.alarmWorking) + QLatin1Char('=') +
         vol(r.working + r.alarmWorking));
    line(QStringLiteral("(м.куб.)                   | Vст.у+Vст.у.авр.=") + vol(r.standard) +
         QLatin1Char('+') + vol(r.alarmStandard) + QLatin1Char('=') + vol(r.standard + r.alarmStandard));
    line();
    const QString counter = vol(startCounter_.value_or(0));
    if (month)
        line(t("Показания счетчика на начало месяца  - ", "Показники лічильника на початок місяца  - ") +
             counter + QStringLiteral("(м.куб)"));
    else
        line(t("Показания счетчика на начало ", "Показники лічильника на початок ") +
             first_.toString(QStringLiteral("dd.MM.yyyy")) + QStringLiteral(" - ") + counter +
             QStringLiteral("(м.куб)"));
}

void Builder::parameterBlock() {
    if (!(o_.parameters && h_.hasParameters)) {
        previousPeriod();
        line();
        return;
    }
    line(t("Параметры корректора на начало отчета:", "Параметри коректора на початок звiту:"));
    auto row = [&](const QString& a, const QString& b, const QString& c) {
        line(pad(a, 27) + pad(b, 32) + c);
    };
    const QString perHour = t("(м.куб/час) ", "(м.куб/год) ");
    row(t("Контрактные сутки  ", "Контрактна доба    ") + h_.contractDay,
        QStringLiteral("| Tст.у.(град.С) ") + QString(6, QLatin1Char(' ')) + h_.standardTemperature,
        h_.massMode ? QStringLiteral("|").rightJustified(27)
                    : QStringLiteral("| Метод ") + h_.method.rightJustified(14));
    row(t("Контрактное время  ", "Контрактна година  ") + h_.contractTime,
        QStringLiteral("| Рст.у.(") + h_.pressureUnit + QStringLiteral(")  ") + h_.standardPressure,
        h_.barometric ? QStringLiteral("| Pбар") + h_.pmin : QStringLiteral("| Pmin") + h_.pmin);
    row(h_.fixedFactor ? t("Ксжим.             ", "Кстиск.            ") + h_.compressibility
                       : t("Плотность(кг/м.куб)", "Густина(кг/м.куб)  ") + h_.density,
        QStringLiteral("| Qmin р.у.") + perHour + h_.qmin,
        h_.barometric ? QStringLiteral("| Pизб") + h_.pmax : QStringLiteral("| Pmax") + h_.pmax);
    row(h_.massMode ? QString(27, QLatin1Char(' ')) : t("Содерж. N2 (%)     ", "Вміст N2 (%)       ") + h_.n2,
        QStringLiteral("| Qmax р.у.") + perHour + h_.qmax, QStringLiteral("| Tmin (град.С) ") + h_.tmin);
    row(h_.massMode ? QString() : t("Содерж. CO2 (%)    ", "Вміст CO2 (%)      ") + h_.co2,
        h_.complex ? QStringLiteral("| ДУ                   ") + h_.nominalDiameter
                   : t("| К-во имп/м.куб       ", "| К-т імп/м.куб        ") + h_.pulsesPerCubicMetre,
        QStringLiteral("| Tmax (град.С) ") + h_.tmax);
    line(QString(27, QLatin1Char(' ')) + QStringLiteral("| Qtrs р.у.") + pad(h_.qtrs, 9));
    line(QString(27, QLatin1Char(' ')) + QStringLiteral("| Qtrn р.у.") + pad(h_.qtrn, 9));
    line();
    previousPeriod();
    line();
    line(t("Текущие параметры корректора:", "Поточнi параметри коректора:"));
    line(t("Состояние датчиков           ", "Стан  датчиків               ") + h_.sensorState);
    line(pad(QStringLiteral("Tconst (град.С)"), 29) + h_.temperatureSubstitute);
    line(pad(t("Vconst р.у.(м.куб/сут)", "Vconst р.у.(м.куб/доб)"), 29) + h_.flowSubstitute);
    line(QStringLiteral("Qmin, при Q<Qmin ?           ") +
         (h_.qminSubstitution ? t("ВКЛЮЧЕНО", "УВІМКНЕНО") : t("ВЫКЛЮЧЕНО", "ВИМКНЕНО")));
    line();
}

void Builder::noRecords() {
    line(t("|                                          Записей не было                                       "
           "      |",
           "|                                            Записів не було                                     "
           "      |"));
    line(dashes(104));
}

bool Builder::dataTable() {
    return o_.period == ReportPeriod::Day ? dayTable() : daysTable();
}

bool Builder::dayTable() {
    line(t("                             Почасовые данные", "                             Погодинні  дані"));
    line();
    line(dashes(100));
    line(t("| Дата     |Нача- |Объем газа раб.      |Объем газа авр.      |     Среднее значение           | "
           "| |",
           "| Дата     |Поча- |Об’єм газу раб.      |Об’єм газу авр.      |    Середнє значення            | "
           "| |"));
    line(
        QStringLiteral("|          |      "
                       "|---------------------|---------------------|--------------------------------| | |"));
    line(t("|          |ло    |при       |при       |при       |при       |давления  |тем-ри    |к-та      "
           "|И|В|",
           "|          |ток   |при       |при       |при       |при       |тиску     |тем-ри    |к-та      "
           "|И|В|"));
    line(QStringLiteral("|          |      |р.у.      |ст.у.     |р.у.      |ст.у.     |(абс)     |град.С    "
                        "|привед.   | | |"));
    line(QStringLiteral("|          |      |м.куб     |") + pad(h_.standardVolumeUnit(), 10) +
         QStringLiteral("|м.куб     |") + pad(h_.standardVolumeUnit(), 10) + QLatin1Char('|') +
         pad(h_.pressureUnit, 10) + QStringLiteral("|          |          | | |"));
    line(dashes(99));
    const QList<PeriodRecord> hours = records(Archive::Hourly, first_, first_);
    if (hours.size() > kMaxHoursInGasDay) {
        error_ = t("Превышено кол-во строк за сутки в часовом архиве !!!!",
                   "Перевищено кількість рядків за добу в часовому архіві");
        return false;
    }
    Sums sums;
    for (const PeriodRecord& r : hours) {
        sums.add(r, h_.pressureUnit);
        // A record closes its hour: the row shows when the hour began.
        const QDateTime start = r.end.addSecs(-3600);
        const QString row = QLatin1Char('|') + pad(start.date().toString(QStringLiteral("dd.MM.yyyy")), 10) +
                            QLatin1Char('|') + pad(start.time().toString(QStringLiteral("HH:mm")), 6) +
                            QLatin1Char('|') + pad(vol(r.working), 10) + QLatin1Char('|') +
                            pad(vol(r.standard), 10) + QLatin1Char('|') + pad(vol(r.alarmWorking), 10) +
                            QLatin1Char('|') + pad(vol(r.alarmStandard), 10) + QLatin1Char('|') +
                            pad(pressureCell(r), 10) + QLatin1Char('|') +
                            pad(optionalCell(r.temperature, 2), 10) + QLatin1Char('|') +
                            pad(optionalCell(r.correction, 4), 10) + flags(r.intervention(), r.abnormal());
        line(row);
        line(ruleUnder(row));
    }
    if (hours.isEmpty()) noRecords();
    // The day's totals: the corrector's own daily record, or what its hours add up to.
    const std::optional<PeriodRecord> daily = recordClosing(Archive::Daily, first_);
    QStringList cells;
    if (o_.hourlyCalculation || !daily) {
        totals_ = sums;
        cells = {vol(sums.working),
                 vol(sums.standard),
                 vol(sums.alarmWorking),
                 vol(sums.alarmStandard),
                 averagePressure(sums.pressure, sums.pressures),
                 average(sums.temperature, sums.temperatures, 2),
                 average(sums.correction, sums.corrections, 4)};
    } else {
        totals_ = Sums{};
        totals_.add(*daily, h_.pressureUnit);
        totals_.intervention = sums.intervention || daily->intervention();
        totals_.abnormal = sums.abnormal || daily->abnormal();
        endCounter_ = daily->counter;
        cells = {vol(daily->working),
                 vol(daily->standard),
                 vol(daily->alarmWorking),
                 vol(daily->alarmStandard),
                 pressureCell(*daily),
                 optionalCell(daily->temperature, 2),
                 optionalCell(daily->correction, 4)};
    }
    QString row = t("|Итого за сутки:  ", "| Того за добу :  ");
    for (const QString& c : cells)
        row += QLatin1Char('|') + pad(c, 10);
    row += flags(totals_.intervention, totals_.abnormal);
    line(row);
    line(ruleUnder(row));
    return true;
}

bool Builder::daysTable() {
    line(t("                        Суточные данные", "                           Добові  дані"));
    line();
    line(dashes(102));
    const bool heat = o_.heat && h_.heatSupported && !o_.hourlyCalculation;
    const QString second1 = heat ? t("Тепловая    ", "Теплова     ") : QStringLiteral("Vст.у+     ");
    const QString second2 = heat ? t("энергия     ", "енергiя     ") : QStringLiteral("Vст.у.авр. ");
    const QString second3 = heat ? QString(12, QLatin1Char(' ')) : t("нарастающим", "нарастаючим");
    const QString second4 = heat ? pad(h_.heatUnit, 12) : t("итогом     ", "підсумком  ");
    line(t("| Дата     |Объем газа раб.      |Объем газа авр.      |",
           "| Дата     |Об’єм газу раб.      |Об’єм газу авр.      |") +
         QStringLiteral("Vст.у+     ") + QLatin1Char('|') + second1 +
         t("|Среднее значение |И|В|", "|Середнє значення |И|В|"));
    line(QStringLiteral("|          |-------------------------------------------|") +
         QStringLiteral("Vст.у.авр. ") + QLatin1Char('|') + second2 +
         QStringLiteral("|-----------------| | |"));
    line(QStringLiteral("|          |при р.у.  |при ст.у. |при р.у.  |при ст.у. |") +
         t("за день    ", "за добу    ") + QLatin1Char('|') + second3 +
         t("|давл. абс|тем-ри | | |", "|тиск. абс|тем-ри | | |"));
    line(QStringLiteral("|          |м.куб     |") + pad(h_.standardVolumeUnit(), 10) +
         QStringLiteral("| м.куб    |") + pad(h_.standardVolumeUnit(), 10) + QLatin1Char('|') +
         QString(11, QLatin1Char(' ')) + QLatin1Char('|') + second4 + QLatin1Char('|') +
         pad(h_.pressureUnit, 9) + QStringLiteral("|град.С | | |"));
    line(QLatin1Char('|') + dashes(100) + QLatin1Char('|'));

    // One row a gas day: the corrector's daily record, or with hourly calculation what its hours add up to.
    QList<std::pair<QDate, PeriodRecord>> days;
    if (o_.hourlyCalculation) {
        const QList<PeriodRecord> hours = records(Archive::Hourly, first_, last_);
        QMap<QDate, QList<PeriodRecord>> byDay;
        for (const PeriodRecord& r : hours)
            byDay[gasDayOf(r.end, ch_)].append(r);
        for (auto it = byDay.constBegin(); it != byDay.constEnd(); ++it) {
            if (it.value().size() > kMaxHoursInGasDay) {
                error_ = t("Превышено кол-во строк за сутки в часовом архиве !!!!",
                           "Перевищено кількість рядків за добу в часовому архіві");
                return false;
            }
            Sums sums;
            for (const PeriodRecord& r : it.value())
                sums.add(r, h_.pressureUnit);
            PeriodRecord day;
            day.end = it.value().last().end;
            day.working = sums.working;
            day.standard = sums.standard;
            day.alarmWorking = sums.alarmWorking;
            day.alarmStandard = sums.alarmStandard;
            if (sums.pressures) day.pressure = sums.pressure / sums.pressures;
            day.pressureUnit = h_.pressureUnit;
            if (sums.temperatures) day.temperature = sums.temperature / sums.temperatures;
            day.status = QStringLiteral("x") + (sums.intervention ? QChar(0x0418) : QLatin1Char('x')) +
                         (sums.abnormal ? QChar(0x0412) : QLatin1Char('x'));
            days.append({it.key(), day});
        }
    } else {
        for (const PeriodRecord& r : records(Archive::Daily, first_, last_))
            days.append({gasDayOf(r.end, ch_), r});
    }
    Sums sums;
    double running = 0;
    double heatSum = 0;
    bool anyHeat = false;
    for (const auto& [day, r] : days) {
        sums.add(r, h_.pressureUnit);
        const double daySum = r.standard + r.alarmStandard;
        running += daySum;
        QString second;
        if (heat) {
            const std::optional<double> energy =
                r.heat ? std::optional<double>(shownHeat(*r.heat, r.heatUnit, h_.heatUnit)) : std::nullopt;
            second = pad(energy ? displayNumber(*energy, 3) : QStringLiteral("---"), 10);
            if (energy) {
                heatSum += *energy;
                anyHeat = true;
            }
        } else {
            second = pad(vol(running), 11);
        }
        const QString row = QLatin1Char('|') + pad(day.toString(QStringLiteral("dd.MM.yyyy")), 8) +
                            QLatin1Char('|') + pad(vol(r.working), 10) + QLatin1Char('|') +
                            pad(vol(r.standard), 10) + QLatin1Char('|') + pad(vol(r.alarmWorking), 10) +
                            QLatin1Char('|') + pad(vol(r.alarmStandard), 10) + QLatin1Char('|') +
                            pad(vol(daySum), 11) + QLatin1Char('|') + second + QLatin1Char('|') +
                            pad(pressureCell(r), 9) + QLatin1Char('|') +
                            pad(optionalCell(r.temperature, 2), 7) + flags(r.intervention(), r.abnormal());
        line(row);
        line(ruleUnder(row));
        endCounter_ = r.counter; // the last record's own reading, or none
    }
    if (days.isEmpty()) noRecords();
    if (anyHeat) periodHeat_ = heatSum;

    // The totals: a month from the corrector's monthly record, a period (and hourly calculation) from
    // the days listed.
    const std::optional<PeriodRecord> monthly =
        o_.period == ReportPeriod::Month && !o_.hourlyCalculation ? monthRecord(first_) : std::nullopt;
    QStringList volumes;
    QString pressure, temperature;
    if (monthly) {
        totals_ = Sums{};
        totals_.add(*monthly, h_.pressureUnit);
        totals_.intervention = sums.intervention;
        totals_.abnormal = sums.abnormal;
        if (monthly->counter) endCounter_ = monthly->counter;
        pressure = pressureCell(*monthly);
        temperature = optionalCell(monthly->temperature, 2);
    } else {
        totals_ = sums;
        pressure = averagePressure(sums.pressure, sums.pressures);
        temperature = average(sums.temperature, sums.temperatures, 2);
    }
    volumes = {vol(totals_.working), vol(totals_.standard), vol(totals_.alarmWorking),
               vol(totals_.alarmStandard)};
    QString row = pad(t("| Итого :", "| Того :"), 11);
    for (const QString& v : volumes)
        row += QLatin1Char('|') + pad(v, 10);
    row += QLatin1Char('|') + (heat ? pad(anyHeat ? displayNumber(heatSum, 3) : QStringLiteral("---"), 10)
                                    : pad(vol(running), 11));
    row += QLatin1Char('|') + (o_.period == ReportPeriod::Month ? pad(QStringLiteral("   ---"), 11)
                                                                : pad(QStringLiteral("|    ---  "), 12));
    row += QLatin1Char('|') + pad(pressure, 9) + QLatin1Char('|') + pad(temperature, 7) +
           flags(totals_.intervention, totals_.abnormal);
    line(row);
    line(ruleUnder(row));
    return true;
}

void Builder::interventions() {
    line();
    line(t("                          Сообщения о вмешательстве операторов",
           "                          Повідомлення про втручання операторів"));
    line();
    line(dashes(94));
    line(
        t("| Дата     |Время|   Кто    |     Название измененного      |            Значение             |",
          "| Дата     |Час  |   Хто    |     Назва параметру,що        |            Значення             |"));
    line(QStringLiteral(
        "|          |     |          |                               |---------------------------------|"));
    line(
        t("|          |     |          |     параметра                 |  предыдущее    |      новое     |",
          "|          |     |          |     піддався зміні            |  попереднє     |      нове      |"));
    const QList<InterventionRecord> list =
        s_.interventions(dayStart(first_).addSecs(60), dayStart(last_.addDays(1)));
    for (const InterventionRecord& r : list) {
        const QString row = QLatin1Char('|') + pad(r.when.date().toString(QStringLiteral("dd.MM.yyyy")), 9) +
                            QLatin1Char('|') + pad(r.when.time().toString(QStringLiteral("HH:mm")), 5) +
                            QLatin1Char('|') + pad(r.who, 10) + QLatin1Char('|') + pad(r.parameter, 31) +
                            QLatin1Char('|') + pad(r.before, 16) + QLatin1Char('|') + pad(r.after, 16) +
                            QLatin1Char('|');
        line(row);
        line(ruleUnder(row));
    }
    if (list.isEmpty()) {
        line(t(
            "|                                      Записей не было                                        |",
            "|                                      Записів не було                                        "
            "|"));
        line(QStringLiteral("|-------------------------------------------------------------------------------"
                            "--------------|"));
    }
}

void Builder::alarms() {
    line();
    line(t("                          Диагностические сообщения о аварийных ситуациях",
           "         Діагностичні повідомлення про аварійні ситуації"));
    line();
    line(dashes(104));
    line(t("| Дата     |Время|                     Аварийные ситуации          |Объем газа |Объем газа "
           "|Продолжит. |",
           "| Дата     |Час  |                     Аварійні ситуаціі           |Об’єм газу |Об’єм газу "
           "|Тривалість |"));
    line(QStringLiteral("|          |     |                                                 |при авр.   "
                        "|ст.у.      |           |"));
    line(dashes(104));
    const QString rule = QLatin1Char('|') + dashes(102) + QLatin1Char('|');
    const quint16 closing = alarmMask(kDayClosingSituation);
    const QDateTime from = dayStart(first_).addSecs(60);
    QList<AlarmRecord> records = s_.alarms(from, dayStart(last_.addDays(1)));
    if (o_.closedDaysOnly) {
        // Records after the last one that closes a gas day belong to a day not closed yet.
        while (!records.isEmpty() && !(records.last().current & closing))
            records.removeLast();
    }
    alarmTotals_.records = static_cast<int>(records.size());
    if (records.isEmpty()) {
        noRecords();
        return;
    }
    // The short form keeps only the daily lines, and their rules only in a day report.
    const bool rules = !o_.shortAlarms || o_.period == ReportPeriod::Day;
    auto put = [&](const QString& text) {
        line(text);
        if (rules) line(rule);
    };
    auto cells = [&](double working, double standard, const QString& duration) {
        return QLatin1Char('|') + pad(vol(working), 11) + QLatin1Char('|') + pad(vol(standard), 11) +
               QLatin1Char('|') + pad(duration, 11) + QLatin1Char('|');
    };
    // How long a record's previous situations lasted: since the record before it (or the report's start).
    QDateTime lastTime = from.addSecs(-60);
    QDate currentDay;
    quint16 stateBefore = 0; // the situations in force when a gas day begins
    // What was in force when the report begins: the record before it (a corrector writes one at least
    // at every gas day's close).
    if (const QList<AlarmRecord> before = s_.alarms(from.addDays(-62), from.addSecs(-60));
        !before.isEmpty()) {
        stateBefore = before.last().current & static_cast<quint16>(~closing);
        lastTime = before.last().when;
    }
    qint64 dayMinutes = 0, totalMinutes = 0;
    double totalWorking = 0, totalStandard = 0;
    std::array<qint64, kAlarmSituations + 1> situationMinutes{};
    std::array<bool, kAlarmSituations + 1> occurred{};
    for (const AlarmRecord& r : records) {
        const QDate day = gasDayOf(r.when, ch_);
        if (day != currentDay) {
            currentDay = day;
            dayMinutes = 0;
            // Situations still set from before are listed at the day's first record.
            if (!o_.shortAlarms)
                for (int n = 1; n <= kAlarmSituations; ++n)
                    if (n != kDayClosingSituation && (stateBefore & alarmMask(n)))
                        put(pad(t("| ПРОДОЛЖ: ", "| ПРОДОВЖ: ") + alarmName(n, ua_, h_.complex), 50) +
                            QStringLiteral("|0          |0          |0          |"));
        }
        const quint16 active = r.previous & static_cast<quint16>(~closing);
        const qint64 minutes = active ? std::max<qint64>(0, lastTime.secsTo(r.when) / 60) : 0;
        lastTime = r.when;
        dayMinutes += minutes;
        totalMinutes += minutes;
        for (int n = 1; n <= kAlarmSituations; ++n)
            if (active & alarmMask(n)) situationMinutes[n] += minutes;
        bool firstLine = true;
        if (!o_.shortAlarms) {
            for (int n = 1; n <= kAlarmSituations; ++n) {
                if (n == kDayClosingSituation) continue;
                const bool now = r.current & alarmMask(n);
                const bool before = r.previous & alarmMask(n);
                if (now == before) continue;
                if (now) occurred[n] = true;
                const QString text = (now ? t("НАЧАЛО : ", "ПОЧАТОК: ") : t("КОНЕЦ  : ", "КІНЕЦЬ : ")) +
                                     alarmName(n, ua_, h_.complex);
                const QString date = firstLine ? r.when.date().toString(QStringLiteral("dd.MM.yyyy"))
                                               : QStringLiteral("   ---");
                const QString time =
                    firstLine ? r.when.time().toString(QStringLiteral("HH:mm")) : QStringLiteral(" --");
                put(QLatin1Char('|') + pad(date, 10) + QLatin1Char('|') + pad(time, 5) +
                    QStringLiteral("| ") + pad(text, 48) +
                    cells(r.alarmWorking, r.alarmStandard, minutesText(minutes)));
                firstLine = false;
            }
        } else {
            for (int n = 1; n <= kAlarmSituations; ++n)
                if (n != kDayClosingSituation && (r.current & alarmMask(n)) && !(r.previous & alarmMask(n)))
                    occurred[n] = true;
        }
        if (r.current & closing) {
            // The day's line: its abnormal-situation volumes from the corrector's daily record.
            const std::optional<PeriodRecord> daily = recordClosing(Archive::Daily, day);
            QString values;
            if (daily) {
                values = cells(daily->alarmWorking, daily->alarmStandard, minutesText(dayMinutes));
                totalWorking += daily->alarmWorking;
                totalStandard += daily->alarmStandard;
            } else {
                values = QLatin1Char('|') + QStringLiteral(" НЕТ ДАННЫХ");
            }
            put(QLatin1Char('|') + pad(day.toString(QStringLiteral("dd.MM.yyyy")), 8) + QLatin1Char('|') +
                pad(QStringLiteral(" --"), 5) +
                t("| Итого за сутки :                                ",
                  "| Того за добу :                                  ") +
                values);
            stateBefore = r.current & static_cast<quint16>(~closing);
        } else {
            stateBefore = r.current;
        }
    }
    alarmTotals_.working = totalWorking;
    alarmTotals_.standard = totalStandard;
    alarmTotals_.minutes = totalMinutes;
    if (o_.period == ReportPeriod::Day || o_.shortAlarms) return;
    const QString label = o_.period == ReportPeriod::Month
                              ? t("| Итого за месяц :                                ",
                                  "| Того за місяц:                                  ")
                              : t("| Итого за период :                               ",
                                  "| Того за період :                                ");
    put(QLatin1Char('|') + pad(QStringLiteral("    -- "), 10) + QLatin1Char('|') +
        pad(QStringLiteral(" --"), 5) + label +
        cells(totalWorking, totalStandard, minutesText(totalMinutes)));
    for (int n = 1; n <= kAlarmSituations; ++n)
        if (n != kDayClosingSituation && occurred[n])
            put(t("|Сум. время      |", "|Сум. тривалiсть |") + pad(alarmName(n, ua_, h_.complex), 49) +
                QLatin1Char('|') + pad(QStringLiteral("    -- "), 11) + QLatin1Char('|') +
                pad(QStringLiteral(" --"), 11) + QLatin1Char('|') +
                pad(minutesText(situationMinutes[n]), 11) + QLatin1Char('|'));
}

void Builder::summary() {
    line();
    const double periodWorking = totals_.working + totals_.alarmWorking;
    double endReading = 0;
    if (o_.computeTotals || o_.hourlyCalculation || !endCounter_)
        endReading = startCounter_.value_or(0) + periodWorking;
    else
        endReading = *endCounter_;
    line(t("Показания счетчика на конец - ", "Показники лiчильника на кiнець - ") + vol(endReading) +
         QStringLiteral("(м.куб.)"));
    const QString prefix = o_.period == ReportPeriod::Day ? t("Итого за день    - ", "Того за добу    - ")
                           : o_.period == ReportPeriod::Month
                               ? t("Итого за месяц   - ", "Того за місяц   - ")
                               : t("Итого за период  - ", "Того за період  - ");
    const bool shortLabels = ua_ && o_.heat && h_.heatSupported;
    line(prefix +
         (shortLabels
              ? QStringLiteral("Vсум.роб. (м.куб.) = ")
              : t("Vсум.раб. (м.куб.) = Vраб.+Vраб.авр.  =", "Vсум.роб. (м.куб.) = Vроб.+Vроб.авр.  =")) +
         vol(totals_.working) + QLatin1Char('+') + vol(totals_.alarmWorking) + QLatin1Char('=') +
         vol(periodWorking));
    line(prefix + QStringLiteral("Vсум.ст.у.(") +
         (shortLabels ? h_.standardVolumeUnit() : pad(h_.standardVolumeUnit(), 6)) +
         (shortLabels ? QStringLiteral(") = ") : QStringLiteral(") = Vст.у+Vст.у.авр. =")) +
         vol(totals_.standard) + QLatin1Char('+') + vol(totals_.alarmStandard) + QLatin1Char('=') +
         vol(totals_.standard + totals_.alarmStandard));
    if (o_.heat && o_.period != ReportPeriod::Day && !o_.hourlyCalculation)
        line(t("Итого эквивалент тепловой энергии (", "Того еквiваллент теплов. енергії (") + h_.heatUnit +
             QStringLiteral(") E=") + displayNumber(periodHeat_.value_or(0), 3));
}

void Builder::codeList() {
    line();
    line(QStringLiteral("////"));
    line(t("                 Коды  аварийных ситуаций:", "                Коди  аварійних ситуацій:"));
    for (int n = 1; n <= kAlarmSituations; ++n) {
        const QString name = alarmName(n, ua_, h_.complex);
        line(QStringLiteral("%1 ").arg(n, 2, 10, QLatin1Char('0')) +
             name.leftJustified(53, QLatin1Char('.'), false) + QStringLiteral("  ") +
             QStringLiteral("%1").arg(alarmMask(n), 4, 16, QLatin1Char('0')).toUpper());
    }
    line(QStringLiteral("/////"));
    line();
}

void Builder::ending() {
    if (o_.codes) codeList();
    line();
    line(t("Представитель поставщика  ______________________________",
           "Представник постачальника ______________________________"));
    line();
    line(t("Представитель потребителя ______________________________",
           "Представник споживача __________________________________"));
    line();
    switch (o_.period) {
    case ReportPeriod::Day:
        line(t("           Конец суточного отчета за ", "           Кінець добового звіту за  ") +
             first_.toString(QStringLiteral("dd.MM.yyyy")) + t("г.", "р."));
        break;
    case ReportPeriod::Month:
        line(t("           Конец месячного отчета за  ", "           Кінець місячного звіту за  ") +
             first_.toString(QStringLiteral("MM.yyyy")) + t("г.", "р."));
        break;
    case ReportPeriod::Range:
        line(t("     Конец отчета за период c ", "     Кінець звіту за період з ") +
             first_.toString(QStringLiteral("dd.MM.yyyy")) + t("г.", "р.") + QStringLiteral(" по ") +
             last_.toString(QStringLiteral("dd.MM.yyyy")) + t("г.", "р."));
        break;
    }
    line();
    line(QStringLiteral("    ______________________________________________________________________"));
    line(t("      Примечание - В отчете: р.у.- рабочие условия,ст.у.-стандартные условия",
           "      Прімитки - У звіти: р.у.-робочі умови,ст.у.-стандартні умови."));
    line(t("                             В - авар. ситуац. , И - вмешат. опер.",
           "                          В - авар. ситуац., И - втруч. опер."));
}

void Builder::takeStoredUnits() {
    // The newest daily record of the report's span (or an hour of its first day) tells the units.
    QList<PeriodRecord> near = records(Archive::Daily, first_, last_);
    if (near.isEmpty()) near = records(Archive::Hourly, first_, first_);
    if (near.isEmpty()) return;
    const PeriodRecord& r = near.last();
    if (isMpa(r.pressureUnit) || isKgf(r.pressureUnit)) h_.pressureUnit = r.pressureUnit.trimmed();
    if (!r.volumeUnit.isEmpty()) h_.massMode = r.volumeUnit == QStringLiteral("кг");
}

bool Builder::setUpPeriod() {
    const ReportDays days = reportDays(o_.period, o_.begin, o_.end, ua_);
    if (!days.error.isEmpty()) {
        error_ = days.error;
        return false;
    }
    first_ = days.first;
    last_ = days.last;
    ch_ = s_.fromDatabase() ? contractHourFor(s_, first_, h_.contractHour) : h_.contractHour;
    if (s_.fromDatabase()) takeStoredUnits();
    // A month or a period that reaches beyond today ends with the last gas day there is.
    const QDate today = gasDayOf(now_, ch_);
    if (o_.period != ReportPeriod::Day && last_ > today) last_ = std::max(first_, today);
    return true;
}

QStringList Builder::alarmsOnly() {
    if (!setUpPeriod()) return {};
    alarms();
    return lines_;
}

ReportLines Builder::build() {
    if (!setUpPeriod()) return {{}, error_};
    if (!s_.fromDatabase()) {
        const Archive table =
            o_.period == ReportPeriod::Day || o_.hourlyCalculation ? Archive::Hourly : Archive::Daily;
        const QDateTime from = dayStart(first_).addSecs(60), to = dayStart(last_.addDays(1));
        if (s_.periodRecords(table, from, to).isEmpty() && s_.alarms(from, to).isEmpty() &&
            s_.interventions(from, to).isEmpty())
            return {{}, t("В АРХИВЕ НЕТ ИНФОРМАЦИИ", "В АРХІВІ НЕМАЄ ІНФОРМАЦІЇ")};
    }

    titleLine();
    warnings();
    head();
    parameterBlock();
    const bool data = o_.content == ReportContent::All || o_.content == ReportContent::Data;
    if (data && !dataTable()) return {{}, error_};
    if (o_.content == ReportContent::All || o_.content == ReportContent::Interventions) interventions();
    if (o_.content == ReportContent::All || o_.content == ReportContent::Alarms) alarms();
    if (data) summary();
    ending();
    return {lines_, {}};
}

} // namespace

QStringList deviceBlock(const ReportHeader& h, bool ukrainian) {
    auto t = [ukrainian](const char* ru, const char* ua) { return QString::fromUtf8(ukrainian ? ua : ru); };
    QStringList out;
    // The serial number as five digits with its leading zeros.
    const QString serial = h.serial.trimmed().rightJustified(5, QLatin1Char('0'));
    if (h.complex) {
        out << QStringLiteral("Комплекс  ") + h.model + t("    Заводской номер ", "    Заводський номер ") +
                   serial
            << QString()
            << t("Трубопровод  ", "Трубопровід  ") +
                   (h.pipeline.isEmpty() ? QStringLiteral("________________________") : h.pipeline)
            << t("                      (имя  нитки)", "                   (ім’я нитки)") << QString();
        return out;
    }
    out << t("Корректор ", "Коректор  ") + h.model + QLatin1Char(' ') + serial +
               t("         Трубопровод ", "         Трубопровід ") + h.pipeline
        << t("                   (зав.ном.)                    (имя  нитки)",
             "                   (зав.ном.)                    (ім’я нитки)")
        << QString();
    const QString meter = t("Счетчик  газа    ", "Лічильник газу   ") + h.meterType;
    out << meter + QStringLiteral("  ") + h.meterSerial
        << QStringLiteral("(зав.ном.)").rightJustified(meter.size() + 11) << QString();
    return out;
}

ReportDays reportDays(ReportPeriod period, const QDate& begin, const QDate& end, bool ukrainian) {
    ReportDays d;
    switch (period) {
    case ReportPeriod::Day:
        d.first = d.last = begin;
        break;
    case ReportPeriod::Month:
        d.first = QDate(begin.year(), begin.month(), 1);
        d.last = d.first.addMonths(1).addDays(-1);
        break;
    case ReportPeriod::Range:
        d.first = begin;
        d.last = end;
        if (d.first.isValid() && d.last.isValid() && d.first > d.last)
            d.error = ukrainian ? QStringLiteral("ПОМИЛКА! ПОЧАТОК > КІНЦЯ")
                                : QStringLiteral("ОШИБКА!!! НАЧАЛО > КОНЦА");
        break;
    }
    if (d.error.isEmpty() && (!d.first.isValid() || !d.last.isValid()))
        d.error =
            ukrainian ? QStringLiteral("ПОМИЛКА ФОРМАТУ ДАТИ : ") : QStringLiteral("ОШИБКА ФОРМАТА ДАТЫ : ");
    return d;
}

QDate gasDayOf(const QDateTime& end, int contractHour) {
    return end.addSecs(-3600LL * contractHour - 60).date();
}

namespace {

std::optional<int> contractHourOf(const PeriodRecord& r) {
    bool ok = false;
    const int hour = r.parameterText.mid(24, 2).toInt(&ok, 16);
    if (r.parameterText.size() >= 26 && ok && hour >= 0 && hour < 24) return hour;
    if (r.end.time().minute() == 0) return r.end.time().hour();
    return std::nullopt;
}

} // namespace

int contractHourFor(const ReportSource& source, const QDate& day, int fallback) {
    // The record that closes the day before is stamped on this day.
    const QList<PeriodRecord> closing =
        source.periodRecords(Archive::Daily, QDateTime(day, QTime(0, 0)), QDateTime(day, QTime(23, 59)));
    if (!closing.isEmpty()) return contractHourOf(closing.first()).value_or(fallback);
    // That record was lost (a blanked page, a gap in polling): the corrector keeps one contract hour, so
    // the nearest daily record after it, else before it, says it better than a default hour would.
    constexpr int kSearchDays = 31;
    const QList<PeriodRecord> later = source.periodRecords(
        Archive::Daily, QDateTime(day.addDays(1), QTime(0, 0)), QDateTime(day.addDays(kSearchDays), QTime(23, 59)));
    for (const PeriodRecord& r : later)
        if (const auto hour = contractHourOf(r)) return *hour;
    const QList<PeriodRecord> earlier = source.periodRecords(
        Archive::Daily, QDateTime(day.addDays(-kSearchDays), QTime(0, 0)), QDateTime(day.addDays(-1), QTime(23, 59)));
    for (auto it = earlier.crbegin(); it != earlier.crend(); ++it)
        if (const auto hour = contractHourOf(*it)) return *hour;
    return fallback;
}

QStringList buildAlarmSection(const ReportSource& source, const ReportHeader& header,
                              const ReportOptions& options, const QDateTime& now,
                              AlarmSectionTotals* totals) {
    Builder builder(source, header, options, now);
    QStringList lines = builder.alarmsOnly();
    if (totals) *totals = builder.alarmTotals();
    return lines;
}

QString durationText(qint64 minutes) {
    return minutesText(minutes);
}

ReportLines buildCommercialReport(const ReportSource& source, const ReportHeader& header,
                                  const ReportOptions& options, const QDateTime& now) {
    return Builder(source, header, options, now).build();
}

} // namespace tarn::reports
