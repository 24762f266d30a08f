#include "CliLink.h"

#include "common/Language.h"
#include "corrector/CorrectorFiles.h"
#include "link/LptPort.h"
#include "transfer/LptUnit.h"
#include "transfer/UnitSession.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QTimer>

namespace tarn::cli {

namespace {

// The command's waits serve its events meanwhile: a SIGINT or SIGTERM is heard during a pause.
void pauseServingEvents(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void printZones(CliRun& run, const transfer::TransferUnitSession& session) {
    QJsonArray zones;
    for (const auto& z : session.zoneRows())
        zones.append(QJsonObject{{QStringLiteral("zone"), z.zone},
                                 {QStringLiteral("status"), z.status},
                                 {QStringLiteral("text"), z.text},
                                 {QStringLiteral("loadable"), z.loadable}});
    if (run.options.json) {
        run.printJson({{QStringLiteral("version"), session.versionText()},
                       {QStringLiteral("zoneCount"), session.zoneCount()},
                       {QStringLiteral("zones"), zones}});
        return;
    }
    if (!session.version().isEmpty()) *run.out << session.versionText() << "\n";
    for (const auto& z : session.zoneRows())
        *run.out << z.zone << " " << z.text << (z.loadable ? "" : " -") << "\n";
    run.out->flush();
}

std::optional<int> numberOption(CliRun& run, const char* name, int fallback, int low, int high) {
    const auto text = run.value(QString::fromLatin1(name));
    if (!text) return fallback;
    bool ok = false;
    const int n = text->toInt(&ok);
    if (!ok || n < low || n > high) {
        run.notifier->message(
            MessageKind::Error,
            QStringLiteral("%1 is %2..%3").arg(QString::fromLatin1(name)).arg(low).arg(high));
        return std::nullopt;
    }
    return n;
}

// A zone of the last read into a reading, then (--store) into the database as a
// reading by the transfer unit.
int loadZone(CliRun& run) {
    bool ok = false;
    const int zone = run.args.value(1).toInt(&ok);
    if (!ok || zone < 1 || zone > transfer::kMaxZones) {
        run.notifier->message(MessageKind::Error, QStringLiteral("dtu load: the zone is 1..16"));
        return kExitUsage;
    }
    const int lang = run.context->languageIndex();
    // The window offers only the zones that hold a complete, checked copy; --force takes another anyway.
    if (const auto refused = transfer::zoneNotLoadable(run.context->root(), zone, lang)) {
        if (!run.has(QStringLiteral("--force"))) {
            run.notifier->message(MessageKind::Error, *refused);
            return kExitNoLink;
        }
        run.notifier->message(MessageKind::Warning, *refused);
    }
    corrector::Reading reading;
    reading.languageIndex = lang;
    reading.volumeDecimals = run.context->volumeDecimals;
    const bool stopOnError = run.has(QStringLiteral("--stop-on-error"));
    const transfer::ZoneLoad load =
        transfer::loadZone(run.context->root(), zone, reading, lang, [&](const QString& question) {
            run.notifier->message(MessageKind::Warning, question);
            return stopOnError;
        });
    if (!load.complete) {
        run.notifier->message(MessageKind::Error, load.message);
        return kExitRefused;
    }
    QJsonObject o{{QStringLiteral("serial"), reading.text(corrector::Field::HeaderSerial)},
                  {QStringLiteral("model"), reading.text(corrector::Field::ModelName)}};
    QJsonObject rows;
    for (corrector::Archive a : corrector::kArchives)
        rows.insert(QString::number(static_cast<int>(a)), reading.archives.rowCount(a));
    o.insert(QStringLiteral("rows"), rows);
    if (run.has(QStringLiteral("--store"))) {
        bool stored = false;
        const QJsonObject s = storeInDatabase(run, reading, load.kindsRead, stored);
        if (!stored) return kExitNoLink;
        o.insert(QStringLiteral("store"), s);
    }
    if (run.options.json) {
        run.printJson(o);
    } else {
        *run.out << o.value(QStringLiteral("model")).toString() << " "
                 << o.value(QStringLiteral("serial")).toString() << "\n";
        if (o.contains(QStringLiteral("store")))
            *run.out << "point "
                     << o.value(QStringLiteral("store")).toObject().value(QStringLiteral("point")).toString()
                     << "\n";
        run.out->flush();
    }
    return kExitOk;
}

} // namespace

// lpt read [--store] | test --yes [--pattern address|00|ff] [--pause MS] [--device PATH]: the single-zone
// unit on the parallel port of the settings (or the device given).
int cmdLpt(CliRun& run) {
    const QString action = run.args.value(0);
    if (action != QLatin1String("read") && action != QLatin1String("test")) {
        run.notifier->message(MessageKind::Error, QStringLiteral("lpt: read or test"));
        return kExitUsage;
    }
    shell::AppContext& ctx = *run.context;
    const link::LinkSettings& s = ctx.settings();
    const int lang = ctx.languageIndex();
    const bool test = action == QLatin1String("test");
    transfer::LptPattern pattern = transfer::LptPattern::Address;
    std::optional<int> pause = qMax(1, s.writeDelayMs); // "Тайм-аут по записи" as the settings have it
    if (test) {
        const QString p =
            run.value(QStringLiteral("--pattern")).value_or(QStringLiteral("address")).toLower();
        if (p == QLatin1String("00"))
            pattern = transfer::LptPattern::Zeros;
        else if (p == QLatin1String("ff"))
            pattern = transfer::LptPattern::Ones;
        else if (p != QLatin1String("address")) {
            run.notifier->message(MessageKind::Error,
                                  QStringLiteral("lpt test: --pattern is address, 00 or ff"));
            return kExitUsage;
        }
        pause = numberOption(run, "--pause", *pause, 1, transfer::kLptPauseMaxMs);
        if (!pause) return kExitUsage;
        if (!run.has(QStringLiteral("--yes"))) {
            run.notifier->message(
                MessageKind::Error,
                uaRu(lang, "Увага !!! Після запуску тесту дані коректора на ДТУ-1 стираються",
                     "Внимание !!! После запуска теста данные корректора на ДТУ-1 стираются") +
                    QStringLiteral(" (--yes)"));
            return kExitUsage;
        }
    } else if (run.has(QStringLiteral("--pattern")) || run.has(QStringLiteral("--pause")) ||
               run.has(QStringLiteral("--yes"))) {
        run.notifier->message(MessageKind::Error,
                              QStringLiteral("lpt read: --pattern, --pause and --yes are the test's"));
        return kExitUsage;
    }
    const QString device = run.value(QStringLiteral("--device"))
                               .value_or(link::lptDevice(link::lptPortAddress(s.lptChoice, s.lptAddress)));
    link::PpdevPort port;
    if (!port.open(device)) {
        run.notifier->message(MessageKind::Error,
                              uaRu(lang, "Помилка відкриття порту", "Ошибка открытия порта") + device +
                                  QStringLiteral(": ") + port.errorString());
        return kExitNoLink;
    }
    transfer::LptBus bus(port, s.lptDelay, pauseServingEvents);
    bus.invert = ctx.linkLog().options.invertLpt;
    if (test) {
        transfer::LptUnitTest unitTest(bus, pattern, lang, *pause);
        // The pause after each write is a timer, as in the window: the chips take a line in a write cycle
        // of their own and answer nothing meanwhile.
        if (unitTest.begin()) {
            for (bool more = true; more && !run.interrupted;) {
                if (const int ms = unitTest.pauseBeforeNextStep(); ms > 0) pauseServingEvents(ms);
                more = unitTest.step();
            }
        }
        if (unitTest.finished())
            run.notifier->message(unitTest.succeeded() ? MessageKind::Information : MessageKind::Error,
                                  unitTest.message());
        if (run.options.json)
            run.printJson({{QStringLiteral("ok"), unitTest.succeeded()},
                           {QStringLiteral("lines"), unitTest.linesDone()},
                           {QStringLiteral("channelFailures"), unitTest.channelFailures()},
                           {QStringLiteral("writeFailures"), unitTest.writeFailures()}});
        return unitTest.succeeded() ? kExitOk : kExitNoLink;
    }
    corrector::Reading reading;
    reading.languageIndex = lang;
    reading.volumeDecimals = run.context->volumeDecimals;
    transfer::LptImageRead read(bus, reading, lang);
    if (const auto refused = read.begin()) {
        run.notifier->message(MessageKind::Error, *refused);
        return kExitRefused;
    }
    while (read.step()) {
    }
    if (!read.complete()) {
        run.notifier->message(MessageKind::Error, read.message());
        return kExitNoLink;
    }
    QJsonObject o{{QStringLiteral("serial"), reading.text(corrector::Field::HeaderSerial)},
                  {QStringLiteral("model"), reading.text(corrector::Field::ModelName)}};
    if (run.has(QStringLiteral("--store"))) {
        bool stored = false;
        const QJsonObject r = storeInDatabase(run, reading, read.kindsRead(), stored);
        if (!stored) return kExitNoLink;
        o.insert(QStringLiteral("store"), r);
    }
    if (run.options.json) {
        run.printJson(o);
    } else {
        *run.out << o.value(QStringLiteral("model")).toString() << " "
                 << o.value(QStringLiteral("serial")).toString() << "\n";
        run.out->flush();
    }
    return kExitOk;
}

// dtu state | read [--first N] [--last N] | zones | load ZONE [--store] [--force] | test | erase --yes: the
// transfer unit on the corrector port, as its window works it.
int cmdDtu(CliRun& run) {
    const QString action = run.args.value(0);
    shell::AppContext& ctx = *run.context;
    if (action == QLatin1String("load")) return loadZone(run);
    static const QStringList kActions{QStringLiteral("state"), QStringLiteral("read"),
                                      QStringLiteral("zones"), QStringLiteral("test"),
                                      QStringLiteral("erase")};
    if (!kActions.contains(action)) {
        run.notifier->message(MessageKind::Error,
                              QStringLiteral("dtu: state, read, zones, load ZONE, test or erase"));
        return kExitUsage;
    }
    CliLink link(run);
    transfer::TransferUnitSession session(ctx.engine(), ctx.linkPort(), ctx.root(), ctx.notifier(),
                                          ctx.languageIndex());
    if (action == QLatin1String("zones")) {
        session.showStateFile();
        printZones(run, session);
        return kExitOk;
    }
    bool started = false;
    if (action == QLatin1String("state")) {
        started = session.startState();
    } else if (action == QLatin1String("read")) {
        const auto first = numberOption(run, "--first", 1, 1, transfer::kMaxZones);
        const auto last = numberOption(run, "--last", transfer::kMaxZones, 1, transfer::kMaxZones);
        if (!first || !last) return kExitUsage;
        started = session.startRead({*first, *last});
    } else if (action == QLatin1String("test")) {
        started = session.startTest();
    } else {
        if (!run.has(QStringLiteral("--yes"))) {
            run.notifier->message(MessageKind::Error,
                                  QStringLiteral("dtu erase: every zone is erased; --yes says so"));
            return kExitUsage;
        }
        started = session.startErase();
    }
    if (!started) return session.portFailed() ? kExitNoLink : kExitRefused;
    link.waitUntil([&] { return !session.busy(); });
    if (session.busy()) session.stop();
    for (const QString& line : session.errorLines())
        run.notifier->message(MessageKind::Error, line);
    printZones(run, session);
    ctx.linkPort().closePort();
    return session.lastSucceeded() ? kExitOk : kExitNoLink;
}

} // namespace tarn::cli
