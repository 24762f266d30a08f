#include "corrector/windows/TRdWrCor.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarn::corrector {

TRdWrCor::TRdWrCor(ReadRun& run, QWidget* parent) : QDialog(parent), run_(run) {
    setObjectName(QStringLiteral("TRdWrCor"));
    auto* layout = new QVBoxLayout(this);
    kind_ = new QLabel(this);
    QFont f = kind_->font();
    f.setBold(true);
    f.setPointSize(f.pointSize() + 3);
    kind_->setFont(f);
    kind_->setAlignment(Qt::AlignCenter);
    question_ = new QLabel(this);
    question_->setAlignment(Qt::AlignCenter);
    emptyLine_ = new QCheckBox(this);
    gauge_ = new QProgressBar(this);
    yes_ = new QPushButton(this);
    no_ = new QPushButton(this);
    stop_ = new QPushButton(this);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {yes_, no_, stop_}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    layout->addWidget(kind_);
    layout->addWidget(question_);
    layout->addWidget(emptyLine_);
    layout->addWidget(gauge_);
    layout->addLayout(buttons);
    setMinimumWidth(360);

    connect(yes_, &QPushButton::clicked, this, [this] { run_.yes(); });
    connect(no_, &QPushButton::clicked, this, [this] { run_.no(); });
    connect(stop_, &QPushButton::clicked, this, [this] { run_.stop(); });
    connect(emptyLine_, &QCheckBox::toggled, this, [this](bool on) { run_.readToEmptyLine = on; });
    connect(&run_, &ReadRun::changed, this, &TRdWrCor::refresh);
    connect(&run_, &ReadRun::closeRequested, this, &QDialog::accept);
}

void TRdWrCor::openFor(int kind) {
    run_.open(kind);
    // Ticked, except while a selective read takes only its planned pages.
    emptyLine_->setChecked(run_.readToEmptyLine);
    question_->setText(run_.questionText());
    emptyLine_->setText(run_.emptyLineText());
    yes_->setText(run_.yesText());
    no_->setText(run_.noText());
    stop_->setText(run_.stopText());
    refresh();
    exec();
}

void TRdWrCor::refresh() {
    kind_->setText(run_.label());
    setWindowTitle(run_.label());
    gauge_->setMaximum(std::max(run_.gaugeMax(), 1));
    gauge_->setValue(run_.gauge());
    yes_->setEnabled(run_.yesEnabled());
    no_->setEnabled(run_.noEnabled());
    stop_->setEnabled(run_.stopEnabled());
    // The selective read ticks it again once its daily part is read.
    if (emptyLine_->isChecked() != run_.readToEmptyLine) emptyLine_->setChecked(run_.readToEmptyLine);
}

void TRdWrCor::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (run_.yesEnabled())
            run_.yes();
        else if (run_.stopEnabled())
            run_.stop();
        return;
    case Qt::Key_Escape:
        run_.escape();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void TRdWrCor::reject() {
    // The window's close button: as Esc.
    run_.escape();
}

} // namespace tarn::corrector
