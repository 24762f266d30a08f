#include "corrector/windows/ArchiveTableModel.h"

#include "common/Language.h"

namespace tarn::corrector {

ArchiveTableModel::ArchiveTableModel(const CorrectorWindowModel& model, Archive archive, QObject* parent)
    : QAbstractTableModel(parent), model_(model), archive_(archive) {
    columns_ = archiveColumns(archive_, model_.archiveContext());
    connect(&model_, &CorrectorWindowModel::archiveChanged, this, [this](Archive changed) {
        if (changed != archive_) return;
        beginResetModel();
        // The heat unit of the daily and monthly titles follows the parameters read.
        columns_ = archiveColumns(archive_, model_.archiveContext());
        endResetModel();
    });
}

int ArchiveTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : model_.archives().rowCount(archive_);
}

int ArchiveTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant ArchiveTableModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    return model_.archives().cell(static_cast<int>(archive_), index.column(), index.row());
}

QVariant ArchiveTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
    return columns_.value(section);
}

} // namespace tarn::corrector
