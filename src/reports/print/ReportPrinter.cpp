#include "reports/print/ReportPrinter.h"

#include "common/TextFile.h"

#include <QBuffer>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSaveFile>
#include <algorithm>

namespace tarn::reports {

namespace {

constexpr int kPdfResolution = 1200;
constexpr qreal kPdfMarginMm = 5.0;
// Spacing between lines, in device pixels, on top of the font's text height.
constexpr int kLineSpacing = 2;

PageSettings withGeometry(PageSettings settings, const PageGeometry& geometry) {
    settings.linesPerPage = geometry.linesPerPage;
    settings.charsPerLine = geometry.charsPerLine;
    return settings;
}

} // namespace

QFont reportFont(const PageSettings& settings) {
    const int pointSize = settings.fontSize > 0 ? settings.fontSize : PageSettings{}.fontSize;
    QFont font(settings.fontName, pointSize);
    if (QFontDatabase::families().contains(settings.fontName, Qt::CaseInsensitive)) return font;
    // Not installed: let the font matching find a fixed-pitch substitute (aliases of the same metrics
    // come first), and take the system's fixed font when even that is proportional.
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    if (QFontInfo(font).fixedPitch()) return font;
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(pointSize);
    return fixed;
}

PageGeometry pageGeometry(const QPaintDevice& device, const QFont& font) {
    const QFontMetrics metrics(font, &device);
    const int lineStep = metrics.height() + kLineSpacing;
    const int charWidth = metrics.averageCharWidth();
    PageGeometry geometry;
    if (lineStep > 0) geometry.linesPerPage = device.height() / lineStep;
    if (charWidth > 0) geometry.charsPerLine = device.width() / charWidth;
    return geometry;
}

void setUpPdfPage(QPdfWriter& writer) {
    writer.setResolution(kPdfResolution);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(kPdfMarginMm, kPdfMarginMm, kPdfMarginMm, kPdfMarginMm),
                                     QPageLayout::Millimeter));
}

PageGeometry pdfPageGeometry(const QFont& font) {
    // Measuring paints nothing; the writer's output goes to a buffer that is thrown away.
    QBuffer discarded;
    discarded.open(QIODevice::WriteOnly);
    QPdfWriter writer(&discarded);
    setUpPdfPage(writer);
    return pageGeometry(writer, font);
}

QStringList installedPrinters() {
    return QPrinterInfo::availablePrinterNames();
}

bool isPrinterInstalled(const QString& name) {
    return name != QLatin1String(kNoPrinter) && installedPrinters().contains(name);
}

PageSettings withPrinterGeometry(const PageSettings& settings, QPrinter& printer) {
    PageSettings result = withGeometry(settings, pageGeometry(printer, reportFont(settings)));
    result.printer =
        printer.printerName().isEmpty() ? QString::fromLatin1(kNoPrinter) : printer.printerName();
    return result;
}

PageSettings withPdfGeometry(const PageSettings& settings) {
    PageSettings result = withGeometry(settings, pdfPageGeometry(reportFont(settings)));
    result.printer = QString::fromLatin1(kNoPrinter);
    return result;
}

PageSettings withCurrentPrinterGeometry(const PageSettings& settings) {
    QPrinterInfo target;
    if (isPrinterInstalled(settings.printer)) {
        target = QPrinterInfo::printerInfo(settings.printer);
    } else {
        target = QPrinterInfo::defaultPrinter();
        if (target.isNull()) {
            const QList<QPrinterInfo> printers = QPrinterInfo::availablePrinters();
            if (!printers.isEmpty()) target = printers.first();
        }
    }
    if (target.isNull()) return withPdfGeometry(settings);
    QPrinter printer(target, QPrinter::HighResolution);
    return withPrinterGeometry(settings, printer);
}

std::optional<PageSettings> settingsForMissingPrinter(const PageSettings& settings) {
    if (isPrinterInstalled(settings.printer)) return std::nullopt;
    PageSettings remeasured = withCurrentPrinterGeometry(settings);
    if (remeasured == settings) return std::nullopt;
    return remeasured;
}

bool paintPages(QPagedPaintDevice& device, const QList<QStringList>& pages, const PageSettings& settings,
                int fromPage, int toPage) {
    const int pageCount = static_cast<int>(pages.size());
    const int first = std::max(fromPage, 1);
    const int last = toPage <= 0 ? pageCount : std::min(toPage, pageCount);
    if (first > last) return false;

    QPainter painter;
    if (!painter.begin(&device)) return false;
    painter.setFont(reportFont(settings));
    const QFontMetrics metrics = painter.fontMetrics();
    const int lineStep = metrics.height() + kLineSpacing;

    // Pages cut for a longer or wider page than this one are shrunk as a whole, never cut off.
    qsizetype mostLines = 0;
    int widest = 0;
    for (int n = first; n <= last; ++n) {
        const QStringList& page = pages.at(n - 1);
        mostLines = std::max(mostLines, page.size());
        for (const QString& line : page)
            widest = std::max(widest, metrics.horizontalAdvance(line));
    }
    qreal scale = 1.0;
    if (mostLines > 0) scale = std::min(scale, qreal(device.height()) / qreal(mostLines * lineStep));
    if (widest > 0) scale = std::min(scale, qreal(device.width()) / qreal(widest));

    for (int n = first; n <= last; ++n) {
        if (n > first && !device.newPage()) {
            painter.end();
            return false;
        }
        painter.resetTransform();
        painter.scale(scale, scale);
        const QStringList& page = pages.at(n - 1);
        for (qsizetype i = 0; i < page.size(); ++i)
            painter.drawText(QPointF(0, qreal(i * lineStep + metrics.ascent())), page.at(i));
    }
    return painter.end();
}

bool printPages(QPrinter& printer, const QList<QStringList>& pages, const PageSettings& settings,
                int fromPage, int toPage) {
    return paintPages(printer, pages, settings, fromPage, toPage);
}

std::optional<QByteArray> pdfBytes(const QList<QStringList>& pages, const PageSettings& settings) {
    if (pages.isEmpty()) return std::nullopt;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    bool painted = false;
    {
        // The writer finishes the document when its painter ends; it must be gone before the bytes are used.
        QPdfWriter writer(&buffer);
        setUpPdfPage(writer);
        writer.setCreator(QStringLiteral("Tarn"));
        painted = paintPages(writer, pages, settings);
    }
    if (!painted) return std::nullopt;
    return bytes;
}

bool writePdf(const QString& path, const QList<QStringList>& pages, const PageSettings& settings) {
    const std::optional<QByteArray> bytes = pdfBytes(pages, settings);
    return bytes && writeFileAtomically(path, *bytes);
}

} // namespace tarn::reports
