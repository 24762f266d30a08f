#pragma once
// "Конфигуратор параметров группового опроса": a group's name, its polling windows, what to read, and its
// members (the console's checked points). Saving and deleting go through the group functions; the console
// is told so that it reloads the groups and rebuilds the day's schedule.
#include "common/DataRoot.h"
#include "common/Notifier.h"
#include "polling/Groups.h"
#include "polling/PollingRun.h"

#include <QDialog>
#include <array>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTimeEdit;

namespace tarn::polling {

class TfSet_Gr final : public QDialog {
    Q_OBJECT
public:
    // file: the group's file, empty for a new group.
    TfSet_Gr(PollingRun& run, const DataRoot& root, Notifier& notifier, int languageIndex,
             const QString& file, QWidget* parent = nullptr);

    QLineEdit* nameEdit() const { return name_; }
    QTableWidget* windowGrid() const { return grid_; }
    QTimeEdit* beginEdit() const { return begin_; }
    QTimeEdit* endEdit() const { return end_; }
    QTimeEdit* periodEdit() const { return period_; }
    QCheckBox* itemBox(int index) const { return items_.at(static_cast<std::size_t>(index)); }
    QPushButton* deleteGroupButton() const { return deleteGroup_; }

    // The polling windows as the grid holds them ("HH:MM-HH:MM-HH:MM").
    QStringList windows() const;
    // "0" and the nine marks of the check boxes.
    QString flags() const;

    // "Добавить": the three times as a window after the last one; false (with the message) when refused.
    bool addWindow();
    // "Удалить": the grid's current row, after the question.
    bool removeWindow();
    // "Сохранить": true when the group was written.
    bool save();
    // "Удалить группу": true when it was removed.
    bool removeGroup();

signals:
    // A group was saved or removed; the name whose schedule rows changed.
    void groupsChanged(const QString& changedGroup);

private:
    void showWindows(const QStringList& windows);

    PollingRun& run_;
    DataRoot root_;
    Notifier& notifier_;
    int language_;
    QString file_;
    QString originalName_;
    std::optional<QByteArray> opened_; // the group's file as it was read: another's change is not overwritten
    QLineEdit* name_;
    QTableWidget* grid_;
    QTimeEdit* begin_;
    QTimeEdit* end_;
    QTimeEdit* period_;
    std::array<QCheckBox*, kPollingItems> items_{};
    QPushButton* deleteGroup_;
};

} // namespace tarn::polling
