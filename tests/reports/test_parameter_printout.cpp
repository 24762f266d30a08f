// "ПРОГРАММИРУЕМЫЕ ПАРАМЕТРЫ" of corrector windows filled by a full parameter read, per model family and
// language; where the last correction comes from; "Пр.пар" in the report window; a stored point's
// commercial report with what its parameter file says.
#include "common/Cp1251.h"
#include "common/TextFile.h"
#include "corrector/CorrectorFiles.h"
#include "corrector/CorrectorTestSupport.h"
#include "corrector/CorrectorWindowModel.h"
#include "corrector/DeviceValues.h"
#include "database/StoredRecords.h"
#include "database/TableFile.h"
#include "reports/ParameterPrintout.h"
#include "reports/ReportHeaders.h"
#include "reports/windows/TPrint_ku.h"
#include "support/DetachedCorrector.h"
#include "support/TestSupport.h"

#include <QPlainTextEdit>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::reports;
using corrector::Archive;
using tarn::test::hex;

namespace {

// The parameter memory of a series-1 corrector, 192 words; the families change what they need.
struct Memory {
    QByteArray bytes = QByteArray(192 * 4, '\0');
    Memory() {
        set(1, hex("0A 00 09 01")); // display time 10, contract hour 9, contract day 1
        set(2, hex("09 02 01 00")); // summer time and Qmin substitution on, 100 imp/m³, NX-19
        set(3, hex("00 03 01 00")); // 9600 bit/s
        // Pmin, Pmax, Pconst, Tmin, Tmax, Tconst, density, CO2, N2, Tst, Pst, factor
        const float words45[] = {0.5f, 6, 3, -20, 60, 20, 0.68f, 1.5f, 0.75f, 20, 1.0332f, 0.998f};
        for (int i = 0; i < 12; ++i)
            setFloat(45 + i, words45[i]);
        const float words58[] = {100, 8, 1.6f, 0.5f, 1.5f}; // Qmax, Qtrn, Qmin, Qtrs, error Qmin<Q<Qtrn
        for (int i = 0; i < 5; ++i)
            setFloat(58 + i, words58[i]);
        setFloat(66, 5.1f);    // gauge pressure
        setFloat(67, 1.0332f); // barometric pressure
        setFloat(71, 240);     // Vconst
        set(97, corrector::i32Bytes(1234500));
        set(99, corrector::i32Bytes(12345));
        set(100, corrector::i32Bytes(54321));
        set(102, corrector::i32Bytes(5000000));
        const char* texts[] = {"G65", "ПАТ  Облгаз   Збут", "Нитка 1", "25"}; // items 46, 45, 44, 47
        for (int i = 0; i < 4; ++i)
            bytes.replace((105 + 8 * i) * 4, 32,
                          toCp1251(QString::fromUtf8(texts[i])).leftJustified(32, ' '));
    }
    void set(int word, const QByteArray& value) { bytes.replace(word * 4, 4, value.leftJustified(4, '\0')); }
    void setFloat(int word, float v) { set(word, corrector::floatBytes(v)); }
};

// A corrector window after "ЧИТАТЬ ВСЕ": identification, three pages, the end of the read.
struct Corrector {
    test::RecordingNotifier notifier;
    corrector::DetachedCorrector detached;
    explicit Corrector(const char* tag, const Memory& m = {}, int language = kRussian, char first = 'A')
        : detached(notifier, language) {
        const auto id = test::identification(first, tag);
        model().setIdentification(id);
        model().setProfile(corrector::DeriveModelProfile(id, 12345));
        model().StartFullRead();
        for (int page = 0; page < 3; ++page)
            model().onPageAccepted(quint16(64 * page), m.bytes.mid(256 * page, 256));
        model().onFullReadComplete();
    }
    corrector::CorrectorWindowModel& model() { return detached.model(); }
    QStringList print(int language = kRussian) {
        ParameterPrintoutOptions o;
        o.languageIndex = language;
        o.beginDate = QStringLiteral("01.03.2024");
        o.now = QDateTime(QDate(2024, 3, 5), QTime(10, 15, 30));
        return printParameters(model().reading(), o).lines;
    }
};

QString blanks(int n) {
    return QString(n, QLatin1Char(' '));
}

} // namespace

TEST(ParameterPrintout, ASeriesOneCorrectorLineByLineAndInUkrainian) {
    const QStringList expected{
        QString(),
        blanks(27) + QStringLiteral("ПАТ Облгаз Збут"),
        QStringLiteral("           (название предприятия, на котором расположен корректор)"),
        QString(),
        QStringLiteral("Договорные обязательства Qст.у (м.куб/час) 25"),
        QString(),
        QString(),
        QStringLiteral("                        ПРОГРАММИРУЕМЫЕ ПАРАМЕТРЫ"),
        QString(),
        QStringLiteral("Корректор ТАРН-1.01 12345         Трубопровод Нитка 1"),
        QStringLiteral("                   (зав.ном.)                    (имя  нитки)"),
        QString(),
        QStringLiteral("Счетчик  газа    G65  54321"),
        blanks(21) + QStringLiteral("(зав.ном.)"),
        QString(),
        QStringLiteral("Дата последней  коррекции    ------- / ----"),
        QStringLiteral("Дата печати                  05.03.2024 / 10:15"),
        QString(),
        QStringLiteral("Контрактные сутки  1       | Tст.у.(град.С)       20       | Метод      NX-19мод."),
        QStringLiteral("Контрактное время  09:00   | Рст.у.(кгс/см2)      1.0332   | Pmin(кгс/см2) 0.5"),
        QStringLiteral("Плотность(кг/м.куб)0.68    | Qmin р.у.(м.куб/час) 1.6      | Pmax(кгс/см2) 6"),
        QStringLiteral("Содерж. N2 (%)     0.75    | Qmax р.у.(м.куб/час) 100      | Tmin (град.С) -20"),
        QStringLiteral("Содерж. CO2 (%)    1.5     | К-во имп/м.куб       100      | Tmax (град.С) 60"),
        blanks(27) + QStringLiteral("| Qtrs р.у.(м.куб/час) 0.5      |"),
        blanks(27) + QStringLiteral("| Qtrn р.у.(м.куб/час) 8        |"),
        QString(),
        QStringLiteral("Tconst (град.С)              20"),
        QStringLiteral("Pconst (кгс/см2)             3"),
        QStringLiteral("Vconst р.у.(м.куб/сут)       240"),
        QStringLiteral("Время индикации              10 (сек.)"),
        QStringLiteral("Состояние датчиков           Все_Вкл."),
        QStringLiteral("Скорость RS-232              9600(бит/c.)"),
        QStringLiteral("Оперативный архив            зап._по_измен."),
        QStringLiteral("Автоперевод ЗИМА/ЛЕТО        ВКЛЮЧЕНО"),
        QStringLiteral("Qmin, при Q<Qmin ?           ВКЛЮЧЕНО"),
        QStringLiteral("Учет Qmin<Q<Qtrn % погрешн.  1.5"),
        QStringLiteral("Vстд. ОБЩИЙ                  50000 (м.куб)"),
        QStringLiteral("Показания счетчика           12345 (м.куб)"),
    };
    EXPECT_EQ(Corrector("V46a").print(), expected);

    // Ukrainian, with the fixed compressibility factor in place of the gas parts, the switches off.
    Memory fixed;
    fixed.set(2, hex("00 02 03 00"));
    const QStringList u = Corrector("V46a", fixed, kUkrainian).print(kUkrainian);
    EXPECT_EQ(u.at(2), QStringLiteral("             (назва підприємства, на якому розташован коректор)"));
    EXPECT_EQ(u.at(4), QStringLiteral("Договорне навантаження Qст.у (м.куб/год) 25"));
    EXPECT_EQ(u.at(7), QStringLiteral("                      ЗАПРОГРАМОВАНІ ПАРАМЕТРИ"));
    EXPECT_EQ(u.at(9), QStringLiteral("Коректор  ТАРН-1.01 12345         Трубопровід Нитка 1"));
    EXPECT_EQ(u.at(15), QStringLiteral("Дата останньої корекції      ------- / ----"));
    EXPECT_EQ(u.at(18), QStringLiteral("Контрактна доба    1       | Tст.у.(град.С)       20       | Метод   "
                                       "Фiксов.Kстис"));
    EXPECT_EQ(u.at(20).left(27), QStringLiteral("Кстиск.            0.998   "));
    EXPECT_EQ(u.at(22).left(53), blanks(27) + QStringLiteral("| К-т імп/м.куб        100"));
    EXPECT_EQ(u.mid(28, 2), QStringList({QStringLiteral("Vconst р.у.(м.куб/доб)       240"),
                                         QStringLiteral("Час індикації                10 (сек.)")}));
    EXPECT_EQ(u.mid(33, 3), QStringList({QStringLiteral("Автопереведення ЗИМА/ЛІТО      ВИМКНЕНО"),
                                         QStringLiteral("Qmin, при Q<Qmin ?           ВИМКНЕНО"),
                                         QStringLiteral("Облік Qmin<Q<Qtrn % похибки  1.5")}));
    EXPECT_EQ(u.last(), QStringLiteral("Показники лічильника         12345 (м.куб)"));
}

TEST(ParameterPrintout, ModelFamiliesChangeTheTableTheUnitsAndTheCoefficientSection) {
    const QString rule = QStringLiteral("|-----------------------------|   |-----------------------------|");
    Memory m;
    m.set(5, hex("01 00 00 00")); // nominal diameter 80
    m.setFloat(57, 1000);         // pulse coefficient
    for (int e = 0; e < 40; ++e)
        m.setFloat(145 + e, float(e + 1) / 8);

    // Meter coefficients: no Qtrn row and no Qmin lines; constants 1..8, then points 1..14 as Ref, Kq.
    const QStringList w = Corrector("W46a", m).print();
    EXPECT_EQ(w.at(22).mid(27, 32), QStringLiteral("| ДУ                   80       "));
    EXPECT_EQ(w.at(24), QString());
    EXPECT_FALSE(w.join(QLatin1Char('\n')).contains(QStringLiteral("Qmin, при")));
    const qsizetype z = w.indexOf(QStringLiteral("                    КОЭФФИЦИЕНТЫ СЧЕТЧИКА ОМРИС-Z-900 "));
    ASSERT_GT(z, 0);
    EXPECT_EQ(w.at(z + 1), QStringLiteral("|") + QString(71, QLatin1Char('-')) + QStringLiteral("|"));
    EXPECT_EQ(w.at(z + 2),
              QStringLiteral("|Размер тела обтекания - d20(м)                            |0.125       |"));
    EXPECT_EQ(w.at(z + 12), QStringLiteral("        Поправочные коэффициенты, учитывающие вязкость газа"));
    EXPECT_EQ(w.at(z + 14),
              QStringLiteral("|п.н|   Ref      |   Kq       |   |п.н|   Ref      |   Kq       |"));
    EXPECT_EQ(w.at(z + 16),
              QStringLiteral("|1  |1.625       |1.75        |   |8  |3.375       |3.5         |"));
    EXPECT_EQ(w.at(z + 22),
              QStringLiteral("|7  |3.125       |3.25        |   |14 |4.875       |5           |"));
    EXPECT_EQ(w.mid(z + 23), QStringList{rule});

    // A calibration complex (entry j is word 156 + j): the complex's lines, no meter, its own table.
    const QStringList r = Corrector("R46a", m, kRussian, 'R').print();
    EXPECT_EQ(r.at(2), QStringLiteral("           (название предприятия, на котором расположен комплекс)"));
    EXPECT_TRUE(r.at(9).startsWith(QStringLiteral("Комплекс  ЗИБ-1.01    Заводской номер ")));
    EXPECT_EQ(r.mid(10, 5), QStringList({QString(), QStringLiteral("Трубопровод  Нитка 1"),
                                         QStringLiteral("                      (имя  нитки)"), QString(),
                                         QStringLiteral("Дата последней  коррекции    ------- / ----")}));
    EXPECT_EQ(r.at(21).mid(27, 32), QStringLiteral("| К-во имп/м.куб       1000     "));
    const qsizetype c = r.indexOf(QStringLiteral("               Поправочные коэффициенты ЗИБ"));
    ASSERT_GT(c, 0);
    EXPECT_EQ(r.at(c + 2),
              QStringLiteral("|п.н|    Qw      |    Kq      |   |п.н|    Qw      |   Kq       |"));
    EXPECT_EQ(r.at(c + 4),
              QStringLiteral("|1  |1.625       |1.75        |   |8  |3.375       |3.5         |"));
    EXPECT_EQ(r.mid(c + 11), QStringList{rule});
    // Its high-frequency variant is a corrector with a meter.
    EXPECT_TRUE(Corrector("F46a", m).print().contains(QStringLiteral("Счетчик  газа    G65  54321")));

    // Series 2: gauge and barometric pressure (words 66, 67) in the unit chosen, and no Pconst.
    const QStringList t = Corrector("T46a").print();
    EXPECT_EQ(t.at(19).mid(59), QStringLiteral("| Pбар(кгс/см2) 1.0332"));
    EXPECT_EQ(t.at(20).mid(59), QStringLiteral("| Pизб(кгс/см2) 5.1"));
    EXPECT_FALSE(t.join(QLatin1Char('\n')).contains(QStringLiteral("Pconst")));
    Memory mpa;
    mpa.set(2, hex("0B 02 01 00"));
    const QStringList p = Corrector("T46a", mpa).print();
    EXPECT_EQ(p.at(19).mid(27, 13), QStringLiteral("| Рст.у.(МПа)"));
    EXPECT_EQ(p.at(19).mid(59), QStringLiteral("| Pбар(МПа)     0.10132"));
    EXPECT_EQ(p.at(20).mid(59), QStringLiteral("| Pизб(МПа)     0.50014"));

    // Mass accounting of argon: kilograms, and the gas parts give way.
    Memory mass;
    mass.set(6, hex("00 02 00 00"));
    mass.set(7, hex("00 00 00 01"));
    const QStringList k = Corrector("V47a", mass).print();
    EXPECT_EQ(k.at(4), QStringLiteral("Договорные обязательства Qст.у (кг/час) 25"));
    EXPECT_EQ(k.at(18).mid(59), blanks(26) + QStringLiteral("|"));
    EXPECT_EQ(k.at(21).left(27) + k.at(22).left(27), blanks(54));
    EXPECT_EQ(k.at(k.size() - 2), QStringLiteral("Vстд. ОБЩИЙ                  50000 (кг)"));
}

TEST(ParameterPrintout, ABeginDateThatDoesNotReadStopsAfterTheSubstituteValues) {
    Corrector c("V46a");
    ParameterPrintoutOptions o;
    o.beginDate = QStringLiteral("31.02.2024");
    const ParameterPrintout p = printParameters(c.model().reading(), o);
    EXPECT_EQ(p.message, QStringLiteral("ОШИБКА ФОРМАТА ДАТЫ : 31.02.2024"));
    EXPECT_EQ(p.lines.last(), QStringLiteral("Vconst р.у.(м.куб/сут)       240"));
    o.languageIndex = kUkrainian;
    EXPECT_EQ(printParameters(c.model().reading(), o).message,
              QStringLiteral("ПОМИЛКА ФОРМАТУ ДАТИ : 31.02.2024"));
}

TEST(ParameterPrintout, TheLastCorrectionIsTheNewestStoredInterventionOrTheNewestRowOfTheTable) {
    Memory m;
    m.set(18, hex("00 00 0C 00")); // the newest interference record is number 12
    Corrector c("V46a", m);
    for (int r = 0; r < 6; ++r)
        c.model().archives().setRow(Archive::Interference, r,
                                    {QString::number(10 + r), QStringLiteral("0%1.03.2024").arg(r + 1),
                                     QStringLiteral("1%1:30").arg(r)});
    EXPECT_EQ(lastCorrectionText(c.model().reading(), std::nullopt), QStringLiteral("03.03.2024 / 12:30"));
    c.model().archives().truncate(Archive::Interference, 2); // the table does not reach it: its first row
    EXPECT_EQ(lastCorrectionText(c.model().reading(), std::nullopt), QStringLiteral("01.03.2024 / 10:30"));
    EXPECT_EQ(lastCorrectionText(c.model().reading(), QDateTime(QDate(2024, 3, 4), QTime(7, 5, 59))),
              QStringLiteral("04.03.2024 / 07:05"));

    // Stored: the latest in time, not the highest number (the ring has run round), never the seed record.
    test::TempHome home;
    ASSERT_TRUE(database::writeMissingSchemaFiles(home.root()));
    const database::Schemas schemas = database::loadSchemas(home.root());
    database::SqliteStorage storage(home.root(), schemas);
    const QString id = QStringLiteral("V12345");
    const auto kind = database::TableKind::Interference;
    const auto table = database::TableFile::open(database::tablePath(home.root(), kind, id), kind,
                                                 schemas.of(kind), nullptr, QDateTime(QDate(2030, 1, 1), {}));
    ASSERT_TRUE(table);
    EXPECT_FALSE(database::newestRecordTime(storage, kind, id));
    for (const auto& [number, day] : {std::pair{255, 4}, std::pair{3, 6}, std::pair{254, 3}})
        ASSERT_TRUE(table->append({{QStringLiteral("cIdentif"), id},
                                   {QStringLiteral("cNumWrCor"), number},
                                   {QStringLiteral("cDT_Corr"), database::storedTimestamp(QDateTime(
                                                                    QDate(2024, 3, day), QTime(8, 7)))}}));
    EXPECT_EQ(DatabaseSource(storage, id).newestInterventionTime(),
              QDateTime(QDate(2024, 3, 6), QTime(8, 7)));
}

TEST(ParameterPrintoutWindow, TheCorrectorJustReadOrTheStoredPointsParameterFile) {
    Corrector c("W46a");
    test::TempHome home;
    home.root().createFolders();
    test::RecordingNotifier notifier;
    const database::Schemas noTables;
    database::SqliteStorage noDatabase(home.root(), noTables);
    auto window = [&](const corrector::Reading* model, bool database) {
        TPrint_ku::Input input;
        input.root = home.root();
        input.language = kRussian;
        input.databaseOnly = database;
        input.identifier = QStringLiteral("W12345");
        input.header.model = QStringLiteral("ТАРН-1.02");
        input.header.serial = QStringLiteral("12345");
        input.source = [&] { return std::make_unique<DatabaseSource>(noDatabase, QStringLiteral("W12345")); };
        input.corrector = model;
        auto w = std::make_unique<TPrint_ku>(std::move(input), notifier);
        w->setParameterPrintout(true);
        return w;
    };
    const auto fromCorrector = window(&c.model().reading(), false);
    ASSERT_TRUE(fromCorrector->buildAndShow());
    // The work file holds the printout; only the time it was printed (line 17) is the window's own.
    auto untimed = [](QStringList lines) {
        lines.removeAt(16);
        return lines;
    };
    const QStringList printed = untimed(c.print());
    EXPECT_EQ(untimed(*readTextLines(home.root().root() + QStringLiteral("/RepDay"))), printed);
    fromCorrector->close();
    EXPECT_EQ(loadReportWindowOptions(home.root()).periodKind, 4);
    EXPECT_FALSE(window(nullptr, false)->buildAndShow());
    EXPECT_EQ(notifier.texts().last(), QStringLiteral("Нет данных"));

    const auto stored = window(nullptr, true);
    EXPECT_FALSE(stored->buildAndShow());
    EXPECT_EQ(notifier.texts().last(),
              QStringLiteral("Внимание!!! Нет файла параметров для корректора - ТАРН-1.02 N12345"));
    ASSERT_TRUE(corrector::writePointParameterFile(
        c.model().reading(), corrector::pointParameterFilePath(home.root(), QStringLiteral("W12345"))));
    ASSERT_TRUE(stored->buildAndShow()) << notifier.texts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(untimed(stored->workLines()), printed);
}

namespace {

// A stored point's tables with nothing in them: the report still has its head and parameter block.
class NothingStored final : public ReportSource {
public:
    bool fromDatabase() const override { return true; }
    bool wasRead(Archive) const override { return true; }
    QList<PeriodRecord> periodRecords(Archive, const QDateTime&, const QDateTime&) const override {
        return {};
    }
    QList<AlarmRecord> alarms(const QDateTime&, const QDateTime&) const override { return {}; }
    QList<InterventionRecord> interventions(const QDateTime&, const QDateTime&) const override { return {}; }
};

// The point as its registry row names it.
ReportHeader registryRow() {
    ReportHeader h;
    h.model = QStringLiteral("ТАРН-1.02");
    h.serial = QStringLiteral("12345");
    h.organisation = QStringLiteral("Облгаз");
    h.pipeline = QStringLiteral("Нитка 2");
    return h;
}

ReportOptions dayWithParameters() {
    ReportOptions o;
    o.period = ReportPeriod::Day;
    o.begin = QDate(2024, 3, 4);
    o.parameters = true;
    return o;
}

const QString kPointId = QStringLiteral("V12345");

} // namespace

TEST(StoredPointReport, TheMeterTheContractLoadAndTheParameterBlockComeFromThePointsParameterFile) {
    Corrector c("V46a");
    test::TempHome home;
    home.root().createFolders();
    test::RecordingNotifier notifier;
    const StoredPointHeader none =
        storedPointHeader(home.root(), kPointId, registryRow(), kRussian, notifier);
    EXPECT_FALSE(none.header);
    EXPECT_EQ(none.message,
              QStringLiteral("Внимание!!! Нет файла параметров для корректора - ТАРН-1.02 N12345"));

    ASSERT_TRUE(corrector::writePointParameterFile(c.model().reading(),
                                                   corrector::pointParameterFilePath(home.root(), kPointId)));
    const StoredPointHeader loaded =
        storedPointHeader(home.root(), kPointId, registryRow(), kRussian, notifier);
    ASSERT_TRUE(loaded.header) << notifier.texts().join(QLatin1Char('|')).toStdString();
    const QDateTime now(QDate(2024, 3, 5), QTime(10, 15, 30));
    const QStringList stored =
        buildCommercialReport(NothingStored(), *loaded.header, dayWithParameters(), now).lines;
    // Who the point is stays the registry's; what it is programmed with is the file's.
    for (const QString& line :
         {QStringLiteral("Договорные обязательства Qст.у (м.куб/час) 25"),
          QStringLiteral("Корректор ТАРН-1.02 12345         Трубопровод Нитка 2"),
          QStringLiteral("Счетчик  газа    G65  54321"),
          QStringLiteral("Параметры корректора на начало отчета:"),
          QStringLiteral("Контрактные сутки  1       | Tст.у.(град.С)       20       | Метод      NX-19мод."),
          QStringLiteral("Содерж. CO2 (%)    1.5     | К-во имп/м.куб       100      | Tmax (град.С) 60"),
          QStringLiteral("Текущие параметры корректора:"), QStringLiteral("Vconst р.у.(м.куб/сут)       240"),
          QStringLiteral("Qmin, при Q<Qmin ?           ВКЛЮЧЕНО")})
        EXPECT_TRUE(stored.contains(line)) << line.toStdString() << "\n" << stored.join('\n').toStdString();
    // Line for line the report the corrector just read gives, but for the point's registry row.
    ReportHeader read = headerFromCorrector(c.model().reading(), kRussian);
    const ReportHeader row = registryRow();
    std::tie(read.model, read.serial, read.organisation, read.pipeline, read.volumeDecimals) =
        std::tie(row.model, row.serial, row.organisation, row.pipeline, loaded.header->volumeDecimals);
    EXPECT_EQ(stored, buildCommercialReport(NothingStored(), read, dayWithParameters(), now).lines);

    // A file that never names its corrector makes no report: the loader has said why.
    home.write(folder::Param, QStringLiteral("p_V12345.000"), QByteArray(400, 'z'));
    const StoredPointHeader garbage =
        storedPointHeader(home.root(), kPointId, registryRow(), kRussian, notifier);
    EXPECT_FALSE(garbage.header);
    EXPECT_TRUE(garbage.message.isEmpty());
    EXPECT_EQ(notifier.texts().last(), QStringLiteral("Ошибка! Версия не определена!!!"));
}

TEST(StoredPointReportWindow, TheReportAndThePrintoutLoadThePointsParameterFile) {
    Corrector c("V46a");
    test::TempHome home;
    home.root().createFolders();
    test::RecordingNotifier notifier;
    TPrint_ku::Input input;
    input.root = home.root();
    input.language = kRussian;
    input.databaseOnly = true;
    input.identifier = kPointId;
    input.header = registryRow();
    input.source = [] { return std::make_unique<NothingStored>(); };
    TPrint_ku window(std::move(input), notifier);
    window.setOptions(dayWithParameters());

    EXPECT_FALSE(window.buildAndShow());
    EXPECT_EQ(notifier.texts().last(),
              QStringLiteral("Внимание!!! Нет файла параметров для корректора - ТАРН-1.02 N12345"));
    EXPECT_TRUE(window.viewer()->toPlainText().isEmpty());

    const QString path = corrector::pointParameterFilePath(home.root(), kPointId);
    ASSERT_TRUE(corrector::writePointParameterFile(c.model().reading(), path));
    ASSERT_TRUE(window.buildAndShow()) << notifier.texts().join(QLatin1Char('|')).toStdString();
    const QStringList work = window.workLines();
    EXPECT_TRUE(work.contains(QStringLiteral("Параметры корректора на начало отчета:")));
    EXPECT_TRUE(work.contains(QStringLiteral("Счетчик  газа    G65  54321")));
    EXPECT_TRUE(work.contains(QStringLiteral("Договорные обязательства Qст.у (м.куб/час) 25")));

    // A parameter file of garbage: neither the report nor "Пр.пар" prints anything.
    home.write(folder::Param, QStringLiteral("p_V12345.000"), QByteArray(400, 'z'));
    for (bool printout : {false, true}) {
        window.setParameterPrintout(printout);
        if (!printout) window.setOptions(dayWithParameters());
        notifier.messages.clear();
        EXPECT_FALSE(window.buildAndShow()) << printout;
        EXPECT_EQ(notifier.texts().value(0), QStringLiteral("Ошибка! Версия не определена!!!")) << printout;
        EXPECT_TRUE(window.viewer()->toPlainText().isEmpty()) << printout;
    }
}
