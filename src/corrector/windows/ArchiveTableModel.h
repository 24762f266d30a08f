#pragma once
// One archive table of the corrector window as a table model over the window model's rows: the views
// show what the read decoded, nothing is copied.
#include "corrector/CorrectorWindowModel.h"

#include <QAbstractTableModel>

namespace tarn::corrector {

class ArchiveTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    ArchiveTableModel(const CorrectorWindowModel& model, Archive archive, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const CorrectorWindowModel& model_;
    Archive archive_;
    QStringList columns_;
};

} // namespace tarn::corrector
