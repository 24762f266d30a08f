#pragma once
// The read window: "ЧИТАТЬ ?", the kind being read, the gauge and "ДА" / "НЕТ" / "СТОП". It shows ReadRun's
// state and forwards the buttons and keys to it.
#include "corrector/ReadRun.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace tarn::corrector {

class TRdWrCor final : public QDialog {
    Q_OBJECT
public:
    TRdWrCor(ReadRun& run, QWidget* parent = nullptr);
    // OpenReadWindow: prepares the run for the kind and shows the window modally.
    void openFor(int kind);

    QPushButton* yesButton() const { return yes_; }
    QPushButton* noButton() const { return no_; }
    QPushButton* stopButton() const { return stop_; }
    QCheckBox* emptyLineBox() const { return emptyLine_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;

private:
    void refresh();

    ReadRun& run_;
    QLabel* kind_;
    QLabel* question_;
    QCheckBox* emptyLine_;
    QProgressBar* gauge_;
    QPushButton* yes_;
    QPushButton* no_;
    QPushButton* stop_;
};

} // namespace tarn::corrector
