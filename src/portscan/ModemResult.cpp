#include "portscan/ModemResult.h"

#include "link/ModemReplies.h"

namespace tarn::portscan {

// The scanner reads a modem's answers as the polling does: one recogniser, numeric results included.
int ModemResult(const QByteArray& received) {
    return static_cast<int>(link::pollingModemWord(received));
}

} // namespace tarn::portscan
