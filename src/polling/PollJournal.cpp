#include "polling/PollJournal.h"

#include "polling/GroupStart.h"

#include <QFile>

namespace tarn::polling {

namespace {
// Duty polling runs for months: the recent outcomes only.
constexpr qsizetype kSummariesKept = 10000;
} // namespace

void addStoredCounts(PointSummary& summary, const database::StoreResult& result) {
    static const char* const kNames[] = {"hourly",       "daily",     "monthly", "abnormal",
                                         "interference", "operative", "service"};
    for (int k = 0; k < 7; ++k)
        if (result.kinds[k].stored) summary.stored.insert(QLatin1String(kNames[k]), result.kinds[k].stored);
}

database::JoinRow PollJournal::joinRow(const Place& place, const QDateTime& when, const QString& resultText) {
    database::JoinRow row;
    row.when = when;
    row.modified = when.time();
    row.mode = static_cast<int>(place.mode);
    row.modeText = pollModeText(place.mode);
    if (place.mode == PollMode::Schedule && place.row) {
        row.begin = QTime::fromString(place.row->begin, QStringLiteral("HH:mm"));
        row.end = QTime::fromString(place.row->end, QStringLiteral("HH:mm"));
        row.scheduleRow = place.row->number;
        row.flagModif = QStringLiteral("0");
    }
    row.result = resultText;
    return row;
}

QString PollJournal::writePointRow(const Place& place, const QDateTime& when, const QString& group,
                                   const QString& identifier, const database::Point* point,
                                   const QString& resultText) {
    database::JoinRow row = joinRow(place, when, resultText);
    if (place.mode != PollMode::Point) row.group = group;
    row.identifier = identifier;
    if (point) {
        row.model = point->model;
        row.serial = point->serial;
    }
    return database::appendJoinRow(storage_, row);
}

QString PollJournal::writeGroupRow(const Place& place, const QDateTime& when, const QString& group,
                                   const QString& verdict) {
    database::JoinRow row = joinRow(place, when, verdict);
    row.group = group;
    row.idJoin = QStringLiteral("2");
    return database::appendJoinRow(storage_, row);
}

void PollJournal::clearResumeFile(const QString& groupFile) {
    QFile::remove(resumeFilePath(root_, groupFile));
}

void PollJournal::writeResumeFile(const QString& groupFile, const QString& groupName,
                                  const QString& pointLine, const QString& identifier) {
    if (groupFile.isEmpty()) return;
    polling::writeResumeFile(root_, groupFile, groupName, pointLine, identifier);
}

void PollJournal::addSummary(PointSummary summary) {
    summaries_.append(std::move(summary));
    if (summaries_.size() > kSummariesKept) summaries_.removeFirst();
}

} // namespace tarn::polling
