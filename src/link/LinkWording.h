#pragma once
// What the exchange engine and the modem parts sharing its line have to tell the user, named by kind and
// code only. The link keeps no wording of its own: the layer that knows the corrector (src/corrector)
// says how each notice reads in the engine's language, so a text changes in one place and the link stays
// free of user texts.
#include "common/PhoneNumber.h"

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

// What the manual dial tells the user about the line and the call.
enum class ModemNotice {
    PortBusy,         // a polling run has the line: nothing is dialled
    PortMissing,      // the corrector's port is not there (the port's name follows the words)
    NoPhoneNumber,    // the phone book entry holds no number
    PortReopenFailed, // the port would not open again for the dial
    ConnectedWith,    // the head of the connection label (the entry in double quotes follows)
};

// The polling modem's log lines. Each names the point and the number of the call where it speaks of them.
enum class ModemEvent {
    Request,               // a call to the point starts
    InitialisationSent,    // the initialisation string went to the modem
    HangUpSent,            // "ATH0" went to the modem
    Dialling,              // the number went to the modem
    DispatcherModemSilent, // our own modem did not take the initialisation
    ConnectedWith,         // the modems are connected
    NoConnection,          // the dial brought no connection
    EscapeSent,            // "+++" went to the modem
    ModemSilent,           // the hang-up was never answered
    CallFinished,          // the procedure is over
};

// A pair of a hexadecimal line that is no byte: nothing of the line is sent.
struct BadHexPair {
    QString pair;
    int pairNumber = 0; // from 1
};

class LinkWording {
public:
    virtual ~LinkWording() = default;
    virtual QString notice(LinkNotice notice, int languageIndex) const = 0;
    // The refusal a corrector's status byte stands for; nothing when no refusing bit is known.
    virtual std::optional<QString> refusal(quint8 status, bool passwordOperation,
                                           int languageIndex) const = 0;
    virtual QString modemNotice(ModemNotice notice, int languageIndex) const = 0;
    // The polling log is kept in one language whatever the user's.
    virtual QString modemEvent(ModemEvent event, const QString& point, const QString& phone) const = 0;
    virtual QString hexRefusal(const BadHexPair& bad, int languageIndex) const = 0;
    // A number the modem would not dial (common/PhoneNumber.h).
    virtual QString phoneRefusal(const PhoneRefusal& refusal, int languageIndex) const = 0;
};

} // namespace tarn::link
