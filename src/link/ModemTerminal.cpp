#include "link/ModemTerminal.h"

#include "common/Language.h"
#include "common/TextFile.h"
#include "link/ExchangeEngine.h"
#include "link/LinkLog.h"
#include "link/LinkPort.h"

#include <QTimer>
#include <algorithm>
#include <cctype>

namespace tarn::link {

namespace {

QString header(int languageIndex) {
    return uaRu(languageIndex, "//файл \"AT\" команд модему", "//файл \"AT\" команд модема");
}

} // namespace

QString atBookPath(const DataRoot& root, int languageIndex) {
    return root.file(folder::Work, languageIndex == kRussian ? QStringLiteral("FlATcom.000")
                                                             : QStringLiteral("uaFlATcom.000"));
}

std::optional<AtCommand> parseAtLine(const QString& line) {
    const qsizetype cut = line.indexOf(QStringLiteral("//"));
    const QString command = (cut < 0 ? line : line.left(cut)).trimmed();
    QString bare = command;
    bare.remove(QLatin1Char(' '));
    if (bare.isEmpty()) return std::nullopt;
    return AtCommand{command, cut < 0 ? QString() : line.mid(cut + 2)};
}

QList<AtCommand> loadAtBook(const DataRoot& root, int languageIndex, Error* error) {
    const QString path = atBookPath(root, languageIndex);
    Error readError;
    const auto lines = readTextLines(path, readError);
    if (!lines) {
        // Only a missing book is started afresh: one that cannot be read holds the user's commands.
        if (readError.is(ErrorKind::NotFound))
            writeTextLines(path, {header(languageIndex)});
        else if (error)
            *error = readError;
        return {};
    }
    QList<AtCommand> commands;
    for (const QString& line : *lines)
        if (const auto c = parseAtLine(line)) commands.append(*c);
    return commands;
}

bool saveAtBook(const DataRoot& root, int languageIndex, const QList<AtCommand>& commands) {
    QStringList lines{header(languageIndex)};
    for (const AtCommand& c : commands)
        lines.append(c.command.leftJustified(20) + QStringLiteral("//") + c.note);
    return writeTextLines(atBookPath(root, languageIndex), lines);
}

HexBytes parseHexBytes(const QString& text) {
    QString digits = text;
    digits.remove(QLatin1Char(' '));
    HexBytes out;
    for (qsizetype i = 0; i < digits.size(); i += 2) {
        const QString pair = digits.mid(i, 2);
        const bool hex = std::all_of(pair.begin(), pair.end(), [](QChar c) {
            return c.unicode() < 0x80 && std::isxdigit(static_cast<unsigned char>(c.unicode()));
        });
        if (!hex) {
            // A typo must not reach a live modem as some other byte: nothing of the line is sent.
            return {{}, BadHexPair{pair, static_cast<int>(i / 2 + 1)}};
        }
        out.bytes.append(static_cast<char>(pair.toInt(nullptr, 16)));
    }
    return out;
}

QByteArray hexBytes(const QString& text) {
    return parseHexBytes(text).bytes;
}

QStringList paneLines(const QByteArray& bytes, bool sent, int languageIndex, const QDateTime& when) {
    QStringList lines{when.toString(QStringLiteral("HH:mm:ss.zzz")),
                      countPrefix(languageIndex) + QString::number(bytes.size()) + QStringLiteral(" :: ") +
                          QString::fromLatin1(bytes.toHex(' ').toUpper())};
    QString text;
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (!sent && c == '\n') {
            lines.append(text);
            text.clear();
            continue;
        }
        // Control characters 0..2, LF, CR and (sent) 26 are not shown.
        if (u <= 2 || c == '\n' || c == '\r' || (sent && u == 26)) continue;
        text += QChar::fromLatin1(c);
    }
    if (!text.isEmpty()) lines.append(text);
    return lines;
}

ModemTerminal::ModemTerminal(ExchangeEngine& engine, LinkPort& port, int languageIndex)
    : engine_(engine), port_(port), language_(languageIndex) {}

ModemTerminal::~ModemTerminal() {
    close();
}

bool ModemTerminal::open() {
    claim_.release();
    claim_ = engine_.claimLine(*this);
    port_.closePort();
    return port_.openPort(true);
}

void ModemTerminal::close() {
    if (!claim_.held()) return;
    port_.closePort();
    claim_.release();
}

void ModemTerminal::addLines(QStringList& pane, const QStringList& lines) {
    if (pane.size() > kPaneLineLimit) pane.clear();
    pane += lines;
    emit panesChanged();
}

bool ModemTerminal::send(const QByteArray& bytes) {
    if (!port_.write(bytes)) return false;
    addLines(sent_, paneLines(bytes, true, language_, QDateTime::currentDateTime()));
    return true;
}

bool ModemTerminal::sendCommand(const QString& command) {
    QString bare = command;
    bare.remove(QLatin1Char(' '));
    if (bare.isEmpty()) return false;
    return send(bare.toLatin1() + '\r');
}

bool ModemTerminal::sendCharacters(const QString& text) {
    return send(text.toLatin1());
}

bool ModemTerminal::sendHex(const QString& text, QString* refusal) {
    const HexBytes hex = parseHexBytes(text);
    if (refusal) {
        const LinkWording* wording = engine_.wording();
        *refusal = hex.bad && wording ? wording->hexRefusal(*hex.bad, language_) : QString();
    }
    return !hex.bytes.isEmpty() && send(hex.bytes);
}

bool ModemTerminal::sendLineTest() {
    return send(QByteArray(550, 'S') + '\r');
}

void ModemTerminal::clearPanes() {
    sent_.clear();
    received_.clear();
    emit panesChanged();
}

void ModemTerminal::onRawBytes(const QByteArray& chunk) {
    addLines(received_, paneLines(chunk, false, language_, QDateTime::currentDateTime()));
    // The port's driver reports line trouble as text: the port is opened again.
    if (chunk.contains("Comm Event"))
        QTimer::singleShot(reopenAfterEventMs, this, [this] {
            port_.closePort();
            port_.openPort(true);
        });
}

} // namespace tarn::link
