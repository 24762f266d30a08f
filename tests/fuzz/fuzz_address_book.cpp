// The corrector address book and the phone book: the same bytes as each language's address book, read
// as the selection window offers it and as tarn-cli names an entry from it.
//   input: the file's bytes
#include "FuzzDriver.h"

#include "common/DataRoot.h"
#include "common/Language.h"
#include "link/AddressBook.h"
#include "link/windows/AddressBookTexts.h"

using namespace tarn;
using namespace tarn::link;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input = fuzz::bytesOf(data, size);
    const DataRoot root(fuzz::scratch().filePath(QStringLiteral("books")));
    for (int language : {kRussian, kUkrainian}) {
        fuzz::putFile(addressBookPath(root, language), input);
        const AddressOffer offer = offerAddresses(root, language, QString(), newAddressBookLines(language));
        for (const QString& entry : offer.entries) {
            (void)parseAddress(entry);
            const EntryFields fields = splitEntry(entry);
            (void)joinFields(fields.first, fields.second);
        }
        (void)findOfferedEntry(offer.entries, offer.fieldText);
        (void)findOfferedEntry(offer.entries, offer.fieldText.left(2));
    }
    fuzz::putFile(phoneBookPath(root), input);
    for (const QString& line : readBook(phoneBookPath(root), newPhoneBookLines()).lines)
        (void)splitEntry(line);
    return 0;
}
