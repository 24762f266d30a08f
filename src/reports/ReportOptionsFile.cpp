#include "reports/ReportOptionsFile.h"

#include "common/TextFile.h"

namespace tarn::reports {

namespace {

QString reportFile(const DataRoot& root) {
    return root.file(folder::Current, QStringLiteral("report.000"));
}

QString flag(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

ReportWindowOptions loadReportWindowOptions(const DataRoot& root) {
    ReportWindowOptions o;
    const auto lines = readTextLines(reportFile(root));
    if (!lines) return o;
    auto at = [&lines](int i) { return removeSpaces(lines->value(i)); };
    auto date = [&](int i, QDate& into) {
        const QDate d = QDate::fromString(at(i), QStringLiteral("dd.MM.yyyy"));
        if (d.isValid()) into = d;
    };
    auto time = [&](int i, QTime& into) {
        const QTime t = QTime::fromString(at(i), QStringLiteral("HH:mm"));
        if (t.isValid()) into = t;
    };
    auto choice = [&](int i, int& into, int high) {
        bool ok = false;
        const int v = at(i).toInt(&ok);
        if (ok && v >= 1 && v <= high) into = v;
    };
    auto on = [&](int i, bool& into) {
        if (i < lines->size()) into = at(i) == QLatin1String("1");
    };
    date(0, o.beginDate);
    time(1, o.beginTime);
    date(2, o.endDate);
    time(3, o.endTime);
    on(4, o.database);
    choice(5, o.periodKind, 4);
    choice(6, o.databaseKind, 4);
    choice(7, o.object, 3);
    choice(8, o.detail, 2);
    choice(9, o.archive, 6);
    on(10, o.standardVolume);
    on(11, o.shortAlarms);
    on(12, o.groupSummary);
    on(13, o.computeTotals);
    return o;
}

bool saveReportWindowOptions(const DataRoot& root, const ReportWindowOptions& o) {
    return writeTextLines(
        reportFile(root),
        {o.beginDate.toString(QStringLiteral("dd.MM.yyyy")), o.beginTime.toString(QStringLiteral("HH:mm")),
         o.endDate.toString(QStringLiteral("dd.MM.yyyy")), o.endTime.toString(QStringLiteral("HH:mm")),
         flag(o.database), QString::number(o.periodKind), QString::number(o.databaseKind),
         QString::number(o.object), QString::number(o.detail), QString::number(o.archive),
         flag(o.standardVolume), flag(o.shortAlarms), flag(o.groupSummary), flag(o.computeTotals)});
}

} // namespace tarn::reports
