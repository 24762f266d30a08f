// The corrector window's model: full read, single-item reads and writes, passwords, block replies,
// field visibility and editability, driven through a link that records its requests.
#include "common/Language.h"
#include "corrector/CorrectorTestSupport.h"
#include "corrector/CorrectorWindowModel.h"
#include "corrector/DeviceValues.h"
#include "corrector/ReadChoice.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::corrector;
using tarn::test::hex;

namespace {

struct Request {
    enum Kind { Item, Write, Page, Restart } kind;
    quint8 code = 0;
    int count = 0;
    QByteArray data;
    bool passwordOp = false;
};

class RecordingLink final : public ParameterLink {
public:
    void readItem(quint8 code, int count) override {
        requests.append({Request::Item, code, count, {}, false});
    }
    void writeItem(quint8 code, const QByteArray& data, bool passwordOp) override {
        requests.append({Request::Write, code, 0, data, passwordOp});
    }
    void readPage(quint16 word) override { requests.append({Request::Page, 0, word, {}, false}); }
    void writeRestart() override { requests.append({Request::Restart, 0, 0, hex("1E E1"), false}); }
    QList<Request> requests;
};

// The parameter memory of a corrector, 192 words, served page by page.
struct Memory {
    QByteArray bytes = QByteArray(192 * 4, '\0');
    void set(int word, const QByteArray& value) { bytes.replace(word * 4, 4, value.leftJustified(4, '\0')); }
    void setFloat(int word, float v) { set(word, floatBytes(v)); }
    void setInt(int word, qint32 v) { set(word, i32Bytes(v)); }
    QByteArray page(int word) const { return bytes.mid(word * 4, 256); }
};

Memory sampleMemory() {
    Memory m;
    m.set(1, hex("0A 00 09 01")); // display time 10, contract hour 9, contract day 1
    m.set(2, hex("80 02 00 00")); // W100 = 1.385, pulse weight 100
    m.set(3, hex("00 03 01 00")); // address 1, 9600 bit/s, computer interface
    m.set(5, hex("00 FD 00 00")); // time correction -3
    m.setFloat(51, 0.68f);
    m.setFloat(45, 0.5f);
    m.setFloat(73, 1.5f);
    m.setFloat(74, 2.25f);
    m.setFloat(81, 10.0f);
    m.setFloat(82, 100.5f);
    m.setFloat(90, 1000.25f);
    m.setInt(97, 12345);
    m.setInt(99, 1234);
    m.setInt(100, 54321);
    m.set(105, QByteArray("G65 "));
    return m;
}

ModelProfile profileFor(char letter, const char* version = "46a") {
    char tag[5] = {letter, version[0], version[1], version[2], 0};
    return DeriveModelProfile(test::identification('A', tag), 1234);
}

struct Window {
    RecordingLink link;
    test::RecordingNotifier notifier;
    link::LinkSettings settings;
    CorrectorWindowModel model;
    QStringList waits;
    int replies = 0;

    explicit Window(int language = kRussian) : model(link, notifier, settings, language) {
        model.afterWriteDelayMs = 0;
        QObject::connect(&model, &CorrectorWindowModel::waitOpened,
                         [this](const QString& c) { waits.append(c); });
        QObject::connect(&model, &CorrectorWindowModel::waitReplied, [this] { ++replies; });
    }

    // Identification, then the three pages and the end of the transfer.
    void fullRead(const ModelProfile& profile, const Memory& memory = sampleMemory()) {
        model.setProfile(profile);
        model.StartFullRead();
        for (int page = 0; page < 3; ++page)
            model.onPageAccepted(quint16(64 * page), memory.page(64 * page));
        model.onFullReadComplete();
        link.requests.clear();
    }
    const Request& last() const { return link.requests.last(); }
};

} // namespace

TEST(WindowModel, FullReadAsksForThreePagesAndStopsTheCounter) {
    Window w;
    w.model.setProfile(profileFor('V'));
    w.model.StartFullRead();
    const Memory m = sampleMemory();
    for (int page = 0; page < 3; ++page)
        w.model.onPageAccepted(quint16(64 * page), m.page(64 * page));
    ASSERT_EQ(w.link.requests.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(w.link.requests[i].kind, Request::Page);
        EXPECT_EQ(w.link.requests[i].count, 64 * i);
    }
    EXPECT_EQ(w.model.state().nextWord, 144);

    // With a coefficient table the counter runs to 185; still three pages.
    Window coef;
    coef.model.setProfile(profileFor('W'));
    coef.model.StartFullRead();
    for (int page = 0; page < 3; ++page)
        coef.model.onPageAccepted(quint16(64 * page), m.page(64 * page));
    EXPECT_EQ(coef.link.requests.size(), 3);
    EXPECT_EQ(coef.model.state().nextWord, 185);
}

TEST(WindowModel, FullReadFillsTheFields) {
    Window w;
    w.fullRead(profileFor('V'));
    EXPECT_EQ(w.model.text(Field::HeaderSerial), QStringLiteral("01234"));
    EXPECT_EQ(w.model.headerCaption(), QStringLiteral("Номер корректора"));
    EXPECT_EQ(w.model.text(Field::Density), QStringLiteral("0.68"));
    EXPECT_EQ(w.model.text(Field::MeterName), QStringLiteral("G65"));
    EXPECT_EQ(w.model.text(Field::StandardHour), QStringLiteral("2.25"));
    EXPECT_EQ(w.model.text(Field::StandardDay), QStringLiteral("102.75"));   // 100.5 + 2.25
    EXPECT_EQ(w.model.text(Field::WorkDay), QStringLiteral("11.5"));         // 10 + 1.5
    EXPECT_EQ(w.model.text(Field::StandardMonth), QStringLiteral("1002.5")); // 1000.25 + 2.25
    EXPECT_EQ(w.model.text(Field::MeterCounter), QStringLiteral("123.45"));  // pulses ÷ 100
    EXPECT_EQ(w.model.text(Field::TimeCorrection), QStringLiteral("-3"));
    EXPECT_EQ(w.model.text(Field::ContractHour), QStringLiteral("09:00"));
    EXPECT_EQ(w.model.text(Field::InterfaceType), QStringLiteral("КОМПЬЮТЕР"));
    EXPECT_EQ(w.model.text(Field::PressureMin), QStringLiteral("0.5"));
    EXPECT_EQ(w.model.caption(Field::PressureMin), QStringLiteral("Давление мин. раб.(кгс/см2)"));
    EXPECT_TRUE(w.model.thermometerW1385());
    EXPECT_EQ(w.model.text(Field::ModelName), QStringLiteral("КВОН-1.02Р "));
}

TEST(WindowModel, HeatCaptionsCarryTheUnitAndVolumesShowMass) {
    Window w;
    Memory m = sampleMemory();
    m.set(6, hex("00 12 00 00")); // GJ, mass accounting
    m.set(7, hex("00 00 00 01")); // argon
    m.setFloat(38, 2.0f);
    w.fullRead(profileFor('V', "47c"), m); // "47c": heat energy, odd code: gas selection
    EXPECT_EQ(w.model.caption(Field::EnergyHour), QStringLiteral("E за час (ГДж)"));
    EXPECT_EQ(w.model.caption(Field::EnergyDay), QStringLiteral("E за день(ГДж)"));
    EXPECT_EQ(w.model.caption(Field::TotalHeat), QStringLiteral("Общая тепл. энергия(ГДж)"));
    EXPECT_EQ(w.model.text(Field::EnergyDay), QStringLiteral("8.3736")); // 2 Gcal × 4.1868
    // Standard volumes in kg of argon; working volumes as stored.
    EXPECT_EQ(w.model.text(Field::StandardDay), QStringLiteral("170.74995")); // 102.75 × 1.6618
    EXPECT_EQ(w.model.text(Field::WorkDay), QStringLiteral("11.5"));
    Window ua(kUkrainian);
    ua.fullRead(profileFor('V', "47c"), m);
    EXPECT_EQ(ua.model.caption(Field::EnergyMonth), QStringLiteral("E за місяць (ГДж)"));
}

TEST(WindowModel, ClearWindowShowsNoData) {
    Window w;
    w.fullRead(profileFor('R'));
    EXPECT_TRUE(w.model.calibrationHeaderShown());
    w.model.SetAccessLevel(3);
    w.model.ClearWindow();
    EXPECT_EQ(w.model.text(Field::Density), QStringLiteral("X"));
    EXPECT_EQ(w.model.text(Field::HeaderSerial), QStringLiteral("X"));
    EXPECT_EQ(w.model.text(Field::Date), QStringLiteral("  .  .    "));
    EXPECT_EQ(w.model.text(Field::Time), QStringLiteral("  :  "));
    EXPECT_EQ(w.model.text(Field::TimeCorrection), QStringLiteral("0"));
    EXPECT_EQ(w.model.text(Field::ContractDay), QStringLiteral("0"));
    EXPECT_FALSE(w.model.calibrationHeaderShown());
    EXPECT_EQ(w.model.state().accessLevel, 0);
    EXPECT_FALSE(w.model.reading().image.isRead(51));
}

TEST(WindowModel, DensityWriteConfirmsSendsAndReadsBack) {
    Window w;
    w.fullRead(profileFor('V'));
    w.model.SetAccessLevel(1);
    w.notifier.answer = true;
    ASSERT_EQ(w.model.enterActionFor(Field::Density), EnterAction::Write);
    w.model.onEnter(Field::Density, QStringLiteral("0.68"));
    ASSERT_EQ(w.notifier.questions.size(), 1);
    EXPECT_EQ(w.notifier.questions[0], QStringLiteral("Плотность газа (кг./м.куб.) \"0.68\" Записать?"));
    ASSERT_EQ(w.link.requests.size(), 1);
    EXPECT_EQ(w.last().kind, Request::Write);
    EXPECT_FALSE(w.last().passwordOp);
    EXPECT_EQ(test::writeFrame(1, w.last().code, w.last().data), hex("82 82 06 D2 04 7B 14 2E 3F 23"));
    EXPECT_EQ(w.waits, QStringList{QStringLiteral("Запись - Плотность газа (кг./м.куб.)")});
    EXPECT_TRUE(w.model.state().pendingIsWrite);

    // The write reply: the item is read back without a wait window of its own.
    w.model.onItemWriteReply();
    ASSERT_EQ(w.link.requests.size(), 2);
    EXPECT_EQ(w.last().kind, Request::Item);
    EXPECT_EQ(w.last().code, 0x82);
    EXPECT_EQ(w.last().count, 6);
    EXPECT_EQ(w.waits.size(), 1);
    w.model.onItemReply(hex("D2 04 7B 14 2E 3F"));
    EXPECT_EQ(w.model.text(Field::Density), QStringLiteral("0.68"));
    EXPECT_EQ(w.model.state().accessLevel, 1);

    // No to the question: nothing is sent.
    w.notifier.answer = false;
    w.model.onEnter(Field::Density, QStringLiteral("0.7"));
    EXPECT_EQ(w.link.requests.size(), 2);
}

TEST(WindowModel, WriteChecksComeInOrder) {
    Window w;
    // Before a full read the header shows "X": no data.
    w.model.SetAccessLevel(1);
    w.model.WriteItem(1, QStringLiteral("0.68"), QStringLiteral("Плотность газа (кг./м.куб.)"));
    EXPECT_EQ(w.notifier.texts(), QStringList{QStringLiteral("Прочитайте \"ПАРАМЕТРЫ КОРРЕКТОРА\" !!!")});
    EXPECT_TRUE(w.link.requests.isEmpty());

    w.fullRead(profileFor('V'));
    w.model.SetAccessLevel(1);
    w.notifier.messages.clear();
    w.model.onEnter(Field::Density, QStringLiteral("1.0511"));
    EXPECT_EQ(w.notifier.texts(),
              QStringList{QStringLiteral("Ошибка набора - Плотность газа (кг./м.куб.) \"1.0511\"")});
    EXPECT_TRUE(w.notifier.questions.isEmpty());
    // Not writable at the level: the write turns into a read.
    w.model.WriteItem(4, QStringLiteral("1"), QStringLiteral("Ксжим"));
    ASSERT_EQ(w.link.requests.size(), 1);
    EXPECT_EQ(w.last().kind, Request::Item);
    EXPECT_EQ(w.last().code, 0x81);
    EXPECT_EQ(w.waits.last(), QStringLiteral("Чтение - Ксжим"));
    // An encoder refusal after the confirmation sends nothing.
    w.notifier.answer = true;
    w.notifier.messages.clear();
    w.model.onEnter(Field::TimeCorrection, QStringLiteral("x"));
    EXPECT_EQ(w.notifier.texts(), QStringList{QStringLiteral("Ошибка набора переменной !")});
    EXPECT_EQ(w.link.requests.size(), 1);
    // Time correction -3 and the address shown as 14.
    w.model.onEnter(Field::TimeCorrection, QStringLiteral("-3"));
    EXPECT_EQ(test::writeFrame(1, w.last().code, w.last().data), hex("82 93 06 D2 04 FD 00 00 00 11"));
    w.model.SetAccessLevel(2);
    w.model.onEnter(Field::Address, QStringLiteral("14"));
    EXPECT_EQ(test::writeFrame(1, w.last().code, w.last().data), hex("82 9B 06 D2 04 0D 00 00 00 F9"));
    // A 5-character text item goes as 5 characters and 27 blanks after 00 00 00 80.
    w.model.SetAccessLevel(3);
    w.model.onEnter(Field::Company, QStringLiteral("GAZ-1"));
    EXPECT_EQ(w.last().code, 0xFB);
    EXPECT_EQ(w.last().data, hex("D2 04 00 00 00 80") + QByteArray("GAZ-1") + QByteArray(27, ' '));
}

TEST(WindowModel, SerialPortSwitchedOffIgnoresWrites) {
    Window w;
    w.fullRead(profileFor('V'));
    w.model.SetAccessLevel(1);
    w.notifier.answer = true;
    w.settings.rsOff = true;
    w.model.onEnter(Field::Density, QStringLiteral("0.68"));
    EXPECT_TRUE(w.link.requests.isEmpty());
    EXPECT_TRUE(w.notifier.messages.isEmpty());
}

TEST(WindowModel, SerialBeyondFiveDigitsIsRefused) {
    Window w;
    Memory m = sampleMemory();
    m.setInt(99, 123456);
    w.fullRead(profileFor('V'), m);
    w.model.SetAccessLevel(1);
    w.notifier.answer = true;
    w.model.onEnter(Field::Density, QStringLiteral("0.68"));
    EXPECT_EQ(w.notifier.texts(), QStringList{QStringLiteral("Ошибка номера корректра !")});
    EXPECT_TRUE(w.link.requests.isEmpty());
}

TEST(WindowModel, EnterInAReadOnlyFieldReadsTheItem) {
    Window w;
    w.fullRead(profileFor('V'));
    EXPECT_EQ(w.model.enterActionFor(Field::Density), EnterAction::Read);
    w.model.onEnter(Field::Notes, QString());
    ASSERT_EQ(w.link.requests.size(), 1);
    EXPECT_EQ(w.last().code, 0xFD);
    EXPECT_EQ(w.last().count, 64);
    EXPECT_TRUE(w.notifier.questions.isEmpty());
    EXPECT_EQ(w.model.enterActionFor(Field::StandardDay), EnterAction::Nothing);

    // In MPa mode the pressure items are not read at all.
    Memory m = sampleMemory();
    m.set(2, hex("02 02 00 00"));
    Window mpa;
    mpa.fullRead(profileFor('V'), m);
    EXPECT_EQ(mpa.model.caption(Field::PressureMin), QStringLiteral("Давление мин. раб.(МПа)"));
    mpa.model.onEnter(Field::PressureMin, QString());
    mpa.model.onEnter(Field::PressureInterval, QString());
    EXPECT_TRUE(mpa.link.requests.isEmpty());
    mpa.model.onEnter(Field::Density, QString());
    EXPECT_EQ(mpa.link.requests.size(), 1);
}

TEST(WindowModel, ItemReplyFromAnotherCorrectorClearsTheWindow) {
    Window w;
    w.fullRead(profileFor('V'));
    w.model.SetAccessLevel(2);
    w.model.ReadItem(1, QStringLiteral("Плотность газа (кг./м.куб.)"));
    w.model.onItemReply(hex("E1 10 7B 14 2E 3F")); // serial 4321
    EXPECT_EQ(w.notifier.messages.size(), 1);
    EXPECT_EQ(w.notifier.messages[0].first, MessageKind::Error);
    EXPECT_EQ(w.notifier.messages[0].second, QStringLiteral("Не совпал номер корректора!"));
    EXPECT_EQ(w.model.text(Field::Density), QStringLiteral("X"));
    EXPECT_EQ(w.model.text(Field::HeaderSerial), QStringLiteral("X"));
    EXPECT_EQ(w.model.state().accessLevel, 0);

    Window ua(kUkrainian);
    ua.fullRead(profileFor('V'));
    ua.model.ReadItem(1, QString());
    ua.model.onItemReply(hex("E1 10 7B 14 2E 3F"));
    EXPECT_EQ(ua.notifier.texts(), QStringList{QStringLiteral("Не співпав номер коректора!")});
}

TEST(WindowModel, ItemReplyRefillsDependentFields) {
    Window w;
    w.fullRead(profileFor('V'));
    // A new pulse weight ("10") changes the meter counter shown.
    w.model.ReadItem(15, QString());
    w.model.onItemReply(hex("D2 04 01 00 00 00"));
    EXPECT_EQ(w.model.text(Field::PulseWeight), QStringLiteral("10"));
    EXPECT_EQ(w.model.text(Field::MeterCounter), QStringLiteral("1234.5"));
    // The clock item fills both date and time.
    w.model.ReadItem(16, QString());
    w.model.onItemReply(hex("D2 04 A0 05 00 00")); // 1440 minutes
    EXPECT_EQ(w.model.text(Field::Date), QStringLiteral("02.01.2000"));
    EXPECT_EQ(w.model.text(Field::Time), QStringLiteral("00:00"));
}

TEST(WindowModel, CalibrationModelsCompareTheCorrectorSerial) {
    Window w;
    w.fullRead(profileFor('R'));
    EXPECT_EQ(w.model.headerCaption(), QStringLiteral("Номер комплекса"));
    EXPECT_EQ(w.model.text(Field::HeaderSerial), QStringLiteral("0054321/01234"));
    w.model.SetAccessLevel(1);
    w.notifier.answer = true;
    w.model.onEnter(Field::Density, QStringLiteral("0.68"));
    ASSERT_EQ(w.link.requests.size(), 1);
    EXPECT_EQ(w.last().data, hex("D2 04 7B 14 2E 3F"));
    w.model.onItemWriteReply();
    w.model.onItemReply(hex("D2 04 7B 14 2E 3F"));
    EXPECT_TRUE(w.notifier.messages.isEmpty());
    EXPECT_EQ(w.model.text(Field::Density), QStringLiteral("0.68"));
    EXPECT_EQ(w.model.text(Field::HeaderSerial), QStringLiteral("0054321/01234"));
}

TEST(WindowModel, PasswordsOpenLevels) {
    Window w;
    // Before a read: refused, nothing sent, no mark.
    EXPECT_FALSE(w.model.EnterPassword(0, QStringLiteral("1234")));
    EXPECT_EQ(w.notifier.texts(), QStringList{QStringLiteral("Прочитайте \"ПАРАМЕТРЫ КОРРЕКТОРА\" !!!")});
    EXPECT_TRUE(w.link.requests.isEmpty());

    w.fullRead(profileFor('V'));
    w.notifier.messages.clear();
    EXPECT_FALSE(w.model.EnterPassword(0, QStringLiteral("123")));
    EXPECT_EQ(w.notifier.texts(), QStringList{QStringLiteral("Пароль неверен !")});
    EXPECT_TRUE(w.link.requests.isEmpty());
    EXPECT_FALSE(w.model.passwordWindowView().confirmationEnabled);

    EXPECT_TRUE(w.model.EnterPassword(0, QStringLiteral("1234")));
    EXPECT_TRUE(w.notifier.questions.isEmpty()); // no confirmation
    ASSERT_EQ(w.link.requests.size(), 1);
    EXPECT_TRUE(w.last().passwordOp);
    EXPECT_EQ(test::writeFrame(1, w.last().code, w.last().data), hex("82 B0 06 D2 04 D2 04 00 00 1B"));
    w.model.onItemWriteReply();
    EXPECT_EQ(w.model.state().accessLevel, 1);
    EXPECT_EQ(w.link.requests.size(), 1); // passwords are not read back
    EXPECT_TRUE(w.model.view(Field::Density).editable);
    EXPECT_FALSE(w.model.view(Field::Compressibility).editable);
    PasswordWindowView v = w.model.passwordWindowView();
    EXPECT_TRUE(v.changeEnabled[0]);
    EXPECT_FALSE(v.changeEnabled[1]);
    EXPECT_TRUE(v.confirmationEnabled);
    EXPECT_FALSE(v.restartEnabled);

    // A rejected password (the engine reports the status) drops the level and the marks.
    w.model.EnterPassword(6, QStringLiteral("9999"));
    w.model.onTransferFailed();
    EXPECT_EQ(w.model.state().accessLevel, 0);
    EXPECT_FALSE(w.model.passwordWindowView().confirmationEnabled);
    EXPECT_FALSE(w.model.RestartCorrector());

    // The verifier: restart enabled; restart goes out once.
    w.link.requests.clear();
    w.model.EnterPassword(6, QStringLiteral("0000"));
    EXPECT_EQ(w.last().code, 0xB6);
    w.model.onItemWriteReply();
    EXPECT_EQ(w.model.state().accessLevel, 4);
    EXPECT_TRUE(w.model.passwordWindowView().restartEnabled);
    EXPECT_TRUE(w.model.RestartCorrector());
    EXPECT_EQ(w.link.requests.size(), 2);
    EXPECT_EQ(w.last().kind, Request::Restart);
    EXPECT_EQ(test::writeFrame(1, 0x00, w.last().data), hex("82 00 02 1E E1 7C"));

    w.model.CloseAccess();
    EXPECT_EQ(w.model.state().accessLevel, 0);
    EXPECT_FALSE(w.model.passwordWindowView().restartEnabled);
}

TEST(WindowModel, PasswordEntryNeedsAFreePort) {
    Window w;
    w.fullRead(profileFor('V'));
    w.model.setPollingRun(true);
    EXPECT_FALSE(w.model.EnterPassword(0, QStringLiteral("1234")));
    w.model.setPollingRun(false);
    w.settings.modemUsed = true;
    EXPECT_FALSE(w.model.EnterPassword(0, QStringLiteral("1234")));
    EXPECT_EQ(w.notifier.texts(), (QStringList{QStringLiteral("Внимание!!!  Порт занят"),
                                               QStringLiteral("Нет соединения с модемом!!!")}));
    w.model.setModemConnected(true);
    EXPECT_TRUE(w.model.EnterPassword(0, QStringLiteral("1234")));
    EXPECT_EQ(w.link.requests.size(), 1);
}

TEST(WindowModel, EachOpenedLevelChangesItsOwnPassword) {
    Window w;
    w.fullRead(profileFor('V'));
    w.model.EnterPassword(3, QStringLiteral("2222")); // master E
    w.model.onItemWriteReply();
    ASSERT_EQ(w.model.state().accessLevel, 2);
    w.link.requests.clear();
    // Only the marked slot changes.
    EXPECT_FALSE(w.model.ChangePassword(0, QStringLiteral("1111"), QStringLiteral("1111")));
    EXPECT_FALSE(w.model.ChangePassword(3, QStringLiteral("1111"), QStringLiteral("1112")));
    EXPECT_EQ(w.notifier.texts(), QStringList{QStringLiteral("Ошибка ввода  !!!")});
    EXPECT_TRUE(w.link.requests.isEmpty());
    // Item 58 is not writable at level 2 in the item table; the change goes out all the same.
    EXPECT_TRUE(w.model.ChangePassword(3, QStringLiteral("1111"), QStringLiteral("1111")));
    ASSERT_EQ(w.link.requests.size(), 1);
    EXPECT_EQ(w.last().code, 0xBB);
    EXPECT_EQ(w.last().data, hex("D2 04 57 04 00 00"));
    w.model.onItemWriteReply();
    EXPECT_EQ(w.link.requests.size(), 1);
    EXPECT_EQ(w.model.state().accessLevel, 2);
}

TEST(WindowModel, ModelExceptionsToEditability) {
    Window coef;
    coef.fullRead(profileFor('W'));
    coef.model.SetAccessLevel(4);
    EXPECT_FALSE(coef.model.view(Field::Qmin).editable);
    EXPECT_FALSE(coef.model.view(Field::Qmax).editable);
    EXPECT_TRUE(coef.model.view(Field::MeterCounter).editable);
    EXPECT_TRUE(coef.model.view(Field::MeterSerial).editable);

    Window calib;
    calib.fullRead(profileFor('R'));
    calib.model.SetAccessLevel(3);
    EXPECT_FALSE(calib.model.view(Field::Qmin).editable);
    EXPECT_FALSE(calib.model.view(Field::Qtrs).editable);
    EXPECT_FALSE(calib.model.view(Field::MeterCounter).editable);
    EXPECT_FALSE(calib.model.view(Field::MeterSerial).editable);
    EXPECT_FALSE(calib.model.view(Field::Typesize).editable);
    EXPECT_FALSE(calib.model.view(Field::PulseCoefficient).editable);
    calib.model.SetAccessLevel(4);
    EXPECT_TRUE(calib.model.view(Field::Qmin).editable);
    EXPECT_TRUE(calib.model.view(Field::MeterSerial).editable);
    EXPECT_TRUE(calib.model.view(Field::Typesize).editable);
    EXPECT_TRUE(calib.model.view(Field::PulseCoefficient).editable);
    EXPECT_FALSE(calib.model.view(Field::MeterCounter).editable);

    Window series2;
    series2.fullRead(profileFor('r'));
    series2.model.SetAccessLevel(3);
    EXPECT_FALSE(series2.model.view(Field::Qmin).editable);
    EXPECT_TRUE(series2.model.view(Field::Qmax).editable);
    EXPECT_TRUE(series2.model.view(Field::MeterCounter).editable);

    Window plain;
    plain.fullRead(profileFor('V'));
    plain.model.SetAccessLevel(3);
    EXPECT_TRUE(plain.model.view(Field::Qmin).editable);
    EXPECT_FALSE(plain.model.view(Field::StandardPressure).editable);
    EXPECT_FALSE(plain.model.view(Field::MessageLanguage).editable); // item 66 at no level
}

TEST(WindowModel, FieldsFollowTheProfile) {
    const ModelProfile plain = profileFor('V', "45a");
    EXPECT_TRUE(isVisibleFor(Field::PressureMin, plain));
    EXPECT_FALSE(isVisibleFor(Field::GaugePressure, plain));
    EXPECT_TRUE(isVisibleFor(Field::PulseWeight, plain));
    EXPECT_FALSE(isVisibleFor(Field::Typesize, plain));
    EXPECT_TRUE(isVisibleFor(Field::Baud2, plain)); // "45a": second port
    EXPECT_FALSE(isVisibleFor(Field::GasName, plain));
    EXPECT_FALSE(isVisibleFor(Field::EnergyHour, plain));
    EXPECT_FALSE(isVisibleFor(Field::MessageLanguage, plain));

    const ModelProfile s2 = profileFor('T');
    EXPECT_TRUE(isVisibleFor(Field::GaugePressure, s2));
    EXPECT_TRUE(isVisibleFor(Field::BaroPressure, s2));
    EXPECT_FALSE(isVisibleFor(Field::PressureMin, s2));
    EXPECT_FALSE(isVisibleFor(Field::PressureConverter, s2));

    const ModelProfile coef = profileFor('W');
    EXPECT_FALSE(isVisibleFor(Field::PulseWeight, coef));
    EXPECT_FALSE(isVisibleFor(Field::Qtrn, coef));
    EXPECT_FALSE(isVisibleFor(Field::QminError, coef));
    EXPECT_FALSE(isVisibleFor(Field::QminSubstitute, coef));
    EXPECT_TRUE(isVisibleFor(Field::Typesize, coef));
    EXPECT_TRUE(isVisibleFor(Field::MeasStandardFlow, coef));
    EXPECT_FALSE(isVisibleFor(Field::PulseCoefficient, coef));

    const ModelProfile calib = profileFor('F');
    EXPECT_TRUE(isVisibleFor(Field::PulseCoefficient, calib));
    EXPECT_TRUE(isVisibleFor(Field::Typesize, calib));
    EXPECT_FALSE(isVisibleFor(Field::Baud2, calib)); // calibration models: no second port

    const ModelProfile heat = profileFor('V', "47c");
    EXPECT_TRUE(isVisibleFor(Field::HeatOfCombustion, heat));
    EXPECT_TRUE(isVisibleFor(Field::EnergyMonth, heat));
    EXPECT_TRUE(isVisibleFor(Field::GasName, heat));
    EXPECT_TRUE(isVisibleFor(Field::MessageLanguage, heat));
    EXPECT_FALSE(isVisibleFor(Field::GasName, profileFor('V', "47b")));

    Window w;
    w.model.setProfile(coef);
    EXPECT_FALSE(w.model.view(Field::PulseWeight).visible);
    EXPECT_EQ(w.model.caption(Field::Typesize), QStringLiteral("Диаметр условного прохода"));
}

TEST(WindowModel, BlockReplies) {
    Window w;
    w.fullRead(profileFor('V'));
    QByteArray clock(32, '\0');
    clock[1] = 5;
    clock[2] = 14;
    clock[3] = 9;
    clock[4] = 3;
    clock[5] = 24;
    w.model.onBlockReply(14, clock);
    EXPECT_EQ(w.model.text(Field::Date), QStringLiteral("09.03.2024"));
    EXPECT_EQ(w.model.text(Field::Time), QStringLiteral("14:05"));
    w.model.onBlockReply(16, floatBytes(3.6f) + QByteArray(28, '\0'));
    EXPECT_EQ(w.model.text(Field::MeasBatteryVoltage), QStringLiteral("3.6"));
    QByteArray measurement = floatBytes(1.25f) + floatBytes(20.5f) + QByteArray(38, '\0');
    w.model.onBlockReply(15, measurement);
    EXPECT_EQ(w.model.text(Field::MeasPressure), QStringLiteral("1.25"));
    EXPECT_EQ(w.model.text(Field::MeasTemperature), QStringLiteral("20.5"));
    QByteArray ident = test::identification('A', "V46a").raw();
    ident.replace(1, 5, "BCDEF");
    w.model.onBlockReply(12, ident + QByteArray(16, '\0'));
    EXPECT_EQ(w.model.text(Field::Software), QString::fromLatin1(ident.left(29)));
}

TEST(WindowModel, DateTimeAndContractHourEditing) {
    Window w;
    const QDateTime now(QDate(2024, 3, 9), QTime(14, 5, 30));
    auto [date, time] =
        w.model.onDateTimeKeyRelease(QStringLiteral("  .  .    "), QStringLiteral("  :  "), now);
    EXPECT_EQ(date, QStringLiteral("09.03.2024"));
    EXPECT_EQ(time, QStringLiteral("14:05"));
    auto [kept, filled] = w.model.onDateTimeKeyRelease(QStringLiteral("01.0"), QString(), now);
    EXPECT_EQ(kept, QStringLiteral("01.0"));
    EXPECT_EQ(filled, QStringLiteral("14:05"));
    EXPECT_EQ(w.model.onContractHourKeyRelease(QString()), QStringLiteral("09:00"));
    EXPECT_EQ(w.model.onContractHourKeyRelease(QStringLiteral("  :  ")), QStringLiteral("09:00"));
    EXPECT_EQ(w.model.onContractHourKeyRelease(QStringLiteral("1")), QStringLiteral("1"));

    // Enter in either field writes item 16 with both.
    w.fullRead(profileFor('V'));
    w.model.SetAccessLevel(3);
    w.notifier.answer = true;
    w.model.onDateTimeKeyRelease(QStringLiteral("02.01.2000"), QStringLiteral("  :  "), now);
    w.model.onEnter(Field::Time, QStringLiteral("00:00"));
    ASSERT_EQ(w.link.requests.size(), 1);
    EXPECT_EQ(w.last().code, 0x94);
    EXPECT_EQ(w.last().data, hex("D2 04 A0 05 00 00"));
    w.link.requests.clear();
    w.model.onEnter(Field::ContractHour, QStringLiteral("09:00"));
    EXPECT_EQ(w.last().code, 0x90);
    EXPECT_EQ(w.last().data, hex("D2 04 09 00 00 00"));
}

TEST(WindowModel, KeyReleaseChecksTheTypedValue) {
    Window w;
    w.fullRead(profileFor('V'));
    w.model.SetAccessLevel(1);
    EXPECT_EQ(w.model.fieldCheck(Field::Density, QStringLiteral("1.2")), CheckResult::valueAbove);
    EXPECT_EQ(w.model.fieldCheck(Field::Density, QStringLiteral("0.5")), CheckResult::valueBelow);
    EXPECT_EQ(w.model.fieldCheck(Field::Density, QStringLiteral("0.6")), CheckResult::valueOk);
    EXPECT_EQ(w.model.fieldCheck(Field::Density, QStringLiteral("x")), CheckResult::valueSyntax);
    EXPECT_EQ(w.model.fieldCheck(Field::Density, QStringLiteral(" ")), CheckResult::valueSyntax);
    // Read-only fields and items that are not numbers are not judged.
    EXPECT_EQ(w.model.fieldCheck(Field::Company, QStringLiteral("any text")), CheckResult::valueOk);
    w.model.SetAccessLevel(0);
    EXPECT_EQ(w.model.fieldCheck(Field::Density, QStringLiteral("x")), CheckResult::valueOk);
}

TEST(WindowModel, GaugeAndBarometricPressureInThePanelUnits) {
    Window w;
    Memory m = sampleMemory();
    m.setFloat(66, 0.0123f);
    m.setFloat(67, 1.0332f);
    w.fullRead(profileFor('T'), m);
    EXPECT_EQ(w.model.text(Field::GaugePressure), QStringLiteral("0.0123"));
    w.model.setGaugeUnit(GaugeUnit::CmWater);
    EXPECT_EQ(w.model.text(Field::GaugePressure), QStringLiteral("12.3"));
    w.model.setBaroUnit(BaroUnit::MmHg);
    EXPECT_EQ(w.model.text(Field::BaroPressure), QStringLiteral("760"));

    // Typed in the panel's unit, checked and written in kgf/cm².
    w.model.SetAccessLevel(2);
    w.notifier.answer = true;
    EXPECT_EQ(w.model.fieldCheck(Field::GaugePressure, QStringLiteral("20000")), CheckResult::valueAbove);
    w.model.onEnter(Field::GaugePressure, QStringLiteral("20"));
    ASSERT_EQ(w.link.requests.size(), 1);
    EXPECT_EQ(w.last().code, 0x85);
    EXPECT_EQ(w.last().data, hex("D2 04") + floatBytes(0.02f));
    w.model.onEnter(Field::BaroPressure, QStringLiteral("750"));
    ASSERT_EQ(w.link.requests.size(), 2);
    EXPECT_EQ(w.last().data, hex("D2 04") + floatBytes(static_cast<float>(750 * 0.0013595)));
    w.model.setGaugeUnit(GaugeUnit::Mpa);
    w.model.onEnter(Field::GaugePressure, QStringLiteral("0.1"));
    EXPECT_EQ(w.last().data, hex("D2 04") + floatBytes(static_cast<float>(0.1 * 10.19716)));
}

TEST(WindowModel, PagesCycleWithF5) {
    EXPECT_EQ(NextPage(0), 1);
    EXPECT_EQ(NextPage(8), 0);
    EXPECT_EQ(PageCaption(1, kRussian), QStringLiteral("СЧЕТЧИК"));
    EXPECT_EQ(PageCaption(8, kUkrainian), QStringLiteral("ВЕРС. ПЗ"));
}

TEST(ReadChoice, BoxesFollowTheSettingsLine) {
    const ReadChoiceBoxes boxes = ReadChoiceBoxes::fromLine(QStringLiteral("1000000010001"));
    EXPECT_TRUE(boxes.ticked[0]);
    EXPECT_TRUE(boxes.ticked[8]);
    EXPECT_TRUE(boxes.ticked[12]);
    EXPECT_FALSE(boxes.ticked[1]);
    EXPECT_EQ(boxes.toLine(), QStringLiteral("1000000010001"));
    EXPECT_EQ(ReadChoiceBoxes::fromLine(QStringLiteral("11")).toLine(), QStringLiteral("1100000000000"));
    // Box 9 "ПИТАНИЕ" is kind 16, box 10 "ТЕКУЩИЙ ЗАМЕР" kind 15.
    EXPECT_EQ(ReadChoiceBoxes::caption(8, kRussian), QStringLiteral("ПИТАНИЕ"));
    EXPECT_EQ(ReadChoiceBoxes::kind(8), 16);
    EXPECT_EQ(ReadChoiceBoxes::kind(9), 15);
    EXPECT_EQ(ReadChoiceBoxes::caption(4, kRussian), QStringLiteral("АРХИВ  ВМЕШАТЕЛЬСТВ"));
    EXPECT_FALSE(ReadChoiceBoxes::visible(11));
    EXPECT_TRUE(ReadChoiceBoxes::visible(10));
}
