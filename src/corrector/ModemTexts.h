#pragma once
// How the modem's notices, the polling modem's log lines and the terminal's refusals read to the user.
// The modem parts of the link name what happened; the words are kept here with the corrector's other
// link texts, so both languages of a message stay side by side.
#include "link/LinkWording.h"

#include <QString>

namespace tarn::corrector {

QString modemNoticeText(link::ModemNotice notice, int languageIndex);
// Always in Russian: the polling log is read by the same people whatever language the program speaks.
QString modemEventText(link::ModemEvent event, const QString& point, const QString& phone);
QString hexRefusalText(const link::BadHexPair& bad, int languageIndex);

} // namespace tarn::corrector
