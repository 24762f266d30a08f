// tarn-cli as a process: laying out an installation, the settings file, opening the port.
#include "SimLine.h"
#include "common/DateTimeText.h"
#include "support/CliRunner.h"
#include "support/DatabaseFaults.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <csignal>
#include <gtest/gtest.h>

using namespace tarn;

namespace {
using Result = test::CliResult;

// Runs tarn-cli while the event loop keeps serving an in-process simulator line.
Result cli(const QStringList& args) {
    return test::runCli(args);
}
} // namespace

TEST(Cli, InitThenSettingsDefaultsShowAndSet) {
    QTemporaryDir dir;
    const QString home = dir.path() + QStringLiteral("/inst");
    Result r = cli({QStringLiteral("--home"), home, QStringLiteral("--json"), QStringLiteral("init")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.json().value(QStringLiteral("ok")).toBool());
    DataRoot root(home);
    EXPECT_TRUE(QFile::exists(root.file(folder::Doc, QStringLiteral("Tarn.pdf"))));

    r = cli({QStringLiteral("--home"), home, QStringLiteral("settings"), QStringLiteral("defaults")});
    ASSERT_EQ(r.code, 0);
    // The 22 lines of the link settings, then the installation's volume decimals.
    EXPECT_EQ(r.out.count('\n'), 23);
    EXPECT_TRUE(r.out.startsWith("Tarn-2.55\nCOM1\nCOM1\nLPT1\n19200\n6000\n6\n0000000000000\n"));
    EXPECT_TRUE(r.out.endsWith("\nvolumeDecimals=2\n"));

    // A repeat count out of its range is refused, and nothing of the command is written.
    r = cli({QStringLiteral("--home"), home, QStringLiteral("--json"), QStringLiteral("settings"),
             QStringLiteral("set"), QStringLiteral("corrPort=COM4"), QStringLiteral("retryCount=999")});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("retryCount is 1..250")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(root.file(folder::Work, QStringLiteral("FileInRS.000"))));
    r = cli({QStringLiteral("--home"), home, QStringLiteral("--json"), QStringLiteral("settings"),
             QStringLiteral("set"), QStringLiteral("corrPort=COM4"), QStringLiteral("retryCount=250"),
             QStringLiteral("speed=921Кбод")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json().value(QStringLiteral("retryCount")).toString(), QStringLiteral("250"));
    EXPECT_EQ(r.json().value(QStringLiteral("baudRate")).toInt(), 921000);
    QFile f(root.file(folder::Work, QStringLiteral("FileInRS.000")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray file = f.readAll();
    EXPECT_TRUE(file.startsWith("Tarn-2.55\r\nCOM4\r\n"));
    EXPECT_EQ(file.count("\r\n"), 22);

    r = cli({QStringLiteral("--home"), home, QStringLiteral("settings"), QStringLiteral("set"),
             QStringLiteral("colour=red")});
    EXPECT_EQ(r.code, 2);

    r = cli({QStringLiteral("--home"), home, QStringLiteral("settings"), QStringLiteral("service-level"),
             QStringLiteral("942")});
    EXPECT_EQ(r.out.trimmed(), QByteArray("5"));
}

TEST(Cli, ConsoleSettingsSetWritesTheFilesTheWindowWritesAndRefusesAsItDoes) {
    QTemporaryDir dir;
    const QString home = dir.path() + QStringLiteral("/inst");
    // The autostart entry goes under this test's folder, never into the real home.
    qputenv("XDG_CONFIG_HOME", (dir.path() + QStringLiteral("/config")).toUtf8());
    ASSERT_EQ(cli({QStringLiteral("--home"), home, QStringLiteral("init")}).code, 0);
    DataRoot root(home);
    const auto fileBytes = [&root](const char* folderName, const char* name) {
        QFile f(root.file(folderName, QString::fromLatin1(name)));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    Result r =
        cli({QStringLiteral("--home"), home, QStringLiteral("--json"), QStringLiteral("console"),
             QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("soundFile=Alarm5.wav"),
             QStringLiteral("csv=1"), QStringLiteral("csvOperative=1"), QStringLiteral("delimiter= ; "),
             QStringLiteral("autorun=1"), QStringLiteral("extraRecordCheck=1")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json().value(QStringLiteral("soundFile")).toString(), QStringLiteral("Alarm5.wav"));
    EXPECT_EQ(r.json().value(QStringLiteral("delimiter")).toString(), QStringLiteral(";"));
    EXPECT_TRUE(r.json().value(QStringLiteral("csvOperative")).toBool());
    EXPECT_TRUE(r.json().value(QStringLiteral("autostartEntryPresent")).toBool());
    EXPECT_EQ(fileBytes(folder::Work, "Tuning.000"),
              QByteArray("Alarm5.wav\r\n1\r\n1\r\n1\r\n1\r\n0\r\n0\r\n1\r\n0\r\n0\r\n0\r\n1\r\n0\r\n1\r\n"));
    EXPECT_EQ(fileBytes(folder::Current, "Delim.000"), QByteArray(";\r\n"));
    EXPECT_TRUE(QFile::exists(dir.path() + QStringLiteral("/config/autostart/Tarn_B.desktop")));

    r = cli({QStringLiteral("--home"), home, QStringLiteral("console"), QStringLiteral("settings")});
    ASSERT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.contains("\ncsvOperative=1\n"));
    EXPECT_FALSE(r.out.contains("viewerCycle")); // not a synchronised copy

    // Refusals change nothing: a sound the installation does not have, a switch that is no switch, the
    // refresh cycle outside a synchronised copy.
    for (const char* bad : {"soundFile=Alarm11.wav", "alarm=yes", "waitMinutes=10", "colour=1"}) {
        r = cli({QStringLiteral("--home"), home, QStringLiteral("console"), QStringLiteral("settings"),
                 QStringLiteral("set"), QStringLiteral("analogClock=1"), QString::fromLatin1(bad)});
        EXPECT_EQ(r.code, 2) << bad;
        EXPECT_FALSE(r.err.isEmpty());
    }
    EXPECT_TRUE(fileBytes(folder::Work, "Tuning.000").startsWith("Alarm5.wav\r\n1\r\n1\r\n1\r\n1\r\n0\r\n"));

    // A synchronised copy: the window's refusal of equal minutes, word for word, and Inst.000 untouched.
    ASSERT_EQ(cli({QStringLiteral("--home"), home, QStringLiteral("settings"), QStringLiteral("set"),
                   QStringLiteral("syncOn=1"), QStringLiteral("syncPath=") + dir.path()})
                  .code,
              0);
    r = cli({QStringLiteral("--home"), home, QStringLiteral("console"), QStringLiteral("settings"),
             QStringLiteral("set"), QStringLiteral("viewerCycle=1"), QStringLiteral("startMinutes=30"),
             QStringLiteral("waitMinutes=30")});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(
        QStringLiteral("Внимание!!! время до-\"Wait.000\" должно быть меньше времени до-\"Start.000\"")))
        << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(root.file(folder::Synchr, QStringLiteral("Inst.000"))));
    r = cli({QStringLiteral("--home"), home, QStringLiteral("--json"), QStringLiteral("console"),
             QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("viewerCycle=1"),
             QStringLiteral("startMinutes=30"), QStringLiteral("waitMinutes=20")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json().value(QStringLiteral("waitMinutes")).toInt(), 20);
    EXPECT_EQ(fileBytes(folder::Synchr, "Inst.000"), QByteArray("1\r\n30\r\n20\r\n"));
    qunsetenv("XDG_CONFIG_HOME");
}

TEST(Cli, PortOpenReachesTheSimulatorAndReportsAMissingPort) {
    test::TempHome home;
    sim::PtyLine line;
    QString error;
    ASSERT_TRUE(line.open(error));
    home.write(folder::Work, QStringLiteral("PortMap.000"),
               QByteArray("COM1 ") + line.slavePath().toUtf8() + "\r\nCOM2 /nonexistent/tty\r\n");
    Result r = cli({QStringLiteral("--home"), home.root().root(), QStringLiteral("--json"),
                    QStringLiteral("port"), QStringLiteral("open")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.json().value(QStringLiteral("open")).toBool());
    EXPECT_EQ(r.json().value(QStringLiteral("device")).toString(), line.slavePath());

    r = cli({QStringLiteral("--home"), home.root().root(), QStringLiteral("--port"), QStringLiteral("COM2"),
             QStringLiteral("--lang"), QStringLiteral("ru"), QStringLiteral("port"), QStringLiteral("open")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.contains("Номер  COM - порта: COM2"));
    EXPECT_TRUE(r.err.contains("COM2"));
}

TEST(Cli, UnknownCommandsAndBadOptionsAreUsageErrors) {
    EXPECT_EQ(cli({QStringLiteral("frobnicate")}).code, 2);
    EXPECT_EQ(cli({QStringLiteral("--address"), QStringLiteral("15"), QStringLiteral("settings")}).code, 2);
    EXPECT_EQ(cli({QStringLiteral("--lang"), QStringLiteral("de"), QStringLiteral("settings")}).code, 2);

    // Every command checks its own options: a typo never runs silently without what it meant.
    QTemporaryDir dir;
    Result r = cli({QStringLiteral("--home"), dir.path(), QStringLiteral("settings"), QStringLiteral("show"),
                    QStringLiteral("--frobnicate")});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("frobnicate")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("usage: tarn-cli [global options] settings"));
    r = cli({QStringLiteral("--home"), dir.path(), QStringLiteral("item"), QStringLiteral("set"),
             QStringLiteral("--item"), QStringLiteral("1"), QStringLiteral("--value"), QStringLiteral("0.7"),
             QStringLiteral("--pasword"), QStringLiteral("1:1234")});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("pasword"));
    // A missing value.
    r = cli({QStringLiteral("--home"), dir.path(), QStringLiteral("item"), QStringLiteral("get"),
             QStringLiteral("--item")});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("usage: tarn-cli [global options] item"));
    // A unit that does not fit the item, before anything is sent.
    r = cli({QStringLiteral("--home"), dir.path(), QStringLiteral("item"), QStringLiteral("get"),
             QStringLiteral("--item"), QStringLiteral("6"), QStringLiteral("--unit"),
             QStringLiteral("mmHg")});
    EXPECT_EQ(r.code, 2);

    // COMMAND --help: that command's options.
    r = cli({QStringLiteral("item"), QStringLiteral("--help")});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.contains("--password FIELD:DIGITS")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("7 verifier"));
    EXPECT_TRUE(r.out.contains("--unit UNIT"));
    r = cli({QStringLiteral("exchange"), QStringLiteral("--help")});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.contains("--blocks N"));
}

namespace {
// The simulator program on a pseudo-terminal, mapped as COM1 of the installation.
struct SimProgram {
    test::SimProcess sim;
    bool start(const test::TempHome& home, const QByteArray& scenarioJson) {
        const QString linkPath = home.root().root() + QStringLiteral("/COM1");
        home.write(folder::Work, QStringLiteral("PortMap.000"),
                   QByteArray("COM1 ") + linkPath.toUtf8() + "\r\n");
        return sim.start(QStringLiteral(TARN_SIM_PROGRAM),
                         home.root().root() + QStringLiteral("/scenario.json"), scenarioJson, linkPath);
    }
};
} // namespace

TEST(Cli, IdentifyAgainstTheSimulatedCorrector) {
    test::TempHome home;
    SimProgram sim;
    ASSERT_TRUE(
        sim.start(home, R"({"role": "corrector", "serial": 4000, "identification": "V Tarn-sim r44s"})"));
    Result r = cli(
        {QStringLiteral("--home"), home.root().root(), QStringLiteral("--json"), QStringLiteral("identify")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject o = r.json();
    EXPECT_EQ(o.value(QStringLiteral("modelLetter")).toString(), QStringLiteral("r"));
    EXPECT_EQ(o.value(QStringLiteral("version")).toString(), QStringLiteral("44s"));
    EXPECT_TRUE(
        o.value(QStringLiteral("identification")).toString().startsWith(QStringLiteral("V Tarn-sim r44s")));
    const QJsonObject p = o.value(QStringLiteral("profile")).toObject();
    for (const char* key :
         {"series2Model", "meterCoefModel", "calibModel", "calibModel2", "hfModel", "secondPort",
          "languageSetting", "heatEnergy", "gasSelection", "archiveDepth", "archivePages"})
        EXPECT_TRUE(p.contains(QLatin1String(key))) << key;

    // Another address: silence, exit 1 after the retries.
    r = cli({QStringLiteral("--home"), home.root().root(), QStringLiteral("--address"), QStringLiteral("5"),
             QStringLiteral("--timeout"), QStringLiteral("100"), QStringLiteral("--retries"),
             QStringLiteral("2"), QStringLiteral("identify")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("RS-232"));
}

TEST(Cli, IdentifyRefusesAnOlderVersion) {
    test::TempHome home;
    SimProgram sim;
    ASSERT_TRUE(sim.start(home, R"({"role": "corrector", "identification": "X Tarn-sim X40C"})"));
    Result r = cli({QStringLiteral("--home"), home.root().root(), QStringLiteral("--lang"),
                    QStringLiteral("ru"), QStringLiteral("identify")});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.err.contains("\"Quon\""));
}

TEST(Cli, ParamsItemAndClockAgainstTheSimulatedCorrector) {
    test::TempHome home;
    SimProgram sim;
    ASSERT_TRUE(sim.start(home, R"({"role": "corrector", "serial": 1234, "identification": "V Tarn-sim V47a",
        "passwords": ["1234", "2", "3", "4", "5", "6", "7"], "words": [{"index": 51, "float": 0.6865}]})"));
    const QString h = home.root().root();
    Result r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("params")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QJsonObject o = r.json();
    EXPECT_EQ(o.value(QStringLiteral("serial")).toString(), QStringLiteral("01234"));
    EXPECT_EQ(o.value(QStringLiteral("version")).toString(), QStringLiteral("47a"));
    bool word51 = false;
    for (const auto& w : o.value(QStringLiteral("words")).toArray())
        if (w.toObject().value(QStringLiteral("word")).toInt() == 51) {
            word51 = true;
            EXPECT_EQ(w.toObject().value(QStringLiteral("text")).toString(), QStringLiteral("0.6865"));
            EXPECT_EQ(w.toObject().value(QStringLiteral("raw")).toString().size(), 8);
        }
    EXPECT_TRUE(word51);
    bool density = false;
    for (const auto& i : o.value(QStringLiteral("items")).toArray())
        if (i.toObject().value(QStringLiteral("item")).toInt() == 1) {
            density = true;
            EXPECT_EQ(i.toObject().value(QStringLiteral("code")).toString(), QStringLiteral("0x82"));
            EXPECT_EQ(i.toObject().value(QStringLiteral("text")).toString(), QStringLiteral("0.6865"));
        }
    EXPECT_TRUE(density);

    // Out of range: refused before anything is sent.
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--lang"), QStringLiteral("ru"),
             QStringLiteral("item"), QStringLiteral("set"), QStringLiteral("--item"), QStringLiteral("1"),
             QStringLiteral("--value"), QStringLiteral("1.0511")});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("Переменная  больше допуска!0.54..1.051"));

    // With the operator password the write goes out and reads back.
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("item"),
             QStringLiteral("set"), QStringLiteral("--item"), QStringLiteral("1"), QStringLiteral("--value"),
             QStringLiteral("0.68"), QStringLiteral("--password"), QStringLiteral("1:1234")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json().value(QStringLiteral("text")).toString(), QStringLiteral("0.68"));
    EXPECT_EQ(r.json().value(QStringLiteral("accessLevel")).toInt(), 1);

    // Without it the item is not writable; a wrong password is refused by the corrector.
    r = cli({QStringLiteral("--home"), h, QStringLiteral("item"), QStringLiteral("set"),
             QStringLiteral("--item"), QStringLiteral("1"), QStringLiteral("--value"),
             QStringLiteral("0.7")});
    EXPECT_EQ(r.code, 3);
    // A wrong password is the corrector's refusal, told in its words. That it is taken from the reply and
    // not at the end of the reply time-out is checked in process, on a manual clock
    // (ApplicationLink.AWrongPasswordIsReportedAsSoonAsTheCorrectorRefusesIt): a separate program shares no
    // clock with the test.
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--lang"), QStringLiteral("ru"),
             QStringLiteral("--timeout"), QStringLiteral("10000"), QStringLiteral("item"),
             QStringLiteral("set"), QStringLiteral("--item"), QStringLiteral("1"), QStringLiteral("--value"),
             QStringLiteral("0.7"), QStringLiteral("--password"), QStringLiteral("1:9999")});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.err.contains("Ошибочное значение пароля!!!"));

    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("item"),
             QStringLiteral("get"), QStringLiteral("--item"), QStringLiteral("1")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json().value(QStringLiteral("text")).toString(), QStringLiteral("0.68"));

    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("clock"),
             QStringLiteral("get")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(parseDate(r.json().value(QStringLiteral("date")).toString()).has_value());
}

TEST(Cli, PressurePanelItemsInTheirUnits) {
    test::TempHome home;
    SimProgram sim;
    ASSERT_TRUE(sim.start(home, R"({"role": "corrector", "serial": 1234, "identification": "T Tarn-sim T47a",
        "passwords": ["1", "2", "3", "4444", "5", "6", "7"], "words": [{"index": 66, "float": 0.0123}]})"));
    const QString h = home.root().root();
    Result r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("item"),
                    QStringLiteral("get"), QStringLiteral("--item"), QStringLiteral("6"),
                    QStringLiteral("--unit"), QStringLiteral("cmH2O")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json().value(QStringLiteral("text")).toString(), QStringLiteral("12.3"));

    // Typed in cm of water, stored in kgf/cm².
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("item"),
             QStringLiteral("set"), QStringLiteral("--item"), QStringLiteral("6"), QStringLiteral("--unit"),
             QStringLiteral("cmH2O"), QStringLiteral("--value"), QStringLiteral("20"),
             QStringLiteral("--password"), QStringLiteral("4:4444")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json().value(QStringLiteral("text")).toString(), QStringLiteral("20"));
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("item"),
             QStringLiteral("get"), QStringLiteral("--item"), QStringLiteral("6")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json().value(QStringLiteral("text")).toString(), QStringLiteral("0.02"));
}

TEST(Cli, ReadTheArchivesAsTheWindowHoldsThem) {
    test::TempHome home;
    SimProgram sim;
    ASSERT_TRUE(sim.start(home, R"({"role": "corrector", "serial": 1234, "identification": "V Tarn-sim V47a",
        "archive": {"start": "01.03.2024 00:00", "hours": 30, "flow": 10}})"));
    const QString h = home.root().root();
    Result r = cli({QStringLiteral("--home"), h, QStringLiteral("--lang"), QStringLiteral("ru"),
                    QStringLiteral("--json"), QStringLiteral("read"), QStringLiteral("--archives"),
                    QStringLiteral("hourly,daily"), QStringLiteral("--until-empty")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject archives = r.json().value(QStringLiteral("archives")).toObject();
    EXPECT_EQ(archives.keys(), (QStringList{QStringLiteral("daily"), QStringLiteral("hourly")}));
    const QJsonObject hourly = archives.value(QStringLiteral("hourly")).toObject();
    const QJsonArray columns = hourly.value(QStringLiteral("columns")).toArray();
    ASSERT_EQ(columns.size(), 12);
    EXPECT_EQ(columns.at(0).toString(), QStringLiteral("N зап."));
    EXPECT_EQ(columns.at(11).toString(), QStringLiteral("Справка"));
    const QJsonArray rows = hourly.value(QStringLiteral("rows")).toArray();
    ASSERT_EQ(rows.size(), 40); // five pages: the fifth is the empty end
    EXPECT_EQ(rows.at(0).toArray().at(3).toString(), QStringLiteral("10.00"));
    EXPECT_EQ(rows.at(29).toArray().at(2).toString(), QStringLiteral("06:00"));
    EXPECT_EQ(rows.at(30).toArray().size(), 1);
    const QJsonArray days =
        archives.value(QStringLiteral("daily")).toObject().value(QStringLiteral("rows")).toArray();
    ASSERT_GE(days.size(), 1);
    EXPECT_EQ(days.at(0).toArray().at(2).toString(), QStringLiteral("09:00"));
    EXPECT_EQ(days.at(0).toArray().at(3).toString(), QStringLiteral("90.00"));
    EXPECT_TRUE(r.json().value(QStringLiteral("gaps")).toArray().isEmpty());

    EXPECT_EQ(cli({QStringLiteral("--home"), h, QStringLiteral("read"), QStringLiteral("--archives"),
                   QStringLiteral("weekly")})
                  .code,
              2);

    // The selective read: its five archives, the hourly one by whole pages of the plan.
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("read"),
             QStringLiteral("--days"), QStringLiteral("2")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject selective = r.json().value(QStringLiteral("archives")).toObject();
    EXPECT_EQ(selective.keys(), (QStringList{"abnormal", "daily", "hourly", "interference", "monthly"}));
    const qsizetype hourlyRows =
        selective.value(QStringLiteral("hourly")).toObject().value(QStringLiteral("rows")).toArray().size();
    EXPECT_GT(hourlyRows, 0);
    EXPECT_EQ(hourlyRows % 8, 0);
    EXPECT_EQ(cli({QStringLiteral("--home"), h, QStringLiteral("read"), QStringLiteral("--days"),
                   QStringLiteral("41")})
                  .code,
              2);
    EXPECT_EQ(cli({QStringLiteral("--home"), h, QStringLiteral("read"), QStringLiteral("--days"),
                   QStringLiteral("3"), QStringLiteral("--archives"), QStringLiteral("hourly")})
                  .code,
              2);
}

TEST(Cli, VolumesFactorsAndBlankedRecordsAsTheCorrectorHoldsThem) {
    test::TempHome home;
    SimProgram sim;
    ASSERT_TRUE(sim.start(home, R"({"role": "corrector", "serial": 1234, "identification": "V Tarn-sim V47a",
        "archive": {"start": "01.03.2024 00:00", "hours": 30, "flow": 11.224},
        "faults": {"badRecordPages": [{"bank": "low", "page": 53, "record": 2, "times": 100000}]}})"));
    const QString h = home.root().root();
    const QStringList read{QStringLiteral("--home"),       h,
                           QStringLiteral("--json"),       QStringLiteral("read"),
                           QStringLiteral("--archives"),   QStringLiteral("hourly"),
                           QStringLiteral("--until-empty")};
    auto firstVolume = [](const Result& r) {
        return r.json()[QStringLiteral("archives")][QStringLiteral("hourly")][QStringLiteral("rows")]
            .toArray()
            .at(0)
            .toArray()
            .at(3)
            .toString();
    };
    // Without Work/Qdel.000 volumes have two decimals.
    Result r = cli(read);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(firstVolume(r), QStringLiteral("11.22"));
    // Every factor cell has four decimals.
    const QRegularExpression fourDecimals(QStringLiteral("^\\d+\\.\\d{4}$"));
    for (const QJsonValue& row :
         r.json()[QStringLiteral("archives")][QStringLiteral("hourly")][QStringLiteral("rows")].toArray())
        if (row.toArray().size() > 10) {
            EXPECT_TRUE(fourDecimals.match(row.toArray().at(9).toString()).hasMatch());
            EXPECT_TRUE(fourDecimals.match(row.toArray().at(10).toString()).hasMatch());
        }
    // The record that stayed bad through every re-read: an empty row, counted and told.
    EXPECT_EQ(r.json()[QStringLiteral("blanked")][QStringLiteral("hourly")].toInt(), 1);
    EXPECT_EQ(r.json()[QStringLiteral("archives")][QStringLiteral("hourly")][QStringLiteral("rows")]
                  .toArray()
                  .at(10)
                  .toArray()
                  .size(),
              1);
    EXPECT_TRUE(r.err.contains("записів замінено порожніми: 1")) << r.err.toStdString();
    EXPECT_EQ(cli(QStringList(read) << QStringLiteral("--strict")).code, 1);

    // The precision set through the settings: the file the installation keeps, then three decimals.
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("settings"),
             QStringLiteral("set"), QStringLiteral("volumeDecimals=3")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json()[QStringLiteral("volumeDecimals")].toInt(), 3);
    EXPECT_EQ(home.read(folder::Work, QStringLiteral("Qdel.000")), QByteArray("3\r\n"));
    EXPECT_EQ(cli({QStringLiteral("--home"), h, QStringLiteral("settings"), QStringLiteral("set"),
                   QStringLiteral("volumeDecimals=7")})
                  .code,
              2);
    r = cli(read);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(firstVolume(r), QStringLiteral("11.224"));
    // Stored with them: the stored volume keeps the third decimal.
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("store"),
             QStringLiteral("--archives"), QStringLiteral("hourly"), QStringLiteral("--until-empty")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json()[QStringLiteral("blanked")][QStringLiteral("hourly")].toInt(), 1);
    EXPECT_EQ(r.json()[QStringLiteral("stored")][QStringLiteral("hourly")].toInt(),
              29); // the blanked one is not stored
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("rows"),
             QStringLiteral("--point"), QStringLiteral("01234"), QStringLiteral("--archive"),
             QStringLiteral("hourly")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json()[QStringLiteral("rows")].toArray().at(0).toArray().at(8).toString(),
              QStringLiteral("11.224"));
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("rows"),
             QStringLiteral("--point"), QStringLiteral("01234"), QStringLiteral("--archive"),
             QStringLiteral("log")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonArray fields = r.json()[QStringLiteral("fields")].toArray();
    const QJsonArray log = r.json()[QStringLiteral("rows")].toArray().last().toArray();
    EXPECT_EQ(log.at(fields.toVariantList().indexOf(QStringLiteral("bComment"))).toString(),
              QStringLiteral("пустые: час 1"));

    // The commercial report of the stored day: the hourly rows with the three decimals (trailing zeros
    // cut, as report numbers are).
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--lang"), QStringLiteral("ru"),
             QStringLiteral("report"), QStringLiteral("--point"), QStringLiteral("01234"),
             QStringLiteral("--period"), QStringLiteral("day"), QStringLiteral("--from"),
             QStringLiteral("01.03.2024")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.count("|11.224    |11.448    |"), 20)
        << r.out.toStdString(); // the blanked hour is missing

    // A line that is no number 0..6 counts as missing, and says so.
    home.write(folder::Work, QStringLiteral("Qdel.000"), QByteArray("\r\nabc\r\n"));
    r = cli(read);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(firstVolume(r), QStringLiteral("11.22"));
    EXPECT_EQ(r.err.count("Qdel.000"), 1) << r.err.toStdString();
}

TEST(Cli, StoreTwiceThenTheRowsOfThePoint) {
    test::TempHome home;
    SimProgram sim;
    ASSERT_TRUE(sim.start(home, R"({"role": "corrector", "serial": 1234, "identification": "T Tarn-sim T47a",
        "archive": {"start": "01.03.2024 00:00", "hours": 30, "flow": 10}})"));
    const QString h = home.root().root();
    const QStringList store{QStringLiteral("--home"),       h,
                            QStringLiteral("--json"),       QStringLiteral("store"),
                            QStringLiteral("--archives"),   QStringLiteral("hourly,daily"),
                            QStringLiteral("--until-empty")};
    Result r = cli(store);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QJsonObject o = r.json();
    EXPECT_EQ(o.value(QStringLiteral("point")).toString(), QStringLiteral("t01234"));
    EXPECT_TRUE(o.value(QStringLiteral("added")).toBool());
    EXPECT_EQ(o.value(QStringLiteral("stored")).toObject().value(QStringLiteral("hourly")).toInt(), 30);
    EXPECT_EQ(o.value(QStringLiteral("stored")).toObject().value(QStringLiteral("daily")).toInt(), 1);
    EXPECT_FALSE(o.value(QStringLiteral("measurement")).toBool());
    // The parameters read become the point's parameter file, which reports and programming read back.
    EXPECT_EQ(home.read(folder::Param, QStringLiteral("p_t01234.000")).size() % 200, 0);
    EXPECT_TRUE(home.exists(folder::Param, QStringLiteral("p_t01234.000")));
    // The second time everything is there already; the measurement taken now is stored beside.
    r = cli(QStringList(store) << QStringLiteral("--measurement"));
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    o = r.json();
    EXPECT_TRUE(o.value(QStringLiteral("measurement")).toBool());
    EXPECT_FALSE(o.value(QStringLiteral("added")).toBool());
    EXPECT_EQ(o.value(QStringLiteral("stored")).toObject().value(QStringLiteral("hourly")).toInt(), 0);
    EXPECT_EQ(o.value(QStringLiteral("dropped")).toObject().value(QStringLiteral("hourly")).toInt(), 30);

    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("rows"),
             QStringLiteral("--point"), QStringLiteral("t01234"), QStringLiteral("--archive"),
             QStringLiteral("hourly"), QStringLiteral("--from"), QStringLiteral("02.03.2024")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonArray rows = r.json().value(QStringLiteral("rows")).toArray();
    ASSERT_EQ(rows.size(), 7); // the hours that end 02.03.2024 00:00 … 06:00
    EXPECT_EQ(r.json().value(QStringLiteral("fields")).toArray().at(17).toString(),
              QStringLiteral("hDT_Corr"));
    EXPECT_EQ(rows.at(0).toArray().at(7).toString(), QStringLiteral("00:00"));
    EXPECT_EQ(rows.at(0).toArray().at(8).toString(), QStringLiteral("10"));

    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("points"),
             QStringLiteral("list")});
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.json().value(QStringLiteral("points")).toArray().size(), 1);
    // The configurator's values from the command line: changed fields only, the window's ranges.
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("points"),
             QStringLiteral("config"), QStringLiteral("t01234"), QStringLiteral("--timeout"),
             QStringLiteral("5000"), QStringLiteral("--link"), QStringLiteral("телефон"),
             QStringLiteral("--phone"), QStringLiteral("0441234567")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject config = r.json().value(QStringLiteral("config")).toObject();
    EXPECT_EQ(config.value(QStringLiteral("timeout")).toString(), QStringLiteral("5000"));
    EXPECT_EQ(config.value(QStringLiteral("link")).toString(), QStringLiteral("телефон"));
    EXPECT_EQ(cli({QStringLiteral("--home"), h, QStringLiteral("points"), QStringLiteral("config"),
                   QStringLiteral("t01234"), QStringLiteral("--timeout"), QStringLiteral("99")})
                  .code,
              2);
    // The link kind by the configurator's text or by a plain word; another word changes nothing.
    for (const auto& [word, kind] :
         {std::pair{"cable", "прямое соединение"}, std::pair{"NONE", "нет связи"},
          std::pair{"прямое соединение", "прямое соединение"}, std::pair{"phone", "телефон"}}) {
        r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("points"),
                 QStringLiteral("config"), QStringLiteral("t01234"), QStringLiteral("--link"),
                 QString::fromUtf8(word)});
        ASSERT_EQ(r.code, 0) << word << r.err.toStdString();
        EXPECT_EQ(
            r.json().value(QStringLiteral("config")).toObject().value(QStringLiteral("link")).toString(),
            QString::fromUtf8(kind))
            << word;
    }
    r = cli({QStringLiteral("--home"), h, QStringLiteral("points"), QStringLiteral("config"),
             QStringLiteral("t01234"), QStringLiteral("--link"), QStringLiteral("pigeon")});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("none, cable or phone")) << r.err.toStdString();
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("points"),
             QStringLiteral("search"), QStringLiteral("--serial"), QStringLiteral("1234")});
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.json().value(QStringLiteral("points")).toArray().size(), 1);
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("points"),
             QStringLiteral("show"), QStringLiteral("t01234")});
    EXPECT_EQ(r.json().value(QStringLiteral("config")).toObject().value(QStringLiteral("phone")).toString(),
              QStringLiteral("0441234567"));
    const QJsonObject last = r.json().value(QStringLiteral("lastStored")).toObject();
    EXPECT_EQ(last.value(QStringLiteral("hourly")).toObject().value(QStringLiteral("date")).toString(),
              QStringLiteral("02.03.2024"));
    EXPECT_TRUE(last.contains(QStringLiteral("measurement")));
    EXPECT_FALSE(last.contains(QStringLiteral("monthly")));
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("rows"),
             QStringLiteral("--point"), QStringLiteral("t01234"), QStringLiteral("--archive"),
             QStringLiteral("measurement")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json().value(QStringLiteral("rows")).toArray().size(), 1);
    // One stored record deleted by its number, as "Удалить запись" does; a number not there is refused.
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("rows"),
             QStringLiteral("--point"), QStringLiteral("t01234"), QStringLiteral("--archive"),
             QStringLiteral("hourly")});
    const QString firstNumber =
        r.json().value(QStringLiteral("rows")).toArray().at(0).toArray().at(0).toString();
    const QStringList deleteFirst{QStringLiteral("--home"),
                                  h,
                                  QStringLiteral("rows"),
                                  QStringLiteral("--point"),
                                  QStringLiteral("t01234"),
                                  QStringLiteral("--archive"),
                                  QStringLiteral("hourly"),
                                  QStringLiteral("--delete"),
                                  firstNumber};
    r = cli(QStringList{QStringLiteral("--json")} + deleteFirst);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json().value(QStringLiteral("deleted")).toInteger(), firstNumber.toLongLong());
    EXPECT_EQ(r.json().value(QStringLiteral("archive")).toString(), QStringLiteral("hourly"));
    EXPECT_EQ(cli(deleteFirst).code, 3);
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("rows"),
             QStringLiteral("--point"), QStringLiteral("t01234"), QStringLiteral("--archive"),
             QStringLiteral("hourly")});
    EXPECT_EQ(r.json().value(QStringLiteral("rows")).toArray().size(), 29);
    // A point is a name of a file: nothing that leads out of its folder.
    EXPECT_EQ(cli({QStringLiteral("--home"), h, QStringLiteral("rows"), QStringLiteral("--point"),
                   QStringLiteral("../../x"), QStringLiteral("--archive"), QStringLiteral("hourly")})
                  .code,
              2);
}

// A registry another program holds or a damaged one: the command fails, says why, and changes nothing.
TEST(Cli, ARegistryThatFailsIsAnErrorNotAnUnknownPoint) {
    test::TempHome home;
    SimProgram sim;
    ASSERT_TRUE(sim.start(home, R"({"role": "corrector", "serial": 1234, "identification": "T Tarn-sim T47a",
        "archive": {"start": "01.03.2024 00:00", "hours": 30, "flow": 10}})"));
    const QString h = home.root().root();
    const QStringList store{QStringLiteral("--home"),     h,
                            QStringLiteral("--json"),     QStringLiteral("store"),
                            QStringLiteral("--archives"), QStringLiteral("hourly")};
    Result r = cli(store);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    auto requests = [&] {
        const Result rows = cli({QStringLiteral("--home"), h, QStringLiteral("--json"),
                                 QStringLiteral("rows"), QStringLiteral("--point"), QStringLiteral("t01234"),
                                 QStringLiteral("--archive"), QStringLiteral("log")});
        return rows.json().value(QStringLiteral("rows")).toArray().size();
    };
    ASSERT_EQ(requests(), 1);
    auto speed = [&] {
        const Result shown =
            cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("points"),
                 QStringLiteral("show"), QStringLiteral("t01234")});
        return shown.json()
            .value(QStringLiteral("config"))
            .toObject()
            .value(QStringLiteral("speed"))
            .toString();
    };
    const QString speedBefore = speed();
    ASSERT_FALSE(speedBefore.isEmpty());
    const QString registry = home.path(folder::Data, QStringLiteral("Bd_Quon.DB"));
    qputenv("TARN_DB_BUSY_WAIT_MS", "20");
    {
        test::SqliteHolder holder(registry);
        ASSERT_TRUE(holder.lockForWriting());
        r = cli({QStringLiteral("--home"), h, QStringLiteral("points"), QStringLiteral("config"),
                 QStringLiteral("t01234"), QStringLiteral("--speed"),
                 speedBefore == QLatin1String("9600") ? QStringLiteral("4800") : QStringLiteral("9600")});
        EXPECT_NE(r.code, 0);
        EXPECT_FALSE(r.err.trimmed().isEmpty());
    }
    EXPECT_EQ(speed(), speedBefore);

    ASSERT_TRUE(test::damageTableFile(registry));
    r = cli(store);
    EXPECT_NE(r.code, 0);
    EXPECT_FALSE(r.err.trimmed().isEmpty());
    EXPECT_EQ(requests(), 1);
    qunsetenv("TARN_DB_BUSY_WAIT_MS");
}

// A point keeps its port as a name the polling can open: a device path given to store becomes the COMn
// Work/PortMap.000 maps to it, and a device no COMn names is refused with how to name it.
TEST(Cli, AStoredPointKeepsThePortNameOfTheDeviceItWasReadThrough) {
    test::TempHome home;
    SimProgram sim;
    ASSERT_TRUE(sim.start(home, R"({"role": "corrector", "serial": 1234, "identification": "T Tarn-sim T47a",
        "archive": {"start": "01.03.2024 00:00", "hours": 3, "flow": 10}})"));
    const QString h = home.root().root();
    // The same line under a name no COMn is mapped to: read, then refused before anything is stored.
    ASSERT_TRUE(QFile::link(h + QStringLiteral("/COM1"), h + QStringLiteral("/ttyAlias")));
    Result r = cli({QStringLiteral("--home"), h, QStringLiteral("--port"), h + QStringLiteral("/ttyAlias"),
                    QStringLiteral("store"), QStringLiteral("--archives"), QStringLiteral("hourly")});
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.err.contains("PortMap.000")) << r.err.toStdString();
    EXPECT_FALSE(home.exists(folder::Hour, QStringLiteral("h_t01234.db")));

    r = cli({QStringLiteral("--home"), h, QStringLiteral("--port"), h + QStringLiteral("/COM1"),
             QStringLiteral("--json"), QStringLiteral("store"), QStringLiteral("--archives"),
             QStringLiteral("hourly")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("points"),
             QStringLiteral("show"), QStringLiteral("t01234")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json().value(QStringLiteral("config")).toObject().value(QStringLiteral("port")).toString(),
              QStringLiteral("COM1"));
    const QString model = r.json().value(QStringLiteral("model")).toString();

    // A telephone point needs a number a modem dials.
    r = cli({QStringLiteral("--home"), h, QStringLiteral("points"), QStringLiteral("config"),
             QStringLiteral("t01234"), QStringLiteral("--link"), QStringLiteral("phone"),
             QStringLiteral("--phone"), QStringLiteral("044-12З4567")});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("телефон")) << r.err.toStdString();

    // Searches fold Cyrillic letter case; the model matches without its padding.
    r = cli({QStringLiteral("--home"), h, QStringLiteral("points"), QStringLiteral("config"),
             QStringLiteral("t01234"), QStringLiteral("--owner"), QStringLiteral("ГАЗ-Сервис")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    for (const QStringList& search : {QStringList{QStringLiteral("--owner"), QStringLiteral("газ")},
                                      QStringList{QStringLiteral("--model"), model.trimmed()}}) {
        r = cli(QStringList{QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("points"),
                            QStringLiteral("search")} +
                search);
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        const QJsonArray found = r.json().value(QStringLiteral("points")).toArray();
        ASSERT_EQ(found.size(), 1) << search.join(' ').toStdString();
        EXPECT_EQ(found.at(0).toObject().value(QStringLiteral("point")).toString(), QStringLiteral("t01234"));
    }
}

TEST(Cli, GasCompositions) {
    test::TempHome home;
    const QString h = home.root().root();
    auto gas = [&](QStringList args) {
        return cli(QStringList{QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("gas")} +
                   args);
    };
    // Each change answers with what the table now keeps, read back: the name as stored (trimmed).
    Result r = gas({QStringLiteral("add"), QStringLiteral("--name"), QStringLiteral(" природный "),
                    QStringLiteral("--density"), QStringLiteral("0.68"), QStringLiteral("--co2"),
                    QStringLiteral("0.5"), QStringLiteral("--n2"), QStringLiteral("1.2")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json().value(QStringLiteral("gas")).toObject(),
              (QJsonObject{{QStringLiteral("name"), QStringLiteral("природный")},
                           {QStringLiteral("density"), QStringLiteral("0.68")},
                           {QStringLiteral("co2"), QStringLiteral("0.5")},
                           {QStringLiteral("n2"), QStringLiteral("1.2")}}));
    r = gas({QStringLiteral("change"), QStringLiteral("--name"), QStringLiteral("природный"),
             QStringLiteral("--density"), QStringLiteral("0.69"), QStringLiteral("--co2"),
             QStringLiteral("0.5"), QStringLiteral("--n2"), QStringLiteral("1.1")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json().value(QStringLiteral("gas")).toObject().value(QStringLiteral("density")).toString(),
              QStringLiteral("0.69"));
    EXPECT_EQ(r.json().value(QStringLiteral("gas")).toObject().value(QStringLiteral("n2")).toString(),
              QStringLiteral("1.1"));
    r = gas({QStringLiteral("add"), QStringLiteral("--name"), QStringLiteral("природный"),
             QStringLiteral("--density"), QStringLiteral("0.7"), QStringLiteral("--co2"), QStringLiteral("0"),
             QStringLiteral("--n2"), QStringLiteral("0")});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.err.contains("уже есть"));
    r = gas({QStringLiteral("list")});
    ASSERT_EQ(r.code, 0);
    const QJsonArray list = r.json().value(QStringLiteral("gases")).toArray();
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list.at(0).toObject().value(QStringLiteral("density")).toString(), QStringLiteral("0.69"));
    r = gas({QStringLiteral("delete"), QStringLiteral("--name"), QStringLiteral("природный")});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.json().value(QStringLiteral("deleted")).toString(), QStringLiteral("природный"));
    r = gas({QStringLiteral("delete"), QStringLiteral("--name"), QStringLiteral("природный")});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.out.trimmed().isEmpty()) << "a refusal answers nothing on stdout";
}

// The commercial reports of a stored month, as kept in tests/reports/golden/ (each checked line by line
// against the report's layout when it was made): a gas day with the code list, a period with the hourly
// calculation, a month in Ukrainian, a gas day with the parameters from the point's parameter file, and a
// gas day read fresh from the corrector with its parameters.
TEST(CliReports, TheStoredMonthGivesTheReportsKeptAsGoldenFiles) {
    test::TempHome home;
    SimProgram sim;
    QFile scenario(QStringLiteral(TARN_SOURCE_DIR "/tools/corrector-sim/scenarios/report-month.json"));
    ASSERT_TRUE(scenario.open(QIODevice::ReadOnly));
    ASSERT_TRUE(sim.start(home, scenario.readAll()));
    const QString h = home.root().root();
    Result r =
        cli({QStringLiteral("--home"), h, QStringLiteral("store"), QStringLiteral("--archives"),
             QStringLiteral("hourly,daily,monthly,abnormal,interference"), QStringLiteral("--until-empty")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QStringList made{QStringLiteral("--made"), QStringLiteral("10.04.2024 08:00:00")};
    struct Golden {
        const char* language;
        const char* file;
        QStringList args;
    };
    const QList<Golden> reports{
        {"RU",
         "day-ru.txt",
         {QStringLiteral("--point"), QStringLiteral("04123"), QStringLiteral("--period"),
          QStringLiteral("day"), QStringLiteral("--from"), QStringLiteral("05.03.2024"),
          QStringLiteral("--codes")}},
        {"RU",
         "period-hourly-ru.txt",
         {QStringLiteral("--point"), QStringLiteral("04123"), QStringLiteral("--period"),
          QStringLiteral("period"), QStringLiteral("--from"), QStringLiteral("03.03.2024"),
          QStringLiteral("--to"), QStringLiteral("06.03.2024"), QStringLiteral("--hourly-calc")}},
        {"RU",
         "day-params-ru.txt",
         {QStringLiteral("--point"), QStringLiteral("04123"), QStringLiteral("--period"),
          QStringLiteral("day"), QStringLiteral("--from"), QStringLiteral("05.03.2024"),
          QStringLiteral("--params")}},
        {"RU",
         "day-corrector-params-ru.txt",
         {QStringLiteral("--from-corrector"), QStringLiteral("--params"), QStringLiteral("--period"),
          QStringLiteral("day"), QStringLiteral("--from"), QStringLiteral("10.03.2024")}},
        {"UA",
         "month-ua.txt",
         {QStringLiteral("--point"), QStringLiteral("04123"), QStringLiteral("--period"),
          QStringLiteral("month"), QStringLiteral("--from"), QStringLiteral("01.03.2024")}}};
    for (const Golden& g : reports) {
        ASSERT_EQ(cli({QStringLiteral("--home"), h, QStringLiteral("settings"), QStringLiteral("language"),
                       QString::fromLatin1(g.language)})
                      .code,
                  0);
        const QString out = h + QStringLiteral("/") + QString::fromLatin1(g.file);
        r = cli(QStringList{QStringLiteral("--home"), h, QStringLiteral("report")} + g.args + made +
                QStringList{QStringLiteral("--out"), out});
        ASSERT_EQ(r.code, 0) << g.file << ": " << r.err.toStdString();
        QFile written(out);
        QFile expected(QStringLiteral(TARN_SOURCE_DIR "/tests/reports/golden/") +
                       QString::fromLatin1(g.file));
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        ASSERT_TRUE(expected.open(QIODevice::ReadOnly));
        const QList<QByteArray> got = written.readAll().split('\n');
        const QList<QByteArray> want = expected.readAll().split('\n');
        ASSERT_EQ(got.size(), want.size()) << g.file;
        for (qsizetype i = 0; i < want.size(); ++i)
            ASSERT_EQ(got.at(i), want.at(i)) << g.file << " line " << i + 1;
    }
    // The pages as they would be printed, without a printer or a display.
    const QString pdf = h + QStringLiteral("/month.pdf");
    r = cli({QStringLiteral("--home"), h, QStringLiteral("report"), QStringLiteral("--point"),
             QStringLiteral("04123"), QStringLiteral("--from"), QStringLiteral("01.03.2024"),
             QStringLiteral("--pdf"), pdf, QStringLiteral("--out"), h + QStringLiteral("/month.txt")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QFile pages(pdf);
    ASSERT_TRUE(pages.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pages.read(4) == "%PDF");
}

TEST(Cli, AnAddressBookEntryChoosesTheLinkAddress) {
    test::TempHome home;
    sim::PtyLine line; // nothing answers: the trace shows the request that went out
    QString error;
    ASSERT_TRUE(line.open(error)) << error.toStdString();
    home.write(folder::Work, QStringLiteral("PortMap.000"), "COM1 " + line.slavePath().toUtf8() + "\r\n");
    home.write(folder::Work, QStringLiteral("uaFlAdrCr.000"), "3 // boiler house\r\nplain\r\n");
    const QString h = home.root().root();
    const QString trace = h + QStringLiteral("/trace.txt");
    Result r = cli({QStringLiteral("--home"), h, QStringLiteral("--lang"), QStringLiteral("ua"),
                    QStringLiteral("--address-book"), QStringLiteral("plain"), QStringLiteral("port"),
                    QStringLiteral("open")});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(
        QString::fromUtf8(r.err).contains(QStringLiteral("Адреса коректора визначено неправильно !!!")));
    cli({QStringLiteral("--home"), h, QStringLiteral("--lang"), QStringLiteral("ua"),
         QStringLiteral("--address-book"), QStringLiteral("3 // boiler house"), QStringLiteral("--timeout"),
         QStringLiteral("100"), QStringLiteral("--retries"), QStringLiteral("1"), QStringLiteral("--trace"),
         trace, QStringLiteral("exchange"), QStringLiteral("--op"), QStringLiteral("read"),
         QStringLiteral("--at"), QStringLiteral("0")});
    QFile written(trace);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll().contains("-> 06 00 20 D9 "));
}

namespace {

// The simulated modem in front of its corrector (tools/corrector-sim/scenarios/modem.json), its waits
// short, every call written to a log.
QByteArray modemScenario(const QString& callLog) {
    QFile f(QStringLiteral(TARN_SOURCE_DIR "/tools/corrector-sim/scenarios/modem.json"));
    if (!f.open(QIODevice::ReadOnly)) return {};
    QJsonObject root = QJsonDocument::fromJson(f.readAll()).object();
    QJsonArray devices = root.value(QStringLiteral("devices")).toArray();
    QJsonObject modem = devices.at(0).toObject();
    modem.insert(QStringLiteral("guardMs"), 100);
    modem.insert(QStringLiteral("connectDelayMs"), 100);
    modem.insert(QStringLiteral("callLog"), callLog);
    QJsonObject numbers = modem.value(QStringLiteral("numbers")).toObject();
    QJsonObject busy = numbers.value(QStringLiteral("5550000")).toObject();
    busy.insert(QStringLiteral("connectDelayMs"), 100);
    numbers.insert(QStringLiteral("5550000"), busy);
    modem.insert(QStringLiteral("numbers"), numbers);
    devices.replace(0, modem);
    root.insert(QStringLiteral("devices"), devices);
    return QJsonDocument(root).toJson();
}

// "connected" and "ended" lines of the call log.
std::pair<int, int> calls(const QString& callLog) {
    QFile f(callLog);
    if (!f.open(QIODevice::ReadOnly)) return {0, 0};
    const QByteArray all = f.readAll();
    return {static_cast<int>(all.count("\"event\":\"connected\"")),
            static_cast<int>(all.count("\"event\":\"ended\""))};
}

} // namespace

TEST(CliModem, ACommandOverThePhoneIsCalledRunAndHungUpWhateverHappens) {
    test::TempHome home;
    SimProgram sim;
    const QString h = home.root().root();
    const QString log = h + QStringLiteral("/calls.jsonl");
    ASSERT_TRUE(sim.start(home, modemScenario(log)));
    Result r = cli({QStringLiteral("--home"), h, QStringLiteral("--phone"), QStringLiteral("555 12 34"),
                    QStringLiteral("--json"), QStringLiteral("params")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_FALSE(r.json().isEmpty());
    EXPECT_EQ(calls(log), std::make_pair(1, 1));

    // Busy and silent lines end with a clear message, exit code 1, and no call left up.
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--phone"), QStringLiteral("5550000"),
             QStringLiteral("identify")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("BUSY")) << r.err.toStdString();
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(QStringLiteral("нет соединения между модемами")));
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--phone"), QStringLiteral("5559999"),
             QStringLiteral("--dial-wait"), QStringLiteral("1"), QStringLiteral("identify")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("ATH0") ||
                QString::fromUtf8(r.err).contains(QStringLiteral("Положить трубку")));
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--phone"), QStringLiteral("5557777"),
             QStringLiteral("identify")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("NO CARRIER")) << r.err.toStdString();
    EXPECT_EQ(calls(log), std::make_pair(1, 1));

    // SIGINT in the middle of a read: the call is still hung up before the program ends.
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("TARN_HOME"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TARN_CLI_PROGRAM), {QStringLiteral("--home"), h, QStringLiteral("--phone"),
                                               QStringLiteral("5551234"), QStringLiteral("read")});
    ASSERT_TRUE(test::waitUntil([&] { return calls(log).first == 2; }, 20000));
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    ASSERT_TRUE(test::waitUntil([&] { return p.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(p.exitCode(), 130);
    EXPECT_EQ(calls(log), std::make_pair(2, 2));
}

// Each wait of the command ends at its own deadline: fifty runs in a row all end, with the modem's answer.
TEST(CliModem, ModemSendEndsAtItsWaitEveryTime) {
    test::TempHome home;
    SimProgram sim;
    const QString h = home.root().root();
    ASSERT_TRUE(sim.start(home, modemScenario(h + QStringLiteral("/calls.jsonl"))));
    const auto send = [&h](const char* waitMs) {
        return cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("modem"),
                    QStringLiteral("send"), QStringLiteral("ATI"), QStringLiteral("--wait"),
                    QLatin1String(waitMs)});
    };
    const auto answered = [](const Result& r) {
        return r.json().value(QStringLiteral("received")).toString().contains(QStringLiteral("OK"));
    };
    int ended = 0;
    for (int i = 0; i < 50; ++i) {
        const Result r = send("150");
        if (r.code != 0) {
            ADD_FAILURE() << "run " << i << " exit " << r.code << " " << r.err.toStdString();
            break;
        }
        // The run ended at its wait. On a machine too busy for the simulated modem to answer within
        // 150 ms the answer is looked for again with time to spare: it must come then.
        if (!answered(r)) {
            EXPECT_TRUE(answered(send("3000"))) << "run " << i << ": " << r.out.toStdString();
        }
        ++ended;
    }
    EXPECT_EQ(ended, 50);
}

// A number that is no dial string never reaches the modem, whether given on the command line or kept
// in a point's configuration; the terminal's hexadecimal line is all bytes or nothing.
TEST(CliModem, NumbersThatAreNoDialStringsAndHexThatIsNoBytesAreRefused) {
    test::TempHome home;
    SimProgram sim;
    const QString h = home.root().root();
    const QString log = h + QStringLiteral("/calls.jsonl");
    ASSERT_TRUE(sim.start(home, modemScenario(log)));
    for (const QString& number : {QStringLiteral("5551234;ATZ"), QStringLiteral("555ABC"), QString()}) {
        const Result r =
            cli({QStringLiteral("--home"), h, QStringLiteral("--phone"), number, QStringLiteral("identify")});
        EXPECT_EQ(r.code, 2) << number.toStdString();
        EXPECT_TRUE(QString::fromUtf8(r.err).contains(QStringLiteral("номер"))) << r.err.toStdString();
    }
    EXPECT_EQ(calls(log), std::make_pair(0, 0));

    Result r = cli({QStringLiteral("--home"), h, QStringLiteral("--phone"), QStringLiteral("5551234"),
                    QStringLiteral("store"), QStringLiteral("--archives"), QStringLiteral("daily")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("points"),
             QStringLiteral("list")});
    const QString id = r.json()
                           .value(QStringLiteral("points"))
                           .toArray()
                           .at(0)
                           .toObject()
                           .value(QStringLiteral("point"))
                           .toString();
    ASSERT_FALSE(id.isEmpty()) << r.out.toStdString();
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--lang"), QStringLiteral("ru"),
             QStringLiteral("points"), QStringLiteral("config"), id, QStringLiteral("--phone"),
             QStringLiteral("5551234;ATZ")});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(QStringLiteral("символ \";\""))) << r.err.toStdString();

    r = cli({QStringLiteral("--home"), h, QStringLiteral("--lang"), QStringLiteral("ru"),
             QStringLiteral("modem"), QStringLiteral("send"), QStringLiteral("--hex"),
             QStringLiteral("ZZ 4G 0")});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(QStringLiteral("\"ZZ\" (пара 1)"))) << r.err.toStdString();
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("modem"),
             QStringLiteral("send"), QStringLiteral("--hex"), QStringLiteral("41 54 49 0D"),
             QStringLiteral("--wait"), QStringLiteral("150")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json().value(QStringLiteral("sent")).toString(), QStringLiteral("ATI\r"));
    EXPECT_TRUE(r.json().value(QStringLiteral("received")).toString().contains(QStringLiteral("OK")));
}

TEST(CliPolling, GroupsAreKeptAsTheConfiguratorKeepsThemAndMakeTheDaysSchedule) {
    test::TempHome home;
    const QString h = home.root().root();
    Result r = cli({QStringLiteral("--home"), h, QStringLiteral("--lang"), QStringLiteral("ru"),
                    QStringLiteral("group"), QStringLiteral("save"), QStringLiteral("Котельні"),
                    QStringLiteral("--schedule"), QStringLiteral("08:00-12:00-01:00,10:00-11:00-00:00")});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(QStringLiteral("Ошибка набора времени ! 11:00")));
    r = cli({QStringLiteral("--home"), h, QStringLiteral("group"), QStringLiteral("save"),
             QStringLiteral("Котельні"), QStringLiteral("--schedule"),
             QStringLiteral("08:00-12:00-01:00,22:00-00:00-01:00")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("schedule"),
             QStringLiteral("--at"), QStringLiteral("09:15")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonArray rows = r.json().value(QStringLiteral("rows")).toArray();
    ASSERT_EQ(rows.size(), 6);
    EXPECT_EQ(rows.at(5).toObject().value(QStringLiteral("end")).toString(), QStringLiteral("00:00"));
    EXPECT_EQ(rows.at(0).toObject().value(QStringLiteral("status")).toString(), QStringLiteral("пропущ."));
    EXPECT_EQ(r.json().value(QStringLiteral("due")).toInt(), 2);
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("group"),
             QStringLiteral("delete"), QStringLiteral("Котельні")});
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.json().value(QStringLiteral("deleted")).toString(), QStringLiteral("Котельні"));
    EXPECT_FALSE(QFile::exists(
        QDir(h + QStringLiteral("/Group")).filePath(r.json().value(QStringLiteral("file")).toString())))
        << r.out.toStdString();
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("group"),
             QStringLiteral("list")});
    EXPECT_TRUE(r.json().value(QStringLiteral("groups")).toArray().isEmpty());
}

TEST(CliPolling, ALongGroupNameIsCutToldAndFoundByEveryCommand) {
    test::TempHome home;
    const QString h = home.root().root();
    const QString typed = QStringLiteral("Котельні Лівого берега міста");
    Result r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("group"),
                    QStringLiteral("save"), typed, QStringLiteral("--schedule"),
                    QStringLiteral("08:00-12:00-01:00")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json().value(QStringLiteral("name")).toString(), QStringLiteral("Котельні Лівого бере"));
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(QStringLiteral("saved as \"Котельні Лівого бере\"")))
        << r.err.toStdString();
    for (const QString& what :
         {QStringLiteral("show"), QStringLiteral("members"), QStringLiteral("delete")}) {
        r = cli({QStringLiteral("--home"), h, QStringLiteral("group"), what, typed});
        EXPECT_EQ(r.code, 0) << what.toStdString() << " " << r.err.toStdString();
    }
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("group"),
             QStringLiteral("list")});
    EXPECT_TRUE(r.json().value(QStringLiteral("groups")).toArray().isEmpty());
}

namespace {
// tarn-cli as a process that keeps running, its stderr collected as it comes.
struct RunningCli {
    QProcess p;
    QByteArray err;
    explicit RunningCli(const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("TARN_HOME"));
        p.setProcessEnvironment(env);
        QObject::connect(&p, &QProcess::readyReadStandardError, [this] { err += p.readAllStandardError(); });
        p.start(QStringLiteral(TARN_CLI_PROGRAM), args);
    }
    QString errText() const { return QString::fromUtf8(err); }
    bool ended(int limitMs = 20000) {
        return test::waitUntil([&] { return p.state() == QProcess::NotRunning; }, limitMs);
    }
};

// A polling window that holds the current minute (once, at its begin), on today's schedule.
QString windowFromNow() {
    const QTime now = QTime::currentTime();
    const QTime begin(now.hour(), now.minute());
    const QTime end = begin.hour() == 23 && begin.minute() >= 57 ? QTime(0, 0) : begin.addSecs(3 * 60);
    return begin.toString(QStringLiteral("HH:mm")) + QLatin1Char('-') +
           end.toString(QStringLiteral("HH:mm")) + QStringLiteral("-00:00");
}
} // namespace

TEST(CliPolling, DutyPollingPollsADueGroupOnceWaitsAndEndsInOrderOnSigterm) {
    test::TempHome home;
    SimProgram sim;
    // Paced at the line's speed, so that a whole hourly archive takes long enough to be interrupted.
    ASSERT_TRUE(sim.start(home, R"({"pace": true, "devices": [{"role": "corrector", "serial": 1234,
        "identification": "T Tarn-sim T47a", "archive": {"start": "01.01.2024 00:00", "hours": 1500,
        "flow": 10}}]})"));
    const QString h = home.root().root();
    Result r = cli({QStringLiteral("--home"), h, QStringLiteral("store"), QStringLiteral("--archives"),
                    QStringLiteral("daily")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    r = cli({QStringLiteral("--home"), h, QStringLiteral("group"), QStringLiteral("save"),
             QStringLiteral("Ніч"), QStringLiteral("--points"), QStringLiteral("t01234"),
             QStringLiteral("--schedule"), windowFromNow(), QStringLiteral("--flags"),
             QStringLiteral("0010000000")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();

    const QStringList duty{QStringLiteral("--home"), h, QStringLiteral("poll"), QStringLiteral("--schedule"),
                           QStringLiteral("--duty")};
    {
        RunningCli run(duty);
        ASSERT_TRUE(
            test::waitUntil([&] { return run.errText().contains(QStringLiteral("*СТОП*  группы")); }));
        EXPECT_TRUE(run.errText().contains(QStringLiteral("*НОРМА* прибора")));
        // Polled once: the row is done, and duty polling waits for the next window.
        EXPECT_FALSE(run.ended(1500));
        EXPECT_EQ(run.errText().count(QStringLiteral("*СТАРТ* группы")), 1);
        ::kill(static_cast<pid_t>(run.p.processId()), SIGTERM);
        ASSERT_TRUE(run.ended());
        EXPECT_EQ(run.p.exitCode(), 130);
    }

    // A second group on the same window reads the whole hourly archive; SIGTERM in the middle of it.
    r = cli({QStringLiteral("--home"), h, QStringLiteral("group"), QStringLiteral("save"),
             QStringLiteral("Годинні"), QStringLiteral("--points"), QStringLiteral("t01234"),
             QStringLiteral("--schedule"), windowFromNow(), QStringLiteral("--flags"),
             QStringLiteral("0100000000")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    // A trace file that cannot be written refuses the night before anything goes over the line.
    const auto traced = [&](const QString& file) {
        return QStringList{QStringLiteral("--trace"), file} + duty;
    };
    r = cli(traced(h + QStringLiteral("/no/such/folder/trace.txt")));
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.err.contains("cannot write")) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains("*СТАРТ*")) << r.err.toStdString();
    const QString tracePath = h + QStringLiteral("/trace.txt");
    RunningCli run(traced(tracePath));
    ASSERT_TRUE(
        test::waitUntil([&] { return run.errText().count(QStringLiteral("чт. часовой архив")) >= 3; }));
    // The trace is in the file while the run goes on: requests out, replies in, CR LF lines.
    {
        ASSERT_EQ(run.p.state(), QProcess::Running);
        QFile trace(tracePath);
        ASSERT_TRUE(trace.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = trace.readAll().split('\n');
        EXPECT_GT(lines.size(), 10);
        EXPECT_TRUE(lines.first().startsWith("-> ") && lines.first().endsWith('\r'))
            << lines.first().constData();
        EXPECT_TRUE(
            std::any_of(lines.begin(), lines.end(), [](const QByteArray& l) { return l.startsWith("<- "); }));
    }
    // The first group's row is done already today: it is not polled again.
    EXPECT_EQ(run.errText().count(QStringLiteral("*СТАРТ* группы")), 1);
    ::kill(static_cast<pid_t>(run.p.processId()), SIGTERM);
    ASSERT_TRUE(run.ended());
    EXPECT_EQ(run.p.exitCode(), 130);
    EXPECT_TRUE(run.errText().trimmed().endsWith(QStringLiteral("*СТОП ОПРОС*"))) << run.err.toStdString();
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("rows"),
             QStringLiteral("--point"), QStringLiteral("t01234"), QStringLiteral("--archive"),
             QStringLiteral("hourly")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_GE(r.json().value(QStringLiteral("rows")).toArray().size(), 16) << "what was read is stored";
}

// After the day's last window: by hand nothing to do; duty polling waits (for tomorrow), sees a group
// saved by another tarn-cli, takes SIGHUP as a reload, and ends on SIGTERM with 130, which the unit counts
// as a clean stop.
TEST(CliPolling, DutyPollingAfterTheLastWindowWaitsSeesNewGroupsAndReloadsOnSighup) {
    const QTime now = QTime::currentTime();
    if (now < QTime(0, 3) || now > QTime(23, 55)) GTEST_SKIP() << "no window has passed yet today";
    test::TempHome home;
    SimProgram sim;
    ASSERT_TRUE(sim.start(home, R"({"devices": [{"role": "corrector", "serial": 1234,
        "identification": "T Tarn-sim T47a", "archive": {"start": "01.01.2024 00:00", "hours": 100,
        "flow": 10}}]})"));
    const QString h = home.root().root();
    Result r = cli({QStringLiteral("--home"), h, QStringLiteral("store"), QStringLiteral("--archives"),
                    QStringLiteral("daily")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    r = cli({QStringLiteral("--home"), h, QStringLiteral("group"), QStringLiteral("save"),
             QStringLiteral("Ранок"), QStringLiteral("--points"), QStringLiteral("t01234"),
             QStringLiteral("--schedule"), QStringLiteral("00:00-00:01-00:00")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    r = cli({QStringLiteral("--home"), h, QStringLiteral("poll"), QStringLiteral("--schedule")});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(QStringLiteral("Нет заданий")));

    RunningCli run({QStringLiteral("--home"), h, QStringLiteral("poll"), QStringLiteral("--schedule"),
                    QStringLiteral("--duty")});
    ASSERT_TRUE(test::waitUntil([&] {
        return run.errText().contains(QStringLiteral("waiting for the next window"));
    })) << run.err.toStdString();
    r = cli({QStringLiteral("--home"), h, QStringLiteral("group"), QStringLiteral("save"),
             QStringLiteral("День"), QStringLiteral("--points"), QStringLiteral("t01234"),
             QStringLiteral("--schedule"), windowFromNow(), QStringLiteral("--flags"),
             QStringLiteral("0010000000")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    ASSERT_TRUE(test::waitUntil([&] { return run.errText().contains(QStringLiteral("*СТОП*  группы")); }))
        << run.err.toStdString();
    EXPECT_TRUE(run.errText().contains(QStringLiteral("*СТАРТ* группы   - \"День\"")));
    // The duty poller can be watched from outside: its state file and the day's points.
    const QStringList status{QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("poll"),
                             QStringLiteral("--status")};
    r = cli(status);
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.json().value(QStringLiteral("running")).toBool());
    EXPECT_EQ(r.json().value(QStringLiteral("pid")).toInteger(), run.p.processId());
    EXPECT_EQ(r.json().value(QStringLiteral("state")).toString(), QStringLiteral("опрос по времени"));
    QStringList day;
    for (const QJsonValue& v : r.json().value(QStringLiteral("points")).toArray())
        day.append(v[QStringLiteral("group")].toString() + QLatin1Char(' ') +
                   v[QStringLiteral("point")].toString() + QLatin1Char(' ') +
                   v[QStringLiteral("result")].toString());
    EXPECT_EQ(day, (QStringList{QStringLiteral("Ранок t01234 норма"), QStringLiteral("День t01234 норма")}))
        << r.out.toStdString();
    ::kill(static_cast<pid_t>(run.p.processId()), SIGHUP);
    ASSERT_TRUE(test::waitUntil([&] { return run.errText().contains(QStringLiteral("read again")); }));
    EXPECT_EQ(run.p.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(run.p.processId()), SIGTERM);
    ASSERT_TRUE(run.ended());
    EXPECT_EQ(run.p.exitCode(), 130);
    r = cli(status);
    EXPECT_EQ(r.json().value(QStringLiteral("liveness")).toString(), QStringLiteral("process-gone"));

    QFile unit(QStringLiteral(TARN_SOURCE_DIR "/packaging/tarn-poll.service"));
    ASSERT_TRUE(unit.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = unit.readAll().split('\n');
    EXPECT_TRUE(lines.contains("SuccessExitStatus=130"));
    EXPECT_TRUE(lines.contains("ExecReload=/bin/kill -HUP $MAINPID"));
}

// What cannot be a group is refused before anything is written; a group whose points are all gone from
// the registry polls nothing and says so, as a failed run.
TEST(CliPolling, GroupSaveRefusesUnknownPointsBadWindowsAndNamesAndAGroupOfNoPointsFails) {
    test::TempHome home;
    SimProgram sim;
    ASSERT_TRUE(sim.start(home, R"({"devices": [{"role": "corrector", "serial": 1234,
        "identification": "T Tarn-sim T47a", "archive": {"start": "01.01.2024 00:00", "hours": 50,
        "flow": 10}}]})"));
    const QString h = home.root().root();
    Result r = cli({QStringLiteral("--home"), h, QStringLiteral("store"), QStringLiteral("--archives"),
                    QStringLiteral("daily")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QStringList save{QStringLiteral("--home"), h,
                           QStringLiteral("--lang"), QStringLiteral("ru"),
                           QStringLiteral("group"),  QStringLiteral("save")};
    const struct {
        QStringList args;
        const char* said;
    } refused[] = {
        {{QStringLiteral("Ніч"), QStringLiteral("--points"), QStringLiteral("t01234,t99999")}, "t99999"},
        {{QStringLiteral("Ніч"), QStringLiteral("--schedule"), QStringLiteral("08:00-12:00-01:00-05:00")},
         "08:00-12:00-01:00-05:00"},
        {{QStringLiteral("Ніч\nДень")}, "U+000A"},
        {{QStringLiteral("Σχολεία")}, "U+03A3"},
        {{QStringLiteral("Νύχτα")}, "U+039D"},
    };
    for (const auto& c : refused) {
        r = cli(save + c.args);
        EXPECT_EQ(r.code, 2) << c.said;
        EXPECT_TRUE(r.err.contains(c.said)) << r.err.toStdString();
    }
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("group"),
             QStringLiteral("list")});
    EXPECT_TRUE(r.json().value(QStringLiteral("groups")).toArray().isEmpty());

    r = cli(save + QStringList{QStringLiteral("Ніч"), QStringLiteral("--points"), QStringLiteral("t01234"),
                               QStringLiteral("--flags"), QStringLiteral("0010000000")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    r = cli({QStringLiteral("--home"), h, QStringLiteral("points"), QStringLiteral("erase"),
             QStringLiteral("t01234")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    r = cli({QStringLiteral("--home"), h, QStringLiteral("poll"), QStringLiteral("--group"),
             QStringLiteral("Ніч")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("no member of the group is in the registry, nothing polled"))
        << r.err.toStdString();
}

// Several pollers share the points by their ports: a group polled with --ports takes the members on
// those ports alone and leaves the others, which are no failure of this run; without the list the member
// on a port this machine does not have fails.
TEST(CliPolling, PortsListPollsOnlyTheMembersOnThosePorts) {
    test::TempHome home;
    SimProgram sim;
    ASSERT_TRUE(sim.start(home, R"({"devices": [
        {"role": "corrector", "address": 1, "serial": 1234, "identification": "T Tarn-sim T47a",
         "archive": {"start": "01.01.2024 00:00", "hours": 50, "flow": 10}},
        {"role": "corrector", "address": 2, "serial": 5678, "identification": "T Tarn-sim T47a",
         "archive": {"start": "01.01.2024 00:00", "hours": 50, "flow": 10}}]})"));
    const QString h = home.root().root();
    for (const char* address : {"1", "2"}) {
        const Result r =
            cli({QStringLiteral("--home"), h, QStringLiteral("--address"), QLatin1String(address),
                 QStringLiteral("store"), QStringLiteral("--archives"), QStringLiteral("daily")});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
    }
    // The second corrector's point now hangs on a line this machine has not got (nothing maps COM2).
    Result r = cli({QStringLiteral("--home"), h, QStringLiteral("points"), QStringLiteral("config"),
                    QStringLiteral("t05678"), QStringLiteral("--port"), QStringLiteral("COM2")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    r = cli({QStringLiteral("--home"), h, QStringLiteral("group"), QStringLiteral("save"),
             QStringLiteral("Ніч"), QStringLiteral("--points"), QStringLiteral("t01234,t05678"),
             QStringLiteral("--flags"), QStringLiteral("0010000000")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();

    const QStringList poll{QStringLiteral("--home"),  h,
                           QStringLiteral("--json"),  QStringLiteral("poll"),
                           QStringLiteral("--group"), QStringLiteral("Ніч")};
    const auto polled = [](const Result& result) {
        QStringList points;
        for (const QJsonValue& p : result.json().value(QStringLiteral("points")).toArray())
            points.append(p.toObject().value(QStringLiteral("point")).toString() + QLatin1Char(' ') +
                          p.toObject().value(QStringLiteral("result")).toString());
        return points;
    };
    r = cli(poll + QStringList{QStringLiteral("--ports"), QStringLiteral("com1")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(polled(r), QStringList{QStringLiteral("t01234 норма")});
    EXPECT_FALSE(r.json().value(QStringLiteral("groupFailed")).toBool());
    EXPECT_FALSE(r.err.contains("t05678") || r.err.contains("COM2")) << r.err.toStdString();

    r = cli(poll + QStringList{QStringLiteral("--ports"), QStringLiteral("COM3, COM2")});
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    ASSERT_EQ(polled(r).size(), 1);
    EXPECT_TRUE(polled(r).first().startsWith(QStringLiteral("t05678 "))) << r.out.toStdString();
    EXPECT_TRUE(r.json().value(QStringLiteral("groupFailed")).toBool());

    r = cli(poll);
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    EXPECT_EQ(polled(r).size(), 2) << r.out.toStdString();

    // A list naming no port, and a list for a single point polled by hand, are usage errors.
    for (const QStringList& refused :
         {QStringList{QStringLiteral("--home"), h, QStringLiteral("poll"), QStringLiteral("--group"),
                      QStringLiteral("Ніч"), QStringLiteral("--ports"), QStringLiteral(" , ")},
          QStringList{QStringLiteral("--home"), h, QStringLiteral("poll"), QStringLiteral("--point"),
                      QStringLiteral("t01234"), QStringLiteral("--ports"), QStringLiteral("COM1")}}) {
        r = cli(refused);
        EXPECT_EQ(r.code, 2) << refused.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("--ports")) << r.err.toStdString();
    }
}

TEST(CliFiles, ASavedReadingOpensAgainAndStoresAsAFile) {
    test::TempHome home;
    SimProgram sim;
    ASSERT_TRUE(sim.start(home, R"({"role": "corrector", "serial": 1234, "identification": "T Tarn-sim T47a",
        "archive": {"start": "01.03.2024 00:00", "hours": 30, "flow": 10}})"));
    const QString h = home.root().root();
    const QString prt = home.path(folder::Report, QStringLiteral("reading.old.prt"));
    Result r = cli({QStringLiteral("--home"), h, QStringLiteral("read"), QStringLiteral("--archives"),
                    QStringLiteral("hourly,daily"), QStringLiteral("--until-empty"),
                    QStringLiteral("--save-prt"), prt});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QString saved = home.path(folder::Report, QStringLiteral("reading.prt"));
    ASSERT_TRUE(QFile::exists(saved)) << r.err.toStdString();

    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("file"),
             QStringLiteral("show"), saved});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json().value(QStringLiteral("serial")).toString(), QStringLiteral("01234"));
    // The 30 records and the empty rest of their page, as the window's table holds them.
    EXPECT_GE(r.json().value(QStringLiteral("rows")).toObject().value(QStringLiteral("hourly")).toInt(), 30);

    // Stored from the file: the rows, the point's parameter file, and "файл" as the source of the request.
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("file"),
             QStringLiteral("store"), saved});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json().value(QStringLiteral("stored")).toObject().value(QStringLiteral("hourly")).toInt(),
              30);
    EXPECT_TRUE(home.exists(folder::Param, QStringLiteral("p_t01234.000")));
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("rows"),
             QStringLiteral("--point"), QStringLiteral("t01234"), QStringLiteral("--archive"),
             QStringLiteral("log")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("файл")) << r.out.toStdString();
    // The request names the file it came from (its end, when the path is longer than the field).
    EXPECT_TRUE(r.out.contains(saved.right(80).toUtf8())) << r.out.toStdString();

    EXPECT_EQ(cli({QStringLiteral("--home"), h, QStringLiteral("file"), QStringLiteral("show"),
                   home.path(folder::Report, QStringLiteral("none.prt"))})
                  .code,
              2);
}

// "Пр.пар" of a stored point: the parameter file storing wrote, the last correction the database keeps, and
// a point whose file is gone.
TEST(CliReports, TheProgrammedParametersOfAStoredPointComeFromItsParameterFile) {
    test::TempHome home;
    SimProgram sim;
    QFile scenario(QStringLiteral(TARN_SOURCE_DIR "/tools/corrector-sim/scenarios/report-month.json"));
    ASSERT_TRUE(scenario.open(QIODevice::ReadOnly));
    ASSERT_TRUE(sim.start(home, scenario.readAll()));
    const QStringList h{QStringLiteral("--home"), home.root().root()};
    ASSERT_EQ(cli(h + QStringLiteral("settings language RU").split(QLatin1Char(' '))).code, 0);
    Result r = cli(h + QStringLiteral("store --archives interference --until-empty").split(QLatin1Char(' ')));
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QStringList args = h +
                             QStringLiteral("report --point 04123 --period params").split(QLatin1Char(' ')) +
                             QStringList{QStringLiteral("--made"), QStringLiteral("10.04.2024 08:00:00")};
    r = cli(args);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QStringList lines = QString::fromUtf8(r.out).split(QLatin1Char('\n'));
    EXPECT_EQ(lines.at(7), QStringLiteral("                        ПРОГРАММИРУЕМЫЕ ПАРАМЕТРЫ"));
    EXPECT_EQ(lines.at(15), QStringLiteral("Дата последней  коррекции    05.03.2024 / 10:17"));
    EXPECT_EQ(lines.at(16), QStringLiteral("Дата печати                  10.04.2024 / 08:00"));

    ASSERT_TRUE(QFile::remove(home.path(folder::Param, QStringLiteral("p_04123.000"))));
    r = cli(args);
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(
        QStringLiteral("Внимание!!! Нет файла параметров для корректора - ")));
}

// A stored point's commercial report with its parameter block, and what a parameter file without its
// corrector's identification does: no report, no printout, no file shown or stored.
TEST(CliReports, AStoredPointsReportNeedsItsParameterFileAndAGarbageFileIsRefused) {
    test::TempHome home;
    SimProgram sim;
    QFile scenario(QStringLiteral(TARN_SOURCE_DIR "/tools/corrector-sim/scenarios/report-month.json"));
    ASSERT_TRUE(scenario.open(QIODevice::ReadOnly));
    ASSERT_TRUE(sim.start(home, scenario.readAll()));
    const QStringList h{QStringLiteral("--home"), home.root().root()};
    ASSERT_EQ(cli(h + QStringLiteral("settings language RU").split(QLatin1Char(' '))).code, 0);
    Result r = cli(h + QStringLiteral("store --archives daily --until-empty").split(QLatin1Char(' ')));
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QStringList day = h + QStringLiteral("report --point 04123 --period day --from 05.03.2024 --params")
                                    .split(QLatin1Char(' '));
    r = cli(day);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QStringList lines = QString::fromUtf8(r.out).split(QLatin1Char('\n'));
    EXPECT_TRUE(lines.contains(QStringLiteral("Параметры корректора на начало отчета:")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Текущие параметры корректора:")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Счетчик  газа    G100 №1234567  1234567")));

    const QString param = home.path(folder::Param, QStringLiteral("p_04123.000"));
    const QByteArray kept = home.read(folder::Param, QStringLiteral("p_04123.000"));
    const QString prt = home.path(folder::Report, QStringLiteral("garbage.prt"));
    QByteArray garbage(600, 'z');
    home.write(folder::Param, QStringLiteral("p_04123.000"), garbage);
    home.write(folder::Report, QStringLiteral("garbage.prt"), garbage);
    struct Refused {
        const char* what;
        QStringList args;
    };
    const QList<Refused> refused{
        {"report", day},
        {"printout", h + QStringLiteral("report --point 04123 --period params").split(QLatin1Char(' '))},
        {"file show", h + QStringList{QStringLiteral("file"), QStringLiteral("show"), prt}},
        {"file store", h + QStringList{QStringLiteral("file"), QStringLiteral("store"), prt}}};
    for (const Refused& c : refused) {
        r = cli(c.args);
        EXPECT_NE(r.code, 0) << c.what;
        EXPECT_TRUE(QString::fromUtf8(r.err).contains(QStringLiteral("Ошибка! Версия не определена!!!")))
            << c.what << ": " << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << c.what << ": " << r.out.toStdString();
    }
    r = cli(h + QStringLiteral("--json points list").split(QLatin1Char(' ')));
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.json().value(QStringLiteral("points")).toArray().size(), 1) << r.out.toStdString();

    ASSERT_TRUE(QFile::remove(param));
    r = cli(day);
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(
        QStringLiteral("Внимание!!! Нет файла параметров для корректора - ")))
        << r.err.toStdString();
    home.write(folder::Param, QStringLiteral("p_04123.000"), kept);
    EXPECT_EQ(cli(day).code, 0);
}

TEST(CliPolling, AGroupSummedFromTheDatabaseItsMembersAndAPointsLastRecords) {
    test::TempHome home;
    SimProgram sim;
    ASSERT_TRUE(sim.start(home, R"({"role": "corrector", "serial": 1234, "identification": "T Tarn-sim T47a",
        "archive": {"start": "01.03.2024 00:00", "hours": 30, "flow": 10}})"));
    const QString h = home.root().root();
    Result r = cli({QStringLiteral("--home"), h, QStringLiteral("store"), QStringLiteral("--archives"),
                    QStringLiteral("hourly,daily"), QStringLiteral("--until-empty")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    r = cli({QStringLiteral("--home"), h, QStringLiteral("group"), QStringLiteral("save"),
             QStringLiteral("Схід"), QStringLiteral("--points"), QStringLiteral("t01234")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QStringList summary{QStringLiteral("--home"),    h,
                              QStringLiteral("--json"),    QStringLiteral("group"),
                              QStringLiteral("summary"),   QStringLiteral("Схід"),
                              QStringLiteral("--archive"), QStringLiteral("hourly"),
                              QStringLiteral("--from"),    QStringLiteral("01.03.2024 01:00"),
                              QStringLiteral("--to"),      QStringLiteral("01.03.2024 03:00")};
    r = cli(summary);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonArray intervals = r.json().value(QStringLiteral("intervals")).toArray();
    ASSERT_EQ(intervals.size(), 3);
    EXPECT_EQ(intervals.at(2).toArray().at(1).toString(), QStringLiteral("03:00"));
    EXPECT_EQ(intervals.at(2).toArray().at(2).toString(), QStringLiteral("10"));
    const QJsonArray member = r.json().value(QStringLiteral("members")).toArray().at(0).toArray();
    EXPECT_EQ(member.at(2).toString(), QStringLiteral("01234"));
    EXPECT_EQ(member.at(8).toString(), QStringLiteral("норма"));

    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("group"),
             QStringLiteral("members"), QStringLiteral("Схід")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonArray members = r.json().value(QStringLiteral("members")).toArray();
    ASSERT_EQ(members.size(), 1);
    EXPECT_FALSE(members.at(0).toObject().value(QStringLiteral("late")).toBool());
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("points"),
             QStringLiteral("last"), QStringLiteral("t01234")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(
        r.json().value(QStringLiteral("rows")).toArray().at(0).toObject().value(QStringLiteral("recorded")),
        QStringLiteral("02.03.2024 06:00"));

    // The group's service archive, member by member, closed by the group's totals.
    const QStringList service{QStringLiteral("--home"),     h,
                              QStringLiteral("listing"),    QStringLiteral("--group"),
                              QStringLiteral("Схід"),       QStringLiteral("--archive"),
                              QStringLiteral("service"),    QStringLiteral("--from"),
                              QStringLiteral("01.03.2024"), QStringLiteral("--to"),
                              QStringLiteral("02.03.2024")};
    r = cli(service);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QStringList lines = QString::fromUtf8(r.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_TRUE(lines.first().startsWith(QStringLiteral("/груп.*Схід/період/служб.архів*")));
    EXPECT_TRUE(lines.contains(QStringLiteral("| н.п.|Дата      |Время|поточний код  |попередній код|")));
    EXPECT_EQ(lines.last(), QStringLiteral("Підсумок: коректорів - 1, записів - 0"));

    EXPECT_EQ(cli(QStringList(summary) << QStringLiteral("--archive") << QStringLiteral("weekly")).code, 2);
    ASSERT_TRUE(QFile::remove(home.path(folder::Param, QStringLiteral("p_t01234.000"))));
    for (const QStringList& args : {summary, service}) {
        r = cli(args);
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(QString::fromUtf8(r.err).contains(
            QStringLiteral("Внимание!!! Нет файла параметров для корректора - ")));
    }
}

// The transfer unit on the line: its zones, a read into the image files, a zone loaded and stored with
// "ДТУ" as the source of the request.
TEST(CliTransfer, AZoneIsReadLoadedAndStoredAsATransferUnitReading) {
    test::TempHome home;
    SimProgram sim;
    ASSERT_TRUE(sim.start(home, R"({"role": "dtu16", "zones": [{"status": 3, "corrector": {"serial": 1234,
        "identification": "T Tarn-sim T47a", "archive": {"start": "01.03.2024 00:00", "hours": 30,
        "flow": 10}}}, {"status": 1, "corrector": {"serial": 4321, "identification": "T Tarn-sim T47a"}},
        {"status": 0}]})"));
    const QString h = home.root().root();
    Result r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("dtu"),
                    QStringLiteral("state")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonArray zones = r.json().value(QStringLiteral("zones")).toArray();
    ASSERT_EQ(zones.size(), 16);
    EXPECT_EQ(zones.at(0).toObject().value(QStringLiteral("text")).toString(), QStringLiteral("Запис норма"));
    // The unit pads its version with NULs; the text has none.
    EXPECT_EQ(r.json().value(QStringLiteral("version")).toString(), QStringLiteral("DTU-1-16 v2.05"));
    EXPECT_FALSE(r.out.contains("\\u0000"));

    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("dtu"),
             QStringLiteral("read")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.json()
                    .value(QStringLiteral("zones"))
                    .toArray()
                    .at(0)
                    .toObject()
                    .value(QStringLiteral("text"))
                    .toString()
                    .startsWith(QStringLiteral("N 01234")));

    r = cli({QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("dtu"),
             QStringLiteral("load"), QStringLiteral("1"), QStringLiteral("--store")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject store = r.json().value(QStringLiteral("store")).toObject();
    EXPECT_EQ(store.value(QStringLiteral("point")).toString(), QStringLiteral("t01234"));
    EXPECT_EQ(store.value(QStringLiteral("stored")).toObject().value(QStringLiteral("hourly")).toInt(), 30);
    r = cli({QStringLiteral("--home"), h, QStringLiteral("rows"), QStringLiteral("--point"),
             QStringLiteral("t01234"), QStringLiteral("--archive"), QStringLiteral("log")});
    EXPECT_TRUE(r.out.contains("ДТУ")) << r.out.toStdString();

    EXPECT_EQ(cli({QStringLiteral("--home"), h, QStringLiteral("dtu"), QStringLiteral("erase")}).code, 2);

    // Only a zone with a complete copy loads, as the window offers only those; --force takes another with
    // a warning.
    struct LoadCase {
        const char* zone;
        bool force;
        int code;
        const char* said;
    };
    const LoadCase loads[] = {
        {"2", false, 1, "error: Запис неповний"},
        {"2", true, 0, "warning: Запис неповний"},
        {"5", false, 1, "error: Немає даних"},
        {"5", true, 3, "Ошибка открытия файла!!!"},
    };
    for (const LoadCase& c : loads) {
        QStringList args{QStringLiteral("--home"), h, QStringLiteral("dtu"), QStringLiteral("load"),
                         QString::fromLatin1(c.zone)};
        if (c.force) args.append(QStringLiteral("--force"));
        r = cli(args);
        EXPECT_EQ(r.code, c.code) << c.zone << c.force << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.said)) << c.zone << c.force << r.err.toStdString();
    }
    r = cli({QStringLiteral("--home"), h, QStringLiteral("dtu"), QStringLiteral("load"), QStringLiteral("2"),
             QStringLiteral("--force")});
    EXPECT_TRUE(r.out.contains("04321")) << r.out.toStdString();

    // A port that is not there is a link failure, as in every command.
    home.write(folder::Work, QStringLiteral("PortMap.000"), "COM1 /nonexistent/tty\r\n");
    r = cli({QStringLiteral("--home"), h, QStringLiteral("--lang"), QStringLiteral("ru"),
             QStringLiteral("dtu"), QStringLiteral("state")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("ОШИБКА!!! инициализации порта")) << r.err.toStdString();
}

// Words a command does not take, an empty or unknown word of a list, a pattern the test does not have:
// usage errors (exit 2) before anything is done.
TEST(Cli, WordsAndValuesACommandDoesNotTakeAreUsageErrors) {
    QTemporaryDir dir;
    struct Case {
        QStringList args;
        const char* said;
    };
    const Case cases[] = {
        {{"read", "--archives", ","}, "--archives"},
        {{"read", "--archives", ""}, "--archives"},
        {{"read", "--archives", "hourly,,daily"}, "--archives"},
        {{"read", "--archives", "hourly,weekly"}, "--archives"},
        {{"store", "--archives", ",daily"}, "--archives"},
        {{"read", "hourly"}, "unexpected hourly"},
        {{"identify", "now", "please"}, "unexpected now please"},
        {{"report", "--point", "t12345", "extra"}, "unexpected extra"},
        {{"dtu", "state", "16"}, "unexpected 16"},
        {{"dtu", "load", "1", "2"}, "unexpected 2"},
        {{"points", "show", "t12345", "t54321"}, "unexpected t54321"},
        {{"settings", "language", "RU", "UA"}, "unexpected UA"},
        {{"lpt", "test", "--yes", "--pattern", "zz"}, "--pattern"},
        {{"lpt", "test", "--yes", "--pause", "0"}, "--pause"},
        {{"lpt", "test", "--yes", "--pause", "soon"}, "--pause"},
        {{"lpt", "test"}, "--yes"},
        {{"lpt", "read", "--pattern", "00"}, "--pattern"},
        {{"lpt", "read", "now"}, "unexpected now"},
    };
    for (const Case& c : cases) {
        const Result r = cli(QStringList{QStringLiteral("--home"), dir.path(), QStringLiteral("--port"),
                                         QStringLiteral("/nonexistent/tty")} +
                             c.args);
        EXPECT_EQ(r.code, 2) << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.said)) << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
    }
    // Free words stay free where a command takes them.
    EXPECT_EQ(cli({QStringLiteral("--home"), dir.path(), QStringLiteral("settings"),
                   QStringLiteral("language"), QStringLiteral("RU")})
                  .code,
              0);
}

// The LPT commands speak the chosen language; a device that does not open is a link failure.
TEST(Cli, TheLptCommandsSpeakTheChosenLanguage) {
    QTemporaryDir dir;
    for (const auto& [lang, text] : {std::pair{"ua", "Помилка відкриття порту/nonexistent/parport"},
                                     std::pair{"ru", "Ошибка открытия порта/nonexistent/parport"}}) {
        for (const char* action : {"read", "test"}) {
            QStringList args{QStringLiteral("--home"),   dir.path(),
                             QStringLiteral("--lang"),   QString::fromLatin1(lang),
                             QStringLiteral("lpt"),      QString::fromLatin1(action),
                             QStringLiteral("--device"), QStringLiteral("/nonexistent/parport")};
            if (qstrcmp(action, "test") == 0) args.append(QStringLiteral("--yes"));
            const Result r = cli(args);
            EXPECT_EQ(r.code, 1) << lang << action;
            EXPECT_TRUE(r.err.contains(QString::fromUtf8(text).toUtf8()))
                << lang << action << r.err.toStdString();
        }
    }
    const Result r = cli({QStringLiteral("--home"), dir.path(), QStringLiteral("--lang"),
                          QStringLiteral("ua"), QStringLiteral("lpt"), QStringLiteral("test")});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("Увага !!! Після запуску тесту")) << r.err.toStdString();
}

// --help names every option: the global ones and each command's; COMMAND --help its own and the global.
TEST(Cli, HelpListsEveryOption) {
    const QStringList global{"--home",    "--port",  "--address",   "--address-book", "--speed", "--timeout",
                             "--retries", "--phone", "--dial-wait", "--trace",        "--lang",  "--json"};
    Result r = cli({QStringLiteral("--help")});
    ASSERT_EQ(r.code, 0);
    for (const QString& o :
         global + QStringList{"--stop-on-error", "--force", "--pause MS", "--save-xls FILE",
                              "--matrix-csv FILE", "--modem-repeats N", "--link KIND"})
        EXPECT_TRUE(r.out.contains(o.toUtf8())) << o.toStdString();
    r = cli({QStringLiteral("read"), QStringLiteral("--help")});
    ASSERT_EQ(r.code, 0);
    for (const QString& o :
         global + QStringList{"--archives LIST", "--until-empty", "--days N", "--save-prt FILE",
                              "--save-txt FILE", "--save-xls FILE", "--sheets LIST"})
        EXPECT_TRUE(r.out.contains(o.toUtf8())) << o.toStdString();
}

// A "--pdf" that is another option's value asks for no PDF: the command stays a console program and runs
// where no display, nor even a usable platform plugin, is there.
TEST(Cli, APdfWordAsAnOptionsValueNeedsNoDisplay) {
    QTemporaryDir dir;
    const QString home = dir.path() + QStringLiteral("/inst");
    ASSERT_EQ(cli({QStringLiteral("--home"), home, QStringLiteral("init")}).code, 0);
    const QStringList list{QStringLiteral("--home"),
                           home,
                           QStringLiteral("protocol"),
                           QStringLiteral("poll"),
                           QStringLiteral("--points"),
                           QStringLiteral("--made"),
                           QStringLiteral("01.03.2024 10:00:00")};
    const Result shown = cli(list);
    ASSERT_EQ(shown.code, 0) << shown.err.toStdString();
    const QStringList expected = QString::fromUtf8(shown.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(expected.isEmpty());

    const struct {
        QStringList args;
        bool toFile; // the text goes into the file "--pdf"
    } cases[] = {
        {list + QStringList{QStringLiteral("--out"), QStringLiteral("--pdf")}, true},
        {QStringList{QStringLiteral("--trace"), QStringLiteral("--pdf")} + list, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const QString file = dir.path() + QStringLiteral("/--pdf");
        QFile::remove(file);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"TARN_HOME", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("no-such-platform"));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir.path());
        p.start(QStringLiteral(TARN_CLI_PROGRAM), c.args);
        ASSERT_TRUE(test::waitUntil([&] { return p.state() == QProcess::NotRunning; }, 20000));
        const QByteArray err = p.readAllStandardError();
        ASSERT_EQ(p.exitStatus(), QProcess::NormalExit) << err.toStdString();
        ASSERT_EQ(p.exitCode(), 0) << err.toStdString();
        EXPECT_FALSE(err.contains("platform")) << err.toStdString();
        if (!c.toFile) {
            EXPECT_EQ(
                QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
                expected);
            continue;
        }
        QFile written(file);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        const QByteArray bytes = written.readAll();
        EXPECT_TRUE(bytes.endsWith("\r\n"));
        EXPECT_FALSE(bytes.startsWith("%PDF"));
        QStringList lines = test::fromCp1251(bytes).split(QStringLiteral("\r\n"));
        lines.removeAll(QString());
        EXPECT_EQ(lines, expected);
    }
}

// Listings of a point whose pipeline and organisation names hold the CSV delimiter and double quotes, read
// back as a spreadsheet reads them; a group's bare dates; a request's files written all or none.
TEST(CliListings, CsvFilesKeepTheirColumnsAGroupDayIsWholeAndFilesAreWrittenAllOrNone) {
    test::TempHome home;
    SimProgram sim;
    ASSERT_TRUE(sim.start(home, R"({"role": "corrector", "serial": 1234, "identification": "T Tarn-sim T47a",
        "words": [{"index": 121, "text": "ГРП-1, нитка 1"}, {"index": 113, "text": "ТОВ \"Газ\""}],
        "archive": {"start": "01.03.2024 00:00", "hours": 30, "flow": 10}})"));
    const QString h = home.root().root();
    Result r = cli({QStringLiteral("--home"), h, QStringLiteral("store"), QStringLiteral("--archives"),
                    QStringLiteral("hourly,daily"), QStringLiteral("--until-empty")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    ASSERT_EQ(cli({QStringLiteral("--home"), h, QStringLiteral("group"), QStringLiteral("save"),
                   QStringLiteral("Схід"), QStringLiteral("--points"), QStringLiteral("t01234")})
                  .code,
              0);
    home.write(folder::Current, QStringLiteral("Delim.000"), ",\r\n");
    const QChar comma = QLatin1Char(',');
    const QString file = h + QStringLiteral("/");
    auto contents = [&file](const char* name) {
        QFile f(file + QString::fromLatin1(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };

    // The group's hourly listing over one bare date: the 24 hours of that day.
    const QStringList group{QStringLiteral("--home"),
                            h,
                            QStringLiteral("listing"),
                            QStringLiteral("--group"),
                            QStringLiteral("Схід"),
                            QStringLiteral("--archive"),
                            QStringLiteral("hourly"),
                            QStringLiteral("--from"),
                            QStringLiteral("01.03.2024"),
                            QStringLiteral("--to"),
                            QStringLiteral("01.03.2024"),
                            QStringLiteral("--columns"),
                            QStringLiteral("дата,время,Vраб,И/В")};
    r = cli(group + QStringList{QStringLiteral("--csv"), file + QStringLiteral("g.csv"),
                                QStringLiteral("--matrix-csv"), file + QStringLiteral("m.csv")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const auto matrix = test::readCsvFile(file + QStringLiteral("m.csv"), comma);
    ASSERT_TRUE(matrix);
    ASSERT_EQ(matrix->size(), 1 + 1 + 24 + 1); // title, header, the hours 00:00 … 23:00, the period
    EXPECT_EQ(matrix->at(1), (QStringList{"дата", "время", "ГРП-1, нитка 1", "итого по группе", ""}));
    EXPECT_EQ(matrix->at(2).at(1), QStringLiteral("00:00"));
    EXPECT_EQ(matrix->at(25).at(1), QStringLiteral("23:00"));
    for (qsizetype i = 1; i < matrix->size(); ++i)
        EXPECT_EQ(matrix->at(i).size(), 5) << i;
    const auto whole = test::readCsvFile(file + QStringLiteral("g.csv"), comma);
    ASSERT_TRUE(whole);
    ASSERT_EQ(whole->size(), 1 + 1 + 24 + 1);
    for (qsizetype i = 1; i < whole->size(); ++i)
        EXPECT_EQ(whole->at(i).size(), 5) << i; // four columns and the empty last field

    r = cli(group + QStringList{QStringLiteral("--breakdown"), QStringLiteral("--csv"),
                                file + QStringLiteral("b.csv")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const auto breakdown = test::readCsvFile(file + QStringLiteral("b.csv"), comma);
    ASSERT_TRUE(breakdown);
    ASSERT_GT(breakdown->size(), 2);
    EXPECT_EQ(breakdown->at(1), QStringList{"орг.-\"ТОВ \"Газ\"\" ветка-\"ГРП-1, нитка 1\""});

    // The point's listing with the flags: every row has the header's fields.
    const QStringList point{QStringLiteral("--home"),
                            h,
                            QStringLiteral("listing"),
                            QStringLiteral("--point"),
                            QStringLiteral("t01234"),
                            QStringLiteral("--archive"),
                            QStringLiteral("hourly"),
                            QStringLiteral("--period"),
                            QStringLiteral("period"),
                            QStringLiteral("--from"),
                            QStringLiteral("29.02.2024"),
                            QStringLiteral("--to"),
                            QStringLiteral("01.03.2024"),
                            QStringLiteral("--columns"),
                            QStringLiteral("ном.,дата,время,Vраб,И/В"),
                            QStringLiteral("--totals")};
    r = cli(point + QStringList{QStringLiteral("--csv"), file + QStringLiteral("p.csv")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const auto rows = test::readCsvFile(file + QStringLiteral("p.csv"), comma);
    ASSERT_TRUE(rows);
    ASSERT_GT(rows->size(), 3);
    EXPECT_EQ(rows->at(1).at(4), QStringLiteral("И/В"));
    for (qsizetype i = 1; i < rows->size(); ++i)
        EXPECT_EQ(rows->at(i).size(), 6) << i;

    // One target that cannot take its file: none of them is written, an old file stays as it was.
    const QString text = file + QStringLiteral("p.txt");
    {
        QFile old(text);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old\r\n");
    }
    for (const QString& bad : {file + QStringLiteral("missing/p.csv"), h, file + QStringLiteral("p?.csv")}) {
        r = cli(point + QStringList{QStringLiteral("--out"), text, QStringLiteral("--csv"), bad});
        EXPECT_EQ(r.code, 2) << bad.toStdString();
        EXPECT_TRUE(QString::fromUtf8(r.err).contains(QStringLiteral("no file written")))
            << r.err.toStdString();
        EXPECT_EQ(contents("p.txt"), QByteArray("old\r\n"));
    }
    EXPECT_FALSE(QFileInfo::exists(file + QStringLiteral("missing")));
    r = cli(group + QStringList{QStringLiteral("--out"), file + QStringLiteral("new.txt"),
                                QStringLiteral("--csv"), file + QStringLiteral("new.csv"),
                                QStringLiteral("--matrix-csv"), h});
    EXPECT_EQ(r.code, 2);
    EXPECT_FALSE(QFileInfo::exists(file + QStringLiteral("new.txt")));
    EXPECT_FALSE(QFileInfo::exists(file + QStringLiteral("new.csv")));
    const QStringList report{QStringLiteral("--home"),       h,
                             QStringLiteral("report"),       QStringLiteral("--point"),
                             QStringLiteral("t01234"),       QStringLiteral("--period"),
                             QStringLiteral("day"),          QStringLiteral("--from"),
                             QStringLiteral("01.03.2024"),   QStringLiteral("--out"),
                             file + QStringLiteral("r.txt"), QStringLiteral("--pdf")};
    r = cli(report + QStringList{h});
    EXPECT_EQ(r.code, 2);
    EXPECT_FALSE(QFileInfo::exists(file + QStringLiteral("r.txt")));
    // Both targets good: both written, and nothing left beside them.
    r = cli(report + QStringList{file + QStringLiteral("r.pdf")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(contents("r.pdf").startsWith("%PDF"));
    EXPECT_FALSE(contents("r.txt").isEmpty());
    EXPECT_TRUE(
        QDir(h).entryList({QStringLiteral("*.part"), QStringLiteral("*.old")}, QDir::Files).isEmpty());
}

TEST(Cli, DbCheckFindsRepairsAndKeepsTheOriginal) {
    QTemporaryDir dir;
    const QString home = dir.path() + QStringLiteral("/inst");
    const auto run = [&](QStringList args) {
        return cli(QStringList{QStringLiteral("--home"), home} + args);
    };
    ASSERT_EQ(run({QStringLiteral("init")}).code, 0);
    Result r = run({QStringLiteral("--json"), QStringLiteral("db"), QStringLiteral("check")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.json().value(QStringLiteral("findings")).toArray().isEmpty());
    EXPECT_EQ(r.json().value(QStringLiteral("left")).toInt(), 0);

    // A trigger in the registry, and an hourly table that no registry row names.
    const QString registry = home + QStringLiteral("/Data/Bd_Quon.DB");
    ASSERT_TRUE(test::alterTableFile(
        registry,
        {QStringLiteral("CREATE TRIGGER wipe AFTER INSERT ON Bd_Quon BEGIN DELETE FROM Bd_Quon; END")}));
    ASSERT_TRUE(test::alterTableFile(home + QStringLiteral("/Hour/h_t12345.db"),
                                     {QStringLiteral("CREATE TABLE h_t12345 (hNum INTEGER)")}));

    r = run({QStringLiteral("--json"), QStringLiteral("db"), QStringLiteral("check")});
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    QJsonArray findings = r.json().value(QStringLiteral("findings")).toArray();
    ASSERT_EQ(findings.size(), 2) << r.out.toStdString();
    const QJsonObject trigger = findings.at(0).toObject();
    EXPECT_EQ(trigger.value(QStringLiteral("file")).toString(), QStringLiteral("Data/Bd_Quon.DB"));
    EXPECT_EQ(trigger.value(QStringLiteral("table")).toString(), QStringLiteral("Bd_Quon"));
    EXPECT_EQ(trigger.value(QStringLiteral("kind")).toString(), QStringLiteral("extra-object"));
    EXPECT_EQ(trigger.value(QStringLiteral("detail")).toString(), QStringLiteral("trigger wipe"));
    EXPECT_FALSE(trigger.value(QStringLiteral("repaired")).toBool(true));
    EXPECT_EQ(findings.at(1).toObject().value(QStringLiteral("kind")).toString(),
              QStringLiteral("orphan-table"));
    EXPECT_EQ(r.json().value(QStringLiteral("left")).toInt(), 2);

    // One point: the registry and that point's tables.
    r = run({QStringLiteral("--json"), QStringLiteral("db"), QStringLiteral("check"),
             QStringLiteral("--point"), QStringLiteral("t12345")});
    EXPECT_EQ(r.code, 1);
    findings = r.json().value(QStringLiteral("findings")).toArray();
    EXPECT_EQ(findings.size(), 2);
    r = run({QStringLiteral("--lang"), QStringLiteral("ru"), QStringLiteral("db"), QStringLiteral("check")});
    EXPECT_EQ(r.code, 1);
    const QStringList lines = QString::fromUtf8(r.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << r.out.toStdString();
    EXPECT_EQ(lines.at(0), QStringLiteral("Data/Bd_Quon.DB: лишний объект в файле (trigger wipe)"));
    EXPECT_EQ(lines.at(1), QStringLiteral("Hour/h_t12345.db: таблица без строки реестра (t12345)"));
    EXPECT_EQ(lines.at(2), QStringLiteral("Проверено таблиц: 4, замечаний: 2, не исправлено: 2"));

    // The registry is rebuilt with its rows, the original kept beside it; the orphan is left to the engineer.
    r = run({QStringLiteral("--json"), QStringLiteral("db"), QStringLiteral("check"),
             QStringLiteral("--repair")});
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    findings = r.json().value(QStringLiteral("findings")).toArray();
    ASSERT_EQ(findings.size(), 2);
    const QJsonObject repaired = findings.at(0).toObject();
    EXPECT_TRUE(repaired.value(QStringLiteral("repaired")).toBool());
    const QString kept = repaired.value(QStringLiteral("keptAs")).toString();
    EXPECT_TRUE(kept.startsWith(QStringLiteral("Data/Bd_Quon.DB.damaged-"))) << kept.toStdString();
    EXPECT_EQ(test::queryNumber(home + QLatin1Char('/') + kept,
                                QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'trigger'")),
              1);
    EXPECT_EQ(test::queryNumber(registry,
                                QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'trigger'")),
              0);
    EXPECT_EQ(test::queryNumber(registry, QStringLiteral("SELECT count(*) FROM Bd_Quon")),
              1); // the seed record
    EXPECT_FALSE(findings.at(1).toObject().value(QStringLiteral("repaired")).toBool(true));
    EXPECT_EQ(r.json().value(QStringLiteral("left")).toInt(), 1);

    EXPECT_EQ(run({QStringLiteral("db"), QStringLiteral("check"), QStringLiteral("--point"),
                   QStringLiteral("../x")})
                  .code,
              2);
    EXPECT_EQ(run({QStringLiteral("db"), QStringLiteral("mend")}).code, 2);
    EXPECT_EQ(run({QStringLiteral("db"), QStringLiteral("check"), QStringLiteral("--point"),
                   QStringLiteral("t54321")})
                  .code,
              2);
}

TEST(Cli, PollStatusTellsALivePollerFromAGoneOneAndSaysWhenThereIsNone) {
    QTemporaryDir dir;
    const QString h = dir.path() + QStringLiteral("/inst");
    ASSERT_EQ(cli({QStringLiteral("--home"), h, QStringLiteral("init")}).code, 0);
    const QStringList status{QStringLiteral("--home"), h, QStringLiteral("--json"), QStringLiteral("poll"),
                             QStringLiteral("--status")};
    Result r = cli(status);
    EXPECT_EQ(r.code, 3) << r.err.toStdString();
    EXPECT_FALSE(r.json().value(QStringLiteral("running")).toBool());
    EXPECT_EQ(r.json().value(QStringLiteral("liveness")).toString(), QStringLiteral("no-state"));

    // The file as a poller leaves it: Windows-1251 ("опрос по времени"), CR LF.
    const auto writeState = [&](qint64 pid, const QDateTime& written) {
        QFile f(DataRoot(h).file(folder::Current, QStringLiteral("PollState.000")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(
            "pid=" + QByteArray::number(pid) +
            "\r\nwritten=" + written.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")).toLatin1() +
            "\r\nmode=3\r\nstate=\xEE\xEF\xF0\xEE\xF1 \xEF\xEE \xE2\xF0\xE5\xEC\xE5\xED\xE8\r\ngroup=G1\r\n"
            "point=P1\r\nidentifier=t00011\r\nnext=2\tG1\t09:00\t10:00\r\n"
            "failure=08:04:00\tt00022\tP2\tfailed\r\n");
    };
    const qint64 self = QCoreApplication::applicationPid();
    writeState(self, QDateTime::currentDateTime());
    r = cli(status);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QJsonObject o = r.json();
    EXPECT_TRUE(o.value(QStringLiteral("running")).toBool());
    EXPECT_EQ(o.value(QStringLiteral("state")).toString(), QStringLiteral("опрос по времени"));
    EXPECT_EQ(o.value(QStringLiteral("identifier")).toString(), QStringLiteral("t00011"));
    EXPECT_EQ(o.value(QStringLiteral("next")).toObject().value(QStringLiteral("begin")).toString(),
              QStringLiteral("09:00"));
    ASSERT_EQ(o.value(QStringLiteral("failures")).toArray().size(), 1);
    EXPECT_EQ(o.value(QStringLiteral("failures"))
                  .toArray()
                  .at(0)
                  .toObject()
                  .value(QStringLiteral("point"))
                  .toString(),
              QStringLiteral("t00022"));

    // A file not renewed for ten minutes is no live poller, even if its process id is taken.
    writeState(self, QDateTime::currentDateTime().addSecs(-600));
    r = cli(status);
    EXPECT_EQ(r.code, 0);
    EXPECT_FALSE(r.json().value(QStringLiteral("running")).toBool());
    EXPECT_EQ(r.json().value(QStringLiteral("liveness")).toString(), QStringLiteral("too-old"));

    // A process that has ended: a child of ours, waited for.
    QProcess child;
    child.start(QStringLiteral(TARN_CLI_PROGRAM), {QStringLiteral("--help")});
    ASSERT_TRUE(child.waitForStarted());
    const qint64 gone = child.processId();
    ASSERT_TRUE(test::waitUntil([&] { return child.state() == QProcess::NotRunning; }, 20000));
    writeState(gone, QDateTime::currentDateTime());
    r = cli({QStringLiteral("--home"), h, QStringLiteral("poll"), QStringLiteral("--status")});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.startsWith("poller: NOT RUNNING (process " + QByteArray::number(gone) + " is gone"))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("next row: 2\tG1\t09:00-10:00\n"));
}
