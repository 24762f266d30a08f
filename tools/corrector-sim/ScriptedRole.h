#pragma once
// A device that answers fixed requests with fixed replies: {"role": "scripted", "replies": [{"request":
// "02 00 20 DD", "reply": "00 …", "delayMs": 0, "chunkMs": 0, "chunks": [3, 10]}]}. A reply is sent when the
// bytes received since the last answer end with its request. "chunks" splits the reply at those sizes,
// "chunkMs" apart. Requests nobody lists are ignored (silence).
#include "Role.h"

#include <vector>

namespace tarn::sim {

class ScriptedRole final : public Role {
public:
    struct Entry {
        QByteArray request;
        QByteArray reply;
        int delayMs = 0;
        int chunkMs = 0;
        std::vector<int> chunks;
    };
    explicit ScriptedRole(std::vector<Entry> entries) : entries_(std::move(entries)) {}
    static std::unique_ptr<Role> fromJson(const QJsonObject& config, QString& error);

    void receive(const QByteArray& bytes, Line& line) override;
    QString describe() const override;
    int answered() const { return answered_; }

private:
    std::vector<Entry> entries_;
    QByteArray buffer_;
    int answered_ = 0;
};

// Sends a reply as configured chunks.
void sendInChunks(Line& line, const QByteArray& reply, int delayMs, const std::vector<int>& chunks,
                  int chunkMs);
// "02 00 20 DD" or "020020DD" → bytes; false on anything that is not hexadecimal.
bool parseHex(const QString& text, QByteArray& out);

} // namespace tarn::sim
