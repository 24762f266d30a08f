// Acceptance checks of the database on a PostgreSQL server, from the outside: tarn-cli and corrector-sim
// run as processes, the expected volumes worked out here from the scenario (flow × the hour's profile,
// gas days closing at the contract hour), the table files read here with SQLite. One installation kept in
// its files and one on the server must give the same answers; two installations on one schema see one
// registry; an installation moved to the server and back is the same row for row; and what must be
// refused is refused.
#include "acceptance/AcceptanceReaders.h"
#include "support/CliRunner.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QUuid>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>
#include <vector>

namespace {

const QString kSim = QStringLiteral(TARN_SIM_PROGRAM);

// The simulated corrector's hourly archive: from 01.03.2024 00:00, hour h of the day carries
// flow × profile[h] m³ at working conditions; its gas day closes at 09:00.
const QDateTime kArchiveStart(QDate(2024, 3, 1), QTime(0, 0));
constexpr double kFlow = 10.0;
const std::vector<double> kProfile{0.4, 0.3, 0.3, 0.3, 0.4, 0.6, 0.9, 1.2, 1.4, 1.4, 1.3, 1.2,
                                   1.2, 1.2, 1.2, 1.3, 1.4, 1.5, 1.5, 1.4, 1.2, 1.0, 0.8, 0.6};
constexpr int kContractHour = 9;
// Four gas days and the nine hours before the first: the days 29.02 (partial) to 04.03 close.
constexpr int kHours = 24 * 4 + kContractHour;

using Result = tarn::test::CliText;

double number(const QString& text) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok ? v : std::nan("");
}

// ---------------------------------------------------------------- the server

// The test cluster's URL with the schema replaced; empty (and why) when there is no server to use.
struct Server {
    QString baseUrl;
    QString unavailable;

    static Server find() {
        Server s;
        s.baseUrl = qEnvironmentVariable("TARN_TEST_PG_URL");
        if (s.baseUrl.isEmpty()) {
            s.unavailable =
                QStringLiteral("TARN_TEST_PG_URL is not set (run through ctest, label postgresql)");
            return s;
        }
        const QString socketDir = QUrlQuery(QUrl(s.baseUrl).query()).queryItemValue(QStringLiteral("host"));
        QFile why(socketDir + QStringLiteral("/unavailable"));
        if (why.open(QIODevice::ReadOnly)) s.unavailable = QString::fromUtf8(why.readAll()).trimmed();
        return s;
    }
    QString url(const QString& schema) const {
        QUrl u(baseUrl);
        QUrlQuery q(u.query());
        q.removeAllQueryItems(QStringLiteral("schema"));
        q.addQueryItem(QStringLiteral("schema"), schema);
        u.setQuery(q);
        return u.toString();
    }
};

// A schema name no other test (or earlier run on the same cluster) uses.
QString freshSchema(const char* prefix) {
    return QString::fromLatin1(prefix) + QLatin1Char('_') +
           QUuid::createUuid().toString(QUuid::Id128).left(12).toLower();
}

#define SKIP_WITHOUT_SERVER(server)                                                                          \
    do {                                                                                                     \
        if (!(server).unavailable.isEmpty()) GTEST_SKIP() << (server).unavailable.toStdString();             \
    } while (0)

// ---------------------------------------------------------------- installations and the corrector

struct Device {
    int serial = 12345;
    int address = 1;
    int hours = kHours;
};

// A simulated line on COM1 with the given correctors; ended with the object.
class Line {
public:
    bool start(const QString& scratch, const std::vector<Device>& devices) {
        link_ = scratch + QStringLiteral("/com1");
        dump_ = scratch + QStringLiteral("/dump.json");
        QJsonArray profile;
        for (double p : kProfile)
            profile.append(p);
        QJsonArray all;
        for (const Device& d : devices)
            all.append(QJsonObject{
                {"role", "corrector"},
                {"preset", "series1"},
                {"address", d.address},
                {"serial", d.serial},
                {"passwords", QJsonArray{"1111", "2222", "3333", "4444", "5555", "6666", "7777"}},
                {"clockOffsetSec", 0},
                {"measurements", QJsonObject{{"temperature", 6.5}, {"flow", 12.5}, {"batteryVoltage", 3.6}}},
                {"archive", QJsonObject{{"start", kArchiveStart.toString(QStringLiteral("dd.MM.yyyy HH:mm"))},
                                        {"hours", d.hours},
                                        {"flow", kFlow},
                                        {"profile", profile}}}});
        return sim_.start(kSim, scratch + QStringLiteral("/scenario.json"),
                          QJsonDocument(QJsonObject{{"devices", all}}).toJson(), link_,
                          {QStringLiteral("--dump"), dump_});
    }
    QString link() const { return link_; }
    // The correction factor the first corrector applied (standard = working × it), from its dump.
    std::optional<double> finishAndCorrection() {
        if (!sim_.finish()) return std::nullopt;
        QFile f(dump_);
        if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
        const QJsonArray all =
            QJsonDocument::fromJson(f.readAll()).object().value(QStringLiteral("correctors")).toArray();
        if (all.isEmpty()) return std::nullopt;
        return all.first().toObject().value(QStringLiteral("correction")).toDouble();
    }

private:
    tarn::test::SimProcess sim_;
    QString link_, dump_;
};

class Installation {
public:
    // database: a server URL given with --database on every command, or none (the setting or the files).
    explicit Installation(QString database = {}) : database_(std::move(database)) {
        home_ = dir_.path() + QStringLiteral("/home");
        QDir().mkpath(home_);
        // No pause before each request: the simulated corrector is ready at once, and the pause is not
        // what these tests are about.
        initialised_ = tarn::test::runCliIn(home_, {QStringLiteral("init")}).code == 0 &&
                       tarn::test::runCliIn(home_, {QStringLiteral("settings"), QStringLiteral("set"),
                                                    QStringLiteral("writeDelayMs=0")})
                               .code == 0;
    }
    bool initialised() const { return initialised_; }
    QString home() const { return home_; }
    void mapCom1(const QString& link) const {
        QFile f(home_ + QStringLiteral("/Work/PortMap.000"));
        if (f.open(QIODevice::WriteOnly)) f.write("COM1 " + link.toLocal8Bit() + "\r\n");
    }
    Result cli(const QStringList& args) const {
        QStringList all;
        if (!database_.isEmpty()) all << QStringLiteral("--database") << database_;
        return tarn::test::runCliIn(home_, all + args).text();
    }
    // At the line's top speed: what is stored is the same at any speed, and the reads take a tenth.
    Result store(int address = 1) const {
        return cli({QStringLiteral("--port"), QStringLiteral("COM1"), QStringLiteral("--speed"),
                    QStringLiteral("115200"), QStringLiteral("--address"), QString::number(address),
                    QStringLiteral("--json"), QStringLiteral("store")});
    }
    // A point's stored rows, each as field → text.
    std::vector<QMap<QString, QString>> rows(const QString& id, const QString& archive) const {
        const Result r = cli({QStringLiteral("--json"), QStringLiteral("rows"), QStringLiteral("--point"), id,
                              QStringLiteral("--archive"), archive});
        EXPECT_EQ(r.code, 0) << archive.toStdString() << ": " << r.err.toStdString();
        std::vector<QMap<QString, QString>> out;
        const QJsonArray fields = r.json().value(QStringLiteral("fields")).toArray();
        for (const QJsonValue& row : r.json().value(QStringLiteral("rows")).toArray()) {
            QMap<QString, QString> m;
            const QJsonArray cells = row.toArray();
            for (qsizetype i = 0; i < fields.size() && i < cells.size(); ++i)
                m.insert(fields.at(i).toString(), cells.at(i).toString());
            out.push_back(m);
        }
        return out;
    }
    QStringList points() const {
        QStringList ids;
        for (const QJsonValue& p :
             cli({QStringLiteral("--json"), QStringLiteral("points"), QStringLiteral("list")})
                 .json()
                 .value(QStringLiteral("points"))
                 .toArray())
            ids.append(p.toObject().value(QStringLiteral("point")).toString());
        ids.sort();
        return ids;
    }
    QStringList lines(const QStringList& args) const {
        QStringList out;
        for (const QJsonValue& l : cli(QStringList{QStringLiteral("--json")} + args)
                                       .json()
                                       .value(QStringLiteral("lines"))
                                       .toArray())
            out.append(l.toString());
        return out;
    }

private:
    QTemporaryDir dir_;
    QString home_;
    QString database_;
    bool initialised_ = false;
};

// The rows of a stored archive without the table's running number (first field) and the time the row
// was written (the wall clock of the store, different in every installation).
QList<QStringList> comparable(const std::vector<QMap<QString, QString>>& rows) {
    QList<QStringList> out;
    for (const auto& row : rows) {
        QStringList cells;
        for (auto it = row.begin(); it != row.end(); ++it) {
            const QString& field = it.key();
            if (field.endsWith(QStringLiteral("Num")) && field.size() == 4) continue; // hNum, dNum, mNum
            if (field.mid(1) == QStringLiteral("DateTime")) continue;
            cells.append(field + QLatin1Char('=') + it.value());
        }
        out.append(cells);
    }
    return out;
}

// ---------------------------------------------------------------- the table files, read here

// Every table of every database file under an installation: "folder/file:table" → its rows in stored
// order, each without its first field (the running number, which a move does not keep). The engine's own
// bookkeeping (sqlite_sequence, the last running number given) is no table of the installation.
QMap<QString, QList<QStringList>> tableFiles(const QString& home) {
    QMap<QString, QList<QStringList>> all;
    QDirIterator it(home, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString suffix = QFileInfo(path).suffix().toLower();
        if (suffix != QStringLiteral("db")) continue;
        const QString relative = QDir(home).relativeFilePath(path);
        const QString connection = QUuid::createUuid().toString();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
            db.setDatabaseName(path);
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
            EXPECT_TRUE(db.open()) << path.toStdString();
            QSqlQuery names(db);
            EXPECT_TRUE(names.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND "
                                                  "name NOT LIKE 'sqlite_%' ORDER BY name")));
            QStringList tables;
            while (names.next())
                tables.append(names.value(0).toString());
            for (const QString& table : tables) {
                QSqlQuery q(db);
                EXPECT_TRUE(q.exec(QStringLiteral("SELECT * FROM \"%1\" ORDER BY rowid").arg(table)))
                    << relative.toStdString();
                QList<QStringList> rows;
                while (q.next()) {
                    QStringList cells;
                    const QSqlRecord rec = q.record();
                    for (int i = 1; i < rec.count(); ++i)
                        cells.append(rec.fieldName(i) + QLatin1Char('=') +
                                     (q.value(i).isNull() ? QString() : q.value(i).toString()));
                    rows.append(cells);
                }
                all.insert(relative + QLatin1Char(':') + table, rows);
            }
        }
        QSqlDatabase::removeDatabase(connection);
    }
    return all;
}

// Records in the tables whose files lie under prefix (a folder, "Hour/", or a file, "Data/Bd_Quon.DB").
// Every table file starts with one row of its own that is no record: a table that was never stored into
// holds just that row (an abnormal-situation table after a store that reported none), and the stored
// records are numbered from 2. The move counts records.
int recordsUnder(const QMap<QString, QList<QStringList>>& tables, const QString& prefix) {
    int n = 0;
    for (auto it = tables.begin(); it != tables.end(); ++it)
        if (it.key().startsWith(prefix) && !it.value().isEmpty()) n += int(it.value().size()) - 1;
    return n;
}

// ---------------------------------------------------------------- 1. both backends, the same answers

// One reading stored into an installation of table files and into one on the server: the stored rows,
// the listings and the period report agree with each other and with the volumes worked out from the
// scenario; the same reading stored again on the server adds no row.
TEST(ServerDatabase, FilesAndServerGiveTheSameAnswers) {
    const Server server = Server::find();
    SKIP_WITHOUT_SERVER(server);
    QTemporaryDir scratch;
    Line line;
    ASSERT_TRUE(line.start(scratch.path(), {Device{}}));
    Installation files;
    Installation onServer(server.url(freshSchema("same")));
    ASSERT_TRUE(files.initialised());
    ASSERT_TRUE(onServer.initialised());
    files.mapCom1(line.link());
    onServer.mapCom1(line.link());

    const Result storedFiles = files.store();
    ASSERT_EQ(storedFiles.code, 0) << storedFiles.err.toStdString();
    const Result storedServer = onServer.store();
    ASSERT_EQ(storedServer.code, 0) << storedServer.err.toStdString();
    const QString id = storedFiles.json().value(QStringLiteral("point")).toString();
    ASSERT_FALSE(id.isEmpty());
    EXPECT_EQ(storedServer.json().value(QStringLiteral("point")).toString(), id);
    EXPECT_EQ(storedServer.json().value(QStringLiteral("stored")),
              storedFiles.json().value(QStringLiteral("stored")));
    EXPECT_EQ(storedServer.json()
                  .value(QStringLiteral("stored"))
                  .toObject()
                  .value(QStringLiteral("hourly"))
                  .toInt(),
              kHours);

    // A second store of the same reading on the server finds every record there.
    const Result again = onServer.store();
    ASSERT_EQ(again.code, 0) << again.err.toStdString();
    for (const QJsonValue& n : again.json().value(QStringLiteral("stored")).toObject())
        EXPECT_EQ(n.toInt(), 0);
    EXPECT_EQ(
        again.json().value(QStringLiteral("dropped")).toObject().value(QStringLiteral("hourly")).toInt(),
        kHours);
    const std::optional<double> correction = line.finishAndCorrection();
    ASSERT_TRUE(correction);
    ASSERT_GT(*correction, 0);

    // The hourly rows: record i closes hour i of the archive.
    const auto hourlyServer = onServer.rows(id, QStringLiteral("hourly"));
    ASSERT_EQ(hourlyServer.size(), size_t(kHours));
    for (int i = 0; i < kHours; ++i) {
        SCOPED_TRACE(i);
        const auto& row = hourlyServer[size_t(i)];
        const QDateTime closes = kArchiveStart.addSecs(3600LL * (i + 1));
        EXPECT_EQ(row.value(QStringLiteral("hDT_Corr")), closes.toString(QStringLiteral("dd.MM.yyyy HH:mm")));
        const double working = kFlow * kProfile[size_t(i % 24)];
        EXPECT_NEAR(number(row.value(QStringLiteral("hVwrk"))), working, 0.01);
        EXPECT_NEAR(number(row.value(QStringLiteral("hVst"))), working * *correction, 0.01);
    }
    // The daily rows: the gas day closing at 09:00 holds the hours that closed since the last 09:00.
    const auto dailyServer = onServer.rows(id, QStringLiteral("daily"));
    ASSERT_EQ(dailyServer.size(), 5u);
    for (size_t d = 0; d < dailyServer.size(); ++d) {
        SCOPED_TRACE(d);
        double working = 0;
        for (int h = d == 0 ? 0 : kContractHour + 24 * int(d - 1); h < kContractHour + 24 * int(d); ++h)
            working += kFlow * kProfile[size_t(h % 24)];
        EXPECT_EQ(dailyServer[d].value(QStringLiteral("dDT_Corr")),
                  QDateTime(kArchiveStart.date().addDays(qint64(d)), QTime(kContractHour, 0))
                      .toString(QStringLiteral("dd.MM.yyyy HH:mm")));
        EXPECT_NEAR(number(dailyServer[d].value(QStringLiteral("dVwrk"))), working, 0.01);
        EXPECT_NEAR(number(dailyServer[d].value(QStringLiteral("dVst"))), working * *correction, 0.05);
    }
    for (const char* archive : {"hourly", "daily", "monthly", "abnormal", "interference", "service", "log"}) {
        SCOPED_TRACE(archive);
        const QString kind = QString::fromLatin1(archive);
        const auto a = files.rows(id, kind), b = onServer.rows(id, kind);
        if (kind == QStringLiteral("log")) {
            // Each store writes its request-log row: the server has the second one too.
            EXPECT_EQ(a.size(), 1u);
            EXPECT_EQ(b.size(), 2u);
            continue;
        }
        EXPECT_EQ(comparable(a), comparable(b));
    }

    // The listings and the period report, made at one stated time, are the same text on both, and hold
    // the computed volumes: three full gas days of 240 m³ (a day's profile sums to 24 × flow).
    const QString made = QStringLiteral("10.12.2026 10:00:00");
    const QList<QStringList> outputs{{"listing", "--point", id, "--archive", "hourly", "--period", "day",
                                      "--from", "02.03.2024", "--made", made},
                                     {"listing", "--point", id, "--archive", "daily", "--period", "month",
                                      "--from", "01.03.2024", "--made", made},
                                     {"report", "--point", id, "--period", "period", "--from", "01.03.2024",
                                      "--to", "03.03.2024", "--made", made},
                                     {"report", "--point", id, "--period", "period", "--from", "01.03.2024",
                                      "--to", "03.03.2024", "--made", made, "--hourly-calc"}};
    for (const QStringList& args : outputs) {
        SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
        const QStringList a = files.lines(args), b = onServer.lines(args);
        ASSERT_FALSE(a.isEmpty());
        EXPECT_EQ(a, b);
    }
    const QStringList report = onServer.lines(outputs[2]);
    const QString dayTotal = QStringLiteral("Vроб.+Vроб.авр.  =720+0=720");
    EXPECT_TRUE(report.join(QLatin1Char('\n')).contains(dayTotal))
        << report.join(QLatin1Char('\n')).toStdString();
    int dayLines = 0;
    for (const QString& l : report)
        for (const char* day : {"|01.03.2024|", "|02.03.2024|", "|03.03.2024|"})
            if (l.startsWith(QString::fromLatin1(day))) {
                ++dayLines;
                const QStringList cells = l.split(QLatin1Char('|'));
                ASSERT_GT(cells.size(), 3);
                EXPECT_NEAR(number(cells[2]), 240.0, 0.01) << l.toStdString();
                EXPECT_NEAR(number(cells[3]), 240.0 * *correction, 0.05) << l.toStdString();
            }
    EXPECT_EQ(dayLines, 3);
}

// ---------------------------------------------------------------- 2. two workstations, one schema

// One installation on the server by --database, another by its setting: what the first registers and
// stores, the second lists, with its rows and its polling protocol.
TEST(ServerDatabase, TwoInstallationsOnOneSchemaSeeOneRegistry) {
    const Server server = Server::find();
    SKIP_WITHOUT_SERVER(server);
    const QString url = server.url(freshSchema("shared"));
    QTemporaryDir scratch;
    Line line;
    ASSERT_TRUE(line.start(scratch.path(), {Device{54321, 1, 30}}));
    Installation first(url);
    Installation second;
    ASSERT_TRUE(first.initialised());
    ASSERT_TRUE(second.initialised());
    const Result use =
        second.cli({QStringLiteral("--json"), QStringLiteral("db"), QStringLiteral("use"), url});
    ASSERT_EQ(use.code, 0) << use.err.toStdString();
    const Result shown = second.cli({QStringLiteral("--json"), QStringLiteral("db"), QStringLiteral("use")});
    EXPECT_EQ(shown.json().value(QStringLiteral("kind")).toString(), QStringLiteral("server"));
    EXPECT_EQ(shown.json().value(QStringLiteral("source")).toString(), QStringLiteral("setting"));
    EXPECT_TRUE(second.points().isEmpty());

    first.mapCom1(line.link());
    const Result stored = first.store();
    ASSERT_EQ(stored.code, 0) << stored.err.toStdString();
    const QString id = stored.json().value(QStringLiteral("point")).toString();
    ASSERT_FALSE(id.isEmpty());

    EXPECT_EQ(second.points(), QStringList{id});
    EXPECT_EQ(second.rows(id, QStringLiteral("hourly")).size(), 30u);
    EXPECT_EQ(comparable(second.rows(id, QStringLiteral("hourly"))),
              comparable(first.rows(id, QStringLiteral("hourly"))));
    EXPECT_EQ(second.rows(id, QStringLiteral("log")).size(), 1u);
    const QStringList protocol{QStringLiteral("protocol"), QStringLiteral("poll"),
                               QStringLiteral("--point"),  id,
                               QStringLiteral("--made"),   QStringLiteral("10.12.2026 10:00:00")};
    const Result a = first.cli(QStringList{QStringLiteral("--json")} + protocol);
    const Result b = second.cli(QStringList{QStringLiteral("--json")} + protocol);
    ASSERT_EQ(a.code, 0) << a.err.toStdString();
    ASSERT_EQ(b.code, 0) << b.err.toStdString();
    EXPECT_EQ(a.json(), b.json());
    EXPECT_TRUE(QJsonDocument(b.json()).toJson().contains(id.toUtf8()));

    // Back on its files, the second installation holds nothing.
    ASSERT_EQ(second.cli({QStringLiteral("db"), QStringLiteral("use"), QStringLiteral("--files")}).code, 0);
    EXPECT_TRUE(second.points().isEmpty());
}

// ---------------------------------------------------------------- 3. to the server and back

// An installation of table files with two points and a gas composition of its own, moved to a fresh
// schema on the server; what its table files held before the move (read here) is kept for the checks.
struct MovedInstallation {
    Installation source;
    QString url;
    QStringList ids;
    QMap<QString, QList<QStringList>> before;
    QJsonObject answer;
};

void moveToServer(const Server& server, MovedInstallation& moved) {
    moved.url = server.url(freshSchema("moved"));
    QTemporaryDir scratch;
    Line line;
    ASSERT_TRUE(line.start(scratch.path(), {Device{12345, 1, kHours}, Device{23456, 2, 40}}));
    ASSERT_TRUE(moved.source.initialised());
    moved.source.mapCom1(line.link());
    for (int address : {1, 2}) {
        const Result r = moved.source.store(address);
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        moved.ids.append(r.json().value(QStringLiteral("point")).toString());
    }
    moved.ids.sort();
    ASSERT_TRUE(line.finishAndCorrection());
    ASSERT_EQ(moved.source
                  .cli({QStringLiteral("gas"), QStringLiteral("add"), QStringLiteral("--name"),
                        QStringLiteral("Тест"), QStringLiteral("--density"), QStringLiteral("0.7"),
                        QStringLiteral("--co2"), QStringLiteral("0.5"), QStringLiteral("--n2"),
                        QStringLiteral("1.2")})
                  .code,
              0);
    moved.before = tableFiles(moved.source.home());
    ASSERT_FALSE(moved.before.isEmpty());
    const Result to = moved.source.cli({QStringLiteral("--json"), QStringLiteral("db"),
                                        QStringLiteral("migrate"), QStringLiteral("--to"), moved.url});
    ASSERT_EQ(to.code, 0) << to.err.toStdString();
    moved.answer = to.json();
}

// The move to the server: the counts it reports per kind are the rows counted here in the table files, its
// check passes, the server lists both points with their rows, and a second move into the schema that
// already holds the installation is refused and doubles nothing.
TEST(ServerDatabase, MigrationToServerCountsWhatTheFilesHold) {
    const Server server = Server::find();
    SKIP_WITHOUT_SERVER(server);
    MovedInstallation moved;
    moveToServer(server, moved);
    if (HasFatalFailure()) return;
    const QJsonObject& answer = moved.answer;
    EXPECT_EQ(answer.value(QStringLiteral("direction")).toString(), QStringLiteral("to-server"));
    EXPECT_EQ(answer.value(QStringLiteral("check")).toString(), QStringLiteral("passed"));
    EXPECT_EQ(answer.value(QStringLiteral("points")).toInt(), 2);
    const QJsonObject kinds = answer.value(QStringLiteral("kinds")).toObject();
    // Each kind's tables by the folder (or file) that holds them in an installation.
    const QList<std::pair<const char*, const char*>> known{{"registry", "Data/Bd_Quon.DB"},
                                                           {"gas", "Data/Bd_Gas.DB"},
                                                           {"hourly", "Hour/"},
                                                           {"daily", "Day/"},
                                                           {"monthly", "Mon/"},
                                                           {"abnormal", "Alarm/"},
                                                           {"interference", "Chang/"},
                                                           {"operative", "Oper/"},
                                                           {"service", "Spec/"},
                                                           {"measurement", "Meas/"},
                                                           {"log", "BookQ/"},
                                                           {"join", "Join/"}};
    for (const auto& [kind, where] : known) {
        SCOPED_TRACE(kind);
        const QJsonObject tally = kinds.value(QString::fromLatin1(kind)).toObject();
        EXPECT_EQ(tally.value(QStringLiteral("rows")).toInt(),
                  recordsUnder(moved.before, QString::fromLatin1(where)));
        EXPECT_EQ(tally.value(QStringLiteral("mismatched")).toInt(), 0);
        EXPECT_EQ(tally.value(QStringLiteral("checked")).toInt(),
                  tally.value(QStringLiteral("tables")).toInt());
    }
    // What the two stores put there, independently of the files: the hours of both correctors and one
    // request-log row each.
    EXPECT_EQ(kinds.value(QStringLiteral("hourly")).toObject().value(QStringLiteral("rows")).toInt(),
              kHours + 40);
    EXPECT_EQ(kinds.value(QStringLiteral("registry")).toObject().value(QStringLiteral("rows")).toInt(), 2);
    EXPECT_EQ(kinds.value(QStringLiteral("log")).toObject().value(QStringLiteral("rows")).toInt(), 2);
    EXPECT_EQ(answer.value(QStringLiteral("pointRows")).toObject().keys(), moved.ids);

    // On the server, both points and their rows.
    const Installation viewer(moved.url);
    ASSERT_TRUE(viewer.initialised());
    EXPECT_EQ(viewer.points(), moved.ids);
    EXPECT_EQ(viewer.rows(QStringLiteral("12345"), QStringLiteral("hourly")).size(), size_t(kHours));
    EXPECT_EQ(comparable(viewer.rows(QStringLiteral("12345"), QStringLiteral("hourly"))),
              comparable(moved.source.rows(QStringLiteral("12345"), QStringLiteral("hourly"))));

    // A package of a point is made from the table files, and refused on the server even for a point it
    // holds.
    QTemporaryDir packages;
    EXPECT_EQ(moved.source
                  .cli({QStringLiteral("package"), QStringLiteral("write"), QStringLiteral("--point"),
                        QStringLiteral("12345"), QStringLiteral("--out"),
                        packages.path() + QStringLiteral("/a.tbd")})
                  .code,
              0);
    EXPECT_EQ(viewer
                  .cli({QStringLiteral("package"), QStringLiteral("write"), QStringLiteral("--point"),
                        QStringLiteral("12345"), QStringLiteral("--out"),
                        packages.path() + QStringLiteral("/b.tbd")})
                  .code,
              3);
    EXPECT_FALSE(QFile::exists(packages.path() + QStringLiteral("/b.tbd")));

    const Result twice = moved.source.cli(
        {QStringLiteral("db"), QStringLiteral("migrate"), QStringLiteral("--to"), moved.url});
    EXPECT_EQ(twice.code, 3) << twice.err.toStdString();
    EXPECT_EQ(viewer.points(), moved.ids);
    EXPECT_EQ(viewer.rows(QStringLiteral("12345"), QStringLiteral("hourly")).size(), size_t(kHours));
}

// Moved back as the manual shows (`init` in a new folder, then `db migrate --from`): every table holds
// the same rows, field for field, but for the running number (the first field), which the manual says
// the receiving table numbers anew. A second move back into it is refused and changes nothing.
// (`init` lays out today's empty polling-day table, which the copy fills as a missing one.)
TEST(ServerDatabase, MigrationBackIntoAFreshInstallationIsRowForRow) {
    const Server server = Server::find();
    SKIP_WITHOUT_SERVER(server);
    MovedInstallation moved;
    moveToServer(server, moved);
    if (HasFatalFailure()) return;

    Installation copy;
    ASSERT_TRUE(copy.initialised());
    const Result from = copy.cli({QStringLiteral("--json"), QStringLiteral("db"), QStringLiteral("migrate"),
                                  QStringLiteral("--from"), moved.url});
    ASSERT_EQ(from.code, 0) << from.err.toStdString();
    EXPECT_EQ(from.json().value(QStringLiteral("direction")).toString(), QStringLiteral("from-server"));
    EXPECT_EQ(from.json().value(QStringLiteral("check")).toString(), QStringLiteral("passed"));
    const QMap<QString, QList<QStringList>> after = tableFiles(copy.home());
    EXPECT_EQ(after.keys(), moved.before.keys());
    // The records, not each table's own first row: that one is made with the table and carries the time it
    // was made, which a table made by the move cannot share.
    for (auto it = moved.before.begin(); it != moved.before.end(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        const QList<QStringList> copied = after.value(it.key());
        ASSERT_EQ(copied.size(), it.value().size());
        EXPECT_EQ(copied.mid(1), it.value().mid(1));
    }

    const Result intoFull =
        copy.cli({QStringLiteral("db"), QStringLiteral("migrate"), QStringLiteral("--from"), moved.url});
    EXPECT_EQ(intoFull.code, 3) << intoFull.err.toStdString();
    EXPECT_EQ(tableFiles(copy.home()), after);
}

// ---------------------------------------------------------------- 4. refusals

// A URL with a password is refused before any connection and the password never printed; a server that
// cannot be reached is exit 1 and never the files in its place; what works on table files refuses on a
// server with exit 3.
TEST(ServerDatabase, RefusalsOfPasswordsUnreachableServersAndFileCommands) {
    const Server server = Server::find();
    SKIP_WITHOUT_SERVER(server);
    Installation files;
    ASSERT_TRUE(files.initialised());
    ASSERT_EQ(files
                  .cli({QStringLiteral("gas"), QStringLiteral("add"), QStringLiteral("--name"),
                        QStringLiteral("Тільки у файлах"), QStringLiteral("--density"), QStringLiteral("0.7"),
                        QStringLiteral("--co2"), QStringLiteral("0.5"), QStringLiteral("--n2"),
                        QStringLiteral("1.2")})
                  .code,
              0);

    QString withPassword = server.url(freshSchema("pw"));
    withPassword.replace(QStringLiteral("postgresql://tarn@"),
                         QStringLiteral("postgresql://tarn:Zx9secretQ@"));
    ASSERT_TRUE(withPassword.contains(QStringLiteral("Zx9secretQ")));
    for (const QStringList& args : {QStringList{QStringLiteral("--database"), withPassword,
                                                QStringLiteral("points"), QStringLiteral("list")},
                                    QStringList{QStringLiteral("db"), QStringLiteral("use"), withPassword},
                                    QStringList{QStringLiteral("db"), QStringLiteral("migrate"),
                                                QStringLiteral("--to"), withPassword}}) {
        SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
        const Result r = files.cli(args);
        EXPECT_NE(r.code, 0);
        EXPECT_FALSE(r.all().contains(QStringLiteral("Zx9secretQ"))) << r.all().toStdString();
    }
    EXPECT_FALSE(QFile::exists(files.home() + QStringLiteral("/Work/Database.000")));

    // A socket folder where no server listens.
    const QString unreachable = QStringLiteral("postgresql://tarn@/tarn_test?host=%1&schema=nowhere")
                                    .arg(QDir::tempPath() + QStringLiteral("/tarn-no-server-") +
                                         QUuid::createUuid().toString(QUuid::Id128).left(8));
    for (const QStringList& args :
         {QStringList{QStringLiteral("--json"), QStringLiteral("gas"), QStringLiteral("list")},
          QStringList{QStringLiteral("--json"), QStringLiteral("points"), QStringLiteral("list")}}) {
        SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
        const Result r = files.cli(QStringList{QStringLiteral("--database"), unreachable} + args);
        EXPECT_EQ(r.code, 1) << r.all().toStdString();
        EXPECT_FALSE(r.out.contains(QStringLiteral("Тільки у файлах")));
    }
    // The same through the setting.
    ASSERT_EQ(files.cli({QStringLiteral("db"), QStringLiteral("use"), unreachable}).code, 0);
    const Result bySetting =
        files.cli({QStringLiteral("--json"), QStringLiteral("gas"), QStringLiteral("list")});
    EXPECT_EQ(bySetting.code, 1) << bySetting.all().toStdString();
    EXPECT_FALSE(bySetting.out.contains(QStringLiteral("Тільки у файлах")));
    ASSERT_EQ(files.cli({QStringLiteral("db"), QStringLiteral("use"), QStringLiteral("--files")}).code, 0);
    EXPECT_TRUE(files.cli({QStringLiteral("--json"), QStringLiteral("gas"), QStringLiteral("list")})
                    .out.contains(QStringLiteral("Тільки у файлах")));

    // The commands of the table files are refused on a reachable server. The check answers on the files;
    // a package of a point the server holds is compared with the files where the installation is moved; a
    // synchronisation refuses with 3 on files too until its path is set, so here only its code is seen.
    Installation master;
    ASSERT_TRUE(master.initialised());
    EXPECT_EQ(files.cli({QStringLiteral("db"), QStringLiteral("check")}).code, 0);
    const Installation onServer(server.url(freshSchema("fileonly")));
    ASSERT_TRUE(onServer.initialised());
    for (const QStringList& args :
         {QStringList{QStringLiteral("db"), QStringLiteral("check")},
          QStringList{QStringLiteral("package"), QStringLiteral("write"), QStringLiteral("--point"),
                      QStringLiteral("12345")},
          QStringList{QStringLiteral("sync"), QStringLiteral("run"), QStringLiteral("--from"), master.home(),
                      QStringLiteral("--dry-run")}}) {
        SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
        EXPECT_EQ(onServer.cli(args).code, 3);
    }
}

// ---------------------------------------------------------------- 5. groups saved at once

// A registry of three points on the given installation, read from a simulated line.
QStringList registerThreePoints(const Installation& installation) {
    QTemporaryDir scratch;
    Line line;
    QStringList ids;
    EXPECT_TRUE(line.start(scratch.path(), {Device{31001, 1, 2}, Device{31002, 2, 2}, Device{31003, 3, 2}}));
    installation.mapCom1(line.link());
    for (int address : {1, 2, 3}) {
        // Only the points are wanted here: one short archive at the line's top speed registers each.
        const Result r =
            installation.cli({QStringLiteral("--port"), QStringLiteral("COM1"), QStringLiteral("--speed"),
                              QStringLiteral("115200"), QStringLiteral("--address"), QString::number(address),
                              QStringLiteral("--json"), QStringLiteral("store"), QStringLiteral("--archives"),
                              QStringLiteral("monthly")});
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        ids.append(r.json().value(QStringLiteral("point")).toString());
    }
    EXPECT_TRUE(line.finishAndCorrection());
    return ids;
}

// `group save` started as a process and left running, so that several run at the same time.
class PendingSave {
public:
    PendingSave(const QString& home, const QString& database, const QString& group, const QStringList& points)
        : group_(group) {
        args_ << QStringLiteral("--home") << home;
        if (!database.isEmpty()) args_ << QStringLiteral("--database") << database;
        args_ << QStringLiteral("group") << QStringLiteral("save") << group << QStringLiteral("--points")
              << points.join(QLatin1Char(','));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("TARN_HOME"));
        process_.setProcessEnvironment(env);
    }
    void start() { process_.start(tarn::test::cliProgram(), args_); }
    Result finish() {
        Result r;
        if (process_.error() == QProcess::FailedToStart) {
            r.err = QStringLiteral("[did not start: %1]").arg(process_.errorString());
            return r;
        }
        // A retry before runs the event loop, in which a save that has ended is marked finished; waiting
        // for such a one again answers false at once, which is no hang.
        if (process_.state() != QProcess::NotRunning && !process_.waitForFinished(tarn::test::kCliGuardMs)) {
            process_.kill();
            process_.waitForFinished(1000);
            r.err = QStringLiteral("[hung: killed]");
            return r;
        }
        if (process_.exitStatus() == QProcess::NormalExit) r.code = process_.exitCode();
        r.out = QString::fromUtf8(process_.readAllStandardOutput());
        r.err = QString::fromUtf8(process_.readAllStandardError());
        // A crash says which signal ended it: a fault of its own leaves a different one than a kill from
        // outside.
        if (process_.exitStatus() == QProcess::CrashExit)
            r.err += QStringLiteral("\n[ended by signal %1]").arg(process_.exitCode());
        return r;
    }
    QString group() const { return group_; }
    // The same save again, one process at a time, after a refusal.
    Result retry() const { return tarn::test::runCli(args_).text(); }

private:
    QString group_;
    QStringList args_;
    QProcess process_;
};

// Two workstations (two installation folders on one database, or two programs on one installation of
// table files) each save a new group of their own, eight such pairs started together. Every save either
// lands or is refused with exit 3 and a message, and then lands when made again; at the end the group
// list holds every group with the members it was saved with.
void saveGroupsAtOnce(const Installation& first, const Installation& second, const QString& database,
                      const QStringList& ids) {
    constexpr int kPairs = 8;
    std::vector<std::unique_ptr<PendingSave>> saves;
    QMap<QString, QStringList> expected;
    for (int pair = 0; pair < kPairs; ++pair)
        for (const int side : {0, 1}) {
            const Installation* station = side == 0 ? &first : &second;
            const QString name = QStringLiteral("%1-%2").arg(QLatin1Char(side == 0 ? 'A' : 'B')).arg(pair);
            // Each group its own members: one, two or all three points.
            const QStringList members = ids.mid(pair % int(ids.size()), 1 + (pair + side) % 3);
            expected.insert(name, members);
            saves.push_back(std::make_unique<PendingSave>(station->home(), database, name, members));
        }
    for (auto& save : saves)
        save->start();
    int refused = 0;
    for (auto& save : saves) {
        SCOPED_TRACE(save->group().toStdString());
        const Result r = save->finish();
        if (r.code == 3) {
            ++refused;
            EXPECT_FALSE(r.err.trimmed().isEmpty()) << "a refused save says why";
            const Result again = save->retry();
            EXPECT_EQ(again.code, 0) << again.all().toStdString();
        } else {
            EXPECT_EQ(r.code, 0) << r.all().toStdString();
        }
    }
    ::testing::Test::RecordProperty("refusedSaves", refused);

    for (const Installation* station : {&first, &second}) {
        const Result listed =
            station->cli({QStringLiteral("--json"), QStringLiteral("group"), QStringLiteral("list")});
        ASSERT_EQ(listed.code, 0) << listed.err.toStdString();
        QMap<QString, QStringList> found;
        for (const QJsonValue& g : listed.json().value(QStringLiteral("groups")).toArray()) {
            QStringList points;
            for (const QJsonValue& p : g.toObject().value(QStringLiteral("points")).toArray())
                points.append(p.toString());
            found.insert(g.toObject().value(QStringLiteral("name")).toString(), points);
        }
        EXPECT_EQ(found, expected);
    }
}

TEST(SharedGroups, SavedFromManyWorkstationsAtOnceAreAllKept) {
    const Server server = Server::find();
    SKIP_WITHOUT_SERVER(server);
    const QString url = server.url(freshSchema("groups"));
    const Installation first(url), second(url);
    ASSERT_TRUE(first.initialised());
    ASSERT_TRUE(second.initialised());
    const QStringList ids = registerThreePoints(first);
    if (HasFailure()) return;
    saveGroupsAtOnce(first, second, url, ids);
}

// On table files the folder takes the changes in turn: two programs on the one installation.
TEST(SharedGroups, SavedAtOnceOnOneInstallationOfFilesAreAllKept) {
    const Installation files;
    ASSERT_TRUE(files.initialised());
    const QStringList ids = registerThreePoints(files);
    if (HasFailure()) return;
    saveGroupsAtOnce(files, files, {}, ids);
}

// ---------------------------------------------------------------- 6. a move of many batches

// A point whose hourly archive is many times the move's batch: the counts the move reports each way are
// the rows the point lists on the side it came from and on the side it went to.
TEST(ServerDatabase, MigrationOfManyBatchesCountsWhatBothSidesList) {
    const Server server = Server::find();
    SKIP_WITHOUT_SERVER(server);
    // The corrector keeps its latest 1632 hours; read again as its archive moves on (each read adds the
    // hours since the last), the point collects far more than one read returns and many batches of the move.
    constexpr int kFirstHours = 4321, kMoreHoursEachRead = 1600, kReads = 3;
    Installation source;
    ASSERT_TRUE(source.initialised());
    QString id;
    for (int read = 0; read < kReads; ++read) {
        SCOPED_TRACE(read);
        QTemporaryDir scratch;
        Line line;
        ASSERT_TRUE(line.start(scratch.path(), {Device{45678, 1, kFirstHours + read * kMoreHoursEachRead}}));
        source.mapCom1(line.link());
        const Result stored = source.store();
        ASSERT_EQ(stored.code, 0) << stored.err.toStdString();
        ASSERT_TRUE(line.finishAndCorrection());
        id = stored.json().value(QStringLiteral("point")).toString();
        ASSERT_FALSE(id.isEmpty());
    }

    const QStringList archives{QStringLiteral("hourly"),       QStringLiteral("daily"),
                               QStringLiteral("monthly"),      QStringLiteral("abnormal"),
                               QStringLiteral("interference"), QStringLiteral("service"),
                               QStringLiteral("log")};
    QMap<QString, int> listedInFiles;
    std::vector<QMap<QString, QString>> hoursInFiles;
    int pointTotal = 0;
    for (const QString& archive : archives) {
        auto rows = source.rows(id, archive);
        listedInFiles.insert(archive, int(rows.size()));
        pointTotal += listedInFiles.value(archive);
        if (archive == QLatin1String("hourly")) hoursInFiles = std::move(rows);
    }
    ASSERT_GT(listedInFiles.value(QStringLiteral("hourly")), 8 * 500) << "not many batches";
    RecordProperty("hourlyRows", listedInFiles.value(QStringLiteral("hourly")));

    const QString url = server.url(freshSchema("batches"));
    const Result to = source.cli({QStringLiteral("--json"), QStringLiteral("db"), QStringLiteral("migrate"),
                                  QStringLiteral("--to"), url});
    ASSERT_EQ(to.code, 0) << to.err.toStdString();
    const Installation viewer(url);
    ASSERT_TRUE(viewer.initialised());
    Installation copy;
    ASSERT_TRUE(copy.initialised());
    const Result from = copy.cli({QStringLiteral("--json"), QStringLiteral("db"), QStringLiteral("migrate"),
                                  QStringLiteral("--from"), url});
    ASSERT_EQ(from.code, 0) << from.err.toStdString();
    // What the server and the copy list, asked once each (thousands of rows a listing): nothing changes
    // them between the checks of the two moves below.
    QMap<QString, int> listedOnServer, listedInCopy;
    std::vector<QMap<QString, QString>> hoursOnServer, hoursInCopy;
    for (const QString& archive : archives) {
        auto onServer = viewer.rows(id, archive);
        auto inCopy = copy.rows(id, archive);
        listedOnServer.insert(archive, int(onServer.size()));
        listedInCopy.insert(archive, int(inCopy.size()));
        if (archive != QLatin1String("hourly")) continue;
        hoursOnServer = std::move(onServer);
        hoursInCopy = std::move(inCopy);
    }

    for (const Result* move : {&to, &from}) {
        SCOPED_TRACE(move == &to ? "to the server" : "back into files");
        const QJsonObject answer = move->json();
        EXPECT_EQ(answer.value(QStringLiteral("check")).toString(), QStringLiteral("passed"));
        EXPECT_TRUE(answer.value(QStringLiteral("mismatches")).toArray().isEmpty());
        EXPECT_EQ(answer.value(QStringLiteral("pointRows")).toObject().value(id).toInt(), pointTotal);
        const QJsonObject kinds = answer.value(QStringLiteral("kinds")).toObject();
        for (const QString& archive : archives) {
            SCOPED_TRACE(archive.toStdString());
            const QJsonObject tally = kinds.value(archive).toObject();
            EXPECT_EQ(tally.value(QStringLiteral("rows")).toInt(), listedInFiles.value(archive));
            EXPECT_EQ(tally.value(QStringLiteral("mismatched")).toInt(), 0);
            EXPECT_EQ(listedOnServer.value(archive), listedInFiles.value(archive));
            EXPECT_EQ(listedInCopy.value(archive), listedInFiles.value(archive));
        }
    }
    // Row for row, in order, across the batch boundaries.
    const auto original = comparable(hoursInFiles);
    EXPECT_EQ(comparable(hoursOnServer), original);
    EXPECT_EQ(comparable(hoursInCopy), original);
}

} // namespace
