// The corrector address book: which lines are addresses, what the selection offers, how a choice reaches
// the request frames and how long it lasts, and the editor of the address and phone books. The same file
// holds the windows' tests, built into the link window test program (TARN_TEST_WIDGETS).
#include "common/Language.h"
#include "common/TextFile.h"
#include "corrector/LinkTexts.h"
#include "link/AddressBook.h"
#include "link/windows/AddressBookTexts.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::link;

namespace {

// The acceptance book: two address lines among lines that are not.
const QStringList kMixedBook = {QStringLiteral("3 // a"), QStringLiteral("15 // b"), QStringLiteral("0//"),
                                QStringLiteral("plain"), QStringLiteral(" 1 4 // c")};

void writeBook(const test::TempHome& home, int language, const QStringList& lines) {
    ASSERT_TRUE(writeTextLines(addressBookPath(home.root(), language), lines));
}

} // namespace

#ifndef TARN_TEST_WIDGETS

#include "common/Cp1251.h"
#include "corrector/CorrectorSession.h"
#include "link/FakeSerialPort.h"
#include "shell/AppContext.h"
#include "shell/Initialisation.h"

namespace {

// A book's bytes as the program writes them: Windows-1251, CR LF.
QByteArray fileBytes(const QStringList& lines) {
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += toCp1251(line) + "\r\n";
    return bytes;
}

// The program's link as Tarn_B builds it, on a fake port that nothing answers.
struct App {
    test::TempHome home;
    test::RecordingNotifier notifier;
    FakeSerialPort* port = nullptr;
    std::unique_ptr<shell::AppContext> ctx;
    std::unique_ptr<corrector::CorrectorSession> session;

    App() {
        LinkSettings settings;
        settings.retryCount = 1;
        settings.replyTimeoutMs = 50;
        settings.writeDelayMs = 0;
        EXPECT_TRUE(saveSettings(SettingsFiles(home.root()), settings));
        auto fake = std::make_unique<FakeSerialPort>();
        port = fake.get();
        port->existing = {QStringLiteral("/dev/ttyS0")}; // COM1
        ctx = std::make_unique<shell::AppContext>(home.root(), notifier, std::move(fake));
        ctx->setLanguageIndex(kUkrainian);
        ctx->operationStart().stepIntervalMs = 1;
        shell::runInitialisation(*ctx);
        session = std::make_unique<corrector::CorrectorSession>(
            ctx->engine(), ctx->linkPort(), ctx->settings(), ctx->notifier(), ctx->operationStart(),
            ctx->readRun(), ctx->languageIndex());
    }
    // The first frame of the next identification, which carries the link address in its first byte.
    QByteArray identificationRequest() {
        port->writes.clear();
        session->startOperation(corrector::operation::Parameters);
        const bool sent = test::waitUntil([&] { return !port->writes.isEmpty(); });
        ctx->operationStart().stopIdentification();
        test::waitUntil([&] { return !ctx->operationStart().identifying(); });
        return sent ? port->writes.first() : QByteArray();
    }
};

} // namespace

TEST(AddressBook, AnAddressLineIsAWholeNumberOneToFourteenBeforeItsComment) {
    EXPECT_EQ(parseAddress(QStringLiteral("3 // a")), 3);
    EXPECT_EQ(parseAddress(QStringLiteral(" 1 4 // c")), 14);
    EXPECT_EQ(parseAddress(QStringLiteral("1")), 1);
    EXPECT_EQ(parseAddress(QStringLiteral("7//x//y")), 7);
    for (const char* line : {"15 // b", "0//", "plain", "", "// 3", "+3", "3.0 // d", "-1", "3\t// tab"})
        EXPECT_FALSE(parseAddress(QString::fromUtf8(line))) << line;
}

TEST(AddressBook, OffersOnlyTheAddressLinesAndStartsWithTheFirst) {
    test::TempHome home;
    writeBook(home, kRussian, kMixedBook);
    AddressOffer offer = offerAddresses(home.root(), kRussian, QString(), newAddressBookLines(kRussian));
    EXPECT_EQ(offer.entries, (QStringList{QStringLiteral("3 // a"), QStringLiteral(" 1 4 // c")}));
    EXPECT_EQ(offer.fieldText, QStringLiteral("3 // a"));
    EXPECT_FALSE(offer.writeFailed);
    // An entry chosen earlier in this run is what the field shows, even one the book no longer holds.
    offer = offerAddresses(home.root(), kRussian, QStringLiteral("9 // gone"), newAddressBookLines(kRussian));
    EXPECT_EQ(offer.fieldText, QStringLiteral("9 // gone"));
    // Each language has its own book: the Ukrainian one is new.
    EXPECT_TRUE(offerAddresses(home.root(), kUkrainian, QString(), newAddressBookLines(kUkrainian))
                    .entries.isEmpty());
}

TEST(AddressBook, ANewUkrainianInstallationCreatesItsBookAndOffersNothing) {
    test::TempHome home;
    const AddressOffer offer =
        offerAddresses(home.root(), kUkrainian, QString(), newAddressBookLines(kUkrainian));
    EXPECT_TRUE(offer.entries.isEmpty());
    EXPECT_EQ(offer.fieldText, QStringLiteral("1 // "));
    EXPECT_EQ(home.read(folder::Work, QStringLiteral("uaFlAdrCr.000")),
              fileBytes({QStringLiteral("адреси коректрів у системі"), QStringLiteral("коректор N1")}));
    EXPECT_FALSE(home.exists(folder::Work, QStringLiteral("FlAdrCr.000")));

    offerAddresses(home.root(), kRussian, QString(), newAddressBookLines(kRussian));
    EXPECT_EQ(home.read(folder::Work, QStringLiteral("FlAdrCr.000")),
              fileBytes({QStringLiteral("адреса корректров в системе"), QStringLiteral("корректор N1")}));
}

TEST(AddressBook, ABookThatCannotBeWrittenIsToldAndOneThatCannotBeReadIsKept) {
    QTemporaryDir bare; // no Work folder: nothing can be written there
    const AddressOffer offer =
        offerAddresses(DataRoot(bare.path()), kRussian, QString(), newAddressBookLines(kRussian));
    EXPECT_TRUE(offer.writeFailed);
    EXPECT_EQ(fileNotWrittenText(kRussian, offer.path),
              QStringLiteral("Не удалось записать файл ") + offer.path);

    test::TempHome home;
    const QString path = addressBookPath(home.root(), kRussian);
    QDir().mkpath(path); // something that is no readable book stands where the book should be
    EXPECT_FALSE(readBook(path, newAddressBookLines(kRussian)).writeFailed);
    EXPECT_TRUE(QFileInfo(path).isDir());
}

TEST(AddressBook, TheCommandLineNamesAnEntryOrItsAddress) {
    const QStringList offered = {QStringLiteral("3 // a"), QStringLiteral(" 1 4 // c"),
                                 QStringLiteral("3 // b")};
    EXPECT_EQ(findOfferedEntry(offered, QStringLiteral("3 // b")), QStringLiteral("3 // b"));
    EXPECT_EQ(findOfferedEntry(offered, QStringLiteral("3")), QStringLiteral("3 // a"));
    EXPECT_EQ(findOfferedEntry(offered, QStringLiteral("14")), QStringLiteral(" 1 4 // c"));
    EXPECT_FALSE(findOfferedEntry(offered, QStringLiteral("3 // x")));
    EXPECT_FALSE(findOfferedEntry(offered, QStringLiteral("5")));
    EXPECT_FALSE(findOfferedEntry(offered, QStringLiteral("plain")));
}

TEST(AddressBook, LoadingTheBookLeavesTheLinkAddressAloneAndAChoiceSetsIt) {
    App app;
    writeBook(app.home, kUkrainian, kMixedBook);
    offerAddresses(app.ctx->root(), kUkrainian, app.ctx->selectedEntry(), newAddressBookLines(kUkrainian));
    // The book's last address line is 14: loading it must not have made that the link address.
    EXPECT_EQ(app.ctx->engine().settings().deviceAddress, 1);
    EXPECT_EQ(app.ctx->configuredAddress, 1);
    EXPECT_EQ(app.identificationRequest(), test::hex("02 00 20 DD"));

    EXPECT_FALSE(app.ctx->chooseAddress(QStringLiteral("plain")));
    EXPECT_EQ(app.ctx->engine().settings().deviceAddress, 1);
    EXPECT_TRUE(app.ctx->selectedEntry().isEmpty());

    ASSERT_TRUE(app.ctx->chooseAddress(QStringLiteral("3 // a")));
    EXPECT_EQ(app.ctx->configuredAddress, 3);
    EXPECT_EQ(app.ctx->selectedEntry(), QStringLiteral("3 // a"));
    EXPECT_EQ(app.identificationRequest(), test::hex("06 00 20 D9"));
    EXPECT_EQ(
        offerAddresses(app.ctx->root(), kUkrainian, app.ctx->selectedEntry(), newAddressBookLines(kUkrainian))
            .fieldText,
        QStringLiteral("3 // a"));
}

TEST(AddressBook, SavingTheSettingsBringsTheAddressBackToOneAndForgetsTheChoice) {
    App app;
    ASSERT_TRUE(app.ctx->chooseAddress(QStringLiteral(" 1 4 // c")));
    EXPECT_EQ(app.ctx->engine().settings().deviceAddress, 14);
    shell::runInitialisation(*app.ctx); // what "СОХРАНИТЬ" in the settings window runs
    EXPECT_EQ(app.ctx->engine().settings().deviceAddress, 1);
    EXPECT_EQ(app.ctx->configuredAddress, 1);
    EXPECT_TRUE(app.ctx->selectedEntry().isEmpty());
    EXPECT_EQ(app.identificationRequest(), test::hex("02 00 20 DD"));
}

TEST(EntryEditor, SplitsAnEntryIntoItsFieldsAndJoinsThemBack) {
    EXPECT_EQ(splitEntry(QStringLiteral("  3  //   boiler house ")).first, QStringLiteral("3"));
    EXPECT_EQ(splitEntry(QStringLiteral("  3  //   boiler house ")).second, QStringLiteral("boiler house "));
    EXPECT_EQ(splitEntry(QStringLiteral("5//a//b")).second, QStringLiteral("a//b"));
    EXPECT_EQ(splitEntry(QStringLiteral(" plain ")).first, QStringLiteral("plain"));
    EXPECT_TRUE(splitEntry(QStringLiteral(" plain ")).second.isEmpty());
    EXPECT_EQ(joinFields(QStringLiteral("3"), QStringLiteral("  a")), QStringLiteral("3 // a"));
    EXPECT_EQ(joinFields(QStringLiteral("7"), QString()), QStringLiteral("7 // "));
    EXPECT_TRUE(joinFields(QString(), QStringLiteral("  ")).isEmpty());
}

TEST(EntryEditor, EditsWithAnEmptyEntryAtTheEndAndSavesWithoutIt) {
    test::TempHome home;
    writeBook(home, kRussian, {QStringLiteral("3 // a"), QString(), QStringLiteral("plain")});
    EntryEditor editor(BookKind::Addresses, home.root(), kRussian);
    ASSERT_TRUE(editor.open(newBookLines(BookKind::Addresses, kRussian)));
    EXPECT_EQ(editorCaption(BookKind::Addresses, kRussian),
              QStringLiteral("РЕДАКТОР - \"АДРЕСОВ КОРРЕКТОРОВ\""));
    EXPECT_EQ(editor.entries(), (QStringList{QStringLiteral("3 // a"), QStringLiteral("plain"), QString()}));
    EXPECT_EQ(editor.selected(), 0);
    EXPECT_EQ(editor.fields().first, QStringLiteral("3"));
    EXPECT_EQ(editor.fields().second, QStringLiteral("a"));

    // Typing into the empty entry makes it a line and brings a new empty entry.
    editor.select(2);
    editor.editFields(QStringLiteral("9"), QStringLiteral("  pump"));
    EXPECT_EQ(editor.entries(), (QStringList{QStringLiteral("3 // a"), QStringLiteral("plain"),
                                             QStringLiteral("9 // pump"), QString()}));
    editor.select(1);
    editor.editFields(QStringLiteral("4"), QStringLiteral("plain"));
    EXPECT_EQ(editor.entries().size(), 4);

    ASSERT_TRUE(editor.save());
    EXPECT_EQ(
        home.read(folder::Work, QStringLiteral("FlAdrCr.000")),
        fileBytes({QStringLiteral("3 // a"), QStringLiteral("4 // plain"), QStringLiteral("9 // pump")}));
}

TEST(EntryEditor, TheUkrainianTitleKeepsItsLatinLetter) {
    test::TempHome home;
    EXPECT_EQ(editorCaption(BookKind::Addresses, kUkrainian).toUtf8(),
              QByteArray("РЕДАКТОР - \"АДРЕС КОРЕКТОР") + 'I' + QByteArray("В\""));
    EXPECT_EQ(editorCaption(BookKind::Phones, kUkrainian), QStringLiteral("РЕДАКТОР - \"НОМЕР ТЕЛЕФОНУ\""));
}

TEST(EntryEditor, DeletesAfterItsQuestionInBothLanguagesAndSelectsTheEntryBefore) {
    test::TempHome home;
    writeBook(home, kRussian, {QStringLiteral("3 // a"), QStringLiteral("5 //  b"), QStringLiteral("7")});
    EntryEditor editor(BookKind::Addresses, home.root(), kRussian);
    ASSERT_TRUE(editor.open(newBookLines(BookKind::Addresses, kRussian)));
    editor.select(1);
    EXPECT_EQ(deleteQuestion(editor.fields(), kRussian), QStringLiteral("Строку  \"5//b\" Удалить?"));
    ASSERT_TRUE(editor.deleteSelected());
    EXPECT_EQ(editor.entries(), (QStringList{QStringLiteral("3 // a"), QStringLiteral("7"), QString()}));
    EXPECT_EQ(editor.selected(), 0);
    EXPECT_EQ(editor.fields().first, QStringLiteral("3"));
    EXPECT_EQ(home.read(folder::Work, QStringLiteral("FlAdrCr.000")),
              fileBytes({QStringLiteral("3 // a"), QStringLiteral("7")}));
    // The first entry deleted: the new first one is selected.
    ASSERT_TRUE(editor.deleteSelected());
    EXPECT_EQ(editor.selected(), 0);
    EXPECT_EQ(editor.fields().first, QStringLiteral("7"));

    writeBook(home, kUkrainian, {QStringLiteral("3 // a")});
    EntryEditor ua(BookKind::Addresses, home.root(), kUkrainian);
    ASSERT_TRUE(ua.open(newBookLines(BookKind::Addresses, kUkrainian)));
    EXPECT_EQ(deleteQuestion(ua.fields(), kUkrainian), QStringLiteral("Рядок \"3//a\" Вилучити?"));
}

TEST(EntryEditor, ThePhoneBookItCreatesStartsWithACommentLine) {
    for (int language : {kUkrainian, kRussian}) {
        test::TempHome home;
        EntryEditor editor(BookKind::Phones, home.root(), language);
        ASSERT_TRUE(editor.open(newBookLines(BookKind::Phones, language)));
        EXPECT_EQ(home.read(folder::Work, QStringLiteral("FlInPh.000")),
                  fileBytes({QStringLiteral("//справочник телефонов")}));
        // A comment only: no number in its first field.
        EXPECT_TRUE(editor.fields().first.isEmpty());
        EXPECT_EQ(editor.fields().second, QStringLiteral("справочник телефонов"));
        EXPECT_EQ(editor.path(), phoneBookPath(home.root()));
    }
}

TEST(EntryEditor, AFileThatCannotBeWrittenIsTold) {
    QTemporaryDir bare; // no Work folder
    EntryEditor editor(BookKind::Addresses, DataRoot(bare.path()), kRussian);
    EXPECT_FALSE(editor.open(newBookLines(BookKind::Addresses, kRussian)));
    EXPECT_EQ(editor.entries().size(), 3); // the new book's two lines are shown all the same
    EXPECT_FALSE(editor.save());
    const QStringList before = editor.entries();
    EXPECT_FALSE(editor.deleteSelected());
    EXPECT_EQ(editor.entries(), before);
}

#else // the windows

#include "link/windows/TAdrCr.h"
#include "link/windows/TEditorAdrM.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace {

void releaseKeyIn(QLineEdit* edit) {
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier);
    QCoreApplication::sendEvent(edit, &release);
}

} // namespace

TEST(AddressWindows, TheSelectionChoosesAnAddressLineAndRefusesAnythingElse) {
    test::TempHome home;
    writeBook(home, kRussian, kMixedBook);
    test::RecordingNotifier notifier;
    QStringList calls;
    TAdrCr::Hooks hooks;
    hooks.resetCorrectorWindow = [&] { calls.append(QStringLiteral("reset")); };
    hooks.chooseAddress = [&](const QString& entry) { calls.append(entry); };
    TAdrCr window(home.root(), kRussian, QString(), notifier, hooks);
    window.loadDelayMs = 1;
    window.show();
    ASSERT_TRUE(test::waitUntil([&] { return window.loaded(); }));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("ВЫБОР АДРЕСА КОРРЕКТОРА"));
    EXPECT_EQ(window.exitAction()->text(), QStringLiteral("ВЫХОД"));
    ASSERT_EQ(window.entryBox()->count(), 2);
    EXPECT_EQ(window.entryBox()->itemText(1), QStringLiteral(" 1 4 // c"));
    EXPECT_EQ(window.entryBox()->currentText(), QStringLiteral("3 // a"));

    window.entryBox()->setEditText(QStringLiteral("plain"));
    window.exitAction()->trigger();
    EXPECT_EQ(notifier.texts(), QStringList{QStringLiteral("Адрес корректора определен неверно !!!")});
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(calls.isEmpty());

    // Enter in the entry field: the corrector window is reset before the link takes the address.
    window.entryBox()->setEditText(QStringLiteral(" 1 4 // c"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(window.entryBox(),
                                &enter); // the box has the focus and hands keys to its field
    EXPECT_EQ(calls, (QStringList{QStringLiteral("reset"), QStringLiteral(" 1 4 // c")}));
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_FALSE(window.isVisible());
}

TEST(AddressWindows, TheSelectionShowsTheEarlierChoiceInUkrainian) {
    test::TempHome home;
    test::RecordingNotifier notifier;
    TAdrCr window(home.root(), kUkrainian, QStringLiteral("5 // x"), notifier, {});
    window.loadDelayMs = 1;
    window.show();
    ASSERT_TRUE(test::waitUntil([&] { return window.loaded(); }));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("ВИБІР АДРЕСИ КОРЕКТОРА"));
    EXPECT_EQ(window.exitAction()->text(), QStringLiteral("ВИХІД"));
    EXPECT_EQ(window.entryBox()->count(), 0);
    EXPECT_EQ(window.entryBox()->currentText(), QStringLiteral("5 // x"));
    window.entryBox()->setEditText(QStringLiteral("коректор N1"));
    window.exitAction()->trigger();
    EXPECT_EQ(notifier.texts(), QStringList{QStringLiteral("Адреса коректора визначено неправильно !!!")});
}

TEST(AddressWindows, TheEditorRewritesTheEntryOnAKeyReleaseAndSaves) {
    test::TempHome home;
    writeBook(home, kRussian, {QStringLiteral("3 // a")});
    test::RecordingNotifier notifier;
    TEditorAdrM window(BookKind::Addresses, home.root(), kRussian, notifier,
                       corrector::correctorLinkWording());
    EXPECT_EQ(window.firstLabel()->text(), QStringLiteral("  АДРЕС "));
    EXPECT_EQ(window.secondLabel()->text(), QStringLiteral("  КОММЕНТАРИЙ"));
    EXPECT_EQ(window.deleteButton()->text(), QStringLiteral("Удалить"));
    EXPECT_EQ(window.saveButton()->text(), QStringLiteral("Сохранить"));
    EXPECT_EQ(window.cancelButton()->text(), QStringLiteral("Отмена"));
    window.openDelayMs = 1;
    window.show();
    ASSERT_TRUE(test::waitUntil([&] { return window.opened(); }));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("РЕДАКТОР - \"АДРЕСОВ КОРРЕКТОРОВ\""));
    EXPECT_EQ(window.firstLabel()->text(), window.windowTitle());
    EXPECT_EQ(window.list()->count(), 2);
    EXPECT_EQ(window.firstEdit()->text(), QStringLiteral("3"));
    EXPECT_EQ(window.secondEdit()->text(), QStringLiteral("a"));

    window.list()->setCurrentRow(1);
    EXPECT_TRUE(window.firstEdit()->text().isEmpty());
    window.firstEdit()->setText(QStringLiteral("6"));
    releaseKeyIn(window.firstEdit());
    ASSERT_EQ(window.list()->count(), 3);
    EXPECT_EQ(window.list()->item(1)->text(), QStringLiteral("6 // "));
    EXPECT_EQ(window.list()->currentRow(), 1);
    window.secondEdit()->setText(QStringLiteral("boiler"));
    releaseKeyIn(window.secondEdit());
    EXPECT_EQ(window.list()->item(1)->text(), QStringLiteral("6 // boiler"));
    EXPECT_EQ(window.list()->count(), 3);

    window.saveButton()->click();
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(readTextLines(addressBookPath(home.root(), kRussian)),
              (QStringList{QStringLiteral("3 // a"), QStringLiteral("6 // boiler")}));
}

TEST(AddressWindows, TheEditorDeletesOnlyAfterYes) {
    test::TempHome home;
    writeBook(home, kUkrainian, {QStringLiteral("3 // a"), QStringLiteral("4 // b")});
    test::RecordingNotifier notifier;
    TEditorAdrM window(BookKind::Addresses, home.root(), kUkrainian, notifier,
                       corrector::correctorLinkWording());
    window.openDelayMs = 1;
    window.show();
    ASSERT_TRUE(test::waitUntil([&] { return window.opened(); }));
    window.list()->setCurrentRow(1);
    window.deleteButton()->click();
    EXPECT_EQ(notifier.questions, QStringList{QStringLiteral("Рядок \"4//b\" Вилучити?")});
    EXPECT_EQ(window.list()->count(), 3);

    notifier.answer = true;
    window.deleteButton()->click();
    EXPECT_EQ(window.list()->count(), 2);
    EXPECT_EQ(window.list()->currentRow(), 0);
    EXPECT_EQ(window.firstEdit()->text(), QStringLiteral("3"));
    EXPECT_EQ(readTextLines(addressBookPath(home.root(), kUkrainian)), QStringList{QStringLiteral("3 // a")});
}

TEST(AddressWindows, ThePhoneEditorCreatesItsBookAndTellsAFileItCannotWrite) {
    test::TempHome home;
    test::RecordingNotifier notifier;
    TEditorAdrM phones(BookKind::Phones, home.root(), kRussian, notifier, corrector::correctorLinkWording());
    phones.openDelayMs = 1;
    phones.show();
    ASSERT_TRUE(test::waitUntil([&] { return phones.opened(); }));
    EXPECT_EQ(phones.windowTitle(), QStringLiteral("РЕДАКТОР - \"НОМЕР ТЕЛЕФОНА\""));
    EXPECT_EQ(readTextLines(phoneBookPath(home.root())),
              QStringList{QStringLiteral("//справочник телефонов")});
    phones.cancelButton()->click();
    EXPECT_EQ(phones.result(), QDialog::Rejected);

    QTemporaryDir bare; // no Work folder
    TEditorAdrM window(BookKind::Addresses, DataRoot(bare.path()), kRussian, notifier,
                       corrector::correctorLinkWording());
    window.openDelayMs = 1;
    window.show();
    ASSERT_TRUE(test::waitUntil([&] { return window.opened(); }));
    const QString told = fileNotWrittenText(kRussian, addressBookPath(DataRoot(bare.path()), kRussian));
    EXPECT_EQ(notifier.texts(), QStringList{told});
    window.saveButton()->click();
    EXPECT_EQ(notifier.texts(), (QStringList{told, told}));
    EXPECT_TRUE(window.isVisible());
}

#endif

TEST(EntryEditor, APhoneBookEntryThatIsNoDialStringIsRefusedBeforeSaving) {
    test::TempHome home;
    EntryEditor editor(BookKind::Phones, home.root(), kRussian);
    ASSERT_TRUE(editor.open(newBookLines(BookKind::Phones, kRussian)));
    EXPECT_FALSE(editor.refusal().refused()); // the comment line has no number
    editor.select(static_cast<int>(editor.entries().size()) - 1);
    editor.editFields(QStringLiteral("5550101;ATZ"), QStringLiteral("котельня"));
    EXPECT_EQ(corrector::correctorLinkWording().phoneRefusal(editor.refusal(), kRussian),
              QStringLiteral("Недопустимый номер телефона \"5550101;ATZ\": символ \";\""));
    editor.editFields(QStringLiteral("555-01-01"), QStringLiteral("котельня"));
    EXPECT_FALSE(editor.refusal().refused());
    // The address book's entries are no numbers.
    EntryEditor addresses(BookKind::Addresses, home.root(), kRussian);
    ASSERT_TRUE(addresses.open(newBookLines(BookKind::Addresses, kRussian)));
    addresses.editFields(QStringLiteral("x;y"), QString());
    EXPECT_FALSE(addresses.refusal().refused());
}
