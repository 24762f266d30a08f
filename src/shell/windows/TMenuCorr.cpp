#include "shell/windows/TMenuCorr.h"

#include "common/LanguageFile.h"
#include "common/TuningFiles.h"
#include "corrector/CorrectorSession.h"
#include "corrector/CorrectorWindowModel.h"
#include "corrector/LinkTexts.h"
#include "corrector/StoreReading.h"
#include "corrector/ValueLists.h"
#include "corrector/windows/CoefficientMenu.h"
#include "corrector/windows/CorrectorFileMenu.h"
#include "corrector/windows/TCorrect.h"
#include "corrector/windows/TRdWrCor.h"
#include "corrector/windows/TfPrPar.h"
#include "corrector/windows/TfVersRS.h"
#include "database/Gases.h"
#include "database/windows/TBDquon.h"
#include "database/windows/TConfigCor.h"
#include "database/windows/TStoreWait.h"
#include "graphs/windows/TfMakeGrafGr.h"
#include "graphs/windows/TfMakeGrafMK.h"
#include "link/ModemSession.h"
#include "link/windows/TAdrCr.h"
#include "link/windows/TDebug_RS.h"
#include "link/windows/TEditorAdrM.h"
#include "link/windows/TInRS232.h"
#include "link/windows/TModC.h"
#include "link/windows/TfInitPort.h"
#include "link/windows/TfTesMod.h"
#include "polling/PollingRun.h"
#include "polling/ViewerRefresh.h"
#include "polling/windows/TfChargBD.h"
#include "reports/ReportHeaders.h"
#include "reports/ReportService.h"
#include "reports/windows/TPrXls.h"
#include "reports/windows/TPrint_ku.h"
#include "shell/ShellTexts.h"
#include "shell/windows/TAboutForm.h"
#include "shell/windows/WaitWindow.h"
#include "sync/FolderSync.h"
#include "sync/GroupPackages.h"
#include "sync/windows/PackageActions.h"
#include "sync/windows/TfDirSynch.h"
#include "sync/windows/TfWrRd_Gr.h"
#include "transfer/windows/TransferUnitMenu.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>

#include <utility>

namespace tarn::shell {

TMenuCorr::TMenuCorr(AppContext& ctx, QWidget* parent)
    : QMainWindow(parent), ctx_(ctx), controller_(ctx.root(), ctx.settings(), ctx.linkPort()) {
    setObjectName(QStringLiteral("TMenuCorr"));
    // The windows opened from here keep the storage they were given: a changed database choice waits
    // for the next start.
    ctx_.restartToSwitchDatabase = true;
    programFolder = QCoreApplication::applicationDirPath();
    openDocument = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    QMenuBar* bar = menuBar();
    corrector_ = bar->addAction(QString());
    polling_ = bar->addAction(QString());
    settings_ = bar->addAction(QString());
    help_ = bar->addMenu(QString());
    about_ = help_->addAction(QString());
    manual_ = help_->addAction(QString());
    helpDb_ = help_->addAction(QString());
    helpDb_->setVisible(false);
    exit_ = bar->addAction(QString());

    connect(corrector_, &QAction::triggered, this, &TMenuCorr::openCorrectorWindow);
    connect(polling_, &QAction::triggered, this, &TMenuCorr::openPollingConsole);
    connect(settings_, &QAction::triggered, this, &TMenuCorr::openSettingsWindow);
    connect(about_, &QAction::triggered, this, &TMenuCorr::openAbout);
    connect(manual_, &QAction::triggered, this, &TMenuCorr::openManual);
    connect(exit_, &QAction::triggered, this, &TMenuCorr::exitProgram);

    link::TInRS232::Hooks hooks;
    hooks.afterSave = [this] {
        // The tables are closed by the database start-up that the sequence runs. The box "Синхронизация"
        // may have been ticked or cleared: the refresh cycle follows it.
        if (!RunInitialisation()) {
            close();
            return;
        }
        startViewer();
    };
    hooks.startPortScan = [this] { startPortScan(); };
    hooks.reinitPort = [this](const link::LinkSettings& s) { reinitPort(s); };
    hooks.languageChanged = [this] { QTimer::singleShot(0, this, &QWidget::close); };
    hooks.serviceLevel = [this] { return ctx_.serviceLevel; };
    hooks.debuggerOn = [this] { return ctx_.linkLog().enabled; };
    hooks.setDebuggerOn = [this](bool on) { ctx_.linkLog().enabled = on; };
    settingsWindow_ = new link::TInRS232(controller_, hooks, this);

    // The tray icon: "Восстановить" is disabled until the window is minimised; "Скрыть" is never shown.
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        tray_ = new QSystemTrayIcon(style()->standardIcon(QStyle::SP_ComputerIcon), this);
        tray_->setToolTip(applicationTitle());
        trayMenu_ = new QMenu(this);
        trayRestore_ = trayMenu_->addAction(Text(kShellExtraTexts, kTrayRestore, kRussian));
        trayHide_ = trayMenu_->addAction(Text(kShellExtraTexts, kTrayHide, kRussian));
        trayHide_->setVisible(false);
        trayRestore_->setEnabled(false);
        connect(trayRestore_, &QAction::triggered, this, &TMenuCorr::leaveDutyMode);
        connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
            if (r != QSystemTrayIcon::Trigger) return;
            raise();
            trayMenu_->popup(QCursor::pos());
        });
        tray_->show();
    }
    setWindowTitle(QString::fromLatin1(kMainCaption));

    // The body: the program's name under the menu.
    auto* body = new QLabel(this);
    body->setAlignment(Qt::AlignCenter);
    body->setText(QStringLiteral("<div style='font-size:28pt;font-weight:bold;color:#1f4e79'>Tarn</div>"
                                 "<div style='font-size:11pt;color:#444'>%1</div>")
                      .arg(applicationTitle().toHtmlEscaped()));
    setCentralWidget(body);
}

TMenuCorr::~TMenuCorr() {
    if (tray_) tray_->hide();
    // The context outlives this window: it must not keep sending messages to the console's lines.
    if (notifierBeforeDuty_) ctx_.notifier().setTarget(*notifierBeforeDuty_);
}

void TMenuCorr::setCaptions() {
    corrector_->setText(ctx_.text(kShellTexts, kMenuCorrector));
    polling_->setText(uaRu(ctx_.languageIndex(), "Опитування", "Опрос"));
    settings_->setText(ctx_.text(kShellTexts, kMenuSettings));
    help_->setTitle(ctx_.text(kShellTexts, kMenuHelp));
    about_->setText(ctx_.text(kShellTexts, kMenuAbout));
    manual_->setText(ctx_.text(kShellTexts, kMenuManual));
    helpDb_->setText(ctx_.text(kShellTexts, kMenuHelpDb));
    exit_->setText(ctx_.text(kShellTexts, kMenuExit));
}

void TMenuCorr::Timer_InitProgTimer() {
    ctx_.setLanguageIndex(kUkrainian);
    ctx_.setLanguageIndex(loadLanguage(ctx_.root(), kUkrainian));
    // Qt's own buttons and dialogs in the same language; without Qt's translations they stay English.
    qtTexts_.load(ctx_.languageIndex());
    setCaptions();
    setWindowTitle(QString::fromLatin1(kMainCaption));
    setWindowState(Qt::WindowNoState);
    resize(730, 210);
    move(0, 0);
    if (!RunInitialisation()) {
        close();
        return;
    }
    startViewer();
}

bool TMenuCorr::RunInitialisation() {
    // The database is started again below: nothing of the board may be reading it meanwhile.
    if (console_) console_->dayBoard().markStale();
    boardReadAhead_.reset();
    TWr_BD wait(ctx_.languageIndex(), this);
    wait.startDelayMs = waitDelayMs;
    wait.closeDelayMs = waitDelayMs;
    InitialisationResult result;
    const bool ahead = readBoardAhead && !console_;
    readBoardAhead = false;
    wait.run(
        [&] {
            result = runInitialisation(ctx_);
            if (ahead && ctx_.databaseOpen)
                boardReadAhead_ =
                    polling::readNewestAhead(ctx_.groupFiles(), ctx_.storage(), ctx_.clock().now().date());
        },
        [&] {
            if (ahead && ctx_.databaseOpen && !result.outdatedSettings) consoleMadeAhead_ = makeConsole();
            // Its style, too, is settled while the window waits, not when the console is shown.
            if (consoleMadeAhead_) console_->ensurePolished();
        });
    if (result.outdatedSettings) {
        // The clean-up deleted the old file; the next start finds none and uses the defaults.
        skipSettingsWriteOnExit_ = true;
        ctx_.notifier().message(MessageKind::Information, ctx_.text(kShellExtraTexts, kOutdatedSettings));
        return false;
    }
    // Polling stores what it reads: without the database there is nothing to poll into.
    polling_->setVisible(ctx_.databaseOpen);
    stopUsingOldDatabase();
    return true;
}

void TMenuCorr::stopUsingOldDatabase() {
    // The run holds the storage, the groups and the claims it was made with: it stops, and starts nothing
    // more, until the program is started on the new choice (or the choice goes back to its database).
    if (pollingRun_) pollingRun_->refuseStarts(ctx_.databaseSwitchRefused());
    // The console, whose configurator and views work on the run's groups and storage, goes once the run
    // has ended; the polling menu that would open it again is hidden with the database.
    if (console_ && !ctx_.databaseSwitchRefused().isEmpty() && console_->isVisible()) console_->close();
}

namespace {

// What the package windows need of the run.
sync::PackageUi packageUi(AppContext& ctx) {
    sync::PackageUi ui;
    ui.root = ctx.root();
    ui.schemas = &ctx.schemas;
    ui.notifier = &ctx.notifier();
    ui.language = ctx.languageIndex();
    ui.settings = ctx.settings();
    return ui;
}

sync::TfWrRd_Gr::Input groupPackageInput(AppContext& ctx) {
    sync::TfWrRd_Gr::Input input;
    input.root = ctx.root();
    input.storage = &ctx.storage();
    input.language = ctx.languageIndex();
    input.settings = ctx.settings();
    return input;
}

} // namespace

bool TMenuCorr::runSynchronisation() {
    if (refusedOnServer()) return false;
    sync::TfDirSynch window(ctx_.root(), sync::synchronisationFolder(ctx_.settings()), ctx_.languageIndex(),
                            ctx_.notifier(), this);
    return window.runModal();
}

polling::ViewerRefresh& TMenuCorr::viewer() {
    if (viewer_) return *viewer_;
    polling::ViewerRefresh::Steps steps;
    steps.closeTables = [this] {
        // The files are replaced and the database started again: the board stops reading them first.
        if (console_) console_->dayBoard().markStale();
        boardReadAhead_.reset();
        ctx_.databaseOpen = false;
    };
    steps.synchronise = [this] {
        QWidget* parent = console_ ? static_cast<QWidget*>(console_.get()) : this;
        sync::TfDirSynch window(ctx_.root(), sync::synchronisationFolder(ctx_.settings()),
                                ctx_.languageIndex(), ctx_.notifier(), parent);
        polling::ViewerSyncOutcome outcome;
        outcome.goOn = window.runModal();
        const sync::FolderSync& run = window.run();
        outcome.completed = run.finished() && !run.stopped() && !run.sourceLost();
        outcome.copied = run.copied();
        outcome.missing = run.missing();
        outcome.errors = run.errors();
        return outcome;
    };
    // Filled by the database check when there is one; asked at each use, so a check set later counts.
    steps.checkTables = [this] { return shell::checkTablesBeforeStart(ctx_); };
    steps.startDatabase = [this] {
        const bool open = startDatabase(ctx_);
        polling_->setVisible(open);
        stopUsingOldDatabase();
        return open;
    };
    viewer_ = std::make_unique<polling::ViewerRefresh>(ctx_.root(), ctx_.notifier(), steps);
    return *viewer_;
}

bool TMenuCorr::refusedOnServer() {
    if (!ctx_.serverDatabase()) return false;
    ctx_.notifier().message(
        MessageKind::Warning,
        uaRu(ctx_.languageIndex(),
             "Синхронізація папок і пакети *.tbd працюють з файлами таблиць; база даних цієї установки на "
             "сервері ",
             "Синхронизация папок и пакеты *.tbd работают с файлами таблиц; база данных этой установки на "
             "сервере ") +
            ctx_.serverDatabase()->toString());
    return true;
}

void TMenuCorr::startViewer() {
    // A synchronised copy takes the master's table files; a server database is shared already.
    if (sync::isSynchronisedCopy(ctx_.settings()) && ctx_.databaseOpen && refusedOnServer()) return;
    if (!sync::isSynchronisedCopy(ctx_.settings()) || !ctx_.databaseOpen) {
        if (console_ && console_->viewerRefresh()) console_->setViewerRefresh(nullptr);
        return;
    }
    // The copy starts from the master's data as they are now; the cycle counts from this synchronisation.
    viewer().synchroniseNow();
    // A console made ahead was read before the master's data came: it is read again when shown.
    consoleMadeAhead_ = false;
    if (!ctx_.databaseOpen) return;
    // A console that already showed the cycle had its timer stopped by the synchronisation.
    if (openPollingConsole()) console_->restartViewerCycle();
}

bool TMenuCorr::makeConsole() {
    if (console_) return std::exchange(consoleMadeAhead_, false);
    if (!pollingRun_) {
        pollingRun_ = std::make_unique<polling::PollingRun>(ctx_.pollingParts(), ctx_.languageIndex());
    }
    console_ = std::make_unique<polling::TfChargBD>(*pollingRun_, ctx_.root(), ctx_.notifier(),
                                                    ctx_.languageIndex(), this, std::move(boardReadAhead_));
    console_->setWindowFlag(Qt::Window);
    // The console waits on the run's clock when it closes during a run.
    console_->setClock(ctx_.clock());
    connect(console_.get(), &polling::TfChargBD::dutyModeRequested, this, &TMenuCorr::enterDutyMode);
    // An alarm brings back a main window in duty mode or minimised to the tray.
    connect(console_.get(), &polling::TfChargBD::alarmRaised, this, [this] {
        if (dutyMode_ || (trayRestore_ && trayRestore_->isEnabled())) leaveDutyMode();
    });
    return true;
}

polling::TfChargBD* TMenuCorr::openPollingConsole() {
    if (!ctx_.databaseOpen) return nullptr;
    // A console opened again shows what is stored now.
    if (!makeConsole()) console_->reload();
    // Packages of a point or a group; on a synchronised copy the cycle button synchronises. Set at every
    // opening: the settings may have made the installation a synchronised copy since.
    polling::TfChargBD::PackageHooks packages;
    packages.savePoint = [this](const QString& identifier) {
        sync::savePointPackage(console_.get(), packageUi(ctx_), identifier);
    };
    // A synchronised copy takes its data from the master only: it saves packages, it opens none.
    const bool copyOnly = sync::isSynchronisedCopy(ctx_.settings());
    if (!copyOnly)
        packages.openPoint = [this] {
            if (sync::openPointPackage(console_.get(), packageUi(ctx_))) console_->reload();
        };
    packages.saveGroup = [this](const QString& groupName) {
        sync::TfWrRd_Gr::Input input = groupPackageInput(ctx_);
        input.groupName = groupName;
        sync::TfWrRd_Gr window(sync::TfWrRd_Gr::Mode::Save, input, ctx_.notifier(), console_.get());
        window.exec();
    };
    if (!copyOnly)
        packages.openGroup = [this] {
            sync::TfWrRd_Gr::Input input = groupPackageInput(ctx_);
            input.startFolder = sync::lastGroupFolder(ctx_.root());
            sync::TfWrRd_Gr window(sync::TfWrRd_Gr::Mode::Open, input, ctx_.notifier(), console_.get());
            window.exec();
            console_->reload();
        };
    if (copyOnly)
        packages.synchronise = [this] {
            runSynchronisation();
            console_->reload();
        };
    // Packages hold a point's table files, and a synchronised copy takes the master's: none of them for a
    // database kept on a server (no hook, no button).
    if (ctx_.serverDatabase()) packages = {};
    console_->setPackageHooks(packages);
    polling::ViewerRefresh* refresh = copyOnly ? &viewer() : nullptr;
    if (console_->viewerRefresh() != refresh) console_->setViewerRefresh(refresh);
    console_->show();
    console_->raise();
    return console_.get();
}

void TMenuCorr::enterDutyMode() {
    if (dutyMode_) return;
    dutyMode_ = true;
    consoleBeforeDuty_ = console_ && console_->isVisible();
    if (console_ && !notifierBeforeDuty_) {
        notifierBeforeDuty_ = &ctx_.notifier().target();
        dutyNotices_ = std::make_unique<polling::ConsoleNotices>(*console_);
        ctx_.notifier().setTarget(*dutyNotices_);
    }
    if (tray_) {
        hide();
        if (console_) console_->hide();
        if (trayHide_) trayHide_->setEnabled(false);
        if (trayRestore_) trayRestore_->setEnabled(true);
        tray_->show();
        return;
    }
    showMinimized();
    if (consoleBeforeDuty_) console_->showMinimized();
}

void TMenuCorr::leaveDutyMode() {
    dutyMode_ = false;
    if (notifierBeforeDuty_) {
        ctx_.notifier().setTarget(*notifierBeforeDuty_);
        notifierBeforeDuty_ = nullptr;
    }
    showNormal();
    if (consoleBeforeDuty_ && console_) {
        console_->showNormal();
        console_->raise();
    }
    consoleBeforeDuty_ = false;
    if (trayRestore_) trayRestore_->setEnabled(false);
    if (trayHide_) trayHide_->setEnabled(true);
}

void TMenuCorr::dropBoardReadAhead() {
    boardReadAhead_.reset();
    consoleMadeAhead_ = false;
}

void TMenuCorr::applyStartSwitches(const CommandLine& commandLine) {
    if (commandLine.dispatcherStart) {
        if (!openPollingConsole()) return;
        // Duty mode first: whatever the start has to say goes into the console, not into a box.
        enterDutyMode();
        pollingRun_->startSchedule();
    } else if (commandLine.startIntoPolling) {
        enterDutyMode();
    }
}

void TMenuCorr::openCorrectorWindow() {
    hide();
    corrector::CorrectorSession session(ctx_.engine(), ctx_.linkPort(), ctx_.settings(), ctx_.notifier(),
                                        ctx_.operationStart(), ctx_.readRun(), ctx_.languageIndex());
    session.model().setVolumeDecimals(ctx_.volumeDecimals);
    // The window's operations and calls hold the line for their whole length: a due group waits for them.
    session.setLineHold(&ctx_.lineHold());
    // The modem in interactive use: the manual dial, the call held while frames go out, dropped in order.
    link::ModemSession modem(ctx_.engine(), ctx_.linkPort(), ctx_.settings(), ctx_.languageIndex());
    modem.setLineHold(&ctx_.lineHold());
    corrector::TCorrect::Hooks hooks;
    hooks.startOperation = [&session](int code) { session.startOperation(code); };
    hooks.startSelectiveRead = [&session](int days) { session.startSelectiveRead(days); };
    // A call still up is dropped before the window goes; the user leaves once the modem is off the line.
    hooks.mayLeave = [this, &modem] {
        // Closing this window ends the program and with it the polling run or the day's schedule.
        if (pollingRun_ && pollingRun_->running() &&
            !ctx_.notifier().confirm(uaRu(ctx_.languageIndex(),
                                          "Працює опитування (або розклад опитування). Завершити програму "
                                          "і зупинити опитування?",
                                          "Работает опрос (или расписание опроса). Завершить программу и "
                                          "остановить опрос?")))
            return false;
        if (!modem.connected() && !modem.droppingCall()) return true;
        modem.setClosing(true);
        modem.drop();
        ctx_.notifier().message(MessageKind::Warning,
                                uaRu(ctx_.languageIndex(), "Увага!!! Модем відключається від лінії.",
                                     "Внимание!!! Модем отключается от линии."));
        return false;
    };
    corrector::TCorrect window(session.model(), ctx_.settings(), ctx_.settingsFiles(), ctx_.notifier(), hooks,
                               this);
    connect(window.modemDialAction(), &QAction::triggered, &window, [this, &modem, &window] {
        link::TModC dial(modem, ctx_.root(), ctx_.languageIndex(), ctx_.notifier(), &window);
        dial.exec();
    });
    connect(window.modemDropAction(), &QAction::triggered, &modem, &link::ModemSession::drop);
    connect(window.modemTerminalAction(), &QAction::triggered, &window, [this, &window] {
        link::ModemTerminal terminal(ctx_.engine(), ctx_.linkPort(), ctx_.languageIndex());
        if (!terminal.open()) return; // the port says why
        link::TfTesMod terminalWindow(terminal, ctx_.root(), ctx_.languageIndex(), ctx_.notifier(), &window);
        terminalWindow.exec();
    });
    connect(&modem, &link::ModemSession::connectedChanged, &window, [&modem, &window](bool connected) {
        window.showModemConnection(connected ? modem.connectionLabel() : QString());
    });
    window.applyChannelSettings(ctx_.settings());
    window.debugAction()->setVisible(ctx_.serviceLevel == 5);
    corrector::connectProgramFromFile(
        window, session.model(), ctx_.engine(), ctx_.operationStart(), ctx_.notifier(),
        {ctx_.root(), ctx_.databaseOpen ? &ctx_.storage() : nullptr, ctx_.languageIndex(), &ctx_.lineHold()},
        ctx_.serviceLevel);
    // "Z-900" and "ЗИБ": the coefficient windows over this session.
    corrector::connectCoefficientWindows(
        window, session, ctx_.engine(), ctx_.linkPort(), ctx_.notifier(),
        {ctx_.root().dir(folder::Report), ctx_.serviceLevel, ctx_.settings().rsOff});
    // "ДТУ-1-16": the transfer unit's window; a zone it loads is stored as a reading by the unit.
    transfer::TransferUnitMenuOptions unit;
    unit.root = ctx_.root();
    unit.language = ctx_.languageIndex();
    unit.debugging = [this] { return ctx_.linkLog().enabled; };
    unit.settings = &ctx_.settings();
    unit.invertLpt = [this] { return ctx_.linkLog().options.invertLpt; };
    unit.serviceLevel = [this] { return ctx_.serviceLevel; };
    unit.store = [this](const corrector::Reading& reading, const QList<int>& kinds, QWidget* parent) {
        storeReading(reading, kinds, parent);
    };
    transfer::connectTransferUnit(window, session.model(), ctx_.engine(), ctx_.linkPort(), ctx_.notifier(),
                                  unit);
    connect(window.debugRsAction(), &QAction::triggered, &window, [this, &window] {
        link::TDebug_RS debugger(ctx_.linkLog(), &window);
        debugger.exec();
    });
    // "АДРЕС": the corrector to talk to from the address book; the editors of the address and phone books.
    connect(window.addressChoiceAction(), &QAction::triggered, &window, [this, &session, &window] {
        link::TAdrCr::Hooks choice;
        choice.resetCorrectorWindow = [&session] { session.model().ClearWindow(); };
        choice.chooseAddress = [this](const QString& entry) { ctx_.chooseAddress(entry); };
        link::TAdrCr selection(ctx_.root(), ctx_.languageIndex(), ctx_.selectedEntry(), ctx_.notifier(),
                               choice, &window);
        selection.exec();
    });
    auto openBookEditor = [this, &window](link::BookKind kind) {
        link::TEditorAdrM editor(kind, ctx_.root(), ctx_.languageIndex(), ctx_.notifier(),
                                 corrector::correctorLinkWording(), &window);
        editor.exec();
    };
    connect(window.addressEditorAction(), &QAction::triggered, &window,
            [openBookEditor] { openBookEditor(link::BookKind::Addresses); });
    connect(window.phoneEditorAction(), &QAction::triggered, &window,
            [openBookEditor] { openBookEditor(link::BookKind::Phones); });

    corrector::TfVersRS identification(ctx_.operationStart(), &window);
    corrector::TRdWrCor readWindow(ctx_.readRun(), &window);
    corrector::CorrectorSession::Ui ui;
    ui.reinitPort = [this] { return reinitPort(ctx_.settings()); };
    ui.openReadWindow = [&readWindow](int kind) { readWindow.openFor(kind); };
    ui.identificationShown = [&identification] {
        identification.setCaptions();
        identification.show();
    };
    ui.identificationClosed = [&identification] { identification.hide(); };
    session.setUi(ui);
    connect(&session.link(), &corrector::EngineParameterLink::noLinkChanged, &window,
            &corrector::TCorrect::setNoLinkShown);

    // The corrector graph dialog on a stored point and an archive.
    const auto openPointGraph = [this](const QString& identifier, graphs::GraphArchive archive,
                                       QWidget* parent) {
        graphs::TfMakeGrafMK::Input graph;
        graph.root = ctx_.root();
        graph.storage = &ctx_.storage();
        graph.language = ctx_.languageIndex();
        graph.identifier = identifier;
        graph.archive = archive;
        graphs::TfMakeGrafMK dialog(std::move(graph), ctx_.notifier(), parent);
        dialog.exec();
    };

    // "БД": the database window, made the first time it is asked for.
    std::unique_ptr<database::TBDquon> tables;
    window.databaseAction()->setVisible(ctx_.databaseOpen);
    connect(window.databaseAction(), &QAction::triggered, &window, [this, &tables, &window, openPointGraph] {
        if (!ctx_.databaseOpen) return;
        if (!tables) {
            database::TBDquon::Options options;
            options.language = ctx_.languageIndex();
            options.syncOn = ctx_.settings().syncOn;
            options.tableFiles = !ctx_.serverDatabase();
            options.openReport = [this, &tables, openPointGraph](const database::Point& point) {
                reports::TPrint_ku::Input input;
                input.root = ctx_.root();
                input.language = ctx_.languageIndex();
                input.databaseOnly = true;
                input.header = reports::headerFromPoint(point, ctx_.volumeDecimals);
                input.identifier = point.identifier;
                input.storage = &ctx_.storage(); // "Перечень" and "Опрос"
                input.groups = &ctx_.groupFiles();
                input.source = [service = reports::ReportService(ctx_.root(), ctx_.storage()),
                                id = point.identifier] { return service.storedSource(id); };
                input.openPointGraph = [openPointGraph](const QString& identifier, QWidget* parent) {
                    openPointGraph(identifier, graphs::GraphArchive::Hourly, parent);
                };
                input.openGroupGraph = [this](const QString& group, QWidget* parent) {
                    graphs::TfMakeGrafGr::Input graph;
                    graph.root = ctx_.root();
                    graph.storage = &ctx_.storage();
                    graph.groups = &ctx_.groupFiles();
                    graph.language = ctx_.languageIndex();
                    graph.groupName = group;
                    graphs::TfMakeGrafGr dialog(std::move(graph), ctx_.notifier(), parent);
                    dialog.exec();
                };
                reports::TPrint_ku report(std::move(input), ctx_.notifier(), tables.get());
                report.exec();
            };
            if (!ctx_.serverDatabase())
                options.savePackage = [this, &tables](const database::Point& point) {
                    sync::savePointPackage(tables.get(), packageUi(ctx_), point.identifier);
                };
            if (!ctx_.serverDatabase())
                options.openPackage = [this, &tables]() -> QString {
                    const auto outcome = sync::openPointPackage(tables.get(), packageUi(ctx_));
                    return outcome && outcome->ok ? outcome->identifier : QString();
                };
            // The record menu's "График": the graph dialog on that point and archive.
            options.openGraph = [&tables, openPointGraph](const database::Point& point,
                                                          database::TableKind kind) {
                const graphs::GraphArchive archive =
                    kind == database::TableKind::Daily       ? graphs::GraphArchive::Daily
                    : kind == database::TableKind::Monthly   ? graphs::GraphArchive::Monthly
                    : kind == database::TableKind::Operative ? graphs::GraphArchive::Operative
                                                             : graphs::GraphArchive::Hourly;
                openPointGraph(point.identifier, archive, tables.get());
            };
            options.groups = &ctx_.groupFiles();
            tables = std::make_unique<database::TBDquon>(ctx_.root(), ctx_.storage(), ctx_.notifier(),
                                                         options, &window);
            tables->setWindowFlag(Qt::Window);
            databaseToolTips_.watch(tables.get());
        } else {
            tables->refresh();
            // The panel may have been given its default height in the console's settings meanwhile.
            tables->applyUpperHeight(loadPanelSizes(ctx_.root()).databaseUpper);
        }
        databaseToolTips_.setEnabled(loadTuning(ctx_.root()).toolTips);
        tables->show();
        tables->raise();
    });

    // "ОТКРЫТЬ ФАЙЛ *.tbd": a package into the database. The database window lets go of the point's tables
    // first; a point new here comes up in the corrector window from its parameter file.
    window.openPackageAction()->setVisible(ctx_.databaseOpen && !sync::isSynchronisedCopy(ctx_.settings()) &&
                                           !ctx_.serverDatabase());
    connect(window.openPackageAction(), &QAction::triggered, &window, [this, &session, &tables, &window] {
        if (!ctx_.databaseOpen) return;
        if (tables) tables->model().selectRow(-1);
        const auto outcome = sync::openPointPackage(&window, packageUi(ctx_));
        if (outcome && outcome->ok && outcome->added)
            corrector::loadPointParameterFile(
                session.model(), corrector::pointParameterFilePath(ctx_.root(), outcome->identifier),
                ctx_.notifier());
        if (tables) {
            if (outcome && outcome->ok) tables->model().selectPoint(outcome->identifier);
            tables->refresh();
        }
    });

    // "ОТЧЕТ": the archives read since the corrector window opened.
    QList<corrector::Archive> archivesRead;
    connect(&session, &corrector::CorrectorSession::readRunClosed, &window, [&session, &archivesRead] {
        for (int kind : session.readRun().completedKinds())
            if (const auto g = corrector::archiveGeometry(kind, session.model().reading().profile))
                if (!archivesRead.contains(g->archive)) archivesRead.append(g->archive);
    });
    connect(window.reportAction(), &QAction::triggered, &window, [this, &session, &window, &archivesRead] {
        reports::TPrint_ku::Input input;
        input.root = ctx_.root();
        input.language = ctx_.languageIndex();
        input.header = reports::headerFromCorrector(session.model().reading(), ctx_.languageIndex());
        input.corrector = &session.model().reading(); // "Пр.пар" prints the parameters in the window
        input.storage = &ctx_.storage();
        input.groups = &ctx_.groupFiles();
        const reports::ReportHeader header = input.header;
        input.source = [&session, &archivesRead, header] {
            return std::make_unique<reports::ArchiveTableSource>(session.model().archives(), archivesRead,
                                                                 header.pressureUnit, header.heatUnit);
        };
        reports::TPrint_ku report(std::move(input), ctx_.notifier(), &window);
        report.exec();
    });

    // "ФАЙЛ": a file opened takes the place of a reading: its archives are the report's and are stored as
    // read from a file.
    corrector::CorrectorFileMenu::Options fileOptions;
    fileOptions.reportFolder = ctx_.root().dir(folder::Report);
    fileOptions.textFolder = ctx_.root().dir(folder::Text);
    fileOptions.excelFolder = ctx_.root().dir(folder::Excel);
    fileOptions.loaded = [this, &session, &window, &tables, &archivesRead](const QString& path) {
        const corrector::CorrectorWindowModel& model = session.model();
        QList<int> kinds;
        archivesRead.clear();
        for (int kind = 1; kind <= corrector::kMaxReadKind; ++kind) {
            if (!model.kindRead(kind)) continue;
            kinds.append(kind);
            if (const auto g = corrector::archiveGeometry(kind, model.reading().profile))
                if (model.archives().rowCount(g->archive) > 0) archivesRead.append(g->archive);
        }
        storeReading(model.reading(), kinds, &window, path);
        if (tables) tables->refresh();
    };
    // "СОХРАНИТЬ КАК *.xls": the workbook of the window's parameters and tables, shown once written.
    fileOptions.saveWorkbook = [this, &session, &window] {
        reports::TPrXls::Input input;
        input.language = ctx_.languageIndex();
        input.excelFolder = ctx_.root().dir(folder::Excel);
        // Without a program for workbooks the user is still told where it went.
        input.showWorkbook = [this](const QString& path) {
            if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
                ctx_.notifier().message(
                    MessageKind::Information,
                    uaRu(ctx_.languageIndex(), "ФАЙЛ ЗВІТУ ЗАПИСАН ", "ФАЙЛ ОТЧЕТА ЗАПИСАН ") + path);
        };
        reports::TPrXls dialog(session.model().reading(), std::move(input), ctx_.notifier(), &window);
        dialog.exec();
    };
    window.fileMenu().setOptions(fileOptions);

    // After a reading with archives, the request to store: a known point at once, an unknown one once the
    // configurator has its settings.
    connect(&session, &corrector::CorrectorSession::readRunClosed, &window,
            [this, &session, &window, &tables](bool completed) {
                if (!completed) return;
                storeReading(session.model().reading(), session.readRun().completedKinds(), &window);
                if (tables) tables->refresh();
            });
    window.exec();
    // Closing the corrector window ends the program: the port is closed first.
    ctx_.engine().abandonRequest();
    if (!ctx_.settings().rsOff) ctx_.linkPort().closePort();
    close();
}

void TMenuCorr::storeReading(const corrector::Reading& reading, const QList<int>& kindsRead, QWidget* parent,
                             const QString& fileName) {
    QList<int> archives;
    for (int kind : kindsRead)
        if (corrector::isArchiveKind(kind)) archives.append(kind);
    if (archives.isEmpty() || !ctx_.databaseOpen || ctx_.settings().syncOn) return;
    const QStringList gases = corrector::configuratorGasNames(ctx_.storage(), ctx_.languageIndex());
    database::TStoreWait wait(ctx_.notifier(), parent);
    corrector::StoreRequestHooks hooks;
    hooks.configureNewPoint = [&](database::Point& point) {
        database::TConfigCor configurator(point, gases, ctx_.notifier(), parent);
        if (configurator.exec() != QDialog::Accepted) return false;
        point.config = configurator.config();
        return true;
    };
    hooks.adjustContext = [&fileName](database::StoreContext& c) { c.fileName = fileName; };
    // The point is known by now: the rows are written on the wait window's worker while it shows them.
    hooks.runStore = [&wait](const corrector::ArchiveStore& store) {
        database::StoreResult result;
        wait.runModal([&](const BackgroundRun::Progress& progress) { result = store(progress); });
        return result;
    };
    // Every kind read counts: the instantaneous measurement is stored beside the archives.
    const auto r = corrector::storeAfterReading(ctx_.root(), ctx_.storage(), reading, ctx_.settings(),
                                                ctx_.engine().settings().deviceAddress, ctx_.languageIndex(),
                                                kindsRead, hooks);
    if (!r.error.isEmpty()) ctx_.notifier().message(MessageKind::Error, r.error);
    // The rows are stored; a CSV copy that could not be written is told, not passed over.
    for (const QString& path : r.result.csvFailed)
        ctx_.notifier().message(
            MessageKind::Warning,
            uaRu(ctx_.languageIndex(), "Не вдалося записати файл ", "Не удалось записать файл ") + path);
}

void TMenuCorr::openSettingsWindow() {
    controller_.open(ctx_.languageIndex());
    settingsWindow_->setCaptions(ctx_.languageIndex());
    settingsWindow_->loadFromController();
    settingsWindow_->move(0, 0);
    settingsWindow_->exec();
}

void TMenuCorr::openAbout() {
    TAboutForm about(ctx_.languageIndex(), this);
    about.exec();
}

void TMenuCorr::openManual() {
    const QString path = ctx_.root().file(folder::Doc, QStringLiteral("Tarn.pdf"));
    TWr_BD wait(ctx_.languageIndex(), this);
    wait.startDelayMs = waitDelayMs;
    wait.closeDelayMs = 2 * waitDelayMs;
    bool found = false;
    bool opened = false;
    wait.run([&] {
        found = QFileInfo::exists(path);
        if (found) opened = openDocument(QUrl::fromLocalFile(path));
    });
    if (!found)
        ctx_.notifier().message(MessageKind::Error, ctx_.text(kShellExtraTexts, kFileNotFoundHead) + path +
                                                        ctx_.text(kShellExtraTexts, kFileNotFoundTail));
    else if (!opened)
        // The file is there but nothing on this computer shows PDF files: the user can open it by hand.
        ctx_.notifier().message(
            MessageKind::Error,
            uaRu(ctx_.languageIndex(), "Не вдалося відкрити файл ", "Не удалось открыть файл ") + path +
                uaRu(ctx_.languageIndex(), " - немає програми для перегляду PDF",
                     " - нет программы для просмотра PDF"));
}

void TMenuCorr::exitProgram() {
    close();
}

bool TMenuCorr::reinitPort(const link::LinkSettings& s) {
    link::TfInitPort init(ctx_.linkPort(), s, ctx_.languageIndex(), ctx_.engine().settings().deviceAddress,
                          this);
    return init.reinit();
}

void TMenuCorr::startPortScan() {
    // The scanner finds the installation through TARN_HOME; it takes no arguments.
    QProcess process;
    process.setProgram(programFolder + QStringLiteral("/PortScan"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TARN_HOME"), ctx_.root().root());
    process.setProcessEnvironment(env);
    if (!process.startDetached())
        ctx_.notifier().message(MessageKind::Error, ctx_.text(kShellExtraTexts, kFileNotFoundHead) +
                                                        process.program() +
                                                        ctx_.text(kShellExtraTexts, kFileNotFoundTail));
}

void TMenuCorr::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && tray_) {
        QTimer::singleShot(0, this, &QWidget::hide);
        if (trayHide_) trayHide_->setEnabled(false);
        if (trayRestore_) trayRestore_->setEnabled(true);
        tray_->show();
    }
}

void TMenuCorr::closeEvent(QCloseEvent* event) {
    if (ending_) {
        event->accept();
        return;
    }
    // A polling run ends in order first: the point in hand is hung up and stored. The console goes once
    // the run has ended; the program ends after it.
    if (console_ && !console_->close()) {
        if (!waitingForConsole_) {
            waitingForConsole_ = true;
            connect(console_.get(), &polling::TfChargBD::closed, this, &QWidget::close,
                    Qt::SingleShotConnection);
        }
        event->ignore();
        return;
    }
    ending_ = true;
    // Ending: the settings file is written when there is none, the port is closed, the tray icon goes.
    if (!skipSettingsWriteOnExit_ && !QFileInfo::exists(ctx_.settingsFiles().settingsPath()))
        link::saveSettings(ctx_.settingsFiles(), ctx_.settings());
    ctx_.linkPort().closePort();
    ctx_.databaseOpen = false;
    if (tray_) tray_->hide();
    event->accept();
    emit ended();
}

} // namespace tarn::shell
