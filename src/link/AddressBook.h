#pragma once
// The corrector address book and the modem phone book: small text files in Work\, one entry per line, a
// value optionally followed by "//" and a comment. Several correctors can share one line, each answering
// only to its own link address 1..14; the user picks the one to talk to from the address book, and edits
// both books in the same editor. Nothing of a choice is stored: the link address lives in the application
// context until the next initialisation.
#include "common/DataRoot.h"
#include "common/Language.h"
#include "common/PhoneNumber.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace tarn::link {

// The address of a book line: the text before the first "//" with every space removed, when that is a
// whole number 1..14. Any other line is no address line.
std::optional<int> parseAddress(const QString& line);

// Work/uaFlAdrCr.000 for Ukrainian, Work/FlAdrCr.000 for Russian: each language keeps its own book.
QString addressBookPath(const DataRoot& root, int languageIndex);
// Work/FlInPh.000.
QString phoneBookPath(const DataRoot& root);

// A book's lines; a missing book is written first with its new lines (the windows' layer has them, in the
// user's language: link/windows/AddressBookTexts). An existing book that cannot be read
// is never overwritten: it gives no lines.
struct BookLines {
    QStringList lines;
    // The missing book could not be written: the caller tells the user (fileNotWrittenText).
    bool writeFailed = false;
};
BookLines readBook(const QString& path, const QStringList& newLines);

// What the selection window offers: the book's address lines, and the text its entry field starts with.
// Loading the book never changes the link address: only a confirmed choice does.
struct AddressOffer {
    QStringList entries;
    // The entry chosen earlier in this run, else the first address line, else "1 // ".
    QString fieldText;
    bool writeFailed = false;
    QString path;
};
AddressOffer offerAddresses(const DataRoot& root, int languageIndex, const QString& selectedEntry,
                            const QStringList& newBookLines);

// The offered entry a text names (tarn-cli): the entry itself, or a bare address for the first entry with
// that address. Nothing when the text names none.
std::optional<QString> findOfferedEntry(const QStringList& entries, const QString& text);

// An entry split at its first "//": the part before without its outer spaces, the part after without its
// leading spaces.
struct EntryFields {
    QString first;
    QString second;
};
EntryFields splitEntry(const QString& entry);
// The fields written back as an entry: first + " // " + second. Two empty fields make an empty entry, so a
// line the user has emptied is not saved as a bare " // ".
QString joinFields(const QString& first, const QString& second);

enum class BookKind { Addresses, Phones };

// The editor window without widgets: the list of entries with one empty entry at the end for a new line,
// the selected entry and its two fields.
class EntryEditor {
public:
    EntryEditor(BookKind kind, DataRoot root, int languageIndex);

    // Opening: the book (created with the new lines given when missing), every non-empty line, the empty
    // entry, the first entry selected. False when a missing book could not be written.
    bool open(const QStringList& newBookLines);

    BookKind kind() const { return kind_; }
    const QString& path() const { return path_; }

    const QStringList& entries() const { return entries_; }
    int selected() const { return selected_; }
    const EntryFields& fields() const { return fields_; }

    // Selecting an entry fills the fields from it.
    void select(int index);
    // A key released in either field: the selected entry is rewritten from the fields, and an empty entry
    // is added at the end when the last one is no longer empty.
    void editFields(const QString& first, const QString& second);

    // In the phone book every entry's number must be one a modem can dial: nothing refused when all are,
    // else what is wrong with the first that is not (the address book has nothing to check).
    PhoneRefusal refusal() const;
    // "Сохранить": every non-empty entry in list order. False when the file could not be written.
    bool save() const;
    // After "Yes": the book is written without the selected entry and read again, and the entry before it
    // is selected. False, with the list left as it was, when the file could not be written.
    bool deleteSelected();

private:
    void loadEntries(const QStringList& lines);
    QStringList nonEmptyEntries(int skipped) const;

    BookKind kind_;
    DataRoot root_;
    QString path_;
    QStringList entries_;
    int selected_ = 0;
    EntryFields fields_;
};

} // namespace tarn::link
