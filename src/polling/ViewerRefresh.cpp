#include "polling/ViewerRefresh.h"

#include "common/TextFile.h"
#include "polling/ConsoleSettings.h"

#include <QDir>
#include <QScopedValueRollback>

namespace tarn::polling {

namespace {

const QString kStampFormat = QStringLiteral("dd.MM.yyyy HH:mm:ss");

QString referencePath(const DataRoot& root) {
    return root.file(folder::Synchr, QStringLiteral("LastSync.000"));
}

} // namespace

std::optional<QDateTime> loadLastSynchronisation(const DataRoot& root) {
    const auto lines = readTextLines(referencePath(root), 4096);
    if (!lines || lines->isEmpty()) return std::nullopt;
    const QDateTime t = QDateTime::fromString(lines->first().trimmed(), kStampFormat);
    if (!t.isValid()) return std::nullopt;
    return t;
}

bool saveLastSynchronisation(const DataRoot& root, const QDateTime& started) {
    QDir().mkpath(root.dir(folder::Synchr));
    return writeTextLines(referencePath(root), {started.toString(kStampFormat)});
}

std::optional<qint64> secondsSince(const std::optional<QDateTime>& reference, const QDateTime& now) {
    if (!reference) return std::nullopt;
    return qMax<qint64>(0, reference->secsTo(now));
}

QString elapsedText(qint64 seconds) {
    const qint64 s = qMax<qint64>(0, seconds);
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg((s / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

ViewerRefresh::ViewerRefresh(DataRoot root, Notifier& notifier, Steps steps)
    : root_(root), steps_(std::move(steps)), cycle_(std::move(root), notifier) {}

bool ViewerRefresh::begin() {
    settings_ = loadViewerCycleSettings(root_);
    // The markers go whether the cycle is on or not: a master must not wait for a copy that no longer counts.
    cycle_.start(settings_, settings_.on ? elapsed() : std::nullopt);
    if (!settings_.on) cycle_.stop();
    return settings_.on;
}

ViewerRefresh::Event ViewerRefresh::tick() {
    // The settings window may have switched the cycle off since it began: the timer stops here.
    if (cycle_.running() && !loadViewerCycleSettings(root_).on) cycle_.setOn(false);
    switch (cycle_.tick()) {
    case ViewerCycle::Tick::Off:
        return Event::Off;
    case ViewerCycle::Tick::Counting:
        return Event::Counting;
    case ViewerCycle::Tick::WaitWritten:
        if (steps_.markerWritten)
            steps_.markerWritten(QStringLiteral("Wait.000"), cycle_.lastMarkerWritten());
        return Event::WaitWritten;
    case ViewerCycle::Tick::StartReached:
        if (steps_.markerWritten)
            steps_.markerWritten(QStringLiteral("Start.000"), cycle_.lastMarkerWritten());
        synchroniseNow();
        return Event::Synchronised;
    }
    return Event::Off;
}

ViewerSyncOutcome ViewerRefresh::synchroniseNow() {
    // The synchronisation window lets timers run: nothing counts, and no second one starts, meanwhile.
    if (synchronising_) return outcome_;
    const QScopedValueRollback<bool> guard(synchronising_, true);
    cycle_.stop();
    const QDateTime started = steps_.now();
    if (steps_.closeTables) steps_.closeTables();
    // The reference is the synchronisation's start, so the next countdown is measured from it however
    // long the copying takes.
    saveLastSynchronisation(root_, started);
    outcome_ = steps_.synchronise ? steps_.synchronise() : ViewerSyncOutcome{};
    databaseStarted_ = false;
    tablesChecked_ = false;
    if (!outcome_.goOn) return outcome_;
    if (steps_.checkTables && readPollingTuning(root_).checkTablesAtStart)
        tablesChecked_ = steps_.checkTables();
    databaseStarted_ = steps_.startDatabase ? steps_.startDatabase() : true;
    if (databaseStarted_) begin();
    return outcome_;
}

} // namespace tarn::polling
