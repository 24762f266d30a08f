// The report window: build and view, save as text, pages, PDF where no printer is installed, and what
// it leaves behind when it closes.
#include "common/TextFile.h"
#include "database/Registry.h"
#include "database/Schema.h"
#include "reports/Paginator.h"
#include "reports/print/ReportPrinter.h"
#include "reports/windows/TPrint_ku.h"
#include "reports/windows/TWaitPr.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <algorithm>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::reports;

namespace {

// One gas day of hours and its daily record.
class OneDay final : public ReportSource {
public:
    bool fromDatabase() const override { return false; }
    bool wasRead(corrector::Archive) const override { return true; }
    QList<PeriodRecord> periodRecords(corrector::Archive archive, const QDateTime& from,
                                      const QDateTime& to) const override {
        QList<PeriodRecord> out;
        const bool hours = archive == corrector::Archive::Hourly;
        // The hours close 04.03 10:00 … 05.03 09:00; the days close at the contract hour, 09:00.
        const int step = hours ? 3600 : 86400;
        for (QDateTime end(QDate(2024, 3, 4), QTime(hours ? 10 : 9, 0));
             end <= QDateTime(QDate(2024, 3, 5), QTime(9, 0)); end = end.addSecs(step)) {
            if (end < from || end > to) continue;
            PeriodRecord r;
            r.end = end;
            r.working = step == 3600 ? 10 : 240;
            r.standard = r.working * 1.5;
            r.pressure = 4.2;
            r.temperature = 6.5;
            r.correction = 1.5;
            r.status = QStringLiteral("xxx");
            out.append(r);
        }
        return out;
    }
    QList<AlarmRecord> alarms(const QDateTime&, const QDateTime&) const override { return {}; }
    QList<InterventionRecord> interventions(const QDateTime&, const QDateTime&) const override { return {}; }
};

struct Window {
    test::TempHome home;
    test::RecordingNotifier notifier;
    QString savePath;
    std::unique_ptr<TPrint_ku> window;
    Window() {
        home.root().createFolders();
        TPrint_ku::Input input;
        input.root = home.root();
        input.language = kRussian;
        input.header.model = QStringLiteral("ТАРН-2.01");
        input.header.serial = QStringLiteral("12345");
        input.source = [] { return std::make_unique<OneDay>(); };
        input.askSavePath = [this](const QString&, const QString&) { return savePath; };
        window = std::make_unique<TPrint_ku>(std::move(input), notifier);
        ReportOptions o;
        o.period = ReportPeriod::Day;
        o.begin = QDate(2024, 3, 4);
        o.parameters = false;
        window->setOptions(o);
    }
    QString rootFile(const char* name) const {
        return QDir(home.root().root()).filePath(QString::fromLatin1(name));
    }
};

} // namespace

TEST(ReportWindow, BuildsIntoTheWorkFileShowsItAndSavesTheViewerAsText) {
    Window w;
    ASSERT_TRUE(w.window->buildAndShow()) << w.notifier.texts().join(QLatin1Char('|')).toStdString();
    const auto work = readTextLines(w.rootFile("RepDay"));
    ASSERT_TRUE(work);
    EXPECT_EQ(*work, w.window->workLines());
    EXPECT_TRUE(work->first().startsWith(QStringLiteral("/суточный отчет *общий* за 04.03.2024 г.")));
    // The viewer shows the number sign as "N".
    EXPECT_TRUE(w.window->viewer()->toPlainText().contains(QStringLiteral("Корректор ТАРН-2.01 12345")));

    // Any extension typed becomes ".txt"; an existing file is asked about first.
    w.savePath = w.home.path(folder::Text, QStringLiteral("march.doc"));
    ASSERT_TRUE(w.window->saveViewer());
    const QString saved = w.home.path(folder::Text, QStringLiteral("march.txt"));
    ASSERT_TRUE(QFile::exists(saved));
    EXPECT_EQ(w.notifier.texts().last(), QStringLiteral("ФАЙЛ \"march\" ЗАПИСАН"));
    EXPECT_EQ(readTextLines(saved)->size(), work->size());
    w.notifier.answer = false;
    EXPECT_FALSE(w.window->saveViewer());
    EXPECT_EQ(w.notifier.questions.last(), QStringLiteral("Файл \"march.txt\"уже существует, перезаписать?"));
}

TEST(ReportWindow, WithoutAPrinterThePagesGoIntoAPdfAndClosingCleansUp) {
    if (!installedPrinters().isEmpty()) GTEST_SKIP() << "a printer is installed here";
    Window w;
    w.savePath = w.home.path(folder::Text, QStringLiteral("day"));
    ASSERT_TRUE(w.window->print());
    EXPECT_TRUE(w.notifier.texts().contains(QStringLiteral("Нет установленных принтеров !!!")));
    QFile pdf(w.home.path(folder::Text, QStringLiteral("day.pdf")));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(4) == "%PDF");
    // The page files are there until the window closes, with the report's heading on page 1.
    const auto first = readTextLines(w.rootFile("RpList1"));
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->join(QLatin1Char('\n')).contains(QStringLiteral("Всего листов: ")));
    w.window->close();
    EXPECT_FALSE(QFile::exists(w.rootFile("RpList1")));
    EXPECT_FALSE(QFile::exists(w.rootFile("RepDay")));
    // The choices are kept for the next time.
    const ReportWindowOptions kept = loadReportWindowOptions(w.home.root());
    EXPECT_EQ(kept.periodKind, 3);
    EXPECT_EQ(kept.beginDate, QDate(2024, 3, 4));
}

TEST(ReportWindow, ABuildThatFailsTellsWhyAndShowsNothing) {
    Window w;
    ReportOptions o = w.window->options();
    o.period = ReportPeriod::Range;
    o.begin = QDate(2024, 3, 5);
    o.end = QDate(2024, 3, 4);
    w.window->setOptions(o);
    EXPECT_FALSE(w.window->buildAndShow());
    EXPECT_EQ(w.notifier.texts().last(), QStringLiteral("ОШИБКА!!! НАЧАЛО > КОНЦА"));
    EXPECT_TRUE(w.window->viewer()->toPlainText().isEmpty());
}

TEST(ReportWindow, AStatisticalListingGoesIntoACsvFileNamedUpToItsFirstDot) {
    test::TempHome home;
    home.root().createFolders();
    test::RecordingNotifier notifier;
    TPrint_ku::Input input;
    input.root = home.root();
    input.language = kRussian;
    input.databaseOnly = true;
    input.identifier = QStringLiteral("t12345");
    input.header.model = QStringLiteral("ТАРН-2.01");
    input.header.serial = QStringLiteral("12345");
    input.source = [] { return std::make_unique<OneDay>(); };
    TPrint_ku window(std::move(input), notifier);
    ReportOptions o;
    o.period = ReportPeriod::Day;
    o.begin = QDate(2024, 3, 4);
    window.setOptions(o);
    window.setStatistical(true, ListingArchive::Hourly);
    EXPECT_TRUE(window.csvAction()->isVisible());
    // A point without its parameter file is not listed.
    EXPECT_FALSE(window.exportCsvTo(home.path(folder::StatCsv, QStringLiteral("march.2024.txt")), false));
    EXPECT_EQ(notifier.texts().value(0),
              QStringLiteral("Внимание!!! Нет файла параметров для корректора - ТАРН-2.01 N12345"));
    EXPECT_FALSE(home.exists(folder::StatCsv, QStringLiteral("march.csv")));
    home.write(folder::Param, QStringLiteral("p_t12345.000"), QByteArray(200, ' '));
    ASSERT_TRUE(window.exportCsvTo(home.path(folder::StatCsv, QStringLiteral("march.2024.txt")), false))
        << notifier.texts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(notifier.texts().last(), QStringLiteral("ФАЙЛ \"march.csv\" ЗАПИСАН"));
    const auto lines = readTextLines(home.path(folder::StatCsv, QStringLiteral("march.csv")));
    ASSERT_TRUE(lines);
    // The title, the header and the 24 hours of the gas day; no rules, no totals.
    ASSERT_EQ(lines->size(), 2 + 24);
    EXPECT_TRUE(lines->at(0).startsWith(
        QStringLiteral("/кор.* ТАРН-2.01 N 12345/сутки/часов.архив** за 04.03.2024")));
    EXPECT_TRUE(lines->at(1).startsWith(QStringLiteral("ном. ,дата      ,время,")));
    // The viewer shows the listing itself, with its rules.
    EXPECT_TRUE(window.viewer()->toPlainText().contains(QStringLiteral("|Итого|")));
    window.setStatistical(true, ListingArchive::Service);
    EXPECT_FALSE(window.csvAction()->isVisible());
}

TEST(ReportWindow, F10InTheWaitWindowStopsAListingBeforeItsNextRecord) {
    TWaitPr wait(kRussian);
    EXPECT_FALSE(wait.stopRequested());
    QKeyEvent f10(QEvent::KeyPress, Qt::Key_F10, Qt::NoModifier);
    QApplication::sendEvent(&wait, &f10);
    EXPECT_TRUE(wait.stopRequested());
    // A listing asked to stop ends where it is: the title and the point, no records.
    ListingOptions o;
    o.archive = ListingArchive::Hourly;
    o.period = ReportPeriod::Day;
    o.begin = QDate(2024, 3, 4);
    o.columns.on[0] = true;
    const Listing l = buildPointListing(OneDay(), ReportHeader{}, o, QDateTime::currentDateTime(),
                                        [&wait] { return wait.stopRequested(); });
    EXPECT_TRUE(l.error.isEmpty());
    for (const ListingLine& line : l.lines)
        EXPECT_NE(line.kind, ListingLine::Row) << line.text.toStdString();
}

namespace {

// Every hour of March 2024, for a listing long enough to be stopped in its middle.
class MarchOfHours final : public ReportSource {
public:
    bool fromDatabase() const override { return false; }
    bool wasRead(corrector::Archive) const override { return true; }
    QList<PeriodRecord> periodRecords(corrector::Archive archive, const QDateTime& from,
                                      const QDateTime& to) const override {
        QList<PeriodRecord> out;
        if (archive != corrector::Archive::Hourly) return out;
        for (QDateTime end(QDate(2024, 3, 1), QTime(1, 0)); end <= QDateTime(QDate(2024, 4, 1), QTime(0, 0));
             end = end.addSecs(3600)) {
            if (end < from || end > to) continue;
            PeriodRecord r;
            r.end = end;
            r.working = 10 + end.time().hour();
            r.standard = r.working * 1.5;
            r.pressure = 4.2;
            r.temperature = 6.5;
            r.correction = 1.5;
            r.status = QStringLiteral("xxx");
            out.append(r);
        }
        return out;
    }
    QList<AlarmRecord> alarms(const QDateTime&, const QDateTime&) const override { return {}; }
    QList<InterventionRecord> interventions(const QDateTime&, const QDateTime&) const override { return {}; }
};

int rowsOf(const Listing& l) {
    return static_cast<int>(std::count_if(l.lines.begin(), l.lines.end(),
                                          [](const ListingLine& x) { return x.kind == ListingLine::Row; }));
}

} // namespace

// The listing is built on the wait window's worker: the same listing as without a window, the window
// hearing from it every hundred records, and F10 (or a close) there stopping it before its next record.
TEST(ReportWindow, TheWaitWindowBuildsBesideItsEventLoopAndF10StopsTheBuildThere) {
    ListingOptions o;
    o.archive = ListingArchive::Hourly;
    o.period = ReportPeriod::Month;
    o.begin = QDate(2024, 3, 1);
    o.columns.on[0] = true;
    const QDateTime now(QDate(2024, 4, 2), QTime(8, 0));
    const Listing direct = buildPointListing(MarchOfHours(), ReportHeader{}, o, now);
    ASSERT_TRUE(direct.error.isEmpty()) << direct.error.toStdString();
    ASSERT_GT(rowsOf(direct), 500);

    {
        TWaitPr wait(kRussian);
        int reports = 0;
        QObject::connect(&wait.run(), &BackgroundRun::progressed, &wait, [&] {
            ++reports;
            EXPECT_TRUE(wait.isVisible());
        });
        Listing built;
        wait.runModal([&](const std::function<bool()>& stop) {
            built = buildPointListing(MarchOfHours(), ReportHeader{}, o, now, stop);
        });
        EXPECT_FALSE(wait.isVisible());
        EXPECT_GE(reports, 5);
        EXPECT_EQ(built.text(), direct.text());
    }

    for (bool byClose : {false, true}) {
        TWaitPr wait(kRussian);
        QObject::connect(&wait.run(), &BackgroundRun::progressed, &wait, [&](int asked) {
            if (asked != 200) return;
            if (byClose) {
                wait.close();
                EXPECT_TRUE(wait.isVisible()) << "the window stays until the build has seen the stop";
            } else {
                QKeyEvent f10(QEvent::KeyPress, Qt::Key_F10, Qt::NoModifier);
                QApplication::sendEvent(&wait, &f10);
            }
        });
        Listing built;
        int asked = 0;
        wait.runModal([&](const std::function<bool()>& stop) {
            built = buildPointListing(MarchOfHours(), ReportHeader{}, o, now, [&] {
                ++asked;
                return stop();
            });
        });
        EXPECT_TRUE(wait.stopped());
        EXPECT_EQ(asked, 200) << "no record asked about after the stop";
        EXPECT_GT(rowsOf(built), 0);
        EXPECT_LT(rowsOf(built), 200);
    }
}

TEST(ReportWindow, TheNavigatorOffersThePointsThatPassTheFiltersAndTheReportFollowsIt) {
    test::TempHome home;
    home.root().createFolders();
    ASSERT_TRUE(database::writeMissingSchemaFiles(home.root()));
    const database::Schemas schemas = database::loadSchemas(home.root());
    database::SqliteStorage storage(home.root(), schemas);
    database::Registry registry(home.root(), storage);
    for (const auto& [id, serial, org] :
         {std::tuple{"t12345", "12345", "Gas North"}, std::tuple{"t00077", "00077", "Gas \"South\" 100%"}}) {
        database::Point p;
        p.identifier = QString::fromLatin1(id);
        p.serial = QString::fromLatin1(serial);
        p.model = QStringLiteral("ТАРН-2.01");
        p.organisation = QString::fromLatin1(org);
        ASSERT_TRUE(registry.add(p));
    }
    test::RecordingNotifier notifier;
    TPrint_ku::Input input;
    input.root = home.root();
    input.language = kRussian;
    input.databaseOnly = true;
    input.storage = &storage;
    input.identifier = QStringLiteral("t12345");
    input.header.model = QStringLiteral("ТАРН-2.01");
    input.header.serial = QStringLiteral("12345");
    input.source = [&] { return std::make_unique<DatabaseSource>(storage, QStringLiteral("t12345")); };
    TPrint_ku window(std::move(input), notifier);
    QComboBox* navigator = window.navigator();
    ASSERT_EQ(navigator->count(), 2);
    EXPECT_EQ(navigator->currentData().toString(), QStringLiteral("t12345"));

    // Three digits also find the number kept with leading zeros; the report is then the other point's.
    window.filterBox(polling::PointFilter::Serial)->setChecked(true);
    window.filterText(polling::PointFilter::Serial)->setText(QStringLiteral("77"));
    window.refreshNavigator();
    ASSERT_EQ(navigator->count(), 1);
    EXPECT_EQ(navigator->currentData().toString(), QStringLiteral("t00077"));
    // Typed text is a value, quotes and percent signs included.
    window.filterBox(polling::PointFilter::Serial)->setChecked(false);
    window.filterBox(polling::PointFilter::Organisation)->setChecked(true);
    window.filterText(polling::PointFilter::Organisation)->setText(QStringLiteral("\"South\" 100%"));
    window.refreshNavigator();
    ASSERT_EQ(navigator->count(), 1);
    window.filterText(polling::PointFilter::Organisation)->setText(QStringLiteral("%"));
    window.refreshNavigator();
    EXPECT_EQ(navigator->count(), 1);

    ReportOptions o;
    o.period = ReportPeriod::Day;
    o.begin = QDate(2024, 3, 4);
    window.setOptions(o);
    window.setStatistical(true, ListingArchive::Daily);
    // The point chosen has no parameter file: the listing names it.
    EXPECT_FALSE(window.buildAndShow());
    EXPECT_EQ(notifier.texts().last(),
              QStringLiteral("Внимание!!! Нет файла параметров для корректора - ТАРН-2.01 N00077"));
}
