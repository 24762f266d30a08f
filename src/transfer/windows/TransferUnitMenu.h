#pragma once
// "ДТУ-1-16" in the corrector window: the transfer unit's window over the corrector port, a zone loaded
// into this corrector window and stored as a reading by the transfer unit.
#include "common/DataRoot.h"
#include "common/Notifier.h"
#include "database/Storing.h"
#include "link/ExchangeEngine.h"
#include "link/LinkPort.h"
#include "link/LinkSettings.h"

#include <functional>

namespace tarn::corrector {
class TCorrect;
class CorrectorWindowModel;
struct Reading;
} // namespace tarn::corrector

namespace tarn::transfer {

struct TransferUnitMenuOptions {
    DataRoot root;
    int language = 1;
    std::function<bool()> debugging; // the link's debugging option, as it stands when the window opens
    const link::LinkSettings* settings = nullptr; // the LPT port, its delay
    std::function<bool()> invertLpt;              // the debugger's "ИНВ"
    std::function<int()> serviceLevel;
    // Stores a loaded zone's archives (the reading names the transfer unit as its source).
    std::function<void(const corrector::Reading& reading, const QList<int>& kindsRead, QWidget* parent)>
        store;
};

// "ДТУ-1-16" opens the 16-zone unit's window; "ЧТЕНИЕ LPT" and "ТЕСТ ДТУ-1" the LPT unit's read and test.
void connectTransferUnit(corrector::TCorrect& window, corrector::CorrectorWindowModel& model,
                         link::ExchangeEngine& engine, link::LinkPort& port, Notifier& notifier,
                         TransferUnitMenuOptions options);

} // namespace tarn::transfer
