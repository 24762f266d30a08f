#include "database/windows/TGasComp.h"

#include "corrector/windows/CheckColour.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarn::database {

TGasComp::TGasComp(Gases& gases, const std::optional<GasComposition>& selected, Notifier& notifier,
                   QWidget* parent)
    : QDialog(parent), gases_(gases), selected_(selected), notifier_(notifier) {
    setObjectName(QStringLiteral("TGasComp"));
    setWindowTitle(QStringLiteral("Состав газа"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    static constexpr const char* kCaptions[] = {"Газ", "Плотность (кг/м3)", "CO2 (%)", "N2 (%)"};
    for (int i = 0; i < 4; ++i) {
        fields_[i] = new QLineEdit(this);
        fields_[i]->setMaxLength(32);
        form->addRow(QString::fromUtf8(kCaptions[i]), fields_[i]);
    }
    if (selected_) {
        fields_[0]->setText(selected_->name);
        fields_[1]->setText(selected_->density);
        fields_[2]->setText(selected_->co2);
        fields_[3]->setText(selected_->n2);
    }
    for (int i = 1; i < 4; ++i) {
        connect(fields_[i], &QLineEdit::textEdited, this, [this, i] { colourValue(i); });
        colourValue(i);
    }
    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    add_ = new QPushButton(QStringLiteral("Добавить"), this);
    change_ = new QPushButton(QStringLiteral("Изменить"), this);
    delete_ = new QPushButton(QStringLiteral("Удалить"), this);
    auto* exit = new QPushButton(QStringLiteral("Выход"), this);
    for (QPushButton* b : {add_, change_, delete_, exit})
        buttons->addWidget(b);
    change_->setEnabled(selected_.has_value());
    delete_->setEnabled(selected_.has_value());
    connect(add_, &QPushButton::clicked, this, &TGasComp::addComposition);
    connect(change_, &QPushButton::clicked, this, &TGasComp::changeComposition);
    connect(delete_, &QPushButton::clicked, this, &TGasComp::deleteComposition);
    connect(exit, &QPushButton::clicked, this, &QDialog::reject);
}

GasComposition TGasComp::typed() const {
    return {fields_[0]->text().trimmed(), fields_[1]->text().trimmed(), fields_[2]->text().trimmed(),
            fields_[3]->text().trimmed()};
}

void TGasComp::colourValue(int which) {
    QPalette palette = fields_[which]->palette();
    palette.setColor(QPalette::Text,
                     corrector::checkColour(gasValueCheck(which - 1, fields_[which]->text().trimmed())));
    fields_[which]->setPalette(palette);
}

bool TGasComp::addComposition() {
    const QString error = gases_.add(typed());
    if (!error.isEmpty()) {
        notifier_.message(MessageKind::Error, error);
        return false;
    }
    accept();
    return true;
}

bool TGasComp::changeComposition() {
    if (!selected_) return false;
    const QString error = gases_.change(selected_->name, typed());
    if (!error.isEmpty()) {
        notifier_.message(MessageKind::Error, error);
        return false;
    }
    accept();
    return true;
}

bool TGasComp::deleteComposition() {
    if (!selected_) return false;
    if (!notifier_.confirm(QStringLiteral("Газ - ") + selected_->name + QStringLiteral("  удалить? ")))
        return false;
    if (!gases_.remove(selected_->name)) return false;
    accept();
    return true;
}

} // namespace tarn::database
