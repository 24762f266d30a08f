#include "SeededArchive.h"

#include <QJsonDocument>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tarn::test::property {

namespace {

QByteArray le(quint32 v, int n) {
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
    return b;
}

QByteArray floatLe(float f) {
    quint32 bits = 0;
    std::memcpy(&bits, &f, 4);
    return le(bits, 4);
}

QByteArray head(const PeriodRecord& r) {
    QByteArray b = deviceMinutes(r.end);
    b += floatLe(r.working) + floatLe(r.standard) + floatLe(r.alarmWorking) + floatLe(r.alarmStandard);
    b += le(r.pressure1000, 2) + le(quint16(r.temperature100), 2) + le(r.compress10000, 2);
    b += le(r.correctionRaw, 2) + le(r.status1, 2) + le(r.status2, 2);
    return b;
}

QString text(const QDateTime& t) {
    return t.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
}

class Draw {
public:
    explicit Draw(quint64 seed) : rng_(seed) {}
    int between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }
    // A value with three decimals, as a float.
    float volume(double hi) { return float(between(0, int(hi * 1000)) / 1000.0); }
    // A working volume the meter counted: whole pulses.
    float counted(double hi) { return float(between(0, int(hi * kPulsesPerM3)) / kPulsesPerM3); }

private:
    std::mt19937_64 rng_;
};

// The measured part of a period record: pressure on both sides of 6 kgf/cm² (the correction factor's
// scale changes there), temperatures below and above zero, status bits including the three marks.
void drawMeasured(Draw& d, PeriodRecord& r, double correction) {
    r.pressure1000 = quint16(d.between(500, 8999));
    r.temperature100 = qint16(d.between(-3000, 3500));
    r.compress10000 = quint16(d.between(9000, 10000));
    r.correctionRaw = quint16(std::lround(correction * (r.pressure1000 >= 6000 ? 1000 : 10000)));
    r.status1 = quint16(d.between(0, 0x7FFF));
    r.status2 = quint16(d.between(0, 0x0FFF));
    if (d.chance(0.5)) r.status1 = quint16(r.status1 & 0x0FFF);
}

} // namespace

QByteArray deviceMinutes(const QDateTime& t) {
    const qint64 m = QDate(2000, 1, 1).daysTo(t.date()) * 1440 + t.time().hour() * 60 + t.time().minute();
    return le(quint32(m), 3);
}

QByteArray sealed(QByteArray r) {
    quint8 sum = 0;
    for (qsizetype i = 0; i + 1 < r.size(); ++i)
        sum = quint8(sum + quint8(r[i]));
    r[r.size() - 1] = char(quint8(0x100 - sum));
    return r;
}

QByteArray hourlyBytes(const PeriodRecord& r) {
    return sealed(head(r) + QByteArray(1, '\0'));
}

QByteArray periodBytes64(const PeriodRecord& r) {
    QByteArray b = head(r);
    b += le(quint32(r.meterPulses), 4);
    QByteArray block(16, '\0');
    block[12] = char(r.contractHour);
    b += block;
    b += le(quint32(r.standardPulses), 4);
    b += floatLe(0) + floatLe(0);
    b += '\0';
    return sealed(b);
}

QString statusText(quint16 status1, quint16 status2) {
    QString s = QStringLiteral("xxx/");
    for (int b = 11; b >= 0; --b) {
        const int pair = (((status2 >> b) & 1) << 1) | ((status1 >> b) & 1);
        s.append(QStringLiteral("x.oO").at(pair));
    }
    if (status1 & 0x4000) s[0] = QChar(u'З');
    if (status1 & 0x2000) s[1] = QChar(u'И');
    if (status1 & 0x1000) s[2] = QChar(u'В');
    return s;
}

QString whoText(int by) {
    static const char16_t* const names[] = {u"НЕИЗ-ЫЙ", u"ОПЕР._A", u"ОПЕР._B",   u"ОПЕР._C",
                                            u"МАСТ._E", u"МАСТ._F", u"Конфигур.", u"ПОВ-ЛЬ"};
    return QString::fromUtf16(names[by & 7]);
}

int Scenario::hourSlot(int index) const {
    return index >= 0 && index < hoursWritten && index >= hoursWritten - hours.size() ? index % kHourly.ring()
                                                                                      : -1;
}

const PeriodRecord* Scenario::hourInSlot(int slot) const {
    for (const auto& h : hours)
        if (h.slot == slot) return &h;
    return nullptr;
}

bool Scenario::lost(const Area& area, int slot) const {
    const int page = area.firstPage + slot / area.perPage();
    const int record = slot % area.perPage();
    return std::any_of(spoilt.begin(), spoilt.end(), [&](const SpoiltRecord& s) {
        return s.high == area.high && s.page == page && s.record == record && s.lost();
    });
}

int Scenario::lostCount(const Area& area, int records) const {
    int n = 0;
    for (int slot = 0; slot < records; ++slot)
        n += lost(area, slot) ? 1 : 0;
    return n;
}

Scenario drawScenario(quint64 seed) {
    Draw d(seed);
    Scenario s;
    s.seed = seed;
    s.serial = d.between(10000, 99999);

    // Hours from the start of a gas day on; day 0 ends where the hours begin, so every later day has
    // its meter counter at the start.
    s.contractHour = d.between(0, 23);
    const QDateTime start(QDate(2021, 1, 1).addDays(d.between(0, 5 * 365)), QTime(s.contractHour, 0));
    // One seed in ten writes more hours than the hourly ring holds: the newest overwrite the oldest.
    const bool wrap = d.chance(0.1);
    const int fullDays = wrap ? kHourly.ring() / 24 + d.between(1, 4) : d.between(1, 3);
    const int hours = fullDays * 24 + d.between(0, 12);
    const double correction = 1.0 + d.between(0, 20000) / 10000.0;
    QList<PeriodRecord> written;
    for (int i = 0; i < hours; ++i) {
        PeriodRecord h;
        h.index = i;
        h.slot = i % kHourly.ring();
        h.end = start.addSecs(3600LL * (i + 1));
        h.working = d.counted(40);
        h.standard = float(double(h.working) * correction);
        if (d.chance(0.1)) {
            h.alarmWorking = d.counted(5);
            h.alarmStandard = float(double(h.alarmWorking) * correction);
        }
        drawMeasured(d, h, correction);
        written.append(h);
    }
    s.hoursWritten = hours;
    s.hours = written.mid(std::max(0, hours - kHourly.ring()));
    qint32 meter = d.between(0, 50000000);
    qint32 standardMeter = qint32(meter * correction);
    for (int day = 0; day <= fullDays; ++day) {
        PeriodRecord r;
        r.slot = day;
        r.end = start.addDays(day);
        if (day == 0) {
            r.working = d.counted(900);
            r.alarmWorking = d.chance(0.2) ? d.counted(50) : 0.0f;
        } else {
            double w = 0, a = 0;
            for (int i = (day - 1) * 24; i < day * 24; ++i) {
                w += double(written[i].working);
                a += double(written[i].alarmWorking);
            }
            r.working = float(w);
            r.alarmWorking = float(a);
            // The meter counts on through an abnormal situation: its pulses go to the alarm volume.
            meter += qint32(std::llround((w + a) * kPulsesPerM3));
            standardMeter += qint32(std::llround((w + a) * correction * kPulsesPerM3));
        }
        r.standard = float(double(r.working) * correction);
        r.alarmStandard = float(double(r.alarmWorking) * correction);
        drawMeasured(d, r, correction);
        r.meterPulses = meter;
        r.contractHour = quint8(s.contractHour);
        r.standardPulses = standardMeter;
        s.days.append(r);
    }

    // Months: more than the ring holds in most seeds, so the newest overwrite the oldest from slot 0.
    s.monthsWritten = d.between(kMonthly.ring() - 8, kMonthly.ring() + 12);
    s.months.resize(std::min(s.monthsWritten, kMonthly.ring()));
    const QDateTime firstMonth(QDate(2015, 1, 1).addMonths(d.between(0, 24)), start.time());
    qint32 monthMeter = d.between(0, 10000000);
    for (int i = 0; i < s.monthsWritten; ++i) {
        PeriodRecord m;
        m.slot = i % kMonthly.ring();
        m.end = firstMonth.addMonths(i + 1);
        m.working = d.counted(30000);
        m.standard = float(double(m.working) * correction);
        if (d.chance(0.3)) {
            m.alarmWorking = d.counted(500);
            m.alarmStandard = float(double(m.alarmWorking) * correction);
        }
        drawMeasured(d, m, correction);
        monthMeter += qint32(std::llround((double(m.working) + double(m.alarmWorking)) * kPulsesPerM3));
        m.meterPulses = monthMeter;
        m.contractHour = quint8(s.contractHour);
        m.standardPulses = qint32(monthMeter * correction);
        s.months[m.slot] = m;
    }

    // The event archives: a few records each, minutes apart inside the hours.
    auto times = [&](int count) {
        QList<QDateTime> at;
        QDateTime t = start.addSecs(60LL * d.between(1, 59));
        for (int i = 0; i < count; ++i) {
            at.append(t);
            t = t.addSecs(60LL * d.between(0, 300)); // now and then two records in one minute
        }
        return at;
    };
    const auto abnormalTimes = times(d.between(0, 40));
    for (int i = 0; i < abnormalTimes.size(); ++i) {
        EventRecord e;
        e.slot = i;
        e.at = abnormalTimes[i];
        e.current = quint16(d.between(0, 0xFFFF));
        e.previous = quint16(d.between(0, 0xFFFF));
        e.volume = d.volume(20);
        e.standardVolume = d.volume(25);
        s.abnormal.append(e);
    }
    const auto interferenceTimes = times(d.between(0, 40));
    for (int i = 0; i < interferenceTimes.size(); ++i) {
        EventRecord e;
        e.slot = i;
        e.at = interferenceTimes[i];
        e.by = d.between(1, 7);
        e.before = quint8(d.between(0, 255));
        e.after = quint8(d.between(0, 255));
        s.interference.append(e);
    }
    const auto serviceTimes = times(d.between(0, 60));
    for (int i = 0; i < serviceTimes.size(); ++i) {
        EventRecord e;
        e.slot = i;
        e.at = serviceTimes[i];
        e.current = quint16(d.between(0, 0xFFFF));
        e.previous = quint16(d.between(0, 0xFFFF));
        s.service.append(e);
    }

    // Spoilt check bytes on about a tenth of the pages that hold records: most are cured by a re-read,
    // the rest outlast the three rejections and are blanked.
    auto spoil = [&](const Area& area, int records) {
        for (int page = 0; page * area.perPage() < records; ++page) {
            if (!d.chance(0.1)) continue;
            const int onPage = std::min(area.perPage(), records - page * area.perPage());
            // Now and then a second bad record on the same page, cured or not independently.
            const int first = d.between(0, onPage - 1);
            const int second = onPage > 1 && d.chance(0.3) ? (first + d.between(1, onPage - 1)) % onPage : -1;
            for (int record : {first, second}) {
                if (record < 0) continue;
                const int times = d.chance(0.5) ? d.between(1, 3) : 9;
                s.spoilt.append({area.high, area.firstPage + page, record, times});
            }
        }
    };
    spoil(kHourly, int(s.hours.size()));
    spoil(kDaily, int(s.days.size()));
    spoil(kMonthly, int(s.months.size()));
    spoil(kAbnormal, int(s.abnormal.size()));
    spoil(kInterference, int(s.interference.size()));
    spoil(kService, int(s.service.size()));
    return s;
}

QByteArray Scenario::json() const {
    auto bytesAt = [](const Area& area, int slot, const QByteArray& bytes) {
        return QJsonObject{{"bank", area.high ? "high" : "low"},
                           {"offset", area.firstPage * 256 + slot * area.recordSize},
                           {"hex", QString::fromLatin1(bytes.toHex())}};
    };
    QJsonArray archiveBytes;
    QList<QByteArray> hourSlots(hours.size());
    for (const auto& h : hours)
        hourSlots[h.slot] = hourlyBytes(h);
    QByteArray run = hourSlots.join();
    archiveBytes.append(bytesAt(kHourly, 0, run));
    run.clear();
    for (const auto& r : days)
        run += periodBytes64(r);
    archiveBytes.append(bytesAt(kDaily, 0, run));
    run.clear();
    for (const auto& m : months)
        run += periodBytes64(m);
    archiveBytes.append(bytesAt(kMonthly, 0, run));

    QJsonArray abnormalList, interferenceList, serviceList;
    for (const auto& e : abnormal)
        abnormalList.append(QJsonObject{{"at", text(e.at)},
                                        {"current", e.current},
                                        {"previous", e.previous},
                                        {"volume", double(e.volume)},
                                        {"standardVolume", double(e.standardVolume)}});
    for (const auto& e : interference)
        interferenceList.append(QJsonObject{{"at", text(e.at)},
                                            {"code", 4}, // the display time, a byte
                                            {"kind", 0},
                                            {"by", e.by},
                                            {"before", QString::asprintf("%02X000000", e.before)},
                                            {"after", QString::asprintf("%02X000000", e.after)}});
    for (const auto& e : service)
        serviceList.append(QJsonObject{{"at", text(e.at)}, {"current", e.current}, {"previous", e.previous}});
    QJsonArray bad;
    for (const auto& p : spoilt)
        bad.append(QJsonObject{
            {"bank", p.high ? "high" : "low"}, {"page", p.page}, {"record", p.record}, {"times", p.times}});

    const QJsonObject corrector{
        {"role", "corrector"},
        {"address", 1},
        {"serial", serial},
        {"identification", "V Tarn-sim V47a"},
        {"passwords", QJsonArray{"1111", "2222", "3333", "4444", "5555", "6666", "7777"}},
        // Word 1: the contract hour where the drawn gas days begin; word 2: ten pulses a cubic metre.
        {"words",
         QJsonArray{QJsonObject{{"index", 1}, {"hex", QString::asprintf("0A00%02X01", contractHour)}},
                    QJsonObject{{"index", 2}, {"hex", "00010000"}}}},
        {"archiveBytes", archiveBytes},
        {"abnormal", abnormalList},
        {"interference", interferenceList},
        {"service", serviceList},
        {"faults", QJsonObject{{"badRecordPages", bad}}}};
    return QJsonDocument(corrector).toJson(QJsonDocument::Compact);
}

} // namespace tarn::test::property
