// The --json answers no other test asks for, each produced once against the simulator and checked against
// its command's published schema (the check every tarn-cli run of the suite makes).
#include "common/DataRoot.h"
#include "support/CliRunner.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace tarn;

namespace {

// What the command printed, and its words for the failure messages.
struct Answer : test::CliResult {
    QString command;
};

// An installation whose COM1 is the simulator program on a pseudo-terminal.
struct JsonBench {
    test::TempHome home;
    test::SimProcess sim;

    bool start(const QByteArray& scenario) {
        const QString linkPath = home.root().root() + QStringLiteral("/COM1");
        home.write(folder::Work, QStringLiteral("PortMap.000"),
                   QByteArray("COM1 ") + linkPath.toUtf8() + "\r\n");
        home.write(folder::Work, QStringLiteral("Q_RS.000"), "1\r\n");
        return sim.start(QStringLiteral(TARN_SIM_PROGRAM),
                         home.root().root() + QStringLiteral("/scenario.json"), scenario, linkPath);
    }
    // The command with --json; an answer that is printed must fit its schema.
    Answer json(const QString& words, const QStringList& more = {}) const {
        const QStringList args =
            QStringList{QStringLiteral("--home"), home.root().root(), QStringLiteral("--json")} +
            words.split(QLatin1Char(' '), Qt::SkipEmptyParts) + more;
        Answer a{test::runCli(args), words};
        return a;
    }
};

QByteArray scenarioFile(const char* name) {
    QFile f(QStringLiteral(TARN_SOURCE_DIR "/tools/corrector-sim/scenarios/") + QLatin1String(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The command succeeded and printed its answer (which the run has checked against the schema).
void expectAnswered(const Answer& a) {
    EXPECT_EQ(a.code, 0) << a.command.toStdString() << ": " << a.err.toStdString();
    EXPECT_FALSE(a.json().isEmpty()) << a.command.toStdString() << ": " << a.out.toStdString();
}

} // namespace

// A stored month: the settings, the registry, the reports, listings and protocols over it, the corrector's
// clock written and its parameter file programmed back, the port scan, and the point erased at the end.
TEST(CliJsonAnswers, TheSettingsRegistryReportsAndCorrectorCommands) {
    JsonBench b;
    ASSERT_TRUE(b.start(scenarioFile("report-month.json")));
    Answer a =
        b.json(QStringLiteral("store --archives hourly,daily,monthly,abnormal,interference --until-empty"));
    ASSERT_EQ(a.code, 0) << a.err.toStdString();
    const QString point = a.json().value(QStringLiteral("point")).toString();
    ASSERT_FALSE(point.isEmpty());

    for (const char* words : {"settings show", "settings defaults", "settings ports", "settings language",
                              "settings service-level 0000", "gas list"})
        expectAnswered(b.json(QString::fromLatin1(words)));
    EXPECT_EQ(b.json(QStringLiteral("settings ports")).json().value(QStringLiteral("ports")).toArray().size(),
              1);

    const QStringList made{QStringLiteral("--made"), QStringLiteral("10.04.2024 08:00:00")};
    const QString day = QStringLiteral("--point %1 --period day --from 05.03.2024").arg(point);
    a = b.json(QStringLiteral("report ") + day, made);
    expectAnswered(a);
    EXPECT_TRUE(a.json().value(QStringLiteral("lines")).isArray());
    a = b.json(QStringLiteral("report ") + day,
               made +
                   QStringList{QStringLiteral("--out"), b.home.root().root() + QStringLiteral("/day.txt")});
    expectAnswered(a);
    EXPECT_GT(a.json().value(QStringLiteral("lines")).toInt(), 10);
    expectAnswered(b.json(QStringLiteral("report --point %1 --period params").arg(point), made));
    expectAnswered(b.json(QStringLiteral("listing --archive hourly ") + day, made));

    ASSERT_EQ(b.json(QStringLiteral("group save Схід --points ") + point).code, 0);
    a = b.json(QStringLiteral("group alarms Схід --from 01.03.2024 --to 31.03.2024"));
    expectAnswered(a);
    expectAnswered(b.json(QStringLiteral("protocol list --points"), made));
    ASSERT_EQ(b.json(QStringLiteral("gas add --name Північ --density 0.7 --co2 0.1 --n2 0.9")).code, 0);
    expectAnswered(b.json(QStringLiteral("protocol list --gas"), made));

    // The clock under the configurator's password, then the parameter file written back as it was read.
    expectAnswered(b.json(QStringLiteral("clock set --password 6:6666"),
                          {QStringLiteral("--value"), QStringLiteral("10.03.2024 10:00")}));
    expectAnswered(b.json(QStringLiteral("clock correct --value 1 --password 6:6666")));
    a = b.json(
        QStringLiteral("program --point %1 --password 6666 --date 10.03.2024 --time 10:05").arg(point));
    expectAnswered(a);
    EXPECT_TRUE(a.json().value(QStringLiteral("written")).toBool()) << a.err.toStdString();

    // The scan stops below the port count of Work/Q_RS.000, which the port listing takes as the last port.
    b.home.write(folder::Work, QStringLiteral("Q_RS.000"), "2\r\n");
    a = b.json(QStringLiteral("scan --mode corrector"));
    expectAnswered(a);
    EXPECT_EQ(a.json().value(QStringLiteral("found")).toArray(), QJsonArray{QStringLiteral("COM1")})
        << a.out.toStdString();

    a = b.json(QStringLiteral("points erase ") + point);
    expectAnswered(a);
    EXPECT_EQ(a.json().value(QStringLiteral("erased")).toString(), point);
}

// The transfer unit's test and erase, and a meter-coefficient table written from its file.
TEST(CliJsonAnswers, TheTransferUnitAndTheCoefficientTable) {
    {
        JsonBench b;
        ASSERT_TRUE(b.start(R"({"role": "dtu16", "zones": [{"status": 3, "corrector": {"serial": 1234,
            "identification": "T Tarn-sim T47a"}}, {"status": 0}]})"));
        expectAnswered(b.json(QStringLiteral("dtu test")));
        const Answer erased = b.json(QStringLiteral("dtu erase --yes"));
        expectAnswered(erased);
        EXPECT_EQ(erased.json().value(QStringLiteral("zones")).toArray().size(), 16);
    }
    JsonBench b;
    ASSERT_TRUE(b.start(R"({"role": "corrector", "address": 1, "preset": "meter-coef",
        "passwords": ["1111", "2222", "3333", "4444", "5555", "5831", "7777"]})"));
    const QString file = b.home.path("Report", QStringLiteral("04870.whi"));
    ASSERT_EQ(b.json(QStringLiteral("coef read --out"), {file}).code, 0);
    const Answer written = b.json(QStringLiteral("coef write --password 7:7777 --file"), {file});
    expectAnswered(written);
    EXPECT_EQ(written.json().value(QStringLiteral("table")).toString(), QStringLiteral("meter"));
}
