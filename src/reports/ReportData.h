#pragma once
// What a report reads: the records of one metering point over a span of time, from the database or
// from the tables just read from the corrector (one interface, two sources), and the facts about the
// corrector that its head and parameter block print.
#include "corrector/Archives.h"
#include "database/Schema.h"
#include "database/Storage.h"

#include <QDateTime>
#include <QList>
#include <functional>
#include <memory>
#include <optional>

namespace tarn::reports {

// An hourly, daily or monthly record. Its time stamp is the end of its hour, gas day or month.
struct PeriodRecord {
    int number = 0;
    QDateTime end;
    double working = 0;
    double standard = 0;
    double alarmWorking = 0;
    double alarmStandard = 0;
    std::optional<double> pressure; // in pressureUnit
    std::optional<double> temperature;
    std::optional<double> compressibility;
    std::optional<double> correction;
    QString pressureUnit;
    QString volumeUnit; // of the standard volume: "м.куб", or "кг" for mass counting; empty: not kept
    QString status;     // the record's status text: 2nd character "И", 3rd "В"
    std::optional<double> counter; // daily and monthly: the meter counter at the end, m³
    QString parameterText;         // daily and monthly: the 32 hexadecimal digits
    std::optional<double> heat;    // the period's heat energy, in heatUnit
    QString heatUnit;

    bool intervention() const { return status.size() > 1 && status.at(1) == QChar(0x0418); } // И
    bool abnormal() const { return status.size() > 2 && status.at(2) == QChar(0x0412); }     // В
};

// What the records of a table add up to: the volumes summed, the measured values summed for their
// averages (pressure in the unit the report shows), the flags joined.
struct RecordSums {
    double working = 0, standard = 0, alarmWorking = 0, alarmStandard = 0;
    double pressure = 0, temperature = 0, compressibility = 0, correction = 0;
    int pressures = 0, temperatures = 0, compressibilities = 0, corrections = 0;
    bool intervention = false, abnormal = false;
    void add(const PeriodRecord& r, const QString& shownPressureUnit);
};

// An abnormal-situation record: the situation word now and before it.
struct AlarmRecord {
    int number = 0;
    QDateTime when;
    quint16 current = 0;
    quint16 previous = 0;
    double alarmWorking = 0;
    double alarmStandard = 0;
};

struct InterventionRecord {
    QDateTime when;
    QString who;
    QString parameter;
    QString before;
    QString after;
};

struct OperativeRecord {
    int number = 0;
    QDateTime when;
    std::optional<double> pressure;
    std::optional<double> temperature;
    std::optional<double> correction;
    std::optional<double> flow;
    std::optional<double> counter;
    QString pressureUnit;
};

struct ServiceRecord {
    int number = 0;
    QDateTime when;
    QString current;
    QString previous;
};

// An instantaneous measurement, as stored beside a reading.
struct MeasurementRecord {
    QDateTime when;
    std::optional<double> pressure;
    std::optional<double> temperature;
    std::optional<double> correction;
    std::optional<double> compressibility;
    std::optional<double> flow;
    std::optional<double> standardFlow;
    std::optional<double> battery;
    QString state;
    QString pressureUnit;
};

// The records of one point, each kind in time order, whose time stamp lies in [from, to].
class ReportSource {
public:
    virtual ~ReportSource() = default;
    virtual bool fromDatabase() const = 0;
    // Whether the archive was read since the program started (a database has them all).
    virtual bool wasRead(corrector::Archive archive) const = 0;
    virtual QList<PeriodRecord> periodRecords(corrector::Archive archive, const QDateTime& from,
                                              const QDateTime& to) const = 0;
    // The same records as periodRecords, in the same order, handed to visit one at a time: a source that
    // reads them from a query never holds ten years of hours at once. visit returns false to stop.
    virtual void forEachPeriodRecord(corrector::Archive archive, const QDateTime& from, const QDateTime& to,
                                     const std::function<bool(const PeriodRecord&)>& visit) const;
    virtual QList<AlarmRecord> alarms(const QDateTime& from, const QDateTime& to) const = 0;
    virtual QList<InterventionRecord> interventions(const QDateTime& from, const QDateTime& to) const = 0;
    // The listings' kinds: only a database keeps them for a period.
    virtual QList<OperativeRecord> operative(const QDateTime&, const QDateTime&) const { return {}; }
    virtual QList<ServiceRecord> service(const QDateTime&, const QDateTime&) const { return {}; }
    virtual QList<MeasurementRecord> measurements(const QDateTime&, const QDateTime&) const { return {}; }
    // The time of the newest operator intervention the source keeps; only a database answers it.
    virtual std::optional<QDateTime> newestInterventionTime() const { return std::nullopt; }
};

// The tables just read from the corrector, as the corrector window holds them. Values are the cells'
// texts; pressure is in the unit the window shows.
class ArchiveTableSource final : public ReportSource {
public:
    ArchiveTableSource(const corrector::ArchiveTables& tables, QList<corrector::Archive> read,
                       QString pressureUnit, QString heatUnit);
    bool fromDatabase() const override { return false; }
    bool wasRead(corrector::Archive archive) const override { return read_.contains(archive); }
    QList<PeriodRecord> periodRecords(corrector::Archive archive, const QDateTime& from,
                                      const QDateTime& to) const override;
    QList<AlarmRecord> alarms(const QDateTime& from, const QDateTime& to) const override;
    QList<InterventionRecord> interventions(const QDateTime& from, const QDateTime& to) const override;

private:
    const corrector::ArchiveTables& tables_;
    QList<corrector::Archive> read_;
    QString pressureUnit_;
    QString heatUnit_;
};

// The point's stored tables, read through the run's storage, which must outlive the source. Each
// question opens the tables it reads on the thread that asks, so a source may be asked from a worker.
class DatabaseSource final : public ReportSource {
public:
    DatabaseSource(database::Storage& storage, QString identifier);
    bool fromDatabase() const override { return true; }
    bool wasRead(corrector::Archive) const override { return true; }
    QList<PeriodRecord> periodRecords(corrector::Archive archive, const QDateTime& from,
                                      const QDateTime& to) const override;
    // Straight from the table's query, reading only the fields a record takes.
    void forEachPeriodRecord(corrector::Archive archive, const QDateTime& from, const QDateTime& to,
                             const std::function<bool(const PeriodRecord&)>& visit) const override;
    QList<AlarmRecord> alarms(const QDateTime& from, const QDateTime& to) const override;
    QList<InterventionRecord> interventions(const QDateTime& from, const QDateTime& to) const override;
    QList<OperativeRecord> operative(const QDateTime& from, const QDateTime& to) const override;
    QList<ServiceRecord> service(const QDateTime& from, const QDateTime& to) const override;
    QList<MeasurementRecord> measurements(const QDateTime& from, const QDateTime& to) const override;
    std::optional<QDateTime> newestInterventionTime() const override;

private:
    database::Storage* storage_;
    QString identifier_;
};

// A number as a cell holds it; nothing for "*****", "--", empty or text that is not a number.
std::optional<double> cellNumber(const QString& cell);

} // namespace tarn::reports
