#include "corrector/windows/TfVersRS.h"

#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace tarn::corrector {

TfVersRS::TfVersRS(OperationStart& gate, QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog), gate_(gate) {
    setObjectName(QStringLiteral("TfVersRS"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    caption_ = new QLabel(this);
    QFont f = caption_->font();
    f.setBold(true);
    f.setPointSize(f.pointSize() + 4);
    caption_->setFont(f);
    caption_->setAlignment(Qt::AlignCenter);
    stopLine_ = new QLabel(this);
    stopLine_->setAlignment(Qt::AlignCenter);
    layout->addWidget(caption_);
    layout->addWidget(stopLine_);
    setFixedSize(380, 110);
    setCaptions();
}

void TfVersRS::setCaptions() {
    caption_->setText(gate_.windowCaption());
    stopLine_->setText(gate_.windowStopLine());
}

void TfVersRS::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F10) {
        gate_.stopIdentification();
        return;
    }
    if (event->key() == Qt::Key_Escape) return; // the window closes itself
    QDialog::keyPressEvent(event);
}

} // namespace tarn::corrector
