#include "ModemRole.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

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

// What a call to a listed number may meet; "SILENCE" is a modem that never answers the dial.
const QStringList& dialOutcomes() {
    static const QStringList outcomes{QStringLiteral("CONNECT"),     QStringLiteral("BUSY"),
                                      QStringLiteral("NO DIALTONE"), QStringLiteral("NO ANSWER"),
                                      QStringLiteral("NO CARRIER"),  QStringLiteral("ERROR"),
                                      QStringLiteral("SILENCE")};
    return outcomes;
}

// The number in a dial string: the modifiers for pulse or tone, waits and pauses are not dialled
// digits, and people write numbers with blanks and dashes.
QString numberDialled(const QByteArray& dialString) {
    QString number;
    for (char c : dialString)
        if (!QByteArrayView(" -()PTW,!@;").contains(c)) number.append(QLatin1Char(c));
    return number;
}

QString timestamp(const QDateTime& at) {
    return at.toString(Qt::ISODateWithMs);
}

} // namespace

ModemRole::ModemRole(QString info, Profile factory, QStringList silent, QString dialResult, int delayMs)
    : info_(std::move(info)), factory_(factory), current_(factory), silent_(std::move(silent)),
      dialResult_(std::move(dialResult)), delayMs_(delayMs) {
    unlisted_.outcome = dialResult_;
    unlisted_.connectDelayMs = 0;
}

void ModemRole::attach(Line& line) {
    line_ = &line;
    if (dialTimer_) return;
    const auto timer = [&line](std::function<void()> f) {
        auto t = std::make_unique<ClockTimer>(line.clock());
        t->setSingleShot(true);
        // Precise: a coarse timer may fire a few percent early, and the guard time is a lower bound.
        t->setPrecise(true);
        QObject::connect(t.get(), &ClockTimer::timeout, t.get(), std::move(f));
        return t;
    };
    dialTimer_ = timer([this] { finishDial(); });
    escapeTimer_ = timer([this] { escapeGuardEnded(); });
    remoteHangupTimer_ = timer([this] { remoteHangup(); });
}

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
    auto modem = std::make_unique<ModemRole>(
        config.value(QStringLiteral("info")).toString(QStringLiteral("V.92 modem 56000")), p, silent, dial,
        config.value(QStringLiteral("delayMs")).toInt(5));

    CallSettings settings;
    settings.guardMs = config.value(QStringLiteral("guardMs")).toInt(settings.guardMs);
    settings.connectDelayMs = config.value(QStringLiteral("connectDelayMs")).toInt(settings.connectDelayMs);
    settings.connectSpeed = config.value(QStringLiteral("connectSpeed")).toInt(settings.connectSpeed);
    settings.callLogPath = config.value(QStringLiteral("callLog")).toString();
    if (settings.guardMs <= 0 || settings.connectDelayMs < 0) {
        error = QStringLiteral("modem: \"guardMs\" is above 0 and \"connectDelayMs\" not negative");
        return nullptr;
    }
    if (!settings.callLogPath.isEmpty()) {
        // Found out now rather than at the first call: the file the tests will read must be writable.
        QFile log(settings.callLogPath);
        if (!log.open(QIODevice::WriteOnly | QIODevice::Append)) {
            error = QStringLiteral("modem: cannot write the call log ") + settings.callLogPath;
            return nullptr;
        }
    }
    modem->setCallSettings(settings);

    const QJsonValue numbers = config.value(QStringLiteral("numbers"));
    if (!numbers.isUndefined() && !numbers.isObject()) {
        error = QStringLiteral("modem: \"numbers\" is an object of telephone numbers");
        return nullptr;
    }
    const QJsonObject table = numbers.toObject();
    for (auto it = table.begin(); it != table.end(); ++it) {
        const QString where = QStringLiteral("modem: number \"") + it.key() + QStringLiteral("\": ");
        const QString number = normalizedNumber(it.key());
        if (number.isEmpty() || !it.value().isObject()) {
            error = where + QStringLiteral("a number with an object");
            return nullptr;
        }
        if (modem->devicesBehind(number)) {
            error = where + QStringLiteral("listed twice");
            return nullptr;
        }
        const QJsonObject o = it.value().toObject();
        Number entry;
        entry.outcome = o.value(QStringLiteral("outcome")).toString(QStringLiteral("CONNECT")).toUpper();
        if (!dialOutcomes().contains(entry.outcome)) {
            error =
                where + QStringLiteral("\"outcome\" is one of ") + dialOutcomes().join(QStringLiteral(", "));
            return nullptr;
        }
        entry.connectDelayMs = o.value(QStringLiteral("connectDelayMs")).toInt(-1);
        entry.remoteHangupAfterMs = o.value(QStringLiteral("remoteHangupAfterMs")).toInt(0);
        const QJsonValue behind = o.value(QStringLiteral("corrector"));
        if (!behind.isUndefined()) {
            if (!behind.isObject()) {
                error = where + QStringLiteral("\"corrector\" is a device object or {\"devices\": […]}");
                return nullptr;
            }
            const QJsonObject scenario = behind.toObject();
            QJsonArray devices = scenario.contains(QStringLiteral("devices"))
                                     ? scenario.value(QStringLiteral("devices")).toArray()
                                     : QJsonArray{scenario};
            for (const auto& d : devices) {
                QJsonObject device = d.toObject();
                if (!device.contains(QStringLiteral("role")))
                    device.insert(QStringLiteral("role"), QStringLiteral("corrector"));
                auto role = makeRole(device, error);
                if (!role) {
                    error = where + error;
                    return nullptr;
                }
                entry.devices.push_back(std::move(role));
            }
        }
        modem->addNumber(number, std::move(entry));
    }
    return modem;
}

QString ModemRole::normalizedNumber(const QString& number) {
    QString n;
    for (QChar c : number)
        if (!QStringView(u" ()-").contains(c)) n.append(c.toUpper());
    return n;
}

void ModemRole::addNumber(const QString& number, Number entry) {
    numbers_.insert_or_assign(normalizedNumber(number), std::move(entry));
}

const std::vector<std::unique_ptr<Role>>* ModemRole::devicesBehind(const QString& number) const {
    const auto it = numbers_.find(normalizedNumber(number));
    return it == numbers_.end() ? nullptr : &it->second.devices;
}

void ModemRole::receive(const QByteArray& bytes, Line& line) {
    attach(line);
    // A command line may end in ATO with data right behind it, so the mode is looked at byte by byte.
    QByteArray data;
    for (char c : bytes) {
        switch (mode_) {
        case Mode::Data:
            data.append(c);
            break;
        case Mode::Dialling:
            if (c != '\r' && c != '\n') abortDial(line);
            break;
        case Mode::Command:
            commandByte(c, line);
            break;
        }
    }
    if (!data.isEmpty()) dataBytes(data, line);
}

void ModemRole::tick(Line& line) {
    attach(line);
    // The devices behind the modem live only while the program can hear them.
    if (mode_ != Mode::Data || !call_) return;
    for (auto& device : call_->entry->devices)
        device->tick(farEnd_);
}

void ModemRole::commandByte(char c, Line& line) {
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

void ModemRole::result(const char* word, Line& line, const QByteArray& verboseSuffix) {
    if (current_.quiet) return;
    if (current_.verbose)
        line.send(QByteArray("\r\n") + word + verboseSuffix + "\r\n", delayMs_);
    else
        line.send(QByteArray::number(resultNumber(word)) + '\r', delayMs_);
}

void ModemRole::command(const QByteArray& commandLine, Line& line) {
    // Whatever comes before "AT" is noise (a frame sent while no call was up): ignored, as is a line
    // without a command.
    QByteArray upper = commandLine.toUpper();
    const qsizetype start = upper.indexOf("AT");
    if (start < 0) return;
    upper = upper.mid(start);
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
            // H1 takes the line off-hook without a call: nothing to do here.
            if (digit(0) == 0 && call_) endCall("ATH");
            break;
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
            if (call_) endCall("ATZ");
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
        case 'O':
            digit(0);
            return returnToData(line);
        case 'D':
            // The dial string is the rest of the line.
            return dial(upper.mid(i + 1), line);
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

void ModemRole::dial(const QByteArray& dialString, Line& line) {
    if (call_) return result("ERROR", line); // one call at a time
    const QString number = numberDialled(dialString);
    const auto listed = numbers_.find(number);
    Number* entry = listed == numbers_.end() ? &unlisted_ : &listed->second;
    logEvent(QJsonObject{{QStringLiteral("event"), QStringLiteral("dialled")},
                         {QStringLiteral("number"), number},
                         {QStringLiteral("outcome"), entry->outcome}});
    if (entry->outcome == QLatin1String("SILENCE")) return;
    if (entry->outcome == QLatin1String("ERROR")) return result("ERROR", line);
    const int delay = entry->connectDelayMs >= 0 ? entry->connectDelayMs : settings_.connectDelayMs;
    mode_ = Mode::Dialling;
    diallingNumber_ = number;
    diallingEntry_ = entry;
    if (delay <= 0)
        finishDial();
    else
        dialTimer_->start(delay);
}

void ModemRole::finishDial() {
    if (mode_ != Mode::Dialling || !line_) return;
    mode_ = Mode::Command;
    const QByteArray outcome = diallingEntry_->outcome.toLatin1();
    if (outcome == "CONNECT")
        openCall(diallingNumber_, diallingEntry_, *line_);
    else
        result(outcome.constData(), *line_);
}

void ModemRole::abortDial(Line& line) {
    // A key pressed while the modem dials gives the attempt up, as on any Hayes modem.
    dialTimer_->stop();
    mode_ = Mode::Command;
    result("NO CARRIER", line);
}

void ModemRole::openCall(const QString& number, Number* entry, Line& line) {
    call_ = Call{++callsMade_, number, entry, line.nowMs(), line.now()};
    logEvent(QJsonObject{{QStringLiteral("event"), QStringLiteral("connected")},
                         {QStringLiteral("call"), call_->id},
                         {QStringLiteral("number"), number},
                         {QStringLiteral("at"), timestamp(call_->connectedAt)}});
    if (entry->remoteHangupAfterMs > 0) remoteHangupTimer_->start(entry->remoteHangupAfterMs);
    returnToData(line);
}

void ModemRole::returnToData(Line& line) {
    if (!call_) return result("NO CARRIER", line);
    mode_ = Mode::Data;
    pending_.clear();
    escapePluses_ = 0;
    lastDataByteMs_ = line.nowMs();
    result("CONNECT", line, ' ' + QByteArray::number(settings_.connectSpeed));
}

void ModemRole::dataBytes(const QByteArray& bytes, Line& line) {
    const qint64 now = line.nowMs();
    for (char c : bytes) {
        const qint64 quietBefore = now - lastDataByteMs_;
        lastDataByteMs_ = now;
        if (escapePluses_ == 3) {
            // Anything within the guard after the third '+' makes them data after all.
            escapeTimer_->stop();
            escapePluses_ = 0;
        }
        if (c != '+') {
            escapePluses_ = 0;
        } else if (quietBefore >= settings_.guardMs) {
            escapePluses_ = 1; // a '+' after the guard starts an escape
        } else if (escapePluses_ > 0) {
            if (++escapePluses_ == 3) escapeTimer_->start(settings_.guardMs);
        }
    }
    for (auto& device : call_->entry->devices)
        device->receive(bytes, farEnd_);
}

void ModemRole::escapeGuardEnded() {
    if (mode_ != Mode::Data || escapePluses_ != 3 || !line_) return;
    escapePluses_ = 0;
    mode_ = Mode::Command;
    pending_.clear();
    result("OK", *line_);
}

void ModemRole::remoteHangup() {
    if (!call_ || !line_) return;
    endCall("remote");
    result("NO CARRIER", *line_);
}

void ModemRole::endCall(const char* by) {
    if (escapeTimer_) escapeTimer_->stop();
    if (remoteHangupTimer_) remoteHangupTimer_->stop();
    escapePluses_ = 0;
    mode_ = Mode::Command;
    const qint64 connectedMs = line_ ? line_->nowMs() - call_->connectedMs : 0;
    logEvent(QJsonObject{{QStringLiteral("event"), QStringLiteral("ended")},
                         {QStringLiteral("call"), call_->id},
                         {QStringLiteral("number"), call_->number},
                         {QStringLiteral("connectedAt"), timestamp(call_->connectedAt)},
                         {QStringLiteral("by"), QLatin1String(by)},
                         {QStringLiteral("seconds"), static_cast<double>(connectedMs) / 1000.0}});
    call_.reset();
}

void ModemRole::logEvent(const QJsonObject& event) {
    QJsonObject stamped = event;
    if (!stamped.contains(QStringLiteral("at")))
        stamped.insert(QStringLiteral("at"), timestamp(line_ ? line_->now() : QDateTime::currentDateTime()));
    const QByteArray json = QJsonDocument(stamped).toJson(QJsonDocument::Compact);
    if (!settings_.callLogPath.isEmpty()) {
        // Opened and closed for every line, so each one is on disk however the simulator ends.
        QFile log(settings_.callLogPath);
        if (log.open(QIODevice::WriteOnly | QIODevice::Append)) log.write(json + '\n');
    }
    if (line_) line_->report(QStringLiteral("call ") + QString::fromUtf8(json));
}

QString ModemRole::describe() const {
    QString text = QStringLiteral("modem \"%1\", %2 result codes")
                       .arg(info_, factory_.verbose ? QStringLiteral("verbose") : QStringLiteral("numeric"));
    for (const auto& [number, entry] : numbers_) {
        text += QStringLiteral("; %1: %2").arg(number, entry.outcome);
        for (const auto& device : entry.devices)
            text += QStringLiteral(", ") + device->describe();
    }
    return text;
}

void ModemRole::FarEndLine::send(const QByteArray& bytes, int delayMs) {
    if (modem_.mode_ == Mode::Data && modem_.line_) modem_.line_->send(bytes, delayMs);
}

int ModemRole::FarEndLine::programBaud() const {
    return modem_.line_ ? modem_.line_->programBaud() : 0;
}

qint64 ModemRole::FarEndLine::nowMs() const {
    return modem_.line_ ? modem_.line_->nowMs() : 0;
}

QDateTime ModemRole::FarEndLine::now() const {
    return modem_.line_ ? modem_.line_->now() : QDateTime::currentDateTime();
}

// The devices behind the modem hear it only in data mode, so the modem has met its line by then.
Clock& ModemRole::FarEndLine::clock() {
    return modem_.line_->clock();
}

} // namespace tarn::sim
