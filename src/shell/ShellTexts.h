#pragma once
#include "common/Language.h"

namespace tarn::shell {

// The shell's own table (main window and start-up), pairs in their fixed order.
enum ShellPair {
    kMenuCorrector = 0,
    kMenuSettings = 1,
    kMenuHelp = 2,
    kMenuExit = 3,
    kMenuAbout = 4,
    kMenuManual = 5,
    kMenuHelpDb = 6,
    kPeriodError = 7,
    kNoDatabaseEngine = 8,
    kScreenResolution = 9,
    kTimeFormat = 10,
    kDateFormat = 11,
    kDecimalSeparator = 12,
    kCopyFailed = 13,
    kNoLptLibrary = 14,
    kErrorCodeSuffix = 15,
    kDeleteFailed = 16,
};

extern const TextPairs kShellTexts;

// Texts of the wait window, the manual and the start-up messages that are not in the table.
enum ShellExtraPair {
    kWaitPanel = 0,        // "ЧЕКАЙТЕ"
    kWaitBottom = 1,       // stop key line
    kFileNotFoundHead = 2, // "Файл - "
    kFileNotFoundTail = 3, // " не знайдений!!!"
    kOutdatedSettings = 4, // told before the program ends after the outdated-file clean-up
    kTrayRestore = 5,
    kTrayHide = 6,
    kAboutCaption = 7,
    kAboutOk = 8,
    kAboutSoftware = 9,
    kAboutVersion = 10,
};
extern const TextPairs kShellExtraTexts;

// The application title: "Диспетчер ПО " followed by "Tarn (d)" in double quotes.
QString applicationTitle();
inline constexpr const char* kMainCaption = "Tarn (d)";

} // namespace tarn::shell
