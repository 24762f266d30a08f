#include "polling/windows/AnalogClock.h"

#include <QPainter>

namespace tarn::polling {

AnalogClock::AnalogClock(QWidget* parent) : QWidget(parent), time_(0, 0) {
    setMinimumSize(48, 48);
}

void AnalogClock::setTime(const QTime& time) {
    if (time == time_) return;
    time_ = time;
    update();
}

void AnalogClock::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int side = qMin(width(), height());
    p.translate(width() / 2.0, height() / 2.0);
    p.scale(side / 200.0, side / 200.0);
    p.setPen(QPen(palette().color(QPalette::WindowText), 3));
    p.setBrush(palette().color(QPalette::Base));
    p.drawEllipse(QPointF(0, 0), 96, 96);
    for (int i = 0; i < 12; ++i) {
        p.drawLine(QPointF(0, -88), QPointF(0, -78));
        p.rotate(30.0);
    }
    const auto hand = [&p](double degrees, double length, double width, const QColor& colour) {
        p.save();
        p.rotate(degrees);
        p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, 8), QPointF(0, -length));
        p.restore();
    };
    const QColor ink = palette().color(QPalette::WindowText);
    hand(30.0 * (time_.hour() % 12 + time_.minute() / 60.0), 50, 7, ink);
    hand(6.0 * (time_.minute() + time_.second() / 60.0), 75, 5, ink);
    hand(6.0 * time_.second(), 82, 2, Qt::red);
}

} // namespace tarn::polling
