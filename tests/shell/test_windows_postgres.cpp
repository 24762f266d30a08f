// Tarn_B's windows on an installation whose database is a schema on the test server, offscreen: the
// main window starts on the server, the console lists the server's registry and marks the point another
// workstation's poller holds, and the database window shows a point's rows as the server keeps them
// (its grids take the server's listing as they take the table files').
#include "database/PgTestSupport.h"
#include "database/Registry.h"
#include "database/postgres/PgConnection.h"
#include "database/postgres/PgPointClaims.h"
#include "database/windows/TBDquon.h"
#include "link/FakeSerialPort.h"
#include "polling/PollPlanner.h"
#include "polling/PollingRun.h"
#include "polling/windows/TfChargBD.h"
#include "shell/AppContext.h"
#include "shell/DatabaseChoice.h"
#include "shell/windows/TMenuCorr.h"

#include <QAction>
#include <QListWidget>
#include <QTableView>

using namespace tarn;
using namespace tarn::shell;

namespace {

class WindowsOnServer : public test::PgTest {
protected:
    void SetUp() override {
        test::PgTest::SetUp();
        if (IsSkipped()) return;
        url_ = freshSchema();
        ASSERT_TRUE(writeDatabaseSetting(home_.root(), url_));
        menu_ = std::make_unique<TMenuCorr>(ctx_);
        menu_->waitDelayMs = 1;
        menu_->show();
        menu_->Timer_InitProgTimer();
        ASSERT_TRUE(ctx_.databaseOpen) << notifier_.texts().join(u'\n').toStdString();
    }
    void TearDown() override { menu_.reset(); }

    void addPoint(const QString& serial) {
        database::Point p;
        p.identifier = QStringLiteral("t") + serial;
        p.serial = serial;
        p.model = QStringLiteral("ТАРН-2.01");
        p.organisation = QStringLiteral("Облгаз");
        p.config[database::config::Owner] = QStringLiteral("Облгаз");
        p.config[database::config::LinkKind] = QStringLiteral("прямое соединение");
        p.config[database::config::Port] = QStringLiteral("COM9");
        p.config[database::config::Flags] = QStringLiteral("11100001000");
        database::Registry registry(home_.root(), ctx_.storage());
        ASSERT_TRUE(registry.add(p)) << registry.error().toStdString();
    }
    // Hours stored into the server's table of the point, one an hour from 07.03.2024 09:00.
    void addHours(const QString& identifier, int count) {
        Error why;
        auto table = ctx_.storage().openTable({database::TableKind::Hourly, identifier, {}}, why,
                                              QDateTime(QDate(2024, 3, 7), QTime(8, 0)));
        ASSERT_TRUE(table) << why.detail.toStdString();
        ASSERT_TRUE(table->transaction());
        const QDateTime first(QDate(2024, 3, 7), QTime(9, 0));
        for (int i = 0; i < count; ++i) {
            const QDateTime t = first.addSecs(3600 * i);
            ASSERT_TRUE(table->append({{QStringLiteral("hIdentif"), identifier},
                                       {QStringLiteral("hSerialNum"), identifier.mid(1)},
                                       {QStringLiteral("hTypeQuon"), QStringLiteral("ТАРН-2.01")},
                                       {QStringLiteral("hNumWrCor"), i + 1},
                                       {QStringLiteral("hDate"), database::storedDate(t.date())},
                                       {QStringLiteral("hTime"), database::storedTime(t.time())},
                                       {QStringLiteral("hDT_Corr"), database::storedTimestamp(t)}}))
                << table->lastFailure().detail.toStdString();
        }
        ASSERT_TRUE(table->commit()) << table->lastFailure().detail.toStdString();
    }

    test::TempHome home_;
    test::RecordingNotifier notifier_;
    ManualClock clock_;
    AppContext ctx_{home_.root(), notifier_, std::make_unique<link::FakeSerialPort>(), clock_};
    database::postgres::DatabaseUrl url_;
    std::unique_ptr<TMenuCorr> menu_;
};

int column(const database::StoredTableModel& model, const char* field) {
    for (int c = 0; c < model.columnCount(); ++c)
        if (model.headerData(c, Qt::Horizontal).toString() == QLatin1String(field)) return c;
    return -1;
}

} // namespace

TEST_F(WindowsOnServer, TheConsoleListsTheServersPointsAndMarksTheOneAnotherWorkstationPolls) {
    ASSERT_TRUE(ctx_.serverDatabase());
    EXPECT_EQ(ctx_.serverDatabase()->toString(), url_.toString());
    addPoint(QStringLiteral("12345"));
    addPoint(QStringLiteral("54321"));
    // Nothing of the tables among the installation's files: the registry is the server's.
    EXPECT_FALSE(home_.exists(folder::Data, QStringLiteral("Bd_Quon.DB")));

    polling::TfChargBD* console = menu_->openPollingConsole();
    ASSERT_TRUE(console);
    polling::PollingRun* run = menu_->pollingRun();
    run->setTimersRunning(false);
    QListWidget* list = console->pointList();
    ASSERT_EQ(list->count(), 2);
    EXPECT_TRUE(list->item(0)->text().contains(QStringLiteral("№12345")));
    EXPECT_TRUE(list->item(0)->text().endsWith(QStringLiteral("t12345")));
    EXPECT_TRUE(list->item(1)->text().endsWith(QStringLiteral("t54321")));

    // Another workstation's poller claims the second point on the same schema.
    Error why;
    auto connection = database::postgres::PgConnection::open(url_, &why);
    ASSERT_TRUE(connection) << why.detail.toStdString();
    database::postgres::PgPointClaims elsewhere(std::move(connection), QStringLiteral("desk-2:77"), 300);
    ASSERT_TRUE(elsewhere.claim(QStringLiteral("t54321"), {}).granted());

    // The console's next second shows it busy, in the program's language, with who holds it.
    run->cycle();
    const QString busy = polling::pollingBusyText(ctx_.languageIndex());
    EXPECT_EQ(list->item(1)->text(),
              run->pointLines().at(1) + QStringLiteral("  ") + busy + QStringLiteral("  desk-2:77"));
    EXPECT_EQ(list->item(0)->text(), run->pointLines().at(0));
    // Its poll by hand is refused before anything is dialled.
    list->setCurrentRow(1);
    EXPECT_FALSE(console->pollSelectedPoint());
    EXPECT_EQ(notifier_.texts().last(), busy);
    EXPECT_FALSE(run->running());

    // Given back: unmarked on the next second.
    elsewhere.release(QStringLiteral("t54321"));
    run->cycle();
    EXPECT_EQ(list->item(1)->text(), run->pointLines().at(1));
}

TEST_F(WindowsOnServer, TheDatabaseWindowShowsAPointsRowsFromTheServer) {
    addPoint(QStringLiteral("12345"));
    addPoint(QStringLiteral("54321"));
    addHours(QStringLiteral("t54321"), 40);

    // As the corrector window's "БД" opens it: on the run's storage and groups.
    database::TBDquon::Options options;
    options.tableFiles = !ctx_.serverDatabase();
    options.groups = &ctx_.groupFiles();
    database::TBDquon window(ctx_.root(), ctx_.storage(), notifier_, options);
    database::DatabaseWindowModel& model = window.model();
    // The grids fetch as a view scrolls; nothing is on screen here.
    database::StoredTableModel& registry = model.registryGrid();
    EXPECT_TRUE(registry.error().isEmpty()) << registry.error().toStdString();
    while (registry.canFetchMore())
        registry.fetchMore();
    ASSERT_EQ(registry.rowCount(), 2);
    EXPECT_EQ(registry.value(1, QStringLiteral("kIdentif")).toString().trimmed(), QStringLiteral("t54321"));

    window.registryView()->selectRow(1);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Таблицы БД   (выбран: ТАРН-2.01 №54321)"));
    database::StoredTableModel& hourly = model.pointGrid(database::TableKind::Hourly);
    EXPECT_TRUE(hourly.error().isEmpty()) << hourly.error().toStdString();
    while (hourly.canFetchMore())
        hourly.fetchMore();
    ASSERT_EQ(hourly.rowCount(), 40);
    EXPECT_EQ(hourly.index(0, column(hourly, "hDate")).data().toString(), QStringLiteral("07.03.2024"));
    EXPECT_EQ(hourly.index(0, column(hourly, "hTime")).data().toString(), QStringLiteral("09:00"));
    EXPECT_EQ(hourly.index(39, column(hourly, "hDT_Corr")).data().toString(),
              QStringLiteral("09.03.2024 00:00"));
    // The first point has its tables on the server with no rows but their seeds, which are not shown.
    window.registryView()->selectRow(0);
    EXPECT_EQ(model.pointGrid(database::TableKind::Hourly).rowCount(), 0);
    EXPECT_TRUE(model.pointGrid(database::TableKind::Hourly).error().isEmpty());
    // The check of the table files is off on a server.
    QAction* check = window.findChild<QAction*>(QStringLiteral("checkDatabase"));
    ASSERT_NE(check, nullptr);
    EXPECT_FALSE(check->isEnabled());
}
