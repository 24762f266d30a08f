#pragma once
// "Таблицы БД": the registry and gas grids above, the selected metering point's tables below. A right
// click on the registry opens the point's configurator (not on a synchronised copy), on the gas grid the
// gas window. Tool buttons: configurator, gas, the model and serial-number columns, erase, the check of
// the database, exit.
#include "common/Language.h"
#include "common/Notifier.h"
#include "database/DatabaseCheck.h"
#include "database/DatabaseWindowModel.h"

#include <QMainWindow>
#include <functional>
#include <memory>

class QAction;
class QTabWidget;
class QTableView;

class QSplitter;

namespace tarn::database {

class TBDquon final : public QMainWindow {
    Q_OBJECT
public:
    struct Options {
        int language = kRussian;
        bool syncOn = false; // a synchronised copy edits no point
        // "Отчет": the report window for the selected point.
        std::function<void(const Point& point)> openReport;
        // "График" of the record menu (hourly, daily, monthly and operative grids): the point's graph of
        // that archive. No menu without it.
        std::function<void(const Point& point, TableKind kind)> openGraph;
        // "Сохранить файл  *.tbd": the selected point's package. "Открыть файл  *.tbd": a package opened into
        // the database, returning the point whose data arrived (empty when none). No buttons without them.
        std::function<void(const Point& point)> savePackage;
        std::function<QString()> openPackage;
        // "Проверка БД" works on the table files: off for a database kept on a server.
        bool tableFiles = true;
        // The run's polling groups, from which an erased point's member lines go; none: root's Group
        // folder. Must outlive the window.
        GroupFiles* groups = nullptr;
    };
    // The tables through storage, which must outlive the window; root holds the files beside them.
    TBDquon(const DataRoot& root, Storage& storage, Notifier& notifier, Options options,
            QWidget* parent = nullptr);
    // The same over the table files under root.
    TBDquon(const DataRoot& root, const Schemas& schemas, Notifier& notifier, Options options,
            QWidget* parent = nullptr);
    // A check still running is stopped and waited for: it reads the schemas the window was given.
    ~TBDquon() override;

    DatabaseWindowModel& model() { return model_; }
    QTableView* registryView() const { return registryView_; }
    QTableView* gasView() const { return gasView_; }
    QTableView* pointView(TableKind kind) const;
    QAction* columnsAction() const { return columns_; }
    // The upper panel (registry and gases): its height comes from Current\track.000 and goes back there
    // whenever the splitter moves.
    QSplitter* panelSplitter() const { return split_; }
    void applyUpperHeight(int height);

    // Shows what the tables hold now (after storing, for example), keeping the selection.
    void refresh();
    // Opens the configurator on the selected point; true when it was saved.
    bool editSelectedPoint();
    // Opens the gas window for the gas grid's current row (or none).
    void openGasWindow();
    // Asks, then erases the selected point with its progress window.
    bool eraseSelectedPoint();
    // The report window for the selected point ("Нет данных" without one).
    bool openReport();
    // The record menu's "График" for the grid of that kind (false without a point or for another grid).
    bool openGraph(TableKind kind);
    // The record menu's "Удалить запись": asks, then deletes the stored record of the grid's row.
    bool deleteRecord(TableKind kind, int row);
    // "Сохранить файл  *.tbd" for the selected point ("Нет данных" without one).
    bool savePackage();
    // "Открыть файл  *.tbd": the point's tables are let go first, then the point that arrived is selected.
    bool openPackage();
    // "Проверка БД": the installation's tables checked (repaired) on a worker thread while a progress
    // window with its stop button stays live; the grids let go of their files first for a repair. The
    // report comes with checkFinished; false (nothing started) while a check is running.
    bool startCheck(bool repair);
    bool checkRunning() const { return check_ != nullptr; }
    // The same check waited for on this thread (the progress window is not painted meanwhile): for a
    // caller that has nothing else to do until the report is in.
    CheckReport runCheck(bool repair);
    // The menu entry: the check, its findings shown when it has ended, and the repair offered when some
    // are left.
    void checkFromMenu();

signals:
    void checkFinished(const tarn::database::CheckReport& report, bool repaired);

private:
    struct CheckRun;
    // The worker has ended: the progress window goes, the grids come back after a repair.
    CheckReport finishCheck();
    void showCheckReport(const CheckReport& report, bool repaired);

    void onRegistryRowChanged();
    void applyIdentityColumns();
    void showTitle();

    // storage, or the own one when none is given.
    TBDquon(const DataRoot& root, std::unique_ptr<SqliteStorage> ownStorage, Storage* storage,
            Notifier& notifier, Options options, QWidget* parent);

    DataRoot root_;
    std::unique_ptr<SqliteStorage> ownStorage_; // only when made over the table files
    Storage& storage_;
    // The database check works on the table files themselves, with these layouts.
    const Schemas& schemas_;
    Notifier& notifier_;
    Options options_;
    DatabaseWindowModel model_;
    QTableView* registryView_;
    QTableView* gasView_;
    QTabWidget* tabs_;
    QSplitter* split_;
    std::array<QTableView*, kPointGridOrder.size()> pointViews_{};
    QAction* columns_;
    std::unique_ptr<CheckRun> check_;
    quint64 checksStarted_ = 0;
};

} // namespace tarn::database
