#include "Cli.h"
#include "CliLink.h"

#include "corrector/LinkTexts.h"
#include "corrector/PageRead.h"
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

// Password items: a refusal of a write here names the password.
constexpr quint8 kFirstPasswordCode = 0xB0;
constexpr quint8 kLastPasswordCode = 0xB6;

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

    QEventLoop loop;
    enum class Outcome { Running, Done, Refused, NoLink } outcome = Outcome::Running;
    auto finish = [&](Outcome o) {
        if (outcome != Outcome::Running) return;
        outcome = o;
        QTimer::singleShot(0, &loop, &QEventLoop::quit);
    };
    QStringList payloads;
    int sent = 0;
    QString refusal;
    QObject::connect(&engine, &link::ExchangeEngine::frameSent, &scope, [&](const QByteArray&) { ++sent; });
    QObject::connect(&engine, &link::ExchangeEngine::statusReported, &scope,
                     [&](quint8, const QString& text) { refusal = text; });
    auto hexText = [](const QByteArray& p) { return QString::fromLatin1(p.toHex().toUpper()); };
    auto failed = [&](const link::Failure& f) {
        finish(f.kind == link::FailureKind::Refused ? Outcome::Refused : Outcome::NoLink);
    };

    // A refusal is reported as soon as it is in; a silent corrector gets the configured sends.
    link::CallbackTransfer transfer;
    transfer.block = [&](const link::Reply& r) {
        payloads.append(hexText(r.payload));
        return link::BlockVerdict::Continue;
    };
    transfer.refused = [&](quint8 status) {
        const bool password = op == link::opWrite && *at >= kFirstPasswordCode && *at <= kLastPasswordCode;
        engine.reportRefusal(status, password);
        return link::RefusalVerdict::End;
    };
    transfer.complete = [&] { finish(Outcome::Done); };
    transfer.failed = failed;
    // The page read goes until two reads agree, and prints the page once.
    corrector::PageReadTransfer page(engine);
    page.accepted = [&](quint8, const QByteArray& p) { payloads.append(hexText(p)); };
    page.complete = [&] { finish(Outcome::Done); };
    page.failed = failed;

    if (op == link::opPageRead)
        page.readPage(static_cast<quint8>(*at));
    else if (op == link::opWrite)
        engine.start(
            link::Request::write(op, static_cast<quint8>(*at), data, static_cast<quint16>(blocks - 1)),
            transfer);
    else
        engine.start(link::Request::read(op, static_cast<quint8>(*at), static_cast<quint8>(count),
                                         static_cast<quint16>(blocks - 1)),
                     transfer);
    // A bound on the whole run, in case nothing at all comes back from the engine.
    const qint64 perFrame = link::effectiveReplyTimeoutMs(s.replyTimeoutMs) + s.writeDelayMs + 500;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] { finish(Outcome::NoLink); });
    guard.start(
        static_cast<int>(std::min<qint64>(perFrame * s.retryCount * (blocks + 6), 24 * 3600 * 1000LL)));
    loop.exec();
    engine.abandonRequest();
    ctx.linkPort().closePort();

    if (run.options.json) {
        QJsonObject o{{QStringLiteral("payloads"), QJsonArray::fromStringList(payloads)},
                      {QStringLiteral("sent"), sent}};
        if (!refusal.isEmpty()) o.insert(QStringLiteral("refused"), refusal);
        if (outcome == Outcome::NoLink) o.insert(QStringLiteral("noLink"), corrector::noLinkText(language));
        run.printJson(o);
    } else {
        for (const QString& p : payloads) {
            QString spaced;
            for (qsizetype i = 0; i < p.size(); i += 2)
                spaced += (i ? QStringLiteral(" ") : QString()) + p.mid(i, 2);
            *run.out << spaced << "\n";
        }
        run.out->flush();
        if (outcome == Outcome::NoLink)
            run.notifier->message(MessageKind::Error, corrector::noLinkText(language));
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
