#pragma once
// "Маска внештатных ситуаций": which abnormal situations the group alarm table gets a column for, and its
// two options, as Current\mask_nhs.000 holds them. "ПРОДОЛЖИТЬ" writes the file and lets the table be
// made; "ОТМЕНА" stops the listing.
#include "polling/GroupAlarms.h"

#include <QDialog>
#include <array>

class QCheckBox;
class QPushButton;

namespace tarn::polling {

class TfMaskNhs final : public QDialog {
    Q_OBJECT
public:
    TfMaskNhs(const DataRoot& root, Notifier& notifier, int languageIndex, QWidget* parent = nullptr);

    // The mask as ticked now.
    AlarmMask mask() const;
    // "ПРОДОЛЖИТЬ": the file written and read back; false (and told) when it could not be written.
    bool confirm();

    QCheckBox* situationBox(int situation) const; // 1..16 but 15
    QCheckBox* fullListBox() const { return fullList_; }
    QCheckBox* legendBox() const { return legend_; }
    QPushButton* continueButton() const { return continue_; }
    QPushButton* cancelButton() const { return cancel_; }

private:
    DataRoot root_;
    Notifier& notifier_;
    std::array<QCheckBox*, 16> situations_{};
    QCheckBox* fullList_;
    QCheckBox* legend_;
    QPushButton* continue_;
    QPushButton* cancel_;
};

} // namespace tarn::polling
