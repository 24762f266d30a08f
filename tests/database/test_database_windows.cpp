// The database window, the configurator, the gas window and the storing wait window, offscreen.
#include "common/TextFile.h"
#include "database/Storing.h"
#include "database/windows/TBDquon.h"
#include "database/windows/TConfigCor.h"
#include "database/windows/TGasComp.h"
#include "database/windows/TStoreWait.h"
#include "support/DatabaseFaults.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::database;

namespace {

struct Installation {
    test::TempHome home;
    Schemas schemas;
    Installation() {
        writeMissingSchemaFiles(home.root());
        schemas = loadSchemas(home.root());
    }
    void addPoint(const QString& id, const QString& serial, const QString& organisation) {
        Point p;
        p.identifier = id;
        p.serial = serial;
        p.model = QStringLiteral("ТАРН-2.01");
        p.organisation = organisation;
        p.config[config::LinkKind] = QStringLiteral("прямое соединение");
        p.config[config::Flags] = QStringLiteral("11100001000");
        ASSERT_TRUE(Registry(home.root(), schemas).add(p));
    }
    void addHours(const QString& id, int count) {
        auto table = TableFile::open(tablePath(home.root(), TableKind::Hourly, id), TableKind::Hourly,
                                     schemas.of(TableKind::Hourly));
        ASSERT_TRUE(table);
        ASSERT_TRUE(table->transaction());
        const QDateTime first(QDate(2024, 3, 7), QTime(9, 0));
        for (int i = 0; i < count; ++i) {
            const QDateTime t = first.addSecs(3600 * i);
            ASSERT_TRUE(table->append({{QStringLiteral("hIdentif"), id},
                                       {QStringLiteral("hSerialNum"), id.mid(1)},
                                       {QStringLiteral("hTypeQuon"), QStringLiteral("ТАРН-2.01")},
                                       {QStringLiteral("hNumWrCor"), i + 1},
                                       {QStringLiteral("hDate"), storedDate(t.date())},
                                       {QStringLiteral("hTime"), storedTime(t.time())},
                                       {QStringLiteral("hDT_Corr"), storedTimestamp(t)}}));
        }
        ASSERT_TRUE(table->commit());
    }
};

int column(const StoredTableModel& model, const char* field) {
    for (int c = 0; c < model.columnCount(); ++c)
        if (model.headerData(c, Qt::Horizontal).toString() == QLatin1String(field)) return c;
    return -1;
}

} // namespace

TEST(DatabaseWindow, ShowsTheSelectedPointsTablesAsStoredWithoutTheirSeeds) {
    Installation db;
    db.addPoint(QStringLiteral("t12345"), QStringLiteral("12345"), QStringLiteral("ТОВ \"Газ\" 50%_"));
    db.addPoint(QStringLiteral("t54321"), QStringLiteral("54321"), QStringLiteral("Облгаз"));
    db.addHours(QStringLiteral("t54321"), 300);
    test::RecordingNotifier notifier;
    TBDquon window(db.home.root(), db.schemas, notifier, {});
    DatabaseWindowModel& model = window.model();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Таблицы БД   (выбран: --- № ----)"));
    ASSERT_EQ(model.registryGrid().rowCount(), 2);
    // The organisation comes back as it was typed, quotes and wildcards included.
    EXPECT_EQ(model.registryGrid().value(0, QStringLiteral("kNameOrg")).toString(),
              QStringLiteral("ТОВ \"Газ\" 50%_"));
    EXPECT_EQ(model.pointGrid(TableKind::Hourly).rowCount(), 0);

    window.registryView()->selectRow(1);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Таблицы БД   (выбран: ТАРН-2.01 №54321)"));
    StoredTableModel& hourly = model.pointGrid(TableKind::Hourly);
    while (hourly.canFetchMore())
        hourly.fetchMore();
    ASSERT_EQ(hourly.rowCount(), 300);
    // Oldest first, dates and times as the users read them.
    EXPECT_EQ(hourly.index(0, column(hourly, "hDate")).data().toString(), QStringLiteral("07.03.2024"));
    EXPECT_EQ(hourly.index(0, column(hourly, "hTime")).data().toString(), QStringLiteral("09:00"));
    EXPECT_EQ(hourly.index(299, column(hourly, "hDT_Corr")).data().toString(),
              QStringLiteral("19.03.2024 20:00"));
    // Every other table of the point is there with no rows but its seed, which is not shown.
    EXPECT_EQ(model.pointGrid(TableKind::RequestLog).rowCount(), 0);
    EXPECT_TRUE(model.pointGrid(TableKind::HeatMonth).error().isEmpty());

    // Rows stored while the window is open appear on refresh; the selection stays.
    db.addHours(QStringLiteral("t54321"), 2);
    window.refresh();
    while (hourly.canFetchMore())
        hourly.fetchMore();
    EXPECT_EQ(hourly.rowCount(), 302);
    EXPECT_EQ(model.selected()->identifier, QStringLiteral("t54321"));
    EXPECT_EQ(window.registryView()->currentIndex().row(), 1);
}

// On a database kept on a server the check, which works on the table files, is off and runs nothing,
// and without package hooks the package buttons are gone.
TEST(DatabaseWindow, TheCheckAndThePackagesAreOffWhenTheTablesAreNoFiles) {
    Installation db;
    ASSERT_TRUE(openDatabaseAtStart(db.home.root(), db.schemas, QDate::currentDate()).isEmpty());
    db.addPoint(QStringLiteral("t12345"), QStringLiteral("12345"), QStringLiteral("Облгаз"));
    test::RecordingNotifier notifier;
    TBDquon::Options options;
    options.tableFiles = false;
    TBDquon window(db.home.root(), db.schemas, notifier, options);
    QAction* check = window.findChild<QAction*>(QStringLiteral("checkDatabase"));
    ASSERT_NE(check, nullptr);
    EXPECT_FALSE(check->isEnabled());
    const CheckReport r = window.runCheck(true);
    EXPECT_EQ(r.tables, 0);
    EXPECT_TRUE(r.findings.isEmpty());
    EXPECT_TRUE(notifier.messages.isEmpty());
    for (QAction* action : window.findChildren<QAction*>())
        EXPECT_FALSE(action->isVisible() && action->text().contains(QStringLiteral("*.tbd")))
            << action->text().toStdString();
}

TEST(DatabaseWindow, TheCheckFindsRepeatedRowsAndTheRepairKeepsThePointSelected) {
    Installation db;
    ASSERT_TRUE(openDatabaseAtStart(db.home.root(), db.schemas, QDate::currentDate()).isEmpty());
    db.addPoint(QStringLiteral("t12345"), QStringLiteral("12345"), QStringLiteral("Облгаз"));
    db.addHours(QStringLiteral("t12345"), 4);
    const QString hourlyFile = tablePath(db.home.root(), TableKind::Hourly, QStringLiteral("t12345"));
    ASSERT_TRUE(
        test::alterTableFile(hourlyFile, {"INSERT INTO h_t12345 (hIdentif, hNumWrCor, hDT_Corr) SELECT "
                                          "hIdentif, hNumWrCor, hDT_Corr FROM h_t12345 WHERE hNumWrCor "
                                          "BETWEEN 1 AND 2"}));
    test::RecordingNotifier notifier;
    TBDquon window(db.home.root(), db.schemas, notifier, {});
    ASSERT_NE(window.findChild<QAction*>(QStringLiteral("checkDatabase")), nullptr);
    window.registryView()->selectRow(0);
    StoredTableModel& hourly = window.model().pointGrid(TableKind::Hourly);
    ASSERT_EQ(hourly.rowCount(), 6);

    CheckReport r = window.runCheck(false);
    ASSERT_EQ(r.findings.size(), 1) << findingLine(r.findings.value(0), kRussian).toStdString();
    EXPECT_EQ(r.findings.first().kind, FindingKind::DuplicateRows);
    EXPECT_EQ(r.findings.first().detail, QStringLiteral("2"));

    // The grid held the file open; the repair lets it go, rebuilds, and shows the point again.
    r = window.runCheck(true);
    ASSERT_EQ(r.findings.size(), 1);
    EXPECT_TRUE(r.findings.first().repaired) << findingLine(r.findings.first(), kRussian).toStdString();
    EXPECT_EQ(r.findings.first().rows.kept, 4);
    EXPECT_EQ(r.findings.first().rows.repeats, 2);
    EXPECT_TRUE(QFile::exists(db.home.root().root() + QLatin1Char('/') + r.findings.first().keptAs));
    EXPECT_EQ(window.model().selected()->identifier, QStringLiteral("t12345"));
    EXPECT_EQ(window.model().pointGrid(TableKind::Hourly).rowCount(), 4);
    EXPECT_TRUE(window.runCheck(false).findings.isEmpty());
}

// The menu's check does not hold the window: it starts behind a progress window that is shown, not run,
// one check at a time, and its report arrives by signal once the worker has ended. A window closed
// during a check stops the worker and waits for it before it goes.
TEST(DatabaseWindow, TheCheckRunsBehindItsProgressWindowAndReportsBySignal) {
    Installation db;
    ASSERT_TRUE(openDatabaseAtStart(db.home.root(), db.schemas, QDate::currentDate()).isEmpty());
    db.addPoint(QStringLiteral("t12345"), QStringLiteral("12345"), QStringLiteral("Облгаз"));
    db.addHours(QStringLiteral("t12345"), 4);
    const QString hourlyFile = tablePath(db.home.root(), TableKind::Hourly, QStringLiteral("t12345"));
    ASSERT_TRUE(
        test::alterTableFile(hourlyFile, {"INSERT INTO h_t12345 (hIdentif, hNumWrCor, hDT_Corr) SELECT "
                                          "hIdentif, hNumWrCor, hDT_Corr FROM h_t12345 WHERE hNumWrCor "
                                          "BETWEEN 1 AND 2"}));
    test::RecordingNotifier notifier;
    {
        // Gone mid-check: the worker is stopped and waited for, nothing is left running.
        TBDquon closing(db.home.root(), db.schemas, notifier, {});
        ASSERT_TRUE(closing.startCheck(false));
    }
    TBDquon window(db.home.root(), db.schemas, notifier, {});
    window.show();
    QList<CheckReport> reports;
    QList<bool> repairs;
    QObject::connect(&window, &TBDquon::checkFinished, [&](const CheckReport& r, bool repaired) {
        reports.append(r);
        repairs.append(repaired);
    });

    ASSERT_TRUE(window.startCheck(false));
    EXPECT_TRUE(window.checkRunning());
    EXPECT_FALSE(window.startCheck(true)) << "one check at a time";
    EXPECT_TRUE(reports.isEmpty()) << "the report comes with the worker's end, not with the start";
    QPointer<QProgressBar> gauge = window.findChild<QProgressBar*>();
    ASSERT_TRUE(gauge);
    EXPECT_TRUE(gauge->isVisible());
    EXPECT_TRUE(window.isEnabled());

    ASSERT_TRUE(test::waitUntil([&reports] { return !reports.isEmpty(); }));
    EXPECT_FALSE(window.checkRunning());
    ASSERT_EQ(reports.size(), 1);
    EXPECT_FALSE(repairs.first());
    ASSERT_EQ(reports.first().findings.size(), 1);
    EXPECT_EQ(reports.first().findings.first().kind, FindingKind::DuplicateRows);
    EXPECT_FALSE(reports.first().findings.first().repaired);
    EXPECT_TRUE(!gauge || !gauge->isVisible()) << "the progress window goes with the check";

    // The repair the report offers is a check of its own, reported the same way.
    ASSERT_TRUE(window.startCheck(true));
    ASSERT_TRUE(test::waitUntil([&reports] { return reports.size() == 2; }));
    EXPECT_TRUE(repairs.last());
    ASSERT_EQ(reports.last().findings.size(), 1);
    EXPECT_TRUE(reports.last().findings.first().repaired);
    EXPECT_TRUE(window.runCheck(false).findings.isEmpty());
    EXPECT_TRUE(notifier.messages.isEmpty()) << notifier.texts().join(QLatin1Char('|')).toStdString();
}

TEST(DatabaseWindow, TheRecordMenuDeletesTheRecordUnderTheCursorAfterAsking) {
    Installation db;
    db.addPoint(QStringLiteral("t54321"), QStringLiteral("54321"), QStringLiteral("Облгаз"));
    db.addHours(QStringLiteral("t54321"), 5);
    test::RecordingNotifier notifier;
    TBDquon window(db.home.root(), db.schemas, notifier, {});
    DatabaseWindowModel& model = window.model();
    window.registryView()->selectRow(0);
    ASSERT_EQ(model.pointGrid(TableKind::Hourly).rowCount(), 5);
    EXPECT_EQ(model.deleteRecordQuestion(TableKind::Hourly, 2),
              QStringLiteral("Выделенную запись часового архива \"ном.зап.=3\" Удалить?"));
    EXPECT_TRUE(model.deleteRecordQuestion(TableKind::Operative, 0).isEmpty()); // no such row

    // "No" keeps it; "Yes" deletes that record only, and the grid shows the rest.
    EXPECT_FALSE(window.deleteRecord(TableKind::Hourly, 2));
    EXPECT_EQ(model.pointGrid(TableKind::Hourly).rowCount(), 5);
    notifier.answer = true;
    EXPECT_TRUE(window.deleteRecord(TableKind::Hourly, 2));
    const StoredTableModel& hourly = model.pointGrid(TableKind::Hourly);
    ASSERT_EQ(hourly.rowCount(), 4);
    QStringList numbers;
    for (int row = 0; row < hourly.rowCount(); ++row)
        numbers.append(hourly.value(row, QStringLiteral("hNumWrCor")).toString());
    EXPECT_EQ(numbers, (QStringList{"1", "2", "4", "5"}));
    EXPECT_EQ(notifier.questions.size(), 2);
}

TEST(DatabaseWindow, TheModelAndSerialColumnsChoiceIsKept) {
    Installation db;
    db.addPoint(QStringLiteral("t12345"), QStringLiteral("12345"), QStringLiteral("Облгаз"));
    test::RecordingNotifier notifier;
    {
        TBDquon window(db.home.root(), db.schemas, notifier, {});
        window.registryView()->selectRow(0);
        EXPECT_TRUE(window.columnsAction()->isChecked());
        const int serial = column(window.model().pointGrid(TableKind::Daily), "dSerialNum");
        ASSERT_GE(serial, 0);
        EXPECT_FALSE(window.pointView(TableKind::Daily)->isColumnHidden(serial));
        window.columnsAction()->trigger();
        EXPECT_TRUE(window.pointView(TableKind::Daily)->isColumnHidden(serial));
        EXPECT_TRUE(window.pointView(TableKind::Daily)->isColumnHidden(serial + 1)); // the model
        EXPECT_FALSE(window.pointView(TableKind::Daily)->isColumnHidden(serial + 2));
    }
    EXPECT_EQ(readTextLines(db.home.path(folder::Work, QStringLiteral("TypeBD_C.000"))),
              std::optional<QStringList>(QStringList{QStringLiteral("0")}));
    TBDquon again(db.home.root(), db.schemas, notifier, {});
    EXPECT_FALSE(again.columnsAction()->isChecked());
    EXPECT_FALSE(again.model().identityColumnsShown());
}

TEST(DatabaseWindow, EraseAsksLetsGoOfTheFilesAndLeavesTheOtherPoints) {
    Installation db;
    db.addPoint(QStringLiteral("t12345"), QStringLiteral("12345"), QStringLiteral("Облгаз"));
    db.addPoint(QStringLiteral("t54321"), QStringLiteral("54321"), QStringLiteral("Облгаз"));
    db.addHours(QStringLiteral("t12345"), 5);
    test::RecordingNotifier notifier;
    TBDquon window(db.home.root(), db.schemas, notifier, {});
    EXPECT_FALSE(window.eraseSelectedPoint());
    EXPECT_EQ(notifier.texts(), QStringList{QStringLiteral("Ошибка!!!\nНЕ ОПРЕДЕЛЕН КОРРЕКТОР")});

    window.registryView()->selectRow(0);
    notifier.answer = false;
    EXPECT_FALSE(window.eraseSelectedPoint());
    EXPECT_EQ(notifier.questions.last(), QStringLiteral("Данные корректора ТАРН-2.01 №12345  удалить? "));
    EXPECT_EQ(window.model().registryGrid().rowCount(), 2);

    notifier.answer = true;
    EXPECT_TRUE(window.eraseSelectedPoint());
    EXPECT_FALSE(QFile::exists(tablePath(db.home.root(), TableKind::Hourly, QStringLiteral("t12345"))));
    EXPECT_FALSE(window.model().selected());
    ASSERT_EQ(window.model().registryGrid().rowCount(), 1);
    EXPECT_EQ(window.model().registryGrid().value(0, QStringLiteral("kIdentif")).toString(),
              QStringLiteral("t54321"));
    EXPECT_TRUE(QFile::exists(tablePath(db.home.root(), TableKind::Hourly, QStringLiteral("t54321"))));
}

TEST(GasWindow, RefusesDuplicatesAndValuesOutOfRangeAndColoursThemAsTyped) {
    Installation db;
    Gases gases(db.home.root(), db.schemas);
    ASSERT_TRUE(gases
                    .add({QStringLiteral("природный"), QStringLiteral("0.68"), QStringLiteral("0.1"),
                          QStringLiteral("0.8")})
                    .isEmpty());
    test::RecordingNotifier notifier;
    {
        TGasComp window(gases, std::nullopt, notifier);
        EXPECT_FALSE(window.changeButton()->isEnabled());
        EXPECT_FALSE(window.deleteButton()->isEnabled());
        window.field(0)->setText(QStringLiteral("природный"));
        window.field(1)->setText(QStringLiteral("0.70"));
        window.field(2)->setText(QStringLiteral("0.2"));
        window.field(3)->setText(QStringLiteral("0.9"));
        EXPECT_FALSE(window.addComposition());
        EXPECT_EQ(notifier.texts().last(), QStringLiteral("в БД газ - \"природный\" уже есть!!!"));
        window.field(0)->setText(QStringLiteral("попутный"));
        // A density of 79 kg/m3 is above the range: the value turns lime as it is typed.
        window.field(1)->setText(QStringLiteral("7"));
        QKeyEvent nine(QEvent::KeyPress, Qt::Key_9, Qt::NoModifier, QStringLiteral("9"));
        QApplication::sendEvent(window.field(1), &nine);
        EXPECT_EQ(window.field(1)->text(), QStringLiteral("79"));
        EXPECT_EQ(window.field(1)->palette().color(QPalette::Text), QColor(0, 255, 0));
        EXPECT_FALSE(window.addComposition());
        EXPECT_EQ(notifier.texts().last(), QStringLiteral("проверь набор параметров!!!"));
        window.field(1)->setText(QStringLiteral("0.75"));
        EXPECT_TRUE(window.addComposition());
    }
    EXPECT_EQ(gases.names(), (QStringList{QStringLiteral("природный"), QStringLiteral("попутный")}));
    TGasComp chosen(gases, gases.all().first(), notifier);
    notifier.answer = true;
    EXPECT_TRUE(chosen.deleteComposition());
    EXPECT_EQ(notifier.questions.last(), QStringLiteral("Газ - природный  удалить? "));
    EXPECT_EQ(gases.names(), QStringList{QStringLiteral("попутный")});
}

namespace {
// A new point as the store request offers it: every value in range but the link kind, not chosen yet.
Point newPoint() {
    Point p;
    p.serial = QStringLiteral("12345");
    p.model = QStringLiteral("ТАРН-2.01  ");
    p.config = {QStringLiteral("Облгаз"),
                QString(),
                QString(),
                QStringLiteral("COM1"),
                QString(),
                QString(),
                QStringLiteral("9600"),
                QStringLiteral("1000"),
                QStringLiteral("30"),
                QStringLiteral("3"),
                QStringLiteral("60"),
                QStringLiteral("10"),
                QStringLiteral("3"),
                QStringLiteral("AT&FE0S0=0"),
                QStringLiteral("природный"),
                QStringLiteral("01100000000")};
    return p;
}
} // namespace

// The window refuses what the command line refuses: a point it saves can always be polled.
TEST(Configurator, RefusesValuesOutOfTheirRangesAsTheCommandLineDoes) {
    const struct {
        int value;
        const char* text;
    } refused[] = {{config::Speed, "abc"},         {config::Speed, "14400"},
                   {config::Flags, "zzz"},         {config::Flags, "0110000000"},
                   {config::Port, "/dev/ttyUSB0"}, {config::Port, "COM26"},
                   {config::TimeoutMs, "299"},     {config::Repeats, "0"},
                   {config::WaitS, "251"},         {config::PauseS, "0"},
                   {config::BreakS, "x"},          {config::ModemRepeats, "201"},
                   {config::Phone, "044-12З4567"}, {config::Phone, ""}};
    for (const auto& r : refused) {
        test::RecordingNotifier notifier;
        TConfigCor c(newPoint(), {QStringLiteral("природный")}, notifier);
        c.linkKind()->setCurrentText(QStringLiteral("телефон"));
        c.field(config::Phone)->setText(QStringLiteral("8W044,123-45-67"));
        c.field(r.value)->setText(QString::fromUtf8(r.text));
        EXPECT_FALSE(c.save()) << r.value << " " << r.text;
        EXPECT_NE(c.result(), QDialog::Accepted);
        // The window says what the command line says.
        EXPECT_EQ(notifier.texts(), QStringList{checkConfig(c.config())}) << r.value << " " << r.text;
    }
    // What a modem dials; for a cable point no telephone at all.
    test::RecordingNotifier notifier;
    TConfigCor c(newPoint(), {QStringLiteral("природный")}, notifier);
    c.linkKind()->setCurrentText(QStringLiteral("прямое соединение"));
    EXPECT_TRUE(c.save()) << notifier.texts().join('|').toStdString();
    TConfigCor phone(newPoint(), {QStringLiteral("природный")}, notifier);
    phone.linkKind()->setCurrentText(QStringLiteral("телефон"));
    phone.field(config::Phone)->setText(QStringLiteral("+38 044 123-45-67,,*9#WPT"));
    EXPECT_TRUE(phone.save()) << notifier.texts().join('|').toStdString();
}

TEST(Configurator, NeedsALinkKindAndShowsThePhonePanelForThePhoneOnly) {
    test::RecordingNotifier notifier;
    Point p = newPoint();
    TConfigCor c(p, {QStringLiteral("природный"), QStringLiteral("азот")}, notifier);
    EXPECT_EQ(c.linkKind()->currentIndex(), -1);
    EXPECT_FALSE(c.save());
    EXPECT_EQ(notifier.texts(), QStringList{QStringLiteral("Не выбран \"Вид связи\"!!!")});
    EXPECT_NE(c.result(), QDialog::Accepted);

    c.linkKind()->setCurrentText(QStringLiteral("прямое соединение"));
    EXPECT_FALSE(c.phonePanel()->isVisibleTo(&c));
    c.linkKind()->setCurrentText(QStringLiteral("телефон"));
    EXPECT_EQ(c.linkKind()->currentText(), QStringLiteral("телефон"));
    EXPECT_TRUE(c.phonePanel()->isVisibleTo(&c));
    c.field(config::Owner)->setText(QString(40, QLatin1Char('W')));
    c.field(config::Phone)->setText(QStringLiteral("0441234567"));
    EXPECT_TRUE(c.save());
    const PointConfig saved = c.config();
    EXPECT_EQ(saved[config::Owner], QString(32, QLatin1Char('W')));
    EXPECT_EQ(saved[config::LinkKind], QStringLiteral("телефон"));
    EXPECT_EQ(saved[config::Phone], QStringLiteral("0441234567"));
    EXPECT_EQ(saved[config::Gas], QStringLiteral("природный"));
}

TEST(StoreWait, F10AsksAndStopsTheRun) {
    test::RecordingNotifier notifier;
    TStoreWait w(notifier);
    EXPECT_TRUE(w.progress(1, 10));
    QKeyEvent f10(QEvent::KeyPress, Qt::Key_F10, Qt::NoModifier);
    notifier.answer = false;
    QApplication::sendEvent(&w, &f10);
    EXPECT_TRUE(w.progress(2, 10));
    notifier.answer = true;
    QApplication::sendEvent(&w, &f10);
    EXPECT_EQ(notifier.questions, (QStringList{QStringLiteral("Запись БД остановить?"),
                                               QStringLiteral("Запись БД остановить?")}));
    EXPECT_FALSE(w.progress(3, 10));
    EXPECT_EQ(w.bar()->value(), 3);
}

namespace {

// An hourly archive of `count` records, one an hour from 1 March 2024.
struct HourlyRows final : ArchiveRows {
    explicit HourlyRows(int count) : count_(count) {}
    int rowCount(int archive) const override { return archive == 1 ? count_ : 0; }
    QString cell(int archive, int column, int row) const override {
        if (archive != 1 || row < 0 || row >= count_) return {};
        const QDateTime at = QDateTime(QDate(2024, 3, 1), QTime(1, 0)).addSecs(3600LL * row);
        const QStringList cells{QStringLiteral("%1").arg(row, 5, 10, QLatin1Char('0')),
                                at.toString(QStringLiteral("dd.MM.yyyy")),
                                at.toString(QStringLiteral("HH:mm")),
                                QString::number(10 + row % 7) + QStringLiteral(".00"),
                                QStringLiteral("10.20"),
                                QStringLiteral("0.00"),
                                QStringLiteral("0.00"),
                                QStringLiteral("1.033"),
                                QStringLiteral("5.00"),
                                QStringLiteral("0.9980"),
                                QStringLiteral("1.0200"),
                                QStringLiteral("xxx/xxxxxxxxxxxx")};
        return cells.value(column);
    }

private:
    int count_;
};

struct StoreTarget {
    test::TempHome home;
    Schemas schemas;
    StoreContext context;
    const QDateTime now{QDate(2024, 3, 30), QTime(12, 0)};
    StoreTarget() {
        writeMissingSchemaFiles(home.root());
        schemas = loadSchemas(home.root());
        context.identifier = QStringLiteral("t12345");
        context.serial = QStringLiteral("12345");
        context.model = QStringLiteral("ТАРН-2.01  ");
        context.gasName = QStringLiteral("природный");
    }
    StoreResult store(const ArchiveRows& rows, const std::function<bool(int, int)>& progress) {
        return storeReading(home.root(), schemas, rows, context, progress, now);
    }
    QList<QStringList> rows(TableKind kind) {
        return storedRows(home.root(), schemas, kind, context.identifier);
    }
};

} // namespace

// The store runs on the wait window's worker: the gauge moves while the window serves its own events, the
// rows are those a store without a window writes, and a stop by F10 or by closing the window keeps no
// half-written kind and no request-log row.
TEST(StoreWait, TheStoreRunsBesideTheWindowAndAStopKeepsNothingHalfWritten) {
    const HourlyRows reading(700);

    StoreTarget direct;
    const StoreResult plain = direct.store(reading, {});
    ASSERT_TRUE(plain.ok) << plain.error.toStdString();
    ASSERT_EQ(direct.rows(TableKind::Hourly).size(), 700);

    StoreTarget windowed;
    test::RecordingNotifier notifier;
    TStoreWait wait(notifier);
    QList<int> shown;
    QObject::connect(&wait.run(), &BackgroundRun::progressed, &wait, [&](int done, int) {
        EXPECT_TRUE(wait.isVisible());
        shown.append(wait.bar()->value());
        EXPECT_EQ(wait.bar()->value(), qMin(done, wait.bar()->maximum()));
    });
    StoreResult result;
    wait.runModal(
        [&](const BackgroundRun::Progress& progress) { result = windowed.store(reading, progress); });
    EXPECT_FALSE(wait.isVisible()) << "the window closes itself when the store ends";
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_GE(shown.size(), 3) << "the gauge is shown every few hundred rows";
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    EXPECT_EQ(result.kinds[0].stored, plain.kinds[0].stored);
    EXPECT_EQ(windowed.rows(TableKind::Hourly), direct.rows(TableKind::Hourly));
    EXPECT_EQ(windowed.rows(TableKind::RequestLog), direct.rows(TableKind::RequestLog));
    EXPECT_TRUE(notifier.questions.isEmpty());

    enum class Stop { F10, Close };
    for (Stop how : {Stop::F10, Stop::Close}) {
        StoreTarget stopped;
        test::RecordingNotifier asked;
        asked.answer = true;
        TStoreWait w(asked);
        int reports = 0;
        QObject::connect(&w.run(), &BackgroundRun::progressed, &w, [&] {
            if (++reports != 2) return;
            if (how == Stop::F10) {
                QKeyEvent f10(QEvent::KeyPress, Qt::Key_F10, Qt::NoModifier);
                QApplication::sendEvent(&w, &f10);
            } else {
                w.close();
                EXPECT_TRUE(w.isVisible()) << "the window stays until the store has seen the stop";
            }
        });
        StoreResult r;
        w.runModal([&](const BackgroundRun::Progress& progress) { r = stopped.store(reading, progress); });
        EXPECT_TRUE(r.stopped);
        EXPECT_EQ(reports, 2) << "nothing more is reported once the stop is seen";
        EXPECT_EQ(asked.questions, QStringList{QStringLiteral("Запись БД остановить?")});
        EXPECT_TRUE(stopped.rows(TableKind::Hourly).isEmpty());
        EXPECT_TRUE(stopped.rows(TableKind::RequestLog).isEmpty());
        // The same point stored afterwards gets every row once.
        ASSERT_TRUE(stopped.store(reading, {}).ok);
        EXPECT_EQ(stopped.rows(TableKind::Hourly), direct.rows(TableKind::Hourly));
    }
}
