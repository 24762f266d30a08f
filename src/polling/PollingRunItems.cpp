// The items of a point once the corrector has proved to be the point: archives from the stored last
// record on, the clock and the gas parameters with the point's password, the measurement.
#include "polling/PollingRun.h"

#include "corrector/Blocks.h"
#include "corrector/CorrectorWindowModel.h"
#include "corrector/ItemTable.h"
#include "corrector/StoreReading.h"

namespace tarn::polling {

namespace {

constexpr int kPasswordSlot = 0; // the point's password is operator A's

QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

void PollingRun::dispatchItem(int from) {
    const int next = nextItemOfFlags(flags_, from);
    if (next < 0) {
        step_ = Step::Done;
        return;
    }
    identityConfirmed_ = true;
    item_ = next;
    passwordSent_ = false;
    if (archiveKindOfItem(next) != 0) {
        startArchiveItem(next);
    } else if (next == item::Gas) {
        step_ = Step::GasStart;
    } else if (next == item::Clock) {
        step_ = Step::ClockRead;
    } else {
        exchange_ = Exchange::None;
        step_ = Step::MeasurementRead;
    }
}

void PollingRun::startArchiveItem(int n) {
    blocksRead_ = 0;
    say(QStringLiteral("старт - ") + quoted(itemName(n)));
    const int kind = archiveKindOfItem(n);
    auto& model = session_->model();
    const auto geometry = corrector::archiveGeometry(kind, model.reading().profile);
    const database::LastStored& stored = lastStored_[lastStoredIndexOfItem(n)];
    archiveCorrectorNumber_ = newestRecordOfKind(model.reading().image.archivePointers(), kind);
    archiveStoredNumber_ = stored.identifier.isEmpty() ? -1 : stored.number.toInt();
    itemExchange_ = false;
    const ArchiveStart plan = planArchiveStart(geometry, archiveStoredNumber_, archiveCorrectorNumber_,
                                               tuning.additionalRecordCheck);
    if (plan.read == ArchiveStart::Read::Whole) {
        say(QStringLiteral("читать весь архив"));
        startExchange();
        if (!session_->link().readArchive(kind, true)) exchange_ = Exchange::Failed;
        step_ = Step::ArchiveRead;
        return;
    }
    if (plan.read == ArchiveStart::Read::Nothing) {
        say(QStringLiteral("номера записей в БД и приборе равны"));
        step_ = Step::NextItem;
        return;
    }
    archivePlanFirst_ = plan.storedPage;
    say(QStringLiteral("контроль последней записи БД"));
    startExchange();
    if (!session_->link().readArchiveSelective(kind, {archivePlanFirst_, 1})) exchange_ = Exchange::Failed;
    step_ = Step::ArchiveCheck;
}

void PollingRun::archiveCheckDone() {
    const int kind = archiveKindOfItem(item_);
    auto& model = session_->model();
    const auto geometry = corrector::archiveGeometry(kind, model.reading().profile);
    const auto archive = geometry->archive;
    const int a = static_cast<int>(archive);
    const corrector::ArchiveTableRows rows(model.archives());
    bool same = false;
    const database::LastStored& stored = lastStored_[lastStoredIndexOfItem(item_)];
    for (int r = 0; r < rows.rowCount(a); ++r) {
        if (rows.cell(a, 0, r).toInt() != archiveStoredNumber_) continue;
        same = database::recordTimestamp(rows, a, r) == stored.stamp;
    }
    itemExchange_ = false;
    const ArchiveFollowUp plan = planArchiveFollowUp(*geometry, same, archiveStoredNumber_,
                                                     archiveCorrectorNumber_, archivePlanFirst_);
    if (plan.read == ArchiveFollowUp::Read::Whole) {
        say(QStringLiteral("читать весь архив"));
        startExchange();
        if (!session_->link().readArchive(kind, true)) exchange_ = Exchange::Failed;
        step_ = Step::ArchiveRead;
        return;
    }
    say(plan.recordsEqual ? QStringLiteral("доп. контр. записей БД")
                          : QStringLiteral("выборочное чтение архива"));
    if (plan.read == ArchiveFollowUp::Read::Nothing) {
        kindsRead_.append(kind);
        step_ = Step::NextItem;
        return;
    }
    startExchange();
    if (!session_->link().readArchiveSelective(kind, {plan.firstPage, plan.pageCount}, true))
        exchange_ = Exchange::Failed;
    step_ = Step::ArchiveRead;
}

void PollingRun::clockCompared() {
    const auto& clock = session_->model().clock();
    const QDateTime computer = now();
    const QDateTime corrector =
        clock ? QDateTime(QDate(clock->year, clock->month, clock->day), QTime(clock->hour, clock->minute))
              : QDateTime();
    const QString texts = computer.toString(QStringLiteral("dd.MM.yyyy HH:mm")) +
                          QStringLiteral("/ в коррект. ") +
                          (clock ? clock->dateText + QLatin1Char(' ') + clock->timeText : QString());
    const ClockVerdict v = checkClock(computer, corrector);
    log_.clockChecked = computer;
    if (v.wrongDate) {
        say(QStringLiteral("ошибка даты - в комп. :") + texts, LineColour::Red);
        fail(QStringLiteral("даты в комп.и приборе не равны"));
        return;
    }
    say(QStringLiteral("даты - в комп. :") + texts);
    if (v.correction == 0) {
        step_ = Step::NextItem;
        return;
    }
    clockCorrection_ = v.correction;
    passwordSent_ = false;
    say(QStringLiteral("коррекция времени - ввод пароля"));
    startItemExchange([this] {
        session_->model().EnterPassword(kPasswordSlot, point_->config[database::config::Password].trimmed());
        return true;
    });
    step_ = Step::ClockWrite;
}

void PollingRun::gasStart() {
    say(QStringLiteral("запись параметров газа"));
    if (point_->config[database::config::Password].trimmed().isEmpty()) {
        say(QStringLiteral("нет пароля для коррекции параметров!!! "), LineColour::Red);
        fail(QStringLiteral("нет пароля для коррекц. парам."));
        return;
    }
    const QString name = point_->config[database::config::Gas].trimmed();
    if (name.isEmpty()) {
        fail(QStringLiteral("нет параметров газа"));
        return;
    }
    const std::optional<database::GasComposition> gas = gasNamed(p_.root, p_.schemas, name);
    if (!gas) {
        say(QStringLiteral("в БД нет данных для записи парам. газа"), LineColour::Red);
        fail(QStringLiteral("в БД нет данных для записи парам. газа"));
        return;
    }
    gasValues_ = {gas->density, gas->co2, gas->n2};
    if (nextGasValueToWrite(gasValues_, correctorItemText(), 0) >= 3) {
        say(QStringLiteral("параметры газа равны!!! "));
        gasWritten_ = true;
        log_.gasChecked = now();
        step_ = Step::NextItem;
        return;
    }
    say(QStringLiteral("параметры газа - ввод пароля"));
    gasWriteIndex_ = 0;
    startItemExchange([this] {
        session_->model().EnterPassword(kPasswordSlot, point_->config[database::config::Password].trimmed());
        return true;
    });
    step_ = Step::GasWrite;
}

std::function<QString(int)> PollingRun::correctorItemText() const {
    return [this](int n) { return session_->model().itemText(n); };
}

void PollingRun::gasNextWrite() {
    static const char* const kSteps[] = {"зап. плотность", "зап. концентрация CO2", "зап. концентрация N2"};
    auto& model = session_->model();
    gasWriteIndex_ = nextGasValueToWrite(gasValues_, correctorItemText(), gasWriteIndex_);
    if (gasWriteIndex_ >= 3) {
        say(QStringLiteral("параметры прибора"));
        itemExchange_ = false;
        startExchange();
        model.StartFullRead();
        step_ = Step::GasReread;
        return;
    }
    const int n = gasWriteIndex_++;
    say(QStringLiteral("параметры газа - ") + QString::fromUtf8(kSteps[n]));
    startItemExchange([this, n, &model] {
        return model.WriteItem(n + 1, gasValues_[n],
                               corrector::ItemCaption(n + 1, model.reading().profile, language_), false);
    });
}

} // namespace tarn::polling
