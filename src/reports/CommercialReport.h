#pragma once
// The commercial report of one metering point for a gas day, a month or a period: head, device and
// parameter block, the hourly or daily table, operator interventions, abnormal situations, the summary
// and the signature lines, in Ukrainian or Russian. Utilities sign and bill from it: every line and
// width is fixed.
#include "reports/ReportData.h"

#include <QStringList>
#include <vector>

namespace tarn::reports {

enum class ReportPeriod { Month = 1, Range = 2, Day = 3 };
enum class ReportContent { All, Data, Interventions, Alarms };

struct ReportOptions {
    ReportPeriod period = ReportPeriod::Month;
    ReportContent content = ReportContent::All;
    QDate begin;
    QDate end;                      // a period's last gas day
    bool parameters = true;         // "Параметры"
    bool codes = false;             // "Коды НШС"
    bool shortAlarms = false;       // "Кратк.НШС": only the daily lines of the abnormal situations
    bool heat = false;              // "Тепл.энерг"
    bool computeTotals = false;     // "расч.Vобщ.стд.Vсч."
    bool hourlyCalculation = false; // "РАСЧЕТ ПО ЧАСОВОМУ АРХИВУ"
    bool ukrainian = false;
    bool closedDaysOnly = false; // the abnormal situations stop at the last record that closes a gas day
};

// What the report says about the corrector, as the corrector window (or the point's parameter file)
// shows it. Texts are printed as they are.
struct ReportHeader {
    QString organisation;
    QString pipeline;
    QString model;
    QString serial;
    bool complex = false; // a corrector built together with its flow sensor
    QString meterType;
    QString meterSerial;
    QString contractLoad;
    int contractHour = 9; // used when the stored daily records do not tell it
    QString contractDay;
    QString contractTime;
    QString pressureUnit = QStringLiteral("кгс/см2");
    bool massMode = false; // the standard volume is counted in kg
    bool heatSupported = false;
    QString heatUnit = QStringLiteral("Гкал");
    int volumeDecimals = 2;

    // The parameter block: only when the parameters are known.
    bool hasParameters = false;
    QString standardTemperature;
    QString standardPressure;
    QString method;
    bool fixedFactor = false; // a fixed compressibility factor instead of the density
    QString compressibility;
    QString density;
    QString qmin;
    QString qmax;
    bool barometric = false; // a barometric-pressure input: Pбар and Pизб instead of Pmin and Pmax
    QString pmin;
    QString pmax;
    QString n2;
    QString co2;
    QString tmin;
    QString tmax;
    QString pulsesPerCubicMetre;
    QString nominalDiameter;
    QString qtrs;
    QString qtrn;
    QString sensorState;
    QString temperatureSubstitute;
    QString flowSubstitute;
    bool qminSubstitution = false;

    QString standardVolumeUnit() const { return massMode ? QStringLiteral("кг") : QStringLiteral("м.куб"); }
};

struct ReportLines {
    QStringList lines; // the work file's lines, the title line first
    QString error;     // the message that stopped the build; no lines then
};

ReportLines buildCommercialReport(const ReportSource& source, const ReportHeader& header,
                                  const ReportOptions& options, const QDateTime& now);

// The device block of the report head: the corrector (or complex) line with its caption line, and for a
// corrector the meter line with its caption, each part closed by an empty line.
QStringList deviceBlock(const ReportHeader& header, bool ukrainian);

// What the abnormal-situation table added up: the records listed, the abnormal-situation volumes of the
// gas days closed in it and how long situations lasted.
struct AlarmSectionTotals {
    int records = 0;
    double working = 0;
    double standard = 0;
    qint64 minutes = 0;
};

// The abnormal-situation table alone, as the report prints it (the listings of the alarm archive).
QStringList buildAlarmSection(const ReportSource& source, const ReportHeader& header,
                              const ReportOptions& options, const QDateTime& now,
                              AlarmSectionTotals* totals = nullptr);
// A duration in minutes as the tables show it, "H:MM".
QString durationText(qint64 minutes);

// The first and last gas day of a report's period: a day, the calendar month of the begin date, or begin
// to end. error holds the message when the dates do not make a period.
struct ReportDays {
    QDate first;
    QDate last;
    QString error;
};
ReportDays reportDays(ReportPeriod period, const QDate& begin, const QDate& end, bool ukrainian);

// The gas day a record belongs to: the one its time stamp (the end of its hour or day) closes.
QDate gasDayOf(const QDateTime& end, int contractHour);

// gasDayOf for the many records of a span of days [first, last + 1], without a time-zone conversion for
// each: on a day that the local clock's offset from UTC stays the same around, the gas day is plain
// wall-clock arithmetic; near a change of the offset (and outside the span) it is gasDayOf itself.
class GasDays {
public:
    GasDays(int contractHour, const QDate& first, const QDate& last);
    QDate of(const QDateTime& end) const;

private:
    int contractHour_;
    QDate first_;
    // For each date from first_ on: the local offset stays the same from noon two days before to noon
    // a day after.
    std::vector<bool> steady_;
};
// The contract hour of a gas day: from the daily record that closes the day before (its parameter text,
// characters 25 and 26, hexadecimal), else that record's own hour, else the corrector's.
int contractHourFor(const ReportSource& source, const QDate& day, int fallback);

} // namespace tarn::reports
