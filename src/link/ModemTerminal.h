#pragma once
// The modem terminal ("ИНИЦИАЛИЗАЦИЯ МОДЕМА"): the AT command book of the language, what the user sends
// (a book command, an "AT" line, characters as typed, hexadecimal bytes, a line test of 550 "S"), and
// both panes' lines as the window shows them. It holds the line while it is open, so the modem's text
// never reaches the frame reader.
#include "common/DataRoot.h"
#include "common/Error.h"
#include "link/LinkWording.h"
#include "link/Transfer.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <optional>

namespace tarn::link {

class ExchangeEngine;
class LinkPort;

struct AtCommand {
    QString command;
    QString note;
};

// Work\uaFlATcom.000 (Ukrainian) or Work\FlATcom.000 (Russian).
QString atBookPath(const DataRoot& root, int languageIndex);
// The book's commands; a missing book is created empty (with its header line). A book that is there but
// cannot be read gives no commands and is left as it is; error (when given) says why.
QList<AtCommand> loadAtBook(const DataRoot& root, int languageIndex, Error* error = nullptr);
// The header, then each command padded to 20 characters, "//" and its note.
bool saveAtBook(const DataRoot& root, int languageIndex, const QList<AtCommand>& commands);
// One book line: the command (blanks around it removed) and the note after the first "//".
std::optional<AtCommand> parseAtLine(const QString& line);
// Two-digit hexadecimal pairs, blanks removed; an odd last digit is read alone.
struct HexBytes {
    QByteArray bytes;
    std::optional<BadHexPair> bad; // the first pair that is not a hexadecimal byte; then no bytes
};
HexBytes parseHexBytes(const QString& text);
// The bytes, or none when any pair is not a hexadecimal byte.
QByteArray hexBytes(const QString& text);

// A pane's lines for one chunk: the time, the length and the bytes in hexadecimal, and the printable
// characters (a received chunk broken into lines at LF).
QStringList paneLines(const QByteArray& bytes, bool sent, int languageIndex, const QDateTime& when);
inline constexpr int kPaneLineLimit = 300;

class ModemTerminal final : public QObject, public RawReceiver {
    Q_OBJECT
public:
    ModemTerminal(ExchangeEngine& engine, LinkPort& port, int languageIndex);
    ~ModemTerminal() override;
    int reopenAfterEventMs = 200;

    // Takes the line and opens the port; false when the port cannot be opened.
    bool open();
    void close();
    // A book command or an "AT" line: blanks removed, CR after it.
    bool sendCommand(const QString& command);
    bool sendCharacters(const QString& text); // as typed
    // Nothing is sent unless every pair is a hexadecimal byte: false, and the refusal says which.
    bool sendHex(const QString& text, QString* refusal = nullptr);
    bool sendLineTest(); // 550 "S" and CR
    const QStringList& sentPane() const { return sent_; }
    const QStringList& receivedPane() const { return received_; }
    void clearPanes();

    void onRawBytes(const QByteArray& chunk) override;

signals:
    void panesChanged();

private:
    bool send(const QByteArray& bytes);
    void addLines(QStringList& pane, const QStringList& lines);

    ExchangeEngine& engine_;
    LinkPort& port_;
    int language_;
    LineClaim claim_;
    QStringList sent_;
    QStringList received_;
};

} // namespace tarn::link
