// Every item a point's polling flags can ask for, polled by tarn-cli (the console's engine) from the
// simulator on a pseudo-terminal: what was stored, the request-log row, the "Опрос" protocol as the file
// holds it, and what the corrector holds afterwards. Expected records come from the scenario the
// simulator generates its archives from, not from the program's decoders.
#include "database/Gases.h"
#include "database/Registry.h"
#include "database/Schema.h"
#include "support/CliRunner.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstring>
#include <gtest/gtest.h>

using namespace tarn;

namespace {

constexpr const char* kId = "01234";
const QString kNone = QStringLiteral("01.01.2000 00:00");
const QString kStamp = QStringLiteral("dd.MM.yyyy HH:mm");

using Result = tarn::test::CliResult;

// One record the simulator keeps: its place in the archive, its time and, for the archives that count
// gas, its working volume.
struct Record {
    int number;
    QDateTime at;
    double volume = -1;
};

// The hourly, daily and monthly records the simulator generates: `hours` hours from start, a day ending
// at the contract hour, a month ending at the contract hour of the 1st.
struct Generated {
    QList<Record> hourly, daily, monthly;
};
Generated generated(const QDateTime& start, int hours, double flow, int contractHour) {
    Generated g;
    double day = 0, month = 0;
    for (int h = 0; h < hours; ++h) {
        const QDateTime end = start.addSecs(3600LL * (h + 1));
        g.hourly.append({h, end, flow});
        day += flow;
        month += flow;
        if (end.time().hour() == contractHour && end.time().minute() == 0) {
            g.daily.append({static_cast<int>(g.daily.size()), end, day});
            day = 0;
            if (end.date().day() == 1) {
                g.monthly.append({static_cast<int>(g.monthly.size()), end, month});
                month = 0;
            }
        }
    }
    return g;
}

// The scenario's event records (abnormal situations, interference, service) in the order written.
QList<Record> eventRecords(const QJsonArray& list) {
    QList<Record> out;
    for (const QJsonValue& v : list)
        out.append({static_cast<int>(out.size()),
                    QDateTime::fromString(v.toObject().value(QStringLiteral("at")).toString(), kStamp),
                    v.toObject().value(QStringLiteral("volume")).toDouble(-1)});
    return out;
}

// A value of a float word as the simulator's memory dump holds it (four bytes, little-endian).
float dumpedFloat(const QJsonObject& corrector, int word) {
    const QByteArray b = QByteArray::fromHex(
        corrector.value(QStringLiteral("words")).toArray().at(word).toString().toLatin1());
    float v = 0;
    if (b.size() == 4) std::memcpy(&v, b.constData(), 4);
    return v;
}

// A stored table as tarn-cli rows --json gives it: each row a field → text map.
QList<QMap<QString, QString>> rowsByField(const QJsonObject& answer) {
    QStringList fields;
    for (const QJsonValue& f : answer.value(QStringLiteral("fields")).toArray())
        fields.append(f.toString());
    QList<QMap<QString, QString>> out;
    for (const QJsonValue& row : answer.value(QStringLiteral("rows")).toArray()) {
        QMap<QString, QString> m;
        const QJsonArray cells = row.toArray();
        for (qsizetype i = 0; i < cells.size() && i < fields.size(); ++i)
            m.insert(fields.at(i),
                     cells.at(i).isString() ? cells.at(i).toString() : cells.at(i).toVariant().toString());
        out.append(m);
    }
    return out;
}

// An installation with one cable point on COM1, the simulator playing its corrector.
class Bench {
public:
    Bench() {
        home_.write(folder::Work, QStringLiteral("Type_Leng.000"), "RU\r\n");
        database::writeMissingSchemaFiles(home_.root());
        schemas_ = database::loadSchemas(home_.root());
    }
    QString home() const { return home_.root().root(); }
    // The line of the points added: speed and reply time-out.
    QString speed = QStringLiteral("19200");
    QString timeoutMs = QStringLiteral("500");

    void addPoint(const QString& flags, const QString& gas = {},
                  const QString& link = QStringLiteral("прямое соединение"), const QString& phone = {}) {
        database::Registry registry(home_.root(), schemas_);
        database::Point p;
        p.identifier = QLatin1String(kId);
        p.serial = QLatin1String(kId);
        p.model = QStringLiteral("ТАРН-2.01");
        p.address = 1;
        p.config = {QStringLiteral("Облгаз"),
                    {},
                    link,
                    QStringLiteral("COM1"),
                    QStringLiteral("1111"),
                    phone,
                    speed,
                    timeoutMs,
                    QStringLiteral("30"),
                    QStringLiteral("3"),
                    QStringLiteral("20"),
                    QStringLiteral("1"),
                    QStringLiteral("1"),
                    {},
                    gas,
                    flags};
        ASSERT_TRUE(registry.add(p)) << registry.error().toStdString();
    }
    void addGas(const QString& name, const QString& density, const QString& co2, const QString& n2) {
        database::Gases gases(home_.root(), schemas_);
        database::GasComposition g;
        g.name = name;
        g.density = density;
        g.co2 = co2;
        g.n2 = n2;
        ASSERT_TRUE(gases.add(g).isEmpty());
    }

    bool startSim(const QJsonObject& scenario) {
        const QString link = home() + QStringLiteral("/COM1");
        home_.write(folder::Work, QStringLiteral("PortMap.000"),
                    QByteArray("COM1 ") + link.toUtf8() + "\r\n");
        return sim_.start(QStringLiteral(TARN_SIM_PROGRAM), home() + QStringLiteral("/scenario.json"),
                          QJsonDocument(scenario).toJson(), link, {QStringLiteral("--dump"), dumpPath()});
    }
    // The simulator ended; what its correctors held then.
    QJsonObject simState() {
        if (!sim_.finish()) return {};
        QFile f(dumpPath());
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QJsonDocument::fromJson(f.readAll())
            .object()
            .value(QStringLiteral("correctors"))
            .toArray()
            .at(0)
            .toObject();
    }

    Result cli(const QStringList& args) const { return tarn::test::runCliIn(home(), args); }
    // One poll of the point, as the console's "Выборочный опрос"; its summary.
    QJsonObject poll() {
        const Result r = cli({QStringLiteral("--json"), QStringLiteral("poll"), QStringLiteral("--point"),
                              QLatin1String(kId)});
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        return r.json().value(QStringLiteral("points")).toArray().at(0).toObject();
    }
    QList<QMap<QString, QString>> rows(const char* archive) const {
        const Result r = cli({QStringLiteral("--json"), QStringLiteral("rows"), QStringLiteral("--point"),
                              QLatin1String(kId), QStringLiteral("--archive"), QLatin1String(archive)});
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        return rowsByField(r.json());
    }
    // The latest storing run's protocol as its file holds it: Windows-1251 lines ended by CR LF.
    QStringList protocol() const {
        const QString out = home() + QStringLiteral("/protocol.txt");
        QFile::remove(out);
        const Result r = cli({QStringLiteral("protocol"), QStringLiteral("poll"), QStringLiteral("--point"),
                              QLatin1String(kId), QStringLiteral("--latest"), QStringLiteral("--out"), out});
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        QFile f(out);
        if (!f.open(QIODevice::ReadOnly)) return {};
        const QByteArray bytes = f.readAll();
        EXPECT_TRUE(bytes.endsWith("\r\n"));
        EXPECT_EQ(bytes.count('\n'), bytes.count("\r\n")) << "a line not ended by CR LF";
        QStringList lines = test::fromCp1251(bytes).split(QStringLiteral("\r\n"));
        if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
        return lines;
    }

private:
    QString dumpPath() const { return home() + QStringLiteral("/sim-state.json"); }
    test::TempHome home_;
    database::Schemas schemas_;
    test::SimProcess sim_;
};

QJsonObject simCorrector(int clockOffsetSec = 0) {
    return QJsonObject{
        {QStringLiteral("role"), QStringLiteral("corrector")},
        {QStringLiteral("serial"), 1234},
        {QStringLiteral("identification"), QStringLiteral("V Tarn-sim V47a")},
        {QStringLiteral("passwords"),
         QJsonArray{QStringLiteral("1111"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"),
                    QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7")}},
        {QStringLiteral("clockOffsetSec"), clockOffsetSec}};
}

const QDateTime kStart(QDate(2024, 2, 27), QTime(0, 0));
constexpr int kHours = 120;
constexpr double kFlow = 10;

QJsonObject archive() {
    return {{QStringLiteral("start"), kStart.toString(kStamp)},
            {QStringLiteral("hours"), kHours},
            {QStringLiteral("flow"), kFlow}};
}
QJsonArray abnormal() {
    return {QJsonObject{{QStringLiteral("at"), QStringLiteral("28.02.2024 10:15")},
                        {QStringLiteral("current"), 1},
                        {QStringLiteral("volume"), 1.5},
                        {QStringLiteral("standardVolume"), 1.6}},
            QJsonObject{{QStringLiteral("at"), QStringLiteral("29.02.2024 11:20")},
                        {QStringLiteral("current"), 0},
                        {QStringLiteral("previous"), 1},
                        {QStringLiteral("volume"), 2.5},
                        {QStringLiteral("standardVolume"), 2.6}},
            QJsonObject{{QStringLiteral("at"), QStringLiteral("01.03.2024 07:05")},
                        {QStringLiteral("current"), 4},
                        {QStringLiteral("volume"), 0.5},
                        {QStringLiteral("standardVolume"), 0.6}}};
}
QJsonArray interference() {
    return {QJsonObject{{QStringLiteral("at"), QStringLiteral("27.02.2024 09:00")},
                        {QStringLiteral("code"), 0x82},
                        {QStringLiteral("by"), 1},
                        {QStringLiteral("before"), QStringLiteral("9a99193f")},
                        {QStringLiteral("after"), QStringLiteral("3333333f")}},
            QJsonObject{{QStringLiteral("at"), QStringLiteral("29.02.2024 16:45")},
                        {QStringLiteral("code"), 0x83},
                        {QStringLiteral("by"), 2},
                        {QStringLiteral("before"), QStringLiteral("0000c03f")},
                        {QStringLiteral("after"), QStringLiteral("0000a03f")}}};
}
QJsonArray service() {
    return {QJsonObject{{QStringLiteral("at"), QStringLiteral("28.02.2024 00:30")},
                        {QStringLiteral("current"), 2}},
            QJsonObject{{QStringLiteral("at"), QStringLiteral("29.02.2024 00:30")},
                        {QStringLiteral("current"), 0},
                        {QStringLiteral("previous"), 2}},
            QJsonObject{{QStringLiteral("at"), QStringLiteral("01.03.2024 00:30")},
                        {QStringLiteral("current"), 8}}};
}
constexpr int kOperativeCount = 6;
constexpr int kOperativeStep = 10;
const QDateTime kOperativeStart(QDate(2024, 3, 1), QTime(12, 0));
QJsonObject operative() {
    return {{QStringLiteral("start"), kOperativeStart.toString(kStamp)},
            {QStringLiteral("count"), kOperativeCount},
            {QStringLiteral("stepMinutes"), kOperativeStep},
            {QStringLiteral("flow"), 100},
            {QStringLiteral("counterStep"), 50}};
}

// The contract hour the simulated corrector keeps (its parameter word 1, byte 2), as its dump says.
int contractHourOf(const QJsonObject& state) {
    const QByteArray b =
        QByteArray::fromHex(state.value(QStringLiteral("words")).toArray().at(1).toString().toLatin1());
    return b.size() == 4 ? static_cast<quint8>(b.at(2)) % 24 : -1;
}

// One archive item: its flag position, the table and request-log kind, its fixed protocol name, the
// scenario entry that fills it and the records the simulator then keeps.
struct ArchiveCase {
    const char* name;
    int position;
    const char* table;  // tarn-cli rows --archive
    const char* volume; // the working volume's field, without its table's letter; "" for none
    const char* log;    // the request log's kind: bNbeg<log> …
    const char* protocolName;
    std::function<void(QJsonObject&)> fill;
    std::function<QList<Record>(int contractHour)> expected;
};

void PrintTo(const ArchiveCase& c, std::ostream* os) {
    *os << c.name;
}

const ArchiveCase kArchiveCases[] = {
    {"hourly", 2, "hourly", "Vwrk", "Hour", "часовой архив     ",
     [](QJsonObject& c) { c.insert(QStringLiteral("archive"), archive()); },
     [](int h) { return generated(kStart, kHours, kFlow, h).hourly; }},
    {"daily", 3, "daily", "Vwrk", "Day", "суточный архив    ",
     [](QJsonObject& c) { c.insert(QStringLiteral("archive"), archive()); },
     [](int h) { return generated(kStart, kHours, kFlow, h).daily; }},
    {"monthly", 4, "monthly", "Vwrk", "Mon", "месячный архив    ",
     [](QJsonObject& c) { c.insert(QStringLiteral("archive"), archive()); },
     [](int h) { return generated(kStart, kHours, kFlow, h).monthly; }},
    {"abnormal", 5, "abnormal", "Valwrk", "Alarm", "аварийный архив   ",
     [](QJsonObject& c) { c.insert(QStringLiteral("abnormal"), abnormal()); },
     [](int) { return eventRecords(abnormal()); }},
    {"operative", 6, "operative", "", "Oper", "оперативный архив ",
     [](QJsonObject& c) { c.insert(QStringLiteral("operative"), operative()); },
     [](int) {
         QList<Record> r;
         for (int i = 0; i < kOperativeCount; ++i)
             r.append({i, kOperativeStart.addSecs(60LL * kOperativeStep * i)});
         return r;
     }},
    {"interference", 9, "interference", "", "Chang", "архив вмешательств   ",
     [](QJsonObject& c) { c.insert(QStringLiteral("interference"), interference()); },
     [](int) { return eventRecords(interference()); }},
    {"service", 11, "service", "", "Spec", "спец архив        ",
     [](QJsonObject& c) { c.insert(QStringLiteral("service"), service()); },
     [](int) { return eventRecords(service()); }},
};

QString flagsFor(std::initializer_list<int> positions) {
    QString f(11, QLatin1Char('0'));
    for (int p : positions)
        f[p - 1] = QLatin1Char('1');
    return f;
}

// The protocol lines after the run block's "** тип опроса" line.
QStringList runBody(const QStringList& lines) {
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (lines.at(i).startsWith(QStringLiteral("** тип опроса      : "))) return lines.mid(i + 1);
    return {};
}

const QString kDittoCells = QStringLiteral("|-\"\"-    |-\"\"-            |-\"\"-    |-\"\"-            |");

} // namespace

class PollArchiveItem : public ::testing::TestWithParam<ArchiveCase> {};

TEST_P(PollArchiveItem, IsReadStoredLoggedAndShownInTheProtocol) {
    const ArchiveCase& c = GetParam();
    Bench b;
    b.addPoint(flagsFor({c.position}));
    QJsonObject device = simCorrector();
    c.fill(device);
    ASSERT_TRUE(b.startSim(device));

    const QJsonObject summary = b.poll();
    EXPECT_EQ(summary.value(QStringLiteral("result")).toString(), QStringLiteral("норма"))
        << QJsonDocument(summary).toJson().toStdString();
    const QJsonObject state = b.simState();
    ASSERT_FALSE(state.isEmpty());
    const QList<Record> want = c.expected(contractHourOf(state));
    ASSERT_FALSE(want.isEmpty()) << "the scenario keeps no record of " << c.name;

    // Every record the corrector keeps, oldest first: its number, its time, the gas it counted.
    const auto stored = b.rows(c.table);
    ASSERT_EQ(stored.size(), want.size());
    const QString letter = stored.first().firstKey().left(1);
    const auto field = [&](qsizetype i, const char* name) {
        return stored.at(i).value(letter + QLatin1String(name));
    };
    for (qsizetype i = 0; i < want.size(); ++i) {
        EXPECT_EQ(field(i, "DT_Corr"), want.at(i).at.toString(kStamp)) << c.name << " row " << i;
        EXPECT_EQ(field(i, "NumWrCor").toInt() - field(0, "NumWrCor").toInt(),
                  want.at(i).number - want.first().number)
            << c.name << " row " << i;
        if (*c.volume) {
            EXPECT_NEAR(field(i, c.volume).toDouble(), want.at(i).volume, 0.01) << c.name << " row " << i;
        }
    }

    // The request log: this item asked and stored, its first and last record.
    const auto log = b.rows("log");
    ASSERT_EQ(log.size(), 1);
    const auto& row = log.first();
    EXPECT_EQ(row.value(QStringLiteral("bCurFlRdWr")), flagsFor({c.position}));
    EXPECT_EQ(row.value(QStringLiteral("bCurFlWrBD")), flagsFor({c.position}));
    EXPECT_EQ(row.value(QStringLiteral("bQuest")), QStringLiteral("2"));
    EXPECT_EQ(row.value(QStringLiteral("bStrQuest")), QStringLiteral("кабель БД"));
    const QString k = QLatin1String(c.log);
    EXPECT_EQ(row.value(QStringLiteral("bDbeg") + k), want.first().at.toString(kStamp));
    EXPECT_EQ(row.value(QStringLiteral("bDend") + k), want.last().at.toString(kStamp));
    EXPECT_EQ(row.value(QStringLiteral("bNbeg") + k).toInt() - row.value(QStringLiteral("bNend") + k).toInt(),
              want.first().number - want.last().number);
    // A cable poll has no modem connection.
    EXPECT_EQ(row.value(QStringLiteral("bTmConnect")), QStringLiteral("0"));
    EXPECT_EQ(row.value(QStringLiteral("bErrConnect")), QStringLiteral("--"));

    // The protocol: the item's line with the same records, and no clock or gas line.
    const QStringList body = runBody(b.protocol());
    const QString line = QLatin1Char('|') + QString::fromUtf8(c.protocolName) + QLatin1Char('|') +
                         row.value(QStringLiteral("bNbeg") + k).leftJustified(8) + QLatin1Char('|') +
                         want.first().at.toString(kStamp) + QLatin1Char('|') +
                         row.value(QStringLiteral("bNend") + k).leftJustified(8) + QLatin1Char('|') +
                         want.last().at.toString(kStamp) + QLatin1Char('|');
    ASSERT_GE(body.size(), 6) << body.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(body.at(3), line);
    EXPECT_TRUE(body.at(4).startsWith(QStringLiteral("----")));
    EXPECT_TRUE(body.at(5).startsWith(QStringLiteral("*****"))) << body.at(5).toStdString();
}

INSTANTIATE_TEST_SUITE_P(EachArchive, PollArchiveItem, ::testing::ValuesIn(kArchiveCases),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {

// A time the protocol prints ("dd.MM.yyyy HH:mm:ss") in the line `"<name>" - <time> /время коррекции/`.
QDateTime correctionLineTime(const QString& line, const QString& name) {
    const QString head = QLatin1Char('"') + name + QStringLiteral("\" - ");
    const QString tail = QStringLiteral(" /время коррекции/");
    if (!line.startsWith(head) || !line.endsWith(tail)) return {};
    return QDateTime::fromString(line.mid(head.size(), line.size() - head.size() - tail.size()),
                                 QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

QDateTime logTime(const QString& text) {
    return QDateTime::fromString(text.left(16), kStamp);
}

} // namespace

TEST(PollItems, TheMeasurementIsStoredWithTheCorrectorsValuesAndListedAlone) {
    Bench b;
    b.addPoint(flagsFor({10}));
    ASSERT_TRUE(b.startSim(simCorrector()));
    EXPECT_TRUE(b.poll().value(QStringLiteral("measured")).toBool());
    const QJsonObject state = b.simState();
    ASSERT_FALSE(state.isEmpty());

    const auto measured = b.rows("measurement");
    ASSERT_EQ(measured.size(), 1);
    struct Value {
        const char* field;
        const char* sim;
    };
    for (const Value v : {Value{"iP", "pressure"}, Value{"iT", "temperature"}, Value{"iKkor", "correction"},
                          Value{"iQwrk", "flow"}, Value{"iBattery", "batteryVoltage"}})
        EXPECT_NEAR(measured.first().value(QLatin1String(v.field)).toDouble(),
                    state.value(QLatin1String(v.sim)).toDouble(), 0.0015)
            << v.field;

    const auto log = b.rows("log");
    ASSERT_EQ(log.size(), 1);
    EXPECT_EQ(log.first().value(QStringLiteral("bCurFlRdWr")), flagsFor({10}));
    EXPECT_EQ(log.first().value(QStringLiteral("bCurFlWrBD")), flagsFor({10}));
    EXPECT_EQ(logTime(log.first().value(QStringLiteral("bMeas"))),
              logTime(measured.first().value(QStringLiteral("iDateTime"))));

    const QStringList body = runBody(b.protocol());
    ASSERT_GE(body.size(), 6) << body.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(body.at(1),
              QStringLiteral("|название опроса   |  зап.н.|д/в начало      |  зап.к.|д/в конец       |"));
    EXPECT_EQ(body.at(3), QStringLiteral("|мгновенные        "));
    EXPECT_TRUE(body.at(5).startsWith(QStringLiteral("*****")));
}

TEST(PollItems, TheGasCompositionIsWrittenIntoTheCorrectorAndLogged) {
    Bench b;
    b.addGas(QStringLiteral("Мережа-1"), QStringLiteral("0.7012"), QStringLiteral("1.25"),
             QStringLiteral("2.5"));
    b.addPoint(flagsFor({7}), QStringLiteral("Мережа-1"));
    ASSERT_TRUE(b.startSim(simCorrector()));
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    EXPECT_TRUE(b.poll().value(QStringLiteral("gasWritten")).toBool());
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);

    // The corrector's density, CO2 and N2 words now hold the composition.
    const QJsonObject state = b.simState();
    ASSERT_FALSE(state.isEmpty());
    EXPECT_FLOAT_EQ(dumpedFloat(state, 51), 0.7012f);
    EXPECT_FLOAT_EQ(dumpedFloat(state, 52), 1.25f);
    EXPECT_FLOAT_EQ(dumpedFloat(state, 53), 2.5f);

    const auto log = b.rows("log");
    ASSERT_EQ(log.size(), 1);
    EXPECT_EQ(log.first().value(QStringLiteral("bCurFlRdWr")), flagsFor({7}));
    EXPECT_EQ(log.first().value(QStringLiteral("bCurFlWrBD")), flagsFor({7}));
    const QDateTime written = logTime(log.first().value(QStringLiteral("bContrWrGas")));
    EXPECT_TRUE(written >= before.addSecs(-60) && written <= after) << written.toString().toStdString();
    EXPECT_EQ(log.first().value(QStringLiteral("bContrWrTime")).left(16), kNone);

    // No archive was asked: no table, only the gas line, with the time the log keeps.
    const QStringList body = runBody(b.protocol());
    ASSERT_GE(body.size(), 2) << body.join(QLatin1Char('\n')).toStdString();
    const QDateTime shown = correctionLineTime(body.at(0), QStringLiteral("запись парам. газа"));
    ASSERT_TRUE(shown.isValid()) << body.at(0).toStdString();
    EXPECT_EQ(shown.toString(kStamp), written.toString(kStamp));
    EXPECT_TRUE(body.at(1).startsWith(QStringLiteral("*****")));
}

TEST(PollItems, AClockAFewMinutesBehindIsCorrectedAndTheProtocolShowsWhen) {
    Bench b;
    b.addPoint(flagsFor({8}));
    constexpr int kBehind = 5 * 60;
    ASSERT_TRUE(b.startSim(simCorrector(-kBehind)));
    const QJsonObject summary = b.poll();
    EXPECT_EQ(summary.value(QStringLiteral("result")).toString(), QStringLiteral("норма"));
    // Five whole minutes, or six when a minute turned between reading the clock and comparing it.
    const int correction = summary.value(QStringLiteral("clockCorrection")).toInt();
    EXPECT_TRUE(correction == 5 || correction == 6) << correction;

    // The corrector's clock moved by exactly the minutes written.
    const QJsonObject state = b.simState();
    ASSERT_FALSE(state.isEmpty());
    EXPECT_EQ(state.value(QStringLiteral("clockOffsetSec")).toInteger(), -kBehind + 60LL * correction);

    const auto log = b.rows("log");
    ASSERT_EQ(log.size(), 1);
    EXPECT_EQ(log.first().value(QStringLiteral("bCurFlRdWr")), flagsFor({8}));
    EXPECT_EQ(log.first().value(QStringLiteral("bCurFlWrBD")), flagsFor({8}));
    const QDateTime corrected = logTime(log.first().value(QStringLiteral("bContrWrTime")));
    EXPECT_NE(corrected.toString(kStamp), kNone);

    const QStringList body = runBody(b.protocol());
    ASSERT_GE(body.size(), 2) << body.join(QLatin1Char('\n')).toStdString();
    const QDateTime shown = correctionLineTime(body.at(0), QStringLiteral("корр.текущ.времени"));
    ASSERT_TRUE(shown.isValid()) << body.at(0).toStdString();
    EXPECT_EQ(shown.toString(kStamp), corrected.toString(kStamp));
}

// What was asked but brought nothing still has its line: an archive with no new record its filler, the
// measurement its name, a clock that was right its line with "--" for the correction it did not need.
TEST(PollItems, EveryAskedItemHasItsLineEvenWhenNothingWasStored) {
    Bench b;
    // Position 1 (the point takes part in group polling) is no item, but the flags are logged as they were.
    const QString flags = flagsFor({1, 2, 4, 8, 10});
    b.addPoint(flags);
    QJsonObject device = simCorrector();
    // Thirty hours from the 2nd on: no month ends, so the monthly archive is empty.
    const QDateTime start(QDate(2024, 3, 2), QTime(0, 0));
    device.insert(QStringLiteral("archive"), QJsonObject{{QStringLiteral("start"), start.toString(kStamp)},
                                                         {QStringLiteral("hours"), 30},
                                                         {QStringLiteral("flow"), 10}});
    ASSERT_TRUE(b.startSim(device));
    const Generated g = generated(start, 30, kFlow, 0);

    const QString hourlyHead = QStringLiteral("|часовой архив     |");
    const QString monthlyLine = QStringLiteral("|месячный архив    ") + kDittoCells;
    const QString measurementLine = QStringLiteral("|мгновенные        ");
    for (int night = 1; night <= 2; ++night) {
        EXPECT_EQ(b.poll().value(QStringLiteral("result")).toString(), QStringLiteral("норма")) << night;
        const auto log = b.rows("log");
        ASSERT_EQ(log.size(), night);
        const auto& row = log.last();
        EXPECT_EQ(row.value(QStringLiteral("bCurFlRdWr")), flags) << night;
        // The clock was right: checked, not corrected. The second night has no new hour.
        EXPECT_EQ(row.value(QStringLiteral("bCurFlWrBD")), night == 1 ? flagsFor({2, 10}) : flagsFor({10}));
        EXPECT_NE(row.value(QStringLiteral("bContrWrTime")).left(16), kNone);

        const QStringList body = runBody(b.protocol());
        ASSERT_GE(body.size(), 9) << body.join(QLatin1Char('\n')).toStdString();
        if (night == 1) {
            EXPECT_TRUE(body.at(3).startsWith(hourlyHead)) << body.at(3).toStdString();
            EXPECT_TRUE(body.at(3).endsWith(g.hourly.last().at.toString(kStamp) + QLatin1Char('|')));
        } else {
            EXPECT_EQ(body.at(3), QStringLiteral("|часовой архив     ") + kDittoCells);
        }
        EXPECT_EQ(body.at(4), monthlyLine);
        EXPECT_EQ(body.at(5), measurementLine);
        EXPECT_TRUE(body.at(6).startsWith(QStringLiteral("----")));
        // Checked and right: the line is there, with no correction time.
        EXPECT_EQ(body.at(7), QStringLiteral("\"корр.текущ.времени\" - -- /время коррекции/"));
        EXPECT_TRUE(body.at(8).startsWith(QStringLiteral("*****")));
    }
    EXPECT_EQ(b.rows("hourly").size(), g.hourly.size());
}

// A telephone point: the request log keeps when the call was connected and ended and how long it lasted,
// as the simulated modem saw the call; the connections protocol shows the same.
TEST(PollItems, AModemPollLogsItsConnectionAsTheModemSawIt) {
    Bench b;
    b.speed = QStringLiteral("9600");
    b.timeoutMs = QStringLiteral("3000");
    b.addPoint(flagsFor({3}), {}, QStringLiteral("телефон"), QStringLiteral("5550123"));
    const QString calls = b.home() + QStringLiteral("/calls.jsonl");
    QJsonObject device = simCorrector();
    device.insert(QStringLiteral("archive"), archive());
    const QJsonObject modem{{QStringLiteral("role"), QStringLiteral("modem")},
                            {QStringLiteral("connectDelayMs"), 50},
                            {QStringLiteral("callLog"), calls},
                            {QStringLiteral("numbers"),
                             QJsonObject{{QStringLiteral("5550123"),
                                          QJsonObject{{QStringLiteral("outcome"), QStringLiteral("CONNECT")},
                                                      {QStringLiteral("corrector"), device}}}}}};
    // Replies at the line's speed, so that the call lasts whole seconds.
    ASSERT_TRUE(b.startSim(
        QJsonObject{{QStringLiteral("pace"), true}, {QStringLiteral("devices"), QJsonArray{modem}}}));
    EXPECT_EQ(b.poll().value(QStringLiteral("result")).toString(), QStringLiteral("норма"));

    QFile f(calls);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QDateTime connectedAt, endedAt;
    double seconds = -1;
    for (const QByteArray& l : f.readAll().split('\n')) {
        const QJsonObject e = QJsonDocument::fromJson(l).object();
        const QString event = e.value(QStringLiteral("event")).toString();
        const QDateTime at =
            QDateTime::fromString(e.value(QStringLiteral("at")).toString(), Qt::ISODateWithMs);
        if (event == QLatin1String("connected")) connectedAt = at;
        if (event == QLatin1String("ended")) {
            endedAt = at;
            seconds = e.value(QStringLiteral("seconds")).toDouble();
        }
    }
    ASSERT_TRUE(connectedAt.isValid() && endedAt.isValid()) << "the call log has no whole call";

    const auto log = b.rows("log");
    ASSERT_EQ(log.size(), 1);
    const auto& row = log.first();
    EXPECT_EQ(row.value(QStringLiteral("bQuest")), QStringLiteral("1"));
    EXPECT_EQ(row.value(QStringLiteral("bStrQuest")), QStringLiteral("модем БД"));
    EXPECT_EQ(row.value(QStringLiteral("bCurFlRdWr")), flagsFor({3}));
    EXPECT_EQ(row.value(QStringLiteral("bCurFlWrBD")), flagsFor({3}));
    const int logged = row.value(QStringLiteral("bTmConnect")).toInt();
    EXPECT_GE(logged, 1);
    EXPECT_LE(logged, seconds + 1) << "longer than the modem held the call";
    // Begin and end as the modem saw them, to the minute the log keeps (a second either way).
    const QDateTime begin = logTime(row.value(QStringLiteral("bTmBebConnM")));
    const QDateTime end = logTime(row.value(QStringLiteral("bTmEndConnM")));
    const auto minute = [](const QDateTime& t) { return t.toString(kStamp); };
    EXPECT_TRUE(minute(begin) == minute(connectedAt) || minute(begin) == minute(connectedAt.addSecs(1)))
        << minute(begin).toStdString() << " / " << minute(connectedAt).toStdString();
    EXPECT_TRUE(minute(end) == minute(endedAt) || minute(end) == minute(endedAt.addSecs(1)))
        << minute(end).toStdString() << " / " << minute(endedAt).toStdString();

    // The connections protocol: one connection of that length, its total the same.
    const QString out = b.home() + QStringLiteral("/connections.txt");
    const Result r = b.cli({QStringLiteral("protocol"), QStringLiteral("poll"), QStringLiteral("--point"),
                            QLatin1String(kId), QStringLiteral("--connections"), QStringLiteral("--latest"),
                            QStringLiteral("--out"), out});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QFile text(out);
    ASSERT_TRUE(text.open(QIODevice::ReadOnly));
    const QStringList lines = test::fromCp1251(text.readAll()).split(QStringLiteral("\r\n"));
    const QString duration = QStringLiteral("%1:%2:%3")
                                 .arg(logged / 3600, 2, 10, QLatin1Char('0'))
                                 .arg(logged / 60 % 60, 2, 10, QLatin1Char('0'))
                                 .arg(logged % 60, 2, 10, QLatin1Char('0'));
    int connections = 0;
    QString total;
    for (const QString& l : lines) {
        const QStringList cells = l.split(QLatin1Char('|'));
        if (cells.size() < 8) continue;
        if (cells.at(1).startsWith(QStringLiteral("итог общий"))) total = cells.at(5).trimmed();
        if (cells.at(2).trimmed() != QLatin1String(kId)) continue;
        ++connections;
        EXPECT_EQ(cells.at(3).trimmed(), QStringLiteral("1"));
        EXPECT_TRUE(cells.at(4).startsWith(begin.toString(kStamp))) << cells.at(4).toStdString();
        EXPECT_EQ(cells.at(6).trimmed(), duration);
    }
    EXPECT_EQ(connections, 1) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(total, duration);
}
