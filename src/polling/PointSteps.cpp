#include "polling/PointSteps.h"

#include "corrector/ReadQueue.h"
#include "polling/PollPlanner.h"

#include <cmath>

namespace tarn::polling {

namespace {
constexpr int kMaxMinutesOfDrift = 12 * 60;
} // namespace

ClockVerdict checkClock(const QDateTime& computer, const QDateTime& corrector) {
    ClockVerdict v;
    const auto minuteOf = [](const QDateTime& t) {
        return QDateTime(t.date(), QTime(t.time().hour(), t.time().minute()));
    };
    const qint64 minutes = minuteOf(corrector).secsTo(minuteOf(computer)) / 60;
    if (!corrector.isValid() || std::llabs(minutes) > kMaxMinutesOfDrift) {
        v.wrongDate = true;
        return v;
    }
    v.differenceMinutes = static_cast<int>(minutes);
    if (v.differenceMinutes > 2 || v.differenceMinutes < -2)
        v.correction = qBound(-9, v.differenceMinutes, 9);
    return v;
}

int lastStoredIndexOfItem(int item) {
    switch (item) {
    case item::Hourly:
        return 0;
    case item::Daily:
        return 1;
    case item::Monthly:
        return 2;
    case item::Alarm:
        return 3;
    case item::Interference:
        return 4;
    case item::Operative:
        return 5;
    case item::Service:
        return 6;
    default:
        return -1;
    }
}

quint16 newestRecordOfKind(const corrector::ArchivePointers& p, int kind) {
    switch (kind) {
    case corrector::read_kind::Hourly:
        return p.hourly;
    case corrector::read_kind::Daily:
        return p.daily;
    case corrector::read_kind::Monthly:
        return p.monthly;
    case corrector::read_kind::Alarm:
        return p.alarm;
    case corrector::read_kind::Interference:
        return p.interference;
    case corrector::read_kind::Operative:
        return p.operative;
    default:
        return p.service;
    }
}

ArchiveStart planArchiveStart(const std::optional<corrector::ArchiveGeometry>& geometry, int storedNumber,
                              int correctorNumber, bool additionalRecordCheck) {
    if (!geometry || storedNumber < 0) return {ArchiveStart::Read::Whole, 0};
    if (storedNumber == correctorNumber && !additionalRecordCheck) return {ArchiveStart::Read::Nothing, 0};
    return {ArchiveStart::Read::StoredRecordPage, corrector::pageOfRecord(*geometry, storedNumber)};
}

ArchiveFollowUp planArchiveFollowUp(const corrector::ArchiveGeometry& geometry, bool sameRecord,
                                    int storedNumber, int correctorNumber, int storedPage) {
    ArchiveFollowUp f;
    // Not the same record: the corrector's archive was cleared or went round past the stored record.
    if (!sameRecord) return f;
    if (storedNumber == correctorNumber) {
        f.read = ArchiveFollowUp::Read::Nothing;
        f.recordsEqual = true;
        return f;
    }
    const int last = corrector::pageOfRecord(geometry, correctorNumber);
    f.pageCount = corrector::pagesAfterInRing(geometry, storedPage, last);
    if (f.pageCount == 0) {
        f.read = ArchiveFollowUp::Read::Nothing;
        return f;
    }
    f.read = ArchiveFollowUp::Read::Pages;
    f.firstPage = corrector::nextPageInRing(geometry, storedPage);
    return f;
}

bool sameNumber(const QString& a, const QString& b) {
    bool okA = false, okB = false;
    const double x = a.trimmed().toDouble(&okA);
    const double y = b.trimmed().toDouble(&okB);
    return okA && okB && std::fabs(x - y) < 1e-6;
}

std::optional<database::GasComposition> gasNamed(database::Storage& storage, const QString& name) {
    database::Gases gases(storage);
    std::optional<database::GasComposition> gas;
    for (const auto& g : gases.all())
        if (g.name.trimmed() == name) gas = g;
    return gas;
}

int nextGasValueToWrite(const std::array<QString, 3>& values,
                        const std::function<QString(int item)>& itemText, int from) {
    int i = from;
    while (i < 3 && sameNumber(itemText(i + 1), values[i]))
        ++i;
    return i;
}

} // namespace tarn::polling
