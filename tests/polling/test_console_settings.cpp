// The console's settings files: every line of Work\Tuning.000 written and read back byte for byte, the
// delimiter of Current\Delim.000, the panel heights of Current\track.000, a synchronised copy's refresh
// minutes, the autostart entry, and the alarm tones a new installation gets.
#include "database/CsvSideOutput.h"
#include "polling/ConsoleSettings.h"
#include "polling/PollingRun.h"
#include "shell/Installation.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::polling;

namespace {

// The settings file as this test reads it: CR LF ended lines of single-byte text (the values are ASCII).
QStringList crlfLines(const QByteArray& bytes) {
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    QStringList lines = QString::fromLatin1(bytes).split(QStringLiteral("\r\n"));
    lines.removeLast();
    for (const QString& l : lines)
        EXPECT_FALSE(l.contains(QLatin1Char('\n')) || l.contains(QLatin1Char('\r')));
    return lines;
}

const QStringList kDefaultLines{"Alarm1.wav", "1", "1", "1", "0", "0", "0", "0", "0",
                                "0",          "0", "0", "0", "0"};

// Splits a desktop entry's Exec value into its arguments, undoing the string escapes and then the quoting
// of quoted arguments as the desktop entry rules give them.
QStringList execArguments(QString value) {
    QString unescaped;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value.at(i) == QLatin1Char('\\') && i + 1 < value.size()) {
            unescaped += value.at(++i);
            continue;
        }
        unescaped += value.at(i);
    }
    QStringList args;
    QString current;
    bool quoted = false;
    bool any = false;
    for (qsizetype i = 0; i < unescaped.size(); ++i) {
        const QChar c = unescaped.at(i);
        if (quoted && c == QLatin1Char('\\') && i + 1 < unescaped.size()) {
            current += unescaped.at(++i);
        } else if (c == QLatin1Char('"')) {
            quoted = !quoted;
            any = true;
        } else if (c == QLatin1Char(' ') && !quoted) {
            if (any || !current.isEmpty()) args.append(current);
            current.clear();
            any = false;
        } else {
            current += c;
        }
    }
    if (any || !current.isEmpty()) args.append(current);
    return args;
}

QString entryValue(const QByteArray& entry, const QString& key) {
    for (const QString& line : QString::fromUtf8(entry).split(QLatin1Char('\n')))
        if (line.startsWith(key + QLatin1Char('='))) return line.mid(key.size() + 1);
    return {};
}

struct Installation {
    test::TempHome home;
    QTemporaryDir config;
    AutostartEntry autostart{config.path() + QStringLiteral("/autostart"), QStringLiteral("/opt/tarn/Tarn_B"),
                             home.root().root()};
    Installation() { home.root().createFolders(); }
    SaveOutcome save(const ConsoleSettings& wanted, SaveScope scope = SaveScope::All, bool copy = false) {
        return saveConsoleSettings(home.root(), loadConsoleSettings(home.root()), wanted, scope, copy, autostart);
    }
};

} // namespace

TEST(ConsoleSettings, EveryTuningLineRoundTripsThroughItsKey) {
    struct Case {
        const char* key;
        const char* value;
        int line; // 1-based
        const char* written;
    };
    const Case cases[] = {
        {"soundFile", "Alarm7.wav", 1, "Alarm7.wav"}, {"tooltips", "0", 2, "0"},
        {"alarm", "0", 3, "0"},                       {"sound", "0", 4, "0"},
        {"autorun", "1", 5, "1"},                     {"analogClock", "1", 6, "1"},
        {"rebuildAtStart", "1", 7, "1"},              {"csv", "1", 8, "1"},
        {"csvHourly", "1", 9, "1"},                   {"csvDaily", "1", 10, "1"},
        {"csvMonthly", "1", 11, "1"},                 {"csvOperative", "1", 12, "1"},
        {"csvMeasurement", "1", 13, "1"},             {"extraRecordCheck", "1", 14, "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        Installation inst;
        for (int n = 1; n <= 10; ++n)
            inst.home.write(folder::Sound, QStringLiteral("Alarm%1.wav").arg(n), "RIFF");
        ConsoleSettings s = loadConsoleSettings(inst.home.root());
        ASSERT_EQ(setConsoleSetting(inst.home.root(), s, QString::fromLatin1(c.key), QString::fromLatin1(c.value),
                                    false),
                  std::nullopt);
        ASSERT_EQ(inst.save(s).error, std::nullopt);
        QStringList expected = kDefaultLines;
        expected[c.line - 1] = QString::fromLatin1(c.written);
        EXPECT_EQ(crlfLines(inst.home.read(folder::Work, QStringLiteral("Tuning.000"))), expected);
        const ConsoleSettings back = loadConsoleSettings(inst.home.root());
        EXPECT_EQ(consoleSettingValue(back, QString::fromLatin1(c.key)), QString::fromLatin1(c.value));
        EXPECT_EQ(back.tuning, s.tuning);
    }
}

TEST(ConsoleSettings, TheFileIsReadAsTheProgramAlwaysReadItAndPollingAndStoringSeeIt) {
    Installation inst;
    EXPECT_EQ(loadTuning(inst.home.root()), Tuning{}); // no file: the defaults
    // Double spaces collapse, then spaces go: " 1 " is on, "1 1" reads "11" and is off, a short file
    // leaves its missing lines off.
    inst.home.write(folder::Work, QStringLiteral("Tuning.000"),
                    "  Alarm3.wav\r\n 1 \r\n1 1\r\n1\r\n0\r\n0\r\n0\r\n1\r\n0\r\n 1\r\n");
    const Tuning t = loadTuning(inst.home.root());
    EXPECT_EQ(t.soundFile, QStringLiteral("Alarm3.wav"));
    EXPECT_TRUE(t.toolTips);
    EXPECT_FALSE(t.alarm);
    EXPECT_TRUE(t.sound);
    EXPECT_TRUE(t.csv);
    EXPECT_EQ(t.csvKinds, (std::array<bool, 5>{false, true, false, false, false}));
    EXPECT_FALSE(t.extraRecordCheck);

    const PollingTuning polling = readPollingTuning(inst.home.root());
    EXPECT_FALSE(polling.alarmSignalling);
    EXPECT_TRUE(polling.sound);
    const database::CsvSideOutput csv = database::readCsvSideOutput(inst.home.root());
    EXPECT_TRUE(csv.wanted(database::CsvKind::Daily));
    EXPECT_FALSE(csv.wanted(database::CsvKind::Hourly));
}

TEST(ConsoleSettings, TheDelimiterIsTheFirstNonBlankCharacterAndIsWrittenOnlyWhenChanged) {
    struct Case {
        QByteArray file;
        QChar expected;
    };
    const Case cases[] = {
        {" ; \r\n", QLatin1Char(';')}, {"\r\n;\r\n", QLatin1Char(',')}, {" |x\r\n", QLatin1Char('|')},
        {"\"\r\n", QLatin1Char(',')}, {"\t\r\n", QLatin1Char('\t')}, {"", QLatin1Char(',')},
    };
    for (const Case& c : cases) {
        Installation inst;
        inst.home.write(folder::Current, QStringLiteral("Delim.000"), c.file);
        EXPECT_EQ(loadDelimiter(inst.home.root()), c.expected) << c.file.toStdString();
        EXPECT_EQ(database::readCsvDelimiter(inst.home.root()), c.expected);
    }
    Installation inst;
    EXPECT_EQ(loadDelimiter(inst.home.root()), QLatin1Char(','));
    ConsoleSettings s = loadConsoleSettings(inst.home.root());
    EXPECT_NE(setConsoleSetting(inst.home.root(), s, QStringLiteral("delimiter"), QStringLiteral("\""), false),
              std::nullopt);
    ASSERT_EQ(setConsoleSetting(inst.home.root(), s, QStringLiteral("delimiter"), QStringLiteral(" ; "), false),
              std::nullopt);
    ASSERT_TRUE(inst.save(s).delimiterWritten);
    EXPECT_EQ(inst.home.read(folder::Current, QStringLiteral("Delim.000")), QByteArray(";\r\n"));
    // Unchanged: the file the user may have edited by hand is left alone.
    inst.home.write(folder::Current, QStringLiteral("Delim.000"), "  ;  \r\n");
    EXPECT_FALSE(inst.save(loadConsoleSettings(inst.home.root())).delimiterWritten);
    EXPECT_EQ(inst.home.read(folder::Current, QStringLiteral("Delim.000")), QByteArray("  ;  \r\n"));
}

TEST(ConsoleSettings, RefusedRefreshMinutesSaveNothingAndTheGeneralScopeLeavesTheOtherFiles) {
    Installation inst;
    inst.home.write(folder::Synchr, QStringLiteral("Inst.000"), "1\r\n40\r\n20\r\n");
    struct Case {
        int start;
        int wait;
        const char* words;
    };
    for (const Case& c : {Case{30, 30, "должно быть меньше"}, Case{30, 0, "не должны быть =0"}}) {
        ConsoleSettings s = loadConsoleSettings(inst.home.root());
        s.cycle.startMinutes = c.start;
        s.cycle.waitMinutes = c.wait;
        s.tuning.analogClock = true;
        s.delimiter = QLatin1Char(';');
        const SaveOutcome out = inst.save(s, SaveScope::All, true);
        ASSERT_TRUE(out.error.has_value());
        EXPECT_TRUE(out.error->contains(QString::fromUtf8(c.words))) << out.error->toStdString();
        EXPECT_EQ(inst.home.read(folder::Synchr, QStringLiteral("Inst.000")), QByteArray("1\r\n40\r\n20\r\n"));
        EXPECT_FALSE(inst.home.exists(folder::Work, QStringLiteral("Tuning.000")));
        EXPECT_FALSE(inst.home.exists(folder::Current, QStringLiteral("Delim.000")));
    }
    // Esc in the window's boxes: the general settings only, whatever the other fields hold.
    ConsoleSettings s = loadConsoleSettings(inst.home.root());
    s.cycle.waitMinutes = 40;
    s.delimiter = QLatin1Char(';');
    s.tuning.csv = true;
    const SaveOutcome general = inst.save(s, SaveScope::General, true);
    EXPECT_EQ(general.error, std::nullopt);
    EXPECT_FALSE(general.cycleSaved);
    EXPECT_TRUE(loadTuning(inst.home.root()).csv);
    EXPECT_FALSE(inst.home.exists(folder::Current, QStringLiteral("Delim.000")));
    EXPECT_EQ(inst.home.read(folder::Synchr, QStringLiteral("Inst.000")), QByteArray("1\r\n40\r\n20\r\n"));

    // Valid minutes through the keys: written, and the console is told to start its countdown again.
    s = loadConsoleSettings(inst.home.root());
    EXPECT_NE(setConsoleSetting(inst.home.root(), s, QStringLiteral("waitMinutes"), QStringLiteral("x"), true),
              std::nullopt);
    ASSERT_EQ(setConsoleSetting(inst.home.root(), s, QStringLiteral("waitMinutes"), QStringLiteral("15"), true),
              std::nullopt);
    ASSERT_EQ(setConsoleSetting(inst.home.root(), s, QStringLiteral("viewerCycle"), QStringLiteral("0"), true),
              std::nullopt);
    EXPECT_TRUE(inst.save(s, SaveScope::All, true).cycleSaved);
    EXPECT_EQ(crlfLines(inst.home.read(folder::Synchr, QStringLiteral("Inst.000"))),
              (QStringList{"0", "40", "15"}));
    // Not a synchronised copy: the refresh keys are refused, and saving leaves Inst.000 alone.
    EXPECT_NE(setConsoleSetting(inst.home.root(), s, QStringLiteral("startMinutes"), QStringLiteral("50"), false),
              std::nullopt);
    EXPECT_NE(setConsoleSetting(inst.home.root(), s, QStringLiteral("nonsense"), QStringLiteral("1"), false),
              std::nullopt);
    EXPECT_NE(setConsoleSetting(inst.home.root(), s, QStringLiteral("alarm"), QStringLiteral("yes"), false),
              std::nullopt);
    EXPECT_NE(setConsoleSetting(inst.home.root(), s, QStringLiteral("soundFile"), QStringLiteral("../x.wav"), false),
              std::nullopt);
    EXPECT_FALSE(inst.save(s).cycleSaved);
}

TEST(ConsoleSettings, TheAutostartEntryStartsThisInstallationOnDutyAndGoesWhenSwitchedOff) {
    Installation inst;
    EXPECT_FALSE(inst.autostart.present());
    ConsoleSettings s = loadConsoleSettings(inst.home.root());
    s.tuning.autorun = true;
    ASSERT_EQ(inst.save(s).error, std::nullopt);
    ASSERT_TRUE(inst.autostart.present());
    QFile entry(inst.autostart.path());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QByteArray bytes = entry.readAll();
    entry.close();
    EXPECT_TRUE(bytes.startsWith("[Desktop Entry]\n"));
    EXPECT_EQ(entryValue(bytes, QStringLiteral("Type")), QStringLiteral("Application"));
    EXPECT_EQ(execArguments(entryValue(bytes, QStringLiteral("Exec"))),
              (QStringList{"/opt/tarn/Tarn_B", "$d", "--home", inst.home.root().root()}));

    // A synchronised copy starts hidden into the configurator: "$v".
    ASSERT_EQ(inst.save(s, SaveScope::All, true).error, std::nullopt);
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_EQ(execArguments(entryValue(entry.readAll(), QStringLiteral("Exec"))).value(1), QStringLiteral("$v"));
    entry.close();

    s.tuning.autorun = false;
    ASSERT_EQ(inst.save(s).error, std::nullopt);
    EXPECT_FALSE(inst.autostart.present());

    QProcessEnvironment env;
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), QStringLiteral("/srv/cfg"));
    EXPECT_EQ(autostartFolder(env), QStringLiteral("/srv/cfg/autostart"));
    EXPECT_EQ(autostartFolder(QProcessEnvironment()), QDir::homePath() + QStringLiteral("/.config/autostart"));
}

TEST(ConsoleSettings, PanelHeightsAreKeptAndTheirDefaultsRestored) {
    Installation inst;
    EXPECT_EQ(loadPanelSizes(inst.home.root()), (PanelSizes{220, 250, 250}));
    ASSERT_TRUE(savePanelSizes(inst.home.root(), {300, 120, 90}));
    EXPECT_EQ(crlfLines(inst.home.read(folder::Current, QStringLiteral("track.000"))),
              (QStringList{"300", "120", "90"}));
    EXPECT_EQ(loadPanelSizes(inst.home.root()), (PanelSizes{300, 120, 90}));
    inst.home.write(folder::Current, QStringLiteral("track.000"), "abc\r\n-5\r\n 77 \r\n");
    EXPECT_EQ(loadPanelSizes(inst.home.root()), (PanelSizes{220, 250, 77}));
    ASSERT_TRUE(resetPanelSizes(inst.home.root()));
    EXPECT_FALSE(inst.home.exists(folder::Current, QStringLiteral("track.000")));
    EXPECT_TRUE(resetPanelSizes(inst.home.root()));
}

TEST(ConsoleSettings, ANewInstallationGetsTenPlayableAlarmTonesInCountingOrder) {
    test::TempHome home;
    ASSERT_TRUE(shell::initInstallation(home.root()).ok);
    const QStringList files = soundFiles(home.root());
    QStringList expected;
    for (int n = 1; n <= 10; ++n)
        expected.append(QStringLiteral("Alarm%1.wav").arg(n));
    EXPECT_EQ(files, expected);
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        const QByteArray wav = home.read(folder::Sound, name);
        // The RIFF layout read field by field: a PCM "fmt " chunk, then the samples.
        const auto u32 = [&wav](int at) { return qFromLittleEndian<quint32>(wav.constData() + at); };
        const auto u16 = [&wav](int at) { return qFromLittleEndian<quint16>(wav.constData() + at); };
        ASSERT_GE(wav.size(), 44);
        EXPECT_EQ(wav.left(4), QByteArray("RIFF"));
        EXPECT_EQ(u32(4), quint32(wav.size() - 8));
        EXPECT_EQ(wav.mid(8, 8), QByteArray("WAVEfmt "));
        EXPECT_EQ(u16(20), 1);            // PCM
        const quint16 channels = u16(22);
        const quint32 rate = u32(24);
        const quint16 bits = u16(34);
        EXPECT_EQ(u32(28), rate * channels * bits / 8);
        EXPECT_EQ(wav.mid(36, 4), QByteArray("data"));
        EXPECT_EQ(u32(40), quint32(wav.size() - 44));
        const double seconds = double(u32(40)) / (rate * channels * bits / 8);
        EXPECT_GE(seconds, 0.2);
        EXPECT_LE(seconds, 0.6);
        // A tone, not silence.
        qint16 loudest = 0;
        for (int at = 44; at + 1 < wav.size(); at += 2)
            loudest = std::max<qint16>(loudest, qFromLittleEndian<qint16>(wav.constData() + at));
        EXPECT_GT(loudest, 1000);
    }
    EXPECT_NE(home.read(folder::Sound, QStringLiteral("Alarm1.wav")),
              home.read(folder::Sound, QStringLiteral("Alarm2.wav")));
    // The installation's own sounds are never replaced.
    home.write(folder::Sound, QStringLiteral("Alarm1.wav"), "mine");
    ASSERT_TRUE(shell::initInstallation(home.root()).ok);
    EXPECT_EQ(home.read(folder::Sound, QStringLiteral("Alarm1.wav")), QByteArray("mine"));
}
