// An installation moved to a server and back: its table files copied into a schema, that schema copied
// into a new installation's files, and the new files read by the test's own reader, row for row against
// the first. Once through the library, once through tarn-cli as the administrator runs it.
#include "database/Migration.h"
#include "database/MigrationFixture.h"
#include "database/PgTestSupport.h"
#include "database/postgres/PgGroupFiles.h"
#include "database/postgres/PgStorage.h"
#include "support/CliJson.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <csignal>

using namespace tarn;
using namespace tarn::database;
using namespace tarn::database::postgres;
using namespace tarn::test::migration;

namespace {

class PgMigration : public test::PgTest {
protected:
    void SetUp() override {
        test::PgTest::SetUp();
        if (IsSkipped()) return;
        url_ = freshSchema();
        Error why;
        server_ = PgStorage::open(url_, schemas_, why);
        ASSERT_TRUE(server_) << why.detail.toStdString();
    }

    // A count on the server by the test's own connection.
    qlonglong count(const QString& table, const QString& condition = QStringLiteral("TRUE")) const {
        return rows(QStringLiteral("SELECT count(*) FROM %1.%2 WHERE %3")
                        .arg(quotedIdentifier(url_.schema), table, condition))
            .value(0)
            .toLongLong();
    }

    Schemas schemas_ = shippedSchemas();
    DatabaseUrl url_;
    std::unique_ptr<PgStorage> server_;
};

struct CliResult {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

CliResult cli(const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("TARN_HOME"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TARN_CLI_PROGRAM), args);
    test::waitUntil([&] { return p.state() == QProcess::NotRunning; }, 120000);
    CliResult r{p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
    if (args.contains(QStringLiteral("--json"))) test::expectCliJsonFits(args, r.out);
    return r;
}

} // namespace

// Files to the server and back to new files: every file again, every row of it, every value with the
// engine's type; on the server, each point's rows in its own scope and the fields never written NULL.
TEST_F(PgMigration, RoundTripsAnInstallationRowForRow) {
    test::TempHome first;
    test::TempHome second;
    SqliteStorage original(first.root(), schemas_);
    fillInstallation(original);
    const auto before = readTableFiles(first.root().root());

    const MigrationReport up = migrateStorage(original, *server_);
    ASSERT_TRUE(up.ok()) << up.error.detail.toStdString();
    EXPECT_EQ(up.of(TableKind::Hourly).rows, 35);
    EXPECT_EQ(up.of(TableKind::Join).tables, 3);

    // What the server holds, read by the test: the seed record marks each made table, rows are the
    // point's own, and a time field never written is NULL there, not an empty text.
    EXPECT_EQ(count(QStringLiteral("hourly"), QStringLiteral("point = 't00001' AND hidentif <> '0'")), 30);
    EXPECT_EQ(count(QStringLiteral("hourly"), QStringLiteral("point = 't00003'")), 1);
    EXPECT_EQ(count(QStringLiteral("monthly"), QStringLiteral("point = 't00003'")), 0);
    EXPECT_EQ(count(QStringLiteral("registry"), QStringLiteral("kidentif <> '0'")), 3);
    EXPECT_EQ(count(QStringLiteral("daily"), QStringLiteral("point = 't00002' AND dtime IS NULL")), 1);
    EXPECT_EQ(count(QStringLiteral("join_table"), QStringLiteral("day = DATE '2025-03-01'")), 1);
    EXPECT_EQ(rows(QStringLiteral("SELECT to_char(hdt_corr, 'YYYY-MM-DD HH24:MI:SS') FROM %1.hourly "
                                  "WHERE point = 't00001' AND hnumwrcor = 1")
                       .arg(quotedIdentifier(url_.schema))),
              QStringList{QStringLiteral("2025-03-30 03:30:00")});
    Error why;
    EXPECT_EQ(server_->joinDays(why).value_or(QList<QDate>()), kJoinDays);

    SqliteStorage copy(second.root(), schemas_);
    const MigrationReport down = migrateStorage(*server_, copy);
    ASSERT_TRUE(down.ok()) << down.error.detail.toStdString();
    EXPECT_EQ(down.points, kPoints);
    for (TableKind kind : kSchemaLoadOrder) {
        EXPECT_EQ(down.of(kind).tables, up.of(kind).tables) << migrationKindName(kind).toStdString();
        EXPECT_EQ(down.of(kind).rows, up.of(kind).rows) << migrationKindName(kind).toStdString();
    }
    expectSameFiles(readTableFiles(second.root().root()), withTextNullsEmpty(before, schemas_));
}

// A point's hours many batches long go to the server and back as the two queries give them: the server's
// walk of its own table (the copy back) streams too, while the other side is written batch by batch,
// and every row comes home as it left.
TEST_F(PgMigration, ATableManyBatchesLongRoundTripsRowForRow) {
    constexpr int kHours = 1234;
    test::TempHome first;
    test::TempHome second;
    SqliteStorage original(first.root(), schemas_);
    fillInstallation(original);
    appendRows(original, {TableKind::Hourly, kPoints.at(2), {}}, kHours, kPoints.at(2), true);
    const auto before = readTableFiles(first.root().root());

    MigrationOptions options;
    options.batchRows = 50;
    int batches = 0;
    options.progress = [&](const MigrationProgress& p) {
        if (p.phase == MigrationProgress::Phase::Copy && p.id.identifier == kPoints.at(2) &&
            p.id.kind == TableKind::Hourly && p.rowsDone > 0) {
            EXPECT_EQ(p.rowsTotal, kHours);
            EXPECT_EQ(p.rowsDone, std::min<qint64>(qint64(batches + 1) * 50, kHours));
            ++batches;
        }
    };
    const MigrationReport up = migrateStorage(original, *server_, options);
    ASSERT_TRUE(up.ok()) << up.error.detail.toStdString();
    EXPECT_EQ(batches, (kHours + 49) / 50);
    EXPECT_EQ(count(QStringLiteral("hourly"), QStringLiteral("point = 't00003' AND hidentif <> '0'")),
              kHours);

    batches = 0;
    SqliteStorage copy(second.root(), schemas_);
    const MigrationReport down = migrateStorage(*server_, copy, options);
    ASSERT_TRUE(down.ok()) << down.error.detail.toStdString();
    EXPECT_EQ(batches, (kHours + 49) / 50);
    EXPECT_EQ(down.of(TableKind::Hourly).rows, 30 + 5 + kHours);
    EXPECT_EQ(down.of(TableKind::Hourly).mismatched, 0);
    expectSameFiles(readTableFiles(second.root().root()), withTextNullsEmpty(before, schemas_));
}

// A schema that already holds the installation (a second run of the same copy) is refused whole: the
// server's rows stay as they were, none doubled.
TEST_F(PgMigration, RefusesASchemaThatAlreadyHoldsPoints) {
    test::TempHome home;
    SqliteStorage files(home.root(), schemas_);
    fillInstallation(files);
    ASSERT_TRUE(migrateStorage(files, *server_).ok());
    const qlonglong hourly = count(QStringLiteral("hourly"));

    const MigrationReport again = migrateStorage(files, *server_);
    EXPECT_FALSE(again.ok());
    EXPECT_EQ(again.occupied.mid(0, 3),
              (QStringList{QStringLiteral("point t00001"), QStringLiteral("point t00002"),
                           QStringLiteral("point t00003")}));
    EXPECT_EQ(count(QStringLiteral("hourly")), hourly);
}

// tarn-cli db migrate --to, then --from into a new installation: the counts per kind in its answer,
// the check passed, a second --to refused (exit 3) with nothing printed, and the new installation's
// files row for row the first one's.
TEST_F(PgMigration, TarnCliMovesAnInstallationToTheServerAndBack) {
    test::TempHome first;
    test::TempHome second;
    {
        SqliteStorage files(first.root(), schemas_);
        fillInstallation(files);
    }
    const auto before = readTableFiles(first.root().root());
    const QString url = url_.toString();

    const CliResult up = cli({QStringLiteral("--home"), first.root().root(), QStringLiteral("--json"),
                              QStringLiteral("db"), QStringLiteral("migrate"), QStringLiteral("--to"), url});
    ASSERT_EQ(up.code, 0) << up.err.toStdString();
    const QJsonObject answer = QJsonDocument::fromJson(up.out).object();
    EXPECT_EQ(answer.value(QStringLiteral("direction")).toString(), QStringLiteral("to-server"));
    EXPECT_EQ(answer.value(QStringLiteral("check")).toString(), QStringLiteral("passed"));
    EXPECT_EQ(answer.value(QStringLiteral("points")).toInt(), 3);
    EXPECT_EQ(answer.value(QStringLiteral("joinDays")).toInt(), 3);
    EXPECT_EQ(answer.value(QStringLiteral("pointRows")).toObject(),
              (QJsonObject{{QStringLiteral("t00001"), 70},
                           {QStringLiteral("t00002"), 55},
                           {QStringLiteral("t00003"), 3}}));
    const QJsonObject kinds = answer.value(QStringLiteral("kinds")).toObject();
    auto kind = [&](const char* name, const char* what) {
        return kinds.value(QLatin1String(name)).toObject().value(QLatin1String(what)).toInt(-1);
    };
    EXPECT_EQ(kind("hourly", "rows"), 35);
    EXPECT_EQ(kind("hourly", "tables"), 3);
    EXPECT_EQ(kind("hourly", "checked"), 3);
    EXPECT_EQ(kind("daily", "rows"), 12);
    EXPECT_EQ(kind("measurement", "rows"), 9);
    EXPECT_EQ(kind("registry", "rows"), 3);
    EXPECT_EQ(kind("gas", "rows"), 2);
    EXPECT_EQ(kind("join", "rows"), 5);
    EXPECT_EQ(kind("join", "tables"), 3);
    EXPECT_EQ(kind("heat-month", "rows"), 9);
    EXPECT_EQ(count(QStringLiteral("hourly"), QStringLiteral("hidentif <> '0'")), 35);

    const CliResult twice =
        cli({QStringLiteral("--home"), first.root().root(), QStringLiteral("--json"), QStringLiteral("db"),
             QStringLiteral("migrate"), QStringLiteral("--to"), url});
    EXPECT_EQ(twice.code, 3);
    EXPECT_TRUE(twice.out.isEmpty()) << twice.out.toStdString();
    EXPECT_TRUE(twice.err.contains("point t00001")) << twice.err.toStdString();
    EXPECT_EQ(count(QStringLiteral("hourly"), QStringLiteral("hidentif <> '0'")), 35);

    // Back from the server into a new installation, and a second time into the same one: refused.
    ASSERT_EQ(cli({QStringLiteral("--home"), second.root().root(), QStringLiteral("init")}).code, 0);
    // What init lays out (today's empty join table) stays beside what arrives.
    QMap<QString, QStringList> expected = readTableFiles(second.root().root());
    expected.insert(withTextNullsEmpty(before, schemas_));
    const CliResult down =
        cli({QStringLiteral("--home"), second.root().root(), QStringLiteral("--json"), QStringLiteral("db"),
             QStringLiteral("migrate"), QStringLiteral("--from"), url});
    ASSERT_EQ(down.code, 0) << down.err.toStdString();
    const QJsonObject back = QJsonDocument::fromJson(down.out).object();
    EXPECT_EQ(back.value(QStringLiteral("direction")).toString(), QStringLiteral("from-server"));
    EXPECT_EQ(back.value(QStringLiteral("kinds")).toObject(), kinds);
    expectSameFiles(readTableFiles(second.root().root()), expected);

    const CliResult over = cli({QStringLiteral("--home"), second.root().root(), QStringLiteral("db"),
                                QStringLiteral("migrate"), QStringLiteral("--from"), url});
    EXPECT_EQ(over.code, 3);
    EXPECT_TRUE(over.err.contains("point t00001")) << over.err.toStdString();
    expectSameFiles(readTableFiles(second.root().root()), expected);
}

// A command line that names no server, or both directions, is a usage error, as is a URL with a
// password in it; nothing is copied.
TEST(CliMigrate, RefusesAnIncompleteOrDoubleCommandLine) {
    test::TempHome home;
    const QString h = home.root().root();
    const QList<QStringList> cases = {
        {QStringLiteral("db"), QStringLiteral("migrate")},
        {QStringLiteral("db"), QStringLiteral("migrate"), QStringLiteral("--to"),
         QStringLiteral("postgresql://db/gas?schema=a"), QStringLiteral("--from"),
         QStringLiteral("postgresql://db/gas?schema=b")},
        {QStringLiteral("db"), QStringLiteral("migrate"), QStringLiteral("--to"),
         QStringLiteral("postgresql://meter:s3cret@db/gas?schema=a")},
        {QStringLiteral("db"), QStringLiteral("check"), QStringLiteral("--to"),
         QStringLiteral("postgresql://db/gas?schema=a")},
    };
    for (const QStringList& args : cases) {
        const CliResult r = cli(QStringList{QStringLiteral("--home"), h} + args);
        EXPECT_EQ(r.code, 2) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_FALSE(r.err.contains("s3cret")) << r.err.toStdString();
    }
}

// SIGINT while tarn-cli copies ends the copy between two batches with exit 130 and no answer; what was
// written are whole tables' batches, and copying again into the same schema is refused, not doubled.
TEST_F(PgMigration, TarnCliStopsBetweenBatchesOnSigint) {
    test::TempHome home;
    {
        SqliteStorage files(home.root(), schemas_);
        fillInstallation(files);
    }
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("TARN_HOME"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TARN_CLI_PROGRAM),
            {QStringLiteral("--home"), home.root().root(), QStringLiteral("--json"), QStringLiteral("db"),
             QStringLiteral("migrate"), QStringLiteral("--to"), url_.toString()});
    QByteArray err;
    // The first table done: the copy is under way, with most of the installation still to go.
    test::waitUntil(
        [&] {
            err += p.readAllStandardError();
            return QString::fromUtf8(err).contains(QRegularExpression(QStringLiteral("(^|\n)1/\\d+ "))) ||
                   p.state() == QProcess::NotRunning;
        },
        60000);
    ASSERT_EQ(p.state(), QProcess::Running) << err.toStdString();
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    test::waitUntil([&] { return p.state() == QProcess::NotRunning; }, 60000);
    err += p.readAllStandardError();
    EXPECT_EQ(p.exitCode(), 130) << err.toStdString();
    EXPECT_TRUE(p.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(err.contains("interrupted")) << err.toStdString();
    EXPECT_LT(count(QStringLiteral("hourly"), QStringLiteral("hidentif <> '0'")) +
                  count(QStringLiteral("join_table"), QStringLiteral("jidentif <> '0'")),
              35 + 5);

    const CliResult again = cli({QStringLiteral("--home"), home.root().root(), QStringLiteral("db"),
                                 QStringLiteral("migrate"), QStringLiteral("--to"), url_.toString()});
    EXPECT_EQ(again.code, 3) << again.err.toStdString();
}

// The polling groups go with the tables: the Group folder's files into the schema and back into a new
// installation's folder byte for byte, counted in the answer. A schema that holds group files already is
// refused before any table is written, as one holding points is.
TEST_F(PgMigration, TarnCliMovesThePollingGroupsWithTheTables) {
    test::TempHome first;
    test::TempHome second;
    {
        SqliteStorage files(first.root(), schemas_);
        fillInstallation(files);
    }
    ASSERT_TRUE(first.root().createFolders());
    // "Котельні" padded to 20, in Windows-1251 byte by byte, and its one member.
    const QByteArray name = test::hex("CA EE F2 E5 EB FC ED B3") + QByteArray(12, ' ');
    const QByteArray list = "0/261210080000/" + name + "\r\n";
    const QByteArray group = "0*" + name + "\r\n1*06:00-18:00-06:00\r\n2*0110000000\r\n3*1TARN-2.01   N1  " +
                             QByteArray(32, ' ') + "     t00001\r\n";
    first.write(folder::Group, QStringLiteral("name_G.000"), list);
    first.write(folder::Group, QStringLiteral("261210080000"), group);
    // Where this poller broke off stays with its installation.
    first.write(folder::Group, QStringLiteral("261210080000.err"), QByteArray("261210080000\r\n"));

    // A schema with groups of its own takes nothing, not even the tables.
    const DatabaseUrl occupied = freshSchema();
    {
        Error why;
        auto groups = PgGroupFiles::open(occupied, &why);
        ASSERT_TRUE(groups) << why.detail.toStdString();
        ASSERT_TRUE(groups->write(QStringLiteral("name_G.000"), QByteArray()).ok());
    }
    const CliResult refused = cli({QStringLiteral("--home"), first.root().root(), QStringLiteral("db"),
                                   QStringLiteral("migrate"), QStringLiteral("--to"), occupied.toString()});
    EXPECT_EQ(refused.code, 3);
    EXPECT_TRUE(refused.err.contains("group files name_G.000")) << refused.err.toStdString();
    EXPECT_EQ(rows(QStringLiteral("SELECT count(*) FROM %1.registry").arg(quotedIdentifier(occupied.schema))),
              QStringList{QStringLiteral("0")});

    const CliResult up =
        cli({QStringLiteral("--home"), first.root().root(), QStringLiteral("--json"), QStringLiteral("db"),
             QStringLiteral("migrate"), QStringLiteral("--to"), url_.toString()});
    ASSERT_EQ(up.code, 0) << up.err.toStdString();
    const QJsonObject answer = QJsonDocument::fromJson(up.out).object();
    EXPECT_EQ(answer.value(QStringLiteral("groupFiles")).toInt(), 2);
    EXPECT_EQ(answer.value(QStringLiteral("check")).toString(), QStringLiteral("passed"));
    QSqlQuery q(admin());
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT name, bytes FROM %1.group_files ORDER BY name")
                           .arg(quotedIdentifier(url_.schema))));
    QMap<QString, QByteArray> onServer;
    while (q.next())
        onServer.insert(q.value(0).toString(), q.value(1).toByteArray());
    EXPECT_EQ(onServer, (QMap<QString, QByteArray>{{QStringLiteral("261210080000"), group},
                                                   {QStringLiteral("name_G.000"), list}}));

    ASSERT_EQ(cli({QStringLiteral("--home"), second.root().root(), QStringLiteral("init")}).code, 0);
    const CliResult down =
        cli({QStringLiteral("--home"), second.root().root(), QStringLiteral("--json"), QStringLiteral("db"),
             QStringLiteral("migrate"), QStringLiteral("--from"), url_.toString()});
    ASSERT_EQ(down.code, 0) << down.err.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(down.out).object().value(QStringLiteral("groupFiles")).toInt(), 2);
    EXPECT_EQ(second.read(folder::Group, QStringLiteral("name_G.000")), list);
    EXPECT_EQ(second.read(folder::Group, QStringLiteral("261210080000")), group);
    EXPECT_FALSE(second.exists(folder::Group, QStringLiteral("261210080000.err")));
}
