#include "corrector/windows/CoefficientMenu.h"

#include "corrector/windows/TCorrect.h"
#include "corrector/windows/TMet_Z900.h"
#include "corrector/windows/TfZib.h"

#include <QAction>

namespace tarn::corrector {

void connectCoefficientWindows(TCorrect& window, CorrectorSession& session, link::ExchangeEngine& engine,
                               link::LinkPort& port, Notifier& notifier, CoefficientMenuOptions options) {
    QObject::connect(window.meterCoefAction(), &QAction::triggered, &window,
                     [&window, &session, &engine, &notifier, options] {
                         MeterCoefWindowModel model(session, engine, notifier);
                         TMet_Z900::Options o;
                         o.reportFolder = options.reportFolder;
                         o.serviceLevel = options.serviceLevel;
                         o.serialOff = options.serialOff;
                         TMet_Z900 coefficients(model, o, &window);
                         coefficients.exec();
                     });
    QObject::connect(window.calibAction(), &QAction::triggered, &window,
                     [&window, &session, &engine, &port, &notifier, options] {
                         if (!CalibWindowModel::mayOpen(session.model(), notifier)) return;
                         CalibWindowModel model(session, engine, port, notifier);
                         TfZib::Options o;
                         o.reportFolder = options.reportFolder;
                         o.serialOff = options.serialOff;
                         TfZib calibration(model, o, &window);
                         calibration.exec();
                     });
}

} // namespace tarn::corrector
