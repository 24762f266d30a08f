#pragma once
// What a modem is told and what it answers: the command texts, and the two recognisers of its result
// words — the manual dial's and the polling machine's.
// Modems set to numeric results (V0) answer a digit and a carriage return; both recognisers know them.
#include <QByteArray>
#include <QString>

namespace tarn::link {

// The polling recogniser's results. The numbers are what the command line's modem reply and the port
// scanner report, so they stay as they are.
enum class ModemWord {
    None = -1,
    Ok = 0,
    Connect = 2,
    Ring = 3,
    NoCarrier = 4,
    Error = 5,
    NoDialtone = 6,
    Busy = 7,
    NoAnswer = 8,
    Escape = 9, // "+++" anywhere
};

// The polling recogniser: "+++" anywhere first; else the last non-empty line (blanks dropped) from its
// first character that can begin a word, which must go on with exactly the word; else a line that is
// only a numeric result code ended by a carriage return.
ModemWord pollingModemWord(const QByteArray& received);

// The manual dial's results.
enum class ManualReply { Nothing = 0, Connected, Ok, Ring, NoCarrier, Error, NoDialtone, Busy };
// The modem said the dial will not connect: the counting stops and the line is let go.
bool endsTheDial(ManualReply reply);

// The manual dial's recogniser. The echo of the last dial command is removed first; words anywhere win
// over numeric codes.
ManualReply manualModemReply(const QByteArray& received, const QByteArray& lastDialCommand);
// The reply field shows the modem's own word ("BUSY", "NO CARRIER" …) whatever the user's language.
QString manualReplyWord(ManualReply reply);

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
