#pragma once
// The group summary window: the selection of a group's hourly or daily records runs member by member on a
// short timer while the gauge counts the members; the interval table, the member status list and the
// member totals fill in, and the first ten members' tables on numbered tabs when they are asked for. The
// report's caller chooses the form of its listing here. "ПРОДОЛЖИТЬ" (shown once every member is taken)
// hands the tables on; "ОТМЕНА" stops after the step in hand.
#include "database/GroupFiles.h"
#include "polling/GroupReport.h"
#include "polling/GroupSummary.h"

#include <QDialog>
#include <QTimer>

class QCheckBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSplitter;
class QTabWidget;
class QTableWidget;

namespace tarn::polling {

class TfGroupSummary final : public QDialog {
    Q_OBJECT
public:
    TfGroupSummary(const DataRoot& root, database::Storage& storage, Notifier& notifier, int languageIndex,
                   QWidget* parent = nullptr);
    // The group looked for in groups (the run's) instead of root's Group folder.
    TfGroupSummary(const DataRoot& root, const database::GroupFiles& groups, database::Storage& storage,
                   Notifier& notifier, int languageIndex, QWidget* parent = nullptr);

    // Checks the request and lays the tables out; empty when the selection may start, else the refusal
    // (the window is then not to be shown).
    QString open(const SummaryRequest& request);
    // Runs the selection on the timer, a member a tick; the caller then shows the window.
    void start();
    void reject() override;

    GroupReportForm form() const;
    bool dayTotals() const;
    GroupReportTables tables() const { return GroupReportTables::of(summary_); }
    const GroupSummary& summary() const { return summary_; }

    QLineEdit* periodBeginField() const { return begin_; }
    QLineEdit* periodEndField() const { return end_; }
    QProgressBar* gauge() const { return gauge_; }
    QRadioButton* wholeGroupChoice() const { return whole_; }
    QRadioButton* breakdownChoice() const { return breakdown_; }
    QCheckBox* dayTotalsBox() const { return dayTotals_; }
    QTabWidget* tabs() const { return tabs_; }
    QTableWidget* statusTable() const { return statuses_; }
    QTableWidget* totalsTable() const { return totals_; }
    QPushButton* continueButton() const { return continue_; }
    QPushButton* cancelButton() const { return cancel_; }

    // One member a tick.
    int stepIntervalMs = 50;

private:
    TfGroupSummary(const DataRoot& root, GroupSummary summary, QWidget* parent);
    void tick();
    void showTables();
    void showChoices();
    void keepPanelSizes();

    DataRoot root_;
    GroupSummary summary_;
    bool reportCaller_ = true;
    QTimer timer_;

    QLineEdit* begin_;
    QLineEdit* end_;
    QProgressBar* gauge_;
    QRadioButton* whole_;
    QRadioButton* breakdown_;
    QCheckBox* dayTotals_;
    QTabWidget* tabs_;
    QTableWidget* intervals_;
    QList<QTableWidget*> memberTables_;
    QSplitter* split_;
    QTableWidget* statuses_;
    QTableWidget* totals_;
    QPushButton* continue_;
    QPushButton* cancel_;
};

} // namespace tarn::polling
