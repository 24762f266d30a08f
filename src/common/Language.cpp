#include "common/Language.h"

namespace tarn {

QString Text(const TextPairs& table, int pair, int languageIndex) {
    if (languageIndex < 1 || languageIndex > table.languages || pair < 0) return {};
    const int i = pair * table.languages + languageIndex - 1;
    if (i >= table.size) return {};
    return QString::fromUtf8(table.entries[i]);
}

} // namespace tarn
