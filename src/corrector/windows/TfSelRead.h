#pragma once
// The selective reading window: the last N days (1..40) up to now; "ДА" starts the read, "НЕТ" closes.
#include <QDateTime>
#include <QDialog>

class QLabel;
class QPushButton;
class QSpinBox;

namespace tarn::corrector {

class TfSelRead final : public QDialog {
    Q_OBJECT
public:
    TfSelRead(int languageIndex, const QDateTime& now, QWidget* parent = nullptr);
    int days() const;
    QSpinBox* daysBox() const { return days_; }
    QLabel* startLabel() const { return start_; }
    QPushButton* yesButton() const { return yes_; }

private:
    void showPeriod();

    QDateTime now_;
    QSpinBox* days_;
    QLabel* start_;
    QLabel* end_;
    QPushButton* yes_;
};

} // namespace tarn::corrector
