#pragma once
// A corrector window model with no corrector behind it: the tests fill one as a corrector would (pages,
// item replies, block replies) and then hand its reading on. The program itself never needs one: what
// only takes the data takes a Reading.
#include "common/Notifier.h"
#include "corrector/CorrectorWindowModel.h"
#include "corrector/VolumePrecision.h"
#include "link/LinkSettings.h"

#include <memory>

namespace tarn::corrector {

class DetachedCorrector {
public:
    // Volumes decoded or shown through it take the decimals given (the installation's in the program).
    DetachedCorrector(Notifier& notifier, int languageIndex, int volumeDecimals = kDefaultVolumeDecimals)
        : model_(std::make_unique<CorrectorWindowModel>(link_, notifier, settings_, languageIndex)) {
        model_->setVolumeDecimals(volumeDecimals);
    }
    CorrectorWindowModel& model() { return *model_; }

private:
    // Requests go nowhere: nothing answers.
    class NoLink final : public ParameterLink {
    public:
        void readItem(quint8, int) override {}
        void writeItem(quint8, const QByteArray&, bool) override {}
        void readPage(quint16) override {}
        void writeRestart() override {}
    };
    NoLink link_;
    link::LinkSettings settings_;
    std::unique_ptr<CorrectorWindowModel> model_;
};

} // namespace tarn::corrector
