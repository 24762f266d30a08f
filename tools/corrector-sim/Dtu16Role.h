#pragma once
// The 16-zone data-transfer unit: {"role": "dtu16", "version": "DTU-1-16 v2.05", "zones": [{"status": 3,
// "corrector": {…corrector scenario…}}, {"status": 0}, …], "test": "ok" | "lowSupply" | "fail",
// "erase": "ok" | "lowSupply" | "fail", "faults": {"silence": N, "unitError": FLAGS, "badBlock": [zone,
// block, times]}}. A zone holds the whole memory of the corrector described (its two archive banks as
// four 32 KB regions, with the coefficient area, identification and parameter area at the top of the
// last one, as the unit copies them). A version holding "u208" makes an 8-zone unit.
// Requests are 3 or 5 bytes and the frame check byte; replies start with 0xCC and end with the check
// byte of the bytes before it; a refused request is answered 0xEE, flags, check byte.
#include "CorrectorMemory.h"
#include "Role.h"

#include <QList>
#include <array>

namespace tarn::sim {

class Dtu16Role final : public Role {
public:
    enum class Outcome { Ok, LowSupply, Fail };
    struct Zone {
        quint8 status = 0;
        std::array<QByteArray, 4> regions; // 32 KB each, empty for an empty zone
    };
    static std::unique_ptr<Role> fromJson(const QJsonObject& config, QString& error);

    void receive(const QByteArray& bytes, Line& line) override;
    QString describe() const override;

    // The copy of a corrector's memory as the unit keeps it in a zone.
    static std::array<QByteArray, 4> zoneImage(const CorrectorMemory& memory);
    // The unit's check bytes of a block payload's first 260 bytes.
    static QByteArray blockCheck(const QByteArray& first260);

    int zoneCount() const { return version_.contains("u208") ? 8 : 16; }
    const QList<QByteArray>& requests() const { return requests_; }

private:
    void answer(const QByteArray& request, Line& line);
    QByteArray progress();

    QByteArray version_;
    QList<Zone> zones_;
    Outcome test_ = Outcome::Ok;
    Outcome erase_ = Outcome::Ok;
    int silence_ = 0;
    quint8 unitError_ = 0;
    int badZone_ = -1, badBlock_ = -1, badTimes_ = 0;
    // The unit's own state in the upper bits of the first status byte: 0x80 ready, 0x88 after a test,
    // exactly 0xA0 after an erase.
    quint8 unitState_ = 0x80;
    enum class Running { None, Test, Erase } running_ = Running::None;
    int progress_ = 0;
    QByteArray buffer_;
    QList<QByteArray> requests_;
};

} // namespace tarn::sim
