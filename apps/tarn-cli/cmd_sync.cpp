// Database packages and folder synchronisation from the command line: the same runs the package and
// synchronisation windows drive, with their log lines on stdout.
#include "Cli.h"

#include "CliLink.h"
#include "common/TextFile.h"
#include "database/Registry.h"
#include "polling/ViewerRefresh.h"
#include "shell/Initialisation.h"
#include "sync/FolderSync.h"
#include "sync/GroupPackages.h"
#include "sync/PointPackage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

namespace tarn::cli {

namespace {

QString colourName(sync::LogColour colour) {
    switch (colour) {
    case sync::LogColour::Maroon:
        return QStringLiteral("maroon");
    case sync::LogColour::Blue:
        return QStringLiteral("blue");
    case sync::LogColour::Green:
        return QStringLiteral("green");
    case sync::LogColour::Red:
        return QStringLiteral("red");
    case sync::LogColour::Black:
        break;
    }
    return QStringLiteral("black");
}

QJsonArray entriesJson(const QList<sync::PackageEntryInfo>& entries) {
    QJsonArray list;
    for (const sync::PackageEntryInfo& e : entries)
        list.append(QJsonObject{{QStringLiteral("name"), e.name},
                                {QStringLiteral("compressed"), static_cast<qint64>(e.compressedSize)},
                                {QStringLiteral("size"), e.size}});
    return list;
}

// A group run to its end, its log on stdout (or gathered for --json).
template <typename Run> int runGroup(CliRun& run, Run& group, QJsonArray& log) {
    if (group.start())
        while (group.step()) {
        }
    if (run.options.json)
        run.printJson({{QStringLiteral("ok"), group.succeeded()}, {QStringLiteral("log"), log}});
    return group.succeeded() ? kExitOk : kExitRefused;
}

// The synchronisation's errors again, each with its kind for a script to decide on: the texts stay as
// the user reads them, and a "locked" file is busy, to come in with the next run.
QJsonArray failuresJson(const QList<Error>& failures) {
    QJsonArray out;
    for (const Error& f : failures)
        out.append(
            QJsonObject{{QStringLiteral("text"), f.detail}, {QStringLiteral("kind"), errorKindName(f.kind)}});
    return out;
}

int writePackages(CliRun& run, database::Storage& storage) {
    const database::Schemas& schemas = storage.schemas();
    const DataRoot& root = run.context->root();
    const int lang = run.context->languageIndex();
    QJsonArray log;
    auto logLine = [&](const QString& line, sync::LogColour colour) {
        if (run.options.json)
            log.append(
                QJsonObject{{QStringLiteral("line"), line}, {QStringLiteral("colour"), colourName(colour)}});
        else
            *run.out << line << "\n";
        run.out->flush();
    };
    if (const auto group = run.value(QStringLiteral("--group"))) {
        sync::GroupSaveRun save(root, storage, *group, lang, logLine);
        return runGroup(run, save, log);
    }
    const QString id = run.value(QStringLiteral("--point")).value_or(QString());
    database::Registry registry(root, storage);
    if (!database::isPointIdentifier(id) || !registry.find(id)) {
        run.notifier->message(MessageKind::Error, uaRu(lang, "Немає даних", "Нет данных"));
        return database::isPointIdentifier(id) ? kExitRefused : kExitUsage;
    }
    const QString chosen =
        run.value(QStringLiteral("--out")).value_or(root.file(folder::MailBD, id + QStringLiteral(".tbd")));
    const QString path = sync::packageFileName(chosen);
    if (QFileInfo::exists(path) && !run.has(QStringLiteral("--overwrite"))) {
        run.notifier->confirm(sync::packageOverwriteQuestion(QDir::toNativeSeparators(path), lang));
        return kExitRefused;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    const sync::PackOutcome outcome = sync::packPoint(root, schemas, id, path);
    if (!outcome.ok) {
        run.notifier->message(MessageKind::Error, outcome.message + QStringLiteral(": ") + outcome.error);
        return kExitRefused;
    }
    if (run.options.json)
        run.printJson(
            {{QStringLiteral("package"), path}, {QStringLiteral("entries"), entriesJson(outcome.entries)}});
    else
        *run.out << outcome.message << "\n";
    run.out->flush();
    return kExitOk;
}

int readPackages(CliRun& run, const database::Schemas& schemas) {
    const DataRoot& root = run.context->root();
    const int lang = run.context->languageIndex();
    if (const auto folder = run.value(QStringLiteral("--folder"))) {
        QJsonArray log;
        auto logLine = [&](const QString& line, sync::LogColour colour) {
            if (run.options.json)
                log.append(QJsonObject{{QStringLiteral("line"), line},
                                       {QStringLiteral("colour"), colourName(colour)}});
            else
                *run.out << line << "\n";
            run.out->flush();
        };
        // The packages named after the folder, or every one in it.
        const QStringList files = run.args.size() > 1 ? run.args.mid(1) : sync::packagesInFolder(*folder);
        sync::GroupOpenRun open(root, schemas, *run.notifier, run.context->settings(), *folder, files, lang,
                                logLine);
        return runGroup(run, open, log);
    }
    const QString file = run.args.value(1);
    if (file.isEmpty()) {
        run.notifier->message(MessageKind::Error, QStringLiteral("package read FILE | --folder DIR [FILE…]"));
        return kExitUsage;
    }
    sync::UnpackOptions options;
    options.language = lang;
    options.settings = run.context->settings();
    const bool overwrite = run.has(QStringLiteral("--overwrite"));
    options.confirm = [&](const QString& question) { return overwrite || run.notifier->confirm(question); };
    const sync::UnpackOutcome outcome = sync::unpackPoint(root, schemas, file, *run.notifier, options);
    if (outcome.declined) return kExitRefused;
    if (!outcome.ok) {
        run.notifier->message(MessageKind::Error, outcome.message + QStringLiteral(": ") + outcome.error);
        return kExitRefused;
    }
    if (run.options.json)
        run.printJson(
            {{QStringLiteral("point"), outcome.identifier}, {QStringLiteral("added"), outcome.added}});
    else
        *run.out << (outcome.message.isEmpty() ? outcome.identifier : outcome.message) << "\n";
    run.out->flush();
    return kExitOk;
}

// The clock of the viewer's cycle: the computer's, a second per second; or, for tests, one starting at
// TARN_VIEWER_CLOCK (ISO date and time) that moves a second per tick without waiting.
struct ViewerClock {
    std::optional<QDateTime> fake;
    QDateTime now() const { return fake ? *fake : QDateTime::currentDateTime(); }
    int tickMs() const { return fake ? 0 : 1000; }
    void ticked() {
        if (fake) *fake = fake->addSecs(1);
    }
};

ViewerClock viewerClock() {
    ViewerClock clock;
    const QByteArray start = qgetenv("TARN_VIEWER_CLOCK");
    if (!start.isEmpty())
        if (const QDateTime t = QDateTime::fromString(QString::fromLatin1(start), Qt::ISODate); t.isValid())
            clock.fake = t;
    return clock;
}

// sync viewer [--once]: a viewer workstation's refresh without a display, the console's cycle headless.
int runViewer(CliRun& run) {
    shell::AppContext& ctx = *run.context;
    const int lang = ctx.languageIndex();
    // Reading the settings never ticks "Синхронизация" (the program's user does, in the window); a viewer
    // workstation started without one runs as the saved box says.
    if (const auto lines = readTextLines(ctx.settingsFiles().settingsPath());
        lines && removeSpaces(collapseSpaces(lines->value(17))) == QLatin1String("1"))
        ctx.settings().syncOn = true;
    if (!sync::isSynchronisedCopy(ctx.settings())) {
        run.notifier->message(MessageKind::Error,
                              uaRu(lang, "Синхронізацію не увімкнено в налаштуваннях зв'язку",
                                   "Синхронизация не включена в настройках связи"));
        return kExitRefused;
    }
    const bool once = run.has(QStringLiteral("--once"));
    ViewerClock clock = viewerClock();
    bool interrupted = false;

    // One line per event: a JSON object with --json, else a line of text.
    const auto event = [&](const QJsonObject& object, const QString& text) {
        if (run.options.json)
            *run.out << QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) << "\n";
        else
            *run.out << text << "\n";
        run.out->flush();
    };
    const auto errorEvent = [&](const QString& text) {
        event({{QStringLiteral("event"), QStringLiteral("error")}, {QStringLiteral("text"), text}}, text);
    };

    polling::ViewerRefresh::Steps steps;
    steps.now = [&clock] { return clock.now(); };
    steps.closeTables = [&ctx] { ctx.databaseOpen = false; };
    steps.synchronise = [&] {
        polling::ViewerSyncOutcome outcome;
        sync::FolderSync folderSync(
            ctx.root(),
            run.value(QStringLiteral("--from")).value_or(sync::synchronisationFolder(ctx.settings())), lang);
        if (!folderSync.start()) {
            // Unattended, the copy keeps the data it has and tries again at the next cycle.
            outcome.completed = false;
            outcome.errors.append(sync::checkSyncPathQuestion());
            return outcome;
        }
        // A file at a time; a signal is taken between files, never in the middle of one.
        while (folderSync.step()) {
            QCoreApplication::processEvents();
            if (interrupted) folderSync.stop();
        }
        outcome.completed = !folderSync.stopped() && !folderSync.sourceLost();
        outcome.goOn = !interrupted;
        outcome.copied = folderSync.copied();
        outcome.missing = folderSync.missing();
        outcome.errors = folderSync.errors();
        outcome.failures = folderSync.failures();
        return outcome;
    };
    steps.checkTables = [&ctx] { return shell::checkTablesBeforeStart(ctx); };
    steps.startDatabase = [&ctx] { return shell::startDatabase(ctx); };
    steps.markerWritten = [&](const QString& name, bool written) {
        const QString path = QStringLiteral("Synchr/") + name;
        event({{QStringLiteral("event"), QStringLiteral("marker")},
               {QStringLiteral("file"), path},
               {QStringLiteral("written"), written}},
              (written ? QStringLiteral("written ") : QStringLiteral("not written ")) + path);
    };
    polling::ViewerRefresh refresh(ctx.root(), *run.notifier, steps);
    refresh.setConsoleError(errorEvent);

    const auto cycleEvent = [&] {
        const std::optional<qint64> elapsed = refresh.elapsed();
        event({{QStringLiteral("event"), QStringLiteral("cycle")},
               {QStringLiteral("elapsedSeconds"), elapsed ? QJsonValue(*elapsed) : QJsonValue()},
               {QStringLiteral("waitSeconds"), refresh.waitLeft()},
               {QStringLiteral("startSeconds"), refresh.startLeft()}},
              QStringLiteral("cycle: Wait.000 in %1 s, Start.000 in %2 s")
                  .arg(refresh.waitLeft())
                  .arg(refresh.startLeft()));
    };
    // Taken before the first line goes out, so a signal that follows it always ends the run in order.
    const SignalsToEvents signalsToEvents([&] { interrupted = true; });
    if (!refresh.begin()) {
        run.notifier->message(MessageKind::Error,
                              uaRu(lang, "Циклічну синхронізацію БД вимкнено (Synchr/Inst.000)",
                                   "Циклическая синхронизация БД выключена (Synchr/Inst.000)"));
        return kExitRefused;
    }
    cycleEvent();

    int code = kExitOk;
    bool done = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (interrupted) {
            done = true;
            return;
        }
        clock.ticked();
        const polling::ViewerRefresh::Event e = refresh.tick();
        if (e == polling::ViewerRefresh::Event::Off) {
            done = true;
            return;
        }
        if (e != polling::ViewerRefresh::Event::Synchronised) return;
        const polling::ViewerSyncOutcome& outcome = refresh.lastOutcome();
        for (const QString& error : outcome.errors)
            errorEvent(error);
        event({{QStringLiteral("event"), QStringLiteral("synchronised")},
               {QStringLiteral("copied"), outcome.copied},
               {QStringLiteral("missing"), outcome.missing},
               {QStringLiteral("completed"), outcome.completed},
               {QStringLiteral("errors"), QJsonArray::fromStringList(outcome.errors)},
               {QStringLiteral("failures"), failuresJson(outcome.failures)}},
              QStringLiteral("synchronised: copied %1, missing %2").arg(outcome.copied).arg(outcome.missing));
        if (outcome.goOn)
            event({{QStringLiteral("event"), QStringLiteral("database")},
                   {QStringLiteral("open"), refresh.databaseStarted()},
                   {QStringLiteral("tablesChecked"), refresh.tablesChecked()}},
                  refresh.databaseStarted() ? QStringLiteral("database started")
                                            : QStringLiteral("database not started"));
        code = !outcome.completed || !outcome.errors.isEmpty() ? kExitRefused
               : !refresh.databaseStarted()                    ? kExitRefused
                                                               : kExitOk;
        if (once || interrupted || !refresh.counting()) {
            done = true;
            return;
        }
        cycleEvent();
    });
    timer.start(clock.tickMs());
    runEventsUntil([&] { return done; }, -1);
    timer.stop();
    if (interrupted) {
        event({{QStringLiteral("event"), QStringLiteral("interrupted")}}, QStringLiteral("interrupted"));
        return kExitInterrupted;
    }
    return code;
}

} // namespace

// package write --point ID [--out FILE] [--overwrite] | write --group NAME | read FILE [--overwrite] |
// read --folder DIR [FILE…] | show FILE: database packages.
int cmdPackage(CliRun& run) {
    const QString what = run.args.value(0);
    if (what == QLatin1String("show")) {
        const sync::PackageResult r = sync::inspectPackage(run.args.value(1));
        if (!r.ok) {
            run.notifier->message(MessageKind::Error,
                                  sync::unpackFailedText() + QStringLiteral(": ") + r.error);
            return kExitRefused;
        }
        if (run.options.json) {
            run.printJson({{QStringLiteral("entries"), entriesJson(r.entries)}});
        } else {
            for (const sync::PackageEntryInfo& e : r.entries)
                *run.out << e.name << "\t" << e.compressedSize << "\t" << e.size << "\n";
            run.out->flush();
        }
        return kExitOk;
    }
    if (what != QLatin1String("write") && what != QLatin1String("read")) {
        run.notifier->message(
            MessageKind::Error,
            QStringLiteral("package write --point ID|--group NAME | read FILE|--folder DIR | show FILE"));
        return kExitUsage;
    }
    database::Storage* storage = installationStorage(run);
    if (!storage) return kExitNoLink;
    return what == QLatin1String("write") ? writePackages(run, *storage)
                                          : readPackages(run, storage->schemas());
}

// sync run [--from PATH] [--dry-run] [--allow-mass-delete]: the master installation's chosen files
// copied in, as Work/SynDir.000 says.
// sync viewer [--once]: the refresh cycle of a synchronised copy.
int cmdSync(CliRun& run) {
    if (run.args.value(0) == QLatin1String("viewer")) return runViewer(run);
    if (run.args.value(0) != QLatin1String("run")) {
        run.notifier->message(
            MessageKind::Error,
            QStringLiteral("sync run [--from PATH] [--dry-run] [--allow-mass-delete] | viewer [--once]"));
        return kExitUsage;
    }
    const QString from =
        run.value(QStringLiteral("--from")).value_or(sync::synchronisationFolder(run.context->settings()));
    const int lang = run.context->languageIndex();
    sync::FolderSync folderSync(run.context->root(), from, lang);
    folderSync.allowMassDelete(run.has(QStringLiteral("--allow-mass-delete")));
    if (run.has(QStringLiteral("--dry-run"))) {
        if (!folderSync.prepare()) {
            run.notifier->message(MessageKind::Error, sync::checkSyncPathQuestion());
            return kExitRefused;
        }
        const sync::SyncPlan& plan = folderSync.plan();
        if (run.options.json) {
            run.printJson({{QStringLiteral("copy"), QJsonArray::fromStringList(plan.copy)},
                           {QStringLiteral("delete"), QJsonArray::fromStringList(plan.remove)},
                           {QStringLiteral("massDeletes"), QJsonArray::fromStringList(plan.massDeletes)}});
        } else {
            for (const QString& f : plan.copy)
                *run.out << "copy " << QDir::toNativeSeparators(f) << "\n";
            for (const QString& f : plan.remove)
                *run.out << "delete " << QDir::toNativeSeparators(f) << "\n";
            if (!plan.massDeletes.isEmpty()) *run.out << sync::massDeleteText(lang, plan.massDeletes) << "\n";
            run.out->flush();
        }
        return kExitOk;
    }
    if (!folderSync.start()) {
        run.notifier->message(MessageKind::Error, sync::checkSyncPathQuestion());
        return kExitRefused;
    }
    while (folderSync.step()) {
    }
    for (const QString& e : folderSync.errors())
        run.notifier->message(MessageKind::Error, e);
    if (run.options.json) {
        run.printJson({{QStringLiteral("copied"), folderSync.copied()},
                       {QStringLiteral("missing"), folderSync.missing()},
                       {QStringLiteral("sourceLost"), folderSync.sourceLost()},
                       {QStringLiteral("errors"), QJsonArray::fromStringList(folderSync.errors())},
                       {QStringLiteral("failures"), failuresJson(folderSync.failures())},
                       {QStringLiteral("busy"), QJsonArray::fromStringList(folderSync.busy())}});
    } else {
        *run.out << "copied " << folderSync.copied() << ", missing " << folderSync.missing() << "\n";
        run.out->flush();
    }
    // The master's folder went: as with a link that dropped.
    if (folderSync.sourceLost()) return kExitNoLink;
    return folderSync.errors().isEmpty() ? kExitOk : kExitRefused;
}

} // namespace tarn::cli
