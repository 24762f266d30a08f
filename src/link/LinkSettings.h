#pragma once
// The link and channel settings of Work\FileInRS.000: one instance, held by the application context and
// edited in the settings window.
#include "common/DataRoot.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace tarn::link {

inline constexpr const char* kSettingsMarker = "Tarn-2.55";
inline constexpr int kSettingsLines = 22;
inline constexpr int kReadChoiceBoxes = 13;

enum class LptChoice { None, Lpt1, Lpt2, Lpt3, Custom };

struct LinkSettings {
    QString corrPort = QStringLiteral("COM1");
    QString transferUnitPort = QStringLiteral("COM1");
    LptChoice lptChoice = LptChoice::Lpt1;
    QString lptAddress = QStringLiteral("0378");
    int lptDelay = 0;
    QString speed = QStringLiteral("19200");
    int replyTimeoutMs = 6000; // 0..10000
    int writeDelayMs = 20;     // 0..1000
    int retryCount = 6;        // 1..250
    bool secondDriver = false;
    bool resetOnFailure = true;
    bool modemUsed = false;
    QString modemInit = QStringLiteral("AT&FE0S0=0");
    QString modemHoldSec = QStringLiteral("30");
    bool rsOff = false;
    bool usbOff = false;
    bool lptOff = false;
    bool syncOn = false;
    QString syncPath;
    // Line 8: the 13 read-selection boxes in the order the read-selection window lists them.
    QString readChoice = QStringLiteral("0000000000000");
    QString language = QStringLiteral("UA");
    QString serviceCode; // not stored

    bool operator==(const LinkSettings&) const = default;
};

// Spin ranges of the settings window.
inline constexpr int kReplyTimeoutMax = 10000;
inline constexpr int kWriteDelayMax = 1000;
inline constexpr int kRetryMin = 1;
inline constexpr int kRetryMax = 250;
inline constexpr int kLptDelayMax = 10000;
// The reply timer never runs shorter than this, whatever the settings hold (0 would fire at once).
inline constexpr int kMinReplyTimeoutMs = 50;
int effectiveReplyTimeoutMs(int replyTimeoutMs);

QString lptChoiceText(LptChoice c);
LptChoice lptChoiceFromText(const QString& text); // unknown → None

// The 22 lines of the file in their order.
QStringList settingsToLines(const LinkSettings& s);

enum class LoadResult {
    Missing,    // no file: the settings keep what they hold
    Unreadable, // a file that cannot be read: the settings keep what they hold, no file is touched
    Loaded,     // read
    Outdated,   // another format: deleted with its companions; the program is to end
};

// Applies the lines to the settings as the settings window's controls take them: runs of spaces
// collapsed, flags are on exactly when "1", a short file leaves the rest as it is, lines past 22 ignored,
// "Синхронизация" is never switched on by reading. Returns false when the first line is not the marker.
bool applySettingsLines(const QStringList& lines, LinkSettings& s);

struct SettingsFiles {
    explicit SettingsFiles(DataRoot root) : root(std::move(root)) {}
    DataRoot root;
    QString settingsPath() const { return root.file(folder::Work, QStringLiteral("FileInRS.000")); }
    QString tuningPath() const { return root.file(folder::Work, QStringLiteral("Tuning.000")); }
    QString reportPath() const { return root.file(folder::Current, QStringLiteral("report.000")); }
};

// LoadSettings: reads Work\FileInRS.000 into s. A missing file deletes Work\Tuning.000; one that is
// there and cannot be read leaves every file as it is. An outdated file
// is deleted together with Current\report.000, Work\Tuning.000 and (for "Tarn-1.00"/"Tarn-1.01") the
// *.db and *.val files of BookQ\.
LoadResult loadSettings(const SettingsFiles& files, LinkSettings& s);
bool saveSettings(const SettingsFiles& files, const LinkSettings& s);

// Access codes of the settings window: "517" → 1, "942" → 5, anything else 0.
int serviceLevelForCode(const QString& code);

// Work\Q_RS.000: the last line whose whole number lies in 1..99 decides; default 50.
inline constexpr int kDefaultPortProbeCount = 50;
int readPortProbeCount(const DataRoot& root);

// Speed texts: spaces removed, then "1200" … "115200", and "230Kбод", "460Кбод", "921Кбод" (Latin K or
// Cyrillic К) for 230000, 460000 and 921000 bit/s. Anything else: 9600.
qint32 baudRateForSpeedText(const QString& text);
QStringList standardSpeedTexts();

// LPT port address: 0x378, 0x278, 0x3BC, or the hexadecimal address text for "LPT?" (0x378 when that is
// not a valid hexadecimal number).
quint16 lptPortAddress(LptChoice choice, const QString& addressText);

} // namespace tarn::link
