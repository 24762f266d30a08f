#pragma once
// "Состав газа": one gas composition (name, density, CO2, N2). The values turn red, blue or green as the
// user types them, by the corrector's own range check; "Добавить" refuses a name already there,
// "Изменить" and "Удалить" work on the composition the window was opened with (disabled without one).
#include "common/Notifier.h"
#include "database/Gases.h"

#include <QDialog>
#include <array>

class QLineEdit;
class QPushButton;

namespace tarn::database {

class TGasComp final : public QDialog {
    Q_OBJECT
public:
    // selected: the composition chosen in the gas grid, or nothing.
    TGasComp(Gases& gases, const std::optional<GasComposition>& selected, Notifier& notifier,
             QWidget* parent = nullptr);
    QLineEdit* field(int which) const { return fields_[which]; } // 0 name, 1 density, 2 CO2, 3 N2
    QPushButton* addButton() const { return add_; }
    QPushButton* changeButton() const { return change_; }
    QPushButton* deleteButton() const { return delete_; }

    bool addComposition();
    bool changeComposition();
    bool deleteComposition();

private:
    GasComposition typed() const;
    void colourValue(int which);

    Gases& gases_;
    std::optional<GasComposition> selected_;
    Notifier& notifier_;
    std::array<QLineEdit*, 4> fields_{};
    QPushButton* add_;
    QPushButton* change_;
    QPushButton* delete_;
};

} // namespace tarn::database
