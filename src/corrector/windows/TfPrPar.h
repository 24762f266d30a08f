#pragma once
// "Программирование парам.  из ранее сохраненного файла": the point's saved parameter file loaded into
// the corrector window (chosen in the registry panel while the database is in use), the configurator
// password, then the write of the whole file to the corrector on the line (ProgramFromFile).
#include "common/DataRoot.h"
#include "common/Notifier.h"
#include "corrector/ProgramFromFile.h"
#include "database/Registry.h"
#include "database/Schema.h"

#include <QDialog>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace tarn::corrector {

class TCorrect;

class TfPrPar final : public QDialog {
    Q_OBJECT
public:
    struct Options {
        DataRoot root;
        // The registry panel, from the run's storage; nullptr while the database is not in use.
        database::Storage* storage = nullptr;
        int language = 1;
        // The application's line hold: the run holds the line while it writes.
        link::LineHold* lineHold = nullptr;
    };

    TfPrPar(CorrectorWindowModel& data, link::ExchangeEngine& engine, OperationStart& gate,
            Notifier& notifier, Options options, QWidget* parent = nullptr);
    ~TfPrPar() override;

    ProgramFromFile& program() { return *program_; }
    // The opening step (50 ms after the window opens): the registry panel and the fields.
    void prepare();
    // Any change of the filter: the query again, the first row's file loaded.
    void applyFilter();
    // The record navigator: the row's file loaded.
    void moveTo(int row);
    int currentRow() const { return row_; }
    const QList<database::Point>& rows() const { return rows_; }

    QLineEdit* meterReadingEdit() const { return meterReading_; }
    QLineEdit* totalVolumeEdit() const { return totalVolume_; }
    QLineEdit* passwordEdit() const { return password_; }
    QLineEdit* dateEdit() const { return date_; }
    QLineEdit* timeEdit() const { return time_; }
    QPushButton* passwordButton() const { return passwordButton_; }
    QPushButton* writeButton() const { return writeButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QLabel* stepLabel() const { return stepLabel_; }
    QGroupBox* registryPanel() const { return registryPanel_; }
    QCheckBox* typeBox() const { return typeBox_; }
    QComboBox* typeList() const { return typeList_; }
    QCheckBox* serialBox() const { return serialBox_; }
    QLineEdit* serialEdit() const { return serialEdit_; }

    // "Отмена" and closing: nothing more is written, the access level falls to none.
    void reject() override;

private:
    void refreshButtons();
    void loadRow();
    void fillFields();
    void showRow();

    CorrectorWindowModel& data_;
    Notifier& notifier_;
    Options options_;
    std::unique_ptr<ProgramFromFile> program_;
    std::unique_ptr<database::Registry> registry_;
    QList<database::Point> rows_;
    int row_ = -1;
    bool filling_ = false;

    QLineEdit* meterReading_;
    QLineEdit* totalVolume_;
    QLineEdit* password_;
    QLineEdit* date_;
    QLineEdit* time_;
    QPushButton* passwordButton_;
    QPushButton* writeButton_;
    QPushButton* cancelButton_;
    QLabel* stepLabel_;
    QGroupBox* registryPanel_;
    QCheckBox* typeBox_;
    QComboBox* typeList_;
    QCheckBox* serialBox_;
    QLineEdit* serialEdit_;
    QLineEdit* rowType_;
    QLineEdit* rowSerial_;
    QTimer* clock_;
};

// "ЗАПИСЬ ПРОГРАММИРУЕМЫХ ПАРАМЕТРОВ" of the corrector window: shown at service level 5 only, it opens
// the programming window over the corrector window's model.
void connectProgramFromFile(TCorrect& window, CorrectorWindowModel& data, link::ExchangeEngine& engine,
                            OperationStart& gate, Notifier& notifier, TfPrPar::Options options,
                            int serviceLevel);

} // namespace tarn::corrector
