#pragma once
// "УСТАНОВКИ ОТЧЕТОВ": the page settings of the reports (left indent, top and bottom margins, font) and
// where the totals come from (the corrector's daily and monthly archives, or a calculation over the
// hourly archive). It edits copies; the caller takes them after "ДА" (accepted) and measures the page
// again for the new font (tarn_reports_print) before writing Work\FilePrn.000. "ОТМЕНА" changes nothing.
#include "reports/PageSettings.h"

#include <QDialog>
#include <QFont>

class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace tarn::reports {

class TPagePrint final : public QDialog {
    Q_OBJECT
public:
    TPagePrint(const PageSettings& settings, bool hourlyCalculation, QWidget* parent = nullptr);

    // The settings as edited; values the dialog does not show come back as they were given.
    PageSettings settings() const;
    // True for "РАСЧЕТ ПО ЧАСОВОМУ АРХИВУ": a report option, not a page setting.
    bool hourlyCalculation() const;

    // What "Изменить" does with the font chosen in the font dialog.
    void setReportFont(const QFont& font);

    QSpinBox* leftIndentBox() const { return leftIndent_; }
    QSpinBox* topMarginBox() const { return topMargin_; }
    QSpinBox* bottomMarginBox() const { return bottomMargin_; }
    QLabel* fontLabel() const { return fontLabel_; }
    QPushButton* changeFontButton() const { return changeFont_; }
    QRadioButton* archiveTotalsButton() const { return archiveTotals_; }
    QRadioButton* hourlyCalculationButton() const { return hourlyCalculation_; }
    QAction* yesAction() const { return yes_; }
    QAction* cancelAction() const { return cancel_; }

private:
    void chooseFont();
    void showFont();

    PageSettings settings_;
    QSpinBox* leftIndent_;
    QSpinBox* topMargin_;
    QSpinBox* bottomMargin_;
    QLabel* fontLabel_;
    QPushButton* changeFont_;
    QRadioButton* archiveTotals_;
    QRadioButton* hourlyCalculation_;
    QAction* yes_;
    QAction* cancel_;
};

} // namespace tarn::reports
