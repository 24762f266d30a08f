#pragma once
// The password window "ПАРОЛЬ": entry of the seven passwords, their change, closing the access and the
// restart command.
#include "corrector/CorrectorWindowModel.h"

#include <QDialog>
#include <array>
#include <functional>

class QLineEdit;
class QPushButton;
class QAction;

namespace tarn::corrector {

class TParolCr final : public QDialog {
    Q_OBJECT
public:
    // readParameters starts "ПАРАМЕТРЫ КОРРЕКТОРА" (operation 2).
    TParolCr(CorrectorWindowModel& model, std::function<void()> readParameters, QWidget* parent = nullptr);

    QLineEdit* entry(int slot) const { return entry_[slot]; }
    QLineEdit* change(int slot) const { return change_[slot]; }
    QLineEdit* confirmation() const { return confirmation_; }
    QPushButton* restartButton() const { return restart_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void enterPressed(QObject* watched);

    CorrectorWindowModel& model_;
    std::function<void()> readParameters_;
    std::array<QLineEdit*, kPasswordSlots> entry_{};
    std::array<QLineEdit*, kPasswordSlots> change_{};
    QLineEdit* confirmation_;
    QPushButton* restart_;
};

} // namespace tarn::corrector
