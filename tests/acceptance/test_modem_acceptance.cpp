// Acceptance checks of work by telephone as a metering engineer meets it: AT commands typed to the modem,
// a corrector read through a dialled call, calls that fail, and a group of telephone points polled with one
// number busy, with the connections protocol the run leaves. tarn-cli and corrector-sim run as processes;
// what went over the line is taken from the simulator's own line log and call log, and every expected value
// is worked out here from the records given to the simulated correctors.
#include "acceptance/AcceptanceReaders.h"
#include "support/CliRunner.h"
#include "support/SimProcess.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>

namespace {

const QString kSim = QStringLiteral(TARN_SIM_PROGRAM);

// ---------------------------------------------------------------- what the simulator is given

const QList<double> kProfile = {0.4, 0.3, 0.3, 0.3, 0.4, 0.6, 0.9, 1.2, 1.4, 1.4, 1.3, 1.2,
                                1.2, 1.2, 1.2, 1.3, 1.4, 1.5, 1.5, 1.4, 1.2, 1.0, 0.8, 0.6};
const QDateTime kArchiveStart(QDate(2024, 3, 1), QTime(0, 0));
constexpr int kGuardMs = 50;

struct Corrector {
    int serial = 10101;
    int hours = 48;
    double flow = 10.0;
};

QJsonObject correctorJson(const Corrector& c) {
    QJsonArray profile;
    for (double f : kProfile)
        profile.append(f);
    return QJsonObject{{"role", "corrector"},
                       {"preset", "series1"},
                       {"address", 1},
                       {"serial", c.serial},
                       {"passwords", QJsonArray{"1111", "2222", "3333", "4444", "5555", "6666", "7777"}},
                       {"archive", QJsonObject{{"start", kArchiveStart.toString(QStringLiteral("dd.MM.yyyy HH:mm"))},
                                               {"hours", c.hours},
                                               {"flow", c.flow},
                                               {"profile", profile}}}};
}

// One telephone number of the simulated modem: what the dial gives and, for a call that connects, the
// corrector at the far end.
struct Number {
    QString number;
    QString outcome = QStringLiteral("CONNECT");
    std::optional<Corrector> corrector = {};
    int remoteHangupAfterMs = 0;
};

QByteArray modemScenario(const QList<Number>& numbers, const QString& callLog, const QStringList& silent = {}) {
    QJsonObject table;
    for (const Number& n : numbers) {
        QJsonObject o{{"outcome", n.outcome}};
        if (n.corrector) o.insert(QStringLiteral("corrector"), correctorJson(*n.corrector));
        if (n.remoteHangupAfterMs > 0) o.insert(QStringLiteral("remoteHangupAfterMs"), n.remoteHangupAfterMs);
        table.insert(n.number, o);
    }
    QJsonObject modem{{"role", "modem"},     {"info", "V.92 modem 56000"}, {"echo", true},
                      {"verbose", true},     {"guardMs", kGuardMs},       {"connectDelayMs", 30},
                      {"callLog", callLog}, {"numbers", table}};
    if (!silent.isEmpty()) modem.insert(QStringLiteral("silent"), QJsonArray::fromStringList(silent));
    return QJsonDocument(QJsonObject{{"devices", QJsonArray{modem}}}).toJson();
}

// The hourly records the corrector holds: record i ends at start + (i + 1) hours and carries the flow times
// the profile factor of the hour it covers.
struct Hour {
    QDateTime end;
    double working;
};

QList<Hour> hoursOf(const Corrector& c) {
    QList<Hour> out;
    for (int i = 0; i < c.hours; ++i) {
        const QDateTime end = kArchiveStart.addSecs(3600LL * (i + 1));
        out.append({end, c.flow * kProfile[end.addSecs(-3600).time().hour()]});
    }
    return out;
}

// ---------------------------------------------------------------- the simulator's logs, read here

// The call log: one JSON object a line ("dialled", "connected", "ended").
QList<QJsonObject> readCallLog(const QString& path, qint64 from = 0) {
    QList<QJsonObject> events;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || !f.seek(from)) return events;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (!line.trimmed().isEmpty()) events.append(QJsonDocument::fromJson(line).object());
    return events;
}

QList<QJsonObject> eventsOf(const QList<QJsonObject>& log, const QString& event, const QString& number = {}) {
    QList<QJsonObject> out;
    for (const QJsonObject& e : log)
        if (e.value(QStringLiteral("event")).toString() == event &&
            (number.isEmpty() || e.value(QStringLiteral("number")).toString() == number))
            out.append(e);
    return out;
}

QDateTime callTime(const QJsonObject& e, const char* key = "at") {
    return QDateTime::fromString(e.value(QLatin1String(key)).toString(), Qt::ISODateWithMs);
}

// The line log: "HH:mm:ss.zzz <- HEX" for bytes the program sent, "->" for bytes the simulator sent. Bytes
// that follow each other in one direction are joined, however the terminal happened to split them, and keep
// the time of their first part.
struct Chunk {
    QTime at;
    bool fromProgram = false;
    QByteArray bytes;
};

QList<Chunk> readLineLog(const QString& path, qint64 from = 0) {
    QList<Chunk> chunks;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || !f.seek(from)) return chunks;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QStringList parts = QString::fromLatin1(raw).trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (parts.size() < 3 || (parts[1] != QLatin1String("<-") && parts[1] != QLatin1String("->"))) continue;
        const bool fromProgram = parts[1] == QLatin1String("<-");
        if (chunks.isEmpty() || chunks.last().fromProgram != fromProgram)
            chunks.append({QTime::fromString(parts[0], QStringLiteral("HH:mm:ss.zzz")), fromProgram, {}});
        for (qsizetype i = 2; i < parts.size(); ++i)
            chunks.last().bytes.append(char(parts[i].toUInt(nullptr, 16)));
    }
    return chunks;
}

QList<QByteArray> sentByProgram(const QList<Chunk>& chunks) {
    QList<QByteArray> out;
    for (const Chunk& c : chunks)
        if (c.fromProgram) out.append(c.bytes);
    return out;
}

qint64 sizeOf(const QString& path) { return QFileInfo(path).size(); }

// ---------------------------------------------------------------- the installation and its line

using Result = tarn::test::CliText;

class Installation {
public:
    Installation() {
        home_ = dir_.path() + QStringLiteral("/home");
        QDir().mkpath(home_);
        initialised_ = cli({QStringLiteral("init")}).code == 0;
        write(QStringLiteral("Work/Type_Leng.000"), "RU\r\n");
        write(QStringLiteral("Work/PortMap.000"), "COM1 " + scratch(QStringLiteral("com1")).toLocal8Bit() + "\r\n");
    }
    bool initialised() const { return initialised_; }
    QString scratch(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }
    QString callLog() const { return scratch(QStringLiteral("calls.log")); }
    QString lineLog() const { return scratch(QStringLiteral("line.log")); }

    void write(const QString& relative, const QByteArray& bytes) const {
        const QString path = home_ + QLatin1Char('/') + relative;
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) f.write(bytes);
    }

    // The modem on COM1 with the numbers given; both logs start empty.
    bool startModem(const QList<Number>& numbers, const QStringList& silent = {}) {
        sim_.reset();
        QFile::remove(callLog());
        QFile::remove(lineLog());
        sim_ = std::make_unique<tarn::test::SimProcess>();
        return sim_->start(kSim, scratch(QStringLiteral("modem.json")), modemScenario(numbers, callLog(), silent),
                           scratch(QStringLiteral("com1")), {QStringLiteral("--log"), lineLog()});
    }

    Result cli(const QStringList& args) const { return tarn::test::runCliIn(home_, args).text(); }

    // Registers the corrector behind the number by one read through the modem, then makes it a telephone
    // point polled for the hourly and daily archives; its identifier.
    QString registerPhonePoint(const QString& number, int modemRepeats) {
        const Result stored = cli({QStringLiteral("--phone"), number, QStringLiteral("--timeout"), QStringLiteral("500"),
                                   QStringLiteral("--retries"), QStringLiteral("2"), QStringLiteral("store"),
                                   QStringLiteral("--archives"), QStringLiteral("monthly")});
        if (stored.code != 0) return {};
        const QString id =
            QRegularExpression(QStringLiteral("point (\\S+)")).match(stored.out + stored.err).captured(1);
        if (id.isEmpty()) return {};
        const Result config =
            cli({QStringLiteral("points"), QStringLiteral("config"), id, QStringLiteral("--link"), QStringLiteral("phone"),
                 QStringLiteral("--port"), QStringLiteral("COM1"), QStringLiteral("--phone"), number,
                 QStringLiteral("--timeout"), QStringLiteral("500"), QStringLiteral("--repeats"), QStringLiteral("2"),
                 QStringLiteral("--modem-repeats"), QString::number(modemRepeats), QStringLiteral("--pause"),
                 QStringLiteral("1"), QStringLiteral("--wait"), QStringLiteral("10"), QStringLiteral("--flags"),
                 QStringLiteral("01100000000")});
        return config.code == 0 ? id : QString();
    }

    struct Rows {
        QStringList fields;
        QList<QStringList> rows;
        QString cell(const QStringList& row, const QString& name) const {
            const qsizetype i = fields.indexOf(name);
            return i >= 0 && i < row.size() ? row[i] : QStringLiteral("<no %1>").arg(name);
        }
    };
    Rows rows(const QString& id, const QString& archive) const {
        const QJsonObject o = cli({QStringLiteral("rows"), QStringLiteral("--point"), id, QStringLiteral("--archive"),
                                   archive, QStringLiteral("--json")})
                                  .json();
        Rows r;
        for (const QJsonValue& f : o.value(QStringLiteral("fields")).toArray())
            r.fields.append(f.toString());
        for (const QJsonValue& row : o.value(QStringLiteral("rows")).toArray()) {
            QStringList cells;
            for (const QJsonValue& c : row.toArray())
                cells.append(c.toString());
            r.rows.append(cells);
        }
        return r;
    }

private:
    QTemporaryDir dir_;
    QString home_;
    bool initialised_ = false;
    std::unique_ptr<tarn::test::SimProcess> sim_;
};

qsizetype countOf(const QString& text, const QString& what) { return text.count(what); }

// The stored hourly rows against the corrector's records: every record once, its working volume kept.
void expectHoursStored(const Installation& inst, const QString& id, const Corrector& c) {
    const Installation::Rows stored = inst.rows(id, QStringLiteral("hourly"));
    const QList<Hour> expected = hoursOf(c);
    ASSERT_EQ(stored.rows.size(), expected.size()) << id.toStdString();
    QMap<QDateTime, double> byEnd;
    for (const QStringList& row : stored.rows) {
        const QDateTime end = QDateTime::fromString(stored.cell(row, QStringLiteral("hDate")) + QLatin1Char(' ') +
                                                        stored.cell(row, QStringLiteral("hTime")),
                                                    QStringLiteral("dd.MM.yyyy HH:mm"));
        byEnd.insert(end, stored.cell(row, QStringLiteral("hVwrk")).toDouble());
    }
    for (const Hour& h : expected) {
        SCOPED_TRACE(h.end.toString(Qt::ISODate).toStdString());
        ASSERT_TRUE(byEnd.contains(h.end));
        EXPECT_NEAR(byEnd.value(h.end), h.working, 0.005);
    }
}

// The bytes of a dialled call as the modem must see them for a polled point: the initialisation string,
// the dial, then, once the call is up and the line has been quiet for the guard time, a bare "+++" and
// the hang-up.
void expectCallCommands(const QList<Chunk>& chunks, const QString& number) {
    const QByteArray dial = "ATDP" + number.toLatin1();
    qsizetype dialAt = -1;
    for (qsizetype i = 0; i < chunks.size(); ++i)
        if (chunks[i].fromProgram && chunks[i].bytes.startsWith(dial)) dialAt = i;
    ASSERT_GE(dialAt, 0) << number.toStdString();
    EXPECT_EQ(chunks[dialAt].bytes, dial + "\r\n");
    qsizetype initAt = dialAt - 1;
    while (initAt >= 0 && !chunks[initAt].fromProgram)
        --initAt;
    ASSERT_GE(initAt, 0);
    EXPECT_EQ(chunks[initAt].bytes, QByteArray("AT&FE0S0=0\r\n")) << "the initialisation string, CR LF";
    qsizetype escapeAt = -1;
    for (qsizetype i = dialAt + 1; i < chunks.size() && escapeAt < 0; ++i)
        if (chunks[i].fromProgram && chunks[i].bytes.contains("+++")) escapeAt = i;
    ASSERT_GT(escapeAt, dialAt);
    EXPECT_EQ(chunks[escapeAt].bytes, QByteArray("+++")) << "nothing appended to the escape";
    EXPECT_GE(chunks[escapeAt - 1].at.msecsTo(chunks[escapeAt].at), kGuardMs) << "silence before the escape";
    qsizetype hangupAt = -1;
    for (qsizetype i = escapeAt + 1; i < chunks.size() && hangupAt < 0; ++i)
        if (chunks[i].fromProgram) hangupAt = i;
    ASSERT_GT(hangupAt, escapeAt);
    EXPECT_EQ(chunks[hangupAt].bytes, QByteArray("ATH0\r\n"));
}

// Every call that came up was ended, and by the program's hang-up rather than by the far end.
void expectEveryCallHungUp(const QList<QJsonObject>& log) {
    const QList<QJsonObject> connected = eventsOf(log, QStringLiteral("connected"));
    const QList<QJsonObject> ended = eventsOf(log, QStringLiteral("ended"));
    ASSERT_EQ(ended.size(), connected.size());
    for (const QJsonObject& e : ended)
        EXPECT_EQ(e.value(QStringLiteral("by")).toString(), QStringLiteral("ATH"))
            << QJsonDocument(e).toJson().toStdString();
}

// ---------------------------------------------------------------- the modem terminal

TEST(ModemTerminal, TypedCommandsGoOutAsTheTerminalSendsThemAndTheAnswerWordIsRecognised) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_TRUE(inst.startModem({{QStringLiteral("5550000"), QStringLiteral("BUSY")},
                                 {QStringLiteral("5552222"), QStringLiteral("NO CARRIER")},
                                 {QStringLiteral("5553333"), QStringLiteral("NO DIALTONE")},
                                 {QStringLiteral("5554444"), QStringLiteral("NO ANSWER")}},
                                {QStringLiteral("ATS7=60")}));
    struct Case {
        const char* what;
        QStringList args; // after "modem send"
        QByteArray sent;  // the bytes the modem received
        int word;         // the recogniser's word: 0 OK, 4 NO CARRIER, 5 ERROR, 6 NO DIALTONE, 7 BUSY,
                          // 8 NO ANSWER, -1 none
        QString answer = {};
    };
    const QList<Case> cases = {
        {"identification", {QStringLiteral("ATI")}, "ATI\r", 0, QStringLiteral("V.92 modem 56000")},
        {"blanks removed", {QStringLiteral("AT &F E0")}, "AT&FE0\r", 0, QStringLiteral("OK")},
        {"unknown command", {QStringLiteral("ATXYZ")}, "ATXYZ\r", 5, QStringLiteral("ERROR")},
        {"busy number", {QStringLiteral("ATDP5550000")}, "ATDP5550000\r", 7, QStringLiteral("BUSY")},
        {"no carrier", {QStringLiteral("ATDP 555 2222")}, "ATDP5552222\r", 4, QStringLiteral("NO CARRIER")},
        {"no dial tone", {QStringLiteral("ATDP5553333")}, "ATDP5553333\r", 6, QStringLiteral("NO DIALTONE")},
        {"no answer", {QStringLiteral("ATDP5554444")}, "ATDP5554444\r", 8, QStringLiteral("NO ANSWER")},
        {"hexadecimal pairs", {QStringLiteral("4154 0D"), QStringLiteral("--hex")}, "AT\r", 0, QStringLiteral("OK")},
        {"odd last digit read alone", {QStringLiteral("41540D7"), QStringLiteral("--hex")}, "AT\r\x07", 0},
        {"a command the modem ignores", {QStringLiteral("ATS7=60")}, "ATS7=60\r", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const qint64 from = sizeOf(inst.lineLog());
        const Result r = inst.cli(QStringList{QStringLiteral("modem"), QStringLiteral("send")} + c.args +
                                  QStringList{QStringLiteral("--wait"), QStringLiteral("400"), QStringLiteral("--json")});
        const QJsonObject o = r.json();
        EXPECT_EQ(o.value(QStringLiteral("word")).toInt(-99), c.word) << r.out.toStdString() << r.err.toStdString();
        EXPECT_EQ(o.value(QStringLiteral("sent")).toString().toLatin1(), c.sent);
        if (!c.answer.isEmpty()) {
            EXPECT_TRUE(o.value(QStringLiteral("received")).toString().contains(c.answer));
        }
        EXPECT_EQ(sentByProgram(readLineLog(inst.lineLog(), from)).join(), c.sent) << "what the modem received";
    }

    // A pair that is not a hexadecimal byte is named and nothing goes out.
    const qint64 beforeBad = sizeOf(inst.lineLog());
    const Result bad = inst.cli({QStringLiteral("modem"), QStringLiteral("send"), QStringLiteral("41 5G 0D"),
                                 QStringLiteral("--hex"), QStringLiteral("--wait"), QStringLiteral("200")});
    EXPECT_EQ(bad.code, 2);
    EXPECT_TRUE(bad.err.contains(QStringLiteral("5G"))) << bad.err.toStdString();
    EXPECT_TRUE(sentByProgram(readLineLog(inst.lineLog(), beforeBad)).isEmpty());
    EXPECT_TRUE(eventsOf(readCallLog(inst.callLog()), QStringLiteral("connected")).isEmpty());
}

// ---------------------------------------------------------------- a command through a dialled call

TEST(PhoneCall, CorrectorIsReadThroughTheCallAndTheCallIsAlwaysHungUp) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    const Corrector far{23456, 30, 12.0};
    ASSERT_TRUE(inst.startModem({{QStringLiteral("5551234"), QStringLiteral("CONNECT"), far}}));
    struct Case {
        const char* what;
        QString typed;
    };
    const QList<Case> cases = {
        {"digits only", QStringLiteral("5551234")},
        {"with blanks", QStringLiteral("555 12 34")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const qint64 lineFrom = sizeOf(inst.lineLog()), callFrom = sizeOf(inst.callLog());
        const Result r =
            inst.cli({QStringLiteral("--phone"), c.typed, QStringLiteral("--timeout"), QStringLiteral("500"),
                      QStringLiteral("--retries"), QStringLiteral("2"), QStringLiteral("store"),
                      QStringLiteral("--archives"), QStringLiteral("hourly")});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        // The procedure's log lines, in the order of the call.
        const QStringList order = {QStringLiteral("Зап. в модем стр.иниц. -> "),
                                   QStringLiteral("Набор номера \"") + c.typed + QStringLiteral("\" -> "),
                                   QStringLiteral("есть соединение с - \"") + c.typed + QLatin1Char('"'),
                                   QStringLiteral("стоп модем \"+++\""), QStringLiteral("Положить трубку"),
                                   QStringLiteral(" - завершен")};
        qsizetype at = 0;
        for (const QString& line : order) {
            const qsizetype next = r.err.indexOf(line, at);
            EXPECT_GE(next, at) << line.toStdString() << "\n" << r.err.toStdString();
            if (next >= 0) at = next;
        }
        const QList<QJsonObject> log = readCallLog(inst.callLog(), callFrom);
        EXPECT_EQ(eventsOf(log, QStringLiteral("connected"), QStringLiteral("5551234")).size(), 1);
        expectEveryCallHungUp(log);
        expectCallCommands(readLineLog(inst.lineLog(), lineFrom), QStringLiteral("5551234"));
        expectHoursStored(inst, QStringLiteral("23456"), far);
    }

    // A number the modem cannot dial is refused before anything goes to the line.
    const qint64 beforeRefused = sizeOf(inst.lineLog());
    const Result refused = inst.cli({QStringLiteral("--phone"), QStringLiteral("555;1234"), QStringLiteral("identify")});
    EXPECT_EQ(refused.code, 2) << refused.err.toStdString();
    EXPECT_TRUE(sentByProgram(readLineLog(inst.lineLog(), beforeRefused)).isEmpty());
}

TEST(PhoneCall, FailedCallEndsWithItsTextExitCodeOneAndTheModemBackOnHook) {
    struct Case {
        const char* what;
        QString number;
        QStringList silent;       // modem commands left unanswered
        QString word;             // what the modem answered to the dial, shown on the way
        QString message;          // the error line
        bool dialled = true;      // the number reached the modem
        bool hangsUp = true;      // the failed call is put back on hook
        QString outcome = {};     // the call log's outcome of the dial
    };
    const QList<Case> cases = {
        {"busy", QStringLiteral("5550000"), {}, QStringLiteral("BUSY"),
         QStringLiteral("нет соединения между модемами"), true, true, QStringLiteral("BUSY")},
        {"no carrier", QStringLiteral("5552222"), {}, QStringLiteral("NO CARRIER"),
         QStringLiteral("нет соединения между модемами"), true, true, QStringLiteral("NO CARRIER")},
        {"no answer", QStringLiteral("5554444"), {}, QStringLiteral("NO ANSWER"),
         QStringLiteral("нет соединения между модемами"), true, true, QStringLiteral("NO ANSWER")},
        {"no dial tone", QStringLiteral("5553333"), {}, QStringLiteral("NO DIALTONE"),
         QStringLiteral("нет соединения между модемами"), true, true, QStringLiteral("NO DIALTONE")},
        {"nobody answers within the wait", QStringLiteral("5559999"), {}, {},
         QStringLiteral("нет соединения между модемами"), true, true, QStringLiteral("SILENCE")},
        {"own modem silent", QStringLiteral("5551234"), {QStringLiteral("AT&FE0S0=0")}, {},
         QStringLiteral("Нет связи с модемом диспетчерской"), false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Installation inst;
        ASSERT_TRUE(inst.initialised());
        ASSERT_TRUE(inst.startModem({{QStringLiteral("5551234"), QStringLiteral("CONNECT"), Corrector{}},
                                     {QStringLiteral("5550000"), QStringLiteral("BUSY")},
                                     {QStringLiteral("5552222"), QStringLiteral("NO CARRIER")},
                                     {QStringLiteral("5553333"), QStringLiteral("NO DIALTONE")},
                                     {QStringLiteral("5554444"), QStringLiteral("NO ANSWER")},
                                     {QStringLiteral("5559999"), QStringLiteral("silence")}},
                                    c.silent));
        const Result r = inst.cli({QStringLiteral("--phone"), c.number, QStringLiteral("--dial-wait"),
                                   QStringLiteral("1"), QStringLiteral("--json"), QStringLiteral("identify")});
        EXPECT_EQ(r.code, 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
        EXPECT_FALSE(r.json().contains(QStringLiteral("identification"))) << "nothing was read";
        if (!c.word.isEmpty()) {
            EXPECT_TRUE(r.err.contains(c.word)) << r.err.toStdString();
        }
        EXPECT_EQ(r.err.contains(QStringLiteral("Положить трубку")), c.hangsUp) << r.err.toStdString();

        const QList<QJsonObject> log = readCallLog(inst.callLog());
        EXPECT_TRUE(eventsOf(log, QStringLiteral("connected")).isEmpty());
        const QList<QJsonObject> dials = eventsOf(log, QStringLiteral("dialled"));
        ASSERT_EQ(dials.size(), c.dialled ? 1 : 0);
        if (c.dialled) {
            EXPECT_EQ(dials[0].value(QStringLiteral("outcome")).toString(), c.outcome);
        }
        const QByteArray sent = sentByProgram(readLineLog(inst.lineLog())).join();
        EXPECT_EQ(sent.endsWith("ATH0\r\n"), c.hangsUp) << sent.toStdString();
        EXPECT_FALSE(sent.contains("+++")) << "no escape without a call";
    }
}

// ---------------------------------------------------------------- polling telephone points

const QString kGroup = QStringLiteral("Телефонні");
const QList<Number> kLines = {
    {QStringLiteral("5550101"), QStringLiteral("CONNECT"), Corrector{10101, 48, 10.0}},
    {QStringLiteral("5550102"), QStringLiteral("CONNECT"), Corrector{10102, 48, 20.0}},
    {QStringLiteral("5550103"), QStringLiteral("CONNECT"), Corrector{10103, 48, 30.0}},
};
constexpr int kModemRepeats = 3;

// Three telephone points registered while every number answered; the group is then polled once with the
// third number busy. The tests read what that run printed and left behind.
class PhoneGroupPoll : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        inst_ = new Installation;
        if (!inst_->initialised() || !inst_->startModem(kLines)) return;
        for (const Number& n : kLines)
            ids_.append(inst_->registerPhonePoint(n.number, kModemRepeats));
        if (ids_.contains(QString())) return;
        if (inst_->cli({QStringLiteral("group"), QStringLiteral("save"), kGroup, QStringLiteral("--points"),
                        ids_.join(QLatin1Char(',')), QStringLiteral("--flags"), QStringLiteral("0110000000")})
                .code != 0)
            return;
        QList<Number> busy = kLines;
        busy[2].outcome = QStringLiteral("BUSY");
        if (!inst_->startModem(busy)) return;
        run_ = inst_->cli({QStringLiteral("poll"), QStringLiteral("--group"), kGroup, QStringLiteral("--json")});
        calls_ = readCallLog(inst_->callLog());
        line_ = readLineLog(inst_->lineLog());
    }
    static void TearDownTestSuite() {
        delete inst_;
        inst_ = nullptr;
        ids_.clear();
    }
    void SetUp() override {
        ASSERT_TRUE(inst_ && inst_->initialised());
        ASSERT_EQ(ids_.size(), 3);
        ASSERT_FALSE(ids_.contains(QString()));
        ASSERT_NE(run_.code, -1) << "the group poll did not run";
    }
    // The connections protocol of the group, as lines.
    static QStringList connections(const QStringList& more = {}) {
        const QJsonObject o = inst_->cli(QStringList{QStringLiteral("protocol"), QStringLiteral("poll"),
                                                     QStringLiteral("--group"), kGroup,
                                                     QStringLiteral("--connections"), QStringLiteral("--json")} +
                                         more)
                                  .json();
        QStringList lines;
        for (const QJsonValue& v : o.value(QStringLiteral("lines")).toArray())
            lines.append(v.toString());
        return lines;
    }
    static QStringList cellsOf(const QString& line) {
        QStringList cells = line.split(QLatin1Char('|'));
        if (cells.size() >= 2) {
            cells.removeFirst();
            cells.removeLast();
        }
        return cells;
    }
    static QString serialOf(int i) { return QString::number(kLines[i].corrector->serial); }
    static Installation* inst_;
    static QStringList ids_;
    static Result run_;
    static QList<QJsonObject> calls_;
    static QList<Chunk> line_;
};
Installation* PhoneGroupPoll::inst_ = nullptr;
QStringList PhoneGroupPoll::ids_;
Result PhoneGroupPoll::run_;
QList<QJsonObject> PhoneGroupPoll::calls_;
QList<Chunk> PhoneGroupPoll::line_;

TEST_F(PhoneGroupPoll, AnsweringPointsStoreTheirRecordsAndTheBusyOneFailsAfterItsRedials) {
    EXPECT_EQ(run_.code, 1) << "one point of the group failed";
    const QJsonObject summary = run_.json();
    EXPECT_TRUE(summary.value(QStringLiteral("groupFailed")).toBool());
    const QJsonArray points = summary.value(QStringLiteral("points")).toArray();
    ASSERT_EQ(points.size(), 3) << run_.out.toStdString();
    const QStringList results = {QStringLiteral("норма"), QStringLiteral("норма"), QStringLiteral("нет связи с модемом")};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(ids_[i].toStdString());
        EXPECT_EQ(points[i].toObject().value(QStringLiteral("point")).toString(), ids_[i]);
        EXPECT_EQ(points[i].toObject().value(QStringLiteral("result")).toString(), results[i]);
    }

    // The sequence lines of the run.
    const QString& e = run_.err;
    EXPECT_EQ(countOf(e, QStringLiteral(" *СТАРТ* группы   - \"") + kGroup + QLatin1Char('"')), 1) << e.toStdString();
    EXPECT_EQ(countOf(e, QStringLiteral(" *СТОП*  группы   - \"") + kGroup + QLatin1Char('"')), 1);
    EXPECT_EQ(countOf(e, QStringLiteral(" *СТАРТ* прибора - \"")), 3);
    EXPECT_EQ(countOf(e, QStringLiteral(" *НОРМА* прибора - \"")), 2);
    EXPECT_EQ(countOf(e, QStringLiteral(" *НЕТ СВЯЗИ С МОДЕМОМ - \"5550103\" * коррект. - \"")), 1);
    EXPECT_EQ(countOf(e, QStringLiteral("ожидаем 1сек. следующий набор номера")), kModemRepeats - 1);
    for (const Number& n : kLines)
        EXPECT_TRUE(e.contains(QStringLiteral("запрос телефона - \"") + n.number + QStringLiteral("\" -> ")))
            << n.number.toStdString();

    // The busy number is dialled as often as the point's modem repeats say, each time put back on hook.
    const QList<QJsonObject> busyDials = eventsOf(calls_, QStringLiteral("dialled"), QStringLiteral("5550103"));
    EXPECT_EQ(busyDials.size(), kModemRepeats);
    for (const QJsonObject& d : busyDials)
        EXPECT_EQ(d.value(QStringLiteral("outcome")).toString(), QStringLiteral("BUSY"));
    EXPECT_EQ(eventsOf(calls_, QStringLiteral("connected")).size(), 2);
    expectEveryCallHungUp(calls_);
    for (int i = 0; i < 2; ++i)
        expectCallCommands(line_, kLines[i].number);
    const QByteArray sent = sentByProgram(line_).join();
    EXPECT_EQ(sent.count("AT&FE0S0=0\r\n"), 2 + kModemRepeats) << "one initialisation a dial";
    EXPECT_EQ(sent.count("ATDP5550103\r\n"), kModemRepeats);

    // What the answering correctors hold is stored; nothing for the busy one.
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(ids_[i].toStdString());
        expectHoursStored(*inst_, ids_[i], *kLines[i].corrector);
        EXPECT_EQ(inst_->rows(ids_[i], QStringLiteral("daily")).rows.size(), 2) << "gas days closed at 09:00";
        const Installation::Rows log = inst_->rows(ids_[i], QStringLiteral("log"));
        ASSERT_FALSE(log.rows.isEmpty());
        const QStringList last = log.rows.last();
        EXPECT_EQ(log.cell(last, QStringLiteral("bQuest")), QStringLiteral("1"));
        EXPECT_EQ(log.cell(last, QStringLiteral("bStrQuest")), QStringLiteral("модем БД"));
        EXPECT_EQ(log.cell(last, QStringLiteral("bErrConnect")), QStringLiteral("--"));
        const QList<QJsonObject> up = eventsOf(calls_, QStringLiteral("connected"), kLines[i].number);
        ASSERT_EQ(up.size(), 1);
        const QDateTime began = QDateTime::fromString(log.cell(last, QStringLiteral("bTmBebConnM")).left(16),
                                                      QStringLiteral("dd.MM.yyyy HH:mm"));
        EXPECT_LE(std::llabs(began.secsTo(callTime(up[0]))), 60) << "connection start of the request log";
    }
    EXPECT_TRUE(inst_->rows(ids_[2], QStringLiteral("hourly")).rows.isEmpty());

    // The day's exchanges: one row a point with its result, red unless the result is "норма".
    const QJsonArray day = inst_->cli({QStringLiteral("protocol"), QStringLiteral("exchanges"), QStringLiteral("--json")})
                               .json()
                               .value(QStringLiteral("lines"))
                               .toArray();
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(ids_[i].toStdString());
        QList<QJsonObject> rowsOfPoint;
        for (const QJsonValue& v : day) {
            const QStringList cells = cellsOf(v.toObject().value(QStringLiteral("text")).toString());
            if (cells.size() == 8 && cells[4].trimmed() == serialOf(i)) rowsOfPoint.append(v.toObject());
        }
        ASSERT_EQ(rowsOfPoint.size(), 1);
        const QStringList cells = cellsOf(rowsOfPoint[0].value(QStringLiteral("text")).toString());
        EXPECT_EQ(cells[1].trimmed(), QStringLiteral("опр.груп."));
        EXPECT_EQ(cells[7].trimmed(), results[i]);
        EXPECT_EQ(rowsOfPoint[0].value(QStringLiteral("colour")).toString(),
                  i < 2 ? QStringLiteral("black") : QStringLiteral("red"));
    }
}

TEST_F(PhoneGroupPoll, ConnectionsProtocolShowsEachCallAsTheModemSawIt) {
    const QString header = QStringLiteral("|прибор     |сер.н.|кол.соед.|д/в начало         |д/в конец          "
                                          "|вр.соед.|ошибки                        |");
    const QString today = QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"));
    struct Case {
        const char* what;
        QStringList options;
        QString title;
        bool pointTotals;
    };
    const QList<Case> cases = {
        {"the last connection", {}, QStringLiteral("**ПРОТОКОЛ  - /Последнее соединение \"модем БД\"/"), false},
        {"connections of a time window",
         {QStringLiteral("--from"), today + QStringLiteral(" 00:00"), QStringLiteral("--to"), today + QStringLiteral(" 23:59")},
         QStringLiteral("Cоед.\"модем БД\" за время c "),
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QStringList lines = connections(c.options);
        const QString all = lines.join(QLatin1Char('\n'));
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const QString& l) { return l.contains(c.title); }))
            << all.toStdString();
        EXPECT_TRUE(lines.contains(QStringLiteral("группа \"") + kGroup + QStringLiteral("\" :"))) << all.toStdString();
        const qsizetype h = lines.indexOf(header);
        ASSERT_GE(h, 1) << all.toStdString();
        EXPECT_EQ(lines[h - 1], QString(header.size(), QLatin1Char('-')));

        int written = 0, seconds = 0;
        for (int i = 0; i < 2; ++i) {
            SCOPED_TRACE(kLines[i].number.toStdString());
            QStringList row;
            for (const QString& l : lines)
                if (l.startsWith(QLatin1Char('|')) && cellsOf(l).value(1).trimmed() == serialOf(i)) row = cellsOf(l);
            ASSERT_EQ(row.size(), 7) << all.toStdString();
            EXPECT_EQ(row[2].trimmed(), QStringLiteral("1"));
            EXPECT_EQ(row[6].trimmed(), QStringLiteral("--"));
            const QList<QJsonObject> up = eventsOf(calls_, QStringLiteral("connected"), kLines[i].number);
            const QList<QJsonObject> down = eventsOf(calls_, QStringLiteral("ended"), kLines[i].number);
            ASSERT_EQ(up.size(), 1);
            ASSERT_EQ(down.size(), 1);
            const QDateTime begin = QDateTime::fromString(row[3], QStringLiteral("dd.MM.yyyy HH:mm:ss"));
            const QDateTime end = QDateTime::fromString(row[4], QStringLiteral("dd.MM.yyyy HH:mm:ss"));
            EXPECT_LE(std::llabs(begin.msecsTo(callTime(up[0]))), 1000) << row[3].toStdString();
            EXPECT_LE(std::llabs(end.msecsTo(callTime(down[0]))), 1000) << row[4].toStdString();
            const QTime duration = QTime::fromString(row[5], QStringLiteral("HH:mm:ss"));
            ASSERT_TRUE(duration.isValid()) << row[5].toStdString();
            ++written;
            seconds += duration.msecsSinceStartOfDay() / 1000;
        }
        for (const QString& l : lines)
            if (l.startsWith(QLatin1Char('|')) && l != header && !l.startsWith(QStringLiteral("|итог")) &&
                cellsOf(l).value(1).trimmed() == serialOf(2)) {
                const QTime d = QTime::fromString(cellsOf(l).value(5), QStringLiteral("HH:mm:ss"));
                ++written;
                seconds += d.msecsSinceStartOfDay() / 1000;
            }
        EXPECT_EQ(lines.filter(QStringLiteral("|итого прибор      |")).size(), c.pointTotals ? written : 0)
            << all.toStdString();
        const QStringList total = lines.filter(QStringLiteral("|итог общий        |"));
        ASSERT_EQ(total.size(), 1) << all.toStdString();
        const QStringList t = cellsOf(total[0]);
        ASSERT_EQ(t.size(), 6);
        EXPECT_EQ(t[1].trimmed().toInt(), written);
        EXPECT_EQ(t[4], QTime(0, 0).addSecs(seconds).toString(QStringLiteral("HH:mm:ss")));
        EXPECT_EQ(t[5].trimmed(), QStringLiteral("--"));
        for (const QString& l : lines)
            if (!l.isEmpty() && l.count(QLatin1Char('-')) == l.size()) {
                EXPECT_EQ(l.size(), header.size());
            }
    }
}

// The connection time runs from CONNECT to the end of the call: the modem's own measure of the call, in
// whole seconds. The hang-up that ends it waits for the modem's answer to the escape: a command sent
// before the modem is back in command mode would reach the corrector as data.
TEST_F(PhoneGroupPoll, CallIsTimedAndHungUpAsTheProcedureSays) {
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(ids_[i].toStdString());
        const Installation::Rows log = inst_->rows(ids_[i], QStringLiteral("log"));
        ASSERT_FALSE(log.rows.isEmpty());
        const QList<QJsonObject> ended = eventsOf(calls_, QStringLiteral("ended"), kLines[i].number);
        ASSERT_EQ(ended.size(), 1);
        const double call = ended[0].value(QStringLiteral("seconds")).toDouble();
        ASSERT_GT(call, 0.0);
        EXPECT_LE(std::fabs(log.cell(log.rows.last(), QStringLiteral("bTmConnect")).toInt() - call), 1.0);
    }

    int hangUps = 0; // escapes followed by the modem's OK and then the hang-up command
    for (qsizetype i = 0; i < line_.size(); ++i) {
        if (!line_[i].fromProgram || line_[i].bytes != "+++") continue;
        bool answered = false;
        for (qsizetype j = i + 1; j < line_.size(); ++j) {
            if (!line_[j].fromProgram) {
                answered = answered || line_[j].bytes.contains("OK");
                continue;
            }
            EXPECT_TRUE(line_[j].bytes.startsWith("ATH0")) << line_[j].bytes.toStdString();
            EXPECT_TRUE(answered) << "the hang-up went out before the modem answered the escape";
            ++hangUps;
            break;
        }
    }
    EXPECT_EQ(hangUps, 2);
}

// A number that never answered goes straight on to the next point: the point gets its join row but no
// request-log row, so the protocols of the group show no run and no connection for it.
TEST_F(PhoneGroupPoll, BusyPointLeavesNoRequestLogRow) {
    const Installation::Rows log = inst_->rows(ids_[2], QStringLiteral("log"));
    QList<QStringList> modemRows;
    for (const QStringList& row : log.rows)
        if (log.cell(row, QStringLiteral("bStrQuest")) == QStringLiteral("модем БД")) modemRows.append(row);
    const QStringList lines = connections();
    const bool listed = std::any_of(lines.begin(), lines.end(), [](const QString& l) {
        return l.startsWith(QLatin1Char('|')) && cellsOf(l).value(1).trimmed() == serialOf(2);
    });
    EXPECT_TRUE(modemRows.isEmpty());
    EXPECT_FALSE(listed);
}

// ---------------------------------------------------------------- one telephone point, one outcome at a time

TEST(PhonePointPoll, RedialsHangUpRetriesAndALostLineFollowTheModemProcedures) {
    struct Case {
        const char* what;
        int modemRepeats;
        Number line;
        int dials;
        QString sequence;   // the point's closing line
        QString result;     // its result in the summary
        QString endedBy;    // how the connected call ended in the call log; empty: it never connected or never ended
        int hangupTries;    // escapes and hang-up commands after the call
        QStringList silent = {};
    };
    const Corrector far{34567, 24, 8.0};
    const QString noModem = QStringLiteral("*НЕТ СВЯЗИ С МОДЕМОМ - \"5554567\" * коррект. - \"");
    const QList<Case> cases = {
        {"busy, one attempt", 1, {QStringLiteral("5554567"), QStringLiteral("BUSY")}, 1, noModem,
         QStringLiteral("нет связи с модемом"), {}, 0},
        {"busy, two attempts", 2, {QStringLiteral("5554567"), QStringLiteral("BUSY")}, 2, noModem,
         QStringLiteral("нет связи с модемом"), {}, 0},
        {"no carrier, three attempts", 3, {QStringLiteral("5554567"), QStringLiteral("NO CARRIER")}, 3, noModem,
         QStringLiteral("нет связи с модемом"), {}, 0},
        {"far end hangs up during the read", 3, {QStringLiteral("5554567"), QStringLiteral("CONNECT"), far, 300}, 1,
         QStringLiteral("*БРАК*  прибора - \""), QStringLiteral("ошибка обмена с прибором"), QStringLiteral("remote"), 0},
        {"answered", 3, {QStringLiteral("5554567"), QStringLiteral("CONNECT"), far}, 1,
         QStringLiteral("*НОРМА* прибора - \""), QStringLiteral("норма"), QStringLiteral("ATH"), 1},
        {"modem never confirms the hang-up", 3, {QStringLiteral("5554567"), QStringLiteral("CONNECT"), far}, 1,
         QStringLiteral("*НОРМА* прибора - \""), QStringLiteral("норма"), {}, 3, {QStringLiteral("ATH0")}},
    };
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_TRUE(inst.startModem({{QStringLiteral("5554567"), QStringLiteral("CONNECT"), far}}));
    const QString id = inst.registerPhonePoint(QStringLiteral("5554567"), 1);
    ASSERT_FALSE(id.isEmpty());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(inst.cli({QStringLiteral("points"), QStringLiteral("config"), id, QStringLiteral("--modem-repeats"),
                            QString::number(c.modemRepeats)})
                      .code,
                  0);
        ASSERT_TRUE(inst.startModem({c.line}, c.silent));
        const Result r = inst.cli({QStringLiteral("poll"), QStringLiteral("--point"), id, QStringLiteral("--json")});
        EXPECT_EQ(r.code, c.result == QStringLiteral("норма") ? 0 : 1) << r.err.toStdString();
        const QJsonArray points = r.json().value(QStringLiteral("points")).toArray();
        ASSERT_EQ(points.size(), 1) << r.out.toStdString();
        EXPECT_EQ(points[0].toObject().value(QStringLiteral("result")).toString(), c.result);
        EXPECT_EQ(countOf(r.err, c.sequence), 1) << r.err.toStdString();
        EXPECT_EQ(countOf(r.err, QStringLiteral("сек. следующий набор номера")), c.dials - 1);
        // Three hang-ups the modem never confirms end the attempts with the dispatcher's warning.
        EXPECT_EQ(countOf(r.err, QStringLiteral("Нет связи с модемом!!!")), c.hangupTries == 3 ? 1 : 0);

        const QList<QJsonObject> log = readCallLog(inst.callLog());
        EXPECT_EQ(eventsOf(log, QStringLiteral("dialled")).size(), c.dials);
        const QList<QJsonObject> ended = eventsOf(log, QStringLiteral("ended"));
        ASSERT_EQ(ended.size(), c.endedBy.isEmpty() ? 0 : 1);
        if (!c.endedBy.isEmpty()) {
            EXPECT_EQ(ended[0].value(QStringLiteral("by")).toString(), c.endedBy);
        }
        // A line the far end dropped is not escaped from; a connected call is escaped from before each hang-up.
        const QByteArray sent = sentByProgram(readLineLog(inst.lineLog())).join();
        EXPECT_EQ(sent.count("+++"), c.hangupTries);
        if (c.line.outcome == QStringLiteral("CONNECT")) {
            EXPECT_EQ(sent.count("ATH0\r\n"), c.hangupTries);
        }
        if (c.result == QStringLiteral("норма")) expectHoursStored(inst, id, far);
    }
}

// The dispatcher's own modem not answering the initialisation ends the whole run at the first point: no
// number is dialled, the other members are not started, and no point gets a result.
TEST(PhoneGroupDispatcherModem, SilentModemStopsTheRunBeforeAnyDial) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    const QList<Number> lines = {{QStringLiteral("5556001"), QStringLiteral("CONNECT"), Corrector{16001, 24, 5.0}},
                                 {QStringLiteral("5556002"), QStringLiteral("CONNECT"), Corrector{16002, 24, 6.0}}};
    ASSERT_TRUE(inst.startModem(lines));
    QStringList ids;
    for (const Number& n : lines)
        ids.append(inst.registerPhonePoint(n.number, 2));
    ASSERT_FALSE(ids.contains(QString()));
    const QString group = QStringLiteral("Диспетчерська");
    ASSERT_EQ(inst.cli({QStringLiteral("group"), QStringLiteral("save"), group, QStringLiteral("--points"),
                        ids.join(QLatin1Char(',')), QStringLiteral("--flags"), QStringLiteral("0110000000")})
                  .code,
              0);
    const Installation::Rows logBefore = inst.rows(ids[0], QStringLiteral("log"));

    ASSERT_TRUE(inst.startModem(lines, {QStringLiteral("AT&FE0S0=0")}));
    const Result r = inst.cli({QStringLiteral("poll"), QStringLiteral("--group"), group, QStringLiteral("--json")});
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    EXPECT_EQ(countOf(r.err, QStringLiteral("Нет связи с модемом диспетчерской")), 1) << r.err.toStdString();
    EXPECT_EQ(countOf(r.err, QStringLiteral(" *НЕТ СВЯЗИ С МОДЕМОМ ДИСПЕТЧ.*")), 1);
    EXPECT_EQ(countOf(r.err, QStringLiteral(" *СТАРТ* прибора - \"")), 1) << "the second member is not started";
    EXPECT_FALSE(r.err.contains(QStringLiteral("Набор номера")));

    EXPECT_TRUE(eventsOf(readCallLog(inst.callLog()), QStringLiteral("dialled")).isEmpty());
    EXPECT_EQ(sentByProgram(readLineLog(inst.lineLog())).join(), QByteArray("AT&FE0S0=0\r\n"))
        << "the initialisation only: no dial, no escape, no hang-up";
    for (const QString& id : ids)
        EXPECT_TRUE(inst.rows(id, QStringLiteral("hourly")).rows.isEmpty()) << id.toStdString();
    const QJsonArray day = inst.cli({QStringLiteral("protocol"), QStringLiteral("exchanges"), QStringLiteral("--json")})
                               .json()
                               .value(QStringLiteral("lines"))
                               .toArray();
    for (const QJsonValue& v : day)
        EXPECT_FALSE(v.toObject().value(QStringLiteral("text")).toString().contains(QStringLiteral("|16001")))
            << "no join row for a point the run never reached";

    // The run goes from the failed initialisation straight to the next point's turn, which never comes:
    // there is no request-log row for it.
    const Installation::Rows logAfter = inst.rows(ids[0], QStringLiteral("log"));
    EXPECT_EQ(logAfter.rows.size(), logBefore.rows.size());
}

} // namespace
