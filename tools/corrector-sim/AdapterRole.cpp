#include "AdapterRole.h"

namespace tarn::sim {

namespace {

// The request the adapter answers and the size of its text.
const QByteArray kRequest = QByteArray::fromHex("000020DF");
constexpr int kTextSize = 32;

quint8 checkByte(const QByteArray& bytes) {
    unsigned sum = 0;
    for (char c : bytes)
        sum += static_cast<quint8>(c);
    return static_cast<quint8>(255 - (sum % 256));
}

} // namespace

AdapterRole::AdapterRole(QByteArray text, quint8 status, int delayMs)
    : text_(std::move(text)), status_(status), delayMs_(delayMs) {}

std::unique_ptr<Role> AdapterRole::fromJson(const QJsonObject& config, QString& error) {
    const QString text = config.value(QStringLiteral("text")).toString(QStringLiteral("USB-DTU adapter 2.1"));
    const int status = config.value(QStringLiteral("status")).toInt(0);
    if (text.size() > kTextSize || status < 0 || status > 255) {
        error = QStringLiteral("adapter: text of at most 32 characters, status 0..255");
        return nullptr;
    }
    return std::make_unique<AdapterRole>(text.toLatin1(), static_cast<quint8>(status),
                                         config.value(QStringLiteral("delayMs")).toInt(5));
}

QByteArray AdapterRole::reply() const {
    QByteArray r(1, static_cast<char>(status_));
    r += text_.leftJustified(kTextSize, ' ', true);
    r.append(static_cast<char>(checkByte(r)));
    return r;
}

void AdapterRole::receive(const QByteArray& bytes, Line& line) {
    buffer_ += bytes;
    if (buffer_.size() > 64) buffer_ = buffer_.right(64);
    if (!buffer_.endsWith(kRequest)) return;
    buffer_.clear();
    line.send(reply(), delayMs_);
}

QString AdapterRole::describe() const {
    return QStringLiteral("USB adapter \"%1\"").arg(QString::fromLatin1(text_));
}

} // namespace tarn::sim
