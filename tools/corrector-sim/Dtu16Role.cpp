#include "Dtu16Role.h"

#include <QJsonArray>

namespace tarn::sim {

namespace {

constexpr int kRegionBytes = 32768;
constexpr quint8 kReplyStart = 0xCC;

quint8 checkByte(const QByteArray& bytes) {
    quint8 sum = 0;
    for (char c : bytes)
        sum = static_cast<quint8>(sum + static_cast<quint8>(c));
    return static_cast<quint8>(~sum);
}

QByteArray sealed(QByteArray bytes) {
    bytes.append(static_cast<char>(checkByte(bytes)));
    return bytes;
}

quint16 byteSum(const QByteArray& bytes) {
    quint16 sum = 0;
    for (char c : bytes)
        sum = static_cast<quint16>(sum + static_cast<quint8>(c));
    return sum;
}

bool outcomeOf(const QJsonObject& config, const char* key, Dtu16Role::Outcome& out, QString& error) {
    const QString v = config.value(QLatin1String(key)).toString(QStringLiteral("ok"));
    if (v == QLatin1String("ok"))
        out = Dtu16Role::Outcome::Ok;
    else if (v == QLatin1String("lowSupply"))
        out = Dtu16Role::Outcome::LowSupply;
    else if (v == QLatin1String("fail"))
        out = Dtu16Role::Outcome::Fail;
    else {
        error =
            QStringLiteral("dtu16: \"") + QLatin1String(key) + QStringLiteral("\" is ok, lowSupply or fail");
        return false;
    }
    return true;
}

} // namespace

std::array<QByteArray, 4> Dtu16Role::zoneImage(const CorrectorMemory& memory) {
    std::array<QByteArray, 4> regions;
    for (int r = 0; r < 4; ++r) {
        QByteArray region;
        for (int p = 0; p < 128; ++p) {
            const int page = r * 128 + p;
            region += memory.archivePage(page >= 256, page % 256);
        }
        regions[r] = region.leftJustified(kRegionBytes, '\0', true);
    }
    QByteArray& top = regions[3];
    // The coefficient area: the 28 calibration words, zeros, and the 16-bit sum of its first 254 bytes.
    QByteArray coefficients;
    for (int w = 157; w < kParameterWords; ++w)
        coefficients += memory.word(w);
    coefficients = coefficients.leftJustified(254, '\0', true);
    const quint16 coefficientSum = byteSum(coefficients);
    coefficients.append(static_cast<char>(coefficientSum & 0xFF));
    coefficients.append(static_cast<char>(coefficientSum >> 8));
    top.replace(0x7C00, 256, coefficients);
    top.replace(0x7D00, 64, memory.identification.leftJustified(64, '\0', true));
    // The parameter area: the first 702 bytes of the parameter memory and their 16-bit sum.
    QByteArray parameters;
    for (int w = 0; w < 176; ++w)
        parameters += memory.word(w);
    parameters.truncate(702);
    const quint16 parameterSum = byteSum(parameters);
    parameters.append(static_cast<char>(parameterSum & 0xFF));
    parameters.append(static_cast<char>(parameterSum >> 8));
    top.replace(32064, 704, parameters);
    return regions;
}

QByteArray Dtu16Role::blockCheck(const QByteArray& first260) {
    quint32 sum = 0;
    for (int i = 0; i + 1 < 260; i += 2) {
        const quint16 w = static_cast<quint16>(static_cast<quint8>(first260.at(i)) |
                                               (static_cast<quint8>(first260.at(i + 1)) << 8));
        sum += static_cast<quint16>(~w);
    }
    const quint32 check = ~sum;
    QByteArray out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<char>((check >> (8 * i)) & 0xFF);
    return out;
}

std::unique_ptr<Role> Dtu16Role::fromJson(const QJsonObject& config, QString& error) {
    auto role = std::make_unique<Dtu16Role>();
    role->version_ =
        config.value(QStringLiteral("version")).toString(QStringLiteral("DTU-1-16 v2.05")).toLatin1();
    const QJsonArray zones = config.value(QStringLiteral("zones")).toArray();
    if (zones.size() > 16) {
        error = QStringLiteral("dtu16: at most 16 zones");
        return nullptr;
    }
    for (int i = 0; i < 16; ++i) {
        Zone z;
        if (i < zones.size()) {
            const QJsonObject o = zones.at(i).toObject();
            z.status = static_cast<quint8>(o.value(QStringLiteral("status")).toInt(0));
            if (o.contains(QStringLiteral("corrector"))) {
                CorrectorMemory memory;
                if (!memory.load(o.value(QStringLiteral("corrector")).toObject(), error)) {
                    error = QStringLiteral("dtu16: zone %1: ").arg(i + 1) + error;
                    return nullptr;
                }
                z.regions = zoneImage(memory);
            }
        }
        role->zones_.append(z);
    }
    if (!outcomeOf(config, "test", role->test_, error) || !outcomeOf(config, "erase", role->erase_, error))
        return nullptr;
    const QJsonObject f = config.value(QStringLiteral("faults")).toObject();
    role->silence_ = f.value(QStringLiteral("silence")).toInt(0);
    role->unitError_ = static_cast<quint8>(f.value(QStringLiteral("unitError")).toInt(0));
    const QJsonArray bad = f.value(QStringLiteral("badBlock")).toArray();
    if (bad.size() == 3) {
        role->badZone_ = bad.at(0).toInt() - 1;
        role->badBlock_ = bad.at(1).toInt();
        role->badTimes_ = bad.at(2).toInt();
    }
    return role;
}

QString Dtu16Role::describe() const {
    return QStringLiteral("transfer unit ") + QString::fromLatin1(version_) +
           QStringLiteral(", %1 zones").arg(zoneCount());
}

void Dtu16Role::receive(const QByteArray& bytes, Line& line) {
    buffer_ += bytes;
    while (!buffer_.isEmpty()) {
        const int length = (static_cast<quint8>(buffer_.at(0)) & 0x80) ? 6 : 4;
        if (buffer_.size() < length) return;
        const QByteArray frame = buffer_.left(length);
        if (checkByte(frame.left(length - 1)) != static_cast<quint8>(frame.at(length - 1))) {
            buffer_.remove(0, 1); // not a frame start: look further on
            continue;
        }
        buffer_.remove(0, length);
        answer(frame.left(length - 1), line);
    }
}

QByteArray Dtu16Role::progress() {
    QByteArray p(4, '\0');
    const Outcome outcome = running_ == Running::Test ? test_ : erase_;
    progress_ = qMin(100, progress_ + 50);
    const bool done = progress_ >= 100;
    if (outcome == Outcome::LowSupply) p[1] = 0x40;
    if (outcome == Outcome::Fail && done) p[1] = 0x08;
    if (!done || outcome == Outcome::Fail) p[0] = static_cast<char>(running_ == Running::Test ? 0x08 : 0x10);
    p[2] = static_cast<char>(progress_);
    if (done && outcome == Outcome::Ok) {
        if (running_ == Running::Test) {
            unitState_ = 0x88;
        } else {
            unitState_ = 0xA0;
            for (Zone& z : zones_)
                z = Zone{};
        }
        running_ = Running::None;
    }
    return p;
}

void Dtu16Role::answer(const QByteArray& request, Line& line) {
    requests_.append(request);
    if (silence_ > 0) {
        --silence_;
        return;
    }
    if (unitError_) {
        line.send(sealed(QByteArray(1, static_cast<char>(0xEE)) + static_cast<char>(unitError_)));
        unitError_ = 0;
        return;
    }
    const quint8 first = static_cast<quint8>(request.at(0));
    QByteArray payload;
    if (first & 0x80) {
        // Start the test (80 01 02 3C C3) or the erase (80 03 02 55 AA).
        running_ = request.at(1) == 0x01 ? Running::Test : Running::Erase;
        progress_ = 0;
        payload = QByteArray(1, request.at(1));
    } else if (first == 0x00 && request.at(1) == 0x00) {
        payload = version_.leftJustified(static_cast<quint8>(request.at(2)), '\0', true);
    } else if (first == 0x00 && request.at(1) == 0x03) {
        const int count = static_cast<quint8>(request.at(2));
        for (int i = 0; i < count; ++i)
            payload.append(static_cast<char>(i < zones_.size() ? zones_.at(i).status : 0));
        if (!payload.isEmpty())
            payload[0] = static_cast<char>(
                unitState_ == 0xA0 ? 0xA0 : (static_cast<quint8>(payload.at(0)) | unitState_));
    } else if (first == 0x00 && request.at(1) == 0x01) {
        payload = progress();
    } else if (first & 0x20) {
        const int page = ((first & 0x1F) << 8) | static_cast<quint8>(request.at(1));
        const int zone = page / 512, block = page % 512;
        QByteArray memory(256, '\0');
        if (zone < zones_.size() && !zones_.at(zone).regions[0].isEmpty())
            for (int r = 0; r < 4; ++r)
                memory.replace(r * 64, 64, zones_.at(zone).regions[r].mid(block * 64, 64));
        payload = memory + QByteArray(4, '\0');
        QByteArray check = blockCheck(payload);
        if (zone == badZone_ && block == badBlock_ && badTimes_ > 0) {
            --badTimes_;
            check[0] = static_cast<char>(check.at(0) ^ 0x5A);
        }
        payload += check;
    } else {
        line.send(sealed(QByteArray(1, static_cast<char>(0xEE)) + static_cast<char>(0x10)));
        return;
    }
    line.send(sealed(QByteArray(1, static_cast<char>(kReplyStart)) + payload));
}

} // namespace tarn::sim
