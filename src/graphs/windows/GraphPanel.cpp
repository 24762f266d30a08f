#include "graphs/windows/GraphPanel.h"

#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QTransform>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <limits>

namespace tarn::graphs {

namespace {

QLineSeries* lineOf(const GraphCurve& curve, QChart* chart) {
    auto* series = new QLineSeries(chart);
    series->setName(curve.name);
    QPen pen(curve.colour);
    pen.setWidth(curve.width);
    pen.setStyle(curve.style);
    series->setPen(pen);
    series->replace(curve.points);
    return series;
}

} // namespace

GraphPanel::GraphPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("GraphPanel"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    legend_ = new QLabel(this);
    legend_->setTextFormat(Qt::RichText);
    legend_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    legend_->setAutoFillBackground(true);
    QPalette white = legend_->palette();
    white.setColor(QPalette::Window, Qt::white);
    legend_->setPalette(white);
    view_ = new QChartView(new QChart(), this);
    view_->setRenderHint(QPainter::Antialiasing);
    view_->setRubberBand(QChartView::RectangleRubberBand);
    layout->addWidget(legend_);
    layout->addWidget(view_, 1);
}

QChart* GraphPanel::chart() const {
    return view_->chart();
}

void GraphPanel::setPicture(const GraphPicture& picture) {
    picture_ = picture;
    legend_->setText(legendHtml(picture_.legend));
    legend_->setFixedHeight(picture_.legendHeight);
    rebuild();
}

void GraphPanel::setMarks(bool on, bool transparent) {
    marks_ = on;
    transparent_ = on && transparent;
    for (QAbstractSeries* s : chart()->series()) {
        auto* line = qobject_cast<QLineSeries*>(s);
        if (!line || line->name().isEmpty()) continue;
        line->setPointsVisible(marks_ && !transparent_);
        line->setPointLabelsVisible(marks_);
        line->setPointLabelsFormat(QStringLiteral("@yPoint"));
        line->setPointLabelsColor(transparent_ ? line->pen().color() : QColor(Qt::black));
    }
}

void GraphPanel::setView3d(bool on, int rotation, int elevation) {
    view3d_ = on;
    rotation_ = rotation;
    elevation_ = elevation;
    QTransform t;
    if (on) {
        t.rotate(rotation_, Qt::YAxis);
        t.rotate(elevation_, Qt::XAxis);
    }
    view_->setTransform(t);
}

void GraphPanel::rebuild() {
    auto* chart = new QChart();
    chart->setTitle(picture_.title.join(QLatin1Char('\n'))
                        .toHtmlEscaped()
                        .replace(QLatin1Char('\n'), QStringLiteral("<br>")));
    chart->legend()->setVisible(picture_.chartLegend);
    chart->legend()->setAlignment(Qt::AlignBottom);

    auto* x = new QDateTimeAxis(chart);
    x->setFormat(picture_.dateOnly ? QStringLiteral("dd.MM.yyyy") : QStringLiteral("dd.MM.yyyy HH:mm"));
    x->setLabelsAngle(-90);
    auto* y = new QValueAxis(chart);
    const QPen grid(QColor(Qt::gray), 1, Qt::DotLine);
    x->setGridLinePen(grid);
    y->setGridLinePen(grid);
    x->setGridLineVisible(picture_.verticalGrid);
    y->setGridLineVisible(picture_.horizontalGrid);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);

    qreal xMin = std::numeric_limits<qreal>::max(), xMax = std::numeric_limits<qreal>::lowest();
    qreal yMin = xMin, yMax = xMax;
    auto add = [&](const GraphCurve& curve) {
        QLineSeries* s = lineOf(curve, chart);
        chart->addSeries(s);
        s->attachAxis(x);
        s->attachAxis(y);
        for (const QPointF& p : curve.points) {
            xMin = std::min(xMin, p.x());
            xMax = std::max(xMax, p.x());
            yMin = std::min(yMin, p.y());
            yMax = std::max(yMax, p.y());
        }
        if (!curve.inLegend)
            for (QLegendMarker* m : chart->legend()->markers(s))
                m->setVisible(false);
    };
    for (const GraphCurve& c : picture_.curves)
        add(c);
    for (const GraphCurve& c : picture_.holders)
        add(c);
    if (xMin <= xMax) {
        if (xMin == xMax) xMax = xMin + 60000.0;
        if (yMin == yMax) {
            yMin -= 1.0;
            yMax += 1.0;
        }
        x->setRange(QDateTime::fromMSecsSinceEpoch(qint64(xMin)),
                    QDateTime::fromMSecsSinceEpoch(qint64(xMax)));
        y->setRange(yMin, yMax);
    }
    QChart* old = view_->chart();
    view_->setChart(chart);
    delete old;
    setMarks(marks_, transparent_);
}

QImage GraphPanel::image() {
    return grab().toImage();
}

void GraphPanel::renderChart(QPainter& painter, const QRectF& target) {
    view_->render(&painter, target);
}

} // namespace tarn::graphs
