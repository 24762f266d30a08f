#pragma once
// The identification window: shown while the operation start reads the identification twice; F10 stops.
#include "corrector/OperationStart.h"

#include <QDialog>

class QLabel;

namespace tarn::corrector {

class TfVersRS final : public QDialog {
    Q_OBJECT
public:
    TfVersRS(OperationStart& gate, QWidget* parent = nullptr);
    // Texts in the current language, before each showing.
    void setCaptions();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    OperationStart& gate_;
    QLabel* caption_;
    QLabel* stopLine_;
};

} // namespace tarn::corrector
