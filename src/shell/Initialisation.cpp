#include "shell/Initialisation.h"

#include "common/Language.h"
#include "common/TextFile.h"
#include "common/TuningFiles.h"
#include "database/DatabaseCheck.h"
#include "database/Registry.h"
#include "shell/DatabaseChoice.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>

namespace tarn::shell {

void applyProgramFormats() {
    QLocale::setDefault(QLocale::c());
}

QString databaseUnavailableText(int language, const Error& why) {
    return (language == kRussian
                ? QStringLiteral("База данных на сервере недоступна, работа с БД отключена: ")
                : QStringLiteral("База даних на сервері недоступна, роботу з БД вимкнено: ")) +
           why.detail;
}

QString databaseSwitchText(int language, const DatabaseChoice& choice) {
    const QString chosen = choice.onServer() ? choice.server->toString()
                           : !choice.ok()
                               ? choice.refused
                               : uaRu(language, "файли таблиць установки", "файлы таблиц установки");
    return uaRu(language,
                "Вибір бази даних змінено під час роботи програми (тепер: %1). Роботу з БД вимкнено до "
                "перезапуску: перезапустіть програму.",
                "Выбор базы данных изменен во время работы программы (теперь: %1). Работа с БД отключена до "
                "перезапуска: перезапустите программу.")
        .arg(chosen);
}

bool startDatabase(AppContext& ctx) {
    ctx.databaseOpen = false;
    // The database runs only with schema files that declare the fields the program writes. Missing ones
    // are restored as the installation ships them; a file that does not fit switches the database off
    // for this run, with its message.
    database::writeMissingSchemaFiles(ctx.root());
    ctx.schemas = database::loadSchemas(ctx.root());
    ctx.databaseOpen = ctx.schemas.ok;
    if (!ctx.schemas.ok) ctx.notifier().message(MessageKind::Error, ctx.schemas.error);
    // A server that was chosen and cannot be used keeps the database closed, as an unreadable table
    // does: going on with the files would store the readings where nobody looks for them.
    if (ctx.databaseOpen) {
        const DatabaseChoice choice = chooseDatabase(ctx.root(), ctx.commandLine.database);
        const bool inUse = choice.ok() && choice.server == ctx.serverDatabase();
        if (!inUse && ctx.restartToSwitchDatabase && ctx.databaseOpenedInRun()) {
            // What was handed out while the database was open keeps the old one: the new choice waits
            // for the next start, and nothing works on the old one meanwhile. Said once per choice.
            ctx.databaseOpen = false;
            const QString told = databaseSwitchText(ctx.languageIndex(), choice);
            if (told != ctx.databaseSwitchRefused()) {
                ctx.refuseDatabaseSwitch(told);
                ctx.notifier().message(MessageKind::Error, told);
            }
            return false;
        }
        // Back to the database in use (the setting undone before a restart): it opens as before.
        if (inUse) ctx.refuseDatabaseSwitch({});
        if (!choice.onServer() && choice.ok()) {
            if (ctx.serverDatabase()) ctx.useFiles();
        } else if (!choice.ok() || ctx.serverDatabase() != choice.server) {
            if (const Error why = openChosenDatabase(ctx, choice); why.failed()) {
                ctx.databaseOpen = false;
                ctx.notifier().message(MessageKind::Error, databaseUnavailableText(ctx.languageIndex(), why));
            }
        }
    }
    // The tables every run needs, and the point list the folder synchronisation reads. A table that
    // cannot be opened switches the database off as a schema file does: storing would fail on it.
    if (ctx.databaseOpen) {
        if (const QString failed =
                database::openDatabaseAtStart(ctx.root(), ctx.storage(), QDate::currentDate());
            !failed.isEmpty()) {
            ctx.databaseOpen = false;
            ctx.notifier().message(MessageKind::Error, failed);
        }
    }
    if (ctx.databaseOpen) ctx.noteDatabaseOpened();
    return ctx.databaseOpen;
}

bool runRebuildTool(const DataRoot& root, Notifier& notifier, const QDate& today) {
    const QString tool = root.file(folder::Rebuild, QStringLiteral("Orvek"));
    if (!QFileInfo(tool).isExecutable()) {
        notifier.message(MessageKind::Warning,
                         QStringLiteral("Нет программы восстановления таблиц БД ") + tool);
        return false;
    }
    QStringList folders;
    for (const char* f : {folder::Data, folder::Hour, folder::Day, folder::Mon, folder::Chang, folder::Alarm,
                          folder::Meas, folder::Oper, folder::Spec, folder::BookQ})
        folders.append(QDir::toNativeSeparators(QDir(root.dir(f)).absolutePath()));
    folders.append(QDir::toNativeSeparators(QDir(root.dir(folder::Join)).absolutePath() +
                                            QStringLiteral("/j_") + today.toString(QStringLiteral("yyMM")) +
                                            QLatin1Char('/')));
    folders.append(QDir::toNativeSeparators(QDir(root.root() + QStringLiteral("/Ed")).absolutePath()));
    folders.append(QDir::toNativeSeparators(QDir(root.root() + QStringLiteral("/Em")).absolutePath()));
    const QString list = root.file(folder::Rebuild, QStringLiteral("dir.000"));
    if (!writeTextLines(list, folders)) {
        notifier.message(MessageKind::Error, QStringLiteral("Ошибка записи файла ") + list);
        return false;
    }
    QProcess process;
    process.setWorkingDirectory(root.dir(folder::Rebuild));
    process.start(tool, {});
    // The tables stay closed until the tool has ended. The wait is a plain one, with no event served
    // meanwhile: nothing may open a table or start a second rebuild while the tool has them. The
    // synchronisation's wait window is painted before this step begins.
    if (process.waitForStarted(-1)) process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit || process.error() == QProcess::FailedToStart) {
        notifier.message(MessageKind::Error,
                         QStringLiteral("Ошибка программы восстановления таблиц БД ") + tool);
        return false;
    }
    return true;
}

bool checkTablesBeforeStart(AppContext& ctx) {
    // The check and the rebuild tool work on the table files; a server keeps its own tables whole.
    if (chooseDatabase(ctx.root(), ctx.commandLine.database).source != DatabaseSource::Files) return true;
    const QDate today = QDate::currentDate();
    if (QFileInfo(ctx.root().file(folder::Rebuild, QStringLiteral("Orvek"))).isExecutable())
        return runRebuildTool(ctx.root(), ctx.notifier(), today);
    database::writeMissingSchemaFiles(ctx.root());
    const database::Schemas schemas = database::loadSchemas(ctx.root());
    // Without schema files there is nothing to check against; the database start-up says why.
    if (!schemas.ok) return false;
    database::CheckOptions options;
    options.repair = true;
    options.today = today;
    options.now = QDateTime::currentDateTime();
    const database::CheckReport report = database::checkDatabase(ctx.root(), schemas, options);
    if (!report.error.isEmpty()) {
        ctx.notifier().message(MessageKind::Error, report.error);
        return false;
    }
    if (report.findings.isEmpty()) return true;
    // One message, not one box per table: the summary first, then the first findings.
    constexpr int kLinesShown = 12;
    QStringList lines{database::checkSummaryText(report, ctx.languageIndex())};
    for (int i = 0; i < report.findings.size() && i < kLinesShown; ++i)
        lines.append(database::findingLine(report.findings.at(i), ctx.languageIndex()));
    if (report.findings.size() > kLinesShown) lines.append(QStringLiteral("…"));
    ctx.notifier().message(report.left() > 0 ? MessageKind::Error : MessageKind::Warning,
                           lines.join(QLatin1Char('\n')));
    return report.left() == 0;
}

QString unreadableSettingsText(int languageIndex, const QString& path) {
    return uaRu(languageIndex,
                "Файл налаштувань %1 не вдається прочитати: до кінця роботи діють типові налаштування, файл "
                "залишено як є.",
                "Файл настроек %1 не удаётся прочитать: до конца работы действуют настройки по умолчанию, "
                "файл "
                "оставлен как есть.")
        .arg(QDir::toNativeSeparators(path));
}

link::LoadResult loadLinkSettings(AppContext& ctx) {
    const link::LoadResult result = link::loadSettings(ctx.settingsFiles(), ctx.settings());
    if (result == link::LoadResult::Unreadable)
        ctx.notifier().message(
            MessageKind::Warning,
            unreadableSettingsText(ctx.languageIndex(), ctx.settingsFiles().settingsPath()));
    return result;
}

InitialisationResult runInitialisation(AppContext& ctx) {
    InitialisationResult result;
    ctx.databaseOpen = false;
    applyProgramFormats();

    if (loadLinkSettings(ctx) == link::LoadResult::Outdated) {
        result.outdatedSettings = true;
        loadLinkSettings(ctx);
    }

    ctx.serviceLevel = link::serviceLevelForCode(ctx.settings().serviceCode);
    // The link debugger logs at service level 5 only.
    ctx.linkLog().enabled = ctx.serviceLevel == 5;
    ctx.configuredAddress = 1;
    ctx.applyLinkSettings();
    ctx.loadVolumePrecision();

    if (loadTuning(ctx.root()).rebuildAtStart) checkTablesBeforeStart(ctx);
    startDatabase(ctx);
    return result;
}

} // namespace tarn::shell
