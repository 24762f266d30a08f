#pragma once
// The colour dialog: a colour box of the standard colours for each of the fourteen slots. Closing it
// writes Graph\ColorG.000.
#include "common/DataRoot.h"
#include "graphs/GraphSettings.h"

#include <QDialog>
#include <array>

class QComboBox;

namespace tarn::graphs {

class TfColorG final : public QDialog {
    Q_OBJECT
public:
    explicit TfColorG(const DataRoot& root, QWidget* parent = nullptr);
    GraphColours colours() const;
    QComboBox* colourBox(int slot) const { return boxes_[static_cast<std::size_t>(slot - 1)]; } // 1..14

protected:
    void done(int result) override;

private:
    DataRoot root_;
    std::array<QComboBox*, kColourSlots> boxes_{};
};

} // namespace tarn::graphs
