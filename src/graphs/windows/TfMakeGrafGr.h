#pragma once
// "Графики группы": the group, the period, the hourly or daily archive and the six group parameters.
// "Просмотр" runs the group summary window for the group and the period and, once it hands its tables
// on, opens the graph window over the interval table. The period is shared with the corrector graph
// dialog (Current\graph.000).
#include "common/Notifier.h"
#include "database/GroupFiles.h"
#include "database/Storage.h"
#include "graphs/GraphPicture.h"
#include "graphs/windows/GraphDialogParts.h"
#include "polling/GroupSummary.h"

#include <QDialog>
#include <functional>

class QComboBox;
class QDateEdit;
class QListWidget;
class QRadioButton;
class QTimeEdit;

namespace tarn::graphs {

class TfGraf;

class TfMakeGrafGr final : public QDialog {
    Q_OBJECT
public:
    struct Input {
        DataRoot root;
        database::Storage* storage = nullptr; // the run's; without it there is no database to draw from
        const database::GroupFiles* groups = nullptr; // the run's polling groups; none: root's Group folder
        int language = 2;
        QString groupName; // preset (the database window's or the report window's group)
        // Run the summary window and the graph window (modal by default); tests drive them instead.
        std::function<bool(QDialog& summary)> runSummary;
        std::function<void(TfGraf& window)> runGraph;
    };
    TfMakeGrafGr(Input input, Notifier& notifier, QWidget* parent = nullptr);

    bool view();
    void setGroup(const QString& name);
    QString group() const;
    void setHourly(bool hourly);
    void tick(const QList<int>& indices);
    QList<int> ticked() const;
    void setPeriod(const QDateTime& begin, const QDateTime& end);
    QDateTime begin() const;
    QDateTime end() const;

    QComboBox* groupChoice() const { return group_; }
    QListWidget* parameterList() const { return parameters_; }

protected:
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Input in_;
    // The groups when the input names none: the installation's Group folder.
    database::FolderGroupFiles folderGroups_{in_.root};
    const database::GroupFiles& groupFiles() const { return in_.groups ? *in_.groups : folderGroups_; }
    Notifier& notifier_;
    QComboBox* group_;
    PeriodFields period() const;
    QDateEdit* beginDate_;
    QTimeEdit* beginTime_;
    QDateEdit* endDate_;
    QTimeEdit* endTime_;
    QRadioButton* hourly_;
    QRadioButton* daily_;
    QListWidget* parameters_;
};

} // namespace tarn::graphs
