#pragma once
// "ОЖИДАЙТЕ" while a report is built; F10 stops a statistical listing before its next record.
#include <QDialog>

namespace tarn::reports {

class TWaitPr final : public QDialog {
    Q_OBJECT
public:
    explicit TWaitPr(int language, QWidget* parent = nullptr);
    // Asked before each record: lets the window repaint and see F10 now and then.
    bool stopRequested();
    bool stopped() const { return stop_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool stop_ = false;
    int asked_ = 0;
};

} // namespace tarn::reports
