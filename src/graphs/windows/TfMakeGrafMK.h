#pragma once
// "Графики корректора": the point (a navigator through the registry), the period, the archive and the
// parameters ticked. "Просмотр" (or Enter in the pickers or the list) opens the graph window, "Настройка..."
// the style dialog, a right click on the list the colour dialog; "Выход" or Escape closes. The period is
// read from Current\graph.000 on opening and written there on closing.
#include "common/Notifier.h"
#include "database/Registry.h"
#include "graphs/GraphTables.h"
#include "graphs/windows/GraphDialogParts.h"

#include <QDialog>
#include <functional>

class QComboBox;
class QDateEdit;
class QLabel;
class QListWidget;
class QPushButton;
class QTimeEdit;

namespace tarn::graphs {

class TfGraf;

class TfMakeGrafMK final : public QDialog {
    Q_OBJECT
public:
    struct Input {
        DataRoot root;
        database::Storage* storage = nullptr; // the run's; without it there is no database to draw from
        int language = 2;
        QString identifier; // the point shown first (else the registry's first)
        GraphArchive archive = GraphArchive::Hourly;
        // Runs the graph window (modal by default); tests look at it instead.
        std::function<void(TfGraf& window)> runGraph;
    };
    TfMakeGrafMK(Input input, Notifier& notifier, QWidget* parent = nullptr);

    // "Просмотр": false when refused ("Не выбран график!", "В БД нет данных!").
    bool view();
    void setArchive(GraphArchive archive);
    GraphArchive archive() const;
    // Ticks the parameters (indices of the archive's list) and unticks the rest.
    void tick(const QList<int>& indices);
    QList<int> ticked() const;
    void setPeriod(const QDateTime& begin, const QDateTime& end);
    QDateTime begin() const;
    QDateTime end() const;
    bool selectPoint(const QString& identifier);
    const database::Point* point() const;

    QListWidget* parameterList() const { return parameters_; }
    QComboBox* archiveChoice() const { return archive_; }
    QLabel* pointLabel() const { return pointLabel_; }

protected:
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillParameters();
    void showPoint();

    Input in_;
    Notifier& notifier_;
    QList<database::Point> points_;
    int current_ = -1;
    QLabel* pointLabel_;
    PeriodFields period() const;
    QDateEdit* beginDate_;
    QTimeEdit* beginTime_;
    QDateEdit* endDate_;
    QTimeEdit* endTime_;
    QComboBox* archive_;
    QListWidget* parameters_;
};

// The period pickers' range.
QDate firstGraphDate();
QDate lastGraphDate();

} // namespace tarn::graphs
