#pragma once
// Work\Type_Leng.000: one line holding the language choice. Every line is read in turn and the last
// decides: exactly "RU" is Russian, anything else Ukrainian. A missing file changes nothing.
#include "common/DataRoot.h"

namespace tarn {

QString languageFilePath(const DataRoot& root);
// Returns the language index the file selects, or current when the file is missing.
int loadLanguage(const DataRoot& root, int current);
// Replaces the file with one line; write errors are ignored (false returned).
bool saveLanguage(const DataRoot& root, const QString& text);
// "UA" / "RU" for the settings window's box.
QString languageText(int languageIndex);

} // namespace tarn
