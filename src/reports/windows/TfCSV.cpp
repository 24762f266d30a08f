#include "reports/windows/TfCSV.h"

#include "common/Language.h"
#include "reports/StatListing.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarn::reports {

TfCSV::TfCSV(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TfCSV"));
    setWindowTitle(QStringLiteral("Сохранить отчет в формате \"*.csv\""));
    auto* layout = new QVBoxLayout(this);
    totals_ = new QCheckBox(QStringLiteral("Строка итогов"), this);
    totals_->setChecked(true);
    layout->addWidget(totals_);
    auto* buttons = new QHBoxLayout;
    auto* save = new QPushButton(QStringLiteral("Сохранить"), this);
    auto* cancel = new QPushButton(QStringLiteral("Отмена"), this);
    buttons->addWidget(save);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(save, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TfCSV::totals() const {
    return totals_->isChecked();
}

void TfCSV::keyPressEvent(QKeyEvent* event) {
    if (totals_->hasFocus() && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

TfStatColumns::TfStatColumns(const std::array<bool, 18>& chosen, bool ukrainian, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("TfStatColumns"));
    setWindowTitle(uaRu(languageOf(ukrainian), "СТАТ. ДАНІ", "СТАТ. ДАННЫЕ"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    for (int c = 0; c < kStatColumns; ++c) {
        boxes_[static_cast<std::size_t>(c)] = new QCheckBox(StatColumns::title(c, ukrainian), this);
        boxes_[static_cast<std::size_t>(c)]->setChecked(chosen[static_cast<std::size_t>(c)]);
        grid->addWidget(boxes_[static_cast<std::size_t>(c)], c % 9, c / 9);
    }
    layout->addLayout(grid);
    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton(QStringLiteral("ДА"), this);
    auto* cancel = new QPushButton(uaRu(languageOf(ukrainian), "ВІДМІНА", "ОТМЕНА"), this);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

std::array<bool, 18> TfStatColumns::chosen() const {
    std::array<bool, 18> out{};
    for (std::size_t c = 0; c < out.size(); ++c)
        out[c] = boxes_[c]->isChecked();
    return out;
}

} // namespace tarn::reports
