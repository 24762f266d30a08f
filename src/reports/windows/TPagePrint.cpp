#include "reports/windows/TPagePrint.h"

#include <QFontDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

namespace tarn::reports {

namespace {

QSpinBox* numberBox(int value, int minimum, int maximum, QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setRange(minimum, maximum);
    box->setValue(value);
    return box;
}

} // namespace

TPagePrint::TPagePrint(const PageSettings& settings, bool hourlyCalculation, QWidget* parent)
    : QDialog(parent), settings_(withinLimits(settings)) {
    setObjectName(QStringLiteral("TPagePrint"));
    setWindowTitle(QStringLiteral("УСТАНОВКИ ОТЧЕТОВ"));
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QMenuBar(this);
    layout->setMenuBar(bar);
    yes_ = bar->addAction(QStringLiteral("ДА"));
    cancel_ = bar->addAction(QStringLiteral("ОТМЕНА"));
    connect(yes_, &QAction::triggered, this, &QDialog::accept);
    connect(cancel_, &QAction::triggered, this, &QDialog::reject);

    auto* form = new QFormLayout;
    layout->addLayout(form);
    leftIndent_ = numberBox(settings_.leftIndent, kMinLeftIndent, kMaxLeftIndent, this);
    topMargin_ = numberBox(settings_.topMargin, kMinMargin, kMaxMargin, this);
    bottomMargin_ = numberBox(settings_.bottomMargin, kMinMargin, kMaxMargin, this);
    // The caption's line break is the window's own two-line text.
    auto* indentCaption = new QLabel(QStringLiteral("Отступ слева \r\n(кол-во символов)"), this);
    form->addRow(indentCaption, leftIndent_);
    form->addRow(QStringLiteral("Отступ сверху (строк)"), topMargin_);
    form->addRow(QStringLiteral("Отступ снизу (строк)"), bottomMargin_);

    auto* fontGroup = new QGroupBox(QStringLiteral("Шрифт"), this);
    auto* fontRow = new QHBoxLayout(fontGroup);
    fontLabel_ = new QLabel(fontGroup);
    changeFont_ = new QPushButton(QStringLiteral("Изменить"), fontGroup);
    fontRow->addWidget(fontLabel_, 1);
    fontRow->addWidget(changeFont_);
    layout->addWidget(fontGroup);
    connect(changeFont_, &QPushButton::clicked, this, &TPagePrint::chooseFont);
    showFont();

    auto* totals = new QGroupBox(this);
    auto* totalsColumn = new QVBoxLayout(totals);
    archiveTotals_ = new QRadioButton(QStringLiteral("ИЗ АРХИВОВ КОРРЕКТОРА СУТОЧНОГО И МЕСЯЧНОГО"), totals);
    hourlyCalculation_ = new QRadioButton(QStringLiteral("РАСЧЕТ ПО ЧАСОВОМУ АРХИВУ"), totals);
    totalsColumn->addWidget(archiveTotals_);
    totalsColumn->addWidget(hourlyCalculation_);
    (hourlyCalculation ? hourlyCalculation_ : archiveTotals_)->setChecked(true);
    layout->addWidget(totals);
}

PageSettings TPagePrint::settings() const {
    PageSettings result = settings_;
    result.leftIndent = leftIndent_->value();
    result.topMargin = topMargin_->value();
    result.bottomMargin = bottomMargin_->value();
    return result;
}

bool TPagePrint::hourlyCalculation() const {
    return hourlyCalculation_->isChecked();
}

void TPagePrint::setReportFont(const QFont& font) {
    if (!font.family().isEmpty()) settings_.fontName = font.family();
    // The file keeps whole points.
    const int points = static_cast<int>(std::lround(font.pointSizeF()));
    if (points > 0) settings_.fontSize = points;
    showFont();
}

void TPagePrint::chooseFont() {
    bool chosen = false;
    const QFont font = QFontDialog::getFont(&chosen, QFont(settings_.fontName, settings_.fontSize), this,
                                            QStringLiteral("Шрифт"), QFontDialog::MonospacedFonts);
    if (chosen) setReportFont(font);
}

void TPagePrint::showFont() {
    fontLabel_->setText(settings_.fontName + QStringLiteral(", ") + QString::number(settings_.fontSize));
}

} // namespace tarn::reports
