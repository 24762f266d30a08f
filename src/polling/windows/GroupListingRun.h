#pragma once
// The report window's statistical listings of a group: hourly and daily through the group summary
// window and the group listing forms, the alarm archive in table form through the situation mask window
// and the group alarm table. The lines go into the report's work file, the CSV lines into its CSV file.
#include "database/GroupFiles.h"
#include "polling/GroupReport.h"

#include <functional>

class QWidget;

namespace tarn::polling {

class TfGroupSummary;
class TfMaskNhs;

struct GroupListingRequest {
    DataRoot root;
    database::Storage* storage = nullptr;         // the run's: the members' records
    const database::GroupFiles* groups = nullptr; // the run's groups; none: root's Group folder
    int languageIndex = 1;
    QString groupName;
    reports::ListingArchive archive = reports::ListingArchive::Daily;
    reports::ReportPeriod period = reports::ReportPeriod::Month;
    QDateTime begin; // the window's begin date and time
    QDateTime end;
    bool matrix = false; // "сводная таблица группы"
    reports::StatColumns columns;
    QChar csvDelimiter = QLatin1Char(';');
    QDateTime now;
    // Where tests take the windows' place: given, the window is not shown modally; the hook presses its
    // buttons (the summary's timer has started by then).
    std::function<void(TfGroupSummary&)> summaryShown;
    std::function<void(TfMaskNhs&)> maskShown;
};

struct GroupListingResult {
    bool ok = false; // false: refused, cancelled or stopped (the user has been told where there is news)
    QStringList lines;
    QStringList csv;
};

// Hourly and daily: "Не выбрана группа!!!" without a group, "Часовые данные печатать?" for hours over a
// month or a period, then the summary window; the listing in the form chosen there.
GroupListingResult runGroupStatListing(const GroupListingRequest& request, Notifier& notifier,
                                       QWidget* parent);
// The alarm archive as a table: the mask window, then a member a line.
GroupListingResult runGroupAlarmTable(const GroupListingRequest& request, Notifier& notifier,
                                      QWidget* parent);

} // namespace tarn::polling
