#pragma once
// The port scanner's texts in its three languages (1 Ukrainian, 2 Russian, 3 English) and the colours of
// its log lines.
#include "common/Language.h"

#include <QString>

namespace tarn::portscan {

// Message numbers of the scanner's table. Texts that end in "COM" are followed directly by the port
// number, texts that end in "-" by "COM" and the number.
enum class ScanText : int {
    Caption = 1,
    MenuAbout = 2,
    MenuExit = 3,
    Start = 4,
    Stop = 5,
    Clear = 6,
    ModeModem = 7,
    ModeCorrector = 8,
    ModeAdapter = 9,
    ModeUnit2mb = 10,
    ControlPorts = 11,
    Stopped = 12,
    ModemPort = 13,
    CorrectorQuon = 14,
    CorrectorTarn = 15,
    Control = 16,
    UnitFound = 17,
    UnitNone = 18,
    StartModem = 19,
    StartCorrector = 20,
    StartAdapter = 21,
    StartUnit2mb = 22,
    PortBusy = 23,
    NoModem = 24,
    CorrectorFound = 25,
    NoCorrector = 26,
    AdapterFound = 27,
    NoAdapter = 28,
};
inline constexpr int kScanTextCount = 28;

enum class AboutText : int { Caption = 0, Software = 1, Version = 2, Button = 3 };
// Lines of the about box that are the same in every language.
inline constexpr const char* kAboutTitle = "Сканер портов";
inline constexpr const char* kAboutTitle2 = "RS-232";
inline constexpr const char* kAboutSystems = "WinXP, Win8, Win10";

TextPairs scanTexts();
TextPairs aboutTexts();
QString scanText(ScanText message, int languageIndex);
QString aboutText(AboutText text, int languageIndex);

// The four colours of the log: ordinary lines, what a device said and found verdicts, "port busy" and
// the stop button's line, the mode start line.
enum class LogColour : int { Black = 0, Blue = 1, Red = 2, Green = 3 };
// As stored: 0x00BBGGRR.
quint32 logColourValue(LogColour colour);

} // namespace tarn::portscan
