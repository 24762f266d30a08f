#include "polling/windows/GroupListingRun.h"

#include "common/Language.h"
#include "polling/GroupAlarms.h"
#include "polling/windows/TfGroupSummary.h"
#include "polling/windows/TfMaskNhs.h"

#include <QDialog>

namespace tarn::polling {

namespace {

bool groupNamed(const GroupListingRequest& r, Notifier& notifier) {
    if (!r.groupName.trimmed().isEmpty()) return true;
    notifier.message(MessageKind::Error,
                     uaRu(r.languageIndex, "Не вибрано групу!!!", "Не выбрана группа!!!"));
    return false;
}

// The run's storage, when its layouts loaded; else the user is told why there is nothing to list.
database::Storage* storageOf(const GroupListingRequest& r, Notifier& notifier) {
    if (!r.storage) return nullptr;
    if (r.storage->schemas().ok) return r.storage;
    notifier.message(MessageKind::Error, r.storage->schemas().error);
    return nullptr;
}

} // namespace

GroupListingResult runGroupStatListing(const GroupListingRequest& r, Notifier& notifier, QWidget* parent) {
    const bool ukrainian = r.languageIndex != kRussian;
    if (!groupNamed(r, notifier)) return {};
    if (!r.columns.any()) {
        notifier.message(MessageKind::Error,
                         uaRu(r.languageIndex, "не визначено параметри!", "не определены параметры!!!"));
        return {};
    }
    const bool hourly = r.archive == reports::ListingArchive::Hourly;
    const GroupListingPeriod days = groupListingPeriod(r.period, hourly, r.begin, r.end, ukrainian);
    if (!days.error.isEmpty()) {
        notifier.message(MessageKind::Error, days.error);
        return {};
    }
    if (hourly && r.period != reports::ReportPeriod::Day &&
        !notifier.confirm(uaRu(r.languageIndex, "Вартові дані друкувати?", "Часовые данные печатать?")))
        return {};
    database::Storage* storage = storageOf(r, notifier);
    if (!storage) return {};

    SummaryRequest request;
    request.groupName = r.groupName;
    request.archive = hourly ? SummaryArchive::Hourly : SummaryArchive::Daily;
    request.from = days.from;
    request.to = days.to;
    request.caller = SummaryCaller::Report;
    request.memberTables = r.matrix;
    const database::FolderGroupFiles folder(r.root);
    TfGroupSummary window(r.root, r.groups ? *r.groups : folder, *storage, notifier, r.languageIndex, parent);
    if (const QString refused = window.open(request); !refused.isEmpty()) {
        notifier.message(MessageKind::Error, refused);
        return {};
    }
    window.start();
    if (r.summaryShown)
        r.summaryShown(window);
    else
        window.exec();
    if (window.result() != QDialog::Accepted) return {};

    GroupReportOptions o;
    o.form = window.form();
    o.dayTotals = window.dayTotals();
    o.columns = r.columns;
    o.ukrainian = ukrainian;
    const QString title = groupListingTitle(r.groupName, hourly, r.period, days, r.now, ukrainian);
    const GroupListing listing = buildGroupListing(window.tables(), o, title, r.csvDelimiter);
    return {true, listing.listing.text(), listing.csv};
}

GroupListingResult runGroupAlarmTable(const GroupListingRequest& r, Notifier& notifier, QWidget* parent) {
    const bool ukrainian = r.languageIndex != kRussian;
    if (!groupNamed(r, notifier)) return {};
    const reports::ReportDays days = reports::reportDays(r.period, r.begin.date(), r.end.date(), ukrainian);
    if (!days.error.isEmpty()) {
        notifier.message(MessageKind::Error, days.error);
        return {};
    }
    // A period from the begin's time to the end's; a month or a day whole.
    const bool range = r.period == reports::ReportPeriod::Range;
    const QDateTime from = range ? r.begin : QDateTime(days.first, QTime(0, 0));
    const QDateTime to = range ? r.end : QDateTime(days.last, QTime(23, 59));
    database::Storage* storage = storageOf(r, notifier);
    if (!storage) return {};

    TfMaskNhs mask(r.root, notifier, r.languageIndex, parent);
    if (r.maskShown)
        r.maskShown(mask);
    else
        mask.exec();
    if (mask.result() != QDialog::Accepted) return {};
    const database::FolderGroupFiles folder(r.root);
    const GroupAlarmTable table =
        groupAlarmTable(r.root, r.groups ? *r.groups : folder, *storage, notifier, r.languageIndex,
                        r.groupName, from, to, loadAlarmMask(r.root));
    if (!table.refused.isEmpty()) {
        notifier.message(MessageKind::Error, table.refused);
        return {};
    }
    // A member without its parameter file has been told and stops the listing.
    if (table.stopped) return {};
    const QString title = reports::listingTitle(QStringLiteral("груп.*") + r.groupName.trimmed(),
                                                reports::ListingArchive::Alarm, r.period, days.first,
                                                days.last, r.now, ukrainian);
    return {true, QStringList{title} + table.lines, {}};
}

} // namespace tarn::polling
