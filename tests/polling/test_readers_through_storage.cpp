// The readers of the archive database, the reports, the graphs, the group views and the protocols, read
// through the storage they are handed. Here the tables are kept under one folder and the installation's
// own files (the schema files, the groups, the parameter files) under another: a reader that made a
// storage of its own over the installation's folder would find no point and no record there, and would
// leave a table file beside the installation's files.
#include "common/Language.h"
#include "database/GroupQueries.h"
#include "database/JoinTable.h"
#include "database/Registry.h"
#include "graphs/GraphSources.h"
#include "polling/GroupReport.h"
#include "polling/GroupSummary.h"
#include "polling/LastRecords.h"
#include "polling/PollingProtocols.h"
#include "reports/ReportService.h"
#include "support/ParameterFileSupport.h"
#include "support/TestSupport.h"

#include <QDirIterator>
#include <gtest/gtest.h>

using namespace tarn;
using database::TableKind;

namespace {

const QString kPoint = QStringLiteral("t12345");
const QString kModel = QStringLiteral("ТАРН-2.01");
const QString kGroup = QStringLiteral("Юг");
const QDate kDay(2024, 3, 4);
const QDateTime kNow(QDate(2024, 3, 10), QTime(12, 0));

struct SplitInstallation {
    test::TempHome files;
    test::TempHome tables;
    test::RecordingNotifier notifier;
    database::Schemas schemas;
    database::SqliteStorage storage{tables.root(), schemas};

    SplitInstallation() {
        files.root().createFolders();
        EXPECT_TRUE(database::writeMissingSchemaFiles(files.root()));
        schemas = database::loadSchemas(files.root());
        EXPECT_TRUE(schemas.ok) << schemas.error.toStdString();

        database::Point p;
        p.identifier = kPoint;
        p.serial = QStringLiteral("12345");
        p.model = kModel;
        p.organisation = QStringLiteral("Облгаз");
        p.config[database::config::Owner] = QStringLiteral("Облгаз");
        p.config[database::config::Flags] = QStringLiteral("01100000000");
        database::Registry registry(files.root(), storage);
        EXPECT_TRUE(registry.add(p, kNow)) << registry.error().toStdString();
        EXPECT_TRUE(test::writeMemberParameterFile(files.root(), kPoint, 12345));

        polling::Group g;
        g.name = kGroup;
        g.flags = QStringLiteral("0110000000");
        for (const QString& line : registry.pollingList())
            g.members.append({true, line});
        const polling::GroupSaveResult saved = polling::saveGroup(files.root(), {{}, {}, g}, kRussian, kNow,
                                                                  [](const QString&) { return true; });
        EXPECT_TRUE(saved.error.isEmpty()) << saved.error.toStdString();

        for (int hour : {12, 13, 14})
            addRecord(TableKind::Hourly, QDateTime(kDay, QTime(hour, 0)), hour);
        addRecord(TableKind::Daily, QDateTime(kDay, QTime(9, 0)), 30.0);
        addStoring(QDateTime(kDay, QTime(11, 5)));
    }

    void addRecord(TableKind kind, const QDateTime& when, double working) {
        const QChar prefix = database::tableInfo(kind).fieldPrefix;
        auto name = [prefix](const char* f) { return QString(prefix) + QLatin1String(f); };
        Error error;
        const auto table = storage.openPoint(kind, kPoint, error, kNow);
        ASSERT_TRUE(table) << error.detail.toStdString();
        ASSERT_TRUE(table->append({{name("Identif"), kPoint},
                                   {name("SerialNum"), QStringLiteral("12345")},
                                   {name("TypeQuon"), kModel},
                                   {name("NumWrCor"), when.time().hour()},
                                   {name("Date"), database::storedDate(when.date())},
                                   {name("Time"), database::storedTime(when.time())},
                                   {name("Vwrk"), working},
                                   {name("Vst"), working * 2},
                                   {name("Help"), QStringLiteral("---")},
                                   {name("DT_Corr"), database::storedTimestamp(when)},
                                   {name("Vwrk_alwrk"), working},
                                   {name("Vst_alwrk"), working * 2}}))
            << table->lastError().toStdString();
    }

    void addStoring(const QDateTime& when) {
        Error error;
        const auto table = storage.openPoint(TableKind::RequestLog, kPoint, error, kNow);
        ASSERT_TRUE(table) << error.detail.toStdString();
        ASSERT_TRUE(table->append({{QStringLiteral("bIdentif"), kPoint},
                                   {QStringLiteral("bDateTime"), database::storedTimestamp(when)}}))
            << table->lastError().toStdString();
    }

    // Every table file under the installation's folder: there must be none.
    QStringList tablesBesideFiles() const {
        QStringList out;
        QDirIterator it(files.root().root(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.endsWith(QStringLiteral(".db"), Qt::CaseInsensitive)) out.append(path);
        }
        return out;
    }
};

} // namespace

TEST(ReadersThroughTheStorage, ReportsGraphsGroupViewsAndProtocolsFindWhatTheStorageKeeps) {
    SplitInstallation inst;
    const DataRoot& root = inst.files.root();
    const QDateTime from(kDay, QTime(0, 0));
    const QDateTime to(kDay, QTime(23, 59));

    // A report: the point found and its hourly records.
    const reports::ReportService service(root, inst.storage);
    const database::PointLookup point = service.point(kPoint);
    ASSERT_TRUE(point);
    EXPECT_EQ(service.points({}).size(), 1);
    const QList<reports::PeriodRecord> hours =
        service.storedSource(kPoint)->periodRecords(corrector::Archive::Hourly, from, to);
    ASSERT_EQ(hours.size(), 3);
    EXPECT_DOUBLE_EQ(hours.at(2).working, 14.0);

    // A graph of the hourly records.
    graphs::PointGraphRequest graph;
    graph.archive = graphs::GraphArchive::Hourly;
    graph.ticked = {0};
    graph.begin = from;
    graph.end = to;
    const graphs::PointSelection selected = graphs::selectPointRecords(inst.storage, *point, graph);
    EXPECT_TRUE(selected.refusal.isEmpty()) << selected.refusal.toStdString();
    EXPECT_EQ(selected.records.rows.size(), 3);

    // The group summary of the day: the member's daily volume.
    polling::GroupSummary summary(root, inst.storage, inst.notifier, kRussian);
    polling::SummaryRequest request;
    request.groupName = kGroup;
    request.archive = polling::SummaryArchive::Daily;
    request.from = from;
    request.to = from;
    ASSERT_EQ(polling::runGroupSummary(summary, request), QString())
        << inst.notifier.texts().join('|').toStdString();
    ASSERT_EQ(summary.totals().size(), 1);
    EXPECT_EQ(summary.members().size(), 1);

    // The group's members listed with their records, and the last records of the point.
    reports::ListingOptions listing;
    listing.archive = reports::ListingArchive::Hourly;
    listing.period = reports::ReportPeriod::Day;
    listing.begin = kDay;
    listing.columns.on[0] = true;
    const polling::GroupMembersListing members =
        polling::groupMembersListing(root, inst.storage, inst.notifier, kRussian, kGroup, listing, kNow);
    ASSERT_FALSE(members.stopped);
    EXPECT_TRUE(members.listing.error.isEmpty()) << members.listing.error.toStdString();
    int rows = 0;
    for (const reports::ListingLine& line : members.listing.lines)
        rows += line.kind == reports::ListingLine::Row ? 1 : 0;
    EXPECT_EQ(rows, 3);
    const database::Registry registry(root, inst.storage);
    const auto last = polling::lastRecordsOf(inst.storage, registry, kPoint);
    ASSERT_TRUE(last.has_value());
    const polling::GroupMemberList memberList = polling::groupMemberList(
        inst.storage, registry, polling::loadGroup(root, polling::loadGroupList(root).first().file));
    ASSERT_EQ(memberList.lines.size(), 1);
    EXPECT_EQ(memberList.lines.first().identifier, kPoint);

    // The protocols: the point list from the registry, the day's exchanges from the join table.
    polling::PointListOptions list;
    list.languageIndex = kRussian;
    const polling::ProtocolText points = polling::pointList(root, inst.storage, list);
    ASSERT_TRUE(points.ready);
    EXPECT_TRUE(points.lines.join('\n').contains(QStringLiteral("12345")))
        << points.lines.join('\n').toStdString();
    database::JoinRow join;
    join.identifier = kPoint;
    join.model = kModel;
    join.serial = QStringLiteral("12345");
    join.when = QDateTime(kDay, QTime(11, 5));
    join.modified = QTime(11, 5, 7);
    join.mode = 1;
    join.result = QStringLiteral("норма");
    ASSERT_EQ(database::appendJoinRow(inst.storage, join), QString());
    const polling::ExchangesView exchanges = polling::dayExchangesView(inst.storage, kDay, kRussian);
    EXPECT_TRUE(exchanges.ok()) << exchanges.error.toStdString();

    EXPECT_TRUE(inst.tablesBesideFiles().isEmpty()) << inst.tablesBesideFiles().join(' ').toStdString();
}
