#pragma once
// "ДТУ-1-16": the transfer unit's window. It shows the zones of the last read (or the unit's answer to
// "СОСТОЯНИЕ"), reads chosen zones, tests and erases the unit, and loads a zone's copy into the corrector
// window, from where it is stored as a reading by the transfer unit.
#include "transfer/UnitSession.h"

#include <QDialog>
#include <array>
#include <functional>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace tarn::corrector {
class CorrectorWindowModel;
}

namespace tarn::transfer {

class TDtu_8_16 final : public QDialog {
    Q_OBJECT
public:
    struct Options {
        DataRoot root;
        int language = 1;
        bool commandsShown = true; // the port exists: the unit's four commands are offered
        bool debugging = false;    // the link's debugging option: the debugger's fields
    };
    // A zone loaded whole: its archives into the database as a reading by the transfer unit.
    using Store = std::function<void(const QList<int>& kindsRead)>;

    TDtu_8_16(TransferUnitSession& session, corrector::CorrectorWindowModel& corrector, Notifier& notifier,
              Options options, Store store, QWidget* parent = nullptr);

    // Zone button n (1-based): the zone's copy into the corrector window; the window closes 100 ms after
    // a complete load has been stored.
    bool loadZone(int zone);
    // The menu's commands.
    void askState();
    void readZones();
    void runTest();
    void runErase();

    QAction* stateAction() const { return state_; }
    QAction* readAction() const { return read_; }
    QAction* testAction() const { return test_; }
    QAction* eraseAction() const { return erase_; }
    QSpinBox* firstZoneBox() const { return firstZone_; }
    QSpinBox* lastZoneBox() const { return lastZone_; }
    QPushButton* zoneButton(int zone) const { return zoneButtons_.at(zone - 1); }
    QLineEdit* zoneText(int zone) const { return zoneTexts_.at(zone - 1); }
    QLineEdit* versionField() const { return version_; }
    QGroupBox* errorGroup() const { return errors_; }
    QPushButton* stopButton() const { return stop_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showZones();
    void showErrors();
    void setBusy(bool busy);

    TransferUnitSession& session_;
    corrector::CorrectorWindowModel& corrector_;
    Notifier& notifier_;
    Options options_;
    Store store_;
    QAction* state_ = nullptr;
    QAction* read_ = nullptr;
    QAction* test_ = nullptr;
    QAction* erase_ = nullptr;
    QSpinBox* firstZone_ = nullptr;
    QSpinBox* lastZone_ = nullptr;
    QLineEdit* version_ = nullptr;
    std::array<QPushButton*, kMaxZones> zoneButtons_{};
    std::array<QLineEdit*, kMaxZones> zoneTexts_{};
    QLabel* panel_ = nullptr;
    QProgressBar* gauge_ = nullptr;
    QPushButton* stop_ = nullptr;
    QGroupBox* errors_ = nullptr;
    QPlainTextEdit* errorLines_ = nullptr;
    QGroupBox* debugger_ = nullptr;
    QSpinBox* blockCount_ = nullptr;
    QSpinBox* firstBlock_ = nullptr;
    QSpinBox* synchronisation_ = nullptr;
    QLineEdit* statusDump_ = nullptr;
};

} // namespace tarn::transfer
