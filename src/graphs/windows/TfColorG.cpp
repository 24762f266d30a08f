#include "graphs/windows/TfColorG.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace tarn::graphs {

TfColorG::TfColorG(const DataRoot& root, QWidget* parent) : QDialog(parent), root_(root) {
    setObjectName(QStringLiteral("TfColorG"));
    setWindowTitle(QStringLiteral("Цвет"));
    auto* grid = new QGridLayout(this);
    const GraphColours current = loadGraphColours(root_);
    for (int slot = 0; slot < kColourSlots; ++slot) {
        auto* box = new QComboBox(this);
        for (int i = 0; i < kStandardColours; ++i) {
            QPixmap swatch(40, 12);
            swatch.fill(colourOfBgr(standardColours()[static_cast<std::size_t>(i)]));
            box->addItem(QIcon(swatch), QString());
        }
        box->setIconSize(QSize(40, 12));
        box->setCurrentIndex(current.index[static_cast<std::size_t>(slot)]);
        boxes_[static_cast<std::size_t>(slot)] = box;
        grid->addWidget(
            new QLabel(QString::fromUtf8(colourSlots()[static_cast<std::size_t>(slot)].label), this),
            slot % 7, (slot / 7) * 2);
        grid->addWidget(box, slot % 7, (slot / 7) * 2 + 1);
    }
    auto* close = new QPushButton(QStringLiteral("Выход"), this);
    grid->addWidget(close, 7, 3);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

GraphColours TfColorG::colours() const {
    GraphColours c;
    for (int slot = 0; slot < kColourSlots; ++slot)
        c.index[static_cast<std::size_t>(slot)] = boxes_[static_cast<std::size_t>(slot)]->currentIndex();
    return c;
}

void TfColorG::done(int result) {
    saveGraphColours(root_, colours());
    QDialog::done(result);
}

} // namespace tarn::graphs
