#include "graphs/windows/TfSet_Gr.h"

#include "graphs/windows/TfColorG.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tarn::graphs {

TfSet_Gr::TfSet_Gr(const DataRoot& root, QWidget* parent) : QDialog(parent), root_(root) {
    setObjectName(QStringLiteral("TfSet_Gr"));
    setWindowTitle(QStringLiteral("Настройка"));
    const GraphStyle s = loadGraphStyle(root_);
    auto* layout = new QVBoxLayout(this);
    solid_ = new QRadioButton(QStringLiteral("Сплошная линия"), this);
    broken_ = new QRadioButton(QStringLiteral("Прерывистая линия"), this);
    auto* widthLabel = new QLabel(QStringLiteral("толщина линий"), this);
    width_ = new QSpinBox(this);
    width_->setRange(kMinLineWidth, kMaxLineWidth);
    width_->setValue(s.width);
    blackWhite_ = new QCheckBox(QStringLiteral("Черно-белые линии "), this);
    vertical_ = new QCheckBox(QStringLiteral("Вертикальные линии"), this);
    horizontal_ = new QCheckBox(QStringLiteral("Горизонтальные линии"), this);
    (s.solid ? solid_ : broken_)->setChecked(true);
    blackWhite_->setChecked(s.blackWhite);
    vertical_->setChecked(s.verticalGrid);
    horizontal_->setChecked(s.horizontalGrid);
    layout->addWidget(solid_);
    layout->addWidget(broken_);
    auto* widthRow = new QHBoxLayout;
    widthRow->addWidget(widthLabel);
    widthRow->addWidget(width_);
    layout->addLayout(widthRow);
    layout->addWidget(blackWhite_);
    layout->addWidget(vertical_);
    layout->addWidget(horizontal_);
    auto* buttons = new QHBoxLayout;
    auto* colour = new QPushButton(QStringLiteral("Цвет"), this);
    auto* close = new QPushButton(QStringLiteral("Выход"), this);
    buttons->addWidget(colour);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    auto showWidth = [this, widthLabel] {
        widthLabel->setVisible(solid_->isChecked());
        width_->setVisible(solid_->isChecked());
    };
    connect(solid_, &QRadioButton::toggled, this, showWidth);
    showWidth();
    connect(colour, &QPushButton::clicked, this, [this] {
        TfColorG colours(root_, this);
        colours.exec();
    });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

GraphStyle TfSet_Gr::style() const {
    return {solid_->isChecked(), vertical_->isChecked(), horizontal_->isChecked(), blackWhite_->isChecked(),
            width_->value()};
}

void TfSet_Gr::done(int result) {
    saveGraphStyle(root_, style());
    QDialog::done(result);
}

} // namespace tarn::graphs
