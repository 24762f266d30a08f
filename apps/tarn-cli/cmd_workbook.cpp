// --save-xls FILE [--sheets LIST]: the corrector window's "СОХРАНИТЬ КАК *.xls" after a reading or for a
// saved "*.prt" file — the same sheets, names and cells as the window's workbook dialog writes.
#include "Cli.h"

#include "corrector/CorrectorFiles.h"
#include "reports/WorkbookExport.h"

namespace tarn::cli {

namespace {

struct SheetName {
    const char* name;
    corrector::Archive archive;
};
constexpr SheetName kSheetNames[] = {{"hourly", corrector::Archive::Hourly},
                                     {"daily", corrector::Archive::Daily},
                                     {"monthly", corrector::Archive::Monthly},
                                     {"abnormal", corrector::Archive::Abnormal},
                                     {"interference", corrector::Archive::Interference},
                                     {"operative", corrector::Archive::Operative}};

} // namespace

// The archive sheets of --sheets (all six, as the dialog's boxes start, when it is not given); nothing,
// with the message told, for a word that names none.
std::optional<QList<corrector::Archive>> workbookSheets(CliRun& run) {
    QList<corrector::Archive> sheets;
    const QString list = run.value(QStringLiteral("--sheets")).value_or(QStringLiteral("all"));
    for (const QString& word : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString w = word.trimmed().toLower();
        bool known = false;
        for (const SheetName& s : kSheetNames)
            if (w == QLatin1String("all") || w == QLatin1String(s.name)) {
                known = true;
                if (!sheets.contains(s.archive)) sheets.append(s.archive);
            }
        if (!known) {
            run.notifier->message(
                MessageKind::Error,
                QStringLiteral("--sheets takes hourly, daily, monthly, abnormal, interference, "
                               "operative or all"));
            return std::nullopt;
        }
    }
    return sheets;
}

// Before a reading: --sheets names sheets and --save-xls names no workbook that is there already, so a
// refusal comes before the corrector is read rather than after.
bool workbookOptionsValid(CliRun& run) {
    if (run.has(QStringLiteral("--sheets")) && !workbookSheets(run)) return false;
    const auto chosen = run.value(QStringLiteral("--save-xls"));
    if (!chosen) return true;
    if (const auto existing = reports::existingWorkbook(*chosen)) {
        run.notifier->message(MessageKind::Error,
                              reports::workbookExistsText(*existing, run.context->languageIndex()));
        return false;
    }
    return true;
}

// Writes the workbook when --save-xls is given; kExitOk also when it is not.
int saveWorkbookOption(CliRun& run, const corrector::Reading& reading, QString* writtenPath) {
    const auto chosen = run.value(QStringLiteral("--save-xls"));
    if (!chosen) return kExitOk;
    const int lang = run.context->languageIndex();
    if (!corrector::hasDataToSave(reading)) {
        run.notifier->message(MessageKind::Error, corrector::noDataText(lang));
        return kExitUsage;
    }
    const auto sheets = workbookSheets(run);
    if (!sheets) return kExitUsage;
    const reports::WorkbookOutcome r =
        reports::writeWorkbook(reports::planWorkbook(reading, *sheets, lang), *chosen, lang);
    if (r.result != reports::WorkbookOutcome::Result::Written) {
        run.notifier->message(MessageKind::Error, r.message);
        return kExitUsage;
    }
    run.notifier->message(MessageKind::Information, r.path);
    if (writtenPath) *writtenPath = r.path;
    return kExitOk;
}

} // namespace tarn::cli
