#include "shell/QtTranslations.h"

#include "common/Language.h"

#include <QCoreApplication>
#include <QLibraryInfo>

namespace tarn::shell {

QtTranslations::~QtTranslations() {
    remove();
}

QString QtTranslations::fileName(int languageIndex) {
    return languageIndex == kRussian ? QStringLiteral("qtbase_ru.qm") : QStringLiteral("qtbase_uk.qm");
}

bool QtTranslations::load(int languageIndex, const QString& folder) {
    remove();
    const QString from = folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(fileName(languageIndex), from)) return false;
    if (!QCoreApplication::installTranslator(translator.get())) return false;
    translator_ = std::move(translator);
    return true;
}

void QtTranslations::remove() {
    if (translator_) QCoreApplication::removeTranslator(translator_.get());
    translator_.reset();
}

} // namespace tarn::shell
