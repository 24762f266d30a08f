#pragma once
// A simulated corrector on the line: {"role": "corrector", "preset": "series1" (Presets.h), "address": 1,
// "serial": 4123, "identification": "…", "passwords": ["1111", …], "clockOffsetSec": 0, "words": […],
// "measurements": {…}, "archive": {"start": "01.03.2024 00:00", "hours": 48, "flow": 10, "profile": [24
// factors]}, "archiveBytes": […], "alarmPending": false, "faults": {…}}. It answers only requests to its own
// address (1..14, so one line carries 14 correctors at most), frames them from the byte stream, and encodes
// every answer from its own memory (CorrectorMemory).
//
// The clock runs "clockOffsetSec" seconds off the computer's (-900: a quarter of an hour behind). Writing
// the clock correction (item 18, code 0x93, -9..9 minutes, under any password) keeps the value in word 5
// and moves the clock by that many minutes; writing the date and time (code 0x94) sets it outright. Item
// writes leave the archives alone: no interference record is made for them. The generated archive never
// grows by itself: its pointers stay where the scenario put them, run after run.
//
// The archives that keep events, and the operative archive, each filled from record 0 on (round the ring
// when the list is longer) with the archive's pointer on the last record; times are "dd.MM.yyyy HH:mm":
//   "abnormal": [{"at": "…", "current": situation word, "previous": situation word, "volume": m³,
//                 "standardVolume": m³}, …]
//   "interference": [{"at": "…", "code": change code 0..255, "kind": 0..7, "by": 0..15 (1..7 operator A ..
//                     verifier, 8 and up not known), "before": "0000C842", "after": "00004843"}, …] (the
//                     4 bytes the corrector keeps for each value, 8 hexadecimal digits)
//   "service": [{"at": "…", "current": code, "previous": code}, …]
//   "operative": {"start": "…", "count": N, "stepMinutes": M, "flow": raw flow value 0..65535,
//                 "counterStep": pulses a record} (pressure, temperature and correction factor from the
//                 measurements; the newest record's meter counter is word 97's)
//
// A calibration model also answers the two raw frames of the calibration permission (see
// permissionReply); the faults below apply to them as to any request.
//
// Faults: "silence" N (the next N requests get no answer; 1000000 is a corrector that never answers),
// "badChecksum" N, "extraByte" N, "status" S with "statusCount" N (refusals with that status byte),
// "chunks" [sizes] with "chunkMs", "replyDelayMs", "changingWords" [indices] (changed before every page
// read), "identificationChanges" N (the next N identification reads differ from each other), "noise" N
// with "noiseBytes" K (K bytes 0xFF before the next N replies), "alarmAtMs" T with "alarmSplit" and
// "alarmSplitMs" (the alarm notice sent on its own), "badRecordPages" [{"bank": "low"|"high", "page": P,
// "record": R, "times": T}] (the first T times archive page P of that bank is sent, its record R carries a
// spoilt check byte; the memory keeps it right; the hourly archive is low pages 52..255, 8 records a page,
// and a large T spoils the record for good).
#include "CorrectorMemory.h"
#include "Role.h"

#include <vector>

namespace tarn::sim {

struct CorrectorFaults {
    int silence = 0;
    int badChecksum = 0;
    int extraByte = 0;
    quint8 status = 0;
    int statusCount = 0;
    std::vector<int> chunks;
    int chunkMs = 0;
    int replyDelayMs = 0;
    QList<int> changingWords;
    int identificationChanges = 0;
    int noise = 0;
    int noiseBytes = 1;
    qint64 alarmAtMs = -1;
    bool alarmSplit = false;
    int alarmSplitMs = 30;
    struct BadRecordPage {
        bool high;
        int page;
        int record;
        int times; // sends left with the spoilt record
    };
    std::vector<BadRecordPage> badRecordPages;
};

class CorrectorRole final : public Role {
public:
    CorrectorRole() = default;
    static std::unique_ptr<Role> fromJson(const QJsonObject& config, QString& error);

    void receive(const QByteArray& bytes, Line& line) override;
    void tick(Line& line) override;
    QString describe() const override;

    CorrectorMemory& memory() { return memory_; }
    CorrectorFaults& faults() { return faults_; }
    bool alarmPending = false;
    // Requests to this corrector, answered or not.
    int requests() const { return requests_; }

    // The reply frame to one complete request frame (before faults); empty for silence.
    QByteArray replyTo(const QByteArray& request);

    static const QByteArray& alarmNotice();

private:
    QByteArray frameReply(quint8 status, const QByteArray& payload) const;
    // The calibration permission's raw frames, sent at device address 0: the unlock (80 03 02, value,
    // check byte; granted at the verifier's level when the value is the low plus the high half of word
    // 70) and the flags check (40 04 04: word 4 back). Only calibration models answer them.
    static bool isPermissionFrame(const QByteArray& request);
    QByteArray permissionReply(const QByteArray& request);
    QByteArray readReply(quint8 address, int count);
    QByteArray itemRead(quint8 code, int count);
    quint8 itemWrite(quint8 code, const QByteArray& data);
    void handle(const QByteArray& request, Line& line);
    // Spoils the check byte of a record in an archive page reply, as badRecordPages asks.
    void spoilRecord(const QByteArray& request, QByteArray& reply);

    CorrectorMemory memory_;
    CorrectorFaults faults_;
    QByteArray buffer_;
    qint64 lastByteMs_ = 0;
    int requests_ = 0;
    int identificationReads_ = 0;
    int pageReads_ = 0;
    bool alarmSent_ = false;
};

} // namespace tarn::sim
