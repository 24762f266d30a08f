#include "Cli.h"

#include "common/Language.h"
#include "common/TextFile.h"
#include "database/Registry.h"
#include "polling/GroupAlarms.h"
#include "polling/GroupSummary.h"
#include "polling/Groups.h"
#include "polling/LastRecords.h"
#include "polling/PollingRun.h"
#include "polling/Schedule.h"

#include <QJsonArray>
#include <QRegularExpression>

namespace tarn::cli {

namespace {

QJsonObject groupJson(const polling::GroupEntry& e, const polling::Group& g) {
    return {{QStringLiteral("name"), e.name.trimmed()},
            {QStringLiteral("file"), e.file},
            {QStringLiteral("mark"), e.mark},
            {QStringLiteral("schedule"), QJsonArray::fromStringList(g.schedule)},
            {QStringLiteral("flags"), g.flags},
            {QStringLiteral("points"), QJsonArray::fromStringList(g.memberIdentifiers())}};
}

QList<polling::ScheduledGroup> scheduledGroups(const database::GroupFiles& files) {
    QList<polling::ScheduledGroup> groups;
    for (const polling::GroupEntry& e : polling::loadGroupList(files))
        groups.append(
            {e.name, polling::scheduleString(polling::groupListEntry(e, polling::loadGroup(files, e.file)))});
    return groups;
}

// After a group changed, today's join rows follow the new schedule, as after the configurator's save.
void rescheduleToday(CliRun& run, const QString& changedGroup) {
    if (database::Storage* storage = installationStorage(run, false))
        polling::scheduleOfToday(run.context->groupFiles(), *storage, QDateTime::currentDateTime(), true,
                                 changedGroup);
}

// "dd.MM.yyyy HH:mm", or a date alone with the time given.
QDateTime periodTime(const QString& text, const QTime& withoutTime) {
    const QString t = text.trimmed();
    const QDateTime full = QDateTime::fromString(t, QStringLiteral("dd.MM.yyyy HH:mm"));
    if (full.isValid()) return full;
    const QDate date = QDate::fromString(t, QStringLiteral("dd.MM.yyyy"));
    return date.isValid() ? QDateTime(date, withoutTime) : QDateTime();
}

// --from and --to; false (after saying so) when either is missing or not a date.
bool periodOf(CliRun& run, const QTime& endWithoutTime, QDateTime& from, QDateTime& to) {
    from = periodTime(run.value(QStringLiteral("--from")).value_or(QString()), QTime(0, 0));
    to = periodTime(run.value(QStringLiteral("--to")).value_or(QString()), endWithoutTime);
    if (from.isValid() && to.isValid()) return true;
    run.notifier->message(
        MessageKind::Error,
        QStringLiteral("group: --from and --to are \"dd.MM.yyyy\" or \"dd.MM.yyyy HH:mm\""));
    return false;
}

bool writeOut(CliRun& run, const QStringList& lines) {
    const auto out = run.value(QStringLiteral("--out"));
    if (!out) return true;
    if (writeTextLines(*out, lines)) return true;
    run.notifier->message(MessageKind::Error, QStringLiteral("cannot write ") + *out);
    return false;
}

QJsonArray tableJson(const QList<QStringList>& rows) {
    QJsonArray a;
    for (const QStringList& r : rows)
        a.append(QJsonArray::fromStringList(r));
    return a;
}

// A table as lines of tab-separated cells, the headings first.
void printTabSeparated(QTextStream& out, const QStringList& headings, const QList<QStringList>& rows) {
    out << headings.join(QLatin1Char('\t')) << "\n";
    for (const QStringList& r : rows)
        out << r.join(QLatin1Char('\t')) << "\n";
}

// group summary NAME --archive hourly|daily --from … --to … [--tables]
int groupSummary(CliRun& run, const QString& name, database::Storage& storage) {
    const QString archive = run.value(QStringLiteral("--archive")).value_or(QString());
    if (archive != QLatin1String("hourly") && archive != QLatin1String("daily")) {
        run.notifier->message(MessageKind::Error, QStringLiteral("group summary: --archive hourly|daily"));
        return kExitUsage;
    }
    polling::SummaryRequest request;
    request.groupName = name;
    request.archive =
        archive == QLatin1String("hourly") ? polling::SummaryArchive::Hourly : polling::SummaryArchive::Daily;
    request.memberTables = run.has(QStringLiteral("--tables"));
    if (!periodOf(run, QTime(23, 0), request.from, request.to)) return kExitUsage;
    polling::GroupSummary summary(run.context->root(), run.context->groupFiles(), storage, *run.notifier,
                                  run.context->languageIndex());
    if (const QString refused = summary.open(request); !refused.isEmpty()) {
        run.notifier->message(MessageKind::Error, refused);
        return polling::findGroupByName(run.context->groupFiles(), name) || name.trimmed().isEmpty()
                   ? kExitUsage
                   : kExitRefused;
    }
    while (summary.step()) {
    }
    // A member without its parameter file: the notifier has said so.
    if (!summary.finished()) return kExitNoLink;
    const bool hourly = summary.hourly();
    QList<QStringList> intervals, statuses, totals;
    for (const polling::IntervalRow& r : summary.intervals())
        intervals.append(r.cells(hourly));
    for (const polling::MemberStatus& m : summary.statuses())
        statuses.append(m.cells());
    for (const polling::MemberTotal& m : summary.totals())
        totals.append(m.cells());
    if (run.options.json) {
        QJsonArray own;
        for (const QList<QStringList>& t : summary.memberTables())
            own.append(tableJson(t));
        run.printJson({{QStringLiteral("title"), summary.title()},
                       {QStringLiteral("begin"), summary.periodBegin()},
                       {QStringLiteral("end"), summary.periodEnd()},
                       {QStringLiteral("intervals"), tableJson(intervals)},
                       {QStringLiteral("members"), tableJson(statuses)},
                       {QStringLiteral("totals"), tableJson(totals)},
                       {QStringLiteral("memberTables"), own}});
        return kExitOk;
    }
    QTextStream& out = *run.out;
    out << summary.title() << "\n" << summary.periodBegin() << " - " << summary.periodEnd() << "\n\n";
    printTabSeparated(out, polling::intervalHeadings(), intervals);
    out << "\n";
    printTabSeparated(out, polling::memberStatusHeadings(), statuses);
    out << "\n";
    printTabSeparated(out, polling::memberTotalHeadings(), totals);
    for (int i = 0; i < summary.memberTables().size(); ++i) {
        out << "\n" << (i + 1) << "\n";
        printTabSeparated(out, polling::intervalHeadings(), summary.memberTables().at(i));
    }
    out.flush();
    return kExitOk;
}

// group alarms NAME --from … --to … [--out FILE]: the table with the mask of Current/mask_nhs.000.
int groupAlarms(CliRun& run, const QString& name, database::Storage& storage) {
    QDateTime from, to;
    if (!periodOf(run, QTime(23, 59, 59), from, to)) return kExitUsage;
    const DataRoot& root = run.context->root();
    const database::GroupFiles& groups = run.context->groupFiles();
    const polling::GroupAlarmTable table =
        polling::groupAlarmTable(root, groups, storage, *run.notifier, run.context->languageIndex(), name,
                                 from, to, polling::loadAlarmMask(root));
    if (!table.refused.isEmpty()) {
        run.notifier->message(MessageKind::Error, table.refused);
        return polling::findGroupByName(groups, name) || name.trimmed().isEmpty() ? kExitUsage : kExitRefused;
    }
    if (!table.failure.isEmpty()) return kExitNoLink;
    if (!writeOut(run, table.lines)) return kExitNoLink;
    if (run.options.json) {
        run.printJson({{QStringLiteral("lines"), QJsonArray::fromStringList(table.lines)}});
        return kExitOk;
    }
    for (const QString& l : table.lines)
        *run.out << l << "\n";
    run.out->flush();
    return kExitOk;
}

// group members NAME [--out FILE]: the member list, a member lagging behind the group marked "late".
int groupMembers(CliRun& run, const polling::GroupEntry& entry, database::Storage& storage) {
    const DataRoot& root = run.context->root();
    const database::Registry registry(root, storage);
    const polling::GroupMemberList list = polling::groupMemberList(
        storage, registry, polling::loadGroup(run.context->groupFiles(), entry.file));
    if (!writeOut(run, polling::memberListFileLines(list))) return kExitNoLink;
    if (run.options.json) {
        QJsonArray lines;
        for (const polling::MemberListLine& l : list.lines)
            lines.append(QJsonObject{{QStringLiteral("line"), l.text},
                                     {QStringLiteral("identifier"), l.identifier},
                                     {QStringLiteral("late"), l.late}});
        run.printJson({{QStringLiteral("title"), list.title},
                       {QStringLiteral("banner"), QJsonArray::fromStringList(list.banner)},
                       {QStringLiteral("members"), lines}});
        return kExitOk;
    }
    *run.out << list.title << "\n";
    for (const QString& l : list.banner)
        *run.out << l << "\n";
    for (const polling::MemberListLine& l : list.lines)
        *run.out << l.text << (l.late ? "\tlate" : "") << "\n";
    run.out->flush();
    return kExitOk;
}
} // namespace

// group list | show NAME | save NAME --points ID,… [--schedule W,…] [--flags F] | delete NAME: the polling
// groups, kept exactly as the group configurator keeps them.
int cmdGroup(CliRun& run) {
    const DataRoot& root = run.context->root();
    database::GroupFiles& groups = run.context->groupFiles();
    const int lang = run.context->languageIndex();
    const QString what = run.args.value(0, QStringLiteral("list"));
    const QString name = run.args.mid(1).join(QLatin1Char(' '));
    if (what == QLatin1String("list")) {
        QJsonArray list;
        for (const polling::GroupEntry& e : polling::loadGroupList(groups)) {
            const polling::Group g = polling::loadGroup(groups, e.file);
            if (run.options.json)
                list.append(groupJson(e, g));
            else
                *run.out << (e.mark ? "1 " : "0 ") << polling::groupListEntry(e, g) << "\n";
        }
        if (run.options.json) run.printJson({{QStringLiteral("groups"), list}});
        run.out->flush();
        return kExitOk;
    }
    if (what == QLatin1String("summary") || what == QLatin1String("alarms") ||
        what == QLatin1String("members")) {
        database::Storage* storage = installationStorage(run);
        if (!storage) return kExitNoLink;
        if (what == QLatin1String("summary")) return groupSummary(run, name, *storage);
        if (what == QLatin1String("alarms")) return groupAlarms(run, name, *storage);
        const auto entry = polling::findGroupByName(groups, name);
        if (!entry) {
            run.notifier->message(MessageKind::Error,
                                  name.trimmed().isEmpty()
                                      ? uaRu(lang, "Не вибрано групу!!!", "Не выбрана группа!!!")
                                      : uaRu(lang, "НЕ ВИЗНАЧЕНА ГРУПА", "НЕ ОПРЕДЕЛЕНА ГРУППА"));
            return name.trimmed().isEmpty() ? kExitUsage : kExitRefused;
        }
        return groupMembers(run, *entry, *storage);
    }
    if (what != QLatin1String("show") && what != QLatin1String("save") && what != QLatin1String("delete")) {
        run.notifier->message(MessageKind::Error,
                              QStringLiteral("group list|show NAME|save NAME …|delete NAME|summary NAME …|"
                                             "alarms NAME …|members NAME"));
        return kExitUsage;
    }
    const auto existing = polling::findGroupByName(groups, name);
    if (what == QLatin1String("show") || what == QLatin1String("delete")) {
        if (!existing) {
            run.notifier->message(MessageKind::Error,
                                  uaRu(lang, "НЕ ВИЗНАЧЕНА ГРУПА", "НЕ ОПРЕДЕЛЕНА ГРУППА"));
            return kExitRefused;
        }
        if (what == QLatin1String("delete")) {
            const QString failed = polling::deleteGroup(groups, existing->file, lang);
            if (!failed.isEmpty()) {
                run.notifier->message(MessageKind::Error, failed);
                return kExitUsage;
            }
            rescheduleToday(run, existing->name);
            if (run.options.json)
                run.printJson({{QStringLiteral("deleted"), existing->name.trimmed()},
                               {QStringLiteral("file"), existing->file}});
            return kExitOk;
        }
        const polling::Group g = polling::loadGroup(groups, existing->file);
        if (run.options.json) {
            run.printJson(groupJson(*existing, g));
        } else {
            *run.out << polling::groupListEntry(*existing, g) << "\n" << g.flags << "\n";
            for (const polling::GroupMember& m : g.members)
                *run.out << (m.member ? "1 " : "0 ") << m.line << "\n";
            run.out->flush();
        }
        return kExitOk;
    }

    // save: the registry's points, the chosen ones members.
    if (const QString refused = polling::checkGroupNameCharacters(name, lang); !refused.isEmpty()) {
        run.notifier->message(MessageKind::Error, refused);
        return kExitUsage;
    }
    polling::Group group = existing ? polling::loadGroup(groups, existing->file) : polling::Group{};
    // What the group was when read: a save by another workstation in between is not written over.
    std::optional<QByteArray> opened;
    if (existing) {
        Error unread;
        opened = groups.read(existing->file, unread);
    }
    group.name = name;
    if (!existing) group.flags = QStringLiteral("0110000000");
    if (const auto flags = run.value(QStringLiteral("--flags"))) {
        static const QRegularExpression kFlags(QStringLiteral("^0[01]{9}$"));
        if (!kFlags.match(*flags).hasMatch()) {
            run.notifier->message(MessageKind::Error, QStringLiteral("group: --flags is \"0\" and nine 0/1"));
            return kExitUsage;
        }
        group.flags = *flags;
    }
    if (const auto schedule = run.value(QStringLiteral("--schedule"))) {
        group.schedule.clear();
        for (const QString& window : schedule->split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QStringList parts = window.trimmed().split(QLatin1Char('-'));
            if (parts.size() != 3) {
                run.notifier->message(MessageKind::Error,
                                      QStringLiteral("group: a window is HH:MM-HH:MM-HH:MM, not ") +
                                          window.trimmed());
                return kExitUsage;
            }
            const QTime begin = QTime::fromString(parts.value(0), QStringLiteral("HH:mm"));
            const QTime end = QTime::fromString(parts.value(1), QStringLiteral("HH:mm"));
            const QTime period = QTime::fromString(parts.value(2), QStringLiteral("HH:mm"));
            const QString refused = period.isValid()
                                        ? polling::checkNewWindow(group.schedule, begin, end, lang)
                                        : QStringLiteral("group: a window is HH:MM-HH:MM-HH:MM");
            if (!refused.isEmpty()) {
                run.notifier->message(MessageKind::Error, refused);
                return kExitUsage;
            }
            group.schedule.append(polling::windowText(begin, end, period));
        }
    }
    // Layouts that do not load leave the registry closed: every point given is then unknown.
    installationStorage(run, false);
    const database::Registry registry(root, run.context->storage());
    QStringList chosen = group.memberIdentifiers();
    if (const auto points = run.value(QStringLiteral("--points")))
        chosen = points->split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString& id : chosen)
        id = id.trimmed();
    if (const auto points = run.value(QStringLiteral("--points"))) {
        // A point that is not registered would silently be left out of the group.
        QStringList unknown;
        for (const QString& id : chosen)
            if (!registry.find(id)) unknown.append(id);
        if (!unknown.isEmpty()) {
            run.notifier->message(MessageKind::Error, QStringLiteral("group: not in the registry: ") +
                                                          unknown.join(QStringLiteral(", ")));
            return kExitUsage;
        }
    }
    group.members.clear();
    for (const QString& line : registry.pollingList()) {
        const polling::GroupMember m{false, line};
        group.members.append({chosen.contains(m.identifier()), line});
    }
    const polling::GroupSaveResult r = polling::saveGroup(
        groups, {existing ? existing->file : QString(), existing ? existing->name : QString(), group}, lang,
        QDateTime::currentDateTime(), [](const QString&) { return true; }, opened);
    if (!r.error.isEmpty()) {
        run.notifier->message(MessageKind::Error, r.error);
        return r.badName ? kExitUsage : kExitRefused;
    }
    const QString kept = polling::keptGroupName(name);
    // A name longer than the group list holds is cut: the user is told what to call the group from now on.
    if (kept != name.trimmed())
        run.notifier->message(MessageKind::Warning,
                              QStringLiteral("group: the name is cut to 20 characters, saved as \"") + kept +
                                  QStringLiteral("\""));
    rescheduleToday(run, existing ? existing->name : kept);
    const auto saved = polling::findGroupByName(groups, kept);
    if (!saved) {
        run.notifier->message(MessageKind::Error,
                              QStringLiteral("group: not in the group list after saving"));
        return kExitNoLink;
    }
    if (run.options.json) run.printJson(groupJson(*saved, polling::loadGroup(groups, r.file)));
    return kExitOk;
}

// schedule [--at HH:MM]: today's schedule from the groups, and the row due at the time given (or now).
int cmdSchedule(CliRun& run) {
    const database::GroupFiles& groups = run.context->groupFiles();
    database::Storage* storage = installationStorage(run, false);
    // With the database, the rows show what was polled today already.
    polling::DaySchedule day = storage
                                   ? polling::scheduleOfToday(groups, *storage, QDateTime::currentDateTime())
                                   : polling::buildDaySchedule(scheduledGroups(groups), QDate::currentDate());
    QTime at = QTime::currentTime();
    if (const auto given = run.value(QStringLiteral("--at"))) {
        at = QTime::fromString(*given, QStringLiteral("HH:mm"));
        if (!at.isValid()) {
            run.notifier->message(MessageKind::Error, QStringLiteral("schedule: --at HH:MM"));
            return kExitUsage;
        }
    }
    const int due = polling::findDueRow(day, at.hour() * 60 + at.minute());
    if (run.options.json) {
        QJsonArray rows;
        for (const polling::ScheduleRow& r : day.rows)
            rows.append(QJsonObject{{QStringLiteral("number"), r.number},
                                    {QStringLiteral("group"), r.group.trimmed()},
                                    {QStringLiteral("begin"), r.begin},
                                    {QStringLiteral("end"), r.end},
                                    {QStringLiteral("status"), r.status}});
        run.printJson({{QStringLiteral("title"), day.title()},
                       {QStringLiteral("rows"), rows},
                       {QStringLiteral("due"), due < 0 ? QJsonValue() : QJsonValue(due + 1)}});
        return kExitOk;
    }
    *run.out << day.title() << "\n";
    for (const polling::ScheduleRow& r : day.rows)
        *run.out << r.number << "\t" << r.group.trimmed() << "\t" << r.begin << "\t" << r.end << "\t"
                 << r.polled << "\t" << r.status << (r.number == due + 1 ? "\t<- due" : "") << "\n";
    run.out->flush();
    return kExitOk;
}

} // namespace tarn::cli
