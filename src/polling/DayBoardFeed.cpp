#include "polling/DayBoardFeed.h"

namespace tarn::polling {

QString boardScheduleMark(const DaySchedule& schedule) {
    QString mark = schedule.date.toString(Qt::ISODate);
    for (const ScheduleRow& r : schedule.rows)
        mark += QLatin1Char('/') + r.group + r.begin + r.status;
    return mark;
}

DayBoardFeed::DayBoardFeed(PollingRun& run, DataRoot root, Clock& clock, QObject* parent)
    : QObject(parent), run_(run), root_(std::move(root)), lagTimer_(clock),
      newestReader_(&newestStoredStamps) {
    connect(&run_, &PollingRun::pointEnded, this, [this] { stale_ = true; });
    connect(&run_, &PollingRun::finished, this, [this] { stale_ = true; });
    connect(&lagTimer_, &ClockTimer::timeout, this, [this] {
        stale_ = true;
        emit lagPeriodPassed();
    });
}

bool DayBoardFeed::refreshIfStale() {
    const QString mark = boardScheduleMark(run_.schedule());
    if (mark != scheduleMark_) {
        scheduleMark_ = mark;
        stale_ = true;
    }
    const bool read = stale_;
    if (read) refresh();
    if (!lagTimer_.isActive() || lagTimer_.interval() != lagPeriodMs) lagTimer_.start(lagPeriodMs);
    return read;
}

DayBoardFeed::~DayBoardFeed() {
    dropReading(true);
}

void DayBoardFeed::refresh() {
    ++reads_;
    dropReading(false);
    const QDateTime now = run_.now();
    DayBoardBasis basis = dayBoardBasisOf(run_.groupFiles(), run_.storage(), run_.schedule(), now.date());
    stale_ = false;
    // No member, nothing to read: the rows are whole as they are.
    if (!newestOnWorker || basis.identifiers.isEmpty()) {
        rows_ = buildDayBoard(basis.members, basis.joins, run_.schedule(),
                              newestReader_(run_.storage(), basis.identifiers, {}), now);
        emit rowsRead();
        return;
    }
    rows_ = buildDayBoard(basis.members, basis.joins, run_.schedule(), {}, now);
    const QStringList identifiers = basis.identifiers;
    pending_ = {std::move(basis), run_.schedule(), now};
    filling_ = true;
    // Started before the rows are shown, so that the worker reads while the window draws them.
    startWorker(identifiers);
    emit rowsRead();
}

void DayBoardFeed::markStale() {
    stale_ = true;
    dropReading(false);
}

void DayBoardFeed::stopReading() {
    stale_ = true;
    dropReading(true);
}

void DayBoardFeed::dropReading(bool wait) {
    ++generation_;
    filling_ = false;
    if (stopWorker_) stopWorker_->store(true);
    if (wait && worker_.joinable()) worker_.join();
}

void DayBoardFeed::startWorker(const QStringList& identifiers) {
    // The one before has been asked to stop: it ends after the point in hand.
    if (worker_.joinable()) worker_.join();
    stopWorker_ = std::make_shared<std::atomic<bool>>(false);
    worker_ = std::thread([this, stop = stopWorker_, generation = generation_, reader = newestReader_,
                           &storage = run_.storage(), identifiers] {
        const QHash<QString, QDateTime> newest =
            reader(storage, identifiers, [&stop] { return stop->load(); });
        // Always handed over, stopped or not: the feed's thread alone decides what is shown. Queued to the
        // feed's thread; the feed joins this thread before it goes, so it is there to receive it, and an
        // event still queued when it goes goes with it.
        QMetaObject::invokeMethod(
            this, [this, generation, newest] { takeNewest(generation, newest); }, Qt::QueuedConnection);
    });
}

void DayBoardFeed::takeNewest(int generation, const QHash<QString, QDateTime>& newest) {
    ++arrivals_;
    if (generation != generation_ || !filling_) return; // another read or a drop came since
    rows_ =
        buildDayBoard(pending_.basis.members, pending_.basis.joins, pending_.schedule, newest, pending_.now);
    filling_ = false;
    emit rowsFilled();
}

} // namespace tarn::polling
