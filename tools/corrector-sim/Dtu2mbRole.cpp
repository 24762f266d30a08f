#include "Dtu2mbRole.h"

namespace tarn::sim {

namespace {
constexpr int kPageSize = 526;
}

Dtu2mbRole::Dtu2mbRole(Reply reply, QByteArray label, int delayMs)
    : reply_(reply), label_(std::move(label)), delayMs_(delayMs) {}

std::unique_ptr<Role> Dtu2mbRole::fromJson(const QJsonObject& config, QString& error) {
    const QString reply = config.value(QStringLiteral("reply")).toString(QStringLiteral("data"));
    Reply r = Reply::Data;
    if (reply == QLatin1String("short"))
        r = Reply::Short;
    else if (reply == QLatin1String("silent"))
        r = Reply::Silent;
    else if (reply != QLatin1String("data")) {
        error = QStringLiteral("dtu2mb: reply is data, short or silent");
        return nullptr;
    }
    return std::make_unique<Dtu2mbRole>(
        r, config.value(QStringLiteral("label")).toString(QStringLiteral("DTU-2MB 1.0")).toLatin1(),
        config.value(QStringLiteral("delayMs")).toInt(5));
}

quint16 Dtu2mbRole::crc(const QByteArray& bytes) {
    quint16 crc = 0xFFFF;
    for (char c : bytes) {
        crc ^= static_cast<quint8>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001) : static_cast<quint16>(crc >> 1);
    }
    return crc;
}

QByteArray Dtu2mbRole::closeFrame(const QByteArray& body) {
    const quint16 c = static_cast<quint16>(~crc(body));
    QByteArray out = body;
    out.append(static_cast<char>(c & 0xFF));
    out.append(static_cast<char>(c >> 8));
    return out;
}

QByteArray Dtu2mbRole::page(int number) const {
    QByteArray p(kPageSize, '\0');
    for (int i = 0; i < kPageSize; ++i)
        p[i] = static_cast<char>((i * 31 + number * 7 + 5) & 0xFF);
    if (number == 0) p.replace(0, label_.size(), label_);
    return p;
}

void Dtu2mbRole::receive(const QByteArray& bytes, Line& line) {
    buffer_ += bytes;
    if (buffer_.size() > 64) buffer_ = buffer_.right(64);
    if (buffer_.size() < 4) return;
    const QByteArray frame = buffer_.right(4);
    if (closeFrame(frame.left(2)) != frame) return;
    buffer_.clear();
    const quint16 word =
        static_cast<quint16>((static_cast<quint8>(frame.at(0)) << 8) | static_cast<quint8>(frame.at(1)));
    if (!(word & 0x8000)) return; // not a command
    ++requests_;
    switch (reply_) {
    case Reply::Data:
        line.send(closeFrame(page(word & 0x7FFF)), delayMs_);
        break;
    case Reply::Short:
        line.send(frame, delayMs_);
        break;
    case Reply::Silent:
        break;
    }
}

QString Dtu2mbRole::describe() const {
    const char* kinds[] = {"data", "short", "silent"};
    return QStringLiteral("2 MB transfer unit, %1 replies")
        .arg(QLatin1String(kinds[static_cast<int>(reply_)]));
}

} // namespace tarn::sim
