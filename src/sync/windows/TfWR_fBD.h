#pragma once
// The pack/unpack window: "подготовка файлов базы данных "упаковка"" (or "распаковка"), a gauge of 25
// steps and "Останов  - клавиша   "F10"". F10 sets the stop flag and closes it; the run stops at its
// next step where stopping still changes nothing.
#include "sync/PointPackage.h"

#include <QDialog>
#include <functional>

class QLabel;
class QProgressBar;

namespace tarn::sync {

class TfWR_fBD final : public QDialog {
    Q_OBJECT
public:
    enum class Mode { Pack, Unpack };
    using Work = std::function<void(const StepProgress& progress)>;
    TfWR_fBD(Mode mode, QWidget* parent = nullptr);

    // Shows the window, runs the work a moment later and closes when it ends.
    void runModal(const Work& work);
    bool stopRequested() const { return stop_; }
    // The pause before the work starts (the window is painted first).
    int startDelayMs = 50;

    QLabel* caption() const { return caption_; }
    QProgressBar* gauge() const { return gauge_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* caption_;
    QProgressBar* gauge_;
    bool stop_ = false;
    bool running_ = false;
};

} // namespace tarn::sync
