#pragma once
// One table of the database as the grids of the database window show it: a live view over a query,
// fetched as the grid scrolls (a year of hourly rows is never copied whole), the seed record left out,
// dates, times and timestamps shown as the users read them. The model keeps a table of its own opened
// from the storage, so the program's writers and another workstation's commands keep working beside it.
#include "database/Storage.h"

#include <QSqlQueryModel>

namespace tarn::database {

// A stored value as the users read it: dates dd.MM.yyyy, times HH:mm, timestamps dd.MM.yyyy HH:mm;
// anything else as it is.
QString displayedValue(const QVariant& value, FieldType type);

class StoredTableModel final : public QSqlQueryModel {
    Q_OBJECT
public:
    explicit StoredTableModel(QObject* parent = nullptr);
    ~StoredTableModel() override;

    // Shows the table (created with its seed record when missing), in the order of its numbers. False,
    // with the reason in error(), when it cannot be opened.
    bool show(Storage& storage, const TableId& id);
    // Shows nothing and lets go of the table (before it is erased, or when no point is selected).
    void release();
    // Runs the query again: rows stored since are shown.
    void refresh();

    TableKind kind() const { return kind_; }
    // Whether a table is shown; which one.
    bool isShown() const { return table_ != nullptr; }
    const std::optional<TableId>& shown() const { return shown_; }
    const QString& error() const { return error_; }
    // The row's value of a field by its name, as stored.
    QVariant value(int row, const QString& field) const;

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    std::optional<TableId> shown_;
    std::unique_ptr<Table> table_;
    TableKind kind_ = TableKind::Registry;
    QList<FieldSpec> fields_;
    QString error_;
};

} // namespace tarn::database
