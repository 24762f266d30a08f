#pragma once
// Work\FilePrn.000: how report pages are laid out and which printer they were measured for. Nine lines,
// one value each: font size; font name; left indent (characters); top margin (lines); bottom margin
// (lines); report language (1 Ukrainian, 2 Russian); lines per page; characters per line; printer name
// ("--" when none was chosen).
#include "common/DataRoot.h"
#include "common/Language.h"

#include <QString>

namespace tarn::reports {

// What the page-settings dialog lets the user type.
inline constexpr int kMinMargin = 0;
inline constexpr int kMaxMargin = 20;
inline constexpr int kMinLeftIndent = 0;
// Wider indents leave no room for a report line on any A4 page.
inline constexpr int kMaxLeftIndent = 40;

// The geometry an A4 page (5 mm margins, the PDF page of tarn_reports_print) gives for Courier New 8
// (metrics of its metric-compatible substitutes: 0.6 em per character, 1.13 em per line plus the 2 device
// pixels of spacing). Used until a printer or the PDF page has been measured; the printing library
// recomputes both as soon as it can (settingsForMissingPrinter).
inline constexpr int kA4LinesPerPage = 88;
inline constexpr int kA4CharsPerLine = 118;

// The printer name stored when no printer has been chosen.
inline constexpr const char* kNoPrinter = "--";

struct PageSettings {
    int fontSize = 8;
    QString fontName = QStringLiteral("Courier New");
    int leftIndent = 5;
    int topMargin = 3;
    int bottomMargin = 3;
    int language = kUkrainian;
    int linesPerPage = kA4LinesPerPage;
    int charsPerLine = kA4CharsPerLine;
    QString printer = QString::fromLatin1(kNoPrinter);

    bool operator==(const PageSettings&) const = default;
};

QString pageSettingsPath(const DataRoot& root);

// Reads the file; a missing file, a missing line or a value that is no number (or out of the dialog's
// range) leaves that value at its default. The report language is always the program's language:
// the one stored is what the last run wrote, not what this run speaks.
PageSettings loadPageSettings(const DataRoot& root, int programLanguage);

// Writes all nine lines (Windows-1251, CR LF, atomically). False when the file could not be written.
bool savePageSettings(const DataRoot& root, const PageSettings& settings);

// Margins and indent brought into the dialog's ranges; sizes that are not positive back to defaults.
PageSettings withinLimits(PageSettings settings);

} // namespace tarn::reports
