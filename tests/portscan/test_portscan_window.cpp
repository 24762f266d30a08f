// The scanner's window, offscreen: its captions come from the three-language tables.
#include "common/Language.h"
#include "link/FakeSerialPort.h"
#include "portscan/windows/About.h"
#include "portscan/windows/pPortScan.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::portscan;

TEST(PortScanWindow, CaptionsInTheLanguageOfTheFile) {
    const std::pair<const char*, int> cases[] = {
        {"UA\r\n", kUkrainian}, {"RU\r\n", kRussian}, {"EN\r\n", kEnglish}};
    for (const auto& [file, lang] : cases) {
        tarn::test::TempHome home;
        home.write(folder::Work, QStringLiteral("Type_Leng.000"), file);
        home.write(folder::Work, QStringLiteral("Q_RS.000"), "9\r\n");
        link::FakeSerialPort com;
        link::FakeSerialPort unit;
        ScanLog log;
        PortScanner scanner(com, unit, log);
        TfPortScan window(scanner, log, home.root());
        window.show();
        EXPECT_EQ(scanner.language(), lang);
        EXPECT_EQ(scanner.portLimit(), 9);
        EXPECT_EQ(window.windowTitle(), scanText(ScanText::Caption, lang));
        EXPECT_EQ(window.menuAbout->text(), scanText(ScanText::MenuAbout, lang));
        EXPECT_EQ(window.menuExit->text(), scanText(ScanText::MenuExit, lang));
        EXPECT_EQ(window.kStart->text(), scanText(ScanText::Start, lang));
        EXPECT_EQ(window.kStop->text(), scanText(ScanText::Stop, lang));
        EXPECT_EQ(window.sb_Clear->text(), scanText(ScanText::Clear, lang));
        EXPECT_EQ(window.rModem->text(), scanText(ScanText::ModeModem, lang));
        EXPECT_EQ(window.rCorr->text(), scanText(ScanText::ModeCorrector, lang));
        EXPECT_EQ(window.rUSB_DTU->text(), scanText(ScanText::ModeAdapter, lang));
        EXPECT_EQ(window.rbDTU_2MB->text(), scanText(ScanText::ModeUnit2mb, lang));
        if (lang == kEnglish) {
            EXPECT_EQ(window.sb_Clear->text(), QStringLiteral("CLEANING"));
            EXPECT_EQ(window.rbDTU_2MB->text(), QStringLiteral("DTU-2Mb"));
        }

        // The speed box shows in the modem and corrector modes only; the mode reaches the scanner.
        EXPECT_TRUE(window.cbFixedlSp->isVisible());
        EXPECT_EQ(window.cbFixedlSp->currentText(), QStringLiteral("9600"));
        window.rUSB_DTU->click();
        EXPECT_FALSE(window.cbFixedlSp->isVisible());
        EXPECT_EQ(scanner.selectedMode(), ScanMode::UsbAdapter);

        TAboutForm about(scanner.language());
        about.setTexts();
        EXPECT_EQ(about.windowTitle(), aboutText(AboutText::Caption, lang));
        EXPECT_EQ(about.version->text(), aboutText(AboutText::Version, lang));
        EXPECT_EQ(about.ok->text(), aboutText(AboutText::Button, lang));
        EXPECT_EQ(about.title->text(), QStringLiteral("Сканер портов\nRS-232"));
        window.close();
    }
}
