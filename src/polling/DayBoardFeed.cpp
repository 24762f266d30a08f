#include "polling/DayBoardFeed.h"

#include "database/Registry.h"

namespace tarn::polling {

QString boardScheduleMark(const DaySchedule& schedule) {
    QString mark = schedule.date.toString(Qt::ISODate);
    for (const ScheduleRow& r : schedule.rows)
        mark += QLatin1Char('/') + r.group + r.begin + r.status;
    return mark;
}

DayBoardFeed::DayBoardFeed(PollingRun& run, DataRoot root, Clock& clock, QObject* parent)
    : QObject(parent), run_(run), root_(std::move(root)), lagTimer_(clock),
      newestReader_(&database::newestStoredStamps) {
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

DayBoardFeed::~DayBoardFeed() = default;

void DayBoardFeed::refresh() {
    ++reads_;
    read_.reset();
    std::unique_ptr<NewestRead> ahead = std::move(readAhead_);
    const QDateTime now = run_.now();
    DayBoardBasis basis = dayBoardBasisOf(run_.groupFiles(), run_.storage(), run_.schedule(), now.date());
    stale_ = false;
    // No member, nothing to read: the rows are whole as they are. A storage whose tables are dear to
    // open off its own thread (a server's) is read here, as a worker would connect anew for every table.
    if (!newestOnWorker || basis.identifiers.isEmpty() || !run_.storage().opensTablesCheaplyOnAnyThread()) {
        rows_ = buildDayBoard(basis.members, basis.joins, run_.schedule(),
                              newestReader_(run_.storage(), basis.identifiers, {}), now);
        emit rowsRead();
        return;
    }
    // A read begun ahead counts only for the same members of the same database; it is let go otherwise.
    if (ahead && &ahead->storage() == &run_.storage() && ahead->identifiers() == basis.identifiers)
        read_ = std::move(ahead);
    else
        read_ = std::make_unique<NewestRead>(run_.storage(), basis.identifiers, newestReader_);
    ahead.reset();
    basis_ = std::move(basis);
    schedule_ = run_.schedule();
    now_ = now;
    if (read_->done()) {
        fill();
        emit rowsRead();
        return;
    }
    rows_ = buildDayBoard(basis_.members, basis_.joins, schedule_, {}, now_);
    connect(read_.get(), &NewestRead::arrived, this, [this] {
        fill();
        emit rowsFilled();
    });
    emit rowsRead();
}

void DayBoardFeed::markStale() {
    stale_ = true;
    read_.reset();
}

void DayBoardFeed::fill() {
    rows_ = buildDayBoard(basis_.members, basis_.joins, schedule_, read_->newest(), now_);
}

NewestRead::NewestRead(database::Storage& storage, QStringList identifiers, const NewestReader& reader)
    : storage_(storage), identifiers_(std::move(identifiers)) {
    worker_ = std::thread([this, reader] {
        QHash<QString, QDateTime> newest = reader(storage_, identifiers_, [this] { return stop_.load(); });
        if (stop_.load()) return;
        // To the owner's thread. The destructor joins this thread before the object goes, and an event
        // still queued for it then goes with it.
        QMetaObject::invokeMethod(
            this,
            [this, newest = std::move(newest)] {
                newest_ = newest;
                done_ = true;
                emit arrived();
            },
            Qt::QueuedConnection);
    });
}

NewestRead::~NewestRead() {
    stop_.store(true);
    worker_.join();
}

std::unique_ptr<NewestRead> readNewestAhead(const database::GroupFiles& groups, database::Storage& storage,
                                            const QDate& day) {
    if (!storage.opensTablesCheaplyOnAnyThread()) return nullptr;
    const QStringList identifiers = scheduledMemberIdentifiers(groups, day);
    if (identifiers.isEmpty()) return nullptr;
    return std::make_unique<NewestRead>(storage, identifiers, &database::newestStoredStamps);
}

} // namespace tarn::polling
