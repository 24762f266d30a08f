#pragma once
// The console's analog clock ("аналоговые часы "): a dial with hour, minute and second hands.
#include <QTime>
#include <QWidget>

namespace tarn::polling {

class AnalogClock final : public QWidget {
public:
    explicit AnalogClock(QWidget* parent = nullptr);
    void setTime(const QTime& time);
    QTime time() const { return time_; }
    QSize sizeHint() const override { return {72, 72}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTime time_;
};

} // namespace tarn::polling
