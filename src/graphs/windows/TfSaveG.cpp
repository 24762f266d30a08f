#include "graphs/windows/TfSaveG.h"

#include "graphs/GraphSettings.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tarn::graphs {

TfSaveG::TfSaveG(int quality, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TfSaveG"));
    setWindowTitle(QStringLiteral("Сохранить график в формате \"jpg\""));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("компрессия (5..100)"), this));
    quality_ = new QSpinBox(this);
    quality_->setRange(kMinJpegQuality, kMaxJpegQuality);
    quality_->setValue(std::clamp(quality, kMinJpegQuality, kMaxJpegQuality));
    layout->addWidget(quality_);
    auto* buttons = new QHBoxLayout;
    auto* save = new QPushButton(QStringLiteral("Сохранить"), this);
    auto* cancel = new QPushButton(QStringLiteral("Отмена"), this);
    save->setDefault(true);
    buttons->addWidget(save);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(save, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

int TfSaveG::quality() const {
    return quality_->value();
}

} // namespace tarn::graphs
