#pragma once
// Programming a corrector from a point's saved parameter file: the configurator's password, then the
// identification of the corrector on the line, then 38 item writes, each taking its value from the data
// loaded into the corrector window (or from the programming window's own fields). Every write the
// corrector accepts starts the step timer; on the timer the next step runs, or the sequence ends. A step
// the loaded model does not have sends nothing and only names itself. A refused or unanswered write
// leaves the sequence at its step until it is cancelled.
#include "common/Notifier.h"
#include "corrector/ItemTransfer.h"
#include "corrector/ModelProfile.h"
#include "corrector/OperationStart.h"
#include "link/ExchangeEngine.h"
#include "link/LineHold.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

namespace tarn::corrector {

class CorrectorWindowModel;

inline constexpr int kProgramSteps = 38; // steps 0..37
inline constexpr int kLastProgramStep = kProgramSteps - 1;
// The configurator password the programming window offers.
inline constexpr const char* kDefaultConfiguratorPassword = "5831";
inline constexpr int kConfiguratorSlot = 5; // the password window's slot of item 53

// The programming window's own fields.
struct ProgramFields {
    QString meterReading; // "Показания счетчика", m³
    QString totalVolume;  // "Vстд.ОБЩИЙ(м.куб)", m³
    QString date;         // "dd.MM.yyyy"
    QString time;         // "HH:mm"; seconds after it are not written
};

// The item step n writes; 0 beyond the table.
int programStepItem(int step);
// Step n is left out for the model (the model of the loaded data).
bool programStepSkipped(int step, const ModelProfile& profile);
// "==ПРОПУСК ПАР.== №" + n.
QString programSkipLabel(int step);
// trunc(value × factor), both decimal texts, computed without rounding (0.29 × 100 gives 29); nothing
// when either is not a number.
std::optional<qint64> truncatedProduct(const QString& value, const QString& factor);

// The two model families agree: series 2, meter coefficients and both calibration kinds.
bool sameCorrectorKind(const ModelProfile& a, const ModelProfile& b);

class ProgramFromFile final : public QObject {
    Q_OBJECT
public:
    enum class Phase {
        Idle,        // fields filled, "Запись" disabled
        Password,    // the configurator password is on its way
        Ready,       // access level 3: "Запись" enabled
        Identifying, // the identification window in its programming mode
        Writing,     // steps 0..37, one per accepted write
        Stalled,     // a write was refused, not answered or could not be encoded: until "Отмена"
        Mismatch,    // the corrector on the line is of another kind than the file's
        Done,        // "ПАРАМЕТРЫ ЗАПИСАНЫ!!!"
        Cancelled,
    };

    // data: the corrector window's model holding the loaded file; its link reaches the corrector on the
    // line (the password goes out through it). The item writes of the steps go out through their own
    // transfer on the engine, under the serial number of the loaded data.
    ProgramFromFile(CorrectorWindowModel& data, link::ExchangeEngine& engine, OperationStart& gate,
                    Notifier& notifier, QObject* parent = nullptr);
    ~ProgramFromFile() override;

    // The programming window's fields as they stand when a step needs them.
    std::function<ProgramFields()> fields;
    // Between an accepted write (or a skipped step) and the next step; negative: only tick() steps.
    int stepDelayMs = 250;

    // "Пароль": the configurator password (item 53) through the corrector window's password entry.
    bool sendPassword(const QString& password);
    bool passwordEnabled() const { return phase_ == Phase::Idle; }
    // "Запись" may be pressed: the configurator's access level is open and nothing runs.
    bool writeEnabled() const;
    // "Запись": the loaded model remembered, the corrector on the line identified, then step 0.
    bool startWriting();
    // "Отмена" and closing the window: nothing more is sent, the access level falls to none.
    void cancel();
    // The step timer: the next step, or the end after step 37.
    void tick();

    // The run holds the line while it identifies the corrector and writes its steps, so that a polling
    // group falling due waits for the whole run; a stalled, finished or cancelled run lets go.
    void setLineHold(link::LineHold* hold) { lineHold_ = hold; }
    bool holdingLine() const { return hold_.held(); }

    Phase phase() const { return phase_; }
    int step() const { return step_; }
    const QString& stepLabel() const { return label_; }
    // The loaded model remembered at "Запись".
    const ModelProfile& loadedProfile() const { return loaded_; }

signals:
    // The phase, the step label or the access level changed.
    void changed();
    void stepLabelChanged(const QString& label);
    // The sequence ended: true after "ПАРАМЕТРЫ ЗАПИСАНЫ!!!", false on a corrector of another kind.
    void finished(bool written);

private:
    link::LineHold* lineHold_ = nullptr;
    link::LineHold::Token hold_;
    void onIdentificationFinished(bool accepted);
    void onModelChanged();
    void runStep();
    bool sendStep(int item, const QByteArray& value, const QString& label);
    void stall(const QString& message = {});
    void setLabel(const QString& label);
    void setPhase(Phase phase);
    void restartTimer();
    int language() const;
    ProgramFields currentFields() const;

    CorrectorWindowModel& data_;
    link::ExchangeEngine& engine_;
    OperationStart& gate_;
    Notifier& notifier_;
    ItemTransfer writes_;
    QTimer timer_;
    Phase phase_ = Phase::Idle;
    int step_ = 0;
    bool writing_ = false;
    bool closeLevelPending_ = false; // closed while the password was on its way
    quint32 serial_ = 0;
    ModelProfile loaded_;
    QString label_;
};

} // namespace tarn::corrector
