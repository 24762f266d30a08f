#pragma once
// The steps of a point once its line is up: the version control, the parameters with the check that the
// corrector is the point, then the items its flags ask for (each archive from the stored last record on,
// the clock, the gas parameters, the measurement).
#include "polling/PointStep.h"
#include "polling/PollItem.h"

#include <array>

namespace tarn::polling {

// The corrector proves itself, then its version block names its family.
class VersionStep final : public PointStep {
public:
    StepStatus start(StepContext& context) override;
    StepStatus exchangeDone(StepContext& context) override;

private:
    bool versionBlockAsked_ = false;
};

// The parameters; a corrector that is not the point ends the point there.
class ParametersStep final : public PointStep {
public:
    StepStatus start(StepContext& context) override;
    StepStatus exchangeDone(StepContext& context) override;
};

// One archive item: nothing when the stored last record is the corrector's newest, else the stored
// record's page first and, when it still holds that record, the pages after it; the whole archive when
// nothing is stored or the record is gone (the archive was cleared or went round past it).
class ArchiveStep final : public PointStep {
public:
    explicit ArchiveStep(PollItem item) : item_(item) {}
    StepStatus start(StepContext& context) override;
    StepStatus exchangeDone(StepContext& context) override;
    // A page of this archive came in: the message window counts it.
    void pageRead(StepContext& context);

private:
    enum class Phase { Planning, CheckingStoredRecord, Reading };
    StepStatus readWhole(StepContext& context);
    int kind() const;

    PollItem item_;
    Phase phase_ = Phase::Planning;
    int storedNumber_ = -1;
    int correctorNumber_ = -1;
    int storedPage_ = 0;
    int pagesRead_ = 0;
};

// The corrector's clock against the computer's: a correction of the difference (within the corrector's
// limits) under the point's password, the parameters read again after it.
class ClockStep final : public PointStep {
public:
    StepStatus start(StepContext& context) override;
    StepStatus exchangeDone(StepContext& context) override;

private:
    enum class Phase { ReadingClock, EnteringPassword, WritingCorrection, Rereading };
    StepStatus compare(StepContext& context);
    Phase phase_ = Phase::ReadingClock;
};

// The point's gas (density, CO2, N2 from the gas table) into the corrector under the point's password,
// each value only when the corrector's differs; the parameters read again after them.
class GasStep final : public PointStep {
public:
    StepStatus start(StepContext& context) override;
    StepStatus exchangeDone(StepContext& context) override;

private:
    enum class Phase { Writing, Rereading };
    Phase phase_ = Phase::Writing;
    std::array<QString, 3> values_;
    int next_ = 0;
};

// The instantaneous values.
class MeasurementStep final : public PointStep {
public:
    StepStatus start(StepContext& context) override;
    StepStatus exchangeDone(StepContext& context) override;
};

} // namespace tarn::polling
