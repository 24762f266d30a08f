#pragma once
// The graph panel: the text legend above the chart, and the chart of a graph's curves (a date-time X
// axis, a value axis, dotted grid lines as the style asks). It draws the same in the graph window and
// offscreen for tarn-cli. Value marks, their transparent look and the 3D view are switches of the panel.
#include "graphs/GraphPicture.h"

#include <QImage>
#include <QWidget>

class QLabel;
class QPainter;

QT_BEGIN_NAMESPACE
class QChart;
class QChartView;
QT_END_NAMESPACE

namespace tarn::graphs {

class GraphPanel final : public QWidget {
    Q_OBJECT
public:
    explicit GraphPanel(QWidget* parent = nullptr);

    void setPicture(const GraphPicture& picture);
    const GraphPicture& picture() const { return picture_; }

    // "Маркер": the value of every point written beside it; "Прозр.": the marks without their point
    // symbols and in the curve's own colour, so the curve shows through.
    void setMarks(bool on, bool transparent);
    bool marks() const { return marks_; }
    // "3D": the chart's plane turned by the rotation and elevation angles (0..360, 345 by default).
    void setView3d(bool on, int rotation = kDefaultAngle, int elevation = kDefaultAngle);
    bool view3d() const { return view3d_; }
    static constexpr int kDefaultAngle = 345;

    QLabel* legend() const { return legend_; }
    QChartView* chartView() const { return view_; }
    QChart* chart() const;

    // The panel as it is shown now.
    QImage image();
    // The chart alone drawn into a rectangle of a page (printing).
    void renderChart(QPainter& painter, const QRectF& target);

private:
    void rebuild();

    GraphPicture picture_;
    QLabel* legend_;
    QChartView* view_;
    bool marks_ = false;
    bool transparent_ = false;
    bool view3d_ = false;
    int rotation_ = kDefaultAngle;
    int elevation_ = kDefaultAngle;
};

} // namespace tarn::graphs
