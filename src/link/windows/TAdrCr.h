#pragma once
// The selection window of the corrector address book: the book's address lines in an editable list and
// "ВЫХОД". Enter or "ВЫХОД" chooses the text of the entry field when it is an address line; anything else
// is refused with its message and the window stays open.
#include "common/DataRoot.h"
#include "common/Notifier.h"

#include <QDialog>
#include <functional>

class QAction;
class QComboBox;

namespace tarn::link {

class TAdrCr final : public QDialog {
    Q_OBJECT
public:
    struct Hooks {
        // A confirmed choice resets the corrector window first (access level none, "X" everywhere): its
        // values belong to the corrector it talked to before.
        std::function<void()> resetCorrectorWindow;
        // Then the link takes the entry's address.
        std::function<void(const QString& entry)> chooseAddress;
    };

    // selectedEntry: the entry chosen earlier in this run (empty when none); the entry field shows it.
    TAdrCr(DataRoot root, int languageIndex, QString selectedEntry, Notifier& notifier, Hooks hooks,
           QWidget* parent = nullptr);

    QComboBox* entryBox() const { return entries_; }
    QAction* exitAction() const { return exit_; }
    // "ВЫХОД" or Enter in the entry field.
    void confirm();
    // After loadDelayMs: the captions and the book (created when missing).
    void Timer_Load();
    bool loaded() const { return loaded_; }

    // Shortened by tests.
    int loadDelayMs = 200;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void setCaptions();

    DataRoot root_;
    int language_;
    QString selectedEntry_;
    Notifier& notifier_;
    Hooks hooks_;
    QComboBox* entries_;
    QAction* exit_;
    bool loadStarted_ = false;
    bool loaded_ = false;
};

} // namespace tarn::link
