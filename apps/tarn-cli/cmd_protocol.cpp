// protocol poll | list | exchanges: the polling protocols and lists as the report window writes them, and
// the join table's views of the polling console.
#include "Cli.h"

#include "common/Language.h"
#include "common/TextFile.h"
#include "database/Registry.h"
#include "polling/PollingProtocols.h"
#include "polling/PollingRun.h"

#include <QFileInfo>
#include <QJsonArray>

namespace tarn::cli {

namespace {

using polling::PointFilter;

// "dd.MM.yyyy HH:mm", or a date alone: its first minute for a beginning, its last second for an end.
std::optional<QDateTime> timeOption(CliRun& run, const char* name, bool end) {
    const QString text = run.value(QString::fromLatin1(name)).value_or(QString()).trimmed();
    QDateTime t = QDateTime::fromString(text, QStringLiteral("dd.MM.yyyy HH:mm"));
    if (!t.isValid()) {
        const QDate d = QDate::fromString(text, QStringLiteral("dd.MM.yyyy"));
        if (d.isValid()) t = QDateTime(d, end ? QTime(23, 59, 59) : QTime(0, 0));
    }
    if (!t.isValid()) {
        run.notifier->message(
            MessageKind::Error,
            uaRu(run.context->languageIndex(), "ПОМИЛКА ФОРМАТУ ДАТИ : ", "ОШИБКА ФОРМАТА ДАТЫ : ") + text);
        return std::nullopt;
    }
    return t;
}

// The object and the selection of the points: --point ID (that point alone), --group NAME, --gas (lists
// only) or --points with the registry's search filters. Returns false (and says why) when they do not fit.
bool chooseObject(CliRun& run, polling::ProtocolOptions& o, bool gasAllowed) {
    const bool point = run.has(QStringLiteral("--point")), group = run.has(QStringLiteral("--group")),
               gas = run.has(QStringLiteral("--gas")), points = run.has(QStringLiteral("--points"));
    if (int(point) + int(group) + int(gas) + int(points) != 1 || (gas && !gasAllowed)) {
        run.notifier->message(
            MessageKind::Error,
            gasAllowed ? QStringLiteral("protocol list: one of --points, --group NAME, --gas")
                       : QStringLiteral("protocol poll: one of --point ID, --points, --group NAME"));
        return false;
    }
    o.languageIndex = run.context->languageIndex();
    if (point) {
        o.object = polling::ProtocolObject::Points;
        o.currentPoint = run.value(QStringLiteral("--point"));
        o.currentOnly = true;
    } else if (group) {
        o.object = polling::ProtocolObject::Group;
        o.group = *run.value(QStringLiteral("--group"));
        o.groups = &run.context->groupFiles();
    } else if (gas) {
        o.object = polling::ProtocolObject::Gas;
    }
    static const std::pair<const char*, PointFilter> kFilters[] = {
        {"--model", PointFilter::Model},      {"--serial", PointFilter::Serial},
        {"--org", PointFilter::Organisation}, {"--org-phone", PointFilter::OrgPhone},
        {"--owner", PointFilter::Owner},      {"--phone", PointFilter::Phone}};
    for (const auto& [flag, filter] : kFilters)
        if (const auto v = run.value(QString::fromLatin1(flag))) {
            if (!points) {
                run.notifier->message(MessageKind::Error,
                                      QStringLiteral("protocol: the filters go with --points"));
                return false;
            }
            o.filters.set(filter, *v);
        }
    return true;
}

std::optional<QDateTime> madeAt(CliRun& run) {
    const auto made = run.value(QStringLiteral("--made"));
    if (!made) return QDateTime::currentDateTime();
    const QDateTime at = QDateTime::fromString(*made, QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    if (!at.isValid()) {
        run.notifier->message(MessageKind::Error, QStringLiteral("protocol: --made \"dd.MM.yyyy HH:mm:ss\""));
        return std::nullopt;
    }
    return at;
}

// The title line and the protocol's lines, on stdout (UTF-8) or in a file as the report window saves
// its text (Windows-1251, CR LF).
int deliver(CliRun& run, const polling::ProtocolText& text, const QString& title) {
    if (!text.ready) {
        run.notifier->message(MessageKind::Warning, text.message);
        if (run.options.json)
            run.printJson({{QStringLiteral("ready"), false}, {QStringLiteral("message"), text.message}});
        return kExitRefused;
    }
    const QStringList lines = QStringList{title} + text.lines;
    if (const auto out = run.value(QStringLiteral("--out"))) {
        const QString path = QFileInfo(*out).absoluteFilePath();
        if (!writeTextLines(path, lines)) {
            run.notifier->message(MessageKind::Error, QStringLiteral("cannot write ") + path);
            return kExitUsage;
        }
        if (run.options.json)
            run.printJson({{QStringLiteral("ready"), true},
                           {QStringLiteral("file"), path},
                           {QStringLiteral("lines"), lines.size()}});
        return kExitOk;
    }
    if (run.options.json) {
        run.printJson(
            {{QStringLiteral("ready"), true}, {QStringLiteral("lines"), QJsonArray::fromStringList(lines)}});
        return kExitOk;
    }
    for (const QString& l : lines)
        *run.out << l << "\n";
    run.out->flush();
    return kExitOk;
}

const database::Point* currentPointOf(const polling::ProtocolOptions& o, const database::Registry& registry,
                                      std::optional<database::Point>& holder) {
    if (!o.currentPoint) return nullptr;
    holder = registry.find(*o.currentPoint);
    return holder ? &*holder : nullptr;
}

int pollCommand(CliRun& run) {
    polling::PollProtocolOptions o;
    if (!chooseObject(run, o, false)) return kExitUsage;
    o.connections = run.has(QStringLiteral("--connections"));
    const bool from = run.has(QStringLiteral("--from")), to = run.has(QStringLiteral("--to"));
    if (from != to || (from && run.has(QStringLiteral("--latest")))) {
        run.notifier->message(MessageKind::Error,
                              QStringLiteral("protocol poll: --from with --to, or --latest"));
        return kExitUsage;
    }
    if (from) {
        const auto b = timeOption(run, "--from", false);
        const auto e = timeOption(run, "--to", true);
        if (!b || !e) return kExitUsage;
        if (*b > *e) {
            run.notifier->message(
                MessageKind::Error,
                uaRu(run.context->languageIndex(), "ПОМИЛКА! ПОЧАТОК > КІНЦЯ", "ОШИБКА!!! НАЧАЛО > КОНЦА"));
            return kExitUsage;
        }
        o.window = true;
        o.from = *b;
        o.to = *e;
    }
    if (const auto type = run.value(QStringLiteral("--type"))) {
        static const QStringList kTypes{QStringLiteral("модем БД"), QStringLiteral("кабель БД"),
                                        QStringLiteral("ДТУ"), QStringLiteral("файл"),
                                        QStringLiteral("кабель")};
        if (!kTypes.contains(*type) || o.connections) {
            run.notifier->message(MessageKind::Error, QStringLiteral("protocol poll: --type ") +
                                                          kTypes.join(QLatin1Char('|')) +
                                                          QStringLiteral(" (storing runs only)"));
            return kExitUsage;
        }
        o.pollType = *type;
    }
    const auto now = madeAt(run);
    if (!now) return kExitUsage;
    database::Storage* storage = installationStorage(run);
    if (!storage) return kExitNoLink;
    const polling::ProtocolText text = polling::pollProtocol(run.context->root(), *storage, o);
    std::optional<database::Point> current;
    const database::Registry registry(run.context->root(), *storage);
    return deliver(run, text,
                   polling::protocolTitleLine(true, o, currentPointOf(o, registry, current), *now));
}

int listCommand(CliRun& run) {
    polling::PointListOptions o;
    if (!chooseObject(run, o, true)) return kExitUsage;
    o.full = run.has(QStringLiteral("--full"));
    const auto now = madeAt(run);
    if (!now) return kExitUsage;
    database::Storage* storage = installationStorage(run);
    if (!storage) return kExitNoLink;
    const polling::ProtocolText text = polling::pointList(run.context->root(), *storage, o);
    std::optional<database::Point> current;
    const database::Registry registry(run.context->root(), *storage);
    return deliver(run, text,
                   polling::protocolTitleLine(false, o, currentPointOf(o, registry, current), *now));
}

int exchangesCommand(CliRun& run) {
    const int lang = run.context->languageIndex();
    QDate day = QDate::currentDate();
    if (const auto d = run.value(QStringLiteral("--date"))) {
        day = QDate::fromString(*d, QStringLiteral("dd.MM.yyyy"));
        if (!day.isValid()) {
            run.notifier->message(MessageKind::Error,
                                  uaRu(lang, "ПОМИЛКА ФОРМАТУ ДАТИ : ", "ОШИБКА ФОРМАТА ДАТЫ : ") + *d);
            return kExitUsage;
        }
    }
    std::optional<int> rowNumber;
    if (const auto r = run.value(QStringLiteral("--row"))) {
        bool ok = false;
        rowNumber = r->toInt(&ok);
        if (!ok || *rowNumber < 1) {
            run.notifier->message(MessageKind::Error, QStringLiteral("protocol exchanges: --row 1, 2, …"));
            return kExitUsage;
        }
    }
    database::Storage* storage = installationStorage(run);
    if (!storage) return kExitNoLink;
    polling::ExchangesView view;
    if (rowNumber) {
        // The row as that day's schedule has it, with what the join table says was done.
        const polling::DaySchedule schedule =
            polling::scheduleOfToday(run.context->groupFiles(), *storage, QDateTime(day, QTime(0, 0)));
        view.error = polling::exchangesNoDataText(lang);
        for (const polling::ScheduleRow& r : schedule.rows)
            if (r.number == *rowNumber) view = polling::rowExchangesView(*storage, day, r, lang);
    } else {
        view = polling::dayExchangesView(*storage, day, lang);
    }
    if (!view.ok()) {
        run.notifier->message(MessageKind::Error, view.error);
        if (run.options.json) run.printJson({{QStringLiteral("error"), view.error}});
        return kExitRefused;
    }
    if (const auto out = run.value(QStringLiteral("--out"))) {
        QStringList texts;
        for (const polling::ViewLine& l : view.lines)
            texts.append(l.text);
        const QString path = QFileInfo(*out).absoluteFilePath();
        if (!writeTextLines(path, texts)) {
            run.notifier->message(MessageKind::Error, QStringLiteral("cannot write ") + path);
            return kExitUsage;
        }
        if (run.options.json)
            run.printJson({{QStringLiteral("ready"), true},
                           {QStringLiteral("file"), path},
                           {QStringLiteral("lines"), texts.size()}});
        return kExitOk;
    }
    if (run.options.json) {
        QJsonArray lines;
        for (const polling::ViewLine& l : view.lines)
            lines.append(
                QJsonObject{{QStringLiteral("text"), l.text},
                            {QStringLiteral("colour"), l.colour == polling::LineColour::Red    ? "red"
                                                       : l.colour == polling::LineColour::Blue ? "blue"
                                                                                               : "black"}});
        run.printJson({{QStringLiteral("lines"), lines}});
        return kExitOk;
    }
    for (const polling::ViewLine& l : view.lines)
        *run.out << l.text << "\n";
    run.out->flush();
    return kExitOk;
}

} // namespace

int cmdProtocol(CliRun& run) {
    const QString what = run.args.value(0);
    if (what == QLatin1String("poll")) return pollCommand(run);
    if (what == QLatin1String("list")) return listCommand(run);
    if (what == QLatin1String("exchanges")) return exchangesCommand(run);
    run.notifier->message(MessageKind::Error, QStringLiteral("protocol poll|list|exchanges"));
    return kExitUsage;
}

} // namespace tarn::cli
