#pragma once
// "Опрос группы корректоров": the selected group's members, and where the run begins: the first member,
// the member picked in the list, or where a run stopped in an emergency broke off.
#include "common/DataRoot.h"
#include "common/Notifier.h"
#include "polling/PollingRun.h"
#include "polling/GroupStart.h"

#include <QDialog>

class QListWidget;
class QRadioButton;

namespace tarn::polling {

class TfGroupStart final : public QDialog {
    Q_OBJECT
public:
    TfGroupStart(PollingRun& run, const DataRoot& root, Notifier& notifier, int groupIndex,
                 QWidget* parent = nullptr);

    const GroupStartChoice& choice() const { return choice_; }
    QListWidget* memberList() const { return members_; }
    QRadioButton* firstButton() const { return first_; }
    QRadioButton* pickedButton() const { return picked_; }
    QRadioButton* resumeButton() const { return resume_; }

    // Asks, then starts the group from the chosen member; true when the run started.
    bool startRun();

private:
    PollingRun& run_;
    Notifier& notifier_;
    int groupIndex_;
    GroupStartChoice choice_;
    QListWidget* members_;
    QRadioButton* first_;
    QRadioButton* picked_;
    QRadioButton* resume_;
};

} // namespace tarn::polling
