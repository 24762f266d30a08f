// Acceptance checks of what a metering engineer sets up before the first reading: a new installation and
// its folders, the link settings and their file, the language of the messages, the service codes, the
// ports a COM name stands for, the line options, and the address book that picks one corrector of several
// on a line. tarn-cli and corrector-sim run as processes only; every file the program writes is read back
// here byte by byte, and every expected value is worked out here from the rules a user is given.
#include "acceptance/AcceptanceReaders.h"
#include "support/CliRunner.h"
#include "support/SimProcess.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTime>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace {

const QString kSimProgram = QStringLiteral(TARN_SIM_PROGRAM);

// ---------------------------------------------------------------- bytes of the files

// Text to Windows-1251 for the letters these checks use: ASCII, the Cyrillic block and the Ukrainian
// letters outside it, the numero sign and the apostrophe.
QByteArray encodeCp1251(const QString& text) {
    static const QMap<char16_t, char> outsideTheBlock{
        {0x0401, char(0xA8)}, {0x0451, char(0xB8)}, {0x0404, char(0xAA)}, {0x0454, char(0xBA)},
        {0x0406, char(0xB2)}, {0x0456, char(0xB3)}, {0x0407, char(0xAF)}, {0x0457, char(0xBF)},
        {0x0490, char(0xA5)}, {0x0491, char(0xB4)}, {0x2116, char(0xB9)}, {0x2019, char(0x92)}};
    QByteArray out;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80)
            out.append(char(u));
        else if (u >= 0x0410 && u <= 0x044F)
            out.append(char(0xC0 + (u - 0x0410)));
        else
            out.append(outsideTheBlock.value(u, '?'));
    }
    return out;
}

// The lines of a file in which every line ends in CR LF. Nothing when a CR or an LF stands alone or the
// last line has no end: such a file would not read back line for line on the other side.
std::optional<QList<QByteArray>> crlfLines(const QByteArray& bytes) {
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes.at(i) == '\r') {
            if (i + 1 >= bytes.size() || bytes.at(i + 1) != '\n') return std::nullopt;
            lines.append(bytes.mid(start, i - start));
            start = i + 2;
            ++i;
        } else if (bytes.at(i) == '\n') {
            return std::nullopt;
        }
    }
    if (start != bytes.size()) return std::nullopt;
    return lines;
}

// The lines decoded from Windows-1251; nothing when the file is not CR LF throughout or holds the one
// byte that code page leaves undefined.
std::optional<QStringList> cp1251Lines(const QByteArray& bytes) {
    if (bytes.contains(char(0x98))) return std::nullopt;
    const std::optional<QList<QByteArray>> raw = crlfLines(bytes);
    if (!raw) return std::nullopt;
    QStringList lines;
    for (const QByteArray& line : *raw)
        lines.append(acceptance::fromCp1251(line));
    return lines;
}

// What a request carries in its first byte: the corrector's link address times two, plus the bits of the
// operation above and below it.
int addressOfRequest(const QByteArray& request) {
    return request.isEmpty() ? -1 : (quint8(request.at(0)) & 0x1E) >> 1;
}

// One request the simulated line received, from the simulator's log ("HH:mm:ss.zzz <- 06 00 20 D9").
struct ReceivedRequest {
    QTime at;
    QByteArray bytes;
};

QList<ReceivedRequest> requestsInSimulatorLog(const QByteArray& log) {
    QList<ReceivedRequest> requests;
    for (const QByteArray& line : log.split('\n')) {
        const QList<QByteArray> words = line.trimmed().split(' ');
        if (words.size() < 3 || words.at(1) != "<-") continue;
        ReceivedRequest r;
        r.at = QTime::fromString(QString::fromLatin1(words.at(0)), QStringLiteral("HH:mm:ss.zzz"));
        for (qsizetype i = 2; i < words.size(); ++i)
            r.bytes.append(char(words.at(i).toUInt(nullptr, 16)));
        requests.append(r);
    }
    return requests;
}

// ---------------------------------------------------------------- an installation and its line

using CliRun = tarn::test::CliResult;

class Installation {
public:
    Installation() {
        home_ = dir_.path() + QStringLiteral("/home");
        initRun_ = run({QStringLiteral("init")});
    }
    const CliRun& initRun() const { return initRun_; }
    bool initialised() const { return initRun_.code == 0; }
    QString home() const { return home_; }
    QString path(const QString& relative) const { return home_ + QLatin1Char('/') + relative; }
    QString scratch(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }

    void write(const QString& relative, const QByteArray& bytes) const {
        QDir().mkpath(QFileInfo(path(relative)).path());
        QFile f(path(relative));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << relative.toStdString();
        f.write(bytes);
    }
    std::optional<QByteArray> read(const QString& relative) const {
        QFile f(path(relative));
        if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
        return f.readAll();
    }
    bool exists(const QString& relative) const { return QFileInfo::exists(path(relative)); }

    CliRun run(const QStringList& args) const { return tarn::test::runCliIn(home_, args); }
    QJsonObject json(const QStringList& args) const {
        const CliRun r = run(args + QStringList{QStringLiteral("--json")});
        EXPECT_EQ(r.code, 0) << args.join(QLatin1Char(' ')).toStdString() << ": "
                             << r.errText().toStdString();
        return r.json();
    }

    // The simulator on a pseudo-terminal with the correctors of the presets given at their addresses,
    // logging what it receives; the line's device path, or nothing when it did not start.
    std::optional<QString> startLine(const QList<std::pair<int, QString>>& correctors) {
        QJsonArray devices;
        for (const auto& [address, preset] : correctors)
            devices.append(QJsonObject{{"role", "corrector"}, {"address", address}, {"preset", preset}});
        const QByteArray scenario = QJsonDocument(QJsonObject{{"devices", devices}}).toJson();
        const QString link = scratch(QStringLiteral("line"));
        sim_ = std::make_unique<tarn::test::SimProcess>();
        if (!sim_->start(kSimProgram, scratch(QStringLiteral("scenario.json")), scenario, link,
                         {QStringLiteral("--log"), scratch(QStringLiteral("line.log"))}))
            return std::nullopt;
        return link;
    }
    // Every request the line has received so far.
    QList<ReceivedRequest> requestsReceived() const {
        QFile f(scratch(QStringLiteral("line.log")));
        if (!f.open(QIODevice::ReadOnly)) return {};
        return requestsInSimulatorLog(f.readAll());
    }
    void mapPort(const QString& com, const QString& device) const {
        write(QStringLiteral("Work/PortMap.000"), (com + QLatin1Char(' ') + device).toLocal8Bit() + "\r\n");
    }

    // Every file of the installation with a hash of its bytes.
    QMap<QString, QByteArray> fileHashes() const {
        QMap<QString, QByteArray> hashes;
        QDirIterator it(home_, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            QFile f(file);
            if (f.open(QIODevice::ReadOnly))
                hashes.insert(QDir(home_).relativeFilePath(file),
                              QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256));
        }
        return hashes;
    }

private:
    QTemporaryDir dir_;
    QString home_;
    CliRun initRun_;
    std::unique_ptr<tarn::test::SimProcess> sim_;
};

QString text(const QJsonObject& o, const char* key) {
    return o.value(QLatin1String(key)).toString();
}

// ---------------------------------------------------------------- the settings a user is given

// The link settings file's lines as a new installation starts with them: format marker, the two ports,
// LPT1, 19200 bit/s, 6000 ms, 6 repeats, no read selection, LPT delay 0, no modem, 30 s hold, the modem
// string, LPT address 0378, every channel on, the unread "0", no synchronisation and no folder, the first
// driver, 20 ms write pause, reset after a failure.
const QStringList kDefaultSettingsLines{
    "Tarn-2.55", "COM1", "COM1", "LPT1",       "19200", "6000", "6", "0000000000000",
    "0",         "0",    "30",   "AT&FE0S0=0", "0378",  "0",    "0", "0",
    "0",         "0",    "",     "0",          "20",    "1"};

// Where each setting stands in the file (1-based), as its name is given to "settings set".
const QMap<QString, int> kSettingLine{
    {"corrPort", 2},       {"transferUnitPort", 3}, {"lptChoice", 4},     {"speed", 5},
    {"replyTimeoutMs", 6}, {"retryCount", 7},       {"readChoice", 8},    {"lptDelay", 9},
    {"modemUsed", 10},     {"modemHoldSec", 11},    {"modemInit", 12},    {"lptAddress", 13},
    {"rsOff", 14},         {"usbOff", 15},          {"lptOff", 16},       {"syncOn", 18},
    {"syncPath", 19},      {"secondDriver", 20},    {"writeDelayMs", 21}, {"resetOnFailure", 22}};

std::optional<QStringList> settingsFile(const Installation& inst) {
    const std::optional<QByteArray> bytes = inst.read(QStringLiteral("Work/FileInRS.000"));
    if (!bytes) return std::nullopt;
    return cp1251Lines(*bytes);
}

// ================================================================ a new installation

TEST(NewInstallation, LaysOutTheWorkingFoldersAndTheLanguageFile) {
    Installation inst;
    ASSERT_TRUE(inst.initialised()) << inst.initRun().errText().toStdString();

    // The folders next to the program that the other parts of the program read and write.
    const QStringList folders{"Work",    "Current", "Data",  "Doc",  "Group",    "Graph",   "Report",
                              "Text",    "Excel",   "Param", "Join", "pack",     "Synchr",  "Rebuild",
                              "Mail_BD", "Sound",   "BookQ", "Hour", "Day",      "Mon",     "Alarm",
                              "Chang",   "Oper",    "Spec",  "Meas", "Ques_CSV", "Stat_CSV"};
    for (const QString& folder : folders)
        EXPECT_TRUE(QFileInfo(inst.path(folder)).isDir()) << folder.toStdString();

    // The manual the help menu opens is a document of the installation.
    const std::optional<QByteArray> manual = inst.read(QStringLiteral("Doc/Tarn.pdf"));
    ASSERT_TRUE(manual);
    EXPECT_TRUE(manual->startsWith("%PDF-"));

    // The language starts as Ukrainian: one line "UA".
    const std::optional<QByteArray> language = inst.read(QStringLiteral("Work/Type_Leng.000"));
    ASSERT_TRUE(language);
    EXPECT_EQ(cp1251Lines(*language), QStringList{QStringLiteral("UA")}) << language->toStdString();

    // Every settings and definition file laid out in Work\ and Current\ is lines ended by CR LF.
    for (const QString& folder : {QStringLiteral("Work"), QStringLiteral("Current")}) {
        for (const QFileInfo& f : QDir(inst.path(folder)).entryInfoList(QDir::Files)) {
            const std::optional<QByteArray> bytes = inst.read(folder + QLatin1Char('/') + f.fileName());
            ASSERT_TRUE(bytes);
            EXPECT_TRUE(cp1251Lines(*bytes)) << f.fileName().toStdString();
        }
    }
    // A missing link settings file means the defaults; if one is laid out, it holds them.
    if (inst.exists(QStringLiteral("Work/FileInRS.000"))) {
        EXPECT_EQ(settingsFile(inst), kDefaultSettingsLines);
    }
}

TEST(NewInstallation, SecondInitLeavesTheInstallationsOwnFilesAlone) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    // What a user makes of an installation: settings, language, an address book, a port map, a probe count.
    ASSERT_EQ(inst.run({"settings", "set", "retryCount=3", "speed=9600", "corrPort=COM4"}).code, 0);
    ASSERT_EQ(inst.run({"settings", "language", "RU"}).code, 0);
    inst.write(QStringLiteral("Work/FlAdrCr.000"), encodeCp1251(QStringLiteral("3 // котельня\r\n")));
    inst.write(QStringLiteral("Work/PortMap.000"), "COM4 /dev/ttyUSB7\r\n");
    inst.write(QStringLiteral("Work/Q_RS.000"), "8\r\n");
    inst.write(QStringLiteral("Group/own.txt"), "kept\r\n");
    const QMap<QString, QByteArray> before = inst.fileHashes();

    const CliRun again = inst.run({QStringLiteral("init")});
    EXPECT_EQ(again.code, 0) << again.errText().toStdString();
    const QMap<QString, QByteArray> after = inst.fileHashes();
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        EXPECT_EQ(after.value(it.key()), it.value()) << it.key().toStdString() << " changed or went";
    const std::optional<QStringList> settings = settingsFile(inst);
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->value(6), QStringLiteral("3"));
    EXPECT_EQ(inst.read(QStringLiteral("Work/Type_Leng.000")), QByteArray("RU\r\n"));
}

// ================================================================ the link settings

TEST(LinkSettings, DefaultsAreTheListedOnes) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    for (const char* verb : {"show", "defaults"}) {
        SCOPED_TRACE(verb);
        const QJsonObject s = inst.json({QStringLiteral("settings"), QString::fromLatin1(verb)});
        QStringList lines;
        for (const QJsonValue& v : s.value(QStringLiteral("lines")).toArray())
            lines.append(v.toString());
        EXPECT_EQ(lines, kDefaultSettingsLines);
        // Each named value is the one on its line.
        for (auto it = kSettingLine.cbegin(); it != kSettingLine.cend(); ++it)
            EXPECT_EQ(s.value(it.key()).toString(), kDefaultSettingsLines.at(it.value() - 1))
                << it.key().toStdString();
        EXPECT_EQ(s.value(QStringLiteral("baudRate")).toInt(), 19200);
    }
    // Showing the defaults writes nothing.
    EXPECT_FALSE(inst.exists(QStringLiteral("Work/FileInRS.000")));
}

TEST(LinkSettings, ValuesSetAreWrittenOnTheirLinesInWindows1251) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    const QMap<QString, QString> values{{"corrPort", "COM7"},
                                        {"transferUnitPort", "COM12"},
                                        {"lptChoice", "LPT?"},
                                        {"speed", "230Kбод"},
                                        {"replyTimeoutMs", "1500"},
                                        {"retryCount", "9"},
                                        {"readChoice", "1010000000011"},
                                        {"lptDelay", "3"},
                                        {"modemUsed", "1"},
                                        {"modemHoldSec", "45"},
                                        {"modemInit", "ATZ"},
                                        {"lptAddress", "03BC"},
                                        {"rsOff", "1"},
                                        {"usbOff", "1"},
                                        {"lptOff", "1"},
                                        {"syncOn", "1"},
                                        {"syncPath", "D:\\Синхр їжак"},
                                        {"secondDriver", "1"},
                                        {"writeDelayMs", "40"},
                                        {"resetOnFailure", "0"}};
    QStringList args{QStringLiteral("settings"), QStringLiteral("set")};
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        args.append(it.key() + QLatin1Char('=') + it.value());
    const CliRun set = inst.run(args);
    ASSERT_EQ(set.code, 0) << set.errText().toStdString();

    const std::optional<QByteArray> bytes = inst.read(QStringLiteral("Work/FileInRS.000"));
    ASSERT_TRUE(bytes);
    const std::optional<QStringList> lines = cp1251Lines(*bytes);
    ASSERT_TRUE(lines) << "not CR LF throughout";
    ASSERT_EQ(lines->size(), 22);
    EXPECT_EQ(lines->at(0), QStringLiteral("Tarn-2.55"));
    EXPECT_EQ(lines->at(16), QStringLiteral("0"));
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        EXPECT_EQ(lines->at(kSettingLine.value(it.key()) - 1), it.value()) << it.key().toStdString();
    // The Cyrillic of the speed and the folder is in Windows-1251, not UTF-8.
    EXPECT_TRUE(bytes->contains(encodeCp1251(QStringLiteral("230Kбод\r\n"))));
    EXPECT_TRUE(bytes->contains(encodeCp1251(QStringLiteral("D:\\Синхр їжак\r\n"))));

    // One value set later changes its own line only (synchronisation aside: reading the file never
    // ticks it, so the next save writes it off).
    ASSERT_EQ(inst.run({"settings", "set", "retryCount=4"}).code, 0);
    const std::optional<QStringList> later = settingsFile(inst);
    ASSERT_TRUE(later);
    ASSERT_EQ(later->size(), 22);
    for (int i = 0; i < 22; ++i) {
        if (i == 6)
            EXPECT_EQ(later->at(i), QStringLiteral("4"));
        else if (i == 17)
            EXPECT_EQ(later->at(i), QStringLiteral("0"));
        else
            EXPECT_EQ(later->at(i), lines->at(i)) << "line " << i + 1;
    }
}

TEST(LinkSettings, LptChoiceIsOneOfItsButtonsOrNothing) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    // The four buttons are written by their names; a name of no button leaves none chosen, an empty line.
    for (const auto& [given, written] : QList<std::pair<QString, QString>>{{"LPT2", "LPT2"},
                                                                           {"LPT3", "LPT3"},
                                                                           {"LPT?", "LPT?"},
                                                                           {"LPT1", "LPT1"},
                                                                           {"LPT4", ""},
                                                                           {"", ""}}) {
        SCOPED_TRACE(given.toStdString());
        ASSERT_EQ(inst.run({QStringLiteral("settings"), QStringLiteral("set"),
                            QStringLiteral("lptChoice=") + given})
                      .code,
                  0);
        const std::optional<QStringList> lines = settingsFile(inst);
        ASSERT_TRUE(lines);
        ASSERT_EQ(lines->size(), 22);
        EXPECT_EQ(lines->at(3), written);
    }
    // With no verb the settings are shown.
    EXPECT_EQ(inst.json({"settings"}), inst.json({"settings", "show"}));
}

TEST(LinkSettings, RangeEndsAreWrittenAsGiven) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_EQ(inst.run({"settings", "set", "replyTimeoutMs=0", "writeDelayMs=1000", "retryCount=250"}).code,
              0);
    std::optional<QStringList> lines = settingsFile(inst);
    ASSERT_TRUE(lines);
    EXPECT_EQ(lines->value(5), QStringLiteral("0"));
    EXPECT_EQ(lines->value(20), QStringLiteral("1000"));
    EXPECT_EQ(lines->value(6), QStringLiteral("250"));
    ASSERT_EQ(inst.run({"settings", "set", "replyTimeoutMs=10000", "writeDelayMs=0", "retryCount=1"}).code,
              0);
    lines = settingsFile(inst);
    ASSERT_TRUE(lines);
    EXPECT_EQ(lines->value(5), QStringLiteral("10000"));
    EXPECT_EQ(lines->value(20), QStringLiteral("0"));
    EXPECT_EQ(lines->value(6), QStringLiteral("1"));
}

TEST(LinkSettings, UnknownNameIsRefusedWithNothingWritten) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    // No file yet: none is made.
    CliRun r = inst.run({"settings", "set", "retryCount=7", "retries=7"});
    EXPECT_EQ(r.code, 2);
    EXPECT_FALSE(inst.exists(QStringLiteral("Work/FileInRS.000")));
    // A file there: left as it was, the good value beside the bad name included.
    ASSERT_EQ(inst.run({"settings", "set", "retryCount=5"}).code, 0);
    const std::optional<QByteArray> before = inst.read(QStringLiteral("Work/FileInRS.000"));
    r = inst.run({"settings", "set", "retryCount=7", "bogus=1"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.out.isEmpty());
    ASSERT_TRUE(before);
    EXPECT_EQ(settingsFile(inst), cp1251Lines(*before));
    EXPECT_EQ(inst.read(QStringLiteral("Work/FileInRS.000"))->size(), before->size());
}

// A value outside the range of its spin box, no number at all, or a switch other than "0"/"1" is refused
// as an unknown name is, or as "--address 15" is, and nothing is written: an engineer scripting the
// settings must learn of the mistake, not find the nearest end written.
TEST(LinkSettings, ValueOutsideItsRangeIsRefusedWithNothingWritten) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_EQ(inst.run({"settings", "set", "replyTimeoutMs=1500", "retryCount=9", "writeDelayMs=30"}).code,
              0);
    const std::optional<QByteArray> before = inst.read(QStringLiteral("Work/FileInRS.000"));
    ASSERT_TRUE(before);
    for (const char* bad :
         {"replyTimeoutMs=10001", "replyTimeoutMs=-1", "replyTimeoutMs=abc", "retryCount=0", "retryCount=251",
          "writeDelayMs=1001", "writeDelayMs=-5", "modemUsed=yes", "resetOnFailure=2"}) {
        SCOPED_TRACE(bad);
        inst.write(QStringLiteral("Work/FileInRS.000"), *before);
        const CliRun r =
            inst.run({QStringLiteral("settings"), QStringLiteral("set"), QString::fromLatin1(bad)});
        EXPECT_NE(r.code, 0);
        EXPECT_EQ(settingsFile(inst), cp1251Lines(*before));
    }
}

TEST(LinkSettings, ReadingCollapsesBlanksAndNeverTicksSynchronisation) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    // A file as another installation or a hand edit leaves it: doubled blanks, blanks around flags and in
    // the LPT address, synchronisation on, and a line too many.
    const QStringList file{"Tarn-2.55", "COM5", "COM6",   "LPT?",     "9600",  "1000", "4",   "1111111111111",
                           "5",         " 1 ",  "45",     "AT  Z  1", "03 BC", "1",    "0",   "1",
                           "0",         "1",    "/x   y", "1",        "40",    "0",    "more"};
    inst.write(QStringLiteral("Work/FileInRS.000"), encodeCp1251(file.join(QStringLiteral("\r\n")) + "\r\n"));
    const QJsonObject s = inst.json({"settings", "show"});
    EXPECT_EQ(text(s, "corrPort"), QStringLiteral("COM5"));
    EXPECT_EQ(text(s, "transferUnitPort"), QStringLiteral("COM6"));
    EXPECT_EQ(text(s, "lptChoice"), QStringLiteral("LPT?"));
    EXPECT_EQ(text(s, "speed"), QStringLiteral("9600"));
    EXPECT_EQ(text(s, "replyTimeoutMs"), QStringLiteral("1000"));
    EXPECT_EQ(text(s, "retryCount"), QStringLiteral("4"));
    EXPECT_EQ(text(s, "readChoice"), QStringLiteral("1111111111111"));
    EXPECT_EQ(text(s, "lptDelay"), QStringLiteral("5"));
    EXPECT_EQ(text(s, "modemUsed"), QStringLiteral("1"));
    EXPECT_EQ(text(s, "modemHoldSec"), QStringLiteral("45"));
    EXPECT_EQ(text(s, "modemInit"), QStringLiteral("AT Z 1"));
    EXPECT_EQ(text(s, "lptAddress"), QStringLiteral("03BC"));
    EXPECT_EQ(text(s, "rsOff"), QStringLiteral("1"));
    EXPECT_EQ(text(s, "usbOff"), QStringLiteral("0"));
    EXPECT_EQ(text(s, "lptOff"), QStringLiteral("1"));
    EXPECT_EQ(text(s, "syncOn"), QStringLiteral("0"));
    EXPECT_EQ(text(s, "syncPath"), QStringLiteral("/x y"));
    EXPECT_EQ(text(s, "secondDriver"), QStringLiteral("1"));
    EXPECT_EQ(text(s, "writeDelayMs"), QStringLiteral("40"));
    EXPECT_EQ(text(s, "resetOnFailure"), QStringLiteral("0"));
    EXPECT_EQ(s.value(QStringLiteral("lines")).toArray().size(), 22);
}

TEST(LinkSettings, ShortFileLeavesTheRestAtTheirDefaults) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    inst.write(QStringLiteral("Work/FileInRS.000"), "Tarn-2.55\r\nCOM5\r\nCOM6\r\nLPT2\r\n4800\r\n");
    const QJsonObject s = inst.json({"settings", "show"});
    QStringList expected = kDefaultSettingsLines;
    expected[1] = QStringLiteral("COM5");
    expected[2] = QStringLiteral("COM6");
    expected[3] = QStringLiteral("LPT2");
    expected[4] = QStringLiteral("4800");
    QStringList lines;
    for (const QJsonValue& v : s.value(QStringLiteral("lines")).toArray())
        lines.append(v.toString());
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(s.value(QStringLiteral("baudRate")).toInt(), 4800);
}

TEST(LinkSettings, OutdatedFileIsDeletedWithItsCompanionsAndTheDefaultsApply) {
    struct Case {
        const char* marker;
        bool questionBookGoes; // the oldest formats take the question book's tables with them
    };
    for (const Case& c : {Case{"Tarn-1.00", true}, Case{"Tarn-1.01", true}, Case{"Tarn-2.54", false}}) {
        SCOPED_TRACE(c.marker);
        Installation inst;
        ASSERT_TRUE(inst.initialised());
        inst.write(QStringLiteral("Work/FileInRS.000"), QByteArray(c.marker) + "\r\nCOM5\r\nCOM6\r\n");
        inst.write(QStringLiteral("Current/report.000"), "x\r\n");
        inst.write(QStringLiteral("Work/Tuning.000"), "x\r\n");
        inst.write(QStringLiteral("BookQ/q_1.db"), "x");
        inst.write(QStringLiteral("BookQ/q_1.val"), "x");
        inst.write(QStringLiteral("BookQ/notes.txt"), "x");

        const QJsonObject s = inst.json({"settings", "show"});
        EXPECT_EQ(text(s, "corrPort"), QStringLiteral("COM1"));
        EXPECT_FALSE(inst.exists(QStringLiteral("Work/FileInRS.000")));
        EXPECT_FALSE(inst.exists(QStringLiteral("Current/report.000")));
        EXPECT_FALSE(inst.exists(QStringLiteral("Work/Tuning.000")));
        EXPECT_EQ(inst.exists(QStringLiteral("BookQ/q_1.db")), !c.questionBookGoes);
        EXPECT_EQ(inst.exists(QStringLiteral("BookQ/q_1.val")), !c.questionBookGoes);
        EXPECT_TRUE(inst.exists(QStringLiteral("BookQ/notes.txt")));
    }
}

TEST(LinkSettings, UnreadableFileLeavesTheDefaultsAndTheFileAsItIs) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    // A folder where the file should be stands for a file that cannot be read.
    ASSERT_TRUE(QDir().mkpath(inst.path(QStringLiteral("Work/FileInRS.000"))));
    inst.write(QStringLiteral("Work/Tuning.000"), "kept\r\n");
    const CliRun r = inst.run({"settings", "show", "--json"});
    ASSERT_EQ(r.code, 0) << r.errText().toStdString();
    EXPECT_EQ(text(r.json(), "replyTimeoutMs"), QStringLiteral("6000"));
    const QString warning = r.errText();
    EXPECT_TRUE(warning.contains(QStringLiteral("Файл налаштувань "))) << warning.toStdString();
    EXPECT_TRUE(warning.contains(QStringLiteral(
        "не вдається прочитати: до кінця роботи діють типові налаштування, файл залишено як є.")))
        << warning.toStdString();
    EXPECT_TRUE(QFileInfo(inst.path(QStringLiteral("Work/FileInRS.000"))).isDir());
    EXPECT_EQ(inst.read(QStringLiteral("Work/Tuning.000")), QByteArray("kept\r\n"));
}

// ================================================================ service levels

TEST(ServiceLevel, TheTwoCodesOpenTheirLevelsAndNothingIsKept) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    ASSERT_EQ(inst.run({"settings", "set", "retryCount=5"}).code, 0);
    const QMap<QString, QByteArray> before = inst.fileHashes();
    const QList<std::pair<QString, int>> codes{{"517", 1},  {"942", 5},  {"", 0},     {"000", 0},
                                               {"5170", 0}, {" 517", 0}, {"942 ", 0}, {"951", 0}};
    for (const auto& [code, level] : codes) {
        SCOPED_TRACE(code.toStdString());
        const CliRun r = inst.run(
            {QStringLiteral("settings"), QStringLiteral("service-level"), code, QStringLiteral("--json")});
        ASSERT_EQ(r.code, 0) << r.errText().toStdString();
        EXPECT_EQ(r.json().value(QStringLiteral("serviceLevel")).toInt(-1), level);
    }
    // The code is not stored: no file of the installation changed.
    EXPECT_EQ(inst.fileHashes(), before);
}

// ================================================================ language

// The language a command speaks, seen through the address book's refusal of an entry that is no address.
QByteArray refusalOfNoAddress(const Installation& inst) {
    return inst.run({"--address-book", "нема", "identify"}).err;
}

const QByteArray kRefusalUa = QStringLiteral("Адреса коректора визначено неправильно !!!").toUtf8();
const QByteArray kRefusalRu = QStringLiteral("Адрес корректора определен неверно !!!").toUtf8();

TEST(Language, TheFilesLastLineDecidesAndOnlyRuIsRussian) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    struct Case {
        const char* name;
        std::optional<QByteArray> file; // nothing: no file
        const char* language;
    };
    const QList<Case> cases{{"RU", QByteArray("RU\r\n"), "RU"},
                            {"UA then RU", QByteArray("UA\r\nRU\r\n"), "RU"},
                            {"RU then UA", QByteArray("RU\r\nUA\r\n"), "UA"},
                            {"lower case", QByteArray("ru\r\n"), "UA"},
                            {"empty line", QByteArray("\r\n"), "UA"},
                            {"empty file", QByteArray(), "UA"},
                            {"missing file", std::nullopt, "UA"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(inst.path(QStringLiteral("Work/Type_Leng.000")));
        if (c.file) inst.write(QStringLiteral("Work/Type_Leng.000"), *c.file);
        const QJsonObject s = inst.json({"settings", "language"});
        EXPECT_EQ(text(s, "language"), QString::fromLatin1(c.language));
        const QByteArray refusal = refusalOfNoAddress(inst);
        const bool russian = QByteArray(c.language) == "RU";
        EXPECT_TRUE(refusal.contains(russian ? kRefusalRu : kRefusalUa)) << refusal.toStdString();
        EXPECT_FALSE(refusal.contains(russian ? kRefusalUa : kRefusalRu)) << refusal.toStdString();
    }
    // "--lang" speaks for one run over the file.
    inst.write(QStringLiteral("Work/Type_Leng.000"), "UA\r\n");
    EXPECT_TRUE(inst.run({"--lang", "ru", "--address-book", "нема", "identify"}).err.contains(kRefusalRu));
    inst.write(QStringLiteral("Work/Type_Leng.000"), "RU\r\n");
    EXPECT_TRUE(inst.run({"--lang", "ua", "--address-book", "нема", "identify"}).err.contains(kRefusalUa));
    EXPECT_EQ(inst.read(QStringLiteral("Work/Type_Leng.000")), QByteArray("RU\r\n"));
}

TEST(Language, ChoosingWritesOneLineAsTyped) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    for (const char* typed : {"RU", "ru", "UA", "XX"}) {
        SCOPED_TRACE(typed);
        ASSERT_EQ(
            inst.run({QStringLiteral("settings"), QStringLiteral("language"), QString::fromLatin1(typed)})
                .code,
            0);
        EXPECT_EQ(inst.read(QStringLiteral("Work/Type_Leng.000")), QByteArray(typed) + "\r\n");
        // Anything but "RU" is Ukrainian at the next start.
        EXPECT_EQ(text(inst.json({"settings", "language"}), "language"),
                  QByteArray(typed) == "RU" ? QStringLiteral("RU") : QStringLiteral("UA"));
    }
}

TEST(Language, PortWindowLinesInUkrainianAndRussian) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    const std::optional<QString> line = inst.startLine({{1, QStringLiteral("series1")}});
    ASSERT_TRUE(line);
    inst.mapPort(QStringLiteral("COM3"), *line);
    ASSERT_EQ(inst.run({"settings", "set", "corrPort=COM3", "speed=9600"}).code, 0);

    CliRun r = inst.run({"port", "open"});
    ASSERT_EQ(r.code, 0) << r.errText().toStdString();
    EXPECT_EQ(
        r.out,
        QStringLiteral("Адреса коректора:1\nНомер COM - порту:COM3\nШвидкість (біт/сек):9600\n").toUtf8());

    inst.write(QStringLiteral("Work/Type_Leng.000"), "RU\r\n");
    r = inst.run({"--address", "7", "port", "open"});
    ASSERT_EQ(r.code, 0) << r.errText().toStdString();
    EXPECT_EQ(r.out,
              QStringLiteral("Адрес корректрора : 7\nНомер  COM - порта: COM3\nСкорость (бит/сек): 9600\n")
                  .toUtf8());
}

// ================================================================ ports and line options

// A COM port that neither the port map nor the machine has: its device stand-in /dev/ttyS(n-1) is absent.
std::optional<QString> comPortWithoutDevice() {
    for (int n = 99; n >= 2; --n)
        if (!QFileInfo::exists(QStringLiteral("/dev/ttyS%1").arg(n - 1)))
            return QStringLiteral("COM%1").arg(n);
    return std::nullopt;
}

TEST(Ports, ComNameMappedToTheLineReachesTheCorrector) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    const std::optional<QString> line = inst.startLine({{1, QStringLiteral("series1")}});
    ASSERT_TRUE(line);
    inst.mapPort(QStringLiteral("COM3"), *line);

    CliRun r = inst.run({"--port", "COM3", "identify"});
    ASSERT_EQ(r.code, 0) << r.errText().toStdString();
    EXPECT_TRUE(r.outText().contains(QStringLiteral("series-1"))) << r.outText().toStdString();
    const qsizetype heard = inst.requestsReceived().size();
    EXPECT_GT(heard, 0);

    // The same port taken from the settings, and the device named directly.
    ASSERT_EQ(inst.run({"settings", "set", "corrPort=COM3"}).code, 0);
    r = inst.run({"identify"});
    EXPECT_EQ(r.code, 0) << r.errText().toStdString();
    r = inst.run({QStringLiteral("--port"), *line, QStringLiteral("identify")});
    EXPECT_EQ(r.code, 0) << r.errText().toStdString();
    EXPECT_GT(inst.requestsReceived().size(), heard);
}

// A command on a port that is not there, in both languages: exit 1 with a message in the installation's
// language that names the port at its end, a different message in each language, nothing sent.
void expectMissingPortRefused(Installation& inst, const QString& port, const QStringList& command) {
    SCOPED_TRACE((port + QLatin1Char(' ') + command.join(QLatin1Char(' '))).toStdString());
    QStringList messages;
    for (const char* language : {"UA", "RU"}) {
        SCOPED_TRACE(language);
        inst.write(QStringLiteral("Work/Type_Leng.000"), QByteArray(language) + "\r\n");
        const CliRun r = inst.run(QStringList{QStringLiteral("--port"), port} + command);
        EXPECT_EQ(r.code, 1);
        const QString message = r.errText().trimmed();
        EXPECT_TRUE(message.endsWith(port)) << message.toStdString();
        EXPECT_TRUE(message.contains(QRegularExpression(QStringLiteral("[А-Яа-яІіЇїЄє]"))))
            << message.toStdString();
        messages.append(message);
    }
    EXPECT_NE(messages.value(0).toStdString(), messages.value(1).toStdString());
    EXPECT_TRUE(inst.requestsReceived().isEmpty());
}

TEST(Ports, UnmappedOrMissingPortFailsNamingThePort) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    const std::optional<QString> line = inst.startLine({{1, QStringLiteral("series1")}});
    ASSERT_TRUE(line);
    const std::optional<QString> unmapped = comPortWithoutDevice();
    if (!unmapped) GTEST_SKIP() << "every /dev/ttyS1..98 exists here";
    // COM3 is mapped to a device that is not there; the free port is in no map.
    inst.mapPort(QStringLiteral("COM3"), inst.scratch(QStringLiteral("gone")));
    for (const QString& port : {QStringLiteral("COM3"), *unmapped}) {
        for (const QStringList& command : QList<QStringList>{{"identify"}, {"params"}, {"read"}})
            expectMissingPortRefused(inst, port, command);
        // Nor does a command that would read say anything on standard output.
        EXPECT_TRUE(inst.run({QStringLiteral("--port"), port, QStringLiteral("identify")}).out.isEmpty());
    }
}

// The port window's command names a missing port in the installation's language, as every other command
// does.
TEST(Ports, PortWindowNamesAMissingPortInTheInstallationsLanguage) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    const std::optional<QString> line = inst.startLine({{1, QStringLiteral("series1")}});
    ASSERT_TRUE(line);
    inst.mapPort(QStringLiteral("COM3"), inst.scratch(QStringLiteral("gone")));
    expectMissingPortRefused(inst, QStringLiteral("COM3"), {QStringLiteral("port"), QStringLiteral("open")});
}

TEST(Ports, ListHoldsTheMappedPortsUpToTheProbeCount) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    const std::optional<QString> line = inst.startLine({{1, QStringLiteral("series1")}});
    ASSERT_TRUE(line);
    inst.write(
        QStringLiteral("Work/PortMap.000"),
        ("COM3 " + *line + "\r\nCOM7 " + *line + "\r\nCOM9 " + inst.scratch("gone") + "\r\n").toLocal8Bit());
    struct Case {
        const char* name;
        std::optional<QByteArray> probeCount; // Work/Q_RS.000, nothing: no file
        int probed;
    };
    const QList<Case> cases{{"no file", std::nullopt, 50},
                            {"five", QByteArray("5\r\n"), 5},
                            {"eight", QByteArray("8\r\n"), 8},
                            {"last good line", QByteArray("8\r\n100\r\n"), 8},
                            {"zero and text", QByteArray("2\r\n0\r\nabc\r\n"), 2},
                            {"blanks removed", QByteArray(" 1 0 \r\n"), 10},
                            {"nothing good", QByteArray("0\r\n"), 50}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(inst.path(QStringLiteral("Work/Q_RS.000")));
        if (c.probeCount) inst.write(QStringLiteral("Work/Q_RS.000"), *c.probeCount);
        const QJsonObject answer = inst.json({"settings", "ports"});
        EXPECT_EQ(answer.value(QStringLiteral("probed")).toInt(), c.probed);
        QStringList ports;
        for (const QJsonValue& v : answer.value(QStringLiteral("ports")).toArray())
            ports.append(v.toString());
        EXPECT_EQ(ports.contains(QStringLiteral("COM3")), c.probed >= 3);
        EXPECT_EQ(ports.contains(QStringLiteral("COM7")), c.probed >= 7);
        EXPECT_FALSE(ports.contains(QStringLiteral("COM9")));
        for (const QString& p : ports)
            EXPECT_LE(p.mid(3).toInt(), c.probed) << p.toStdString();
    }
}

TEST(Ports, SpeedTextsChooseTheirRates) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    const std::optional<QString> line = inst.startLine({{1, QStringLiteral("series1")}});
    ASSERT_TRUE(line);
    inst.mapPort(QStringLiteral("COM3"), *line);
    ASSERT_EQ(inst.run({"settings", "set", "corrPort=COM3", "speed=57600"}).code, 0);
    EXPECT_EQ(inst.json({"port", "open"}).value(QStringLiteral("baudRate")).toInt(), 57600);
    // The file keeps the speed as it was typed; the blanks go only when the text is compared.
    ASSERT_EQ(inst.run({"settings", "set", "speed=38 400"}).code, 0);
    const std::optional<QStringList> settings = settingsFile(inst);
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->value(4), QStringLiteral("38 400"));
    EXPECT_EQ(inst.json({"port", "open"}).value(QStringLiteral("baudRate")).toInt(), 38400);
    // Spaces removed before the text is compared; the three custom rates by their texts; anything else
    // leaves the port at 9600 bit/s.
    const QList<std::pair<QString, int>> speeds{
        {"1200", 1200},      {"2400", 2400},      {"4800", 4800},      {"9600", 9600},
        {"19200", 19200},    {"38400", 38400},    {"115200", 115200},  {"19 200", 19200},
        {" 1 2 0 0 ", 1200}, {"230Kбод", 230000}, {"460Кбод", 460000}, {"921Кбод", 921000},
        {"230000", 9600},    {"abc", 9600},       {"19200бод", 9600},  {"", 9600}};
    for (const auto& [speed, rate] : speeds) {
        SCOPED_TRACE(speed.toStdString());
        const QJsonObject opened =
            inst.json({QStringLiteral("--speed"), speed, QStringLiteral("port"), QStringLiteral("open")});
        EXPECT_EQ(opened.value(QStringLiteral("baudRate")).toInt(), rate);
        EXPECT_TRUE(opened.value(QStringLiteral("open")).toBool());
    }
}

// The three custom rates are known by their texts, a Latin K in the first and a Cyrillic К in the other
// two; the two letters look alike, and either one typed in each gives its rate, not a silent 9600 bit/s.
TEST(Ports, CustomRateTextTakesEitherLetterK) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    const std::optional<QString> line = inst.startLine({{1, QStringLiteral("series1")}});
    ASSERT_TRUE(line);
    inst.mapPort(QStringLiteral("COM3"), *line);
    const QList<std::pair<QString, int>> speeds{
        {"230Кбод", 230000}, {"460Kбод", 460000}, {"921Kбод", 921000}, {"230kбод", 9600}};
    for (const auto& [speed, rate] : speeds) {
        SCOPED_TRACE(speed.toStdString());
        EXPECT_EQ(inst.json({QStringLiteral("--port"), QStringLiteral("COM3"), QStringLiteral("--speed"),
                             speed, QStringLiteral("port"), QStringLiteral("open")})
                      .value(QStringLiteral("baudRate"))
                      .toInt(),
                  rate);
    }
}

// Requests sent to address 3, where nobody answers, counted on the line. The corrector at address 1 is
// asked once more afterwards: its answer means the simulator has read, and logged, every byte before.
QList<ReceivedRequest> unansweredRequests(Installation& inst, const QStringList& lineOptions) {
    const qsizetype before = inst.requestsReceived().size();
    const CliRun r = inst.run(QStringList{QStringLiteral("--port"), QStringLiteral("COM3"),
                                          QStringLiteral("--address"), QStringLiteral("3")} +
                              lineOptions + QStringList{QStringLiteral("identify")});
    EXPECT_NE(r.code, 0);
    const CliRun answered = inst.run({"--port", "COM3", "--address", "1", "identify"});
    EXPECT_EQ(answered.code, 0) << answered.errText().toStdString();
    QList<ReceivedRequest> toSilentAddress;
    for (const ReceivedRequest& request : inst.requestsReceived().mid(before))
        if (addressOfRequest(request.bytes) == 3) toSilentAddress.append(request);
    return toSilentAddress;
}

TEST(Ports, RetriesAndTimeoutShapeTheRequestsToASilentCorrector) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    const std::optional<QString> line = inst.startLine({{1, QStringLiteral("series1")}});
    ASSERT_TRUE(line);
    inst.mapPort(QStringLiteral("COM3"), *line);

    const QList<ReceivedRequest> once = unansweredRequests(inst, {"--timeout", "10", "--retries", "1"});
    const QList<ReceivedRequest> four = unansweredRequests(inst, {"--timeout", "10", "--retries", "4"});
    ASSERT_FALSE(once.isEmpty());
    // Three repeats more are three requests more, each the same request to the same address.
    EXPECT_EQ(four.size() - once.size(), 3);
    for (const ReceivedRequest& r : four)
        EXPECT_EQ(r.bytes, four.first().bytes);
    // The settings' repeat count serves when the option is left out.
    ASSERT_EQ(inst.run({"settings", "set", "retryCount=4"}).code, 0);
    EXPECT_EQ(unansweredRequests(inst, {"--timeout", "10"}).size(), four.size());

    // Each repeat waits the reply time-out for an answer first.
    const int timeoutMs = 250;
    const QList<ReceivedRequest> waited =
        unansweredRequests(inst, {"--timeout", QString::number(timeoutMs), "--retries", "2"});
    ASSERT_GE(waited.size(), 2);
    for (qsizetype i = 1; i < waited.size(); ++i) {
        int gap = waited.at(i - 1).at.msecsTo(waited.at(i).at);
        if (gap < 0) gap += 24 * 3600 * 1000; // across midnight
        EXPECT_GE(gap, timeoutMs) << "request " << i;
    }
}

TEST(Ports, LineOptionsAtTheEndsOfTheirRangesAreTaken) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    const std::optional<QString> line =
        inst.startLine({{1, QStringLiteral("series1")}, {14, QStringLiteral("series2")}});
    ASSERT_TRUE(line);
    inst.mapPort(QStringLiteral("COM3"), *line);
    const QList<QStringList> options{{"--timeout", "0"},   {"--timeout", "10000"}, {"--retries", "1"},
                                     {"--retries", "250"}, {"--address", "1"},     {"--address", "14"}};
    for (const QStringList& o : options) {
        SCOPED_TRACE(o.join(QLatin1Char(' ')).toStdString());
        const CliRun r = inst.run(QStringList{QStringLiteral("--port"), QStringLiteral("COM3")} + o +
                                  QStringList{QStringLiteral("identify")});
        EXPECT_EQ(r.code, 0) << r.errText().toStdString();
    }
    // The corrector at 14 is the one that answered to "--address 14".
    EXPECT_TRUE(inst.run({"--port", "COM3", "--address", "14", "identify"}).outText().contains("series-2"));
    const QList<ReceivedRequest> sent = inst.requestsReceived();
    ASSERT_FALSE(sent.isEmpty());
    EXPECT_EQ(addressOfRequest(sent.constLast().bytes), 14);
}

TEST(Ports, AddressOutsideTheLinesRangeIsRefusedBeforeAnythingIsSent) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    const std::optional<QString> line = inst.startLine({{1, QStringLiteral("series1")}});
    ASSERT_TRUE(line);
    inst.mapPort(QStringLiteral("COM3"), *line);
    for (const char* address : {"0", "15", "-1", "x"}) {
        SCOPED_TRACE(address);
        const CliRun r =
            inst.run({QStringLiteral("--port"), QStringLiteral("COM3"), QStringLiteral("--address"),
                      QString::fromLatin1(address), QStringLiteral("identify")});
        EXPECT_EQ(r.code, 2);
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_TRUE(inst.requestsReceived().isEmpty());
}

// "--timeout" and "--retries" are given with their ranges (0..10000 ms, 1..250) as "--address" is with
// 1..14, and a value outside is refused as a usage error as "--address 15" is, before anything is sent.
TEST(Ports, LineOptionOutsideItsRangeIsRefused) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    const std::optional<QString> line = inst.startLine({{1, QStringLiteral("series1")}});
    ASSERT_TRUE(line);
    inst.mapPort(QStringLiteral("COM3"), *line);
    const QList<QStringList> options{
        {"--timeout", "10001"}, {"--timeout", "-1"}, {"--retries", "0"}, {"--retries", "251"}};
    for (const QStringList& o : options) {
        SCOPED_TRACE(o.join(QLatin1Char(' ')).toStdString());
        const CliRun r = inst.run(QStringList{QStringLiteral("--port"), QStringLiteral("COM3")} + o +
                                  QStringList{QStringLiteral("identify")});
        EXPECT_EQ(r.code, 2);
    }
    EXPECT_TRUE(inst.requestsReceived().isEmpty());
}

// ================================================================ the address book

TEST(AddressBook, NewBookIsMadeInTheInstallationsLanguage) {
    struct Case {
        const char* language;
        const char* file;
        QStringList lines;
    };
    const QList<Case> cases{
        {"UA",
         "Work/uaFlAdrCr.000",
         {QStringLiteral("адреси коректрів у системі"), QStringLiteral("коректор N1")}},
        {"RU",
         "Work/FlAdrCr.000",
         {QStringLiteral("адреса корректров в системе"), QStringLiteral("корректор N1")}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language);
        Installation inst;
        ASSERT_TRUE(inst.initialised());
        const std::optional<QString> line = inst.startLine({{1, QStringLiteral("series1")}});
        ASSERT_TRUE(line);
        inst.mapPort(QStringLiteral("COM3"), *line);
        inst.write(QStringLiteral("Work/Type_Leng.000"), QByteArray(c.language) + "\r\n");
        ASSERT_FALSE(inst.exists(QString::fromLatin1(c.file)));
        inst.run({"--port", "COM3", "--address-book", "1", "identify"});
        const std::optional<QByteArray> bytes = inst.read(QString::fromLatin1(c.file));
        ASSERT_TRUE(bytes) << c.file;
        EXPECT_EQ(cp1251Lines(*bytes), c.lines);
        EXPECT_EQ(*bytes, encodeCp1251(c.lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
    }
}

// The book of the tests below: a title, two correctors with comments, a bare address, addresses out of
// the line's range and plain text.
const QStringList kUkrainianBook{"адреси коректорів", "3 // котельня", " 5 // школа № 2", "1 4",
                                 "15 // за межею",    "0 // нуль",     "текст без адреси"};

TEST(AddressBook, EntryOrAddressReachesTheCorrectorAtThatAddress) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    const std::optional<QString> line = inst.startLine({{3, QStringLiteral("series1")},
                                                        {5, QStringLiteral("series2")},
                                                        {14, QStringLiteral("series1-early")}});
    ASSERT_TRUE(line);
    inst.mapPort(QStringLiteral("COM3"), *line);
    ASSERT_EQ(inst.run({"settings", "set", "corrPort=COM3"}).code, 0);
    const QByteArray book =
        encodeCp1251(kUkrainianBook.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
    inst.write(QStringLiteral("Work/uaFlAdrCr.000"), book);

    struct Case {
        QString entry;
        int address;
        const char* identification;
    };
    const QList<Case> cases{{"3 // котельня", 3, "series-1"},
                            {"3", 3, "series-1"},
                            {" 5 // школа № 2", 5, "series-2"},
                            {"5", 5, "series-2"},
                            {"1 4", 14, "V43k"},
                            {"14", 14, "V43k"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry.toStdString());
        const qsizetype before = inst.requestsReceived().size();
        const CliRun r = inst.run({QStringLiteral("--address-book"), c.entry, QStringLiteral("identify")});
        ASSERT_EQ(r.code, 0) << r.errText().toStdString();
        EXPECT_TRUE(r.outText().contains(QString::fromLatin1(c.identification))) << r.outText().toStdString();
        const QList<ReceivedRequest> sent = inst.requestsReceived().mid(before);
        ASSERT_FALSE(sent.isEmpty());
        for (const ReceivedRequest& s : sent)
            EXPECT_EQ(addressOfRequest(s.bytes), c.address);
    }
    // The book is only read: its bytes are as they were written.
    EXPECT_EQ(inst.read(QStringLiteral("Work/uaFlAdrCr.000")), book);
}

TEST(AddressBook, LinesThatAreNoAddressAreRefusedBeforeAnythingIsSent) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    const std::optional<QString> line = inst.startLine({{3, QStringLiteral("series1")}});
    ASSERT_TRUE(line);
    inst.mapPort(QStringLiteral("COM3"), *line);
    ASSERT_EQ(inst.run({"settings", "set", "corrPort=COM3"}).code, 0);
    inst.write(QStringLiteral("Work/uaFlAdrCr.000"),
               encodeCp1251(kUkrainianBook.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
    for (const QString& entry :
         {QStringLiteral("15 // за межею"), QStringLiteral("15"), QStringLiteral("0 // нуль"),
          QStringLiteral("0"), QStringLiteral("текст без адреси"), QStringLiteral("адреси коректорів"),
          QStringLiteral("")}) {
        SCOPED_TRACE(entry.toStdString());
        const CliRun r = inst.run({QStringLiteral("--address-book"), entry, QStringLiteral("identify")});
        EXPECT_NE(r.code, 0);
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_TRUE(r.err.contains(kRefusalUa)) << r.errText().toStdString();
    }
    // The Russian installation refuses a line without an address in Russian.
    inst.write(QStringLiteral("Work/Type_Leng.000"), "RU\r\n");
    inst.write(QStringLiteral("Work/FlAdrCr.000"), encodeCp1251(QStringLiteral("адреса\r\n7 // склад\r\n")));
    const CliRun r = inst.run({"--address-book", "котельня // 3", "identify"});
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.err.contains(kRefusalRu)) << r.errText().toStdString();
    EXPECT_TRUE(inst.requestsReceived().isEmpty());
    // And the address and the book exclude each other.
    EXPECT_EQ(inst.run({"--address", "3", "--address-book", "3", "identify"}).code, 2);
}

TEST(AddressBook, RussianInstallationUsesTheRussianBook) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    const std::optional<QString> line =
        inst.startLine({{3, QStringLiteral("series1")}, {7, QStringLiteral("series2")}});
    ASSERT_TRUE(line);
    inst.mapPort(QStringLiteral("COM3"), *line);
    ASSERT_EQ(inst.run({"settings", "set", "corrPort=COM3"}).code, 0);
    inst.write(QStringLiteral("Work/Type_Leng.000"), "RU\r\n");
    inst.write(QStringLiteral("Work/uaFlAdrCr.000"), encodeCp1251(QStringLiteral("3 // котельня\r\n")));
    inst.write(QStringLiteral("Work/FlAdrCr.000"), encodeCp1251(QStringLiteral("адреса\r\n7 // склад\r\n")));
    const CliRun r = inst.run({"--address-book", "7 // склад", "identify"});
    ASSERT_EQ(r.code, 0) << r.errText().toStdString();
    EXPECT_TRUE(r.outText().contains(QStringLiteral("series-2")));
    const QList<ReceivedRequest> sent = inst.requestsReceived();
    ASSERT_FALSE(sent.isEmpty());
    for (const ReceivedRequest& s : sent)
        EXPECT_EQ(addressOfRequest(s.bytes), 7);
}

// The selection window takes whatever its entry field holds as long as it is an address line (a number
// 1..14 before any "//"), listed in the book or typed anew; so does "--address-book": an entry spaced
// otherwise than in the book, and an address the book does not list yet, reach their corrector.
TEST(AddressBook, AnyAddressLineIsTakenAsTheWindowTakesIt) {
    Installation inst;
    ASSERT_TRUE(inst.initialised());
    const std::optional<QString> line =
        inst.startLine({{5, QStringLiteral("series2")}, {7, QStringLiteral("series1")}});
    ASSERT_TRUE(line);
    inst.mapPort(QStringLiteral("COM3"), *line);
    ASSERT_EQ(inst.run({"settings", "set", "corrPort=COM3"}).code, 0);
    inst.write(QStringLiteral("Work/uaFlAdrCr.000"),
               encodeCp1251(kUkrainianBook.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
    const QList<std::pair<QString, int>> entries{
        {"5 // школа № 2", 5}, {"5//школа", 5}, {"7", 7}, {"7 // новий", 7}};
    for (const auto& [entry, address] : entries) {
        SCOPED_TRACE(entry.toStdString());
        const qsizetype before = inst.requestsReceived().size();
        const CliRun r = inst.run({QStringLiteral("--address-book"), entry, QStringLiteral("identify")});
        EXPECT_EQ(r.code, 0) << r.errText().toStdString();
        const QList<ReceivedRequest> sent = inst.requestsReceived().mid(before);
        EXPECT_FALSE(sent.isEmpty());
        if (!sent.isEmpty()) {
            EXPECT_EQ(addressOfRequest(sent.first().bytes), address);
        }
    }
}

} // namespace
