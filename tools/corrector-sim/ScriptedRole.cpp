#include "ScriptedRole.h"

#include <QJsonArray>

namespace tarn::sim {

bool parseHex(const QString& text, QByteArray& out) {
    QString t = text;
    t.remove(QLatin1Char(' '));
    if (t.size() % 2) return false;
    for (QChar c : t)
        if (!c.isDigit() && !(c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f')))
            return false;
    out = QByteArray::fromHex(t.toLatin1());
    return true;
}

void sendInChunks(Line& line, const QByteArray& reply, int delayMs, const std::vector<int>& chunks,
                  int chunkMs) {
    qsizetype at = 0;
    int delay = delayMs;
    for (int size : chunks) {
        if (at >= reply.size()) break;
        if (size <= 0) continue;
        line.send(reply.mid(at, size), delay);
        at += size;
        delay = chunkMs;
    }
    if (at < reply.size()) line.send(reply.mid(at), delay);
}

std::unique_ptr<Role> ScriptedRole::fromJson(const QJsonObject& config, QString& error) {
    std::vector<Entry> entries;
    for (const auto& v : config.value(QStringLiteral("replies")).toArray()) {
        const QJsonObject o = v.toObject();
        Entry e;
        if (!parseHex(o.value(QStringLiteral("request")).toString(), e.request) || e.request.isEmpty() ||
            !parseHex(o.value(QStringLiteral("reply")).toString(), e.reply)) {
            error = QStringLiteral("scripted: request and reply must be hexadecimal");
            return nullptr;
        }
        e.delayMs = o.value(QStringLiteral("delayMs")).toInt();
        e.chunkMs = o.value(QStringLiteral("chunkMs")).toInt();
        for (const auto& c : o.value(QStringLiteral("chunks")).toArray())
            e.chunks.push_back(c.toInt());
        entries.push_back(std::move(e));
    }
    return std::make_unique<ScriptedRole>(std::move(entries));
}

void ScriptedRole::receive(const QByteArray& bytes, Line& line) {
    buffer_ += bytes;
    if (buffer_.size() > 4096) buffer_ = buffer_.right(4096);
    for (const Entry& e : entries_) {
        if (!buffer_.endsWith(e.request)) continue;
        buffer_.clear();
        ++answered_;
        sendInChunks(line, e.reply, e.delayMs, e.chunks, e.chunkMs);
        return;
    }
}

QString ScriptedRole::describe() const {
    return QStringLiteral("scripted device, %1 replies").arg(entries_.size());
}

} // namespace tarn::sim
