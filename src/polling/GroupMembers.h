#pragma once
// A group's members as the group views take them: the points whose "3*" line has the member digit "1"
// and whose identifier is in the registry, numbered from 1; and what each member's parameter file
// (Param\p_<id>.000) says about it.
#include "common/DataRoot.h"
#include "common/Notifier.h"
#include "database/Registry.h"
#include "polling/Groups.h"

#include <optional>

namespace tarn::polling {

struct NumberedMember {
    int number = 0; // 1-based
    database::Point point;
};

// The group of that name as it is kept (cut to 20, blanks at either end do not count); nothing when
// there is none.
std::optional<GroupEntry> findGroupByName(const database::GroupFiles& files, const QString& name);
std::optional<GroupEntry> findGroupByName(const DataRoot& root, const QString& name);
QList<NumberedMember> registeredMembers(const Group& group, const database::Registry& registry);

// What the member's parameter file gives the group views.
struct MemberParameters {
    QString model;
    QString serial;
    QString organisation; // item 45
    QString pipeline;     // item 44
    int volumeDecimals = 2;
};
// Loads the member's parameter file; nothing when it is missing or cannot be loaded.
std::optional<MemberParameters> loadMemberParameters(const DataRoot& root, const QString& identifier,
                                                     Notifier& notifier, int languageIndex);
// "Внимание!!! Нет файла параметров для корректора - " + model + " N" + serial (the point as the
// registry knows it; without model and number when it is not known).
QString missingParameterFileText(const database::Point* point);

} // namespace tarn::polling
