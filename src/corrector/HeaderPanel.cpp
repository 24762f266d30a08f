#include "corrector/HeaderPanel.h"

#include "common/Language.h"

namespace tarn::corrector {

QString serialText(quint32 serial) {
    return QStringLiteral("%1").arg(serial, 5, 10, QLatin1Char('0'));
}

QString complexNumberText(quint32 meterSerial, quint32 correctorSerial) {
    return QStringLiteral("%1").arg(meterSerial, 7, 10, QLatin1Char('0')) + QLatin1Char('/') +
           serialText(correctorSerial);
}

void HeaderPanel::clear() {
    serial_.reset();
    calibration_ = false;
}

QString HeaderPanel::refresh(const ModelProfile& profile, const ParameterImage& image) {
    if (!serial_) {
        calibration_ = false;
        return QStringLiteral("X");
    }
    calibration_ = profile.hasCalibrationTable();
    if (calibration_) return complexNumberText(static_cast<quint32>(image.wordInt32(100)), *serial_);
    return serialText(*serial_);
}

QString HeaderPanel::caption(int languageIndex) const {
    if (calibration_) return uaRu(languageIndex, "Номер комплексу", "Номер комплекса");
    return uaRu(languageIndex, "Номер коректора", "Номер корректора");
}

} // namespace tarn::corrector
