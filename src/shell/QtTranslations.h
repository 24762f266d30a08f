#pragma once
// Qt's own texts (the buttons of message boxes and standard dialogs) in the program's language. The
// translations are Qt's: "qtbase_uk.qm" and "qtbase_ru.qm" in Qt's translations folder (on Debian the
// package qt6-translations-l10n). Without them Qt speaks English and nothing is said about it.
#include <QString>
#include <QTranslator>
#include <memory>

namespace tarn::shell {

class QtTranslations {
public:
    QtTranslations() = default;
    ~QtTranslations();
    QtTranslations(const QtTranslations&) = delete;
    QtTranslations& operator=(const QtTranslations&) = delete;

    // Installs the language's translation on the application (replacing one installed before); false
    // when the folder has none. An empty folder means Qt's own translations folder.
    bool load(int languageIndex, const QString& folder = {});
    // The file load() looks for.
    static QString fileName(int languageIndex);

private:
    void remove();
    std::unique_ptr<QTranslator> translator_;
};

} // namespace tarn::shell
