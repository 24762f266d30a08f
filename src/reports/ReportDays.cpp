#include "reports/CommercialReport.h"

#include "common/Language.h"

#include <optional>

// The days a report covers and the gas day's contract hour, apart from the report's text.
namespace tarn::reports {

using corrector::Archive;

ReportDays reportDays(ReportPeriod period, const QDate& begin, const QDate& end, bool ukrainian) {
    ReportDays d;
    switch (period) {
    case ReportPeriod::Day:
        d.first = d.last = begin;
        break;
    case ReportPeriod::Month:
        d.first = QDate(begin.year(), begin.month(), 1);
        d.last = d.first.addMonths(1).addDays(-1);
        break;
    case ReportPeriod::Range:
        d.first = begin;
        d.last = end;
        if (d.first.isValid() && d.last.isValid() && d.first > d.last)
            d.error = uaRu(languageOf(ukrainian), "ПОМИЛКА! ПОЧАТОК > КІНЦЯ", "ОШИБКА!!! НАЧАЛО > КОНЦА");
        break;
    }
    if (d.error.isEmpty() && (!d.first.isValid() || !d.last.isValid()))
        d.error = uaRu(languageOf(ukrainian), "ПОМИЛКА ФОРМАТУ ДАТИ : ", "ОШИБКА ФОРМАТА ДАТЫ : ");
    return d;
}

QDate gasDayOf(const QDateTime& end, int contractHour) {
    return end.addSecs(-3600LL * contractHour - 60).date();
}

GasDays::GasDays(int contractHour, const QDate& first, const QDate& last)
    : contractHour_(contractHour), first_(first) {
    if (!first.isValid() || !last.isValid() || first > last) return;
    // The offset at noon of every date from two days before the span to a day after its end: a change
    // between two noons (the clock moved that night) shows as two different offsets. A gas day is less
    // than a day long, so a record whose date and the dates around it all keep one offset needs no zone.
    const QDate from = first.addDays(-2);
    const qint64 days = from.daysTo(last.addDays(2)) + 1;
    std::vector<int> offsets;
    offsets.reserve(static_cast<std::size_t>(days));
    for (qint64 d = 0; d < days; ++d)
        offsets.push_back(QDateTime(from.addDays(d), QTime(12, 0)).offsetFromUtc());
    const qint64 spanDays = first.daysTo(last) + 2; // the records end on first .. last + 1
    steady_.resize(static_cast<std::size_t>(spanDays));
    for (qint64 d = 0; d < spanDays; ++d) {
        const auto at = static_cast<std::size_t>(d); // offsets[at] is noon two days before first + d
        steady_[at] = offsets[at] == offsets[at + 1] && offsets[at + 1] == offsets[at + 2] &&
                      offsets[at + 2] == offsets[at + 3];
    }
}

QDate GasDays::of(const QDateTime& end) const {
    if (end.timeSpec() != Qt::LocalTime || !end.isValid()) return gasDayOf(end, contractHour_);
    const qint64 d = first_.daysTo(end.date());
    if (d < 0 || d >= static_cast<qint64>(steady_.size()) || !steady_[static_cast<std::size_t>(d)])
        return gasDayOf(end, contractHour_);
    // With one offset all along, subtracting from the instant is subtracting from the wall clock.
    constexpr qint64 kMsecsInDay = 86'400'000;
    const qint64 msecs = end.time().msecsSinceStartOfDay() - (3600LL * contractHour_ + 60) * 1000;
    const qint64 daysBack = msecs >= 0 ? 0 : (-msecs + kMsecsInDay - 1) / kMsecsInDay;
    return end.date().addDays(-daysBack);
}

namespace {

std::optional<int> contractHourOf(const PeriodRecord& r) {
    bool ok = false;
    const int hour = r.parameterText.mid(24, 2).toInt(&ok, 16);
    if (r.parameterText.size() >= 26 && ok && hour >= 0 && hour < 24) return hour;
    if (r.end.time().minute() == 0) return r.end.time().hour();
    return std::nullopt;
}

} // namespace

int contractHourFor(const ReportSource& source, const QDate& day, int fallback) {
    // The record that closes the day before is stamped on this day.
    const QList<PeriodRecord> closing =
        source.periodRecords(Archive::Daily, QDateTime(day, QTime(0, 0)), QDateTime(day, QTime(23, 59)));
    if (!closing.isEmpty()) return contractHourOf(closing.first()).value_or(fallback);
    // That record was lost (a blanked page, a gap in polling): the corrector keeps one contract hour, so
    // the nearest daily record after it, else before it, says it better than a default hour would.
    constexpr int kSearchDays = 31;
    const QList<PeriodRecord> later =
        source.periodRecords(Archive::Daily, QDateTime(day.addDays(1), QTime(0, 0)),
                             QDateTime(day.addDays(kSearchDays), QTime(23, 59)));
    for (const PeriodRecord& r : later)
        if (const auto hour = contractHourOf(r)) return *hour;
    const QList<PeriodRecord> earlier =
        source.periodRecords(Archive::Daily, QDateTime(day.addDays(-kSearchDays), QTime(0, 0)),
                             QDateTime(day.addDays(-1), QTime(23, 59)));
    for (auto it = earlier.crbegin(); it != earlier.crend(); ++it)
        if (const auto hour = contractHourOf(*it)) return *hour;
    return fallback;
}

} // namespace tarn::reports
