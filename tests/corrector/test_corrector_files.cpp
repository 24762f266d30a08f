// The corrector's data files: the record format, the date and time cells, the snapshot written and read
// back, the point's parameter file, the text export and what a damaged file does to the window.
#include "common/Cp1251.h"
#include "common/Language.h"
#include "corrector/CorrectorFiles.h"
#include "corrector/CorrectorTestSupport.h"
#include "corrector/CorrectorWindowModel.h"
#include "support/DetachedCorrector.h"
#include "corrector/DeviceValues.h"
#include "corrector/ParameterFile.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::corrector;
using tarn::test::hex;

namespace {

using F = Field;

// A corrector window as a full read leaves it, without a link behind it.
struct Filled {
    test::RecordingNotifier notifier;
    DetachedCorrector corrector;
    CorrectorWindowModel& model = corrector.model();

    explicit Filled(char letter = 'V', int language = kRussian) : corrector(notifier, language) {
        const char tag[5] = {letter, '4', '6', 'a', 0};
        const IdentificationString id = test::identification('A', tag);
        model.setIdentification(id);
        model.setProfile(DeriveModelProfile(id, 0));
        QByteArray memory(192 * 4, '\0');
        auto set = [&](int word, const QByteArray& v) {
            memory.replace(word * 4, 4, v.leftJustified(4, '\0'));
        };
        set(1, hex("0A 00 09 01"));
        set(2, hex("80 02 00 00"));
        set(3, hex("00 0D 01 20")); // a raw byte that is a line feed and one that is a blank
        set(45, floatBytes(0.5f));
        set(51, floatBytes(0.68f));
        set(70, u32Bytes(1440 * 10 + 75));
        set(97, i32Bytes(12345));
        set(99, i32Bytes(41234));
        for (int w = 105; w < 113; ++w)
            set(w, QByteArray("Gaz "));
        for (int w = 145; w < 185; ++w)
            set(w, i32Bytes(w * 1000 + 7));
        model.StartFullRead();
        for (int page = 0; page < 3; ++page)
            model.onPageAccepted(quint16(64 * page), memory.mid(64 * page * 4, 256));
        if (model.reading().profile.hasCoefficientTable())
            model.onPageAccepted(178, memory.mid(178 * 4, 256));
        model.onFullReadComplete();
        model.markKindRead(1);
        model.markKindRead(3);
        model.setLoadedText(F::MeasBatteryVoltage, QStringLiteral("3.6"));
        ArchiveTables& t = model.archives();
        const QStringList hour{QStringLiteral("1"),    QStringLiteral("01.02.2024"), QStringLiteral("10:00"),
                               QStringLiteral("1.5"),  QStringLiteral("2.25"),       QStringLiteral("0"),
                               QStringLiteral("0"),    QStringLiteral("1.02"),       QStringLiteral("-5.1"),
                               QStringLiteral("0.99"), QStringLiteral("1.1"),        QStringLiteral("xxx/")};
        t.setRow(Archive::Hourly, 0, hour);
        QStringList day(17);
        day[0] = QStringLiteral("7");
        day[1] = QStringLiteral("01.02.2024");
        day[2] = QStringLiteral("09:00");
        day[3] = QStringLiteral("36.125");
        day[14] = QStringLiteral("1234567.89");
        t.setRow(Archive::Daily, 0, day);
        QStringList dayWithoutDate(17);
        dayWithoutDate[0] = QStringLiteral("8");
        t.setRow(Archive::Daily, 1, dayWithoutDate);
        t.setRow(Archive::Interference, 0,
                 {QStringLiteral("3"), QStringLiteral("02.02.2024"), QStringLiteral("11:15"),
                  QStringLiteral("?"), QStringLiteral("?"), QStringLiteral("?"), QStringLiteral("?"),
                  QStringLiteral("0133000000000000803F")});
    }
};

QString tempPath(const QString& name) {
    return QDir::temp().filePath(QStringLiteral("tarn-files-") +
                                 QString::number(QCoreApplication::applicationPid()) + QLatin1Char('-') +
                                 name);
}

QList<QByteArray> linesOf(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_EQ(bytes.size() % kLineRecordSize, 0);
    return decodeLineRecords(bytes).lines;
}

void writeRecords(const QString& path, const QList<QByteArray>& lines, int cutLast = 0) {
    QByteArray bytes;
    for (const QByteArray& l : lines)
        bytes += encodeLineRecord(l);
    bytes.chop(cutLast);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray headerLine(const char* text) {
    return QByteArray(1, line_tag::Header) + toCp1251(QString::fromUtf8(text));
}

// The ten header lines of a file from a series-1 corrector, its identification on line 6.
QList<QByteArray> tenHeaders(const QByteArray& identification = QByteArray("A          V46a")) {
    QList<QByteArray> l;
    for (int i = 1; i <= 10; ++i)
        l.append(i == 6 ? QByteArray(1, line_tag::Header) + identification : headerLine("x"));
    return l;
}

} // namespace

TEST(CorrectorFiles, RecordsKeepTheirLengthByteAndAreAllTwoHundredBytes) {
    const QByteArray r = encodeLineRecord("\x07"
                                          "abc");
    ASSERT_EQ(r.size(), 200);
    EXPECT_EQ(quint8(r[0]), 4);
    EXPECT_EQ(r.mid(1, 4), QByteArray("\x07"
                                      "abc"));
    EXPECT_EQ(r.mid(5), QByteArray(195, ' '));

    const QByteArray longText(230, 'z');
    const QByteArray cut = encodeLineRecord(longText);
    EXPECT_EQ(quint8(cut[0]), 230); // the whole length; a reader takes 199
    const DecodedRecords back = decodeLineRecords(cut + encodeLineRecord(" a "));
    ASSERT_EQ(back.lines.size(), 2);
    EXPECT_EQ(back.lines[0], QByteArray(199, 'z'));
    EXPECT_EQ(back.lines[1], QByteArray(" a ")); // trailing blanks inside the length stay
    EXPECT_FALSE(decodeLineRecords(cut + QByteArray(120, ' ')).complete);
}

TEST(CorrectorFiles, DateAndTimeCells) {
    EXPECT_EQ(NormaliseDateCell(QStringLiteral("1.2.05")).text, QStringLiteral("01.02.2005"));
    EXPECT_EQ(NormaliseDateCell(QStringLiteral("01/02/2005")).text, QStringLiteral("01.02.2005"));
    EXPECT_TRUE(NormaliseDateCell(QStringLiteral("24.11.2031")).valid);
    for (const char* bad : {"1.2.5", "31.02.2010", "01.01.1999", "25.11.2031", "", "12.2024", "32.01.2020"})
        EXPECT_FALSE(NormaliseDateCell(QString::fromLatin1(bad)).valid) << bad;
    EXPECT_EQ(NormaliseTimeCell(QStringLiteral("9-5")), QStringLiteral("09:05"));
    EXPECT_EQ(NormaliseTimeCell(QStringLiteral("23:59:30")), QStringLiteral("23:59"));
    EXPECT_EQ(NormaliseTimeCell(QStringLiteral("25:00")), QString());
}

TEST(CorrectorFiles, FileNames) {
    for (const char* chosen : {"/tmp/a.b/abc", "/tmp/a.b/abc.prt", "/tmp/a.b/abc.old.prt"})
        EXPECT_EQ(finalFileName(QString::fromLatin1(chosen), QStringLiteral("prt")),
                  QStringLiteral("/tmp/a.b/abc.prt"));
    Filled w('W');
    EXPECT_EQ(proposedFileName(w.model.reading(), QDate(2026, 12, 9)),
              QStringLiteral("w") + w.model.text(F::HeaderSerial).left(5) + QStringLiteral("_261209"));
    EXPECT_EQ(overwriteQuestion(QStringLiteral("a.prt"), kRussian),
              QStringLiteral("Файл \"a.prt\"уже существует, перезаписать?"));
}

TEST(CorrectorFiles, SnapshotComesBackAsTheWindowWas) {
    Filled w;
    const QString path = tempPath(QStringLiteral("round.prt"));
    int lastDone = 0;
    const FileOutcome saved =
        saveSnapshot(w.model.reading(), path, kRussian, [&](int done, int) { lastDone = done; });
    ASSERT_TRUE(saved.ok) << saved.message.toStdString();
    EXPECT_GT(lastDone, 144);
    const QList<QByteArray> lines = linesOf(path);
    EXPECT_EQ(lines[5], QByteArray(1, line_tag::Header) + w.model.identification().raw());
    EXPECT_EQ(lines[9], headerLine("101000000000000000000000000"));
    EXPECT_EQ(lines[10], QByteArray("\x0C"
                                    "3.6"));
    EXPECT_EQ(lines[11], QByteArray("\x0C"
                                    "0"));
    EXPECT_TRUE(lines.contains(QByteArray("\x07") + hex("00 0D 01 20")));

    test::RecordingNotifier notifier;
    DetachedCorrector other(notifier, kRussian);
    CorrectorWindowModel& m = other.model();
    const FileOutcome loaded = loadParameterFile(m, path, notifier);
    ASSERT_TRUE(loaded.ok) << notifier.texts().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(notifier.messages.isEmpty());
    for (int word = 1; word < ParameterImage::kCommonWords; ++word) {
        if (word >= 137) continue;
        EXPECT_EQ(m.reading().image.WordText(word), w.model.reading().image.WordText(word)) << word;
    }
    EXPECT_EQ(m.reading().image.wordBytes(3), hex("00 0D 01 20"));
    EXPECT_TRUE(
        m.text(F::Software).startsWith(QStringLiteral("A          V46a"))); // as a version read shows it
    for (F f : {F::HeaderSerial, F::Company, F::Notes, F::InitDate, F::MeasBatteryVoltage, F::Density,
                F::MeterCounter, F::ContractHour})
        EXPECT_EQ(m.text(f), w.model.text(f)) << static_cast<int>(f);
    EXPECT_TRUE(m.kindRead(3));
    EXPECT_FALSE(m.kindRead(4));
    EXPECT_EQ(m.archives().rows(Archive::Hourly), w.model.archives().rows(Archive::Hourly));
    EXPECT_EQ(m.archives().cell(2, 14, 0), QStringLiteral("1234567.89"));
    EXPECT_EQ(m.archives().cell(2, 15, 0), QStringLiteral("--")); // an empty closing cell
    EXPECT_EQ(m.archives().cell(2, 0, 1), QStringLiteral("8"));
    EXPECT_EQ(m.archives().cell(2, 3, 1), QString());
    // The interference cells are decoded again from the record's bytes.
    EXPECT_NE(m.archives().cell(5, 4, 0), QStringLiteral("?"));
    EXPECT_FALSE(m.archives().cell(5, 4, 0).isEmpty());
    QFile::remove(path);
}

TEST(CorrectorFiles, CoefficientTablesTravelOnlyWithModelsThatHaveThem) {
    Filled w('W');
    const QString path = tempPath(QStringLiteral("coef.prt"));
    ASSERT_TRUE(saveSnapshot(w.model.reading(), path, kRussian).ok);
    QList<QByteArray> lines = linesOf(path);
    int words = 0;
    for (const QByteArray& l : lines)
        words += l.startsWith(line_tag::Word);
    EXPECT_EQ(words, 145 + 40);

    test::RecordingNotifier n;
    DetachedCorrector back(n, kRussian);
    ASSERT_TRUE(loadParameterFile(back.model(), path, n).ok);
    EXPECT_EQ(back.model().reading().image.wordInt32(184), 184007);

    // The same lines under a series-1 identification: the coefficient lines are dropped.
    for (QByteArray& l : lines)
        if (l.startsWith(line_tag::Header) && l.contains("W46a")) l.replace("W46a", "V46a");
    writeRecords(path, lines);
    DetachedCorrector plain(n, kRussian);
    ASSERT_TRUE(loadParameterFile(plain.model(), path, n).ok);
    EXPECT_FALSE(plain.model().reading().image.isRead(184));
    QFile::remove(path);
}

TEST(CorrectorFiles, OtherLanguageSkipsTheHourlyCheckButLoadsTheRows) {
    Filled w('V', kUkrainian);
    const QString path = tempPath(QStringLiteral("ua.prt"));
    ASSERT_TRUE(saveSnapshot(w.model.reading(), path, kUkrainian).ok);
    test::RecordingNotifier n;
    DetachedCorrector ru(n, kRussian);
    ASSERT_TRUE(loadParameterFile(ru.model(), path, n).ok);
    EXPECT_EQ(ru.model().archives().rowCount(Archive::Hourly), 1);
    QFile::remove(path);
}

TEST(CorrectorFiles, DamagedFilesStopAndClearTheWindow) {
    const QString path = tempPath(QStringLiteral("bad.prt"));
    struct Case {
        const char* name;
        QList<QByteArray> lines;
        int cut;
        const char* message;
    };
    QList<QByteArray> olderHourly = tenHeaders();
    olderHourly << toCp1251(QStringLiteral("часовой архив"))
                << toCp1251(QString::fromUtf8("N зап.|ДАТА|ВРЕМЯ|a|b|c|Vсчетч.|"));
    const QList<Case> cases = {
        {"short record", tenHeaders(), 1, "ОШИБКА!!! ФОРМАТА ФАЙЛА :"},
        {"older hourly", olderHourly, 0, "Ошибка формата !!! Попробуйте прочитать файл прогр. \"QuonR\""},
        {"battery too early",
         {headerLine("1"), QByteArray("\x0C"
                                      "3.6")},
         0,
         "Ошибка формата !!! Попробуйте прочитать файл прогр. \"Quon\""},
        {"unknown letter", tenHeaders("A          Q46a"), 0, "Ошибка! Версия не определена!!!"},
        // Whole records of some other file: nothing tagged, so nothing ever names the corrector.
        {"no tagged line",
         {QByteArray("garbage"), QByteArray(199, 'z')},
         0,
         "Ошибка! Версия не определена!!!"},
        {"empty file", {}, 0, "Ошибка! Версия не определена!!!"},
        {"five header lines", tenHeaders().mid(0, 5) + QList<QByteArray>{QByteArray(1, line_tag::Word)}, 0,
         "Ошибка! Версия не определена!!!"},
    };
    for (const Case& c : cases) {
        writeRecords(path, c.lines, c.cut);
        Filled w;
        EXPECT_FALSE(loadParameterFile(w.model, path, w.notifier).ok) << c.name;
        ASSERT_FALSE(w.notifier.messages.isEmpty()) << c.name;
        EXPECT_TRUE(w.notifier.messages.last().second.startsWith(QString::fromUtf8(c.message))) << c.name;
        EXPECT_FALSE(w.model.hasSerial()) << c.name;
        EXPECT_EQ(w.model.text(F::Density), QStringLiteral("X")) << c.name;
    }
    // The point's parameter file is refused the same way: the window keeps nothing a report could print.
    writeRecords(path, {QByteArray("garbage")});
    Filled point;
    EXPECT_FALSE(loadPointParameterFile(point.model, path, point.notifier));
    EXPECT_EQ(point.notifier.texts().value(0), QStringLiteral("Ошибка! Версия не определена!!!"));
    EXPECT_FALSE(point.model.hasSerial());
    Filled missing;
    EXPECT_FALSE(loadParameterFile(missing.model, path + QStringLiteral(".none"), missing.notifier).ok);
    EXPECT_TRUE(missing.notifier.texts().last().startsWith(QStringLiteral("ОШИБКА!!! ОТКРЫТИЯ ФАЙЛА :")));
    QFile::remove(path);
}

TEST(CorrectorFiles, LongWordLinesAreReportedAndLoadingGoesOn) {
    const QString path = tempPath(QStringLiteral("long.prt"));
    QList<QByteArray> lines = tenHeaders();
    for (int w = 0; w < 145; ++w)
        lines.append(QByteArray(1, line_tag::Word) + (w == 51   ? QByteArray(40, '1')
                                                      : w == 99 ? QByteArray("777")
                                                                : QByteArray()));
    // Energy lines: the first row has no time, so its line is skipped; the next goes to row 2.
    lines << QByteArray("\x02"
                        "1         |          |")
          << QByteArray("\x02"
                        "2         |01.01.2024|09:00     |")
          << QByteArray("\x0E"
                        "5         ")
          << QByteArray("\x0E"
                        "0123456789");
    writeRecords(path, lines);
    test::RecordingNotifier n;
    DetachedCorrector c(n, kRussian);
    ASSERT_TRUE(loadParameterFile(c.model(), path, n).ok);
    ASSERT_EQ(n.messages.size(), 1);
    EXPECT_EQ(n.messages[0].second,
              QStringLiteral("ОШИБКА!!! длины строки :51: ") + QString(40, QLatin1Char('1')));
    EXPECT_TRUE(c.model().reading().image.isRead(51));
    EXPECT_EQ(c.model().archives().cell(2, 14, 0), QString());
    EXPECT_EQ(c.model().archives().cell(2, 14, 1), QStringLiteral("0123456789"));
    QFile::remove(path);
}

TEST(CorrectorFiles, PointParameterFileHoldsNoTablesAndKeepsTheAccessLevel) {
    test::TempHome home;
    Filled w('W');
    const QString path = pointParameterFilePath(home.root(), QStringLiteral("W46a41234"));
    ASSERT_TRUE(writePointParameterFile(w.model.reading(), path));
    const QList<QByteArray> lines = linesOf(path);
    ASSERT_EQ(lines.size(), 10 + 2 + 145 + 40);
    EXPECT_EQ(lines[11], toCp1251(QStringLiteral("параметры прибора")));

    test::RecordingNotifier n;
    DetachedCorrector c(n, kRussian);
    c.model().SetAccessLevel(3);
    ASSERT_TRUE(loadPointParameterFile(c.model(), path, n));
    EXPECT_EQ(c.model().state().accessLevel, 3);
    EXPECT_EQ(c.model().text(F::MeterCounter), w.model.text(F::MeterCounter));
    EXPECT_EQ(c.model().archives().rowCount(Archive::Hourly), 0);
    EXPECT_TRUE(c.model().reading().profile.meterCoefModel);
    EXPECT_FALSE(loadPointParameterFile(c.model(), path + QStringLiteral("x"), n));
    EXPECT_TRUE(n.messages.isEmpty());
    EXPECT_TRUE(pointParameterFilePath(home.root(), QStringLiteral("../x")).isEmpty());
}

TEST(CorrectorFiles, SavingNeedsDataAndNeverLeavesHalfAFile) {
    test::RecordingNotifier n;
    DetachedCorrector empty(n, kRussian);
    empty.model().ClearWindow();
    EXPECT_EQ(saveSnapshot(empty.model().reading(), tempPath(QStringLiteral("x.prt")), kRussian).message,
              QStringLiteral("Нет данных"));
    EXPECT_EQ(exportText(empty.model().reading(), tempPath(QStringLiteral("x.txt")), kUkrainian).message,
              QStringLiteral("Немає даних"));
    Filled w;
    const FileOutcome failed =
        saveSnapshot(w.model.reading(), QStringLiteral("/nonexistent-dir/x.prt"), kRussian);
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.message, QStringLiteral("ОШИБКА ЗАПИСИ ФАЙЛА ОТЧЕТА"));
    EXPECT_FALSE(exportText(w.model.reading(), QStringLiteral("/nonexistent-dir/x.txt"), kRussian).ok);
}

TEST(CorrectorFiles, TextExportIsTabSeparated) {
    Filled w;
    // Characters past the window field's 29 that are no blanks.
    QByteArray identification = w.model.identification().raw();
    identification.replace(29, 3, "r07");
    w.model.setIdentification(IdentificationString(identification));
    const QString path = tempPath(QStringLiteral("export.txt"));
    const FileOutcome out = exportText(w.model.reading(), path, kRussian);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.message, QStringLiteral("ФАЙЛ ОТЧЕТА ЗАПИСАН"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = fromCp1251(f.readAll()).split(QStringLiteral("\r\n"));
    EXPECT_EQ(lines[0], QStringLiteral("Номер корректора         \t") + w.model.text(F::HeaderSerial));
    // The software version is the identification whole, as the saved file's header carries it.
    EXPECT_EQ(lines[5], QStringLiteral("версия ПО                \t") + QString::fromLatin1(identification));
    EXPECT_EQ(lines[8], QStringLiteral("Vбат. кор.               \t3.6"));
    EXPECT_EQ(lines[12],
              WordName(45, kRussian).leftJustified(25) + QLatin1Char('\t') + QStringLiteral("0.5"));
    const qsizetype interference = lines.indexOf(QStringLiteral("архив вмешательств"));
    ASSERT_GT(interference, 0);
    EXPECT_EQ(lines[interference + 2].count(QLatin1Char('\t')), 7); // the record's bytes are left out
    EXPECT_TRUE(lines[interference + 2].startsWith(QStringLiteral("3         \t02.02.2024\t11:15     \t")));
    QFile::remove(path);
}

namespace {

// Two readings hold the same data: every field's text, every parameter word, every table row, the kinds,
// the identification and the serial number.
void expectSameReading(const Reading& a, const Reading& b) {
    for (int f = 0; f < kFieldCount; ++f)
        EXPECT_EQ(a.text(static_cast<Field>(f)), b.text(static_cast<Field>(f))) << "field " << f;
    for (int word = 0; word < ParameterImage::kWords; ++word) {
        EXPECT_EQ(a.image.isRead(word), b.image.isRead(word)) << "word " << word;
        EXPECT_EQ(a.image.wordBytes(word), b.image.wordBytes(word)) << "word " << word;
    }
    for (Archive archive : kArchives)
        EXPECT_EQ(a.archives.rows(archive), b.archives.rows(archive)) << static_cast<int>(archive);
    EXPECT_EQ(a.kindsRead, b.kindsRead);
    EXPECT_EQ(a.identification.raw(), b.identification.raw());
    EXPECT_EQ(a.profile.modelName, b.profile.modelName);
    EXPECT_EQ(a.header.serial(), b.header.serial());
}

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

} // namespace

TEST(CorrectorFiles, AFileLoadsIntoAReadingAsIntoTheWindowAndTheReadingAloneWritesItAgain) {
    Filled w;
    const QString first = tempPath(QStringLiteral("reading-1.prt"));
    ASSERT_TRUE(saveSnapshot(w.model.reading(), first, kRussian).ok);

    // Without a window: the reading is the file's, whole, and says where it came from.
    test::RecordingNotifier notifier;
    const LoadedReading loaded = loadParameterFile(first, notifier, kRussian);
    ASSERT_TRUE(loaded.outcome.ok) << notifier.texts().join(QLatin1Char('|')).toStdString();
    ASSERT_TRUE(loaded.opened);
    EXPECT_EQ(loaded.reading.source, SourceKind::File);
    EXPECT_EQ(loaded.reading.text(F::HeaderSerial), w.model.text(F::HeaderSerial));
    EXPECT_EQ(loaded.reading.archives.cell(2, 14, 0), QStringLiteral("1234567.89"));
    EXPECT_FALSE(loaded.reading.clock);
    EXPECT_FALSE(loaded.reading.measurement);

    // Into a window: the window shows exactly that reading.
    DetachedCorrector window(notifier, kRussian);
    ASSERT_TRUE(loadParameterFile(window.model(), first, notifier).ok);
    expectSameReading(window.model().reading(), loaded.reading);

    // The reading is all a file needs: written again and loaded again, nothing moves.
    const QString second = tempPath(QStringLiteral("reading-2.prt"));
    const QString third = tempPath(QStringLiteral("reading-3.prt"));
    ASSERT_TRUE(saveSnapshot(loaded.reading, second, kRussian).ok);
    const LoadedReading again = loadParameterFile(second, notifier, kRussian);
    ASSERT_TRUE(again.outcome.ok);
    expectSameReading(again.reading, loaded.reading);
    ASSERT_TRUE(saveSnapshot(again.reading, third, kRussian).ok);
    EXPECT_EQ(bytesOf(third), bytesOf(second));

    // The point's parameter file the same way, without its tables.
    const QString point = tempPath(QStringLiteral("p_reading.000"));
    ASSERT_TRUE(writePointParameterFile(loaded.reading, point));
    const LoadedReading parameters = loadPointParameterFile(point, notifier, kRussian);
    ASSERT_TRUE(parameters.outcome.ok);
    EXPECT_EQ(parameters.reading.text(F::HeaderSerial), loaded.reading.text(F::HeaderSerial));
    EXPECT_EQ(parameters.reading.image.wordBytes(45), loaded.reading.image.wordBytes(45));
    EXPECT_EQ(parameters.reading.archives.rowCount(Archive::Hourly), 0);
    EXPECT_TRUE(notifier.messages.isEmpty()) << notifier.texts().join(QLatin1Char('|')).toStdString();

    // A file that never names its corrector gives a cleared reading; one that is not there, nothing opened.
    const QString nameless = tempPath(QStringLiteral("nameless.prt"));
    writeRecords(nameless, {headerLine("12345"), headerLine("x")});
    const LoadedReading refused = loadParameterFile(nameless, notifier, kRussian);
    EXPECT_FALSE(refused.outcome.ok);
    EXPECT_TRUE(refused.opened);
    EXPECT_FALSE(refused.reading.hasSerial());
    EXPECT_EQ(refused.reading.text(F::HeaderSerial), QString::fromLatin1(kNoDataText));
    const LoadedReading missing =
        loadPointParameterFile(tempPath(QStringLiteral("none.000")), notifier, kRussian);
    EXPECT_FALSE(missing.opened);
    EXPECT_FALSE(missing.outcome.ok);
    for (const QString& path : {first, second, third, point, nameless})
        QFile::remove(path);
}
