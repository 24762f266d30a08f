#pragma once
// What the database window ("Таблицы БД") works on: the registry and gas grids, one selected metering
// point whose archive tables fill the lower grids, the choice of showing the model and serial-number
// columns (kept in Work\TypeBD_C.000), and erasing the selected point. The window only shows this state
// and forwards the user's actions here.
#include "database/Registry.h"
#include "database/StoredTableModel.h"

#include <functional>
#include <memory>

namespace tarn::database {

// The lower grids, in the window's order.
inline constexpr std::array<TableKind, 11> kPointGridOrder = {
    TableKind::Hourly,     TableKind::Daily,     TableKind::Monthly,     TableKind::Interference,
    TableKind::Alarm,      TableKind::Operative, TableKind::Measurement, TableKind::Service,
    TableKind::RequestLog, TableKind::HeatDay,   TableKind::HeatMonth};

// The caption of a lower grid's tab in the language (kUkrainian, kRussian).
QString pointGridCaption(TableKind kind, int language);

class DatabaseWindowModel {
public:
    // root holds the files beside the tables (the column choice); storage must outlive the model.
    DatabaseWindowModel(const DataRoot& root, Storage& storage);
    // The same over the table files under root.
    DatabaseWindowModel(const DataRoot& root, const Schemas& schemas);
    ~DatabaseWindowModel();
    DatabaseWindowModel(const DatabaseWindowModel&) = delete;
    DatabaseWindowModel& operator=(const DatabaseWindowModel&) = delete;

    StoredTableModel& registryGrid() { return registryGrid_; }
    StoredTableModel& gasGrid() { return gasGrid_; }
    // The selected point's table of that kind (empty while no point is selected).
    StoredTableModel& pointGrid(TableKind kind);
    const StoredTableModel& pointGrid(TableKind kind) const;

    // Selects the point of the registry grid's row (-1: none) and shows its tables.
    void selectRow(int row);
    // Selects a point by its identifier; false (and no selection) when the registry has none.
    bool selectPoint(const QString& identifier);
    const std::optional<Point>& selected() const { return selected_; }
    // The registry grid's row of the selected point, -1 when none.
    int selectedRow() const;
    // "Таблицы БД   (выбран: <model> №<serial>)", or "--- № ----" in place of the point.
    QString title() const;

    // Whether the archive grids show the model and serial-number columns.
    bool identityColumnsShown() const { return identityColumnsShown_; }
    // Toggles the choice and keeps it; false when the file could not be written.
    bool toggleIdentityColumns();
    // The grid columns the choice hides (none while they are shown).
    QList<int> hiddenColumns(TableKind kind) const;

    // Runs the queries again (after storing, an erase, a configurator save); the selection stays.
    void refresh();

    // The erase question and the heading of its progress window for the selected point.
    QString eraseQuestion() const;
    QString eraseHeading() const;
    // Erases the selected point (its files first, the registry row last). progress(step, steps) is
    // called after each step. Empty on success, else the message; a failed erase leaves the point
    // selected and visible so that it can be tried again.
    QString eraseSelected(const std::function<void(int step, int steps)>& progress = {});
    // The same erase in three parts, for a window that runs the middle one on a worker. First the grids
    // let go of the point's files (the owner's thread): the selected point's identifier, empty when none
    // is selected.
    QString prepareErase();
    // The point's files and rows erased; its tables are opened by the thread that calls it.
    QString erasePoint(const QString& identifier,
                       const std::function<void(int step, int steps)>& progress) const;
    // Back on the owner's thread: the grids follow what the erase came to (its message, empty on success).
    void finishErase(const QString& error);

    // The configurator's save of the selected point: the values that changed. The number changed.
    int saveConfig(const PointConfig& config);

    // The record menu's "Удалить запись" on the grid of that kind: the question naming the row's record
    // number, and the deletion of the stored row with the row's running number (nothing when it is gone).
    QString deleteRecordQuestion(TableKind kind, int row) const;
    bool deleteRecord(TableKind kind, int row);

    // The polling groups an erase takes the point out of (the run's, which must outlive the model);
    // until then root's Group folder.
    void useGroupFiles(GroupFiles& groups) { groups_ = &groups; }

private:
    void start();
    void showPointTables();
    void releasePointTables();

    DataRoot root_;
    std::unique_ptr<SqliteStorage> ownStorage_; // only when made over the table files
    Storage& storage_;
    GroupFiles* groups_ = nullptr;
    StoredTableModel registryGrid_;
    StoredTableModel gasGrid_;
    std::array<std::unique_ptr<StoredTableModel>, kPointGridOrder.size()> pointGrids_;
    std::optional<Point> selected_;
    bool identityColumnsShown_ = true;
};

} // namespace tarn::database
