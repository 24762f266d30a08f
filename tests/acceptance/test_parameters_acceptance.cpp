// Acceptance checks of the corrector's parameters as a metering engineer meets them: the full read
// decoded from the words the simulated corrector holds, one programmable item written with and without a
// password, a value out of its range refused before anything goes over the line, and the clock set.
// tarn-cli and corrector-sim run as processes only; the simulator's --dump tells what the corrector holds,
// and every expected text is worked out here from those raw bytes.
#include "acceptance/AcceptanceReaders.h"
#include "support/CliRunner.h"
#include "support/SimProcess.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

namespace {

const QString kSim = QStringLiteral(TARN_SIM_PROGRAM);

// The passwords of fields 1..7 (operator A, B, C, master E, F, configurator, verifier).
const QJsonArray kPasswords{"1111", "2222", "3333", "4444", "5555", "6666", "7777"};

// ---------------------------------------------------------------- raw words and their decoding

// A dumped word is its four memory bytes in hexadecimal, in memory order.
QByteArray wordBytes(const QString& hex) {
    return QByteArray::fromHex(hex.toLatin1());
}

quint8 byteOf(const QString& hex, int i) {
    return quint8(wordBytes(hex).at(i));
}

qint32 int32Of(const QString& hex) {
    const QByteArray b = wordBytes(hex);
    quint32 v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | quint8(b.at(i));
    return qint32(v);
}

float floatOf(const QString& hex) {
    const quint32 bits = quint32(int32Of(hex));
    float f = 0;
    std::memcpy(&f, &bits, 4);
    return f;
}

QString floatHex(float f) {
    quint32 bits = 0;
    std::memcpy(&bits, &f, 4);
    QByteArray b;
    for (int i = 0; i < 4; ++i)
        b.append(char((bits >> (8 * i)) & 0xFF));
    return QString::fromLatin1(b.toHex());
}

// Fixed decimals, then trailing zeros dropped; "." always.
QString trimmed(double v, int decimals) {
    QString s = QString::number(v, 'f', decimals);
    if (s.contains(QLatin1Char('.'))) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.'))) s.chop(1);
    }
    return s;
}

// Text to Windows-1251 for the letters these tests write: ASCII, the Cyrillic block and the numero sign.
QByteArray toCp1251(const QString& text) {
    QByteArray out;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80)
            out.append(char(u));
        else if (u >= 0x0410 && u <= 0x044F)
            out.append(char(0xC0 + (u - 0x0410)));
        else if (u == 0x2116)
            out.append(char(0xB9));
        else
            out.append('?');
    }
    return out;
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
    QString scratch(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }

    void write(const QString& relative, const QByteArray& bytes) const {
        QDir().mkpath(QFileInfo(home_ + QLatin1Char('/') + relative).path());
        QFile f(home_ + QLatin1Char('/') + relative);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    // A simulated corrector of a preset on COM1 that dumps what it holds as it ends.
    bool startCorrector(const QString& preset) {
        const QString link = scratch(QStringLiteral("com1"));
        write(QStringLiteral("Work/PortMap.000"), "COM1 " + link.toLocal8Bit() + "\r\n");
        const QJsonObject device{
            {"role", "corrector"}, {"address", 1}, {"preset", preset}, {"passwords", kPasswords}};
        const QByteArray json = QJsonDocument(QJsonObject{{"devices", QJsonArray{device}}}).toJson();
        sim_ = std::make_unique<tarn::test::SimProcess>();
        return sim_->start(kSim, scratch(QStringLiteral("scenario.json")), json, link,
                           {QStringLiteral("--dump"), scratch(QStringLiteral("dump.json"))});
    }
    // Ends the simulator and gives the corrector's state as it held it at the end.
    std::optional<QJsonObject> finishCorrector() {
        if (!sim_ || !sim_->finish()) return std::nullopt;
        sim_.reset();
        return acceptance::firstCorrectorOfDump(scratch(QStringLiteral("dump.json")));
    }

    Result cli(const QStringList& args) const { return tarn::test::runCliIn(home_, args).text(); }
    Result onLine(const QStringList& args) const {
        return cli(QStringList{QStringLiteral("--port"), QStringLiteral("COM1"), QStringLiteral("--address"),
                               QStringLiteral("1")} +
                   args);
    }

private:
    QTemporaryDir dir_;
    QString home_;
    bool initialised_ = false;
    std::unique_ptr<tarn::test::SimProcess> sim_;
};

QStringList wordsOf(const QJsonObject& dump) {
    QStringList words;
    for (const QJsonValue& w : dump.value(QStringLiteral("words")).toArray())
        words.append(w.toString().toLower());
    return words;
}

QString itemText(const QJsonObject& params, int item) {
    for (const QJsonValue& v : params.value(QStringLiteral("items")).toArray())
        if (v.toObject().value(QStringLiteral("item")).toInt() == item)
            return v.toObject().value(QStringLiteral("text")).toString();
    return QStringLiteral("<missing>");
}

QJsonObject json(const Result& r) {
    return QJsonDocument::fromJson(r.out.toUtf8()).object();
}

// ---------------------------------------------------------------- the full read

TEST(ParameterRead, ItemsShowTheCorrectorsWordsDecoded) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_TRUE(inst.startCorrector(QStringLiteral("series1")));
    const Result r = inst.onLine({QStringLiteral("params"), QStringLiteral("--json")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const std::optional<QJsonObject> dump = inst.finishCorrector();
    ASSERT_TRUE(dump);
    const QStringList w = wordsOf(*dump);
    ASSERT_GE(w.size(), 137);
    const QJsonObject params = json(r);

    // Every word the read reports carries the corrector's raw bytes.
    const QJsonArray words = params.value(QStringLiteral("words")).toArray();
    ASSERT_FALSE(words.isEmpty());
    for (const QJsonValue& v : words) {
        const QJsonObject o = v.toObject();
        const int i = o.value(QStringLiteral("word")).toInt(-1);
        ASSERT_TRUE(i >= 0 && i < w.size()) << i;
        EXPECT_EQ(o.value(QStringLiteral("raw")).toString().toLower(), w[i]) << "word " << i;
    }

    const QStringList pulseWeights{"1", "10", "100", "0.1", "0.01"};
    const double weight = pulseWeights.value(byteOf(w[2], 1)).toDouble();
    ASSERT_GT(weight, 0);
    const QStringList methods{"РД50-213", "NX-19мод.", "GERG-91мод.", "Фиксир. Kсжим"};
    const QStringList bauds{"1200(бит/c.)",  "2400(бит/c.)",  "4800(бит/c.)",  "9600(бит/c.)",
                            "19200(бит/c.)", "38400(бит/c.)", "57600(бит/c.)", "115200(бит/c.)"};
    auto text = [&](int first) {
        QByteArray b;
        for (int i = first; i < first + 8; ++i)
            b += wordBytes(w[i]);
        return b;
    };
    struct Expect {
        int item;
        QString text;
    };
    const QList<Expect> expected = {
        {1, trimmed(floatOf(w[51]), 5)},
        {2, trimmed(floatOf(w[52]), 5)},
        {3, trimmed(floatOf(w[53]), 5)},
        {4, trimmed(floatOf(w[56]), 5)},
        {5, methods.value(byteOf(w[2], 2))},
        {10, trimmed(floatOf(w[58]), 5)},
        {11, trimmed(int32Of(w[97]) / weight, 5)},
        {14, QString::number(int32Of(w[100]))},
        {15, pulseWeights.value(byteOf(w[2], 1))},
        {18, QString::number(qint8(byteOf(w[5], 1)))},
        {19, QString::number(byteOf(w[1], 0))},
        {20, QStringLiteral("%1:00").arg(byteOf(w[1], 2), 2, 10, QLatin1Char('0'))},
        {26, bauds.value(byteOf(w[3], 1))},
        {27, QString::number(byteOf(w[3], 0) + 1)},
        {30, trimmed(floatOf(w[45]), 3)},
        {31, trimmed(floatOf(w[46]), 3)},
        {32, trimmed(floatOf(w[49]), 5)},
        {33, trimmed(floatOf(w[48]), 5)},
        {37, QStringLiteral("%1")
                 .arg(byteOf(w[26], 0) | (byteOf(w[26], 1) << 8), 4, 16, QLatin1Char('0'))
                 .toUpper()},
        {39, trimmed(floatOf(w[55]), 5)},
        {40, trimmed(floatOf(w[54]), 5)},
    };
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.item);
        ASSERT_FALSE(e.text.isEmpty());
        EXPECT_EQ(itemText(params, e.item), e.text);
    }
    // Words 97..104 are shown as the integers they hold (the counters in pulses).
    for (const QJsonValue& v : words) {
        const QJsonObject o = v.toObject();
        const int i = o.value(QStringLiteral("word")).toInt();
        if (i >= 97 && i <= 104) {
            EXPECT_EQ(o.value(QStringLiteral("text")).toString(), QString::number(int32Of(w[i])))
                << "word " << i;
        }
    }
    // The header's corrector number is word 99, five digits.
    EXPECT_EQ(params.value(QStringLiteral("serial")).toString(),
              QStringLiteral("%1").arg(int32Of(w[99]), 5, 10, QLatin1Char('0')));
    // The meter's name: the eight words of item 46 as Windows-1251 text, blanks trimmed.
    const QString meter = itemText(params, 46);
    EXPECT_EQ(toCp1251(meter), text(105).trimmed()) << meter.toStdString();
}

// ---------------------------------------------------------------- writing one item

struct WriteCase {
    const char* name;
    int item;
    const char* value;
    const char* password; // FIELD:DIGITS, or none
    bool accepted;
    const char* readBack;    // the item's text read back after an accepted write
    int word;                // the word that holds the item
    std::optional<int> byte; // the byte of that word, or the whole word
    QString expectedHex;     // the word (or byte) after an accepted write
};

class ItemWrite : public ::testing::TestWithParam<WriteCase> {};

TEST_P(ItemWrite, PasswordDecidesAndTheCorrectorKeepsTheValue) {
    const WriteCase& c = GetParam();
    // Before: the corrector as the preset holds it.
    QStringList before;
    {
        Installation probe;
        ASSERT_TRUE(probe.initialised());
        ASSERT_TRUE(probe.startCorrector(QStringLiteral("series1")));
        const std::optional<QJsonObject> d = probe.finishCorrector();
        ASSERT_TRUE(d);
        before = wordsOf(*d);
    }
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_TRUE(inst.startCorrector(QStringLiteral("series1")));
    QStringList args{QStringLiteral("item"),  QStringLiteral("set"),     QStringLiteral("--item"),
                     QString::number(c.item), QStringLiteral("--value"), QString::fromUtf8(c.value)};
    if (c.password) args << QStringLiteral("--password") << QString::fromLatin1(c.password);
    const Result set = inst.onLine(args);
    Result get;
    if (c.accepted) {
        EXPECT_EQ(set.code, 0) << set.err.toStdString();
        get = inst.onLine({QStringLiteral("--json"), QStringLiteral("item"), QStringLiteral("get"),
                           QStringLiteral("--item"), QString::number(c.item)});
        EXPECT_EQ(get.code, 0) << get.err.toStdString();
        EXPECT_EQ(json(get).value(QStringLiteral("text")).toString(), QString::fromUtf8(c.readBack))
            << get.out.toStdString();
    } else {
        EXPECT_NE(set.code, 0);
        EXPECT_FALSE(set.err.trimmed().isEmpty());
    }
    const std::optional<QJsonObject> d = inst.finishCorrector();
    ASSERT_TRUE(d);
    const QStringList after = wordsOf(*d);
    ASSERT_EQ(after.size(), before.size());
    for (int i = 0; i < after.size(); ++i) {
        if (c.accepted && i >= c.word && i < c.word + (c.item >= 44 && c.item <= 47 ? 8 : 1)) continue;
        EXPECT_EQ(after[i], before[i]) << "word " << i << " changed";
    }
    if (!c.accepted) return;
    if (c.byte) {
        EXPECT_EQ(QString::number(byteOf(after[c.word], *c.byte), 16).rightJustified(2, QLatin1Char('0')),
                  c.expectedHex);
        for (int b = 0; b < 4; ++b)
            if (b != *c.byte) {
                EXPECT_EQ(byteOf(after[c.word], b), byteOf(before[c.word], b)) << "byte " << b;
            }
    } else if (c.item >= 44 && c.item <= 47) {
        QString hex;
        for (int i = c.word; i < c.word + 8; ++i)
            hex += after[i];
        EXPECT_EQ(hex, c.expectedHex);
    } else {
        EXPECT_EQ(after[c.word], c.expectedHex);
    }
}

QString textHex(const QString& text) {
    return QString::fromLatin1(toCp1251(text).leftJustified(32, ' ').toHex());
}

INSTANTIATE_TEST_SUITE_P(
    Items, ItemWrite,
    ::testing::Values(
        WriteCase{"DensityWithoutPassword", 1, "0.7", nullptr, false, "", 51, std::nullopt, {}},
        WriteCase{"DensityWrongPassword", 1, "0.7", "1:9999", false, "", 51, std::nullopt, {}},
        WriteCase{"DensityOperator", 1, "0.7", "1:1111", true, "0.7", 51, std::nullopt, floatHex(0.7f)},
        WriteCase{"DensityAtUpperBound", 1, "1.051", "1:1111", true, "1.051", 51, std::nullopt,
                  floatHex(1.051f)},
        WriteCase{"TimeCorrectionNegative", 18, "-3", "2:2222", true, "-3", 5, 1, QStringLiteral("fd")},
        WriteCase{"ContractHourMaster", 20, "11:00", "4:4444", true, "11:00", 1, 2, QStringLiteral("0b")},
        WriteCase{"ContractHourOperatorRefused", 20, "11:00", "1:1111", false, "", 1, 2, {}},
        WriteCase{"OperativeModeMaster", 23, "интерв.зап.1мин.", "4:4444", true, "интерв.зап.1мин.", 2, 3,
                  QStringLiteral("01")},
        WriteCase{"MeterNameConfigurator", 46, "РГ-G250 №17", "6:6666", true, "РГ-G250 №17", 105,
                  std::nullopt, textHex(QStringLiteral("РГ-G250 №17"))}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- values out of range

struct RangeCase {
    const char* name;
    int item;
    const char* value;
    const char* message;  // the message the refusal starts with
    const char* password; // FIELD:DIGITS, or none: the value check comes before the access level
};

TEST(ItemRange, OutOfRangeIsRefusedWithExit2AndNothingWritten) {
    const QList<RangeCase> cases = {
        {"DensityAbove", 1, "1.0511", "Переменная  больше допуска!0.54..1.051", "7:7777"},
        {"DensityBelow", 1, "0.539", "Переменная  меньше допуска!0.54..1.051", "7:7777"},
        {"DensityComma", 1, "1,5", "Ошибка набора переменной !", "7:7777"},
        {"DisplayTimeAbove", 19, "100", "Переменная  больше допуска!5..99", "7:7777"},
        {"TimeCorrectionBelow", 18, "-10", "Переменная  меньше допуска!-9..9", "7:7777"},
        {"DensityAboveNoPassword", 1, "1.0511", "Переменная  больше допуска!0.54..1.051", nullptr},
        {"ChoiceNotInList", 23, "интерв.зап.3мин.", "Ошибка значения переменной : Оперативный архив",
         "7:7777"},
        {"PasswordOfThreeDigits", 1, "0.7", "Пароль неверен !", "1:111"},
    };
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_TRUE(inst.startCorrector(QStringLiteral("series1")));
    for (const RangeCase& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList args{QStringLiteral("item"),  QStringLiteral("set"),     QStringLiteral("--item"),
                         QString::number(c.item), QStringLiteral("--value"), QString::fromUtf8(c.value)};
        if (c.password) args << QStringLiteral("--password") << QString::fromLatin1(c.password);
        const Result r = inst.onLine(args);
        EXPECT_EQ(r.code, 2) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.message))) << r.err.toStdString();
    }
    // The preset's own values are still in place: nothing reached the corrector.
    const std::optional<QJsonObject> dump = inst.finishCorrector();
    ASSERT_TRUE(dump);
    const QStringList w = wordsOf(*dump);
    ASSERT_GT(w.size(), 51);
    Installation fresh;
    ASSERT_TRUE(fresh.initialised());
    ASSERT_TRUE(fresh.startCorrector(QStringLiteral("series1")));
    const std::optional<QJsonObject> pristine = fresh.finishCorrector();
    ASSERT_TRUE(pristine);
    EXPECT_EQ(w, wordsOf(*pristine));
}

// ---------------------------------------------------------------- the clock

TEST(Clock, SetMovesTheCorrectorsClockOnlyWithThePassword) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_TRUE(inst.startCorrector(QStringLiteral("series1")));
    const QDateTime target(QDate(2025, 3, 15), QTime(10, 30));
    const QString value = target.toString(QStringLiteral("dd.MM.yyyy HH:mm"));

    // Without a password the clock stays where it was.
    // Without a password the clock is not the user's to set: refused, not reported as written.
    EXPECT_EQ(
        inst.onLine({QStringLiteral("clock"), QStringLiteral("set"), QStringLiteral("--value"), value}).code,
        3);
    const Result untouched =
        inst.onLine({QStringLiteral("--json"), QStringLiteral("clock"), QStringLiteral("get")});
    ASSERT_EQ(untouched.code, 0) << untouched.err.toStdString();
    EXPECT_NE(json(untouched).value(QStringLiteral("date")).toString(), QStringLiteral("15.03.2025"));

    const Result set = inst.onLine({QStringLiteral("clock"), QStringLiteral("set"), QStringLiteral("--value"),
                                    value, QStringLiteral("--password"), QStringLiteral("6:6666")});
    ASSERT_EQ(set.code, 0) << set.err.toStdString();
    const QDateTime setAt = QDateTime::currentDateTime();
    const Result get =
        inst.onLine({QStringLiteral("--json"), QStringLiteral("clock"), QStringLiteral("get")});
    ASSERT_EQ(get.code, 0) << get.err.toStdString();
    const QJsonObject clock = json(get);
    EXPECT_EQ(clock.value(QStringLiteral("date")).toString(), QStringLiteral("15.03.2025"));
    // The read may fall in the next minute.
    EXPECT_TRUE(QStringList({"10:30", "10:31"}).contains(clock.value(QStringLiteral("time")).toString()))
        << get.out.toStdString();

    const std::optional<QJsonObject> dump = inst.finishCorrector();
    ASSERT_TRUE(dump);
    // The corrector runs its clock at an offset from the host's; the set put it at the target, give or
    // take the minute the value was typed in.
    const qint64 offset = qint64(dump->value(QStringLiteral("clockOffsetSec")).toDouble());
    const qint64 expected = setAt.secsTo(target);
    EXPECT_LE(std::llabs(offset - expected), 120) << offset << " vs " << expected;
}

} // namespace
