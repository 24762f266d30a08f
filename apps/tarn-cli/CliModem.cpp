// A command over a telephone line. The modem the settings name dials, the command runs once the call is
// up, and the call is hung up whatever happens — the command's failure, SIGINT or SIGTERM — because
// every minute of a call left up costs money.
#include "Cli.h"
#include "CliLink.h"

#include "common/Language.h"
#include "corrector/LinkTexts.h"
#include "corrector/ModemTexts.h"
#include "link/LinkPort.h"
#include "link/ModemLink.h"
#include "link/ModemReplies.h"
#include "link/ModemTerminal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace tarn::cli {

// A signal only writes a byte; the event loop reads it and stops the command in order.
namespace {
int signalPipe[2] = {-1, -1};
void onSignal(int signal) {
    const char c = static_cast<char>(signal);
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &c, 1);
}
} // namespace

SignalsToEvents::SignalsToEvents(const std::function<void()>& onInterrupt,
                                 const std::function<void()>& onHangUp) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [onInterrupt, onHangUp] {
        char c = 0;
        [[maybe_unused]] const auto got = ::read(signalPipe[0], &c, 1);
        if (c == SIGHUP) {
            if (onHangUp) onHangUp();
            return;
        }
        onInterrupt();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &oldInt_);
    ::sigaction(SIGTERM, &action, &oldTerm_);
    if (onHangUp) {
        hangUp_ = true;
        ::sigaction(SIGHUP, &action, &oldHup_);
    }
}

SignalsToEvents::~SignalsToEvents() {
    if (!notifier_) return;
    ::sigaction(SIGINT, &oldInt_, nullptr);
    ::sigaction(SIGTERM, &oldTerm_, nullptr);
    if (hangUp_) ::sigaction(SIGHUP, &oldHup_, nullptr);
    notifier_.reset();
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

namespace {

void waitFor(const std::function<bool()>& done, int limitMs) {
    runEventsUntil(done, limitMs);
}

// The hang-up at most: three tries of escape and "ATH0".
constexpr int kHangUpLimitMs = 30000;

} // namespace

int runOverPhone(CliRun& run, const QString& phone, const std::function<int()>& command) {
    auto& ctx = *run.context;
    auto& settings = ctx.settings();
    // The call holds the line: the port is opened once and never re-opened while the call is up (that
    // would drop it), the same path the program takes for a modem.
    settings.modemUsed = true;
    ctx.applyLinkSettings();
    link::LinkPort& port = ctx.linkPort();
    port.closePort();
    if (!port.applyAndOpen(settings)) return kExitNoLink;

    bool interrupted = false;
    link::ModemLink modem(ctx.engine(), port, [&run](const QString& line, bool error) {
        run.notifier->message(error ? MessageKind::Error : MessageKind::Information,
                              QStringLiteral("modem: ") + line);
    });
    const SignalsToEvents interruptions([&] {
        interrupted = true;
        run.interrupted = true;
        ctx.engine().abandonRequest();
    });
    link::ModemJob job;
    job.phone = phone;
    job.init = settings.modemInit;
    job.dialTimeoutSec = run.options.dialWaitSec;
    job.name = phone;
    modem.call(job);
    // The dial is bounded by its own time-out; an interruption waits for the hang-up it leads to.
    waitFor([&] { return !modem.busy() || interrupted; }, (job.dialTimeoutSec + 10) * 1000);

    int code = kExitNoLink;
    if (modem.connected() && !interrupted) code = command();
    // Off the line before the program ends, whatever the command did.
    run.interrupted = false;
    if (modem.busy() || modem.connected() || interrupted) {
        modem.hangUp();
        waitFor([&] { return !modem.busy(); }, kHangUpLimitMs);
    }
    port.closePort();
    return interrupted ? kExitInterrupted : code;
}

} // namespace tarn::cli

namespace tarn::cli {

namespace {
// The terminal's receiver: everything the modem sends while the command holds the line.
struct Collect final : link::RawReceiver {
    QByteArray received;
    void onRawBytes(const QByteArray& chunk) override { received += chunk; }
};
} // namespace

// modem send TEXT [--wait MS] [--raw]: a line to the modem as the terminal sends it (the text with its
// blanks removed and CR; with --raw as it stands), then what the modem answered within the wait.
int cmdModem(CliRun& run) {
    if (run.args.value(0) != QLatin1String("send") || run.args.size() < 2) {
        run.notifier->message(MessageKind::Error, QStringLiteral("modem send TEXT [--wait MS] [--raw]"));
        return kExitUsage;
    }
    auto& ctx = *run.context;
    QString text = run.args.mid(1).join(QLatin1Char(' '));
    QByteArray bytes;
    if (run.has(QStringLiteral("--hex"))) {
        // Checked before the port is opened: a refused line sends nothing at all.
        link::HexBytes hex = link::parseHexBytes(text);
        if (hex.bad || hex.bytes.isEmpty()) {
            run.notifier->message(MessageKind::Error,
                                  hex.bad ? corrector::hexRefusalText(*hex.bad, ctx.languageIndex())
                                          : QStringLiteral("modem send --hex: no bytes"));
            return kExitUsage;
        }
        bytes = std::move(hex.bytes);
    }
    link::LinkPort& port = ctx.linkPort();
    port.closePort();
    if (!port.applyAndOpen(ctx.settings())) return kExitNoLink;
    Collect collect;
    const link::LineClaim claim = ctx.engine().claimLine(collect);
    if (bytes.isEmpty() && run.has(QStringLiteral("--raw"))) {
        bytes = text.toLatin1();
    } else if (bytes.isEmpty()) {
        text.remove(QLatin1Char(' '));
        bytes = text.toLatin1() + '\r';
    }
    if (!port.write(bytes)) {
        run.notifier->message(MessageKind::Error, corrector::linkNoticeText(link::LinkNotice::PortWriteFailed,
                                                                            ctx.languageIndex()));
        return kExitNoLink;
    }
    bool ok = false;
    const int waitMs = run.value(QStringLiteral("--wait")).value_or(QStringLiteral("1000")).toInt(&ok);
    waitFor([] { return false; }, ok ? std::clamp(waitMs, 0, 60000) : 1000);
    const int word = static_cast<int>(link::pollingModemWord(collect.received));
    if (run.options.json) {
        run.printJson({{QStringLiteral("sent"), QString::fromLatin1(bytes)},
                       {QStringLiteral("received"), QString::fromLatin1(collect.received)},
                       {QStringLiteral("word"), word}});
    } else {
        *run.out << QString::fromLatin1(collect.received);
        if (!collect.received.endsWith('\n')) *run.out << "\n";
        run.out->flush();
    }
    port.closePort();
    return collect.received.isEmpty() ? kExitNoLink : kExitOk;
}

} // namespace tarn::cli
