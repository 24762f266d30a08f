#include "database/Storing.h"

#include "common/DisplayNumber.h"
#include "database/StoredTableModel.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <charconv>
#include <optional>

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

// A number of the plain form a corrector writes ("-12.50"): digits, at most one point with digits on
// both sides, an optional minus. Read without the general parser, which costs several times more for
// each of the volumes summed on every row; both round correctly, so the value is the same.
std::optional<double> plainNumber(QStringView text) {
    constexpr qsizetype kLongest = 40;
    if (text.isEmpty() || text.size() > kLongest) return std::nullopt;
    char latin[kLongest];
    qsizetype digitsBefore = 0, digitsAfter = 0;
    bool point = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c >= u'0' && c <= u'9') {
            ++(point ? digitsAfter : digitsBefore);
        } else if (c == u'.' && !point && digitsBefore > 0) {
            point = true;
        } else if (!(c == u'-' && i == 0)) {
            return std::nullopt;
        }
        latin[i] = static_cast<char>(c);
    }
    if (digitsBefore == 0 || (point && digitsAfter == 0)) return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(latin, latin + text.size(), value);
    if (error != std::errc() || end != latin + text.size()) return std::nullopt;
    return value;
}

double number(const QString& cell) {
    const QString text = cell.trimmed();
    if (const auto plain = plainNumber(text)) return *plain;
    return text.toDouble();
}

// A record's key as the duplicate check compares it: its number as the corrector counts it (16 bits),
// its date and its time, each as its decimal digits, packed into one integer, so that the keys of a
// year of records are a set of numbers rather than of texts built for every row.
quint64 recordKey(quint16 number, int date, int time) {
    return (static_cast<quint64>(number) << 48) | (static_cast<quint64>(date) << 20) |
           static_cast<quint64>(time);
}

// The digits of a stored text in the pattern the storing writes ("yyyy-MM-dd", "HH:mm:ss": digits
// where the pattern has letters, its separators elsewhere) read as one decimal number; -1 for any other
// text, which no record of a reading can equal since a reading's dates and times are written in that
// pattern.
int patternDigits(const QString& text, QLatin1StringView pattern, char16_t separator) {
    if (text.size() != pattern.size()) return -1;
    int value = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (pattern.at(i) == QLatin1Char('-')) {
            if (c != separator) return -1;
        } else if (c >= u'0' && c <= u'9') {
            value = value * 10 + (c - u'0');
        } else {
            return -1;
        }
    }
    return value;
}

// The rows of one kind to write, oldest first: no record already stored (same number and time), none
// the corrector returned twice. stamps keeps each written row's time, so it is read only once.
QList<int> selectRows(const ArchiveRows& rows, const KindPlan& plan, Table& table, KindResult& result,
                      const std::function<bool()>& step, QList<QDateTime>& stamps, bool& failed) {
    const int n = rows.rowCount(plan.archive);
    stamps = QList<QDateTime>(n);
    // The local date and time of each record as one number: what orders them, and, as digits, what
    // the duplicate check compares.
    QList<qint64> wallClock(n);
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
            // Made in one buffer: the set keeps it, so it cannot be reused for the next row.
            QString joined;
            joined.reserve(16 * plan.repeatLast);
            for (int c = 1; c <= plan.repeatLast; ++c) {
                joined += rows.cell(plan.archive, c, r);
                joined += QLatin1Char('\x1f');
            }
            // One look: the set grows only when the record was not there yet.
            const qsizetype before = seen.size();
            seen.insert(joined);
            if (seen.size() == before) {
                ++result.dropped;
                continue;
            }
        }
        stamps[r] = t;
        wallClock[r] = t.date().toJulianDay() * 86400000LL + t.time().msecsSinceStartOfDay();
    }
    if (!earliest.isValid()) return {};
    // What the point's table already holds in that span: record number and time, three fields of each
    // row in one query, never a query per record.
    const QList<FieldSpec>& fields = table.fields();
    const QChar p = tableInfo(plan.table).fieldPrefix;
    const QString dt = QLatin1Char('"') + QString(p) + QStringLiteral("DT_Corr\"");
    const auto inSpan =
        table.trySelectFields({fields.value(5).name, fields.value(6).name, fields.value(7).name},
                              dt + QStringLiteral(" >= ? AND ") + dt + QStringLiteral(" <= ?"),
                              {storedTimestamp(earliest), storedTimestamp(latest)});
    // Unread stored rows are not "none stored": every record would be written a second time.
    if (!inSpan) {
        failed = true;
        return {};
    }
    QSet<quint64> stored;
    stored.reserve(inSpan->size());
    for (const QVariantList& row : *inSpan) {
        const int date = patternDigits(row.value(1).toString(), QLatin1StringView("dddd-dd-dd"), u'-');
        const int time = patternDigits(row.value(2).toString(), QLatin1StringView("dd-dd-dd"), u':');
        if (date < 0 || time < 0) continue;
        stored.insert(recordKey(static_cast<quint16>(row.value(0).toInt()), date, time));
    }
    QList<int> order;
    order.reserve(n);
    for (int r = 0; r < n; ++r) {
        if (!stamps[r].isValid()) continue;
        if (!stored.isEmpty()) {
            // Numbers are compared as the corrector counts them, in 16 bits.
            const auto number16 = static_cast<quint16>(rows.cell(plan.archive, 0, r).toInt());
            const QDate d = stamps[r].date();
            const QTime t = stamps[r].time();
            const int date = d.year() * 10000 + d.month() * 100 + d.day();
            const int time = t.hour() * 10000 + t.minute() * 100 + t.second();
            if (stored.contains(recordKey(number16, date, time))) {
                ++result.dropped;
                continue;
            }
        }
        order.append(r);
    }
    std::stable_sort(order.begin(), order.end(),
                     [&wallClock](int a, int b) { return wallClock[a] < wallClock[b]; });
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
        // What is the same for every row of the kind is made once: the fields written and their
        // positions, the values that do not change from row to row. Each row then only fills its own.
        const QString nowText = storedTimestamp(now);
        QStringList names;
        QList<int> positions;
        QVariantList values;
        // The slot of a field in the row; a field named twice keeps one slot, the later value counting.
        auto slot = [&](const QString& field) {
            const int at = static_cast<int>(names.indexOf(field));
            if (at >= 0) return at;
            names.append(field);
            positions.append(table->position(field));
            values.append(QVariant());
            return static_cast<int>(names.size() - 1);
        };
        auto fixedValue = [&](const QString& field, const QVariant& value) { values[slot(field)] = value; };
        fixedValue(name("Identif"), c.identifier);
        fixedValue(name("SerialNum"), c.serial);
        fixedValue(name("TypeQuon"), c.model);
        fixedValue(name("DateTime"), nowText);
        const int stampSlot = slot(name("DT_Corr"));
        QList<int> columnSlots;
        QList<bool> columnNumeric;
        for (int col = 0; col <= plan.lastColumn; ++col) {
            const FieldSpec field = fields.value(5 + col);
            columnSlots.append(slot(field.name));
            columnNumeric.append(field.type != FieldType::Text);
        }
        const bool volumes = plan.table == TableKind::Hourly || plan.table == TableKind::Daily ||
                             plan.table == TableKind::Monthly;
        int workSlot = -1, standardSlot = -1, commentSlot = -1;
        // The fixed values named after the record's columns are set again for every row: a schema whose
        // columns name one of them still ends with the fixed value, as the order of naming says.
        QList<QPair<int, QVariant>> afterColumns;
        auto fixedAfterColumns = [&](const QString& field, const QVariant& value) {
            afterColumns.append({slot(field), value});
        };
        if (volumes) {
            workSlot = slot(name("Vwrk_alwrk"));
            standardSlot = slot(name("Vst_alwrk"));
            fixedAfterColumns(name("Flag"), QStringLiteral("0"));
        }
        if (volumes || plan.table == TableKind::Alarm || plan.table == TableKind::Operative) {
            fixedAfterColumns(name("fKgMPa"), c.pressureUnit);
            fixedAfterColumns(name("fKgV"), c.volumeUnit);
            fixedAfterColumns(name("Gas"), c.gasName);
        }
        if (volumes && plan.table != TableKind::Hourly)
            commentSlot = slot(name("Comment"));
        else
            fixedAfterColumns(name("Comment"), QStringLiteral("0"));
        // A field the table lacks goes the general way, which refuses the row and says which field.
        const bool allKnown = !positions.contains(-1);
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
            values[stampSlot] = storedTimestamp(stamp);
            for (int col = 0; col <= plan.lastColumn; ++col) {
                QVariant& value = values[columnSlots.at(col)];
                if (col == kDateColumn) {
                    value = storedDate(stamp.date());
                } else if (col == kTimeColumn) {
                    value = storedTime(stamp.time());
                } else {
                    QString cell = rows.cell(plan.archive, col, r).trimmed();
                    if (plan.emptyRule && col > kTimeColumn && columnNumeric.at(col) && isNoValue(cell)) {
                        if (cell.isEmpty()) ++result.emptyCells;
                        value = QStringLiteral("0");
                    } else {
                        value = std::move(cell);
                    }
                }
            }
            for (const auto& [at, value] : afterColumns)
                values[at] = value;
            if (volumes) {
                values[workSlot] = displayNumber(number(rows.cell(plan.archive, 3, r)) +
                                                     number(rows.cell(plan.archive, 5, r)),
                                                 c.volumeDecimals);
                values[standardSlot] = displayNumber(number(rows.cell(plan.archive, 4, r)) +
                                                         number(rows.cell(plan.archive, 6, r)),
                                                     c.volumeDecimals);
                if (commentSlot >= 0) {
                    const QString total = rows.cell(plan.archive, kTotalStandardColumn, r).trimmed();
                    values[commentSlot] = total.isEmpty() || total == QLatin1String("--")
                                              ? QStringLiteral("--")
                                              : QLatin1Char('v') + total;
                }
            }
            bool appended = false;
            if (allKnown) {
                appended = table->appendAt(positions, values);
            } else {
                QVariantMap byName;
                for (qsizetype i = 0; i < names.size(); ++i)
                    byName.insert(names.at(i), values.at(i));
                appended = table->append(byName);
            }
            if (!appended) {
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
