#include "shell/Installation.h"

#include "common/LanguageFile.h"
#include "common/TextFile.h"
#include "database/Schema.h"

#include <QFile>

namespace tarn::shell {

namespace {
bool copyResource(const QString& resource, const QString& target) {
    QFile in(resource);
    if (!in.open(QIODevice::ReadOnly)) return false;
    return writeFileAtomically(target, in.readAll());
}
} // namespace

InitReport initInstallation(const DataRoot& root) {
    InitReport r;
    if (!root.createFolders()) {
        r.ok = false;
        r.error = QStringLiteral("cannot create the folders under ") + root.root();
        return r;
    }
    const QString lang = languageFilePath(root);
    if (!QFile::exists(lang)) {
        if (!saveLanguage(root, QStringLiteral("UA"))) r.ok = false;
        r.created.append(lang);
    }
    const QString manual = root.file(folder::Doc, QStringLiteral("Tarn.pdf"));
    if (!QFile::exists(manual) && QFile::exists(QStringLiteral(":/installation/Tarn.pdf"))) {
        if (!copyResource(QStringLiteral(":/installation/Tarn.pdf"), manual)) r.ok = false;
        r.created.append(manual);
    }
    // The database's schema files: a new installation gets them, one that has its own keeps them.
    if (!database::writeMissingSchemaFiles(root)) r.ok = false;
    if (!r.ok) r.error = QStringLiteral("cannot write the installation files under ") + root.root();
    return r;
}

} // namespace tarn::shell
