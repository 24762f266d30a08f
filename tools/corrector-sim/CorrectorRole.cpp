#include "CorrectorRole.h"

#include "ScriptedRole.h"
#include "link/FrameChecksum.h"

#include <QJsonArray>
#include <cmath>
#include <cstring>
#include <optional>

namespace tarn::sim {

namespace {

// The corrector's own table of programmable items: code, kind, range, the access levels that may write
// it (bit L for level L) and its place in the parameter memory.
enum class Kind { Byte, SignedByte, Mask16, Int32, Float, DateTime, Flag, Choice, Text32, Hour };
struct Item {
    quint8 code;
    Kind kind;
    double min, max;
    int levels;
    int word;
    int byte;   // first byte within the word
    quint8 bit; // flag items
};
constexpr int L1234 = 0b11110, L234 = 0b11100, L34 = 0b11000, L4 = 0b10000, L14 = 0b10010, L24 = 0b10100;
constexpr Item kItems[] = {
    {0x82, Kind::Float, 0.54, 1.051, L1234, 51, 0, 0}, {0x83, Kind::Float, 0, 15.01, L1234, 52, 0, 0},
    {0x84, Kind::Float, 0, 15.01, L1234, 53, 0, 0},    {0x81, Kind::Float, 0.7, 1.3, L34, 56, 0, 0},
    {0x80, Kind::Choice, 0, 3, L34, 2, 2, 0},          {0x85, Kind::Float, 0, 10.1, L234, 66, 0, 0},
    {0x86, Kind::Byte, 0, 5, L234, 7, 3, 0},           {0x87, Kind::Flag, 0, 1, L234, 6, 1, 0x02},
    {0x8B, Kind::Float, 0, 72000.01, L34, 60, 0, 0},   {0x89, Kind::Float, 0, 720000, L34, 58, 0, 0},
    {0x8D, Kind::Int32, 0, 1e9, L34, 97, 0, 0},        {0x8A, Kind::Float, 0, 80000.01, L34, 59, 0, 0},
    {0x8C, Kind::Float, 0, 8000.01, L34, 61, 0, 0},    {0x8E, Kind::Int32, 1, 1e8, L34, 100, 0, 0},
    {0x88, Kind::Choice, 0, 4, L34, 2, 1, 0},          {0x94, Kind::DateTime, 0, 0, L34, -1, 0, 0},
    {0x93, Kind::SignedByte, -9, 9, L1234, 5, 1, 0},   {0x92, Kind::Byte, 5, 99, L1234, 1, 0, 0},
    {0x90, Kind::Hour, 0, 23, L234, 1, 2, 0},          {0x91, Kind::SignedByte, -11, 28, L234, 1, 3, 0},
    {0x95, Kind::Flag, 0, 1, L34, 2, 0, 0x01},         {0x98, Kind::Choice, 0, 4, L234, 2, 3, 0},
    {0x96, Kind::Float, 0.01, 25, L234, 64, 0, 0},     {0x97, Kind::Float, 0.99, 50, L234, 65, 0, 0},
    {0x9A, Kind::Choice, 0, 7, L234, 3, 1, 0},         {0x9B, Kind::Byte, 0, 13, L234, 3, 0, 0},
    {0x9C, Kind::Flag, 0, 1, L234, 2, 0, 0x04},        {0xAF, Kind::Choice, 0, 7, L234, 4, 3, 0},
    {0xA8, Kind::Float, 0.05, 65, L34, 45, 0, 0},      {0xA9, Kind::Float, 0.05, 65, L34, 46, 0, 0},
    {0xAC, Kind::Float, -60, 70, L34, 49, 0, 0},       {0xAB, Kind::Float, -60, 70, L34, 48, 0, 0},
    {0xAA, Kind::Float, 0.05, 65, L234, 47, 0, 0},     {0xAD, Kind::Float, -60, 70, L234, 50, 0, 0},
    {0xAE, Kind::Float, 0, 100000, L234, 71, 0, 0},    {0xF0, Kind::Mask16, 0, 65535, L234, 26, 0, 0},
    {0xA2, Kind::Flag, 0, 1, L34, 2, 0, 0x02},         {0xA1, Kind::Float, 1, 2, L4, 55, 0, 0},
    {0xA0, Kind::Float, 15, 25, L4, 54, 0, 0},         {0xA3, Kind::Flag, 0, 1, L234, 2, 0, 0x08},
    {0xA4, Kind::Float, 0, 5, L234, 62, 0, 0},         {0xA5, Kind::Float, 0, 5, L234, 67, 0, 0},
    {0xFC, Kind::Text32, 0, 0, L34, 121, 0, 0},        {0xFB, Kind::Text32, 0, 0, L34, 113, 0, 0},
    {0xFA, Kind::Text32, 0, 0, L34, 105, 0, 0},        {0xFD, Kind::Text32, 0, 0, L34, 129, 0, 0},
    {0xB8, Kind::Int32, 0, 9999, L14, -1, 0, 0},       {0xB9, Kind::Int32, 0, 9999, L14, -1, 0, 0},
    {0xBA, Kind::Int32, 0, 9999, L14, -1, 0, 0},       {0xBB, Kind::Int32, 0, 9999, L14, -1, 0, 0},
    {0xBC, Kind::Int32, 0, 9999, L24, -1, 0, 0},       {0xBD, Kind::Int32, 0, 9999, L24, -1, 0, 0},
    {0xBE, Kind::Int32, 0, 9999, L34, -1, 0, 0},       {0x8F, Kind::Int32, 0, 1e9, L34, 102, 0, 0},
    {0x9D, Kind::Choice, 0, 7, L234, 3, 3, 0},         {0x9E, Kind::Flag, 0, 1, L234, 2, 0, 0x10},
    {0xC0, Kind::Choice, 0, 255, L234, 5, 0, 0},       {0xC1, Kind::Choice, 0, 1, 0, 6, 3, 0},
    {0xF1, Kind::Float, 0, 1, L1234, 42, 0, 0},        {0xF2, Kind::Int32, 0, 1e9, L234, 104, 0, 0},
    {0xF3, Kind::Flag, 0, 1, L234, 6, 1, 0x10},
};

// Models with a coefficient table answer its entries as float items in words 145..184 (the meter table
// takes over code 0xC1 from the language item); calibration models keep the meter pulse coefficient of
// word 57 under the code that otherwise carries the pulse-weight index.
constexpr quint8 kMeterSpareCodes[] = {0xCA, 0xCB, 0xCD, 0xCE}; // words 153..156

std::optional<Item> findItem(quint8 code, CoefficientTable table) {
    if (table != CoefficientTable::None) {
        int word = -1;
        if (code >= 0xD0 && code <= 0xEB) word = 157 + (code - 0xD0);
        if (table == CoefficientTable::Meter) {
            if (code >= 0xC1 && code <= 0xC8) word = 145 + (code - 0xC1);
            for (int i = 0; i < 4; ++i)
                if (code == kMeterSpareCodes[i]) word = 153 + i;
        }
        if (word >= 0) return Item{code, Kind::Float, -3.0e38, 3.0e38, L4, word, 0, 0};
        if (table == CoefficientTable::Calibration && code == 0x88)
            return Item{code, Kind::Float, 499.9, 30000.1, L4, 57, 0, 0};
    }
    for (const Item& i : kItems)
        if (i.code == code) return i;
    return std::nullopt;
}

// The clock correction (item 18): the corrector keeps the value written and moves its clock by that many
// minutes, which is how a polling run sets a clock that has wandered off.
constexpr quint8 kClockCorrection = 0x93;

constexpr quint8 kPasswordFirst = 0xB0, kPasswordLast = 0xB6;
constexpr quint8 kPasswordChangeFirst = 0xB8;
// Access level opened by password slot k: operators A, B, C; masters E, F; configurator; verifier.
constexpr int kSlotLevel[] = {1, 1, 1, 2, 2, 3, 4};

constexpr quint8 kStatusRefusedLevel = 0x40;
constexpr quint8 kStatusBadCommand = 0x20;
constexpr quint8 kStatusBadValue = 0x08;
constexpr quint8 kStatusWrongSerial = 0x28;
// Calibration flags (word 4 byte 1): 0x01 the permission granted by the unlock frame stands.
constexpr quint8 kPermissionStands = 0x01;

qint32 readInt32(const QByteArray& b, int at) {
    quint32 v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<quint8>(b.at(at + i));
    return static_cast<qint32>(v);
}

float readFloat(const QByteArray& b, int at) {
    const auto bits = static_cast<quint32>(readInt32(b, at));
    float f = 0;
    std::memcpy(&f, &bits, 4);
    return f;
}

} // namespace

const QByteArray& CorrectorRole::alarmNotice() {
    static const QByteArray notice = QByteArray::fromHex("9E0601310F89");
    return notice;
}

std::unique_ptr<Role> CorrectorRole::fromJson(const QJsonObject& config, QString& error) {
    auto role = std::make_unique<CorrectorRole>();
    if (!role->memory_.load(config, error)) return nullptr;
    role->alarmPending = config.value(QStringLiteral("alarmPending")).toBool(false);
    const QJsonObject f = config.value(QStringLiteral("faults")).toObject();
    CorrectorFaults& faults = role->faults_;
    faults.silence = f.value(QStringLiteral("silence")).toInt(0);
    faults.badChecksum = f.value(QStringLiteral("badChecksum")).toInt(0);
    faults.extraByte = f.value(QStringLiteral("extraByte")).toInt(0);
    faults.status = static_cast<quint8>(f.value(QStringLiteral("status")).toInt(0));
    faults.statusCount = f.value(QStringLiteral("statusCount")).toInt(faults.status ? 1 : 0);
    for (const auto& c : f.value(QStringLiteral("chunks")).toArray())
        faults.chunks.push_back(c.toInt());
    faults.chunkMs = f.value(QStringLiteral("chunkMs")).toInt(0);
    faults.replyDelayMs = f.value(QStringLiteral("replyDelayMs")).toInt(0);
    for (const auto& w : f.value(QStringLiteral("changingWords")).toArray())
        faults.changingWords.append(w.toInt());
    faults.identificationChanges = f.value(QStringLiteral("identificationChanges")).toInt(0);
    faults.noise = f.value(QStringLiteral("noise")).toInt(0);
    faults.noiseBytes = std::clamp(f.value(QStringLiteral("noiseBytes")).toInt(1), 1, 256);
    faults.alarmAtMs = f.value(QStringLiteral("alarmAtMs")).toInteger(-1);
    faults.alarmSplit = f.value(QStringLiteral("alarmSplit")).toBool(false);
    faults.alarmSplitMs = f.value(QStringLiteral("alarmSplitMs")).toInt(30);
    const QJsonArray bad = f.value(QStringLiteral("badRecordPages")).toArray();
    for (int i = 0; i < bad.size(); ++i) {
        const QJsonObject o = bad.at(i).toObject();
        const QString where = QStringLiteral("corrector: badRecordPages entry %1: ").arg(i);
        const QString bank = o.value(QStringLiteral("bank")).toString();
        if (bank != QLatin1String("low") && bank != QLatin1String("high")) {
            error = where + QStringLiteral("\"bank\" is \"low\" or \"high\"");
            return nullptr;
        }
        const bool high = bank == QLatin1String("high");
        const int page = o.value(QStringLiteral("page")).toInt(-1);
        const ArchiveArea* area = areaOfPage(high, page);
        if (!area) {
            error = where + QStringLiteral("\"page\" is an archive page 0..255");
            return nullptr;
        }
        const int records = recordsOnPage(*area, page);
        const int record = o.value(QStringLiteral("record")).toInt(-1);
        if (record < 0 || record >= records) {
            error = where + QStringLiteral("\"record\" is 0..%1 on that page").arg(records - 1);
            return nullptr;
        }
        const int times = o.value(QStringLiteral("times")).toInt(1);
        if (times < 0) {
            error = where + QStringLiteral("\"times\" is not negative");
            return nullptr;
        }
        faults.badRecordPages.push_back({high, page, record, times});
    }
    return role;
}

QString CorrectorRole::describe() const {
    QString text =
        QStringLiteral("corrector at address %1, serial %2").arg(memory_.address).arg(memory_.serial);
    if (!memory_.preset.isEmpty()) text += QStringLiteral(", preset %1").arg(memory_.preset);
    return text;
}

void CorrectorRole::receive(const QByteArray& bytes, Line& line) {
    const qint64 now = line.nowMs();
    memory_.lineTime = line.now();
    // A request arrives in one go; a pause means what was gathered is a broken one.
    if (now - lastByteMs_ > 500) buffer_.clear();
    lastByteMs_ = now;
    buffer_ += bytes;
    if (buffer_.size() > 4096) buffer_ = buffer_.right(4096);
    while (buffer_.size() >= 4) {
        const auto head = static_cast<quint8>(buffer_.at(0));
        qsizetype length = 4;
        if ((head & 0xE1) == 0x80) {
            const int n = static_cast<quint8>(buffer_.at(2));
            length = 3 + (n == 0 ? 256 : n) + 1;
        }
        if (buffer_.size() < length) break;
        const QByteArray frame = buffer_.left(length);
        if (link::frameChecksum(frame.constData(), length - 1) != static_cast<quint8>(frame.at(length - 1))) {
            buffer_.remove(0, 1); // not a frame start: look further
            continue;
        }
        buffer_.remove(0, length);
        handle(frame, line);
    }
}

void CorrectorRole::handle(const QByteArray& request, Line& line) {
    const int address = (static_cast<quint8>(request.at(0)) >> 1) & 0x0F;
    // Only a calibration model takes the permission frames; others let them pass like any other address.
    const bool permission = address == 0 && isPermissionFrame(request) &&
                            memory_.coefficientTable() == CoefficientTable::Calibration;
    if (address != memory_.address && !permission) return;
    ++requests_;
    if (faults_.silence > 0) {
        --faults_.silence;
        return;
    }
    QByteArray reply = permission ? permissionReply(request) : replyTo(request);
    if (reply.isEmpty()) return;
    if (faults_.statusCount > 0 && reply != alarmNotice()) {
        --faults_.statusCount;
        reply = frameReply(faults_.status, {});
    }
    spoilRecord(request, reply);
    if (faults_.badChecksum > 0) {
        --faults_.badChecksum;
        reply.back() = static_cast<char>(reply.back() ^ 0x5A);
    }
    if (faults_.extraByte > 0) {
        --faults_.extraByte;
        reply.append('\0');
    }
    if (faults_.noise > 0) {
        --faults_.noise;
        reply.prepend(QByteArray(faults_.noiseBytes, '\xFF'));
    }
    sendInChunks(line, reply, faults_.replyDelayMs, faults_.chunks, faults_.chunkMs);
}

bool CorrectorRole::isPermissionFrame(const QByteArray& request) {
    return request.startsWith(QByteArray::fromHex("800302")) ||
           request.startsWith(QByteArray::fromHex("400404"));
}

QByteArray CorrectorRole::permissionReply(const QByteArray& request) {
    if (request.startsWith(QByteArray::fromHex("400404"))) return frameReply(0, memory_.word(4));
    // The unlock value: the low and the high half of the initialisation time (word 70) added.
    const auto time = static_cast<quint32>(memory_.intAt(70));
    const auto expected = static_cast<quint16>((time & 0xFFFF) + (time >> 16));
    const auto value =
        static_cast<quint16>(static_cast<quint8>(request.at(3)) | (static_cast<quint8>(request.at(4)) << 8));
    if (memory_.accessLevel != 4 || value != expected) return frameReply(kStatusBadValue, {});
    memory_.setByteAt(4, 1, memory_.byteAt(4, 1) | kPermissionStands);
    return frameReply(0, {});
}

void CorrectorRole::spoilRecord(const QByteArray& request, QByteArray& reply) {
    const quint8 op = static_cast<quint8>(request.at(0)) & 0xE1;
    if (op != 0x20 && op != 0x21) return;
    // Only a page that goes out spoils: a refusal in its place leaves the count as it is.
    if (reply.size() != 1 + kArchivePageSize + 1 || reply.at(0) != 0) return;
    const bool high = op == 0x21;
    const int page = static_cast<quint8>(request.at(1));
    const ArchiveArea* area = areaOfPage(high, page);
    if (!area) return;
    QList<int> records;
    for (auto& bad : faults_.badRecordPages) {
        if (bad.high != high || bad.page != page || bad.times <= 0) continue;
        --bad.times;
        if (!records.contains(bad.record)) records.append(bad.record);
    }
    if (records.isEmpty()) return;
    for (int record : records) {
        // The record's check byte no longer makes its sum zero; the frame around it stays sound.
        const qsizetype check = 1 + qsizetype(record + 1) * area->recordSize - 1;
        reply[check] = static_cast<char>(reply.at(check) ^ 0x5A);
    }
    reply = link::withFrameChecksum(reply.left(reply.size() - 1));
}

void CorrectorRole::tick(Line& line) {
    if (faults_.alarmAtMs < 0 || alarmSent_ || line.nowMs() < faults_.alarmAtMs) return;
    alarmSent_ = true;
    if (faults_.alarmSplit) {
        line.send(alarmNotice().left(3));
        line.send(alarmNotice().mid(3), faults_.alarmSplitMs);
    } else {
        line.send(alarmNotice());
    }
}

QByteArray CorrectorRole::frameReply(quint8 status, const QByteArray& payload) const {
    QByteArray f;
    f.append(static_cast<char>(status));
    f.append(payload);
    return link::withFrameChecksum(f);
}

QByteArray CorrectorRole::replyTo(const QByteArray& request) {
    const auto head = static_cast<quint8>(request.at(0));
    const quint8 op = head & 0xE1;
    const auto address = static_cast<quint8>(request.at(1));
    const int count = static_cast<quint8>(request.at(2)) == 0 ? 256 : static_cast<quint8>(request.at(2));
    switch (op) {
    case 0x00:
        if (address == 19 && alarmPending) return alarmNotice();
        return readReply(address, count);
    case 0x40:
        ++pageReads_;
        for (int w : faults_.changingWords)
            memory_.setByteAt(w, 0, static_cast<quint8>(memory_.byteAt(w, 0) + 1));
        return frameReply(0, memory_.page(address));
    case 0x20:
    case 0x21:
        return frameReply(0, memory_.archivePage(op == 0x21, address));
    case 0x80: {
        const QByteArray data = request.mid(3, request.size() - 4);
        if (address == 0) {
            if (data != QByteArray::fromHex("1EE1")) return frameReply(kStatusBadCommand, {});
            memory_.accessLevel = 0;
            ++memory_.restarts;
            return frameReply(0, {});
        }
        return frameReply(itemWrite(address, data), {});
    }
    default:
        return frameReply(kStatusBadCommand, {});
    }
}

QByteArray CorrectorRole::readReply(quint8 address, int count) {
    auto sized = [count](QByteArray block) {
        block = block.left(count);
        if (block.size() < count) block.append(QByteArray(count - block.size(), '\0'));
        return block;
    };
    switch (address) {
    case 0: {
        QByteArray id = memory_.identification;
        ++identificationReads_;
        if (faults_.identificationChanges > 0) {
            --faults_.identificationChanges;
            id[30] = static_cast<char>('a' + identificationReads_ % 26);
        }
        return frameReply(0, sized(id));
    }
    case 1:
        return frameReply(0, sized(memory_.clockBlock()));
    case 3:
        return frameReply(0, sized(memory_.measurementBlock()));
    case 4:
        return frameReply(0, sized(memory_.statusBlock()));
    case 19:
        return frameReply(0, sized(QByteArray(6, '\0')));
    default:
        if (address >= 0x80 && address <= 0xFD) return itemRead(address, count);
        return frameReply(kStatusBadCommand, {});
    }
}

QByteArray CorrectorRole::itemRead(quint8 code, int count) {
    const std::optional<Item> item = findItem(code, memory_.coefficientTable());
    const bool password = code >= kPasswordFirst && code <= kPasswordLast;
    if (!item && !password) return frameReply(kStatusBadCommand, {});
    QByteArray value(4, '\0');
    if (item) {
        switch (item->kind) {
        case Kind::Byte:
        case Kind::SignedByte:
        case Kind::Choice:
        case Kind::Hour:
            value[0] = static_cast<char>(memory_.byteAt(item->word, item->byte));
            break;
        case Kind::Mask16:
            value[0] = static_cast<char>(memory_.byteAt(item->word, item->byte));
            value[1] = static_cast<char>(memory_.byteAt(item->word, item->byte + 1));
            break;
        case Kind::Flag:
            value[0] = (memory_.byteAt(item->word, item->byte) & item->bit) ? 1 : 0;
            break;
        case Kind::Int32:
        case Kind::Float:
            if (item->word >= 0) value = memory_.word(item->word);
            break;
        case Kind::DateTime:
            value = int32Bytes(static_cast<qint32>(deviceMinutes(memory_.now())));
            break;
        case Kind::Text32:
            break;
        }
    }
    QByteArray payload = uint16Bytes(static_cast<quint16>(memory_.serial & 0xFFFF)) + value;
    if (item && item->kind == Kind::Text32) {
        payload.append(QByteArray(24, '\0'));
        for (int i = 0; i < 8; ++i)
            payload += memory_.word(item->word + i);
        payload.append(QByteArray(2, '\0'));
    }
    payload = payload.left(count);
    if (payload.size() < count) payload.append(QByteArray(count - payload.size(), '\0'));
    return frameReply(0, payload);
}

quint8 CorrectorRole::itemWrite(quint8 code, const QByteArray& data) {
    if (data.size() < 6) return kStatusBadCommand;
    const auto serial =
        static_cast<quint16>(static_cast<quint8>(data.at(0)) | (static_cast<quint8>(data.at(1)) << 8));
    if (serial != static_cast<quint16>(memory_.serial & 0xFFFF)) return kStatusWrongSerial;
    if (code >= kPasswordFirst && code <= kPasswordLast) {
        const int slot = code - kPasswordFirst;
        const QString typed = QString::number(readInt32(data, 2)).rightJustified(4, QLatin1Char('0'));
        if (typed != memory_.passwords[static_cast<std::size_t>(slot)]) {
            memory_.accessLevel = 0;
            return kStatusBadValue;
        }
        memory_.accessLevel = kSlotLevel[slot];
        return 0;
    }
    const std::optional<Item> item = findItem(code, memory_.coefficientTable());
    if (!item) return kStatusBadCommand;
    if (!(item->levels & (1 << memory_.accessLevel))) return kStatusRefusedLevel;
    const qint32 asInt = readInt32(data, 2);
    const quint8 b0 = static_cast<quint8>(data.at(2));
    auto inRange = [&](double v) { return v >= item->min && v <= item->max; };
    switch (item->kind) {
    case Kind::Float: {
        const float v = readFloat(data, 2);
        if (!std::isfinite(v) || !inRange(v)) return kStatusBadValue;
        memory_.setWord(item->word, data.mid(2, 4));
        break;
    }
    case Kind::Int32:
        if (!inRange(asInt)) return kStatusBadValue;
        if (code >= kPasswordChangeFirst && code < kPasswordChangeFirst + 7) {
            memory_.passwords[static_cast<std::size_t>(code - kPasswordChangeFirst)] =
                QString::number(asInt).rightJustified(4, QLatin1Char('0'));
            break;
        }
        memory_.setWord(item->word, data.mid(2, 4));
        break;
    case Kind::Byte:
    case Kind::Choice:
    case Kind::Hour:
        if (!inRange(b0)) return kStatusBadValue;
        memory_.setByteAt(item->word, item->byte, b0);
        break;
    case Kind::SignedByte:
        if (!inRange(static_cast<qint8>(b0))) return kStatusBadValue;
        memory_.setByteAt(item->word, item->byte, b0);
        if (code == kClockCorrection) memory_.clockOffsetSec += 60LL * static_cast<qint8>(b0);
        break;
    case Kind::Mask16:
        memory_.setByteAt(item->word, item->byte, b0);
        memory_.setByteAt(item->word, item->byte + 1, static_cast<quint8>(data.at(3)));
        break;
    case Kind::Flag: {
        if (b0 > 1) return kStatusBadValue;
        const quint8 old = memory_.byteAt(item->word, item->byte);
        memory_.setByteAt(item->word, item->byte, b0 ? (old | item->bit) : (old & ~item->bit));
        break;
    }
    case Kind::DateTime: {
        const auto minutes = static_cast<quint32>(asInt);
        const QDateTime wanted = QDateTime(QDate(2000, 1, 1), QTime(0, 0)).addSecs(qint64(minutes) * 60);
        memory_.clockOffsetSec = memory_.lineNow().secsTo(wanted);
        break;
    }
    case Kind::Text32:
        if (data.size() < 38) return kStatusBadValue;
        memory_.setText(item->word, data.mid(6, 32));
        break;
    }
    return 0;
}

} // namespace tarn::sim
