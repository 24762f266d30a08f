#include "shell/Initialisation.h"

#include "common/Language.h"
#include "common/TextFile.h"
#include "common/TuningFiles.h"
#include "database/DatabaseCheck.h"
#include "database/Registry.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>

namespace tarn::shell {

void applyProgramFormats() {
    QLocale::setDefault(QLocale::c());
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
    QEventLoop wait;
    QObject::connect(&process, &QProcess::finished, &wait, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &wait, &QEventLoop::quit);
    process.start(tool, {});
    // The tables stay closed until the tool has ended; the windows keep painting meanwhile.
    if (process.state() != QProcess::NotRunning) wait.exec(QEventLoop::ExcludeUserInputEvents);
    if (process.state() != QProcess::NotRunning) process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit || process.error() == QProcess::FailedToStart) {
        notifier.message(MessageKind::Error,
                         QStringLiteral("Ошибка программы восстановления таблиц БД ") + tool);
        return false;
    }
    return true;
}

bool checkTablesBeforeStart(AppContext& ctx) {
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
