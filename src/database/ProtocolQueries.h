#pragma once
// What the polling protocols and lists read: a point's request-log rows (every value bound), the gas
// compositions with the time they were registered, and the day's join rows of one schedule row or of
// every point polled. A table that is not there has no rows and is not created.
#include "database/JoinTable.h"
#include "database/Registry.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <array>

namespace tarn::database {

// One request-log row as the protocols read it. Timestamps left as "none" (01.01.2000 00:00) or empty
// read back as they are stored.
struct RequestLogEntry {
    QString identifier;
    QString serial;
    QString model;
    QDateTime stored; // bDateTime
    int source = 0;   // bQuest
    QString sourceText;
    QString asked;       // bCurFlRdWr
    QString storedItems; // bCurFlWrBD
    // The first and last record of each kind, in the log's order: hourly, daily, monthly, interference,
    // alarm, operative, service.
    struct Pair {
        QDateTime first;
        int firstNumber = 0;
        QDateTime last;
        int lastNumber = 0;
    };
    std::array<Pair, 7> pairs;
    QDateTime gasChecked;   // bContrWrGas
    QDateTime clockChecked; // bContrWrTime
    QDateTime connectionBegin;
    QDateTime connectionEnd;
    int connectionSeconds = 0;
    QString error;    // bErrConnect
    QString fileName; // bNameFile
};

// The request log's kinds, in its own order.
enum class LogKind { Hourly, Daily, Monthly, Interference, Alarm, Operative, Service };

struct RequestLogFilter {
    QString source;      // bStrQuest exactly; empty: any
    bool window = false; // only the rows stored within [from, to]
    QDateTime from;
    QDateTime to;
};

// The point's request-log rows in the order they were stored.
QList<RequestLogEntry> requestLogEntries(Storage& storage, const QString& identifier,
                                         const RequestLogFilter& filter);

struct GasRecord {
    QString name;
    QString density;
    QString co2;
    QString n2;
    QDateTime registered;
};
// The gas table's compositions in table order, the seed record left out.
QList<GasRecord> gasRecords(Storage& storage);

// The day's point rows ("1") of the schedule row of that number that are still the schedule's own
// (scheduled polling, not since replaced), in the order written.
QList<JoinRow> scheduleRowExchanges(Storage& storage, const QDate& day, int scheduleRow);
// The day's point rows of every polling mode, in the order written; the group summary rows left out.
QList<JoinRow> dayExchanges(Storage& storage, const QDate& day);

} // namespace tarn::database
