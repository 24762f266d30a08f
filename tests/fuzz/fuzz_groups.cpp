// Polling groups: the same bytes as the group list file and as a group's file, loaded as the console and
// the configurator load them, and what the console shows of them.
//   input: the file's bytes
#include "FuzzDriver.h"

#include "common/DataRoot.h"
#include "polling/Groups.h"

using namespace tarn;
using namespace tarn::polling;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input = fuzz::bytesOf(data, size);
    const DataRoot root(fuzz::scratch().filePath(QStringLiteral("groups")));
    const QString fileName = QStringLiteral("261210082500");
    fuzz::putFile(groupListPath(root), input);
    fuzz::putFile(root.file(folder::Group, fileName), input);

    const QList<GroupEntry> entries = loadGroupList(root);
    const Group group = loadGroup(root, fileName);
    (void)groupListEntry(GroupEntry{true, fileName, group.name}, group);
    for (const GroupEntry& e : entries) {
        const Group listed = loadGroup(root, e.file);
        (void)scheduleString(groupListEntry(e, listed));
    }
    (void)group.memberIdentifiers();
    QStringList pollingList;
    for (const GroupMember& m : group.members)
        pollingList.append(m.line);
    (void)unregisteredMembers(group, pollingList.mid(pollingList.size() / 2));
    (void)groupFilesStamp(root);
    return 0;
}
