// The coefficient tables: the item codes and texts, the "*.whi" and "*.zib" files, the cell checks, and
// the reads, writes and calibration permission against the simulated corrector in process, with the two
// windows offscreen.
#include "corrector/CoefficientTables.h"
#include "corrector/CoefficientWindows.h"
#include "corrector/DeviceValues.h"
#include "corrector/windows/TMet_Z900.h"
#include "corrector/windows/TfZib.h"
#include "link/FrameChecksum.h"
#include "support/CliRunner.h"
#include "support/SessionRig.h"
#include "support/SimProcess.h"

#include <QAction>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTableWidget>
#include <cmath>
#include <limits>

using namespace tarn;
using namespace tarn::corrector;
using test::hex;

namespace {

// The item codes of the requests sent since mark with the given op byte (address 1).
QList<int> codesSince(const test::SessionRig& r, qsizetype mark, quint8 head) {
    QList<int> codes;
    for (const QByteArray& f : r.framesSince(mark, head))
        codes.append(static_cast<quint8>(f.at(1)));
    return codes;
}

// A session read from a preset, with the transfer pauses and permission periods shortened.
struct CoefRig : test::SessionRig {
    explicit CoefRig(const char* preset, const char* extra = "")
        : SessionRig(SessionRig::preset(preset, extra)) {
        EXPECT_TRUE(readParameters());
    }
    void shorten(CoefficientWindowModel& w) {
        w.transfer().readPauseMs = 1;
        w.transfer().writePauseMs = 1;
    }
    bool run(CoefficientWindowModel& w, bool write) {
        bool ended = false;
        auto c = QObject::connect(&w, &CoefficientWindowModel::transferEnded, [&](bool) { ended = true; });
        const bool started = write ? w.write() : w.read();
        const bool done = started && test::waitUntil([&] { return ended; });
        QObject::disconnect(c);
        return done;
    }
};

} // namespace

TEST(CoefficientTables, ItemCodesAndTransferWords) {
    EXPECT_EQ(coefficientItemCode(145), quint8{0xC1});
    EXPECT_EQ(coefficientItemCode(152), quint8{0xC8});
    EXPECT_EQ(coefficientItemCode(153), quint8{0xCA});
    EXPECT_EQ(coefficientItemCode(155), quint8{0xCD});
    EXPECT_EQ(coefficientItemCode(156), quint8{0xCE});
    EXPECT_EQ(coefficientItemCode(157), quint8{0xD0});
    EXPECT_EQ(coefficientItemCode(184), quint8{0xEB});
    EXPECT_FALSE(coefficientItemCode(144));
    EXPECT_FALSE(coefficientItemCode(185));
    const QList<int> meter = meterCoefTransferWords();
    EXPECT_EQ(meter.size(), 36);
    for (int w = 153; w <= 156; ++w)
        EXPECT_FALSE(meter.contains(w));
    EXPECT_EQ(meter.at(8), 157);
    EXPECT_EQ(calibTransferWords().size(), 28);
    EXPECT_EQ(calibTransferWords().first(), 157);
}

TEST(CoefficientTables, EntriesKeepTheirBytesAndShowNonFiniteAsZero) {
    MeterCoefTable table;
    const QByteArray nan = hex("00 00 C0 7F");
    table.setRaw(1, nan);
    table.setRaw(2, floatBytes(std::numeric_limits<float>::infinity()));
    table.setRaw(3, floatBytes(0.0452f));
    table.setRaw(4, floatBytes(1.16e-5f));
    table.setRaw(40, hex("01"));
    EXPECT_EQ(table.raw(1), nan); // the bytes stay as the corrector sent them
    EXPECT_EQ(table.text(1), QStringLiteral("0"));
    EXPECT_EQ(table.text(2), QStringLiteral("0"));
    EXPECT_EQ(table.text(3), QStringLiteral("0.0452"));
    EXPECT_EQ(table.text(4), QStringLiteral("1.16e-05"));
    EXPECT_EQ(table.raw(40), hex("01 00 00 00"));
    EXPECT_EQ(table.raw(41), hex("00 00 00 00"));
    EXPECT_EQ(MeterCoefTable::refEntry(14), 39);
    EXPECT_EQ(MeterCoefTable::kqEntry(1), 14);
    EXPECT_EQ(CalibTable::qwEntry(14), 27);

    // Through the image and back, as the full parameter read and the files keep them.
    ParameterImage image;
    table.storeInto(image);
    EXPECT_EQ(image.wordBytes(145), nan);
    EXPECT_EQ(MeterCoefText(image, 1), QStringLiteral("0"));
    EXPECT_EQ(MeterCoefText(image, 3), QStringLiteral("0.0452"));
    MeterCoefTable back;
    back.loadFrom(image);
    EXPECT_EQ(back.raw(1), nan);
    CalibTable calib;
    calib.loadFrom(image);
    EXPECT_EQ(calib.raw(1), image.wordBytes(157));
    EXPECT_EQ(CalibText(image, 1), calib.text(1));

    for (int lang : {kUkrainian, kRussian})
        for (int i = 1; i <= kMeterConstantCount; ++i)
            EXPECT_EQ(MeterCoefName(i, lang).size(), 58) << i;
    EXPECT_TRUE(MeterCoefName(6, kUkrainian).contains(QStringLiteral("в\"язкість")));
    EXPECT_TRUE(MeterCoefName(9, kRussian).isEmpty());
}

TEST(CoefficientTables, CellValuesPercentagesAndHints) {
    EXPECT_EQ(coefficientCellValue(QStringLiteral(" 1 .5 ")), 1.5f); // every blank removed
    EXPECT_EQ(coefficientCellValue(QStringLiteral("-2e-3")), -0.002f);
    for (const char* bad : {"", "abc", "1,5", "nan", "inf", "1e39", "0x10", "1.5.2"})
        EXPECT_FALSE(coefficientCellValue(QString::fromLatin1(bad))) << bad;

    EXPECT_EQ(percentOfKq(QStringLiteral("1.015")), QStringLiteral("1.5"));
    EXPECT_EQ(kqOfPercent(QStringLiteral("-1.25")), QStringLiteral("0.9875"));
    EXPECT_FALSE(percentOfKq(QStringLiteral("x")));
    EXPECT_EQ(calibRangeHint(CalibColumn::Kq), QStringLiteral("\"0.98\" - \"1.02\""));
    EXPECT_EQ(calibRangeHint(CalibColumn::Percent), QStringLiteral("\"-2%\" - \"+2%\""));
    EXPECT_TRUE(calibRangeHint(CalibColumn::Qw).isEmpty());

    CalibCells cells;
    EXPECT_TRUE(applyCalibCell(cells, 3, CalibColumn::Kq, QStringLiteral("1.015")));
    EXPECT_EQ(cells.percent[2], QStringLiteral("1.5"));
    EXPECT_TRUE(applyCalibCell(cells, 3, CalibColumn::Percent, QStringLiteral("-1.25")));
    EXPECT_EQ(cells.kq[2], QStringLiteral("0.9875"));
    // Outside the hint is still taken: the range is a hint only.
    EXPECT_TRUE(applyCalibCell(cells, 14, CalibColumn::Kq, QStringLiteral("1.5")));
    EXPECT_EQ(cells.percent[13], QStringLiteral("50"));
    EXPECT_FALSE(applyCalibCell(cells, 3, CalibColumn::Kq, QStringLiteral("abc")));
    EXPECT_EQ(cells.kq[2], QStringLiteral("0.9875"));
    EXPECT_FALSE(applyCalibCell(cells, 15, CalibColumn::Qw, QStringLiteral("1")));

    // A write is all or nothing: one cell that is no number and nothing is to be sent.
    MeterCoefCells meter = meterCoefCells(MeterCoefTable());
    EXPECT_TRUE(meterCoefWrite(meter).ok());
    EXPECT_EQ(meterCoefWrite(meter).words, meterCoefTransferWords());
    meter.kq[1] = QStringLiteral("1,01");
    const CoefficientWrite w = meterCoefWrite(meter);
    EXPECT_FALSE(w.ok());
    EXPECT_EQ(w.badWord, 160); // Kq of point 2
    EXPECT_TRUE(w.values.isEmpty());
    EXPECT_EQ(calibWrite(calibCells(CalibTable())).words, calibTransferWords());
}

TEST(CoefficientTables, FilesRoundTripAndShortLongAndMalformedFiles) {
    test::TempHome home;
    MeterCoefCells cells;
    for (int i = 0; i < kMeterConstantCount; ++i)
        cells.constants[i] = QString::number(i + 1);
    for (int p = 0; p < kCoefPoints; ++p) {
        cells.ref[p] = QStringLiteral("r%1").arg(p + 1);
        cells.kq[p] = QStringLiteral("k%1").arg(p + 1);
    }
    const QStringList lines = whiLines(cells);
    ASSERT_EQ(lines.size(), kWhiLines);
    EXPECT_EQ(lines.at(8), QStringLiteral("r1"));
    EXPECT_EQ(lines.at(15), QStringLiteral("k1"));
    EXPECT_EQ(lines.at(22), QStringLiteral("r8"));
    EXPECT_EQ(lines.at(35), QStringLiteral("k14"));
    const QString path = home.path("Report", QStringLiteral("12345.whi"));
    ASSERT_TRUE(writeCoefficientFile(path, lines));
    EXPECT_TRUE(home.read("Report", QStringLiteral("12345.whi")).startsWith("1\r\n2\r\n"));
    MeterCoefCells back;
    applyWhiLines(back, *readCoefficientFile(path));
    EXPECT_EQ(whiLines(back), lines);

    // 20 lines: the constants, Ref 1..7 and Kq 1..5; the rest keep their values. Runs of blanks become
    // one, lines beyond the kind's count are ignored.
    MeterCoefCells partial = cells;
    QStringList twenty;
    for (int i = 0; i < 20; ++i)
        twenty.append(QStringLiteral("1.  %1").arg(i));
    applyWhiLines(partial, twenty);
    EXPECT_EQ(partial.constants[0], QStringLiteral("1. 0"));
    EXPECT_EQ(partial.ref[6], QStringLiteral("1. 14"));
    EXPECT_EQ(partial.kq[4], QStringLiteral("1. 19"));
    EXPECT_EQ(partial.kq[5], QStringLiteral("k6"));
    EXPECT_EQ(partial.ref[7], QStringLiteral("r8"));
    QStringList many = lines;
    many.append(QStringLiteral("99"));
    applyWhiLines(back, many);
    EXPECT_EQ(whiLines(back), lines);

    CalibCells calib;
    for (int p = 0; p < kCoefPoints; ++p) {
        calib.qw[p] = QStringLiteral("q%1").arg(p + 1);
        calib.kq[p] = QStringLiteral("k%1").arg(p + 1);
        calib.percent[p] = QStringLiteral("p%1").arg(p + 1);
    }
    const QStringList zib = zibLines(calib);
    ASSERT_EQ(zib.size(), kZibLines);
    EXPECT_EQ(zib.at(7), QStringLiteral("k1"));
    EXPECT_EQ(zib.at(14), QStringLiteral("p1"));
    EXPECT_EQ(zib.at(21), QStringLiteral("q8"));
    EXPECT_EQ(zib.at(41), QStringLiteral("p14"));
    CalibCells calibBack;
    applyZibLines(calibBack, zib);
    EXPECT_EQ(zibLines(calibBack), zib);

    // Missing, and far too large to be a coefficient file: nothing read.
    EXPECT_FALSE(readCoefficientFile(home.path("Report", QStringLiteral("none.whi"))));
    home.write("Report", QStringLiteral("big.whi"), QByteArray(200 * 1024, '1'));
    EXPECT_FALSE(readCoefficientFile(home.path("Report", QStringLiteral("big.whi"))));
    // Text that is no number loads into its cell, and the write refuses it before anything goes out.
    home.write("Report", QStringLiteral("bad.whi"), "0.5\r\n\xEF\xF0\xE8\xE2\xE5\xF2\r\n");
    MeterCoefCells bad = meterCoefCells(MeterCoefTable());
    applyWhiLines(bad, *readCoefficientFile(home.path("Report", QStringLiteral("bad.whi"))));
    EXPECT_EQ(bad.constants[1], QStringLiteral("привет"));
    EXPECT_EQ(meterCoefWrite(bad).badWord, 146);
}

TEST(CoefficientSession, MeterCoefficientsReadAndWriteRoundTrip) {
    CoefRig r("meter-coef");
    MeterCoefWindowModel window(*r.session, r.engine, r.notifier);
    r.shorten(window);
    window.fill();
    EXPECT_EQ(window.cells().constants[0], QStringLiteral("0.0452")); // the page of words 128..191

    // The read asks for exactly 36 items, never for words 153..156.
    r.memory().setFloat(146, 0.125f);
    r.memory().setWord(150, hex("00 00 C0 7F")); // NaN
    const qsizetype mark = r.port.writes.size();
    ASSERT_TRUE(r.run(window, false));
    const QList<int> reads = codesSince(r, mark, 0x02);
    EXPECT_EQ(reads.size(), 36);
    for (int code : {0xCA, 0xCB, 0xCD, 0xCE})
        EXPECT_FALSE(reads.contains(code));
    EXPECT_EQ(window.status(), QStringLiteral("ЧТЕНИЕ НОРМА"));
    EXPECT_FALSE(window.waitShown());
    EXPECT_EQ(window.cells().constants[1], QStringLiteral("0.125"));
    EXPECT_EQ(window.cells().constants[5], QStringLiteral("0"));
    EXPECT_EQ(window.cells().kq[0], QStringLiteral("1.018"));
    // The image keeps the raw bytes: the files and the printout carry them.
    EXPECT_EQ(r.model().reading().image.wordBytes(150), hex("00 00 C0 7F"));

    // Without the verifier's level the corrector refuses the first word and the sequence stops there.
    window.cells().kq[13] = QStringLiteral("0.9975");
    const qsizetype refusedMark = r.port.writes.size();
    ASSERT_TRUE(r.run(window, true));
    EXPECT_EQ(codesSince(r, refusedMark, 0x82), QList<int>{0xC1});
    EXPECT_EQ(window.status(), QStringLiteral("№ 145 - ОШИБКА!!!"));
    EXPECT_FALSE(r.notifier.messages.isEmpty());

    ASSERT_TRUE(r.enterPassword(6, "7777"));
    const qsizetype writeMark = r.port.writes.size();
    ASSERT_TRUE(r.run(window, true));
    const QList<QByteArray> writes = r.framesSince(writeMark, 0x82);
    ASSERT_EQ(writes.size(), 36);
    EXPECT_EQ(writes.first().mid(3, 2), u16Bytes(quint16(r.memory().serial & 0xFFFF))); // the serial number
    EXPECT_EQ(window.status(), QStringLiteral("ЗАПИСЬ НОРМА"));
    EXPECT_FLOAT_EQ(r.memory().floatAt(184), 0.9975f);
    EXPECT_FLOAT_EQ(r.memory().floatAt(146), 0.125f);
    EXPECT_EQ(r.memory().word(150), floatBytes(0.0f)); // the NaN shown as 0 is written as 0
    // The image holds what the corrector accepted.
    EXPECT_EQ(r.model().reading().image.wordBytes(184), floatBytes(0.9975f));
}

TEST(CoefficientSession, WritesNeedEveryCellAndASerialNumber) {
    test::SessionRig r(test::SessionRig::preset("meter-coef"));
    MeterCoefWindowModel window(*r.session, r.engine, r.notifier);
    window.fill();
    // No parameter read: no serial number for the writes.
    EXPECT_FALSE(window.write());
    EXPECT_EQ(r.notifier.texts().value(0), QStringLiteral("прочитайте параметры корректора!!!"));
    window.cells().ref[3] = QStringLiteral("1e39");
    const qsizetype mark = r.port.writes.size();
    EXPECT_FALSE(window.write());
    EXPECT_TRUE(r.notifier.texts().value(1).contains(QStringLiteral("\"1e39\"")));
    EXPECT_EQ(r.port.writes.size(), mark); // nothing went out
}

TEST(CoefficientSession, SilenceStopsTheReadWhereItIs) {
    CoefRig r("meter-coef");
    MeterCoefWindowModel window(*r.session, r.engine, r.notifier);
    r.shorten(window);
    window.fill();
    const QByteArray before = r.model().reading().image.wordBytes(151);
    r.memory().setFloat(145, 7.5f);
    // Words 145..149 answer, then the corrector falls silent.
    int answered = 0;
    QObject::connect(&window.transfer(), &CoefficientTransfer::wordRead, [&](int, const QByteArray&) {
        if (++answered == 5) r.corrector->faults().silence = 1000000;
    });
    ASSERT_TRUE(r.run(window, false));
    EXPECT_EQ(window.status(), QStringLiteral("№ 150 - ОШИБКА!!!"));
    EXPECT_FALSE(window.waitShown());
    EXPECT_TRUE(r.engine.noLinkShown());
    // What was read stays read; the cells are not refilled from a half-read table.
    EXPECT_EQ(window.meterTable().text(1), QStringLiteral("7.5"));
    EXPECT_EQ(r.model().reading().image.wordBytes(151), before);
    EXPECT_EQ(window.cells().constants[0], QStringLiteral("0.0452"));
}

TEST(CoefficientSession, CalibrationPermittedByItsFlagsOpensAtOnce) {
    CoefRig r("calib2");
    CalibWindowModel window(*r.session, r.engine, r.linkPort, r.notifier);
    r.shorten(window);
    bool passwordAsked = false;
    QObject::connect(&window.permission(), &CalibPermissionCheck::passwordWanted,
                     [&] { passwordAsked = true; });
    const qsizetype mark = r.port.writes.size();
    window.open();
    EXPECT_TRUE(window.permitted());
    EXPECT_FALSE(passwordAsked);
    EXPECT_FALSE(window.permission().rechecking());
    EXPECT_EQ(r.port.writes.size(), mark); // no raw frames
    EXPECT_EQ(window.curves().size(), 1);
    // The axes: min(0, smallest %) − 0.5 to max(0, largest %) + 0.5.
    EXPECT_NEAR(window.yMin(), -0.8, 1e-9);
    EXPECT_NEAR(window.yMax(), 1.7, 1e-9);
    EXPECT_EQ(window.cells().percent[0], QStringLiteral("1.2"));

    // Read, edit, write back; each filling draws another curve.
    ASSERT_TRUE(r.run(window, false));
    EXPECT_EQ(window.firstLabel(), QStringLiteral("ЧТЕНИЕ НОРМА"));
    EXPECT_EQ(window.curves().size(), 2);
    EXPECT_TRUE(window.editCell(2, CalibColumn::Percent, QStringLiteral("-1.25")));
    EXPECT_EQ(window.cells().kq[1], QStringLiteral("0.9875"));
    ASSERT_TRUE(r.enterPassword(6, "7777"));
    ASSERT_TRUE(r.run(window, true));
    EXPECT_EQ(window.firstLabel(), QStringLiteral("ЗАПИСЬ НОРМА"));
    EXPECT_EQ(window.secondLabel(), QStringLiteral("EB / ") + window.cells().kq[13]);
    EXPECT_FLOAT_EQ(r.memory().floatAt(160), 0.9875f);
}

TEST(CoefficientSession, CalibrationPermissionByPasswordUnlockAndRecheck) {
    CoefRig r("calib");
    ASSERT_FALSE(r.model().reading().image.calibrationPermitted());
    CalibWindowModel window(*r.session, r.engine, r.linkPort, r.notifier);
    r.shorten(window);
    window.permission().timings = {1, 2, 3, 1, 50};
    bool passwordAsked = false;
    QObject::connect(&window.permission(), &CalibPermissionCheck::passwordWanted,
                     [&] { passwordAsked = true; });
    window.open();
    EXPECT_TRUE(passwordAsked);
    EXPECT_FALSE(window.permitted());
    EXPECT_FALSE(window.read()); // no transfers before the permission
    const qsizetype mark = r.port.writes.size();
    ASSERT_TRUE(r.enterPassword(6, "7777"));
    ASSERT_TRUE(test::waitUntil([&] { return window.permitted(); }));
    const quint16 unlock = calibUnlockValue(r.model().reading().image);
    EXPECT_EQ(r.framesSince(mark, 0x80).value(0),
              link::withFrameChecksum(hex("80 03 02") + u16Bytes(unlock)));
    EXPECT_FALSE(r.engine.lineClaimed());

    // The re-check asks for the flags and the permission stands.
    ASSERT_TRUE(test::waitUntil([&] { return !r.framesSince(mark, 0x40).isEmpty(); }));
    EXPECT_EQ(r.framesSince(mark, 0x40).first(), calibCheckFrame());
    ASSERT_TRUE(test::waitUntil(
        [&] { return window.permission().state() == CalibPermissionCheck::State::Permitted; }));
    EXPECT_TRUE(window.permitted());

    // The corrector falls silent: the next re-check closes the window.
    bool closed = false;
    QObject::connect(&window, &CalibWindowModel::closeWanted, [&] { closed = true; });
    r.corrector->faults().silence = 1000000;
    ASSERT_TRUE(test::waitUntil([&] { return closed; }));
    EXPECT_EQ(r.notifier.texts().last(), QStringLiteral("Обмен БРАК!!!"));
    EXPECT_FALSE(r.engine.lineClaimed());
}

TEST(CoefficientSession, CalibrationRefusedOrBeforeAParameterRead) {
    {
        test::SessionRig r(test::SessionRig::preset("calib"));
        EXPECT_FALSE(CalibWindowModel::mayOpen(r.model(), r.notifier));
        EXPECT_EQ(r.notifier.texts().value(0), QStringLiteral("прочитайте параметры корректора!!!"));
    }
    // A wrong unlock value: the corrector answers with a refusal first.
    CoefRig r("calib");
    r.model().imageForLoading().setWordBytes(70, hex("01 00 00 00"));
    CalibWindowModel window(*r.session, r.engine, r.linkPort, r.notifier);
    window.permission().timings = {1, 2, 3, 1, 50};
    bool closed = false;
    QObject::connect(&window, &CalibWindowModel::closeWanted, [&] { closed = true; });
    window.open();
    ASSERT_TRUE(r.enterPassword(6, "7777"));
    ASSERT_TRUE(test::waitUntil([&] { return closed; }));
    EXPECT_EQ(r.notifier.texts().last(), QStringLiteral("Допуск БРАК!!!"));
    EXPECT_FALSE(window.permitted());
}

TEST(CoefficientWindows, CaptionsMenusAndTheCellsOnScreen) {
    CoefRig r("meter-coef");
    MeterCoefWindowModel meter(*r.session, r.engine, r.notifier);
    TMet_Z900::Options options;
    options.fillDelayMs = 0;
    options.serviceLevel = 0;
    TMet_Z900 z900(meter, options);
    EXPECT_EQ(z900.windowTitle(), QStringLiteral("Коэффициенты  счетчика Z-900"));
    EXPECT_FALSE(z900.fileMenu()->menuAction()->isVisible()); // service level 5 only
    EXPECT_EQ(z900.openFileAction()->text(), QStringLiteral("ОТКРЫТЬ ФАЙЛ  *.whi"));
    EXPECT_EQ(z900.saveFileAction()->text(), QStringLiteral("СОХРАНИТЬ ФАЙЛ КАК  *.whi"));
    EXPECT_EQ(z900.waitPanel()->text(), QStringLiteral("ОЖИДАЙТЕ "));
    ASSERT_TRUE(test::waitUntil(
        [&] { return z900.constantsTable()->item(0, 1)->text() == QStringLiteral("0.0452"); }));
    EXPECT_EQ(z900.constantsTable()->item(0, 0)->text(), MeterCoefName(1, kRussian));
    EXPECT_EQ(z900.pointsTable(1)->item(0, 0)->text(), QStringLiteral("8"));
    // A cell typed in the window is the value written.
    z900.pointsTable(0)->item(0, 2)->setText(QStringLiteral("1.02"));
    EXPECT_EQ(meter.cells().kq[0], QStringLiteral("1.02"));

    CoefRig c("calib2");
    CalibWindowModel calib(*c.session, c.engine, c.linkPort, c.notifier);
    TfZib::Options zibOptions;
    zibOptions.editCell = [](const QString&, const QString& hint) -> std::optional<QString> {
        EXPECT_EQ(hint, QStringLiteral("\"0.98\" - \"1.02\""));
        return QStringLiteral("1.015");
    };
    TfZib zib(calib, zibOptions);
    EXPECT_EQ(zib.windowTitle(), QStringLiteral("Коэффициенты калибровки"));
    EXPECT_TRUE(calib.permitted());
    EXPECT_FALSE(zib.noticeLabel()->isVisibleTo(&zib));
    EXPECT_TRUE(zib.panel()->isVisibleTo(&zib));
    EXPECT_EQ(zib.saveFileAction()->text(), QStringLiteral("СОХРАНИТЬ КАК   *.zib"));
    zib.editCell(0, 0, 2);
    EXPECT_EQ(zib.pointsTable(0)->item(0, 3)->text(), QStringLiteral("1.5"));

    TfEditZib editor(QStringLiteral("1.0"), calibRangeHint(CalibColumn::Kq));
    EXPECT_TRUE(editor.textIsNumber());
    editor.edit()->setText(QStringLiteral("1.0x"));
    EXPECT_FALSE(editor.textIsNumber());
    EXPECT_NE(editor.edit()->palette().color(QPalette::Text),
              QGuiApplication::palette().color(QPalette::Text));
}

namespace {

using test::CliResult;

// tarn-cli against the simulator program on a pseudo-terminal mapped as COM1 of the installation.
struct CliRig {
    test::TempHome home;
    test::SimProcess sim;
    bool start(const QByteArray& scenario) {
        const QString linkPath = home.root().root() + QStringLiteral("/COM1");
        home.write(folder::Work, QStringLiteral("PortMap.000"),
                   QByteArray("COM1 ") + linkPath.toUtf8() + "\r\n");
        return sim.start(QStringLiteral(TARN_SIM_PROGRAM),
                         home.root().root() + QStringLiteral("/scenario.json"), scenario, linkPath);
    }
    CliResult cli(const QStringList& args) { return test::runCliIn(home.root().root(), args); }
};

QString cell(const QJsonObject& o, const QString& name) {
    for (const auto& c : o.value(QStringLiteral("cells")).toArray())
        if (c.toObject().value(QStringLiteral("name")).toString() == name)
            return c.toObject().value(QStringLiteral("value")).toString();
    return {};
}

} // namespace

TEST(CoefficientCli, MeterTableReadSavedWrittenFromAFileAndShown) {
    CliRig r;
    ASSERT_TRUE(r.start(test::SessionRig::preset("meter-coef")));
    const QString file = r.home.path("Report", QStringLiteral("04870.whi"));
    CliResult out = r.cli({QStringLiteral("--json"), QStringLiteral("coef"), QStringLiteral("read"),
                           QStringLiteral("--out"), file});
    ASSERT_EQ(out.code, 0) << out.err.toStdString();
    EXPECT_EQ(out.json().value(QStringLiteral("table")).toString(), QStringLiteral("meter"));
    EXPECT_EQ(out.json().value(QStringLiteral("words")).toArray().size(), 36);
    EXPECT_EQ(cell(out.json(), QStringLiteral("Ref 1")), QStringLiteral("20000"));
    auto lines = readCoefficientFile(file);
    ASSERT_TRUE(lines);
    ASSERT_EQ(lines->size(), kWhiLines);

    // Ref 1 changed in the file, then written back under the verifier's password.
    (*lines)[8] = QStringLiteral("25 000");
    ASSERT_TRUE(writeCoefficientFile(file, *lines));
    out = r.cli({QStringLiteral("coef"), QStringLiteral("write"), QStringLiteral("--file"), file});
    EXPECT_EQ(out.code, 3) << out.err.toStdString(); // refused without the level
    out = r.cli({QStringLiteral("coef"), QStringLiteral("write"), QStringLiteral("--file"), file,
                 QStringLiteral("--password"), QStringLiteral("7:7777")});
    ASSERT_EQ(out.code, 0) << out.err.toStdString();
    out = r.cli({QStringLiteral("--json"), QStringLiteral("coef"), QStringLiteral("read")});
    ASSERT_EQ(out.code, 0) << out.err.toStdString();
    EXPECT_EQ(cell(out.json(), QStringLiteral("Ref 1")), QStringLiteral("25000"));

    out = r.cli({QStringLiteral("--json"), QStringLiteral("coef"), QStringLiteral("show"), file});
    ASSERT_EQ(out.code, 0) << out.err.toStdString();
    EXPECT_EQ(cell(out.json(), QStringLiteral("Ref 1")), QStringLiteral("25 000"));
    // A calibration file does not fit a meter-coefficient corrector.
    const QString zib = r.home.path("Report", QStringLiteral("x.zib"));
    ASSERT_TRUE(writeCoefficientFile(zib, {QStringLiteral("1")}));
    out = r.cli({QStringLiteral("coef"), QStringLiteral("write"), QStringLiteral("--file"), zib,
                 QStringLiteral("--password"), QStringLiteral("7:7777")});
    EXPECT_EQ(out.code, 2);
}

TEST(CoefficientCli, CalibrationTableAfterTheUnlockOverTheLine) {
    CliRig r;
    ASSERT_TRUE(r.start(test::SessionRig::preset("calib")));
    CliResult out = r.cli({QStringLiteral("coef"), QStringLiteral("read")});
    EXPECT_EQ(out.code, 3); // not permitted without the verifier
    out = r.cli({QStringLiteral("--json"), QStringLiteral("coef"), QStringLiteral("read"),
                 QStringLiteral("--password"), QStringLiteral("7:7777")});
    ASSERT_EQ(out.code, 0) << out.err.toStdString();
    EXPECT_EQ(out.json().value(QStringLiteral("table")).toString(), QStringLiteral("calibration"));
    EXPECT_EQ(cell(out.json(), QStringLiteral("% 1")), QStringLiteral("1.2"));
}
