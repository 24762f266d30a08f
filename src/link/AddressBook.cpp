#include "link/AddressBook.h"

#include "common/PhoneNumber.h"
#include "common/TextFile.h"
#include "link/ExchangeState.h"

#include <QFileInfo>
#include <algorithm>

namespace tarn::link {

namespace {

const QString kCommentMark = QStringLiteral("//");

// The entry field of the selection window starts with this text when the book offers nothing.
const QString kDefaultFieldText = QStringLiteral("1 // ");

QString withoutLeadingSpaces(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == QLatin1Char(' '))
        ++i;
    return text.mid(i);
}

QString withoutOuterSpaces(const QString& text) {
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return withoutLeadingSpaces(text.left(end));
}

} // namespace

std::optional<int> parseAddress(const QString& line) {
    const QString number = removeSpaces(line.left(line.indexOf(kCommentMark)));
    // Digits only: a sign, a point or a letter makes the line a comment line.
    if (number.isEmpty() || number.size() > 9) return std::nullopt;
    for (const QChar c : number)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
    const int address = number.toInt();
    if (address < kMinDeviceAddress || address > kMaxDeviceAddress) return std::nullopt;
    return address;
}

QString addressBookPath(const DataRoot& root, int languageIndex) {
    return root.file(folder::Work, languageIndex == kRussian ? QStringLiteral("FlAdrCr.000")
                                                             : QStringLiteral("uaFlAdrCr.000"));
}

QString phoneBookPath(const DataRoot& root) {
    return root.file(folder::Work, QStringLiteral("FlInPh.000"));
}

BookLines readBook(const QString& path, const QStringList& newLines) {
    BookLines book;
    if (!QFileInfo::exists(path)) {
        book.writeFailed = !writeTextLines(path, newLines);
        book.lines = newLines;
        return book;
    }
    book.lines = readTextLines(path).value_or(QStringList());
    return book;
}

AddressOffer offerAddresses(const DataRoot& root, int languageIndex, const QString& selectedEntry,
                            const QStringList& newBookLines) {
    AddressOffer offer;
    offer.path = addressBookPath(root, languageIndex);
    const BookLines book = readBook(offer.path, newBookLines);
    offer.writeFailed = book.writeFailed;
    for (const QString& line : book.lines)
        if (parseAddress(line)) offer.entries.append(line);
    if (!selectedEntry.isEmpty())
        offer.fieldText = selectedEntry;
    else if (!offer.entries.isEmpty())
        offer.fieldText = offer.entries.first();
    else
        offer.fieldText = kDefaultFieldText;
    return offer;
}

std::optional<QString> findOfferedEntry(const QStringList& entries, const QString& text) {
    if (entries.contains(text)) return text;
    // A bare address ("3", " 1 4") names the first entry with that address; a text with a comment has to
    // be the entry itself.
    if (text.contains(kCommentMark)) return std::nullopt;
    const auto address = parseAddress(text);
    if (!address) return std::nullopt;
    for (const QString& entry : entries)
        if (parseAddress(entry) == address) return entry;
    return std::nullopt;
}

EntryFields splitEntry(const QString& entry) {
    const qsizetype mark = entry.indexOf(kCommentMark);
    if (mark < 0) return {withoutOuterSpaces(entry), QString()};
    return {withoutOuterSpaces(entry.left(mark)),
            withoutLeadingSpaces(entry.mid(mark + kCommentMark.size()))};
}

QString joinFields(const QString& first, const QString& second) {
    const QString comment = withoutLeadingSpaces(second);
    if (first.isEmpty() && comment.isEmpty()) return QString();
    return first + QStringLiteral(" // ") + comment;
}

EntryEditor::EntryEditor(BookKind kind, DataRoot root, int languageIndex)
    : kind_(kind), root_(std::move(root)),
      path_(kind == BookKind::Addresses ? addressBookPath(root_, languageIndex) : phoneBookPath(root_)) {
    loadEntries({});
}

bool EntryEditor::open(const QStringList& newBookLines) {
    const BookLines book = readBook(path_, newBookLines);
    loadEntries(book.lines);
    select(0);
    return !book.writeFailed;
}

void EntryEditor::select(int index) {
    selected_ = std::clamp(index, 0, static_cast<int>(entries_.size()) - 1);
    fields_ = splitEntry(entries_.at(selected_));
}

void EntryEditor::editFields(const QString& first, const QString& second) {
    fields_ = {first, second};
    entries_[selected_] = joinFields(first, second);
    if (!entries_.last().isEmpty()) entries_.append(QString());
}

PhoneRefusal EntryEditor::refusal() const {
    if (kind_ != BookKind::Phones) return {};
    for (const QString& entry : nonEmptyEntries(-1))
        if (PhoneRefusal refused = checkPhoneField(splitEntry(entry).first.trimmed()); refused.refused())
            return refused;
    return {};
}

bool EntryEditor::save() const {
    return writeTextLines(path_, nonEmptyEntries(-1));
}

bool EntryEditor::deleteSelected() {
    const QStringList kept = nonEmptyEntries(selected_);
    if (!writeTextLines(path_, kept)) return false;
    const int deleted = selected_;
    loadEntries(readTextLines(path_).value_or(kept));
    select(deleted > 0 ? deleted - 1 : 0);
    return true;
}

void EntryEditor::loadEntries(const QStringList& lines) {
    entries_.clear();
    for (const QString& line : lines)
        if (!line.isEmpty()) entries_.append(line);
    // The empty entry at the end is where a new line is typed.
    entries_.append(QString());
    selected_ = 0;
    fields_ = {};
}

QStringList EntryEditor::nonEmptyEntries(int skipped) const {
    QStringList lines;
    for (int i = 0; i < entries_.size(); ++i)
        if (i != skipped && !entries_.at(i).isEmpty()) lines.append(entries_.at(i));
    return lines;
}

} // namespace tarn::link
