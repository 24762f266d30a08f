#include "Cli.h"

#include "common/LanguageFile.h"
#include "corrector/OperationStart.h"
#include "corrector/VolumePrecision.h"
#include "link/LinkSettings.h"
#include "link/SettingsController.h"
#include "link/windows/SettingsTexts.h"

#include <QJsonArray>
#include <optional>

namespace tarn::cli {

namespace {

// The settings' names on the command line and their line in Work/FileInRS.000 (1-based).
struct FieldLine {
    const char* name;
    int line;
};
constexpr FieldLine kFields[] = {
    {"corrPort", 2},       {"transferUnitPort", 3}, {"lptChoice", 4},     {"speed", 5},
    {"replyTimeoutMs", 6}, {"retryCount", 7},       {"readChoice", 8},    {"lptDelay", 9},
    {"modemUsed", 10},     {"modemHoldSec", 11},    {"modemInit", 12},    {"lptAddress", 13},
    {"rsOff", 14},         {"usbOff", 15},          {"lptOff", 16},       {"syncOn", 18},
    {"syncPath", 19},      {"secondDriver", 20},    {"writeDelayMs", 21}, {"resetOnFailure", 22},
};

QJsonObject settingsJson(const link::LinkSettings& s) {
    const QStringList lines = link::settingsToLines(s);
    QJsonObject o;
    for (const auto& f : kFields)
        o.insert(QString::fromLatin1(f.name), lines.at(f.line - 1));
    o.insert(QStringLiteral("lines"), QJsonArray::fromStringList(lines));
    return o;
}

// Beside the link settings, the installation's volume decimals (Work/Qdel.000).
constexpr const char* kVolumeDecimals = "volumeDecimals";

int printSettings(CliRun& run, const link::LinkSettings& s) {
    const int decimals = corrector::loadVolumePrecision(run.context->root()).decimals;
    if (run.options.json) {
        QJsonObject o = settingsJson(s);
        o.insert(QStringLiteral("baudRate"), link::baudRateForSpeedText(s.speed));
        o.insert(QLatin1String(kVolumeDecimals), decimals);
        run.printJson(o);
    } else {
        for (const QString& l : link::settingsToLines(s))
            *run.out << l << "\n";
        *run.out << kVolumeDecimals << "=" << decimals << "\n";
    }
    return kExitOk;
}

// volumeDecimals=N: 0..6, written to Work/Qdel.000 at once.
bool setVolumeDecimals(CliRun& run, const QString& value) {
    bool ok = false;
    const int decimals = value.toInt(&ok);
    if (!ok || decimals < 0 || decimals > corrector::kMostVolumeDecimals) {
        run.notifier->message(MessageKind::Error, QStringLiteral("volumeDecimals is 0..6"));
        return false;
    }
    if (!corrector::saveVolumePrecision(run.context->root(), decimals)) {
        run.notifier->message(MessageKind::Error, QStringLiteral("cannot write ") +
                                                      corrector::volumePrecisionPath(run.context->root()));
        return false;
    }
    run.context->volumeDecimals = decimals;
    return true;
}

// The values a setting takes where the window holds it to a spin's range or a box: what is typed outside
// them is refused, not moved to the nearest end or read as "0" (a script would never learn of it).
struct ValueRule {
    const char* name;
    int lowest;
    int highest;
};
constexpr ValueRule kValueRules[] = {
    {"replyTimeoutMs", 0, link::kReplyTimeoutMax},
    {"retryCount", link::kRetryMin, link::kRetryMax},
    {"lptDelay", 0, link::kLptDelayMax},
    {"writeDelayMs", 0, link::kWriteDelayMax},
    {"modemUsed", 0, 1},
    {"rsOff", 0, 1},
    {"usbOff", 0, 1},
    {"lptOff", 0, 1},
    {"syncOn", 0, 1},
    {"secondDriver", 0, 1},
    {"resetOnFailure", 0, 1},
};

// Empty when value suits the setting; otherwise what it must be.
QString valueRefusal(const QString& name, const QString& value) {
    for (const ValueRule& rule : kValueRules) {
        if (name != QLatin1String(rule.name)) continue;
        bool ok = false;
        const int n = value.trimmed().toInt(&ok);
        if (ok && n >= rule.lowest && n <= rule.highest) return {};
        return rule.highest == 1 ? name + QStringLiteral(" is 0 or 1")
                                 : name + QStringLiteral(" is %1..%2").arg(rule.lowest).arg(rule.highest);
    }
    return {};
}

// settings set NAME=VALUE ...: every value is checked first, and nothing is written when one is refused;
// then each goes through the same rules as a line read from the file, and the 22 lines are written.
int setSettings(CliRun& run) {
    link::LinkSettings& s = run.context->settings();
    QStringList lines = link::settingsToLines(s);
    if (run.args.size() < 2) {
        run.notifier->message(MessageKind::Error, QStringLiteral("settings set NAME=VALUE ..."));
        return kExitUsage;
    }
    bool linkSettingsChanged = false;
    std::optional<QString> volumeDecimals;
    for (qsizetype i = 1; i < run.args.size(); ++i) {
        const QString& a = run.args.at(i);
        const qsizetype eq = a.indexOf(QLatin1Char('='));
        const QString name = a.left(eq);
        if (eq > 0 && name == QLatin1String(kVolumeDecimals)) {
            volumeDecimals = a.mid(eq + 1);
            continue;
        }
        const FieldLine* field = nullptr;
        for (const auto& f : kFields)
            if (eq > 0 && name == QLatin1String(f.name)) field = &f;
        if (!field) {
            QStringList names;
            for (const auto& f : kFields)
                names.append(QString::fromLatin1(f.name));
            names.append(QLatin1String(kVolumeDecimals));
            run.notifier->message(
                MessageKind::Error,
                QStringLiteral("unknown setting \"%1\"; known: %2").arg(name, names.join(QLatin1Char(' '))));
            return kExitUsage;
        }
        if (const QString refusal = valueRefusal(name, a.mid(eq + 1)); !refusal.isEmpty()) {
            run.notifier->message(MessageKind::Error, refusal);
            return kExitUsage;
        }
        lines[field->line - 1] = a.mid(eq + 1);
        linkSettingsChanged = true;
    }
    if (volumeDecimals && !setVolumeDecimals(run, *volumeDecimals)) return kExitUsage;
    if (!linkSettingsChanged) return printSettings(run, s);
    const bool syncWanted = lines.at(17) == QLatin1String("1");
    link::applySettingsLines(lines, s);
    s.syncOn = syncWanted; // typed here, not read from a file: the box may be ticked
    if (!link::saveSettings(run.context->settingsFiles(), s)) {
        run.notifier->message(MessageKind::Error,
                              QStringLiteral("cannot write ") + run.context->settingsFiles().settingsPath());
        return kExitUsage;
    }
    return printSettings(run, s);
}

} // namespace

// settings [show]          the 22 lines as the program holds them (file, then the options given)
// settings defaults        the lines a first exit writes
// settings set NAME=VALUE  change and save
// settings ports           the COM ports that exist (COM1 … COMn, n from Work/Q_RS.000)
// settings language [UA|RU]  show or write Work/Type_Leng.000
// settings service-level CODE  the level an access code opens
int cmdSettings(CliRun& run) {
    const QString what = run.args.value(0, QStringLiteral("show"));
    if (what == QLatin1String("show")) return printSettings(run, run.context->settings());
    if (what == QLatin1String("defaults")) return printSettings(run, link::LinkSettings{});
    if (what == QLatin1String("set")) return setSettings(run);
    if (what == QLatin1String("ports")) {
        const int n = link::readPortProbeCount(run.context->root());
        const QStringList found = run.context->linkPort().probePorts(n);
        if (run.options.json)
            run.printJson({{QStringLiteral("probed"), n},
                           {QStringLiteral("ports"), QJsonArray::fromStringList(found)}});
        else
            for (const QString& p : found)
                *run.out << p << "\n";
        return found.isEmpty() ? kExitNoLink : kExitOk;
    }
    if (what == QLatin1String("language")) {
        const DataRoot& root = run.context->root();
        if (run.args.size() > 1) saveLanguage(root, run.args.at(1));
        const QString text = languageText(loadLanguage(root, kUkrainian));
        if (run.options.json)
            run.printJson({{QStringLiteral("language"), text}});
        else
            *run.out << text << "\n";
        return kExitOk;
    }
    if (what == QLatin1String("service-level")) {
        const int level = link::serviceLevelForCode(run.args.value(1));
        if (run.options.json)
            run.printJson({{QStringLiteral("serviceLevel"), level}});
        else
            *run.out << level << "\n";
        return kExitOk;
    }
    run.notifier->message(MessageKind::Error,
                          QStringLiteral("settings: show, defaults, set, ports, language or service-level"));
    return kExitUsage;
}

// port open: what the port initialisation window does: close, apply the settings, open; DTR off and RTS
// on without the modem box. Exit 0 when open, 1 when the port is missing or fails.
int cmdPort(CliRun& run) {
    const QString what = run.args.value(0, QStringLiteral("open"));
    if (what != QLatin1String("open")) {
        run.notifier->message(MessageKind::Error, QStringLiteral("port open"));
        return kExitUsage;
    }
    const auto& s = run.context->settings();
    const int lang = run.context->languageIndex();
    const int address = run.options.address.value_or(1);
    auto& port = run.context->linkPort();
    port.closePort();
    const bool exists = port.portExists(s.corrPort);
    const bool ok = port.applyAndOpen(s);
    // In the words every operation uses for a missing port, in the installation's language.
    if (!exists) run.notifier->message(MessageKind::Error, corrector::portOpenErrorText(lang, s.corrPort));
    if (run.options.json) {
        run.printJson({{QStringLiteral("port"), s.corrPort},
                       {QStringLiteral("device"), port.deviceName()},
                       {QStringLiteral("baudRate"), port.baudRate()},
                       {QStringLiteral("address"), address},
                       {QStringLiteral("open"), ok}});
    } else {
        *run.out << Text(link::kInitPortTexts, link::kInitAddress, lang) << address << "\n"
                 << Text(link::kInitPortTexts, link::kInitPort, lang) << s.corrPort << "\n"
                 << Text(link::kInitPortTexts, link::kInitSpeed, lang) << s.speed << "\n";
    }
    port.closePort();
    return ok ? kExitOk : kExitNoLink;
}

} // namespace tarn::cli
