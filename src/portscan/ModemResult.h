#pragma once
// The result words of a modem, recognised in what it sent back.
#include <QByteArray>

namespace tarn::portscan {

// 0 OK, 2 CONNECT, 3 RING, 4 NO CARRIER, 5 ERROR, 6 NO DIALTONE, 7 BUSY, 8 NO ANSWER, 9 "+++" seen
// anywhere, −1 none. The word is looked for in the last non-empty line, blanks removed, from the first
// character that can begin a result word; a modem set to numeric results answers a digit and a CR.
int ModemResult(const QByteArray& received);

inline constexpr int kModemOk = 0;

} // namespace tarn::portscan
