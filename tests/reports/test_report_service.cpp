// The report service: the points a search finds, one point, a stored point's records and the CSV
// delimiter, over a temporary installation with two registered points.
#include "database/Registry.h"
#include "database/Schema.h"
#include "database/Storage.h"
#include "database/TableFile.h"
#include "reports/ReportService.h"
#include "support/TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::reports;

namespace {

const QString kNorth = QStringLiteral("t12345");
const QString kSouth = QStringLiteral("t00077");

// The installation: schema files, the registry with two points, one intervention stored for each (on
// different days, so a source reading the wrong point's table shows).
struct Installation {
    test::TempHome home;
    database::Schemas schemas;
    database::SqliteStorage storage{home.root(), schemas};
    Installation() {
        home.root().createFolders();
        EXPECT_TRUE(database::writeMissingSchemaFiles(home.root()));
        schemas = database::loadSchemas(home.root());
        EXPECT_TRUE(schemas.ok) << schemas.error.toStdString();
        database::Registry registry(home.root(), schemas);
        for (const auto& [id, serial, org, day] :
             {std::tuple{kNorth, "12345", "Gas North", 4}, std::tuple{kSouth, "00077", "ГАЗ ЮГ", 6}}) {
            database::Point p;
            p.identifier = id;
            p.serial = QString::fromLatin1(serial);
            p.model = QStringLiteral("ТАРН-2.01");
            p.organisation = QString::fromUtf8(org);
            EXPECT_TRUE(registry.add(p));
            const auto kind = database::TableKind::Interference;
            const auto table = database::TableFile::open(database::tablePath(home.root(), kind, id), kind,
                                                         schemas.of(kind), nullptr);
            EXPECT_TRUE(table);
            if (!table) continue;
            EXPECT_TRUE(
                table->append({{QStringLiteral("cIdentif"), id},
                               {QStringLiteral("cNumWrCor"), 1},
                               {QStringLiteral("cDT_Corr"),
                                database::storedTimestamp(QDateTime(QDate(2024, 3, day), QTime(8, 7)))}}));
        }
    }
};

QStringList identifiers(const QList<database::Point>& points) {
    QStringList out;
    for (const database::Point& p : points)
        out.append(p.identifier);
    return out;
}

} // namespace

TEST(ReportService, ASearchFindsTheRegisteredPointsThatPassItAndNeverTheSeedRecord) {
    Installation inst;
    const ReportService service(inst.home.root(), inst.storage);
    struct Case {
        const char* what;
        database::RegistrySearch search;
        QStringList found;
    };
    database::RegistrySearch all;
    database::RegistrySearch byOrganisation;
    byOrganisation.organisation = QStringLiteral("north"); // inside the field, any letter case
    database::RegistrySearch byCyrillic;
    byCyrillic.organisation = QStringLiteral("юг");
    database::RegistrySearch bySerial;
    bySerial.serial = QStringLiteral("77"); // a beginning without its leading zeros
    database::RegistrySearch byModel;
    byModel.model = QStringLiteral("ТАРН-1.02");
    for (const Case& c :
         {Case{"no filter", all, {kNorth, kSouth}}, Case{"organisation", byOrganisation, {kNorth}},
          Case{"Cyrillic organisation", byCyrillic, {kSouth}}, Case{"serial", bySerial, {kSouth}},
          Case{"another model", byModel, {}}})
        EXPECT_EQ(identifiers(service.points(c.search)), c.found) << c.what;
}

TEST(ReportService, OnePointIsFoundByItsIdentifierAndAnUnknownOneIsNotFoundRatherThanFailed) {
    Installation inst;
    const ReportService service(inst.home.root(), inst.storage);
    const database::PointLookup south = service.point(kSouth);
    ASSERT_TRUE(south);
    EXPECT_EQ(south->serial, QStringLiteral("00077"));
    EXPECT_EQ(south->organisation, QStringLiteral("ГАЗ ЮГ"));
    const database::PointLookup missing = service.point(QStringLiteral("t99999"));
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.outcome(), database::PointLookup::Outcome::NotFound);
    // The seed record is no point.
    EXPECT_EQ(service.point(QStringLiteral("0")).outcome(), database::PointLookup::Outcome::NotFound);
}

TEST(ReportService, AStoredSourceReadsItsOwnPointsTablesAndOutlivesTheService) {
    Installation inst;
    std::unique_ptr<ReportSource> north;
    std::unique_ptr<ReportSource> south;
    {
        // The sources read through the storage, not through the service: they outlive it.
        const ReportService service(inst.home.root(), inst.storage);
        north = service.storedSource(kNorth);
        south = service.storedSource(kSouth);
    }
    ASSERT_TRUE(north->fromDatabase());
    const QDateTime from(QDate(2024, 3, 1), QTime(0, 0));
    const QDateTime to(QDate(2024, 3, 31), QTime(23, 59));
    const QList<InterventionRecord> n = north->interventions(from, to);
    ASSERT_EQ(n.size(), 1);
    EXPECT_EQ(n.first().when, QDateTime(QDate(2024, 3, 4), QTime(8, 7)));
    EXPECT_EQ(south->newestInterventionTime(), QDateTime(QDate(2024, 3, 6), QTime(8, 7)));
    // A point with no tables has no records.
    EXPECT_TRUE(ReportService(inst.home.root(), inst.storage)
                    .storedSource(QStringLiteral("t99999"))
                    ->interventions(from, to)
                    .isEmpty());
}

TEST(ReportService, WithoutSchemaFilesNothingIsFoundTheLookupFailsAndNoRegistryIsMade) {
    test::TempHome home;
    home.root().createFolders();
    database::Schemas layouts = database::loadSchemas(home.root());
    database::SqliteStorage storage(home.root(), layouts);
    const ReportService service(home.root(), storage);
    EXPECT_FALSE(service.schemas().ok);
    EXPECT_FALSE(service.schemas().error.isEmpty());
    EXPECT_TRUE(service.points({}).isEmpty());
    const database::PointLookup lookup = service.point(kNorth);
    EXPECT_FALSE(lookup);
    // A broken database is not "no such point": nothing may be added on its word.
    EXPECT_TRUE(lookup.failed());
    EXPECT_FALSE(QFile::exists(database::tablePath(home.root(), database::TableKind::Registry)));

    // The storage's layouts at each question: once the files are there and the run has loaded them, so
    // are the points.
    ASSERT_TRUE(database::writeMissingSchemaFiles(home.root()));
    layouts = database::loadSchemas(home.root());
    EXPECT_TRUE(service.schemas().ok);
    database::Point p;
    p.identifier = kNorth;
    p.serial = QStringLiteral("12345");
    p.model = QStringLiteral("ТАРН-2.01");
    ASSERT_TRUE(database::Registry(home.root(), storage).add(p));
    EXPECT_EQ(identifiers(service.points({})), QStringList{kNorth});
}

TEST(ReportService, TheCsvDelimiterIsTheInstallationsOrAComma) {
    test::TempHome home;
    home.root().createFolders();
    const database::Schemas noLayouts;
    database::SqliteStorage storage(home.root(), noLayouts);
    const ReportService service(home.root(), storage);
    EXPECT_EQ(service.csvDelimiter(), QLatin1Char(','));
    home.write(folder::Current, QStringLiteral("Delim.000"), QByteArray(" ;\r\n"));
    EXPECT_EQ(service.csvDelimiter(), QLatin1Char(';'));
}
