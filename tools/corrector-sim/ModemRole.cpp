#include "ModemRole.h"

#include <QJsonArray>

namespace tarn::sim {

namespace {

struct ResultCode {
    const char* word;
    int number;
};
// The modem's result codes: the verbose word and its number.
constexpr ResultCode kResultCodes[] = {
    {"OK", 0},    {"CONNECT", 1},     {"RING", 2}, {"NO CARRIER", 3},
    {"ERROR", 4}, {"NO DIALTONE", 6}, {"BUSY", 7}, {"NO ANSWER", 8},
};

int resultNumber(const char* word) {
    for (const ResultCode& c : kResultCodes)
        if (qstrcmp(c.word, word) == 0) return c.number;
    return 4;
}

} // namespace

ModemRole::ModemRole(QString info, Profile factory, QStringList silent, QString dialResult, int delayMs)
    : info_(std::move(info)), factory_(factory), current_(factory), silent_(std::move(silent)),
      dialResult_(std::move(dialResult)), delayMs_(delayMs) {}

std::unique_ptr<Role> ModemRole::fromJson(const QJsonObject& config, QString& error) {
    Profile p;
    p.echo = config.value(QStringLiteral("echo")).toBool(true);
    p.verbose = config.value(QStringLiteral("verbose")).toBool(true);
    QStringList silent;
    for (const auto& v : config.value(QStringLiteral("silent")).toArray())
        silent.append(v.toString().toUpper());
    const QString dial = config.value(QStringLiteral("dial")).toString(QStringLiteral("NO CARRIER"));
    bool known = false;
    for (const ResultCode& c : kResultCodes)
        known = known || dial == QLatin1String(c.word);
    if (!known) {
        error = QStringLiteral("modem: unknown dial result \"") + dial + QStringLiteral("\"");
        return nullptr;
    }
    return std::make_unique<ModemRole>(
        config.value(QStringLiteral("info")).toString(QStringLiteral("V.92 modem 56000")), p, silent, dial,
        config.value(QStringLiteral("delayMs")).toInt(5));
}

void ModemRole::receive(const QByteArray& bytes, Line& line) {
    for (char c : bytes) {
        if (current_.echo) line.send(QByteArray(1, c));
        if (c == '\r') {
            const QByteArray commandLine = pending_.trimmed();
            pending_.clear();
            if (!commandLine.isEmpty()) command(commandLine, line);
        } else if (c != '\n') {
            pending_.append(c);
            if (pending_.size() > 256) pending_.clear(); // a modem's command buffer is small
        }
    }
}

void ModemRole::result(const char* word, Line& line) {
    if (current_.quiet) return;
    if (current_.verbose)
        line.send(QByteArray("\r\n") + word + "\r\n", delayMs_);
    else
        line.send(QByteArray::number(resultNumber(word)) + '\r', delayMs_);
}

void ModemRole::command(const QByteArray& commandLine, Line& line) {
    const QByteArray upper = commandLine.toUpper();
    if (!upper.startsWith("AT")) return; // not a command: ignored
    if (silent_.contains(QString::fromLatin1(upper))) return;
    QByteArray infoText;
    for (qsizetype i = 2; i < upper.size(); ++i) {
        const char c = upper.at(i);
        auto digit = [&](int fallback) {
            if (i + 1 < upper.size() && upper.at(i + 1) >= '0' && upper.at(i + 1) <= '9')
                return upper.at(++i) - '0';
            return fallback;
        };
        switch (c) {
        case ' ':
            break;
        case 'E':
            current_.echo = digit(0) != 0;
            break;
        case 'V':
            current_.verbose = digit(0) != 0;
            break;
        case 'Q':
            current_.quiet = digit(0) != 0;
            break;
        case 'H':
        case 'L':
        case 'M':
        case 'X':
            digit(0);
            break;
        case 'I':
            if (digit(0) == 0) infoText = info_.toLatin1();
            break;
        case 'Z':
            digit(0);
            current_ = factory_;
            break;
        case '&':
            if (i + 1 >= upper.size()) return result("ERROR", line);
            if (upper.at(++i) == 'F') current_ = factory_;
            digit(0);
            break;
        case 'S':
            // Sn=v or Sn?: the register is accepted and not kept.
            while (i + 1 < upper.size() && (QByteArrayView("0123456789=?").contains(upper.at(i + 1))))
                ++i;
            break;
        case 'D':
        case 'A':
            return result(dialResult_.toLatin1().constData(), line);
        default:
            return result("ERROR", line);
        }
    }
    if (!infoText.isEmpty() && !current_.quiet) {
        const QByteArray lead = current_.verbose ? QByteArray("\r\n") : QByteArray();
        line.send(lead + infoText + "\r\n", delayMs_);
    }
    result("OK", line);
}

QString ModemRole::describe() const {
    return QStringLiteral("modem \"%1\", %2 result codes")
        .arg(info_, factory_.verbose ? "verbose" : "numeric");
}

} // namespace tarn::sim
