#pragma once
// What a graph window draws, without the chart itself: the title, the curves with their points, colours
// and pen styles, the extremes of every curve, the text legend above the chart and its height. Built from
// a point's stored records (a parameter curve each, or the flow classes of the hourly records) or from a
// group summary's interval table. The percentage scale is a second pass over the same records with the
// extremes of the first.
#include "database/StoredRecords.h"
#include "graphs/GraphSettings.h"
#include "graphs/GraphTables.h"

#include <QColor>
#include <QDateTime>
#include <QPointF>
#include <QRect>
#include <QStringList>
#include <functional>

namespace tarn::polling {
class GroupSummary;
}

namespace tarn::graphs {

// The smallest and the largest value of a curve and where they first occurred.
struct Extremes {
    bool set = false;
    double min = 0.0;
    double max = 0.0;
    QDateTime minAt;
    QDateTime maxAt;
    void take(double value, const QDateTime& at);
};

struct GraphCurve {
    QString name;
    QColor colour;
    Qt::PenStyle style = Qt::SolidLine;
    int width = 1;
    int decimals = 1;
    QList<QPointF> points; // x: milliseconds since the epoch (local time), y: the value
    Extremes extremes;     // of the values as stored
    bool inLegend = true;  // named in the chart's own legend (shown for the flow classes only)
};

struct LegendLine {
    QString text;
    QColor colour;
};

struct GraphPicture {
    QStringList title;
    QList<GraphCurve> curves;  // the series in order: parameter k in series k
    QList<GraphCurve> holders; // the percentage scale's two axis-holding series (110 and −10)
    QList<LegendLine> legend;
    int legendHeight = 63;
    bool verticalGrid = true;
    bool horizontalGrid = true;
    bool dateOnly = false;     // daily and monthly X values: no time on the axis
    bool chartLegend = false;  // the chart's own legend (flow classes)
    bool marksOffered = true;  // the marks panel (not for the flow classes)
    bool scaleOffered = false; // "МАСШТАБ": corrector graphs of kinds 1–5
    bool percent = false;      // drawn on the percentage scale
    bool stopped = false;      // the walk was stopped before its end
    int printedParameters = 0; // the ticked parameters (the flow classes count none)
};

// Asked every so many records while the curves are built; false stops the walk (the window closing).
inline constexpr int kRecordsPerPause = 150;
using KeepGoing = std::function<bool()>;

struct PointGraphRequest {
    GraphArchive archive = GraphArchive::Hourly;
    QList<int> ticked; // indices into graphParameters(archive), in list order
    QDateTime begin;
    QDateTime end;
    QString model;
    QString serial;
    QString organisation;
    int language = 2;
};

// The period as the title and the selection give it: dates for the daily and monthly archives, otherwise
// "dd.MM.yyyy HH:mm".
QString periodText(GraphArchive archive, const QDateTime& stamp);

// The curves of a point's records (kinds 1–5) on their own values, or of the flow classes (kind 6). With
// absolute given, the percentage scale over the extremes found there.
GraphPicture buildPointGraph(const database::StoredRecords& records, const PointGraphRequest& request,
                             const GraphStyle& style, const GraphColours& colours,
                             const GraphPicture* absolute = nullptr, const KeepGoing& keepGoing = {});

// The group's sums of a finished summary, for the ticked group parameters (indices 0..5).
GraphPicture buildGroupGraph(const polling::GroupSummary& summary, const QList<int>& ticked,
                             const GraphStyle& style, const GraphColours& colours,
                             const KeepGoing& keepGoing = {});

// The text legend: the header, then a line per curve (names padded to 10, "time * value" to 30).
QList<LegendLine> legendLines(const QList<GraphCurve>& curves, const GraphStyle& style, bool percent);
int legendHeight(int parameterLines);
// The legend as rich text in "Courier New" 8, each line in its colour.
QString legendHtml(const QList<LegendLine>& lines);

// Where the chart goes on a printed page: from (W/10, H/d) to (W − W/10, H − H/10) with d = 17 − 2n
// for n ticked parameters, and no less than 3 (the legend lines of eleven parameters still fit above).
QRect printedChartRect(const QSize& page, int parameters);
// The legend's line pitch on a printed page: H/65, rounded.
int printedLegendPitch(const QSize& page);

} // namespace tarn::graphs
