#pragma once
// Polling groups: Group\name_G.000 lists them (mark/file/name), and each group's file holds its name
// ("0*"), its polling windows ("1*" HH:MM-HH:MM-HH:MM), what to read ("2*" "0" and nine marks) and one
// line per registered point ("3*", "1" for a member, then the point's polling-list line).
//
// They are read and written through a database::GroupFiles: the run's own (the context's, chosen with
// its database: the Group folder, or a server's table shared by every workstation). The overloads over a
// DataRoot are that installation's Group folder, for tests and the tools that work on files alone.
#include "common/DataRoot.h"
#include "database/GroupFiles.h"

#include <QDateTime>
#include <QList>
#include <QStringList>
#include <functional>
#include <optional>

namespace tarn::polling {

inline constexpr int kGroupNameWidth = 20;
inline constexpr int kPollingItems = 9; // hourly … measurement

struct GroupEntry {
    bool mark = false;
    QString file; // YYMMDDhhmmss
    QString name; // padded to 20
};

struct GroupMember {
    bool member = false;
    QString line; // the point's polling-list line
    // Membership goes by model, " №" and serial number: the line's first 18 characters.
    QString key() const { return line.left(18); }
    QString identifier() const { return line.right(10).trimmed(); }
};

struct Group {
    QString name;
    QStringList schedule;                         // "HH:MM-HH:MM-HH:MM"
    QString flags = QStringLiteral("0000000000"); // "0" and the nine items
    QList<GroupMember> members;

    bool hasItems() const { return flags.mid(1).contains(QLatin1Char('1')); }
    QStringList memberIdentifiers() const;
};

// The list file in the installation's Group folder.
QString groupListPath(const DataRoot& root);
// An unreadable list is no groups.
QList<GroupEntry> loadGroupList(const database::GroupFiles& files);
QList<GroupEntry> loadGroupList(const DataRoot& root);
// An unreadable file leaves the group without members, flags and schedule.
Group loadGroup(const database::GroupFiles& files, const QString& fileName);
Group loadGroup(const DataRoot& root, const QString& fileName);
// The console's entry: the name padded to 20, "/", then each window with blanks removed and "/".
QString groupListEntry(const GroupEntry& entry, const Group& group);
// The part of an entry after the name, blanks removed: the group's windows.
QString scheduleString(const QString& listEntry);

// The name a group is kept under: what was typed, cut to 20 characters, blanks around it dropped. Every
// look-up by name goes through it, so a name typed longer than 20 finds the group it saved.
QString keptGroupName(const QString& typed);

// A group name goes into the list file and the group file as one line of Windows-1251: a line break,
// another control character or a character that code page lacks would break the line or turn into "?"
// (two such names would collide). Empty when the name can be kept, else the message naming the character.
QString checkGroupNameCharacters(const QString& name, int languageIndex);
// The identifiers of the group's members that are no longer in the polling list.
QStringList unregisteredMembers(const Group& group, const QStringList& pollingList);

// The list file and every listed group file, as they are now: equal stamps, equal groups. Where the
// files' keeper counts its changes (a server), the count, which also moves for a change made by another
// workstation.
QByteArray groupFilesStamp(const database::GroupFiles& files);
QByteArray groupFilesStamp(const DataRoot& root);

// The group file's name for a group made now.
QString newGroupFileName(const QDateTime& now);

// A window added after the last one: it may not begin before the last one ends, and it must begin
// before its own end ("00:00" as an end is 24:00). Empty when accepted, else the message.
QString checkNewWindow(const QStringList& windows, const QTime& begin, const QTime& end, int languageIndex);
QString windowText(const QTime& begin, const QTime& end, const QTime& period);

struct GroupSave {
    QString file;         // the group's file; empty for a new group
    QString originalName; // the name it had when it was opened
    Group group;
};
struct GroupSaveResult {
    QString error;                 // the message; empty when saved
    QString file;                  // the file written
    bool asked = false;            // the user was asked about a new name (and said no: nothing saved)
    bool badName = false;          // refused for the name itself (empty, characters, taken): the user's input
    bool changedElsewhere = false; // refused: the group changed elsewhere since it was opened
};
// "The group changed on another workstation; the groups were reloaded": the caller reloads them.
QString changedElsewhereText(int languageIndex);
// Saves a group as the configurator does: the name checked, a renamed group re-made under its new name
// (after confirm), the group file written, the list file rewritten safely.
// The group's file and the list change together (on a server in one transaction), made from the list as
// it is at that moment: another workstation's change to another group is kept, a change to this group
// since it was opened refuses the save. opened: the group's file as it was read when the group was
// opened; given, the save is refused when the file is no longer that (another workstation saved or
// deleted the group since).
GroupSaveResult saveGroup(database::GroupFiles& files, const GroupSave& save, int languageIndex,
                          const QDateTime& now, const std::function<bool(const QString& question)>& confirm,
                          const std::optional<QByteArray>& opened = std::nullopt);
GroupSaveResult saveGroup(const DataRoot& root, const GroupSave& save, int languageIndex,
                          const QDateTime& now, const std::function<bool(const QString& question)>& confirm);
// Removes the group's line from the list file (as it is when written) and its file. Empty on success,
// else the message.
QString deleteGroup(database::GroupFiles& files, const QString& fileName, int languageIndex);
QString deleteGroup(const DataRoot& root, const QString& fileName, int languageIndex);
// The list file with the marks as they are now, laid onto the list as it is when written.
bool saveGroupMarks(database::GroupFiles& files, const QList<GroupEntry>& entries);
bool saveGroupMarks(const DataRoot& root, const QList<GroupEntry>& entries);

} // namespace tarn::polling
