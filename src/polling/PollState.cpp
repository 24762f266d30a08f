#include "polling/PollState.h"

#include "common/TextFile.h"
#include "polling/DayBoard.h"

#include <QCoreApplication>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#endif

namespace tarn::polling {

namespace {

const QString kTimeFormat = QStringLiteral("dd.MM.yyyy HH:mm:ss");
constexpr QChar kSeparator = QLatin1Char('\t');

// A name never carries the separator into the file.
QString cell(const QString& s) {
    QString t = s;
    t.replace(kSeparator, QLatin1Char(' '));
    t.replace(QLatin1Char('\r'), QLatin1Char(' '));
    t.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return t;
}

QStringList bodyLines(const PollState& s) {
    QStringList lines{
        QStringLiteral("pid=") + QString::number(s.pid),
        QStringLiteral("mode=") + QString::number(s.mode),
        QStringLiteral("state=") + cell(s.modeText),
        QStringLiteral("group=") + cell(s.group),
        QStringLiteral("point=") + cell(s.point),
        QStringLiteral("identifier=") + cell(s.identifier),
        QStringLiteral("next=") + (s.nextRow > 0
                                       ? QString::number(s.nextRow) + kSeparator + cell(s.nextGroup) +
                                             kSeparator + s.nextBegin + kSeparator + s.nextEnd
                                       : QString()),
    };
    for (const PollFailure& f : s.failures)
        lines.append(QStringLiteral("failure=") + f.time + kSeparator + cell(f.identifier) + kSeparator +
                     cell(f.name) + kSeparator + cell(f.result));
    return lines;
}

} // namespace

QString pollStatePath(const DataRoot& root) {
    return root.file(folder::Current, QStringLiteral("PollState.000"));
}

QStringList pollStateLines(const PollState& state) {
    QStringList lines = bodyLines(state);
    lines.insert(1, QStringLiteral("written=") + state.written.toString(kTimeFormat));
    return lines;
}

bool writePollState(const DataRoot& root, const PollState& state) {
    return writeTextLines(pollStatePath(root), pollStateLines(state));
}

std::optional<PollState> readPollState(const DataRoot& root) {
    const auto lines = readTextLines(pollStatePath(root), 64 * 1024);
    if (!lines) return std::nullopt;
    PollState s;
    bool pidFound = false;
    for (const QString& line : *lines) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0) continue;
        const QString key = line.left(eq);
        const QString value = line.mid(eq + 1);
        if (key == QLatin1String("pid")) {
            s.pid = value.toLongLong(&pidFound);
        } else if (key == QLatin1String("written")) {
            s.written = QDateTime::fromString(value, kTimeFormat);
        } else if (key == QLatin1String("mode")) {
            s.mode = value.toInt();
        } else if (key == QLatin1String("state")) {
            s.modeText = value;
        } else if (key == QLatin1String("group")) {
            s.group = value;
        } else if (key == QLatin1String("point")) {
            s.point = value;
        } else if (key == QLatin1String("identifier")) {
            s.identifier = value;
        } else if (key == QLatin1String("next")) {
            const QStringList f = value.split(kSeparator);
            if (f.size() == 4) {
                s.nextRow = f.at(0).toInt();
                s.nextGroup = f.at(1);
                s.nextBegin = f.at(2);
                s.nextEnd = f.at(3);
            }
        } else if (key == QLatin1String("failure")) {
            const QStringList f = value.split(kSeparator);
            if (f.size() == 4) s.failures.append({f.at(0), f.at(1), f.at(2), f.at(3)});
        }
    }
    if (!pidFound || s.pid <= 0) return std::nullopt;
    return s;
}

bool processAlive(qint64 pid) {
    if (pid <= 0) return false;
#ifdef Q_OS_UNIX
    // Signal 0 only asks; EPERM means the process is there under another user.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
#else
    return true; // the age of the file decides
#endif
}

PollerLiveness pollerLiveness(const PollState& state, const QDateTime& now,
                              const std::function<bool(qint64 pid)>& alive) {
    if (!alive(state.pid)) return PollerLiveness::ProcessGone;
    // A file from the future (a clock set back) is as untrustworthy as an old one.
    if (!state.written.isValid() || std::abs(state.written.secsTo(now)) > kPollStateStaleSeconds)
        return PollerLiveness::TooOld;
    return PollerLiveness::Live;
}

PollStateKeeper::PollStateKeeper(PollingRun& run, DataRoot root, QObject* parent)
    : QObject(parent), pid(QCoreApplication::applicationPid()), run_(run), root_(std::move(root)) {
    connect(&run_, &PollingRun::stateChanged, this, &PollStateKeeper::update);
    connect(&run_, &PollingRun::finished, this, &PollStateKeeper::update);
    connect(&run_, &PollingRun::pointEnded, this, [this] {
        if (run_.summaries().isEmpty()) return;
        const PointSummary& s = run_.summaries().last();
        if (s.result != QStringLiteral("норма")) {
            failures_.append({run_.now().toString(QStringLiteral("HH:mm:ss")), s.identifier, s.name,
                              s.result.isEmpty() ? s.error : s.result});
            while (failures_.size() > kPollStateFailuresKept)
                failures_.removeFirst();
        }
        update();
    });
}

PollState PollStateKeeper::current() const {
    PollState s;
    s.pid = pid;
    s.mode = static_cast<int>(run_.mode());
    s.modeText = pollModeText(run_.mode());
    // Waiting for a window, the last group's name would read as a group being polled.
    const bool groupInHand =
        run_.mode() == PollMode::Group || (run_.mode() == PollMode::Schedule &&
                                           run_.scheduleState() != static_cast<int>(ScheduleState::Waiting));
    s.group = groupInHand ? run_.groupName() : QString();
    if (run_.running() && run_.pointInHand()) {
        s.point = run_.pointName().trimmed();
        s.identifier = run_.pointIdentifier();
    }
    DaySchedule& schedule = run_.schedule();
    const QTime t = run_.now().time();
    const int row = nextScheduleRow(schedule, run_.currentRow(), t.hour() * 60 + t.minute());
    if (row >= 0) {
        const ScheduleRow& r = schedule.rows.at(row);
        s.nextRow = r.number;
        s.nextGroup = r.group.trimmed();
        s.nextBegin = r.begin;
        s.nextEnd = r.end;
    }
    s.failures = failures_;
    return s;
}

void PollStateKeeper::update() {
    PollState s = current();
    const QStringList body = bodyLines(s);
    const QDateTime now = run_.now();
    if (body == lastLines_ && state_.written.isValid() &&
        state_.written.secsTo(now) < kPollStateHeartbeatSeconds)
        return;
    s.written = now;
    if (writePollState(root_, s)) {
        lastLines_ = body;
        state_ = s;
    }
}

} // namespace tarn::polling
