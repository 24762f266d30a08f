#pragma once
// The port scanner's main window: the mode buttons, the speed, "СТАРТ", "СТОП", "ОЧИСТКА", the progress
// bar and the coloured log. The scan itself is the PortScanner's.
#include "common/DataRoot.h"
#include "portscan/PortScanner.h"

#include <QMainWindow>

class QAction;
class QComboBox;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTextEdit;

namespace tarn::portscan {

class TfPortScan : public QMainWindow {
    Q_OBJECT
public:
    TfPortScan(PortScanner& scanner, ScanLog& log, DataRoot root, QWidget* parent = nullptr);

    // The components, by their names.
    QPushButton* kStart = nullptr;
    QPushButton* kStop = nullptr;
    QPushButton* sb_Clear = nullptr;
    QRadioButton* rModem = nullptr;
    QRadioButton* rCorr = nullptr;
    QRadioButton* rUSB_DTU = nullptr;
    QRadioButton* rbDTU_2MB = nullptr;
    QComboBox* cbFixedlSp = nullptr;
    QProgressBar* pBar_COM = nullptr;
    QTextEdit* winContr = nullptr;
    QAction* menuAbout = nullptr;
    QAction* menuExit = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void setCaptions();
    void modeClicked();
    void appendLine(const LogEntry& entry);

    PortScanner& scanner_;
    ScanLog& log_;
    DataRoot root_;
    bool shown_ = false;
};

} // namespace tarn::portscan
