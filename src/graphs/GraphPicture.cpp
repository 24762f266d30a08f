#include "graphs/GraphPicture.h"

#include "common/DateTimeText.h"
#include "common/DisplayNumber.h"
#include "common/Language.h"
#include "common/TextFile.h"
#include "database/GraphQueries.h"
#include "polling/GroupSummary.h"

#include <QColor>
#include <algorithm>
#include <cmath>

namespace tarn::graphs {

namespace {

// Series 1 to 5 with broken lines, and the drawing of each in the legend.
constexpr std::array<Qt::PenStyle, 5> kBrokenStyles = {Qt::SolidLine, Qt::DotLine, Qt::DashDotLine,
                                                       Qt::DashDotDotLine, Qt::DashLine};
constexpr std::array<const char*, 5> kBrokenDrawings = {
    " _______________", " _ _ _ _ _ _ _ _", " ___ _ ___ _ ___", " ___ _ _ ___ _ _", " ___ ___ ___ ___"};

constexpr int kFlowLegendHeight = 119;

QString archiveTitle(GraphArchive archive, int language) {
    switch (archive) {
    case GraphArchive::Hourly:
        return uaRu(language, "часовий архів", "часовой архив");
    case GraphArchive::Daily:
        return QStringLiteral("суточный архив ");
    case GraphArchive::Monthly:
        return QStringLiteral("месячный архив ");
    case GraphArchive::Operative:
        return QStringLiteral("оперативный архив ");
    case GraphArchive::Measurement:
        return QStringLiteral("мгновенные ");
    case GraphArchive::FlowClasses:
        return QStringLiteral("Расход по \"справке\" часового архива");
    }
    return {};
}

QStringList pointTitle(const PointGraphRequest& r) {
    return {archiveTitle(r.archive, r.language) + QStringLiteral(" с ") + periodText(r.archive, r.begin) +
                QStringLiteral(" по ") + periodText(r.archive, r.end),
            QStringLiteral("корректор ") + r.model + QStringLiteral(" N ") + r.serial +
                QStringLiteral(" / организация - \"") + r.organisation + QLatin1Char('"')};
}

// Colours, pen styles and widths as the style says: broken lines give series 1 to 5 their own pens (the
// rest solid) at width 1; black and white draws every curve black.
void applyStyle(QList<GraphCurve>& curves, const GraphStyle& style) {
    for (qsizetype k = 0; k < curves.size(); ++k) {
        GraphCurve& c = curves[k];
        if (style.solid) {
            c.style = Qt::SolidLine;
            c.width = style.width;
        } else {
            c.style = k < static_cast<qsizetype>(kBrokenStyles.size())
                          ? kBrokenStyles[static_cast<std::size_t>(k)]
                          : Qt::SolidLine;
            c.width = 1;
        }
        if (style.blackWhite) c.colour = Qt::black;
    }
}

double percentOf(double value, const Extremes& e) {
    const double span = e.max - e.min;
    return span == 0.0 ? 0.0 : (value - e.min) * 100.0 / span;
}

qreal xOf(const QDateTime& stamp) {
    return static_cast<qreal>(stamp.toMSecsSinceEpoch());
}

// Flow class of one five-minute step: "x" none, "." below Qmin, "o" below the transition flow, "O" above.
double flowClassValue(QChar c) {
    if (c == QLatin1Char('.')) return 0.5;
    if (c == QLatin1Char('o')) return 1.5;
    if (c == QLatin1Char('O')) return 2.5;
    return 0.0;
}

GraphCurve flatCurve(const char* name, quint32 bgr, bool inLegend = true) {
    GraphCurve c;
    c.name = QString::fromUtf8(name);
    c.colour = colourOfBgr(bgr);
    c.inLegend = inLegend;
    return c;
}

GraphPicture flowGraph(const database::StoredRecords& records, const PointGraphRequest& request,
                       const GraphStyle& style, const KeepGoing& keepGoing) {
    GraphPicture g;
    g.title = pointTitle(request);
    g.verticalGrid = style.verticalGrid;
    g.horizontalGrid = style.horizontalGrid;
    g.chartLegend = true;
    g.marksOffered = false;
    g.legendHeight = kFlowLegendHeight;
    // The class curve, the three class levels and two white curves that hold the axis at −0.5..3.5.
    g.curves = {flatCurve("Q", 0xFF0000),    flatCurve("Qmax", 0x0000FF),    flatCurve("Qперех", 0x008080),
                flatCurve("Qmin", 0x000080), flatCurve("", 0xFFFFFF, false), flatCurve("", 0xFFFFFF, false)};
    constexpr std::array<double, 5> kLevels = {3.0, 2.0, 1.0, 3.5, -0.5};
    const int stamp = records.column("DT_Corr");
    const int status = records.column("Help");
    for (qsizetype r = 0; r < records.rows.size() && stamp >= 0 && status >= 0; ++r) {
        if (r > 0 && r % kRecordsPerPause == 0 && keepGoing && !keepGoing()) {
            g.stopped = true;
            break;
        }
        const QVariantList& row = records.rows.at(r);
        const QDateTime at = database::timestampFromStored(row.value(stamp).toString());
        const QString classes = row.value(status).toString().trimmed().mid(4, 12);
        if (!at.isValid() || classes.size() != 12) continue;
        for (int k = 0; k < 12; ++k) {
            const qreal x = xOf(at.addSecs(qint64(k) * 300));
            g.curves[0].points.append({x, flowClassValue(classes.at(k))});
            for (std::size_t level = 0; level < kLevels.size(); ++level)
                g.curves[static_cast<qsizetype>(level) + 1].points.append({x, kLevels[level]});
        }
    }
    applyStyle(g.curves, GraphStyle{true, style.verticalGrid, style.horizontalGrid, false, style.width});
    g.legend = {{QStringLiteral("Q  /\"x\" Q=0 / \".\" 0<Q<Qmin / \"o\" Qmin<Q<Qперех /\"O\" Qперех<Q<Qmax"),
                 colourOfBgr(0xFF0000)},
                {QStringLiteral("\"3\" - Qmax   "), colourOfBgr(0x0000FF)},
                {QStringLiteral("\"2\" - Qперех "), colourOfBgr(0x008080)},
                {QStringLiteral("\"1\" - Qmin   "), colourOfBgr(0x000080)},
                {QStringLiteral("\"0\" - Q = 0  "), colourOfBgr(0xC0C0C0)}};
    return g;
}

// The k-th ticked parameter of the list draws in series k, however the ticks were given.
QList<int> inListOrder(QList<int> ticked) {
    std::sort(ticked.begin(), ticked.end());
    ticked.erase(std::unique(ticked.begin(), ticked.end()), ticked.end());
    return ticked;
}

// A cell of the summary's tables as a number: blanks removed; "--" (no record) and other text are none.
std::optional<double> cellNumber(const QString& cell) {
    bool ok = false;
    const double v = removeSpaces(cell).toDouble(&ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

} // namespace

void Extremes::take(double value, const QDateTime& at) {
    if (!set) {
        set = true;
        min = max = value;
        minAt = maxAt = at;
        return;
    }
    if (value < min) {
        min = value;
        minAt = at;
    }
    if (value > max) {
        max = value;
        maxAt = at;
    }
}

QString periodText(GraphArchive archive, const QDateTime& stamp) {
    if (archive == GraphArchive::Daily || archive == GraphArchive::Monthly) return formatDate(stamp.date());
    return formatTimestamp(stamp);
}

GraphPicture buildPointGraph(const database::StoredRecords& records, const PointGraphRequest& request,
                             const GraphStyle& style, const GraphColours& colours,
                             const GraphPicture* absolute, const KeepGoing& keepGoing) {
    if (request.archive == GraphArchive::FlowClasses) return flowGraph(records, request, style, keepGoing);
    GraphPicture g;
    g.title = pointTitle(request);
    g.verticalGrid = style.verticalGrid;
    g.horizontalGrid = style.horizontalGrid;
    g.dateOnly = request.archive == GraphArchive::Daily || request.archive == GraphArchive::Monthly;
    g.scaleOffered = !absolute;
    g.percent = absolute != nullptr;

    const QList<GraphParameter> all = graphParameters(request.archive);
    QList<int> columns;
    for (int index : inListOrder(request.ticked)) {
        if (index < 0 || index >= all.size() || g.curves.size() == kLineSeries) continue;
        const GraphParameter& p = all.at(index);
        GraphCurve c;
        c.name = QString::fromUtf8(p.name);
        c.colour = colours.colour(p.slot);
        c.decimals = p.decimals;
        if (absolute && g.curves.size() < absolute->curves.size())
            c.extremes = absolute->curves.at(g.curves.size()).extremes;
        g.curves.append(c);
        columns.append(records.column(p.field));
    }
    g.printedParameters = static_cast<int>(g.curves.size());
    applyStyle(g.curves, style);
    if (g.percent) g.holders = {flatCurve("", 0xFFFFFF, false), flatCurve("", 0xFFFFFF, false)};

    const int stamp = records.column(database::graphTimeField(graphTable(request.archive)));
    for (qsizetype r = 0; r < records.rows.size() && stamp >= 0; ++r) {
        if (r > 0 && r % kRecordsPerPause == 0 && keepGoing && !keepGoing()) {
            g.stopped = true;
            break;
        }
        const QVariantList& row = records.rows.at(r);
        const QDateTime at = database::timestampFromStored(row.value(stamp).toString());
        if (!at.isValid()) continue;
        const qreal x = xOf(at);
        for (qsizetype k = 0; k < g.curves.size(); ++k) {
            GraphCurve& c = g.curves[k];
            const double value = columns.at(k) < 0 ? 0.0 : row.value(columns.at(k)).toDouble();
            if (g.percent) {
                c.points.append({x, percentOf(value, c.extremes)});
            } else {
                c.points.append({x, value});
                c.extremes.take(value, at);
            }
        }
        if (g.percent) {
            g.holders[0].points.append({x, 110.0});
            g.holders[1].points.append({x, -10.0});
        }
    }
    g.legend = legendLines(g.curves, style, g.percent);
    g.legendHeight = legendHeight(static_cast<int>(g.curves.size()));
    return g;
}

GraphPicture buildGroupGraph(const polling::GroupSummary& summary, const QList<int>& ticked,
                             const GraphStyle& style, const GraphColours& colours,
                             const KeepGoing& keepGoing) {
    GraphPicture g;
    const bool hourly = summary.hourly();
    g.title = {QStringLiteral("график группы \"") + summary.groupName().trimmed() + QStringLiteral("\" ") +
               (hourly ? QStringLiteral("часовой архив") : QStringLiteral("суточный архив")) +
               QStringLiteral(" с ") + summary.periodBegin() + QStringLiteral(" по ") + summary.periodEnd()};
    g.verticalGrid = style.verticalGrid;
    g.horizontalGrid = style.horizontalGrid;
    g.dateOnly = !hourly;
    QList<int> columns;
    for (int index : inListOrder(ticked)) {
        if (index < 0 || index >= kGroupParameters) continue;
        const GroupParameter& p = groupParameters()[static_cast<std::size_t>(index)];
        GraphCurve c;
        c.name = QString::fromUtf8(p.legend);
        c.colour = colours.colour(p.slot);
        c.decimals = kGroupDecimals;
        g.curves.append(c);
        columns.append(p.column);
    }
    g.printedParameters = static_cast<int>(g.curves.size());
    applyStyle(g.curves, style);

    const QList<polling::IntervalRow>& rows = summary.intervals();
    for (qsizetype r = 0; r < rows.size(); ++r) {
        if (r > 0 && r % kRecordsPerPause == 0 && keepGoing && !keepGoing()) {
            g.stopped = true;
            break;
        }
        const QStringList cells = rows.at(r).cells(hourly);
        const QString day = cells.value(0).trimmed();
        if (day.isEmpty() || day == QLatin1String("--")) continue;
        const auto date = parseDate(day);
        if (!date) continue;
        const QDateTime at(*date,
                           hourly ? parseShortTime(cells.value(1)).value_or(QTime(0, 0)) : QTime(0, 0));
        for (qsizetype k = 0; k < g.curves.size(); ++k) {
            const auto value = cellNumber(cells.value(columns.at(k)));
            if (!value) continue; // no record of any member in that interval
            g.curves[k].points.append({xOf(at), *value});
            g.curves[k].extremes.take(*value, at);
        }
    }
    g.legend = legendLines(g.curves, style, false);
    g.legendHeight = legendHeight(static_cast<int>(g.curves.size()));
    return g;
}

QList<LegendLine> legendLines(const QList<GraphCurve>& curves, const GraphStyle& style, bool percent) {
    QString header = QStringLiteral("|") + QStringLiteral("имя").leftJustified(10) + QLatin1Char('|') +
                     QStringLiteral("min").leftJustified(30) + QLatin1Char('|') +
                     QStringLiteral("max").leftJustified(30) + QLatin1Char('|');
    if (percent) header += QStringLiteral("% ");
    QList<LegendLine> lines{{header, Qt::black}};
    for (qsizetype k = 0; k < curves.size(); ++k) {
        const GraphCurve& c = curves.at(k);
        const Extremes& e = c.extremes;
        auto at = [&c](const QDateTime& when, double value) {
            return formatTimestamp(when) + QStringLiteral(" * ") + displayNumber(value, c.decimals);
        };
        QString line = QLatin1Char('|') + c.name.leftJustified(10) + QLatin1Char('|') +
                       (e.set ? at(e.minAt, e.min) : QString()).leftJustified(30) + QLatin1Char('|') +
                       (e.set ? at(e.maxAt, e.max) : QString()).leftJustified(30) + QLatin1Char('|');
        if (percent) line += displayNumber(e.set ? (e.max - e.min) / 100.0 : 0.0, 5);
        if (!style.solid)
            line += QString::fromUtf8(kBrokenDrawings[static_cast<std::size_t>(
                k < static_cast<qsizetype>(kBrokenDrawings.size()) ? k : 0)]);
        lines.append({line, style.blackWhite ? QColor(Qt::black) : c.colour});
    }
    return lines;
}

int legendHeight(int parameterLines) {
    return parameterLines <= 2 ? 63 : 63 + 14 * parameterLines;
}

QString legendHtml(const QList<LegendLine>& lines) {
    QString html = QStringLiteral("<pre style=\"font-family:'Courier New'; font-size:8pt; margin:0\">");
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0) html += QLatin1Char('\n');
        html += QStringLiteral("<span style=\"color:%1\">%2</span>")
                    .arg(lines.at(i).colour.name(), lines.at(i).text.toHtmlEscaped());
    }
    return html + QStringLiteral("</pre>");
}

QRect printedChartRect(const QSize& page, int parameters) {
    const int w = page.width();
    const int h = page.height();
    const int d = std::max(3, 17 - 2 * std::max(0, parameters));
    return QRect(QPoint(w / 10, h / d), QPoint(w - w / 10, h - h / 10));
}

int printedLegendPitch(const QSize& page) {
    return static_cast<int>(std::lround(page.height() / 65.0));
}

} // namespace tarn::graphs
