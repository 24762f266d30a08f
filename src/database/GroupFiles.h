#pragma once
// Where the polling groups are kept: the list (name_G.000) and one file per group, each a small
// Windows-1251 text with CR LF. Every reader and writer of the groups goes through a GroupFiles, so that
// the workstations and pollers sharing a database on a server see the same groups: FolderGroupFiles is
// an installation's Group folder, postgres::PgGroupFiles a table in the server's schema. The context
// holds the run's one, chosen with its storage.
//
// The stop files of a group run (<file>.err) are not kept here: they say where this poller broke off,
// and another poller's stop is none of its business.
#include "common/DataRoot.h"
#include "common/Error.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace tarn::database {

// The list of the groups.
inline const QLatin1String kGroupListName("name_G.000");
// Held in the Group folder while a program changes the groups there; no group file.
inline const QLatin1String kGroupLockName("name_G.lock");

// One file written whole, or removed (no bytes).
struct GroupFileChange {
    QString name;
    std::optional<QByteArray> bytes;
};

// The files as they are while a change is being made.
using GroupFilesReader = std::function<std::optional<QByteArray>(const QString& name, Error& error)>;
// Makes a change from the files as they are (current) into changes; an error changes nothing and is the
// change's answer.
using GroupChangeMaker =
    std::function<Error(const GroupFilesReader& current, QList<GroupFileChange>& changes)>;

class GroupFiles {
public:
    virtual ~GroupFiles() = default;

    // The file's bytes as written. NotFound when there is none; Invalid for a name that is no plain file
    // name (a list line naming "../x" names nothing); another kind when it is there and cannot be read.
    virtual std::optional<QByteArray> read(const QString& name, Error& error) const = 0;
    virtual bool exists(const QString& name) const = 0;
    // The changes in their order. On a server all of them or none (one transaction), so that the list
    // and a group's file change together; in the folder one after another, stopping at the first that
    // fails, as the files have always been written. A removal of a file that is not there succeeds. On
    // failure failedName (when given) is the file that failed.
    virtual Error change(const QList<GroupFileChange>& changes, QString* failedName = nullptr) = 0;
    // A change made from what the files hold at the moment it is made, not from what was read a while
    // ago: two workstations (or the console and tarn-cli) that change the groups at once would otherwise
    // each write the list as it was before the other's change, and the later one would silently drop the
    // earlier one. On a server make runs inside the change's transaction, after every other change of the
    // groups has finished or while it waits; in the folder under the Group folder's lock file. Changes
    // that make leaves empty change nothing (the mark stays where it was).
    virtual Error changeFromCurrent(const GroupChangeMaker& make, QString* failedName = nullptr) = 0;
    // A mark that moves with every change of any group file, by this program or another, when the keeper
    // counts its changes (the server); none when the only way to tell is to compare the files.
    virtual std::optional<QByteArray> changeMark() const = 0;
    // Where the file is kept, for messages: its path, or the server's URL and the file's name.
    virtual QString location(const QString& name) const = 0;
    // Every file kept, by name: what a move to another keeper copies.
    virtual QList<QString> names(Error& error) const = 0;

    Error write(const QString& name, const QByteArray& bytes) { return change({{name, bytes}}); }
    Error remove(const QString& name) { return change({{name, std::nullopt}}); }
};

// An installation's groups moved with its tables (the files to a server's schema, or back): every file
// of source written into target in one change, then read back and compared byte for byte. Like the
// tables' copy it never merges: a target that holds any group file is refused before anything is
// written (occupied names them).
struct GroupFilesCopy {
    Error error;
    QStringList occupied;
    int files = 0;         // files copied
    QStringList differing; // files that do not read back as they were written
    bool ok() const { return error.ok() && occupied.isEmpty() && differing.isEmpty(); }
};
// Whether target holds any group file already (the names, sorted); error when it cannot be asked.
QStringList occupiedGroupFiles(const GroupFiles& target, Error& error);
GroupFilesCopy copyGroupFiles(const GroupFiles& source, GroupFiles& target);

// The Group folder of an installation, as the files have always been: a file rewritten in place is
// copied to "<name>.bak" first and the copy deleted once the new file is whole. A change made from the
// current files holds the folder's lock file (kGroupLockName) while it reads and writes, so that two
// programs on one installation take turns.
class FolderGroupFiles final : public GroupFiles {
public:
    explicit FolderGroupFiles(DataRoot root) : root_(std::move(root)) {}

    std::optional<QByteArray> read(const QString& name, Error& error) const override;
    bool exists(const QString& name) const override;
    Error change(const QList<GroupFileChange>& changes, QString* failedName = nullptr) override;
    Error changeFromCurrent(const GroupChangeMaker& make, QString* failedName = nullptr) override;
    std::optional<QByteArray> changeMark() const override { return std::nullopt; }
    QString location(const QString& name) const override;
    QList<QString> names(Error& error) const override;

private:
    DataRoot root_;
};

} // namespace tarn::database
