#include "corrector/CorrectorWindowModel.h"

namespace tarn::corrector {

namespace {

void showLoaded(CorrectorWindowModel& model, const LoadedReading& loaded) {
    model.showReading(loaded.reading);
    if (loaded.opened && !loaded.outcome.ok) model.SetAccessLevel(kAccessNone);
}

} // namespace

FileOutcome loadParameterFile(CorrectorWindowModel& model, const QString& path, Notifier& notifier,
                              const FileProgress& progress) {
    const LoadedReading loaded =
        loadParameterFile(path, notifier, model.languageIndex(), model.volumeDecimals(), progress);
    showLoaded(model, loaded);
    return loaded.outcome;
}

bool loadPointParameterFile(CorrectorWindowModel& model, const QString& path, Notifier& notifier) {
    const LoadedReading loaded =
        loadPointParameterFile(path, notifier, model.languageIndex(), model.volumeDecimals());
    if (!loaded.opened) return false;
    showLoaded(model, loaded);
    return loaded.outcome.ok;
}

} // namespace tarn::corrector
