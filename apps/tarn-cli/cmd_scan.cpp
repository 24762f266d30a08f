#include "Cli.h"

#include "link/PortMap.h"
#include "link/QtSerialPort.h"
#include "portscan/PortScanner.h"
#include "portscan/ScanSettings.h"

#include <QEventLoop>
#include <QJsonArray>

namespace tarn::cli {

namespace {

std::optional<portscan::ScanMode> modeFromText(const QString& text) {
    if (text == QLatin1String("modem")) return portscan::ScanMode::Modem;
    if (text == QLatin1String("corrector")) return portscan::ScanMode::Corrector;
    if (text == QLatin1String("adapter")) return portscan::ScanMode::UsbAdapter;
    if (text == QLatin1String("dtu2mb")) return portscan::ScanMode::Unit2mb;
    return std::nullopt;
}

std::optional<int> languageFromText(const QString& text) {
    const QString l = text.toLower();
    if (l == QLatin1String("ua")) return kUkrainian;
    if (l == QLatin1String("ru")) return kRussian;
    if (l == QLatin1String("en")) return kEnglish;
    return std::nullopt;
}

} // namespace

// scan --mode modem|corrector|adapter|dtu2mb [--lang ua|ru|en] [--speed TEXT]
// The port scanner without its window: COM1 … COM(n − 1) with n from Work/Q_RS.000, the log lines as the
// window shows them. Exit 0 when the device was found, 1 when not.
int cmdScan(CliRun& run) {
    const auto mode = modeFromText(run.value(QStringLiteral("--mode")).value_or(QString()));
    if (!mode) {
        run.notifier->message(MessageKind::Error,
                              QStringLiteral("scan: --mode modem, corrector, adapter or dtu2mb"));
        return kExitUsage;
    }
    std::optional<int> language = run.options.language;
    if (const auto text = run.value(QStringLiteral("--lang"))) {
        language = languageFromText(*text);
        if (!language) {
            run.notifier->message(MessageKind::Error, QStringLiteral("scan: --lang is ua, ru or en"));
            return kExitUsage;
        }
    }
    const DataRoot& root = run.context->root();
    const QString speed =
        run.value(QStringLiteral("--speed"))
            .value_or(run.options.speed.value_or(QString::fromLatin1(portscan::kDefaultSpeedText)));

    link::QtSerialPort comPort;
    link::QtSerialPort unitPort;
    portscan::ScanLog log;
    portscan::PortScanner scanner(comPort, unitPort, log);
    scanner.setPortMap(link::PortMap::load(root));
    scanner.setPortLimit(portscan::readPortLimit(root));
    scanner.setLanguage(language.value_or(portscan::readScanLanguage(root)));
    scanner.setMode(*mode);
    scanner.setSpeedText(speed);
    if (!run.options.json) {
        QObject::connect(&log, &portscan::ScanLog::lineAdded, [&run](const portscan::LogEntry& e) {
            *run.out << e.text << "\n";
            run.out->flush();
        });
    }
    QEventLoop loop;
    QObject::connect(&scanner, &portscan::PortScanner::finished, &loop, &QEventLoop::quit);
    scanner.start();
    loop.exec();

    const bool found = !scanner.foundPorts().isEmpty();
    if (run.options.json) {
        QJsonArray ports;
        for (int n : scanner.foundPorts())
            ports.append(QStringLiteral("COM%1").arg(n));
        run.printJson({{QStringLiteral("found"), ports},
                       {QStringLiteral("lines"), QJsonArray::fromStringList(log.texts())}});
    }
    return found ? kExitOk : kExitNoLink;
}

} // namespace tarn::cli
