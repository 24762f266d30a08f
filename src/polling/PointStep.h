#pragma once
// The point machine's parts: each thing done with a point on the line (version, parameters, an archive,
// the clock, the gas parameters, the measurement, dialling, hanging up, storing) is a step with a start
// and an answer to its exchange's end. A step decides and reports; the run keeps the order, waits for the
// exchanges and fails the point when one does not come back. The line and the modem are seams, so each
// step is tried on its own against fakes.
#include "common/Clock.h"
#include "corrector/Archives.h"
#include "corrector/Blocks.h"
#include "database/Gases.h"
#include "database/Registry.h"
#include "database/Storing.h"
#include "polling/PointResult.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace tarn::polling {

// The corrector on the line as the steps see it. Each request starts one exchange and answers false when
// it could not even start; the run waits for the exchange's end and tells the step.
class PointLine {
public:
    virtual ~PointLine() = default;
    virtual bool portBroken() const = 0;
    // The version control: the corrector proves itself by its identification.
    virtual bool identify() = 0;
    // The version block, the identification just proved taken into the reading first.
    virtual bool readVersionBlock() = 0;
    virtual bool readParameters() = 0;
    virtual bool readClock() = 0;
    virtual bool readMeasurement() = 0;
    virtual bool readWholeArchive(int kind) = 0;
    // append: the pages join those read before (the stored record's page).
    virtual bool readArchivePages(int kind, int firstPage, int pageCount, bool append) = 0;
    virtual bool enterPassword(const QString& password) = 0;
    virtual bool writeItem(int item, const QString& value) = 0;

    // What the corrector has answered so far.
    struct Identity {
        QString identifier; // as the registry would name it
        QString model;
        QString serial;
    };
    virtual Identity answeredIdentity() const = 0;
    virtual std::optional<corrector::ArchiveGeometry> archiveGeometry(int kind) const = 0;
    // The corrector's newest record of the kind, as its parameters say.
    virtual int newestRecord(int kind) const = 0;
    // The time of the record of that number among those read of the kind; nothing when none was read.
    virtual std::optional<QDateTime> recordStamp(int kind, int number) const = 0;
    virtual std::optional<corrector::ClockBlock> clock() const = 0;
    virtual QString itemText(int item) const = 0;
};

// The modem of a telephone point.
struct ModemCall {
    QString phone;
    QString init;
    int dialTimeoutSec = 1;
    QString name;
};
class PointModem {
public:
    virtual ~PointModem() = default;
    virtual void call(const ModemCall& call) = 0;
    virtual void hangUp() = 0;
    virtual bool busy() const = 0;
    virtual bool connected() const = 0;
    // Our own modem did not answer: nothing can be dialled at all.
    virtual bool dispatcherSilent() const = 0;
};

// What a point has come to: the marks, times and texts its store, its request log and its summary are
// made from. Cleared at each point's start.
struct PointProgress {
    bool dataRead = false;          // the corrector answered the version control
    bool identityConfirmed = false; // it proved to be the point and an item was started
    bool gasWritten = false;
    bool clockCorrected = false;
    int clockCorrection = 0; // minutes
    bool measured = false;
    QList<int> kindsRead;
    QString error; // the request log's error text
    int connectionSeconds = 0;
    database::StoreContext::PollLog log;
};

// What a step works with: the point, the line, the run's time and message window.
struct StepContext {
    PointLine* line = nullptr;
    PointModem* modem = nullptr; // telephone points only
    const database::Point* point = nullptr;
    QString identifier; // the point's, as its list line names it
    QString pointName;  // as the console shows it
    const database::LastStoredSummary* lastStored = nullptr;
    bool additionalRecordCheck = false;
    bool stopRequested = false;
    Clock* clock = nullptr;
    std::function<void(const QString& text, LineColour colour)> say;
    std::function<std::optional<database::GasComposition>(const QString& name)> gasNamed;
    // What the console shows of the step changed (the redial counter, waiting for the connection).
    std::function<void()> changed;
    PointProgress progress;

    QDateTime now() const { return clock->now(); }
    QString config(int field) const { return point->config[field]; }
    void tell(const QString& text, LineColour colour = LineColour::Black) const {
        if (say) say(text, colour);
    }
    // The point fails with that error text (the first one given stays).
    void failWith(const QString& text) {
        if (progress.error.isEmpty()) progress.error = text;
    }
};

enum class StepStatus {
    Exchange, // an exchange is on the line: exchangeDone() when it has ended well
    Waiting,  // nothing on the line to wait for: poll() again on the next turn
    Done,
    Failed, // the progress's error says why (empty: no link with the corrector)
};

class PointStep {
public:
    virtual ~PointStep() = default;
    virtual StepStatus start(StepContext& context) = 0;
    virtual StepStatus exchangeDone(StepContext& context) {
        (void)context;
        return StepStatus::Done;
    }
    virtual StepStatus poll(StepContext& context) {
        (void)context;
        return StepStatus::Done;
    }

protected:
    // A request's start: in flight, or the point has no link with the corrector.
    static StepStatus awaiting(bool started) { return started ? StepStatus::Exchange : StepStatus::Failed; }
    static StepStatus failed(StepContext& context, const QString& error) {
        context.failWith(error);
        return StepStatus::Failed;
    }
};

} // namespace tarn::polling
