#pragma once
// Report pages on paper or in a PDF file, and the page geometry (lines per page, characters per line)
// that pagination needs, measured for a printer or for the PDF page with the report font.
//
// The PDF page stands in for a printer wherever there is none ("Нет установленных принтеров !!!" becomes
// an offer to write a PDF file): it needs no installed printer and no print dialog.
#include "reports/PageSettings.h"

#include <QByteArray>
#include <QFont>
#include <QList>
#include <QStringList>
#include <optional>

class QPaintDevice;
class QPagedPaintDevice;
class QPdfWriter;
class QPrinter;

namespace tarn::reports {

struct PageGeometry {
    int linesPerPage = 0;
    int charsPerLine = 0;

    bool operator==(const PageGeometry&) const = default;
};

// The settings' font. A font that is not installed gives way to a monospace one (the system's fixed
// font when nothing else of fixed pitch is found): report columns line up only in a fixed-pitch font.
QFont reportFont(const PageSettings& settings);

// Lines per page: the printable height ÷ (the font's text height + 2 device pixels of spacing);
// characters per line: the printable width ÷ the font's average character width.
PageGeometry pageGeometry(const QPaintDevice& device, const QFont& font);

// The PDF page: A4 portrait, 5 mm margins, 1200 dpi.
void setUpPdfPage(QPdfWriter& writer);
PageGeometry pdfPageGeometry(const QFont& font);

QStringList installedPrinters();
bool isPrinterInstalled(const QString& name);

// The settings with the printer's name and the geometry measured on it ("НАСТРОЙКА ПЕЧАТИ").
PageSettings withPrinterGeometry(const PageSettings& settings, QPrinter& printer);
// The settings with no printer ("--") and the PDF page's geometry.
PageSettings withPdfGeometry(const PageSettings& settings);
// The geometry for the printer the settings name when it is installed, else for the default printer
// (the first installed one when none is the default), else for the PDF page. Used after the font changed.
PageSettings withCurrentPrinterGeometry(const PageSettings& settings);

// For settings whose printer is "--" or no longer installed: the settings remeasured for the default
// printer or the PDF page, to be written back to Work\FilePrn.000. Nothing when the printer is installed
// or the remeasured settings are the same.
std::optional<PageSettings> settingsForMissingPrinter(const PageSettings& settings);

// Draws pages fromPage … toPage (1-based, inclusive; fromPage 0 means 1, toPage 0 the last page) as plain
// text, one sheet each, in the settings' font at the pitch pageGeometry measures. Pages cut for another
// device that would not fit on this one are shrunk to fit rather than cut off. False when the printer
// could not be started or no page is in the range.
bool printPages(QPrinter& printer, const QList<QStringList>& pages, const PageSettings& settings,
                int fromPage = 0, int toPage = 0);
// Same on any paged device (a QPrinter, a QPdfWriter).
bool paintPages(QPagedPaintDevice& device, const QList<QStringList>& pages, const PageSettings& settings,
                int fromPage = 0, int toPage = 0);

// Every page as a PDF document on the PDF page, in memory (to be written together with other files);
// nothing when there is no page or it could not be painted.
std::optional<QByteArray> pdfBytes(const QList<QStringList>& pages, const PageSettings& settings);
// Writes every page to a PDF file on the PDF page (atomically: a failed write leaves any old file whole).
// False when there is no page or the file could not be written.
bool writePdf(const QString& path, const QList<QStringList>& pages, const PageSettings& settings);

} // namespace tarn::reports
