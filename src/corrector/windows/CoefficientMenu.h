#pragma once
// The corrector window's "Z-900" and "ЗИБ": each opens its coefficient window over the corrector
// window's session, modal, and frees it when it closes.
#include "corrector/CorrectorSession.h"
#include "link/ExchangeEngine.h"
#include "link/LinkPort.h"

namespace tarn::corrector {

class TCorrect;

struct CoefficientMenuOptions {
    QString reportFolder; // where the "*.whi" and "*.zib" dialogs start
    int serviceLevel = 0;
    bool serialOff = false;
};

void connectCoefficientWindows(TCorrect& window, CorrectorSession& session, link::ExchangeEngine& engine,
                               link::LinkPort& port, Notifier& notifier, CoefficientMenuOptions options);

} // namespace tarn::corrector
