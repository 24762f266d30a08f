#include "sync/windows/PackageActions.h"

#include "sync/windows/TfWR_fBD.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace tarn::sync {

namespace {

QString choose(QWidget* parent, const PackageUi& ui, bool save, const QString& proposed) {
    const QString folder = ui.root.dir(folder::MailBD);
    QDir().mkpath(folder);
    if (ui.chooseFile) return ui.chooseFile(save, folder, packageFilter(), proposed);
    return save ? QFileDialog::getSaveFileName(parent, {}, QDir(folder).filePath(proposed), packageFilter())
                : QFileDialog::getOpenFileName(parent, {}, folder, packageFilter());
}

} // namespace

QString packageFilter() {
    return QStringLiteral("Файл в формате (*.tbd)");
}

bool savePointPackage(QWidget* parent, const PackageUi& ui, const QString& identifier) {
    Notifier& notifier = *ui.notifier;
    if (!ui.schemas || identifier.isEmpty()) {
        notifier.message(MessageKind::Information, uaRu(ui.language, "Немає даних", "Нет данных"));
        return false;
    }
    const QString chosen = choose(parent, ui, true, identifier + QStringLiteral(".tbd"));
    if (chosen.isEmpty()) return false;
    const QString path = packageFileName(chosen);
    if (QFileInfo::exists(path) &&
        !notifier.confirm(packageOverwriteQuestion(QDir::toNativeSeparators(path), ui.language)))
        return false;
    PackOutcome outcome;
    TfWR_fBD window(TfWR_fBD::Mode::Pack, parent);
    window.startDelayMs = ui.startDelayMs;
    window.runModal([&](const StepProgress& progress) {
        outcome = packPoint(ui.root, *ui.schemas, identifier, path, progress);
    });
    if (outcome.stopped) return false;
    notifier.message(outcome.ok ? MessageKind::Information : MessageKind::Error, outcome.message);
    return outcome.ok;
}

std::optional<UnpackOutcome> openPointPackage(QWidget* parent, const PackageUi& ui) {
    if (!ui.schemas) return std::nullopt;
    const QString path = choose(parent, ui, false, {});
    if (path.isEmpty()) return std::nullopt;
    Notifier& notifier = *ui.notifier;
    UnpackOutcome outcome;
    TfWR_fBD window(TfWR_fBD::Mode::Unpack, parent);
    window.startDelayMs = ui.startDelayMs;
    // The unpacking runs on the window's worker: its questions and messages are put to the user from here.
    Notifier& fromWorker = window.run().ownerNotifier(notifier);
    UnpackOptions options;
    options.language = ui.language;
    options.settings = ui.settings;
    options.confirm = [&fromWorker](const QString& question) { return fromWorker.confirm(question); };
    window.runModal([&](const StepProgress& progress) {
        options.progress = progress;
        outcome = unpackPoint(ui.root, *ui.schemas, path, fromWorker, options);
    });
    if (!outcome.ok && !outcome.declined && !outcome.stopped)
        notifier.message(MessageKind::Error, outcome.message);
    else if (outcome.ok && !outcome.message.isEmpty())
        notifier.message(MessageKind::Information, outcome.message);
    return outcome;
}

} // namespace tarn::sync
