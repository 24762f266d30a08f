#include "polling/Groups.h"

#include "common/Cp1251.h"
#include "common/Language.h"
#include "common/TextFile.h"

#include <QHash>
#include <QMutex>

#include <algorithm>

namespace tarn::polling {

namespace {

int minutesOf(const QTime& t, bool endOfDay) {
    const int m = t.hour() * 60 + t.minute();
    return endOfDay && m == 0 ? 1440 : m;
}

QString entryLine(const GroupEntry& e) {
    return QString(e.mark ? QLatin1Char('1') : QLatin1Char('0')) + QLatin1Char('/') + e.file +
           QLatin1Char('/') + e.name;
}

QString copyErrorText(int languageIndex, const QString& path) {
    return uaRu(languageIndex, "Помилка! при копіюванні файлу ", "Ошибка! при копировании файла ") + path;
}

// Where the file is and, from a keeper that says so (a server), why it failed.
QString failedFileText(const database::GroupFiles& files, const QString& name, const Error& why) {
    const QString where = files.location(name);
    return why.detail.isEmpty() ? where : where + QStringLiteral(" (") + why.detail + QLatin1Char(')');
}

QByteArray listBytes(const QList<GroupEntry>& entries) {
    QStringList lines;
    for (const GroupEntry& e : entries)
        lines.append(entryLine(e));
    return textFileBytes(lines);
}

QList<GroupEntry> groupListOf(const std::optional<QByteArray>& bytes) {
    QList<GroupEntry> entries;
    if (!bytes) return entries;
    for (const QString& line : textLinesOf(*bytes)) {
        const QStringList parts = line.split(QLatin1Char('/'));
        if (parts.size() < 3 || parts.at(1).trimmed().isEmpty()) continue;
        entries.append({parts.at(0).trimmed() == QLatin1String("1"), parts.at(1).trimmed(),
                        parts.mid(2).join(QLatin1Char('/'))});
    }
    return entries;
}

// The list as it is while a change is made. A list that is there but cannot be read is an error: a
// change made from no groups would write a list without the others' groups.
std::optional<QList<GroupEntry>> currentGroupList(const database::GroupFilesReader& current, Error& why) {
    const std::optional<QByteArray> bytes = current(database::kGroupListName, why);
    if (!bytes && !why.is(ErrorKind::NotFound)) return std::nullopt;
    why = {};
    return groupListOf(bytes);
}

} // namespace

QString changedElsewhereText(int languageIndex) {
    return uaRu(languageIndex, "Групу змінено на іншому робочому місці! Групи перечитано, повторіть зміну.",
                "Группа изменена на другом рабочем месте! Группы перечитаны, повторите изменение.");
}

QStringList Group::memberIdentifiers() const {
    QStringList ids;
    for (const GroupMember& m : members)
        if (m.member) ids.append(m.identifier());
    return ids;
}

QString groupListPath(const DataRoot& root) {
    return root.file(folder::Group, database::kGroupListName);
}

QList<GroupEntry> loadGroupList(const database::GroupFiles& files) {
    Error ignored;
    return groupListOf(files.read(database::kGroupListName, ignored));
}

QList<GroupEntry> loadGroupList(const DataRoot& root) {
    return loadGroupList(database::FolderGroupFiles(root));
}

namespace {

Group parsedGroup(const QByteArray& bytes) {
    Group g;
    for (const QString& line : textLinesOf(bytes)) {
        const QString prefix = line.left(2), rest = line.mid(2);
        if (prefix == QLatin1String("0*"))
            g.name = rest;
        else if (prefix == QLatin1String("1*"))
            g.schedule.append(rest);
        else if (prefix == QLatin1String("2*"))
            g.flags = rest;
        else if (prefix == QLatin1String("3*") && !rest.isEmpty())
            g.members.append({rest.at(0) == QLatin1Char('1'), rest.mid(1)});
    }
    return g;
}

} // namespace

Group loadGroup(const database::GroupFiles& files, const QString& fileName) {
    Error ignored;
    const std::optional<QByteArray> bytes = files.read(fileName, ignored);
    if (!bytes) return {};
    // The console reads the same group files for today's schedule, its group list and its day board, at
    // every start and every reload. The bytes are read each time, so a change by anyone is seen at once;
    // a file of a thousand members is parsed again only when its bytes differ from the last ones parsed.
    struct Parsed {
        QByteArray bytes;
        Group group;
    };
    constexpr qsizetype kParsedGroupsKept = 64;
    static QMutex mutex;
    static QHash<QString, Parsed> parsed;
    const QMutexLocker lock(&mutex);
    auto known = parsed.find(fileName);
    if (known == parsed.end() || known->bytes != *bytes) {
        // Saved groups get new file names: what the files were once is let go now and then.
        if (known == parsed.end() && parsed.size() >= kParsedGroupsKept) parsed.clear();
        known = parsed.insert(fileName, {*bytes, parsedGroup(*bytes)});
    }
    return known->group;
}

Group loadGroup(const DataRoot& root, const QString& fileName) {
    return loadGroup(database::FolderGroupFiles(root), fileName);
}

QString groupListEntry(const GroupEntry& entry, const Group& group) {
    QString text = entry.name.left(kGroupNameWidth).leftJustified(kGroupNameWidth) + QLatin1Char('/');
    for (QString window : group.schedule) {
        window.remove(QLatin1Char(' '));
        text += window + QLatin1Char('/');
    }
    return text;
}

QString scheduleString(const QString& listEntry) {
    QString s = listEntry.mid(kGroupNameWidth);
    s.remove(QLatin1Char(' '));
    return s;
}

QString keptGroupName(const QString& typed) {
    return typed.left(kGroupNameWidth).trimmed();
}

QString checkGroupNameCharacters(const QString& name, int languageIndex) {
    for (const QChar c : name) {
        const bool control = c.unicode() < 0x20 || c.unicode() == 0x7F;
        if (!control && fromCp1251(toCp1251(QString(c))) == QString(c)) continue;
        const QString code =
            QStringLiteral("U+%1").arg(static_cast<int>(c.unicode()), 4, 16, QLatin1Char('0')).toUpper();
        return uaRu(languageIndex,
                    "Недопустимий символ в імені групи: ", "Недопустимый символ в имени группы: ") +
               (control || c.isSurrogate() ? code
                                           : QString(c) + QStringLiteral(" (") + code + QLatin1Char(')'));
    }
    return {};
}

QStringList unregisteredMembers(const Group& group, const QStringList& pollingList) {
    QStringList registered;
    for (const QString& line : pollingList)
        registered.append(line.right(10).trimmed());
    QStringList missing;
    for (const QString& id : group.memberIdentifiers())
        if (!registered.contains(id)) missing.append(id);
    return missing;
}

QByteArray groupFilesStamp(const database::GroupFiles& files) {
    if (std::optional<QByteArray> mark = files.changeMark()) return *mark;
    // The files are a few hundred bytes each, so their contents are compared: a change within the same
    // second as the last one, or one that keeps the size, is still seen.
    const auto contents = [&files](const QString& name) {
        Error ignored;
        return files.read(name, ignored).value_or(QByteArray());
    };
    QByteArray stamp = contents(database::kGroupListName);
    for (const GroupEntry& e : loadGroupList(files))
        stamp += '\0' + contents(e.file);
    return stamp;
}

QByteArray groupFilesStamp(const DataRoot& root) {
    return groupFilesStamp(database::FolderGroupFiles(root));
}

QString newGroupFileName(const QDateTime& now) {
    return now.toString(QStringLiteral("yyMMddHHmmss"));
}

QString windowText(const QTime& begin, const QTime& end, const QTime& period) {
    const QString f = QStringLiteral("HH:mm");
    return begin.toString(f) + QLatin1Char('-') + end.toString(f) + QLatin1Char('-') + period.toString(f);
}

QString checkNewWindow(const QStringList& windows, const QTime& begin, const QTime& end, int languageIndex) {
    int previousEnd = 0;
    if (!windows.isEmpty()) {
        const QTime last = QTime::fromString(windows.last().mid(6, 5), QStringLiteral("HH:mm"));
        if (last.isValid()) previousEnd = minutesOf(last, true);
    }
    const int b = minutesOf(begin, false);
    const int e = minutesOf(end, true);
    if (begin.isValid() && end.isValid() && b >= previousEnd && b < e) return {};
    return uaRu(languageIndex, "Помилка набору часу! ", "Ошибка набора времени ! ") +
           end.toString(QStringLiteral("HH:mm"));
}

GroupSaveResult saveGroup(database::GroupFiles& files, const GroupSave& save, int languageIndex,
                          const QDateTime& now, const std::function<bool(const QString&)>& confirm,
                          const std::optional<QByteArray>& opened) {
    GroupSaveResult r;
    QString bare = save.group.name;
    bare.remove(QLatin1Char(' '));
    if (bare.isEmpty()) {
        r.error = uaRu(languageIndex, "Не визначено ім'я  групи!!!", "Не определено имя  группы!!!");
        r.badName = true;
        return r;
    }
    if (r.error = checkGroupNameCharacters(save.group.name, languageIndex); !r.error.isEmpty()) {
        r.badName = true;
        return r;
    }
    const QString name = save.group.name.left(kGroupNameWidth).leftJustified(kGroupNameWidth);
    // A renamed group is made again under its new name.
    const bool renamed =
        !save.file.isEmpty() && keptGroupName(save.originalName) != keptGroupName(save.group.name);
    if (renamed && (!confirm || !confirm(uaRu(languageIndex, "Змінено ім'я групи, переписати?",
                                              "Изменено имя группы, переписать?")))) {
        r.asked = true;
        return r;
    }
    QStringList lines{QStringLiteral("0*") + name};
    for (const QString& w : save.group.schedule)
        lines.append(QStringLiteral("1*") + w);
    lines.append(QStringLiteral("2*") + save.group.flags);
    for (const GroupMember& m : save.group.members)
        lines.append(QStringLiteral("3*") + (m.member ? QLatin1Char('1') : QLatin1Char('0')) + m.line);

    // Made from the list as it is when written: a group another workstation saved or deleted meanwhile
    // stays as it left it. Only this group's own line and file are this save's business, and when those
    // changed since the window read them, the save is refused rather than writing over that change.
    QString file;
    QString refusal;
    bool taken = false;
    const auto make = [&](const database::GroupFilesReader& current,
                          QList<database::GroupFileChange>& changes) {
        file.clear();
        refusal.clear();
        taken = false;
        Error why;
        std::optional<QList<GroupEntry>> entries = currentGroupList(current, why);
        if (!entries) return why;
        if (opened && !save.file.isEmpty()) {
            Error unread;
            const std::optional<QByteArray> there = current(save.file, unread);
            if (!there && !unread.is(ErrorKind::NotFound)) return unread;
            const bool listed = std::any_of(entries->cbegin(), entries->cend(),
                                            [&](const GroupEntry& e) { return e.file == save.file; });
            if (!listed || there != opened) {
                refusal = changedElsewhereText(languageIndex);
                return Error(ErrorKind::Refused, refusal);
            }
        }
        file = renamed ? QString() : save.file;
        if (renamed) {
            entries->removeIf([&](const GroupEntry& e) { return e.file == save.file; });
            // A list line naming no plain file name has no file to remove.
            if (isPlainFileName(save.file)) changes.append({save.file, std::nullopt});
        }
        if (file.isEmpty()) {
            for (const GroupEntry& e : *entries)
                if (e.name.trimmed() == keptGroupName(name)) {
                    taken = true;
                    return Error(ErrorKind::Refused);
                }
            // Named by the second it was made in: a second group made in the same second would take the
            // first one's file, so it takes the next free second.
            QDateTime stamp = now;
            file = newGroupFileName(stamp);
            for (;;) {
                Error unread;
                if (!current(file, unread)) {
                    if (unread.is(ErrorKind::NotFound)) break;
                    return unread;
                }
                stamp = stamp.addSecs(1);
                file = newGroupFileName(stamp);
            }
        }
        bool found = false;
        for (GroupEntry& e : *entries) {
            if (e.file == file) {
                e.name = name;
                found = true;
            }
        }
        if (!found) entries->append({false, file, name});
        // The group's file first, then the list that names it, then the file of its old name: in the
        // folder a failure between them leaves a file no list names, never a list naming a file that is
        // not there.
        changes.prepend({database::kGroupListName, listBytes(*entries)});
        changes.prepend({file, textFileBytes(lines)});
        return Error();
    };
    QString failedName;
    if (const Error why = files.changeFromCurrent(make, &failedName); why.failed()) {
        if (taken) {
            r.error = uaRu(languageIndex, "Група - ", "Группа - ") + name.trimmed() +
                      uaRu(languageIndex, " вже є!!!", " уже есть!!!");
            r.badName = true;
            return r;
        }
        if (!refusal.isEmpty()) {
            r.error = refusal;
            r.changedElsewhere = true;
            return r;
        }
        if (failedName.isEmpty()) failedName = database::kGroupListName;
        r.error = copyErrorText(languageIndex, failedFileText(files, failedName, why));
        if (failedName == database::kGroupListName) r.file = file;
        return r;
    }
    r.file = file;
    return r;
}

GroupSaveResult saveGroup(const DataRoot& root, const GroupSave& save, int languageIndex,
                          const QDateTime& now, const std::function<bool(const QString&)>& confirm) {
    database::FolderGroupFiles files(root);
    return saveGroup(files, save, languageIndex, now, confirm);
}

QString deleteGroup(database::GroupFiles& files, const QString& fileName, int languageIndex) {
    // The list as it is when written: only this group's line leaves it.
    const auto make = [&](const database::GroupFilesReader& current,
                          QList<database::GroupFileChange>& changes) {
        Error why;
        std::optional<QList<GroupEntry>> kept = currentGroupList(current, why);
        if (!kept) return why;
        kept->removeIf([&](const GroupEntry& e) { return e.file == fileName; });
        changes = {{database::kGroupListName, listBytes(*kept)}};
        // A list line naming no plain file name has no file to remove.
        if (isPlainFileName(fileName)) changes.append({fileName, std::nullopt});
        return Error();
    };
    QString failedName;
    if (const Error why = files.changeFromCurrent(make, &failedName); why.failed()) {
        if (failedName.isEmpty() || failedName == database::kGroupListName)
            return copyErrorText(languageIndex, failedFileText(files, database::kGroupListName, why));
        return uaRu(languageIndex, "Помилка при видаленні файлу ", "Ошибка при удалении файла ") +
               failedFileText(files, failedName, why);
    }
    return {};
}

QString deleteGroup(const DataRoot& root, const QString& fileName, int languageIndex) {
    database::FolderGroupFiles files(root);
    return deleteGroup(files, fileName, languageIndex);
}

bool saveGroupMarks(database::GroupFiles& files, const QList<GroupEntry>& entries) {
    // The marks go onto the list as it is when written: a group saved or deleted elsewhere since the
    // console read the list keeps its line, or stays gone.
    const auto make = [&](const database::GroupFilesReader& current,
                          QList<database::GroupFileChange>& changes) {
        Error why;
        std::optional<QList<GroupEntry>> listed = currentGroupList(current, why);
        if (!listed) return why;
        for (GroupEntry& e : *listed)
            for (const GroupEntry& marked : entries)
                if (marked.file == e.file) e.mark = marked.mark;
        changes = {{database::kGroupListName, listBytes(*listed)}};
        return Error();
    };
    return files.changeFromCurrent(make).ok();
}

bool saveGroupMarks(const DataRoot& root, const QList<GroupEntry>& entries) {
    database::FolderGroupFiles files(root);
    return saveGroupMarks(files, entries);
}

} // namespace tarn::polling
