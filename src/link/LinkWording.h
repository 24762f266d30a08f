#pragma once
// What the exchange engine has to tell the user, named by kind and code only. The engine keeps no
// wording of its own: the layer that knows the corrector (src/corrector) says how each notice reads in
// the engine's language, so a text changes in one place and the link stays free of user texts.
#include <QString>
#include <QtGlobal>
#include <optional>

namespace tarn::link {

enum class LinkNotice {
    NoLink,          // sends exhausted, or nothing can be sent: the no-link indication
    PortWriteFailed, // the port took no frame
    PortOpenFailed,  // the port is there and would not open (the port's name follows the words)
    AlarmNotice,     // the corrector announced an abnormal situation on its own
};

class LinkWording {
public:
    virtual ~LinkWording() = default;
    virtual QString notice(LinkNotice notice, int languageIndex) const = 0;
    // The refusal a corrector's status byte stands for; nothing when no refusing bit is known.
    virtual std::optional<QString> refusal(quint8 status, bool passwordOperation,
                                           int languageIndex) const = 0;
};

} // namespace tarn::link
