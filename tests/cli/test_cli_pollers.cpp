// Several pollers on one server database, as processes: two tarn-cli scheduled polls at once, each on
// a machine of its own (an installation folder with its own four simulated lines) against one schema.
// The claims on the server are all that keeps them apart: every point is polled by exactly one of them,
// and a poller killed in the middle of its work loses nothing and doubles nothing; the point it held is
// polled by the other once its lease has run out.
#include "database/PgTestSupport.h"
#include "support/SimProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QSysInfo>
#include <array>
#include <memory>
#include <signal.h>

using namespace tarn;

namespace {

constexpr int kLines = 4;
constexpr int kPerLine = 5;
// Generous: a loaded machine runs the Debug programs slowly; nothing is timed against it.
constexpr int kDeadlineMs = 240'000;

// The point on a line at an address: serial 3LA0A as the simulator's corrector says it.
int serialOf(int line, int address) {
    return 30000 + line * 100 + address;
}
QString pointOf(int line, int address) {
    return QString::number(serialOf(line, address));
}
QStringList allPoints() {
    QStringList points;
    for (int line = 1; line <= kLines; ++line)
        for (int address = 1; address <= kPerLine; ++address)
            points.append(pointOf(line, address));
    return points;
}

// A line's correctors with an hourly archive of so many hours from 1 March 2024.
QByteArray lineScenario(int line, int hours) {
    QJsonArray devices;
    for (int address = 1; address <= kPerLine; ++address)
        devices.append(
            QJsonObject{{QStringLiteral("role"), QStringLiteral("corrector")},
                        {QStringLiteral("preset"), QStringLiteral("series1")},
                        {QStringLiteral("address"), address},
                        {QStringLiteral("serial"), serialOf(line, address)},
                        {QStringLiteral("passwords"),
                         QJsonArray{QStringLiteral("1111"), QStringLiteral("2222"), QStringLiteral("3333"),
                                    QStringLiteral("4444"), QStringLiteral("5555"), QStringLiteral("6666"),
                                    QStringLiteral("7777")}},
                        {QStringLiteral("archive"),
                         QJsonObject{{QStringLiteral("start"), QStringLiteral("01.03.2024 00:00")},
                                     {QStringLiteral("hours"), hours},
                                     {QStringLiteral("flow"), 10.0}}}});
    return QJsonDocument(QJsonObject{{QStringLiteral("devices"), devices}}).toJson();
}

// One poller's machine: its installation folder and its four lines, COM1 … COM4 in its port map.
struct Machine {
    test::TempHome home;
    std::array<std::unique_ptr<test::SimProcess>, kLines> sims;

    // The lines (again) with archives of so many hours: a restart is the next night's correctors.
    bool startLines(int hours) {
        QByteArray map;
        for (int line = 1; line <= kLines; ++line) {
            sims[line - 1].reset();
            const QString link = home.root().root() + QStringLiteral("/COM%1").arg(line);
            map += QStringLiteral("COM%1 %2\r\n").arg(line).arg(link).toUtf8();
            sims[line - 1] = std::make_unique<test::SimProcess>();
            if (!sims[line - 1]->start(QStringLiteral(TARN_SIM_PROGRAM),
                                       home.root().root() + QStringLiteral("/line%1.json").arg(line),
                                       lineScenario(line, hours), link))
                return false;
        }
        home.write(folder::Work, QStringLiteral("PortMap.000"), map);
        return true;
    }
};

struct Result {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

QProcessEnvironment cliEnvironment(int leaseSeconds) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("TARN_HOME"));
    if (leaseSeconds > 0)
        env.insert(QStringLiteral("TARN_CLAIM_LEASE_SECONDS"), QString::number(leaseSeconds));
    return env;
}

Result cli(const QStringList& args, int leaseSeconds = 0) {
    QProcess p;
    p.setProcessEnvironment(cliEnvironment(leaseSeconds));
    p.start(QStringLiteral(TARN_CLI_PROGRAM), args);
    test::waitUntil([&] { return p.state() == QProcess::NotRunning; }, kDeadlineMs);
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

// A poll running beside the test, its output gathered as it comes.
struct Poller {
    QProcess process;
    QByteArray out;
    QByteArray err;

    void start(const QStringList& args, int leaseSeconds) {
        process.setProcessEnvironment(cliEnvironment(leaseSeconds));
        QObject::connect(&process, &QProcess::readyReadStandardOutput,
                         [this] { out += process.readAllStandardOutput(); });
        QObject::connect(&process, &QProcess::readyReadStandardError,
                         [this] { err += process.readAllStandardError(); });
        process.start(QStringLiteral(TARN_CLI_PROGRAM), args);
    }
    bool finished() const { return process.state() == QProcess::NotRunning; }
    // The claimer's name the poller has on the server: its host and process id.
    QString claimer() const {
        return QSysInfo::machineHostName() + QLatin1Char(':') + QString::number(process.processId());
    }
    // The points its summary says it polled (the --json summary of a finished run).
    QStringList polled() const {
        QStringList points;
        for (const QJsonValue& v : QJsonDocument::fromJson(out).object()[QStringLiteral("points")].toArray())
            points.append(v.toObject()[QStringLiteral("point")].toString());
        return points;
    }
};

class CliPollers : public test::PgTest {
protected:
    QStringList on(const Machine& m) const {
        return {QStringLiteral("--home"), m.home.root().root(), QStringLiteral("--database"), url_};
    }
    QString table(const char* name) const {
        return database::postgres::quotedIdentifier(schema_.schema) + QLatin1Char('.') + QLatin1String(name);
    }
    // Per point: "point|count" of the rows a query gives, for every point of the group (0 when none).
    QStringList countsPerPoint(const QString& sql) const {
        QStringList counts;
        for (const QString& point : allPoints())
            counts.append(point + QLatin1Char('|') + rows(sql, {point}).value(0));
        return counts;
    }
    QStringList expectedPerPoint(int count) const {
        QStringList counts;
        for (const QString& point : allPoints())
            counts.append(point + QLatin1Char('|') + QString::number(count));
        return counts;
    }
    int hourlyRecords(const QString& point) const {
        return rows(QStringLiteral("SELECT count(*) FROM ") + table("hourly") +
                        QStringLiteral(" WHERE point = ? AND hnumwrcor > 0"),
                    {point})
            .value(0)
            .toInt();
    }
    // Records stored twice: the same record of the corrector (its number) more than once. Number 0 is
    // no record of the corrector's but the table's seed row, which each reading may write.
    QStringList doubledHours() const {
        return rows(QStringLiteral("SELECT point, hnumwrcor, count(*) FROM ") + table("hourly") +
                    QStringLiteral(" WHERE hnumwrcor > 0 GROUP BY point, hnumwrcor HAVING count(*) > 1"));
    }

    database::postgres::DatabaseUrl schema_;
    QString url_;
};

} // namespace

TEST_F(CliPollers, TwoPollersShareAGroupAndAKilledOnesPointIsTakenOverAfterItsLease) {
    schema_ = freshSchema();
    url_ = schema_.toString();
    Machine first;
    Machine second;
    constexpr int kFirstNight = 6;
    ASSERT_TRUE(first.startLines(kFirstNight));
    ASSERT_TRUE(second.startLines(kFirstNight));

    // The points enter the shared registry as a reading of their daily archive adds them, from one
    // machine; the group is saved on both, as each installation keeps its own group files.
    for (int line = 1; line <= kLines; ++line)
        for (int address = 1; address <= kPerLine; ++address) {
            const Result r =
                cli(on(first) + QStringList{QStringLiteral("--port"), QStringLiteral("COM%1").arg(line),
                                            QStringLiteral("--address"), QString::number(address),
                                            QStringLiteral("store"), QStringLiteral("--archives"),
                                            QStringLiteral("daily")});
            ASSERT_EQ(r.code, 0) << pointOf(line, address).toStdString() << ": " << r.err.toStdString();
        }
    // A window of the day's schedule: the claims count a point polled in it as done for every poller
    // (a group started by hand belongs to no window, and each run of it polls every point again). The
    // next night is another window of another group of the same points.
    const auto saveGroup = [&](const QString& name, const QString& window) {
        for (const Machine* m : {&first, &second}) {
            const Result r =
                cli(on(*m) + QStringList{QStringLiteral("group"), QStringLiteral("save"), name,
                                         QStringLiteral("--points"), allPoints().join(QLatin1Char(',')),
                                         QStringLiteral("--schedule"), window, QStringLiteral("--flags"),
                                         QStringLiteral("0110000000")});
            ASSERT_EQ(r.code, 0) << r.err.toStdString();
        }
    };
    saveGroup(QStringLiteral("Night"), QStringLiteral("00:00-23:59-23:59"));
    const QStringList pollGroup{QStringLiteral("--json"), QStringLiteral("poll"),
                                QStringLiteral("--schedule"), QStringLiteral("--ports"),
                                QStringLiteral("COM1,COM2,COM3,COM4")};

    // Both at once, each with every line.
    {
        Poller a;
        Poller b;
        a.start(on(first) + pollGroup, 0);
        b.start(on(second) + pollGroup, 0);
        ASSERT_TRUE(test::waitUntil([&] { return a.finished() && b.finished(); }, kDeadlineMs));
        ASSERT_EQ(a.process.exitCode(), 0) << a.err.toStdString();
        ASSERT_EQ(b.process.exitCode(), 0) << b.err.toStdString();
        // Each point polled by exactly one of them: their summaries split the group, and the server's
        // join table has one row of the group's run per point.
        const QStringList byA = a.polled();
        const QStringList byB = b.polled();
        QStringList both = byA + byB;
        both.sort();
        QStringList expected = allPoints();
        expected.sort();
        EXPECT_EQ(both, expected) << "A: " << byA.join(' ').toStdString()
                                  << "\nB: " << byB.join(' ').toStdString();
        EXPECT_EQ(countsPerPoint(QStringLiteral("SELECT count(*) FROM ") + table("join_table") +
                                 QStringLiteral(" WHERE jidentif = ? AND jresult = 'норма'")),
                  expectedPerPoint(1));
    }
    // What was stored is what one poller stores: every record of the simulator's archive once.
    const int firstNightRecords = hourlyRecords(pointOf(1, 1));
    EXPECT_GT(firstNightRecords, 0);
    EXPECT_EQ(countsPerPoint(QStringLiteral("SELECT count(*) FROM ") + table("hourly") +
                             QStringLiteral(" WHERE point = ? AND hnumwrcor > 0")),
              expectedPerPoint(firstNightRecords));
    EXPECT_TRUE(doubledHours().isEmpty()) << doubledHours().join('\n').toStdString();
    EXPECT_TRUE(rows(QStringLiteral("SELECT point FROM ") + table("claims") +
                     QStringLiteral(" WHERE claimer <> '' AND lease_until > now()"))
                    .isEmpty())
        << "a finished run holds nothing";

    // The next night, with new hours in every archive and a short lease: one poller is killed once it has
    // stored its first point.
    constexpr int kSecondNight = 12;
    constexpr int kLease = 4;
    saveGroup(QStringLiteral("Night2"), QStringLiteral("00:01-23:59-23:58"));
    ASSERT_TRUE(first.startLines(kSecondNight));
    ASSERT_TRUE(second.startLines(kSecondNight));
    Poller doomed;
    Poller survivor;
    doomed.start(on(first) + pollGroup, kLease);
    survivor.start(on(second) + pollGroup, kLease);
    ASSERT_TRUE(test::waitUntil([&] { return doomed.err.contains("опрос завершен") || doomed.finished(); },
                                kDeadlineMs));
    ASSERT_FALSE(doomed.finished()) << doomed.err.toStdString();
    const QString doomedName = doomed.claimer();
    ::kill(static_cast<pid_t>(doomed.process.processId()), SIGKILL);
    ASSERT_TRUE(test::waitUntil([&] { return doomed.finished(); }, kDeadlineMs));
    // What it held when it died, if anything: held for the rest of its lease, not for ever.
    const QStringList held = rows(QStringLiteral("SELECT point FROM ") + table("claims") +
                                      QStringLiteral(" WHERE claimer = ? AND lease_until > now()"),
                                  {doomedName});
    EXPECT_LE(held.size(), 1);
    ASSERT_TRUE(test::waitUntil([&] { return survivor.finished(); }, kDeadlineMs));
    EXPECT_EQ(survivor.process.exitCode(), 0) << survivor.err.toStdString();
    ASSERT_TRUE(test::waitUntil(
        [&] {
            return rows(QStringLiteral("SELECT point FROM ") + table("claims") +
                            QStringLiteral(" WHERE claimer = ? AND lease_until > now()"),
                        {doomedName})
                .isEmpty();
        },
        kDeadlineMs));

    // The points the night left unpolled are the dead poller's only: polled now, each by itself, from
    // the surviving machine.
    QStringList leftOver;
    for (const QString& point : allPoints())
        if (hourlyRecords(point) < firstNightRecords + (kSecondNight - kFirstNight)) leftOver.append(point);
    for (const QString& point : leftOver) {
        EXPECT_TRUE(held.contains(point)) << point.toStdString() << " was not the dead poller's\n"
                                          << survivor.err.toStdString();
        // By itself a point is polled for its own items: the group's, here.
        const Result flags =
            cli(on(second) + QStringList{QStringLiteral("points"), QStringLiteral("config"), point,
                                         QStringLiteral("--flags"), QStringLiteral("01100000000")});
        ASSERT_EQ(flags.code, 0) << flags.err.toStdString();
        const Result r =
            cli(on(second) + QStringList{QStringLiteral("poll"), QStringLiteral("--point"), point}, kLease);
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
    }
    // Nothing lost, nothing doubled: every record of the longer archive once, on every point.
    EXPECT_EQ(countsPerPoint(QStringLiteral("SELECT count(*) FROM ") + table("hourly") +
                             QStringLiteral(" WHERE point = ? AND hnumwrcor > 0")),
              expectedPerPoint(firstNightRecords + (kSecondNight - kFirstNight)));
    EXPECT_TRUE(doubledHours().isEmpty()) << doubledHours().join('\n').toStdString();
}

TEST_F(CliPollers, APointAnotherPollerHoldsIsBusyToASinglePoll) {
    schema_ = freshSchema();
    url_ = schema_.toString();
    Machine m;
    ASSERT_TRUE(m.startLines(2));
    Result r =
        cli(on(m) + QStringList{QStringLiteral("--port"), QStringLiteral("COM1"), QStringLiteral("--address"),
                                QStringLiteral("1"), QStringLiteral("store"), QStringLiteral("--archives"),
                                QStringLiteral("daily")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QString point = pointOf(1, 1);

    // Another workstation's poller holds the point: a poll of it by itself is refused as busy.
    QSqlQuery q(admin());
    q.prepare(
        QStringLiteral("INSERT INTO ") + table("claims") +
        QStringLiteral(" (point, claimer, lease_until) VALUES (?, 'desk-7:42', now() + interval '1 hour')"));
    q.addBindValue(point);
    ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
    const int requestsBefore = rows(QStringLiteral("SELECT count(*) FROM ") + table("request_log") +
                                        QStringLiteral(" WHERE point = ?"),
                                    {point})
                                   .value(0)
                                   .toInt();
    r = cli(on(m) + QStringList{QStringLiteral("--lang"), QStringLiteral("ru"), QStringLiteral("poll"),
                                QStringLiteral("--point"), point});
    EXPECT_EQ(r.code, 3) << "refused";
    EXPECT_TRUE(r.err.contains("Занято !!!")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("desk-7:42")) << r.err.toStdString();
    EXPECT_EQ(rows(QStringLiteral("SELECT count(*) FROM ") + table("request_log") +
                       QStringLiteral(" WHERE point = ?"),
                   {point})
                  .value(0)
                  .toInt(),
              requestsBefore)
        << "nothing was dialled";

    // Given back: the same poll claims it, polls it and leaves it free.
    ASSERT_TRUE(q.exec(QStringLiteral("UPDATE ") + table("claims") + QStringLiteral(" SET claimer = ''")));
    r = cli(on(m) + QStringList{QStringLiteral("poll"), QStringLiteral("--point"), point});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(
        rows(QStringLiteral("SELECT claimer FROM ") + table("claims") + QStringLiteral(" WHERE point = ?"),
             {point}),
        QStringList{QString()});
}
