#pragma once
// The words of the address book's selection window and of the book editor, and the first lines a new book
// is written with (in the user's language), kept with the windows so that the books' logic below carries
// none. tarn-cli's --address-book tells its refusals in the selection window's words.
#include "common/Language.h"
#include "link/AddressBook.h"

#include <QString>
#include <QStringList>

namespace tarn::link {

// The texts of the selection window and of the editor.
enum AddressBookPair {
    kChoiceCaption = 0,
    kChoiceExit,
    kWrongAddress,
    kEditorAddressTitle,
    kEditorPhoneTitle,
    kEditorAddressField,
    kEditorPhoneField,
    kEditorCommentField,
    kEditorDelete,
    kEditorSave,
    kEditorCancel,
    kDeleteQuestionHead,
    kDeleteQuestionTail,
    kFileNotWritten,
};
extern const TextPairs kAddressBookTexts;

// A new address book's two lines, in the language; neither is an address line.
QStringList newAddressBookLines(int languageIndex);
// A new phone book as the editor makes it: its title is a comment line, so no dial list can take it for a
// number.
QStringList newPhoneBookLines();
// The new lines of the book of that kind.
QStringList newBookLines(BookKind kind, int languageIndex);

// "Адреса коректора визначено неправильно !!!" / "Адрес корректора определен неверно !!!".
QString wrongAddressText(int languageIndex);
// A book that could not be written, with its path.
QString fileNotWrittenText(int languageIndex, const QString& path);
// "РЕДАКТОР - " and the book's title in double quotes: the editor's caption and its first field's label.
QString editorCaption(BookKind kind, int languageIndex);
// The question "Удалить" asks before it deletes the entry whose fields are shown.
QString deleteQuestion(const EntryFields& fields, int languageIndex);

} // namespace tarn::link
