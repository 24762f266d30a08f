#include "transfer/windows/TransferUnitMenu.h"

#include "common/Language.h"
#include "corrector/windows/TCorrect.h"
#include "transfer/windows/TDtu_8_16.h"
#include "transfer/windows/TFlash.h"
#include "transfer/windows/TZag_Lpt.h"

#include <QAction>

namespace tarn::transfer {

namespace {

// The parallel port of the settings, opened; nothing (the user told) when it cannot be.
std::unique_ptr<link::PpdevPort> openLpt(const TransferUnitMenuOptions& options, Notifier& notifier) {
    const link::LinkSettings s = options.settings ? *options.settings : link::LinkSettings{};
    const QString device = link::lptDevice(link::lptPortAddress(s.lptChoice, s.lptAddress));
    auto port = std::make_unique<link::PpdevPort>();
    if (port->open(device)) return port;
    notifier.message(MessageKind::Error,
                     uaRu(options.language, "Помилка відкриття порту", "Ошибка открытия порта") + device);
    return nullptr;
}

} // namespace

void connectTransferUnit(corrector::TCorrect& window, corrector::CorrectorWindowModel& model,
                         link::ExchangeEngine& engine, link::LinkPort& port, Notifier& notifier,
                         TransferUnitMenuOptions options) {
    QObject::connect(window.transferUnitAction(), &QAction::triggered, &window,
                     [&window, &model, &engine, &port, &notifier, options] {
                         TransferUnitSession session(engine, port, options.root, notifier, options.language);
                         TDtu_8_16::Options o;
                         o.root = options.root;
                         o.language = options.language;
                         o.commandsShown = port.portExists(port.portName());
                         o.debugging = options.debugging && options.debugging();
                         TDtu_8_16 unit(
                             session, model, notifier, o,
                             [&](const QList<int>& kinds) {
                                 if (options.store) options.store(model.reading(), kinds, &window);
                             },
                             &window);
                         unit.exec();
                         // The unit's window gives the port back closed; the next corrector operation
                         // opens it at the corrector's speed.
                         port.closePort();
                     });
    QObject::connect(window.lptAction(), &QAction::triggered, &window, [&window, &model, &notifier, options] {
        const auto lpt = openLpt(options, notifier);
        if (!lpt) return;
        LptBus bus(*lpt, options.settings ? options.settings->lptDelay : 0, pauseOnBus);
        bus.invert = !options.invertLpt || options.invertLpt();
        TZag_Lpt read(bus, model, notifier, options.language,
                      options.serviceLevel && options.serviceLevel() == 5, &window);
        if (read.exec() == QDialog::Accepted && read.complete() && options.store)
            options.store(model.reading(), read.kindsRead(), &window);
    });
    QObject::connect(window.lptTestAction(), &QAction::triggered, &window, [&window, &notifier, options] {
        const auto lpt = openLpt(options, notifier);
        if (!lpt) return;
        LptBus bus(*lpt, options.settings ? options.settings->lptDelay : 0, pauseOnBus);
        bus.invert = !options.invertLpt || options.invertLpt();
        // "Тайм-аут по записи" starts at the settings' write time-out.
        const int pause = options.settings ? qMax(1, options.settings->writeDelayMs) : kLptDefaultPauseMs;
        TFlash test(bus, notifier, options.language, pause, &window);
        test.exec();
    });
}

} // namespace tarn::transfer
