#include "polling/ItemSteps.h"
#include "polling/TextCells.h"

#include "corrector/ReadQueue.h"
#include "polling/PointSteps.h"
#include "polling/PollPlanner.h"

namespace tarn::polling {

namespace {

// The corrector's item that takes a clock correction in minutes, and its gas items (density, CO2, N2).
constexpr int kClockCorrectionItem = 18;
constexpr int kFirstGasItem = 1;

QString passwordOf(const StepContext& context) {
    return context.config(database::config::Password).trimmed();
}

// The clock and the gas item write under the point's password: without one they cannot be done at all.
bool refusedWithoutPassword(StepContext& context) {
    if (!passwordOf(context).isEmpty()) return false;
    context.tell(QStringLiteral("нет пароля для коррекции параметров!!! "), LineColour::Red);
    context.failWith(QStringLiteral("нет пароля для коррекц. парам."));
    return true;
}

} // namespace

// --- version and parameters ----------------------------------------------------------------------------

StepStatus VersionStep::start(StepContext& context) {
    if (context.line->portBroken())
        return failed(context, QStringLiteral("ошибка порта!!! ") + context.config(database::config::Port));
    context.tell(QStringLiteral("начало опроса  - > ") + quoted(context.pointName));
    context.tell(QStringLiteral("контроль версии"));
    return awaiting(context.line->identify());
}

StepStatus VersionStep::exchangeDone(StepContext& context) {
    if (versionBlockAsked_) return StepStatus::Done;
    context.progress.dataRead = true;
    versionBlockAsked_ = true;
    return awaiting(context.line->readVersionBlock());
}

StepStatus ParametersStep::start(StepContext& context) {
    context.tell(QStringLiteral("параметры прибора"));
    return awaiting(context.line->readParameters());
}

StepStatus ParametersStep::exchangeDone(StepContext& context) {
    const PointLine::Identity answered = context.line->answeredIdentity();
    if (answered.identifier == context.identifier) return StepStatus::Done;
    context.tell(QStringLiteral("Err: номер корр. в БД ") + quoted(context.pointName) +
                     QStringLiteral(" чт. ") +
                     quoted(answered.model + QStringLiteral(" №") + answered.serial),
                 LineColour::Red);
    return failed(context, QStringLiteral("ном.выз.прибора не равен ном.в БД"));
}

// --- archives ------------------------------------------------------------------------------------------

int ArchiveStep::kind() const {
    return archiveKindOfItem(item_);
}

StepStatus ArchiveStep::readWhole(StepContext& context) {
    context.tell(QStringLiteral("читать весь архив"));
    phase_ = Phase::Reading;
    return awaiting(context.line->readWholeArchive(kind()));
}

StepStatus ArchiveStep::start(StepContext& context) {
    pagesRead_ = 0;
    context.tell(QStringLiteral("старт - ") + quoted(itemName(item_)));
    const database::LastStored& stored = (*context.lastStored)[lastStoredIndexOfItem(item_)];
    correctorNumber_ = context.line->newestRecord(kind());
    storedNumber_ = stored.identifier.isEmpty() ? -1 : stored.number.toInt();
    const ArchiveStart plan = planArchiveStart(context.line->archiveGeometry(kind()), storedNumber_,
                                               correctorNumber_, context.additionalRecordCheck);
    switch (plan.read) {
    case ArchiveStart::Read::Whole:
        return readWhole(context);
    case ArchiveStart::Read::Nothing:
        context.tell(QStringLiteral("номера записей в БД и приборе равны"));
        return StepStatus::Done;
    case ArchiveStart::Read::StoredRecordPage:
        break;
    }
    storedPage_ = plan.storedPage;
    context.tell(QStringLiteral("контроль последней записи БД"));
    phase_ = Phase::CheckingStoredRecord;
    return awaiting(context.line->readArchivePages(kind(), storedPage_, 1, false));
}

StepStatus ArchiveStep::exchangeDone(StepContext& context) {
    if (phase_ == Phase::Reading) {
        context.progress.kindsRead.append(kind());
        return StepStatus::Done;
    }
    const database::LastStored& stored = (*context.lastStored)[lastStoredIndexOfItem(item_)];
    const std::optional<QDateTime> stamp = context.line->recordStamp(kind(), storedNumber_);
    const bool sameRecord = stamp && *stamp == stored.stamp;
    const ArchiveFollowUp plan = planArchiveFollowUp(*context.line->archiveGeometry(kind()), sameRecord,
                                                     storedNumber_, correctorNumber_, storedPage_);
    if (plan.read == ArchiveFollowUp::Read::Whole) return readWhole(context);
    context.tell(plan.recordsEqual ? QStringLiteral("доп. контр. записей БД")
                                   : QStringLiteral("выборочное чтение архива"));
    if (plan.read == ArchiveFollowUp::Read::Nothing) {
        context.progress.kindsRead.append(kind());
        return StepStatus::Done;
    }
    phase_ = Phase::Reading;
    return awaiting(context.line->readArchivePages(kind(), plan.firstPage, plan.pageCount, true));
}

void ArchiveStep::pageRead(StepContext& context) {
    if (phase_ == Phase::Planning) return;
    context.tell(QStringLiteral("чт. ") + itemFixedName(item_) + QStringLiteral(" бл. №") +
                 QString::number(++pagesRead_));
}

// --- the clock -----------------------------------------------------------------------------------------

StepStatus ClockStep::start(StepContext& context) {
    context.tell(QStringLiteral("коррекция текущего времени"));
    if (refusedWithoutPassword(context)) return StepStatus::Failed;
    context.tell(QStringLiteral("коррекция времени - чт.текущ.время корректора"));
    phase_ = Phase::ReadingClock;
    return awaiting(context.line->readClock());
}

StepStatus ClockStep::compare(StepContext& context) {
    const std::optional<corrector::ClockBlock> clock = context.line->clock();
    const QDateTime computer = context.now();
    const QDateTime corrector =
        clock ? QDateTime(QDate(clock->year, clock->month, clock->day), QTime(clock->hour, clock->minute))
              : QDateTime();
    const QString texts = computer.toString(QStringLiteral("dd.MM.yyyy HH:mm")) +
                          QStringLiteral("/ в коррект. ") +
                          (clock ? clock->dateText + QLatin1Char(' ') + clock->timeText : QString());
    const ClockVerdict verdict = checkClock(computer, corrector);
    context.progress.log.clockChecked = computer;
    if (verdict.wrongDate) {
        context.tell(QStringLiteral("ошибка даты - в комп. :") + texts, LineColour::Red);
        return failed(context, QStringLiteral("даты в комп.и приборе не равны"));
    }
    context.tell(QStringLiteral("даты - в комп. :") + texts);
    if (verdict.correction == 0) return StepStatus::Done;
    context.progress.clockCorrection = verdict.correction;
    context.tell(QStringLiteral("коррекция времени - ввод пароля"));
    phase_ = Phase::EnteringPassword;
    return awaiting(context.line->enterPassword(passwordOf(context)));
}

StepStatus ClockStep::exchangeDone(StepContext& context) {
    switch (phase_) {
    case Phase::ReadingClock:
        return compare(context);
    case Phase::EnteringPassword:
        context.tell(QStringLiteral("коррекция времени - зап. коррекции времени"));
        phase_ = Phase::WritingCorrection;
        return awaiting(
            context.line->writeItem(kClockCorrectionItem, QString::number(context.progress.clockCorrection)));
    case Phase::WritingCorrection:
        context.progress.clockCorrected = true;
        context.progress.log.clockChecked = context.now();
        context.tell(QStringLiteral("параметры прибора"));
        phase_ = Phase::Rereading;
        return awaiting(context.line->readParameters());
    case Phase::Rereading:
        break;
    }
    return StepStatus::Done;
}

// --- the gas parameters --------------------------------------------------------------------------------

StepStatus GasStep::start(StepContext& context) {
    context.tell(QStringLiteral("запись параметров газа"));
    if (refusedWithoutPassword(context)) return StepStatus::Failed;
    const QString name = context.config(database::config::Gas).trimmed();
    if (name.isEmpty()) return failed(context, QStringLiteral("нет параметров газа"));
    const std::optional<database::GasComposition> gas =
        context.gasNamed ? context.gasNamed(name) : std::nullopt;
    if (!gas) {
        const QString missing = QStringLiteral("в БД нет данных для записи парам. газа");
        context.tell(missing, LineColour::Red);
        return failed(context, missing);
    }
    values_ = {gas->density, gas->co2, gas->n2};
    const auto itemText = [&context](int item) { return context.line->itemText(item); };
    if (nextGasValueToWrite(values_, itemText, 0) >= 3) {
        context.tell(QStringLiteral("параметры газа равны!!! "));
        context.progress.gasWritten = true;
        context.progress.log.gasChecked = context.now();
        return StepStatus::Done;
    }
    context.tell(QStringLiteral("параметры газа - ввод пароля"));
    next_ = 0;
    phase_ = Phase::Writing;
    return awaiting(context.line->enterPassword(passwordOf(context)));
}

StepStatus GasStep::exchangeDone(StepContext& context) {
    static const char* const kWrites[] = {"зап. плотность", "зап. концентрация CO2", "зап. концентрация N2"};
    if (phase_ == Phase::Rereading) {
        context.progress.log.gasChecked = context.now();
        context.progress.gasWritten = true;
        return StepStatus::Done;
    }
    const auto itemText = [&context](int item) { return context.line->itemText(item); };
    next_ = nextGasValueToWrite(values_, itemText, next_);
    if (next_ >= 3) {
        context.tell(QStringLiteral("параметры прибора"));
        phase_ = Phase::Rereading;
        return awaiting(context.line->readParameters());
    }
    const int n = next_++;
    context.tell(QStringLiteral("параметры газа - ") + QString::fromUtf8(kWrites[n]));
    return awaiting(context.line->writeItem(kFirstGasItem + n, values_[n]));
}

// --- the measurement -----------------------------------------------------------------------------------

StepStatus MeasurementStep::start(StepContext& context) {
    context.tell(QStringLiteral("мгновенные"));
    return awaiting(context.line->readMeasurement());
}

StepStatus MeasurementStep::exchangeDone(StepContext& context) {
    context.progress.measured = true;
    context.progress.kindsRead.append(corrector::read_kind::Measurement);
    return StepStatus::Done;
}

} // namespace tarn::polling
