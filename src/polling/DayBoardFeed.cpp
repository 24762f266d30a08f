#include "polling/DayBoardFeed.h"

namespace tarn::polling {

QString boardScheduleMark(const DaySchedule& schedule) {
    QString mark = schedule.date.toString(Qt::ISODate);
    for (const ScheduleRow& r : schedule.rows)
        mark += QLatin1Char('/') + r.group + r.begin + r.status;
    return mark;
}

DayBoardFeed::DayBoardFeed(PollingRun& run, DataRoot root, Clock& clock, QObject* parent)
    : QObject(parent), run_(run), root_(std::move(root)), lagTimer_(clock) {
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

void DayBoardFeed::refresh() {
    ++reads_;
    rows_ = dayBoardOf(run_.groupFiles(), run_.storage(), run_.schedule(), run_.now());
    stale_ = false;
    emit rowsRead();
}

} // namespace tarn::polling
