// A command over a telephone line. The modem the settings name dials, the command runs once the call is
// up, and the call is hung up whatever happens — the command's failure, SIGINT or SIGTERM — because
// every minute of a call left up costs money.
#include "Cli.h"

#include "link/LinkPort.h"
#include "link/ModemLink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace tarn::cli {

namespace {

// A signal only writes a byte; the event loop reads it and stops the command in order.
int signalPipe[2] = {-1, -1};
void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &c, 1);
}

class SignalsToEvents {
public:
    explicit SignalsToEvents(const std::function<void()>& onInterrupt) {
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return;
        notifier_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [onInterrupt] {
            char c = 0;
            [[maybe_unused]] const auto got = ::read(signalPipe[0], &c, 1);
            onInterrupt();
        });
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &action, &oldInt_);
        ::sigaction(SIGTERM, &action, &oldTerm_);
    }
    ~SignalsToEvents() {
        if (!notifier_) return;
        ::sigaction(SIGINT, &oldInt_, nullptr);
        ::sigaction(SIGTERM, &oldTerm_, nullptr);
        notifier_.reset();
        ::close(signalPipe[0]);
        ::close(signalPipe[1]);
        signalPipe[0] = signalPipe[1] = -1;
    }
    SignalsToEvents(const SignalsToEvents&) = delete;
    SignalsToEvents& operator=(const SignalsToEvents&) = delete;

private:
    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

void waitFor(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

constexpr int kExitInterrupted = 130;
// How long a dial may take, and the hang-up at most: three tries of escape and "ATH0".
constexpr int kDialTimeoutSec = 60;
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
    job.dialTimeoutSec = kDialTimeoutSec;
    job.name = phone;
    modem.call(job);
    // The dial is bounded by its own time-out; an interruption waits for the hang-up it leads to.
    waitFor([&] { return !modem.busy() || interrupted; }, (kDialTimeoutSec + 10) * 1000);

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
