#pragma once
// "Коэффициенты калибровки": the calibration curve of a metering complex. Until the permission check
// (CalibPermissionCheck) has granted calibration only "ВЫХОД" and the notice are shown; then the two
// point tables, the curve of the percentages and the menu. A click or a key in a table opens the cell
// editor TfEditZib. Everything else is the model's (CalibWindowModel).
#include "corrector/CoefficientWindows.h"

#include <QDialog>
#include <QWidget>
#include <functional>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QTableWidget;

namespace tarn::corrector {

// The cell editor: the text in the window-text colour while it is a number, red otherwise; Enter takes
// a number, Escape leaves the cell as it was. The range shown is a hint only.
class TfEditZib final : public QDialog {
    Q_OBJECT
public:
    TfEditZib(const QString& text, const QString& rangeHint, QWidget* parent = nullptr);
    QLineEdit* edit() const { return edit_; }
    QLabel* hint() const { return hint_; }
    QString text() const;
    bool textIsNumber() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showCheck();
    QLineEdit* edit_;
    QLabel* hint_;
};

// The graph "График коррекции работы счетчика": one curve per filling of the tables, each in the next
// colour of the list.
class CalibCurveView final : public QWidget {
    Q_OBJECT
public:
    explicit CalibCurveView(const CalibWindowModel& model, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {420, 240}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const CalibWindowModel& model_;
};

class TfZib final : public QDialog {
    Q_OBJECT
public:
    struct Options {
        QString reportFolder;
        bool serialOff = false; // no "ПАРОЛЬ" while the serial port is switched off
        std::function<QString(bool save, const QString& folder, const QString& filter, const QString& name)>
            chooseFile;
        // The cell editor (tests answer it): the accepted text, nothing when left with Escape.
        std::function<std::optional<QString>(const QString& text, const QString& hint)> editCell;
    };

    TfZib(CalibWindowModel& model, Options options, QWidget* parent = nullptr);
    ~TfZib() override;

    QTableWidget* pointsTable(int half) const { return points_[half]; }
    QLabel* noticeLabel() const { return notice_; }
    QWidget* panel() const { return panel_; }
    QLabel* firstLabel() const { return first_; }
    QLabel* secondLabel() const { return second_; }
    QLabel* waitPanel() const { return wait_; }
    QList<QAction*> guardedActions() const { return guarded_; }
    QAction* parametersAction() const { return parameters_; }
    QAction* writeAction() const { return write_; }
    QAction* readAction() const { return read_; }
    QAction* passwordAction() const { return password_; }
    QAction* openFileAction() const { return open_; }
    QAction* saveFileAction() const { return save_; }

    void refresh();
    // A cell of a point table: the editor, then the cell (and its partner column) as accepted.
    void editCell(int half, int row, int column);
    void openFile();
    void saveFileAs();
    void openPasswordWindow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void done(int result) override;

private:
    QString chooseFile(bool save, const QString& name);

    CalibWindowModel& model_;
    Options options_;
    QLabel* notice_;
    QWidget* panel_;
    QTableWidget* points_[2];
    CalibCurveView* curve_;
    QLabel* first_;
    QLabel* second_;
    QLabel* wait_;
    QAction* parameters_;
    QAction* write_;
    QAction* read_;
    QAction* password_;
    QMenu* fileMenu_;
    QAction* open_;
    QAction* save_;
    QList<QAction*> guarded_;
};

} // namespace tarn::corrector
