#include "link/ModemReplies.h"

#include <QList>
#include <optional>

namespace tarn::link {

namespace {

template <typename Result> struct Word {
    const char* text;
    Result result;
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

ModemWord pollingResultOfCode(char code) {
    switch (code) {
    case '0':
        return ModemWord::Ok;
    case '1':
        return ModemWord::Connect;
    case '2':
        return ModemWord::Ring;
    case '3':
        return ModemWord::NoCarrier;
    case '4':
        return ModemWord::Error;
    case '6':
        return ModemWord::NoDialtone;
    case '7':
        return ModemWord::Busy;
    case '8':
        return ModemWord::NoAnswer;
    default:
        return ModemWord::None;
    }
}

} // namespace

ModemWord pollingModemWord(const QByteArray& received) {
    if (received.contains("+++")) return ModemWord::Escape;
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
    static constexpr Word<ModemWord> kWords[] = {
        {"CONNECT", ModemWord::Connect}, {"OK", ModemWord::Ok},
        {"RING", ModemWord::Ring},       {"NOCARRIER", ModemWord::NoCarrier},
        {"ERROR", ModemWord::Error},     {"NODIALTONE", ModemWord::NoDialtone},
        {"BUSY", ModemWord::Busy},       {"NOANSWER", ModemWord::NoAnswer}};
    for (const auto& w : kWords)
        if (text.startsWith(w.text)) return w.result;
    // A modem set to numeric results: the digit is the whole last line.
    if (line.size() == 1)
        if (const auto code = numericCode(received); code && *code == line.at(0))
            return pollingResultOfCode(*code);
    return ModemWord::None;
}

ManualReply manualModemReply(const QByteArray& received, const QByteArray& lastDialCommand) {
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
    static constexpr Word<ManualReply> kWords[] = {
        {"CONNECT", ManualReply::Connected}, {"OK", ManualReply::Ok},
        {"RING", ManualReply::Ring},         {"NOCARRIER", ManualReply::NoCarrier},
        {"ERROR", ManualReply::Error},       {"NODIALTONE", ManualReply::NoDialtone},
        {"BUSY", ManualReply::Busy}};
    for (const auto& w : kWords)
        if (printable.contains(w.text)) return w.result;
    // Numeric results are read where the line ends still are.
    static constexpr std::pair<char, ManualReply> kCodes[] = {
        {'1', ManualReply::Connected}, {'0', ManualReply::Ok},    {'2', ManualReply::Ring},
        {'3', ManualReply::NoCarrier}, {'4', ManualReply::Error}, {'6', ManualReply::NoDialtone},
        {'7', ManualReply::Busy}};
    if (const auto code = numericCode(raw))
        for (const auto& [digit, result] : kCodes)
            if (*code == digit) return result;
    return ManualReply::Nothing;
}

bool endsTheDial(ManualReply reply) {
    switch (reply) {
    case ManualReply::NoCarrier:
    case ManualReply::Error:
    case ManualReply::NoDialtone:
    case ManualReply::Busy:
        return true;
    case ManualReply::Nothing:
    case ManualReply::Connected:
    case ManualReply::Ok:
    case ManualReply::Ring:
        return false;
    }
    return false;
}

QString manualReplyWord(ManualReply reply) {
    switch (reply) {
    case ManualReply::Nothing:
        return {};
    case ManualReply::Connected:
        return QStringLiteral("CONNECT");
    case ManualReply::Ok:
        return QStringLiteral("OK");
    case ManualReply::Ring:
        return QStringLiteral("RING");
    case ManualReply::NoCarrier:
        return QStringLiteral("NO CARRIER");
    case ManualReply::Error:
        return QStringLiteral("ERROR");
    case ManualReply::NoDialtone:
        return QStringLiteral("NO DIALTONE");
    case ManualReply::Busy:
        return QStringLiteral("BUSY");
    }
    return {};
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
