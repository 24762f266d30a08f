#pragma once
// The console's point list: the registry's polling list with its check marks. A point polled by itself
// is the one chosen; a group polls the checked lines in list order, so selecting a group checks exactly its
// members and a retry leaves only the failed ones checked.
#include "common/DataRoot.h"
#include "database/Storage.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace tarn::polling {

class ConsolePointList {
public:
    // The registry's polling list read again, none checked.
    void reload(const DataRoot& root, database::Storage& storage);
    const QStringList& lines() const { return lines_; }
    const QList<bool>& checks() const { return checks_; }
    bool setChecked(int index, bool on);
    // The first checked line at or after from; -1 when none is left.
    int nextChecked(int from) const;
    // Exactly the lines whose key (their first 18 characters: model and serial) is among these checked.
    void checkExactly(const QStringList& keys);
    // The checked lines whose point is not among these identifiers unchecked.
    void keepCheckedAmong(const QStringList& identifiers);
    // A line's point: its last ten characters.
    static QString identifierOf(const QString& line) { return line.right(10).trimmed(); }

private:
    QStringList lines_;
    QList<bool> checks_;
};

} // namespace tarn::polling
