// Acceptance checks of the corrector's saved files as a metering engineer meets them: the "*.prt" snapshot
// and the point's parameter file written by a read, their text export, programming a corrector from a
// point's parameter file, the printout of programmed parameters, and the meter-coefficient and calibration
// tables with their "*.whi" / "*.zib" files. tarn-cli and corrector-sim run as processes only; every file
// the program writes is read back here by a reader of its own, and every expected value is worked out
// from the raw words the simulator's --dump says the corrector holds.
#include "AcceptanceReaders.h"
#include "support/CliRunner.h"
#include "support/SimProcess.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>

// Failures show texts as texts.
static void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

const QString kSim = QStringLiteral(TARN_SIM_PROGRAM);

// The passwords of fields 1..7 (operator A, B, C, master E, F, configurator, verifier).
const QJsonArray kPasswords{"1111", "2222", "3333", "4444", "5555", "6666", "7777"};

// ---------------------------------------------------------------- raw words

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
    return std::isfinite(f) ? f : 0.0f;
}

QString floatHex(float f) {
    quint32 bits = 0;
    std::memcpy(&bits, &f, 4);
    QByteArray b;
    for (int i = 0; i < 4; ++i)
        b.append(char((bits >> (8 * i)) & 0xFF));
    return QString::fromLatin1(b.toHex());
}

QString int32Hex(qint32 v) {
    QByteArray b;
    for (int i = 0; i < 4; ++i)
        b.append(char((quint32(v) >> (8 * i)) & 0xFF));
    return QString::fromLatin1(b.toHex());
}

// Fixed decimals, then trailing zeros and a bare point dropped; "." always.
QString trimmedNumber(double v, int decimals) {
    QString s = QString::number(v, 'f', decimals);
    if (s.contains(QLatin1Char('.'))) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.'))) s.chop(1);
    }
    if (s == QLatin1String("-0")) s = QStringLiteral("0");
    return s;
}

// Six significant digits, general format, as the coefficient windows show a value.
QString sixDigits(float v) {
    return QString::asprintf("%g", double(v));
}

// Eight words of a text item as Windows-1251 bytes.
QByteArray textWords(const QStringList& w, int first) {
    QByteArray b;
    for (int i = first; i < first + 8; ++i)
        b += wordBytes(w[i]);
    return b;
}

QByteArray rightTrimmed(QByteArray b) {
    while (!b.isEmpty() && (b.endsWith(' ') || b.endsWith('\0')))
        b.chop(1);
    return b;
}

QByteArray toCp1251(const QString& text) {
    QByteArray out;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80)
            out.append(char(u));
        else if (u >= 0x0410 && u <= 0x044F)
            out.append(char(0xC0 + (u - 0x0410)));
        else if (u == 0x0401)
            out.append(char(0xA8));
        else if (u == 0x0451)
            out.append(char(0xB8));
        else if (u == 0x0406)
            out.append(char(0xB2));
        else if (u == 0x0456)
            out.append(char(0xB3));
        else if (u == 0x0404)
            out.append(char(0xAA));
        else if (u == 0x0454)
            out.append(char(0xBA));
        else if (u == 0x0407)
            out.append(char(0xAF));
        else if (u == 0x0457)
            out.append(char(0xBF));
        else if (u == 0x2116)
            out.append(char(0xB9));
        else
            out.append('?');
    }
    return out;
}

QString cp(const QByteArray& b) {
    return acceptance::fromCp1251(b);
}

// Minutes since 2000-01-01 00:00 as the corrector keeps dates.
QString minutesText(qint32 minutes) {
    return QDateTime(QDate(2000, 1, 1), QTime(0, 0))
        .addSecs(qint64(minutes) * 60)
        .toString(QStringLiteral("dd.MM.yyyy HH:mm"));
}

// ---------------------------------------------------------------- the record file reader

// A file of 200-byte records: a length byte, then 199 characters of which the first min(L, 199) are the
// line and the rest blanks.
struct RecordFile {
    QList<QByteArray> lines;
    QString problem; // empty when every record is well formed
};

RecordFile readRecords(const QString& path) {
    RecordFile out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        out.problem = QStringLiteral("cannot open ") + path;
        return out;
    }
    const QByteArray all = f.readAll();
    if (all.size() % 200 != 0)
        out.problem = QStringLiteral("size %1 is not a multiple of 200").arg(all.size());
    for (qsizetype at = 0; at + 200 <= all.size(); at += 200) {
        const QByteArray rec = all.mid(at, 200);
        const int length = quint8(rec.at(0));
        const int kept = std::min(length, 199);
        out.lines.append(rec.mid(1, kept));
        const QByteArray rest = rec.mid(1 + kept);
        if (rest != QByteArray(rest.size(), ' ') && out.problem.isEmpty())
            out.problem = QStringLiteral("record %1 is not blank after its text").arg(at / 200);
    }
    return out;
}

char tagOf(const QByteArray& line) {
    return line.isEmpty() ? '\0' : line.at(0);
}

QList<QByteArray> tagged(const QList<QByteArray>& lines, char tag) {
    QList<QByteArray> out;
    for (const QByteArray& l : lines)
        if (tagOf(l) == tag) out.append(l.mid(1));
    return out;
}

// The cells of a row line after its tag: each cell is padded with blanks to 10 characters (longer texts
// kept whole) and followed by "|".
std::optional<QList<QByteArray>> rowCells(const QByteArray& body, QString* why) {
    if (!body.endsWith('|')) {
        *why = QStringLiteral("no closing bar");
        return std::nullopt;
    }
    QList<QByteArray> cells = body.left(body.size() - 1).split('|');
    for (const QByteArray& c : cells) {
        if (c.size() < 10 || (c.size() > 10 && c.endsWith(' '))) {
            *why = QStringLiteral("cell '%1' is not padded to 10").arg(cp(c));
            return std::nullopt;
        }
    }
    return cells;
}

const QByteArray kSeparator(51, '-');

// ---------------------------------------------------------------- installation and processes

using Result = tarn::test::CliText;

struct Scenario {
    QString preset;
    int hours = 48;
    int serial = 0; // the preset's own when 0
};

class Installation {
public:
    Installation() {
        home_ = dir_.path() + QStringLiteral("/home");
        QDir().mkpath(home_);
        initialised_ = cli({QStringLiteral("init")}).code == 0;
        writeFile(QStringLiteral("Work/Type_Leng.000"), "RU\r\n");
    }
    bool initialised() const { return initialised_; }
    QString home() const { return home_; }
    QString scratch(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }

    void writeFile(const QString& relative, const QByteArray& bytes) const {
        QDir().mkpath(QFileInfo(home_ + QLatin1Char('/') + relative).path());
        QFile f(home_ + QLatin1Char('/') + relative);
        if (f.open(QIODevice::WriteOnly)) f.write(bytes);
    }

    // A simulated corrector on COM1 that dumps what it holds as it ends.
    bool startCorrector(const Scenario& s) {
        const QString link = scratch(QStringLiteral("com1"));
        writeFile(QStringLiteral("Work/PortMap.000"), "COM1 " + link.toLocal8Bit() + "\r\n");
        const QJsonObject archive{{"start", "01.03.2024 00:00"}, {"hours", s.hours}, {"flow", 10.0}};
        QJsonObject device{{"role", "corrector"},
                           {"address", 1},
                           {"preset", s.preset},
                           {"passwords", kPasswords},
                           {"archive", archive}};
        if (s.serial) device.insert(QStringLiteral("serial"), s.serial);
        const QByteArray json = QJsonDocument(QJsonObject{{"devices", QJsonArray{device}}}).toJson();
        sim_ = std::make_unique<tarn::test::SimProcess>();
        return sim_->start(kSim, scratch(QStringLiteral("scenario.json")), json, link,
                           {QStringLiteral("--dump"), scratch(QStringLiteral("dump.json"))});
    }
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

QJsonObject json(const Result& r) {
    return QJsonDocument::fromJson(r.out.toUtf8()).object();
}

QString itemText(const QJsonObject& params, int item) {
    for (const QJsonValue& v : params.value(QStringLiteral("items")).toArray())
        if (v.toObject().value(QStringLiteral("item")).toInt() == item)
            return v.toObject().value(QStringLiteral("text")).toString();
    return QStringLiteral("<missing>");
}

// What a preset's corrector holds before anyone talks to it.
std::optional<QStringList> pristineWords(const Scenario& scenario) {
    Installation probe;
    if (!probe.initialised() || !probe.startCorrector(scenario)) return std::nullopt;
    const std::optional<QJsonObject> d = probe.finishCorrector();
    if (!d) return std::nullopt;
    return wordsOf(*d);
}

// A text file the program wrote: Windows-1251 lines each ended by CR LF.
struct TextLines {
    QStringList lines;
    bool crlf = true;
};

TextLines readTextFile(const QString& path) {
    TextLines out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        out.crlf = false;
        return out;
    }
    QByteArray all = f.readAll();
    if (!all.isEmpty() && !all.endsWith("\r\n")) out.crlf = false;
    if (all.endsWith("\r\n")) all.chop(2);
    for (const QByteArray& l : all.split('\n')) {
        if (!l.endsWith('\r') && out.lines.size() < all.count('\n')) out.crlf = false;
        out.lines.append(cp(l.endsWith('\r') ? l.left(l.size() - 1) : l));
    }
    return out;
}

QStringList fileLines(const QString& path, bool* crlf) {
    const TextLines t = readTextFile(path);
    *crlf = t.crlf;
    return t.lines;
}

// ---------------------------------------------------------------- one read of a meter-coefficient corrector

// One read and store of a meter-coefficient corrector with everything saved, shared by the file checks:
// reading its whole archive takes a while, and the files do not change afterwards.
struct StoredRead {
    std::unique_ptr<Installation> inst;
    QStringList words;
    QJsonObject params;
    QString prt, txt, point;
    Result store;
};

StoredRead* sharedRead() {
    static std::unique_ptr<StoredRead> read = [] {
        auto r = std::make_unique<StoredRead>();
        r->inst = std::make_unique<Installation>();
        if (!r->inst->initialised() || !r->inst->startCorrector({QStringLiteral("meter-coef")})) return r;
        r->prt = r->inst->scratch(QStringLiteral("snapshot.prt"));
        r->txt = r->inst->scratch(QStringLiteral("snapshot.txt"));
        r->store = r->inst->onLine({QStringLiteral("store"), QStringLiteral("--save-prt"), r->prt,
                                    QStringLiteral("--save-txt"), r->txt});
        const Result params = r->inst->onLine({QStringLiteral("--json"), QStringLiteral("params")});
        r->params = json(params);
        if (const std::optional<QJsonObject> d = r->inst->finishCorrector()) r->words = wordsOf(*d);
        if (r->words.size() >= 185)
            r->point = QStringLiteral("w%1").arg(int32Of(r->words[99]), 5, 10, QLatin1Char('0'));
        return r;
    }();
    return read.get();
}

class SavedFiles : public ::testing::Test {
protected:
    void SetUp() override {
        read_ = sharedRead();
        ASSERT_TRUE(read_->inst && read_->inst->initialised());
        ASSERT_EQ(read_->store.code, 0) << read_->store.err.toStdString();
        ASSERT_EQ(read_->words.size(), 185);
    }
    const QStringList& w() const { return read_->words; }
    StoredRead* read_ = nullptr;
};

// The header every parameter file starts with, worked out from the corrector's words.
void expectHeaderFromWords(const QList<QByteArray>& header, const QStringList& w) {
    ASSERT_EQ(header.size(), 10);
    EXPECT_EQ(cp(header[0]), QStringLiteral("%1").arg(int32Of(w[99]), 5, 10, QLatin1Char('0')));
    EXPECT_EQ(header[1], rightTrimmed(textWords(w, 113))) << "enterprise";
    EXPECT_EQ(header[2], rightTrimmed(textWords(w, 121))) << "pipeline branch";
    EXPECT_EQ(header[3], rightTrimmed(textWords(w, 105))) << "meter type";
    EXPECT_EQ(header[4], rightTrimmed(textWords(w, 129))) << "notes";
    // The identification: 32 characters, the model letter and the version of the preset behind it.
    EXPECT_EQ(header[5].size(), 32) << cp(header[5]).toStdString();
    EXPECT_EQ(header[5].mid(11, 4), QByteArray("W46b")) << cp(header[5]).toStdString();
    EXPECT_EQ(cp(header[8]), minutesText(int32Of(w[70]))) << "initialisation time";
    ASSERT_EQ(header[9].size(), 27);
    for (char c : header[9])
        EXPECT_TRUE(c == '0' || c == '1') << header[9].constData();
}

// The word lines: raw bytes for the packed and text words and the coefficient table, the display text
// for the numbers.
void expectWordLinesFromWords(const QList<QByteArray>& wordLines, const QStringList& w) {
    ASSERT_EQ(wordLines.size(), 145 + 40);
    for (int i = 1; i <= 31; ++i)
        EXPECT_EQ(wordLines[i].toHex(), w[i].toLatin1()) << "packed word " << i;
    for (int i = 105; i <= 136; ++i)
        EXPECT_EQ(wordLines[i], wordBytes(w[i])) << "text word " << i;
    for (int k = 0; k < 40; ++k)
        EXPECT_EQ(wordLines[145 + k].toHex(), w[145 + k].toLatin1()) << "coefficient word " << 145 + k;
    // Words whose display does not depend on the pressure unit: density, CO2, N2, standard temperature,
    // compressibility, Qmax, with five decimals at most.
    for (int i : {51, 52, 53, 54, 56, 58})
        EXPECT_EQ(cp(wordLines[i]), trimmedNumber(floatOf(w[i]), 5)) << "number word " << i;
    // The counters, in pulses.
    for (int i = 97; i <= 104; ++i)
        EXPECT_EQ(cp(wordLines[i]), QString::number(int32Of(w[i]))) << "counter word " << i;
    EXPECT_EQ(cp(wordLines[70]), minutesText(int32Of(w[70])));
    // No word line is longer than the loader takes.
    for (int i = 0; i < wordLines.size(); ++i)
        EXPECT_LE(wordLines[i].size(), 32) << "word line " << i;
}

TEST_F(SavedFiles, SnapshotHoldsWhatTheCorrectorHoldsInItsRecordLayout) {
    const RecordFile file = readRecords(read_->prt);
    ASSERT_TRUE(file.problem.isEmpty()) << file.problem.toStdString();
    const QList<QByteArray>& lines = file.lines;
    ASSERT_GT(lines.size(), 14 + 185);

    // Ten header lines, the battery line and three "\f0" lines.
    QList<QByteArray> header;
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(tagOf(lines[i]), '\x0B') << i;
        header.append(lines[i].mid(1));
    }
    expectHeaderFromWords(header, w());
    ASSERT_EQ(tagOf(lines[10]), '\x0C');
    for (int i = 11; i < 14; ++i)
        EXPECT_EQ(lines[i], QByteArray("\x0C"
                                       "0"))
            << i;

    // The sections: a separator of 51 "-", the Russian title, then the section's lines.
    const QStringList titles{"часовой архив",      "суточный архив",    "енергия суточная",
                             "месячный архив",     "енергия месячная",  "архив аварий",
                             "архив вмешательств", "оперативный архив", "параметры корректора",
                             "резервный архив"};
    QList<int> titleAt;
    for (int i = 14; i < lines.size(); ++i)
        if (lines[i] == kSeparator) {
            ASSERT_LT(i + 1, lines.size());
            titleAt.append(i + 1);
        }
    ASSERT_EQ(titleAt.size(), titles.size());
    EXPECT_EQ(titleAt.first(), 15);
    for (int s = 0; s < titles.size(); ++s)
        EXPECT_EQ(lines[titleAt[s]], toCp1251(titles[s])) << s;

    // Each archive section: an untagged column-title row, then rows of its own tag only.
    const QList<char> sectionTags{'\x01', '\x02', '\x0E', '\x03', '\x0F',
                                  '\x04', '\x05', '\x06', '\x07', '\x08'};
    QMap<char, int> rowCount;
    for (int s = 0; s < titles.size(); ++s) {
        const int first = titleAt[s] + 1;
        const int end = s + 1 < titles.size() ? titleAt[s + 1] - 1 : int(lines.size());
        const char tag = sectionTags[s];
        const bool energy = tag == '\x0E' || tag == '\x0F';
        int start = first;
        if (tag != '\x07') {
            ASSERT_LT(first, end) << titles[s].toStdString();
            // The column-title row has no tag.
            EXPECT_GE(quint8(tagOf(lines[first])), 0x20) << titles[s].toStdString();
            if (!energy) {
                QString why;
                EXPECT_TRUE(rowCells(lines[first], &why))
                    << titles[s].toStdString() << ": " << why.toStdString();
            }
            start = first + 1;
        }
        for (int i = start; i < end; ++i) {
            ASSERT_EQ(tagOf(lines[i]), tag) << titles[s].toStdString() << " line " << i;
            const QByteArray body = lines[i].mid(1);
            if (energy) {
                EXPECT_FALSE(body.contains('|')) << i;
                EXPECT_TRUE(body.size() == 10 || (body.size() > 10 && !body.endsWith(' '))) << i;
            } else if (tag != '\x07') {
                QString why;
                EXPECT_TRUE(rowCells(body, &why))
                    << titles[s].toStdString() << " line " << i << ": " << why.toStdString();
            }
            ++rowCount[tag];
        }
    }
    // The energy columns have a line for every row of their tables; the hourly column 6 is the standard
    // volume the loader checks for.
    EXPECT_EQ(rowCount.value('\x0E'), rowCount.value('\x02'));
    EXPECT_EQ(rowCount.value('\x0F'), rowCount.value('\x03'));
    EXPECT_GT(rowCount.value('\x01'), 0);
    QString why;
    const auto hourlyTitles = rowCells(lines[titleAt[0] + 1], &why);
    ASSERT_TRUE(hourlyTitles && hourlyTitles->size() > 6);
    EXPECT_TRUE(cp(hourlyTitles->at(6)).contains(QStringLiteral("Vст")))
        << cp(hourlyTitles->at(6)).toStdString();

    expectWordLinesFromWords(tagged(lines, '\x07'), w());

    // "file show" reads back what the file holds.
    const Result show = read_->inst->cli(
        {QStringLiteral("--json"), QStringLiteral("file"), QStringLiteral("show"), read_->prt});
    ASSERT_EQ(show.code, 0) << show.err.toStdString();
    const QJsonObject shown = json(show);
    EXPECT_EQ(shown.value(QStringLiteral("serial")).toString(), cp(header[0]));
    EXPECT_EQ(toCp1251(shown.value(QStringLiteral("company")).toString()), header[1]);
    EXPECT_EQ(toCp1251(shown.value(QStringLiteral("branch")).toString()), header[2]);
    EXPECT_EQ(toCp1251(shown.value(QStringLiteral("meter")).toString()), header[3]);
    const QJsonObject rows = shown.value(QStringLiteral("rows")).toObject();
    EXPECT_EQ(rows.value(QStringLiteral("hourly")).toInt(), rowCount.value('\x01'));
    EXPECT_EQ(rows.value(QStringLiteral("daily")).toInt(), rowCount.value('\x02'));
    EXPECT_EQ(rows.value(QStringLiteral("monthly")).toInt(), rowCount.value('\x03'));
    EXPECT_EQ(rows.value(QStringLiteral("abnormal")).toInt(), rowCount.value('\x04'));
    EXPECT_EQ(rows.value(QStringLiteral("interference")).toInt(), rowCount.value('\x05'));
    EXPECT_EQ(rows.value(QStringLiteral("operative")).toInt(), rowCount.value('\x06'));
    EXPECT_EQ(rows.value(QStringLiteral("service")).toInt(), rowCount.value('\x08'));
    const QJsonObject items = shown.value(QStringLiteral("items")).toObject();
    EXPECT_EQ(items.value(QStringLiteral("1")).toString(), trimmedNumber(floatOf(w()[51]), 5));
    EXPECT_EQ(items.value(QStringLiteral("14")).toString(), QString::number(int32Of(w()[100])));
    EXPECT_EQ(items.value(QStringLiteral("19")).toString(), QString::number(byteOf(w()[1], 0)));
    EXPECT_EQ(items.value(QStringLiteral("20")).toString(),
              QStringLiteral("%1:00").arg(byteOf(w()[1], 2), 2, 10, QLatin1Char('0')));
    EXPECT_EQ(toCp1251(items.value(QStringLiteral("45")).toString()), header[1]);
}

// Every row line of a table carries a cell for every column of the table, empty cells padded like the
// others, so that a reader finds the columns where the column-title row puts them.
TEST_F(SavedFiles, SnapshotRowsCarryEveryColumn) {
    const RecordFile file = readRecords(read_->prt);
    ASSERT_TRUE(file.problem.isEmpty()) << file.problem.toStdString();
    const QList<QByteArray>& lines = file.lines;
    const QMap<QByteArray, char> tagOfTitle{{toCp1251(QStringLiteral("часовой архив")), '\x01'},
                                            {toCp1251(QStringLiteral("суточный архив")), '\x02'},
                                            {toCp1251(QStringLiteral("месячный архив")), '\x03'},
                                            {toCp1251(QStringLiteral("архив аварий")), '\x04'},
                                            {toCp1251(QStringLiteral("архив вмешательств")), '\x05'},
                                            {toCp1251(QStringLiteral("оперативный архив")), '\x06'},
                                            {toCp1251(QStringLiteral("резервный архив")), '\x08'}};
    int tables = 0;
    for (int i = 0; i + 1 < lines.size(); ++i) {
        if (!tagOfTitle.contains(lines[i])) continue;
        ++tables;
        const char tag = tagOfTitle.value(lines[i]);
        QString why;
        const auto titles = rowCells(lines[i + 1], &why);
        ASSERT_TRUE(titles) << why.toStdString();
        int rows = 0, short_ = 0;
        for (int k = i + 2; k < lines.size() && tagOf(lines[k]) == tag; ++k, ++rows) {
            const auto cells = rowCells(lines[k].mid(1), &why);
            ASSERT_TRUE(cells) << why.toStdString();
            if (cells->size() != titles->size()) ++short_;
        }
        EXPECT_EQ(short_, 0) << cp(lines[i]).toStdString() << ": " << short_ << " of " << rows
                             << " rows without all " << titles->size() << " columns";
    }
    EXPECT_EQ(tables, 7);
}

TEST_F(SavedFiles, PointParameterFileHoldsTheHeaderWordsAndTableOnly) {
    ASSERT_FALSE(read_->point.isEmpty());
    const RecordFile file = readRecords(read_->inst->home() + QStringLiteral("/Param/p_") + read_->point +
                                        QStringLiteral(".000"));
    ASSERT_TRUE(file.problem.isEmpty()) << file.problem.toStdString();
    const QList<QByteArray>& lines = file.lines;
    ASSERT_EQ(lines.size(), 10 + 2 + 145 + 40);
    QList<QByteArray> header;
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(tagOf(lines[i]), '\x0B') << i;
        header.append(lines[i].mid(1));
    }
    expectHeaderFromWords(header, w());
    EXPECT_EQ(lines[10], kSeparator);
    EXPECT_EQ(lines[11], toCp1251(QStringLiteral("параметры прибора")));
    for (int i = 12; i < lines.size(); ++i)
        ASSERT_EQ(tagOf(lines[i]), '\x07') << i;
    expectWordLinesFromWords(tagged(lines, '\x07'), w());
}

// The text export: ten labelled header lines, the named words and the archive tables, tab-separated.
void expectTextExport(const QString& path, const RecordFile& prt, const QString& what) {
    SCOPED_TRACE(what.toStdString());
    const TextLines text = readTextFile(path);
    ASSERT_FALSE(text.lines.isEmpty());
    EXPECT_TRUE(text.crlf);
    const QStringList labels{"Номер корректора",
                             "Предприятие ",
                             "Ветка трубопровода ",
                             "тип cчетчика ",
                             "Инф. для заметок ",
                             "версия ПО ",
                             "дата ",
                             "время ",
                             "Vбат. кор. ",
                             "Время регистрации "};
    const QList<int> headerOf{0, 1, 2, 3, 4, 5, 6, 7, -1, 8};
    ASSERT_GE(text.lines.size(), 12);
    for (int i = 0; i < 10; ++i) {
        // The software version too is the header's field whole: all 32 characters of the identification.
        const QString expectedField =
            headerOf[i] >= 0 ? cp(prt.lines[headerOf[i]].mid(1)) : cp(prt.lines[10].mid(1));
        EXPECT_EQ(text.lines[i], labels[i].leftJustified(25) + QLatin1Char('\t') + expectedField)
            << "line " << i;
    }
    EXPECT_EQ(text.lines[10], QString(51, QLatin1Char('-')));
    EXPECT_EQ(text.lines[11], QStringLiteral("параметры корректора"));
    const QList<QByteArray> words = tagged(prt.lines, '\x07');
    QList<int> named;
    for (int i = 45; i <= 65; ++i)
        named.append(i);
    for (int i = 73; i <= 100; ++i)
        named.append(i);
    ASSERT_GE(text.lines.size(), 12 + named.size());
    for (int k = 0; k < named.size(); ++k) {
        const QStringList parts = text.lines[12 + k].split(QLatin1Char('\t'));
        ASSERT_EQ(parts.size(), 2) << text.lines[12 + k].toStdString();
        // Padded to 25; a longer name is kept whole.
        EXPECT_TRUE(parts[0].size() == 25 || (parts[0].size() > 25 && !parts[0].endsWith(QLatin1Char(' '))))
            << parts[0].toStdString();
        EXPECT_FALSE(parts[0].trimmed().isEmpty());
        EXPECT_EQ(parts[1], cp(words[named[k]])) << "word " << named[k];
    }
    // The tables in order, each behind a separator and its title, every row with its column titles.
    const QList<QPair<QString, char>> tables{{"часовой архив", '\x01'},      {"суточный архив", '\x02'},
                                             {"месячный архив", '\x03'},     {"архив аварий", '\x04'},
                                             {"архив вмешательств", '\x05'}, {"оперативный архив", '\x06'}};
    int at = 12 + int(named.size());
    for (const auto& [title, tag] : tables) {
        SCOPED_TRACE(title.toStdString());
        ASSERT_LT(at + 1, text.lines.size());
        EXPECT_EQ(text.lines[at], QString(51, QLatin1Char('-')));
        EXPECT_EQ(text.lines[at + 1], title);
        const QList<QByteArray> rows = tagged(prt.lines, tag);
        at += 2;
        ASSERT_LE(at + 1 + rows.size(), text.lines.size());
        qsizetype columns = 0;
        for (int r = 0; r <= rows.size(); ++r, ++at) {
            QStringList cells = text.lines[at].split(QLatin1Char('\t'));
            ASSERT_TRUE(cells.size() >= 2 && cells.last().isEmpty()) << text.lines[at].toStdString();
            cells.removeLast();
            if (r == 0) { // column titles
                columns = cells.size();
                continue;
            }
            EXPECT_EQ(cells.size(), columns) << "row " << r;
            QString why;
            auto prtCells = rowCells(rows[r - 1], &why);
            ASSERT_TRUE(prtCells);
            // The hexadecimal digits of an interference record stay out.
            if (tag == '\x05' && prtCells->size() == columns + 1) prtCells->removeLast();
            ASSERT_LE(prtCells->size(), cells.size()) << "row " << r;
            // A cell the snapshot line does not carry is an empty cell of the table.
            for (int c = 0; c < cells.size(); ++c) {
                EXPECT_GE(cells[c].size(), 10) << cells[c].toStdString();
                const QString expected = c < prtCells->size() ? cp(prtCells->at(c)).trimmed() : QString();
                EXPECT_EQ(cells[c].trimmed(), expected) << "row " << r << " cell " << c;
            }
        }
    }
    EXPECT_EQ(at, text.lines.size()) << "the service table and the energy sections are not exported";
}

TEST_F(SavedFiles, TextExportOfTheSavedFileFollowsTheSnapshot) {
    const RecordFile prt = readRecords(read_->prt);
    ASSERT_TRUE(prt.problem.isEmpty());
    const QString out = read_->inst->scratch(QStringLiteral("export.txt"));
    const Result r = read_->inst->cli(
        {QStringLiteral("file"), QStringLiteral("export"), read_->prt, QStringLiteral("--out"), out});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    expectTextExport(out, prt, QStringLiteral("file export"));
}

// The text saved with the read itself comes from the same window as the snapshot saved with it, so a
// metering engineer expects the same header and the same tables as "file export" of that snapshot gives.
TEST_F(SavedFiles, TextSavedWithTheReadFollowsTheSnapshot) {
    const RecordFile prt = readRecords(read_->prt);
    ASSERT_TRUE(prt.problem.isEmpty());
    expectTextExport(read_->txt, prt, QStringLiteral("read --save-txt"));
}

// The name of a saved file: everything from the first "." of the chosen file name on is replaced by the
// kind's extension, whatever dots the folder holds; the section titles are in the program's language.
TEST(SnapshotSave, NamesAndLanguage) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_TRUE(inst.startCorrector({QStringLiteral("series1"), 24}));
    const QString folder = inst.scratch(QStringLiteral("reports.2025.v1"));
    ASSERT_TRUE(QDir().mkpath(folder));
    Result r = inst.onLine({QStringLiteral("read"), QStringLiteral("--archives"), QStringLiteral("daily"),
                            QStringLiteral("--save-prt"), folder + QStringLiteral("/abc.old.prt"),
                            QStringLiteral("--save-txt"), folder + QStringLiteral("/abc.old.txt")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    r = inst.onLine({QStringLiteral("--lang"), QStringLiteral("ua"), QStringLiteral("read"),
                     QStringLiteral("--archives"), QStringLiteral("daily"), QStringLiteral("--save-prt"),
                     folder + QStringLiteral("/ua")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    inst.finishCorrector();
    QStringList names = QDir(folder).entryList(QDir::Files);
    names.sort();
    EXPECT_EQ(names, (QStringList{"abc.prt", "abc.txt", "ua.prt"}));

    const QStringList ru{"часовой архив",        "суточный архив", "енергия суточная",   "месячный архив",
                         "енергия месячная",     "архив аварий",   "архив вмешательств", "оперативный архив",
                         "параметры корректора", "резервный архив"};
    const QStringList ua{"часовий архів",       "добовий архів",  "енергія добова", "місячний архів",
                         "енергія місячна",     "архів аварій",   "архів втручань", "оперативний архів",
                         "параметри коректора", "резервний архів"};
    for (const auto& [file, titles] :
         {std::pair{QStringLiteral("abc.prt"), ru}, std::pair{QStringLiteral("ua.prt"), ua}}) {
        SCOPED_TRACE(file.toStdString());
        const RecordFile f = readRecords(folder + QLatin1Char('/') + file);
        ASSERT_TRUE(f.problem.isEmpty()) << f.problem.toStdString();
        QStringList found;
        for (int i = 0; i + 1 < f.lines.size(); ++i)
            if (f.lines[i] == kSeparator) found.append(cp(f.lines[i + 1]));
        EXPECT_EQ(found, titles);
    }
    const TextLines text = readTextFile(folder + QStringLiteral("/abc.txt"));
    EXPECT_TRUE(text.crlf);
    ASSERT_FALSE(text.lines.isEmpty());
    EXPECT_TRUE(text.lines.first().startsWith(QStringLiteral("Номер корректора")));
}

// ---------------------------------------------------------------- loading damaged and unusual files

// Lines as 200-byte records, as the program writes them.
QByteArray recordsOf(const QList<QByteArray>& lines) {
    QByteArray out;
    for (const QByteArray& l : lines) {
        out.append(char(quint8(std::min<qsizetype>(l.size(), 255))));
        out.append(l.left(199).leftJustified(199, ' '));
    }
    return out;
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

class DamagedFiles : public SavedFiles {
protected:
    void SetUp() override {
        SavedFiles::SetUp();
        const RecordFile file = readRecords(read_->prt);
        ASSERT_TRUE(file.problem.isEmpty());
        lines_ = file.lines;
        for (int i = 0; i < lines_.size(); ++i)
            if (lines_[i] == toCp1251(QStringLiteral("часовой архив"))) hourlyTitle_ = i;
        ASSERT_GT(hourlyTitle_, 0);
    }
    // "file show" of the lines saved under name.
    Result show(const QString& name, const QList<QByteArray>& lines, const QStringList& more = {}) {
        const QString path = read_->inst->scratch(name);
        writeBytes(path, recordsOf(lines));
        return read_->inst->cli(more + QStringList{QStringLiteral("file"), QStringLiteral("show"), path});
    }
    QList<QByteArray> lines_;
    int hourlyTitle_ = -1;
};

TEST_F(DamagedFiles, UntouchedCopyLoads) {
    // The reader and writer here agree with the program's: a copy made of the parsed lines loads.
    const Result r = show(QStringLiteral("copy.prt"), lines_, {QStringLiteral("--json")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(json(r).value(QStringLiteral("serial")).toString(), cp(lines_[0].mid(1)));
}

TEST_F(DamagedFiles, ShortLastRecordIsRefused) {
    const QString path = read_->inst->scratch(QStringLiteral("short.prt"));
    writeBytes(path, recordsOf(lines_).chopped(50));
    const Result r = read_->inst->cli({QStringLiteral("file"), QStringLiteral("show"), path});
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.err.contains(QStringLiteral("ОШИБКА!!! ФОРМАТА ФАЙЛА :") + path)) << r.err.toStdString();
}

TEST_F(DamagedFiles, IdentificationWithoutAKnownModelIsRefused) {
    QList<QByteArray> noLetter = lines_;
    noLetter[5][12] = '#'; // character 12 of the identification is the model letter
    Result r = show(QStringLiteral("letter.prt"), noLetter);
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Ошибка! Версия не определена!!!"))) << r.err.toStdString();

    QList<QByteArray> tooShort = lines_;
    tooShort[5] = tooShort[5].left(12);
    r = show(QStringLiteral("short-id.prt"), tooShort);
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Ошибка! Версия не определена!!!"))) << r.err.toStdString();
}

TEST_F(DamagedFiles, OlderHourlyLayoutIsRefusedWithTheOtherProgramsName) {
    QList<QByteArray> older = lines_;
    QString why;
    auto titles = rowCells(older[hourlyTitle_ + 1], &why);
    ASSERT_TRUE(titles && titles->size() > 6);
    (*titles)[6] = toCp1251(QStringLiteral("Vсч(м.куб)"));
    QByteArray row;
    for (const QByteArray& c : *titles)
        row += c.leftJustified(10, ' ') + '|';
    older[hourlyTitle_ + 1] = row;
    const Result r = show(QStringLiteral("older.prt"), older);
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(
        r.err.contains(QStringLiteral("Ошибка формата !!! Попробуйте прочитать файл прогр. \"QuonR\"")))
        << r.err.toStdString();
}

TEST_F(DamagedFiles, BatteryLineBeforeTheHeaderIsRefused) {
    QList<QByteArray> early = lines_;
    const QByteArray battery = early.takeAt(10);
    early.insert(3, battery); // after three header lines only
    const Result r = show(QStringLiteral("early.prt"), early);
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(
        r.err.contains(QStringLiteral("Ошибка формата !!! Попробуйте прочитать файл прогр. \"Quon\"")))
        << r.err.toStdString();
}

TEST_F(DamagedFiles, LongWordLineIsReportedAndLoadingGoesOn) {
    QList<QByteArray> longWord = lines_;
    int n = -1, at = -1;
    for (int i = 0; i < longWord.size() && n < 60; ++i)
        if (tagOf(longWord[i]) == '\x07') {
            ++n;
            at = i;
        }
    ASSERT_EQ(n, 60);
    const QByteArray forty = QByteArray("1234567890").repeated(4);
    longWord[at] = '\x07' + forty;
    const Result r = show(QStringLiteral("long.prt"), longWord, {QStringLiteral("--json")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("ОШИБКА!!! длины строки :60: ") + QString::fromLatin1(forty)))
        << r.err.toStdString();
    EXPECT_EQ(json(r).value(QStringLiteral("serial")).toString(), cp(lines_[0].mid(1)));
}

// Date cells are checked and rewritten as they load: what the text export of the loaded file shows.
TEST_F(DamagedFiles, RowDatesAreNormalisedOnLoading) {
    QList<QByteArray> dated = lines_;
    const int first = hourlyTitle_ + 2;
    ASSERT_EQ(tagOf(dated[first]), '\x01');
    QString why;
    const auto model = rowCells(dated[first].mid(1), &why);
    ASSERT_TRUE(model && model->size() > 3);
    struct Case {
        const char* date;
        const char* time;
        const char* loadedDate; // empty: not a date, the row keeps its record number only
        const char* loadedTime;
    };
    const QList<Case> cases{{"31.02.2010", "01:00", "", ""},
                            {"01.01.1999", "01:00", "", ""},
                            {"25.11.2031", "01:00", "", ""},
                            {"24.11.2031", "01:00", "24.11.2031", "01:00"},
                            {"1.2.05", "07-05", "01.02.2005", "07:05"},
                            {"01/02/2005", "23.59", "01.02.2005", "23:59"},
                            {"1.2.5", "01:00", "", ""},
                            {"29.02.2024", "00:00", "29.02.2024", "00:00"}};
    for (int k = 0; k < cases.size(); ++k) {
        QList<QByteArray> cells = *model;
        cells[0] = QByteArray::number(90000 + k);
        cells[1] = cases[k].date;
        cells[2] = cases[k].time;
        QByteArray row = "\x01";
        for (const QByteArray& c : cells)
            row += c.leftJustified(10, ' ') + '|';
        dated[first + k] = row;
    }
    const QString path = read_->inst->scratch(QStringLiteral("dated.prt"));
    writeBytes(path, recordsOf(dated));
    const QString out = read_->inst->scratch(QStringLiteral("dated.txt"));
    const Result r = read_->inst->cli(
        {QStringLiteral("file"), QStringLiteral("export"), path, QStringLiteral("--out"), out});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const TextLines text = readTextFile(out);
    for (int k = 0; k < cases.size(); ++k) {
        SCOPED_TRACE(cases[k].date);
        const QString number = QString::number(90000 + k);
        QStringList found;
        for (const QString& l : text.lines)
            if (l.startsWith(number)) found = l.split(QLatin1Char('\t'));
        ASSERT_GE(found.size(), 3) << "row " << number.toStdString() << " not exported";
        EXPECT_EQ(found[1].trimmed(), QString::fromLatin1(cases[k].loadedDate));
        EXPECT_EQ(found[2].trimmed(), QString::fromLatin1(cases[k].loadedTime));
        const bool valid = *cases[k].loadedDate != '\0';
        for (int c = 3; c < model->size(); ++c)
            EXPECT_EQ(found.value(c).trimmed(), valid ? cp(model->at(c)).trimmed() : QString())
                << "cell " << c;
    }
}

// A snapshot saved in Russian opened with the program in Ukrainian: the hourly title is not recognised,
// so the hourly check is skipped, and every tagged line still loads.
TEST_F(DamagedFiles, SnapshotOfTheOtherLanguageLoads) {
    const Result ru = show(QStringLiteral("ru.prt"), lines_, {QStringLiteral("--json")});
    const Result ua = show(QStringLiteral("ru.prt"), lines_,
                           {QStringLiteral("--lang"), QStringLiteral("ua"), QStringLiteral("--json")});
    ASSERT_EQ(ru.code, 0) << ru.err.toStdString();
    ASSERT_EQ(ua.code, 0) << ua.err.toStdString();
    EXPECT_EQ(json(ua).value(QStringLiteral("rows")), json(ru).value(QStringLiteral("rows")));
    EXPECT_EQ(json(ua).value(QStringLiteral("serial")), json(ru).value(QStringLiteral("serial")));
}

// ---------------------------------------------------------------- the printout of programmed parameters

TEST_F(SavedFiles, ProgrammedParametersPrintoutFollowsThePointsFile) {
    ASSERT_FALSE(read_->point.isEmpty());
    const QString out = read_->inst->scratch(QStringLiteral("params-report.txt"));
    const QString today = QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"));
    const Result r = read_->inst->cli({QStringLiteral("report"), QStringLiteral("--point"), read_->point,
                                       QStringLiteral("--period"), QStringLiteral("params"),
                                       QStringLiteral("--from"), today, QStringLiteral("--out"), out});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const TextLines text = readTextFile(out);
    EXPECT_TRUE(text.crlf);
    const QStringList& L = text.lines;
    ASSERT_GT(L.size(), 40);
    auto item = [&](int n) { return itemText(read_->params, n); };
    const QString enterprise = cp(rightTrimmed(textWords(w(), 113))).simplified();

    // The head.
    EXPECT_EQ(L[0], QString());
    EXPECT_EQ(L[1], QString(std::max(1, int((70 - enterprise.size()) / 2)), QLatin1Char(' ')) + enterprise);
    EXPECT_EQ(L[2], QStringLiteral("           (название предприятия, на котором расположен корректор)"));
    EXPECT_EQ(L[3], QString());
    EXPECT_EQ(L[4], QStringLiteral("Договорные обязательства Qст.у (м.куб/час) ") + item(47));
    EXPECT_TRUE(L[5].isEmpty() && L[6].isEmpty());
    EXPECT_EQ(L[7], QStringLiteral("                        ПРОГРАММИРУЕМЫЕ ПАРАМЕТРЫ"));
    EXPECT_EQ(L[8], QString());

    // The meter line and its caption under the serial number.
    const QString meterType = cp(rightTrimmed(textWords(w(), 105)));
    const QString meterHead = QStringLiteral("Счетчик  газа    ") + meterType;
    const qsizetype meterAt =
        L.indexOf(meterHead + QStringLiteral("  ") + QString::number(int32Of(w()[100])));
    ASSERT_GT(meterAt, 8) << "no meter line";
    ASSERT_LT(meterAt + 1, L.size());
    EXPECT_EQ(L[meterAt + 1], QStringLiteral("(зав.ном.)").rightJustified(meterHead.size() + 11));
    EXPECT_EQ(L[meterAt + 2], QString());
    EXPECT_EQ(L[meterAt + 3], QStringLiteral("Дата последней  коррекции    ------- / ----"));
    EXPECT_TRUE(L[meterAt + 4].startsWith(QStringLiteral("Дата печати                  ") + today +
                                          QStringLiteral(" / ")))
        << L[meterAt + 4].toStdString();
    EXPECT_EQ(L[meterAt + 5], QString());

    // The table of settings.
    const qsizetype t = meterAt + 6;
    const QString F = QStringLiteral("(м.куб/час) ");
    const QString unit = item(38);
    const QString U = QStringLiteral("(") + unit + QStringLiteral(")");
    auto row = [](const QString& left, const QString& middle, const QString& right) {
        return left.leftJustified(27) + middle.leftJustified(32) + right;
    };
    EXPECT_EQ(L[t], row(QStringLiteral("Контрактные сутки  ") + item(21),
                        QStringLiteral("| Tст.у.(град.С) ") + QString(6, QLatin1Char(' ')) + item(40),
                        QStringLiteral("| Метод ") + item(5).rightJustified(14)));
    EXPECT_EQ(L[t + 1],
              row(QStringLiteral("Контрактное время  ") + item(20),
                  QStringLiteral("| Рст.у.") + U.leftJustified(13) + QStringLiteral("  ") + item(39),
                  QStringLiteral("| Pmin") + U.leftJustified(10) + item(30)));
    const bool fixedMethod = byteOf(w()[2], 2) == 3;
    EXPECT_EQ(L[t + 2], row(fixedMethod ? QStringLiteral("Ксжим.             ") + item(4)
                                        : QStringLiteral("Плотность(кг/м.куб)") + item(1),
                            QStringLiteral("| Qmin р.у.") + F + item(9),
                            QStringLiteral("| Pmax") + U.leftJustified(10) + item(31)));
    EXPECT_EQ(L[t + 3], row(fixedMethod ? QString() : QStringLiteral("Содерж. N2 (%)     ") + item(3),
                            QStringLiteral("| Qmax р.у.") + F + item(10),
                            QStringLiteral("| Tmin (град.С) ") + item(33)));
    EXPECT_EQ(L[t + 4], row(fixedMethod ? QString() : QStringLiteral("Содерж. CO2 (%)    ") + item(2),
                            QStringLiteral("| ДУ                   ") + item(65),
                            QStringLiteral("| Tmax (град.С) ") + item(32)));
    EXPECT_EQ(L[t + 5], QString(27, QLatin1Char(' ')) + QStringLiteral("| Qtrs р.у.") + F +
                            item(13).leftJustified(9) + QStringLiteral("|"));
    // A meter-coefficient corrector has no Qtrn row.
    EXPECT_EQ(L[t + 6], QString());
    EXPECT_EQ(L[t + 7], QStringLiteral("Tconst (град.С)").leftJustified(29) + item(35));
    EXPECT_EQ(L[t + 8],
              (QStringLiteral("Pconst (") + unit + QStringLiteral(")")).leftJustified(29) + item(34));
    EXPECT_EQ(L[t + 9], QStringLiteral("Vconst р.у.(м.куб/сут) ").leftJustified(29) + item(36));
    EXPECT_EQ(L[t + 10],
              QStringLiteral("Время индикации              ") + item(19) + QStringLiteral(" (сек.)"));
    EXPECT_EQ(L[t + 10], QStringLiteral("Время индикации              ") +
                             QString::number(byteOf(w()[1], 0)) + QStringLiteral(" (сек.)"));
    EXPECT_EQ(L[t + 11], QStringLiteral("Состояние датчиков           ") + item(29));
    EXPECT_EQ(L[t + 12], QStringLiteral("Скорость RS-232              ") + item(26));
    qsizetype at = t + 13;
    if (L[at].startsWith(QStringLiteral("Скорость RS-232(2-ой канал)  "))) ++at;
    EXPECT_EQ(L[at], QStringLiteral("Оперативный архив            ") + item(23));
    EXPECT_EQ(L[at + 1], item(22) == QStringLiteral("ВКЛ.")
                             ? QStringLiteral("Автоперевод ЗИМА/ЛЕТО        ВКЛЮЧЕНО")
                             : QStringLiteral("Автоперевод ЗИМА/ЛЕТО        ВЫКЛЮЧЕНО"));
    at += 2;
    // No "Qmin, при Q<Qmin ?" line on a meter-coefficient corrector.
    for (const QString& line : L)
        EXPECT_FALSE(line.startsWith(QStringLiteral("Qmin, при Q<Qmin ?"))) << line.toStdString();
    // The total standard volume: the counter of word 102 over the pulse weight.
    const QList<double> weights{1, 10, 100, 0.1, 0.01};
    const QString total = trimmedNumber(int32Of(w()[102]) / weights.value(byteOf(w()[2], 1)), 5);
    EXPECT_EQ(L[at], QStringLiteral("Vстд. ОБЩИЙ                  ") + total + QStringLiteral(" (м.куб)"));
    ++at;
    EXPECT_EQ(L[at], QStringLiteral("Показания счетчика           ") + item(11) + QStringLiteral(" (м.куб)"));

    // The meter-coefficient section, every value from the corrector's words.
    const QString rule =
        QStringLiteral("|-----------------------------------------------------------------------|");
    const QStringList names{"Размер тела обтекания - d20(м)                            ",
                            "Диам. проходного сеч. ПП при температуре 20град.С - D20(м)",
                            "Площадь поперечного сечения проточного тракта - Fcd20(м2) ",
                            "Коэффициент сужения потока за обтекаемым телом            ",
                            "Эффективный коэффициент линейного расширения материалов ПП",
                            "Поправочный коэффициент, учитывающий вязкость газа Kqавт  ",
                            "Коэффициент приведения давления (для расчетного сечения)  ",
                            "Коэффициент предварительного делителя                     "};
    qsizetype c = at + 1;
    ASSERT_LE(c + 25, L.size());
    EXPECT_EQ(L[c], QString());
    EXPECT_EQ(L[c + 1], QStringLiteral("                    КОЭФФИЦИЕНТЫ СЧЕТЧИКА ОМРИС-Z-900 "));
    EXPECT_EQ(L[c + 2], rule);
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(L[c + 3 + k], QStringLiteral("|") + names[k] + QStringLiteral("|") +
                                    sixDigits(floatOf(w()[145 + k])).leftJustified(12) + QStringLiteral("|"))
            << "constant " << k + 1;
    EXPECT_EQ(L[c + 11], rule);
    EXPECT_EQ(L[c + 12], QString());
    EXPECT_EQ(L[c + 13], QStringLiteral("        Поправочные коэффициенты, учитывающие вязкость газа"));
    const QString shortRule =
        QStringLiteral("|-----------------------------|   |-----------------------------|");
    EXPECT_EQ(L[c + 14], shortRule);
    EXPECT_EQ(L[c + 15], QStringLiteral("|п.н|   Ref      |   Kq       |   |п.н|   Ref      |   Kq       |"));
    EXPECT_EQ(L[c + 16], shortRule);
    // Coefficient n of the table is word 144 + n.
    auto coef = [&](int n) { return sixDigits(floatOf(w()[144 + n])).leftJustified(12); };
    for (int n = 1; n <= 7; ++n)
        EXPECT_EQ(L[c + 16 + n], QStringLiteral("|") + QString::number(n).leftJustified(3) +
                                     QStringLiteral("|") + coef(13 + 2 * (n - 1)) + QStringLiteral("|") +
                                     coef(14 + 2 * (n - 1)) + QStringLiteral("|   |") +
                                     QString::number(n + 7).leftJustified(3) + QStringLiteral("|") +
                                     coef(27 + 2 * (n - 1)) + QStringLiteral("|") + coef(28 + 2 * (n - 1)) +
                                     QStringLiteral("|"))
            << "point line " << n;
    EXPECT_EQ(L[c + 24], shortRule);
}

TEST_F(SavedFiles, PrintoutRefusesABeginDateOutsideTheCalendar) {
    const QString out = read_->inst->scratch(QStringLiteral("params-bad-date.txt"));
    const Result r =
        read_->inst->cli({QStringLiteral("report"), QStringLiteral("--point"), read_->point,
                          QStringLiteral("--period"), QStringLiteral("params"), QStringLiteral("--from"),
                          QStringLiteral("25.11.2031"), QStringLiteral("--out"), out});
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.all().contains(QStringLiteral("ОШИБКА ФОРМАТА ДАТЫ : 25.11.2031")))
        << r.all().toStdString();
}

TEST_F(SavedFiles, PrintoutOfAPointWithoutAFileIsRefused) {
    // A registered point whose parameter file has gone.
    const QString file =
        read_->inst->home() + QStringLiteral("/Param/p_") + read_->point + QStringLiteral(".000");
    const QString aside = read_->inst->scratch(QStringLiteral("parameters-aside.000"));
    ASSERT_TRUE(QFile::rename(file, aside));
    const QString out = read_->inst->scratch(QStringLiteral("none.txt"));
    const Result r = read_->inst->cli({QStringLiteral("report"), QStringLiteral("--point"), read_->point,
                                       QStringLiteral("--period"), QStringLiteral("params"),
                                       QStringLiteral("--out"), out});
    ASSERT_TRUE(QFile::rename(aside, file));
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Внимание!!! Нет файла параметров для корректора - ")))
        << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out));
}

// A calibration complex: the head names the complex, the Qmin and Qtrn lines are there, the meter's
// section is replaced by the calibration table, every value from the corrector's words; and the head in
// Ukrainian.
TEST(ParameterPrintout, CalibrationComplexInBothLanguages) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_TRUE(inst.startCorrector({QStringLiteral("calib"), 24}));
    ASSERT_EQ(
        inst.onLine({QStringLiteral("store"), QStringLiteral("--archives"), QStringLiteral("daily")}).code,
        0);
    const Result paramsRead = inst.onLine({QStringLiteral("--json"), QStringLiteral("params")});
    ASSERT_EQ(paramsRead.code, 0) << paramsRead.err.toStdString();
    const QJsonObject params = json(paramsRead);
    const std::optional<QJsonObject> dump = inst.finishCorrector();
    ASSERT_TRUE(dump);
    const QStringList w = wordsOf(*dump);
    ASSERT_EQ(w.size(), 185);
    const QStringList files = QDir(inst.home() + QStringLiteral("/Param")).entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    const QString pointId = files.first().mid(2, files.first().size() - 6);
    auto item = [&](int n) { return itemText(params, n); };

    const QString out = inst.scratch(QStringLiteral("calib-params.txt"));
    Result r = inst.cli({QStringLiteral("report"), QStringLiteral("--point"), pointId,
                         QStringLiteral("--period"), QStringLiteral("params"), QStringLiteral("--out"), out});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    TextLines text = readTextFile(out);
    EXPECT_TRUE(text.crlf);
    const QStringList& L = text.lines;
    ASSERT_GT(L.size(), 12);
    const QString enterprise = cp(rightTrimmed(textWords(w, 113))).simplified();
    EXPECT_EQ(L[1], QString(std::max(1, int((70 - enterprise.size()) / 2)), QLatin1Char(' ')) + enterprise);
    EXPECT_EQ(L[2], QStringLiteral("           (название предприятия, на котором расположен комплекс)"));
    EXPECT_EQ(L[4], QStringLiteral("Договорные обязательства Qст.у (м.куб/час) ") + item(47));
    EXPECT_EQ(L[7], QStringLiteral("                        ПРОГРАММИРУЕМЫЕ ПАРАМЕТРЫ"));
    // A complex has no meter line.
    for (const QString& line : L)
        EXPECT_FALSE(line.startsWith(QStringLiteral("Счетчик  газа"))) << line.toStdString();

    const QString F = QStringLiteral("(м.куб/час) ");
    const QString pulses = QString(27, QLatin1Char(' '));
    EXPECT_TRUE(L.contains(pulses + QStringLiteral("| Qtrs р.у.") + F + item(13).leftJustified(9) +
                           QStringLiteral("|")));
    EXPECT_TRUE(L.contains(pulses + QStringLiteral("| Qtrn р.у.") + F + item(12).leftJustified(9) +
                           QStringLiteral("|")));
    const QString onOff =
        item(41) == QStringLiteral("ВКЛ.") ? QStringLiteral("ВКЛЮЧЕНО") : QStringLiteral("ВЫКЛЮЧЕНО");
    const qsizetype qmin = L.indexOf(QStringLiteral("Qmin, при Q<Qmin ?           ") + onOff);
    ASSERT_GT(qmin, 0);
    EXPECT_EQ(L.value(qmin + 1), QStringLiteral("Учет Qmin<Q<Qtrn % погрешн.  ") + item(42));
    // The total standard volume: the counter of word 102 over the pulse weight.
    const QList<double> weights{1, 10, 100, 0.1, 0.01};
    const QString total = trimmedNumber(int32Of(w[102]) / weights.value(byteOf(w[2], 1)), 5);
    EXPECT_TRUE(
        L.contains(QStringLiteral("Vстд. ОБЩИЙ                  ") + total + QStringLiteral(" (м.куб)")))
        << total.toStdString();

    // The calibration section closes the printout.
    const qsizetype c = L.indexOf(QStringLiteral("               Поправочные коэффициенты ЗИБ"));
    ASSERT_GT(c, 0);
    ASSERT_EQ(L.size(), c + 12) << "the section ends the printout";
    EXPECT_EQ(L[c - 1], QString());
    const QString shortRule =
        QStringLiteral("|-----------------------------|   |-----------------------------|");
    EXPECT_EQ(L[c + 1], shortRule);
    EXPECT_EQ(L[c + 2], QStringLiteral("|п.н|    Qw      |    Kq      |   |п.н|    Qw      |   Kq       |"));
    EXPECT_EQ(L[c + 3], shortRule);
    // Calibration entry j is word 156 + j.
    auto entry = [&](int j) { return sixDigits(floatOf(w[156 + j])).leftJustified(12); };
    for (int n = 1; n <= 7; ++n)
        EXPECT_EQ(L[c + 3 + n], QStringLiteral("|") + QString::number(n).leftJustified(3) +
                                    QStringLiteral("|") + entry(2 * n - 1) + QStringLiteral("|") +
                                    entry(2 * n) + QStringLiteral("|   |") +
                                    QString::number(n + 7).leftJustified(3) + QStringLiteral("|") +
                                    entry(15 + 2 * (n - 1)) + QStringLiteral("|") + entry(16 + 2 * (n - 1)) +
                                    QStringLiteral("|"))
            << "point line " << n;
    EXPECT_EQ(L[c + 11], shortRule);

    // The Ukrainian head.
    const QString outUa = inst.scratch(QStringLiteral("calib-params-ua.txt"));
    r = inst.cli({QStringLiteral("--lang"), QStringLiteral("ua"), QStringLiteral("report"),
                  QStringLiteral("--point"), pointId, QStringLiteral("--period"), QStringLiteral("params"),
                  QStringLiteral("--out"), outUa});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    text = readTextFile(outUa);
    const QStringList& U = text.lines;
    ASSERT_GT(U.size(), 12);
    EXPECT_EQ(U[2], QStringLiteral("             (назва підприємства, на якому розташован комплекс)"));
    EXPECT_EQ(U[4], QStringLiteral("Договорне навантаження Qст.у (м.куб/год) ") + item(47));
    EXPECT_EQ(U[7], QStringLiteral("                      ЗАПРОГРАМОВАНІ ПАРАМЕТРИ"));
    EXPECT_TRUE(U.contains(QStringLiteral("                Поправочні коефіцієнти ЗИБ")));
    EXPECT_TRUE(U.contains(QStringLiteral("Облік Qmin<Q<Qtrn % похибки  ") + item(42)));
}

// A complex that has already permitted calibration gives its table without a password and without
// changing its calibration flags.
TEST(Calibration, AlreadyPermittedReadsWithoutPassword) {
    const std::optional<QStringList> pristine = pristineWords({QStringLiteral("calib2"), 24});
    ASSERT_TRUE(pristine && pristine->size() == 185);
    ASSERT_TRUE(byteOf(pristine->at(4), 1) & 0x02);
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_TRUE(inst.startCorrector({QStringLiteral("calib2"), 24}));
    const QString zib = inst.scratch(QStringLiteral("calib2.zib"));
    const Result read =
        inst.onLine({QStringLiteral("coef"), QStringLiteral("read"), QStringLiteral("--out"), zib});
    ASSERT_EQ(read.code, 0) << read.err.toStdString();
    bool crlf = false;
    const QStringList lines = fileLines(zib, &crlf);
    ASSERT_EQ(lines.size(), 42);
    EXPECT_EQ(lines[0], sixDigits(floatOf(pristine->at(157))));
    EXPECT_EQ(lines[28], sixDigits(floatOf(pristine->at(158 + 14))));
    const std::optional<QJsonObject> dump = inst.finishCorrector();
    ASSERT_TRUE(dump);
    EXPECT_EQ(wordsOf(*dump), *pristine);
}

// ---------------------------------------------------------------- programming from a point's file

// A series-1 corrector read and stored, then changed by hand, is programmed back from the point's file:
// afterwards it holds what it held when it was stored, except the meter reading, the total volume and
// the clock, which come from the programming command.
// Run on a corrector with a pulse weight of 1 and on one with 10, so that the counters show which way
// the weight goes.
class ProgramBack : public ::testing::TestWithParam<const char*> {};

TEST_P(ProgramBack, CorrectorGetsBackWhatThePointsFileSays) {
    const QString preset = QString::fromLatin1(GetParam());
    const std::optional<QStringList> pristine = pristineWords({preset, 24});
    ASSERT_TRUE(pristine && pristine->size() == 185);
    const QStringList& p = *pristine;
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_TRUE(inst.startCorrector({preset, 24}));
    const Result store =
        inst.onLine({QStringLiteral("store"), QStringLiteral("--archives"), QStringLiteral("daily")});
    ASSERT_EQ(store.code, 0) << store.err.toStdString();

    QStringList files = QDir(inst.home() + QStringLiteral("/Param")).entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1) << files.join(QLatin1Char(' ')).toStdString();
    const QString pointId = files.first().mid(2, files.first().size() - 6);
    EXPECT_TRUE(pointId.endsWith(QStringLiteral("%1").arg(int32Of(p[99]), 5, 10, QLatin1Char('0'))))
        << pointId.toStdString();

    // Changed by hand after the store.
    for (const QStringList& set :
         {QStringList{"--item", "1", "--value", "0.7"}, QStringList{"--item", "45", "--value", "other works"},
          QStringList{"--item", "19", "--value", "33"}}) {
        const Result r = inst.onLine(QStringList{QStringLiteral("item"), QStringLiteral("set")} + set +
                                     QStringList{QStringLiteral("--password"), QStringLiteral("6:6666")});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
    }

    const QDateTime target(QDate(2025, 3, 15), QTime(10, 30));
    const Result prog = inst.onLine(
        {QStringLiteral("program"), QStringLiteral("--point"), pointId, QStringLiteral("--password"),
         QStringLiteral("6666"), QStringLiteral("--date"), QStringLiteral("15.03.2025"),
         QStringLiteral("--time"), QStringLiteral("10:30"), QStringLiteral("--meter-reading"),
         QStringLiteral("1234.56"), QStringLiteral("--total-volume"), QStringLiteral("98765.25")});
    const QDateTime programmedAt = QDateTime::currentDateTime();
    ASSERT_EQ(prog.code, 0) << prog.err.toStdString();
    EXPECT_TRUE(prog.all().contains(QStringLiteral("ПАРАМЕТРЫ ЗАПИСАНЫ!!!"))) << prog.all().toStdString();
    EXPECT_TRUE(prog.all().contains(QStringLiteral("Дата время = 15.03.2025 10:30")))
        << prog.all().toStdString();
    const std::optional<QJsonObject> dump = inst.finishCorrector();
    ASSERT_TRUE(dump);
    const QStringList after = wordsOf(*dump);
    ASSERT_EQ(after.size(), 185);

    // The counters in pulses: the value times the pulse weight, the fraction dropped.
    const QList<double> weights{1, 10, 100, 0.1, 0.01};
    const double weight = weights.value(byteOf(p[2], 1));
    if (preset == QLatin1String("second-port")) {
        EXPECT_EQ(weight, 10);
    }
    EXPECT_EQ(after[97], int32Hex(qint32(std::trunc(1234.56 * weight)))) << "meter counter";
    EXPECT_EQ(after[102], int32Hex(qint32(std::trunc(98765.25 * weight)))) << "total standard volume";
    for (int i = 0; i < 185; ++i) {
        if (i == 97 || i == 102) continue;
        EXPECT_EQ(after[i], p[i]) << "word " << i;
    }
    // The clock was set to the date and time given, at the moment of programming.
    const qint64 offset = qint64(dump->value(QStringLiteral("clockOffsetSec")).toDouble());
    EXPECT_LE(std::llabs(offset - programmedAt.secsTo(target)), 120) << offset;
}

INSTANTIATE_TEST_SUITE_P(Presets, ProgramBack, ::testing::Values("series1", "second-port"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::erase(name, '-');
                             return name;
                         });

// The steps a meter-coefficient corrector has no item for are skipped with their number.
TEST(ProgramFromFile, MeterCoefficientCorrectorSkipsTheMeterSteps) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_TRUE(inst.startCorrector({QStringLiteral("meter-coef"), 24}));
    ASSERT_EQ(
        inst.onLine({QStringLiteral("store"), QStringLiteral("--archives"), QStringLiteral("daily")}).code,
        0);
    const QStringList files = QDir(inst.home() + QStringLiteral("/Param")).entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    const QString pointId = files.first().mid(2, files.first().size() - 6);
    const Result prog = inst.onLine({QStringLiteral("program"), QStringLiteral("--point"), pointId,
                                     QStringLiteral("--password"), QStringLiteral("6666")});
    ASSERT_EQ(prog.code, 0) << prog.err.toStdString();
    QSet<int> skipped;
    for (const QString& line : prog.all().split(QLatin1Char('\n'))) {
        const QString marker = QStringLiteral("==ПРОПУСК ПАР.== №");
        if (line.trimmed().startsWith(marker)) skipped.insert(line.trimmed().mid(marker.size()).toInt());
    }
    // Qmin handling, the pulse weight and the meter's flow limits and name belong to the meter's table;
    // gauge and barometric pressure belong to the second series.
    EXPECT_EQ(skipped, (QSet<int>{21, 22, 23, 24, 25, 26, 27, 28, 30, 31}));
    inst.finishCorrector();
}

// Refusals leave the corrector as it was: a wrong configurator password, a point without a file, and a
// file saved from a corrector of another kind.
TEST(ProgramFromFile, RefusalsWriteNothing) {
    const std::optional<QStringList> pristine = pristineWords({QStringLiteral("series1"), 24, 4512});
    ASSERT_TRUE(pristine && pristine->size() == 185);
    Installation inst;
    ASSERT_TRUE(inst.initialised());

    // A file saved from a second-series corrector.
    ASSERT_TRUE(inst.startCorrector({QStringLiteral("series2"), 24, 4512}));
    ASSERT_EQ(
        inst.onLine({QStringLiteral("store"), QStringLiteral("--archives"), QStringLiteral("daily")}).code,
        0);
    ASSERT_TRUE(inst.finishCorrector());
    const QStringList series2Files = QDir(inst.home() + QStringLiteral("/Param")).entryList(QDir::Files);
    ASSERT_EQ(series2Files.size(), 1);
    const QString series2Point = series2Files.first().mid(2, series2Files.first().size() - 6);

    // A series-1 corrector stored as a point of its own.
    ASSERT_TRUE(inst.startCorrector({QStringLiteral("series1"), 24, 4512}));
    ASSERT_EQ(
        inst.onLine({QStringLiteral("store"), QStringLiteral("--archives"), QStringLiteral("daily")}).code,
        0);
    QStringList files = QDir(inst.home() + QStringLiteral("/Param")).entryList(QDir::Files);
    files.removeAll(series2Files.first());
    ASSERT_EQ(files.size(), 1);
    const QString series1Point = files.first().mid(2, files.first().size() - 6);

    const Result wrongPassword =
        inst.onLine({QStringLiteral("program"), QStringLiteral("--point"), series1Point,
                     QStringLiteral("--password"), QStringLiteral("9999")});
    EXPECT_EQ(wrongPassword.code, 3) << wrongPassword.all().toStdString();
    EXPECT_FALSE(wrongPassword.err.trimmed().isEmpty());
    EXPECT_FALSE(wrongPassword.all().contains(QStringLiteral("ПАРАМЕТРЫ ЗАПИСАНЫ")));

    // A registered point whose parameter file has gone, and a point nobody registered.
    const QString file = inst.home() + QStringLiteral("/Param/p_") + series1Point + QStringLiteral(".000");
    ASSERT_TRUE(QFile::rename(file, inst.scratch(QStringLiteral("aside.000"))));
    for (const QString& point : {series1Point, QStringLiteral("R99999")}) {
        const Result noFile = inst.onLine({QStringLiteral("program"), QStringLiteral("--point"), point,
                                           QStringLiteral("--password"), QStringLiteral("6666")});
        EXPECT_NE(noFile.code, 0) << point.toStdString();
        EXPECT_FALSE(noFile.err.trimmed().isEmpty()) << point.toStdString();
        EXPECT_FALSE(noFile.all().contains(QStringLiteral("ПАРАМЕТРЫ ЗАПИСАНЫ")));
    }

    const Result otherKind = inst.onLine({QStringLiteral("program"), QStringLiteral("--point"), series2Point,
                                          QStringLiteral("--password"), QStringLiteral("6666")});
    EXPECT_EQ(otherKind.code, 3) << otherKind.all().toStdString();
    EXPECT_TRUE(otherKind.all().contains(QStringLiteral("Несовпали типы корректоров!!!!")))
        << otherKind.all().toStdString();
    EXPECT_FALSE(otherKind.all().contains(QStringLiteral("ПАРАМЕТРЫ ЗАПИСАНЫ")));

    const std::optional<QJsonObject> dump = inst.finishCorrector();
    ASSERT_TRUE(dump);
    EXPECT_EQ(wordsOf(*dump), *pristine);
    EXPECT_EQ(qint64(dump->value(QStringLiteral("clockOffsetSec")).toDouble()), 0);
}

// ---------------------------------------------------------------- coefficient tables

void writeLines(const QString& path, const QStringList& lines) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    for (const QString& l : lines)
        f.write(l.toLatin1() + "\r\n");
}

// After a table write: the word of each of the 36 cells holds what its line gave, every other word of
// the 185 what the corrector held before.
void expectTableWritten(const QStringList& after, const QList<int>& wordOfLine,
                        const std::function<QString(int)>& cellWord, const QStringList& before) {
    for (int i = 0; i < 36; ++i)
        EXPECT_EQ(after[wordOfLine[i]], cellWord(i)) << "line " << i + 1;
    for (int i = 0; i < 185; ++i)
        if (!wordOfLine.contains(i)) {
            EXPECT_EQ(after[i], before[i]) << "word " << i;
        }
}

// The meter table: read into a "*.whi" file laid out as the window's cells, written back changed, and the
// corrector holds exactly what was written; words 153..156 are never touched.
TEST(MeterCoefficients, ReadShowWriteBack) {
    const std::optional<QStringList> pristine = pristineWords({QStringLiteral("meter-coef"), 24});
    ASSERT_TRUE(pristine && pristine->size() == 185);
    const QStringList& p = *pristine;
    // Word of each "*.whi" line: the constants, Ref and Kq of points 1..7, then of points 8..14.
    QList<int> wordOfLine;
    for (int k = 0; k < 8; ++k)
        wordOfLine.append(145 + k);
    for (int half = 0; half < 2; ++half) {
        for (int n = 0; n < 7; ++n)
            wordOfLine.append(157 + 14 * half + 2 * n); // Ref
        for (int n = 0; n < 7; ++n)
            wordOfLine.append(158 + 14 * half + 2 * n); // Kq
    }
    ASSERT_EQ(wordOfLine.size(), 36);

    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_TRUE(inst.startCorrector({QStringLiteral("meter-coef"), 24}));
    const QString whi = inst.scratch(QStringLiteral("meter.whi"));
    const Result read =
        inst.onLine({QStringLiteral("coef"), QStringLiteral("read"), QStringLiteral("--out"), whi});
    ASSERT_EQ(read.code, 0) << read.err.toStdString();
    bool crlf = false;
    const QStringList lines = fileLines(whi, &crlf);
    EXPECT_TRUE(crlf);
    ASSERT_EQ(lines.size(), 36);
    for (int i = 0; i < 36; ++i)
        EXPECT_EQ(lines[i], sixDigits(floatOf(p[wordOfLine[i]]))) << "line " << i + 1;

    // "coef show" of the file without a corrector.
    const Result show = inst.cli({QStringLiteral("coef"), QStringLiteral("show"), whi});
    ASSERT_EQ(show.code, 0) << show.err.toStdString();
    EXPECT_TRUE(show.out.contains(QStringLiteral("Коэффициент предварительного делителя: ") + lines[7]))
        << show.out.toStdString();
    EXPECT_TRUE(show.out.contains(QStringLiteral("Kq 14: ") + lines[35])) << show.out.toStdString();

    // A file with a cell that is no number is refused before anything is written.
    QStringList bad = lines;
    bad[20] = QStringLiteral("1,0x");
    const QString badPath = inst.scratch(QStringLiteral("bad.whi"));
    writeLines(badPath, bad);
    const Result refused =
        inst.onLine({QStringLiteral("coef"), QStringLiteral("write"), QStringLiteral("--file"), badPath,
                     QStringLiteral("--password"), QStringLiteral("7:7777")});
    EXPECT_EQ(refused.code, 2) << refused.all().toStdString();
    EXPECT_FALSE(refused.err.trimmed().isEmpty());

    // Changed values, written with the verifier's password.
    QStringList changed = lines;
    const QList<QPair<int, QString>> edits{
        {0, "0.0461"}, {7, "32"}, {8, "21000"}, {15, "1.0175"}, {35, "0.9971"}};
    for (const auto& [line, value] : edits)
        changed[line] = value;
    const QString changedPath = inst.scratch(QStringLiteral("changed.whi"));
    writeLines(changedPath, changed);
    const Result write =
        inst.onLine({QStringLiteral("coef"), QStringLiteral("write"), QStringLiteral("--file"), changedPath,
                     QStringLiteral("--password"), QStringLiteral("7:7777")});
    ASSERT_EQ(write.code, 0) << write.all().toStdString();

    const std::optional<QJsonObject> dump = inst.finishCorrector();
    ASSERT_TRUE(dump);
    const QStringList after = wordsOf(*dump);
    ASSERT_EQ(after.size(), 185);
    expectTableWritten(
        after, wordOfLine, [&](int i) { return floatHex(changed[i].toFloat()); }, p);
}

// A short file changes only the cells it has (the others keep the corrector's values), a long one gives
// no more than the table holds, runs of blanks in a line are not part of the value, and a write without
// the verifier's password is refused by the corrector before anything changes.
TEST(MeterCoefficients, FileLengthsAndPassword) {
    const std::optional<QStringList> pristine = pristineWords({QStringLiteral("meter-coef"), 24});
    ASSERT_TRUE(pristine && pristine->size() == 185);
    const QStringList& p = *pristine;
    QList<int> wordOfLine;
    for (int k = 0; k < 8; ++k)
        wordOfLine.append(145 + k);
    for (int half = 0; half < 2; ++half) {
        for (int n = 0; n < 7; ++n)
            wordOfLine.append(157 + 14 * half + 2 * n);
        for (int n = 0; n < 7; ++n)
            wordOfLine.append(158 + 14 * half + 2 * n);
    }
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_TRUE(inst.startCorrector({QStringLiteral("meter-coef"), 24}));

    // Twenty lines: the 8 constants, Ref 1..7 and Kq 1..5.
    QStringList twenty;
    for (int i = 0; i < 20; ++i)
        twenty.append(QString::number(1.5 + i));
    twenty[3] = QStringLiteral("  0.625  "); // blanks around the value
    const QString shortPath = inst.scratch(QStringLiteral("twenty.whi"));
    writeLines(shortPath, twenty);
    const Result noPassword =
        inst.onLine({QStringLiteral("coef"), QStringLiteral("write"), QStringLiteral("--file"), shortPath});
    EXPECT_EQ(noPassword.code, 3) << noPassword.all().toStdString();
    const Result write =
        inst.onLine({QStringLiteral("coef"), QStringLiteral("write"), QStringLiteral("--file"), shortPath,
                     QStringLiteral("--password"), QStringLiteral("7:7777")});
    ASSERT_EQ(write.code, 0) << write.all().toStdString();
    std::optional<QJsonObject> dump = inst.finishCorrector();
    ASSERT_TRUE(dump);
    QStringList after = wordsOf(*dump);
    ASSERT_EQ(after.size(), 185);
    for (int i = 0; i < 36; ++i) {
        const QString expected = i < 20 ? floatHex(twenty[i].trimmed().toFloat()) : p[wordOfLine[i]];
        EXPECT_EQ(after[wordOfLine[i]], expected) << "line " << i + 1;
    }

    // Forty lines: the four beyond the table change nothing.
    ASSERT_TRUE(inst.startCorrector({QStringLiteral("meter-coef"), 24}));
    QStringList forty;
    for (int i = 0; i < 40; ++i)
        forty.append(QString::number(100 + i));
    const QString longPath = inst.scratch(QStringLiteral("forty.whi"));
    writeLines(longPath, forty);
    const Result longWrite =
        inst.onLine({QStringLiteral("coef"), QStringLiteral("write"), QStringLiteral("--file"), longPath,
                     QStringLiteral("--password"), QStringLiteral("7:7777")});
    ASSERT_EQ(longWrite.code, 0) << longWrite.all().toStdString();
    dump = inst.finishCorrector();
    ASSERT_TRUE(dump);
    after = wordsOf(*dump);
    ASSERT_EQ(after.size(), 185);
    expectTableWritten(
        after, wordOfLine, [](int i) { return floatHex(float(100 + i)); }, p);
}

// The calibration table: without permission a read is refused; with the verifier's password it is read
// into a "*.zib" file with the percentage column worked out from Kq, and a changed file is written back.
TEST(Calibration, ReadShowWriteBack) {
    const std::optional<QStringList> pristine = pristineWords({QStringLiteral("calib"), 24});
    ASSERT_TRUE(pristine && pristine->size() == 185);
    const QStringList& p = *pristine;
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_TRUE(inst.startCorrector({QStringLiteral("calib"), 24}));
    const QString zib = inst.scratch(QStringLiteral("calib.zib"));
    const Result unpermitted =
        inst.onLine({QStringLiteral("coef"), QStringLiteral("read"), QStringLiteral("--out"), zib});
    EXPECT_NE(unpermitted.code, 0);
    EXPECT_FALSE(QFileInfo::exists(zib));

    const Result read = inst.onLine({QStringLiteral("coef"), QStringLiteral("read"), QStringLiteral("--out"),
                                     zib, QStringLiteral("--password"), QStringLiteral("7:7777")});
    ASSERT_EQ(read.code, 0) << read.err.toStdString();
    bool crlf = false;
    const QStringList lines = fileLines(zib, &crlf);
    EXPECT_TRUE(crlf);
    ASSERT_EQ(lines.size(), 42);
    // Point p: Qw = word 157 + 2(p - 1), Kq = word 158 + 2(p - 1).
    for (int half = 0; half < 2; ++half) {
        for (int n = 0; n < 7; ++n) {
            const int point = 7 * half + n + 1;
            const float qw = floatOf(p[157 + 2 * (point - 1)]);
            const float kq = floatOf(p[158 + 2 * (point - 1)]);
            const int base = 21 * half;
            EXPECT_EQ(lines[base + n], sixDigits(qw)) << "Qw " << point;
            EXPECT_EQ(lines[base + 7 + n], sixDigits(kq)) << "Kq " << point;
            EXPECT_EQ(lines[base + 14 + n], trimmedNumber((double(kq) - 1.0) * 100.0, 4)) << "% " << point;
        }
    }

    QStringList changed = lines;
    changed[0] = QStringLiteral("9.5");     // Qw 1
    changed[7] = QStringLiteral("1.015");   // Kq 1
    changed[35] = QStringLiteral("0.9875"); // Kq 14
    const QString changedPath = inst.scratch(QStringLiteral("changed.zib"));
    writeLines(changedPath, changed);
    const Result write =
        inst.onLine({QStringLiteral("coef"), QStringLiteral("write"), QStringLiteral("--file"), changedPath,
                     QStringLiteral("--password"), QStringLiteral("7:7777")});
    ASSERT_EQ(write.code, 0) << write.all().toStdString();
    const std::optional<QJsonObject> dump = inst.finishCorrector();
    ASSERT_TRUE(dump);
    const QStringList after = wordsOf(*dump);
    ASSERT_EQ(after.size(), 185);
    QSet<int> table;
    for (int half = 0; half < 2; ++half)
        for (int n = 0; n < 7; ++n) {
            const int point = 7 * half + n + 1;
            const int base = 21 * half;
            EXPECT_EQ(after[157 + 2 * (point - 1)], floatHex(changed[base + n].toFloat())) << "Qw " << point;
            EXPECT_EQ(after[158 + 2 * (point - 1)], floatHex(changed[base + 7 + n].toFloat()))
                << "Kq " << point;
            table << 157 + 2 * (point - 1) << 158 + 2 * (point - 1);
        }
    // The calibration flags (word 4, byte 1) record the permission the corrector gave; nothing else
    // outside the table may change.
    for (int b : {0, 2, 3})
        EXPECT_EQ(byteOf(after[4], b), byteOf(p[4], b)) << "word 4 byte " << b;
    for (int i = 0; i < 185; ++i)
        if (!table.contains(i) && i != 4) {
            EXPECT_EQ(after[i], p[i]) << "word " << i;
        }
}

} // namespace
