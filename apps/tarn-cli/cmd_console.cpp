#include "Cli.h"

#include "common/TextFile.h"
#include "polling/ConsoleSettings.h"
#include "sync/FolderSync.h"

#include <QCoreApplication>
#include <QJsonObject>

namespace tarn::cli {

namespace {

// The autostart entry starts the windowed program, which lies beside this tool.
polling::AutostartEntry autostartEntry(const DataRoot& root) {
    return {polling::autostartFolder(), QCoreApplication::applicationDirPath() + QStringLiteral("/Tarn_B"),
            root.root()};
}

int printConsoleSettings(CliRun& run, const polling::ConsoleSettings& settings, bool synchronisedCopy) {
    const QStringList keys = polling::consoleSettingKeys(synchronisedCopy);
    const polling::AutostartEntry entry = autostartEntry(run.context->root());
    if (run.options.json) {
        QJsonObject o;
        for (const QString& k : keys) {
            const QString v = polling::consoleSettingValue(settings, k);
            const bool number = k == QLatin1String("startMinutes") || k == QLatin1String("waitMinutes");
            const bool text = k == QLatin1String("soundFile") || k == QLatin1String("delimiter");
            if (number)
                o.insert(k, v.toInt());
            else if (text)
                o.insert(k, v);
            else
                o.insert(k, v == QLatin1String("1"));
        }
        o.insert(QStringLiteral("synchronisedCopy"), synchronisedCopy);
        o.insert(QStringLiteral("autostartEntry"), entry.path());
        o.insert(QStringLiteral("autostartEntryPresent"), entry.present());
        run.printJson(o);
    } else {
        for (const QString& k : keys)
            *run.out << k << "=" << polling::consoleSettingValue(settings, k) << "\n";
    }
    return kExitOk;
}

// console settings set KEY=VALUE …: every value checked as the settings window checks it, then saved
// as its "Сохранить" saves (the autostart entry and a synchronised copy's cycle included).
int setConsoleSettings(CliRun& run, bool synchronisedCopy) {
    const DataRoot& root = run.context->root();
    const polling::ConsoleSettings before = polling::loadConsoleSettings(root);
    polling::ConsoleSettings wanted = before;
    if (run.args.size() < 3) {
        run.notifier->message(MessageKind::Error, QStringLiteral("console settings set KEY=VALUE ..."));
        return kExitUsage;
    }
    for (qsizetype i = 2; i < run.args.size(); ++i) {
        const QString& a = run.args.at(i);
        const qsizetype eq = a.indexOf(QLatin1Char('='));
        const auto refusal = eq <= 0 ? std::optional<QString>(QStringLiteral("KEY=VALUE, not \"%1\"").arg(a))
                                     : polling::setConsoleSetting(root, wanted, a.left(eq), a.mid(eq + 1),
                                                                  synchronisedCopy);
        if (refusal) {
            run.notifier->message(MessageKind::Error, *refusal);
            return kExitUsage;
        }
    }
    const polling::SaveOutcome out = polling::saveConsoleSettings(
        root, before, wanted, polling::SaveScope::All, synchronisedCopy, autostartEntry(root));
    if (out.error) {
        run.notifier->message(MessageKind::Error, *out.error);
        return kExitRefused;
    }
    return printConsoleSettings(run, polling::loadConsoleSettings(root), synchronisedCopy);
}

// The windowed program keeps "Синхронизация" as ticked for the run and never switches it on from the file;
// this tool has no run before it, so the box as last saved (line 18 of Work/FileInRS.000) decides, unless
// the options of this very call switched it on.
bool synchronisedCopyOnFile(CliRun& run) {
    if (sync::isSynchronisedCopy(run.context->settings())) return true;
    const auto lines = readTextLines(run.context->settingsFiles().settingsPath());
    return lines && removeSpaces(lines->value(17)) == QLatin1String("1");
}

} // namespace

// console settings [show]          the console's settings by name (Tuning.000, Delim.000, Inst.000)
// console settings set KEY=VALUE   change and save, as the settings window does
int cmdConsole(CliRun& run) {
    const bool synchronisedCopy = synchronisedCopyOnFile(run);
    if (run.args.value(0) != QLatin1String("settings")) {
        run.notifier->message(MessageKind::Error, QStringLiteral("console settings [show|set KEY=VALUE ...]"));
        return kExitUsage;
    }
    const QString what = run.args.value(1, QStringLiteral("show"));
    if (what == QLatin1String("show"))
        return printConsoleSettings(run, polling::loadConsoleSettings(run.context->root()), synchronisedCopy);
    if (what == QLatin1String("set")) return setConsoleSettings(run, synchronisedCopy);
    run.notifier->message(MessageKind::Error, QStringLiteral("console settings: show or set KEY=VALUE ..."));
    return kExitUsage;
}

} // namespace tarn::cli
