#include "reports/ReportData.h"

#include "database/StoredRecords.h"
#include "reports/ReportText.h"

namespace tarn::reports {

using corrector::Archive;

namespace {

QDateTime cellTime(const QString& date, const QString& time) {
    return QDateTime(QDate::fromString(date.trimmed(), QStringLiteral("dd.MM.yyyy")),
                     QTime::fromString(time.trimmed(), QStringLiteral("HH:mm")));
}

// A stored time stamp ("yyyy-MM-ddTHH:mm:ss"), read digit by digit: a year of hours is read for a report.
QDateTime storedStamp(const QVariant& value) {
    const QString text = value.toString();
    if (text.size() != 19) return QDateTime::fromString(text, Qt::ISODate);
    auto digits = [&text](int at, int n) {
        int v = 0;
        for (int i = 0; i < n; ++i) {
            const char16_t c = text.at(at + i).unicode();
            if (c < u'0' || c > u'9') return -1;
            v = v * 10 + (c - u'0');
        }
        return v;
    };
    const QDate d(digits(0, 4), digits(5, 2), digits(8, 2));
    const QTime t(digits(11, 2), digits(14, 2), digits(17, 2));
    if (!d.isValid() || !t.isValid()) return QDateTime::fromString(text, Qt::ISODate);
    return QDateTime(d, t);
}

// A stored value as a number; nothing for a missing field, a null or text that is not a number.
std::optional<double> numberAt(const QVariantList& row, int column) {
    if (column < 0 || column >= row.size()) return std::nullopt;
    const QVariant& v = row.at(column);
    if (v.isNull()) return std::nullopt;
    bool ok = false;
    const double d = v.toDouble(&ok);
    if (!ok) return std::nullopt;
    return d;
}

double orZero(const std::optional<double>& v) {
    return v.value_or(0.0);
}

// Heat energy is kept in one unit and shown in the other when the corrector says so.
database::TableKind heatTable(Archive archive) {
    return archive == Archive::Daily ? database::TableKind::HeatDay : database::TableKind::HeatMonth;
}

} // namespace

void RecordSums::add(const PeriodRecord& r, const QString& shownPressureUnit) {
    working += r.working;
    standard += r.standard;
    alarmWorking += r.alarmWorking;
    alarmStandard += r.alarmStandard;
    auto count = [](const std::optional<double>& v, double& sum, int& n) {
        if (!v) return;
        sum += *v;
        ++n;
    };
    if (r.pressure) count(shownPressure(*r.pressure, r.pressureUnit, shownPressureUnit), pressure, pressures);
    count(r.temperature, temperature, temperatures);
    count(r.compressibility, compressibility, compressibilities);
    count(r.correction, correction, corrections);
    intervention = intervention || r.intervention();
    abnormal = abnormal || r.abnormal();
}

std::optional<double> cellNumber(const QString& cell) {
    bool ok = false;
    const double v = cell.trimmed().toDouble(&ok);
    if (!ok) return std::nullopt;
    return v;
}

void ReportSource::forEachPeriodRecord(Archive archive, const QDateTime& from, const QDateTime& to,
                                       const std::function<bool(const PeriodRecord&)>& visit) const {
    for (const PeriodRecord& r : periodRecords(archive, from, to))
        if (!visit(r)) return;
}

ArchiveTableSource::ArchiveTableSource(const corrector::ArchiveTables& tables, QList<Archive> read,
                                       QString pressureUnit, QString heatUnit)
    : tables_(tables), read_(std::move(read)), pressureUnit_(std::move(pressureUnit)),
      heatUnit_(std::move(heatUnit)) {}

QList<PeriodRecord> ArchiveTableSource::periodRecords(Archive archive, const QDateTime& from,
                                                      const QDateTime& to) const {
    QList<PeriodRecord> out;
    const int a = static_cast<int>(archive);
    const bool longRecord = archive != Archive::Hourly;
    for (int row = 0; row < tables_.rowCount(archive); ++row) {
        const QDateTime end = cellTime(tables_.cell(a, 1, row), tables_.cell(a, 2, row));
        if (!end.isValid() || end < from || end > to) continue;
        PeriodRecord r;
        r.number = tables_.cell(a, 0, row).toInt();
        r.end = end;
        r.working = orZero(cellNumber(tables_.cell(a, 3, row)));
        r.standard = orZero(cellNumber(tables_.cell(a, 4, row)));
        r.alarmWorking = orZero(cellNumber(tables_.cell(a, 5, row)));
        r.alarmStandard = orZero(cellNumber(tables_.cell(a, 6, row)));
        r.pressure = cellNumber(tables_.cell(a, 7, row));
        r.temperature = cellNumber(tables_.cell(a, 8, row));
        r.compressibility = cellNumber(tables_.cell(a, 9, row));
        r.correction = cellNumber(tables_.cell(a, 10, row));
        r.pressureUnit = pressureUnit_;
        if (longRecord) {
            r.counter = cellNumber(tables_.cell(a, 11, row));
            r.status = tables_.cell(a, 12, row);
            r.parameterText = tables_.cell(a, 13, row).trimmed();
            r.heat = cellNumber(tables_.cell(a, 14, row));
            r.heatUnit = heatUnit_;
        } else {
            r.status = tables_.cell(a, 11, row);
        }
        out.append(r);
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const PeriodRecord& x, const PeriodRecord& y) { return x.end < y.end; });
    return out;
}

QList<AlarmRecord> ArchiveTableSource::alarms(const QDateTime& from, const QDateTime& to) const {
    QList<AlarmRecord> out;
    constexpr int a = static_cast<int>(Archive::Abnormal);
    for (int row = 0; row < tables_.rowCount(Archive::Abnormal); ++row) {
        const QDateTime when = cellTime(tables_.cell(a, 1, row), tables_.cell(a, 2, row));
        if (!when.isValid() || when < from || when > to) continue;
        AlarmRecord r;
        r.number = tables_.cell(a, 0, row).toInt();
        r.when = when;
        r.current = static_cast<quint16>(tables_.cell(a, 3, row).trimmed().toUInt(nullptr, 16));
        r.previous = static_cast<quint16>(tables_.cell(a, 4, row).trimmed().toUInt(nullptr, 16));
        r.alarmWorking = orZero(cellNumber(tables_.cell(a, 5, row)));
        r.alarmStandard = orZero(cellNumber(tables_.cell(a, 6, row)));
        out.append(r);
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const AlarmRecord& x, const AlarmRecord& y) { return x.when < y.when; });
    return out;
}

QList<InterventionRecord> ArchiveTableSource::interventions(const QDateTime& from,
                                                            const QDateTime& to) const {
    QList<InterventionRecord> out;
    constexpr int a = static_cast<int>(Archive::Interference);
    for (int row = 0; row < tables_.rowCount(Archive::Interference); ++row) {
        const QDateTime when = cellTime(tables_.cell(a, 1, row), tables_.cell(a, 2, row));
        if (!when.isValid() || when < from || when > to) continue;
        out.append({when, tables_.cell(a, 3, row).trimmed(), tables_.cell(a, 4, row).trimmed(),
                    tables_.cell(a, 5, row).trimmed(), tables_.cell(a, 6, row).trimmed()});
    }
    std::stable_sort(out.begin(), out.end(), [](const InterventionRecord& x, const InterventionRecord& y) {
        return x.when < y.when;
    });
    return out;
}

DatabaseSource::DatabaseSource(database::Storage& storage, QString identifier)
    : storage_(&storage), identifier_(std::move(identifier)) {}

QList<PeriodRecord> DatabaseSource::periodRecords(Archive archive, const QDateTime& from,
                                                  const QDateTime& to) const {
    QList<PeriodRecord> out;
    forEachPeriodRecord(archive, from, to, [&out](const PeriodRecord& r) {
        out.append(r);
        return true;
    });
    return out;
}

void DatabaseSource::forEachPeriodRecord(Archive archive, const QDateTime& from, const QDateTime& to,
                                         const std::function<bool(const PeriodRecord&)>& visit) const {
    using database::TableKind;
    const TableKind kind = archive == Archive::Hourly  ? TableKind::Hourly
                           : archive == Archive::Daily ? TableKind::Daily
                                                       : TableKind::Monthly;
    const bool longRecord = kind != TableKind::Hourly;
    // The heat energy of the same days (months), by record time.
    QHash<QDateTime, std::pair<double, QString>> heat;
    if (longRecord) {
        const database::StoredRecords h =
            database::recordsBetween(*storage_, heatTable(archive), identifier_, from, to);
        const char* energy = archive == Archive::Daily ? "Ed" : "Em";
        for (int i = 0; i < h.rows.size(); ++i)
            heat.insert(QDateTime::fromString(h.value(i, "DT_Corr").toString(), Qt::ISODate),
                        {h.value(i, energy).toDouble(), h.value(i, "fE").toString().trimmed()});
    }
    // Only what a record takes is read: an hour's row has as many fields again that no report shows.
    enum Field {
        Number,
        Stamp,
        Working,
        Standard,
        AlarmWorking,
        AlarmStandard,
        Pressure,
        Temperature,
        Compressibility,
        Correction,
        PressureUnit,
        VolumeUnit,
        Status,
        Counter,
        Parameters
    };
    QStringList names = {QStringLiteral("NumWrCor"), QStringLiteral("DT_Corr"), QStringLiteral("Vwrk"),
                         QStringLiteral("Vst"),      QStringLiteral("Valwrk"),  QStringLiteral("Valst"),
                         QStringLiteral("P"),        QStringLiteral("T"),       QStringLiteral("Ksg"),
                         QStringLiteral("Kkor"),     QStringLiteral("fKgMPa"),  QStringLiteral("fKgV"),
                         QStringLiteral("Help")};
    if (longRecord) names << QStringLiteral("Vmeter") << QStringLiteral("OldData");
    const QList<int> at = database::recordColumns(storage_->schemas(), kind, names);
    auto number = [&at](const database::RowValues& row, Field f) -> std::optional<double> {
        const QVariant v = row.value(at.at(f));
        if (v.isNull()) return std::nullopt;
        bool ok = false;
        const double d = v.toDouble(&ok);
        if (!ok) return std::nullopt;
        return d;
    };
    auto text = [&at](const database::RowValues& row, Field f) { return row.value(at.at(f)).toString(); };
    database::forEachRecordBetween(
        *storage_, kind, identifier_, from, to, names, [&](const database::RowValues& row) {
            PeriodRecord r;
            r.number = row.value(at.at(Number)).toInt();
            r.end = at.at(Stamp) < 0 ? QDateTime() : storedStamp(row.value(at.at(Stamp)));
            r.working = orZero(number(row, Working));
            r.standard = orZero(number(row, Standard));
            r.alarmWorking = orZero(number(row, AlarmWorking));
            r.alarmStandard = orZero(number(row, AlarmStandard));
            r.pressure = number(row, Pressure);
            r.temperature = number(row, Temperature);
            r.compressibility = number(row, Compressibility);
            r.correction = number(row, Correction);
            r.pressureUnit = text(row, PressureUnit).trimmed();
            r.volumeUnit = text(row, VolumeUnit).trimmed();
            r.status = text(row, Status);
            if (longRecord) {
                r.counter = number(row, Counter);
                r.parameterText = text(row, Parameters).trimmed();
                if (const auto h = heat.constFind(r.end); h != heat.constEnd()) {
                    r.heat = h->first;
                    r.heatUnit = h->second;
                }
            }
            return visit(r);
        });
}

QList<AlarmRecord> DatabaseSource::alarms(const QDateTime& from, const QDateTime& to) const {
    const database::StoredRecords s =
        database::recordsBetween(*storage_, database::TableKind::Alarm, identifier_, from, to);
    QList<AlarmRecord> out;
    for (int i = 0; i < s.rows.size(); ++i) {
        AlarmRecord r;
        r.number = s.value(i, "NumWrCor").toInt();
        r.when = QDateTime::fromString(s.value(i, "DT_Corr").toString(), Qt::ISODate);
        r.current = static_cast<quint16>(s.value(i, "CodeCur").toString().trimmed().toUInt(nullptr, 16));
        r.previous = static_cast<quint16>(s.value(i, "CodePrec").toString().trimmed().toUInt(nullptr, 16));
        r.alarmWorking = s.value(i, "Valwrk").toDouble();
        r.alarmStandard = s.value(i, "Valst").toDouble();
        out.append(r);
    }
    return out;
}

QList<InterventionRecord> DatabaseSource::interventions(const QDateTime& from, const QDateTime& to) const {
    const database::StoredRecords s =
        database::recordsBetween(*storage_, database::TableKind::Interference, identifier_, from, to);
    QList<InterventionRecord> out;
    for (int i = 0; i < s.rows.size(); ++i)
        out.append({QDateTime::fromString(s.value(i, "DT_Corr").toString(), Qt::ISODate),
                    s.value(i, "Who").toString().trimmed(), s.value(i, "NamePar").toString().trimmed(),
                    s.value(i, "ThereWas").toString().trimmed(), s.value(i, "Became").toString().trimmed()});
    return out;
}

namespace {
std::optional<double> storedNumber(const database::StoredRecords& s, int row, const char* field) {
    return numberAt(s.rows.at(row), s.column(field));
}
} // namespace

QList<OperativeRecord> DatabaseSource::operative(const QDateTime& from, const QDateTime& to) const {
    const database::StoredRecords s =
        database::recordsBetween(*storage_, database::TableKind::Operative, identifier_, from, to);
    QList<OperativeRecord> out;
    for (int i = 0; i < s.rows.size(); ++i)
        out.append({s.value(i, "NumWrCor").toInt(), storedStamp(s.value(i, "DT_Corr")),
                    storedNumber(s, i, "P"), storedNumber(s, i, "T"), storedNumber(s, i, "Kkor"),
                    storedNumber(s, i, "Qwrk"), storedNumber(s, i, "Vmeter"),
                    s.value(i, "fKgMPa").toString().trimmed()});
    return out;
}

QList<ServiceRecord> DatabaseSource::service(const QDateTime& from, const QDateTime& to) const {
    const database::StoredRecords s =
        database::recordsBetween(*storage_, database::TableKind::Service, identifier_, from, to);
    QList<ServiceRecord> out;
    for (int i = 0; i < s.rows.size(); ++i)
        out.append({s.value(i, "NumWrCor").toInt(), storedStamp(s.value(i, "DT_Corr")),
                    s.value(i, "CodeCur").toString().trimmed(), s.value(i, "CodePrec").toString().trimmed()});
    return out;
}

std::optional<QDateTime> DatabaseSource::newestInterventionTime() const {
    return database::newestRecordTime(*storage_, database::TableKind::Interference, identifier_);
}

QList<MeasurementRecord> DatabaseSource::measurements(const QDateTime& from, const QDateTime& to) const {
    const database::StoredRecords s = database::recordsBetween(*storage_, database::TableKind::Measurement,
                                                               identifier_, from, to, "DateTime");
    QList<MeasurementRecord> out;
    for (int i = 0; i < s.rows.size(); ++i)
        out.append({storedStamp(s.value(i, "DateTime")), storedNumber(s, i, "P"), storedNumber(s, i, "T"),
                    storedNumber(s, i, "Kkor"), storedNumber(s, i, "Ksg"), storedNumber(s, i, "Qwrk"),
                    storedNumber(s, i, "Qstd"), storedNumber(s, i, "Battery"),
                    s.value(i, "Error").toString().trimmed(), s.value(i, "fKgMPa").toString().trimmed()});
    return out;
}

} // namespace tarn::reports
