#pragma once
// The graph style dialog: solid or broken lines, the line width (solid lines only), black-and-white lines,
// the vertical and horizontal grid lines, "Цвет" (the colour dialog), "Выход". Escape closes; closing
// writes Current\GrStyle.000. (The polling part has a group configurator of the same name in its own
// namespace.)
#include "common/DataRoot.h"
#include "graphs/GraphSettings.h"

#include <QDialog>

class QCheckBox;
class QRadioButton;
class QSpinBox;

namespace tarn::graphs {

class TfSet_Gr final : public QDialog {
    Q_OBJECT
public:
    explicit TfSet_Gr(const DataRoot& root, QWidget* parent = nullptr);
    GraphStyle style() const;

    QRadioButton* solidChoice() const { return solid_; }
    QRadioButton* brokenChoice() const { return broken_; }
    QSpinBox* widthBox() const { return width_; }
    QCheckBox* blackWhiteBox() const { return blackWhite_; }
    QCheckBox* verticalBox() const { return vertical_; }
    QCheckBox* horizontalBox() const { return horizontal_; }

protected:
    void done(int result) override;

private:
    DataRoot root_;
    QRadioButton* solid_;
    QRadioButton* broken_;
    QSpinBox* width_;
    QCheckBox* blackWhite_;
    QCheckBox* vertical_;
    QCheckBox* horizontal_;
};

} // namespace tarn::graphs
