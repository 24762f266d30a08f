#pragma once
// How the exchange engine's and the link port's notices and the corrector's refusals read to the user. The
// engine reports a kind and a status byte; these words belong to the corrector, whose status bits they
// explain.
#include "link/LinkWording.h"

#include <QString>
#include <optional>

namespace tarn::corrector {

// The status byte of a refused request as the user reads it; nothing when no known bit is set. The rows
// are tested in this order: 0x40, 0x08 with 0x20, 0x20, 0x08 (" пароля" for a password operation).
std::optional<QString> refusalText(quint8 status, bool passwordOperation, int languageIndex);
// "НЕМАЄ ЗВ’ЯЗКУ RS-232" / "НЕТ СВЯЗИ RS-232 ".
QString noLinkText(int languageIndex);
QString linkNoticeText(link::LinkNotice notice, int languageIndex);
// What to do about a port device that no COMn of the port map names (a new point keeps a COMn).
QString unmappedPortText(const QString& device);

// The wording the program's exchange engine is given (one for the whole run: it keeps no state); the
// modem parts sharing the engine's line word their notices through it too (ModemTexts.h).
const link::LinkWording& correctorLinkWording();

} // namespace tarn::corrector
