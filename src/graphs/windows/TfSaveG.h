#pragma once
// 'Сохранить график в формате "jpg"': the picture quality (5..100), "Сохранить" or "Отмена"; Enter saves,
// Escape cancels.
#include <QDialog>

class QSpinBox;

namespace tarn::graphs {

class TfSaveG final : public QDialog {
    Q_OBJECT
public:
    explicit TfSaveG(int quality, QWidget* parent = nullptr);
    int quality() const;
    QSpinBox* qualityBox() const { return quality_; }

private:
    QSpinBox* quality_;
};

} // namespace tarn::graphs
