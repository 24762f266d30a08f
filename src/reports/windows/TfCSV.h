#pragma once
// 'Сохранить отчет в формате "*.csv"': whether the totals line goes into the file ("Строка итогов"),
// then "Сохранить" or "Отмена". Enter on the check box saves, Escape cancels.
#include <QDialog>
#include <array>

class QCheckBox;

namespace tarn::reports {

class TfCSV final : public QDialog {
    Q_OBJECT
public:
    explicit TfCSV(QWidget* parent = nullptr);
    bool totals() const;
    QCheckBox* totalsBox() const { return totals_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QCheckBox* totals_;
};

// "СТАТ. ДАННЫЕ": the columns of the hourly and daily listings.
class TfStatColumns final : public QDialog {
    Q_OBJECT
public:
    TfStatColumns(const std::array<bool, 18>& chosen, bool ukrainian, QWidget* parent = nullptr);
    std::array<bool, 18> chosen() const;

private:
    std::array<QCheckBox*, 18> boxes_{};
};

} // namespace tarn::reports
