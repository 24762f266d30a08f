#pragma once
// The editor of the corrector address book and of the modem phone book: the list of entries, the entry's
// two fields (the address or number, and the comment) and "Удалить", "Сохранить", "Отмена". What it shows
// and what an action does come from the EntryEditor.
#include "common/Notifier.h"
#include "link/AddressBook.h"
#include "link/LinkWording.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tarn::link {

class TEditorAdrM final : public QDialog {
    Q_OBJECT
public:
    // The wording says why a phone book entry is refused.
    TEditorAdrM(BookKind kind, DataRoot root, int languageIndex, Notifier& notifier,
                const LinkWording& wording, QWidget* parent = nullptr);

    const EntryEditor& editor() const { return editor_; }
    QListWidget* list() const { return list_; }
    QLineEdit* firstEdit() const { return firstEdit_; }
    QLineEdit* secondEdit() const { return secondEdit_; }
    QLabel* firstLabel() const { return firstLabel_; }
    QLabel* secondLabel() const { return secondLabel_; }
    QPushButton* deleteButton() const { return delete_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* cancelButton() const { return cancel_; }

    // After openDelayMs: the captions, the book (created when missing), the first entry.
    void Timer_Open();
    bool opened() const { return opened_; }
    // "Удалить" after its question; "Сохранить" and close. A file that cannot be written is told, and the
    // window stays open with the user's entries.
    void deleteClick();
    void saveClick();

    // Shortened by tests.
    int openDelayMs = 100;

protected:
    void showEvent(QShowEvent* event) override;
    // A key released in either field rewrites the selected entry.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showEntries();
    void showFields();

    EntryEditor editor_;
    int language_;
    Notifier& notifier_;
    const LinkWording& wording_;
    QListWidget* list_;
    QLabel* firstLabel_;
    QLabel* secondLabel_;
    QLineEdit* firstEdit_;
    QLineEdit* secondEdit_;
    QPushButton* delete_;
    QPushButton* save_;
    QPushButton* cancel_;
    bool openStarted_ = false;
    bool opened_ = false;
    // The list is being refilled: its selection signals are not the user's.
    bool filling_ = false;
};

} // namespace tarn::link
