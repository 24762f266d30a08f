#pragma once
// Current\PollState.000: what a running poller is doing, for a watcher without a display (tarn-cli poll
// --status). key=value lines, Windows-1251, CR LF, written whole at each point's start and end, when the
// schedule or the mode changes, and once a minute besides, so that a file older than a few minutes means
// the poller is gone even when its process id has been taken by another program.
#include "common/DataRoot.h"
#include "polling/PollingRun.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

namespace tarn::polling {

struct PollFailure {
    QString time; // "HH:mm:ss"
    QString identifier;
    QString name;
    QString result;
};

struct PollState {
    qint64 pid = 0;
    QDateTime written;
    int mode = 0;
    QString modeText;
    QString group;
    QString point; // the point in hand's name; empty between points
    QString identifier;
    // The schedule row in hand or next: its number (0: none), group and window.
    int nextRow = 0;
    QString nextGroup;
    QString nextBegin;
    QString nextEnd;
    QList<PollFailure> failures; // the most recent last
};

inline constexpr int kPollStateFailuresKept = 10;
// A poller rewrites its file at least this often; twice as long without a write and it is taken as gone.
inline constexpr int kPollStateHeartbeatSeconds = 60;
inline constexpr int kPollStateStaleSeconds = 300;

QString pollStatePath(const DataRoot& root);
QStringList pollStateLines(const PollState& state);
bool writePollState(const DataRoot& root, const PollState& state);
// Nothing when the file is missing or has no process id.
std::optional<PollState> readPollState(const DataRoot& root);

enum class PollerLiveness { Live, ProcessGone, TooOld };
PollerLiveness pollerLiveness(const PollState& state, const QDateTime& now,
                              const std::function<bool(qint64 pid)>& processAlive);
bool processAlive(qint64 pid);

// Keeps the state file of a run: the console and tarn-cli's poller each own one beside their run.
class PollStateKeeper : public QObject {
    Q_OBJECT
public:
    PollStateKeeper(PollingRun& run, DataRoot root, QObject* parent = nullptr);
    // Writes when the state differs from the file's or the heartbeat is due (the run's clock decides).
    void update();
    const PollState& state() const { return state_; }
    qint64 pid = 0; // this process unless a test says otherwise

private:
    PollState current() const;
    PollingRun& run_;
    DataRoot root_;
    PollState state_;
    QStringList lastLines_; // as written, without the time of writing
    QList<PollFailure> failures_;
};

} // namespace tarn::polling
