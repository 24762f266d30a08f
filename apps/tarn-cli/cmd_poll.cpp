// poll: the polling console without its window. The same engine polls one point, one group or the
// day's schedule; the console's two message windows become timestamped lines on stderr, and a summary
// per point closes the run.
#include "Cli.h"
#include "CliLink.h"

#include "database/Schema.h"
#include "polling/DayBoard.h"
#include "polling/PollState.h"
#include "polling/PollingRun.h"
#include "shell/Initialisation.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <cstdio>
#include <optional>

namespace tarn::cli {

namespace {

QJsonObject summaryJson(const polling::PointSummary& s) {
    QJsonObject stored;
    for (auto it = s.stored.cbegin(); it != s.stored.cend(); ++it)
        stored.insert(it.key(), it.value());
    QJsonObject o{{QStringLiteral("point"), s.identifier},      {QStringLiteral("name"), s.name},
                  {QStringLiteral("result"), s.result},         {QStringLiteral("stored"), stored},
                  {QStringLiteral("gasWritten"), s.gasWritten}, {QStringLiteral("measured"), s.measured}};
    if (!s.error.isEmpty() && s.error != s.result) o.insert(QStringLiteral("error"), s.error);
    if (s.clockCorrected) o.insert(QStringLiteral("clockCorrection"), s.clockCorrection);
    return o;
}

int indexOfPoint(const polling::PollingRun& run, const QString& identifier) {
    const QStringList& lines = run.pointLines();
    for (int i = 0; i < lines.size(); ++i)
        if (lines.at(i).right(10).trimmed() == identifier.trimmed()) return i;
    return -1;
}

int indexOfGroup(const polling::PollingRun& run, const QString& name) {
    for (int i = 0; i < run.groups().size(); ++i)
        if (run.groups().at(i).name.trimmed() == polling::keptGroupName(name)) return i;
    return -1;
}

bool pendingRows(polling::PollingRun& run) {
    for (const polling::ScheduleRow& r : run.schedule().rows)
        if (r.status == QLatin1String("--") || r.status == QStringLiteral("опрос")) return true;
    return false;
}

const char* livenessName(polling::PollerLiveness l) {
    switch (l) {
    case polling::PollerLiveness::Live:
        return "running";
    case polling::PollerLiveness::ProcessGone:
        return "process-gone";
    case polling::PollerLiveness::TooOld:
        return "too-old";
    }
    return "";
}

// poll --status: the state file a poller keeps and the day's board, so that a server's duty poller can
// be watched without its display. Exit 3 when no poller has left a state file.
int pollStatus(CliRun& run) {
    auto& ctx = *run.context;
    const QDateTime now = QDateTime::currentDateTime();
    const auto state = polling::readPollState(ctx.root());
    QList<polling::BoardRow> board;
    if (ctx.schemas.ok)
        board = polling::dayBoardOf(ctx.groupFiles(), ctx.storage(),
                                    polling::scheduleOfToday(ctx.groupFiles(), ctx.storage(), now), now);
    const polling::PollerLiveness live = state ? polling::pollerLiveness(*state, now, polling::processAlive)
                                               : polling::PollerLiveness::ProcessGone;
    if (run.options.json) {
        QJsonArray points;
        for (const polling::BoardRow& r : board)
            points.append(QJsonObject{{QStringLiteral("group"), r.group},
                                      {QStringLiteral("point"), r.identifier},
                                      {QStringLiteral("name"), r.name.trimmed()},
                                      {QStringLiteral("lastPoll"), r.lastPoll},
                                      {QStringLiteral("result"), r.result},
                                      {QStringLiteral("failed"), r.failed()},
                                      {QStringLiteral("nextWindow"), r.nextWindow},
                                      {QStringLiteral("lagMinutes"), r.lagMinutes}});
        QJsonObject o{{QStringLiteral("points"), points}};
        if (state) {
            QJsonArray failures;
            for (const polling::PollFailure& f : state->failures)
                failures.append(QJsonObject{{QStringLiteral("time"), f.time},
                                            {QStringLiteral("point"), f.identifier},
                                            {QStringLiteral("name"), f.name},
                                            {QStringLiteral("result"), f.result}});
            QJsonObject next;
            if (state->nextRow > 0)
                next = {{QStringLiteral("row"), state->nextRow},
                        {QStringLiteral("group"), state->nextGroup},
                        {QStringLiteral("begin"), state->nextBegin},
                        {QStringLiteral("end"), state->nextEnd}};
            o.insert(QStringLiteral("running"), live == polling::PollerLiveness::Live);
            o.insert(QStringLiteral("liveness"), QLatin1String(livenessName(live)));
            o.insert(QStringLiteral("pid"), state->pid);
            o.insert(QStringLiteral("written"),
                     state->written.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")));
            o.insert(QStringLiteral("mode"), state->mode);
            o.insert(QStringLiteral("state"), state->modeText);
            o.insert(QStringLiteral("group"), state->group);
            o.insert(QStringLiteral("point"), state->point);
            o.insert(QStringLiteral("identifier"), state->identifier);
            o.insert(QStringLiteral("next"), state->nextRow > 0 ? QJsonValue(next) : QJsonValue());
            o.insert(QStringLiteral("failures"), failures);
        } else {
            o.insert(QStringLiteral("running"), false);
            o.insert(QStringLiteral("liveness"), QStringLiteral("no-state"));
        }
        run.printJson(o);
    } else {
        QTextStream& out = *run.out;
        if (!state) {
            out << "poller: none (no " << polling::pollStatePath(ctx.root()) << ")\n";
        } else {
            const QString written = state->written.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
            switch (live) {
            case polling::PollerLiveness::Live:
                out << "poller: running (process " << state->pid << ", state of " << written << ")\n";
                break;
            case polling::PollerLiveness::ProcessGone:
                out << "poller: NOT RUNNING (process " << state->pid << " is gone; last state of " << written
                    << ")\n";
                break;
            case polling::PollerLiveness::TooOld:
                out << "poller: NOT RUNNING (state not renewed since " << written << ")\n";
                break;
            }
            out << "state: " << state->modeText << "\n";
            if (!state->group.isEmpty()) out << "group: " << state->group << "\n";
            if (!state->point.isEmpty())
                out << "point: " << state->point << " (" << state->identifier << ")\n";
            if (state->nextRow > 0)
                out << "next row: " << state->nextRow << "\t" << state->nextGroup << "\t" << state->nextBegin
                    << "-" << state->nextEnd << "\n";
            for (const polling::PollFailure& f : state->failures)
                out << "failed: " << f.time << "\t" << f.identifier << "\t" << f.name << "\t" << f.result
                    << "\n";
        }
        for (const polling::BoardRow& r : board)
            out << r.group << "\t" << r.identifier << "\t" << r.name.trimmed() << "\t" << r.lastPoll << "\t"
                << r.result << "\t" << r.nextWindow << "\t" << polling::lagText(r.lagMinutes) << "\n";
        out.flush();
    }
    return state ? kExitOk : kExitRefused;
}

// The ports of --ports, as the registry's points name them; nothing when the list names none.
std::optional<QStringList> portList(const QString& text) {
    QStringList ports;
    for (const QString& part : text.split(QLatin1Char(',')))
        if (const QString port = part.trimmed(); !port.isEmpty()) ports.append(port);
    if (ports.isEmpty()) return std::nullopt;
    return ports;
}

} // namespace

// poll --point ID | --group NAME | --schedule [--duty] [--ports LIST] [--json]
int cmdPoll(CliRun& run) {
    if (run.has(QStringLiteral("--status"))) {
        auto& ctx = *run.context;
        ctx.schemas = database::loadSchemas(ctx.root());
        return pollStatus(run);
    }
    const auto point = run.value(QStringLiteral("--point"));
    const auto group = run.value(QStringLiteral("--group"));
    const bool schedule = run.has(QStringLiteral("--schedule"));
    const bool duty = run.has(QStringLiteral("--duty"));
    const auto portsText = run.value(QStringLiteral("--ports"));
    const std::optional<QStringList> ports = portsText ? portList(*portsText) : std::nullopt;
    if (int(point.has_value()) + int(group.has_value()) + int(schedule) != 1 || (duty && !schedule) ||
        (portsText && (point || !ports))) {
        run.notifier->message(
            MessageKind::Error,
            QStringLiteral("poll --point ID | --group NAME | --schedule [--duty] [--ports COM1,COM3]"));
        return kExitUsage;
    }
    auto& ctx = *run.context;
    database::writeMissingSchemaFiles(ctx.root());
    ctx.schemas = database::loadSchemas(ctx.root());
    if (!ctx.schemas.ok) {
        run.notifier->message(MessageKind::Error, ctx.schemas.error);
        return kExitRefused;
    }

    CliLink trace(run);
    // A night without its trace is refused before anything is dialled ("cannot write FILE").
    if (!trace.traceReady()) return kExitRefused;
    polling::PollingRun poll(ctx.pollingParts(), ctx.languageIndex());
    if (ports) poll.ports = *ports;
    const auto toStderr = [](const QString& line, polling::LineColour) {
        std::fprintf(stderr, "%s\n", line.toUtf8().constData());
    };
    QObject::connect(&poll, &polling::PollingRun::message, toStderr);
    QObject::connect(&poll, &polling::PollingRun::sequence, toStderr);
    poll.reloadPoints();
    poll.reloadGroups();
    polling::PollStateKeeper stateFile(poll, ctx.root());

    bool started = false;
    if (point) {
        const int index = indexOfPoint(poll, *point);
        if (index < 0) {
            run.notifier->message(MessageKind::Error, QStringLiteral("poll: no point ") + *point);
            return kExitUsage;
        }
        started = poll.startPoint(index);
    } else if (group) {
        const int index = indexOfGroup(poll, *group);
        if (index < 0) {
            run.notifier->message(MessageKind::Error, QStringLiteral("poll: no group ") + *group);
            return kExitUsage;
        }
        started = poll.startGroup(index);
        const polling::Group g = polling::loadGroup(poll.groupFiles(), poll.groups().at(index).file);
        if (!started && g.hasItems() && !poll.checks().contains(true)) {
            // Its points were erased (or its file names points this registry never had): nothing was
            // polled, which an unattended caller must see as a failed run, not as a refusal.
            const QStringList gone = polling::unregisteredMembers(g, poll.pointLines());
            run.notifier->message(
                MessageKind::Error,
                QStringLiteral("poll: no member of the group is in the registry, nothing polled") +
                    (gone.isEmpty() ? QString() : QStringLiteral(": ") + gone.join(QStringLiteral(", "))));
            return kExitNoLink;
        }
    } else {
        started = poll.startSchedule(duty);
        if (started && duty && !pendingRows(poll))
            std::fprintf(
                stderr, "%s\n",
                QStringLiteral("poll: nothing left today, waiting for the next window").toUtf8().constData());
    }
    if (!started) return kExitRefused;

    // SIGTERM or SIGINT: the point in hand ends in order (hang-up, what was read stored), then the run.
    // SIGHUP (systemctl reload): groups, points and settings read again, the run goes on.
    bool interrupted = false;
    const SignalsToEvents signalsToEvents(
        [&] {
            interrupted = true;
            if (poll.running()) poll.stop();
        },
        [&] {
            link::LinkSettings fresh = ctx.settings();
            if (QFileInfo::exists(ctx.settingsFiles().settingsPath()) &&
                link::loadSettings(ctx.settingsFiles(), fresh) == link::LoadResult::Unreadable)
                std::fprintf(
                    stderr, "%s\n",
                    shell::unreadableSettingsText(ctx.languageIndex(), ctx.settingsFiles().settingsPath())
                        .toUtf8()
                        .constData());
            applyLinkOptions(run.options, fresh);
            poll.reload(fresh);
            std::fprintf(stderr, "%s\n",
                         QStringLiteral("poll: groups and settings read again").toUtf8().constData());
        });
    poll.setTimersRunning(true);
    const auto done = [&] {
        if (!poll.running()) return true;
        if (interrupted || !schedule || duty) return false;
        // The day's work is over: nothing pending and no group under way.
        return poll.scheduleState() == 0 && !pendingRows(poll);
    };
    // Duty polling waits for hours between windows: the loop sleeps until the run's own timers wake it.
    runEventsUntil(done, -1);
    if (poll.running()) poll.stop();
    poll.setTimersRunning(false);

    bool allNormal = true;
    QJsonArray points;
    for (const polling::PointSummary& s : poll.summaries()) {
        allNormal = allNormal && s.result == QStringLiteral("норма");
        points.append(summaryJson(s));
    }
    if (run.options.json) {
        run.printJson({{QStringLiteral("points"), points},
                       {QStringLiteral("interrupted"), interrupted},
                       {QStringLiteral("groupFailed"), poll.groupFailed()}});
    } else {
        for (const polling::PointSummary& s : poll.summaries())
            *run.out << s.identifier << "\t" << s.result
                     << (s.error != s.result && !s.error.isEmpty() ? QStringLiteral("\t") + s.error
                                                                   : QString())
                     << "\n";
        run.out->flush();
    }
    if (interrupted) return kExitInterrupted;
    return allNormal ? kExitOk : kExitNoLink;
}

} // namespace tarn::cli
