// The corrector window and its dialogs, offscreen: fields per model, captions, editability, keys.
#include "common/Language.h"
#include "corrector/CorrectorTestSupport.h"
#include "corrector/CorrectorWindowModel.h"
#include "corrector/DeviceValues.h"
#include "corrector/windows/CorrectorFileMenu.h"
#include "corrector/windows/TCorrect.h"
#include "corrector/windows/TInReadCor.h"
#include "corrector/windows/TItemWait.h"
#include "corrector/windows/TParolCr.h"
#include "corrector/windows/TRdWrCor.h"
#include "corrector/windows/TViewDir.h"
#include "corrector/windows/TfSelRead.h"
#include "link/EngineRig.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::corrector;

namespace {

class CountingLink final : public ParameterLink {
public:
    void readItem(quint8 code, int) override { codes.append(code); }
    void writeItem(quint8 code, const QByteArray&, bool) override { codes.append(code); }
    void readPage(quint16) override {}
    void writeRestart() override {}
    QList<quint8> codes;
};

ModelProfile profileFor(char letter, const char* version = "46a") {
    char tag[5] = {letter, version[0], version[1], version[2], 0};
    return DeriveModelProfile(test::identification('A', tag), 1234);
}

struct Fixture {
    test::TempHome home;
    test::RecordingNotifier notifier;
    link::LinkSettings settings;
    link::SettingsFiles files{home.root()};
    CountingLink link;
    CorrectorWindowModel model;
    QList<int> operations;
    bool mayLeave = true;
    std::unique_ptr<TCorrect> window;

    explicit Fixture(int language = kRussian) : model(link, notifier, settings, language) {
        TCorrect::Hooks hooks;
        hooks.startOperation = [this](int code) { operations.append(code); };
        hooks.mayLeave = [this] { return mayLeave; };
        window = std::make_unique<TCorrect>(model, settings, files, notifier, hooks);
    }
    void read(const ModelProfile& profile) {
        model.setProfile(profile);
        QByteArray page(256, '\0');
        page.replace(51 * 4, 4, floatBytes(0.68f));
        model.StartFullRead();
        model.onPageAccepted(0, page);
        QByteArray second(256, '\0');
        second.replace((99 - 64) * 4, 4, i32Bytes(1234));
        model.onPageAccepted(64, second);
        model.onPageAccepted(128, QByteArray(256, '\0'));
        model.onFullReadComplete();
    }
    bool shown(Field f) const { return !window->edit(f)->isHidden(); }
};

void press(QWidget* w, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

} // namespace

TEST(CorrectorWindow, FieldsFollowTheModel) {
    Fixture plain;
    plain.read(profileFor('V'));
    EXPECT_TRUE(plain.shown(Field::PressureMin));
    EXPECT_FALSE(plain.shown(Field::GaugePressure));
    EXPECT_FALSE(plain.shown(Field::PulseCoefficient));
    EXPECT_FALSE(plain.shown(Field::EnergyHour));
    EXPECT_TRUE(plain.window->label(Field::EnergyHour)->isHidden());
    EXPECT_EQ(plain.window->edit(Field::HeaderSerial)->text(), QStringLiteral("01234"));
    EXPECT_EQ(plain.window->edit(Field::Density)->text(), QStringLiteral("0.68"));

    Fixture series2;
    series2.read(profileFor('T'));
    EXPECT_TRUE(series2.shown(Field::GaugePressure));
    EXPECT_TRUE(series2.shown(Field::BaroPressure));
    EXPECT_FALSE(series2.shown(Field::PressureMin));

    Fixture calib;
    calib.read(profileFor('F'));
    EXPECT_TRUE(calib.shown(Field::PulseCoefficient));
    EXPECT_TRUE(calib.shown(Field::Typesize));
    EXPECT_FALSE(calib.shown(Field::Baud2));
    EXPECT_EQ(calib.window->label(Field::HeaderSerial)->text(), QStringLiteral("Номер комплекса"));
    EXPECT_EQ(calib.window->edit(Field::HeaderSerial)->text(), QStringLiteral("0000000/01234"));

    Fixture coef;
    coef.read(profileFor('W'));
    EXPECT_FALSE(coef.shown(Field::PulseWeight));
    EXPECT_TRUE(coef.shown(Field::Baud2)); // second port
    EXPECT_TRUE(coef.shown(Field::MeasStandardFlow));
    EXPECT_EQ(coef.window->label(Field::Typesize)->text(), QStringLiteral("Диаметр условного прохода"));

    Fixture heat;
    heat.read(profileFor('V', "47c"));
    EXPECT_TRUE(heat.shown(Field::EnergyHour));
    EXPECT_TRUE(heat.shown(Field::GasName));
    EXPECT_EQ(heat.window->label(Field::EnergyHour)->text(), QStringLiteral("E за час (Гкал)"));
}

TEST(CorrectorWindow, CaptionsInBothLanguages) {
    Fixture ru;
    EXPECT_EQ(ru.window->tabs()->count(), 9);
    EXPECT_EQ(ru.window->tabs()->tabText(1), QStringLiteral("СЧЕТЧИК"));
    EXPECT_EQ(ru.window->label(Field::Density)->text(), QStringLiteral("Плотность газа (кг./м.куб.)"));
    EXPECT_EQ(ru.window->label(Field::HeaderSerial)->text(), QStringLiteral("Номер корректора"));
    EXPECT_EQ(ru.window->rsMenu()->actions().first()->text(), QStringLiteral("ЧИТАТЬ ВСЕ"));
    Fixture ua(kUkrainian);
    EXPECT_EQ(ua.window->tabs()->tabText(1), QStringLiteral("ЛІЧИЛЬНИК"));
    EXPECT_EQ(ua.window->label(Field::Density)->text(), QStringLiteral("Густина газу (кг./м.куб.)"));
    EXPECT_EQ(ua.window->label(Field::HeaderSerial)->text(), QStringLiteral("Номер коректора"));
    EXPECT_EQ(ua.window->rsMenu()->actions().first()->text(), QStringLiteral("ЧИТАТИ ВСЕ"));
}

TEST(CorrectorWindow, EditabilityFollowsTheLevelAndKeysReachTheModel) {
    Fixture f;
    f.read(profileFor('V'));
    EXPECT_TRUE(f.window->edit(Field::Density)->isReadOnly());
    EXPECT_EQ(f.window->edit(Field::HeaderSerial)->text(), QStringLiteral("01234"));
    f.model.SetAccessLevel(1);
    EXPECT_FALSE(f.window->edit(Field::Density)->isReadOnly());
    EXPECT_TRUE(f.window->edit(Field::Compressibility)->isReadOnly());
    EXPECT_TRUE(f.window->edit(Field::StandardDay)->isReadOnly());

    // Enter in a read-only field reads its item; F5 moves to the next page.
    press(f.window->edit(Field::Compressibility), Qt::Key_Return);
    EXPECT_EQ(f.link.codes, QList<quint8>{0x81});
    f.window->tabs()->setCurrentIndex(8);
    press(f.window->edit(Field::Software), Qt::Key_F5);
    EXPECT_EQ(f.window->tabs()->currentIndex(), 0);
    // A key released in a blank contract-hour field fills 09:00.
    f.window->edit(Field::ContractHour)->clear();
    press(f.window->edit(Field::ContractHour), Qt::Key_0);
    EXPECT_EQ(f.window->edit(Field::ContractHour)->text(), QStringLiteral("09:00"));
    // The "RS-232" menu hands over operation codes.
    f.window->rsMenu()->actions().at(2)->trigger();
    EXPECT_EQ(f.operations, QList<int>{2});
}

TEST(CorrectorWindow, ChannelSettingsChooseTheReadItems) {
    Fixture f;
    link::LinkSettings s;
    s.rsOff = true;
    s.lptOff = true;
    f.window->applyChannelSettings(s);
    EXPECT_FALSE(f.window->rsMenu()->menuAction()->isVisible());
    EXPECT_FALSE(f.window->modemMenu()->menuAction()->isVisible());
    EXPECT_FALSE(f.window->lptAction()->isVisible());
    s.rsOff = false;
    s.modemUsed = true;
    s.lptOff = false;
    f.window->applyChannelSettings(s);
    EXPECT_TRUE(f.window->rsMenu()->menuAction()->isVisible());
    EXPECT_TRUE(f.window->modemMenu()->menuAction()->isVisible());
    EXPECT_TRUE(f.window->lptAction()->isVisible());
}

TEST(CorrectorWindow, WaitWindowStepsAndClosesAfterTheReply) {
    TItemWait wait;
    wait.stepMs = 5;
    wait.closeDelayMs = 10;
    wait.start(QStringLiteral("Чтение - Ксжим"));
    EXPECT_TRUE(wait.isVisible());
    // The step and close timers are the window's own, shortened above: the test waits for what they do.
    test::waitUntil([&] { return wait.progress() > 0; });
    EXPECT_GT(wait.progress(), 0);
    wait.replied();
    EXPECT_TRUE(wait.isVisible());
    test::waitUntil([&] { return !wait.isVisible(); });
    EXPECT_FALSE(wait.isVisible());
    EXPECT_EQ(wait.caption(), QStringLiteral("Чтение - Ксжим"));
}

TEST(CorrectorWindow, PasswordWindowEnablesTheMarkedChange) {
    Fixture f;
    f.read(profileFor('V'));
    {
        TParolCr window(f.model, {});
        EXPECT_FALSE(window.change(6)->isEnabled());
        EXPECT_FALSE(window.confirmation()->isEnabled());
        EXPECT_FALSE(window.restartButton()->isEnabled());
        window.entry(6)->setText(QStringLiteral("0000"));
        press(window.entry(6), Qt::Key_Return);
        EXPECT_EQ(f.link.codes, QList<quint8>{0xB6});
    }
    f.model.afterWriteDelayMs = 0;
    f.model.onItemWriteReply();
    TParolCr reopened(f.model, {});
    EXPECT_TRUE(reopened.change(6)->isEnabled());
    EXPECT_FALSE(reopened.change(0)->isEnabled());
    EXPECT_TRUE(reopened.confirmation()->isEnabled());
    EXPECT_TRUE(reopened.restartButton()->isEnabled());
}

TEST(CorrectorWindow, ReadSelectionStoresLineEight) {
    Fixture f;
    f.settings.readChoice = QStringLiteral("1000000000000");
    TInReadCor dialog(f.settings, f.files, f.notifier, kRussian);
    EXPECT_TRUE(dialog.box(0)->isChecked());
    EXPECT_TRUE(dialog.box(12)->isHidden());
    EXPECT_EQ(dialog.box(8)->text(), QStringLiteral("ПИТАНИЕ"));
    dialog.box(8)->setChecked(true);
    dialog.box(0)->setChecked(false);
    dialog.save();
    EXPECT_EQ(f.settings.readChoice, QStringLiteral("0000000010000"));
    EXPECT_EQ(f.notifier.texts(), QStringList{QStringLiteral("Установки сохранены")});
    link::LinkSettings reread;
    ASSERT_EQ(link::loadSettings(f.files, reread), link::LoadResult::Loaded);
    EXPECT_EQ(reread.readChoice, QStringLiteral("0000000010000"));
}

TEST(CorrectorWindow, KeyReleaseColoursTheFieldByItsCheck) {
    Fixture f;
    f.read(profileFor('V'));
    f.model.SetAccessLevel(1);
    QLineEdit* density = f.window->edit(Field::Density);
    auto colourAfterTyping = [&](const char* text) {
        density->setFocus();
        density->setText(QString::fromLatin1(text));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_0, Qt::NoModifier);
        QApplication::sendEvent(density, &release);
        return density->palette().color(QPalette::Text);
    };
    EXPECT_EQ(colourAfterTyping("1.2"), QColor(0, 255, 0)); // above 1.051: lime
    EXPECT_EQ(colourAfterTyping("0.5"), QColor(Qt::blue));
    EXPECT_EQ(colourAfterTyping("x"), QColor(Qt::red));
    EXPECT_EQ(colourAfterTyping("0.6"), QGuiApplication::palette().color(QPalette::WindowText));
}

TEST(CorrectorWindow, PressurePanelsShowTheChosenUnit) {
    Fixture f;
    f.model.setProfile(profileFor('T'));
    QByteArray page(256, '\0');
    page.replace((66 - 64) * 4, 4, floatBytes(0.0123f));
    page.replace((67 - 64) * 4, 4, floatBytes(1.0332f));
    page.replace((99 - 64) * 4, 4, i32Bytes(1234));
    f.model.StartFullRead();
    f.model.onPageAccepted(0, QByteArray(256, '\0'));
    f.model.onPageAccepted(64, page);
    f.model.onPageAccepted(128, QByteArray(256, '\0'));
    f.model.onFullReadComplete();
    QLineEdit* gauge = f.window->edit(Field::GaugePressure);
    ASSERT_TRUE(f.window->gaugeUnitButton(GaugeUnit::CmWater)->isVisibleTo(f.window.get()));
    EXPECT_TRUE(f.window->gaugeUnitButton(GaugeUnit::KgfCm2)->isChecked());
    EXPECT_EQ(gauge->text(), QStringLiteral("0.0123"));
    EXPECT_EQ(f.window->gaugeUnitButton(GaugeUnit::CmWater)->text(), QStringLiteral("см вод.ст."));
    f.window->gaugeUnitButton(GaugeUnit::CmWater)->click();
    EXPECT_EQ(gauge->text(), QStringLiteral("12.3"));
    f.window->gaugeUnitButton(GaugeUnit::Mpa)->click();
    EXPECT_EQ(gauge->text(), QStringLiteral("0.00121"));
    f.window->baroUnitButton(BaroUnit::MmHg)->click();
    EXPECT_EQ(f.window->edit(Field::BaroPressure)->text(), QStringLiteral("760"));
    EXPECT_EQ(f.window->baroUnitButton(BaroUnit::MmHg)->text(), QStringLiteral("мм рт.ст."));

    // A corrector without the panels has no unit buttons to show.
    Fixture plain;
    plain.read(profileFor('V'));
    EXPECT_FALSE(plain.window->gaugeUnitButton(GaugeUnit::CmWater)->isVisibleTo(plain.window.get()));
}

TEST(CorrectorWindow, ArchiveTablesShowTheRowsRead) {
    Fixture f;
    f.read(profileFor('V'));
    ASSERT_EQ(f.window->archiveTabs()->count(), kArchiveCount);
    EXPECT_EQ(f.window->archiveTabs()->tabText(0), QStringLiteral("ЧАСОВОЙ"));
    EXPECT_EQ(f.window->archiveTabs()->tabText(4), QStringLiteral("ВМЕШАТЕЛЬСТВ"));
    QAbstractItemModel* hourly = f.window->archiveView(Archive::Hourly)->model();
    EXPECT_EQ(hourly->rowCount(), 0);
    EXPECT_EQ(hourly->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Vраб(м.куб)"));
    f.model.archives().setRow(Archive::Hourly, 0, {"00000", "01.03.2024", "01:00", "10.00"});
    f.model.archives().setRow(Archive::Hourly, 1, {"00001"});
    f.model.archives().setRow(Archive::Hourly, 2, {"00002", "01.03.2024", "03:00", "10.00"});
    f.model.archivePageTaken(Archive::Hourly);
    ASSERT_EQ(hourly->rowCount(), 3);
    EXPECT_EQ(hourly->data(hourly->index(2, 2)).toString(), QStringLiteral("03:00"));
    EXPECT_TRUE(hourly->data(hourly->index(1, 2)).toString().isEmpty());

    // "КОНТРОЛЬ ДЫРОК" writes the missing records: "Часовой ном.зап.1" in Windows-1251.
    f.window->gapsAction()->trigger();
    EXPECT_EQ(f.home.read(folder::Current, QStringLiteral("ErrGr.000")),
              QByteArray("\xd7\xe0\xf1\xee\xe2\xee\xe9 \xed\xee\xec.\xe7\xe0\xef.1\r\n"));
    // A new read starts with empty tables.
    f.model.ClearWindow();
    EXPECT_EQ(hourly->rowCount(), 0);
}

TEST(CorrectorWindow, TheSelectiveReadWindowShowsItsPeriod) {
    TfSelRead dialog(kRussian, QDateTime(QDate(2024, 3, 10), QTime(14, 5)));
    EXPECT_EQ(dialog.days(), 1);
    EXPECT_EQ(dialog.startLabel()->text(), QStringLiteral("09.03.2024"));
    dialog.daysBox()->setValue(40);
    EXPECT_EQ(dialog.startLabel()->text(), QStringLiteral("30.01.2024"));
    dialog.daysBox()->setValue(41);
    EXPECT_EQ(dialog.days(), 40);
    EXPECT_EQ(dialog.yesButton()->text(), QStringLiteral("ДА"));
}

TEST(CorrectorWindow, F3GoesToTheNewestRecordAndF4EnlargesTheTables) {
    Fixture f;
    f.model.setProfile(profileFor('V'));
    QByteArray page(256, '\0');
    page[16 * 4 + 2] = 6; // the hourly pointer: record 6
    f.model.StartFullRead();
    f.model.onPageAccepted(0, page);
    QByteArray second(256, '\0');
    second.replace((99 - 64) * 4, 4, i32Bytes(1234));
    f.model.onPageAccepted(64, second);
    f.model.onPageAccepted(128, QByteArray(256, '\0'));
    f.model.onFullReadComplete();
    for (int i = 0; i < 10; ++i)
        f.model.archives().setRow(Archive::Hourly, i,
                                  {QStringLiteral("%1").arg(i + 2, 5, 10, QLatin1Char('0'))});
    f.model.archivePageTaken(Archive::Hourly);
    QTableView* view = f.window->archiveView(Archive::Hourly);
    QKeyEvent f3(QEvent::KeyPress, Qt::Key_F3, Qt::NoModifier);
    QApplication::sendEvent(view, &f3);
    EXPECT_EQ(view->currentIndex().row(), 4); // record 6 is the fifth row, the first being record 2
    // A pointer before the first row moves nothing.
    f.model.archives().setRow(Archive::Hourly, 0, {QStringLiteral("00007")});
    EXPECT_FALSE(f.model.newestRecordRow(Archive::Hourly).has_value());

    EXPECT_FALSE(f.window->tabs()->isHidden());
    QKeyEvent f4(QEvent::KeyPress, Qt::Key_F4, Qt::NoModifier);
    QApplication::sendEvent(view, &f4);
    EXPECT_TRUE(f.window->tabs()->isHidden());
    EXPECT_TRUE(f.window->tablesEnlarged());
    QApplication::sendEvent(view, &f4);
    EXPECT_FALSE(f.window->tabs()->isHidden());
}

TEST(CorrectorWindow, TheReadWindowShowsWhetherItReadsToTheEmptyLine) {
    test::EngineRig rig;
    link::LinkSettings settings;
    ReadRun run(rig.engine, settings);
    TRdWrCor window(run);
    run.readToEmptyLine = false; // a selective read
    run.open(read_kind::Selective);
    EXPECT_FALSE(window.emptyLineBox()->isChecked());
    run.readToEmptyLine = true; // its daily part is over
    run.stepGauge();
    EXPECT_TRUE(window.emptyLineBox()->isChecked());
    window.emptyLineBox()->setChecked(false); // the user's own choice reaches the run
    EXPECT_FALSE(run.readToEmptyLine);
}

TEST(CorrectorWindow, AModemCallShowsItsLabelAndKeepsTheWindowUntilItIsDropped) {
    Fixture f;
    f.window->show();
    EXPECT_FALSE(f.window->modemDropAction()->isVisible());
    f.window->showModemConnection(QStringLiteral("Установлено соединение с  -  \"5551234\""));
    EXPECT_TRUE(f.window->modemLabel()->isVisibleTo(f.window.get()));
    EXPECT_TRUE(f.window->modemDropAction()->isVisible());
    // The program says no while the modem is still on the line: the window stays.
    f.mayLeave = false;
    f.window->accept();
    EXPECT_TRUE(f.window->isVisible());
    f.mayLeave = true;
    f.window->showModemConnection(QString());
    EXPECT_FALSE(f.window->modemDropAction()->isVisible());
    f.window->accept();
    EXPECT_FALSE(f.window->isVisible());
}

// Closing this window ends the program: Esc, wherever the focus is, leaves it open and never even asks;
// the close button still goes through the program's question.
TEST(CorrectorWindow, EscapeNeverClosesTheWindow) {
    Fixture f;
    int asked = 0;
    TCorrect::Hooks hooks;
    hooks.mayLeave = [&asked] {
        ++asked;
        return true;
    };
    TCorrect window(f.model, f.settings, f.files, f.notifier, hooks);
    window.show();
    window.activateWindow();
    QLineEdit* field = window.edit(Field::Density);
    ASSERT_NE(field, nullptr);
    window.tabs()->setCurrentIndex(0);
    QWidget* focusTargets[] = {&window, field, window.archiveView(Archive::Hourly)};
    for (QWidget* target : focusTargets) {
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Escape);
        EXPECT_TRUE(window.isVisible()) << target->metaObject()->className();
    }
    // A menu dismissed with Esc, then one Esc more.
    window.rsMenu()->popup(window.mapToGlobal(QPoint(0, 0)));
    QTest::keyClick(window.rsMenu(), Qt::Key_Escape);
    EXPECT_FALSE(window.rsMenu()->isVisible());
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(window.result(), 0);

    EXPECT_TRUE(window.close());
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(window.isVisible());
}

// At its first size the window shows every item of its menu (all channels on, service level 5, the
// database there, a modem call up: every item the program can show) and eight rows of an archive table.
TEST(CorrectorWindow, TheFirstSizeShowsEveryMenuItemAndEightArchiveRows) {
    for (int language : {kUkrainian, kRussian}) {
        Fixture f(language);
        f.settings.rsOff = false;
        f.settings.modemUsed = true;
        f.settings.lptOff = false;
        f.settings.usbOff = false;
        TCorrect window(f.model, f.settings, f.files, f.notifier, {});
        for (QAction* a : {window.programFromFileAction(), window.debugAction(), window.databaseAction(),
                           window.openPackageAction(), window.meterCoefAction(), window.calibAction(),
                           window.modemDropAction()})
            a->setVisible(true);
        window.show();
        window.layout()->activate();
        int shown = 0;
        for (QMenuBar* row : window.menuRows()) {
            for (QAction* a : row->actions()) {
                if (!a->isVisible()) continue;
                ++shown;
                const QRect g = row->actionGeometry(a);
                EXPECT_FALSE(g.isEmpty()) << a->text().toStdString();
                EXPECT_TRUE(row->rect().contains(g))
                    << a->text().toStdString() << " at " << g.right() << " of " << row->width();
            }
        }
        EXPECT_EQ(shown, 19);
        const QTableView* view = window.archiveView(Archive::Hourly);
        EXPECT_GE(view->viewport()->height(), 8 * view->verticalHeader()->defaultSectionSize())
            << view->viewport()->height() << " in a window of " << window.height();
    }
}

TEST(CorrectorWindow, FileMenuSavesOpensAndBrowsesSavedReadings) {
    Fixture f;
    CorrectorFileMenu& menu = f.window->fileMenu();
    QStringList asked;
    QString answer;
    CorrectorFileMenu::Options options;
    options.reportFolder = f.home.root().dir(folder::Report);
    options.textFolder = f.home.root().dir(folder::Text);
    options.progressDelayMs = 0;
    options.today = QDate(2026, 12, 9);
    options.chooseFile = [&](bool save, const QString&, const QString& filter, const QString& proposed) {
        asked.append((save ? QStringLiteral("save ") : QStringLiteral("open ")) + filter + QLatin1Char(' ') +
                     proposed);
        return answer;
    };
    int loaded = 0;
    options.loaded = [&](const QString&) { ++loaded; };
    menu.setOptions(options);

    // An unread window has nothing to save.
    f.model.ClearWindow();
    menu.savePrtAction()->trigger();
    EXPECT_EQ(f.notifier.texts().value(0), QStringLiteral("Нет данных"));
    EXPECT_TRUE(asked.isEmpty());

    f.model.setIdentification(test::identification('A', "V46a"));
    f.read(profileFor('V'));
    answer = f.home.path(folder::Report, QStringLiteral("first.copy.prt"));
    menu.savePrtAction()->trigger();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0], QStringLiteral("save Файл в формате (*.prt) 01234_261209"));
    const QString saved = f.home.path(folder::Report, QStringLiteral("first.prt"));
    ASSERT_TRUE(QFile::exists(saved));
    // Saving again over it asks first; "no" leaves the file as it was.
    const QByteArray before = f.home.read(folder::Report, QStringLiteral("first.prt"));
    f.model.setLoadedText(Field::Company, QStringLiteral("Changed"));
    menu.savePrtAction()->trigger();
    EXPECT_EQ(f.notifier.questions.value(0),
              QStringLiteral("Файл \"") + saved + QStringLiteral("\"уже существует, перезаписать?"));
    EXPECT_EQ(f.home.read(folder::Report, QStringLiteral("first.prt")), before);

    // Opening clears the window and loads the file; the program hears of it to store it.
    answer = saved;
    menu.openAction()->trigger();
    EXPECT_EQ(loaded, 1);
    EXPECT_EQ(f.window->edit(Field::HeaderSerial)->text(), QStringLiteral("01234"));
    EXPECT_EQ(f.window->edit(Field::Density)->text(), QStringLiteral("0.68"));

    TViewDir browser(options.reportFolder, options.textFolder, {}, kRussian);
    browser.showReportFiles();
    ASSERT_EQ(browser.reportList()->count(), 1);
    browser.reportList()->setCurrentRow(0);
    press(browser.reportList(), Qt::Key_Down);
    EXPECT_EQ(browser.chosenFile(), saved);
    EXPECT_EQ(browser.result(), QDialog::Accepted);
}
