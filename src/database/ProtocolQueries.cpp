#include "database/ProtocolQueries.h"

#include "database/TableFile.h"

namespace tarn::database {

namespace {

constexpr const char* kLogKindNames[] = {"Hour", "Day", "Mon", "Chang", "Alarm", "Oper", "Spec"};

std::unique_ptr<Table> openExisting(Storage& storage, TableKind kind, const QString& identifier = {}) {
    return storage.openExistingPoint(kind, identifier);
}

QDateTime timestampOf(const QVariant& value) {
    return QDateTime::fromString(value.toString(), QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

} // namespace

QList<RequestLogEntry> requestLogEntries(Storage& storage, const QString& identifier,
                                         const RequestLogFilter& filter) {
    QList<RequestLogEntry> out;
    // The identifier names the file: anything but an identifier has no log.
    if (!isPointIdentifier(identifier)) return out;
    const auto log = openExisting(storage, TableKind::RequestLog, identifier);
    if (!log) return out;
    QStringList where;
    QVariantList values;
    if (!filter.source.isEmpty()) {
        where.append(QStringLiteral("\"bStrQuest\" = ?"));
        values.append(filter.source);
    }
    if (filter.window) {
        // Timestamps are kept as ISO text, so text order is time order.
        where.append(QStringLiteral("\"bDateTime\" >= ? AND \"bDateTime\" <= ?"));
        values << storedTimestamp(filter.from) << storedTimestamp(filter.to);
    }
    const Table& t = *log;
    for (const QVariantList& row :
         t.select(where.join(QStringLiteral(" AND ")), values, QStringLiteral("\"bNum\""))) {
        auto at = [&](const QString& name) { return row.value(t.position(name)); };
        auto text = [&](const char* name) { return at(QString::fromLatin1(name)).toString().trimmed(); };
        auto stamp = [&](const char* name) { return timestampOf(at(QString::fromLatin1(name))); };
        RequestLogEntry e;
        e.identifier = text("bIdentif");
        e.serial = text("bSerialNum");
        e.model = text("bTypeQuon");
        e.stored = stamp("bDateTime");
        e.source = at(QStringLiteral("bQuest")).toInt();
        e.sourceText = text("bStrQuest");
        e.asked = text("bCurFlRdWr");
        e.storedItems = text("bCurFlWrBD");
        for (std::size_t k = 0; k < e.pairs.size(); ++k) {
            const QString n = QString::fromLatin1(kLogKindNames[k]);
            e.pairs[k].first = timestampOf(at(QStringLiteral("bDbeg") + n));
            e.pairs[k].firstNumber = at(QStringLiteral("bNbeg") + n).toInt();
            e.pairs[k].last = timestampOf(at(QStringLiteral("bDend") + n));
            e.pairs[k].lastNumber = at(QStringLiteral("bNend") + n).toInt();
        }
        e.gasChecked = stamp("bContrWrGas");
        e.clockChecked = stamp("bContrWrTime");
        e.connectionBegin = stamp("bTmBebConnM");
        e.connectionEnd = stamp("bTmEndConnM");
        e.connectionSeconds = at(QStringLiteral("bTmConnect")).toInt();
        e.error = text("bErrConnect");
        e.fileName = text("bNameFile");
        out.append(e);
    }
    return out;
}

QList<GasRecord> gasRecords(Storage& storage) {
    QList<GasRecord> out;
    const auto table = openExisting(storage, TableKind::Gas);
    if (!table) return out;
    const Table& t = *table;
    for (const QVariantList& row : t.select()) {
        auto text = [&](const char* name) {
            return row.value(t.position(QString::fromLatin1(name))).toString().trimmed();
        };
        out.append({text("gNameGas"), text("gDen"), text("gCO2"), text("gN2"),
                    timestampOf(row.value(t.position(QStringLiteral("gDateTime"))))});
    }
    return out;
}

QList<JoinRow> scheduleRowExchanges(Storage& storage, const QDate& day, int scheduleRow) {
    QList<JoinRow> out;
    // A row replaced since keeps the number it had: it is no longer this row's.
    for (const JoinRow& r : joinRowsOfDay(storage, day))
        if (r.scheduleRow == scheduleRow && r.idJoin.trimmed() == QLatin1String("1") &&
            r.mode == kScheduledJoinMode && r.flagModif.trimmed() == QLatin1String("0"))
            out.append(r);
    return out;
}

QList<JoinRow> dayExchanges(Storage& storage, const QDate& day) {
    QList<JoinRow> out;
    for (const JoinRow& r : joinRowsOfDay(storage, day))
        if (r.mode != 0 && r.idJoin.trimmed() == QLatin1String("1")) out.append(r);
    return out;
}

} // namespace tarn::database
