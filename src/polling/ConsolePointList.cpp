#include "polling/ConsolePointList.h"

#include "database/Registry.h"

namespace tarn::polling {

void ConsolePointList::reload(const DataRoot& root, database::Storage& storage) {
    database::Registry registry(root, storage);
    lines_ = registry.ok() ? registry.pollingList() : QStringList();
    checks_ = QList<bool>(lines_.size(), false);
}

bool ConsolePointList::setChecked(int index, bool on) {
    if (index < 0 || index >= checks_.size()) return false;
    checks_[index] = on;
    return true;
}

int ConsolePointList::nextChecked(int from) const {
    for (int i = qMax(0, from); i < lines_.size(); ++i)
        if (checks_.value(i)) return i;
    return -1;
}

void ConsolePointList::checkExactly(const QStringList& keys) {
    for (int i = 0; i < lines_.size(); ++i)
        checks_[i] = keys.contains(lines_.at(i).left(18));
}

void ConsolePointList::keepCheckedAmong(const QStringList& identifiers) {
    for (int i = 0; i < lines_.size(); ++i)
        if (checks_[i] && !identifiers.contains(identifierOf(lines_.at(i)))) checks_[i] = false;
}

} // namespace tarn::polling
