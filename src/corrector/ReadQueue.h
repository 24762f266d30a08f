#pragma once
// The read queue of the read window: the kinds of data one read run takes one after the other. Kind 24
// ("ЧИТАТЬ ВСЕ") reads the kinds ticked in the read-selection window, kind 26 the selective read's
// kinds, and any other kind is read after the parameters (kind 1), which are always read first.
#include <QString>
#include <array>

namespace tarn::corrector {

inline constexpr int kMaxReadKind = 27;

namespace read_kind {
inline constexpr int Parameters = 1;
inline constexpr int Hourly = 3;
inline constexpr int Daily = 4;
inline constexpr int Monthly = 5;
inline constexpr int Alarm = 6;
inline constexpr int Interference = 7;
inline constexpr int AlarmState = 8; // no request of its own
inline constexpr int Operative = 9;
inline constexpr int Service = 10;
inline constexpr int CurrentHour = 11; // no request of its own
inline constexpr int Version = 12;
inline constexpr int Clock = 14;
inline constexpr int Measurement = 15;
inline constexpr int Voltage = 16;
inline constexpr int ReadAll = 24;
inline constexpr int Selective = 26;
} // namespace read_kind

// The kinds of the 13 read-selection boxes, in the order the window lists them and the settings file
// stores them.
inline constexpr std::array<int, 13> kReadChoiceKinds = {3, 4, 5, 6, 7, 9, 12, 14, 16, 15, 10, 11, 8};

// Kinds that have a first request (or an archive reader). Kinds 8 and 11 have none and would stall
// the queue, so they are never queued.
bool isQueueableKind(int kind);

// The label the read window shows for a kind; empty for kinds without one.
QString ReadKindLabel(int kind, int languageIndex);

class ReadQueue {
public:
    // Prepares a run for the kind asked for; readChoice is the 13-character "1"/"0" line of the link
    // settings (used by kind 24; missing characters count as unticked).
    void fill(int requestedKind, const QString& readChoice);

    // Takes the lowest pending kind as the current kind. Returns true when nothing is pending any more
    // (the current kind is then 0).
    bool NextPendingKind();

    // Clears what is pending (Stop, Esc and "НЕТ"); the kind in flight stays current.
    void stop();

    bool pending(int kind) const { return valid(kind) && pending_[kind]; }
    bool done(int kind) const { return valid(kind) && done_[kind]; }
    int requestedKind() const { return requestedKind_; }
    int currentKind() const { return currentKind_; }
    // True for the first kind of a run (the gauge starts from 0).
    bool isFirstKind() const { return taken_ == 1; }
    int pendingCount() const;

private:
    static bool valid(int kind) { return kind >= 1 && kind <= kMaxReadKind; }
    void mark(int kind);

    std::array<bool, kMaxReadKind + 1> pending_{};
    std::array<bool, kMaxReadKind + 1> done_{};
    int requestedKind_ = 0;
    int currentKind_ = 0;
    int taken_ = 0;
};

} // namespace tarn::corrector
