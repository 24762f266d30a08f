#pragma once
// "ЗАГРУЗКА ФАЙЛА": the progress of one file load or save. It shows the file's name, runs the work a
// moment later (the user sees the window first) and closes a moment after it ends.
#include "corrector/CorrectorFiles.h"

#include <QDialog>
#include <functional>

class QLabel;
class QProgressBar;

namespace tarn::corrector {

class TZagrFile final : public QDialog {
    Q_OBJECT
public:
    using Work = std::function<bool(const FileProgress& progress)>;
    TZagrFile(const QString& fileName, Work work, QWidget* parent = nullptr);

    // Runs the work modally; returns what the work returned.
    bool runModal();
    // The pauses before the label, before the work and before closing (50, 100 and 100 ms).
    int showDelayMs = 50;
    int workDelayMs = 100;
    int closeDelayMs = 100;

    QProgressBar* gauge() const { return gauge_; }

private:
    Work work_;
    QString fileName_;
    QLabel* label_;
    QProgressBar* gauge_;
    bool result_ = false;
};

} // namespace tarn::corrector
