// Tarn_B: the main program. One instance per installation; SIGTERM and SIGINT end it the orderly way.
#include "common/LanguageFile.h"
#include "link/QtSerialPort.h"
#include "polling/windows/TfChargBD.h"
#include "shell/AppContext.h"
#include "shell/CommandLine.h"
#include "shell/Installation.h"
#include "shell/ShellTexts.h"
#include "shell/SingleInstance.h"
#include "shell/windows/MessageBoxNotifier.h"
#include "shell/windows/TMenuCorr.h"
#include "shell/windows/TarnApplication.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QSocketNotifier>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPair[2] = {-1, -1};
void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] auto n = ::write(signalPair[1], &c, 1);
}

// The splash window: "Loading..." beside a picture, borderless and centred.
QWidget* makeSplash() {
    auto* w = new QWidget(nullptr, Qt::FramelessWindowHint | Qt::SplashScreen);
    w->setObjectName(QStringLiteral("TSplashForm"));
    auto* layout = new QHBoxLayout(w);
    auto* picture = new QLabel(w);
    picture->setPixmap(w->style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(64, 64));
    layout->addWidget(picture);
    layout->addWidget(new QLabel(QStringLiteral("Loading..."), w));
    w->adjustSize();
    if (QScreen* s = QGuiApplication::primaryScreen()) w->move(s->geometry().center() - w->rect().center());
    return w;
}

// TARN_START_REPORT: the time the program was launched, in nanoseconds since the epoch (`date +%s%N`).
// With it the program measures its own start and ends: it prints on stdout, on one line, the seconds
// since the launch to the start (the main window up, the wait window gone, the polling console up with
// its lists and its board's rows) and to the board filled (the points' newest records, read on a worker,
// in the board's lag column; the start again when there is nothing to fill). The start benchmark runs it
// so; the moments are the program's own, which a script watching from outside could not see.
std::optional<qint64> startReportOrigin() {
    bool ok = false;
    const qint64 origin = qEnvironmentVariable("TARN_START_REPORT").toLongLong(&ok);
    return ok ? std::optional<qint64>(origin) : std::nullopt;
}

qint64 nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void reportStartAndQuit(tarn::shell::TMenuCorr& menu, qint64 originNs) {
    struct Moments {
        std::optional<qint64> start;
        std::optional<qint64> filled;
    };
    auto moments = std::make_shared<Moments>();
    const auto reportOnceBoth = [moments, originNs] {
        if (!moments->start || !moments->filled) return;
        // The filled board is seen no earlier than the window it is in.
        const qint64 filled = std::max(*moments->start, *moments->filled);
        std::printf("%.3f %.3f\n", static_cast<double>(*moments->start - originNs) / 1e9,
                    static_cast<double>(filled - originNs) / 1e9);
        std::fflush(stdout);
        QCoreApplication::quit();
    };
    tarn::polling::TfChargBD* console = menu.openPollingConsole();
    if (console && console->dayBoard().filling())
        QObject::connect(&console->dayBoard(), &tarn::polling::DayBoardFeed::rowsFilled, &menu,
                         [moments, reportOnceBoth] {
                             if (!moments->filled) moments->filled = nowNs();
                             reportOnceBoth();
                         });
    else
        moments->filled = 0; // nothing to fill: the board is whole with the window
    // The windows are painted by the events already queued; the start is taken once they have run.
    QTimer::singleShot(0, &menu, [moments, reportOnceBoth] {
        moments->start = nowNs();
        reportOnceBoth();
    });
}

} // namespace

int main(int argc, char** argv) {
    const std::optional<qint64> startReport = startReportOrigin();
    // SIGTERM and SIGINT are taken from the very start, so that one arriving during start-up still ends
    // the program the orderly way once the main window is there.
    const bool signalsTaken = ::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPair) == 0;
    if (signalsTaken) {
        std::signal(SIGTERM, onSignal);
        std::signal(SIGINT, onSignal);
    }
    tarn::shell::TarnApplication app(argc, argv);
    const tarn::shell::CommandLine commandLine = tarn::shell::parseCommandLine(app.arguments());

    const tarn::DataRoot root =
        tarn::DataRoot::resolve(commandLine.home, QCoreApplication::applicationDirPath());
    // Installed system-wide, the program keeps each user's installation in the user's data folder, and a
    // user's first start from the desktop menu lays it out as "tarn-cli init" does. A folder named by
    // --home or TARN_HOME is never made up: a mistyped one must not become a new empty installation.
    if (commandLine.home.isEmpty() && qEnvironmentVariableIsEmpty("TARN_HOME") &&
        tarn::isSystemProgramFolder(QCoreApplication::applicationDirPath()) &&
        !QFileInfo::exists(root.root()))
        tarn::shell::initInstallation(root);
    // A second instance on the same installation ends at once, before any window; one line on stderr
    // says why.
    tarn::shell::SingleInstance instance(root);
    if (!instance.acquire()) {
        const int language = tarn::loadLanguage(root, tarn::kUkrainian);
        std::fprintf(stderr, "%s\n", instance.refusal(language).toUtf8().constData());
        return 0;
    }

    QWidget* splash = makeSplash();
    splash->show();
    // The splash is painted now, before the start-up below reads the settings and opens the database;
    // without it, it would first be painted by app.exec(), once the start-up is over. No event loop runs
    // yet and no work is in hand, so nothing can be re-entered.
    app.processEvents();

    // No application display name: the platforms append it to every window title, and a window's title is
    // its caption alone.
    app.setQuitOnLastWindowClosed(false);

    tarn::shell::MessageBoxNotifier boxes;
    tarn::shell::AppContext ctx(root, boxes, std::make_unique<tarn::link::QtSerialPort>());
    ctx.commandLine = commandLine;
    ctx.csvDelimiter = tarn::shell::readCsvDelimiter(root);
    // The identification window reads until two reads agree; its F10 stops it.
    ctx.operationStart().maxDisagreements = 0;

    tarn::shell::TMenuCorr menu(ctx);
    boxes.setParent(&menu);
    QObject::connect(&menu, &tarn::shell::TMenuCorr::ended, &app, [] { QCoreApplication::quit(); });
    // Errors that reach the event loop are shown through the program's notifier.
    app.setNotifier(&ctx.notifier());

    if (signalsTaken) {
        auto* sn = new QSocketNotifier(signalPair[0], QSocketNotifier::Read, &app);
        QObject::connect(sn, &QSocketNotifier::activated, &menu, [&menu] {
            char c;
            [[maybe_unused]] auto n = ::read(signalPair[0], &c, 1);
            menu.close();
        });
    }

    splash->hide();
    delete splash;
    menu.show();
    // The start-up switches act once the initialisation has opened the database; not when it ended the
    // program.
    bool ended = false;
    QObject::connect(&menu, &tarn::shell::TMenuCorr::ended, &menu, [&ended] { ended = true; });
    // A start that opens the console has its board's newest records read during the initialisation's
    // closing pause.
    menu.readBoardAhead = commandLine.dispatcherStart || startReport.has_value();
    QTimer::singleShot(50, &menu, [&menu, &ended, &commandLine, &startReport] {
        menu.Timer_InitProgTimer();
        if (!ended) menu.applyStartSwitches(commandLine);
        if (!ended && startReport) reportStartAndQuit(menu, *startReport);
        // Read for this moment only: a console opened later reads afresh.
        menu.dropBoardReadAhead();
    });
    const int code = app.exec();
    app.setNotifier(nullptr); // the context goes first
    return code;
}
