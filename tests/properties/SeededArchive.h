#pragma once
// A corrector's archives drawn from one seed: hours, gas days, months (more than the monthly ring holds,
// so it wraps), abnormal situations, interventions and service records, and spoilt check bytes on about
// a tenth of the pages that hold records. Every record is encoded here byte by byte (or, for the lists
// the simulator keeps, given as its scenario entries) and every expected row is worked out here from
// the drawn values, never from the program's decoders.
#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <cstdint>
#include <random>
#include <set>
#include <utility>

namespace tarn::test::property {

// The archives as the corrector lays them out: bank, first page, pages, record size.
struct Area {
    bool high;
    int firstPage;
    int pages;
    int recordSize;
    int perPage() const { return 256 / recordSize; }
    int ring() const { return pages * perPage(); }
};
inline constexpr Area kHourly{false, 52, 204, 32};
inline constexpr Area kDaily{true, 192, 32, 64};
inline constexpr Area kMonthly{true, 224, 8, 64};
inline constexpr Area kAbnormal{false, 0, 52, 16};
inline constexpr Area kInterference{true, 128, 64, 16};
inline constexpr Area kService{true, 232, 24, 8};

// Ten pulses a cubic metre: word 2 byte 1 = 1.
inline constexpr double kPulsesPerM3 = 10.0;

// One hourly, daily or monthly record as drawn.
struct PeriodRecord {
    int slot = 0;  // the record's place in its ring (its record number in a full read)
    int index = 0; // hourly: the hour's place among all hours written, oldest 0
    QDateTime end;
    float working = 0, standard = 0, alarmWorking = 0, alarmStandard = 0;
    quint16 pressure1000 = 0;
    qint16 temperature100 = 0;
    quint16 compress10000 = 0, correctionRaw = 0, status1 = 0, status2 = 0;
    qint32 meterPulses = 0, standardPulses = 0; // daily and monthly only
    quint8 contractHour = 0; // daily and monthly: the corrector keeps it in byte 12 of the 16-byte block
};

struct EventRecord {
    int slot = 0;
    QDateTime at;
    quint16 current = 0, previous = 0;    // abnormal, service
    float volume = 0, standardVolume = 0; // abnormal
    int by = 0;                           // interference: who (1..7)
    quint8 before = 0, after = 0;         // interference: the display time, before and after
};

struct SpoiltRecord {
    bool high;
    int page;
    int record;
    int times;
    bool lost() const { return times > 3; } // three rejections, then the page's bad records are blanked
};

struct Scenario {
    quint64 seed = 0;
    int serial = 0;
    int contractHour = 0;       // gas days begin here
    QList<PeriodRecord> hours;  // what the hourly ring holds, oldest first
    int hoursWritten = 0;       // hours the corrector wrote (more than the ring holds when it wrapped)
    QList<PeriodRecord> days;   // day 0 precedes the hours; day d ends hour 24·d − 1
    QList<PeriodRecord> months; // what the ring holds after the wrap, by slot
    int monthsWritten = 0;
    QList<EventRecord> abnormal, interference, service;
    QList<SpoiltRecord> spoilt;

    // Whether the record at this slot of the area was blanked by a spoilt check byte that outlasts the
    // re-reads.
    // The slot of hour `index` (0 the first written), or -1 when the ring no longer holds it.
    int hourSlot(int index) const;
    const PeriodRecord* hourInSlot(int slot) const;
    bool lost(const Area& area, int slot) const;
    int lostCount(const Area& area, int records) const;
    QByteArray json() const; // the corrector's scenario object
};

Scenario drawScenario(quint64 seed);

// The record's bytes, sealed (the last byte makes the 8-bit sum zero).
QByteArray hourlyBytes(const PeriodRecord& r);
QByteArray periodBytes64(const PeriodRecord& r);
QByteArray sealed(QByteArray record);
QByteArray deviceMinutes(const QDateTime& t);

// The 16-character status text of status words 1 and 2.
QString statusText(quint16 status1, quint16 status2);
// The "КТО" cell of an intervention by 1..7.
QString whoText(int by);

} // namespace tarn::test::property
