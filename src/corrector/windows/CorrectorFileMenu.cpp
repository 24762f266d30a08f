#include "corrector/windows/CorrectorFileMenu.h"

#include "common/Language.h"
#include "corrector/CorrectorFiles.h"
#include "corrector/windows/TViewDir.h"
#include "corrector/windows/TZagrFile.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>

namespace tarn::corrector {

namespace {
const char* const kPrtFilter = "Файл в формате (*.prt)";
const char* const kTxtFilter = "Файл в формате (*.txt)";
} // namespace

CorrectorFileMenu::CorrectorFileMenu(QMenuBar* bar, CorrectorWindowModel& model, Notifier& notifier,
                                     QWidget* window)
    : QObject(window), model_(model), notifier_(notifier), window_(window) {
    const int lang = model.languageIndex();
    auto* menu = new QMenu(QStringLiteral("ФАЙЛ"), bar);
    const QList<QAction*> existing = bar->actions();
    bar->insertMenu(existing.isEmpty() ? nullptr : existing.first(), menu);
    open_ = menu->addAction(uaRu(lang, "ВІДКРИТИ ФАЙЛ *.prt", "ОТКРЫТЬ ФАЙЛ *.prt"));
    savePrt_ = menu->addAction(uaRu(lang, "ЗБЕРІГТИ ЯК *.prt", "СОХРАНИТЬ КАК *.prt"));
    saveTxt_ = menu->addAction(uaRu(lang, "ЗБЕРІГТИ ЯК *.txt", "СОХРАНИТЬ КАК *.txt"));
    saveXls_ = menu->addAction(uaRu(lang, "ЗБЕРІГТИ ЯК *.xls", "СОХРАНИТЬ КАК *.xls"));
    browse_ = menu->addAction(uaRu(lang, "ОГЛЯД ПАПОК", "ОБЗОР ПАПОК"));
    connect(open_, &QAction::triggered, this, &CorrectorFileMenu::openSnapshot);
    connect(savePrt_, &QAction::triggered, this, &CorrectorFileMenu::saveSnapshotAs);
    connect(saveTxt_, &QAction::triggered, this, &CorrectorFileMenu::exportTextAs);
    connect(saveXls_, &QAction::triggered, this, &CorrectorFileMenu::saveWorkbookAs);
    connect(browse_, &QAction::triggered, this, &CorrectorFileMenu::openBrowser);
}

bool CorrectorFileMenu::runProgress(const QString& path,
                                    const std::function<bool(const FileProgress&)>& work) {
    TZagrFile progress(QFileInfo(path).fileName(), work, window_);
    progress.showDelayMs = options_.progressDelayMs;
    progress.workDelayMs = 2 * options_.progressDelayMs;
    progress.closeDelayMs = 2 * options_.progressDelayMs;
    return progress.runModal();
}

QString CorrectorFileMenu::chooseTarget(const QString& folder, const QString& filter,
                                        const QString& extension) {
    const int lang = model_.languageIndex();
    if (!hasDataToSave(model_.reading())) {
        notifier_.message(MessageKind::Error, noDataText(lang));
        return {};
    }
    const QString proposed =
        proposedFileName(model_.reading(), options_.today.isValid() ? options_.today : QDate::currentDate());
    const QString chosen =
        options_.chooseFile
            ? options_.chooseFile(true, folder, filter, proposed)
            : QFileDialog::getSaveFileName(window_, {}, folder + QLatin1Char('/') + proposed, filter);
    if (chosen.isEmpty()) return {};
    const QString target = finalFileName(chosen, extension);
    if (QFileInfo::exists(target) && !notifier_.confirm(overwriteQuestion(target, lang))) return {};
    return target;
}

void CorrectorFileMenu::saveSnapshotAs() {
    const QString target =
        chooseTarget(options_.reportFolder, QString::fromUtf8(kPrtFilter), QStringLiteral("prt"));
    if (target.isEmpty()) return;
    const int lang = model_.languageIndex();
    FileOutcome outcome;
    runProgress(target, [&](const FileProgress& progress) {
        outcome = saveSnapshot(model_.reading(), target, lang, progress);
        return outcome.ok;
    });
    if (!outcome.ok) notifier_.message(MessageKind::Error, outcome.message);
}

void CorrectorFileMenu::exportTextAs() {
    const QString target =
        chooseTarget(options_.textFolder, QString::fromUtf8(kTxtFilter), QStringLiteral("txt"));
    if (target.isEmpty()) return;
    const FileOutcome outcome = exportText(model_.reading(), target, model_.languageIndex());
    notifier_.message(outcome.ok ? MessageKind::Information : MessageKind::Error, outcome.message);
}

void CorrectorFileMenu::saveWorkbookAs() {
    if (!hasDataToSave(model_.reading())) {
        notifier_.message(MessageKind::Error, noDataText(model_.languageIndex()));
        return;
    }
    if (options_.saveWorkbook) options_.saveWorkbook();
}

void CorrectorFileMenu::openSnapshot() {
    model_.ClearWindow();
    const QString filter = QString::fromUtf8(kPrtFilter);
    const QString path = options_.chooseFile
                             ? options_.chooseFile(false, options_.reportFolder, filter, {})
                             : QFileDialog::getOpenFileName(window_, {}, options_.reportFolder, filter);
    if (!path.isEmpty()) loadFile(path);
}

bool CorrectorFileMenu::loadFile(const QString& path) {
    const bool loaded = runProgress(path, [&](const FileProgress& progress) {
        return loadParameterFile(model_, path, notifier_, progress).ok;
    });
    if (loaded && options_.loaded) options_.loaded(path);
    return loaded;
}

void CorrectorFileMenu::openBrowser() {
    TViewDir browser(options_.reportFolder, options_.textFolder, options_.excelFolder, model_.languageIndex(),
                     window_);
    if (browser.exec() != QDialog::Accepted || browser.chosenFile().isEmpty()) return;
    // The window is reset as a new reading resets it, then the file comes in as "ОТКРЫТЬ ФАЙЛ" brings it.
    model_.ClearWindow();
    loadFile(browser.chosenFile());
}

} // namespace tarn::corrector
