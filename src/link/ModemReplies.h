#pragma once
// What a modem is told and what it answers: the command texts, and the two recognisers of its result
// words — the manual dial's (1 connected … 7 busy) and the polling machine's (0 OK, 2 CONNECT, … 9 "+++").
// Modems set to numeric results (V0) answer a digit and a carriage return; both recognisers know them.
#include <QByteArray>
#include <QString>

namespace tarn::link {

namespace modem_word {
// The polling recogniser's results.
inline constexpr int None = -1;
inline constexpr int Ok = 0;
inline constexpr int Connect = 2;
inline constexpr int Ring = 3;
inline constexpr int NoCarrier = 4;
inline constexpr int Error = 5;
inline constexpr int NoDialtone = 6;
inline constexpr int Busy = 7;
inline constexpr int NoAnswer = 8;
inline constexpr int Escape = 9; // "+++" anywhere
} // namespace modem_word

// The polling recogniser: "+++" anywhere first; else the last non-empty line (blanks dropped) from its
// first character that can begin a word, which must go on with exactly the word; else a line that is
// only a numeric result code ended by a carriage return.
int pollingModemWord(const QByteArray& received);

// The manual dial's recogniser: 1 connected, 2 OK, 3 RING, 4 NO CARRIER, 5 ERROR, 6 NO DIALTONE, 7 BUSY,
// 0 nothing. The echo of the last dial command is removed first; words anywhere win over numeric codes.
int manualModemReply(const QByteArray& received, const QByteArray& lastDialCommand);
// The reply field's word of a manual result 2..7.
QString manualReplyWord(int result);

// The far end hung up: "NO CARRIER" among what a connected line brings, the words perhaps split over
// chunks (tail keeps the last bytes seen between calls).
bool carrierLost(QByteArray& tail, const QByteArray& chunk);

// The phone number of a book entry: its "//" comment and every blank removed.
QString phoneNumberOf(const QString& entry);
// Manual dial: "ATDP" + the number + CR; the initialisation string with its blanks removed + CR.
QByteArray manualDialCommand(const QString& phoneEntry);
QByteArray manualInitCommand(const QString& modemInit);
// Polling: the same commands ended by CR LF.
QByteArray pollingDialCommand(const QString& phone);
QByteArray pollingInitCommand(const QString& init);
inline constexpr const char* kPollingHangUp = "ATH0\r\n";
inline constexpr const char* kManualHangUp = "ATH0\r";
// The escape to command mode: always sent bare.
inline constexpr const char* kEscape = "+++";

} // namespace tarn::link
