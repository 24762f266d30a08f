#include "corrector/windows/TfSelRead.h"

#include "common/DateTimeText.h"
#include "common/Language.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

namespace tarn::corrector {

TfSelRead::TfSelRead(int lang, const QDateTime& now, QWidget* parent) : QDialog(parent), now_(now) {
    setObjectName(QStringLiteral("TfSelRead"));
    setWindowTitle(uaRu(lang, "ВИБІРКОВЕ ЧИТАННЯ", "ВЫБОРОЧНОЕ ЧТЕНИЕ"));
    auto* form = new QFormLayout(this);
    start_ = new QLabel(this);
    end_ = new QLabel(this);
    days_ = new QSpinBox(this);
    days_->setRange(1, 40);
    days_->setValue(1);
    form->addRow(uaRu(lang, "ПОЧАТОК", "НАЧАЛО"), start_);
    form->addRow(uaRu(lang, "КІНЕЦЬ", "КОНЕЦ"), end_);
    form->addRow(uaRu(lang, "Кількість днів", "Кол-во дней"), days_);
    auto* buttons = new QHBoxLayout;
    yes_ = new QPushButton(uaRu(lang, "ТАК", "ДА"), this);
    auto* no = new QPushButton(uaRu(lang, "НІ", "НЕТ"), this);
    buttons->addWidget(yes_);
    buttons->addWidget(no);
    form->addRow(buttons);
    connect(yes_, &QPushButton::clicked, this, &QDialog::accept);
    connect(no, &QPushButton::clicked, this, &QDialog::reject);
    connect(days_, &QSpinBox::valueChanged, this, &TfSelRead::showPeriod);
    showPeriod();
}

int TfSelRead::days() const {
    return days_->value();
}

void TfSelRead::showPeriod() {
    start_->setText(formatDate(now_.date().addDays(-days_->value())));
    end_->setText(formatDate(now_.date()) + QLatin1Char(' ') + formatShortTime(now_.time()));
}

} // namespace tarn::corrector
