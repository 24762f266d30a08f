// Acceptance checks of the data-transfer units as a metering engineer meets them back at the desk: the
// unit's state and zones, reading zones into the image files, loading a zone into the database as a
// reading by the transfer unit ("ДТУ"), the unit's faults, its self-test and erase, and the parallel-port
// unit's refusals. tarn-cli and corrector-sim run as processes only; every record a zone holds is built
// byte by byte here and every expected value is worked out here from those bytes.
#include "acceptance/AcceptanceReaders.h"
#include "acceptance/AcceptanceRecords.h"
#include "support/CliRunner.h"
#include "support/SimProcess.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>

namespace {

const QString kSim = QStringLiteral(TARN_SIM_PROGRAM);
const QString kIdentification = QStringLiteral("V Tarn-sim V47a 2.01");

using acceptance::fromCp1251;

// ---------------------------------------------------------------- corrector records, byte by byte

using acceptance::deviceMinutes;
using acceptance::floatLe;
using acceptance::le;
using acceptance::sealed;

// The values of an hourly record, and the first 31 bytes of a daily one. Volumes are quarters so that
// their text is exact at the two decimals a volume is shown with.
struct Period {
    QDateTime end;
    float working, standard, alarmWorking, alarmStandard;
    quint16 pressure1000;
    qint16 temperature100;
    quint16 compress10000, correctionRaw, status1, status2;
};

QByteArray periodHead(const Period& p) {
    QByteArray r = deviceMinutes(p.end);
    r += floatLe(p.working) + floatLe(p.standard) + floatLe(p.alarmWorking) + floatLe(p.alarmStandard);
    r += le(p.pressure1000, 2) + le(quint16(p.temperature100), 2) + le(p.compress10000, 2);
    r += le(p.correctionRaw, 2) + le(p.status1, 2) + le(p.status2, 2);
    return r;
}

QByteArray hourlyBytes(const Period& p) {
    return sealed(periodHead(p) + '\0');
}

// A daily record: the hourly fields, the meter counter, the 16-byte block, the total counter, heat.
QByteArray dailyBytes(const Period& p, const QByteArray& block16,
                      std::optional<quint32> counter = std::nullopt, quint32 total = 500000) {
    QByteArray r = periodHead(p);
    r += le(counter.value_or(quint32(100000 + p.end.date().day())), 4) + block16 + le(total, 4);
    r += floatLe(0.0f) + floatLe(0.0f) + '\0';
    return sealed(r);
}

// "xxx/" and twelve letters: bit b of word 2 then of word 1 gives x . o O; bits 14, 13, 12 of word 1
// put З, И, В in the first three places.
QString statusText(quint16 w1, quint16 w2) {
    QString s = QStringLiteral("xxx/");
    if (w1 & 0x4000) s[0] = QChar(0x0417);
    if (w1 & 0x2000) s[1] = QChar(0x0418);
    if (w1 & 0x1000) s[2] = QChar(0x0412);
    const QString letters = QStringLiteral("x.oO");
    for (int b = 11; b >= 0; --b)
        s += letters[(((w2 >> b) & 1) << 1) | ((w1 >> b) & 1)];
    return s;
}

constexpr int kHourlyFirstPage = 52; // low bank
constexpr int kDailyFirstPage = 192; // high bank
constexpr int kZoneBytes = 32768;    // of each image file

QList<Period> hours(int count, quint16 status1 = 0) {
    const QDateTime t0(QDate(2024, 4, 1), QTime(10, 0));
    QList<Period> out;
    for (int i = 0; i < count; ++i) {
        const bool high = i % 3 == 2; // from 6 kgf/cm² on the factor is kept in thousandths
        out.append({t0.addSecs(3600LL * i), 7.25f + float(i), 24.5f + 2 * float(i), 0.25f * float(i % 4),
                    0.75f, quint16(high ? 6125 : 1234 + i), qint16(i % 2 ? 1875 - i : -512 - i),
                    quint16(9987 - i), quint16(high ? 7654 : 12345 + i), quint16(i == 1 ? 0x3001 : status1),
                    quint16(i == 1 ? 0x0001 : 0)});
    }
    return out;
}

QList<Period> days(int count) {
    const QDateTime t0(QDate(2024, 4, 2), QTime(9, 0));
    QList<Period> out;
    for (int i = 0; i < count; ++i)
        out.append({t0.addDays(i), 180.5f + float(i), 410.25f + float(i), 0.5f, 1.25f, quint16(1500 + i),
                    qint16(-250), quint16(9950), quint16(22000 + i), quint16(0x1000), 0});
    return out;
}

QByteArray block16(int i) {
    QByteArray b;
    for (int k = 0; k < 16; ++k)
        b.append(char(0x10 * (k % 16) + i));
    return b;
}

QJsonObject bytesAt(bool high, int offset, const QByteArray& bytes) {
    return {{"bank", high ? "high" : "low"}, {"offset", offset}, {"hex", QString::fromLatin1(bytes.toHex())}};
}

// The corrector a zone holds: identification, serial and the hourly and daily records given; a record
// may be spoilt (its check byte made wrong).
QJsonObject corrector(int serial, const QList<Period>& h, const QList<Period>& d, int spoiltHour = -1) {
    QByteArray hourly, daily;
    for (int i = 0; i < h.size(); ++i) {
        QByteArray r = hourlyBytes(h[i]);
        if (i == spoiltHour) r[31] = char(quint8(r[31]) + 1);
        hourly += r;
    }
    for (int i = 0; i < d.size(); ++i)
        daily += dailyBytes(d[i], block16(i));
    QJsonArray banks;
    if (!hourly.isEmpty()) banks.append(bytesAt(false, kHourlyFirstPage * 256, hourly));
    if (!daily.isEmpty()) banks.append(bytesAt(true, kDailyFirstPage * 256, daily));
    return {{"identification", kIdentification}, {"serial", serial}, {"archiveBytes", banks}};
}

QJsonObject zone(int status, std::optional<QJsonObject> held = std::nullopt) {
    QJsonObject z{{"status", status}};
    if (held) z.insert(QStringLiteral("corrector"), *held);
    return z;
}

QByteArray unit(const QJsonArray& zones, const QJsonObject& more = {}) {
    QJsonObject device = more;
    device.insert(QStringLiteral("role"), QStringLiteral("dtu16"));
    device.insert(QStringLiteral("zones"), zones);
    return QJsonDocument(QJsonObject{{"devices", QJsonArray{device}}}).toJson();
}

// ---------------------------------------------------------------- installation and processes

using Result = tarn::test::CliText;

class Installation {
public:
    Installation() {
        home_ = dir_.path() + QStringLiteral("/home");
        QDir().mkpath(home_);
        initialised_ = cli({QStringLiteral("init")}).code == 0;
        write(QStringLiteral("Work/Type_Leng.000"), "RU\r\n");
    }
    bool initialised() const { return initialised_; }
    QString path(const QString& relative) const { return home_ + QLatin1Char('/') + relative; }

    void write(const QString& relative, const QByteArray& bytes) const {
        QDir().mkpath(QFileInfo(path(relative)).path());
        QFile f(path(relative));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray read(const QString& relative) const {
        QFile f(path(relative));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // A simulated unit on COM1, each on a link of its own; the one before is ended.
    bool startUnit(const QByteArray& json) {
        sim_.reset();
        ++units_;
        const QString link = dir_.path() + QStringLiteral("/com1-%1").arg(units_);
        write(QStringLiteral("Work/PortMap.000"), "COM1 " + link.toLocal8Bit() + "\r\n");
        sim_ = std::make_unique<tarn::test::SimProcess>();
        return sim_->start(kSim, dir_.path() + QStringLiteral("/scenario-%1.json").arg(units_), json, link);
    }
    void stopUnit() { sim_.reset(); }

    Result cli(const QStringList& args) const { return tarn::test::runCliIn(home_, args).text(); }
    // A dtu command to the unit on COM1; "--lang X" among the words goes before the command.
    Result dtu(QStringList args) const {
        QStringList global{QStringLiteral("--port"), QStringLiteral("COM1")};
        const qsizetype lang = args.indexOf(QStringLiteral("--lang"));
        if (lang >= 0 && lang + 1 < args.size()) {
            global << args.mid(lang, 2);
            args.remove(lang, 2);
        }
        return cli(global + QStringList{QStringLiteral("dtu")} + args);
    }

    // The rows stored for a point, each as its fields by name.
    QList<QMap<QString, QString>> rows(const QString& point, const QString& archive) const {
        const Result r = cli({QStringLiteral("rows"), QStringLiteral("--point"), point,
                              QStringLiteral("--archive"), archive, QStringLiteral("--json")});
        QList<QMap<QString, QString>> out;
        if (r.code != 0) return out;
        const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
        const QJsonArray fields = o.value(QStringLiteral("fields")).toArray();
        for (const QJsonValue& row : o.value(QStringLiteral("rows")).toArray()) {
            QMap<QString, QString> m;
            const QJsonArray cells = row.toArray();
            for (int i = 0; i < fields.size() && i < cells.size(); ++i)
                m.insert(fields[i].toString(), cells[i].toString());
            out.append(m);
        }
        return out;
    }
    // The registered points by identifier, each as the registry lists it.
    QMap<QString, QJsonObject> registry() const {
        const Result r = cli({QStringLiteral("points"), QStringLiteral("list"), QStringLiteral("--json")});
        QMap<QString, QJsonObject> out;
        for (const QJsonValue& p :
             QJsonDocument::fromJson(r.out.toUtf8()).object().value(QStringLiteral("points")).toArray())
            out.insert(p.toObject().value(QStringLiteral("point")).toString(), p.toObject());
        return out;
    }
    QStringList points() const { return registry().keys(); }

private:
    QTemporaryDir dir_;
    QString home_;
    bool initialised_ = false;
    int units_ = 0;
    std::unique_ptr<tarn::test::SimProcess> sim_;
};

QJsonObject json(const Result& r) {
    return QJsonDocument::fromJson(r.out.toUtf8()).object();
}

// Zone number → its text, from a state, read or zones answer.
QMap<int, QString> zoneTexts(const QJsonObject& answer) {
    QMap<int, QString> out;
    for (const QJsonValue& z : answer.value(QStringLiteral("zones")).toArray())
        out.insert(z.toObject().value(QStringLiteral("zone")).toInt(),
                   z.toObject().value(QStringLiteral("text")).toString());
    return out;
}

bool near(const QString& stored, double expected) {
    bool ok = false;
    const double v = stored.toDouble(&ok);
    return ok && std::fabs(v - expected) < 1e-6;
}

// The stored hourly (or daily) rows are exactly the records given: number, time and every value.
void expectStored(const QList<QMap<QString, QString>>& stored, const QList<Period>& given, QChar prefix,
                  const std::function<bool(int)>& skip = {}) {
    QMap<int, QMap<QString, QString>> byNumber;
    for (const auto& row : stored)
        byNumber.insert(row.value(QString(prefix) + QStringLiteral("NumWrCor")).toInt(), row);
    int expectedCount = 0;
    for (int i = 0; i < given.size(); ++i) {
        if (skip && skip(i)) {
            // A record that failed its check is never stored with its values.
            if (byNumber.contains(i)) {
                EXPECT_FALSE(
                    near(byNumber[i].value(QString(prefix) + QStringLiteral("Vwrk")), given[i].working))
                    << "record " << i;
            }
            continue;
        }
        ++expectedCount;
        SCOPED_TRACE(QStringLiteral("%1 record %2").arg(prefix).arg(i).toStdString());
        ASSERT_TRUE(byNumber.contains(i));
        const auto& row = byNumber[i];
        const Period& p = given[i];
        auto f = [&](const char* name) { return row.value(QString(prefix) + QLatin1String(name)); };
        EXPECT_EQ(f("Date"), p.end.toString(QStringLiteral("dd.MM.yyyy")));
        EXPECT_EQ(f("Time"), p.end.toString(QStringLiteral("HH:mm")));
        EXPECT_EQ(f("DT_Corr"), p.end.toString(QStringLiteral("dd.MM.yyyy HH:mm")));
        EXPECT_TRUE(near(f("Vwrk"), p.working)) << f("Vwrk").toStdString();
        EXPECT_TRUE(near(f("Vst"), p.standard)) << f("Vst").toStdString();
        EXPECT_TRUE(near(f("Valwrk"), p.alarmWorking)) << f("Valwrk").toStdString();
        EXPECT_TRUE(near(f("Valst"), p.alarmStandard)) << f("Valst").toStdString();
        EXPECT_TRUE(near(f("P"), p.pressure1000 / 1000.0)) << f("P").toStdString();
        EXPECT_TRUE(near(f("T"), p.temperature100 / 100.0)) << f("T").toStdString();
        EXPECT_TRUE(near(f("Ksg"), p.compress10000 / 10000.0)) << f("Ksg").toStdString();
        const double factor = p.correctionRaw / (p.pressure1000 >= 6000 ? 1000.0 : 10000.0);
        EXPECT_TRUE(near(f("Kkor"), factor)) << f("Kkor").toStdString();
        // Working and standard totals: the volume and the volume in the abnormal situation.
        EXPECT_TRUE(near(f("Vwrk_alwrk"), p.working + p.alarmWorking)) << f("Vwrk_alwrk").toStdString();
        EXPECT_TRUE(near(f("Vst_alwrk"), p.standard + p.alarmStandard)) << f("Vst_alwrk").toStdString();
        const QString status = statusText(p.status1, p.status2);
        if (prefix == QLatin1Char('h')) {
            EXPECT_EQ(f("Help"), status);
        } else {
            EXPECT_EQ(f("Help"), status.left(3));
            EXPECT_EQ(f("OldData").toLower(), QString::fromLatin1(block16(i).toHex()));
        }
    }
    EXPECT_EQ(stored.size(), expectedCount);
}

// ---------------------------------------------------------------- state and zones

struct StateCase {
    const char* name;
    const char* version;
    const char* lang;
    int zoneCount;
    // Texts of zones 1..6, holding statuses 3, 1, 0, 5, 6, 7.
    QStringList texts;
};

QByteArray stateFile(const QStringList& records) {
    QByteArray out;
    for (const QString& r : records) {
        QByteArray b;
        for (QChar c : r) // the Cyrillic block and ASCII are all these records hold
            b.append(c.unicode() >= 0x0410 && c.unicode() <= 0x044F ? char(0xC0 + (c.unicode() - 0x0410))
                                                                    : char(c.unicode()));
        out += b.leftJustified(64, '\0');
    }
    return out;
}

TEST(UnitState, ZonesShowTheirContentFromTheUnitAndFromTheLastReadsStateFile) {
    const QList<StateCase> cases = {
        {"Russian",
         "DTU-1-16 v2.05",
         "ru",
         16,
         {"Нормальная запись", "Запись неполная", "Нет данных", "Ошибка конт.сум.O", "Ошибка конт.сум.Д",
          "Старая версия прогр."}},
        {"Ukrainian",
         "DTU-1-16 v2.05",
         "ua",
         16,
         {"Запис норма", "Запис неповний", "Немає даних", "Помилка конт.сум.O", "Помилка конт.сум.Д",
          "Стара версія прогр."}},
        {"EightZones",
         "DTU-1-16 u208 v1.3",
         "ru",
         8,
         {"Нормальная запись", "Запись неполная", "Нет данных", "Ошибка конт.сум.O", "Ошибка конт.сум.Д",
          "Старая версия прогр."}},
    };
    QJsonArray zones;
    for (int status : {3, 1, 0, 5, 6, 7, 3, 3, 3, 3})
        zones.append(zone(status));
    for (const StateCase& c : cases) {
        SCOPED_TRACE(c.name);
        Installation inst;
        ASSERT_TRUE(inst.initialised());
        ASSERT_TRUE(inst.startUnit(unit(zones, {{"version", c.version}})));
        const Result r = inst.dtu({QStringLiteral("state"), QStringLiteral("--json"),
                                   QStringLiteral("--lang"), QString::fromLatin1(c.lang)});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        const QJsonObject answer = json(r);
        EXPECT_EQ(answer.value(QStringLiteral("version")).toString(), QString::fromLatin1(c.version));
        EXPECT_EQ(answer.value(QStringLiteral("zoneCount")).toInt(), c.zoneCount);
        const QMap<int, QString> texts = zoneTexts(answer);
        EXPECT_EQ(texts.size(), c.zoneCount);
        for (int z = 1; z <= c.texts.size(); ++z)
            EXPECT_EQ(texts.value(z), c.texts[z - 1]) << "zone " << z;
        // Zones past the ones given hold nothing; an 8-zone unit shows none of 9..16.
        for (int z = 11; z <= 16; ++z)
            EXPECT_EQ(texts.contains(z), c.zoneCount == 16) << "zone " << z;
        if (c.zoneCount == 16) {
            EXPECT_EQ(texts.value(16), c.texts[2]);
        }
    }

    // Without the unit: the zones of the last read as its state file keeps them.
    struct FileCase {
        const char* name;
        QStringList records;
        int zoneCount;
        QMap<int, QString> zones;
    };
    const QList<FileCase> files = {
        {"SixteenZonesFromTwo",
         {"1", "2", "3", "41234", "ГРП Садова", "5", "0", "0", "131", "7", "Котельня"},
         16,
         {{2, "N 41234ГРП Садова"}, {3, "Ошибка конт.сум.O"}, {4, "N 00007Котельня"}}},
        {"EightZones",
         {"0", "1", "1", "0", "0", "7", "0", "0"},
         8,
         {{1, "Запись неполная"}, {2, "Старая версия прогр."}}},
        // Up to 255 bytes the file holds no zone.
        {"TooShort", {"1", "1", "3", "41234"}, -1, {}},
    };
    for (const FileCase& c : files) {
        SCOPED_TRACE(c.name);
        Installation inst;
        ASSERT_TRUE(inst.initialised());
        inst.write(QStringLiteral("Current/StatDtu.000"), stateFile(c.records));
        const Result r = inst.cli({QStringLiteral("dtu"), QStringLiteral("zones"), QStringLiteral("--json")});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_EQ(zoneTexts(json(r)), c.zones) << r.out.toStdString();
        if (c.zoneCount > 0) {
            EXPECT_EQ(json(r).value(QStringLiteral("zoneCount")).toInt(), c.zoneCount);
        }
    }
}

// ---------------------------------------------------------------- reading zones into the image files

// A 64-byte record of the state file: its text up to the NUL padding.
QString stateRecord(const QByteArray& file, int i) {
    const QByteArray r = file.mid(64 * i, 64);
    const qsizetype end = r.indexOf('\0');
    return fromCp1251(end < 0 ? r : r.left(end));
}

TEST(ZoneRead, ReadsFromTheFirstZoneToTheFirstEmptyOneIntoTheImageFiles) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    QJsonObject a = corrector(41234, hours(6), days(2));
    a.insert(QStringLiteral("words"), QJsonArray{QJsonObject{{"index", 113}, {"text", "ГРП Садова"}}});
    // A serial below five digits is shown with leading zeros and kept in the state file as it is.
    const QJsonObject b = corrector(7, hours(3), {});
    // Zone 2 holds an incomplete copy, zone 5 nothing: reading 3..6 stops before zone 5.
    const QJsonArray zones{zone(0),    zone(1), zone(3, a),
                           zone(3, b), zone(0), zone(3, corrector(41888, hours(2), {}))};
    ASSERT_TRUE(inst.startUnit(unit(zones)));

    const Result r = inst.dtu({QStringLiteral("read"), QStringLiteral("--first"), QStringLiteral("3"),
                               QStringLiteral("--last"), QStringLiteral("6"), QStringLiteral("--json")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QMap<int, QString> read = zoneTexts(json(r));
    EXPECT_EQ(read.keys(), (QList<int>{3, 4})) << r.out.toStdString();
    EXPECT_EQ(read.value(3), QStringLiteral("N 41234ГРП Садова"));
    EXPECT_EQ(read.value(4), QStringLiteral("N 00007"));

    // Zone 3 at offset 0 of each image file, zone 4 at 32768; the identification lies at 32000 of
    // region 3, the hourly pages from page 52 of region 0 and the daily pages from page 64 of region 3
    // (logical page 448).
    const QByteArray identification = kIdentification.toLatin1();
    QByteArray hourly, hourlyB, daily;
    for (const Period& p : hours(6))
        hourly += hourlyBytes(p);
    for (const Period& p : hours(3))
        hourlyB += hourlyBytes(p);
    const QList<Period> d = days(2);
    for (int i = 0; i < d.size(); ++i)
        daily += dailyBytes(d[i], block16(i));
    QByteArray images[4];
    for (int f = 0; f < 4; ++f) {
        images[f] = inst.read(QStringLiteral("Current/DTU_%1.000").arg(f));
        EXPECT_EQ(images[f].size(), 2 * kZoneBytes) << "DTU_" << f;
    }
    ASSERT_EQ(images[3].size(), 2 * kZoneBytes);
    EXPECT_EQ(images[3].mid(32000, identification.size()), identification);
    EXPECT_EQ(images[3].mid(kZoneBytes + 32000, identification.size()), identification);
    EXPECT_EQ(images[0].mid(kHourlyFirstPage * 256, hourly.size()).toHex(), hourly.toHex());
    EXPECT_EQ(images[0].mid(kZoneBytes + kHourlyFirstPage * 256, hourlyB.size()).toHex(), hourlyB.toHex());
    EXPECT_EQ(images[3].mid((448 % 128) * 256, daily.size()).toHex(), daily.toHex());

    // The state file: 16-zone unit, first zone 3, then status, serial and name of each zone read.
    const QByteArray state = inst.read(QStringLiteral("Current/StatDtu.000"));
    ASSERT_EQ(state.size(), 64 * 8);
    const QStringList expected{"1", "3", "3", "41234", "ГРП Садова", "3", "7", "0"};
    for (int i = 0; i < expected.size(); ++i)
        EXPECT_EQ(stateRecord(state, i), expected[i]) << "record " << i;

    // Without the unit the zones of the last read are still there.
    inst.stopUnit();
    const Result again = inst.cli({QStringLiteral("dtu"), QStringLiteral("zones"), QStringLiteral("--json")});
    ASSERT_EQ(again.code, 0) << again.err.toStdString();
    EXPECT_EQ(zoneTexts(json(again)), read);

    // Reads the unit refuses leave the last read's files as they were.
    ASSERT_TRUE(inst.startUnit(unit(zones)));
    struct Refused {
        const char* first;
        const char* last;
        const char* message;
    };
    const QList<Refused> refusals = {
        {"6", "5", "ОШИБКА!!! Зона начала чтения > Последней зоны"},
        {"5", "6", "Нет данных"}, // the first zone empty
        {"2", "4", "Нет данных"}, // the first zone incomplete
    };
    for (const Refused& c : refusals) {
        SCOPED_TRACE(std::string(c.first) + ".." + c.last);
        const Result no =
            inst.dtu({QStringLiteral("read"), QStringLiteral("--first"), QString::fromLatin1(c.first),
                      QStringLiteral("--last"), QString::fromLatin1(c.last)});
        EXPECT_NE(no.code, 0);
        EXPECT_TRUE(no.err.contains(QString::fromUtf8(c.message))) << no.err.toStdString();
        EXPECT_EQ(inst.read(QStringLiteral("Current/StatDtu.000")), state);
        EXPECT_EQ(inst.read(QStringLiteral("Current/DTU_3.000")), images[3]);
    }

    // A unit whose version holds "u208" reads no zone past 8, whatever was asked.
    QJsonArray many;
    for (int z = 1; z <= 10; ++z)
        many.append(zone(3, corrector(42000 + z, hours(1), {})));
    ASSERT_TRUE(inst.startUnit(unit(many, {{"version", "DTU-1-16 u208"}})));
    const Result eight = inst.dtu({QStringLiteral("read"), QStringLiteral("--first"), QStringLiteral("7"),
                                   QStringLiteral("--last"), QStringLiteral("16"), QStringLiteral("--json")});
    ASSERT_EQ(eight.code, 0) << eight.err.toStdString();
    EXPECT_EQ(zoneTexts(json(eight)).keys(), (QList<int>{7, 8})) << eight.out.toStdString();
    EXPECT_EQ(inst.read(QStringLiteral("Current/DTU_0.000")).size(), 2 * kZoneBytes);
    const QByteArray eightState = inst.read(QStringLiteral("Current/StatDtu.000"));
    EXPECT_EQ(stateRecord(eightState, 0), QStringLiteral("0"));
    EXPECT_EQ(stateRecord(eightState, 1), QStringLiteral("7"));

    // Image files that cannot be created end the read before anything is kept.
    {
        Installation fresh;
        ASSERT_TRUE(fresh.initialised());
        // A folder where an image file belongs.
        ASSERT_TRUE(QDir().mkpath(fresh.path(QStringLiteral("Current/DTU_2.000"))));
        ASSERT_TRUE(fresh.startUnit(unit({zone(3, corrector(41234, hours(2), {}))})));
        const Result r = fresh.dtu({QStringLiteral("read"), QStringLiteral("--last"), QStringLiteral("1")});
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.err.contains(QStringLiteral("ОШИБКА!!! при создании файлов"))) << r.err.toStdString();
        fresh.stopUnit();
        const Result load = fresh.cli(
            {QStringLiteral("dtu"), QStringLiteral("load"), QStringLiteral("1"), QStringLiteral("--store")});
        EXPECT_NE(load.code, 0);
        EXPECT_TRUE(fresh.points().isEmpty());
    }
}

// ---------------------------------------------------------------- loading and storing a zone

TEST(ZoneLoad, StoredRowsAreTheZonesRecordsOnceAndUnderTheirOwnPoint) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    const QList<Period> firstVisit = hours(10), laterVisit = hours(14);
    const QList<Period> firstDays = days(2), laterDays = days(3);
    const QList<Period> other = hours(5, 0x0800);
    // The first visit also copied abnormal situations, an intervention, service records and three
    // operative records.
    QJsonObject first = corrector(41234, firstVisit, firstDays);
    first.insert(QStringLiteral("abnormal"), QJsonArray{QJsonObject{{"at", "01.04.2024 10:05"},
                                                                    {"current", 5},
                                                                    {"previous", 0},
                                                                    {"volume", 1.25},
                                                                    {"standardVolume", 2.5}},
                                                        QJsonObject{{"at", "01.04.2024 11:05"},
                                                                    {"current", 0},
                                                                    {"previous", 5},
                                                                    {"volume", 0.5},
                                                                    {"standardVolume", 0.75}}});
    first.insert(QStringLiteral("interference"), QJsonArray{QJsonObject{{"at", "01.04.2024 12:00"},
                                                                        {"code", 4},
                                                                        {"kind", 0},
                                                                        {"by", 1},
                                                                        {"before", "05000000"},
                                                                        {"after", "07000000"}}});
    first.insert(QStringLiteral("service"),
                 QJsonArray{QJsonObject{{"at", "01.04.2024 13:00"}, {"current", 0x102}, {"previous", 1}},
                            QJsonObject{{"at", "01.04.2024 13:10"}, {"current", 3}, {"previous", 0x102}}});
    first.insert(QStringLiteral("operative"),
                 QJsonObject{{"start", "01.04.2024 14:00"}, {"count", 3}, {"stepMinutes", 1}, {"flow", 100}});
    // The same serial in another model family is another metering point.
    QJsonObject otherFamily = corrector(41234, hours(3), {});
    otherFamily.insert(QStringLiteral("identification"), QStringLiteral("V Tarn-sim T47a 2.01"));
    // An hourly ring that has wrapped: the four newest hours on its first page, the four before them at
    // the end of its last page (records 1628..1631).
    const QList<Period> ring = hours(8);
    QByteArray newest, oldest;
    for (int i = 0; i < 4; ++i) {
        oldest += hourlyBytes(ring[i]);
        newest += hourlyBytes(ring[4 + i]);
    }
    const QJsonObject wrapped{{"identification", kIdentification},
                              {"serial", 41300},
                              {"archiveBytes", QJsonArray{bytesAt(false, kHourlyFirstPage * 256, newest),
                                                          bytesAt(false, 255 * 256 + 128, oldest)}}};
    // The same corrector after its archive was cleared: the four oldest hours again, now records 8..11.
    const QJsonObject cleared{
        {"identification", kIdentification},
        {"serial", 41300},
        {"archiveBytes", QJsonArray{bytesAt(false, (kHourlyFirstPage + 1) * 256, oldest)}}};
    // By the later visit the corrector names its organisation and pipeline.
    QJsonObject later = corrector(41234, laterVisit, laterDays);
    later.insert(QStringLiteral("words"), QJsonArray{QJsonObject{{"index", 113}, {"text", "Облгаз"}},
                                                     QJsonObject{{"index", 121}, {"text", "Нитка 2"}}});
    const QJsonArray zones{zone(3, first),       zone(3, later),   zone(3, corrector(41299, other, {})),
                           zone(3, otherFamily), zone(3, wrapped), zone(3, cleared)};
    ASSERT_TRUE(inst.startUnit(unit(zones)));
    const Result read = inst.dtu({QStringLiteral("read"), QStringLiteral("--last"), QStringLiteral("6")});
    ASSERT_EQ(read.code, 0) << read.err.toStdString();
    inst.stopUnit();

    struct Step {
        const char* zone;
        bool added; // the point was registered by this load
        const char* point;
        int newHours, newDays;
        int logRows;             // the point's request-log rows after the load
        const char* written;     // the stored-items flags of the request-log row
        int firstHour, lastHour; // record numbers of the first and last hour written, -1 for none
    };
    const QList<Step> steps = {
        {"1", true, "41234", 10, 2, 1, "01101100101", 0, 9},
        {"1", false, "41234", 0, 0, 2, "00000000000", -1, -1}, // the same zone again: nothing twice
        {"2", false, "41234", 4, 1, 3, "01100000000", 10,
         13},                                                // the same corrector's later visit: what is new
        {"3", true, "41299", 5, 0, 1, "01000000000", 0, 4},  // another corrector: a point of its own
        {"4", true, "t41234", 3, 0, 1, "01000000000", 0, 2}, // same serial, family T: another point
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(std::string("zone ") + s.zone + " point " + s.point);
        const Result r = inst.cli({QStringLiteral("dtu"), QStringLiteral("load"), QString::fromLatin1(s.zone),
                                   QStringLiteral("--store"), QStringLiteral("--json")});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        const QJsonObject store = json(r).value(QStringLiteral("store")).toObject();
        EXPECT_EQ(store.value(QStringLiteral("point")).toString(), QString::fromLatin1(s.point))
            << r.out.toStdString();
        EXPECT_EQ(store.value(QStringLiteral("added")).toBool(), s.added);
        const QJsonObject stored = store.value(QStringLiteral("stored")).toObject();
        EXPECT_EQ(stored.value(QStringLiteral("hourly")).toInt(-1), s.newHours);
        EXPECT_EQ(stored.value(QStringLiteral("daily")).toInt(-1), s.newDays);

        const auto log = inst.rows(QString::fromLatin1(s.point), QStringLiteral("log"));
        ASSERT_EQ(log.size(), s.logRows);
        // A reading by the transfer unit: source kind 3, and the archives it carries asked for.
        EXPECT_EQ(log.last().value(QStringLiteral("bQuest")), QStringLiteral("3"));
        EXPECT_EQ(log.last().value(QStringLiteral("bStrQuest")), QStringLiteral("ДТУ"));
        EXPECT_EQ(log.last().value(QStringLiteral("bCurFlRdWr")), QStringLiteral("01111100101"));
        EXPECT_EQ(log.last().value(QStringLiteral("bCurFlWrBD")), QString::fromLatin1(s.written));
        EXPECT_EQ(log.last().value(QStringLiteral("bNbegHour")), QString::number(s.firstHour));
        EXPECT_EQ(log.last().value(QStringLiteral("bNendHour")), QString::number(s.lastHour));
        const auto hourAt = [&](int n) {
            return n < 0 ? QStringLiteral("01.01.2000 00:00")
                         : laterVisit[n].end.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
        };
        EXPECT_EQ(log.last().value(QStringLiteral("bDbegHour")), hourAt(s.firstHour));
        EXPECT_EQ(log.last().value(QStringLiteral("bDendHour")), hourAt(s.lastHour));
    }
    expectStored(inst.rows(QStringLiteral("41234"), QStringLiteral("hourly")), laterVisit, QLatin1Char('h'));
    expectStored(inst.rows(QStringLiteral("41234"), QStringLiteral("daily")), laterDays, QLatin1Char('d'));
    expectStored(inst.rows(QStringLiteral("41299"), QStringLiteral("hourly")), other, QLatin1Char('h'));
    EXPECT_TRUE(inst.rows(QStringLiteral("41299"), QStringLiteral("daily")).isEmpty());
    expectStored(inst.rows(QStringLiteral("t41234"), QStringLiteral("hourly")), hours(3), QLatin1Char('h'));
    QStringList points = inst.points();
    points.sort();
    EXPECT_EQ(points, (QStringList{"41234", "41299", "t41234"}));
    // The registry's header follows the corrector at every storing.
    const QJsonObject registered = inst.registry().value(QStringLiteral("41234"));
    EXPECT_EQ(registered.value(QStringLiteral("serial")).toString(), QStringLiteral("41234"));
    EXPECT_EQ(registered.value(QStringLiteral("organisation")).toString(), QStringLiteral("Облгаз"));
    EXPECT_EQ(registered.value(QStringLiteral("pipeline")).toString(), QStringLiteral("Нитка 2"));

    // The wrapped ring is stored oldest first, whatever order its pages come in.
    const Result ringLoad = inst.cli(
        {QStringLiteral("dtu"), QStringLiteral("load"), QStringLiteral("5"), QStringLiteral("--store")});
    ASSERT_EQ(ringLoad.code, 0) << ringLoad.err.toStdString();
    const auto ringRows = inst.rows(QStringLiteral("41300"), QStringLiteral("hourly"));
    ASSERT_EQ(ringRows.size(), 8);
    QList<std::pair<int, QString>> order; // (row number, record number) in the order written
    for (const auto& row : ringRows)
        order.append({row.value(QStringLiteral("hNum")).toInt(), row.value(QStringLiteral("hNumWrCor"))});
    std::sort(order.begin(), order.end());
    const QStringList numbers{"1628", "1629", "1630", "1631", "0", "1", "2", "3"};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(order[i].second, numbers[i]) << "written " << i;
    const auto ringLog = inst.rows(QStringLiteral("41300"), QStringLiteral("log"));
    ASSERT_EQ(ringLog.size(), 1);
    EXPECT_EQ(ringLog[0].value(QStringLiteral("bNbegHour")), QStringLiteral("1628"));
    EXPECT_EQ(ringLog[0].value(QStringLiteral("bDbegHour")),
              ring[0].end.toString(QStringLiteral("dd.MM.yyyy HH:mm")));
    EXPECT_EQ(ringLog[0].value(QStringLiteral("bNendHour")), QStringLiteral("3"));

    // A stored row is a duplicate only by number and time together: after the clearing, the same hours
    // under new numbers are kept beside the old ones.
    const Result clearedLoad = inst.cli({QStringLiteral("dtu"), QStringLiteral("load"), QStringLiteral("6"),
                                         QStringLiteral("--store"), QStringLiteral("--json")});
    ASSERT_EQ(clearedLoad.code, 0) << clearedLoad.err.toStdString();
    EXPECT_EQ(json(clearedLoad)
                  .value(QStringLiteral("store"))
                  .toObject()
                  .value(QStringLiteral("stored"))
                  .toObject()
                  .value(QStringLiteral("hourly"))
                  .toInt(-1),
              4);
    QMap<QString, QStringList> numbersAt; // timestamp → record numbers stored
    for (const auto& row : inst.rows(QStringLiteral("41300"), QStringLiteral("hourly")))
        numbersAt[row.value(QStringLiteral("hDT_Corr"))] << row.value(QStringLiteral("hNumWrCor"));
    for (int i = 0; i < 4; ++i) {
        QStringList both = numbersAt.value(ring[i].end.toString(QStringLiteral("dd.MM.yyyy HH:mm")));
        both.sort();
        QStringList expected{QString::number(1628 + i), QString::number(8 + i)};
        expected.sort();
        EXPECT_EQ(both, expected) << "hour " << i;
    }

    // The event archives of the first visit, each record once.
    const auto abnormal = inst.rows(QStringLiteral("41234"), QStringLiteral("abnormal"));
    ASSERT_EQ(abnormal.size(), 2);
    const QList<QStringList> abnormalExpected = {{"01.04.2024", "10:05", "0005", "0000", "1.25", "2.5"},
                                                 {"01.04.2024", "11:05", "0000", "0005", "0.5", "0.75"}};
    for (int i = 0; i < 2; ++i) {
        const auto& row = abnormal[i];
        const QStringList& e = abnormalExpected[i];
        EXPECT_EQ(row.value(QStringLiteral("aDate")), e[0]);
        EXPECT_EQ(row.value(QStringLiteral("aTime")), e[1]);
        EXPECT_EQ(row.value(QStringLiteral("aCodeCur")), e[2]);
        EXPECT_EQ(row.value(QStringLiteral("aCodePrec")), e[3]);
        EXPECT_TRUE(near(row.value(QStringLiteral("aValwrk")), e[4].toDouble()));
        EXPECT_TRUE(near(row.value(QStringLiteral("aValst")), e[5].toDouble()));
    }
    const auto changes = inst.rows(QStringLiteral("41234"), QStringLiteral("interference"));
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes[0].value(QStringLiteral("cWho")), QStringLiteral("ОПЕР._A"));
    EXPECT_EQ(changes[0].value(QStringLiteral("cNamePar")), QStringLiteral("время_индикации"));
    EXPECT_EQ(changes[0].value(QStringLiteral("cThereWas")), QStringLiteral("5"));
    EXPECT_EQ(changes[0].value(QStringLiteral("cBecame")), QStringLiteral("7"));
    const auto service = inst.rows(QStringLiteral("41234"), QStringLiteral("service"));
    ASSERT_EQ(service.size(), 2);
    EXPECT_EQ(service[0].value(QStringLiteral("sCodeCur")), QStringLiteral("0102"));
    EXPECT_EQ(service[1].value(QStringLiteral("sCodePrec")), QStringLiteral("0102"));
    EXPECT_EQ(service[1].value(QStringLiteral("sTime")), QStringLiteral("13:10"));
    const auto operative = inst.rows(QStringLiteral("41234"), QStringLiteral("operative"));
    ASSERT_EQ(operative.size(), 3);
    EXPECT_EQ(operative[2].value(QStringLiteral("oDT_Corr")), QStringLiteral("01.04.2024 14:02"));
}

TEST(ZoneLoad, ParameterFileFollowsTheNewestReading) {
    struct Case {
        const char* name;
        const char* direct; // the first hour of a cable reading stored before the zone, or none
        const char* zone;   // the first hour the zone holds
        bool written;       // the zone's load writes the parameter file
    };
    const QList<Case> cases = {
        // Older records than those stored: the file of the newer reading stays.
        {"OlderZoneKeepsTheFile", "01.04.2024 00:00", "01.03.2024 00:00", false},
        // A reading by the transfer unit writes the file when the point has none yet...
        {"FirstStoringWritesIt", nullptr, "01.04.2024 00:00", true},
        // ...and rewrites it after the archives when its records are the newest.
        {"NewerZoneRewritesIt", "01.03.2024 00:00", "01.04.2024 00:00", true},
    };
    const QString file = QStringLiteral("Param/p_41234.000");
    const QString noTime = QStringLiteral("01.01.2000 00:00");
    QStringList disagreements;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Installation inst;
        ASSERT_TRUE(inst.initialised());
        QByteArray before;
        if (c.direct) {
            const QJsonObject cable{
                {"role", "corrector"},
                {"address", 1},
                {"identification", kIdentification},
                {"serial", 41234},
                {"archive", QJsonObject{{"start", c.direct}, {"hours", 5}, {"flow", 10.0}}}};
            ASSERT_TRUE(inst.startUnit(QJsonDocument(QJsonObject{{"devices", QJsonArray{cable}}}).toJson()));
            const Result stored =
                inst.cli({QStringLiteral("--port"), QStringLiteral("COM1"), QStringLiteral("--address"),
                          QStringLiteral("1"), QStringLiteral("store"), QStringLiteral("--archives"),
                          QStringLiteral("hourly"), QStringLiteral("--until-empty")});
            ASSERT_EQ(stored.code, 0) << stored.err.toStdString();
            before = inst.read(file);
            ASSERT_FALSE(before.isEmpty());
        }
        // The zone's corrector names another organisation, so that a rewritten file differs.
        const QJsonObject held{
            {"identification", kIdentification},
            {"serial", 41234},
            {"words", QJsonArray{QJsonObject{{"index", 113}, {"text", "Новая организация"}}}},
            {"archive", QJsonObject{{"start", c.zone}, {"hours", 5}, {"flow", 10.0}}}};
        ASSERT_TRUE(inst.startUnit(unit({zone(3, held)})));
        ASSERT_EQ(inst.dtu({QStringLiteral("read"), QStringLiteral("--last"), QStringLiteral("1")}).code, 0);
        inst.stopUnit();
        const Result r = inst.cli(
            {QStringLiteral("dtu"), QStringLiteral("load"), QStringLiteral("1"), QStringLiteral("--store")});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        const QByteArray after = inst.read(file);
        const auto log = inst.rows(QStringLiteral("41234"), QStringLiteral("log"));
        ASSERT_FALSE(log.isEmpty());
        const QString parameterTime = log.last().value(QStringLiteral("bDT_Param"));
        if (!c.written) {
            EXPECT_EQ(after, before);
            EXPECT_EQ(parameterTime, noTime);
            continue;
        }
        if (after.isEmpty() || after == before || parameterTime == noTime)
            disagreements << QStringLiteral("%1: the parameter file %2, the request log's parameter time %3")
                                 .arg(QString::fromLatin1(c.name),
                                      after.isEmpty()   ? QStringLiteral("missing")
                                      : after == before ? QStringLiteral("unchanged")
                                                        : QStringLiteral("written"),
                                      parameterTime);
    }
    EXPECT_TRUE(disagreements.isEmpty()) << disagreements.join(QStringLiteral("; ")).toStdString();
}

TEST(ZoneLoad, RoundValuesAreListedInFull) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    // Word 2 all zero: one pulse a cubic metre, so the meter counter is shown as it is kept.
    const Period hour{QDateTime(QDate(2024, 4, 1), QTime(10, 0)),
                      100000.0f,
                      200000.0f,
                      0.0f,
                      0.0f,
                      1234,
                      500,
                      9987,
                      12345,
                      0,
                      0};
    const Period day{QDateTime(QDate(2024, 4, 2), QTime(9, 0)),
                     300000.0f,
                     1000000.0f,
                     0.0f,
                     0.0f,
                     1234,
                     500,
                     9987,
                     12345,
                     0,
                     0};
    const QJsonObject held{
        {"identification", kIdentification},
        {"serial", 41234},
        {"words", QJsonArray{QJsonObject{{"index", 2}, {"hex", "00000000"}}}},
        {"archiveBytes",
         QJsonArray{bytesAt(false, kHourlyFirstPage * 256, hourlyBytes(hour)),
                    bytesAt(true, kDailyFirstPage * 256, dailyBytes(day, block16(0), 100000))}}};
    ASSERT_TRUE(inst.startUnit(unit({zone(3, held)})));
    ASSERT_EQ(inst.dtu({QStringLiteral("read"), QStringLiteral("--last"), QStringLiteral("1")}).code, 0);
    inst.stopUnit();
    const Result r = inst.cli(
        {QStringLiteral("dtu"), QStringLiteral("load"), QStringLiteral("1"), QStringLiteral("--store")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const auto hourly = inst.rows(QStringLiteral("41234"), QStringLiteral("hourly"));
    const auto daily = inst.rows(QStringLiteral("41234"), QStringLiteral("daily"));
    ASSERT_EQ(hourly.size(), 1);
    ASSERT_EQ(daily.size(), 1);
    struct Cell {
        const QMap<QString, QString>& row;
        const char* field;
        double value;
    };
    const QList<Cell> cells = {{hourly[0], "hVwrk", 100000},       {hourly[0], "hVst", 200000},
                               {hourly[0], "hVwrk_alwrk", 100000}, {daily[0], "dVwrk", 300000},
                               {daily[0], "dVst", 1000000},        {daily[0], "dVmeter", 100000},
                               {daily[0], "dVst_alwrk", 1000000}};
    // A metering engineer reads volumes and meter readings in plain decimals.
    const QRegularExpression plain(QStringLiteral("^-?\\d+(\\.\\d+)?$"));
    QStringList exponents;
    for (const Cell& c : cells) {
        const QString text = c.row.value(QString::fromLatin1(c.field));
        EXPECT_TRUE(near(text, c.value)) << c.field << " " << text.toStdString();
        if (!plain.match(text).hasMatch())
            exponents << QStringLiteral("%1 \"%2\"").arg(QLatin1String(c.field), text);
    }
    EXPECT_TRUE(exponents.isEmpty()) << "round values in exponent form: "
                                     << exponents.join(QStringLiteral(", ")).toStdString();
}

struct LoadCase {
    const char* name;
    QJsonObject faults;                   // of the unit
    int zoneStatus;                       // as the unit reports the zone
    int spoiltHour;                       // an hourly record with a wrong check byte, or -1
    const char* zoneText;                 // the zone after the read
    QStringList loadOptions;              // after "dtu load 1 --store"
    bool stored;                          // the load stores (the others store nothing and exit non-zero)
    QStringList messages;                 // what a refused load says
    const char* identification = nullptr; // the corrector's, when not the usual one
};

// The case's name, not its bytes, in test listings.
void PrintTo(const LoadCase& c, std::ostream* os) {
    *os << c.name;
}

class ZoneLoadRefusal : public ::testing::TestWithParam<LoadCase> {};

TEST_P(ZoneLoadRefusal, AZoneThatIsNotWholeStoresNothing) {
    const LoadCase& c = GetParam();
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    // Zones 1 and 3 hold other correctors' whole copies (a read may not start at an incomplete zone, and
    // goes on after a marked one); zone 2 is the case's, with twelve hours: a spoilt record lies on the
    // second hourly page.
    const QList<Period> given = hours(12);
    QJsonObject held = corrector(41234, given, days(2), c.spoiltHour);
    if (c.identification)
        held.insert(QStringLiteral("identification"), QString::fromLatin1(c.identification));
    ASSERT_TRUE(inst.startUnit(unit({zone(3, corrector(41299, hours(2), {})), zone(c.zoneStatus, held),
                                     zone(3, corrector(41300, hours(2), {}))},
                                    {{"faults", c.faults}})));
    const Result read = inst.dtu(
        {QStringLiteral("read"), QStringLiteral("--last"), QStringLiteral("3"), QStringLiteral("--json")});
    ASSERT_EQ(read.code, 0) << read.err.toStdString();
    EXPECT_EQ(zoneTexts(json(read)).value(2), QString::fromUtf8(c.zoneText)) << read.out.toStdString();
    EXPECT_EQ(zoneTexts(json(read)).value(3), QStringLiteral("N 41300")) << read.out.toStdString();
    inst.stopUnit();

    const Result r = inst.cli(QStringList{QStringLiteral("dtu"), QStringLiteral("load"), QStringLiteral("2"),
                                          QStringLiteral("--store")} +
                              c.loadOptions);
    if (!c.stored) {
        EXPECT_NE(r.code, 0);
        for (const QString& m : c.messages)
            EXPECT_TRUE(r.all().contains(m)) << m.toStdString() << "\n" << r.all().toStdString();
        EXPECT_TRUE(inst.points().isEmpty());
        EXPECT_TRUE(inst.rows(QStringLiteral("41234"), QStringLiteral("hourly")).isEmpty());
        return;
    }
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    // The page with the spoilt record is asked about once, not once for each time it is checked.
    if (c.spoiltHour >= 0) {
        EXPECT_EQ(r.all().count(QStringLiteral("Остановить чтение?")), 1) << r.all().toStdString();
    }
    // The spoilt record is left out; every other record, on its page too, is stored as given.
    EXPECT_EQ(inst.points(), QStringList{QStringLiteral("41234")});
    expectStored(inst.rows(QStringLiteral("41234"), QStringLiteral("hourly")), given, QLatin1Char('h'),
                 [&](int i) { return i == c.spoiltHour; });
    if (c.spoiltHour >= 0) return;
    expectStored(inst.rows(QStringLiteral("41234"), QStringLiteral("daily")), days(2), QLatin1Char('d'));
}

INSTANTIATE_TEST_SUITE_P(
    Zones, ZoneLoadRefusal,
    ::testing::Values(
        // A block that fails its check five times marks the zone; the load refuses it. Four times is
        // outlived by the last sending.
        LoadCase{"BlockNeverChecks",
                 QJsonObject{{"badBlock", QJsonArray{2, 10, 5}}},
                 3,
                 -1,
                 "Ошибка конт.сум.O",
                 {},
                 false,
                 {QStringLiteral("Ошибка конт.сум.O")}},
        LoadCase{"BlockChecksOnRetry",
                 QJsonObject{{"badBlock", QJsonArray{2, 10, 4}}},
                 3,
                 -1,
                 "N 41234",
                 {},
                 true,
                 {}},
        // Blocks of an incomplete copy are not checked: the zone stays incomplete, not marked.
        LoadCase{"IncompleteCopyNotChecked",
                 QJsonObject{{"badBlock", QJsonArray{2, 10, 9}}},
                 1,
                 -1,
                 "Запись неполная",
                 {},
                 false,
                 {QStringLiteral("Запись неполная")}},
        // An identification no model check accepts.
        LoadCase{"ForeignIdentification",
                 QJsonObject{},
                 3,
                 -1,
                 "Старая версия прогр.",
                 {},
                 false,
                 {QStringLiteral("Старая версия прогр.")},
                 "Q Other-make Q11 1.00"},
        LoadCase{"IncompleteCopy",
                 QJsonObject{},
                 1,
                 -1,
                 "Запись неполная",
                 {},
                 false,
                 {QStringLiteral("Запись неполная")}},
        LoadCase{"SpoiltRecordStops",
                 QJsonObject{},
                 3,
                 10,
                 "N 41234",
                 {QStringLiteral("--stop-on-error")},
                 false,
                 // The record number counts the hourly records before the page: the page of records 8..15.
                 {QStringLiteral("Ошибка данных в архиве \"часовой-№зап.8\" возможен неверный коммерческий "
                                 "отчет!!! Остановить чтение?"),
                  QStringLiteral("Чтение данных корректора прервано!!!")}},
        LoadCase{"SpoiltRecordGoesOn", QJsonObject{}, 3, 10, "N 41234", {}, true, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ZoneLoad, AMissingFileOfTheLastReadStoresNothing) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_TRUE(inst.startUnit(unit({zone(3, corrector(41234, hours(4), {}))})));
    ASSERT_EQ(inst.dtu({QStringLiteral("read"), QStringLiteral("--last"), QStringLiteral("1")}).code, 0);
    inst.stopUnit();
    const QStringList files{"Current/DTU_0.000", "Current/DTU_1.000", "Current/DTU_2.000",
                            "Current/DTU_3.000", "Current/StatDtu.000"};
    QMap<QString, QByteArray> kept;
    for (const QString& f : files)
        kept.insert(f, inst.read(f));
    struct Case {
        const char* missing;
        const char* message;
    };
    const QList<Case> cases = {
        {"Current/DTU_3.000", "Ошибка открытия файла!!!"},             // identification and parameters
        {"Current/DTU_1.000", "Чтение данных корректора прервано!!!"}, // archive pages of region 1
        {"Current/StatDtu.000", "Нет данных"},                         // no zone is known
        {nullptr, nullptr}, // every file there, but the load is not asked to store
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.missing ? c.missing : "without --store");
        for (const QString& f : files)
            inst.write(f, kept.value(f));
        QStringList args{QStringLiteral("dtu"), QStringLiteral("load"), QStringLiteral("1")};
        if (c.missing) {
            ASSERT_TRUE(QFile::remove(inst.path(QString::fromLatin1(c.missing))));
            args << QStringLiteral("--store");
        }
        const Result r = inst.cli(args);
        if (c.missing) {
            EXPECT_NE(r.code, 0);
            EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.message))) << r.err.toStdString();
        } else {
            EXPECT_EQ(r.code, 0) << r.err.toStdString();
        }
        EXPECT_TRUE(inst.points().isEmpty());
    }
}

// ---------------------------------------------------------------- faults of the unit and the port

struct FaultCase {
    const char* name;
    QJsonObject faults;
    QStringList command;
    int code;
    QStringList messages;
    bool noPort = false; // the port named is not there at all
};

TEST(UnitFaults, SilenceMissingPortsAndUnconfirmedTestsEndWithTheirTextsAndShortFaultsAreOutlived) {
    const QList<FaultCase> cases = {
        {"SilentState",
         QJsonObject{{"silence", 5}},
         {"state"},
         1,
         {"Чтение состояния ДТУ - БРАК", "Нет ответа от ДТУ"}},
        {"SilentRead", QJsonObject{{"silence", 5}}, {"read"}, 1, {"Чтение ДТУ - БРАК", "Нет ответа от ДТУ"}},
        {"SilentTest", QJsonObject{{"silence", 5}}, {"test"}, 1, {"Тест ДТУ - БРАК"}},
        {"SilentErase", QJsonObject{{"silence", 5}}, {"erase", "--yes"}, 1, {"Стирание ДТУ - БРАК"}},
        {"SilentStateUkrainian",
         QJsonObject{{"silence", 5}},
         {"state", "--lang", "ua"},
         1,
         {"Читання стану ДТУ - ПОМИЛКА"}},
        // Five sendings in all: five unanswered end the operation, four are outlived.
        {"FourSilences", QJsonObject{{"silence", 4}}, {"state"}, 0, {"Нормальная запись"}},
        // One refusal by the unit (0xEE and its flags) is asked again, never taken as the state.
        {"OneUnitError", QJsonObject{{"unitError", 0x10}}, {"state"}, 0, {"Нормальная запись"}},
        {"NoPort", {}, {"state"}, 1, {"ОШИБКА!!! инициализации порта"}, true},
        {"NoPortUkrainian", {}, {"state", "--lang", "ua"}, 1, {"ПОМИЛКА! ініціалізації порту"}, true},
        // The single-zone unit on the parallel port (the simulator offers none): its test erases the
        // copy and wants the user's word; a port that is not there stores nothing.
        {"LptTestUnconfirmed", {}, {"lpt", "test"}, 2, {"Внимание !!! После запуска теста"}, true},
        {"LptReadNoPort", {}, {"lpt", "read", "--store"}, 1, {"Ошибка открытия порта"}, true},
        {"LptTestNoPort", {}, {"lpt", "test", "--yes"}, 1, {"Ошибка открытия порта"}, true},
    };
    const QList<Period> given = hours(9);
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        Installation inst;
        ASSERT_TRUE(inst.initialised());
        // Before a read, a whole copy read from another unit: the failed read must leave it as it was.
        const bool reading = c.command.first() == QLatin1String("read");
        QByteArray image;
        if (reading) {
            ASSERT_TRUE(inst.startUnit(unit({zone(3, corrector(41234, given, {}))})));
            ASSERT_EQ(inst.dtu({QStringLiteral("read"), QStringLiteral("--last"), QStringLiteral("1")}).code,
                      0);
            image = inst.read(QStringLiteral("Current/DTU_0.000"));
        }
        if (c.noPort)
            inst.write(QStringLiteral("Work/PortMap.000"),
                       "COM1 " + inst.path(QStringLiteral("no-port")).toLocal8Bit() + "\r\n");
        else
            ASSERT_TRUE(
                inst.startUnit(unit({zone(3, corrector(41299, hours(3), {}))}, {{"faults", c.faults}})));
        const bool parallel = c.command.first() == QLatin1String("lpt");
        const Result r = parallel ? inst.cli(c.command + QStringList{QStringLiteral("--device"),
                                                                     inst.path(QStringLiteral("no-parport"))})
                                  : inst.dtu(c.command);
        EXPECT_EQ(r.code, c.code) << r.all().toStdString();
        for (const QString& m : c.messages)
            EXPECT_TRUE(r.all().contains(m)) << m.toStdString() << "\n" << r.all().toStdString();
        if (parallel) {
            EXPECT_TRUE(inst.points().isEmpty());
        }
        if (!reading) continue;
        inst.stopUnit();
        EXPECT_EQ(inst.read(QStringLiteral("Current/DTU_0.000")), image);
        const Result load = inst.cli(
            {QStringLiteral("dtu"), QStringLiteral("load"), QStringLiteral("1"), QStringLiteral("--store")});
        ASSERT_EQ(load.code, 0) << load.err.toStdString();
        EXPECT_EQ(inst.points(), QStringList{QStringLiteral("41234")});
        expectStored(inst.rows(QStringLiteral("41234"), QStringLiteral("hourly")), given, QLatin1Char('h'));
    }
}

// ---------------------------------------------------------------- self-test and erase

struct OutcomeCase {
    const char* name;
    const char* lang;
    const char* test;  // the unit's test outcome
    const char* erase; // the unit's erase outcome
    QStringList command;
    int code;
    const char* message;
    // The state asked afterwards: its message (or none) and the text of zone 1.
    const char* stateMessage;
    const char* zoneText;
};

TEST(UnitTestAndErase, OutcomesAndTheUnitsStateAfterwards) {
    const QList<OutcomeCase> cases = {
        {"TestNorm", "ru", "ok", "ok", {"test"}, 0, "Тест ДТУ - НОРМА", "ДТУ после теста", "После теста"},
        {"TestNormUkrainian",
         "ua",
         "ok",
         "ok",
         {"test"},
         0,
         "Тест ДТУ - НОРМА",
         "ДТУ після тесту",
         "Після тесту"},
        {"TestLowSupply",
         "ru",
         "lowSupply",
         "ok",
         {"test"},
         1,
         "Тест ДТУ - мало питания!!!",
         nullptr,
         nullptr},
        {"TestFaultUkrainian", "ua", "fail", "ok", {"test"}, 1, "Тест ДТУ - ПОМИЛКА", nullptr, nullptr},
        {"EraseNorm",
         "ru",
         "ok",
         "ok",
         {"erase", "--yes"},
         0,
         "Стирание ДТУ - НОРМА",
         "ДТУ после стирания",
         "Нет данных"},
        {"EraseNormUkrainian",
         "ua",
         "ok",
         "ok",
         {"erase", "--yes"},
         0,
         "Стирання ДТУ - НОРМА",
         "ДТУ після стирання",
         "Немає даних"},
        {"EraseLowSupply",
         "ru",
         "ok",
         "lowSupply",
         {"erase", "--yes"},
         1,
         "Стирание ДТУ - мало питания",
         nullptr,
         nullptr},
        {"EraseLowSupplyUkrainian",
         "ua",
         "ok",
         "lowSupply",
         {"erase", "--yes"},
         1,
         "Стирання ДТУ - мало напруги",
         nullptr,
         nullptr},
        {"EraseFault", "ru", "ok", "fail", {"erase", "--yes"}, 1, "Стирание ДТУ - БРАК", nullptr, nullptr},
        // Erasing every zone wants the user's word; without it the unit is not touched.
        {"EraseUnconfirmed", "ru", "ok", "ok", {"erase"}, 2, "--yes", "", "Нормальная запись"},
    };
    for (const OutcomeCase& c : cases) {
        SCOPED_TRACE(c.name);
        Installation inst;
        ASSERT_TRUE(inst.initialised());
        ASSERT_TRUE(inst.startUnit(unit({zone(3, corrector(41234, hours(2), {})), zone(3)},
                                        {{"test", c.test}, {"erase", c.erase}})));
        const QStringList lang{QStringLiteral("--lang"), QString::fromLatin1(c.lang)};
        const Result r = inst.dtu(c.command + lang);
        EXPECT_EQ(r.code, c.code) << r.all().toStdString();
        EXPECT_TRUE(r.all().contains(QString::fromUtf8(c.message))) << r.all().toStdString();
        if (!c.stateMessage) continue;
        const Result state = inst.dtu(QStringList{QStringLiteral("state"), QStringLiteral("--json")} + lang);
        if (*c.stateMessage) {
            // A unit after a test or an erase is not ready: the state names why and stops.
            EXPECT_NE(state.code, 0);
            EXPECT_TRUE(state.err.contains(QString::fromUtf8(c.stateMessage))) << state.err.toStdString();
        } else {
            EXPECT_EQ(state.code, 0) << state.err.toStdString();
        }
        const QMap<int, QString> texts = zoneTexts(json(state));
        EXPECT_EQ(texts.value(1), QString::fromUtf8(c.zoneText)) << state.out.toStdString();
    }
}

} // namespace
