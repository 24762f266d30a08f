#include "graphs/windows/GraphDialogParts.h"

#include <QDateEdit>
#include <QListWidget>
#include <QTimeEdit>

namespace tarn::graphs {

void tickParameters(QListWidget* list, const QList<int>& indices) {
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setCheckState(indices.contains(i) ? Qt::Checked : Qt::Unchecked);
}

QList<int> tickedParameters(const QListWidget* list) {
    QList<int> out;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->checkState() == Qt::Checked) out.append(i);
    return out;
}

void PeriodFields::set(const QDateTime& begin, const QDateTime& end) const {
    beginDate->setDate(begin.date());
    beginTime->setTime(begin.time());
    endDate->setDate(end.date());
    endTime->setTime(end.time());
}

QDateTime PeriodFields::begin() const {
    return QDateTime(beginDate->date(), beginTime->time());
}

QDateTime PeriodFields::end() const {
    return QDateTime(endDate->date(), endTime->time());
}

} // namespace tarn::graphs
