#include "polling/ConsoleSettings.h"

#include "common/Csv.h"
#include "common/TextFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

namespace tarn::polling {

namespace {

constexpr const char* kEntryName = "Tarn_B.desktop";

// A desktop entry's Exec argument: quoted, with the characters a quoted argument escapes escaped; then the
// backslashes doubled and "%" doubled, as the entry's string values require.
QString execArgument(const QString& arg) {
    QString quoted = QStringLiteral("\"");
    for (const QChar c : arg) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return quoted;
}

QByteArray entryBytes(const QString& exec) {
    const QStringList lines{QStringLiteral("[Desktop Entry]"), QStringLiteral("Type=Application"),
                            QStringLiteral("Name=Tarn_B"), QStringLiteral("Exec=") + exec,
                            QStringLiteral("X-GNOME-Autostart-enabled=true")};
    return (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
}

struct Switch {
    const char* key;
    bool Tuning::*field;
};
constexpr Switch kSwitches[] = {
    {"tooltips", &Tuning::toolTips},
    {"alarm", &Tuning::alarm},
    {"sound", &Tuning::sound},
    {"autorun", &Tuning::autorun},
    {"analogClock", &Tuning::analogClock},
    {"rebuildAtStart", &Tuning::rebuildAtStart},
    {"csv", &Tuning::csv},
    {"extraRecordCheck", &Tuning::extraRecordCheck},
};
constexpr const char* kCsvKinds[] = {"csvHourly", "csvDaily", "csvMonthly", "csvOperative", "csvMeasurement"};

bool* switchOf(Tuning& t, const QString& key) {
    for (const Switch& s : kSwitches)
        if (key == QLatin1String(s.key)) return &(t.*s.field);
    for (std::size_t k = 0; k < std::size(kCsvKinds); ++k)
        if (key == QLatin1String(kCsvKinds[k])) return &t.csvKinds[k];
    return nullptr;
}

QString onOff(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

QString autostartFolder(const QProcessEnvironment& env) {
    const QString config = env.value(QStringLiteral("XDG_CONFIG_HOME"));
    if (!config.isEmpty() && QDir::isAbsolutePath(config)) return config + QStringLiteral("/autostart");
    return QDir::homePath() + QStringLiteral("/.config/autostart");
}

AutostartEntry::AutostartEntry(QString folder, QString programPath, QString dataRoot)
    : folder_(std::move(folder)), program_(std::move(programPath)), root_(std::move(dataRoot)) {}

QString AutostartEntry::path() const {
    return folder_ + QLatin1Char('/') + QLatin1String(kEntryName);
}

bool AutostartEntry::present() const {
    return QFileInfo::exists(path());
}

QString AutostartEntry::execLine(bool synchronisedCopy) const {
    return execArgument(QFileInfo(program_).absoluteFilePath()) + QLatin1Char(' ') +
           execArgument(synchronisedCopy ? QStringLiteral("$v") : QStringLiteral("$d")) +
           QStringLiteral(" --home ") + execArgument(QFileInfo(root_).absoluteFilePath());
}

bool AutostartEntry::apply(bool on, bool synchronisedCopy) const {
    if (!on) return !present() || QFile::remove(path());
    const QByteArray wanted = entryBytes(execLine(synchronisedCopy));
    QFile existing(path());
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == wanted) return true;
    existing.close();
    return QDir().mkpath(folder_) && writeFileAtomically(path(), wanted);
}

ConsoleSettings loadConsoleSettings(const DataRoot& root) {
    return {loadTuning(root), loadDelimiter(root), loadViewerCycleSettings(root)};
}

SaveOutcome saveConsoleSettings(const DataRoot& root, const ConsoleSettings& before,
                                const ConsoleSettings& wanted, SaveScope scope, bool synchronisedCopy,
                                const AutostartEntry& autostart) {
    SaveOutcome out;
    const bool all = scope == SaveScope::All;
    if (all && synchronisedCopy) {
        if (auto refusal = viewerCycleSettingsError(wanted.cycle)) {
            out.error = refusal;
            return out;
        }
    }
    if (all && (wanted.delimiter != before.delimiter || !QFileInfo::exists(delimiterPath(root)))) {
        QDir().mkpath(root.dir(folder::Current));
        if (!saveDelimiter(root, wanted.delimiter)) {
            out.error = QStringLiteral("Ошибка записи файла ") + delimiterPath(root);
            return out;
        }
        out.delimiterWritten = true;
    }
    QDir().mkpath(root.dir(folder::Work));
    if (!saveTuning(root, wanted.tuning)) {
        out.error = QStringLiteral("Ошибка записи файла ") + tuningPath(root);
        return out;
    }
    if (!autostart.apply(wanted.tuning.autorun, synchronisedCopy)) {
        out.error = QStringLiteral("Ошибка записи файла ") + autostart.path();
        return out;
    }
    if (all && synchronisedCopy) {
        if (!saveViewerCycleSettings(root, wanted.cycle)) {
            out.error = QStringLiteral("Ошибка записи файла ") +
                        root.file(folder::Synchr, QStringLiteral("Inst.000"));
            return out;
        }
        out.cycleSaved = true;
    }
    return out;
}

QStringList consoleSettingKeys(bool synchronisedCopy) {
    QStringList keys{QStringLiteral("soundFile")};
    for (const Switch& s : kSwitches)
        keys.append(QString::fromLatin1(s.key));
    for (const char* k : kCsvKinds)
        keys.append(QString::fromLatin1(k));
    keys.append(QStringLiteral("delimiter"));
    if (synchronisedCopy)
        keys << QStringLiteral("viewerCycle") << QStringLiteral("startMinutes")
             << QStringLiteral("waitMinutes");
    return keys;
}

QString consoleSettingValue(const ConsoleSettings& settings, const QString& key) {
    Tuning t = settings.tuning;
    if (const bool* on = switchOf(t, key)) return onOff(*on);
    if (key == QLatin1String("soundFile")) return t.soundFile;
    if (key == QLatin1String("delimiter")) return QString(settings.delimiter);
    if (key == QLatin1String("viewerCycle")) return onOff(settings.cycle.on);
    if (key == QLatin1String("startMinutes")) return QString::number(settings.cycle.startMinutes);
    if (key == QLatin1String("waitMinutes")) return QString::number(settings.cycle.waitMinutes);
    return {};
}

std::optional<QString> setConsoleSetting(const DataRoot& root, ConsoleSettings& settings, const QString& key,
                                         const QString& value, bool synchronisedCopy) {
    const bool cycleKey = key == QLatin1String("viewerCycle") || key == QLatin1String("startMinutes") ||
                          key == QLatin1String("waitMinutes");
    if (!consoleSettingKeys(true).contains(key))
        return QStringLiteral("unknown console setting \"%1\"; known: %2")
            .arg(key, consoleSettingKeys(synchronisedCopy).join(QLatin1Char(' ')));
    if (cycleKey && !synchronisedCopy)
        return QStringLiteral(
                   "%1 is a setting of a synchronised copy (\"Синхронизация\" in the link settings)")
            .arg(key);
    const QString bare = value.trimmed();
    if (bool* on = switchOf(settings.tuning, key); on || key == QLatin1String("viewerCycle")) {
        if (bare != QLatin1String("1") && bare != QLatin1String("0"))
            return QStringLiteral("%1 is 1 or 0").arg(key);
        (on ? *on : settings.cycle.on) = bare == QLatin1String("1");
        return std::nullopt;
    }
    if (key == QLatin1String("soundFile")) {
        if (!soundFiles(root).contains(bare))
            return QStringLiteral("soundFile is one of the files of %1: %2")
                .arg(root.dir(folder::Sound), soundFiles(root).join(QLatin1Char(' ')));
        settings.tuning.soundFile = bare;
        return std::nullopt;
    }
    if (key == QLatin1String("delimiter")) {
        const QChar wanted = delimiterOfText(value).value_or(QLatin1Char(','));
        if (usableCsvDelimiter(wanted) != wanted)
            return QStringLiteral(
                "разделитель элементов списка: кавычки и управляющие символы не разделяют поля CSV");
        settings.delimiter = wanted;
        return std::nullopt;
    }
    bool ok = false;
    const int minutes = bare.toInt(&ok);
    if (!ok || minutes < 0 || minutes > 9999)
        return QStringLiteral("%1 is a number of minutes, 0..9999").arg(key);
    (key == QLatin1String("startMinutes") ? settings.cycle.startMinutes : settings.cycle.waitMinutes) =
        minutes;
    return std::nullopt;
}

QStringList soundFiles(const DataRoot& root) {
    QStringList files =
        QDir(root.dir(folder::Sound))
            .entryList({QStringLiteral("*.wav"), QStringLiteral("*.WAV")}, QDir::Files, QDir::Name);
    // "Alarm2.wav" before "Alarm10.wav", as a person counts.
    static const QRegularExpression numbered(QStringLiteral("^(\\D*)(\\d+)(.*)$"));
    std::stable_sort(files.begin(), files.end(), [](const QString& a, const QString& b) {
        const auto ma = numbered.match(a);
        const auto mb = numbered.match(b);
        if (ma.hasMatch() && mb.hasMatch() &&
            ma.captured(1).compare(mb.captured(1), Qt::CaseInsensitive) == 0)
            return ma.captured(2).toInt() < mb.captured(2).toInt();
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return files;
}

PollingTuning readPollingTuning(const DataRoot& root) {
    const Tuning t = loadTuning(root);
    PollingTuning tuning;
    tuning.alarmSignalling = t.alarm;
    tuning.sound = t.sound;
    tuning.checkTablesAtStart = t.rebuildAtStart;
    tuning.additionalRecordCheck = t.extraRecordCheck;
    return tuning;
}

} // namespace tarn::polling
