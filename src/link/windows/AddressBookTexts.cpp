#include "link/windows/AddressBookTexts.h"

namespace tarn::link {

namespace {

const char* const kAddressBookTable[] = {
    "ВИБІР АДРЕСИ КОРЕКТОРА",
    "ВЫБОР АДРЕСА КОРРЕКТОРА",
    "ВИХІД",
    "ВЫХОД",
    "Адреса коректора визначено неправильно !!!",
    "Адрес корректора определен неверно !!!",
    // The Ukrainian title is written with a Latin "I", as the program has always shown it.
    "АДРЕС КОРЕКТОРIВ",
    "АДРЕСОВ КОРРЕКТОРОВ",
    "НОМЕР ТЕЛЕФОНУ",
    "НОМЕР ТЕЛЕФОНА",
    "  АДРЕСА ",
    "  АДРЕС ",
    "  ТЕЛЕФОН ",
    "  ТЕЛЕФОН ",
    "  КОМЕНТАР",
    "  КОММЕНТАРИЙ",
    "Вилучити",
    "Удалить",
    "Зберегти",
    "Сохранить",
    "Скасування",
    "Отмена",
    "Рядок ",
    "Строку  ",
    " Вилучити?",
    " Удалить?",
    "Не вдалося записати файл ",
    "Не удалось записать файл ",
};

} // namespace

const TextPairs kAddressBookTexts = makeTextPairs(kAddressBookTable);

QStringList newAddressBookLines(int languageIndex) {
    return {uaRu(languageIndex, "адреси коректрів у системі", "адреса корректров в системе"),
            uaRu(languageIndex, "коректор N1", "корректор N1")};
}

QStringList newPhoneBookLines() {
    return {QStringLiteral("//справочник телефонов")};
}

QStringList newBookLines(BookKind kind, int languageIndex) {
    return kind == BookKind::Addresses ? newAddressBookLines(languageIndex) : newPhoneBookLines();
}

QString wrongAddressText(int languageIndex) {
    return Text(kAddressBookTexts, kWrongAddress, languageIndex);
}

QString fileNotWrittenText(int languageIndex, const QString& path) {
    return Text(kAddressBookTexts, kFileNotWritten, languageIndex) + path;
}

QString editorCaption(BookKind kind, int languageIndex) {
    const int title = kind == BookKind::Addresses ? kEditorAddressTitle : kEditorPhoneTitle;
    return QStringLiteral("РЕДАКТОР - \"") + Text(kAddressBookTexts, title, languageIndex) + QLatin1Char('"');
}

QString deleteQuestion(const EntryFields& fields, int languageIndex) {
    return Text(kAddressBookTexts, kDeleteQuestionHead, languageIndex) + QLatin1Char('"') + fields.first +
           QStringLiteral("//") + fields.second + QLatin1Char('"') +
           Text(kAddressBookTexts, kDeleteQuestionTail, languageIndex);
}

} // namespace tarn::link
