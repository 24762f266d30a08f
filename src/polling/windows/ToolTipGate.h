#pragma once
// "всплывающие подсказки": while off, the tool tips of the watched windows (and of everything in them)
// are not shown. The hints stay on the widgets, so switching back needs nothing restored.
#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>

namespace tarn::polling {

class ToolTipGate final : public QObject {
public:
    ToolTipGate() {
        if (qApp) qApp->installEventFilter(this);
    }
    void watch(QWidget* window) { windows_.append(window); }
    void setEnabled(bool on) { enabled_ = on; }
    bool enabled() const { return enabled_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (enabled_ || event->type() != QEvent::ToolTip || !watched->isWidgetType()) return false;
        const QWidget* window = static_cast<QWidget*>(watched)->window();
        for (const QPointer<QWidget>& w : windows_)
            if (w && w->window() == window) return true;
        return false;
    }

private:
    QList<QPointer<QWidget>> windows_;
    bool enabled_ = true;
};

} // namespace tarn::polling
