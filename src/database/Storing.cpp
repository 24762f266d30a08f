#include "database/Storing.h"

#include "common/DisplayNumber.h"
#include "database/StoredTableModel.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>

namespace tarn::database {

namespace {

struct KindPlan {
    int archive; // 1..7 of the decoded tables
    TableKind table;
    int lastColumn; // the last decoded column written into fields 6 onwards
    int flag;       // its position in the stored-items flags
    int repeatLast; // the last cell compared to find a record returned twice; 0: no such check
    bool emptyRule; // empty cells are stored as "0" and counted
};

// In the order the kinds are stored.
constexpr KindPlan kPlans[] = {
    {1, TableKind::Hourly, 11, 2, 11, true},  {2, TableKind::Daily, 13, 3, 12, true},
    {3, TableKind::Monthly, 13, 4, 12, true}, {5, TableKind::Interference, 7, 9, 0, false},
    {4, TableKind::Alarm, 6, 5, 0, true},     {6, TableKind::Operative, 7, 6, 0, true},
    {7, TableKind::Service, 4, 11, 0, true},
};

// The request log's names of the kinds, in its own order, with their decoded archive.
struct LogKind {
    const char* name;
    int archive;
};
constexpr LogKind kLogKinds[] = {{"Hour", 1},  {"Day", 2},  {"Mon", 3}, {"Chang", 5},
                                 {"Alarm", 4}, {"Oper", 6}, {"Spec", 7}};

constexpr int kDateColumn = 1;
constexpr int kTimeColumn = 2;
constexpr int kHeatColumn = 14;
constexpr int kTotalStandardColumn = 15;

int digitAt(const QString& text, int at) {
    const char16_t c = text.at(at).unicode();
    return c >= u'0' && c <= u'9' ? c - u'0' : -1;
}

// A separator of the plain form: anything but a digit (a surrogate would stand for a whole character
// and is left to the general path).
bool separatorAt(const QString& text, int at) {
    const QChar c = text.at(at);
    return digitAt(text, at) < 0 && !c.isSurrogate();
}

// The corrector writes "dd.MM.yyyy" and "HH:mm" (whatever the separators): read digit by digit, that is
// a small part of what the general parser costs for every record. Nothing when the texts are in
// another form or name no valid local time; the general path then decides.
QDateTime plainTimestamp(const QString& date, const QString& time) {
    if (date.size() != 10 || time.size() != 5) return {};
    int v[12];
    constexpr int dateDigits[] = {0, 1, 3, 4, 6, 7, 8, 9};
    constexpr int timeDigits[] = {0, 1, 3, 4};
    for (int i = 0; i < 8; ++i)
        if ((v[i] = digitAt(date, dateDigits[i])) < 0) return {};
    for (int i = 0; i < 4; ++i)
        if ((v[8 + i] = digitAt(time, timeDigits[i])) < 0) return {};
    if (!separatorAt(date, 2) || !separatorAt(date, 5) || !separatorAt(time, 2)) return {};
    const QDate d(v[4] * 1000 + v[5] * 100 + v[6] * 10 + v[7], v[2] * 10 + v[3], v[0] * 10 + v[1]);
    const QTime t(v[8] * 10 + v[9], v[10] * 10 + v[11]);
    if (!d.isValid() || !t.isValid()) return {};
    const QDateTime stamp(d, t);
    // A time the local clock skips is the general parser's to judge.
    if (!stamp.isValid() || stamp.date() != d || stamp.time() != t) return {};
    return stamp;
}

} // namespace

QDateTime recordTimestamp(const ArchiveRows& rows, int archive, int row) {
    QString date = rows.cell(archive, kDateColumn, row).trimmed();
    QString time = rows.cell(archive, kTimeColumn, row).trimmed();
    if (date.isEmpty()) return {};
    if (const QDateTime plain = plainTimestamp(date, time); plain.isValid()) return plain;
    // Any separator is the date's, any non-digit the time's.
    date.replace(QRegularExpression(QStringLiteral("[^0-9]")), QStringLiteral("."));
    time.replace(QRegularExpression(QStringLiteral("[^0-9]")), QStringLiteral(":"));
    const QDateTime t =
        QDateTime::fromString(date + QLatin1Char(' ') + time, QStringLiteral("dd.MM.yyyy HH:mm"));
    return t.isValid() ? t : QDateTime();
}

namespace {

// A cell with no digits (empty, or only signs, points and exponents) is no value.
bool isNoValue(const QString& cell) {
    for (const QChar c : QStringView(cell).trimmed())
        if (c != u'-' && c != u'+' && c != u'.' && c != u'E') return false;
    return true;
}

double number(const QString& cell) {
    return cell.trimmed().toDouble();
}

// The rows of one kind to write, oldest first: no record already stored (same number and time), none
// the corrector returned twice. stamps keeps each written row's time, so it is read only once.
QList<int> selectRows(const ArchiveRows& rows, const KindPlan& plan, Table& table, KindResult& result,
                      const std::function<bool()>& step, QList<QDateTime>& stamps, bool& failed) {
    const int n = rows.rowCount(plan.archive);
    stamps = QList<QDateTime>(n);
    QDateTime earliest, latest;
    // A set: a year of hourly records compared each with all before it would take seconds.
    QSet<QString> seen;
    seen.reserve(plan.repeatLast > 0 ? n : 0);
    for (int r = 0; r < n; ++r) {
        if (!step()) return {};
        const QDateTime t = recordTimestamp(rows, plan.archive, r);
        if (!t.isValid()) continue;
        if (!earliest.isValid() || t < earliest) earliest = t;
        if (!latest.isValid() || t > latest) latest = t;
        if (plan.repeatLast > 0) {
            QString joined;
            for (int c = 1; c <= plan.repeatLast; ++c)
                joined += rows.cell(plan.archive, c, r) + QLatin1Char('\x1f');
            if (seen.contains(joined)) {
                ++result.dropped;
                continue;
            }
            seen.insert(joined);
        }
        stamps[r] = t;
    }
    if (!earliest.isValid()) return {};
    // What the point's table already holds in that span: record number and time.
    const QChar p = tableInfo(plan.table).fieldPrefix;
    const QString dt = QLatin1Char('"') + QString(p) + QStringLiteral("DT_Corr\"");
    QSet<QPair<quint16, QString>> stored;
    const auto inSpan = table.trySelect(dt + QStringLiteral(" >= ? AND ") + dt + QStringLiteral(" <= ?"),
                                        {storedTimestamp(earliest), storedTimestamp(latest)});
    // Unread stored rows are not "none stored": every record would be written a second time.
    if (!inSpan) {
        failed = true;
        return {};
    }
    for (const QVariantList& row : *inSpan)
        stored.insert({static_cast<quint16>(row.value(5).toInt()),
                       row.value(6).toString() + QLatin1Char('T') + row.value(7).toString()});
    QList<int> order;
    for (int r = 0; r < n; ++r) {
        if (!stamps[r].isValid()) continue;
        // Numbers are compared as the corrector counts them, in 16 bits.
        const auto number16 = static_cast<quint16>(rows.cell(plan.archive, 0, r).toInt());
        const QString when = storedDate(stamps[r].date()) + QLatin1Char('T') + storedTime(stamps[r].time());
        if (stored.contains({number16, when})) {
            ++result.dropped;
            continue;
        }
        order.append(r);
    }
    std::stable_sort(order.begin(), order.end(), [&stamps](int a, int b) { return stamps[a] < stamps[b]; });
    return order;
}

// The newest record time the point's hourly, daily, monthly, alarm and interference tables received last.
QDateTime newestArchiveRecord(Storage& storage, const QString& identifier) {
    const LastStoredSummary summary = lastStoredSummary(storage, identifier);
    QDateTime newest;
    for (std::size_t k = 0; k < 5; ++k)
        if (summary[k].stamp.isValid() && (!newest.isValid() || summary[k].stamp > newest))
            newest = summary[k].stamp;
    return newest;
}

std::optional<CsvKind> csvKindOf(TableKind table) {
    switch (table) {
    case TableKind::Hourly:
        return CsvKind::Hourly;
    case TableKind::Daily:
        return CsvKind::Daily;
    case TableKind::Monthly:
        return CsvKind::Monthly;
    case TableKind::Operative:
        return CsvKind::Operative;
    default:
        return std::nullopt;
    }
}

bool storeMeasurement(const DataRoot& root, Storage& storage, const StoreContext& c, const QDateTime& now,
                      StoreResult& result) {
    Error why;
    auto table = storage.openPoint(TableKind::Measurement, c.identifier, why, now);
    if (!table) {
        result.error = why.detail;
        return false;
    }
    const MeasurementValues& m = *c.measurement;
    // A value the corrector did not give ("X", empty) is stored as 0, as in the archives.
    auto value = [](const QString& text) { return isNoValue(text) ? QStringLiteral("0") : text.trimmed(); };
    const QString values[] = {m.pressure, m.temperature,  m.correction, m.compressibility,
                              m.flow,     m.standardFlow, m.battery};
    static constexpr const char* kFields[] = {"iP", "iT", "iKkor", "iKsg", "iQwrk", "iQstd", "iBattery"};
    QVariantMap row{
        {QStringLiteral("iIdentif"), c.identifier},       {QStringLiteral("iSerialNum"), c.serial},
        {QStringLiteral("iTypeQuon"), c.model},           {QStringLiteral("iDateTime"), storedTimestamp(now)},
        {QStringLiteral("iError"), m.state.trimmed()},    {QStringLiteral("ifKgMPa"), c.pressureUnit},
        {QStringLiteral("iComment"), QStringLiteral("0")}};
    // The CSV line holds the row's values in the table's order.
    QStringList cells{c.identifier, c.serial, c.model, now.toString(QStringLiteral("dd.MM.yyyy HH:mm"))};
    for (int i = 0; i < 7; ++i) {
        row.insert(QString::fromLatin1(kFields[i]), value(values[i]));
        cells.append(value(values[i]));
    }
    cells << m.state.trimmed() << c.pressureUnit;
    if (!table->append(row)) {
        result.error = table->lastError();
        return false;
    }
    result.measurementStored = true;
    result.storedItems[9] = QLatin1Char('1');
    if (c.csv.wanted(CsvKind::Measurement)) {
        CsvSideFile csv(root, CsvKind::Measurement, c.identifier, c.csv.delimiter, now);
        csv.addRow(cells);
        (csv.write() ? result.csvFiles : result.csvFailed).append(csv.path());
    }
    return true;
}

// The run's one request-log row: what was stored (result), when the measurement was taken (measured,
// a stored timestamp) and what the polling run did around it.
bool appendRequestLog(Storage& storage, const StoreContext& c, const QString& measured, const QDateTime& now,
                      StoreResult& result) {
    Error why;
    auto log = storage.openPoint(TableKind::RequestLog, c.identifier, why, now);
    if (!log) {
        result.error = why.detail;
        return false;
    }
    const int source = c.sourceKind >= sourceKindNumber(SourceKind::PolledByModem) &&
                               c.sourceKind <= sourceKindNumber(SourceKind::Package)
                           ? c.sourceKind
                           : sourceKindNumber(SourceKind::Unknown);
    if (c.poll.gasWritten) result.storedItems[6] = QLatin1Char('1');
    if (c.poll.clockCorrected) result.storedItems[7] = QLatin1Char('1');
    const QString none = storedTimestamp(noTimestamp());
    auto stamp = [&none](const QDateTime& t) { return t.isValid() ? storedTimestamp(t) : none; };
    // A path longer than its field keeps its end: the file's own name says most.
    QString fileRead = QStringLiteral("--");
    if (source == 4 && !c.fileName.isEmpty()) {
        const int p = log->position(QStringLiteral("bNameFile"));
        const int width = p < 0 ? 0 : log->fields().at(p).width;
        fileRead = width > 0 ? c.fileName.right(width) : c.fileName;
    }
    QVariantMap entry{
        {QStringLiteral("bIdentif"), c.identifier},
        {QStringLiteral("bSerialNum"), c.serial},
        {QStringLiteral("bTypeQuon"), c.model},
        {QStringLiteral("bDateTime"), storedTimestamp(now)},
        {QStringLiteral("bQuest"), source},
        {QStringLiteral("bStrQuest"), sourceKindText(source)},
        {QStringLiteral("bCurFlRdWr"), c.itemsToRead.isEmpty() ? result.storedItems : c.itemsToRead},
        {QStringLiteral("bCurFlWrBD"), result.storedItems},
        {QStringLiteral("bDT_Param"),
         result.parameterFileWritten.isValid() ? storedTimestamp(result.parameterFileWritten) : none},
        {QStringLiteral("bContrWrGas"), stamp(c.poll.gasChecked)},
        {QStringLiteral("bContrWrTime"), stamp(c.poll.clockChecked)},
        {QStringLiteral("bMeas"), measured},
        {QStringLiteral("bTmBebConnM"), stamp(c.poll.connectionBegin)},
        {QStringLiteral("bTmEndConnM"), stamp(c.poll.connectionEnd)},
        {QStringLiteral("bTmConnect"), c.poll.connectionSeconds},
        {QStringLiteral("bErrConnect"), c.poll.error.isEmpty() ? QStringLiteral("--") : c.poll.error},
        {QStringLiteral("bNameFile"), fileRead},
        {QStringLiteral("bComment"), c.comment.isEmpty() ? QStringLiteral("0") : c.comment}};
    for (const LogKind& k : kLogKinds) {
        const KindResult& kind = result.kinds[k.archive - 1];
        const QString n = QString::fromLatin1(k.name);
        entry.insert(QStringLiteral("bDbeg") + n, kind.stored ? storedTimestamp(kind.first) : none);
        entry.insert(QStringLiteral("bNbeg") + n, kind.firstNumber);
        entry.insert(QStringLiteral("bDend") + n, kind.stored ? storedTimestamp(kind.last) : none);
        entry.insert(QStringLiteral("bNend") + n, kind.lastNumber);
    }
    if (!log->append(entry)) {
        result.error = log->lastError();
        return false;
    }
    return true;
}

} // namespace

QString sourceKindText(int sourceKind) {
    switch (static_cast<SourceKind>(sourceKind)) {
    case SourceKind::PolledByModem:
        return QStringLiteral("модем БД");
    case SourceKind::PolledByCable:
        return QStringLiteral("кабель БД");
    case SourceKind::TransferUnit:
        return QStringLiteral("ДТУ");
    case SourceKind::File:
        return QStringLiteral("файл");
    case SourceKind::Cable:
        return QStringLiteral("кабель");
    case SourceKind::Package:
        return QStringLiteral("файл БД");
    case SourceKind::Unknown:
        break;
    }
    return QStringLiteral("неизвестно");
}

StoreResult storeReading(const DataRoot& root, const Schemas& schemas, const ArchiveRows& rows,
                         const StoreContext& c, const std::function<bool(int, int)>& progress,
                         const QDateTime& now) {
    SqliteStorage storage(root, schemas);
    return storeReading(root, storage, rows, c, progress, now);
}

StoreResult storeReading(const DataRoot& root, Storage& storage, const ArchiveRows& rows,
                         const StoreContext& c, const std::function<bool(int, int)>& progress,
                         const QDateTime& now) {
    StoreResult result;
    if (c.identifier.isEmpty()) {
        result.error = QStringLiteral("no metering point");
        return result;
    }
    int total = 0;
    for (const KindPlan& plan : kPlans)
        total += 2 * rows.rowCount(plan.archive);
    int done = 0;
    bool stop = false;
    auto step = [&] {
        if (!stop && progress && !progress(++done, total)) stop = true;
        return !stop;
    };

    // The parameter file goes before the archives, or after them for a source that may carry older data.
    const QString parameterPath =
        root.file(folder::Param, QStringLiteral("p_") + c.identifier + QStringLiteral(".000"));
    bool parameterFileAfter = false;
    QDateTime newestBefore;
    if (c.writeParameterFile) {
        const auto kind = static_cast<SourceKind>(c.sourceKind);
        const bool fromCorrector = kind == SourceKind::PolledByModem || kind == SourceKind::PolledByCable ||
                                   kind == SourceKind::Cable;
        if (fromCorrector || !QFile::exists(parameterPath)) {
            if (c.writeParameterFile(parameterPath)) result.parameterFileWritten = now;
        } else {
            parameterFileAfter = true;
            newestBefore = newestArchiveRecord(storage, c.identifier);
        }
    }

    for (const KindPlan& plan : kPlans) {
        Error why;
        auto table = storage.openPoint(plan.table, c.identifier, why, now);
        if (!table) {
            result.error = why.detail;
            return result;
        }
        KindResult& kind = result.kinds[plan.archive - 1];
        QList<QDateTime> stamps;
        bool unreadable = false;
        const QList<int> order = selectRows(rows, plan, *table, kind, step, stamps, unreadable);
        if (stop) {
            result.stopped = true;
            return result;
        }
        if (unreadable) {
            result.error = table->lastError();
            return result;
        }
        const QChar p = tableInfo(plan.table).fieldPrefix;
        auto name = [p](const char* field) { return QString(p) + QString::fromLatin1(field); };
        const QList<FieldSpec>& fields = table->fields();
        // What is the same for every row of the kind is made once: the field names, the time of the run.
        const QString nowText = storedTimestamp(now);
        const QString identifField = name("Identif"), serialField = name("SerialNum"),
                      modelField = name("TypeQuon"), dateTimeField = name("DateTime"),
                      stampField = name("DT_Corr"), workField = name("Vwrk_alwrk"),
                      standardField = name("Vst_alwrk"), flagField = name("Flag"),
                      pressureUnitField = name("fKgMPa"), volumeUnitField = name("fKgV"),
                      gasField = name("Gas"), commentField = name("Comment");
        QList<FieldSpec> columnFields;
        for (int col = 0; col <= plan.lastColumn; ++col)
            columnFields.append(fields.value(5 + col));
        // Every row names the same fields: one map, its values replaced row by row.
        QVariantMap row;
        // The CSV copy of the kind, written whole once the kind's rows are committed.
        std::optional<CsvSideFile> csv;
        if (const auto csvKind = csvKindOf(plan.table); csvKind && c.csv.wanted(*csvKind))
            csv.emplace(root, *csvKind, c.identifier, c.csv.delimiter, now);
        const int csvLastColumn = plan.table == TableKind::Daily || plan.table == TableKind::Monthly
                                      ? kTotalStandardColumn
                                      : plan.lastColumn;
        table->transaction();
        for (int r : order) {
            if (!step()) {
                // The kind in hand is not kept half-written.
                table->rollback();
                result.stopped = true;
                return result;
            }
            const QDateTime& stamp = stamps.at(r);
            row.insert(identifField, c.identifier);
            row.insert(serialField, c.serial);
            row.insert(modelField, c.model);
            row.insert(dateTimeField, nowText);
            row.insert(stampField, storedTimestamp(stamp));
            for (int col = 0; col <= plan.lastColumn; ++col) {
                const FieldSpec& field = columnFields.at(col);
                QString cell = rows.cell(plan.archive, col, r).trimmed();
                if (col == kDateColumn) {
                    row.insert(field.name, storedDate(stamp.date()));
                } else if (col == kTimeColumn) {
                    row.insert(field.name, storedTime(stamp.time()));
                } else if (plan.emptyRule && col > kTimeColumn && field.type != FieldType::Text &&
                           isNoValue(cell)) {
                    if (cell.isEmpty()) ++result.emptyCells;
                    row.insert(field.name, QStringLiteral("0"));
                } else {
                    row.insert(field.name, cell);
                }
            }
            switch (plan.table) {
            case TableKind::Hourly:
            case TableKind::Daily:
            case TableKind::Monthly: {
                row.insert(workField, displayNumber(number(rows.cell(plan.archive, 3, r)) +
                                                        number(rows.cell(plan.archive, 5, r)),
                                                    c.volumeDecimals));
                row.insert(standardField, displayNumber(number(rows.cell(plan.archive, 4, r)) +
                                                            number(rows.cell(plan.archive, 6, r)),
                                                        c.volumeDecimals));
                row.insert(flagField, QStringLiteral("0"));
                row.insert(pressureUnitField, c.pressureUnit);
                row.insert(volumeUnitField, c.volumeUnit);
                row.insert(gasField, c.gasName);
                QString comment = QStringLiteral("0");
                if (plan.table != TableKind::Hourly) {
                    const QString total = rows.cell(plan.archive, kTotalStandardColumn, r).trimmed();
                    comment = total.isEmpty() || total == QLatin1String("--") ? QStringLiteral("--")
                                                                              : QLatin1Char('v') + total;
                }
                row.insert(commentField, comment);
                break;
            }
            case TableKind::Alarm:
            case TableKind::Operative:
                row.insert(pressureUnitField, c.pressureUnit);
                row.insert(volumeUnitField, c.volumeUnit);
                row.insert(gasField, c.gasName);
                row.insert(commentField, QStringLiteral("0"));
                break;
            default:
                row.insert(commentField, QStringLiteral("0"));
                break;
            }
            if (!table->append(row)) {
                table->rollback();
                result.error = table->lastError();
                return result;
            }
            if (csv) {
                QStringList cells;
                for (int col = 0; col <= csvLastColumn; ++col)
                    cells.append(rows.cell(plan.archive, col, r).trimmed());
                csv->addRow(cells);
            }
            const int number = rows.cell(plan.archive, 0, r).toInt();
            if (kind.stored == 0) {
                kind.first = stamp;
                kind.firstNumber = number;
            }
            kind.last = stamp;
            kind.lastNumber = number;
            ++kind.stored;
        }
        if (!table->commit()) {
            result.error = table->lastError();
            return result;
        }
        if (kind.stored > 0) result.storedItems[plan.flag - 1] = QLatin1Char('1');
        if (csv && !csv->isEmpty()) (csv->write() ? result.csvFiles : result.csvFailed).append(csv->path());

        // The heat energy of the days and months written, when the corrector reports it.
        const bool heat =
            !c.heatUnit.isEmpty() && (plan.table == TableKind::Daily || plan.table == TableKind::Monthly);
        if (!heat || kind.stored == 0) continue;
        const TableKind heatKind = plan.table == TableKind::Daily ? TableKind::HeatDay : TableKind::HeatMonth;
        auto heatTable = storage.openPoint(heatKind, c.identifier, why, now);
        if (!heatTable) {
            result.error = why.detail;
            return result;
        }
        const QChar hp = tableInfo(heatKind).fieldPrefix;
        auto heatName = [hp](const char* field) { return QString(hp) + QString::fromLatin1(field); };
        heatTable->transaction();
        for (int r : order) {
            const QString energy = rows.cell(plan.archive, kHeatColumn, r).trimmed();
            if (energy.isEmpty()) continue;
            const QDateTime& stamp = stamps.at(r);
            heatTable->append({{heatName("Identif"), c.identifier},
                               {heatName("SerialNum"), c.serial},
                               {heatName("TypeQuon"), c.model},
                               {heatName("DateTime"), storedTimestamp(now)},
                               {heatName("NumWrCor"), rows.cell(plan.archive, 0, r).toInt()},
                               {heatName("Date"), storedDate(stamp.date())},
                               {heatName("Time"), storedTime(stamp.time())},
                               {heatName("fE"), c.heatUnit},
                               {heatKind == TableKind::HeatDay ? heatName("Ed") : heatName("Em"), energy},
                               {heatName("DT_Corr"), storedTimestamp(stamp)},
                               {heatName("Comment"), QStringLiteral("0")}});
        }
        heatTable->commit();
    }

    // The instantaneous measurement taken during the reading: one row, and its CSV line.
    QString measured = storedTimestamp(noTimestamp());
    if (c.measurement) {
        if (!storeMeasurement(root, storage, c, now, result)) return result;
        measured = storedTimestamp(now);
    }

    if (parameterFileAfter && !(newestArchiveRecord(storage, c.identifier) < newestBefore))
        if (c.writeParameterFile(parameterPath)) result.parameterFileWritten = now;

    if (!appendRequestLog(storage, c, measured, now, result)) return result;
    result.ok = true;
    return result;
}

StoreResult writeRequestLogOnly(const DataRoot& root, const Schemas& schemas, const StoreContext& c,
                                const QDateTime& now) {
    SqliteStorage storage(root, schemas);
    return writeRequestLogOnly(storage, c, now);
}

StoreResult writeRequestLogOnly(Storage& storage, const StoreContext& c, const QDateTime& now) {
    StoreResult result;
    if (c.identifier.isEmpty()) {
        result.error = QStringLiteral("no metering point");
        return result;
    }
    result.ok = appendRequestLog(storage, c, storedTimestamp(noTimestamp()), now, result);
    return result;
}

QList<QStringList> storedRows(const DataRoot& root, const Schemas& schemas, TableKind kind,
                              const QString& identifier) {
    SqliteStorage storage(root, schemas);
    return storedRows(storage, kind, identifier);
}

QList<QStringList> storedRows(Storage& storage, TableKind kind, const QString& identifier) {
    QList<QStringList> out;
    auto table = storage.openExistingPoint(kind, identifier);
    if (!table) return out;
    const QString order = tableInfo(kind).perPoint && kind != TableKind::RequestLog
                              ? QLatin1Char('"') + QString(tableInfo(kind).fieldPrefix) +
                                    QStringLiteral("DT_Corr\", ") + QLatin1Char('"') +
                                    table->fields().first().name + QLatin1Char('"')
                              : QString();
    for (const QVariantList& row : table->select({}, {}, order)) {
        QStringList cells;
        for (qsizetype i = 0; i < row.size(); ++i)
            cells.append(displayedValue(row.at(i), table->fields().at(i).type));
        out.append(cells);
    }
    return out;
}

} // namespace tarn::database
