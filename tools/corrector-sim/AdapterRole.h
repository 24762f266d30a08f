#pragma once
// The USB adapter of the transfer unit: {"role": "adapter", "text": "USB-DTU 2.1", "status": 0,
// "delayMs": 5}. It answers the identification request at device address 0 (00 00 20 DF) with the status
// byte, 32 bytes of its text (padded with blanks, Windows-1251) and the check byte.
#include "Role.h"

namespace tarn::sim {

class AdapterRole final : public Role {
public:
    AdapterRole(QByteArray text, quint8 status, int delayMs);
    static std::unique_ptr<Role> fromJson(const QJsonObject& config, QString& error);

    void receive(const QByteArray& bytes, Line& line) override;
    QString describe() const override;

    // The reply the adapter gives.
    QByteArray reply() const;

private:
    QByteArray text_;
    quint8 status_;
    int delayMs_;
    QByteArray buffer_;
};

} // namespace tarn::sim
