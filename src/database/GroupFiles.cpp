#include "database/GroupFiles.h"

#include "common/TextFile.h"
#include "database/TableFileEngine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

namespace tarn::database {

namespace {

// Group files are a few hundred bytes; anything near this is not one.
constexpr qint64 kLargestGroupFile = 16 * 1024 * 1024;

// Written whole beside the file and renamed over it; an existing file is copied first, so that an
// interrupted write leaves the copy for the user.
bool rewriteWithBackup(const QString& path, const QByteArray& bytes) {
    const QString backup = path + QStringLiteral(".bak");
    const bool hadFile = QFile::exists(path);
    if (hadFile) {
        QFile::remove(backup);
        if (!QFile::copy(path, backup)) return false;
    }
    if (!writeFileAtomically(path, bytes)) return false;
    if (hadFile) QFile::remove(backup);
    return true;
}

} // namespace

QStringList occupiedGroupFiles(const GroupFiles& target, Error& error) {
    QStringList names = target.names(error);
    names.sort();
    return names;
}

GroupFilesCopy copyGroupFiles(const GroupFiles& source, GroupFiles& target) {
    GroupFilesCopy copy;
    copy.occupied = occupiedGroupFiles(target, copy.error);
    if (copy.error.failed() || !copy.occupied.isEmpty()) return copy;
    const QList<QString> names = source.names(copy.error);
    if (copy.error.failed()) return copy;
    QList<GroupFileChange> changes;
    for (const QString& name : names) {
        const std::optional<QByteArray> bytes = source.read(name, copy.error);
        if (!bytes) return copy;
        changes.append({name, *bytes});
    }
    // In name order: the groups' files (named by the second they were made) before the list, as a save
    // writes them, so an interrupted copy into the folder leaves files no list names, never a list
    // naming files that are not there.
    QString failedName;
    if (copy.error = target.change(changes, &failedName); copy.error.failed()) {
        copy.error.detail = target.location(failedName) + QStringLiteral(": ") + copy.error.detail;
        return copy;
    }
    copy.files = static_cast<int>(changes.size());
    for (const GroupFileChange& c : changes) {
        Error unread;
        if (target.read(c.name, unread) != c.bytes) copy.differing.append(c.name);
    }
    return copy;
}

std::optional<QByteArray> FolderGroupFiles::read(const QString& name, Error& error) const {
    error = {};
    const QString path = location(name);
    // A name that is no plain file name has no file to open; Qt would warn about an empty path.
    if (path.isEmpty()) {
        error = {ErrorKind::Invalid, QStringLiteral("no group file name: ") + name};
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = {QFileInfo::exists(path) ? ErrorKind::Io : ErrorKind::NotFound,
                 path + QStringLiteral(": ") + file.errorString()};
        return std::nullopt;
    }
    if (file.size() > kLargestGroupFile) {
        error = {ErrorKind::Invalid, path + QStringLiteral(": larger than %1 bytes").arg(kLargestGroupFile)};
        return std::nullopt;
    }
    return file.readAll();
}

bool FolderGroupFiles::exists(const QString& name) const {
    const QString path = location(name);
    return !path.isEmpty() && QFile::exists(path);
}

Error FolderGroupFiles::change(const QList<GroupFileChange>& changes, QString* failedName) {
    for (const GroupFileChange& c : changes) {
        const QString path = location(c.name);
        Error failed;
        if (c.bytes) {
            if (path.isEmpty() || !rewriteWithBackup(path, *c.bytes)) failed = {ErrorKind::Io, QString()};
        } else if (!path.isEmpty() && QFile::exists(path) && !QFile::remove(path)) {
            failed = {ErrorKind::Io, QString()};
        }
        if (failed.failed()) {
            if (failedName) *failedName = c.name;
            return failed;
        }
    }
    return {};
}

Error FolderGroupFiles::changeFromCurrent(const GroupChangeMaker& make, QString* failedName) {
    // A folder that is not there has no files to race over; the change itself says why it fails.
    QLockFile lock(location(kGroupLockName));
    const bool folderThere = QDir(root_.dir(folder::Group)).exists();
    if (folderThere && !lock.tryLock(engine::busyWaitMs())) {
        if (failedName) *failedName = kGroupListName;
        return {lock.error() == QLockFile::LockFailedError ? ErrorKind::Locked : ErrorKind::Io,
                location(kGroupLockName) + QStringLiteral(": another program is changing the groups")};
    }
    QList<GroupFileChange> changes;
    const GroupFilesReader current = [this](const QString& name, Error& error) { return read(name, error); };
    if (Error refused = make(current, changes); refused.failed()) return refused;
    return change(changes, failedName);
}

QString FolderGroupFiles::location(const QString& name) const {
    return root_.file(folder::Group, name);
}

QList<QString> FolderGroupFiles::names(Error& error) const {
    error = {};
    const QDir dir(root_.dir(folder::Group));
    if (!dir.exists()) return {};
    QList<QString> out;
    // The stop files of group runs, the copies of an interrupted rewrite and the lock of a change under
    // way are no group files.
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
        if (!name.endsWith(QStringLiteral(".err"), Qt::CaseInsensitive) &&
            !name.endsWith(QStringLiteral(".bak"), Qt::CaseInsensitive) &&
            name.compare(kGroupLockName, Qt::CaseInsensitive) != 0)
            out.append(name);
    return out;
}

} // namespace tarn::database
