// tarn-cli scan: the same scan without the window, against the simulator program on a pseudo-terminal.
#include "ScanTestSupport.h"
#include "common/TextFile.h"
#include "support/CliRunner.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace tarn;

namespace {

// An installation whose COM2 is the simulator playing the scenario; COM1 does not exist.
struct CliBench {
    tarn::test::TempHome home;
    tarn::test::SimProcess sim;

    bool startSimulator(const QByteArray& scenario) {
        writeTextLines(home.path(folder::Work, QStringLiteral("PortMap.000")),
                       {QStringLiteral("COM1 ") + home.root().root() + QStringLiteral("/absent"),
                        QStringLiteral("COM2 ") + home.root().root() + QStringLiteral("/COM2")});
        home.write(folder::Work, QStringLiteral("Q_RS.000"), "3\r\n");
        return sim.start(QStringLiteral(TARN_SIM_PROGRAM),
                         home.root().root() + QStringLiteral("/scenario.json"), scenario,
                         home.root().root() + QStringLiteral("/COM2"));
    }
    // Runs tarn-cli; returns its exit code and fills the lines it printed.
    int cli(const QStringList& args, QStringList& lines) {
        const tarn::test::CliResult ran = tarn::test::runCliIn(home.root().root(), args);
        lines = ran.outText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        return ran.code;
    }
};

} // namespace

TEST(PortScanCli, ACorrectorIsFoundAndTheLogPrinted) {
    CliBench b;
    // The identification reply: status, 32 bytes naming the corrector, the check byte.
    const QByteArray reply = portscan::test::identificationReply("Tarn-NM 4.12 N01234");
    ASSERT_TRUE(b.startSimulator(
        R"({"devices": [{"role": "scripted", "replies": [{"request": "02 00 20 DD", "reply": ")" +
        reply.toHex(' ') + R"("}]}]})"));
    QStringList lines;
    ASSERT_EQ(b.cli({QStringLiteral("scan"), QStringLiteral("--mode"), QStringLiteral("corrector"),
                     QStringLiteral("--lang"), QStringLiteral("ru")},
                    lines),
              0);
    QByteArray shown;
    for (char c : reply)
        if (static_cast<quint8>(c) >= 0x20) shown.append(c);
    EXPECT_EQ(lines,
              (QStringList{QStringLiteral("контроль рабочих портов RS-232"), QStringLiteral("COM2"),
                           QStringLiteral("*Старт контроль соединения - \"корректор\""),
                           QStringLiteral("контроль-COM2"),
                           QStringLiteral("корректор \"ТАРН-НM\" ->") + QString::fromLatin1(shown),
                           QStringLiteral("коppектор подключен к порту -COM2"), QStringLiteral("стоп!!!")}));
}

TEST(PortScanCli, AModemInTheLanguageOfTheFileAndNothingFound) {
    CliBench b;
    ASSERT_TRUE(b.startSimulator(R"({"role": "modem", "info": "Sim modem 56000"})"));
    b.home.write(folder::Work, QStringLiteral("Type_Leng.000"), "UA\r\nEN \r\n");
    QStringList lines;
    ASSERT_EQ(b.cli({QStringLiteral("scan"), QStringLiteral("--mode"), QStringLiteral("modem")}, lines), 0);
    EXPECT_EQ(lines.mid(2),
              (QStringList{QStringLiteral("*Start connection control - \"modem\""),
                           QStringLiteral("control-COM2"), QStringLiteral("modem port - COM2"),
                           QStringLiteral("ATI0Sim modem 56000OK"), QStringLiteral("stop!!!")}));

    // No port to examine: nothing found.
    b.home.write(folder::Work, QStringLiteral("Q_RS.000"), "1\r\n");
    EXPECT_EQ(b.cli({QStringLiteral("--lang"), QStringLiteral("ua"), QStringLiteral("scan"),
                     QStringLiteral("--mode"), QStringLiteral("dtu2mb")},
                    lines),
              1);
    EXPECT_EQ(lines, (QStringList{QStringLiteral("контроль робочих портів RS-232"),
                                  QStringLiteral("*Старт контроль з’єднання - \"USB-DTU-2MB\""),
                                  QStringLiteral("стоп!!!")}));
    EXPECT_EQ(b.cli({QStringLiteral("scan"), QStringLiteral("--mode"), QStringLiteral("toaster")}, lines), 2);
}

// tarn-cli scan against the simulator playing a corrector from its presets: the demo corrector is found,
// whichever generation it is.
TEST(PortScanCli, TheDemoCorrectorIsFound) {
    for (const auto& [preset, kind] : {std::pair{"series1", "корректор \"ТАРН-НM\" ->V Tarn-NM  V46a"},
                                       std::pair{"old", "корректор \"ТАРН/КВОН\" ->M QUON-2   M40c"}}) {
        CliBench b;
        ASSERT_TRUE(b.startSimulator(QByteArray(R"({"role": "corrector", "preset": ")") + preset + R"("})"));
        QStringList lines;
        ASSERT_EQ(b.cli({QStringLiteral("scan"), QStringLiteral("--mode"), QStringLiteral("corrector"),
                         QStringLiteral("--lang"), QStringLiteral("ru")},
                        lines),
                  0)
            << preset << lines.join(QLatin1Char('|')).toStdString();
        ASSERT_GE(lines.size(), 3) << preset;
        EXPECT_TRUE(lines.at(lines.size() - 3).startsWith(QString::fromUtf8(kind)))
            << lines.join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(
            lines.mid(lines.size() - 2),
            (QStringList{QStringLiteral("коppектор подключен к порту -COM2"), QStringLiteral("стоп!!!")}));
    }
}
