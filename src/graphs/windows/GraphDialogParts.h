#pragma once
// What the corrector and group graph dialogs share: the ticked parameters of their list and the period
// of their four date and time fields.
#include <QDateTime>
#include <QList>

class QDateEdit;
class QListWidget;
class QTimeEdit;

namespace tarn::graphs {

void tickParameters(QListWidget* list, const QList<int>& indices);
QList<int> tickedParameters(const QListWidget* list);

struct PeriodFields {
    QDateEdit* beginDate = nullptr;
    QTimeEdit* beginTime = nullptr;
    QDateEdit* endDate = nullptr;
    QTimeEdit* endTime = nullptr;

    void set(const QDateTime& begin, const QDateTime& end) const;
    QDateTime begin() const;
    QDateTime end() const;
};

} // namespace tarn::graphs
