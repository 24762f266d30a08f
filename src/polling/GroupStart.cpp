#include "polling/GroupStart.h"

#include "common/TextFile.h"

namespace tarn::polling {

QString resumeFilePath(const DataRoot& root, const QString& groupFile) {
    return root.file(folder::Group, groupFile + QStringLiteral(".err"));
}

bool writeResumeFile(const DataRoot& root, const QString& groupFile, const QString& groupName,
                     const QString& pointLine, const QString& identifier) {
    // The group's file, its name, the point's name (the first 20 characters of its line) and identifier.
    return writeTextLines(resumeFilePath(root, groupFile),
                          {groupFile, groupName, pointLine.left(20), identifier});
}

GroupStartChoice groupStartChoice(const database::GroupFiles& groups, const DataRoot& root,
                                  const GroupEntry& entry, const QStringList& pointLines) {
    GroupStartChoice choice;
    choice.groupName = entry.name.trimmed();
    const Group group = loadGroup(groups, entry.file);
    QStringList keys;
    for (const GroupMember& m : group.members)
        if (m.member) keys.append(m.key());
    for (int i = 0; i < pointLines.size(); ++i)
        if (keys.contains(pointLines.at(i).left(18))) choice.members.append({i, pointLines.at(i)});

    // The run writes its file, name, point and identifier when it is stopped before the group's end.
    const auto lines = readTextLines(resumeFilePath(root, entry.file));
    if (!lines) return choice;
    int filled = 0;
    for (const QString& l : *lines)
        if (!l.trimmed().isEmpty()) ++filled;
    choice.resumable = filled >= 3;
    const QString identifier = lines->value(3).trimmed();
    if (choice.resumable && !identifier.isEmpty())
        for (const GroupStartMember& m : choice.members)
            if (m.line.right(10).trimmed() == identifier) choice.resumePoint = m.pointIndex;
    return choice;
}

QString groupStartQuestion(const QString& groupName, const QString& corrector) {
    return QStringLiteral("запустить опрос группы \"") + groupName +
           QStringLiteral("\" начать с корректора: \"") + corrector + QLatin1Char('"');
}

QString pointStartQuestion(const QString& pointLine) {
    return QStringLiteral("запустить опрос корректора - ") + pointLine.left(18);
}

} // namespace tarn::polling
