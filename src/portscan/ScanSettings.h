#pragma once
// What the port scanner reads from the installation when its window is first shown: the language of
// Work\Type_Leng.000 and the port limit of Work\Q_RS.000. It writes nothing.
#include "common/DataRoot.h"

#include <QStringList>

namespace tarn::portscan {

inline constexpr int kDefaultPortLimit = 50;

// Ports COM1 … COM(limit − 1) are examined. Every line is read with its blanks removed; a line of digits
// only (a leading minus is allowed) whose number lies in 1..99 sets the limit, the last such line decides.
// Default 50, also when the file is missing.
int portLimitFromLines(const QStringList& lines);
int readPortLimit(const DataRoot& root);

// The last line decides: "RU" Russian, "EN" English, anything else (an empty line too) Ukrainian; blanks
// at the end of the line are ignored. A missing or empty file gives Ukrainian.
int languageFromLines(const QStringList& lines);
int readScanLanguage(const DataRoot& root);

} // namespace tarn::portscan
