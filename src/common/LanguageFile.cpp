#include "common/LanguageFile.h"

#include "common/Language.h"
#include "common/TextFile.h"

namespace tarn {

QString languageFilePath(const DataRoot& root) {
    return root.file(folder::Work, QStringLiteral("Type_Leng.000"));
}

int loadLanguage(const DataRoot& root, int current) {
    const auto lines = readTextLines(languageFilePath(root));
    if (!lines) return current;
    int index = kUkrainian;
    for (const QString& line : *lines)
        index = line == QLatin1String("RU") ? kRussian : kUkrainian;
    return index;
}

bool saveLanguage(const DataRoot& root, const QString& text) {
    return writeTextLines(languageFilePath(root), {text});
}

QString languageText(int languageIndex) {
    return languageIndex == kRussian ? QStringLiteral("RU") : QStringLiteral("UA");
}

} // namespace tarn
