#include "Cli.h"
#include "CliLink.h"

#include "link/ExchangeEngine.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QTimer>

namespace tarn::cli {

namespace {

std::optional<int> parseNumber(const QString& text) {
    bool ok = false;
    const int v = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? text.mid(2).toInt(&ok, 16)
                                                                            : text.toInt(&ok, 10);
    return ok ? std::optional<int>(v) : std::nullopt;
}

std::optional<QByteArray> parseHexData(QString text) {
    text.remove(QLatin1Char(' '));
    if (text.isEmpty() || text.size() % 2) return std::nullopt;
    for (QChar c : text)
        if (!c.isDigit() && !(c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f')))
            return std::nullopt;
    return QByteArray::fromHex(text.toLatin1());
}

// The command's side of an item transfer: it only needs to know when the transfer has ended.
struct ItemEnd final : link::ItemTransferConsumer {
    std::function<void()> ended;
    void endItemTransfer() override {
        if (ended) ended();
    }
};

// A page is printed once its two reads agree.
struct PageEnd final : link::PageReadConsumer {
    std::function<void(const QByteArray&)> accepted;
    void onPageAccepted(quint8, const QByteArray& payload) override {
        if (accepted) accepted(payload);
    }
};

constexpr quint8 kPasswordItemCode = 0xB0;
constexpr int kPasswordItem = 48;

} // namespace

// exchange --op read|archive-low|archive-high|page|write --at N [--count N] [--data HEX] [--blocks N]
// Sends through the exchange engine and prints every payload in hexadecimal. Exit 0 when the transfer
// completed, 3 when the corrector refused it, 1 when it stayed silent (or the port could not be used).
int cmdExchange(CliRun& run) {
    const QString opText = run.value(QStringLiteral("--op")).value_or(QString());
    quint8 op = 0;
    if (opText == QLatin1String("read"))
        op = link::opRead;
    else if (opText == QLatin1String("archive-low"))
        op = link::opArchiveLow;
    else if (opText == QLatin1String("archive-high"))
        op = link::opArchiveHigh;
    else if (opText == QLatin1String("page"))
        op = link::opPageRead;
    else if (opText == QLatin1String("write"))
        op = link::opWrite;
    else {
        run.notifier->message(MessageKind::Error,
                              QStringLiteral("exchange: --op read|archive-low|archive-high|page|write"));
        return kExitUsage;
    }
    const auto at = parseNumber(run.value(QStringLiteral("--at")).value_or(QString()));
    if (!at || *at < 0 || *at > 255) {
        run.notifier->message(MessageKind::Error, QStringLiteral("exchange: --at is 0..255"));
        return kExitUsage;
    }
    int count = op == link::opRead ? 32 : 0;
    if (const auto c = run.value(QStringLiteral("--count"))) {
        const auto n = parseNumber(*c);
        if (!n || *n < 0 || *n > 256) {
            run.notifier->message(MessageKind::Error,
                                  QStringLiteral("exchange: --count is 1..256 (0 or 256: 256)"));
            return kExitUsage;
        }
        count = *n & 0xFF;
    }
    int blocks = 1;
    if (const auto b = run.value(QStringLiteral("--blocks"))) {
        const auto n = parseNumber(*b);
        if (!n || *n < 1 || *n > 65536) {
            run.notifier->message(MessageKind::Error, QStringLiteral("exchange: --blocks is 1..65536"));
            return kExitUsage;
        }
        blocks = *n;
    }
    QByteArray data;
    if (op == link::opWrite) {
        const auto d = parseHexData(run.value(QStringLiteral("--data")).value_or(QString()));
        if (!d || d->size() > link::kMaxWriteData) {
            run.notifier->message(MessageKind::Error,
                                  QStringLiteral("exchange: --data is 1..256 bytes in hexadecimal"));
            return kExitUsage;
        }
        data = *d;
    }

    shell::AppContext& ctx = *run.context;
    const int language = ctx.languageIndex();
    // The engine configured from the settings and the options; the trace file is written when the run ends.
    CliLink cliLink(run);
    QObject& scope = cliLink.scope();

    link::LinkSettings& s = ctx.settings();
    link::ExchangeEngine& engine = ctx.engine();
    if (!ctx.linkPort().applyAndOpen(s)) {
        // A missing port fails without a message of its own.
        if (!ctx.linkPort().portExists(ctx.linkPort().portName()))
            run.notifier->message(MessageKind::Error, ctx.linkPort().initErrorText());
        return kExitNoLink;
    }

    // Single item reads and writes go as an item transfer, so a refusal is reported at once.
    const bool itemTransfer = blocks == 1 && (op == link::opWrite || (op == link::opRead && *at >= 0x80));
    ItemEnd itemEnd;
    if (itemTransfer) {
        link::LinkModes& m = engine.modes();
        m.parameterTransfer = true;
        m.lastItem = true;
        m.itemNumber = *at >= kPasswordItemCode && *at < kPasswordItemCode + 7
                           ? kPasswordItem + (*at - kPasswordItemCode)
                           : 0;
        engine.consumers().items = &itemEnd;
    }

    QEventLoop loop;
    enum class Outcome { Running, Done, Refused, NoLink } outcome = Outcome::Running;
    auto finish = [&](Outcome o) {
        if (outcome != Outcome::Running) return;
        outcome = o;
        QTimer::singleShot(0, &loop, &QEventLoop::quit);
    };
    QStringList payloads;
    int sent = 0;
    int accepted = 0;
    QString refusal;
    QObject::connect(&engine, &link::ExchangeEngine::frameSent, &scope, [&](const QByteArray&) { ++sent; });
    QObject::connect(&engine, &link::ExchangeEngine::replyAccepted, &scope,
                     [&](quint8, quint8, const QByteArray& p) {
                         ++accepted;
                         if (op != link::opPageRead)
                             payloads.append(QString::fromLatin1(p.toHex().toUpper()));
                     });
    PageEnd pageEnd;
    pageEnd.accepted = [&](const QByteArray& p) {
        payloads.append(QString::fromLatin1(p.toHex().toUpper()));
    };
    engine.consumers().pages = &pageEnd;
    QObject::connect(&engine, &link::ExchangeEngine::transferComplete, &scope,
                     [&] { finish(Outcome::Done); });
    QObject::connect(&engine, &link::ExchangeEngine::statusReported, &scope,
                     [&](quint8, const QString& text) {
                         refusal = text;
                         finish(Outcome::Refused);
                     });
    QObject::connect(&engine, &link::ExchangeEngine::linkLost, &scope, [&] {
        // Refused on every try: the corrector's answer is still in the buffer.
        const QByteArray last = engine.receiveBuffer();
        if (!last.isEmpty() && last.at(0) != 0)
            if (const auto text = link::statusMessage(static_cast<quint8>(last.at(0)), false, language)) {
                refusal = *text;
                run.notifier->message(MessageKind::Error, refusal);
                finish(Outcome::Refused);
                return;
            }
        finish(Outcome::NoLink);
    });
    itemEnd.ended = [&] {
        if (accepted > 0) finish(Outcome::Done);
    };
    // The page check reads a page until two reads agree; the command reads the one page.
    if (op == link::opWrite)
        engine.startWrite(op, static_cast<quint8>(*at), data, s.retryCount, static_cast<quint16>(blocks - 1));
    else if (op == link::opPageRead)
        engine.startPageRead(static_cast<quint8>(*at));
    else
        engine.startRead(op, static_cast<quint8>(*at), static_cast<quint8>(count), s.retryCount,
                         static_cast<quint16>(blocks - 1));
    // A bound on the whole run, in case nothing at all comes back from the engine.
    const qint64 perFrame = link::effectiveReplyTimeoutMs(s.replyTimeoutMs) + s.writeDelayMs + 500;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] { finish(Outcome::NoLink); });
    guard.start(
        static_cast<int>(std::min<qint64>(perFrame * s.retryCount * (blocks + 6), 24 * 3600 * 1000LL)));
    loop.exec();
    engine.consumers().items = nullptr;
    engine.consumers().pages = nullptr;
    ctx.linkPort().closePort();

    if (run.options.json) {
        QJsonObject o{{QStringLiteral("payloads"), QJsonArray::fromStringList(payloads)},
                      {QStringLiteral("sent"), sent}};
        if (!refusal.isEmpty()) o.insert(QStringLiteral("refused"), refusal);
        if (outcome == Outcome::NoLink) o.insert(QStringLiteral("noLink"), link::noLinkText(language));
        run.printJson(o);
    } else {
        for (const QString& p : payloads) {
            QString spaced;
            for (qsizetype i = 0; i < p.size(); i += 2)
                spaced += (i ? QStringLiteral(" ") : QString()) + p.mid(i, 2);
            *run.out << spaced << "\n";
        }
        run.out->flush();
        if (outcome == Outcome::NoLink) run.notifier->message(MessageKind::Error, link::noLinkText(language));
    }
    switch (outcome) {
    case Outcome::Done:
        return kExitOk;
    case Outcome::Refused:
        return kExitRefused;
    default:
        return kExitNoLink;
    }
}

} // namespace tarn::cli
