#include "transfer/windows/TransferUnitMenu.h"

#include "corrector/windows/TCorrect.h"
#include "transfer/windows/TDtu_8_16.h"

#include <QAction>

namespace tarn::transfer {

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
                         constexpr int kByTransferUnit = 3;
                         TDtu_8_16 unit(
                             session, model, notifier, o,
                             [&](const QList<int>& kinds) {
                                 if (options.store) options.store(model, kinds, kByTransferUnit, &window);
                             },
                             &window);
                         unit.exec();
                         // The unit's window gives the port back closed; the next corrector operation
                         // opens it at the corrector's speed.
                         port.closePort();
                     });
}

} // namespace tarn::transfer
