#pragma once
// The console's windows over a point's and a group's storing: the last-records window (when each of the
// point's tables last received a row, in the database and in the corrector) and the group member list
// "Перечень группы..." (each member's last storing, a lagging member in red), both saved as text files.
#include "common/BackgroundRun.h"
#include "common/Notifier.h"
#include "polling/LastRecords.h"

#include <QDialog>
#include <functional>

class QLabel;
class QListWidget;
class QProgressBar;
class QTableWidget;
class QAction;

namespace tarn::polling {

// Where the save dialogs come from; tests put in their own.
using AskSavePath = std::function<QString(const QString& folder, const QString& proposed)>;

// A text file saved as the console's windows save it: whatever follows the first "." of the chosen name
// becomes ".txt"; an existing file is asked about; "ФАЙЛ "<path>" ЗАПИСАН" when written.
bool saveTextFile(const QString& chosen, const QStringList& lines, Notifier& notifier);

class TfLastRec final : public QDialog {
    Q_OBJECT
public:
    TfLastRec(const DataRoot& root, Notifier& notifier, QWidget* parent = nullptr);
    // The point's last records; false ("В БД нет данных!!!" told) when it is not registered.
    bool showPoint(database::Storage& storage, const QString& identifier);
    // "Сохранить во внешнем файле *.txt".
    bool save();

    QTableWidget* grid() const { return grid_; }
    AskSavePath askSavePath;

private:
    DataRoot root_;
    Notifier& notifier_;
    QString identifier_;
    LastRecordsView view_;
    QTableWidget* grid_;
};

class TfGroupList final : public QDialog {
    Q_OBJECT
public:
    TfGroupList(const DataRoot& root, Notifier& notifier, QWidget* parent = nullptr);
    // Starts both passes over the group's members on a worker ("Выход" stops them); the list is shown
    // when they have ended (`groupShown`). The worker opens the tables it reads itself, as a table serves
    // only the thread that opened it; storage must outlive the run.
    void showGroup(database::Storage& storage, const Group& group);
    bool building() const { return run_.running(); }
    BackgroundRun& run() { return run_; }
    // A line clicked: its point chosen in the console; false ("Не выбран прибор!!!") for a line without one.
    bool chooseLine(int row);
    bool save();

    QListWidget* lines() const { return lines_; }
    QAction* pollAction() const { return poll_; }
    QAction* lastRecordsAction() const { return lastRecords_; }
    const QString& chosenIdentifier() const { return chosen_; }

    AskSavePath askSavePath;
    // The console's part: select the point (model and serial number), poll the selected point, show the
    // last records of a point.
    std::function<bool(const QString& model, const QString& serial)> selectPoint;
    std::function<void()> pollSelected;
    std::function<void(const QString& identifier)> showLastRecords;
    // The console's point menu at a screen position ("Занято !!!" while polling runs).
    std::function<void(const QPoint& at)> showPointMenu;

signals:
    void groupShown();

private:
    void showBuiltList();

    DataRoot root_;
    Notifier& notifier_;
    GroupMemberList list_;
    QString groupName_;
    QString chosen_;
    bool stopped_ = false;
    QLabel* banner_;
    QListWidget* lines_;
    QProgressBar* gauge_;
    QAction* poll_;
    QAction* lastRecords_;
    GroupMemberList built_; // the worker's, taken when the passes have ended
    // Last: it goes first, so passes still going end before the members they write to.
    BackgroundRun run_;
};

} // namespace tarn::polling
