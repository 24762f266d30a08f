#pragma once
// The graph settings files: the period of the last graph (Current\graph.000), the line style
// (Current\GrStyle.000), the colour of each slot (Graph\ColorG.000, the index of the colour in the
// standard list) and the picture quality (Work\Compr.000). A missing file, or a line that does not
// read, gives that value's default.
#include "common/DataRoot.h"
#include "graphs/GraphTables.h"

#include <QDate>
#include <QTime>
#include <array>
#include <optional>

namespace tarn::graphs {

// Current\graph.000: begin date, begin time, end date, end time ("dd.MM.yyyy", "HH:mm"). A value that is
// missing leaves the dialog's picker as it is.
struct GraphPeriod {
    std::optional<QDate> beginDate;
    std::optional<QTime> beginTime;
    std::optional<QDate> endDate;
    std::optional<QTime> endTime;
};
GraphPeriod loadGraphPeriod(const DataRoot& root);
bool saveGraphPeriod(const DataRoot& root, const QDateTime& begin, const QDateTime& end);

// Current\GrStyle.000: solid (1) or broken (0) lines, vertical grid, horizontal grid, black and white,
// line width 1..5.
inline constexpr int kMinLineWidth = 1;
inline constexpr int kMaxLineWidth = 5;
struct GraphStyle {
    bool solid = true;
    bool verticalGrid = true;
    bool horizontalGrid = true;
    bool blackWhite = false;
    int width = 1;
    bool operator==(const GraphStyle&) const = default;
};
GraphStyle loadGraphStyle(const DataRoot& root);
bool saveGraphStyle(const DataRoot& root, const GraphStyle& style);

// Graph\ColorG.000: fourteen lines, the index in the standard colour list of each slot's colour.
struct GraphColours {
    std::array<int, kColourSlots> index{};
    static GraphColours defaults();
    quint32 bgr(int slot) const; // slot 1..14
    QColor colour(int slot) const;
    bool operator==(const GraphColours&) const = default;
};
GraphColours loadGraphColours(const DataRoot& root);
bool saveGraphColours(const DataRoot& root, const GraphColours& colours);

// Work\Compr.000: the JPEG quality 5..100 (50 by default).
inline constexpr int kMinJpegQuality = 5;
inline constexpr int kMaxJpegQuality = 100;
inline constexpr int kDefaultJpegQuality = 50;
int loadJpegQuality(const DataRoot& root);
bool saveJpegQuality(const DataRoot& root, int quality);

QString graphPeriodPath(const DataRoot& root);
QString graphStylePath(const DataRoot& root);
QString graphColoursPath(const DataRoot& root);
QString jpegQualityPath(const DataRoot& root);

} // namespace tarn::graphs
