#include "reports/PageSettings.h"

#include "common/TextFile.h"

#include <QStringList>
#include <algorithm>

namespace tarn::reports {

namespace {

enum Line : int {
    FontSize,
    FontName,
    LeftIndent,
    TopMargin,
    BottomMargin,
    Language,
    LinesPerPage,
    CharsPerLine,
    Printer,
    LineCount
};

// The value of one line, or fallback when the line is missing or holds no number.
int numberAt(const QStringList& lines, int index, int fallback) {
    if (index >= lines.size()) return fallback;
    bool ok = false;
    const int value = lines.at(index).trimmed().toInt(&ok);
    return ok ? value : fallback;
}

QString textAt(const QStringList& lines, int index, const QString& fallback) {
    if (index >= lines.size()) return fallback;
    const QString text = lines.at(index).trimmed();
    return text.isEmpty() ? fallback : text;
}

} // namespace

QString pageSettingsPath(const DataRoot& root) {
    return root.file(folder::Work, QStringLiteral("FilePrn.000"));
}

PageSettings withinLimits(PageSettings settings) {
    const PageSettings defaults;
    settings.leftIndent = std::clamp(settings.leftIndent, kMinLeftIndent, kMaxLeftIndent);
    settings.topMargin = std::clamp(settings.topMargin, kMinMargin, kMaxMargin);
    settings.bottomMargin = std::clamp(settings.bottomMargin, kMinMargin, kMaxMargin);
    if (settings.fontSize <= 0) settings.fontSize = defaults.fontSize;
    if (settings.linesPerPage <= 0) settings.linesPerPage = defaults.linesPerPage;
    if (settings.charsPerLine <= 0) settings.charsPerLine = defaults.charsPerLine;
    if (settings.fontName.trimmed().isEmpty()) settings.fontName = defaults.fontName;
    if (settings.printer.trimmed().isEmpty()) settings.printer = defaults.printer;
    return settings;
}

PageSettings loadPageSettings(const DataRoot& root, int programLanguage) {
    PageSettings settings;
    if (const auto lines = readTextLines(pageSettingsPath(root))) {
        settings.fontSize = numberAt(*lines, FontSize, settings.fontSize);
        settings.fontName = textAt(*lines, FontName, settings.fontName);
        settings.leftIndent = numberAt(*lines, LeftIndent, settings.leftIndent);
        settings.topMargin = numberAt(*lines, TopMargin, settings.topMargin);
        settings.bottomMargin = numberAt(*lines, BottomMargin, settings.bottomMargin);
        settings.linesPerPage = numberAt(*lines, LinesPerPage, settings.linesPerPage);
        settings.charsPerLine = numberAt(*lines, CharsPerLine, settings.charsPerLine);
        settings.printer = textAt(*lines, Printer, settings.printer);
        settings = withinLimits(settings);
    }
    settings.language = programLanguage;
    return settings;
}

bool savePageSettings(const DataRoot& root, const PageSettings& settings) {
    QStringList lines(LineCount);
    lines[FontSize] = QString::number(settings.fontSize);
    lines[FontName] = settings.fontName;
    lines[LeftIndent] = QString::number(settings.leftIndent);
    lines[TopMargin] = QString::number(settings.topMargin);
    lines[BottomMargin] = QString::number(settings.bottomMargin);
    lines[Language] = QString::number(settings.language);
    lines[LinesPerPage] = QString::number(settings.linesPerPage);
    lines[CharsPerLine] = QString::number(settings.charsPerLine);
    lines[Printer] = settings.printer;
    return writeTextLines(pageSettingsPath(root), lines);
}

} // namespace tarn::reports
