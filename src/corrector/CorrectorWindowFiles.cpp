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

class DetachedCorrector::NoLink final : public ParameterLink {
public:
    void readItem(quint8, int) override {}
    void writeItem(quint8, const QByteArray&, bool) override {}
    void readPage(quint16) override {}
    void writeRestart() override {}
};

DetachedCorrector::DetachedCorrector(Notifier& notifier, int languageIndex, int volumeDecimals)
    : link_(std::make_unique<NoLink>()),
      model_(std::make_unique<CorrectorWindowModel>(*link_, notifier, settings_, languageIndex)) {
    model_->setVolumeDecimals(volumeDecimals);
}

DetachedCorrector::~DetachedCorrector() = default;

} // namespace tarn::corrector
