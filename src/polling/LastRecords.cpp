#include "polling/LastRecords.h"
#include "polling/TextCells.h"

#include "database/GroupQueries.h"
#include "polling/GroupMembers.h"

namespace tarn::polling {

namespace {

QString gridLine(const LastRecordsRow& row) {
    return QLatin1Char('|') + row[0].leftJustified(20, QLatin1Char(' ')) + QLatin1Char('|') +
           row[1].leftJustified(23, QLatin1Char(' ')) + QLatin1Char('|') +
           row[2].leftJustified(23, QLatin1Char(' ')) + QLatin1Char('|');
}

// The request log's last row: when the member was last stored.
QDateTime lastStoring(database::Storage& storage, const QString& identifier) {
    const database::StoredRecords last =
        database::lastRecord(storage, database::TableKind::RequestLog, identifier);
    return last.rows.isEmpty() ? QDateTime() : database::storedTimestampValue(last.value(0, "DateTime"));
}

} // namespace

QString noDataText() {
    return QStringLiteral("В БД нет данных!!!");
}

std::optional<LastRecordsView> lastRecordsOf(database::Storage& storage, const database::Registry& registry,
                                             const QString& identifier) {
    using database::TableKind;
    const auto point = registry.find(identifier);
    if (!point) return std::nullopt;
    struct Kind {
        TableKind kind;
        const char* label;
    };
    static constexpr Kind kKinds[] = {
        {TableKind::Hourly, "часовой архив"},      {TableKind::Daily, "суточный архив"},
        {TableKind::Monthly, "месячный архив"},    {TableKind::Interference, "изменений архив"},
        {TableKind::Alarm, "аварийный архив"},     {TableKind::Operative, "оперативный архив"},
        {TableKind::Service, "служебный архив"},   {TableKind::Measurement, "текущий замер"},
        {TableKind::RequestLog, "последний опрос"}};
    LastRecordsView view;
    view.title = point->model.trimmed() + QStringLiteral(" №") + point->serial.trimmed() +
                 QStringLiteral(" владелец:") + point->config[database::config::Owner].trimmed();
    view.rows.append(
        {QString(), QStringLiteral("время записи в БД"), QStringLiteral("время записи в прибор")});
    for (const Kind& k : kKinds) {
        LastRecordsRow row{QString::fromUtf8(k.label), kNone, kNone};
        const database::StoredRecords last = database::lastRecord(storage, k.kind, identifier);
        if (!last.rows.isEmpty()) {
            const QDateTime stored = database::storedTimestampValue(last.value(0, "DateTime"));
            if (stored.isValid()) row[1] = stored.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
            const bool ownTime = k.kind != TableKind::Measurement && k.kind != TableKind::RequestLog;
            const QDate date = database::storedDateValue(last.value(0, "Date"));
            const QTime time = database::storedTimeValue(last.value(0, "Time"));
            if (ownTime && date.isValid())
                row[2] = date.toString(QStringLiteral("dd.MM.yyyy")) + QLatin1Char(' ') +
                         (time.isValid() ? time.toString(QStringLiteral("HH:mm")) : kNone);
        }
        view.rows.append(row);
    }
    return view;
}

QStringList lastRecordsFileLines(const LastRecordsView& view) {
    const QString rule(gridLine({}).size(), QLatin1Char('-'));
    QStringList out{QStringLiteral("Время последних записей в архивах прибора:"), view.title, rule};
    for (const LastRecordsRow& row : view.rows)
        out << gridLine(row) << rule;
    return out;
}

QString lastRecordsFileName(const QString& identifier, const QDate& today) {
    return identifier + QLatin1Char('_') + today.toString(QStringLiteral("yyMMdd"));
}

int lateToleranceMinutes(int members) {
    const int minutes = 10 * std::max(0, members);
    return std::min(minutes / 60, 23) * 60 + minutes % 60;
}

GroupMemberList groupMemberList(database::Storage& storage, const database::Registry& registry,
                                const Group& group, const MemberListProgress& progress) {
    GroupMemberList list;
    list.title = QStringLiteral("Группа - \"") + group.name.trimmed() + QLatin1Char('"');
    const QString header =
        QStringLiteral("|н.п|Тип прибора |Сер.номер|Владелец                        |Послед. запись в БД|");
    const QString rule(header.size(), QLatin1Char('-'));
    list.banner = QStringList{rule, header, rule};

    const QList<NumberedMember> members = registeredMembers(group, registry);
    const int total = static_cast<int>(members.size()) * 2;
    // First pass: when each member was last stored, and the latest of them.
    QList<QDateTime> stored;
    QDateTime latest;
    for (int i = 0; i < members.size(); ++i) {
        if (progress && !progress(i, total)) return list;
        stored.append(lastStoring(storage, members.at(i).point.identifier));
        if (stored.last().isValid() && (!latest.isValid() || stored.last() > latest)) latest = stored.last();
    }
    const qint64 tolerance = qint64(lateToleranceMinutes(static_cast<int>(members.size()))) * 60;
    // Second pass: the lines.
    for (int i = 0; i < members.size(); ++i) {
        if (progress && !progress(static_cast<int>(members.size()) + i, total)) return list;
        const database::Point& p = members.at(i).point;
        const QDateTime& when = stored.at(i);
        MemberListLine line;
        line.identifier = p.identifier;
        line.text = QLatin1Char('|') +
                    QString::number(members.at(i).number).leftJustified(3, QLatin1Char(' ')) +
                    QLatin1Char('|') + p.model.trimmed().leftJustified(12, QLatin1Char(' ')) +
                    QLatin1Char('|') + p.serial.trimmed().leftJustified(9, QLatin1Char(' ')) +
                    QLatin1Char('|') + cut(p.config[database::config::Owner], 32) + QLatin1Char('|') +
                    (when.isValid() ? when.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")) : kNone)
                        .leftJustified(19, QLatin1Char(' ')) +
                    QLatin1Char('|');
        line.late = !when.isValid() || when.addSecs(tolerance) < latest;
        list.lines.append(line);
    }
    return list;
}

QStringList memberListFileLines(const GroupMemberList& list) {
    QStringList out;
    for (const MemberListLine& l : list.lines)
        out.append(l.text);
    return out;
}

std::optional<std::pair<QString, QString>> pointOfMemberLine(const QString& line) {
    QString model = line.mid(5, 12);
    QString serial = line.mid(18, 9);
    model.remove(QLatin1Char(' '));
    serial.remove(QLatin1Char(' '));
    if (model.isEmpty()) return std::nullopt;
    return std::make_pair(model, serial);
}

} // namespace tarn::polling
