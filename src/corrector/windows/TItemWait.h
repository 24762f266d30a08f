#pragma once
// The wait window of a single-item read or write: its caption and a progress bar stepping until the
// reply, closing shortly after it.
#include <QDialog>

class QLabel;
class QProgressBar;
class QTimer;

namespace tarn::corrector {

class TItemWait final : public QDialog {
    Q_OBJECT
public:
    explicit TItemWait(QWidget* parent = nullptr);
    void start(const QString& caption);
    // The reply has come: the window closes closeDelayMs later.
    void replied();
    QString caption() const;
    int progress() const;

    int stepMs = 500;
    int closeDelayMs = 400;

private:
    QLabel* caption_;
    QProgressBar* bar_;
    QTimer* step_;
};

} // namespace tarn::corrector
