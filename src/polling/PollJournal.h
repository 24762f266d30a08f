#pragma once
// What a polling run leaves behind besides the stored records: the day's join-table rows (a point's
// outcome, a group's verdict), the resume file a stopped group run leaves, and the run's recent point
// summaries.
#include "common/DataRoot.h"
#include "database/JoinTable.h"
#include "database/Registry.h"
#include "database/Schema.h"
#include "database/Storing.h"
#include "polling/PollPlanner.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>

namespace tarn::polling {

// The outcome of one point, as the run's summary gives it.
struct PointSummary {
    QString identifier;
    QString name;
    QString result; // the join table's result text
    QString error;  // the request log's error text
    QList<int> itemsRead;
    QMap<QString, int> stored; // archive name → rows stored
    bool clockCorrected = false;
    int clockCorrection = 0;
    bool gasWritten = false;
    bool measured = false;
};

// The rows stored of each archive, under the names the summaries use.
void addStoredCounts(PointSummary& summary, const database::StoreResult& result);

class PollJournal {
public:
    PollJournal(const DataRoot& root, database::Storage& storage) : root_(root), storage_(storage) {}

    // Where a row is written from: the run's mode and, in scheduled polling, the schedule row in hand.
    struct Place {
        PollMode mode = PollMode::Idle;
        const ScheduleRow* row = nullptr;
    };
    // A join row of that time, with the mode and the schedule row's window.
    static database::JoinRow joinRow(const Place& place, const QDateTime& when, const QString& resultText);
    // A point's outcome (group: the group polled, empty for a point by itself). The message when the row
    // could not be written, else empty.
    QString writePointRow(const Place& place, const QDateTime& when, const QString& group,
                          const QString& identifier, const database::Point* point, const QString& resultText);
    // A group run's verdict, the row the schedule is rebuilt from after a restart.
    QString writeGroupRow(const Place& place, const QDateTime& when, const QString& group,
                          const QString& verdict);

    // A group run starts afresh; a stopped one leaves where it stopped.
    void clearResumeFile(const QString& groupFile);
    void writeResumeFile(const QString& groupFile, const QString& groupName, const QString& pointLine,
                         const QString& identifier);

    const QList<PointSummary>& summaries() const { return summaries_; }
    void clearSummaries() { summaries_.clear(); }
    void addSummary(PointSummary summary);

private:
    const DataRoot& root_;
    database::Storage& storage_;
    QList<PointSummary> summaries_;
};

} // namespace tarn::polling
