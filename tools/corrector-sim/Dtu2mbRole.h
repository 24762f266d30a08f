#pragma once
// The 2 MB data-transfer unit: {"role": "dtu2mb", "reply": "data" | "short" | "silent", "label": "…",
// "delayMs": 5}. A request is a command word (top bit set, a page number in the low 15 bits), high byte
// first, closed by its CRC-16/MODBUS, low byte first, each byte inverted. "data" answers with the page's
// 526 bytes and their inverted CRC, "short" with the 4-byte short reply (the command word and its CRC
// again), "silent" not at all. Frames with a wrong CRC are ignored.
#include "Role.h"

namespace tarn::sim {

class Dtu2mbRole final : public Role {
public:
    enum class Reply { Data, Short, Silent };
    Dtu2mbRole(Reply reply, QByteArray label, int delayMs);
    static std::unique_ptr<Role> fromJson(const QJsonObject& config, QString& error);

    void receive(const QByteArray& bytes, Line& line) override;
    QString describe() const override;

    // The 526 bytes of a page of the unit's memory.
    QByteArray page(int number) const;
    int requests() const { return requests_; }

    // The unit's CRC-16/MODBUS and the two closing bytes it sends.
    static quint16 crc(const QByteArray& bytes);
    static QByteArray closeFrame(const QByteArray& body);

private:
    Reply reply_;
    QByteArray label_;
    int delayMs_;
    QByteArray buffer_;
    int requests_ = 0;
};

} // namespace tarn::sim
