// poll: the polling console without its window. The same engine polls one point, one group or the
// day's schedule; the console's two message windows become timestamped lines on stderr, and a summary
// per point closes the run.
#include "Cli.h"
#include "CliLink.h"

#include "database/Schema.h"
#include "polling/PollingRun.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <cstdio>

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

} // namespace

// poll --point ID | --group NAME | --schedule [--duty] [--json]
int cmdPoll(CliRun& run) {
    const auto point = run.value(QStringLiteral("--point"));
    const auto group = run.value(QStringLiteral("--group"));
    const bool schedule = run.has(QStringLiteral("--schedule"));
    const bool duty = run.has(QStringLiteral("--duty"));
    if (int(point.has_value()) + int(group.has_value()) + int(schedule) != 1 || (duty && !schedule)) {
        run.notifier->message(MessageKind::Error,
                              QStringLiteral("poll --point ID | --group NAME | --schedule [--duty]"));
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
    const auto toStderr = [](const QString& line, polling::LineColour) {
        std::fprintf(stderr, "%s\n", line.toUtf8().constData());
    };
    QObject::connect(&poll, &polling::PollingRun::message, toStderr);
    QObject::connect(&poll, &polling::PollingRun::sequence, toStderr);
    poll.reloadPoints();
    poll.reloadGroups();

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
        const polling::Group g = polling::loadGroup(ctx.root(), poll.groups().at(index).file);
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
            if (QFileInfo::exists(ctx.settingsFiles().settingsPath()))
                link::loadSettings(ctx.settingsFiles(), fresh);
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
