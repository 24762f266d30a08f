#include "reports/CommercialReport.h"

#include "common/DisplayNumber.h"
#include "common/Language.h"
#include "reports/AlarmCodes.h"
#include "reports/ReportText.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <map>
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
        : s_(source), h_(header), o_(options), now_(now), ua_(options.ukrainian),
          language_(languageOf(options.ukrainian)) {}
    // A stored point's units are those its records were stored with.
    void takeStoredUnits();
    bool setUpPeriod();

    ReportLines build();
    QStringList alarmsOnly();
    const AlarmSectionTotals& alarmTotals() const { return alarmTotals_; }

private:
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
    int language_;
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
    const QString word = uaRu(language_, kWordsUa[c], kWordsRu[c]);
    const QString made = uaRu(language_, " Складений:", " Составлен:") +
                         now_.date().toString(QStringLiteral("dd.MM.yyyy")) + QLatin1Char(' ') +
                         now_.time().toString(QStringLiteral("HH:mm:ss")) + QLatin1Char('/');
    switch (o_.period) {
    case ReportPeriod::Month:
        line(uaRu(language_, "/місячній звіт *", "/месячный отчет *") + word + QStringLiteral("* за ") +
             first_.toString(QStringLiteral("MM.yyyy")) + made);
        break;
    case ReportPeriod::Day:
        line(uaRu(language_, "/добовий звіт *", "/суточный отчет *") + word + QStringLiteral("* за ") +
             first_.toString(QStringLiteral("dd.MM.yyyy")) + uaRu(language_, " р.", " г.") + made);
        break;
    case ReportPeriod::Range:
        line(uaRu(language_, "/звіт за період *", "/отчет за период *") + word +
             uaRu(language_, "* з ", "* с ") + first_.toString(QStringLiteral("dd.MM.yyyy")) +
             QStringLiteral(" по ") + last_.toString(QStringLiteral("dd.MM.yyyy")) + made);
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
        line(uaRu(language_, "             (назва підприємства, на якому розташован комплекс)",
                  "           (название предприятия, на котором расположен комплекс)"));
    else
        line(uaRu(language_, "             (назва підприємства, на якому розташован коректор)",
                  "           (название предприятия, на котором расположен корректор)"));
    line();
    line(uaRu(language_, "Договорне навантаження Qст.у (", "Договорные обязательства Qст.у (") +
         h_.standardVolumeUnit() + uaRu(language_, "/год) ", "/час) ") + h_.contractLoad);
    line();
    line();
    const QString today = now_.date().toString(QStringLiteral("dd.MM.yyyy"));
    const QString time = now_.time().toString(QStringLiteral("HH:mm:ss"));
    switch (o_.period) {
    case ReportPeriod::Day:
        line(uaRu(language_, "                           ДОБОВИЙ  ЗВІТ",
                  "                           СУТОЧНЫЙ ОТЧЕТ"));
        line();
        line(uaRu(language_, "         ЗА ДОБУ : ", "         ЗА СУТКИ : ") +
             first_.toString(QStringLiteral("dd.MM.yyyy")) + uaRu(language_, " р.", " г.") +
             uaRu(language_, "    Складений  ", "    Составлен  ") + today + QStringLiteral("   ") + time);
        break;
    case ReportPeriod::Month:
        line(uaRu(language_, "                           МІСЯЧНИЙ  ЗВІТ",
                  "                           МЕСЯЧНЫЙ ОТЧЕТ"));
        line();
        line(uaRu(language_, "         ЗА МІСЯЦЬ : ", "         ЗА МЕСЯЦ  : ") +
             first_.toString(QStringLiteral("MM.yyyy")) +
             uaRu(language_, "    Складений  ", "    Составлен  ") + today + QStringLiteral("   ") + time);
        break;
    case ReportPeriod::Range:
        line(uaRu(language_, "                           ЗВІТ ЗА ПЕРІОД",
                  "                           ОТЧЕТ ЗА ПЕРИОД"));
        line();
        line(uaRu(language_, "         ЗА ПЕРІОД : з ", "         ЗА ПЕРИОД : с ") +
             first_.toString(QStringLiteral("dd.MM.yyyy")) + QStringLiteral(" по ") +
             last_.toString(QStringLiteral("dd.MM.yyyy")) +
             uaRu(language_, "     Складений ", "     Составлен ") + today + QStringLiteral("   ") + time);
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
    line((month ? uaRu(language_, "Об’єм за минулий місяць    | Vраб.+Vраб.авр. =",
                       "Объем за прошлый месяц     | Vраб.+Vраб.авр. =")
                : uaRu(language_, "Об’єм за минулу добу       | Vраб.+Vраб.авр. =",
                       "Объем за прошлый день      | Vраб.+Vраб.авр. =")) +
         vol(r.working) + QLatin1Char('+') + vol(r.alarmWorking) + QLatin1Char('=') +
         vol(r.working + r.alarmWorking));
    line(QStringLiteral("(м.куб.)                   | Vст.у+Vст.у.авр.=") + vol(r.standard) +
         QLatin1Char('+') + vol(r.alarmStandard) + QLatin1Char('=') + vol(r.standard + r.alarmStandard));
    line();
    const QString counter = vol(startCounter_.value_or(0));
    if (month)
        line(uaRu(language_, "Показники лічильника на початок місяца  - ",
                  "Показания счетчика на начало месяца  - ") +
             counter + QStringLiteral("(м.куб)"));
    else
        line(uaRu(language_, "Показники лічильника на початок ", "Показания счетчика на начало ") +
             first_.toString(QStringLiteral("dd.MM.yyyy")) + QStringLiteral(" - ") + counter +
             QStringLiteral("(м.куб)"));
}

void Builder::parameterBlock() {
    if (!(o_.parameters && h_.hasParameters)) {
        previousPeriod();
        line();
        return;
    }
    line(uaRu(language_, "Параметри коректора на початок звiту:", "Параметры корректора на начало отчета:"));
    auto row = [&](const QString& a, const QString& b, const QString& c) {
        line(pad(a, 27) + pad(b, 32) + c);
    };
    const QString perHour = uaRu(language_, "(м.куб/год) ", "(м.куб/час) ");
    row(uaRu(language_, "Контрактна доба    ", "Контрактные сутки  ") + h_.contractDay,
        QStringLiteral("| Tст.у.(град.С) ") + QString(6, QLatin1Char(' ')) + h_.standardTemperature,
        h_.massMode ? QStringLiteral("|").rightJustified(27)
                    : QStringLiteral("| Метод ") + h_.method.rightJustified(14));
    row(uaRu(language_, "Контрактна година  ", "Контрактное время  ") + h_.contractTime,
        QStringLiteral("| Рст.у.(") + h_.pressureUnit + QStringLiteral(")  ") + h_.standardPressure,
        h_.barometric ? QStringLiteral("| Pбар") + h_.pmin : QStringLiteral("| Pmin") + h_.pmin);
    row(h_.fixedFactor ? uaRu(language_, "Кстиск.            ", "Ксжим.             ") + h_.compressibility
                       : uaRu(language_, "Густина(кг/м.куб)  ", "Плотность(кг/м.куб)") + h_.density,
        QStringLiteral("| Qmin р.у.") + perHour + h_.qmin,
        h_.barometric ? QStringLiteral("| Pизб") + h_.pmax : QStringLiteral("| Pmax") + h_.pmax);
    row(h_.massMode ? QString(27, QLatin1Char(' '))
                    : uaRu(language_, "Вміст N2 (%)       ", "Содерж. N2 (%)     ") + h_.n2,
        QStringLiteral("| Qmax р.у.") + perHour + h_.qmax, QStringLiteral("| Tmin (град.С) ") + h_.tmin);
    row(h_.massMode ? QString() : uaRu(language_, "Вміст CO2 (%)      ", "Содерж. CO2 (%)    ") + h_.co2,
        h_.complex
            ? QStringLiteral("| ДУ                   ") + h_.nominalDiameter
            : uaRu(language_, "| К-т імп/м.куб        ", "| К-во имп/м.куб       ") + h_.pulsesPerCubicMetre,
        QStringLiteral("| Tmax (град.С) ") + h_.tmax);
    line(QString(27, QLatin1Char(' ')) + QStringLiteral("| Qtrs р.у.") + pad(h_.qtrs, 9));
    line(QString(27, QLatin1Char(' ')) + QStringLiteral("| Qtrn р.у.") + pad(h_.qtrn, 9));
    line();
    previousPeriod();
    line();
    line(uaRu(language_, "Поточнi параметри коректора:", "Текущие параметры корректора:"));
    line(uaRu(language_, "Стан  датчиків               ", "Состояние датчиков           ") + h_.sensorState);
    line(pad(QStringLiteral("Tconst (град.С)"), 29) + h_.temperatureSubstitute);
    line(pad(uaRu(language_, "Vconst р.у.(м.куб/доб)", "Vconst р.у.(м.куб/сут)"), 29) + h_.flowSubstitute);
    line(QStringLiteral("Qmin, при Q<Qmin ?           ") + (h_.qminSubstitution
                                                                ? uaRu(language_, "УВІМКНЕНО", "ВКЛЮЧЕНО")
                                                                : uaRu(language_, "ВИМКНЕНО", "ВЫКЛЮЧЕНО")));
    line();
}

void Builder::noRecords() {
    line(uaRu(
        language_,
        "|                                            Записів не було                                     "
        "      |",
        "|                                          Записей не было                                       "
        "      |"));
    line(dashes(104));
}

bool Builder::dataTable() {
    return o_.period == ReportPeriod::Day ? dayTable() : daysTable();
}

bool Builder::dayTable() {
    line(uaRu(language_, "                             Погодинні  дані",
              "                             Почасовые данные"));
    line();
    line(dashes(100));
    line(uaRu(
        language_,
        "| Дата     |Поча- |Об’єм газу раб.      |Об’єм газу авр.      |    Середнє значення            | "
        "| |",
        "| Дата     |Нача- |Объем газа раб.      |Объем газа авр.      |     Среднее значение           | "
        "| |"));
    line(
        QStringLiteral("|          |      "
                       "|---------------------|---------------------|--------------------------------| | |"));
    line(
        uaRu(language_,
             "|          |ток   |при       |при       |при       |при       |тиску     |тем-ри    |к-та      "
             "|И|В|",
             "|          |ло    |при       |при       |при       |при       |давления  |тем-ри    |к-та      "
             "|И|В|"));
    line(QStringLiteral("|          |      |р.у.      |ст.у.     |р.у.      |ст.у.     |(абс)     |град.С    "
                        "|привед.   | | |"));
    line(QStringLiteral("|          |      |м.куб     |") + pad(h_.standardVolumeUnit(), 10) +
         QStringLiteral("|м.куб     |") + pad(h_.standardVolumeUnit(), 10) + QLatin1Char('|') +
         pad(h_.pressureUnit, 10) + QStringLiteral("|          |          | | |"));
    line(dashes(99));
    const QList<PeriodRecord> hours = records(Archive::Hourly, first_, first_);
    if (hours.size() > kMaxHoursInGasDay) {
        error_ = uaRu(language_, "Перевищено кількість рядків за добу в часовому архіві",
                      "Превышено кол-во строк за сутки в часовом архиве !!!!");
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
    QString row = uaRu(language_, "| Того за добу :  ", "|Итого за сутки:  ");
    for (const QString& c : cells)
        row += QLatin1Char('|') + pad(c, 10);
    row += flags(totals_.intervention, totals_.abnormal);
    line(row);
    line(ruleUnder(row));
    return true;
}

bool Builder::daysTable() {
    line(uaRu(language_, "                           Добові  дані",
              "                        Суточные данные"));
    line();
    line(dashes(102));
    const bool heat = o_.heat && h_.heatSupported && !o_.hourlyCalculation;
    const QString second1 =
        heat ? uaRu(language_, "Теплова     ", "Тепловая    ") : QStringLiteral("Vст.у+     ");
    const QString second2 =
        heat ? uaRu(language_, "енергiя     ", "энергия     ") : QStringLiteral("Vст.у.авр. ");
    const QString second3 =
        heat ? QString(12, QLatin1Char(' ')) : uaRu(language_, "нарастаючим", "нарастающим");
    const QString second4 = heat ? pad(h_.heatUnit, 12) : uaRu(language_, "підсумком  ", "итогом     ");
    line(uaRu(language_, "| Дата     |Об’єм газу раб.      |Об’єм газу авр.      |",
              "| Дата     |Объем газа раб.      |Объем газа авр.      |") +
         QStringLiteral("Vст.у+     ") + QLatin1Char('|') + second1 +
         uaRu(language_, "|Середнє значення |И|В|", "|Среднее значение |И|В|"));
    line(QStringLiteral("|          |-------------------------------------------|") +
         QStringLiteral("Vст.у.авр. ") + QLatin1Char('|') + second2 +
         QStringLiteral("|-----------------| | |"));
    line(QStringLiteral("|          |при р.у.  |при ст.у. |при р.у.  |при ст.у. |") +
         uaRu(language_, "за добу    ", "за день    ") + QLatin1Char('|') + second3 +
         uaRu(language_, "|тиск. абс|тем-ри | | |", "|давл. абс|тем-ри | | |"));
    line(QStringLiteral("|          |м.куб     |") + pad(h_.standardVolumeUnit(), 10) +
         QStringLiteral("| м.куб    |") + pad(h_.standardVolumeUnit(), 10) + QLatin1Char('|') +
         QString(11, QLatin1Char(' ')) + QLatin1Char('|') + second4 + QLatin1Char('|') +
         pad(h_.pressureUnit, 9) + QStringLiteral("|град.С | | |"));
    line(QLatin1Char('|') + dashes(100) + QLatin1Char('|'));

    // One row a gas day: the corrector's daily record, or with hourly calculation what its hours add up to.
    QList<std::pair<QDate, PeriodRecord>> days;
    if (o_.hourlyCalculation) {
        // The hours summed by gas day as the source hands them over, never all held at once: ten years
        // are 87,600 hours. Within a day they are summed in their stored order; the days come out in
        // order whatever order the hours came in (the stored order is nearly always the days' order
        // already, so the map is rarely more than one lookup a day).
        struct DayHours {
            Sums sums;
            QDateTime lastEnd; // the day's last hour in stored order
            int hours = 0;
        };
        const GasDays gasDays(ch_, first_, last_);
        std::map<QDate, DayHours> byDay;
        auto current = byDay.end();
        s_.forEachPeriodRecord(Archive::Hourly, dayStart(first_).addSecs(60), dayStart(last_.addDays(1)),
                               [&](const PeriodRecord& hour) {
                                   const QDate gasDay = gasDays.of(hour.end);
                                   if (current == byDay.end() || current->first != gasDay)
                                       current = byDay.try_emplace(gasDay).first;
                                   current->second.sums.add(hour, h_.pressureUnit);
                                   current->second.lastEnd = hour.end;
                                   ++current->second.hours;
                                   return true;
                               });
        days.reserve(static_cast<qsizetype>(byDay.size()));
        for (const auto& [gasDay, hours] : byDay) {
            if (hours.hours > kMaxHoursInGasDay) {
                error_ = uaRu(language_, "Перевищено кількість рядків за добу в часовому архіві",
                              "Превышено кол-во строк за сутки в часовом архиве !!!!");
                return false;
            }
            const Sums& sums = hours.sums;
            PeriodRecord day;
            day.end = hours.lastEnd;
            day.working = sums.working;
            day.standard = sums.standard;
            day.alarmWorking = sums.alarmWorking;
            day.alarmStandard = sums.alarmStandard;
            if (sums.pressures) day.pressure = sums.pressure / sums.pressures;
            day.pressureUnit = h_.pressureUnit;
            if (sums.temperatures) day.temperature = sums.temperature / sums.temperatures;
            day.status = QStringLiteral("x") + (sums.intervention ? QChar(0x0418) : QLatin1Char('x')) +
                         (sums.abnormal ? QChar(0x0412) : QLatin1Char('x'));
            days.append({gasDay, day});
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
    QString row = pad(uaRu(language_, "| Того :", "| Итого :"), 11);
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
    line(uaRu(language_, "                          Повідомлення про втручання операторів",
              "                          Сообщения о вмешательстве операторов"));
    line();
    line(dashes(94));
    line(uaRu(
        language_,
        "| Дата     |Час  |   Хто    |     Назва параметру,що        |            Значення             |",
        "| Дата     |Время|   Кто    |     Название измененного      |            Значение             |"));
    line(QStringLiteral(
        "|          |     |          |                               |---------------------------------|"));
    line(uaRu(
        language_,
        "|          |     |          |     піддався зміні            |  попереднє     |      нове      |",
        "|          |     |          |     параметра                 |  предыдущее    |      новое     |"));
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
        line(uaRu(
            language_,
            "|                                      Записів не було                                        "
            "|",
            "|                                      Записей не было                                        "
            "|"));
        line(QStringLiteral("|-------------------------------------------------------------------------------"
                            "--------------|"));
    }
}

void Builder::alarms() {
    line();
    line(uaRu(language_, "         Діагностичні повідомлення про аварійні ситуації",
              "                          Диагностические сообщения о аварийных ситуациях"));
    line();
    line(dashes(104));
    line(uaRu(language_,
              "| Дата     |Час  |                     Аварійні ситуаціі           |Об’єм газу |Об’єм газу "
              "|Тривалість |",
              "| Дата     |Время|                     Аварийные ситуации          |Объем газа |Объем газа "
              "|Продолжит. |"));
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
                        put(pad(uaRu(language_, "| ПРОДОВЖ: ", "| ПРОДОЛЖ: ") + alarmName(n, ua_, h_.complex),
                                50) +
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
                const QString text = (now ? uaRu(language_, "ПОЧАТОК: ", "НАЧАЛО : ")
                                          : uaRu(language_, "КІНЕЦЬ : ", "КОНЕЦ  : ")) +
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
                uaRu(language_, "| Того за добу :                                  ",
                     "| Итого за сутки :                                ") +
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
                              ? uaRu(language_, "| Того за місяц:                                  ",
                                     "| Итого за месяц :                                ")
                              : uaRu(language_, "| Того за період :                                ",
                                     "| Итого за период :                               ");
    put(QLatin1Char('|') + pad(QStringLiteral("    -- "), 10) + QLatin1Char('|') +
        pad(QStringLiteral(" --"), 5) + label +
        cells(totalWorking, totalStandard, minutesText(totalMinutes)));
    for (int n = 1; n <= kAlarmSituations; ++n)
        if (n != kDayClosingSituation && occurred[n])
            put(uaRu(language_, "|Сум. тривалiсть |", "|Сум. время      |") +
                pad(alarmName(n, ua_, h_.complex), 49) + QLatin1Char('|') +
                pad(QStringLiteral("    -- "), 11) + QLatin1Char('|') + pad(QStringLiteral(" --"), 11) +
                QLatin1Char('|') + pad(minutesText(situationMinutes[n]), 11) + QLatin1Char('|'));
}

void Builder::summary() {
    line();
    const double periodWorking = totals_.working + totals_.alarmWorking;
    double endReading = 0;
    if (o_.computeTotals || o_.hourlyCalculation || !endCounter_)
        endReading = startCounter_.value_or(0) + periodWorking;
    else
        endReading = *endCounter_;
    line(uaRu(language_, "Показники лiчильника на кiнець - ", "Показания счетчика на конец - ") +
         vol(endReading) + QStringLiteral("(м.куб.)"));
    const QString prefix =
        o_.period == ReportPeriod::Day ? uaRu(language_, "Того за добу    - ", "Итого за день    - ")
        : o_.period == ReportPeriod::Month ? uaRu(language_, "Того за місяц   - ", "Итого за месяц   - ")
                                           : uaRu(language_, "Того за період  - ", "Итого за период  - ");
    const bool shortLabels = ua_ && o_.heat && h_.heatSupported;
    line(prefix +
         (shortLabels ? QStringLiteral("Vсум.роб. (м.куб.) = ")
                      : uaRu(language_, "Vсум.роб. (м.куб.) = Vроб.+Vроб.авр.  =",
                             "Vсум.раб. (м.куб.) = Vраб.+Vраб.авр.  =")) +
         vol(totals_.working) + QLatin1Char('+') + vol(totals_.alarmWorking) + QLatin1Char('=') +
         vol(periodWorking));
    line(prefix + QStringLiteral("Vсум.ст.у.(") +
         (shortLabels ? h_.standardVolumeUnit() : pad(h_.standardVolumeUnit(), 6)) +
         (shortLabels ? QStringLiteral(") = ") : QStringLiteral(") = Vст.у+Vст.у.авр. =")) +
         vol(totals_.standard) + QLatin1Char('+') + vol(totals_.alarmStandard) + QLatin1Char('=') +
         vol(totals_.standard + totals_.alarmStandard));
    if (o_.heat && o_.period != ReportPeriod::Day && !o_.hourlyCalculation)
        line(uaRu(language_, "Того еквiваллент теплов. енергії (", "Итого эквивалент тепловой энергии (") +
             h_.heatUnit + QStringLiteral(") E=") + displayNumber(periodHeat_.value_or(0), 3));
}

void Builder::codeList() {
    line();
    line(QStringLiteral("////"));
    line(uaRu(language_,
              "                Коди  аварійних ситуацій:", "                 Коды  аварийных ситуаций:"));
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
    line(uaRu(language_, "Представник постачальника ______________________________",
              "Представитель поставщика  ______________________________"));
    line();
    line(uaRu(language_, "Представник споживача __________________________________",
              "Представитель потребителя ______________________________"));
    line();
    switch (o_.period) {
    case ReportPeriod::Day:
        line(uaRu(language_, "           Кінець добового звіту за  ",
                  "           Конец суточного отчета за ") +
             first_.toString(QStringLiteral("dd.MM.yyyy")) + uaRu(language_, "р.", "г."));
        break;
    case ReportPeriod::Month:
        line(uaRu(language_, "           Кінець місячного звіту за  ",
                  "           Конец месячного отчета за  ") +
             first_.toString(QStringLiteral("MM.yyyy")) + uaRu(language_, "р.", "г."));
        break;
    case ReportPeriod::Range:
        line(uaRu(language_, "     Кінець звіту за період з ", "     Конец отчета за период c ") +
             first_.toString(QStringLiteral("dd.MM.yyyy")) + uaRu(language_, "р.", "г.") +
             QStringLiteral(" по ") + last_.toString(QStringLiteral("dd.MM.yyyy")) +
             uaRu(language_, "р.", "г."));
        break;
    }
    line();
    line(QStringLiteral("    ______________________________________________________________________"));
    line(uaRu(language_, "      Прімитки - У звіти: р.у.-робочі умови,ст.у.-стандартні умови.",
              "      Примечание - В отчете: р.у.- рабочие условия,ст.у.-стандартные условия"));
    line(uaRu(language_, "                          В - авар. ситуац., И - втруч. опер.",
              "                             В - авар. ситуац. , И - вмешат. опер."));
}

void Builder::takeStoredUnits() {
    // The newest daily record of the report's span (or an hour of its first day) tells the units. Its
    // last month is read first: a period of years would otherwise read every daily record for one.
    // Stamps are kept to the second, so the two parts meet without a gap.
    constexpr int kTailDays = 31;
    const QDateTime spanStart = dayStart(first_).addSecs(60), spanEnd = dayStart(last_.addDays(1));
    const QDateTime tailStart = std::max(spanStart, dayStart(last_.addDays(-kTailDays)).addSecs(60));
    QList<PeriodRecord> near = s_.periodRecords(Archive::Daily, tailStart, spanEnd);
    if (near.isEmpty() && tailStart > spanStart)
        near = s_.periodRecords(Archive::Daily, spanStart, tailStart.addSecs(-1));
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
            return {{}, uaRu(language_, "В АРХІВІ НЕМАЄ ІНФОРМАЦІЇ", "В АРХИВЕ НЕТ ИНФОРМАЦИИ")};
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
    const int language = languageOf(ukrainian);
    QStringList out;
    // The serial number as five digits with its leading zeros.
    const QString serial = h.serial.trimmed().rightJustified(5, QLatin1Char('0'));
    if (h.complex) {
        out << QStringLiteral("Комплекс  ") + h.model +
                   uaRu(language, "    Заводський номер ", "    Заводской номер ") + serial
            << QString()
            << uaRu(language, "Трубопровід  ", "Трубопровод  ") +
                   (h.pipeline.isEmpty() ? QStringLiteral("________________________") : h.pipeline)
            << uaRu(language, "                   (ім’я нитки)", "                      (имя  нитки)")
            << QString();
        return out;
    }
    out << uaRu(language, "Коректор  ", "Корректор ") + h.model + QLatin1Char(' ') + serial +
               uaRu(language, "         Трубопровід ", "         Трубопровод ") + h.pipeline
        << uaRu(language, "                   (зав.ном.)                    (ім’я нитки)",
                "                   (зав.ном.)                    (имя  нитки)")
        << QString();
    const QString meter = uaRu(language, "Лічильник газу   ", "Счетчик  газа    ") + h.meterType;
    out << meter + QStringLiteral("  ") + h.meterSerial
        << QStringLiteral("(зав.ном.)").rightJustified(meter.size() + 11) << QString();
    return out;
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
