#include "polling/GroupMembers.h"

#include "reports/ParameterPrintout.h"

#include "corrector/CorrectorFiles.h"

#include <QFile>

namespace tarn::polling {

std::optional<GroupEntry> findGroupByName(const database::GroupFiles& files, const QString& name) {
    const QString wanted = keptGroupName(name);
    if (wanted.isEmpty()) return std::nullopt;
    for (const GroupEntry& e : loadGroupList(files))
        if (e.name.trimmed() == wanted) return e;
    return std::nullopt;
}

std::optional<GroupEntry> findGroupByName(const DataRoot& root, const QString& name) {
    return findGroupByName(database::FolderGroupFiles(root), name);
}

QList<NumberedMember> registeredMembers(const Group& group, const database::Registry& registry) {
    QList<NumberedMember> out;
    for (const GroupMember& m : group.members) {
        if (!m.member) continue;
        if (auto point = registry.find(m.identifier()))
            out.append({static_cast<int>(out.size()) + 1, *point});
    }
    return out;
}

std::optional<MemberParameters> loadMemberParameters(const DataRoot& root, const QString& identifier,
                                                     Notifier& notifier, int languageIndex) {
    const QString path = corrector::pointParameterFilePath(root, identifier);
    if (path.isEmpty() || !QFile::exists(path)) return std::nullopt;
    const corrector::LoadedReading loaded = corrector::loadPointParameterFile(
        path, notifier, languageIndex, corrector::loadVolumePrecision(root).decimals);
    if (!loaded.outcome.ok) return std::nullopt;
    const corrector::Reading& reading = loaded.reading;
    MemberParameters p;
    p.model = reading.text(corrector::Field::ModelName).trimmed();
    if (p.model.isEmpty()) p.model = reading.profile.modelName.trimmed();
    p.serial = reading.text(corrector::Field::HeaderSerial).trimmed();
    p.organisation = reading.itemText(45).trimmed();
    p.pipeline = reading.itemText(44).trimmed();
    p.volumeDecimals = reading.volumeDecimals;
    return p;
}

QString missingParameterFileText(const database::Point* point) {
    if (!point) return QStringLiteral("Внимание!!! Нет файла параметров для корректора - ");
    return reports::missingParameterFileText(point->model.trimmed(), point->serial.trimmed());
}

} // namespace tarn::polling
