#include "graphs/GraphSettings.h"

#include "common/DateTimeText.h"
#include "common/TextFile.h"

namespace tarn::graphs {

namespace {

QStringList linesOf(const QString& path) {
    return readTextLines(path, 4096).value_or(QStringList());
}

std::optional<int> numberAt(const QStringList& lines, int index) {
    if (index >= lines.size()) return std::nullopt;
    bool ok = false;
    const int v = removeSpaces(lines.at(index)).toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

// "1" or "0"; anything else keeps the default.
bool switchAt(const QStringList& lines, int index, bool fallback) {
    const auto v = numberAt(lines, index);
    if (!v || (*v != 0 && *v != 1)) return fallback;
    return *v == 1;
}

QString switchText(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

QString graphPeriodPath(const DataRoot& root) {
    return root.file(folder::Current, QStringLiteral("graph.000"));
}
QString graphStylePath(const DataRoot& root) {
    return root.file(folder::Current, QStringLiteral("GrStyle.000"));
}
QString graphColoursPath(const DataRoot& root) {
    return root.file(folder::Graph, QStringLiteral("ColorG.000"));
}
QString jpegQualityPath(const DataRoot& root) {
    return root.file(folder::Work, QStringLiteral("Compr.000"));
}

GraphPeriod loadGraphPeriod(const DataRoot& root) {
    const QStringList lines = linesOf(graphPeriodPath(root));
    auto line = [&lines](int i) { return i < lines.size() ? lines.at(i).trimmed() : QString(); };
    GraphPeriod p;
    p.beginDate = parseDate(line(0));
    p.beginTime = parseShortTime(line(1));
    p.endDate = parseDate(line(2));
    p.endTime = parseShortTime(line(3));
    return p;
}

bool saveGraphPeriod(const DataRoot& root, const QDateTime& begin, const QDateTime& end) {
    return writeTextLines(graphPeriodPath(root), {formatDate(begin.date()), formatShortTime(begin.time()),
                                                  formatDate(end.date()), formatShortTime(end.time())});
}

GraphStyle loadGraphStyle(const DataRoot& root) {
    const QStringList lines = linesOf(graphStylePath(root));
    GraphStyle s;
    s.solid = switchAt(lines, 0, s.solid);
    s.verticalGrid = switchAt(lines, 1, s.verticalGrid);
    s.horizontalGrid = switchAt(lines, 2, s.horizontalGrid);
    s.blackWhite = switchAt(lines, 3, s.blackWhite);
    if (const auto w = numberAt(lines, 4); w && *w >= kMinLineWidth && *w <= kMaxLineWidth) s.width = *w;
    return s;
}

bool saveGraphStyle(const DataRoot& root, const GraphStyle& style) {
    return writeTextLines(graphStylePath(root),
                          {switchText(style.solid), switchText(style.verticalGrid),
                           switchText(style.horizontalGrid), switchText(style.blackWhite),
                           QString::number(std::clamp(style.width, kMinLineWidth, kMaxLineWidth))});
}

GraphColours GraphColours::defaults() {
    GraphColours c;
    for (int slot = 0; slot < kColourSlots; ++slot)
        c.index[static_cast<std::size_t>(slot)] =
            standardColourIndex(colourSlots()[static_cast<std::size_t>(slot)].colour).value_or(0);
    return c;
}

quint32 GraphColours::bgr(int slot) const {
    if (slot < 1 || slot > kColourSlots) return 0;
    const int i = index[static_cast<std::size_t>(slot - 1)];
    return standardColours()[static_cast<std::size_t>(std::clamp(i, 0, kStandardColours - 1))];
}

QColor GraphColours::colour(int slot) const {
    return colourOfBgr(bgr(slot));
}

GraphColours loadGraphColours(const DataRoot& root) {
    const QStringList lines = linesOf(graphColoursPath(root));
    GraphColours c = GraphColours::defaults();
    for (int slot = 0; slot < kColourSlots; ++slot)
        if (const auto v = numberAt(lines, slot); v && *v >= 0 && *v < kStandardColours)
            c.index[static_cast<std::size_t>(slot)] = *v;
    return c;
}

bool saveGraphColours(const DataRoot& root, const GraphColours& colours) {
    QStringList lines;
    for (int i : colours.index)
        lines.append(QString::number(i));
    return writeTextLines(graphColoursPath(root), lines);
}

int loadJpegQuality(const DataRoot& root) {
    const auto v = numberAt(linesOf(jpegQualityPath(root)), 0);
    return v && *v >= kMinJpegQuality && *v <= kMaxJpegQuality ? *v : kDefaultJpegQuality;
}

bool saveJpegQuality(const DataRoot& root, int quality) {
    return writeTextLines(jpegQualityPath(root),
                          {QString::number(std::clamp(quality, kMinJpegQuality, kMaxJpegQuality))});
}

} // namespace tarn::graphs
