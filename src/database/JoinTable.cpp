#include "database/JoinTable.h"

#include "database/Storage.h"
#include <optional>

namespace tarn::database {

namespace {

const char* const kCurrent = "0";
const char* const kReplaced = "1";

QString field(const char* name) {
    return QString::fromLatin1(name);
}

// The day's file; a missing one is created only when a row is to be written into it.
std::unique_ptr<Table> openDay(Storage& storage, const QDate& day, bool create, QString* error) {
    const TableId id{TableKind::Join, {}, day};
    Error why;
    auto table = create ? storage.openTable(id, why) : storage.openExisting(id, why);
    if (!table && error) *error = why.detail;
    return table;
}

QTime storedWindow(const QTime& time) {
    return time.isValid() ? time : QTime(0, 0);
}

JoinRow rowOf(const Table& table, const QVariantList& values) {
    auto at = [&](const char* name) { return values.value(table.position(field(name))); };
    auto time = [&](const char* name) {
        return QTime::fromString(at(name).toString(), QStringLiteral("HH:mm:ss"));
    };
    JoinRow r;
    r.number = at("jNum").toInt();
    r.group = at("jGroup").toString();
    r.identifier = at("jIdentif").toString();
    r.model = at("jTypeQuon").toString();
    r.serial = at("jSerialNum").toString();
    r.when = QDateTime::fromString(at("jDateTime").toString(), QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    r.mode = at("jnRegWrkCh").toInt();
    r.modeText = at("jsRegWrkCh").toString();
    r.begin = time("jBegCh");
    r.end = time("jEndCh");
    r.scheduleRow = at("jNumStrT").toInt();
    r.flagModif = at("jFlagModif").toString();
    r.modified = time("jDateModif");
    r.result = at("jResult").toString();
    r.idJoin = at("jIdJoin").toString();
    r.comment = at("jComment").toString();
    return r;
}

// The day's current rows of scheduled polling, each given the change it takes: a new schedule row
// number, or nothing to mark it replaced. The changes are written in one transaction.
int changeScheduledRows(Storage& storage, const QDate& day,
                        const std::function<std::optional<int>(const JoinRow&)>& newNumber) {
    auto table = openDay(storage, day, false, nullptr);
    if (!table) return 0; // no file: the day has no rows to change
    if (!table->transaction()) return -1;
    const QList<QVariantList> rows =
        table->select(QStringLiteral("\"jnRegWrkCh\" = ? AND \"jFlagModif\" = ?"),
                      {kScheduledJoinMode, QString::fromLatin1(kCurrent)});
    if (!table->lastError().isEmpty()) {
        table->rollback();
        return -1;
    }
    int changed = 0;
    for (const QVariantList& values : rows) {
        const JoinRow row = rowOf(*table, values);
        const std::optional<int> number = newNumber(row);
        bool ok = true;
        if (!number) {
            ok =
                table->update(field("jNum"), row.number, field("jFlagModif"), QString::fromLatin1(kReplaced));
        } else if (*number != row.scheduleRow) {
            ok = table->update(field("jNum"), row.number, field("jNumStrT"), *number);
        } else {
            continue;
        }
        if (!ok) {
            table->rollback();
            return -1;
        }
        ++changed;
    }
    if (!table->commit()) return -1;
    return changed;
}

} // namespace

QString appendJoinRow(Storage& storage, const JoinRow& row) {
    if (!row.when.isValid()) return QStringLiteral("no time for the join row");
    QString why;
    auto table = openDay(storage, row.when.date(), true, &why);
    if (!table) return why;
    const QVariantMap values{
        {field("jGroup"), row.group},
        {field("jIdentif"), row.identifier},
        {field("jTypeQuon"), row.model},
        {field("jSerialNum"), row.serial},
        {field("jDateTime"), storedTimestamp(row.when)},
        {field("jnRegWrkCh"), row.mode},
        {field("jsRegWrkCh"), row.modeText},
        {field("jBegCh"), storedTime(storedWindow(row.begin))},
        {field("jEndCh"), storedTime(storedWindow(row.end))},
        {field("jNumStrT"), row.scheduleRow},
        {field("jFlagModif"), row.flagModif},
        {field("jDateModif"), storedTime(row.modified.isValid() ? row.modified : row.when.time())},
        {field("jResult"), row.result},
        {field("jIdJoin"), row.idJoin},
        {field("jComment"), row.comment}};
    if (!table->transaction()) return table->lastError();
    if (!table->append(values)) {
        const QString error = table->lastError();
        table->rollback();
        return error;
    }
    if (!table->commit()) return table->lastError();
    return {};
}

QList<JoinRow> joinRowsOfDay(Storage& storage, const QDate& day) {
    QList<JoinRow> rows;
    auto table = openDay(storage, day, false, nullptr);
    if (!table) return rows;
    for (const QVariantList& values : table->select())
        rows.append(rowOf(*table, values));
    return rows;
}

int markGroupRowsReplaced(Storage& storage, const QDate& day, const QString& group) {
    const QString name = group.trimmed();
    return changeScheduledRows(storage, day, [&name](const JoinRow& row) -> std::optional<int> {
        if (row.group.trimmed() == name) return std::nullopt;
        return row.scheduleRow;
    });
}

int renumberScheduledRows(
    Storage& storage, const QDate& day,
    const std::function<int(const QString& group, const QTime& begin, const QTime& end)>& newNumber) {
    return changeScheduledRows(storage, day, [&newNumber](const JoinRow& row) -> std::optional<int> {
        const int number = newNumber(row.group.trimmed(), row.begin, row.end);
        if (number == 0) return std::nullopt;
        return number;
    });
}

// The same over the table files under root.
QString appendJoinRow(const DataRoot& root, const Schemas& schemas, const JoinRow& row) {
    SqliteStorage storage(root, schemas);
    return appendJoinRow(storage, row);
}

QList<JoinRow> joinRowsOfDay(const DataRoot& root, const Schemas& schemas, const QDate& day) {
    SqliteStorage storage(root, schemas);
    return joinRowsOfDay(storage, day);
}

int markGroupRowsReplaced(const DataRoot& root, const Schemas& schemas, const QDate& day,
                          const QString& group) {
    SqliteStorage storage(root, schemas);
    return markGroupRowsReplaced(storage, day, group);
}

int renumberScheduledRows(
    const DataRoot& root, const Schemas& schemas, const QDate& day,
    const std::function<int(const QString& group, const QTime& begin, const QTime& end)>& newNumber) {
    SqliteStorage storage(root, schemas);
    return renumberScheduledRows(storage, day, newNumber);
}

} // namespace tarn::database
