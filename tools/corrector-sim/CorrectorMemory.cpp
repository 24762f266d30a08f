#include "CorrectorMemory.h"

#include "Presets.h"
#include "ScriptedRole.h"

#include <QJsonArray>
#include <cmath>
#include <cstring>

namespace tarn::sim {

QByteArray encode1251(const QString& text) {
    QByteArray out;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80)
            out.append(static_cast<char>(u));
        else if (u >= 0x0410 && u <= 0x044F)
            out.append(static_cast<char>(0xC0 + (u - 0x0410)));
        else {
            static const std::pair<char16_t, quint8> extra[] = {
                {0x0401, 0xA8}, {0x0451, 0xB8}, {0x0404, 0xAA}, {0x0454, 0xBA},
                {0x0406, 0xB2}, {0x0456, 0xB3}, {0x0407, 0xAF}, {0x0457, 0xBF},
                {0x0490, 0xA5}, {0x0491, 0xB4}, {0x2116, 0xB9}};
            char b = '?';
            for (const auto& [cu, cb] : extra)
                if (cu == u) b = static_cast<char>(cb);
            out.append(b);
        }
    }
    return out;
}

namespace {

QByteArray padded(QByteArray bytes, int size) {
    bytes = bytes.left(size);
    while (bytes.size() < size)
        bytes.append(' ');
    return bytes;
}

} // namespace

QByteArray floatBytes(float v) {
    quint32 bits = 0;
    std::memcpy(&bits, &v, 4);
    return int32Bytes(static_cast<qint32>(bits));
}

QByteArray int32Bytes(qint32 v) {
    const auto u = static_cast<quint32>(v);
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<char>((u >> (8 * i)) & 0xFF);
    return b;
}

QByteArray uint16Bytes(quint16 v) {
    QByteArray b(2, '\0');
    b[0] = static_cast<char>(v & 0xFF);
    b[1] = static_cast<char>(v >> 8);
    return b;
}

quint32 deviceMinutes(const QDateTime& t) {
    const QDateTime epoch(QDate(2000, 1, 1), QTime(0, 0));
    const qint64 days = epoch.date().daysTo(t.date());
    const qint64 m = days * 1440 + t.time().hour() * 60 + t.time().minute();
    return m < 0 ? 0 : static_cast<quint32>(m);
}

CorrectorMemory::CorrectorMemory()
    : identification(padded("V Tarn-sim V47a 2.01", 32)), params_(kParameterWords * 4, '\0'),
      low_(kBankSize, '\0'), high_(kBankSize, '\0') {
    // A plain corrector: link address, contract hour 9, pulse weight 1, a few gas values.
    setByteAt(1, 0, 10);
    setByteAt(1, 2, 9);
    setByteAt(1, 3, 1);
    setFloat(51, 0.68f);
    setFloat(52, 0.5f);
    setFloat(53, 1.2f);
    setFloat(54, 20.0f);
    setFloat(55, 1.0332f);
    setFloat(56, 0.998f);
    setFloat(57, 1000.0f);
    setFloat(58, 160.0f);
    setFloat(60, 1.6f);
    setText(105, "G100 sim meter");
    passwords = {QStringLiteral("1111"), QStringLiteral("2222"), QStringLiteral("3333"),
                 QStringLiteral("4444"), QStringLiteral("5555"), QStringLiteral("6666"),
                 QStringLiteral("7777")};
}

char CorrectorMemory::modelLetter() const {
    return identification.size() >= 12 ? identification.at(11) : '\0';
}

CoefficientTable CorrectorMemory::coefficientTable() const {
    switch (modelLetter()) {
    case 'W':
        return CoefficientTable::Meter;
    case 'F':
    case 'R':
    case 'f':
    case 'r':
        return CoefficientTable::Calibration;
    default:
        return CoefficientTable::None;
    }
}

float CorrectorMemory::floatAt(int w) const {
    const auto bits = static_cast<quint32>(intAt(w));
    float f = 0;
    std::memcpy(&f, &bits, 4);
    return f;
}

qint32 CorrectorMemory::intAt(int w) const {
    quint32 v = 0;
    for (int b = 3; b >= 0; --b)
        v = (v << 8) | byteAt(w, b);
    return static_cast<qint32>(v);
}

double CorrectorMemory::pulseWeight() const {
    static constexpr double kWeights[] = {1, 10, 100, 0.1, 0.01};
    const quint8 i = byteAt(2, 1);
    return i < std::size(kWeights) ? kWeights[i] : 1.0;
}

void CorrectorMemory::setCurrentVolumes(double hour, double day, double month, double total) {
    const double k = correction;
    const int firsts[] = {73, 81, 89};
    const double working[] = {hour, day, month};
    for (int i = 0; i < 3; ++i) {
        setFloat(firsts[i], static_cast<float>(working[i]));
        setFloat(firsts[i] + 1, static_cast<float>(working[i] * k));
        setFloat(firsts[i] + 2, 0.0f);
        setFloat(firsts[i] + 3, 0.0f);
    }
    setInt(97, static_cast<qint32>(std::llround(total * pulseWeight())));
    setInt(102, static_cast<qint32>(std::llround(total * k * pulseWeight())));
    const double heat = floatAt(42); // Gcal per standard m³
    if (heat > 0) {
        setFloat(37, static_cast<float>(hour * k * heat));
        setFloat(38, static_cast<float>(day * k * heat));
        setFloat(39, static_cast<float>(month * k * heat));
        setInt(104, static_cast<qint32>(std::llround(total * k * heat * 1000.0)));
    }
}

QByteArray CorrectorMemory::word(int index) const {
    if (index < 0 || index >= kParameterWords) return QByteArray(4, '\0');
    return params_.mid(index * 4, 4);
}

void CorrectorMemory::setWord(int index, const QByteArray& four) {
    if (index < 0 || index >= kParameterWords) return;
    QByteArray w = four.left(4);
    while (w.size() < 4)
        w.append('\0');
    params_.replace(index * 4, 4, w);
}

quint8 CorrectorMemory::byteAt(int w, int b) const {
    if (w < 0 || w >= kParameterWords || b < 0 || b > 3) return 0;
    return static_cast<quint8>(params_.at(w * 4 + b));
}

void CorrectorMemory::setByteAt(int w, int b, quint8 value) {
    if (w < 0 || w >= kParameterWords || b < 0 || b > 3) return;
    params_[w * 4 + b] = static_cast<char>(value);
}

void CorrectorMemory::setFloat(int w, float v) {
    setWord(w, floatBytes(v));
}
void CorrectorMemory::setInt(int w, qint32 v) {
    setWord(w, int32Bytes(v));
}

void CorrectorMemory::setText(int firstWord, const QByteArray& text32) {
    const QByteArray t = padded(text32, 32);
    for (int i = 0; i < 8; ++i)
        setWord(firstWord + i, t.mid(i * 4, 4));
}

quint16 CorrectorMemory::pointer(PointerPlace p) const {
    return static_cast<quint16>(byteAt(p.word, p.byte) | (byteAt(p.word, p.byte + 1) << 8));
}

void CorrectorMemory::setPointer(PointerPlace p, quint16 v) {
    setByteAt(p.word, p.byte, static_cast<quint8>(v & 0xFF));
    setByteAt(p.word, p.byte + 1, static_cast<quint8>(v >> 8));
}

QByteArray CorrectorMemory::page(int startWord) const {
    QByteArray out;
    for (int i = 0; i < 64; ++i)
        out += word(startWord + i);
    return out;
}

QDateTime CorrectorMemory::now() const {
    return QDateTime::currentDateTime().addSecs(clockOffsetSec);
}

QByteArray CorrectorMemory::clockBlock() const {
    const QDateTime t = now();
    QByteArray b(32, '\0');
    b[0] = static_cast<char>(t.time().second());
    b[1] = static_cast<char>(t.time().minute());
    b[2] = static_cast<char>(t.time().hour());
    b[3] = static_cast<char>(t.date().day());
    b[4] = static_cast<char>(t.date().month());
    b[5] = static_cast<char>(t.date().year() - 2000);
    return b;
}

QByteArray CorrectorMemory::measurementBlock() const {
    QByteArray b(46, '\0');
    auto put = [&](int at, float v) { b.replace(at, 4, floatBytes(v)); };
    put(0, pressure);
    put(4, temperature);
    put(8, compressibility);
    put(12, correction);
    put(16, flow);
    put(20, standardFlow);
    put(24, batteryVoltage);
    put(40, batteryResource);
    b.replace(44, 2, uint16Bytes(state));
    return b;
}

QByteArray CorrectorMemory::statusBlock() const {
    QByteArray b(32, '\0');
    b.replace(0, 4, floatBytes(batteryVoltage));
    return b;
}

QByteArray CorrectorMemory::archivePage(bool high, int page) const {
    const QByteArray& bank = high ? high_ : low_;
    return bank.mid((page & 0xFF) * kArchivePageSize, kArchivePageSize);
}

void CorrectorMemory::putRecord(const ArchiveArea& area, int number, const QByteArray& record) {
    const int perPage = kArchivePageSize / area.recordSize;
    const int page = area.firstPage + (number / perPage) % area.pages;
    const int slot = number % perPage;
    writeBank(area.high, page * kArchivePageSize + slot * area.recordSize, record.left(area.recordSize));
}

void CorrectorMemory::writeBank(bool high, int offset, const QByteArray& bytes) {
    QByteArray& bank = high ? high_ : low_;
    if (offset < 0 || offset >= kBankSize) return;
    bank.replace(offset, std::min<qsizetype>(bytes.size(), kBankSize - offset),
                 bytes.left(kBankSize - offset));
}

QByteArray CorrectorMemory::sealRecord(QByteArray record) {
    quint8 sum = 0;
    for (qsizetype i = 0; i + 1 < record.size(); ++i)
        sum = static_cast<quint8>(sum + static_cast<quint8>(record.at(i)));
    record[record.size() - 1] = static_cast<char>(static_cast<quint8>(0x100 - sum));
    return record;
}

void CorrectorMemory::generateArchives(const QDateTime& start, int hours, double flowPerHour,
                                       const QList<double>& profile) {
    const auto p1000 = static_cast<quint16>(std::lround(pressure * 1000.0));
    const auto t100 = static_cast<qint16>(std::lround(temperature * 100.0));
    const auto z10000 = static_cast<quint16>(std::lround(compressibility * 10000.0));
    const auto k = static_cast<quint16>(std::lround(correction * (pressure >= 6.0f ? 1000.0 : 10000.0)));
    auto periodHead = [&](const QDateTime& end, double working, double standard) {
        QByteArray r;
        r += int32Bytes(static_cast<qint32>(deviceMinutes(end))).left(3);
        r += floatBytes(static_cast<float>(working));
        r += floatBytes(static_cast<float>(standard));
        r += floatBytes(0.0f);
        r += floatBytes(0.0f);
        r += uint16Bytes(p1000);
        r += uint16Bytes(static_cast<quint16>(t100));
        r += uint16Bytes(z10000);
        r += uint16Bytes(k);
        r += uint16Bytes(0);
        r += uint16Bytes(0);
        return r; // 31 bytes
    };
    double counter = 0, standardCounter = 0; // m³
    double dayWorking = 0, dayStandard = 0, monthWorking = 0, monthStandard = 0;
    int days = 0, months = 0;
    const int contractHour = byteAt(1, 2) % 24;
    auto longRecord = [&](const QDateTime& end, double working, double standard) {
        QByteArray r = periodHead(end, working, standard);
        r += int32Bytes(static_cast<qint32>(std::llround(counter)));
        r += QByteArray(16, '\0');
        r += int32Bytes(static_cast<qint32>(std::llround(standardCounter)));
        r += floatBytes(0.0f);
        r += floatBytes(0.0f);
        r += '\0';
        return sealRecord(r);
    };
    for (int h = 0; h < hours; ++h) {
        const QDateTime end = start.addSecs(3600LL * (h + 1));
        const double factor =
            profile.isEmpty() ? 1.0 : profile.at(end.addSecs(-3600).time().hour() % profile.size());
        const double working = flowPerHour * factor;
        const double standard = working * correction;
        counter += working;
        standardCounter += standard;
        putRecord(kHourlyArea, h, sealRecord(periodHead(end, working, standard) + '\0'));
        dayWorking += working;
        dayStandard += standard;
        monthWorking += working;
        monthStandard += standard;
        if (end.time().hour() == contractHour && end.time().minute() == 0) {
            putRecord(kDailyArea, days++, longRecord(end, dayWorking, dayStandard));
            dayWorking = dayStandard = 0;
            if (end.date().day() == 1) {
                putRecord(kMonthlyArea, months++, longRecord(end, monthWorking, monthStandard));
                monthWorking = monthStandard = 0;
            }
        }
    }
    if (hours > 0) setPointer(kHourlyPointer, static_cast<quint16>(hours - 1));
    if (days > 0) setPointer(kDailyPointer, static_cast<quint16>(days - 1));
    if (months > 0) setPointer(kMonthlyPointer, static_cast<quint16>(months - 1));
    // The corrector is half-way through the hour after the last record.
    const QDateTime next = start.addSecs(3600LL * hours);
    const double nextFactor = profile.isEmpty() ? 1.0 : profile.at(next.time().hour() % profile.size());
    const double hour = flowPerHour * nextFactor / 2.0;
    setCurrentVolumes(hour, dayWorking + hour, monthWorking + hour, counter + hour);
}

bool CorrectorMemory::load(const QJsonObject& c, QString& error) {
    if (c.contains(QStringLiteral("preset")) &&
        !applyPreset(*this, c.value(QStringLiteral("preset")).toString(), error))
        return false;
    address = c.value(QStringLiteral("address")).toInt(address);
    if (address < 1 || address > 14) {
        error = QStringLiteral("corrector: address is 1..14");
        return false;
    }
    setByteAt(3, 0, static_cast<quint8>(address - 1));
    serial = static_cast<quint32>(c.value(QStringLiteral("serial")).toInteger(serial));
    setInt(99, static_cast<qint32>(serial));
    if (c.contains(QStringLiteral("identification")))
        identification = padded(encode1251(c.value(QStringLiteral("identification")).toString()), 32);
    clockOffsetSec = c.value(QStringLiteral("clockOffsetSec")).toInteger(0);
    const QJsonArray pw = c.value(QStringLiteral("passwords")).toArray();
    for (int i = 0; i < 7 && i < pw.size(); ++i)
        passwords[static_cast<std::size_t>(i)] = pw.at(i).toString();
    accessLevel = std::clamp(c.value(QStringLiteral("accessLevel")).toInt(0), 0, 4);
    const QJsonObject m = c.value(QStringLiteral("measurements")).toObject();
    auto f = [&](const char* key, float& target) {
        if (m.contains(QLatin1String(key)))
            target = static_cast<float>(m.value(QLatin1String(key)).toDouble());
    };
    f("pressure", pressure);
    f("temperature", temperature);
    f("compressibility", compressibility);
    f("correction", correction);
    f("flow", flow);
    f("standardFlow", standardFlow);
    f("batteryVoltage", batteryVoltage);
    f("batteryResource", batteryResource);
    state = static_cast<quint16>(m.value(QStringLiteral("state")).toInt(state));
    // Parameter words: {"index": 51, "float": 0.7} | {"index": 99, "int": 4123} | {"index": 2, "hex": "…"}
    // | {"index": 105, "text": "…"} (8 words).
    for (const auto& v : c.value(QStringLiteral("words")).toArray()) {
        const QJsonObject w = v.toObject();
        const int i = w.value(QStringLiteral("index")).toInt(-1);
        if (i < 0 || i >= kParameterWords) {
            error = QStringLiteral("corrector: word index is 0..184");
            return false;
        }
        if (w.contains(QStringLiteral("float")))
            setFloat(i, static_cast<float>(w.value(QStringLiteral("float")).toDouble()));
        else if (w.contains(QStringLiteral("int")))
            setInt(i, w.value(QStringLiteral("int")).toInt());
        else if (w.contains(QStringLiteral("text")))
            setText(i, encode1251(w.value(QStringLiteral("text")).toString()));
        else {
            QByteArray bytes;
            if (!parseHex(w.value(QStringLiteral("hex")).toString(), bytes) || bytes.size() != 4) {
                error = QStringLiteral("corrector: a word is 4 hexadecimal bytes");
                return false;
            }
            setWord(i, bytes);
        }
    }
    const QJsonObject a = c.value(QStringLiteral("archive")).toObject();
    if (!a.isEmpty()) {
        const QDateTime startTime = QDateTime::fromString(a.value(QStringLiteral("start")).toString(),
                                                          QStringLiteral("dd.MM.yyyy HH:mm"));
        if (!startTime.isValid()) {
            error = QStringLiteral("corrector: archive start is \"dd.MM.yyyy HH:mm\"");
            return false;
        }
        QList<double> profile;
        for (const auto& p : a.value(QStringLiteral("profile")).toArray())
            profile.append(p.toDouble());
        const int hours = std::clamp(a.value(QStringLiteral("hours")).toInt(0), 0, 65535);
        generateArchives(startTime, hours, a.value(QStringLiteral("flow")).toDouble(10.0), profile);
    }
    // Raw archive bytes: {"bank": "low"|"high", "offset": N, "hex": "…"}.
    for (const auto& v : c.value(QStringLiteral("archiveBytes")).toArray()) {
        const QJsonObject o = v.toObject();
        QByteArray bytes;
        if (!parseHex(o.value(QStringLiteral("hex")).toString(), bytes)) {
            error = QStringLiteral("corrector: archive bytes must be hexadecimal");
            return false;
        }
        writeBank(o.value(QStringLiteral("bank")).toString() == QLatin1String("high"),
                  o.value(QStringLiteral("offset")).toInt(), bytes);
    }
    return true;
}

} // namespace tarn::sim
