// End to end: the built tarn-cli talks through a pseudo-terminal to the built simulator.
#include "common/TextFile.h"
#include "link/LinkSettings.h"
#include "support/CliRunner.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace tarn;

namespace {

struct CliResult {
    int exitCode = -1;
    QJsonObject json;
    QByteArray out;
};

CliResult runCli(const QString& home, const QStringList& args) {
    const test::CliResult ran = test::runCliIn(home, args);
    return {ran.code, ran.json(), ran.out};
}

} // namespace

TEST(CliExchange, AgainstTheSimulatorOnAPseudoTerminal) {
    test::TempHome home;
    const QString base = home.root().root();
    const QString linkPath = base + QStringLiteral("/sim-COM1");
    test::SimProcess sim;
    ASSERT_TRUE(sim.start(QStringLiteral(TARN_SIM_PROGRAM), base + QStringLiteral("/scenario.json"),
                          R"({"devices": [{"role": "corrector", "address": 2, "serial": 4123,
        "identification": "V Tarn-sim V47a",
        "archive": {"start": "01.03.2024 00:00", "hours": 20, "flow": 10}}]})",
                          linkPath));

    home.write(folder::Work, QStringLiteral("PortMap.000"), ("COM1 " + linkPath + "\r\n").toUtf8());
    // Time-outs and retries come from the settings file when no option names them.
    link::LinkSettings s;
    s.replyTimeoutMs = 300;
    s.retryCount = 2;
    s.writeDelayMs = 0;
    ASSERT_TRUE(link::saveSettings(link::SettingsFiles(home.root()), s));

    const QString trace = base + QStringLiteral("/trace.txt");
    CliResult id =
        runCli(base, {QStringLiteral("--address"), QStringLiteral("2"), QStringLiteral("--trace"), trace,
                      QStringLiteral("--json"), QStringLiteral("exchange"), QStringLiteral("--op"),
                      QStringLiteral("read"), QStringLiteral("--at"), QStringLiteral("0")});
    EXPECT_EQ(id.exitCode, 0);
    EXPECT_EQ(id.json.value(QStringLiteral("sent")).toInt(), 1);
    EXPECT_TRUE(id.json.value(QStringLiteral("payloads"))
                    .toArray()
                    .at(0)
                    .toString()
                    .startsWith(QString::fromLatin1(QByteArray("V Tarn-sim V47a").toHex().toUpper())));
    const auto lines = readTextLines(trace);
    ASSERT_TRUE(lines);
    EXPECT_TRUE(lines->contains(QStringLiteral("-> 04 00 20 DB ")));
    EXPECT_TRUE(lines->contains(QStringLiteral("<- кіл.б-т =34 :: ")));

    CliResult archive =
        runCli(base, {QStringLiteral("--address"), QStringLiteral("2"), QStringLiteral("exchange"),
                      QStringLiteral("--op"), QStringLiteral("archive-low"), QStringLiteral("--at"),
                      QStringLiteral("52"), QStringLiteral("--blocks"), QStringLiteral("3")});
    EXPECT_EQ(archive.exitCode, 0);
    EXPECT_EQ(archive.out.count('\n'), 3);

    // A parameter page goes out twice (the two reads agree) and is printed once.
    CliResult page = runCli(base, {QStringLiteral("--address"), QStringLiteral("2"), QStringLiteral("--json"),
                                   QStringLiteral("exchange"), QStringLiteral("--op"), QStringLiteral("page"),
                                   QStringLiteral("--at"), QStringLiteral("64")});
    EXPECT_EQ(page.exitCode, 0);
    EXPECT_EQ(page.json.value(QStringLiteral("sent")).toInt(), 2);
    const QJsonArray pages = page.json.value(QStringLiteral("payloads")).toArray();
    ASSERT_EQ(pages.size(), 1);
    // Word 99, the serial number 4123, is word 36 of the page.
    EXPECT_EQ(pages.at(0).toString().mid(35 * 8, 8), QStringLiteral("1B100000"));

    CliResult refused =
        runCli(base, {QStringLiteral("--address"), QStringLiteral("2"), QStringLiteral("--lang"),
                      QStringLiteral("ru"), QStringLiteral("--json"), QStringLiteral("exchange"),
                      QStringLiteral("--op"), QStringLiteral("write"), QStringLiteral("--at"),
                      QStringLiteral("0x82"), QStringLiteral("--data"), QStringLiteral("1B10 3333333F")});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_EQ(refused.json.value(QStringLiteral("refused")).toString(),
              QStringLiteral("ЗАПИСЬ НЕВОЗМОЖНА, НЕТ ДОПУСКА"));

    CliResult silent = runCli(
        base, {QStringLiteral("--address"), QStringLiteral("5"), QStringLiteral("--timeout"),
               QStringLiteral("100"), QStringLiteral("--json"), QStringLiteral("exchange"),
               QStringLiteral("--op"), QStringLiteral("read"), QStringLiteral("--at"), QStringLiteral("1")});
    EXPECT_EQ(silent.exitCode, 1);
    EXPECT_EQ(silent.json.value(QStringLiteral("sent")).toInt(), 2);
    EXPECT_EQ(silent.json.value(QStringLiteral("noLink")).toString(), QStringLiteral("НЕМАЄ ЗВ’ЯЗКУ RS-232"));

    sim.process().terminate();
    EXPECT_TRUE(sim.process().waitForFinished(3000));
}
