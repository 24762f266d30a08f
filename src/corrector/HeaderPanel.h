#pragma once
// The header panel of the corrector window: whose data the window shows. The serial number comes from
// the full read (word 99) or from the first item reply; every later item reply must carry the same one.
// On calibration models the panel shows the complex number (meter serial "/" corrector serial) under
// "Номер комплекса".
#include "corrector/ModelProfile.h"
#include "corrector/ParameterImage.h"

#include <QString>
#include <optional>

namespace tarn::corrector {

// The header texts: the corrector serial 5 digits; on calibration models the meter serial 7 digits,
// "/" and the corrector serial.
QString serialText(quint32 serial);
QString complexNumberText(quint32 meterSerial, quint32 correctorSerial);

class HeaderPanel {
public:
    void clear();
    void setSerial(quint32 serial) { serial_ = serial; }
    const std::optional<quint32>& serial() const { return serial_; }
    // An item reply carries the low 16 bits of the serial number; a panel without one takes any.
    bool matches(quint16 replySerial) const { return !serial_ || quint16(*serial_ & 0xFFFF) == replySerial; }
    // The text the panel shows ("X" without a serial); it also decides whether the panel is the
    // calibration one.
    QString refresh(const ModelProfile& profile, const ParameterImage& image);
    bool calibration() const { return calibration_; }
    QString caption(int languageIndex) const;

private:
    std::optional<quint32> serial_;
    bool calibration_ = false;
};

} // namespace tarn::corrector
