#include "common/DataRoot.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace tarn {

QStringList installationFolders() {
    using namespace folder;
    QStringList list;
    for (const char* f : {Work,  Current, Data,  Doc,    Group,   Graph,  Report, Text,    Excel,
                          Param, Join,    Pack,  Synchr, Rebuild, MailBD, Sound,  BookQ,   Hour,
                          Day,   Mon,     Alarm, Chang,  Oper,    Spec,   Meas,   StatCsv, QuesCsv})
        list.append(QString::fromLatin1(f));
    return list;
}

DataRoot::DataRoot(QString root) : root_(QDir::cleanPath(std::move(root))) {}

DataRoot DataRoot::resolve(const QString& explicitHome, const QString& exeFolder) {
    if (!explicitHome.isEmpty()) return DataRoot(QFileInfo(explicitHome).absoluteFilePath());
    const QString env = qEnvironmentVariable("TARN_HOME");
    if (!env.isEmpty()) return DataRoot(QFileInfo(env).absoluteFilePath());
    if (isSystemProgramFolder(exeFolder))
        return DataRoot(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                        QStringLiteral("/tarn"));
    return DataRoot(exeFolder);
}

bool isSystemProgramFolder(const QString& exeFolder) {
    // A package (or "cmake --install") puts the programs in PREFIX/bin beside other programs and the
    // shared files in PREFIX/share/tarn; that folder is no place for a user's data, and a user may not
    // write there at all.
    const QFileInfo folder(exeFolder);
    return folder.fileName() == QLatin1String("bin") &&
           QFileInfo(folder.absolutePath() + QStringLiteral("/share/tarn")).isDir();
}

QString DataRoot::dir(const char* folderName) const {
    return root_ + QLatin1Char('/') + QString::fromLatin1(folderName);
}

bool isPlainFileName(const QString& name) {
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) return false;
    for (QChar c : name)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() == 0) return false;
    return true;
}

QString DataRoot::file(const char* folderName, const QString& fileName) const {
    if (!isPlainFileName(fileName)) return {};
    return dir(folderName) + QLatin1Char('/') + fileName;
}

bool DataRoot::createFolders() const {
    QDir base(root_);
    if (!base.exists() && !QDir().mkpath(root_)) return false;
    bool ok = true;
    for (const QString& f : installationFolders())
        if (!base.exists(f) && !base.mkdir(f)) ok = false;
    return ok;
}

} // namespace tarn
