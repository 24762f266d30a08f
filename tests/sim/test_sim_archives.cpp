// The simulated corrector's archives from a scenario: the event lists, the operative records, the rings
// and their pointers, and the fault that spoils one record of a page. The bytes are read back by hand here.
#include "CorrectorMemory.h"
#include "CorrectorRole.h"
#include "SimLine.h"
#include "link/FrameChecksum.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <utility>

using namespace tarn;
using namespace tarn::sim;

namespace {

QJsonObject json(const char* text) {
    QJsonParseError e{};
    const QJsonDocument d = QJsonDocument::fromJson(QByteArray(text), &e);
    EXPECT_EQ(e.error, QJsonParseError::NoError) << text;
    return d.object();
}

quint32 u24(const QByteArray& b, int at) {
    return quint32(quint8(b.at(at))) | quint32(quint8(b.at(at + 1))) << 8 |
           quint32(quint8(b.at(at + 2))) << 16;
}
quint16 u16(const QByteArray& b, int at) {
    return static_cast<quint16>(quint8(b.at(at)) | quint8(b.at(at + 1)) << 8);
}
qint32 i32(const QByteArray& b, int at) {
    return static_cast<qint32>(u24(b, at) | quint32(quint8(b.at(at + 3))) << 24);
}
float f32(const QByteArray& b, int at) {
    const auto bits = static_cast<quint32>(i32(b, at));
    float f = 0;
    std::memcpy(&f, &bits, 4);
    return f;
}
quint8 sum(const QByteArray& b) {
    quint8 s = 0;
    for (char c : b)
        s = static_cast<quint8>(s + quint8(c));
    return s;
}

// Minutes since 01.01.2000 00:00 counted by hand from the date and the time of day.
quint32 minutes(const QDateTime& t) {
    return static_cast<quint32>(QDate(2000, 1, 1).daysTo(t.date()) * 1440 + t.time().hour() * 60 +
                                t.time().minute());
}
QDateTime at(const char* text) {
    return QDateTime::fromString(QString::fromLatin1(text), QStringLiteral("dd.MM.yyyy HH:mm"));
}

// Record `index` of a page of `size`-byte records.
QByteArray record(const CorrectorMemory& m, bool high, int page, int size, int index) {
    return m.archivePage(high, page).mid(index * size, size);
}
bool empty(const QByteArray& r) {
    return r.left(3) == QByteArray(3, '\0');
}

// The bytes a role sends, gathered per request.
class RecordingLine final : public Line {
public:
    void send(const QByteArray& bytes, int /*delayMs*/) override { sent += bytes; }
    qint64 nowMs() const override { return 0; }
    Clock& clock() override { return clock_; }
    QByteArray sent;

private:
    SystemClock clock_;
};

QByteArray pageRequest(int address, bool high, int page) {
    QByteArray r;
    r.append(static_cast<char>(0x20 | (address << 1) | (high ? 1 : 0)));
    r.append(static_cast<char>(page));
    r.append('\0'); // 256 bytes
    return link::withFrameChecksum(r);
}

// Asks for a page and returns what came back (empty for no answer).
QByteArray askPage(CorrectorRole& role, bool high, int page) {
    RecordingLine line;
    role.receive(pageRequest(1, high, page), line);
    return line.sent;
}

bool soundFrame(const QByteArray& reply) {
    return reply.size() == 258 && reply.at(0) == 0 &&
           link::frameChecksum(reply.constData(), reply.size() - 1) == quint8(reply.back());
}

std::unique_ptr<CorrectorRole> corrector(const char* scenario) {
    QString error;
    std::unique_ptr<Role> role = makeRole(json(scenario), error);
    EXPECT_TRUE(role) << error.toStdString();
    return std::unique_ptr<CorrectorRole>(dynamic_cast<CorrectorRole*>(role.release()));
}

} // namespace

TEST(SimArchives, EventListsLandFromRecordZeroSealedWithTheirPointers) {
    CorrectorMemory m;
    QString error;
    ASSERT_TRUE(m.load(json(R"({"preset": "gas-selection",
        "abnormal": [
          {"at": "14.04.2024 02:10", "current": 1, "previous": 0, "volume": 0, "standardVolume": 0},
          {"at": "14.04.2024 05:40", "current": 0, "previous": 1, "volume": 11.25, "standardVolume": 46.5}],
        "interference": [
          {"at": "02.03.2024 10:15", "code": 130, "kind": 0, "by": 6, "before": "77BE2F3F", "after": "3bdf2f3f"},
          {"at": "02.03.2024 10:17", "code": 144, "kind": 7, "by": 8, "before": "0A000000", "after": "09000000"},
          {"at": "03.03.2024 00:01", "code": 255, "kind": 3, "by": 15, "before": "FFFFFFFF", "after": "00000000"}],
        "service": [
          {"at": "01.03.2024 00:00", "current": 257, "previous": 0},
          {"at": "15.05.2024 12:00", "current": 65535, "previous": 257}]})"),
                       error))
        << error.toStdString();

    // Abnormal situations: low bank page 0, 16-byte records.
    QByteArray r = record(m, false, 0, 16, 0);
    EXPECT_EQ(u24(r, 0), minutes(at("14.04.2024 02:10")));
    EXPECT_EQ(u16(r, 3), 1);
    EXPECT_EQ(u16(r, 5), 0);
    EXPECT_EQ(f32(r, 7), 0.0f);
    EXPECT_EQ(sum(r), 0);
    r = record(m, false, 0, 16, 1);
    EXPECT_EQ(u24(r, 0), minutes(at("14.04.2024 05:40")));
    EXPECT_EQ(u16(r, 3), 0);
    EXPECT_EQ(u16(r, 5), 1);
    EXPECT_EQ(f32(r, 7), 11.25f);
    EXPECT_EQ(f32(r, 11), 46.5f);
    EXPECT_EQ(sum(r), 0);
    EXPECT_TRUE(empty(record(m, false, 0, 16, 2)));
    EXPECT_EQ(m.pointer(kAbnormalPointer), 1);

    // Interference: high bank page 128, 16-byte records; the raw value bytes as given.
    r = record(m, true, 128, 16, 0);
    EXPECT_EQ(u24(r, 0), minutes(at("02.03.2024 10:15")));
    EXPECT_EQ(u16(r, 3), 0);
    EXPECT_EQ(quint8(r.at(5)), 130);
    EXPECT_EQ(quint8(r.at(6)), 0x06);
    EXPECT_EQ(r.mid(7, 4), QByteArray::fromHex("77BE2F3F"));
    EXPECT_EQ(r.mid(11, 4), QByteArray::fromHex("3BDF2F3F"));
    EXPECT_NEAR(f32(r, 7), 0.6865f, 1e-6);
    EXPECT_EQ(sum(r), 0);
    r = record(m, true, 128, 16, 1);
    EXPECT_EQ(quint8(r.at(5)), 144);
    EXPECT_EQ(quint8(r.at(6)), 0x78); // kind 7, changed by someone not known
    EXPECT_EQ(i32(r, 7), 10);
    EXPECT_EQ(i32(r, 11), 9);
    EXPECT_EQ(sum(r), 0);
    r = record(m, true, 128, 16, 2);
    EXPECT_EQ(u24(r, 0), minutes(at("03.03.2024 00:01")));
    EXPECT_EQ(quint8(r.at(5)), 255);
    EXPECT_EQ(quint8(r.at(6)), 0x3F);
    EXPECT_EQ(r.mid(7, 4), QByteArray(4, '\xFF'));
    EXPECT_EQ(sum(r), 0);
    EXPECT_TRUE(empty(record(m, true, 128, 16, 3)));
    EXPECT_EQ(m.pointer(kInterferencePointer), 2);

    // Service codes: high bank page 232, 8-byte records.
    r = record(m, true, 232, 8, 0);
    EXPECT_EQ(u24(r, 0), minutes(at("01.03.2024 00:00")));
    EXPECT_EQ(u16(r, 3), 257);
    EXPECT_EQ(u16(r, 5), 0);
    EXPECT_EQ(sum(r), 0);
    r = record(m, true, 232, 8, 1);
    EXPECT_EQ(u16(r, 3), 65535);
    EXPECT_EQ(u16(r, 5), 257);
    EXPECT_EQ(sum(r), 0);
    EXPECT_TRUE(empty(record(m, true, 232, 8, 2)));
    EXPECT_EQ(m.pointer(kServicePointer), 1);

    // The archives nobody listed keep their pointers.
    EXPECT_EQ(m.pointer(kOperativePointer), 0);
    EXPECT_EQ(m.pointer(kHourlyPointer), 0);
}

TEST(SimArchives, OperativeRecordsCarryTheMeasurementsAndACounterEndingAtTheMeterCounter) {
    CorrectorMemory m;
    QString error;
    ASSERT_TRUE(m.load(json(R"({"preset": "gas-selection", "measurements": {"temperature": -3.25},
        "operative": {"start": "01.03.2024 23:50", "count": 20, "stepMinutes": 5, "flow": 1250,
                      "counterStep": 7}})"),
                       error))
        << error.toStdString();
    const qint32 meterCounter = m.intAt(97);
    ASSERT_GT(meterCounter, 19 * 7);
    const auto k = static_cast<quint16>(std::lround(m.correction * 10000.0)); // below 6 kgf/cm²
    for (int i = 0; i < 20; ++i) {
        const QByteArray r = record(m, true, i / 16, 16, i % 16);
        EXPECT_EQ(u24(r, 0), minutes(at("01.03.2024 23:50")) + 5u * i) << i;
        EXPECT_EQ(u16(r, 3), 4200) << i; // the preset's 4.2 kgf/cm²
        EXPECT_EQ(static_cast<qint16>(u16(r, 5)), -325) << i;
        EXPECT_EQ(u16(r, 7), k) << i;
        EXPECT_EQ(u16(r, 9), 1250) << i;
        EXPECT_EQ(i32(r, 11), meterCounter - 7 * (19 - i)) << i;
        EXPECT_EQ(sum(r), 0) << i;
    }
    EXPECT_TRUE(empty(record(m, true, 1, 16, 4)));
    EXPECT_EQ(m.pointer(kOperativePointer), 19);

    // At 6 kgf/cm² and more the correction factor is kept × 1000.
    CorrectorMemory high;
    ASSERT_TRUE(high.load(json(R"({"measurements": {"pressure": 7.5, "correction": 7.125},
        "operative": {"start": "01.03.2024 00:00", "count": 1, "stepMinutes": 1}})"),
                          error))
        << error.toStdString();
    const QByteArray r = record(high, true, 0, 16, 0);
    EXPECT_EQ(u16(r, 3), 7500);
    EXPECT_EQ(u16(r, 7), 7125);
    EXPECT_EQ(i32(r, 11), 0); // no meter counter in a plain memory
    EXPECT_EQ(sum(r), 0);
}

TEST(SimArchives, ListsLongerThanTheRingWrapAndThePointerStaysInside) {
    // The service ring: 24 pages of 32 records.
    QJsonArray service;
    for (int i = 0; i < 770; ++i)
        service.append(QJsonObject{{QStringLiteral("at"), QStringLiteral("01.03.2024 00:00")},
                                   {QStringLiteral("current"), i},
                                   {QStringLiteral("previous"), i - 1 < 0 ? 0 : i - 1}});
    CorrectorMemory m;
    QString error;
    ASSERT_TRUE(m.load(QJsonObject{{QStringLiteral("service"), service}}, error)) << error.toStdString();
    EXPECT_EQ(m.pointer(kServicePointer), 1);
    EXPECT_EQ(u16(record(m, true, 232, 8, 0), 3), 768);
    EXPECT_EQ(u16(record(m, true, 232, 8, 1), 3), 769);
    EXPECT_EQ(u16(record(m, true, 232, 8, 2), 3), 2);
    EXPECT_EQ(u16(record(m, true, 255, 8, 31), 3), 767);

    // The operative ring: 127 full pages and 8 records on page 127, 2040 in all.
    CorrectorMemory o;
    ASSERT_TRUE(o.load(json(R"({"operative": {"start": "01.03.2024 00:00", "count": 2045, "stepMinutes": 1,
                                               "flow": 3}})"),
                       error))
        << error.toStdString();
    EXPECT_EQ(o.pointer(kOperativePointer), 4);
    const quint32 first = minutes(at("01.03.2024 00:00"));
    EXPECT_EQ(u24(record(o, true, 0, 16, 0), 0), first + 2040);
    EXPECT_EQ(u24(record(o, true, 0, 16, 4), 0), first + 2044);
    EXPECT_EQ(u24(record(o, true, 0, 16, 5), 0), first + 5);
    EXPECT_EQ(u24(record(o, true, 127, 16, 7), 0), first + 2039);
    EXPECT_EQ(o.archivePage(true, 127).mid(8 * 16), QByteArray(128, '\0')); // the unused rest of the page
}

TEST(SimArchives, AYearOfHoursWrapsTheHourlyRing) {
    const QDateTime start = at("01.03.2024 00:00");
    CorrectorMemory m;
    QString error;
    ASSERT_TRUE(m.load(json(R"({"preset": "gas-selection",
        "archive": {"start": "01.03.2024 00:00", "hours": 8760, "flow": 10}})"),
                       error))
        << error.toStdString();

    // Hourly: 204 pages of 8 records from page 52, 1632 in all.
    const int newest = m.pointer(kHourlyPointer);
    EXPECT_EQ(newest, 8759 % 1632);
    const auto hourly = [&](int i) { return record(m, false, 52 + i / 8, 32, i % 8); };
    EXPECT_EQ(u24(hourly(newest), 0), minutes(start.addSecs(3600LL * 8760)));
    EXPECT_EQ(u24(hourly(newest + 1), 0), minutes(start.addSecs(3600LL * (8760 - 1631))));
    quint32 latest = 0;
    int latestAt = -1;
    for (int i = 0; i < 1632; ++i) {
        const QByteArray r = hourly(i);
        ASSERT_FALSE(empty(r)) << i;
        ASSERT_EQ(sum(r), 0) << i;
        if (u24(r, 0) > latest) {
            latest = u24(r, 0);
            latestAt = i;
        }
    }
    EXPECT_EQ(latestAt, newest);

    // Daily: a year of contract hours (09:00) round a ring of 128; monthly: twelve in a ring of 32.
    EXPECT_EQ(m.pointer(kDailyPointer), 364 % 128);
    EXPECT_EQ(u24(record(m, true, 192 + (364 % 128) / 4, 64, (364 % 128) % 4), 0),
              minutes(at("28.02.2025 09:00")));
    EXPECT_EQ(m.pointer(kMonthlyPointer), 11);
    EXPECT_EQ(u24(record(m, true, 224 + 11 / 4, 64, 11 % 4), 0), minutes(at("01.02.2025 09:00")));

    // Up to a full ring the pointer is the count less one; one more starts again at 0.
    for (const auto& [hours, pointer] : {std::pair{30, 29}, std::pair{1632, 1631}, std::pair{1633, 0}}) {
        CorrectorMemory s;
        const QJsonObject archive{{QStringLiteral("start"), QStringLiteral("01.03.2024 00:00")},
                                  {QStringLiteral("hours"), hours}};
        ASSERT_TRUE(s.load(QJsonObject{{QStringLiteral("archive"), archive}}, error));
        EXPECT_EQ(s.pointer(kHourlyPointer), pointer) << hours;
    }
}

TEST(SimArchives, ABadRecordPageSpoilsExactlyTheFirstRepliesThenServesThePageClean) {
    auto role = corrector(R"({"role": "corrector", "address": 1,
        "interference": [
          {"at": "02.03.2024 10:15", "code": 130, "kind": 0, "by": 6, "before": "77BE2F3F", "after": "3BDF2F3F"},
          {"at": "02.03.2024 10:17", "code": 144, "kind": 1, "by": 4, "before": "0A000000", "after": "09000000"},
          {"at": "02.03.2024 10:19", "code": 141, "kind": 2, "by": 6, "before": "20BCBE00", "after": "C042C000"}],
        "faults": {"silence": 1, "chunks": [7, 100],
                   "badRecordPages": [{"bank": "high", "page": 128, "record": 1, "times": 2}]}})");
    ASSERT_TRUE(role);
    const QByteArray clean = role->memory().archivePage(true, 128);
    ASSERT_EQ(sum(clean.mid(16, 16)), 0);

    // The silenced request sends nothing and leaves the count as it is.
    EXPECT_TRUE(askPage(*role, true, 128).isEmpty());
    // Another page, and the same page number in the other bank, go out clean.
    EXPECT_EQ(askPage(*role, false, 128).mid(1, 256), role->memory().archivePage(false, 128));
    EXPECT_EQ(askPage(*role, true, 129).mid(1, 256), role->memory().archivePage(true, 129));

    for (int i = 0; i < 2; ++i) {
        const QByteArray reply = askPage(*role, true, 128);
        ASSERT_TRUE(soundFrame(reply)) << i;
        const QByteArray page = reply.mid(1, 256);
        EXPECT_NE(sum(page.mid(16, 16)), 0) << i;
        EXPECT_EQ(page.left(31), clean.left(31)) << i; // only record 1's check byte differs
        EXPECT_EQ(page.mid(32), clean.mid(32)) << i;
        EXPECT_EQ(sum(page.mid(0, 16)), 0) << i;
        EXPECT_EQ(sum(page.mid(32, 16)), 0) << i;
    }
    for (int i = 0; i < 2; ++i) {
        const QByteArray reply = askPage(*role, true, 128);
        ASSERT_TRUE(soundFrame(reply)) << i;
        EXPECT_EQ(reply.mid(1, 256), clean) << i;
    }
    EXPECT_EQ(role->memory().archivePage(true, 128), clean); // the memory never changed
}

TEST(SimArchives, ARefusalInPlaceOfTheBadPageLeavesItsCount) {
    auto role = corrector(R"({"role": "corrector", "address": 1,
        "service": [{"at": "01.03.2024 00:00", "current": 257, "previous": 0}],
        "faults": {"status": 32, "statusCount": 1,
                   "badRecordPages": [{"bank": "high", "page": 232, "record": 0, "times": 1}]}})");
    ASSERT_TRUE(role);
    const QByteArray refusal = askPage(*role, true, 232);
    ASSERT_EQ(refusal.size(), 2);
    EXPECT_EQ(quint8(refusal.at(0)), 32);
    QByteArray reply = askPage(*role, true, 232);
    ASSERT_TRUE(soundFrame(reply));
    EXPECT_NE(sum(reply.mid(1, 8)), 0);
    reply = askPage(*role, true, 232);
    ASSERT_TRUE(soundFrame(reply));
    EXPECT_EQ(sum(reply.mid(1, 8)), 0);
}

TEST(SimArchives, BadListEntriesAreReported) {
    const char* bad[] = {
        R"({"interference": [{"at": "02.03.2024 10:15", "before": "12345G78", "after": "00000000"}]})",
        R"({"interference": [{"at": "02.03.2024 10:15", "before": "123456", "after": "00000000"}]})",
        R"({"interference": [{"at": "02.03.2024 10:15", "before": "00000000"}]})",
        R"({"interference": [{"at": "02.03.2024 10:15", "kind": 8, "before": "00000000", "after": "00000000"}]})",
        R"({"interference": [{"at": "02.03.2024 10:15", "by": 16, "before": "00000000", "after": "00000000"}]})",
        R"({"abnormal": [{"at": "31.02.2024 10:00", "current": 1}]})",
        R"({"abnormal": [{"at": "2024-03-01T10:00", "current": 1}]})",
        R"({"abnormal": [{"current": 1}]})",
        R"({"abnormal": [{"at": "01.03.2024 10:00", "current": 70000}]})",
        R"({"abnormal": [{"at": "01.03.2024 10:00", "current": 1.5}]})",
        R"({"abnormal": [{"at": "01.03.2024 10:00", "volume": "much"}]})",
        R"({"abnormal": {"at": "01.03.2024 10:00"}})",
        R"({"service": [{"at": "31.12.1999 23:00", "current": 1}]})",
        R"({"service": [{"at": "01.01.2040 00:00", "current": 1}]})",
        R"({"operative": {"start": "yesterday", "count": 5}})",
        R"({"operative": {"start": "01.03.2024 00:00", "count": 5, "stepMinutes": 0}})",
        R"({"operative": {"start": "01.03.2024 00:00", "count": 5, "flow": 65536}})",
        R"({"operative": {"start": "01.11.2031 00:00", "count": 5000, "stepMinutes": 60}})",
    };
    for (const char* text : bad) {
        CorrectorMemory m;
        QString error;
        EXPECT_FALSE(m.load(json(text), error)) << text;
        EXPECT_TRUE(error.startsWith(QStringLiteral("corrector: "))) << text << " " << error.toStdString();
    }
    // The entry at fault is named.
    CorrectorMemory m;
    QString error;
    EXPECT_FALSE(m.load(json(R"({"service": [{"at": "01.03.2024 00:00"}, {"at": "01.03.2024"}]})"), error));
    EXPECT_TRUE(error.contains(QStringLiteral("service record 1"))) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("\"at\""))) << error.toStdString();
}

TEST(SimArchives, BadRecordPagesEntriesAreReported) {
    const char* bad[] = {
        R"({"bank": "middle", "page": 128, "record": 0})",
        R"({"page": 128, "record": 0})",
        R"({"bank": "high", "page": 256, "record": 0})",
        R"({"bank": "high", "record": 0})",
        R"({"bank": "high", "page": 127, "record": 8})", // the operative area's last page keeps 8
        R"({"bank": "low", "page": 52, "record": 8})",   // hourly pages keep 8
        R"({"bank": "high", "page": 232, "record": -1})",
        R"({"bank": "high", "page": 232, "record": 0, "times": -1})",
    };
    for (const char* entry : bad) {
        const QByteArray text =
            QByteArray(R"({"role": "corrector", "faults": {"badRecordPages": [)") + entry + "]}}";
        std::vector<std::unique_ptr<Role>> roles;
        QString error;
        EXPECT_FALSE(loadScenarioJson(text, roles, error)) << entry;
        EXPECT_TRUE(error.contains(QStringLiteral("badRecordPages"))) << entry << " " << error.toStdString();
    }
    std::vector<std::unique_ptr<Role>> roles;
    QString error;
    EXPECT_TRUE(loadScenarioJson(
        R"({"role": "corrector", "faults": {"badRecordPages": [{"bank": "high", "page": 126, "record": 15},
                                                              {"bank": "high", "page": 255, "record": 31}]}})",
        roles, error))
        << error.toStdString();
}

TEST(SimArchives, TheYearDemoLoadsWithEveryArchiveFilled) {
    const QString path = QStringLiteral(TARN_SOURCE_DIR "/tools/corrector-sim/scenarios/corrector-year.json");
    std::vector<std::unique_ptr<Role>> roles;
    QString error;
    ASSERT_TRUE(loadScenario(path, roles, error)) << error.toStdString();
    ASSERT_EQ(roles.size(), 1u);
    auto* role = dynamic_cast<CorrectorRole*>(roles.front().get());
    ASSERT_TRUE(role);
    const CorrectorMemory& m = role->memory();
    EXPECT_EQ(m.preset, QStringLiteral("gas-selection"));
    EXPECT_EQ(m.pointer(kHourlyPointer), 8759 % 1632);
    EXPECT_EQ(m.pointer(kOperativePointer), 199);
    EXPECT_GE(m.pointer(kAbnormalPointer), 2);
    EXPECT_GE(m.pointer(kInterferencePointer), 3);
    EXPECT_GE(m.pointer(kServicePointer), 2);

    // Every record up to each pointer is sealed, and the interference records use several kinds.
    struct Area {
        bool high;
        int firstPage, size;
        PointerPlace pointer;
    };
    const Area areas[] = {{false, 0, 16, kAbnormalPointer},
                          {true, 128, 16, kInterferencePointer},
                          {true, 232, 8, kServicePointer},
                          {true, 0, 16, kOperativePointer}};
    for (const Area& a : areas)
        for (int i = 0; i <= m.pointer(a.pointer); ++i) {
            const int perPage = 256 / a.size;
            const QByteArray r = record(m, a.high, a.firstPage + i / perPage, a.size, i % perPage);
            EXPECT_FALSE(empty(r)) << a.firstPage << " " << i;
            EXPECT_EQ(sum(r), 0) << a.firstPage << " " << i;
        }
    QList<int> kinds;
    for (int i = 0; i <= m.pointer(kInterferencePointer); ++i) {
        const int kind = quint8(record(m, true, 128, 16, i).at(6)) >> 4;
        if (!kinds.contains(kind)) kinds.append(kind);
    }
    EXPECT_GE(kinds.size(), 4);
}
