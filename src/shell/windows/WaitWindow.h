#pragma once
// The borderless wait window: "ЧЕКАЙТЕ" and the stop key line. It runs its work 50 ms after it is shown,
// so that it is painted first, and closes 50 ms after the work is done.
#include <QDialog>
#include <functional>

class QLabel;

namespace tarn::shell {

class TWr_BD final : public QDialog {
    Q_OBJECT
public:
    TWr_BD(int languageIndex, QWidget* parent = nullptr);
    // Shows the window modally and runs work on its start timer; returns when the window has closed.
    // duringClosingPause, when given, runs right after the work, within the closing pause (which it
    // lengthens only when it takes longer than the pause).
    void run(std::function<void()> work, std::function<void()> duringClosingPause = {});
    // F10 asks long work to stop.
    bool stopRequested() const { return stop_; }

    int startDelayMs = 50;
    int closeDelayMs = 50;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool stop_ = false;
};

} // namespace tarn::shell
