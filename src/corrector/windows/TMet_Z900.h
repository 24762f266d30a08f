#pragma once
// "Коэффициенты  счетчика Z-900": the meter constants and the viscosity curve of a meter-coefficient
// corrector, read, edited, written and kept in "*.whi" files. The window shows the model's cells and
// hands every action to it (MeterCoefWindowModel).
#include "corrector/CoefficientWindows.h"

#include <QDialog>
#include <functional>

class QAction;
class QLabel;
class QMenu;
class QTableWidget;

namespace tarn::corrector {

class TMet_Z900 final : public QDialog {
    Q_OBJECT
public:
    struct Options {
        QString reportFolder;   // where the file dialogs start
        int serviceLevel = 0;   // "ФАЙЛ" is offered at service level 5 only
        bool serialOff = false; // the link settings switch the serial port off: no "ПАРОЛЬ"
        int fillDelayMs = 100;  // the cells are filled this long after the window opens
        // The file dialogs (tests answer them): save or open, folder, filter, proposed name.
        std::function<QString(bool save, const QString& folder, const QString& filter, const QString& name)>
            chooseFile;
    };

    TMet_Z900(MeterCoefWindowModel& model, Options options, QWidget* parent = nullptr);

    QTableWidget* constantsTable() const { return constants_; }
    // Points 1..7 and 8..14.
    QTableWidget* pointsTable(int half) const { return points_[half]; }
    QLabel* statusLabel() const { return status_; }
    QLabel* waitPanel() const { return wait_; }
    QAction* writeAction() const { return write_; }
    QAction* readAction() const { return read_; }
    QAction* passwordAction() const { return password_; }
    QMenu* fileMenu() const { return fileMenu_; }
    QAction* openFileAction() const { return open_; }
    QAction* saveFileAction() const { return save_; }

    void refresh();
    void openFile();
    void saveFileAs();

private:
    void cellEdited(QTableWidget* table, int row, int column);
    QString chooseFile(bool save, const QString& name);

    MeterCoefWindowModel& model_;
    Options options_;
    QTableWidget* constants_;
    QTableWidget* points_[2];
    QLabel* status_;
    QLabel* wait_;
    QAction* write_;
    QAction* read_;
    QAction* password_;
    QMenu* fileMenu_;
    QAction* open_;
    QAction* save_;
    bool refreshing_ = false;
};

} // namespace tarn::corrector
