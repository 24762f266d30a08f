#include "link/ModemReplies.h"

#include <QList>
#include <optional>

namespace tarn::link {

namespace {

struct Word {
    const char* text;
    int result;
};

// A numeric result code: a line holding one digit, ended by a carriage return.
std::optional<char> numericCode(const QByteArray& text) {
    std::optional<char> last;
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        const char c = text.at(i);
        if (c < '0' || c > '9' || text.at(i + 1) != '\r') continue;
        const bool lineStart = i == 0 || text.at(i - 1) == '\r' || text.at(i - 1) == '\n';
        if (lineStart) last = c;
    }
    return last;
}

int pollingResultOfCode(char code) {
    switch (code) {
    case '0':
        return modem_word::Ok;
    case '1':
        return modem_word::Connect;
    case '2':
        return modem_word::Ring;
    case '3':
        return modem_word::NoCarrier;
    case '4':
        return modem_word::Error;
    case '6':
        return modem_word::NoDialtone;
    case '7':
        return modem_word::Busy;
    case '8':
        return modem_word::NoAnswer;
    default:
        return modem_word::None;
    }
}

} // namespace

int pollingModemWord(const QByteArray& received) {
    if (received.contains("+++")) return modem_word::Escape;
    // The last non-empty line, without line ends and blanks.
    QByteArray line, current;
    for (char c : received) {
        if (c == '\r' || c == '\n') {
            if (!current.isEmpty()) line = current;
            current.clear();
        } else if (c != ' ') {
            current.append(c);
        }
    }
    if (!current.isEmpty()) line = current;
    qsizetype from = 0;
    for (qsizetype i = 0; i < line.size(); ++i)
        if (QByteArrayView("+>BCENOR").contains(line.at(i))) {
            from = i;
            break;
        }
    const QByteArrayView text = QByteArrayView(line).sliced(from);
    static constexpr Word kWords[] = {
        {"CONNECT", modem_word::Connect}, {"OK", modem_word::Ok},
        {"RING", modem_word::Ring},       {"NOCARRIER", modem_word::NoCarrier},
        {"ERROR", modem_word::Error},     {"NODIALTONE", modem_word::NoDialtone},
        {"BUSY", modem_word::Busy},       {"NOANSWER", modem_word::NoAnswer}};
    for (const Word& w : kWords)
        if (text.startsWith(w.text)) return w.result;
    // A modem set to numeric results: the digit is the whole last line.
    if (line.size() == 1)
        if (const auto code = numericCode(received); code && *code == line.at(0))
            return pollingResultOfCode(*code);
    return modem_word::None;
}

int manualModemReply(const QByteArray& received, const QByteArray& lastDialCommand) {
    // The modem's echo of the dial command goes first, so that the number's digits are not read as codes.
    QByteArray raw = received;
    if (const qsizetype echo = raw.indexOf(lastDialCommand); !lastDialCommand.isEmpty() && echo >= 0)
        raw.remove(echo, lastDialCommand.size());
    QByteArray printable;
    for (char c : raw)
        if (static_cast<unsigned char>(c) > 20 && c != ' ') printable.append(c);
    QByteArray command = lastDialCommand;
    command.replace("\r", "").replace("\n", "").replace(" ", "");
    if (const qsizetype echo = printable.indexOf(command); !command.isEmpty() && echo >= 0)
        printable.remove(echo, command.size());
    static constexpr Word kWords[] = {{"CONNECT", 1}, {"OK", 2},         {"RING", 3}, {"NOCARRIER", 4},
                                      {"ERROR", 5},   {"NODIALTONE", 6}, {"BUSY", 7}};
    for (const Word& w : kWords)
        if (printable.contains(w.text)) return w.result;
    // Numeric results are read where the line ends still are.
    static constexpr std::pair<char, int> kCodes[] = {{'1', 1}, {'0', 2}, {'2', 3}, {'3', 4},
                                                      {'4', 5}, {'6', 6}, {'7', 7}};
    if (const auto code = numericCode(raw))
        for (const auto& [digit, result] : kCodes)
            if (*code == digit) return result;
    return 0;
}

QString manualReplyWord(int result) {
    static const char* const kWords[] = {"",           "CONNECT", "OK",          "RING",
                                         "NO CARRIER", "ERROR",   "NO DIALTONE", "BUSY"};
    return result >= 0 && result <= 7 ? QString::fromLatin1(kWords[result]) : QString();
}

bool carrierLost(QByteArray& tail, const QByteArray& chunk) {
    tail = (tail + chunk).right(64);
    if (!tail.contains("NO CARRIER") && !tail.contains("NOCARRIER")) return false;
    tail.clear();
    return true;
}

QString phoneNumberOf(const QString& entry) {
    QString number = entry.section(QStringLiteral("//"), 0, 0);
    number.remove(QLatin1Char(' '));
    return number;
}

QByteArray manualDialCommand(const QString& phoneEntry) {
    return "ATDP" + phoneNumberOf(phoneEntry).toLatin1() + '\r';
}

QByteArray manualInitCommand(const QString& modemInit) {
    QString init = modemInit;
    init.remove(QLatin1Char(' '));
    return init.toLatin1() + '\r';
}

QByteArray pollingDialCommand(const QString& phone) {
    return "ATDP" + phoneNumberOf(phone).toLatin1() + "\r\n";
}

QByteArray pollingInitCommand(const QString& init) {
    return init.trimmed().toLatin1() + "\r\n";
}

} // namespace tarn::link
