#pragma once
// What the group start window offers: the group's members as they stand in the console's point list, and
// where a run that was stopped in an emergency broke off. No widgets here, so the window stays a view.
#include "common/DataRoot.h"
#include "polling/Groups.h"

#include <QList>
#include <QStringList>

namespace tarn::polling {

struct GroupStartMember {
    int pointIndex = -1; // the member's place in the point list, as startGroup takes it
    QString line;
};

struct GroupStartChoice {
    QString groupName; // without its padding
    // In point-list order, which is the order the run goes in; members no longer registered are left out.
    QList<GroupStartMember> members;
    // The stop file (Group\<file>.err) is there with at least its file, name and point lines.
    bool resumable = false;
    // Where the stopped run goes on: the member named by the stop file; -1 when that is none of them.
    int resumePoint = -1;
};

// The stop file of a group run: written when the run is stopped before the group's end, so that the
// next start can go on from the point in hand; removed when the group is started again.
QString resumeFilePath(const DataRoot& root, const QString& groupFile);
bool writeResumeFile(const DataRoot& root, const QString& groupFile, const QString& groupName,
                     const QString& pointLine, const QString& identifier);

// The group's members from groups (the run's), the stop file from root's Group folder: it says where
// this poller broke off, so it stays with the poller's installation.
GroupStartChoice groupStartChoice(const database::GroupFiles& groups, const DataRoot& root,
                                  const GroupEntry& entry, const QStringList& pointLines);

// "запустить опрос группы "<group>" начать с корректора: "<corrector>"".
QString groupStartQuestion(const QString& groupName, const QString& corrector);
// The single point's question: the model, " №" and the serial number of its line.
QString pointStartQuestion(const QString& pointLine);

} // namespace tarn::polling
