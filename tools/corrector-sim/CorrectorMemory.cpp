#include "CorrectorMemory.h"

#include "Presets.h"
#include "ScriptedRole.h"

#include <QJsonArray>
#include <algorithm>
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
    return lineNow().addSecs(clockOffsetSec);
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

int recordsPerPage(const ArchiveArea& area) {
    return kArchivePageSize / area.recordSize;
}

int ringRecords(const ArchiveArea& area) {
    const int perPage = recordsPerPage(area);
    return (area.pages - 1) * perPage + (area.lastPageRecords > 0 ? area.lastPageRecords : perPage);
}

int recordsOnPage(const ArchiveArea& area, int page) {
    if (page < area.firstPage || page >= area.firstPage + area.pages) return 0;
    if (page == area.firstPage + area.pages - 1 && area.lastPageRecords > 0) return area.lastPageRecords;
    return recordsPerPage(area);
}

const ArchiveArea* areaOfPage(bool high, int page) {
    static constexpr const ArchiveArea* kAreas[] = {&kHourlyArea,  &kAbnormalArea,     &kDailyArea,
                                                    &kMonthlyArea, &kInterferenceArea, &kOperativeArea,
                                                    &kServiceArea};
    for (const ArchiveArea* a : kAreas)
        if (a->high == high && page >= a->firstPage && page < a->firstPage + a->pages) return a;
    return nullptr;
}

int recordPage(const ArchiveArea& area, int number) {
    const int n = ((number % ringRecords(area)) + ringRecords(area)) % ringRecords(area);
    return area.firstPage + n / recordsPerPage(area);
}

int recordOffset(const ArchiveArea& area, int number) {
    const int n = ((number % ringRecords(area)) + ringRecords(area)) % ringRecords(area);
    return (n % recordsPerPage(area)) * area.recordSize;
}

void CorrectorMemory::putRecord(const ArchiveArea& area, int number, const QByteArray& record) {
    writeBank(area.high, recordPage(area, number) * kArchivePageSize + recordOffset(area, number),
              record.left(area.recordSize));
}

void CorrectorMemory::setNewest(const ArchiveArea& area, PointerPlace p, int records) {
    if (records > 0) setPointer(p, static_cast<quint16>((records - 1) % ringRecords(area)));
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
    const quint16 p1000 = pressureWord();
    const qint16 t100 = temperatureWord();
    const auto z10000 = static_cast<quint16>(std::lround(compressibility * 10000.0));
    const quint16 k = correctionWord();
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
        // The 16-byte block carries, among other settings, the contract hour in its byte 12.
        QByteArray block(16, '\0');
        block[12] = static_cast<char>(contractHour);
        r += block;
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
    setNewest(kHourlyArea, kHourlyPointer, hours);
    setNewest(kDailyArea, kDailyPointer, days);
    setNewest(kMonthlyArea, kMonthlyPointer, months);
    // The corrector is half-way through the hour after the last record.
    const QDateTime next = start.addSecs(3600LL * hours);
    const double nextFactor = profile.isEmpty() ? 1.0 : profile.at(next.time().hour() % profile.size());
    const double hour = flowPerHour * nextFactor / 2.0;
    setCurrentVolumes(hour, dayWorking + hour, monthWorking + hour, counter + hour);
}

quint16 CorrectorMemory::pressureWord() const {
    return static_cast<quint16>(std::clamp<long>(std::lround(pressure * 1000.0), 0, 0xFFFF));
}

qint16 CorrectorMemory::temperatureWord() const {
    return static_cast<qint16>(std::clamp<long>(std::lround(temperature * 100.0), -0x8000, 0x7FFF));
}

quint16 CorrectorMemory::correctionWord() const {
    // Above 6 kgf/cm² the factor outgrows × 10000 and the corrector keeps it × 1000.
    const double scale = pressure >= 6.0f ? 1000.0 : 10000.0;
    return static_cast<quint16>(std::clamp<long>(std::lround(correction * scale), 0, 0xFFFF));
}

namespace {

QByteArray minutesBytes(const QDateTime& at) {
    return int32Bytes(static_cast<qint32>(deviceMinutes(at) & kLastDeviceMinute)).left(3);
}

QByteArray fourBytes(const QByteArray& bytes) {
    QByteArray b = bytes.left(4);
    while (b.size() < 4)
        b.append('\0');
    return b;
}

} // namespace

QByteArray CorrectorMemory::abnormalRecord(const QDateTime& at, quint16 current, quint16 previous,
                                           float volume, float standardVolume) {
    QByteArray r = minutesBytes(at);
    r += uint16Bytes(current);
    r += uint16Bytes(previous);
    r += floatBytes(volume);
    r += floatBytes(standardVolume);
    r += '\0';
    return sealRecord(r);
}

QByteArray CorrectorMemory::interferenceRecord(const QDateTime& at, quint8 changeCode, int changeKind,
                                               int changedBy, const QByteArray& before,
                                               const QByteArray& after) {
    QByteArray r = minutesBytes(at);
    r += uint16Bytes(0); // the corrector leaves these two bytes to itself
    r += static_cast<char>(changeCode);
    r += static_cast<char>(((changeKind & 0x07) << 4) | (changedBy & 0x0F));
    r += fourBytes(before);
    r += fourBytes(after);
    r += '\0';
    return sealRecord(r);
}

QByteArray CorrectorMemory::serviceRecord(const QDateTime& at, quint16 current, quint16 previous) {
    QByteArray r = minutesBytes(at);
    r += uint16Bytes(current);
    r += uint16Bytes(previous);
    r += '\0';
    return sealRecord(r);
}

QByteArray CorrectorMemory::operativeRecord(const QDateTime& at, quint16 flowValue, qint32 counter) const {
    QByteArray r = minutesBytes(at);
    r += uint16Bytes(pressureWord());
    r += uint16Bytes(static_cast<quint16>(temperatureWord()));
    r += uint16Bytes(correctionWord());
    r += uint16Bytes(flowValue);
    r += int32Bytes(counter);
    r += '\0';
    return sealRecord(r);
}

void CorrectorMemory::generateOperative(const QDateTime& start, int count, int stepMinutes, quint16 flowValue,
                                        qint32 counterStep) {
    // The records step by the corrector's own clock, which knows no time zone.
    const QDateTime first(start.date(), start.time(), Qt::UTC);
    const qint64 newest = intAt(97);
    const qint64 oldest = std::max<qint64>(0, newest - qint64(counterStep) * std::max(0, count - 1));
    for (int i = 0; i < count; ++i) {
        const auto counter = static_cast<quint32>(oldest + qint64(counterStep) * i);
        putRecord(
            kOperativeArea, i,
            operativeRecord(first.addSecs(60LL * stepMinutes * i), flowValue, static_cast<qint32>(counter)));
    }
    setNewest(kOperativeArea, kOperativePointer, count);
}

namespace {

// Reading the scenario's record lists: every value is checked, and a wrong one names its list and entry.
class EntryReader {
public:
    EntryReader(const QJsonObject& o, QString where, QString& error)
        : o_(o), where_(std::move(where)), error_(error) {}

    bool ok() const { return ok_; }

    // A time stamp the corrector can keep: after 01.01.2000 00:00 and within its 24-bit minutes.
    QDateTime time(const char* key) {
        const QDateTime t = QDateTime::fromString(o_.value(QLatin1String(key)).toString(),
                                                  QStringLiteral("dd.MM.yyyy HH:mm"));
        if (!t.isValid()) {
            fail(QStringLiteral("\"%1\" is \"dd.MM.yyyy HH:mm\"").arg(QLatin1String(key)));
            return {};
        }
        if (!keepable(t))
            fail(QStringLiteral("\"%1\" lies outside the corrector's time").arg(QLatin1String(key)));
        return t;
    }

    // A whole number min..max; fallback when the key is absent.
    qint64 integer(const char* key, qint64 min, qint64 max, qint64 fallback) {
        const QJsonValue v = o_.value(QLatin1String(key));
        if (v.isUndefined()) return fallback;
        const double d = v.toDouble(std::nan(""));
        if (!v.isDouble() || d != std::floor(d) || d < double(min) || d > double(max)) {
            fail(QStringLiteral("\"%1\" is a whole number %2..%3").arg(QLatin1String(key)).arg(min).arg(max));
            return fallback;
        }
        return static_cast<qint64>(d);
    }

    float number(const char* key) {
        const QJsonValue v = o_.value(QLatin1String(key));
        if (v.isUndefined()) return 0.0f;
        if (!v.isDouble()) fail(QStringLiteral("\"%1\" is a number").arg(QLatin1String(key)));
        return static_cast<float>(v.toDouble());
    }

    // Four raw bytes as 8 hexadecimal digits.
    QByteArray fourHex(const char* key) {
        QByteArray bytes;
        if (!parseHex(o_.value(QLatin1String(key)).toString(), bytes) || bytes.size() != 4) {
            fail(QStringLiteral("\"%1\" is 4 bytes in 8 hexadecimal digits").arg(QLatin1String(key)));
            return QByteArray(4, '\0');
        }
        return bytes;
    }

    static bool keepable(const QDateTime& t) {
        const qint64 days = QDate(2000, 1, 1).daysTo(t.date());
        const qint64 minutes = days * 1440 + t.time().hour() * 60 + t.time().minute();
        return minutes > 0 && minutes <= kLastDeviceMinute;
    }

    void fail(const QString& what) {
        if (!ok_) return; // the first fault is the one reported
        ok_ = false;
        error_ = QStringLiteral("corrector: %1: %2").arg(where_, what);
    }

private:
    const QJsonObject& o_;
    QString where_;
    QString& error_;
    bool ok_ = true;
};

} // namespace

bool CorrectorMemory::loadEventRecords(const QJsonObject& c, QString& error) {
    struct List {
        const char* key;
        const ArchiveArea& area;
        PointerPlace pointer;
    };
    const List lists[] = {{"abnormal", kAbnormalArea, kAbnormalPointer},
                          {"interference", kInterferenceArea, kInterferencePointer},
                          {"service", kServiceArea, kServicePointer}};
    for (const List& list : lists) {
        const QJsonValue value = c.value(QLatin1String(list.key));
        if (value.isUndefined()) continue;
        if (!value.isArray()) {
            error = QStringLiteral("corrector: \"%1\" is a list of records").arg(QLatin1String(list.key));
            return false;
        }
        const QJsonArray entries = value.toArray();
        for (int i = 0; i < entries.size(); ++i) {
            const QJsonObject o = entries.at(i).toObject();
            EntryReader r(o, QStringLiteral("%1 record %2").arg(QLatin1String(list.key)).arg(i), error);
            const QDateTime at = r.time("at");
            QByteArray record;
            if (&list.area == &kAbnormalArea) {
                const auto current = static_cast<quint16>(r.integer("current", 0, 0xFFFF, 0));
                const auto previous = static_cast<quint16>(r.integer("previous", 0, 0xFFFF, 0));
                record =
                    abnormalRecord(at, current, previous, r.number("volume"), r.number("standardVolume"));
            } else if (&list.area == &kInterferenceArea) {
                const auto code = static_cast<quint8>(r.integer("code", 0, 0xFF, 0));
                const auto kind = static_cast<int>(r.integer("kind", 0, 7, 0));
                const auto by = static_cast<int>(r.integer("by", 0, 15, 0));
                record = interferenceRecord(at, code, kind, by, r.fourHex("before"), r.fourHex("after"));
            } else {
                const auto current = static_cast<quint16>(r.integer("current", 0, 0xFFFF, 0));
                const auto previous = static_cast<quint16>(r.integer("previous", 0, 0xFFFF, 0));
                record = serviceRecord(at, current, previous);
            }
            if (!r.ok()) return false;
            putRecord(list.area, i, record);
        }
        setNewest(list.area, list.pointer, static_cast<int>(entries.size()));
    }
    const QJsonValue operative = c.value(QStringLiteral("operative"));
    if (!operative.isUndefined()) {
        const QJsonObject o = operative.toObject();
        EntryReader r(o, QStringLiteral("operative"), error);
        if (!operative.isObject()) r.fail(QStringLiteral("an object {\"start\", \"count\", …}"));
        const QDateTime start = r.time("start");
        const auto count = static_cast<int>(r.integer("count", 0, 65535, 0));
        const auto step = static_cast<int>(r.integer("stepMinutes", 1, 44640, 1));
        const auto flowValue = static_cast<quint16>(r.integer("flow", 0, 0xFFFF, 0));
        const auto counterStep = static_cast<qint32>(r.integer("counterStep", 0, 1000000, 0));
        const QDateTime wall(start.date(), start.time(), Qt::UTC);
        if (r.ok() && count > 0 && !EntryReader::keepable(wall.addSecs(60LL * step * (count - 1))))
            r.fail(QStringLiteral("the last record lies outside the corrector's time"));
        if (!r.ok()) return false;
        generateOperative(start, count, step, flowValue, counterStep);
    }
    return true;
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
    // The event archives and the operative archive, each from record 0 on.
    if (!loadEventRecords(c, error)) return false;
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
